// A script that never waits keeps the main thread in the runner: the player still ends on SIGTERM
// and SIGINT, headless too and with its sound device open (as it does while a title waits), and on
// a close of its window, and a long script that ends on its own still runs whole in its tick. A
// window whose display goes away (an X server or a Wayland compositor), or that another client
// destroys, ends the player as a close does.
#include "app/view.h"

#include "app/entry.h"
#include "media/velabind.h"
#include "platform/clock.h"
#include "platform/encoding.h"
#include "platform/fs.h"
#include "script/params_vars.h"
#include "tests/app/child_process.h"
#include "tests/app/played_title.h"
#include "tests/app/player_shell.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <SDL.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {


// A second of silence, 22050 Hz 16-bit mono, as a WAVE file.
std::string SilentWave() {
    const auto le = [](uint32_t value, int bytes) {
        std::string out;
        for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
        return out;
    };
    const uint32_t size = 44100;
    return "RIFF" + le(36 + size, 4) + "WAVEfmt " + le(16, 4) + le(1, 2) + le(1, 2) + le(22050, 4) + le(44100, 4) +
           le(2, 2) + le(16, 2) + "data" + le(size, 4) + std::string(size, '\0');
}
const Files Sounds = {{"quiet.wav", SilentWave()}};

// Plays a sound over and over and saves a game (the test's sign that the first tick has ended),
// then Then.
std::string PlayingThen(const std::string& Then) {
    return R"([{"cmd": "Sound", "props": {"NAME": "\"quiet\"", "SOURCE": "\"quiet.wav\"", "REPEAT": "1"}},
               {"cmd": "GameSave", "slot": "0", "caption": "\"busy\""}, )" +
           Then + "]";
}

// Two pages jump to each other for ever.
const Pages PingPong = {
    {"start", PlayingThen(R"({"cmd": "Wait", "time": "100"}, {"cmd": "Jump", "page": "ping.vsb"})")},
    {"ping", R"([{"cmd": "Jump", "page": "pong.vsb"}])"},
    {"pong", R"([{"cmd": "Jump", "page": "ping.vsb"}])"}};
// A wait of a minute.
const Pages LongWait = {{"start", PlayingThen(R"({"cmd": "Wait", "time": "60000"})")}};

// A loop of Count rounds without a wait, counting in n, then Then.
std::string CountingLoop(int Count, const std::string& Then) {
    return R"([{"cmd": "WhileInit", "do": "n = 0"}, {"cmd": "Label", "name": "top"},
               {"cmd": "While", "cond": "n < )" +
           std::to_string(Count) + R"(", "exit": "done"},
               {"cmd": "WhileLoop", "do": "n = n + 1", "head": "top", "indent": 1},
               {"cmd": "Label", "name": "done"}, )" +
           Then + "]";
}

// Waits for the player on the title folder to save its game (the title's sign that its first tick
// has ended) and a little more; whether it then still runs.
bool WaitForTheSave(Child& Player, const std::string& Title) {
    EXPECT_TRUE(Player.Started());
    for (int waited = 0; !std::filesystem::exists(Title + "save.dat") && Player.Running() && waited < 20000;
         waited += 10)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(std::filesystem::exists(Title + "save.dat")) << FileText(Title + "errors.txt");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    return Player.Running();
}

// The player on Title with SDL's dummy sound device open, headless or in a window, is sent
// Signal once the title saved its game; whether it then exited with status 0 within 5 s.
bool SignalEndsIt(const Pages& Title, bool Headless, int Signal) {
    const std::string title = MakeTitle(Title, Sounds);
    const ScopedEnvironment sound("SDL_AUDIODRIVER", "dummy");
    Child player(PlayerFolder + "velaplay", {title}, title + "errors.txt", "/dev/null",
                 Headless ? ChildWindow::Headless : ChildWindow::Offscreen);
    EXPECT_TRUE(WaitForTheSave(player, title)) << FileText(title + "errors.txt");
    player.Signal(Signal);
    return player.WaitEnd(5000) && player.ExitedWith(0);
}

// SIGTERM and SIGINT close the player as its close box does (status 0), in a window and headless.
TEST(BusyScript, SigtermAndSigintEndAPlayerWhosePagesJumpForEver) {
    for (const int signal : {SIGTERM, SIGINT}) EXPECT_TRUE(SignalEndsIt(PingPong, false, signal)) << signal;
    EXPECT_TRUE(SignalEndsIt(PingPong, true, SIGTERM));
}

// Headless, the same for a title that waits.
TEST(BusyScript, SigtermAndSigintEndAHeadlessPlayerThatWaits) {
    for (const int signal : {SIGTERM, SIGINT}) EXPECT_TRUE(SignalEndsIt(LongWait, true, signal)) << signal;
}

// The player's peak resident memory in KiB, polled until it ends (90 s of polls at most: a loop
// under AddressSanitizer on a busy machine takes many times its quiet 2 s to reach the limit).
int64_t PeakResidentKiB(Child& Player) {
    int64_t peakKiB = 0;
    const std::string status = "/proc/" + std::to_string(Player.Pid()) + "/status";
    for (int waited = 0; Player.Running() && waited < 90000; waited += 5) {
        std::ifstream fields(status);
        for (std::string field; fields >> field;)
            if (field == "VmHWM:") fields >> peakKiB;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return peakKiB;
}

// A loop that never waits, one Command of Props a round named "s" ++ n, Rounds rounds (-1: for
// ever), each round's object deleted at once when Deleted.
std::string ObjectLoop(const std::string& Command, const std::string& Props, int Rounds, bool Deleted) {
    const std::string name = R"("\"s\" ++ n")";
    return R"([{"cmd": "WhileInit", "do": "n = 0"}, {"cmd": "Label", "name": "top"},
               {"cmd": "While", "cond": ")" +
           (Rounds < 0 ? std::string("n >= 0") : "n < " + std::to_string(Rounds)) + R"(", "exit": "done"},
               {"cmd": ")" + Command + R"(", "props": {"NAME": )" + name + ", " + Props + R"(}, "indent": 1},)" +
           (Deleted ? R"({"cmd": "ObjDel", "object": )" + name + R"(, "indent": 1},)" : "") +
           R"({"cmd": "WhileLoop", "do": "n = n + 1", "head": "top", "indent": 1},
               {"cmd": "Label", "name": "done"}, {"cmd": "Terminate"}])";
}
const std::string OggSound = R"("SOURCE": "\"a.ogg\"")";

// Loops of live Ogg sounds, and of captions of one 1000-pixel character, that never wait are
// refused with the title's memory message (at their line when a command took the last byte): what
// the decoders and FreeType (C libraries) hold is counted, so that the player stays well within
// what it would reach if they were not (above 170 MB; under AddressSanitizer, whose redzones,
// shadow and quarantine more than double a heap of small blocks, that much more again; its
// quarantine of freed blocks is kept small). Sounds made and deleted at once in such a loop are
// never refused.
TEST(BusyScript, LoopsOfSoundsAndLargeTextEndAtTheMemoryLimitUnlessDeleted) {
#ifdef __SANITIZE_ADDRESS__
    constexpr int64_t boundKiB = 375 << 10;
    const ScopedEnvironment quarantine("ASAN_OPTIONS", "quarantine_size_mb=16");
#else
    constexpr int64_t boundKiB = 150 << 10;
#endif
    const ScopedEnvironment sound("SDL_AUDIODRIVER", "dummy"), limit("VELA_MEMORY_LIMIT", "64");
    const std::string ogg = FileText(VELA_TEST_DATA "/companion/stereo.ogg");
    const std::pair<const char*, std::string> loops[] = {
        {"Sound", OggSound}, {"Caption", R"("FONTHEIGHT": "1000", "TEXT": "\"W\"")"}};
    for (const auto& [command, props] : loops) {
        const std::string title = MakeTitle({{"start", ObjectLoop(command, props, -1, false)}}, {{"a.ogg", ogg}});
        Child player(PlayerFolder + "velaplay", {title}, title + "errors.txt");
        ASSERT_TRUE(player.Started());
        const int64_t peakKiB = PeakResidentKiB(player);
        EXPECT_TRUE(player.ExitedWith(1)) << command;
        // The refusal names the loop's line when a command took the last byte; the sounds'
        // decoding between commands may take it instead, and then no line is named.
        const std::string errors = FileText(title + "errors.txt");
        EXPECT_NE(errors.find(platform::Cp932ToUtf8("タイトルのメモリを使い切りました")), std::string::npos)
            << command << ": " << errors;
        if (errors.find(".vsb(") != std::string::npos) {
            EXPECT_NE(errors.find("start.vsb(4):"), std::string::npos) << command << ": " << errors;
        }
        EXPECT_GT(peakKiB, 0);
        EXPECT_LT(peakKiB, boundKiB) << command;
    }
    const std::string title = MakeTitle({{"start", ObjectLoop("Sound", OggSound, 1000, true)}}, {{"a.ogg", ogg}});
    Child player(PlayerFolder + "velaplay", {title}, title + "errors.txt");
    ASSERT_TRUE(player.Started());
    EXPECT_LT(PeakResidentKiB(player), boundKiB);
    EXPECT_TRUE(player.ExitedWith(0)) << FileText(title + "errors.txt");
}

// The player on a title that waits, in a window on the display server the environment names, has
// End done to it once the title saved its game. It ends as a close does: the title's save data
// written whole at its end, the exit status 1 and one line on standard error saying Why.
void EndsAsACloseDoes(const std::function<void(Child&)>& End, const std::string& Why) {
    const std::string title = MakeTitle(LongWait, Sounds), errors = title + "errors.txt";
    Child player(PlayerFolder + "velaplay", {title}, errors, "/dev/null", ChildWindow::Desktop);
    ASSERT_TRUE(WaitForTheSave(player, title)) << FileText(errors);
    // The save data found afterwards was written at the title's end.
    std::filesystem::remove(title + "save.dat");
    End(player);
    ASSERT_TRUE(player.WaitEnd(30000));  // a loaded machine shuts the player and its launcher down slowly
    EXPECT_TRUE(player.ExitedWith(1));
    EXPECT_EQ(FileText(errors), "velaplay: " + Why + "; the title was ended\n");
    const std::string statusEntry = "5354415455535341564544415441";  // "STATUSSAVEDATA"
    EXPECT_NE(PythonOutput("vfarchive.py", {"cat", title + "save.dat", statusEntry}), "");
}

// SDL's X11 driver on an X server of the test's own.
struct OnVirtualScreen {
    VirtualScreen screen;
    const ScopedEnvironment display{"DISPLAY", screen.Name().c_str()}, video{"SDL_VIDEODRIVER", "x11"};
};

// The X server going away under a playing title: Xvfb stopped.
TEST(BusyScript, TheXServerGoingAwayEndsThePlayerAsACloseDoes) {
    OnVirtualScreen x;
    ASSERT_FALSE(x.screen.Name().empty());
    EndsAsACloseDoes([&x](Child&) { x.screen.Server().Stop(); }, "the connection to the X server broke");
}

// The player's window destroyed by another client, which finds it by the player's process and the
// title's name.
TEST(BusyScript, TheWindowDestroyedByAnotherClientEndsThePlayerAsACloseDoes) {
    OnVirtualScreen x;
    ASSERT_FALSE(x.screen.Name().empty());
    EndsAsACloseDoes(
        [](Child& Player) {
            const std::string errors = FreshHostFolder() + "errors.txt";
            Child closer("/usr/bin/xdotool",
                         {"search", "--all", "--pid", std::to_string(Player.Pid()), "--name", "^Busy$", "windowclose"},
                         errors);
            EXPECT_TRUE(closer.WaitEnd(5000) && closer.ExitedWith(0)) << FileText(errors);
        },
        "another program destroyed the window");
}

// The Wayland compositor going away under a playing title (through SDL's Wayland driver): Weston
// stopped.
TEST(BusyScript, TheWaylandCompositorGoingAwayEndsThePlayerAsACloseDoes) {
    if (!NestedCompositor::Installed()) GTEST_SKIP() << "weston is not installed (scripts/setup-deps installs it)";
    NestedCompositor wayland;
    ASSERT_TRUE(wayland.Ready()) << wayland.Log();
    EndsAsACloseDoes([&wayland](Child&) { wayland.Server().Stop(); }, "the connection to the Wayland compositor broke");
}

// The player's entry around a window of the test's, on a title made for it.
class BusyWindow : public PlayerShell {
protected:
    void Open(platform::Display& Display, const Pages& Title, bool LoopThread) {
        const std::string folder = platform::fs::ToProgramPath(MakeTitle(Title));
        form = std::make_unique<TFormView>(Display, folder + "velaplay", std::vector<std::string>{folder});
        form->UseLoopThread = LoopThread;
        form->FormCreate();
        ASSERT_FALSE(form->ClosePosted());
    }

    platform::HeadlessDisplay headless;  // outlives the form
};

// The close box (SDL's window close; the headless window's Close) half a second into a loop
// that never waits ends the program's own message loop as it ends a waiting title's.
TEST_F(BusyWindow, TheCloseBoxEndsALoopThatNeverWaits) {
    const RealWindowEnvironment real;
    const std::unique_ptr<platform::Display> sdl = platform::CreateDisplay();
    ASSERT_FALSE(sdl->headless());
    for (platform::Display* display : {static_cast<platform::Display*>(&headless), sdl.get()}) {
        Open(*display, {{"start", CountingLoop(2000000000, R"({"cmd": "Terminate"})")}}, true);
        std::thread closer([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            if (display == &headless) {
                platform::InputEvent close;
                close.kind = platform::InputKind::Close;
                headless.inject(close);
            } else {
                SDL_Event close{};
                close.type = SDL_WINDOWEVENT;
                close.window.event = SDL_WINDOWEVENT_CLOSE;
                for (Uint32 id = 1; id < 10000 && !close.window.windowID; ++id)
                    if (SDL_GetWindowFromID(id)) close.window.windowID = id;
                SDL_PushEvent(&close);
            }
        });
        const uint32_t start = platform::ClockMs();
        form->Run();
        closer.join();
        EXPECT_LT(platform::ClockMs() - start, 5000u) << display->headless();
        EXPECT_FALSE(form->Failed());
        form.reset();
    }
}

// A loop of 200,000 rounds that ends on its own runs whole in the first tick and goes on to the
// command after it, whatever waits among the window's events; those stay for the window.
TEST_F(BusyWindow, ALongLoopThatEndsRunsWholeInItsTick) {
    Open(headless, {{"start", CountingLoop(200000, R"({"cmd": "WhileInit", "do": "after = 1"},
                                                    {"cmd": "Wait", "time": "1000"})")}},
         false);
    platform::InputEvent key;
    key.kind = platform::InputKind::KeyDown;
    key.key = 65;
    headless.inject(key);
    RunTick(form->Clock, 1000, 16, [this] { form->DoLoop(); });
    EXPECT_EQ(ParamMan->Find("n")->Value().AsInt(), 200000);
    EXPECT_EQ(ParamMan->Find("after")->Value().AsInt(), 1);
    EXPECT_EQ(form->Clock.FrameCounter, 1u);
    platform::InputEvent got;
    ASSERT_TRUE(headless.waitEvent(got, 0));
    EXPECT_EQ(got.key, 65);
}

}  // namespace
