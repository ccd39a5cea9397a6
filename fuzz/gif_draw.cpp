// GIF pictures drawn from arbitrary bytes. The bytes build the image directly (so that every
// state a damaged file can leave is reached without the reader's own limits in the way): the
// draw options, the screen, the global table, the surface's depth, and up to 7 frames of at most
// 63 x 63 pixels with offsets anywhere on the screen, local tables, graphic control extensions
// with any disposal and transparent index (also past the table), loop extensions, and indices
// past their tables. The picture is then drawn, animated without a thread on a fake clock, and
// its whole-image bitmap made. Every failure is one of the engine's own errors.
//
// Layout: options (2 bytes), screen width, height, global colour count, background index,
// surface depth, speed, frame count; per frame: left, top, width, height, local colour count,
// extension flags (bit 7 a graphic control extension with bits 0-4 as its packed byte, bit 6 a
// loop extension), delay, transparent index, then width x height indices (zeros past the input).
// Seed corpus: corpus/gif_draw (hand-made, see the seeds' names).
#include "fuzz/harness.h"
#include "graphics/gifpics_picture.h"

namespace {

using namespace gif;

class TBytes {
public:
    TBytes(const uint8_t* Data, size_t Size) : data_(Data), size_(Size) {}
    uint8_t Next() { return at_ < size_ ? data_[at_++] : 0; }

private:
    const uint8_t* data_;
    size_t size_, at_ = 0;
};

TGifColor ColorOf(int I, int Seed) {
    return {uint8_t(I * 37 + Seed), uint8_t(I * 91 + 13 * Seed), uint8_t(I * 53 + 200)};
}

}  // namespace

int TestOneInput(const uint8_t* Data, size_t Size) {
    TBytes in(Data, Size);
    TGifPicture picture;
    const uint16_t options = uint16_t(in.Next() | in.Next() << 8);
    // No thread, and no endless repeat on a painter that runs inside the draw.
    picture.DrawOptions = options & uint16_t(~(doThreaded | doRepeatForever));
    PaletteDisplay = options & 0x8000;
    picture.Header().Width = in.Next() % 64;
    picture.Header().Height = in.Next() % 64;
    for (int i = 0, n = in.Next(); i < n; ++i) picture.Header().ColorMap().Add(ColorOf(i, 1));
    picture.Header().BackgroundColorIndex = in.Next();
    static constexpr int kDepths[] = {16, 24, 32};
    const int depth = kDepths[in.Next() % 3];
    picture.AnimationSpeed = int8_t(in.Next());
    for (int f = 0, frames = in.Next() % 8; f < frames; ++f) {
        auto frame = std::make_unique<TGifFrame>(&picture);
        frame->Left = in.Next(), frame->Top = in.Next();
        const uint16_t w = in.Next() % 64, h = in.Next() % 64;
        if (w && h) frame->SetSize(w, h);
        for (int i = 0, n = in.Next(); i < n; ++i) frame->ColorMap().Add(ColorOf(i, f + 2));
        const uint8_t flags = in.Next(), delay = in.Next(), transparent = in.Next();
        if (flags & 0x80) {
            auto gce = std::make_unique<TGifGraphicControlExtension>(*frame);
            gce->Packed = flags & 0x1F;
            gce->Delay = delay;
            gce->TransparentColorIndex = transparent;
            if (gce->Transparent()) gce->SetTransparent(true);
            frame->Extensions().Add(std::move(gce));
        }
        if (flags & 0x40) {
            auto loop = std::make_unique<TGifLoopExtension>(*frame);
            loop->Loops = delay % 4;
            frame->Extensions().Add(std::move(loop));
        }
        for (uint8_t& pixel : frame->Data) pixel = in.Next();
        picture.Images().Add(std::move(frame));
    }
    uint32_t now = 0;
    picture.PainterClock = [&] { return now; };
    picture.PainterSleep = [&](uint32_t Ms) { now += Ms; };
    TDIBX canvas;
    canvas.SetSize(40, 30, depth);
    try {
        picture.Draw(canvas, {3, 2, 37, 29});
        picture.Draw(canvas, {0, 0, 40, 30});
        picture.Bitmap();
    } catch (const EVelaError&) {
    }
    PaletteDisplay = false;
    return 0;
}
