// BMP files from arbitrary bytes: a load either gives a bitmap whose every pixel can be read and
// which writes out and reads back the same, or raises one of the engine's own errors and leaves
// the bitmap as it was. Seed corpus: tests/tools/make_bmp_fixtures.py corpus fuzz/corpus/bmp_read
#include "graphics/dib.h"

#include <cstdint>
#include <cstdlib>

namespace {

void Check(bool Condition) {
    if (!Condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    TMemoryStream stream;
    stream.WriteBuffer(Data, static_cast<int64_t>(Size));
    stream.SetPosition(0);
    TDIB dib;
    dib.SetSize(1, 1, 8);
    try {
        dib.LoadFromStream(stream);
    } catch (const EVelaError&) {
        Check(dib.Width() == 1 && dib.Height() == 1);
        return 0;
    }
    uint32_t sum = 0;
    for (int y = 0; y < dib.Height(); ++y)
        for (int x = 0; x < dib.Width(); ++x) sum += dib.GetPixel(x, y);
    TMemoryStream written;
    dib.SaveToStream(written);
    written.SetPosition(0);
    TDIB back;
    back.LoadFromStream(written);
    uint32_t backSum = 0;
    for (int y = 0; y < back.Height(); ++y)
        for (int x = 0; x < back.Width(); ++x) backSum += back.GetPixel(x, y);
    Check(back.Width() == dib.Width() && back.Height() == dib.Height() && backSum == sum);
    return 0;
}
