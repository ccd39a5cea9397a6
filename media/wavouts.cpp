// The software wave mixer: sources, their conversion to the output format, the block pool and
// the refill thread.
#include "media/wavouts.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <thread>

// Wakes every DelayTime / 4 ms and refills its mixer, until it is freed; a refill in progress
// finishes first.
class TWavOutThread {
public:
    explicit TWavOutThread(TWavOut& Owner) : FOwner(Owner), FThread([this] { Execute(); }) {}
    ~TWavOutThread() {
        {
            std::lock_guard lock(FMutex);
            FSignalled = true;
        }
        FEvent.notify_all();
        FThread.join();
    }
    TWavOutThread(const TWavOutThread&) = delete;
    TWavOutThread& operator=(const TWavOutThread&) = delete;

private:
    void Execute() {
        const auto wait = std::chrono::milliseconds(FOwner.DelayTime() / 4);
        std::unique_lock lock(FMutex);
        while (!FEvent.wait_for(lock, wait, [this] { return FSignalled; })) {
            lock.unlock();
            FOwner.Refill();
            lock.lock();
        }
    }

    TWavOut& FOwner;
    std::mutex FMutex;
    std::condition_variable FEvent;
    bool FSignalled = false;
    std::thread FThread;  // last: starts once the rest is made
};

// ---- TWavBuffer ----

TWavBuffer::TWavBuffer(TWavOut& Owner, const TWaveFormatEx& Format, TStream& Stream)
    : FOwner(Owner),
      FFormat(Format),
      FPcm{Format.nSamplesPerSec, Format.wBitsPerSample, Format.nChannels},
      FStream(Stream),
      FBuffer(size_t(Owner.BlockSize() / 2)) {
    if (!FPcm.usable()) return;
    // The most a block reads: the cursor a block leaves lies within a frame, or within one step
    // after the last frame a stream that ran short gave.
    FStep = platform::RateStep(FPcm.rate);
    const uint64_t cursor = std::max<uint64_t>(FStep, uint64_t(1) << 32);
    FRead.resize(size_t(FPcm.bytesOf(platform::FramesToRead(cursor, FStep, OutputFrames())).value));
}

void TWavBuffer::Play() {
    std::lock_guard lock(FOwner.FLock);
    FStarted = true;
    FPaused = false;
    FEnded = false;
    FOwner.FActive.emplace(FNumber, this);
}

void TWavBuffer::Pause() {
    std::lock_guard lock(FOwner.FLock);
    FPaused = true;
    FOwner.FActive.erase(FNumber);
}

void TWavBuffer::SetPosition(int64_t Value) {
    std::lock_guard lock(FOwner.FLock);
    FPosition = FrameStart(std::max<int64_t>(Value, 0));
    FHeld = platform::Bytes(0);
    FCursor = 0;
}

void TWavBuffer::SetGain(int32_t Value) {
    std::lock_guard lock(FOwner.FLock);
    FGain = std::clamp(Value, 0, 256);
}

int64_t TWavBuffer::GetPosition() {
    std::lock_guard lock(FOwner.FLock);
    const int64_t elapsed = std::max<int64_t>(0, int32_t(FOwner.Clock() - FLastTime));
    const int64_t delay = FOwner.DelayTime();
    if (elapsed > 2 * delay) return FPosition;
    // Source bytes per ms.
    const double rate = double(FFormat.wBitsPerSample) * FFormat.nChannels * FFormat.nSamplesPerSec / 8000;
    const int64_t heard = FPosition - std::llround(rate * double(delay)) + std::llround(rate * double(elapsed));
    return std::clamp<int64_t>(heard, 0, std::max<int64_t>(0, FStream.Size()));
}

bool TWavBuffer::IsEnd() {
    std::lock_guard lock(FOwner.FLock);
    return FEnded && int32_t(FOwner.Clock() - FLastTime) > 2 * FOwner.DelayTime() + 10;
}

bool TWavBuffer::Started() const {
    std::lock_guard lock(FOwner.FLock);
    return FStarted;
}

bool TWavBuffer::Paused() const {
    std::lock_guard lock(FOwner.FLock);
    return FPaused;
}

bool TWavBuffer::Ended() const {
    std::lock_guard lock(FOwner.FLock);
    return FEnded;
}

int64_t TWavBuffer::FrameStart(int64_t Bytes) const {
    const int64_t frame = std::max(1, FFormat.nChannels * FFormat.wBitsPerSample / 8);
    return Bytes - Bytes % frame;
}

platform::Frames TWavBuffer::OutputFrames() const {
    return platform::OutputFormat.framesIn(platform::Bytes(FOwner.BlockSize()));
}

int64_t TWavBuffer::ReadSource(uint8_t* Into, int64_t Count, bool& End) {
    int64_t done = 0;
    bool dry = false;
    try {
        const int64_t size = FStream.Size();
        if (size <= 0) return -1;
        FStream.Seek(FPosition, soBeginning);
        while (done < Count) {
            if (FStream.Position() >= size) {
                if (!Repeat) break;
                // The loop goes on from a whole frame, so channels and bytes stay in step.
                done = FrameStart(done);
                FStream.Seek(FrameStart(std::max<int64_t>(RepeatPosition, 0)), soBeginning);
            }
            const int64_t got = FStream.Read(Into + done, Count - done);
            if (got <= 0) {
                dry = true;
                break;
            }
            done += std::min(got, Count - done);
        }
        FPosition = FStream.Position();
        // A repeating source that ran out just at the end of the block goes on at the next.
        End = dry || (!Repeat && size <= FPosition);
    } catch (const std::exception&) {
        End = true;  // a source that fails ends as one that ran dry
    }
    return done;
}

bool TWavBuffer::Fill(int16_t* Block) {
    if (!FStarted || FPaused || FEnded) return false;
    if (!FPcm.usable()) {
        FEnded = true;
        FLastTime = FOwner.Clock();
        return false;
    }
    // The frames the block's output frames take (the last one's frame is where the rest after
    // it would start), less those the last block left.
    const platform::Frames frames = OutputFrames();
    const platform::Bytes want = FPcm.bytesOf(platform::FramesToRead(FCursor, FStep, frames - platform::Frames(1))) - FHeld;
    bool end = false;
    const int64_t got = ReadSource(FRead.data() + FHeld.value, want.value, end);
    if (got < 0) return false;
    FHeld = FPcm.bytesOf(FPcm.framesIn(FHeld + platform::Bytes(got)));
    const int64_t made =
        platform::ResampleFrames(FPcm, FRead.data(), FPcm.framesIn(FHeld), FCursor, FStep, FBuffer.data(), frames).value;
    platform::DropResampled(FPcm, FRead.data(), FHeld, FCursor);

    const int32_t gain = FGain;
    for (int64_t i = 0; i < 2 * made; ++i) {
        int32_t sample = FBuffer[size_t(i)];
        if (gain < 255) sample = (sample * gain) >> 8;
        Block[i] = int16_t(std::clamp(Block[i] + sample, -32768, 32767));
    }

    FEnded = end;
    FLastTime = FOwner.Clock();
    return true;
}

// ---- TWavOut ----

TWavOut::TWavOut(int32_t DelayTime) : FDelayTime(DelayTime), FBlockSize(DelayTime * 176400 / 1000) {
    FPrimaries.reserve(4);
}

TWavOut::~TWavOut() { Close(); }

bool TWavOut::Open(bool UseDevice) {
    if (FThread) return false;
    if (UseDevice) {
        FDevice = platform::OpenSoundDevice();
        if (!FDevice) return false;
        FWaveOut = std::make_unique<platform::PcmOut>(*FDevice);
    }
    {
        std::lock_guard lock(FLock);
        while (FMemList.size() < 4) FMemList.push_back(std::make_unique<TWavPrimary>(FBlockSize));
    }
    FThread = std::make_unique<TWavOutThread>(*this);
    return true;
}

void TWavOut::Close() {
    // The thread first, outside the lock: a refill in progress waits for it.
    FThread.reset();
    // Marks every queued block done once the device no longer reads it.
    FWaveOut.reset();
    FDevice.reset();
    std::lock_guard lock(FLock);
    FActive.clear();
    FBuffers.clear();
    for (TWavPrimary* block : FPrimaries) block->Used = false;
    FPrimaries.clear();
}

TWavBuffer* TWavOut::AddBuffer(const TWaveFormatEx& Format, TStream& Stream) {
    std::lock_guard lock(FLock);
    auto buffer = std::make_unique<TWavBuffer>(*this, Format, Stream);
    buffer->FNumber = FNextNumber;
    TWavBuffer* added = FBuffers.emplace(FNextNumber, std::move(buffer)).first->second.get();
    ++FNextNumber;
    return added;
}

// A source of another mixer stays.
void TWavOut::RemoveBuffer(TWavBuffer* Buffer) {
    std::lock_guard lock(FLock);
    const auto held = FBuffers.find(Buffer->FNumber);
    if (held == FBuffers.end() || held->second.get() != Buffer) return;
    FActive.erase(Buffer->FNumber);
    FBuffers.erase(held);
}

int32_t TWavOut::BlockCount() const {
    std::lock_guard lock(FLock);
    return int32_t(FPrimaries.size());
}

TWavPrimary* TWavOut::TakeBlock() {
    for (const auto& block : FMemList)
        if (!block->Used) return block->Used = true, block.get();
    FMemList.push_back(std::make_unique<TWavPrimary>(FBlockSize));
    FMemList.back()->Used = true;
    return FMemList.back().get();
}

void TWavOut::Refill() {
    std::lock_guard lock(FLock);
    // A block never queued is done as well (so all of them without a device).
    std::erase_if(FPrimaries, [](TWavPrimary* Block) {
        if (!Block->Header.done()) return false;
        Block->Used = false;
        return true;
    });
    for (int i = 0; i < 2 && FPrimaries.size() < 2 && !FActive.empty(); ++i) {
        TWavPrimary* block = TakeBlock();
        if (Mix(block->Data.data()) && FWaveOut) {
            FWaveOut->write(block->Header);
            FPrimaries.push_back(block);
        } else {
            block->Used = false;
        }
    }
}

bool TWavOut::Mix(int16_t* Block) {
    std::fill_n(Block, FBlockSize / 2, int16_t(0));
    bool used = false;
    // Sources not playing add nothing.
    for (const auto& [number, buffer] : FActive) used = buffer->Fill(Block) || used;
    return used;
}
