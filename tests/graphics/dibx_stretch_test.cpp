#include "graphics/dibx.h"
#include "tests/graphics/paint.h"
#include "graphics/dxdibx.h"
#include "platform/display.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <functional>
#include <vector>

namespace {

uint32_t StretchStorage(int Bits) { return Bits == 32 ? ~0u : Bits == 24 ? 0xFFFFFFu : Bits == 15 ? 0x7FFFu : 0xFFFFu; }
// 15/16 and 32 bits take the packed rules and centred sampling; 24 bits the channel rules.
bool Packed(int Bits) { return Bits != 24; }
// Pixel (x, y) of a picture whose pixels tell where they come from, on every format.
uint32_t Coded(int x, int y) { return uint32_t(x + 1) | uint32_t(y + 1) << 5; }

// Per channel F(d, s, channel maximum), channels as fields shifted down (32 bits: four bytes).
uint32_t StretchChannels(int Bits, uint32_t D, uint32_t S, const std::function<uint64_t(uint64_t, uint64_t, uint64_t)>& F) {
    std::vector<uint32_t> masks = {0xFF0000, 0xFF00, 0xFF};
    if (Bits == 15) masks = {0x7C00, 0x03E0, 0x001F};
    if (Bits == 16) masks = {0xF800, 0x07E0, 0x001F};
    if (Bits == 32) masks.push_back(0xFF000000);
    uint32_t r = 0;
    for (uint32_t m : masks) {
        const int p = std::countr_zero(m);
        r |= uint32_t(F((D & m) >> p, (S & m) >> p, m >> p) << p);
    }
    return r;
}
uint32_t StretchBlend(int Bits, uint32_t D, uint32_t S, uint32_t W) {
    return StretchChannels(Bits, D, S, [&](uint64_t d, uint64_t s, uint64_t) { return (d * (255 - W) + s * W) >> 8; });
}
uint32_t StretchAdd(int Bits, uint32_t D, uint32_t S, uint32_t I) {
    return StretchChannels(Bits, D, S,
                      [&](uint64_t d, uint64_t s, uint64_t max) { return std::min(d + ((s * I) >> 8), max); });
}

// The four draws as one call each, with a reference for the pixel the draw makes of d, s and m.
struct Op {
    const char* Name;
    std::function<void(TDIBX& D, const TRect& To, TDIBX& S, const TRect& From, bool Mirror, TDIBX& M, int A)> Run;
    std::function<uint32_t(int Bits, uint32_t Key, uint32_t d, uint32_t s, uint32_t m, uint32_t a)> Ref;
};
const Op kOps[] = {
    {"StretchDraw",
     [](TDIBX& D, const TRect& To, TDIBX& S, const TRect& From, bool Mi, TDIBX&, int A) {
         D.StretchDraw(To, S, From, true, Mi, false, A);
     },
     [](int Bits, uint32_t Key, uint32_t d, uint32_t s, uint32_t, uint32_t a) {
         return s == Key ? d : a >= 255 ? s : Packed(Bits) && s == d ? d : StretchBlend(Bits, d, s, a);
     }},
    {"StretchDrawMask",
     [](TDIBX& D, const TRect& To, TDIBX& S, const TRect& From, bool Mi, TDIBX& M, int A) {
         D.StretchDrawMask(To, S, From, Mi, false, M, A);
     },
     [](int Bits, uint32_t, uint32_t d, uint32_t s, uint32_t m, uint32_t a) {
         a = std::min(a, 255u);
         if (m == 0) return d;
         if (!Packed(Bits)) return StretchBlend(Bits, d, s, m * a / 256);
         if (a == 255) return m == 255 ? s : StretchBlend(Bits, d, s, m);
         return Bits != 32 && s == d ? d : StretchBlend(Bits, d, s, Bits == 32 && m == 255 ? a : m * a / 256);
     }},
    {"StretchDrawAdd",
     [](TDIBX& D, const TRect& To, TDIBX& S, const TRect& From, bool Mi, TDIBX&, int A) {
         D.StretchDrawAdd(To, S, From, true, Mi, false, A);
     },
     [](int Bits, uint32_t Key, uint32_t d, uint32_t s, uint32_t, uint32_t a) {
         return s == Key ? d : StretchAdd(Bits, d, s, std::min(a, 256u));
     }},
    {"StretchDrawAddMask",
     [](TDIBX& D, const TRect& To, TDIBX& S, const TRect& From, bool Mi, TDIBX& M, int A) {
         D.StretchDrawAddMask(To, S, From, Mi, false, M, A);
     },
     [](int Bits, uint32_t, uint32_t d, uint32_t s, uint32_t m, uint32_t a) {
         a = std::min(a, 256u);
         return m == 0 ? d : StretchAdd(Bits, d, s, Bits == 32 && m == 255 ? a : m * a / 256);
     }},
};

// First + i * Num / Den for i below Count.
std::vector<int> Seq(int First, int Count, int Num, int Den = 1) {
    std::vector<int> v;
    for (int i = 0; i < Count; ++i) v.push_back(First + i * Num / Den);
    return v;
}

}  // namespace

// Which source pixel each destination pixel takes, on both samplings, mirrored or not; the
// source rectangle starts at (2, 2) inside a larger picture. Edge stepping mirrored into twice
// the size ends half a pixel before the rectangle: the nearest column inside it.
TEST(DIBXStretch, SamplesTheSourceColumnsAndRows) {
    struct Case {
        int Bits, SrcSize, DestSize;
        bool Mirror;
        std::vector<int> Want;
    } cases[] = {
        {24, 10, 20, false, Seq(0, 20, 1, 2)},
        {24, 10, 20, true, {9, 8, 8, 7, 7, 6, 6, 5, 5, 4, 4, 3, 3, 2, 2, 1, 1, 0, 0, 0}},
        {24, 20, 10, false, Seq(0, 10, 2)},
        {24, 20, 10, true, Seq(19, 10, -2)},
        {15, 10, 20, false, Seq(0, 20, 1, 2)},
        {16, 10, 20, true, Seq(9, 20, -1, 2)},
        {32, 20, 10, false, Seq(1, 10, 2)},
        {32, 20, 10, true, Seq(18, 10, -2)},
    };
    for (const Case& c : cases) {
        TDIBX src, d;
        Paint(src, 24, 24, c.Bits, Coded);
        d.SetSize(c.DestSize, c.DestSize, c.Bits);
        d.StretchDraw(d.GetBoundsRect(), src, Bounds(2, 2, c.SrcSize, c.SrcSize), false, c.Mirror, c.Mirror, 255);
        for (int y = 0; y < c.DestSize; ++y)
            for (int x = 0; x < c.DestSize; ++x)
                ASSERT_EQ(d.GetPixel(x, y), Coded(2 + c.Want[size_t(x)], 2 + c.Want[size_t(y)]))
                    << c.Bits << " bits " << c.SrcSize << " to " << c.DestSize << " mirror " << c.Mirror << " at " << x
                    << "," << y;
    }
}

// A destination cut by the clip rectangle (3 pixels on the left at step 0.5: Trunc(1.5) source
// columns and half a column carried over) shows exactly the unclipped draw's pixels; 1280 and
// 1281 columns draw whole.
TEST(DIBXStretch, ClippedAndWideDrawsKeepTheUnclippedPixels) {
    for (int bits : {15, 16, 24, 32})
        for (int mirror = 0; mirror < 4; ++mirror) {
            TDIBX src, whole, cut;
            Paint(src, 10, 7, bits, [&](int x, int y) { return Mix(x, y, 5) & StretchStorage(bits); });
            const TRect clip{5, 4, 19, 12};
            for (TDIBX* d : {&whole, &cut}) {
                Paint(*d, 30, 20, bits, [](int, int) { return 0u; });
                if (d == &cut) d->UnionClipRect(clip);
                d->StretchDraw(Bounds(2, 1, 20, 15), src, src.GetBoundsRect(), false, mirror & 1, mirror & 2, 255);
            }
            for (int y = 0; y < 20; ++y)
                for (int x = 0; x < 30; ++x)
                    ASSERT_EQ(cut.GetPixel(x, y), x >= 5 && x < 19 && y >= 4 && y < 12 ? whole.GetPixel(x, y) : 0u)
                        << bits << " bits mirror " << mirror << " at " << x << "," << y;
        }
    for (int bits : {24, 32})
        for (int width : {1280, 1281})
            for (bool mirror : {false, true}) {
                TDIBX src, d;
                Paint(src, width, 1, bits, [&](int x, int) { return Mix(x, 0, 9) & StretchStorage(bits); });
                Paint(d, width + 3, 1, bits, [](int, int) { return 0u; });
                d.StretchDraw(Bounds(2, 0, width, 1), src, src.GetBoundsRect(), false, mirror, false, 255);
                for (int x = 0; x < width; ++x)
                    ASSERT_EQ(d.GetPixel(2 + x, 0), src.GetPixel(mirror ? width - 1 - x : x, 0))
                        << bits << " bits " << width << " " << mirror;
                EXPECT_EQ(d.GetPixel(width + 2, 0), 0u);
            }
}

// Every pixel rule of the four draws against its reference, on rows of every length up to 17 at
// every offset within a four-pixel step, mirrored or not, over a grid of mask values and
// weights, at 1:1 so that each destination pixel takes one known source pixel. Every third
// source pixel equals its destination; one is the colour key.
TEST(DIBXStretch, PixelRulesMatchTheReference) {
    const uint32_t levels[] = {0, 1, 2, 127, 128, 129, 254, 255};
    constexpr int W = 24, H = 2;
    for (int bits : {15, 16, 24, 32}) {
        auto dv = [&](int x, int y) { return Mix(x, y, 21) & StretchStorage(bits); };
        auto sv = [&](int x, int y) { return (x + y) % 3 == 0 ? dv(x + 3, y) : Mix(x, y, 22) & StretchStorage(bits); };
        TDIBX src, mask;
        Paint(src, W, H, bits, sv);
        Paint(mask, W, H, 8, [&](int x, int y) { return levels[(x + y * 3) % 8]; });
        src.TransparentColor = int32_t(sv(7, 1));
        for (const Op& op : kOps)
            for (int a : {1, 100, 254, 255, 256, 300})
                for (bool mirror : {false, true})
                    for (int len = 1; len <= 17; ++len)
                        for (int at = 0; at < 4; ++at) {
                            TDIBX d;
                            Paint(d, W, H, bits, dv);
                            const TRect from = Bounds(2, 0, len, H);
                            op.Run(d, Bounds(3 + at, 0, len, H), src, from, mirror, mask, a);
                            for (int y = 0; y < H; ++y)
                                for (int x = 0; x < W; ++x) {
                                    const int k = x - 3 - at, sx = mirror ? from.Right - 1 - k : from.Left + k;
                                    const uint32_t want = k < 0 || k >= len
                                                              ? dv(x, y)
                                                              : op.Ref(bits, uint32_t(src.TransparentColor), dv(x, y),
                                                                       sv(sx, y), mask.GetPixel(sx, y), uint32_t(a));
                                    ASSERT_EQ(d.GetPixel(x, y), want)
                                        << op.Name << " " << bits << " bits a " << a << " mirror " << mirror << " len "
                                        << len << " at " << at << " pixel " << x << "," << y;
                                }
                        }
    }
    // Weight 0 draws nothing; intensity 255 of white over black is (255 * 255) div 256.
    TDIBX d, white;
    Paint(white, 2, 2, 32, [](int, int) { return 0x00FFFFFFu; });
    Paint(d, 4, 4, 32, [](int, int) { return 0u; });
    for (const Op& op : kOps) op.Run(d, d.GetBoundsRect(), white, white.GetBoundsRect(), false, white, 0);
    EXPECT_EQ(d.GetPixel(1, 1), 0u);
    d.StretchDrawAdd(d.GetBoundsRect(), white, white.GetBoundsRect(), false, false, false, 255);
    EXPECT_EQ(d.GetPixel(3, 3), 0x00FEFEFEu);
}

// Source rectangles and masks reaching past every edge of their surfaces: only the destination
// pixels whose samples lie inside both are drawn, and nothing outside a surface is touched.
TEST(DIBXStretch, SourcesAndMasksPastTheirEdges) {
    for (int bits : {15, 16, 24, 32})
        for (int mirror = 0; mirror < 4; ++mirror) {
            const bool mx = mirror & 1, my = mirror & 2;
            TDIBX src, mask, d;
            Paint(src, 6, 6, bits, Coded);
            Paint(mask, 5, 4, 8, [](int, int) { return 255u; });
            Paint(d, 12, 12, bits, [](int, int) { return 0u; });
            // 1:1 from (-3, -3) to (9, 9): destination (x, y) reads (x - 3, y - 3), mirrored (8 - x, 8 - y).
            d.StretchDrawMask(d.GetBoundsRect(), src, {-3, -3, 9, 9}, mx, my, mask, 255);
            for (int y = 0; y < 12; ++y)
                for (int x = 0; x < 12; ++x) {
                    const int sx = mx ? 8 - x : x - 3, sy = my ? 8 - y : y - 3;
                    const uint32_t want =
                        sx < 0 || sx >= 5 || sy < 0 || sy >= 4 ? 0u : kOps[1].Ref(bits, 0, 0, Coded(sx, sy), 255, 255);
                    ASSERT_EQ(d.GetPixel(x, y), want) << bits << " bits mirror " << mirror << " at " << x << "," << y;
                }
            // Scaled both ways, far-off and degenerate rectangles.
            const TRect rects[] = {
                {-7, -9, 30, 40}, {3, 3, 4, 4}, {INT32_MIN, 0, INT32_MAX, 2}, {5, 5, 5, 9}, {-4, 2, -1, 8}};
            for (const TRect& r : rects)
                for (const TRect& s : rects) {
                    for (const Op& op : kOps) op.Run(d, r, src, s, mx, mask, 300);
                    d.StretchDrawTileMask(r, 3, 2, 1.5, 0.25, src, s, mask, mx, my, 400, -7, 5);
                    d.StretchDrawTile(r, INT32_MAX, 1, 1e12, 1e-9, src, s, true, mx, my, 200, INT32_MIN, 9);
                    d.StretchDrawTileMask(r, INT32_MAX, 2, 1e12, 1e-9, src, s, mask, mx, my, 200, INT32_MIN, 9);
                }
        }
}

// Tiles of a stretched tiling: period, scroll origin, size never below one pixel, the clip
// rectangle put back, and the scales and periods that draw nothing.
TEST(DIBXStretch, StretchedTiles) {
    TDIBX src, mask, d;
    Paint(src, 3, 1, 32, [](int x, int) { return uint32_t(x + 1); });
    Paint(mask, 3, 1, 8, [](int, int) { return 255u; });
    d.SetSize(12, 1, 32);
    const TRect clip{1, 0, 11, 1}, r{0, 0, 12, 1};
    using V = std::vector<uint32_t>;
    auto tile = [&](bool Masked, int Period, double Scale, int Blend, int Origin) {
        d.Fill(0);
        d.SetClipRectDirect(clip);
        if (Masked)
            d.StretchDrawTileMask(r, Period, 1, Scale, 1, src, src.GetBoundsRect(), mask, false, false, Blend, Origin,
                                  0);
        else
            d.StretchDrawTile(r, Period, 1, Scale, 1, src, src.GetBoundsRect(), false, false, false, Blend, Origin, 0);
        EXPECT_EQ(d.ClipRect, clip);
        V v;
        for (int x = 0; x < 12; ++x) v.push_back(d.GetPixel(x, 0));
        return v;
    };
    for (bool masked : {false, true}) {
        // Tiles every 4 pixels scrolled by 1 start at -1; scrolled by -1 at -3.
        EXPECT_EQ(tile(masked, 4, 1, 255, 1), (V{0, 3, 0, 1, 2, 3, 0, 1, 2, 3, 0, 0})) << masked;
        EXPECT_EQ(tile(masked, 4, 1, 255, -1), (V{0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 0})) << masked;
        // 0.5 of a 3-pixel source: 1 pixel (its middle column) every 2 pixels; 0.1 of it still 1 pixel.
        EXPECT_EQ(tile(masked, 4, 0.5, 255, 0), (V{0, 0, 2, 0, 2, 0, 2, 0, 2, 0, 2, 0})) << masked;
        EXPECT_EQ(tile(masked, 10, 0.1, 255, 0), (V{0, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 0})) << masked;
        // 600 adds at 255 (not at 600 mod 256): (s * 255) div 256.
        EXPECT_EQ(tile(masked, 3, 1, 600, 0), (V{0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 1, 0})) << masked;
        for (double bad : {0.0, -1.0, double(NAN), double(INFINITY)})
            EXPECT_EQ(tile(masked, 3, bad, 255, 0), V(12, 0)) << masked << bad;
        EXPECT_EQ(tile(masked, 0, 1, 255, 0), V(12, 0)) << masked;
    }
    // A whole period below 1 pixel draws no masked tiles (the unmasked tiling steps by 1).
    EXPECT_EQ(tile(true, 1, 0.5, 255, 0), V(12, 0));
}

// A display surface of the headless backend draws every stretched operation with the same
// pixels as a memory surface, and serves as a stretched source alike.
TEST(DIBXStretch, DisplaySurfaceDrawsLikeMemory) {
    platform::HeadlessDisplay display;
    for (int bits : {16, 32}) {
        TDIBX src, mask, memory, fromMemory, fromDx;
        Paint(src, 9, 7, bits, [&](int x, int y) { return Mix(x, y, 11) & StretchStorage(bits); });
        Paint(mask, 9, 7, 8, [](int x, int y) { return uint32_t(x * 40 + y * 9); });
        src.TransparentColor = int32_t(src.GetPixel(2, 2));
        TDxDIBX dx(&display, bits);
        for (auto [d, copy] : {std::pair<TCustomDIBX*, TDIBX*>{&memory, &fromMemory}, {&dx, &fromDx}}) {
            d->SetSize(40, 30, bits);
            d->Fill(d->ColorToPixel(0x204060));
            d->StretchDraw({-5, 2, 33, 27}, src, src.GetBoundsRect(), true, true, false, 255);
            d->StretchDraw({3, 3, 9, 28}, src, {1, 1, 8, 6}, false, false, true, 120);
            d->StretchDrawMask({10, -4, 40, 20}, src, src.GetBoundsRect(), true, true, mask, 200);
            d->StretchDrawAdd({0, 0, 17, 13}, src, src.GetBoundsRect(), true, false, false, 180);
            d->StretchDrawAddMask({20, 10, 38, 29}, src, src.GetBoundsRect(), false, true, mask, 256);
            d->StretchDrawTile({2, 2, 38, 28}, 11, 8, 0.7, 1.3, src, src.GetBoundsRect(), true, false, false, 90, 3,
                               -2);
            d->StretchDraw({0, 0, 20, 15}, *d, {20, 15, 40, 30}, false, false, false, 255);
            copy->SetSize(25, 25, bits);
            copy->StretchDraw(copy->GetBoundsRect(), *d, d->GetBoundsRect(), false, false, false, 255);
        }
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x) {
                ASSERT_EQ(dx.GetPixel(x, y), memory.GetPixel(x, y)) << bits << " bits at " << x << "," << y;
                ASSERT_EQ(fromDx.GetPixel(x % 25, y % 25), fromMemory.GetPixel(x % 25, y % 25)) << bits << " bits";
            }
    }
}
