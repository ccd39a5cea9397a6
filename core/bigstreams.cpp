#include "core/bigstreams.h"

#include "core/sysutils.h"
#include "platform/fs.h"

#include <algorithm>
#include <cstring>

namespace {

// The name without its extension: the last "." of the last path component goes, with what
// follows. Double-byte characters are stepped over whole, so a trail byte 0x5C is no separator.
bool IsReadMode(uint16_t Mode) { return Mode != fmCreate && ((Mode & 15) == fmOpenRead || (Mode & 15) == fmOpenReadWrite); }

}  // namespace

// ---- TNxBigFileStream ----

TNxBigFileStream::TNxBigFileStream(const std::string& FileName, uint16_t Mode, int64_t PartSize)
    : fileName_(FileName), mode_(Mode), partSize_(PartSize > 0 ? PartSize : kDefaultPartSize) {
    if (IsReadMode(Mode)) {
        parts_.push_back(std::make_unique<TFileStream>(FileName, Mode));
        for (int n = 1; platform::fs::FileExists(GetPartFileName(n)); ++n)
            parts_.push_back(std::make_unique<TFileStream>(GetPartFileName(n), Mode));
        return;
    }
    for (int n = 0; platform::fs::FileExists(GetPartFileName(n)); ++n) {
        if (!platform::fs::DeleteFile(GetPartFileName(n)))
            throw EFCreateError(Format("Cannot create file \"%s\". The old part cannot be deleted",
                                       platform::fs::ShownPath(GetPartFileName(n)).c_str()));
    }
}

TNxBigFileStream::~TNxBigFileStream() {
    if (!Writable()) return;
    for (auto& part : parts_) {
        try {
            part->Flush();
        } catch (const EStreamError&) {
            // The bytes are with the host already; a failed sync cannot be reported from here.
        }
    }
}

bool TNxBigFileStream::Writable() const {
    return mode_ == fmCreate || (mode_ & 15) == fmOpenWrite || (mode_ & 15) == fmOpenReadWrite;
}

std::string TNxBigFileStream::GetPartFileName(int Index) const {
    if (Index == 0) return fileName_;
    return Format("%s.%.3d", ChangeFileExt(fileName_, "").c_str(), Index);
}

int64_t TNxBigFileStream::GetSize() {
    int64_t size = 0;
    for (auto& part : parts_) size += part->Size();
    return size;
}

void TNxBigFileStream::SetPosition(int64_t Pos) { position_ = std::clamp<int64_t>(Pos, 0, GetSize()); }

template <typename Move>
int64_t TNxBigFileStream::Walk(int64_t Count, bool Writing, Move move) {
    int64_t total = 0;
    while (Count > 0) {
        size_t index = static_cast<size_t>(position_ / partSize_);
        // Writing makes the parts it reaches; reading stops after the last one.
        while (Writing && parts_.size() <= index)
            parts_.push_back(std::make_unique<TFileStream>(GetPartFileName(static_cast<int>(parts_.size())), fmCreate));
        if (index >= parts_.size()) break;
        int64_t offset = position_ % partSize_;
        int64_t room = Writing ? partSize_ - offset : parts_[index]->Size() - offset;
        int64_t n = std::min(room, Count);
        if (n <= 0) break;
        parts_[index]->SetPosition(offset);
        int64_t moved = move(*parts_[index], n);
        total += moved;
        position_ += moved;
        Count -= moved;
        if (moved < n) break;
    }
    return total;
}

int64_t TNxBigFileStream::Write(const void* Buffer, int64_t Count) {
    auto* bytes = static_cast<const uint8_t*>(Buffer);
    return Walk(Count, true, [&](TFileStream& part, int64_t n) {
        int64_t moved = part.Write(bytes, n);
        bytes += moved;
        return moved;
    });
}

int64_t TNxBigFileStream::Read(void* Buffer, int64_t Count) {
    auto* bytes = static_cast<uint8_t*>(Buffer);
    return Walk(Count, false, [&](TFileStream& part, int64_t n) {
        int64_t moved = part.Read(bytes, n);
        bytes += moved;
        return moved;
    });
}

int64_t TNxBigFileStream::CopyFromStream(TStream& Source, int64_t Count) {
    if (Count == 0) {
        Source.SetPosition(0);
        Count = Source.Size();
    }
    return Walk(Count, true, [&](TFileStream& part, int64_t n) { return CopyStreamData(part, Source, n); });
}

int64_t TNxBigFileStream::CopyToStream(TStream& Dest, int64_t Count) {
    return Walk(Count, false, [&](TFileStream& part, int64_t n) { return CopyStreamData(Dest, part, n); });
}

int64_t TNxBigFileStream::CopyFrom(TNxBigStream& Source, int64_t Count) {
    if (Count == 0) {
        Source.SetPosition(0);
        Count = Source.GetSize();
    }
    constexpr int64_t kCopyBufferSize = 1048576;
    std::vector<uint8_t> buffer(static_cast<size_t>(std::clamp<int64_t>(Count, 0, kCopyBufferSize)));
    int64_t copied = 0;
    while (copied < Count) {
        int64_t n = Source.Read(buffer.data(), std::min<int64_t>(kCopyBufferSize, Count - copied));
        if (n <= 0) break;
        int64_t written = Write(buffer.data(), n);
        copied += written;
        if (written < n) break;
    }
    return copied;
}

// ---- TNxBigMemoryStream ----

int64_t TNxBigMemoryStream::CopyFrom(TNxBigStream& Source, int64_t Count) {
    auto* memory = dynamic_cast<TNxBigMemoryStream*>(&Source);
    return memory ? CopyStreamData(memory_, memory->memory_, Count) : 0;
}

int64_t TNxBigMemoryStream::CopyFromStream(TStream& Source, int64_t Count) { return CopyStreamData(memory_, Source, Count); }

int64_t TNxBigMemoryStream::CopyToStream(TStream& Dest, int64_t Count) { return CopyStreamData(Dest, memory_, Count); }

// ---- TNxBuffBigStream ----

TNxBuffBigStream::~TNxBuffBigStream() {
    size_t unread = buffer_.size() - taken_;
    if (unread > 0) source_.SetPosition(source_.GetPosition() - static_cast<int64_t>(unread));
}

bool TNxBuffBigStream::Refill() {
    int64_t n = std::min(kBlockSize, source_.GetSize() - source_.GetPosition());
    buffer_.resize(static_cast<size_t>(std::max<int64_t>(n, 0)));
    taken_ = 0;
    if (n <= 0) return false;
    buffer_.resize(static_cast<size_t>(std::max<int64_t>(source_.Read(buffer_.data(), n), 0)));
    return !buffer_.empty();
}

int64_t TNxBuffBigStream::Read(void* Buffer, int64_t Count) {
    auto* out = static_cast<uint8_t*>(Buffer);
    int64_t done = 0;
    while (done < Count) {
        if (taken_ == buffer_.size() && !Refill()) break;
        size_t n = static_cast<size_t>(std::min<int64_t>(Count - done, static_cast<int64_t>(buffer_.size() - taken_)));
        std::memcpy(out + done, buffer_.data() + taken_, n);
        taken_ += n;
        done += static_cast<int64_t>(n);
    }
    return done;
}

// ---- TRangeStream ----

namespace {
// An owned big stream seen as a read-only platform stream.
class TBigStreamReader : public TStream {
public:
    explicit TBigStreamReader(std::unique_ptr<TNxBigStream> Stream) : stream_(std::move(Stream)) {}
    int64_t Read(void* Buffer, int64_t Count) override { return stream_->Read(Buffer, Count); }
    int64_t Write(const void*, int64_t) override { return 0; }
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override {
        int64_t base = Origin == soBeginning ? 0 : Origin == soCurrent ? stream_->GetPosition() : stream_->GetSize();
        stream_->SetPosition(base + Offset);
        return stream_->GetPosition();
    }
    int64_t Size() override { return stream_->GetSize(); }

private:
    std::unique_ptr<TNxBigStream> stream_;
};
}  // namespace

void TRangeStream::SetSource(TStream& Stream, int64_t Offset, int64_t Size) {
    std::lock_guard guard(lock_);
    source_ = &Stream;
    offset_ = std::max<int64_t>(Offset, 0);
    size_ = std::max<int64_t>(Size != 0 ? Size : Stream.Size() - offset_, 0);
    source_->SetPosition(offset_);
}

void TRangeStream::SetBigSource(std::unique_ptr<TNxBigStream> Stream, int64_t Offset, int64_t Size) {
    owned_ = std::make_unique<TBigStreamReader>(std::move(Stream));
    SetSource(*owned_, Offset, Size);
}

int64_t TRangeStream::Read(void* Buffer, int64_t Count) {
    std::lock_guard guard(lock_);
    if (!source_) return 0;
    int64_t n = std::min(Count, offset_ + size_ - source_->Position());
    return n > 0 ? source_->Read(Buffer, n) : 0;
}

int64_t TRangeStream::Seek(int64_t Offset, TSeekOrigin Origin) {
    std::lock_guard guard(lock_);
    if (!source_) return 0;
    int64_t target = Origin == soBeginning ? offset_ + Offset
                     : Origin == soCurrent ? source_->Position() + Offset
                                           : offset_ + size_ + Offset;
    return source_->Seek(std::clamp(target, offset_, offset_ + size_), soBeginning) - offset_;
}

TFileRangeStream::TFileRangeStream(const std::string& FileName, int64_t Offset, int64_t Size, int64_t PartSize) {
    SetBigSource(std::make_unique<TNxBigFileStream>(FileName, fmOpenRead | fmShareDenyWrite, PartSize), Offset, Size);
}
