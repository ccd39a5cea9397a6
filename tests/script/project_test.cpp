#include "script/project.h"

#include "objects/vitems.h"
#include "script/services_objects.h"
#include "tests/script/project_fixture.h"
#include "text/fontpixels.h"

#include <filesystem>

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

TEST_F(ProjectOpen, ADamagedProjectOrInstallFileIsReportedByItsName) {
    AddFile("install.dat", InstallSetBytes("t", true));
    AddFile("vela.vpb", ProjectFileBytes(R"({"title": "t", "width": 1, "height": 1, "start_page": "m.vsb"})").substr(0, 20));
    EXPECT_EQ(ErrorOf([&] { Open(); }), "vela.vpb:プロジェクトファイルが壊れています");
    VrFileManager->GetCollection(0).DeleteFile("install.dat");
    AddFile("install.dat", InstallSetBytes("t", true).substr(0, 9));
    EXPECT_EQ(ErrorOf([&] { Open(); }), "install.dat:インストール情報が壊れています");
}

// A screen of no size, or too large to make, is refused before anything is sized from it, by the
// project file's name and the size it holds; the sides 1 and 4096 open.
TEST_F(ProjectOpen, AScreenSideOutsideOneTo4096IsRefused) {
    AddFile("install.dat", InstallSetBytes("t", true));
    AddPage("m.vsb", TPageWriter().Note("a"));
    auto project = [&](int Width, int Height) {
        VrFileManager->GetCollection(0).DeleteFile("vela.vpb");
        const char* description = R"({"title": "t", "width": %d, "height": %d, "start_page": "m.vsb"})";
        AddFile("vela.vpb", ProjectFileBytes(Format(description, Width, Height)));
    };
    const std::vector<std::pair<int, int>> refused = {{16383, 16383}, {-5, 0}, {4097, 480}, {640, 0}};
    for (const auto& [width, height] : refused) {
        project(width, height);
        EXPECT_EQ(ErrorOf([&] { Open(); }),
                  Format("vela.vpb:画面の大きさ %d x %d には対応していません(1 から 4096 まで)", width, height));
        EXPECT_EQ(Project, nullptr);
        EXPECT_TRUE(Terminating());
    }
    project(4096, 1);
    Open();
    EXPECT_FALSE(Terminating());
    EXPECT_EQ(Project->Width, 4096);
}

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
    // Another title's content beside the program is not this title's when the command line
    // names the content.
    WriteArchive(folder + "game.dat", {{"m.vsb", TPageWriter().Note("a").Bytes()}});
    Open({platform::fs::ToProgramPath(FreshHostFolder())});
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

// The sample title as the build leaves it: game.dat and install.dat beside the player (copied
// into the test's own folder, so that the save data the title keeps there is this test's alone),
// run over the player's object root with a screen of the project's size, tick by tick as the
// player's loop runs it on the test's clock.
class SampleTitle : public ProjectTest {
protected:
    void SetUp() override {
        ProjectTest::SetUp();
        // The real commands, not the test family.
        FreeCommandFactory();
        CreateCommandFactory();
        VrFileManager->Clear();
        VelaInitialize();
        FontPixelManager = new TFontPixelManager(platform::CreateFakeFontService);
        SetScriptObjects(std::make_unique<TSceneObjects>());
        TProjectStart start;
        for (const char* name : {"game.dat", "install.dat"})
            std::filesystem::copy_file(std::string(VELA_SAMPLE_FOLDER "/") + name, hostFolder + name);
        start.ProgramFile = folder + "velaplay";
        CreateProject(std::move(start));
        state.SetRunner(Project->Runner.get());
        Bases->SetWidth(Project->Width);
        Bases->SetHeight(Project->Height);
    }
    void TearDown() override {
        ProjectTest::TearDown();
        VelaFinalize();
        delete std::exchange(FontPixelManager, nullptr);
    }

    // Ticks until the count is reached or the script ends.
    void RunUntil(int Tick) {
        while (ticks < Tick && !Terminating()) {
            host->Time += host->Frame;
            ++ticks;
            Bases->Update(host->Time);
            Project->Run();
            if (Terminating()) break;
            Bases->Step();
            Project->ProcessPending();
        }
    }
    // A left press at P in the next tick, released in the one after.
    void Click(TPoint P) {
        TVelaBase& layer = *Bases->GetBase(Bases->GetCurrentLayer());
        layer.SetMousePos(P);
        layer.LeftLatch = layer.LeftHeld = true;
        RunUntil(ticks + 1);
        layer.LeftHeld = false;
        RunUntil(ticks + 1);
    }
    TVelaControl& Box(const std::string& Name) {
        TVelaControl* box = Bases->FindControl(Name);
        if (!box) throw EVelaError("no box " + Name);
        return *box;
    }
    // The place of a mover after Steps steps of Step px from 0, turning at 0 and Bound.
    static int32_t Bounced(int64_t Steps, int32_t Step, int32_t Bound) {
        const int64_t p = Steps * Step % (2 * Bound);
        return static_cast<int32_t>(p <= Bound ? p : 2 * Bound - p);
    }
    // The dot moves each tick after the first (its idle handler), the ball each second tick from
    // the fourth on (its timer fires every 32 ms).
    void ExpectMoversAfter(int Tick) {
        SCOPED_TRACE("tick " + std::to_string(Tick));
        EXPECT_EQ(Box("dot").GetLeft(), Bounced(Tick - 1, 2, 256));
        EXPECT_EQ(Box("dot").GetTop(), Bounced(Tick - 1, 1, 176));
        EXPECT_EQ(Box("ball").GetLeft(), Bounced((Tick - 2) / 2, 8, 200));
        EXPECT_EQ(Box("ball").GetTop(), Bounced((Tick - 2) / 2, 6, 360));
    }

    int ticks = 0;
};

TEST_F(SampleTitle, RunsToItsEnd) {
    ASSERT_FALSE(Terminating());
    EXPECT_EQ(Project->Title, "Vela サンプル");
    EXPECT_EQ(Bases->GetWidth(), 640);

    // The first tick makes the scene on the current layer.
    RunUntil(1);
    EXPECT_EQ(Bases->GetBase(0)->GetColor(), 0x402010);
    struct TExpected {
        const char* Name;
        const char* Parent;
        int32_t Left, Top, Width, Height, Color;
    };
    const std::string layer = Bases->GetBase(0)->GetName();
    for (const TExpected& e : std::vector<TExpected>{{"panel", "", 40, 40, 280, 200, 0x808000},
                                                     {"dot", "panel", 0, 0, 24, 24, 0xFFFFFF},
                                                     {"court", "", 360, 40, 240, 400, 0x404040},
                                                     {"ball", "court", 0, 0, 40, 40, 0x0080FF},
                                                     {"red", "", 40, 300, 80, 80, 0x0000FF},
                                                     {"green", "", 140, 300, 80, 80, 0x00FF00},
                                                     {"blue", "", 240, 300, 80, 80, 0xFF0000}}) {
        SCOPED_TRACE(e.Name);
        const TVelaControl& box = Box(e.Name);
        EXPECT_EQ(box.GetParent()->GetName(), *e.Parent ? e.Parent : layer);
        EXPECT_EQ(std::vector<int32_t>({box.GetLeft(), box.GetTop(), box.GetWidth(), box.GetHeight(), box.GetColor()}),
                  std::vector<int32_t>({e.Left, e.Top, e.Width, e.Height, e.Color}));
    }
    TVelaObject* mover = Bases->FindObject("mover");
    ASSERT_NE(mover, nullptr);
    EXPECT_EQ(mover->GetDelay(), 32);

    // Both movers have turned at two edges by then.
    RunUntil(300);
    ExpectMoversAfter(300);

    // A click inverts the colour of the box hit, the innermost one.
    Click({80, 340});
    EXPECT_EQ(Box("red").GetColor(), 0xFFFF00);
    EXPECT_EQ(Box("green").GetColor(), 0x00FF00);
    const int press = ticks + 1;
    Click({40 + Bounced(press - 2, 2, 256) + 12, 40 + Bounced(press - 2, 1, 176) + 12});
    EXPECT_EQ(Box("dot").GetColor(), 0);
    EXPECT_EQ(Box("panel").GetColor(), 0x808000);

    // After ten seconds of script time the start page tells the story, shows the gallery, then
    // ends with the command that closes the player.
    RunUntil(625);
    EXPECT_NE(Bases->FindObject("story"), nullptr);
    ExpectMoversAfter(625);
    RunUntil(3000);
    EXPECT_TRUE(Terminating());
    EXPECT_LT(ticks, 3000);
    EXPECT_EQ(host->Closes, 1);
    EXPECT_EQ(ParamMan->Find("total")->GetAsInt(), 40);
    EXPECT_TRUE(host->Warnings.empty());
    // The objects page left the moved outer box parked in its cabinet and the inner one freed;
    // the gallery's flips cleared the rest of that screen but spared the cabinet.
    EXPECT_EQ(Bases->FindObject("inner"), nullptr);
    TVelaControl* shelf = Bases->FindControl("shelf");
    TVelaControl* outer = Bases->FindControl("outer");
    ASSERT_NE(shelf, nullptr);
    ASSERT_NE(outer, nullptr);
    EXPECT_EQ(shelf->GetParent(), Bases->GetBase(0));
    EXPECT_EQ(outer->GetParent(), shelf);
    EXPECT_EQ(outer->GetLeft(), 50);
    EXPECT_EQ(outer->GetControlCount(), 0);
    EXPECT_EQ(Bases->FindObject("panel"), nullptr);
    EXPECT_EQ(Bases->FindObject("bright"), nullptr);
    EXPECT_NE(Bases->FindControl("gallerybox"), nullptr);
}

}  // namespace
