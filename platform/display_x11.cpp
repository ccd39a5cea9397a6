// What SDL does not tell about an X11 desktop. Apart from the rest of the SDL backend: the X11
// headers define macros (None, Bool, Status) that clash with the program's names.
#include "platform/display_sdl.h"

#include <SDL.h>
#include <SDL_syswm.h>

#if defined(SDL_VIDEO_DRIVER_X11)
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#endif

namespace platform {

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

}  // namespace platform
