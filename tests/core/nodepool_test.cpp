#include "core/nodepool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

// Blocks of the first size asked lie side by side, a freed one comes back first, and slabs are
// added as needed; other sizes come from the heap and go back to it. A set on the pool keeps its
// elements through inserts and erases over several slabs.
TEST(NodePool, FirstSizeIsCutFromSlabsAndFreedBlocksComeBackFirst) {
    TNodePool pool;
    std::vector<void*> blocks;
    for (int i = 0; i < 600; ++i) blocks.push_back(pool.allocate(40, 8));
    for (size_t i = 1; i < 256; ++i)
        EXPECT_EQ(static_cast<std::byte*>(blocks[i]) - static_cast<std::byte*>(blocks[i - 1]), 48);
    pool.deallocate(blocks[7], 40, 8);
    pool.deallocate(blocks[300], 40, 8);
    EXPECT_EQ(pool.allocate(40, 8), blocks[300]);
    EXPECT_EQ(pool.allocate(40, 8), blocks[7]);
    void* other = pool.allocate(100, 8);
    pool.deallocate(other, 100, 8);
    for (void* block : blocks) pool.deallocate(block, 40, 8);

    TNodePool nodes;
    std::pmr::set<int> set(&nodes);
    for (int i = 0; i < 1000; ++i) set.insert((i * 7919) % 1000);
    for (int i = 0; i < 1000; i += 2) set.erase(i);
    for (int i = 0; i < 1000; i += 4) set.insert(i);
    std::set<int> expected;
    for (int i = 0; i < 1000; ++i)
        if (i % 2 == 1 || i % 4 == 0) expected.insert(i);
    EXPECT_TRUE(std::ranges::equal(set, expected));
}
