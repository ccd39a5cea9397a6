#include "objects/vitemex_read.h"

#include "core/header.h"

TVelaReadList* TextRead = nullptr;

namespace {
// The smallest stored item: an empty name and an entry count.
constexpr int64_t MinItemSize = 8;
// One entry: its command index and its page index.
constexpr int64_t EntrySize = 8;
}  // namespace

bool TVelaRead::Has(int32_t CommandIndex, int32_t PageIndex) const {
    for (size_t i = 0; i < CommandIndexes.size(); ++i)
        if (CommandIndexes[i] == CommandIndex && PageIndexes[i] == PageIndex) return true;
    return false;
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
    item->CommandIndexes.push_back(PendingCommand);
    item->PageIndexes.push_back(PendingPageIndex);
    PendingPage.clear();
}

void TVelaReadList::Clear() {
    THashCollection::Clear();
    PendingPage.clear();
}

void TVelaReadList::SaveMark(TStream& Stream, const TVelaRead& Item) const {
    WriteStreamString(Stream, Item.Name());
    WriteStreamInt(Stream, static_cast<int32_t>(Item.CommandIndexes.size()));
    for (const int32_t value : Item.CommandIndexes) WriteStreamInt(Stream, value);
    for (const int32_t value : Item.PageIndexes) WriteStreamInt(Stream, value);
}

void TVelaReadList::LoadMark(TStream& Stream) {
    auto& item = static_cast<TVelaRead&>(AddNamed(ReadStreamString(Stream)));
    const int32_t count = ReadStreamCount(Stream, EntrySize);
    item.CommandIndexes.resize(static_cast<size_t>(count));
    item.PageIndexes.resize(static_cast<size_t>(count));
    for (int32_t& value : item.CommandIndexes) value = ReadStreamInt(Stream);
    for (int32_t& value : item.PageIndexes) value = ReadStreamInt(Stream);
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
        item.CommandIndexes = std::move(source.CommandIndexes);
        item.PageIndexes = std::move(source.PageIndexes);
    }
    PendingPage = std::move(loaded.PendingPage);
    PendingCommand = loaded.PendingCommand;
    PendingPageIndex = loaded.PendingPageIndex;
    PendingWindow = std::move(loaded.PendingWindow);
}
