// The sample title's texts as the headless window presents them: the seconds counted in cells of
// the digits' glyph sheet, following the fake clock.
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
    // The first second shows "0", the next "1" in its own cell.
    Tick();
    EXPECT_EQ(seconds->GetText(), "0");
    EXPECT_TRUE(ShowsDigits("0"));
    while (seconds->GetText() == "0") Tick();
    Tick();
    EXPECT_EQ(seconds->GetText(), "1");
    EXPECT_TRUE(ShowsDigits("1"));
    EXPECT_FALSE(ShowsDigits("0"));
    EXPECT_EQ(seconds->GetWidth(), 16);
}

}  // namespace
