#pragma once
// The named-item hash collection: an ordered collection whose items are also found by name,
// without regard to case, through one chain per name; and the small typed scratch lists.
#include "core/collection.h"
#include "core/sysutils.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Bucket (0..255) of a name: over the name lowered with AnsiLowerCase (full-width letters
// too), (length * 16 + first byte + second-to-last byte) and 255; the two bytes count only
// for names of two bytes or more.
int HashName(std::string_view Name);

class THashCollection;

// A named item. Every item sits in exactly one chain, the one of its name (without regard to
// case). Its bucket, HashName(Name()), groups names for those who keep numbers per group of
// names.
class THashCollectionItem : public TCollectionItem {
public:
    const std::string& Name() const { return name_; }
    // Renames (when Value differs byte-wise) and moves the item to the head of its new chain.
    virtual void SetName(const std::string& Value);

    int Bucket() const { return bucket_; }
    // The position, found without walking the collection (Index()).
    int CachedIndex() const { return Index(); }
    // The next item of the same chain, linked earlier; nullptr at the end of the chain.
    THashCollectionItem* NextInChain() const { return next_; }

    // Takes only the name of another named item.
    void Assign(const TCollectionItem& Source) override;
    // The name, or the class name for an unnamed item.
    std::string GetDisplayName() const override;

protected:
    void Added() override;
    void Deleting() override;
    // Puts the unlinked item at the head of the chain of its name / takes it out of its chain.
    virtual void LinkHash();
    void UnlinkHash();

private:
    friend class THashCollection;
    THashCollection& Owner() const;

    int bucket_ = 0;
    std::string name_;
    THashCollectionItem* prev_ = nullptr;
    THashCollectionItem* next_ = nullptr;
};

class THashCollection : public TCollection {
public:
    THashCollection() : THashCollection(ItemClass<THashCollectionItem>) {}
    template <std::derived_from<THashCollectionItem> T>
    explicit THashCollection(TItemClass<T> ItemClass) : TCollection(ItemClass) {}

    THashCollectionItem& Items(int Index) const {
        return static_cast<THashCollectionItem&>(TCollection::Items(Index));
    }
    THashCollectionItem& Add() { return static_cast<THashCollectionItem&>(TCollection::Add()); }
    // A new item of the item class, given its name through SetName.
    THashCollectionItem& AddNamed(const std::string& Name);

    // Position of the item of that name (without regard to case) that was named last; -1 when
    // there is none. Never raises.
    virtual int IndexOf(const std::string& Name) const;
    // The head of the chain of a name (the item of that name, without regard to case, linked
    // last), for walking with NextInChain; nullptr when no item has the name. The walk meets
    // only items of that name, so a look-up does not grow with the number of other names.
    THashCollectionItem* FirstInChain(std::string_view Name) const;
    // Removes and frees every item at position From or after that Match (called once with each
    // of them, as const THashCollectionItem&) accepts, as deleting them one by one from the last
    // would, in time proportional to the items from From on (times the logarithm of the count).
    template <class P>
    void DeleteIf(P Match, int From = 0);

private:
    friend class THashCollectionItem;
    // The head of each name's chain; a name leaves the map with the last item of its chain.
    TAnsiTextMap<THashCollectionItem*> heads_;
};

template <class P>
void THashCollection::DeleteIf(P Match, int From) {
    From = std::max(From, 0);
    if (From >= Count()) return;
    std::vector<uint8_t> marked(static_cast<size_t>(Count() - From));
    bool any = false;
    for (int i = From; i < Count(); ++i) {
        const bool match = Match(static_cast<const THashCollectionItem&>(Items(i)));
        marked[static_cast<size_t>(i - From)] = match;
        any = any || match;
    }
    if (any) DeleteMarked(From, marked);
}

// A list of int32 values.
class TIntList {
public:
    int Count() const { return static_cast<int>(items_.size()); }
    // EListError "Error:TIntList.GetInt" outside 0..Count-1.
    int32_t GetInt(int Index) const;
    // Grows the list with zeros up to Index, then stores Value. EListError
    // "Error:TIntList.SetInt" for a negative Index or one beyond the size a list may have.
    void SetInt(int Index, int32_t Value);
    // Appends; returns the new element's position.
    int Add(int32_t Value);
    // First position of Value, -1 when absent.
    int IndexOf(int32_t Value) const;
    void Clear() { items_.clear(); }

private:
    std::vector<int32_t> items_;
};

// A list of 80-bit extended values.
class TExtendedList {
public:
    int Count() const { return static_cast<int>(values_.size()); }
    int Add(long double Value);
    // EListError when out of range.
    long double GetValue(int Index) const;
    // First exactly equal element, -1 when absent.
    int IndexOf(long double Value) const;
    // Largest first when Descending, else smallest first; NaN values go last either way.
    void Sort(bool Descending);
    void Clear() { values_.clear(); }

private:
    std::vector<long double> values_;
};

// A growable array of int32 values.
class TIntArray {
public:
    int Count() const { return static_cast<int>(values_.size()); }
    void Add(int32_t Value) { values_.push_back(Value); }
    // EListError when out of range.
    int32_t GetValue(int Index) const;

private:
    std::vector<int32_t> values_;
};
