// The recording MIDI output: its calls, the driver messages it holds back, and a long run's
// record kept short. (The synthesiser is heard in the media suite.)
#include "platform/midiout.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace platform;

namespace {

using Bytes8 = std::vector<uint8_t>;

TEST(MidiOut, RecorderTellsTheOpenerAndHoldsWhatTheTestWithholds) {
    MessageQueue queue;
    uint32_t now = 100;
    HeadlessMidiOut out([&] { return now; }, &queue);
    std::vector<QueuedMessage> seen;
    const TargetId target = queue.AddTarget([&](const QueuedMessage& M) { seen.push_back(M); });

    EXPECT_EQ(out.open(1, target), 0u);  // only device 0 and the mapper exist
    const MidiOutHandle h = out.open(MidiMapper, target);
    ASSERT_NE(h, 0u);
    now = 150;
    out.shortMsg(h, 0x007F3C90);
    out.shortMsg(h + 1, 0x007F3C90);  // not open: dropped
    const uint8_t reset[] = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
    out.hold(MM_MOM_DONE, true);
    EXPECT_TRUE(out.longMsg(h, reset, sizeof reset, 77));
    EXPECT_FALSE(out.longMsg(h, reset, 0, 78));
    queue.ProcessMessages();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].message, MM_MOM_OPEN);
    EXPECT_EQ(seen[0].wParam, h);
    EXPECT_EQ(out.pendingLong(), 1u);

    // A reset hands the pending message back, as the driver does.
    out.reset(h);
    out.close(h);
    queue.ProcessMessages();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[1].message, MM_MOM_DONE);
    EXPECT_EQ(seen[1].lParam, 77);
    EXPECT_EQ(seen[2].message, MM_MOM_CLOSE);

    using C = HeadlessMidiOut::Call;
    const std::vector<HeadlessMidiOut::Entry> want{{100, C::Open, h, {}},
                                                   {150, C::Short, h, {0x90, 0x3C, 0x7F}},
                                                   {150, C::Long, h, Bytes8(reset, reset + 6)},
                                                   {150, C::Reset, h, {}},
                                                   {150, C::Close, h, {}}};
    EXPECT_EQ(out.entries(), want);

    // A close withheld until the test lets it go; a failing device posts nothing.
    out.hold(MM_MOM_CLOSE, true);
    out.close(out.open(0, target));
    queue.ProcessMessages();
    EXPECT_EQ(seen.size(), 4u);
    out.releaseHeld();
    queue.ProcessMessages();
    EXPECT_EQ(seen.back().message, MM_MOM_CLOSE);
    out.failOpens(true);
    EXPECT_EQ(out.open(0, target), 0u);
}

TEST(MidiOut, ALongRunKeepsOnlyItsLastCalls) {
    MessageQueue queue;
    HeadlessMidiOut out(ClockMs, &queue);
    out.keepEntries = 3;
    const MidiOutHandle h = out.open(0, queue.AddTarget([](const QueuedMessage&) {}));
    for (uint32_t key = 0; key < 100; ++key) out.shortMsg(h, 0x00400090u | key << 8);
    const auto entries = out.entries();
    ASSERT_GE(entries.size(), 3u);
    EXPECT_LT(entries.size(), 6u);
    EXPECT_EQ(entries.back().bytes, (Bytes8{0x90, 99, 0x40}));
}

}  // namespace

// The synthesiser's sound font: the file VELA_SOUNDFONT names, else the first of the system's
// that is a file (a folder is not); none at all leaves MIDI silent.
TEST(MidiOut, TheSoundFontIsTheFirstFileThereIs) {
    const std::string folder = FreshHostFolder();
    for (const char* name : {"a.sf2", "b.sf2"}) std::ofstream(folder + name) << "sf2";
    const std::string a = folder + "a.sf2", b = folder + "b.sf2", missing = folder + "missing.sf2";
    const char* const fonts[] = {missing.c_str(), folder.c_str(), a.c_str(), b.c_str()};
    EXPECT_EQ(ChooseSoundFont(b, fonts), b);
    EXPECT_EQ(ChooseSoundFont(missing, fonts), a);
    EXPECT_EQ(ChooseSoundFont("", fonts), a);
    EXPECT_EQ(ChooseSoundFont("", std::span(fonts, 2)), "");
    ScopedEnvironment chosen("VELA_SOUNDFONT", b.c_str());
    EXPECT_EQ(SynthSoundFont(), b);
}
