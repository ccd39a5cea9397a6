// The page flip on pages written by vpage.py, over the player's object root, tick by tick on a
// fake loop clock.
#include "objects/vitems.h"
#include "objects/vitems_kinds.h"
#include "script/services_objects.h"
#include "tests/script/scene_fixture.h"

using namespace pagetest;

namespace {

const std::string SnapshotName = "\x01\x01";

class Flips : public SceneCommandTest {
protected:
    void SetUp() override {
        SceneCommandTest::SetUp();
        host->Time = 1000;
    }
    // Ticks of 16 ms as the player runs them: the script, the objects' step, the drawing.
    void Play(int Count, TCallMan& Runner) {
        while (Count-- > 0) {
            Runner.Run();
            Bases->Step();
            Bases->Prepare();
            host->Time += 16;
        }
    }
    void Play(int Count) { Play(Count, runner); }
    // Starts a page: boxes a, b and c on the shown layer (0), then Flip with Fields, then t is set.
    void StartFlip(const std::string& Fields) {
        const std::string name = "f" + std::to_string(++pages_) + ".vsb";  // the runner keeps pages it read
        AddPage(name, "[" + Box("a") + ", " + Box("b") + ", " + Box("c") + R"(, {"cmd": "Flip", )" + Fields +
                          R"(}, {"cmd": "WhileInit", "do": "t = t ++ \"done\""}])");
        ParamMan->Find("t")->SetAsStr("");
        shown_ = Bases->GetCurrentLayer();
        runner.Start(name);
    }
    static std::string Box(const std::string& Name) {
        return R"({"cmd": "BoxNew", "props": {"NAME": "\")" + Name + R"(\"", "WIDTH": "8", "HEIGHT": "8"}})";
    }
    // 0 when the control of that name is on the layer shown when the flip began, 1 on the other.
    int LayerOf(const std::string& Name) const {
        TVelaControl* c = Bases->FindControl(Name);
        return !c ? -1 : c->GetBase() == Bases->GetBase(shown_) ? 0 : 1;
    }

private:
    int pages_ = 0;
    int32_t shown_ = 0;
};

TEST_F(Flips, AWipeRunsForItsTimeAndNoWipeEndsOnTheThirdTick) {
    StartFlip(R"("wipe": "13", "time": "100")");
    Play(1);
    EXPECT_EQ(Bases->GetWipeType(), 13);
    EXPECT_EQ(Bases->GetTransitionLength(), 100);
    Play(7);  // the transition starts on the second tick and runs 100 ms of loop time
    EXPECT_EQ(Bases->GetCurrentLayer(), 0);
    EXPECT_EQ(Value("t"), "");
    Play(1);
    EXPECT_EQ(Bases->GetCurrentLayer(), 1);
    EXPECT_EQ(Bases->GetWipeType(), 0);
    EXPECT_EQ(Value("t"), "done");

    // A type outside the catalogue flips without a wipe, whatever its time.
    for (const char* type : {"0", "39"}) {
        SCOPED_TRACE(type);
        StartFlip(R"("wipe": ")" + std::string(type) + R"(", "time": "5000")");
        const int32_t before = Bases->GetCurrentLayer();
        Play(2);
        EXPECT_EQ(Bases->GetCurrentLayer(), before);
        Play(1);
        EXPECT_EQ(Bases->GetCurrentLayer(), before ^ 1);
        EXPECT_EQ(Value("t"), "done");
    }
}

TEST_F(Flips, KeepModeCarriesTheChosenObjectsOverASnapshot) {
    // Mode 1 carries the listed names (lines of any list entry), mode 0 all the others.
    StartFlip(R"("wipe": "1", "time": "64", "keep": "1", "names": ["\"a\r\nc\"", "\"x\""])");
    Play(1);
    EXPECT_EQ((std::vector{LayerOf("a"), LayerOf("b"), LayerOf("c")}), (std::vector{1, 0, 1}));
    EXPECT_EQ(LayerOf(SnapshotName), 0);
    Play(6);
    EXPECT_EQ(Value("t"), "done");
    EXPECT_EQ(Bases->FindControl(SnapshotName), nullptr);

    StartFlip(R"("wipe": "1", "time": "64", "keep": "0", "names": ["\"a\""])");
    Play(1);
    EXPECT_EQ((std::vector{LayerOf("a"), LayerOf("b"), LayerOf("c")}), (std::vector{0, 1, 1}));

    // Keep mode without a time starts no transition and ends at its first tick.
    StartFlip(R"("wipe": "1", "keep": "1", "names": ["\"b\""])");
    Play(1);
    EXPECT_EQ(Value("t"), "done");
    EXPECT_EQ((std::vector{LayerOf("a"), LayerOf("b"), LayerOf("c")}), (std::vector{0, 1, 0}));
    EXPECT_EQ(Bases->FindControl(SnapshotName), nullptr);
}

TEST_F(Flips, ClearingTheOldLayerSparesCabinetsUnlessTheFlipIsAborted) {
    AddPage("h.vsb", R"([{"cmd": "PCReset", "page": "end.vsb", "all": true}])");
    AddPage("end.vsb", R"([{"cmd": "WhileInit", "do": "t = \"end\""}])");
    auto* shelf = static_cast<TVelaControl*>(Bases->CreateObject(LT_CABINET));
    shelf->SetName("shelf");
    shelf->SetParent(Bases->GetBase(0));
    StartFlip(R"("wipe": "12", "time": "64", "clear": "TRUE")");
    Play(8);
    EXPECT_EQ(Value("t"), "done");
    EXPECT_EQ(Bases->FindControl("a"), nullptr);
    EXPECT_EQ(Bases->FindControl("shelf"), shelf);

    // An event handler resets the script while the flip runs: the flip completes at once.
    ParamMan->Find("t")->SetAsStr("");
    shelf->SetParent(Bases->GetBase(1));
    StartFlip(R"("wipe": "12", "time": "640", "clear": "TRUE")");
    Play(3);
    EXPECT_EQ(Bases->GetWipeType(), 12);
    Bases->GetEvents().Add(Bases->GetBase(1), "h.vsb", nullptr, 0);
    Play(1);
    EXPECT_EQ(Value("t"), "end");
    EXPECT_EQ(Bases->GetCurrentLayer(), 0);
    EXPECT_EQ(Bases->GetWipeType(), 0);
    EXPECT_EQ(Bases->FindControl("shelf"), nullptr);
    EXPECT_EQ(Bases->FindControl("a"), nullptr);
}

TEST_F(Flips, HeldEventsWaitForTheEndOfTheFlip) {
    AddPage("h.vsb", R"([{"cmd": "WhileInit", "do": "t = t ++ \"h\""}])");
    StartFlip(R"("wipe": "1", "time": "64", "hold": "TRUE")");
    Play(1);
    EXPECT_TRUE(runner.CurrentPage->Commands.GetItem(3).IsEventPoint());
    Bases->GetEvents().Add(Bases->GetBase(0), "h.vsb", nullptr, 0);
    Play(4);
    EXPECT_EQ(Value("t"), "");
    Play(2);
    EXPECT_EQ(Value("t"), "hdone");  // the handler runs as soon as the flip has ended

    // Not held, the handler runs while the flip goes on.
    StartFlip(R"("wipe": "1", "time": "64")");
    Play(1);
    Bases->GetEvents().Add(Bases->GetBase(0), "h.vsb", nullptr, 0);
    Play(1);
    EXPECT_EQ(Value("t"), "h");
}

TEST_F(Flips, AGameSavedMidFlipFinishesItAfterLoading) {
    StartFlip(R"("wipe": "1", "time": "3200", "keep": "1", "names": ["\"b\""], "clear": "TRUE", "hold": "TRUE")");
    Play(4);
    TMemoryStream saved;
    Bases->SaveToStream(saved);
    runner.SaveToStream(saved);
    saved.SetPosition(0);
    Bases->LoadFromStream(saved, GameSaveVersion);
    TCallMan loaded;
    loaded.LoadFromStream(saved, GameSaveVersion);
    EXPECT_TRUE(loaded.CanInterrupt());
    EXPECT_EQ(Bases->GetCurrentLayer(), 0);
    Play(2, loaded);
    EXPECT_EQ(Value("t"), "");
    Play(1, loaded);
    EXPECT_EQ(Value("t"), "done");
    EXPECT_EQ(Bases->GetCurrentLayer(), 1);
    EXPECT_EQ(LayerOf("b"), 1);
    EXPECT_EQ(Bases->FindControl("a"), nullptr);  // the old layer was cleared
}

TEST_F(Flips, AMaskThatCannotBeReadLeavesNoTransitionBehind) {
    AddFile("bad.png", "not a picture");
    StartFlip(R"("wipe": "19", "time": "100", "mask": "\"bad.png\"")");
    Play(1);
    EXPECT_TRUE(Terminating());  // the error ends the player
    EXPECT_EQ(Bases->GetTransitionLength(), 0);
    EXPECT_EQ(Bases->GetWipeType(), 0);
    Bases->Prepare();
    EXPECT_TRUE(RectIsEmpty(Bases->TransRect));
}

}  // namespace
