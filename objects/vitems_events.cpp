// The queue of script events raised by scene objects, and its stored form.
#include "objects/vitems.h"

#include <algorithm>

int TTimerList::Add(TVelaObject* Sender, const std::string& Handler, const TArrayString* Args, uint8_t Kind) {
    auto record = std::make_unique<TTimerData>();
    record->Handler = Handler;
    if (Sender) record->Sender = Sender->Ref();
    record->Kind = Kind;
    if (Args) record->Args.Assign(*Args);
    Append(std::move(record));
    return Count() - 1;
}

namespace {

uint64_t QueueKey(uint32_t Serial, uint8_t Kind) { return uint64_t{Serial} << 8 | Kind; }

bool PendingOf(const TTimerData& Record, const TVelaObject& Obj) {
    return Record.Level == 0 && Record.Sender.Object == &Obj && Record.Sender.Serial == Obj.GetSerial();
}

}  // namespace

void TTimerList::Append(std::unique_ptr<TTimerData> Record) {
    if (Queued.size() > 2 * static_cast<size_t>(Count()) + 256)
        std::erase_if(Queued, [](const auto& Entry) { return Entry.second == 0; });
    CountRecord(*Record, 1);
    TObjList::Add(std::move(Record));
}

void TTimerList::CountRecord(const TTimerData& Record, int32_t Delta) {
    Queued[QueueKey(Record.Sender.Serial, Record.Kind)] += Delta;
    if ((Senders[Record.Sender.Serial] += Delta) == 0) Senders.erase(Record.Sender.Serial);
}

bool TTimerList::HasRecords(const TVelaObject& Obj) const { return Senders.contains(Obj.GetSerial()); }

int TTimerList::IndexOf(const TVelaObject* Sender, uint8_t Kind) const {
    if (!Sender) return -1;
    const auto counted = Queued.find(QueueKey(Sender->GetSerial(), Kind));
    if (counted == Queued.end() || counted->second == 0) return -1;
    for (int i = 0; i < Count(); ++i) {
        const TTimerData* e = Items(i);
        if (e->Kind == Kind && e->Sender.Object == Sender && Sender && e->Sender.Serial == Sender->GetSerial()) return i;
    }
    return -1;
}

TTimerData* TTimerList::Watch(TTimerData* Record) {
    if (std::find(Watched.begin(), Watched.end(), Record) == Watched.end()) Watched.push_back(Record);
    return Record;
}

TTimerData* TTimerList::FirstPending() {
    for (int i = 0; i < Count(); ++i)
        if (TObjList::Items(i)->Level == 0) return Watch(TObjList::Items(i));
    return nullptr;
}

void TTimerList::Remove(int Index) {
    std::erase(Watched, TObjList::Items(Index));
    CountRecord(*TObjList::Items(Index), -1);
    TObjList::Delete(Index);
}

template <class F>
void TTimerList::RemoveWatched(F Match) {
    std::vector<const TTimerData*> gone;
    std::erase_if(Watched, [&](const TTimerData* e) {
        if (!Match(e->Level)) return false;
        gone.push_back(e);
        return true;
    });
    if (gone.empty()) return;
    std::sort(gone.begin(), gone.end());
    // Each watched record is in the queue once, and the taken ones are near its front.
    TObjList::DeleteIf(
        [&](const TTimerData* e) {
            if (!std::binary_search(gone.begin(), gone.end(), e)) return false;
            CountRecord(*e, -1);
            return true;
        },
        gone.size());
}

void TTimerList::ClearLevel(int32_t Level) {
    if (Level == 0) return;  // no record is taken at level 0
    RemoveWatched([Level](int32_t L) { return L == Level; });
}

void TTimerList::ClearTaken() {
    RemoveWatched([](int32_t L) { return L != 0; });
}

void TTimerList::RemoveObject(const TVelaObject* Obj) {
    if (!HasRecords(*Obj)) return;
    for (int i = Count(); i-- > 0;)
        if (PendingOf(*TObjList::Items(i), *Obj)) Remove(i);
}

bool TTimerList::HasPending(const TVelaObject& Obj) const {
    if (!HasRecords(Obj)) return false;
    for (int i = 0; i < Count(); ++i)
        if (PendingOf(*Items(i), Obj)) return true;
    return false;
}

void TTimerList::Clear() {
    Watched.clear();
    Queued.clear();
    Senders.clear();
    TObjList::Clear();
}

// Per record: handler, sender name ("" when gone; a layer by its place relative to the current
// layer), kind byte, level (4 bytes), arguments.
void TTimerList::SaveToStream(TStream& Stream) const {
    WriteStreamInt(Stream, Count());
    for (int i = 0; i < Count(); ++i) {
        const TTimerData* e = Items(i);
        WriteStreamString(Stream, e->Handler);
        WriteStreamString(Stream, Owner.IsLive(e->Sender) ? Owner.ReferenceName(*e->Sender.Object) : std::string());
        WriteStreamByte(Stream, e->Kind);
        WriteStreamInt(Stream, e->Level);
        e->Args.SaveToStream(Stream);
    }
}

// Before version 114 the level was one byte, any non-zero value meaning taken.
void TTimerList::LoadFromStream(TStream& Stream, int32_t Version) {
    Clear();
    const int32_t count = ReadStreamCount(Stream, Version >= 114 ? 17 : 14);
    for (int32_t i = 0; i < count; ++i) {
        auto record = std::make_unique<TTimerData>();
        record->Handler = ReadStreamString(Stream);
        const std::string sender = ReadStreamString(Stream);
        if (!sender.empty())
            if (TVelaObject* obj = Owner.FindObject(sender)) record->Sender = obj->Ref();
        record->Kind = ReadStreamByte(Stream);
        record->Level = Version >= 114 ? ReadStreamInt(Stream) : (ReadStreamByte(Stream) != 0 ? 1 : 0);
        record->Args.LoadFromStream(Stream);
        const TTimerData* e = record.get();
        Append(std::move(record));
        if (e->Level != 0) Watched.push_back(e);
    }
}
