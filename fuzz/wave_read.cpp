// RIFF WAVE files from arbitrary bytes: a load either gives a sound no larger than the input
// that writes out and reads back the same, or raises one of the engine's own errors.
// Seed corpus: tests/tools/make_wave_fixtures.py tests/data/wave fuzz/corpus/wave_read
#include "fuzz/harness.h"
#include "media/wave.h"

#include <algorithm>

int TestOneInput(const uint8_t* Data, size_t Size) {
    TMemoryStream stream = fuzz::StreamOf(Data, Size);
    TWave wave;
    try {
        wave.LoadFromStream(stream);
    } catch (const EVelaError&) {
        fuzz::Check(wave.Size() == 0);
        return 0;
    }
    fuzz::Check(wave.Size() + int64_t(wave.Format.size()) <= int64_t(Size));
    TMemoryStream written;
    wave.SaveToStream(written);
    written.SetPosition(0);
    TWave back;
    back.LoadFromStream(written);
    fuzz::Check(back.Size() == wave.Size() && back.Format == wave.Format &&
                std::equal(back.Data(), back.Data() + back.Size(), wave.Data()));
    return 0;
}
