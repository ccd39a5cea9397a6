// The system routines: where save data goes, file listings, shell folders, screen metrics,
// installed fonts, escapes, font styles, colours and rectangles.
#include "core/sysutils.h"
#include "platform/fs.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = platform::fs;

namespace {

void Touch(const std::string& hostPath, const std::string& text = "x") { std::ofstream(hostPath) << text; }

std::string Contents(const std::string& hostPath) {
    std::stringstream s;
    s << std::ifstream(hostPath).rdbuf();
    return s.str();
}

std::vector<std::string> Strings(const TStringList& list) {
    std::vector<std::string> out;
    for (int i = 0; i < list.Count(); ++i) out.push_back(list.Strings(i));
    return out;
}

// ---- Save data ----

class SaveData : public testing::Test {
protected:
    std::string root_ = FreshHostFolder();
    std::string dataHost_ = root_ + "data/deep/";
    ScopedEnvironment data_{"XDG_DATA_HOME", dataHost_.c_str()};
    std::string dataProgram_ = fs::ToProgramPath(dataHost_);
};

TEST_F(SaveData, TitleBecomesAFolderUnderTheUserDataFolder) {
    EXPECT_EQ(GetSaveFolder("A:B*C"), dataProgram_ + "A_B_C\\");
    EXPECT_TRUE(fs::DirectoryExists(dataProgram_ + "A_B_C\\"));
    EXPECT_EQ(GetSaveFolder("\\/:,;*?\"<>|x"), dataProgram_ + "___________x\\");
    // A trail byte 0x5C is part of its character, not a backslash.
    EXPECT_EQ(GetSaveFolder("表示"), dataProgram_ + "表示\\");
    EXPECT_TRUE(fs::DirectoryExists(fs::ToProgramPath(dataHost_ + U8(u8"表示"))));
    EXPECT_EQ(GetSaveFolder(".."), dataProgram_ + "__\\");
    EXPECT_EQ(GetSaveFolder(""), "");

    // Nowhere to write: no folder, and no save file.
    Touch(root_ + "file");
    ScopedEnvironment blocked("XDG_DATA_HOME", (root_ + "file/under").c_str());
    EXPECT_EQ(GetSaveFolder("A"), "");
    try {
        GetSaveDataFile("C:\\Game\\velaplay.exe", "A");
        ADD_FAILURE() << "no error";
    } catch (const EVelaError& e) {
        EXPECT_STREQ(e.what(), "データファイルを作成することができません");
    }
}

TEST_F(SaveData, AnUnwritableGameFolderSendsTheSaveToTheUserFolderWithTheOldSave) {
    std::string game = root_ + "game/";
    std::string gamePath = fs::ToProgramPath(game) + "velaplay";
    mkdir(game.c_str(), 0777);
    EXPECT_EQ(GetSaveDataFile(gamePath, "T?T"), fs::ToProgramPath(game) + "save.dat");
    EXPECT_FALSE(fs::FileExists(fs::ToProgramPath(game) + "save.dat.$$$"));
    // The probe opens no name that is there: links a title folder ships are neither cut short
    // nor followed to make a file.
    Touch(root_ + "users.txt", "mine");
    mkdir((root_ + "autostart").c_str(), 0777);
    for (const std::string& target : {root_ + "users.txt", root_ + "autostart/probe.desktop"}) {
        symlink(target.c_str(), (game + "save.dat.$$$").c_str());
        EXPECT_EQ(GetSaveDataFile(gamePath, "T?T"), fs::ToProgramPath(game) + "save.dat");
        std::filesystem::remove(game + "save.dat.$$$");
    }
    EXPECT_EQ(Contents(root_ + "users.txt"), "mine");
    EXPECT_FALSE(std::filesystem::exists(root_ + "autostart/probe.desktop"));

    Touch(game + "save.dat", "old");
    const ReadOnlyFolder readOnly(game);
    if (!readOnly.Held()) GTEST_SKIP() << "the folder cannot be made read-only here";
    std::string saveFile = GetSaveDataFile(gamePath, "T?T");
    EXPECT_EQ(saveFile, dataProgram_ + "T_T\\save.dat");
    EXPECT_EQ(Contents(dataHost_ + "T_T/save.dat"), "old");
    EXPECT_FALSE(fs::FileExists(saveFile + ".$$$"));

    Touch(game + "save.dat", "newer");
    EXPECT_EQ(GetSaveDataFile(gamePath, "T?T"), saveFile);
    EXPECT_EQ(Contents(dataHost_ + "T_T/save.dat"), "old");
    // A game on a drive the host does not have cannot take files either.
    EXPECT_EQ(GetSaveDataFile("C:\\Game\\velaplay.exe", "T?T"), saveFile);
}

// A title folder given to the player that cannot be written keeps its saves in the player's
// data folder under its name and a hash of its path, the old save carried over; the settings go
// to the player's settings folder when the program's folder cannot be written.
TEST_F(SaveData, ATitleFolderThatCannotBeWrittenSavesInThePlayersDataFolder) {
    const std::string game = root_ + "title/";
    mkdir(game.c_str(), 0777);
    EXPECT_EQ(GetTitleSaveFile(fs::ToProgramPath(game)), fs::ToProgramPath(game) + "save.dat");
    EXPECT_EQ(GetSettingsFile(fs::ToProgramPath(game), false), fs::ToProgramPath(game) + "game.ini");

    Touch(game + "save.dat", "old");
    const ReadOnlyFolder readOnly(game);
    if (!readOnly.Held()) GTEST_SKIP() << "the folder cannot be made read-only here";
    const std::string saveFile = GetTitleSaveFile(fs::ToProgramPath(game));
    EXPECT_TRUE(saveFile.starts_with(dataProgram_ + "velaplay\\title-")) << saveFile;
    EXPECT_EQ(saveFile.size(), (dataProgram_ + "velaplay\\title-12345678\\save.dat").size());
    EXPECT_EQ(Contents(*fs::ToHostPath(saveFile)), "old");
    EXPECT_EQ(GetTitleSaveFile(fs::ToProgramPath(game)), saveFile);  // the same place next time
    // The same place when the folder's path comes as typed, with slashes, without a separator at
    // its end or with "." in it.
    EXPECT_EQ(GetTitleSaveFile(game.substr(0, game.size() - 1)), saveFile);
    EXPECT_EQ(GetTitleSaveFile(game + "./"), saveFile);
    const std::string other = root_ + "other/title/";
    std::filesystem::create_directories(other);
    const ReadOnlyFolder otherReadOnly(other);
    EXPECT_NE(GetTitleSaveFile(fs::ToProgramPath(other)), saveFile);  // another folder of that name

    ScopedEnvironment config("XDG_CONFIG_HOME", (root_ + "config").c_str());
    EXPECT_EQ(GetSettingsFile(fs::ToProgramPath(game), false), fs::ToProgramPath(root_ + "config/velaplay/") + "game.ini");
    // An installed player keeps its settings there even where its own folder takes files.
    EXPECT_EQ(GetSettingsFile(fs::ToProgramPath(root_), true), fs::ToProgramPath(root_ + "config/velaplay/") + "game.ini");
}

// ---- Files ----

class FileListing : public testing::Test {
protected:
    void SetUp() override {
        mkdir((root_ + "sub").c_str(), 0777);
        mkdir((root_ + "sub/deeper").c_str(), 0777);
        Touch(root_ + "a.VFT");
        Touch(root_ + "b.txt");
        Touch(root_ + ".hidden.vft");
        Touch(root_ + "ro.vft");
        chmod((root_ + "ro.vft").c_str(), 0444);
        mkfifo((root_ + "pipe").c_str(), 0600);
        Touch(root_ + "sub/c.vft");
        Touch(root_ + "sub/deeper/d.vft");
        ASSERT_EQ(symlink("..", (root_ + "sub/loop").c_str()), 0);
    }
    std::vector<std::string> List(uint32_t AttrMask, bool IncludeNormal, const std::string& Ext, bool FolderSlash,
                                  bool Recurse) {
        TStringList list;
        EnumFiles(folder_, AttrMask, IncludeNormal, Ext, true, FolderSlash, Recurse, list, true);
        return Strings(list);
    }
    std::string root_ = FreshHostFolder();
    std::string folder_ = fs::ToProgramPath(root_);
};

TEST_F(FileListing, RecursesInNameOrderFiltersByExtensionAndEndsLinkedLoops) {
    const std::string& p = folder_;
    EXPECT_EQ(List(faArchive, false, ".vft", false, true),
              (std::vector<std::string>{p + ".hidden.vft", p + "a.VFT", p + "ro.vft", p + "sub\\c.vft",
                                        p + "sub\\deeper\\d.vft"}));
    EXPECT_EQ(List(faDirectory, false, "", true, false), (std::vector<std::string>{p + "sub\\"}));
    // Folders below the first level always get their "\".
    EXPECT_EQ(List(faDirectory, false, "", false, true),
              (std::vector<std::string>{p + "sub", p + "sub\\deeper\\", p + "sub\\loop\\"}));

    TStringList kept;
    kept.Add("first");
    EnumFiles(folder_, faDirectory, false, "", false, false, false, kept, false);
    EXPECT_EQ(Strings(kept), (std::vector<std::string>{"first", p + "sub"}));
}

TEST_F(FileListing, AttributesComeFromTheHostAndAreNeverChanged) {
    const std::string& p = folder_;
    EXPECT_EQ(List(faReadOnly, false, "", false, false), (std::vector<std::string>{p + "ro.vft"}));
    EXPECT_EQ(List(faHidden, false, "", false, false), (std::vector<std::string>{p + ".hidden.vft"}));
    // Only the pipe has none of the basic bits.
    EXPECT_EQ(List(0, true, "", false, false), (std::vector<std::string>{p + "pipe"}));

    struct stat st;
    ASSERT_EQ(stat((root_ + "ro.vft").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0444u);
}

// ---- Shell folders and screen ----

TEST(ShellFolders, MapToTheUserFoldersOfTheHost) {
    std::string home = FreshHostFolder() + "home";
    ScopedEnvironment homeVar("HOME", home.c_str());
    ScopedEnvironment config("XDG_CONFIG_HOME", nullptr);
    ScopedEnvironment data("XDG_DATA_HOME", nullptr);
    EXPECT_EQ(GetSpecialFolder(CSIDL_DESKTOP), fs::ToProgramPath(home + "/Desktop"));
    EXPECT_EQ(GetSpecialFolder(CSIDL_DESKTOPDIRECTORY), fs::ToProgramPath(home + "/Desktop"));
    EXPECT_EQ(GetSpecialFolder(CSIDL_PERSONAL), fs::ToProgramPath(home + "/Documents"));
    EXPECT_EQ(GetSpecialFolder(CSIDL_LOCAL_APPDATA), fs::ToProgramPath(home + "/.local/share"));
    EXPECT_EQ(GetSpecialFolder(0x26), "");  // program files: no such folder here
}

TEST(Screen, HeadlessMetricsAndTheWorkArea) {
    EXPECT_EQ(GetVirtualScreenLeft(), 0);
    EXPECT_EQ(GetVirtualScreenTop(), 0);
    EXPECT_EQ(GetVirtualScreenWidth(), 1920);
    EXPECT_EQ(GetVirtualScreenHeight(), 1080);
    EXPECT_EQ(GetWorkAreaRect(), (TRect{0, 0, 1920, 1080}));

    platform::DisplayMetrics one;
    one.workArea = {0, 32, 1920, 1080};
    platform::SetDisplayMetrics(one);
    EXPECT_EQ(GetWorkAreaRect(), (TRect{0, 32, 1920, 1080}));

    // Two monitors: the whole virtual screen, the panel not taken off.
    platform::DisplayMetrics two = one;
    two.virtualScreen = {-1280, 0, 1920, 1080};
    platform::SetDisplayMetrics(two);
    EXPECT_EQ(GetVirtualScreenLeft(), -1280);
    EXPECT_EQ(GetVirtualScreenWidth(), 3200);
    EXPECT_EQ(GetWorkAreaRect(), (TRect{-1280, 0, 1920, 1080}));
    platform::SetDisplayMetrics({});
}

// ---- Fonts ----

TEST(Fonts, InstalledJapaneseFaces) {
    TStringList names;
    GetFontNames(names, true, true, false);
    if (IndexOfStr(names, "IPAゴシック") < 0) GTEST_SKIP() << "the IPA fonts are not installed";
    EXPECT_GE(IndexOfStr(names, "IPA Pゴシック"), 0);
    EXPECT_EQ(IndexOfStr(names, "ipaゴシック"), -1);
    for (int i = 1; i < names.Count(); ++i) EXPECT_LE(AnsiCompareText(names.Strings(i - 1), names.Strings(i)), 0);

    TStringList fixed;
    GetFontNames(fixed, false, false, true);
    EXPECT_GE(IndexOfStr(fixed, "IPAゴシック"), 0);
    EXPECT_EQ(IndexOfStr(fixed, "IPA Pゴシック"), -1);

    TLogFont font;
    TTextMetric metric;
    GetFontLogFont("IPAゴシック", font, metric);
    EXPECT_EQ(font, (TLogFont{"IPAゴシック", 0, 400, false, SHIFTJIS_CHARSET, FIXED_PITCH}));
    EXPECT_EQ(metric.tmPitchAndFamily & TMPF_FIXED_PITCH, 0);
    EXPECT_EQ(metric.tmCharSet, SHIFTJIS_CHARSET);
    GetFontLogFont("IPA Pゴシック", font, metric);
    EXPECT_EQ(font.Pitch, VARIABLE_PITCH);
    EXPECT_EQ(metric.tmPitchAndFamily & TMPF_FIXED_PITCH, TMPF_FIXED_PITCH);
    GetFontLogFont("IPAGothic", font, metric);  // only the names the list gives
    EXPECT_EQ(font, TLogFont{});
    EXPECT_EQ(metric, TTextMetric{});
}

TEST(Fonts, WindowsJapaneseNamesStandForTheIpaFaces) {
    TStringList names;
    GetFontNames(names, false, false, false);
    if (IndexOfStr(names, "IPAゴシック") < 0) GTEST_SKIP() << "the IPA fonts are not installed";
    for (const char* face : {"ＭＳ ゴシック", "ＭＳ Ｐゴシック", "ＭＳ 明朝", "ＭＳ Ｐ明朝"}) EXPECT_GE(IndexOfStr(names, face), 0) << face;
    TStringList fixed;
    GetFontNames(fixed, false, false, true);
    EXPECT_GE(IndexOfStr(fixed, "ＭＳ 明朝"), 0);
    EXPECT_EQ(IndexOfStr(fixed, "ＭＳ Ｐ明朝"), -1);
    TLogFont font;
    TTextMetric metric;
    GetFontLogFont("ＭＳ Ｐゴシック", font, metric);
    EXPECT_EQ(font, (TLogFont{"ＭＳ Ｐゴシック", 0, 400, false, SHIFTJIS_CHARSET, VARIABLE_PITCH}));
}

// ---- Text and values ----

TEST(TextAndValues, DecodeEscapes) {
    EXPECT_EQ(DecodeEscapes("a\\nb"), "a\r\nb");
    EXPECT_EQ(DecodeEscapes("\\\\n \\\" \\t end\\"), "\\n \" \\t end\\");
    // The trail byte 0x5C of 表 takes no escape with it.
    EXPECT_EQ(DecodeEscapes("表n表\\n"), "表n表\r\n");
}

TEST(TextAndValues, FontStylesAndColours) {
    TFontStyles styles;
    styles[FS_BOLD] = styles[FS_STRIKEOUT] = true;
    EXPECT_EQ(FontStylesToInt(styles), 9);
    EXPECT_EQ(FontStylesToInt(IntToFontStyles(0x1F)), 15);
    EXPECT_TRUE(IntToFontStyles(2)[FS_ITALIC]);

    EXPECT_EQ(ScaleColor(0x00FF8040, 128), 0x007F4020u);
    EXPECT_EQ(ScaleColor(0x00FF8040, 512), 0x00FE0080u);  // 510, 256, 128 kept to 8 bits
    EXPECT_EQ(ScaleColor(0xFFFFFFFF, 256), 0x00FFFFFFu);
    EXPECT_EQ(ScaleColor(0x000000FF, -256), 0x01u);  // -255 kept to 8 bits
    // 32-bit arithmetic: 0x80 * 0x7FFFFFFF wraps to -128, which gives 0.
    EXPECT_EQ(ScaleColor(0x00000080, 0x7FFFFFFF), 0u);
}

TEST(TextAndValues, Rectangles) {
    TRect a{0, 0, 10, 10};
    EXPECT_TRUE(RectsIntersect(a, TRect{9, 9, 20, 20}));
    EXPECT_FALSE(RectsIntersect(a, TRect{10, 0, 20, 10}));  // touching
    EXPECT_TRUE(PointInRect(a, 0, 9));
    EXPECT_FALSE(PointInRect(a, 10, 5));
    TRect r{1, 1, 1, 1};
    IntersectRects(a, TRect{5, -5, 15, 5}, r);
    EXPECT_EQ(r, (TRect{5, 0, 10, 5}));
    IntersectRects(a, TRect{0, 10, 10, 20}, r);
    EXPECT_EQ(r, (TRect{0, 0, 0, 0}));
    EXPECT_EQ(NxMakePoint(3, -4), (TPoint{3, -4}));
}

}  // namespace

// Names are compared without making lowered copies; the answers must be those of comparing the
// lowered copies: ASCII and full-width letters, a lead byte left at the end, a trail byte 0x5C.
TEST(TextAndValues, CaseInsensitiveComparisonIsThatOfTheLoweredStrings) {
    const std::vector<std::string> names = {"", "a", "A", "ab", "aB", "Ab", "b", "Ｂ", "ｂ", "Ａｂ", "ａＢ", "表",
                                            "表a", "表A", "\x95", "a\x95", "A\x95", "Ω", "ω", "@Result", "@RESULT"};
    for (const std::string& a : names)
        for (const std::string& b : names) {
            const int order = AnsiLowerCase(a).compare(AnsiLowerCase(b));
            const int expected = (order > 0) - (order < 0);
            EXPECT_EQ(AnsiCompareText(a, b), expected) << ToHex(a) << " " << ToHex(b);
            EXPECT_EQ(AnsiSameText(a, b), expected == 0) << ToHex(a) << " " << ToHex(b);
        }
}

// The order that respects case is the Japanese one: case breaks ties only, punctuation counts
// last, digits come one by one before letters, the widths of a letter and the kinds of a kana
// sit together, kana by reading and kanji after them. Whatever order the texts start in.
TEST(TextAndValues, CaseRespectingComparisonIsTheJapaneseOrder) {
    const std::vector<std::string> sorted = {"1", "10", "9", "a", "ａ", "A", "Ａ", "b", "B", "coop", "co-op", "cop",
                                             "ｱ", "あ", "ア", "い", "かな", "カナ", "かな漢字", "亜", "漢字", "中"};
    std::vector<std::string> texts(sorted.rbegin(), sorted.rend());
    for (int shift = 0; shift < 3; ++shift) {
        std::rotate(texts.begin(), texts.begin() + 7, texts.end());
        AnsiSortStr(texts, false);
        EXPECT_EQ(texts, sorted);
    }
    AnsiSortStr(texts, true);
    EXPECT_EQ(texts, std::vector<std::string>(sorted.rbegin(), sorted.rend()));
}
