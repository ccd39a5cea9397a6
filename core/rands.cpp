#include "core/rands.h"

#include "platform/clock.h"

#include <cmath>
#include <numeric>

uint32_t TNxRandom::Next() {
    state_ = state_ * 5u + seed_;
    return state_;
}

void TNxRandom::SetCount(int32_t Count) {
    count_ = Count;
    pool_.assign(Count > 0 ? static_cast<size_t>(Count) : 0, 0);
    std::iota(pool_.begin(), pool_.end(), 0);
}

int32_t TNxRandom::Draw() {
    if (pool_.empty()) throw ERandomError("Random pool is empty");
    auto index = static_cast<size_t>(Next() % static_cast<uint32_t>(pool_.size()));
    int32_t value = pool_[index];
    pool_.erase(pool_.begin() + static_cast<std::ptrdiff_t>(index));
    return value;
}

uint32_t RandSeed = 0;

int32_t Random(int32_t Range) {
    RandSeed = RandSeed * 134775813u + 1u;
    return static_cast<int32_t>(uint64_t{static_cast<uint32_t>(Range)} * RandSeed >> 32);
}

long double RandomFloat() {
    RandSeed = RandSeed * 134775813u + 1u;
    return std::ldexp(static_cast<long double>(RandSeed), -32);
}

void Randomize() {
    const platform::DateTime now = platform::UtcNow();
    RandSeed = static_cast<uint32_t>(((now.hour * 60 + now.minute) * 60 + now.second) * 1000 + now.millisecond);
}
