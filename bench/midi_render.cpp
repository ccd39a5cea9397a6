// A three-minute General MIDI song (drums, bass, piano, strings and a melody; 120 beats a minute,
// 90 bars) rendered at 44100 Hz stereo: our sequencer on a fake clock, one timer wake every
// 10 ms, into the synthesiser's voice on the headless sound device, against FluidSynth's own
// player timed by samples and its file renderer writing the same blocks, in the same run.
// BM_RatioToFluidPlayer runs both in each iteration: "x_fluid" is our time per rendered frame
// over the peer's. BM_LoadIntoMidiV loads the song into the file model.
#include "core/streams.h"
#include "media/midiplay.h"
#include "platform/clock.h"
#include "platform/midiout.h"
#include "platform/sound.h"

#include <benchmark/benchmark.h>
#include <fluidsynth.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

// ---- The song ----

void Put32(std::string& Out, uint32_t V) {
    for (int shift = 24; shift >= 0; shift -= 8) Out += char(V >> shift);
}

class Track {
public:
    // An event Delta ticks after the previous one.
    void Event(uint32_t Delta, std::initializer_list<int> Bytes) {
        VarLen(Delta);
        for (int b : Bytes) body_ += char(b);
    }
    // Events at absolute ticks, in any order, sorted on output.
    void At(uint32_t Tick, std::initializer_list<int> Bytes) { timed_.push_back({Tick, order_++, std::vector<int>(Bytes)}); }
    std::string Chunk() {
        std::stable_sort(timed_.begin(), timed_.end(), [](const Timed& a, const Timed& b) {
            return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
        });
        uint32_t last = 0;
        for (const Timed& t : timed_) {
            VarLen(t.tick - last);
            for (int b : t.bytes) body_ += char(b);
            last = t.tick;
        }
        Event(0, {0xFF, 0x2F, 0x00});
        std::string chunk = "MTrk";
        Put32(chunk, uint32_t(body_.size()));
        return chunk + body_;
    }

private:
    struct Timed {
        uint32_t tick;
        int order;
        std::vector<int> bytes;
    };
    void VarLen(uint32_t V) {
        std::string bytes(1, char(V & 0x7F));
        while (V >>= 7) bytes.insert(bytes.begin(), char(0x80 | (V & 0x7F)));
        body_ += bytes;
    }
    std::string body_;
    std::vector<Timed> timed_;
    int order_ = 0;
};

constexpr uint32_t kDivision = 480, kBar = 4 * kDivision;
constexpr int kBars = 90;

void Note(Track& T, int Channel, uint32_t Start, uint32_t Length, int Key, int Velocity) {
    T.At(Start, {0x90 | Channel, Key, Velocity});
    T.At(Start + Length, {0x80 | Channel, Key, 0});
}

const std::string& Song() {
    static const std::string song = [] {
        static const int roots[4] = {48, 45, 41, 43};  // C, A minor, F, G
        Track conductor, drums, bass, piano, strings, melody;
        conductor.Event(0, {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20});
        conductor.Event(0, {0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08});
        struct Part {
            Track* track;
            int channel, program, volume;
        };
        for (const Part& p : {Part{&bass, 1, 33, 110}, Part{&piano, 0, 0, 96}, Part{&strings, 2, 48, 80},
                              Part{&melody, 3, 73, 100}}) {
            p.track->At(0, {0xC0 | p.channel, p.program});
            p.track->At(0, {0xB0 | p.channel, 7, p.volume});
        }
        uint32_t seed = 12345;
        int step = 0;
        for (int bar = 0; bar < kBars; ++bar) {
            const uint32_t at = uint32_t(bar) * kBar;
            const int root = roots[bar % 4];
            for (int e = 0; e < 8; ++e) Note(drums, 9, at + uint32_t(e) * 240, 120, 42, 70);
            for (int beat : {0, 2}) Note(drums, 9, at + uint32_t(beat) * kDivision, 240, 36, 110);
            for (int beat : {1, 3}) Note(drums, 9, at + uint32_t(beat) * kDivision, 240, 38, 100);
            for (int beat = 0; beat < 4; ++beat) Note(bass, 1, at + uint32_t(beat) * kDivision, 440, root - 12 + (beat == 3 ? 7 : 0), 100);
            for (int half = 0; half < 2; ++half)
                for (int k : {12, 16, 19}) Note(piano, 0, at + uint32_t(half) * 2 * kDivision, 900, root + k, 80);
            for (int k : {24, 28, 31}) Note(strings, 2, at, kBar - 20, root + k, 70);
            static const int scale[7] = {0, 2, 4, 5, 7, 9, 11};
            for (int e = 0; e < 8; ++e) {
                seed = seed * 1103515245u + 12345u;
                step = std::clamp(step + int(seed >> 16) % 5 - 2, 0, 13);
                Note(melody, 3, at + uint32_t(e) * 240, 220, 72 + scale[step % 7] + 12 * (step / 7), 90 + int(seed >> 20) % 20);
            }
        }
        std::string file = "MThd";
        Put32(file, 6);
        file += std::string{0, 1, 0, 6, char(kDivision >> 8), char(kDivision & 0xFF)};
        for (Track* t : {&conductor, &drums, &bass, &piano, &strings, &melody}) file += t->Chunk();
        return file;
    }();
    return song;
}

TMemoryStream SongStream() {
    TMemoryStream stream;
    stream.Write(Song().data(), int64_t(Song().size()));
    stream.SetPosition(0);
    return stream;
}

// ---- The two renderings ----

struct Rendered {
    uint64_t ns = 0;
    int64_t frames = 0;
};

Rendered OurRender() {
    auto device = std::make_shared<platform::HeadlessSound>();
    std::shared_ptr<platform::MidiOut> out = platform::CreateSynthMidiOut(device);
    if (!out) return {};
    uint32_t now = 0;
    TMidiPlayV player(out);
    player.Clock = [&now] { return now; };
    player.Sleep = [&now](uint32_t ms) { now += ms; };
    player.Timer().SetInterval(std::numeric_limits<int32_t>::max());
    TMemoryStream song = SongStream();
    player.LoadFromStream(song);
    player.Open(platform::MidiMapper);
    const uint64_t start = platform::ClockNs();
    player.PlayFrom(0, 0, -1);
    uint32_t played = 0;
    while (!player.IsEnd()) {
        now += 10;
        player.Timer().Fire();
        device->advance(10);
        played += 10;
    }
    const uint64_t ns = platform::ClockNs() - start;
    player.Close();
    return {ns, int64_t(played) * 441 / 10};
}

Rendered FluidRender() {
    fluid_settings_t* settings = new_fluid_settings();
    fluid_settings_setnum(settings, "synth.sample-rate", 44100.0);
    fluid_settings_setnum(settings, "synth.gain", double(platform::SynthGain));
    fluid_settings_setstr(settings, "player.timing-source", "sample");
    fluid_settings_setstr(settings, "audio.file.name", "/dev/null");
    fluid_settings_setstr(settings, "audio.file.type", "raw");
    fluid_settings_setstr(settings, "audio.file.format", "s16");
    fluid_synth_t* synth = new_fluid_synth(settings);
    Rendered r;
    if (fluid_synth_sfload(synth, platform::SynthSoundFont().c_str(), 1) != FLUID_FAILED) {
        fluid_player_t* player = new_fluid_player(synth);
        fluid_player_add_mem(player, Song().data(), Song().size());
        fluid_file_renderer_t* renderer = new_fluid_file_renderer(synth);
        int period = 64;
        fluid_settings_getint(settings, "audio.period-size", &period);
        const uint64_t start = platform::ClockNs();
        fluid_player_play(player);
        while (fluid_player_get_status(player) == FLUID_PLAYER_PLAYING) {
            if (fluid_file_renderer_process_block(renderer) != FLUID_OK) break;
            r.frames += period;
        }
        r.ns = platform::ClockNs() - start;
        delete_fluid_file_renderer(renderer);
        delete_fluid_player(player);
    }
    delete_fluid_synth(synth);
    delete_fluid_settings(settings);
    return r;
}

void BM_OurSequencerIntoSynth(benchmark::State& State) {
    for (auto _ : State) benchmark::DoNotOptimize(OurRender());
}
BENCHMARK(BM_OurSequencerIntoSynth)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_FluidPlayer(benchmark::State& State) {
    for (auto _ : State) benchmark::DoNotOptimize(FluidRender());
}
BENCHMARK(BM_FluidPlayer)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_RatioToFluidPlayer(benchmark::State& State) {
    double ours = 0, peer = 0;
    int64_t ourFrames = 0, peerFrames = 0;
    for (auto _ : State) {
        const Rendered a = OurRender(), b = FluidRender();
        ours += double(a.ns), peer += double(b.ns);
        ourFrames += a.frames, peerFrames += b.frames;
    }
    if (ourFrames == 0 || peerFrames == 0) return State.SkipWithError("no sound font");
    State.counters["seconds_ours"] = double(ourFrames) / double(State.iterations()) / 44100;
    State.counters["seconds_fluid"] = double(peerFrames) / double(State.iterations()) / 44100;
    State.counters["x_fluid"] = (ours / double(ourFrames)) / (peer / double(peerFrames));
}
BENCHMARK(BM_RatioToFluidPlayer)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_LoadIntoMidiV(benchmark::State& State) {
    for (auto _ : State) {
        TMidiV model;
        TMemoryStream song = SongStream();
        model.LoadFromStream(song);
        benchmark::DoNotOptimize(model.LengthMs);
    }
    TMidiV model;
    TMemoryStream song = SongStream();
    model.LoadFromStream(song);
    State.counters["events"] = double(model.Events.size());
    State.counters["bytes"] = double(Song().size());
}
BENCHMARK(BM_LoadIntoMidiV)->Unit(benchmark::kMillisecond);

}  // namespace
