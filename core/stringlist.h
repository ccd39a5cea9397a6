#pragma once
// An ordered list of strings, each with an integer object value beside it (a disc number, a
// slot number); names are found without regard to case.
#include "core/membudget.h"
#include "platform/errors.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// An index outside a list.
class EListError : public EVelaError {
public:
    using EVelaError::EVelaError;
};
[[noreturn]] void RaiseListIndexError(int64_t Index);

// The bytes a string (of Length characters) holds outside itself once its characters no longer
// fit in its own small buffer: the characters and terminator, rounded up to the allocator's
// 16-byte steps, and the allocator's header.
inline int64_t HeapBytes(size_t Length) {
    constexpr size_t kSmallString = 15;  // the characters a string keeps inside itself
    constexpr int64_t kStep = 16, kHeader = 16;
    return Length > kSmallString ? (static_cast<int64_t>(Length) + kStep) / kStep * kStep + kHeader : 0;
}
inline int64_t HeapBytes(const std::string& S) { return HeapBytes(S.size()); }

// The lines of a text split at CR LF, CR or LF; a final line end does not start another line.
// EMemoryBudget, before the list is made, when the title's memory has no room for it.
std::vector<std::string_view> SplitLines(std::string_view Text);

// Each line is charged to the title's memory budget as it is stored (EMemoryBudget, the list
// unchanged, when it does not fit).
class TStringList {
public:
    virtual ~TStringList() = default;

    int Count() const { return static_cast<int>(items_.size()); }
    const std::string& Strings(int Index) const;
    void SetString(int Index, const std::string& S);
    intptr_t Objects(int Index) const;
    void SetObject(int Index, intptr_t Object);

    int Add(const std::string& S) { return AddObject(S, 0); }
    int AddObject(const std::string& S, intptr_t Object);
    void Insert(int Index, const std::string& S, intptr_t Object = 0);
    void Delete(int Index);
    virtual void Clear();
    // First index of S compared without regard to case, -1 when absent.
    int IndexOf(const std::string& S) const;

private:
    struct Item {
        std::string S;
        intptr_t Object;
    };
    const Item& At(int Index) const;
    Item& At(int Index) { return const_cast<Item&>(std::as_const(*this).At(Index)); }
    // The charge grown by Bytes (less than 0 gives back), before what it stands for is made.
    void Charge(int64_t Bytes) { charge_.Resize(charge_.Bytes() + Bytes); }
    static int64_t ItemBytes(const std::string& S) { return static_cast<int64_t>(sizeof(Item)) + HeapBytes(S); }

    TMemoryCharge charge_;  // before the items, so that a copy is charged before it is made
    std::vector<Item> items_;
};
