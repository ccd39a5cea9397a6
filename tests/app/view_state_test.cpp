// The system variables over the player's live state: the current layer's pointer after the
// tick's input step, the keys, the focus, the clock, the project and the fonts, and the writes
// that go to the main window.
#include "app/view_state.h"

#include "core/stringlist.h"
#include "core/sysutils.h"
#include "media/mediaman.h"
#include "objects/vitems.h"
#include "platform/fs.h"
#include "platform/midiout.h"
#include "script/params_vars.h"
#include "script/project.h"
#include "tests/common/fixture.h"
#include "text/fontpixels.h"
#include "text/histories.h"
#include "text/packfonts.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace {

class FormState : public ::testing::Test {
protected:
    void SetUp() override {
        VelaInitialize();
        Bases->SetWidth(320);
        Bases->SetHeight(240);
        CreateParamMan();
        ParamMan->SetState(&state);
        state.Hooks.SetMouseX = [this](int32_t X) { calls.push_back("x" + IntToStr(X)); };
        state.Hooks.SetMouseY = [this](int32_t Y) { calls.push_back("y" + IntToStr(Y)); };
        state.Hooks.SetFullScreen = [this](bool Full) { calls.push_back(Full ? "full" : "window"); };
        state.Hooks.ChangeDisplayMode = [this] { calls.push_back("mode"); };
    }
    void TearDown() override {
        Project = nullptr;
        FreeParamMan();
        VelaFinalize();
    }

    TCustomParam& Sys(const char* Name) { return ParamMan->Find(Name)->Value(); }

    TLoopClock clock;
    TLoopNow now{clock, [] { return TClockSample{2024, 2, 29, 5, 13, 14, 15}; }};
    TFormPlayerState state{clock, now};
    std::vector<std::string> calls;
};

TEST_F(FormState, ReadsTheLiveState) {
    // The window latched input on the current layer (1); layer 0 holds other values.
    Bases->SetCurrentLayer(1);
    TVelaBase& layer = *Bases->GetBase(1);
    Bases->GetBase(0)->SetMousePos({1, 2});
    layer.SetMousePos({12, 34});
    layer.LeftLatch = true;
    layer.LeftHeld = Bases->GetBase(0)->LeftHeld = true;
    layer.WheelDownLatch = true;
    Bases->SetKeyState(13, true);
    Bases->SetKeyLatch(13, true);
    // The tick's input step runs before the script.
    Bases->Update(0);
    clock.LoopTime = 1234;
    clock.FrameCounter = 56;
    TProject project;
    project.Width = 640;
    project.Height = 480;
    project.Title = "サンプル";
    Project = &project;

    struct Row {
        const char* Name;
        std::optional<int32_t> Element;
        std::string Text;
    };
    const Row rows[] = {
        {"@LClick", {}, "TRUE"},     {"@RClick", {}, "FALSE"},     {"@LPush", {}, "TRUE"},
        {"@MouseX", {}, "12"},       {"@MouseY", {}, "34"},        {"@WheelDown", {}, "TRUE"},
        {"@KeyPush", 256, "TRUE"},   {"@KeyPush", 257, "FALSE"},   {"@KeyPush", 13, "TRUE"},
        {"@KeyClick", 13, "TRUE"},   {"@KeyRepeat", 13, "TRUE"},   {"@TickCount", {}, "1234"},
        {"@UpdateCount", {}, "56"},  {"@Year", {}, "2024"},        {"@Sec", {}, "15"},
        {"@ScrWidth", {}, "640"},    {"@ScrHeight", {}, "480"},    {"@Title", {}, "サンプル"},
        {"@FullScr", {}, "FALSE"},   {"@DisplayModeCount", {}, "0"}, {"@ActiveCompo", {}, ""},
    };
    for (const Row& row : rows) {
        TCustomParam& value = Sys(row.Name);
        EXPECT_EQ(row.Element ? value.GetStrAt(*row.Element) : value.AsStr(), row.Text) << row.Name;
    }

    // The next step clears what the window latched only once.
    Bases->Update(15);
    EXPECT_FALSE(Sys("@LClick").AsBool());
    EXPECT_FALSE(Sys("@WheelDown").AsBool());
    EXPECT_FALSE(Sys("@KeyClick").GetBoolAt(13));
    EXPECT_TRUE(Sys("@KeyPush").GetBoolAt(13));
}

TEST_F(FormState, WritesGoToTheLayerTheRootAndTheWindow) {
    TVelaBase& layer = *Bases->GetBase(0);
    layer.RightLatch = true;
    Bases->Update(0);
    Sys("@RClick").SetBool(false);
    EXPECT_FALSE(layer.RightPressed);
    Sys("@LClick").SetStr("1");
    EXPECT_TRUE(layer.LeftPressed);

    Sys("@MouseX").SetFloat(7.9L);
    Sys("@MouseY").SetStr("abc");
    Sys("@MouseY").SetInt(8);
    Sys("@FullScr").SetStr("TRUE");
    Sys("@FullScr").SetStr("1");
    // Without a screen manager there is no display mode to store or apply.
    Sys("@DisplayModeIndex").SetInt(2);
    EXPECT_EQ(calls, (std::vector<std::string>{"x7", "y8", "window", "full"}));
    EXPECT_EQ(Sys("@DisplayModeIndex").AsInt(), 0);

    Sys("@SoundON").SetBool(false);
    Sys("@CGDither").SetInt(1);
    EXPECT_FALSE(Sys("@SoundON").AsBool());
    EXPECT_FALSE(Bases->GetSoundEnabled());
    EXPECT_TRUE(Sys("@CGDither").AsBool());
}

TEST_F(FormState, HistoryVariablesAreTheUnnamedFormatsHistory) {
    TextHistoryFormats->FindOrAddFormat("backlog").History().Entries.Add("a.vsb", 1, 0, {0, 0});
    TVelaHistoryFormat& unnamed = *TextHistoryFormats->FindFormat("");
    unnamed.History().Entries.Add("a.vsb", 1, 0, {0, 0});
    unnamed.History().Entries.Add("a.vsb", 1, 1, {0, 0});
    EXPECT_EQ(Sys("@HistoryCount").AsInt(), 2);
    Sys("@HistoryCount").SetInt(9);  // ignored
    EXPECT_EQ(unnamed.History().Entries.Count(), 2);

    Sys("@HistoryMaxCount").SetInt(50);
    EXPECT_EQ(unnamed.History().Capacity, 50);
    EXPECT_EQ(TextHistoryFormats->FindFormat("backlog")->History().Capacity, 0);
    EXPECT_EQ(Sys("@HistoryMaxCount").AsInt(), 50);

    state.LoadHistorySettings({16, 1, 2, 400, 300, 4});
    EXPECT_EQ(unnamed.Settings, (std::array<int32_t, 6>{16, 1, 2, 400, 300, 4}));
}

// A control that can be paused.
class TPausable : public TVelaControl {
public:
    using TVelaControl::TVelaControl;
    bool GetPaused() const override { return Paused; }
    bool Paused = false;
};

TEST_F(FormState, FocusMovesOnlyToAShownControlThatTakesKeys) {
    auto control = [](const char* Name, bool Visible, bool Keys, bool Paused) {
        auto* c = new TPausable(Bases);
        c->SetName(Name);
        c->SetParent(Bases->GetBase(0));
        c->SetVisible(Visible);
        c->SetHandlekey(Keys);
        c->Paused = Paused;
    };
    control("edit", true, true, false);
    control("hidden", false, true, false);
    control("label", true, false, false);
    control("paused", true, true, true);
    TCustomParam& focus = Sys("@ActiveCompo");
    focus.SetStr("edit");
    EXPECT_EQ(focus.AsStr(), "edit");
    for (const char* name : {"hidden", "label", "paused", "missing", ""}) {
        focus.SetStr(name);
        EXPECT_EQ(focus.AsStr(), "edit") << name;
    }
}

// The installed faces of the glyph rasteriser as the host lists them (sorted, vertical ones
// included, only fixed-pitch ones for "@FixedFonts"), then the face of a listed pixel font.
TEST_F(FormState, FontsAreTheInstalledFacesThenThePixelFonts) {
    InitializeFontPixels();
    const std::string font = FreshHostFolder() + "a.vft";
    PythonOutput("make_vft.py", {"font", font, "--face", "DotA"});
    PixelFontManager->LoadFontFile(platform::fs::ToProgramPath(font));
    for (const bool fixed : {false, true}) {
        TStringList names;
        GetFontNames(names, true, true, fixed);
        std::string text;
        for (int i = 0; i < names.Count(); ++i) text += names.Strings(i) + "\r\n";
        EXPECT_EQ(Sys(fixed ? "@FixedFonts" : "@Fonts").AsStr(), text + "DotA");
    }
    FinalizeFontPixels();
}

}  // namespace

TEST_F(FormState, MidiVariablesReadAndChooseTheManagersDevices) {
    EXPECT_EQ(Sys("@MidiPort").AsStr(), "");
    EXPECT_EQ(ParamMan->Find("@MidiPorts")->Count(), 0);
    platform::UseMidiOut(std::make_shared<platform::HeadlessMidiOut>());
    MidiMan = new TMidiManager;
    TParamCollectionItem& ports = *ParamMan->Find("@MidiPorts");
    EXPECT_EQ(ports.Count(), 2);
    EXPECT_EQ(ports.GetStrAt(1), "General MIDI synthesizer");
    EXPECT_EQ(ports.GetStrAt(2), "");
    EXPECT_EQ(ports.GetAsStr(), "MIDIマッパー");
    Sys("@MidiPort").SetStr("General MIDI synthesizer");
    EXPECT_EQ(MidiMan->GetDeviceIndex(), 1);
    Sys("@MidiPort").SetStr("no such port");
    EXPECT_EQ(Sys("@MidiPort").AsStr(), "MIDIマッパー");
    delete MidiMan;
    MidiMan = nullptr;
    platform::UseMidiOut(nullptr);
}
