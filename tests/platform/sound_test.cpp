#include "platform/sound.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>

using namespace platform;

namespace {

// A sound of Frames frames whose samples run through the whole range and differ per channel.
std::vector<uint8_t> Tone(const PcmFormat& f, int frames) {
    std::vector<uint8_t> bytes;
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < f.channels; ++c) {
            const int v = int(std::lround(32767 * std::sin(i * 0.31 + c)));
            if (f.bits == 8)
                bytes.push_back(uint8_t(v / 256 + 128));
            else
                bytes.push_back(uint8_t(v & 0xFF)), bytes.push_back(uint8_t((v >> 8) & 0xFF));
        }
    return bytes;
}

// The plain reference of one voice: frame i of the output reads frame i * rate / 44100 of the
// sound (looping or not), each channel scaled by its gain.
std::vector<int32_t> Reference(const PcmFormat& f, const std::vector<uint8_t>& sound, int outFrames, int32_t volume,
                               int32_t pan, bool loop) {
    const double db = volume / 100.0;
    auto gain = [&](double extra) { return volume + extra <= -10000 ? 0 : int32_t(std::lround(65536 * std::pow(10.0, (db + extra / 100.0) / 20))); };
    const int32_t gl = gain(std::min(0, -pan)), gr = gain(std::min(0, pan));
    const int frames = int(sound.size()) / (f.channels * f.bits / 8);
    std::vector<int32_t> out(size_t(outFrames) * 2);
    for (int i = 0; i < outFrames; ++i) {
        int at = int(int64_t(i) * f.rate / 44100);
        if (at >= frames && !loop) break;
        at %= frames;
        int32_t s[2];
        for (int c = 0; c < 2; ++c) {
            const int ch = f.channels == 2 ? c : 0, k = at * f.channels + ch;
            s[c] = f.bits == 8 ? (sound[k] - 128) * 256 : int16_t(sound[2 * k] | sound[2 * k + 1] << 8);
        }
        out[2 * i] = int32_t((int64_t(s[0]) * gl) >> 16);
        out[2 * i + 1] = int32_t((int64_t(s[1]) * gr) >> 16);
    }
    return out;
}

std::unique_ptr<StaticVoice> Loaded(SoundDevice& device, const PcmFormat& f, const std::vector<uint8_t>& sound) {
    auto voice = device.createStatic(f, platform::Bytes(int64_t(sound.size())));
    const LockedRegion region = voice->lock(platform::Bytes(0), platform::Bytes(0));
    std::memcpy(region.first, sound.data(), sound.size());
    voice->unlock();
    return voice;
}

// A stream that hands out a sound in pulls of at most Step bytes, then ends.
class ToneStream : public SoundStream {
public:
    ToneStream(std::vector<uint8_t> sound, int64_t step) : sound_(std::move(sound)), step_(step) {}
    Pulled pull(uint8_t* buffer, platform::Bytes capacity) override {
        const int64_t n = std::min({capacity.value, step_, int64_t(sound_.size()) - at_});
        std::memcpy(buffer, sound_.data() + at_, size_t(n));
        at_ += n;
        ++pulls;
        return {platform::Bytes(n), at_ == int64_t(sound_.size())};
    }
    std::atomic<int> pulls{0};

private:
    std::vector<uint8_t> sound_;
    int64_t step_, at_ = 0;
};

int16_t Saturated(int32_t v) { return int16_t(std::clamp(v, -32768, 32767)); }

}  // namespace

TEST(SoundLevels, GainFollowsDecibels) {
    EXPECT_EQ(GainOfLevel(0), UnityGain);
    EXPECT_EQ(GainOfLevel(500), UnityGain);
    EXPECT_EQ(GainOfLevel(-10000), 0);
    EXPECT_EQ(GainOfLevel(-600), 32846);  // -6 dB: about half
    EXPECT_EQ(GainOfLevel(-2000), 6554);  // -20 dB: a tenth
    EXPECT_EQ(GainOfVolumePan(0, 10000), (StereoGain{0, UnityGain}));
    EXPECT_EQ(GainOfVolumePan(-600, -600), (StereoGain{32846, GainOfLevel(-1200)}));
}

// Voices of every source format, gains, pans and looping, mixed on the headless device,
// against the plain reference summed and saturated.
TEST(SoundMixer, VoicesMixLikeThePlainReference) {
    struct Case {
        PcmFormat format;
        int frames;
        int32_t volume, pan;
        bool loop, streamed;
    };
    const Case cases[] = {
        {{44100, 16, 2}, 3000, 0, 0, false, false},  {{22050, 16, 1}, 700, -600, 2500, true, false},
        {{11025, 8, 2}, 400, -1500, -10000, true, false}, {{44100, 8, 1}, 2500, 0, 0, false, true},
        {{22050, 16, 2}, 1800, -300, 4000, false, true},  {{11025, 8, 1}, 900, -6000, 0, false, true},
    };
    const int outFrames = 5000;
    HeadlessSound device;
    device.recordVoices = true;
    std::vector<std::unique_ptr<SoundVoice>> voices;
    std::vector<std::unique_ptr<ToneStream>> streams;
    std::vector<int32_t> sum(outFrames * 2);
    for (const Case& c : cases) {
        const std::vector<uint8_t> sound = Tone(c.format, c.frames);
        if (c.streamed) {
            streams.push_back(std::make_unique<ToneStream>(sound, 1000));
            voices.push_back(device.createStream(c.format, *streams.back()));
        } else {
            voices.push_back(Loaded(device, c.format, sound));
        }
        voices.back()->setVolume(c.volume);
        voices.back()->setPan(c.pan);
        voices.back()->play(c.loop);
        const std::vector<int32_t> ref = Reference(c.format, sound, outFrames, c.volume, c.pan, c.loop);
        for (size_t i = 0; i < sum.size(); ++i) sum[i] += ref[i];
    }
    device.render(Frames(1234));
    device.render(Frames(outFrames - 1234));
    ASSERT_EQ(device.mixed.size(), sum.size());
    int saturated = 0;
    for (size_t i = 0; i < sum.size(); ++i) {
        ASSERT_EQ(device.mixed[i], Saturated(sum[i])) << "sample " << i;
        saturated += sum[i] != Saturated(sum[i]);
    }
    EXPECT_GT(saturated, 0);
    for (size_t v = 0; v < voices.size(); ++v) {
        const Case& c = cases[v];
        const std::vector<int32_t> ref = Reference(c.format, Tone(c.format, c.frames), outFrames, c.volume, c.pan, c.loop);
        const std::vector<int16_t>& own = device.voices[voices[v]->id()];
        ASSERT_EQ(own.size(), ref.size());
        EXPECT_TRUE(std::equal(own.begin(), own.end(), ref.begin())) << "voice " << v;
        EXPECT_EQ(voices[v]->ended(), !c.loop) << "voice " << v;
        EXPECT_EQ(voices[v]->playing(), c.loop) << "voice " << v;
    }
}

// Voices freed in any order leave the others mixing; a voice that does not play adds nothing.
TEST(SoundMixer, VoicesFreedInAnyOrderLeaveTheOthersMixing) {
    const PcmFormat f{22050, 16, 1};
    const int outFrames = 3000;
    HeadlessSound device;
    std::vector<std::unique_ptr<StaticVoice>> voices;
    std::vector<std::vector<uint8_t>> sounds;
    for (int i = 0; i < 5; ++i) {
        sounds.push_back(Tone(f, 500 + 100 * i));
        voices.push_back(Loaded(device, f, sounds.back()));
        voices.back()->setVolume(-300 * i);
        if (i != 4) voices.back()->play(true);
    }
    voices[0].reset();  // the last takes its place
    voices[2].reset();
    device.render(Frames(outFrames / 2));
    voices[4].reset();
    device.render(Frames(outFrames - outFrames / 2));
    std::vector<int32_t> sum(outFrames * 2);
    for (int i : {1, 3}) {
        const std::vector<int32_t> ref = Reference(f, sounds[size_t(i)], outFrames, -300 * i, 0, true);
        for (size_t k = 0; k < sum.size(); ++k) sum[k] += ref[k];
    }
    ASSERT_EQ(device.mixed.size(), sum.size());
    for (size_t k = 0; k < sum.size(); ++k) ASSERT_EQ(device.mixed[k], Saturated(sum[k])) << "sample " << k;
}

TEST(SoundMixer, StaticVoiceControls) {
    HeadlessSound device;
    const PcmFormat f{44100, 16, 2};
    auto voice = Loaded(device, f, Tone(f, 100));
    // One lock at a time; a wrapping lock gives two regions.
    const LockedRegion region = voice->lock(platform::Bytes(360), platform::Bytes(80));
    EXPECT_EQ(region.firstSize, platform::Bytes(40));
    EXPECT_EQ(region.secondSize, platform::Bytes(40));
    EXPECT_FALSE(voice->lock(platform::Bytes(0), platform::Bytes(4)).locked());
    voice->unlock();
    EXPECT_FALSE(voice->lock(platform::Bytes(400), platform::Bytes(4)).locked());
    // A position set mid-way plays from there; the end stops it and goes back to the start.
    voice->setPosition(platform::Bytes(4 * 90 + 2));
    EXPECT_EQ(voice->position(), platform::Bytes(360));
    voice->play();
    device.render(Frames(20));
    EXPECT_TRUE(voice->ended());
    EXPECT_EQ(voice->position(), platform::Bytes(0));
    EXPECT_EQ(device.mixed[20], 0);
    EXPECT_NE(device.mixed[0], 0);
    // Doubling the frequency reads every other frame.
    voice->setFrequency(88200);
    voice->play();
    device.mixed.clear();
    device.render(Frames(2));
    EXPECT_EQ(voice->position(), platform::Bytes(16));
    EXPECT_EQ(device.createStatic(f, platform::Bytes(3)), nullptr);
    EXPECT_EQ(device.createStatic({44100, 24, 2}, platform::Bytes(6)), nullptr);
}

// Blocks of the PCM stream out play in order and are done once the device took them; a
// reset marks what is queued done and drops it.
TEST(SoundMixer, PcmOutPlaysQueuedBlocks) {
    HeadlessSound device;
    PcmOut out(device);
    const std::vector<uint8_t> a = Tone(OutputFormat, 300), b = Tone(OutputFormat, 200);
    PcmBlock first{a.data(), platform::Bytes(int64_t(a.size()))}, second{b.data(), platform::Bytes(int64_t(b.size()))};
    out.write(first);
    out.write(second);
    EXPECT_FALSE(first.done());
    device.render(Frames(600));
    EXPECT_TRUE(first.done() && second.done());
    std::vector<uint8_t> played(device.mixed.size() * 2);
    std::memcpy(played.data(), device.mixed.data(), played.size());
    EXPECT_TRUE(std::equal(a.begin(), a.end(), played.begin()));
    EXPECT_TRUE(std::equal(b.begin(), b.end(), played.begin() + a.size()));
    EXPECT_EQ(device.mixed[1100], 0);  // nothing queued: silence, and the voice waits
    EXPECT_FALSE(out.voice().ended());
    EXPECT_EQ(out.voice().played(), Frames(500));
    out.write(first);
    out.reset();
    EXPECT_TRUE(first.done());
}

// Without a sound card only the player's own line is written: ALSA's library keeps its
// complaints to itself (on a machine with a card the device opens and nothing is written).
TEST(SoundDeviceThreads, NoSoundCardIsOneLineOfThePlayers) {
    ScopedEnvironment headless("VELA_HEADLESS", nullptr), driver("SDL_AUDIODRIVER", "alsa");
    testing::internal::CaptureStderr();
    EXPECT_TRUE(OpenSoundDevice());
    const std::string written = testing::internal::GetCapturedStderr();
    EXPECT_EQ(written.find("ALSA lib"), std::string::npos) << written;
    EXPECT_TRUE(written.empty() || written.starts_with("velaplay: no sound device")) << written;
}

// On SDL's dummy driver the refill thread and the device's callback run while the main thread
// changes the voices; the streamed voice is pulled to its end (run under ThreadSanitizer too).
// A driver SDL cannot open leaves the device on the dummy driver.
TEST(SoundDeviceThreads, RefillThreadRacesTheControls) {
    ScopedEnvironment headless("VELA_HEADLESS", nullptr);
    for (const char* name : {"dummy", "nosuchdriver"}) {
        ScopedEnvironment driver("SDL_AUDIODRIVER", name);
        std::shared_ptr<SoundDevice> device = OpenSoundDevice();
        ASSERT_FALSE(device->headless());
        EXPECT_EQ(OpenSoundDevice(), device);
        const PcmFormat f{22050, 16, 2};
        ToneStream stream(Tone(f, 4000), 700);
        auto streamed = device->createStream(f, stream);
        auto looped = Loaded(*device, f, Tone(f, 500));
        PcmOut out(*device);
        const std::vector<uint8_t> block = Tone(OutputFormat, 2000);
        PcmBlock queued{block.data(), platform::Bytes(int64_t(block.size()))};
        out.write(queued);
        streamed->play();
        looped->play(true);
        for (int i = 0; i < 2000 && !(streamed->ended() && queued.done()); ++i) {
            looped->setVolume(-(i % 40) * 100);
            looped->setPan((i % 21 - 10) * 1000);
            if (i % 7 == 0) looped->stop(), looped->play(true);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        EXPECT_TRUE(streamed->ended());
        EXPECT_TRUE(queued.done());
        EXPECT_EQ(streamed->played(), Frames(4000));
        EXPECT_GT(stream.pulls, 1);
    }
}
