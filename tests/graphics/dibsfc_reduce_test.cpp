#include "graphics/dibsfc.h"
#include "graphics/fastdib.h"

#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace {

// A Width-wide surface at Depth bits holding the raw Values row by row.
void Fill(TDIBSurface& S, int Width, int Depth, const std::vector<uint32_t>& Values) {
    S.SetSize(Width, int(Values.size()) / Width, Depth);
    for (size_t i = 0; i < Values.size(); ++i) S.SetPixel(int(i) % Width, int(i) / Width, Values[i]);
}

std::vector<uint32_t> ReducedPixels(const TDIB& S) {
    std::vector<uint32_t> out;
    for (int y = 0; y < S.Height(); ++y)
        for (int x = 0; x < S.Width(); ++x) out.push_back(S.GetPixel(x, y));
    return out;
}

std::vector<TRGBQuad> ReducedColours(const TDIB& S) {
    std::vector<TRGBQuad> out;
    for (uint32_t p : ReducedPixels(S)) out.push_back(S.ValueColor(p));
    return out;
}

// A 64 x 64 picture of 4,096 colours spread over the whole colour cube.
void Rich(TDIBSurface& S, int Depth) {
    std::vector<uint32_t> values;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) values.push_back(RGBQuad(uint8_t(x * 4), uint8_t(y * 4), uint8_t((x * 7 + y * 13) % 64 * 4)));
    Fill(S, 64, 24, values);
    if (Depth != 24) S.ReduceColors(0, Depth, false, 0);
}

}  // namespace

TEST(DIBSurfaceReduce, PaletteKeptOrMadeOfTheUsedColours) {
    // A 4-bit image at 8 bits keeps its sixteen entries where they were; the rest are black.
    TDIBSurface s;
    for (int i = 0; i < 16; ++i) s.ColorTable[size_t(i)] = uint32_t(0x100000 * i + 0x0F - i);
    Fill(s, 4, 4, {15, 0, 7, 7});
    const std::vector<TRGBQuad> before = ReducedColours(s);
    s.ReduceColors(0, 8, false, 256);
    EXPECT_EQ(s.BitCount(), 8);
    EXPECT_EQ(ReducedPixels(s), (std::vector<uint32_t>{15, 0, 7, 7}));
    EXPECT_EQ(ReducedColours(s), before);
    EXPECT_EQ(s.ImageColorTable()[15], 0xF00000u);
    EXPECT_EQ(std::set<TRGBQuad>(s.ImageColorTable().begin() + 16, s.ImageColorTable().end()), std::set<TRGBQuad>{0});

    // Three colours of a 24-bit image become the table in order of first appearance.
    Fill(s, 3, 24, {0x00FF00, 0x123456, 0x00FF00, 0xFFFFFF, 0x123456, 0x123456});
    s.ReduceColors(0, 8, false, 16);
    EXPECT_EQ(ReducedPixels(s), (std::vector<uint32_t>{0, 1, 0, 2, 1, 1}));
    EXPECT_EQ(std::vector<TRGBQuad>(s.ImageColorTable().begin(), s.ImageColorTable().begin() + 4),
              (std::vector<TRGBQuad>{0x00FF00, 0x123456, 0xFFFFFF, 0}));

    // A hundred greys, dark ones first, do not fit 4 bits even under a limit of 256: the first
    // sixteen do not become the palette, every grey lands near its own level.
    std::vector<uint32_t> greys;
    for (int i = 0; i < 100; ++i) greys.push_back(RGBQuad(uint8_t(i * 5 / 2), uint8_t(i * 5 / 2), uint8_t(i * 5 / 2)));
    Fill(s, 10, 24, greys);
    s.ReduceColors(0, 4, false, 256);
    const std::vector<TRGBQuad> reduced = ReducedColours(s);
    for (size_t i = 0; i < greys.size(); ++i) EXPECT_NEAR(QuadGreen(reduced[i]), QuadGreen(greys[i]), 24) << i;
}

TEST(DIBSurfaceReduce, AsManyColoursAsThePaletteHoldsBecomeIt) {
    // 256 colours scattered over the cube, each met twice, are the table in order of first
    // appearance; one colour more and they are quantized.
    std::vector<uint32_t> values;
    for (uint32_t i = 0; i < 512; ++i) values.push_back(i % 256 * 0x9E3779 & 0xFFFFFF);
    TDIBSurface s;
    Fill(s, 32, 24, values);
    s.ReduceColors(1, 8, false, 256);
    for (size_t i = 0; i < values.size(); ++i) ASSERT_EQ(s.GetPixel(int(i % 32), int(i / 32)), i % 256) << i;
    EXPECT_EQ(std::vector(s.ImageColorTable().begin(), s.ImageColorTable().end()),
              std::vector(values.begin(), values.begin() + 256));

    values.back() = 0x010203;
    Fill(s, 32, 24, values);
    const std::vector<TRGBQuad> before = ReducedColours(s);
    s.ReduceColors(1, 8, false, 256);
    EXPECT_NE(ReducedColours(s), before);
}

TEST(DIBSurfaceReduce, ColourLimitGivesThePaletteSize) {
    struct TCase {
        int Depth, MaxColors, Used;
    };
    const TCase cases[] = {{8, 0, 256}, {8, 256, 256}, {8, 16, 16}, {8, 1000, 256}, {4, 0, 16}, {4, 5, 5}, {1, 0, 2}};
    for (const TCase& c : cases)
        for (bool dither : {false, true}) {
            TDIBSurface s;
            Rich(s, 24);
            s.ReduceColors(0, c.Depth, dither, c.MaxColors);
            EXPECT_EQ(s.BitCount(), c.Depth);
            EXPECT_EQ(s.CountColors(), c.Used) << c.Depth << " " << c.MaxColors << " " << dither;
            EXPECT_EQ(s.UsedPaletteLength(), c.Used == 1 << c.Depth ? -1 : c.Used);
        }
}

TEST(DIBSurfaceReduce, OneBitThroughSixteenColoursAndFullFourthByte) {
    TDIBSurface s;
    Rich(s, 24);
    s.ReduceColors(0, 32, false, 0);
    const std::vector<uint32_t> rich = ReducedPixels(s);
    for (uint32_t p : rich) ASSERT_EQ(p >> 24, 0xFFu);

    // The same picture converted by hand: to sixteen (seventeen asked) colours, then to two.
    TFastDIB source, sixteen, twoDirect, two;
    source.SetSize(64, 64, 32);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) StorePixel(source.Row(y), x, 32, rich[size_t(y * 64 + x)]);
    sixteen.SetSize(64, 64, 4);
    ConvertDepth(sixteen, source, false, false, 16);
    two.SetSize(64, 64, 1);
    ConvertDepth(two, sixteen, false, false, 1);
    twoDirect.SetSize(64, 64, 1);
    ConvertDepth(twoDirect, source, false, false, 1);
    ASSERT_NE(two.Colors, twoDirect.Colors);  // the way matters for this picture

    s.ReduceColors(0, 1, false, 0);
    EXPECT_EQ(s.BitCount(), 1);
    EXPECT_EQ(s.ImageColorTable()[0], two.Colors[0]);
    EXPECT_EQ(s.ImageColorTable()[1], two.Colors[1]);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) ASSERT_EQ(s.GetPixel(x, y), two.GetPixelIndex(y, x)) << x << "," << y;
}

TEST(DIBSurfaceReduce, CountsAndUsedColours) {
    TDIBSurface s;
    s.ColorTable[0] = 0x111111, s.ColorTable[1] = 0x222222, s.ColorTable[3] = 0x444444;
    struct TCase {
        int Depth;
        std::vector<uint32_t> Values;
        int Count, Length;
        std::vector<TRGBQuad> Used;
    };
    const TCase cases[] = {
        {1, {1, 0, 1}, 2, -1, {0x222222, 0x111111}},
        {1, {0, 0}, 1, 1, {0x111111}},
        {1, {1, 1}, 1, 0, {0x222222}},
        {4, {3, 0, 1, 3}, 3, 2, {0x444444, 0x111111, 0x222222}},
        {16, {0xF800, 0x1F, 0xF800}, 2, 0, {0xFF0000, 0x0000FF}},  // 5-6-5
        {32, {0xAB123456, 0x123456, 0x654321}, 2, 0, {0x123456, 0x654321}},
    };
    for (const TCase& c : cases) {
        Fill(s, int(c.Values.size()), c.Depth, c.Values);
        EXPECT_EQ(s.CountColors(), c.Count) << c.Depth;
        EXPECT_EQ(s.UsedPaletteLength(), c.Length) << c.Depth;
        EXPECT_EQ(s.UsedColors(), c.Used) << c.Depth;
    }

    EXPECT_FALSE(ErrorOf([&] { s.ReduceColors(0, 2, false, 0); }).empty());
    EXPECT_EQ(ReducedPixels(s), (std::vector<uint32_t>{0xAB123456, 0x123456, 0x654321}));
    TDIBSurface empty;
    empty.ReduceColors(0, 8, false, 0);
    EXPECT_TRUE(empty.Empty());
}

TEST(DIBSurfaceReduce, QuantizersFromAnyDepthToEveryIndexedDepth) {
    const std::pair<int, int> depths[] = {{16, 1}, {24, 4}, {32, 8}};
    for (int method : {1, 2, 3})
        for (bool dither : {false, true})
            for (auto [from, to] : depths) {
                TDIBSurface s;
                Rich(s, from);
                s.ReduceColors(method, to, dither, 0);
                EXPECT_EQ(s.BitCount(), to);
                EXPECT_LE(s.CountColors(), 1 << to) << method << dither << from << to;
            }

    // A few colours that differ in their top bits come back exactly without dithering.
    for (int method : {1, 2, 3}) {
        TDIBSurface s;
        Fill(s, 3, 15, {0x7C00, 0x1F, 0x7FFF, 0x3E0, 0x7C00, 0});
        const std::vector<TRGBQuad> before = ReducedColours(s);
        s.ReduceColors(method, 4, false, 0);
        EXPECT_EQ(ReducedColours(s), before) << method;
    }
}
