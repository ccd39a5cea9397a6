#include "graphics/fastdib.h"

#include "tests/common/budget.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A Width-wide working image at Bits bits (Code at 16 and 32) holding the raw Values row by row.
void Fill(TFastDIB& D, int Width, int Bits, const std::vector<uint32_t>& Values, int Code = 0) {
    D.SetSize(Width, int(Values.size()) / Width, Bits, Code);
    for (size_t i = 0; i < Values.size(); ++i) StorePixel(D.Row(int(i) / Width), int(i) % Width, Bits, Values[i]);
}

std::vector<uint32_t> Pixels(const TFastDIB& D) {
    std::vector<uint32_t> out;
    for (int y = 0; y < D.AbsHeight(); ++y)
        for (int x = 0; x < D.Width(); ++x) out.push_back(LoadPixel(D.Row(y), x, D.BitCount()));
    return out;
}

// Source converted to Bits bits (Code at 16).
std::vector<uint32_t> Converted(const TFastDIB& Source, int Bits, bool Grey, bool Dither, uint8_t MaxIndex,
                                TRGBQuadTable* Table = nullptr, int Code = 0) {
    TFastDIB dest;
    dest.SetSize(Source.Width(), Source.AbsHeight(), Bits, Code);
    ConvertDepth(dest, Source, Grey, Dither, MaxIndex);
    if (Table) *Table = dest.Colors;
    return Pixels(dest);
}

std::vector<TRGBQuad> Entries(const TRGBQuadTable& T, size_t Count) { return {T.begin(), T.begin() + Count}; }

constexpr TRGBQuad kWhite = 0xFFFFFF, kRed = 0xFF0000, kBlue = 0x0000FF;

}  // namespace

TEST(FastDIB, LayoutsScreenDepthAndErrors) {
    struct TCase {
        int Width, Bits, Code, Screen;  // Screen 0: no screen manager
        int WantBits, WantCode, BytesPerLine, Gap;
        uint32_t GMask;
    };
    const TCase cases[] = {
        {5, 1, 0, 0, 1, 888, 4, 3, 0xFF00},    {3, 24, 0, 0, 24, 888, 12, 3, 0xFF00},
        {3, 16, 0, 0, 16, 565, 8, 2, 0x7E0},   {3, 16, 565, 15, 16, 565, 8, 2, 0x7E0},
        {3, 0, 0, 15, 16, 555, 8, 2, 0x3E0},   {3, 0, 0, 0, 32, 888, 12, 0, 0xFF00},
    };
    for (const TCase& c : cases) {
        ScreenDepthHook = nullptr;
        if (c.Screen) ScreenDepthHook = [&c] { return c.Screen; };
        TFastDIB d;
        d.SetSize(c.Width, 2, c.Bits, c.Code);
        EXPECT_EQ(std::vector<int>({d.BitCount(), d.BitfieldCode(), d.BytesPerLine(), d.Gap(), int(d.Row(1) - d.Row(0))}),
                  std::vector<int>({c.WantBits, c.WantCode, c.BytesPerLine, c.Gap, c.BytesPerLine}));
        EXPECT_EQ(d.Format().GBitMask, c.GMask);
    }
    ScreenDepthHook = nullptr;

    TFastDIB d;
    Fill(d, 2, 24, {1, 2});
    d.SetSize(2, 1, 24, 888);  // the same size: the pixels stay
    EXPECT_EQ(Pixels(d), (std::vector<uint32_t>{1, 2}));
    d.SetSize(2, 1, 32);
    EXPECT_EQ(Pixels(d), (std::vector<uint32_t>{0, 0}));

    EXPECT_EQ(ErrorOf([&] { d.SetSize(40000, 40000, 32); }), "Can not alloc memory");
    {
        const testbudget::TTestBudget budget(int64_t(1) << 20);
        const TBudgetRefusal refusing;
        EXPECT_THROW(d.SetSize(2000, 2000, 32), EMemoryBudget);  // the budget's refusal passes on
    }
    EXPECT_EQ(ErrorOf([&] { d.SetSize(2, 2, 2); }), "Invalid bit count");
    EXPECT_EQ(ErrorOf([&] { d.SetSize(2, 2, 16, 888); }), "Invalid bit field code");
    TFastDIB other;
    other.SetSize(3, 1, 8);
    EXPECT_EQ(ErrorOf([&] { ConvertDepth(other, d, false, false, 255); }), "Bitmaps of different sizes");
}

TEST(FastDIBConvert, ExactPalettesInOrderOfFirstAppearance) {
    TFastDIB three;
    Fill(three, 3, 24, {kBlue, kRed, kBlue, 0x123456, kRed, kRed});
    TRGBQuadTable table;
    EXPECT_EQ(Converted(three, 8, false, false, 2, &table), (std::vector<uint32_t>{0, 1, 0, 2, 1, 1}));
    EXPECT_EQ(Entries(table, 4), (std::vector<TRGBQuad>{kBlue, kRed, 0x123456, 0}));

    // Seventeen colours at 4 bits: the last one shares index 15.
    std::vector<uint32_t> seventeen;
    for (uint32_t i = 0; i < 17; ++i) seventeen.push_back(i * 0x0F0F0F);
    TFastDIB many;
    Fill(many, 17, 32, seventeen);
    const std::vector<uint32_t> indexes = Converted(many, 4, false, false, 16, &table);
    EXPECT_EQ(indexes[15], 15u);
    EXPECT_EQ(indexes[16], 15u);
    EXPECT_EQ(table[15], 15 * 0x0F0F0Fu);

    // Two colours at 1 bit: the first pixel's is entry 0.
    TFastDIB two;
    Fill(two, 3, 24, {kWhite, kRed, kRed});
    EXPECT_EQ(Converted(two, 1, false, false, 1, &table), (std::vector<uint32_t>{0, 1, 1}));
    EXPECT_EQ(Entries(table, 2), (std::vector<TRGBQuad>{kWhite, kRed}));
}

TEST(FastDIBConvert, GreyLevels) {
    // MaxIndex 1: level (g + 1) div 256, white only for grey 255.
    TFastDIB greys;
    Fill(greys, 5, 24, {0, 0x808080, 0xFEFEFE, 0xFFFFFE, kWhite});
    TRGBQuadTable table;
    EXPECT_EQ(Converted(greys, 8, true, false, 1, &table), (std::vector<uint32_t>{0, 0, 0, 0, 1}));
    EXPECT_EQ(Entries(table, 3), (std::vector<TRGBQuad>{0, kWhite, 0}));
    // The same through a 1-bit target (the first pixel's colour, black, is entry 0).
    EXPECT_EQ(Converted(greys, 1, true, false, 200, &table), (std::vector<uint32_t>{0, 0, 0, 0, 1}));

    // A 4-bit target caps MaxIndex at 15: levels of a sixteen-entry ramp, listed as met.
    EXPECT_EQ(Converted(greys, 4, true, false, 200, &table), (std::vector<uint32_t>{0, 1, 2, 2, 3}));
    EXPECT_EQ(Entries(table, 5), (std::vector<TRGBQuad>{0, 0x777777, 0xEEEEEE, kWhite, 0}));

    // Serpentine diffusion of grey 100 over 3 x 2 with two levels: the second row runs right to
    // left and gathers enough error at its last pixel for white. MaxIndex 255 never dithers.
    TFastDIB flat;
    Fill(flat, 3, 24, std::vector<uint32_t>(6, 0x646464));
    EXPECT_EQ(Converted(flat, 8, true, true, 1), (std::vector<uint32_t>{0, 0, 0, 1, 0, 0}));
    EXPECT_EQ(Converted(flat, 8, true, true, 255), std::vector<uint32_t>(6, 100));
}

TEST(FastDIBConvert, BoxSplitPalette) {
    // Red against two blues of one cell: the red axis splits first, the lower half keeps box 0.
    TFastDIB d;
    Fill(d, 3, 24, {kRed, kBlue, 0x0000FA});
    TRGBQuadTable table;
    EXPECT_EQ(Converted(d, 8, false, false, 1, &table), (std::vector<uint32_t>{1, 0, 0}));
    EXPECT_EQ(Entries(table, 3), (std::vector<TRGBQuad>{0x0000F8, 0xF80000, 0}));

    // Every colour of one cell makes one box, its centre the only entry.
    std::vector<uint32_t> cell;
    for (uint32_t r = 248; r < 256; ++r)
        for (uint32_t g = 252; g < 256; ++g)
            for (uint32_t b = 248; b < 256; ++b) cell.push_back(RGBQuad(uint8_t(r), uint8_t(g), uint8_t(b)));
    Fill(d, 16, 24, cell);
    EXPECT_EQ(Converted(d, 8, false, true, 15, &table), std::vector<uint32_t>(cell.size(), 0));
    EXPECT_EQ(Entries(table, 2), (std::vector<TRGBQuad>{0xF8FCF8, 0}));

    // One colour asked for: one box over the bounds of every cell.
    Fill(d, 3, 24, {kRed, kBlue, kWhite});
    EXPECT_EQ(Converted(d, 8, false, false, 0, &table), (std::vector<uint32_t>{0, 0, 0}));
    EXPECT_EQ(Entries(table, 2), (std::vector<TRGBQuad>{0x7C7E7C, 0}));

    // With diffusion the grey pixels drift out of their box (green cells 0..16) into cells of no
    // box, which take the nearest entry.
    Fill(d, 6, 24, {0, 0x404040, 0x404040, 0x404040, 0x404040, kWhite});
    EXPECT_EQ(Converted(d, 8, false, true, 1, &table), (std::vector<uint32_t>{0, 0, 0, 0, 0, 1}));
    EXPECT_EQ(Entries(table, 3), (std::vector<TRGBQuad>{0x202020, 0xF8FCF8, 0}));
}

TEST(FastDIBConvert, SixteenBitsAndDirectRepacks) {
    // Red 4 is half a 5-bit step: it rounds up and the error it leaves pulls the next pixel down.
    TFastDIB d;
    Fill(d, 4, 24, std::vector<uint32_t>(4, RGBQuad(4, 0, 0)));
    EXPECT_EQ(Converted(d, 16, false, true, 255, nullptr, 565), (std::vector<uint32_t>{0x800, 0, 0x800, 0}));
    EXPECT_EQ(Converted(d, 16, false, false, 255, nullptr, 565), std::vector<uint32_t>(4, 0));
    // A full field never rounds up; green rounds at half its own step.
    Fill(d, 1, 32, {RGBQuad(3, 2, 252)});
    EXPECT_EQ(Converted(d, 16, false, true, 255, nullptr, 565), (std::vector<uint32_t>{0x3F}));
    EXPECT_EQ(Converted(d, 16, false, true, 255, nullptr, 555), (std::vector<uint32_t>{0x1F}));

    // 5-5-5 words widen by bit replication; indexes go through the table.
    Fill(d, 2, 16, {0x7C10, 0x3E0}, 555);
    EXPECT_EQ(Converted(d, 24, false, false, 255), (std::vector<uint32_t>{0xFF0084, 0x00FF00}));
    EXPECT_EQ(Converted(d, 16, false, true, 255, nullptr, 565), (std::vector<uint32_t>{0xF810, 0x7E0}));
    Fill(d, 2, 8, {1, 0});
    d.Colors[1] = 0x123456;
    EXPECT_EQ(Converted(d, 32, false, false, 255), (std::vector<uint32_t>{0x123456, 0}));
}
