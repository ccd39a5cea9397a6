#pragma once
// An ordered collection that owns its items. The collection makes every item itself, of the
// item class it was created with, so a derived collection names its item class once and all
// items of one collection share it.
#include "platform/errors.h"

#include <concepts>
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
    // Position in the collection (searched), -1 outside a collection.
    int Index() const;
    // Moves the item to position Value of its collection (EListError when out of range).
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

    int Count() const { return static_cast<int>(items_.size()); }
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
    // the last first.
    void DeleteMarked(int From, const std::vector<uint8_t>& Marked);

private:
    friend class TCollectionItem;
    template <class T>
    static std::unique_ptr<TCollectionItem> NewItem() {
        return std::make_unique<T>();
    }
    void Move(int CurIndex, int NewIndex);

    std::unique_ptr<TCollectionItem> (*newItem_)();
    std::vector<std::unique_ptr<TCollectionItem>> items_;
};
