// Install sets ("install.dat") from arbitrary bytes: a read either succeeds, and the set then
// writes out and reads back the same, or raises one of the engine's own errors and leaves the
// set unchanged. Seed corpus: make_script_corpus.py
#include "fuzz/harness.h"

#include "core/installset.h"

int TestOneInput(const uint8_t* Data, size_t Size) {
    TMemoryStream stream = fuzz::StreamOf(Data, Size);
    TVelaInstallSet set;
    set.SetId = "unchanged";
    const std::string before = fuzz::Written(set);
    try {
        set.LoadFromStream(stream);
    } catch (const EVelaError&) {
        fuzz::Check(fuzz::Written(set) == before);
        return 0;
    }
    const std::string written = fuzz::Written(set);
    TMemoryStream again = fuzz::StreamOf(written.data(), written.size());
    TVelaInstallSet back;
    back.LoadFromStream(again);
    fuzz::Check(fuzz::Written(back) == written);
    return 0;
}
