#include "core/streams.h"

#include "core/diskbudget.h"
#include "core/sysutils.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

int64_t TMemoryStream::Read(void* Buffer, int64_t Count) {
    if (Count <= 0 || position_ < 0 || position_ >= size_) return 0;
    int64_t n = std::min(Count, size_ - position_);
    std::memcpy(Buffer, data_.data() + position_, static_cast<size_t>(n));
    position_ += n;
    return n;
}

int64_t TMemoryStream::Write(const void* Buffer, int64_t Count) {
    if (Count <= 0 || position_ < 0) return 0;
    int64_t end = position_ + Count;
    if (end > size_) SetSize(end);
    std::memcpy(data_.data() + position_, Buffer, static_cast<size_t>(Count));
    position_ = end;
    return Count;
}

int64_t TMemoryStream::Seek(int64_t Offset, TSeekOrigin Origin) {
    switch (Origin) {
        case soBeginning: position_ = Offset; break;
        case soCurrent: position_ += Offset; break;
        case soEnd: position_ = size_ + Offset; break;
    }
    return position_;
}

void TMemoryStream::SetSize(int64_t NewSize) {
    if (NewSize < 0) NewSize = 0;
    if (static_cast<uint64_t>(NewSize) > data_.size()) {
        // Grow geometrically so that many small writes stay linear, from a first block that
        // holds a small record (a command's saved state) in one allocation.
        size_t capacity = std::max({static_cast<size_t>(NewSize), data_.size() + data_.size() / 2, size_t{64}});
        data_.resize(capacity);
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

// The part file Part of FileName written through Write (a title's file charged to the disk
// budget) and flushed; its size.
int64_t WritePart(const std::string& Part, const std::string& FileName, bool Charged,
                  const std::function<void(TStream&)>& Write) {
    TFileStream file(Part, fmCreate, FileName);
    if (Charged) {
        TDiskChargedStream charged(file);
        Write(charged);
    } else {
        Write(file);
    }
    file.Flush();
    return file.Size();
}

}  // namespace

void WriteFileReplacing(const std::string& FileName, const std::function<void(TStream&)>& Write) {
    const std::string part = FileName + ".$$$";
    const bool charged = WritingTitleFiles();
    // One left by a write that was cut off is removed, not written through.
    platform::fs::DeleteFile(part);
    int64_t size = 0;
    try {
        size = WritePart(part, FileName, charged, Write);
    } catch (...) {
        platform::fs::DeleteFile(part);
        throw;
    }
    if (!platform::fs::RenameFile(part, FileName)) {
        platform::fs::DeleteFile(part);
        throw EFCreateError(Format("Cannot create file \"%s\".", platform::fs::ShownPath(FileName).c_str()));
    }
    if (charged) ChargeTitleFile(FileName, size);
}
