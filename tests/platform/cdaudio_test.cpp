#include "platform/cdaudio.h"
#include "platform/clock.h"
#include "platform/mixer.h"
#include "platform/sound.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

using namespace platform;

TEST(HostCdAudio, KeepsNoSettingWithoutAnImageAndHasAMixerWithACdLine) {
    ScopedEnvironment image("VELA_CDROM", nullptr);
    SetCdAudioService(nullptr);
    CdAudio& cd = CdAudioService();
    cd.Drives();
    CdDeviceId id = 0;
    EXPECT_EQ(cd.Open("D:", 0, id), CdErrorNoDevice);
    EXPECT_EQ(cd.DriveSetting("Title"), "");

    SetSystemMixerService(nullptr);
    SystemMixer& mixer = SystemMixerService();
    ASSERT_EQ(mixer.DeviceCount(), 1);
    const MixerHandle h = mixer.Open(0, 0);
    const MixerLine& line = mixer.Device(h)->destinations.at(0).connections.at(0);
    EXPECT_EQ(line.componentType, MixerComponentCompactDisc);
    ASSERT_EQ(line.controls.size(), 2u);
    EXPECT_EQ(line.controls[0].type, MixerControlVolume);
    EXPECT_EQ(line.controls[1].type, MixerControlMute);
    EXPECT_TRUE(mixer.SetValues(h, line.controls[1].id, {1}));
    EXPECT_FALSE(mixer.SetValues(h, line.controls[1].id, {1, 1}));
    EXPECT_TRUE(mixer.CdLine().mute);
    mixer.Close(h);
    EXPECT_EQ(mixer.Device(h), nullptr);
    SetSystemMixerService(nullptr);
}

namespace {

// A disc image of three 3-second tones (440, 550 and 770 Hz) named by VELA_CDROM, played on
// the headless sound device; the ends of played ranges are collected.
class CdImage : public ::testing::Test {
protected:
    void SetUp() override {
        PythonOutput("make_cd_image.py", {Cue, "440:3", "550:3", "770:3"});
        SetCdAudioService(nullptr);
        ASSERT_TRUE(sound);
        sound->keepFrames = Frames(0);
    }
    void TearDown() override {
        SetCdAudioService(nullptr);
        MainQueue().RemoveTarget(target);
    }
    // Plays Ms of the device, then dispatches what was posted.
    void Play(uint32_t Ms) {
        sound->advance(Ms);
        MainQueue().ProcessMessages();
    }
    uint32_t Position() {
        uint32_t at = 0;
        EXPECT_EQ(cd().Position(id, at), 0u);
        return at;
    }
    CdMode Mode() {
        CdMode mode = CdMode::NotReady;
        EXPECT_EQ(cd().Mode(id, mode), 0u);
        return mode;
    }
    static CdAudio& cd() { return CdAudioService(); }

    const std::string folder = FreshHostFolder(), Cue = folder + "disc.cue", Bin = folder + "disc.bin";
    ScopedEnvironment headless{"VELA_HEADLESS", "1"}, driver{"SDL_AUDIODRIVER", nullptr},
        image{"VELA_CDROM", Cue.c_str()};
    std::shared_ptr<HeadlessSound> sound = std::dynamic_pointer_cast<HeadlessSound>(OpenSoundDevice());
    std::vector<uintptr_t> ends;
    const TargetId target = MainQueue().AddTarget([this](const QueuedMessage& M) {
        if (M.message == CdNotifyMessage && M.lParam == id) ends.push_back(M.wParam);
    });
    CdDeviceId id = 0;
};

}  // namespace

TEST_F(CdImage, TrackTwoPlaysToTheSecondBeforeItsEndAndAStopCutsARangeShort) {
    const std::vector<std::string> drives = cd().Drives();
    ASSERT_FALSE(drives.empty());
    EXPECT_EQ(drives[0], Cue);
    EXPECT_EQ(cd().DriveSetting("Title"), Cue);
    ASSERT_EQ(cd().Open(Cue, target, id), 0u);
    uint32_t count = 0, msf = 0;
    ASSERT_EQ(cd().TrackCount(id, count), 0u);
    EXPECT_EQ(count, 3u);
    ASSERT_EQ(cd().TrackLength(id, 2, msf), 0u);
    EXPECT_EQ(MsfMinutes(msf) * 60 + MsfSeconds(msf), 3u);
    EXPECT_EQ(cd().TrackLength(id, 4, msf), CdErrorOutOfRange);
    EXPECT_EQ(Mode(), CdMode::Stopped);

    ASSERT_EQ(cd().Play(id, Tmsf(2, 0, 0, 0), Tmsf(2, 0, 2, 0)), 0u);
    EXPECT_EQ(Mode(), CdMode::Playing);
    Play(1000);
    EXPECT_EQ(Position(), Tmsf(2, 0, 1, 0));
    Play(1100);
    EXPECT_EQ(ends, std::vector<uintptr_t>{CdNotifySuccessful});
    EXPECT_EQ(Mode(), CdMode::Stopped);
    EXPECT_EQ(Position(), Tmsf(2, 0, 2, 0));
    const std::vector<int16_t>& pcm = sound->mixed;
    EXPECT_GT(ToneAmplitude(pcm, 550, 100, 1900), 15000);
    EXPECT_LT(ToneAmplitude(pcm, 440, 100, 1900), 300);
    EXPECT_LT(ToneAmplitude(pcm, 770, 100, 1900), 300);
    EXPECT_TRUE(std::all_of(pcm.begin() + 2 * 88200, pcm.end(), [](int16_t s) { return s == 0; }));  // then silence

    ASSERT_EQ(cd().Play(id, Tmsf(3, 0, 1, 0), Tmsf(3, 0, 2, 0)), 0u);
    Play(500);
    EXPECT_EQ(cd().Stop(id), 0u);
    MainQueue().ProcessMessages();
    EXPECT_EQ(ends, (std::vector<uintptr_t>{CdNotifySuccessful, CdNotifyAborted}));
    EXPECT_EQ(Position(), Tmsf(3, 0, 1, 37));  // 22,050 frames of the sound are 37.5 of the disc
    EXPECT_GT(ToneAmplitude(pcm, 770, 2200, 2500), 15000);
    EXPECT_EQ(cd().Close(id), 0u);
}

TEST_F(CdImage, ImagesThatCannotBeReadAreLeftOutWithOneLineAndAFailingReadAbortsTheRange) {
    const auto listed = [&](const std::string& Cue) {
        ScopedEnvironment other("VELA_CDROM", Cue.c_str());
        testing::internal::CaptureStderr();
        const std::vector<std::string> drives = cd().Drives();
        const std::string errors = testing::internal::GetCapturedStderr();
        EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
        EXPECT_NE(errors.find(Cue), std::string::npos) << errors;
        EXPECT_EQ(cd().DriveSetting("Title"), "");
        return std::find(drives.begin(), drives.end(), Cue) != drives.end();
    };
    std::filesystem::copy_file(Bin, folder + "short.bin");
    std::filesystem::resize_file(folder + "short.bin", 1000000);  // into track 2
    std::ifstream in(Cue);
    const std::string sheet(std::istreambuf_iterator<char>(in), {});
    const std::string tracks = sheet.substr(sheet.find('\n'));  // after the FILE line
    std::ofstream(folder + "short.cue") << "FILE \"short.bin\" BINARY" << tracks;
    std::ofstream(folder + "missing.cue") << "FILE \"none.bin\" BINARY" << tracks;
    std::ofstream(folder + "sheet.txt") << sheet;
    for (const char* name : {"short.cue", "missing.cue", "sheet.txt", "absent.cue"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(listed(folder + name));
    }

    // The disc shrinks under a playing range: what was read plays, then the range is aborted.
    ASSERT_EQ(cd().Drives().at(0), Cue);
    ASSERT_EQ(cd().Open(Cue, target, id), 0u);
    std::filesystem::resize_file(Bin, 1000000);
    testing::internal::CaptureStderr();
    ASSERT_EQ(cd().Play(id, Tmsf(3, 0, 0, 0), Tmsf(3, 0, 2, 0)), 0u);
    for (int i = 0; i < 10 && ends.empty(); ++i) Play(100);
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_EQ(ends, std::vector<uintptr_t>{CdNotifyAborted});
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
    EXPECT_EQ(Mode(), CdMode::Stopped);
}

// On a device fed by its own threads (SDL's dummy driver) a range ends by itself: the reader,
// the device's refill thread and the main thread's queue together.
TEST(HostCdAudio, ARangeEndsOnADeviceOfItsOwn) {
    const std::string cue = FreshHostFolder() + "disc.cue";
    PythonOutput("make_cd_image.py", {cue, "440:1"});
    ScopedEnvironment driver("SDL_AUDIODRIVER", "dummy"), image("VELA_CDROM", cue.c_str());
    const std::shared_ptr<SoundDevice> device = OpenSoundDevice();
    ASSERT_FALSE(device->headless());
    SetCdAudioService(nullptr);
    CdAudio& cd = CdAudioService();
    ASSERT_EQ(cd.Drives().at(0), cue);
    std::vector<uintptr_t> ends;
    const TargetId target = MainQueue().AddTarget([&](const QueuedMessage& M) {
        if (M.message == CdNotifyMessage) ends.push_back(M.wParam);
    });
    CdDeviceId id = 0;
    ASSERT_EQ(cd.Open(cue, target, id), 0u);
    ASSERT_EQ(cd.Play(id, Tmsf(1, 0, 0, 0), Tmsf(1, 0, 0, 30)), 0u);
    for (const uint32_t start = ClockMs(); ends.empty() && ClockMs() - start < 10000;) {
        MainQueue().Wait(50);
        MainQueue().ProcessMessages();
    }
    EXPECT_EQ(ends, std::vector<uintptr_t>{CdNotifySuccessful});
    uint32_t at = 0;
    EXPECT_EQ(cd.Position(id, at), 0u);
    EXPECT_EQ(at, Tmsf(1, 0, 0, 30));
    EXPECT_EQ(cd.Close(id), 0u);
    MainQueue().RemoveTarget(target);
    SetCdAudioService(nullptr);
}
