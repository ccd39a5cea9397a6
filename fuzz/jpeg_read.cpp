// JPEG files from arbitrary bytes: a load either gives a 24-bit picture, which writes out and reads
// back at its size, or raises EInvalidGraphic and leaves the picture as it was; libjpeg never ends
// the process.
// Seed corpus: files of cjpeg (baseline, grey, progressive, restart markers) and damaged ones, made
// by tests/tools/make_jpeg_corpus.py fuzz/corpus/jpeg_read
#include "fuzz/harness.h"
#include "graphics/jpegs.h"

int TestOneInput(const uint8_t* Data, size_t Size) {
    TJPEGImage jpeg;
    jpeg.Bitmap.SetSize(1, 1, 8);
    try {
        jpeg.LoadFromBuffer(Data, Size);
    } catch (const EInvalidGraphic&) {
        fuzz::Check(jpeg.Bitmap.Width() == 1 && jpeg.Bitmap.BitCount() == 8);
        return 0;
    }
    fuzz::Check(jpeg.Bitmap.BitCount() == 24);
    TMemoryStream written;
    jpeg.SaveToStream(written, 75);
    written.SetPosition(0);
    TJPEGImage back;
    back.LoadFromStream(written);
    fuzz::Check(back.Bitmap.Width() == jpeg.Bitmap.Width() && back.Bitmap.Height() == jpeg.Bitmap.Height());
    return 0;
}
