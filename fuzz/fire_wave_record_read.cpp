// Fire and wave records of save data from arbitrary bytes (the first byte's low bit picks the
// kind, the next the save version, the rest is the record), read into an object on the first
// layer: a read either succeeds, and the object then round-trips, steps, draws and is hit-tested;
// anything else raises one of the engine's own errors. Seed corpus: the records of
// tests/tools/fire_wave_ref.py.
#include "fuzz/harness.h"
#include "objects/vitemex_fire.h"
#include "objects/vitemex_wave.h"

int TestOneInput(const uint8_t* Data, size_t Size) {
    if (Size < 1) return 0;
    fuzz::TWorld world;
    TVelaControl* item = Data[0] & 1 ? static_cast<TVelaControl*>(fuzz::LoadSceneRecord<TVelaWave>(Data + 1, Size - 1))
                                     : fuzz::LoadSceneRecord<TVelaFire>(Data + 1, Size - 1);
    if (!item) return 0;
    for (int i = 0; i < 3; ++i) item->Step();
    Bases->GetBase(0)->InvalidateAll();
    Bases->Prepare();
    for (int32_t y = 0; y < fuzz::MaxSceneExtent; y += 7)
        for (int32_t x = 0; x < fuzz::MaxSceneExtent; x += 7) Bases->GetBase(0)->HitTest({x, y}, 0xFF);
    return 0;
}
