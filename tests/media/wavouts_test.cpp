#include "media/wavouts.h"
#include "platform/fs.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>

using platform::Frames;

namespace {

class WavOutTest : public ::testing::Test {
protected:
    ScopedEnvironment headless_{"VELA_HEADLESS", "1"};
    ScopedEnvironment driver_{"SDL_AUDIODRIVER", nullptr};
    std::shared_ptr<platform::SoundDevice> device_ = platform::OpenSoundDevice();
    platform::HeadlessSound& sound = dynamic_cast<platform::HeadlessSound&>(*device_);
    std::atomic<uint32_t> now{100000};

    // The mixer on the test's clock.
    std::unique_ptr<TWavOut> Mixer(int32_t DelayTime) {
        auto out = std::make_unique<TWavOut>(DelayTime);
        out->Clock = [this] { return now.load(); };
        return out;
    }
    // Blocks the mixer plays through the device, each rendered once it is queued, so the
    // recording is the blocks one after the other (silence where none was queued).
    std::vector<int16_t> Played(TWavOut& Out, int Blocks) {
        sound.mixed.clear();
        for (int i = 0; i < Blocks; ++i) {
            Out.Refill();
            sound.render(Frames(Out.BlockSize() / 4));
        }
        return sound.mixed;
    }
};

TWaveFormatEx Pcm(uint32_t Rate, uint16_t Bits, uint16_t Channels) {
    TWaveFormatEx f;
    MakePCMWaveFormat(f, Rate, Bits, Channels);
    return f;
}

// A stream of Size bytes (each the low byte of its offset) whose reads give nothing from DryAt
// on, or fail there when Fails is set.
class DryStream : public TMemoryStream {
public:
    DryStream(int64_t Size, int64_t DryAt, bool Fails = false) : dryAt_(DryAt), fails_(Fails) {
        SetSize(Size);
        for (int64_t i = 0; i < Size; ++i) Memory()[i] = uint8_t(i);
    }
    int64_t Read(void* Buffer, int64_t Count) override {
        if (fails_ && Position() >= dryAt_) throw EReadError();
        return TMemoryStream::Read(Buffer, std::min(Count, std::max<int64_t>(0, dryAt_ - Position())));
    }

private:
    int64_t dryAt_;
    bool fails_;
};

void ExpectSamples(const std::vector<int16_t>& Got, const std::vector<int16_t>& Want, const std::string& What) {
    ASSERT_EQ(Got.size(), Want.size()) << What;
    const auto diff = std::mismatch(Got.begin(), Got.end(), Want.begin());
    EXPECT_EQ(diff.first, Got.end()) << What << ": sample " << (diff.first - Got.begin()) << " is " << *diff.first
                                     << ", not " << *diff.second;
}

}  // namespace

// The eight source formats sox writes, alone and together, with gains, saturation and repeat,
// mixed into the blocks a plain reference makes of the same files.
TEST_F(WavOutTest, MixesBlocksAsTheReference) {
    const std::string folder = FreshHostFolder();
    const std::vector<std::string> names = Lines(PythonOutput("wavouts_ref.py", {"make", folder}));
    ASSERT_EQ(names.size(), 9u);
    struct Source {
        std::string name;
        int32_t gain = 256;
        bool repeat = false;
        int64_t repeatPos = 0;
    };
    struct Case {
        std::vector<Source> sources;
        int blocks;
    };
    std::vector<Case> cases;
    for (size_t i = 0; i < 8; ++i) cases.push_back({{{names[i]}}, 3});  // one and a half blocks, then silence
    cases.push_back({{{"16_2_44100.wav", 128}, {"8_1_22050.wav", 255}, {"16_1_44100.wav", 37}}, 2});
    cases.push_back({{{"loud.wav"}, {"loud.wav"}, {"8_2_22050.wav", 64}}, 1});
    cases.push_back({{{"16_1_22050.wav", 200, true, 0}, {"8_2_44100.wav", 256, true, 1000}}, 5});

    for (const Case& c : cases) {
        auto out = Mixer(100);
        std::vector<std::unique_ptr<TFileStream>> files;
        std::vector<std::unique_ptr<TWaveStream>> waves;
        std::vector<std::string> args = {"mix", "17640", std::to_string(c.blocks)};
        std::string what;
        for (const Source& s : c.sources) {
            files.push_back(std::make_unique<TFileStream>(platform::fs::ToProgramPath(folder + s.name), fmOpenRead));
            waves.push_back(std::make_unique<TWaveStream>(*files.back()));
            waves.back()->Open(false);
            TWavBuffer* buffer = out->AddBuffer(WaveFormatOf(waves.back()->GetFormat()), *waves.back());
            buffer->SetGain(s.gain);
            buffer->Repeat = s.repeat;
            buffer->RepeatPosition = s.repeatPos;
            buffer->Play();
            args.push_back(folder + s.name + ":" + std::to_string(s.gain) + ":" + (s.repeat ? "1" : "0") + ":" +
                           std::to_string(s.repeatPos));
            what += s.name + " ";
        }
        std::vector<int16_t> want;
        for (const std::string& line : Lines(PythonOutput("wavouts_ref.py", args))) {
            const std::string bytes = FromHex(line);
            want.resize(want.size() + bytes.size() / 2);
            std::memcpy(want.data() + want.size() - bytes.size() / 2, bytes.data(), bytes.size());
        }
        ASSERT_TRUE(out->Open(true));
        EXPECT_FALSE(out->Open(true));
        ExpectSamples(Played(*out, c.blocks), want, what);
        if (c.sources[0].name == "loud.wav") {  // full-scale sources of one sign stop at the limits
            EXPECT_EQ(*std::max_element(want.begin(), want.end()), 32767);
            EXPECT_EQ(*std::min_element(want.begin(), want.end()), -32768);
        }
        out.reset();  // before the streams it reads
    }
}

// Block size, what is queued, the audible position and the end on the mixer's clock.
TEST_F(WavOutTest, QueuesAtMostTwoBlocksAndEndsWhenTheLastIsHeard) {
    EXPECT_EQ(TWavOut(500).BlockSize(), 88200);
    auto out = Mixer(100);
    EXPECT_EQ(out->BlockSize(), 17640);
    DryStream a(10000, 10000), b(10000, 10000), c(10000, 10000);
    const TWaveFormatEx f = Pcm(22050, 8, 1);  // 22.05 bytes a ms
    TWavBuffer* playing = out->AddBuffer(f, a);
    TWavBuffer* neverPlayed = out->AddBuffer(f, b);
    TWavBuffer* paused = out->AddBuffer(f, c);
    ASSERT_TRUE(out->Open(true));

    // Sources that do not play queue nothing.
    paused->Play();
    paused->Pause();
    out->Refill();
    EXPECT_EQ(out->BlockCount(), 0);

    // A mono 22050 Hz 8-bit source fills a block from 2205 bytes; two blocks are queued, however
    // often the mixer refills while none is heard. A source never played is not read.
    playing->Play();
    for (int i = 0; i < 3; ++i) out->Refill();
    EXPECT_EQ(out->BlockCount(), 2);
    EXPECT_EQ(neverPlayed->GetPosition(), 0);
    EXPECT_EQ(paused->GetPosition(), 0);
    // The audible position runs one block behind the reads, catching up with the clock.
    EXPECT_EQ(playing->GetPosition(), 4410 - 2205);
    now += 50;
    EXPECT_EQ(playing->GetPosition(), 4410 - 2205 + 1103);
    now += 151;
    EXPECT_EQ(playing->GetPosition(), 4410);

    // Three more blocks read the stream to its end (the last one short); the end is heard
    // 2 x DelayTime + 10 ms after that fill.
    for (int i = 0; i < 3; ++i) {
        sound.render(Frames(4410));
        out->Refill();
    }
    EXPECT_TRUE(playing->Ended());
    EXPECT_EQ(playing->GetPosition(), 10000 - 2205);
    now += 210;
    EXPECT_FALSE(playing->IsEnd());
    now += 1;
    EXPECT_TRUE(playing->IsEnd());
    playing->Play();
    EXPECT_FALSE(playing->IsEnd());

    // The refill thread queues what is heard again by itself.
    playing->SetPosition(0);
    playing->Repeat = true;
    playing->Play();
    sound.render(Frames(3 * 4410));
    for (int i = 0; i < 5000 && out->BlockCount() < 2; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(out->BlockCount(), 2);
}

// Every rate the sound device plays is converted as the device reads its voices: each output
// frame holds the source frame at or before its moment (one less where the exact moment falls on
// a frame), a quarter of a second lasts as long at 44100 Hz, and the source ends.
TEST_F(WavOutTest, EveryRatePlaysAndEnds) {
    for (uint32_t rate : {8000u, 11025u, 32000u, 48000u, 96000u})
        for (uint16_t bits : {uint16_t(8), uint16_t(16)})
            for (uint16_t channels : {uint16_t(1), uint16_t(2)}) {
                const std::string what = std::to_string(rate) + " Hz " + std::to_string(bits) + " bits " +
                                         std::to_string(channels) + " channels";
                // Frame k holds the level of k on the left and its negative on the right: k + 1 in
                // 16 bits, (k mod 127 + 1) x 256 in 8 bits.
                const auto level = [bits](int64_t k) { return bits == 16 ? k + 1 : (k % 127 + 1) * 256; };
                const int64_t count = rate / 4, heard = (count * 44100 + rate - 1) / rate;
                std::string pcm;
                for (int64_t k = 0; k < count; ++k)
                    for (int c = 0; c < channels; ++c) {
                        const int64_t v = c ? -level(k) : level(k);
                        if (bits == 8) pcm += char(128 + v / 256);
                        else pcm += {char(v & 0xFF), char(v >> 8 & 0xFF)};
                    }
                TMemoryStream stream = StreamOf(pcm);
                auto out = Mixer(100);
                TWavBuffer* buffer = out->AddBuffer(Pcm(rate, bits, channels), stream);
                buffer->Play();
                ASSERT_TRUE(out->Open(true));
                const std::vector<int16_t> played = Played(*out, 4);
                ASSERT_EQ(played.size(), 4u * 4410 * 2) << what;
                for (int64_t i = 0; i < 4 * 4410; ++i) {
                    const int16_t left = played[size_t(2 * i)], right = played[size_t(2 * i + 1)];
                    if (i > heard) {
                        ASSERT_TRUE(left == 0 && right == 0) << what << ": frame " << i;
                        continue;
                    }
                    const int64_t k = i * rate / 44100;
                    ASSERT_TRUE(i >= heard - 1 || left == level(k) || (k > 0 && left == level(k - 1)))
                        << what << ": frame " << i << " is " << left << ", not " << level(k);
                    ASSERT_EQ(right, channels == 2 ? -left : left) << what << ": frame " << i;
                }
                EXPECT_TRUE(buffer->Ended()) << what;
                now += 211;
                EXPECT_TRUE(buffer->IsEnd()) << what;
                out.reset();
            }
}

// A stream whose reads give nothing (or fail) before its stated size ends the fill as the end
// of the stream, repeating or not; positions between frames start at the frame.
TEST_F(WavOutTest, AStreamThatRunsDryEnds) {
    for (const auto& [repeat, fails] : {std::pair{false, false}, {true, false}, {true, true}}) {
        auto out = Mixer(100);
        DryStream dry(100000, 3001, fails);
        TWavBuffer* buffer = out->AddBuffer(Pcm(44100, 16, 2), dry);
        buffer->Repeat = repeat;
        buffer->SetPosition(1);
        buffer->Play();
        ASSERT_TRUE(out->Open(true));
        const std::vector<int16_t> played = Played(*out, 2);
        EXPECT_TRUE(buffer->Ended());
        // 3001 bytes from 0: 750 whole frames, then silence.
        ASSERT_EQ(played.size(), 2u * 4410 * 2);
        EXPECT_EQ(played[0], int16_t(0x0100));
        EXPECT_EQ(played[1499], int16_t(0xB7B6));
        EXPECT_TRUE(std::all_of(played.begin() + 1500, played.end(), [](int16_t s) { return s == 0; }));
    }
}

// Play, pause, gain, position, repeat, removal and new sources from the owner while the refill
// thread mixes and the device plays (checked under ThreadSanitizer).
TEST_F(WavOutTest, OwnerCallsRaceTheRefillThread) {
    auto out = std::make_unique<TWavOut>(100);
    std::vector<std::unique_ptr<DryStream>> streams;
    std::vector<TWavBuffer*> buffers;
    const auto add = [&] {
        streams.push_back(std::make_unique<DryStream>(40000, 40000));
        buffers.push_back(out->AddBuffer(Pcm(44100, 16, 2), *streams.back()));
    };
    for (int i = 0; i < 4; ++i) add();
    ASSERT_TRUE(out->Open(true));
    std::atomic<bool> stop{false};
    std::thread player([&] {
        while (!stop) {
            sound.render(Frames(441));
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    for (int i = 0; i < 400; ++i) {
        TWavBuffer* b = buffers[size_t(i) % buffers.size()];
        switch (i % 7) {
            case 0: b->Play(); break;
            case 1: b->SetGain(i % 257); break;
            case 2: b->Repeat = !b->Repeat; break;
            case 3: b->SetPosition(i * 100); break;
            case 4: EXPECT_GE(b->GetPosition(), 0); break;
            case 5: b->Pause(); break;
            case 6: b->IsEnd(); break;
        }
        if (i % 50 == 49) {
            out->RemoveBuffer(buffers.front());
            buffers.erase(buffers.begin());
            add();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    stop = true;
    player.join();
    out.reset();
}
