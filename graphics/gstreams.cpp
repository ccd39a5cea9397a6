#include "graphics/gstreams.h"

#include <algorithm>
#include <cstring>

void SetBitmapDepth(TDIB& Bitmap, int32_t Width, int32_t Height, int32_t Depth) {
    int32_t bitCount = 24;
    switch (Depth) {
        case 1:
        case 4:
        case 8:
        case 32: bitCount = Depth; break;
        case 15:
        case 16:
            bitCount = 16;
            Bitmap.PixelFormat = MakeDIBColorFormat(5, Depth == 15 ? 5 : 6, 5);
            break;
    }
    if (bitCount == 32) Bitmap.PixelFormat = MakeDIBColorFormat(8, 8, 8);
    CheckImageSize(Width, Height, bitCount);
    Bitmap.SetSize(Width, Height, bitCount);
}

int32_t BitmapDepth(const TDIB& Bitmap) {
    switch (Bitmap.BitCount()) {
        case 1:
        case 4:
        case 8:
        case 32: return Bitmap.BitCount();
        case 16: return Bitmap.NowPixelFormat().GBitCount == 5 ? 15 : 16;
        default: return 24;
    }
}

void TCustomGraphicStream::ProgressBegin() {
    total_ = 1;
    start_ = span_ = last_ = 0;
    Report(0);
}

void TCustomGraphicStream::ProgressStage(int64_t Total, int32_t Share) {
    const int32_t from = start_ + span_, left = 100 - from;
    total_ = std::max<int64_t>(Total, 1);
    start_ = from;
    span_ = Share <= 0 || Share >= 100 ? left : left * Share / 100;
}

void TCustomGraphicStream::ReportCount(int64_t Done) {
    const int64_t percent = start_ + std::clamp<int64_t>(Done, 0, total_) * span_ / total_;
    if (percent <= last_) return;
    last_ = int32_t(percent);
    Report(last_);
}

void TCustomGraphicStream::ProgressEnd() { Report(100); }

bool TCustomGraphicStream::DoProgress(int32_t) { return false; }

void TCustomGraphicStream::Report(int32_t Percent) {
    if (DoProgress(Percent)) stopped_ = true;
}

// Reading.

void TCustomBufReadStream::Open(TStream& Source, int64_t Size) {
    source_ = &Source;
    stopped_ = endReached_ = macBinarySkipped_ = false;
    pos_ = 0;
    start_ = 0;
    int64_t left = 0;
    try {
        start_ = Source.Position();
        left = Source.Remaining();
    } catch (const EStreamError&) {
        Stop();
    }
    size_ = Size < 1 ? left : Size;
    // A memory stream is read where it lies; it cannot give more than it holds.
    if (auto* memory = dynamic_cast<TMemoryStream*>(&Source)) {
        size_ = std::min(size_, left);
        read_ = memory->Memory() + start_;
        buffered_ = size_;
    } else {
        buffer_ = std::make_unique<uint8_t[]>(kGraphicStreamBuffer);
        read_ = buffer_.get();
        buffered_ = 0;
        Refill();
    }
    struct TClose {
        TCustomBufReadStream& Stream;
        ~TClose() {
            try {
                Stream.source_->Seek(Stream.start_ + Stream.pos_, soBeginning);
            } catch (const EStreamError&) {
            }
            Stream.buffer_.reset();
            Stream.read_ = nullptr;
            Stream.buffered_ = 0;
        }
    } close{*this};
    if (MacBinaryCheck && size_ > 128 && Available(75) && read_[0] == 0 && read_[74] == 0) {
        Skip(128);
        macBinarySkipped_ = true;
    }
    Decode();
}

void TCustomBufReadStream::Refill() {
    if (!buffer_) return;
    std::memmove(buffer_.get(), read_, size_t(buffered_));
    read_ = buffer_.get();
    const int64_t wanted = std::min<int64_t>(kGraphicStreamBuffer - buffered_, size_ - pos_ - buffered_);
    if (wanted <= 0) return;
    try {
        buffered_ += std::max<int64_t>(source_->Read(buffer_.get() + buffered_, wanted), 0);
    } catch (const EStreamError&) {
        Stop();
    }
}

// Count bytes stand at read_, or the reader is stopped or at its end.
bool TCustomBufReadStream::Available(int64_t Count) {
    if (stopped_ || endReached_) return false;
    if (pos_ + Count > size_) {
        endReached_ = true;
        return false;
    }
    if (buffered_ < Count) Refill();
    if (buffered_ >= Count) return true;
    endReached_ = true;  // the source ended before its stated size
    return false;
}

uint8_t TCustomBufReadStream::ReadByte() {
    if (!Available(1)) return 0;
    --buffered_;
    ++pos_;
    return *read_++;
}

uint16_t TCustomBufReadStream::ReadWord() {
    if (!Available(2)) return 0;
    const uint16_t value = uint16_t(read_[0] << 8 | read_[1]);
    read_ += 2, buffered_ -= 2, pos_ += 2;
    return value;
}

uint32_t TCustomBufReadStream::ReadDWord() {
    if (!Available(4)) return 0;
    const uint32_t value = uint32_t(read_[0]) << 24 | uint32_t(read_[1]) << 16 | uint32_t(read_[2]) << 8 | read_[3];
    read_ += 4, buffered_ -= 4, pos_ += 4;
    return value;
}

int64_t TCustomBufReadStream::ReadBuffer(void* Dest, int64_t Count) {
    if (stopped_ || endReached_) return 0;
    if (Count <= 0) {
        Stop();
        return 0;
    }
    if (pos_ + Count > size_) {
        endReached_ = true;
        return 0;
    }
    auto* out = static_cast<uint8_t*>(Dest);
    int64_t done = std::min(buffered_, Count);
    std::memcpy(out, read_, size_t(done));
    read_ += done, buffered_ -= done;
    if (done < Count && Count - done >= kGraphicStreamBuffer) {
        // A large rest goes straight from the source into Dest.
        int64_t got = 0;
        try {
            got = std::max<int64_t>(source_->Read(out + done, Count - done), 0);
        } catch (const EStreamError&) {
            Stop();
        }
        done += got;
    }
    while (done < Count && !stopped_) {
        Refill();
        if (buffered_ == 0) break;
        const int64_t part = std::min(buffered_, Count - done);
        std::memcpy(out + done, read_, size_t(part));
        read_ += part, buffered_ -= part, done += part;
    }
    pos_ += done;
    if (done < Count) endReached_ = true;
    return done;
}

void TCustomBufReadStream::Skip(int64_t Count) {
    if (stopped_ || endReached_) return;
    if (Count <= 0) {
        Stop();
        return;
    }
    if (pos_ + Count > size_) {
        endReached_ = true;
        return;
    }
    if (Count <= buffered_) {
        read_ += Count, buffered_ -= Count;
    } else {
        // The source stands just after the buffered bytes.
        try {
            source_->Seek(Count - buffered_, soCurrent);
        } catch (const EStreamError&) {
            Stop();
        }
        read_ = buffer_.get();
        buffered_ = 0;
    }
    pos_ += Count;
}

void TCustomBufReadStream::ProgressStage(TProgressKind Kind, int64_t Total, int32_t Share) {
    ProgressStage(Kind == TProgressKind::Position ? size_ : Total, Share);
}

void TCustomGraphicReadStream::Load(TDIB* Bitmap, TStream& Source, int64_t Size) {
    bitmap_ = Bitmap;
    PaletteCount = 0;
    Open(Source, Size);
}

TRGBQuadTable& TCustomGraphicReadStream::Palette() {
    if (!palette_) palette_ = std::make_unique<TRGBQuadTable>();
    return *palette_;
}

bool TCustomGraphicReadStream::DoProgress(int32_t Percent) {
    if (bitmap_ && bitmap_->OnProgress) {
        const TProgressStage stage = Percent <= 0    ? TProgressStage::psStarting
                                     : Percent >= 100 ? TProgressStage::psEnding
                                                      : TProgressStage::psRunning;
        bitmap_->OnProgress(*bitmap_, stage, uint8_t(std::min(Percent, 100)), false, TRect{0, 0, 0, 0}, "");
    }
    return false;
}

// Writing.

namespace {
constexpr int64_t kLargestBuffered = 65520;  // blocks of this size and more bypass the buffer
}

void TCustomBufWriteStream::Open(const TDIB& Bitmap, TStream& Target) {
    bitmap_ = &Bitmap;
    target_ = &Target;
    buffer_ = std::make_unique<uint8_t[]>(kGraphicStreamBuffer);
    filled_ = written_ = 0;
    stopped_ = false;
    struct TClose {
        TCustomBufWriteStream& Stream;
        ~TClose() { Stream.buffer_.reset(); }
    } close{*this};
    Encode();
    Flush();
}

void TCustomBufWriteStream::WriteBuffer(const void* Source, int64_t Count) {
    if (stopped_) return;
    if (Count <= 0) {
        Stop();
        return;
    }
    if (Count < kLargestBuffered) {
        if (filled_ + Count >= kGraphicStreamBuffer) Flush();
        std::memcpy(buffer_.get() + filled_, Source, size_t(Count));
        filled_ += Count;
        written_ += Count;
        return;
    }
    Flush();
    int64_t put = 0;
    try {
        put = target_->Write(Source, Count);
    } catch (const EStreamError&) {
    }
    if (put != Count) Stop();
    written_ += std::max<int64_t>(put, 0);
}

void TCustomBufWriteStream::WriteDWord(uint32_t Value) {
    const uint8_t bytes[4] = {uint8_t(Value >> 24), uint8_t(Value >> 16), uint8_t(Value >> 8), uint8_t(Value)};
    WriteBuffer(bytes, 4);
}

void TCustomBufWriteStream::Flush() {
    if (stopped_ || filled_ == 0) return;
    int64_t put = 0;
    try {
        put = target_->Write(buffer_.get(), filled_);
    } catch (const EStreamError&) {
    }
    if (put != filled_) Stop();
    filled_ = 0;
}
