// The sample title's opening film as the headless window presents it: the film's stage and its
// two pages in the cinema, the picture the wave ripples, and the film played once before the
// title goes on.
#include "tests/app/sample_fixture.h"

#include "objects/vitemex_cinema.h"
#include "objects/vitemex_wave.h"
#include "text/frms.h"

namespace {

TEST_F(SampleTitle, TheOpeningFilmPlaysOnceBesideARipplingPicture) {
    TickUntil("opening");
    Tick(20);
    auto* cinema = dynamic_cast<TVelaCinema*>(Bases->FindObject("opening"));
    ASSERT_NE(cinema, nullptr);
    EXPECT_EQ(cinema->GetCount(), 300);
    EXPECT_EQ(Shown(150 + 470, 5), 0x182840u);  // the stage's colour

    // The wave shifts the picture's rows: a shifted row shows the picture's pixels moved.
    auto* wave = dynamic_cast<TVelaWave*>(Bases->FindObject("ripple"));
    ASSERT_NE(wave, nullptr);
    const std::vector<int32_t>& offsets = wave->GetWaveSurface().RowOffsets;
    int shifted = 0;
    for (int32_t y = 0; y < 72; ++y) {
        if (offsets[size_t(y)] == 0) continue;
        ++shifted;
        EXPECT_EQ(Shown(534 + 48 + offsets[size_t(y)], 400 + y), Cached("gradient.mra", 0, 48, y)) << y;
    }
    EXPECT_GT(shifted, 30);

    int ticks = 20;
    while (Bases->FindObject("opening") && ticks < 400) {
        Tick();
        ++ticks;
    }
    EXPECT_EQ(Bases->FindObject("opening"), nullptr);
    EXPECT_EQ(Bases->FindObject("ripple"), nullptr);
    EXPECT_GE(ticks, 300 * 1000 / 60 / 16);
}

}  // namespace
