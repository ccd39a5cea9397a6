#include "graphics/dibx.h"
#include "tests/graphics/paint.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <functional>
#include <vector>

namespace {

uint32_t Storage(int Bits) {
    return Bits == 32 ? ~0u : Bits == 24 ? 0xFFFFFFu : Bits == 16 ? 0xFFFFu : Bits == 15 ? 0x7FFFu : 0xFFu;
}

// Per channel F(d, c) on fields shifted down (32 bits: four bytes), capped at the field's maximum.
uint32_t PerChannel(int Bits, uint32_t D, uint32_t C, const std::function<uint64_t(uint64_t, uint64_t)>& F) {
    std::vector<uint32_t> masks = {0xFF0000, 0xFF00, 0xFF};
    if (Bits == 15) masks = {0x7C00, 0x03E0, 0x001F};
    if (Bits == 16) masks = {0xF800, 0x07E0, 0x001F};
    if (Bits == 32) masks.push_back(0xFF000000);
    uint32_t r = 0;
    for (uint32_t m : masks) {
        const int p = std::countr_zero(m);
        r |= uint32_t(std::min<uint64_t>(F((D & m) >> p, (C & m) >> p), m >> p) << p);
    }
    return r;
}
uint32_t RefAdd(int Bits, uint32_t D, uint32_t C, uint32_t I) {
    return PerChannel(Bits, D, C, [&](uint64_t d, uint64_t c) { return d + (c * I >> 8); });
}
uint32_t RefBlend(int Bits, uint32_t D, uint32_t C, uint32_t W) {
    return PerChannel(Bits, D, C, [&](uint64_t d, uint64_t c) { return (c * W + d * (255 - W)) >> 8; });
}

// Raw values for table entries and backgrounds: noise within the storage, not full white.
uint32_t Raw(int Bits, int x, int y, uint32_t Seed) { return Mix(x, y, Seed) & Storage(Bits) & ~0x0100u; }

}  // namespace

// Copy, blend and add through the 16-entry table on 15, 16 and 32 bits: the key index stays, a
// blend leaves pixels already equal to their colour, an add leaves colour 0 and full white (at 32
// bits every value from 0x00FFFFFF up). 24 bits are not drawn.
TEST(DIBXIndexed, BlendCopiesBlendsAndAdds) {
    for (int bits : {15, 16, 32, 24}) {
        SCOPED_TRACE(bits);
        TDIBX src;
        Paint(src, 8, 2, 4, [](int x, int y) { return uint32_t((x + 8 * y) % 16); });
        src.TransparentColor = 0;
        int32_t colors[16];
        for (int i = 0; i < 16; ++i) colors[i] = int32_t(Raw(bits, i, 0, 5) | (bits == 32 ? 0 : 0xFFFF0000u));  // unread at 15/16
        colors[3] = 0;
        const uint32_t full = bits == 32 ? 0x00FFFFFF : 0xFFFF;
        auto background = [&](int x, int y) { return x == 5 && y == 0 ? full : Raw(bits, x, y, 9); };
        for (int blend : {255, 384, 256, 100}) {
            SCOPED_TRACE(blend);
            TDIBX dst;
            Paint(dst, 8, 2, bits, background);
            dst.SetPixel(6, 1, uint32_t(colors[14]) & Storage(bits));  // equal to its colour
            dst.DrawBlend(0, 0, src, {0, 0, 8, 2}, false, false, false, blend, colors);
            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < 8; ++x) {
                    const int index = (x + 8 * y) % 16;
                    const uint32_t c = uint32_t(colors[index]) & Storage(bits);
                    uint32_t d = background(x, y), want = d;
                    if (x == 6 && y == 1) d = want = c;
                    if (index != 0 && bits != 24) {
                        if (blend == 255) want = c;
                        if (blend == 384 && c != 0 && (bits == 32 ? d < full : d != full)) want = RefAdd(bits, d, c, 128);
                        if (blend == 100 && d != c) want = RefBlend(bits, d, c, 100);
                    }
                    EXPECT_EQ(dst.GetPixel(x, y), want) << x << "," << y;
                }
        }
    }
}

// The nibble walk from an odd and an even column, forward and mirrored, clipped on the left.
TEST(DIBXIndexed, BlendWalksNibblesBothWays) {
    TDIBX src;
    Paint(src, 6, 1, 4, [](int x, int) { return uint32_t(x); });
    int32_t colors[16];
    for (int i = 0; i < 16; ++i) colors[i] = 0x100 + i;
    auto row = [&](const TRect& R, bool Mirror, int X) {
        TDIBX dst;
        Paint(dst, 5, 1, 32, [](int, int) { return 0u; });
        dst.DrawBlend(X, 0, src, R, false, Mirror, false, 255, colors);
        std::vector<int> got;
        for (int x = 0; x < 5; ++x) got.push_back(int(dst.GetPixel(x, 0)) - 0x100);
        return got;
    };
    EXPECT_EQ(row({1, 0, 5, 1}, false, 0), (std::vector<int>{1, 2, 3, 4, -0x100}));
    EXPECT_EQ(row({1, 0, 5, 1}, true, 0), (std::vector<int>{4, 3, 2, 1, -0x100}));
    EXPECT_EQ(row({0, 0, 5, 1}, true, 0), (std::vector<int>{4, 3, 2, 1, 0}));
    EXPECT_EQ(row({0, 0, 6, 1}, false, -3), (std::vector<int>{3, 4, 5, -0x100, -0x100}));
    EXPECT_EQ(row({0, 0, 6, 1}, true, -3), (std::vector<int>{2, 1, 0, -0x100, -0x100}));
}

// Packed formats add table entries of their own width from the threshold up; 8 and 24 bits add
// 32-bit entries for indexes above the source's key; intensity 0 draws nothing.
TEST(DIBXIndexed, IndexedAddsThroughTheTable) {
    const uint8_t indexes[] = {0, 15, 16, 200};
    TDIBX src;
    Paint(src, 4, 2, 8, [&](int x, int y) { return uint32_t(indexes[(x + y) % 4]); });
    for (int bits : {15, 16, 32, 8, 24}) {
        std::vector<uint16_t> narrow(256);
        std::vector<uint32_t> wide(256);
        for (int i = 0; i < 256; ++i) wide[size_t(i)] = Raw(bits, i, 1, 3), narrow[size_t(i)] = uint16_t(wide[size_t(i)]);
        const bool packed = bits != 8 && bits != 24;
        const void* table = bits == 15 || bits == 16 ? static_cast<const void*>(narrow.data()) : wide.data();
        for (int intensity : {256, 128, 0}) {
            SCOPED_TRACE(testing::Message() << bits << " bits, intensity " << intensity);
            TDIBX dst;
            Paint(dst, 4, 2, bits, [&](int x, int y) { return Raw(bits, x, y, 4); });
            src.TransparentColor = packed ? 200 : 15;  // each rule ignores the other value
            dst.DrawIndexed(0, 0, src, {0, 0, 4, 2}, packed ? 16 : 201, true, true, intensity, table);
            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < 4; ++x) {
                    const uint32_t index = indexes[(3 - x + 1 - y) % 4], d = Raw(bits, x, y, 4);
                    const bool drawn = intensity > 0 && index >= 16;
                    const uint32_t want = drawn ? RefAdd(bits, d, wide[index], uint32_t(intensity)) : d;
                    EXPECT_EQ(dst.GetPixel(x, y), bits == 8 ? want & 0xFF : want) << x << "," << y;
                }
        }
    }
}

// A 4-pixel row stretched to 8 samples each column twice from the first edge, mirrored from the
// last (its final sample, half a pixel before the row, taken from the nearest pixel); the
// threshold skips, the clip rectangle cuts, 24 bits are not drawn.
TEST(DIBXIndexed, StretchIndexedSamplesFromTheEdge) {
    TDIBX src;
    Paint(src, 4, 1, 8, [](int x, int) { return uint32_t(20 + x); });
    std::vector<uint32_t> table(256);
    for (int i = 0; i < 256; ++i) table[size_t(i)] = uint32_t(i);
    auto row = [&](bool Mirror, int32_t Threshold, const TRect& Clip, int Bits = 32) {
        TDIBX dst;
        Paint(dst, 8, 2, Bits, [](int, int) { return 0u; });
        dst.SetClipRectDirect(Clip);
        dst.StretchDrawIndexed({0, 0, 8, 2}, src, {0, 0, 4, 1}, Threshold, Mirror, false, 256, table.data());
        std::vector<int> got;
        for (int x = 0; x < 8; ++x) got.push_back(int(dst.GetPixel(x, 1)));
        return got;
    };
    EXPECT_EQ(row(false, 0, {}), (std::vector<int>{20, 20, 21, 21, 22, 22, 23, 23}));
    EXPECT_EQ(row(true, 0, {}), (std::vector<int>{23, 22, 22, 21, 21, 20, 20, 20}));
    EXPECT_EQ(row(false, 22, {}), (std::vector<int>{0, 0, 0, 0, 22, 22, 23, 23}));
    EXPECT_EQ(row(false, 0, {3, 0, 6, 2}), (std::vector<int>{0, 0, 0, 21, 22, 22, 0, 0}));
    EXPECT_EQ(row(false, 0, {}, 24), std::vector<int>(8, 0));
}
