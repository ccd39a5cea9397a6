#include "app/gameini.h"

#include "core/sysutils.h"
#include "platform/display.h"
#include "platform/fs.h"
#include "tests/app/player_shell.h"
#include "tests/app/sample_fixture.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

TEST(GameIni, MissingFileGivesDefaults) {
    std::vector<std::string> warnings;
    const TGameIni ini = ReadGameIni(platform::fs::ToProgramPath(FreshHostFolder() + "game.ini"), warnings);
    EXPECT_TRUE(warnings.empty());
    EXPECT_TRUE(ini.DirectSound);
    EXPECT_EQ(ini.DelayTime, 500);
    EXPECT_FALSE(ini.UseWMP);
    EXPECT_FALSE(ini.DefaultOnly);
}

TEST(GameIni, ReadsEveryKeyWithoutRegardToCase) {
    const std::string folder = FreshHostFolder();
    std::ofstream(folder + "game.ini") << "[sound]\r\n DIRECTSOUND = 0\r\ndelaytime=300\r\n"
                                          "[Video]\r\nUseWMP=1\r\n[FONT]\r\nDefaultOnly=-1\r\n";
    std::vector<std::string> warnings;
    const TGameIni ini = ReadGameIni(platform::fs::ToProgramPath(folder + "GAME.INI"), warnings);
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

namespace {

// Settings other than the defaults ("[Sound]" DirectSound 0, DelayTime 200), written to the
// host file as Size bytes: a comment fills the rest.
void WriteSettings(const std::string& HostPath, size_t Size) {
    const std::string keys = "[Sound]\r\nDirectSound=0\r\nDelayTime=200\r\n;";
    std::ofstream(HostPath, std::ios::binary) << keys << std::string(Size - keys.size(), '-');
}

const std::string TooLong = "game.ini is longer than 65536 bytes: the settings keep their defaults";

TEST(GameIni, AFileLongerThanTheBoundIsNotReadNorRewritten) {
    const std::string host = FreshHostFolder() + "game.ini", file = platform::fs::ToProgramPath(host);
    WriteSettings(host, MaxGameIniFile);
    std::vector<std::string> warnings;
    TGameIni ini = ReadGameIni(file, warnings);
    EXPECT_TRUE(warnings.empty());
    EXPECT_FALSE(ini.DirectSound);
    EXPECT_EQ(ini.DelayTime, 200);
    // One byte more, and a file of 9 GiB (sparse, as truncate makes them): neither is read.
    for (const uintmax_t size : {uintmax_t(MaxGameIniFile) + 1, uintmax_t(9) << 30}) {
        std::filesystem::resize_file(host, size);
        warnings.clear();
        ini = ReadGameIni(file, warnings);
        EXPECT_EQ(warnings, std::vector<std::string>{TooLong}) << size;
        EXPECT_TRUE(ini.DirectSound);
        EXPECT_EQ(ini.DelayTime, 500);
        // The settings dialog does not replace it by a file of its two keys.
        EXPECT_NE(ErrorOf([&] { WriteGameIniSound(file, true, 300); }), "");
        EXPECT_EQ(std::filesystem::file_size(host), size);
    }
}

// The player in a folder of its own, on a copy of the sample, with a game.ini beside it.
class PlayedGameIni : public PlayerShell {
protected:
    // The settings of the run and what standard error said while the window opened.
    std::string Open(size_t IniSize) {
        WriteSettings(folder + "game.ini", IniSize);
        testing::internal::CaptureStderr();
        form = std::make_unique<TFormView>(display, platform::fs::ToProgramPath(folder + "velaplay"),
                                           std::vector<std::string>{});
        form->UseLoopThread = false;
        form->FormCreate();
        return testing::internal::GetCapturedStderr();
    }

    platform::HeadlessDisplay display;
    const std::string folder = SampleCopy();
};

TEST_F(PlayedGameIni, AnOverlongFileIsSaidOnceAndTheTitlePlaysWithTheDefaults) {
    const std::string said = Open(MaxGameIniFile + 1);
    EXPECT_EQ(said, "velaplay: " + TooLong + "\n");
    EXPECT_TRUE(GameSettings.DirectSound);
    EXPECT_EQ(GameSettings.DelayTime, 500);
    EXPECT_FALSE(form->ClosePosted());
    EXPECT_TRUE(display.shown);
}

TEST_F(PlayedGameIni, AFileOfExactlyTheBoundIsRead) {
    EXPECT_EQ(Open(MaxGameIniFile), "");
    EXPECT_FALSE(GameSettings.DirectSound);
    EXPECT_EQ(GameSettings.DelayTime, 200);
    EXPECT_FALSE(form->ClosePosted());
}

}  // namespace

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
    std::vector<std::string> warnings;
    const TGameIni ini = ReadGameIni(file, warnings);
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
