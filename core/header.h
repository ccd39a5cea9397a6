#pragma once
// Shared helpers of every stored format: little-endian scalar fields and strings on streams,
// and the one bulk copy between streams. Beside them the small containers many units share:
// points and rectangles, an owning object list, delimiter-split lines, string arrays, the
// folder-to-disc map, path parts and relative paths, and the dirty-rectangle list.
#include "core/header_vocab.h"
#include "core/streams.h"
#include "core/stringlist.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

static_assert(sizeof(long double) >= 10, "stored reals are 80-bit x87 extended values");

// A string is an int32 byte count and exactly that many bytes, no terminator, no conversion.
void WriteStreamString(TStream& Stream, const std::string& S);
// Raises EReadError when the count is negative or exceeds what the stream still holds.
void ReadStreamString(TStream& Stream, std::string& S);
std::string ReadStreamString(TStream& Stream);

void WriteStreamInt(TStream& Stream, int32_t Value);
void WriteStreamWord(TStream& Stream, uint16_t Value);
void WriteStreamByte(TStream& Stream, uint8_t Value);
void WriteStreamDouble(TStream& Stream, double Value);
void WriteStreamExtended(TStream& Stream, long double Value);  // the 10 bytes of the x87 format

// A stored count of elements of at least MinElementSize bytes each (an element of fewer bytes
// counts as one, so that a count of empty elements is still bounded by the stream): Count back,
// or EReadError when it is negative or more than the bytes left can hold.
int32_t CheckStreamCount(TStream& Stream, int32_t Count, int64_t MinElementSize);
// Reads an int32 count and checks it as above.
int32_t ReadStreamCount(TStream& Stream, int64_t MinElementSize);

// Each raises EReadError when the stream ends before the field is complete.
int32_t ReadStreamInt(TStream& Stream);
uint16_t ReadStreamWord(TStream& Stream);
uint8_t ReadStreamByte(TStream& Stream);
double ReadStreamDouble(TStream& Stream);
long double ReadStreamExtended(TStream& Stream);

// Copies Count bytes from Source's position to Dest's position; Count 0 copies the whole of
// Source from its first byte. Returns the number of bytes really copied, which is less than
// Count when Source ends early.
int64_t CopyStreamData(TStream& Dest, TStream& Source, int64_t Count);
// Reads up to Count bytes from Source's position straight into Dest's memory at its position,
// until Source gives none; returns the number read. Dest grows ahead of what was read by a piece
// of FirstPiece bytes, or half what was read when that is more, and never by more than 10 MiB.
int64_t ReadIntoMemory(TMemoryStream& Dest, TStream& Source, int64_t Count, int64_t FirstPiece);

// ---- Points and rectangles ----

struct TPoint {
    int32_t X, Y;
    bool operator==(const TPoint&) const = default;
};
TPoint MakePoint(int32_t X, int32_t Y);

// Right and Bottom lie outside the rectangle.
struct TRect {
    int32_t Left, Top, Right, Bottom;
    bool operator==(const TRect&) const = default;
};
// Left >= Right or Top >= Bottom.
inline bool RectIsEmpty(const TRect& R) { return R.Left >= R.Right || R.Top >= R.Bottom; }
// Overlapping, touching or at most 20 pixels apart on both axes. In 64 bits, so that rectangles
// at the far ends of the coordinate range stay apart. Inline: the dirty list asks it of every
// stored rectangle at each addition.
inline bool RectsNear(const TRect& A, const TRect& B) {
    constexpr int64_t kNear = 20;
    return A.Left <= int64_t{B.Right} + kNear && A.Top <= int64_t{B.Bottom} + kNear &&
           A.Right >= int64_t{B.Left} - kNear && A.Bottom >= int64_t{B.Top} - kNear;
}
// Inner lies wholly within Outer (edges may coincide).
inline bool RectContains(const TRect& Inner, const TRect& Outer) {
    return Outer.Left <= Inner.Left && Outer.Top <= Inner.Top && Outer.Right >= Inner.Right &&
           Outer.Bottom >= Inner.Bottom;
}

// ---- The owning object list ----

// A list that owns its objects: Delete and Clear free them, and so does destruction. Derived
// lists add their own fields (a page reference, a spare entry).
template <typename T>
class TObjList {
public:
    TObjList() = default;
    TObjList(const TObjList&) = delete;
    TObjList& operator=(const TObjList&) = delete;
    virtual ~TObjList() { TObjList::Clear(); }

    int Count() const { return static_cast<int>(items_.size()); }
    T* Items(int Index) const { return items_[CheckIndex(Index)].get(); }
    // Index of the entry holding Item, -1 when absent.
    int IndexOf(const T* Item) const {
        for (size_t i = 0; i < items_.size(); ++i)
            if (items_[i].get() == Item) return static_cast<int>(i);
        return -1;
    }

    int Add(std::unique_ptr<T> Item) {
        items_.push_back(std::move(Item));
        return Count() - 1;
    }
    void Insert(int Index, std::unique_ptr<T> Item) {
        if (Index < 0 || Index > Count()) RaiseListIndexError(Index);
        items_.insert(items_.begin() + Index, std::move(Item));
    }
    // Inserts every object of Items, in their order, before position Index, moving the entries
    // after it once for them all.
    void InsertRange(int Index, std::vector<std::unique_ptr<T>>&& Items) {
        if (Index < 0 || Index > Count()) RaiseListIndexError(Index);
        items_.insert(items_.begin() + Index, std::make_move_iterator(Items.begin()),
                      std::make_move_iterator(Items.end()));
        Items.clear();
    }
    // Inserts each group of objects before its position (the positions of the list as it was,
    // in rising order), moving every entry once for all the groups.
    void InsertRanges(std::vector<std::pair<int, std::vector<std::unique_ptr<T>>>>&& Ranges) {
        size_t added = 0;
        int previous = 0;
        for (const auto& [at, objects] : Ranges) {
            if (at < previous || at > Count()) RaiseListIndexError(at);
            previous = at;
            added += objects.size();
        }
        std::vector<std::unique_ptr<T>> items;
        items.reserve(items_.size() + added);
        size_t next = 0;
        for (auto& [at, objects] : Ranges) {
            for (; next < static_cast<size_t>(at); ++next) items.push_back(std::move(items_[next]));
            for (auto& object : objects) items.push_back(std::move(object));
        }
        for (; next < items_.size(); ++next) items.push_back(std::move(items_[next]));
        items_ = std::move(items);
        Ranges.clear();
    }
    // Removes the entry and hands its object to the caller.
    std::unique_ptr<T> Extract(int Index) {
        std::unique_ptr<T> item = std::move(items_[CheckIndex(Index)]);
        items_.erase(items_.begin() + Index);
        return item;
    }
    // Frees the object at Index. The entry is gone before the object's destructor runs, so
    // the list stays consistent whatever that destructor does.
    void Delete(int Index) { Extract(Index); }
    // Frees, in one pass, every object Match accepts; the others keep their order. A caller
    // that knows at most Most objects match lets the pass stop testing at the last of them. As
    // with Delete, the entries are gone before the first object is freed.
    template <class P>
    void DeleteIf(P Match, size_t Most = SIZE_MAX) {
        std::vector<std::unique_ptr<T>> gone;
        auto kept = items_.begin(), i = items_.begin();
        for (; i != items_.end() && gone.size() < Most; ++i) {
            if (Match(static_cast<const T*>(i->get())))
                gone.push_back(std::move(*i));
            else if (kept++ != i)
                kept[-1] = std::move(*i);
        }
        items_.erase(kept == i ? items_.end() : std::move(i, items_.end(), kept), items_.end());
    }
    // Frees every object, first to last; the list is empty before the first one is freed.
    virtual void Clear() {
        std::vector<std::unique_ptr<T>> items = std::move(items_);  // leaves items_ empty
        for (auto& item : items) item.reset();
    }

private:
    size_t CheckIndex(int Index) const {
        if (Index < 0 || Index >= Count()) RaiseListIndexError(Index);
        return static_cast<size_t>(Index);
    }
    std::vector<std::unique_ptr<T>> items_;
};

// ---- Delimited lines ----

// The fields of one line, split at a delimiter byte (TAB unless changed).
class TTabStrings : public TStringList {
public:
    char Delimiter() const { return delimiter_; }
    void SetDelimiter(char Delimiter) { delimiter_ = Delimiter; }

    // The field at Index; empty when there is no such field.
    std::string GetField(int Index) const;
    // Replaces the list with the fields of Line. Two adjacent delimiters give an empty field;
    // a delimiter at the end gives no trailing empty field; an empty line gives none. Bytes
    // of a double-byte character are never taken for the delimiter.
    void SplitLine(const std::string& Line);

private:
    char delimiter_ = '\t';
};

// ---- String arrays and the folder-to-disc map, with their stored forms ----

// Stored as int32 count, then each string (int32 length and its bytes).
class TArrayString {
public:
    int Count() const { return static_cast<int>(items_.size()); }
    const std::string& Strings(int Index) const;
    void Add(const std::string& S);
    void Assign(const TArrayString& Other);
    void Clear();

    void SaveToStream(TStream& Stream) const;
    // Replaces the content with the stored form read at the stream's position. Raises
    // EReadError on a count or length the stream cannot hold; the array is then unchanged.
    void LoadFromStream(TStream& Stream);

private:
    std::vector<std::string> items_;
};

// Folders of the content, each with the number of the disc it is on as its object value.
// Stored as int32 count, then per entry the folder string and an int32 disc number.
class TFolderDiskList : public TStringList {
public:
    void AddFolder(const std::string& Folder, int32_t Disc) { AddObject(Folder, Disc); }
    // Index of Folder compared without regard to case, a missing trailing "\" added to
    // both sides; -1 when absent.
    int IndexOfFolder(const std::string& Folder) const;
    // The disc of the innermost listed folder that holds Path; 0 when none does.
    int32_t GetDisk(const std::string& Path) const;

    void SaveToStream(TStream& Stream) const;
    // Replaces the list with the stored form; EReadError on short or absurd input leaves the
    // list unchanged.
    void LoadFromStream(TStream& Stream);
};

// ---- Paths ----

// The parts of a path in upper case: first its root ("C:\", or "\\SERVER\" of a network
// path) when it has one, then each folder with its trailing "\".
class TPathParser : public TStringList {
public:
    void SetPath(const std::string& Path);
    std::string GetPath() const;
};

// Path resolved against BaseFolder (a folder ending in "\"). Absolute paths and paths of at
// most one character come back unchanged; each leading "..\" drops the last part of the base
// while parts remain, and what is left over stays in the result.
std::string ExpandRelativePath(const std::string& Path, const std::string& BaseFolder);

// Path with "\" appended unless it already ends in one.
std::string AppendBackslash(const std::string& Path);

// Path parts, Shift-JIS aware (a trail byte 0x5C is never a "\"). The position just after the
// last byte of S that is one of Delimiters, 0 when there is none.
size_t AfterLastDelimiter(std::string_view S, std::string_view Delimiters);
// The folder part up to and including the last "\" or ":"; the name after it.
std::string ExtractFilePath(std::string_view Path);
std::string ExtractFileName(std::string_view Path);
// The extension of the name part with its dot, "" when it has none; and Path with it replaced.
std::string ExtractFileExt(std::string_view Path);
std::string ChangeFileExt(std::string_view Path, std::string_view Extension);

// Cuts a ":suffix" (an image frame number, a page label) from S: the last ":" after the last
// "." and "\", never the first character. Returns the text after it and leaves S before it;
// returns "" and leaves S alone when there is none.
std::string CutColonSuffix(std::string& S);

// ---- The dirty-rectangle list ----

// The areas of a layer to repaint. Nearby rectangles are merged as they come in, so many
// small changes close together become one rectangle; no two stored rectangles are near each
// other, so no pixel is repainted twice.
class TClipList {
public:
    // The most rectangles the list holds: an addition and every repaint walk them all.
    static constexpr int MaxRects = 32;

    int Count() const { return static_cast<int>(rects_.size()); }
    const TRect& GetRect(int Index) const;
    // Ignores an empty rectangle and one inside a stored one; merges it with the first stored
    // rectangle near it (again and again while the union meets others); else appends it. When
    // the list already holds MaxRects, they and the rectangle become the one rectangle around
    // them all.
    void AddRect(const TRect& R);
    // Whether a stored rectangle holds all of R. The newest first: a rectangle that swallowed
    // others is stored last, and what comes inside it later is not stored.
    bool Covers(const TRect& R) const {
        for (size_t i = rects_.size(); i-- > 0;)
            if (RectContains(R, rects_[i])) return true;
        return false;
    }
    void Delete(int Index);
    void Clear();

    // Set by every addition, removal and clearing.
    bool Changed() const { return changed_; }
    void SetChanged(bool Changed) { changed_ = Changed; }

private:
    std::vector<TRect> rects_;
    bool changed_ = false;
};
