#pragma once
// The SDL2 window backend of the display, known only to CreateDisplay.
#include "platform/display.h"

#include <memory>
#include <string>

struct SDL_Window;

namespace platform {

// Whether a window manager looks after the window's desktop: on X11 one that names itself on the
// root window; on other window systems always.
bool WindowManagerRuns(SDL_Window* window);

// The X11 connection's failures, kept rather than left to Xlib, whose own handlers end the
// program from inside the call that failed (exit() while the program's threads still run): from
// this call on an X protocol error marks the display lost and is passed over. Before SDL's video
// starts, so that SDL's own handler hands the errors it does not expect on to this one.
void CatchX11Errors();
// Once the window is made on X11: the connection breaking (the X server closing) or the window
// destroyed by another client marks the display lost, and a broken connection's later calls do
// nothing instead of ending the program. The connection's file descriptor, which a wait for the
// window's events watches; -1 on another window system.
int WatchX11Window(SDL_Window* window);
// Once the window is made on Wayland: the connection to the compositor breaking marks the display
// lost. The connection's file descriptor, which a wait for the window's events watches; -1 on
// another window system.
int WatchWaylandWindow(SDL_Window* window);
// A window that can show none of its pixels (neither through its surface nor through SDL's
// renderer) marks the display lost; Why is SDL's reason.
void MarkNothingShown(const std::string& why);
// Why the display was lost, one clause for a message ("" while it works). Any thread.
std::string DisplayLoss();

// A hidden window on SDL's video device; nullptr when SDL video cannot start, or when it starts
// but no window can be made (then DisplayLoss says why). WindowSurfaces false shows every window
// through SDL's renderer, as where the driver gives windows no surface.
std::unique_ptr<Display> CreateSdlDisplay(bool windowSurfaces = true);

}  // namespace platform
