// Event queues of save data from arbitrary bytes (the first byte picks the save version, the
// rest is the queue's record), read into a root holding the objects "a" and "b": a read either
// succeeds, and the queue then writes out a form that reads back and writes the same, or raises
// one of the engine's own errors. Seed corpus: make_script_corpus.py
#include "fuzz/harness.h"

int TestOneInput(const uint8_t* Data, size_t Size) {
    if (Size < 1) return 0;
    const int32_t version = 100 + Data[0] % (GameSaveVersion - 99);
    fuzz::TWorld world;
    for (const char* name : {"a", "b"}) Bases->CreateObject(LT_TIMER)->SetName(name);
    TTimerList& events = Bases->GetEvents();
    TMemoryStream stream = fuzz::StreamOf(Data + 1, Size - 1);
    try {
        events.LoadFromStream(stream, version);
    } catch (const EVelaError&) {
        return 0;
    }
    const std::string written = fuzz::Written(events);
    TMemoryStream again = fuzz::StreamOf(written.data(), written.size());
    events.LoadFromStream(again, GameSaveVersion);
    fuzz::Check(fuzz::Written(events) == written);
    while (TTimerData* pending = ScriptObjects().FirstPending()) pending->Level = 1;
    ScriptObjects().ClearTaken();
    fuzz::Check(events.Count() == 0);
    return 0;
}
