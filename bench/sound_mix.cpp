// 16 streamed voices of 44100 Hz 16-bit stereo mixed for 10 s of sound: our mixer on the
// headless device (pulls, queues, gains, saturation) against SDL_MixAudioFormat summing the same
// PCM block by block. BM_RatioToSdl runs both in each iteration: "x_sdl" is our time over SDL's.
#include "platform/clock.h"
#include "platform/sound.h"

#include <SDL.h>
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

namespace {

using platform::Frames;

constexpr int kVoices = 16;
constexpr int64_t kFrames = 441000;
constexpr int64_t kBlock = 1024;

const std::vector<std::vector<int16_t>>& Sounds() {
    static const std::vector<std::vector<int16_t>> sounds = [] {
        std::vector<std::vector<int16_t>> all(kVoices, std::vector<int16_t>(size_t(kFrames) * 2));
        for (int v = 0; v < kVoices; ++v)
            for (size_t i = 0; i < all[v].size(); ++i) all[v][i] = int16_t((i * (v + 3) * 97) % 8192 - 4096);
        return all;
    }();
    return sounds;
}

// Hands out one sound from memory.
class MemoryStream : public platform::SoundStream {
public:
    explicit MemoryStream(const std::vector<int16_t>& sound) : sound_(sound) {}
    Pulled pull(uint8_t* buffer, platform::Bytes capacity) override {
        const int64_t n = std::min<int64_t>(capacity.value, int64_t(sound_.size()) * 2 - at_);
        std::memcpy(buffer, reinterpret_cast<const uint8_t*>(sound_.data()) + at_, size_t(n));
        at_ += n;
        return {platform::Bytes(n), at_ == int64_t(sound_.size()) * 2};
    }

private:
    const std::vector<int16_t>& sound_;
    int64_t at_ = 0;
};

int64_t OurMix() {
    platform::HeadlessSound device;
    device.mixed.reserve(size_t(kFrames) * 2);
    std::vector<std::unique_ptr<MemoryStream>> streams;
    std::vector<std::unique_ptr<platform::StreamVoice>> voices;
    for (int v = 0; v < kVoices; ++v) {
        streams.push_back(std::make_unique<MemoryStream>(Sounds()[v]));
        voices.push_back(device.createStream(platform::OutputFormat, *streams.back()));
        voices.back()->play();
    }
    device.render(Frames(kFrames));
    return device.mixed[size_t(kFrames)];
}

int64_t SdlMix() {
    std::vector<int16_t> out(size_t(kFrames) * 2);
    for (int64_t at = 0; at < kFrames; at += kBlock) {
        const int64_t n = std::min(kBlock, kFrames - at);
        int16_t* block = out.data() + at * 2;
        std::memset(block, 0, size_t(n) * 4);
        for (int v = 0; v < kVoices; ++v)
            SDL_MixAudioFormat(reinterpret_cast<Uint8*>(block), reinterpret_cast<const Uint8*>(Sounds()[v].data() + at * 2),
                               AUDIO_S16SYS, Uint32(n * 4), SDL_MIX_MAXVOLUME);
    }
    return out[size_t(kFrames)];
}

void BM_OurMixer(benchmark::State& State) {
    for (auto _ : State) benchmark::DoNotOptimize(OurMix());
}
BENCHMARK(BM_OurMixer)->Unit(benchmark::kMillisecond);

void BM_SdlMixAudioFormat(benchmark::State& State) {
    for (auto _ : State) benchmark::DoNotOptimize(SdlMix());
}
BENCHMARK(BM_SdlMixAudioFormat)->Unit(benchmark::kMillisecond);

void BM_RatioToSdl(benchmark::State& State) {
    uint64_t ours = 0, sdl = 0;
    bool same = true;
    for (auto _ : State) {
        uint64_t start = platform::ClockNs();
        const int64_t a = OurMix();
        ours += platform::ClockNs() - start;
        start = platform::ClockNs();
        const int64_t b = SdlMix();
        sdl += platform::ClockNs() - start;
        same &= a == b;
    }
    if (!same) State.SkipWithError("different mix");
    State.counters["x_sdl"] = double(ours) / double(sdl);
}
BENCHMARK(BM_RatioToSdl)->Unit(benchmark::kMillisecond);

}  // namespace
