#include "media/audiomixer.h"
#include "media/cdda.h"
#include "media/cdp.h"
#include "platform/cdaudio.h"
#include "platform/mixer.h"
#include "platform/sound.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

using namespace platform;

namespace {

constexpr uint32_t Minutes(uint32_t M, uint32_t S) { return (M * 60 + S) * 1000; }

// Drives D: and E: on the test's clock and the host's mixer layout, whose CD line is set to
// levels 40000 and 20000.
class Cd : public ::testing::Test {
protected:
    void SetUp() override {
        auto drives = std::make_unique<HeadlessCdAudio>();
        Drives = drives.get();
        Drives->AddDrive("D:");
        Drives->AddDrive("E:");
        SetCdAudioService(std::move(drives));
        std::vector<MixerDevice> layout = HostMixerLayout();
        layout[0].destinations[0].connections[0].controls[0].values = {40000, 20000};
        SetSystemMixerService(std::make_unique<SystemMixer>(std::move(layout)));
    }
    void TearDown() override {
        SetCdAudioService(nullptr);
        SetSystemMixerService(nullptr);
    }
    // The CD line's volume and mute as the mixer holds them now.
    std::vector<int32_t> Levels() {
        const MixerHandle h = SystemMixerService().Open(0, 0);
        const MixerLine& line = SystemMixerService().Device(h)->destinations[0].connections[0];
        std::vector<int32_t> levels = line.controls[0].values;
        levels.push_back(line.controls[1].values[0]);
        SystemMixerService().Close(h);
        return levels;
    }
    // Time passes in steps of the poll's period, the player polling after each.
    void Run(TCDP& Player, uint32_t Ms) {
        for (uint32_t t = 0; t < Ms; t += 200) {
            Drives->Advance(200);
            Player.Poll();
        }
    }
    void Pump() { MainQueue().ProcessMessages(); }

    HeadlessCdAudio* Drives = nullptr;
};

}  // namespace

TEST_F(Cd, PlayerPlaysATrackToTheSecondBeforeItsEndThenGoesBackToTheListsStart) {
    Drives->InsertDisc("D:", {Minutes(1, 0), Minutes(2, 0), Minutes(4, 5)});
    TCDP player;
    player.Open(0);
    ASSERT_TRUE(player.IsOpen());
    EXPECT_EQ(player.GetTrackLength(3), 245);
    player.SetPlayList({"3"});
    player.PlayListItem(0);
    EXPECT_EQ(player.GetMode(), 0);
    Drives->Advance(Minutes(5, 0));
    uint32_t at = 0;
    ASSERT_EQ(CdAudioService().Position(player.DeviceId, at), 0u);
    EXPECT_EQ(at, Tmsf(3, 4, 4, 0));
    Pump();  // the end of the range: back to the start of track 3, stopped
    EXPECT_EQ(player.GetMode(), 1);
    ASSERT_EQ(CdAudioService().Position(player.DeviceId, at), 0u);
    EXPECT_EQ(at, Tmsf(3, 0, 0, 0));

    player.RepeatPlay = true;
    player.PlayListItem(0);
    Drives->Advance(Minutes(5, 0));
    Pump();
    EXPECT_EQ(player.GetMode(), 0);
    EXPECT_EQ(player.GetPosition(), 0);
}

TEST_F(Cd, PlayerSeesADiscWithinSixPollsAndItsLeavingAtOnce) {
    TCDP player;
    player.Open(1);
    int inserts = 0, exits = 0;
    player.OnCDInsert = [&] {
        ++inserts;
        EXPECT_EQ(player.PlayList(), (std::vector<std::string>{"1", "2"}));
        player.SetPlayList({"2"});
    };
    player.OnCDExit = [&] { ++exits; };
    Drives->InsertDisc("E:", {Minutes(1, 0), Minutes(1, 0)});
    Run(player, 1000);
    EXPECT_EQ(inserts, 0);
    Run(player, 200);
    EXPECT_EQ(inserts, 1);
    EXPECT_EQ(player.PlayList(), std::vector<std::string>{"2"});
    Run(player, 2000);
    EXPECT_EQ(inserts, 1);
    Drives->EjectDisc("E:");
    Run(player, 200);
    EXPECT_EQ(exits, 1);
    EXPECT_TRUE(player.PlayList().empty());
}

TEST_F(Cd, PlayerRaisesNotifyAtOncePerTrackAndCutsTracksShortInIntroMode) {
    Drives->InsertDisc("D:", {Minutes(1, 0), Minutes(1, 0), Minutes(1, 0)});
    TCDP player;
    player.Open(0);
    Run(player, 1200);
    ASSERT_TRUE(player.DiscIn);
    int times = 0, songs = 0;
    player.OnTime = [&] { ++times; };
    player.OnSongChange = [&] { ++songs; };
    player.SetNotifyAt(30);
    player.PlayListItem(0);
    Run(player, 29800);
    EXPECT_EQ(times, 0);
    Run(player, 10000);
    EXPECT_EQ(times, 1);

    player.IntroPlay = true;
    player.PlayListItem(1);
    EXPECT_EQ(songs, 1);
    Run(player, 11000);
    Pump();  // past ten seconds the poll ended the track: the third plays
    EXPECT_EQ(player.Track, 3);
    EXPECT_EQ(player.PlayListIndex, 2);
    EXPECT_EQ(player.GetMode(), 0);
}

TEST_F(Cd, PlayerModeIsFourWhenClosedPausedOrRecording) {
    Drives->InsertDisc("D:", {Minutes(1, 0)});
    TCDP player;
    EXPECT_EQ(player.GetMode(), 4);
    EXPECT_EQ(player.GetTrackCount(), 0);
    player.Open(0);
    EXPECT_EQ(player.GetMode(), 1);
    Drives->SetReportedMode("D:", CdMode::Paused);
    EXPECT_EQ(player.GetMode(), 4);
    Drives->SetReportedMode("D:", CdMode::Recording);
    EXPECT_EQ(player.GetMode(), 4);
    Drives->SetFailing("D:", true);
    EXPECT_EQ(player.GetTrackCount(), 0);
    EXPECT_NE(player.LastError, 0u);
}

TEST_F(Cd, ItemPausedAtTenPointFourSecondsGoesOnFromSecondNine) {
    Drives->InsertDisc("D:", {Minutes(3, 0), Minutes(4, 5)});
    TCddaManager manager;
    TDMediaItem& item = *manager.Add("CD_2");
    EXPECT_EQ(item.GetLen(), 245000);
    item.SetAutoRepeat(true);
    item.Play();
    EXPECT_TRUE(item.IsPlaying());
    EXPECT_TRUE(manager.CDP->RepeatPlay);
    item.SetAutoRepeat(false);
    EXPECT_FALSE(manager.CDP->RepeatPlay);
    Drives->Advance(10400);
    item.Pause();
    EXPECT_TRUE(item.IsPaused());
    EXPECT_FALSE(item.IsPlaying());
    item.Play();
    EXPECT_FALSE(item.IsPaused());
    EXPECT_EQ(item.GetPosition(), 9000);
    Drives->Advance(Minutes(5, 0));
    EXPECT_TRUE(item.IsEnd());
}

TEST_F(Cd, ItemOfATrackTheDiscDoesNotHavePlaysNothing) {
    Drives->InsertDisc("D:", {Minutes(1, 0), Minutes(1, 0)});
    TCddaManager manager;
    TDMediaItem& first = *manager.Add("CD_1");
    first.Play();
    TDMediaItem& third = *manager.Add("CD_3");
    third.Play();
    EXPECT_EQ(manager.Current, nullptr);
    EXPECT_FALSE(third.IsPlaying());
    EXPECT_FALSE(first.IsPlaying());
    EXPECT_EQ(third.GetPosition(), 0);
    TDMediaItem& word = *manager.Add("CD_x");
    word.Play();
    EXPECT_FALSE(word.IsPlaying());
}

TEST_F(Cd, VolumeIsAShareOfTheKeptLevelsWhichComeBackAtTheEnd) {
    Drives->InsertDisc("D:", {Minutes(1, 0)});
    {
        TCddaManager manager;
        TDMediaItem& item = *manager.Add("CD_1");
        item.Play();
        ASSERT_EQ(manager.MixerConn, 0);
        EXPECT_EQ(Levels(), (std::vector<int32_t>{40000, 20000, 0}));
        item.SetVol(-2500);
        EXPECT_EQ(Levels(), (std::vector<int32_t>{20000, 10000, 0}));
        item.SetVol(-7000);
        EXPECT_EQ(Levels(), (std::vector<int32_t>{0, 0, 0}));
        item.SetVol(0);
        EXPECT_EQ(Levels(), (std::vector<int32_t>{40000, 20000, 0}));
        item.SetVol(-5000);
        manager.RestoreMixerVolume();  // going to the background
        EXPECT_EQ(Levels(), (std::vector<int32_t>{40000, 20000, 0}));
        item.SetVol(-5000);
    }
    EXPECT_EQ(Levels(), (std::vector<int32_t>{40000, 20000, 0}));
}

TEST_F(Cd, DriveSettingOfOneLetterIsTheOnlyDriveEverTried) {
    Drives->InsertDisc("D:", {Minutes(1, 0)});
    Drives->SetDriveSetting("Title", "E");
    TCddaManager manager("Title");
    EXPECT_EQ(manager.ReadCDDriveSetting(), "E:");
    TDMediaItem& item = *manager.Add("CD_1");
    item.Play();
    EXPECT_FALSE(item.IsPlaying());
    Drives->InsertDisc("E:", {Minutes(1, 0)});
    item.Play();
    EXPECT_FALSE(item.IsPlaying());
    EXPECT_EQ(Drives->Opened, std::vector<std::string>{"E:"});
    EXPECT_EQ(manager.MixerDest, -1);
}

// A track of a disc image plays on the player's own sound: the CD line's levels are its voice's,
// and the item ends one second before the track's end.
TEST(CdImageItem, PlaysItsTrackAtTheCdLinesLevelsAndEnds) {
    const std::string cue = FreshHostFolder() + "disc.cue";
    PythonOutput("make_cd_image.py", {cue, "440:2", "550:3"});
    ScopedEnvironment headless{"VELA_HEADLESS", "1"}, driver{"SDL_AUDIODRIVER", nullptr},
        image{"VELA_CDROM", cue.c_str()};
    const auto sound = std::dynamic_pointer_cast<HeadlessSound>(OpenSoundDevice());
    ASSERT_TRUE(sound);
    sound->keepFrames = Frames(0);
    SetCdAudioService(nullptr);
    SetSystemMixerService(nullptr);
    {
        TCddaManager manager;
        TDMediaItem& item = *manager.Add("CD_2");
        EXPECT_EQ(item.GetLen(), 3000);
        item.Play();
        ASSERT_TRUE(item.IsPlaying());
        for (const int32_t volume : {-2500, -5000, 0}) {
            sound->advance(500);
            item.SetVol(volume);
        }
        sound->advance(400);
        EXPECT_EQ(item.GetPosition(), 1000);
        const std::vector<int16_t>& pcm = sound->mixed;
        const double full = ToneAmplitude(pcm, 550, 50, 450);
        EXPECT_GT(full, 15000);
        EXPECT_NEAR(ToneAmplitude(pcm, 550, 550, 950) / full, 0.5, 0.01);
        EXPECT_LT(ToneAmplitude(pcm, 550, 1050, 1450), 1);
        EXPECT_NEAR(ToneAmplitude(pcm, 550, 1550, 1850) / full, 1, 0.01);
        sound->advance(200);
        MainQueue().ProcessMessages();
        EXPECT_TRUE(item.IsEnd());
        EXPECT_FALSE(item.IsPlaying());
    }
    SetCdAudioService(nullptr);
    SetSystemMixerService(nullptr);
}

TEST(AudioMixer, ConnectionWithoutMuteIsMutedThroughItsDestinationsMux) {
    MixerDestination record{{0xFFFF0001, MixerComponentWaveIn, 2, "Recording",
                             {{7, MixerControlMux, MixerUniform | MixerMultiple, "Source", {0x10, 0x11}, {0, 1}}}},
                            {}};
    record.connections.push_back(
        {0x10, MixerComponentCompactDisc, 2, "CD", {{8, MixerControlVolume, 0, "Volume", {}, {100, 200}}}});
    record.connections.push_back({0x11, 0x1003, 1, "Microphone", {}});
    MixerDevice device;
    device.manufacturerId = 1;
    device.destinations.push_back(record);
    device.failOpens = 2;
    SetSystemMixerService(std::make_unique<SystemMixer>(std::vector<MixerDevice>{device}));
    {
        TAudioMixer mixer;
        EXPECT_EQ(mixer.GetMixerId(), 0);
        EXPECT_EQ(mixer.Manufacturer, "Microsoft");
        int32_t left, right, mute;
        bool stereo, volumeOff, muteOff, select;
        ASSERT_TRUE(mixer.GetVolume(0, 0, left, right, mute, stereo, volumeOff, muteOff, select));
        EXPECT_EQ(std::vector<int32_t>({left, right, mute}), std::vector<int32_t>({100, 200, 0}));
        EXPECT_TRUE(stereo && select && !volumeOff && !muteOff);
        ASSERT_TRUE(mixer.SetVolume(0, 0, 50, -1, 1));
        ASSERT_TRUE(mixer.GetVolume(0, 0, left, right, mute, stereo, volumeOff, muteOff, select));
        EXPECT_EQ(std::vector<int32_t>({left, right, mute}), std::vector<int32_t>({50, 50, 1}));
        EXPECT_EQ(mixer.Destinations()[0].line.controls[0].values, (std::vector<int32_t>{1, 0}));
        EXPECT_FALSE(mixer.SetVolume(0, 2, 0, 0, 0));
        ASSERT_TRUE(mixer.GetVolume(0, 1, left, right, mute, stereo, volumeOff, muteOff, select));
        EXPECT_EQ(std::vector<int32_t>({left, right, mute}), std::vector<int32_t>({-1, -1, 0}));
    }
    SetSystemMixerService(nullptr);
}
