// Text label records of save data from arbitrary bytes (the first byte picks the save version,
// the rest is the record), read into a label on the first layer with glyphs from the fake font
// service: a read either succeeds, and the label then writes out a form that reads back into a
// new label and writes the same, and draws and is hit-tested; anything else raises one of the
// engine's own errors. Seed corpus: the records of tests/tools/label_records.py.
#include "fuzz/harness.h"
#include "objects/vitemex_label.h"

int TestOneInput(const uint8_t* Data, size_t Size) {
    fuzz::TWorld world;
    fuzz::UseFakeFonts();
    auto* label = fuzz::LoadSceneRecord<TVelaLabel>(Data, Size);
    if (!label) return 0;
    Bases->GetBase(0)->InvalidateAll();
    Bases->Prepare();
    for (int32_t y = 0; y < fuzz::MaxSceneExtent; y += 7)
        for (int32_t x = 0; x < fuzz::MaxSceneExtent; x += 7) Bases->GetBase(0)->HitTest({x, y}, 0xFF);
    return 0;
}
