// A title played with a game controller alone: SDL's virtual controller in a real (offscreen)
// window. The d-pad moves the pointer between the press targets and shows their hover look, A
// clicks, B right-clicks, the left stick moves the pointer where nothing takes a press, a pad
// plugged in during play answers, and controller.ini changes the map. The pointer hides while the
// pad is used and shows again when the mouse moves.
#include "app/view.h"

#include "app/entry.h"
#include "media/velabind.h"
#include "objects/vitems.h"
#include "platform/fs.h"
#include "script/params_vars.h"
#include "tests/app/played_title.h"
#include "tests/app/player_shell.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <SDL.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

namespace {


// A 24-bit BMP of one colour (0x00RRGGBB).
std::string SolidBitmap(int32_t Width, int32_t Height, uint32_t Colour) {
    const auto le = [](uint32_t value, int bytes) {
        std::string out;
        for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
        return out;
    };
    const uint32_t stride = (uint32_t(Width) * 3 + 3) / 4 * 4, size = stride * uint32_t(Height);
    std::string row;
    for (int32_t x = 0; x < Width; ++x) row += le(Colour, 3);
    row.resize(stride, '\0');
    std::string pixels;
    for (int32_t y = 0; y < Height; ++y) pixels += row;
    return "BM" + le(54 + size, 4) + le(0, 4) + le(54, 4) + le(40, 4) + le(uint32_t(Width), 4) + le(uint32_t(Height), 4) +
           le(1, 2) + le(24, 2) + le(0, 4) + le(size, 4) + le(2835, 4) + le(2835, 4) + le(0, 4) + le(0, 4) + pixels;
}

// The picture of one colour (0x00RRGGBB) as the image tool writes it: a button's looks are pictures of
// the player's own format.
std::string SolidPicture(int32_t Width, int32_t Height, uint32_t Colour) {
    const std::string folder = FreshHostFolder();
    std::ofstream(folder + "in.bmp", std::ios::binary) << SolidBitmap(Width, Height, Colour);
    const ProgramRun run = RunProgram(VELA_VIMAGE, {"convert", folder + "in.bmp", folder + "out.mra"});
    EXPECT_EQ(run.status, 0) << run.err;
    std::ifstream file(folder + "out.mra", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

constexpr uint32_t PadNormal = 0x204080, PadHover = 0xE0C020;
const Files& Pictures() {
    static const Files pictures = {{"normal.mra", SolidPicture(80, 30, PadNormal)},
                                   {"hover.mra", SolidPicture(80, 30, PadHover)}};
    return pictures;
}

// A button of the pictures at Left, Top.
std::string ButtonAt(const std::string& Name, int32_t Left, int32_t Top, const std::string& More = "") {
    return R"({"cmd": "Button", "props": {"NAME": "\")" + Name + R"(\"", "LEFT": ")" + std::to_string(Left) +
           R"(", "TOP": ")" + std::to_string(Top) +
           R"(", "SOURCE": "\"normal.mra\"", "HOVERSOURCE": "\"hover.mra\"")" + More + "}}";
}

const std::string Variables = R"([{"name": "read", "type": "int"}, {"name": "picked", "type": "int"},
                                  {"name": "chosen", "type": "int", "value": -9}, {"name": "right", "type": "int"}])";

// The whole title: a message window that waits for a click on it, then two buttons, then a menu
// of three rows, then the end.
const Pages Story = {
    {"start", "[" + std::string(R"({"cmd": "MesNew", "props": {"NAME": "\"mes\"", "LEFT": "20", "TOP": "160",
                     "WIDTH": "280", "HEIGHT": "60", "FONTHEIGHT": "16", "FONTCOLOR": "0xFFFFFF", "TEXTDELAY": "0",
                     "ONLBTNDOWN": "\"mesclick.vsb\""}},
                {"cmd": "TextIns", "window": "\"mes\"", "text": "Press here"},
                {"cmd": "Wait", "cond": "read == 0"},
                {"cmd": "ObjDel", "object": "\"mes\""}, )") +
                  ButtonAt("yes", 40, 40, R"(, "ONNOTIFY": "\"yes.vsb\"")") + ", " +
                  ButtonAt("no", 220, 40, R"(, "ONNOTIFY": "\"no.vsb\"")") + R"J(,
                {"cmd": "Wait", "cond": "picked == 0"},
                {"cmd": "ObjDel", "object": "\"yes\""},
                {"cmd": "ObjDel", "object": "\"no\""},
                {"cmd": "Menu", "props": {"NAME": "\"choice\"", "LEFT": "100", "TOP": "60",
                     "TEXT": "\"one\" ++ Chr(13) ++ Chr(10) ++ \"two\" ++ Chr(13) ++ Chr(10) ++ \"three\"",
                     "FONTHEIGHT": "16", "FONTCOLOR": "0xFFFFFF", "FONTHOVERCOLOR": "0x80FFFF",
                     "HOVERCOLOR": "0xA06028", "COLOR": "0x482818", "MARGINX": "8", "MARGINY": "6",
                     "LINESPACE": "6", "ROWCOUNT": "3", "AUTOSCRAP": "TRUE", "RCLICKSCRAP": "TRUE"}},
                {"cmd": "Wait", "cond": "Exists(\"choice\")"},
                {"cmd": "Calc", "do": "chosen = @SelIndex"},
                {"cmd": "Terminate"}])J"},
    {"mesclick", R"([{"cmd": "Calc", "do": "read = 1"}])"},
    {"yes", R"([{"cmd": "Calc", "do": "picked = 1"}])"},
    {"no", R"([{"cmd": "Calc", "do": "picked = 2"}])"},
};

// One button that counts its clicks and its right presses (its right-press handler, property 38, set
// after it is made).
const Pages OneButton = {
    {"start", "[" + ButtonAt("b", 20, 100, R"(, "ONNOTIFY": "\"click.vsb\"")") +
                  R"(, {"cmd": "SetProp", "object": "\"b\"", "prop": "38", "value": "\"right.vsb\""},
                     {"cmd": "Wait", "time": "600000"}])"},
    {"click", R"([{"cmd": "Calc", "do": "picked = picked + 1"}])"},
    {"right", R"([{"cmd": "Calc", "do": "right = right + 1"}])"},
};

// SDL's virtual game controller: its buttons and axes in the order of SDL's own.
class VirtualPad {
public:
    VirtualPad() {
        SDL_InitSubSystem(SDL_INIT_JOYSTICK);
        SDL_VirtualJoystickDesc desc{};
        desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
        desc.naxes = SDL_CONTROLLER_AXIS_MAX;
        desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
        desc.axis_mask = (1u << SDL_CONTROLLER_AXIS_MAX) - 1;
        desc.button_mask = (1u << SDL_CONTROLLER_BUTTON_MAX) - 1;
        desc.name = "test pad";
        index_ = SDL_JoystickAttachVirtualEx(&desc);
        joystick_ = index_ >= 0 ? SDL_JoystickOpen(index_) : nullptr;
    }
    ~VirtualPad() {
        if (joystick_) SDL_JoystickClose(joystick_);
        if (index_ >= 0) SDL_JoystickDetachVirtual(index_);
        SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
        if (SDL_WasInit(0) == 0) SDL_Quit();
    }
    VirtualPad(const VirtualPad&) = delete;
    VirtualPad& operator=(const VirtualPad&) = delete;
    bool attached() const { return joystick_ != nullptr; }
    void button(SDL_GameControllerButton Button, bool Down) {
        SDL_JoystickSetVirtualButton(joystick_, Button, Down ? SDL_PRESSED : SDL_RELEASED);
    }
    void axis(SDL_GameControllerAxis Axis, int16_t Value) { SDL_JoystickSetVirtualAxis(joystick_, Axis, Value); }

private:
    int index_ = -1;
    SDL_Joystick* joystick_ = nullptr;
};

class Pad : public PlayerShell {
protected:
    void TearDown() override {
        form.reset();
        display.reset();
        pad.reset();
        PlayerShell::TearDown();
    }
    // The title in a real window; the pad plugged in before (or, PadFirst false, after) the
    // window opens.
    void Play(const Pages& Title, bool PadFirst = true, const std::string& ControllerIni = "") {
        const std::string host = MakeTitle(Title, Pictures(), Variables);
        if (!ControllerIni.empty()) std::ofstream(host + "controller.ini") << ControllerIni;
        folder = platform::fs::ToProgramPath(host);
        if (PadFirst) pad = std::make_unique<VirtualPad>();
        display = platform::CreateDisplay();
        ASSERT_FALSE(display->headless());
        form = std::make_unique<TFormView>(*display, folder + "velaplay", std::vector<std::string>{folder});
        form->UseLoopThread = false;
        form->FormCreate();
        ASSERT_FALSE(form->ClosePosted());
        if (!PadFirst) {
            Tick(5);
            pad = std::make_unique<VirtualPad>();
        }
        ASSERT_TRUE(pad->attached()) << SDL_GetError();
        Tick(3);
    }
    void Tick(int Count = 1) {
        for (int i = 0; i < Count && !form->ClosePosted(); ++i) {
            platform::InputEvent event;
            while (form->Display.waitEvent(event, 0)) form->HandleEvent(event);
            now += 16;
            RunTick(form->Clock, now, 16, [this] { form->DoLoop(); });
        }
    }
    // A press and release of a button, a few ticks each.
    void Press(SDL_GameControllerButton Button) {
        pad->button(Button, true);
        Tick(3);
        pad->button(Button, false);
        Tick(3);
    }
    // Ticks until Done holds, for at most ten seconds of the title's clock.
    template <typename F>
    bool TickUntil(F&& Done) {
        for (int i = 0; i < 625 && !Done(); ++i) Tick();
        return Done();
    }
    static int32_t Variable(const char* Name) { return ParamMan->Find(Name)->Value().AsInt(); }
    // The pointer on the scene (the current layer's coordinates).
    static TPoint Pointer() { return Bases->GetBase(Bases->GetCurrentLayer())->MousePos; }
    // A pixel of the scene as the window shows it (0x00RRGGBB); the window shows the toolbar above.
    uint32_t Shown(int32_t X, int32_t Y) const {
        SDL_Surface* surface = SDL_GetWindowSurface(Window());
        uint32_t pixel = 0;
        std::memcpy(&pixel,
                    static_cast<const uint8_t*>(surface->pixels) + (form->BasePanel.Top + Y) * surface->pitch +
                        (form->BasePanel.Left + X) * 4,
                    4);
        return pixel & 0xFFFFFF;
    }
    // The player's window, the only one open.
    static SDL_Window* Window() {
        SDL_Window* window = nullptr;
        for (Uint32 id = 1; id < 10000 && !window; ++id) window = SDL_GetWindowFromID(id);
        return window;
    }
    static bool PointerShown() { return SDL_ShowCursor(SDL_QUERY) == SDL_ENABLE; }

    const RealWindowEnvironment real;
    const ScopedEnvironment background{"SDL_JOYSTICK_ALLOW_BACKGROUND_EVENTS", "1"};
    std::string folder;
    std::unique_ptr<VirtualPad> pad;
    std::unique_ptr<platform::Display> display;
    uint32_t now = 1000;
};

// The title with a message window, two buttons and a menu, played to its end with the pad alone.
TEST_F(Pad, PlaysATitleToItsEnd) {
    Play(Story);
    ASSERT_TRUE(TickUntil([] { return Bases->FindObject("mes") != nullptr; }));
    Tick(5);
    // The first press takes the only press target, the message window, whatever the way.
    Press(SDL_CONTROLLER_BUTTON_DPAD_UP);
    EXPECT_EQ(Pointer(), (TPoint{160, 190}));
    EXPECT_FALSE(PointerShown());
    Press(SDL_CONTROLLER_BUTTON_A);
    ASSERT_TRUE(TickUntil([] { return Bases->FindObject("yes") != nullptr; }));
    EXPECT_EQ(Variable("read"), 1);
    Tick(3);
    // The nearer button first, then the other one to its right, shown with its hover look.
    Press(SDL_CONTROLLER_BUTTON_DPAD_DOWN);
    EXPECT_EQ(Pointer(), (TPoint{80, 55}));
    Press(SDL_CONTROLLER_BUTTON_DPAD_RIGHT);
    EXPECT_EQ(Pointer(), (TPoint{260, 55}));
    Tick(2);
    EXPECT_EQ(Shown(260, 55), PadHover);
    EXPECT_EQ(Shown(80, 55), PadNormal);
    // Nothing further right: the pointer stays; back left, and A clicks "yes".
    Press(SDL_CONTROLLER_BUTTON_DPAD_RIGHT);
    EXPECT_EQ(Pointer(), (TPoint{260, 55}));
    Press(SDL_CONTROLLER_BUTTON_DPAD_LEFT);
    EXPECT_EQ(Pointer(), (TPoint{80, 55}));
    Press(SDL_CONTROLLER_BUTTON_A);
    ASSERT_TRUE(TickUntil([] { return Bases->FindObject("choice") != nullptr; }));
    EXPECT_EQ(Variable("picked"), 1);
    Tick(30);  // the menu opens
    // The row nearest the pointer, then the one below it.
    Press(SDL_CONTROLLER_BUTTON_DPAD_DOWN);
    Press(SDL_CONTROLLER_BUTTON_DPAD_DOWN);
    Press(SDL_CONTROLLER_BUTTON_A);
    ASSERT_TRUE(TickUntil([this] { return form->ClosePosted(); }));
    EXPECT_EQ(Variable("chosen"), 1);
}

// B is a right press at the pointer; a pad plugged in during play answers; moving the mouse
// shows the pointer again.
TEST_F(Pad, BIsARightClickOfAPadPluggedInDuringPlay) {
    Play(OneButton, false);
    ASSERT_TRUE(PointerShown());
    Press(SDL_CONTROLLER_BUTTON_DPAD_LEFT);
    EXPECT_EQ(Pointer(), (TPoint{60, 115}));
    EXPECT_FALSE(PointerShown());
    Press(SDL_CONTROLLER_BUTTON_B);
    Tick(2);
    EXPECT_EQ(Variable("right"), 1);
    EXPECT_EQ(Variable("picked"), 0);
    Press(SDL_CONTROLLER_BUTTON_A);
    Tick(2);
    EXPECT_EQ(Variable("picked"), 1);
    // The window system's report of the pad's warp keeps the pointer hidden; the mouse shows it.
    EXPECT_FALSE(PointerShown());
    SDL_WarpMouseInWindow(Window(), 10, 40);
    Tick(2);
    EXPECT_TRUE(PointerShown());
}

// controller.ini beside game.ini: X clicks, A does nothing, the right shoulder goes right.
TEST_F(Pad, ARemappedButtonClicks) {
    Play(OneButton, true, "[Buttons]\nx=leftbutton\na=none\n");
    EXPECT_EQ(PadMapFile(folder), folder + "controller.ini");
    Press(SDL_CONTROLLER_BUTTON_DPAD_UP);
    Press(SDL_CONTROLLER_BUTTON_A);
    Tick(2);
    EXPECT_EQ(Variable("picked"), 0);
    Press(SDL_CONTROLLER_BUTTON_X);
    Tick(2);
    EXPECT_EQ(Variable("picked"), 1);
}

// With no press target on the screen, the left stick moves the pointer while it is pushed.
TEST_F(Pad, TheLeftStickMovesThePointerWhereNothingTakesAPress) {
    Play({{"start", R"([{"cmd": "Wait", "time": "600000"}])"}});
    Press(SDL_CONTROLLER_BUTTON_DPAD_UP);  // nothing to choose: the pointer comes to the scene's centre
    const TPoint from = Pointer();
    EXPECT_EQ(from, (TPoint{160, 120}));
    pad->axis(SDL_CONTROLLER_AXIS_LEFTX, 32767);
    Tick(20);
    pad->axis(SDL_CONTROLLER_AXIS_LEFTX, 0);
    Tick(5);
    const TPoint to = Pointer();
    EXPECT_GT(to.X, from.X + 50);
    EXPECT_EQ(to.Y, from.Y);
    Tick(10);
    EXPECT_EQ(Pointer(), to);
}

}  // namespace
