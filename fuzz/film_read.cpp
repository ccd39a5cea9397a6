// Films from arbitrary bytes, as a ".vmt" file of any version. A film that cannot be read raises a
// film or stream error and is left empty; one that reads has parents that never loop, writes back
// in the newest form, and that form reads back and writes the same bytes again. Its clock then
// runs forward and back over a few ticks with no root to show them.
// Seed corpus: tools/vfilm.py corpus fuzz/corpus/film_read
#include "fuzz/harness.h"
#include "text/frms.h"

namespace {
const std::string FilmName = "C:\\GAME\\FILMS\\A.VMT";

std::string Saved(const TFilmManager& Film) {
    TMemoryStream stream;
    Film.SaveToStream(stream, FilmName);
    return fuzz::BytesOf(stream);
}
}  // namespace

int TestOneInput(const uint8_t* Data, size_t Size) {
    TMemoryStream stream = fuzz::StreamOf(Data, Size);
    TFilmManager film;
    try {
        film.LoadFromStream(stream, FilmName);
    } catch (const EVelaError&) {
        fuzz::Check(film.Count() == 0 && film.GetLength() == 0);
        return 0;
    }
    for (int32_t i = 0; i < film.Count(); ++i) {
        int32_t depth = 0;
        for (const TCustomFrameList* up = film.GetTrack(i)->Parent; up; up = up->Parent)
            fuzz::Check(++depth <= film.Count());
    }
    const std::string written = Saved(film);
    TMemoryStream again = fuzz::StreamOf(written.data(), written.size());
    TFilmManager copy;
    copy.LoadFromStream(again, FilmName);
    fuzz::Check(copy.Count() == film.Count() && copy.GetLength() == film.GetLength());
    fuzz::Check(Saved(copy) == written);
    const int32_t length = film.GetLength();
    for (int32_t t : {0, 1, length / 2, length - 1, length, 0}) film.SetTime(t);
    return 0;
}
