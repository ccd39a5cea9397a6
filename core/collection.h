#pragma once
// An ordered collection that owns its items. The collection makes every item itself, of the
// item class it was created with, so a derived collection names its item class once and all
// items of one collection share it.
#include "platform/errors.h"

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Assigning an object from one of a class it cannot take its state from.
class EAssignError : public EVelaError {
public:
    using EVelaError::EVelaError;
};

class TCollection;

class TCollectionItem {
public:
    TCollectionItem() = default;
    TCollectionItem(const TCollectionItem&) = delete;
    TCollectionItem& operator=(const TCollectionItem&) = delete;
    // The collection has already let go of the item when it is destroyed: a destructor must
    // not reach the collection.
    virtual ~TCollectionItem() = default;

    TCollection* Collection() const { return collection_; }
    // Position in the collection, -1 outside a collection; found without walking the items.
    int Index() const;
    // Moves the item to position Value of its collection (EListError when out of range). The
    // work is that of the positions it passes, and the logarithm of the count for each run of
    // empty slots that deletes left among them, however long.
    virtual void SetIndex(int Value);
    // Takes over the state of Source; an item takes nothing from another class (EAssignError).
    virtual void Assign(const TCollectionItem& Source);
    virtual std::string GetDisplayName() const { return ClassName(); }
    // The name of the object's class, without namespaces ("TCollectionItem").
    std::string ClassName() const;

protected:
    // The collection calls Added once the item is appended (its position is valid), and
    // Deleting while the item is still at its position, just before removing and freeing it.
    // Overrides call the inherited version.
    virtual void Added() {}
    virtual void Deleting() {}

private:
    friend class TCollection;
    TCollection* collection_ = nullptr;
    size_t slot_ = 0;  // the item's place among the collection's slots
};

// The number of filled slots before each slot of a row of slots that grows and shrinks at its
// end. The counts are kept in levels of 64-fold runs, so a question costs a step a level (the
// count of the slot's run, or a search by halves among the 64 counts of a group) and an emptied
// slot a step for each later run of its group at each level: one level more every 64-fold size.
class TFilledSlots {
public:
    size_t Size() const { return size_; }
    // Appends a slot, filled or not; drops the last one.
    void Push(bool Filled);
    void Pop();
    // Empties the slot (it was filled).
    void Empty(size_t Slot);
    // The filled slots before Slot (below Size).
    size_t Before(size_t Slot) const;
    // The slot of the filled one with Rank filled slots before it (Rank below the filled count).
    size_t Find(size_t Rank) const;
    // Every slot from From on filled, the slots before it as they were.
    void FillFrom(size_t From);

private:
    // The filled slots of run Run of level Level (a whole run).
    size_t RunFilled(size_t Level, size_t Run) const;

    // Slot s is filled when bit s % 64 of bits_[s / 64] is set.
    std::vector<uint64_t> bits_;
    // Level k cuts the slots into runs of 64^(k + 1) and the runs into groups of 64: entry r of
    // levels_[k] counts the filled slots of the runs before run r in its group, and the entries
    // past the last run fill its group with the largest count. The top level is one group.
    std::vector<std::vector<int32_t>> levels_ = std::vector<std::vector<int32_t>>(1);
    size_t size_ = 0;
    size_t filled_ = 0;
};

// Chooses the item class of a collection: TCollection(ItemClass<TMyItem>).
template <class T>
struct TItemClass {};
template <class T>
inline constexpr TItemClass<T> ItemClass{};

class TCollection {
public:
    // An empty collection of plain items.
    TCollection() : TCollection(ItemClass<TCollectionItem>) {}
    TCollection(const TCollection&) = delete;
    TCollection& operator=(const TCollection&) = delete;
    virtual ~TCollection() = default;

    int Count() const { return count_; }
    // The item at Index (EListError when out of range).
    TCollectionItem& Items(int Index) const;
    // Makes a new item of the item class and appends it.
    TCollectionItem& Add();
    // Removes and frees the item at Index (EListError when out of range).
    void Delete(int Index);
    // Frees every item, the last one first.
    virtual void Clear();

protected:
    template <std::derived_from<TCollectionItem> T>
    explicit TCollection(TItemClass<T>) : newItem_(&NewItem<T>) {}
    // Removes and frees, in one pass, the items at From and after whose entry in Marked (one per
    // position from From on) is set, as deleting them one by one from the last would: each is
    // told Deleting, the last first, then the others close up and the marked ones are freed,
    // the last first. The pass costs the items from From on (and the logarithm of the count).
    void DeleteMarked(int From, const std::vector<uint8_t>& Marked);
    // Removes and frees the given items of the collection as deleting them one by one from the
    // last would, without finding their positions: the work is the logarithm of the count each.
    void DeleteItems(std::vector<TCollectionItem*> Items);

private:
    friend class TCollectionItem;
    template <class T>
    static std::unique_ptr<TCollectionItem> NewItem() {
        return std::make_unique<T>();
    }
    // Moves the item in slot From, at position CurIndex, to position NewIndex.
    void Move(size_t From, int CurIndex, int NewIndex);
    // Removes and frees the item in Slot.
    void DeleteSlot(size_t Slot);
    // The slot of the item at Index (within 0..Count-1).
    size_t SlotOf(int Index) const;
    // Gives the items from slot From on consecutive slots, dropping the empty ones there.
    void CloseSlots(size_t From);
    // Drops the empty slots at the end, and closes up all of them once they outnumber the items.
    void CloseIfSparse();

    std::unique_ptr<TCollectionItem> (*newItem_)();
    // The items in order. A deleted item leaves its slot empty, so that the items after it keep
    // their slots; the empty slots are closed up once they outnumber the items, so that a delete
    // costs the logarithm of the count however many come after it.
    std::vector<std::unique_ptr<TCollectionItem>> slots_;
    TFilledSlots filled_;
    int count_ = 0;
};
