// The sample title's texts as the headless window presents them: the seconds counted in cells of
// the digits' glyph sheet, following the fake clock; the labels in the four faces, the zoomed and
// the turned one, each inside its rectangle; the pixel-font label in the glyphs of its font.
#include "tests/app/sample_fixture.h"

#include "objects/vitemex_cglabel.h"

namespace {

class SampleTexts : public SampleTitle {
protected:
    void SetUp() override {
        SampleTitle::SetUp();
        TickUntil("seconds");
    }
    // Whether every opaque pixel of the sheet's cell of each digit of Text is shown in its place
    // at (280, 8), cells of 16 x 24 five to a row.
    ::testing::AssertionResult ShowsDigits(const std::string& Text) {
        for (size_t i = 0; i < Text.size(); ++i) {
            const int digit = Text[i] - '0';
            for (int32_t y = 0; y < 24; ++y)
                for (int32_t x = 0; x < 16; ++x) {
                    const int32_t sx = digit % 5 * 16 + x, sy = digit / 5 * 24 + y;
                    if (CachedMask("digits.png", 0, sx, sy) != 255) continue;
                    const uint32_t shown = Shown(280 + int32_t(i) * 16 + x, 8 + y);
                    if (shown != Cached("digits.png", 0, sx, sy))
                        return ::testing::AssertionFailure() << "digit " << i << " at " << x << ", " << y;
                }
        }
        return ::testing::AssertionSuccess();
    }
};

TEST_F(SampleTexts, TheSecondsLabelCountsInCellsOfTheDigitsSheet) {
    auto* seconds = dynamic_cast<TVelaCGLabel*>(Bases->FindObject("seconds"));
    ASSERT_NE(seconds, nullptr);
    EXPECT_EQ(seconds->GetOrigwidth(), 80);
    EXPECT_EQ(seconds->GetOrigheight(), 48);
    // The label comes after the opening film: its second shows, then the next one in its own cell.
    Tick();
    const std::string first = seconds->GetText();
    ASSERT_EQ(first.size(), 1u);
    EXPECT_TRUE(ShowsDigits(first));
    while (seconds->GetText() == first) Tick();
    Tick();
    const std::string next(1, char(first[0] + 1));
    EXPECT_EQ(seconds->GetText(), next);
    EXPECT_TRUE(ShowsDigits(next));
    EXPECT_FALSE(ShowsDigits(first));
    EXPECT_EQ(seconds->GetWidth(), 16);
}

TEST_F(SampleTexts, EachLabelDrawsInsideItsRectangleOnly) {
    Tick(20);  // the zoomed and the turned label have moved
    const uint32_t ground = Shown(0, 479);
    for (const char* name : {"gothic", "pgothic", "mincho", "pmincho", "dots", "zoomlabel", "turnlabel"}) {
        SCOPED_TRACE(name);
        const TVelaObject* label = Bases->FindObject(name);
        ASSERT_NE(label, nullptr);
        const TRect r = label->GetBoundsRect();
        int inside = 0, outside = 0;
        for (int32_t y = r.Top - 2; y < r.Bottom + 2; ++y)
            for (int32_t x = r.Left - 2; x < r.Right + 2; ++x)
                if (Shown(x, y) != ground) ++(PointInRect(r, x, y) ? inside : outside);
        EXPECT_GT(inside, 0);
        EXPECT_EQ(outside, 0);
    }
    EXPECT_NE(Bases->FindObject("zoomlabel")->GetFloatzoomx(), 1);
    EXPECT_NE(Bases->FindObject("turnlabel")->GetAngle(), 0);
}

// The dot font's glyphs (tests/tools/make_vft.py): pixel (x, y) of the glyph of Code, 8 x 16 at
// size 16, is covered fully where x / 2 + y / 2 + Code is even, else by y / 255: its top row
// shows the ground. A full cover blends the colour in at 255 of 256.
TEST_F(SampleTexts, ThePixelFontLabelShowsTheGlyphsOfItsFont) {
    Tick();
    const TVelaObject* dots = Bases->FindObject("dots");
    ASSERT_NE(dots, nullptr);
    const uint32_t ink = ShownColour(dots->GetFontcolor()), ground = Shown(0, 479);
    const TRect r = dots->GetBoundsRect();
    // The "D" that begins the text, wherever its placement puts it in the line.
    auto showsD = [&](int32_t Left, int32_t Top) {
        for (int32_t y = 0; y < 16; ++y)
            for (int32_t x = 0; x < 8; ++x) {
                const bool full = (x / 2 + y / 2 + 'D') % 2 == 0;
                const uint32_t shown = Shown(Left + x, Top + y);
                if (full ? !Near(shown, ink, 1) : (y == 0 && shown != ground)) return false;
            }
        return true;
    };
    bool found = false;
    for (int32_t top = r.Top; top + 16 <= r.Bottom; ++top)
        for (int32_t left = r.Left; left < r.Left + 2; ++left) found = found || showsD(left, top);
    EXPECT_TRUE(found);
}

}  // namespace
