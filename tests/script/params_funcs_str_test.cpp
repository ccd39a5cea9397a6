// The dispatcher's call frame, and the string functions on ASCII and Shift-JIS text (trail
// bytes 0x5C among them), with StringReplace checked against Python on decoded text.
#include "tests/common/fixture.h"
#include "tests/script/params_funcs_fixture.h"

#include "core/jstrm.h"

#include <climits>
#include <random>
#include <sstream>

namespace {

using StrFuncs = FuncsTest;

// 表 and ソ end in the byte 0x5C, like a backslash.
const std::string kSjis = "表ソa\\";

TEST_F(StrFuncs, DispatcherChecksCountsAndStoresOnlyResults) {
    // Every number of the function table has its function: the dispatcher refuses to be made
    // otherwise, and a second one is made here from the families as they stand.
    EXPECT_NO_THROW(TSysFuncMan{});
    EXPECT_EQ(ErrorOf("Copy", {S("abc")}), "Copy 引数の数が不正です");
    TParamCollectionItem& dest = ParamMan->AddParam(PT_STR);
    SysFuncMan->CallFunction(dest, 200, std::vector<TCustomParam*>{S("x")});
    EXPECT_EQ(dest.GetAsStr(), "");
    // Delete stores no result: the new temporary stays empty while its variable is shortened.
    TCustomParam* v = Var("v", PT_STR);
    v->SetStr("abcdef");
    EXPECT_EQ(Call("Delete", {v, I(2)}).GetAsStr(), "");
    EXPECT_EQ(ParamMan->Find("v")->GetAsStr(), "a");
    // A literal passed there changes only itself.
    TCustomParam* literal = S("abc");
    Call("Delete", {literal, I(1), I(1)});
    EXPECT_EQ(literal->AsStr(), "bc");
}

TEST_F(StrFuncs, IntToStrAndIntToHexPadAndRefuseBadOrHugePrecisions) {
    EXPECT_EQ(Call("IntToStr", {I(-5), S("3")}).GetAsStr(), "-005");
    EXPECT_EQ(Call("IntToStr", {I(1234), I(2)}).GetAsStr(), "1234");
    EXPECT_EQ(Call("IntToStr", {I(INT_MIN), S("12")}).GetAsStr(), "-002147483648");
    for (const char* bad : {"x", "-3", "3d", "99999999999"})
        EXPECT_EQ(ErrorOf("IntToStr", {I(1), S(bad)}),
                  std::string("書式文字列 '%.") + bad + "d' は正しくないか引数の型と一致しません");
    EXPECT_EQ(Call("IntToHex", {I(255), I(4)}).GetAsStr(), "00FF");
    EXPECT_EQ(Call("IntToHex", {I(-1), I(1)}).GetAsStr(), "FFFFFFFF");
    EXPECT_EQ(Call("IntToHex", {I(0), I(-3)}).GetAsStr(), "0");
    EXPECT_EQ(ErrorOf("IntToHex", {I(1), I(INT_MAX)}),
              "書式文字列 '%.*x' は正しくないか引数の型と一致しません");
}

TEST_F(StrFuncs, ByteCopyDeleteInsertClampPositions) {
    EXPECT_EQ(Call("Copy", {S("abc"), I(0), I(2)}).GetAsStr(), "ab");
    EXPECT_EQ(Call("Copy", {S("abc"), I(4)}).GetAsStr(), "");
    EXPECT_EQ(Call("Copy", {S("abcdef"), I(3)}).GetAsStr(), "cdef");
    EXPECT_EQ(Call("Copy", {S("abcdef"), I(INT_MIN), I(INT_MAX)}).GetAsStr(), "abcdef");
    TCustomParam* v = Var("v", PT_STR);
    for (auto [index, count, want] : {std::tuple{2, INT_MAX, "a"}, {0, 2, "abcdef"}, {7, 1, "abcdef"}, {3, 2, "abef"}}) {
        v->SetStr("abcdef");
        Call("Delete", {v, I(index), I(count)});
        EXPECT_EQ(v->AsStr(), want) << index;
    }
    for (auto [index, want] : {std::pair{99, "abX"}, {-5, "Xab"}, {2, "aXb"}}) {
        v->SetStr("ab");
        Call("Insert", {S("X"), v, I(index)});
        EXPECT_EQ(v->AsStr(), want);
    }
}

TEST_F(StrFuncs, CharacterFormsNeverSplitDoubleByteCharacters) {
    EXPECT_EQ(Call("JCopy", {S(kSjis), I(2), I(1)}).GetAsStr(), "ソ");
    EXPECT_EQ(Call("Pos", {S("\\"), S(kSjis)}).GetAsInt(), 2);
    EXPECT_EQ(Call("JPos", {S("\\"), S(kSjis)}).GetAsInt(), 4);
    TCustomParam* v = Var("v", PT_STR);
    v->SetStr(kSjis);
    Call("JInsert", {S("ー"), v, I(2)});
    EXPECT_EQ(v->AsStr(), "表ーソa\\");
    Call("JDelete", {v, I(3)});  // the default count runs to the end
    EXPECT_EQ(v->AsStr(), "表ー");
    EXPECT_FALSE(Call("IsDelimiter", {S("\\"), S(kSjis), I(2)}).GetAsBool());
    EXPECT_FALSE(Call("IsDelimiter", {S("\x95"), S(kSjis), I(1)}).GetAsBool());
    EXPECT_TRUE(Call("IsDelimiter", {S("/\\"), S(kSjis), I(6)}).GetAsBool());
    EXPECT_FALSE(Call("IsDelimiter", {S("\\"), S(kSjis), I(7)}).GetAsBool());
    for (auto [in, out] :
         {std::pair{"あ\x82", "あ"}, {"aあ", "aあ"}, {"\x82", "\x82"}, {"表", "表"}, {"\x82\x82\x82", "\x82\x82"}})
        EXPECT_EQ(Call("FixStr", {S(in)}).GetAsStr(), out) << ToHex(in);
    EXPECT_EQ(Call("Trim", {S("\t\r\n 　a \r\n")}).GetAsStr(), "　a");
    for (auto [a, b, want] : {std::tuple{"abc", "abd", -1}, {"ab", "abc", -1}, {"b", "a", 1}, {"\x82", "a", 0x82 - 'a'}})
        EXPECT_EQ(Call("CompareStr", {S(a), S(b)}).GetAsInt(), want);
}

TEST_F(StrFuncs, StringOfCharAndStringReplaceBoundTheirResults) {
    EXPECT_EQ(Call("StringOfChar", {S("ab"), I(3)}).GetAsStr(), "ababab");
    EXPECT_EQ(Call("StringOfChar", {S(""), I(INT_MAX)}).GetAsStr(), "");
    EXPECT_EQ(ErrorOf("StringOfChar", {S("ab"), I(INT_MAX)}), "StringOfChar:文字列が長すぎます");
    EXPECT_EQ(Call("StringReplace", {S("aaa"), S("a"), S("b")}).GetAsStr(), "baa");
    EXPECT_EQ(Call("StringReplace", {S("Abc"), S("a"), S("x"), B(true), B(true)}).GetAsStr(), "xbc");
    EXPECT_EQ(ErrorOf("StringReplace", {S(std::string(20000, 'a')), S("a"), S(std::string(5000, 'b')), B(true)}),
              "StringReplace:文字列が長すぎます");
}

// On texts of "A", "b" and the lead byte of "ア" (83 41) occurrences overlap, repeat and begin on
// second bytes: Pos finds them at any byte, JPos as JStrPos does, StringReplace at a character's
// start counted from where each search begins.
TEST_F(StrFuncs, SearchesAgreeWithTheirDefinitionsOnRepeatingText) {
    const auto atCharStart = [](const std::string& S, const std::string& Sub, size_t From) {
        for (size_t p = From; p + Sub.size() <= S.size(); p += CharSize(S, p))
            if (S.compare(p, Sub.size(), Sub) == 0) return p;
        return std::string::npos;
    };
    std::mt19937 random(5);
    const auto text = [&random](size_t Most) {
        std::string s(random() % (Most + 1), ' ');
        for (char& c : s) c = "Ab\x83\x83"[random() % 4];
        return s;
    };
    for (int i = 0; i < 2000; ++i) {
        const std::string s = text(40), sub = i % 3 ? text(7) : s.substr(random() % (s.size() + 1), 9);
        const size_t at = sub.empty() ? std::string::npos : s.find(sub);
        EXPECT_EQ(Call("Pos", {S(sub), S(s)}).GetAsInt(), at == std::string::npos ? 0 : int(at) + 1) << ToHex(s);
        EXPECT_EQ(Call("JPos", {S(sub), S(s)}).GetAsInt(), JStrPos(sub, s)) << ToHex(sub) << " " << ToHex(s);
        std::string replaced;
        size_t from = 0;
        for (size_t p; !sub.empty() && (p = atCharStart(s, sub, from)) != std::string::npos; from = p + sub.size())
            replaced.append(s, from, p - from).append("-");
        replaced.append(s, from);
        EXPECT_EQ(Call("StringReplace", {S(s), S(sub), S("-"), B(true)}).GetAsStr(), replaced) << ToHex(sub) << " " << ToHex(s);
    }
}

// Only single-byte letters change case: full-width, Greek and Cyrillic ones stay, and so do trail
// bytes that look like letters ("ア" is 83 41, "ツ" 83 63).
TEST_F(StrFuncs, CaseChangesOnlySingleByteLetters) {
    EXPECT_EQ(Call("LowerCase", {S("AbＡａΑД アツZ")}).GetAsStr(), "abＡａΑД アツz");
    EXPECT_EQ(Call("UpperCase", {S("AbＡａαд アツz")}).GetAsStr(), "ABＡａαд アツZ");
    EXPECT_EQ(Call("StringReplace", {S("ａＡa"), S("ａ"), S("x"), B(true), B(true)}).GetAsStr(), "xＡa");
}

TEST_F(StrFuncs, StringReplaceMatchesOnlyAtCharacterStartsAsPythonDoes) {
    for (const std::string& line : Lines(PythonOutput("funcs_ref.py", {"replace", "400", "7"}))) {
        std::istringstream in(line);
        std::string f[6];
        for (auto& field : f) in >> field;
        const auto text = [&](int i) { return FromHex(f[i].substr(1)); };
        const std::string got =
            Call("StringReplace", {S(text(0)), S(text(1)), S(text(2)), B(f[3] == "1"), B(f[4] == "1")}).GetAsStr();
        EXPECT_EQ(ToHex(got), ToHex(text(5))) << line;
    }
}

}  // namespace
