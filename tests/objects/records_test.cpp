// The stored records of the scene against an independent writer (tests/tools/scene_records.py):
// objects built here save as it lays them out, and what it lays out for each save version reads
// to its end into objects that save as it says a reader of that version gets.
#include "objects/vitems_kinds.h"
#include "tests/objects/clock_host.h"

#include "core/streams.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <sstream>

namespace {

constexpr int32_t Newest = 144;

std::string Saved(TVelaObject& Obj) {
    TMemoryStream s;
    Obj.SaveToStream(s);
    return Bytes(s);
}

class Records : public ::testing::Test {
protected:
    void SetUp() override {
        CreateScriptServices();
        auto host = std::make_unique<TClockHost>();
        Host = host.get();
        SetScriptHost(std::move(host));
        VelaInitialize();
        Bases->SetWidth(640);
        Bases->SetHeight(480);
    }
    void TearDown() override {
        VelaFinalize();
        FreeScriptServices();
    }
    template <typename T = TVelaBox>
    T* Make(uint8_t Code, TVelaControl* Parent, const std::string& Name) {
        auto* obj = static_cast<T*>(Bases->CreateObject(Code));
        if (Parent) obj->SetParent(Parent);
        obj->SetName(Name);
        return obj;
    }
    // The cursor and the handlers of a control record, in record order; those not given stay empty.
    static void SetHandlers(TVelaControl& C, const std::vector<std::string>& Texts) {
        using TSetter = void (TVelaControl::*)(const std::string&);
        constexpr TSetter setters[] = {
            &TVelaControl::SetCursor,     &TVelaControl::SetOnmousemove, &TVelaControl::SetOnmousein,
            &TVelaControl::SetOnmouseout, &TVelaControl::SetOnlbtndown,  &TVelaControl::SetOnlbtnup,
            &TVelaControl::SetOnrbtndown, &TVelaControl::SetOnrbtnup,    &TVelaControl::SetOnwheeldown,
            &TVelaControl::SetOnwheelup,  &TVelaControl::SetOnkeydown,   &TVelaControl::SetOnkeyup,
            &TVelaControl::SetOnkeyrepeat, &TVelaControl::SetOnfocusin,  &TVelaControl::SetOnfocusout};
        for (size_t i = 0; i < Texts.size(); ++i) (C.*setters[i])(Texts[i]);
    }
    // The numbers and flags of a control record.
    struct TControlFields {
        int32_t Priority = 0, Sub = 0, Left = 0, Top = 0, Width = 0, Height = 0, OffsetX = 0, OffsetY = 0;
        bool PosZoomed = false;
        int32_t FilmX = 0, FilmY = 0, PlusX = 0, PlusY = 0;
        std::array<int32_t, 4> Clip{};  // left, top, width, height
        bool AniPaused = false, Visible = true;
        int32_t Color = 0xFFFFFF;
        TRect Area{0, 0, 1, 1};
        int32_t IgnoreMouse = 0;
        bool HandleKey = false;
    };
    static void SetControl(TVelaControl& C, const TControlFields& F) {
        C.SetPriority(F.Priority);
        C.SetSubPriority(F.Sub);
        C.SetBounds(F.Left, F.Top, F.Width, F.Height);
        C.SetOffsetx(F.OffsetX);
        C.SetOffsety(F.OffsetY);
        C.SetPoszoomed(F.PosZoomed);
        C.SetControlValue(F.FilmX);  // after the position, which resets it
        C.SetControlValue2(F.FilmY);
        C.SetPlusx(F.PlusX);
        C.SetPlusy(F.PlusY);
        C.SetClipleft(F.Clip[0]);
        C.SetCliptop(F.Clip[1]);
        C.SetClipwidth(F.Clip[2]);
        C.SetClipheight(F.Clip[3]);
        C.SetAnipaused(F.AniPaused);
        C.SetVisible(F.Visible);
        C.SetColor(F.Color);
        C.SetAreaRect(F.Area);
        C.SetIgnoremouse(F.IgnoreMouse);
        C.SetHandlekey(F.HandleKey);
    }

    // Built is what the objects made by the test saved; Read loads a stored form of a version
    // and answers what the loaded objects save.
    static void ExpectReference(const std::string& Kind, const std::string& Built,
                                const std::function<std::string(TStream&, int32_t)>& Read) {
        int versions = 0;
        for (const std::string& line : Lines(PythonOutput("scene_records.py", {Kind}))) {
            std::istringstream fields(line);
            int32_t version = 0;
            std::string stored, asRead;
            fields >> version >> stored >> asRead;
            SCOPED_TRACE(version);
            if (version == Newest) {
                EXPECT_EQ(ToHex(Built), ToHex(FromHex(stored)));
            }
            TMemoryStream s = StreamOf(FromHex(stored));
            EXPECT_EQ(ToHex(Read(s, version)), ToHex(FromHex(asRead)));
            EXPECT_EQ(s.Remaining(), 0);
            ++versions;
        }
        EXPECT_EQ(versions, 8);  // 101 to 144, each side of every gate
    }
    // A new object of Code (a plain control for LT_NONE) reads the record.
    static std::function<std::string(TStream&, int32_t)> ReadInto(uint8_t Code) {
        return [Code](TStream& S, int32_t Version) {
            std::unique_ptr<TVelaObject> obj(Code == LT_NONE ? new TVelaControl(Bases) : Bases->CreateObject(Code));
            obj->LoadFromStream(S, Version);
            return Saved(*obj);
        };
    }

    TClockHost* Host = nullptr;
};

TEST_F(Records, ControlWithItsSavedChildren) {
    auto* c = new TVelaControl(Bases);
    c->SetName("c");
    c->SetTag("札");
    SetControl(*c, {.Priority = 7, .Sub = 3, .Left = 11, .Top = 12, .Width = 13, .Height = 14, .OffsetX = 15,
                    .OffsetY = 16, .PosZoomed = true, .FilmX = 17, .FilmY = 18, .PlusX = 19, .PlusY = 20,
                    .Clip = {21, 22, 23, 24}, .AniPaused = true, .Visible = false, .Color = 0x123456,
                    .Area = {25, 26, 27, 28}, .IgnoreMouse = 2, .HandleKey = true});
    SetHandlers(*c, {"cur", "mm", "mi", "mo", "ld", "lu", "rd", "ru", "wd", "wu", "kd", "ku", "kr", "fi", "fo"});
    Make(LT_BOX, c, "k");
    // Not saved: a system object, an object without a type code, a deleted one.
    Make(LT_BOX, c, "\x01sys");
    (new TVelaControl(Bases))->SetParent(c);
    Make(LT_BOX, c, "gone")->Delete();
    const std::string built = Saved(*c);
    delete c;
    ExpectReference("control", built, ReadInto(LT_NONE));
}

TEST_F(Records, Box) {
    TVelaBox* b = Make(LT_BOX, nullptr, "b");
    b->SetTag("t");
    SetControl(*b, {.Priority = -2, .Sub = 1, .Left = -5, .Top = 6, .Width = 70, .Height = 80, .OffsetX = 1,
                    .OffsetY = 2, .FilmX = 3, .FilmY = 4, .PlusX = 5, .PlusY = 6, .Clip = {7, 8, 9, 10},
                    .AniPaused = true, .Color = 0xABCDEF, .Area = {1, 2, 3, 4}, .IgnoreMouse = 1, .HandleKey = true});
    SetHandlers(*b, {"c", "", "in", "", "", "", "", "", "", "", "", "up"});
    b->SetBorderwidth(3);
    b->SetBordercolor(0x00FF00);
    b->SetAlpha(300);
    b->SetOnidle("idle");
    b->SetSource("pic.bmp");
    b->SetRepeat(true);
    b->SetOnplayend("end");
    b->SetPaused(true);
    b->SetBlurspan(50);
    b->SetBlurdelay(500);
    const std::string built = Saved(*b);
    delete b;
    ExpectReference("box", built, ReadInto(LT_BOX));
}

TEST_F(Records, Timer) {
    auto* t = Make<TVelaTimer>(LT_TIMER, nullptr, "t");
    t->SetPriority(4);
    t->SetSubPriority(9);
    t->SetTag("x");
    t->SetOnnotify("n.vsb");
    t->SetDelay(100);
    Host->Clock = 100;
    t->Step();  // fires
    t->SetPaused(true);
    const std::string built = Saved(*t);
    delete t;
    ExpectReference("timer", built, ReadInto(LT_TIMER));
}

TEST_F(Records, Scene) {
    Bases->SetCurrentLayer(1);
    TVelaBox* s = Make(LT_BOX, Bases->GetBase(0), "s");
    s->SetBounds(1, 2, 3, 4);
    s->SetHandlekey(true);
    Make(LT_BOX, s, "s2");
    TVelaBase* layer1 = Bases->GetBase(1);
    layer1->SetColor(0x102030);
    SetHandlers(*layer1, {"arrow.cur", "", "", "", "click.vsb"});
    auto* t = Make<TVelaTimer>(LT_TIMER, nullptr, "t");
    t->SetOnnotify("n.vsb");
    t->SetDelay(100);
    TArrayString args;
    args.Add("1");
    args.Add("2");
    TTimerList& events = Bases->GetEvents();
    events.Add(t, "n.vsb", nullptr, PR_ONNOTIFY);
    events.Add(s, "h.vsb:l", &args, PR_ONLBTNDOWN);
    events.Items(1)->Level = 2;
    Bases->SetFocus(s);
    ExpectReference("root", Saved(*Bases), [](TStream& S, int32_t Version) {
        Bases->LoadFromStream(S, Version);
        return Saved(*Bases);
    });
}

// The player never stores a system object: a record that holds one, as a control's child or in
// the scene's list, is damaged.
TEST_F(Records, StoredSystemObjectsAreRefused) {
    Make(LT_BOX, Bases->GetBase(0), "?kid");
    Make<TVelaTimer>(LT_TIMER, nullptr, "?tim");
    const std::string scene = Saved(*Bases);
    for (const std::string name : {"?kid", "?tim"}) {
        std::string damaged = scene;
        damaged[damaged.find(name)] = SystemNameMark;
        TMemoryStream s = StreamOf(damaged);
        EXPECT_THROW(Bases->LoadFromStream(s, Newest), EReadError) << name;
    }
}

TEST_F(Records, SceneLargerThanTheScreenIsRefusedBeforeItIsSized) {
    Make(LT_BOX, Bases->GetBase(0), "kept");
    TMemoryStream s;
    for (int32_t v : {640, 481, 0}) WriteStreamInt(s, v);  // cut after the current layer
    s.SetPosition(0);
    EXPECT_THROW(Bases->LoadFromStream(s, Newest), EReadError);
    EXPECT_EQ(Bases->GetBase(0)->Surface.GetHeight(), 480);
    EXPECT_NE(Bases->FindControl("kept"), nullptr);  // the scene was not cleared
}

}  // namespace
