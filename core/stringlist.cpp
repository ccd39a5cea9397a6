#include "core/stringlist.h"

#include "core/sysutils.h"

namespace {

// Calls Line with each line of Text.
template <class Op>
void ForEachLine(std::string_view Text, Op Line) {
    size_t start = 0;
    while (start < Text.size()) {
        size_t end = Text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = Text.size();
        Line(Text.substr(start, end - start));
        start = end + 1;
        if (end + 1 < Text.size() && Text[end] == '\r' && Text[end + 1] == '\n') ++start;
    }
}

}  // namespace

std::vector<std::string_view> SplitLines(std::string_view Text) {
    size_t count = 0;
    ForEachLine(Text, [&count](std::string_view) { ++count; });
    std::vector<std::string_view> lines;
    lines.reserve(count);
    ForEachLine(Text, [&lines](std::string_view Line) { lines.push_back(Line); });
    return lines;
}

void RaiseListIndexError(int64_t Index) {
    throw EListError(Format("List index out of bounds (%lld)", static_cast<long long>(Index)));
}

const TStringList::Item& TStringList::At(int Index) const {
    if (Index < 0 || Index >= Count()) RaiseListIndexError(Index);
    return items_[static_cast<size_t>(Index)];
}

const std::string& TStringList::Strings(int Index) const { return At(Index).S; }

void TStringList::SetString(int Index, const std::string& S) {
    Item& item = At(Index);
    item.S = S;
}

intptr_t TStringList::Objects(int Index) const { return At(Index).Object; }

void TStringList::SetObject(int Index, intptr_t Object) { At(Index).Object = Object; }

int TStringList::AddObject(const std::string& S, intptr_t Object) {
    items_.push_back({S, Object});
    return Count() - 1;
}

void TStringList::Insert(int Index, const std::string& S, intptr_t Object) {
    if (Index < 0 || Index > Count()) RaiseListIndexError(Index);
    items_.insert(items_.begin() + Index, Item{S, Object});
}

void TStringList::Delete(int Index) {
    if (Index < 0 || Index >= Count()) RaiseListIndexError(Index);
    items_.erase(items_.begin() + Index);
}

void TStringList::Clear() {
    items_.clear();
    items_.shrink_to_fit();
}

int TStringList::IndexOf(const std::string& S) const {
    for (int i = 0; i < Count(); ++i)
        if (AnsiSameText(items_[static_cast<size_t>(i)].S, S)) return i;
    return -1;
}
