#pragma once
// A container read by libavformat through a stream of ours (the player's stream through the
// callbacks, or bytes in memory), for the decoders built on FFmpeg.
#include "core/streams.h"

#include <cstdint>
#include <memory>
#include <vector>

struct AVFormatContext;
struct AVIOContext;

class TAvInput {
public:
    explicit TAvInput(std::unique_ptr<TStream> Source);
    ~TAvInput();
    TAvInput(const TAvInput&) = delete;
    TAvInput& operator=(const TAvInput&) = delete;

    // Opens the container and reads its streams' parameters. Format: libavformat's short name
    // of the only container accepted, or nullptr for any it recognises. False for data it
    // cannot read (without FFmpeg's notes on the player's terminal).
    bool Open(const char* Format);
    AVFormatContext* Context() const { return FFormat; }

private:
    static int ReadBytes(void* Opaque, uint8_t* Buffer, int Size);
    static int64_t SeekBytes(void* Opaque, int64_t Offset, int Whence);

    std::unique_ptr<TStream> FSource;
    AVIOContext* FIo = nullptr;
    AVFormatContext* FFormat = nullptr;
};

// A read-only stream over bytes it keeps.
std::unique_ptr<TStream> BytesStream(std::vector<uint8_t> Bytes);
