// The player's toolbar strip.
#include "app/view_toolbar.h"

TViewToolbar::TViewToolbar(std::function<void()> OnQuit, std::function<void()> OnSwitch) {
    Dock = std::make_unique<TDockSite>();
    Dock->SetAllowDrag(false);
    Dock->SetBoundLines(BoundLineBit(blBottom));
    Dock->SetPosition(dpTop);
    Dock->SetParent(&Form);
    Dock->SetBounds(0, 0, 563, 9);
    Toolbar = std::make_unique<TDockBar>();
    Toolbar->SetBorderStyle(bsNone);
    Toolbar->SetParent(Dock.get());
    Toolbar->SetBounds(Toolbar->Left(), Toolbar->Top(), Toolbar->Width(), ButtonHeight);
    const auto button = [this](const char* Caption, std::function<void()> Action) {
        auto b = std::make_unique<TDockButton>();
        b->SetParent(Toolbar.get());
        b->SetBounds(b->Left(), b->Top(), ButtonWidth, ButtonHeight);
        b->SetCaption(Caption);
        b->OnClick = [Action = std::move(Action)](TControl*) { Action(); };
        return b;
    };
    QuitButton = button("終了", std::move(OnQuit));
    ScreenButton = button("画面切替", std::move(OnSwitch));
    Dock->SetBounds(0, 0, Dock->Width(), ButtonHeight + 4);
}

TViewToolbar::~TViewToolbar() {
    // The buttons leave the toolbar and the toolbar the dock before the dock goes.
    QuitButton.reset();
    ScreenButton.reset();
    Toolbar.reset();
    Dock.reset();
}

int32_t TViewToolbar::ShownHeight() const { return Dock->Visible() ? Dock->Height() : 0; }

void TViewToolbar::SetWidth(int32_t Width) {
    Form.SetBounds(0, 0, Width, ShownHeight());
    Dock->SetBounds(0, 0, Width, Dock->Height());
}

void TViewToolbar::Paint(TCustomDIBX& Surface) {
    // The form covers the shown dock only: nothing of it paints over the scene.
    Form.SetBounds(0, 0, Dock->Width(), ShownHeight());
    Form.InvalidateRect(Form.ClientRect());
    Form.PaintInvalid(Surface);
}
