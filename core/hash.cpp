#include "core/hash.h"

#include "core/stringlist.h"
#include "core/sysutils.h"

#include <algorithm>
#include <cmath>

int HashName(std::string_view Name) {
    // Lowering keeps every character's byte count, so the lowered name has Name's length.
    const size_t length = Name.size();
    size_t h = length * 16;
    if (length >= 2) h += AnsiLowerCaseByte(Name, 0) + AnsiLowerCaseByte(Name, length - 2);
    return static_cast<int>(h & 255);
}

// ---- THashCollectionItem

THashCollection& THashCollectionItem::Owner() const { return static_cast<THashCollection&>(*Collection()); }

void THashCollectionItem::Added() {
    TCollectionItem::Added();
    LinkHash();
}

void THashCollectionItem::Deleting() {
    UnlinkHash();
    TCollectionItem::Deleting();
}

void THashCollectionItem::LinkHash() {
    bucket_ = HashName(name_);
    THashCollectionItem*& head = Owner().heads_.try_emplace(name_, nullptr).first->second;
    prev_ = nullptr;
    next_ = head;
    if (head) head->prev_ = this;
    head = this;
}

void THashCollectionItem::UnlinkHash() {
    if (prev_) {
        prev_->next_ = next_;
    } else {
        auto& heads = Owner().heads_;
        const auto head = heads.find(std::string_view(name_));
        if (next_)
            head->second = next_;
        else
            heads.erase(head);
    }
    if (next_) next_->prev_ = prev_;
    prev_ = nullptr;
    next_ = nullptr;
}

void THashCollectionItem::SetName(const std::string& Value) {
    if (Value == name_) return;
    UnlinkHash();
    name_ = Value;
    LinkHash();
}

void THashCollectionItem::Assign(const TCollectionItem& Source) {
    if (const auto* named = dynamic_cast<const THashCollectionItem*>(&Source))
        SetName(named->Name());
    else
        TCollectionItem::Assign(Source);
}

std::string THashCollectionItem::GetDisplayName() const {
    return name_.empty() ? TCollectionItem::GetDisplayName() : name_;
}

// ---- THashCollection

THashCollectionItem* THashCollection::FirstInChain(std::string_view Name) const {
    const auto head = heads_.find(Name);
    return head == heads_.end() ? nullptr : head->second;
}

THashCollectionItem& THashCollection::AddNamed(const std::string& Name) {
    THashCollectionItem& item = Add();
    item.SetName(Name);
    return item;
}

int THashCollection::IndexOf(const std::string& Name) const {
    for (const THashCollectionItem* item = FirstInChain(Name); item; item = item->NextInChain())
        if (AnsiSameText(item->Name(), Name)) return item->CachedIndex();
    return -1;
}

// ---- typed lists

namespace {
// The most elements a list may hold.
constexpr int kMaxListSize = 134217727;
}  // namespace

int32_t TIntList::GetInt(int Index) const {
    if (Index < 0 || Index >= Count()) throw EListError("Error:TIntList.GetInt");
    return items_[static_cast<size_t>(Index)];
}

void TIntList::SetInt(int Index, int32_t Value) {
    if (Index < 0 || Index >= kMaxListSize) throw EListError("Error:TIntList.SetInt");
    if (Index >= Count()) items_.resize(static_cast<size_t>(Index) + 1);
    items_[static_cast<size_t>(Index)] = Value;
}

int TIntList::Add(int32_t Value) {
    items_.push_back(Value);
    return Count() - 1;
}

int TIntList::IndexOf(int32_t Value) const {
    const auto found = std::find(items_.begin(), items_.end(), Value);
    return found == items_.end() ? -1 : static_cast<int>(found - items_.begin());
}

int TExtendedList::Add(long double Value) {
    values_.push_back(Value);
    return Count() - 1;
}

long double TExtendedList::GetValue(int Index) const {
    if (Index < 0 || Index >= Count()) RaiseListIndexError(Index);
    return values_[static_cast<size_t>(Index)];
}

int TExtendedList::IndexOf(long double Value) const {
    const auto found = std::find(values_.begin(), values_.end(), Value);
    return found == values_.end() ? -1 : static_cast<int>(found - values_.begin());
}

void TExtendedList::Sort(bool Descending) {
    // A strict order even with NaN present (it has no place among the numbers): NaN last.
    std::sort(values_.begin(), values_.end(), [Descending](long double a, long double b) {
        if (std::isnan(a)) return false;
        if (std::isnan(b)) return true;
        return Descending ? a > b : a < b;
    });
}

int32_t TIntArray::GetValue(int Index) const {
    if (Index < 0 || Index >= Count()) RaiseListIndexError(Index);
    return values_[static_cast<size_t>(Index)];
}
