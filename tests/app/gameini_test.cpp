#include "app/gameini.h"

#include "core/sysutils.h"
#include "platform/fs.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <fstream>

TEST(GameIni, MissingFileGivesDefaults) {
    const TGameIni ini = ReadGameIni(platform::fs::ToProgramPath(FreshHostFolder() + "game.ini"));
    EXPECT_TRUE(ini.DirectSound);
    EXPECT_EQ(ini.DelayTime, 500);
    EXPECT_FALSE(ini.UseWMP);
    EXPECT_FALSE(ini.DefaultOnly);
}

TEST(GameIni, ReadsEveryKeyWithoutRegardToCase) {
    const std::string folder = FreshHostFolder();
    std::ofstream(folder + "game.ini") << "[sound]\r\n DIRECTSOUND = 0\r\ndelaytime=300\r\n"
                                          "[Video]\r\nUseWMP=1\r\n[FONT]\r\nDefaultOnly=-1\r\n";
    const TGameIni ini = ReadGameIni(platform::fs::ToProgramPath(folder + "GAME.INI"));
    EXPECT_FALSE(ini.DirectSound);
    EXPECT_EQ(ini.DelayTime, 300);
    EXPECT_TRUE(ini.UseWMP);
    EXPECT_TRUE(ini.DefaultOnly);
}

TEST(GameIni, DelayTimeIsRoundedDownAndClamped) {
    const auto delay = [](const std::string& v) { return ParseGameIni("[Sound]\nDelayTime=" + v + "\n").DelayTime; };
    EXPECT_EQ(delay("250"), 200);
    EXPECT_EQ(delay("199"), 100);
    EXPECT_EQ(delay("50"), 100);
    EXPECT_EQ(delay("-300"), 100);
    EXPECT_EQ(delay("900"), 500);
    EXPECT_EQ(delay("0x190"), 400);
    EXPECT_EQ(delay("fast"), 500);
    EXPECT_EQ(delay(""), 500);
}

TEST(GameIni, KeysCountOnlyInTheirSection) {
    const TGameIni ini = ParseGameIni("UseWMP=1\n[Sound]\nUseWMP=1\nDirectSound=no\n[Video]\nDirectSound=0\n");
    EXPECT_FALSE(ini.UseWMP);
    EXPECT_TRUE(ini.DirectSound);  // not an integer: the default
}

TEST(GameIni, ATrailByteIsNoClosingBracket) {
    // "[" followed by the double-byte character 81 5D is no section line.
    const TGameIni ini = ParseGameIni("[Video]\n[\x81]\nUseWMP=1\n");
    EXPECT_TRUE(ini.UseWMP);
}
