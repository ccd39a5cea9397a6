#include "core/vrfiles.h"

#include "core/header.h"
#include "core/membudget.h"
#include "core/rands.h"
#include "core/sysutils.h"
#include "core/titlename.h"
#include "core/zstreams.h"
#include "platform/fs.h"
#include "platform/placement.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

namespace {

constexpr uint32_t kScrambleSeed = 1362598417;
constexpr char kMagic[2] = {'v', 'f'};
constexpr char kTrailerMark[2] = {'q', 'z'};
constexpr int64_t kTrailerSize = 6;  // int32 index position and the mark
// Entries from memory or from the archive are compressed below this size, disk files too
// unless their extension says otherwise.
constexpr int64_t kCompressLimit = 5242880;
// Extensions stored raw. A substring test, as the table has always been read: ".MP" matches.
constexpr std::string_view kRawExtensions = ".WAV.WMA.OGG.AVI.MPG.MPEG.M1V.WMV.ASF.DAT.";
constexpr int64_t kCrcBlock = 1048576;
// Entries carried over from the archive read are copied in runs of at most this many bytes; a
// larger entry goes through a buffer of this size.
constexpr int64_t kCopyRun = 1048576;
// The Mira version from which the header record is stored, and its compression type of planes
// stored uncompressed.
constexpr int kMiraHeaderVersion = 103;
constexpr uint8_t kMiraUncompressed = 1;

// Whether two program paths name the same host file once resolved.
bool SameHostFile(const std::string& A, const std::string& B) {
    return platform::fs::PlaceInFolder(A, B) == platform::fs::Placement::Same;
}

// ---- Stream helpers ----

template <typename T>
bool ReadValue(TNxBigStream& Stream, T& Value) {
    return Stream.Read(&Value, sizeof Value) == static_cast<int64_t>(sizeof Value);
}

// Writes Count bytes of Data at Stream's position, all of them or EWriteError.
void WriteBytes(TNxBigStream& Stream, const void* Data, int64_t Count) {
    if (Count > 0 && Stream.Write(Data, Count) != Count) throw EWriteError();
}

// Writes the whole of Source (from its first byte) at Stream's position.
void WriteAll(TNxBigStream& Stream, TStream& Source) {
    Source.SetPosition(0);
    const int64_t count = Source.Size();
    if (count > 0 && Stream.CopyFromStream(Source, count) != count) throw EWriteError();
}

// A stream seen through the 64-bit operations, so that an archive is written straight into it.
class TBigStreamOver : public TNxBigStream {
public:
    explicit TBigStreamOver(TStream& Stream) : stream_(Stream) {}
    int64_t GetSize() override { return stream_.Size(); }
    int64_t GetPosition() override { return stream_.Position(); }
    void SetPosition(int64_t Pos) override { stream_.SetPosition(Pos); }
    int64_t Write(const void* Buffer, int64_t Count) override { return stream_.Write(Buffer, Count); }
    int64_t Read(void* Buffer, int64_t Count) override { return stream_.Read(Buffer, Count); }
    int64_t CopyFromStream(TStream& Source, int64_t Count) override { return CopyStreamData(stream_, Source, Count); }

private:
    TStream& stream_;
};

bool StartsWithMagic(TNxBigStream& Stream) {
    char magic[2];
    Stream.SetPosition(0);
    return ReadValue(Stream, magic) && std::memcmp(magic, kMagic, 2) == 0;
}

// The index position a carrier trailer gives: the int32 at six bytes before the end, when it
// lies inside the file ahead of the trailer and (when RequireMark) the file ends in "qz".
// -1 otherwise.
int64_t TrailerIndexPosition(TNxBigStream& Stream, bool RequireMark) {
    const int64_t size = Stream.GetSize();
    if (size < kTrailerSize) return -1;
    Stream.SetPosition(size - kTrailerSize);
    int32_t position;
    char mark[2];
    if (!ReadValue(Stream, position) || !ReadValue(Stream, mark)) return -1;
    if (RequireMark && std::memcmp(mark, kTrailerMark, 2) != 0) return -1;
    return position >= 0 && position < size - kTrailerSize ? position : -1;
}

// ---- The index ----

// A message about the archive FileName, which it names as the host writes it.
EVrFileError ArchiveError(const std::string& FileName, const std::string& Text) {
    return EVrFileError(platform::fs::ShownPath(FileName) + ":" + Text);
}

EVrFileError MissingEntry(const std::string& Name) { return EVrFileError(Format("%s:ファイルがありません", Name.c_str())); }

EVrFileError CutShort(const TVrFile& File) { return EVrFileError(Format("%s:データが途中で切れています", File.Name().c_str())); }

[[noreturn]] void RaiseDamaged(const std::string& FileName) { throw ArchiveError(FileName, "アーカイブが壊れています"); }

// The keystream of the index: one generator for all names, a fresh one for the offsets.
char NameKey(TNxRandom& Key) { return static_cast<char>(Key.Next() & 0xFF); }
void ScrambleName(std::span<char> Name, TNxRandom& Key) {
    for (char& c : Name) c = static_cast<char>(c ^ NameKey(Key));
}
// 32-bit offsets take the key itself, 64-bit ones its sign extension.
uint64_t ScrambleOffset(uint64_t Offset, TNxRandom& Key, bool Wide) {
    const uint32_t key = Key.Next();
    return Offset ^ (Wide ? static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(key))) : key);
}

// What an index of a given version holds besides its names.
struct TIndexLayout {
    int32_t Version;
    int64_t Count;

    bool Scrambled() const { return Version >= 100; }
    bool Wide() const { return Version >= 101; }
    bool HasEntryTables() const { return Version >= 101; }  // raw flags, file times, CRCs
    bool HasCrcModes() const { return Version >= 102; }
    // The bytes of the offsets and the per-entry tables that follow the names.
    int64_t TableBytes() const {
        const int64_t perEntry = (HasEntryTables() ? 1 + 4 + 4 : 0) + (HasCrcModes() ? 1 : 0);
        return (Count + 1) * (Wide() ? 8 : 4) + Count * perEntry;
    }
};

// An index as this program writes it: its header and names as stored and each entry's table
// values, kept so that entries can be dropped from the end and added without the others being
// done again. The tables are put together once the offsets are known.
class TIndexBytes {
public:
    // The count is filled in by Pieces.
    TIndexBytes() : names_(kHeadBytes) {
        std::memcpy(names_.data(), kMagic, sizeof kMagic);
        std::memcpy(names_.data() + sizeof kMagic, &ArchiveIndexVersion, sizeof ArchiveIndexVersion);
    }

    // The bytes of the whole index, its tables included.
    int64_t Size() const { return static_cast<int64_t>(names_.size()) + Layout().TableBytes(); }

    // Keeps the first Count entries, with their values, and drops the others.
    void Keep(size_t Count) {
        if (Count >= ends_.size()) return;
        names_.resize(Count > 0 ? ends_[Count - 1] : kHeadBytes);
        ends_.resize(Count);
        raw_.resize(std::min(raw_.size(), Count));
        times_.resize(raw_.size());
        crcs_.resize(raw_.size());
        modes_.resize(raw_.size());
    }
    void AddName(const std::string& Name) {
        // The names' keystream runs over their bytes alone.
        const size_t key = names_.size() - kHeadBytes - 4 * ends_.size();
        while (nameKey_.size() < key + Name.size()) nameKey_.push_back(NameKey(nameKeyMaker_));
        Put(static_cast<int32_t>(Name.size()));
        for (size_t i = 0; i < Name.size(); ++i) names_.push_back(static_cast<char>(Name[i] ^ nameKey_[key + i]));
        ends_.push_back(names_.size());
    }
    // The table values of File, for the first entry without them.
    void AddValues(const TVrFile& File) {
        raw_.push_back(File.StoredRaw);
        times_.push_back(File.FileTime);
        crcs_.push_back(File.Crc32);
        modes_.push_back(File.CrcMode);
    }
    // The index as stored, in the pieces it lies in here (the header and names, the offsets, each
    // table of values), good until the index changes. Given one offset more than the entries
    // (each Base on from the index start), the tables hold them and every entry's values; given
    // none, the pieces hold the header and names alone.
    std::array<std::span<const std::byte>, 6> Pieces(std::span<const int64_t> Offsets, int64_t Base) {
        const auto count = static_cast<int32_t>(ends_.size());
        std::memcpy(names_.data() + kHeadBytes - sizeof count, &count, sizeof count);
        while (offsetKey_.size() < Offsets.size()) offsetKey_.push_back(ScrambleOffset(0, offsetKeyMaker_, true));
        offsets_.resize(Offsets.size());
        for (size_t i = 0; i < Offsets.size(); ++i)
            offsets_[i] = static_cast<uint64_t>(Offsets[i] + Base) ^ offsetKey_[i];
        const auto piece = [](const auto& Values) { return std::as_bytes(std::span(Values)); };
        if (Offsets.empty()) return {piece(names_)};
        return {piece(names_), piece(offsets_), piece(raw_), piece(times_), piece(crcs_), piece(modes_)};
    }
    // The index as stored in one run of bytes, its tables zero without Offsets.
    std::vector<char> Bytes(std::span<const int64_t> Offsets, int64_t Base) {
        std::vector<char> bytes(static_cast<size_t>(Size()));
        char* at = bytes.data();
        for (const std::span<const std::byte> piece : Pieces(Offsets, Base)) {
            if (piece.empty()) continue;  // no memory to copy from
            std::memcpy(at, piece.data(), piece.size());
            at += piece.size();
        }
        return bytes;
    }

private:
    static constexpr size_t kHeadBytes = sizeof kMagic + 4 + 4;  // the magic, version and count

    TIndexLayout Layout() const { return {ArchiveIndexVersion, static_cast<int64_t>(ends_.size())}; }
    void Put(const void* Data, size_t Count) {
        const auto* bytes = static_cast<const char*>(Data);
        names_.insert(names_.end(), bytes, bytes + Count);
    }
    template <typename T>
    void Put(T Value) {
        Put(&Value, sizeof Value);
    }

    std::vector<char> names_;  // the header, then each name's length and scrambled bytes
    std::vector<size_t> ends_;  // where each entry's name ends in names_
    std::vector<uint8_t> raw_;
    std::vector<int32_t> times_;
    std::vector<uint32_t> crcs_;
    std::vector<uint8_t> modes_;
    std::vector<uint64_t> offsets_;  // as stored, kept for the next write
    // The keystreams as far as they were needed.
    std::vector<char> nameKey_;
    TNxRandom nameKeyMaker_{kScrambleSeed};
    std::vector<uint64_t> offsetKey_;
    TNxRandom offsetKeyMaker_{kScrambleSeed};
};

// One entry as an index gives it; Offset and Size are relative to the index start.
struct TIndexEntry {
    std::string Name;
    int64_t Offset = 0;
    int64_t Size = 0;
    uint8_t StoredRaw = 0;
    int32_t FileTime = 0;
    uint32_t Crc32 = 0;
    uint8_t CrcMode = 0;
    bool CrcKnown = false;
};

class TIndexReader {
public:
    TIndexReader(TNxBigStream& Index, const std::string& FileName)
        : index_(Index), fileName_(FileName), start_(Index.GetPosition()) {}

    // The entries and the sentinel, Offsets absolute. The data lies in a stream of DataSize
    // bytes; when DataFollowsIndex that stream is the index's own and the data must come after
    // the index.
    std::vector<TIndexEntry> Read(int64_t DataSize, bool DataFollowsIndex) {
        ReadHeader();
        const int64_t left = index_.GetSize() - index_.GetPosition();
        if (layout_.Count * 4 + layout_.TableBytes() > left) Damaged();
        std::vector<TIndexEntry> entries(static_cast<size_t>(layout_.Count) + 1);
        entries.back().Name = kVrSentinelName;
        ReadNames(entries, left - layout_.TableBytes() - layout_.Count * 4);
        TMemoryStream tables;
        tables.SetSize(layout_.TableBytes());
        if (index_.Read(tables.Memory(), tables.Size()) != tables.Size()) Damaged();
        const int64_t dataStart = DataFollowsIndex ? index_.GetPosition() - start_ : 0;
        ReadOffsets(tables, entries, dataStart, DataSize - start_);
        if (layout_.HasEntryTables()) ReadEntryTables(tables, entries);
        return entries;
    }

private:
    [[noreturn]] void Damaged() const { RaiseDamaged(fileName_); }

    void ReadHeader() {
        char magic[2];
        int32_t version = 0;
        if (ReadValue(index_, magic) && std::memcmp(magic, kMagic, 2) == 0) {
            if (!ReadValue(index_, version)) Damaged();
            if (version > ArchiveIndexVersion)
                throw ArchiveError(fileName_, Format("対応していない版のアーカイブです(%d)", static_cast<int>(version)));
        } else {
            index_.SetPosition(start_);
        }
        int32_t count;
        if (!ReadValue(index_, count) || count < 0) Damaged();
        layout_ = {version, count};
    }

    // TextBytes is what the names' bytes may take without eating into the tables.
    void ReadNames(std::vector<TIndexEntry>& Entries, int64_t TextBytes) {
        TNxBuffBigStream names(index_);
        TNxRandom key(kScrambleSeed);
        for (int64_t i = 0; i < layout_.Count; ++i) {
            int32_t length;
            if (!ReadValue(names, length) || length < 0 || length > TextBytes) Damaged();
            TextBytes -= length;
            std::string& name = Entries[static_cast<size_t>(i)].Name;
            name.resize(static_cast<size_t>(length));
            if (names.Read(name.data(), length) != length) Damaged();
            if (layout_.Scrambled()) ScrambleName(name, key);
        }
    }

    // The N + 1 offsets must not decrease and must lie within [DataStart, DataEnd].
    void ReadOffsets(TMemoryStream& Tables, std::vector<TIndexEntry>& Entries, int64_t DataStart, int64_t DataEnd) {
        TNxRandom key(kScrambleSeed);
        int64_t previous = DataStart;
        for (size_t i = 0; i < Entries.size(); ++i) {
            uint64_t stored = 0;
            Tables.ReadBuffer(&stored, layout_.Wide() ? 8 : 4);
            const uint64_t plain = layout_.Scrambled() ? ScrambleOffset(stored, key, layout_.Wide()) : stored;
            const int64_t offset = layout_.Wide() ? static_cast<int64_t>(plain) : static_cast<int64_t>(plain & 0xFFFFFFFF);
            if (offset < previous || offset > DataEnd) Damaged();
            Entries[i].Offset = start_ + offset;
            if (i > 0) Entries[i - 1].Size = offset - previous;
            previous = offset;
        }
    }

    void ReadEntryTables(TMemoryStream& Tables, std::vector<TIndexEntry>& Entries) {
        const auto files = std::span(Entries).first(Entries.size() - 1);
        for (TIndexEntry& entry : files) entry.StoredRaw = ReadStreamByte(Tables);
        for (TIndexEntry& entry : files) entry.FileTime = ReadStreamInt(Tables);
        for (TIndexEntry& entry : files) {
            entry.Crc32 = static_cast<uint32_t>(ReadStreamInt(Tables));
            entry.CrcKnown = true;
        }
        if (layout_.HasCrcModes())
            for (TIndexEntry& entry : files) entry.CrcMode = ReadStreamByte(Tables);
    }

    TNxBigStream& index_;
    const std::string& fileName_;
    const int64_t start_;
    TIndexLayout layout_{0, 0};
};

// The entries a collection writes: all but the sentinel.
std::vector<TVrFile*> EntriesToWrite(const TVrFileCollection& Collection) {
    std::vector<TVrFile*> files;
    for (int i = 0; i < Collection.Count(); ++i)
        if (TVrFile& file = Collection.GetFile(i); file.Name() != kVrSentinelName) files.push_back(&file);
    return files;
}

void AddEntries(TVrFileCollection& Collection, const std::vector<TIndexEntry>& Entries) {
    for (const TIndexEntry& entry : Entries) {
        TVrFile& file = Collection.AddFile(entry.Name);
        file.Offset = entry.Offset;
        file.Size = entry.Size;
        file.StoredRaw = entry.StoredRaw;
        file.FileTime = entry.FileTime;
        file.Crc32 = entry.Crc32;
        file.CrcMode = entry.CrcMode;
        file.CrcKnown = entry.CrcKnown;
    }
}

}  // namespace

// The file a collection wrote last: its index, its entries (those before the first changed since
// are still the collection's), and their stored bytes with their offsets from the first of them
// (one more than the entries: the end).
struct TVrFileCollection::TImage {
    TIndexBytes Index;
    std::vector<TVrFile*> Files;
    TMemoryStream Data;
    std::vector<int64_t> Offsets{0};
};

// ---- TVrFile ----

TVrFileCollection& TVrFile::Owner() const { return static_cast<TVrFileCollection&>(*Collection()); }

void TVrFile::SetName(const std::string& Value) {
    if (Collection()) Owner().Changed(*this);
    THashCollectionItem::SetName(Value);
}

void TVrFile::SetIndex(int Value) {
    if (Collection()) Owner().Changed(*this, Value);
    THashCollectionItem::SetIndex(Value);
}

void TVrFile::Added() {
    THashCollectionItem::Added();
    Owner().Changed(*this);
}

void TVrFile::Deleting() {
    Owner().Changed(*this);
    THashCollectionItem::Deleting();
}

void TVrFile::WriteData(TNxBigStream& Stream) {
    if (DataSource) {
        WriteStored(Stream, *DataSource, DataSource->Size() < kCompressLimit, false);
        return;
    }
    const std::string path = Owner().DiskFileName(Name());
    if (path.empty()) throw MissingEntry(Name());
    TFileStream file(path, fmOpenRead | fmShareDenyWrite);
    WriteStored(Stream, file, ShouldCompress(file), true);
    FileTime = platform::fs::FileAge(path);
}

// The CRC follows CrcMode whatever the data's origin, so that it always matches what the index
// says it covers.
void TVrFile::WriteStored(TNxBigStream& Stream, TStream& Plain, bool Compress, bool RawWhenLarger) {
    if (Compress) {
        TMemoryStream packed;
        CopyStreamData(packed, Plain, 0);
        CompressStream(packed, clDefault);
        if (!RawWhenLarger || packed.Size() <= Plain.Size() * 9 / 10) {
            StoredRaw = 0;
            WriteAll(Stream, packed);
            Crc32 = StreamCrc32(CrcMode == 1 ? Plain : packed);
            CrcKnown = true;
            return;
        }
    }
    StoredRaw = 1;
    WriteAll(Stream, Plain);
    Crc32 = StreamCrc32(Plain);
    CrcKnown = true;
}

// ---- TVrFileCollection ----

TVrFileCollection::TVrFileCollection() : THashCollection(ItemClass<TVrFile>) {}

TVrFileCollection::~TVrFileCollection() = default;

void TVrFileCollection::Changed(const TVrFile& File, int Position) {
    if (image_) unchanged_ = std::min({unchanged_, File.Index(), Position});
}

void TVrFileCollection::Reset() {
    image_.reset();
    Clear();
    archiveStream_.reset();
    dataBase_ = 0;
    baseFolder_.clear();
    fileName_.clear();
}

// Where the index lies. A carrying program ends with a trailer: the int32 position of the index
// and the mark "qz". A program named ".exe" or ".scr" is always read through it. For any other
// file, a side file of the same name with the extension ".ext" holds the index of a data-only
// file, its offsets counted from the data file's first byte. Without one: programs here have no
// extension and any file named on the command line may carry an archive, so a file that does
// not begin with the magic "vf" and ends in a trailer whose position lies inside it is read as a
// carrier too; otherwise the index begins at the file's first byte.
void TVrFileCollection::Open(const std::string& FileName) {
    Reset();
    if (FileName.empty()) return;
    try {
        SetFileName(FileName);
        if (!platform::fs::FileExists(FileName)) return;
        archiveStream_ = std::make_unique<TNxBigFileStream>(FileName, fmOpenRead | fmShareDenyWrite);
        TNxBigStream& archive = *archiveStream_;
        const std::string extension = ExtractFileExt(FileName);
        const std::string sideIndex = ChangeFileExt(FileName, ".ext");
        int64_t trailer = -1;
        if (AnsiSameText(extension, ".exe") || AnsiSameText(extension, ".scr")) {
            trailer = TrailerIndexPosition(archive, false);
            if (trailer < 0) RaiseDamaged(FileName);
        } else if (platform::fs::FileExists(sideIndex)) {
            TNxBigMemoryStream index;
            index.LoadFromFile(sideIndex);
            AddEntries(*this, TIndexReader(index, fileName_).Read(archive.GetSize(), false));
            return;
        } else if (!StartsWithMagic(archive)) {
            trailer = TrailerIndexPosition(archive, true);
        }
        archive.SetPosition(std::max<int64_t>(trailer, 0));
        ReadIndex(*this, archive);
    } catch (...) {
        Reset();
        throw;
    }
}

void TVrFileCollection::SetFileName(const std::string& FileName) {
    fileName_ = FileName;
    baseFolder_ = platform::fs::FileExists(FileName) ? FileName.substr(0, AfterLastDelimiter(FileName, "\\:")) : FileName;
    if (!baseFolder_.empty()) baseFolder_ = AppendBackslash(baseFolder_);
}

std::string ContentFileInFolder(const std::string& Folder, const std::string& Name) {
    return IsPlainRelativePath(Name) ? platform::fs::FileInFolder(Folder, Name) : std::string();
}

std::string TVrFileCollection::DiskFileName(const std::string& Name) const { return ContentFileInFolder(baseFolder_, Name); }

void TVrFileCollection::CopyStored(const TVrFile& File, TStream& Dest) {
    archiveStream_->SetPosition(StoredAt(File));
    if (archiveStream_->CopyToStream(Dest, File.Size) != File.Size) throw CutShort(File);
}

namespace {

// Whether File's CRC is to be taken from its stored bytes: an index older than the CRC tables
// gave none, and it covers the stored bytes.
bool TakesStoredCrc(const TVrFile& File) { return File.CrcMode == 0 && !File.CrcKnown; }

void SetCrc(TVrFile& File, uLong Crc) {
    File.Crc32 = static_cast<uint32_t>(Crc);
    File.CrcKnown = true;
}

}  // namespace

void TVrFileCollection::CopyLargeEntry(TVrFile& File, TNxBigStream& Stream, int64_t IndexStart,
                                       std::vector<int64_t>& Offsets) {
    const int64_t offset = Stream.GetPosition() - IndexStart;
    archiveStream_->SetPosition(StoredAt(File));
    std::vector<Bytef> buffer(static_cast<size_t>(kCopyRun));
    uLong crc = 0;
    for (int64_t left = File.Size; left > 0;) {
        const int64_t count = std::min(left, kCopyRun);
        if (archiveStream_->Read(buffer.data(), count) != count) throw CutShort(File);
        crc = crc32_z(crc, buffer.data(), static_cast<size_t>(count));
        WriteBytes(Stream, buffer.data(), count);
        left -= count;
    }
    if (TakesStoredCrc(File)) SetCrc(File, crc);
    Offsets.push_back(offset);
}

size_t TVrFileCollection::WriteEntries(std::span<TVrFile* const> Files, TNxBigStream& Stream, int64_t IndexStart,
                                       std::vector<int64_t>& Offsets) {
    const int64_t offset = Stream.GetPosition() - IndexStart;
    if (!archiveStream_ || Files[0]->DataSource) {
        Files[0]->WriteData(Stream);
        Offsets.push_back(offset);
        return 1;
    }
    if (image_) {
        // Its offset counts from the start of the image's data.
        const TVrFile& file = *Files[0];
        if (file.Offset < 0 || file.Offset + file.Size > image_->Data.Size()) throw CutShort(file);
        WriteBytes(Stream, image_->Data.Memory() + file.Offset, file.Size);
        Offsets.push_back(offset);
        return 1;
    }
    if (Files[0]->Size > kCopyRun) {
        CopyLargeEntry(*Files[0], Stream, IndexStart, Offsets);
        return 1;
    }
    size_t count = 1;
    int64_t bytes = Files[0]->Size;
    for (; count < Files.size(); ++count) {
        const TVrFile& next = *Files[count];
        const TVrFile& last = *Files[count - 1];
        if (next.DataSource || next.Offset != last.Offset + last.Size || bytes + next.Size > kCopyRun) break;
        bytes += next.Size;
    }
    // Filled by the read, the run's room is not cleared first.
    const auto stored = std::make_unique_for_overwrite<Bytef[]>(static_cast<size_t>(bytes));
    archiveStream_->SetPosition(StoredAt(*Files[0]));
    const int64_t copied = bytes > 0 ? archiveStream_->Read(stored.get(), bytes) : 0;
    const Bytef* data = stored.get();
    const int64_t position = Stream.GetPosition();
    int64_t at = 0;
    for (TVrFile* file : Files.first(count)) {
        if (at + file->Size > copied) throw CutShort(*file);
        Offsets.push_back(position + at - IndexStart);
        if (TakesStoredCrc(*file)) SetCrc(*file, crc32_z(0, data + at, static_cast<size_t>(file->Size)));
        at += file->Size;
    }
    WriteBytes(Stream, data, bytes);
    return count;
}

void TVrFileCollection::ReadEntry(const TVrFile& File, TStream& Dest) {
    if (File.DataSource) {
        CopyStreamData(Dest, *File.DataSource, 0);
        return;
    }
    if (File.Size == 0) return;
    if (File.StoredRaw) {
        CopyStored(File, Dest);
        return;
    }
    TMemoryStream packed;
    CopyStored(File, packed);
    try {
        DecompressStream(packed, Dest);
    } catch (const EInflatedTooLarge&) {
        // A work file larger than the title's whole memory is taken for a damaged archive: a few
        // stored bytes of a made-up entry can stand for gigabytes.
        RaiseDamaged(fileName_);
    } catch (const EZDecompressionError& E) {
        throw ArchiveError(fileName_, Format("%s:データが壊れています(%s)", File.Name().c_str(), E.what()));
    }
}

void TVrFileCollection::ReadFile(TStream& Dest, const std::string& Name) {
    auto* memory = dynamic_cast<TMemoryStream*>(&Dest);
    if (memory) memory->SetSize(0);
    const int index = IndexOf(Name);
    if (index >= 0 && (archiveStream_ || GetFile(index).DataSource)) {
        ReadEntry(GetFile(index), Dest);
    } else if (const std::string path = DiskFileName(Name); !path.empty() && !SameHostFile(path, fileName_)) {
        if (memory) {
            memory->LoadFromFile(path);
        } else {
            TFileStream file(path, fmOpenRead | fmShareDenyWrite);
            CopyStreamData(Dest, file, 0);
        }
    } else {
        throw MissingEntry(Name);
    }
    Dest.SetPosition(0);
}

TVrFile& TVrFileCollection::AddStream(const std::string& Name) {
    TVrFile& file = AddFile(Name);
    file.DataSource = std::make_unique<TMemoryStream>();
    return file;
}

void TVrFileCollection::DeleteFile(const std::string& Name) {
    const int index = IndexOf(Name);
    if (index < 0) return;
    const THashCollectionItem* gone = &GetFile(index);
    DeleteIf([gone](const THashCollectionItem& Item) { return &Item == gone; }, index);
}

void TVrFileCollection::WriteFile(const std::string& FileName) {
    // The sentinel is taken out first and, after a failed write, put back last.
    const int sentinel = IndexOf(kVrSentinelName);
    const int64_t end = sentinel >= 0 ? GetFile(sentinel).Offset : 0;
    int first = Count();
    for (const THashCollectionItem* item = FirstInChain(kVrSentinelName); item; item = item->NextInChain())
        if (item->Name() == kVrSentinelName) first = std::min(first, item->CachedIndex());
    DeleteIf([](const THashCollectionItem& Item) { return Item.Name() == kVrSentinelName; }, first);
    size_t kept = 0;
    try {
        kept = UpdateImage();
        TImage& image = *image_;
        // The file written from where its bytes lie, in one call.
        std::array<std::span<const std::byte>, 7> pieces;
        std::ranges::copy(image.Index.Pieces(image.Offsets, image.Index.Size()), pieces.begin());
        pieces.back() = std::as_bytes(std::span(image.Data.Memory(), static_cast<size_t>(image.Data.Size())));
        WriteFileReplacing(FileName, [&](TStream& File) { File.WriteBuffers(pieces); });
    } catch (...) {
        // The image is of a file that was not written.
        image_.reset();
        if (sentinel >= 0) AddFile(kVrSentinelName).Offset = end;
        throw;
    }
    try {
        SetFileName(FileName);
        archiveStream_ = std::make_unique<TNxBigFileStream>(FileName, fmOpenRead | fmShareDenyWrite);
    } catch (...) {
        Reset();
        throw;
    }
    // The index starts the file, and the entries' data follows it: the entries kept have their
    // offsets from there already.
    dataBase_ = image_->Index.Size();
    const int64_t* offsets = image_->Offsets.data();
    for (size_t i = kept; i < image_->Files.size(); ++i) {
        TVrFile& file = *image_->Files[i];
        file.Offset = offsets[i];
        file.Size = offsets[i + 1] - offsets[i];
        file.DataSource.reset();
    }
    AddFile(kVrSentinelName).Offset = image_->Offsets.back();
    unchanged_ = static_cast<int>(image_->Files.size());
}

size_t TVrFileCollection::UpdateImage() {
    const int kept = image_ ? std::min({unchanged_, Count(), static_cast<int>(image_->Files.size())}) : 0;
    const int64_t keptBytes = image_ ? image_->Offsets[static_cast<size_t>(kept)] : 0;
    std::vector<TVrFile*> files;
    files.reserve(static_cast<size_t>(Count() - kept));
    for (int i = kept; i < Count(); ++i) files.push_back(&GetFile(i));
    // The stored bytes of the entries after those kept, the image's own copied from it.
    TMemoryStream added;
    TBigStreamOver stream(added);
    std::vector<int64_t> offsets;
    WriteAllEntries(files, stream, -keptBytes, offsets);
    offsets.push_back(keptBytes + added.Size());

    std::unique_ptr<TImage> fresh = image_ ? nullptr : std::make_unique<TImage>();
    TImage& image = fresh ? *fresh : *image_;
    image.Index.Keep(static_cast<size_t>(kept));
    for (const TVrFile* file : files) {
        image.Index.AddName(file->Name());
        image.Index.AddValues(*file);
    }
    image.Files.resize(static_cast<size_t>(kept));
    image.Files.insert(image.Files.end(), files.begin(), files.end());
    image.Offsets.resize(static_cast<size_t>(kept));
    image.Offsets.insert(image.Offsets.end(), offsets.begin(), offsets.end());
    image.Data.SetSize(keptBytes);
    image.Data.SetPosition(keptBytes);
    added.SaveToStream(image.Data);
    if (fresh) image_ = std::move(fresh);
    return static_cast<size_t>(kept);
}

std::unique_ptr<TStream> TVrFileCollection::OpenRangeStream(const std::string& Name) {
    const int index = IndexOf(Name);
    if (!archiveStream_ || index < 0 || GetFile(index).DataSource) return nullptr;
    const TVrFile& file = GetFile(index);
    // A range of size 0 would mean "to the end of the file".
    if (file.Size == 0) return std::make_unique<TMemoryStream>();
    return std::make_unique<TFileRangeStream>(fileName_, StoredAt(file), file.Size);
}

void TVrFileCollection::GetFileList(const std::string& Folder, TStringList& Strings) const {
    TAnsiTextSet listed;
    for (int i = 0; i < Strings.Count(); ++i) listed.insert(Strings.Strings(i));
    for (int i = 0; i < Count(); ++i) {
        const std::string& name = GetFile(i).Name();
        if (name == kVrSentinelName) continue;
        const size_t split = AfterLastDelimiter(name, "\\:");
        if (!AnsiSameText(std::string_view(name).substr(0, split), Folder)) continue;
        std::string file = name.substr(split);
        if (listed.insert(file).second) Strings.Add(file);
    }
}

// ---- Reading and writing an index ----

void ReadIndex(TVrFileCollection& Collection, TNxBigStream& Stream) {
    AddEntries(Collection, TIndexReader(Stream, Collection.FileName()).Read(Stream.GetSize(), true));
}

bool WriteIndex(TVrFileCollection& Collection, TNxBigStream& Stream) {
    Collection.WriteArchive(EntriesToWrite(Collection), Stream);
    return true;
}

void TVrFileCollection::WriteAllEntries(std::span<TVrFile* const> Files, TNxBigStream& Stream, int64_t IndexStart,
                                        std::vector<int64_t>& Offsets) {
    const size_t first = Offsets.size();
    for (size_t i = 0; i < Files.size();) {
        try {
            i += WriteEntries(Files.subspan(i), Stream, IndexStart, Offsets);
        } catch (const EVelaError& e) {
            // The entry that failed is the first without its offset.
            throw EVrFileError("エラー:" + Files[Offsets.size() - first]->Name() + "\n" + e.what());
        }
    }
}

std::vector<int64_t> TVrFileCollection::WriteArchive(std::span<TVrFile* const> Files, TNxBigStream& Stream) {
    // The index with its tables zeroed, written again once the data is.
    TIndexBytes index;
    for (const TVrFile* file : Files) index.AddName(file->Name());
    const int64_t start = Stream.GetPosition();
    const std::vector<char> head = index.Bytes({}, 0);
    WriteBytes(Stream, head.data(), static_cast<int64_t>(head.size()));

    std::vector<int64_t> offsets;
    WriteAllEntries(Files, Stream, start, offsets);
    offsets.push_back(Stream.GetPosition() - start);

    for (const TVrFile* file : Files) index.AddValues(*file);
    const std::vector<char> written = index.Bytes(offsets, 0);
    Stream.SetPosition(start);
    WriteBytes(Stream, written.data(), static_cast<int64_t>(written.size()));
    return offsets;
}

// ---- Compression choice, CRC and the probes ----

bool ShouldCompress(TFileStream& Stream) {
    const std::string extension = AnsiUpperCase(ExtractFileExt(Stream.FileName()));
    if (extension == ".MRA") return ProbeMiraHeader(Stream);
    if (!extension.empty() && kRawExtensions.find(extension) != std::string_view::npos) return false;
    return Stream.Size() < kCompressLimit;
}

uint32_t StreamCrc32(TStream& Stream) {
    Stream.SetPosition(0);
    std::vector<Bytef> block(static_cast<size_t>(std::clamp<int64_t>(Stream.Size(), 1, kCrcBlock)));
    uLong crc = crc32(0, Z_NULL, 0);
    int64_t n;
    while ((n = Stream.Read(block.data(), static_cast<int64_t>(block.size()))) > 0)
        crc = crc32(crc, block.data(), static_cast<uInt>(n));
    return static_cast<uint32_t>(crc);
}

int64_t ReadMiraMagic(TStream& Stream, std::string& Digits) {
    char magic[7];
    const int64_t read = Stream.Read(magic, sizeof magic);
    Digits.clear();
    if (read == sizeof magic && std::memcmp(magic, "Mira", 4) == 0) Digits.assign(magic + 4, 3);
    return read;
}

void ReadMiraHeaderRecord(TStream& Stream, TMiraHeader& Header) {
    int32_t length;
    Stream.ReadBuffer(&length, sizeof length);
    Header = TMiraHeader();
    const int64_t stored = std::clamp<int64_t>(length, 0, sizeof Header);
    Stream.ReadBuffer(&Header, stored);
    if (length <= stored) return;
    if (length - stored > Stream.Remaining()) throw EReadError();
    Stream.Seek(length - stored, soCurrent);
}

bool ProbeMiraHeader(TStream& Stream) {
    try {
        std::string digits;
        int version;
        ReadMiraMagic(Stream, digits);
        if (digits.empty() || !TryStrToInt(digits, version) || version < kMiraHeaderVersion) return false;
        TMiraHeader header;
        ReadMiraHeaderRecord(Stream, header);
        return header.CompType == kMiraUncompressed;
    } catch (const EStreamError&) {
        return false;
    }
}

bool HasArchiveTrailer(const std::string& FileName) {
    if (!platform::fs::FileExists(FileName)) return false;
    try {
        TNxBigFileStream stream(FileName, fmOpenRead | fmShareDenyWrite);
        return TrailerIndexPosition(stream, true) >= 0;
    } catch (const EStreamError&) {
        return false;
    }
}
