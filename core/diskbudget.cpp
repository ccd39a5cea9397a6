#include "core/diskbudget.h"

#include "core/header.h"
#include "core/membudget.h"
#include "platform/beneath.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>
#include <unordered_map>
#include <vector>

const char DiskBudgetMessage[] = "タイトルがディスクに書ける量を使い切りました";

namespace {

std::mutex budgetMutex;
int64_t limit = kDefaultDiskLimit;
int64_t charged = 0;
int entries = 0;  // the files and folders the title made
std::unordered_map<std::string, int64_t> files;  // what each of the title's files takes
std::atomic<bool> refused{false};  // read before every command of the title

thread_local int titleFiles = 0;  // the TTitleFiles scopes open on the thread

// What Bytes of a file take on the disk: whole blocks, at least one.
int64_t Blocks(int64_t Bytes) { return std::max<int64_t>(1, (Bytes + kDiskBlock - 1) / kDiskBlock) * kDiskBlock; }

// A new file or folder may be made, taking at least Bytes more (under the budget's lock).
bool NewEntryFits(int64_t Bytes) { return entries < kMaxTitleEntries && Bytes <= limit - charged; }

}  // namespace

EDiskBudget::EDiskBudget() : EVelaError(DiskBudgetMessage) { refused.store(true, std::memory_order_relaxed); }

bool DiskLimitFromEnvironment(int64_t& Bytes) {
    return MebibytesFromEnvironment("VELA_DISK_LIMIT", kDefaultDiskLimit, Bytes);
}

void SetDiskLimit(int64_t Bytes) {
    std::lock_guard lock(budgetMutex);
    limit = Bytes;
    charged = 0;
    entries = 0;
    files.clear();
    refused.store(false, std::memory_order_relaxed);
}

int64_t DiskCharged() {
    std::lock_guard lock(budgetMutex);
    return charged;
}

bool DiskRefused() { return refused.load(std::memory_order_relaxed); }

TTitleFiles::TTitleFiles() { ++titleFiles; }

TTitleFiles::~TTitleFiles() { --titleFiles; }

bool WritingTitleFiles() { return titleFiles > 0; }

TDiskChargedStream::TDiskChargedStream(TStream& Part, const std::string& FileName) : part_(Part) {
    std::lock_guard lock(budgetMutex);
    if (!(files.contains(FileName) ? kDiskBlock <= limit - charged : NewEntryFits(kDiskBlock))) throw EDiskBudget();
}

int64_t TDiskChargedStream::Read(void* Buffer, int64_t Count) {
    const int64_t read = part_.Read(Buffer, Count);
    if (read > 0) position_ += read;
    return read;
}

int64_t TDiskChargedStream::Write(const void* Buffer, int64_t Count) {
    if (Count > 0) Grow(position_ + Count);
    const int64_t written = part_.Write(Buffer, Count);
    if (written > 0) position_ += written;
    return written;
}

void TDiskChargedStream::SetSize(int64_t NewSize) {
    Grow(NewSize);
    part_.SetSize(NewSize);
    position_ = part_.Position();
}

void TDiskChargedStream::Grow(int64_t Bytes) {
    if (Bytes <= end_) return;
    {
        std::lock_guard lock(budgetMutex);
        if (Blocks(Bytes) <= limit - charged) {
            end_ = Bytes;
            return;
        }
    }
    throw EDiskBudget();
}

void ChargeTitleFile(const std::string& FileName, int64_t Bytes) {
    std::lock_guard lock(budgetMutex);
    const auto [file, made] = files.try_emplace(FileName, 0);
    if (made) ++entries;
    charged += Blocks(Bytes) - file->second;
    file->second = Blocks(Bytes);
}

bool ForceTitleFolders(const platform::fs::Beneath& Folder) {
    const std::function<void()> charge = [] {
        std::lock_guard lock(budgetMutex);
        if (!NewEntryFits(kDiskBlock)) throw EDiskBudget();
        ++entries;
        charged += kDiskBlock;
    };
    int error = 0;
    return platform::fs::EntryFolder::MakeFolders(Folder, charge, error);
}
