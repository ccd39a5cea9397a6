// The data-table functions run as compiled expressions over the table manager, with a
// tab-separated file imported from the content.
#include "core/vrfiles_manager.h"
#include "script/dbs.h"
#include "script/services.h"
#include "tests/script/params_funcs_run.h"

namespace {

class DBFuncs : public ExprFuncsTest {
protected:
    void SetUp() override {
        ExprFuncsTest::SetUp();
        CreateDBManager();
        CreateVrFileSystem();
        VrFileManager->Add("");
        CreateScriptServices();
        AddFile("scenes.tsv", "no int\ttitle str 12\tseen bool\r\n3\t表示\tTRUE\r\n\r\n1\tソ\\\\表\tFALSE\r\n");
        AddFile("empty.tsv", "");
        // A thousand bytes declaring 60 fields of about a megabyte, and eleven rows.
        std::string wide;
        for (int i = 0; i < 60; ++i) wide += (i ? "\tf" : "f") + std::to_string(i) + " str 1048000";
        for (int i = 0; i < 11; ++i) wide += "\r\na\tb";
        AddFile("wide.tsv", wide);
        AddFile("stop.tsv", std::string("n int\r\n1\r\n") + '\0' + "\r\n2\r\n");
    }
    void TearDown() override {
        FreeScriptServices();
        FreeVrFileSystem();
        FreeDBManager();
        ExprFuncsTest::TearDown();
    }
    static void AddFile(const std::string& Name, const std::string& Bytes) {
        VrFileManager->GetCollection(0).AddStream(Name).DataSource->WriteBuffer(Bytes.data(), int64_t(Bytes.size()));
    }
};

// Table "t" of fields id (int), name (8 bytes), v (real) and ok (bool) with three rows; the last
// appended, row 2, is current.
const std::vector<std::string> kTable = {
    "DBCreateTable(\"t\", FALSE)", "DBAddField(\"id\", 1)", "DBAddField(\"name\", 4, 8)", "DBAddField(\"v\", 2)",
    "DBAddField(\"ok\", 3)",       "DBInsert(3, \"c\", 1.5, TRUE)", "DBInsert(1, \"a\", 2.5, FALSE)",
    "DBInsert(2, \"b\", 3.5, TRUE)"};

// Setup, then each call with its result appended to r. One call per statement: the compiler
// runs the calls of one statement from the last to the first.
std::vector<std::string> Calls(std::vector<std::string> Setup, const std::vector<std::string>& Calls) {
    for (size_t i = 0; i < Calls.size(); ++i) Setup.push_back((i ? "r = r ++ " : "r = ") + Calls[i]);
    return Setup;
}

TEST_F(DBFuncs, TablesAndFields) {
    Check({
        {Calls(kTable, {"DBCreateTable(\"T\", FALSE)", "DBRecordCount()", "DBAddField(\"ID\", 1)"}), "TRUE0TRUE"},
        {Calls(kTable, {"DBCreateTable(\"u\", TRUE)", "DBCreateTable(\"t\", TRUE)", "DBRecordCount()", "DBGetActive()"}),
         "TRUETRUE3t"},
        {Calls({}, {"DBCreateTable(\"\", FALSE)", "DBGetTableCount()"}), "FALSE0"},
        {Calls(kTable, {"DBAddField(\"NAME\", 4, 3)", "DBAddField(\"x\", 9)", "DBAddField(\"big\", 4, 1048577)",
                        "DBAddField(\"neg\", 4, -1)", "DBAddField(\"y\", 257)"}),
         "FALSEFALSEFALSEFALSETRUE"},
        // Without an active table.
        {Calls({}, {"DBAddField(\"x\", 1)", "DBSetRecNo(0)", "DBInsert()", "DBGetInt(\"x\")", "DBGetFloat(\"x\")",
                    "DBRecordCount()", "DBGetRecNo()", "DBFindFirst()", "DBSort(\"x\", TRUE)", "DBGetActive()"}),
         "FALSEFALSEFALSE00-1-1FALSEFALSE"},
        {Calls(kTable, {"DBCreateTable(\"u\", TRUE)", "DBDeleteTable(\"t\")", "DBGetActive()", "DBGetTableCount()",
                        "DBDeleteTable()", "DBGetActive()", "DBGetTableCount()", "DBDeleteTable()"}),
         "TRUEFALSEu1FALSE0FALSE"},
        {Calls(kTable, {"DBRecordCount(\"missing\")", "DBClearRecord(\"x\")", "DBClearRecord(\"T\")",
                        "DBRecordCount(\"t\")", "DBGetRecNo(5)", "DBGetStr(\"name\")"}),
         "-1FALSETRUE0-1"},
        {Calls(kTable, {"DBCreateTable(\"u\", TRUE)", "DBGetTable(1, s, b)", "s", "b",
                        "DBGetTable(DBGetTableCount(), s, b)", "DBGetTable(0, s)", "s", "b"}),
         "TRUETRUEuTRUEFALSETRUEtTRUE"},
    });
}

TEST_F(DBFuncs, RowsAndCells) {
    Check({
        {Calls(kTable, {"DBGetRecNo()", "DBGetInt(\"id\")", "DBGetStr(\"NAME\")", "DBGetFloat(\"v\")", "DBGetBool(\"ok\")"}),
         "22b3.5TRUE"},
        // Arguments beyond the fields are ignored; text is cut to its field.
        {Calls(kTable, {"DBInsert(4, \"longer than eight\", 1, FALSE, 99, 100)", "DBGetStr(\"name\")",
                        "DBGetFloat(\"v\")", "DBRecordCount()"}),
         "TRUElonger t14"},
        {Calls(kTable, {"DBSetRecNo(-1)", "DBGetInt(\"id\")", "DBSetInt(\"id\", 5)", "DBGetRecNo()", "DBSetRecNo(3)",
                        "DBDelete()", "DBSetActive(\"T\")", "DBSetActive(\"x\")", "DBGetActive()"}),
         "TRUE0FALSE-1FALSEFALSETRUEFALSEt"},
        // Deleting reports false even when it deleted.
        {Calls(kTable, {"DBDelete()", "DBRecordCount()", "DBGetRecNo()"}), "FALSE21"},
        {Calls(kTable, {"DBSort(\"name\", FALSE)", "DBFindFirst()", "DBGetStr(\"name\")", "DBSort(\"id\", TRUE)",
                        "DBGetInt(\"id\")"}),
         "TRUETRUEaTRUE3"},
    });
}

TEST_F(DBFuncs, SelectionCopiesAndDirectCells) {
    Check({
        {Calls(kTable, {"DBLocate(\"name\", \"a\")", "DBGetInt(\"id\")", "DBLocate(\"name\", \"xcx\", FALSE, TRUE)",
                        "DBGetInt(\"id\")"}),
         "TRUE1TRUE3"},
        // A selection of nothing keeps the current row.
        {Calls(kTable, {"DBSetRecNo(0)", "DBLocate(\"name\", \"z\")", "DBGetRecNo()", "DBLocate(\"name\", \"B\")"}),
         "TRUEFALSE0FALSE"},
        {Calls(kTable, {"DBDirectGetInt(\"t\", \"name\", \"c\", FALSE, FALSE, \"id\", -7)",
                        "DBDirectGetInt(\"t\", \"name\", \"z\", FALSE, FALSE, \"id\", -7)",
                        "DBDirectSetStr(\"t\", \"id\", 1, FALSE, FALSE, \"name\", \"A\")",
                        "DBDirectGetStr(\"T\", \"id\", 1, FALSE, FALSE, \"name\", \"d\")",
                        "DBDirectGetFloat(\"nope\", \"id\", 1, FALSE, FALSE, \"v\", 0.5)",
                        "DBDirectGetBool(\"t\", \"id\", 3, FALSE, FALSE, \"ok\", FALSE)",
                        "DBDirectSetBool(\"t\", \"id\", 1, FALSE, FALSE, \"none\", TRUE)", "DBGetRecNo()"}),
         "3-7TRUEA0.5TRUEFALSE2"},
        {Calls(kTable, {"DBCopyTable(\"t\")", "DBCopyTable(\"missing\")"}), "FALSEFALSE"},
        {Calls(kTable, {"DBCreateTable(\"u\", TRUE)", "DBSetActive(\"t\")", "DBCopyTable(\"u\", \"ok\", TRUE)",
                        "DBRecordCount(\"u\")", "DBSetActive(\"u\")", "DBGetRecNo()", "DBGetInt(\"id\")"}),
         "TRUETRUETRUE2TRUE12"},
        // Field names of the same letters in another case are another layout.
        {Calls(kTable, {"DBCreateTable(\"u\", FALSE)", "DBAddField(\"ID\", 1)", "DBAddField(\"name\", 4, 8)",
                        "DBAddField(\"v\", 2)", "DBAddField(\"ok\", 3)", "DBSetActive(\"t\")", "DBInsertTable(\"u\")",
                        "DBInsertTable(\"missing\")", "DBInsertTable(\"t\", \"ok\", TRUE)", "DBRecordCount()",
                        "DBGetRecNo()"}),
         "TRUETRUETRUETRUETRUETRUEFALSEFALSETRUE54"},
        {Calls(kTable, {"DBSetRecNo(1)", "DBCopy(\"t\")", "DBRecordCount()", "DBGetRecNo()", "DBGetStr(\"name\")",
                        "DBCopy(\"missing\")", "DBSetRecNo(-1)", "DBCopy(\"t\")"}),
         "TRUETRUE43aFALSETRUEFALSE"},
    });
}

// DBClearTable frees the status tables too and sets no result.
TEST_F(DBFuncs, ClearTableSetsNoResult) {
    for (const std::string& statement : kTable) Run(statement);
    Run("DBCreateTable(\"u\", TRUE)");
    uint8_t clear = 0;
    ASSERT_TRUE(FindSysFuncIndex("DBClearTable", clear));
    TParamCollectionItem& dest = *ParamMan->Find("r");
    SysFuncMan->CallFunction(dest, clear, {});
    EXPECT_EQ(dest.GetAsStr(), "keep");
    EXPECT_EQ(DBManager->Count(), 0);
    EXPECT_EQ(DBManager->GetActiveTable(), nullptr);
}

// The content file's lines: a header of "name type length" cells, rows with escapes decoded and
// Shift-JIS trail bytes 0x5C kept whole.
TEST_F(DBFuncs, TabSeparatedFilesComeFromTheContent) {
    Check({
        {Calls({"DBCreateTable(\"s\", FALSE)"}, {"DBLoadTsvFile(\"scenes.tsv\")", "DBRecordCount()", "DBFindLast()",
                                                 "DBGetStr(\"title\")", "DBGetInt(\"no\")", "DBGetBool(\"seen\")"}),
         "TRUE2TRUEソ\\表1FALSE"},
        {Calls({"DBCreateTable(\"s\", FALSE)"}, {"DBLoadTsvFile(\"missing.tsv\")", "DBLoadTsvFile(\"empty.tsv\")"}),
         "FALSEFALSE"},
        {Calls({}, {"DBLoadTsvFile(\"scenes.tsv\")"}), "FALSE"},
    });
}

// A table holds at most MaxDBTableBytes of rows: a row or a field beyond them is refused, and so
// is a file of more (a tiny file declaring 60 fields of a megabyte and eleven rows), the table
// kept as it was. A file's text ends at its first NUL.
TEST_F(DBFuncs, TablesStayWithinTheirBudget) {
    // Four rows of 16 MiB fill the budget.
    std::vector<std::string> setup = {"DBCreateTable(\"w\", FALSE)"};
    for (int i = 0; i < 16; ++i) setup.push_back("DBAddField(\"f" + std::to_string(i) + "\", 4, 1048575)");
    Check({
        {Calls(setup, {"DBInsert()", "DBInsert()", "DBInsert()", "DBInsert(\"x\")", "DBInsert()",
                       "DBAddField(\"i\", 1)", "DBRecordCount()", "DBLoadTsvFile(\"wide.tsv\")", "DBRecordCount()",
                       "DBFindLast()", "DBGetStr(\"F0\")"}),
         "TRUETRUETRUETRUEFALSEFALSE4FALSE4TRUEx"},
        {Calls({"DBCreateTable(\"s\", FALSE)"},
               {"DBLoadTsvFile(\"stop.tsv\")", "DBRecordCount()", "DBFindLast()", "DBGetInt(\"n\")"}),
         "TRUE1TRUE1"},
    });
}

}  // namespace
