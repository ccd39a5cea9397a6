// Films of particle and fire tracks from arbitrary bytes, read whole: a film either reads, and
// is then written, read back and written again to the same bytes and played in a small root at
// the ticks around each track's start and end; or the read raises one of the engine's own errors.
// Seed corpus: films of particle and fire tracks written by tools/vfilm.py.
#include "fuzz/harness.h"
#include "text/frms.h"

#include <algorithm>

namespace {

constexpr const char* FilmName = "C:\\F\\A.VMT";

std::string Written(const TFilmManager& Film) {
    TMemoryStream stream;
    Film.SaveToStream(stream, FilmName);
    return fuzz::BytesOf(stream);
}

}  // namespace

int TestOneInput(const uint8_t* Data, size_t Size) {
    fuzz::TWorld world;
    TFilmManager film;
    film.NoActivation = true;
    film.SetTarget(Bases);
    TMemoryStream stream = fuzz::StreamOf(Data, Size);
    try {
        film.LoadFromStream(stream, FilmName);
    } catch (const EVelaError&) {
        return 0;
    }
    const std::string written = Written(film);
    TFilmManager again;
    again.NoActivation = true;
    TMemoryStream in = fuzz::StreamOf(written.data(), written.size());
    again.LoadFromStream(in, FilmName);
    fuzz::Check(Written(again) == written);
    for (int32_t i = 0; i < film.Count() && i < 16; ++i) {
        const TCustomFrameList& track = *film.GetTrack(i);
        const int32_t start = track.StartTime();
        const int32_t last = static_cast<int32_t>(uint32_t(start) + uint32_t(track.Length) - 1u);
        for (int32_t t : {start, last, static_cast<int32_t>(uint32_t(last) + 1u)}) {
            try {
                film.SetTime(t);
            } catch (const EVelaError&) {  // a value an object refuses (a fire field too large)
            }
            // Long warm-ups are bounded by the emitter; the harness keeps its runs short.
            for (int32_t k = 0; k < Bases->GetObjectCount(); ++k)
                if (TVelaObject* obj = Bases->GetObject(k); obj->GetCompoType() == LT_PARTICLE)
                    obj->SetIndex(std::min(obj->GetIndex(), 500));
            Bases->Step();
        }
    }
    Bases->GetBase(0)->InvalidateAll();
    Bases->Prepare();
    return 0;
}
