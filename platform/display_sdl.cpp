// The display on SDL2: one window whose surface is the frame, SDL's event queue as the input,
// SDL's message boxes and display modes.
#include "platform/display_sdl.h"

#include "platform/dialogs.h"
#include "platform/encoding.h"
#include "platform/system.h"

#include <SDL.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <deque>
#include <cstdio>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace platform {
namespace {

// ---- Surfaces ----

PixelBuffer Describe(const SDL_Surface* surface) {
    PixelBuffer buffer;
    if (!surface) return buffer;
    buffer.width = surface->w;
    buffer.height = surface->h;
    buffer.pitch = surface->pitch;
    buffer.bitCount = SDL_ISPIXELFORMAT_INDEXED(surface->format->format) ? surface->format->BitsPerPixel
                                                                         : surface->format->BytesPerPixel * 8;
    buffer.redMask = surface->format->Rmask;
    buffer.greenMask = surface->format->Gmask;
    buffer.blueMask = surface->format->Bmask;
    return buffer;
}

// The pixels of an SDL surface, whichever surface current() names at the time.
class SdlPixels : public PixelSurface {
public:
    PixelBuffer lock() override {
        SDL_Surface* surface = current();
        PixelBuffer buffer = Describe(surface);
        if (surface && SDL_LockSurface(surface) == 0) {
            buffer.pixels = static_cast<uint8_t*>(surface->pixels);
            locked_ = surface;
        }
        return buffer;
    }
    void unlock() override {
        if (locked_) SDL_UnlockSurface(locked_);
        locked_ = nullptr;
    }
    PixelBuffer describe() const override { return Describe(current()); }
    bool getPalette(int first, int count, uint32_t* entries) const override {
        const SDL_Palette* palette = Palette();
        if (!palette || !PaletteRange(palette->ncolors, first, count)) return false;
        for (int i = 0; i < count; ++i) {
            const SDL_Color& c = palette->colors[first + i];
            entries[i] = uint32_t{c.r} << 16 | uint32_t{c.g} << 8 | c.b;
        }
        return true;
    }
    bool setPalette(int first, int count, const uint32_t* entries) override {
        SDL_Palette* palette = Palette();
        if (!palette || !PaletteRange(palette->ncolors, first, count)) return false;
        std::vector<SDL_Color> colors(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i)
            colors[size_t(i)] = {uint8_t(entries[i] >> 16), uint8_t(entries[i] >> 8), uint8_t(entries[i]), 255};
        return SDL_SetPaletteColors(palette, colors.data(), first, count) == 0;
    }

protected:
    virtual SDL_Surface* current() const = 0;

private:
    SDL_Palette* Palette() const {
        SDL_Surface* surface = current();
        return surface ? surface->format->palette : nullptr;
    }
    SDL_Surface* locked_ = nullptr;
};

// A surface of the program's own; its pixels may be replaced while the object stays.
class OwnedSurface : public SdlPixels {
public:
    // Pixels, when given, are the surface's own, freed after it.
    explicit OwnedSurface(SDL_Surface* surface, std::unique_ptr<uint8_t[]> pixels = nullptr)
        : pixels_(std::move(pixels)), surface_(surface) {}
    ~OwnedSurface() override { SDL_FreeSurface(surface_); }
    OwnedSurface(const OwnedSurface&) = delete;
    OwnedSurface& operator=(const OwnedSurface&) = delete;
    SDL_Surface* get() const { return surface_; }
    void reset(SDL_Surface* surface) {
        SDL_FreeSurface(surface_);
        surface_ = surface;
    }

private:
    SDL_Surface* current() const override { return surface_; }
    std::unique_ptr<uint8_t[]> pixels_;
    SDL_Surface* surface_;
};

// The pixels of a window at its size and their way to the window system. Where the driver gives
// the window a surface (X11), that surface, shown rectangle by rectangle. Where it gives none
// (SDL's Wayland driver with framebuffer acceleration off), a surface of the program's own at the
// window's size, shown through SDL's renderer as a streaming texture that covers the window's
// pixels nearest-neighbour: one to one, or on a scaled (HiDPI) output at its whole multiple, so
// the pixels stay exact either way.
class WindowPixels : public SdlPixels {
public:
    // Surface false shows the window through the renderer whatever the driver gives.
    WindowPixels(SDL_Window* window, bool surface) : window_(window), surface_(surface) {}
    // A window left to a display that went away keeps its renderer: SDL still holds it.
    ~WindowPixels() override { SDL_FreeSurface(own_); }
    WindowPixels(const WindowPixels&) = delete;
    WindowPixels& operator=(const WindowPixels&) = delete;

    // The pixels at the window's present size: the window's surface, else the program's own, the
    // renderer made the first time (best before the window shows: an OpenGL renderer makes the
    // window anew). nullptr, SDL's error saying why, when the window can show nothing.
    SDL_Surface* fetch() {
        if (!renderer_) {
            if (surface_)
                if (SDL_Surface* given = SDL_GetWindowSurface(window_)) return given;
            renderer_ = SDL_CreateRenderer(window_, -1, 0);
            if (!renderer_) return nullptr;
        }
        int width = 0, height = 0;
        SDL_GetWindowSize(window_, &width, &height);
        if (own_ && own_->w == width && own_->h == height) return own_;
        dropOwn();
        own_ = SDL_CreateRGBSurfaceWithFormat(0, std::max(width, 1), std::max(height, 1), 32, SDL_PIXELFORMAT_RGB888);
        texture_ = own_ ? SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING, own_->w,
                                            own_->h)
                        : nullptr;
        if (!texture_ || SDL_SetTextureScaleMode(texture_, SDL_ScaleModeNearest) != 0) dropOwn();
        return own_;
    }
    // The window goes, and what showed it.
    void destroyWindow() {
        dropOwn();
        if (renderer_) SDL_DestroyRenderer(renderer_);
        renderer_ = nullptr;
        SDL_DestroyWindow(window_);
    }

    // Shows the rectangles (clipped to the pixels); false when the window system took none of them.
    bool show(const std::vector<PixelRect>& rects) {
        const SDL_Surface* pixels = current();
        if (!pixels) return false;
        std::vector<SDL_Rect> clipped;
        for (const PixelRect& r : rects) {
            int32_t left = std::max(r.left, 0), top = std::max(r.top, 0);
            int32_t right = std::min(r.right, pixels->w), bottom = std::min(r.bottom, pixels->h);
            if (right > left && bottom > top) clipped.push_back({left, top, right - left, bottom - top});
        }
        if (clipped.empty()) return true;
        if (!renderer_) return SDL_UpdateWindowSurfaceRects(window_, clipped.data(), int(clipped.size())) == 0;
        for (const SDL_Rect& r : clipped) {
            const auto* row = static_cast<const uint8_t*>(pixels->pixels) + ptrdiff_t(r.y) * pixels->pitch + r.x * 4;
            if (SDL_UpdateTexture(texture_, &r, row, pixels->pitch) != 0) return false;
        }
        // The renderer's buffers are swapped: each present covers the whole window again.
        if (SDL_RenderCopy(renderer_, texture_, nullptr, nullptr) != 0) return false;
        SDL_RenderPresent(renderer_);
        return true;
    }

private:
    SDL_Surface* current() const override { return renderer_ ? own_ : SDL_GetWindowSurface(window_); }
    void dropOwn() {
        if (texture_) SDL_DestroyTexture(texture_);
        SDL_FreeSurface(own_);
        texture_ = nullptr;
        own_ = nullptr;
    }

    SDL_Window* window_;
    bool surface_;
    SDL_Renderer* renderer_ = nullptr;
    SDL_Texture* texture_ = nullptr;
    SDL_Surface* own_ = nullptr;
};

// ---- Keys ----

struct KeyName {
    SDL_Scancode scancode;
    int32_t key;
};
constexpr KeyName kNamedKeys[] = {
    {SDL_SCANCODE_BACKSPACE, 8},  {SDL_SCANCODE_TAB, 9},       {SDL_SCANCODE_RETURN, 13},   {SDL_SCANCODE_KP_ENTER, 13},
    {SDL_SCANCODE_LSHIFT, 16},    {SDL_SCANCODE_RSHIFT, 16},   {SDL_SCANCODE_LCTRL, 17},    {SDL_SCANCODE_RCTRL, 17},
    {SDL_SCANCODE_LALT, 18},      {SDL_SCANCODE_RALT, 18},     {SDL_SCANCODE_PAUSE, 19},    {SDL_SCANCODE_CAPSLOCK, 20},
    {SDL_SCANCODE_ESCAPE, 27},    {SDL_SCANCODE_SPACE, 32},    {SDL_SCANCODE_PAGEUP, 33},   {SDL_SCANCODE_PAGEDOWN, 34},
    {SDL_SCANCODE_END, 35},       {SDL_SCANCODE_HOME, 36},     {SDL_SCANCODE_LEFT, 37},     {SDL_SCANCODE_UP, 38},
    {SDL_SCANCODE_RIGHT, 39},     {SDL_SCANCODE_DOWN, 40},     {SDL_SCANCODE_INSERT, 45},   {SDL_SCANCODE_DELETE, 46},
    {SDL_SCANCODE_0, '0'},        {SDL_SCANCODE_KP_0, 96},
};

// The Windows virtual-key number of a key; 0 for keys the program has no number for. Letters
// follow the keyboard layout (the key that types "a" is 'A'), everything else the key's place.
int32_t VirtualKey(const SDL_Keysym& key) {
    if (key.sym >= SDLK_a && key.sym <= SDLK_z) return 'A' + (key.sym - SDLK_a);
    const SDL_Scancode code = key.scancode;
    if (code >= SDL_SCANCODE_A && code <= SDL_SCANCODE_Z) return 'A' + (code - SDL_SCANCODE_A);
    if (code >= SDL_SCANCODE_1 && code <= SDL_SCANCODE_9) return '1' + (code - SDL_SCANCODE_1);
    if (code >= SDL_SCANCODE_KP_1 && code <= SDL_SCANCODE_KP_9) return 97 + (code - SDL_SCANCODE_KP_1);
    if (code >= SDL_SCANCODE_F1 && code <= SDL_SCANCODE_F12) return 112 + (code - SDL_SCANCODE_F1);
    for (const KeyName& named : kNamedKeys)
        if (named.scancode == code) return named.key;
    return 0;
}

MouseButton ButtonOf(uint8_t button) {
    switch (button) {
    case SDL_BUTTON_LEFT: return MouseButton::Left;
    case SDL_BUTTON_RIGHT: return MouseButton::Right;
    case SDL_BUTTON_MIDDLE: return MouseButton::Middle;
    default: return MouseButton::None;
    }
}

// The window an SDL event belongs to; 0 for events of no window.
Uint32 WindowOf(const SDL_Event& e) {
    switch (e.type) {
    case SDL_MOUSEMOTION: return e.motion.windowID;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: return e.button.windowID;
    case SDL_MOUSEWHEEL: return e.wheel.windowID;
    case SDL_KEYDOWN:
    case SDL_KEYUP: return e.key.windowID;
    case SDL_TEXTINPUT: return e.text.windowID;
    case SDL_WINDOWEVENT: return e.window.windowID;
    default: return 0;
    }
}

// The input event an SDL event stands for; false for events the program does not see.
bool Translate(const SDL_Event& e, InputEvent& out) {
    out = InputEvent{};
    switch (e.type) {
    case SDL_TEXTINPUT:
        out.kind = InputKind::Text;
        out.text = Utf8ToCp932(e.text.text);
        return !out.text.empty();
    case SDL_MOUSEMOTION:
        out.kind = InputKind::MouseMove;
        out.x = e.motion.x;
        out.y = e.motion.y;
        return true;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        out.kind = e.type == SDL_MOUSEBUTTONDOWN ? InputKind::MouseDown : InputKind::MouseUp;
        out.button = ButtonOf(e.button.button);
        out.x = e.button.x;
        out.y = e.button.y;
        return out.button != MouseButton::None;
    case SDL_MOUSEWHEEL: {
        int32_t away = e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.wheel.y : e.wheel.y;
        out.kind = InputKind::Wheel;
        out.wheel = away > 0 ? 1 : -1;
        SDL_GetMouseState(&out.x, &out.y);
        return away != 0;
    }
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        out.kind = e.type == SDL_KEYDOWN ? InputKind::KeyDown : InputKind::KeyUp;
        out.key = VirtualKey(e.key.keysym);
        out.repeat = e.type == SDL_KEYDOWN && e.key.repeat != 0;
        out.alt = (e.key.keysym.mod & KMOD_ALT) != 0;
        out.ctrl = (e.key.keysym.mod & KMOD_CTRL) != 0;
        out.shift = (e.key.keysym.mod & KMOD_SHIFT) != 0;
        return out.key != 0;
    case SDL_QUIT:
        out.kind = InputKind::Close;
        return true;
    case SDL_CONTROLLERBUTTONDOWN:
    case SDL_CONTROLLERBUTTONUP:
        out.kind = e.type == SDL_CONTROLLERBUTTONDOWN ? InputKind::PadDown : InputKind::PadUp;
        out.key = e.cbutton.button;
        return e.cbutton.button < uint8_t(PadButton::Count);
    case SDL_CONTROLLERAXISMOTION: {
        // A stick's move comes one axis at a time: the other axis is read where it stands.
        const bool left = e.caxis.axis == SDL_CONTROLLER_AXIS_LEFTX || e.caxis.axis == SDL_CONTROLLER_AXIS_LEFTY;
        if (!left && e.caxis.axis != SDL_CONTROLLER_AXIS_RIGHTX && e.caxis.axis != SDL_CONTROLLER_AXIS_RIGHTY)
            return false;
        const SDL_GameControllerAxis ax = left ? SDL_CONTROLLER_AXIS_LEFTX : SDL_CONTROLLER_AXIS_RIGHTX;
        const SDL_GameControllerAxis ay = left ? SDL_CONTROLLER_AXIS_LEFTY : SDL_CONTROLLER_AXIS_RIGHTY;
        SDL_GameController* pad = SDL_GameControllerFromInstanceID(e.caxis.which);
        out.kind = InputKind::PadStick;
        out.key = int32_t(left ? PadStick::Left : PadStick::Right);
        out.x = e.caxis.axis == ax ? e.caxis.value : pad ? SDL_GameControllerGetAxis(pad, ax) : 0;
        out.y = e.caxis.axis == ay ? e.caxis.value : pad ? SDL_GameControllerGetAxis(pad, ay) : 0;
        return true;
    }
    case SDL_WINDOWEVENT:
        switch (e.window.event) {
        case SDL_WINDOWEVENT_FOCUS_GAINED: out.kind = InputKind::Activate; return true;
        case SDL_WINDOWEVENT_FOCUS_LOST: out.kind = InputKind::Deactivate; return true;
        case SDL_WINDOWEVENT_CLOSE: out.kind = InputKind::Close; return true;
        case SDL_WINDOWEVENT_EXPOSED:
        case SDL_WINDOWEVENT_RESTORED:
        case SDL_WINDOWEVENT_SIZE_CHANGED: out.kind = InputKind::Expose; return true;
        case SDL_WINDOWEVENT_LEAVE: out.kind = InputKind::MouseLeave; return true;
        default: return false;
        }
    default: return false;
    }
}

// Whether a window event means the window's pixels must all be shown again.
bool LosesPixels(const SDL_Event& e) {
    if (e.type != SDL_WINDOWEVENT) return false;
    switch (e.window.event) {
    case SDL_WINDOWEVENT_EXPOSED:
    case SDL_WINDOWEVENT_SHOWN:
    case SDL_WINDOWEVENT_RESTORED:
    case SDL_WINDOWEVENT_SIZE_CHANGED: return true;
    default: return false;
    }
}

// ---- Desktop ----

DisplayModeInfo ModeInfo(const SDL_DisplayMode& mode) {
    return {static_cast<uint32_t>(mode.w), static_cast<uint32_t>(mode.h),
            static_cast<uint32_t>(SDL_BYTESPERPIXEL(mode.format) * 8), static_cast<uint32_t>(mode.refresh_rate)};
}

// Sizes a title may ask for beside those the monitor lists.
constexpr struct {
    int32_t width, height;
} kCommonSizes[] = {{640, 480}, {800, 600}, {1024, 768}, {1280, 720}, {1280, 960}, {1280, 1024}, {1600, 1200}, {1920, 1080}};

// The full-screen modes of the primary display, smallest first as display adapters list them.
// Every mode is shown scaled on the desktop's own, so beside the monitor's modes (without the
// empty ones some drivers list) the common sizes up to the desktop's are offered at its depth and
// refresh rate.
std::vector<DisplayModeInfo> FullScreenModes() {
    std::vector<DisplayModeInfo> modes;
    SDL_DisplayMode mode;
    for (int i = 0; i < SDL_GetNumDisplayModes(0); ++i)
        if (SDL_GetDisplayMode(0, i, &mode) == 0 && mode.w > 0 && mode.h > 0) modes.push_back(ModeInfo(mode));
    if (SDL_GetDesktopDisplayMode(0, &mode) == 0) {
        const DisplayModeInfo desktop = ModeInfo(mode);
        for (const auto& size : kCommonSizes)
            if (uint32_t(size.width) <= desktop.width && uint32_t(size.height) <= desktop.height)
                modes.push_back({uint32_t(size.width), uint32_t(size.height), desktop.bitCount, desktop.refreshRate});
    }
    auto order = [](const DisplayModeInfo& m) { return std::tuple(m.width, m.height, m.bitCount, m.refreshRate); };
    std::sort(modes.begin(), modes.end(), [&](const auto& a, const auto& b) { return order(a) < order(b); });
    modes.erase(std::unique(modes.begin(), modes.end()), modes.end());
    return modes;
}

ScreenRect ToScreenRect(const SDL_Rect& r) { return {r.x, r.y, r.x + r.w, r.y + r.h}; }

// Hands the monitors SDL sees to the system metrics.
void SupplyDisplayMetrics() {
    SDL_Rect primary, all, usable, other;
    if (SDL_GetDisplayBounds(0, &primary) != 0) return;
    all = primary;
    for (int i = 1; i < SDL_GetNumVideoDisplays(); ++i)
        if (SDL_GetDisplayBounds(i, &other) == 0) SDL_UnionRect(&all, &other, &all);
    DisplayMetrics metrics;
    metrics.virtualScreen = ToScreenRect(all);
    metrics.primaryWidth = primary.w;
    metrics.primaryHeight = primary.h;
    metrics.workArea = ToScreenRect(SDL_GetDisplayUsableBounds(0, &usable) == 0 ? usable : primary);
    SetDisplayMetrics(metrics);
}

void QuitVideo() {
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    if (SDL_WasInit(0) == 0) SDL_Quit();
}

// ---- Message boxes ----

struct Choice {
    MessageResult result;
    const char* label;
};

// The buttons of a box: the first is the one Return presses, the last the one Escape presses.
std::vector<Choice> ChoicesOf(MessageButtons buttons) {
    switch (buttons) {
    case MessageButtons::OkCancel: return {{MessageResult::Ok, "OK"}, {MessageResult::Cancel, "Cancel"}};
    case MessageButtons::YesNo: return {{MessageResult::Yes, "Yes"}, {MessageResult::No, "No"}};
    case MessageButtons::Ok: break;
    }
    return {{MessageResult::Ok, "OK"}};
}

Uint32 IconFlag(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Error: return SDL_MESSAGEBOX_ERROR;
    case MessageIcon::Warning: return SDL_MESSAGEBOX_WARNING;
    case MessageIcon::Information:
    case MessageIcon::Question: return SDL_MESSAGEBOX_INFORMATION;
    case MessageIcon::None: break;
    }
    return 0;
}

// ---- The window ----

// A counter other threads raise to end a wait on the window system's connection at once.
class WakeCounter {
public:
    WakeCounter() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~WakeCounter() {
        if (fd_ >= 0) close(fd_);
    }
    WakeCounter(const WakeCounter&) = delete;
    WakeCounter& operator=(const WakeCounter&) = delete;
    int fd() const { return fd_; }
    void raise() {
        const uint64_t one = 1;
        if (fd_ >= 0 && write(fd_, &one, sizeof one) < 0) return;  // full: it is raised already
    }
    void clear() {
        uint64_t count = 0;
        if (fd_ >= 0 && read(fd_, &count, sizeof count) < 0) return;  // nothing was raised
    }

private:
    int fd_;
};

class SdlDisplay final : public Display {
public:
    SdlDisplay(SDL_Window* window, SDL_Surface* client, Uint32 wakeType, bool windowSurfaces)
        : window_(window), windowSurfaces_(windowSurfaces), windowPixels_(window, windowSurfaces), client_(client),
          wakeType_(wakeType) {
        SDL_GetWindowSize(window_, &normal_.clientWidth, &normal_.clientHeight);
        windowedWidth_ = client->w;
        windowedHeight_ = client->h;
        // What shows the window is settled while it is hidden and before its connection is
        // watched: an OpenGL renderer makes the window anew.
        if (!windowPixels_.fetch()) MarkNothingShown(SDL_GetError());
        connection_ = WatchX11Window(window_);
        if (connection_ < 0) connection_ = WatchWaylandWindow(window_);
    }
    ~SdlDisplay() override {
        // A display that went away is left as it is: SDL would wait for ever for the window
        // system's answer to the window's hiding. The program ends without it.
        if (!lost().empty()) return;
        for (SDL_GameController* pad : pads_) SDL_GameControllerClose(pad);
        SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
        setDefaultCursor();
        windowPixels_.destroyWindow();
        QuitVideo();
    }
    SdlDisplay(const SdlDisplay&) = delete;
    SdlDisplay& operator=(const SdlDisplay&) = delete;

    bool headless() const override { return false; }

    DisplayModeInfo desktopMode() override {
        SDL_DisplayMode mode;
        return SDL_GetDesktopDisplayMode(0, &mode) == 0 ? ModeInfo(mode) : DisplayModeInfo{};
    }

    std::vector<DisplayModeInfo> displayModes() override { return FullScreenModes(); }

    PixelRect workArea() override {
        SDL_Rect r;
        if (SDL_GetDisplayUsableBounds(0, &r) != 0 && SDL_GetDisplayBounds(0, &r) != 0) return {};
        ScreenRect area = ToScreenRect(r);
        return {area.left, area.top, area.right, area.bottom};
    }

    void setCaption(const std::string& text) override { SDL_SetWindowTitle(window_, Cp932ToUtf8(text).c_str()); }

    void setBounds(int32_t left, int32_t top, int32_t clientWidth, int32_t clientHeight) override {
        windowedWidth_ = std::max(clientWidth, 1);
        windowedHeight_ = std::max(clientHeight, 1);
        normal_ = {left, top, windowedWidth_, windowedHeight_, false};
        if (fullScreen_) return;
        makeClient(windowedWidth_, windowedHeight_);
        placeWindow();
    }

    int32_t clientWidth() override { return client_.describe().width; }
    int32_t clientHeight() override { return client_.describe().height; }

    void setWindowSize(int32_t width, int32_t height) override {
        normal_.clientWidth = std::max(width, 1);
        normal_.clientHeight = std::max(height, 1);
        if (!fullScreen_) SDL_SetWindowSize(window_, normal_.clientWidth, normal_.clientHeight);
    }

    // In full screen the frame holds the rows above the mode's.
    void setUnscaledTop(int32_t rows) override {
        if (rows == band_) return;
        if (fullScreen_ && !makeClient(clientWidth(), clientHeight() - band_ + rows)) return;
        band_ = rows;
        repaint_ = true;
    }

    void showUnscaledTop(bool shown) override {
        if (shown == bandShown_) return;
        bandShown_ = shown;
        if (fullScreen_) repaintWindow();
    }

    void show() override {
        SDL_ShowWindow(window_);
        if (SDL_GetWindowFlags(window_) & SDL_WINDOW_MINIMIZED) SDL_RestoreWindow(window_);
    }

    // In the normal state the window's own place (the user may have moved it), else the last
    // one it had.
    WindowPlacement placement() override {
        const Uint32 flags = SDL_GetWindowFlags(window_);
        const bool maximized = !fullScreen_ && (flags & SDL_WINDOW_MAXIMIZED);
        if (!fullScreen_ && !maximized && !(flags & SDL_WINDOW_MINIMIZED)) {
            int x = 0, y = 0, borderTop = 0, borderLeft = 0, width = 0, height = 0;
            SDL_GetWindowPosition(window_, &x, &y);
            SDL_GetWindowSize(window_, &width, &height);
            SDL_GetWindowBordersSize(window_, &borderTop, &borderLeft, nullptr, nullptr);
            normal_ = {x - borderLeft, y - borderTop, width, height, false};
        }
        WindowPlacement now = normal_;
        now.shown = (flags & SDL_WINDOW_SHOWN) != 0;
        now.maximized = maximized;
        return now;
    }

    void minimize() override { SDL_MinimizeWindow(window_); }

    void maximize() override {
        if (fullScreen_)
            maximizeBack_ = true;
        else
            SDL_MaximizeWindow(window_);
    }

    // A listed mode (a requested refresh rate of 0 matches any): the window covers the desktop,
    // and the frame becomes a surface of the mode's size.
    bool setFullScreen(const DisplayModeInfo* mode) override {
        if (!fullScreen_) placement();  // the normal place to come back to
        if (mode) {
            const std::vector<DisplayModeInfo> modes = FullScreenModes();
            const bool listed = std::any_of(modes.begin(), modes.end(), [mode](const DisplayModeInfo& info) {
                return info.width == mode->width && info.height == mode->height && info.bitCount == mode->bitCount &&
                       (mode->refreshRate == 0 || info.refreshRate == mode->refreshRate);
            });
            if (listed && makeClient(int32_t(mode->width), int32_t(mode->height) + band_) && coverDesktop()) {
                if (!fullScreen_) bandShown_ = maximizeBack_ = false;
                fullScreen_ = true;
                return true;
            }
        }
        if (fullScreen_) {
            fullScreen_ = false;
            uncoverDesktop();
            placeWindow();
            if (std::exchange(maximizeBack_, false)) SDL_MaximizeWindow(window_);
        }
        makeClient(windowedWidth_, windowedHeight_);
        return !mode;
    }

    PixelSurface& frame() override { return client_; }

    // The frame's rectangles onto the window's pixels, laid out for the window's size; the
    // whole window when its pixels were lost or its size changed, or when an earlier present did
    // not reach it. A window that can show nothing ends the display.
    void present(const std::vector<PixelRect>& rects) override {
        SDL_Surface* window = windowPixels_.fetch();
        if (!window) MarkNothingShown(SDL_GetError());
        if (!window || !matchFormat(window)) {
            repaint_ = true;
            return;
        }
        const PixelRect whole{0, 0, window->w, window->h};
        const bool all = repaint_ || whole != shownSize_;
        const ScaledWindow layout = layoutFor(window->w, window->h);
        const PixelBuffer client = client_.lock(), screen = windowPixels_.lock();
        std::vector<PixelRect> shown;
        if (all) layout.copyAll(client, screen);
        else shown = layout.copy(client, screen, rects);
        windowPixels_.unlock();
        client_.unlock();
        shownSize_ = whole;
        repaint_ = !windowPixels_.show(all ? std::vector<PixelRect>{whole} : shown);
    }

    // Shows the whole window again from the frame.
    void repaintWindow() {
        repaint_ = true;
        present({});
    }

    void cursorPos(int32_t& x, int32_t& y) override {
        SDL_GetMouseState(&x, &y);
        layoutOnWindow().toClient(x, y);
    }
    void setCursorPos(int32_t x, int32_t y) override {
        layoutOnWindow().toScreen(x, y);
        if (warpedTo_.size() == MaxWarpsAwaited) warpedTo_.pop_front();
        warpedTo_.emplace_back(x, y);
        SDL_WarpMouseInWindow(window_, x, y);
    }

    void showPointer(bool shown) override { SDL_ShowCursor(shown ? SDL_ENABLE : SDL_DISABLE); }

    bool setCursor(const PixelBuffer& image, int32_t hotX, int32_t hotY) override {
        if (!CursorImageUsable(image, hotX, hotY)) return false;
        // SDL copies the pixels into the cursor; the surface only describes them.
        SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(image.pixels, image.width, image.height, 32,
                                                                  image.pitch, SDL_PIXELFORMAT_ARGB8888);
        if (!surface) return false;
        SDL_Cursor* made = SDL_CreateColorCursor(surface, hotX, hotY);
        SDL_FreeSurface(surface);
        if (!made) return false;
        SDL_SetCursor(made);
        replaceCursor(made);
        return true;
    }

    void setDefaultCursor() override {
        SDL_SetCursor(SDL_GetDefaultCursor());
        replaceCursor(nullptr);
    }

    bool waitWindowEvent(InputEvent& event, uint32_t timeoutMs) override {
        if (!held_.empty()) {
            event = held_.front();
            held_.pop_front();
            return true;
        }
        const Uint32 main = SDL_GetWindowID(window_);
        return waitFor(timeoutMs, [&](const SDL_Event& e) {
            // Events of a dialog window that has gone are dropped.
            const Uint32 from = WindowOf(e);
            if (from != 0 && from != main) return false;
            if (LosesPixels(e)) repaintWindow();
            if (!Translate(e, event)) return false;
            // The window system reports a warp as a move to the point warped to, later: a move to
            // a point warped to lately is that report, and those of the warps before it are gone.
            if (event.kind == InputKind::MouseMove) {
                const auto at = std::find(warpedTo_.begin(), warpedTo_.end(), std::pair(event.x, event.y));
                event.warped = at != warpedTo_.end();
                warpedTo_.erase(warpedTo_.begin(), event.warped ? at + 1 : warpedTo_.end());
            }
            if (IsMouseEvent(event.kind)) layoutOnWindow().toClient(event.x, event.y);
            return true;
        });
    }

    // SDL_QUIT (the end of the session) comes at the next pump. A dialog window's close is the
    // dialog's own.
    bool takeWindowClose() override {
        bool taken = std::erase_if(held_, [](const InputEvent& e) { return e.kind == InputKind::Close; }) > 0;
        SDL_PumpEvents();
        queueLoss();
        struct Search {
            Uint32 main;
            bool found;
        } search{SDL_GetWindowID(window_), false};
        SDL_FilterEvents(
            [](void* data, SDL_Event* e) -> int {
                auto& s = *static_cast<Search*>(data);
                if (e->type != SDL_QUIT && e->type != SDL_WINDOWEVENT) return 1;
                const Uint32 from = WindowOf(*e);
                InputEvent event;
                if ((from != 0 && from != s.main) || !Translate(*e, event) || event.kind != InputKind::Close) return 1;
                s.found = true;
                return 0;
            },
            &search);
        return taken || search.found;
    }

    // The next SDL event, waiting up to TimeoutMs for one. On X11 and Wayland the wait watches the
    // connection and the wake counter itself: SDL's own wait is woken on X11 over a second
    // connection to the X server, from the waking thread, and a break of that connection could not
    // end the player cleanly; on Wayland by a request whose reply SDL never frees, a leak at every
    // wake. Once the display is lost only a wake ends the wait early.
    bool nextEvent(SDL_Event& e, Uint32 timeoutMs) {
        if (connection_ < 0) return SDL_WaitEventTimeout(&e, static_cast<int>(std::min<Uint32>(timeoutMs, INT_MAX)));
        const Uint32 start = SDL_GetTicks();
        for (;;) {
            if (SDL_PollEvent(&e)) return true;
            const Uint32 elapsed = SDL_GetTicks() - start;
            if (elapsed >= timeoutMs) return false;
            pollfd ready[2] = {{wakes_.fd(), POLLIN, 0}, {connection_, POLLIN, 0}};
            const nfds_t watched = lossQueued_ ? 1 : 2;
            if (poll(ready, watched, static_cast<int>(std::min<Uint32>(timeoutMs - elapsed, INT_MAX))) > 0 &&
                ready[0].revents)
                wakes_.clear();
        }
    }

    // Waits up to TimeoutMs for an SDL event that Take accepts; false on a timeout or a wake.
    template <typename F>
    bool waitFor(uint32_t timeoutMs, F&& Take) {
        const Uint32 start = SDL_GetTicks();
        for (;;) {
            queueLoss();
            Uint32 elapsed = SDL_GetTicks() - start;
            Uint32 left = elapsed >= timeoutMs ? 0 : timeoutMs - elapsed;
            SDL_Event e;
            if (!nextEvent(e, left)) return false;
            if (e.type == wakeType_) {
                wakePending_ = false;
                return false;
            }
            if (trackPads(e)) continue;
            if (Take(e)) return true;
        }
    }

    // While a dialog is open: an event of the main window other than mouse and keys (the pointer
    // leaving it counts as one) waits for the main window's own waitEvent.
    void hold(const SDL_Event& e) {
        if (trackPads(e)) return;
        if (WindowOf(e) == SDL_GetWindowID(window_) && LosesPixels(e)) repaintWindow();
        InputEvent event;
        if (!Translate(e, event)) return;
        switch (event.kind) {
        case InputKind::Activate:
        case InputKind::Deactivate:
        case InputKind::Close:
        case InputKind::Expose:
        case InputKind::MouseLeave: held_.push_back(event); break;
        default: break;
        }
    }

    bool dialogOpen = false;
    bool windowSurfaces() const { return windowSurfaces_; }

    // A display that went away ends the session: its SDL_QUIT, queued once, closes an open dialog
    // window and then the main window.
    void queueLoss() {
        if (lossQueued_ || DisplayLoss().empty()) return;
        lossQueued_ = true;
        SDL_Event quit{};
        quit.type = SDL_QUIT;
        SDL_PushEvent(&quit);
    }

    std::string lost() override { return DisplayLoss(); }

    // One wake event at a time is enough: a burst of wakes must not fill SDL's queue.
    void wake() override {
        if (wakePending_.exchange(true)) return;
        SDL_Event e{};
        e.type = wakeType_;
        if (SDL_PushEvent(&e) != 1) wakePending_ = false;
        wakes_.raise();
    }

    MessageResult messageBox(const std::string& caption, const std::string& text, MessageButtons buttons,
                             MessageIcon icon) override {
        const std::vector<Choice> choices = ChoicesOf(buttons);
        std::vector<std::string> labels;
        for (const Choice& choice : choices) labels.push_back(choice.label);
        return choices[showBox(caption, text, labels, labels.size() - 1, icon)].result;
    }

    int choiceBox(const std::string& caption, const std::string& text, const std::vector<std::string>& labels,
                  size_t cancel, MessageIcon icon) override {
        std::vector<std::string> shown;
        for (const std::string& label : labels) shown.push_back(DropAccelerators(Cp932ToUtf8(label)));
        if (shown.empty()) shown.push_back("OK");
        return static_cast<int>(showBox(caption, text, shown, cancel, icon));
    }

    std::optional<std::string> fileDialog(const FileDialogRequest& request) override {
        FileDialogRequest desktop = request;
        desktop.filter = Cp932ToUtf8(request.filter);
        desktop.title = Cp932ToUtf8(request.title);
        const DesktopFileAnswer answer = DesktopFileDialog(desktop);
        if (answer.outcome == DialogOutcome::Unavailable) {
            if (const FileDialogFallback drawn = GetFileDialogFallback()) return drawn(*this, request);
            std::fprintf(stderr, "zenity cannot show a file dialog: it counts as cancelled\n");
        }
        if (answer.outcome != DialogOutcome::Chosen) return std::nullopt;
        return answer.path;
    }

    std::unique_ptr<DialogWindow> openDialog(const std::string& title, int32_t clientWidth,
                                             int32_t clientHeight) override;

    void setTextInput(bool on, const PixelRect& client) override {
        textInput_ = on;
        const PixelRect caret = layoutOnWindow().toScreen(client);
        SDL_Rect at{caret.left, caret.top, std::max(caret.right - caret.left, 1), std::max(caret.bottom - caret.top, 1)};
        if (on) SDL_SetTextInputRect(&at);
        restoreTextInput();
    }

    // The dialog window turns typed text on for itself; the main window's wish holds again after.
    void restoreTextInput() {
        if (textInput_ || dialogOpen) SDL_StartTextInput();
        else SDL_StopTextInput();
    }

    std::string clipboardText() override {
        char* text = SDL_GetClipboardText();
        if (!text) return {};
        std::string converted = Utf8ToCp932(text);
        SDL_free(text);
        return converted;
    }

    void setClipboardText(const std::string& text) override { SDL_SetClipboardText(Cp932ToUtf8(text).c_str()); }

    std::unique_ptr<PixelSurface> createSurface(int32_t width, int32_t height, int bitCount) override {
        uint32_t format = SDL_PIXELFORMAT_RGB888;
        switch (bitCount) {
        case 1: format = SDL_PIXELFORMAT_INDEX1MSB; break;
        case 4: format = SDL_PIXELFORMAT_INDEX4MSB; break;
        case 8: format = SDL_PIXELFORMAT_INDEX8; break;
        case 16: format = SDL_PIXELFORMAT_RGB565; break;
        default: bitCount = 32;
        }
        // The pixels are allocated here, not by SDL, so that the player's heap counts them (the
        // rows padded to four bytes, zeroed, as SDL would make them).
        const int64_t pitch = (int64_t(std::max(width, 0)) * bitCount + 31) / 32 * 4;
        if (pitch > INT32_MAX || pitch * std::max(height, 0) > INT32_MAX) return nullptr;
        auto pixels = std::make_unique<uint8_t[]>(size_t(std::max<int64_t>(pitch * height, 1)));
        SDL_Surface* surface =
            SDL_CreateRGBSurfaceWithFormatFrom(pixels.get(), width, height, bitCount, int(pitch), format);
        if (!surface) return nullptr;
        auto made = std::make_unique<OwnedSurface>(surface, std::move(pixels));
        // SDL starts a palette white; the display's palettes start black.
        if (SDL_Palette* palette = surface->format->palette) {
            const std::vector<uint32_t> zero(size_t(palette->ncolors), 0);
            made->setPalette(0, palette->ncolors, zero.data());
        }
        return made;
    }

private:
    // How the frame is shown on a window of the size.
    ScaledWindow layoutFor(int32_t width, int32_t height) const {
        const PixelBuffer client = client_.describe();
        return ScaledWindow(client.width, client.height, band_, width, height, UnscaledTopPlace(fullScreen_, bandShown_));
    }
    ScaledWindow layoutOnWindow() const {
        int width = 0, height = 0;
        SDL_GetWindowSize(window_, &width, &height);
        return layoutFor(width, height);
    }

    // The frame at the size, its pixels cleared when the size changes. False when no surface of
    // the size can be made: the frame stays.
    bool makeClient(int32_t width, int32_t height) {
        const SDL_Surface* now = client_.get();
        if (now->w == width && now->h == height) return true;
        SDL_Surface* made = SDL_CreateRGBSurfaceWithFormat(0, width, height, 0, now->format->format);
        if (!made) return false;
        client_.reset(made);
        repaint_ = true;
        return true;
    }

    // The frame in the window's pixel format (it may differ from the format the frame was made
    // in before the window first showed), its pixels kept.
    bool matchFormat(const SDL_Surface* window) {
        if (client_.get()->format->format == window->format->format) return true;
        SDL_Surface* converted = SDL_ConvertSurfaceFormat(client_.get(), window->format->format, 0);
        if (!converted) return false;
        client_.reset(converted);
        return true;
    }

    // The window at its normal place and size.
    void placeWindow() {
        SDL_SetWindowSize(window_, normal_.clientWidth, normal_.clientHeight);
        int borderTop = 0, borderLeft = 0;
        SDL_GetWindowBordersSize(window_, &borderTop, &borderLeft, nullptr, nullptr);
        SDL_SetWindowPosition(window_, normal_.left + borderLeft, normal_.top + borderTop);
    }

    // The window over the whole desktop: the window manager's full screen, or without one (no
    // one would answer the request) the window itself laid over the display.
    bool coverDesktop() {
        if (fullScreen_) return true;
        repaint_ = true;
        if (WindowManagerRuns(window_)) return SDL_SetWindowFullscreen(window_, SDL_WINDOW_FULLSCREEN_DESKTOP) == 0;
        SDL_Rect bounds;
        if (SDL_GetDisplayBounds(std::max(SDL_GetWindowDisplayIndex(window_), 0), &bounds) != 0) return false;
        laidOver_ = true;
        SDL_SetWindowBordered(window_, SDL_FALSE);
        SDL_SetWindowPosition(window_, bounds.x, bounds.y);
        SDL_SetWindowSize(window_, bounds.w, bounds.h);
        SDL_RaiseWindow(window_);
        return true;
    }
    void uncoverDesktop() {
        repaint_ = true;
        if (!laidOver_) {
            SDL_SetWindowFullscreen(window_, 0);
            return;
        }
        laidOver_ = false;
        SDL_SetWindowBordered(window_, SDL_TRUE);
    }

    // A box of Caption and Text (code page 932) with the buttons (UTF-8, at least one), Return
    // pressing the first and Escape (or closing) Labels[Cancel]: the index chosen. The desktop's
    // own dialog where there is one, else the box the shell draws: the window system's box draws
    // only the characters of its core fonts, which on most desktops hold no Japanese, and without
    // them shows nothing.
    size_t showBox(const std::string& caption, const std::string& text, const std::vector<std::string>& labels,
                   size_t cancel, MessageIcon icon) {
        cancel = std::min(cancel, labels.size() - 1);
        const std::string title = Cp932ToUtf8(caption), message = Cp932ToUtf8(text);
        std::vector<SDL_MessageBoxButtonData> data;
        for (size_t i = 0; i < labels.size(); ++i) {
            const Uint32 flags = (i == 0 ? SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT : 0) |
                                 (i == cancel ? SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT : 0);
            data.push_back({flags, static_cast<int>(i), labels[i].c_str()});
        }
        // A hidden window makes a poor owner: a box before the window shows stands alone.
        SDL_Window* owner = (SDL_GetWindowFlags(window_) & SDL_WINDOW_SHOWN) ? window_ : nullptr;
        const SDL_MessageBoxData box{IconFlag(icon) | SDL_MESSAGEBOX_BUTTONS_LEFT_TO_RIGHT, owner, title.c_str(),
                                     message.c_str(), static_cast<int>(data.size()), data.data(), nullptr};
        int chosen = -1;
        bool woken = false;
        const auto behindBox = [&] {
            // The main window shows itself again when the box (or another window) uncovers it;
            // its other events wait as they do behind the dialog window. A dialog window's are
            // dropped.
            const Uint32 main = SDL_GetWindowID(window_);
            for (SDL_Event e; SDL_PollEvent(&e);) {
                if (e.type == wakeType_) {
                    wakePending_ = false;
                    woken = true;
                } else if (const Uint32 from = WindowOf(e); from == 0 || from == main) {
                    hold(e);
                }
            }
        };
        // Without the display nobody sees a box: the message goes to standard error, the box's
        // cancel button answers.
        if (lossQueued_) {
            printUnseenBox(caption, text);
            return cancel;
        }
        std::optional<int> answer = DesktopMessageBox(title, message, labels, cancel, icon, behindBox);
        if (woken) wake();
        if (const MessageBoxFallback drawn = GetMessageBoxFallback(); !answer && drawn) {
            std::vector<std::string> shown;
            for (const std::string& label : labels) shown.push_back(Utf8ToCp932(label));
            answer = drawn(*this, caption, text, shown, cancel);
        }
        if (answer) {
            chosen = *answer;
        } else if (SDL_ShowMessageBox(&box, &chosen) != 0) {
            // No box can be shown: the message goes to standard error and the first button answers.
            printUnseenBox(caption, text);
            chosen = 0;
        }
        // Closed without a button: as Escape.
        if (chosen < 0 || chosen >= static_cast<int>(labels.size())) return cancel;
        return static_cast<size_t>(chosen);
    }

    // Opens a game controller plugged in (those there at the start come the same way) and closes
    // one pulled out; whether E was such an event.
    bool trackPads(const SDL_Event& e) {
        if (e.type == SDL_CONTROLLERDEVICEADDED) {
            if (SDL_GameController* pad = SDL_GameControllerOpen(e.cdevice.which)) {
                if (std::find(pads_.begin(), pads_.end(), pad) == pads_.end()) pads_.push_back(pad);
                else SDL_GameControllerClose(pad);  // opened twice: SDL counts the openings
            }
            return true;
        }
        if (e.type != SDL_CONTROLLERDEVICEREMOVED) return false;
        std::erase_if(pads_, [&](SDL_GameController* pad) {
            if (SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(pad)) != e.cdevice.which) return false;
            SDL_GameControllerClose(pad);
            return true;
        });
        return true;
    }

    // The cursor made by setCursor is kept while it shows and freed once another one does.
    void replaceCursor(SDL_Cursor* cursor) {
        if (cursor_) SDL_FreeCursor(cursor_);
        cursor_ = cursor;
    }

    SDL_Window* window_;
    // Whether windows may show through their surfaces (else always through the renderer).
    bool windowSurfaces_;
    WindowPixels windowPixels_;
    // The window's normal place and client size, and the frame's size there.
    WindowPlacement normal_;
    int32_t windowedWidth_ = 0, windowedHeight_ = 0;
    SDL_Cursor* cursor_ = nullptr;
    // The frame the program draws; the window shows it laid out for its own size.
    OwnedSurface client_;
    int32_t band_ = 0;
    // In full screen: the unscaled top rows are shown; the window is maximised once back.
    bool bandShown_ = false, maximizeBack_ = false;
    bool fullScreen_ = false;
    // Full screen without a window manager: the window lies over the display by itself.
    bool laidOver_ = false;
    // The window size the frame was last shown on, and whether the whole window must be shown
    // again at the next present.
    PixelRect shownSize_;
    bool repaint_ = true;
    Uint32 wakeType_;
    std::atomic<bool> wakePending_{false};
    // The X11 or Wayland connection's file descriptor (-1 on another window system), and what
    // wakes a wait on it.
    int connection_ = -1;
    WakeCounter wakes_;
    bool lossQueued_ = false;
    std::deque<InputEvent> held_;
    bool textInput_ = false;
    // The game controllers open, and the window points setCursorPos warped to whose moves have
    // not been reported yet (the last few).
    std::vector<SDL_GameController*> pads_;
    static constexpr size_t MaxWarpsAwaited = 8;
    std::deque<std::pair<int32_t, int32_t>> warpedTo_;
};

// The dialog window: a second SDL window, shown as the main window is, typed text on while it is
// open.
class SdlDialog final : public DialogWindow {
public:
    SdlDialog(SdlDisplay& Owner, SDL_Window* Window)
        : owner_(Owner), window_(Window), frame_(Window, Owner.windowSurfaces()) {
        owner_.dialogOpen = true;
        SDL_StartTextInput();
    }
    ~SdlDialog() override {
        if (owner_.lost().empty()) frame_.destroyWindow();
        owner_.dialogOpen = false;
        owner_.restoreTextInput();
    }
    SdlDialog(const SdlDialog&) = delete;
    SdlDialog& operator=(const SdlDialog&) = delete;

    PixelSurface& frame() override { return frame_; }

    // Whether the window can show its pixels; else the display ends.
    bool shows() {
        if (frame_.fetch()) return true;
        MarkNothingShown(SDL_GetError());
        return false;
    }

    void present(const std::vector<PixelRect>& rects) override {
        if (shows()) frame_.show(rects);
    }

    bool waitDialogEvent(InputEvent& event, uint32_t timeoutMs) override {
        const Uint32 own = SDL_GetWindowID(window_);
        return owner_.waitFor(timeoutMs, [&](const SDL_Event& e) {
            if (e.type == SDL_QUIT) {
                owner_.hold(e);
                return Translate(e, event);
            }
            if (WindowOf(e) == own) return Translate(e, event);
            owner_.hold(e);
            return false;
        });
    }

    PixelRect bounds() override {
        int x = 0, y = 0, w = 0, h = 0;
        SDL_GetWindowPosition(window_, &x, &y);
        SDL_GetWindowSize(window_, &w, &h);
        return {x, y, x + w, y + h};
    }

private:
    SdlDisplay& owner_;
    SDL_Window* window_;
    WindowPixels frame_;
};

std::unique_ptr<DialogWindow> SdlDisplay::openDialog(const std::string& title, int32_t clientWidth,
                                                     int32_t clientHeight) {
    if (lossQueued_ || dialogOpen || clientWidth <= 0 || clientHeight <= 0 || clientWidth > kMaxDialogSide ||
        clientHeight > kMaxDialogSide)
        return nullptr;
    const PixelRect at = CentredDialogBounds(workArea(), clientWidth, clientHeight);
    SDL_Window* dialog = SDL_CreateWindow(Cp932ToUtf8(title).c_str(), at.left, at.top, clientWidth, clientHeight,
                                          SDL_WINDOW_HIDDEN | SDL_WINDOW_ALLOW_HIGHDPI);
    if (!dialog) return nullptr;
    auto made = std::make_unique<SdlDialog>(*this, dialog);
    // What shows the dialog is settled while it is hidden.
    if (!made->shows()) return nullptr;
    // Kept above the main window where the window system allows it.
    if (SDL_GetWindowFlags(window_) & SDL_WINDOW_SHOWN) SDL_SetWindowModalFor(dialog, window_);
    SDL_ShowWindow(dialog);
    SDL_RaiseWindow(dialog);
    return made;
}

}  // namespace

std::unique_ptr<Display> CreateSdlDisplay(bool windowSurfaces) {
    // A wait that finds an event returns it, also right after a poll that found none.
    SDL_SetHint(SDL_HINT_POLL_SENTINEL, "0");
    // While a button is held the window keeps the mouse: a drag past its edge still moves.
    SDL_SetHint(SDL_HINT_MOUSE_AUTO_CAPTURE, "1");
    // The desktop's input method shows what is being composed and its candidates in its own
    // windows: the text fields draw only the text committed.
    SDL_SetHint(SDL_HINT_IME_INTERNAL_EDITING, "1");
    SDL_SetHint(SDL_HINT_IME_SHOW_UI, "1");
    // The window's surface goes to the window system as it is: an accelerated one (an OpenGL
    // renderer behind it) makes the window anew when it is first fetched, which drops the place
    // the window was given and what it showed.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    CatchX11Errors();
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return nullptr;
    // On a scaled (HiDPI) output the window has pixels of the output's own: its renderer shows
    // each of the window's at the output's whole multiple.
    SDL_Window* window = SDL_CreateWindow("", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, 640, 480,
                                          SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI);
    // The frame is made in the window's pixel format as the display reports it.
    Uint32 format = window ? SDL_GetWindowPixelFormat(window) : Uint32{SDL_PIXELFORMAT_UNKNOWN};
    if (SDL_BYTESPERPIXEL(format) != 4 || SDL_ISPIXELFORMAT_INDEXED(format)) format = SDL_PIXELFORMAT_RGB888;
    SDL_Surface* client = window ? SDL_CreateRGBSurfaceWithFormat(0, 640, 480, 0, format) : nullptr;
    const Uint32 wakeType = SDL_RegisterEvents(1);
    if (!window || !client || wakeType == static_cast<Uint32>(-1)) {
        // The window system is there but shows nothing of the player's (on Wayland the window
        // itself needs OpenGL): the title must not play unseen.
        MarkNothingShown(SDL_GetError());
        SDL_FreeSurface(client);
        if (window) SDL_DestroyWindow(window);
        QuitVideo();
        return nullptr;
    }
    auto display = std::make_unique<SdlDisplay>(window, client, wakeType, windowSurfaces);
    // Game controllers, when the host has any way to reach them; a pad there already comes as
    // plugged in.
    if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0)
        std::fprintf(stderr, "velaplay: game controllers cannot be used: %s\n", SDL_GetError());
    // Keys arrive as keys: no input method stands between them and the program.
    SDL_StopTextInput();
    SupplyDisplayMetrics();
    return display;
}

}  // namespace platform
