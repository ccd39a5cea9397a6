#include "app/gameini.h"

#include "core/sysutils.h"
#include "platform/fs.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

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

// ---- Writing ----

std::string ReadText(const std::string& HostPath) {
    std::ifstream file(HostPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

TEST(GameIniWriter, KeysAreSetInPlaceAddedToTheirSectionOrTheSectionAdded) {
    const struct {
        const char* before;
        const char* after;
    } cases[] = {
        // The value replaced, the key's spelling and every other line kept.
        {"; mine\r\n[sound]\r\n directsound = 1 \r\nX=y\r\n", "; mine\r\n[sound]\r\ndirectsound=0\r\nX=y\r\n"},
        // Added after the section's last key, before its comments and blank lines.
        {"[Sound]\nA=1\n; note\n\n[Video]\nUseWMP=1\n", "[Sound]\nA=1\nDirectSound=0\n; note\n\n[Video]\nUseWMP=1\n"},
        {"[Sound]", "[Sound]\r\nDirectSound=0"},
        // A second section of the name is left alone: the first is the one read.
        {"[Sound]\n[Sound]\nDirectSound=1\n", "[Sound]\nDirectSound=0\n[Sound]\nDirectSound=1\n"},
        {"[Font]\nDefaultOnly=1", "[Font]\nDefaultOnly=1\n[Sound]\nDirectSound=0\n"},
        {"", "[Sound]\r\nDirectSound=0\r\n"},
        // "[" + 81 5D is no section line.
        {"[\x81]\nDirectSound=1\n", "[\x81]\nDirectSound=1\n[Sound]\nDirectSound=0\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(IniWithValue(c.before, "Sound", "DirectSound", "0"), c.after) << c.before;
}

TEST(GameIniWriter, ARewriteKeepsUnknownSectionsAndKeys) {
    const std::string folder = FreshHostFolder();
    const std::string before = "[Sound]\r\nDirectSound=1\r\nVolume=7\r\n[Video]\r\nUseWMP=1\r\n[Mine]\r\nkey=value\r\n";
    std::ofstream(folder + "game.ini", std::ios::binary) << before;
    const std::string file = platform::fs::ToProgramPath(folder + "game.ini");
    WriteGameIniSound(file, false, 300);
    EXPECT_EQ(ReadText(folder + "game.ini"),
              "[Sound]\r\nDirectSound=0\r\nVolume=7\r\nDelayTime=300\r\n[Video]\r\nUseWMP=1\r\n[Mine]\r\nkey=value\r\n");
    const TGameIni ini = ReadGameIni(file);
    EXPECT_FALSE(ini.DirectSound);
    EXPECT_EQ(ini.DelayTime, 300);
    EXPECT_TRUE(ini.UseWMP);
    // Written again with the same values, the file stays as it is.
    const std::string once = ReadText(folder + "game.ini");
    WriteGameIniSound(file, false, 300);
    EXPECT_EQ(ReadText(folder + "game.ini"), once);
}

TEST(GameIniWriter, AMissingFileIsMadeWithOnlyTheSoundKeys) {
    const std::string folder = FreshHostFolder();
    WriteGameIniSound(platform::fs::ToProgramPath(folder + "game.ini"), true, 500);
    EXPECT_EQ(ReadText(folder + "game.ini"), "[Sound]\r\nDirectSound=1\r\nDelayTime=500\r\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);  // no part file left
}

TEST(GameIniWriter, AFailedWriteKeepsTheOldFileAndSaysSo) {
    const std::string folder = FreshHostFolder();
    std::ofstream(folder + "game.ini") << "[Sound]\nDirectSound=1\n";
    // The temporary file cannot be made in a read-only folder.
    {
        const ReadOnlyFolder readOnly(folder);
        if (!readOnly.Held()) GTEST_SKIP() << "the folder cannot be made read-only here";
        EXPECT_NE(ErrorOf([&] { WriteGameIniSound(platform::fs::ToProgramPath(folder + "game.ini"), false, 100); }), "");
        EXPECT_EQ(ReadText(folder + "game.ini"), "[Sound]\nDirectSound=1\n");
    }
    // Nor is a folder of the file's name replaced.
    std::filesystem::remove(folder + "game.ini");
    std::filesystem::create_directory(folder + "game.ini");
    EXPECT_NE(ErrorOf([&] { WriteGameIniSound(platform::fs::ToProgramPath(folder + "game.ini"), false, 100); }), "");
}
