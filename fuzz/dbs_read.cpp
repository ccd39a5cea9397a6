// The data-table manager's stream form and the tab-separated import from arbitrary bytes. The
// first byte chooses: bit 1 clear, the manager's tables of kind (bit 0) are read and every cell is
// read as each type; set, the rest is text lines imported into one table, whose rows are then
// sorted by its first field and selected by that field's text. A read either raises EReadError or
// gives tables that write out and read back as the same bytes.
// Seed corpus: tests/tools/dbs_ref.py corpus fuzz/corpus/dbs_read
#include "fuzz/harness.h"
#include "script/dbs.h"

namespace {

std::string Written(const TDBManager& Manager, int32_t Kind) {
    TMemoryStream stream;
    Manager.SaveToStream(stream, Kind);
    return fuzz::BytesOf(stream);
}

void CheckRoundTrip(const TDBManager& Manager, int32_t Kind) {
    const std::string saved = Written(Manager, Kind);
    TMemoryStream again = fuzz::StreamOf(saved.data(), saved.size());
    TDBManager back;
    back.LoadFromStream(again, Kind);
    fuzz::Check(again.Position() == again.Size() && Written(back, Kind) == saved);
}

}  // namespace

int TestOneInput(const uint8_t* Data, size_t Size) {
    if (Size == 0) return 0;
    const int32_t kind = Data[0] & 1;
    TDBManager manager;
    if (Data[0] & 2) {
        TStringList lines;
        for (std::string_view line : SplitLines({reinterpret_cast<const char*>(Data + 1), Size - 1}))
            lines.Add(std::string(line));
        manager.CreateTable("t", static_cast<uint8_t>(kind));
        TDBCustomTable& table = *manager.GetActiveTable();
        if (table.LoadFromTabText(lines) && table.Fields().Count() > 0) {
            TParamStr fields;
            fields.SetStr(table.Fields().Fields(0).Name);
            TParamFlag orders;
            orders.SetBool(Data[0] & 4);
            table.Sort(fields, orders);
            std::string key;
            table.GetStr(0, 0, key);
            TParamStr keys;
            keys.SetStr(key);
            TIntList rows;
            table.SelectRows(rows, &fields, &keys, Data[0] & 8, Data[0] & 16);
            fuzz::Check(table.GetRecordCount() == 0 || rows.Count() > 0 || (Data[0] & 16));
        }
    } else {
        TMemoryStream stream = fuzz::StreamOf(Data + 1, Size - 1);
        try {
            manager.LoadFromStream(stream, kind);
        } catch (const EReadError&) {
            return 0;
        }
        // Every stored cell read as each type (rows times fields is bounded by the input's size).
        for (int32_t t = 0; t < manager.Count(); ++t) {
            TDBCustomTable& table = *manager.GetTable(t);
            for (int32_t row = 0; row < table.GetRecordCount(); ++row)
                for (int32_t field = 0; field < table.Fields().Count(); ++field) {
                    int32_t i;
                    long double r;
                    bool b;
                    std::string s;
                    fuzz::Check(table.GetFloat(row, field, r) && table.GetBool(row, field, b) &&
                                table.GetStr(row, field, s));
                    table.GetInt(row, field, i);
                }
        }
    }
    CheckRoundTrip(manager, kind);
    return 0;
}
