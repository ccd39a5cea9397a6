#include "platform/fonts.h"
#include "platform/encoding.h"
#include "tests/common/budget.h"
#include "tests/common/fixture.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_ADVANCES_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <sstream>

namespace {

using platform::FontService;
using platform::GlyphMetrics;
using platform::GlyphBitmap;
using platform::OutlineMetricsLayout;
using platform::ReadMetric;

// The file fontconfig serves a family from, and its tables as fontTools reads them (the Debian
// package installs fontTools for the system's python3).
std::string FontFile(const std::string& family) {
    return RunProgram("fc-match", {"-f", "%{file}", family + ":lang=ja"}).out;
}
std::map<std::string, int> FontTables(const std::string& file) {
    std::map<std::string, int> tables;
    std::istringstream lines(RunProgram("/usr/bin/python3", {std::string(VELA_TEST_TOOLS) + "/font_tables.py", file}).out);
    std::string name;
    int value;
    while (lines >> name >> value) tables[name] = value;
    return tables;
}

bool IpaInstalled() {
    auto faces = platform::InstalledFontFaces();
    return std::any_of(faces.begin(), faces.end(), [](const auto& f) { return f.name == "ＭＳ ゴシック"; });
}

int Scaled(int units, int ppem, int em) { return static_cast<int>(std::lround(double(units) * ppem / em)); }

}  // namespace

TEST(FontFaces, ListMatchesFontconfigsJapaneseFamilies) {
    std::set<std::set<std::string>> reference;
    for (const auto& line : Lines(RunProgram("fc-list", {":lang=ja:outline=true", "family"}).out)) {
        std::set<std::string> names;
        std::istringstream parts(line);
        for (std::string name; std::getline(parts, name, ',');) names.insert(name);
        if (!names.empty()) reference.insert(names);
    }
    std::set<std::set<std::string>> listed;
    std::map<std::string, std::set<std::string>> byName;
    for (const auto& face : platform::InstalledFontFaces()) {
        std::set<std::string> names(face.hostNames.begin(), face.hostNames.end());
        byName[face.name] = names;
        if (!face.name.starts_with("ＭＳ")) {
            EXPECT_TRUE(names.count(platform::Cp932ToUtf8(face.name))) << platform::Cp932ToUtf8(face.name);
            listed.insert(names);
        }
    }
    EXPECT_EQ(listed, reference);
    if (!IpaInstalled()) GTEST_SKIP() << "the IPA fonts are not installed";
    EXPECT_TRUE(byName["ＭＳ ゴシック"].count("IPAGothic"));
    EXPECT_TRUE(byName["ＭＳ Ｐゴシック"].count("IPAPGothic"));
    EXPECT_TRUE(byName["ＭＳ 明朝"].count("IPAMincho"));
    EXPECT_TRUE(byName["ＭＳ Ｐ明朝"].count("IPAPMincho"));
}

class FreeTypeFonts : public ::testing::Test {
protected:
    void SetUp() override {
        if (!IpaInstalled()) GTEST_SKIP() << "the IPA fonts are not installed";
        fonts = platform::CreateFreeTypeFontService();
    }
    std::unique_ptr<FontService> fonts;
};

TEST_F(FreeTypeFonts, SelectionSizesFollowTheFontsOwnTables) {
    for (auto [face, family] : {std::pair{"ＭＳ ゴシック", "IPAGothic"}, std::pair{"ＭＳ Ｐ明朝", "IPAPMincho"}}) {
        auto t = FontTables(FontFile(family));
        ASSERT_GT(t["unitsPerEm"], 0) << family;
        const int em = t["unitsPerEm"], cell = t["usWinAscent"] + t["usWinDescent"];
        for (int height : {12, 16, 24, 37, 300}) {
            SCOPED_TRACE(std::string(family) + " " + std::to_string(height));
            ASSERT_TRUE(fonts->Select(face, height, 0));
            const int ppem = static_cast<int>(std::lround(double(height) * em / cell));
            const auto& m = fonts->Metrics();
            EXPECT_EQ(ReadMetric(m, OutlineMetricsLayout::otmSize), 212);
            EXPECT_EQ(ReadMetric(m, OutlineMetricsLayout::tmAscent), Scaled(t["usWinAscent"], ppem, em));
            EXPECT_EQ(ReadMetric(m, OutlineMetricsLayout::otmsStrikeoutSize), Scaled(t["yStrikeoutSize"], ppem, em));
            EXPECT_EQ(ReadMetric(m, OutlineMetricsLayout::otmsStrikeoutPosition),
                      Scaled(t["yStrikeoutPosition"], ppem, em));
            EXPECT_EQ(ReadMetric(m, OutlineMetricsLayout::otmsUnderscoreSize),
                      Scaled(t["underlineThickness"], ppem, em));
            EXPECT_EQ(ReadMetric(m, OutlineMetricsLayout::otmEMSquare), em);
        }
        // A negative height asks for the pixels per em itself.
        ASSERT_TRUE(fonts->Select(face, -20, 0));
        EXPECT_EQ(ReadMetric(fonts->Metrics(), OutlineMetricsLayout::tmAscent), Scaled(t["usWinAscent"], 20, em));
    }
}

TEST_F(FreeTypeFonts, FailedSelectionKeepsThePreviousOne) {
    ASSERT_TRUE(fonts->Select("ＭＳ ゴシック", 24, 0));
    const auto before = fonts->Metrics();
    EXPECT_FALSE(fonts->Select("存在しないフォント", 24, 0));  // fontconfig's fallback is not this family
    EXPECT_FALSE(fonts->Select("ＭＳ ゴシック", 0, 0));
    EXPECT_FALSE(fonts->Select("ＭＳ ゴシック", platform::kMaxFontHeight + 1, 0));
    EXPECT_FALSE(fonts->Select("ＭＳ ゴシック", -platform::kMaxFontHeight - 1, 0));
    EXPECT_EQ(fonts->Metrics(), before);
    EXPECT_TRUE(fonts->Select("IPAゴシック", 24, 0));  // the host's own names serve as well
}

// Each character's code page 932 code (from Python's codec) gives the glyph FreeType itself
// finds for the character's code point, with FreeType's unhinted advance at the same size.
TEST_F(FreeTypeFonts, AdvancesAndCodesMatchFreeType) {
    const std::string file = FontFile("IPAPGothic");
    FT_Library library;
    ASSERT_EQ(FT_Init_FreeType(&library), 0);
    std::unique_ptr<FT_LibraryRec_, FT_Error (*)(FT_Library)> libraryOwner(library, FT_Done_FreeType);
    FT_Face face;
    ASSERT_EQ(FT_New_Face(library, file.c_str(), 0, &face), 0);
    std::unique_ptr<FT_FaceRec_, FT_Error (*)(FT_Face)> faceOwner(face, FT_Done_Face);
    const auto tables = FontTables(file);
    const auto codes = Lines(PythonOutput("font_tables.py", {"--codes", platform::Cp932ToUtf8("Aiあ漢ｱ～W .")}));
    ASSERT_EQ(codes.size(), 9u);
    for (int height : {16, 24, 41}) {
        ASSERT_TRUE(fonts->Select("ＭＳ Ｐゴシック", height, 0));
        const int ppem = static_cast<int>(
            std::lround(double(height) * tables.at("unitsPerEm") / (tables.at("usWinAscent") + tables.at("usWinDescent"))));
        ASSERT_EQ(FT_Set_Pixel_Sizes(face, 0, ppem), 0);
        for (const auto& line : codes) {
            unsigned code, codePoint;
            ASSERT_EQ(sscanf(line.c_str(), "%x %x", &code, &codePoint), 2);
            SCOPED_TRACE(line + " at " + std::to_string(height));
            FT_Fixed advance;
            ASSERT_EQ(FT_Get_Advance(face, FT_Get_Char_Index(face, codePoint), FT_LOAD_NO_HINTING, &advance), 0);
            GlyphMetrics m;
            ASSERT_GE(fonts->Glyph(static_cast<uint16_t>(code), 3, m, nullptr), 0);
            EXPECT_EQ(m.cellIncX, (advance + 0x8000) >> 16);
            EXPECT_EQ(fonts->TextWidth(static_cast<uint16_t>(code)), m.cellIncX);
            platform::AbcWidths abc;
            ASSERT_TRUE(fonts->CharAbcWidths(static_cast<uint16_t>(code), abc));
            EXPECT_EQ(abc.a + static_cast<int32_t>(abc.b) + abc.c, m.cellIncX);
        }
    }
}

TEST_F(FreeTypeFonts, GlyphBuffersAtEveryLevel) {
    ASSERT_TRUE(fonts->Select("ＭＳ ゴシック", 24, 0));
    const uint16_t block = 0x81A1;  // a filled square: full coverage inside, nothing in the padding
    for (int level = 0; level <= 3; ++level) {
        SCOPED_TRACE(level);
        GlyphMetrics m;
        GlyphBitmap bitmap;
        const int32_t size = fonts->Glyph(block, level, m, &bitmap);
        ASSERT_GT(m.blackBoxX, 0u);
        const uint32_t row = level == 0 ? (m.blackBoxX + 31) / 32 * 4 : (m.blackBoxX + 3) / 4 * 4;
        ASSERT_EQ(size, static_cast<int32_t>(row * m.blackBoxY));
        ASSERT_EQ(bitmap.values == nullptr, level == 0);
        EXPECT_GT(m.originY, 0);
        EXPECT_LE(m.originY, ReadMetric(fonts->Metrics(), OutlineMetricsLayout::tmAscent));
        const int full = level == 0 ? 1 : 1 << (2 * level);
        // The middle row: full inside the square (its edges may fall between pixels).
        const uint8_t* mid = bitmap.top + m.blackBoxY / 2 * bitmap.pitch;
        for (uint32_t x = 0; x < m.blackBoxX; ++x) {
            int value = level == 0 ? (mid[x / 8] >> (7 - x % 8)) & 1 : (*bitmap.values)[mid[x]];
            if (x > 0 && x + 1 < m.blackBoxX) EXPECT_EQ(value, full) << "x " << x;
            else EXPECT_GT(value, 0) << "x " << x;
            EXPECT_LE(value, full);
        }
        EXPECT_EQ(fonts->Glyph(block, level, m, nullptr), size);  // the size alone
    }
    // A space has no pixels but an advance.
    GlyphMetrics space;
    EXPECT_EQ(fonts->Glyph(0x20, 3, space, nullptr), 0);
    EXPECT_EQ(space.blackBoxX, 0u);
    EXPECT_GT(space.cellIncX, 0);
    EXPECT_EQ(fonts->TextWidth(0x20), space.cellIncX);
    // Bytes that are no character, and levels out of range.
    EXPECT_EQ(fonts->Glyph(0x81, 3, space, nullptr), -1);
    EXPECT_EQ(fonts->Glyph(0x4142, 3, space, nullptr), -1);
    EXPECT_EQ(fonts->Glyph('A', 4, space, nullptr), -1);
}

// What FreeType holds of a render (the bitmap stays in the face's glyph slot) is in the title's
// budget, and given back with the fonts.
TEST_F(FreeTypeFonts, WhatFreeTypeHoldsIsCharged) {
    GlyphMetrics m;
    ASSERT_TRUE(fonts->Select("ＭＳ ゴシック", 24, 0));
    ASSERT_GT(fonts->Glyph(0x81A1, 3, m, nullptr), 0);
    const int64_t before = MemoryCharged();
    ASSERT_TRUE(fonts->Select("ＭＳ ゴシック", -platform::kMaxFontHeight, 0));
    ASSERT_GT(fonts->Glyph(0x81A1, 3, m, nullptr), 0);
    const int64_t bitmap = int64_t(m.blackBoxX) * m.blackBoxY;
    EXPECT_GT(bitmap, int64_t(2) << 20);
    EXPECT_GE(MemoryCharged() - before, bitmap - testbudget::Slack);
    fonts.reset();
    EXPECT_LE(MemoryCharged(), before + testbudget::Slack);
}

TEST_F(FreeTypeFonts, BoldAndItalicWithoutSuchFaces) {
    GlyphMetrics regular, bold, italic;
    const uint16_t bar = '|';
    ASSERT_TRUE(fonts->Select("ＭＳ Ｐ明朝", 32, 0));
    ASSERT_GT(fonts->Glyph(bar, 3, regular, nullptr), 0);
    ASSERT_TRUE(fonts->Select("ＭＳ Ｐ明朝", 32, platform::kFontBold));
    EXPECT_EQ(ReadMetric(fonts->Metrics(), OutlineMetricsLayout::tmWeight), 700);
    ASSERT_GT(fonts->Glyph(bar, 3, bold, nullptr), 0);
    EXPECT_GT(bold.blackBoxX, regular.blackBoxX);
    EXPECT_EQ(bold.cellIncX, regular.cellIncX + 1);  // em / 24 at 32 pixels per em is about 1.2 pixels
    ASSERT_TRUE(fonts->Select("ＭＳ Ｐ明朝", 32, platform::kFontItalic));
    ASSERT_GT(fonts->Glyph(bar, 3, italic, nullptr), 0);
    // The bar leans right by about a fifth of its height.
    EXPECT_NEAR(double(italic.blackBoxX - regular.blackBoxX), 0.2126 * regular.blackBoxY, 2.0);
    EXPECT_EQ(italic.cellIncX, regular.cellIncX);
    EXPECT_EQ(italic.blackBoxY, regular.blackBoxY);
}

TEST(FakeFonts, FixedBoxes) {
    auto fonts = platform::CreateFakeFontService();
    GlyphMetrics m;
    EXPECT_EQ(fonts->Glyph('A', 3, m, nullptr), -1);  // nothing selected
    ASSERT_TRUE(fonts->Select("どれでも", 16, 0));
    EXPECT_EQ(ReadMetric(fonts->Metrics(), OutlineMetricsLayout::tmAscent), 14);
    GlyphBitmap bitmap;
    EXPECT_EQ(fonts->Glyph(0x82A0, 1, m, &bitmap), 8 * 14);
    EXPECT_EQ(m.blackBoxX, 8u);
    EXPECT_EQ(m.originY, 13);
    EXPECT_EQ(m.cellIncX, 10);
    EXPECT_EQ((*bitmap.values)[bitmap.top[13 * bitmap.pitch + 7]], 4);
    EXPECT_EQ(fonts->Glyph(0x82A0, 0, m, &bitmap), 4 * 14);
    EXPECT_EQ(bitmap.top[0], 0xFF);
    EXPECT_EQ(bitmap.top[1], 0);
    EXPECT_EQ(fonts->Glyph(0x8140, 3, m, nullptr), 0);
    EXPECT_EQ(fonts->TextWidth(0x8140), 16);
}
