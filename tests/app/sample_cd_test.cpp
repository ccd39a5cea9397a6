// The sample title's CD track played from the disc image the build writes beside the title, on
// the headless sound: track 2's tone fades in with the first tick, and its end deletes the sound.
#include "tests/app/sample_fixture.h"

#include "platform/sound.h"

namespace {

class SampleCd : public SampleTitle {
protected:
    ScopedEnvironment headless{"VELA_HEADLESS", "1"}, driver{"SDL_AUDIODRIVER", nullptr},
        image{"VELA_CDROM", VELA_SAMPLE_FOLDER "/sample_cd.cue"};
};

TEST_F(SampleCd, TrackTwoPlaysFromTheImageAndItsEndDeletesTheSound) {
    auto* sound = dynamic_cast<platform::HeadlessSound*>(form->SoundOut.get());
    ASSERT_NE(sound, nullptr);
    sound->keepFrames = platform::Frames(0);
    Tick();
    ASSERT_NE(Bases->FindObject("cdtrack"), nullptr);
    // The track's 3 s play to one second before their end.
    int ticks = 1;
    for (; ticks < 250 && Bases->FindObject("cdtrack"); ++ticks) Tick();
    EXPECT_EQ(Bases->FindObject("cdtrack"), nullptr);
    EXPECT_GT(ticks * 16, 1950);
    EXPECT_LT(ticks * 16, 2300);
    const std::vector<int16_t>& pcm = sound->mixed;
    EXPECT_GT(ToneAmplitude(pcm, 550, 600, 1900), 12000);
    EXPECT_LT(ToneAmplitude(pcm, 440, 0, 2000), 300);
    EXPECT_LT(ToneAmplitude(pcm, 770, 0, 2000), 300);
}

}  // namespace
