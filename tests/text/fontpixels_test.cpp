// The glyph rasteriser's manager: coverage conversion of every level, the glyph cache and its
// eviction, which face serves a request (installed face, pixel font, fallback) and the
// installed-font table.
#include "text/fontpixels.h"

#include "platform/fs.h"
#include "tests/common/fixture.h"
#include "text/packfonts.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

const std::string kGothic = "ＭＳ ゴシック";
const std::string kDotFace = "ドット試験体";

void PutMetric(platform::OutlineMetrics& Metrics, size_t Offset, int32_t Value) {
    std::memcpy(&Metrics[Offset], &Value, 4);
}

// The coverage bytes of a glyph's surface row, top row 0.
std::vector<int> Row(const TFontPixel& Glyph, int Y) {
    std::vector<int> row;
    for (int x = 0; x < Glyph.GetWidth(); ++x) row.push_back(int(Glyph.Surface.GetPixel(x, Y)));
    return row;
}

// A manager over the fixed-box font service whose installed faces are exactly Faces, with its
// own pixel-font manager in place of the global one.
class FontPixelTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = PixelFontManager;
        PixelFontManager = &pixelFonts;
        Install({kGothic});
    }
    void TearDown() override { PixelFontManager = saved_; }

    void Install(std::initializer_list<std::string> Faces) {
        manager.Fonts.Clear();
        for (const std::string& face : Faces) manager.Fonts.AddNamed(face);
    }
    // Loads a pixel font the script writes with Args after "font OUT".
    void LoadPixelFont(std::vector<std::string> Args) {
        const std::string host = FreshHostFolder() + "font.vft";
        Args.insert(Args.begin(), {"font", host});
        PythonOutput("make_vft.py", Args);
        ASSERT_NE(pixelFonts.LoadFontFile(platform::fs::ToProgramPath(host)), nullptr);
    }

    TPixelFontManager pixelFonts;
    TFontPixelManager manager{platform::CreateFakeFontService};

private:
    TPixelFontManager* saved_ = nullptr;
};

TEST_F(FontPixelTest, StoreGlyphBitmapMapsEveryLevelThroughItsCoverageTable) {
    platform::OutlineMetrics& font = manager.Metrics;
    PutMetric(font, platform::OutlineMetricsLayout::tmAscent, 20);
    PutMetric(font, platform::OutlineMetricsLayout::otmsUnderscoreSize, 2);
    PutMetric(font, platform::OutlineMetricsLayout::otmsStrikeoutPosition, 7);
    PutMetric(font, platform::OutlineMetricsLayout::otmsStrikeoutSize, 3);
    TFontPixel glyph;

    // Level 0: 1-bit rows of 4 bytes, leftmost pixel in bit 7.
    manager.AntialiasLevel = 0;
    std::vector<uint8_t> bits = {0xA0, 0, 0, 0, 0x40, 0, 0, 0};
    manager.StoreGlyphBitmap(glyph, {3, 2, -2, 15, 9, 0}, {bits.data(), 4, nullptr}, 4 | 8);
    EXPECT_EQ(Row(glyph, 0), (std::vector<int>{255, 0, 255}));
    EXPECT_EQ(Row(glyph, 1), (std::vector<int>{0, 255, 0}));
    // An origin left of the pen; the line numbers of the style from the font.
    EXPECT_EQ((std::vector<int>{glyph.OffsetX, glyph.OffsetY, glyph.TrailingSpace, glyph.UnderlineSize,
                                glyph.StrikeOutTop, glyph.StrikeOutSize}),
              (std::vector<int>{0, 5, 6, 2, 13, 3}));

    // The grey levels read bytes through the service's value table, then the level's coverage.
    std::array<uint8_t, 256> same;
    for (int v = 0; v < 256; ++v) same[size_t(v)] = uint8_t(v);
    // Level 1: bytes 0..4 in rows padded to 8.
    manager.AntialiasLevel = 1;
    std::vector<uint8_t> grey = {0, 1, 2, 3, 4, 0, 0, 0, 4, 4, 4, 4, 4, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0};
    TFontPixel plain;
    manager.StoreGlyphBitmap(plain, {5, 3, 1, 20, 4, 0}, {grey.data(), 8, &same}, 0);
    ASSERT_EQ(plain.GetHeight(), 3);
    EXPECT_EQ(Row(plain, 0), (std::vector<int>{0, 79, 127, 207, 255}));
    EXPECT_EQ(Row(plain, 2), (std::vector<int>{79, 0, 0, 0, 0}));
    EXPECT_EQ(plain.TrailingSpace, 0);  // an increment short of the box

    // Levels 2 and 3: one row of every source value, rising from 0 to 255.
    for (int level : {2, 3}) {
        SCOPED_TRACE(level);
        manager.AntialiasLevel = level;
        const uint8_t top = uint8_t(1 << (2 * level));
        std::vector<uint8_t> ramp((top + 4) / 4 * 4);
        for (int v = 0; v <= top; ++v) ramp[v] = uint8_t(v);
        manager.StoreGlyphBitmap(glyph, {uint32_t(top + 1), 1, 0, 20, 0, 0}, {ramp.data(), 0, &same}, 0);
        std::vector<int> row = Row(glyph, 0);
        ASSERT_EQ(row.size(), size_t(top + 1));
        EXPECT_EQ(row.front(), 0);
        EXPECT_EQ(row.back(), 255);
        for (size_t i = 1; i < row.size(); ++i) EXPECT_LT(row[i - 1], row[i]);
        EXPECT_EQ(row[top / 2], level == 2 ? 159 : 143);
    }

    // Another value table at the same level: bytes 0..255 halved, and the rows bottom-up in memory.
    std::array<uint8_t, 256> halves;
    for (int v = 0; v < 256; ++v) halves[size_t(v)] = uint8_t(v / 2);
    std::vector<uint8_t> upward = {64, 0, 0, 0, 128, 2, 0, 0};
    manager.StoreGlyphBitmap(glyph, {2, 2, 0, 20, 8, 0}, {upward.data() + 4, -4, &halves}, 0);
    EXPECT_EQ(Row(glyph, 0), (std::vector<int>{255, 18}));
    EXPECT_EQ(Row(glyph, 1), (std::vector<int>{143, 0}));
    // The same size again keeps the surface: every pixel is the new bitmap's.
    std::vector<uint8_t> blank(8, 0);
    manager.StoreGlyphBitmap(glyph, {2, 2, 0, 20, 8, 0}, {blank.data(), 4, &halves}, 0);
    EXPECT_EQ(Row(glyph, 0), (std::vector<int>{0, 0}));
    EXPECT_EQ(Row(glyph, 1), (std::vector<int>{0, 0}));
}

TEST_F(FontPixelTest, TheCacheKeepsTheMostRecentlyUsedGlyphs) {
    auto cached = [&](uint16_t Code) {
        for (const auto& glyph : manager.Recent)
            if (glyph->Code == Code) return true;
        return false;
    };
    TFontPixel* first = manager.GetGlyph(0x8800, kGothic, 16, 0);
    for (uint16_t i = 1; i < 256; ++i) manager.GetGlyph(uint16_t(0x8800 + i), kGothic, 16, 0);
    EXPECT_EQ(manager.GetGlyph(0x8800, kGothic, 16, 0), first);  // a hit moves it to the front
    EXPECT_EQ(manager.Recent.front().get(), first);
    EXPECT_EQ(manager.Recent.size(), 256u);

    manager.GetGlyph(0x9000, kGothic, 16, 0);  // the 257th frees the least recently used
    EXPECT_EQ(manager.Recent.size(), 256u);
    EXPECT_TRUE(cached(0x8800));
    EXPECT_FALSE(cached(0x8801));
    EXPECT_TRUE(cached(0x8802));

    manager.AntialiasLevel = 2;  // another level is another glyph
    EXPECT_NE(manager.GetGlyph(0x8800, kGothic, 16, 0), first);
    size_t inBuckets = 0;
    for (const auto& bucket : manager.Buckets) inBuckets += bucket.size();
    EXPECT_EQ(inBuckets, manager.Recent.size());

    // At the limit a miss makes over the least recently used glyph: nothing of it is left in a
    // glyph without pixels of another style, nor in one no face serves.
    for (uint16_t i = 0; i < 256; ++i) manager.GetGlyph(uint16_t(0x8900 + i), kGothic, 16, 4 | 8);
    const TFontPixel* space = manager.GetGlyph(0x20, kGothic, 16, 0);
    EXPECT_EQ((std::vector<int>{space->GetWidth(), space->UnderlineSize, space->StrikeOutSize, space->TrailingSpace}),
              (std::vector<int>{0, 0, 0, 8}));
    Install({});
    EXPECT_THROW(manager.GetGlyph('A', "Nowhere", 16, 0), EFontPixelError);
    EXPECT_EQ(manager.Recent.front()->Code, 'A');
    EXPECT_EQ(manager.Recent.front()->GetWidth(), 0);
    EXPECT_EQ(manager.Recent.size(), 256u);
}

TEST_F(FontPixelTest, AFaceDifferingInCaseIsInstalledButAnotherGlyph) {
    Install({"Sample Face"});  // no fallback face: only the table can serve these
    TFontPixel* lower = manager.GetGlyph('A', "Sample Face", 16, 0);
    TFontPixel* upper = manager.GetGlyph('A', "SAMPLE FACE", 16, 0);
    EXPECT_NE(lower, upper);
    EXPECT_EQ(upper->GetWidth(), 8);
    EXPECT_EQ(manager.FindFont("sample FACE"), manager.FindFont("Sample Face"));
}

TEST_F(FontPixelTest, AnInstalledFaceRendersThroughTheFontServiceEvenWithAPixelFontOfIt) {
    LoadPixelFont({"--face", U8(u8"ＭＳ ゴシック"), "--size", "10"});
    // The fixed boxes are 5 x 8 at size 10; the pixel font's "A" is 5 x 10.
    EXPECT_EQ(manager.GetGlyph('A', kGothic, 10, 0)->GetHeight(), 8);
    int32_t cell, trailing, box, offset;
    manager.GetGlyphMetrics('A', kGothic, 0, 10, cell, trailing, box, offset);
    EXPECT_EQ(offset, 1);  // the fixed boxes' origin; the pixel font's is 0

    Install({});
    EXPECT_EQ(manager.GetGlyph('A', kGothic, 10, 4)->GetHeight(), 10);
}

TEST_F(FontPixelTest, PixelFontGlyphsTakeTheirPlacementFromTheFile) {
    LoadPixelFont({"--size", "24"});
    // The script's "A" at size 24: 12 x 24 at origin (0, 18), increment 13; ascent 18, lines 2
    // thick, the strike-out 10 above the baseline.
    TFontPixel* glyph = manager.GetGlyph('A', kDotFace, 24, 4 | 8);
    EXPECT_EQ(std::pair(glyph->GetWidth(), glyph->GetHeight()), std::pair(12, 24));
    EXPECT_EQ(glyph->Surface.GetPixel(2, 3), 3u);  // the script's ramp
    EXPECT_EQ((std::vector<int>{glyph->OffsetX, glyph->OffsetY, glyph->TrailingSpace, glyph->UnderlineSize,
                                glyph->StrikeOutTop, glyph->StrikeOutSize}),
              (std::vector<int>{0, 0, 1, 2, 8, 2}));

    int32_t cell, trailing, box, offset;
    manager.GetGlyphMetrics(0x82A0, kDotFace, 0, 24, cell, trailing, box, offset);
    EXPECT_EQ((std::vector<int>{cell, trailing, box, offset}), (std::vector<int>{24, 1, 24, 0}));
    // A code the file lacks falls back to the installed face.
    EXPECT_EQ(manager.GetGlyph(0x889F, kDotFace, 24, 0)->GetWidth(), 12);
}

TEST_F(FontPixelTest, WithoutTheFaceAndTheFallbackGlyphRequestsRaise) {
    Install({});
    const std::string message = "標準フォントがインストールされていません（パッケージ fonts-ipafont-gothic）";
    EXPECT_EQ(ErrorOf([&] { manager.GetGlyph('A', "Nowhere", 16, 0); }), message);
    EXPECT_EQ(manager.Recent.size(), 1u);  // cached, empty
    EXPECT_EQ(manager.Recent.front()->GetWidth(), 0);
    int32_t cell, trailing, box, offset;
    EXPECT_EQ(ErrorOf([&] { manager.GetGlyphMetrics('A', "Nowhere", 0, 16, cell, trailing, box, offset); }), message);
    platform::AbcWidths widths;
    EXPECT_FALSE(manager.GetCharAbcWidths('A', "Nowhere", 0, 16, widths));

    // With the fallback installed, an unknown face is drawn and measured in it.
    Install({kGothic});
    EXPECT_EQ(manager.GetGlyph('B', "Nowhere", 16, 0)->GetWidth(), 8);
    ASSERT_TRUE(manager.GetCharAbcWidths('B', "Nowhere", 0, 16, widths));
    EXPECT_EQ((std::vector<int>{widths.a, int(widths.b), widths.c}), (std::vector<int>{1, 8, 1}));
}

TEST_F(FontPixelTest, FontNamesAndTheStandardFaces) {
    Install({"IPAGothic", "ＭＳ Ｐ明朝", "ＭＳ ゴシック", "Fixed Face", "ＭＳ 明朝", "ＭＳ Ｐゴシック"});
    for (int i = 0; i < manager.Fonts.Count(); ++i)
        static_cast<TInstalledFont&>(manager.Fonts.Items(i)).TextMetric.tmPitchAndFamily =
            manager.Fonts.Items(i).Name() == "Fixed Face" ? 0 : TMPF_FIXED_PITCH;
    LoadPixelFont({"--size", "12"});
    LoadPixelFont({"--size", "14", "--unlisted", "--face", "Hidden"});
    LoadPixelFont({"--size", "16", "--face", "fixed face"});  // listed already, case aside

    TStringList names;
    manager.GetFontNames(names, true);
    ASSERT_EQ(names.Count(), 2);
    EXPECT_EQ(names.Strings(0), "Fixed Face");
    EXPECT_EQ(names.Strings(1), kDotFace);

    manager.KeepStandardFonts();
    names.Clear();
    manager.GetFontNames(names, false);
    ASSERT_EQ(names.Count(), 6);
    const std::vector<std::string> kept = {"ＭＳ Ｐ明朝", "ＭＳ ゴシック", "ＭＳ 明朝", "ＭＳ Ｐゴシック", kDotFace,
                                           "fixed face"};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(names.Strings(i), kept[size_t(i)]);
    EXPECT_EQ(manager.FindFont("IPAGothic"), nullptr);
}

// The FreeType service on the installed faces.
class FreeTypeGlyphTest : public ::testing::Test {
protected:
    TFontPixelManager manager;
};

TEST_F(FreeTypeGlyphTest, ASpaceIsEmptyWithTheTextWidthAsItsAdvance) {
    ASSERT_NE(manager.FindFont(kGothic), nullptr);
    auto service = platform::CreateFreeTypeFontService();
    ASSERT_TRUE(service->Select(kGothic, 24, 0));
    for (uint16_t code : {uint16_t(0x20), uint16_t(0x8140)}) {
        TFontPixel* space = manager.GetGlyph(code, kGothic, 24, 4);
        EXPECT_EQ(space->GetWidth(), 0);
        EXPECT_EQ(space->OffsetX + space->TrailingSpace, service->TextWidth(code));
        EXPECT_GT(space->TrailingSpace, 0);
    }
}

TEST_F(FreeTypeGlyphTest, AFaceNoLongerInstalledIsDrawnInTheFallback) {
    const std::string mincho = "ＭＳ 明朝", other = "IPA明朝";
    ASSERT_NE(manager.FindFont(other), nullptr);
    manager.GetGlyph(0x8ABF, other, 24, 0);
    manager.KeepStandardFonts();
    ASSERT_NE(manager.FindFont(mincho), nullptr);
    const TFontPixel& fallback = *manager.GetGlyph(0x88A0, other, 24, 0);
    const TFontPixel& gothic = *manager.GetGlyph(0x88A0, kGothic, 24, 0);
    const TFontPixel& serif = *manager.GetGlyph(0x88A0, mincho, 24, 0);
    ASSERT_EQ(fallback.GetHeight(), gothic.GetHeight());
    auto rows = [](const TFontPixel& Glyph) {
        std::vector<std::vector<int>> all;
        for (int y = 0; y < Glyph.GetHeight(); ++y) all.push_back(Row(Glyph, y));
        return all;
    };
    EXPECT_EQ(rows(fallback), rows(gothic));
    EXPECT_NE(rows(fallback), rows(serif));
}

TEST_F(FreeTypeGlyphTest, ExtremeSizesAndEveryStyleStayInBounds) {
    int32_t cell, trailing, box, offset;
    for (int32_t size : {0, 1, 300})
        for (uint8_t style = 0; style < 16; ++style) {
            SCOPED_TRACE(size * 100 + style);
            TFontPixel* glyph = manager.GetGlyph(0x8ABF, kGothic, size, style);
            manager.GetGlyphMetrics(0x8ABF, kGothic, style, size, cell, trailing, box, offset);
            if (size == 0) {
                EXPECT_EQ(glyph->GetWidth(), 0);  // no such font: an empty glyph
                EXPECT_EQ(box, 16);
                continue;
            }
            EXPECT_EQ(box, glyph->GetWidth());
            EXPECT_TRUE(size < 300 || glyph->GetHeight() > 200);
        }
    EXPECT_EQ(manager.AntialiasLevel, 3);
}

TEST_F(FreeTypeGlyphTest, ACodeWithoutACharacterKeepsTheGreyLevel) {
    TFontPixel* glyph = manager.GetGlyph(0x81FF, kGothic, 24, 0);  // no Shift-JIS character
    EXPECT_EQ(glyph->GetWidth() + glyph->TrailingSpace, 0);
    EXPECT_EQ(manager.AntialiasLevel, 3);
    EXPECT_GT(manager.GetGlyph(0x8ABF, kGothic, 24, 0)->GetWidth(), 0);
}

}  // namespace
