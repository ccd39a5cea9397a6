#include "graphics/dibxwave.h"
#include "graphics/graphic.h"
#include "tests/graphics/paint.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// One call reaching the target: its destination (a position as an empty rectangle), source
// rectangle and the target's clip rectangle at the time.
struct TCall {
    std::string Op;
    TRect Dest, Src, Clip;
    bool operator==(const TCall&) const = default;
};
using TCalls = std::vector<TCall>;

// A 32-bit memory surface that records the calls it gets, then draws them.
class TRecordingTarget : public TDIBX {
public:
    TCalls Calls;

    void FillRect(const TRect& R, int32_t Color) override {
        Calls.push_back({"Fill", R, {}, ClipRect});
        TDIBX::FillRect(R, Color);
    }
    void Draw(int32_t X, int32_t Y, TCustomDIBX& Source, const TRect& SrcRect, bool Transparent, bool MirrorX,
              bool MirrorY) override {
        Calls.push_back({"Draw", {X, Y, X, Y}, SrcRect, ClipRect});
        TDIBX::Draw(X, Y, Source, SrcRect, Transparent, MirrorX, MirrorY);
    }
    void StretchDraw(const TRect& DestRect, TCustomDIBX& Source, const TRect& SrcRect, bool Transparent, bool MirrorX,
                     bool MirrorY, int32_t Alpha) override {
        Calls.push_back({"Stretch", DestRect, SrcRect, ClipRect});
        TDIBX::StretchDraw(DestRect, Source, SrcRect, Transparent, MirrorX, MirrorY, Alpha);
    }
    void DrawMonoAntialias(int32_t X, int32_t Y, TCustomDIBX&, const TRect& SrcRect, int32_t, bool, bool, int32_t,
                           int32_t) override {
        Calls.push_back({"Mono", {X, Y, X, Y}, SrcRect, ClipRect});
    }
};

struct DIBXWaveForward : testing::Test {
    TRecordingTarget target;
    TDIBXWave wave;
    TDIBX src;

    // A fresh 24 x 16 target under the proxy's rows from Top, and a 2 x 8 source of coded pixels.
    void Wave(int32_t Top, const std::vector<int32_t>& Offsets) {
        Paint(target, 24, 16, 32, [](int, int) { return 0u; });
        Paint(src, 2, 8, 32, [](int x, int y) { return uint32_t(1 + x + 2 * y); });
        target.Calls.clear();
        wave.Target = &target;
        wave.OriginX = 2;
        wave.OriginY = Top;
        wave.SetSize(20, int32_t(Offsets.size()), 0);
        wave.RowOffsets = Offsets;
    }
};

TCall At(const char* Op, int32_t X, int32_t Y, const TRect& Src) { return {Op, {X, Y, X, Y}, Src, {}}; }

}  // namespace

// Runs of equal offsets go to the target in one call each; rows outside the offsets are skipped;
// antialiased text goes one destination row (N source rows) at a time.
TEST_F(DIBXWaveForward, RowRunsCutAtEachChangeOfOffset) {
    Wave(4, {0, 0, 5, 5, 5, 0});
    wave.FillRect({1, 2, 9, 12}, 0x112233);
    EXPECT_EQ(target.Calls, (TCalls{{"Fill", {1, 4, 9, 6}, {}, {}}, {"Fill", {6, 6, 14, 9}, {}, {}},
                                    {"Fill", {1, 9, 9, 10}, {}, {}}}));
    EXPECT_EQ(target.GetPixel(13, 8), 0x112233u);
    target.Calls.clear();
    wave.Draw(0, 3, src, {0, 0, 2, 8}, false, false, false);  // row 3 lies above the offsets
    EXPECT_EQ(target.Calls, (TCalls{At("Draw", 0, 4, {0, 1, 2, 3}), At("Draw", 5, 6, {0, 3, 2, 6}),
                                    At("Draw", 0, 9, {0, 6, 2, 7})}));
    EXPECT_EQ(target.GetPixel(6, 6), 8u);
    target.Calls.clear();
    wave.DrawMonoAntialias(0, 6, src, {0, 1, 2, 8}, 0, false, false, 255, 3);
    EXPECT_EQ(target.Calls, (TCalls{At("Mono", 5, 6, {0, 1, 2, 4}), At("Mono", 5, 7, {0, 4, 2, 7})}));

    // A flat wave is one call and draws what the target draws itself.
    Wave(0, std::vector<int32_t>(16, 0));
    wave.Draw(2, 1, src, {0, 0, 2, 8}, false, true, true);
    TDIBX direct;
    Paint(direct, 24, 16, 32, [](int, int) { return 0u; });
    direct.Draw(2, 1, src, {0, 0, 2, 8}, false, true, true);
    EXPECT_EQ(target.Calls.size(), 1u);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 24; ++x) ASSERT_EQ(target.GetPixel(x, y), direct.GetPixel(x, y)) << x << "," << y;
}

// A stretched draw runs once per row under a one-row clip at the unmoved columns, and the target's
// clip rectangle is put back, set or not.
TEST_F(DIBXWaveForward, PerRowClipRestoresTheTargetClip) {
    Wave(1, {0, 4, 4});
    for (const TRect clip : {TRect{}, TRect{3, 0, 20, 16}}) {
        target.Calls.clear();
        target.SetClipRectDirect(clip);
        wave.StretchDraw({0, 0, 8, 4}, src, {0, 0, 2, 2}, false, false, false, 255);
        const int32_t l = clip.Left;
        EXPECT_EQ(target.Calls, (TCalls{{"Stretch", {0, 0, 8, 4}, {0, 0, 2, 2}, {l, 1, 8, 2}},
                                        {"Stretch", {4, 0, 12, 4}, {0, 0, 2, 2}, {l, 2, 8, 3}},
                                        {"Stretch", {4, 0, 12, 4}, {0, 0, 2, 2}, {l, 3, 8, 4}}}));
        EXPECT_EQ(target.ClipRect, clip);
    }
    EXPECT_EQ(target.GetPixel(7, 2), 3u);  // row 2 moved by four: source column 0 on 4..7
    EXPECT_EQ(target.GetPixel(8, 2), 0u);  // cut at the unmoved right edge
    EXPECT_EQ(target.GetPixel(3, 0), 0u);  // no offset for row 0
}

// Each run of a wrapped copy carries on the pattern where the rows above it stopped, for the
// source's height of rows.
TEST_F(DIBXWaveForward, WrapRunsCarryOnThePattern) {
    Wave(0, {0, 0, 3, 3, 0, 0, 0, 0, 0});
    wave.DrawWrap({1, 0, 20, 16}, src, 0, 6, false, false);
    const uint32_t rows[][5] = {{13, 14, 0, 0, 0}, {15, 16, 0, 0, 0}, {0, 0, 0, 1, 2}, {0, 0, 0, 3, 4}};
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(target.GetPixel(x + 1, y), rows[y][x]) << x << "," << y;
    EXPECT_EQ(target.GetPixel(1, 7), 11u);
    EXPECT_EQ(target.GetPixel(1, 8), 0u);
}

TEST_F(DIBXWaveForward, ClipRectangles) {
    Wave(3, std::vector<int32_t>(10, 0));  // the area (2, 3, 22, 13) on the target
    wave.UnionClipRect({0, 0, 6, 6});
    wave.UnionClipRect({30, 0, 40, 5});  // outside the area: nothing
    wave.UnionClipRect({10, 10, 12, 20});
    EXPECT_EQ(wave.ClipRect, (TRect{2, 3, 12, 13}));
    EXPECT_EQ(target.ClipRect, (TRect{2, 3, 12, 13}));
    wave.ClearClipRect();
    EXPECT_EQ(wave.ClipRect.Right, 0);
    EXPECT_EQ(target.ClipRect.Right, 0);
    EXPECT_EQ(TDIBXWave().GetBitsPerPixel(), 0);
}

// Sides from 0 up to the image side limit; beyond it an error and nothing changed.
TEST(DIBXWave, SetSizeKeepsItsRowsBounded) {
    TDIBXWave wave;
    wave.SetSize(-5, -7, 0);
    EXPECT_EQ(wave.GetWidth(), 0);
    EXPECT_TRUE(wave.RowOffsets.empty());
    wave.SetSize(kMaxImageSide, kMaxImageSide, 0);
    EXPECT_THROW(wave.SetSize(10, kMaxImageSide + 1, 0), EInvalidGraphic);
    EXPECT_THROW(wave.SetSize(INT32_MAX, 3, 0), EInvalidGraphic);
    EXPECT_EQ(wave.GetHeight(), kMaxImageSide);
    EXPECT_EQ(wave.RowOffsets.size(), size_t(kMaxImageSide));
}
