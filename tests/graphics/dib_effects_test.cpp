#include "graphics/dib.h"

#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>

namespace {

constexpr int kDepths[] = {1, 4, 8, 16, 24, 32};

// A Width x 1 picture at Bits bits holding Colours (at 8 bits or fewer through its colour table;
// 16 bits as 5-5-5).
TDIB Picture(int Bits, const std::vector<TRGBQuad>& Colours) {
    TDIB dib;
    dib.PixelFormat = Bits == 16 ? MakeDIBColorFormat(5, 5, 5) : MakeDIBColorFormat(8, 8, 8);
    for (size_t i = 0; i < Colours.size() && Bits <= 8; ++i) dib.ColorTable[i] = Colours[i];
    dib.SetSize(int(Colours.size()), 1, Bits);
    for (size_t i = 0; i < Colours.size(); ++i) {
        const TRGBQuad c = Colours[i];
        dib.SetPixel(int(i), 0, Bits <= 8 ? uint32_t(i) : PackRGB(dib.NowPixelFormat(), QuadRed(c), QuadGreen(c), QuadBlue(c)));
    }
    return dib;
}

std::vector<uint32_t> Row(const TDIB& Dib, int Y = 0) {
    std::vector<uint32_t> row;
    for (int x = 0; x < Dib.Width(); ++x) row.push_back(Dib.GetPixel(x, Y));
    return row;
}

struct TReport {
    TProgressStage Stage;
    int Percent;
    bool Redraw;
    TRect R;
    std::string Msg;
};

}  // namespace

TEST(DIBEffects, GreyscaleFromEveryDepthToEveryDepth) {
    // White weighs 91 + 102 + 60 = 253, pure red 91.
    const std::vector<TRGBQuad> colours = {RGBQuad(255, 255, 255), RGBQuad(255, 0, 0)};
    const std::map<int, std::vector<uint32_t>> expected = {
        {1, {1, 0}},
        {4, {15, 5}},
        {8, {253, 91}},
        {16, {PackRGB(MakeDIBColorFormat(5, 5, 5), 253, 253, 253), PackRGB(MakeDIBColorFormat(5, 5, 5), 91, 91, 91)}},
        {24, {0xFDFDFD, 0x5B5B5B}},
        {32, {0xFDFDFD, 0x5B5B5B}}};
    for (int from : kDepths)
        for (int to : kDepths) {
            TDIB dib = Picture(from, colours);
            dib.PixelFormat = to == 16 ? MakeDIBColorFormat(5, 5, 5) : MakeDIBColorFormat(8, 8, 8);
            dib.Greyscale(to);
            ASSERT_EQ(dib.BitCount(), to);
            EXPECT_EQ(Row(dib), expected.at(to)) << from << " -> " << to;
        }
}

TEST(DIBEffects, GreyscaleEdges) {
    TDIB dib = Picture(24, {RGBQuad(100, 0, 0), RGBQuad(214, 0, 214), RGBQuad(215, 0, 215)});
    TDIB shared = dib;
    dib.Greyscale(8);
    EXPECT_EQ(Row(dib), (std::vector<uint32_t>{35, 127, 128}));
    EXPECT_EQ(dib.ImageColorTable(), MakeGreyColorTable());
    EXPECT_EQ(Row(shared), (std::vector<uint32_t>{0x640000, 0xD600D6, 0xD700D7}));  // a sharer keeps its picture

    // Grey 128 is the first that sets a bit; the two-entry table is black and 192.
    TDIB twoColours = shared;
    twoColours.Greyscale(1);
    EXPECT_EQ(Row(twoColours), (std::vector<uint32_t>{0, 0, 1}));
    EXPECT_EQ(twoColours.ImageColorTable()[1], RGBQuad(192, 192, 192));
    EXPECT_EQ(twoColours.ImageColorTable()[2], 0u);
    shared.Greyscale(4);
    EXPECT_EQ(shared.ImageColorTable()[1], RGBQuad(17, 17, 17));
    EXPECT_EQ(shared.ImageColorTable()[15], RGBQuad(255, 255, 255));

    // Greying an 8-bit picture in place reads every pixel through its old colours.
    TDIB indexed = Picture(8, {RGBQuad(255, 255, 255), RGBQuad(100, 0, 0)});
    indexed.Greyscale(8);
    EXPECT_EQ(Row(indexed), (std::vector<uint32_t>{253, 35}));
}

TEST(DIBEffects, BlurEdges) {
    TDIB dib = Picture(24, {RGBQuad(0, 0, 0), RGBQuad(90, 90, 90), RGBQuad(180, 180, 180)});
    TDIB unchanged = dib;
    unchanged.Blur(32, 0);
    EXPECT_EQ(unchanged.BitCount(), 24);
    EXPECT_EQ(Row(unchanged), Row(dib));

    TDIB negative = dib;
    dib.Blur(24, 1);
    EXPECT_EQ(Row(dib), (std::vector<uint32_t>{0x2D2D2D, 0x5A5A5A, 0x878787}));
    negative.Blur(24, -1);
    EXPECT_EQ(Row(negative), Row(dib));
}

// Every output depth, radii inside and beyond the picture, against the plain definition.
TEST(DIBEffects, BlurMatchesReference) {
    const int w = 9, h = 7;
    TDIB source;
    source.SetSize(w, h, 24);
    std::vector<std::string> pixels;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint32_t c = (uint32_t(x * 2654435761u) ^ uint32_t(y * 40503u * 977u)) & 0xFFFFFF;
            source.SetPixel(x, y, c);
            char hex[7];
            std::snprintf(hex, sizeof hex, "%06x", c);
            pixels.push_back(hex);
        }
    for (int bits : kDepths)
        for (int radius : {-2, 3, 100}) {
            std::vector<std::string> args = {std::to_string(bits), std::to_string(radius), std::to_string(w),
                                             std::to_string(h)};
            args.insert(args.end(), pixels.begin(), pixels.end());
            const std::vector<std::string> expected = Lines(PythonOutput("blur_ref.py", args));
            TDIB dib = source;
            dib.PixelFormat = bits == 16 ? MakeDIBColorFormat(5, 6, 5) : MakeDIBColorFormat(8, 8, 8);
            dib.Blur(bits, radius);
            ASSERT_EQ(dib.BitCount(), bits);
            std::vector<std::string> actual;
            for (int y = 0; y < h; ++y)
                for (uint32_t v : Row(dib, y)) actual.push_back(std::to_string(v));
            EXPECT_EQ(actual, expected) << bits << " bits, radius " << radius;
        }
}

TEST(DIBEffects, NegativeAndEmpty) {
    TDIB indexed = Picture(8, {RGBQuad(10, 20, 30), RGBQuad(255, 0, 0)});
    indexed.Negative();
    EXPECT_EQ(Row(indexed), (std::vector<uint32_t>{0, 1}));
    EXPECT_EQ(indexed.ImageColorTable()[0], RGBQuad(245, 235, 225));
    EXPECT_EQ(indexed.ImageColorTable()[1], RGBQuad(0, 255, 255));
    EXPECT_EQ(indexed.ImageColorTable()[255], 0u);  // all 256 entries, the unused white ones too

    TDIB direct = Picture(24, {RGBQuad(10, 20, 30)});
    const std::vector<uint8_t> before(direct.PBitsReadOnly(), direct.PBitsReadOnly() + direct.Size());
    direct.Negative();
    for (int i = 0; i < direct.Size(); ++i) EXPECT_EQ(direct.PBitsReadOnly()[i], 255 - before[size_t(i)]) << i;

    TDIB empty;
    int reports = 0;
    empty.OnProgress = [&](TDIB&, TProgressStage, uint8_t, bool, const TRect&, const std::string&) { ++reports; };
    empty.Greyscale(8);
    empty.Blur(24, 3);
    empty.Negative();
    EXPECT_TRUE(empty.Empty());
    EXPECT_EQ(reports, 0);
}

// A report per changed percentage; a redraw hint at most every 200 ms and 32 rows, and only
// when the first one comes within the first third of the picture.
TEST(DIBEffects, ProgressReportsAndRedrawHints) {
    auto run = [](uint32_t Step, bool Blur) {
        TDIB dib;
        dib.SetSize(1, 100, 24);
        uint32_t now = 1000;
        dib.ProgressClock = [&] { return now += Step; };
        std::vector<TReport> reports;
        dib.OnProgress = [&](TDIB&, TProgressStage Stage, uint8_t Percent, bool Redraw, const TRect& R,
                             const std::string& Msg) { reports.push_back({Stage, Percent, Redraw, R, Msg}); };
        Blur ? dib.Blur(24, 1) : dib.Greyscale(8);
        return reports;
    };
    std::vector<TReport> reports = run(10, false);
    ASSERT_EQ(reports.size(), 101u);  // start, rows 1..99, end
    EXPECT_EQ(reports.front().Stage, TProgressStage::psStarting);
    EXPECT_EQ(reports.front().R, (TRect{0, 0, 1, 100}));
    EXPECT_EQ(reports.front().Msg, "Greyscale");
    EXPECT_EQ(reports.back().Stage, TProgressStage::psEnding);
    EXPECT_EQ(reports.back().Percent, 100);
    EXPECT_TRUE(reports.back().Redraw);
    std::vector<TRect> hints;
    for (size_t i = 1; i + 1 < reports.size(); ++i) {
        EXPECT_EQ(reports[i].Stage, TProgressStage::psRunning);
        EXPECT_EQ(reports[i].Percent, int(i));
        if (reports[i].Redraw) hints.push_back(reports[i].R);
    }
    EXPECT_EQ(hints, (std::vector<TRect>{{0, 0, 1, 33}, {0, 33, 1, 66}, {0, 66, 1, 99}}));

    // At 5 ms a row 200 ms have passed only after the first third: no hints at all.
    reports = run(5, true);
    EXPECT_EQ(reports.front().Msg, "Blur");
    for (size_t i = 1; i + 1 < reports.size(); ++i) EXPECT_FALSE(reports[i].Redraw) << i;
}
