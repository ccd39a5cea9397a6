#pragma once
// The buffered streams that the PNG codec reads and writes through: bytes, big-endian words and
// double words over any stream, 64 KiB at a time or straight from a memory stream's memory. No
// error leaves them: a read past the end or a failed write sets a sticky flag, and every later
// call does nothing, so that a codec tests the flags once per chunk. The work is reported in
// stages to a progress operation that may ask to stop.
#include "core/streams.h"
#include "graphics/dib.h"

#include <cstdint>
#include <memory>

constexpr int32_t kGraphicStreamBuffer = 65536;

// The bitmap formats by depth: 1, 4 and 8 bits with a colour table, 15 (5-5-5 in 16 bits), 16
// (5-6-5), 32, and 24 for any other depth. SetBitmapDepth gives Bitmap that format at Width x
// Height (after CheckImageSize); BitmapDepth reads it back.
void SetBitmapDepth(TDIB& Bitmap, int32_t Width, int32_t Height, int32_t Depth);
int32_t BitmapDepth(const TDIB& Bitmap);

// What the reader and the writer share: the sticky Stopped flag and the progress of the work in
// stages. Begin reports 0 percent; a stage spans Share percent of what is left of the 100 (a share
// of 0, or of 100 and more, takes all of it) and reports the percents that Done of its Total makes
// (a total of 0 counts as 1) as they grow; End reports 100. DoProgress gets each report; a true
// result sets Stopped.
class TCustomGraphicStream {
public:
    TCustomGraphicStream() = default;
    virtual ~TCustomGraphicStream() = default;
    TCustomGraphicStream(const TCustomGraphicStream&) = delete;
    TCustomGraphicStream& operator=(const TCustomGraphicStream&) = delete;

    bool Stopped() const { return stopped_; }

protected:
    bool stopped_ = false;

    void Stop() { stopped_ = true; }
    void ProgressBegin();
    void ProgressStage(int64_t Total, int32_t Share);
    void ReportCount(int64_t Done);
    void ProgressEnd();
    virtual bool DoProgress(int32_t Percent);

private:
    int64_t total_ = 1;
    int32_t start_ = 0, span_ = 0, last_ = 0;

    void Report(int32_t Percent);
};

// A reader's stage is measured by its position against its size, or by a counter.
enum class TProgressKind : uint8_t { Position, Counter };

class TCustomBufReadStream : public TCustomGraphicStream {
public:
    // Reads Size bytes of Source from its position (Size < 1: up to its end) through Decode, then
    // leaves Source just after the last byte consumed. A MacBinary header (more than 128 bytes, a
    // 0 first byte and a 0 at offset 74) is skipped first while MacBinaryCheck is on.
    void Open(TStream& Source, int64_t Size);

    // Each gives 0 and does nothing once Stopped or EndReached is set; one that would pass the
    // end sets EndReached. Words and double words are big-endian. ReadBuffer and Skip with a count
    // of 0 set Stopped.
    uint8_t ReadByte();
    uint16_t ReadWord();
    uint32_t ReadDWord();
    int64_t ReadBuffer(void* Dest, int64_t Count);
    void Skip(int64_t Count);

    int64_t Size() const { return size_; }
    int64_t Pos() const { return pos_; }
    bool EndReached() const { return endReached_; }
    bool MacBinaryCheck = true;
    bool MacBinarySkipped() const { return macBinarySkipped_; }

protected:
    virtual void Decode() = 0;

    // A Position stage's total is the size (Total is not used); ReportPosition reports it.
    using TCustomGraphicStream::ProgressStage;
    void ProgressStage(TProgressKind Kind, int64_t Total, int32_t Share);
    void ReportPosition() { ReportCount(pos_); }

private:
    TStream* source_ = nullptr;
    int64_t start_ = 0;  // the source's position at Open
    int64_t size_ = 0;
    int64_t pos_ = 0;
    const uint8_t* read_ = nullptr;
    int64_t buffered_ = 0;  // bytes left at read_
    std::unique_ptr<uint8_t[]> buffer_;  // none when reading straight from a memory stream
    bool endReached_ = false, macBinarySkipped_ = false;

    bool Available(int64_t Count);
    void Refill();
};

// A reader that fills a bitmap (none: the header only) and reports its progress to the bitmap's
// OnProgress.
class TCustomGraphicReadStream : public TCustomBufReadStream {
public:
    // Decodes Size bytes of Source (Size < 1: up to its end) into Bitmap, or only reads the header
    // when Bitmap is null.
    void Load(TDIB* Bitmap, TStream& Source, int64_t Size);

protected:
    TDIB* Bitmap() const { return bitmap_; }
    bool NoBitmap() const { return bitmap_ == nullptr; }
    // The palette of the image being read: blue, green, red, reserved per entry; made on first use.
    TRGBQuadTable& Palette();
    int32_t PaletteCount = 0;
    // The bitmap's OnProgress: starting at 0 percent, ending at 100, running between.
    bool DoProgress(int32_t Percent) override;

private:
    TDIB* bitmap_ = nullptr;
    std::unique_ptr<TRGBQuadTable> palette_;
};

class TCustomBufWriteStream : public TCustomGraphicStream {
public:
    // Writes Bitmap to Target through Encode, then flushes what is buffered.
    void Open(const TDIB& Bitmap, TStream& Target);

    // Nothing is written once Stopped is set; a count of 0 or a target that takes fewer bytes
    // than given sets it. Blocks of fewer than 65,520 bytes are buffered; larger ones go straight
    // to the target.
    void WriteBuffer(const void* Source, int64_t Count);
    void WriteDWord(uint32_t Value);  // most significant byte first
    void Flush();

    int64_t Written() const { return written_; }

protected:
    virtual void Encode() = 0;
    const TDIB& Bitmap() const { return *bitmap_; }

private:
    const TDIB* bitmap_ = nullptr;
    TStream* target_ = nullptr;
    std::unique_ptr<uint8_t[]> buffer_;
    int64_t filled_ = 0;
    int64_t written_ = 0;
};
