#include "platform/cdaudio.h"
#include "platform/mixer.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(HostCdAudio, HasNoDriveAndNoSettingAndAMixerWithACdLine) {
    SetCdAudioService(nullptr);
    CdAudio& cd = CdAudioService();
    EXPECT_TRUE(cd.Drives().empty());
    CdDeviceId id = 0;
    EXPECT_NE(cd.Open("D:", 0, id), 0u);
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
    mixer.Close(h);
    EXPECT_EQ(mixer.Device(h), nullptr);
    SetSystemMixerService(nullptr);
}
