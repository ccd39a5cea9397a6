#include "text/fontpixels.h"
#include "graphics/pngpics.h"
#include "tests/common/fixture.h"
#include "tests/graphics/paint.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <tuple>
#include <vector>

namespace {

constexpr int kDepths[] = {15, 16, 32};

// Per red, green and blue field: (new * W + old * (255 - W)) >> 8; other bits 0.
uint32_t Blend(int Bits, uint32_t Old, uint32_t New, uint32_t W) {
    const int rb = Bits == 32 ? 8 : 5, g = Bits == 32 ? 8 : Bits == 16 ? 6 : 5;
    uint32_t r = 0;
    for (auto [sh, width] : {std::pair{0, rb}, {rb, g}, {rb + g, rb}}) {
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

constexpr uint32_t kText = 0x12345678, kBorder = 0x9ABCDEF0, kShadow = 0x0F1E2D3C;
constexpr uint32_t kBack = 0x01020304, kMaskBack = 7;

// A colour surface and a mask of W x H, of one value each, or of noise when Noisy.
struct TFlat {
    TDIBX Dest, Mask;
    TFlat(int Bits, int W, int H, bool Noisy = false) {
        Dest.SetSize(W, H, Bits), Mask.SetSize(W, H, 8);
        Dest.Fill(int32_t(kBack)), Mask.Fill(kMaskBack);
        if (Noisy) {
            Paint(Dest, W, H, Bits, [&](int x, int y) { return Noise(Bits, x, y); });
            Paint(Mask, W, H, 8, [](int x, int y) { return Mix(x, y, 5) & 0xFF; });
        }
    }
    // The bounding box of the pixels changed in either surface, (0, 0, 0, 0) for none.
    TRect Changed() const {
        const uint32_t back = kBack & (Dest.GetBitCount() == 32 ? ~0u : 0xFFFF);
        TRect r{0, 0, 0, 0};
        for (int y = 0; y < Dest.GetHeight(); ++y)
            for (int x = 0; x < Dest.GetWidth(); ++x)
                if (Dest.GetPixel(x, y) != back || Mask.GetPixel(x, y) != kMaskBack)
                    r = RectIsEmpty(r) ? TRect{x, y, x + 1, y + 1}
                                       : TRect{std::min(r.Left, x), r.Top, std::max(r.Right, x + 1), y + 1};
        return r;
    }
};

// A full 4 x 6 glyph 1 right of and 2 below its cell's corner, with an underline 2 thick and a
// strike-out 1 thick 5 below the cell top.
void MakeLinedGlyph(TFontPixel& G) {
    MakeGlyph(G, 4, 6, [](int, int) { return 255u; });
    G.OffsetX = 1, G.OffsetY = 2;
    G.UnderlineSize = 2, G.StrikeOutTop = 5, G.StrikeOutSize = 1;
}

const std::string kDrawGothic = "ＭＳ ゴシック";
constexpr uint16_t kA = 0x82A0;  // あ

// The border in its plain form into Model: every covered pixel of G placed at (X, Y) lays its
// coverage "over" each pixel of the square of side 2B + 1 around it but itself, in row order,
// inside Clip.
void ModelBorder(TFlat& Model, const TFontPixel& G, int X, int Y, int B, int Bits, uint32_t Color, const TRect& Clip) {
    for (int gy = 0; gy < G.GetHeight(); ++gy)
        for (int gx = 0; gx < G.GetWidth(); ++gx)
            for (int ty = Y + gy - B; ty <= Y + gy + B; ++ty)
                for (int tx = X + gx - B; tx <= X + gx + B; ++tx) {
                    const uint32_t c = G.Surface.GetPixel(gx, gy);
                    if (!c || (tx == X + gx && ty == Y + gy) || !PointInRect(Clip, tx, ty)) continue;
                    uint32_t d = Model.Dest.GetPixel(tx, ty), m = Model.Mask.GetPixel(tx, ty);
                    Over(Bits, d, m, c, Color);
                    Model.Dest.SetPixel(tx, ty, d), Model.Mask.SetPixel(tx, ty, m);
                }
}

void ExpectSamePixels(const TFlat& Drawn, const TFlat& Model) {
    for (int y = 0; y < Drawn.Dest.GetHeight(); ++y)
        for (int x = 0; x < Drawn.Dest.GetWidth(); ++x) {
            ASSERT_EQ(Drawn.Dest.GetPixel(x, y), Model.Dest.GetPixel(x, y)) << x << "," << y;
            ASSERT_EQ(Drawn.Mask.GetPixel(x, y), Model.Mask.GetPixel(x, y)) << x << "," << y;
        }
}

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

        TFlat plain(bits, 8, 4, true), over(bits, 8, 4, true);
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
        TFlat t(bits, 6, 5, true);
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

// The border against its plain form, pixel for pixel: on a noisy glyph, on a full block with a
// partly covered fringe (and a partly covered pixel just before the block's last full one) and on a
// wider glyph of partly covered pixels only, faint below its top rows; over masks of 0, 255 and
// values between, with squares smaller and larger than the glyph, cut by the clip rectangle and
// the surface's edge.
TEST(FontPixelDraw, BorderMatchesTheSquareOfOvers) {
    const std::tuple<int, int, std::function<uint32_t(int, int)>> glyphs[] = {
        {9, 7,
         [](int x, int y) {
             const uint32_t v = Mix(x, y, 3);
             return v % 3 == 0 ? 0u : v % 3 == 1 ? 255u : (v >> 8 & 0xFE) + 1;
         }},
        {9, 7,
         [](int x, int y) {
             const bool fringe = x == 0 || y == 0 || x == 8 || y == 6 || (x == 6 && y == 5);
             return fringe ? 40u + 20 * uint32_t(x + y) % 200 : 255u;
         }},
        {17, 13,
         [](int x, int y) {
             const uint32_t v = Mix(x, y, 4);
             return v % 2 ? 0u : y < 3 ? 200u : 1 + (v >> 8) % 12;
         }},
    };
    for (int bits : kDepths)
        for (const auto& [w, h, coverage] : glyphs)
            for (int b : {1, 2, 3, 7, 12})
                for (auto [x, y] : {std::pair{14, 11}, {-3, 30}}) {
                    SCOPED_TRACE(testing::Message() << bits << " bits, " << w << " wide, border " << b << " at " << x
                                                    << "," << y);
                    TFontPixel g;
                    MakeGlyph(g, w, h, coverage);
                    const uint32_t color = kBorder & (bits == 32 ? ~0u : 0xFFFF);
                    TFlat drawn(bits, 60, 56, true), model(bits, 60, 56, true);
                    for (TFlat* f : {&drawn, &model})
                        Paint(f->Mask, 60, 56, 8, [](int x, int y) {
                            const uint32_t v = Mix(x, y, 5);
                            return v % 3 == 0 ? 0u : v % 3 == 1 ? 255u : v >> 8 & 0xFF;
                        });
                    const TRect clip{2, 1, 57, 56};
                    drawn.Dest.ClearClipRect();
                    drawn.Dest.UnionClipRect(clip);
                    g.DrawBorder(drawn.Dest, drawn.Mask, x, y, b, int32_t(color));
                    ModelBorder(model, g, x, y, b, bits, color, clip);
                    ExpectSamePixels(drawn, model);
                }
}

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
                    EXPECT_EQ(touched, t.Changed());
                }
}

// Real glyphs, antialiased and not, over a noisy surface and mask: the border drawn as set up to
// the font size and as wide as that past it, in its plain form, and the glyph's pixels mixing text
// and border colours by coverage.
TEST(FontPixelDraw, RealGlyphBordersAreDrawnAsSetUpToTheFontSize) {
    TFontPixelManager manager;
    for (int level : {3, 0})
        for (auto [size, border, drawn] : {std::tuple{16, 5, 5}, {14, 5, 5}, {12, 12, 12}, {12, 255, 12}}) {
            SCOPED_TRACE(testing::Message() << "level " << level << ", size " << size << ", border " << border);
            manager.AntialiasLevel = level;
            TFontPixel& g = *manager.GetGlyph(0x8ABF, kDrawGothic, size, 0);
            TFlat t(32, 64, 64, true), model(32, 64, 64, true);
            TRect touched;
            g.Draw(t.Dest, t.Mask, Bounds(20, 20, size, size), border, 0, false, false, int32_t(kText),
                   int32_t(kBorder), 0, touched, false);
            ASSERT_EQ(touched.Right - touched.Left, g.GetWidth() + 2 * drawn);
            const int x = touched.Left + drawn, y = touched.Top + drawn;
            ModelBorder(model, g, x, y, drawn, 32, kBorder, model.Dest.GetBoundsRect());
            for (int gy = 0; gy < g.GetHeight(); ++gy)
                for (int gx = 0; gx < g.GetWidth(); ++gx)
                    if (const uint32_t c = g.Surface.GetPixel(gx, gy)) {
                        model.Dest.SetPixel(x + gx, y + gy, c == 255 ? kText : Blend(32, kBorder, kText, c));
                        model.Mask.SetPixel(x + gx, y + gy, 255);
                    }
            ExpectSamePixels(t, model);
        }
}

// A border wider than the font size is drawn as wide as that, lines and shadow too.
TEST(FontPixelDraw, BorderIsAtMostTheFontSize) {
    TFontPixel g;
    MakeLinedGlyph(g);
    g.Size = 12;
    TFlat wide(32, 64, 64), bounded(32, 64, 64);
    TRect wideTouched, boundedTouched;
    g.Draw(wide.Dest, wide.Mask, {20, 20, 32, 32}, 255, 2, true, true, int32_t(kText), int32_t(kBorder),
           int32_t(kShadow), wideTouched, false);
    g.Draw(bounded.Dest, bounded.Mask, {20, 20, 32, 32}, 12, 2, true, true, int32_t(kText), int32_t(kBorder),
           int32_t(kShadow), boundedTouched, false);
    EXPECT_EQ(wideTouched, boundedTouched);
    ExpectSamePixels(wide, bounded);
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
    for (auto [x, y, mask] : {std::tuple{10, 25, 255u}, {25, 35, 255u}, {25, 34, 255u}, {10, 33, kMaskBack}})
        EXPECT_EQ(plain.Mask.GetPixel(x, y), mask) << x << "," << y;
    EXPECT_EQ(plain.Changed(), (TRect{10, 22, 26, 36}));
    EXPECT_EQ(plain.Dest.GetPixel(10, 34), kBack);

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

// A glyph narrower than its room moves right by (a + b div 2) x room / (a + b + c) less OffsetX,
// a half going to the even neighbour: the fake face's 24-pixel box (a 1, b 12, c 1) in cells 17
// and 19 wide moves by 2.5 -> 2 and 3.5 -> 4. With border or shadow in fill mode the mask is
// cleared under the moved box: no pixel of Touched keeps what the mask held, none outside changes.
TEST(FontPixelDraw, CentringShiftAndClearedBox) {
    TFontPixelManager manager(platform::CreateFakeFontService);
    TFontPixel* g = manager.GetGlyph(kA, kDrawGothic, 24, 0);
    ASSERT_EQ(g->GetWidth(), 12);
    ASSERT_EQ(g->OffsetX, 1);
    for (auto [cw, shift] : {std::pair{17, 1}, {19, 3}, {24, 5}}) {
        TFlat t(16, 40, 30);
        t.Mask.Fill(200);
        TRect touched;
        g->Draw(t.Dest, t.Mask, {0, 0, cw, 24}, 1, 1, false, false, 0x7FFF, 0x001F, 0x0300, touched, true);
        EXPECT_EQ(touched.Left, 1 + shift) << cw;
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x)
                EXPECT_EQ(t.Mask.GetPixel(x, y) == 200, !PointInRect(touched, x, y)) << cw << ": " << x << "," << y;
    }
}

// Every style at sizes 0, 1 and 300, with and without border and shadow, in both modes, partly
// off the surface: nothing is written outside Touched (the sanitizers watch the rest).
TEST(FontPixelDraw, EverySizeAndStyle) {
    TFontPixelManager manager(platform::CreateFakeFontService);
    for (int size : {0, 1, 300})
        for (uint8_t style = 0; style < 16; ++style)
            for (int bs = 0; bs < 4; ++bs) {
                SCOPED_TRACE(testing::Message() << "size " << size << " style " << int(style) << " " << bs);
                TFontPixel* g = manager.GetGlyph(kA, kDrawGothic, size, style);
                TFlat t(bs == 3 ? 15 : 32, 100, 80);
                TRect touched;
                g->Draw(t.Dest, t.Mask, Bounds(-20, 10, size, size), bs & 1 ? 2 : 0, bs & 2 ? 2 : 0, true, true,
                        int32_t(kText), int32_t(kBorder), int32_t(kShadow), touched, style & 1);
                const TRect changed = t.Changed();
                EXPECT_TRUE(RectIsEmpty(changed) || RectContains(changed, touched)) << touched.Right;
                EXPECT_EQ(RectIsEmpty(touched), g->GetWidth() == 0);
            }
}

// "あ漢A" of the real faces with border 2, shadow 2 and underline, laid over a light ground and
// written to fontpixels_draw.png in the working folder to look at.
TEST(FontPixelDraw, RealGlyphsPicture) {
    TFontPixelManager manager;
    TDIBX dest, mask, out;
    dest.SetSize(200, 72, 32), mask.SetSize(200, 72, 8), out.SetSize(200, 72, 32);
    dest.Fill(0), mask.Fill(0);
    const uint16_t codes[] = {kA, 0x8ABF, 'A'};
    int32_t x = 8;
    for (int i = 0; i < 3; ++i) {
        TFontPixel* g = manager.GetGlyph(codes[i], kDrawGothic, 48, platform::kFontUnderline);
        const int32_t advance = g->OffsetX + g->GetWidth() + g->TrailingSpace;
        TRect touched;
        g->Draw(dest, mask, Bounds(x, 8, advance, 48), 2, 2, i == 0, i == 2, dest.ColorToPixel(0xFFFFFF),
                dest.ColorToPixel(0x803010), dest.ColorToPixel(0x606060), touched, false);
        EXPECT_FALSE(RectIsEmpty(touched)) << i;
        x += advance;
    }
    for (int py = 0; py < 72; ++py)
        for (int px = 0; px < 200; ++px) {
            const uint32_t m = mask.GetPixel(px, py), d = dest.GetPixel(px, py);
            uint32_t p = 0;
            for (int sh = 0; sh < 24; sh += 8) p |= ((d >> sh & 0xFF) * m + 0xE8 * (255 - m)) / 255 << sh;
            out.SetPixel(px, py, p);
        }
    TMemoryStream png;
    TPngWriteStream().SaveStream(*out.DIB, nullptr, png);
    std::ofstream("fontpixels_draw.png", std::ios::binary) << Bytes(png);
    EXPECT_GT(png.Size(), 100);
}
