#include "core/zstreams.h"

#include "core/header.h"
#include "core/membudget.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

const char* const kInvalidOperation = "Invalid ZStream operation!";

// zlib counts in 32-bit units; larger requests go through in pieces of this size.
constexpr int64_t kMaxPiece = 1 << 30;

uInt Piece(int64_t Count) { return static_cast<uInt>(std::min(Count, kMaxPiece)); }

// zlib sums what each call inflated after inflating it: the output goes out in pieces that are
// still in the second-level cache when they are summed, not read back from memory after a large
// read (about a tenth of the time of a 64 MiB read). Smaller reads take their bytes from a piece
// of this size inflated ahead.
constexpr int64_t kOutPiece = 256 << 10;

int ZLevel(TCompressionLevel Level) {
    switch (Level) {
        case clNone: return Z_NO_COMPRESSION;
        case clFastest: return Z_BEST_SPEED;
        case clMax: return Z_BEST_COMPRESSION;
        case clDefault: break;
    }
    return Z_DEFAULT_COMPRESSION;
}

}  // namespace

TCustomZStream::TCustomZStream(TStream& Stream) : stream_(Stream), buffer_(new Bytef[kBufferSize]) {}

// ---- TZCompressionStream ----

TZCompressionStream::TZCompressionStream(TStream& Dest, TCompressionLevel Level) : TCustomZStream(Dest) {
    int rc = deflateInit(&z_, ZLevel(Level));
    if (rc < 0) throw EZCompressionError(zError(rc));
    z_.next_out = buffer_.get();
    z_.avail_out = kBufferSize;
}

TZCompressionStream::~TZCompressionStream() {
    if (!finished_) {
        try {
            Finish();
        } catch (...) {
            // Reported only to callers that finish explicitly; a destructor must not throw.
        }
    }
    deflateEnd(&z_);
}

void TZCompressionStream::WriteOutput() {
    stream_.WriteBuffer(buffer_.get(), kBufferSize - z_.avail_out);
    z_.next_out = buffer_.get();
    z_.avail_out = kBufferSize;
}

int64_t TZCompressionStream::Write(const void* Buffer, int64_t Count) {
    if (finished_) throw EZCompressionError(kInvalidOperation);
    auto* in = static_cast<const Bytef*>(Buffer);
    for (int64_t left = Count; left > 0;) {
        z_.next_in = const_cast<Bytef*>(in);
        z_.avail_in = Piece(left);
        in += z_.avail_in;
        left -= z_.avail_in;
        while (z_.avail_in > 0) {
            int rc = deflate(&z_, Z_NO_FLUSH);
            if (rc < 0) throw EZCompressionError(zError(rc));
            if (z_.avail_out == 0) {
                WriteOutput();
                if (OnProgress) OnProgress();
            }
        }
    }
    return std::max<int64_t>(Count, 0);
}

void TZCompressionStream::Finish() {
    if (finished_) return;
    // Marked first: a failure here leaves a stream that cannot be finished or written again.
    finished_ = true;
    int rc;
    do {
        rc = deflate(&z_, Z_FINISH);
        if (rc < 0) throw EZCompressionError(zError(rc));
        if (z_.avail_out == 0 || rc == Z_STREAM_END) WriteOutput();
    } while (rc != Z_STREAM_END);
}

int64_t TZCompressionStream::Read(void*, int64_t) { throw EZCompressionError(kInvalidOperation); }

int64_t TZCompressionStream::Seek(int64_t Offset, TSeekOrigin Origin) {
    if (Offset != 0 || Origin != soCurrent) throw EZCompressionError(kInvalidOperation);
    return static_cast<int64_t>(z_.total_in);
}

// ---- TZDecompressionStream ----

TZDecompressionStream::TZDecompressionStream(TStream& Source)
    : TCustomZStream(Source), start_(Source.Position()), memorySource_(dynamic_cast<TMemoryStream*>(&Source)) {
    int rc = inflateInit(&z_);
    if (rc < 0) throw EZDecompressionError(zError(rc));
}

TZDecompressionStream::~TZDecompressionStream() { inflateEnd(&z_); }

int64_t TZDecompressionStream::Inflate(Bytef* Out, int64_t Count) {
    int64_t done = 0;
    while (done < Count && !ended_) {
        if (z_.avail_in == 0) {
            // A memory source is inflated where it lies.
            const int64_t n = memorySource_ ? std::min(memorySource_->Remaining(), kMaxPiece)
                                            : stream_.Read(buffer_.get(), kBufferSize);
            if (n <= 0) throw EZDecompressionError(zError(Z_BUF_ERROR));  // the source ended first
            if (memorySource_) {
                z_.next_in = memorySource_->Memory() + memorySource_->Position();
                memorySource_->Seek(n, soCurrent);
            } else {
                z_.next_in = buffer_.get();
            }
            z_.avail_in = static_cast<uInt>(n);
        }
        const uInt room = static_cast<uInt>(std::min(Count - done, kOutPiece));
        z_.next_out = Out + done;
        z_.avail_out = room;
        int rc = inflate(&z_, Z_NO_FLUSH);
        done += room - z_.avail_out;
        if (rc == Z_STREAM_END) {
            ended_ = true;
            stream_.Seek(-static_cast<int64_t>(z_.avail_in), soCurrent);
            z_.avail_in = 0;
        } else if (rc != Z_OK) {
            throw EZDecompressionError(zError(rc));
        }
    }
    return done;
}

int64_t TZDecompressionStream::Read(void* Buffer, int64_t Count) {
    auto* out = static_cast<Bytef*>(Buffer);
    const int64_t taken = TakeAhead(out, Count);
    if (taken == Count || ended_) return taken;
    if (Count - taken >= kOutPiece) return taken + Inflate(out + taken, Count - taken);
    if (!ahead_) ahead_ = std::make_unique_for_overwrite<Bytef[]>(size_t(kOutPiece));
    aheadFrom_ = 0;
    aheadTo_ = Inflate(ahead_.get(), kOutPiece);
    return taken + TakeAhead(out + taken, Count - taken);
}

int64_t TZDecompressionStream::TakeAhead(Bytef* Out, int64_t Count) {
    const int64_t n = std::clamp<int64_t>(Count, 0, aheadTo_ - aheadFrom_);
    std::copy_n(ahead_.get() + aheadFrom_, n, Out);
    aheadFrom_ += n;
    return n;
}

int64_t TZDecompressionStream::Write(const void*, int64_t) { throw EZDecompressionError(kInvalidOperation); }

int64_t TZDecompressionStream::Seek(int64_t Offset, TSeekOrigin Origin) {
    if (Offset == 0 && Origin == soBeginning) {
        int rc = inflateReset(&z_);
        if (rc < 0) throw EZDecompressionError(zError(rc));
        z_.avail_in = 0;
        ended_ = false;
        aheadFrom_ = aheadTo_ = 0;
        stream_.SetPosition(start_);
        return 0;
    }
    if (Offset < 0 || Origin != soCurrent) throw EZDecompressionError(kInvalidOperation);
    if (Offset > 0) {
        std::vector<Bytef> discard(static_cast<size_t>(std::min<int64_t>(Offset, kBufferSize)));
        for (int64_t left = Offset; left > 0;) {
            int64_t n = Read(discard.data(), std::min<int64_t>(left, kBufferSize));
            if (n == 0) break;
            left -= n;
        }
    }
    return static_cast<int64_t>(z_.total_out) - (aheadTo_ - aheadFrom_);
}

// ---- Whole-stream routines ----

void CompressStream(TMemoryStream& Stream, TCompressionLevel Level) {
    TMemoryStream packed;
    {
        TZCompressionStream z(packed, Level);
        z.WriteBuffer(Stream.Memory(), Stream.Size());
        z.Finish();
    }
    Stream.Clear();
    CopyStreamData(Stream, packed, 0);
    Stream.SetPosition(0);
}

void DecompressStream(TStream& Source, TStream& Dest) {
    // Inflated in pieces of the reader's own block size: most streams (save records, pages)
    // are far smaller, and a larger piece costs a large buffer for each of them.
    constexpr int64_t kChunk = TCustomZStream::kBufferSize;
    Source.SetPosition(0);
    TZDecompressionStream z(Source);
    // A few stored bytes can stand for a thousand times as many inflated. A memory stream, which
    // takes the inflated bytes straight into its room, is held to the title's memory as it grows;
    // any other (a work file) is held to the same bound while it is written, so that such an
    // entry cannot fill the disk either.
    if (auto* memory = dynamic_cast<TMemoryStream*>(&Dest)) {
        ReadIntoMemory(*memory, z, INT64_MAX, kChunk);
        return;
    }
    std::vector<Bytef> chunk(kChunk);
    int64_t written = 0;
    while (int64_t n = z.Read(chunk.data(), kChunk)) {
        if ((written += n) > MemoryLimit()) throw EInflatedTooLarge();
        Dest.WriteBuffer(chunk.data(), n);
    }
}

void DecompressMemoryStream(TMemoryStream& Stream) {
    TMemoryStream plain;
    DecompressStream(Stream, plain);
    Stream = std::move(plain);
    Stream.SetPosition(0);
}
