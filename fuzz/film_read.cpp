// Track records from arbitrary bytes: the first byte picks the file version (100 + b mod 12), then
// kind bytes and track headers follow to the end. A header cut short raises the stream's read
// error; the linked parents never loop, so start times and activity answer for every tick tried,
// and every track header written back reads the same.
// Seed corpus: tools/vfilm.py corpus fuzz/corpus/film_read
#include "fuzz/harness.h"
#include "text/frms.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    if (Size == 0) return 0;
    const int32_t version = 100 + Data[0] % 12;
    TMemoryStream stream = fuzz::StreamOf(Data + 1, Size - 1);
    TFilmManager film;
    try {
        while (stream.Position() < stream.Size()) {
            if ((ReadStreamByte(stream) & 0x7F) > 7) break;
            film.Add(std::make_unique<TCustomFrameList>(film)).LoadFromStream(stream, "", version);
        }
    } catch (const EReadError&) {
    }
    film.LinkParents();
    for (int32_t i = 0; i < film.Count(); ++i) {
        const TCustomFrameList& track = *film.GetTrack(i);
        int32_t depth = 0;
        for (const TCustomFrameList* up = track.Parent; up; up = up->Parent) fuzz::Check(++depth <= film.Count());
        const int32_t start = track.StartTime();
        fuzz::Check(track.ActiveAt(start) == (track.Length > 0));
        if (start > INT32_MIN) fuzz::Check(!track.ActiveAt(start - 1));
        fuzz::Check(track.FrameIndexAt(start) == -1);
        TMemoryStream written;
        track.SaveToStream(written, "");
        written.SetPosition(0);
        TCustomFrameList copy(film);
        copy.LoadFromStream(written, "", 107);
        fuzz::Check(copy.Length == track.Length && copy.Start == track.Start && copy.Reserved == track.Reserved &&
                    copy.ParentIndex == track.ParentIndex &&
                    copy.LoopLength == track.LoopLength && copy.SubPriority == track.SubPriority &&
                    copy.FlipH == track.FlipH && copy.FlipV == track.FlipV && copy.OtherLayer == track.OtherLayer);
    }
    return 0;
}
