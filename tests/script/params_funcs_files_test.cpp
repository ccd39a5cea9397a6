// The file and path functions through compiled expressions: content files tested and read as
// lines, and paths taken apart where a trail byte 0x5C must not count as a "\".
#include "tests/script/params_funcs_eval.h"

namespace {

using FileFuncs = EvalFuncsTest;

TEST_F(FileFuncs, PathsAreTakenApartByCharacters) {
    // ソ and 表 end in the byte 0x5C.
    struct Row {
        const char* expression;
        const char* input;
        const char* want;
    };
    const Row rows[] = {
        {"ExtractFilePath(s)", "a\\b\\c.txt", "a\\b\\"},
        {"ExtractFileName(s)", "a\\b\\c.txt", "c.txt"},
        {"ExtractFileExt(s)", "a\\b\\c.txt", ".txt"},
        {"ExtractFileExt(s)", "a.b\\c", ""},
        {"ExtractFilePath(s)", "C:x.txt", "C:"},
        {"ExtractFilePath(s)", "ソ表", ""},
        {"ExtractFileName(s)", "ソ\\表.txt", "表.txt"},
        {"ExtractFileExt(s)", "表.ソ", ".ソ"},
        {"ExtractFilePath(s)", "abc", ""},
        {"ExtractFileName(s)", "abc", "abc"},
        {"ChangeFileExt(s, \".dat\")", "a.txt", "a.dat"},
        {"ChangeFileExt(s, \".dat\")", "abc", "abc.dat"},
        {"ChangeFileExt(s, \"\")", "d\\a.b.txt", "d\\a.b"},
        {"ChangeFileExt(s, \".x\")", "a.b\\c", "a.b\\c.x"},
        {"AddBackSlash(s)", "C:", "C:\\"},
        {"AddBackSlash(s)", "表", "表\\"},
        {"AddBackSlash(s)", "a\\", "a\\"},
        {"AddBackSlash(s)", "", "\\"},
        {"IsPathDelimiter(s, 2)", "a\\", "TRUE"},
        {"IsPathDelimiter(s, 2)", "表", "FALSE"},
        {"IsPathDelimiter(s, 0)", "\\", "FALSE"},
        {"IsPathDelimiter(s, 3)", "a\\", "FALSE"},
        {"IsPathDelimiter(s, 1)", ":", "FALSE"},
    };
    for (const Row& row : rows) {
        SetStr("s", row.input);
        EXPECT_EQ(Eval(row.expression), row.want) << row.expression << " of " << ToHex(row.input);
    }
}

TEST_F(FileFuncs, FileExistsAsksTheFileManagerExceptForAnEmptyName) {
    WriteHostFile(hostBase + "sub/here.txt", "x");
    for (auto [name, want] : {std::pair{"sub\\HERE.txt", "TRUE"}, {"sub\\gone.txt", "FALSE"}, {"", "FALSE"}}) {
        SetStr("s", name);
        EXPECT_EQ(Eval("FileExists(s)"), want) << name;
    }
}

TEST_F(FileFuncs, LoadTextFileGivesOneElementPerLineOrLeavesTheArrayAlone) {
    struct Row {
        const char* bytes;
        size_t size;
        std::vector<std::string> lines;  // empty: false, the array untouched
    };
    const Row rows[] = {
        {"a\r\nb\rc", 6, {"a", "b", "c"}},
        {"a\r\nb\r\nc\r\n", 9, {"a", "b", "c"}},
        {"a\n\nb\n", 5, {"a", "", "b"}},
        {"one\0two", 7, {"one"}},
        {"\0abc", 4, {}},
        {"", 0, {}},
    };
    for (const Row& row : rows) {
        WriteHostFile(hostBase + "t.txt", std::string(row.bytes, row.size));
        SetStr("a", "keep");
        SetStr("s", "t.txt");
        EXPECT_EQ(Eval("LoadTextFile(a, s)"), row.lines.empty() ? "FALSE" : "TRUE") << ToHex(row.bytes);
        const TParamCollectionItem& a = *ParamMan->Find("a");
        std::vector<std::string> got;
        for (int32_t i = 0; i < a.Count(); ++i) got.push_back(a.GetStrAt(i));
        EXPECT_EQ(got, row.lines.empty() ? std::vector<std::string>{"keep"} : row.lines) << ToHex(row.bytes);
    }
    // A file nothing holds: false, and the array as it was.
    SetStr("s", "missing.txt");
    EXPECT_EQ(Eval("LoadTextFile(a, s)"), "FALSE");
    EXPECT_EQ(ParamMan->Find("a")->GetAsStr(), "keep");
}

}  // namespace
