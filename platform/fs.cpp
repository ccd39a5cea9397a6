#include "platform/fs.h"

#include "platform/encoding.h"
#include "platform/errors.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

namespace platform::fs {
namespace {

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x += 32;
        if (y >= 'A' && y <= 'Z') y += 32;
        if (x != y) return false;
    }
    return true;
}

// The entry of `folder` whose name matches `name` without regard to case; `name` itself when
// it exists as written or when nothing matches.
std::string FindComponent(const std::string& folder, const std::string& name) {
    std::string exact = folder + name;
    struct stat st;
    if (lstat(exact.c_str(), &st) == 0) return name;
    DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return name;
    std::string found = name;
    while (dirent* entry = readdir(dir)) {
        if (SameNameIgnoringCase(entry->d_name, name)) {
            found = entry->d_name;
            break;
        }
    }
    closedir(dir);
    return found;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

std::mutex tempMutex;
std::string tempHostFolder;

}  // namespace

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
    while (pos < path.size()) {
        while (pos < path.size() && IsSeparator(path[pos])) ++pos;
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

bool IsInside(std::string_view hostFolder, std::string_view hostPath) {
    namespace stdfs = std::filesystem;
    std::error_code ec;
    stdfs::path folder = stdfs::weakly_canonical(stdfs::absolute(stdfs::path(hostFolder), ec), ec).lexically_normal();
    if (ec) return false;
    stdfs::path path = stdfs::weakly_canonical(stdfs::absolute(stdfs::path(hostPath), ec), ec).lexically_normal();
    if (ec) return false;
    auto p = path.begin();
    for (const auto& part : folder) {
        if (part.empty()) continue;  // the trailing separator of a folder
        if (p == path.end() || *p != part) return false;
        ++p;
    }
    return true;
}

bool IsInsideFolder(std::string_view programFolder, std::string_view programPath) {
    auto folder = ToHostPath(programFolder), path = ToHostPath(programPath);
    return folder && path && IsInside(*folder, *path);
}

std::string FileInFolder(const std::string& programFolder, const std::string& name) {
    if (programFolder.empty()) return {};
    std::string path = programFolder + name;
    return FileExists(path) && IsInsideFolder(programFolder, path) ? path : std::string();
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
    return host && unlink(host->c_str()) == 0;
}

bool RenameFile(std::string_view fromProgramPath, std::string_view toProgramPath) {
    auto from = ToHostPath(fromProgramPath);
    auto to = ToHostPath(toProgramPath);
    return from && to && rename(from->c_str(), to->c_str()) == 0;
}

bool CreateDirectory(std::string_view programPath) {
    auto host = ToHostPath(programPath);
    return host && mkdir(host->c_str(), 0777) == 0;
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
    fd_ = open(host->c_str(), flags, 0666);
    if (fd_ < 0) {
        error_ = strerror(errno);
        return false;
    }
    struct stat st;
    if (fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
        Close();
        error_ = strerror(EISDIR);
        return false;
    }
    return true;
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
    int64_t total = 0;
    while (total < count) {
        ssize_t n = write(fd_, static_cast<const char*>(buffer) + total, static_cast<size_t>(count - total));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error_ = strerror(errno);
            return -1;
        }
        total += n;
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
