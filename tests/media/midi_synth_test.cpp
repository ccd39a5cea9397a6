// A tune written by abc2midi, played by the sequencer on the synthesiser into SDL's disk audio
// driver: the file SDL writes holds sound while the notes play and silence after their end.
#include "core/streams.h"
#include "media/midiplay.h"
#include "platform/clock.h"
#include "platform/midiout.h"
#include "platform/sound.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

namespace {

// The largest sample of the frames From..To (ms of the output; the synthesiser dithers, so
// silence is within a step or two).
int Peak(const std::vector<int16_t>& Pcm, int64_t FromMs, int64_t ToMs) {
    const auto at = [&](int64_t ms) { return std::clamp<int64_t>(ms * 441 / 10 * 2, 0, int64_t(Pcm.size())); };
    int peak = 0;
    for (int64_t i = at(FromMs); i < at(ToMs); ++i) peak = std::max(peak, std::abs(int(Pcm[size_t(i)])));
    return peak;
}

void WaitMs(uint32_t Ms) {
    const uint32_t start = platform::ClockMs();
    while (platform::ClockMs() - start < Ms) {
        platform::MainQueue().ProcessMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

TEST(MidiSynth, ATuneSoundsWhileItsNotesPlayAndFallsSilentAfterItsEnd) {
    const std::string folder = FreshHostFolder();
    std::ofstream(folder + "tune.abc") << "X:1\nT:Scale\nM:4/4\nL:1/8\nQ:1/4=120\nK:C\nCDEF GABc|\n";
    const std::string command = "abc2midi " + folder + "tune.abc -o " + folder + "tune.mid > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    std::ifstream in(folder + "tune.mid", std::ios::binary);
    TMemoryStream song = StreamOf(std::string(std::istreambuf_iterator<char>(in), {}));

    const std::string raw = folder + "out.raw";
    ScopedEnvironment headless("VELA_HEADLESS", nullptr), driver("SDL_AUDIODRIVER", "disk"),
        file("SDL_DISKAUDIOFILE", raw.c_str());
    uint32_t opened = 0, started = 0, length = 0;
    {
        std::shared_ptr<platform::SoundDevice> device = platform::OpenSoundDevice();
        ASSERT_FALSE(device->headless());
        opened = platform::ClockMs();
        TMidiPlayV player;
        ASSERT_EQ(player.Devices.size(), 1u);
        player.LoadFromStream(song);
        length = uint32_t(player.LengthMs);
        ASSERT_GT(length, 1500u);  // eight eighths at 120 quarters a minute: 2 s
        ASSERT_TRUE(player.Open(platform::MidiMapper));
        player.SendGMReset();
        started = platform::ClockMs();
        player.PlayFrom(0, 0, -1);
        while (!player.IsEnd() && platform::ClockMs() - started < 10000) WaitMs(20);
        EXPECT_TRUE(player.IsEnd());
        WaitMs(1500);  // the last note's release and the reverb die away
        player.Close();
    }
    std::ifstream out(raw, std::ios::binary);
    const std::string bytes(std::istreambuf_iterator<char>(out), {});
    std::vector<int16_t> pcm(bytes.size() / 2);
    std::memcpy(pcm.data(), bytes.data(), pcm.size() * 2);
    const int64_t start = started - opened, end = start + length;
    ASSERT_GT(int64_t(pcm.size()) * 10 / 882, end + 1000);
    const int64_t written = int64_t(pcm.size()) * 10 / 882;
    // Every half second of the tune sounds; the last 300 ms written are silent.
    for (int64_t ms = start + 100; ms + 500 <= end; ms += 500) EXPECT_GT(Peak(pcm, ms, ms + 500), 1000) << ms;
    EXPECT_LE(Peak(pcm, written - 300, written), 4);
}

}  // namespace
