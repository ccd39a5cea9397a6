#pragma once
// Items by name, several under one name: one flat table of (hash of the name, item), the name
// itself read from the item, so that a look-up reads one run of the table and the items whose
// hash matches, and adding or taking an item allocates nothing but a larger table now and then.
// The name is T::GetName() unless TKey says otherwise (TKey::Of(item) and TKey::Hash(name); a
// hash whose low bits vary). An item's name must not change while it is in the index.
//
// Open addressing with linear probing: an item lies in the run of used slots that starts at its
// hash's home slot or before; taking one moves the later items of the run back over the gap.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

template <class T>
struct TNameKey {
    static decltype(auto) Of(const T& Item) { return Item.GetName(); }
    static uint64_t Hash(const std::string& Name) { return std::hash<std::string>{}(Name); }
};

template <class T, class TKey = TNameKey<T>>
class TNameIndex {
public:
    size_t Count() const { return Used; }

    // Adds Item under its name.
    void Add(T* Item) {
        if (4 * (Used + 1) > 3 * Slots.size()) Grow();
        Place({TKey::Hash(TKey::Of(*Item)), Item});
        ++Used;
    }

    // Takes Item out; answers whether it was in.
    bool Remove(const T* Item) {
        if (Slots.empty()) return false;
        for (size_t at = Home(TKey::Hash(TKey::Of(*Item))); Slots[at].Item; at = Following(at))
            if (Slots[at].Item == Item) {
                Close(at);
                --Used;
                return true;
            }
        return false;
    }

    // Calls Visit(Item) for every item called Name, in no particular order.
    template <class TName, class TVisit>
    void ForEachNamed(const TName& Name, TVisit Visit) const {
        if (Slots.empty()) return;
        const uint64_t hash = TKey::Hash(Name);
        for (size_t at = Home(hash); Slots[at].Item; at = Following(at))
            if (Slots[at].Hash == hash && TKey::Of(*Slots[at].Item) == Name) Visit(Slots[at].Item);
    }

    template <class TName>
    bool Contains(const TName& Name) const {
        bool found = false;
        ForEachNamed(Name, [&](T*) { found = true; });
        return found;
    }

    void Clear() {
        Slots.clear();
        Used = 0;
    }

private:
    struct TSlot {
        uint64_t Hash = 0;
        T* Item = nullptr;  // nullptr: the slot is free
    };

    size_t Home(uint64_t Hash) const { return size_t(Hash) & (Slots.size() - 1); }
    size_t Following(size_t At) const { return (At + 1) & (Slots.size() - 1); }

    // Puts Slot in the first free slot from its home on.
    void Place(TSlot Slot) {
        size_t at = Home(Slot.Hash);
        while (Slots[at].Item) at = Following(at);
        Slots[at] = Slot;
    }

    // Twice the slots (16 at first), every item placed again.
    void Grow() {
        std::vector<TSlot> old(Slots.empty() ? 16 : 2 * Slots.size());
        old.swap(Slots);
        for (const TSlot& slot : old)
            if (slot.Item) Place(slot);
    }

    // Frees the slot at Gap: each later item of the run whose home does not lie after the gap
    // (going round the table) moves into it, and its old slot becomes the gap.
    void Close(size_t Gap) {
        Slots[Gap] = {};
        for (size_t at = Following(Gap); Slots[at].Item; at = Following(at)) {
            const size_t home = Home(Slots[at].Hash);
            // Whether home lies in the cyclic range (Gap, at].
            const bool homeAfterGap = Gap <= at ? Gap < home && home <= at : Gap < home || home <= at;
            if (homeAfterGap) continue;
            Slots[Gap] = Slots[at];
            Slots[at] = {};
            Gap = at;
        }
    }

    std::vector<TSlot> Slots;  // a power of two of them, at most three quarters used
    size_t Used = 0;
};
