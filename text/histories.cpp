#include "text/histories.h"

#include "core/sysutils.h"
#include "objects/vitemex_mes.h"
#include "objects/vitems.h"
#include "script/callman.h"
#include "script/pages.h"
#include "script/project.h"
#include "script/services.h"
#include "text/fontpixels.h"
#include "text/nxwords.h"

#include <algorithm>

namespace {

// Smallest stored element, entry and screen: their ints and an empty name.
constexpr int64_t MinElement = 4 + 4 * 4;
constexpr int64_t MinEntry = 4 + 2 * 4 + 8;
constexpr int64_t MinScreen = 2 * 4;

// The name to store after an element or entry whose page file is Previous.
std::string NameToStore(const std::string& Previous, const std::string& Name) {
    return !Previous.empty() && AnsiSameText(Previous, Name) ? std::string() : Name;
}

void WritePoint(TStream& Stream, TPoint Value) {
    WriteStreamInt(Stream, Value.X);
    WriteStreamInt(Stream, Value.Y);
}

TPoint ReadPoint(TStream& Stream) {
    const int32_t x = ReadStreamInt(Stream);
    return MakePoint(x, ReadStreamInt(Stream));
}

// Replaces List by the lines of Text (ended by CR LF, CR or LF).
void SetLines(TStringList& List, const std::string& Text) {
    List.Clear();
    size_t start = 0;
    while (start < Text.size()) {
        const size_t end = Text.find_first_of("\r\n", start);
        List.Add(Text.substr(start, end - start));
        if (end == std::string::npos) break;
        start = end + (Text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
}

// The glyph indexes of Word's text positions First to Last (a negative Last: to the end) as
// CopyGlyphs takes them; false when First lies past the text.
bool GlyphRange(const TNxWord& Word, int32_t First, int32_t Last, int& From, int& To) {
    From = Word.GlyphIndexAtTextPos(First);
    To = Last < 0 ? -1 : Word.GlyphIndexAtTextPos(Last);
    return From >= 0;
}

// Moves the rows of the first page of Laid into Page, each moved down by Offset. Returns the
// bottom of the last row moved plus the row spacing, Offset when there was none.
int32_t MoveRows(TWdPageList& Laid, TWdPage& Page, int32_t Offset) {
    if (Laid.Count() == 0) return Offset;
    TWdPage& first = *Laid.Items(0);
    const std::vector<TWdGlyph*> rows = std::move(first.Children);
    std::vector<std::unique_ptr<TWdGlyph>> owned = std::move(first.Owned);
    first.Children.clear();
    first.Owned.clear();
    int32_t next = Offset;
    for (TWdGlyph* row : rows) {
        row->Y += Offset;
        Page.Add(row);
        next = row->Y + row->Height + Page.Word->RowSpace;
    }
    for (auto& row : owned) Page.AddOwned(std::move(row));
    return next;
}

// The one page the rows of several sources are moved into: it is as high as the document, as
// the rows it shows start at the scroll shift and may reach past either edge.
std::unique_ptr<TWdPage> NewCombinedPage(TNxWord& Doc) {
    auto page = std::make_unique<TWdPage>(&Doc);
    page->Height = Doc.Height;
    return page;
}

// The document's width and height for the time of one layout.
class TLayoutSize {
public:
    TLayoutSize(TNxWord& Word, TPoint Size) : word_(Word), saved_{Word.Width, Word.Height} {
        Word.Width = Size.X;
        Word.Height = Size.Y;
    }
    ~TLayoutSize() {
        word_.Width = saved_.X;
        word_.Height = saved_.Y;
    }

private:
    TNxWord& word_;
    TPoint saved_;
};

// The page of that name among the runner's cached pages (case aside), else the page the runner
// loads into its cache; nullptr without a runner or when it cannot be loaded.
TPage* RunnerPage(const std::string& Name) {
    TCallMan* runner = Project ? Project->Runner.get() : nullptr;
    if (!runner) return nullptr;
    for (int i = 0; i < runner->PageCount(); ++i)
        if (AnsiSameText(runner->GetItem(i).GetName(), Name)) return &runner->GetItem(i);
    try {
        return runner->GetPage(Name, false);
    } catch (const EVelaError&) {
        return nullptr;
    }
}

// The compiled text of the command at Index of Page; nullptr outside the page or for another
// command.
TMemoryStream* CommandText(TPage& Page, int32_t Index) {
    if (Index < 0 || Index >= Page.Commands.Count()) return nullptr;
    return Page.Commands.GetItem(Index).CompiledText();
}

// Clears Word and loads the compiled text into it.
void LoadText(TNxWord& Word, TMemoryStream& Text) {
    Word.ClearGlyphs();
    Text.SetPosition(0);
    Word.LoadFromStream(Text);
}

// The page file of a record met in a walk over the records in order: its own name, else the one
// carried from the records before it.
const std::string& CarriedName(const std::string& Name, std::string& Carried) {
    if (!Name.empty()) Carried = Name;
    return Carried;
}

// The nearest non-empty name at or before Index of a list of named records.
template <class TItems>
std::string NearestName(const TItems& Items, int Index) {
    for (int i = Index; i >= 0; --i)
        if (!Items.at(i).Name.empty()) return Items[i].Name;
    return {};
}

}  // namespace

// ---- Element lists ----

void TVelaHistData::Add(const std::string& PageName, int32_t CommandIndex, int32_t First, int32_t Last,
                        int32_t Height, const std::string& Vars) {
    const std::string name = items_.empty() ? PageName : NameToStore(lastName_, PageName);
    items_.push_back({name, CommandIndex, First, Last, Height, Vars});
    CarriedName(name, lastName_);
    total_ += Height;
}

void TVelaHistData::Clear() {
    items_.clear();
    lastName_.clear();
    total_ = 0;
}

void TVelaHistData::SetVars(const std::string& Vars) {
    for (THistElement& item : items_) item.Vars = Vars;
}

std::string TVelaHistData::GetName(int Index) const { return NearestName(items_, Index); }

void TVelaHistData::SaveToStream(TStream& Stream) const {
    WriteStreamInt(Stream, Count());
    for (const THistElement& item : items_) {
        WriteStreamString(Stream, item.Name);
        WriteStreamInt(Stream, item.CommandIndex);
        WriteStreamInt(Stream, item.First);
        WriteStreamInt(Stream, item.Last);
        WriteStreamInt(Stream, item.Height);
        WriteStreamString(Stream, item.Vars);
    }
    WriteStreamInt(Stream, total_);
}

void TVelaHistData::LoadFromStream(TStream& Stream, int32_t Version) {
    Clear();
    const bool withVars = Version >= HistoryVarsVersion;
    const int32_t count = ReadStreamCount(Stream, MinElement + (withVars ? 4 : 0));
    items_.reserve(count);
    for (int32_t i = 0; i < count; ++i) {
        THistElement item;
        item.Name = ReadStreamString(Stream);
        item.CommandIndex = ReadStreamInt(Stream);
        item.First = ReadStreamInt(Stream);
        item.Last = ReadStreamInt(Stream);
        item.Height = ReadStreamInt(Stream);
        if (withVars) item.Vars = ReadStreamString(Stream);
        CarriedName(item.Name, lastName_);
        items_.push_back(std::move(item));
    }
    total_ = ReadStreamInt(Stream);
}

TVelaHistData& TVelaHistDataList::Add() {
    if (!items_.empty()) {
        // The last screen is finished: its elements are walked this once.
        TStacked end = finished_.empty() ? first_ : finished_.back();
        const TVelaHistData& screen = Last();
        for (int e = 0; e < screen.Count(); ++e) {
            end.Bottom += screen.GetItem(e).Height;
            end.Lowest = std::max(end.Lowest, end.Bottom);
        }
        end.Length += screen.TotalHeight();
        finished_.push_back(end);
    }
    try {
        items_.push_back(std::make_unique<TVelaHistData>());
    } catch (...) {
        if (!items_.empty()) finished_.pop_back();
        throw;
    }
    return Last();
}

void TVelaHistDataList::DeleteFirst() {
    if (items_.size() <= 1) return Clear();
    first_ = finished_.front();
    finished_.pop_front();
    items_.pop_front();
}

void TVelaHistDataList::Clear() {
    items_.clear();
    finished_.clear();
    first_ = {};
}

int32_t TVelaHistDataList::TotalLength() const {
    if (items_.empty()) return 0;
    const int64_t before = finished_.empty() ? first_.Length : finished_.back().Length;
    return static_cast<int32_t>(before - first_.Length + items_.back()->TotalHeight());
}

void TVelaHistDataList::CopyRange(int32_t Offset, int32_t Height, int32_t& Shift, TVelaHistData& Target) const {
    Shift = 0;
    const int64_t end = int64_t{Offset} + Height;
    // The lowest bottoms only grow along the screens: every element of the screens before the
    // first whose lowest bottom passes Offset ends at or above it.
    const auto passed = std::partition_point(finished_.begin(), finished_.end(), [&](const TStacked& Screen) {
        return Screen.Lowest - first_.Bottom <= Offset;
    });
    const size_t from = static_cast<size_t>(passed - finished_.begin());
    int64_t top = (from == 0 ? first_.Bottom : finished_[from - 1].Bottom) - first_.Bottom;
    bool copying = false;
    for (size_t s = from; s < items_.size(); ++s) {
        const TVelaHistData& screen = *items_[s];
        std::string name;
        for (int e = 0; e < screen.Count(); ++e) {
            const THistElement& item = screen.GetItem(e);
            CarriedName(item.Name, name);
            const int64_t bottom = top + item.Height;
            if (!copying && bottom > Offset) {
                copying = true;
                Shift = static_cast<int32_t>(top - Offset);
            }
            if (copying) {
                Target.Add(name, item.CommandIndex, item.First, item.Last, item.Height, item.Vars);
                if (bottom >= end) return;
            }
            top = bottom;
        }
    }
}

void TVelaHistDataList::SaveToStream(TStream& Stream) const {
    WriteStreamInt(Stream, Count());
    for (int i = 0; i < Count(); ++i) GetItem(i).SaveToStream(Stream);
}

void TVelaHistDataList::LoadFromStream(TStream& Stream, int32_t Version) {
    Clear();
    const int32_t count = ReadStreamCount(Stream, MinScreen);
    for (int32_t i = 0; i < count; ++i) Add().LoadFromStream(Stream, Version);
}

// ---- Entries ----

void THistoryOldDataList::Add(const std::string& PageName, int32_t CommandIndex, int32_t PageIndex, TPoint Value) {
    const std::string name = items_.empty() ? PageName : NameToStore(lastName_, PageName);
    items_.push_back({name, CommandIndex, PageIndex, Value});
    CarriedName(name, lastName_);
}

void THistoryOldDataList::DeleteFirst() {
    const std::string name = GetName(0);
    items_.pop_front();
    if (!named_.empty() && named_.front() == dropped_) named_.pop_front();
    ++dropped_;
    indexed_ = std::max(indexed_, dropped_);
    if (items_.empty()) return lastName_.clear();  // the last entry went
    if (!items_.front().Name.empty() || name.empty()) return;
    if (dropped_ < indexed_) named_.push_front(dropped_);
    items_.front().Name = name;
}

void THistoryOldDataList::Clear() {
    items_.clear();
    lastName_.clear();
    dropped_ = indexed_ = 0;
    named_.clear();
}

std::string THistoryOldDataList::GetName(int Index) const {
    if (Index < 0) return {};
    if (Index >= Count()) RaiseListIndexError(Index);
    for (; indexed_ < dropped_ + Count(); ++indexed_)
        if (!items_[static_cast<size_t>(indexed_ - dropped_)].Name.empty()) named_.push_back(indexed_);
    const auto after = std::upper_bound(named_.begin(), named_.end(), dropped_ + Index);
    return after == named_.begin() ? std::string() : items_[static_cast<size_t>(after[-1] - dropped_)].Name;
}

void THistoryOldDataList::SaveToStream(TStream& Stream) const {
    WriteStreamInt(Stream, Count());
    for (const THistoryOldData& item : items_) {
        WriteStreamString(Stream, item.Name);
        WriteStreamInt(Stream, item.CommandIndex);
        WriteStreamInt(Stream, item.PageIndex);
        WritePoint(Stream, item.Value);
    }
}

void THistoryOldDataList::LoadFromStream(TStream& Stream, int32_t Version) {
    if (Version < HistoryRangeVersion) return LoadColumns(Stream);
    Clear();
    const int32_t count = ReadStreamCount(Stream, MinEntry);
    for (int32_t i = 0; i < count; ++i) {
        THistoryOldData item;
        item.Name = ReadStreamString(Stream);
        item.CommandIndex = ReadStreamInt(Stream);
        item.PageIndex = ReadStreamInt(Stream);
        item.Value = ReadPoint(Stream);
        CarriedName(item.Name, lastName_);
        items_.push_back(std::move(item));
    }
}

void THistoryOldDataList::SaveColumns(TStream& Stream) const {
    WriteStreamInt(Stream, Count());
    for (const THistoryOldData& item : items_) WriteStreamString(Stream, item.Name);
    for (const THistoryOldData& item : items_) WriteStreamInt(Stream, item.CommandIndex);
    for (const THistoryOldData& item : items_) WriteStreamInt(Stream, item.PageIndex);
    for (const THistoryOldData& item : items_) WritePoint(Stream, item.Value);
}

void THistoryOldDataList::LoadColumns(TStream& Stream) {
    Clear();
    const int32_t count = ReadStreamCount(Stream, MinEntry);
    items_.resize(count);
    for (THistoryOldData& item : items_) CarriedName(item.Name = ReadStreamString(Stream), lastName_);
    for (THistoryOldData& item : items_) item.CommandIndex = ReadStreamInt(Stream);
    for (THistoryOldData& item : items_) item.PageIndex = ReadStreamInt(Stream);
    for (THistoryOldData& item : items_) item.Value = ReadPoint(Stream);
}

// ---- Message data ----

void TVelaNewMesData::Clear() {
    Data.Clear();
    Entries.Clear();
}

void TVelaNewMesData::SaveToStream(TStream& Stream) const {
    Entries.SaveColumns(Stream);
    Data.SaveToStream(Stream);
}

void TVelaNewMesData::LoadFromStream(TStream& Stream, int32_t Version) {
    Entries.LoadColumns(Stream);
    Data.Clear();
    if (Version >= HistoryRangeVersion) Data.LoadFromStream(Stream, Version);
}

// ---- Message text caches ----

TMesDataCache::TMesDataCache(const std::string& PageName) : name_(PageName), page_(std::make_unique<TPage>()) {
    page_->LoadFromFile(PageName);
}

TMesDataCache::~TMesDataCache() = default;

TNxWord* TMesDataCache::GetWord(int32_t CommandIndex) {
    for (int i = 0; i < words_.Count(); ++i) {
        if (words_.Items(i)->CommandIndex != CommandIndex) continue;
        if (i > 0) words_.Insert(0, words_.Extract(i));
        return words_.Items(0)->Word.get();
    }
    TMemoryStream* text = CommandText(*page_, CommandIndex);
    if (!text) return nullptr;
    auto word = std::make_unique<TNxWord>();
    LoadText(*word, *text);
    words_.Insert(0, std::make_unique<TMesDataCacheWord>(TMesDataCacheWord{CommandIndex, std::move(word)}));
    while (words_.Count() > MaxWords) words_.Delete(words_.Count() - 1);
    return words_.Items(0)->Word.get();
}

TNxWord* TMesDataCacheList::GetWord(const std::string& PageName, int32_t CommandIndex) {
    int found = -1;
    for (int i = 0; i < items_.Count() && found < 0; ++i)
        if (AnsiSameText(items_.Items(i)->PageName(), PageName)) found = i;
    if (found > 0) items_.Insert(0, items_.Extract(found));
    if (found < 0) {
        items_.Insert(0, std::make_unique<TMesDataCache>(PageName));
        while (items_.Count() > MaxPages) items_.Delete(items_.Count() - 1);
    }
    return items_.Items(0)->GetWord(CommandIndex);
}

// ---- Message data: rebuilding pages ----

void TVelaNewMesData::BuildPages(TNxWord& Doc, TWdPageList& Pages, int32_t Rebuild, int32_t Flags,
                                 int32_t Position) {
    if (Data.Count() == 0) return BuildPagesFromEntries(Doc, Pages, Rebuild | Flags, Position);
    Doc.ClearGlyphs();
    std::unique_ptr<TWdPage> page;
    if (Data.Count() > 1 || Data.GetItem(0).Height != 0) page = NewCombinedPage(Doc);
    int32_t offset = Position;
    std::string carried;
    for (int i = 0; i < Data.Count(); ++i) {
        const THistElement& item = Data.GetItem(i);
        const std::string& name = CarriedName(item.Name, carried);
        TNxWord* word = ScriptHost().FileExists(name) ? Cache.GetWord(name, item.CommandIndex) : nullptr;
        if (!word) break;
        int from = 0, to = 0;
        SetLines(Doc.Variables, item.Vars);
        const int start = Doc.GlyphCount();
        if (GlyphRange(*word, item.First, item.Last, from, to)) word->CopyGlyphs(Doc, from, to);
        Doc.ExpandVariables(start, -1, true);
        if (!page) {
            LayoutPages(Doc, Pages, start, -1);
            break;
        }
        TWdPageList laid;
        LayoutPages(Doc, laid, start, -1);
        Doc.StyleIndexBase = Doc.Decorates.Count();
        offset = MoveRows(laid, *page, offset);
    }
    if (page) Pages.Add(std::move(page));
}

void TVelaNewMesData::BuildPagesFromEntries(TNxWord& Doc, TWdPageList& Pages, int32_t Flags, int32_t Position) {
    Doc.ClearGlyphs();
    if (Entries.Count() == 0) return;
    std::unique_ptr<TWdPage> page;
    if (Entries.Count() > 1 || Entries.GetItem(0).PageIndex >= 0) page = NewCombinedPage(Doc);
    int32_t offset = Position;
    std::string carried;
    for (int i = 0; i < Entries.Count(); ++i) {
        const THistoryOldData& entry = Entries.GetItem(i);
        const std::string& name = CarriedName(entry.Name, carried);
        TNxWord* word = ScriptHost().FileExists(name) ? Cache.GetWord(name, entry.CommandIndex) : nullptr;
        if (!word) break;
        const int start = Doc.GlyphCount();
        word->CopyGlyphs(Doc, 0, -1);
        Doc.ExpandVariables(start, -1, true);
        TLayoutSize size(Doc, entry.Value);
        if (!page) {
            LayoutPages(Doc, Pages, start, -1);
            break;
        }
        TWdPageList laid;
        LayoutPages(Doc, laid, start, -1);
        Doc.StyleIndexBase = Doc.Decorates.Count();
        const int32_t packed = MoveRows(laid, *page, offset);
        offset = Flags & bpPackRows ? packed : offset + entry.Value.Y;
    }
    if (page) Pages.Add(std::move(page));
}

// ---- Histories ----

TVelaNewHistory::TVelaNewHistory(TVelaHistoryFormat& Format)
    : format_(Format), wordSettings_{DefaultFontSize, 0, 0, 0, 0, 0} {}

TVelaNewHistory::~TVelaNewHistory() = default;

bool TVelaNewHistory::IsDataMode() const { return wordSettings_[3] > 0; }

TNxWord& TVelaNewHistory::Word() {
    if (!word_) {
        word_ = std::make_unique<TNxWord>();
        ApplyWordSettings();
    }
    return *word_;
}

void TVelaNewHistory::SetSource(TVelaObject& Window, const std::string& PageName, const std::string& Vars,
                                int32_t PageIndex, int32_t End, int32_t Start, int32_t CommandIndex) {
    pageName_ = PageName;
    commandIndex_ = CommandIndex;
    end_ = End;
    start_ = Start;
    windowName_ = Window.GetName();
    vars_ = Vars;
    const std::array<int32_t, 6>& settings = format_.Settings;
    if (settings[0] == 0) {
        point_ = MakePoint(Window.GetWidth(), Window.GetHeight());
        pageIndex_ = PageIndex;
    }
    if (Screens.Count() == 0) SetWordSettings(settings);
}

void TVelaNewHistory::SetWordSettings(const std::array<int32_t, 6>& Settings) {
    wordSettings_ = {Settings[0], ClampOutline(Settings[1]), ClampOutline(Settings[2]), Settings[3], Settings[4],
                     Settings[5]};
    if (word_) ApplyWordSettings();
}

void TVelaNewHistory::ApplyWordSettings() {
    TNxWord& word = *word_;
    word.FontSize = wordSettings_[0];
    word.BorderSize = wordSettings_[1];
    word.ShadowSize = wordSettings_[2];
    word.Width = wordSettings_[3];
    word.Height = wordSettings_[4];
    word.RowSpace = wordSettings_[5];
}

void TVelaNewHistory::AddMessage(const std::string& Name) {
    if (pageName_.empty() || Name != windowName_) return;
    if (!IsDataMode()) {
        Entries.Add(pageName_, commandIndex_, pageIndex_, point_);
        while (Capacity >= 1 && Entries.Count() > Capacity) Entries.DeleteFirst();
        pageName_.clear();
        return;
    }
    if (!ScriptHost().FileExists(pageName_)) {
        pageName_.clear();
        return;
    }
    TPage* page = RunnerPage(pageName_);
    TMemoryStream* text = page ? CommandText(*page, commandIndex_) : nullptr;
    if (!text) return;
    if (loadedName_.empty() || loadedIndex_ != commandIndex_ || !AnsiSameText(loadedName_, pageName_)) {
        loadedName_.clear();
        LoadText(Word(), *text);
        loadedName_ = pageName_;
        loadedIndex_ = commandIndex_;
    }
    AddScreens();
    pageName_.clear();
}

void TVelaNewHistory::AddScreens() {
    TNxWord& word = Word();
    int first = 0, last = 0;
    if (GlyphRange(word, start_, end_, first, last)) {
        SetLines(word.Variables, vars_);
        word.ExpandVariables(first, last, true);
        TWdPageList pages;
        LayoutPages(word, pages, first, end_);
        // The text positions are counted once for all the pages.
        std::vector<int32_t> positions(size_t(word.GlyphCount()) + 1);
        for (int i = 0; i < word.GlyphCount(); ++i)
            positions[size_t(i) + 1] = positions[size_t(i)] + word.GetGlyph(i)->GetCharCount();
        for (int i = 0; i < pages.Count(); ++i) AddPage(*pages.Items(i), positions);
        pages.Clear();
        word.CollapseVariables(first, last);
    }
    while (Capacity >= 1 && Screens.Count() > Capacity) Screens.DeleteFirst();
}

void TVelaNewHistory::AddPage(TWdPage& Page, const std::vector<int32_t>& Positions) {
    const TNxWord& word = *word_;
    const int32_t height = Page.Height + word.RowSpace;
    // A glyph's text position: the characters of the glyphs before it (all of them for one not
    // in the document).
    const auto textPos = [&](const TWdGlyph* Glyph) {
        const int index = word.IndexOfGlyph(Glyph);
        return Positions[index < 0 ? Positions.size() - 1 : size_t(index)];
    };
    const TWdGlyph* firstGlyph = Page.FirstChar();
    const TWdGlyph* lastGlyph = Page.LastChar();
    const int32_t from = firstGlyph ? textPos(firstGlyph) : start_;
    const int32_t to = lastGlyph ? textPos(lastGlyph) : from;
    const bool fits =
        Screens.Count() > 0 && int64_t{Screens.GetItem(Screens.Count() - 1).TotalHeight()} + height <= word.Height;
    TVelaHistData& screen = fits ? Screens.Last() : Screens.Add();
    screen.Add(pageName_, commandIndex_, from, to, height, vars_);
}

void TVelaNewHistory::Clear() {
    Screens.Clear();
    Entries.Clear();
    pageName_.clear();
    vars_.clear();
    loadedName_.clear();
}

void TVelaNewHistory::ShowInMessage(int32_t First, int32_t Count, TVelaObject& Window) {
    auto* mes = dynamic_cast<TVelaMes*>(&Window);
    if (!mes) return;
    mes->SourceMode = TVelaMes::smHistory;
    mes->MesData.Clear();
    if (IsDataMode()) {
        int32_t shift = 0;
        Screens.CopyRange(First, Count, shift, mes->MesData.Data);
        mes->BuildPosition = shift;
    } else {
        const int32_t first = std::max(First, 0);
        const int32_t last = int32_t(std::min<int64_t>(int64_t(First) + Count, Entries.Count()));
        // The name is looked back for once, then carried along the entries.
        std::string name = first < last ? Entries.GetName(first) : std::string();
        for (int32_t i = first; i < last; ++i) {
            const THistoryOldData& entry = Entries.GetItem(i);
            mes->MesData.AddEntry(CarriedName(entry.Name, name), entry.CommandIndex, entry.PageIndex, entry.Value);
        }
    }
    mes->BuildPages(true, 0);
}

int32_t TVelaNewHistory::GetCount() const { return IsDataMode() ? Screens.TotalLength() : Entries.Count(); }

int32_t TVelaNewHistory::GetMessageCount() const { return IsDataMode() ? Screens.Count() : Entries.Count(); }

void TVelaNewHistory::SaveToStream(TStream& Stream) const {
    Entries.SaveToStream(Stream);
    WriteStreamString(Stream, pageName_);
    WriteStreamInt(Stream, commandIndex_);
    WriteStreamInt(Stream, pageIndex_);
    WritePoint(Stream, point_);
    WriteStreamString(Stream, windowName_);
    WriteStreamInt(Stream, Capacity);
    for (int32_t value : wordSettings_) WriteStreamInt(Stream, value);
    WriteStreamInt(Stream, start_);
    WriteStreamInt(Stream, end_);
    Screens.SaveToStream(Stream);
    WriteStreamString(Stream, vars_);
}

void TVelaNewHistory::LoadFromStream(TStream& Stream, int32_t Version) {
    Clear();
    Capacity = 0;
    if (Version < HistoryRangeVersion) ReadStreamString(Stream);
    Entries.LoadFromStream(Stream, Version);
    pageName_ = ReadStreamString(Stream);
    commandIndex_ = ReadStreamInt(Stream);
    pageIndex_ = ReadStreamInt(Stream);
    point_ = ReadPoint(Stream);
    windowName_ = ReadStreamString(Stream);
    if (Version >= HistoryRangeVersion) {
        Capacity = ReadStreamInt(Stream);
        std::array<int32_t, 6> settings{};
        for (int32_t& value : settings) value = ReadStreamInt(Stream);
        CheckStoredGlyphSizes(settings[0], settings[1], settings[2]);
        SetWordSettings(settings);
        start_ = ReadStreamInt(Stream);
        end_ = ReadStreamInt(Stream);
        Screens.LoadFromStream(Stream, Version);
    }
    if (Version >= HistoryVarsVersion) vars_ = ReadStreamString(Stream);
}

// ---- Formats ----

TVelaHistoryFormat::TVelaHistoryFormat(const std::string& Name)
    : name_(Name), history_(std::make_unique<TVelaNewHistory>(*this)) {}

TVelaHistoryFormat::~TVelaHistoryFormat() = default;

TVelaHistoryFormatManager::TVelaHistoryFormatManager() { Clear(); }

void TVelaHistoryFormatManager::Clear() {
    byName_.clear();
    items_.Clear();
    FindOrAddFormat(std::string());
}

TVelaHistoryFormat* TVelaHistoryFormatManager::FindFormat(const std::string& Name) const {
    const auto found = byName_.find(Name);
    return found != byName_.end() ? found->second : nullptr;
}

TVelaHistoryFormat& TVelaHistoryFormatManager::FindOrAddFormat(const std::string& Name) {
    if (TVelaHistoryFormat* format = FindFormat(Name)) return *format;
    auto format = std::make_unique<TVelaHistoryFormat>(Name);
    TVelaHistoryFormat& added = *format;
    const auto entry = byName_.emplace(added.GetName(), &added).first;
    try {
        items_.Add(std::move(format));
    } catch (...) {
        byName_.erase(entry);
        throw;
    }
    return added;
}

void TVelaHistoryFormatManager::SetSource(TVelaObject& Window, const std::string& PageName, const std::string& Vars,
                                          int32_t PageIndex, int32_t End, int32_t Start, int32_t CommandIndex) {
    for (int i = 0; i < Count(); ++i)
        GetItem(i).History().SetSource(Window, PageName, Vars, PageIndex, End, Start, CommandIndex);
}

void TVelaHistoryFormatManager::AddMessage(const std::string& Name) {
    for (int i = 0; i < Count(); ++i) GetItem(i).History().AddMessage(Name);
}

void TVelaHistoryFormatManager::ClearHistories() {
    for (int i = 0; i < Count(); ++i) GetItem(i).History().Clear();
}

void TVelaHistoryFormatManager::SaveToStream(TStream& Stream) const {
    WriteStreamInt(Stream, Count());
    for (int i = 0; i < Count(); ++i) {
        TVelaHistoryFormat& format = GetItem(i);
        WriteStreamString(Stream, format.GetName());
        for (int32_t value : format.Settings) WriteStreamInt(Stream, value);
        format.History().SaveToStream(Stream);
    }
}

void TVelaHistoryFormatManager::LoadFromStream(TStream& Stream, int32_t Version) {
    Clear();
    // The name, the settings and the smallest history of the oldest form.
    const int32_t count = ReadStreamCount(Stream, 4 + 6 * 4 + 4 + 4 + 4 + 8 + 8 + 4);
    for (int32_t i = 0; i < count; ++i) {
        TVelaHistoryFormat& format = FindOrAddFormat(ReadStreamString(Stream));
        for (int32_t& value : format.Settings) value = ReadStreamInt(Stream);
        format.History().LoadFromStream(Stream, Version);
    }
}

TVelaHistoryFormatManager* TextHistoryFormats = nullptr;
