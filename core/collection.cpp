#include "core/collection.h"

#include "core/stringlist.h"
#include "core/sysutils.h"

#include <cxxabi.h>

#include <algorithm>
#include <cstdlib>
#include <typeinfo>

int TCollectionItem::Index() const {
    if (!collection_) return -1;
    const auto& items = collection_->items_;
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i].get() == this) return static_cast<int>(i);
    return -1;
}

void TCollectionItem::SetIndex(int Value) {
    const int current = Index();
    if (current >= 0 && current != Value) collection_->Move(current, Value);
}

void TCollectionItem::Assign(const TCollectionItem& Source) {
    throw EAssignError(Format("Cannot assign a %s to a %s", Source.ClassName().c_str(), ClassName().c_str()));
}

std::string TCollectionItem::ClassName() const {
    const char* mangled = typeid(*this).name();
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> demangled(abi::__cxa_demangle(mangled, nullptr, nullptr, &status),
                                                          &std::free);
    std::string name = status == 0 && demangled ? demangled.get() : mangled;
    const size_t scope = name.rfind("::");
    return scope == std::string::npos ? name : name.substr(scope + 2);
}

TCollectionItem& TCollection::Items(int Index) const {
    if (Index < 0 || Index >= Count()) RaiseListIndexError(Index);
    return *items_[static_cast<size_t>(Index)];
}

TCollectionItem& TCollection::Add() {
    std::unique_ptr<TCollectionItem> item = newItem_();
    item->collection_ = this;
    items_.push_back(std::move(item));
    items_.back()->Added();
    return *items_.back();
}

void TCollection::Delete(int Index) {
    Items(Index).Deleting();
    std::unique_ptr<TCollectionItem> gone = std::move(items_[static_cast<size_t>(Index)]);
    items_.erase(items_.begin() + Index);
    gone->collection_ = nullptr;
}

void TCollection::DeleteMarked(int From, const std::vector<uint8_t>& Marked) {
    const auto from = static_cast<size_t>(From);
    for (size_t i = Marked.size(); i-- > 0;)
        if (Marked[i]) items_[from + i]->Deleting();
    std::vector<std::unique_ptr<TCollectionItem>> gone;
    size_t kept = from;
    for (size_t i = from; i < from + Marked.size(); ++i) {
        if (Marked[i - from])
            gone.push_back(std::move(items_[i]));
        else
            items_[kept++] = std::move(items_[i]);
    }
    items_.erase(std::move(items_.begin() + static_cast<std::ptrdiff_t>(from + Marked.size()), items_.end(),
                           items_.begin() + static_cast<std::ptrdiff_t>(kept)),
                 items_.end());
    for (auto& item : gone) item->collection_ = nullptr;
    while (!gone.empty()) gone.pop_back();
}

void TCollection::Clear() {
    while (Count() > 0) Delete(Count() - 1);
}

void TCollection::Move(int CurIndex, int NewIndex) {
    if (NewIndex < 0 || NewIndex >= Count()) RaiseListIndexError(NewIndex);
    const auto from = items_.begin() + CurIndex;
    const auto to = items_.begin() + NewIndex;
    if (CurIndex < NewIndex)
        std::rotate(from, from + 1, to + 1);
    else
        std::rotate(to, from, from + 1);
}
