#include "core/header.h"

#include "core/sysutils.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

void WriteStreamString(TStream& Stream, const std::string& S) {
    WriteStreamInt(Stream, static_cast<int32_t>(S.size()));
    if (!S.empty()) Stream.WriteBuffer(S.data(), static_cast<int64_t>(S.size()));
}

int32_t CheckStreamCount(TStream& Stream, int32_t Count, int64_t MinElementSize) {
    if (Count < 0 || Count > Stream.Remaining() / std::max<int64_t>(MinElementSize, 1)) throw EReadError();
    return Count;
}

int32_t ReadStreamCount(TStream& Stream, int64_t MinElementSize) {
    return CheckStreamCount(Stream, ReadStreamInt(Stream), MinElementSize);
}

void ReadStreamString(TStream& Stream, std::string& S) {
    const int32_t count = ReadStreamCount(Stream, 1);
    S.resize(static_cast<size_t>(count));
    if (count > 0) Stream.ReadBuffer(S.data(), count);
}

std::string ReadStreamString(TStream& Stream) {
    std::string s;
    ReadStreamString(Stream, s);
    return s;
}

namespace {
// The most bytes a copy holds in memory between its source and its destination.
constexpr int64_t kMaxBuffer = 10 * 1024 * 1024;
// Scalars are stored in the processor's little-endian layout.
template <typename T>
void WriteScalar(TStream& Stream, T Value, int64_t Bytes = sizeof(T)) {
    Stream.WriteBuffer(&Value, Bytes);
}
template <typename T>
T ReadScalar(TStream& Stream, int64_t Bytes = sizeof(T)) {
    T value{};
    Stream.ReadBuffer(&value, Bytes);
    return value;
}
}  // namespace

void WriteStreamInt(TStream& Stream, int32_t Value) { WriteScalar(Stream, Value); }
void WriteStreamWord(TStream& Stream, uint16_t Value) { WriteScalar(Stream, Value); }
void WriteStreamByte(TStream& Stream, uint8_t Value) { WriteScalar(Stream, Value); }
void WriteStreamDouble(TStream& Stream, double Value) { WriteScalar(Stream, Value); }
void WriteStreamExtended(TStream& Stream, long double Value) { WriteScalar(Stream, Value, 10); }

int32_t ReadStreamInt(TStream& Stream) { return ReadScalar<int32_t>(Stream); }
uint16_t ReadStreamWord(TStream& Stream) { return ReadScalar<uint16_t>(Stream); }
uint8_t ReadStreamByte(TStream& Stream) { return ReadScalar<uint8_t>(Stream); }
double ReadStreamDouble(TStream& Stream) { return ReadScalar<double>(Stream); }
long double ReadStreamExtended(TStream& Stream) { return ReadScalar<long double>(Stream, 10); }

int64_t CopyStreamData(TStream& Dest, TStream& Source, int64_t Count) {
    if (Count == 0) {
        Source.SetPosition(0);
        Count = Source.Size();
    }
    if (Count <= 0) return 0;
    if (auto* memory = dynamic_cast<TMemoryStream*>(&Source)) {
        // A memory source is written in one piece, never beyond its end.
        int64_t n = std::min(Count, memory->Remaining());
        if (n > 0) Dest.WriteBuffer(memory->Memory() + memory->Position(), n);
        memory->Seek(n, soCurrent);
        return n;
    }
    if (auto* memory = dynamic_cast<TMemoryStream*>(&Dest)) return ReadIntoMemory(*memory, Source, Count, kMaxBuffer);
    // One large buffer, smaller in 1 MiB steps when memory is short; the last step is refused
    // as any allocation is.
    constexpr int64_t kStep = 1024 * 1024;
    int64_t bufferSize = std::min(Count, kMaxBuffer);
    std::unique_ptr<uint8_t[]> buffer;
    while (bufferSize > kStep) {
        buffer.reset(new (std::nothrow) uint8_t[static_cast<size_t>(bufferSize)]);
        if (buffer) break;
        bufferSize -= kStep;
    }
    if (!buffer) buffer = std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(bufferSize));
    int64_t copied = 0;
    while (copied < Count) {
        int64_t n = Source.Read(buffer.get(), std::min(bufferSize, Count - copied));
        if (n <= 0) break;
        Dest.WriteBuffer(buffer.get(), n);
        copied += n;
    }
    return copied;
}

int64_t ReadIntoMemory(TMemoryStream& Dest, TStream& Source, int64_t Count, int64_t FirstPiece) {
    const int64_t size = Dest.Size();
    int64_t at = Dest.Position(), copied = 0;
    // Dest ends after what was read, or as it was when nothing was.
    const auto end = [&] {
        Dest.SetSize(copied > 0 ? std::max(size, at) : size);
        Dest.SetPosition(at);
    };
    try {
        while (copied < Count) {
            const int64_t piece = std::min({Count - copied, kMaxBuffer, std::max(FirstPiece, copied / 2)});
            Dest.SetSize(std::max(size, at + piece));
            const int64_t n = Source.Read(Dest.Memory() + at, piece);
            if (n <= 0) break;
            at += n;
            copied += n;
        }
    } catch (...) {
        end();
        throw;
    }
    end();
    return copied;
}

// ---- Points and rectangles ----

TPoint MakePoint(int32_t X, int32_t Y) { return TPoint{X, Y}; }

// ---- Shift-JIS aware byte scans ----

namespace {

// Calls Visit(index) for every single-byte character of S; a lead byte and its trail byte
// are stepped over together.
template <typename Visit>
void ForEachSingleByte(const std::string& S, Visit visit) {
    for (size_t i = 0; i < S.size(); ++i) {
        if (IsLeadByte(S[i]) && i + 1 < S.size()) {
            ++i;
            continue;
        }
        visit(i);
    }
}

// Position of the last "\" of S that is not the trail byte of a double-byte character.
size_t LastBackslash(const std::string& S) {
    size_t found = std::string::npos;
    ForEachSingleByte(S, [&](size_t i) {
        if (S[i] == '\\') found = i;
    });
    return found;
}

bool EndsWithBackslash(const std::string& S) {
    return !S.empty() && LastBackslash(S) == S.size() - 1;
}

}  // namespace

// ---- Delimited lines ----

std::string TTabStrings::GetField(int Index) const {
    return Index >= 0 && Index < Count() ? Strings(Index) : std::string();
}

void TTabStrings::SplitLine(const std::string& Line) {
    Clear();
    size_t start = 0;
    ForEachSingleByte(Line, [&](size_t i) {
        if (Line[i] != delimiter_) return;
        Add(Line.substr(start, i - start));
        start = i + 1;
    });
    if (start < Line.size()) Add(Line.substr(start));
}

// ---- String arrays and the folder-to-disc map ----

const std::string& TArrayString::Strings(int Index) const {
    if (Index < 0 || Index >= Count()) RaiseListIndexError(Index);
    return items_[static_cast<size_t>(Index)];
}

void TArrayString::Add(const std::string& S) {
    items_.push_back(S);
}

void TArrayString::Assign(const TArrayString& Other) {
    items_ = Other.items_;
}

void TArrayString::Clear() {
    items_.clear();
    items_.shrink_to_fit();
}

void TArrayString::SaveToStream(TStream& Stream) const {
    WriteStreamInt(Stream, Count());
    for (const auto& s : items_) WriteStreamString(Stream, s);
}

void TArrayString::LoadFromStream(TStream& Stream) {
    int32_t count = ReadStreamCount(Stream, 4);
    std::vector<std::string> items;
    for (int32_t i = 0; i < count; ++i) items.push_back(ReadStreamString(Stream));
    items_ = std::move(items);
}

int TFolderDiskList::IndexOfFolder(const std::string& Folder) const {
    std::string wanted = AppendBackslash(Folder);
    for (int i = 0; i < Count(); ++i)
        if (AnsiSameText(AppendBackslash(Strings(i)), wanted)) return i;
    return -1;
}

int32_t TFolderDiskList::GetDisk(const std::string& Path) const {
    std::string path = AnsiUpperCase(Path);
    while (!path.empty()) {
        int index = IndexOfFolder(path);
        if (index >= 0) return static_cast<int32_t>(Objects(index));
        size_t cut = LastBackslash(path);
        path.resize(cut == std::string::npos ? 0 : cut);
    }
    return 0;
}

void TFolderDiskList::SaveToStream(TStream& Stream) const {
    WriteStreamInt(Stream, Count());
    for (int i = 0; i < Count(); ++i) {
        WriteStreamString(Stream, Strings(i));
        WriteStreamInt(Stream, static_cast<int32_t>(Objects(i)));
    }
}

void TFolderDiskList::LoadFromStream(TStream& Stream) {
    int32_t count = ReadStreamCount(Stream, 8);
    TStringList loaded;
    for (int32_t i = 0; i < count; ++i) {
        std::string folder = ReadStreamString(Stream);
        loaded.AddObject(folder, ReadStreamInt(Stream));
    }
    TStringList::operator=(loaded);
}

// ---- Paths ----

void TPathParser::SetPath(const std::string& Path) {
    Clear();
    if (Path.empty()) return;
    std::string path = AppendBackslash(AnsiUpperCase(Path));
    // The root is "C:\" of a drive, or "\\SERVER\" of a network path: up to the first "\"
    // after the leading two.
    bool network = path.compare(0, 2, "\\\\") == 0;
    size_t start = 0;
    if (!network && path.size() >= 2 && path[1] == ':') {
        start = 3;  // AppendBackslash made the path at least "X:\"
        Add(path.substr(0, start));
    }
    ForEachSingleByte(path, [&](size_t i) {
        if (path[i] != '\\' || i < start || (network && i < 2)) return;
        Add(path.substr(start, i + 1 - start));
        start = i + 1;
    });
    if (start < path.size()) Add(path.substr(start));  // a bare "\\"
}

std::string TPathParser::GetPath() const {
    std::string path;
    for (int i = 0; i < Count(); ++i) path += Strings(i);
    return path;
}

namespace {
bool ParentStepAt(const std::string& Path, size_t Pos) { return Path.compare(Pos, 3, "..\\") == 0; }
}  // namespace

std::string ExpandRelativePath(const std::string& Path, const std::string& BaseFolder) {
    if (Path.size() <= 1 || Path[0] == '\\' || Path[1] == ':') return Path;
    if (!ParentStepAt(Path, 0)) return BaseFolder + Path;
    TPathParser base;
    base.SetPath(BaseFolder);
    size_t rest = 0;
    while (base.Count() > 0 && ParentStepAt(Path, rest)) {
        base.Delete(base.Count() - 1);
        rest += 3;
    }
    return base.GetPath() + Path.substr(rest);
}

std::string AppendBackslash(const std::string& Path) {
    return EndsWithBackslash(Path) ? Path : Path + '\\';
}

size_t AfterLastDelimiter(std::string_view S, std::string_view Delimiters) {
    size_t start = 0;
    for (size_t i = 0; i < S.size(); ++i) {
        if (IsLeadByte(S[i]))
            ++i;
        else if (Delimiters.find(S[i]) != std::string_view::npos)
            start = i + 1;
    }
    return start;
}

std::string ExtractFilePath(std::string_view Path) { return std::string(Path.substr(0, AfterLastDelimiter(Path, "\\:"))); }

std::string ExtractFileName(std::string_view Path) { return std::string(Path.substr(AfterLastDelimiter(Path, "\\:"))); }

namespace {
// The position of the dot of the name part's extension; Path's size when it has none.
size_t ExtensionStart(std::string_view Path) {
    const size_t name = AfterLastDelimiter(Path, "\\:");
    const size_t dot = AfterLastDelimiter(Path.substr(name), ".");
    return dot == 0 ? Path.size() : name + dot - 1;
}
}  // namespace

std::string ExtractFileExt(std::string_view Path) { return std::string(Path.substr(ExtensionStart(Path))); }

std::string ChangeFileExt(std::string_view Path, std::string_view Extension) {
    return std::string(Path.substr(0, ExtensionStart(Path))) + std::string(Extension);
}

std::string CutColonSuffix(std::string& S) {
    size_t colon = std::string::npos;
    ForEachSingleByte(S, [&](size_t i) {
        if (S[i] == '.' || S[i] == '\\')
            colon = std::string::npos;
        else if (S[i] == ':' && i > 0)
            colon = i;
    });
    if (colon == std::string::npos) return std::string();
    std::string suffix = S.substr(colon + 1);
    S.resize(colon);
    return suffix;
}

// ---- The dirty-rectangle list ----

namespace {
// The smallest rectangle holding both.
TRect UnionRects(const TRect& A, const TRect& B) {
    return {std::min(A.Left, B.Left), std::min(A.Top, B.Top), std::max(A.Right, B.Right),
            std::max(A.Bottom, B.Bottom)};
}
}  // namespace

const TRect& TClipList::GetRect(int Index) const {
    if (Index < 0 || Index >= Count()) RaiseListIndexError(Index);
    return rects_[static_cast<size_t>(Index)];
}

void TClipList::AddRect(const TRect& R) {
    TRect rect = R;
    if (RectIsEmpty(rect)) return;
    for (size_t i = 0; i < rects_.size();) {
        const TRect stored = rects_[i];
        if (!RectsNear(stored, rect)) {
            ++i;
            continue;
        }
        if (RectContains(rect, stored)) return;
        // The union replaces the stored rectangle and is added again from the first entry, so
        // it can swallow others it now reaches.
        rects_.erase(rects_.begin() + static_cast<std::ptrdiff_t>(i));
        changed_ = true;
        rect = UnionRects(rect, stored);
        i = 0;
    }
    if (Count() == MaxRects) {
        for (const TRect& stored : rects_) rect = UnionRects(rect, stored);
        rects_.clear();
    }
    rects_.push_back(rect);
    changed_ = true;
}

void TClipList::Delete(int Index) {
    GetRect(Index);
    rects_.erase(rects_.begin() + Index);
    changed_ = true;
}

void TClipList::Clear() {
    rects_.clear();
    changed_ = true;
}
