// The main window on the sample title: the order of start-up and shut-down, start-up errors,
// the frames a run presents, the input latches, the screen-mode switch, a real SDL window, and
// the built program as a child process.
#include "app/view.h"

#include "app/dockhooks.h"
#include "app/entry.h"
#include "core/vrfiles_manager.h"
#include "media/velabind.h"
#include "objects/vitems.h"
#include "objects/vitems_kinds.h"
#include "platform/fs.h"
#include "platform/textout.h"
#include "script/params_funcs.h"
#include "script/params_vars.h"
#include "script/project.h"
#include "script/services.h"
#include "tests/app/child_process.h"
#include "tests/app/player_shell.h"
#include "tests/app/sample_fixture.h"
#include "tests/common/dialog_keys.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

using platform::Frames;
using platform::InputEvent;
using platform::InputKind;
using platform::MouseButton;
using platform::PixelRect;
using Labels = std::vector<std::string>;

// The sample title's folder, and the built player's with its companion library.
const std::string SampleFolder = VELA_SAMPLE_FOLDER "/";

// The sample's colours as the window shows them (0x00RRGGBB; the script writes 0x00BBGGRR).
constexpr uint32_t Background = 0x102040, Red = 0xFF0000, RedPressed = 0x00FFFF, Green = 0x00FF00;
// The red box's centre and a point no box covers, in the base panel.
constexpr int32_t RedX = 80, RedY = 340, EmptyX = 20, EmptyY = 460;
constexpr uint32_t DockFace = 0xD4D0C8;
// The dock: the toolbar's 18 pixels, its 2-pixel docked frame above and below, the bound line.
constexpr int32_t Dock = 18 + 4 + 1;

// The 0x00RRGGBB value of a pixel of 32-bit locked pixels.
uint32_t PixelOf(const platform::PixelBuffer& B, int32_t X, int32_t Y) {
    uint32_t value;
    std::memcpy(&value, B.pixels + static_cast<ptrdiff_t>(Y) * B.pitch + X * 4, 4);
    return value & 0xFFFFFF;
}

// The files of the sample's archive, loose in a fresh host folder (ending in "/"), as a title
// to damage.
std::string SampleFiles() {
    const std::string folder = FreshHostFolder();
    const std::string command = std::string(VELA_VFPACK) + " extract " + SampleFolder + "game.dat " + folder;
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return folder;
}

// The globals the program's entry makes around its window, and a window on the sample title
// that the test ticks itself: started without arguments as a player in the title's folder.
class FormView : public PlayerShell {
protected:
    void TearDown() override {
        PlayerShell::TearDown();
        SetApplicationActive(false);  // as an Activate event left it
    }

    void Open(platform::Display& Display, std::vector<std::string> Args = {}, bool LoopThread = false) {
        form = std::make_unique<TFormView>(Display, platform::fs::ToProgramPath(programFolder + "velaplay"),
                                           std::move(Args));
        form->UseLoopThread = LoopThread;
        form->WindowScale = scale;
        form->OnTrace = [this](const char* Label) { trace.push_back(Label); };
        form->FormCreate();
    }
    // The queued window events.
    void Pump() {
        InputEvent event;
        while (form->Display.waitEvent(event, 0)) form->HandleEvent(event);
    }
    // Ticks of 16 ms, each after the window events queued before it.
    void Tick(int Count = 1) {
        for (int i = 0; i < Count; ++i) {
            Pump();
            now += 16;
            RunTick(form->Clock, now, 16, [this] { form->DoLoop(); });
            ++ticks;
        }
    }
    // A mouse event at a point of the base panel (on the desktop that shows it in full screen).
    void Mouse(InputKind Kind, int32_t X, int32_t Y, MouseButton Button = MouseButton::Left) {
        InputEvent e;
        e.kind = Kind;
        e.x = form->BasePanel.Left + X;
        e.y = form->BasePanel.Top + Y;
        display.shownScreen().toScreen(e.x, e.y);
        e.button = Button;
        display.inject(e);
    }
    void KeyDown(int32_t Code, bool Repeat = false) {
        InputEvent e;
        e.kind = InputKind::KeyDown;
        e.key = Code;
        e.repeat = Repeat;
        display.inject(e);
    }
    void Inject(InputKind Kind) {
        InputEvent e;
        e.kind = Kind;
        display.inject(e);
    }
    // A pixel of the window's client area, and of the base panel, in the last frame.
    uint32_t ClientPixel(int32_t X, int32_t Y) const {
        display.shownScreen().toScreen(X, Y);
        return display.frames.back().pixel(X, Y);
    }
    uint32_t Shown(int32_t X, int32_t Y) const {
        return ClientPixel(form->BasePanel.Left + X, form->BasePanel.Top + Y);
    }
    static void ExpectAllFreed() {
        EXPECT_EQ(ScreenMan, nullptr);
        EXPECT_EQ(Bases, nullptr);
        EXPECT_EQ(Project, nullptr);
        EXPECT_EQ(ParamMan, nullptr);
        EXPECT_EQ(SysFuncMan, nullptr);
    }

    // The face names of "@Fonts", one a line.
    static std::vector<std::string> FontFaces() {
        const std::string text = ParamMan->Find("@Fonts")->Value().AsStr();
        std::vector<std::string> faces;
        for (size_t start = 0, end; start <= text.size(); start = end + 2) {
            end = std::min(text.find("\r\n", start), text.size());
            faces.push_back(text.substr(start, end - start));
        }
        return faces;
    }

    platform::HeadlessDisplay display;
    std::unique_ptr<platform::Display> sdl;
    int32_t scale = 1;
    // The folder of the player's file: a copy of the sample title beside it, with no arguments.
    std::string programFolder = SampleCopy();
    Labels trace;
    uint32_t now = 1000;
    int ticks = 0;
};

TEST_F(FormView, StartsAndClosesTheLayersInOrder) {
    display.area = {100, 50, 1380, 850};
    Open(display);
    EXPECT_TRUE(display.messages.empty());
    EXPECT_FALSE(form->ClosePosted());
    EXPECT_EQ(trace, (Labels{"FormCreate", "TBasePanel.Create", "SoundDevice.Initialize", "VelaInitialize",
                             "TProject.Create", "MediaInit", "VelaInitColor"}));
    EXPECT_EQ(display.caption, "Vela サンプル");
    EXPECT_TRUE(display.shown);
    // DirectSound is on by default: the sound component started and set its primary format.
    ASSERT_TRUE(form->SoundDevice.Initialized());
    EXPECT_EQ(WaveFormatOf(form->SoundDevice.GetPrimary()->Format()).nAvgBytesPerSec, 176400u);
    // The sample shows its toolbar above the screen; the window is centred in the work area.
    ASSERT_NE(Project->ToolbarVisible, 0);
    EXPECT_EQ(display.clientWidth(), 640);
    EXPECT_EQ(display.clientHeight(), 480 + Dock);
    EXPECT_EQ(display.left, 100 + (1280 - 640) / 2);
    EXPECT_EQ(display.top, 50 + (800 - 480 - Dock) / 2);
    const TBasePanel& panel = form->BasePanel;
    EXPECT_EQ(std::vector<int32_t>({panel.Left, panel.Top, panel.Width, panel.Height}),
              std::vector<int32_t>({0, Dock, 640, 480}));

    trace.clear();
    form->FormClose();
    form->FormClose();
    EXPECT_EQ(trace, (Labels{"Project.Free", "SysFuncMan.Free", "ParamMan.Free", "VelaFinalize", "TextRead.Free",
                             "TextHistoryFormats.Free", "Bases.Free",
                             "SelRectDIB.Free", "TransBGDIB.Free", "MiraMan.Free", "ClipMan.Free", "MediaFinal"}));
    EXPECT_FALSE(form->SoundDevice.Initialized());
    EXPECT_TRUE(Terminating());
    ExpectAllFreed();
}

// The sample's pixel font, handed over from its game.dat, is listed after the installed faces,
// the four standard ones among them.
TEST_F(FormView, TheFontListEndsWithTheSamplesPixelFont) {
    Open(display);
    const std::vector<std::string> faces = FontFaces();
    EXPECT_EQ(faces.back(), "ドット試験体");
    for (const char* face : {"ＭＳ ゴシック", "ＭＳ Ｐゴシック", "ＭＳ 明朝", "ＭＳ Ｐ明朝"})
        EXPECT_NE(std::find(faces.begin(), faces.end(), face), faces.end()) << face;
}

// [Font] DefaultOnly in game.ini beside the player leaves the four standard faces as the only
// installed ones; the pixel font stays.
TEST_F(FormView, DefaultOnlyKeepsTheStandardFacesAndThePixelFonts) {
    std::ofstream(programFolder + "game.ini") << "[Font]\r\nDefaultOnly=1\r\n";
    Open(display);
    std::vector<std::string> faces = FontFaces();
    EXPECT_EQ(faces.back(), "ドット試験体");
    faces.pop_back();
    std::sort(faces.begin(), faces.end());
    EXPECT_EQ(faces, (Labels{"ＭＳ Ｐゴシック", "ＭＳ Ｐ明朝", "ＭＳ ゴシック", "ＭＳ 明朝"}));
}

// A start-up that fails shows one error and closes the window; the close frees what was made.
TEST_F(FormView, StartUpErrorsShowOnceAndClose) {
    // A folder without a title: named on the command line, it is no installation of the player's.
    const std::string empty = FreshHostFolder();
    Open(display, {platform::fs::ToProgramPath(empty)});
    ASSERT_EQ(display.messages.size(), 1u);
    EXPECT_EQ(display.messages[0].text, empty + " に game.dat、install.dat がありません");
    EXPECT_EQ(display.messages[0].caption, "エラー");
    EXPECT_EQ(display.messages[0].icon, platform::MessageIcon::Error);
    EXPECT_TRUE(form->ClosePosted());
    form->Run();  // ends at once, closing
    ExpectAllFreed();

    // The media layer refuses to start without the companion library: the project was made.
    display.messages.clear();
    trace.clear();
    UnbindVelaLibrary();
    Open(display);
    ASSERT_EQ(display.messages.size(), 1u);
    EXPECT_NE(display.messages[0].text.find("libvela.so"), std::string::npos);
    EXPECT_EQ(display.messages[0].caption, "エラー");
    EXPECT_EQ(display.messages[0].icon, platform::MessageIcon::Error);
    EXPECT_EQ(trace.back(), "MediaInit");
    EXPECT_TRUE(form->ClosePosted());
    EXPECT_NE(Project, nullptr);
    form->Run();
    EXPECT_EQ(trace.back(), "MediaFinal");
    ExpectAllFreed();
}

// Without a sound device each tick plays its length of the headless one, so queued PCM is
// heard; the recording keeps only its last seconds.
TEST_F(FormView, TicksPlayTheHeadlessSound) {
    const ScopedEnvironment headless{"VELA_HEADLESS", "1"}, audio{"SDL_AUDIODRIVER", nullptr};
    Open(display);
    auto* sound = dynamic_cast<platform::HeadlessSound*>(form->SoundOut.get());
    ASSERT_NE(sound, nullptr);
    sound->keepFrames = Frames(2000);
    sound->recordVoices = true;
    platform::PcmOut out(*sound);
    const std::vector<int16_t> pcm(2 * 1000, 1000);
    platform::PcmBlock block(reinterpret_cast<const uint8_t*>(pcm.data()), platform::Bytes(4000));
    out.write(block);
    Tick(2);  // 32 ms: 1411 frames
    EXPECT_TRUE(block.done());
    ASSERT_EQ(sound->mixed.size(), 2u * 1411);
    const std::vector<int16_t>& heard = sound->voices[out.voice().id()];
    ASSERT_EQ(heard.size(), 2u * 1411);
    EXPECT_EQ(heard[1999], 1000);
    EXPECT_EQ(heard[2000], 0);
    Tick(4);  // 2822 more: at twice the frames kept, the oldest go
    EXPECT_EQ(sound->mixed.size(), 2u * 2000);
}

// The sample's first seconds on the headless sound: the Windows Media jingle's first note at
// once, the Ogg theme's 330 Hz rising over its 1.5 s fade-in and then at full volume.
TEST_F(FormView, TheSampleStartsWithItsJingleAndFadesItsThemeIn) {
    const ScopedEnvironment headless{"VELA_HEADLESS", "1"}, audio{"SDL_AUDIODRIVER", nullptr};
    Open(display);
    auto* sound = dynamic_cast<platform::HeadlessSound*>(form->SoundOut.get());
    ASSERT_NE(sound, nullptr);
    sound->keepFrames = Frames(0);
    Tick(160);  // 2.56 s
    const std::vector<int16_t>& pcm = sound->mixed;
    EXPECT_GT(ToneAmplitude(pcm, 660, 20, 180), 3000);
    const double early = ToneAmplitude(pcm, 330, 0, 300), full = ToneAmplitude(pcm, 330, 1800, 2500);
    EXPECT_LT(early, 1500);
    EXPECT_GT(full, 9000);
    EXPECT_LT(full, 14000);
    EXPECT_LT(ToneAmplitude(pcm, 500, 1800, 2500), full / 20);
}

TEST_F(FormView, PresentsTheSceneAndAnswersAClick) {
    display.keepFrames = 0;  // every frame, until the run to the end
    Open(display);
    // The toolbar is shown first.
    ASSERT_EQ(display.frames.size(), 1u);
    EXPECT_EQ(display.frames[0].rects, (std::vector<PixelRect>{{0, 0, 640, Dock}}));
    Tick();
    ASSERT_EQ(display.frames.size(), 2u);
    // The first frame of the scene covers the whole screen below the toolbar.
    EXPECT_EQ(display.frames.back().rects, (std::vector<PixelRect>{{0, Dock, 640, Dock + 480}}));
    EXPECT_EQ(Shown(EmptyX, EmptyY), Background);
    EXPECT_EQ(Shown(RedX, RedY), Red);
    EXPECT_EQ(display.frames.back().pixel(300, 10), DockFace);

    // A left press over the red box reaches its handler in the next tick.
    Tick(3);
    Mouse(InputKind::MouseDown, RedX, RedY);
    Tick();
    EXPECT_EQ(Shown(RedX, RedY), RedPressed);
    EXPECT_EQ(Shown(RedX + 100, RedY), Green);
    Mouse(InputKind::MouseUp, RedX, RedY);
    Tick();

    // With the movers stopped and the opening film over, ticks have nothing to show and present
    // nothing.
    for (const char* name : {"dotdx", "dotdy", "balldx", "balldy"}) ParamMan->Find(name)->SetAsInt(0);
    while (Bases->FindObject("opening")) Tick();
    Tick(4);
    const size_t frames = display.frames.size();
    Tick(4);
    EXPECT_EQ(display.frames.size(), frames);

    // After ten seconds of script time, its story and its gallery the title closes the window.
    display.keepFrames = 1;
    while (ticks < 625) {
        ASSERT_FALSE(form->ClosePosted()) << ticks;
        Tick();
    }
    while (!form->ClosePosted() && ticks < 3000) Tick();
    EXPECT_TRUE(form->ClosePosted());
    EXPECT_TRUE(display.messages.empty());
}

// The program's own loop: the loop thread hands ticks over until the window is closed.
TEST_F(FormView, RunsTheLoopThreadsTicksUntilClosed) {
    Open(display, {}, true);
    std::thread closer([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        Inject(InputKind::Close);
    });
    form->Run();
    closer.join();
    EXPECT_GT(form->Clock.FrameCounter, 0u);
    EXPECT_EQ(form->LoopThread, nullptr);
    EXPECT_EQ(Shown(EmptyX, EmptyY), Background);
    ExpectAllFreed();
}

// An error that leaves a tick (here a motion writing a property that refuses writes) is shown
// once and the ticks go on.
TEST_F(FormView, AnErrorOfATickIsShownAndTheTicksGoOn) {
    Open(display);
    Tick();
    auto* motion = static_cast<TVelaPropMotion*>(Bases->CreateObject(LT_PROPMOTION));
    motion->SetParent(Bases->GetBase(0));
    motion->SetTargetName("red");
    motion->SetPropId(PR_APPEARX);
    motion->SetMotionDuration(100);
    const uint32_t counter = form->Clock.FrameCounter;
    Tick(3);
    ASSERT_EQ(display.messages.size(), 1u);
    EXPECT_EQ(display.messages[0].text, "SetPropエラー");
    // The tick of the error ended in the object steps; the two after it ran whole.
    EXPECT_EQ(form->Clock.FrameCounter, counter + 2);
    EXPECT_FALSE(form->ClosePosted());
}

// Damaged titles: a handler page that cannot be read is reported once and the title goes on; a
// called page that cannot be read ends the player with its message.
TEST_F(FormView, DamagedPagesAreReportedOnce) {
    std::string title = SampleFiles();
    std::filesystem::resize_file(title + "drift.vsb", 1500);  // the dot's idle handler, queued at every tick
    Open(display, {platform::fs::ToProgramPath(title)});
    Tick(20);
    ASSERT_EQ(display.messages.size(), 1u);
    EXPECT_EQ(display.messages[0].text, "drift.vsb:ページファイルが壊れています");
    EXPECT_FALSE(form->ClosePosted());
    EXPECT_FALSE(form->Failed());
    form.reset();

    display.messages.clear();
    title = SampleFiles();
    std::filesystem::resize_file(title + "sub.vsb", 1000);  // called by the start page after the opening film
    Open(display, {platform::fs::ToProgramPath(title)});
    for (int i = 0; i < 400 && display.messages.empty(); ++i) Tick();
    Tick(2);
    ASSERT_EQ(display.messages.size(), 1u);
    EXPECT_NE(display.messages[0].text.find("):sub.vsb:ページファイルが壊れています"), std::string::npos)
        << display.messages[0].text;
    EXPECT_TRUE(form->ClosePosted());
    EXPECT_TRUE(form->Failed());
}

TEST_F(FormView, LatchesKeysAndButtons) {
    Open(display);
    Tick();
    TKeyState& keys = Bases->Keys;
    KeyDown('A');
    Pump();
    EXPECT_EQ(keys.Held['A'], 1);
    EXPECT_EQ(keys.DownLatch['A'], 1);
    Tick();
    EXPECT_EQ(keys.DownLatch['A'], 0);
    // The repeats of a held key latch nothing.
    KeyDown('A', true);
    Pump();
    EXPECT_EQ(keys.DownLatch['A'], 0);
    EXPECT_EQ(keys.Held['A'], 1);

    // The middle button clears what the left one latched.
    TVelaBase& layer = *Bases->GetBase(Bases->GetCurrentLayer());
    TVelaBase& other = *Bases->GetBase(Bases->GetCurrentLayer() + 1);
    Mouse(InputKind::MouseDown, EmptyX, EmptyY);
    Pump();
    EXPECT_TRUE(layer.LeftLatch && layer.LeftHeld && other.LeftHeld);
    Mouse(InputKind::MouseDown, EmptyX, EmptyY, MouseButton::Middle);
    Pump();
    EXPECT_FALSE(layer.LeftLatch || layer.RightLatch || layer.LeftHeld || other.LeftHeld || layer.RightHeld);
    Mouse(InputKind::MouseUp, EmptyX, EmptyY, MouseButton::Middle);

    // The sample keeps running in the background: the keys stay and input still latches.
    ASSERT_EQ(Project->PauseInBackground, 0);
    Inject(InputKind::Deactivate);
    KeyDown('B');
    Pump();
    EXPECT_TRUE(form->Active);
    EXPECT_EQ(keys.Held['A'], 1);
    EXPECT_EQ(keys.DownLatch['B'], 1);

    // A title that pauses in the background forgets the keys and latches nothing until back.
    Project->PauseInBackground = 1;
    Inject(InputKind::Deactivate);
    KeyDown('C');
    Mouse(InputKind::MouseDown, EmptyX, EmptyY);
    Pump();
    EXPECT_FALSE(form->Active);
    EXPECT_EQ(keys.Held['A'], 0);
    EXPECT_EQ(keys.DownLatch['C'], 0);
    EXPECT_FALSE(layer.LeftLatch);
    Inject(InputKind::Activate);
    KeyDown('C');
    Pump();
    EXPECT_TRUE(form->Active);
    EXPECT_EQ(keys.DownLatch['C'], 1);
}

// A press on the panel keeps the pointer there until the release: a drag past the panel and
// the window's edges (over the toolbar too) still moves the layers' pointer, and the release
// lands where the pointer is.
TEST_F(FormView, ADragKeepsThePointerPastThePanel) {
    Open(display);
    Tick();
    const TVelaBase& layer = *Bases->GetBase(Bases->GetCurrentLayer());
    auto pointerAfter = [&](InputKind Kind, int32_t X, int32_t Y) {
        Mouse(Kind, X, Y);
        Pump();
        return layer.MousePos;
    };
    pointerAfter(InputKind::MouseDown, EmptyX, EmptyY);
    EXPECT_EQ(pointerAfter(InputKind::MouseMove, -30, 500), (TPoint{-30, 500}));
    EXPECT_TRUE(layer.LeftHeld);
    EXPECT_EQ(pointerAfter(InputKind::MouseMove, 100, -Dock / 2), (TPoint{100, -Dock / 2}));
    EXPECT_EQ(pointerAfter(InputKind::MouseUp, 700, 10), (TPoint{700, 10}));
    EXPECT_FALSE(layer.LeftHeld);
    // Released, the pointer outside the panel is the panel's no more.
    EXPECT_EQ(pointerAfter(InputKind::MouseMove, 660, 20), (TPoint{700, 10}));
}

TEST_F(FormView, SwitchesToFullScreenAndBack) {
    display.modes = {{800, 600, 32, 60}, {1024, 768, 32, 60}};
    Open(display);
    Tick();
    // The user moved the window away from the centre.
    display.setBounds(display.left + 30, display.top + 20, display.clientWidth(), display.clientHeight());
    const int32_t left = display.left, top = display.top;
    ASSERT_EQ(ScreenMan->BestMode, 0);
    // Back in the window as it was: its place and size, the panel under the toolbar, the
    // scene and the toolbar shown at the next tick.
    auto ExpectWindowedAsBefore = [&] {
        EXPECT_FALSE(display.fullScreen);
        EXPECT_FALSE(ScreenMan->FullScreen);
        EXPECT_EQ(std::vector<int32_t>({display.clientWidth(), display.clientHeight(), display.left, display.top}),
                  std::vector<int32_t>({640, 480 + Dock, left, top}));
        Tick();
        EXPECT_EQ(std::vector<int32_t>({form->BasePanel.Left, form->BasePanel.Top}), std::vector<int32_t>({0, Dock}));
        EXPECT_EQ(Shown(RedX, RedY), RedPressed);
        EXPECT_EQ(display.frames.back().pixel(300, 10), DockFace);
    };

    trace.clear();
    form->SetFullScreen(true);
    EXPECT_EQ(trace, (Labels{"SetFullScreen.Full", "SetFullScreen.Full.Bases.FreeDX", "SetFullScreen.Full.MediaSuspend",
                             "SetFullScreen.Full.ScreenMan.FreeDX", "SetFullScreen.Full.StoreWindow",
                             "SetFullScreen.Full.SetScreenManIndex", "SetFullScreen.SetBounds",
                             "SetFullScreen.Bases.Reload", "SetFullScreen.MediaResume"}));
    EXPECT_FALSE(form->Clock.Paused);
    EXPECT_TRUE(display.fullScreen);
    EXPECT_EQ(display.fullScreenMode, (platform::DisplayModeInfo{800, 600, 32, 60}));
    EXPECT_TRUE(ScreenMan->FullScreen);
    // The screen in the middle of the mode (the toolbar's rows above it, not shown); the mode fills
    // the desktop's height, 1.8 times, black beside it.
    Tick();
    EXPECT_EQ(display.frames.back().pixels.describe().width, 1920);
    EXPECT_EQ(display.frames.back().pixels.describe().height, 1080);
    EXPECT_EQ(std::vector<int32_t>({form->BasePanel.Left, form->BasePanel.Top}), std::vector<int32_t>({80, Dock + 60}));
    EXPECT_EQ(display.frames.back().rects, (std::vector<PixelRect>{{240 + 144, 108, 240 + 1296, 972}}));
    EXPECT_EQ(display.frames.back().pixel(240 + int32_t((80 + RedX) * 1.8), int32_t((60 + RedY) * 1.8)), Red);
    EXPECT_EQ(Shown(EmptyX, EmptyY), Background);
    EXPECT_EQ(ClientPixel(300, 10), 0u);
    EXPECT_EQ(display.frames.back().pixel(239, 540), 0u);
    // A press lands on the box under it in the new place.
    Mouse(InputKind::MouseDown, RedX, RedY);
    Tick();
    Mouse(InputKind::MouseUp, RedX, RedY);
    Tick();
    EXPECT_EQ(Shown(RedX, RedY), RedPressed);
    // The toolbar shows while the pointer is at the top edge, over the border, and goes again.
    Mouse(InputKind::MouseMove, 300, -60);
    Tick();
    EXPECT_EQ(ClientPixel(300, 10), DockFace);
    Mouse(InputKind::MouseMove, 300, -30);
    Tick();
    EXPECT_EQ(ClientPixel(300, 10), 0u);

    // Another mode asked for.
    ScreenMan->BestMode = 1;
    form->ChangeDisplayMode();
    EXPECT_EQ(display.fullScreenMode, (platform::DisplayModeInfo{1024, 768, 32, 60}));
    Tick();
    EXPECT_EQ(std::vector<int32_t>({form->BasePanel.Left, form->BasePanel.Top}), std::vector<int32_t>({192, Dock + 144}));
    EXPECT_EQ(Shown(RedX, RedY), RedPressed);

    trace.clear();
    form->SetFullScreen(false);
    EXPECT_EQ(trace.front(), "SetFullScreen.Normal");
    ExpectWindowedAsBefore();

    // A mode the display refuses leaves the window as it was.
    display.refusedModes = {{1024, 768, 32, 60}};
    trace.clear();
    form->SetFullScreen(true);
    EXPECT_NE(std::find(trace.begin(), trace.end(), "SetFullScreen.Full.SetScreenManIndexFail"), trace.end());
    ExpectWindowedAsBefore();
}

// The pixels of the window's rows 0..Rows in 0x00RRGGBB, and how many of them have a colour in a
// rectangle.
std::vector<uint32_t> StripPixels(const platform::PixelBuffer& B, int32_t Rows) {
    std::vector<uint32_t> pixels;
    for (int32_t y = 0; y < Rows; ++y)
        for (int32_t x = 0; x < B.width; ++x) pixels.push_back(PixelOf(B, x, y));
    return pixels;
}
// The last frame the headless window showed.
platform::PixelBuffer FramePixels(const platform::HeadlessDisplay& Display) {
    platform::PixelBuffer b = Display.frames.back().pixels.describe();
    b.pixels = const_cast<uint8_t*>(Display.frames.back().pixels.data());
    return b;
}
int CountColor(const std::vector<uint32_t>& Pixels, int32_t Width, const TRect& R, uint32_t Color) {
    int count = 0;
    for (int32_t y = R.Top; y < R.Bottom; ++y)
        for (int32_t x = R.Left; x < R.Right; ++x) count += Pixels[size_t(y) * Width + x] == Color;
    return count;
}
// The caption's pixels: the black text, antialiased into the face at its edges.
int CountCaption(const std::vector<uint32_t>& Pixels, int32_t Width, const TRect& R) {
    int count = 0;
    for (int32_t y = R.Top; y < R.Bottom; ++y)
        for (int32_t x = R.Left; x < R.Right; ++x) count += (Pixels[size_t(y) * Width + x] & 0x808080) == 0;
    return count;
}
constexpr uint32_t BoundLine = 0xFFFFFF;
// The two buttons in window coordinates: the toolbar's client area starts inside its frame.
constexpr TRect QuitRect{2, 2, 69, 20}, SwitchRect{69, 2, 136, 20};

TEST_F(FormView, TheToolbarStandsCaptionedOnTheDock) {
    Open(display);
    const TViewToolbar& strip = *form->Strip;
    EXPECT_EQ(strip.Dock->Height(), Dock);
    EXPECT_EQ(strip.Dock->Width(), 640);
    EXPECT_EQ(strip.Toolbar->BoundsRect(), (TRect{0, 0, 138, 22}));
    EXPECT_EQ(strip.QuitButton->BoundsRect(), (TRect{0, 0, 67, 18}));
    EXPECT_EQ(strip.ScreenButton->BoundsRect(), (TRect{67, 0, 134, 18}));
    EXPECT_EQ(strip.QuitButton->Caption(), "終了");
    EXPECT_EQ(strip.ScreenButton->Caption(), "画面切替");

    // Captions in the buttons, face beside them, the bound line along the bottom.
    const std::vector<uint32_t> pixels = StripPixels(FramePixels(display), Dock);
    EXPECT_GT(CountCaption(pixels, 640, QuitRect), 20);
    EXPECT_GT(CountCaption(pixels, 640, SwitchRect), 40);
    EXPECT_EQ(CountColor(pixels, 640, {140, 0, 640, Dock - 1}, DockFace), 500 * (Dock - 1));
    EXPECT_EQ(CountColor(pixels, 640, {0, Dock - 1, 640, Dock}, BoundLine), 640);
}

TEST_F(FormView, TheToolbarQuitsOnYesAndSwitchesTheScreen) {
    const ScopedEnvironment locale("LC_ALL", "C");
    Open(display);
    Tick();
    // The pointer comes from the top edge (where a full screen shows the toolbar) to a button,
    // at points of the client area wherever the desktop shows it.
    auto click = [this](int32_t X) {
        const std::pair<InputKind, int32_t> steps[] = {{InputKind::MouseMove, 0},
                                                       {InputKind::MouseMove, 10},
                                                       {InputKind::MouseDown, 10},
                                                       {InputKind::MouseUp, 10}};
        for (const auto& [kind, y] : steps) {
            InputEvent e;
            e.kind = kind;
            e.x = X;
            e.y = y;
            display.shownScreen().toScreen(e.x, e.y);
            e.button = MouseButton::Left;
            display.inject(e);
        }
        Pump();
    };
    display.answers = {platform::MessageResult::No};
    click(30);
    ASSERT_EQ(display.messages.size(), 1u);
    EXPECT_EQ(display.messages[0].caption, "Vela サンプル");
    EXPECT_EQ(display.messages[0].text, "Do you want to exit Vela サンプル?");
    EXPECT_EQ(display.messages[0].buttons, platform::MessageButtons::YesNo);
    EXPECT_FALSE(form->ClosePosted());
    EXPECT_FALSE(Terminating());

    // Back from the full screen's toolbar, the pointer is outside the window: the button it
    // pressed (raised under the pointer of the active window) stands flat again once the
    // pointer has left.
    const std::vector<uint32_t> flat = StripPixels(FramePixels(display), Dock);
    Inject(InputKind::Activate);
    click(30 + TViewToolbar::ButtonWidth);
    EXPECT_TRUE(display.fullScreen);
    click(30 + TViewToolbar::ButtonWidth);
    EXPECT_FALSE(display.fullScreen);
    EXPECT_NE(StripPixels(FramePixels(display), Dock), flat);
    Inject(InputKind::MouseLeave);
    Pump();
    EXPECT_EQ(StripPixels(FramePixels(display), Dock), flat);
    display.answers = {platform::MessageResult::Yes};
    click(30);
    EXPECT_TRUE(form->ClosePosted());
}

// Alt+Enter and F11 switch the screen as the toolbar's button does, the title seeing neither; Enter
// alone is the title's.
TEST_F(FormView, AltEnterAndF11SwitchTheScreen) {
    Open(display);
    Tick();
    auto press = [this](int32_t Key, bool Alt, bool Repeat = false) {
        InputEvent e;
        e.key = Key;
        e.alt = Alt;
        e.repeat = Repeat;
        PressKey(display, e);
        Pump();
    };
    const TKeyState& keys = Bases->Keys;
    press(13, true);
    EXPECT_TRUE(display.fullScreen);
    EXPECT_TRUE(ScreenMan->FullScreen);
    press(13, true, true);  // a held key's repeat switches nothing
    EXPECT_TRUE(ScreenMan->FullScreen);
    press(122, false);
    EXPECT_FALSE(display.fullScreen);
    EXPECT_FALSE(ScreenMan->FullScreen);
    press(122, true);
    EXPECT_TRUE(ScreenMan->FullScreen);
    EXPECT_EQ(keys.DownLatch[13] + keys.DownLatch[122], 0);
    EXPECT_TRUE(keys.DownKeys.empty() && keys.UpKeys.empty());
    press(13, false);
    EXPECT_TRUE(ScreenMan->FullScreen);
    EXPECT_EQ(keys.DownLatch[13], 1);
}

// Ctrl+Shift+C copies the message shown to the clipboard, the title not seeing the key; C with
// one of the two is the title's.
TEST_F(FormView, CtrlShiftCCopiesTheMessageShown) {
    Open(display);
    Tick();
    platform::TextOutItem message;
    message.text = "遥は言った。";
    platform::SendTextOut(message);
    auto press = [this](bool Ctrl, bool Shift) {
        InputEvent e;
        e.key = 'C';
        e.ctrl = Ctrl;
        e.shift = Shift;
        PressKey(display, e);
        Pump();
    };
    const TKeyState& keys = Bases->Keys;
    press(true, true);
    EXPECT_EQ(display.clipboard, "遥は言った。");
    EXPECT_EQ(keys.DownLatch['C'], 0);
    display.clipboard.clear();
    press(true, false);
    press(false, true);
    EXPECT_EQ(display.clipboard, "");
    EXPECT_EQ(keys.DownLatch['C'], 1);
    platform::ClearTextOutSinks();
}

TEST_F(FormView, DrawsIntoARealWindow) {
    const RealWindowEnvironment real;
    sdl = platform::CreateDisplay();
    ASSERT_FALSE(sdl->headless());
    Open(*sdl);
    Tick(10);
    platform::PixelSurface& frame = sdl->frame();
    const platform::PixelBuffer pixels = frame.lock();
    ASSERT_TRUE(pixels.pixels);
    ASSERT_EQ(pixels.bitCount, 32);
    EXPECT_EQ(PixelOf(pixels, EmptyX, Dock + EmptyY), Background);
    EXPECT_EQ(PixelOf(pixels, RedX, Dock + RedY), Red);
    EXPECT_EQ(PixelOf(pixels, 300, 10), DockFace);
    // The toolbar's captions.
    const std::vector<uint32_t> strip = StripPixels(pixels, Dock);
    frame.unlock();
    EXPECT_GT(CountCaption(strip, 640, QuitRect), 20);
    EXPECT_GT(CountCaption(strip, 640, SwitchRect), 40);
    form.reset();
}

// The only window SDL has open.
SDL_Window* OpenWindow() {
    for (Uint32 id = 1; id < 10000; ++id)
        if (SDL_Window* window = SDL_GetWindowFromID(id)) return window;
    return nullptr;
}

// A pixel the real window shows (0x00RRGGBB).
uint32_t WindowPixel(int32_t X, int32_t Y) {
    SDL_Surface* surface = SDL_GetWindowSurface(OpenWindow());
    platform::PixelBuffer pixels;
    pixels.pixels = static_cast<uint8_t*>(surface->pixels);
    pixels.pitch = surface->pitch;
    return PixelOf(pixels, X, Y);
}

// Asked for twice the scene's size, more than the offscreen driver's 1024 x 768 desktop holds, the
// real window opens at the scene's size and says so once. Resized to twice the size it shows the
// scene twice as large below the toolbar; to three times, three times, and a press at a point of
// it reaches the box there. Full screen and back, the window keeps the size it had.
TEST_F(FormView, AScaledRealWindowShowsTheSceneScaledAndKeepsItsSize) {
    const RealWindowEnvironment real;
    sdl = platform::CreateDisplay();
    ASSERT_FALSE(sdl->headless());
    scale = 2;
    testing::internal::CaptureStderr();
    Open(*sdl);
    const std::string said = testing::internal::GetCapturedStderr();
    const std::string note = "velaplay: a window at scale 2 does not fit the desktop (1024 x 768): it opens at scale 1\n";
    EXPECT_NE(said.find(note), std::string::npos) << said;
    EXPECT_EQ(said.find(note), said.rfind(note));
    Tick(10);
    SDL_Window* window = OpenWindow();
    ASSERT_TRUE(window);
    int width = 0, height = 0;
    SDL_GetWindowSize(window, &width, &height);
    EXPECT_EQ(std::pair(width, height), std::pair(640, Dock + 480));
    sdl->setWindowSize(1280, Dock + 960);
    Tick(3);
    EXPECT_EQ(sdl->clientWidth(), 640);
    EXPECT_EQ(WindowPixel(2 * RedX, Dock + 2 * RedY), Red);
    EXPECT_EQ(WindowPixel(2 * (RedX - 41), Dock + 2 * RedY), Background);
    EXPECT_EQ(WindowPixel(300, 10), DockFace);
    EXPECT_EQ(WindowPixel(1200, 10), DockFace);

    sdl->setWindowSize(1920, Dock + 1440);
    Tick(3);
    EXPECT_EQ(WindowPixel(3 * RedX, Dock + 3 * RedY), Red);
    EXPECT_EQ(WindowPixel(3 * (RedX - 41), Dock + 3 * RedY), Background);
    for (const Uint32 type : {SDL_MOUSEBUTTONDOWN, SDL_MOUSEBUTTONUP}) {
        SDL_Event press{};
        press.type = type;
        press.button.windowID = SDL_GetWindowID(window);
        press.button.button = SDL_BUTTON_LEFT;
        press.button.x = 3 * RedX + 1;
        press.button.y = Dock + 3 * RedY + 1;
        ASSERT_EQ(SDL_PushEvent(&press), 1);
        Tick(2);
    }
    EXPECT_EQ(WindowPixel(3 * RedX, Dock + 3 * RedY), RedPressed);

    form->SetFullScreen(true);
    Tick(2);
    EXPECT_EQ(SDL_GetWindowSurface(window)->w, 1024);  // the offscreen driver's desktop
    form->SetFullScreen(false);
    Tick(3);
    SDL_GetWindowSize(window, &width, &height);
    EXPECT_EQ(std::pair(width, height), std::pair(1920, Dock + 1440));
    EXPECT_EQ(WindowPixel(3 * RedX, Dock + 3 * RedY), RedPressed);
    EXPECT_EQ(WindowPixel(300, 10), DockFace);
    form.reset();
}

// Full screen on the offscreen driver's 1024 x 768 desktop shows the 640 x 480 mode 1.6 times.
// The toolbar, there while the pointer is at the top edge, lies over the scene at its own 23 rows
// across the whole width, its buttons where a window has them; gone, the scene shows under it
// again.
TEST_F(FormView, TheFullScreenToolbarKeepsItsOwnSizeAcrossTheScreen) {
    const RealWindowEnvironment real;
    sdl = platform::CreateDisplay();
    ASSERT_FALSE(sdl->headless());
    Open(*sdl);
    Tick(2);
    form->SetFullScreen(true);
    Tick(3);
    SDL_Window* window = OpenWindow();
    ASSERT_EQ(SDL_GetWindowSurface(window)->w, 1024);
    auto push = [window](Uint32 Type, int32_t X, int32_t Y) {
        SDL_Event e{};
        e.type = Type;
        if (Type == SDL_MOUSEMOTION) {
            e.motion.windowID = SDL_GetWindowID(window);
            e.motion.x = X, e.motion.y = Y;
        } else {
            e.button.windowID = SDL_GetWindowID(window);
            e.button.button = SDL_BUTTON_LEFT;
            e.button.x = X, e.button.y = Y;
        }
        ASSERT_EQ(SDL_PushEvent(&e), 1);
    };
    // The scene's pixel a point of the screen shows: the frame's rows below the toolbar's, 1.6 times.
    auto scene = [this](int32_t X, int32_t Y) {
        const platform::PixelBuffer frame = sdl->frame().lock();
        const uint32_t pixel = PixelOf(frame, X * 5 / 8, Dock + Y * 5 / 8);
        sdl->frame().unlock();
        return pixel;
    };
    push(SDL_MOUSEMOTION, 500, 0);
    Tick(2);
    for (const int32_t x : {150, 500, 1023}) {
        for (int32_t y = 0; y < Dock - 1; ++y) EXPECT_EQ(WindowPixel(x, y), DockFace) << x << "," << y;
        EXPECT_EQ(WindowPixel(x, Dock - 1), BoundLine) << x;
        for (const int32_t y : {Dock, Dock + 1, 300}) EXPECT_EQ(WindowPixel(x, y), scene(x, y)) << x << "," << y;
    }

    push(SDL_MOUSEMOTION, 500, 300);
    Tick(2);
    for (const int32_t x : {150, 500, 1023})
        for (const int32_t y : {0, 10, Dock - 1}) EXPECT_EQ(WindowPixel(x, y), scene(x, y)) << x << "," << y;

    // The screen button at its own place switches back to the window.
    push(SDL_MOUSEMOTION, 500, 0);
    Tick();
    push(SDL_MOUSEMOTION, 100, 10);
    push(SDL_MOUSEBUTTONDOWN, 100, 10);
    push(SDL_MOUSEBUTTONUP, 100, 10);
    Tick(2);
    EXPECT_FALSE(ScreenMan->FullScreen);
    form.reset();
}

// A click on the quit button of the real window, answered Yes by the desktop's box (a stand-in
// zenity first on the path), ends the player.
TEST_F(FormView, TheRealWindowsQuitButtonEndsThePlayer) {
    const RealWindowEnvironment real;
    sdl = platform::CreateDisplay();
    ASSERT_FALSE(sdl->headless());
    Open(*sdl);
    Tick(2);
    // The box goes to zenity once a display server is named (after SDL started, which would
    // otherwise reach for the session bus).
    const std::string folder = FreshHostFolder();
    std::filesystem::create_symlink(VELA_TEST_TOOLS "/fake_zenity", folder + "zenity");
    ScopedEnvironment server{"DISPLAY", ":9"}, path{"PATH", folder.c_str()};
    ScopedEnvironment log{"FAKE_ZENITY_LOG", (folder + "args").c_str()}, yes{"FAKE_ZENITY_EXIT", "0"};
    for (const InputKind kind : {InputKind::MouseMove, InputKind::MouseDown, InputKind::MouseUp}) {
        InputEvent e;
        e.kind = kind;
        e.x = 30;
        e.y = 10;
        e.button = MouseButton::Left;
        form->HandleEvent(e);
    }
    ASSERT_TRUE(form->ClosePosted());
    std::ifstream args(folder + "args");
    EXPECT_NE(std::string(std::istreambuf_iterator<char>(args), {}).find("--question"), std::string::npos);
    form->Run();
    ExpectAllFreed();
    form.reset();
}

// ---- The program ----

// The first line of the usage.
const std::string UsageLine = "Usage: velaplay [--scale N] [--text-out=TARGET]... [--text-out-origin=URL]... [FOLDER]\n";

TEST(Program, ASecondPlayerForTheSameFolderEndsAtOnce) {
    const std::string folder = SampleCopy();
    Child first(PlayerFolder + "velaplay", {folder.substr(0, folder.size() - 1)}, folder + "first.txt");
    ASSERT_TRUE(first.Started());
    ASSERT_TRUE(first.WaitLock(20000)) << FileText(folder + "first.txt");
    Child second(PlayerFolder + "velaplay", {folder}, folder + "second.txt");
    ASSERT_TRUE(second.WaitEnd(20000));
    EXPECT_TRUE(second.ExitedWith(1));
    EXPECT_EQ(FileText(folder + "second.txt"), "velaplay: the title in " + folder + " is already playing\n");
    EXPECT_TRUE(first.Running());
    EXPECT_EQ(FileText(folder + "first.txt"), "");
}

// An error that ends the player is written to standard error and ends it with status 1.
TEST(Program, AnErrorThatEndsThePlayerExitsWithStatusOne) {
    const std::string title = SampleFiles();
    std::filesystem::remove(title + "start.vsb");
    // The pixel font of the title's folder is handed over before the start page is missed; its
    // work file goes all the same, with the player's temporary folder.
    const std::string temp = FreshHostFolder();
    const ScopedEnvironment tmpdir("TMPDIR", temp.c_str());
    Child player(PlayerFolder + "velaplay", {title}, title + "errors.txt");
    ASSERT_TRUE(player.WaitEnd(20000));
    EXPECT_TRUE(player.ExitedWith(1));
    EXPECT_EQ(FileText(title + "errors.txt"), U8(u8"エラー: スタートページがありません\n"));
    EXPECT_TRUE(std::filesystem::is_empty(temp));
}

// Each start-up failure ends the player with status 1 and its own message on standard error, the
// content folder missing, unreadable, empty, a file, or holding only the archive, only the install
// set or an archive that cannot be read; "--help" and "-h" print the usage and end it with status
// 0, an unknown option or an argument after the folder with status 2.
TEST(Program, StartUpFailuresExitWithStatusOneAndTheirMessage) {
    const std::string folder = FreshHostFolder(), errors = folder + "errors.txt", usage = folder + "usage.txt";
    std::filesystem::create_directories(folder + "empty");
    // The sample's archive without the install set it carries, and the install set alone.
    const std::string files = SampleFiles();
    std::filesystem::remove(files + "install.dat");
    std::filesystem::create_directories(folder + "game.dat");
    std::filesystem::create_directories(folder + "install.dat");
    {
        Child pack(VELA_VFPACK, {"pack", folder + "game.dat/game.dat", files}, errors);
        ASSERT_TRUE(pack.WaitEnd(60000) && pack.ExitedWith(0)) << FileText(errors);
    }
    std::filesystem::copy_file(SampleFolder + "install.dat", folder + "install.dat/install.dat");
    // A file named as the folder; a damaged archive.
    std::ofstream(folder + "README.md") << "read me";
    std::filesystem::create_directories(folder + "damaged");
    std::ofstream(folder + "damaged/game.dat") << "not an archive";
    // A folder and an archive the host refuses to read (a link to itself; a folder without
    // permissions, which only stops a user other than root).
    std::filesystem::create_symlink("loop", folder + "loop");
    std::filesystem::create_directories(folder + "looped");
    std::filesystem::create_symlink("game.dat", folder + "looped/game.dat");
    std::filesystem::create_directories(folder + "locked");
    std::filesystem::permissions(folder + "locked", std::filesystem::perms::none);
    // The message names the path and what is wrong with it, never asking for a reinstallation.
    auto error = [&](const std::string& Text) { return U8(u8"エラー: ") + folder + Text + "\n"; };
    const std::string loop = "(Too many levels of symbolic links)";
    std::vector<std::pair<std::string, std::string>> cases = {
        {"missing", error(U8(u8"missing がありません"))},
        {"missing/game.dat", error(U8(u8"missing/ がありません"))},
        {"loop", error(U8(u8"loop を読めません") + loop)},
        {"looped", error(U8(u8"looped/game.dat を読めません") + loop)},
        {"empty", error(U8(u8"empty にタイトルがありません(game.dat も install.dat もありません)"))},
        {"game.dat", error(U8(u8"game.dat/ に install.dat がありません"))},
        {"install.dat", U8(u8"エラー: vela.vpb:ファイルがありません\n")},
        {"README.md", error(U8(u8"README.md はフォルダでも game.dat でもありません"))},
        {"damaged", U8(u8"エラー: ") + folder + U8(u8"damaged/game.dat:アーカイブが壊れています\n")}};
    if (geteuid() != 0) cases.emplace_back("locked", error(U8(u8"locked を読めません(Permission denied)")));
    for (const auto& [title, message] : cases) {
        Child player(PlayerFolder + "velaplay", {folder + title}, errors);
        ASSERT_TRUE(player.WaitEnd(20000)) << title;
        EXPECT_TRUE(player.ExitedWith(1)) << title;
        EXPECT_EQ(FileText(errors), message) << title;
    }
    std::filesystem::permissions(folder + "locked", std::filesystem::perms::owner_all);
    for (const char* option : {"--help", "-h"}) {
        Child help(PlayerFolder + "velaplay", {option}, errors, usage);
        ASSERT_TRUE(help.WaitEnd(20000));
        EXPECT_TRUE(help.ExitedWith(0));
        EXPECT_TRUE(FileText(usage).starts_with(UsageLine)) << FileText(usage);
        EXPECT_EQ(FileText(errors), "");
    }
    // An unknown option is no folder: the usage goes to standard error.
    Child unknown(PlayerFolder + "velaplay", {folder + "empty", "-x"}, errors, usage);
    ASSERT_TRUE(unknown.WaitEnd(20000));
    EXPECT_TRUE(unknown.ExitedWith(2));
    EXPECT_TRUE(FileText(errors).starts_with("velaplay: unknown option -x\n" + UsageLine))
        << FileText(errors);
    EXPECT_EQ(FileText(usage), "");
    // So is a second argument.
    Child second(PlayerFolder + "velaplay", {"--scale=2", folder + "empty", "extra"}, errors, usage);
    ASSERT_TRUE(second.WaitEnd(20000));
    EXPECT_TRUE(second.ExitedWith(2));
    EXPECT_TRUE(FileText(errors).starts_with("velaplay: unexpected argument extra after the folder\nUsage: "))
        << FileText(errors);
    // So is a window scale that is no whole number 1..8.
    Child scale(PlayerFolder + "velaplay", {"--scale", "9", folder + "empty"}, errors, usage);
    ASSERT_TRUE(scale.WaitEnd(20000));
    EXPECT_TRUE(scale.ExitedWith(2));
    EXPECT_NE(FileText(errors).find("\n" + UsageLine), std::string::npos) << FileText(errors);
}

// Without a folder and without a title of its own the player asks for one with the desktop's
// chooser (a stand-in zenity) and plays the game.dat chosen; cancelled, it ends quietly with
// status 0. Without a display it prints the usage and ends with status 2.
TEST(Program, WithoutATitleThePlayerAsksForOne) {
    ASSERT_FALSE(HasOwnTitle(platform::fs::ToProgramPath(PlayerFolder + "velaplay")));
    const std::string folder = FreshHostFolder(), errors = folder + "errors.txt";
    {
        Child headless(PlayerFolder + "velaplay", {}, errors);
        ASSERT_TRUE(headless.WaitEnd(20000));
        EXPECT_TRUE(headless.ExitedWith(2));
        EXPECT_TRUE(FileText(errors).starts_with(UsageLine)) << FileText(errors);
    }
    std::filesystem::create_symlink(VELA_TEST_TOOLS "/fake_zenity", folder + "zenity");
    const ScopedEnvironment path("PATH", folder.c_str()), display("DISPLAY", ":9"),
        log("FAKE_ZENITY_LOG", (folder + "args").c_str());
    {
        const ScopedEnvironment cancel("FAKE_ZENITY_EXIT", "1");
        Child cancelled(PlayerFolder + "velaplay", {}, errors, "/dev/null", ChildWindow::Offscreen);
        ASSERT_TRUE(cancelled.WaitEnd(20000));
        EXPECT_TRUE(cancelled.ExitedWith(0));
        EXPECT_EQ(FileText(errors), "");
        EXPECT_TRUE(FileText(folder + "args").starts_with("--file-selection\n")) << FileText(folder + "args");
    }
    const std::string title = FreshHostFolder();
    for (const char* name : {"game.dat", "install.dat"}) std::filesystem::copy_file(SampleFolder + name, title + name);
    const ScopedEnvironment answer("FAKE_ZENITY_ANSWER", (title + "game.dat").c_str());
    Child chosen(PlayerFolder + "velaplay", {}, errors, "/dev/null", ChildWindow::Offscreen);
    ASSERT_TRUE(chosen.WaitLock(20000)) << FileText(errors);
    EXPECT_FALSE(chosen.WaitEnd(1000)) << FileText(errors);
}

// SIGTERM and SIGINT end the player within about a second while a chooser or box of the desktop
// is open (a stand-in zenity that never closes), and the box's process with it; no other box
// opens. The chooser of a player without a title counts as cancelled (status 0); the box of a
// folder that does not exist was the report of an error (status 1).
TEST(Program, AnEndSignalEndsThePlayerAndTheDesktopsBoxItWaitsOn) {
    const std::string folder = FreshHostFolder(), errors = folder + "errors.txt", boxes = folder + "boxes";
    std::filesystem::create_symlink(VELA_TEST_TOOLS "/fake_zenity", folder + "zenity");
    const ScopedEnvironment path("PATH", folder.c_str()), display("DISPLAY", ":9"),
        log("FAKE_ZENITY_LOG", (folder + "args").c_str()), never("FAKE_ZENITY_EXIT", "never"),
        started("FAKE_ZENITY_BOXES", boxes.c_str());
    // The sanitizer build's leak check at the end takes about a second of its own.
    const ScopedEnvironment quickEnd("ASAN_OPTIONS", "detect_leaks=0");
    struct Case {
        std::vector<std::string> args;
        int signal, status;
        const char* box;
    };
    for (const Case& c : {Case{{}, SIGTERM, 0, "--file-selection"}, Case{{}, SIGINT, 0, "--file-selection"},
                          Case{{folder + "missing"}, SIGTERM, 1, "--error"}}) {
        std::filesystem::remove(boxes);
        Child player(PlayerFolder + "velaplay", c.args, errors, "/dev/null", ChildWindow::Offscreen);
        for (int waited = 0; FileText(boxes).empty() && player.Running() && waited < 20000; waited += 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const std::string box = FileText(boxes);
        ASSERT_FALSE(box.empty()) << FileText(errors);
        EXPECT_TRUE(FileText(folder + "args").starts_with(std::string(c.box) + "\n")) << FileText(folder + "args");
        player.Signal(c.signal);
        EXPECT_TRUE(player.WaitEnd(1000)) << c.box << " " << c.signal;
        EXPECT_TRUE(player.WaitEnd(10000) && player.ExitedWith(c.status)) << FileText(errors);
        EXPECT_EQ(kill(std::stoi(box), 0), -1) << "the box is still open";
        EXPECT_EQ(FileText(boxes), box) << "another box opened";
    }
}

// A project file whose screen cannot be made ends the player at start with status 1, naming the
// file and the size it holds.
TEST(Program, AProjectScreenOutsideOneTo4096EndsThePlayer) {
    const std::string title = SampleFiles();
    // The title (an int32 length and its bytes) after the version, then the width and height.
    std::string project = FileText(title + "vela.vpb");
    ASSERT_GT(project.size(), 8u);
    const size_t at = 8 + uint8_t(project[4]) + 256 * uint8_t(project[5]);
    const int32_t side = 16383;
    for (size_t i = 0; i < 2; ++i) std::memcpy(project.data() + at + 4 * i, &side, 4);
    std::ofstream(title + "vela.vpb", std::ios::binary) << project;
    Child player(PlayerFolder + "velaplay", {title}, title + "errors.txt");
    ASSERT_TRUE(player.WaitEnd(20000));
    EXPECT_TRUE(player.ExitedWith(1));
    EXPECT_EQ(FileText(title + "errors.txt"),
              U8(u8"エラー: vela.vpb:画面の大きさ 16383 x 16383 には対応していません(1 から 4096 まで)\n"));
}

// The sample's archive appended to a copy of the player, alone in a folder with the companion
// library: the copy plays the title it carries.
TEST(Program, ATitleAppendedToThePlayerPlays) {
    const std::string folder = FreshHostFolder();
    const std::string program = folder + "velaplay", errors = folder + "errors.txt";
    std::filesystem::copy_file(PlayerFolder + "libvela.so", folder + "libvela.so");
    {
        Child pack(VELA_VFPACK, {"append", PlayerFolder + "velaplay", SampleFolder + "game.dat", program}, errors);
        ASSERT_TRUE(pack.WaitEnd(60000));
        ASSERT_TRUE(pack.ExitedWith(0)) << FileText(errors);
    }
    Child player(program, {}, errors);
    ASSERT_TRUE(player.WaitLock(20000)) << FileText(errors);
    // A title it cannot find is reported at once and ends the player.
    EXPECT_FALSE(player.WaitEnd(1000)) << FileText(errors);
    EXPECT_EQ(FileText(errors), "");
}

}  // namespace
