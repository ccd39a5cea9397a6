#include "graphics/dibsfc.h"

#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

namespace {

const std::vector<uint32_t> kLevels = {0, 1, 7, 31, 100, 128, 200, 254, 255};

// A 1-row surface holding Pixels.
void Row(TDIBSurface& S, int32_t Depth, const std::vector<uint32_t>& Pixels) {
    S.SetSize(int32_t(Pixels.size()), 1, Depth);
    for (size_t i = 0; i < Pixels.size(); ++i) S.SetPixel(int32_t(i), 0, Pixels[i]);
}

std::vector<uint32_t> Pixels(const TDIB& S) {
    std::vector<uint32_t> out;
    for (int32_t y = 0; y < S.Height(); ++y)
        for (int32_t x = 0; x < S.Width(); ++x) out.push_back(S.GetPixel(x, y));
    return out;
}

uint32_t Channel(uint32_t P, uint32_t Mask) { return P & Mask; }

// Every (destination, source) pair of channel levels, packed into pixels of a depth.
struct TGrid {
    std::vector<uint32_t> D, S;
};
TGrid Grid(uint32_t (*Pack)(uint32_t, uint32_t)) {
    TGrid g;
    for (uint32_t d : kLevels)
        for (uint32_t s : kLevels) g.D.push_back(Pack(d, 0)), g.S.push_back(Pack(s, 1));
    return g;
}

// Channel levels spread over a 24-bit pixel, the three channels different.
uint32_t Pack24(uint32_t L, uint32_t Salt) { return L | ((L * 3 + Salt) & 0xFF) << 8 | ((255 - L) & 0xFF) << 16; }
uint32_t Pack15(uint32_t L, uint32_t Salt) { return (L & 31) | ((L * 3 + Salt) & 31) << 5 | ((L >> 3) & 31) << 10; }
uint32_t Pack16(uint32_t L, uint32_t Salt) { return (L & 31) | ((L * 3 + Salt) & 63) << 5 | ((L >> 3) & 31) << 11; }

}  // namespace

TEST(DIBSurface, DepthsAlphaPlaneAndClear) {
    TDIBSurface s;
    s.SetSize(10, 10, 15);
    EXPECT_EQ(s.BitCount(), 16);
    EXPECT_EQ(s.GetBitCountEx(), 15);
    EXPECT_EQ(s.NowPixelFormat().RBitMask, 0x7C00u);
    EXPECT_EQ(s.NowPixelFormat().GBitMask, 0x3E0u);
    EXPECT_EQ(s.NowPixelFormat().BBitMask, 0x1Fu);
    s.SetSize(10, 10, 16);
    EXPECT_EQ(s.GetBitCountEx(), 16);
    EXPECT_EQ(s.NowPixelFormat().GBitMask, 0x7E0u);

    s.FillAlpha();
    s.SetSize(20, 5, 24);
    ASSERT_TRUE(s.Alpha);
    EXPECT_EQ(s.Alpha->Width(), 20);
    EXPECT_EQ(s.Alpha->Height(), 5);
    EXPECT_EQ(s.Alpha->BitCount(), 8);
    s.Clear();
    EXPECT_FALSE(s.Alpha);

    TDIB wrong;
    wrong.SetSize(3, 3, 8);
    s.SetSize(4, 4, 24);
    EXPECT_NE(ErrorOf([&] { s.SetAlphaFrom(wrong); }), "");
}

TEST(DIBSurface, PixelConversions) {
    TDIBSurface s;
    s.SetSize(1, 1, 15);
    uint8_t r, g, b;
    s.PixelToRGB(0x7C00 | 1 << 5, r, g, b, true);
    EXPECT_EQ(std::vector<int>({r, g, b}), std::vector<int>({255, 15, 0}));
    EXPECT_EQ(s.RGBToPixel(255, 15, 0), 0x7C00u | 1 << 5);
    s.SetSize(1, 1, 16);
    s.PixelToRGB(0xF800 | 1 << 5, r, g, b, true);
    EXPECT_EQ(std::vector<int>({r, g, b}), std::vector<int>({255, 7, 0}));
    s.PixelToRGBRaw(0xFFFF, r, g, b);
    EXPECT_EQ(std::vector<int>({r, g, b}), std::vector<int>({31, 63, 31}));
    EXPECT_EQ(s.RGBToPixelRaw(31, 63, 31), 0xFFFFu);
}

TEST(DIBSurface, TrimCropsToTheDifferentPixels) {
    TDIBSurface s;
    s.SetSize(8, 6, 8);
    s.FillRectRaw({0, 0, 8, 6}, 9);
    s.Trim(-1);
    EXPECT_EQ(s.Width(), 8);
    s.SetPixel(3, 4, 2);
    s.FillAlpha();
    s.Alpha->SetPixel(3, 4, 77);
    s.Trim(9);
    ASSERT_EQ(s.Width(), 1);
    ASSERT_EQ(s.Height(), 1);
    EXPECT_EQ(s.GetPixel(0, 0), 2u);
    EXPECT_EQ(s.Alpha->GetPixel(0, 0), 77u);
    s.Trim(2);  // all of it is the colour
    EXPECT_EQ(s.Width(), 1);

    // A crop reaching outside keeps the requested size; the outside part is empty.
    Row(s, 24, {1, 2, 3});
    s.Crop({-1, 0, 5, 2});
    EXPECT_EQ(Pixels(s), std::vector<uint32_t>({0, 1, 2, 3, 0, 0, 0, 0, 0, 0, 0, 0}));
    s.Crop({4, 4, 2, 2});  // negative size
    EXPECT_TRUE(s.Empty());
}

TEST(DIBSurface, Resize) {
    TDIBSurface s;
    s.SetSize(2, 2, 8);
    for (uint32_t i = 0; i < 4; ++i) s.SetPixel(int32_t(i % 2), int32_t(i / 2), i + 1);
    s.FillAlpha();
    s.Resize(2, 2, -1, true);
    EXPECT_EQ(s.BitCount(), 8);
    s.Resize(4, 4, -1, false);
    EXPECT_EQ(Pixels(s), std::vector<uint32_t>({1, 1, 2, 2, 1, 1, 2, 2, 3, 3, 4, 4, 3, 3, 4, 4}));
    EXPECT_EQ(s.Alpha->Width(), 4);
    EXPECT_EQ(s.Alpha->GetPixel(3, 3), 255u);

    Row(s, 24, {0, 0xC8C8C8});
    s.Resize(4, 1, -1, true);
    EXPECT_EQ(Pixels(s), std::vector<uint32_t>({0, 0x323232, 0x969696, 0xC8C8C8}));
    Row(s, 24, {0, 0x646464, 0xC8C8C8, 0x646464});
    s.Resize(2, 1, -1, true);
    EXPECT_EQ(Pixels(s), std::vector<uint32_t>({0x323232, 0x969696}));
    // Key-coloured cells are left out of the average and out of the interpolation.
    Row(s, 24, {0xFF00FF, 0x646464, 0xFF00FF, 0xFF00FF});
    s.Resize(2, 1, 0xFF00FF, true);
    EXPECT_EQ(Pixels(s), std::vector<uint32_t>({0x646464, 0xFF00FF}));
    Row(s, 24, {0xFF00FF, 0xC8C8C8});
    s.Resize(4, 1, 0xFF00FF, true);
    EXPECT_EQ(Pixels(s), std::vector<uint32_t>({0xFF00FF, 0xC8C8C8, 0xC8C8C8, 0xC8C8C8}));
    // A 16-bit image comes back at its depth.
    Row(s, 16, {0xFFFF, 0});
    s.Resize(4, 1, -1, true);
    EXPECT_EQ(s.GetBitCountEx(), 16);
    EXPECT_EQ(s.GetPixel(0, 0), 0xFFFFu);
}

TEST(DIBSurface, CopyConvertClipsAndMapsToTheNearestEntry) {
    TDIBSurface src, dst;
    src.ColorTable[1] = RGBQuad(250, 0, 0);
    src.ColorTable[2] = RGBQuad(0, 0, 240);
    src.SetSize(8, 1, 8);
    for (int32_t x = 0; x < 8; ++x) src.SetPixel(x, 0, x % 2 ? 1 : 2);
    dst.ColorTable[5] = RGBQuad(255, 0, 0);
    dst.ColorTable[6] = RGBQuad(0, 0, 255);
    dst.SetSize(4, 1, 8);
    dst.CopyConvert(-5, 0, src);
    EXPECT_EQ(Pixels(dst), std::vector<uint32_t>({5, 6, 5, 0}));

    TDIBSurface wide;
    wide.SetSize(2, 1, 16);
    wide.CopyConvert(1, 0, src);
    EXPECT_EQ(Pixels(wide), std::vector<uint32_t>({0, 0x001E}));  // 240 blue -> 30 at 5 bits
}

TEST(DIBSurface, DrawAlphaFormulas) {
    for (const uint32_t a : {1u, 64u, 128u, 254u}) {
        TDIBSurface d, s;
        // 24 bits: (d * (255 - a) + s * a) div 255 per byte.
        TGrid g = Grid(Pack24);
        Row(d, 24, g.D), Row(s, 24, g.S);
        d.DrawAlpha(0, 0, int32_t(a), -1, {0, 0, s.Width(), 1}, s);
        for (size_t i = 0; i < g.D.size(); ++i)
            for (int c = 0; c < 24; c += 8)
                ASSERT_EQ(d.GetPixel(int32_t(i), 0) >> c & 0xFF, ((g.D[i] >> c & 0xFF) * (255 - a) + (g.S[i] >> c & 0xFF) * a) / 255);
        // 32 bits: (d * (255 - a) + s * a) shr 8 per channel, fourth byte 0.
        Row(d, 32, g.D), Row(s, 32, g.S);
        d.SetPixel(0, 0, 0xFF000000);
        d.DrawAlpha(0, 0, int32_t(a), -1, {0, 0, s.Width(), 1}, s);
        ASSERT_EQ(d.GetPixel(0, 0) >> 24, 0u);
        for (size_t i = 1; i < g.D.size(); ++i)
            for (int c = 0; c < 24; c += 8)
                ASSERT_EQ(d.GetPixel(int32_t(i), 0) >> c & 0xFF, ((g.D[i] >> c & 0xFF) * (255 - a) + (g.S[i] >> c & 0xFF) * a) >> 8);
        // 15/16 bits: each masked field blended as a whole, div 255.
        for (const int32_t depth : {15, 16}) {
            g = Grid(depth == 15 ? Pack15 : Pack16);
            Row(d, depth, g.D), Row(s, depth, g.S);
            d.DrawAlpha(0, 0, int32_t(a), -1, {0, 0, s.Width(), 1}, s);
            const auto& f = d.NowPixelFormat();
            for (size_t i = 0; i < g.D.size(); ++i) {
                uint32_t want = 0;
                for (uint32_t m : {f.RBitMask, f.GBitMask, f.BBitMask})
                    want |= (Channel(g.D[i], m) * (255 - a) + Channel(g.S[i], m) * a) / 255 & m;
                ASSERT_EQ(d.GetPixel(int32_t(i), 0), want) << depth << " " << a << " " << i;
            }
        }
    }
}

TEST(DIBSurface, DrawAlphaKeysAndEnds) {
    TDIBSurface d, s;
    Row(s, 24, {0x102030, 0x405060});
    Row(d, 24, {0, 0});
    d.DrawAlpha(0, 0, 128, 0x405060, {0, 0, 2, 1}, s);
    EXPECT_EQ(Pixels(d), std::vector<uint32_t>({(0x10 * 128 / 255) << 16 | (0x20 * 128 / 255) << 8 | 0x30 * 128 / 255, 0}));
    d.DrawAlpha(0, 0, 0, -1, {0, 0, 2, 1}, s);  // opacity 0 draws nothing
    EXPECT_EQ(d.GetPixel(1, 0), 0u);
    d.DrawAlpha(0, 0, 255, 0x102030, {0, 0, 2, 1}, s);  // 255 is the keyed copy
    EXPECT_EQ(d.GetPixel(1, 0), 0x405060u);

    Row(s, 16, {0x1234, 0xFFFF});
    Row(d, 16, {0, 0});
    d.DrawAlpha(0, 0, 100, -1, {0, 0, 2, 1}, s);  // -1 is no key at 16 bits
    EXPECT_NE(d.GetPixel(1, 0), 0u);

    // 32 bits compare the whole double word: -1 skips only an all-ones pixel.
    Row(s, 32, {0xFFFFFFFF, 0x00FFFFFF});
    Row(d, 32, {7, 7});
    d.DrawKeyed(0, 0, -1, {0, 0, 2, 1}, s);
    EXPECT_EQ(Pixels(d), std::vector<uint32_t>({7, 0x00FFFFFF}));
    // 24 bits: a negative key is none.
    Row(s, 24, {0xFFFFFF});
    Row(d, 24, {7});
    d.DrawKeyed(0, 0, -1, {0, 0, 1, 1}, s);
    EXPECT_EQ(d.GetPixel(0, 0), 0xFFFFFFu);
    // 1 bit: a pixel equal to the key is skipped, a negative key skips nothing.
    Row(s, 1, {1, 0, 1, 0}), Row(d, 1, {0, 1, 0, 1});
    d.DrawKeyed(0, 0, 1, {0, 0, 4, 1}, s);
    EXPECT_EQ(Pixels(d), std::vector<uint32_t>({0, 0, 0, 0}));
    d.DrawKeyed(0, 0, -1, {0, 0, 4, 1}, s);
    EXPECT_EQ(Pixels(d), std::vector<uint32_t>({1, 0, 1, 0}));
}

TEST(DIBSurface, IndexedOpacityIsAStipple) {
    TDIBSurface d, s;
    for (const int32_t depth : {1, 4, 8}) {
        s.SetSize(8, 8, depth), d.SetSize(8, 8, depth);
        s.FillRectRaw({0, 0, 8, 8}, 1);
        d.DrawAlpha(1, 2, 40, -1, {0, 0, 8, 8}, s);  // level 2: thresholds 0, 1, 2
        int drawn = 0;
        for (int32_t y = 2; y < 6; ++y)
            for (int32_t x = 4; x < 8; ++x) drawn += int(d.GetPixel(x, y));
        EXPECT_EQ(drawn, 3) << depth;
        EXPECT_EQ(d.GetPixel(4, 4), 1u);  // threshold 0
        EXPECT_EQ(d.GetPixel(2, 2), 1u);  // threshold 1
        EXPECT_EQ(d.GetPixel(2, 4), 1u);  // threshold 2
        EXPECT_EQ(d.GetPixel(1, 2), 0u);
    }
}

TEST(DIBSurface, DrawAlphaMaskFormulas) {
    TDIBSurface d, s;
    const std::vector<uint32_t> alphas = {0, 1, 100, 127, 128, 200, 254, 255};
    auto withAlpha = [&](size_t Count) {
        s.NeedAlpha();
        for (size_t i = 0; i < Count; ++i) s.Alpha->SetPixel(int32_t(i), 0, alphas[i % alphas.size()]);
    };
    // 8 bits: copied where alpha >= 128.
    Row(s, 8, std::vector<uint32_t>(alphas.size(), 9));
    Row(d, 8, std::vector<uint32_t>(alphas.size(), 0));
    withAlpha(alphas.size());
    d.DrawAlphaMask(0, 0, 17, {0, 0, 8, 1}, s);
    EXPECT_EQ(Pixels(d), std::vector<uint32_t>({0, 0, 0, 0, 9, 9, 9, 9}));

    TGrid g = Grid(Pack24);
    for (const int32_t opacity : {255, 300, 128}) {
        Row(s, 24, g.S), Row(d, 24, g.D);
        withAlpha(g.S.size());
        d.DrawAlphaMask(0, 0, opacity, {0, 0, s.Width(), 1}, s);
        for (size_t i = 0; i < g.D.size(); ++i) {
            uint32_t al = alphas[i % alphas.size()];
            if (opacity < 255) al = al * uint32_t(opacity) >> 8;
            for (int c = 0; c < 24; c += 8) {
                const uint32_t dc = g.D[i] >> c & 0xFF, sc = g.S[i] >> c & 0xFF;
                const uint32_t want = al == 0 ? dc : al == 255 ? sc : (sc * al + dc * (255 - al)) >> 8;
                ASSERT_EQ(d.GetPixel(int32_t(i), 0) >> c & 0xFF, want) << opacity << " " << i;
            }
        }
    }
    Row(s, 32, g.S), Row(d, 32, g.D);
    withAlpha(g.S.size());
    d.DrawAlphaMask(0, 0, 0, {0, 0, s.Width(), 1}, s);  // opacity counts only at 24 bits
    for (size_t i = 0; i < g.D.size(); ++i) {
        const uint32_t al = alphas[i % alphas.size()];
        uint32_t want = al == 0 ? g.D[i] : al == 255 ? g.S[i] : 0;
        for (int c = 0; al && al < 255 && c < 24; c += 8)
            want |= (((g.S[i] >> c & 0xFF) * al + (g.D[i] >> c & 0xFF) * (255 - al)) >> 8) << c;
        ASSERT_EQ(d.GetPixel(int32_t(i), 0), want) << i;
    }
    for (const int32_t depth : {15, 16}) {
        g = Grid(depth == 15 ? Pack15 : Pack16);
        Row(s, depth, g.S), Row(d, depth, g.D);
        withAlpha(g.S.size());
        d.DrawAlphaMask(0, 0, 255, {0, 0, s.Width(), 1}, s);
        const auto& f = d.NowPixelFormat();
        for (size_t i = 0; i < g.D.size(); ++i) {
            const uint32_t al = alphas[i % alphas.size()];
            uint32_t want = al == 0 ? g.D[i] : al == 255 ? g.S[i] : 0;
            for (uint32_t m : {f.RBitMask, f.GBitMask, f.BBitMask})
                if (al && al < 255) want |= (Channel(g.D[i], m) * (255 - al) + Channel(g.S[i], m) * al) >> 8 & m;
            ASSERT_EQ(d.GetPixel(int32_t(i), 0), want) << depth << " " << i;
        }
    }
}

TEST(DIBSurface, CopyAndFillRowEdges) {
    TDIBSurface d, s;
    Row(s, 8, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    Row(d, 8, std::vector<uint32_t>(10, 99));
    d.CopyRectTo(-3, 0, {0, 0, 10, 10}, s);
    EXPECT_EQ(Pixels(d), std::vector<uint32_t>({3, 4, 5, 6, 7, 8, 9, 99, 99, 99}));

    d.SetSize(16, 2, 1);
    d.FillRectRaw({3, 0, 13, 1}, 1);
    EXPECT_EQ(ToHex(std::string(reinterpret_cast<const char*>(d.ScanLineReadOnly(0)), 2)), "1FF8");
    EXPECT_EQ(d.ScanLineReadOnly(1)[0], 0);
    d.SetSize(5, 1, 4);
    d.FillRectRaw({1, -5, 4, 5}, 0x1B);
    EXPECT_EQ(Pixels(d), std::vector<uint32_t>({0, 0xB, 0xB, 0xB, 0}));
    d.SetSize(2, 1, 15);
    d.FillRectRaw({0, 0, 2, 1}, 0xFFFF);
    EXPECT_EQ(d.GetPixel(1, 0), 0x7FFFu);

    s.SetSize(2, 2, 24);
    EXPECT_NE(ErrorOf([&] { d.CopyAllTo(0, 0, s); }), "");  // depths differ
}

// Every routine, every depth, rectangles and positions inside, across and far outside both
// images: only the pixels of the clipped transfer may change, and CopyRectTo puts exactly the
// mapped source pixels there.
TEST(DIBSurface, HostileRectanglesNeverWriteOutside) {
    const std::vector<int32_t> coords = {INT32_MIN, -100, -3, -1, 0, 2, 5, 9, 100, INT32_MAX};
    for (const int32_t depth : {1, 4, 8, 15, 16, 24, 32}) {
        TDIBSurface s;
        s.SetSize(9, 6, depth);
        for (int32_t y = 0; y < 6; ++y)
            for (int32_t x = 0; x < 9; ++x) s.SetPixel(x, y, uint32_t(x * 7 + y * 13 + 1));
        s.NeedAlpha();
        for (int32_t x = 0; x < 9; ++x) s.Alpha->SetPixel(x, 1, 200);
        for (const int32_t x : coords)
            for (const int32_t l : coords)
                for (const int32_t r : {-2, 0, 3, 8, 12, INT32_MAX}) {
                    const TRect rect{l, l / 2, r, r};
                    TDIBSurface d;
                    d.SetSize(7, 5, depth);
                    d.CopyRectTo(x, -x / 3, rect, s);
                    const int32_t y = -x / 3;
                    for (int32_t dy = 0; dy < 5; ++dy)
                        for (int32_t dx = 0; dx < 7; ++dx) {
                            const int64_t sx = int64_t(dx) - x + l, sy = int64_t(dy) - y + l / 2;
                            const bool inside = sx >= std::max(l, 0) && sx < std::min(r, 9) && sy >= std::max(l / 2, 0) &&
                                                sy < std::min(r, 6);
                            ASSERT_EQ(d.GetPixel(dx, dy), inside ? s.GetPixel(int32_t(sx), int32_t(sy)) : 0u)
                                << depth << " " << x << " " << l << " " << r;
                        }
                    d.DrawKeyed(x, l, 1, rect, s);
                    d.DrawAlpha(l, x, 100, -1, rect, s);
                    d.DrawAlphaMask(x, x, 100, rect, s);
                    d.FillRectRaw(rect, 0xFFFFFFFF);
                    d.CopyConvert(x, l, s);
                }
        s.Crop({-5, -5, 3, 2});
        EXPECT_EQ(s.Width(), 8);
        EXPECT_EQ(s.Alpha->Height(), 7);
    }
}
