// The label cache on the fake font service (fixed glyph boxes: at size h a glyph is a full block
// of h/2 x (h - 2) one pixel in from the cell's left and top, advancing h/2 + 2; the ideographic
// space advances h): measured widths, the stored settings record against
// tests/tools/label_list_ref.py, and where and when labels render and draw.
#include "text/nxwords_labels.h"
#include "text/fontpixels.h"
#include "text/packfonts.h"

#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

namespace {

class LabelTest : public ::testing::Test {
protected:
    LabelTest() {
        PixelFontManager = new TPixelFontManager;
        FontPixelManager = new TFontPixelManager(platform::CreateFakeFontService);
    }
    ~LabelTest() override {
        delete FontPixelManager;
        FontPixelManager = nullptr;
        delete PixelFontManager;
        PixelFontManager = nullptr;
    }

    TNxLabelList list;
};

TEST_F(LabelTest, MeasuresDoubleByteCharactersWithMarginsAndShadow) {
    list.Margin = 1;
    list.ShadowSize = 2;
    list.AddLabel()->SetText("Aあ　");
    list.AddLabel();
    EXPECT_EQ(list.GetMaxWidth(), 0);
    list.MeasureLabels();
    const TNxLabelDIB& label = *list.GetLabel(0);
    EXPECT_EQ(label.Widths, (std::vector<int32_t>{8 + 4, 8 + 4, 12 + 4}));
    EXPECT_EQ(label.Width, 40);
    EXPECT_EQ(label.Height, 12 + 2 + 2);
    EXPECT_EQ(list.GetLabel(1)->Width, 0);
    EXPECT_EQ(list.GetMaxWidth(), 40);
    EXPECT_EQ(list.GetLabel(2), nullptr);
    EXPECT_EQ(list.GetLabel(-1), nullptr);

    // A border is measured (and drawn) as set up to the cell height, as wide as that past it.
    list.Margin = 5;
    list.MeasureLabels();
    EXPECT_EQ(list.GlyphBorder(), 5);
    EXPECT_EQ(label.Widths, (std::vector<int32_t>{8 + 12, 8 + 12, 12 + 12}));
    EXPECT_EQ(label.Height, 12 + 10 + 2);
    list.Margin = 255;
    list.MeasureLabels();
    EXPECT_EQ(list.GlyphBorder(), 12);
    EXPECT_EQ(label.Widths, (std::vector<int32_t>{8 + 26, 8 + 26, 12 + 26}));
    EXPECT_EQ(label.Height, 12 + 24 + 2);
}

TEST_F(LabelTest, CachedAdvancesServeAllButTheLastCharacterUntilTheFontChanges) {
    TNxLabelDIB& label = *list.AddLabel();
    label.SetText("AB");
    list.MeasureLabels();
    list.Advances.FindOrAdd('A') = 99;
    list.Advances.FindOrAdd('B') = 99;
    list.MeasureLabels();
    EXPECT_EQ(label.Widths, (std::vector<int32_t>{99, 8}));
    list.SetFontSize(20);
    list.MeasureLabels();
    EXPECT_EQ(label.Widths, (std::vector<int32_t>{12, 12}));
    list.Margin = -3;  // a stored negative margin counts as none
    list.MeasureLabels();
    EXPECT_EQ(label.Widths, (std::vector<int32_t>{12, 12}));
}

std::string Written(const TNxLabelList& List) {
    TMemoryStream stream;
    List.SaveToStream(stream);
    return Bytes(stream);
}

TEST_F(LabelTest, SettingsRecordsOfEachVersionReadAsTheReferenceWroteThem) {
    std::map<std::pair<int, int>, std::string> records;  // by version and antialias level
    for (const std::string& line : Lines(PythonOutput("label_list_ref.py"))) {
        std::istringstream in(line);
        int version, level;
        std::string hex;
        in >> version >> level >> hex;
        records[{version, level}] = FromHex(hex);
    }
    ASSERT_EQ(records.size(), 12u);
    const std::string fresh = Written(list);
    for (const auto& [key, record] : records) {
        const auto [version, level] = key;
        SCOPED_TRACE(testing::Message() << version << " " << level);
        TMemoryStream stream = StreamOf(record + "tail");
        TNxLabelList loaded;
        loaded.LoadFromStream(stream, version);
        EXPECT_EQ(stream.Position(), int64_t(record.size()));
        // Written back in the current form: before 109 levels 0 and 1 were off and the others
        // full; before 122 the shadow fields keep their defaults.
        std::string current = records.at({144, version >= 109 ? level : level >= 2 ? 3 : 0});
        if (version < 122) current.replace(current.size() - 8, 8, 8, '\0');
        EXPECT_EQ(ToHex(Written(loaded)), ToHex(current));
        // A record cut short is an error that changes nothing.
        TMemoryStream cut = StreamOf(record.substr(0, record.size() - 1));
        TNxLabelList untouched;
        EXPECT_THROW(untouched.LoadFromStream(cut, version), EReadError);
        EXPECT_EQ(Written(untouched), fresh);
        // So is a border (the second int32) wider than any caption needs.
        std::string wide = record;
        wide[4] = 0, wide[5] = 1;  // 256 pixels
        TMemoryStream damaged = StreamOf(wide);
        EXPECT_THROW(untouched.LoadFromStream(damaged, version), EReadError);
        EXPECT_EQ(Written(untouched), fresh);
    }
}

class LabelDrawTest : public LabelTest {
protected:
    static constexpr int32_t kBack = 0x00A5A5A5, kX = 5, kY = 7;

    LabelDrawTest() {
        Dest.SetSize(64, 32, 32);
        Dest.Fill(kBack);
        list.Dest = &Dest;
        list.Color = 0x0000FF;
        list.BorderColor = 0x00FF00;
        label.SetText("AB");
    }
    // Draws the measured label at (kX, kY) and checks that nothing outside it changed.
    void DrawAndCheckOutside() {
        list.MeasureLabels();
        label.Draw(kX, kY);
        const TRect box = Bounds(kX, kY, label.Width, label.Height);
        for (int32_t y = 0; y < Dest.GetHeight(); ++y)
            for (int32_t x = 0; x < Dest.GetWidth(); ++x) {
                if (x >= box.Left && x < box.Right && y >= box.Top && y < box.Bottom) continue;
                ASSERT_EQ(Dest.GetPixel(x, y), uint32_t(kBack)) << x << "," << y;
            }
    }
    uint32_t At(int32_t X, int32_t Y) const { return Dest.GetPixel(kX + X, kY + Y) & 0xFFFFFF; }
    // The label's pixels along a row or column: '.' background, 't' text, 'b' border, '?' other.
    std::string Line(int32_t Index, bool Row) const {
        std::string out;
        for (int32_t i = 0; i < (Row ? label.Width : label.Height); ++i) {
            const uint32_t p = Row ? At(i, Index) : At(Index, i);
            out += p == uint32_t(kBack) ? '.' : p == 0xFF0000u ? 't' : p == 0x00FF00u ? 'b' : '?';
        }
        return out;
    }

    TDIBX Dest;
    TNxLabelDIB& label = *list.AddLabel();
};

TEST_F(LabelDrawTest, PlainTextDrawsTheColourOnlyOverItsGlyphs) {
    DrawAndCheckOutside();
    // Full coverage blends the colour in at 255/256: the red channel 0xFF gives 0xFE.
    EXPECT_EQ(At(1, 1), 0xFE0000u);   // the first glyph's box: (1, 1) to (7, 11)
    EXPECT_EQ(At(9, 10), 0xFE0000u);  // the second's, one cell on
    EXPECT_EQ(At(0, 0), uint32_t(kBack));
    EXPECT_EQ(At(7, 5), uint32_t(kBack));
    EXPECT_FALSE(label.Dirty);
    // Text set but not measured yet draws no more characters than were measured.
    label.SetText("ABC");
    label.Draw(kX, kY);
    EXPECT_EQ(label.TextDIB.GetWidth(), 16);
}

TEST_F(LabelDrawTest, LevelOutOfRangeRendersAtFullAntialiasing) {
    list.AntialiasLevel = 9;
    DrawAndCheckOutside();
    EXPECT_EQ(FontPixelManager->AntialiasLevel, 3);
}

TEST_F(LabelDrawTest, BorderSurroundsTheGlyphsInsideTheLabel) {
    list.Margin = 1;
    DrawAndCheckOutside();
    EXPECT_EQ(label.Width, 2 * (8 + 2));
    EXPECT_EQ(label.Height, 12 + 2);
    const std::string row = Line(6, true), column = Line(5, false);
    SCOPED_TRACE(row + " " + column);
    EXPECT_EQ(row.find("bttttttb"), row.rfind("bttttttb") - 10);  // both 6-pixel glyphs, a cell apart
    EXPECT_EQ(row.find_first_of("?"), std::string::npos);
    EXPECT_EQ(column, ".bttttttttttb.");
}

TEST_F(LabelDrawTest, TranslucentShadowStaysInsideTheLabel) {
    list.ShadowSize = 2;
    list.Alpha = 128;
    DrawAndCheckOutside();
    EXPECT_EQ(label.Height, 12 + 2);
    const uint32_t text = At(3, 3);
    EXPECT_NE(text, uint32_t(kBack));
    EXPECT_NE(text, 0xFF0000u);  // blended with the background
}

TEST_F(LabelDrawTest, RendersAgainOnTextOrPixelFormatChangesOnly) {
    list.Margin = 1;  // the colours then live in the label's own surface
    DrawAndCheckOutside();
    list.Color = 0xFFFFFF;
    label.SetText("AB");
    EXPECT_FALSE(label.Dirty);
    label.Draw(kX, kY);
    EXPECT_EQ(At(5, 6), 0xFF0000u);

    Dest.SetSize(64, 32, 16);
    Dest.Fill(0);
    label.Draw(kX, kY);
    EXPECT_EQ(label.TextDIB.GetBitCount(), 16);
    EXPECT_EQ(Dest.GetPixel(kX + 5, kY + 6), uint32_t(Dest.ColorToPixel(0xFFFFFF)));

    label.SetText("BA");
    EXPECT_TRUE(label.Dirty);
}

}  // namespace
