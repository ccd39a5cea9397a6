// The sample title's opening film as the headless window presents it: the film's stage and its
// two pages in the cinema, the picture the wave ripples, and the film played once before the
// title goes on.
#include "tests/app/sample_fixture.h"

#include "objects/vitemex_cinema.h"
#include "objects/vitemex_wave.h"

namespace {

// The stage's colour as the window shows it (0x00RRGGBB), and where the stage lies.
constexpr uint32_t Stage = 0x182840;
constexpr int32_t StageX = 150, StageY = 0;

TEST_F(SampleTitle, TheOpeningFilmPlaysOnceBesideARipplingPicture) {
    TickUntil("opening");
    int ticks = 0;
    auto tick = [&] {
        Tick();
        ++ticks;
    };
    for (int i = 0; i < 20; ++i) tick();
    auto* cinema = dynamic_cast<TVelaCinema*>(Bases->FindObject("opening"));
    ASSERT_NE(cinema, nullptr);
    EXPECT_EQ(cinema->GetCount(), 300);
    EXPECT_EQ(Shown(StageX + 470, StageY + 5), Stage);

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

    // The first page's bar grows; the second page, after the wipe, has none, but petals falling
    // over a strip of fire.
    while (cinema->GetIndex() < 120) tick();
    EXPECT_EQ(Shown(StageX + 50, StageY + 225), 0xFFC000u);
    while (cinema->GetIndex() < 220) tick();
    EXPECT_EQ(Shown(StageX + 50, StageY + 225), Stage);
    EXPECT_NE(Shown(StageX + 240, StageY + 296), Stage);
    int petals = 0;
    for (int32_t y = 100; y < 250; ++y)
        for (int32_t x = 0; x < 480; ++x) petals += Shown(StageX + x, StageY + y) != Stage;
    EXPECT_GT(petals, 100);

    // Five seconds, then the title goes on without the film and the wave.
    while (Bases->FindObject("opening") && ticks < 400) tick();
    EXPECT_EQ(Bases->FindObject("opening"), nullptr);
    EXPECT_EQ(Bases->FindObject("ripple"), nullptr);
    EXPECT_GE(ticks, 300 * 1000 / 60 / 16);
}

}  // namespace
