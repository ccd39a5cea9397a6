// The companion media library, libvela.so. It starts with the player (velaInit keeps the
// player's window cells and stream callbacks) and ends with it (velaFinal). This build has no
// decoder behind it yet: every Add answers 0 (no item) and every item call answers as for an
// item with nothing to play.
//
// Only the entries below leave the library (it is built with hidden visibility); each is
// checked against the entry type the player binds it as.
#include "companion/vela_api.h"

#include <type_traits>

#define VELA_EXPORT extern "C" __attribute__((visibility("default")))
#define VELA_CHECK(name, type) static_assert(std::is_same_v<decltype(&name), type>, #name)

namespace {

// What velaInit received, until velaFinal.
struct TPlayerLink {
    uintptr_t* mainWindow = nullptr;
    uintptr_t* basePanel = nullptr;
    void* module = nullptr;
    void** soundDevice = nullptr;
    VelaStreamGetSizeProc getSize = nullptr;
    VelaStreamReadProc read = nullptr;
    VelaStreamGetPosProc getPos = nullptr;
    VelaStreamSetPosProc setPos = nullptr;
    VelaSaveFpuProc saveFpu = nullptr;
    VelaRestoreFpuProc restoreFpu = nullptr;
    int32_t flag = 0;
    bool oggUsesThread = false;
};
TPlayerLink Player;

}  // namespace

VELA_EXPORT int32_t velaVersion(void) { return VELA_LIBRARY_VERSION; }

VELA_EXPORT void velaInit(uintptr_t* mainWindow, uintptr_t* basePanel, void* module, void** soundDevice,
                          VelaStreamGetSizeProc getSize, VelaStreamReadProc read, VelaStreamGetPosProc getPos,
                          VelaStreamSetPosProc setPos, VelaSaveFpuProc saveFpu, VelaRestoreFpuProc restoreFpu,
                          int32_t flag) {
    Player = {mainWindow, basePanel, module, soundDevice, getSize, read, getPos, setPos, saveFpu, restoreFpu, flag,
              Player.oggUsesThread};
}

VELA_EXPORT void velaFinal(void) { Player = {}; }

VELA_EXPORT void velaOggmanSetUseThread(int32_t useThread) { Player.oggUsesThread = useThread != 0; }

VELA_EXPORT void velaWmpmanProcessEvent(const VelaMessage*) {}
VELA_EXPORT void velaVidmanProcessEvent(const VelaMessage*) {}
VELA_EXPORT void velaVidmanSuspend(void) {}
VELA_EXPORT void velaVidmanResume(void) {}
VELA_EXPORT void velaWmpmanRestore(void) {}
VELA_EXPORT void velaOggmanRestore(void) {}

VELA_CHECK(velaVersion, velaVersionProc);
VELA_CHECK(velaInit, velaInitProc);
VELA_CHECK(velaFinal, velaFinalProc);
VELA_CHECK(velaOggmanSetUseThread, velaOggmanSetUseThreadProc);
VELA_CHECK(velaWmpmanProcessEvent, velaProcessEventProc);
VELA_CHECK(velaVidmanProcessEvent, velaProcessEventProc);
VELA_CHECK(velaVidmanSuspend, velaManagerProc);
VELA_CHECK(velaVidmanResume, velaManagerProc);
VELA_CHECK(velaWmpmanRestore, velaManagerProc);
VELA_CHECK(velaOggmanRestore, velaManagerProc);

// ---- Items: none can be made ----

VELA_EXPORT VelaHandle velaWmpmanAdd(const void*, int32_t) { return 0; }
VELA_EXPORT VelaHandle velaOggmanAdd(void*, int32_t) { return 0; }
VELA_EXPORT VelaHandle velaOggStrmanAdd(void*, int32_t) { return 0; }
VELA_EXPORT VelaHandle velaVidmanAdd(const char*, void*, int32_t) { return 0; }
VELA_CHECK(velaWmpmanAdd, velaAddMemoryProc);
VELA_CHECK(velaOggmanAdd, velaAddStreamProc);
VELA_CHECK(velaOggStrmanAdd, velaAddStreamProc);
VELA_CHECK(velaVidmanAdd, velaAddVideoProc);

#define VELA_ITEM_PROC(name)            \
    VELA_EXPORT void name(VelaHandle) {} \
    VELA_CHECK(name, velaItemProc)
#define VELA_ITEM_GET(name)                          \
    VELA_EXPORT int32_t name(VelaHandle) { return 0; } \
    VELA_CHECK(name, velaItemGetProc)
#define VELA_ITEM_SET(name)                       \
    VELA_EXPORT void name(VelaHandle, int32_t) {} \
    VELA_CHECK(name, velaItemSetProc)

VELA_ITEM_PROC(velaWmpmanDel);
VELA_ITEM_PROC(velaOggmanDel);
VELA_ITEM_PROC(velaOggStrmanDel);
VELA_ITEM_PROC(velaVidmanDel);

// The operations every playing item has, for the Windows Media, Ogg and video families.
#define VELA_ITEM_FAMILY(family)             \
    VELA_ITEM_PROC(vela##family##Play);         \
    VELA_ITEM_PROC(vela##family##Pause);        \
    VELA_ITEM_GET(vela##family##IsPlaying);     \
    VELA_ITEM_GET(vela##family##IsPaused);      \
    VELA_ITEM_GET(vela##family##IsEnd);         \
    VELA_ITEM_GET(vela##family##GetLen);        \
    VELA_ITEM_GET(vela##family##GetPosition);   \
    VELA_ITEM_GET(vela##family##GetVol);        \
    VELA_ITEM_GET(vela##family##GetPan);        \
    VELA_ITEM_GET(vela##family##GetAutoRepeat); \
    VELA_ITEM_SET(vela##family##SetPosition);   \
    VELA_ITEM_SET(vela##family##SetVol);        \
    VELA_ITEM_SET(vela##family##SetPan);        \
    VELA_ITEM_SET(vela##family##SetAutoRepeat)

VELA_ITEM_FAMILY(Wmp);
VELA_ITEM_FAMILY(Ogg);
VELA_ITEM_FAMILY(Video);

VELA_ITEM_GET(velaOggGetRepeatPos);
VELA_ITEM_SET(velaOggSetRepeatPos);

VELA_ITEM_GET(velaVideoGetSourceWidth);
VELA_ITEM_GET(velaVideoGetSourceHeight);
VELA_ITEM_GET(velaVideoGetVisible);
VELA_ITEM_SET(velaVideoSetVisible);
VELA_ITEM_GET(velaVideoNeedPaint);
VELA_EXPORT void velaVideoSetRect(VelaHandle, const VelaRect*, const VelaRect*) {}
VELA_CHECK(velaVideoSetRect, velaVideoSetRectProc);

// The decoder of the player's own mixer.
VELA_EXPORT int32_t velaOggStrGetFormat(VelaHandle, void*) { return 0; }
VELA_EXPORT int64_t velaOggStrGetSize(VelaHandle) { return 0; }
VELA_EXPORT int64_t velaOggStrGetPos(VelaHandle) { return 0; }
VELA_ITEM_GET(velaOggStrGetLen);
VELA_EXPORT int32_t velaOggStrRead(VelaHandle, void*, int32_t) { return 0; }
VELA_EXPORT int64_t velaOggStrSetPos(VelaHandle, int64_t) { return 0; }
VELA_CHECK(velaOggStrGetFormat, velaOggStrGetFormatProc);
VELA_CHECK(velaOggStrGetSize, velaOggStrGetBytesProc);
VELA_CHECK(velaOggStrGetPos, velaOggStrGetBytesProc);
VELA_CHECK(velaOggStrRead, velaOggStrReadProc);
VELA_CHECK(velaOggStrSetPos, velaOggStrSetPosProc);
