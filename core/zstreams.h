#pragma once
// zlib streams (RFC 1950: header, deflate data, Adler-32) through platform streams: a writer
// that compresses into a destination, a reader that inflates from a source, and the
// whole-stream routines the archive code uses.
#include "core/streams.h"
#include "platform/errors.h"

#include <zlib.h>

#include <cstdint>
#include <functional>
#include <memory>

class EZCompressionError : public EVelaError {
public:
    using EVelaError::EVelaError;
};
class EZDecompressionError : public EVelaError {
public:
    using EVelaError::EVelaError;
};
// Inflated data into a file that would pass the title's memory limit.
class EInflatedTooLarge : public EZDecompressionError {
public:
    EInflatedTooLarge() : EZDecompressionError("inflated data larger than the title's memory") {}
};

// zlib levels 0, 1, Z_DEFAULT_COMPRESSION and 9.
enum TCompressionLevel { clNone, clFastest, clDefault, clMax };

class TCustomZStream : public TStream {
public:
    static constexpr uInt kBufferSize = 65536;

    TCustomZStream(const TCustomZStream&) = delete;
    TCustomZStream& operator=(const TCustomZStream&) = delete;

    // Fires each time a full buffer of compressed bytes has gone to the destination.
    std::function<void()> OnProgress;

protected:
    explicit TCustomZStream(TStream& Stream);

    TStream& stream_;  // not owned
    z_stream z_{};
    std::unique_ptr<Bytef[]> buffer_;
};

// Compresses what is written to it into Dest. Only Seek(0, soCurrent) is supported (the number
// of bytes taken in); reading and other seeks raise EZCompressionError.
class TZCompressionStream : public TCustomZStream {
public:
    TZCompressionStream(TStream& Dest, TCompressionLevel Level = clDefault);
    // Finishes the stream when Finish was not called; a failure is swallowed here, so callers
    // that must know the outcome call Finish themselves.
    ~TZCompressionStream() override;

    // Drives deflate to its end and writes every remaining byte to Dest, which then holds the
    // complete zlib stream. Writing afterwards raises EZCompressionError.
    void Finish();

    int64_t Read(void* Buffer, int64_t Count) override;
    int64_t Write(const void* Buffer, int64_t Count) override;
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;

private:
    void WriteOutput();

    bool finished_ = false;
};

// Inflates the zlib stream that begins at Source's position. Input is read in blocks of 65,536
// bytes, or inflated where it lies in a memory Source (which must not change meanwhile); when
// the zlib stream ends, Source is moved back to the first byte after it and later reads give 0. When Source runs out before the zlib stream ends, or the data is corrupt, Read
// raises EZDecompressionError (zlib's message), so truncated data is never taken for whole.
// Seeking: to 0 from the beginning restarts at the position Source had when this reader was
// made; forward from the current position reads and discards; anything else raises.
class TZDecompressionStream : public TCustomZStream {
public:
    explicit TZDecompressionStream(TStream& Source);
    ~TZDecompressionStream() override;

    int64_t Read(void* Buffer, int64_t Count) override;
    int64_t Write(const void* Buffer, int64_t Count) override;
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;

private:
    int64_t start_;  // Source's position at the start of the zlib stream
    TMemoryStream* memorySource_;  // Source when it is a memory stream, read where its bytes lie
    bool ended_ = false;
    // Inflated bytes not read yet, from..to, for reads smaller than the piece they are inflated
    // in: zlib works out the last 258 bytes of each call's room a symbol at a time and copies up
    // to 32 KiB of each call's output into its window, which small calls pay again and again.
    std::unique_ptr<Bytef[]> ahead_;
    int64_t aheadFrom_ = 0, aheadTo_ = 0;

    // Inflates up to Count bytes into Out, fewer only at the stream's end; how many.
    int64_t Inflate(Bytef* Out, int64_t Count);
    // Up to Count bytes of those inflated ahead into Out; how many.
    int64_t TakeAhead(Bytef* Out, int64_t Count);
};

// Replaces the content of Stream (from position 0) by its zlib stream; Stream is left at 0.
void CompressStream(TMemoryStream& Stream, TCompressionLevel Level);
// Replaces the content of Stream (from position 0) by its inflated data; Stream is left at 0.
// On an error Stream keeps its compressed content.
void DecompressMemoryStream(TMemoryStream& Stream);
// Inflates Source from its position 0 and appends the result to Dest. A memory Dest grows within
// the title's memory budget; any other raises EInflatedTooLarge once it would hold more than the
// budget's limit, Dest then holding the pieces before.
void DecompressStream(TStream& Source, TStream& Dest);
