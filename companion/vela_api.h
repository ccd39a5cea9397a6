#pragma once
// The boundary between the player and its companion media library, libvela.so: the entries
// the player looks up by name and the stream callbacks the player hands to velaInit. Plain C
// types only; both sides include this header.
//
// Booleans passed to the library are -1 (true) and 0; a boolean the library returns is true
// when it is not 0. Item handles are opaque values the library made. Sizes and positions of
// streams are 64-bit so that archives beyond 2 GiB stream whole.
#include <cstdint>

extern "C" {

// The player's streams, seen from the library only through these; each call runs under the
// player's one lock for them. A null stream answers 0 and does nothing.
typedef int64_t (*VelaStreamGetSizeProc)(void* stream);
typedef int32_t (*VelaStreamReadProc)(void* stream, void* buffer, int32_t count);
typedef int64_t (*VelaStreamGetPosProc)(void* stream);
typedef int64_t (*VelaStreamSetPosProc)(void* stream, int64_t position);
// Keep and give back the floating-point control word around the library's own work.
typedef uint16_t (*VelaSaveFpuProc)(void);
typedef void (*VelaRestoreFpuProc)(void);

// The version the player requires.
#define VELA_LIBRARY_VERSION 108

typedef int32_t (*velaVersionProc)(void);
// The cells hold the main window's and the base panel's handles; the module and sound cells
// are the player's; the flag is always 0.
typedef void (*velaInitProc)(uintptr_t* mainWindow, uintptr_t* basePanel, void* module, void** soundDevice,
                             VelaStreamGetSizeProc getSize, VelaStreamReadProc read, VelaStreamGetPosProc getPos,
                             VelaStreamSetPosProc setPos, VelaSaveFpuProc saveFpu, VelaRestoreFpuProc restoreFpu,
                             int32_t flag);
typedef void (*velaFinalProc)(void);
typedef void (*velaOggmanSetUseThreadProc)(int32_t useThread);
// A window message for the library: window handle, message, wParam, lParam.
struct VelaMessage {
    uintptr_t window;
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
};
typedef void (*velaProcessEventProc)(const VelaMessage* message);
typedef void (*velaManagerProc)(void);  // velaVidmanSuspend, velaVidmanResume, velaWmpmanRestore, velaOggmanRestore

// The optional trace library, libvelalog.so.
typedef void (*VelaLogInitProc)(const char* fileName);
typedef void (*VelaLogWriteProc)(const char* text);
typedef void (*VelaLogFinalProc)(void);
}
