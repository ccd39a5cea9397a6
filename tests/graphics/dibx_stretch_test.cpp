#include "graphics/dibx.h"
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

void Paint(TCustomDIBX& S, int W, int H, int Bits, const std::function<uint32_t(int, int)>& Gen) {
    S.SetSize(W, H, Bits);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) S.SetPixel(x, y, Gen(x, y));
}

uint32_t Mix(int x, int y, uint32_t Seed) {
    uint32_t v = uint32_t(x * 73856093) ^ uint32_t(y * 19349663) ^ Seed;
    v ^= v >> 13, v *= 0x5bd1e995u, v ^= v >> 15;
    return v;
}

uint32_t Storage(int Bits) { return Bits == 32 ? ~0u : Bits == 24 ? 0xFFFFFFu : Bits == 15 ? 0x7FFFu : 0xFFFFu; }
// 15/16 and 32 bits take the packed rules and centred sampling; 24 bits the channel rules.
bool Packed(int Bits) { return Bits != 24; }

// Per channel F(d, s, channel maximum), channels as fields shifted down (32 bits: four bytes).
uint32_t PerChannel(int Bits, uint32_t D, uint32_t S, const std::function<uint64_t(uint64_t, uint64_t, uint64_t)>& F) {
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
uint32_t RefBlend(int Bits, uint32_t D, uint32_t S, uint32_t W) {
    return PerChannel(Bits, D, S, [&](uint64_t d, uint64_t s, uint64_t) { return (d * (255 - W) + s * W) >> 8; });
}
uint32_t RefAdd(int Bits, uint32_t D, uint32_t S, uint32_t I) {
    return PerChannel(Bits, D, S, [&](uint64_t d, uint64_t s, uint64_t max) { return std::min(d + ((s * I) >> 8), max); });
}

// A pixel of the masked alpha draw.
uint32_t RefMask(int Bits, uint32_t D, uint32_t S, uint32_t M, uint32_t A) {
    A = std::min(A, 255u);
    if (M == 0) return D;
    if (!Packed(Bits)) return RefBlend(Bits, D, S, M * A / 256);
    if (A == 255) return M == 255 ? S : RefBlend(Bits, D, S, M);
    if (Bits != 32 && S == D) return D;
    return RefBlend(Bits, D, S, Bits == 32 && M == 255 ? A : M * A / 256);
}

// Source columns 0..n-1 as (x + 1) | (y + 1) << 5 on every format.
uint32_t Coded(int x, int y) { return uint32_t(x + 1) | uint32_t(y + 1) << 5; }

std::vector<int> Pairs(int N, bool Down) {
    std::vector<int> v;
    for (int i = 0; i < 2 * N; ++i) v.push_back(Down ? N - 1 - i / 2 : i / 2);
    return v;
}
std::vector<int> Every2(int First, int Count, int Step) {
    std::vector<int> v;
    for (int i = 0; i < Count; ++i) v.push_back(First + i * Step);
    return v;
}

}  // namespace

// Which source pixel each destination pixel takes, on both samplings, mirrored or not; the
// source rectangle starts at (2, 2) inside a larger picture.
TEST(DIBXStretch, SamplesTheSourceColumnsAndRows) {
    struct Case {
        int Bits, SrcSize, DestSize;
        bool Mirror;
        std::vector<int> Want;
    };
    // Edge stepping mirrored into twice the size ends half a pixel before the rectangle: the
    // nearest column inside it.
    const std::vector<int> edgeMirrored = {9, 8, 8, 7, 7, 6, 6, 5, 5, 4, 4, 3, 3, 2, 2, 1, 1, 0, 0, 0};
    std::vector<Case> cases;
    for (int bits : {15, 16, 32}) {
        cases.push_back({bits, 10, 20, false, Pairs(10, false)});
        cases.push_back({bits, 10, 20, true, Pairs(10, true)});
        cases.push_back({bits, 20, 10, false, Every2(1, 10, 2)});
        cases.push_back({bits, 20, 10, true, Every2(18, 10, -2)});
    }
    cases.push_back({24, 10, 20, false, Pairs(10, false)});
    cases.push_back({24, 10, 20, true, edgeMirrored});
    cases.push_back({24, 20, 10, false, Every2(0, 10, 2)});
    cases.push_back({24, 20, 10, true, Every2(19, 10, -2)});
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
            const bool mx = mirror & 1, my = mirror & 2;
            TDIBX src, whole, cut;
            Paint(src, 10, 7, bits, [&](int x, int y) { return Mix(x, y, 5) & Storage(bits); });
            for (TDIBX* d : {&whole, &cut}) {
                d->SetSize(30, 20, bits);
                d->Fill(0);
            }
            const TRect dest = Bounds(2, 1, 20, 15);
            whole.StretchDraw(dest, src, src.GetBoundsRect(), false, mx, my, 255);
            const TRect clip{5, 4, 19, 12};
            cut.UnionClipRect(clip);
            cut.StretchDraw(dest, src, src.GetBoundsRect(), false, mx, my, 255);
            for (int y = 0; y < 20; ++y)
                for (int x = 0; x < 30; ++x) {
                    const bool in = x >= clip.Left && x < clip.Right && y >= clip.Top && y < clip.Bottom;
                    ASSERT_EQ(cut.GetPixel(x, y), in ? whole.GetPixel(x, y) : 0u)
                        << bits << " bits mirror " << mirror << " at " << x << "," << y;
                }
        }
    for (int bits : {24, 32})
        for (int width : {1280, 1281})
            for (bool mirror : {false, true}) {
                TDIBX src, d;
                Paint(src, width, 1, bits, [&](int x, int) { return Mix(x, 0, 9) & Storage(bits); });
                d.SetSize(width + 3, 1, bits);
                d.Fill(0);
                d.StretchDraw(Bounds(2, 0, width, 1), src, src.GetBoundsRect(), false, mirror, false, 255);
                for (int x = 0; x < width; ++x)
                    ASSERT_EQ(d.GetPixel(2 + x, 0), src.GetPixel(mirror ? width - 1 - x : x, 0))
                        << bits << " bits width " << width << " mirror " << mirror << " at " << x;
                EXPECT_EQ(d.GetPixel(width + 2, 0), 0u);
            }
}

// Every pixel rule of the four draws against a per-channel reference, at 1:1 so that every
// destination pixel takes its own source pixel.
TEST(DIBXStretch, PixelRulesMatchTheReference) {
    constexpr int W = 16, H = 16;
    for (int bits : {15, 16, 24, 32}) {
        const bool packed = Packed(bits);
        auto dv = [&](int x, int y) { return (x + y) % 7 == 0 ? 0u : Mix(x, y, 2) & Storage(bits); };
        auto sv = [&](int x, int y) { return (x * y) % 5 == 0 ? dv(x, y) : Mix(x, y, 3) & Storage(bits); };
        TDIBX src, mask;
        Paint(src, W, H, bits, sv);
        Paint(mask, W, H, 8, [](int x, int y) { return x == 3 ? 255u : x == 4 ? 0u : uint32_t((y * W + x) * 37 & 255); });
        src.TransparentColor = int32_t(sv(5, 1));
        const uint32_t key = uint32_t(src.TransparentColor);
        const TRect all = src.GetBoundsRect();
        struct Op {
            const char* Name;
            std::function<void(TDIBX&, int)> Run;
            std::function<uint32_t(uint32_t d, uint32_t s, uint32_t m, uint32_t a)> Ref;
        };
        const std::vector<Op> ops = {
            {"StretchDraw", [&](TDIBX& d, int a) { d.StretchDraw(all, src, all, true, false, false, a); },
             [&](uint32_t d, uint32_t s, uint32_t, uint32_t a) {
                 if (s == key) return d;
                 if (a >= 255) return s;
                 return packed && s == d ? d : RefBlend(bits, d, s, a);
             }},
            {"StretchDrawMask", [&](TDIBX& d, int a) { d.StretchDrawMask(all, src, all, false, false, mask, a); },
             [&](uint32_t d, uint32_t s, uint32_t m, uint32_t a) { return RefMask(bits, d, s, m, a); }},
            {"StretchDrawAdd", [&](TDIBX& d, int a) { d.StretchDrawAdd(all, src, all, true, false, false, a); },
             [&](uint32_t d, uint32_t s, uint32_t, uint32_t a) { return s == key ? d : RefAdd(bits, d, s, std::min(a, 256u)); }},
            {"StretchDrawAddMask", [&](TDIBX& d, int a) { d.StretchDrawAddMask(all, src, all, false, false, mask, a); },
             [&](uint32_t d, uint32_t s, uint32_t m, uint32_t a) {
                 a = std::min(a, 256u);
                 return m == 0 ? d : RefAdd(bits, d, s, packed && bits == 32 && m == 255 ? a : m * a / 256);
             }},
        };
        for (const Op& op : ops)
            for (int a : {1, 100, 254, 255, 256, 300}) {
                TDIBX d;
                Paint(d, W, H, bits, dv);
                op.Run(d, a);
                for (int y = 0; y < H; ++y)
                    for (int x = 0; x < W; ++x)
                        ASSERT_EQ(d.GetPixel(x, y), op.Ref(dv(x, y), sv(x, y), mask.GetPixel(x, y), uint32_t(a)))
                            << op.Name << " bits " << bits << " a " << a << " at " << x << "," << y;
            }
    }
    // Weight 0 draws nothing; intensity 255 of white over black is (255 * 255) div 256.
    TDIBX d, white;
    Paint(white, 2, 2, 32, [](int, int) { return 0x00FFFFFFu; });
    d.SetSize(4, 4, 32);
    d.Fill(0);
    d.StretchDraw(d.GetBoundsRect(), white, white.GetBoundsRect(), false, false, false, 0);
    d.StretchDrawMask(d.GetBoundsRect(), white, white.GetBoundsRect(), false, false, white, 0);
    EXPECT_EQ(d.GetPixel(1, 1), 0u);
    d.StretchDrawAdd(d.GetBoundsRect(), white, white.GetBoundsRect(), false, false, false, 255);
    EXPECT_EQ(d.GetPixel(3, 3), 0x00FEFEFEu);
}

// The four-pixel steps of the 32-bit masked draw against the one-pixel rule: every row length up
// to 17 at every offset within a step, mirrored or not, over a grid of mask and alpha values
// (every third source pixel equals its destination).
TEST(DIBXStretch, PackedMaskRowMatchesThePixelRule) {
    const uint32_t levels[] = {0, 1, 2, 127, 128, 129, 254, 255};
    constexpr int W = 24;
    TDIBX src, mask;
    auto dv = [](int x, int y) { return Mix(x, y, 21); };
    auto sv = [&](int x, int y) { return (x + y) % 3 == 0 ? dv(x + 3, y) : Mix(x, y, 22); };
    Paint(src, W, 8, 32, sv);
    Paint(mask, W, 8, 8, [&](int x, int y) { return levels[(x + y * 3) % 8]; });
    for (uint32_t a : {1u, 100u, 254u, 255u})
        for (bool mirror : {false, true})
            for (int len = 1; len <= 17; ++len)
                for (int at = 0; at < 4; ++at) {
                    TDIBX d;
                    Paint(d, W, 8, 32, dv);
                    const TRect from = Bounds(2, 0, len, 8);
                    d.StretchDrawMask(Bounds(3 + at, 0, len, 8), src, from, mirror, false, mask, int32_t(a));
                    for (int y = 0; y < 8; ++y)
                        for (int x = 0; x < W; ++x) {
                            const int k = x - 3 - at, sx = mirror ? from.Right - 1 - k : from.Left + k;
                            const uint32_t want = k < 0 || k >= len ? dv(x, y)
                                                                    : RefMask(32, dv(x, y), sv(sx, y), mask.GetPixel(sx, y), a);
                            ASSERT_EQ(d.GetPixel(x, y), want) << "a " << a << " mirror " << mirror << " len " << len << " at " << at << " pixel " << x << "," << y;
                        }
                }
}

// Source rectangles and masks reaching past every edge of their surfaces: only the destination
// pixels whose samples lie inside both are drawn, and nothing outside a surface is touched.
TEST(DIBXStretch, SourcesAndMasksPastTheirEdges) {
    for (int bits : {15, 16, 24, 32})
        for (int mirror = 0; mirror < 4; ++mirror) {
            const bool mx = mirror & 1, my = mirror & 2;
            TDIBX src, mask, d;
            Paint(src, 6, 6, bits, [&](int x, int y) { return Coded(x, y); });
            Paint(mask, 5, 4, 8, [](int, int) { return 255u; });
            d.SetSize(12, 12, bits);
            d.Fill(0);
            // 1:1 from (-3, -3) to (9, 9): destination (x, y) reads (x - 3, y - 3), mirrored (8 - x, 8 - y).
            d.StretchDrawMask(d.GetBoundsRect(), src, {-3, -3, 9, 9}, mx, my, mask, 255);
            for (int y = 0; y < 12; ++y)
                for (int x = 0; x < 12; ++x) {
                    const int sx = mx ? 8 - x : x - 3, sy = my ? 8 - y : y - 3;
                    const bool in = sx >= 0 && sx < 5 && sy >= 0 && sy < 4;
                    // The channel rules weight a mask of 255 at alpha 255 by 254.
                    const uint32_t want = !in ? 0u : Packed(bits) ? Coded(sx, sy) : RefBlend(bits, 0, Coded(sx, sy), 254);
                    ASSERT_EQ(d.GetPixel(x, y), want) << bits << " bits mirror " << mirror << " at " << x << "," << y;
                }
            // Scaled both ways, far-off and degenerate rectangles.
            const TRect rects[] = {{-7, -9, 30, 40}, {3, 3, 4, 4}, {INT32_MIN, 0, INT32_MAX, 2}, {5, 5, 5, 9}, {-4, 2, -1, 8}};
            for (const TRect& r : rects)
                for (const TRect& s : rects) {
                    d.StretchDraw(r, src, s, true, mx, my, 100);
                    d.StretchDrawAddMask(r, src, s, mx, my, mask, 300);
                    d.StretchDrawTileMask(r, 3, 2, 1.5, 0.25, src, s, mask, mx, my, 400, -7, 5);
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
    const TRect clip{1, 0, 11, 1};
    auto row = [&](const std::function<void()>& Draw) {
        d.Fill(0);
        d.SetClipRectDirect(clip);
        Draw();
        EXPECT_EQ(d.ClipRect, clip);
        std::vector<uint32_t> v;
        for (int x = 0; x < 12; ++x) v.push_back(d.GetPixel(x, 0));
        return v;
    };
    const TRect r{0, 0, 12, 1};
    using V = std::vector<uint32_t>;
    for (bool masked : {false, true}) {
        auto tile = [&](int Period, double Scale, int Blend, int Origin) {
            return row([&] {
                if (masked)
                    d.StretchDrawTileMask(r, Period, 1, Scale, 1, src, src.GetBoundsRect(), mask, false, false, Blend, Origin, 0);
                else
                    d.StretchDrawTile(r, Period, 1, Scale, 1, src, src.GetBoundsRect(), false, false, false, Blend, Origin, 0);
            });
        };
        // Tiles every 4 pixels scrolled by 1 start at -1; scrolled by -1 at -3.
        EXPECT_EQ(tile(4, 1, 255, 1), (V{0, 3, 0, 1, 2, 3, 0, 1, 2, 3, 0, 0})) << masked;
        EXPECT_EQ(tile(4, 1, 255, -1), (V{0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 0})) << masked;
        // 0.5 of a 3-pixel source: tiles of 1 pixel (its middle column) every 2 pixels; 0.1 of it
        // still 1 pixel wide.
        EXPECT_EQ(tile(4, 0.5, 255, 0), (V{0, 0, 2, 0, 2, 0, 2, 0, 2, 0, 2, 0})) << masked;
        EXPECT_EQ(tile(10, 0.1, 255, 0), (V{0, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 0})) << masked;
        // 600 adds at 255 (not at 600 mod 256): (s * 255) div 256.
        EXPECT_EQ(tile(3, 1, 600, 0), (V{0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 1, 0})) << masked;
        for (double bad : {0.0, -1.0, double(NAN), double(INFINITY)}) EXPECT_EQ(tile(3, bad, 255, 0), V(12, 0)) << masked << bad;
        EXPECT_EQ(tile(0, 1, 255, 0), V(12, 0)) << masked;
    }
    // A whole period below 1 pixel draws no masked tiles (the unmasked tiling steps by 1).
    EXPECT_EQ(row([&] { d.StretchDrawTileMask(r, 1, 1, 0.5, 1, src, src.GetBoundsRect(), mask, false, false, 255, 0, 0); }),
              V(12, 0));
}

// A display surface of the headless backend draws every stretched operation with the same
// pixels as a memory surface, and serves as a stretched source alike.
TEST(DIBXStretch, DisplaySurfaceDrawsLikeMemory) {
    platform::HeadlessDisplay display;
    for (int bits : {16, 32}) {
        TDIBX src, mask, memory;
        Paint(src, 9, 7, bits, [&](int x, int y) { return Mix(x, y, 11) & Storage(bits); });
        Paint(mask, 9, 7, 8, [](int x, int y) { return uint32_t(x * 40 + y * 9); });
        src.TransparentColor = int32_t(src.GetPixel(2, 2));
        TDxDIBX dx(&display, bits);
        auto scene = [&](TCustomDIBX& D) {
            D.SetSize(40, 30, bits);
            D.Fill(D.ColorToPixel(0x204060));
            D.StretchDraw({-5, 2, 33, 27}, src, src.GetBoundsRect(), true, true, false, 255);
            D.StretchDraw({3, 3, 9, 28}, src, {1, 1, 8, 6}, false, false, true, 120);
            D.StretchDrawMask({10, -4, 40, 20}, src, src.GetBoundsRect(), true, true, mask, 200);
            D.StretchDrawAdd({0, 0, 17, 13}, src, src.GetBoundsRect(), true, false, false, 180);
            D.StretchDrawAddMask({20, 10, 38, 29}, src, src.GetBoundsRect(), false, true, mask, 256);
            D.StretchDrawTile({2, 2, 38, 28}, 11, 8, 0.7, 1.3, src, src.GetBoundsRect(), true, false, false, 90, 3, -2);
            D.StretchDraw({0, 0, 20, 15}, D, {20, 15, 40, 30}, false, false, false, 255);
        };
        scene(memory);
        scene(dx);
        TDIBX fromMemory, fromDx;
        for (TDIBX* f : {&fromMemory, &fromDx}) f->SetSize(25, 25, bits);
        fromMemory.StretchDraw(fromMemory.GetBoundsRect(), memory, memory.GetBoundsRect(), false, false, false, 255);
        fromDx.StretchDraw(fromDx.GetBoundsRect(), dx, dx.GetBoundsRect(), false, false, false, 255);
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x) ASSERT_EQ(dx.GetPixel(x, y), memory.GetPixel(x, y)) << bits << " bits at " << x << "," << y;
        for (int y = 0; y < 25; ++y)
            for (int x = 0; x < 25; ++x) ASSERT_EQ(fromDx.GetPixel(x, y), fromMemory.GetPixel(x, y)) << bits << " bits";
    }
}
