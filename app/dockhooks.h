#pragma once
// The toolbar components' common services: one registry of notification procedures fed by the
// window layer, the printing of windowed controls into a canvas (WM_PRINT, WM_PRINTCLIENT), and
// a stable sort for lists.
//
// Four points are raised by the window layer (the main window's event handling and the dialog
// window): the application became active or inactive, a window's position changed, a window is
// about to be destroyed, a mouse move was taken from the queue. Each point is served by one of
// three hooks (the first two share one); a hook counts as installed while a registered procedure
// needs it. Procedures run on the main thread, in registration order.
#include "app/widgets.h"

#include <cstdint>
#include <functional>
#include <vector>

enum class THookProcCode : uint8_t {
    hpActivateApp,      // wParam: 1 active, 0 inactive
    hpWindowPosChanged,
    hpDestroyWindow,
    hpMouseMovePosted,  // wParam: the shift state, lParam: x in the low 16 bits, y in the high 16
};
// A set of hook points: bit (1 << point).
using THookProcCodes = uint8_t;
constexpr THookProcCodes HookCode(THookProcCode Code) { return THookProcCodes(1u << unsigned(Code)); }

// The three hooks: window procedure calls (activate application, position changed), window
// creation and destruction, messages taken from the queue (mouse moves).
enum class THookKind : uint8_t { hkCallWndProc, hkCBT, hkGetMessage };

using THookProc = void (*)(THookProcCode Code, TWindowHandle Wnd, uintptr_t WParam, intptr_t LParam);

// Registers Proc for the points: a procedure already registered has its count raised (its
// points stay as first given); a hook is installed when its first procedure needs it.
void InstallHookProc(THookProc Proc, THookProcCodes Codes);
// Lowers Proc's count, dropping it at 0 with the hooks no procedure needs any more. An unknown
// procedure is ignored.
void UninstallHookProc(THookProc Proc);
// Program end: every procedure and hook goes at once.
void RemoveAllHookProcs();

// What the registry holds: procedures registered, the count of one (0 when absent), whether a
// hook is installed.
size_t HookProcCount();
int HookProcRefCount(THookProc Proc);
bool HookInstalled(THookKind Kind);

// The window layer raises a point: every registered procedure whose points hold it is called with
// the window and the message's parameters. A procedure may register or unregister procedures
// while it runs; those registered meanwhile are called from the next raise on.
void RaiseHookPoint(THookProcCode Code, TWindowHandle Wnd, uintptr_t WParam = 0, intptr_t LParam = 0);

// Whether the application is active (one of its windows has the input focus). The window layer
// sets it from the window system's focus events, raising hpActivateApp when it changes.
bool ApplicationIsActive();
void SetApplicationActive(bool Active, TWindowHandle Wnd = 0);

// WM_PRINT flags.
constexpr uint32_t PRF_CHECKVISIBLE = 0x01, PRF_NONCLIENT = 0x02, PRF_CLIENT = 0x04, PRF_ERASEBKGND = 0x08,
                   PRF_CHILDREN = 0x10, PRF_OWNED = 0x20;

// WM_PRINT of a windowed control into Canvas (whose origin is the control's outer top-left):
// nothing for an invisible control with PRF_CHECKVISIBLE; PRF_NONCLIENT paints the frame
// (NonClientPaint when given, else the control's own); PRF_CLIENT erases the background (with
// PRF_ERASEBKGND) and paints the client area at the client origin; PRF_CHILDREN prints each
// visible child in turn, clipped to it, with non-client, client, erase and children; PRF_OWNED does
// the same for the forms a form owns, at their place relative to it. The result is 1.
using TNonClientPaint = std::function<void(TWinControl& Control, TWidgetCanvas& Canvas)>;
int HandleWMPrint(TWinControl& Control, TWidgetCanvas& Canvas, uint32_t Flags,
                  const TNonClientPaint& NonClientPaint = nullptr);
// WM_PRINTCLIENT: the client area painted as for WM_PAINT, the canvas's origin at the client's.
void HandleWMPrintClient(TWinControl& Control, TWidgetCanvas& Canvas);

// Sorts List stably by Compare (negative: A before B) with extra data passed along; lists of fewer
// than 2 items are left alone.
template <typename T, typename TCompare>
void ListSortEx(std::vector<T>& List, TCompare Compare, void* Data);

#include <algorithm>

template <typename T, typename TCompare>
void ListSortEx(std::vector<T>& List, TCompare Compare, void* Data) {
    if (List.size() < 2) return;
    std::stable_sort(List.begin(), List.end(), [&](const T& A, const T& B) { return Compare(A, B, Data) < 0; });
}
