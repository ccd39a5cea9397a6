#pragma once
// The seeded generator: the same seed always gives the same sequence. Its values are the
// keystream of the archive index, and its draws give fixed pseudo-random orders (image rows,
// the dither pattern). Beside it the program's one shared generator, whose orders differ from
// run to run.
#include "platform/errors.h"

#include <cstdint>
#include <vector>

// A draw from a pool that holds no value.
class ERandomError : public EVelaError {
public:
    using EVelaError::EVelaError;
};

class TNxRandom {
public:
    explicit TNxRandom(uint32_t Seed) : seed_(Seed) {}

    uint32_t Seed() const { return seed_; }
    uint32_t State() const { return state_; }
    // The size given to the last SetCount.
    int32_t Count() const { return count_; }

    // State := State * 5 + Seed (modulo 2^32); returns the new state.
    uint32_t Next();
    // Refills the pool with 0 .. Count - 1 in order (nothing for a count below 1).
    void SetCount(int32_t Count);
    // Advances as Next does, then removes and returns the pool value at State mod (values
    // left). Raises ERandomError when the pool is empty; the state is then left alone.
    int32_t Draw();

private:
    uint32_t seed_;
    uint32_t state_ = 0;
    int32_t count_ = 0;
    std::vector<int32_t> pool_;
};

// The shared generator's seed: one for the whole program (the script's Random and every
// subsystem that draws at random).
extern uint32_t RandSeed;

// Seed := Seed * 134775813 + 1 (modulo 2^32); the result is the high 32 bits of the unsigned
// product of Range (read as unsigned) and the new seed: 0..Range-1 for a Range above 0, 0 for
// 0, and a negative Range read as 2^32 + Range.
int32_t Random(int32_t Range);
// The same step; the new seed read as unsigned and scaled to [0, 1).
long double RandomFloat();

// Seeds the shared generator from the time of day in UTC:
// ((hour * 60 + minute) * 60 + second) * 1000 + millisecond.
void Randomize();
