// Preview-menu records of save data from arbitrary bytes (the first byte picks the save version,
// the rest is the record), read into a preview menu on the first layer: a read either succeeds,
// and the menu then writes out a form that reads back and writes the same, steps, draws and is
// hit-tested; anything else raises one of the engine's own errors. Seed corpus:
// make_record_corpus.py, from the records of tests/tools/prevmenu_records.py.
#include "fuzz/harness.h"
#include "objects/vitemex_prevmenu.h"

int TestOneInput(const uint8_t* Data, size_t Size) {
    fuzz::TWorld world;
    if (fuzz::LoadSceneRecord<TVelaPrevMenu>(Data, Size)) fuzz::StepDrawAndHitTest();
    return 0;
}
