#pragma once
// The player's toolbar strip along the top of the main window: a form of the widget layer as
// wide as the window's client area, the dock on it (no dragging, a bound line at the bottom), the
// borderless toolbar of height 18 on the dock and its two 67 x 18 buttons, quit and screen
// switch. The dock takes the toolbar's height + 4 and its bound line: 23 pixels.
#include "app/dockbar.h"
#include "app/dockbutton.h"

#include <functional>
#include <memory>

class TViewToolbar {
public:
    static constexpr int32_t ButtonWidth = 67, ButtonHeight = 18;

    // The buttons' clicks call OnQuit and OnSwitch.
    TViewToolbar(std::function<void()> OnQuit, std::function<void()> OnSwitch);
    TViewToolbar(const TViewToolbar&) = delete;
    TViewToolbar& operator=(const TViewToolbar&) = delete;
    ~TViewToolbar();

    TWidgetForm Form;
    std::unique_ptr<TDockSite> Dock;
    std::unique_ptr<TDockBar> Toolbar;
    std::unique_ptr<TDockButton> QuitButton, ScreenButton;

    // The dock's height while it is shown, else 0.
    int32_t ShownHeight() const;
    // The strip spans a client area this wide.
    void SetWidth(int32_t Width);
    // Paints the whole dock into the top rows of Surface (the window's client area).
    void Paint(TCustomDIBX& Surface);
};
