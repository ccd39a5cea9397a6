// The flat name index against a plain multimap: many items under few names, so that runs of the
// table are long and run into each other, through additions, removals and growth.
#include "objects/nameindex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>

namespace {

struct Item {
    std::string Name;
    uint32_t NameIndexAt = 0;
    const std::string& GetName() const { return Name; }
};

std::set<const Item*> Named(const TNameIndex<Item>& Index, const std::string& Name) {
    std::set<const Item*> out;
    Index.ForEachNamed(Name, [&](Item* I) { out.insert(I); });
    return out;
}

TEST(NameIndex, FindsEveryItemOfANameThroughAdditionsRemovalsAndGrowth) {
    std::vector<std::unique_ptr<Item>> items;
    for (int i = 0; i < 600; ++i) items.push_back(std::make_unique<Item>(Item{"n" + std::to_string(i % 37)}));
    TNameIndex<Item> index;
    std::multimap<std::string, const Item*> expected;
    const auto check = [&] {
        ASSERT_EQ(index.Count(), expected.size());
        for (int n = 0; n < 38; ++n) {  // n37 names nothing
            const std::string name = "n" + std::to_string(n);
            std::set<const Item*> want;
            for (auto [it, end] = expected.equal_range(name); it != end; ++it) want.insert(it->second);
            EXPECT_EQ(Named(index, name), want) << name;
            EXPECT_EQ(index.Contains(name), !want.empty()) << name;
        }
    };
    for (auto& item : items) {
        index.Add(item.get());
        expected.emplace(item->Name, item.get());
    }
    check();
    // Every third, then every other one, out; some back in.
    for (size_t step : {3u, 2u})
        for (size_t i = 0; i < items.size(); i += step) {
            const bool listed = index.Remove(items[i].get());
            size_t erased = 0;
            for (auto [it, end] = expected.equal_range(items[i]->Name); it != end; ++it)
                if (it->second == items[i].get()) {
                    expected.erase(it);
                    erased = 1;
                    break;
                }
            EXPECT_EQ(listed, erased == 1);
        }
    check();
    for (size_t i = 0; i < items.size(); i += 6) {  // out since the first round
        index.Add(items[i].get());
        expected.emplace(items[i]->Name, items[i].get());
    }
    check();
    index.Clear();
    expected.clear();
    check();
    EXPECT_FALSE(index.Remove(items[0].get()));
}

// A name taken out leaves its slot until the table is built again, which gives its place to a
// later item: every item is met once, whichever slots and places it went through.
TEST(NameIndex, ItemsTakenOutAndPutBackAreMetOnceThroughRebuilds) {
    Item kept{"kept"};
    std::vector<Item> turning(5, Item{"turning"});
    TNameIndex<Item> index;
    index.Add(&kept);
    for (int round = 0; round < 2000; ++round) {
        Item& item = turning[size_t(round % 5)];
        if (round >= 5) {
            ASSERT_TRUE(index.Remove(&item));
        }
        index.Add(&item);
        std::map<const Item*, int> met;
        index.ForEachNamed(std::string("turning"), [&](Item* I) { ++met[I]; });
        ASSERT_EQ(met.size(), size_t(std::min(round + 1, 5))) << round;
        for (const auto& [found, times] : met) ASSERT_EQ(times, 1) << round;
    }
    EXPECT_EQ(index.Count(), 6u);
    EXPECT_EQ(Named(index, "kept"), std::set<const Item*>{&kept});
    // Emptied, the index starts over with the places of none.
    index.Remove(&kept);
    for (Item& item : turning) index.Remove(&item);
    for (int i = 0; i < 40; ++i) {
        index.Add(&turning[0]);
        index.Remove(&turning[0]);
    }
    index.Add(&kept);
    EXPECT_EQ(index.Count(), 1u);
    EXPECT_EQ(Named(index, "kept"), std::set<const Item*>{&kept});
    EXPECT_TRUE(Named(index, "turning").empty());
}

}  // namespace
