#pragma once
// The built-in functions that script expressions call by number, and their one dispatcher.
#include "script/params_vars.h"

#include <cstdint>
#include <span>

// The arguments of one call, in the order written: literals, temporaries, or references
// resolved to their variables (reading one reads the variable's current value).
using TSysFuncArgs = std::span<TCustomParam* const>;

class TSysFuncMan {
public:
    // Runs function Index with Args and stores its result into Dest through Dest's typed
    // setters. An argument count outside the function's bounds (possible only in a stored
    // expression not made by our compiler) raises the compiler's own message. An index above
    // the table does nothing.
    void CallFunction(TParamCollectionItem& Dest, uint8_t Index, TSysFuncArgs Args);
};

// The one dispatcher, made after ParamMan and freed before it.
extern TSysFuncMan* SysFuncMan;
void CreateSysFuncMan();
void FreeSysFuncMan();
