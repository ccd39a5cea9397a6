// PNG files from arbitrary bytes: the header chunks are read first, and an image of at most
// MaxPixels pixels is then decoded into a bitmap and an alpha bitmap (with the reader's options on
// for every other input). A decode either gives bitmaps of the header's size, the alpha bitmap
// only when the image has alpha, or raises one of the engine's own errors.
// Seed corpus: tests/tools/make_png_fixtures.py corpus fuzz/corpus/png_read
#include "fuzz/harness.h"
#include "graphics/pngpics.h"

namespace {

using fuzz::Check;

constexpr uint64_t MaxPixels = 512 * 512;

}  // namespace

int TestOneInput(const uint8_t* Data, size_t Size) {
    TMemoryStream stream = fuzz::StreamOf(Data, Size);
    TPngReadStream header;
    try {
        header.LoadStream(nullptr, nullptr, stream);
    } catch (const EVelaError&) {
        return 0;
    }
    if (uint64_t(header.Width()) * header.Height() > MaxPixels) return 0;
    stream.SetPosition(0);
    TPngReadStream reader;
    reader.AllowPalettedGreyAlpha = reader.Allow15And16Bit = Size % 2;
    TDIB bitmap, alpha;
    try {
        reader.LoadStream(&bitmap, &alpha, stream);
    } catch (const EVelaError&) {
        return 0;
    }
    Check(stream.Position() <= int64_t(Size));
    if (bitmap.Empty()) return 0;
    Check(uint32_t(bitmap.Width()) == reader.Width() && uint32_t(bitmap.Height()) == reader.Height());
    Check(alpha.Empty() || (reader.HasAlpha && alpha.Width() == bitmap.Width() && alpha.Height() == bitmap.Height() &&
                            alpha.BitCount() == 8));
    return 0;
}
