// EUC-JP to Shift-JIS against Python's euc_jp and cp932 codecs and against glibc's tables, and
// the bytes at the edges of the input.
#include "net/jconvert.h"
#include "platform/encoding.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

TEST(EucToSjis, EveryCharacterBothCodecsDefineMatchesPythonAndIconv) {
    int checked = 0, mismatches = 0, iconvChecked = 0;
    for (const auto& line : Lines(PythonOutput("euc_sjis_table.py"))) {
        std::istringstream in(line);
        std::string eucHex, sjisHex;
        in >> eucHex >> sjisHex;
        const std::string euc = FromHex(eucHex), ours = EucToSjis(euc);
        if (ours != FromHex(sjisHex) && ++mismatches <= 10)
            ADD_FAILURE() << eucHex << " gives " << ToHex(ours) << ", Python " << sjisHex;
        // glibc maps a few characters differently (the wave dash and its kin): where it carries
        // one across at all, it lands on the same code.
        const std::string host = platform::EucJpToCp932(euc);
        if (host != "?" || euc == "?") {
            ++iconvChecked;
            if (host != ours && ++mismatches <= 10) ADD_FAILURE() << eucHex << " gives " << ToHex(host) << " in iconv";
        }
        ++checked;
    }
    EXPECT_GT(checked, 7000);
    EXPECT_GT(iconvChecked, 6900);
    EXPECT_EQ(mismatches, 0);
}

TEST(EucToSjis, BytesAtTheEdges) {
    EXPECT_EQ(EucToSjis("\xA4\xA2"), "\x82\xA0");
    EXPECT_EQ(EucToSjis("\x8E\xB1"), "\xB1");
    EXPECT_EQ(EucToSjis(std::string("a\0b\r\n", 5)), "a b\r\n");
    // 0x8F leads an ordinary pair; 0x80 and 0xFF are copied.
    EXPECT_EQ(EucToSjis("\x8F\xA2\x80\xFF"), JisToSjis(0x0F, 0x22) + "\x80\xFF");
    // A lead byte last pairs with 0; a last 0x8E gives a 0 byte.
    EXPECT_EQ(EucToSjis("x\xB0"), "x" + JisToSjis(0x30, 0));
    EXPECT_EQ(EucToSjis("x\x8E"), std::string("x\0", 2));
    EXPECT_EQ(EucToSjis(""), "");
}

}  // namespace
