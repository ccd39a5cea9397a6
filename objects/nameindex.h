#pragma once
// Items by name, several under one name: a flat table of (the low half of the name's hash, the
// item's place in a list of the items), the name itself read from the item, so that a look-up
// reads one run of the table and the items whose hash matches, and adding or taking an item
// allocates nothing but larger lists now and then. The name is T::GetName() unless TKey says
// otherwise (TKey::Of(item) and TKey::Hash(name); a hash whose low bits vary). An item's name must
// not change while it is in the index.
//
// Each item keeps its place for the index, 0 while it is not in it (TKey::At(item), a uint32_t,
// T::NameIndexAt unless TKey says otherwise). Taking an item out only marks its place gone, in a
// list of one bit a place: neither the table nor the name is read, so that taking many items out
// one by one meets no line of a table too large for the cache. An addition takes over the first
// slot of a gone place on its way, with the place; the other slots of gone places are dropped,
// and their places given to later items, when the table is next built.
//
// Open addressing with linear probing: an item lies in the run of used slots that starts at its
// hash's home slot or before. The table is built again when the items and the slots of gone places
// would fill three quarters of it, or the slots of gone places a quarter: each building is paid
// for by a quarter as many additions or removals as the table has slots, and a look-up meets few
// slots of gone places.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

template <class T>
struct TNameKey {
    static decltype(auto) Of(const T& Item) { return Item.GetName(); }
    static uint64_t Hash(const std::string& Name) { return std::hash<std::string>{}(Name); }
    static uint32_t& At(T& Item) { return Item.NameIndexAt; }
};

template <class T, class TKey = TNameKey<T>>
class TNameIndex {
public:
    size_t Count() const { return Used; }

    // Adds Item under its name; Item is in no index. The first slot from its home that is free or
    // holds a gone place takes it, with that place.
    void Add(T* Item) {
        if (4 * (Used + Gone + 1) > 3 * Slots.size() || 4 * Gone > Slots.size()) Rebuild();
        const auto hash = uint32_t(TKey::Hash(TKey::Of(*Item)));
        size_t slot = Home(hash);
        while (Slots[slot].At && Live[Slots[slot].At - 1]) slot = Following(slot);
        uint32_t at = Slots[slot].At;
        if (at) {
            --Gone;
        } else if (Free.empty()) {
            Live.push_back(false);
            try {
                Items.push_back(Item);
            } catch (...) {
                Live.pop_back();
                throw;
            }
            at = uint32_t(Items.size());
        } else {
            at = Free.back() + 1;
            Free.pop_back();
        }
        Items[at - 1] = Item;
        Live[at - 1] = true;
        Slots[slot] = {hash, at};
        TKey::At(*Item) = at;
        ++Used;
    }

    // Takes Item out; answers whether it was in.
    bool Remove(T* Item) {
        uint32_t& at = TKey::At(*Item);
        if (!at) return false;
        Live[at - 1] = false;
        at = 0;
        --Used;
        ++Gone;
        return true;
    }

    // Calls Visit(Item) for every item called Name, in no particular order.
    template <class TName, class TVisit>
    void ForEachNamed(const TName& Name, TVisit Visit) const {
        if (Slots.empty()) return;
        const auto hash = uint32_t(TKey::Hash(Name));
        for (size_t at = Home(hash); Slots[at].At; at = Following(at))
            if (Slots[at].Hash == hash && Live[Slots[at].At - 1])
                if (T* item = Items[Slots[at].At - 1]; TKey::Of(*item) == Name) Visit(item);
    }

    template <class TName>
    bool Contains(const TName& Name) const {
        bool found = false;
        ForEachNamed(Name, [&](T*) { found = true; });
        return found;
    }

    // Every item it holds is told it is out.
    void Clear() {
        for (size_t at = 0; at < Items.size(); ++at)
            if (Live[at]) TKey::At(*Items[at]) = 0;
        Slots.clear();
        Items.clear();
        Live.clear();
        Free.clear();
        Used = Gone = 0;
    }

private:
    struct TSlot {
        uint32_t Hash = 0;  // the low half of the name's hash
        uint32_t At = 0;    // the item's place in Items plus one; 0: the slot is free
    };

    size_t Home(uint32_t Hash) const { return Hash & (Slots.size() - 1); }
    size_t Following(size_t At) const { return (At + 1) & (Slots.size() - 1); }

    // Puts Slot in the first free slot from its home on, as the table is built.
    void Place(TSlot Slot) {
        size_t at = Home(Slot.Hash);
        while (Slots[at].At) at = Following(at);
        Slots[at] = Slot;
    }

    // The slots of the items in, in a table as large (16 slots at first), doubled while they would
    // fill more than half of it; the gone places come free, every place when no item is in.
    void Rebuild() {
        size_t size = Slots.empty() ? 16 : Slots.size();
        while (2 * (Used + 1) > size) size *= 2;
        std::vector<TSlot> old(size);
        Free.reserve(Items.size());  // room for every place to come free
        old.swap(Slots);
        Gone = 0;
        if (Used == 0) {
            Items.clear();
            Live.clear();
            Free.clear();
            return;
        }
        for (const TSlot& slot : old)
            if (slot.At && Live[slot.At - 1])
                Place(slot);
            else if (slot.At)
                Free.push_back(slot.At - 1);
    }

    std::vector<TSlot> Slots;  // a power of two of them, at most three quarters used
    std::vector<T*> Items;     // by place
    std::vector<bool> Live;    // by place: whether the place's item is in
    std::vector<uint32_t> Free;  // the places given to no item, whose slots are gone
    size_t Used = 0;
    size_t Gone = 0;  // the slots of gone places
};
