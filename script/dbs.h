#pragma once
// Typed data tables: named in-memory tables of fixed-size records with an ordered list of typed
// fields, a list of rows and a current row, all held by the one table manager. Game-data tables
// (kind 0) go with every game save and are dropped by a reset; status tables (kind 1) go with the
// status data.
//
// Stream form (little-endian; a string is an int32 byte count and the bytes):
//   field:      i32 size; string name; u8 type
//   field list: i32 count; the fields
//   table:      string name; u8 kind; field list; u32 row count; each row as record-size raw
//               bytes; i32 current row (-1 for none)
//   manager:    u32 format version 100; u32 number of tables of the kind; for each a u8 type
//               code (0) and the table; for game tables then the active table's name ("" for
//               none).
#include "core/hash.h"
#include "core/header.h"
#include "core/membudget.h"
#include "core/sysutils.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class TCustomParam;
class TDBCustomTable;

// Field types, with the bytes each takes in a row.
inline constexpr uint8_t DBInteger = 1;  // int32
inline constexpr uint8_t DBFloat = 2;    // 80-bit extended
inline constexpr uint8_t DBBoolean = 3;  // one byte, 0 or 1
inline constexpr uint8_t DBString = 4;   // the declared length and a zero terminator

// Table kinds.
inline constexpr uint8_t DBGameTable = 0;
inline constexpr uint8_t DBStatusTable = 1;

// The longest string field (bytes, without the terminator) and the largest record: a field
// beyond either is refused, whether a script declares it or stored data holds it.
inline constexpr int32_t MaxDBStringLength = 1024 * 1024;
inline constexpr int32_t MaxDBRecordSize = 64 * 1024 * 1024;
// The bytes the rows of one table may take: a row, a field or an import that would take them
// past this is refused. Rows of a table without fields hold no bytes; their number is bounded by
// MaxDBEmptyRows instead.
inline constexpr int64_t MaxDBTableBytes = 64 * 1024 * 1024;
inline constexpr int32_t MaxDBEmptyRows = 16 * 1024 * 1024;

// The format version the manager writes.
inline constexpr int32_t DBFormatVersion = 100;

struct TDBField {
    int32_t Size = 0;  // bytes of the field in each row
    std::string Name;
    uint8_t Type = 0;

    void SaveToStream(TStream& Stream) const;
    // EReadError for a type outside 1..4 or a size that type cannot have.
    void LoadFromStream(TStream& Stream);
};

// The fields of one table, in order, with their offsets in a row. Names are found without
// regard to case; the first match wins.
class TDBFieldList {
public:
    explicit TDBFieldList(TDBCustomTable* Owner) : owner_(Owner) {}

    int Count() const { return static_cast<int>(fields_.size()); }
    // EListError outside 0..Count-1.
    const TDBField& Fields(int Index) const;
    // The sum of the field sizes.
    int32_t RecordSize() const { return recordSize_; }

    // Appends a field and returns its index: Type 1..4, its size from the type (Len + 1 for a
    // string, 0 <= Len <= MaxDBStringLength). Every existing row of the owner first grows by
    // the field's size, zero-filled. -1, changing nothing, for a name already present, another
    // type, a length outside its range, a record that would pass MaxDBRecordSize or rows that
    // would pass MaxDBTableBytes.
    int AddField(std::string_view Name, uint8_t Type, int32_t Len);
    // Room for Fields fields in all (no more than MaxDBRecordSize, as each takes a byte at least),
    // so that adding them neither moves those before nor grows the name index.
    void Reserve(int Fields);
    // -1 when absent.
    int IndexOf(std::string_view Name) const;
    // The byte offset of field Index in a row (Index within 0..Count-1).
    int32_t GetFieldOffset(int Index) const { return offsets_[static_cast<size_t>(Index)]; }
    // Clears this list, then adds each field of Other with its name, type and length.
    void Assign(const TDBFieldList& Other);
    // Exchanges the fields with Other's, each list keeping its owner: for owners without rows.
    void Swap(TDBFieldList& Other);
    // The same number of fields and, field by field, the same name (case-sensitive), type and
    // size.
    static bool SameLayout(const TDBFieldList& A, const TDBFieldList& B);
    // No fields, record size 0 (the rows are left to the owner).
    void Clear();

    void SaveToStream(TStream& Stream) const;
    // Replaces the fields by the stored ones; EReadError on a count the stream cannot hold, a
    // bad field or a record beyond MaxDBRecordSize.
    void LoadFromStream(TStream& Stream);

private:
    // The place of the first field whose name is AnsiSameText as Name, or the free place where
    // it would go (the index has a free place).
    size_t Find(std::string_view Name, uint32_t Hash) const;
    // Find for a field about to be appended, the index first grown to keep half its places free;
    // a free place found takes the name's hash bits.
    size_t Place(std::string_view Name);
    // Appends Field, and indexes it at Slot (from Place) when no field of its name precedes it.
    void Append(TDBField Field, size_t Slot);
    // The index made again with Places places (a power of two).
    void Rehash(size_t Places);

    TDBCustomTable* owner_;
    std::vector<TDBField> fields_;
    std::vector<int32_t> offsets_;
    // The first field of each name, AnsiSameText names as one: open addressing over a power of
    // two of places, each 32 bits in one flat array rather than a node of its own, so that a
    // header of many fields finds and adds each with one look-up into 4 bytes a place. A place
    // holds the field's number + 1 in its low 27 bits (0: free; a list has at most
    // MaxDBRecordSize = 2^26 fields) and 5 bits of the name's hash, by which most places of other
    // names are passed over without reading their names.
    std::vector<uint32_t> index_;
    int32_t recordSize_ = 0;
};

// A table: its field list, its name and its kind. The by-name cell operations look the field up
// and use the current row; the cell operations, navigation, selection, import, sort and rows
// belong to the concrete table, and here do nothing and answer 0, false, nullptr or -1.
class TDBCustomTable {
public:
    TDBCustomTable(std::string Name, uint8_t Kind) : fields_(this), name_(std::move(Name)), kind_(Kind) {}
    TDBCustomTable(const TDBCustomTable&) = delete;
    TDBCustomTable& operator=(const TDBCustomTable&) = delete;
    virtual ~TDBCustomTable() = default;

    TDBFieldList& Fields() { return fields_; }
    const TDBFieldList& Fields() const { return fields_; }
    const std::string& Name() const { return name_; }
    uint8_t Kind() const { return kind_; }

    // The type code written before the table in the manager's stream form.
    virtual uint8_t GetTypeCode() const { return 0; }
    virtual int32_t GetRecordCount() const { return 0; }
    // The current row, -1 for none.
    virtual int32_t GetRecNo() const { return -1; }
    // The current row's bytes (record-size bytes), nullptr when there is no current row.
    virtual uint8_t* GetCurrentRecord() { return nullptr; }
    // Row Row's bytes; Row must lie within 0..GetRecordCount()-1.
    virtual uint8_t* GetRecord(int32_t /*Row*/) { return nullptr; }
    // Grows every row by Size zero bytes at its end (before a field of that size is added).
    virtual void AddFieldData(uint8_t /*Type*/, int32_t /*Size*/) {}

    // Navigation. Append adds a zero-filled row at the end and makes it current (false, adding
    // none, when the rows would pass MaxDBTableBytes or MaxDBEmptyRows). Delete drops
    // the current row (the row after it becomes current, or the new last row) and answers
    // false in every case. First / Last: false on an empty table. Next: false without a
    // current row or at the last row. Prior: false below row 1. SetRecNo: a negative I makes no
    // row current (true); an I beyond the rows is false and leaves the current row.
    virtual bool Append() { return false; }
    virtual bool Delete() { return false; }
    virtual bool First() { return false; }
    virtual bool Last() { return false; }
    virtual bool Next() { return false; }
    virtual bool Prior() { return false; }
    virtual bool SetRecNo(int32_t /*I*/) { return false; }

    // The cell operations on the current row, by field name; false without a current row or
    // such a field.
    bool GetIntByName(std::string_view Field, int32_t& Value);
    bool SetIntByName(std::string_view Field, int32_t Value);
    bool GetFloatByName(std::string_view Field, long double& Value);
    bool SetFloatByName(std::string_view Field, long double Value);
    bool GetBoolByName(std::string_view Field, bool& Value);
    bool SetBoolByName(std::string_view Field, bool Value);
    bool GetStrByName(std::string_view Field, std::string& Value);
    bool SetStrByName(std::string_view Field, const std::string& Value);

    // Cell Row, Field read or written with conversion between the field's type and the value's:
    // false, changing nothing, for a row or field out of range. Reals become integers rounded to
    // nearest, ties to even (false for one no int32 holds); numbers become text as FloatToStr
    // and decimal; text reads as a number by StrToIntDef / TryStrToFloat (0 when it is none)
    // and as a boolean when it is exactly "TRUE"; text written into a string field is cut to
    // its length.
    virtual bool GetInt(int32_t /*Row*/, int32_t /*Field*/, int32_t& /*Value*/) { return false; }
    virtual bool SetInt(int32_t /*Row*/, int32_t /*Field*/, int32_t /*Value*/) { return false; }
    virtual bool GetFloat(int32_t /*Row*/, int32_t /*Field*/, long double& /*Value*/) { return false; }
    virtual bool SetFloat(int32_t /*Row*/, int32_t /*Field*/, long double /*Value*/) { return false; }
    virtual bool GetBool(int32_t /*Row*/, int32_t /*Field*/, bool& /*Value*/) { return false; }
    virtual bool SetBool(int32_t /*Row*/, int32_t /*Field*/, bool /*Value*/) { return false; }
    virtual bool GetStr(int32_t /*Row*/, int32_t /*Field*/, std::string& /*Value*/) { return false; }
    virtual bool SetStr(int32_t /*Row*/, int32_t /*Field*/, std::string_view /*Value*/) { return false; }

    // Appends to Rows, ascending, the rows whose cells match every key: key i is field
    // KeyFields[i] compared with KeyValues[i] (as many keys as the smaller element count), read
    // as the type of KeyValues. Strings: exact; IgnoreCase: without regard to case; Partial: the
    // cell's text occurs within the key's; both: the same after upper-casing both. Without
    // KeyFields or KeyValues (nullptr) every row is selected; an unknown field name selects
    // none.
    virtual void SelectRows(TIntList& /*Rows*/, const TCustomParam* /*KeyFields*/, const TCustomParam* /*KeyValues*/,
                            bool /*IgnoreCase*/, bool /*Partial*/) {}
    // Replaces fields and rows by tab-separated text (Shift-JIS): a header line of "name type
    // length" cells, then one row per non-empty line. False for no lines or a bad header (the
    // table is left empty), and for rows that would pass MaxDBTableBytes (the table is left as
    // it was).
    virtual bool LoadFromTabText(const TStringList& /*Lines*/) { return false; }

    // No fields and no rows.
    virtual void Clear() { fields_.Clear(); }
    // No rows (the fields stay), no current row.
    virtual void ClearRows() {}

    // Name, kind and field list (the concrete table adds its rows).
    virtual void SaveToStream(TStream& Stream) const;
    virtual void LoadFromStream(TStream& Stream, int32_t Version);

    // Reorders the rows by the fields named in Fields, each descending when the same element of
    // Orders reads true (as many keys as the smaller element count; unknown names are skipped).
    // The current row keeps its number.
    virtual void Sort(const TCustomParam& /*Fields*/, const TCustomParam& /*Orders*/) {}

private:
    TDBFieldList fields_;
    std::string name_;
    uint8_t kind_;
};

// A row, field, import or load its rows do not fit in raises EMemoryBudget, the table then as it
// was.
class TDBTable final : public TDBCustomTable {
public:
    using TDBCustomTable::TDBCustomTable;

    int32_t GetRecordCount() const override { return count_; }
    int32_t GetRecNo() const override { return recNo_; }
    uint8_t* GetCurrentRecord() override;
    uint8_t* GetRecord(int32_t Row) override {
        const int32_t place = Row < gapAt_ ? Row : Row + gapRows_;
        return data_.data() + static_cast<size_t>(place) * static_cast<size_t>(Fields().RecordSize());
    }
    void AddFieldData(uint8_t Type, int32_t Size) override;

    bool Append() override;
    bool Delete() override;
    bool First() override;
    bool Last() override;
    bool Next() override;
    bool Prior() override;
    bool SetRecNo(int32_t I) override;

    bool GetInt(int32_t Row, int32_t Field, int32_t& Value) override;
    bool SetInt(int32_t Row, int32_t Field, int32_t Value) override;
    bool GetFloat(int32_t Row, int32_t Field, long double& Value) override;
    bool SetFloat(int32_t Row, int32_t Field, long double Value) override;
    bool GetBool(int32_t Row, int32_t Field, bool& Value) override;
    bool SetBool(int32_t Row, int32_t Field, bool Value) override;
    bool GetStr(int32_t Row, int32_t Field, std::string& Value) override;
    bool SetStr(int32_t Row, int32_t Field, std::string_view Value) override;

    void SelectRows(TIntList& Rows, const TCustomParam* KeyFields, const TCustomParam* KeyValues, bool IgnoreCase,
                    bool Partial) override;
    bool LoadFromTabText(const TStringList& Lines) override;

    void Clear() override;
    void ClearRows() override;

    void SaveToStream(TStream& Stream) const override;
    // EReadError when the rows stored would take more bytes than the stream has left (checked
    // before any row is made), rows without fields number more than MaxDBEmptyRows, or the
    // current row lies beyond them.
    void LoadFromStream(TStream& Stream, int32_t Version) override;

    void Sort(const TCustomParam& Fields, const TCustomParam& Orders) override;

private:
    // The cell's bytes when Row and Field are in range, else nullptr.
    uint8_t* Cell(int32_t Row, int32_t Field);
    // Room for Bytes of rows without moving them again soon: the storage grows to at least twice
    // what it was.
    void Reserve(size_t Bytes);

    // Moves the gap to lie before row Row (0..count_).
    void MoveGap(int32_t Row);
    // The rows one after the other again.
    void CloseGap();

    // The rows one after the other, each record-size bytes, with a gap of gapRows_ rows' bytes
    // before row gapAt_: the rows deleted last, so that deleting rows one after another near one
    // place moves the others once, not once per row.
    std::vector<uint8_t> data_;
    int32_t count_ = 0;
    int32_t recNo_ = -1;
    int32_t gapAt_ = 0;
    int32_t gapRows_ = 0;
};

// The tables of the program in creation order, and the active one.
class TDBManager {
public:
    int32_t Count() const { return static_cast<int32_t>(tables_.size()); }
    // nullptr outside 0..Count-1.
    TDBCustomTable* GetTable(int32_t Index) const;
    // By name without regard to case; -1 when absent.
    int32_t IndexOf(std::string_view Name) const;
    // -1 when no table is active.
    int32_t ActiveIndex() const { return active_; }
    TDBCustomTable* GetActiveTable() const { return GetTable(active_); }
    // False, leaving the active table, when there is no such table.
    bool SetActive(std::string_view Name);

    // Makes the named table active and returns its index; -1 for an empty name. An existing
    // table keeps its kind and, for Kind 1, its fields and rows (Kind 0 clears them); a new one
    // is appended with Kind.
    int32_t CreateTable(const std::string& Name, uint8_t Kind);
    // Frees the named table; the active table stays active unless it was the one freed.
    void DeleteTable(std::string_view Name);
    // Frees every table of kind 0; no table is active afterwards.
    void ClearGameTables();
    // Frees every table; none active.
    void Clear();

    // The cell of the named table's lowest row selected by the keys (as SelectRows) in the named
    // field: false when the table is missing, no row is selected or the field is unknown.
    bool LocateCell(std::string_view Table, const TCustomParam* KeyFields, const TCustomParam* KeyValues,
                    bool IgnoreCase, bool Partial, std::string_view Field, TDBCustomTable*& Found, int32_t& Row,
                    int32_t& FieldIndex);
    // LocateCell, then the cell operation: a getter gives Default unless the cell was read; a
    // setter gives the write's result, false when no cell was found. Active table and current
    // rows stay.
    int32_t DirectGetInt(std::string_view Table, const TCustomParam* KeyFields, const TCustomParam* KeyValues,
                         bool IgnoreCase, bool Partial, std::string_view Field, int32_t Default);
    bool DirectSetInt(std::string_view Table, const TCustomParam* KeyFields, const TCustomParam* KeyValues,
                      bool IgnoreCase, bool Partial, std::string_view Field, int32_t Value);
    long double DirectGetFloat(std::string_view Table, const TCustomParam* KeyFields, const TCustomParam* KeyValues,
                               bool IgnoreCase, bool Partial, std::string_view Field, long double Default);
    bool DirectSetFloat(std::string_view Table, const TCustomParam* KeyFields, const TCustomParam* KeyValues,
                        bool IgnoreCase, bool Partial, std::string_view Field, long double Value);
    bool DirectGetBool(std::string_view Table, const TCustomParam* KeyFields, const TCustomParam* KeyValues,
                       bool IgnoreCase, bool Partial, std::string_view Field, bool Default);
    bool DirectSetBool(std::string_view Table, const TCustomParam* KeyFields, const TCustomParam* KeyValues,
                       bool IgnoreCase, bool Partial, std::string_view Field, bool Value);
    std::string DirectGetStr(std::string_view Table, const TCustomParam* KeyFields, const TCustomParam* KeyValues,
                             bool IgnoreCase, bool Partial, std::string_view Field, const std::string& Default);
    bool DirectSetStr(std::string_view Table, const TCustomParam* KeyFields, const TCustomParam* KeyValues,
                      bool IgnoreCase, bool Partial, std::string_view Field, const std::string& Value);

    // The target (not the active table itself) is emptied, takes the active table's fields and
    // one byte copy of each listed row of the active table, in list order; the last copied
    // becomes its current row. False without an active table or such a target.
    bool CopyRowsTo(std::string_view TargetName, const TIntList& Rows);
    // A byte copy of each listed row of the source appended to the active table (the last one
    // current). False without an active table or such a source, or when the two field lists
    // differ (SameLayout). The source may be the active table.
    bool InsertRowsFrom(std::string_view SourceName, const TIntList& Rows);

    // The tables of a kind in the stream form above.
    void SaveToStream(TStream& Stream, int32_t Kind) const;
    // Frees the tables of Kind and reads the stored ones in their place (the others stay); the
    // stored active name (game tables) or the last table read (status tables) becomes active.
    // EReadError on short or absurd input.
    void LoadFromStream(TStream& Stream, int32_t Kind);

private:
    // Frees the tables Drop answers true for; no table is active afterwards.
    template <class Pred>
    void FreeTables(Pred Drop);
    TDBCustomTable* Append(const std::string& Name, uint8_t Kind);

    std::vector<std::unique_ptr<TDBCustomTable>> tables_;
    int32_t active_ = -1;
    // The first table of each name, made again at the next look-up after tables were freed or
    // loaded (a stored name is read after its table is appended).
    mutable TAnsiTextMap<int32_t> index_;
    mutable bool indexStale_ = false;
};

// The one table manager, made at start-up beside the variable table and freed at shut-down.
extern TDBManager* DBManager;
void CreateDBManager();
void FreeDBManager();
