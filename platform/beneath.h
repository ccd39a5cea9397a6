#pragma once
// Files reached beneath a folder the player holds open. A name a title gives is read into its
// components once (core/titlename); here each component is looked up on disk without regard to
// case and opened from the descriptor of the folder above it with openat2 and RESOLVE_BENEATH.
// The kernel then refuses every way out of the folder ("..", an absolute link, a link that
// leads above it) that a rule on strings could miss, and what is judged is what is opened.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::fs {

// A folder or file itself: its device and inode.
struct FileId {
    uint64_t Device = 0, Inode = 0;
    bool operator==(const FileId&) const = default;
};

// A host folder held open (O_PATH): the folder itself, whatever stands at its name later.
class HeldFolder {
public:
    // The folder at a program path (links on the way followed); nothing when no folder stands
    // there or the host refuses it.
    static std::shared_ptr<const HeldFolder> Open(std::string_view programFolder);
    HeldFolder(const HeldFolder&) = delete;
    HeldFolder& operator=(const HeldFolder&) = delete;
    ~HeldFolder();

    int Descriptor() const { return fd_; }
    FileId Id() const { return id_; }
    // The folder's host path as the kernel gives it for the open folder (UTF-8, absolute, no
    // separator at its end but for "/").
    const std::string& HostPath() const { return hostPath_; }
    // The program path it was opened by, ending in "\" (for messages).
    const std::string& ProgramPath() const { return programPath_; }

private:
    HeldFolder(int fd, FileId id, std::string hostPath, std::string programPath);
    int fd_;
    FileId id_;
    std::string hostPath_, programPath_;
};

// A place beneath a held folder: the folder and the components below it, each plain (CP932, no
// separator, no dot name, no ":" or control character); the last one names the entry itself.
struct Beneath {
    std::shared_ptr<const HeldFolder> Root;
    std::vector<std::string> Parts;

    // The place one component further down.
    Beneath Below(std::string_view Part) const;
    // The program path it stands for, for messages: the root's program path and the parts.
    std::string Shown() const;
};

// The folder an entry of a Beneath lies in, opened beneath the root, and the entry's name there.
class EntryFolder {
public:
    EntryFolder(const EntryFolder&) = delete;
    EntryFolder& operator=(const EntryFolder&) = delete;
    EntryFolder(EntryFolder&& Other) noexcept;
    ~EntryFolder();

    // Walks to the folder of Place's last part. Every folder on the way is matched on disk
    // without regard to case and opened beneath the one above it (links among them followed
    // only where they stay beneath the root; with NoLinks never). Folders that do not stand yet
    // are made (mkdirat) when Make is given, Make called before each, which may throw to refuse
    // it; without Make a missing folder gives nothing. Nothing (Error set to the host's errno)
    // when the host refuses.
    static std::optional<EntryFolder> Reach(const Beneath& Place, const std::function<void()>* Make, int& Error,
                                            bool NoLinks = false);

    // Walks as Reach does without making anything, but stops at the first folder on the way that
    // does not stand: that folder is then the entry (HostParts() shorter than Place's parts).
    static std::optional<EntryFolder> ReachStanding(const Beneath& Place, int& Error);

    // Makes the folder Folder names and those above it that do not stand yet, beneath its root,
    // Make called before each as Reach does; whether the folder stands once done.
    static bool MakeFolders(const Beneath& Folder, const std::function<void()>& Make, int& Error);

    int Descriptor() const { return fd_; }
    FileId Id() const;
    // The folder's host path as the kernel gives it for the open folder.
    std::string HostPath() const;
    // The entry's host name (UTF-8): the one on disk that matches without regard to case, else
    // the name as given.
    const std::string& Name() const { return name_; }
    // The host names of the folders walked below the root, then the entry's.
    const std::vector<std::string>& HostParts() const { return hostParts_; }
    // What stands at the entry itself (a link there not followed): its id, and whether it is a
    // regular file or a link; nothing when nothing stands there.
    struct Entry {
        FileId Id;
        bool Regular = false, Link = false;
        int64_t Size = 0, ModifiedNs = 0, ChangedNs = 0;
    };
    std::optional<Entry> LookAt() const;
    // The ids of this folder and every folder above it up to the host's root, this one first
    // (at most a few thousand steps).
    std::vector<FileId> FoldersUp() const;

    // Removes the entry (not a folder); whether it was.
    bool Remove() const;
    // Renames the entry FromName of this folder over the entry; whether it was.
    bool ReplaceWith(const std::string& FromName) const;
    // Removes FromName of this folder (a part file given up).
    bool RemoveName(const std::string& FromName) const;

private:
    EntryFolder(int fd, std::string name, std::vector<std::string> hostParts);
    static std::optional<EntryFolder> Walk(const Beneath& Place, const std::function<void()>* Make, int& Error,
                                           bool NoLinks, bool StopAtMissing);
    int fd_;
    std::string name_;
    std::vector<std::string> hostParts_;
};

}  // namespace platform::fs
