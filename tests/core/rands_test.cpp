// The seeded generator against an independent Python model: raw sequences (wrapping modulo
// 2^32) and draw-without-replacement orders.
#include "core/rands.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<uint32_t> Reference(const std::string& kind, uint32_t seed, int count) {
    std::istringstream in(PythonOutput("nxrandom_ref.py", {kind, std::to_string(seed), std::to_string(count)}));
    std::vector<uint32_t> values;
    for (uint32_t v; in >> v;) values.push_back(v);
    return values;
}

constexpr uint32_t kSeeds[] = {0, 1, 12341, 1362598417u, 0x80000001u, 0xFFFFFFFFu};

TEST(NxRandom, NextFollowsTheSeedAndWraps) {
    EXPECT_EQ(Reference("next", 1, 4), (std::vector<uint32_t>{1, 6, 31, 156}));
    for (uint32_t seed : kSeeds) {
        TNxRandom random(seed);
        std::vector<uint32_t> got;
        for (int i = 0; i < 200; ++i) got.push_back(random.Next());
        EXPECT_EQ(got, Reference("next", seed, 200)) << "seed " << seed;
    }
}

TEST(NxRandom, DrawsMatchTheReference) {
    EXPECT_EQ(Reference("draw", 1, 3), (std::vector<uint32_t>{1, 0, 2}));
    for (uint32_t seed : kSeeds) {
        for (int count : {1, 7, 64, 4096}) {
            TNxRandom random(seed);
            random.SetCount(count);
            EXPECT_EQ(random.Count(), count);
            std::vector<uint32_t> got;
            for (int i = 0; i < count; ++i) got.push_back(static_cast<uint32_t>(random.Draw()));
            EXPECT_EQ(got, Reference("draw", seed, count)) << "seed " << seed << " count " << count;
        }
    }
}

TEST(NxRandom, EmptyPoolRaisesWithoutAdvancing) {
    TNxRandom random(12341);
    EXPECT_THROW(random.Draw(), ERandomError);
    EXPECT_EQ(random.State(), 0u);
    random.SetCount(1);
    EXPECT_EQ(random.Draw(), 0);
    EXPECT_THROW(random.Draw(), ERandomError);
    EXPECT_EQ(random.State(), 12341u);
    random.SetCount(-5);
    EXPECT_THROW(random.Draw(), ERandomError);
}

}  // namespace
