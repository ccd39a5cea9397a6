#pragma once
// The byte streams every stored format is read and written through: the abstract stream,
// a growable memory stream and a host file stream, with their errors.
#include "platform/errors.h"
#include "platform/beneath.h"
#include "platform/fs.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

enum TSeekOrigin { soBeginning, soCurrent, soEnd };

class EStreamError : public EVelaError {
public:
    using EVelaError::EVelaError;
};
// A read that could not deliver the bytes a stored format says are there.
class EReadError : public EStreamError {
public:
    EReadError() : EStreamError("Stream read error") {}
};
class EWriteError : public EStreamError {
public:
    EWriteError() : EStreamError("Stream write error") {}
};
class EFOpenError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
class EFCreateError : public EStreamError {
public:
    using EStreamError::EStreamError;
};

class TStream {
public:
    virtual ~TStream() = default;
    // Move up to Count bytes; the result is the number moved.
    virtual int64_t Read(void* Buffer, int64_t Count) = 0;
    virtual int64_t Write(const void* Buffer, int64_t Count) = 0;
    // Returns the new position.
    virtual int64_t Seek(int64_t Offset, TSeekOrigin Origin) = 0;
    virtual int64_t Size();
    virtual void SetSize(int64_t NewSize);

    int64_t Position() { return Seek(0, soCurrent); }
    void SetPosition(int64_t Pos) { Seek(Pos, soBeginning); }
    // Bytes between the position and the end (0 when positioned beyond it).
    int64_t Remaining();

    // Exactly Count bytes or EReadError / EWriteError.
    void ReadBuffer(void* Buffer, int64_t Count);
    void WriteBuffer(const void* Buffer, int64_t Count);
    // Writes Pieces one after the other, all of them or EWriteError; a file takes them in as few
    // host calls as it can, without their bytes being put together first.
    virtual void WriteBuffers(std::span<const std::span<const std::byte>> Pieces);
};

// An allocator whose elements are left uninitialised when a container makes them without a
// value: room that is written over at once is not cleared first.
template <class T>
struct TUninitialisedAllocator : std::allocator<T> {
    TUninitialisedAllocator() = default;
    template <class U>
    TUninitialisedAllocator(const TUninitialisedAllocator<U>&) noexcept {}
    template <class U>
    void construct(U* At) noexcept {
        ::new (static_cast<void*>(At)) U;
    }
    template <class U, class... TArgs>
    void construct(U* At, TArgs&&... Args) {
        ::new (static_cast<void*>(At)) U(std::forward<TArgs>(Args)...);
    }
};

// The allocator of a memory stream's bytes: uninitialised room, and one freed block of
// kMappedBlock to twice that kept, still charged to the memory budget (which takes it back before
// it refuses anything), for the next stream that needs about as much. A stream made again and
// again (a body fetched each time) then writes pages already in place instead of the host
// faulting in and clearing a fresh mapping each time.
struct TStreamBytesAllocator : TUninitialisedAllocator<uint8_t> {
    template <class U>
    struct rebind {
        static_assert(std::is_same_v<U, uint8_t>);
        using other = TStreamBytesAllocator;
    };
    // The size a block for Bytes is taken at: the kept block's when it holds Bytes with at most
    // half as much again to spare, else Bytes.
    static size_t SizeFor(size_t Bytes);
    uint8_t* allocate(size_t Bytes);
    void deallocate(uint8_t* Block, size_t Bytes) noexcept;
};

class TMemoryStream : public TStream {
public:
    int64_t Read(void* Buffer, int64_t Count) override;
    int64_t Write(const void* Buffer, int64_t Count) override;
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
    int64_t Size() override { return size_; }
    void SetSize(int64_t NewSize) override;

    uint8_t* Memory() { return data_.data(); }
    const uint8_t* Memory() const { return data_.data(); }
    // Room for Bytes in all, so that writes up to there neither move the bytes nor clear room.
    void Reserve(int64_t Bytes);
    // The bytes that can be written at the position before the stream must grow.
    int64_t Room() const;
    // Writes at the position what Fill puts at the start of the Count bytes of room it is handed
    // (the stream grown as Write grows it, the room not cleared first): Fill answers how many it
    // put there, and those are kept as Write would keep them; the rest of the room is left as it
    // was. The count kept.
    int64_t WriteFrom(int64_t Count, const std::function<int64_t(uint8_t* Room, int64_t Count)>& Fill);
    void Clear();
    // Replaces the content with the whole of Source (from its position 0) / writes all of it.
    void LoadFromStream(TStream& Source);
    // Replaces the content with Source's bytes, taken over without a copy; Source is left empty.
    void TakeFrom(TMemoryStream& Source);
    void SaveToStream(TStream& Dest);
    void LoadFromFile(const std::string& FileName);
    void SaveToFile(const std::string& FileName);

private:
    // Holds the bytes up to End, past those held, for a write at the position.
    void HoldUpTo(int64_t End);

    // The bytes written or zeroed so far, room reserved after them.
    std::vector<uint8_t, TStreamBytesAllocator> data_;
    int64_t size_ = 0;
    int64_t position_ = 0;
};

// Open modes: the low nibble is the access, the next nibble the sharing wish (the host does
// not enforce sharing). fmCreate makes a new empty file.
enum : uint16_t {
    fmOpenRead = 0x0000,
    fmOpenWrite = 0x0001,
    fmOpenReadWrite = 0x0002,
    fmShareExclusive = 0x0010,
    fmShareDenyWrite = 0x0020,
    fmShareDenyRead = 0x0030,
    fmShareDenyNone = 0x0040,
    fmCreate = 0xFF00,
};

class TFileStream : public TStream {
public:
    // FileName is a program path (Shift-JIS, Windows form). Raises EFOpenError / EFCreateError
    // naming ShownFile (FileName when empty): the file the caller is making by way of this one.
    TFileStream(const std::string& FileName, uint16_t Mode, const std::string& ShownFile = {});
    // The entry of a folder reached beneath a held folder, ShownFile naming it in errors, and a
    // new file made beside it under a fresh name of its own (platform::fs::HostFile::
    // CreateBeside); FileName() is then the host name in that folder of the file opened.
    struct TNewBeside {};
    TFileStream(const platform::fs::EntryFolder& Folder, uint16_t Mode, const std::string& ShownFile);
    TFileStream(TNewBeside, const platform::fs::EntryFolder& Folder, const std::string& ShownFile);
    int64_t Read(void* Buffer, int64_t Count) override;
    int64_t Write(const void* Buffer, int64_t Count) override;
    void WriteBuffers(std::span<const std::span<const std::byte>> Pieces) override;
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
    int64_t Size() override;
    void SetSize(int64_t NewSize) override;
    void Flush();
    const std::string& FileName() const { return fileName_; }

private:
    std::string fileName_;
    platform::fs::HostFile file_;
};

// Writes the file FileName by way of a new file beside it under a fresh name (nothing that stands
// under any name is removed or written through to make room): Write fills it, it is flushed to the disc
// when a file stands at FileName (the sync keeps its bytes whole through a crash; a new name has
// none to keep) and renamed over FileName. A failure at any step deletes the partial
// file, leaves FileName as it was and raises: EFCreateError naming FileName (never the partial
// file) when the file cannot be made or renamed, else the error of Write or of the flush. Inside
// a TTitleFiles scope the file is the title's, held to its disk budget (core/diskbudget.h).
void WriteFileReplacing(const std::string& FileName, const std::function<void(TStream&)>& Write);
// The same for a place beneath a held folder: the new file is made and renamed in the folder
// reached beneath it (platform::fs::EntryFolder), never through a link, never outside it.
void WriteFileReplacing(const platform::fs::Beneath& Target, const std::function<void(TStream&)>& Write);
