#include "platform/beneath.h"

#include "platform/encoding.h"
#include "platform/fs.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <utility>

namespace platform::fs {
namespace {

FileId IdOf(const struct stat& st) { return {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)}; }

// ASCII letters in lower case: the key under which names that differ only in case meet.
std::string Folded(std::string_view name) {
    std::string folded(name);
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return folded;
}

// The entry of the open folder Folder whose name matches Name without regard to case: Name
// itself when it stands as written, the first match read otherwise, Name when none does.
std::string MatchedName(int Folder, const std::string& Name) {
    struct stat st;
    if (fstatat(Folder, Name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return Name;
    const int listed = openat(Folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listed < 0) return Name;
    DIR* dir = fdopendir(listed);
    if (!dir) {
        close(listed);
        return Name;
    }
    const std::string wanted = Folded(Name);
    std::string found = Name;
    while (const dirent* entry = readdir(dir)) {
        if (Folded(entry->d_name) == wanted) {
            found = entry->d_name;
            break;
        }
    }
    closedir(dir);
    return found;
}

// openat2 beneath Folder: the kernel refuses ".." above it, an absolute link and any link that
// leads out of it (with NoLinks, any link at all), and the magic links of /proc.
int OpenBeneath(int Folder, const std::string& Name, uint64_t Flags, uint64_t Mode, bool NoLinks) {
    open_how how{};
    how.flags = Flags | O_CLOEXEC;
    how.mode = (Flags & O_CREAT) ? Mode : 0;  // a mode without O_CREAT is refused
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS | (NoLinks ? RESOLVE_NO_SYMLINKS : 0);
    for (;;) {
        const long fd = syscall(SYS_openat2, Folder, Name.c_str(), &how, sizeof how);
        if (fd >= 0 || errno != EINTR) return static_cast<int>(fd);
    }
}

std::string HostPathOf(int fd) {
    char link[PATH_MAX];
    const std::string proc = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = readlink(proc.c_str(), link, sizeof link - 1);
    return n > 0 ? std::string(link, static_cast<size_t>(n)) : std::string();
}

}  // namespace

// ---- HeldFolder ----

HeldFolder::HeldFolder(int fd, FileId id, std::string hostPath, std::string programPath)
    : fd_(fd), id_(id), hostPath_(std::move(hostPath)), programPath_(std::move(programPath)) {}

HeldFolder::~HeldFolder() { close(fd_); }

std::shared_ptr<const HeldFolder> HeldFolder::Open(std::string_view programFolder) {
    const std::optional<std::string> host = ToHostPath(programFolder);
    if (!host) return nullptr;
    const int fd = open(host->c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    struct stat st;
    if (fd < 0) return nullptr;
    if (fstat(fd, &st) != 0) {
        close(fd);
        return nullptr;
    }
    std::string program(programFolder);
    if (!program.empty() && program.back() != '\\') program += '\\';
    return std::shared_ptr<const HeldFolder>(new HeldFolder(fd, IdOf(st), HostPathOf(fd), std::move(program)));
}

// ---- Beneath ----

Beneath Beneath::Below(std::string_view Part) const {
    Beneath below = *this;
    below.Parts.emplace_back(Part);
    return below;
}

std::string Beneath::Shown() const {
    std::string shown = Root ? Root->ProgramPath() : std::string();
    for (size_t i = 0; i < Parts.size(); ++i) shown += (i ? "\\" : "") + Parts[i];
    return ShownPath(shown);
}

// ---- EntryFolder ----

EntryFolder::EntryFolder(int fd, std::string name, std::vector<std::string> hostParts)
    : fd_(fd), name_(std::move(name)), hostParts_(std::move(hostParts)) {}

EntryFolder::EntryFolder(EntryFolder&& Other) noexcept
    : fd_(std::exchange(Other.fd_, -1)), name_(std::move(Other.name_)), hostParts_(std::move(Other.hostParts_)) {}

EntryFolder::~EntryFolder() {
    if (fd_ >= 0) close(fd_);
}

std::optional<EntryFolder> EntryFolder::Reach(const Beneath& Place, const std::function<void()>* Make, int& Error,
                                              bool NoLinks) {
    return Walk(Place, Make, Error, NoLinks, false);
}

std::optional<EntryFolder> EntryFolder::ReachStanding(const Beneath& Place, int& Error) {
    return Walk(Place, nullptr, Error, false, true);
}

std::optional<EntryFolder> EntryFolder::Walk(const Beneath& Place, const std::function<void()>* Make, int& Error,
                                             bool NoLinks, bool StopAtMissing) {
    // Each part is one plain name: the kernel would refuse a way out, and nothing here takes one.
    const auto plain = [](const std::string& Part) {
        return !Part.empty() && Part != "." && Part != ".." && Part.find_first_of(std::string_view("/\0", 2)) == std::string::npos;
    };
    if (!Place.Root || Place.Parts.empty() || !std::ranges::all_of(Place.Parts, plain)) {
        Error = ENOENT;
        return std::nullopt;
    }
    int folder = dup(Place.Root->Descriptor());
    if (folder < 0) {
        Error = errno;
        return std::nullopt;
    }
    std::vector<std::string> hostParts;
    const auto fail = [&](int Code) {
        Error = Code;
        close(folder);
        return std::nullopt;
    };
    for (size_t i = 0; i + 1 < Place.Parts.size(); ++i) {
        const std::string name = MatchedName(folder, Cp932ToUtf8(Place.Parts[i]));
        int next = OpenBeneath(folder, name, O_PATH | O_DIRECTORY, 0, NoLinks);
        if (next < 0 && errno == ENOENT && Make) {
            (*Make)();
            if (mkdirat(folder, name.c_str(), 0777) != 0 && errno != EEXIST) return fail(errno);
            ForgetFolderListings();
            next = OpenBeneath(folder, name, O_PATH | O_DIRECTORY | O_NOFOLLOW, 0, true);
        }
        if (next < 0 && errno == ENOENT && StopAtMissing) {
            hostParts.push_back(name);
            return EntryFolder(folder, name, std::move(hostParts));
        }
        if (next < 0) return fail(errno);
        close(folder);
        folder = next;
        hostParts.push_back(name);
    }
    std::string name = MatchedName(folder, Cp932ToUtf8(Place.Parts.back()));
    hostParts.push_back(name);
    return EntryFolder(folder, std::move(name), std::move(hostParts));
}

bool EntryFolder::MakeFolders(const Beneath& Folder, const std::function<void()>& Make, int& Error) {
    if (Folder.Parts.empty()) return Folder.Root != nullptr;
    const std::optional<EntryFolder> above = Reach(Folder, &Make, Error);
    if (!above) return false;
    const std::optional<Entry> standing = above->LookAt();
    if (standing) {
        struct stat st;
        if (fstatat(above->fd_, above->name_.c_str(), &st, 0) == 0 && S_ISDIR(st.st_mode) && !standing->Link) return true;
        Error = ENOTDIR;
        return false;
    }
    Make();
    if (mkdirat(above->fd_, above->name_.c_str(), 0777) != 0) {
        Error = errno;
        return false;
    }
    ForgetFolderListings();
    return true;
}

std::string EntryFolder::HostPath() const { return HostPathOf(fd_); }

FileId EntryFolder::Id() const {
    struct stat st;
    return fstat(fd_, &st) == 0 ? IdOf(st) : FileId{};
}

std::optional<EntryFolder::Entry> EntryFolder::LookAt() const {
    struct stat st;
    if (fstatat(fd_, name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return std::nullopt;
    const auto ns = [](const timespec& t) { return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec; };
    return Entry{IdOf(st), S_ISREG(st.st_mode), S_ISLNK(st.st_mode), st.st_size, ns(st.st_mtim), ns(st.st_ctim)};
}

std::vector<FileId> EntryFolder::FoldersUp() const {
    constexpr int kDeepest = 4096;  // more than a host path of PATH_MAX bytes can hold
    std::vector<FileId> ids;
    int folder = dup(fd_);
    for (int depth = 0; folder >= 0 && depth < kDeepest; ++depth) {
        struct stat st;
        if (fstat(folder, &st) != 0) break;
        const FileId id = IdOf(st);
        if (!ids.empty() && ids.back() == id) break;  // ".." of the root is the root
        ids.push_back(id);
        const int up = openat(folder, "..", O_PATH | O_DIRECTORY | O_CLOEXEC);
        close(folder);
        folder = up;
    }
    if (folder >= 0) close(folder);
    return ids;
}

bool EntryFolder::Remove() const { return RemoveName(name_); }

bool EntryFolder::RemoveName(const std::string& FromName) const {
    if (unlinkat(fd_, FromName.c_str(), 0) != 0) return false;
    ForgetFolderListings();
    return true;
}

bool EntryFolder::ReplaceWith(const std::string& FromName) const {
    if (renameat(fd_, FromName.c_str(), fd_, name_.c_str()) != 0) return false;
    ForgetFolderListings();
    return true;
}

// ---- HostFile beneath a held folder ----

bool HostFile::Open(const EntryFolder& Folder, Mode mode) {
    Close();
    uint64_t flags = 0;
    switch (mode) {
        case Mode::Read: flags = O_RDONLY; break;
        case Mode::Write: flags = O_WRONLY | O_NOFOLLOW; break;
        case Mode::ReadWrite: flags = O_RDWR | O_NOFOLLOW; break;
        case Mode::Create: flags = O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW; break;
        case Mode::Append: flags = O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW; break;
    }
    fd_ = OpenBeneath(Folder.Descriptor(), Folder.Name(), flags, 0666, mode != Mode::Read);
    if (fd_ < 0) {
        error_ = strerror(errno);
        return false;
    }
    if (flags & O_CREAT) ForgetFolderListings();
    return RefuseFolder();
}

std::optional<std::string> HostFile::CreateBeside(const EntryFolder& Folder) {
    Close();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::optional<std::string> suffix = PartSuffix();
        if (!suffix) break;
        const std::string made = Folder.Name() + *suffix;
        fd_ = OpenBeneath(Folder.Descriptor(), made, O_RDWR | O_CREAT | O_EXCL, 0666, true);
        if (fd_ >= 0) {
            ForgetFolderListings();
            return made;
        }
        if (errno != EEXIST) break;
    }
    error_ = strerror(errno);
    return std::nullopt;
}

}  // namespace platform::fs
