#pragma once
// The file manager: the one file system the player reads content through. A name is looked up
// in a base folder on disk, in the attached archives in the order they were added, and on the
// roots of mounted discs. Archive entries become real work files in the private temporary
// folder when a service needs a file name, one for each entry whoever holds it; those stay
// locked until released or shut-down. A multi-disc title asks here for its next disc.
//
// The manager keeps no content cache, and archives stored as program resources do not exist
// on this host (see vrfiles.h).
#include "core/header.h"
#include "core/streams.h"
#include "core/stringlist.h"
#include "core/sysutils.h"
#include "core/vrfiles.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

// One work file: an archive entry written out under a name of our own.
class TVrLockData {
public:
    TVrLockData(std::string Name, int32_t Id, std::string FileName)
        : Name(std::move(Name)), Id(Id), FileName(std::move(FileName)) {}
    TVrLockData(const TVrLockData&) = delete;
    TVrLockData& operator=(const TVrLockData&) = delete;
    // Queues the work file for deletion (DeleteWorkFiles).
    ~TVrLockData();

    const std::string Name;      // the content name extracted
    const int32_t Id;
    const std::string FileName;  // the work file's program path
    int32_t LockCount = 1;       // holders that have not released it
    int64_t Remaining = 0;       // milliseconds left once released
};

// The work files in use, and those released and waiting for their time to run out; at most one
// for each content name, found by it.
class TVrLockList {
public:
    // How long a released work file is kept for a holder that asks again.
    static constexpr int64_t kReleaseDelay = 10000;

    int Count() const { return static_cast<int>(active_.size()); }
    int ReleasedCount() const { return static_cast<int>(released_.size()); }
    // The active lock of Name (exact comparison); nullptr when there is none.
    const TVrLockData* Find(const std::string& Name) const;

    // Another holder for the work file of Name (exact comparison): an active lock counts one
    // more, a released one becomes active again with one holder. nullptr when there is none.
    TVrLockData* Lock(const std::string& Name);
    // The next free Id: NextId, which then moves past every Id still held by a lock.
    int32_t TakeId();
    // A lock for a name that has none.
    TVrLockData& Add(std::unique_ptr<TVrLockData> Lock);
    // One holder less for the active lock of Name (exact comparison); at none it is released
    // with kReleaseDelay to go. False when Name has no active lock.
    bool Release(const std::string& Name);
    // Ages the released locks by ElapsedMs (the last tick's length) and frees those whose time
    // has run out.
    void Tick(uint32_t ElapsedMs);
    // Frees every lock, active and released.
    void Clear();

private:
    using TLocks = std::map<std::string, std::unique_ptr<TVrLockData>>;
    // Moves the lock of Name from one list to the other; nullptr when From has none.
    static TVrLockData* Move(TLocks& From, TLocks& To, const std::string& Name);

    TLocks active_;
    TLocks released_;
    std::set<int32_t> ids_;  // of every lock, active and released
    int32_t nextId_ = 0;
};

class TVrFileManager {
public:
    // Sender, and the archive just added or nullptr after a change of the base folder.
    using TChangeEvent = std::function<void(TVrFileManager& Sender, TVrFileCollection* Archive)>;
    // Sender, and the archive about to be freed.
    using TRemoveEvent = std::function<void(TVrFileManager& Sender, TVrFileCollection& Archive)>;

    // Takes the disc roots from the mounts of this process (DiscMountRoots).
    TVrFileManager();
    TVrFileManager(const TVrFileManager&) = delete;
    TVrFileManager& operator=(const TVrFileManager&) = delete;
    // Frees the locks (their work files queued for deletion), then every archive as Clear does;
    // OnRemove must not raise here.
    ~TVrFileManager();

    // ---- Archives ----

    int Count() const { return archives_.Count(); }
    TVrFileCollection& GetCollection(int Index) const { return *archives_.Items(Index); }
    // Opens and appends an archive (a file, a folder, or "" for an empty collection), then
    // OnChange; its index. -1 without opening anything when an open archive's BaseFolder equals
    // FileName without regard to case (a folder given with its "\" added twice, or "" twice).
    int Add(const std::string& FileName);
    // OnRemove, then the archive is freed.
    void Delete(int Index);
    // Deletes every archive, first to last.
    void Clear();
    // The entry of Name in the first archive that holds it; nullptr when none does.
    TVrFile* FindFile(const std::string& Name) const;

    const std::string& BaseFolder() const { return baseFolder_; }
    // Stores Folder with "\" added when not empty, then OnChange with no archive.
    void SetBaseFolder(const std::string& Folder);
    // Counts the changes of the archives and the base folder, so that a holder of what was
    // read can tell that the same names may now read otherwise.
    uint32_t Changes() const { return changes_; }

    // Program paths ending in "\", searched last, in order.
    const std::vector<std::string>& CdRoots() const { return cdRoots_; }
    void SetCdRoots(std::vector<std::string> Roots) { cdRoots_ = std::move(Roots); }

    // ---- Content ----
    // Disk names never reach outside their folder: a name that resolves outside the base
    // folder or a disc root (through "..", a leading "\" or a link) is not found there.

    // False for ""; else whether an archive holds Name, or it is a file under the base folder,
    // or under a disc root (asked in that order).
    bool FileExists(const std::string& Name) const;
    // The content of Name from the base folder, else the first archive with data for it, else
    // the first disc root that holds it. A memory Dest is emptied first (keeping its room for
    // the content); Dest ends at position 0. EVrFileError "%s:ファイルがありません" when nothing
    // holds it.
    void ReadFile(TStream& Dest, const std::string& Name);
    // A real file holding Name: the base folder's, else (for a name an archive holds) its work
    // file (LockWorkFile), else the first disc root's, else Name itself. Raises only when a work
    // file cannot be made.
    std::string GetLocalFileName(const std::string& Name);
    // The one work file of Name, shared by all its holders: the one made already (one holder
    // more), else a new one (ExtractWorkFile).
    std::string LockWorkFile(const std::string& Name);
    // One holder of Name's work file less; when none is left the file goes after
    // TVrLockList::kReleaseDelay milliseconds of ticks. Names without a work file are ignored.
    void ReleaseLocalFile(const std::string& Name) { locks_.Release(Name); }
    // A read-only stream over Name's bytes as stored: the base folder's file, else the first
    // archive's entry, else the first disc root's file. EVrFileError "%s:ファイルがありません"
    // when nothing holds it.
    std::unique_ptr<TStream> OpenRangeStream(const std::string& Name);
    // Appends the files of Folder ("" or a folder part ending in "\") as content names
    // (Folder + file name), each once and none that Strings holds already: the archives'
    // entries, then the base folder's files, then the disc roots'. Sub-folders are not listed;
    // listing changes nothing on disk.
    void GetFileList(const std::string& Folder, TStringList& Strings) const;
    // The folder part of Name with its "\": up to its last "\", or for a drive or network path
    // its last "\" or ":"; empty when it has none.
    static std::string ExtractFolder(const std::string& Name);

    // ---- Discs ----

    // Detaches every archive that lies on a disc root (last to first), then asks with DiscPrompt
    // (its "%d" filled with DiscNo, counted from 1) until FindDisc(DiscNo - 1) succeeds: true.
    // A cancelled prompt asks QuitText; confirmed, OnQuitRequest runs and the result is false.
    // Without AskOkCancel no one can answer: the request ends as confirmed quitting.
    bool RequestDisc(int32_t DiscNo);
    // Attaches "game.dat" of every disc root whose "install.dat" names InstallSetId and disc
    // Index (counted from 0); whether any did. A root whose install.dat cannot be read does
    // not match.
    bool FindDisc(int32_t Index);

    // The texts of the disc prompt (one "%d"; "%%" stands for "%", nothing else is special)
    // and of the quit question, and the identifier of the title's install set.
    std::string DiscPrompt = "ディスク%dを入れてから[OK]をクリックしてください";
    std::string QuitText = "終了します";
    std::string InstallSetId;
    // Shows Text with OK and Cancel; true for OK.
    std::function<bool(const std::string& Text)> AskOkCancel;
    // Asks the program to close (the terminating flag and the main window's close).
    std::function<void()> OnQuitRequest;

    TChangeEvent OnChange;
    TRemoveEvent OnRemove;

    TVrLockList& Locks() { return locks_; }

private:
    // The base folder's file of Name / the first disc root's; empty when none.
    std::string BaseFolderFile(const std::string& Name) const;
    std::string DiscFile(const std::string& Name) const;
    // The first archive that can read Name's data (an entry in an archive file, or one added
    // in memory); nullptr when none can.
    TVrFileCollection* ArchiveWithData(const std::string& Name) const;
    // Appends the files of Root + Folder, named from Folder on, that Listed (the names Strings
    // holds) does not hold.
    static void ListDiskFolder(const std::string& Root, const std::string& Folder, TStringList& Strings,
                               TAnsiTextSet& Listed);
    // Writes Name's content (as ReadFile finds it) into a new work file in the private
    // temporary folder, "~qz" + its Id in 8 upper-case hexadecimal digits + Name's extension,
    // and locks it; Name has no lock yet. The extension comes from Name's last part and is kept
    // only when it is a dot and ASCII letters and digits. EVrFileError "作業用ファイルが作れません"
    // when the file cannot be created; on any failure no lock and no file is left.
    std::string ExtractWorkFile(const std::string& Name);
    bool Ask(const std::string& Text, bool Unanswered) const { return AskOkCancel ? AskOkCancel(Text) : Unanswered; }

    TObjList<TVrFileCollection> archives_;
    std::string baseFolder_;
    std::vector<std::string> cdRoots_;
    TVrLockList locks_;
    uint32_t changes_ = 0;
};

// The roots of the optical discs among the mounts of a /proc/self/mounts text (device, mount
// point and file system type its first three fields, octal escapes such as "\040" decoded): the
// mount points of a CD or DVD drive's device (/dev/sr<N>, /dev/scd<N>, /dev/cdrom...) or of a
// disc's file system (iso9660, udf), wherever mounted, as program paths ending in "\", each once,
// in the text's order. Any other mount (a USB stick, a hard disk, a network share, a Windows
// drive) is no disc, whatever its mount point; nor is one whose mount point a program path
// cannot hold.
std::vector<std::string> DiscMountRoots(std::string_view MountsText);

// ---- The file system of the run ----

// The manager, and the work files waiting for deletion; both exist between CreateVrFileSystem
// and FreeVrFileSystem.
extern TVrFileManager* VrFileManager;
extern TStringList* VrPendingFiles;
// Files to delete when the program ends (the pixel fonts handed over from the content, the
// screenshots a script registers so), each once whatever the case of its name, in the order
// added; the program's shell makes the list and deletes its files last.
class TExitDeleteList {
public:
    // Adds a file, beneath the folder it was written in, that is not listed yet.
    void Add(const platform::fs::Beneath& File);
    // Deletes each listed file, reached beneath its folder, and empties the list.
    void DeleteAll();
    const std::vector<platform::fs::Beneath>& Files() const { return files_; }

private:
    std::vector<platform::fs::Beneath> files_;
    TAnsiTextSet listed_;
};
extern TExitDeleteList* ExitDeleteList;

void CreateVrFileSystem();
// Frees the manager (its work files queued, its archives deleted with OnRemove), deletes the
// pending work files and frees the list. Does nothing when there is no file system.
void FreeVrFileSystem();
// Deletes every pending work file and empties the list. A file that is gone or cannot be
// deleted is dropped all the same; a path outside the private temporary folder is never
// deleted.
void DeleteWorkFiles();
