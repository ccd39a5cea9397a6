#pragma once
// The software wave mixer: any number of PCM source streams summed into one PCM stream out of
// 44100 Hz, 16-bit stereo, block by block.
//
// TWavOut keeps at most two blocks of DelayTime ms queued on the stream out; its refill thread
// wakes every DelayTime / 4 ms and, when fewer are queued and a source plays, mixes new ones.
// A block is the sum, in registration order, of every source that was started and is not
// paused: each source reads what makes one block, converts it to 44100 Hz 16-bit stereo (at any
// rate, as the sound device converts its voices), scales it by its gain and adds it with 16-bit
// saturation. A source of a format the device cannot play ends at its first block, unheard.
//
// Threads: the owner (add, remove, play, pause, position, gain, repeat) and the refill thread,
// which reads the source streams. Sources, block lists and stream positions are touched only
// under the mixer's lock; the lock is re-entrant, and the refill thread is never waited for
// while it is held.
#include "core/streams.h"
#include "media/wave.h"
#include "platform/clock.h"
#include "platform/sound.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

class TWavOut;
class TWavOutThread;

// One source of the mixer.
class TWavBuffer {
public:
    TWavBuffer(TWavOut& Owner, const TWaveFormatEx& Format, TStream& Stream);
    TWavBuffer(const TWavBuffer&) = delete;
    TWavBuffer& operator=(const TWavBuffer&) = delete;

    // Starts, or goes on from the position after a pause; clears the end.
    void Play();
    void Pause();
    // Bytes of the source stream where the next read starts (taken back to the start of a frame).
    void SetPosition(int64_t Value);
    // 0..256: 256 (and 255) leave the level as it is, 128 halves it.
    void SetGain(int32_t Value);
    // The byte being heard now: the read position less what is queued and not yet played,
    // within 0..the stream's size.
    int64_t GetPosition();
    // The stream ran out (without repeat) and its last block has been heard.
    bool IsEnd();
    bool Started() const;
    bool Paused() const;
    // The last fill reached the end of the stream.
    bool Ended() const;

    // At the end of the stream, reading goes on from RepeatPosition (bytes) while Repeat is set.
    std::atomic<bool> Repeat{false};
    std::atomic<int64_t> RepeatPosition{0};

private:
    friend class TWavOut;
    // Frames of one block of the output.
    platform::Frames OutputFrames() const;
    // Reads, converts and adds one block's worth into Block; false when nothing was added.
    bool Fill(int16_t* Block);
    // Reads up to Count bytes from the position into Into, wrapping when repeating; End tells
    // that the stream is exhausted, or ran dry (or failed) before its stated size. -1 for an
    // empty stream.
    int64_t ReadSource(uint8_t* Into, int64_t Count, bool& End);
    int64_t FrameStart(int64_t Bytes) const;

    TWavOut& FOwner;
    TWaveFormatEx FFormat;
    platform::PcmFormat FPcm;  // the source's samples as the sound device reads them
    TStream& FStream;
    uint64_t FStep = 0;            // source frames per output frame (32.32)
    std::vector<uint8_t> FRead;    // the source frames of one block, read after those held
    platform::Bytes FHeld;         // bytes at the start of FRead that the last block read and left
    uint64_t FCursor = 0;          // 32.32 frames into FRead of the next output frame
    std::vector<int32_t> FBuffer;  // the converted block
    bool FEnded = false;
    uint32_t FLastTime = 0;
    int64_t FPosition = 0;
    int32_t FGain = 256;
    bool FStarted = false, FPaused = false;
    uint64_t FNumber = 0;  // its place in the registration order
};

// A block of the mixer's pool: its samples and the header the stream out marks done once it
// has taken them. Four are made when the mixer opens and reused; more only if ever needed.
struct TWavPrimary {
    explicit TWavPrimary(int32_t BlockSize)
        : Data(size_t(BlockSize / 2)),
          Header(reinterpret_cast<const uint8_t*>(Data.data()), platform::Bytes(BlockSize)) {}
    std::vector<int16_t> Data;
    platform::PcmBlock Header;
    bool Used = false;
};

class TWavOut {
public:
    // DelayTime: the length of a block in ms, 100..500 in steps of 100.
    explicit TWavOut(int32_t DelayTime);
    ~TWavOut();
    TWavOut(const TWavOut&) = delete;
    TWavOut& operator=(const TWavOut&) = delete;

    // Starts the refill thread, with the platform's sound device when UseDevice is set (else
    // blocks are mixed and dropped: sources advance without being heard); false when already open.
    bool Open(bool UseDevice);
    // Stops the device and the thread, then frees every source.
    void Close();

    TWavBuffer* AddBuffer(const TWaveFormatEx& Format, TStream& Stream);
    // Frees the source.
    void RemoveBuffer(TWavBuffer* Buffer);

    // One wake of the refill thread: drops the blocks played, then mixes new ones while fewer
    // than two are queued and a source plays.
    void Refill();

    int32_t DelayTime() const { return FDelayTime; }
    // Bytes of one block: DelayTime ms of the output.
    int32_t BlockSize() const { return FBlockSize; }
    // Blocks queued and not yet played.
    int32_t BlockCount() const;

    // The millisecond clock of positions and ends (read on the refill thread too).
    std::function<uint32_t()> Clock = platform::ClockMs;

private:
    friend class TWavBuffer;
    friend class TWavOutThread;
    // Sums every playing source into Block; whether any added something.
    bool Mix(int16_t* Block);
    // The first free block of the pool, or a new one.
    TWavPrimary* TakeBlock();

    const int32_t FDelayTime, FBlockSize;
    mutable std::recursive_mutex FLock;
    std::shared_ptr<platform::SoundDevice> FDevice;
    std::unique_ptr<platform::PcmOut> FWaveOut;
    // The sources by registration number; those played and not paused again.
    std::map<uint64_t, std::unique_ptr<TWavBuffer>> FBuffers;
    std::map<uint64_t, TWavBuffer*> FActive;
    uint64_t FNextNumber = 0;
    std::vector<TWavPrimary*> FPrimaries;  // queued blocks, oldest first
    std::vector<std::unique_ptr<TWavPrimary>> FMemList;
    std::unique_ptr<TWavOutThread> FThread;
};
