// The companion library's sounds in the test host (companion_host.h). Decoded sound is compared
// with what oggdec, ffmpeg and sox make of the same files.
#include "media/wave.h"
#include "platform/clock.h"
#include "tests/companion/companion_host.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>

using namespace companion_host;

namespace {

// What the reference decoders make of a fixture: 16-bit PCM from oggdec and ffmpeg; for a WAV
// the PCM sox read out of it, kept beside it.
std::string ReferencePcm(const std::string& Name) {
    const std::string path = Data + Name;
    if (Name.ends_with(".ogg")) return CommandOutput("oggdec -Q -R -o - " + path);
    if (Name.ends_with(".wma")) return CommandOutput("ffmpeg -v error -i " + path + " -f s16le -");
    return FileBytes(path.substr(0, path.size() - 4) + ".raw");
}

std::string Pcm(const std::vector<int16_t>& Samples, size_t From = 0) {
    From = std::min(From, Samples.size());
    return std::string(reinterpret_cast<const char*>(Samples.data() + From), (Samples.size() - From) * 2);
}

// Everything a decoder of the player's mixer reads, in reads of Chunk bytes.
std::string ReadAll(VelaHandle Decoder, int32_t Chunk) {
    std::string pcm, buffer(size_t(Chunk), '\0');
    for (int32_t n; (n = VelaLib.OggStrRead(Decoder, buffer.data(), Chunk)) > 0;) pcm.append(buffer, 0, size_t(n));
    return pcm;
}

}  // namespace

TEST_F(Companion, TheMixersDecoderReadsWhatTheReferenceDecodersMake) {
    struct Case {
        const char* name;
        uint16_t channels, bits;
        uint32_t rate;
    };
    for (const Case& c : {Case{"companion/stereo.ogg", 2, 16, 44100}, Case{"companion/mono.ogg", 1, 16, 22050},
                          Case{"wave/u8_stereo.wav", 2, 8, 11025}, Case{"wave/s16_mono.wav", 1, 16, 11025},
                          Case{"wave/list_before_data.wav", 2, 16, 11025}, Case{"wave/data_before_fmt.wav", 1, 8, 11025}}) {
        SCOPED_TRACE(c.name);
        const std::string reference = ReferencePcm(c.name);
        const std::string name = c.name;
        const VelaHandle decoder = VelaLib.OggStrmanAdd(&Stream(c.name), name.ends_with(".ogg") ? -1 : 0);
        ASSERT_NE(decoder, 0u);
        TWaveFormatEx format;
        ASSERT_TRUE(VelaLib.OggStrGetFormat(decoder, &format));
        EXPECT_EQ(format.wFormatTag, 1);
        EXPECT_EQ(format.nChannels, c.channels);
        EXPECT_EQ(format.wBitsPerSample, c.bits);
        EXPECT_EQ(format.nSamplesPerSec, c.rate);
        EXPECT_EQ(format.nBlockAlign, c.channels * c.bits / 8);
        EXPECT_EQ(VelaLib.OggStrGetSize(decoder), int64_t(reference.size()));
        EXPECT_EQ(VelaLib.OggStrGetLen(decoder), int32_t(reference.size() / format.nBlockAlign * 1000 / c.rate));
        // Reads of any size give whole frames; a seek inside a frame goes to its start.
        EXPECT_TRUE(ReadAll(decoder, 1001) == reference);
        EXPECT_EQ(VelaLib.OggStrGetPos(decoder), int64_t(reference.size()));
        const int64_t middle = int64_t(reference.size()) / 2 + 1;
        const int64_t start = middle / format.nBlockAlign * format.nBlockAlign;
        EXPECT_EQ(VelaLib.OggStrSetPos(decoder, middle), start);
        EXPECT_TRUE(ReadAll(decoder, 4096) == reference.substr(size_t(start)));
        EXPECT_EQ(VelaLib.OggStrRead(decoder, &format, int32_t(format.nBlockAlign) - 1), 0);
        VelaLib.OggStrmanDel(decoder);
        EXPECT_FALSE(VelaLib.OggStrGetFormat(decoder, &format));  // gone
    }
}

TEST_F(Companion, SoundsPlayOnAVoiceOfThePlayersDevice) {
    for (const char* name : {"companion/stereo.ogg", "companion/stereo.wma"}) {
        SCOPED_TRACE(name);
        const std::string reference = ReferencePcm(name);
        const int64_t frames = int64_t(reference.size()) / 4;
        Device->voices.clear();
        const VelaHandle sound = AddSound(name);
        ASSERT_NE(sound, 0u);
        const bool wma = std::string(name).ends_with(".wma");
        const TVelaItemFamily& family = wma ? VelaLib.Wmp : VelaLib.Ogg;
        // The Windows Media length is the one the file states.
        EXPECT_NEAR(family.GetLen(sound), frames * 1000 / 44100, wma ? 50 : 1);
        family.Play(sound);
        EXPECT_TRUE(family.IsPlaying(sound));
        Device->render(platform::Frames(frames / 2));
        EXPECT_NEAR(family.GetPosition(sound), frames / 2 * 1000 / 44100, 1);
        family.Pause(sound);
        EXPECT_TRUE(family.IsPaused(sound));
        EXPECT_FALSE(family.IsPlaying(sound));
        Device->render(platform::Frames(100));  // silence while paused
        family.Play(sound);
        Device->render(platform::Frames(frames));
        EXPECT_TRUE(family.IsEnd(sound));
        EXPECT_FALSE(family.IsPlaying(sound));
        std::vector<int16_t> heard = Voice();
        heard.erase(heard.begin() + frames / 2 * 2, heard.begin() + (frames / 2 + 100) * 2);
        EXPECT_TRUE(Pcm(heard).substr(0, reference.size()) == reference);
        EXPECT_EQ(Pcm(heard).find_first_not_of('\0', reference.size()), std::string::npos);
        // Played again after its end, it starts over.
        family.Play(sound);
        EXPECT_FALSE(family.IsEnd(sound));
        family.SetAutoRepeat(sound, -1);
        EXPECT_TRUE(family.GetAutoRepeat(sound));
        (wma ? VelaLib.WmpmanDel : VelaLib.OggmanDel)(sound);
    }
}

TEST_F(Companion, RepeatLoopsBackSeeksVolumeAndPan) {
    const std::string reference = ReferencePcm("companion/stereo.ogg");
    const int64_t frames = int64_t(reference.size()) / 4, loop = 4410;  // 100 ms
    const VelaHandle sound = AddSound("companion/stereo.ogg");
    VelaLib.Ogg.SetAutoRepeat(sound, -1);
    VelaLib.OggSetRepeatPos(sound, 100);
    EXPECT_EQ(VelaLib.OggGetRepeatPos(sound), 100);
    VelaLib.Ogg.Play(sound);
    Device->render(platform::Frames(frames + (frames - loop) + 1000));
    EXPECT_FALSE(VelaLib.Ogg.IsEnd(sound));
    const std::string heard = Pcm(Voice());
    const std::string once = reference.substr(size_t(loop) * 4);
    EXPECT_TRUE(heard.substr(0, reference.size()) == reference);
    EXPECT_TRUE(heard.substr(reference.size(), once.size()) == once);
    EXPECT_TRUE(heard.substr(reference.size() + once.size()) == once.substr(0, 4000));
    EXPECT_EQ(VelaLib.Ogg.GetPosition(sound), (loop + 1000) * 1000 / 44100);

    // A seek plays on from there, at the volume and pan set.
    VelaLib.Ogg.SetPosition(sound, 250);
    VelaLib.Ogg.SetPan(sound, 10000);
    EXPECT_EQ(VelaLib.Ogg.GetPan(sound), 10000);
    Device->voices.clear();
    Device->render(platform::Frames(500));
    const std::vector<int16_t>& right = Voice();
    for (size_t i = 0; i < right.size(); i += 2) {
        ASSERT_EQ(right[i], 0);
        int16_t expected;
        std::memcpy(&expected, reference.data() + (size_t(11025) + i / 2) * 4 + 2, 2);
        ASSERT_EQ(right[i + 1], expected) << i;
    }
    VelaLib.Ogg.SetVol(sound, -10000);
    EXPECT_EQ(VelaLib.Ogg.GetVol(sound), -10000);
    Device->voices.clear();
    Device->render(platform::Frames(500));
    EXPECT_EQ(Pcm(Voice()).find_first_not_of('\0'), std::string::npos);
    VelaLib.OggmanDel(sound);
    EXPECT_EQ(VelaLib.Ogg.GetVol(sound), 0);  // gone
}

TEST_F(Companion, DataThatCannotBeDecodedGivesNoHandle) {
    const std::string ogg = FileBytes(Data + "companion/stereo.ogg"), wma = FileBytes(Data + "companion/stereo.wma");
    std::string float32 = FileBytes(Data + "wave/s16_mono.wav");
    float32[20] = 3;  // the format tag of floating-point samples
    std::string headerless = ogg;
    headerless[30] ^= 0x55;  // inside the identification header
    struct Case {
        std::string bytes;
        int32_t isOgg;
    };
    for (const Case& c : {Case{ogg.substr(0, 60), -1}, Case{headerless, -1}, Case{wma, -1}, Case{ogg, 0},
                          Case{float32, 0}, Case{"RIFF\x04\0\0\0WAVE", 0}}) {
        TMemoryStream& stream = *Streams.emplace_back(std::make_unique<TMemoryStream>(StreamOf(c.bytes)));
        EXPECT_EQ(VelaLib.OggmanAdd(&stream, c.isOgg), 0u);
        EXPECT_EQ(VelaLib.OggStrmanAdd(&stream, c.isOgg), 0u);
    }
    for (const std::string& bytes : {wma.substr(0, 300), ogg, std::string(5000, 'x')})
        EXPECT_EQ(VelaLib.WmpmanAdd(bytes.data(), int32_t(bytes.size())), 0u);
    // Good data without a sound device in the cell plays nowhere.
    Cell = nullptr;
    EXPECT_EQ(AddSound("companion/stereo.ogg"), 0u);
    EXPECT_EQ(AddSound("companion/stereo.wma"), 0u);
    EXPECT_EQ(Device->voices.size(), 0u);
}

namespace {

// A device whose refill thread runs, drained by a thread of its own as a sound card would.
class ThreadedSound : public platform::FedSound {
public:
    ThreadedSound() {
        startRefill();
        drain_ = std::thread([this] {
            int16_t out[512];
            while (!quit_) {
                consume(out, platform::Frames(256));
                std::this_thread::yield();
            }
        });
    }
    ~ThreadedSound() override {
        quit_ = true;
        drain_.join();
        stopRefill();
    }

private:
    std::atomic<bool> quit_{false};
    std::thread drain_;
};

}  // namespace

TEST_F(Companion, TheRefillThreadAndTheMainThreadReadRangeStreamsAtOnce) {
    VelaLib.Final();
    Start(std::make_shared<ThreadedSound>());
    const std::string ogg = FileBytes(Data + "companion/stereo.ogg"), reference = ReferencePcm("companion/stereo.ogg");
    // An archive of three entries, each opened as the file manager opens one.
    const std::string archive = FreshHostFolder() + "sounds.dat";
    std::ofstream(archive, std::ios::binary) << ogg << ogg << ogg;
    std::vector<std::unique_ptr<TFileRangeStream>> ranges;
    for (int i = 0; i < 3; ++i)
        ranges.push_back(std::make_unique<TFileRangeStream>(platform::fs::ToProgramPath(archive),
                                                            int64_t(ogg.size()) * i, int64_t(ogg.size())));
    VelaHandle sounds[2];
    for (int i = 0; i < 2; ++i) {
        sounds[i] = VelaLib.OggmanAdd(ranges[i].get(), -1);
        ASSERT_NE(sounds[i], 0u);
        VelaLib.Ogg.SetAutoRepeat(sounds[i], -1);
        VelaLib.Ogg.Play(sounds[i]);
    }
    // While both play, the main thread decodes the third range whole, twice.
    const VelaHandle decoder = VelaLib.OggStrmanAdd(ranges[2].get(), -1);
    for (int pass = 0; pass < 2; ++pass) {
        VelaLib.OggStrSetPos(decoder, 0);
        EXPECT_TRUE(ReadAll(decoder, 2048) == reference);
    }
    // Both move on; a repeating sound's position starts over at its end, so the furthest is kept.
    int64_t furthest[2] = {0, 0};
    const uint32_t start = platform::ClockMs();
    while ((furthest[0] < 200 || furthest[1] < 200) && platform::ClockMs() - start < 10000) {
        for (int i = 0; i < 2; ++i) furthest[i] = std::max<int64_t>(furthest[i], VelaLib.Ogg.GetPosition(sounds[i]));
        std::this_thread::yield();
    }
    EXPECT_GE(furthest[0], 200);
    EXPECT_GE(furthest[1], 200);
    VelaLib.OggStrmanDel(decoder);
    for (VelaHandle sound : sounds) VelaLib.OggmanDel(sound);
}
