// CP932 <-> UTF-8 against Python's cp932 codec, and what happens to bytes neither side knows.
// Text for the terminal: every control escaped, Shift-JIS characters left whole.
#include "platform/encoding.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

namespace {

TEST(Encoding, EveryCharacterMatchesPythonBothWays) {
    int checked = 0, mismatches = 0;
    for (const auto& line : Lines(PythonOutput("cp932_table.py"))) {
        std::istringstream in(line);
        std::string cp932Hex, utf8Hex;
        in >> cp932Hex >> utf8Hex;
        std::string cp932 = FromHex(cp932Hex), utf8 = FromHex(utf8Hex);
        if (ToHex(platform::Cp932ToUtf8(cp932)) != ToHex(utf8) && ++mismatches <= 10)
            ADD_FAILURE() << "decoding " << cp932Hex << " gives " << ToHex(platform::Cp932ToUtf8(cp932))
                          << ", Python " << utf8Hex;
        // Characters with two codes (the NEC and IBM duplicates) encode to one of them.
        if (platform::Cp932ToUtf8(platform::Utf8ToCp932(utf8)) != utf8 && ++mismatches <= 10)
            ADD_FAILURE() << "encoding back " << utf8Hex;
        ++checked;
    }
    EXPECT_GT(checked, 7000);
    EXPECT_EQ(mismatches, 0);
}

TEST(Encoding, TrailByte5CStaysInsideItsCharacter) {
    EXPECT_EQ(platform::Cp932ToUtf8("\x95\x5C\x83\x5C\x94\x5C\\"), U8(u8"表ソ能\\"));
    EXPECT_EQ(platform::Utf8ToCp932(U8(u8"表ソ能")), "表ソ能");
}

TEST(Encoding, BadInputIsReplacedNeverDropped) {
    // A lead byte at the end, and a lead byte with an impossible trail byte.
    EXPECT_EQ(platform::Cp932ToUtf8("a\x82"), U8(u8"a\uFFFD"));
    EXPECT_EQ(platform::Cp932ToUtf8("\x82\x20z"), U8(u8"\uFFFD z"));
    // UTF-8 that CP932 cannot hold, and malformed UTF-8.
    EXPECT_EQ(platform::Utf8ToCp932(U8(u8"x\U0001F600y")), "x?y");
    EXPECT_EQ(platform::Utf8ToCp932("a\xC3"), "a?");
    EXPECT_EQ(platform::Utf8ToCp932("\xFF\xFEok"), "??ok");
}

// The form of a control byte on the terminal, "\x1b".
std::string Escape(int Byte) {
    char code[8];
    std::snprintf(code, sizeof code, "\\x%02x", Byte);
    return code;
}

TEST(TerminalText, EveryControlIsEscapedAndALineBreakStartsAnIndentedLine) {
    for (int byte = 0; byte < 0x80; ++byte) {
        const std::string text = std::string("a") + char(byte) + "b";
        const std::string shown = byte == '\n'                    ? "a\n  b"
                                  : byte < 0x20 || byte == 0x7F ? "a" + Escape(byte) + "b"
                                                                : text;
        EXPECT_EQ(platform::TerminalText(text), shown) << byte;
    }
    EXPECT_EQ(platform::TerminalText("\x1b]52;c;eA==\x07"), "\\x1b]52;c;eA==\\x07");
    // "\r\n" is one line break; a lone "\r" would take the line back to its start.
    EXPECT_EQ(platform::TerminalText("1\r\nvelaplay: 2\n\n3\r\r\n4\r"), "1\n  velaplay: 2\n  \n  3\\x0d\n  4\\x0d");
    EXPECT_EQ(platform::TerminalText("\tend\t"), "\\x09end\\x09");
}

TEST(TerminalText, C1ControlsAreEscapedAsTheCharactersTheyAre) {
    static constexpr char hex[] = "0123456789abcdef";
    for (int c = 0x80; c < 0xA0; ++c) {
        const std::string utf8 = std::string("a\xC2") + char(c) + "b";
        EXPECT_EQ(platform::TerminalEscaped(utf8), std::string("a\\u00") + hex[c >> 4] + hex[c & 15] + "b") << c;
    }
    // Their neighbours, and a lead byte with nothing after it, stay as they are.
    for (const std::string kept : {"\xC2\xA0", "\xC3\x80", "\xC3\xA9", "\xE2\x80\x9B", "x\xC2"})
        EXPECT_EQ(platform::TerminalEscaped(kept), kept);
    // No code page 932 byte decodes to a C1 control: those that some tables give one become U+FFFD.
    EXPECT_EQ(platform::TerminalText("\x80\xA0\xFD"), U8(u8"\uFFFD\uFFFD\uFFFD"));
}

TEST(TerminalText, ShiftJisCharactersWithAnAsciiTrailByteStayWhole) {
    // Every double-byte character whose trail byte is in 0x40 to 0x7E, among them 0x5C ("\") and
    // 0x7E ("~"): none holds a control, so the terminal gets exactly its UTF-8.
    int escaped = 0;
    for (int lead = 0x81; lead <= 0xFC; lead = lead == 0x9F ? 0xE0 : lead + 1)
        for (int trail = 0x40; trail <= 0x7E; ++trail) {
            const std::string character{char(lead), char(trail)};
            if (platform::TerminalText(character) != platform::Cp932ToUtf8(character) && ++escaped <= 10)
                ADD_FAILURE() << std::hex << lead << " " << trail;
        }
    EXPECT_EQ(escaped, 0);
    EXPECT_EQ(platform::TerminalText("\x81\x5C\x83\x5C\x95\x5C\x94\x5C\x83\x7E\x1B"), U8(u8"―ソ表能ミ") + "\\x1b");
    EXPECT_EQ(platform::TerminalText("\xB1\xB2\\"), U8(u8"ｱｲ\\"));
}

}  // namespace
