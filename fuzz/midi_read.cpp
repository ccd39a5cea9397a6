// Standard MIDI Files from arbitrary bytes: a load never raises and gives a model within the
// input's bounds: events sorted by tick and reading order with times that never go back, the
// beat list within its limit, the length the last event's time.
// Seed corpus: tests/tools/midi_ref.py write fuzz/corpus/midi_read, two damaged files (long ticks,
// a truncated track) and what pick_corpus.py took from a fuzzing run.
#include "fuzz/harness.h"
#include "media/midiv.h"

int TestOneInput(const uint8_t* Data, size_t Size) {
    TMemoryStream stream = fuzz::StreamOf(Data, Size);
    TMidiV midi;
    midi.LoadFromStream(stream);
    fuzz::Check(midi.Tracks.size() <= Size / 4 && midi.Events.size() <= Size / 2);
    fuzz::Check(midi.Beats.size() <= TMidiV::MaxBeats && !midi.Rhythms.empty());
    for (size_t i = 0; i < midi.Events.size(); ++i) {
        const TMidiMsgEvent& e = midi.Events[i];
        fuzz::Check(!e.Data.empty() && e.Position >= 0 && e.Position <= midi.LastTick && e.Time >= 0);
        if (i > 0) {
            const TMidiMsgEvent& before = midi.Events[i - 1];
            fuzz::Check(before.Position < e.Position || (before.Position == e.Position && before.Order < e.Order));
            fuzz::Check(before.Time <= e.Time);
        }
    }
    fuzz::Check(midi.LengthMs == (midi.Events.empty() ? 0 : midi.Events.back().Time));
    return 0;
}
