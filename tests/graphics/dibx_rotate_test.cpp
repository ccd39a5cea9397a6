#include "graphics/dibx.h"
#include "tests/graphics/paint.h"
#include "graphics/dxdibx.h"
#include "platform/display.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <functional>
#include <vector>

namespace {

uint32_t RotateStorage(int Bits) { return Bits == 32 ? ~0u : (1u << (Bits == 15 ? 16 : Bits)) - 1; }

// The channels of a format as masks; 32 bits: four bytes, the fourth included.
std::vector<uint32_t> RotateFields(int Bits) {
    if (Bits == 15) return {0x7C00, 0x03E0, 0x001F};
    if (Bits == 16) return {0xF800, 0x07E0, 0x001F};
    if (Bits == 24) return {0xFF0000, 0xFF00, 0xFF};
    return {0xFF000000, 0xFF0000, 0xFF00, 0xFF};
}

}  // namespace

// Unturned, unzoomed masked draws against the blend rule: weight the mask value scaled by the
// opacity (the mask value itself at full opacity), except that unmirrored 32-bit rows, and
// 15/16-bit rows at full opacity, weight a full mask value by the opacity itself and copy at
// full weight. A mask value of 0 leaves the destination.
TEST(DIBXRotate, MaskedDrawWeights) {
    constexpr int W = 9, H = 7;
    for (int bits : {15, 16, 24, 32})
        for (int alpha : {1, 128, 255, 256, 384, 511, 700})
            for (bool mirror : {false, true}) {
                TDIBX src, mask, d;
                Paint(src, W, H, bits, [](int x, int y) { return Mix(x, y, 1); });
                Paint(mask, W, H, 8,
                      [](int x, int y) { return (x + y) % 4 ? (x * 3 + y) % 5 ? Mix(x, y, 2) : 0 : 255; });
                auto dv = [&](int x, int y) { return Mix(x, y, 3) & RotateStorage(bits); };
                Paint(d, W + 3, H + 2, bits, dv);
                d.DrawRotateMask(2, 1, 1, 1, src, src.GetBoundsRect(), 0, 0, 0, mirror, false, mask, alpha);
                const bool add = alpha >= 256, packed = !mirror && (bits == 32 || (bits != 24 && alpha == 255));
                const uint32_t a = add ? std::min(alpha - 256, 255) : alpha;
                for (int y = 0; y < H + 2; ++y)
                    for (int x = 0; x < W + 3; ++x) {
                        uint32_t want = dv(x, y);
                        const int sx = mirror ? W + 1 - x : x - 2, sy = y - 1;
                        const uint32_t m = x >= 2 && x < W + 2 && sy >= 0 && sy < H ? mask.GetPixel(sx, sy) : 0;
                        const uint32_t w = packed && m == 255 ? a : a == 255 ? m : a * m / 256;
                        if (m != 0 && (add || !packed || w != 255))
                            for (uint64_t f : RotateFields(bits)) {
                                const uint64_t dc = dv(x, y) & f, s = src.GetPixel(sx, sy) & f;
                                want = (f == RotateFields(bits)[0] ? 0 : want) |
                                       uint32_t(add ? std::min(dc + (((s * w) >> 8) & f), f)
                                                    : ((dc * (255 - w) + s * w) >> 8) & f);
                            }
                        else if (m != 0)
                            want = src.GetPixel(sx, sy);
                        ASSERT_EQ(d.GetPixel(x, y), want)
                            << bits << " bits alpha " << alpha << " mirror " << mirror << " at " << x << "," << y;
                    }
            }
}

// The smoothed draw of a uniform picture: colour (255 s) div 256 where all four samples count,
// coverage 1/2 and 1/4 where the mask hides samples, the destination kept where none falls
// inside, the fourth byte of 32-bit pixels cleared.
TEST(DIBXRotate, SmoothedDrawCoverage) {
    for (int bits : {15, 16, 24, 32})
        for (int alpha : {255, 128, 384}) {
            const uint32_t s = 0xA5C3E7F1 & RotateStorage(bits), d0 = 0x5A3C1E0F & RotateStorage(bits);
            TDIBX src, mask, d;
            Paint(src, 4, 4, bits, [&](int, int) { return s; });
            Paint(mask, 4, 4, 8, [](int x, int y) { return x == 3 || y == 3 ? 0u : 255u; });
            Paint(d, 6, 6, bits, [&](int, int) { return d0; });
            d.DrawRotateZoomMasked(0, 0, 1, 1, src, src.GetBoundsRect(), 0, 0, 0, false, false, &mask, alpha);
            auto expect = [&](uint32_t Cover) {
                if (alpha != 255) Cover = Cover * uint32_t(alpha % 256) / 256;
                uint32_t r = 0;
                for (uint32_t f : RotateFields(bits == 32 ? 24 : bits)) {
                    const int p = std::countr_zero(f);
                    const uint32_t max = f >> p, c = ((s & f) >> p) * 255 / 256, dc = (d0 & f) >> p;
                    r |= (alpha >= 256  ? std::min(c * Cover / 256 + dc, max)
                          : Cover < 255 ? (c * Cover + dc * (255 - Cover)) / 256
                                        : c)
                         << p;
                }
                return r;
            };
            // Pixel x samples columns x - 0.5 and x rounded to even, rows likewise: pixel 3
            // meets the hidden column 3 with half its samples, pixel 4 is past the picture.
            const std::string at = std::to_string(bits) + " bits alpha " + std::to_string(alpha);
            EXPECT_EQ(d.GetPixel(1, 1), expect(255)) << at;
            EXPECT_EQ(d.GetPixel(3, 1), expect(127)) << at;
            EXPECT_EQ(d.GetPixel(3, 3), expect(63)) << at;
            EXPECT_EQ(d.GetPixel(4, 1), d0) << at;
            EXPECT_EQ(d.GetPixel(1, 4), d0) << at;
        }
}

// Every draw of this family gives the same pixels on a display surface of the headless display
// as on a memory surface.
TEST(DIBXRotate, DisplaySurfacesDrawLikeMemorySurfaces) {
    platform::HeadlessDisplay display;
    for (int bits : {16, 32}) {
        TDIBX src, mask, memory;
        Paint(src, 12, 9, bits, [](int x, int y) { return Mix(x, y, 7); });
        Paint(mask, 12, 9, 8, [](int x, int y) { return Mix(x, y, 8); });
        src.TransparentColor = int32_t(src.GetPixel(2, 2));
        TDxDIBX dx(&display, bits);
        dx.SetSize(40, 30, bits);
        memory.SetSize(40, 30, bits);
        for (TCustomDIBX* d : {static_cast<TCustomDIBX*>(&memory), static_cast<TCustomDIBX*>(&dx)}) {
            d->FillRect(d->GetBoundsRect(), d->ColorToPixel(0x204060));
            d->DrawRotate(20, 15, 1.3, 0.8, src, src.GetBoundsRect(), 6, 4, 0.7, true, true, false, 200);
            d->DrawRotateMask(10, 12, 1.5, 1.5, src, src.GetBoundsRect(), 6, 4, -0.5, false, false, mask, 255);
            d->DrawRotateMask(30, 20, 0.7, 1.1, src, src.GetBoundsRect(), 2, 3, 2.0, false, true, mask, 400);
            d->DrawRotateZoomMasked(25, 8, 1.2, 1.2, src, src.GetBoundsRect(), 6, 4, 0.3, true, false, &mask, 180);
            d->DrawWrap({1, 20, 39, 28}, src, 5, -3, true, false);
            d->DrawWrapFrame({2, 2, 20, 14}, 2, src, src.GetBoundsRect(), false, 1, 1);
            d->DrawQuad({0, 0, 40, 10}, src, 1.5, 0.7, 300, -77, true, false, true, 150);
            d->DrawQuadMask({5, 5, 35, 29}, src, 0.8, 2.0, -900, 50, true, false, mask, 420);
            d->DrawTileAlphaMask({3, 3, 37, 27}, 1, 2, src, {1, 1, 8, 6}, mask, 170, -2, 5);
        }
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x)
                ASSERT_EQ(dx.GetPixel(x, y), memory.GetPixel(x, y)) << bits << " bits at " << x << "," << y;
    }
}
