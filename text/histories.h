#pragma once
// The message history (backlog) and the message data of a message window. Neither stores text:
// each record names a script page file, the index of a text-insertion command in it, the text
// range shown and the variable values shown with it, and the text is rebuilt from the page when
// it is needed.
//
// Stored forms (all int32 unless noted; a string is an int32 byte count and the bytes; a point
// is two int32):
// - formats: count, then per format its name (string), its six settings and its history;
// - history: [below 113 a string, ignored]; the entry list; page file name (string); command
//   index; page index; point; message window name (string); [from 113: capacity; the history
//   document's default font size, border size, shadow size, width, height, row spacing; range
//   start; range end; the screens]; [from 124: variables text (string)];
// - entry list: count, then per entry name, command index, page index, point; below 113 the
//   count is followed by the four fields as columns (all names, all command indexes, ...);
// - screens: count, then per screen its element list;
// - element list: count, per element name (string, empty when it names the page of the element
//   before), command index, first position, last position, height, [from 124: variables text],
//   then the running total of the heights;
// - message data: count n, the n names, n command indexes, n page indexes and n points as
//   columns; [from 113] its element list.
// Counts are checked against the bytes left; a damaged record raises EReadError.
#include "core/header.h"

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class TNxWord;
class TPage;
class TVelaObject;
class TWdPage;

// Save-data versions that changed the history's forms.
inline constexpr int32_t HistoryRangeVersion = 113;  // capacity, settings, range and screens
inline constexpr int32_t HistoryVarsVersion = 124;   // variables text of each element

// ---- Element lists ----

struct THistElement {
    std::string Name;  // empty: the page file of the element before
    int32_t CommandIndex = 0;
    int32_t First = 0;  // text positions of the range
    int32_t Last = 0;
    int32_t Height = 0;  // pixels, row spacing included
    std::string Vars;    // the variable lines shown with the text
};

// One screen of the history in data mode, or the sources of a message window's pages.
class TVelaHistData {
public:
    // Appends an element; a page file name equal (case aside) to the previous element's is
    // stored empty.
    void Add(const std::string& PageName, int32_t CommandIndex, int32_t First, int32_t Last, int32_t Height,
             const std::string& Vars);
    void Clear();
    int Count() const { return static_cast<int>(items_.size()); }
    const THistElement& GetItem(int Index) const { return items_.at(Index); }
    // Every element takes the variable lines Vars.
    void SetVars(const std::string& Vars);
    // The nearest non-empty page file name at or before the element.
    std::string GetName(int Index) const;
    // The running total of the heights.
    int32_t TotalHeight() const { return total_; }

    void SaveToStream(TStream& Stream) const;
    void LoadFromStream(TStream& Stream, int32_t Version);

private:
    std::vector<THistElement> items_;
    std::string lastName_;  // GetName of the last element, kept as elements come
    int32_t total_ = 0;
};

// The screens of a history in data mode, oldest first. Elements are added to the last screen
// only: a screen is finished once another is added after it.
class TVelaHistDataList {
public:
    // Appends an empty screen, the new last one.
    TVelaHistData& Add();
    // The screen elements are added to (there is one).
    TVelaHistData& Last() { return *items_.back(); }
    void DeleteFirst();
    void Clear();
    int Count() const { return static_cast<int>(items_.size()); }
    const TVelaHistData& GetItem(int Index) const { return *items_.at(static_cast<size_t>(Index)); }
    // The heights of every screen summed.
    int32_t TotalLength() const;
    // Adds to Target the elements, all screens stacked, from the one whose bottom first lies
    // below Offset to the first whose bottom reaches Offset + Height (or the last); Shift is the
    // first one's top less Offset (0 or negative; 0 when none is added). The finished screens
    // that end above Offset are passed over without reading them.
    void CopyRange(int32_t Offset, int32_t Height, int32_t& Shift, TVelaHistData& Target) const;

    void SaveToStream(TStream& Stream) const;
    void LoadFromStream(TStream& Stream, int32_t Version);

private:
    // Where a finished screen ends, all screens stacked from the first ever added (those
    // deleted since too): the bottom of its last element, the lowest bottom of any element up
    // to it, and the sum of the screens' heights up to it.
    struct TStacked {
        int64_t Bottom, Lowest, Length;
    };
    std::deque<std::unique_ptr<TVelaHistData>> items_;
    std::deque<TStacked> finished_;  // one for each screen but the last
    TStacked first_{};               // where the first screen starts
};

// ---- Entries ----

struct THistoryOldData {
    std::string Name;  // empty: the page file of the entry before
    int32_t CommandIndex = 0;
    int32_t PageIndex = 0;
    TPoint Value{0, 0};  // the message window's width and height when the message was shown
};

class THistoryOldDataList {
public:
    // Appends an entry; a name equal (case aside) to the previous entry's is stored empty.
    void Add(const std::string& PageName, int32_t CommandIndex, int32_t PageIndex, TPoint Value);
    // Deletes the oldest entry; the entry after it keeps the page file name it shared.
    void DeleteFirst();
    void Clear();
    int Count() const { return static_cast<int>(items_.size()); }
    const THistoryOldData& GetItem(int Index) const { return items_.at(Index); }
    // The nearest non-empty page file name at or before the entry, found without walking back
    // over the entries (the entries added since the last look are looked at once).
    std::string GetName(int Index) const;

    // Rows (one entry after the other) from HistoryRangeVersion, columns before.
    void SaveToStream(TStream& Stream) const;
    void LoadFromStream(TStream& Stream, int32_t Version);
    // Always as columns (the message data's form).
    void SaveColumns(TStream& Stream) const;
    void LoadColumns(TStream& Stream);

private:
    std::deque<THistoryOldData> items_;  // a full history drops its oldest entry at every message
    std::string lastName_;               // GetName of the last entry, kept as entries come and go
    // Entries are numbered from the first added since the list was cleared: the entry at
    // position i is number dropped_ + i. named_ holds, in order, the numbers of the entries with
    // a name among those numbered below indexed_.
    int64_t dropped_ = 0;
    mutable std::deque<int64_t> named_;
    mutable int64_t indexed_ = 0;
};

// ---- Message text caches ----

// A document loaded from one text-insertion command's compiled text.
struct TMesDataCacheWord {
    int32_t CommandIndex;
    std::unique_ptr<TNxWord> Word;
};

// One page file's own copy of the page and its most recently used documents.
class TMesDataCache {
public:
    static constexpr int MaxWords = 16;
    explicit TMesDataCache(const std::string& PageName);  // loads the page; its errors pass on
    ~TMesDataCache();
    const std::string& PageName() const { return name_; }
    // The document of the command at that index, loaded on first use and moved to the front;
    // nullptr when the index lies outside the page or names another command. Errors of the
    // compiled text pass on.
    TNxWord* GetWord(int32_t CommandIndex);

private:
    std::string name_;
    std::unique_ptr<TPage> page_;
    TObjList<TMesDataCacheWord> words_;
};

class TMesDataCacheList {
public:
    static constexpr int MaxPages = 4;
    // The cached document of that command of that page file (compared case aside), the page
    // cache moved to or made at the front; nullptr as TMesDataCache::GetWord gives it.
    TNxWord* GetWord(const std::string& PageName, int32_t CommandIndex);
    void Clear() { items_.Clear(); }
    int Count() const { return items_.Count(); }

private:
    TObjList<TMesDataCache> items_;
};

// ---- Message data of a message window ----

class TVelaNewMesData {
public:
    TVelaHistData Data;
    THistoryOldDataList Entries;
    TMesDataCacheList Cache;

    // Flags of BuildPages.
    static constexpr int32_t bpPackRows = 1;  // entries stack by their rows, not their recorded height

    // Rebuilds Doc's pages from the elements (or, without elements, from the entries) and
    // appends them to Pages. The flags are the window's build flag together with the rebuild
    // argument of its caller; the rows of a combined page start at Position (the history's
    // scroll shift, 0 or negative). An element or entry whose page file is missing, whose command
    // index lies outside the page or which names another command ends the rebuild there.
    void BuildPages(TNxWord& Doc, TObjList<TWdPage>& Pages, int32_t Rebuild, int32_t Flags, int32_t Position);
    void AddEntry(const std::string& PageName, int32_t CommandIndex, int32_t PageIndex, TPoint Value) {
        Entries.Add(PageName, CommandIndex, PageIndex, Value);
    }
    void Clear();
    bool IsEmpty() const { return Data.Count() == 0 && Entries.Count() == 0; }

    void SaveToStream(TStream& Stream) const;
    void LoadFromStream(TStream& Stream, int32_t Version);

private:
    void BuildPagesFromEntries(TNxWord& Doc, TObjList<TWdPage>& Pages, int32_t Flags, int32_t Position);
};

// ---- Histories and formats ----

class TVelaHistoryFormat;

class TVelaNewHistory {
public:
    explicit TVelaNewHistory(TVelaHistoryFormat& Format);
    ~TVelaNewHistory();
    TVelaNewHistory(const TVelaNewHistory&) = delete;
    TVelaNewHistory& operator=(const TVelaNewHistory&) = delete;

    // Records the source of the text Window starts showing.
    void SetSource(TVelaObject& Window, const std::string& PageName, const std::string& Vars, int32_t PageIndex,
                   int32_t End, int32_t Start, int32_t CommandIndex);
    // Stores the recorded message when Name is the recording window's; the record is then
    // cleared. Data mode lays the text out into screens, entry mode keeps the source only.
    void AddMessage(const std::string& Name);
    void Clear();
    // Data mode: the height of all screens in pixels; entry mode: the number of entries.
    int32_t GetCount() const;
    // The number of screens, or of entries.
    int32_t GetMessageCount() const;
    // Data mode: the history document's settings give it a width.
    bool IsDataMode() const;
    // Shows in a message window (nothing for another object) the pixel range First to
    // First + Count of the screens stacked (data mode) or the entries First to First + Count - 1
    // (entry mode), as its history view.
    void ShowInMessage(int32_t First, int32_t Count, TVelaObject& Window);

    // The document the recorded text is laid out in, made with the settings at its first use:
    // a history that lays no text out costs no document.
    TNxWord& Word();
    TVelaHistDataList Screens;
    THistoryOldDataList Entries;
    int32_t Capacity = 0;  // the most screens or entries kept; 0 = unlimited

    void SaveToStream(TStream& Stream) const;
    void LoadFromStream(TStream& Stream, int32_t Version);

private:
    // Lays the recorded range out and adds each page to the screens.
    void AddScreens();
    // Positions: the text position of each glyph of the document, then the text's length.
    void AddPage(TWdPage& Page, const std::vector<int32_t>& Positions);
    void SetWordSettings(const std::array<int32_t, 6>& Settings);
    // Gives the document the settings.
    void ApplyWordSettings();

    TVelaHistoryFormat& format_;
    // The document's font size, border size, shadow size, width, height and row spacing.
    std::array<int32_t, 6> wordSettings_;
    std::unique_ptr<TNxWord> word_;
    TPoint point_{0, 0};
    int32_t pageIndex_ = 0;
    std::string windowName_;
    std::string pageName_;
    int32_t commandIndex_ = 0;
    int32_t start_ = 0;
    int32_t end_ = 0;
    std::string vars_;
    // The command whose compiled text the document holds: its page file and index (pages do
    // not change while the title runs); an empty name for none.
    std::string loadedName_;
    int32_t loadedIndex_ = 0;
};

class TVelaHistoryFormat {
public:
    explicit TVelaHistoryFormat(const std::string& Name);
    ~TVelaHistoryFormat();

    const std::string& GetName() const { return name_; }
    TVelaNewHistory& History() { return *history_; }
    // Font size, border size, shadow size, width, height, row spacing; 0 = not set.
    std::array<int32_t, 6> Settings{};
    void ResetSettings() { Settings = {}; }

private:
    std::string name_;
    std::unique_ptr<TVelaNewHistory> history_;
};

class TVelaHistoryFormatManager {
public:
    TVelaHistoryFormatManager();  // with the unnamed default format
    void Clear();                 // back to the default format alone
    int Count() const { return items_.Count(); }
    TVelaHistoryFormat& GetItem(int Index) const { return *items_.Items(Index); }
    // Exact, case-sensitive; nullptr when none.
    TVelaHistoryFormat* FindFormat(const std::string& Name) const;
    TVelaHistoryFormat& FindOrAddFormat(const std::string& Name);

    // Each applies the history operation to every format.
    void SetSource(TVelaObject& Window, const std::string& PageName, const std::string& Vars, int32_t PageIndex,
                   int32_t End, int32_t Start, int32_t CommandIndex);
    void AddMessage(const std::string& Name);
    void ClearHistories();

    void SaveToStream(TStream& Stream) const;
    void LoadFromStream(TStream& Stream, int32_t Version);

private:
    TObjList<TVelaHistoryFormat> items_;
    std::unordered_map<std::string_view, TVelaHistoryFormat*> byName_;  // keyed by the formats' own names
};

// The one format manager, made at start-up of the object layer.
extern TVelaHistoryFormatManager* TextHistoryFormats;
