#include "script/callman.h"

#include "tests/script/page_fixture.h"

using namespace pagetest;

namespace {

using Strings = std::vector<std::string>;

class Runner : public PageTest {
protected:
    void SetUp() override {
        PageTest::SetUp();
        state.SetRunner(&runner);
    }
    // Runs one tick; what the commands did in it.
    Strings Tick(TCallMan& R) {
        Log.clear();
        R.Run();
        return Log;
    }
    Strings Tick() { return Tick(runner); }
    std::string Value(const std::string& Name) { return ParamMan->Find(Name)->GetAsStr(); }

    TCallMan runner;
};

TEST_F(Runner, CallAndReturnWithResults) {
    AddPage("m.vsb", TPageWriter().Call("s.vsb", "r", {"a", "b"}).Call("f.vsb", "n").Calc("depth = @StackCount").Note("end"));
    TPageWriter sub;
    sub.ReturnType = PT_STR;
    AddPage("s.vsb", sub.Calc("seen = @ParamStr[1]").Calc("inner = @StackCount").Calc(R"(@Result = "say \"hi\"")"));
    TPageWriter real;
    real.ReturnType = PT_FLOAT;
    AddPage("f.vsb", real.Calc("@Result = 3.7"));
    Var("seen", PT_STR), Var("inner", PT_INT), Var("n", PT_INT), Var("depth", PT_INT).SetAsInt(9);

    runner.Start("m.vsb");
    EXPECT_EQ(Tick(), (Strings{"begin:end", "exec:end"}));
    // A missing result variable is made as a string holding the value as it is.
    ASSERT_NE(ParamMan->Find("r"), nullptr);
    EXPECT_EQ(ParamMan->Find("r")->GetParamType(), PT_STR);
    EXPECT_EQ(Value("r"), "say \"hi\"");
    EXPECT_EQ(Value("n"), "3");  // an existing one takes the value in its own type
    EXPECT_EQ(Value("seen") + Value("inner") + Value("depth"), "b10");
    EXPECT_EQ(runner.GetArgCount(), 0);
    EXPECT_EQ(ParamMan->Find("@Result")->GetParamType(), PT_NONE);
    // The page has ended with nothing to return to: nothing more runs.
    EXPECT_FALSE(runner.StepOn);
    EXPECT_EQ(Tick(), Strings{});
}

TEST_F(Runner, EventStartsDuringAWaitAndReturnsToIt) {
    host->Trace = true;
    AddPage("m.vsb", TPageWriter().Note("a").Wait(3).Note("b"));
    AddPage("h.vsb", TPageWriter().Note("x").Note("lbl").Calc("who = @Sender").Calc("arg = @ParamStr[0]"));
    Var("who", PT_STR), Var("arg", PT_STR);

    runner.Start("m.vsb");
    EXPECT_EQ(Tick(), (Strings{"begin:a", "exec:a", "wait:3"}));
    objects->Post("h.abc:lbl", objects->Add("btn")).Args.Add("p0");
    // The handler runs from its label, then the wait goes on where it was.
    EXPECT_EQ(Tick(), (Strings{"begin:lbl", "exec:lbl", "wait:2"}));
    EXPECT_EQ(Value("who") + Value("arg"), "btnp0");
    EXPECT_EQ(objects->Cleared, std::vector<int32_t>{1});
    EXPECT_TRUE(objects->Queue.empty());
    EXPECT_EQ(runner.GetSenderName(), "");
    EXPECT_NE(std::find(host->Lines.begin(), host->Lines.end(), "00000000 : <Event>h.vsb(2)"), host->Lines.end());
    EXPECT_EQ(Tick(), Strings{"wait:1"});
    EXPECT_EQ(Tick(), Strings{"wait:0"});
    EXPECT_EQ(Tick(), (Strings{"begin:b", "exec:b"}));
}

TEST_F(Runner, EventsWaitWhileTheCommandHoldsThemOrTheirPageIsMissing) {
    AddPage("m.vsb", TPageWriter().Wait(1, true).Note("b"));
    AddPage("h.vsb", TPageWriter().Note("x"));
    runner.Start("m.vsb");
    EXPECT_EQ(Tick(), Strings{"wait:1"});
    objects->Post("h.vsb");
    EXPECT_EQ(Tick(), Strings{"wait:0"});
    EXPECT_EQ(Tick(), (Strings{"begin:x", "exec:x", "begin:b", "exec:b"}));

    objects->Post("none.vsb");
    EXPECT_EQ(Tick(), Strings{});
    ASSERT_EQ(objects->Queue.size(), 1u);
    EXPECT_EQ(objects->Queue[0].Level, 0);

    // A handler page that is there but cannot be read: the error passes on once and the event
    // goes; the one behind it runs at the next tick.
    objects->Queue.clear();
    AddFile("bad.vsb", std::string("\x75\0\0\0\1", 5));
    objects->Post("bad.vsb");
    objects->Post("h.vsb");
    EXPECT_THROW(runner.Run(), EPageError);
    ASSERT_EQ(objects->Queue.size(), 1u);
    EXPECT_EQ(objects->Queue[0].Handler, "h.vsb");
    EXPECT_EQ(Tick(), (Strings{"begin:x", "exec:x"}));
    EXPECT_EQ(runner.StackCount(), 0);
    // Its next events go without the page being read again, until the archives change.
    objects->Post("bad.vsb");
    EXPECT_EQ(Tick(), Strings{});
    EXPECT_TRUE(objects->Queue.empty());
    VrFileManager->SetBaseFolder(VrFileManager->BaseFolder());
    objects->Post("bad.vsb");
    EXPECT_THROW(runner.Run(), EPageError);
}

TEST_F(Runner, NestedEventStartsAtAnEventPoint) {
    AddPage("m.vsb", TPageWriter().Wait(10));
    AddPage("h1.vsb", TPageWriter().Note("h1").Wait(1).Note("h1end"));
    AddPage("h2.vsb", TPageWriter().Note("h2"));
    runner.Start("m.vsb");
    EXPECT_EQ(Tick(), Strings{"wait:10"});
    objects->Post("h1.vsb");
    objects->Post("h2.vsb");
    EXPECT_EQ(Tick(), (Strings{"begin:h1", "exec:h1", "wait:1"}));
    EXPECT_EQ(runner.State, 2);
    EXPECT_EQ(Tick(), (Strings{"begin:h2", "exec:h2", "wait:0"}));
    EXPECT_EQ(Tick(), (Strings{"begin:h1end", "exec:h1end", "wait:9"}));
    EXPECT_EQ(objects->Cleared, (std::vector<int32_t>{2, 1}));
}

// A restart deep in nested handlers removes every taken event at once, those a save left at a
// level no handler runs at too; pending ones stay.
TEST_F(Runner, StartRemovesEveryTakenEventAndKeepsThePendingOnes) {
    AddPage("m.vsb", TPageWriter().Note("a"));
    for (const int32_t level : {0, 1, 2, 500, -1, 0}) objects->Post("h.vsb").Level = level;
    runner.Level = 600;
    runner.Start("m.vsb");
    EXPECT_EQ(runner.Level, 2);
    ASSERT_EQ(objects->Queue.size(), 2u);
    EXPECT_EQ(objects->Queue[0].Level, 0);
    EXPECT_EQ(objects->Queue[1].Level, 0);
    EXPECT_TRUE(objects->Cleared.empty());
}

TEST_F(Runner, PageCacheFreesTheLeastRecentlyUsedPageButNoneInUse) {
    auto name = [](int I) { return "p" + std::to_string(I) + ".vsb"; };
    for (int i = 0; i <= 33; ++i) AddPage(name(i), TPageWriter());
    auto cached = [&](int I) {
        for (int k = 0; k < runner.PageCount(); ++k)
            if (runner.GetItem(k).GetName() == name(I)) return true;
        return false;
    };
    runner.Start(name(0));
    runner.Stack.Push().PageName = name(2);
    for (int i = 1; i <= 30; ++i) runner.GetPage(name(i), true);
    EXPECT_EQ(runner.PageCount(), 31);  // the current page stays beyond the 30th place
    runner.GetPage(name(31), true);
    EXPECT_FALSE(cached(1));
    runner.GetPage(name(5), true);  // used again: moves to the front
    runner.GetPage(name(32), true);
    runner.GetPage(name(33), true);  // frees p3, passing over p0 (current) and p2 (a frame's)
    EXPECT_TRUE(cached(0) && cached(2) && cached(4) && cached(5));
    EXPECT_FALSE(cached(3));
    EXPECT_EQ(runner.PageCount(), 32);
}

// A command that neither moves on nor ends the tick takes one step a tick, in code and in a
// handler; a failing one ends the player, telling where.
TEST_F(Runner, AnUnchangedCommandWaitsForTheNextTickAndAFailingOneEndsThePlayer) {
    AddPage("s.vsb", TPageWriter().Note("stay"));
    AddPage("h.vsb", TPageWriter().Note("stay"));
    runner.Start("s.vsb");
    EXPECT_EQ(Tick(), (Strings{"begin:stay", "exec:stay"}));
    EXPECT_EQ(Tick(), Strings{"exec:stay"});
    objects->Post("h.vsb");
    EXPECT_EQ(Tick(), (Strings{"begin:stay", "exec:stay"}));
    EXPECT_EQ(runner.State, 1);
    EXPECT_EQ(Tick(), Strings{"exec:stay"});
    EXPECT_FALSE(Terminating());
    EXPECT_TRUE(host->Warnings.empty());

    AddPage("f.vsb", TPageWriter().Note("a").Note("fail").Note("b"));
    runner.Start("f.vsb");
    EXPECT_EQ(Tick(), (Strings{"begin:a", "exec:a", "begin:fail"}));
    EXPECT_TRUE(Terminating());
    EXPECT_EQ(host->Warnings, Strings{"f.vsb(2):boom"});
    EXPECT_EQ(host->Closes, 1);
    EXPECT_EQ(Tick(), Strings{});
}

TEST_F(Runner, SaveWhileAHandlerWaitsAndLoadBack) {
    AddPage("m.vsb", TPageWriter().Wait(5));
    AddPage("h.vsb", TPageWriter().Wait(3));
    runner.Start("m.vsb");
    Tick();
    const TObjectRef button = objects->Add("btn");
    objects->Post("h.vsb", button).Args.Add("p0");
    EXPECT_EQ(Tick(), Strings{"wait:3"});
    TMemoryStream saved;
    runner.SaveToStream(saved);
    const std::string bytes(reinterpret_cast<const char*>(saved.Memory()), static_cast<size_t>(saved.Size()));

    TCallMan loaded;
    saved.SetPosition(0);
    loaded.LoadFromStream(saved, GameSaveVersion);
    EXPECT_EQ(saved.Remaining(), 0);
    EXPECT_EQ(loaded.State, 2);
    EXPECT_EQ(loaded.Level, 2);
    EXPECT_EQ(loaded.GetSenderName() + loaded.GetArg(0), "btnp0");
    ASSERT_EQ(loaded.StackCount(), 1);
    for (const char* expected : {"wait:2", "wait:1", "wait:0", "wait:4"}) EXPECT_EQ(Tick(loaded), Strings{expected});

    // A sender that is gone, even with a new object of its name, is no sender.
    objects->Objects.erase(button.Serial);
    objects->Add("btn");
    EXPECT_EQ(runner.GetSenderName(), "");

    // Cut short, and with State 9.
    for (const std::string& broken : {bytes.substr(0, bytes.size() - 1), bytes.substr(0, 15) + '\x09' + bytes.substr(16)}) {
        TMemoryStream stream;
        stream.WriteBuffer(broken.data(), static_cast<int64_t>(broken.size()));
        stream.SetPosition(0);
        EXPECT_THROW(TCallMan().LoadFromStream(stream, GameSaveVersion), EReadError);
    }
}

}  // namespace
