// The voice mixer and the parts of the sound device both backends share.
#include "platform/sound.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace platform {

std::shared_ptr<SoundDevice> CreateSdlSoundDevice();  // sound_sdl.cpp

bool PcmFormat::usable() const {
    return (bits == 8 || bits == 16) && (channels == 1 || channels == 2) && rate >= 100 && rate <= 200000;
}

int32_t GainOfLevel(int32_t hundredthsDb) {
    if (hundredthsDb >= 0) return UnityGain;
    if (hundredthsDb <= SilentLevel) return 0;
    return static_cast<int32_t>(std::lround(UnityGain * std::pow(10.0, hundredthsDb / 2000.0)));
}

StereoGain GainOfVolumePan(int32_t volume, int32_t pan) {
    return {GainOfLevel(volume + std::min(0, -pan)), GainOfLevel(volume + std::min(0, pan))};
}

// ---- Rate conversion ----

uint64_t RateStep(uint32_t rate) { return (uint64_t(rate) << 32) / OutputFormat.rate; }

Frames FramesToRead(uint64_t cursor, uint64_t step, Frames count) {
    return Frames(int64_t((uint64_t(count.value) * step + cursor) >> 32) + 1);
}

Frames ResampleFrames(const PcmFormat& format, const uint8_t* data, Frames available, uint64_t& cursor, uint64_t step,
                      int32_t* out, Frames count) {
    const int64_t frameBytes = format.frameBytes().value;
    int64_t i = 0;
    for (; i < count.value; ++i, cursor += step) {
        const int64_t index = int64_t(cursor >> 32);
        if (index >= available.value) break;
        const uint8_t* p = data + index * frameBytes;
        if (format.bits == 8) {
            out[2 * i] = (int32_t(p[0]) - 128) * 256;
            out[2 * i + 1] = format.channels == 2 ? (int32_t(p[1]) - 128) * 256 : out[2 * i];
        } else {
            out[2 * i] = int16_t(uint16_t(p[0] | p[1] << 8));
            out[2 * i + 1] = format.channels == 2 ? int16_t(uint16_t(p[2] | p[3] << 8)) : out[2 * i];
        }
    }
    return Frames(i);
}

Frames DropResampled(const PcmFormat& format, uint8_t* data, Bytes& fill, uint64_t& cursor) {
    const Frames used = std::min(Frames(int64_t(cursor >> 32)), format.framesIn(fill));
    const Bytes usedBytes = format.bytesOf(used);
    std::memmove(data, data + usedBytes.value, size_t((fill - usedBytes).value));
    fill -= usedBytes;
    cursor -= uint64_t(used.value) << 32;
    return used;
}

// ---- Voices ----

struct VoiceState {
    uint32_t id = 0;
    PcmFormat format;
    SoundStream* source = nullptr;  // streamed voices
    // A static voice's sound; a streamed voice's pulled bytes not yet played, data[0, fill).
    std::vector<uint8_t> data;
    Bytes fill;
    std::vector<uint8_t> scratch;  // a streamed voice's pull target, used by the refilling thread only
    Bytes want;                    // what the pull in progress asks for
    bool sourceEnded = false;
    bool playing = false, looping = false, ended = false;
    int32_t volume = 0, pan = 0;
    uint32_t frequency = 0;
    StereoGain gain;
    uint64_t cursor = 0;  // 32.32 frames: from the start (static) or from data[0] (streamed)
    int64_t played = 0;   // streamed: frames played
    int pulls = 0;        // pulls in progress
    size_t slot = 0;      // its place among the mixer's voices

    Frames available() const { return format.framesIn(source ? fill : Bytes(int64_t(data.size()))); }
    uint64_t step() const { return RateStep(frequency); }
    // The frames the next Count output frames read.
    Frames framesFor(Frames count) const { return FramesToRead(cursor, step(), count); }
};

namespace {

// Room for the frames a chunk reads at the highest frequency, several times over.
constexpr Frames StreamQueueFrames{16384};

int32_t Scale(int32_t sample, int32_t gain) { return int32_t((int64_t(sample) * gain) >> 16); }

// Adds Count frames of the voice into Out (interleaved stereo, zeroed by the caller) and moves
// it on; a static voice that reaches its end loops or stops, a streamed voice stops at the end
// of its stream and otherwise waits for more.
void MixVoice(VoiceState& v, int32_t* out, int64_t count) {
    const Frames available = v.available();
    const uint64_t step = v.step();
    int64_t made = 0;
    for (;;) {
        made += ResampleFrames(v.format, v.data.data(), available, v.cursor, step, out + 2 * made, Frames(count - made)).value;
        if (made == count) break;
        if (!v.source && v.looping) {
            const uint64_t index = v.cursor >> 32;
            v.cursor -= (index / uint64_t(available.value) * uint64_t(available.value)) << 32;
            continue;
        }
        if (!v.source || v.sourceEnded) {
            v.playing = false;
            v.ended = true;
            if (!v.source) v.cursor = 0;
        }
        break;
    }
    for (int64_t i = 0; i < made; ++i) {
        out[2 * i] = Scale(out[2 * i], v.gain.left);
        out[2 * i + 1] = Scale(out[2 * i + 1], v.gain.right);
    }
    if (v.source) v.played += DropResampled(v.format, v.data.data(), v.fill, v.cursor).value;
}

}  // namespace

SoundVoice::SoundVoice(Mixer& mixer, std::unique_ptr<VoiceState> state) : mixer_(mixer), state_(std::move(state)) {
    mixer_.add(state_.get());
}

SoundVoice::~SoundVoice() { mixer_.remove(state_.get()); }

uint32_t SoundVoice::id() const { return state_->id; }
const PcmFormat& SoundVoice::format() const { return state_->format; }

void SoundVoice::play(bool loop) {
    std::lock_guard lock(mixer_.mutex_);
    state_->playing = true;
    state_->looping = loop;
    state_->ended = false;
}

void SoundVoice::stop() {
    std::lock_guard lock(mixer_.mutex_);
    state_->playing = false;
}

bool SoundVoice::playing() const {
    std::lock_guard lock(mixer_.mutex_);
    return state_->playing;
}

bool SoundVoice::ended() const {
    std::lock_guard lock(mixer_.mutex_);
    return state_->ended;
}

void SoundVoice::setVolume(int32_t hundredthsDb) {
    std::lock_guard lock(mixer_.mutex_);
    state_->volume = std::clamp(hundredthsDb, SilentLevel, 0);
    state_->gain = GainOfVolumePan(state_->volume, state_->pan);
}

int32_t SoundVoice::volume() const {
    std::lock_guard lock(mixer_.mutex_);
    return state_->volume;
}

void SoundVoice::setPan(int32_t pan) {
    std::lock_guard lock(mixer_.mutex_);
    state_->pan = std::clamp(pan, -10000, 10000);
    state_->gain = GainOfVolumePan(state_->volume, state_->pan);
}

int32_t SoundVoice::pan() const {
    std::lock_guard lock(mixer_.mutex_);
    return state_->pan;
}

void SoundVoice::setFrequency(uint32_t hz) {
    std::lock_guard lock(mixer_.mutex_);
    state_->frequency = hz == 0 ? state_->format.rate : std::clamp(hz, 100u, 200000u);
}

uint32_t SoundVoice::frequency() const {
    std::lock_guard lock(mixer_.mutex_);
    return state_->frequency;
}

Bytes StaticVoice::size() const { return Bytes(int64_t(state_->data.size())); }

LockedRegion StaticVoice::lock(Bytes offset, Bytes size) {
    const Bytes whole = this->size();
    if (locked_ || offset < Bytes(0) || offset >= whole) return {};
    if (size <= Bytes(0) || size > whole) size = whole;
    std::lock_guard lock(mixer_.mutex_);
    staging_.resize(size_t(size.value));
    const Bytes first = std::min(size, whole - offset);
    std::memcpy(staging_.data(), state_->data.data() + offset.value, size_t(first.value));
    std::memcpy(staging_.data() + first.value, state_->data.data(), size_t((size - first).value));
    locked_ = true;
    lockOffset_ = offset;
    LockedRegion region{staging_.data(), first, nullptr, size - first};
    if (region.secondSize > Bytes(0)) region.second = staging_.data() + first.value;
    return region;
}

void StaticVoice::unlock() {
    if (!locked_) return;
    const Bytes whole = size(), size(int64_t(staging_.size()));
    const Bytes first = std::min(size, whole - lockOffset_);
    std::lock_guard lock(mixer_.mutex_);
    std::memcpy(state_->data.data() + lockOffset_.value, staging_.data(), size_t(first.value));
    std::memcpy(state_->data.data(), staging_.data() + first.value, size_t((size - first).value));
    locked_ = false;
}

Bytes StaticVoice::position() const {
    std::lock_guard lock(mixer_.mutex_);
    return state_->format.bytesOf(Frames(int64_t(state_->cursor >> 32)));
}

void StaticVoice::setPosition(Bytes offset) {
    std::lock_guard lock(mixer_.mutex_);
    const Frames frame = state_->format.framesIn(std::clamp(offset, Bytes(0), size()));
    state_->cursor = uint64_t(std::min(frame, state_->available() - Frames(1)).value) << 32;
}

Frames StreamVoice::played() const {
    std::lock_guard lock(mixer_.mutex_);
    return Frames(state_->played);
}

void StreamVoice::flush() {
    std::lock_guard lock(mixer_.mutex_);
    state_->fill = Bytes(0);
    state_->cursor = 0;
}

// ---- PcmOut ----

PcmOut::PcmOut(SoundDevice& device) {
    voice_ = device.createStream(OutputFormat, *this);
    voice_->play();
}

PcmOut::~PcmOut() {
    voice_.reset();
    reset();
}

void PcmOut::write(PcmBlock& block) {
    std::lock_guard lock(mutex_);
    block.done_.store(false, std::memory_order_release);
    queue_.push_back(&block);
}

void PcmOut::reset() {
    {
        std::lock_guard lock(mutex_);
        for (PcmBlock* block : queue_) block->done_.store(true, std::memory_order_release);
        queue_.clear();
        offset_ = Bytes(0);
    }
    if (voice_) voice_->flush();
}

SoundStream::Pulled PcmOut::pull(uint8_t* buffer, Bytes capacity) {
    std::lock_guard lock(mutex_);
    Bytes written;
    const Bytes frame = OutputFormat.frameBytes();
    capacity = Bytes(capacity.value / frame.value * frame.value);
    while (!queue_.empty() && written < capacity) {
        PcmBlock& block = *queue_.front();
        const Bytes size = Bytes(block.size.value / frame.value * frame.value);
        const Bytes part = std::min(size - offset_, capacity - written);
        std::memcpy(buffer + written.value, block.data + offset_.value, size_t(part.value));
        written += part;
        offset_ += part;
        if (offset_ >= size) {
            block.done_.store(true, std::memory_order_release);
            queue_.erase(queue_.begin());
            offset_ = Bytes(0);
        }
    }
    return {written, false};
}

// ---- Mixer ----

Mixer::Mixer() : sum_(size_t(OutputFormat.samplesOf(ChunkFrames).value)), voiceSum_(sum_.size()) {}

Mixer::~Mixer() = default;

void Mixer::add(VoiceState* voice) {
    std::lock_guard lock(mutex_);
    voice->id = nextId_++;
    voice->slot = voices_.size();
    voices_.push_back(voice);
}

// The voices are summed, so their order is free: the last takes the place of the one leaving.
void Mixer::remove(VoiceState* voice) {
    std::unique_lock lock(mutex_);
    if (voice->slot < voices_.size() && voices_[voice->slot] == voice) {
        voices_[voice->slot] = voices_.back();
        voices_[voice->slot]->slot = voice->slot;
        voices_.pop_back();
    }
    pullDone_.wait(lock, [voice] { return voice->pulls == 0; });
}

// What a streamed voice still asks for to play the next Count frames: the frames missing, as
// far as its queue has room.
static Bytes Wanted(const VoiceState& v, Frames count) {
    const Frames need = v.framesFor(count), have = v.available();
    if (have >= need) return Bytes(0);
    return std::min(v.format.bytesOf(need - have), Bytes(int64_t(v.data.size())) - v.fill);
}

void Mixer::refillStreams(Frames count) {
    {
        std::lock_guard lock(mutex_);
        pulling_.clear();
        for (VoiceState* v : voices_) {
            if (!v->source || !v->playing || v->sourceEnded) continue;
            v->want = Wanted(*v, count);
            if (v->want <= Bytes(0)) continue;
            ++v->pulls;
            pulling_.push_back(v);
        }
    }
    // Each voice is pulled until it has what it needs, its stream ends, or a pull gives
    // nothing (the stream has nothing yet).
    for (VoiceState* v : pulling_) {
        for (;;) {
            const SoundStream::Pulled got = v->source->pull(v->scratch.data(), v->want);
            std::lock_guard lock(mutex_);
            const Bytes bytes = v->format.bytesOf(v->format.framesIn(std::clamp(got.bytes, Bytes(0), v->want)));
            const Bytes kept = std::min(bytes, Bytes(int64_t(v->data.size())) - v->fill);
            std::memcpy(v->data.data() + v->fill.value, v->scratch.data(), size_t(kept.value));
            v->fill += kept;
            v->sourceEnded = v->sourceEnded || got.end;
            v->want = Wanted(*v, count);
            if (kept <= Bytes(0) || v->sourceEnded || v->want <= Bytes(0)) {
                --v->pulls;
                pullDone_.notify_all();
                break;
            }
        }
    }
}

void Mixer::mix(int16_t* out, Frames count, std::map<uint32_t, std::vector<int16_t>>* record) {
    const int64_t n = std::min(count, ChunkFrames).value, samples = OutputFormat.samplesOf(Frames(n)).value;
    std::lock_guard lock(mutex_);
    std::fill_n(sum_.begin(), samples, 0);
    for (VoiceState* v : voices_) {
        // A voice that does not play adds nothing: only a recording takes its silence.
        if (!v->playing && !record) continue;
        std::fill_n(voiceSum_.begin(), samples, 0);
        if (v->playing) MixVoice(*v, voiceSum_.data(), n);
        for (int64_t i = 0; i < samples; ++i) sum_[i] += voiceSum_[i];
        if (record) {
            std::vector<int16_t>& track = (*record)[v->id];
            for (int64_t i = 0; i < samples; ++i) track.push_back(int16_t(std::clamp(voiceSum_[i], -32768, 32767)));
        }
    }
    for (int64_t i = 0; i < samples; ++i) out[i] = int16_t(std::clamp(sum_[i], -32768, 32767));
}

// ---- Devices ----

std::unique_ptr<StaticVoice> SoundDevice::createStatic(const PcmFormat& format, Bytes size) {
    if (!format.usable() || size <= Bytes(0) || size.value % format.frameBytes().value != 0) return nullptr;
    auto state = std::make_unique<VoiceState>();
    state->format = format;
    state->frequency = format.rate;
    state->data.assign(size_t(size.value), format.bits == 8 ? 0x80 : 0);
    return std::unique_ptr<StaticVoice>(new StaticVoice(mixer_, std::move(state)));
}

std::unique_ptr<StaticVoice> SoundDevice::duplicate(const StaticVoice& voice) {
    auto state = std::make_unique<VoiceState>();
    {
        std::lock_guard lock(mixer_.mutex_);
        state->format = voice.state_->format;
        state->data = voice.state_->data;
    }
    state->frequency = state->format.rate;
    return std::unique_ptr<StaticVoice>(new StaticVoice(mixer_, std::move(state)));
}

std::unique_ptr<StreamVoice> SoundDevice::createStream(const PcmFormat& format, SoundStream& source) {
    if (!format.usable()) return nullptr;
    auto state = std::make_unique<VoiceState>();
    state->format = format;
    state->frequency = format.rate;
    state->source = &source;
    state->data.resize(size_t(format.bytesOf(StreamQueueFrames).value));
    state->scratch.resize(state->data.size());
    return std::unique_ptr<StreamVoice>(new StreamVoice(mixer_, std::move(state)));
}

void HeadlessSound::render(Frames count) {
    std::vector<int16_t> chunk(size_t(OutputFormat.samplesOf(Mixer::ChunkFrames).value));
    while (count > Frames(0)) {
        const Frames n = std::min(count, Mixer::ChunkFrames);
        mixer_.refillStreams(n);
        mixer_.mix(chunk.data(), n, recordVoices ? &voices : nullptr);
        mixed.insert(mixed.end(), chunk.begin(), chunk.begin() + OutputFormat.samplesOf(n).value);
        count -= n;
    }
    const size_t keep = size_t(OutputFormat.samplesOf(keepFrames).value);
    const auto trim = [keep](std::vector<int16_t>& samples) {
        if (keep > 0 && samples.size() >= 2 * keep) samples.erase(samples.begin(), samples.end() - ptrdiff_t(keep));
    };
    trim(mixed);
    for (auto& voice : voices) trim(voice.second);
}

void HeadlessSound::advance(uint32_t ms) {
    msRest_ += int64_t(ms) * OutputFormat.rate;
    render(Frames(msRest_ / 1000));
    msRest_ %= 1000;
}

FedSound::~FedSound() { stopRefill(); }

void FedSound::consume(int16_t* out, Frames count) noexcept {
    const int64_t read = read_.load(std::memory_order_relaxed);
    const int64_t ready = std::min(count.value, written_.load(std::memory_order_acquire) - read);
    for (int64_t i = 0; i < ready; ++i) {
        const int64_t at = ((read + i) & (RingFrames - 1)) * 2;
        out[2 * i] = ring_[size_t(at)];
        out[2 * i + 1] = ring_[size_t(at + 1)];
    }
    std::fill(out + ready * 2, out + count.value * 2, int16_t(0));
    read_.store(read + ready, std::memory_order_release);
}

void FedSound::startRefill() { thread_ = std::thread([this] { refillLoop(); }); }

void FedSound::stopRefill() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard lock(threadMutex_);
        quit_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void FedSound::refillLoop() {
    std::vector<int16_t> chunk(size_t(OutputFormat.samplesOf(Mixer::ChunkFrames).value));
    std::unique_lock lock(threadMutex_);
    while (!quit_) {
        lock.unlock();
        for (;;) {
            const int64_t written = written_.load(std::memory_order_relaxed);
            const Frames ahead(written - read_.load(std::memory_order_acquire));
            if (ahead >= AheadFrames) break;
            const Frames n = std::min(Mixer::ChunkFrames, AheadFrames - ahead);
            mixer_.refillStreams(n);
            mixer_.mix(chunk.data(), n);
            for (int64_t i = 0; i < n.value; ++i) {
                const int64_t at = ((written + i) & (RingFrames - 1)) * 2;
                ring_[size_t(at)] = chunk[size_t(2 * i)];
                ring_[size_t(at + 1)] = chunk[size_t(2 * i + 1)];
            }
            written_.store(written + n.value, std::memory_order_release);
        }
        lock.lock();
        wake_.wait_for(lock, std::chrono::milliseconds(RefillPeriodMs), [this] { return quit_; });
    }
}

namespace {

std::mutex DeviceMutex;
std::weak_ptr<SoundDevice> TheDevice;

bool EnvironmentSet(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

// A driver asked for is always opened; else a headless run, or a machine without a desktop
// session (so without a sound server of the user's), has no device.
bool Headless() {
    if (EnvironmentSet("SDL_AUDIODRIVER")) return false;
    const char* headless = std::getenv("VELA_HEADLESS");
    return (headless && std::strcmp(headless, "1") == 0) || !(EnvironmentSet("DISPLAY") || EnvironmentSet("WAYLAND_DISPLAY"));
}

}  // namespace

std::shared_ptr<SoundDevice> OpenSoundDevice() {
    std::lock_guard lock(DeviceMutex);
    std::shared_ptr<SoundDevice> device = TheDevice.lock();
    if (device) return device;
    if (!Headless()) device = CreateSdlSoundDevice();
    if (!device) device = std::make_shared<HeadlessSound>();
    TheDevice = device;
    return device;
}

}  // namespace platform
