#include "script/params_vars.h"

#include "core/sysutils.h"
#include "script/params_system.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <utility>

TParamCollection* ParamMan = nullptr;

void CreateParamMan() {
    if (!ParamMan) ParamMan = new TParamCollection();
}

void FreeParamMan() {
    TParamCollection* table = ParamMan;
    ParamMan = nullptr;
    delete table;
}

namespace {

// The least bytes of a section entry (type byte, name length, dimension and element counts,
// the four fields after the value) and of a variable-stack entry (type, name length, counts).
constexpr int64_t kMinSectionEntry = 1 + 4 + 8 + 7;
constexpr int64_t kMinStackEntry = 4 + 4 + 8;

// Passes reads on to Source and keeps a copy of every byte read. It tells Source's position and
// size; it cannot seek or be written.
class TRecordingStream final : public TStream {
public:
    explicit TRecordingStream(TStream& Source) : source_(Source), copy_(std::make_unique<TMemoryStream>()) {}
    int64_t Read(void* Buffer, int64_t Count) override {
        const int64_t n = source_.Read(Buffer, Count);
        if (n > 0) copy_->WriteBuffer(Buffer, n);
        return n;
    }
    int64_t Write(const void*, int64_t) override { return 0; }
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override {
        if (Offset != 0 || Origin != soCurrent) throw EStreamError("Stream seek error");
        return source_.Seek(0, soCurrent);
    }
    int64_t Size() override { return source_.Size(); }
    // The bytes read so far, positioned at their start.
    std::unique_ptr<TMemoryStream> TakeCopy() {
        copy_->SetPosition(0);
        return std::move(copy_);
    }

private:
    TStream& source_;
    std::unique_ptr<TMemoryStream> copy_;
};

// Takes every write and keeps only the count of bytes written; it cannot be read or seek.
class TByteCounter final : public TStream {
public:
    int64_t Read(void*, int64_t) override { return 0; }
    int64_t Write(const void*, int64_t Count) override {
        size_ += Count;
        return Count;
    }
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override {
        if (Offset != 0 || Origin != soCurrent) throw EStreamError("Stream seek error");
        return size_;
    }
    int64_t Size() override { return size_; }

private:
    int64_t size_ = 0;
};

}  // namespace

// ---- TParamVar ----

void TParamVar::SetTarget(TParamCollectionItem* Item) {
    if (!Item) return target_.reset();
    if (!Item->handle_) Item->handle_ = std::make_shared<TParamCollectionItem*>(Item);
    target_ = Item->handle_;
}

TCustomParam* TParamVar::TargetValue() const {
    TParamCollectionItem* item = Target();
    return item ? &item->Value() : nullptr;
}

void TParamVar::BindElement(const std::string& TargetName, TParamCollectionItem* Item,
                            const std::vector<int32_t>& Subscripts) {
    SetTargetName(TargetName);
    SetTarget(Item);
    const std::string element = TargetName + "[" + IntListToStr(Subscripts) + "]\r\n";
    if (static_cast<int64_t>(Subscripts.size()) != DimCount()) throw EParamError(element + "添え字が不正です");
    // Flat index, last subscript fastest, in 32-bit arithmetic that wraps.
    int32_t index = 0;
    int32_t factor = 1;
    for (size_t k = Subscripts.size(); k-- > 0;) {
        index += Subscripts[k] * factor;
        factor *= Dim(static_cast<int32_t>(k));
    }
    if (Count() <= index) throw EParamError(element + "要素数を超えています");
    SetElementIndex(index);
}

void TParamVar::Resolve() {
    TParamCollectionItem* item = ParamMan ? ParamMan->Find(targetName_) : nullptr;
    SetTarget(item);
    if (!item) throw EParamError(Format("\"%s\" 変数がありません", targetName_.c_str()));
    if (const auto* reference = dynamic_cast<const TParamVar*>(&item->Value())) index_ = reference->index_;
}

int32_t TParamVar::Count() const {
    return ForwardTo(TargetValue(), 0, [](TCustomParam& t) { return t.Count(); });
}
void TParamVar::SetCount(int32_t N) {
    ForwardTo(TargetValue(), [N](TCustomParam& t) { t.SetCount(N); });
}
TParamType TParamVar::ParamType() const {
    return ForwardTo(TargetValue(), PT_NONE, [](TCustomParam& t) { return t.ParamType(); });
}

bool TParamVar::AsBool() const {
    return ForwardTo(TargetValue(), false, [this](TCustomParam& t) { return t.GetBoolAt(index_); });
}
long double TParamVar::AsFloat() const {
    return ForwardTo(TargetValue(), 0.0L, [this](TCustomParam& t) { return t.GetFloatAt(index_); });
}
int32_t TParamVar::AsInt() const {
    return ForwardTo(TargetValue(), 0, [this](TCustomParam& t) { return t.GetIntAt(index_); });
}
std::string TParamVar::AsStr() const {
    return ForwardTo(TargetValue(), std::string(), [this](TCustomParam& t) { return t.GetStrAt(index_); });
}
void TParamVar::SetBool(bool Value) {
    ForwardTo(TargetValue(), [&](TCustomParam& t) { t.SetBoolAt(index_, Value); });
}
void TParamVar::SetFloat(long double Value) {
    ForwardTo(TargetValue(), [&](TCustomParam& t) { t.SetFloatAt(index_, Value); });
}
void TParamVar::SetInt(int32_t Value) {
    ForwardTo(TargetValue(), [&](TCustomParam& t) { t.SetIntAt(index_, Value); });
}
void TParamVar::SetStr(const std::string& Value) {
    ForwardTo(TargetValue(), [&](TCustomParam& t) { t.SetStrAt(index_, Value); });
}

int32_t TParamVar::GetIntAt(int32_t I) const {
    return ForwardTo(TargetValue(), 0, [I](TCustomParam& t) { return t.GetIntAt(I); });
}
void TParamVar::SetIntAt(int32_t I, int32_t Value) {
    ForwardTo(TargetValue(), [&](TCustomParam& t) { t.SetIntAt(I, Value); });
}
long double TParamVar::GetFloatAt(int32_t I) const {
    return ForwardTo(TargetValue(), 0.0L, [I](TCustomParam& t) { return t.GetFloatAt(I); });
}
void TParamVar::SetFloatAt(int32_t I, long double Value) {
    ForwardTo(TargetValue(), [&](TCustomParam& t) { t.SetFloatAt(I, Value); });
}
bool TParamVar::GetBoolAt(int32_t I) const {
    return ForwardTo(TargetValue(), false, [I](TCustomParam& t) { return t.GetBoolAt(I); });
}
void TParamVar::SetBoolAt(int32_t I, bool Value) {
    ForwardTo(TargetValue(), [&](TCustomParam& t) { t.SetBoolAt(I, Value); });
}
std::string TParamVar::GetStrAt(int32_t I) const {
    return ForwardTo(TargetValue(), std::string(), [I](TCustomParam& t) { return t.GetStrAt(I); });
}
void TParamVar::SetStrAt(int32_t I, const std::string& Value) {
    ForwardTo(TargetValue(), [&](TCustomParam& t) { t.SetStrAt(I, Value); });
}

int32_t TParamVar::DimCount() const {
    return ForwardTo(TargetValue(), 0, [](TCustomParam& t) { return t.DimCount(); });
}
int32_t TParamVar::Dim(int32_t I) const {
    return ForwardTo(TargetValue(), 0, [I](TCustomParam& t) { return t.Dim(I); });
}
void TParamVar::SetDims(const std::vector<int32_t>& Sizes) {
    ForwardTo(TargetValue(), [&](TCustomParam& t) { t.SetDims(Sizes); });
}
void TParamVar::FillInt(int32_t Value) {
    ForwardTo(TargetValue(), [&](TCustomParam& t) { t.FillInt(Value); });
}
void TParamVar::FillFloat(long double Value) {
    ForwardTo(TargetValue(), [&](TCustomParam& t) { t.FillFloat(Value); });
}
void TParamVar::FillBool(bool Value) {
    ForwardTo(TargetValue(), [&](TCustomParam& t) { t.FillBool(Value); });
}
void TParamVar::FillStr(const std::string& Value) {
    ForwardTo(TargetValue(), [&](TCustomParam& t) { t.FillStr(Value); });
}
void TParamVar::Assign(const TCustomParam& Source) {
    ForwardTo(TargetValue(), [&](TCustomParam& t) { t.Assign(Source); });
}
void TParamVar::ClearDims() {
    ForwardTo(TargetValue(), [](TCustomParam& t) { t.ClearDims(); });
}
void TParamVar::Unique() {
    ForwardTo(TargetValue(), [](TCustomParam& t) { t.Unique(); });
}
void TParamVar::Trim(const TCustomParam* Value) {
    ForwardTo(TargetValue(), [&](TCustomParam& t) { t.Trim(Value); });
}
int32_t TParamVar::IndexOfStr(const std::string& Value, bool CaseSensitive, bool Partial) const {
    return ForwardTo(TargetValue(), -1, [&](TCustomParam& t) { return t.IndexOfStr(Value, CaseSensitive, Partial); });
}

void TParamVar::SaveToStream(TStream& Stream) const {
    TCustomParam::SaveToStream(Stream);
    WriteStreamString(Stream, targetName_);
    const TParamCollectionItem* target = Target();
    WriteStreamString(Stream, target ? target->Name() : std::string());
    WriteStreamByte(Stream, reserved_);
    WriteStreamInt(Stream, index_);
}

void TParamVar::LoadFromStream(TStream& Stream) {
    std::vector<int32_t> dims = ReadDims(Stream);
    std::string targetName = ReadStreamString(Stream);
    const std::string bound = ReadStreamString(Stream);
    const uint8_t reserved = ReadStreamByte(Stream);
    const int32_t index = ReadStreamInt(Stream);
    dims_ = std::move(dims);
    targetName_ = std::move(targetName);
    reserved_ = reserved;
    index_ = index;
    SetTarget(!bound.empty() && ParamMan ? ParamMan->Find(bound) : nullptr);
}

// ---- TParamBinding ----

TParamBinding::TParamBinding(std::string Name) : name_(std::move(Name)), bucket_(HashName(name_)) {}

void TParamBinding::Rebind(const TParamCollection& Vars) {
    chainGeneration_ = Vars.ChainGeneration(bucket_);
    scopeGeneration_ = Vars.ScopeGeneration();
    item_ = Vars.Find(name_);
    TCustomParam* value = item_ ? &item_->Value() : nullptr;
    intValue_ = dynamic_cast<TParamInt*>(value);
    referenceValue_ = dynamic_cast<const TParamVar*>(value);
}

// ---- Creating values ----

std::unique_ptr<TCustomParam> CreateParam(uint8_t TypeCode) {
    switch (TypeCode & 127) {
        case PT_NONE: return std::make_unique<TParamVar>();
        case PT_INT: return std::make_unique<TParamInt>();
        case PT_FLOAT: return std::make_unique<TParamFloat>();
        case PT_BOOL: return std::make_unique<TParamFlag>();
        case PT_STR: return std::make_unique<TParamStr>();
        default: return nullptr;
    }
}

TParamType StoredTypeCode(const TCustomParam& Value) {
    return dynamic_cast<const TParamVar*>(&Value) ? PT_NONE : Value.ParamType();
}

// ---- TParamCollectionItem ----

TParamCollectionItem::TParamCollectionItem()
    : value_(std::make_unique<TParamVar>()) {}

TParamCollectionItem::~TParamCollectionItem() {
    if (handle_) *handle_ = nullptr;
}

void TParamCollectionItem::SetName(const std::string& Name) {
    if (Name.empty() || Name.find(' ') != std::string::npos || (Name[0] >= '0' && Name[0] <= '9'))
        throw EParamError(Format("\"%s\"：変数名が不正です", Name.c_str()));
    if (Name == this->Name()) return;
    Touch();
    static_cast<TParamCollection&>(*Collection()).Ungroup(*this);  // LinkHash puts it back
    THashCollectionItem::SetName(Name);
    Touch();
}

void TParamCollectionItem::SetParamType(uint8_t TypeCode) {
    std::unique_ptr<TCustomParam> value = CreateParam(TypeCode);
    if (!value) throw EParamError("内部エラー");
    value_ = std::move(value);
    Touch();
}

void TParamCollectionItem::InitSystem(int I) {
    value_ = std::make_unique<TParamSystem>(static_cast<TParamCollection&>(*Collection()), static_cast<uint8_t>(I));
    Touch();
    SetName(SysVarNames[static_cast<size_t>(I)]);
}

bool TParamCollectionItem::IsSystem() const { return dynamic_cast<const TParamSystem*>(value_.get()) != nullptr; }

void TParamCollectionItem::SetReference(const std::string& TargetName, const std::vector<int32_t>& Subscripts) {
    auto* reference = dynamic_cast<TParamVar*>(value_.get());
    if (!reference) throw EParamError("内部エラー");
    reference->BindElement(TargetName, static_cast<TParamCollection&>(*Collection()).Find(TargetName), Subscripts);
}

int32_t TParamCollectionItem::OwnerId() const {
    if (!owner_) return NoOwner;
    return static_cast<int32_t>(owner_->Key - static_cast<const TParamCollection&>(*Collection()).idBase_);
}

void TParamCollectionItem::SetOwnerId(int32_t OwnerId) {
    if (OwnerId == this->OwnerId() || IsSystem()) return;
    static_cast<TParamCollection&>(*Collection()).Reown(*this, OwnerId);
    Touch();
}

void TParamCollectionItem::SetLocal(bool Local) {
    if (Local == local_) return;
    auto* table = static_cast<TParamCollection*>(Collection());
    const bool grouped = table && table->Ungroup(*this);
    local_ = Local;
    if (grouped) table->Group(*this);
    if (table) table->localCount_ += Local ? 1 : -1;
    Touch();
}

uintptr_t TParamCollectionItem::GroupKey() const {
    if (!local_) return TParamCollection::kNonLocals;
    return owner_ ? reinterpret_cast<uintptr_t>(owner_) : TParamCollection::kUnownedLocals;
}

void TParamCollectionItem::LinkHash() {
    auto& table = static_cast<TParamCollection&>(*Collection());
    THashCollectionItem::LinkHash();
    if (Name().empty()) return;
    nameStamp_ = ++table.nameStamps_;
    nameHash_ = AnsiLowerCaseHash(Name());
    table.Group(*this);
}

void TParamCollectionItem::Touch() {
    if (auto* table = static_cast<TParamCollection*>(Collection())) table->TouchChain(Bucket());
}

void TParamCollectionItem::Added() {
    THashCollectionItem::Added();
    Touch();
}

void TParamCollectionItem::Deleting() {
    Touch();
    auto& table = static_cast<TParamCollection&>(*Collection());
    table.Ungroup(*this);
    if (local_) --table.localCount_;
    table.Disown(*this);
    THashCollectionItem::Deleting();
}

void TParamCollectionItem::SaveToStream(TStream& Stream) const {
    WriteStreamString(Stream, Name());
    value_->SaveToStream(Stream);
    WriteStreamByte(Stream, status_);
    WriteStreamByte(Stream, reserved_);
    WriteStreamInt(Stream, OwnerId());
    WriteStreamByte(Stream, local_);
}

bool TParamCollectionItem::LoadFromStream(TStream& Stream) {
    const std::string name = ReadStreamString(Stream);
    if (!name.empty()) SetName(name);
    value_->LoadFromStream(Stream);
    const bool status = ReadStreamByte(Stream) != 0;
    const uint8_t reserved = ReadStreamByte(Stream);
    const int32_t ownerId = ReadStreamInt(Stream);
    const bool local = ReadStreamByte(Stream) != 0;
    SetLocal(local);
    status_ = status;
    reserved_ = reserved;
    SetOwnerId(ownerId);
    return !name.empty();
}

// ---- TParamCollection ----

TParamCollection::TParamCollection()
    : THashCollection(ItemClass<TParamCollectionItem>),
      defaultState_(std::make_unique<TPlayerState>()),
      state_(defaultState_.get()) {
    chainGenerations_.fill(NewGeneration());
    scopeGeneration_ = NewGeneration();
    for (int i = 0; i < SysVarCount; ++i) AddItem().InitSystem(i);
}

TParamCollection::~TParamCollection() = default;

void TParamCollection::SetTempVarName(const std::string& Name) {
    tempVarName_ = Name;
    NewGeneration();
}

void TParamCollection::SetCurrentScope(int32_t Scope) {
    if (Scope == currentScope_) return;
    currentScope_ = Scope;
    currentOwnerKnown_ = false;
    if (localCount_ > 0) scopeGeneration_ = NewGeneration();
}

void TParamCollection::SetState(TPlayerState* State) { state_ = State ? State : defaultState_.get(); }

TParamCollectionItem& TParamCollection::AddParam(uint8_t TypeCode) {
    std::unique_ptr<TCustomParam> value = CreateParam(TypeCode);
    if (!value) throw EParamError("内部エラー");
    TParamCollectionItem& item = AddItem();
    item.value_ = std::move(value);
    item.Touch();
    return item;
}

TParamCollectionItem& TParamCollection::AddItem() {
    ReserveGroup();
    return static_cast<TParamCollectionItem&>(Add());
}

void TParamCollection::ReserveGroup() {
    if ((grouped_ + 1) * 2 <= groups_.size()) return;
    std::vector<TGroupEntry> entries(std::max<size_t>(groups_.size() * 2, 128));
    std::swap(entries, groups_);
    for (const TGroupEntry& entry : entries)
        if (entry.Item) Place(entry);
}

void TParamCollection::Place(const TGroupEntry& Entry) noexcept {
    const size_t mask = groups_.size() - 1;
    size_t at = GroupHome(Entry.Hash);
    while (groups_[at].Item) at = (at + 1) & mask;
    groups_[at] = Entry;
}

void TParamCollection::Group(TParamCollectionItem& Item) noexcept {
    if (Item.Name().empty()) return;  // an unnamed item (SetLocal, Reown) joins as it is named
    Place({GroupHash(Item.GroupKey(), Item.nameHash_), &Item});
    ++grouped_;
}

bool TParamCollection::UngroupNamed(const TParamCollectionItem& Item) noexcept {
    const size_t mask = groups_.size() - 1;
    size_t hole = GroupHome(GroupHash(Item.GroupKey(), Item.nameHash_));
    for (; groups_[hole].Item != &Item; hole = (hole + 1) & mask)
        if (!groups_[hole].Item) return false;
    // Each entry after the hole whose home does not lie between the hole and it moves back into
    // the hole, which takes its place, so that no entry lies beyond a free place from its home.
    for (size_t at = (hole + 1) & mask; groups_[at].Item; at = (at + 1) & mask)
        if (((at - GroupHome(groups_[at].Hash)) & mask) >= ((at - hole) & mask)) {
            groups_[hole] = groups_[at];
            hole = at;
        }
    groups_[hole].Item = nullptr;
    --grouped_;
    return true;
}

TParamCollectionItem* TParamCollection::GroupEnd(uintptr_t Key, std::string_view Name, size_t NameHash,
                                                 bool Last) const {
    const uint64_t hash = GroupHash(Key, NameHash);
    const size_t mask = groups_.size() - 1;
    TParamCollectionItem* end = nullptr;
    for (size_t at = GroupHome(hash); groups_[at].Item; at = (at + 1) & mask) {
        TParamCollectionItem* const item = groups_[at].Item;
        if (groups_[at].Hash == hash && item->GroupKey() == Key && AnsiSameText(item->Name(), Name) &&
            (!end || (item->nameStamp_ > end->nameStamp_) == Last))
            end = item;
    }
    return end;
}

uintptr_t TParamCollection::CurrentLocals() const {
    if (localCount_ == 0) return kNonLocals;
    if (currentScope_ == TParamCollectionItem::NoOwner) return kUnownedLocals;
    if (!currentOwnerKnown_) {
        const auto scope = FindScope(KeyOf(currentScope_));
        currentOwner_ = scope == scopes_.end() ? nullptr : &*scope;
        currentOwnerKnown_ = true;
    }
    return currentOwner_ ? reinterpret_cast<uintptr_t>(currentOwner_) : kNonLocals;
}

int TParamCollection::IndexOf(const std::string& Name) const {
    const TParamCollectionItem* item = Find(Name);
    return item ? item->CachedIndex() : -1;
}

TParamCollectionItem* TParamCollection::Find(const std::string& Name) const {
    const uintptr_t locals = CurrentLocals();
    const size_t hash = AnsiLowerCaseHash(Name);
    if (locals != kNonLocals)
        if (TParamCollectionItem* local = GroupEnd(locals, Name, hash, true)) return local;
    return GroupEnd(kNonLocals, Name, hash, false);  // the one named earliest wins
}

TParamCollectionItem* TParamCollection::FindScoped(const std::string& Name, bool Local) const {
    const uintptr_t group = Local ? CurrentLocals() : kNonLocals;
    if (Local && group == kNonLocals) return nullptr;
    return GroupEnd(group, Name, AnsiLowerCaseHash(Name), true);
}

std::unique_ptr<TCustomParam> TParamCollection::CloneValue(const std::string& Name) const {
    const TParamCollectionItem* item = Find(Name);
    if (!item) return nullptr;
    const TParamType type = item->GetParamType();
    if (type < PT_INT || type > PT_STR) throw EParamError(Format("%s:不正な変数です", Name.c_str()));
    std::unique_ptr<TCustomParam> value = CreateParam(type);
    value->CopyFrom(item->Value());
    return value;
}

void TParamCollection::Reown(TParamCollectionItem& Item, int32_t OwnerId) {
    const TOwnerScope* scope = nullptr;
    if (OwnerId != TParamCollectionItem::NoOwner) {
        const size_t scopes = scopes_.size();
        scope = &*scopes_.insert(scopes_.end(), TOwnerScope{KeyOf(OwnerId)});  // at once when deepest
        if (scopes_.size() > scopes && OwnerId == currentScope_) {
            currentOwner_ = scope;
            currentOwnerKnown_ = true;
        }
    }
    const bool regroup = Item.IsLocal() && Ungroup(Item);  // a local's group is its owner's
    Disown(Item);
    Item.owner_ = scope;
    if (scope) {
        Item.prevOwned_ = scope->Last;
        if (scope->Last) scope->Last->nextOwned_ = &Item;
        scope->Last = &Item;
    }
    if (regroup) Group(Item);
}

void TParamCollection::Disown(TParamCollectionItem& Item) noexcept {
    const TOwnerScope* scope = Item.owner_;
    if (!scope) return;
    if (Item.prevOwned_) Item.prevOwned_->nextOwned_ = Item.nextOwned_;
    if (Item.nextOwned_)
        Item.nextOwned_->prevOwned_ = Item.prevOwned_;
    else
        scope->Last = Item.prevOwned_;
    Item.owner_ = nullptr;
    Item.prevOwned_ = Item.nextOwned_ = nullptr;
    if (scope->Last) return;
    if (scope == currentOwner_) currentOwner_ = nullptr;
    scopes_.erase(FindScope(scope->Key));
}

auto TParamCollection::FindScope(int64_t Key) const -> TScopes::const_iterator {
    if (scopes_.empty() || Key < scopes_.begin()->Key) return scopes_.end();
    if (Key == scopes_.begin()->Key) return scopes_.begin();
    const auto deepest = std::prev(scopes_.end());
    if (deepest->Key == Key) return deepest;
    return deepest->Key < Key ? scopes_.end() : scopes_.find(Key);
}

void TParamCollection::DeleteScope(int32_t Id) {
    if (Id == TParamCollectionItem::NoOwner)
        return DeleteIf([](const THashCollectionItem& Item) {
            const auto& item = static_cast<const TParamCollectionItem&>(Item);
            return item.OwnerId() == TParamCollectionItem::NoOwner && !item.IsSystem();
        });
    const auto scope = FindScope(KeyOf(Id));
    if (scope == scopes_.end()) return;  // a page without auto or local variables
    std::vector<TCollectionItem*> items;
    for (TParamCollectionItem* item = scope->Last; item; item = item->prevOwned_) items.push_back(item);
    DeleteItems(std::move(items));
}

void TParamCollection::RemoveScope(int32_t Id) {
    DeleteScope(Id);
    // The ids above Id go one lower, each into the place of the one below it, the first into
    // that of Id, which is gone. When fewer scopes lie below Id, their keys go one higher and the
    // base with them instead: their ids stay, and the keys above stand for one lower.
    const auto above = scopes_.upper_bound(KeyOf(Id));
    auto up = above, down = above;
    while (up != scopes_.end() && down != scopes_.begin()) {
        ++up;
        --down;
    }
    if (up == scopes_.end()) {
        for (auto scope = above; scope != scopes_.end(); ++scope) --scope->Key;
    } else {
        for (auto scope = scopes_.begin(); scope != above; ++scope) ++scope->Key;
        ++idBase_;
    }
    currentOwnerKnown_ = false;
    // What a lookup finds changed only for local items, which are seen by their owner id.
    if (localCount_ > 0) scopeGeneration_ = NewGeneration();
}

void TParamCollection::DeleteGameVariables() {
    DeleteIf([](const THashCollectionItem& Item) {
        const auto& item = static_cast<const TParamCollectionItem&>(Item);
        return !item.IsSystem() && !item.IsStatus();
    });
}

void TParamCollection::Clear() {
    DeleteGameVariables();
    textDelay_ = DefaultTextDelay;
    cursorName_.clear();
}

// ---- Save sections ----

template <class Pred>
void TParamCollection::WriteSection(TStream& Stream, Pred Wanted) const {
    std::vector<const TParamCollectionItem*> items;
    for (int i = Count() - 1; i >= 0; --i)
        if (Wanted(Items(i))) items.push_back(&Items(i));
    WriteStreamInt(Stream, static_cast<int32_t>(items.size()));
    for (const TParamCollectionItem* item : items) {
        WriteStreamByte(Stream, StoredTypeCode(item->Value()));
        item->SaveToStream(Stream);
    }
}

TParamCollectionItem* TParamCollection::ReadEntry(TStream& Stream) {
    const uint8_t type = ReadStreamByte(Stream);
    if (type > PT_STR) throw EReadError();
    TParamCollectionItem& item = AddParam(type);
    bool named = false;
    try {
        named = item.LoadFromStream(Stream);
    } catch (...) {
        Delete(item.CachedIndex());
        throw;
    }
    if (named) return &item;
    Delete(item.CachedIndex());
    return nullptr;
}

void TParamCollection::ReadSection(TStream& Stream) {
    const int32_t count = ReadStreamCount(Stream, kMinSectionEntry);
    // The entries come last first. Each is read through once as it comes, to check it and take
    // its bytes; then they are read into the table first to last, so that the variables keep
    // their saved order and a reference finds a variable declared before it.
    std::vector<std::unique_ptr<TMemoryStream>> entries;
    for (int32_t i = 0; i < count; ++i) {
        TRecordingStream recording(Stream);
        if (TParamCollectionItem* item = ReadEntry(recording)) Delete(item->CachedIndex());
        entries.push_back(recording.TakeCopy());
    }
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) ReadEntry(**entry);
}

void TParamCollection::SaveVariables(TStream& Stream) const {
    WriteSection(Stream, [](const TParamCollectionItem& item) { return !item.IsSystem() && !item.IsStatus(); });
    WriteStreamInt(Stream, textDelay_);
    WriteStreamString(Stream, cursorName_);
    WriteStreamString(Stream, selStr_);
    WriteStreamInt(Stream, selIndex_);
    WriteStreamString(Stream, tempVarName_);
    WriteStreamInt(Stream, static_cast<int32_t>(stack_.size()));
    for (const auto& stacked : stack_) {
        TMemoryStream& entry = *stacked;
        WriteStreamInt(Stream, static_cast<int32_t>(entry.Size()));
        Stream.WriteBuffer(entry.Memory(), entry.Size());
    }
}

void TParamCollection::LoadVariables(TStream& Stream, int32_t Version) {
    DeleteGameVariables();
    ReadSection(Stream);
    textDelay_ = ReadStreamInt(Stream);
    cursorName_ = ReadStreamString(Stream);
    if (Version >= 103) {
        selStr_ = ReadStreamString(Stream);
        selIndex_ = ReadStreamInt(Stream);
    }
    if (Version >= 113 && Version < 135) {
        std::array<int32_t, 6> settings{};
        for (int32_t& setting : settings) setting = ReadStreamInt(Stream);
        State().LoadHistorySettings(settings);
    }
    if (Version >= 121) SetTempVarName(ReadStreamString(Stream));
    stack_.clear();
    if (Version < 139) return;
    const int32_t count = ReadStreamCount(Stream, 4);
    for (int32_t i = 0; i < count; ++i) {
        const int32_t size = ReadStreamCount(Stream, 1);
        auto entry = std::make_unique<TMemoryStream>();
        entry->SetSize(size);
        Stream.ReadBuffer(entry->Memory(), size);
        stack_.push_back(std::move(entry));
    }
}

void TParamCollection::SaveStatusVariables(TStream& Stream) const {
    WriteSection(Stream, [](const TParamCollectionItem& item) { return item.IsStatus() && !item.IsSystem(); });
}

void TParamCollection::LoadStatusVariables(TStream& Stream, int32_t /*Version*/) { ReadSection(Stream); }

// ---- The variable stack ----

void TParamCollection::PushVariables(const std::vector<std::string>& Names) {
    std::vector<std::pair<const std::string*, const TParamCollectionItem*>> stored;
    for (const std::string& name : Names)
        if (const TParamCollectionItem* item = Find(name); item && item->GetParamType() != PT_NONE)
            stored.emplace_back(&name, item);
    const auto write = [&stored](TStream& Entry) {
        WriteStreamInt(Entry, static_cast<int32_t>(stored.size()));
        for (const auto& [name, item] : stored) {
            WriteStreamInt(Entry, StoredTypeCode(item->Value()));
            WriteStreamString(Entry, *name);
            item->Value().SaveToStream(Entry);
        }
    };
    // Written once only to be measured, so that the entry is charged (as it is sized) before
    // anything is written.
    TByteCounter counter;
    write(counter);
    auto entry = std::make_unique<TMemoryStream>();
    entry->SetSize(counter.Size());
    entry->SetPosition(0);
    write(*entry);
    stack_.push_back(std::move(entry));
}

void TParamCollection::PopVariables() {
    if (stack_.empty()) return;
    const std::unique_ptr<TMemoryStream> stacked = std::move(stack_.back());
    stack_.pop_back();
    TMemoryStream* const entry = stacked.get();
    entry->SetPosition(0);
    const int32_t count = ReadStreamCount(*entry, kMinStackEntry);
    for (int32_t i = 0; i < count; ++i) {
        const int32_t type = ReadStreamInt(*entry);
        if (type < PT_NONE || type > PT_STR) throw EReadError();
        const std::string name = ReadStreamString(*entry);
        TParamCollectionItem* item = Find(name);
        if (item && StoredTypeCode(item->Value()) != type) {
            if (item->IsSystem()) {
                CreateParam(static_cast<uint8_t>(type))->LoadFromStream(*entry);  // passed over
                continue;
            }
            Delete(item->CachedIndex());
            item = nullptr;
        }
        if (!item) {
            item = &AddParam(static_cast<uint8_t>(type));
            try {
                item->SetName(name);
            } catch (...) {
                Delete(item->CachedIndex());
                throw;
            }
        }
        item->Value().LoadFromStream(*entry);
    }
}
