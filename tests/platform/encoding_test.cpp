// CP932 <-> UTF-8 against Python's cp932 codec, and what happens to bytes neither side knows.
#include "platform/encoding.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

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

}  // namespace
