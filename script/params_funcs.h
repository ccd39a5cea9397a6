#pragma once
// The built-in functions that script expressions call by number, and their one dispatcher.
#include "script/params_vars.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace platform {
class Display;
}

// The arguments of one call, in the order written: literals, temporaries, or references
// resolved to their variables (reading one reads the variable's current value).
using TSysFuncArgs = std::span<TCustomParam* const>;

// One built-in function: reads its arguments (as many as the call gave, within the function's
// bounds) and stores its result, if it has one, into Dest.
using TSysFunc = void (*)(TParamCollectionItem& Dest, TSysFuncArgs Args);

class TSysFuncMan {
public:
    // Gathers the functions of every family into the table by their numbers.
    TSysFuncMan();

    // Runs function Index with Args and stores its result into Dest through Dest's typed
    // setters. An argument count outside the function's bounds (possible only in a stored
    // expression not made by our compiler) raises the compiler's own message. An index above
    // the table does nothing.
    void CallFunction(TParamCollectionItem& Dest, uint8_t Index, TSysFuncArgs Args);

private:
    // By function number; the constructor makes sure every number has its function.
    std::array<TSysFunc, SysFuncCount> funcs_{};
};

// The one dispatcher, made after ParamMan and freed before it.
extern TSysFuncMan* SysFuncMan;
void CreateSysFuncMan();
void FreeSysFuncMan();

// The folder dialog of SelectDirectory and ExtractFile over the display Owner: the program path
// of the folder chosen, nothing when cancelled. The shell sets its folder-browse dialog at
// start-up; while none is set, the display's folder dialog opens on the desktop.
using TFolderDialog = std::optional<std::string> (*)(platform::Display& Owner);
extern TFolderDialog FolderDialog;
