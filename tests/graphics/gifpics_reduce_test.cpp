// The GIF codec's colour reduction: the lookups' thresholds, the serpentine error diffusion, the
// guards of narrow images, the octree and the bitmap writer's refusals.
#include "graphics/gifpics_reduce.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct RGB {
    uint8_t r, g, b;
};

TDIB Picture(int W, int H, const std::vector<RGB>& Pixels) {
    TDIB d;
    d.SetSize(W, H, 24);
    for (int i = 0; i < W * H; ++i) {
        const RGB c = Pixels[size_t(i) % Pixels.size()];
        d.SetPixel(i % W, i / W, c.b | c.g << 8 | c.r << 16);
    }
    return d;
}

std::vector<uint32_t> Indices(const TDIB& D) {
    std::vector<uint32_t> v;
    for (int y = 0; y < D.Height(); ++y)
        for (int x = 0; x < D.Width(); ++x) v.push_back(D.GetPixel(x, y));
    return v;
}

std::unique_ptr<TDIB> Reduce(const TDIB& Source, gif::TColorReduction Method, gif::TDitherMode Mode = gif::dmNearest,
                             int Bits = 8, const gif::TPalette* Custom = nullptr) {
    return gif::ReduceColors(Source, Method, Mode, Bits, Custom);
}

using V = std::vector<uint32_t>;

TEST(GifReduce, LookupThresholds) {
    // Luminance sums 32,512 and 32,513 fall on either side of black and white.
    auto mono = Reduce(Picture(2, 1, {{127, 127, 127}, {0, 169, 247}}), gif::rmMonochrome);
    EXPECT_EQ(Indices(*mono), (V{0, 1}));
    EXPECT_EQ(mono->ImageColorTable()[1], RGBQuad(255, 255, 255));

    // The cube adds 3 before dividing by 51: 0..47 level 0, 48..98 level 1.
    auto cube = Reduce(Picture(5, 1, {{47, 47, 47}, {48, 48, 48}, {98, 98, 98}, {99, 0, 0}, {255, 252, 0}}),
                       gif::rmNetscape);
    EXPECT_EQ(Indices(*cube), (V{0, 43, 43, 72, 210}));
    EXPECT_EQ(cube->ImageColorTable()[43], RGBQuad(51, 51, 51));

    // The fast lookup answers a 5-5-5 cell with the nearest entry of the first colour asked in
    // it: 64 ties between 0 and 128 (the first wins), 71 is nearer 128.
    EXPECT_EQ(Indices(*Reduce(Picture(2, 1, {{64, 64, 64}, {71, 71, 71}}), gif::rmWindowsGray)), (V{0, 0}));
    EXPECT_EQ(Indices(*Reduce(Picture(2, 1, {{71, 71, 71}, {64, 64, 64}}), gif::rmWindowsGray)), (V{1, 1}));

    // Nothing to reduce to gives an empty bitmap; no reduction a 24-bit copy.
    EXPECT_TRUE(Reduce(Picture(2, 2, {{1, 2, 3}}), gif::rmPalette)->Empty());
    auto copy = Reduce(Picture(2, 2, {{1, 2, 3}}), gif::rmNone);
    EXPECT_EQ(copy->BitCount(), 24);
    EXPECT_EQ(copy->GetPixel(1, 1), 0x010203u);
    EXPECT_THROW(Reduce(Picture(1, 1, {{0, 0, 0}}), gif::TColorReduction(10)), EInvalidGraphic);
}

TEST(GifReduce, ErrorDiffusionRunsSerpentine) {
    // 2 x 2 of grey 100 to black and white, Floyd-Steinberg: the second row goes right to left,
    // so its right pixel is black and passes enough error to its left pixel to turn it white
    // (scanned left to right, both would stay black).
    auto r = Reduce(Picture(2, 2, {{100, 100, 100}}), gif::rmMonochrome, gif::dmFloydSteinberg);
    EXPECT_EQ(Indices(*r), (V{0, 1, 1, 0}));
}

TEST(GifReduce, NarrowImagesStayInsideTheGuards) {
    // A one-pixel-wide column through every kernel (each line of errors is its own allocation, so
    // a write past a guard is caught); the error still carries down the column.
    const TDIB column = Picture(1, 40, {{128, 128, 128}});
    for (int mode = gif::dmFloydSteinberg; mode <= gif::dmBurkes; ++mode) {
        SCOPED_TRACE(mode);
        const V v = Indices(*Reduce(column, gif::rmMonochrome, gif::TDitherMode(mode)));
        EXPECT_NE(std::count(v.begin(), v.end(), 0u), 0);
        EXPECT_NE(std::count(v.begin(), v.end(), 1u), 0);
        Reduce(Picture(3, 5, {{10, 200, 90}, {250, 3, 128}}), gif::rmNetscape, gif::TDitherMode(mode));
    }
}

TEST(GifReduce, OctreeKeepsFewColoursExactly) {
    std::vector<RGB> ten;
    for (int i = 0; i < 10; ++i) ten.push_back({uint8_t(i * 25), uint8_t(255 - i * 20), uint8_t(i * i)});
    const TDIB source = Picture(10, 3, ten);
    for (auto method : {gif::rmQuantize, gif::rmQuantizeWindows}) {
        auto r = Reduce(source, method, gif::dmNearest, 4);
        for (int i = 0; i < 30; ++i)
            EXPECT_EQ(r->ValueColor(r->GetPixel(i % 10, i / 10)), RGBQuad(ten[i % 10].r, ten[i % 10].g, ten[i % 10].b));
        if (method == gif::rmQuantizeWindows) {
            EXPECT_EQ(r->ImageColorTable()[9], RGBQuad(166, 202, 240));
            EXPECT_EQ(r->ImageColorTable()[246], RGBQuad(255, 251, 240));
        }
    }
}

TEST(GifReduce, WriterRefusesBadFormats) {
    TDIB target;
    EXPECT_THROW(gif::TDIBWriter(target, nullptr, 4, 4, 16), EInvalidGraphic);
    EXPECT_THROW(gif::TDIBWriter(target, nullptr, 0, 4, 8), EInvalidGraphic);
    gif::TDIBWriter w(target, nullptr, 4, 4, 24);
    EXPECT_THROW(w.ScanLine(4), EInvalidGraphicOperation);
    w.ScanLine(0)[2] = 0x7F;  // red of the top-left pixel
    w.Close();
    EXPECT_EQ(target.GetPixel(0, 0), 0x7F0000u);
}

}  // namespace
