#include "objects/vitemex_read.h"

#include "core/header.h"

TVelaReadList* TextRead = nullptr;

namespace {
// The smallest stored item: an empty name and an entry count.
constexpr int64_t MinItemSize = 8;
// One entry: its command index and its page index.
constexpr int64_t EntrySize = 8;

// A mark as one number.
uint64_t MarkKey(int32_t CommandIndex, int32_t PageIndex) {
    return uint64_t(uint32_t(CommandIndex)) << 32 | uint32_t(PageIndex);
}

}  // namespace

void TVelaRead::SetMarks(std::vector<int32_t> Commands, std::vector<int32_t> Pages) {
    std::unordered_set<uint64_t> marks;
    for (size_t i = 0; i < Commands.size(); ++i) marks.insert(MarkKey(Commands[i], Pages[i]));
    CommandIndexes = std::move(Commands);
    PageIndexes = std::move(Pages);
    Marks = std::move(marks);
}

// Each of the three grows, or the mark is not made.
void TVelaRead::Add(int32_t CommandIndex, int32_t PageIndex) {
    const auto [mark, made] = Marks.insert(MarkKey(CommandIndex, PageIndex));
    try {
        CommandIndexes.push_back(CommandIndex);
        PageIndexes.push_back(PageIndex);
    } catch (...) {
        if (CommandIndexes.size() > PageIndexes.size()) CommandIndexes.pop_back();
        if (made) Marks.erase(mark);
        throw;
    }
}

bool TVelaRead::Has(int32_t CommandIndex, int32_t PageIndex) const {
    return Marks.contains(MarkKey(CommandIndex, PageIndex));
}

TVelaReadList::TVelaReadList() : THashCollection(ItemClass<TVelaRead>) {}

TVelaRead* TVelaReadList::Find(const std::string& PageFile) const {
    const int index = IndexOf(PageFile);
    return index < 0 ? nullptr : &Items(index);
}

bool TVelaReadList::IsRead(const std::string& PageFile, int32_t CommandIndex, int32_t PageIndex) const {
    const TVelaRead* item = Find(PageFile);
    return item && item->Has(CommandIndex, PageIndex);
}

void TVelaReadList::SetPending(const std::string& WindowName, const std::string& PageFile, int32_t PageIndex,
                               int32_t CommandIndex) {
    PendingWindow = WindowName;
    PendingPage = PageFile;
    PendingPageIndex = PageIndex;
    PendingCommand = CommandIndex;
}

void TVelaReadList::CommitPending(const std::string& WindowName) {
    if (PendingPage.empty() || PendingWindow != WindowName) return;
    TVelaRead* item = Find(PendingPage);
    if (!item) item = &static_cast<TVelaRead&>(AddNamed(PendingPage));
    if (item->Has(PendingCommand, PendingPageIndex)) return;
    item->Add(PendingCommand, PendingPageIndex);
    PendingPage.clear();
}

void TVelaReadList::Clear() {
    THashCollection::Clear();
    PendingPage.clear();
}

void TVelaReadList::SaveMark(TStream& Stream, const TVelaRead& Item) const {
    WriteStreamString(Stream, Item.Name());
    WriteStreamInt(Stream, static_cast<int32_t>(Item.GetCommandIndexes().size()));
    for (const int32_t value : Item.GetCommandIndexes()) WriteStreamInt(Stream, value);
    for (const int32_t value : Item.GetPageIndexes()) WriteStreamInt(Stream, value);
}

void TVelaReadList::LoadMark(TStream& Stream) {
    auto& item = static_cast<TVelaRead&>(AddNamed(ReadStreamString(Stream)));
    const int32_t count = ReadStreamCount(Stream, EntrySize);
    std::vector<int32_t> commands(static_cast<size_t>(count)), pages(static_cast<size_t>(count));
    for (int32_t& value : commands) value = ReadStreamInt(Stream);
    for (int32_t& value : pages) value = ReadStreamInt(Stream);
    item.SetMarks(std::move(commands), std::move(pages));
}

void TVelaReadList::SaveToStream(TStream& Stream) const {
    WriteStreamInt(Stream, Count());
    for (int i = 0; i < Count(); ++i) SaveMark(Stream, Items(i));
    WriteStreamString(Stream, PendingPage);
    WriteStreamInt(Stream, PendingCommand);
    WriteStreamInt(Stream, PendingPageIndex);
    WriteStreamString(Stream, PendingWindow);
}

void TVelaReadList::LoadFromStream(TStream& Stream, int32_t Version) {
    if (Version < ReadMarksStatusVersion) {
        Clear();
        return;
    }
    // Read whole into a list of its own first, so that a damaged record changes nothing.
    TVelaReadList loaded;
    const int32_t count = ReadStreamCount(Stream, MinItemSize);
    for (int32_t i = 0; i < count; ++i) loaded.LoadMark(Stream);
    loaded.PendingPage = ReadStreamString(Stream);
    loaded.PendingCommand = ReadStreamInt(Stream);
    loaded.PendingPageIndex = ReadStreamInt(Stream);
    loaded.PendingWindow = ReadStreamString(Stream);

    Clear();
    for (int i = 0; i < loaded.Count(); ++i) {
        TVelaRead& source = loaded.Items(i);
        auto& item = static_cast<TVelaRead&>(AddNamed(source.Name()));
        item.SetMarks(source.GetCommandIndexes(), source.GetPageIndexes());
    }
    PendingPage = std::move(loaded.PendingPage);
    PendingCommand = loaded.PendingCommand;
    PendingPageIndex = loaded.PendingPageIndex;
    PendingWindow = std::move(loaded.PendingWindow);
}
