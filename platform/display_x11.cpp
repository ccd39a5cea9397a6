// What SDL does not tell about an X11 desktop, and how the display is lost: the X11 connection's
// failures, the Wayland compositor going away, a window that can show nothing. Apart from the rest
// of the SDL backend: the X11 headers define macros (None, Bool, Status) that clash with the
// program's names.
#include "platform/display_sdl.h"

#include <SDL.h>
#include <SDL_syswm.h>

#include <atomic>
#include <cstdio>
#include <string>

#include <unistd.h>

#if defined(SDL_VIDEO_DRIVER_X11)
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#endif
#if defined(SDL_VIDEO_DRIVER_WAYLAND)
#include <wayland-client.h>
#endif

namespace platform {

namespace {

// How the display was lost; Working while it works. The first loss is the one told.
enum class Loss : int { Working, ConnectionBroke, WindowDestroyed, RequestRefused, CompositorGone, NothingShown };
std::atomic<Loss> lost{Loss::Working};
std::atomic<int> lostErrorCode{0};
// SDL's reason for NothingShown, written by the main thread before it marks that loss.
char nothingShownReason[200];

void MarkLost(Loss How) {
    Loss working = Loss::Working;
    lost.compare_exchange_strong(working, How);
}

#if defined(SDL_VIDEO_DRIVER_X11)

// The player's window, whose destruction by another client ends the display.
std::atomic<unsigned long> watchedWindow{0};

// A request on a window or drawable that no longer exists means another client destroyed the
// window (before its destruction was seen); any other error is told by its code.
int KeepError(::Display*, XErrorEvent* error) {
    if (error->error_code == BadWindow || error->error_code == BadDrawable) {
        MarkLost(Loss::WindowDestroyed);
        return 0;
    }
    int none = 0;
    lostErrorCode.compare_exchange_strong(none, error->error_code);
    MarkLost(Loss::RequestRefused);
    return 0;
}

// The connection of the player's window.
std::atomic<::Display*> watchedDisplay{nullptr};

// Xlib calls this first when a connection breaks, then the connection's exit handler. The
// window's has one that returns, and its later calls return at once. Any other connection (SDL
// keeps one of its own, for its wake-ups) would exit() while the program's threads still run:
// the program ends at once instead, saying why.
int KeepBrokenConnection(::Display* display) {
    MarkLost(Loss::ConnectionBroke);
    if (display == watchedDisplay.load()) return 0;
    std::fputs("velaplay: the connection to the X server broke\n", stderr);
    std::fflush(stderr);
    _exit(1);
}

void GoOnWithoutConnection(::Display*, void*) {}

// SDL's events of the window system come here before its queue: the destruction of the window
// marks the display lost, and none of them is queued.
int SeeDestruction(void*, SDL_Event* event) {
    if (event->type != SDL_SYSWMEVENT) return 1;
    const SDL_SysWMmsg* message = event->syswm.msg;
    if (message && message->subsystem == SDL_SYSWM_X11 && message->msg.x11.event.type == DestroyNotify &&
        message->msg.x11.event.xdestroywindow.window == watchedWindow.load())
        MarkLost(Loss::WindowDestroyed);
    return 0;
}

#endif

#if defined(SDL_VIDEO_DRIVER_WAYLAND)
// The connection of the player's windows on Wayland; SDL ends its session when it breaks.
std::atomic<wl_display*> watchedCompositor{nullptr};
#endif

}  // namespace

bool WindowManagerRuns(SDL_Window* window) {
#if defined(SDL_VIDEO_DRIVER_X11)
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return true;
    // A window manager that follows the desktop conventions names its check window on the root.
    ::Display* x = info.info.x11.display;
    const Atom check = XInternAtom(x, "_NET_SUPPORTING_WM_CHECK", True);
    if (check == None) return false;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, left = 0;
    unsigned char* data = nullptr;
    const bool named = XGetWindowProperty(x, DefaultRootWindow(x), check, 0, 1, False, XA_WINDOW, &type, &format,
                                          &count, &left, &data) == Success &&
                       type == XA_WINDOW && count == 1;
    if (data) XFree(data);
    return named;
#else
    (void)window;
    return true;
#endif
}

void CatchX11Errors() {
#if defined(SDL_VIDEO_DRIVER_X11)
    XSetErrorHandler(KeepError);
#endif
}

int WatchX11Window(SDL_Window* window) {
#if defined(SDL_VIDEO_DRIVER_X11)
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return -1;
    watchedDisplay = info.info.x11.display;
    XSetIOErrorHandler(KeepBrokenConnection);
    XSetIOErrorExitHandler(info.info.x11.display, GoOnWithoutConnection, nullptr);
    watchedWindow = info.info.x11.window;
    SDL_SetEventFilter(SeeDestruction, nullptr);
    SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
    return ConnectionNumber(info.info.x11.display);
#else
    (void)window;
    return -1;
#endif
}

int WatchWaylandWindow(SDL_Window* window) {
#if defined(SDL_VIDEO_DRIVER_WAYLAND)
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_WAYLAND) return -1;
    watchedCompositor = info.info.wl.display;
    return wl_display_get_fd(info.info.wl.display);
#else
    (void)window;
    return -1;
#endif
}

void MarkNothingShown(const std::string& why) {
    if (lost.load() != Loss::Working) return;
    std::snprintf(nothingShownReason, sizeof nothingShownReason, "%s", why.c_str());
    MarkLost(Loss::NothingShown);
}

std::string DisplayLoss() {
#if defined(SDL_VIDEO_DRIVER_WAYLAND)
    if (wl_display* compositor = watchedCompositor.load(); compositor && wl_display_get_error(compositor) != 0)
        MarkLost(Loss::CompositorGone);
#endif
    switch (lost.load()) {
    case Loss::Working: break;
    case Loss::ConnectionBroke: return "the connection to the X server broke";
    case Loss::WindowDestroyed: return "another program destroyed the window";
    case Loss::RequestRefused: {
        char text[160];
        std::snprintf(text, sizeof text, "the X server refused a request (error %d)", lostErrorCode.load());
        return text;
    }
    case Loss::CompositorGone: return "the connection to the Wayland compositor broke";
    case Loss::NothingShown:
        return std::string("the window system shows none of the window's pixels (") + nothingShownReason + ")";
    }
    return {};
}

}  // namespace platform
