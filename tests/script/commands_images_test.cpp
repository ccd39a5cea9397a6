// The image creation commands on pages written by vpage.py, over the player's object root and
// an image cache serving pictures made here; the image mode in the status data.
#include "graphics/miras.h"
#include "objects/vitemex_image.h"
#include "objects/vitemex_mira.h"
#include "objects/vitems.h"
#include "script/services_objects.h"
#include "tests/common/budget.h"
#include "tests/script/page_fixture.h"
#include "tests/script/project_fixture.h"

using namespace pagetest;

namespace {

// Every name is a picture of three 4 x 3 frames of 100 ms each.
class TThreeFrames : public TMiraSource {
public:
    bool FileExists(const std::string&, bool) override { return true; }
    void Load(TMiraFrameList& List, const std::string&) override {
        for (int i = 0; i < 3; ++i) List.AddFrame()->SetupImage(4, 3, 32, nullptr, 0);
    }
};

class ImageCommands : public CommandTest {
protected:
    void SetUp() override {
        CommandTest::SetUp();
        VelaInitialize();
        MiraMan->SetSource(std::make_unique<TThreeFrames>());
        Bases->SetWidth(64);
        Bases->SetHeight(48);
        SetScriptObjects(std::make_unique<TSceneObjects>());
        host->Frame = 10;
    }
    void TearDown() override {
        VelaFinalize();
        CommandTest::TearDown();
    }
    void Run(const std::string& Commands) {
        AddPage("p.vsb", Commands);
        runner.Start("p.vsb");
        Ticks(1);
    }
    static TVelaCustomImage& Image(const std::string& Name) {
        auto* image = dynamic_cast<TVelaCustomImage*>(Bases->FindObject(Name));
        if (!image) throw EVelaError("no image " + Name);
        return *image;
    }
    static void Steps(int Count) {
        while (Count-- > 0) Bases->Step();
    }
};

// A loop that makes a picture object and deletes it without waiting keeps nothing of a round.
TEST_F(ImageCommands, MakingAndDeletingAPictureInALoopKeepsNothing) {
    Var("i", PT_INT);
    const auto loop = [](int Rounds) {
        return R"([{"cmd": "WhileInit", "do": "i = 0"}, {"cmd": "Label", "name": "top"},
                   {"cmd": "While", "cond": "i < )" + std::to_string(Rounds) + R"(", "exit": "done"},
                   {"cmd": "ImgNew", "props": {"NAME": "\"a\"", "SOURCE": "\"run.mra\""}, "indent": 1},
                   {"cmd": "ObjDel", "object": "\"a\"", "indent": 1},
                   {"cmd": "WhileLoop", "do": "i = i + 1", "head": "top", "indent": 1},
                   {"cmd": "Label", "name": "done"}])";
    };
    Run(loop(100));
    const int64_t before = MemoryCharged();
    AddPage("q.vsb", loop(5000));
    runner.Start("q.vsb");
    Ticks(1);
    EXPECT_EQ(Value("i"), "5000");
    EXPECT_NEAR(MemoryCharged(), before, testbudget::Slack);
}

// The delay expression is the image's own copy, run when the last frame comes up: the variable
// it reads is taken then, not when the command ran.
TEST_F(ImageCommands, ImgNewHoldsTheLastFrameForItsDelayExpression) {
    Var("hold", PT_INT).SetAsInt(0);
    Run(R"([{"cmd": "ImgNew", "props": {"NAME": "\"a\"", "SOURCE": "\"run.mra\"", "DELAY": "hold"}},
            {"cmd": "ImgNew", "props": {"NAME": "\"b\"", "SOURCE": "\"run.mra\""}}])");
    ParamMan->Find("hold")->SetAsInt(50);
    // Frames of 100 ms: the last comes up after 200 ms and holds 100 ms, and 50 more for "a".
    Steps(29);
    EXPECT_TRUE(Image("b").GetPlaying());
    Steps(1);
    EXPECT_FALSE(Image("b").GetPlaying());
    EXPECT_EQ(Image("a").GetIndex(), 2);
    Steps(4);
    EXPECT_TRUE(Image("a").GetPlaying());
    Steps(1);
    EXPECT_FALSE(Image("a").GetPlaying());
}

// A zoom set before the left gives the image its zoomed size at once, not at the next tick; the
// tile keeps the size it is given.
TEST_F(ImageCommands, TheLeftComesWithTheZoomedSize) {
    Run(R"([{"cmd": "ImgNew", "props": {"NAME": "\"big\"", "SOURCE": "\"p.mra\"", "FLOATZOOMX": "2.5",
                                        "FLOATZOOMY": "2", "LEFT": "5", "TOP": "6"}},
            {"cmd": "TileNew", "props": {"NAME": "\"ground\"", "SOURCE": "\"p.mra\"", "WIDTH": "30", "HEIGHT": "20",
                                         "FLOATZOOMX": "2"}}])");
    TVelaCustomImage& big = Image("big");
    EXPECT_EQ(std::vector<int32_t>({big.GetLeft(), big.GetTop(), big.GetWidth(), big.GetHeight()}),
              std::vector<int32_t>({5, 6, 10, 6}));
    TVelaCustomImage& ground = Image("ground");
    EXPECT_EQ(ground.GetCompoType(), LT_TILE);
    EXPECT_EQ(std::vector<int32_t>({ground.GetWidth(), ground.GetHeight()}), std::vector<int32_t>({30, 20}));
}

class ImageModeStatus : public ProjectTest {
protected:
    void SetUp() override {
        ProjectTest::SetUp();
        VelaInitialize();
    }
    void TearDown() override {
        ProjectTest::TearDown();
        VelaFinalize();
    }
};

TEST_F(ImageModeStatus, TheModeComesBackFromTheStatusData) {
    AddTitle();
    AddPage("m.vsb", TPageWriter().Wait(3));
    Open();
    Bases->SetImageMode(true);
    Project->SaveStatus();
    FreeProject();
    MiraMan->SetMode(0);
    Open();
    EXPECT_EQ(MiraMan->ImageMode, 1);
    EXPECT_TRUE(Bases->GetImageMode());
}

}  // namespace
