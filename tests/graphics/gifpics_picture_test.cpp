// The GIF picture class: the painter's timing and loops on a fake clock, disposal against
// Pillow's composited frames, threaded painters handing their paints to the main thread, the
// clipboard and the registry.
#include "graphics/gifpics_picture.h"

#include "graphics/miras.h"
#include "platform/clipboard.h"
#include "platform/fs.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

namespace {

using namespace gif;

// An animation of 4 x 4 frames of one grey each (10, 20, ...) with the delays given; a loop
// extension with Loops on the first frame unless Loops is negative.
std::unique_ptr<TGifPicture> Animation(const std::vector<uint16_t>& Delays, int Loops) {
    auto picture = std::make_unique<TGifPicture>();
    for (size_t i = 0; i < Delays.size(); ++i) {
        TDIB grey;
        grey.SetSize(4, 4, 8);
        for (int p = 0; p < 16; ++p) grey.SetPixel(p % 4, p / 4, uint32_t(10 * (i + 1)));
        TGifFrame& frame = picture->Add(grey);
        auto gce = std::make_unique<TGifGraphicControlExtension>(frame);
        gce->Delay = Delays[i];
        frame.Extensions().Add(std::move(gce));
        if (i == 0 && Loops >= 0) {
            auto loop = std::make_unique<TGifLoopExtension>(frame);
            loop->Loops = uint16_t(Loops);
            frame.Extensions().Add(std::move(loop));
        }
    }
    picture->SetWidth(4);
    picture->SetHeight(4);
    return picture;
}

// Draws Picture without a thread on a fake clock that its sleeps advance; the times each frame
// was shown at.
std::vector<uint32_t> ShownAt(TGifPicture& Picture, TGifDrawOptions Options, int32_t Speed = 100) {
    uint32_t now = 1000;
    std::vector<uint32_t> shown;
    Picture.PainterClock = [&] { return now; };
    Picture.PainterSleep = [&](uint32_t Ms) { now += Ms; };
    Picture.OnFramePainted = [&](TGifAnimator&) { shown.push_back(now); };
    Picture.DrawOptions = Options;
    Picture.AnimationSpeed = Speed;
    TDIBX canvas;
    canvas.SetSize(4, 4, 32);
    Picture.Draw(canvas, canvas.GetBoundsRect());
    return shown;
}

std::vector<uint32_t> Gaps(const std::vector<uint32_t>& Times) {
    std::vector<uint32_t> gaps;
    for (size_t i = 1; i < Times.size(); ++i) gaps.push_back(Times[i] - Times[i - 1]);
    return gaps;
}

using V = std::vector<uint32_t>;

TEST(GifPicture, PainterTimingAndLoops) {
    // Delay 1 is shown 3 units (36 ms), delay 0 counts as 10 (120 ms); three passes for a loop
    // count of 3.
    auto picture = Animation({1, 0, 7}, 3);
    const TGifDrawOptions animate = doAnimate | doRepeat | doPaintDirect;
    EXPECT_EQ(Gaps(ShownAt(*picture, animate)), (V{36, 120, 84, 36, 120, 84, 36, 120}));
    // Speed 200 halves every wait.
    EXPECT_EQ(Gaps(ShownAt(*picture, animate, 200)), (V{18, 60, 42, 18, 60, 42, 18, 60}));
    // An event handler may pick the next frame: frame 0 leads straight to frame 2.
    picture->OnFramePaint = [](TGifAnimator& Sender) {
        if (Sender.ActiveImage == 0) Sender.ActiveImage = 2;
    };
    EXPECT_EQ(Gaps(ShownAt(*picture, animate)), (V{36, 84, 36, 84, 36}));
    EXPECT_EQ(picture->Painter(), nullptr);
    picture->OnFramePaint = nullptr;
    // Without doAnimate only the first frame is drawn.
    EXPECT_EQ(ShownAt(*picture, doRepeat | doPaintDirect).size(), 0u);
    // A loop count of 0 plays one pass without a thread; no loop extension one pass too.
    EXPECT_EQ(ShownAt(*Animation({1, 1}, 0), animate).size(), 2u);
    EXPECT_EQ(ShownAt(*Animation({1, 1}, -1), animate).size(), 2u);

    // A frame reaching past a new width refuses it.
    EXPECT_THROW(picture->SetWidth(3), GIFException);
    EXPECT_EQ(picture->GetWidth(), 4);
}

TEST(GifPicture, FramesStretchTileAndImport) {
    // A 2 x 2 frame of greys 50, 60 / 70, 80 at (1, 1) of a 4 x 4 screen.
    TGifPicture picture;
    TDIB greys;
    greys.SetSize(2, 2, 8);
    for (int p = 0; p < 4; ++p) greys.SetPixel(p % 2, p / 2, uint32_t(50 + 10 * p));
    TGifFrame& frame = picture.Add(greys);
    frame.Left = frame.Top = 1;
    picture.SetWidth(4);
    picture.SetHeight(4);
    auto drawn = [&](TGifDrawOptions Options, int Size) {
        auto canvas = std::make_unique<TDIBX>();
        canvas->SetSize(Size, Size, 32);
        canvas->Fill(0xFF0000);
        picture.DrawOptions = Options;
        picture.Draw(*canvas, canvas->GetBoundsRect());
        return canvas;
    };
    auto grey = [](const TDIBX& C, int X, int Y) { return C.GetPixel(X, Y) & 0xFF; };
    // Stretched to 8 x 8: the frame covers (2, 2)-(6, 6), each pixel doubled.
    auto stretched = drawn(doTransparent, 8);
    EXPECT_EQ(grey(*stretched, 2, 2), 50u);
    EXPECT_EQ(grey(*stretched, 4, 3), 60u);
    EXPECT_EQ(grey(*stretched, 5, 5), 80u);
    EXPECT_EQ(stretched->GetPixel(6, 6), 0xFF0000u);
    // Tiled over 10 x 10: at (1, 1) of every 4 x 4 cell, cut at the edge.
    auto tiled = drawn(doTransparent | doTile, 10);
    EXPECT_EQ(grey(*tiled, 1, 1), 50u);
    EXPECT_EQ(grey(*tiled, 6, 6), 80u);
    EXPECT_EQ(grey(*tiled, 9, 9), 50u);
    EXPECT_EQ(tiled->GetPixel(4, 4), 0xFF0000u);
    EXPECT_EQ(tiled->GetPixel(3, 1), 0xFF0000u);

    // Unreduced true colour: the colours in order of appearance, a 257th refused.
    picture.ColorReduction = rmNone;
    TDIB colours;
    colours.SetSize(300, 1, 24);
    for (int x = 0; x < 300; ++x) colours.SetPixel(x, 0, uint32_t(x % 3 * 0x40));
    TGifFrame& three = picture.Add(colours);
    EXPECT_EQ(three.ColorMap().Count(), 3);
    EXPECT_EQ(three.Pixel(299, 0), 2);
    for (int x = 0; x < 300; ++x) colours.SetPixel(x, 0, uint32_t(x));
    EXPECT_THROW(picture.Add(colours), GIFException);
}

// A stretched frame is converted only where it lands inside the canvas's clip: the pixels are
// those of the whole frame stretched, at each sampling rule and scale, partly off the canvas.
TEST(GifPicture, APartlyShownFrameDrawsAsTheWholeFrame) {
    TGifPicture picture;
    TDIB values;
    values.SetSize(61, 37, 8);
    for (int32_t p = 0; p < 61 * 37; ++p) values.SetPixel(p % 61, p / 61, uint32_t(p % 61 * 7 + p / 61 * 13) % 256);
    picture.Add(values);
    picture.SetWidth(61);
    picture.SetHeight(37);
    picture.DrawOptions = 0;
    for (const int bits : {16, 24, 32})
        for (const TRect& r : {TRect{-20, -10, 90, 70}, TRect{3, 2, 40, 30}, TRect{-300, -150, 20, 15}}) {
            TDIBX canvas, expected, whole;
            for (TDIBX* c : {&canvas, &expected, &whole}) c->SetSize(50, 40, bits);
            for (TDIBX* c : {&canvas, &expected}) c->SetClipRectDirect({7, 5, 31, 29});
            picture.Draw(canvas, r);
            CopyToDIBX(picture.Bitmap(), whole);
            expected.StretchDraw(r, whole, whole.GetBoundsRect(), false, false, false, 255);
            for (int32_t p = 0; p < 50 * 40; ++p)
                ASSERT_EQ(canvas.GetPixel(p % 50, p / 50), expected.GetPixel(p % 50, p / 50))
                    << bits << " bits, " << r.Left << " " << r.Top << ", pixel " << p;
        }
}

TEST(GifPicture, DisposalMatchesPillowsComposites) {
    const std::string file = VELA_TEST_DATA "/gif/pil-disposal.gif";
    const std::vector<std::string> expected = Lines(PythonOutput("make_gif_fixtures.py", {"composite", file}));
    TGifPicture picture;
    TMemoryStream stream;
    stream.LoadFromFile(platform::fs::ToProgramPath(file));
    picture.LoadFromStream(stream);
    const int32_t w = picture.GetWidth(), h = picture.GetHeight();
    ASSERT_EQ(expected.size(), size_t(picture.Images().Count()));

    // The surface starts in a colour of its own, which shows where Pillow's frames are clear.
    const uint32_t ground = 0x123456;
    TDIBX canvas;
    canvas.SetSize(w, h, 32);
    canvas.Fill(int32_t(ground));
    size_t frame = 0;
    picture.OnFramePainted = [&](TGifAnimator& Sender) {
        SCOPED_TRACE(Sender.ActiveImage);
        ASSERT_LT(frame, expected.size());
        const std::string rgba = FromHex(expected[frame].substr(expected[frame].find(' ') + 1));
        for (int32_t i = 0; i < w * h; ++i) {
            const auto* p = reinterpret_cast<const uint8_t*>(rgba.data()) + 4 * i;
            const uint32_t want = p[3] == 0 ? ground : uint32_t(p[0] << 16 | p[1] << 8 | p[2]);
            ASSERT_EQ(canvas.GetPixel(i % w, i / w) & 0xFFFFFF, want) << "pixel " << i;
        }
        ++frame;
    };
    uint32_t now = 0;
    picture.PainterClock = [&] { return now; };
    picture.PainterSleep = [&](uint32_t Ms) { now += Ms; };
    picture.DrawOptions = doAnimate | doTransparent | doPaintDirect | doClearOnRepeat;
    picture.Draw(canvas, canvas.GetBoundsRect());
    EXPECT_EQ(frame, expected.size());
}

TEST(GifPicture, ThreadedPaintersHandTheirPaintsToTheMainThread) {
    platform::MessageQueue& queue = platform::MainQueue();
    TDIBX canvas;
    canvas.SetSize(8, 8, 32);
    const TRect rect = canvas.GetBoundsRect();
    {
        // Through the image's bitmap: the draw returns once the first frame was painted.
        auto picture = Animation({1, 1}, 0);
        picture->DrawOptions = doThreaded | doAnimate | doRepeat;
        picture->Draw(canvas, rect);
        EXPECT_EQ(canvas.GetPixel(7, 7) & 0xFFFFFF, 0x0A0A0Au);
    }  // the running painter is stopped and joined
    auto picture = Animation({1, 1}, 0);
    int restarts = 0;
    picture->OnLoopRestart = [&](TGifAnimator&) { ++restarts; };
    picture->DrawOptions = doThreaded | doAnimate | doRepeat | doPaintDirect;
    picture->Draw(canvas, rect);
    picture->Draw(canvas, rect);  // the same canvas and rectangle: no second painter
    EXPECT_EQ(picture->PainterCount(), 1);
    // A loop count of 0 loops on when threaded.
    for (uint32_t start = platform::ClockMs(); restarts < 2 && platform::ClockMs() - start < 10000;) {
        queue.ProcessMessages();
        queue.Wait(10);
    }
    EXPECT_GE(restarts, 2);
    picture->StopDraw();
    EXPECT_EQ(picture->PainterCount(), 0);
}

TEST(GifPicture, ClipboardAndRegistry) {
    InitializeGifPictures();
    const TPictureFormat* format = FindPictureFormat("gif");
    ASSERT_NE(format, nullptr);
    EXPECT_EQ(format->Description, "GIF Image");
    EXPECT_EQ(FindClipboardPictureFormat(platform::RegisterClipboardFormat("GIF Image")), format);

    auto picture = Animation({5, 5}, 2);
    platform::EmptyClipboard();
    picture->SaveToClipboardFormat();
    auto pasted = format->Create();
    pasted->LoadFromClipboardFormat(GifClipboardFormat());
    auto& gif = dynamic_cast<TGifPicture&>(*pasted);
    ASSERT_EQ(gif.Images().Count(), 2);
    EXPECT_EQ(gif.Images()[1].GraphicControlExtension()->Delay, 5);
    gif.LoadFromClipboardFormat(platform::CF_BITMAP);
    ASSERT_EQ(gif.Images().Count(), 1);
    EXPECT_EQ(gif.Images()[0].ColorMap().Colors(gif.Images()[0].Pixel(2, 2)), (TGifColor{10, 10, 10}));
    EXPECT_THROW(gif.LoadFromClipboardFormat(1), EInvalidGraphic);
    FinalizeGifPictures();
    EXPECT_EQ(FindPictureFormat("GIF"), nullptr);
}

}  // namespace
