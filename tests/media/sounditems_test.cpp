// The Ogg, WAV and Windows Media sounds of the managers on the headless sound device, played by
// the companion library (DirectSound on) or by the Ogg manager's own mixer (DirectSound off).
#include "core/vrfiles_manager.h"
#include "media/dsound.h"
#include "media/mediaman.h"
#include "media/screenman.h"
#include "media/velabind.h"
#include "media/wavouts.h"
#include "objects/vitems.h"
#include "platform/fs.h"
#include "script/services.h"
#include "tests/common/budget.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#ifdef __SANITIZE_ADDRESS__
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace {

// DirectSound on (the library plays) or off (the mixer plays).
class SoundItems : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        const std::string data = VELA_TEST_DATA "/", folder = FreshHostFolder();
        for (const auto& [from, to] : {std::pair{"companion/stereo.ogg", "theme.ogg"}, {"companion/stereo.ogg", "LOUD.OGG"},
                                       {"companion/stereo.wma", "jingle.wma"}, {"wave/s16_mono.wav", "click.WAV"}})
            std::filesystem::copy_file(data + from, folder + to);
        for (const char* name : {"bad.ogg", "bad.wav", "bad.wma"}) std::ofstream(folder + name) << "no sound in here";
        BindVelaLibrary(platform::fs::ToProgramPath(VELA_COMPANION_FOLDER) + "\\");
        CreateVrFileSystem();
        VrFileManager->Add("");
        VrFileManager->SetBaseFolder(platform::fs::ToProgramPath(folder));
        MediaInit(nullptr, nullptr, 0, 0, 0, 0, {GetParam(), 100, &component});
        OggMan->WavOut().Clock = [this] { return now.load(); };
    }
    void TearDown() override {
        MediaFinal();
        component.Finalize();
        FreeVrFileSystem();
        UnbindVelaLibrary();
    }
    // Ms more of the run in steps of 10 ms: the mixer's blocks, then the device.
    void Advance(uint32_t Ms) {
        for (uint32_t t = 0; t < Ms; t += 10) {
            now += 10;
            OggMan->WavOut().Refill();
            sound.advance(10);
        }
    }
    // The loudest left sample of the next Ms.
    int32_t Peak(uint32_t Ms) {
        sound.mixed.clear();
        Advance(Ms);
        int32_t peak = 0;
        for (size_t i = 0; i < sound.mixed.size(); i += 2) peak = std::max(peak, std::abs(int32_t(sound.mixed[i])));
        return peak;
    }

    ScopedEnvironment headless{"VELA_HEADLESS", "1"}, driver{"SDL_AUDIODRIVER", nullptr};
    std::shared_ptr<platform::SoundDevice> device = platform::OpenSoundDevice();
    platform::HeadlessSound& sound = dynamic_cast<platform::HeadlessSound&>(*device);
    TWindowControl form;
    TSoundDevice component{&form};
    std::atomic<uint32_t> now{100000};
};

// The heap's bytes in use, as whoever keeps it counts them (under AddressSanitizer its runtime,
// which counts the bytes asked for).
int64_t HeapInUse() {
#ifdef __SANITIZE_ADDRESS__
    return int64_t(__sanitizer_get_current_allocated_bytes());
#else
    const struct mallinfo2 heap = mallinfo2();
    return int64_t(heap.uordblks + heap.hblkhd);
#endif
}

INSTANTIATE_TEST_SUITE_P(DirectSound, SoundItems, ::testing::Bool(),
                         [](const auto& Info) { return Info.param ? "On" : "Off"; });

}  // namespace

TEST_P(SoundItems, TheManagersSuspendResumeAndSwitchRealSounds) {
    TDMediaItem* theme = OggMan->Add("theme.ogg");
    EXPECT_EQ(dynamic_cast<TOggItem*>(theme) != nullptr, GetParam());
    EXPECT_EQ(dynamic_cast<TOggWaveItem*>(theme) != nullptr, !GetParam());
    theme->SetAutoRepeat(true);
    theme->Play();
    // Names of any case: ".OGG" decodes as Ogg, ".WAV" as WAV.
    TDMediaItem* loud = OggMan->Add("LOUD.OGG");
    EXPECT_NEAR(loud->GetLen(), 500, 2);
    TDMediaItem* click = OggMan->Add("click.WAV");
    EXPECT_NEAR(click->GetLen(), 3, 1);
    click->Play();
    click->Pause();
    Advance(50);
    EXPECT_TRUE(theme->IsPlaying());
    EXPECT_GT(Peak(50), 8000);

    // A second suspend changes nothing; the paused click stays paused.
    OggMan->Suspend();
    OggMan->Suspend();
    EXPECT_FALSE(theme->IsPlaying());
    Advance(300);  // what the mixer queued is heard out
    EXPECT_LT(Peak(50), 100);
    OggMan->Resume();
    EXPECT_TRUE(theme->IsPlaying());
    EXPECT_TRUE(click->IsPaused());
    EXPECT_GT(Peak(100), 8000);

    // Switched off: the theme pauses; the library's sound played meanwhile waits for the switch,
    // the mixer's plays at once.
    OggMan->SetEnabled(false);
    loud->Play();
    EXPECT_FALSE(theme->IsPlaying());
    EXPECT_EQ(loud->IsPlaying(), !GetParam());
    OggMan->SetEnabled(true);
    EXPECT_TRUE(theme->IsPlaying());
    EXPECT_TRUE(loud->IsPlaying());

    // An item of another manager is not this one's to free.
    TDMediaItem* jingle = WmpMan->Add("jingle.wma");
    OggMan->Remove(jingle);
    EXPECT_EQ(OggMan->Count(), 3);
    EXPECT_NEAR(jingle->GetLen(), 500, 30);
}

// What the Ogg decoders (a C library) hold for live sounds is in the title's budget as the heap
// holds it, and given back with the sounds.
TEST_P(SoundItems, WhatTheDecodersOfLiveSoundsHoldIsCharged) {
    OggMan->Remove(OggMan->Add("theme.ogg"));  // the first sound's lasting allocations
    const int64_t before = MemoryCharged(), heap = HeapInUse();
    std::vector<TDMediaItem*> live;
    for (int i = 0; i < 40; ++i) live.push_back(OggMan->Add("theme.ogg"));
    const int64_t charged = MemoryCharged() - before, held = HeapInUse() - heap;
    EXPECT_GT(held, 40 * (int64_t(64) << 10));
    EXPECT_NEAR(charged, held, held / 20 + testbudget::Slack);
    for (TDMediaItem* item : live) OggMan->Remove(item);
    EXPECT_NEAR(MemoryCharged(), before, testbudget::Slack);
}

TEST_P(SoundItems, EndsAreReportedOnceAndARepeatingSoundNeverEnds) {
    std::vector<TDMediaItem*> once = {OggMan->Add("theme.ogg"), WmpMan->Add("jingle.wma")};
    if (!GetParam()) once.pop_back();  // the mixer's items report their end until played again
    TDMediaItem* repeating = OggMan->Add("LOUD.OGG");
    repeating->SetAutoRepeat(true);
    repeating->Play();
    for (int round = 0; round < 2; ++round) {
        for (TDMediaItem* item : once) {
            item->SetPosition(-5);  // from the start
            item->Play();
        }
        Advance(1000);
        for (TDMediaItem* item : once) {
            EXPECT_TRUE(item->IsEnd()) << round;
            EXPECT_EQ(item->IsEnd(), !GetParam()) << round;
        }
        EXPECT_FALSE(repeating->IsEnd());
        EXPECT_TRUE(repeating->IsPlaying());
    }
}

// The mixer plays the decoded sound as oggdec decodes it; -2500 halves its level, -5000 and below
// are silent.
TEST_P(SoundItems, TheMixerPlaysTheDecodedSoundAtItsVolume) {
    if (GetParam()) GTEST_SKIP() << "the library's volume is the device's";
    std::string reference;
    FILE* pipe = popen("oggdec -Q -R -o - " VELA_TEST_DATA "/companion/stereo.ogg", "r");
    char chunk[4096];
    for (size_t n; pipe && (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;) reference.append(chunk, n);
    ASSERT_TRUE(pipe && pclose(pipe) == 0);
    sound.mixed.clear();
    OggMan->Add("LOUD.OGG")->Play();
    Advance(800);
    const std::string heard(reinterpret_cast<const char*>(sound.mixed.data()), sound.mixed.size() * 2);
    EXPECT_NE(heard.find(reference), std::string::npos);

    TDMediaItem* theme = OggMan->Add("theme.ogg");
    theme->SetAutoRepeat(true);
    theme->Play();
    Advance(200);
    const int32_t full = Peak(100);
    theme->SetVol(-2500);
    Advance(200);
    EXPECT_NEAR(Peak(100), full / 2, full / 50);
    theme->SetVol(-6000);
    EXPECT_EQ(theme->GetVol(), -6000);
    Advance(200);
    EXPECT_EQ(Peak(100), 0);
}

// Data the library cannot decode: a silent, empty sound from the library, said once per name on
// standard error; refused by the mixer.
TEST_P(SoundItems, UndecodableDataPlaysNothingOrIsRefused) {
    testing::internal::CaptureStderr();
    for (const char* name : {"bad.ogg", "bad.wav", "BAD.OGG"}) {
        if (!GetParam()) {
            EXPECT_EQ(ErrorOf([&] { OggMan->Add(name); }), "サウンドデータが不正です") << name;
            continue;
        }
        TDMediaItem* item = OggMan->Add(name);
        item->Play();
        EXPECT_FALSE(item->IsPlaying() || item->IsEnd() || item->GetLen() != 0) << name;
    }
    TDMediaItem* wma = WmpMan->Add("bad.wma");
    wma->Play();
    EXPECT_FALSE(wma->IsPlaying() || wma->IsEnd() || wma->GetLen() != 0);
    const std::string library = "cannot be opened (no sound the companion library can decode); it plays nothing\n";
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              (GetParam() ? "velaplay: bad.ogg " + library + "velaplay: bad.wav " + library : "") + "velaplay: bad.wma " +
                  library);
    EXPECT_EQ(OggMan->Count(), GetParam() ? 3 : 0);
    EXPECT_FALSE(ErrorOf([&] { OggMan->Add("missing.ogg"); }).empty());
    EXPECT_LT(Peak(100), 1);
}

// The items of one sound share one opening of its file: many more of them than the process may
// open files all open and read their sound.
TEST_P(SoundItems, ItemsOfOneSoundTakeNoDescriptorEach) {
    rlimit saved{};
    getrlimit(RLIMIT_NOFILE, &saved);
    const rlimit lowered{rlim_t(std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {})) + 32,
                         saved.rlim_max};
    setrlimit(RLIMIT_NOFILE, &lowered);
    std::vector<TDMediaItem*> items;
    const std::string error = ErrorOf([&] {
        while (items.size() < 300) items.push_back(OggMan->Add("click.WAV"));
    });
    setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(error, "");
    ASSERT_EQ(items.size(), 300u);
    for (TDMediaItem* item : items) EXPECT_NEAR(item->GetLen(), 3, 1);
}

// @SoundON through the object root: off pauses the playing theme, on plays it on.
TEST_P(SoundItems, TheSoundSwitchPausesAndResumesTheTheme) {
    CreateScriptServices();
    VelaInitialize();
    TDMediaItem* theme = OggMan->Add("theme.ogg");
    theme->SetAutoRepeat(true);
    theme->Play();
    Advance(100);
    Bases->SetSoundEnabled(false);
    Advance(300);  // what was queued is heard out
    EXPECT_LT(Peak(100), 100);
    Bases->SetSoundEnabled(true);
    Advance(300);
    EXPECT_GT(Peak(100), 8000);
    VelaFinalize();
    FreeScriptServices();
}
