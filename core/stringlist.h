#pragma once
// An ordered list of strings, each with an integer object value beside it (a disc number, a
// slot number); names are found without regard to case.
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

// The lines of a text split at CR LF, CR or LF; a final line end does not start another line.
std::vector<std::string_view> SplitLines(std::string_view Text);

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
    std::vector<Item> items_;
};
