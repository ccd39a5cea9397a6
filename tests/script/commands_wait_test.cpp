// Waiting, event and run-control commands on pages written by vpage.py, run tick by tick.
#include "tests/script/page_fixture.h"

#include <cstring>

using namespace pagetest;

namespace {

class Waits : public CommandTest {
protected:
    // The saved state of the command at Index of the current page.
    std::string State(int Index) {
        TMemoryStream stream;
        runner.CurrentPage->Commands.GetItem(Index).SaveState(stream);
        return std::string(reinterpret_cast<const char*>(stream.Memory()), static_cast<size_t>(stream.Size()));
    }
    // The time left of the wait at Index.
    int32_t Left(int Index) {
        const std::string state = State(Index);
        int32_t left = -1;
        if (state.size() >= 11) std::memcpy(&left, state.data() + 7, 4);
        return left;
    }
};

const char* const WaitPage = R"([
    {"cmd": "WhileInit", "do": "t = t ++ \"a\""},
    {"cmd": "Wait", "time": "100"},
    {"cmd": "MovieStop", "name": "\"nobody\""},
    {"cmd": "WhileInit", "do": "t = t ++ \"b\""}])";

TEST_F(Waits, HundredMillisecondsAtSixteenEndOnTheEighthTick) {
    // Pages before 107 store no hold-events expressions.
    for (const char* version : {"106", "117"}) {
        SCOPED_TRACE(version);
        AddFile(version + std::string(".vsb"), VPage(R"({"version": )" + std::string(version) + R"(, "commands": )" + WaitPage + "}"));
        ParamMan->Find("t")->SetAsStr("");
        runner.Start(version + std::string(".vsb"));
        std::vector<int32_t> left;
        for (int tick = 1; tick <= 7; ++tick) {
            Ticks(1);
            left.push_back(Left(1));
        }
        EXPECT_EQ(left, (std::vector<int32_t>{100, 84, 68, 52, 36, 20, 4}));
        EXPECT_EQ(Value("t"), "a");
        Ticks(1);
        EXPECT_EQ(Value("t"), "ab");
    }
}

TEST_F(Waits, ConditionEndsTheWaitAtOnceAndNothingElseDoes) {
    AddPage("w.vsb", R"([
        {"cmd": "Wait", "cond": "go == 0", "time": "100000"},
        {"cmd": "WhileInit", "do": "t = \"done\""},
        {"cmd": "Wait"},
        {"cmd": "WhileInit", "do": "t = \"never\""}])");
    Var("go", PT_INT);
    runner.Start("w.vsb");
    Ticks(3);
    EXPECT_EQ(Value("t"), "");
    ParamMan->Find("go")->SetAsInt(1);
    Ticks(1);
    EXPECT_EQ(Value("t"), "done");
    host->Frame = 200;
    Ticks(10);
    EXPECT_EQ(Value("t"), "done");
    EXPECT_FALSE(Terminating());
}

TEST_F(Waits, EventStartsMidWaitAndReturnsToIt) {
    AddPage("w.vsb", WaitPage);
    AddPage("h.vsb", R"([{"cmd": "WhileInit", "do": "t = t ++ @Sender"}])");
    runner.Start("w.vsb");
    Ticks(2);
    objects->Post("h.vsb", objects->Add("btn"));
    Ticks(1);
    EXPECT_EQ(Value("t"), "abtn");
    EXPECT_EQ(Left(1), 68);  // the wait went on in the same tick, where it was
    Ticks(4);
    EXPECT_EQ(Value("t"), "abtn");
    Ticks(1);
    EXPECT_EQ(Value("t"), "abtnb");
}

TEST_F(Waits, WaitStateIsSavedAndLoadedBack) {
    AddPage("w.vsb", R"([{"cmd": "Wait", "time": "100", "hold": "TRUE"}, {"cmd": "WhileInit", "do": "t = t ++ \"b\""}])");
    AddPage("h.vsb", R"([{"cmd": "WhileInit", "do": "t = t ++ \"h\""}])");
    runner.Start("w.vsb");
    Ticks(3);
    EXPECT_EQ(State(0), "vela100" + U32(68) + U32(0) + '\1');
    TMemoryStream saved;
    runner.SaveToStream(saved);
    saved.SetPosition(0);
    // A runner of its own loads its own copy of the page.
    TCallMan loaded;
    loaded.LoadFromStream(saved, 135);
    EXPECT_TRUE(loaded.CanInterrupt());
    objects->Post("h.vsb");  // held off by the wait
    for (int tick = 0; tick < 4; ++tick) loaded.Run();
    EXPECT_EQ(Value("t"), "");
    loaded.Run();
    EXPECT_EQ(Value("t"), "hb");

    // A state without its header: the times only, events not held.
    TMemoryStream old;
    const std::string bytes = U32(30) + U32(1);
    old.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    old.SetPosition(0);
    runner.CurrentPage->Commands.GetItem(0).LoadState(old);
    EXPECT_EQ(State(0), "vela100" + U32(30) + U32(1) + '\0');
}

TEST_F(Waits, DoEventEndsTheTickAndTerminateStopsTheScript) {
    AddPage("w.vsb", R"([
        {"cmd": "WhileInit", "do": "t = t ++ \"a\""},
        {"cmd": "DoEvent"},
        {"cmd": "WhileInit", "do": "t = t ++ \"b\""},
        {"cmd": "Terminate"},
        {"cmd": "WhileInit", "do": "t = t ++ \"c\""}])");
    runner.Start("w.vsb");
    Ticks(1);
    EXPECT_EQ(Value("t"), "a");
    Ticks(2);
    EXPECT_EQ(Value("t"), "ab");
    EXPECT_TRUE(Terminating());
    EXPECT_EQ(host->Closes, 1);
}

TEST_F(Waits, PCResetLeavesTheHandler) {
    AddPage("m.vsb", R"([{"cmd": "Wait"}])");
    AddPage("h.vsb", R"([
        {"cmd": "PCReset", "page": "t.vsb", "pc": 1},
        {"cmd": "WhileInit", "do": "t = t ++ \"h\""}])");
    AddPage("all.vsb", R"([
        {"cmd": "PCReset", "page": "t.vsb", "pc": 1, "all": true},
        {"cmd": "WhileInit", "do": "t = t ++ \"h\""}])");
    AddPage("t.vsb", R"([
        {"cmd": "WhileInit", "do": "t = t ++ \"skipped\""},
        {"cmd": "WhileInit", "do": "t = t ++ \"T\""}])");
    struct {
        const char* Handler;
        bool SenderGone;
        const char* Want;
    } const cases[] = {
        // The handler goes on and returns to the target instead of the wait.
        {"h.vsb", false, "hT"},
        // The same when the handler's sender was deleted meanwhile.
        {"h.vsb", true, "hT"},
        // Everything goes, the pending event too: the target starts at once.
        {"all.vsb", false, "T"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Handler + std::string(c.SenderGone ? " gone" : ""));
        ParamMan->Find("t")->SetAsStr("");
        runner.Start("m.vsb");
        Ticks(1);
        const TObjectRef sender = objects->Add("btn");
        objects->Post(c.Handler, sender);
        objects->Post("none.vsb", sender);  // a handler page that is missing keeps it queued
        if (c.SenderGone) objects->Objects.erase(sender.Serial);
        Ticks(1);
        EXPECT_EQ(Value("t"), c.Want);
        EXPECT_EQ(runner.StackCount(), 0);
        EXPECT_EQ(runner.State, 0);
        EXPECT_EQ(objects->Queue.size(), c.Want == std::string("T") ? 0u : 1u);
        objects->Queue.clear();
    }
}

TEST_F(Waits, ResetClearsTheGameAndStartsAfresh) {
    AddPage("m.vsb", R"([{"cmd": "Reset", "page": "r.vsb"}])");
    AddPage("r.vsb", R"([{"cmd": "Wait"}])");
    objects->Add("btn");
    runner.Start("m.vsb");
    Log.clear();
    Ticks(1);
    EXPECT_EQ(Log, (std::vector<std::string>{"Clear", "ClearGameTables", "ClearHistoryFormats"}));
    EXPECT_EQ(ParamMan->Find("t"), nullptr);
    EXPECT_EQ(runner.CurrentPage->GetName(), "r.vsb");
    EXPECT_TRUE(runner.Begun);
}

TEST_F(Waits, MovieStopAndTheObjectCommands) {
    AddFile("bgm.ogg", "x");
    for (const char* name : {"snd", "menu", "se", "bgm", "cd", "gone"}) objects->Add(name);
    objects->Sources = {{"bgm", "bgm.ogg"}, {"cd", "CD_3"}, {"gone", "gone.ogg"}};
    objects->PlayStates = {{"bgm", 1}, {"cd", 0}, {"gone", 1}};
    AddPage("m.vsb", R"([
        {"cmd": "MediaPlay", "name": "\"snd\""},
        {"cmd": "MenuClose", "name": "\"menu\""},
        {"cmd": "MenuClose", "name": "\"nobody\""},
        {"cmd": "MovieStop", "name": "\"se\"", "wait": "TRUE"},
        {"cmd": "MovieStop", "name": "\"bgm\"", "fade": "500", "wait": "TRUE"},
        {"cmd": "MovieStop", "name": "\"cd\"", "fade": "300", "wait": "FALSE"},
        {"cmd": "MovieStop", "name": "\"gone\"", "fade": "300", "wait": "TRUE"},
        {"cmd": "MovieStop", "name": "\"nobody\"", "fade": "300", "wait": "TRUE"},
        {"cmd": "WhileInit", "do": "t = \"done\""}])");
    runner.Start("m.vsb");
    Log.clear();
    Ticks(2);
    EXPECT_EQ(Log, (std::vector<std::string>{"Play:snd", "SetPlayState:menu:3", "SetPlayState:se:2", "Delete:se",
                                             "SetDelay:bgm:500", "SetPlayState:bgm:3"}));
    // The faded object is watched (a wait ends the tick even when its record would go on).
    EXPECT_EQ(State(4), "vela100" + Str("bgm") + '\1' + '\0');
    EXPECT_EQ(Value("t"), "");
    Log.clear();
    objects->Objects.erase(objects->FindObject("bgm").Serial);
    Ticks(1);
    EXPECT_EQ(Log, (std::vector<std::string>{"SetDelay:cd:300", "SetPlayState:cd:3"}));
    EXPECT_EQ(Value("t"), "done");
    EXPECT_TRUE(host->Warnings.empty());
}

}  // namespace
