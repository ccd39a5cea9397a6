#include "media/dsound.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

class DirectSoundTest : public ::testing::Test {
protected:
    ScopedEnvironment headless_{"VELA_HEADLESS", "1"};
    ScopedEnvironment driver_{"SDL_AUDIODRIVER", nullptr};
};

}  // namespace

TEST_F(DirectSoundTest, ComponentStartsAndStopsOnItsForm) {
    TSoundDevice formless(nullptr);
    EXPECT_EQ(ErrorOf([&] { formless.Initialize(); }), "フォームが見つかりません");

    TWindowControl form;
    std::vector<std::string> seen;
    form.WindowProc = [&](const platform::InputEvent&) { seen.push_back("form"); };
    TSoundDevice device(&form);
    std::vector<int32_t> codes;
    const int32_t id = device.RegisterNotifyEvent([&](TCustomSoundDevice&, int32_t Code) { codes.push_back(Code); });
    TWaveFormatEx primary{};
    device.OnInitialize = [&](TCustomSoundDevice& Sender) {
        TWaveFormatEx f;
        MakePCMWaveFormat(f, 22050, 8, 1);
        EXPECT_TRUE(Sender.GetPrimary()->SetFormat(f));
        primary = WaveFormatOf(Sender.GetPrimary()->Format());
    };
    device.SetOptions(soGlobalFocus | soExclusive);
    device.Initialize();
    device.Initialize();  // again: finalized first
    EXPECT_EQ(codes, (std::vector<int32_t>{1, 2, 4, 3, 1, 2, 4}));
    EXPECT_EQ(device.CooperativeLevel(), 3);
    // The primary buffer plays what the device plays.
    EXPECT_EQ(primary.nSamplesPerSec, 44100u);
    EXPECT_EQ(primary.nBlockAlign, 4);
    form.Perform({});
    EXPECT_EQ(seen.size(), 1u);  // the filter passes events on

    // A lost buffer restores once, however often the restore loses it again.
    auto* buffer = new TDirectSoundBuffer(*device.GetDSound());  // freed with the device
    device.OnRestore = [&](TCustomSoundDevice&) { buffer->SetResultCode(DSERR_BUFFERLOST); };
    codes.clear();
    buffer->SetResultCode(DSERR_BUFFERLOST);
    EXPECT_EQ(codes, (std::vector<int32_t>{4}));
    device.OnRestore = nullptr;

    device.UnRegisterNotifyEvent(id);
    device.Finalize();
    EXPECT_EQ(device.GetDSound(), nullptr);
    form.Perform({});
    EXPECT_EQ(seen.size(), 2u);
}

TEST_F(DirectSoundTest, SecondaryBuffersOnStaticVoices) {
    TDirectSound dsound;
    auto* device = dynamic_cast<platform::HeadlessSound*>(dsound.GetIDSound());
    ASSERT_NE(device, nullptr);
    dsound.GlobalFocus = true;
    auto* buffer = new TDirectSoundBuffer(dsound);  // freed with the device
    void *d1, *d2;
    int32_t s1, s2;
    EXPECT_EQ(ErrorOf([&] { buffer->Lock(0, 0, d1, s1, d2, s2); }), "IDirectSoundBuffer は作成されていません");
    TWaveFormatEx f;
    MakePCMWaveFormat(f, 44100, 24, 2);
    EXPECT_EQ(ErrorOf([&] { buffer->CreateBuffer(f, 600); }), "サウンドバッファ を作成できません");

    TWave wave;
    wave.SetPCMFormat(44100, 16, 2);
    wave.SetSize(400);
    for (int i = 0; i < 400; ++i) wave.Data()[i] = uint8_t(i);
    buffer->Assign(&wave);
    EXPECT_EQ(buffer->Caps().dwFlags, 0x100E0u | DSBCAPS_GLOBALFOCUS);
    EXPECT_TRUE(buffer->Lock(396, 8, d1, s1, d2, s2));
    EXPECT_EQ(s1 + s2, 8);
    EXPECT_FALSE(buffer->Lock(0, 4, d1, s1, d2, s2));  // one lock at a time
    buffer->Unlock();

    TDirectSoundBuffer copy(dsound);
    copy.Assign(buffer);
    copy.Play();
    device->render(platform::Frames(100));
    EXPECT_EQ(std::memcmp(device->mixed.data(), wave.Data(), 400), 0);
    EXPECT_EQ(dsound.BufferList().size(), 2u);
}
