// Object, property and variable commands on pages written by vpage.py, over the player's object
// root and its kinds.
#include "objects/vitems.h"
#include "objects/vitems_kinds.h"
#include "script/services_objects.h"
#include "tests/script/scene_fixture.h"

#include <cmath>
#include <numbers>

using namespace pagetest;

namespace {

class Objects : public SceneCommandTest {
protected:
    // Runs a new page (the runner keeps pages it has read) for one tick.
    void Run(const std::string& Commands) {
        const std::string name = "p" + std::to_string(++pages_) + ".vsb";
        AddPage(name, Commands);
        runner.Start(name);
        Ticks(1);
    }
    static TVelaObject* Find(const std::string& Name) { return Bases->FindObject(Name); }

private:
    int pages_ = 0;
};

TEST_F(Objects, CreateSetReadAndDelete) {
    Bases->SetCurrentLayer(1);
    Run(R"([
        {"cmd": "BoxNew", "props": {"NAME": "\"a\"", "LEFT": "10", "TOP": "\"20\"", "COLOR": null, "ALPHA": "7"}},
        {"cmd": "BoxNew", "props": {"PR_NAME": "\"b\"", "PARENT": "\"a\"", "TAG": "3"}},
        {"cmd": "BoxNew", "props": {"NAME": "\"c\"", "PARENT": "\"missing\""}},
        {"cmd": "Timer", "props": {"NAME": "\"tm\""}},
        {"cmd": "SetProp", "object": "\"a\"", "prop": "3", "value": "\"5\""},
        {"cmd": "SetProp", "object": "\"a\"", "prop": "4"},
        {"cmd": "GetProp", "object": "\"b\"", "prop": "1", "dest": "t"},
        {"cmd": "ObjDel", "object": "\"c\""},
        {"cmd": "ObjDel", "object": "\"\""}])");
    EXPECT_FALSE(Terminating());
    auto* a = dynamic_cast<TVelaControl*>(Find("a"));
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->GetLeft(), 5);
    EXPECT_EQ(a->GetTop(), 20);  // no value leaves the property as it was
    EXPECT_EQ(a->GetColor(), -1);
    EXPECT_TRUE(a->GetVisible());
    EXPECT_EQ(a->GetParent(), Bases->GetBase(1));  // the parent expression gave nothing: the current layer
    EXPECT_EQ(Value("t"), "a");
    EXPECT_EQ(Find("b")->GetTag(), "3");
    EXPECT_EQ(Find("c"), nullptr);  // deleted
    EXPECT_EQ(Find("tm")->GetParent(), nullptr);  // no parent in the record: directly under the root
    EXPECT_EQ(Bases->GetObjectCount(), 3);  // "c", made and deleted by the page, is freed already
    // The script's view of the root is the root.
    TObjectRef ref = ScriptObjects().FindObject("b");
    EXPECT_EQ(ScriptObjects().ObjectName(ref), "b");
    ScriptObjects().Delete(ref);
    Bases->Step();
    EXPECT_FALSE(ScriptObjects().IsLive(ref));
}

// A page creating an object of a kind the player does not have is refused when it loads, as one
// holding any other command the player cannot run; the kinds it has are the registered ones.
TEST_F(Objects, APageCreatingAKindNotBuiltIsRefusedAtLoad) {
    RegisterObjectKind(LT_EDIT, nullptr);  // as a player without the kind
    for (const std::string command : {"EditNew"}) {
        AddPage(command + ".vsb", R"([{"cmd": ")" + command + R"(", "props": {"NAME": "\"x\""}}])");
        EXPECT_EQ(ErrorOf([&] { runner.Start(command + ".vsb"); }), command + ":未対応のコマンドです");
    }
    RegisterObjectKind(LT_EDIT, [](TVelaBaseList& Owner) -> TVelaObject* { return new TVelaBox(&Owner); });
    AddPage("made.vsb", R"([{"cmd": "EditNew", "props": {"NAME": "\"m\""}},
                            {"cmd": "Sound", "props": {"NAME": "\"s\""}},
                            {"cmd": "MesNew", "props": {"NAME": "\"w\""}}])");
    runner.Start("made.vsb");
    Ticks(1);
    EXPECT_NE(Find("m"), nullptr);
    EXPECT_EQ(Find("w")->GetCompoType(), LT_MES);
    EXPECT_EQ(Find("s")->GetCompoType(), LT_SOUND);
}

TEST_F(Objects, CreationFreesTheOlderHolderOfTheNameWhereRenamingKeepsIt) {
    Run(R"([{"cmd": "BoxNew", "props": {"NAME": "\"a\"", "LEFT": "1"}},
            {"cmd": "BoxNew", "props": {"NAME": "\"a\"", "LEFT": "2"}},
            {"cmd": "BoxNew", "props": {"NAME": "\"b\"", "LEFT": "3"}},
            {"cmd": "SetProp", "object": "\"b\"", "prop": "0", "value": "\"a\""}])");
    EXPECT_FALSE(Terminating());
    Bases->Step();
    EXPECT_EQ(Find("a")->GetLeft(), 3);
    EXPECT_EQ(Find("a_2")->GetLeft(), 2);
    EXPECT_EQ(Bases->GetObjectCount(), 2);
}

// An object deleted or replaced by the command that made it, or by a later one of the same run,
// is freed when that command ends: a loop that makes and deletes objects without waiting keeps
// only those it names. An object a step has seen, or one with an event still queued, waits for
// the end of the root's step as before.
TEST_F(Objects, WhatOnlyTheScriptSawIsFreedAsSoonAsItIsDeleted) {
    TVelaObject* seen = Bases->CreateObject(LT_BOX);
    seen->SetName("seen");
    Bases->Step();
    TVelaObject* queued = Bases->CreateObject(LT_BOX);
    queued->SetName("queued");
    Bases->GetEvents().Add(queued, "nopage.vsb", nullptr, PR_ONNOTIFY);  // never starts: no such page
    const TObjectRef seenRef = seen->Ref(), queuedRef = queued->Ref();
    Var("i", PT_INT);
    Run(R"([
        {"cmd": "ObjDel", "object": "\"seen\""},
        {"cmd": "ObjDel", "object": "\"queued\""},
        {"cmd": "WhileInit", "do": "i = 0"},
        {"cmd": "Label", "name": "top"},
        {"cmd": "While", "cond": "i < 3000", "exit": "done"},
        {"cmd": "BoxNew", "props": {"NAME": "\"kept\""}, "indent": 1},
        {"cmd": "BoxNew", "props": {"NAME": "\"gone\""}, "indent": 1},
        {"cmd": "ObjDel", "object": "\"gone\"", "indent": 1},
        {"cmd": "WhileLoop", "do": "i = i + 1", "head": "top"},
        {"cmd": "Label", "name": "done"}])");
    EXPECT_EQ(Value("i"), "3000");
    EXPECT_EQ(Bases->GetObjectCount(), 3);
    EXPECT_NE(Find("kept"), nullptr);
    EXPECT_TRUE(Bases->IsLive(seenRef));
    EXPECT_TRUE(Bases->IsLive(queuedRef));
    Bases->Step();
    EXPECT_EQ(Bases->GetObjectCount(), 1);
    EXPECT_FALSE(Bases->IsLive(seenRef));
    EXPECT_FALSE(Bases->IsLive(queuedRef));
}

// Deleting an object clears its own name only: what lies under it stays reachable by name until
// the step, and what the script makes under that goes with it.
TEST_F(Objects, ADeletedParentsChildrenKeepTheirNamesUntilTheStep) {
    Var("e", PT_INT);
    Var("n", PT_STR);
    Run(R"js([{"cmd": "BoxNew", "props": {"NAME": "\"p\"", "WIDTH": "10", "HEIGHT": "10"}},
            {"cmd": "BoxNew", "props": {"NAME": "\"c\"", "PARENT": "\"p\"", "WIDTH": "10", "HEIGHT": "10"}},
            {"cmd": "ObjDel", "object": "\"p\""},
            {"cmd": "Calc", "do": "e = Exists(\"c\")"},
            {"cmd": "BoxNew", "props": {"NAME": "\"d\"", "PARENT": "\"c\"", "WIDTH": "10", "HEIGHT": "10",
                                        "COLOR": "0x0000FF"}},
            {"cmd": "GetProp", "object": "\"d\"", "prop": "1", "dest": "n"}])js");
    EXPECT_EQ(Value("e"), "1");
    EXPECT_EQ(Value("n"), "c");  // its parent
    Bases->Step();
    for (const char* name : {"p", "c", "d"}) EXPECT_EQ(Find(name), nullptr) << name;
    EXPECT_EQ(Bases->GetObjectCount(), 0);
    Bases->Prepare();
    EXPECT_NE(Bases->GetSurface()->GetPixel(5, 5) & 0xFFFFFF, 0xFF0000u);
}

// A box made without a name (or with an empty one) takes the automatic name and is drawn beside
// a named one; colours are 0x00BBGGRR, the screen's pixels 0x00RRGGBB.
TEST_F(Objects, UnnamedBoxesTakeTheAutomaticNameAndAreDrawn) {
    Run(R"js([{"cmd": "BoxNew", "props": {"LEFT": "0", "WIDTH": "10", "HEIGHT": "10", "COLOR": "0xFF0000"}},
            {"cmd": "BoxNew", "props": {"NAME": "\"green\"", "LEFT": "20", "WIDTH": "10", "HEIGHT": "10",
                                        "COLOR": "0x00FF00"}},
            {"cmd": "BoxNew", "props": {"NAME": "\"\"", "LEFT": "40", "WIDTH": "10", "HEIGHT": "10",
                                        "COLOR": "0x0000FF"}},
            {"cmd": "Calc", "do": "CreateObject(2, \"\")"}])js");
    Bases->Prepare();
    const TCustomDIBX& screen = *Bases->GetSurface();
    EXPECT_EQ(screen.GetPixel(5, 5) & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(screen.GetPixel(25, 5) & 0xFFFFFF, 0x00FF00u);
    EXPECT_EQ(screen.GetPixel(45, 5) & 0xFFFFFF, 0xFF0000u);
    for (const char* name : {"object0", "object1", "object2"}) ASSERT_NE(Find(name), nullptr) << name;
    EXPECT_EQ(Find("object0")->GetLeft(), 0);
    EXPECT_EQ(Find("object1")->GetLeft(), 40);
    EXPECT_EQ(Find("object2")->GetCompoType(), LT_BOX);
}

TEST_F(Objects, PropertyIdWithoutValueIsAnError) {
    Run(R"([{"cmd": "BoxNew", "props": {"NAME": "\"a\""}},
            {"cmd": "SetProp", "object": "\"a\"", "prop": null, "value": "1"},
            {"cmd": "Calc", "do": "t = \"after\""}])");
    EXPECT_TRUE(Terminating());
    EXPECT_EQ(Value("t"), "");
}

TEST_F(Objects, PropertyMotionIsMadeNamedFilledAndPaused) {
    Run(R"([{"cmd": "BoxNew", "props": {"NAME": "\"box\"", "LEFT": "10", "TOP": "20"}},
            {"cmd": "PropMotion", "name": "\"m\"", "object": "\"box\"", "prop": "3", "value": "110.5",
             "time": "1000", "type": "258"},
            {"cmd": "PropMotion", "name": "\"p\"", "object": "\"box\"", "prop": "4", "value": "0",
             "time": "1000", "paused": "1"},
            {"cmd": "PropMotion", "prop": "5"}])");
    EXPECT_FALSE(Terminating());
    TVelaObject* motion = Find("m");
    ASSERT_NE(motion, nullptr);
    EXPECT_EQ(motion->GetCompoType(), LT_PROPMOTION);
    EXPECT_EQ(motion->GetParent(), nullptr);
    EXPECT_TRUE(Find("p")->GetPaused());
    EXPECT_FALSE(Find("p")->GetPlaying());
    EXPECT_TRUE(motion->GetPlaying());
    EXPECT_EQ(Bases->GetObjectCount(), 4);  // the box, the two motions and one named "object<n>"
    // The motion without an object animates the current layer's width; without a duration it
    // writes the start value, then the end value 0.
    host->Frame = 250;
    Bases->Step();
    EXPECT_EQ(Bases->GetBase(0)->GetWidth(), 64);
    Bases->Step();
    EXPECT_EQ(Bases->GetBase(0)->GetWidth(), 0);
    EXPECT_EQ(Bases->GetObjectCount(), 3);
    TVelaObject* box = Find("box");
    EXPECT_EQ(box->GetLeft(), int32_t(10 + 100.5 * std::sin(std::numbers::pi / 8)));  // easing 258 is 2
    EXPECT_EQ(box->GetTop(), 20);  // its motion is paused
}

TEST_F(Objects, PropertyMotionWithoutAPropertyIdIsAnError) {
    AddPage("bad.vsb", R"([{"cmd": "PropMotion", "name": "\"m\"", "prop": null, "value": "1"}])");
    TPage* page = runner.GetPage("bad.vsb", true);
    int32_t pc = 0;
    try {
        page->Commands.GetItem(0).Execute(runner, page, pc);
        FAIL();
    } catch (const EVelaError& e) {
        EXPECT_STREQ(e.what(), "プロパティ指定が不正です");
    }
    EXPECT_EQ(pc, 1);
    ASSERT_NE(Find("m"), nullptr);  // made and named before the id: it ends at its first step
    Bases->Step();
    EXPECT_EQ(Find("m"), nullptr);
}

TEST_F(Objects, CabinetsParkAndReturnTheSelectedObjectsOfTheBackLayer) {
    Run(R"([{"cmd": "BoxNew", "props": {"NAME": "\"x\"", "PARENT": "\"\u0001\""}},
            {"cmd": "BoxNew", "props": {"NAME": "\"y\"", "PARENT": "\"\u0001\""}},
            {"cmd": "SaveCabinet", "props": {"NAME": "\"empty\""}, "names": ["\"nobody\""]},
            {"cmd": "SaveCabinet", "props": {"NAME": "\"cab\""}, "mode": "TRUE", "names": ["\"y\""]},
            {"cmd": "LoadCabinet", "props": {"NAME": "\"cab\""}, "mode": "TRUE"}])");
    EXPECT_FALSE(Terminating());
    EXPECT_EQ(Find("empty"), nullptr);  // selected nothing: deleted again
    EXPECT_EQ(Find("cab"), nullptr);    // emptied by the load
    EXPECT_EQ(Find("x")->GetParent(), Bases->GetBase(1));
    EXPECT_EQ(Find("y")->GetParent(), Bases->GetBase(1));

    Run(R"([{"cmd": "SaveCabinet", "props": {"NAME": "\"cab\""}, "names": ["\"x\""]}])");
    ASSERT_NE(Find("cab"), nullptr);
    EXPECT_EQ(Find("x")->GetParent(), Find("cab"));
    EXPECT_EQ(Find("cab")->GetParent(), Bases->GetBase(0));
}

TEST_F(Objects, VariablesAreDeclaredRedeclaredAndDeleted) {
    AddPage("sub.vsb", R"([{"cmd": "VarNew", "name": "g", "value": "5", "scope": "local"},
                           {"cmd": "Calc", "do": "t = t ++ g"}])");
    Run(R"([{"cmd": "VarNew", "name": "g", "value": "1"},
            {"cmd": "VarNew", "name": "n", "type": "int", "value": "\"7\""},
            {"cmd": "VarNew", "name": "n", "type": "int", "value": "8"},
            {"cmd": "VarNew", "name": "s", "type": "str", "value": "1", "scope": "status"},
            {"cmd": "VarNew", "name": "s", "type": "str", "value": "2", "scope": "status"},
            {"cmd": "VarNew", "name": "f", "type": "float", "scope": "auto"},
            {"cmd": "Calc", "do": "t = n ++ s ++ f"},
            {"cmd": "VarDel", "name": "n"},
            {"cmd": "VarDel", "name": "@Result"},
            {"cmd": "GetProp", "object": "\"\"", "prop": "3", "dest": "missing"},
            {"cmd": "Call", "page": "sub.vsb"}])");
    Ticks(2);
    EXPECT_FALSE(Terminating());
    EXPECT_EQ(Value("t"), "8105");
    EXPECT_EQ(ParamMan->Find("n"), nullptr);
    EXPECT_NE(ParamMan->Find("@Result"), nullptr);
    EXPECT_EQ(ParamMan->Find("missing"), nullptr);
    EXPECT_EQ(ParamMan->Find("g")->GetAsInt(), 1);
    EXPECT_TRUE(ParamMan->Find("s")->IsStatus());

    Run(R"([{"cmd": "VarNew", "name": ""}])");
    EXPECT_TRUE(Terminating());
}

}  // namespace
