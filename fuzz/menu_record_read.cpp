// Selection-menu records of save data from arbitrary bytes (the first byte picks the save version,
// the rest is the record), read into a menu on the first layer with glyphs from the fake font
// service: a read either succeeds, and the menu then writes out a form that reads back into a new
// menu and writes the same, steps through its opening or closing, draws and is hit-tested;
// anything else raises one of the engine's own errors. Seed corpus: tests/tools/menu_records.py.
#include "fuzz/harness.h"
#include "objects/vitemex_menu.h"

int TestOneInput(const uint8_t* Data, size_t Size) {
    fuzz::TWorld world;
    fuzz::UseFakeFonts();
    auto* menu = fuzz::LoadSceneRecord<TVelaMenu>(Data, Size);
    if (!menu) return 0;
    for (int i = 0; i < 4; ++i) Bases->Step();
    Bases->GetBase(0)->InvalidateAll();
    Bases->Prepare();
    for (int32_t y = 0; y < fuzz::MaxSceneExtent; y += 7)
        for (int32_t x = 0; x < fuzz::MaxSceneExtent; x += 7) Bases->GetBase(0)->HitTest({x, y}, 0xFF);
    return 0;
}
