// The program entry's decisions: the single-instance key, the settings switch, the archives the
// command line attaches, and the sample title found both ways the player is started.
#include "app/entry.h"

#include "core/vrfiles_manager.h"
#include "objects/vitems.h"
#include "platform/fs.h"
#include "script/commands.h"
#include "script/pages.h"
#include "script/params_funcs.h"
#include "script/params_vars.h"
#include "script/project.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <tuple>

namespace {

using Args = std::vector<std::string>;

TEST(Entry, FullPathsAreWorkedOutWithoutTheDisk) {
    const std::string current = "Z:\\home\\me\\";
    EXPECT_EQ(ExpandFileName("game\\..\\other\\.\\x", current), "Z:\\home\\me\\other\\x");
    EXPECT_EQ(ExpandFileName("Game\\", current), "Z:\\home\\me\\Game\\");
    EXPECT_EQ(ExpandFileName("..\\..\\..\\..", current), "Z:\\");
    EXPECT_EQ(ExpandFileName("/srv//games/", current), "Z:\\srv\\games\\");
    EXPECT_EQ(ExpandFileName("z:saves", current), "z:\\home\\me\\saves");
    EXPECT_EQ(ExpandFileName("C:saves", current), "C:\\saves");
    EXPECT_EQ(ExpandFileName("", current), "Z:\\home\\me");
    // A trail byte 0x5C ends no folder.
    EXPECT_EQ(ExpandFileName("Z:\\表", current), "Z:\\表");
}

TEST(Entry, InstanceKeyNamesTheGameFolder) {
    const std::string key = InstanceKey({"Z:\\games\\title"}, "Z:\\opt\\vela\\");
    EXPECT_EQ(key, "Z:-games-title-");
    EXPECT_EQ(InstanceKey({"Z:\\games\\title\\", "Z:\\other"}, "Z:\\opt\\vela\\"), key);
    EXPECT_EQ(InstanceKey({"/games/title"}, ""), key);
    EXPECT_NE(InstanceKey({"Z:\\games\\Title"}, ""), key);
    EXPECT_EQ(InstanceKey({}, "Z:\\opt\\vela\\"), "Z:-opt-vela-");
    // "表" is 95 5C: its second byte stays.
    EXPECT_EQ(InstanceKey({"Z:\\表"}, ""), "Z:-\x95\x5C-");
}

// "--scale N" or "--scale=N" leaves the arguments wherever it stands; without it VELA_SCALE
// counts, and a bad N in either refuses the start.
TEST(Entry, WindowScaleFromTheOptionOrTheEnvironment) {
    using Args = std::vector<std::string>;
    const char* const unset = nullptr;
    for (const auto& [args, environment, scale, rest] :
         {std::tuple(Args{"--scale", "3", "folder"}, "5", 3, Args{"folder"}),
          std::tuple(Args{"folder", "--scale", "08"}, unset, 8, Args{"folder"}),
          std::tuple(Args{"--scale=2", "folder"}, "5", 2, Args{"folder"}),
          std::tuple(Args{"folder"}, "2", 2, Args{"folder"}), std::tuple(Args{"folder"}, "", 1, Args{"folder"}),
          std::tuple(Args{}, unset, 1, Args{})}) {
        Args taken = args;
        int32_t got = 0;
        EXPECT_TRUE(TakeWindowScale(taken, environment, got)) << (environment ? environment : "");
        EXPECT_EQ(got, scale);
        EXPECT_EQ(taken, rest);
    }
    for (const auto& [args, environment] :
         {std::pair(Args{"--scale", "9"}, "2"), std::pair(Args{"--scale", "0"}, unset),
          std::pair(Args{"--scale", "2x"}, unset), std::pair(Args{"--scale", "-2"}, unset),
          std::pair(Args{"folder", "--scale"}, unset), std::pair(Args{"--scale=", "2"}, unset),
          std::pair(Args{"--scale=9"}, unset), std::pair(Args{"folder"}, "1.5"),
          std::pair(Args{"folder"}, " 2")}) {
        Args taken = args;
        int32_t got = 0;
        EXPECT_FALSE(TakeWindowScale(taken, environment, got)) << (environment ? environment : "");
    }
}

// Text-out targets from the options (taken out of the arguments, each port once) or else the
// environment's list; a bad target or an option without one refuses the start.
TEST(Entry, TextOutTargetsFromTheOptionsOrTheEnvironment) {
    using Args = std::vector<std::string>;
    TTextOutTargets got;
    std::string bad;
    Args args{"--text-out=ws", "folder", "--text-out", "-", "--text-out=ws:7000", "--text-out=ws:6677"};
    ASSERT_TRUE(TakeTextOutTargets(args, "clipboard", got, bad));
    EXPECT_EQ(args, Args{"folder"});
    EXPECT_TRUE(got.Stdout);
    EXPECT_FALSE(got.Clipboard);  // the options, not the environment
    EXPECT_EQ(got.Ports, (std::vector<uint16_t>{6677, 7000}));
    args = {"folder"};
    ASSERT_TRUE(TakeTextOutTargets(args, "clipboard,ws:1,-", got, bad));
    EXPECT_TRUE(got.Stdout && got.Clipboard);
    EXPECT_EQ(got.Ports, std::vector<uint16_t>{1});
    for (const char* unset : {static_cast<const char*>(nullptr), ""}) {
        ASSERT_TRUE(TakeTextOutTargets(args, unset, got, bad));
        EXPECT_FALSE(got.Any());
    }
    for (const auto& [options, environment, named] :
         {std::tuple(Args{"--text-out=ws:0"}, "", "ws:0"), std::tuple(Args{"--text-out=ws:65536"}, "", "ws:65536"),
          std::tuple(Args{"--text-out=ws:"}, "", "ws:"), std::tuple(Args{"--text-out=WS"}, "", "WS"),
          std::tuple(Args{"--text-out="}, "", ""), std::tuple(Args{"folder", "--text-out"}, "", "--text-out"),
          std::tuple(Args{"folder"}, "ws,,-", ""), std::tuple(Args{"folder"}, "ws:80x", "ws:80x")}) {
        args = options;
        EXPECT_FALSE(TakeTextOutTargets(args, environment, got, bad)) << named;
        EXPECT_EQ(bad, named);
    }
}

// Pages' origins from the options, each parsed; a URL without one, or the option without a URL,
// refuses the start.
TEST(Entry, TextOutOriginsFromTheOptions) {
    using Args = std::vector<std::string>;
    TTextOutTargets got;
    std::string bad;
    Args args{"--text-out-origin=https://Reader.example/hooker/", "folder", "--text-out-origin",
              "http://hooker.example:8080", "--text-out=ws"};
    ASSERT_TRUE(TakeTextOutOrigins(args, got, bad));
    EXPECT_EQ(args, (Args{"folder", "--text-out=ws"}));
    EXPECT_EQ(got.Origins, (std::vector<platform::TextOutOrigin>{{"https", "reader.example", "443"},
                                                                  {"http", "hooker.example", "8080"}}));
    for (const auto& [options, named] :
         {std::pair(Args{"--text-out-origin=reader.example"}, "reader.example"),
          std::pair(Args{"--text-out-origin="}, ""), std::pair(Args{"folder", "--text-out-origin"}, "--text-out-origin")}) {
        args = options;
        got = {};
        EXPECT_FALSE(TakeTextOutOrigins(args, got, bad)) << named;
        EXPECT_EQ(bad, named);
    }
}

TEST(Entry, ConfigOnlyAsTheFirstArgument) {
    EXPECT_TRUE(IsConfigStart({"/CONFIG"}));
    EXPECT_TRUE(IsConfigStart({"/config", "Z:\\games"}));
    EXPECT_FALSE(IsConfigStart({"Z:\\games", "/config"}));
    EXPECT_FALSE(IsConfigStart({"/configure"}));
    EXPECT_FALSE(IsConfigStart({}));
}

// A launcher passes the title's game.dat: its folder is the title folder; other names stay, and
// so does a title folder that is itself called game.dat.
TEST(Entry, AGameDatArgumentNamesItsFolder) {
    EXPECT_EQ(TitleFolderArgument("/home/me/title/game.dat"), "/home/me/title/");
    EXPECT_EQ(TitleFolderArgument("Z:\\title\\GAME.DAT"), "Z:\\title\\");
    EXPECT_EQ(TitleFolderArgument("Game.Dat"), ".");
    EXPECT_EQ(TitleFolderArgument("Z:\\表\\game.dat"), "Z:\\表\\");
    for (const char* kept : {"/home/me/title", "/home/me/title/", "/home/me/mygame.dat", "/home/me/game.dat.bak", "表"})
        EXPECT_EQ(TitleFolderArgument(kept), kept);
    const std::string folder = FreshHostFolder() + "Game.dat";
    std::filesystem::create_directories(folder);
    EXPECT_EQ(TitleFolderArgument(folder), folder);
}

class Archives : public ::testing::Test {
protected:
    void SetUp() override {
        CreateVrFileSystem();
        VrFileManager->SetCdRoots({});
        host = FreshHostFolder();
    }
    void TearDown() override { FreeVrFileSystem(); }

    static void Write(const std::string& HostPath, const std::string& Bytes) {
        std::filesystem::create_directories(std::filesystem::path(HostPath).parent_path());
        std::ofstream(HostPath, std::ios::binary) << Bytes;
    }
    // An archive at Out (a host path) holding "which.txt" with Text; a carrier appends it to
    // the bytes of the file Program.
    std::string Pack(const std::string& Out, const std::string& Text, const std::string& Carrier = "") {
        const std::string source = host + "src-" + Text + "/";
        Write(source + "which.txt", Text);
        std::filesystem::create_directories(std::filesystem::path(host + Out).parent_path());
        Args args = {"pack", host + Out, source};
        if (!Carrier.empty()) args.insert(args.end(), {"--carrier", host + Carrier});
        PythonOutput("vfarchive.py", args);
        return Program(Out);
    }
    std::string Program(const std::string& HostName) const { return platform::fs::ToProgramPath(host + HostName); }
    static std::vector<std::string> Attached() {
        std::vector<std::string> names;
        for (int i = 0; i < VrFileManager->Count(); ++i) names.push_back(VrFileManager->GetCollection(i).FileName());
        return names;
    }

    std::string host;
};

TEST_F(Archives, ArgumentsAttachInTheirOrder) {
    const std::string first = Pack("one/game.dat", "one");
    Write(host + "velaplay", "ELF");
    const std::string carrier = Pack("title.exe", "carrier", "velaplay");
    const std::string second = Pack("two/game.dat", "two");
    AttachArchives(*VrFileManager, {Program("one"), carrier, Program("two\\"), Program("none")}, Program("velaplay"));
    EXPECT_EQ(VrFileManager->BaseFolder(), Program("one\\"));
    EXPECT_EQ(Attached(), (Args{first, carrier, second}));
    TMemoryStream which;
    VrFileManager->ReadFile(which, "which.txt");
    EXPECT_EQ(Bytes(which), "one");
}

TEST_F(Archives, WithoutArgumentsTheProgramFolderAndACarrierProgram) {
    Write(host + "velaplay", "ELF");
    Pack("game.dat", "beside");
    AttachArchives(*VrFileManager, {}, Program("velaplay"));
    EXPECT_EQ(VrFileManager->BaseFolder(), Program(""));
    EXPECT_TRUE(Attached().empty());  // the project attaches the game.dat beside the program

    const std::string carrier = Pack("player", "carrier", "velaplay");
    AttachArchives(*VrFileManager, {}, carrier);
    EXPECT_EQ(Attached(), (Args{carrier}));
}

// The sample title as the build leaves it, copied to a folder of the test's own so that its save
// data stays there. Started beside its game.dat without arguments, or with the title's folder as
// the argument from elsewhere, the player opens it.
class SampleStart : public Archives {
protected:
    void SetUp() override {
        Archives::SetUp();
        CreateScriptServices();
        CreateParamMan();
        CreateSysFuncMan();
        CreateCommandFactory();
        CreateDefaultPage();
        VelaInitialize();
        std::filesystem::create_directories(host + "title");
        for (const char* name : {"game.dat", "install.dat"})
            std::filesystem::copy_file(std::string(VELA_SAMPLE_FOLDER "/") + name, host + "title/" + name);
    }
    void TearDown() override {
        FreeProject();
        VelaFinalize();
        FreeDefaultPage();
        FreeCommandFactory();
        FreeSysFuncMan();
        FreeParamMan();
        FreeScriptServices();
        Archives::TearDown();
    }
    void Open(const Args& Arguments, const std::string& ProgramFile) {
        AttachArchives(*VrFileManager, Arguments, ProgramFile);
        TProjectStart start;
        start.ProgramFile = ProgramFile;
        start.Args = Arguments;
        CreateProject(std::move(start));
        ASSERT_NE(Project, nullptr);
        EXPECT_FALSE(Terminating());
        EXPECT_EQ(Project->Title, "Vela サンプル");
    }
};

TEST_F(SampleStart, BesideItsContent) {
    Open({}, Program("title\\velaplay"));
}

TEST_F(SampleStart, WithItsFolderAsArgument) {
    std::filesystem::create_directories(host + "bin");
    Open({Program("title")}, Program("bin\\velaplay"));
}

}  // namespace
