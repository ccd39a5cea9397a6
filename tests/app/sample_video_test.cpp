// The sample title's video screen as the headless window presents it: the test pattern shown
// windowed over the dark screen, then drawn into the scene half-transparent.
#include "tests/app/sample_fixture.h"

#include "media/mediaman.h"
#include "media/videoitem.h"

#include <thread>

namespace {

class SampleVideo : public SampleTitle {
protected:
    // Waits until every film has a picture on show: the decoder runs on a thread of its own at
    // whatever speed the build gives it, while the ticks run on the test's clock. A minute at
    // most, so that a film that never shows fails the test rather than hanging it.
    static void WaitForPictures() {
        const auto shown = [] {
            for (int32_t i = 0; i < VideoMan->Count(); ++i)
                if (!VideoMan->GetItem(i)->GetDC()) return false;
            return true;
        };
        for (int i = 0; i < 6000 && !shown(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // The brightest channel seen inside the film's rectangle (160, 120, 320 x 240) over the ticks
    // while the object called Name lives, from its film's first picture on.
    int BrightestWhile(const std::string& Name) {
        WaitForPictures();
        int brightest = 0;
        for (int tick = 0; tick < 400 && Bases->FindObject(Name); ++tick) {
            Tick();
            for (int32_t y = 130; y < 360; y += 20)
                for (int32_t x = 170; x < 480; x += 20)
                    for (int shift = 0; shift < 24; shift += 8)
                        brightest = std::max(brightest, int(Shown(x, y) >> shift & 0xFF));
        }
        EXPECT_EQ(Bases->FindObject(Name), nullptr) << Name << " was not deleted";
        return brightest;
    }
};

TEST_F(SampleVideo, ThePatternPlaysWindowedThenHalfTransparentInTheScene) {
    for (int tick = 0; tick < 6000 && !Bases->FindObject("testvideo"); ++tick) Tick();
    ASSERT_NE(Bases->FindObject("testvideo"), nullptr);
    // Windowed, the pattern's full colours; in the scene, at alpha 128 over the dark box
    // (0x101010), no channel comes above half of full plus half of the box.
    EXPECT_GT(BrightestWhile("testvideo"), 0xC0);
    ASSERT_NE(Bases->FindObject("scenevideo"), nullptr);
    EXPECT_EQ(Shown(40, 40), 0x101010u);
    const int scene = BrightestWhile("scenevideo");
    EXPECT_GT(scene, 0x50);
    EXPECT_LE(scene, (0xFF + 0x10) / 2 + 2);
}

}  // namespace
