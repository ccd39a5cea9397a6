#include "objects/vitems.h"

#include "core/streams.h"
#include "tests/common/budget.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <numbers>

namespace {

// A control that fills its rectangle with its colour, and a non-visual object with a field of
// its own: stand-ins for the real kinds.
class TFillBox : public TVelaControl {
public:
    using TVelaControl::TVelaControl;
    uint8_t GetCompoType() const override { return LT_BOX; }
    void Prepare() override {
        TCustomDIBX* s = GetLayerSurface();
        s->FillRect(IntersectRects(GetBoundsRect(), s->GetClipRect()), s->ColorToPixel(GetColor()));
        TVelaControl::Prepare();
    }
    bool Step() override {
        ++Steps;
        return Scrap;
    }
    int Steps = 0;
    bool Scrap = false;
};

class TCounter : public TVelaComponent {
public:
    using TVelaComponent::TVelaComponent;
    uint8_t GetCompoType() const override { return LT_TIMER; }
    std::string GetOnidle() const override { return Idle; }
    void SaveToStream(TStream& S) override {
        TVelaComponent::SaveToStream(S);
        WriteStreamInt(S, Value);
    }
    void LoadFromStream(TStream& S, int32_t Version) override {
        TVelaComponent::LoadFromStream(S, Version);
        Value = ReadStreamInt(S);
    }
    int32_t Value = 0;
    std::string Idle;
};

constexpr int32_t Version = 135;

class Scene : public ::testing::Test {
protected:
    void SetUp() override {
        VelaInitialize();
        RegisterObjectKind(LT_BOX, [](TVelaBaseList& O) -> TVelaObject* { return new TFillBox(&O); });
        RegisterObjectKind(LT_TIMER, [](TVelaBaseList& O) -> TVelaObject* { return new TCounter(&O); });
        Bases->SetWidth(640);
        Bases->SetHeight(480);
    }
    void TearDown() override { VelaFinalize(); }

    TFillBox* Box(TVelaControl* Parent, TRect R, int32_t Color = 0x00FF00) {
        auto* box = static_cast<TFillBox*>(Bases->CreateObject(LT_BOX));
        box->SetParent(Parent);
        box->SetBounds(R.Left, R.Top, R.Right - R.Left, R.Bottom - R.Top);
        box->SetColor(Color);
        return box;
    }
    TCounter* Counter() { return static_cast<TCounter*>(Bases->CreateObject(LT_TIMER)); }
    TVelaBase* Layer(int i) { return Bases->GetBase(i); }
    std::vector<TRect> Dirty(int i) {
        std::vector<TRect> r;
        for (int k = 0; k < Layer(i)->ClipList.Count(); ++k) r.push_back(Layer(i)->ClipList.GetRect(k));
        return r;
    }
    std::string Save() {
        TMemoryStream s;
        Bases->SaveToStream(s);
        return {reinterpret_cast<const char*>(s.Memory()), size_t(s.Size())};
    }
    void Load(const std::string& Data, int32_t V = Version) {
        TMemoryStream s;
        s.Write(Data.data(), Data.size());
        s.SetPosition(0);
        Bases->LoadFromStream(s, V);
    }
};

TEST_F(Scene, UnnamedObjectsTakeTheLowestFreeNumber) {
    TCounter* a = Counter();
    TCounter* b = Counter();
    Counter();
    EXPECT_EQ(a->GetName(), "object0");
    EXPECT_EQ(b->GetName(), "object1");
    b->Delete();
    EXPECT_EQ(Counter()->GetName(), "object1");
}

TEST_F(Scene, RenamingANonVisualObjectDeletesTheHolder) {
    TCounter* a = Counter();
    TCounter* b = Counter();
    b->SetName("object0");
    EXPECT_TRUE(a->IsDeleted());
    EXPECT_EQ(a->GetName(), "");
    EXPECT_EQ(Bases->FindObject("object0"), b);
    Bases->Step();
    EXPECT_EQ(Bases->GetObjectCount(), 1);
}

TEST_F(Scene, RenamingAControlRenamesTheHolder) {
    TFillBox* a = Box(Layer(0), {0, 0, 1, 1});
    TFillBox* b = Box(Layer(0), {0, 0, 1, 1});
    TFillBox* c = Box(Layer(0), {0, 0, 1, 1});
    b->SetName("b");
    a->SetName("b");
    EXPECT_EQ(b->GetName(), "b_2");
    c->SetName("b");
    EXPECT_EQ(a->GetName(), "b_3");  // b_2 is taken
    b->SetName("b_3");
    EXPECT_EQ(a->GetName(), "b_4");
    EXPECT_FALSE(a->IsDeleted());
    // The numbers given back (b_2 by b, then b_3) are taken again lowest first.
    b->SetName("free");
    TFillBox* d = Box(Layer(0), {0, 0, 1, 1});
    d->SetName("b");
    EXPECT_EQ(c->GetName(), "b_2");
    Box(Layer(0), {0, 0, 1, 1})->SetName("b");
    EXPECT_EQ(d->GetName(), "b_3");
}

TEST_F(Scene, NamesAreFoundAcrossManyObjectsRenamesAndDeletions) {
    std::vector<TFillBox*> boxes;
    for (int i = 0; i < 300; ++i) boxes.push_back(Box(Layer(0), {0, 0, 1, 1}));
    EXPECT_EQ(boxes[299]->GetName(), "object299");
    EXPECT_EQ(Bases->FindControl("object150"), boxes[150]);
    EXPECT_EQ(Bases->IndexOfName("object150"), 150);
    boxes[150]->SetName("moved");
    EXPECT_EQ(Bases->FindControl("object150"), nullptr);
    EXPECT_EQ(Bases->FindObject("moved"), boxes[150]);
    boxes[151]->SetName("moved");  // the holder is renamed
    EXPECT_EQ(Bases->FindControl("moved_2"), boxes[150]);
    EXPECT_EQ(Bases->FindControl("moved"), boxes[151]);
    boxes[151]->Delete();
    EXPECT_EQ(Bases->FindControl("moved"), nullptr);
    EXPECT_EQ(Bases->IndexOfName("moved"), -1);
    EXPECT_EQ(Box(Layer(0), {0, 0, 1, 1})->GetName(), "object150");
    EXPECT_EQ(Box(Layer(0), {0, 0, 1, 1})->GetName(), "object151");
    Bases->Step();
    boxes[152]->SetName("moved");
    EXPECT_EQ(Bases->FindControl("moved"), boxes[152]);
    delete boxes[152];
    EXPECT_EQ(Bases->FindControl("moved"), nullptr);
    EXPECT_EQ(Bases->FindControl("moved_2"), boxes[150]);
}

TEST_F(Scene, TheEmptyNameTakesNothingFromAnotherObject) {
    Layer(0)->SetColor(0);
    TFillBox* gone = Box(Layer(0), {0, 0, 10, 10}, 0xFF0000);
    gone->Delete();
    TFillBox* box = Box(Layer(0), {20, 0, 30, 10});
    box->SetName("");
    EXPECT_EQ(gone->GetName(), "");
    EXPECT_EQ(box->GetName(), "");
    Bases->Prepare();
    EXPECT_EQ(Bases->GetSurface()->GetPixel(5, 5), 0u);  // neither is drawn
    EXPECT_EQ(Bases->GetSurface()->GetPixel(25, 5), 0u);
    TCounter* counter = Counter();
    counter->SetName("");
    EXPECT_FALSE(box->IsDeleted());
}

TEST_F(Scene, DeletedObjectsStayUntilTheStepAndStaleReferencesFail) {
    TFillBox* box = Box(Layer(0), {0, 0, 10, 10});
    TFillBox* child = Box(box, {0, 0, 5, 5});
    child->SetName("child");
    const TObjectRef ref = box->Ref(), childRef = child->Ref();
    const uint32_t serial = box->GetSerial();
    box->Delete();
    EXPECT_EQ(Bases->FindObject(""), Layer(0));
    EXPECT_EQ(Bases->FindControl(box->GetName()), Layer(0));  // the empty name names the layer
    EXPECT_GE(Bases->IndexOfObject(box), 0);
    EXPECT_TRUE(Bases->IsLive(ref));
    Bases->Step();
    EXPECT_FALSE(Bases->IsLive(ref));
    EXPECT_FALSE(Bases->IsLive(childRef));  // freed with its parent
    EXPECT_EQ(Layer(0)->GetControlCount(), 0);
    EXPECT_EQ(Bases->GetObjectCount(), 0);
    // A later object at any address never passes for the old one.
    TCounter* next = Counter();
    EXPECT_GT(next->GetSerial(), serial);
    EXPECT_FALSE(Bases->IsLive({next, serial}));
    EXPECT_TRUE(Bases->IsLive(next->Ref()));
    // The layers raise events too, so a reference to one stays good.
    EXPECT_TRUE(Bases->IsLive(Layer(1)->Ref()));
}

// What the script makes and deletes within a tick is freed at once and leaves nothing behind, so
// that a loop that never waits keeps its memory flat.
TEST_F(Scene, ObjectsFreedWithinATickLeaveNothingBehind) {
    Counter()->Delete();
    Bases->FreeDeleted();
    const int64_t before = MemoryCharged();
    for (int i = 0; i < 100000; ++i) {
        Counter()->Delete();
        Bases->FreeDeleted();
    }
    EXPECT_NEAR(MemoryCharged(), before, testbudget::Slack);
}

// A child deleted in the same command as its parent goes with it, freed once, in either order.
TEST_F(Scene, AChildDeletedWithItsParentIsFreedOnce) {
    for (const bool childFirst : {true, false}) {
        TFillBox* parent = Box(Layer(0), {0, 0, 4, 4});
        TFillBox* child = Box(parent, {0, 0, 1, 1});
        (childFirst ? child : parent)->Delete();
        (childFirst ? parent : child)->Delete();
        Bases->FreeDeleted();
        EXPECT_EQ(Bases->GetObjectCount(), 0);
        EXPECT_EQ(Layer(0)->GetControlCount(), 0);
    }
}

TEST_F(Scene, ScrapInTheStepFreesAtOnceAndStepsTheNext) {
    TFillBox* a = Box(Layer(0), {0, 0, 1, 1});
    TFillBox* b = Box(Layer(0), {0, 0, 1, 1});
    TFillBox* c = Box(Layer(0), {0, 0, 1, 1});
    b->Scrap = true;
    Bases->Step();
    EXPECT_EQ(a->Steps, 1);
    EXPECT_EQ(c->Steps, 1);
    EXPECT_EQ(Bases->GetObjectCount(), 2);
    EXPECT_EQ(Layer(0)->GetControlCount(), 2);
}

TEST_F(Scene, LayerNamesAndTypeCodes) {
    Bases->SetCurrentLayer(1);
    const std::string base0 = "\x01" "BASE0", base1 = "\x01" "BASE1";
    EXPECT_EQ(Bases->FindObject(base0), Layer(1));
    EXPECT_EQ(Bases->FindObject(base1), Layer(0));
    EXPECT_EQ(Bases->FindObject("\x01"), Layer(0));
    EXPECT_EQ(Bases->FindControl(base0), Layer(0));
    EXPECT_EQ(Bases->FindControl(""), Layer(1));
    EXPECT_EQ(Bases->CreateObject(LT_BOX | 0x80)->GetCompoType(), LT_BOX);
    EXPECT_EQ(Bases->CreateObject(LT_MAP), nullptr);
    EXPECT_EQ(Bases->CreateObject(100), nullptr);
}

TEST_F(Scene, ChildrenSortSystemFirstThenPriorityThenName) {
    TFillBox* b = Box(Layer(0), {0, 0, 1, 1});
    TFillBox* a = Box(Layer(0), {0, 0, 1, 1});
    TFillBox* sys = Box(Layer(0), {0, 0, 1, 1});
    b->SetName("b");
    a->SetName("a");
    sys->SetName("\x01sys");
    sys->SetPriority(100);
    b->SetPriority(-1);
    Layer(0)->SortControls();
    EXPECT_EQ(Layer(0)->GetControl(0), sys);
    EXPECT_EQ(Layer(0)->GetControl(1), b);
    EXPECT_EQ(Layer(0)->GetControl(2), a);
    b->SetPriority(0);  // equal priorities: by name
    EXPECT_EQ(Layer(0)->GetControl(1), a);
    EXPECT_EQ(Layer(0)->GetControl(2), b);
    b->SetParent(a);
    a->SetParent(b);  // a parent cannot move under its own child
    EXPECT_EQ(a->GetParent(), Layer(0));
}

TEST_F(Scene, ChildrenAddedOneByOneTakeTheirPlaceInDrawingOrder) {
    const auto named = [&](const char* Name, int32_t Priority = 0) {
        TFillBox* box = static_cast<TFillBox*>(Bases->CreateObject(LT_BOX));
        box->SetName(Name);
        box->SetPriority(Priority);
        box->SetParent(Layer(0));
        return box;
    };
    TFillBox* c = named("c");
    TFillBox* a = named("a");
    TFillBox* top = named("top", 5);
    TFillBox* b = named("b");
    const auto order = [&] {
        std::vector<TVelaControl*> children;
        for (int i = 0; i < Layer(0)->GetControlCount(); ++i) children.push_back(Layer(0)->GetControl(i));
        return children;
    };
    EXPECT_EQ(order(), (std::vector<TVelaControl*>{a, b, c, top}));
    // A rename does not move a child; the next child added puts every one in its place.
    a->SetName("d");
    EXPECT_EQ(order(), (std::vector<TVelaControl*>{a, b, c, top}));
    TFillBox* e = named("e");
    EXPECT_EQ(order(), (std::vector<TVelaControl*>{b, c, a, e, top}));
}

// Children added before a rename are put in their places as if the renamed children still had
// the names they stood in order with, as when each addition was placed at once.
TEST_F(Scene, ChildrenAddedBeforeARenameArePlacedByTheOldNames) {
    const auto named = [&](const char* Name) {
        TFillBox* box = static_cast<TFillBox*>(Bases->CreateObject(LT_BOX));
        box->SetName(Name);
        box->SetParent(Layer(0));
        return box;
    };
    const auto order = [&] {
        std::string names;
        for (int i = 0; i < Layer(0)->GetControlCount(); ++i) names += Layer(0)->GetControl(i)->GetName() + " ";
        return names;
    };
    TFillBox* a = named("a");
    TFillBox* c = named("c");
    named("e");
    EXPECT_EQ(order(), "a c e ");
    named("b");
    named("d");
    c->SetName("z");
    EXPECT_EQ(order(), "a b z d e ");
    c->SetName("c");  // in order again
    named("f");
    named("g");
    a->SetName("x");
    c->SetName("y");  // a second child out of order
    EXPECT_EQ(order(), "x b y d e f g ");
    named("h");  // sorts them all again
    EXPECT_EQ(order(), "b d e f g h x y ");
}

// Children freed from anywhere leave the others in order, those added meanwhile put in their
// places first; a parent freed after one of its children frees the rest.
TEST_F(Scene, ChildrenFreedFromAnywhereLeaveTheOthersInOrder) {
    std::map<std::string, TFillBox*> kids;
    const auto add = [&](const std::string& Name, TVelaControl* Parent) {
        TFillBox* box = static_cast<TFillBox*>(Bases->CreateObject(LT_BOX));
        box->SetName(Name);
        box->SetParent(Parent);
        return kids[Name] = box;
    };
    const auto order = [&] {
        std::string names;
        for (int i = 0; i < Layer(0)->GetControlCount(); ++i) names += Layer(0)->GetControl(i)->GetName() + " ";
        return names;
    };
    for (const char* name : {"c1", "c2", "c3", "c4", "c5", "c6"}) add(name, Layer(0));
    EXPECT_EQ(order(), "c1 c2 c3 c4 c5 c6 ");
    delete kids["c2"];
    delete kids["c4"];
    kids["c5"]->SetName("c55");  // found in its place, still in order
    EXPECT_EQ(order(), "c1 c3 c55 c6 ");
    add("c7", Layer(0));
    add("c0", Layer(0));
    delete kids["c3"];
    EXPECT_EQ(order(), "c0 c1 c55 c6 c7 ");
    kids["c0"]->SetName("c9");  // out of order now: a rename does not move it
    EXPECT_EQ(order(), "c9 c1 c55 c6 c7 ");

    TFillBox* parent = add("p", Layer(0));  // sorts them all again
    EXPECT_EQ(order(), "c1 c55 c6 c7 c9 p ");
    for (const char* name : {"x1", "x2", "x3"}) add(name, parent);
    delete kids["x2"];
    EXPECT_EQ(parent->GetControlCount(), 2);
    delete parent;
    EXPECT_EQ(Bases->GetObjectCount(), 5);
}

// Unnamed children of three priorities (equal keys within each) come in batches between looks at
// the order, and random ones are freed: the children stand as a stable sort of all of them in the
// order they came puts them, and each is still found in its place when it goes.
TEST_F(Scene, ChildrenAddedInBatchesStandAsAStableSortOfTheirArrival) {
    std::vector<TFillBox*> came;
    uint32_t seed = 4242;
    const auto next = [&](uint32_t N) {
        seed = seed * 1103515245 + 12345;
        return (seed >> 16) % N;
    };
    for (int batch = 0; batch < 30; ++batch) {
        for (uint32_t i = 0, n = next(8); i < n; ++i) {
            auto* box = new TFillBox(Bases, false);
            box->SetPriority(int32_t(next(3)));
            box->SetParent(Layer(0));
            came.push_back(box);
        }
        for (uint32_t i = 0, n = came.empty() ? 0 : next(3); i < n; ++i) {
            const auto gone = came.begin() + next(uint32_t(came.size()));
            delete *gone;
            came.erase(gone);
        }
        std::vector<TFillBox*> expected = came;
        std::stable_sort(expected.begin(), expected.end(),
                         [](const TFillBox* A, const TFillBox* B) { return A->GetPriority() < B->GetPriority(); });
        ASSERT_EQ(Layer(0)->GetControlCount(), int(expected.size())) << "batch " << batch;
        for (size_t i = 0; i < expected.size(); ++i)
            ASSERT_EQ(Layer(0)->GetControl(int(i)), expected[i]) << "batch " << batch << " place " << i;
    }
}

// Priority changes, renames, deletions and additions in a seeded mix over 60 children: after any
// of them but a rename the children stand as a full sort puts them (distinct names give one
// order); the topmost child is the one drawn where they all overlap. Short names, and names alike
// in their first eight bytes, told apart only by the rest.
TEST_F(Scene, ChildrenStayInDrawingOrderThroughMixedChanges) {
    for (const std::string stem : {"", "one stem "}) {
        Bases->Clear();
        std::vector<TFillBox*> kids;
        int made = 0;
        const auto add = [&] {  // named, then given its parent, as the creation commands do
            auto* box = static_cast<TFillBox*>(Bases->CreateObject(LT_BOX));
            box->SetName(stem + "k" + std::to_string(made));
            box->SetParent(Layer(0));
            box->SetBounds(0, 0, 10, 10);
            box->SetColor(made++);
            kids.push_back(box);
        };
        const auto ordered = [&] {
            for (int i = 1; i < Layer(0)->GetControlCount(); ++i) {
                const TVelaControl *a = Layer(0)->GetControl(i - 1), *b = Layer(0)->GetControl(i);
                if (a->GetPriority() > b->GetPriority() ||
                    (a->GetPriority() == b->GetPriority() && a->GetName() >= b->GetName()))
                    return false;
            }
            return true;
        };
        for (int i = 0; i < 60; ++i) add();
        uint32_t seed = 12345;
        const auto next = [&](uint32_t N) {
            seed = seed * 1103515245 + 12345;
            return (seed >> 16) % N;
        };
        for (int step = 0; step < 400; ++step) {
            TFillBox* kid = kids[next(uint32_t(kids.size()))];
            switch (next(4)) {
            case 0:
                kid->SetPriority((kid->GetPriority() + 1 + int32_t(next(4))) % 5);  // equal ones: by name
                break;
            case 1:
                kid->SetName(stem + "r" + std::to_string(made++));
                continue;  // a rename does not move a child
            case 2:
                kids.erase(std::find(kids.begin(), kids.end(), kid));
                kid->Delete();
                Bases->FreeDeleted();
                add();
                break;
            default:
                if (next(2) == 0) Layer(0)->GetControl(0);  // a look between changes
                continue;
            }
            ASSERT_TRUE(ordered()) << "step " << step << " stem " << stem;
        }
        Layer(0)->InvalidateAll();
        Bases->Prepare();
        const TVelaControl* top = Layer(0)->GetControl(Layer(0)->GetControlCount() - 1);
        EXPECT_EQ(Bases->GetSurface()->GetPixel(5, 5), Bases->GetSurface()->ColorToPixel(top->GetColor()));
    }
}

// Children and objects deleted as the script deletes them (each freed after its command): from the
// front, the back and runs in the middle, the rest keep their order in the drawing and in the flat
// list; a rename across a run of freed neighbours still sees where it stands.
TEST_F(Scene, DeletionsFromEitherEndAndTheMiddleKeepTheRestInOrder) {
    std::vector<TVelaObject*> kids;
    for (int i = 0; i < 40; ++i) {
        TFillBox* box = Box(Layer(0), {0, 0, 1, 1});
        box->SetName("d" + std::to_string(100 + i));
        kids.push_back(box);
    }
    Layer(0)->GetControl(0);
    const auto drop = [&](size_t At) {
        kids[At]->Delete();
        Bases->FreeDeleted();
        kids.erase(kids.begin() + std::ptrdiff_t(At));
    };
    const auto expectOrder = [&] {
        std::vector<TVelaObject*> drawn, listed;
        for (int i = 0; i < Layer(0)->GetControlCount(); ++i) drawn.push_back(Layer(0)->GetControl(i));
        for (int i = 0; i < Bases->GetObjectCount(); ++i) listed.push_back(Bases->GetObject(i));
        EXPECT_EQ(drawn, kids);
        EXPECT_EQ(listed, kids);
    };
    drop(0);
    drop(kids.size() - 1);
    for (int i = 0; i < 12; ++i) drop(10);  // a run of holes after d110
    drop(0);
    drop(kids.size() - 1);
    // d110 and d123 stand side by side across the run; named to sort before d110, d123 is out of
    // order and the next child added puts it in its place.
    ASSERT_EQ(kids[8]->GetName(), "d110");
    ASSERT_EQ(kids[9]->GetName(), "d123");
    kids[9]->SetName("d1105");
    kids[9]->SetName("d1095");
    expectOrder();  // a rename does not move it
    TFillBox* last = Box(Layer(0), {0, 0, 1, 1});
    last->SetName("z");
    EXPECT_EQ(Layer(0)->GetControl(8), kids[9]);
    EXPECT_EQ(Layer(0)->GetControl(9), kids[8]);
    EXPECT_EQ(Layer(0)->GetControl(Layer(0)->GetControlCount() - 1), last);
    last->Delete();
    drop(9);
    while (kids.size() > 4) drop(kids.size() % 2 ? kids.size() / 2 : 0);
    expectOrder();
}

TEST_F(Scene, MovedControlDirtiesOldAndNewRectangles) {
    TFillBox* box = Box(Layer(0), {100, 100, 150, 150});
    Layer(0)->ClipList.Clear();
    box->SetLeft(110);
    EXPECT_EQ(Dirty(0), (std::vector<TRect>{{100, 100, 160, 150}}));
    Layer(0)->ClipList.Clear();
    box->SetLeft(400);
    EXPECT_EQ(Dirty(0), (std::vector<TRect>{{110, 100, 160, 150}, {400, 100, 450, 150}}));

    // Cut by the parent; a clip area of width 0 does not clip.
    TFillBox* child = Box(box, {-100, 0, -90, 10});
    Layer(0)->ClipList.Clear();
    child->SetTop(5);
    EXPECT_TRUE(Dirty(0).empty());
    child->SetBounds(0, 0, 80, 80);
    child->SetClipheight(10);
    Layer(0)->ClipList.Clear();
    child->SetColor(1);
    EXPECT_EQ(Dirty(0), (std::vector<TRect>{{400, 100, 450, 150}}));
    child->SetClipwidth(20);
    Layer(0)->ClipList.Clear();
    child->SetColor(2);
    EXPECT_EQ(Dirty(0), (std::vector<TRect>{{400, 100, 420, 110}}));
}

TEST_F(Scene, ZoomedAnchorTruncatesTowardZero) {
    struct TZoomed : TVelaControl {
        using TVelaControl::TVelaControl;
        int32_t GetZoomx() const override { return 128; }
    } c(Bases);
    c.SetOffsetx(11);
    EXPECT_EQ(c.GetOriginX(), -5);
    c.SetOffsetx(-11);
    EXPECT_EQ(c.GetOriginX(), 5);
}

TEST_F(Scene, EventQueueOrderAndLevels) {
    TTimerList& q = Bases->GetEvents();
    TCounter* a = Counter();
    TCounter* b = Counter();
    TArrayString args;
    args.Add("3");
    args.Add("-4");
    EXPECT_EQ(q.Add(a, "p1", &args, PR_ONLBTNDOWN), 0);
    EXPECT_EQ(q.Add(b, "p2", nullptr, PR_ONLBTNDOWN), 1);
    EXPECT_EQ(q.Add(a, "p3", nullptr, PR_ONLBTNUP), 2);
    EXPECT_EQ(q.Add(a, "p4", nullptr, PR_ONLBTNUP), 3);  // a second one of the same kind is kept
    EXPECT_EQ(q.FirstPending()->Args.Strings(1), "-4");
    q.FirstPending()->Level = 2;
    EXPECT_EQ(q.FirstPending()->Handler, "p2");
    EXPECT_EQ(q.IndexOf(a, PR_ONLBTNDOWN), 0);
    q.FirstPending()->Level = 3;
    q.ClearLevel(2);
    EXPECT_EQ(q.Count(), 3);
    EXPECT_EQ(q.Items(0)->Handler, "p2");
    q.ClearTaken();
    EXPECT_EQ(q.Items(0)->Handler, "p3");

    // A freed object's pending records go; taken ones stay, saved without a sender.
    q.FirstPending()->Level = 1;
    a->Delete();
    Bases->Step();
    ASSERT_EQ(q.Count(), 1);
    TMemoryStream s;
    q.SaveToStream(s);
    EXPECT_EQ(s.Size(), 4 + 6 + 4 + 1 + 4 + 4);
}

// Clearing levels looks only at the records handed out for writing or loaded taken: one handed
// out that goes with its object is forgotten, and taken records read back from a save are cleared.
TEST_F(Scene, EventLevelsClearRecordsHandedOutOrLoadedTaken) {
    TTimerList& q = Bases->GetEvents();
    TCounter* a = Counter();
    TCounter* b = Counter();
    q.Add(a, "gone", nullptr, PR_ONNOTIFY);
    for (int i = 0; i < 40; ++i) q.Add(b, "p" + std::to_string(i), nullptr, PR_ONNOTIFY);
    EXPECT_EQ(q.FirstPending()->Handler, "gone");  // handed out, never taken
    a->Delete();
    Bases->Step();
    q.ClearTaken();
    q.ClearLevel(0);  // nothing is taken at level 0
    ASSERT_EQ(q.Count(), 40);
    q.FirstPending()->Level = 1;
    q.FirstPending()->Level = 2;
    q.Items(5)->Level = 2;
    TMemoryStream s;
    q.SaveToStream(s);
    s.SetPosition(0);
    q.LoadFromStream(s, Version);
    q.ClearLevel(2);
    ASSERT_EQ(q.Count(), 38);
    EXPECT_EQ(q.Items(0)->Handler, "p0");
    EXPECT_EQ(q.Items(4)->Handler, "p6");
    q.Items(4)->Level = 3;
    q.ClearTaken();
    ASSERT_EQ(q.Count(), 36);
    EXPECT_EQ(q.Items(0)->Handler, "p2");
    EXPECT_EQ(q.Items(3)->Handler, "p7");

    // The sender's records are found whichever way others went, until the last of them goes.
    EXPECT_EQ(q.IndexOf(b, PR_ONNOTIFY), 0);
    EXPECT_EQ(q.IndexOf(b, PR_ONIDLE), -1);
    for (int i = 0; i < 35; ++i) q.Items(i)->Level = 1;
    q.ClearLevel(1);
    EXPECT_EQ(q.IndexOf(b, PR_ONNOTIFY), 0);
    q.Items(0)->Level = 1;
    q.ClearLevel(1);
    EXPECT_EQ(q.IndexOf(b, PR_ONNOTIFY), -1);
    q.Add(b, "again", nullptr, PR_ONNOTIFY);
    EXPECT_EQ(q.IndexOf(b, PR_ONNOTIFY), 0);
}

// A freed sender's pending records leave from the front, the middle and the end of the queue,
// the others keeping their order; its taken ones stay, and so does the queue's bookkeeping.
TEST_F(Scene, FreedSendersLeaveTheQueueFromAnywhereInIt) {
    TTimerList& q = Bases->GetEvents();
    TCounter* a = Counter();
    TCounter* b = Counter();
    TCounter* c = Counter();
    for (const auto& [sender, handler] : std::vector<std::pair<TCounter*, const char*>>{
             {a, "a1"}, {b, "b1"}, {a, "a2"}, {c, "c1"}, {a, "a3"}, {b, "b2"}})
        q.Add(sender, handler, nullptr, PR_ONNOTIFY);
    const auto handlers = [&] {
        std::string s;
        for (int i = 0; i < q.Count(); ++i) s += q.Items(i)->Handler + " ";
        return s;
    };
    q.FirstPending()->Level = 1;
    delete b;
    EXPECT_EQ(handlers(), "a1 a2 c1 a3 ");
    EXPECT_TRUE(q.HasPending(*a));
    delete a;
    EXPECT_EQ(handlers(), "a1 c1 ");
    EXPECT_EQ(q.FirstPending()->Handler, "c1");  // handed out, still pending
    q.ClearLevel(1);
    q.Add(c, "c2", nullptr, PR_ONIDLE);
    EXPECT_EQ(handlers(), "c1 c2 ");
    EXPECT_EQ(q.IndexOf(c, PR_ONIDLE), 1);
    EXPECT_TRUE(q.IsQueued(c, PR_ONNOTIFY));
    delete c;
    q.ClearTaken();
    EXPECT_EQ(q.Count(), 0);
}

// A recursive listing names each object before its children, the children of one parent in the
// order they were made, each name once without regard to case (counting the names the list
// had), and leaves out a deleted object with everything below it.
TEST_F(Scene, RecursiveNameListsWalkTheTreeInTheOrderObjectsWereMade) {
    const auto named = [&](TVelaControl* Parent, const char* Name) {
        TFillBox* box = Box(Parent, {0, 0, 1, 1});
        box->SetName(Name);
        return box;
    };
    TFillBox* p = named(Layer(0), "p");
    TFillBox* b = named(p, "b");
    TFillBox* a = named(p, "a");
    named(b, "bb");
    named(a, "B");
    TFillBox* gone = named(p, "gone");
    named(gone, "under");
    named(a, "ab");
    gone->Delete();
    TStringList list;
    list.Add("A");
    EXPECT_EQ(Bases->GetObjectNames(list, p, 0, true), 3);
    std::vector<std::string> names;
    for (int i = 0; i < list.Count(); ++i) names.push_back(list.Strings(i));
    EXPECT_EQ(names, (std::vector<std::string>{"A", "b", "bb", "ab"}));
}

// The objects taking part in the right-click selection stay in the order they came through
// removals anywhere, each once.
TEST_F(Scene, SelectingObjectsKeepTheirOrderThroughRemovals) {
    TVelaList& list = Bases->GetVelaList();
    std::vector<TCounter*> c;
    for (int i = 0; i < 6; ++i) list.AddOnce(c.emplace_back(Counter()));
    for (int i : {1, 2, 3, 4}) list.Remove(c[size_t(i)]);
    list.AddOnce(c[0]);
    TCounter* late = Counter();
    list.AddOnce(late);
    list.Remove(c[5]);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Items(0), c[0]);
    EXPECT_EQ(list.Items(1), late);
    list.Remove(c[0]);
    list.Remove(late);
    EXPECT_EQ(list.Count(), 0);
}

// References are checked against the flat list by serial: stale ones and mixed-up address and
// serial pairs fail wherever they sit in a long list.
TEST_F(Scene, ReferencesAreLiveExactlyWhileTheirObjectIsListed) {
    std::vector<TObjectRef> refs;
    for (int i = 0; i < 100; ++i) refs.push_back(Counter()->Ref());
    for (int i = 0; i < 100; i += 3) delete refs[size_t(i)].Object;
    for (int i = 0; i < 100; ++i) EXPECT_EQ(Bases->IsLive(refs[size_t(i)]), i % 3 != 0) << i;
    EXPECT_FALSE(Bases->IsLive({refs[1].Object, refs[2].Serial}));
    EXPECT_FALSE(Bases->IsLive({refs[2].Object, refs[1].Serial}));
    EXPECT_FALSE(Bases->IsLive({refs[4].Object, refs[3].Serial}));  // the next listed after a gone one
}

TEST_F(Scene, EventQueueStoredForm) {
    TTimerList& q = Bases->GetEvents();
    TMemoryStream empty;
    q.SaveToStream(empty);
    EXPECT_EQ(empty.Size(), 4);

    TCounter* a = Counter();
    TArrayString args;
    args.Add("x");
    q.Add(a, "page:label", &args, PR_ONRBTNUP);
    q.Add(nullptr, "other", nullptr, PR_ONNOTIFY);
    q.Items(0)->Level = 7;
    TMemoryStream s;
    q.SaveToStream(s);
    s.SetPosition(0);
    q.LoadFromStream(s, Version);
    ASSERT_EQ(q.Count(), 2);
    EXPECT_EQ(q.Items(0)->Sender, a->Ref());
    EXPECT_EQ(q.Items(0)->Level, 7);
    EXPECT_EQ(q.Items(0)->Kind, PR_ONRBTNUP);
    EXPECT_EQ(q.Items(0)->Args.Strings(0), "x");
    EXPECT_FALSE(q.Items(1)->Sender);
    EXPECT_EQ(q.Items(1)->Level, 0);

    // Events of the layers come back from the same layers, whichever is current.
    q.Clear();
    Bases->SetCurrentLayer(1);
    q.Add(Layer(1), "current", nullptr, PR_ONMOUSEIN);
    q.Add(Layer(0), "other", nullptr, PR_ONMOUSEIN);
    TMemoryStream layers;
    q.SaveToStream(layers);
    layers.SetPosition(0);
    q.LoadFromStream(layers, Version);
    ASSERT_EQ(q.Count(), 2);
    EXPECT_EQ(q.Items(0)->Sender, Layer(1)->Ref());
    EXPECT_EQ(q.Items(1)->Sender, Layer(0)->Ref());

    // Before version 114 the level is one byte.
    TMemoryStream old;
    WriteStreamInt(old, 1);
    WriteStreamString(old, "h");
    WriteStreamString(old, "object0");
    WriteStreamByte(old, PR_ONIDLE);
    WriteStreamByte(old, 9);
    WriteStreamInt(old, 0);
    old.SetPosition(0);
    q.LoadFromStream(old, 113);
    ASSERT_EQ(q.Count(), 1);
    EXPECT_EQ(q.Items(0)->Level, 1);
    EXPECT_EQ(q.Items(0)->Sender, a->Ref());

    TMemoryStream absurd;
    WriteStreamInt(absurd, 1000000);
    absurd.SetPosition(0);
    EXPECT_THROW(q.LoadFromStream(absurd, Version), EReadError);
}

TEST_F(Scene, IdleEventsQueueOncePerObject) {
    TCounter* a = Counter();
    a->Idle = "idle";
    Bases->Step();
    Bases->Step();
    EXPECT_EQ(Bases->GetEvents().Count(), 1);
    EXPECT_EQ(Bases->GetEvents().Items(0)->Kind, PR_ONIDLE);
}

TEST_F(Scene, WholeSceneSaveLoadSaveIsIdentical) {
    TFillBox* outer = Box(Layer(0), {10, 20, 200, 220}, 0x123456);
    outer->SetName("outer");
    TFillBox* inner2 = Box(outer, {1, 2, 3, 4});
    inner2->SetName("z");
    TFillBox* inner1 = Box(outer, {5, 6, 7, 8});
    inner1->SetName("a");
    inner1->SetPriority(5);
    inner1->SetTag("tagged");
    inner1->SetOnlbtndown("page:click");
    inner1->SetHandlekey(true);
    Box(inner1, {0, 0, 2, 2})->SetName("deep");
    Box(Layer(1), {0, 0, 640, 480})->SetName("back");
    Box(outer, {0, 0, 1, 1})->SetName("\x01system");  // never saved
    Box(outer, {0, 0, 1, 1})->Delete();                // never saved
    TCounter* counter = Counter();
    counter->SetName("timer");
    counter->Value = 42;
    Bases->GetEvents().Add(counter, "tick", nullptr, PR_ONNOTIFY);
    Bases->SetFocus(inner1);
    Bases->SetCurrentLayer(1);

    const std::string first = Save();
    Load(first);
    EXPECT_EQ(Save(), first);

    auto* a = Bases->FindControl("a");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->GetParent(), Bases->FindControl("outer"));
    EXPECT_EQ(a->GetParent()->GetControlCount(), 2);
    EXPECT_EQ(a->GetParent()->GetControl(1), a);  // priority 5 after z
    EXPECT_EQ(Bases->FindControl("deep")->GetParent(), a);
    EXPECT_EQ(a->GetTag(), "tagged");
    EXPECT_EQ(Bases->GetFocus(), a);
    EXPECT_EQ(Bases->GetCurrentLayer(), 1);
    auto* timer = static_cast<TCounter*>(Bases->FindObject("timer"));
    ASSERT_NE(timer, nullptr);
    EXPECT_EQ(timer->Value, 42);
    EXPECT_EQ(Bases->GetEvents().Items(0)->Sender, timer->Ref());

    // Nothing focused saves an empty name, which loads as no focus.
    Bases->SetFocus(nullptr);
    Load(Save());
    EXPECT_EQ(Bases->GetFocus(), nullptr);

    // A type code without a kind cannot be read past.
    RegisterObjectKind(LT_TIMER, nullptr);
    EXPECT_THROW(Load(first), EReadError);
}

// A chain of boxes nests MaxObjectDepth deep and no deeper, whether made by parenting or read
// from a saved scene.
TEST_F(Scene, ControlsNestAtMostMaxObjectDepthDeep) {
    const auto chain = [&](int32_t Depth) {
        TVelaControl* parent = Layer(0);
        for (int32_t i = 0; i < Depth; ++i) {
            parent = Box(parent, {0, 0, 1, 1});
            parent->SetName("link");
        }
        return parent;
    };
    const std::string shorter = (chain(MaxObjectDepth - 1), Save());
    Bases->Clear();
    TVelaControl* deepest = chain(MaxObjectDepth);
    EXPECT_EQ(deepest->GetDepth(), MaxObjectDepth);
    TFillBox* loose = Box(nullptr, {0, 0, 1, 1});
    EXPECT_THROW(loose->SetParent(deepest), EObjectDepthError);
    EXPECT_EQ(loose->GetParent(), nullptr);
    TFillBox* pair = Box(Layer(1), {0, 0, 1, 1});
    Box(pair, {0, 0, 1, 1});
    EXPECT_THROW(pair->SetParent(deepest->GetParent()), EObjectDepthError);  // its child would be too deep
    loose->Delete();
    pair->Delete();
    Bases->Step();
    const std::string deepestScene = Save();
    Load(deepestScene);
    EXPECT_EQ(Save(), deepestScene);

    // One more link, spliced in where the scenes of 255 and 256 links differ, cannot be read.
    const size_t same = size_t(std::mismatch(shorter.begin(), shorter.end(), deepestScene.begin()).first - shorter.begin());
    const std::string link = deepestScene.substr(same, deepestScene.size() - shorter.size());
    ASSERT_EQ(deepestScene, shorter.substr(0, same) + link + shorter.substr(same));
    EXPECT_THROW(Load(deepestScene.substr(0, same) + link + deepestScene.substr(same)), EReadError);
}

TEST_F(Scene, OldRecordsSkipLaterFields) {
    TMemoryStream s;
    WriteStreamString(s, "old");
    WriteStreamInt(s, 9);
    s.SetPosition(0);
    TCounter c(Bases);
    c.SetTag("x");
    c.TVelaComponent::LoadFromStream(s, 103);
    EXPECT_EQ(c.GetName(), "old");
    EXPECT_EQ(c.GetPriority(), 9);
    EXPECT_EQ(c.GetSubPriority(), 0);
    EXPECT_EQ(s.Remaining(), 0);
}

TEST_F(Scene, BaseAnswers) {
    TCounter c(Bases);
    EXPECT_EQ(c.GetColor(), 0xFFFFFF);
    EXPECT_EQ(c.GetIndex(), -1);
    EXPECT_EQ(c.GetPlayState(), 2);
    EXPECT_TRUE(c.GetRewindonload());
    c.SetText("abc");  // ignored
    EXPECT_EQ(c.GetPlainText(), "");
    struct TAngled : TVelaComponent {
        using TVelaComponent::TVelaComponent;
        int32_t GetAngle() const override { return A; }
        void SetAngle(int32_t V) override { A = V; }
        int32_t A = 255;
    } t(Bases);
    EXPECT_EQ(t.GetFloatangle(), 2 * std::numbers::pi_v<long double>);
    t.SetFloatangle(std::numbers::pi_v<long double>);
    EXPECT_EQ(t.A, 128);  // 127.5 to even
}

TEST_F(Scene, DrawsLayerColourAndControlsIntoDirtyRectangles) {
    Layer(0)->SetColor(0x000080);
    TFillBox* box = Box(Layer(0), {10, 10, 110, 60});
    TFillBox* hidden = Box(box, {20, 20, 40, 40}, 0xFF0000);
    hidden->SetVisible(false);
    Layer(0)->InvalidateAll();
    Bases->Prepare();
    TCustomDIBX* screen = Bases->GetSurface();
    const uint32_t layerColour = screen->ColorToPixel(0x000080), boxColour = screen->ColorToPixel(0x00FF00);
    EXPECT_EQ(screen->GetPixel(0, 0), layerColour);
    EXPECT_EQ(screen->GetPixel(639, 479), layerColour);
    EXPECT_EQ(screen->GetPixel(10, 10), boxColour);
    EXPECT_EQ(screen->GetPixel(25, 25), boxColour);  // the hidden child is not drawn
    EXPECT_EQ(screen->GetPixel(109, 59), boxColour);
    EXPECT_EQ(screen->GetPixel(110, 59), layerColour);

    // Only the dirty rectangles are drawn again.
    Layer(0)->ClipList.Clear();
    screen->SetPixel(600, 400, 0);
    box->SetLeft(300);
    Bases->Prepare();
    EXPECT_EQ(screen->GetPixel(10, 10), layerColour);
    EXPECT_EQ(screen->GetPixel(300, 10), boxColour);
    EXPECT_EQ(screen->GetPixel(600, 400), 0u);
    // The other layer draws into its own surface.
    EXPECT_EQ(Layer(1)->GetSurface(), &Layer(1)->Surface);
}

}  // namespace
