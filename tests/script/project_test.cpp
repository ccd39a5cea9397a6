#include "script/project.h"

#include "objects/vitems.h"
#include "script/services_objects.h"
#include "tests/script/project_fixture.h"

using namespace pagetest;

namespace {

using Strings = std::vector<std::string>;

TProjectSetting ReadSettings(const std::string& Bytes) {
    TMemoryStream stream;
    stream.WriteBuffer(Bytes.data(), static_cast<int64_t>(Bytes.size()));
    stream.SetPosition(0);
    TProjectSetting settings;
    settings.LoadFromStream(stream);
    return settings;
}

TEST(ProjectSetting, FieldsByVersion) {
    // The description is UTF-8; vpage.py stores its texts in CP932.
    const std::string fullBytes = ProjectFileBytes(U8(u8R"({"title": "題", "width": 640, "height": 480,
        "full_width": 800, "full_height": 600, "start_page": "s.vsb", "closing_page": "e.vsb", "registry_name": "R",
        "frame_list_param": 3, "save_enabled": true, "flag106": true, "media_extensions": ".wav", "pause_in_background": true,
        "disc_check": true, "toolbar_visible": false, "disc_prompt": "disc %d", "quit_text": "quit",
        "declarations": [{"name": "n", "type": "int", "value": -5}, {"name": "f", "type": "float", "value": 2.5},
                         {"name": "b", "type": "bool", "value": true}, {"name": "s", "type": "str", "value": "文"}],
        "disks": [{"folder": "movie", "disc": 2}]})"));
    const TProjectSetting full = ReadSettings(fullBytes);
    EXPECT_EQ(full.Title + full.StartPage + full.ClosingPage + full.RegistryName + full.MediaExtensions + full.DiscPrompt +
                  full.QuitText,
              "題s.vsbe.vsbR.wavdisc %dquit");
    EXPECT_EQ(std::vector<int32_t>({full.Width, full.Height, full.FullWidth, full.FullHeight, full.FrameListParam,
                                    full.SaveEnabled, full.Flag106, full.PauseInBackground, full.DiscCheck, full.ToolbarVisible}),
              std::vector<int32_t>({640, 480, 800, 600, 3, 1, 1, 1, 1, 0}));
    ASSERT_EQ(full.Declarations.size(), 4u);
    EXPECT_EQ(full.Declarations[0].Value->AsInt(), -5);
    EXPECT_EQ(full.Declarations[1].Value->AsFloat(), 2.5L);
    EXPECT_TRUE(full.Declarations[2].Value->AsBool());
    EXPECT_EQ(full.Declarations[3].Name + full.Declarations[3].Value->AsStr(), "s文");
    EXPECT_EQ(full.DiskList.GetDisk("MOVIE\\A.AVI"), 2);

    // Version 108 holds neither the closing page nor the fields from 109 on.
    const TProjectSetting old = ReadSettings(ProjectFileBytes(R"({"version": 108, "title": "t", "width": 1,
        "height": 2, "start_page": "s.vsb", "save_enabled": true, "flag106": true, "quit_text": "q"})"));
    EXPECT_EQ(old.ClosingPage + "|" + old.MediaExtensions + "|" + old.QuitText, "|.wav.wma.ogg.mid|q");
    EXPECT_EQ(std::vector<int>({old.SaveEnabled, old.Flag106, old.PauseInBackground, old.DiscCheck, old.ToolbarVisible}),
              std::vector<int>({1, 1, 0, 0, 1}));

    try {
        ReadSettings(ProjectFileBytes(R"({"version": 118, "title": "t", "width": 1, "height": 2, "start_page": "s"})"));
        ADD_FAILURE() << "version 118 read";
    } catch (const EVelaError& e) {
        EXPECT_STREQ(e.what(), "このバージョンには対応していません");
    }
    for (size_t size = 0; size < fullBytes.size(); ++size) EXPECT_THROW(ReadSettings(fullBytes.substr(0, size)), EReadError);
}

class ProjectOpen : public ProjectTest {};

TEST_F(ProjectOpen, StartsAtTheStartPageAndEndsWithTheClosingPage) {
    AddTitle(R"(, "closing_page": "e.vsb", "declarations": [{"name": "seen", "type": "int", "value": 4}])");
    AddPage("m.vsb", TPageWriter().Note("a"));
    AddPage("e.vsb", TPageWriter().Note("bye"));
    Open();
    EXPECT_FALSE(Terminating());
    EXPECT_EQ(Project->Title, "t");
    EXPECT_TRUE(ParamMan->Find("seen")->IsStatus());
    EXPECT_EQ(ParamMan->Find("seen")->GetAsInt(), 4);
    Project->Run();
    EXPECT_EQ(Log, (Strings{"begin:a", "exec:a"}));
    FreeProject();
    EXPECT_EQ(Log, (Strings{"begin:a", "exec:a", "begin:bye", "exec:bye"}));
    EXPECT_TRUE(Terminating());
    EXPECT_TRUE(host->Warnings.empty());
}

TEST_F(ProjectOpen, WithoutItsStartPageThePlayerCloses) {
    AddTitle();
    Open();
    EXPECT_TRUE(Terminating());
    EXPECT_EQ(host->Warnings, Strings{"スタートページがありません"});
    EXPECT_EQ(Project->Runner->CurrentPage, nullptr);
}

TEST_F(ProjectOpen, AsksForTheDiscsOfATitleNotInstalledWhole) {
    AddFile("install.dat", InstallSetBytes("t", false));
    const std::string disc = FreshHostFolder();
    WriteArchive(platform::fs::ToProgramPath(disc) + "game.dat",
                 {{"vela.vpb", ProjectFileBytes(R"({"title": "t", "width": 1, "height": 1, "start_page": "m.vsb",
                     "disks": [{"folder": "movie", "disc": 2}]})")},
                  {"m.vsb", TPageWriter().Note("a").Bytes()}});
    WriteHostFile(disc + "install.dat", InstallSetBytes("t", false));
    // Cancel, do not quit, and at the second request the disc is in.
    Answers = {false, false, true};
    WhenAsked = [&] {
        if (Asked.size() == 3) VrFileManager->SetCdRoots({platform::fs::ToProgramPath(disc)});
    };
    Open();
    EXPECT_EQ(Asked, (Strings{"ディスクを入れてください", "終了します", "ディスクを入れてください"}));
    EXPECT_FALSE(Terminating());
    EXPECT_EQ(Project->Runner->CurrentPage->GetName(), "m.vsb");
    EXPECT_TRUE(Project->FindInstallDisc());

    // A file of a folder on disc 2: media files stay missing without a question (".og" is not
    // ".ogg"); another asks for the disc, and a confirmed quit closes the player.
    Asked.clear();
    EXPECT_FALSE(Project->FileExists("movie\\a.ogg"));
    EXPECT_TRUE(Asked.empty());
    Answers = {false, true};
    EXPECT_FALSE(Project->FileExists("movie\\a.og"));
    EXPECT_EQ(Asked, (Strings{"ディスク2を入れてから[OK]をクリックしてください", "終了します"}));
    EXPECT_TRUE(Terminating());
    EXPECT_EQ(host->Closes, 1);
}

// The sample title as the build leaves it: game.dat and install.dat beside the player, run over
// the player's object root.
class SampleTitle : public ProjectTest {
protected:
    void SetUp() override {
        ProjectTest::SetUp();
        // The real commands, not the test family.
        FreeCommandFactory();
        CreateCommandFactory();
        VrFileManager->Clear();
        VelaInitialize();
        SetScriptObjects(std::make_unique<TSceneObjects>());
    }
    void TearDown() override {
        ProjectTest::TearDown();
        VelaFinalize();
    }
};

TEST_F(SampleTitle, RunsToItsEnd) {
    TProjectStart start;
    start.ProgramFile = platform::fs::ToProgramPath(VELA_SAMPLE_FOLDER "/velaplay");
    CreateProject(std::move(start));
    state.SetRunner(Project->Runner.get());
    ASSERT_FALSE(Terminating());
    EXPECT_EQ(Project->Title, "Vela サンプル");
    for (int tick = 0; tick < 10000 && !Terminating(); ++tick) {
        host->Time += host->Frame;
        Project->Run();
        Project->ProcessPending();
        Bases->Step();
    }
    // The start page ends with the command that closes the player.
    EXPECT_TRUE(Terminating());
    EXPECT_EQ(host->Closes, 1);
    EXPECT_EQ(ParamMan->Find("total")->GetAsInt(), 40);
    EXPECT_TRUE(host->Warnings.empty());
    // The objects page left the moved outer box parked in its cabinet and the inner one freed.
    EXPECT_EQ(Bases->FindObject("inner"), nullptr);
    TVelaControl* shelf = Bases->FindControl("shelf");
    TVelaControl* outer = Bases->FindControl("outer");
    ASSERT_NE(shelf, nullptr);
    ASSERT_NE(outer, nullptr);
    EXPECT_EQ(shelf->GetParent(), Bases->GetBase(0));
    EXPECT_EQ(outer->GetParent(), shelf);
    EXPECT_EQ(outer->GetLeft(), 50);
    EXPECT_EQ(outer->GetControlCount(), 0);
    EXPECT_EQ(Bases->GetObjectCount(), 2);
}

}  // namespace
