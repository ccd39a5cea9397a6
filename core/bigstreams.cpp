#include "core/bigstreams.h"

#include "core/sysutils.h"
#include "platform/fs.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <utility>

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

// The files live windows hold open, by name and part size (a file opened beneath its folder by
// its device and inode, with the part size -1). Never freed: a window may close while the program
// ends.
struct TSharedFile;
struct TOpenedFiles {
    using TKey = std::pair<std::string, int64_t>;
    std::mutex Lock;
    std::map<TKey, std::weak_ptr<TSharedFile>> Files;
};
TOpenedFiles& OpenedFiles() {
    static TOpenedFiles* const opened = new TOpenedFiles;
    return *opened;
}

// A file opened read-only once for every window over it; it takes itself off the opened files
// as it closes.
struct TSharedFile {
    TSharedFile(TOpenedFiles::TKey AKey, std::unique_ptr<TNxBigStream> AFile)
        : Key(std::move(AKey)), File(std::move(AFile)), Size(File->GetSize()) {}
    ~TSharedFile() {
        TOpenedFiles& opened = OpenedFiles();
        std::lock_guard guard(opened.Lock);
        const auto entry = opened.Files.find(Key);
        if (entry != opened.Files.end() && entry->second.expired()) opened.Files.erase(entry);
    }
    const TOpenedFiles::TKey Key;
    std::mutex Lock;  // held for each positioned read
    const std::unique_ptr<TNxBigStream> File;
    const int64_t Size;
};

// A file opened beneath its folder, seen as the one part of a large file.
class TOnePartFile : public TNxBigStream {
public:
    TOnePartFile(const platform::fs::EntryFolder& Entry, const std::string& ShownFile) : file_(Entry, fmOpenRead, ShownFile) {}
    int64_t GetSize() override { return file_.Size(); }
    int64_t GetPosition() override { return file_.Position(); }
    void SetPosition(int64_t Pos) override { file_.SetPosition(Pos); }
    int64_t Read(void* Buffer, int64_t Count) override { return file_.Read(Buffer, Count); }

private:
    TFileStream file_;
};

// The opening of the file of Key that a live window holds, else a new one made by Open.
std::shared_ptr<TSharedFile> OpenSharedFile(const TOpenedFiles::TKey& Key,
                                            const std::function<std::unique_ptr<TNxBigStream>()>& Open) {
    TOpenedFiles& opened = OpenedFiles();
    std::lock_guard guard(opened.Lock);
    const auto entry = opened.Files.try_emplace(Key).first;
    if (std::shared_ptr<TSharedFile> file = entry->second.lock()) return file;
    try {
        auto file = std::make_shared<TSharedFile>(Key, Open());
        entry->second = file;
        return file;
    } catch (...) {
        opened.Files.erase(entry);  // a file that cannot be opened leaves nothing behind
        throw;
    }
}

// One window's read-only view of a shared file, at a position of its own.
class TSharedFileReader : public TStream {
public:
    explicit TSharedFileReader(std::shared_ptr<TSharedFile> File) : file_(std::move(File)) {}
    int64_t Read(void* Buffer, int64_t Count) override {
        std::lock_guard guard(file_->Lock);
        file_->File->SetPosition(position_);
        const int64_t n = file_->File->Read(Buffer, Count);
        position_ += n;
        return n;
    }
    int64_t Write(const void*, int64_t) override { return 0; }
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override {
        const int64_t base = Origin == soBeginning ? 0 : Origin == soCurrent ? position_ : file_->Size;
        return position_ = std::clamp<int64_t>(base + Offset, 0, file_->Size);
    }
    int64_t Size() override { return file_->Size; }

private:
    std::shared_ptr<TSharedFile> file_;
    int64_t position_ = 0;
};

}  // namespace

void TRangeStream::SetSource(TStream& Stream, int64_t Offset, int64_t Size) {
    std::lock_guard guard(lock_);
    source_ = &Stream;
    offset_ = std::max<int64_t>(Offset, 0);
    size_ = std::max<int64_t>(Size != 0 ? Size : Stream.Size() - offset_, 0);
    source_->SetPosition(offset_);
}

void TRangeStream::SetOwnedSource(std::unique_ptr<TStream> Stream, int64_t Offset, int64_t Size) {
    owned_ = std::move(Stream);
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
    const auto open = [&]() -> std::unique_ptr<TNxBigStream> {
        return std::make_unique<TNxBigFileStream>(FileName, fmOpenRead | fmShareDenyWrite, PartSize);
    };
    SetOwnedSource(std::make_unique<TSharedFileReader>(OpenSharedFile({FileName, PartSize}, open)), Offset, Size);
}

TFileRangeStream::TFileRangeStream(const platform::fs::EntryFolder& Entry, const std::string& ShownFile) {
    const std::optional<platform::fs::EntryFolder::Entry> standing = Entry.LookAt();
    const std::string key = standing ? Format("%llu:%llu", static_cast<unsigned long long>(standing->Id.Device),
                                              static_cast<unsigned long long>(standing->Id.Inode))
                                     : ShownFile;
    const auto open = [&]() -> std::unique_ptr<TNxBigStream> { return std::make_unique<TOnePartFile>(Entry, ShownFile); };
    SetOwnedSource(std::make_unique<TSharedFileReader>(OpenSharedFile({key, -1}, open)), 0, 0);
}
