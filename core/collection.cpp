#include "core/collection.h"

#include "core/stringlist.h"
#include "core/sysutils.h"

#include <cxxabi.h>

#include <algorithm>
#include <cstdlib>
#include <typeinfo>

int TCollectionItem::Index() const {
    if (!collection_) return -1;
    const TCollection& owner = *collection_;
    if (owner.slots_.size() == static_cast<size_t>(owner.count_)) return static_cast<int>(slot_);
    return static_cast<int>(owner.filled_.Before(slot_));
}

void TCollectionItem::SetIndex(int Value) {
    const int current = Index();
    if (current >= 0 && current != Value) collection_->Move(slot_, current, Value);
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

// ---- TFilledSlots

namespace {
size_t LowBit(size_t K) { return K & (~K + 1); }
}  // namespace

void TFilledSlots::Push(bool Filled) {
    const size_t k = tree_.size() + 1;
    tree_.push_back(static_cast<uint32_t>(Filled + Before(k - 1) - Before(k - LowBit(k))));
}

void TFilledSlots::Empty(size_t Slot) {
    for (size_t k = Slot + 1; k <= tree_.size(); k += LowBit(k)) --tree_[k - 1];
}

size_t TFilledSlots::Before(size_t Slot) const {
    size_t filled = 0;
    for (size_t k = Slot; k > 0; k -= LowBit(k)) filled += tree_[k - 1];
    return filled;
}

size_t TFilledSlots::Find(size_t Rank) const {
    size_t slot = 0;
    size_t step = 1;
    while (step * 2 <= tree_.size()) step *= 2;
    for (; step > 0; step /= 2)
        if (slot + step <= tree_.size() && tree_[slot + step - 1] <= Rank) {
            slot += step;
            Rank -= tree_[slot - 1];
        }
    return slot;
}

void TFilledSlots::FillFrom(size_t From) {
    const size_t before = Before(From);
    for (size_t k = From + 1; k <= tree_.size(); ++k) {
        const size_t start = k - LowBit(k);
        tree_[k - 1] = static_cast<uint32_t>(start >= From ? k - start : before - Before(start) + (k - From));
    }
}

// ---- TCollection

size_t TCollection::SlotOf(int Index) const {
    const auto index = static_cast<size_t>(Index);
    return slots_.size() == static_cast<size_t>(count_) ? index : filled_.Find(index);
}

TCollectionItem& TCollection::Items(int Index) const {
    if (Index < 0 || Index >= Count()) RaiseListIndexError(Index);
    return *slots_[SlotOf(Index)];
}

TCollectionItem& TCollection::Add() {
    std::unique_ptr<TCollectionItem> item = newItem_();
    item->collection_ = this;
    item->slot_ = slots_.size();
    filled_.Push(true);
    try {
        slots_.push_back(std::move(item));
    } catch (...) {
        filled_.Pop();
        throw;
    }
    ++count_;
    slots_.back()->Added();
    return *slots_.back();
}

void TCollection::Delete(int Index) {
    if (Index < 0 || Index >= Count()) RaiseListIndexError(Index);
    DeleteSlot(SlotOf(Index));
}

void TCollection::DeleteItems(std::vector<TCollectionItem*> Items) {
    std::sort(Items.begin(), Items.end(),
              [](const TCollectionItem* A, const TCollectionItem* B) { return A->slot_ > B->slot_; });
    // A delete that closes the slots up gives the others new slots in the same order.
    for (const TCollectionItem* item : Items) DeleteSlot(item->slot_);
}

void TCollection::DeleteSlot(size_t Slot) {
    slots_[Slot]->Deleting();
    std::unique_ptr<TCollectionItem> gone = std::move(slots_[Slot]);
    filled_.Empty(Slot);
    --count_;
    gone->collection_ = nullptr;
    CloseIfSparse();
}

void TCollection::DeleteMarked(int From, const std::vector<uint8_t>& Marked) {
    const size_t first = SlotOf(From);
    std::vector<size_t> marked;
    for (size_t slot = first, position = 0; position < Marked.size(); ++slot)
        if (slots_[slot] && Marked[position++]) marked.push_back(slot);
    std::vector<std::unique_ptr<TCollectionItem>> gone;
    gone.reserve(marked.size());
    for (size_t i = marked.size(); i-- > 0;) slots_[marked[i]]->Deleting();
    for (const size_t slot : marked) {
        gone.push_back(std::move(slots_[slot]));
        filled_.Empty(slot);
    }
    count_ -= static_cast<int>(gone.size());
    CloseSlots(first);
    CloseIfSparse();
    for (auto& item : gone) item->collection_ = nullptr;
    while (!gone.empty()) gone.pop_back();
}

void TCollection::Clear() {
    while (Count() > 0) Delete(Count() - 1);
}

void TCollection::Move(size_t From, int CurIndex, int NewIndex) {
    if (NewIndex < 0 || NewIndex >= Count()) RaiseListIndexError(NewIndex);
    // The item steps along the positions between the two places, each item it passes taking the
    // slot it left; the empty slots stay where they are and are not walked: the next item is the
    // neighbouring slot's, else found by its position.
    const int step = CurIndex < NewIndex ? 1 : -1;
    size_t at = From;
    for (int position = CurIndex; position != NewIndex;) {
        position += step;
        const size_t neighbour = step > 0 ? at + 1 : at - 1;
        const size_t slot = slots_[neighbour] ? neighbour : SlotOf(position);
        std::swap(slots_[at], slots_[slot]);
        slots_[at]->slot_ = at;
        at = slot;
    }
    slots_[at]->slot_ = at;
}

void TCollection::CloseSlots(size_t From) {
    size_t kept = From;
    for (size_t slot = From; slot < slots_.size(); ++slot) {
        if (!slots_[slot]) continue;
        if (slot != kept) slots_[kept] = std::move(slots_[slot]);
        slots_[kept]->slot_ = kept;
        ++kept;
    }
    slots_.resize(kept);
    while (filled_.Size() > kept) filled_.Pop();
    filled_.FillFrom(From);
}

void TCollection::CloseIfSparse() {
    while (!slots_.empty() && !slots_.back()) {
        slots_.pop_back();
        filled_.Pop();
    }
    if (slots_.size() > 2 * static_cast<size_t>(count_)) CloseSlots(0);
}
