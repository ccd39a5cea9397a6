#include "graphics/dibx.h"
#include "paint.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

constexpr int kMonoDepths[] = {15, 16, 32};

// Fields (shift, width) of a depth; at 32 bits the fourth byte when Fourth.
std::vector<std::pair<int, int>> Fields(int Bits, bool Fourth) {
    if (Bits == 15) return {{10, 5}, {5, 5}, {0, 5}};
    if (Bits == 16) return {{11, 5}, {5, 6}, {0, 5}};
    std::vector<std::pair<int, int>> f{{16, 8}, {8, 8}, {0, 8}};
    if (Fourth) f.push_back({24, 8});
    return f;
}

// Per field min(sum of field(V[k]) * W[k] div T, max); bits outside the fields from Keep.
uint32_t Expected(int Bits, bool Fourth, const std::vector<uint32_t>& V, const std::vector<uint64_t>& W, uint64_t T,
             uint32_t Keep = 0) {
    uint32_t r = Keep;
    for (auto [sh, width] : Fields(Bits, Fourth)) {
        const uint64_t max = (1u << width) - 1;
        uint64_t sum = 0;
        for (size_t k = 0; k < V.size(); ++k) sum += (V[k] >> sh & max) * W[k];
        r |= uint32_t(std::min(sum / T, max) << sh);
    }
    return r;
}

uint32_t Noise(int Bits, int x, int y) { return Mix(x, y, 7) & (Bits == 32 ? ~0u : Bits == 15 ? 0x7FFF : 0xFFFF); }

}  // namespace

// Cells of 8, 8, 16 and 4 covered bits at N = 4, at full alpha and at alpha 128 (16 covered
// count as 8); N = 1 paints covered pixels; a width of 10 reads 8 columns; mirroring reads cells
// from the right; 8- and 24-bit surfaces stay as they are.
TEST(DIBXMono, CoverageBlend) {
    TDIBX src;  // cells of N = 4 with 8, 8 / 16, 4 covered (clear) bits; two clear bits past them
    Paint(src, 10, 8, 1, [](int x, int y) {
        const bool cell = y < 4 ? x < 2 || (x >= 4 && x < 8 && y < 2) : x <= 4;
        return uint32_t(!(cell || (x == 8 && y == 0) || (x == 9 && y == 7)));
    });
    for (int bits : kMonoDepths) {
        const uint32_t color = bits == 32 ? 0x80FF4020 : 0x7C1F, d = bits == 32 ? 0x10305070 : 0x03E0;
        for (int alpha : {255, 128}) {
            TDIBX dst;
            Paint(dst, 3, 2, bits, [&](int, int) { return d; });
            dst.DrawMonoAntialias(0, 0, src, {0, 0, 10, 8}, int32_t(color), false, false, alpha, 4);
            auto want = [&](uint64_t c) {
                c = alpha < 255 ? c * alpha / 256 : c;
                return c ? Expected(bits, true, {color, d}, {c, 16 - c}, 16) : d;
            };
            SCOPED_TRACE(testing::Message() << bits << " bits, alpha " << alpha);
            EXPECT_EQ(dst.GetPixel(0, 0), want(8));
            EXPECT_EQ(dst.GetPixel(1, 0), want(8));
            EXPECT_EQ(dst.GetPixel(0, 1), want(16));
            EXPECT_EQ(dst.GetPixel(1, 1), want(4));
            EXPECT_EQ(dst.GetPixel(2, 0), d);
        }
        TDIBX one, dst;
        Paint(one, 4, 1, 1, [](int x, int) { return uint32_t(x % 3 != 0); });
        Paint(dst, 4, 1, bits, [&](int, int) { return d; });
        dst.DrawMonoAntialias(0, 0, one, {0, 0, 4, 1}, int32_t(color), false, false, 255, 1);
        EXPECT_EQ(dst.GetPixel(0, 0), color & (bits == 32 ? ~0u : 0xFFFF));
        EXPECT_EQ(dst.GetPixel(1, 0), d);
        dst.DrawMonoAntialias(0, 0, one, {0, 0, 4, 1}, 0, false, false, 255, 2);  // height 1 div 2 = 0
        EXPECT_EQ(dst.GetPixel(3, 0), color & (bits == 32 ? ~0u : 0xFFFF));
        Paint(dst, 2, 1, bits, [&](int, int) { return d; });
        TDIBX right;
        Paint(right, 4, 2, 1, [](int x, int y) { return uint32_t(x != 3 || y != 0); });
        dst.DrawMonoAntialias(0, 0, right, {0, 0, 4, 2}, int32_t(color), true, false, 255, 2);
        EXPECT_EQ(dst.GetPixel(0, 0), Expected(bits, true, {color, d}, {1, 3}, 4));
        EXPECT_EQ(dst.GetPixel(1, 0), d);
    }
    for (int bits : {8, 24}) {
        TDIBX dst;
        Paint(dst, 2, 2, bits, [](int, int) { return 3u; });
        dst.DrawMonoAntialias(0, 0, src, {0, 0, 8, 8}, 1, false, false, 255, 4);
        TDIBX ex;
        Paint(ex, 8, 8, 4, [](int, int) { return 1u; });
        const int32_t colors[3] = {1, 2, 5};
        dst.DrawMonoAntialiasEx(0, 0, ex, {0, 0, 8, 8}, colors, 0, false, false, 255, 4);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 2; ++x) EXPECT_EQ(dst.GetPixel(x, y), 3u) << bits;
    }
}

// Three colour classes: a whole cell of class 1 or 2 at alpha 255 stores the raw colour, class 3
// and mixtures blend (32 bits keep the fourth byte), alpha 254 blends, and at 15/16 bits alpha
// above 255 adds to the whole destination, capped per field.
TEST(DIBXMono, ClassMixture) {
    TDIBX src;  // cells of N = 4: all 1, all 2, all 3, a mixture of 8 background, 4 of 1, 2 of 2, 2 of 3
    Paint(src, 16, 4, 4, [](int x, int y) {
        if (x < 12) return uint32_t(x / 4 + 1) | (x & 4 ? 4u : 0u);  // class = value mod 4
        const int k = (x - 12) + 4 * y;
        return uint32_t(k < 8 ? 0 : k < 12 ? 1 : k < 14 ? 2 : 3);
    });
    for (int bits : kMonoDepths) {
        const uint32_t m = bits == 32 ? ~0u : 0xFFFF;
        const int32_t colors[3] = {int32_t(0xAA123456 & m), int32_t(0xBB00FF00 & m), int32_t(0xCC7F7F7F & m)};
        const std::vector<uint32_t> v{uint32_t(colors[0]), uint32_t(colors[1]), uint32_t(colors[2])};
        const uint32_t d = bits == 32 ? 0x11406080 : 0x4210;
        const uint32_t keep = bits == 32 ? d & 0xFF000000 : 0;
        for (int alpha : {255, 254, 300}) {
            TDIBX dst;
            Paint(dst, 4, 1, bits, [&](int, int) { return d; });
            dst.DrawMonoAntialiasEx(0, 0, src, {0, 0, 16, 4}, colors, 0x123, false, false, alpha, 4);
            const uint64_t a = alpha == 255 ? 256 : alpha % 256, t = 4096;
            auto want = [&](uint64_t q1, uint64_t q2, uint64_t q3) {
                const uint64_t w0 = bits != 32 && alpha > 255 ? t : t - (q1 + q2 + q3) * a;
                std::vector<uint32_t> vals = v;
                vals.push_back(d);
                return Expected(bits, false, vals, {q1 * a, q2 * a, q3 * a, w0}, t, keep);
            };
            SCOPED_TRACE(testing::Message() << bits << " bits, alpha " << alpha);
            EXPECT_EQ(dst.GetPixel(0, 0), alpha == 255 ? uint32_t(colors[0]) : want(16, 0, 0));
            EXPECT_EQ(dst.GetPixel(1, 0), alpha == 255 ? uint32_t(colors[1]) : want(0, 16, 0));
            EXPECT_EQ(dst.GetPixel(2, 0), want(0, 0, 16));
            EXPECT_EQ(dst.GetPixel(3, 0), want(4, 2, 2));
        }
    }
}

// A draw cut by every edge of the surface and of a clip rectangle, and one whose source rectangle
// reaches past the source, change exactly the pixels of the uncut draw that remain inside.
TEST(DIBXMono, ClippedDrawsMatchTheWholeDraw) {
    TDIBX mono, quad;
    Paint(mono, 13, 11, 1, [](int x, int y) { return Mix(x, y, 1) & 1; });
    Paint(quad, 13, 11, 4, [](int x, int y) { return Mix(x, y, 2) & 15; });
    const int32_t colors[3] = {0x1F, 0x7C00, 0x3E0};
    for (int bits : kMonoDepths)
        for (bool ex : {false, true})
            for (bool mirror : {false, true})
                for (const TRect src : {TRect{1, 2, 13, 11}, TRect{-5, -3, 20, 16}}) {
                    auto draw = [&](TDIBX& D, int X, int Y) {
                        if (ex)
                            D.DrawMonoAntialiasEx(X, Y, quad, src, colors, 0, mirror, !mirror, 200, 3);
                        else
                            D.DrawMonoAntialias(X, Y, mono, src, 0x7C1F, mirror, !mirror, 200, 3);
                    };
                    TDIBX whole;  // the draw with room on every side
                    Paint(whole, 40, 40, bits, [&](int x, int y) { return Noise(bits, x - 16, y - 16); });
                    draw(whole, 16, 16);
                    for (int y = -6; y <= 6; y += 3)
                        for (int x = -6; x <= 6; x += 3)
                            for (bool clip : {false, true}) {
                                TDIBX d;
                                Paint(d, 5, 4, bits, [&](int px, int py) { return Noise(bits, px - x, py - y); });
                                if (clip) d.SetClipRectDirect({1, 1, 4, 3});
                                draw(d, x, y);
                                const TRect c = clip ? TRect{1, 1, 4, 3} : TRect{0, 0, 5, 4};
                                for (int py = 0; py < 4; ++py)
                                    for (int px = 0; px < 5; ++px) {
                                        const bool inside = px >= c.Left && px < c.Right && py >= c.Top && py < c.Bottom;
                                        const uint32_t want =
                                            inside ? whole.GetPixel(px - x + 16, py - y + 16) : Noise(bits, px - x, py - y);
                                        ASSERT_EQ(d.GetPixel(px, py), want) << bits << " " << ex << " " << mirror
                                                                            << " at " << x << "," << y << " " << clip;
                                    }
                            }
                }
}

// Arguments with no meaning draw nothing: a factor outside 1..255, a negative alpha, no colours,
// and a source of another depth than the draw reads.
TEST(DIBXMono, MeaninglessArgumentsDrawNothing) {
    TDIBX mono, quad, dst;
    Paint(mono, 8, 8, 1, [](int, int) { return 0u; });
    Paint(quad, 8, 8, 4, [](int, int) { return 1u; });
    Paint(dst, 8, 8, 32, [](int, int) { return 7u; });
    const int32_t colors[3] = {1, 2, 3};
    const TRect r{0, 0, 8, 8};
    for (int n : {0, -1, 256}) {
        dst.DrawMonoAntialias(0, 0, mono, r, 1, false, false, 255, n);
        dst.DrawMonoAntialiasEx(0, 0, quad, r, colors, 0, false, false, 255, n);
    }
    dst.DrawMonoAntialias(0, 0, mono, r, 1, false, false, -1, 1);
    dst.DrawMonoAntialiasEx(0, 0, quad, r, colors, 0, false, false, -1, 1);
    dst.DrawMonoAntialiasEx(0, 0, quad, r, nullptr, 0, false, false, 255, 1);
    dst.DrawMonoAntialias(0, 0, quad, r, 1, false, false, 255, 1);
    dst.DrawMonoAntialiasEx(0, 0, mono, r, colors, 0, false, false, 255, 1);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) ASSERT_EQ(dst.GetPixel(x, y), 7u);
}
