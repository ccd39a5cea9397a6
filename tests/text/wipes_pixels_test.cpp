#include "text/wipes_pixels.h"

#include "core/rands.h"
#include "graphics/dibx.h"
#include "objects/vitems.h"
#include "tests/graphics/paint.h"

#include <gtest/gtest.h>

#include <cmath>
#include <typeinfo>

namespace {

// Dest, old and new pictures of one size and depth, old and new each of one colour.
struct TPixelStage {
    TDIBX Dest, Old, New;

    TPixelStage(int W, int H, int Bits, uint32_t OldColour, uint32_t NewColour) {
        VelaInitColor();  // the greys; without a screen 5-6-5 at 16 bits
        Paint(Dest, W, H, Bits, [](int, int) { return 0u; });
        Paint(Old, W, H, Bits, [=](int, int) { return OldColour; });
        Paint(New, W, H, Bits, [=](int, int) { return NewColour; });
    }
    template <class T>
    std::unique_ptr<T> Make(int32_t Length, bool ChangedOnly = false) {
        auto wipe = std::make_unique<T>(Dest, Old, New);
        wipe->Length = Length;
        wipe->SetReverse(false);
        wipe->ChangedOnly = ChangedOnly;
        wipe->Prepare();
        return wipe;
    }
    // Whether every pixel of Dest equals the one of Picture.
    bool Shows(TDIBX& Picture) const {
        for (int y = 0; y < Dest.GetHeight(); ++y)
            for (int x = 0; x < Dest.GetWidth(); ++x)
                if (Dest.GetPixel(x, y) != Picture.GetPixel(x, y)) return false;
        return true;
    }
};

void Step(TCustomWipe& Wipe, int32_t Elapsed) {
    Wipe.Elapsed = Elapsed;
    EXPECT_FALSE(Wipe.Step());
}

TEST(WipePixels, TheCatalogueMakesTheseClassesWithTheirDefaults) {
    const struct {
        TWipeType Type;
        const std::type_info& Class;
        int32_t Param0, Param1;
    } rows[] = {{WP_SPOT, typeid(TWipeSpot), 0, 0},         {WP_MASKWHITE, typeid(TWipeShadowWhite), 0, 0},
                {WP_MASKBLACK, typeid(TWipeShadowBlack), 0, 0}, {WP_SMALL, typeid(TWipeSmall), 0, 0},
                {WP_BIG, typeid(TWipeBig), 0, 0},           {WP_RIPPLE, typeid(TWipeRipple), 5, 0},
                {WP_BLURWHITE, typeid(TWipeBlurWhite), 0, 0}, {WP_BLURBLACK, typeid(TWipeBlurBlack), 0, 0},
                {WP_CRACK, typeid(TWipeCrack), 64, 3}};
    for (const auto& row : rows) {
        TPixelStage stage(40, 40, 32, 0, 0);
        const auto wipe = CreateWipe(row.Type, stage.Dest, stage.Old, stage.New);
        ASSERT_TRUE(wipe) << int(row.Type);
        EXPECT_EQ(typeid(*wipe), row.Class) << int(row.Type);
        EXPECT_EQ(wipe->GetParam(0), row.Param0);
        EXPECT_EQ(wipe->GetParam(1), row.Param1);
    }
}

TEST(WipePixels, DifferenceMaskPerDepth) {
    for (int bits : {15, 16, 24, 32}) {
        SCOPED_TRACE(bits);
        TDIBX a, b, mask;
        Paint(a, 4, 2, bits, [](int x, int y) { return Mix(x, y, 3) & 0x7FFF; });
        Paint(b, 4, 2, bits, [](int x, int y) { return Mix(x, y, 3) & 0x7FFF; });
        b.SetPixel(1, 0, b.GetPixel(1, 0) ^ 1);
        b.SetPixel(3, 1, b.GetPixel(3, 1) ^ (bits == 32 ? 0x01000000 : 0x4000));  // fourth byte / top bit
        Paint(mask, 4, 2, 8, [](int, int) { return 7u; });
        BuildDifferenceMask(mask, a, b);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 4; ++x)
                EXPECT_EQ(mask.GetPixel(x, y), (x == 1 && y == 0) || (x == 3 && y == 1) ? 255u : 0u) << x << y;
    }
    TDIBX a, b, mask;  // indexed pictures leave the mask alone
    Paint(a, 4, 2, 8, [](int x, int) { return uint32_t(x); });
    Paint(b, 4, 2, 8, [](int, int) { return 9u; });
    Paint(mask, 4, 2, 8, [](int, int) { return 7u; });
    BuildDifferenceMask(mask, a, b);
    EXPECT_EQ(mask.GetPixel(0, 0), 7u);
}

TEST(WipePixels, SpotlightRingOn640x480) {
    TPixelStage stage(640, 480, 32, 0x102030, 0x405060);
    auto spot = stage.Make<TWipeSpot>(912);  // level = Elapsed
    EXPECT_EQ(spot->MaxLevel, 912);
    EXPECT_EQ(spot->DistanceTable[240 * 640 + 320], 0);
    EXPECT_EQ(spot->DistanceTable[0], 400);
    const struct {
        int32_t Level;
        int X, Y;
        uint32_t Colour;
    } probes[] = {
        {100, 320, 240, 0x748494},  // the centre brightening
        {255, 320, 240, 0xFFFFFF},  // at full white
        {256, 320, 240, 0xFFFFFF},  // the new picture, still at full white
        {511, 320, 240, 0x405060},  // back to normal
        {400, 0, 0, 0x102030},      // the corner only starts now
        {655, 0, 0, 0xFFFFFF},     {656, 0, 0, 0xFFFFFF},
        {911, 0, 0, 0x405060},     {655, 1, 0, 0xFFFFFF},  // nearer corners switch no later
        {751, 320, 0, 0x405060},                           // the top edge (distance 240) done
    };
    for (const auto& p : probes) {
        Step(*spot, p.Level);
        EXPECT_EQ(stage.Dest.GetPixel(p.X, p.Y), p.Colour) << p.Level << " " << p.X << "," << p.Y;
    }
    spot->SetReverse(true);  // from the corners inwards
    EXPECT_EQ(spot->DistanceTable[240 * 640 + 320], 400);
    EXPECT_EQ(spot->DistanceTable[0], 0);
}

TEST(WipePixels, SpotlightGreyPerDepth) {
    const struct {
        int Bits;
        uint32_t Expected;
    } depths[] = {{16, 12u << 11 | 25u << 5 | 12u}, {24, 0x646464}, {32, 0x646464}, {8, 3}};
    for (const auto& d : depths) {
        SCOPED_TRACE(d.Bits);
        TPixelStage stage(64, 48, d.Bits, d.Bits == 8 ? 3 : 0, 1);
        auto spot = stage.Make<TWipeSpot>(0);
        spot->Length = spot->MaxLevel;
        Step(*spot, 100);  // level 100
        EXPECT_EQ(stage.Dest.GetPixel(32, 24), d.Expected);
    }
}

TEST(WipePixels, FlaresWithoutAMaskImageComeTogether) {
    for (bool black : {false, true}) {
        TPixelStage stage(16, 8, 32, 0x808080, 0x204060);
        std::unique_ptr<TWipeShadowWhite> flare =
            black ? stage.Make<TWipeShadowBlack>(768) : stage.Make<TWipeShadowWhite>(768);  // k = Elapsed + 255
        Step(*flare, 256);
        EXPECT_TRUE(stage.Shows(stage.Old));
        Step(*flare, 345);  // every pixel 89 levels into its flare
        for (int x : {0, 15}) EXPECT_EQ(stage.Dest.GetPixel(x, 7), black ? 0x272727u : 0xD9D9D9u);
        Step(*flare, 767);  // k = 1022: the flare has ended on the new picture
        EXPECT_TRUE(stage.Shows(stage.New));
        flare->Length = INT32_MAX;  // a level out of the table's range reads its ends
        Step(*flare, INT32_MAX - 1);
    }
}

TEST(WipePixels, CrackOn640x480WithTheDefaults) {
    TPixelStage stage(640, 480, 32, 0x102030, 0x405060);
    TWipeCrack crack(stage.Dest, stage.Old, stage.New);
    crack.SetParam(0, 64), crack.SetParam(1, 3);
    crack.Length = 1000;
    RandSeed = 12345;
    crack.Prepare();
    ASSERT_EQ(crack.Pieces.size(), 80u);
    EXPECT_EQ(crack.FallTime, 495);
    EXPECT_EQ(crack.LastStart, 237);
    // The shared generator gives each piece its place among those left, then its speed.
    RandSeed = 12345;
    std::vector<int32_t> left(80);
    for (int32_t i = 0; i < 80; ++i) left[size_t(i)] = i;
    for (size_t n = 0; n < crack.Pieces.size(); ++n) {
        const TWipeCrackDraw& piece = *crack.Pieces[n];
        const auto at = left.begin() + Random(int32_t(left.size()));
        EXPECT_EQ(piece.Row * 10 + piece.Column, *at);
        EXPECT_EQ(piece.Speed, Random(200) - 100);
        left.erase(at);
        EXPECT_EQ(piece.Start, int32_t(n) * 3);
        EXPECT_EQ(piece.Kind, 1);
    }

    Step(crack, 0);
    EXPECT_TRUE(stage.Shows(stage.Old));
    Step(crack, 999);  // crack time 731: every piece started 495 or more before has fallen
    for (const auto& piece : crack.Pieces) EXPECT_TRUE(!piece || piece->Start > 731 - 495);

    crack.SetParam(0, 3), crack.SetParam(1, -5);  // clamped by Prepare
    crack.Prepare();
    EXPECT_EQ(crack.GetParam(0), 16);
    EXPECT_EQ(crack.GetParam(1), 0);
    EXPECT_EQ(crack.Pieces.size(), 40u * 30u);
}

TEST(WipePixels, ChangedOnlyWithIdenticalPicturesShowsOnlyTheNewOne) {
    TPixelStage stage(96, 64, 32, 0x336699, 0x336699);
    Paint(stage.Dest, 96, 64, 32, [](int, int) { return 0xFFu; });
    auto small = stage.Make<TWipeSmall>(100, true);
    small->SetParam(0, 64);
    auto big = stage.Make<TWipeBig>(100, true);
    auto crack = stage.Make<TWipeCrack>(100, true);
    for (const auto& piece : crack->Pieces) EXPECT_EQ(piece->Kind, 0);
    for (TCustomWipe* wipe : {static_cast<TCustomWipe*>(small.get()), static_cast<TCustomWipe*>(big.get()),
                              static_cast<TCustomWipe*>(crack.get())}) {
        stage.Dest.Fill(0xFF);
        Step(*wipe, 50);
        EXPECT_TRUE(stage.Shows(stage.New));
    }
    // Without the flag the old picture still shows, shrunk, in the middle.
    auto plain = stage.Make<TWipeSmall>(100);
    stage.New.Fill(0);
    Step(*plain, 50);
    EXPECT_NE(stage.Dest.GetPixel(48, 32), 0u);
    EXPECT_EQ(stage.Dest.GetPixel(2, 2), 0u);
}

TEST(WipePixels, RippleTablesAndTheFlatWave) {
    TPixelStage stage(640, 480, 32, 0x102030, 0x405060);
    auto ripple = stage.Make<TWipeRipple>(560);  // front = Elapsed
    ASSERT_EQ(ripple->WaveTable.size(), 160u);
    EXPECT_EQ(ripple->WaveTable[39], 4);
    EXPECT_EQ(ripple->WaveTable[40], 0);
    EXPECT_EQ(ripple->WaveTable[159], 4);
    EXPECT_EQ(ripple->DistanceTable[0], 400);
    EXPECT_EQ(ripple->CosTable[0], -52429);  // (-0.8, -0.6) towards the corner
    EXPECT_EQ(ripple->SinTable[0], -39322);
    ripple->SetParam(0, 40);
    EXPECT_EQ(ripple->WaveTable[39], 39);

    // A flat wave uncovers the new picture as a growing disc.
    ripple->SetParam(0, 0);
    Step(*ripple, 200);
    for (int y = 0; y < 480; y += 7)
        for (int x = 0; x < 640; x += 5) {
            const int qx = x < 320 ? x : 639 - x, qy = y < 240 ? y : 479 - y;
            const bool inside = std::nearbyint(std::hypot(320 - qx, 240 - qy)) <= 200;
            ASSERT_EQ(stage.Dest.GetPixel(x, y), inside ? 0x405060u : 0x102030u) << x << "," << y;
        }

    TPixelStage tiny(10, 10, 16, 1, 2);  // too small for a wave: flat
    auto flat = tiny.Make<TWipeRipple>(10);
    flat->SetParam(0, 7);
    EXPECT_EQ(flat->WaveTable, std::vector<int32_t>(3, 0));
    Step(*flat, 5);
}

// Each pixel names its picture and place: the new picture's x << 12 | y, the old one's with bit 23.
TEST(WipePixels, TheRippleDisplacesTheNewPictureAlongTheRadiusInItsBandOnly) {
    constexpr int kW = 101, kH = 77, cx = kW / 2, cy = kH / 2, kAmplitude = 6;
    TPixelStage stage(kW, kH, 32, 0, 0);
    Paint(stage.Old, kW, kH, 32, [](int x, int y) { return 0x800000u | uint32_t(x) << 12 | uint32_t(y); });
    Paint(stage.New, kW, kH, 32, [](int x, int y) { return uint32_t(x) << 12 | uint32_t(y); });
    auto ripple = stage.Make<TWipeRipple>(100);
    ripple->SetParam(0, kAmplitude);
    const int last = int(ripple->WaveTable.size()) - 1;
    for (int elapsed : {20, 45, 70}) {
        Step(*ripple, elapsed);
        const int front = elapsed * (int(std::nearbyint(std::hypot(cx, cy))) + last + 1) / 100;
        int band = 0;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                if (x == cx || y == cy) continue;  // the odd middle column and row are no quarter's
                const int qx = x < cx ? x : kW - 1 - x, qy = y < cy ? y : kH - 1 - y;
                const int d = int(std::nearbyint(std::hypot(cy - qy, cx - qx)));
                const uint32_t pixel = stage.Dest.GetPixel(x, y);
                SCOPED_TRACE(testing::Message() << elapsed << ": " << x << "," << y);
                if (d > front) {
                    ASSERT_EQ(pixel, stage.Old.GetPixel(x, y));
                    continue;
                }
                if (d < front - last) {
                    ASSERT_EQ(pixel, stage.New.GetPixel(x, y));
                    continue;
                }
                // From the new picture, at a place of the same quarter on the ray from the centre.
                ASSERT_EQ(pixel & 0x800000, 0u);
                ++band;
                const int sx = int(pixel >> 12), sy = int(pixel & 0xFFF);
                const int sqx = x < cx ? sx : kW - 1 - sx, sqy = y < cy ? sy : kH - 1 - sy;
                const double along = std::hypot(cx - sqx, cy - sqy);
                ASSERT_GE(along, d - 1.5);
                ASSERT_LE(along, d + kAmplitude + 1.5);
                const double cross = double(cx - qx) * (cy - sqy) - double(cy - qy) * (cx - sqx);
                ASSERT_LE(std::abs(cross) / std::max(d, 1), 1.5);
            }
        EXPECT_GT(band, 0);
    }
}

TEST(WipePixels, BlurKeepsTheDepthOfItsPictures) {
    for (int bits : {15, 16}) {
        SCOPED_TRACE(bits);
        TPixelStage stage(80, 40, bits, 0, 0);
        Paint(stage.Old, 80, 40, bits, [=](int x, int) { return x < 40 ? 0u : bits == 15 ? 0x7FFFu : 0xFFFFu; });
        TWipeBlurWhite blur(stage.Dest, stage.Old, stage.New);
        EXPECT_EQ(blur.BlurredOld->GetBitCount(), bits);
        EXPECT_EQ(blur.BlurredOld->GetPixel(0, 20), 0u);
        EXPECT_EQ(blur.BlurredOld->GetPixel(79, 20), stage.Old.GetPixel(79, 20));
        const uint32_t edge = blur.BlurredOld->GetPixel(40, 20);
        EXPECT_TRUE(edge != 0 && edge != stage.Old.GetPixel(79, 20)) << edge;
        blur.Length = 640;
        Step(blur, 301);  // the blurred old picture with grey 176 added
        EXPECT_EQ(stage.Dest.GetBitCount(), bits);
        EXPECT_EQ(stage.Dest.GetPixel(0, 20), uint32_t(stage.Dest.ColorToPixel(0xB0B0B0)));
    }
}

}  // namespace
