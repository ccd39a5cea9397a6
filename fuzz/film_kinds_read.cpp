// Image, label, box and tile track records from arbitrary bytes: the first byte picks the file
// version (100 + b mod 12), then kind bytes (0 image, 1 label, 2 box, 5 tile, their top bit
// ignored; any other byte picks by its low two bits, 3 a tile) and records follow to the end. A
// record cut short raises the stream's read error; every track read is written in the newest
// layout, read back and written again to the same bytes, and the film is applied in a small root
// at the ticks around each track's start and end (a value an object refuses raises one of the
// engine's own errors).
// Seed corpus: a version byte, then records written by tools/vfilm.py tracks; and inputs a
// fuzzing run found, picked by pick_corpus.py.
#include "fuzz/harness.h"
#include "text/frms_boxes.h"

namespace {

std::unique_ptr<TCustomFrameList> NewTrack(TFilmManager& Film, uint8_t Kind) {
    switch ((Kind & 0x7F) == FK_TILE ? FK_TILE : Kind & 3) {
    case FK_IMAGE: return std::make_unique<TImageFrameList>(Film);
    case FK_LABEL: return std::make_unique<TLabelFrameList>(Film);
    case FK_BOX: return std::make_unique<TBoxFrameList>(Film);
    default: return std::make_unique<TTileFrameList>(Film);
    }
}

std::string Written(const TCustomFrameList& Track) {
    TMemoryStream stream;
    Track.SaveToStream(stream, "C:\\F\\");
    return fuzz::BytesOf(stream);
}

}  // namespace

int TestOneInput(const uint8_t* Data, size_t Size) {
    if (Size == 0) return 0;
    fuzz::TWorld world;
    const int32_t version = 100 + Data[0] % 12;
    TMemoryStream stream = fuzz::StreamOf(Data + 1, Size - 1);
    TFilmManager film;
    film.SetTarget(Bases);
    try {
        while (stream.Position() < stream.Size()) {
            const uint8_t kind = ReadStreamByte(stream);
            film.Add(NewTrack(film, kind)).LoadFromStream(stream, "C:\\F\\", version);
        }
    } catch (const EReadError&) {
    }
    for (int32_t i = 0; i < film.Count(); ++i) {
        const TCustomFrameList& track = *film.GetTrack(i);
        const std::string written = Written(track);
        TMemoryStream again = fuzz::StreamOf(written.data(), written.size());
        TFilmManager other;
        TCustomFrameList& copy = other.Add(NewTrack(other, track.GetKind()));
        copy.LoadFromStream(again, "C:\\F\\", 111);
        fuzz::Check(again.Position() == again.Size() && Written(copy) == written);
    }
    film.LinkParents();
    for (int32_t i = 0; i < film.Count(); ++i) {
        const TCustomFrameList& track = *film.GetTrack(i);
        const int32_t start = track.StartTime();
        const int32_t last = static_cast<int32_t>(uint32_t(start) + uint32_t(track.Length) - 1u);
        for (int32_t t : {start, static_cast<int32_t>(uint32_t(start) + 1u), last}) try {
                for (int32_t j = 0; j < film.Count(); ++j) film.GetTrack(j)->ApplyAt(t);
            } catch (const EVelaError&) {  // a value the object refuses (a text too large to draw)
            }
    }
    Bases->GetBase(0)->InvalidateAll();
    Bases->Prepare();
    return 0;
}
