// Cinema records of save data from arbitrary bytes (the first byte picks the save version, the
// rest is the record), read into a cinema on the first layer while the file manager holds a small
// film ("film.vmt": a 32 x 16 stage in blue, one fade wipe over 120 ticks): a read either
// succeeds, and the cinema then round-trips, plays, draws and is hit-tested; anything else raises
// one of the engine's own errors. Seed corpus: the records of tests/tools/cinema_ref.py.
#include "fuzz/harness.h"
#include "objects/vitemex_cinema.h"

namespace {

// The film of tests/tools/cinema_ref.py "film 32 16 0xFF 0 120".
const std::string Film(
    "VelaCinema111\x20\x00\x00\x00\x10\x00\x00\x00\xff\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00"
    "\x00\x00\x00\x00\x01\x00\x00\x00\x03\xff\xff\xff\xff\x78\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00"
    "\x00\x78\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00"
    "\x00\x00\x00\x00",
    85);

}  // namespace

int TestOneInput(const uint8_t* Data, size_t Size) {
    fuzz::TWorld world;
    world.AddFile("film.vmt", Film);
    TVelaCinema* cinema = fuzz::LoadSceneRecord<TVelaCinema>(Data, Size);
    if (!cinema) return 0;
    for (int i = 0; i < 3; ++i) cinema->Step();
    Bases->GetBase(0)->InvalidateAll();
    Bases->Prepare();
    for (int32_t y = 0; y < fuzz::MaxSceneExtent; y += 7)
        for (int32_t x = 0; x < fuzz::MaxSceneExtent; x += 7) Bases->GetBase(0)->HitTest({x, y}, 0xFF);
    return 0;
}
