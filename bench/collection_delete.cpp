// Deleting from a named collection at 10,000 and 100,000 items (see tenfold.h): items named
// v0, v1, ... deleted by name in the order they were made, as a title's loop deletes its
// variables, each delete at the front of what is left; and every other one deleted from the
// last back. The same deletes from a std::unordered_map of the names to their items go beside:
// "map_x_tenfold" is its ratio, the share of the memory hierarchy in ours (a look-up among
// 100,000 names leaves the core's own cache).
#include "bench/tenfold.h"
#include "core/hash.h"
#include "platform/clock.h"

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

constexpr int kSmall = 10'000, kLarge = 100'000;

std::vector<std::string> Names(int Count) {
    std::vector<std::string> names;
    for (int i = 0; i < Count; ++i) names.push_back("v" + std::to_string(i));
    return names;
}

// The nanoseconds the deletes of Order (positions into Names) take; false when one misses.
bool DeleteAll(const std::vector<std::string>& Names, const std::vector<int>& Order, uint64_t& Total) {
    THashCollection items;
    for (const std::string& name : Names) items.AddNamed(name);
    const uint64_t start = platform::ClockNs();
    bool right = true;
    for (const int i : Order) {
        const int at = items.IndexOf(Names[static_cast<size_t>(i)]);
        right &= at >= 0;
        if (at >= 0) items.Delete(at);
    }
    Total += platform::ClockNs() - start;
    return right && items.Count() == static_cast<int>(Names.size() - Order.size());
}

// The same through a map owning an item of the same size for each name.
bool EraseAll(const std::vector<std::string>& Names, const std::vector<int>& Order, uint64_t& Total) {
    std::unordered_map<std::string, std::unique_ptr<THashCollectionItem>> items;
    for (const std::string& name : Names) items.emplace(name, std::make_unique<THashCollectionItem>());
    const uint64_t start = platform::ClockNs();
    size_t erased = 0;
    for (const int i : Order) erased += items.erase(Names[static_cast<size_t>(i)]);
    Total += platform::ClockNs() - start;
    return erased == Order.size();
}

template <class TOrder>
void Tenfold(benchmark::State& State, TOrder Order) {
    const std::vector<std::string> small = Names(kSmall), large = Names(kLarge);
    const std::vector<int> smallOrder = Order(kSmall), largeOrder = Order(kLarge);
    uint64_t smallNs = 0, largeNs = 0, mapSmallNs = 0, mapLargeNs = 0;
    bool right = true;
    for (auto _ : State) {
        right &= DeleteAll(small, smallOrder, smallNs) && DeleteAll(large, largeOrder, largeNs);
        right &= EraseAll(small, smallOrder, mapSmallNs) && EraseAll(large, largeOrder, mapLargeNs);
    }
    if (!right) State.SkipWithError("a delete missed its item");
    ReportTenfold(State, smallNs, largeNs);
    State.counters["map_x_tenfold"] = TenfoldRatio(mapSmallNs, mapLargeNs);
}

void BM_DeleteFromFront(benchmark::State& State) {
    Tenfold(State, [](int Count) {
        std::vector<int> order;
        for (int i = 0; i < Count; ++i) order.push_back(i);
        return order;
    });
}
BENCHMARK(BM_DeleteFromFront)->Unit(benchmark::kMillisecond);

void BM_DeleteEveryOtherFromBack(benchmark::State& State) {
    Tenfold(State, [](int Count) {
        std::vector<int> order;
        for (int i = Count - 2; i >= 0; i -= 2) order.push_back(i);
        return order;
    });
}
BENCHMARK(BM_DeleteEveryOtherFromBack)->Unit(benchmark::kMillisecond);

}  // namespace
