#pragma once
// How a family of built-in functions hands its functions to the dispatcher: each family keeps
// its functions in a file of its own and lists them by their names in the function table; the
// dispatcher looks the names up once when it is made. A new family adds its list below and one
// entry in the dispatcher's list of families.
#include "script/params_funcs.h"

#include <cstddef>
#include <cstdint>
#include <span>

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
// Scene objects: creating one by its type code.
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
