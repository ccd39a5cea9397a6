// Timer records of save data from arbitrary bytes (the first byte picks the save version, the rest
// is the record), read into a timer of the first layer: a read either succeeds, and the timer then
// writes out a form that reads back and writes the same and steps with the scene; anything else
// raises one of the engine's own errors. Seed corpus: make_record_corpus.py, from the records of
// tests/tools/scene_records.py timer.
#include "fuzz/harness.h"
#include "objects/vitems_kinds.h"

int TestOneInput(const uint8_t* Data, size_t Size) {
    fuzz::TWorld world;
    if (fuzz::LoadSceneRecord<TVelaTimer>(Data, Size)) fuzz::StepDrawAndHitTest();
    return 0;
}
