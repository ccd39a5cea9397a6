#include "core/streams.h"

#include "core/diskbudget.h"
#include "core/membudget.h"
#include "core/sysutils.h"
#include "platform/memory.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace {

// From this size a block asks for large pages.
constexpr size_t kLargeBlock = size_t(4) << 20;

// Room for Needed bytes in all, grown geometrically so that many small writes stay linear, from a
// first block that holds a small record (a command's saved state) in one allocation, and the
// whole of a kept block taken when one fits (TStreamBytesAllocator::SizeFor). Only the
// bytes held are copied, in one move (the vector's own growth copies byte by byte for an
// allocator of its own).
template <class TBytes>
void ReserveFor(TBytes& Data, int64_t Needed) {
    const size_t capacity = Data.capacity();
    if (static_cast<uint64_t>(Needed) <= capacity) return;
    TBytes grown;
    const size_t wanted = std::max({static_cast<size_t>(Needed), capacity + capacity / 2, size_t{64}});
    grown.reserve(TStreamBytesAllocator::SizeFor(wanted));
    if (grown.capacity() >= kLargeBlock) platform::PreferLargePages(grown.data(), grown.capacity());
    grown.resize(Data.size());  // not cleared: the held bytes are copied over it
    if (!Data.empty()) std::memcpy(grown.data(), Data.data(), Data.size());
    Data.swap(grown);
}

// Copies N bytes. Records are mostly fields of one to eight bytes: those are copied inline, each
// as at most two overlapping moves, instead of through a library call.
void CopyBytes(uint8_t* To, const uint8_t* From, size_t N) {
    const auto moves = [&]<class TWord>(TWord) {
        TWord head, tail;
        std::memcpy(&head, From, sizeof head);
        std::memcpy(&tail, From + N - sizeof tail, sizeof tail);
        std::memcpy(To, &head, sizeof head);
        std::memcpy(To + N - sizeof tail, &tail, sizeof tail);
    };
    if (N > 16)
        std::memcpy(To, From, N);
    else if (N >= 8)
        moves(uint64_t{});
    else if (N >= 4)
        moves(uint32_t{});
    else
        for (size_t i = 0; i < N; ++i) To[i] = From[i];
}

// The freed block kept for the next stream (TStreamBytesAllocator). Nothing allocates or frees
// while holding its lock, so that the budget may take it back from inside any allocation.
struct TKeptBlock {
    std::mutex lock;
    uint8_t* block = nullptr;
    size_t bytes = 0;
};
TKeptBlock kept;

constexpr size_t kKeptLeast = size_t(kMappedBlock), kKeptMost = 2 * size_t(kMappedBlock);

bool GiveBackKeptBlock() noexcept {
    uint8_t* block;
    size_t bytes;
    {
        const std::lock_guard hold(kept.lock);
        block = std::exchange(kept.block, nullptr);
        bytes = kept.bytes;
    }
    if (block) TUninitialisedAllocator<uint8_t>().deallocate(block, bytes);
    return block != nullptr;
}

}  // namespace

size_t TStreamBytesAllocator::SizeFor(size_t Bytes) {
    if (Bytes + Bytes / 2 < kKeptLeast) return Bytes;
    const std::lock_guard hold(kept.lock);
    return kept.block && kept.bytes >= Bytes && kept.bytes - Bytes <= Bytes / 2 ? kept.bytes : Bytes;
}

uint8_t* TStreamBytesAllocator::allocate(size_t Bytes) {
    if (Bytes >= kKeptLeast) {
        const std::lock_guard hold(kept.lock);
        if (kept.block && kept.bytes == Bytes) return std::exchange(kept.block, nullptr);
    }
    return TUninitialisedAllocator<uint8_t>::allocate(Bytes);
}

void TStreamBytesAllocator::deallocate(uint8_t* Block, size_t Bytes) noexcept {
    if (Bytes >= kKeptLeast && Bytes <= kKeptMost) {
        SetMemoryRelease(GiveBackKeptBlock);
        const std::lock_guard hold(kept.lock);
        if (!kept.block) {
            kept.block = Block;
            kept.bytes = Bytes;
            return;
        }
    }
    TUninitialisedAllocator<uint8_t>::deallocate(Block, Bytes);
}

int64_t TMemoryStream::Read(void* Buffer, int64_t Count) {
    if (Count <= 0 || position_ < 0 || position_ >= size_) return 0;
    int64_t n = std::min(Count, size_ - position_);
    CopyBytes(static_cast<uint8_t*>(Buffer), data_.data() + position_, static_cast<size_t>(n));
    position_ += n;
    return n;
}

int64_t TMemoryStream::Write(const void* Buffer, int64_t Count) {
    if (Count <= 0 || position_ < 0) return 0;
    const int64_t end = position_ + Count;
    if (end > int64_t(data_.size())) HoldUpTo(end);
    CopyBytes(data_.data() + position_, static_cast<const uint8_t*>(Buffer), static_cast<size_t>(Count));
    size_ = std::max(size_, end);
    position_ = end;
    return Count;
}

// Past what is held the room is taken without clearing it, for the caller to write; a write
// beyond the end leaves the bytes between as SetSize would.
void TMemoryStream::HoldUpTo(int64_t End) {
    const int64_t held = int64_t(data_.size());
    ReserveFor(data_, End);
    if (position_ > held) data_.resize(static_cast<size_t>(position_), 0);
    data_.resize(static_cast<size_t>(End));
}

int64_t TMemoryStream::Seek(int64_t Offset, TSeekOrigin Origin) {
    switch (Origin) {
        case soBeginning: position_ = Offset; break;
        case soCurrent: position_ += Offset; break;
        case soEnd: position_ = size_ + Offset; break;
    }
    return position_;
}

void TMemoryStream::Reserve(int64_t Bytes) {
    if (Bytes > 0) ReserveFor(data_, Bytes);
}

int64_t TMemoryStream::Room() const {
    return position_ < 0 ? 0 : std::max<int64_t>(int64_t(data_.capacity()) - position_, 0);
}

int64_t TMemoryStream::WriteFrom(int64_t Count, const std::function<int64_t(uint8_t* Room, int64_t Count)>& Fill) {
    if (Count <= 0 || position_ < 0) return 0;
    const size_t held = data_.size();
    if (position_ + Count > int64_t(held)) HoldUpTo(position_ + Count);
    int64_t n = 0;
    try {
        n = std::clamp<int64_t>(Fill(data_.data() + position_, Count), 0, Count);
    } catch (...) {
        data_.resize(held);
        throw;
    }
    // Only the bytes Fill put there are held: whatever else it left in the room never shows.
    data_.resize(n > 0 ? std::max(held, static_cast<size_t>(position_ + n)) : held);
    position_ += n;
    size_ = std::max(size_, position_);
    return n;
}

void TMemoryStream::SetSize(int64_t NewSize) {
    if (NewSize < 0) NewSize = 0;
    if (static_cast<uint64_t>(NewSize) > data_.size()) {
        ReserveFor(data_, NewSize);
        data_.resize(static_cast<size_t>(NewSize), 0);
    }
    size_ = NewSize;
    if (position_ > size_) position_ = size_;
}

void TMemoryStream::Clear() {
    data_.clear();
    data_.shrink_to_fit();
    size_ = 0;
    position_ = 0;
}

void TMemoryStream::LoadFromStream(TStream& Source) {
    Source.SetPosition(0);
    int64_t count = Source.Size();
    SetSize(count);
    position_ = 0;
    if (count != 0) Source.ReadBuffer(data_.data(), count);
}

void TMemoryStream::TakeFrom(TMemoryStream& Source) {
    data_ = std::move(Source.data_);
    size_ = Source.size_;
    position_ = 0;
    Source.Clear();
}

void TMemoryStream::SaveToStream(TStream& Dest) {
    if (size_ != 0) Dest.WriteBuffer(data_.data(), size_);
}

void TMemoryStream::LoadFromFile(const std::string& FileName) {
    TFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(file);
}

void TMemoryStream::SaveToFile(const std::string& FileName) {
    TFileStream file(FileName, fmCreate);
    SaveToStream(file);
}

TFileStream::TFileStream(const std::string& FileName, uint16_t Mode, const std::string& ShownFile)
    : fileName_(FileName) {
    using M = platform::fs::HostFile::Mode;
    auto text = [&](const char* What) {
        const std::string shown = platform::fs::ShownPath(ShownFile.empty() ? FileName : ShownFile);
        return Format("Cannot %s file \"%s\". %s", What, shown.c_str(), file_.ErrorText().c_str());
    };
    if (Mode == fmCreate) {
        if (!file_.Open(FileName, M::Create)) throw EFCreateError(text("create"));
        return;
    }
    M access = (Mode & 3) == fmOpenWrite ? M::Write : (Mode & 3) == fmOpenReadWrite ? M::ReadWrite : M::Read;
    if (!file_.Open(FileName, access)) throw EFOpenError(text("open"));
}

TFileStream::TFileStream(const platform::fs::EntryFolder& Folder, uint16_t Mode, const std::string& ShownFile)
    : fileName_(Folder.Name()) {
    using M = platform::fs::HostFile::Mode;
    const M access = Mode == fmCreate                 ? M::Create
                     : (Mode & 3) == fmOpenWrite     ? M::Write
                     : (Mode & 3) == fmOpenReadWrite ? M::ReadWrite
                                                     : M::Read;
    if (!file_.Open(Folder, access)) {
        const std::string text = Format("Cannot %s file \"%s\". %s", Mode == fmCreate ? "create" : "open",
                                        ShownFile.c_str(), file_.ErrorText().c_str());
        if (Mode == fmCreate) throw EFCreateError(text);
        throw EFOpenError(text);
    }
}

TFileStream::TFileStream(TNewBeside, const platform::fs::EntryFolder& Folder, const std::string& ShownFile) {
    std::optional<std::string> made = file_.CreateBeside(Folder);
    if (!made)
        throw EFCreateError(Format("Cannot create file \"%s\". %s", ShownFile.c_str(), file_.ErrorText().c_str()));
    fileName_ = std::move(*made);
}

int64_t TFileStream::Read(void* Buffer, int64_t Count) {
    if (Count <= 0) return 0;
    int64_t n = file_.Read(Buffer, Count);
    if (n < 0) throw EReadError();
    return n;
}

int64_t TFileStream::Write(const void* Buffer, int64_t Count) {
    if (Count <= 0) return 0;
    int64_t n = file_.Write(Buffer, Count);
    if (n < 0) throw EWriteError();
    return n;
}

void TFileStream::WriteBuffers(std::span<const std::span<const std::byte>> Pieces) {
    if (file_.Write(Pieces) < 0) throw EWriteError();
}

int64_t TFileStream::Seek(int64_t Offset, TSeekOrigin Origin) {
    int whence = Origin == soBeginning ? SEEK_SET : Origin == soCurrent ? SEEK_CUR : SEEK_END;
    int64_t pos = file_.Seek(Offset, whence);
    return pos >= 0 ? pos : file_.Seek(0, SEEK_CUR);
}

int64_t TFileStream::Size() { return file_.Size(); }

void TFileStream::SetSize(int64_t NewSize) {
    if (!file_.Truncate(NewSize)) throw EWriteError();
    if (Position() > NewSize) SetPosition(NewSize);
}

void TFileStream::Flush() {
    if (!file_.Flush()) throw EWriteError();
}

namespace {

// Fills the part file of FileName through Write (a title's file charged to the disk budget) and
// flushes it to the disc when Sync; its size.
int64_t WritePart(TFileStream& File, const std::string& FileName, bool Charged, bool Sync,
                  const std::function<void(TStream&)>& Write) {
    if (Charged) {
        TDiskChargedStream charged(File, FileName);
        Write(charged);
    } else {
        Write(File);
    }
    if (Sync) File.Flush();
    return File.Size();
}

}  // namespace

void WriteFileReplacing(const std::string& FileName, const std::function<void(TStream&)>& Write) {
    const platform::fs::Beneath target{platform::fs::HeldFolder::Open(ExtractFilePath(FileName)), {ExtractFileName(FileName)}};
    if (!target.Root)
        throw EFCreateError(Format("Cannot create file \"%s\". %s", platform::fs::ShownPath(FileName).c_str(),
                                   std::strerror(ENOENT)));
    WriteFileReplacing(target, Write);
}

void WriteFileReplacing(const platform::fs::Beneath& Target, const std::function<void(TStream&)>& Write) {
    const std::string shown = Target.Shown();
    const auto refused = [&](int Code) {
        return EFCreateError(Format("Cannot create file \"%s\". %s", shown.c_str(), std::strerror(Code)));
    };
    int error = 0;
    const std::optional<platform::fs::EntryFolder> folder = platform::fs::EntryFolder::Reach(Target, nullptr, error);
    if (!folder) throw refused(error);
    // The file's key in the disk budget: where it lies on the host, however it was named.
    std::string key = Target.Root->HostPath();
    for (const std::string& part : folder->HostParts()) key += "/" + part;
    const bool charged = WritingTitleFiles();
    const std::optional<platform::fs::EntryFolder::Entry> standing = folder->LookAt();
    std::string part;
    int64_t size = 0;
    {
        TFileStream file(TFileStream::TNewBeside{}, *folder, shown);
        part = file.FileName();
        try {
            size = WritePart(file, key, charged, standing && standing->Regular, Write);
        } catch (...) {
            folder->RemoveName(part);
            throw;
        }
    }
    if (!folder->ReplaceWith(part)) {
        const int why = errno;
        folder->RemoveName(part);
        throw refused(why);
    }
    if (charged) ChargeTitleFile(key, size);
}
