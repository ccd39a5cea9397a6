// Page files from arbitrary bytes, read through the file manager as the runner reads them: a
// page either loads or raises one of the engine's own errors and is left without commands.
// Seed corpus: make_script_corpus.py
#include "fuzz/harness.h"

int TestOneInput(const uint8_t* Data, size_t Size) {
    fuzz::TWorld world;
    world.AddFile("p.vsb", Data, Size);
    TPage page;
    try {
        page.LoadFromFile("p.vsb");
    } catch (const EVelaError&) {
        fuzz::Check(page.Commands.Count() == 0);
    }
    return 0;
}
