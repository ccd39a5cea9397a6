// The display: the headless stand-in that tests record through, and the SDL window on SDL's
// offscreen driver (exact pixels, events pushed into SDL's own queue), shown through its surface
// or through SDL's renderer.
#include "objects/vitemex_edit.h"
#include "platform/clock.h"
#include "platform/display.h"
#include "platform/display_sdl.h"
#include "platform/endsignals.h"
#include "platform/system.h"
#include "script/services.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <SDL.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>
#include <tuple>

using namespace platform;

namespace {

void SetPixel(PixelSurface& surface, int32_t x, int32_t y, uint32_t value) {
    PixelBuffer b = surface.lock();
    ASSERT_TRUE(b.pixels);
    std::memcpy(b.pixels + y * b.pitch + x * 4, &value, 4);
    surface.unlock();
}

uint32_t GetPixel(PixelSurface& surface, int32_t x, int32_t y) {
    PixelBuffer b = surface.lock();
    uint32_t value = 0;
    if (b.pixels) std::memcpy(&value, b.pixels + y * b.pitch + x * 4, 4);
    surface.unlock();
    return value & 0x00FFFFFF;
}

// A pixel a real window shows (0x00RRGGBB).
uint32_t SurfacePixel(const SDL_Surface* window, int32_t x, int32_t y) {
    uint32_t value;
    std::memcpy(&value, static_cast<const uint8_t*>(window->pixels) + y * window->pitch + x * 4, 4);
    return value & 0x00FFFFFF;
}

InputEvent KeyDown(int32_t key) {
    InputEvent e;
    e.kind = InputKind::KeyDown;
    e.key = key;
    return e;
}

// ---- Headless ----

TEST(HeadlessDisplay, PresentRecordsTheRectsAndACopyOfTheClientArea) {
    HeadlessDisplay display;
    display.keepFrames = 0;  // every frame
    display.setBounds(10, 20, 4, 3);
    EXPECT_EQ(display.left, 10);
    EXPECT_EQ(display.clientWidth(), 4);
    EXPECT_EQ(display.clientHeight(), 3);

    SetPixel(display.frame(), 3, 2, 0x123456);
    display.present({{0, 0, 2, 2}, {3, 2, 4, 3}});
    SetPixel(display.frame(), 3, 2, 0x654321);
    display.present({});
    ASSERT_EQ(display.frames.size(), 2u);
    EXPECT_EQ(display.frames[0].rects, (std::vector<PixelRect>{{0, 0, 2, 2}, {3, 2, 4, 3}}));
    EXPECT_EQ(display.frames[0].pixel(3, 2), 0x123456u);  // a copy, not the live frame
    EXPECT_EQ(display.frames[1].pixel(3, 2), 0x654321u);
    EXPECT_TRUE(display.frames[1].rects.empty());
    EXPECT_EQ(display.frames[0].pixel(4, 2), 0u);
    EXPECT_EQ(display.frames[0].pixel(-1, 0), 0u);

    display.keepFrames = 2;
    for (uint32_t i = 1; i <= 3; ++i) {
        SetPixel(display.frame(), 0, 0, i);
        display.present({{0, 0, 1, 1}});
    }
    ASSERT_EQ(display.frames.size(), 2u);
    EXPECT_EQ(display.frames[0].pixel(0, 0), 2u);
    EXPECT_EQ(display.frames[1].pixel(0, 0), 3u);

    // Unless asked for more, only the last frame is kept: a long run does not pile them up.
    HeadlessDisplay fresh;
    fresh.setBounds(0, 0, 1, 1);
    for (uint32_t i = 1; i <= 3; ++i) {
        SetPixel(fresh.frame(), 0, 0, i);
        fresh.present({{0, 0, 1, 1}});
    }
    ASSERT_EQ(fresh.frames.size(), 1u);
    EXPECT_EQ(fresh.frames[0].pixel(0, 0), 3u);
    // The kept frame takes the next one in its own buffer.
    const uint8_t* kept = fresh.frames[0].pixels.data();
    SetPixel(fresh.frame(), 0, 0, 4);
    fresh.present({});
    ASSERT_EQ(fresh.frames.size(), 1u);
    EXPECT_EQ(fresh.frames[0].pixels.data(), kept);
    EXPECT_EQ(fresh.frames[0].pixel(0, 0), 4u);
    EXPECT_TRUE(fresh.frames[0].rects.empty());

    display.setBounds(0, 0, 5, 5);  // a new size starts black
    EXPECT_EQ(GetPixel(display.frame(), 3, 2), 0u);
    EXPECT_EQ(display.frame().describe().width, 5);
}

TEST(HeadlessDisplay, SurfacesOfSixteenOrThirtyTwoBits) {
    HeadlessDisplay display;
    auto deep = display.createSurface(3, 2, 24);
    ASSERT_TRUE(deep);
    EXPECT_EQ(deep->describe().bitCount, 32);
    EXPECT_EQ(deep->describe().pitch, 12);
    auto shallow = display.createSurface(3, 2, 16);
    PixelBuffer b = shallow->lock();
    EXPECT_EQ(b.bitCount, 16);
    EXPECT_EQ(b.pitch, 8);  // rows padded to four bytes
    EXPECT_EQ(b.greenMask, 0x07E0u);
    EXPECT_TRUE(b.pixels);
    shallow->unlock();
    EXPECT_FALSE(display.createSurface(-1, 2, 32));
    EXPECT_FALSE(display.createSurface(65536, 65536, 32));
}

TEST(ScaledScreen, FillsTheScreenWithTheAspectKeptAndMapsPointsBack) {
    // Wider screens get black columns, taller ones black rows; shrinking works the same way.
    EXPECT_EQ(ScaledScreen(640, 480, 1920, 1080).shown(), (PixelRect{240, 0, 1680, 1080}));
    EXPECT_EQ(ScaledScreen(640, 480, 1280, 1024).shown(), (PixelRect{0, 32, 1280, 992}));
    EXPECT_EQ(ScaledScreen(800, 600, 400, 400).shown(), (PixelRect{0, 50, 400, 350}));
    const ScaledScreen scaled(640, 480, 1920, 1080);  // 2.25 times
    int32_t x = 240 + 9, y = 9;
    scaled.toClient(x, y);
    EXPECT_EQ(std::pair(x, y), std::pair(4, 4));
    x = 100, y = 2000;  // on the border and below the screen: the client's edge
    scaled.toClient(x, y);
    EXPECT_EQ(std::pair(x, y), std::pair(0, 479));
    x = 4, y = 4;
    scaled.toScreen(x, y);
    EXPECT_EQ(std::pair(x, y), std::pair(240 + 9, 9));
    EXPECT_EQ(scaled.toScreen(PixelRect{0, 0, 640, 480}), scaled.shown());
}

// Width x Height pixels, (X, Y) holding X + 1000 Y.
std::vector<uint32_t> Numbered(int32_t Width, int32_t Height) {
    std::vector<uint32_t> pixels;
    for (int32_t y = 0; y < Height; ++y)
        for (int32_t x = 0; x < Width; ++x) pixels.push_back(uint32_t(x + 1000 * y));
    return pixels;
}

PixelBuffer BufferOf(std::vector<uint32_t>& Pixels, int32_t Width, int32_t Height) {
    PixelBuffer b;
    b.pixels = reinterpret_cast<uint8_t*>(Pixels.data());
    b.width = Width, b.height = Height, b.pitch = Width * 4;
    return b;
}

// A rectangle copied alone shows the same pixels as the whole client copied at once, by 7 / 3
// and by 2 / 3.
TEST(ScaledScreen, ARectangleCopiesAsTheWholeClientDoes) {
    for (const int32_t side : {7, 2}) {
        std::vector<uint32_t> client = Numbered(3, 3), whole(size_t(side * side), 0xDEAD), part = whole;
        const ScaledScreen scaled(3, 3, side, side);
        EXPECT_EQ(scaled.copy(BufferOf(client, 3, 3), BufferOf(whole, side, side), {{-1, -1, 9, 9}}),
                  (std::vector<PixelRect>{{0, 0, side, side}}));
        const std::vector<PixelRect> written =
            scaled.copy(BufferOf(client, 3, 3), BufferOf(part, side, side), {{1, 1, 2, 3}});
        ASSERT_EQ(written.size(), 1u);
        for (int32_t y = 0; y < side; ++y)
            for (int32_t x = 0; x < side; ++x) {
                const bool inside = x >= written[0].left && x < written[0].right && y >= written[0].top &&
                                    y < written[0].bottom;
                EXPECT_EQ(part[size_t(y * side + x)], inside ? whole[size_t(y * side + x)] : 0xDEADu) << x << "," << y;
            }
        EXPECT_EQ(whole.back(), side == 7 ? 2002u : 1001u) << "the client's last pixel";
    }
}

// Full screen's layouts of a 4 x 5 client whose top row is a toolbar, on an 8 x 8 screen: the rows
// below it fill the screen twice as large, the toolbar's row laid over their top at its own size
// (carried on to the right edge) or not shown at all.
TEST(ScaledWindow, AToolbarLaidOverTheFullScreenOrHidden) {
    std::vector<uint32_t> client = Numbered(4, 5);
    for (const BandPlace place : {BandPlace::Over, BandPlace::Hidden}) {
        SCOPED_TRACE(int(place));
        const bool over = place == BandPlace::Over;
        const ScaledWindow layout(4, 5, 1, 8, 8, place);
        std::vector<uint32_t> screen(64, 0xDEAD);
        // Rows below the toolbar's alone: the screen's top row still shows the toolbar over them.
        layout.copy(BufferOf(client, 4, 5), BufferOf(screen, 8, 8), {{0, 1, 4, 5}});
        const std::vector<uint32_t> top = over ? std::vector<uint32_t>{0, 1, 2, 3, 3, 3, 3, 3}
                                               : std::vector<uint32_t>{1000, 1000, 1001, 1001, 1002, 1002, 1003, 1003};
        EXPECT_EQ(std::vector<uint32_t>(screen.begin(), screen.begin() + 8), top);
        EXPECT_EQ(screen[8 + 5], 1002u);
        EXPECT_EQ(screen[63], 4003u);
        int32_t x = 5, y = 0;
        layout.toClient(x, y);
        EXPECT_EQ(std::pair(x, y), over ? std::pair(3, 0) : std::pair(2, 1));
        x = 5, y = 3;
        layout.toClient(x, y);
        EXPECT_EQ(std::pair(x, y), std::pair(2, 2));
        layout.toScreen(x, y);
        EXPECT_EQ(std::pair(x, y), std::pair(4, 2));
    }
}

TEST(HeadlessDisplay, FullScreenRefusesListedModesAndShowsTheModeScaled) {
    HeadlessDisplay display;
    display.setBounds(100, 100, 640, 480);
    display.refusedModes = {display.modes[1]};
    EXPECT_FALSE(display.setFullScreen(&display.modes[1]));
    EXPECT_FALSE(display.fullScreen);
    EXPECT_EQ(display.clientWidth(), 640);

    // 640 x 480 on the 1920 x 1080 desktop: 2.25 times, 240 black columns each side.
    EXPECT_TRUE(display.setFullScreen(&display.modes[0]));
    EXPECT_TRUE(display.fullScreen);
    EXPECT_EQ(display.fullScreenMode, (DisplayModeInfo{640, 480, 32, 60}));
    EXPECT_EQ(display.clientWidth(), 640);
    EXPECT_EQ(display.clientHeight(), 480);
    SetPixel(display.frame(), 4, 4, 0x123456);
    SetPixel(display.frame(), 639, 479, 0x654321);
    display.present({{4, 4, 5, 5}});
    const HeadlessDisplay::Frame& shown = display.frames.back();
    EXPECT_EQ(shown.pixels.describe().width, 1920);
    EXPECT_EQ(shown.pixels.describe().height, 1080);
    EXPECT_EQ(shown.rects, (std::vector<PixelRect>{{249, 9, 252, 12}}));
    EXPECT_EQ(shown.pixel(249, 9), 0x123456u);
    EXPECT_EQ(shown.pixel(251, 11), 0x123456u);
    EXPECT_EQ(shown.pixel(1679, 1079), 0u) << "not presented yet";
    display.present({{0, 0, 640, 480}});
    EXPECT_EQ(display.frames.back().pixel(1679, 1079), 0x654321u);
    EXPECT_EQ(display.frames.back().pixel(239, 500), 0u);

    // The pointer on the desktop comes in client pixels; on the border it is at the edge.
    for (const auto& [x, y, clientX, clientY] :
         {std::tuple(249, 9, 4, 4), std::tuple(1679, 1079, 639, 479), std::tuple(10, 0, 0, 0)}) {
        InputEvent move;
        move.kind = InputKind::MouseMove;
        move.x = x, move.y = y;
        display.inject(move);
        InputEvent got;
        ASSERT_TRUE(display.waitEvent(got, 0));
        EXPECT_EQ(std::pair(got.x, got.y), std::pair(clientX, clientY));
        int32_t cx = -1, cy = -1;
        display.cursorPos(cx, cy);
        EXPECT_EQ(std::pair(cx, cy), std::pair(clientX, clientY));
    }
    display.setCursorPos(4, 4);
    int32_t cx = -1, cy = -1;
    display.cursorPos(cx, cy);
    EXPECT_EQ(std::pair(cx, cy), std::pair(4, 4));

    EXPECT_TRUE(display.setFullScreen(nullptr));
    EXPECT_FALSE(display.fullScreen);
}

TEST(HeadlessDisplay, EventsComeFirstInFirstOutAndWakeEndsAWait) {
    HeadlessDisplay display;
    InputEvent move;
    move.kind = InputKind::MouseDown;
    move.button = MouseButton::Left;
    move.x = 7;
    move.y = 9;
    display.inject(move);
    display.inject(KeyDown(65));
    int32_t x = 0, y = 0;
    display.cursorPos(x, y);
    EXPECT_EQ(x, 7);
    EXPECT_EQ(y, 9);

    InputEvent e;
    ASSERT_TRUE(display.waitEvent(e, 0));
    EXPECT_EQ(e.kind, InputKind::MouseDown);
    EXPECT_EQ(e.button, MouseButton::Left);
    ASSERT_TRUE(display.waitEvent(e, 0));
    EXPECT_EQ(e.key, 65);

    uint32_t start = ClockMs();
    EXPECT_FALSE(display.waitEvent(e, 30));
    EXPECT_GE(ClockMs() - start, 29u);  // really waited

    // From other threads: an injected event and a wake each end a long wait.
    std::thread injector([&] { display.inject(KeyDown(66)); });
    ASSERT_TRUE(display.waitEvent(e, 10000));
    EXPECT_EQ(e.key, 66);
    injector.join();
    start = ClockMs();
    std::thread waker([&] { display.wake(); });
    EXPECT_FALSE(display.waitEvent(e, 10000));
    EXPECT_LT(ClockMs() - start, 5000u);
    waker.join();
    // The wake is spent.
    start = ClockMs();
    EXPECT_FALSE(display.waitEvent(e, 20));
    EXPECT_GE(ClockMs() - start, 19u);
}

TEST(HeadlessDisplay, TakeCloseTakesOnlyTheCloseRequests) {
    HeadlessDisplay display;
    InputEvent close;
    close.kind = InputKind::Close;
    for (const InputEvent& e : {KeyDown(65), close, KeyDown(66), close}) display.inject(e);
    EXPECT_TRUE(display.takeClose());
    EXPECT_FALSE(display.takeClose());
    InputEvent e;
    for (const int32_t key : {65, 66}) {
        ASSERT_TRUE(display.waitEvent(e, 0));
        EXPECT_EQ(e.key, key);
    }
    EXPECT_FALSE(display.waitEvent(e, 0));
}

// A caught SIGTERM closes an open dialog without being taken there, and comes to the window once,
// here to a busy caller's takeClose; a second signal ends the program as its default does.
TEST(HeadlessDisplay, ACaughtSignalIsOneCloseAndASecondEndsTheProgram) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            HeadlessDisplay display;
            display.dialogInput = {KeyDown(65)};
            CatchEndSignals();
            std::raise(SIGTERM);
            InputEvent e;
            const bool dialogClosed = display.openDialog("d", 10, 10)->waitEvent(e, 0) && e.kind == InputKind::Close;
            if (!dialogClosed || !display.takeClose() || display.takeClose() || display.waitEvent(e, 0))
                std::_Exit(1);
            std::raise(SIGINT);
            std::_Exit(2);
        },
        testing::KilledBySignal(SIGINT), "");
}

TEST(HeadlessDisplay, MessageBoxesAnswerFromTheListThenSafely) {
    HeadlessDisplay display;
    display.answers = {MessageResult::No};
    testing::internal::CaptureStderr();
    EXPECT_EQ(display.messageBox("確認", "終了しますか？", MessageButtons::YesNo, MessageIcon::Question),
              MessageResult::No);
    // Then nobody answers: no, cancel, OK.
    EXPECT_EQ(display.messageBox("a", "b", MessageButtons::YesNo, MessageIcon::None), MessageResult::No);
    EXPECT_EQ(display.messageBox("a", "b", MessageButtons::OkCancel, MessageIcon::None), MessageResult::Cancel);
    EXPECT_EQ(display.messageBox("a", "b", MessageButtons::Ok, MessageIcon::None), MessageResult::Ok);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.substr(0, err.find('\n') + 1), U8(u8"確認: 終了しますか？\n"));
    ASSERT_EQ(display.messages.size(), 4u);
    EXPECT_EQ(display.messages[0].caption, "確認");
    EXPECT_EQ(display.messages[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(display.messages[0].icon, MessageIcon::Question);
}

TEST(HeadlessDisplay, ChosenByTheEnvironment) {
    ScopedEnvironment headless("VELA_HEADLESS", "1");
    EXPECT_TRUE(CreateDisplay()->headless());
}

// ---- SDL on the offscreen driver ----

class SdlDisplay : public testing::Test {
protected:
    void SetUp() override {
        display_ = CreateDisplay();
        ASSERT_FALSE(display_->headless());
        InputEvent e;
        while (display_->waitEvent(e, 0)) {
        }
    }
    void Push(SDL_Event e) { ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError(); }
    void PushKey(Uint32 type, SDL_Scancode code, SDL_Keycode sym, Uint8 repeat = 0) {
        SDL_Event e{};
        e.type = type;
        e.key.keysym.scancode = code;
        e.key.keysym.sym = sym;
        e.key.repeat = repeat;
        Push(e);
    }
    InputEvent Next() {
        InputEvent e;
        EXPECT_TRUE(display_->waitEvent(e, 0));
        return e;
    }

    const RealWindowEnvironment real_;
    std::unique_ptr<Display> display_;
};

TEST_F(SdlDisplay, TheFrameIsTheWindowsPixels) {
    display_->setBounds(0, 0, 64, 48);
    EXPECT_EQ(display_->clientWidth(), 64);
    EXPECT_EQ(display_->clientHeight(), 48);
    PixelBuffer b = display_->frame().describe();
    EXPECT_EQ(b.width, 64);
    EXPECT_EQ(b.height, 48);
    EXPECT_EQ(b.bitCount, 32);
    EXPECT_EQ(b.redMask, 0x00FF0000u);

    for (int32_t y = 0; y < 48; ++y)
        for (int32_t x = 0; x < 64; ++x) SetPixel(display_->frame(), x, y, uint32_t(x << 16 | y << 8 | (x ^ y)));
    // Rectangles partly or wholly outside the window are clipped or skipped.
    display_->present({{0, 0, 64, 48}, {-10, -10, 5, 5}, {60, 40, 100, 100}, {70, 0, 80, 10}});
    display_->present({});
    EXPECT_EQ(GetPixel(display_->frame(), 0, 0), 0u);
    EXPECT_EQ(GetPixel(display_->frame(), 63, 47), uint32_t(63 << 16 | 47 << 8 | (63 ^ 47)));
    EXPECT_EQ(GetPixel(display_->frame(), 5, 30), uint32_t(5 << 16 | 30 << 8 | (5 ^ 30)));

    display_->setBounds(0, 0, 32, 16);  // the frame follows the window's new size
    EXPECT_EQ(display_->frame().describe().width, 32);
    EXPECT_EQ(display_->frame().describe().height, 16);

    auto surface = display_->createSurface(5, 4, 16);
    ASSERT_TRUE(surface);
    EXPECT_EQ(surface->describe().bitCount, 16);
    EXPECT_EQ(surface->describe().greenMask, 0x07E0u);
}

// Text input is on while a field has the focus; what the desktop types reaches the field as code
// page 932, and the clipboard converts both ways.
TEST_F(SdlDisplay, TypedTextReachesTheFocusedFieldAsShiftJis) {
    CreateScriptServices();
    VelaInitialize();
    Bases->SetWidth(64);
    Bases->SetHeight(48);
    SetTextFieldWindow(display_.get(), {0, 0});
    EXPECT_FALSE(SDL_IsTextInputActive());
    auto* edit = new TVelaEdit(Bases, false);
    edit->SetParent(Bases->GetBase(0));
    edit->SetBounds(4, 4, 40, 20);
    edit->UpdateNative();
    ASSERT_EQ(TextFieldFocus(), edit);
    EXPECT_TRUE(SDL_IsTextInputActive());
    SDL_Event e{};
    e.type = SDL_TEXTINPUT;
    std::strcpy(e.text.text, reinterpret_cast<const char*>(u8"あ"));
    Push(e);
    InputEvent typed = Next();
    EXPECT_EQ(typed.kind, InputKind::Text);
    EXPECT_TRUE(DispatchTextFieldInput(typed));
    EXPECT_EQ(edit->GetText(), "\x82\xA0");
    display_->setClipboardText("表示");
    EXPECT_EQ(display_->clipboardText(), "表示");
    delete edit;
    EXPECT_FALSE(SDL_IsTextInputActive());
    SetTextFieldWindow(nullptr, {0, 0});
    VelaFinalize();
    FreeScriptServices();
}

TEST_F(SdlDisplay, KeysAndButtonsBecomeWindowsInput) {
    PushKey(SDL_KEYDOWN, SDL_SCANCODE_A, SDLK_a);
    PushKey(SDL_KEYDOWN, SDL_SCANCODE_Q, SDLK_a);  // a French keyboard: the key that types "a"
    PushKey(SDL_KEYDOWN, SDL_SCANCODE_F13, SDLK_F13);  // no Windows number: dropped
    PushKey(SDL_KEYDOWN, SDL_SCANCODE_F5, SDLK_F5, 1);
    PushKey(SDL_KEYUP, SDL_SCANCODE_RSHIFT, SDLK_RSHIFT);
    PushKey(SDL_KEYDOWN, SDL_SCANCODE_KP_3, SDLK_KP_3);
    PushKey(SDL_KEYDOWN, SDL_SCANCODE_0, SDLK_0);
    PushKey(SDL_KEYDOWN, SDL_SCANCODE_PAGEDOWN, SDLK_PAGEDOWN);
    SDL_Event e{};
    e.type = SDL_MOUSEBUTTONDOWN;
    e.button.button = SDL_BUTTON_X1;  // dropped
    Push(e);
    e.button.button = SDL_BUTTON_RIGHT;
    e.button.x = 5;
    e.button.y = 6;
    Push(e);
    e = SDL_Event{};
    e.type = SDL_MOUSEWHEEL;
    e.wheel.y = -2;
    e.wheel.direction = SDL_MOUSEWHEEL_FLIPPED;
    Push(e);
    e = SDL_Event{};
    e.type = SDL_WINDOWEVENT;
    e.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
    Push(e);
    e.window.event = SDL_WINDOWEVENT_LEAVE;
    Push(e);
    e.window.event = SDL_WINDOWEVENT_SIZE_CHANGED;
    Push(e);
    e = SDL_Event{};
    e.type = SDL_QUIT;
    Push(e);

    for (int32_t key : {65, 65, 116, 16, 99, 48, 34}) {
        InputEvent got = Next();
        EXPECT_EQ(got.key, key);
        EXPECT_EQ(got.kind, key == 16 ? InputKind::KeyUp : InputKind::KeyDown);
        EXPECT_EQ(got.repeat, key == 116);
    }
    InputEvent got = Next();
    EXPECT_EQ(got.kind, InputKind::MouseDown);
    EXPECT_EQ(got.button, MouseButton::Right);
    EXPECT_EQ(got.x, 5);
    EXPECT_EQ(got.y, 6);
    got = Next();
    EXPECT_EQ(got.kind, InputKind::Wheel);
    EXPECT_EQ(got.wheel, 1);
    EXPECT_EQ(Next().kind, InputKind::Deactivate);
    EXPECT_EQ(Next().kind, InputKind::MouseLeave);
    EXPECT_EQ(Next().kind, InputKind::Expose);
    EXPECT_EQ(Next().kind, InputKind::Close);
    EXPECT_FALSE(display_->waitEvent(got, 0));
}

TEST_F(SdlDisplay, WakeEndsAWaitOnce) {
    uint32_t start = ClockMs();
    std::thread waker([&] { display_->wake(); });
    InputEvent e;
    EXPECT_FALSE(display_->waitEvent(e, 10000));
    EXPECT_LT(ClockMs() - start, 5000u);
    waker.join();
    // Wakes before a wait end only that wait; an event queued after them is not swallowed.
    display_->wake();
    display_->wake();
    EXPECT_FALSE(display_->waitEvent(e, 0));
    PushKey(SDL_KEYDOWN, SDL_SCANCODE_SPACE, SDLK_SPACE);
    ASSERT_TRUE(display_->waitEvent(e, 0));
    EXPECT_EQ(e.key, 32);
}

TEST_F(SdlDisplay, TheDesktopAndItsModes) {
    DisplayModeInfo desktop = display_->desktopMode();
    EXPECT_EQ(desktop.width, 1024u);  // the offscreen driver's one monitor
    EXPECT_EQ(desktop.bitCount, 32u);
    EXPECT_EQ(display_->workArea(), (PixelRect{0, 0, 1024, 768}));
    EXPECT_EQ(GetDisplayMetrics().primaryWidth, 1024);
    // The driver lists one empty mode, which is no mode: the common sizes up to the desktop's.
    const std::vector<DisplayModeInfo> modes = display_->displayModes();
    ASSERT_EQ(modes.size(), 3u);
    EXPECT_EQ(modes[0].width, 640u);
    EXPECT_EQ(modes[1].width, 800u);
    EXPECT_EQ(modes[2].width, 1024u);

    DisplayModeInfo unknown{1234, 567, 32, 0};
    EXPECT_FALSE(display_->setFullScreen(&unknown));
    EXPECT_EQ(display_->clientWidth(), 640);
    EXPECT_TRUE(display_->setFullScreen(nullptr));
}

// ---- The cursor ----

// A W x H cursor image over Pixels, rows of Stride pixels.
PixelBuffer CursorImage(std::vector<uint32_t>& pixels, int32_t w, int32_t h, int32_t stride) {
    PixelBuffer image;
    image.pixels = reinterpret_cast<uint8_t*>(pixels.data());
    image.width = w;
    image.height = h;
    image.pitch = stride * 4;
    return image;
}

TEST(HeadlessDisplay, CursorsAreCopiedRowByRowAndBadOnesRefused) {
    HeadlessDisplay display;
    std::vector<uint32_t> pixels = {0xFF000001, 0x80000002, 0xDEADBEEF, 0x00000003, 0xFF000004, 0xDEADBEEF};
    EXPECT_TRUE(display.setCursor(CursorImage(pixels, 2, 2, 3), 1, 0));
    EXPECT_TRUE(display.cursor.custom);
    EXPECT_EQ(display.cursor.hotX, 1);
    EXPECT_EQ(display.cursor.pixels, (std::vector<uint32_t>{0xFF000001, 0x80000002, 0x00000003, 0xFF000004}));

    PixelBuffer deep = CursorImage(pixels, 2, 2, 3);
    deep.bitCount = 16;
    EXPECT_FALSE(display.setCursor(deep, 0, 0));
    EXPECT_FALSE(display.setCursor(CursorImage(pixels, 2, 2, 3), 2, 0)) << "hot spot outside";
    EXPECT_FALSE(display.setCursor(CursorImage(pixels, 4, 1, 3), 0, 0)) << "a row longer than the pitch";
    EXPECT_FALSE(display.setCursor(PixelBuffer{}, 0, 0));
    EXPECT_EQ(display.cursorChanges, 1);
    EXPECT_EQ(display.cursor.width, 2) << "a refused cursor leaves the shown one";

    display.setDefaultCursor();
    EXPECT_FALSE(display.cursor.custom);
    EXPECT_EQ(display.cursorChanges, 2);
}

// The offscreen driver makes no cursors: a refusal is answered, and the cursor stays.
TEST_F(SdlDisplay, ACursorTheDriverCannotMakeIsRefused) {
    std::vector<uint32_t> pixels(16 * 16, 0xFF336699);
    SDL_Cursor* before = SDL_GetCursor();
    EXPECT_FALSE(display_->setCursor(CursorImage(pixels, 16, 16, 16), 3, 4));
    EXPECT_EQ(SDL_GetCursor(), before);
    display_->setDefaultCursor();
    EXPECT_EQ(SDL_GetCursor(), SDL_GetDefaultCursor());
}

// ---- The dialog window ----

// The SDL window titled Title (UTF-8); nullptr when there is none.
SDL_Window* WindowTitled(const char8_t* Title) {
    for (Uint32 id = 1; id < 256; ++id)
        if (SDL_Window* w = SDL_GetWindowFromID(id);
            w && std::strcmp(SDL_GetWindowTitle(w), reinterpret_cast<const char*>(Title)) == 0)
            return w;
    return nullptr;
}

// 800 x 600 on the 1024 x 768 desktop: 1.28 times, all of it. The window shows the client
// scaled, and the pointer comes back in client pixels.
TEST_F(SdlDisplay, AFullScreenModeIsShownScaledOnTheDesktop) {
    display_->setBounds(0, 0, 64, 48);
    display_->setCaption("full");
    display_->show();
    const DisplayModeInfo mode = display_->displayModes()[1];
    ASSERT_TRUE(display_->setFullScreen(&mode));
    EXPECT_EQ(display_->clientWidth(), 800);
    EXPECT_EQ(display_->clientHeight(), 600);
    // The window takes the desktop's size by an event of the window system's.
    InputEvent e;
    while (display_->waitEvent(e, 0)) {
    }
    SetPixel(display_->frame(), 10, 10, 0x00FF00);
    display_->present({{0, 0, 800, 600}});
    SDL_Surface* window = SDL_GetWindowSurface(WindowTitled(u8"full"));
    ASSERT_EQ(std::pair(window->w, window->h), std::pair(1024, 768));
    auto shown = [window](int32_t X, int32_t Y) { return SurfacePixel(window, X, Y); };
    EXPECT_EQ(shown(12, 12), 0u);
    EXPECT_EQ(shown(13, 13), 0x00FF00u);
    EXPECT_EQ(shown(14, 14), 0x00FF00u);
    EXPECT_EQ(shown(15, 15), 0u);
    SDL_Event press{};
    press.type = SDL_MOUSEBUTTONDOWN;
    press.button.button = SDL_BUTTON_LEFT;
    press.button.x = 13;
    press.button.y = 767;
    Push(press);
    const InputEvent down = Next();
    EXPECT_EQ(std::pair(down.x, down.y), std::pair(10, 599));
    // Windowed, the client is the window again.
    EXPECT_TRUE(display_->setFullScreen(nullptr));
    display_->setBounds(0, 0, 64, 48);
    EXPECT_EQ(display_->clientWidth(), 64);
    EXPECT_EQ(display_->frame().describe().width, 64);
}


// A 64 x 58 frame (a toolbar of 10 rows over a 64 x 48 scene) in a window of 200 x 154: the
// toolbar at its own size along the top, carried on to the right edge; the scene three times as
// large below it, 4 black columns each side. The pointer comes back in frame pixels, an uncovered
// window is shown again from the frame, and the window's size outlives full screen.
TEST_F(SdlDisplay, AResizedWindowShowsTheFrameScaledBelowItsToolbar) {
    display_->setBounds(10, 20, 64, 58);
    display_->setUnscaledTop(10);
    display_->setCaption("scaled");
    display_->show();
    display_->setWindowSize(200, 154);
    EXPECT_EQ(display_->clientWidth(), 64);
    EXPECT_EQ(display_->clientHeight(), 58);
    SetPixel(display_->frame(), 5, 5, 0x111111);
    SetPixel(display_->frame(), 63, 3, 0x222222);
    SetPixel(display_->frame(), 10, 20, 0x00FF00);
    display_->present({{0, 0, 64, 58}});
    SDL_Window* main = WindowTitled(u8"scaled");
    SDL_Surface* window = SDL_GetWindowSurface(main);
    ASSERT_EQ(std::pair(window->w, window->h), std::pair(200, 154));
    auto shown = [&window](int32_t X, int32_t Y) { return SurfacePixel(window, X, Y); };
    EXPECT_EQ(shown(5, 5), 0x111111u);
    EXPECT_EQ(shown(63, 3), 0x222222u);
    EXPECT_EQ(shown(199, 3), 0x222222u);
    EXPECT_EQ(shown(33, 40), 0u);
    EXPECT_EQ(shown(34, 40), 0x00FF00u);
    EXPECT_EQ(shown(36, 42), 0x00FF00u);
    EXPECT_EQ(shown(37, 43), 0u);
    EXPECT_EQ(shown(1, 100), 0u);
    EXPECT_EQ(shown(198, 100), 0u);

    InputEvent e;
    while (display_->waitEvent(e, 0)) {
    }
    for (const auto& [x, y, clientX, clientY] : {std::tuple(35, 41, 10, 20), std::tuple(150, 3, 63, 3)}) {
        SDL_Event press{};
        press.type = SDL_MOUSEBUTTONDOWN;
        press.button.windowID = SDL_GetWindowID(main);
        press.button.button = SDL_BUTTON_LEFT;
        press.button.x = x;
        press.button.y = y;
        Push(press);
        const InputEvent down = Next();
        EXPECT_EQ(std::pair(down.x, down.y), std::pair(clientX, clientY));
    }

    // The window system lost the window's pixels: they come back without a present.
    std::memset(window->pixels, 0, size_t(window->pitch) * size_t(window->h));
    SDL_Event exposed{};
    exposed.type = SDL_WINDOWEVENT;
    exposed.window.windowID = SDL_GetWindowID(main);
    exposed.window.event = SDL_WINDOWEVENT_EXPOSED;
    Push(exposed);
    EXPECT_EQ(Next().kind, InputKind::Expose);
    window = SDL_GetWindowSurface(main);
    EXPECT_EQ(shown(34, 40), 0x00FF00u);
    EXPECT_EQ(shown(199, 3), 0x222222u);

    const DisplayModeInfo mode = display_->displayModes()[0];
    ASSERT_TRUE(display_->setFullScreen(&mode));
    EXPECT_TRUE(display_->setFullScreen(nullptr));
    while (display_->waitEvent(e, 0)) {
    }
    int width = 0, height = 0;
    SDL_GetWindowSize(main, &width, &height);
    EXPECT_EQ(std::pair(width, height), std::pair(200, 154));
    EXPECT_EQ(display_->placement(), (WindowPlacement{10, 20, 200, 154, true}));
    EXPECT_EQ(display_->clientWidth(), 64);
    EXPECT_EQ(display_->clientHeight(), 58);
}

// While the desktop's box is up (a stand-in zenity that takes a moment), the main window shows
// again what another window uncovered; the uncovering still reaches the program afterwards.
TEST_F(SdlDisplay, AnUncoveredWindowIsShownAgainWhileAMessageBoxIsUp) {
    display_->setBounds(0, 0, 32, 24);
    display_->setCaption("behind");
    display_->show();
    SetPixel(display_->frame(), 7, 8, 0x345678);
    display_->present({{0, 0, 32, 24}});
    SDL_Window* main = WindowTitled(u8"behind");
    InputEvent e;
    while (display_->waitEvent(e, 0)) {
    }
    SDL_Surface* window = SDL_GetWindowSurface(main);
    std::memset(window->pixels, 0, size_t(window->pitch) * size_t(window->h));
    SDL_Event exposed{};
    exposed.type = SDL_WINDOWEVENT;
    exposed.window.windowID = SDL_GetWindowID(main);
    exposed.window.event = SDL_WINDOWEVENT_EXPOSED;
    Push(exposed);

    const std::string folder = FreshHostFolder();
    std::ofstream(folder + "zenity") << "#!/bin/sh\n/bin/sleep 0.3\n";
    std::filesystem::permissions(folder + "zenity", std::filesystem::perms::owner_all);
    ScopedEnvironment server{"DISPLAY", ":9"}, path{"PATH", folder.c_str()};
    EXPECT_EQ(display_->messageBox("t", "x", MessageButtons::Ok, MessageIcon::Information), MessageResult::Ok);
    EXPECT_EQ(SurfacePixel(window, 7, 8), 0x345678u);
    EXPECT_EQ(Next().kind, InputKind::Expose);
}

TEST_F(SdlDisplay, TheDialogWindowTakesItsOwnEventsAndHoldsTheMainWindows) {
    display_->setCaption("main");
    std::unique_ptr<DialogWindow> dialog = display_->openDialog("動作設定", 270, 179);
    ASSERT_TRUE(dialog);
    EXPECT_EQ(display_->openDialog("again", 10, 10), nullptr);
    SDL_Window* own = WindowTitled(u8"動作設定");
    SDL_Window* main = WindowTitled(u8"main");
    ASSERT_TRUE(own && main);
    EXPECT_EQ(dialog->bounds(), (PixelRect{377, 294, 647, 473}));  // centred on the 1024 x 768 desktop
    EXPECT_EQ(dialog->frame().describe().width, 270);
    EXPECT_EQ(dialog->frame().describe().height, 179);
    SetPixel(dialog->frame(), 3, 4, 0x123456);
    dialog->present({{0, 0, 270, 179}});
    EXPECT_EQ(GetPixel(dialog->frame(), 3, 4), 0x123456u);

    SDL_Event e{};
    e.type = SDL_KEYDOWN;
    e.key.windowID = SDL_GetWindowID(main);
    e.key.keysym.scancode = SDL_SCANCODE_A;
    Push(e);  // the main window's key: dropped while the dialog is open
    e = SDL_Event{};
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = SDL_GetWindowID(main);
    e.window.event = SDL_WINDOWEVENT_CLOSE;
    Push(e);  // kept for the main window
    e = SDL_Event{};
    e.type = SDL_TEXTINPUT;
    e.text.windowID = SDL_GetWindowID(own);
    std::strcpy(e.text.text, reinterpret_cast<const char*>(u8"あ"));
    Push(e);
    e = SDL_Event{};
    e.type = SDL_MOUSEBUTTONDOWN;
    e.button.windowID = SDL_GetWindowID(own);
    e.button.button = SDL_BUTTON_LEFT;
    e.button.x = 7;
    Push(e);
    InputEvent got;
    ASSERT_TRUE(dialog->waitEvent(got, 0));
    EXPECT_EQ(got.kind, InputKind::Text);
    EXPECT_EQ(got.text, "あ");
    ASSERT_TRUE(dialog->waitEvent(got, 0));
    EXPECT_EQ(got.kind, InputKind::MouseDown);
    EXPECT_EQ(got.x, 7);
    EXPECT_FALSE(dialog->waitEvent(got, 0));
    dialog.reset();
    EXPECT_EQ(WindowTitled(u8"動作設定"), nullptr);
    ASSERT_TRUE(display_->waitEvent(got, 0));
    EXPECT_EQ(got.kind, InputKind::Close);
    EXPECT_FALSE(display_->waitEvent(got, 0));
    EXPECT_TRUE(display_->openDialog("next", 10, 10));
}

// Shown through SDL's renderer (as where the driver gives a window no surface; here its software
// renderer, which draws into the offscreen window's pixels), the windows show exact pixels: the
// frame laid out for the window's size, a rectangle presented alone changing only itself, the
// whole frame again once the window is resized, and the dialog window's own pixels.
TEST(SdlRenderedDisplay, TheWindowsShowTheirPixelsThroughTheRenderer) {
    const RealWindowEnvironment real;
    const ScopedEnvironment software("SDL_RENDER_DRIVER", "software");
    const std::unique_ptr<Display> display = CreateSdlDisplay(false);
    ASSERT_TRUE(display);
    EXPECT_EQ(display->lost(), "");
    display->setBounds(0, 0, 64, 48);
    display->setCaption("rendered");
    display->show();
    for (int32_t y = 0; y < 48; ++y)
        for (int32_t x = 0; x < 64; ++x) SetPixel(display->frame(), x, y, uint32_t(x << 16 | y << 8 | 0x80));
    display->present({{0, 0, 64, 48}});
    SDL_Window* main = WindowTitled(u8"rendered");
    ASSERT_TRUE(main);
    auto shown = [main](int32_t X, int32_t Y) { return SurfacePixel(SDL_GetWindowSurface(main), X, Y); };
    EXPECT_EQ(shown(0, 0), 0x000080u);
    EXPECT_EQ(shown(63, 47), uint32_t(63 << 16 | 47 << 8 | 0x80));
    SetPixel(display->frame(), 5, 6, 0xFFFFFF);
    SetPixel(display->frame(), 7, 8, 0xFFFFFF);
    display->present({{5, 6, 6, 7}});
    EXPECT_EQ(shown(5, 6), 0xFFFFFFu);
    EXPECT_EQ(shown(7, 8), uint32_t(7 << 16 | 8 << 8 | 0x80));
    EXPECT_EQ(shown(30, 20), uint32_t(30 << 16 | 20 << 8 | 0x80));

    display->setWindowSize(128, 96);
    InputEvent e;
    while (display->waitEvent(e, 0)) {
    }
    display->present({});
    ASSERT_EQ(SDL_GetWindowSurface(main)->w, 128);
    for (const auto& [x, y] : {std::pair(10, 12), std::pair(11, 13), std::pair(14, 16)})
        EXPECT_EQ(shown(x, y), 0xFFFFFFu);
    EXPECT_EQ(shown(40, 23), uint32_t(20 << 16 | 11 << 8 | 0x80));
    EXPECT_EQ(shown(127, 95), uint32_t(63 << 16 | 47 << 8 | 0x80));

    std::unique_ptr<DialogWindow> dialog = display->openDialog("rendered dialog", 40, 30);
    ASSERT_TRUE(dialog);
    SetPixel(dialog->frame(), 3, 4, 0x123456);
    dialog->present({{0, 0, 40, 30}});
    EXPECT_EQ(SurfacePixel(SDL_GetWindowSurface(WindowTitled(u8"rendered dialog")), 3, 4), 0x123456u);
    EXPECT_EQ(display->lost(), "");
}

// The main window's close and a quit are taken, also one held while a dialog was open; keys and
// the dialog window's own close are left.
TEST_F(SdlDisplay, TakeCloseTakesTheWindowsCloseAndQuitOnly) {
    display_->setCaption("main");
    const Uint32 main = SDL_GetWindowID(WindowTitled(u8"main"));
    SDL_Event close{};
    close.type = SDL_WINDOWEVENT;
    close.window.event = SDL_WINDOWEVENT_CLOSE;
    close.window.windowID = main;
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    PushKey(SDL_KEYDOWN, SDL_SCANCODE_A, SDLK_a);
    Push(close);
    PushKey(SDL_KEYDOWN, SDL_SCANCODE_B, SDLK_b);
    Push(quit);
    EXPECT_TRUE(display_->takeClose());
    EXPECT_FALSE(display_->takeClose());
    EXPECT_EQ(Next().key, 65);
    EXPECT_EQ(Next().key, 66);
    InputEvent got;
    EXPECT_FALSE(display_->waitEvent(got, 0));

    std::unique_ptr<DialogWindow> dialog = display_->openDialog("dialog", 10, 10);
    ASSERT_TRUE(dialog);
    SDL_Event dialogClose = close;
    dialogClose.window.windowID = SDL_GetWindowID(WindowTitled(u8"dialog"));
    Push(close);
    ASSERT_FALSE(dialog->waitEvent(got, 0));  // the main window's close is held for it
    Push(dialogClose);
    EXPECT_TRUE(display_->takeClose());
    ASSERT_TRUE(dialog->waitEvent(got, 0));
    EXPECT_EQ(got.kind, InputKind::Close);
}

}  // namespace
