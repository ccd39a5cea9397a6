#pragma once
// The decoders of the library: each turns one sound into linear PCM read in whole frames, with
// its length and exact seeking. A decoder is used by one thread at a time.
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

struct TPcmShape {
    uint32_t rate = 0;
    uint16_t bits = 16;  // 8-bit unsigned or 16-bit signed little-endian
    uint16_t channels = 0;
    int32_t frameBytes() const { return channels * (bits / 8); }
};

class TDecoder {
public:
    virtual ~TDecoder() = default;
    const TPcmShape& Shape() const { return FShape; }
    // Frames of the whole sound, and the frame the next read starts at.
    int64_t Length() const { return FLength; }
    int64_t Position() const { return FPosition; }
    // At most Count frames into Buffer; fewer only at the end of the sound.
    int64_t Read(uint8_t* Buffer, int64_t Count);
    // Goes to Frame (clamped to the sound).
    void Seek(int64_t Frame);
    // Saturates: a stored length can be absurd.
    int64_t MsOf(int64_t Frames) const {
        if (!FShape.rate) return 0;
        const __int128 ms = __int128(Frames) * 1000 / FShape.rate;
        return ms > std::numeric_limits<int64_t>::max() ? std::numeric_limits<int64_t>::max() : int64_t(ms);
    }
    int64_t FramesOfMs(int64_t Ms) const { return Ms * FShape.rate / 1000; }

protected:
    // What Read and Seek do for the format: ReadFrames answers 0 only at the end.
    virtual int64_t ReadFrames(uint8_t* Buffer, int64_t Count) = 0;
    virtual void SeekFrame(int64_t Frame) = 0;
    TPcmShape FShape;
    int64_t FLength = 0;

private:
    int64_t FPosition = 0;
};

// The decoders of a player's stream (read through the callbacks) holding Ogg Vorbis or RIFF
// WAVE with 8- or 16-bit PCM, and of the whole bytes of a Windows Media (ASF) file; nullptr
// for data they cannot decode into 1 or 2 channels.
std::unique_ptr<TDecoder> OpenOggDecoder(void* Stream);
std::unique_ptr<TDecoder> OpenWaveDecoder(void* Stream);
std::unique_ptr<TDecoder> OpenWindowsMediaDecoder(std::vector<uint8_t> Bytes);
