// The image button through the layer's pointer step: its looks under press, drag and release,
// the click with radio groups and auto-scrap, Enter and Space, and its record.
#include "objects/vitemex_button.h"
#include "tests/objects/image_kinds_fixture.h"

namespace {

using Look = std::pair<std::string, int32_t>;  // event handler, kind

class Button : public ImageKindsTest {
protected:
    void SetUp() override {
        ImageKindsTest::SetUp();
        Bases->SetWidth(200);
        Bases->SetHeight(100);
        Layer = Bases->GetBase(0);
        for (const char* look : {"n.mra", "h.mra", "p.mra"}) Cache->Source->Files[look] = {{40, 20, 100, false}};
        Cache->Source->Files["c.mra"] = {{40, 20, 100, false}, {40, 20, 100, false}};
    }
    // A 40 x 20 button at (Left, 10) with every look but those left out.
    TVelaButton* Make(const std::string& Name, int32_t Left, bool Hover = true, bool Clicked = true) {
        auto* b = ImageKindsTest::Make<TVelaButton>(Name);
        b->SetLeft(Left);
        b->SetTop(10);
        b->SetSource("n.mra");
        if (Hover) b->SetHoversource("h.mra");
        b->SetPressedsource("p.mra");
        if (Clicked) b->SetClickedsource("c.mra");
        b->SetOnnotify(Name + ".vsb");
        b->SetOnlbtndown("down");
        b->SetOnlbtnup("up");
        return b;
    }
    // One tick: the input step and the objects' step; answers the handlers queued, taken off.
    std::vector<Look> Step(uint32_t Ms = 15) {
        Host->Clock += Ms;
        Host->Tick = Ms;
        Bases->Update(Host->Clock);
        Bases->Step();
        std::vector<Look> out;
        TTimerList& q = Bases->GetEvents();
        for (int i = 0; i < q.Count(); ++i) out.emplace_back(q.Items(i)->Handler, q.Items(i)->Kind);
        q.Clear();
        return out;
    }
    void Move(int X, int Y) { Layer->SetMousePos({X, Y}); }
    void Press() { Layer->LeftHeld = Layer->LeftLatch = true; }
    void Release() { Layer->LeftHeld = false; }
    void ClickAt(int X, int Y) {
        Move(X, Y);
        Step();
        Press();
        Step();
        Release();
    }
    TVelaBase* Layer = nullptr;
};

TEST_F(Button, PressDragOffAndBackThenReleaseClicksWithoutButtonEvents) {
    TVelaButton* b = Make("b", 20);
    Move(30, 15);
    Step();
    EXPECT_EQ(b->GetState(), TVelaButton::LookHover);
    Press();
    EXPECT_EQ(Step(), std::vector<Look>{});  // no button-down handler for a button
    EXPECT_EQ(b->GetState(), TVelaButton::LookPressed);
    EXPECT_FALSE(Layer->GetLeftClicked());
    Move(100, 50);
    Step();
    EXPECT_EQ(b->GetState(), TVelaButton::LookNormal);
    Move(35, 20);
    Step();
    EXPECT_EQ(b->GetState(), TVelaButton::LookPressed);
    Release();
    EXPECT_EQ(Step(), (std::vector<Look>{{"b.vsb", PR_ONNOTIFY}}));
    EXPECT_EQ(b->GetState(), TVelaButton::LookClicked);
    EXPECT_FALSE(b->GetRepeat());
    // The clicked look plays its two frames once, then the button is back to normal; a look
    // asked for meanwhile waits for it.
    b->SetState(TVelaButton::LookHover);
    EXPECT_EQ(b->GetState(), TVelaButton::LookClicked);
    for (int i = 0; i < 14; ++i) Step();
    EXPECT_EQ(b->GetState(), TVelaButton::LookHover);

    // Pressed, dragged off and let go off: no click.
    Press();
    Step();
    Move(150, 80);
    Step();
    Release();
    EXPECT_EQ(Step(), (std::vector<Look>{}));
    EXPECT_EQ(b->GetState(), TVelaButton::LookNormal);
    EXPECT_EQ(b->GetPressMark(), 0);
}

TEST_F(Button, LooksWithoutPicturesAreNotTakenAndIgnoredLeftPressesFallThrough) {
    TVelaButton* plain = Make("plain", 20, false);
    Move(30, 15);
    Step();
    EXPECT_EQ(plain->GetState(), TVelaButton::LookNormal);  // no hover picture

    // Ignoring the right button still clicks with the left.
    TVelaButton* right = Make("right", 100);
    right->SetIgnoremouse(IM_RCLICK);
    ClickAt(110, 15);
    EXPECT_EQ(Step(), (std::vector<Look>{{"right.vsb", PR_ONNOTIFY}}));

    // Ignoring the left button: the press lands on the object below, and is queued there.
    plain->SetIgnoremouse(IM_LCLICK);
    auto* under = ImageKindsTest::Make<TVelaBox>("under");
    under->SetBounds(0, 0, 100, 100);
    under->SetOnlbtndown("under.vsb");
    under->SetPriority(-1);
    Layer->SortControls();
    ClickAt(30, 15);
    EXPECT_EQ(Step(), std::vector<Look>{});
    Press();
    Move(31, 15);
    std::vector<Look> events = Step();
    EXPECT_NE(std::find(events.begin(), events.end(), Look{"under.vsb", PR_ONLBTNDOWN}), events.end());
    EXPECT_EQ(plain->GetPressMark(), 0);
    EXPECT_EQ(plain->GetState(), TVelaButton::LookNormal);
}

TEST_F(Button, RadioGroupKeepsOneSelectedUnlessAllMayBeUp) {
    TVelaButton* a = Make("a", 0);
    TVelaButton* b = Make("b", 50);
    TVelaButton* c = Make("c", 100);
    TVelaButton* loose = Make("loose", 150);
    for (TVelaButton* m : {a, b, c}) m->SetGroupindex(1);
    // The group chose its first member; an ungrouped button is no member and cannot be selected.
    EXPECT_EQ(std::vector<bool>({a->GetSelected(), b->GetSelected(), c->GetSelected()}),
              std::vector<bool>({true, false, false}));
    loose->SetSelected(true);
    loose->SetSelected(false);  // ungrouped buttons are not a group of their own
    EXPECT_FALSE(loose->GetSelected());
    EXPECT_EQ(loose->GetState(), TVelaButton::LookNormal);
    EXPECT_EQ(a->GetState(), TVelaButton::LookPressed);

    ClickAt(60, 15);
    EXPECT_EQ(Step(), (std::vector<Look>{{"b.vsb", PR_ONNOTIFY}}));
    EXPECT_EQ(std::vector<bool>({a->GetSelected(), b->GetSelected(), c->GetSelected()}),
              std::vector<bool>({false, true, false}));
    EXPECT_EQ(a->GetState(), TVelaButton::LookNormal);
    EXPECT_EQ(b->GetState(), TVelaButton::LookPressed);  // a selected member stays pressed after release

    // Clicked again it stays selected; the click is still told.
    ClickAt(61, 15);
    EXPECT_EQ(Step(), (std::vector<Look>{{"b.vsb", PR_ONNOTIFY}}));
    EXPECT_TRUE(b->GetSelected());
    EXPECT_FALSE(loose->GetSelected());

    // Allowing all up reaches every member; the selected one then toggles off.
    c->SetAllowallup(true);
    EXPECT_TRUE(a->GetAllowallup() && b->GetAllowallup());
    EXPECT_FALSE(loose->GetAllowallup());
    ClickAt(62, 15);
    Step();
    EXPECT_EQ(std::vector<bool>({a->GetSelected(), b->GetSelected(), c->GetSelected()}),
              std::vector<bool>({false, false, false}));
}

// The group chooses by drawing order, not by the order the buttons were made, also among
// selected buttons moved in from another parent; its allow-all-up reaches the members it has
// when set, not one that joins later or left before.
TEST_F(Button, GroupsChooseInDrawingOrderAndGiveAllowAllUpToTheirMembers) {
    TVelaButton* a = Make("a", 0);
    TVelaButton* b = Make("b", 50);
    TVelaButton* c = Make("c", 100);
    a->SetPriority(2);
    b->SetPriority(1);  // drawn c, b, a
    for (TVelaButton* m : {a, b, c}) {
        m->SetAllowallup(true);
        m->SetGroupindex(1);
    }
    const auto selected = [&](std::initializer_list<TVelaButton*> Members) {
        std::vector<bool> out;
        for (TVelaButton* m : Members) out.push_back(m->GetSelected());
        return out;
    };
    EXPECT_EQ(selected({a, b, c}), std::vector<bool>({false, false, false}));
    a->SetAllowallup(false);  // none may be up now: the first drawn is chosen
    EXPECT_EQ(selected({a, b, c}), std::vector<bool>({false, false, true}));
    EXPECT_FALSE(b->GetAllowallup());

    auto* holder = ImageKindsTest::Make<TVelaBox>("holder");
    TVelaButton* d = Make("d", 150);
    d->SetParent(holder);
    d->SetGroupindex(1);
    EXPECT_TRUE(d->GetSelected());
    d->SetPriority(-1);
    d->SetParent(Layer);  // two selected members until the group is next told of a change
    b->SetSelected(false);
    EXPECT_EQ(selected({a, b, c, d}), std::vector<bool>({false, false, false, true}));

    TVelaButton* late = Make("late", 0);
    late->SetAllowallup(true);
    late->SetGroupindex(1);
    b->SetGroupindex(0);
    EXPECT_TRUE(late->GetAllowallup());
    EXPECT_FALSE(b->GetAllowallup());
    c->SetAllowallup(true);
    EXPECT_TRUE(a->GetAllowallup() && d->GetAllowallup() && late->GetAllowallup());
    EXPECT_FALSE(b->GetAllowallup());
    d->SetParent(holder);  // leaving keeps what the group gave
    a->SetAllowallup(false);
    EXPECT_TRUE(d->GetAllowallup());
    EXPECT_FALSE(c->GetAllowallup());
}

// With none selected and none allowed up, the group chooses its first member in drawing order,
// also after the members changed: one joining in front, the first leaving, moving or going.
TEST_F(Button, AGroupWithNoneSelectedChoosesItsFirstMemberAfterEachChange) {
    TVelaButton* front = Make("0", 0);
    TVelaButton* a = Make("a", 40);
    TVelaButton* b = Make("b", 80);
    TVelaButton* c = Make("c", 120);
    for (TVelaButton* m : {a, b, c}) m->SetGroupindex(1);
    const auto reselect = [](TVelaButton* Member) {
        Member->SetSelected(true);
        Member->SetSelected(false);
    };
    reselect(c);
    EXPECT_TRUE(a->GetSelected());
    front->SetGroupindex(1);
    a->SetSelected(false);
    EXPECT_TRUE(front->GetSelected());
    front->SetGroupindex(0);
    reselect(b);
    EXPECT_TRUE(a->GetSelected());
    c->SetPriority(-1);  // drawn c, a, b
    reselect(b);
    EXPECT_TRUE(c->GetSelected());
    c->SetPriority(0);
    reselect(c);
    EXPECT_TRUE(a->GetSelected());
    delete a;
    reselect(c);
    EXPECT_TRUE(b->GetSelected());
    EXPECT_FALSE(c->GetSelected());
}

// A button made with its normal look only, grouped and so selected, stays in that look; a pressed
// look set afterwards is shown when the selection is next set.
TEST_F(Button, ALookSetAfterTheButtonWasSelectedIsShown) {
    Cache->Source->Files["wide.mra"] = {{60, 20, 100, false}};
    auto* b = ImageKindsTest::Make<TVelaButton>("b");
    b->SetTop(10);
    b->SetSource("n.mra");
    b->SetGroupindex(1);
    EXPECT_TRUE(b->GetSelected());
    EXPECT_EQ(b->GetState(), TVelaButton::LookNormal);
    EXPECT_NE(Pixel(50, 15), PixelOf(0, 50, 5));
    b->SetPressedsource("wide.mra");
    b->SetSelected(true);
    EXPECT_EQ(b->GetState(), TVelaButton::LookPressed);
    EXPECT_EQ(Pixel(50, 15), PixelOf(0, 50, 5));  // past the normal look's 40 pixels
}

TEST_F(Button, AutoScrapGoesAfterTheClickedLookOrAtOnceWithoutOne) {
    struct Case {
        bool Clicked;
        int Ticks;  // from the release to the tick whose step frees the button
    };
    // Without a clicked look the click's own tick frees it; the clicked look's two frames of
    // 100 ms last 14 ticks of 15 ms, the first of them the release's.
    for (const Case& c : {Case{false, 1}, Case{true, 14}}) {
        SCOPED_TRACE(c.Clicked);
        Make("scrap", 20, true, c.Clicked)->SetAutoscrap(true);
        ClickAt(30, 15);
        int ticks = 0;
        do {
            Step();
            ++ticks;
        } while (Bases->ObjectNamed("scrap") && ticks < 100);
        EXPECT_EQ(ticks, c.Ticks);
    }
}

TEST_F(Button, AClickedFilmPlaysOnceThenTellsItsEndAndGivesBackTheLook) {
    TVelaButton* b = Make("b", 20, true, false);
    b->SetClickedsource("clicked.VMT");
    b->SetOnplayend("end");
    ClickAt(30, 15);
    Step();
    EXPECT_EQ(b->GetState(), TVelaButton::LookClicked);
    std::vector<Look> ended;
    int ticks = 1;
    for (; ticks < 200 && b->GetState() == TVelaButton::LookClicked; ++ticks) ended = Step(16);
    EXPECT_EQ(ended, (std::vector<Look>{{"end", PR_ONPLAYEND}}));
    EXPECT_NEAR(ticks * 16, 1000, 40);  // the film's 60 frames of 1/60 s
    EXPECT_EQ(b->GetState(), TVelaButton::LookNormal);
    // Another extension leaves the look empty: the button no longer enters it.
    b->SetClickedsource("clicked.bmp");
    b->Click();
    EXPECT_EQ(b->GetState(), TVelaButton::LookNormal);
}

TEST_F(Button, EnterOrSpaceClicksTheFocusedButton) {
    TVelaButton* b = Make("b", 20);
    b->SetHandlekey(true);
    Step();
    ASSERT_EQ(Bases->GetFocus(), b);
    for (int key : {13, 32}) {
        Bases->SetKeyState(key, true);
        Bases->SetKeyState(key, false);  // down and up between two ticks
        EXPECT_EQ(Step(), (std::vector<Look>{{"b.vsb", PR_ONNOTIFY}}));
        for (int i = 0; i < 14; ++i) Step();
    }
    Bases->SetKeyState(65, true);
    EXPECT_EQ(Step(), std::vector<Look>{});
}

TEST_F(Button, RecordsOfEachVersionLoadAsWrittenAndSaveAgainUnchanged) {
    const std::vector<ReferenceRecord> records = ReferenceRecords("button_records.py");
    for (const ReferenceRecord& r : records) {
        SCOPED_TRACE(r.version);
        TVelaButton loaded(Bases);
        ExpectReadsAsReferenced(loaded, r);
        TVelaButton reloaded(Bases);
        ExpectReadsAsReferenced(reloaded, {144, r.asRead, r.asRead});
    }
    EXPECT_EQ(records.size(), 6u);
}

}  // namespace
