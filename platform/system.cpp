#include "platform/system.h"

#include "platform/encoding.h"
#include "platform/fs.h"
#include "platform/launcher.h"

#include <fontconfig/fontconfig.h>

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>

namespace platform {
namespace {

std::string WithoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

// The value of an environment variable when it names an absolute path (the XDG rule:
// relative values are ignored).
std::string AbsoluteFromEnvironment(const char* name) {
    const char* value = getenv(name);
    return value && value[0] == '/' ? WithoutTrailingSlash(value) : std::string();
}

std::string HomeFolder() {
    std::string home = AbsoluteFromEnvironment("HOME");
    if (!home.empty()) return home;
    struct passwd entry, *found = nullptr;
    char buffer[4096];
    if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found && found->pw_dir &&
        found->pw_dir[0] == '/')
        return WithoutTrailingSlash(found->pw_dir);
    return {};
}

// The folder a line KEY="value" of the user-dirs file gives, "$HOME" expanded; empty when
// the file has no usable line for the key.
std::string UserDirsEntry(const std::string& home, const std::string& key) {
    std::string config = AbsoluteFromEnvironment("XDG_CONFIG_HOME");
    if (config.empty()) config = home + "/.config";
    std::ifstream in(config + "/user-dirs.dirs");
    std::string line, prefix = key + "=\"";
    while (std::getline(in, line)) {
        if (line.compare(0, prefix.size(), prefix) != 0) continue;
        std::string value;
        for (size_t i = prefix.size(); i < line.size() && line[i] != '"'; ++i) {
            if (line[i] == '\\' && i + 1 < line.size()) ++i;
            value += line[i];
        }
        if (value.compare(0, 5, "$HOME") == 0) return WithoutTrailingSlash(home + value.substr(5));
        return value[0] == '/' ? WithoutTrailingSlash(value) : std::string();
    }
    return {};
}

// A user folder of the user-dirs file, else Fallback under the home folder; empty when neither
// will do. A folder that is, once its links, "." and ".." are resolved, the home folder, "/" or
// one above the home folder is never taken (the file names the home folder for a folder the
// user has turned off, and a link can lead there): what is written to the documents or desktop
// folder must not land among the home folder's settings.
std::string UserDir(const std::string& home, const std::string& key, const std::string& fallback) {
    if (home.empty()) return {};
    const auto apart = [&](const std::string& folder) { return !fs::IsInside(folder, home); };
    if (std::string entry = UserDirsEntry(home, key); !entry.empty() && apart(entry)) return entry;
    return apart(home + fallback) ? home + fallback : std::string();
}

// An XDG base folder: the variable's absolute path, else Fallback under the home folder.
std::string BaseDir(const std::string& home, const char* variable, const char* fallback) {
    std::string folder = AbsoluteFromEnvironment(variable);
    if (!folder.empty() || home.empty()) return folder;
    return home + fallback;
}

}  // namespace

std::string UserFolderPath(UserFolder folder) {
    std::string home = HomeFolder();
    switch (folder) {
        case UserFolder::Desktop: return UserDir(home, "XDG_DESKTOP_DIR", "/Desktop");
        case UserFolder::Documents: return UserDir(home, "XDG_DOCUMENTS_DIR", "/Documents");
        case UserFolder::Templates: return UserDir(home, "XDG_TEMPLATES_DIR", "/Templates");
        case UserFolder::LocalData: return BaseDir(home, "XDG_DATA_HOME", "/.local/share");
        case UserFolder::Config: return BaseDir(home, "XDG_CONFIG_HOME", "/.config");
        case UserFolder::Cache: return BaseDir(home, "XDG_CACHE_HOME", "/.cache");
        case UserFolder::Home: return home;
    }
    return {};
}

bool IsDesktopSettingsFolder(std::string_view hostFolder) {
    namespace stdfs = std::filesystem;
    std::error_code ec;
    const auto real = [&](const std::string& Path) {
        const stdfs::path resolved = stdfs::weakly_canonical(Path, ec);
        return ec ? stdfs::path(Path).lexically_normal() : resolved;
    };
    // The parts of Path below Folder; nothing when Path is not Folder or inside it.
    const auto below = [](const stdfs::path& Folder, const stdfs::path& Path) -> std::optional<std::vector<std::string>> {
        auto p = Path.begin();
        for (const stdfs::path& part : Folder) {
            if (part.empty()) continue;
            if (p == Path.end() || *p != part) return std::nullopt;
            ++p;
        }
        std::vector<std::string> rest;
        for (; p != Path.end(); ++p)
            if (!p->empty()) rest.push_back(p->string());
        return rest;
    };
    const stdfs::path folder = real(std::string(hostFolder));
    if (const std::string config = UserFolderPath(UserFolder::Config); !config.empty() && below(real(config), folder))
        return true;
    const std::string home = HomeFolder();
    if (home.empty()) return false;
    const std::optional<std::vector<std::string>> parts = below(real(home), folder);
    if (!parts) return false;
    if (parts->empty()) return true;
    const std::string& first = (*parts)[0];
    const std::string second = parts->size() > 1 ? (*parts)[1] : std::string();
    if (first == "bin") return true;
    if (!first.starts_with('.')) return false;
    if (first != ".local") return true;
    if (second == "share") return parts->size() > 2 && (*parts)[2] == "applications";
    return true;
}

bool ForceDirectories(std::string_view programPath) {
    auto host = fs::ToHostPath(programPath);
    if (!host) return false;
    std::error_code ec;
    std::filesystem::create_directories(*host, ec);
    return std::filesystem::is_directory(*host, ec);
}

std::string MessageLocale() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = getenv(name);
        if (value && *value) return value;
    }
    return {};
}

// ---- Single instance ----

namespace {

std::string LockFolder() {
    std::string runtime = AbsoluteFromEnvironment("XDG_RUNTIME_DIR");
    if (!runtime.empty()) return runtime;
    std::string temp = AbsoluteFromEnvironment("TMPDIR");
    return temp.empty() ? "/tmp" : temp;
}

uint64_t Fnv1a64(std::string_view text) {
    uint64_t hash = 0xCBF29CE484222325u;
    for (unsigned char c : text) hash = (hash ^ c) * 0x100000001B3u;
    return hash;
}

// The user's id keeps users apart in a shared temporary folder. Safe bytes stay, the others
// become "%XX"; a key too long for a file name keeps its first part and gets "%%" and a hash
// of the whole key ("%%" never occurs in an escaped key, so the two forms cannot meet).
std::string LockFileName(std::string_view key) {
    static const char* digits = "0123456789ABCDEF";
    std::string escaped;
    for (unsigned char c : key) {
        if (isalnum(c) || c == '.' || c == '_' || c == '-') {
            escaped += static_cast<char>(c);
        } else {
            escaped += '%';
            escaped += digits[c >> 4];
            escaped += digits[c & 15];
        }
    }
    constexpr size_t kMaxEscaped = 200, kKeptPrefix = 160;
    if (escaped.size() > kMaxEscaped) {
        char hash[17];
        snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(Fnv1a64(key)));
        escaped = escaped.substr(0, kKeptPrefix) + "%%" + hash;
    }
    return "vela-" + std::to_string(getuid()) + "-" + escaped + ".lock";
}

}  // namespace

std::unique_ptr<InstanceLock> InstanceLock::Acquire(std::string_view key) {
    std::string path = LockFolder() + "/" + LockFileName(key);
    // A holder removes the file before it lets go of the lock, so a lock won on a file that is no
    // longer the one at the path locks nothing: the path's new file is tried.
    for (;;) {
        int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) return nullptr;
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            close(fd);
            return nullptr;
        }
        struct stat held, named;
        if (fstat(fd, &held) == 0 && lstat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
            held.st_ino == named.st_ino)
            return std::unique_ptr<InstanceLock>(new InstanceLock(fd, std::move(path)));
        close(fd);
    }
}

InstanceLock::~InstanceLock() {
    unlink(path_.c_str());
    close(fd_);
}

// ---- Display metrics ----

namespace {
std::mutex metricsMutex;
DisplayMetrics metrics;
}  // namespace

DisplayMetrics GetDisplayMetrics() {
    std::lock_guard lock(metricsMutex);
    return metrics;
}

void SetDisplayMetrics(const DisplayMetrics& supplied) {
    std::lock_guard lock(metricsMutex);
    metrics = supplied;
}

// ---- Desktop ----

namespace {

// Runs a program the player starts for the user (found on PATH, no shell between) and waits for
// it; whether it exited with status 0.
bool RunProgram(const std::vector<std::string>& args) {
    const Launched program = Launch({args, {}, false, false});
    if (program.pid <= 0) return false;
    const std::optional<int> status = WaitLaunched(program.pid, true);
    return status && *status >= 0 && WIFEXITED(*status) && WEXITSTATUS(*status) == 0;
}

// A file:// URI of a host path, every byte outside the unreserved set and "/" escaped.
std::string FileUri(const std::string& path) {
    static const char* digits = "0123456789ABCDEF";
    std::error_code ec;
    std::string absolute = std::filesystem::absolute(path, ec).string();
    std::string uri = "file://";
    for (unsigned char c : ec ? path : absolute) {
        if (isalnum(c) || c == '/' || c == '-' || c == '.' || c == '_' || c == '~') {
            uri += static_cast<char>(c);
        } else {
            uri += '%';
            uri += digits[c >> 4];
            uri += digits[c & 15];
        }
    }
    return uri;
}

}  // namespace

int64_t PhysicalMemoryBytes() {
    const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGE_SIZE);
    return pages > 0 && pageSize > 0 ? int64_t(pages) * pageSize : 0;
}

std::optional<std::string> EnvironmentVariable(const char* Name) {
    const char* value = std::getenv(Name);
    return value ? std::optional<std::string>(value) : std::nullopt;
}

bool SetDesktopWallpaper(const std::string& imagePath, WallpaperStyle style) {
    const std::string schema = "org.gnome.desktop.background";
    const char* options = style == WallpaperStyle::Centered ? "centered"
                          : style == WallpaperStyle::Tiled  ? "wallpaper"
                                                            : "stretched";
    std::string uri = FileUri(imagePath);
    if (!RunProgram({"gsettings", "set", schema, "picture-uri", uri})) return false;
    // Desktops older than the dark-style background have no such key; that is no failure.
    RunProgram({"gsettings", "set", schema, "picture-uri-dark", uri});
    return RunProgram({"gsettings", "set", schema, "picture-options", options});
}

namespace {

// The openers started and not yet reaped. An opener may run as long as the program it opens, so
// the player never waits for one: each call reaps those that ended since.
std::mutex openersMutex;
std::vector<int> openers;

void ReapEndedOpeners() {
    // Ended, or no longer a program to wait for.
    std::erase_if(openers, [](int pid) { return WaitLaunched(pid, false).has_value(); });
}

}  // namespace

bool IsWebAddress(std::string_view Target) {
    static constexpr std::string_view Schemes[] = {"http://", "https://", "ftp://"};
    const bool schemed = std::any_of(std::begin(Schemes), std::end(Schemes), [&](std::string_view Scheme) {
        return Target.size() > Scheme.size() && Target.starts_with(Scheme);
    });
    return schemed && std::none_of(Target.begin(), Target.end(), [](char C) {
               return static_cast<uint8_t>(C) <= 0x20 || static_cast<uint8_t>(C) == 0x7F;
           });
}

bool OpenWithDesktop(const std::string& target) {
    std::lock_guard lock(openersMutex);
    ReapEndedOpeners();
    if (openers.size() >= kMaxOpeners) {
        std::fprintf(stderr, "velaplay: %zu desktop openers are still running: one more is not started\n", kMaxOpeners);
        return false;
    }
    const Launched opener = Launch({{"xdg-open", target}, {}, false, false});
    if (opener.pid <= 0) return false;
    openers.push_back(opener.pid);
    return true;
}

// ---- Fonts ----

namespace {

std::string PreferredFamilyName(FcPattern* font) {
    FcChar8* first = nullptr;
    FcChar8* name;
    for (int i = 0; FcPatternGetString(font, FC_FAMILY, i, &name) == FcResultMatch; ++i) {
        if (!first) first = name;
        FcChar8* lang;
        if (FcPatternGetString(font, FC_FAMILYLANG, i, &lang) == FcResultMatch &&
            strncmp(reinterpret_cast<const char*>(lang), "ja", 2) == 0)
            return Utf8ToCp932(reinterpret_cast<const char*>(name));
    }
    return first ? Utf8ToCp932(reinterpret_cast<const char*>(first)) : std::string();
}

int IntegerOf(FcPattern* font, const char* object, int fallback) {
    int value;
    return FcPatternGetInteger(font, object, 0, &value) == FcResultMatch ? value : fallback;
}

// How far a style is from upright regular: any slant counts more than any weight.
int DistanceFromRegular(int weight, bool italic) { return std::abs(weight - 400) + (italic ? 10000 : 0); }

}  // namespace

std::vector<FontFamily> JapaneseFontFamilies() {
    std::vector<FontFamily> families;
    // A configuration of its own, freed again, sees the fonts installed now and leaves no
    // library-wide state behind.
    FcConfig* config = FcInitLoadConfigAndFonts();
    if (!config) return families;
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(":lang=ja:outline=true"));
    FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, FC_FAMILYLANG, FC_SPACING, FC_WEIGHT, FC_SLANT, nullptr);
    FcFontSet* fonts = pattern && objects ? FcFontList(config, pattern, objects) : nullptr;
    for (int i = 0; fonts && i < fonts->nfont; ++i) {
        FcPattern* font = fonts->fonts[i];
        FontFamily style{PreferredFamilyName(font), IntegerOf(font, FC_SPACING, FC_PROPORTIONAL) >= FC_DUAL,
                         FcWeightToOpenType(IntegerOf(font, FC_WEIGHT, FC_WEIGHT_REGULAR)),
                         IntegerOf(font, FC_SLANT, FC_SLANT_ROMAN) != FC_SLANT_ROMAN, {}};
        if (style.name.empty()) continue;
        FcChar8* name;
        for (int n = 0; FcPatternGetString(font, FC_FAMILY, n, &name) == FcResultMatch; ++n)
            style.hostNames.emplace_back(reinterpret_cast<const char*>(name));
        auto known = std::find_if(families.begin(), families.end(),
                                  [&](const FontFamily& f) { return f.name == style.name; });
        if (known == families.end())
            families.push_back(style);
        else if (DistanceFromRegular(style.weight, style.italic) < DistanceFromRegular(known->weight, known->italic))
            *known = style;
    }
    if (fonts) FcFontSetDestroy(fonts);
    if (objects) FcObjectSetDestroy(objects);
    if (pattern) FcPatternDestroy(pattern);
    FcConfigDestroy(config);
    return families;
}

// ---- Folder listings ----

std::vector<FolderEntry> ListFolder(std::string_view programPath) {
    std::vector<FolderEntry> entries;
    auto host = fs::ToHostPath(programPath);
    DIR* dir = host ? opendir(host->c_str()) : nullptr;
    if (!dir) return entries;
    while (dirent* e = readdir(dir)) {
        std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        struct stat st;
        // A dangling symbolic link is listed as what it is itself.
        int fd = dirfd(dir);
        if (fstatat(fd, e->d_name, &st, 0) != 0 && fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        entries.push_back({Utf8ToCp932(name), S_ISDIR(st.st_mode), S_ISREG(st.st_mode), name[0] == '.',
                           (st.st_mode & S_IWUSR) == 0, {st.st_dev, st.st_ino}});
    }
    closedir(dir);
    return entries;
}

std::optional<FolderId> GetFolderId(std::string_view programPath) {
    auto host = fs::ToHostPath(programPath);
    struct stat st;
    if (!host || stat(host->c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return std::nullopt;
    return FolderId{st.st_dev, st.st_ino};
}

}  // namespace platform
