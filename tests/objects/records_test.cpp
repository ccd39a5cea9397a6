// The stored records of the scene against an independent writer (tests/tools/scene_records.py):
// objects built here save as it lays them out, and what it lays out for each save version reads
// to its end into objects that save as it says a reader of that version gets.
#include "objects/vitems_kinds.h"

#include "core/streams.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>

namespace {

constexpr int32_t Newest = 144;

class TClockHost : public TScriptHost {
public:
    uint32_t LoopTime() override { return Clock; }
    uint32_t Clock = 0;
};

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
    static void SetHandlers(TVelaControl& C, const std::vector<std::string>& Texts) {
        const std::vector<void (TVelaControl::*)(const std::string&)> setters = {
            &TVelaControl::SetCursor,    &TVelaControl::SetOnmousemove, &TVelaControl::SetOnmousein,
            &TVelaControl::SetOnmouseout, &TVelaControl::SetOnlbtndown, &TVelaControl::SetOnlbtnup,
            &TVelaControl::SetOnrbtndown, &TVelaControl::SetOnrbtnup,   &TVelaControl::SetOnwheeldown,
            &TVelaControl::SetOnwheelup, &TVelaControl::SetOnkeydown,  &TVelaControl::SetOnkeyup,
            &TVelaControl::SetOnkeyrepeat, &TVelaControl::SetOnfocusin, &TVelaControl::SetOnfocusout};
        for (size_t i = 0; i < Texts.size(); ++i) (C.*setters[i])(Texts[i]);
    }
    // Every field a control record holds, in record order: base, rectangle and offsets, film
    // position and plus, clip, flags, colour, area.
    static void SetControl(TVelaControl& C, const std::vector<int32_t>& V) {
        C.SetPriority(V[0]);
        C.SetSubPriority(V[1]);
        C.SetBounds(V[2], V[3], V[4], V[5]);
        C.SetOffsetx(V[6]);
        C.SetOffsety(V[7]);
        C.SetPoszoomed(V[8]);
        C.SetControlValue(V[9]);
        C.SetControlValue2(V[10]);
        C.SetPlusx(V[11]);
        C.SetPlusy(V[12]);
        C.SetClipleft(V[13]);
        C.SetCliptop(V[14]);
        C.SetClipwidth(V[15]);
        C.SetClipheight(V[16]);
        C.SetAnipaused(V[17]);
        C.SetVisible(V[18]);
        C.SetColor(V[19]);
        C.SetAreaRect({V[20], V[21], V[22], V[23]});
        C.SetIgnoremouse(V[24]);
        C.SetHandlekey(V[25]);
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
        EXPECT_EQ(versions, 8);
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
    SetControl(*c, {7, 3, 11, 12, 13, 14, 15, 16, 1, 17, 18, 19, 20, 21, 22, 23, 24, 1, 0, 0x123456, 25, 26, 27, 28, 2, 1});
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
    SetControl(*b, {-2, 1, -5, 6, 70, 80, 1, 2, 0, 3, 4, 5, 6, 7, 8, 9, 10, 1, 1, 0xABCDEF, 1, 2, 3, 4, 1, 1});
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
