// The pixel-font reader against files written by tests/tools/make_vft.py: glyph metrics and
// pixels as the script made them, the keys files register under, and broken files.
#include "text/packfonts.h"

#include "platform/fs.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

namespace {

const std::string kFace = "ドット試験体";

// The script's coverage of pixel (X, Y), Y from the top row.
uint8_t Coverage(uint16_t Code, int X, int Y) { return (X / 2 + Y / 2 + Code) % 2 == 0 ? 255 : Y; }

class PixelFontTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const std::string host = FreshHostFolder();
        Glyphs_ = Lines(PythonOutput("make_vft.py", {"fixtures", host}));
        Folder_ = platform::fs::ToProgramPath(host);
    }
    static std::string File(const std::string& Name) { return Folder_ + Name; }

    TPixelFontManager manager;
    TGlyphMetrics metrics;
    TOutlineMetricsRecord outline{};
    TDIBX surface;

    bool Glyph(const std::string& Face, uint8_t Style, uint16_t Code) {
        return manager.GetGlyph(Face, 10, Style, Code, metrics, outline, surface);
    }

    static inline std::string Folder_;
    static inline std::vector<std::string> Glyphs_;
};

TEST_F(PixelFontTest, EveryGlyphReadsWithTheMetricsAndPixelsItWasWrittenWith) {
    TPixelFontSection* section = manager.LoadFontFile(File("good.vft"));
    ASSERT_NE(section, nullptr);
    EXPECT_EQ(section->Name(), kFace + "_10_0_0");
    EXPECT_TRUE(section->Listed());
    EXPECT_EQ(manager.GetSection(0), section);
    EXPECT_EQ(manager.GetSection(1), nullptr);
    EXPECT_EQ(manager.GetSection(-1), nullptr);
    ASSERT_EQ(Glyphs_.size(), 97u);
    for (const std::string& line : Glyphs_) {
        std::istringstream in(line);
        int code, w, h, ox, oy, ix, iy;
        in >> code >> w >> h >> ox >> oy >> ix >> iy;
        SCOPED_TRACE(line);
        ASSERT_TRUE(Glyph(kFace, 0, uint16_t(code)));
        EXPECT_EQ(metrics.gmBlackBoxX, uint32_t(w));
        EXPECT_EQ(metrics.gmBlackBoxY, uint32_t(h));
        EXPECT_EQ(metrics.gmptGlyphOriginX, ox);
        EXPECT_EQ(metrics.gmptGlyphOriginY, oy);
        EXPECT_EQ(metrics.gmCellIncX, ix);
        EXPECT_EQ(metrics.gmCellIncY, iy);
        ASSERT_EQ(surface.GetWidth(), w);
        ASSERT_EQ(surface.GetHeight(), h);
        EXPECT_EQ(surface.GetBitCount(), 8);
        if (code == 0x20) continue;  // one empty pixel
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) ASSERT_EQ(surface.GetPixel(x, y), Coverage(uint16_t(code), x, y)) << x << "," << y;
    }
    int32_t ascent;
    std::memcpy(&ascent, &outline[8], 4);
    EXPECT_EQ(ascent, 8);
    // A glyph of width 5 is stored in rows of 8 bytes: the next glyph starts where they end.
    ASSERT_TRUE(Glyph(kFace, 0, 'A'));
    EXPECT_EQ(surface.DIB->WidthBytes(), 8);

    TGlyphMetrics only;
    EXPECT_TRUE(manager.GetGlyphMetrics(kFace, 10, 0, 0x82A0, only, outline));
    EXPECT_EQ(only.gmBlackBoxX, 10u);
    EXPECT_FALSE(Glyph(kFace, 0, 0x889F));  // a code the file lacks
    EXPECT_FALSE(Glyph(kFace, 0, 0xFFFF));
}

TEST_F(PixelFontTest, FilesRegisterUnderFaceSizeBoldAndItalicOnly) {
    ASSERT_NE(manager.LoadFontFile(File("good.vft")), nullptr);
    // The same file again (the name compared without regard to case), and another file whose key
    // differs only in its underline bit: neither is kept.
    EXPECT_EQ(manager.LoadFontFile(File("GOOD.VFT")), nullptr);
    EXPECT_EQ(manager.LoadFontFile(File("same_key.vft")), nullptr);
    ASSERT_NE(manager.LoadFontFile(File("bold.vft")), nullptr);
    EXPECT_EQ(manager.Count(), 2);

    ASSERT_TRUE(Glyph(kFace, 4 | 8, 'B'));  // underline and strike-out: the plain file
    ASSERT_TRUE(Glyph(kFace, 1 | 4, 'A'));
    EXPECT_FALSE(Glyph(kFace, 1, 'B'));  // the bold file holds only "A"
    EXPECT_FALSE(Glyph(kFace, 2, 'A'));
    EXPECT_FALSE(manager.GetGlyph(kFace, 11, 0, 'A', metrics, outline, surface));
}

TEST_F(PixelFontTest, ACodeStoredTwiceTakesTheLaterRecord) {
    ASSERT_NE(manager.LoadFontFile(File("code_twice.vft")), nullptr);
    ASSERT_TRUE(Glyph("X", 0, 'A'));
    EXPECT_EQ(surface.GetPixel(0, 1), Coverage('B', 0, 1));
    EXPECT_NE(Coverage('A', 0, 1), Coverage('B', 0, 1));
    EXPECT_FALSE(Glyph("X", 0, 'B'));
}

TEST_F(PixelFontTest, BrokenFilesRaiseAndLeaveNoSection) {
    for (const char* name : {"length_byte.vft", "short_index.vft", "few_records.vft", "too_many.vft"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(ErrorOf([&] { manager.LoadFontFile(File(name)); }),
                  "フォントファイルが破壊されています\r\n" + File(name));
        EXPECT_EQ(manager.Count(), 0);
    }
    // A glyph whose pixels run past the end of the file is missing; the others are read.
    ASSERT_NE(manager.LoadFontFile(File("short_pixels.vft")), nullptr);
    EXPECT_FALSE(Glyph(kFace, 0, 0x8ABF));
    EXPECT_FALSE(manager.GetGlyphMetrics(kFace, 10, 0, 0x8ABF, metrics, outline));
    EXPECT_TRUE(Glyph(kFace, 0, 0x82A0));
}

}  // namespace
