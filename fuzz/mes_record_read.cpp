// Message window records of save data from arbitrary bytes (the first byte picks the save
// version, the rest is the record), read into a window on the first layer with glyphs from the
// fake font service: a read either succeeds, and the window then writes out a form that reads
// back into a new window and writes the same, restores its pages (or raises one of the engine's
// own errors for page states that do not fit them), reveals, draws and is hit-tested; anything
// else raises one of the engine's own errors. Seed corpus: the records of
// tests/tools/mes_records.py and of windows saved mid-page.
#include "fuzz/harness.h"
#include "objects/vitemex_mes.h"

int TestOneInput(const uint8_t* Data, size_t Size) {
    fuzz::TWorld world;
    fuzz::UseFakeFonts();
    auto* mes = fuzz::LoadSceneRecord<TVelaMes>(Data, Size);
    if (!mes) return 0;
    try {
        mes->RestoreAfterLoad();
        for (int i = 0; i < 4; ++i) mes->Step();
        Bases->GetBase(0)->InvalidateAll();
        Bases->Prepare();
    } catch (const EVelaError&) {
        return 0;
    }
    for (int32_t y = 0; y < fuzz::MaxSceneExtent; y += 7)
        for (int32_t x = 0; x < fuzz::MaxSceneExtent; x += 7) Bases->GetBase(0)->HitTest({x, y}, 0xFF);
    return 0;
}
