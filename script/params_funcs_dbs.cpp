// The data-table functions: tables made, chosen and listed; fields added; rows appended,
// navigated, selected, copied, sorted and imported from tab-separated text; cells read and
// written by field name, on the current row or located by key values. A failure is a result
// (false, 0, 0.0, "" or -1), never an error; most act on the active table.
#include "core/stringlist.h"
#include "core/vrfiles_manager.h"
#include "script/dbs.h"
#include "script/params_funcs_families.h"
#include "script/services.h"

#include <algorithm>
#include <string>
#include <type_traits>
#include <vector>

namespace {

TDBManager& Tables() {
    if (!DBManager) throw EParamError("内部エラー");
    return *DBManager;
}

TDBCustomTable* Active() { return Tables().GetActiveTable(); }

// The active table when it has a current row, else nullptr.
TDBCustomTable* ActiveRow() {
    TDBCustomTable* table = Active();
    return table && table->GetRecNo() >= 0 ? table : nullptr;
}

// The rows of Table selected by the keys from argument First on (KeyFields, KeyValues,
// IgnoreCase, Partial); every row when the keys are not given.
TIntList SelectRows(TDBCustomTable& Table, TSysFuncArgs Args, size_t First) {
    TIntList rows;
    const bool keyed = Args.size() > First + 1;
    Table.SelectRows(rows, keyed ? Args[First] : nullptr, keyed ? Args[First + 1] : nullptr,
                     OptionalBool(Args, First + 2, false), OptionalBool(Args, First + 3, false));
    return rows;
}

void FnCreateTable(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    Dest.SetAsBool(Tables().CreateTable(Args[0]->AsStr(), Args[1]->AsBool() ? DBStatusTable : DBGameTable) >= 0);
}

void FnSetActive(TParamCollectionItem& Dest, TSysFuncArgs Args) { Dest.SetAsBool(Tables().SetActive(Args[0]->AsStr())); }

// DBAddField(Name, Type [, Length]): the type's low 8 bits; a string holds Length bytes.
void FnAddField(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    TDBCustomTable* table = Active();
    Dest.SetAsBool(table &&
                   table->Fields().AddField(Args[0]->AsStr(), uint8_t(Args[1]->AsInt()), OptionalInt(Args, 2, 0)) >= 0);
}

void FnSetRecNo(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    TDBCustomTable* table = Active();
    Dest.SetAsBool(table && table->SetRecNo(Args[0]->AsInt()));
}

// DBInsert(Values...): a new current row, argument i written into field i by the argument's own
// type; arguments beyond the fields change nothing.
void FnInsert(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    TDBCustomTable* table = Active();
    if (!table || !table->Append()) return Dest.SetAsBool(false);
    const int32_t row = table->GetRecNo();
    for (int32_t i = 0; i < static_cast<int32_t>(Args.size()) && i < table->Fields().Count(); ++i) {
        const TCustomParam& value = *Args[static_cast<size_t>(i)];
        switch (value.ParamType()) {
            case PT_INT: table->SetInt(row, i, value.AsInt()); break;
            case PT_FLOAT: table->SetFloat(row, i, value.AsFloat()); break;
            case PT_BOOL: table->SetBool(row, i, value.AsBool()); break;
            case PT_STR: table->SetStr(row, i, value.AsStr()); break;
            default: break;
        }
    }
    Dest.SetAsBool(true);
}

void FnDelete(TParamCollectionItem& Dest, TSysFuncArgs) {
    TDBCustomTable* table = ActiveRow();
    Dest.SetAsBool(table && table->Delete());
}

// Results and arguments by the type of a cell operation.
void Store(TParamCollectionItem& Dest, int32_t Value) { Dest.SetAsInt(Value); }
void Store(TParamCollectionItem& Dest, long double Value) { Dest.SetAsFloat(Value); }
void Store(TParamCollectionItem& Dest, bool Value) { Dest.SetAsBool(Value); }
void Store(TParamCollectionItem& Dest, const std::string& Value) { Dest.SetAsStr(Value); }
template <class T>
T Read(const TCustomParam& Arg) {
    if constexpr (std::is_same_v<T, int32_t>) return Arg.AsInt();
    else if constexpr (std::is_same_v<T, long double>) return Arg.AsFloat();
    else if constexpr (std::is_same_v<T, bool>) return Arg.AsBool();
    else return Arg.AsStr();
}

// DBGet...(Field): the cell of the active table's current row; the empty value when there is no
// active table, no current row or no such field.
template <class T, bool (TDBCustomTable::*Get)(std::string_view, T&)>
void FnGetCell(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    T value{};
    if (TDBCustomTable* table = Active(); !table || !(table->*Get)(Args[0]->AsStr(), value)) value = T{};
    Store(Dest, value);
}

// DBSet...(Field, Value): false without a current row or such a field.
template <class T, class Arg, bool (TDBCustomTable::*Set)(std::string_view, Arg)>
void FnSetCell(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    TDBCustomTable* table = ActiveRow();
    Dest.SetAsBool(table && (table->*Set)(Args[0]->AsStr(), Read<T>(*Args[1])));
}

// DBRecordCount([Name]): the rows of the named table, or of the active one; -1 when there is none.
void FnRecordCount(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    const TDBCustomTable* table = Args.empty() ? Active() : Tables().GetTable(Tables().IndexOf(Args[0]->AsStr()));
    Dest.SetAsInt(table ? table->GetRecordCount() : -1);
}

template <bool (TDBCustomTable::*Move)()>
void FnMove(TParamCollectionItem& Dest, TSysFuncArgs) {
    TDBCustomTable* table = Active();
    Dest.SetAsBool(table && (table->*Move)());
}

// DBLocate(KeyFields, KeyValues [, IgnoreCase [, Partial]]): the lowest selected row becomes
// current; false, the current row kept, when none is selected.
void FnLocate(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    TDBCustomTable* table = Active();
    if (!table) return Dest.SetAsBool(false);
    const TIntList rows = SelectRows(*table, Args, 0);
    Dest.SetAsBool(rows.Count() > 0 && table->SetRecNo(rows.GetInt(0)));
}

// DBLoadTsvFile(FileName): the active table replaced by the content file's tab-separated text
// (up to its first NUL); false, the table kept, for more rows than a table may hold.
void FnLoadTsvFile(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    TDBCustomTable* table = Active();
    const std::string name = Args[0]->AsStr();
    if (!table || !ScriptHost().FileExists(name) || !VrFileManager) return Dest.SetAsBool(false);
    TMemoryStream stream;
    try {
        VrFileManager->ReadFile(stream, name);
    } catch (const EVelaError&) {
        return Dest.SetAsBool(false);
    }
    if (stream.Size() == 0) return Dest.SetAsBool(false);
    TStringList lines;
    for (std::string_view line : TextFileLines({reinterpret_cast<const char*>(stream.Memory()), size_t(stream.Size())}))
        lines.Add(std::string(line));
    Dest.SetAsBool(table->LoadFromTabText(lines));
}

// The direct cell functions (Table, KeyFields, KeyValues, IgnoreCase, Partial, Field, Value): the
// first selected row of the named table; a getter gives Value, its default, when no cell is read.
template <class T, class Arg, class R,
          R (TDBManager::*Op)(std::string_view, const TCustomParam*, const TCustomParam*, bool, bool, std::string_view, Arg)>
void FnDirect(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    Store(Dest, (Tables().*Op)(Args[0]->AsStr(), Args[1], Args[2], Args[3]->AsBool(), Args[4]->AsBool(), Args[5]->AsStr(),
                               Read<T>(*Args[6])));
}

// DBCopyTable(Target [, KeyFields, KeyValues [, IgnoreCase [, Partial]]]): the target emptied and
// given the active table's fields and selected rows.
void FnCopyTable(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    TDBCustomTable* table = Active();
    Dest.SetAsBool(table && Tables().CopyRowsTo(Args[0]->AsStr(), SelectRows(*table, Args, 1)));
}

// DBDeleteTable([Name]): the named table, or the active one, freed. False in every case.
void FnDeleteTable(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    if (const TDBCustomTable* table = Active()) {
        const std::string name = Args.empty() ? table->Name() : Args[0]->AsStr();
        Tables().DeleteTable(name);
    }
    Dest.SetAsBool(false);
}

// DBInsertTable(Source [, keys...]): the source's selected rows appended to the active table when
// both have the same fields.
void FnInsertTable(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    const std::string name = Args[0]->AsStr();
    TDBCustomTable* source = Active() ? Tables().GetTable(Tables().IndexOf(name)) : nullptr;
    Dest.SetAsBool(source && Tables().InsertRowsFrom(name, SelectRows(*source, Args, 1)));
}

// DBCopy(Target): the current row appended to a target with the same fields.
void FnCopy(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    TDBCustomTable* table = ActiveRow();
    TDBCustomTable* target = table ? Tables().GetTable(Tables().IndexOf(Args[0]->AsStr())) : nullptr;
    if (!target || !TDBFieldList::SameLayout(table->Fields(), target->Fields())) return Dest.SetAsBool(false);
    // Taken before the append, which may move the rows when the target is the table itself.
    const uint8_t* current = table->GetCurrentRecord();
    const std::vector<uint8_t> record(current, current + table->Fields().RecordSize());
    if (!target->Append()) return Dest.SetAsBool(false);
    std::copy(record.begin(), record.end(), target->GetCurrentRecord());
    Dest.SetAsBool(true);
}

// DBClearTable(): every table of both kinds freed. No result.
void FnClearTable(TParamCollectionItem&, TSysFuncArgs) { Tables().Clear(); }

void FnSort(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    TDBCustomTable* table = Active();
    if (table) table->Sort(*Args[0], *Args[1]);
    Dest.SetAsBool(table != nullptr);
}

void FnGetActive(TParamCollectionItem& Dest, TSysFuncArgs) {
    const TDBCustomTable* table = Active();
    Dest.SetAsStr(table ? table->Name() : "");
}

// DBGetRecNo([Ignored]): the active table's current row.
void FnGetRecNo(TParamCollectionItem& Dest, TSysFuncArgs) {
    const TDBCustomTable* table = Active();
    Dest.SetAsInt(table ? table->GetRecNo() : -1);
}

// DBClearRecord([Name]): every row of the named table, or of the active one, removed.
void FnClearRecord(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    TDBCustomTable* table = Args.empty() ? Active() : Tables().GetTable(Tables().IndexOf(Args[0]->AsStr()));
    if (table) table->ClearRows();
    Dest.SetAsBool(table != nullptr);
}

void FnGetTableCount(TParamCollectionItem& Dest, TSysFuncArgs) { Dest.SetAsInt(Tables().Count()); }

// DBGetTable(Index, var Name [, var Status]): the name and kind of table Index in creation order.
void FnGetTable(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    const TDBCustomTable* table = Tables().GetTable(Args[0]->AsInt());
    if (!table) return Dest.SetAsBool(false);
    Args[1]->SetStr(table->Name());
    if (Args.size() > 2) Args[2]->SetBool(table->Kind() == DBStatusTable);
    Dest.SetAsBool(true);
}

constexpr TSysFuncEntry kFuncs[] = {
    {"DBCreateTable", FnCreateTable},
    {"DBSetActive", FnSetActive},
    {"DBAddField", FnAddField},
    {"DBSetRecNo", FnSetRecNo},
    {"DBInsert", FnInsert},
    {"DBDelete", FnDelete},
    {"DBGetInt", FnGetCell<int32_t, &TDBCustomTable::GetIntByName>},
    {"DBSetInt", FnSetCell<int32_t, int32_t, &TDBCustomTable::SetIntByName>},
    {"DBGetFloat", FnGetCell<long double, &TDBCustomTable::GetFloatByName>},
    {"DBSetFloat", FnSetCell<long double, long double, &TDBCustomTable::SetFloatByName>},
    {"DBGetBool", FnGetCell<bool, &TDBCustomTable::GetBoolByName>},
    {"DBSetBool", FnSetCell<bool, bool, &TDBCustomTable::SetBoolByName>},
    {"DBGetStr", FnGetCell<std::string, &TDBCustomTable::GetStrByName>},
    {"DBSetStr", FnSetCell<std::string, const std::string&, &TDBCustomTable::SetStrByName>},
    {"DBRecordCount", FnRecordCount},
    {"DBFindFirst", FnMove<&TDBCustomTable::First>},
    {"DBFindLast", FnMove<&TDBCustomTable::Last>},
    {"DBFindNext", FnMove<&TDBCustomTable::Next>},
    {"DBFindPrior", FnMove<&TDBCustomTable::Prior>},
    {"DBLocate", FnLocate},
    {"DBLoadTsvFile", FnLoadTsvFile},
    {"DBDirectGetInt", FnDirect<int32_t, int32_t, int32_t, &TDBManager::DirectGetInt>},
    {"DBDirectSetInt", FnDirect<int32_t, int32_t, bool, &TDBManager::DirectSetInt>},
    {"DBDirectGetFloat", FnDirect<long double, long double, long double, &TDBManager::DirectGetFloat>},
    {"DBDirectSetFloat", FnDirect<long double, long double, bool, &TDBManager::DirectSetFloat>},
    {"DBDirectGetBool", FnDirect<bool, bool, bool, &TDBManager::DirectGetBool>},
    {"DBDirectSetBool", FnDirect<bool, bool, bool, &TDBManager::DirectSetBool>},
    {"DBDirectGetStr", FnDirect<std::string, const std::string&, std::string, &TDBManager::DirectGetStr>},
    {"DBDirectSetStr", FnDirect<std::string, const std::string&, bool, &TDBManager::DirectSetStr>},
    {"DBCopyTable", FnCopyTable},
    {"DBDeleteTable", FnDeleteTable},
    {"DBInsertTable", FnInsertTable},
    {"DBCopy", FnCopy},
    {"DBClearTable", FnClearTable},
    {"DBSort", FnSort},
    {"DBGetActive", FnGetActive},
    {"DBGetRecNo", FnGetRecNo},
    {"DBClearRecord", FnClearRecord},
    {"DBGetTableCount", FnGetTableCount},
    {"DBGetTable", FnGetTable},
};

}  // namespace

std::span<const TSysFuncEntry> DBSysFuncs() { return kFuncs; }
