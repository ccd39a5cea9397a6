// Fire and wave records of save data from arbitrary bytes (the first byte picks the kind and
// the save version, the rest is the record), read into an object on the first layer: a read
// either succeeds, and the object then writes out a form that reads back into a new object and
// writes the same, steps, draws and is hit-tested; anything else raises one of the engine's own
// errors. Seed corpus: the records of tests/tools/fire_wave_ref.py.
#include "fuzz/harness.h"
#include "objects/vitemex_fire.h"
#include "objects/vitemex_wave.h"

namespace {

TVelaControl* Make(bool IsWave) {
    if (IsWave) return new TVelaWave(Bases, false);
    return new TVelaFire(Bases, false);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    if (Size < 1) return 0;
    const bool isWave = Data[0] & 0x80;
    const int32_t version = 100 + (Data[0] & 0x7F) % (GameSaveVersion - 99);
    fuzz::TWorld world;
    TVelaControl* item = Make(isWave);
    item->SetParent(Bases->GetBase(0));
    TMemoryStream stream = fuzz::StreamOf(Data + 1, Size - 1);
    try {
        item->LoadFromStream(stream, version);
    } catch (const EVelaError&) {
        return 0;
    }
    const std::string written = fuzz::Written(*item);
    TMemoryStream again = fuzz::StreamOf(written.data(), written.size());
    TVelaControl* copy = Make(isWave);
    copy->LoadFromStream(again, GameSaveVersion);
    fuzz::Check(fuzz::Written(*copy) == written);
    delete copy;
    for (int i = 0; i < 3; ++i) item->Step();
    Bases->GetBase(0)->InvalidateAll();
    Bases->Prepare();
    for (int32_t y = 0; y < fuzz::MaxSceneExtent; y += 7)
        for (int32_t x = 0; x < fuzz::MaxSceneExtent; x += 7) Bases->GetBase(0)->HitTest({x, y}, 0xFF);
    return 0;
}
