// The named-item hash collection: buckets against an independent Python reference, lookup
// without regard to case (full-width letters too), positions and chains kept right through
// renames, moves and deletes, derived item classes; the counts of filled slots beneath the
// positions; and the typed scratch lists.
#include "core/hash.h"
#include "core/stringlist.h"
#include "core/sysutils.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <set>
#include <sstream>

namespace {

struct TReferenceName {
    std::string Name;
    std::string Swapped;  // the same name with the case of every letter swapped
    int Bucket;
};

std::vector<TReferenceName> ReferenceNames(int Count, int Seed) {
    std::vector<TReferenceName> names;
    for (const auto& line : Lines(PythonOutput("hash_names.py", {std::to_string(Count), std::to_string(Seed)}))) {
        std::istringstream in(line);
        std::string name, swapped;
        int bucket = -1;
        in >> name >> swapped >> bucket;
        names.push_back({name == "-" ? "" : FromHex(name), swapped == "-" ? "" : FromHex(swapped), bucket});
    }
    EXPECT_EQ(static_cast<int>(names.size()), Count);
    return names;
}

// Every item is at its cached position and in the chain of its name, once; each chain holds
// only items of its name.
void ExpectConsistent(const THashCollection& Items) {
    std::set<const THashCollectionItem*> chained;
    for (int i = 0; i < Items.Count(); ++i) {
        ASSERT_EQ(Items.Items(i).CachedIndex(), i);
        ASSERT_EQ(Items.Items(i).Bucket(), HashName(Items.Items(i).Name())) << i;
        const std::string& name = Items.Items(i).Name();
        bool found = false;
        for (auto* item = Items.FirstInChain(name); item; item = item->NextInChain()) {
            ASSERT_TRUE(AnsiSameText(item->Name(), name));
            ASSERT_EQ(&Items.Items(item->CachedIndex()), item);
            found |= item == &Items.Items(i);
        }
        ASSERT_TRUE(found) << "item " << i << " missing from its chain";
        chained.insert(&Items.Items(i));
    }
    ASSERT_EQ(static_cast<int>(chained.size()), Items.Count());
}

template <class TError, class TCall>
void ExpectError(const std::string& Message, TCall&& Call) {
    try {
        Call();
        ADD_FAILURE() << "no error, expected " << Message;
    } catch (const TError& e) {
        EXPECT_EQ(std::string(e.what()), Message);
    }
}

TEST(HashName, KnownBucketsAndReference) {
    EXPECT_EQ(HashName(""), 0);
    EXPECT_EQ(HashName("a"), 16);
    EXPECT_EQ(HashName("ab"), 226);
    EXPECT_EQ(HashName("abc"), 243);
    EXPECT_EQ(HashName("ABC"), 243);
    EXPECT_EQ(HashName("@Result"), 28);
    EXPECT_EQ(HashName("ＡＢＣ"), HashName("ａｂｃ"));

    for (const auto& n : ReferenceNames(2000, 1)) {
        EXPECT_EQ(HashName(n.Name), n.Bucket) << ToHex(n.Name);
        EXPECT_EQ(HashName(n.Swapped), n.Bucket) << ToHex(n.Swapped);
    }
}

TEST(THashCollection, FindsNamesWithoutRegardToCase) {
    THashCollection items;
    EXPECT_EQ(items.IndexOf("abc"), -1);
    items.AddNamed("abc");
    items.AddNamed("ａｂｃ");
    items.AddNamed("Ωмега");
    EXPECT_EQ(items.IndexOf("ABC"), 0);
    EXPECT_EQ(items.IndexOf("ＡＢＣ"), 1);
    EXPECT_EQ(items.IndexOf("ＡbＣ"), -1);
    EXPECT_EQ(items.IndexOf("ωМЕГА"), 2);
    EXPECT_EQ(items.IndexOf("abcd"), -1);
}

TEST(THashCollection, RenameRelinksAtChainHead) {
    THashCollection items;
    auto& abc = items.AddNamed("abc");
    auto& bac = items.AddNamed("bac");
    auto& other = items.AddNamed("ABC");
    ASSERT_EQ(abc.Bucket(), bac.Bucket());
    EXPECT_EQ(items.FirstInChain("abc"), &other);  // a chain holds one name, whatever its bucket
    EXPECT_EQ(other.NextInChain(), &abc);
    EXPECT_EQ(items.FirstInChain("bac"), &bac);
    EXPECT_EQ(bac.NextInChain(), nullptr);

    abc.SetName("aBc");  // other case: relinked in the same chain, now the head
    EXPECT_EQ(abc.Bucket(), 243);
    EXPECT_EQ(items.FirstInChain("ABC"), &abc);
    EXPECT_EQ(abc.NextInChain(), &other);
    EXPECT_EQ(other.NextInChain(), nullptr);

    other.SetName("abC");
    abc.SetName("aBc");  // the same bytes: nothing moves
    EXPECT_EQ(items.FirstInChain("abc"), &other);

    abc.SetName("zz");
    other.SetName("zZ");
    EXPECT_EQ(abc.Bucket(), HashName("zz"));
    EXPECT_EQ(items.IndexOf("abc"), -1);
    EXPECT_EQ(items.FirstInChain("abc"), nullptr);
    EXPECT_EQ(items.IndexOf("ZZ"), 2);
    ExpectConsistent(items);
}

TEST(THashCollection, DeleteMoveAndDuplicateNamesKeepPositions) {
    THashCollection items;
    items.AddNamed("a");
    items.AddNamed("b");
    items.AddNamed("c");
    items.Delete(0);
    EXPECT_EQ(items.IndexOf("c"), 1);
    EXPECT_EQ(items.IndexOf("a"), -1);
    EXPECT_EQ(items.Items(0).Name(), "b");

    items.Items(1).SetIndex(0);
    EXPECT_EQ(items.IndexOf("c"), 0);
    EXPECT_EQ(items.IndexOf("b"), 1);
    EXPECT_THROW(items.Items(0).SetIndex(2), EListError);
    EXPECT_EQ(items.IndexOf("c"), 0);
    EXPECT_THROW(items.Delete(2), EListError);
    ExpectConsistent(items);

    // Of two items of one name, the one named last is found.
    THashCollection twins;
    twins.AddNamed("x");
    twins.AddNamed("x");
    EXPECT_EQ(twins.IndexOf("x"), 1);
    twins.Items(0).SetName("y");
    twins.Items(0).SetName("X");
    EXPECT_EQ(twins.IndexOf("x"), 0);
    twins.Delete(0);
    EXPECT_EQ(twins.IndexOf("x"), 0);
}

TEST(THashCollection, RandomWorkKeepsEveryPositionAndChain) {
    const auto names = ReferenceNames(6000, 2);
    std::mt19937 rng(5);
    auto random = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };

    THashCollection items;
    std::vector<size_t> model;  // reference name of each position
    size_t fresh = 0;
    auto add = [&] {
        if (fresh % 2)
            items.AddNamed(names[fresh].Name);
        else
            items.Add().SetName(names[fresh].Name);
        model.push_back(fresh++);
    };
    while (fresh < 3000) add();
    ExpectConsistent(items);
    for (size_t i = 0; i < model.size(); ++i) ASSERT_EQ(items.IndexOf(names[model[i]].Swapped), static_cast<int>(i));

    for (int step = 1; step <= 4000; ++step) {
        const int at = random(static_cast<int>(model.size()));
        switch (random(4)) {
        case 0:
            items.Delete(at);
            model.erase(model.begin() + at);
            break;
        case 1: {
            const int to = random(static_cast<int>(model.size()));
            items.Items(at).SetIndex(to);
            const size_t moved = model[static_cast<size_t>(at)];
            model.erase(model.begin() + at);
            model.insert(model.begin() + to, moved);
            break;
        }
        case 2:
            if (fresh < names.size()) {
                items.Items(at).SetName(names[fresh].Swapped);
                model[static_cast<size_t>(at)] = fresh++;
            }
            break;
        default:
            if (fresh < names.size()) add();
        }
        if (step % 500 == 0) {
            ASSERT_EQ(items.Count(), static_cast<int>(model.size()));
            ExpectConsistent(items);
            for (size_t i = 0; i < model.size(); ++i)
                ASSERT_EQ(items.IndexOf(names[model[i]].Name), static_cast<int>(i)) << step;
        }
    }
    items.Clear();
    ExpectConsistent(items);
    EXPECT_EQ(items.IndexOf(names[0].Name), -1);
}

// A loop deleting from the front leaves the slots of the deleted items empty behind the others;
// positions, look-ups, moves, bulk deletes and additions among them answer as a closed-up list
// would, and the items keep their order.
TEST(THashCollection, DeletesFromTheFrontKeepOrderAndPositions) {
    THashCollection items;
    std::vector<std::string> model;
    for (int i = 0; i < 600; ++i) {
        model.push_back("v" + std::to_string(i));
        items.AddNamed(model.back());
    }
    const auto expectModel = [&](const char* Step) {
        ASSERT_EQ(items.Count(), static_cast<int>(model.size())) << Step;
        for (size_t i = 0; i < model.size(); ++i) {
            ASSERT_EQ(items.Items(static_cast<int>(i)).Name(), model[i]) << Step << " " << i;
            ASSERT_EQ(items.IndexOf(model[i]), static_cast<int>(i)) << Step;
        }
        ExpectConsistent(items);
    };
    // Deleted by name in the order they were made, a title's loop over its variables.
    for (int i = 0; i < 250; ++i) {
        items.Delete(items.IndexOf(model.front()));
        model.erase(model.begin());
    }
    expectModel("front");
    // A run deleted after position 4 leaves empty slots between items too; moves step past them.
    for (int i = 0; i < 40; ++i) items.Delete(5);
    model.erase(model.begin() + 5, model.begin() + 45);
    items.Items(4).SetIndex(5);
    std::swap(model[4], model[5]);
    expectModel("gap");
    items.Items(10).SetIndex(200);
    std::rotate(model.begin() + 10, model.begin() + 11, model.begin() + 201);
    items.Items(300).SetIndex(3);
    std::rotate(model.begin() + 3, model.begin() + 300, model.begin() + 301);
    expectModel("moves");
    for (int i = 0; i < 50; ++i) {
        model.push_back("w" + std::to_string(i));
        items.AddNamed(model.back());
    }
    // The names ending in 0, 3, 6 or 9 from position 100 on, among slots left empty in front.
    const auto third = [](const std::string& Name) { return (Name.back() - '0') % 3 == 0; };
    items.DeleteIf([&](const THashCollectionItem& Item) { return third(Item.Name()); }, 100);
    std::erase_if(model, [&, at = size_t{0}](const std::string& Name) mutable { return at++ >= 100 && third(Name); });
    expectModel("bulk");
    // Deleting most of the rest closes the empty slots up once they outnumber the items.
    while (model.size() > 20) {
        items.Delete(1);
        model.erase(model.begin() + 1);
    }
    expectModel("sparse");
    items.Clear();
    EXPECT_EQ(items.Count(), 0);
    EXPECT_EQ(items.IndexOf(model.back()), -1);
}

// The counts of filled slots against a plain row, past the size where a third level of runs
// begins (64^3 slots): after pushes, empties, pops back below it, a filled tail and pushes past
// it again, every slot has the count before it and every filled one is found by that count.
TEST(TFilledSlots, CountsAcrossLevels) {
    constexpr size_t kThirdLevel = 64 * 64 * 64;
    TFilledSlots slots;
    std::vector<bool> model;
    std::mt19937 rng(7);
    const auto push = [&](size_t Count) {
        for (size_t i = 0; i < Count; ++i) {
            model.push_back(rng() % 4 != 0);
            slots.Push(model.back());
        }
    };
    const auto expectModel = [&](const char* Step) {
        ASSERT_EQ(slots.Size(), model.size()) << Step;
        size_t filled = 0;
        for (size_t slot = 0; slot < model.size(); ++slot) {
            ASSERT_EQ(slots.Before(slot), filled) << Step << " " << slot;
            if (model[slot]) {
                ASSERT_EQ(slots.Find(filled++), slot) << Step;
            }
        }
    };
    push(kThirdLevel + 1000);
    for (int i = 0; i < 20000; ++i) {
        const size_t slot = rng() % model.size();
        if (!model[slot]) continue;
        slots.Empty(slot);
        model[slot] = false;
    }
    expectModel("emptied");
    while (model.size() > kThirdLevel - 100) {
        slots.Pop();
        model.pop_back();
    }
    slots.FillFrom(kThirdLevel - 5000);
    std::fill(model.begin() + kThirdLevel - 5000, model.end(), true);
    push(2000);
    expectModel("refilled");
}

TEST(THashCollection, AssignDisplayNameAndRanges) {
    THashCollection items;
    auto& source = items.AddNamed("Source");
    auto& target = items.Add();
    EXPECT_EQ(target.GetDisplayName(), "THashCollectionItem");
    target.Assign(source);
    EXPECT_EQ(target.Name(), "Source");
    EXPECT_EQ(target.GetDisplayName(), "Source");
    EXPECT_EQ(items.IndexOf("source"), 1);

    TCollection plain;
    auto& other = plain.Add();
    EXPECT_EQ(other.Collection(), &plain);
    EXPECT_EQ(other.GetDisplayName(), "TCollectionItem");
    ExpectError<EAssignError>("Cannot assign a TCollectionItem to a THashCollectionItem",
                              [&] { target.Assign(other); });
    EXPECT_THROW(other.Assign(target), EAssignError);
    EXPECT_EQ(target.Name(), "Source");

    ExpectError<EListError>("List index out of bounds (2)", [&] { items.Items(2); });
    EXPECT_THROW(items.Items(-1), EListError);
}

// A derived collection as the engine's tables make them: its own item class, and a lookup
// that prefers the match linked first.
class TScopedItem : public THashCollectionItem {
public:
    int Scope = -1;
};

class TScopedTable : public THashCollection {
public:
    TScopedTable() : THashCollection(ItemClass<TScopedItem>) {}
    TScopedItem& Items(int Index) const { return static_cast<TScopedItem&>(THashCollection::Items(Index)); }
    int IndexOf(const std::string& Name) const override {
        int found = -1;
        for (auto* item = FirstInChain(Name); item; item = item->NextInChain())
            if (AnsiSameText(item->Name(), Name)) found = item->CachedIndex();
        return found;
    }
};

TEST(THashCollection, DerivedItemClassAndLookup) {
    TScopedTable table;
    table.AddNamed("v");
    table.Items(0).Assign(table.Add());  // from an unnamed item: the name becomes empty
    table.AddNamed("V");
    table.AddNamed("w");
    EXPECT_EQ(table.Items(0).Name(), "");
    EXPECT_EQ(table.Items(1).Scope, -1);
    EXPECT_EQ(table.Items(2).GetDisplayName(), "V");
    EXPECT_EQ(table.Items(1).GetDisplayName(), "TScopedItem");

    table.Items(0).SetName("v");
    const THashCollection& base = table;
    EXPECT_EQ(base.IndexOf("v"), 2);  // the override: linked first
    EXPECT_EQ(base.THashCollection::IndexOf("v"), 0);

    table.Clear();
    EXPECT_EQ(table.Count(), 0);
    EXPECT_EQ(table.FirstInChain("v"), nullptr);
    table.AddNamed("v");
    EXPECT_EQ(base.IndexOf("V"), 0);
}

TEST(TIntList, GrowsOnSetAndChecksIndexes) {
    TIntList list;
    list.SetInt(5, 7);
    ASSERT_EQ(list.Count(), 6);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(list.GetInt(i), 0);
    EXPECT_EQ(list.GetInt(5), 7);
    list.SetInt(2, -3);
    EXPECT_EQ(list.Count(), 6);
    EXPECT_EQ(list.Add(9), 6);
    EXPECT_EQ(list.IndexOf(-3), 2);
    EXPECT_EQ(list.IndexOf(0), 0);
    EXPECT_EQ(list.IndexOf(8), -1);

    ExpectError<EListError>("Error:TIntList.GetInt", [&] { list.GetInt(7); });
    ExpectError<EListError>("Error:TIntList.GetInt", [&] { list.GetInt(-1); });
    ExpectError<EListError>("Error:TIntList.SetInt", [&] { list.SetInt(-1, 1); });
    ExpectError<EListError>("Error:TIntList.SetInt", [&] { list.SetInt(std::numeric_limits<int>::max(), 1); });
    EXPECT_EQ(list.Count(), 7);
}

TEST(TExtendedList, SortsAndComparesFullPrecision) {
    TExtendedList list;
    list.Add(1.5L);
    list.Add(3.0L);
    list.Add(2.0L);
    list.Sort(true);
    EXPECT_EQ(list.GetValue(0), 3.0L);
    EXPECT_EQ(list.GetValue(1), 2.0L);
    EXPECT_EQ(list.GetValue(2), 1.5L);
    ExpectError<EListError>("List index out of bounds (3)", [&] { list.GetValue(3); });

    // Values that differ only beyond double precision stay apart.
    const long double nearOne = 1.0L + std::ldexp(1.0L, -63);
    list.Add(nearOne);
    EXPECT_EQ(list.IndexOf(1.0L), -1);
    EXPECT_EQ(list.IndexOf(nearOne), 3);

    // NaN has no place among numbers: it goes last, and the numbers stay ordered.
    list.Add(std::numeric_limits<long double>::quiet_NaN());
    list.Add(-1.0L);
    for (bool descending : {true, false}) {
        list.Sort(descending);
        EXPECT_TRUE(std::isnan(list.GetValue(5)));
        EXPECT_EQ(list.GetValue(0), descending ? 3.0L : -1.0L);
        EXPECT_EQ(list.GetValue(4), descending ? -1.0L : 3.0L);
    }
}

TEST(TIntArray, AddsAndReadsInRange) {
    TIntArray array;
    array.Add(4);
    array.Add(-2);
    EXPECT_EQ(array.Count(), 2);
    EXPECT_EQ(array.GetValue(1), -2);
    EXPECT_THROW(array.GetValue(2), EListError);
    EXPECT_THROW(array.GetValue(-1), EListError);
}

}  // namespace
