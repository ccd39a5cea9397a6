// Character-image labels: cells picked through the map text, gaps, alignment and size, the
// sheet's frame step, and the record of each save version.
#include "objects/vitemex_cglabel.h"
#include "tests/objects/image_kinds_fixture.h"

namespace {

class CGLabels : public ImageKindsTest {
protected:
    // A 12 x 8 sheet of 4 x 4 cells (three across, two down) for the map "0１2AB:" in two frames.
    TVelaCGLabel* Label(const std::string& Text) {
        Cache->Source->Files["digits.png"] = {{12, 8, 100, false}, {12, 8, 100, false}};
        auto* label = static_cast<TVelaCGLabel*>(Bases->CreateObject(LT_CGLABEL));
        label->SetParent(Bases->GetBase(0));
        label->SetName("score");
        label->SetSource("digits.png");
        label->SetMaptext("0１2AB:");
        label->SetGlyphwidth(4);
        label->SetGlyphheight(4);
        label->SetText(Text);
        return label;
    }
    // The line whose top is row Y of the screen as the cells shown at each 4-pixel step: the map
    // character whose cell's top-left pixel lies there (of frame 0, or its frame number for
    // another), '.' for none.
    std::string Cells(int32_t Y, int32_t Count) {
        std::string row;
        for (int32_t x = 0; x < Count * 4; x += 4) {
            char c = '.';
            for (int frame = 0; frame < 2; ++frame)
                for (int cell = 0; cell < 6; ++cell)
                    if (Pixel(x, Y) == PixelOf(frame, cell % 3 * 4, cell / 3 * 4))
                        c = frame ? char('0' + frame) : "0W2AB:"[cell];
            row += c;
        }
        return row;
    }
};

TEST_F(CGLabels, CellsFollowTheMapTextWithGapsAlignmentAndTheLineSpaceBetweenLines) {
    TVelaCGLabel* label = Label("0X１:");
    // A fresh label is transparent until its alpha is set.
    EXPECT_EQ(Cells(0, 4), "....");
    label->SetAlpha(255);
    // The double-byte "１" is one character (the second cell, shown as W); "X" leaves a gap.
    EXPECT_EQ(Cells(0, 4), "0.W:");
    EXPECT_EQ(label->GetWidth(), 16);
    EXPECT_EQ(label->GetHeight(), 4);
    label->SetLinespace(3);
    EXPECT_EQ(label->GetHeight(), 4);  // one line: no line space
    label->SetText("B\r\nAB2\r\n");    // a final line break adds no line
    EXPECT_EQ(label->GetWidth(), 12);
    EXPECT_EQ(label->GetHeight(), 11);
    EXPECT_EQ(Cells(0, 3), "B..");
    EXPECT_EQ(Cells(7, 3), "AB2");
    label->SetHalign(1);  // (12 - 4) / 2
    EXPECT_EQ(Cells(0, 3), ".B.");
    label->SetHalign(7);
    EXPECT_EQ(Cells(0, 3), "..B");
    label->SetGlyphwidth(0);
    EXPECT_EQ(label->GetGlyphwidth(), 1);
    label->SetGlyphwidth(13);  // wider than the sheet: no cell fits
    EXPECT_EQ(Cells(0, 3), "...");
}

// Sizes past the int32 range saturate, and a line placed past it is not drawn: the third line
// at 2 x (4 + 2147483647) does not wrap round to row 6.
TEST_F(CGLabels, ExtremeCellsAndLineSpacesSaturate) {
    TVelaCGLabel* label = Label("0\r\n0\r\n0");
    label->SetAlpha(255);
    label->SetLinespace(INT32_MAX);
    EXPECT_EQ(label->GetHeight(), INT32_MAX);
    EXPECT_EQ(Cells(0, 1), "0");
    EXPECT_EQ(Cells(6, 1), ".");
    label->SetGlyphwidth(1 << 30);
    EXPECT_EQ(label->GetWidth(), 1 << 30);
    label->SetText("000");
    EXPECT_EQ(label->GetWidth(), INT32_MAX);
}

TEST_F(CGLabels, TheSheetAnimatesUnlessPausedAndSurvivesTheDeviceLoss) {
    TVelaCGLabel* label = Label("A");
    label->SetAlpha(255);
    EXPECT_EQ(label->GetOrigwidth(), 12);
    EXPECT_EQ(label->GetOrigheight(), 8);
    EXPECT_TRUE(label->GetPlaying());
    Tick(60);
    EXPECT_EQ(Cells(0, 1), "A");
    Tick(60);
    EXPECT_EQ(Cells(0, 1), "1");
    label->SetAnipaused(true);
    EXPECT_FALSE(label->GetPlaying());
    Tick(200);
    EXPECT_EQ(Cells(0, 1), "1");
    Bases->FreePrivateDIBs();
    Bases->MakePrivateDIBs();
    EXPECT_EQ(Cells(0, 1), "1");
    label->SetSource("");
    EXPECT_EQ(label->GetOrigwidth(), 0);
    EXPECT_EQ(Cells(0, 1), ".");
}

TEST_F(CGLabels, RecordsOfEachVersionLoadAsWrittenAndRebuildTheSize) {
    std::string newest;
    for (const std::string& line : Lines(PythonOutput("cglabel_records.py"))) {
        std::istringstream fields(line);
        int32_t version = 0;
        std::string stored, asRead;
        fields >> version >> stored >> asRead;
        SCOPED_TRACE(version);
        TMemoryStream s = StreamOf(FromHex(stored));
        TVelaCGLabel loaded(Bases);
        loaded.LoadFromStream(s, version);
        EXPECT_EQ(s.Remaining(), 0);
        EXPECT_EQ(loaded.GetWidth(), 40);
        EXPECT_EQ(loaded.GetHeight(), 23);
        TMemoryStream again;
        loaded.SaveToStream(again);
        EXPECT_EQ(ToHex(Bytes(again)), ToHex(FromHex(asRead)));
        newest = stored;
    }
    // A stored cell height of 0 is read as 1: the two lines, 3 apart, are drawn from the sheet.
    const std::string cells = "080000000a000000";
    ASSERT_NE(newest.find(cells), std::string::npos);
    newest.replace(newest.find(cells), cells.size(), "0800000000000000");
    TMemoryStream s = StreamOf(FromHex(newest));
    auto* loaded = Make<TVelaCGLabel>("loaded");
    loaded->LoadFromStream(s, GameSaveVersion);
    EXPECT_EQ(loaded->GetGlyphheight(), 1);
    EXPECT_EQ(loaded->GetHeight(), 5);
    Pixel(0, 0);
}

}  // namespace
