#include "core/diskbudget.h"

#include "core/membudget.h"

#include <atomic>
#include <mutex>
#include <unordered_map>

const char DiskBudgetMessage[] = "タイトルがディスクに書ける量を使い切りました";

namespace {

std::mutex budgetMutex;
int64_t limit = kDefaultDiskLimit;
int64_t charged = 0;
std::unordered_map<std::string, int64_t> files;  // what each of the title's files holds
std::atomic<bool> refused{false};  // read before every command of the title

thread_local int titleFiles = 0;  // the TTitleFiles scopes open on the thread

}  // namespace

EDiskBudget::EDiskBudget() : EVelaError(DiskBudgetMessage) { refused.store(true, std::memory_order_relaxed); }

bool DiskLimitFromEnvironment(int64_t& Bytes) {
    return MebibytesFromEnvironment("VELA_DISK_LIMIT", kDefaultDiskLimit, Bytes);
}

void SetDiskLimit(int64_t Bytes) {
    std::lock_guard lock(budgetMutex);
    limit = Bytes;
    charged = 0;
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
        if (Bytes <= limit - charged) {
            end_ = Bytes;
            return;
        }
    }
    throw EDiskBudget();
}

void ChargeTitleFile(const std::string& FileName, int64_t Bytes) {
    std::lock_guard lock(budgetMutex);
    int64_t& held = files[FileName];
    charged += Bytes - held;
    held = Bytes;
}
