// TGA and icon files from arbitrary bytes, each input read both ways: a load either gives a
// surface whose opacity plane (if any) has its size and which writes out as TGA and reads back
// with the same pixels, or raises one of the engine's own errors and leaves the surface empty.
// A TGA declaring more than MaxPixels pixels is not read, and a larger surface (a BMP in an
// icon file) is not written out, so that no input spends its time on a large surface.
// Seed corpus: tests/tools/make_tga_icon_fixtures.py corpus fuzz/corpus/tga_icon_read
#include "fuzz/harness.h"
#include "graphics/dibsfc.h"

namespace {

using fuzz::Check;

constexpr int64_t MaxPixels = 256 * 256;

void CheckSound(const TDIBSurface& S) {
    if (S.Alpha) Check(S.Alpha->Width() == S.Width() && S.Alpha->Height() == S.Height());
    if (S.Empty() || int64_t(S.Width()) * S.Height() > MaxPixels) return;
    TMemoryStream tga, icon;
    S.SaveTGA(tga);
    S.SaveIcon(icon, false);
    tga.SetPosition(0);
    TDIBSurface back;
    back.LoadTGA(tga);
    Check(back.Width() == S.Width() && back.Height() == S.Height());
    if (S.GetBitCountEx() == 15) return;  // written as 5-5-5, read back as 5-6-5
    for (int32_t y = 0; y < S.Height(); ++y)
        for (int32_t x = 0; x < S.Width(); ++x) Check(back.GetPixel(x, y) == S.GetPixel(x, y));
}

template <class F>
void Load(F Read) {
    TDIBSurface surface;
    surface.SetSize(2, 2, 24);
    surface.FillAlpha();
    try {
        Read(surface);
    } catch (const EVelaError&) {
        Check(surface.Empty() && !surface.Alpha);
        return;
    }
    CheckSound(surface);
}

}  // namespace

int TestOneInput(const uint8_t* Data, size_t Size) {
    const bool small = Size < 16 || int64_t(Data[12] | Data[13] << 8) * (Data[14] | Data[15] << 8) <= MaxPixels;
    if (small) {
        TMemoryStream stream = fuzz::StreamOf(Data, Size);
        Load([&](TDIBSurface& S) { S.LoadTGA(stream); });
    }
    TMemoryStream stream = fuzz::StreamOf(Data, Size);
    Load([&](TDIBSurface& S) { S.LoadIcon(stream); });
    return 0;
}
