// Landlock through its three system calls. The kernel's headers of the build machine may be older
// than the kernel the player runs on: the rights of later ABIs are spelt out here, and every
// right is masked to those the running kernel's ABI knows.
#include "platform/confine.h"

#include "platform/fs.h"
#include "platform/system.h"

#include <linux/landlock.h>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string_view>

#ifndef LANDLOCK_ACCESS_FS_TRUNCATE
#define LANDLOCK_ACCESS_FS_TRUNCATE (1ULL << 14)
#endif
#ifndef LANDLOCK_ACCESS_FS_IOCTL_DEV
#define LANDLOCK_ACCESS_FS_IOCTL_DEV (1ULL << 15)
#endif

namespace platform {
namespace {

// The file-system rights each ABI added: 1 the first thirteen, 2 moving a file between folders,
// 3 truncating, 5 the ioctls of devices (4, 6 and 7 added none of files).
constexpr uint64_t Abi1Rights = (1ULL << 13) - 1;
uint64_t RightsOfAbi(int Abi) {
    uint64_t rights = Abi1Rights;
    if (Abi >= 2) rights |= LANDLOCK_ACCESS_FS_REFER;
    if (Abi >= 3) rights |= LANDLOCK_ACCESS_FS_TRUNCATE;
    if (Abi >= 5) rights |= LANDLOCK_ACCESS_FS_IOCTL_DEV;
    return rights;
}

// The rights a rule on a file (not a folder) can carry.
constexpr uint64_t FileRights = LANDLOCK_ACCESS_FS_EXECUTE | LANDLOCK_ACCESS_FS_WRITE_FILE | LANDLOCK_ACCESS_FS_READ_FILE |
                                LANDLOCK_ACCESS_FS_TRUNCATE | LANDLOCK_ACCESS_FS_IOCTL_DEV;

constexpr uint64_t ReadRights = LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_READ_DIR;

uint64_t RightsOf(Reach Kind) {
    switch (Kind) {
        case Reach::Read: return ReadRights;
        case Reach::Run: return ReadRights | LANDLOCK_ACCESS_FS_EXECUTE;
        case Reach::Write:
            return ReadRights | LANDLOCK_ACCESS_FS_WRITE_FILE | LANDLOCK_ACCESS_FS_TRUNCATE | LANDLOCK_ACCESS_FS_MAKE_REG |
                   LANDLOCK_ACCESS_FS_MAKE_DIR | LANDLOCK_ACCESS_FS_REMOVE_FILE | LANDLOCK_ACCESS_FS_REMOVE_DIR |
                   LANDLOCK_ACCESS_FS_REFER;
        case Reach::Device:
            return ReadRights | LANDLOCK_ACCESS_FS_WRITE_FILE | LANDLOCK_ACCESS_FS_TRUNCATE | LANDLOCK_ACCESS_FS_IOCTL_DEV;
    }
    return 0;
}

// The ruleset call, which a test build can make fail as on a kernel without Landlock
// (VELA_TEST_NO_LANDLOCK=1 in its environment).
int CreateRuleset(const landlock_ruleset_attr* Attributes, size_t Size, uint32_t Flags) {
#ifdef VELA_TEST_HOOKS
    if (const char* hook = std::getenv("VELA_TEST_NO_LANDLOCK"); hook && std::strcmp(hook, "1") == 0) {
        errno = ENOSYS;
        return -1;
    }
#endif
    return int(syscall(SYS_landlock_create_ruleset, Attributes, Size, Flags));
}

std::string Failed(const char* What) { return std::string(What) + ": " + std::strerror(errno); }

// The threads of the process, as the kernel counts them; 0 when it does not say.
int ThreadCount() {
    std::ifstream status("/proc/self/status");
    for (std::string field; status >> field;) {
        if (field != "Threads:") continue;
        int count = 0;
        status >> count;
        return count;
    }
    return 0;
}

// Gives the kernel the rule for one path; a path that cannot be opened (it does not exist) is
// passed over. False, with errno, when the kernel refuses the rule.
bool AddRule(int Ruleset, const ConfinementRule& Rule, uint64_t Handled) {
    const int fd = open(Rule.first.c_str(), O_PATH | O_CLOEXEC);
    if (fd < 0) return true;
    struct stat st;
    uint64_t rights = RightsOf(Rule.second) & Handled;
    if (fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode)) rights &= FileRights;
    landlock_path_beneath_attr beneath{};
    beneath.allowed_access = rights;
    beneath.parent_fd = fd;
    const bool added = syscall(SYS_landlock_add_rule, Ruleset, LANDLOCK_RULE_PATH_BENEATH, &beneath, 0) == 0;
    const int saved = errno;
    close(fd);
    errno = saved;
    return added;
}

// The value of an environment variable naming an absolute path; empty when it does not.
std::string AbsoluteVariable(const char* Name) {
    const char* value = std::getenv(Name);
    return value && value[0] == '/' ? value : std::string();
}

// The disc image File and the files beside it that share its name before the extension (the
// .bin of a .cue).
std::vector<std::string> DiscImageFiles(const std::string& File) {
    std::vector<std::string> files{File};
    const std::filesystem::path image(File);
    std::error_code ec;
    const std::filesystem::path folder = image.has_parent_path() ? image.parent_path() : std::filesystem::path(".");
    for (std::filesystem::directory_iterator entry(folder, ec), end; !ec && entry != end; entry.increment(ec))
        if (entry->path().stem() == image.stem() && entry->path() != image) files.push_back(entry->path().string());
    return files;
}

// The file a sanitizer's options (ASAN_OPTIONS and the like, "name=value" separated by ":")
// name as its suppressions; empty when they name none.
std::string SuppressionsFile(const char* Options) {
    constexpr std::string_view key = "suppressions=";
    for (std::string_view rest = Options ? Options : ""; !rest.empty();) {
        const std::string_view option = rest.substr(0, rest.find(':'));
        if (option.starts_with(key)) return std::string(option.substr(key.size()));
        rest.remove_prefix(std::min(rest.size(), option.size() + 1));
    }
    return {};
}

// The file SDL's disk sound driver writes the mixed sound to (a test's or a recording's sound
// device), when that driver is asked for: SDL_DISKAUDIOFILE, else its default; empty otherwise.
std::string SoundDeviceFile() {
    const char* driver = std::getenv("SDL_AUDIODRIVER");
    if (!driver || std::strcmp(driver, "disk") != 0) return {};
    const char* file = std::getenv("SDL_DISKAUDIOFILE");
    return file && *file ? file : "sdlaudio.raw";
}

}  // namespace

std::vector<ConfinementRule> ConfinementRules(const ConfinedFolders& Folders) {
    std::vector<ConfinementRule> rules;
    const auto add = [&](const std::string& Path, Reach Kind) {
        if (!Path.empty()) rules.emplace_back(Path, Kind);
    };
    // Beneath a per-user folder; nothing when that folder is unknown.
    const auto under = [](UserFolder Base, const char* Name) {
        const std::string base = UserFolderPath(Base);
        return base.empty() ? base : base + "/" + Name;
    };

    add(Folders.title, Folders.titleReadOnly ? Reach::Read : Reach::Write);
    add(Folders.save, Reach::Write);
    add(under(UserFolder::Config, "velaplay"), Reach::Write);
    add(under(UserFolder::LocalData, "velaplay"), Reach::Write);
    add(UserFolderPath(UserFolder::Desktop), Reach::Write);
    add(UserFolderPath(UserFolder::Documents), Reach::Write);
    if (const std::optional<std::string> temp = fs::ToHostPath(fs::TempFolder())) add(*temp, Reach::Write);
    add("/dev/shm", Reach::Write);
    add(SoundDeviceFile(), Reach::Write);
    add(AbsoluteVariable("XDG_RUNTIME_DIR"), Reach::Write);
    for (const char* cache : {"fontconfig", "mesa_shader_cache", "mesa_shader_cache_db"})
        add(under(UserFolder::Cache, cache), Reach::Write);

    for (const char* system : {"/usr", "/bin", "/sbin", "/lib", "/lib32", "/lib64", "/libx32", "/opt"})
        add(system, Reach::Run);

    for (const std::string& folder : Folders.readOnly) add(folder, Reach::Read);
    for (const char* system : {"/etc", "/proc", "/sys", "/run", "/var/cache/fontconfig", "/var/lib/dbus"})
        add(system, Reach::Read);
    add(under(UserFolder::Home, ".fonts"), Reach::Read);
    add(under(UserFolder::LocalData, "fonts"), Reach::Read);
    add(under(UserFolder::Config, "fontconfig"), Reach::Read);
    const std::string authority = AbsoluteVariable("XAUTHORITY");
    add(authority.empty() ? under(UserFolder::Home, ".Xauthority") : authority, Reach::Read);
    add(under(UserFolder::Home, ".asoundrc"), Reach::Read);
    add(under(UserFolder::Config, "pulse"), Reach::Read);
    add(AbsoluteVariable("VELA_SOUNDFONT"), Reach::Read);
    if (const char* image = std::getenv("VELA_CDROM"); image && *image)
        for (const std::string& file : DiscImageFiles(image)) add(file, Reach::Read);
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    // A sanitizer build reads the suppressions its options name when it reports, at the end.
    for (const char* options : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS", "TSAN_OPTIONS"})
        add(SuppressionsFile(std::getenv(options)), Reach::Read);
#endif

    for (const char* device : {"/dev/null", "/dev/zero", "/dev/full", "/dev/random", "/dev/urandom", "/dev/dri",
                               "/dev/snd", "/dev/input"})
        add(device, Reach::Device);
    // The optical drives CD audio is read from.
    std::error_code ec;
    for (std::filesystem::directory_iterator entry("/dev", ec), end; !ec && entry != end; entry.increment(ec)) {
        const std::string name = entry->path().filename().string();
        if (name.starts_with("sr") || name.starts_with("scd") || name.starts_with("cdrom")) add(entry->path().string(), Reach::Device);
    }
    return rules;
}

Confinement KernelConfinement() {
    const int abi = CreateRuleset(nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
    if (abi > 0) return {abi, {}};
    return {0, Failed("the kernel offers no Landlock")};
}

std::string ConfinementLine(const Confinement& Offered) {
    return Offered.abi > 0 ? "confinement: Landlock ABI " + std::to_string(Offered.abi)
                           : "confinement: off (" + Offered.why + ")";
}

Confinement Confine(const ConfinedFolders& Folders) {
    const Confinement offered = KernelConfinement();
    if (offered.abi == 0) return offered;
    if (const int threads = ThreadCount(); threads != 1)
        return {0, std::to_string(threads) + " threads run already, which the confinement would not reach"};
    if (const std::string data = UserFolderPath(UserFolder::LocalData); !data.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(data + "/velaplay", ec);
    }
    if (const std::string sound = SoundDeviceFile(); !sound.empty()) {
        const int fd = open(sound.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fd >= 0) close(fd);
    }
    landlock_ruleset_attr attributes{};
    attributes.handled_access_fs = RightsOfAbi(offered.abi);
    const int ruleset = CreateRuleset(&attributes, sizeof attributes, 0);
    if (ruleset < 0) return {0, Failed("the kernel made no Landlock ruleset")};
    Confinement result = offered;
    for (const ConfinementRule& rule : ConfinementRules(Folders)) {
        if (AddRule(ruleset, rule, attributes.handled_access_fs)) continue;
        result = {0, Failed(("the kernel refused the rule for " + rule.first).c_str())};
        break;
    }
    if (result.abi && prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) result = {0, Failed("no new privileges refused")};
    if (result.abi && syscall(SYS_landlock_restrict_self, ruleset, 0) != 0)
        result = {0, Failed("the kernel confined nothing")};
    close(ruleset);
    return result;
}

}  // namespace platform
