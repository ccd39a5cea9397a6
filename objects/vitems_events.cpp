// The queue of script events raised by scene objects, and its stored form.
#include "objects/vitems.h"

#include <algorithm>

int TTimerList::Add(TVelaObject* Sender, const std::string& Handler, const TArrayString* Args, uint8_t Kind) {
    auto record = std::make_unique<TTimerData>();
    record->Handler = Handler;
    if (Sender) record->Sender = Sender->Ref();
    record->Kind = Kind;
    if (Args) record->Args.Assign(*Args);
    return TObjList::Add(std::move(record));
}

int TTimerList::IndexOf(const TVelaObject* Sender, uint8_t Kind) const {
    for (int i = 0; i < Count(); ++i) {
        const TTimerData* e = Items(i);
        if (e->Kind == Kind && e->Sender.Object == Sender && Sender && e->Sender.Serial == Sender->GetSerial()) return i;
    }
    return -1;
}

TTimerData* TTimerList::FirstPending() const {
    for (int i = 0; i < Count(); ++i)
        if (Items(i)->Level == 0) return Items(i);
    return nullptr;
}

void TTimerList::ClearLevel(int32_t Level) {
    for (int i = Count(); i-- > 0;)
        if (Items(i)->Level == Level) Delete(i);
}

void TTimerList::ClearTaken() {
    for (int i = Count(); i-- > 0;)
        if (Items(i)->Level != 0) Delete(i);
}

void TTimerList::RemoveObject(const TVelaObject* Obj) {
    for (int i = Count(); i-- > 0;) {
        const TTimerData* e = Items(i);
        if (e->Level == 0 && e->Sender.Object == Obj && e->Sender.Serial == Obj->GetSerial()) Delete(i);
    }
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
        TObjList::Add(std::move(record));
    }
}
