#pragma once
// The host file system as the player sees it. Paths inside the player keep the Windows form
// in Shift-JIS bytes: "\" separators, drive letters, names compared without regard to case.
// The host file system is drive Z: ("Z:\home\me\game\" is "/home/me/game/"). Only this unit
// converts: "\" to "/", CP932 to UTF-8, and each component found case-insensitively on disk.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform::fs {

// The host path (UTF-8) of a program path, each existing component matched on disk without
// regard to case; components that do not exist are kept as written. A relative path is taken
// from the current folder. Nothing when the path names a drive other than Z: or holds a NUL
// byte (the host would see only the part before it).
std::optional<std::string> ToHostPath(std::string_view programPath);

// The program path (CP932, "Z:\..." form) of an absolute host path.
std::string ToProgramPath(std::string_view hostPath);

// A program path as messages show it: the host path ("/" separators), still in CP932; the
// program path as it is when it names nothing on the host.
std::string ShownPath(std::string_view programPath);

// The absolute host path of a program path, its links, "." and ".." resolved as far as it
// exists, without a separator at its end: one spelling of a place however it was named. Nothing
// when ToHostPath gives nothing or the host cannot resolve it.
std::optional<std::string> FullHostPath(std::string_view programPath);

// Whether `hostPath`, once made absolute and normalised, lies inside `hostFolder` (or is it).
bool IsInside(std::string_view hostFolder, std::string_view hostPath);
// The same for two program paths; false when either names nothing on the host.
bool IsInsideFolder(std::string_view programFolder, std::string_view programPath);
// The same, and no folder or file below the folder on the way is a hidden one (a name beginning
// with "."), whatever name led there.
bool IsPlainlyInside(std::string_view programFolder, std::string_view programPath);
// folder + name when that is a file lying inside the folder once resolved ("..", a drive, a
// leading "\" or a link cannot lead out of it) and none hidden on the way (IsPlainlyInside);
// empty otherwise.
std::string FileInFolder(const std::string& programFolder, const std::string& name);

bool FileExists(std::string_view programPath);       // a regular file
bool DirectoryExists(std::string_view programPath);  // a folder
// The file's modification time in local time, packed as (year - 1980) << 25 | month << 21 |
// day << 16 | hour << 11 | minute << 5 | second / 2; -1 when the file cannot be read or its time
// lies outside 1980..2107.
int32_t FileAge(std::string_view programPath);
// One state of a regular file: the file itself (device and inode), its size, and its modification
// and change times in nanoseconds. Two equal stamps of a path say that the file there was neither
// replaced nor written between them, to the grain of the host's clock.
struct FileStamp {
    uint64_t Device = 0, Inode = 0;
    int64_t Size = 0, ModifiedNs = 0, ChangedNs = 0;
    bool operator==(const FileStamp&) const = default;
};
// The stamp of the regular file at the path itself (a link there is not followed); nothing when
// no regular file stands there.
std::optional<FileStamp> StampOfFile(std::string_view programPath);
bool DeleteFile(std::string_view programPath);
bool RenameFile(std::string_view fromProgramPath, std::string_view toProgramPath);  // replaces the target
bool CreateDirectory(std::string_view programPath);
// Whether a new file can be made in the folder: a probe under a fresh name is created
// exclusively (never an existing name, never through a link) and removed at once.
bool FolderTakesFiles(std::string_view programFolder);

// The private temporary folder of this process (program path ending in "\"), made on first
// use so that two players never share or delete each other's files.
std::string TempFolder();
// Removes the private temporary folder and everything in it (shut-down).
void RemoveTempFolder();

// The program path of the running program's own file.
std::string ProgramFile();
// The current folder of the process as a program path ending in "\"; "Z:\" when the host
// cannot tell.
std::string CurrentFolder();
// The host's table of mounted file systems (/proc/self/mounts): one mount a line, the mount
// point its second field, with blanks and "\" in names written as octal escapes ("\040").
// Empty when it cannot be read.
std::string MountTable();

// Whether a mount of the table is an optical disc's: its device a CD or DVD drive, or its file
// system one that discs (and disc images mounted through a loop device) carry. Where it is
// mounted tells nothing: a USB stick, a hard disk or a network share under /media or /mnt is no
// disc, and a disc mounted anywhere is one.
bool IsDiscMount(std::string_view device, std::string_view type);

class EntryFolder;

// Drops the folder listings kept for finding names without regard to case: a change was made
// to a folder that its path did not name (beneath a held folder).
void ForgetFolderListings();

// An open host file. Sizes and positions are 64-bit.
class HostFile {
public:
    // Create makes a new empty file; Append adds at the end of the file, made when missing.
    // Neither writes through a link at the name itself.
    enum class Mode { Read, Write, ReadWrite, Create, Append };
    HostFile() = default;
    HostFile(const HostFile&) = delete;
    HostFile& operator=(const HostFile&) = delete;
    ~HostFile();

    // Opens a program path; false (with ErrorText() set) when the host refuses.
    bool Open(std::string_view programPath, Mode mode);
    // The same for the entry of a folder reached beneath a held folder (platform/beneath.h),
    // opened beneath that folder and never through a link but for reading.
    bool Open(const EntryFolder& folder, Mode mode);
    // Makes and opens (for reading and writing) a new file beside the entry, named as it with
    // "." + six random characters + ".$$$" added, created exclusively: never an existing name,
    // never through a link. The host name of the file made in the folder; nothing (ErrorText()
    // set) when the host refuses.
    std::optional<std::string> CreateBeside(const EntryFolder& folder);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }

    int64_t Read(void* buffer, int64_t count);         // -1 on a host error
    int64_t Write(const void* buffer, int64_t count);  // -1 on a host error
    // The pieces one after the other, in as few host calls as they take; -1 on a host error.
    int64_t Write(std::span<const std::span<const std::byte>> pieces);
    int64_t Seek(int64_t offset, int whence);          // SEEK_SET/SEEK_CUR/SEEK_END; -1 on error
    int64_t Size() const;
    bool Truncate(int64_t size);
    bool Flush();

    // The host's text for the last failure (English, ASCII).
    const std::string& ErrorText() const { return error_; }

private:
    // ".", six random characters and ".$$$": the name a new file beside another gets after it;
    // nothing when the host gives no random bytes.
    static std::optional<std::string> PartSuffix();
    // Closes a folder opened as a file (EISDIR); whether the file stays open.
    bool RefuseFolder();

    int fd_ = -1;
    std::string error_;
};

// ---- Links ----

// Whether the program path names a symbolic link itself (whatever it leads to, or nothing).
bool IsLink(std::string_view programPath);

}  // namespace platform::fs
