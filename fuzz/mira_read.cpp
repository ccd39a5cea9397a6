// Mira files of both forms from arbitrary bytes, read whole (with the layers kept for every other
// input): a load either gives frames whose images and alpha surfaces agree in size and which the
// writer saves and the reader loads back with the same pixels, or raises one of the engine's own
// errors. Frames above MaxPixels pixels are not written back, so that no input spends its time
// on large images.
// Seed corpus: tests/tools/mira_ref.py corpus fuzz/corpus/mira_read
#include "fuzz/harness.h"
#include "graphics/miras.h"

namespace {

using fuzz::Check;

constexpr int64_t MaxPixels = 128 * 128;

bool SamePixels(const TDIB& A, const TDIB& B) {
    if (A.Width() != B.Width() || A.Height() != B.Height() || A.BitCount() != B.BitCount()) return false;
    for (int32_t y = 0; y < A.Height(); ++y)
        for (int32_t x = 0; x < A.Width(); ++x)
            if (A.GetPixel(x, y) != B.GetPixel(x, y)) return false;
    return true;
}

}  // namespace

int TestOneInput(const uint8_t* Data, size_t Size) {
    TMemoryStream stream = fuzz::StreamOf(Data, Size);
    TMiraFrameList list(Size % 3 ? 777 : 0);
    try {
        list.LoadFromStream(stream, false, Size % 2, false);
    } catch (const EVelaError&) {
        return 0;
    }
    Check(stream.Position() <= int64_t(Size));
    int64_t pixels = 0;
    for (int32_t i = 0; i < list.Count(); ++i) {
        const TDIBSurface& image = list.GetFrame(i)->Image;
        if (image.Alpha) Check(image.Alpha->Width() == image.Width() && image.Alpha->Height() == image.Height());
        pixels += int64_t(image.Width()) * image.Height();
    }
    if (list.Count() == 0 || pixels > MaxPixels) return 0;
    TMemoryStream saved;
    list.SaveToStream(saved, 0, 0);
    saved.SetPosition(0);
    TMiraFrameList back(list.IdentCode);
    back.LoadFromStream(saved, false, false, false);
    Check(back.Count() == list.Count());
    for (int32_t i = 0; i < list.Count(); ++i) {
        const TDIBSurface &image = list.GetFrame(i)->Image, &again = back.GetFrame(i)->Image;
        Check(SamePixels(image, again));
        Check(!image.Alpha == !again.Alpha && (!image.Alpha || SamePixels(*image.Alpha, *again.Alpha)));
    }
    return 0;
}
