// The queue of script events raised by scene objects, and its stored form.
#include "objects/vitems.h"

#include <algorithm>

namespace {

uint64_t QueueKey(uint32_t Serial, uint8_t Kind) { return uint64_t{Serial} << 8 | Kind; }

bool PendingOf(const TTimerData& Record, const TVelaObject& Obj) {
    return Record.Level == 0 && Record.Sender.Object == &Obj && Record.Sender.Serial == Obj.GetSerial();
}

}  // namespace

int TTimerList::Add(TVelaObject* Sender, const std::string& Handler, const TArrayString* Args, uint8_t Kind) {
    auto node = std::make_unique<TNode>();
    node->Record.Handler = Handler;
    if (Sender) node->Record.Sender = Sender->Ref();
    node->Record.Kind = Kind;
    if (Args) node->Record.Args.Assign(*Args);
    Append(std::move(node));
    return Count() - 1;
}

void TTimerList::Append(std::unique_ptr<TNode> Node) {
    if (Queued.size() > 2 * Size + 256) std::erase_if(Queued, [](const auto& Entry) { return Entry.second == 0; });
    const TTimerData& record = Node->Record;
    // Both counts are made before anything changes; a count left at 0 is allowed.
    Node->Key = QueueKey(record.Sender.Serial, record.Kind);
    int32_t& kinds = Queued[Node->Key];
    TChain& chain = Senders[record.Sender.Serial];
    TNode* node = Node.release();
    node->Prev = Last;
    (Last ? Last->Next : First) = node;
    Last = node;
    node->PrevOfSender = chain.Last;
    (chain.Last ? chain.Last->NextOfSender : chain.First) = node;
    chain.Last = node;
    ++kinds;
    ++Size;
    IndexStale = true;
}

void TTimerList::Unlink(TNode* Node) {
    (Node->Prev ? Node->Prev->Next : First) = Node->Next;
    (Node->Next ? Node->Next->Prev : Last) = Node->Prev;
    // Counted under the sender and kind it had when it came.
    const auto chain = Senders.find(uint32_t(Node->Key >> 8));
    (Node->PrevOfSender ? Node->PrevOfSender->NextOfSender : chain->second.First) = Node->NextOfSender;
    (Node->NextOfSender ? Node->NextOfSender->PrevOfSender : chain->second.Last) = Node->PrevOfSender;
    if (!chain->second.First) Senders.erase(chain);
    --Queued.find(Node->Key)->second;
    --Size;
    IndexStale = true;
    delete Node;
}

TTimerList::TNode* TTimerList::NodeAt(int Index) const {
    if (Index < 0 || Index >= Count()) RaiseListIndexError(Index);
    if (IndexStale) {
        Indexed.clear();
        for (TNode* node = First; node; node = node->Next) Indexed.push_back(node);
        IndexStale = false;
    }
    return Indexed[size_t(Index)];
}

bool TTimerList::IsQueued(const TVelaObject* Sender, uint8_t Kind) const {
    if (!Sender) return false;
    const auto counted = Queued.find(QueueKey(Sender->GetSerial(), Kind));
    return counted != Queued.end() && counted->second > 0;
}

int TTimerList::IndexOf(const TVelaObject* Sender, uint8_t Kind) const {
    if (!IsQueued(Sender, Kind)) return -1;
    int index = 0;
    for (const TNode* node = First; node; node = node->Next, ++index)
        if (node->Record.Kind == Kind && node->Record.Sender.Object == Sender &&
            node->Record.Sender.Serial == Sender->GetSerial())
            return index;
    return -1;
}

TTimerList::TNode* TTimerList::Watch(TNode* Node) {
    if (!Node->Watched) {
        Watched.push_back(Node);
        Node->Watched = true;
    }
    return Node;
}

// The taken records stand at the front of the queue.
TTimerData* TTimerList::FirstPending() {
    for (TNode* node = First; node; node = node->Next)
        if (node->Record.Level == 0) return &Watch(node)->Record;
    return nullptr;
}

template <class F>
void TTimerList::RemoveWatched(F Match) {
    std::erase_if(Watched, [&](TNode* Node) {
        if (!Match(Node->Record.Level)) return false;
        Unlink(Node);
        return true;
    });
}

void TTimerList::ClearLevel(int32_t Level) {
    if (Level == 0) return;  // no record is taken at level 0
    RemoveWatched([Level](int32_t L) { return L == Level; });
}

void TTimerList::ClearTaken() {
    RemoveWatched([](int32_t L) { return L != 0; });
}

void TTimerList::RemoveObject(const TVelaObject* Obj) {
    const auto chain = Senders.find(Obj->GetSerial());
    if (chain == Senders.end()) return;
    // The chain goes with its last record.
    for (TNode *node = chain->second.First, *next; node; node = next) {
        next = node->NextOfSender;
        if (!PendingOf(node->Record, *Obj)) continue;
        if (node->Watched) std::erase(Watched, node);
        Unlink(node);
    }
}

bool TTimerList::HasPending(const TVelaObject& Obj) const {
    const auto chain = Senders.find(Obj.GetSerial());
    if (chain == Senders.end()) return false;
    for (const TNode* node = chain->second.First; node; node = node->NextOfSender)
        if (PendingOf(node->Record, Obj)) return true;
    return false;
}

void TTimerList::Clear() {
    TNode* node = std::exchange(First, nullptr);
    Last = nullptr;
    Size = 0;
    Watched.clear();
    Queued.clear();
    Senders.clear();
    Indexed.clear();
    IndexStale = false;
    while (node) delete std::exchange(node, node->Next);
}

// Per record: handler, sender name ("" when gone; a layer by its place relative to the current
// layer), kind byte, level (4 bytes), arguments.
void TTimerList::SaveToStream(TStream& Stream) const {
    WriteStreamInt(Stream, Count());
    for (const TNode* node = First; node; node = node->Next) {
        const TTimerData& e = node->Record;
        WriteStreamString(Stream, e.Handler);
        WriteStreamString(Stream, Owner.IsLive(e.Sender) ? Owner.ReferenceName(*e.Sender.Object) : std::string());
        WriteStreamByte(Stream, e.Kind);
        WriteStreamInt(Stream, e.Level);
        e.Args.SaveToStream(Stream);
    }
}

// Before version 114 the level was one byte, any non-zero value meaning taken.
void TTimerList::LoadFromStream(TStream& Stream, int32_t Version) {
    Clear();
    const int32_t count = ReadStreamCount(Stream, Version >= 114 ? 17 : 14);
    for (int32_t i = 0; i < count; ++i) {
        auto node = std::make_unique<TNode>();
        TTimerData& record = node->Record;
        record.Handler = ReadStreamString(Stream);
        const std::string sender = ReadStreamString(Stream);
        if (!sender.empty())
            if (TVelaObject* obj = Owner.FindObject(sender)) record.Sender = obj->Ref();
        record.Kind = ReadStreamByte(Stream);
        record.Level = Version >= 114 ? ReadStreamInt(Stream) : (ReadStreamByte(Stream) != 0 ? 1 : 0);
        record.Args.LoadFromStream(Stream);
        TNode* loaded = node.get();
        if (record.Level != 0) Watched.reserve(Watched.size() + 1);  // watched without a refusal
        Append(std::move(node));
        if (loaded->Record.Level != 0) Watch(loaded);
    }
}
