#include "text/fontpixels.h"
#include "tests/graphics/paint.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

constexpr int kDepths[] = {15, 16, 32};

// Per red, green and blue field: (new * W + old * (255 - W)) >> 8; other bits 0.
uint32_t Blend(int Bits, uint32_t Old, uint32_t New, uint32_t W) {
    const std::vector<std::pair<int, int>> fields = Bits == 15   ? std::vector<std::pair<int, int>>{{10, 5}, {5, 5}, {0, 5}}
                                                    : Bits == 16 ? std::vector<std::pair<int, int>>{{11, 5}, {5, 6}, {0, 5}}
                                                                 : std::vector<std::pair<int, int>>{{16, 8}, {8, 8}, {0, 8}};
    uint32_t r = 0;
    for (auto [sh, width] : fields) {
        const uint32_t max = (1u << width) - 1;
        r |= (((New >> sh & max) * W + (Old >> sh & max) * (255 - W)) >> 8) << sh;
    }
    return r;
}

// Straight-alpha "over" of Color at coverage C onto a pixel D with mask value M.
void Over(int Bits, uint32_t& D, uint32_t& M, uint32_t C, uint32_t Color) {
    if (C == 255) {
        D = Color, M = 255;
        return;
    }
    M = M + (255 - M) * C / 255;
    D = Blend(Bits, D, Color, M ? C * 255 / M : 255);
}

uint32_t Noise(int Bits, int x, int y) { return Mix(x, y, 11) & (Bits == 32 ? ~0u : 0xFFFF); }

// A glyph of W x H coverage values that never shifts in its cell.
void MakeGlyph(TFontPixel& G, int W, int H, const std::function<uint32_t(int, int)>& Coverage) {
    Paint(G.Surface, W, H, 8, Coverage);
    G.Size = 64;
    G.TrailingSpace = 64;
}

// A colour surface of noise and a mask of other noise, both W x H.
struct TTarget {
    TDIBX Dest, Mask;
    TTarget(int Bits, int W, int H) {
        Paint(Dest, W, H, Bits, [&](int x, int y) { return Noise(Bits, x, y); });
        Paint(Mask, W, H, 8, [](int x, int y) { return Mix(x, y, 5) & 0xFF; });
    }
};

constexpr uint32_t kText = 0x12345678, kBorder = 0x9ABCDEF0, kShadow = 0x0F1E2D3C;

}  // namespace

// The plain draw paints covered pixels and raises the mask to the coverage; the shadow without a
// border copies the coverage into the mask; the text without a border lays its coverage "over"
// what the mask and surface held; with a border, every covered pixel lays the border "over" its
// eight neighbours in turn, then the glyph's pixels mix text and border colours by coverage.
TEST(FontPixelDraw, PixelFormulas) {
    for (int bits : kDepths) {
        SCOPED_TRACE(bits);
        const uint32_t keep = bits == 32 ? ~0u : 0xFFFF, text = kText & keep, border = kBorder & keep,
                       shadow = kShadow & keep;
        const uint32_t row[] = {255, 200, 77, 1, 0};
        TFontPixel g;
        MakeGlyph(g, 5, 1, [&](int x, int) { return row[x]; });
        TRect touched;

        TTarget plain(bits, 8, 4), over(bits, 8, 4);
        g.Draw(plain.Dest, plain.Mask, {1, 1, 8, 4}, 0, 0, false, false, int32_t(text), 0, 0, touched, false);
        g.Draw(over.Dest, over.Mask, {1, 1, 8, 4}, 0, 1, false, false, int32_t(text), 0, int32_t(shadow), touched,
               false);
        for (int x = 0; x < 5; ++x) {
            const uint32_t d0 = Noise(bits, x + 1, 1), m0 = Mix(x + 1, 1, 5) & 0xFF;
            EXPECT_EQ(plain.Dest.GetPixel(x + 1, 1), row[x] ? text : d0) << x;
            EXPECT_EQ(plain.Mask.GetPixel(x + 1, 1), std::max(m0, row[x])) << x;
            EXPECT_EQ(over.Mask.GetPixel(x + 2, 2), row[x]) << x;
            EXPECT_EQ(over.Dest.GetPixel(x + 2, 2), row[x] ? shadow : Noise(bits, x + 2, 2)) << x;
            uint32_t d = d0, m = m0;
            if (row[x]) Over(bits, d, m, row[x], text);
            EXPECT_EQ(over.Dest.GetPixel(x + 1, 1), d) << x;
            EXPECT_EQ(over.Mask.GetPixel(x + 1, 1), m) << x;
        }

        const uint32_t pair[] = {200, 90};
        TFontPixel two;
        MakeGlyph(two, 2, 1, [&](int x, int) { return pair[x]; });
        TTarget t(bits, 6, 5);
        two.Draw(t.Dest, t.Mask, {1, 1, 6, 5}, 1, 0, false, false, int32_t(text), int32_t(border), 0, touched, false);
        // The glyph's pixels sit at (2, 2) and (3, 2).
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 6; ++x) {
                uint32_t d = Noise(bits, x, y), m = Mix(x, y, 5) & 0xFF;
                for (int k = 0; k < 2; ++k)
                    if (std::abs(x - 2 - k) <= 1 && std::abs(y - 2) <= 1 && (x != 2 + k || y != 2))
                        Over(bits, d, m, pair[k], border);
                if (y == 2 && (x == 2 || x == 3)) d = Blend(bits, border, text, pair[x - 2]), m = 255;
                EXPECT_EQ(t.Dest.GetPixel(x, y), d) << x << "," << y;
                EXPECT_EQ(t.Mask.GetPixel(x, y), m) << x << "," << y;
            }
    }
}

namespace {

// A full 4 x 6 glyph 1 right of and 2 below its cell's corner, with an underline 2 thick and a
// strike-out 1 thick 5 below the cell top.
void MakeLinedGlyph(TFontPixel& G) {
    MakeGlyph(G, 4, 6, [](int, int) { return 255u; });
    G.OffsetX = 1, G.OffsetY = 2;
    G.UnderlineSize = 2, G.StrikeOutTop = 5, G.StrikeOutSize = 1;
}

constexpr uint32_t kBack = 0x01020304, kMaskBack = 7;

struct TFlat {
    TDIBX Dest, Mask;
    TFlat(int Bits, int W, int H) {
        Paint(Dest, W, H, Bits, [](int, int) { return kBack; });
        Paint(Mask, W, H, 8, [](int, int) { return kMaskBack; });
    }
};

}  // namespace

// Touched is exactly the bounding box of every pixel the draw changed in the surface or the mask,
// for each border, shadow, line and fill combination.
TEST(FontPixelDraw, TouchedCoversEveryWrite) {
    for (int b : {0, 2})
        for (int s : {0, 2})
            for (int lines : {0, 1})
                for (int flags = 0; flags < 8; ++flags) {
                    SCOPED_TRACE(testing::Message() << "border " << b << " shadow " << s << " lines " << lines
                                                    << " flags " << flags);
                    TFontPixel g;
                    MakeLinedGlyph(g);
                    if (!lines) g.UnderlineSize = g.StrikeOutSize = 0;
                    TFlat t(32, 40, 40);
                    TRect touched;
                    g.Draw(t.Dest, t.Mask, {10, 20, 26, 36}, b, s, flags & 1, flags & 2, int32_t(kText),
                           int32_t(kBorder), int32_t(kShadow), touched, flags & 4);
                    TRect changed{40, 40, 0, 0};
                    for (int y = 0; y < 40; ++y)
                        for (int x = 0; x < 40; ++x)
                            if (t.Dest.GetPixel(x, y) != kBack || t.Mask.GetPixel(x, y) != kMaskBack)
                                changed = {std::min(changed.Left, x), std::min(changed.Top, y),
                                           std::max(changed.Right, x + 1), std::max(changed.Bottom, y + 1)};
                    EXPECT_EQ(touched, changed);
                }
}

// Lines span the cell: the underline ends on its bottom edge, the strike-out lies StrikeOutTop
// down. A run's first shadow line starts S in, its last lines stop S short; in the plain draw the
// lines go into the mask only.
TEST(FontPixelDraw, LinesJoinRuns) {
    TFontPixel g;
    MakeLinedGlyph(g);
    TRect touched;
    TFlat plain(32, 40, 40);
    g.Draw(plain.Dest, plain.Mask, {10, 20, 26, 36}, 0, 0, false, false, int32_t(kText), 0, 0, touched, false);
    for (int x : {10, 25})
        for (int y : {25, 34, 35}) {
            EXPECT_EQ(plain.Mask.GetPixel(x, y), 255u) << x << "," << y;
            EXPECT_EQ(plain.Dest.GetPixel(x, y), kBack) << x << "," << y;
        }
    EXPECT_EQ(plain.Mask.GetPixel(10, 33), kMaskBack);

    for (bool run : {false, true}) {
        TFlat t(32, 40, 40);
        g.Draw(t.Dest, t.Mask, {10, 20, 26, 36}, 0, 2, run, run, int32_t(kText), 0, int32_t(kShadow), touched, false);
        // The shadow underline fills rows 34..35, the text underline rows 32..33.
        EXPECT_EQ(t.Dest.GetPixel(11, 35), run ? kBack : kShadow);
        EXPECT_EQ(t.Dest.GetPixel(12, 35), kShadow);
        EXPECT_EQ(t.Dest.GetPixel(24, 32), run ? kBack : kText);
        EXPECT_EQ(t.Dest.GetPixel(23, 32), kText);
        EXPECT_EQ(t.Mask.GetPixel(24, 33), run ? kMaskBack : 255u);
    }
}

// A glyph reaching past any edge of the surface, or of a clip rectangle set on both surfaces,
// draws inside them exactly what an unclipped draw puts there, and nothing outside.
TEST(FontPixelDraw, ClipsToSurfaceAndClipRect) {
    TFontPixel g;
    MakeLinedGlyph(g);
    g.Surface.SetPixel(0, 0, 90);  // partial coverage at a corner
    for (int bits : {16, 32})
        for (const TRect clip : {TRect{0, 0, 0, 0}, TRect{2, 1, 9, 8}})
            for (auto [cx, cy] : {std::pair{-6, -7}, {5, 4}, {-3, 3}, {4, -5}})
                for (int b : {0, 2})
                    for (int s : {0, 2}) {
                        SCOPED_TRACE(testing::Message() << bits << " bits, clip " << clip.Right << ", cell " << cx
                                                        << "," << cy << ", border " << b << ", shadow " << s);
                        TFlat whole(bits, 40, 40), cut(bits, 12, 10);
                        cut.Dest.SetClipRectDirect(clip), cut.Mask.SetClipRectDirect(clip);
                        TRect touched;
                        g.Draw(whole.Dest, whole.Mask, Bounds(cx + 10, cy + 10, 12, 12), b, s, false, false,
                               int32_t(kText), int32_t(kBorder), int32_t(kShadow), touched, false);
                        g.Draw(cut.Dest, cut.Mask, Bounds(cx, cy, 12, 12), b, s, false, false, int32_t(kText),
                               int32_t(kBorder), int32_t(kShadow), touched, false);
                        const TRect inside = cut.Dest.GetClipRect();
                        for (int y = 0; y < 10; ++y)
                            for (int x = 0; x < 12; ++x) {
                                const bool in = PointInRect(inside, x, y);
                                EXPECT_EQ(cut.Dest.GetPixel(x, y), in ? whole.Dest.GetPixel(x + 10, y + 10)
                                                                      : kBack & (bits == 32 ? ~0u : 0xFFFF))
                                    << x << "," << y;
                                EXPECT_EQ(cut.Mask.GetPixel(x, y), in ? whole.Mask.GetPixel(x + 10, y + 10) : kMaskBack)
                                    << x << "," << y;
                            }
                    }
}
