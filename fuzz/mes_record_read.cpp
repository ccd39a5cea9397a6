// Message window records of save data from arbitrary bytes (the first byte picks the save
// version, the rest is the record), read into a window on the first layer with glyphs from the
// fake font service: a read either succeeds, and the window then writes out a form that reads
// back into a new window and writes the same, restores its pages (or raises one of the engine's
// own errors for page states that do not fit them), reveals, draws and is hit-tested; anything
// else raises one of the engine's own errors. Seed corpus: the records of
// tests/tools/mes_records.py and of windows saved mid-page.
#include "fuzz/harness.h"
#include "objects/vitemex_mes.h"
#include "text/fontpixels.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    if (Size < 1) return 0;
    const int32_t version = 100 + Data[0] % (GameSaveVersion - 99);
    fuzz::TWorld world;
    static TFontPixelManager* fonts = new TFontPixelManager(platform::CreateFakeFontService);
    FontPixelManager = fonts;
    auto* mes = new TVelaMes(Bases, false);
    mes->SetParent(Bases->GetBase(0));
    TMemoryStream stream = fuzz::StreamOf(Data + 1, Size - 1);
    try {
        mes->LoadFromStream(stream, version);
    } catch (const EVelaError&) {
        return 0;
    }
    const std::string written = fuzz::Written(*mes);
    TMemoryStream again = fuzz::StreamOf(written.data(), written.size());
    auto* copy = new TVelaMes(Bases, false);
    copy->LoadFromStream(again, GameSaveVersion);
    fuzz::Check(fuzz::Written(*copy) == written);
    delete copy;
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
