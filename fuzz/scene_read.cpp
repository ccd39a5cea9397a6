// Scene records of save data from arbitrary bytes (the first byte picks the save version, the
// rest is the record): a read either succeeds, and the scene then writes out a form that reads
// back and (its names unique) writes the same, and steps and draws; anything else raises one of
// the engine's own errors. Seed corpus: make_script_corpus.py
#include "fuzz/harness.h"

#include <set>

namespace {

// Names are unique in a scene the player writes. A damaged record may repeat one, and children of
// the same name and drawing order have no fixed order among themselves.
bool NamesUnique() {
    std::set<std::string> names;
    for (int i = 0; i < Bases->GetObjectCount(); ++i)
        if (!names.insert(Bases->GetObject(i)->GetName()).second) return false;
    return true;
}

}  // namespace

int TestOneInput(const uint8_t* Data, size_t Size) {
    if (Size < 1) return 0;
    const int32_t version = 100 + Data[0] % (GameSaveVersion - 99);
    fuzz::TWorld world;
    TMemoryStream stream = fuzz::StreamOf(Data + 1, Size - 1);
    try {
        Bases->LoadFromStream(stream, version);
    } catch (const EVelaError&) {
        return 0;
    }
    const bool ordered = NamesUnique();
    const std::string written = fuzz::Written(*Bases);
    TMemoryStream again = fuzz::StreamOf(written.data(), written.size());
    Bases->LoadFromStream(again, GameSaveVersion);
    fuzz::Check(!ordered || fuzz::Written(*Bases) == written);
    try {
        Bases->Step();
        Bases->Prepare();
    } catch (const EVelaError&) {
        // a property motion whose value its property cannot take
    }
    return 0;
}
