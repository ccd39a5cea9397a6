// Slider and scrollbar records of save data from arbitrary bytes (the first byte's low bit picks
// the kind, the next the save version, the rest is the record), read into a control on the first
// layer: a read either succeeds, and the control then writes out a form that reads back and
// writes the same, steps, draws and is hit-tested; anything else raises one of the engine's own
// errors. Seed corpus: make_record_corpus.py, from the records of tests/tools/control_records.py.
#include "fuzz/harness.h"
#include "objects/vitemex_slider.h"

int TestOneInput(const uint8_t* Data, size_t Size) {
    if (Size < 1) return 0;
    fuzz::TWorld world;
    const bool read = Data[0] & 1 ? fuzz::LoadSceneRecord<TVelaScrollbar>(Data + 1, Size - 1) != nullptr
                                  : fuzz::LoadSceneRecord<TVelaSlider>(Data + 1, Size - 1) != nullptr;
    if (read) fuzz::StepDrawAndHitTest();
    return 0;
}
