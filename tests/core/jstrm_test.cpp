// Shift-JIS string routines: the character view against Python's cp932 codec, the half-width /
// full-width conversions against Python's compatibility forms, and the edge cases.
#include "core/jstrm.h"
#include "platform/errors.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <sstream>

namespace {

std::string HexOrEmpty(const std::string& field) { return field == "-" ? std::string() : FromHex(field); }

TEST(JStrm, CharacterViewMatchesPython) {
    std::string s;
    std::vector<int> starts;
    int strings = 0;
    for (const auto& line : Lines(PythonOutput("jstrm_reference.py", {"strings"}))) {
        std::istringstream in(line);
        std::string kind, field;
        in >> kind;
        if (kind == "S") {
            int length = 0;
            in >> field >> length;
            s = HexOrEmpty(field);
            starts.clear();
            for (int start; in >> start;) starts.push_back(start);
            SCOPED_TRACE(ToHex(s));
            ++strings;
            EXPECT_EQ(JStrLength(s), length);
            EXPECT_EQ(JStrCharToByte(s, 0), 1);
            std::vector<bool> trail(s.size() + 1, false);
            for (int i = 1; i <= length; ++i) {
                const int p = starts[i - 1];
                const bool twoBytes = (i < length ? starts[i] : static_cast<int>(s.size()) + 1) - p == 2;
                if (twoBytes) trail[p + 1] = true;
                EXPECT_EQ(JStrCharToByte(s, i), p);
                const int code = twoBytes ? static_cast<uint8_t>(s[p - 1]) * 256 + static_cast<uint8_t>(s[p])
                                          : static_cast<uint8_t>(s[p - 1]);
                EXPECT_EQ(JStrCharAt(s, i), code);
                EXPECT_EQ(JStrFromCode(code), s.substr(p - 1, twoBytes ? 2 : 1));
            }
            for (int b = 1; b <= static_cast<int>(s.size()); ++b) EXPECT_EQ(JStrIsTrailByte(s, b), trail[b]) << b;
            EXPECT_EQ(JStrCharToByte(s, length + 1), static_cast<int>(s.size()) + 1);
            EXPECT_EQ(JStrCharToByte(s, length + 7), static_cast<int>(s.size()) + 1);
            EXPECT_EQ(JStrCharAt(s, length + 1), 0);
        } else {
            int index = 0, count = 0;
            in >> index >> count >> field;
            EXPECT_EQ(ToHex(JStrCopy(s, index, count)), ToHex(HexOrEmpty(field)))
                << ToHex(s) << " from " << index << " count " << count;
        }
    }
    EXPECT_EQ(strings, 300);
}

TEST(JStrm, LengthPositionAndCopy) {
    EXPECT_EQ(JStrLength("あいう"), 3);
    EXPECT_EQ(JStrCharToByte("あいう", 3), 5);
    EXPECT_EQ(JStrCopy("あいう", 2, 5), "いう");
    // The first character is taken before the count is tested.
    EXPECT_EQ(JStrCopy("あいう", 1, 0), "あ");
    EXPECT_EQ(JStrCopy("あいう", -4, 2), "あ");
    EXPECT_EQ(JStrCopy("あいう", 2, 0), "");
    EXPECT_EQ(JStrCopy("あいう", 2, -3), "");
    EXPECT_EQ(JStrCopy("", 1, 5), "");
    // "The rest of the text" with the largest count does not wrap around.
    EXPECT_EQ(JStrCopy("あいう", 2, INT_MAX), "いう");

    // The pair 82 A0 occurs only inside the double-byte character 82 82.
    const std::string s = "\x82\x82\xA0" "A";
    EXPECT_EQ(JStrPos("\x82\xA0", s), 0);
    EXPECT_EQ(JStrPos("A", s), 3);
    EXPECT_EQ(JStrPos("いう", "あいう"), 2);
    EXPECT_EQ(JStrPos("", "abc"), 0);
    EXPECT_EQ(JStrPos("", ""), 0);
    EXPECT_EQ(JStrCharAt("", 1), 0);
    EXPECT_EQ(JStrFromCode(0x82A0), "\x82\xA0");
    EXPECT_EQ(JStrFromCode(65), "A");
    EXPECT_EQ(JStrFromCode(0), std::string(1, '\0'));
    EXPECT_EQ(JStrFromCode(0x10041), "A");  // only the low 16 bits count
}

TEST(JStrm, TrailByteOutsideTheStringIsIllegal) {
    for (int index : {0, -1, 4}) {
        try {
            JStrIsTrailByte("あA", index);
            ADD_FAILURE() << index << " accepted";
        } catch (const EVelaError& e) {
            EXPECT_STREQ(e.what(), "Illegal Index");
        }
    }
}

TEST(JStrm, InsertAndDeleteCountCharacters) {
    const std::string abc = "あいう";
    auto inserted = [&](int index) {
        std::string s = abc;
        JStrInsert("X", s, index);
        return s;
    };
    EXPECT_EQ(inserted(2), "あXいう");
    EXPECT_EQ(inserted(-5), "Xあいう");
    EXPECT_EQ(inserted(4), "あいうX");
    EXPECT_EQ(inserted(99), "あいうX");

    auto deleted = [&](int index, int count) {
        std::string s = abc;
        JStrDelete(s, index, count);
        return s;
    };
    EXPECT_EQ(deleted(2, 1), "あう");
    EXPECT_EQ(deleted(0, 2), "う");
    EXPECT_EQ(deleted(2, 99), "あ");
    EXPECT_EQ(deleted(3, INT_MAX), "あい");
    EXPECT_EQ(deleted(4, 1), abc);
    EXPECT_EQ(deleted(2, 0), abc);
    EXPECT_EQ(deleted(2, -1), abc);
}

TEST(JStrm, SplitToken) {
    std::string_view s = "ab,cd";
    EXPECT_EQ(JStrSplitToken(s, TDelimiterSet(",")), "ab");
    EXPECT_EQ(s, "cd");
    EXPECT_EQ(JStrSplitToken(s, TDelimiterSet(",")), "cd");
    EXPECT_EQ(JStrSplitToken(s, TDelimiterSet(",")), "");

    s = "a;;b c";
    EXPECT_EQ(JStrSplitToken(s, TDelimiterSet("; ")), "a");
    EXPECT_EQ(JStrSplitToken(s, TDelimiterSet("; ")), "");
    EXPECT_EQ(JStrSplitToken(s, TDelimiterSet("; ")), "b");
    EXPECT_EQ(s, "c");
    EXPECT_EQ(JStrSplitToken(s, TDelimiterSet("")), "c");
    EXPECT_EQ(s, "");
}

TEST(JStrm, TrailByte5CIsNeverABackslash) {
    // 表, ソ and 能 end in the byte 0x5C.
    std::string_view s = "表\\ソ能\\x";
    EXPECT_EQ(JStrSplitToken(s, TDelimiterSet("\\")), "表");
    EXPECT_EQ(JStrSplitToken(s, TDelimiterSet("\\")), "ソ能");
    EXPECT_EQ(s, "x");
    s = "表ソ能";
    EXPECT_EQ(JStrSplitToken(s, TDelimiterSet("\\")), "表ソ能");
    EXPECT_EQ(JStrPos("\\", "表ソ能"), 0);
    EXPECT_EQ(JStrPos("\\", "表ソ能\\"), 4);
    EXPECT_EQ(JStrZenToHan("表ソ能"), "ｿ");
    EXPECT_EQ(JStrHanToZen("表\\"), "表￥");
}

TEST(JStrm, TrimSpacesOfBothWidths) {
    EXPECT_EQ(JStrTrim(" 　\tあ 　 \t 　 "), "\tあ 　 \t");
    EXPECT_EQ(JStrTrim("　 "), "");
    EXPECT_EQ(JStrTrim(""), "");
    // A trail byte 0x20 and a 0x81 0x40 that straddles two characters are no spaces.
    EXPECT_EQ(JStrTrim("\x82\x20"), "\x82\x20");
    EXPECT_EQ(JStrTrim("\x88\x81\x40"), "\x88\x81\x40");
    std::string s = "  ab  ";
    JStrTrimLeft(s);
    EXPECT_EQ(s, "ab  ");
    JStrTrimRight(s);
    EXPECT_EQ(s, "ab");
}

// A string that ends in a lead byte is never read past its end.
TEST(JStrm, LeadByteAtTheEndIsOneCharacter) {
    const std::string s = "a\x82";
    EXPECT_EQ(JStrLength(s), 2);
    EXPECT_EQ(JStrCharToByte(s, 2), 2);
    EXPECT_EQ(JStrCharToByte(s, 5), 3);
    EXPECT_EQ(JStrCharAt(s, 2), 0x82);
    EXPECT_EQ(JStrCopy(s, 2, 5), "\x82");
    EXPECT_EQ(JStrPos("\x82", s), 2);
    EXPECT_EQ(JStrPos("\x82\xA0", s), 0);
    EXPECT_FALSE(JStrIsTrailByte(s, 2));
    std::string d = s;
    JStrDelete(d, 2, 3);
    EXPECT_EQ(d, "a");
    d = s;
    JStrInsert("b", d, 3);
    EXPECT_EQ(d, "a\x82" "b");
    EXPECT_EQ(JStrHanToZen("A\x82"), "Ａ\x82");
    EXPECT_EQ(JStrZenToHan("A\x82"), "A");
    std::string_view t = "\x81";
    EXPECT_EQ(JStrSplitToken(t, TDelimiterSet("\x81")), "");
    EXPECT_EQ(JStrTrim(" \x81"), "\x81");
    EXPECT_EQ(JStrTrim("\x81 "), "\x81 ");  // the space is the lead byte's partner
}

TEST(JStrm, HanToZenEdgeCases) {
    EXPECT_EQ(ToHex(JStrHanToZen("ｶﾞ")), "834B");
    EXPECT_EQ(ToHex(JStrHanToZen("ﾊﾟ")), "8370");
    EXPECT_EQ(JStrHanToZen("a\r\nb"), "ａｂ");
    // Double-byte characters stay, marks without a kana that takes them stand alone.
    EXPECT_EQ(JStrHanToZen("漢ｶﾞ表ﾞｳﾞ"), "漢ガ表゛ウ゛");
}

TEST(JStrm, HanToZenMatchesPython) {
    int checked = 0;
    for (const auto& line : Lines(PythonOutput("jstrm_reference.py", {"hanzen"}))) {
        std::istringstream in(line);
        std::string han, zen;
        in >> han >> zen;
        EXPECT_EQ(ToHex(JStrHanToZen(FromHex(han))), ToHex(HexOrEmpty(zen))) << "of " << han;
        ++checked;
    }
    EXPECT_EQ(checked, 256 - 60 + 63 * 2);  // every non-lead byte, every kana with each mark
}

TEST(JStrm, ZenToHanMatchesPython) {
    std::map<int, std::string> expected;
    for (const auto& line : Lines(PythonOutput("jstrm_reference.py", {"zenhan"}))) {
        std::istringstream in(line);
        std::string zen, han;
        in >> zen >> han;
        const std::string bytes = FromHex(zen);
        expected[static_cast<uint8_t>(bytes[0]) * 256 + static_cast<uint8_t>(bytes[1])] = FromHex(han);
    }
    ASSERT_EQ(expected.size(), 184u);
    int mismatches = 0;
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (lead == 0xA0) lead = 0xE0;
        for (int trail = 0; trail <= 0xFF; ++trail) {
            const int code = lead * 256 + trail;
            const auto found = expected.find(code);
            const std::string want = found == expected.end() ? std::string() : found->second;
            if (JStrZenToHan(JStrFromCode(code)) != want && ++mismatches <= 10)
                ADD_FAILURE() << std::hex << code << " gives " << ToHex(JStrZenToHan(JStrFromCode(code)));
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(JStrm, ZenToHanEdgeCases) {
    EXPECT_EQ(ToHex(JStrZenToHan("ガ漢A")), "B6DE41");
    EXPECT_EQ(JStrZenToHan("\x01ｶ\r\n"), "\x01ｶ\r\n");
    EXPECT_EQ(JStrZenToHan("ヴ“”"), "\"\"");
}

}  // namespace
