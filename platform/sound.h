#pragma once
// The sound device: one output of 44100 Hz, 16-bit stereo PCM, fed by a voice mixer of our own.
//
// A static voice holds its whole sound (written between lock and unlock) and plays it once or
// in a loop; a streamed voice pulls its PCM from its owner's SoundStream on the device's refill
// thread. Every voice has a volume in hundredths of a decibel (0 full, -10000 silent), a pan
// from -10000 (left) to 10000 (right) and a playback frequency (a voice read at another rate
// than the output's takes, for each output frame, the source frame at or before that moment).
// A PcmOut is a streamed voice
// fed by queued blocks, each marked done once the device is finished with its bytes.
//
// The mixer runs on the refill thread, which keeps a lock-free ring of mixed PCM topped up; the
// device's callback only copies ready PCM out of that ring, so it never decodes, allocates or
// waits. Two backends: SDL2 audio and headless (no device: the test runs the same mixer on its
// own clock and reads the PCM it made, mixed and per voice).
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace platform {

// Counts of sound kept apart by type: frames (one moment of every channel), samples (one
// channel's value) and bytes. Conversions go through a PcmFormat.
template <class Tag>
struct SoundCount {
    int64_t value = 0;
    constexpr SoundCount() = default;
    constexpr explicit SoundCount(int64_t v) : value(v) {}
    constexpr SoundCount operator+(SoundCount o) const { return SoundCount(value + o.value); }
    constexpr SoundCount operator-(SoundCount o) const { return SoundCount(value - o.value); }
    constexpr SoundCount& operator+=(SoundCount o) { return value += o.value, *this; }
    constexpr SoundCount& operator-=(SoundCount o) { return value -= o.value, *this; }
    constexpr auto operator<=>(const SoundCount&) const = default;
};
using Frames = SoundCount<struct FramesTag>;
using Samples = SoundCount<struct SamplesTag>;
using Bytes = SoundCount<struct BytesTag>;

// Linear PCM: 8-bit unsigned or 16-bit signed little-endian samples, interleaved channels.
struct PcmFormat {
    uint32_t rate = 44100;
    uint16_t bits = 16;
    uint16_t channels = 2;

    // 8 or 16 bits, 1 or 2 channels, 100..200000 frames per second.
    bool usable() const;
    Bytes frameBytes() const { return Bytes(channels * (bits / 8)); }
    Frames framesIn(Bytes b) const { return Frames(b.value / frameBytes().value); }
    Bytes bytesOf(Frames f) const { return Bytes(f.value * frameBytes().value); }
    Samples samplesOf(Frames f) const { return Samples(f.value * channels); }
    bool operator==(const PcmFormat&) const = default;
};
// What the device plays.
inline constexpr PcmFormat OutputFormat{44100, 16, 2};

// ---- Levels ----
// Gains are 16.16 fixed point: UnityGain leaves a sample as it is.
inline constexpr int32_t UnityGain = 65536;
inline constexpr int32_t SilentLevel = -10000;
// The gain of a level in hundredths of a decibel: 0 and above unity, SilentLevel and below 0,
// else 10^(level / 2000) rounded.
int32_t GainOfLevel(int32_t hundredthsDb);
struct StereoGain {
    int32_t left = UnityGain, right = UnityGain;
    bool operator==(const StereoGain&) const = default;
};
// A voice's gains: the volume on both sides, the side away from the pan lowered by |pan|.
StereoGain GainOfVolumePan(int32_t volume, int32_t pan);

// ---- Rate conversion ----
// Frames read at another rate than the output's: a 32.32 cursor into them moves on by
// RateStep(rate) for each output frame, which takes the frame at or before the cursor.
uint64_t RateStep(uint32_t rate);
// How many frames from the first the next Count output frames read from Cursor on, with the
// one the frame after them starts at.
Frames FramesToRead(uint64_t cursor, uint64_t step, Frames count);
// Makes up to Count output frames (interleaved stereo, in the 16-bit range) from the Available
// frames of Format at Data, from Cursor on, and moves Cursor past them; it stops early at an
// output frame that would take a frame beyond them. Answers the frames made.
Frames ResampleFrames(const PcmFormat& format, const uint8_t* data, Frames available, uint64_t& cursor, uint64_t step,
                      int32_t* out, Frames count);
// Drops the frames Cursor has passed from the front of Data (Fill bytes), moving the rest up
// and Cursor back with them; answers how many were dropped.
Frames DropResampled(const PcmFormat& format, uint8_t* data, Bytes& fill, uint64_t& cursor);

// ---- Voices ----

// What a streamed voice plays. Pull runs on the refill thread (in headless runs on the thread
// that renders); it never runs again once the voice's destructor has returned, and that
// destructor waits for a pull in progress, so the owner must not hold a lock its pull needs
// while it destroys the voice.
class SoundStream {
public:
    virtual ~SoundStream() = default;
    struct Pulled {
        Bytes bytes;       // whole frames written to the buffer
        bool end = false;  // nothing will follow: the voice stops once it has played them
    };
    virtual Pulled pull(uint8_t* buffer, Bytes capacity) = 0;
};

struct VoiceState;
class Mixer;

// The controls every voice has. Any thread may call them.
class SoundVoice {
public:
    SoundVoice(const SoundVoice&) = delete;
    SoundVoice& operator=(const SoundVoice&) = delete;
    // Takes the voice out of the mixer (waiting for a pull in progress).
    virtual ~SoundVoice();

    // A number no other voice of the device has, naming the voice in the headless recording.
    uint32_t id() const;
    const PcmFormat& format() const;
    // Starts (or goes on) from the position; a static voice loops when Loop is set.
    void play(bool loop = false);
    // Stops where it is.
    void stop();
    bool playing() const;
    // True once a voice played to its end without looping (a stream after its last pulled
    // frame); play clears it.
    bool ended() const;
    void setVolume(int32_t hundredthsDb);  // clamped to SilentLevel..0
    int32_t volume() const;
    void setPan(int32_t pan);  // clamped to -10000..10000
    int32_t pan() const;
    // Frames per second read from the voice; 0 sets the format's rate. Clamped to 100..200000.
    void setFrequency(uint32_t hz);
    uint32_t frequency() const;

protected:
    SoundVoice(Mixer& mixer, std::unique_ptr<VoiceState> state);
    Mixer& mixer_;
    std::unique_ptr<VoiceState> state_;
};

// Locked bytes of a static voice: one region, or two when the range wraps past the end.
struct LockedRegion {
    uint8_t* first = nullptr;
    Bytes firstSize;
    uint8_t* second = nullptr;
    Bytes secondSize;
    bool locked() const { return first != nullptr; }
};

class StaticVoice : public SoundVoice {
public:
    Bytes size() const;
    // The bytes of Size bytes from Offset (wrapping at the end; a Size of 0 or past the size
    // means the whole voice). Only one lock may be open: another answers an empty region, as
    // does an Offset outside the voice. What is written reaches the voice at unlock.
    LockedRegion lock(Bytes offset, Bytes size);
    void unlock();
    // The byte the mixer reads next (a multiple of the frame size); the device plays it after
    // what the refill thread has mixed ahead (at most about 70 ms).
    Bytes position() const;
    void setPosition(Bytes offset);

private:
    friend class SoundDevice;
    using SoundVoice::SoundVoice;
    std::vector<uint8_t> staging_;
    Bytes lockOffset_;
    bool locked_ = false;
};

class StreamVoice : public SoundVoice {
public:
    // Frames of the stream played since it was made.
    Frames played() const;
    // Drops what was pulled and not yet played.
    void flush();

private:
    friend class SoundDevice;
    using SoundVoice::SoundVoice;
};

class SoundDevice;

// A block of 44100 Hz 16-bit stereo PCM queued on a PcmOut. Its bytes stay the writer's and
// must stay in place until done: the device has taken them into its voice (they are heard
// within the next few blocks of the device).
struct PcmBlock {
    PcmBlock() = default;
    PcmBlock(const uint8_t* bytes, Bytes count) : data(bytes), size(count) {}
    const uint8_t* data = nullptr;
    Bytes size;
    bool done() const { return done_.load(std::memory_order_acquire); }

private:
    friend class PcmOut;
    std::atomic<bool> done_{true};
};

// The PCM stream out: blocks played one after the other, as queued.
class PcmOut : private SoundStream {
public:
    // Makes its voice on the device and plays it.
    explicit PcmOut(SoundDevice& device);
    ~PcmOut() override;
    // Queues the block (done cleared).
    void write(PcmBlock& block);
    // Marks every queued block done and drops what was not yet played.
    void reset();
    StreamVoice& voice() { return *voice_; }

private:
    Pulled pull(uint8_t* buffer, Bytes capacity) override;
    std::mutex mutex_;
    std::vector<PcmBlock*> queue_;
    Bytes offset_;  // bytes of the first block already pulled
    std::unique_ptr<StreamVoice> voice_;
};

// ---- The device ----

// The voices and how they are summed; shared by both backends.
class Mixer {
public:
    Mixer();
    ~Mixer();
    // Pulls from the streamed voices that need PCM for the next Count frames (the lock is not
    // held while an owner's pull runs).
    void refillStreams(Frames count);
    // Mixes Count frames (at most ChunkFrames) into Out (interleaved stereo). Voices' own
    // contributions go to Record when it is set.
    static constexpr Frames ChunkFrames{1024};
    void mix(int16_t* out, Frames count, std::map<uint32_t, std::vector<int16_t>>* record = nullptr);

private:
    friend class SoundVoice;
    friend class StaticVoice;
    friend class StreamVoice;
    friend class SoundDevice;
    void add(VoiceState* voice);
    // Takes the voice out, once no pull of it runs.
    void remove(VoiceState* voice);
    std::mutex mutex_;
    std::condition_variable pullDone_;  // a voice's pulls in progress went down
    std::vector<VoiceState*> voices_;
    std::vector<VoiceState*> pulling_;  // reused: the voices of one refill
    std::vector<int32_t> sum_, voiceSum_;
    uint32_t nextId_ = 1;
};

class SoundDevice {
public:
    SoundDevice() = default;
    SoundDevice(const SoundDevice&) = delete;
    SoundDevice& operator=(const SoundDevice&) = delete;
    virtual ~SoundDevice() = default;
    virtual bool headless() const = 0;
    // The player's clock moved on by Ms milliseconds: a headless device plays that much, a real
    // one keeps its own time.
    virtual void advance(uint32_t) {}

    // A silent static voice of Size bytes; nullptr for a format that is not usable or a size
    // that is not a positive number of whole frames.
    std::unique_ptr<StaticVoice> createStatic(const PcmFormat& format, Bytes size);
    // A streamed voice reading Source (which must outlive the voice); nullptr for a format that
    // is not usable.
    std::unique_ptr<StreamVoice> createStream(const PcmFormat& format, SoundStream& source);
    // A new stopped static voice holding the bytes and format of Voice, with its own controls.
    std::unique_ptr<StaticVoice> duplicate(const StaticVoice& voice);

protected:
    Mixer mixer_;
};

// The headless backend: the test's clock drives the mixer; everything it made is kept.
class HeadlessSound : public SoundDevice {
public:
    bool headless() const override { return true; }
    // Pulls and mixes Count frames, as the device would play them next.
    void render(Frames count);
    // Renders what Ms more milliseconds of the run play; the fractions of a frame add up.
    void advance(uint32_t ms) override;
    // Every frame rendered so far, interleaved stereo.
    std::vector<int16_t> mixed;
    // Each voice's own contribution (after its gains, before the sum) by voice id, from the
    // first frame rendered while it existed; only while RecordVoices is set.
    bool recordVoices = false;
    std::map<uint32_t, std::vector<int16_t>> voices;
    // Once a recording holds twice this many frames, its oldest are dropped down to this many
    // (0: keep all), so a long run keeps only its last seconds.
    Frames keepFrames{441000};

private:
    int64_t msRest_ = 0;  // frames x 1000 advanced and not yet rendered
};

// A device whose backend takes PCM from a callback on its own thread: the refill thread keeps
// a ring of mixed PCM ahead of it, and the callback takes from the ring without a lock.
class FedSound : public SoundDevice {
public:
    ~FedSound() override;
    bool headless() const override { return false; }
    // The backend's callback: Count frames of mixed PCM into Out, silence for what is not
    // ready. Never allocates or waits.
    void consume(int16_t* out, Frames count) noexcept;

protected:
    // The backend starts the refill thread once its device runs, and stops it before the
    // device closes.
    void startRefill();
    void stopRefill();

private:
    void refillLoop();
    static constexpr int64_t RingFrames = 8192;   // a power of 2
    static constexpr Frames AheadFrames{3072};    // what the refill thread keeps mixed ahead (70 ms)
    static constexpr uint32_t RefillPeriodMs = 5;
    std::vector<int16_t> ring_ = std::vector<int16_t>(RingFrames * 2);
    std::atomic<int64_t> written_{0}, read_{0};  // frames, ever
    std::thread thread_;
    std::mutex threadMutex_;
    std::condition_variable wake_;
    bool quit_ = false;
};

// The program's one sound device, opened at the first call and shared by all its holders; it
// closes when the last one lets go. SDL's driver when SDL_AUDIODRIVER names one; else headless
// when VELA_HEADLESS is "1" or neither DISPLAY nor WAYLAND_DISPLAY is set (no desktop session,
// no sound server); else SDL's default device. When SDL cannot open its device it plays
// silently on its dummy driver (one line on standard error).
std::shared_ptr<SoundDevice> OpenSoundDevice();

}  // namespace platform
