#include "script/dbs.h"

#include "core/sysutils.h"
#include "script/savedata.h"
#include "tests/script/project_fixture.h"

#include <cmath>
#include <cstring>
#include <sstream>

using namespace pagetest;

namespace {

using Strings = std::vector<std::string>;

// "x<hex>" texts of the reference script.
std::string X(const std::string& Text) { return FromHex(Text.substr(1)); }
std::string XOf(const std::string& Bytes) {
    std::string hex = ToHex(Bytes);
    for (char& c : hex) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return "x" + hex;
}
long double Real(const std::string& Hex) {
    long double v = 0;
    memcpy(&v, FromHex(Hex).data(), 10);
    return v;
}
std::string RealHex(long double V) {
    std::string bytes(reinterpret_cast<const char*>(&V), 10);
    return XOf(bytes).substr(1);
}

std::unique_ptr<TParamStr> Strs(const Strings& Values) {
    auto p = std::make_unique<TParamStr>();
    p->SetDims({static_cast<int32_t>(Values.size())});
    for (size_t i = 0; i < Values.size(); ++i) p->SetStrAt(static_cast<int32_t>(i), Values[i]);
    return p;
}

std::vector<int32_t> Selected(TDBCustomTable& Table, const TCustomParam* Fields, const TCustomParam* Values,
                              bool IgnoreCase, bool Partial) {
    TIntList rows;
    Table.SelectRows(rows, Fields, Values, IgnoreCase, Partial);
    std::vector<int32_t> out;
    for (int i = 0; i < rows.Count(); ++i) out.push_back(rows.GetInt(i));
    return out;
}

std::string Saved(const TDBManager& Manager, int32_t Kind) {
    TMemoryStream stream;
    Manager.SaveToStream(stream, Kind);
    return Bytes(stream);
}

void Load(TDBManager& Manager, const std::string& Data, int32_t Kind) {
    TMemoryStream stream = StreamOf(Data);
    Manager.LoadFromStream(stream, Kind);
}

TStringList LinesOf(const std::string& Text) {
    TStringList lines;
    for (std::string_view line : SplitLines(Text)) lines.Add(std::string(line));
    return lines;
}

}  // namespace

TEST(DBTable, CellsConvertBetweenEveryTypePairAsTheReference) {
    TDBTable table("t", DBGameTable);
    ASSERT_EQ(table.Fields().AddField("i", DBInteger, 0), 0);
    table.Fields().AddField("r", DBFloat, 0);
    table.Fields().AddField("b", DBBoolean, 0);
    table.Fields().AddField("s5", DBString, 5);
    table.Fields().AddField("s20", DBString, 20);
    int cases = 0;
    for (const std::string& line : Lines(PythonOutput("dbs_ref.py", {"convert"}))) {
        std::istringstream in(line);
        int field;
        std::string setter, value, gi, gf, gb, gs;
        in >> field >> setter >> value >> gi >> gf >> gb >> gs;
        table.Append();
        const int32_t row = table.GetRecNo(), f = field - 1;
        if (setter == "i") table.SetInt(row, f, std::stoi(value));
        if (setter == "r") table.SetFloat(row, f, Real(value));
        if (setter == "b") table.SetBool(row, f, value == "1");
        if (setter == "s") table.SetStr(row, f, X(value));
        int32_t i = 0;
        long double r = 0;
        bool b = false;
        std::string s;
        EXPECT_EQ(table.GetInt(row, f, i) ? std::to_string(i) : "ERR", gi) << line;
        ASSERT_TRUE(table.GetFloat(row, f, r) && table.GetBool(row, f, b) && table.GetStr(row, f, s));
        EXPECT_EQ(RealHex(r), gf) << line;
        EXPECT_EQ(b, gb == "1") << line;
        EXPECT_EQ(XOf(s), gs) << line;
        ++cases;
    }
    EXPECT_GT(cases, 150);

    // Out of range: false and nothing changes.
    int32_t v = 9;
    EXPECT_FALSE(table.GetInt(table.GetRecordCount(), 0, v));
    EXPECT_FALSE(table.GetInt(0, 5, v));
    EXPECT_FALSE(table.SetStr(-1, 0, "1"));
    EXPECT_EQ(v, 9);
}

TEST(DBTable, FieldsAreDeclaredOnceWithinTheirSizes) {
    TDBTable table("t", DBGameTable);
    table.Fields().AddField("a", DBInteger, 0);
    table.Append();
    table.SetInt(0, 0, -2);
    EXPECT_EQ(table.Fields().AddField("A", DBString, 3), -1);  // names without regard to case
    EXPECT_EQ(table.Fields().AddField("x", 5, 0), -1);
    EXPECT_EQ(table.Fields().AddField("x", DBString, -1), -1);
    EXPECT_EQ(table.Fields().AddField("x", DBString, MaxDBStringLength + 1), -1);
    ASSERT_EQ(table.Fields().AddField("s", DBString, 0), 1);  // only the terminator
    ASSERT_EQ(table.Fields().AddField("big", DBString, MaxDBStringLength), 2);
    EXPECT_EQ(table.Fields().RecordSize(), 4 + 1 + MaxDBStringLength + 1);
    EXPECT_EQ(table.Fields().GetFieldOffset(2), 5);
    // The existing row grew by zeros; its first cell is kept.
    int32_t v = 0;
    std::string s = "?";
    EXPECT_TRUE(table.GetInt(0, 0, v) && table.GetStr(0, 2, s));
    EXPECT_EQ(v, -2);
    EXPECT_EQ(s, "");
    table.SetStr(0, 1, "abc");
    table.GetStr(0, 1, s);
    EXPECT_EQ(s, "");
    // A record cannot grow without bound.
    table.ClearRows();
    int added = 0;
    while (table.Fields().AddField("f" + std::to_string(added), DBString, MaxDBStringLength) >= 0) ++added;
    EXPECT_LT(table.Fields().RecordSize(), MaxDBRecordSize + 1);
    EXPECT_EQ(added, MaxDBRecordSize / (MaxDBStringLength + 1) - 1);
}

TEST(DBTable, FieldsAreFoundByNameAmongManyAndTheFirstOfANameWins) {
    // Enough names for the index to grow several times from none.
    TDBTable table("t", DBGameTable);
    TDBFieldList& fields = table.Fields();
    const int count = 5000;
    for (int i = 0; i < count; ++i) ASSERT_EQ(fields.AddField("Field" + std::to_string(i), DBInteger, 0), i);
    for (int i = 0; i < count; ++i) {
        EXPECT_EQ(fields.IndexOf("fIELD" + std::to_string(i)), i);
        EXPECT_EQ(fields.AddField("FIELD" + std::to_string(i), DBBoolean, 0), -1);
    }
    EXPECT_EQ(fields.IndexOf("Field" + std::to_string(count)), -1);
    EXPECT_EQ(fields.Count(), count);
    // The index goes with its fields.
    TDBTable other("u", DBGameTable);
    other.Fields().Swap(fields);
    EXPECT_EQ(fields.IndexOf("Field0"), -1);
    EXPECT_EQ(other.Fields().IndexOf("field4999"), 4999);
    // Stored fields, read in place of those, may repeat a name: each is kept, and the first is
    // the one found, also once more fields have made the index grow.
    std::string stored = U32(40) + U32(4) + Str("Field1") + '\x01' + U32(1) + Str("FIELD1") + '\x03';
    for (int i = 2; i < 40; ++i) stored += U32(4) + Str(i % 2 ? "field1" : "g" + std::to_string(i)) + '\x01';
    TMemoryStream stream = StreamOf(stored);
    other.Fields().LoadFromStream(stream);
    EXPECT_EQ(other.Fields().Count(), 40);
    EXPECT_EQ(other.Fields().IndexOf("field1"), 0);
    EXPECT_EQ(other.Fields().IndexOf("G38"), 38);
    EXPECT_EQ(other.Fields().IndexOf("Field0"), -1);
}

TEST(DBTable, NavigationAndDeletion) {
    TDBTable table("t", DBGameTable);
    table.Fields().AddField("n", DBInteger, 0);
    EXPECT_FALSE(table.First());
    EXPECT_FALSE(table.Last());
    EXPECT_EQ(table.GetRecNo(), -1);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(table.Append());
        EXPECT_TRUE(table.SetIntByName("N", i));
    }
    EXPECT_EQ(table.GetRecNo(), 2);
    EXPECT_FALSE(table.Next());
    EXPECT_TRUE(table.First());
    EXPECT_FALSE(table.Prior());
    EXPECT_EQ(table.GetRecNo(), 0);
    EXPECT_TRUE(table.Next());
    EXPECT_FALSE(table.SetRecNo(3));
    EXPECT_EQ(table.GetRecNo(), 1);
    EXPECT_TRUE(table.SetRecNo(-5));
    EXPECT_EQ(table.GetRecNo(), -1);
    int32_t v = 0;
    EXPECT_FALSE(table.GetIntByName("n", v));
    EXPECT_FALSE(table.Next());

    // Delete answers false; the row after the deleted one, or the new last row, becomes current.
    table.SetRecNo(0);
    EXPECT_FALSE(table.Delete());
    EXPECT_TRUE(table.GetIntByName("n", v));
    EXPECT_EQ(v, 1);
    table.Last();
    EXPECT_FALSE(table.Delete());
    EXPECT_EQ(table.GetRecNo(), 0);
    EXPECT_FALSE(table.Delete());
    EXPECT_EQ(table.GetRecNo(), -1);
    EXPECT_EQ(table.GetRecordCount(), 0);
    EXPECT_FALSE(table.GetIntByName("missing", v));
}

// Rows deleted one after another move the others once: whatever the order of deletions, rows
// appended, a field added and a sort in between, every row, the stored form and the current
// row stay those of the plain list of the same operations.
TEST(DBTable, DeletionsAnywhereKeepEveryRowAndTheStoredForm) {
    TDBTable table("t", DBGameTable);
    table.Fields().AddField("n", DBInteger, 0);
    std::vector<int32_t> model;
    const auto expectRows = [&](int Step) {
        ASSERT_EQ(table.GetRecordCount(), int32_t(model.size())) << Step;
        for (size_t i = 0; i < model.size(); ++i) {
            int32_t v = -1;
            EXPECT_TRUE(table.GetInt(int32_t(i), 0, v));
            EXPECT_EQ(v, model[i]) << "step " << Step << " row " << i;
        }
    };
    uint32_t seed = 7;
    int32_t next = 0;
    for (int step = 0; step < 400; ++step) {
        seed = seed * 1103515245u + 12345u;
        const uint32_t pick = seed >> 16;
        if (model.empty() || pick % 5 == 0) {
            ASSERT_TRUE(table.Append());
            table.SetInt(table.GetRecNo(), 0, next);
            model.push_back(next++);
        } else {
            // Mostly near the last deletion (both ways), sometimes anywhere.
            const int32_t last = int32_t(model.size()) - 1;
            const int32_t at = pick % 7 == 0 ? int32_t(pick % model.size())
                                             : std::clamp(table.GetRecNo() + int32_t(pick % 3) - 1, 0, last);
            table.SetRecNo(at);
            table.Delete();
            model.erase(model.begin() + at);
            EXPECT_EQ(table.GetRecNo(), std::min(at, int32_t(model.size()) - 1));
        }
        if (step == 150) {
            ASSERT_EQ(table.Fields().AddField("m", DBBoolean, 0), 1);
        }
        if (step == 300) {
            table.Sort(*Strs({"n"}), *Strs({"TRUE"}));
            std::sort(model.rbegin(), model.rend());
        }
        if (step % 50 == 49) expectRows(step);
    }
    expectRows(400);
    TDBTable plain("t", DBGameTable);
    plain.Fields().Assign(table.Fields());
    for (const int32_t n : model) {
        plain.Append();
        plain.SetInt(plain.GetRecNo(), 0, n);
    }
    plain.SetRecNo(table.GetRecNo());
    TMemoryStream stored, expected;
    table.SaveToStream(stored);
    plain.SaveToStream(expected);
    EXPECT_EQ(Bytes(stored), Bytes(expected));
}

TEST(DBTable, SelectionUnderEveryCaseAndPartialRule) {
    TDBTable table("t", DBGameTable);
    table.Fields().AddField("name", DBString, 20);
    table.Fields().AddField("n", DBInteger, 0);
    table.Fields().AddField("r", DBFloat, 0);
    table.Fields().AddField("ok", DBBoolean, 0);
    const Strings names = {"Apple", "apple", "ＡＢＣ", "ａｂｃ", "pie", "", "表"};
    for (size_t i = 0; i < names.size(); ++i) {
        table.Append();
        table.SetStrByName("name", names[i]);
        table.SetIntByName("n", static_cast<int32_t>(i % 3));
        table.SetFloatByName("r", i * 0.5L);
        table.SetBoolByName("ok", i % 2 == 0);
    }
    const auto name = Strs({"NAME"});
    struct Case {
        std::string Key;
        bool IgnoreCase, Partial;
        std::vector<int32_t> Rows;
    };
    const std::vector<Case> cases = {
        {"apple", false, false, {1}},
        {"APPLE", false, false, {}},
        {"APPLE", true, false, {0, 1}},
        {"ＡＢＣ", true, false, {2, 3}},
        {"ａｂｃ", false, false, {3}},
        // Partial: the cell inside the key, never the key inside the cell; an empty cell never.
        {"an apple pie", false, true, {1, 4}},
        {"app", false, true, {}},
        {"AN APPLE PIE", false, true, {}},
        {"an Apple pie", true, true, {0, 1, 4}},
        {"xｘＡＢＣ", true, true, {2, 3}},
        // A trail byte 0x5C is not the character it looks like.
        {"ソ表", false, true, {6}},
        {"ソ", false, true, {}},
    };
    for (const Case& c : cases) {
        const auto key = Strs({c.Key});
        EXPECT_EQ(Selected(table, name.get(), key.get(), c.IgnoreCase, c.Partial), c.Rows) << c.Key << c.IgnoreCase << c.Partial;
    }

    // The key values' type decides how cells are read; the shorter list sets the number of keys.
    TParamInt one;
    one.SetInt(1);
    const auto n = Strs({"n", "r"});
    EXPECT_EQ(Selected(table, n.get(), &one, false, false), (std::vector<int32_t>{1, 4}));
    TParamFloat half;
    half.SetFloat(0.5L);
    const auto r = Strs({"r"});
    EXPECT_EQ(Selected(table, r.get(), &half, false, false), std::vector<int32_t>{1});
    TParamFlag yes;
    yes.SetBool(true);
    const auto ok = Strs({"ok", "n"});
    EXPECT_EQ(Selected(table, ok.get(), &yes, false, false), (std::vector<int32_t>{0, 2, 4, 6}));
    const auto two = Strs({"2", "TRUE"});
    EXPECT_EQ(Selected(table, ok.get(), two.get(), false, false), std::vector<int32_t>{});
    const auto nok = Strs({"n", "ok"});
    EXPECT_EQ(Selected(table, nok.get(), two.get(), false, false), (std::vector<int32_t>{2}));
    // Without keys every row; an unknown field none.
    EXPECT_EQ(Selected(table, nullptr, &one, false, false).size(), names.size());
    const auto unknown = Strs({"n", "nope"});
    const auto keys = Strs({"0", "0"});
    EXPECT_EQ(Selected(table, unknown.get(), keys.get(), false, false), std::vector<int32_t>{});
}

TEST(DBTable, SortsAsPythonSorted) {
    const Strings lines = Lines(PythonOutput("dbs_ref.py", {"sort", "300", "7"}));
    TDBTable table("t", DBGameTable);
    table.Fields().AddField("n", DBInteger, 0);
    table.Fields().AddField("r", DBFloat, 0);
    table.Fields().AddField("ok", DBBoolean, 0);
    table.Fields().AddField("text", DBString, 8);
    table.Fields().AddField("id", DBInteger, 0);
    size_t line = 0;
    for (; lines[line] != "--"; ++line) {
        std::istringstream in(lines[line]);
        std::string n, r, ok, text;
        in >> n >> r >> ok >> text;
        table.Append();
        table.SetStrByName("n", n);
        table.SetStrByName("r", r);
        table.SetBoolByName("ok", ok == "1");
        table.SetStrByName("text", X(text));
        table.SetIntByName("id", static_cast<int32_t>(line));
    }
    auto ids = [&table] {
        std::string out;
        for (int32_t row = 0; row < table.GetRecordCount(); ++row) {
            int32_t id = 0;
            table.GetInt(row, 4, id);
            out += (row ? " " : "") + std::to_string(id);
        }
        return out;
    };
    table.SetRecNo(5);
    TParamFlag orders;
    orders.SetDims({4});
    orders.SetBoolAt(1, true);
    table.Sort(*Strs({"OK", "n", "unknown", "text"}), orders);
    EXPECT_EQ(ids(), lines[line + 1]);
    EXPECT_EQ(table.GetRecNo(), 5);
    TParamFlag descending;
    descending.SetBool(true);
    table.Sort(*Strs({"text", "n"}), descending);
    EXPECT_EQ(ids(), lines[line + 3]);

    // Reals that are not numbers go after every number, whatever the other rows hold.
    TDBTable reals("r", DBGameTable);
    reals.Fields().AddField("r", DBFloat, 0);
    const long double values[] = {NAN, 2, -INFINITY, NAN, 0.5L, NAN, -1};
    for (long double v : values) {
        reals.Append();
        reals.SetFloatByName("r", v);
    }
    reals.Sort(*Strs({"r"}), TParamFlag());
    std::string order;
    for (int32_t row = 0; row < reals.GetRecordCount(); ++row) {
        std::string text;
        reals.GetStr(row, 0, text);
        order += text + " ";
    }
    EXPECT_EQ(order, "-INF -1 0.5 2 NAN NAN NAN ");
}

TEST(DBManager, StreamFormIsTheReferenceByteForByte) {
    const Strings ref = Lines(PythonOutput("dbs_ref.py", {"stream"}));
    TDBManager manager;
    manager.CreateTable("runs", DBStatusTable);
    manager.GetActiveTable()->Fields().AddField("count", DBInteger, 0);
    manager.GetActiveTable()->Append();
    manager.GetActiveTable()->SetIntByName("count", 3);
    manager.CreateTable("品目", DBGameTable);
    TDBCustomTable& items = *manager.GetActiveTable();
    items.Fields().AddField("id", DBInteger, 0);
    items.Fields().AddField("price", DBFloat, 0);
    items.Fields().AddField("ok", DBBoolean, 0);
    items.Fields().AddField("名前", DBString, 8);
    const Strings row0 = {"1", "2.5", "TRUE", "りんご"}, row1 = {"-5", "0.1", "FALSE", "banana-long"};
    for (const Strings* row : {&row0, &row1}) {
        items.Append();
        for (int32_t f = 0; f < 4; ++f) items.SetStr(items.GetRecNo(), f, (*row)[static_cast<size_t>(f)]);
    }
    items.SetRecNo(1);
    manager.CreateTable("empty", DBGameTable);
    manager.SetActive("品目");
    EXPECT_EQ(XOf(Saved(manager, DBGameTable)).substr(1), ref[0]);
    EXPECT_EQ(XOf(Saved(manager, DBStatusTable)).substr(1), ref[1]);

    // Read back: each kind replaces only its own tables.
    TDBManager loaded;
    loaded.CreateTable("other", DBGameTable);
    Load(loaded, FromHex(ref[1]), DBStatusTable);
    EXPECT_EQ(loaded.Count(), 2);
    EXPECT_EQ(loaded.GetActiveTable()->Name(), "runs");
    Load(loaded, FromHex(ref[0]), DBGameTable);
    EXPECT_EQ(loaded.Count(), 3);
    EXPECT_EQ(loaded.GetActiveTable()->Name(), "品目");
    EXPECT_EQ(loaded.GetActiveTable()->GetRecNo(), 1);
    EXPECT_EQ(Saved(loaded, DBGameTable), FromHex(ref[0]));
    EXPECT_EQ(Saved(loaded, DBStatusTable), FromHex(ref[1]));
    Load(loaded, FromHex(ref[1]), DBStatusTable);
    EXPECT_EQ(loaded.Count(), 3);
    EXPECT_EQ(loaded.GetActiveTable()->Name(), "runs");
    loaded.SetActive("品目");
    EXPECT_EQ(Saved(loaded, DBGameTable), FromHex(ref[0]));
}

TEST(DBManager, RefusesStoredTablesItCannotHold) {
    const std::string head = U32(100) + U32(1) + '\0' + Str("t") + '\0';
    const std::string intField = U32(1) + U32(4) + Str("n") + '\x01';
    const std::vector<std::pair<const char*, std::string>> cases = {
        // Rows that would need far more bytes than are left: refused before any row is made.
        {"rows", head + intField + U32(0x7FFFFFFF) + std::string(64, '\0')},
        {"empty rows", head + U32(0) + U32(0x7FFFFFFF) + U32(0xFFFFFFFF)},
        {"negative rows", head + intField + U32(0x80000000)},
        {"field count", head + U32(0x10000000)},
        {"int size", head + U32(1) + U32(5) + Str("n") + '\x01' + U32(0) + U32(0xFFFFFFFF)},
        {"type", head + U32(1) + U32(4) + Str("n") + '\x07' + U32(0) + U32(0xFFFFFFFF)},
        {"string size", head + U32(1) + U32(0) + Str("s") + '\x04' + U32(0) + U32(0xFFFFFFFF)},
        {"long string", head + U32(1) + U32(MaxDBStringLength + 2) + Str("s") + '\x04' + U32(0) + U32(0xFFFFFFFF)},
        {"current row", head + intField + U32(1) + U32(7) + U32(1) + Str("")},
        {"table count", U32(100) + U32(1000)},
        {"kind", U32(100) + U32(1) + '\0' + Str("t") + '\x01' + U32(0) + U32(0) + U32(0xFFFFFFFF) + Str("")},
        {"cut", head + intField + U32(1) + U32(7)},
    };
    for (const auto& [what, bytes] : cases) {
        TDBManager manager;
        EXPECT_THROW(Load(manager, bytes, DBGameTable), EReadError) << what;
    }
    // Well-formed tables pass; a text cell stored without its terminator reads within its field.
    TDBManager manager;
    Load(manager, head + U32(0) + U32(0) + U32(0xFFFFFFFF) + Str("T"), DBGameTable);
    EXPECT_EQ(manager.ActiveIndex(), 0);
    Load(manager, head + U32(2) + U32(3) + Str("s") + '\x04' + intField.substr(4) + U32(1) + "abc" + U32(7) + U32(0) +
                      Str(""),
         DBGameTable);
    EXPECT_EQ(manager.DirectGetStr("t", nullptr, nullptr, false, false, "s", "?"), "ab");
    EXPECT_EQ(manager.DirectGetInt("t", nullptr, nullptr, false, false, "n", 0), 7);
    // Rows without fields take no bytes.
    Load(manager, head + U32(0) + U32(5) + U32(4) + Str(""), DBGameTable);
    EXPECT_EQ(manager.GetTable(0)->GetRecordCount(), 5);
    EXPECT_EQ(manager.GetTable(0)->GetRecNo(), 4);
}

TEST(DBTable, ImportsTabSeparatedCp932Text) {
    const std::string path = FreshHostFolder() + "scenes.tsv";
    const Strings ref = Lines(PythonOutput("dbs_ref.py", {"tsv", path}));
    TDBTable table("t", DBGameTable);
    table.Fields().AddField("old", DBInteger, 0);
    ASSERT_TRUE(table.LoadFromTabText(LinesOf(FileText(path))));
    ASSERT_EQ(table.Fields().Count(), 6);
    size_t line = 0;
    for (; line < 6; ++line) {
        std::istringstream in(ref[line]);
        std::string name;
        int type = 0, size = 0;
        in >> name >> type >> size;
        const TDBField& field = table.Fields().Fields(static_cast<int>(line));
        EXPECT_EQ(field.Name, X(name));
        EXPECT_EQ(field.Type, type);
        EXPECT_EQ(field.Size, size) << line;
    }
    ASSERT_EQ(table.GetRecordCount(), static_cast<int32_t>(ref.size() - line));
    for (int32_t row = 0; line < ref.size(); ++line, ++row) {
        std::istringstream in(ref[line]);
        for (int32_t f = 0; f < 6; ++f) {
            std::string want, got;
            in >> want;
            table.GetStr(row, f, got);
            EXPECT_EQ(XOf(got), want) << row << " " << f;
        }
    }

    // A header no table can have: false, and no fields are left.
    const std::vector<std::string> bad = {"a int\t\tc", "a\t" + std::string(" x"), "s str 1048577",
                                          "s str -1"};
    for (const std::string& header : bad) {
        EXPECT_FALSE(table.LoadFromTabText(LinesOf(header + "\r\n1\t2"))) << header;
        EXPECT_EQ(table.Fields().Count(), 0);
        EXPECT_EQ(table.GetRecordCount(), 0);
    }
    EXPECT_FALSE(table.LoadFromTabText(TStringList()));
    EXPECT_TRUE(table.LoadFromTabText(LinesOf("s str 1048576\tn int\tN float")));
    EXPECT_EQ(table.Fields().Count(), 2);
    // Full-width letters too are one name in either case; the first of a name wins.
    EXPECT_TRUE(table.LoadFromTabText(LinesOf("Ｘ int\tｘ float\ty")));
    EXPECT_EQ(table.Fields().Count(), 2);
    EXPECT_EQ(table.Fields().IndexOf("ｘ"), 0);
    EXPECT_EQ(table.Fields().IndexOf("Y"), 1);
}

TEST(DBManager, TablesByNameAndRowsBetweenThem) {
    TDBManager m;
    EXPECT_EQ(m.CreateTable("", DBGameTable), -1);
    ASSERT_EQ(m.CreateTable("a", DBGameTable), 0);
    m.GetActiveTable()->Fields().AddField("k", DBString, 4);
    m.GetActiveTable()->Fields().AddField("v", DBInteger, 0);
    for (int i = 0; i < 4; ++i) {
        m.GetActiveTable()->Append();
        m.GetActiveTable()->SetStrByName("k", "k" + std::to_string(i));
        m.GetActiveTable()->SetIntByName("v", i * 10);
    }
    ASSERT_EQ(m.CreateTable("S", DBStatusTable), 1);
    m.GetActiveTable()->Fields().AddField("x", DBInteger, 0);
    // An existing status table keeps its fields; an existing table made again as game data is
    // emptied but keeps its kind.
    EXPECT_EQ(m.CreateTable("s", DBStatusTable), 1);
    EXPECT_EQ(m.GetActiveTable()->Fields().Count(), 1);
    EXPECT_EQ(m.CreateTable("s", DBGameTable), 1);
    EXPECT_EQ(m.GetActiveTable()->Fields().Count(), 0);
    EXPECT_EQ(m.GetActiveTable()->Kind(), DBStatusTable);

    // Direct access leaves the active table and current rows alone.
    const auto k = Strs({"K"}), key = Strs({"K2"});
    EXPECT_EQ(m.DirectGetInt("A", k.get(), key.get(), true, false, "v", -1), 20);
    EXPECT_EQ(m.DirectGetInt("A", k.get(), key.get(), false, false, "v", -1), -1);
    EXPECT_EQ(m.DirectGetInt("A", k.get(), key.get(), true, false, "none", -1), -1);
    EXPECT_EQ(m.DirectGetStr("missing", k.get(), key.get(), true, false, "v", "d"), "d");
    EXPECT_TRUE(m.DirectSetFloat("a", k.get(), key.get(), true, false, "v", 2.5L));
    EXPECT_EQ(m.DirectGetStr("a", k.get(), key.get(), true, false, "v", ""), "2");
    EXPECT_FALSE(m.DirectSetBool("a", nullptr, nullptr, false, false, "none", true));
    EXPECT_TRUE(m.DirectGetBool("a", nullptr, nullptr, false, false, "v", true) == false);  // row 0 holds 0
    EXPECT_EQ(m.DirectGetFloat("a", nullptr, nullptr, false, false, "k", 9), 0);
    EXPECT_EQ(m.GetActiveTable()->Name(), "S");
    EXPECT_EQ(m.GetTable(0)->GetRecNo(), 3);

    // Copies go only to another table and take its fields; inserts need the same layout.
    TIntList rows;
    rows.Add(2);
    rows.Add(0);
    rows.Add(99);
    m.SetActive("a");
    EXPECT_FALSE(m.CopyRowsTo("A", rows));
    EXPECT_FALSE(m.CopyRowsTo("none", rows));
    ASSERT_TRUE(m.CopyRowsTo("s", rows));
    TDBCustomTable& s = *m.GetTable(1);
    EXPECT_TRUE(TDBFieldList::SameLayout(s.Fields(), m.GetTable(0)->Fields()));
    EXPECT_EQ(s.GetRecordCount(), 2);
    EXPECT_EQ(s.GetRecNo(), 1);
    int32_t v = 0;
    s.GetInt(0, 1, v);
    EXPECT_EQ(v, 2);  // row 2 as the direct write left it
    EXPECT_TRUE(m.InsertRowsFrom("a", rows));  // from itself
    EXPECT_EQ(m.GetActiveTable()->GetRecordCount(), 6);
    EXPECT_EQ(m.GetActiveTable()->GetRecNo(), 5);
    m.CreateTable("c", DBGameTable);
    m.GetActiveTable()->Fields().AddField("K", DBString, 4);
    m.GetActiveTable()->Fields().AddField("v", DBInteger, 0);
    EXPECT_FALSE(m.InsertRowsFrom("a", rows));  // one name differs in case
    m.SetActive("c");

    // Deleting keeps the active table by its name; game tables go on a reset.
    m.DeleteTable("a");
    EXPECT_EQ(m.GetActiveTable()->Name(), "c");
    m.DeleteTable("C");
    EXPECT_EQ(m.GetActiveTable(), nullptr);
    m.CreateTable("g", DBGameTable);
    m.SetActive("s");
    TScriptHost().ClearGameTables();  // no manager: nothing
    DBManager = &m;
    TScriptHost().ClearGameTables();
    DBManager = nullptr;
    ASSERT_EQ(m.Count(), 1);
    EXPECT_EQ(m.GetTable(0)->Name(), "S");
    EXPECT_EQ(m.ActiveIndex(), -1);
    m.Clear();
    EXPECT_EQ(m.Count(), 0);
}

namespace {

class DBSaveData : public ProjectTest {
protected:
    void SetUp() override {
        ProjectTest::SetUp();
        AddTitle();
        AddPage("m.vsb", TPageWriter().Note("a"));
    }
    void Reopen() {
        FreeProject();
        DBManager->Clear();
        Open();
    }
};

}  // namespace

TEST_F(DBSaveData, GameTablesGoWithEachSaveAndStatusTablesWithTheStatus) {
    Open();
    DBManager->CreateTable("runs", DBStatusTable);
    DBManager->GetActiveTable()->Fields().AddField("n", DBInteger, 0);
    DBManager->GetActiveTable()->Append();
    DBManager->GetActiveTable()->SetIntByName("n", 4);
    DBManager->CreateTable("scenes", DBGameTable);
    DBManager->GetActiveTable()->Fields().AddField("name", DBString, 10);
    DBManager->GetActiveTable()->Append();
    DBManager->GetActiveTable()->SetStrByName("name", "場面");
    Project->ExecuteSave(0, "", "s", 0);
    ASSERT_TRUE(host->Warnings.empty());
    const std::string game = Saved(*DBManager, DBGameTable);

    // A new run reads the status tables; the game tables come with the slot.
    Reopen();
    ASSERT_EQ(DBManager->Count(), 1);
    EXPECT_EQ(DBManager->DirectGetInt("runs", nullptr, nullptr, false, false, "n", 0), 4);
    DBManager->CreateTable("stale", DBGameTable);
    Project->LoadGame(0);
    EXPECT_TRUE(host->Warnings.empty());
    EXPECT_EQ(Saved(*DBManager, DBGameTable), game);
    EXPECT_EQ(DBManager->GetActiveTable()->Name(), "scenes");
    EXPECT_EQ(DBManager->Count(), 2);

    // A slot whose table claims more rows than it holds is refused as damaged.
    std::string record = ArchiveEntry(SaveFile(), "GAMESAVEDATA0");
    const size_t rows = record.size() - 4 - (4 + 6) - 4 - 11;  // before the row, current row, active name
    ASSERT_EQ(record.substr(rows, 4), U32(1));
    record.replace(rows, 4, U32(50000000));
    WriteArchive(SaveFile(), {{"GAMESAVEDATA0", record}});
    Project->LoadGame(0);
    EXPECT_TRUE(Terminating());
    EXPECT_EQ(host->Warnings, Strings{"このセーブデータは使用できません\r\n終了してください"});
}
