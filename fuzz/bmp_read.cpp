// BMP files from arbitrary bytes: a load either gives a bitmap whose pixels can be read and which
// writes out and reads back the same, or raises one of the engine's own errors and leaves the
// bitmap as it was. The harness reads a grid of at most 64 x 64 pixels, spread over the whole
// bitmap, so that a small file declaring a large bitmap costs only the reader's own time.
// Seed corpus: tests/tools/make_bmp_fixtures.py corpus fuzz/corpus/bmp_read
#include "fuzz/harness.h"
#include "graphics/dib.h"

#include <algorithm>

namespace {

using fuzz::Check;

constexpr int SampledPerSide = 64;

// The sum of the pixels of the grid.
uint32_t SampleSum(const TDIB& Dib) {
    const int stepX = std::max(1, Dib.Width() / SampledPerSide), stepY = std::max(1, Dib.Height() / SampledPerSide);
    uint32_t sum = 0;
    for (int y = 0; y < Dib.Height(); y += stepY)
        for (int x = 0; x < Dib.Width(); x += stepX) sum += Dib.GetPixel(x, y);
    return sum;
}

}  // namespace

int TestOneInput(const uint8_t* Data, size_t Size) {
    TMemoryStream stream = fuzz::StreamOf(Data, Size);
    TDIB dib;
    dib.SetSize(1, 1, 8);
    try {
        dib.LoadFromStream(stream);
    } catch (const EVelaError&) {
        Check(dib.Width() == 1 && dib.Height() == 1);
        return 0;
    }
    TMemoryStream written;
    dib.SaveToStream(written);
    written.SetPosition(0);
    TDIB back;
    back.LoadFromStream(written);
    Check(back.Width() == dib.Width() && back.Height() == dib.Height() && SampleSum(back) == SampleSum(dib));
    return 0;
}
