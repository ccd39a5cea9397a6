// Layout of documents in whole-cell mode (every character one font size square, so no font is
// asked): the Japanese line-start and line-end rules, unlimited width, overlong Latin words,
// indents, empty lines, page breaks and paging, row heights with aligned glyphs, floating glyphs,
// ranges; and one layout on the IPA fonts' own widths.
#include "text/nxwords.h"
#include "text/fontpixels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using Rows = std::vector<std::string>;

// A glyph of a fixed size and alignment, as an inline image measures.
class TBox : public TWdGlyph {
public:
    TBox(TNxWord* AWord, int32_t AWidth, int32_t AHeight, uint8_t AAlign) : TWdGlyph(AWord), align_(AAlign) {
        Width = AWidth;
        Height = AHeight;
    }
    uint8_t GetAlign() const override { return align_; }

private:
    uint8_t align_;
};

class LayoutTest : public ::testing::Test {
protected:
    // One character glyph per character of Text; "\n" a line break.
    void Add(const std::string& Text) {
        for (uint16_t code : CharCodes(Text)) {
            if (code == '\n') {
                doc.AddGlyph(std::make_unique<TWdOpeReturn>(&doc));
                continue;
            }
            auto glyph = std::make_unique<TWdChar>(&doc);
            glyph->Code = code;
            doc.AddGlyph(std::move(glyph));
        }
    }
    template <class T>
    T& AddGlyph(std::unique_ptr<T> Glyph) {
        T& glyph = *Glyph;
        doc.AddGlyph(std::move(Glyph));
        return glyph;
    }
    void AddBreak(bool Clear) { AddGlyph(std::make_unique<TWdOpeReturn>(&doc)).ClearFlag = Clear; }

    // The characters of each row, page by page.
    std::vector<Rows> Layout() {
        LayoutPages(doc, pages, 0, -1);
        std::vector<Rows> result;
        for (int p = 0; p < pages.Count(); ++p) {
            Rows rows;
            for (int r = 0; r < pages.Items(p)->GetCount(); ++r) {
                const TWdGlyph& row = *pages.Items(p)->GetItem(r);
                std::string text;
                for (int c = 0; c < row.GetCount(); ++c)
                    if (row.GetItem(c)->GetKind() == wkChar) text += row.GetItem(c)->GetText();
                rows.push_back(text);
            }
            result.push_back(rows);
        }
        return result;
    }
    TWdRow& Row(int Page, int Index) { return *pages.Items(Page)->GetRow(Index); }

    TNxWord doc;
    TWdPageList pages;
};

TEST_F(LayoutTest, LineStartAndLineEndCharactersMoveWithTheirNeighbour) {
    doc.Width = 36;
    Add("あいう。え\nあい「う\nab cd\nあいう！？");
    EXPECT_EQ(Layout(), (std::vector<Rows>{{"あい", "う。え", "あい", "「う", "ab ", "cd", "あい", "う！？"}}));
}

TEST_F(LayoutTest, WithoutAWidthNothingWrapsAndTheWidestRowBecomesTheWidth) {
    Add("あいうえおかきくけこ\nさ");
    EXPECT_EQ(Layout(), (std::vector<Rows>{{"あいうえおかきくけこ", "さ"}}));
    EXPECT_EQ(doc.Width, 120);
    EXPECT_EQ(pages.Items(0)->GetWidth(), 120);
}

TEST_F(LayoutTest, AnOverlongLatinWordOverflowsARowOfItsOwnWithOrWithoutIndent) {
    doc.Width = 36;
    Add("あabcdefg");
    AddGlyph(std::make_unique<TWdOpeIndent>(&doc));
    Add("hijklmn");
    EXPECT_EQ(Layout(), (std::vector<Rows>{{"あ", "abcdefg", "hijklmn"}}));
    EXPECT_EQ(Row(0, 1).Width, 84);
    // The indent starts where "abcdefg" ended: the next row begins with a blank that wide.
    EXPECT_EQ(Row(0, 2).GetItem(0)->GetKind(), wkBase);
    EXPECT_EQ(Row(0, 2).GetItem(1)->X, 84);
}

TEST_F(LayoutTest, AnEmptyLineAdvancesByASpaceInTheDefaultFontAndTheSpacing) {
    doc.FontSize = 16;
    doc.RowSpace = 3;
    Add("あ\n\nい");
    EXPECT_EQ(Layout(), (std::vector<Rows>{{"あ", "", "い"}}));
    EXPECT_EQ(Row(0, 1).Y, 19);
    EXPECT_EQ(Row(0, 2).Y, 38);
    EXPECT_EQ(pages.Items(0)->Height, 54);
}

TEST_F(LayoutTest, PagingMovesRowsThatDoNotFitButNeverAPagesFirstRowAndClearAlwaysBreaks) {
    doc.Paging = 1;
    doc.Height = 30;
    Add("あ\nい\nうえ\nお");
    AddBreak(true);
    Add("か\nき");
    EXPECT_EQ(Layout(), (std::vector<Rows>{{"あ", "い"}, {"うえ", "お"}, {"か", "き"}}));
    EXPECT_EQ(Row(1, 1).Y, 12);

    pages.Clear();
    doc.Height = 10;
    EXPECT_EQ(Layout(), (std::vector<Rows>{{"あ"}, {"い"}, {"うえ"}, {"お"}, {"か"}, {"き"}}));
}

TEST_F(LayoutTest, AlignedGlyphsSetTheRowHeightAndStandOnTheBaseLine) {
    doc.Width = 100;
    Add("あ");
    TBox& bottom = AddGlyph(std::make_unique<TBox>(&doc, 10, 20, 5));
    Add("\n");
    AddGlyph(std::make_unique<TWdOpeAlign>(&doc)).Align = 2;
    Add("い");
    TBox& centre = AddGlyph(std::make_unique<TBox>(&doc, 10, 16, 3));
    Add("\nう");
    Layout();
    // Bottom-aligned: the character stands on the box's foot; the next row starts below both.
    EXPECT_EQ(Row(0, 0).Height, 20);
    EXPECT_EQ(Row(0, 0).GetItem(0)->Y, 8);
    EXPECT_EQ(bottom.Y, 0);
    EXPECT_EQ(Row(0, 1).Y, 20);
    // Right-aligned, and centred around the characters.
    EXPECT_EQ(Row(0, 1).GetItem(0)->X, 78);
    EXPECT_EQ(centre.X, 90);
    EXPECT_EQ(Row(0, 1).Height, 16);
    EXPECT_EQ(Row(0, 1).GetItem(0)->Y, 2);
    EXPECT_EQ(centre.Y, 0);
    EXPECT_EQ(Row(0, 2).Y, 36);
}

TEST_F(LayoutTest, AFloatingGlyphNarrowsTheRowsBesideItOnItsOwnPageOnly) {
    doc.Width = 60;
    TBox& left = AddGlyph(std::make_unique<TBox>(&doc, 24, 12, 1));
    Add("あいうえ");
    AddBreak(true);
    Add("か");
    AddGlyph(std::make_unique<TWdOpeIndent>(&doc));
    Add("\n");
    TBox& right = AddGlyph(std::make_unique<TBox>(&doc, 24, 12, 2));
    Add("き");
    EXPECT_EQ(Layout(), (std::vector<Rows>{{"あいう", "え"}, {"か", "き"}}));
    EXPECT_EQ(left.X, 0);
    EXPECT_EQ(Row(0, 0).GetItem(1)->X, 24);
    EXPECT_EQ(Row(0, 1).GetItem(0)->X, 0);
    // The next page starts at the full width; a row holding only its indent blank takes a float.
    EXPECT_EQ(Row(1, 0).GetItem(0)->X, 0);
    EXPECT_EQ(right.X, 36);
    EXPECT_EQ(Row(1, 1).GetItem(2)->X, 12);
}

// The bounds beside floating areas, asked at tops that mostly rise and sometimes go back (a
// negative row spacing): always those every area spanning the top gives.
TEST(FloatingAreas, BoundsAreThoseOfEveryAreaSpanningTheTop) {
    TWdClipList clips(400);
    struct TPlaced {
        TRect Rect;
        bool RightSide;
    };
    std::vector<TPlaced> placed;
    int32_t top = 0;
    for (int32_t i = 0; i < 400; ++i) {
        top += i % 9 == 8 ? -30 : 7;
        if (i % 3 == 0) {
            const bool right = i % 2 == 0;
            placed.push_back({clips.AddRect(top, 5 + i % 4, right, 10 + i % 50), right});
        }
        int32_t expectedLeft = 0, expectedRight = 400;
        for (const TPlaced& area : placed) {
            if (top < area.Rect.Top || top >= area.Rect.Bottom) continue;
            if (area.RightSide)
                expectedRight = std::min(expectedRight, area.Rect.Left);
            else
                expectedLeft = std::max(expectedLeft, area.Rect.Right);
        }
        int32_t left = -1, right = -1;
        clips.GetBounds(top, left, right);
        ASSERT_EQ(left, expectedLeft) << i;
        ASSERT_EQ(right, expectedRight) << i;
    }
    clips.Clear();
    int32_t left = -1, right = -1;
    clips.GetBounds(top, left, right);
    EXPECT_EQ(left, 0);
    EXPECT_EQ(right, 400);
}

TEST_F(LayoutTest, ARunThatCannotBeSplitStopsAtTheEndOfTheRange) {
    Add("abcd");
    LayoutPages(doc, pages, 0, 1);
    LayoutPages(doc, pages, 2, -1);
    EXPECT_EQ(pages.Items(0)->GetText(), "ab");
    EXPECT_EQ(pages.Items(1)->GetText(), "cd");
    EXPECT_EQ(doc.GetGlyph(1)->Parent, &Row(0, 0));
}

TEST_F(LayoutTest, MeasuringAddsItalicRubyBorderAndShadow) {
    doc.BorderSize = 2;
    doc.ShadowSize = 1;
    TWdChar& glyph = AddGlyph(std::make_unique<TWdChar>(&doc));
    glyph.Code = 0x82A0;
    TDecorateValues values;
    values.FontSize = 20;
    values.Style = 2;
    values.Ruby = "あ";
    values.BorderSize = -1;
    values.ShadowSize = -1;
    glyph.SetDecorate(values);
    glyph.Measure();
    EXPECT_EQ(glyph.Width, 20 + 4 + 4 + 1);
    EXPECT_EQ(glyph.Height, 20 + 10 + 4 + 1);
}

// The IPA fonts standing for the Windows faces, measured through the glyph rasteriser.
class LayoutFontTest : public LayoutTest {
protected:
    LayoutFontTest() { FontPixelManager = new TFontPixelManager; }
    ~LayoutFontTest() override {
        delete FontPixelManager;
        FontPixelManager = nullptr;
    }
};

TEST_F(LayoutFontTest, ProportionalWidthsComeFromTheFont) {
    doc.WholeCell = 0;
    doc.FontName = "ＭＳ Ｐゴシック";
    doc.FontSize = 24;
    Add("iiiiWWWW");
    Layout();
    const TWdRow& row = Row(0, 0);
    const int32_t narrow = row.GetItem(0)->Width, wide = row.GetItem(4)->Width;
    EXPECT_GT(narrow, 0);
    EXPECT_GT(wide, 2 * narrow);
    EXPECT_EQ(row.Width, 4 * narrow + 4 * wide);
    EXPECT_EQ(row.GetItem(5)->X, 4 * narrow + wide);
    // Widths measured once are kept per face, size and style.
    TWdChar& large = static_cast<TWdChar&>(*doc.GetGlyph(7));
    TDecorateValues values;
    values.FontSize = 48;
    large.SetDecorate(values);
    large.Measure();
    EXPECT_GT(large.Width, wide + wide / 2);
    doc.GetGlyph(6)->Measure();
    EXPECT_EQ(doc.GetGlyph(6)->Width, wide);
}

}  // namespace
