#include "platform/fs.h"
#include "platform/placement.h"

#include "platform/encoding.h"
#include "platform/errors.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <unordered_map>
#include <vector>

namespace platform::fs {
namespace {

// ASCII letters in lower case: the key under which names that differ only in case meet.
std::string FoldedName(std::string_view name) {
    std::string folded(name);
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return folded;
}

// What moves when a folder's entries change: its modification and change times (or the folder
// itself, when another now stands at the path).
struct TFolderStamp {
    dev_t Device = 0;
    ino_t Inode = 0;
    timespec Modified{}, Changed{};

    bool operator==(const TFolderStamp& Other) const {
        return Device == Other.Device && Inode == Other.Inode && Modified.tv_sec == Other.Modified.tv_sec &&
               Modified.tv_nsec == Other.Modified.tv_nsec && Changed.tv_sec == Other.Changed.tv_sec &&
               Changed.tv_nsec == Other.Changed.tv_nsec;
    }
};

// A host folder as ToHostPath spells it: "" for the current folder, else ending in "/".
std::optional<TFolderStamp> StampOf(const std::string& folder) {
    struct stat st;
    if (stat(folder.empty() ? "." : folder.c_str(), &st) != 0) return std::nullopt;
    return TFolderStamp{st.st_dev, st.st_ino, st.st_mtim, st.st_ctim};
}

// The entries of the folders that names were looked up in without regard to case, each folder
// read once: the changes this process makes to them (HostFile, DeleteFile, RenameFile,
// CreateDirectory) are applied to what was read, and a folder whose stamp moved otherwise is read
// again. At most kMaxFolders are kept; past that all are dropped and read again as needed.
class TFolderNames {
public:
    // The entry of Folder whose name matches Name without regard to case (the first read when
    // several do); nothing when none does or the folder cannot be read.
    std::optional<std::string> Find(const std::string& Folder, const std::string& Name) {
        const std::optional<TFolderStamp> stamp = StampOf(Folder);
        if (!stamp) return std::nullopt;
        std::lock_guard lock(mutex_);
        auto found = folders_.find(Folder);
        if (found == folders_.end() || !(found->second.Stamp == *stamp)) {
            if (found != folders_.end()) folders_.erase(found);
            std::optional<TListing> listing = Read(Folder, *stamp);
            if (!listing) return std::nullopt;
            if (folders_.size() >= kMaxFolders) folders_.clear();
            found = folders_.emplace(Folder, std::move(*listing)).first;
        }
        const auto names = found->second.Names.find(FoldedName(Name));
        if (names == found->second.Names.end()) return std::nullopt;
        return names->second.front();
    }

    // This process removed the entry Removed of Folder and added Added ("" for none), the
    // folder's stamp Before just ahead of the change. A folder read before then takes the change;
    // one that moved meanwhile is dropped, to be read again.
    void Changed(const std::string& Folder, const std::optional<TFolderStamp>& Before, const std::string& Removed,
                 const std::string& Added) {
        const std::optional<TFolderStamp> after = StampOf(Folder);
        std::lock_guard lock(mutex_);
        const auto found = folders_.find(Folder);
        if (found == folders_.end()) return;
        TListing& listing = found->second;
        if (!Before || !after || !(listing.Stamp == *Before)) {
            folders_.erase(found);
            return;
        }
        if (!Removed.empty()) Forget(listing, Removed);
        if (!Added.empty()) Note(listing, Added);
        listing.Stamp = *after;
    }

    void Clear() {
        std::lock_guard lock(mutex_);
        folders_.clear();
    }

private:
    static constexpr size_t kMaxFolders = 64;

    // The names of one folder by their folded form, in the order read (then added).
    struct TListing {
        TFolderStamp Stamp;
        std::unordered_map<std::string, std::vector<std::string>> Names;
    };

    // Stamp is taken before the folder is read, so a change while it is read shows at the next look-up.
    static std::optional<TListing> Read(const std::string& Folder, const TFolderStamp& Stamp) {
        const std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(Folder.empty() ? "." : Folder.c_str()), closedir);
        if (!dir) return std::nullopt;
        TListing listing{Stamp, {}};
        while (const dirent* entry = readdir(dir.get())) Note(listing, entry->d_name);
        return listing;
    }
    static void Note(TListing& Listing, const std::string& Name) {
        std::vector<std::string>& names = Listing.Names[FoldedName(Name)];
        if (std::find(names.begin(), names.end(), Name) == names.end()) names.push_back(Name);
    }
    static void Forget(TListing& Listing, const std::string& Name) {
        const auto found = Listing.Names.find(FoldedName(Name));
        if (found == Listing.Names.end()) return;
        std::erase(found->second, Name);
        if (found->second.empty()) Listing.Names.erase(found);
    }

    std::mutex mutex_;
    std::unordered_map<std::string, TListing> folders_;
};

TFolderNames& FolderNames() {
    static TFolderNames names;
    return names;
}

// The host spellings of the folders of paths looked up before, each by the path's folder part
// (up to its last separator): while the same folder (device and inode) still stands at that
// spelling, a look-up matches only the name after it on disk, not every folder above it again.
// At most kMaxFolders are kept; past that all are dropped and walked again as needed.
class TWalkedFolders {
public:
    std::optional<std::string> Find(const std::string& Folder) {
        TWalked walked;
        {
            std::lock_guard lock(mutex_);
            const auto found = folders_.find(Folder);
            if (found == folders_.end()) return std::nullopt;
            walked = found->second;
        }
        struct stat st;
        if (stat(walked.Host.c_str(), &st) != 0 || st.st_dev != walked.Device || st.st_ino != walked.Inode)
            return std::nullopt;
        return walked.Host;
    }
    void Keep(const std::string& Folder, const std::string& Host) {
        struct stat st;
        if (stat(Host.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return;
        std::lock_guard lock(mutex_);
        if (folders_.size() >= kMaxFolders) folders_.clear();
        folders_[Folder] = {Host, st.st_dev, st.st_ino};
    }

private:
    static constexpr size_t kMaxFolders = 64;

    struct TWalked {
        std::string Host;
        dev_t Device = 0;
        ino_t Inode = 0;
    };

    std::mutex mutex_;
    std::unordered_map<std::string, TWalked> folders_;
};

TWalkedFolders& WalkedFolders() {
    static TWalkedFolders folders;
    return folders;
}

// The entry of `folder` whose name matches `name` without regard to case; `name` itself when
// it exists as written or when nothing matches.
std::string FindComponent(const std::string& folder, const std::string& name) {
    struct stat st;
    if (lstat((folder + name).c_str(), &st) == 0) return name;
    return FolderNames().Find(folder, name).value_or(name);
}

// One change this process makes to the entries of a folder, named by the host path of the entry
// it adds or removes: made before the change, told once it was made.
class TFolderChange {
public:
    explicit TFolderChange(std::string_view hostPath) {
        while (hostPath.size() > 1 && hostPath.back() == '/') hostPath.remove_suffix(1);
        const size_t slash = hostPath.rfind('/');
        const size_t name = slash == std::string_view::npos ? 0 : slash + 1;
        folder_ = hostPath.substr(0, name);
        name_ = hostPath.substr(name);
        before_ = StampOf(folder_);
    }
    void Added() const { FolderNames().Changed(folder_, before_, {}, name_); }
    void Removed() const { FolderNames().Changed(folder_, before_, name_, {}); }
    // The entry was renamed to the one of To: one change when both lie in one folder.
    void RenamedTo(const TFolderChange& To) const {
        if (folder_ == To.folder_) {
            FolderNames().Changed(folder_, before_, name_, To.name_);
        } else {
            Removed();
            To.Added();
        }
    }

private:
    std::string folder_, name_;
    std::optional<TFolderStamp> before_;
};

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

std::mutex tempMutex;
std::string tempHostFolder;

}  // namespace

void ForgetFolderListings() { FolderNames().Clear(); }

std::optional<std::string> ToHostPath(std::string_view programPath) {
    if (programPath.find('\0') != std::string_view::npos) return std::nullopt;
    std::string path = Cp932ToUtf8(programPath);
    std::string host;
    size_t pos = 0;
    if (path.size() >= 2 && path[1] == ':') {
        if (path[0] != 'Z' && path[0] != 'z') return std::nullopt;
        pos = 2;
        host = "/";
    } else if (!path.empty() && IsSeparator(path[0])) {
        host = "/";
    }
    // The folder part: up to the last separator, when a name comes before it.
    const size_t cut = path.find_last_of("\\/");
    const bool hasFolder = cut != std::string::npos && cut >= pos && path.find_first_not_of("\\/", pos) < cut;
    const std::string folder = hasFolder ? path.substr(0, cut + 1) : std::string();
    bool walked = false;
    if (hasFolder) {
        if (std::optional<std::string> known = WalkedFolders().Find(folder)) {
            host = std::move(*known);
            pos = cut + 1;
            walked = true;
        }
    }
    while (pos < path.size()) {
        while (pos < path.size() && IsSeparator(path[pos])) ++pos;
        if (hasFolder && !walked && pos > cut) {
            WalkedFolders().Keep(folder, host);
            walked = true;
        }
        size_t end = pos;
        while (end < path.size() && !IsSeparator(path[end])) ++end;
        if (end == pos) break;
        std::string name = path.substr(pos, end - pos);
        if (name == "." || name == "..")
            host += name;
        else
            host += FindComponent(host, name);
        if (end < path.size()) host += '/';
        pos = end;
    }
    if (host.empty()) host = ".";
    return host;
}

std::string ToProgramPath(std::string_view hostPath) {
    std::string path = "Z:";
    for (char c : hostPath) path += c == '/' ? '\\' : c;
    if (path == "Z:") path += '\\';
    return Utf8ToCp932(path);
}

std::string ShownPath(std::string_view programPath) {
    const std::optional<std::string> host = ToHostPath(programPath);
    return host ? Utf8ToCp932(*host) : std::string(programPath);
}

namespace {

// HostPath made absolute, its links, "." and ".." resolved as far as it exists; empty when the
// host cannot resolve it. The host resolves the longest part that exists at once; what follows
// it is only normalised.
std::filesystem::path Resolved(std::string_view hostPath) {
    namespace stdfs = std::filesystem;
    std::error_code ec;
    const stdfs::path path = stdfs::absolute(stdfs::path(hostPath), ec);
    if (ec) return {};
    stdfs::path head = path, tail;
    for (;;) {
        // A missing name is seen at once, before the host walks the folders above it.
        struct stat st;
        const bool missing = lstat(head.c_str(), &st) != 0 && errno == ENOENT;
        char resolved[PATH_MAX];
        if (!missing && realpath(head.c_str(), resolved))
            return tail.empty() ? stdfs::path(resolved) : (stdfs::path(resolved) / tail).lexically_normal();
        if ((!missing && errno != ENOENT && errno != ENOTDIR) || !head.has_relative_path()) return {};
        const stdfs::path name = head.filename();
        head = head.parent_path();
        if (!name.empty()) tail = tail.empty() ? name : name / tail;
    }
}

}  // namespace

std::optional<std::string> FullHostPath(std::string_view programPath) {
    const std::optional<std::string> host = ToHostPath(programPath);
    if (!host) return std::nullopt;
    std::string full = Resolved(*host).string();
    if (full.empty()) return std::nullopt;
    while (full.size() > 1 && full.back() == '/') full.pop_back();
    return full;
}

namespace {

// Where one resolved path lies against a resolved folder.
Placement PlaceOf(const std::filesystem::path& Folder, const std::filesystem::path& Path) {
    if (Folder.empty() || Path.empty()) return Placement::Outside;
    auto p = Path.begin();
    for (const auto& part : Folder) {
        if (part.empty()) continue;  // the trailing separator of a folder
        if (p == Path.end() || *p != part) return Placement::Outside;
        ++p;
    }
    while (p != Path.end() && p->empty()) ++p;
    return p == Path.end() ? Placement::Same : Placement::Inside;
}

// Whether a part of Path below Folder (Path lying inside it, both resolved) begins with ".": a
// hidden file or folder, whatever name led there.
bool HiddenBelow(const std::filesystem::path& Folder, const std::filesystem::path& Path) {
    const size_t depth = static_cast<size_t>(std::count_if(Folder.begin(), Folder.end(), [](const auto& part) { return !part.empty(); }));
    size_t index = 0;
    for (const auto& part : Path) {
        if (part.empty()) continue;
        if (index++ >= depth && part.native().starts_with('.')) return true;
    }
    return false;
}

}  // namespace

bool IsInside(std::string_view hostFolder, std::string_view hostPath) {
    return PlaceOf(Resolved(hostFolder), Resolved(hostPath)) != Placement::Outside;
}

Placement PlaceInFolder(std::string_view programFolder, std::string_view programPath) {
    const auto folder = ToHostPath(programFolder), path = ToHostPath(programPath);
    return folder && path ? PlaceOf(Resolved(*folder), Resolved(*path)) : Placement::Outside;
}

bool IsInsideFolder(std::string_view programFolder, std::string_view programPath) {
    return PlaceInFolder(programFolder, programPath) != Placement::Outside;
}

bool IsPlainlyInside(std::string_view programFolder, std::string_view programPath) {
    const auto hostFolder = ToHostPath(programFolder), hostPath = ToHostPath(programPath);
    if (!hostFolder || !hostPath) return false;
    const std::filesystem::path folder = Resolved(*hostFolder), path = Resolved(*hostPath);
    return PlaceOf(folder, path) != Placement::Outside && !HiddenBelow(folder, path);
}

std::string FileInFolder(const std::string& programFolder, const std::string& name) {
    if (programFolder.empty()) return {};
    std::string path = programFolder + name;
    return FileExists(path) && IsPlainlyInside(programFolder, path) ? path : std::string();
}

namespace {
bool StatProgramPath(std::string_view programPath, struct stat& st) {
    auto host = ToHostPath(programPath);
    return host && stat(host->c_str(), &st) == 0;
}
}  // namespace

bool FileExists(std::string_view programPath) {
    struct stat st;
    return StatProgramPath(programPath, st) && S_ISREG(st.st_mode);
}

bool DirectoryExists(std::string_view programPath) {
    struct stat st;
    return StatProgramPath(programPath, st) && S_ISDIR(st.st_mode);
}

std::optional<FileStamp> StampOfFile(std::string_view programPath) {
    const auto host = ToHostPath(programPath);
    struct stat st;
    if (!host || lstat(host->c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    const auto ns = [](const timespec& t) { return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec; };
    return FileStamp{st.st_dev, st.st_ino, st.st_size, ns(st.st_mtim), ns(st.st_ctim)};
}

int32_t FileAge(std::string_view programPath) {
    struct stat st;
    if (!StatProgramPath(programPath, st)) return -1;
    struct tm t;
    const time_t mtime = st.st_mtime;
    if (!localtime_r(&mtime, &t) || t.tm_year < 80 || t.tm_year > 207) return -1;
    const uint32_t packed = static_cast<uint32_t>(t.tm_year - 80) << 25 | static_cast<uint32_t>(t.tm_mon + 1) << 21 |
                            static_cast<uint32_t>(t.tm_mday) << 16 | static_cast<uint32_t>(t.tm_hour) << 11 |
                            static_cast<uint32_t>(t.tm_min) << 5 | static_cast<uint32_t>(t.tm_sec / 2);
    return static_cast<int32_t>(packed);
}

bool DeleteFile(std::string_view programPath) {
    auto host = ToHostPath(programPath);
    if (!host) return false;
    const TFolderChange change(*host);
    if (unlink(host->c_str()) != 0) return false;
    change.Removed();
    return true;
}

bool RenameFile(std::string_view fromProgramPath, std::string_view toProgramPath) {
    auto from = ToHostPath(fromProgramPath);
    auto to = ToHostPath(toProgramPath);
    if (!from || !to) return false;
    const TFolderChange removal(*from), addition(*to);
    if (rename(from->c_str(), to->c_str()) != 0) return false;
    removal.RenamedTo(addition);
    return true;
}

bool CreateDirectory(std::string_view programPath) {
    auto host = ToHostPath(programPath);
    if (!host) return false;
    const TFolderChange change(*host);
    if (mkdir(host->c_str(), 0777) != 0) return false;
    change.Added();
    return true;
}

bool FolderTakesFiles(std::string_view programFolder) {
    auto host = ToHostPath(programFolder);
    if (!host) return false;
    std::string probe = *host + (host->ends_with('/') ? "" : "/") + ".vela-probe-XXXXXX";
    const int fd = mkostemp(probe.data(), O_CLOEXEC);
    if (fd < 0) return false;
    close(fd);
    unlink(probe.c_str());
    return true;
}

std::string TempFolder() {
    std::lock_guard lock(tempMutex);
    if (tempHostFolder.empty()) {
        const char* base = getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/vela-XXXXXX";
        if (!mkdtemp(pattern.data())) throw EVelaError("cannot create the temporary folder " + pattern);
        tempHostFolder = pattern;
    }
    return ToProgramPath(tempHostFolder + "/");
}

void RemoveTempFolder() {
    std::lock_guard lock(tempMutex);
    if (tempHostFolder.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(tempHostFolder, ec);
    tempHostFolder.clear();
}

std::string ProgramFile() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : ToProgramPath(exe.string());
}

std::string CurrentFolder() {
    std::error_code ec;
    const std::string folder = std::filesystem::current_path(ec).string();
    if (ec) return "Z:\\";
    // The "/" goes on before conversion: a converted name may end in a trail byte 0x5C.
    return ToProgramPath(folder.ends_with('/') ? folder : folder + "/");
}

std::string MountTable() {
    std::ifstream mounts("/proc/self/mounts");
    std::ostringstream text;
    text << mounts.rdbuf();
    return text.str();
}

namespace {
// Whether Device is Prefix followed by a drive number.
bool IsNumberedDevice(std::string_view Device, std::string_view Prefix) {
    return Device.size() > Prefix.size() && Device.starts_with(Prefix) &&
           Device.find_first_not_of("0123456789", Prefix.size()) == std::string_view::npos;
}
}  // namespace

bool IsDiscMount(std::string_view device, std::string_view type) {
    return IsNumberedDevice(device, "/dev/sr") || IsNumberedDevice(device, "/dev/scd") ||
           device.starts_with("/dev/cdrom") || type == "iso9660" || type == "udf";
}

HostFile::~HostFile() { Close(); }

bool HostFile::Open(std::string_view programPath, Mode mode) {
    Close();
    auto host = ToHostPath(programPath);
    if (!host) {
        error_ = "no such drive";
        return false;
    }
    int flags = O_CLOEXEC;
    switch (mode) {
        case Mode::Read: flags |= O_RDONLY; break;
        case Mode::Write: flags |= O_WRONLY; break;
        case Mode::ReadWrite: flags |= O_RDWR; break;
        case Mode::Create: flags |= O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW; break;
        case Mode::Append: flags |= O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW; break;
    }
    std::optional<TFolderChange> creation;
    if (flags & O_CREAT) creation.emplace(*host);
    fd_ = open(host->c_str(), flags, 0666);
    if (fd_ < 0) {
        error_ = strerror(errno);
        return false;
    }
    if (creation) creation->Added();
    return RefuseFolder();
}

bool HostFile::RefuseFolder() {
    struct stat st;
    if (fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
        Close();
        error_ = strerror(EISDIR);
        return false;
    }
    return true;
}

std::optional<std::string> HostFile::PartSuffix() {
    static constexpr char kLetters[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    unsigned char random[6];
    if (getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) return std::nullopt;
    std::string suffix = ".";
    for (unsigned char byte : random) suffix += kLetters[byte % (sizeof kLetters - 1)];
    return suffix + ".$$$";
}

void HostFile::Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

int64_t HostFile::Read(void* buffer, int64_t count) {
    int64_t total = 0;
    while (total < count) {
        ssize_t n = read(fd_, static_cast<char*>(buffer) + total, static_cast<size_t>(count - total));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error_ = strerror(errno);
            return total > 0 ? total : -1;
        }
        if (n == 0) break;
        total += n;
    }
    return total;
}

int64_t HostFile::Write(const void* buffer, int64_t count) {
    if (count <= 0) return 0;
    const std::span<const std::byte> piece(static_cast<const std::byte*>(buffer), static_cast<size_t>(count));
    return Write(std::span(&piece, 1));
}

int64_t HostFile::Write(std::span<const std::span<const std::byte>> pieces) {
    constexpr size_t kBatch = 16;  // pieces handed to one call
    int64_t total = 0;
    size_t next = 0, done = 0;  // the first piece not wholly written, and the bytes of it that are
    while (next < pieces.size()) {
        iovec batch[kBatch];
        int count = 0;
        for (size_t i = next; i < pieces.size() && count < static_cast<int>(kBatch); ++i) {
            const size_t from = i == next ? done : 0;
            batch[count++] = {const_cast<std::byte*>(pieces[i].data()) + from, pieces[i].size() - from};
        }
        const ssize_t n = writev(fd_, batch, count);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error_ = strerror(errno);
            return -1;
        }
        total += n;
        for (done += static_cast<size_t>(n); next < pieces.size() && done >= pieces[next].size(); ++next)
            done -= pieces[next].size();
    }
    return total;
}

int64_t HostFile::Seek(int64_t offset, int whence) {
    off_t r = lseek(fd_, static_cast<off_t>(offset), whence);
    if (r < 0) error_ = strerror(errno);
    return r;
}

int64_t HostFile::Size() const {
    struct stat st;
    return fstat(fd_, &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
}

bool HostFile::Truncate(int64_t size) { return ftruncate(fd_, static_cast<off_t>(size)) == 0; }

bool HostFile::Flush() { return fsync(fd_) == 0 || errno == EINVAL; }

// ---- Links ----

bool IsLink(std::string_view programPath) {
    auto host = ToHostPath(programPath);
    struct stat st;
    return host && lstat(host->c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

}  // namespace platform::fs
