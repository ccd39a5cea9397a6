#pragma once
// Streams with 64-bit sizes and positions: a logical file spread over parts of 1 GiB, a memory
// stream seen through the same operations, a read-ahead reader, and read-only windows that
// present part of a stream as an ordinary stream with its own lock.
#include "core/header.h"
#include "core/streams.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// The large-stream field helpers take ordinary streams and store exactly what their twins do.
inline void ReadBigStreamString(TStream& Stream, std::string& S) { ReadStreamString(Stream, S); }
inline std::string ReadBigStreamString(TStream& Stream) { return ReadStreamString(Stream); }
inline void WriteBigStreamString(TStream& Stream, const std::string& S) { WriteStreamString(Stream, S); }
inline int32_t ReadBigStreamInt(TStream& Stream) { return ReadStreamInt(Stream); }
inline void WriteBigStreamInt(TStream& Stream, int32_t Value) { WriteStreamInt(Stream, Value); }
inline uint8_t ReadBigStreamByte(TStream& Stream) { return ReadStreamByte(Stream); }

// A stream with 64-bit size and position. An operation a kind does not support does nothing
// and returns 0.
class TNxBigStream {
public:
    TNxBigStream(const TNxBigStream&) = delete;
    TNxBigStream& operator=(const TNxBigStream&) = delete;
    virtual ~TNxBigStream() = default;

    virtual int64_t GetSize() { return 0; }
    virtual int64_t GetPosition() { return 0; }
    virtual void SetPosition(int64_t) {}
    virtual int64_t Write(const void*, int64_t) { return 0; }
    virtual int64_t Read(void*, int64_t) { return 0; }
    // Count 0 copies the whole source from its position 0; the result is the count copied.
    virtual int64_t CopyFrom(TNxBigStream&, int64_t) { return 0; }
    virtual int64_t CopyFromStream(TStream&, int64_t) { return 0; }
    virtual int64_t CopyToStream(TStream&, int64_t) { return 0; }

protected:
    TNxBigStream() = default;
};

// One logical file over parts: part 0 is the file itself, part n >= 1 is the name without its
// extension followed by ".%.3d" ("game.dat" continues in "game.001", "game.002", ...).
class TNxBigFileStream : public TNxBigStream {
public:
    static constexpr int64_t kDefaultPartSize = 1073741824;  // 1 GiB

    // Read (fmOpenRead) and read/write (fmOpenReadWrite) modes open the existing parts and raise
    // EFOpenError when the file itself cannot be opened; any other mode deletes the existing parts
    // and creates each part when it is first written (EFCreateError when that fails).
    TNxBigFileStream(const std::string& FileName, uint16_t Mode, int64_t PartSize = kDefaultPartSize);
    ~TNxBigFileStream() override;

    int64_t GetSize() override;
    int64_t GetPosition() override { return position_; }
    // Clamped to [0, size].
    void SetPosition(int64_t Pos) override;
    int64_t Write(const void* Buffer, int64_t Count) override;
    int64_t Read(void* Buffer, int64_t Count) override;
    int64_t CopyFrom(TNxBigStream& Source, int64_t Count) override;
    int64_t CopyFromStream(TStream& Source, int64_t Count) override;
    int64_t CopyToStream(TStream& Dest, int64_t Count) override;

    std::string GetPartFileName(int Index) const;
    const std::string& FileName() const { return fileName_; }

private:
    // Walks the parts from the stream's position: each call of move takes up to n bytes of one
    // part, positioned there, and returns the number moved.
    template <typename Move>
    int64_t Walk(int64_t Count, bool Writing, Move move);
    bool Writable() const;

    std::string fileName_;
    uint16_t mode_;
    int64_t partSize_;
    int64_t position_ = 0;
    std::vector<std::unique_ptr<TFileStream>> parts_;
};

// A memory stream seen through the 64-bit operations. Copying between big streams works only
// from another memory kind and copies nothing from any other.
class TNxBigMemoryStream : public TNxBigStream {
public:
    TNxBigMemoryStream() = default;
    int64_t GetSize() override { return memory_.Size(); }
    int64_t GetPosition() override { return memory_.Position(); }
    void SetPosition(int64_t Pos) override { memory_.SetPosition(Pos); }
    int64_t Write(const void* Buffer, int64_t Count) override { return memory_.Write(Buffer, Count); }
    int64_t Read(void* Buffer, int64_t Count) override { return memory_.Read(Buffer, Count); }
    int64_t CopyFrom(TNxBigStream& Source, int64_t Count) override;
    int64_t CopyFromStream(TStream& Source, int64_t Count) override;
    int64_t CopyToStream(TStream& Dest, int64_t Count) override;

    void SaveToFile(const std::string& FileName) { memory_.SaveToFile(FileName); }
    void LoadFromFile(const std::string& FileName) { memory_.LoadFromFile(FileName); }

private:
    TMemoryStream memory_;
};

// Reads its source ahead in blocks of 102,400 bytes so that many small reads become few large
// ones. Freeing it moves the source back over the bytes read ahead but not handed out.
class TNxBuffBigStream : public TNxBigStream {
public:
    static constexpr int64_t kBlockSize = 102400;

    explicit TNxBuffBigStream(TNxBigStream& Source) : source_(Source) {}
    ~TNxBuffBigStream() override;
    int64_t Read(void* Buffer, int64_t Count) override;

private:
    bool Refill();

    TNxBigStream& source_;
    std::vector<uint8_t> buffer_;
    size_t taken_ = 0;  // bytes of buffer_ already handed out
};

// A read-only window [Offset, Offset + Size) of a source stream. Each Read and Seek is one
// atomic step against the source, so one thread may read it while another positions it; the
// source itself must not be used by anything else meanwhile.
class TRangeStream : public TStream {
public:
    TRangeStream() = default;
    TRangeStream(const TRangeStream&) = delete;
    TRangeStream& operator=(const TRangeStream&) = delete;

    // A source the window does not own; it is positioned at Offset. Size 0 means everything
    // from Offset to the source's end.
    void SetSource(TStream& Stream, int64_t Offset, int64_t Size);

    int64_t Read(void* Buffer, int64_t Count) override;
    // Clamped to the window; the result is the position within the window.
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
    int64_t Write(const void*, int64_t) override { return 0; }
    int64_t Size() override { return size_; }

protected:
    // A source the window owns from now on.
    void SetOwnedSource(std::unique_ptr<TStream> Stream, int64_t Offset, int64_t Size);

private:
    std::unique_ptr<TStream> owned_;
    TStream* source_ = nullptr;
    int64_t offset_ = 0;
    int64_t size_ = 0;
    std::mutex lock_;
};

// A window over a large file (all its parts), opened read-only with deny-write sharing.
// Size 0 means everything from Offset to the file's end. The windows over one file (by name and
// part size) share one opening of it while any of them lives, each reading at a position of its
// own: thousands of sounds of an archive hold the descriptors of one.
class TFileRangeStream : public TRangeStream {
public:
    TFileRangeStream(const std::string& FileName, int64_t Offset, int64_t Size,
                     int64_t PartSize = TNxBigFileStream::kDefaultPartSize);
    // The whole file of an entry reached beneath its folder (one part), ShownFile naming it in
    // errors; shared by the file's device and inode.
    TFileRangeStream(const platform::fs::EntryFolder& Entry, const std::string& ShownFile);
};
