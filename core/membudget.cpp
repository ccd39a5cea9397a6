#include "core/membudget.h"

#include "platform/system.h"

#include <algorithm>
#include <atomic>
#include <new>

const char MemoryBudgetMessage[] = "タイトルのメモリを使い切りました";

EMemoryBudget::EMemoryBudget() : EVelaError(MemoryBudgetMessage) {}

const char* ErrorText(const std::exception& E) {
    return dynamic_cast<const std::bad_alloc*>(&E) ? MemoryBudgetMessage : E.what();
}

namespace {

constexpr int64_t kMiB = int64_t(1) << 20;
constexpr int64_t kMaxLimitMiB = int64_t(1) << 20;

std::atomic<int64_t> charged{0};
std::atomic<int64_t> limit{-1};  // -1 until set or read from the environment

int64_t DefaultMemoryLimit() {
    const int64_t physical = platform::PhysicalMemoryBytes();
    return physical > 0 ? std::min(physical / 4, kMaxDefaultMemoryLimit) : kMaxDefaultMemoryLimit;
}

}  // namespace

bool MemoryLimitFromEnvironment(int64_t& Bytes) {
    const std::optional<std::string> text = platform::EnvironmentVariable("VELA_MEMORY_LIMIT");
    if (!text) {
        Bytes = DefaultMemoryLimit();
        return true;
    }
    int64_t mib = 0;
    if (text->empty() || text->size() > 7) return false;
    for (const char c : *text) {
        if (c < '0' || c > '9') return false;
        mib = mib * 10 + (c - '0');
    }
    if (mib < 1 || mib > kMaxLimitMiB) return false;
    Bytes = mib * kMiB;
    return true;
}

int64_t MemoryLimit() {
    int64_t value = limit.load(std::memory_order_relaxed);
    if (value >= 0) return value;
    if (!MemoryLimitFromEnvironment(value)) value = DefaultMemoryLimit();
    int64_t expected = -1;
    limit.compare_exchange_strong(expected, value);
    return limit.load(std::memory_order_relaxed);
}

int64_t MemoryCharged() { return charged.load(std::memory_order_relaxed); }

void SetMemoryLimit(int64_t Bytes) { limit.store(std::max<int64_t>(Bytes, 0), std::memory_order_relaxed); }

bool TryChargeMemory(int64_t Bytes) noexcept {
    if (Bytes <= 0) return true;
    const int64_t most = MemoryLimit();
    int64_t now = charged.load(std::memory_order_relaxed);
    do {
        if (Bytes > most - now) return false;
    } while (!charged.compare_exchange_weak(now, now + Bytes, std::memory_order_relaxed));
    return true;
}

void ReleaseMemory(int64_t Bytes) noexcept {
    if (Bytes > 0) charged.fetch_sub(Bytes, std::memory_order_relaxed);
}

void ChargeMemory(int64_t Bytes) {
    if (!TryChargeMemory(Bytes)) throw EMemoryBudget();
}

bool TMemoryCharge::TryResize(int64_t Bytes) noexcept {
    Bytes = std::max<int64_t>(Bytes, 0);
    if (Bytes > bytes_ && !TryChargeMemory(Bytes - bytes_)) return false;
    if (Bytes < bytes_) ReleaseMemory(bytes_ - Bytes);
    bytes_ = Bytes;
    return true;
}

