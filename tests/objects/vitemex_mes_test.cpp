// The message window over scripted ticks of 15 ms on the fake font service: the event protocol
// (play start holding the reveal, the revealed text, one end per page, notifications, the link
// click), the properties that gate or reset, the pointer passing through plain text, the window
// record against tests/tools/mes_records.py and the restore of a page left mid-reveal.
#include "objects/vitemex_mes.h"
#include "tests/objects/clock_host.h"

#include "core/streams.h"
#include "objects/vitemex_read.h"
#include "objects/vitems_kinds.h"
#include "script/params_props.h"
#include "script/params_values.h"
#include "tests/common/fixture.h"
#include "text/fontpixels.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

class MesWindow : public ::testing::Test {
protected:
    void SetUp() override {
        CreateScriptServices();
        SetScriptHost(std::make_unique<TClockHost>(15));
        VelaInitialize();
        Bases->SetWidth(200);
        Bases->SetHeight(100);
        FontPixelManager = new TFontPixelManager(platform::CreateFakeFontService);
        Mes = Window();
    }
    void TearDown() override {
        delete FontPixelManager;
        FontPixelManager = nullptr;
        VelaFinalize();
        FreeScriptServices();
    }
    // A 120 x 40 window at (10, 20) on layer 0, 16-pixel text revealed at the glyphs' own waits.
    static TVelaMes* Window() {
        auto* mes = new TVelaMes(Bases, false);
        mes->SetName("message");
        mes->SetParent(Bases->GetBase(0));
        mes->SetLeft(10);
        mes->SetTop(20);
        mes->SetWidth(120);
        mes->SetHeight(40);
        mes->SetFontheight(16);
        mes->SetTextdelay(256);
        return mes;
    }
    // The queued events of Kind, each as its arguments joined by "|".
    static std::vector<std::string> Queued(uint8_t Kind) {
        std::vector<std::string> out;
        const TTimerList& events = Bases->GetEvents();
        for (int i = 0; i < events.Count(); ++i) {
            const TTimerData& e = *events.Items(i);
            if (e.Kind != Kind) continue;
            std::string args;
            for (int a = 0; a < e.Args.Count(); ++a) args += (a ? "|" : "") + e.Args.Strings(a);
            out.push_back(args);
        }
        return out;
    }
    // Ticks until the page is revealed (at most Limit).
    void RevealAll(int Limit = 100) {
        for (int i = 0; i < Limit && Mes->GetPlayState() == 0; ++i) Mes->Step();
        ASSERT_EQ(Mes->GetPlayState(), 2);
    }
    static std::string Saved(TVelaObject& Obj) {
        TMemoryStream s;
        Obj.SaveToStream(s);
        return Bytes(s);
    }
    TVelaMes* Mes = nullptr;
};

TEST_F(MesWindow, PlayStartHoldsTheRevealAndEveryPageEndsOnce) {
    Mes->SetOnplaystart("start");
    Mes->SetOnplaying("playing");
    Mes->SetOnplayend("end");
    Mes->SetText("<WAIT VALUE=30>ab<BR CLEAR>cd</WAIT>");
    ASSERT_EQ(Mes->GetCount(), 2);
    EXPECT_EQ(Queued(PR_ONPLAYSTART), std::vector<std::string>{"0"});
    for (int i = 0; i < 10; ++i) Mes->Step();
    EXPECT_EQ(Mes->GetText(), "");  // nothing moves while the play start waits
    EXPECT_TRUE(Queued(PR_ONPLAYING).empty());

    Bases->GetEvents().Clear();
    for (int i = 0; i < 60; ++i) Mes->Step();
    // Each tick's reveal arrives, also while an earlier one still waits for its handler.
    EXPECT_EQ(Queued(PR_ONPLAYING), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(Queued(PR_ONPLAYEND), std::vector<std::string>{""});
    EXPECT_EQ(Mes->GetText(), "ab\r\n");
    EXPECT_TRUE(Mes->GetPlaying());  // another page follows

    Bases->GetEvents().Clear();
    for (int32_t i : {0, 2, -1}) Mes->SetIndex(i);
    EXPECT_TRUE(Queued(PR_ONPLAYSTART).empty());
    Mes->SetIndex(1);
    EXPECT_EQ(Queued(PR_ONPLAYSTART).size(), 1u);
    Bases->GetEvents().Clear();
    RevealAll();
    EXPECT_EQ(Mes->GetText(), "cd");
    EXPECT_FALSE(Mes->GetPlaying());
}

TEST_F(MesWindow, APageRevealedToItsEndCountsAsReadWhenShownAgain) {
    Mes->SetOnplaystart("start");
    Mes->SetTextdelay(0);
    Mes->SetText("ab<BR CLEAR>cd");
    Mes->SourceMode = TVelaMes::smRecorded;
    Mes->PageFile = "story.vsb";
    Mes->CommandIndex = 3;
    Mes->SetIndex(1);
    EXPECT_FALSE(TextRead->IsRead("story.vsb", 3, 1));
    Bases->GetEvents().Clear();
    RevealAll();
    Mes->Step();  // the tick that finds the page finished
    EXPECT_TRUE(TextRead->IsRead("story.vsb", 3, 1));
    Mes->SetIndex(0);
    Mes->SetIndex(1);
    EXPECT_EQ(Queued(PR_ONPLAYSTART), (std::vector<std::string>{"0", "1"}));
}

TEST_F(MesWindow, EachEventGlyphNotifiesTheScriptOnce) {
    Mes->SetText("a<EVENT VALUE=\"x\"><EVENT VALUE=\"y\\nz\">b");
    RevealAll();
    EXPECT_TRUE(Queued(PR_ONNOTIFY).empty());  // no handler, no callback

    Mes->SetOnnotify("notify");
    Mes->SetText("a<EVENT VALUE=\"x\"><EVENT VALUE=\"x\"><EVENT VALUE=\"y\\nz\">b");
    RevealAll();
    EXPECT_EQ(Queued(PR_ONNOTIFY), (std::vector<std::string>{"x", "x", "y|z"}));
}

TEST_F(MesWindow, TextOfNoPageAndTheTextPropertyReset) {
    Mes->SetOnplaystart("start");
    Mes->SourceMode = TVelaMes::smRecorded;
    TParamStr empty;
    empty.SetStr("");
    SetObjectProp(*Mes, PR_TEXT, empty);
    EXPECT_EQ(Mes->SourceMode, TVelaMes::smDirect);
    EXPECT_EQ(Mes->GetCount(), 0);
    EXPECT_EQ(Mes->GetIndex(), 0);
    EXPECT_FALSE(Mes->GetPlaying());
    EXPECT_EQ(Mes->GetPlayState(), 2);
    EXPECT_TRUE(Queued(PR_ONPLAYSTART).empty());

    Mes->SetFontchangeabled(false);
    Mes->SetFontname("face");
    EXPECT_NE(Mes->GetFontname(), "face");
    Mes->SetFontchangeabled(true);
    Mes->SetFontname("face");
    EXPECT_EQ(Mes->GetFontname(), "face");
}

TEST_F(MesWindow, ALinkClickQueuesItsTextAndTargetOnce) {
    Mes->SetOnlink("link");
    Mes->SetTextdelay(0);
    Mes->SetText("<A HREF=\"go\\nnext\">ln</A>x");
    TVelaBase& layer = *Bases->GetBase(0);
    layer.MousePos = {12, 22};  // over "l"
    Mes->Step();
    Mes->DoMouseMove();  // still revealing: no link answers
    Mes->DoLBtnDown();
    EXPECT_TRUE(Queued(PR_ONLINK).empty());

    RevealAll();
    Mes->DoMouseMove();
    layer.LeftPressed = true;
    Mes->DoLBtnDown();
    Mes->DoLBtnDown();
    EXPECT_EQ(Queued(PR_ONLINK), std::vector<std::string>{"ln|go|next"});
    EXPECT_FALSE(layer.LeftPressed);

    // With capture link on only link text takes the pointer: a press on plain text reaches the
    // box underneath.
    auto* box = new TVelaBox(Bases);
    box->SetParent(&layer);
    box->SetBounds(0, 0, 200, 100);
    box->SetPriority(-1);
    box->SetOnlbtndown("under");
    Bases->GetEvents().Clear();
    Mes->SetCapturelink(true);
    for (TPoint at : {TPoint{12, 22}, TPoint{50, 22}}) {
        layer.MousePos = at;
        layer.LeftLatch = layer.LeftHeld = true;
        layer.UpdateMouse();
    }
    EXPECT_EQ(Queued(PR_ONLINK).size(), 1u);
    EXPECT_EQ(Queued(PR_ONLBTNDOWN).size(), 1u);
    EXPECT_EQ(Bases->GetEvents().Items(1)->Sender.Object, box);
    Mes->SetCapturelink(false);
    EXPECT_EQ(Mes->HitTest({50, 22}, 0xFF), Mes);
    Mes->SetIgnoremouse(8);
    EXPECT_EQ(Mes->HitTest({12, 22}, 0xFF), nullptr);
}

TEST_F(MesWindow, TheRevealDrawsInsideTheWindowOnly) {
    TCustomDIBX& screen = *Bases->GetSurface();
    screen.SetSize(200, 100, 32);
    Mes->SetFontcolor(0xFFFFFF);
    Mes->SetText("<WAIT VALUE=30>abcdefghijkl</WAIT>");
    auto lit = [&] {
        screen.Fill(0);
        Bases->GetBase(0)->SetColor(-1);
        Bases->GetBase(0)->InvalidateAll();
        Bases->Prepare();
        int n = 0;
        for (int32_t y = 0; y < 100; ++y)
            for (int32_t x = 0; x < 200; ++x)
                if (screen.GetPixel(x, y) & 0xFFFFFF) {
                    EXPECT_TRUE(PointInRect({10, 20, 130, 60}, x, y)) << x << ", " << y;
                    ++n;
                }
        return n;
    };
    for (int i = 0; i < 8; ++i) Mes->Step();
    const int early = lit();
    RevealAll();
    EXPECT_GT(early, 0);
    EXPECT_GT(lit(), early);
}

TEST_F(MesWindow, RecordsOfEveryVersionReadAsTheReferenceSays) {
    const std::vector<ReferenceRecord> records = ReferenceRecords("mes_records.py");
    for (const ReferenceRecord& r : records) {
        SCOPED_TRACE(r.version);
        TVelaMes read(Bases, false);
        ExpectReadsAsReferenced(read, r);
        EXPECT_EQ(read.BuildPosition, r.version >= 113 ? -8 : 0);
        EXPECT_EQ(read.GetOnidle(), r.version >= 104 ? "idle" : "");
        EXPECT_EQ(read.GetCapturelink(), r.version >= 120);
    }
    EXPECT_EQ(records.size(), 4u);
}

TEST_F(MesWindow, ADamagedRecordChangesNothing) {
    Mes->SetText("ab");
    const std::string saved = Saved(*Mes);
    Mes->SetOnlink("kept");
    // The page-state block claims one byte more than the record holds.
    TMemoryStream states;
    for (int i = 0; i < Mes->GetCount(); ++i) Mes->GetPages().Items(i)->SaveState(states);
    const int32_t n = int32_t(states.Size());
    std::string longer = saved;
    const int32_t claimed = n + 1;
    longer.replace(longer.size() - n - 4, 4, reinterpret_cast<const char*>(&claimed), 4);
    TMemoryStream bad = StreamOf(longer);
    EXPECT_THROW(Mes->LoadFromStream(bad, GameSaveVersion), EReadError);
    EXPECT_EQ(Mes->GetOnlink(), "kept");
    for (size_t cut : {size_t(1), size_t(5), saved.size() / 2}) {
        TMemoryStream s = StreamOf(saved.substr(0, saved.size() - cut));
        EXPECT_THROW(Mes->LoadFromStream(s, GameSaveVersion), EReadError) << cut;
        EXPECT_EQ(Mes->GetOnlink(), "kept");
    }
}

TEST_F(MesWindow, ALoadMidPageRestoresPageAndReveal) {
    Mes->SetText("<WAIT VALUE=30>abc<BR CLEAR>defghi</WAIT>");
    Mes->SetIndex(1);
    for (int i = 0; i < 7; ++i) Mes->Step();
    const std::string shown = Mes->GetText();
    ASSERT_FALSE(shown.empty());
    ASSERT_LT(shown.size(), 6u);
    TMemoryStream s = StreamOf(Saved(*Mes));

    TVelaMes* loaded = Window();
    loaded->LoadFromStream(s, GameSaveVersion);
    loaded->RestoreAfterLoad();
    EXPECT_EQ(loaded->GetIndex(), 1);
    EXPECT_EQ(loaded->GetText(), shown);
    EXPECT_EQ(loaded->GetPlayState(), 0);
    for (int i = 0; i < 60; ++i) loaded->Step();
    EXPECT_EQ(loaded->GetText(), "defghi");
}

TEST_F(MesWindow, TheHistoryShowsItsEntriesInTheWindow) {
    TVelaNewHistory& history = TextHistoryFormats->GetItem(0).History();
    for (int32_t i = 0; i < 4; ++i) history.Entries.Add("missing.vsb", i, 0, {120, 40});
    TVelaControl other(Bases, false);
    history.ShowInMessage(1, 2, other);  // another kind: nothing
    history.ShowInMessage(1, 5, *Mes);
    EXPECT_EQ(Mes->SourceMode, TVelaMes::smHistory);
    ASSERT_EQ(Mes->MesData.Entries.Count(), 3);
    EXPECT_EQ(Mes->MesData.Entries.GetItem(0).CommandIndex, 1);
    EXPECT_EQ(Mes->MesData.Entries.GetName(2), "missing.vsb");
    EXPECT_EQ(Mes->GetIndex(), 0);  // shown at once
    EXPECT_EQ(Mes->GetText(), "");  // its page file is gone: nothing to show
}

}  // namespace
