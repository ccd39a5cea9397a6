// The flat name index against a plain multimap: many items under few names, so that runs of the
// table are long and run into each other, through additions, removals and growth.
#include "objects/nameindex.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>

namespace {

struct Item {
    std::string Name;
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

}  // namespace
