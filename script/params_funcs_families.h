#pragma once
// How a family of built-in functions hands its functions to the dispatcher: each family keeps
// its functions in a file of its own and lists them by their names in the function table; the
// dispatcher looks the names up once when it is made. A new family adds its list below and one
// entry in the dispatcher's list of families.
#include "core/stringlist.h"
#include "script/params_funcs.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

struct TSysFuncEntry {
    const char* Name;  // as in SysFuncNames
    TSysFunc Func;
};

// Strings: formatting numbers as text, byte and character positions, comparison, case.
std::span<const TSysFuncEntry> StrSysFuncs();
// Numbers: integer and real arithmetic, trigonometry, the shared random generator, negation.
std::span<const TSysFuncEntry> NumSysFuncs();
// Dates and times: date-time values built from their parts and taken apart, weekday names.
std::span<const TSysFuncEntry> DateSysFuncs();
// Variables: arrays reshaped, searched, sorted and converted; variables by name, the variable
// stack, call frames, statements run from text; number and character conversions.
std::span<const TSysFuncEntry> VarSysFuncs();
// Data tables: tables, fields, rows and cells of the table manager, selection by keys,
// tab-separated import.
std::span<const TSysFuncEntry> DBSysFuncs();
// Scene objects reached by name, their entries and coordinates, creation and deletion; display
// modes, a save slot's caption, history lengths and the input-method state.
std::span<const TSysFuncEntry> ObjectSysFuncs();
// Files and paths: content files tested and read, Windows paths taken apart.
std::span<const TSysFuncEntry> FileSysFuncs();
// The system: the desktop, dialogs, screenshots, memory files, extracted files, save slots.
std::span<const TSysFuncEntry> SystemSysFuncs();

// Optional argument I read as an integer or a flag, Default when the call gave fewer arguments.
inline int32_t OptionalInt(TSysFuncArgs Args, size_t I, int32_t Default) {
    return I < Args.size() ? Args[I]->AsInt() : Default;
}
inline bool OptionalBool(TSysFuncArgs Args, size_t I, bool Default) {
    return I < Args.size() ? Args[I]->AsBool() : Default;
}

// Var becomes a one-dimensional array of Count elements, SetAt(i) storing element i; with none
// it keeps one empty element (an array never has 0).
template <class TSetter>
void SetList(TCustomParam& Var, int32_t Count, TSetter SetAt) {
    Var.SetDims({Count > 0 ? Count : 1});
    if (Count == 0) Var.SetStrAt(0, {});
    for (int32_t i = 0; i < Count; ++i) SetAt(i);
}

// S without the bytes of value 32 or less at either end.
inline std::string_view TrimBlanks(std::string_view S) {
    const auto blank = [](char c) { return static_cast<uint8_t>(c) <= ' '; };
    while (!S.empty() && blank(S.front())) S.remove_prefix(1);
    while (!S.empty() && blank(S.back())) S.remove_suffix(1);
    return S;
}

// The lines of a text file's bytes: the text ends at its first NUL.
inline std::vector<std::string_view> TextFileLines(std::string_view Bytes) {
    return SplitLines(Bytes.substr(0, Bytes.find('\0')));
}
