#include "script/dbs.h"

#include "core/jstrm.h"
#include "core/sysutils.h"
#include "script/params_values.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>

TDBManager* DBManager = nullptr;

void CreateDBManager() {
    if (!DBManager) DBManager = new TDBManager();
}

void FreeDBManager() {
    delete DBManager;
    DBManager = nullptr;
}

namespace {

constexpr int32_t RealSize = 10;
constexpr char TrueText[] = "TRUE";
constexpr char FalseText[] = "FALSE";
// The smallest stored field (size, empty name, type) and table (empty name, kind, no fields, no
// rows, current row), which bound the stored counts.
constexpr int64_t MinStoredField = 4 + 4 + 1;
constexpr int64_t MinStoredTable = 4 + 1 + 4 + 4 + 4;

// The bytes a field of Type takes in a row; 0 for a type or string length there is none of.
int32_t FieldSize(uint8_t Type, int32_t Len) {
    switch (Type) {
    case DBInteger:
        return 4;
    case DBFloat:
        return RealSize;
    case DBBoolean:
        return 1;
    case DBString:
        return Len >= 0 && Len <= MaxDBStringLength ? Len + 1 : 0;
    default:
        return 0;
    }
}

// The hash that places a name in the field index: AnsiSameText names hash alike.
uint32_t NameHash(std::string_view Name) {
    const uint64_t hash = AnsiLowerCaseHash(Name);
    return static_cast<uint32_t>(hash ^ (hash >> 32));
}

// A place of the field index: the field's number + 1 in the low 27 bits (0 for a free place)
// under the low 5 bits of its name's hash.
constexpr int IndexFieldBits = 27;
constexpr uint32_t IndexFieldMask = (1u << IndexFieldBits) - 1;
static_assert(MaxDBRecordSize < IndexFieldMask);

uint32_t IndexTag(uint32_t Hash) { return Hash << IndexFieldBits; }

// The field a place holds, -1 for a free place.
int PlacedField(uint32_t Place) { return static_cast<int>(Place & IndexFieldMask) - 1; }

// The first place to try for Hash in an index of Places places (a power of two, at most 2^31):
// Fibonacci hashing, the top bits of the hash times 2^32 / phi.
size_t FirstPlace(uint32_t Hash, size_t Places) {
    return (Hash * 2654435769u) >> (std::countl_zero(static_cast<uint32_t>(Places)) + 1);
}

// Whether Rows rows of RecordSize bytes stay within what one table may hold.
bool RowsFit(int64_t Rows, int64_t RecordSize) {
    return RecordSize > 0 ? Rows * RecordSize <= MaxDBTableBytes : Rows <= MaxDBEmptyRows;
}

// The delimiter of tab-separated text: a double-byte character's bytes are never taken for it.
const TDelimiterSet Tab("\t");

// Adds the fields a header line of tab-separated text declares, one per cell of "name type
// length": the type word int, float or bool, anything else a string of the length (80 when
// none). False for a cell without a name or a string length no field can have.
bool AddTabFields(TDBFieldList& Fields, const std::string& Header) {
    // The cells are cut off the header one at a time, as views into it.
    int count = 0;
    for (std::string_view cells = Header; !cells.empty(); ++count) JStrSplitToken(cells, Tab);
    Fields.Reserve(count);
    const TDelimiterSet space(" ");
    for (std::string_view cells = Header; !cells.empty();) {
        std::string_view rest = JStrSplitToken(cells, Tab);
        const std::string_view name = JStrTrimmed(JStrSplitToken(rest, space));
        const std::string_view word = JStrTrimmed(JStrSplitToken(rest, space));
        const uint8_t type = word == "int" ? DBInteger : word == "float" ? DBFloat : word == "bool" ? DBBoolean : DBString;
        const int32_t len = StrToIntDef(JStrTrimmed(rest), 80);
        if (name.empty() || (type == DBString && FieldSize(type, len) == 0)) return false;
        Fields.AddField(name, type, len);
    }
    return true;
}

int32_t LoadInt(const uint8_t* Cell) {
    int32_t v;
    memcpy(&v, Cell, sizeof v);
    return v;
}

void StoreInt(uint8_t* Cell, int32_t Value) { memcpy(Cell, &Value, sizeof Value); }

long double LoadReal(const uint8_t* Cell) {
    long double v = 0;
    memcpy(&v, Cell, RealSize);
    return v;
}

void StoreReal(uint8_t* Cell, long double Value) { memcpy(Cell, &Value, RealSize); }

// A string cell's text: its bytes up to the terminator, never past the declared length.
std::string_view LoadText(const uint8_t* Cell, int32_t Size) {
    const char* text = reinterpret_cast<const char*>(Cell);
    return {text, strnlen(text, static_cast<size_t>(Size - 1))};
}

// Cut to the field's length; the rest of the cell is zero.
void StoreText(uint8_t* Cell, int32_t Size, std::string_view Text) {
    const size_t n = std::min(Text.size(), static_cast<size_t>(Size - 1));
    memcpy(Cell, Text.data(), n);
    memset(Cell + n, 0, static_cast<size_t>(Size) - n);
}

// Rounded to nearest, ties to even; false when no int32 holds the result.
bool RoundToInt(long double Value, int32_t& Result) {
    const long double r = std::nearbyint(Value);
    if (!(r >= std::numeric_limits<int32_t>::min() && r <= std::numeric_limits<int32_t>::max())) return false;
    Result = static_cast<int32_t>(r);
    return true;
}

long double TextToReal(std::string_view Text) {
    long double v = 0;
    return TryStrToFloat(Text, v) ? v : 0;
}

// A real key in the row order: the numbers by value, NaN after every number.
int CompareReals(long double A, long double B) {
    if (std::isnan(A) || std::isnan(B)) return std::isnan(A) - std::isnan(B);
    return A < B ? -1 : A > B ? 1 : 0;
}

// Whether a string cell matches a string key under the selection's rules.
bool TextMatches(std::string_view Cell, const std::string& Key, bool IgnoreCase, bool Partial) {
    if (!Partial) return IgnoreCase ? AnsiSameText(Cell, Key) : Cell == Key;
    if (IgnoreCase) return JStrPos(AnsiUpperCase(Cell), AnsiUpperCase(Key)) > 0;
    return JStrPos(std::string(Cell), Key) > 0;
}

}  // namespace

// ---- Fields ----

void TDBField::SaveToStream(TStream& Stream) const {
    WriteStreamInt(Stream, Size);
    WriteStreamString(Stream, Name);
    WriteStreamByte(Stream, Type);
}

void TDBField::LoadFromStream(TStream& Stream) {
    const int32_t size = ReadStreamInt(Stream);
    std::string name = ReadStreamString(Stream);
    const uint8_t type = ReadStreamByte(Stream);
    if (size == 0 || FieldSize(type, type == DBString ? size - 1 : 0) != size) throw EReadError();
    Size = size;
    Name = std::move(name);
    Type = type;
}

const TDBField& TDBFieldList::Fields(int Index) const {
    if (Index < 0 || Index >= Count()) RaiseListIndexError(Index);
    return fields_[static_cast<size_t>(Index)];
}

size_t TDBFieldList::Find(std::string_view Name, uint32_t Hash) const {
    const size_t mask = index_.size() - 1;
    for (size_t i = FirstPlace(Hash, index_.size());; i = (i + 1) & mask) {
        const int field = PlacedField(index_[i]);
        if (field < 0 || ((index_[i] & ~IndexFieldMask) == IndexTag(Hash) &&
                          AnsiSameText(fields_[static_cast<size_t>(field)].Name, Name)))
            return i;
    }
}

size_t TDBFieldList::Place(std::string_view Name) {
    if (2 * (fields_.size() + 1) > index_.size()) Rehash(std::bit_ceil(std::max<size_t>(16, 4 * fields_.size())));
    const uint32_t hash = NameHash(Name);
    const size_t slot = Find(Name, hash);
    if (PlacedField(index_[slot]) < 0) index_[slot] = IndexTag(hash);
    return slot;
}

void TDBFieldList::Rehash(size_t Places) {
    // The fields in order, each indexed unless a field of its name came before it.
    index_.assign(Places, 0);
    for (size_t field = 0; field < fields_.size(); ++field) {
        const uint32_t hash = NameHash(fields_[field].Name);
        uint32_t& place = index_[Find(fields_[field].Name, hash)];
        if (PlacedField(place) < 0) place = IndexTag(hash) | static_cast<uint32_t>(field + 1);
    }
}

void TDBFieldList::Append(TDBField Field, size_t Slot) {
    if (PlacedField(index_[Slot]) < 0) index_[Slot] |= static_cast<uint32_t>(Count() + 1);
    offsets_.push_back(recordSize_);
    recordSize_ += Field.Size;
    fields_.push_back(std::move(Field));
}

int TDBFieldList::AddField(std::string_view Name, uint8_t Type, int32_t Len) {
    const int32_t size = FieldSize(Type, Len);
    if (size == 0 || size > MaxDBRecordSize - recordSize_ || !RowsFit(owner_->GetRecordCount(), recordSize_ + size))
        return -1;
    const size_t slot = Place(Name);
    if (PlacedField(index_[slot]) >= 0) return -1;
    owner_->AddFieldData(Type, size);
    Append({size, std::string(Name), Type}, slot);
    return Count() - 1;
}

void TDBFieldList::Reserve(int Fields) {
    const size_t fields = static_cast<size_t>(std::clamp(Fields, 0, MaxDBRecordSize));
    fields_.reserve(fields);
    offsets_.reserve(fields);
    if (2 * fields > index_.size()) Rehash(std::bit_ceil(2 * fields));
}

int TDBFieldList::IndexOf(std::string_view Name) const {
    return index_.empty() ? -1 : PlacedField(index_[Find(Name, NameHash(Name))]);
}

void TDBFieldList::Assign(const TDBFieldList& Other) {
    Clear();
    Reserve(Other.Count());
    for (const TDBField& field : Other.fields_)
        AddField(field.Name, field.Type, field.Type == DBString ? field.Size - 1 : 0);
}

void TDBFieldList::Swap(TDBFieldList& Other) {
    fields_.swap(Other.fields_);
    offsets_.swap(Other.offsets_);
    index_.swap(Other.index_);
    std::swap(recordSize_, Other.recordSize_);
}

bool TDBFieldList::SameLayout(const TDBFieldList& A, const TDBFieldList& B) {
    return std::equal(A.fields_.begin(), A.fields_.end(), B.fields_.begin(), B.fields_.end(),
                      [](const TDBField& X, const TDBField& Y) {
                          return X.Name == Y.Name && X.Type == Y.Type && X.Size == Y.Size;
                      });
}

void TDBFieldList::Clear() {
    fields_.clear();
    offsets_.clear();
    index_.clear();
    recordSize_ = 0;
}

void TDBFieldList::SaveToStream(TStream& Stream) const {
    WriteStreamInt(Stream, Count());
    for (const TDBField& field : fields_) field.SaveToStream(Stream);
}

void TDBFieldList::LoadFromStream(TStream& Stream) {
    Clear();
    const int32_t count = ReadStreamCount(Stream, MinStoredField);
    for (int32_t i = 0; i < count; ++i) {
        TDBField field;
        field.LoadFromStream(Stream);
        if (field.Size > MaxDBRecordSize - recordSize_) throw EReadError();
        const size_t slot = Place(field.Name);
        Append(std::move(field), slot);
    }
}

// ---- The table ----

bool TDBCustomTable::GetIntByName(std::string_view Field, int32_t& Value) {
    return GetInt(GetRecNo(), fields_.IndexOf(Field), Value);
}
bool TDBCustomTable::SetIntByName(std::string_view Field, int32_t Value) {
    return SetInt(GetRecNo(), fields_.IndexOf(Field), Value);
}
bool TDBCustomTable::GetFloatByName(std::string_view Field, long double& Value) {
    return GetFloat(GetRecNo(), fields_.IndexOf(Field), Value);
}
bool TDBCustomTable::SetFloatByName(std::string_view Field, long double Value) {
    return SetFloat(GetRecNo(), fields_.IndexOf(Field), Value);
}
bool TDBCustomTable::GetBoolByName(std::string_view Field, bool& Value) {
    return GetBool(GetRecNo(), fields_.IndexOf(Field), Value);
}
bool TDBCustomTable::SetBoolByName(std::string_view Field, bool Value) {
    return SetBool(GetRecNo(), fields_.IndexOf(Field), Value);
}
bool TDBCustomTable::GetStrByName(std::string_view Field, std::string& Value) {
    return GetStr(GetRecNo(), fields_.IndexOf(Field), Value);
}
bool TDBCustomTable::SetStrByName(std::string_view Field, const std::string& Value) {
    return SetStr(GetRecNo(), fields_.IndexOf(Field), Value);
}

void TDBCustomTable::SaveToStream(TStream& Stream) const {
    WriteStreamString(Stream, name_);
    WriteStreamByte(Stream, kind_);
    fields_.SaveToStream(Stream);
}

void TDBCustomTable::LoadFromStream(TStream& Stream, int32_t /*Version*/) {
    Clear();
    name_ = ReadStreamString(Stream);
    kind_ = ReadStreamByte(Stream);
    fields_.LoadFromStream(Stream);
}

uint8_t* TDBTable::GetCurrentRecord() { return recNo_ >= 0 ? GetRecord(recNo_) : nullptr; }

void TDBTable::Reserve(size_t Bytes) {
    if (Bytes <= data_.capacity()) return;
    const size_t capacity = std::max(Bytes, std::min(2 * data_.capacity(), static_cast<size_t>(MaxDBTableBytes)));
    data_.reserve(capacity);
}

void TDBTable::MoveGap(int32_t Row) {
    const size_t size = static_cast<size_t>(Fields().RecordSize());
    if (gapRows_ > 0 && size > 0 && Row != gapAt_) {
        uint8_t* base = data_.data();
        const size_t gap = static_cast<size_t>(gapRows_) * size;
        if (Row < gapAt_)
            memmove(base + static_cast<size_t>(Row) * size + gap, base + static_cast<size_t>(Row) * size,
                    static_cast<size_t>(gapAt_ - Row) * size);
        else
            memmove(base + static_cast<size_t>(gapAt_) * size, base + static_cast<size_t>(gapAt_) * size + gap,
                    static_cast<size_t>(Row - gapAt_) * size);
    }
    gapAt_ = Row;
}

void TDBTable::CloseGap() {
    if (gapRows_ == 0) return;
    MoveGap(count_);
    data_.resize(static_cast<size_t>(count_) * static_cast<size_t>(Fields().RecordSize()));
    gapAt_ = gapRows_ = 0;
}

void TDBTable::AddFieldData(uint8_t /*Type*/, int32_t Size) {
    const size_t before = static_cast<size_t>(Fields().RecordSize());
    const size_t bytes = static_cast<size_t>(count_) * (before + static_cast<size_t>(Size));
    std::vector<uint8_t> data(bytes);
    if (before > 0)
        for (int32_t row = 0; row < count_; ++row)
            memcpy(data.data() + static_cast<size_t>(row) * (before + static_cast<size_t>(Size)), GetRecord(row),
                   before);
    data_ = std::move(data);
    gapAt_ = gapRows_ = 0;
}

bool TDBTable::Append() {
    const size_t size = static_cast<size_t>(Fields().RecordSize());
    if (!RowsFit(int64_t(count_) + 1, int64_t(size))) return false;
    // The gap is given back when the rows would need more room and it is as large as they are
    // (or the room would pass what a table may take), so closing it costs no more than the
    // deletions that made it.
    const size_t wanted = data_.size() + size;
    if (gapRows_ > 0 && wanted > data_.capacity() && (gapRows_ >= count_ || wanted > size_t(MaxDBTableBytes)))
        CloseGap();
    Reserve(data_.size() + size);
    data_.resize(data_.size() + size);
    recNo_ = count_++;
    return true;
}

bool TDBTable::Delete() {
    if (recNo_ >= 0) {
        if (Fields().RecordSize() > 0) {
            // The row joins the gap, which is first moved to it.
            MoveGap(recNo_);
            ++gapRows_;
        }
        if (recNo_ >= --count_) recNo_ = count_ - 1;
        if (count_ == 0) {
            data_.clear();
            gapAt_ = gapRows_ = 0;
        }
    }
    return false;
}

bool TDBTable::First() {
    if (count_ == 0) return false;
    recNo_ = 0;
    return true;
}

bool TDBTable::Last() {
    if (count_ == 0) return false;
    recNo_ = GetRecordCount() - 1;
    return true;
}

bool TDBTable::Next() {
    if (recNo_ < 0 || recNo_ >= GetRecordCount() - 1) return false;
    ++recNo_;
    return true;
}

bool TDBTable::Prior() {
    if (recNo_ < 1) return false;
    --recNo_;
    return true;
}

bool TDBTable::SetRecNo(int32_t I) {
    if (I >= GetRecordCount()) return false;
    recNo_ = std::max(I, -1);
    return true;
}

// ---- Cells ----

uint8_t* TDBTable::Cell(int32_t Row, int32_t Field) {
    if (Row < 0 || Row >= GetRecordCount() || Field < 0 || Field >= Fields().Count()) return nullptr;
    return GetRecord(Row) + Fields().GetFieldOffset(Field);
}

bool TDBTable::GetInt(int32_t Row, int32_t Field, int32_t& Value) {
    const uint8_t* cell = Cell(Row, Field);
    if (!cell) return false;
    const TDBField& field = Fields().Fields(Field);
    switch (field.Type) {
    case DBInteger:
        Value = LoadInt(cell);
        return true;
    case DBFloat:
        return RoundToInt(LoadReal(cell), Value);
    case DBBoolean:
        Value = *cell != 0;
        return true;
    default:
        Value = StrToIntDef(LoadText(cell, field.Size), 0);
        return true;
    }
}

bool TDBTable::SetInt(int32_t Row, int32_t Field, int32_t Value) {
    uint8_t* cell = Cell(Row, Field);
    if (!cell) return false;
    const TDBField& field = Fields().Fields(Field);
    switch (field.Type) {
    case DBInteger:
        StoreInt(cell, Value);
        break;
    case DBFloat:
        StoreReal(cell, Value);
        break;
    case DBBoolean:
        *cell = Value != 0;
        break;
    default:
        StoreText(cell, field.Size, std::to_string(Value));
    }
    return true;
}

bool TDBTable::GetFloat(int32_t Row, int32_t Field, long double& Value) {
    const uint8_t* cell = Cell(Row, Field);
    if (!cell) return false;
    const TDBField& field = Fields().Fields(Field);
    switch (field.Type) {
    case DBInteger:
        Value = LoadInt(cell);
        break;
    case DBFloat:
        Value = LoadReal(cell);
        break;
    case DBBoolean:
        Value = *cell != 0;
        break;
    default:
        Value = TextToReal(LoadText(cell, field.Size));
    }
    return true;
}

bool TDBTable::SetFloat(int32_t Row, int32_t Field, long double Value) {
    uint8_t* cell = Cell(Row, Field);
    if (!cell) return false;
    const TDBField& field = Fields().Fields(Field);
    switch (field.Type) {
    case DBInteger: {
        int32_t v;
        if (!RoundToInt(Value, v)) return false;
        StoreInt(cell, v);
        break;
    }
    case DBFloat:
        StoreReal(cell, Value);
        break;
    case DBBoolean:
        *cell = Value != 0;
        break;
    default:
        StoreText(cell, field.Size, FloatToStr(Value));
    }
    return true;
}

bool TDBTable::GetBool(int32_t Row, int32_t Field, bool& Value) {
    const uint8_t* cell = Cell(Row, Field);
    if (!cell) return false;
    const TDBField& field = Fields().Fields(Field);
    switch (field.Type) {
    case DBInteger:
        Value = LoadInt(cell) != 0;
        break;
    case DBFloat:
        Value = LoadReal(cell) != 0;
        break;
    case DBBoolean:
        Value = *cell != 0;
        break;
    default:
        Value = LoadText(cell, field.Size) == TrueText;
    }
    return true;
}

bool TDBTable::SetBool(int32_t Row, int32_t Field, bool Value) {
    uint8_t* cell = Cell(Row, Field);
    if (!cell) return false;
    const TDBField& field = Fields().Fields(Field);
    switch (field.Type) {
    case DBInteger:
        StoreInt(cell, Value);
        break;
    case DBFloat:
        StoreReal(cell, Value);
        break;
    case DBBoolean:
        *cell = Value;
        break;
    default:
        StoreText(cell, field.Size, Value ? TrueText : FalseText);
    }
    return true;
}

bool TDBTable::GetStr(int32_t Row, int32_t Field, std::string& Value) {
    const uint8_t* cell = Cell(Row, Field);
    if (!cell) return false;
    const TDBField& field = Fields().Fields(Field);
    switch (field.Type) {
    case DBInteger:
        Value = std::to_string(LoadInt(cell));
        break;
    case DBFloat:
        Value = FloatToStr(LoadReal(cell));
        break;
    case DBBoolean:
        Value = *cell ? TrueText : FalseText;
        break;
    default:
        Value = LoadText(cell, field.Size);
    }
    return true;
}

bool TDBTable::SetStr(int32_t Row, int32_t Field, std::string_view Value) {
    uint8_t* cell = Cell(Row, Field);
    if (!cell) return false;
    const TDBField& field = Fields().Fields(Field);
    switch (field.Type) {
    case DBInteger:
        StoreInt(cell, StrToIntDef(Value, 0));
        break;
    case DBFloat:
        StoreReal(cell, TextToReal(Value));
        break;
    case DBBoolean:
        *cell = Value == TrueText;
        break;
    default:
        StoreText(cell, field.Size, Value);
    }
    return true;
}

// ---- Selection, import, sort ----

void TDBTable::SelectRows(TIntList& Rows, const TCustomParam* KeyFields, const TCustomParam* KeyValues,
                          bool IgnoreCase, bool Partial) {
    const int32_t keyCount = KeyFields && KeyValues ? std::min(KeyFields->Count(), KeyValues->Count()) : 0;
    std::vector<int32_t> fields;
    for (int32_t i = 0; i < keyCount; ++i) {
        fields.push_back(Fields().IndexOf(KeyFields->GetStrAt(i)));
        if (fields.back() < 0) return;
    }
    const TParamType type = keyCount > 0 ? KeyValues->ParamType() : PT_NONE;
    std::vector<std::string> texts;
    if (type == PT_STR)
        for (int32_t i = 0; i < keyCount; ++i) texts.push_back(KeyValues->GetStrAt(i));

    for (int32_t row = 0; row < GetRecordCount(); ++row) {
        bool match = true;
        for (int32_t i = 0; i < keyCount && match; ++i) {
            const int32_t field = fields[static_cast<size_t>(i)];
            bool read = true;
            switch (type) {
            case PT_INT: {
                int32_t v = 0;
                read = GetInt(row, field, v);
                match = v == KeyValues->GetIntAt(i);
                break;
            }
            case PT_FLOAT: {
                long double v = 0;
                read = GetFloat(row, field, v);
                match = v == KeyValues->GetFloatAt(i);
                break;
            }
            case PT_BOOL: {
                bool v = false;
                read = GetBool(row, field, v);
                match = v == KeyValues->GetBoolAt(i);
                break;
            }
            case PT_STR: {
                const TDBField& def = Fields().Fields(field);
                std::string text;
                std::string_view cell;
                if (def.Type == DBString) {
                    cell = LoadText(GetRecord(row) + Fields().GetFieldOffset(field), def.Size);
                } else {
                    GetStr(row, field, text);
                    cell = text;
                }
                match = TextMatches(cell, texts[static_cast<size_t>(i)], IgnoreCase, Partial);
                break;
            }
            default:
                break;
            }
            if (!read) return;
        }
        if (match) Rows.Add(row);
    }
}

bool TDBTable::LoadFromTabText(const TStringList& Lines) {
    // The fields are read into a table of their own first, so that rows beyond what a table may
    // hold are refused before anything here changes.
    TDBTable imported(Name(), Kind());
    if (Lines.Count() == 0 || !AddTabFields(imported.Fields(), Lines.Strings(0))) {
        Clear();
        return false;
    }
    int64_t rows = 0;
    for (int line = 1; line < Lines.Count(); ++line) rows += !Lines.Strings(line).empty();
    if (!RowsFit(rows, imported.Fields().RecordSize())) return false;
    Clear();
    Fields().Swap(imported.Fields());
    for (int line = 1; line < Lines.Count(); ++line) {
        if (Lines.Strings(line).empty()) continue;
        const std::string row = DecodeEscapes(Lines.Strings(line));
        Append();
        std::string_view cells = row;
        for (int32_t i = 0; i < Fields().Count() && !cells.empty(); ++i)
            SetStr(recNo_, i, JStrSplitToken(cells, Tab));
    }
    return true;
}

void TDBTable::Sort(const TCustomParam& KeyFields, const TCustomParam& Orders) {
    struct Key {
        int32_t Offset, Size;
        uint8_t Type;
        bool Descending;
    };
    std::vector<Key> keys;
    const int32_t keyCount = std::min(KeyFields.Count(), Orders.Count());
    for (int32_t i = 0; i < keyCount; ++i) {
        const int field = Fields().IndexOf(KeyFields.GetStrAt(i));
        if (field < 0) continue;
        const TDBField& def = Fields().Fields(field);
        keys.push_back({Fields().GetFieldOffset(field), def.Size, def.Type, Orders.GetBoolAt(i)});
    }

    auto compare = [&keys](const uint8_t* A, const uint8_t* B) {
        for (const Key& key : keys) {
            const uint8_t* a = A + key.Offset;
            const uint8_t* b = B + key.Offset;
            int c;
            switch (key.Type) {
            case DBInteger:
                c = (LoadInt(a) > LoadInt(b)) - (LoadInt(a) < LoadInt(b));
                break;
            case DBFloat:
                c = CompareReals(LoadReal(a), LoadReal(b));
                break;
            case DBBoolean:
                c = (*a != 0) - (*b != 0);
                break;
            default:
                c = LoadText(a, key.Size).compare(LoadText(b, key.Size));
            }
            if (c != 0) return key.Descending ? c > 0 : c < 0;
        }
        return false;
    };
    // Without keys every row compares equal: any order is the sorted one.
    if (keys.empty()) return;
    std::vector<int32_t> order(static_cast<size_t>(count_));
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](int32_t A, int32_t B) { return compare(GetRecord(A), GetRecord(B)); });
    const size_t size = static_cast<size_t>(Fields().RecordSize());
    std::vector<uint8_t> sorted(order.size() * size);
    for (size_t i = 0; i < order.size(); ++i) memcpy(sorted.data() + i * size, GetRecord(order[i]), size);
    data_ = std::move(sorted);
    gapAt_ = gapRows_ = 0;
}

// ---- Clearing and the stream form ----

void TDBTable::Clear() {
    TDBCustomTable::Clear();
    ClearRows();
}

void TDBTable::ClearRows() {
    data_ = {};
    count_ = 0;
    recNo_ = -1;
    gapAt_ = gapRows_ = 0;
}

void TDBTable::SaveToStream(TStream& Stream) const {
    TDBCustomTable::SaveToStream(Stream);
    WriteStreamInt(Stream, count_);
    // The rows before the gap, then those after it.
    const size_t size = static_cast<size_t>(Fields().RecordSize());
    const size_t before = static_cast<size_t>(gapAt_) * size, after = before + static_cast<size_t>(gapRows_) * size;
    if (before > 0) Stream.WriteBuffer(data_.data(), static_cast<int64_t>(before));
    if (after < data_.size()) Stream.WriteBuffer(data_.data() + after, static_cast<int64_t>(data_.size() - after));
    WriteStreamInt(Stream, recNo_);
}

void TDBTable::LoadFromStream(TStream& Stream, int32_t Version) {
    TDBCustomTable::LoadFromStream(Stream, Version);  // clears the rows too
    const int32_t size = Fields().RecordSize();
    const int32_t count = ReadStreamInt(Stream);
    if (size > 0)
        CheckStreamCount(Stream, count, size);
    else if (count < 0 || count > MaxDBEmptyRows)
        throw EReadError();
    const size_t bytes = static_cast<size_t>(count) * static_cast<size_t>(size);
    std::vector<uint8_t> data(bytes);
    if (!data.empty()) Stream.ReadBuffer(data.data(), static_cast<int64_t>(data.size()));
    data_ = std::move(data);
    count_ = count;
    gapAt_ = gapRows_ = 0;
    const int32_t recNo = ReadStreamInt(Stream);
    if (recNo >= count) throw EReadError();
    recNo_ = std::max(recNo, -1);
}

// ---- The manager ----

TDBCustomTable* TDBManager::GetTable(int32_t Index) const {
    return Index >= 0 && Index < Count() ? tables_[static_cast<size_t>(Index)].get() : nullptr;
}

int32_t TDBManager::IndexOf(std::string_view Name) const {
    if (indexStale_) {
        index_.clear();
        for (int32_t i = 0; i < Count(); ++i) index_.try_emplace(tables_[static_cast<size_t>(i)]->Name(), i);
        indexStale_ = false;
    }
    const auto found = index_.find(Name);
    return found == index_.end() ? -1 : found->second;
}

bool TDBManager::SetActive(std::string_view Name) {
    const int32_t index = IndexOf(Name);
    if (index < 0) return false;
    active_ = index;
    return true;
}

TDBCustomTable* TDBManager::Append(const std::string& Name, uint8_t Kind) {
    tables_.push_back(std::make_unique<TDBTable>(Name, Kind));
    active_ = Count() - 1;
    if (Name.empty())
        indexStale_ = true;
    else
        index_.try_emplace(Name, active_);
    return tables_.back().get();
}

int32_t TDBManager::CreateTable(const std::string& Name, uint8_t Kind) {
    if (Name.empty()) return -1;
    const int32_t index = IndexOf(Name);
    if (index < 0) {
        Append(Name, Kind);
        return active_;
    }
    active_ = index;
    if (Kind == DBGameTable) GetTable(index)->Clear();
    return index;
}

void TDBManager::DeleteTable(std::string_view Name) {
    const int32_t index = IndexOf(Name);
    if (index < 0) return;
    const bool keep = active_ >= 0 && active_ != index;
    const std::string active = keep ? GetActiveTable()->Name() : std::string();
    tables_.erase(tables_.begin() + index);
    indexStale_ = true;
    active_ = keep ? IndexOf(active) : -1;
}

template <class Pred>
void TDBManager::FreeTables(Pred Drop) {
    std::erase_if(tables_, [&Drop](const std::unique_ptr<TDBCustomTable>& Table) { return Drop(*Table); });
    indexStale_ = true;
    active_ = -1;
}

void TDBManager::ClearGameTables() {
    FreeTables([](const TDBCustomTable& Table) { return Table.Kind() == DBGameTable; });
}

void TDBManager::Clear() {
    FreeTables([](const TDBCustomTable&) { return true; });
}

bool TDBManager::LocateCell(std::string_view Table, const TCustomParam* KeyFields, const TCustomParam* KeyValues,
                            bool IgnoreCase, bool Partial, std::string_view Field, TDBCustomTable*& Found,
                            int32_t& Row, int32_t& FieldIndex) {
    Found = GetTable(IndexOf(Table));
    if (!Found) return false;
    TIntList rows;
    Found->SelectRows(rows, KeyFields, KeyValues, IgnoreCase, Partial);
    if (rows.Count() == 0) return false;
    Row = rows.GetInt(0);
    FieldIndex = Found->Fields().IndexOf(Field);
    return FieldIndex >= 0;
}

namespace {

// LocateCell and one cell operation on what it found: Op (table, row, field) answers whether it
// read or wrote the cell.
template <class Op>
bool OnLocatedCell(TDBManager& Manager, std::string_view Table, const TCustomParam* KeyFields,
                   const TCustomParam* KeyValues, bool IgnoreCase, bool Partial, std::string_view Field, Op Operation) {
    TDBCustomTable* table = nullptr;
    int32_t row = 0, field = 0;
    return Manager.LocateCell(Table, KeyFields, KeyValues, IgnoreCase, Partial, Field, table, row, field) &&
           Operation(*table, row, field);
}

}  // namespace

int32_t TDBManager::DirectGetInt(std::string_view Table, const TCustomParam* KeyFields, const TCustomParam* KeyValues,
                                 bool IgnoreCase, bool Partial, std::string_view Field, int32_t Default) {
    int32_t v = Default;
    OnLocatedCell(*this, Table, KeyFields, KeyValues, IgnoreCase, Partial, Field,
                  [&v](TDBCustomTable& T, int32_t R, int32_t F) { return T.GetInt(R, F, v); });
    return v;
}

bool TDBManager::DirectSetInt(std::string_view Table, const TCustomParam* KeyFields, const TCustomParam* KeyValues,
                              bool IgnoreCase, bool Partial, std::string_view Field, int32_t Value) {
    return OnLocatedCell(*this, Table, KeyFields, KeyValues, IgnoreCase, Partial, Field,
                         [Value](TDBCustomTable& T, int32_t R, int32_t F) { return T.SetInt(R, F, Value); });
}

long double TDBManager::DirectGetFloat(std::string_view Table, const TCustomParam* KeyFields,
                                       const TCustomParam* KeyValues, bool IgnoreCase, bool Partial,
                                       std::string_view Field, long double Default) {
    long double v = Default;
    OnLocatedCell(*this, Table, KeyFields, KeyValues, IgnoreCase, Partial, Field,
                  [&v](TDBCustomTable& T, int32_t R, int32_t F) { return T.GetFloat(R, F, v); });
    return v;
}

bool TDBManager::DirectSetFloat(std::string_view Table, const TCustomParam* KeyFields, const TCustomParam* KeyValues,
                                bool IgnoreCase, bool Partial, std::string_view Field, long double Value) {
    return OnLocatedCell(*this, Table, KeyFields, KeyValues, IgnoreCase, Partial, Field,
                         [Value](TDBCustomTable& T, int32_t R, int32_t F) { return T.SetFloat(R, F, Value); });
}

bool TDBManager::DirectGetBool(std::string_view Table, const TCustomParam* KeyFields, const TCustomParam* KeyValues,
                               bool IgnoreCase, bool Partial, std::string_view Field, bool Default) {
    bool v = Default;
    OnLocatedCell(*this, Table, KeyFields, KeyValues, IgnoreCase, Partial, Field,
                  [&v](TDBCustomTable& T, int32_t R, int32_t F) { return T.GetBool(R, F, v); });
    return v;
}

bool TDBManager::DirectSetBool(std::string_view Table, const TCustomParam* KeyFields, const TCustomParam* KeyValues,
                               bool IgnoreCase, bool Partial, std::string_view Field, bool Value) {
    return OnLocatedCell(*this, Table, KeyFields, KeyValues, IgnoreCase, Partial, Field,
                         [Value](TDBCustomTable& T, int32_t R, int32_t F) { return T.SetBool(R, F, Value); });
}

std::string TDBManager::DirectGetStr(std::string_view Table, const TCustomParam* KeyFields,
                                     const TCustomParam* KeyValues, bool IgnoreCase, bool Partial,
                                     std::string_view Field, const std::string& Default) {
    std::string v = Default;
    OnLocatedCell(*this, Table, KeyFields, KeyValues, IgnoreCase, Partial, Field,
                  [&v](TDBCustomTable& T, int32_t R, int32_t F) { return T.GetStr(R, F, v); });
    return v;
}

bool TDBManager::DirectSetStr(std::string_view Table, const TCustomParam* KeyFields, const TCustomParam* KeyValues,
                              bool IgnoreCase, bool Partial, std::string_view Field, const std::string& Value) {
    return OnLocatedCell(*this, Table, KeyFields, KeyValues, IgnoreCase, Partial, Field,
                         [&Value](TDBCustomTable& T, int32_t R, int32_t F) { return T.SetStr(R, F, Value); });
}

namespace {

// Appends to Target a byte copy of each listed row of Source that exists (both of one layout).
void CopyRows(TDBCustomTable& Target, TDBCustomTable& Source, const TIntList& Rows) {
    const size_t size = static_cast<size_t>(Target.Fields().RecordSize());
    for (int i = 0; i < Rows.Count(); ++i) {
        const int32_t row = Rows.GetInt(i);
        if (row < 0 || row >= Source.GetRecordCount()) continue;
        if (Target.Append() && size > 0) memcpy(Target.GetCurrentRecord(), Source.GetRecord(row), size);
    }
}

}  // namespace

bool TDBManager::CopyRowsTo(std::string_view TargetName, const TIntList& Rows) {
    TDBCustomTable* source = GetActiveTable();
    TDBCustomTable* target = GetTable(IndexOf(TargetName));
    if (!source || !target || target == source) return false;
    target->Clear();
    target->Fields().Assign(source->Fields());
    CopyRows(*target, *source, Rows);
    return true;
}

bool TDBManager::InsertRowsFrom(std::string_view SourceName, const TIntList& Rows) {
    TDBCustomTable* target = GetActiveTable();
    TDBCustomTable* source = GetTable(IndexOf(SourceName));
    if (!target || !source || !TDBFieldList::SameLayout(source->Fields(), target->Fields())) return false;
    CopyRows(*target, *source, Rows);
    return true;
}

void TDBManager::SaveToStream(TStream& Stream, int32_t Kind) const {
    WriteStreamInt(Stream, DBFormatVersion);
    const auto count = std::count_if(tables_.begin(), tables_.end(),
                                     [Kind](const auto& Table) { return Table->Kind() == Kind; });
    WriteStreamInt(Stream, static_cast<int32_t>(count));
    for (const auto& table : tables_) {
        if (table->Kind() != Kind) continue;
        WriteStreamByte(Stream, table->GetTypeCode());
        table->SaveToStream(Stream);
    }
    if (Kind == DBGameTable) WriteStreamString(Stream, active_ >= 0 ? GetActiveTable()->Name() : std::string());
}

void TDBManager::LoadFromStream(TStream& Stream, int32_t Kind) {
    const int32_t version = ReadStreamInt(Stream);
    FreeTables([Kind](const TDBCustomTable& Table) { return Table.Kind() == Kind; });
    const int32_t count = ReadStreamCount(Stream, 1 + MinStoredTable);
    for (int32_t i = 0; i < count; ++i) {
        ReadStreamByte(Stream);  // the type code: every stored table is a plain table
        TDBCustomTable* table = Append({}, static_cast<uint8_t>(Kind));
        table->LoadFromStream(Stream, version);
        // Only tables of the kind are written together; another is damage.
        if (table->Kind() != Kind) throw EReadError();
    }
    if (Kind == DBGameTable) active_ = IndexOf(ReadStreamString(Stream));
}
