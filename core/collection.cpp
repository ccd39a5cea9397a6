#include "core/collection.h"

#include "core/stringlist.h"
#include "core/sysutils.h"

#include <cxxabi.h>

#include <algorithm>
#include <array>
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

constexpr size_t kRunBits = 6;  // a run holds 64 runs of the level below, a word 64 slots
constexpr size_t kGroupRuns = size_t{1} << kRunBits;
constexpr int32_t kNoRun = INT32_MAX;  // the count of a run past the last, found by no rank

// The slots of a run of Level, as a shift.
size_t RunShift(size_t Level) { return kRunBits * (Level + 1); }

// Each byte of the result holds the set bits of that byte of Bits and of the bytes below it.
uint64_t BytePrefixOnes(uint64_t Bits) {
    Bits -= (Bits >> 1) & 0x5555555555555555u;
    Bits = (Bits & 0x3333333333333333u) + ((Bits >> 2) & 0x3333333333333333u);
    Bits = (Bits + (Bits >> 4)) & 0x0f0f0f0f0f0f0f0fu;
    return Bits * 0x0101010101010101u;
}

size_t Ones(uint64_t Bits) { return static_cast<size_t>(BytePrefixOnes(Bits) >> 56); }

// kSelectInByte[r][b]: the position of the set bit of byte b with r set bits below it.
constexpr auto kSelectInByte = [] {
    std::array<std::array<uint8_t, 256>, 8> table{};
    for (size_t byte = 0; byte < 256; ++byte)
        for (size_t bit = 0, rank = 0; bit < 8; ++bit)
            if ((byte >> bit) & 1) table[rank++][byte] = static_cast<uint8_t>(bit);
    return table;
}();

// The position of the set bit of Bits with Rank set bits below it (Rank below the bits set).
size_t SelectBit(uint64_t Bits, size_t Rank) {
    constexpr uint64_t Low = 0x0101010101010101u, High = 0x8080808080808080u;
    const uint64_t prefix = BytePrefixOnes(Bits);
    // The prefixes rise byte by byte, each below 128: the bytes whose prefix is within Rank are
    // those before the one that holds the bit.
    const uint64_t within = ((Rank * Low | High) - prefix) & High;
    const size_t byte = static_cast<size_t>(((within >> 7) * Low) >> 56);
    Rank -= ((prefix << 8) >> (8 * byte)) & 0xff;
    return 8 * byte + kSelectInByte[Rank][(Bits >> (8 * byte)) & 0xff];
}

}  // namespace

size_t TFilledSlots::RunFilled(size_t Level, size_t Run) const {
    size_t filled = 0;
    for (; Level > 0; --Level) {
        Run = Run * kGroupRuns + kGroupRuns - 1;
        filled += levels_[Level - 1][Run];
    }
    return filled + Ones(bits_[Run]);
}

void TFilledSlots::Push(bool Filled) {
    const size_t slot = size_;
    // The slot opens a run at each level up to the first whose run it falls inside.
    for (size_t k = 0; k < levels_.size() && (slot & ((size_t{1} << RunShift(k)) - 1)) == 0; ++k) {
        std::vector<int32_t>& level = levels_[k];
        const size_t run = slot >> RunShift(k);
        if (run % kGroupRuns == 0) {
            level.resize(level.size() + kGroupRuns, kNoRun);
            level[run] = 0;
        } else {
            level[run] = static_cast<int32_t>(level[run - 1] + RunFilled(k, run - 1));
        }
    }
    if (levels_.back().size() > kGroupRuns) {
        levels_.emplace_back(kGroupRuns, kNoRun);
        levels_.back()[0] = 0;
        levels_.back()[1] = static_cast<int32_t>(filled_);
    }
    if (slot % 64 == 0) bits_.push_back(0);
    bits_.back() |= uint64_t{Filled} << (slot % 64);
    filled_ += Filled;
    ++size_;
}

void TFilledSlots::Pop() {
    const size_t slot = --size_;
    filled_ -= (bits_.back() >> (slot % 64)) & 1;
    bits_.back() &= ~(uint64_t{1} << (slot % 64));
    if (slot % 64 == 0) bits_.pop_back();
    for (size_t k = 0; k < levels_.size() && (slot & ((size_t{1} << RunShift(k)) - 1)) == 0; ++k) {
        std::vector<int32_t>& level = levels_[k];
        const size_t run = slot >> RunShift(k);
        level[run] = kNoRun;
        if (run % kGroupRuns == 0) level.resize(run);
    }
}

void TFilledSlots::Empty(size_t Slot) {
    bits_[Slot / 64] &= ~(uint64_t{1} << (Slot % 64));
    --filled_;
    for (size_t k = 0; k < levels_.size(); ++k) {
        std::vector<int32_t>& level = levels_[k];
        const size_t run = Slot >> RunShift(k), runs = ((size_ - 1) >> RunShift(k)) + 1;
        const size_t end = std::min((run | (kGroupRuns - 1)) + 1, runs);
        for (size_t r = run + 1; r < end; ++r) --level[r];
    }
}

size_t TFilledSlots::Before(size_t Slot) const {
    size_t filled = Ones(bits_[Slot / 64] & ((uint64_t{1} << (Slot % 64)) - 1));
    for (size_t k = 0; k < levels_.size(); ++k) filled += levels_[k][Slot >> RunShift(k)];
    return filled;
}

size_t TFilledSlots::Find(size_t Rank) const {
    // From the top level down, the last run of the group whose count before it is within Rank,
    // by halves among the group's 64 counts (those past the last run are above any rank).
    size_t run = 0;
    for (size_t k = levels_.size(); k-- > 0;) {
        const int32_t* group = levels_[k].data() + run * kGroupRuns;
        const auto rank = static_cast<int32_t>(Rank);
        size_t at = 0;
        for (size_t half = kGroupRuns / 2; half > 0; half /= 2)
            if (group[at + half] <= rank) at += half;
        Rank -= static_cast<size_t>(group[at]);
        run = run * kGroupRuns + at;
    }
    return run * 64 + SelectBit(bits_[run], Rank);
}

void TFilledSlots::FillFrom(size_t From) {
    const size_t size = size_;
    while (size_ > From) Pop();
    while (size_ < size) Push(true);
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
