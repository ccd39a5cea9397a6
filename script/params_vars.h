#pragma once
// The variable table: named variables, each owning one value, with the four scopes of the
// script language, the lookup that lets a page's local variables hide global ones, the
// variable stack, and the variable sections of the game save and the status data. Beside it
// the reference value, which designates a variable of the table or one of its elements.
#include "core/hash.h"
#include "core/header.h"
#include "core/nodepool.h"
#include "script/params_values.h"

#include <array>
#include <memory>
#include <set>
#include <string>
#include <vector>

class TParamCollection;
class TParamCollectionItem;
class TPlayerState;

// The value of type code 0: instead of elements of its own it designates a variable of
// ParamMan, and one of its elements by flat index (0 for the first element or a scalar). With
// a target, reads and writes reach the target's element, and counts, dimensions, fills and the
// other array operations act on the target's value, with the target's conversions and index
// checks. Without one (never bound, or its variable since deleted) it reads as 0, 0.0, false
// or "", has Count, ParamType, DimCount and Dim 0, and ignores writes.
//
// Stream form: its own dimension list (kept but unused), the target name, the name of the bound
// variable ("" without a target), a reserved byte and the int32 element index.
class TParamVar : public TCustomParam {
public:
    TParamVar() = default;
    explicit TParamVar(std::string TargetName) : targetName_(std::move(TargetName)) {}

    // The name of the designated variable, as the expression wrote it.
    const std::string& TargetName() const { return targetName_; }
    void SetTargetName(const std::string& Name) { targetName_ = Name; }
    // The bound variable, nullptr when there is none.
    TParamCollectionItem* Target() const { return target_ ? *target_ : nullptr; }
    // Binds the target (nullptr unbinds).
    void SetTarget(TParamCollectionItem* Item);
    int32_t ElementIndex() const { return index_; }
    void SetElementIndex(int32_t Index) { index_ = Index; }

    // Designates one element of Item (which the name TargetName found; nullptr for none): the
    // subscripts must be as many as its DimCount; the flat index (last subscript fastest,
    // 32-bit wrapping arithmetic) must be below its Count. Otherwise EParamError
    // "a[1]\r\n添え字が不正です" or "a[1,3]\r\n要素数を超えています" and the element index stays.
    void BindElement(const std::string& TargetName, TParamCollectionItem* Item, const std::vector<int32_t>& Subscripts);

    // Binds the target to ParamMan->Find(TargetName): EParamError "\"name\" 変数がありません"
    // when no variable has the name. When the variable's value is itself a reference, its
    // element index is taken over, so this designates the same element.
    void Resolve();

    int32_t Count() const override;
    void SetCount(int32_t N) override;
    TParamType ParamType() const override;
    bool AsBool() const override;
    long double AsFloat() const override;
    int32_t AsInt() const override;
    std::string AsStr() const override;
    void SetBool(bool Value) override;
    void SetFloat(long double Value) override;
    void SetInt(int32_t Value) override;
    void SetStr(const std::string& Value) override;
    // Element I of the target (the own element index is not used).
    int32_t GetIntAt(int32_t I) const override;
    void SetIntAt(int32_t I, int32_t Value) override;
    long double GetFloatAt(int32_t I) const override;
    void SetFloatAt(int32_t I, long double Value) override;
    bool GetBoolAt(int32_t I) const override;
    void SetBoolAt(int32_t I, bool Value) override;
    std::string GetStrAt(int32_t I) const override;
    void SetStrAt(int32_t I, const std::string& Value) override;
    int32_t DimCount() const override;
    int32_t Dim(int32_t I) const override;
    void SetDims(const std::vector<int32_t>& Sizes) override;
    void FillInt(int32_t Value) override;
    void FillFloat(long double Value) override;
    void FillBool(bool Value) override;
    void FillStr(const std::string& Value) override;
    void Assign(const TCustomParam& Source) override;
    void SaveToStream(TStream& Stream) const override;
    // Binds the target to ParamMan->Find(bound name) when that is not empty (no target when
    // the variable no longer exists). EReadError on short input, the value then unchanged.
    void LoadFromStream(TStream& Stream) override;
    void ClearDims() override;
    void Unique() override;
    void Trim(const TCustomParam* Value) override;
    int32_t IndexOfStr(const std::string& Value, bool CaseSensitive, bool Partial) const override;

private:
    TCustomParam* TargetValue() const;

    std::string targetName_;
    // Shared with the bound variable, which empties it when it is freed.
    std::shared_ptr<TParamCollectionItem*> target_;
    uint8_t reserved_ = 0;
    int32_t index_ = 0;
};

// A new value of a type code (taken and 127): 0 TParamVar, 1 TParamInt, 2 TParamFloat,
// 3 TParamFlag, 4 TParamStr; nullptr for any other code.
std::unique_ptr<TCustomParam> CreateParam(uint8_t TypeCode);

// The type code under which a value is stored with its stream form: 0 for every reference
// (whatever the type of its target), else its ParamType.
TParamType StoredTypeCode(const TCustomParam& Value);

// The items of one owner id, linked through the items from the one that joined last. The table
// keeps one for each owner id that owns any; the items reach their owner id through it, and the
// lookup finds an owner's local items by it, so that the ids above a removed call frame move down
// without a walk over the items they own.
struct TOwnerScope {
    // The owner id plus the table's id base; changed in place by the table, which keeps the
    // scopes in the order of their ids.
    mutable int64_t Key;
    mutable TParamCollectionItem* Last = nullptr;
};

// One variable of the table: its name, its value (owned), and the fields of its scope.
//
// Record form: the name (int32 length and bytes), the value's stream form, the status byte,
// the reserved byte, the int32 owner id and the local byte.
class TParamCollectionItem : public THashCollectionItem {
public:
    // A new item holds an unbound reference until its value is set.
    TParamCollectionItem();
    ~TParamCollectionItem() override;

    TCustomParam& Value() const { return *value_; }
    // A name must be non-empty, hold no space and not begin with a digit; otherwise EParamError
    // "\"name\"：変数名が不正です" and the old name stays.
    void SetName(const std::string& Name) override;
    // The value becomes a new one of the type code (CreateParam); EParamError "内部エラー" for a
    // code that gives none, the old value then kept.
    void SetParamType(uint8_t TypeCode);
    // The value becomes the system value of index I (0..50) and the name its system name.
    void InitSystem(int I);
    bool IsSystem() const;

    // Scope fields: status (scope 3), owner id (the call depth of scopes 1 and 2, -1 otherwise)
    // and local (scope 2: visible only at its owner's depth). A system variable owns nothing:
    // its owner id stays NoOwner.
    bool IsStatus() const { return status_; }
    void SetStatus(bool Status) { status_ = Status; }
    static constexpr int32_t NoOwner = -1;
    int32_t OwnerId() const;
    void SetOwnerId(int32_t OwnerId);
    bool IsLocal() const { return local_; }
    void SetLocal(bool Local);

    // The value's operations.
    TParamType GetParamType() const { return value_->ParamType(); }
    int32_t GetAsInt() const { return value_->AsInt(); }
    void SetAsInt(int32_t V) { value_->SetInt(V); }
    long double GetAsFloat() const { return value_->AsFloat(); }
    void SetAsFloat(long double V) { value_->SetFloat(V); }
    bool GetAsBool() const { return value_->AsBool(); }
    void SetAsBool(bool V) { value_->SetBool(V); }
    std::string GetAsStr() const { return value_->AsStr(); }
    void SetAsStr(const std::string& V) { value_->SetStr(V); }
    int32_t GetIntAt(int32_t I) const { return value_->GetIntAt(I); }
    void SetIntAt(int32_t I, int32_t V) { value_->SetIntAt(I, V); }
    long double GetFloatAt(int32_t I) const { return value_->GetFloatAt(I); }
    void SetFloatAt(int32_t I, long double V) { value_->SetFloatAt(I, V); }
    bool GetBoolAt(int32_t I) const { return value_->GetBoolAt(I); }
    void SetBoolAt(int32_t I, bool V) { value_->SetBoolAt(I, V); }
    std::string GetStrAt(int32_t I) const { return value_->GetStrAt(I); }
    void SetStrAt(int32_t I, const std::string& V) { value_->SetStrAt(I, V); }
    int32_t Count() const { return value_->Count(); }
    void SetCount(int32_t N) { value_->SetCount(N); }
    int32_t DimCount() const { return value_->DimCount(); }
    int32_t Dim(int32_t I) const { return value_->Dim(I); }
    void SetDims(const std::vector<int32_t>& Sizes) { value_->SetDims(Sizes); }
    void FillInt(int32_t V) { value_->FillInt(V); }
    void FillFloat(long double V) { value_->FillFloat(V); }
    void FillBool(bool V) { value_->FillBool(V); }
    void FillStr(const std::string& V) { value_->FillStr(V); }
    using THashCollectionItem::Assign;
    void Assign(const TCustomParam& Source) { value_->Assign(Source); }
    int32_t IndexOfStr(const std::string& V, bool CaseSensitive, bool Partial) const {
        return value_->IndexOfStr(V, CaseSensitive, Partial);
    }
    // ConvertParam(value, Source).
    void ConvertFrom(const TCustomParam& Source) { ConvertParam(*value_, Source); }

    // Binds this item's reference value to one element of the variable TargetName of its
    // table (TParamVar::BindElement). A subscript beyond its own dimension is not refused while
    // the flat index stays below the count.
    void SetReference(const std::string& TargetName, const std::vector<int32_t>& Subscripts);

    void SaveToStream(TStream& Stream) const;
    // Reads a whole record; a non-empty name is set through SetName (which may refuse it).
    // Returns whether the record had a name. EReadError on short or absurd input.
    bool LoadFromStream(TStream& Stream);

protected:
    void Added() override;
    void Deleting() override;
    // Also puts the item in its lookup group, as the one of its name named last.
    void LinkHash() override;

private:
    friend class TParamCollection;
    friend class TParamVar;

    // The key of the item's lookup group (TParamCollection::groups_) beside its name.
    uintptr_t GroupKey() const;

    // Tells the table that what a lookup along this item's chain finds may have changed.
    void Touch();

    std::unique_ptr<TCustomParam> value_;
    uint8_t reserved_ = 0;
    bool status_ = false;
    bool local_ = false;
    // The owner's scope (nullptr for NoOwner) and the items that joined it before and after this one.
    const TOwnerScope* owner_ = nullptr;
    TParamCollectionItem* prevOwned_ = nullptr;
    TParamCollectionItem* nextOwned_ = nullptr;
    // The order in which items were named (the larger named later), and the name's hash.
    uint64_t nameStamp_ = 0;
    size_t nameHash_ = 0;
    // What references bound to this item hold, made when the first binds; emptied when the item
    // is freed.
    std::shared_ptr<TParamCollectionItem*> handle_;
};

// The one variable table. Positions 0..50 hold the system variables, created with the table
// and never deleted, saved or cleared.
class TParamCollection : public THashCollection {
public:
    TParamCollection();
    ~TParamCollection() override;

    TParamCollectionItem& Items(int Index) const {
        return static_cast<TParamCollectionItem&>(THashCollection::Items(Index));
    }
    // A new unnamed global item holding CreateParam(TypeCode); the caller names it.
    // EParamError "内部エラー" for a code that gives no value.
    TParamCollectionItem& AddParam(uint8_t TypeCode);

    // The lookup of every script name: of the items of that name, the local one owned by the
    // current scope that was named last; else the non-local one named first; -1 when none. The
    // work is that of the items of that name the current scope owns and of the non-local ones,
    // whatever the locals of other depths.
    int IndexOf(const std::string& Name) const override;
    TParamCollectionItem* Find(const std::string& Name) const;
    // Of the items of that name, the one named last that is local and owned by the current scope
    // (Local), or that is not local (not Local); nullptr when none.
    TParamCollectionItem* FindScoped(const std::string& Name, bool Local) const;
    // A new plain value of the variable's type holding a copy of its elements; nullptr when no
    // variable has the name; EParamError "name:不正な変数です" when its type is not 1..4.
    std::unique_ptr<TCustomParam> CloneValue(const std::string& Name) const;
    // Deletes every item owned by Id (auto-discard and local variables of that depth), last
    // first; system variables are never deleted. The work is that of the items Id owns, except
    // for NoOwner, whose deletion walks the table.
    void DeleteScope(int32_t Id);
    // Removes call depth Id (0 or more): DeleteScope(Id), then the items of every owner id above
    // Id belong to the id one lower, as the frames above a removed frame move down one depth.
    // The work is that of the items Id owns and of the owner ids above it or, when fewer, of
    // those below it; never of the items the others own.
    void RemoveScope(int32_t Id);
    // Deletes every item that is neither a system nor a status variable; the text delay
    // becomes 50 and the cursor name "".
    void Clear() override;

    // The game-save section: int32 N and N entries (type code byte and item record) of the
    // variables that are neither system nor status, last first; the text delay, cursor name,
    // selection string and index, TempVarName; the int32 number of stacked streams and each,
    // bottom first, as an int32 byte length and its bytes.
    void SaveVariables(TStream& Stream) const;
    // Replaces the game variables and the values saved beside them by those of a section
    // written by save version Version. The variables take their saved order in the table.
    // EReadError on short or absurd input (a count, length or type code that cannot be).
    void LoadVariables(TStream& Stream, int32_t Version);
    // The status section: int32 N and N entries of the status variables, last first.
    void SaveStatusVariables(TStream& Stream) const;
    // Adds the variables of a status section, in their saved order.
    void LoadStatusVariables(TStream& Stream, int32_t Version);

    // Stores the current values of the named variables (those that exist and have a type) as
    // one entry of the variable stack. EMemoryBudget, nothing stored, when the title's memory
    // has no room for it.
    void PushVariables(const std::vector<std::string>& Names);
    // Restores the variables of the last entry and drops it; nothing on an empty stack. A
    // variable stored with another type is replaced (created again as a global when it is
    // gone); a system variable is never replaced, and an entry for one whose type has changed
    // is skipped. EReadError on a damaged entry, which is dropped all the same.
    void PopVariables();

    // The call depth the lookup takes as the current scope.
    int32_t CurrentScope() const { return currentScope_; }
    void SetCurrentScope(int32_t Scope);

    // Numbers that change whenever a lookup may find something else: one per hash chain
    // (an item of the chain added, deleted, renamed, made local or given another owner, or its
    // value object replaced) and one for the scope (the current scope changed while local
    // items exist). No two tables ever share a number, so a cached lookup cannot outlive its table.
    uint64_t ChainGeneration(int Bucket) const { return chainGenerations_[static_cast<size_t>(Bucket)]; }
    uint64_t ScopeGeneration() const { return scopeGeneration_; }
    // The newest number any table has taken, moved on also when "@Temp" is given another name:
    // while it stays, no lookup of any table and no variable "@Temp" stands for has changed.
    static uint64_t LastGeneration() { return lastGeneration_; }

    // The values of "@TextDelay", "@Cursor", "@SelStr" and "@SelIndex", and the name of the
    // variable "@Temp" stands for.
    int32_t TextDelay() const { return textDelay_; }
    void SetTextDelay(int32_t Delay) { textDelay_ = Delay; }
    const std::string& CursorName() const { return cursorName_; }
    void SetCursorName(const std::string& Name) { cursorName_ = Name; }
    const std::string& SelStr() const { return selStr_; }
    void SetSelStr(const std::string& S) { selStr_ = S; }
    int32_t SelIndex() const { return selIndex_; }
    void SetSelIndex(int32_t Index) { selIndex_ = Index; }
    const std::string& TempVarName() const { return tempVarName_; }
    void SetTempVarName(const std::string& Name);

    // The player state the system variables read and write: the one given (not owned), or a
    // default that reads 0 or "" and ignores writes.
    TPlayerState& State() const { return *state_; }
    void SetState(TPlayerState* State);

private:
    friend class TParamCollectionItem;

    // Deletes every item that is neither a system nor a status variable, last first.
    void DeleteGameVariables();
    // Writes the type code and record of each item that Wanted picks, last first, after their count.
    template <class Pred>
    void WriteSection(TStream& Stream, Pred Wanted) const;
    // Reads a section's count and entries; see LoadVariables.
    void ReadSection(TStream& Stream);
    // Reads one entry into a new item; nullptr (and no item) when its record has no name.
    TParamCollectionItem* ReadEntry(TStream& Stream);

    void TouchChain(int Bucket) { chainGenerations_[static_cast<size_t>(Bucket)] = NewGeneration(); }
    static uint64_t NewGeneration() { return ++lastGeneration_; }
    static inline uint64_t lastGeneration_ = 0;  // main thread only

    int32_t currentScope_ = 0;
    std::array<uint64_t, 256> chainGenerations_;
    uint64_t scopeGeneration_;
    int32_t localCount_ = 0;  // items that are local
    // The scope of each owner id that owns any item (NoOwner aside), in the order of the ids,
    // found by its key: the owner id plus idBase_.
    struct TScopeOrder {
        using is_transparent = void;
        static int64_t KeyOf(int64_t Key) { return Key; }
        static int64_t KeyOf(const TOwnerScope& Scope) { return Scope.Key; }
        bool operator()(const auto& A, const auto& B) const { return KeyOf(A) < KeyOf(B); }
    };
    using TScopes = std::pmr::set<TOwnerScope, TScopeOrder>;
    TNodePool scopeNodes_;  // so that the scopes of a nested run of calls lie side by side
    TScopes scopes_{&scopeNodes_};
    int64_t idBase_ = 0;
    int64_t KeyOf(int32_t OwnerId) const { return OwnerId + idBase_; }
    // Item joins the scope of OwnerId (none for NoOwner), leaving its own.
    void Reown(TParamCollectionItem& Item, int32_t OwnerId);
    // Item leaves its scope, which goes when it has no item left.
    void Disown(TParamCollectionItem& Item) noexcept;
    // The scope of a key, end() when none. The shallowest and the deepest are looked at first:
    // calls, returns and DeleteStack(0) reach them as a rule.
    TScopes::const_iterator FindScope(int64_t Key) const;
    // The scope of the current scope's id, nullptr when it owns nothing; looked up again only
    // after the current scope or the ids changed.
    mutable const TOwnerScope* currentOwner_ = nullptr;
    mutable bool currentOwnerKnown_ = false;

    // The named items by group for the lookups: a group holds the non-local items of a name, or
    // the local ones of a name and owner, the owner's scope standing for it (its id may move) or
    // kUnownedLocals for NoOwner. An open table at most half full: each entry lies at the first
    // free place from its home on, the low bits of its hash. (An unnamed item, only ever between
    // its adding and its naming, is in none.)
    static constexpr uintptr_t kNonLocals = 0;
    static constexpr uintptr_t kUnownedLocals = 1;
    struct TGroupEntry {
        uint64_t Hash = 0;  // GroupHash of the item's key and name
        TParamCollectionItem* Item = nullptr;  // nullptr for a free place
    };
    std::vector<TGroupEntry> groups_;
    size_t grouped_ = 0;
    uint64_t nameStamps_ = 0;  // the stamp of the item named last
    // The name's hash offset by the scope's place among the scopes' nodes (about 64 bytes each,
    // side by side): the locals of one name at the depths of a nested run of calls, whose scopes
    // were made one after the other, lie about 16 places apart, and the locals of a scope made
    // where one was freed take its places.
    static uint64_t GroupHash(uintptr_t Key, size_t NameHash) { return NameHash + (Key >> 6) * 16; }
    size_t GroupHome(uint64_t Hash) const { return static_cast<size_t>(Hash) & (groups_.size() - 1); }
    // A new item, room made for it in the groups before it is added: joining its group as it is
    // added cannot fail.
    TParamCollectionItem& AddItem();
    // Makes room for one more item in the groups.
    void ReserveGroup();
    // Puts the entry at the first free place from its home on (room made).
    void Place(const TGroupEntry& Entry) noexcept;
    // Item joins the group of its key and name, room made (by ReserveGroup, or by the Ungroup
    // that took it out).
    void Group(TParamCollectionItem& Item) noexcept;
    // Item leaves its group, before its key or name changes; false when it was in none.
    bool Ungroup(const TParamCollectionItem& Item) noexcept { return !Item.Name().empty() && UngroupNamed(Item); }
    bool UngroupNamed(const TParamCollectionItem& Item) noexcept;
    // Of group Key's items named Name (hash NameHash), the one named last (Last) or first;
    // nullptr when none.
    TParamCollectionItem* GroupEnd(uintptr_t Key, std::string_view Name, size_t NameHash, bool Last) const;
    // The group key of the current scope's locals; kNonLocals when it owns none.
    uintptr_t CurrentLocals() const;
    std::vector<std::unique_ptr<TMemoryStream>> stack_;  // each entry: the stored variables
    std::string selStr_;
    int32_t selIndex_ = 0;
    int32_t textDelay_ = DefaultTextDelay;
    std::string cursorName_;
    std::string tempVarName_;
    std::unique_ptr<TPlayerState> defaultState_;
    TPlayerState* state_;
};

// A cached Find of one name in ParamMan: looked up again only when the table's generations
// say the answer may have changed. With the variable, the kinds of its value object that the
// expression runner reads directly.
class TParamBinding {
public:
    explicit TParamBinding(std::string Name);
    const std::string& Name() const { return name_; }
    // ParamMan->Find(Name), nullptr when none.
    TParamCollectionItem* Get(const TParamCollection& Vars) {
        if (Vars.ChainGeneration(bucket_) != chainGeneration_ || Vars.ScopeGeneration() != scopeGeneration_)
            Rebind(Vars);
        return item_;
    }
    // What the last Get gave.
    TParamCollectionItem* Item() const { return item_; }
    // The value of the found variable when it is a plain int, else nullptr (valid after Get).
    TParamInt* IntValue() const { return intValue_; }
    // The value of the found variable when it is a reference, else nullptr (valid after Get).
    const TParamVar* ReferenceValue() const { return referenceValue_; }

private:
    void Rebind(const TParamCollection& Vars);

    std::string name_;
    int bucket_;
    uint64_t chainGeneration_ = 0;
    uint64_t scopeGeneration_ = 0;
    TParamCollectionItem* item_ = nullptr;
    TParamInt* intValue_ = nullptr;
    const TParamVar* referenceValue_ = nullptr;
};

// The variable table of the player, created before any script runs and freed at shut-down.
extern TParamCollection* ParamMan;
void CreateParamMan();
void FreeParamMan();
