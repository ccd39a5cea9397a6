#include "objects/vitemex_image.h"
#include "tests/objects/clock_host.h"

#include "objects/vitemex_mira.h"

#include "core/streams.h"
#include "objects/vitems_kinds.h"
#include "tests/common/fixture.h"
#include "tests/objects/picture_source.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <numbers>
#include <sstream>
#include <utility>

namespace {

// A 32-bit picture filled with Color.
std::unique_ptr<TDIBX> Picture(int32_t W, int32_t H, int32_t Color) {
    auto p = std::make_unique<TDIBX>();
    p->SetSize(W, H, 32);
    p->FillRect(p->GetBoundsRect(), p->ColorToPixel(Color));
    return p;
}

// An 8-bit mask, opaque (255) on R and transparent elsewhere.
std::unique_ptr<TDIBX> MaskOf(int32_t W, int32_t H, const TRect& R) {
    auto m = std::make_unique<TDIBX>();
    m->SetSize(W, H, 8);
    m->FillRect(m->GetBoundsRect(), 0);
    m->FillRect(R, 255);
    return m;
}

class ImageObjects : public ::testing::Test {
protected:
    void SetUp() override {
        CreateScriptServices();
        auto host = std::make_unique<TClockHost>(10);
        Host = host.get();
        SetScriptHost(std::move(host));
        VelaInitialize();
        Bases->SetWidth(64);
        Bases->SetHeight(64);
        Bases->SetColor(Background);
    }
    void TearDown() override {
        VelaFinalize();
        FreeScriptServices();
    }
    // An image showing Pic at (X, Y) on layer 0, its size settled.
    TVelaImage* Image(TCustomDIBX& Pic, int32_t X, int32_t Y, const std::string& Name = "pic") {
        auto* img = new TVelaImage(Bases, false);
        img->SetName(Name);
        img->SetParent(Bases->GetBase(0));
        img->SetSurface(&Pic);
        img->SetLeft(X);
        img->SetTop(Y);
        img->SetImageFlag(true);
        Tick(0);
        return img;
    }
    void Tick(uint32_t Ms = 10) {
        Host->Clock += Ms;
        Host->Tick = Ms;
        Bases->Step();
    }
    uint32_t Pixel(int X, int Y) {
        Bases->GetBase(0)->InvalidateAll();
        Bases->Prepare();
        return Bases->GetSurface()->GetPixel(X, Y);
    }
    uint32_t PixelOf(int32_t Color) { return uint32_t(Bases->GetSurface()->ColorToPixel(Color)); }
    // The ghosts among the layer's children, in drawing order, and the index of Obj there.
    std::vector<TVelaBlurImage*> Ghosts() {
        std::vector<TVelaBlurImage*> out;
        TVelaBase* layer = Bases->GetBase(0);
        for (int i = 0; i < layer->GetControlCount(); ++i)
            if (auto* g = dynamic_cast<TVelaBlurImage*>(layer->GetControl(i))) out.push_back(g);
        return out;
    }
    int ChildIndex(const TVelaObject* Obj) {
        TVelaBase* layer = Bases->GetBase(0);
        for (int i = 0; i < layer->GetControlCount(); ++i)
            if (layer->GetControl(i) == Obj) return i;
        return -1;
    }

    static constexpr int32_t Background = 0x404040;
    TClockHost* Host = nullptr;
};

TEST_F(ImageObjects, AngleAndZoomUnitsAndExplicitSize) {
    auto pic = Picture(10, 6, 0xFFFFFF);
    TVelaImage* img = Image(*pic, 20, 20);
    EXPECT_EQ(img->GetWidth(), 10);

    img->SetAngle(255);  // 255 units make a whole turn: exactly 2 pi, drawn unturned
    EXPECT_EQ(img->GetFloatangle(), 2 * std::numbers::pi_v<long double>);
    EXPECT_FALSE(img->IsRotated());
    EXPECT_EQ(img->GetBoundsRect(), (TRect{20, 20, 30, 26}));
    img->SetAngle(64);
    EXPECT_GT(img->GetFloatangle(), std::numbers::pi_v<long double> / 2);
    EXPECT_TRUE(img->IsRotated());
    img->SetAngle(0);

    img->SetZoomx(512);  // the width follows at the next tick
    EXPECT_EQ(img->GetZoomx(), 512);
    EXPECT_EQ(img->GetWidth(), 10);
    Tick();
    EXPECT_EQ(img->GetWidth(), 20);

    img->SetWidth(15);  // an explicit size: zoom 0, kept when the size is settled again
    img->SetHeight(9);
    EXPECT_EQ(img->GetZoomx(), 0);
    img->SetImageFlag(true);
    Tick();
    EXPECT_EQ(img->GetWidth(), 15);
    EXPECT_EQ(img->GetHeight(), 9);
    EXPECT_EQ(img->EffectiveZoomX(), 1.5);
    EXPECT_EQ(Pixel(34, 28), PixelOf(0xFFFFFF));  // stretched to the size set
    EXPECT_EQ(Pixel(35, 28), PixelOf(Background));
}

// An image is placed at its position on its parent's origin, less its offset (scaled by its zoom,
// none for an explicit size, counted from the far edge when mirrored), plus its shift.
TEST_F(ImageObjects, OriginTakesParentOffsetAndShiftUnderEveryZoomAndMirror) {
    auto pic = Picture(8, 6, 0xFFFFFF);
    TVelaImage* parent = Image(*pic, 10, 5, "parent");
    TVelaImage* img = Image(*pic, 7, 9, "child");
    img->SetParent(parent);
    img->SetOffsetx(2);
    img->SetOffsety(3);
    img->SetPlusx(1);
    img->SetPlusy(-2);
    EXPECT_EQ(img->GetOrigin(), (TPoint{16, 9}));
    EXPECT_EQ(img->GetBoundsRect(), (TRect{16, 9, 24, 15}));

    img->SetFloatzoomx(2);
    EXPECT_EQ(img->GetOrigin(), (TPoint{14, 9}));
    img->SetFloatzoomx(1);
    img->SetFlipv(true);  // anchored 6 - 1 - 3 rows up
    EXPECT_EQ(img->GetOrigin(), (TPoint{16, 10}));
    img->SetFlipv(false);
    img->SetWidth(12);
    EXPECT_EQ(img->GetOrigin(), (TPoint{18, 9}));
}

TEST_F(ImageObjects, AlphaAbove255AddsAtTheRestAndMaskReplacesTheKey) {
    auto pic = Picture(4, 4, 0x204060);
    TVelaImage* img = Image(*pic, 0, 0);
    img->SetAlpha(300);
    TDIBX expected;
    expected.SetSize(1, 1, 32);
    expected.FillRect({0, 0, 1, 1}, expected.ColorToPixel(Background));
    expected.DrawAdd(0, 0, *pic, {0, 0, 1, 1}, false, false, false, 44);
    EXPECT_EQ(Pixel(1, 1), expected.GetPixel(0, 0));
    EXPECT_NE(Pixel(1, 1), PixelOf(Background));

    // Keyed: the key colour is skipped; with a mask the mask decides instead.
    pic->TransparentColor = pic->ColorToPixel(0x204060);
    EXPECT_EQ(Pixel(1, 1), PixelOf(Background));
    auto mask = MaskOf(4, 4, {0, 0, 2, 4});
    img->SetSourceSurface(mask.get());
    expected.FillRect({0, 0, 1, 1}, expected.ColorToPixel(Background));
    expected.DrawAddMask(0, 0, *pic, {0, 0, 1, 1}, false, false, *mask, 44);
    EXPECT_EQ(Pixel(1, 1), expected.GetPixel(0, 0));
    EXPECT_NE(Pixel(1, 1), PixelOf(Background));
    EXPECT_EQ(Pixel(3, 1), PixelOf(Background));
}

TEST_F(ImageObjects, ContentRectanglesLimitTheUnscaledDrawAndFollowTheMirror) {
    auto pic = Picture(8, 4, 0xFFFFFF);
    pic->Rects1 = {{0, 0, 2, 4}};
    TVelaImage* img = Image(*pic, 10, 10);
    EXPECT_EQ(Pixel(11, 11), PixelOf(0xFFFFFF));
    EXPECT_EQ(Pixel(13, 11), PixelOf(Background));
    img->SetFliph(true);  // anchored at its right edge: now over 3..10, the content at 9..10
    EXPECT_EQ(Pixel(4, 11), PixelOf(Background));
    EXPECT_EQ(Pixel(9, 11), PixelOf(0xFFFFFF));
    EXPECT_EQ(Pixel(10, 11), PixelOf(0xFFFFFF));
    EXPECT_EQ(Pixel(40, 40), PixelOf(Background));  // the layer's clip came back whole
}

TEST_F(ImageObjects, MaskHitTestReadsTheMirroredSideAndScalesByTheDrawnSize) {
    auto pic = Picture(10, 10, 0xFFFFFF);
    auto mask = MaskOf(10, 10, {0, 0, 5, 10});  // left half opaque
    TVelaImage* img = Image(*pic, 20, 20);
    img->SetSourceSurface(mask.get());
    img->SetCapturemask(true);
    const uint32_t all = 0xFF;
    EXPECT_EQ(Bases->GetBase(0)->HitTest({21, 25}, all), img);
    EXPECT_NE(Bases->GetBase(0)->HitTest({28, 25}, all), img);
    img->SetFliph(true);  // anchored at its right edge: over 11..20, opaque on the right
    EXPECT_NE(Bases->GetBase(0)->HitTest({12, 25}, all), img);
    EXPECT_EQ(Bases->GetBase(0)->HitTest({19, 25}, all), img);
    img->SetFliph(false);

    img->SetWidth(20);  // explicit size: twice as wide, the mask stretched with it
    EXPECT_EQ(img->HitTest({28, 25}, all), img);
    EXPECT_EQ(img->HitTest({31, 25}, all), nullptr);
    img->SetCapmasklevel(256);
    EXPECT_EQ(img->HitTest({21, 25}, all), nullptr);
    img->SetCapmasklevel(128);
    img->SetIgnoremouse(3);
    EXPECT_EQ(img->HitTest({21, 25}, all & ~(1u << 3)), nullptr);
}

TEST_F(ImageObjects, TurnedImageIsDrawnAndHitByItsDrawnScale) {
    auto pic = Picture(10, 4, 0xFFFFFF);
    TVelaImage* img = Image(*pic, 30, 20);
    img->SetFloatangle(std::numbers::pi_v<long double> / 2);  // a quarter turn about its left top
    const TRect b = img->GetBoundsRect();
    EXPECT_LT(b.Right - b.Left, 8);
    EXPECT_GT(b.Bottom - b.Top, 9);
    const uint32_t all = 0xFF;
    EXPECT_EQ(img->HitTest({28, 25}, all), img);
    EXPECT_EQ(img->HitTest({40, 21}, all), nullptr);
    EXPECT_EQ(Pixel(28, 25), PixelOf(0xFFFFFF));
    EXPECT_EQ(Pixel(40, 21), PixelOf(Background));
    EXPECT_EQ(Pixel(28, 35), PixelOf(Background));

    img->SetWidth(20);  // an explicit size turns at twice the picture's scale, smoothed or not
    EXPECT_EQ(Pixel(28, 35), PixelOf(0xFFFFFF));
    EXPECT_EQ(img->HitTest({28, 35}, all), img);
    img->SetAntialias(true);
    EXPECT_NE(Pixel(28, 35), PixelOf(Background));
}

TEST_F(ImageObjects, MovingImageLeavesGhostsOnItsSpanThatFadeJustBelowIt) {
    auto pic = Picture(4, 4, 0xFFFFFF);
    TVelaImage* img = Image(*pic, 0, 0);
    img->SetAlpha(300);
    img->SetBlurdelay(300);
    img->SetBlurspan(50);
    for (int i = 0; i < 10; ++i) Tick();  // standing still: none
    EXPECT_TRUE(Ghosts().empty());
    for (int i = 0; i < 20; ++i) {  // 200 ms of movement: one ghost every 50 ms
        img->SetLeft(img->GetLeft() + 1);
        Tick();
    }
    std::vector<TVelaBlurImage*> ghosts = Ghosts();
    ASSERT_EQ(ghosts.size(), 4u);
    const int source = ChildIndex(img);
    for (size_t i = 0; i < ghosts.size(); ++i) {
        EXPECT_EQ(ChildIndex(ghosts[i]), source - int(ghosts.size()) + int(i));  // just before the image
        EXPECT_EQ(ghosts[i]->GetBlurSource(), img);
        EXPECT_GE(ghosts[i]->GetAlpha(), 256);  // added like the image, at no more than half
        EXPECT_LE(ghosts[i]->GetAlpha() - 256, 22);
        if (i > 0) {
            EXPECT_LE(ghosts[i - 1]->GetAlpha() % 256, ghosts[i]->GetAlpha() % 256);
        }
    }
    EXPECT_EQ(ghosts[0]->GetStartAlpha(), 256 + 22);
    EXPECT_EQ(ghosts.back()->GetLeft(), img->GetLeft());  // left where the image was at the check
    EXPECT_EQ(ghosts.front()->GetLeft(), img->GetLeft() - 15);

    for (int i = 0; i < 30; ++i) Tick();  // each goes once its 300 ms have passed
    EXPECT_TRUE(Ghosts().empty());
}

// Ghosts keep fainter first, each before its image, while the image's priority rises across
// another image's and new ghosts come: the order is the one a full sort of the children gives.
TEST_F(ImageObjects, GhostsKeepTheirAlphaOrderWhileTheirImageChangesPriority) {
    auto pic = Picture(4, 4, 0xFFFFFF);
    TVelaImage* img = Image(*pic, 0, 0);
    TVelaImage* other = Image(*pic, 40, 0, "other");
    other->SetPriority(1);
    img->SetAlpha(300);
    img->SetBlurdelay(300);
    img->SetBlurspan(50);
    const auto order = [] {
        std::vector<TVelaControl*> out;
        for (int i = 0; i < Bases->GetBase(0)->GetControlCount(); ++i) out.push_back(Bases->GetBase(0)->GetControl(i));
        return out;
    };
    for (int i = 0; i < 40; ++i) {
        img->SetLeft(img->GetLeft() + 1);
        if (i % 10 == 9) img->SetPriority(img->GetPriority() + 2);  // older ghosts stay below
        Tick();
        const std::vector<TVelaControl*> drawn = order();
        Bases->GetBase(0)->SortControls();
        ASSERT_EQ(order(), drawn) << "tick " << i;
        const std::vector<TVelaBlurImage*> ghosts = Ghosts();
        for (size_t g = 0; g < ghosts.size(); ++g) {
            EXPECT_LT(ChildIndex(ghosts[g]), ChildIndex(img));
            if (g > 0) {
                EXPECT_LE(ghosts[g - 1]->GetAlpha() % 256, ghosts[g]->GetAlpha() % 256);
            }
        }
    }
    EXPECT_FALSE(Ghosts().empty());
}

TEST_F(ImageObjects, GhostOfAFreedImageDrawsNothingAndGoes) {
    auto pic = Picture(4, 4, 0xFFFFFF);
    TVelaImage* img = Image(*pic, 0, 0);
    img->SetBlurdelay(1000);
    img->SetBlurspan(10);
    img->SetLeft(20);
    Tick();
    ASSERT_EQ(Ghosts().size(), 1u);
    TVelaBlurImage* ghost = Ghosts()[0];
    const TObjectRef ref = ghost->Ref();
    EXPECT_EQ(ghost->GetSurface(), pic.get());
    img->SetLeft(40);
    EXPECT_NE(Pixel(21, 1), PixelOf(Background));  // the ghost, left behind

    delete img;
    EXPECT_EQ(ghost->GetSurface(), nullptr);
    EXPECT_EQ(ghost->GetBlurSource(), nullptr);
    EXPECT_EQ(Pixel(21, 1), PixelOf(Background));
    Tick();
    EXPECT_FALSE(Bases->IsLive(ref));
}

TEST_F(ImageObjects, SourceGivesADarkenedCopyOfFrameZeroThatComesBackAfterDeviceLoss) {
    TPictureCache cache;
    cache.Source->Files["pic.mra"] = {{6, 4, 10, true}, {6, 4, 10, false}};
    auto* img = new TVelaImage(Bases, false);
    img->SetParent(Bases->GetBase(0));
    img->SetFloatzoomx(2.0L);
    img->SetSource("pic.mra");
    EXPECT_EQ(MiraMan->Count(), 0);  // handed back at once
    EXPECT_EQ((TPoint{img->GetWidth(), img->GetHeight()}), (TPoint{12, 4}));
    TCustomDIBX* own = img->GetSurface();
    ASSERT_EQ(own->GetWidth(), 6);
    EXPECT_EQ(own->GetPixel(5, 3) & 0xFFFFFF, ::PixelOf(0, 5, 3));

    img->SetBrightness(200);  // 55 less in each channel, the key with them
    const uint32_t darkened = 0x001900;  // 0x105030 less 0x373737, stopping at 0
    EXPECT_EQ(own->GetPixel(5, 3) & 0xFFFFFF, darkened);
    EXPECT_EQ(own->TransparentColor, int32_t(own->GetPixel(0, 0)));
    EXPECT_EQ(cache.Source->Decodes, 2);

    img->FreePrivateDIBs();
    EXPECT_EQ(img->GetSurface(), nullptr);
    img->MakePrivateDIBs();
    ASSERT_NE(img->GetSurface(), nullptr);
    EXPECT_EQ(img->GetSurface()->GetPixel(5, 3) & 0xFFFFFF, darkened);

    img->SetWidth(30);  // an explicit size survives a reload
    img->SetBrightness(100);
    EXPECT_EQ(img->GetWidth(), 30);
    EXPECT_EQ(img->GetHeight(), 4);
}

TEST_F(ImageObjects, FilmFrameSetsEveryValueAndTheFrameSize) {
    auto pic = Picture(12, 7, 0x00FF00);
    auto mask = MaskOf(12, 7, {0, 0, 12, 7});
    auto* img = new TVelaImage(Bases, false);
    img->ApplyFrame(Bases->GetBase(0), 3, pic.get(), mask.get(), 0x00FF00, 5, true, false, 11, 12, 1, 2, 1.0L, 1.0L,
                    0.5L, 200, {1, 2, 4, 6}, 40, 400, true);
    EXPECT_EQ(img->GetParent(), Bases->GetBase(0));
    EXPECT_EQ((TPoint{img->GetWidth(), img->GetHeight()}), (TPoint{12, 7}));
    EXPECT_EQ((TPoint{img->GetLeft(), img->GetTop()}), (TPoint{11, 12}));
    EXPECT_EQ((TPoint{img->GetOffsetx(), img->GetOffsety()}), (TPoint{1, 2}));
    EXPECT_EQ(img->GetSurface(), pic.get());
    EXPECT_EQ(img->GetSourceSurface(), mask.get());
    EXPECT_EQ(pic->TransparentColor, pic->ColorToPixel(0x00FF00));
    EXPECT_EQ((std::array{img->GetIndex(), img->GetTransColor(), img->GetPriority(), img->GetAlpha(),
                          img->GetBlurspan(), img->GetBlurdelay(), img->GetClipleft(), img->GetCliptop(),
                          img->GetClipwidth(), img->GetClipheight()}),
              (std::array{3, 0x00FF00, 5, 200, 40, 400, 1, 2, 3, 4}));
    EXPECT_TRUE(img->GetFliph() && !img->GetFlipv() && img->GetAntialias());
    EXPECT_EQ(img->GetFloatangle(), 0.5L);
}

// The record against tests/tools/image_records.py, for each side of every gate. Without the
// image cache the source name loads no picture, so the stored size stays.
TEST_F(ImageObjects, RecordsOfEverySaveVersion) {
    TMiraCollection* cache = std::exchange(MiraMan, nullptr);
    auto build = [] {
        auto img = std::make_unique<TVelaImage>(Bases, false);
        img->SetName("pic");
        img->SetPriority(3);
        img->SetBounds(10, 20, 48, 24);
        img->SetOffsetx(2);
        img->SetOffsety(3);
        img->SetIgnoremouse(1);
        img->SetAlpha(300);
        img->SetFloatzoomx(1.5L);
        img->SetFloatzoomy(0.75L);
        img->SetAngle(255);
        img->SetAntialias(true);
        img->SetFliph(true);
        img->SetCapturemask(true);
        img->SetBlurspan(50);
        img->SetBlurdelay(300);
        img->SetCapmasklevel(77);
        img->SetSource("pic.mra");
        img->SetBrightness(200);
        TVelaControl& control = *img;
        control.SetBounds(10, 20, 48, 24);  // the size as stored, whatever the picture gave
        return img;
    };
    auto saved = [](TVelaObject& Obj) {
        TMemoryStream s;
        Obj.SaveToStream(s);
        return Bytes(s);
    };
    const std::string built = saved(*build());
    int versions = 0;
    for (const std::string& line : Lines(PythonOutput("image_records.py"))) {
        std::istringstream fields(line);
        int32_t version = 0;
        std::string stored, asRead;
        fields >> version >> stored >> asRead;
        SCOPED_TRACE(version);
        if (version == 144) {
            EXPECT_EQ(ToHex(built), ToHex(FromHex(stored)));
        }
        TMemoryStream s = StreamOf(FromHex(stored));
        TVelaImage read(Bases, false);
        read.LoadFromStream(s, version);
        EXPECT_EQ(s.Remaining(), 0);
        EXPECT_EQ(ToHex(saved(read)), ToHex(FromHex(asRead)));
        ++versions;
    }
    EXPECT_EQ(versions, 4);
    MiraMan = cache;
}

TEST_F(ImageObjects, DamagedRecordsAreRefused) {
    TVelaImage img(Bases, false);
    TMemoryStream s;
    img.SaveToStream(s);
    std::string bytes = Bytes(s);
    TMemoryStream cut = StreamOf(bytes.substr(0, bytes.size() - 3));
    EXPECT_THROW(TVelaImage(Bases, false).LoadFromStream(cut, 144), EVelaError);
    // An infinite zoom: exponent all ones, mantissa 1.0.
    const size_t zoomAt = bytes.size() - (4 + 4 + 4 + 10 + 1 + 1 + 1 + 1 + 10 + 10 + 4 + 4);
    bytes.replace(zoomAt, 10, std::string("\0\0\0\0\0\0\0\x80\xff\x7f", 10));
    TMemoryStream bad = StreamOf(bytes);
    EXPECT_THROW(TVelaImage(Bases, false).LoadFromStream(bad, 144), EVelaError);
}

}  // namespace
