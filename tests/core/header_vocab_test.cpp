// The vocabulary tables: codes at their known places, the type mix of properties and built-in
// functions, the display order, the function-name lookup and the colour ramps.
#include "core/header_vocab.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <utility>
#include <vector>

namespace {

template <typename Table>
int CountOf(const Table& Types, TParamType Type) {
    return static_cast<int>(std::count(Types.begin(), Types.end(), Type));
}

TEST(Vocabulary, CodesAtTheirStoredPlaces) {
    EXPECT_EQ(PR_ONNOTIFY, 33);
    EXPECT_EQ(PR_ONPLAYEND, 43);
    EXPECT_EQ(PR_ONSELECT, 72);
    EXPECT_EQ(PR_ONPLAYSTART, 101);
    EXPECT_EQ(PR_CAPMASKLEVEL, 170);
    EXPECT_EQ(LT_CABINET, 27);
    EXPECT_EQ(WP_BLOCKRANDOM, 38);
    EXPECT_EQ(ocNEqual, 20);
    EXPECT_EQ(IM_HANGUEL, 11);
    EXPECT_STREQ(CommandNames[0], "If");
    EXPECT_STREQ(CommandNames[8], "BoxNew");
    EXPECT_STREQ(CommandNames[60], "LoadCabinet");
    EXPECT_STREQ(SysVarNames[0], "@Result");
    EXPECT_STREQ(SysVarNames[35], "@KeyPush");
    EXPECT_STREQ(SysVarNames[50], "@StackCount");
    // Captions are stored as code page 932 bytes.
    EXPECT_EQ(ToHex(ObjectTypeCaptions[LT_BOX]), "8BE98C608354815B837483468358");
}

TEST(Vocabulary, PropertyTypesAndDisplayOrder) {
    EXPECT_EQ(CountOf(PropTypes, PT_INT), 89);
    EXPECT_EQ(CountOf(PropTypes, PT_FLOAT), 6);
    EXPECT_EQ(CountOf(PropTypes, PT_BOOL), 22);
    EXPECT_EQ(CountOf(PropTypes, PT_STR), 54);
    EXPECT_EQ(PropTypes[PR_ONNOTIFY], PT_STR);
    EXPECT_EQ(PropTypes[PR_CLICKEDSOURCE], PT_STR);
    EXPECT_EQ(PropTypes[PR_HANDLEKEY], PT_INT);
    EXPECT_EQ(PropTypes[PR_FLOATZOOMY], PT_FLOAT);

    std::vector<int> Order(PropDisplayOrder.begin(), PropDisplayOrder.end());
    EXPECT_EQ(std::vector<int>(Order.begin(), Order.begin() + 13),
              (std::vector<int>{0, 1, 2, 168, 7, 169, 132, 100, 5, 6, 3, 4, 8}));
    EXPECT_EQ(std::vector<int>(Order.end() - 3, Order.end()), (std::vector<int>{158, 163, 164}));
    std::sort(Order.begin(), Order.end());
    for (int i = 0; i < PropCount; ++i) ASSERT_EQ(Order[i], i) << "each id listed once";
}

TEST(Vocabulary, BuiltInFunctionTable) {
    EXPECT_EQ(CountOf(SysFuncResultTypes, PT_INT), 52);
    EXPECT_EQ(CountOf(SysFuncResultTypes, PT_FLOAT), 17);
    EXPECT_EQ(CountOf(SysFuncResultTypes, PT_BOOL), 65);
    EXPECT_EQ(CountOf(SysFuncResultTypes, PT_STR), 35);

    std::vector<int> Unbounded;
    for (int i = 0; i < SysFuncCount; ++i) {
        if (SysFuncMaxArgs[i] < 0) Unbounded.push_back(i);
        else EXPECT_LE(SysFuncMinArgs[i], SysFuncMaxArgs[i]) << SysFuncNames[i];
    }
    EXPECT_EQ(Unbounded, (std::vector<int>{21, 91, 155}));
    EXPECT_EQ(SysFuncMinArgs[21], 2);  // SetArray
    EXPECT_EQ(SysFuncMinArgs[91], 0);  // DBInsert
    EXPECT_EQ(SysFuncMinArgs[155], 1);  // PushVar
    EXPECT_EQ(SysFuncMinArgs[0], 1);
    EXPECT_EQ(SysFuncMaxArgs[0], 2);
    EXPECT_EQ(SysFuncResultTypes[0], PT_STR);
}

TEST(Vocabulary, FindSysFuncIndexIsExact) {
    uint8_t Index = 99;
    EXPECT_TRUE(FindSysFuncIndex("IntToStr", Index));
    EXPECT_EQ(Index, 0);
    EXPECT_TRUE(FindSysFuncIndex("Alert", Index));
    EXPECT_EQ(Index, 168);
    Index = 99;
    EXPECT_FALSE(FindSysFuncIndex("inttostr", Index));
    EXPECT_FALSE(FindSysFuncIndex("Alert ", Index));
    EXPECT_FALSE(FindSysFuncIndex("", Index));
    EXPECT_EQ(Index, 99);
    // Every name finds its own number, so no name is listed twice.
    for (int i = 0; i < SysFuncCount; ++i) {
        ASSERT_TRUE(FindSysFuncIndex(SysFuncNames[i], Index));
        EXPECT_EQ(Index, i);
    }
}

TEST(Vocabulary, KeyCodes) {
    EXPECT_STREQ(KeyNames[2], "VkmRETURN");
    EXPECT_EQ(KeyCodes[2], 13);
    EXPECT_STREQ(KeyNames[30], "VkmA");
    EXPECT_EQ(KeyCodes[30], 'A');
    EXPECT_EQ(KeyCodes[68], VkWheelDown);
    EXPECT_EQ(KeyCodes[69], VkWheelUp);
    std::set<uint16_t> Codes(KeyCodes.begin(), KeyCodes.end());
    EXPECT_EQ(Codes.size(), KeyCodes.size());
    EXPECT_GT(*Codes.begin(), 0);
    // Only the two wheel entries lie outside the 256-entry key state.
    EXPECT_EQ(std::count_if(Codes.begin(), Codes.end(), [](uint16_t Code) { return Code > 255; }), 2);
}

TEST(Vocabulary, ColourRamps) {
    // The key colours, and between them the straight line truncated: heat 16 is half of
    // (102, 39, 3), heat 72 half way from (102, 39, 3) to (213, 97, 7).
    for (auto [heat, color] : {std::pair{0, 0x000000u}, {32, 0x662703u}, {112, 0xD56107u}, {160, 0xF39D0Du},
                               {192, 0xFFC037u}, {255, 0xFFE6AFu}, {16, 0x331301u}, {72, 0x9D4405u}})
        EXPECT_EQ(FireColors32[size_t(heat)], color) << heat;
    for (int i = 1; i < 256; ++i) {
        for (int Shift : {0, 8, 16})
            ASSERT_GE(FireColors32[i] >> Shift & 0xFF, FireColors32[i - 1] >> Shift & 0xFF) << i;
        uint32_t C = FireColors32[i];
        EXPECT_EQ(FireColors16[i], (C >> 8 & 0xF800) | (C >> 5 & 0x07E0) | (C >> 3 & 0x001F)) << i;
    }
    EXPECT_EQ(FireColors16[255], 0xFF35);
    EXPECT_EQ(GreyColors16[0], 0x0000u);
    EXPECT_EQ(GreyColors16[128], 0x8410u);
    EXPECT_EQ(GreyColors16[255], 0xFFFFu);
}

}  // namespace
