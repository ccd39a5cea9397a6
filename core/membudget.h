#pragma once
// The title's memory budget. Every allocation whose size a title's files or scripts decide
// (pixels, decoded frames, inflated archive entries, script strings, arrays and tables, call
// frames) is charged here before it is made and given back when it is freed, so that neither a
// small hostile file nor a runaway script makes the player take more than one limit for the
// whole title. The limit is VELA_MEMORY_LIMIT mebibytes when that is set, else a quarter of the
// machine's physical memory, at most 2 GiB. Charges come from every thread.
#include "platform/errors.h"

#include <cstdint>
#include <exception>
#include <string>
#include <utility>

// The script's error when its title's memory is used up.
class EMemoryBudget : public EVelaError {
public:
    EMemoryBudget();
};

// The message of EMemoryBudget, also given for an allocation the host refused.
extern const char MemoryBudgetMessage[];

// The text an error shows: MemoryBudgetMessage for an allocation the host refused, else its own.
const char* ErrorText(const std::exception& E);

inline constexpr int64_t kMaxDefaultMemoryLimit = int64_t(2) << 30;

// VELA_MEMORY_LIMIT read as a whole number of mebibytes from 1 to 1048576; false when it is set
// to anything else. Bytes is the limit it gives, or the default when it is not set.
bool MemoryLimitFromEnvironment(int64_t& Bytes);
// The limit in force (read from the environment at first use when nothing set it) and the
// bytes charged now.
int64_t MemoryLimit();
int64_t MemoryCharged();
// A new limit; what is charged stays charged.
void SetMemoryLimit(int64_t Bytes);

// Takes Bytes (0 or more) from the budget; false, taking nothing, when that would pass the limit.
bool TryChargeMemory(int64_t Bytes) noexcept;
void ReleaseMemory(int64_t Bytes) noexcept;
// TryChargeMemory, raising EMemoryBudget when it fails.
void ChargeMemory(int64_t Bytes);

// A charge held by one owner, given back when the owner goes. A copy charges again, as the
// copy of what it stands for takes memory again.
class TMemoryCharge {
public:
    TMemoryCharge() = default;
    // Raises EMemoryBudget when Bytes does not fit.
    explicit TMemoryCharge(int64_t Bytes) { Resize(Bytes); }
    TMemoryCharge(const TMemoryCharge& Other) : TMemoryCharge(Other.bytes_) {}
    TMemoryCharge(TMemoryCharge&& Other) noexcept : bytes_(std::exchange(Other.bytes_, 0)) {}
    TMemoryCharge& operator=(const TMemoryCharge& Other) {
        Resize(Other.bytes_);
        return *this;
    }
    TMemoryCharge& operator=(TMemoryCharge&& Other) noexcept {
        if (this != &Other) {
            ReleaseMemory(bytes_);
            bytes_ = std::exchange(Other.bytes_, 0);
        }
        return *this;
    }
    ~TMemoryCharge() {
        if (bytes_) ReleaseMemory(bytes_);
    }

    int64_t Bytes() const { return bytes_; }
    // The charge becomes Bytes: growth is taken first (false, nothing changed, when it does not
    // fit), shrinking gives back.
    bool TryResize(int64_t Bytes) noexcept;
    // TryResize, raising EMemoryBudget when it fails. (The same size, as most values' charges
    // stay, costs no call.)
    void Resize(int64_t Bytes) {
        if (Bytes != bytes_ && !TryResize(Bytes)) throw EMemoryBudget();
    }

private:
    int64_t bytes_ = 0;
};
