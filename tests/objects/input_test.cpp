#include "objects/vitems.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace {

// A control with every pointer and key handler set to "<kind>", so each queued record names
// the kind that raised it.
class TPad : public TVelaControl {
public:
    explicit TPad(TVelaBaseList* O) : TVelaControl(O) {
        for (auto set : {&TPad::SetOnlbtndown, &TPad::SetOnlbtnup, &TPad::SetOnrbtndown, &TPad::SetOnrbtnup,
                         &TPad::SetOnmousein, &TPad::SetOnmouseout, &TPad::SetOnmousemove, &TPad::SetOnwheeldown,
                         &TPad::SetOnwheelup, &TPad::SetOnkeydown, &TPad::SetOnkeyup, &TPad::SetOnkeyrepeat,
                         &TPad::SetOnfocusin, &TPad::SetOnfocusout})
            (this->*set)("h");
    }
    void DoMouseHold() override { ++Holds; }
    int Holds = 0;
};

struct Ev {
    std::string Sender;
    int Kind;
    std::vector<std::string> Args;
    bool operator==(const Ev&) const = default;
};
void PrintTo(const Ev& E, std::ostream* Os) {
    *Os << E.Sender << ":" << E.Kind;
    for (const std::string& a : E.Args) *Os << "," << a;
}

class Input : public ::testing::Test {
protected:
    void SetUp() override {
        VelaInitialize();
        Bases->SetWidth(320);
        Bases->SetHeight(240);
        Layer = Bases->GetBase(0);
    }
    void TearDown() override { VelaFinalize(); }

    TPad* Pad(TVelaControl* Parent, const char* Name, TRect R) {
        auto* pad = new TPad(Bases);
        pad->SetName(Name);
        pad->SetParent(Parent);
        pad->SetBounds(R.Left, R.Top, R.Right - R.Left, R.Bottom - R.Top);
        return pad;
    }
    // One tick: input step, then the runner takes (and here drops) every queued event.
    std::vector<Ev> Tick(uint32_t Advance = 10) {
        Clock += Advance;
        Bases->Update(Clock);
        std::vector<Ev> out;
        TTimerList& q = Bases->GetEvents();
        for (int i = 0; i < q.Count(); ++i) {
            const TTimerData* e = q.Items(i);
            Ev ev{Bases->IsLive(e->Sender) ? e->Sender.Object->GetName() : "?", e->Kind, {}};
            for (int a = 0; a < e->Args.Count(); ++a) ev.Args.push_back(e->Args.Strings(a));
            out.push_back(ev);
        }
        q.Clear();
        return out;
    }
    void Move(int X, int Y) { Layer->SetMousePos({X, Y}); }
    void Press() { Layer->LeftHeld = Layer->LeftLatch = true; }
    void Release() { Layer->LeftHeld = false; }

    TVelaBase* Layer = nullptr;
    uint32_t Clock = 0;
};

TEST_F(Input, ClickLandsOnTheChildOverItsParentAndReleaseFollowsTheCapture) {
    TPad* parent = Pad(Layer, "parent", {10, 10, 110, 110});
    TPad* child = Pad(parent, "child", {20, 20, 40, 40});  // at 30..50 on the screen
    Move(35, 45);
    Tick();  // entry and move
    Press();
    EXPECT_EQ(Tick(), (std::vector<Ev>{{"child", PR_ONLBTNDOWN, {"5", "15"}}}));
    EXPECT_FALSE(Layer->GetLeftClicked());
    // Held and dragged over the parent: only the captured child hears of it.
    Move(15, 15);
    EXPECT_EQ(Tick(), (std::vector<Ev>{{"child", PR_ONMOUSEMOVE, {"-15", "-15"}}}));
    Move(200, 200);
    Release();
    EXPECT_EQ(Tick(), (std::vector<Ev>{{"child", PR_ONLBTNUP, {"170", "170"}}, {"child", PR_ONMOUSEMOVE, {"170", "170"}}}));
    EXPECT_EQ(child->Holds, 2);
    // Free again: out of the child, onto the bare layer.
    EXPECT_EQ(Tick(), (std::vector<Ev>{{"child", PR_ONMOUSEOUT, {}}}));
}

TEST_F(Input, HoverInMoveOutAndOneEntryWhileItIsPending) {
    Pad(Layer, "a", {0, 0, 50, 50});
    Pad(Layer, "b", {100, 0, 150, 50});
    Move(10, 10);
    EXPECT_EQ(Tick(), (std::vector<Ev>{{"a", PR_ONMOUSEIN, {}}, {"a", PR_ONMOUSEMOVE, {"10", "10"}}}));
    EXPECT_EQ(Tick(), std::vector<Ev>{});  // resting: nothing
    Move(110, 20);
    EXPECT_EQ(Tick(), (std::vector<Ev>{{"a", PR_ONMOUSEOUT, {}}, {"b", PR_ONMOUSEIN, {}}, {"b", PR_ONMOUSEMOVE, {"10", "20"}}}));

    // The bare layer is entered on every step; its pending entry is not queued again.
    Layer->SetOnmousein("layer");
    Move(300, 200);
    for (int i = 0; i < 5; ++i) Bases->Update(Clock += 10);
    EXPECT_EQ(Bases->GetEvents().Count(), 2);  // b's exit, one entry of the layer
    EXPECT_EQ(Bases->GetEvents().IndexOf(Layer, PR_ONMOUSEIN), 1);
}

TEST_F(Input, EntriesAndExitsHeldInTheQueueKeepTheirOrder) {
    Pad(Layer, "a", {0, 0, 50, 50});
    Move(10, 10);
    Bases->Update(Clock += 10);
    Move(100, 10);
    Bases->Update(Clock += 10);
    Move(20, 10);
    EXPECT_EQ(Tick(), (std::vector<Ev>{{"a", PR_ONMOUSEIN, {}}, {"a", PR_ONMOUSEMOVE, {"10", "10"}},
                                       {"a", PR_ONMOUSEOUT, {}}, {"a", PR_ONMOUSEIN, {}}}));
}

TEST_F(Input, IgnoredLeftPressFallsThroughAndStaysVisible) {
    TPad* under = Pad(Layer, "under", {0, 0, 100, 100});
    TPad* over = Pad(under, "over", {0, 0, 50, 50});
    over->SetIgnoremouse(IM_LCLICK);
    Move(10, 10);
    Tick();
    Press();
    EXPECT_EQ(Tick(), (std::vector<Ev>{{"under", PR_ONLBTNDOWN, {"10", "10"}}, {"over", PR_ONMOUSEOUT, {}},
                                       {"under", PR_ONMOUSEIN, {}}, {"under", PR_ONMOUSEMOVE, {"10", "10"}}}));
    Release();
    Tick();
    // Bare layer: nothing takes the press.
    Move(200, 200);
    Tick();
    Press();
    Tick();
    EXPECT_TRUE(Layer->GetLeftClicked());
}

TEST_F(Input, WheelGoesToTheObjectUnderThePointer) {
    Pad(Layer, "a", {0, 0, 50, 50});
    Move(5, 5);
    Tick();
    Layer->WheelDownLatch = true;
    EXPECT_EQ(Tick(), (std::vector<Ev>{{"a", PR_ONWHEELDOWN, {}}}));
    Layer->WheelUpLatch = true;
    EXPECT_EQ(Tick(), (std::vector<Ev>{{"a", PR_ONWHEELUP, {}}}));
    EXPECT_EQ(Tick(), std::vector<Ev>{});
}

TEST_F(Input, KeyDownRepeatsAfter300ThenEvery50AndGoesUpOnce) {
    TPad* pad = Pad(Layer, "pad", {0, 0, 10, 10});
    TPad* other = Pad(Layer, "other", {20, 0, 30, 10});
    other->SetHandlekey(true);
    pad->SetHandlekey(true);
    Move(300, 200);
    EXPECT_EQ(Tick(), (std::vector<Ev>{{"pad", PR_ONFOCUSIN, {}}}));  // the last control that takes keys
    Bases->SetKeyState(65, true);
    Bases->SetKeyLatch(65, true);
    Bases->SetKeyState(66, true);
    EXPECT_EQ(Tick(), (std::vector<Ev>{{"pad", PR_ONKEYDOWN, {"65", "66"}}, {"pad", PR_ONKEYREPEAT, {"65", "66"}}}));
    EXPECT_TRUE(Bases->GetKeyPressed(65));
    EXPECT_FALSE(Bases->GetKeyPressed(66));
    Bases->SetKeyState(66, false);
    EXPECT_EQ(Tick(), (std::vector<Ev>{{"pad", PR_ONKEYUP, {"66"}}}));
    std::vector<uint32_t> repeats;
    while (Clock < 420)
        for (const Ev& e : Tick())
            if (e.Kind == PR_ONKEYREPEAT) repeats.push_back(Clock);
    // Down before the tick at 20, whose 10 ms already count: the countdown runs out at 310 and
    // is heard the tick after, then every 50 ms.
    EXPECT_EQ(repeats, (std::vector<uint32_t>{320, 370, 420}));
    EXPECT_TRUE(Bases->GetKeyDown(65));
    Bases->SetFocus(other);
    EXPECT_EQ(Tick(), (std::vector<Ev>{{"pad", PR_ONFOCUSOUT, {}}, {"other", PR_ONFOCUSIN, {}}}));
    Bases->ClearKeys();
    EXPECT_FALSE(Bases->GetKeyDown(65));
}

// A registered object that cancels its selection on a right press anywhere on its layer.
class TSelector : public TPad {
public:
    explicit TSelector(TVelaBaseList* O) : TPad(O) { Owner->GetVelaList().AddOnce(this); }
    ~TSelector() override { Owner->GetVelaList().Remove(this); }
    bool GetRclickscrap() const override { return true; }
    bool GetPaused() const override { return Paused; }
    bool BeginSelect() override {
        ++Asked;
        return Takes;
    }
    bool Paused = false, Takes = true;
    int Asked = 0;
};

TEST_F(Input, RightPressAnywhereGoesFirstToASelectingObjectOfTheLayer) {
    Pad(Layer, "under", {0, 0, 100, 100});
    auto* menu = new TSelector(Bases);
    menu->SetName("menu");
    menu->SetParent(Layer);
    menu->SetBounds(200, 200, 20, 20);  // far from the pointer
    Bases->GetVelaList().AddOnce(menu);
    EXPECT_EQ(Bases->GetVelaList().Count(), 1);
    Move(10, 10);
    Tick();
    auto rightPress = [&] {
        Layer->RightHeld = Layer->RightLatch = true;
        std::vector<Ev> events = Tick();
        Layer->RightHeld = false;
        Tick();
        return std::count_if(events.begin(), events.end(), [](const Ev& e) { return e.Kind == PR_ONRBTNDOWN; });
    };
    EXPECT_EQ(rightPress(), 0);  // taken as the menu's cancel
    EXPECT_EQ(menu->Asked, 1);

    // Not asked when paused, hidden, ignoring the left-hand press modes, or on the other layer;
    // asked but declining leaves the press to the object under the pointer.
    struct Case {
        const char* What;
        std::function<void()> Set, Undo;
        int Asked;
    };
    const std::vector<Case> cases = {
        {"paused", [&] { menu->Paused = true; }, [&] { menu->Paused = false; }, 0},
        {"hidden", [&] { menu->SetVisible(false); }, [&] { menu->SetVisible(true); }, 0},
        {"ignores right", [&] { menu->SetIgnoremouse(IM_RCLICK); }, [&] { menu->SetIgnoremouse(IM_NONE); }, 0},
        {"other layer", [&] { menu->SetParent(Bases->GetBase(1)); }, [&] { menu->SetParent(Layer); }, 0},
        {"declines", [&] { menu->Takes = false; }, [&] { menu->Takes = true; }, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        menu->Asked = 0;
        c.Set();
        EXPECT_EQ(rightPress(), 1);
        EXPECT_EQ(menu->Asked, c.Asked);
        c.Undo();
    }
    delete menu;
    EXPECT_EQ(Bases->GetVelaList().Count(), 0);
    EXPECT_EQ(rightPress(), 1);
}

}  // namespace
