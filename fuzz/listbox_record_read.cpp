// List box records of save data from arbitrary bytes (the first byte picks the save version, the
// rest is the record), read into a list box on the first layer with glyphs from the fake font
// service: a read either succeeds, and the list then writes out a form that reads back and writes
// the same, steps, draws and is hit-tested; anything else raises one of the engine's own errors.
// Seed corpus: make_record_corpus.py, from the records of tests/tools/menu_records.py list.
#include "fuzz/harness.h"
#include "objects/vitemex_listbox.h"

int TestOneInput(const uint8_t* Data, size_t Size) {
    fuzz::TWorld world;
    fuzz::UseFakeFonts();
    if (fuzz::LoadSceneRecord<TVelaCustomListBox>(Data, Size)) fuzz::StepDrawAndHitTest();
    return 0;
}
