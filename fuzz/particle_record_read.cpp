// Particle emitter records of save data from arbitrary bytes (the first byte picks the save
// version, the rest is the record), read into an emitter on the first layer: a read either
// succeeds, and the emitter then round-trips, runs a short warm-up and a few ticks of particles,
// draws and is hit-tested; anything else raises one of the engine's own errors. Seed corpus:
// tests/tools/particle_ref.py corpus.
#include "fuzz/harness.h"
#include "objects/vitemex_particle.h"

#include <algorithm>

int TestOneInput(const uint8_t* Data, size_t Size) {
    fuzz::TWorld world;
    TVelaParticle* emitter = fuzz::LoadSceneRecord<TVelaParticle>(Data, Size);
    if (!emitter) return 0;
    // Long warm-ups are bounded by the emitter; the harness keeps its runs short.
    emitter->SetIndex(std::clamp(emitter->GetIndex(), -1000, 1000));
    for (int i = 0; i < 4; ++i) Bases->Step();
    Bases->GetBase(0)->InvalidateAll();
    Bases->Prepare();
    for (int32_t y = 0; y < fuzz::MaxSceneExtent; y += 7)
        for (int32_t x = 0; x < fuzz::MaxSceneExtent; x += 7) Bases->GetBase(0)->HitTest({x, y}, 0xFF);
    return 0;
}
