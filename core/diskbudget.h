#pragma once
// The title's disk budget: the files a title writes in one run of the player take at most
// VELA_DISK_LIMIT mebibytes (1024 when it is not set).
//
// A file is the title's when WriteFileReplacing writes it while a TTitleFiles scope is open on
// the thread: the script functions that write files for the title open one. Its bytes are charged
// as they go into the part file, and a write that would pass the limit raises EDiskBudget (the
// part file is then deleted and the old file left as it was). A file written again counts once,
// with its last size; while it is written again its old content still counts, as both lie on the
// disk until the new one replaces it. A file is known by the path it was written under.
//
// What a file takes on the disk is counted, not its bytes: its size in whole blocks of 4 KiB, at
// least one. Each folder the title makes counts one block, and a run makes at most
// kMaxTitleEntries files and folders in all.
//
// The save data and the player's own settings are not the title's files: each is one file
// rewritten whole from what the player holds in memory, bounded by the memory budget.
#include "core/streams.h"
#include "platform/errors.h"

#include <cstdint>
#include <string>

// The error when the title has written to the disk all it may.
class EDiskBudget : public EVelaError {
public:
    EDiskBudget();
};

extern const char DiskBudgetMessage[];

inline constexpr int64_t kDefaultDiskLimit = int64_t(1024) << 20;
inline constexpr int64_t kDiskBlock = 4096;
inline constexpr int kMaxTitleEntries = 10000;

// VELA_DISK_LIMIT read as a whole number of mebibytes from 1 to 1048576; false when it is set to
// anything else. Bytes is the limit it gives, or the default when it is not set or empty.
bool DiskLimitFromEnvironment(int64_t& Bytes);
// A new limit and a fresh count: nothing written before counts, a refusal is forgotten.
void SetDiskLimit(int64_t Bytes);
// What the title's files and folders made since the limit was set take on the disk.
int64_t DiskCharged();
// Whether the budget refused a write since the limit was last set.
bool DiskRefused();

// While one lives on a thread, the files WriteFileReplacing writes there are the title's.
class TTitleFiles {
public:
    TTitleFiles();
    ~TTitleFiles();
    TTitleFiles(const TTitleFiles&) = delete;
    TTitleFiles& operator=(const TTitleFiles&) = delete;
};
// Whether a TTitleFiles scope is open on this thread.
bool WritingTitleFiles();

// The part file of the title's file FileName, passed through: before it grows, what is charged and
// the part together must still fit the limit, else EDiskBudget; so must its first block, and a
// new file the count of files and folders, when it is made. The part is charged once it has
// replaced the file (ChargeTitleFile).
class TDiskChargedStream : public TStream {
public:
    TDiskChargedStream(TStream& Part, const std::string& FileName);
    int64_t Read(void* Buffer, int64_t Count) override;
    int64_t Write(const void* Buffer, int64_t Count) override;
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override { return position_ = part_.Seek(Offset, Origin); }
    int64_t Size() override { return part_.Size(); }
    void SetSize(int64_t NewSize) override;

private:
    // The part grows to Bytes (nothing when it is that large already), or is refused.
    void Grow(int64_t Bytes);

    TStream& part_;
    int64_t position_ = 0, end_ = 0;
};

// FileName, a title's file, now holds Bytes in place of what it held when written before.
void ChargeTitleFile(const std::string& FileName, int64_t Bytes);

// Makes the folder Folder of the title's files with whatever folders above it are missing,
// beneath its root, each charged as it is made: EDiskBudget before the one that would pass the
// limit or the count. Whether the folder stands once done.
bool ForceTitleFolders(const platform::fs::Beneath& Folder);
