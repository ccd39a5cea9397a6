#pragma once
// The selection menu: a list box that opens by growing downwards over Delay ms, hands the line
// picked by pointer or keys to the script, and closes by shrinking again; a menu closed after a
// selection, a cancel or the close command deletes itself once its close handlers have run.
// Cancelling by right click (on the menu, or anywhere on its layer) and by Escape is the menu's
// choice (RClickScrap).
//
// Play state: 0 open, 1 opening, 2 closed, 3 closing. The steps behind it (open state): 0 idle,
// 10 cancel asked, 100..102 opening, 200..201 closing, 300..302 closing after a selection.
#include "objects/vitemex_listbox.h"

class TVelaMenu : public TVelaCustomListBox {
public:
    explicit TVelaMenu(TVelaBaseList* AOwner, bool UniqueName = true);
    ~TVelaMenu() override;
    uint8_t GetCompoType() const override { return LT_MENU; }

    int32_t GetFonthovercolor() const override { return Hover.Color; }
    void SetFonthovercolor(int32_t V) override { Recolor(Hover, &TNxLabelList::Color, V); }
    int32_t GetFonthoverstyle() const override { return Hover.Style; }
    void SetFonthoverstyle(int32_t V) override { SetStyle(Hover, V); }
    // The hover row's highlight; -1 none.
    int32_t GetHovercolor() const override { return HoverColor; }
    void SetHovercolor(int32_t V) override { ChangeLook(HoverColor, V); }
    int32_t GetDelay() const override { return Delay; }
    void SetDelay(int32_t V) override { Delay = V; }
    bool GetAutoscrap() const override { return AutoScrap; }
    void SetAutoscrap(bool V) override { AutoScrap = V; }
    bool GetRclickscrap() const override { return RClickScrap; }
    void SetRclickscrap(bool V) override { RClickScrap = V; }
    std::string GetOnopening() const override { return OnOpening; }
    void SetOnopening(const std::string& S) override { OnOpening = S; }
    std::string GetOnopened() const override { return OnOpened; }
    void SetOnopened(const std::string& S) override { OnOpened = S; }
    std::string GetOnclosing() const override { return OnClosing; }
    void SetOnclosing(const std::string& S) override { OnClosing = S; }
    std::string GetOnclosed() const override { return OnClosed; }
    void SetOnclosed(const std::string& S) override { OnClosed = S; }
    // The full height while opening or closing, else the height.
    int32_t GetOrigheight() const override;

    int32_t GetPlayState() const override { return PlayState; }
    // 0 opens and 2 closes at once, 1 and 3 animated; an opening menu restarts on 1, an open one
    // ignores it.
    void SetPlayState(int32_t V) override;
    int32_t GetOpenState() const { return OpenState; }
    bool IsSelecting() const override { return Selecting; }

    void DoSelect() override;
    // A right click anywhere on the layer: a menu not already selecting that takes right clicks
    // closes, leaving @SelStr and @SelIndex as they are.
    bool BeginSelect() override;
    // A right click on the menu cancels it (@SelStr "", @SelIndex -1) when RClickScrap is set.
    void DoRBtnDown() override;
    // Enter or Space selects the hover row, Escape cancels; then the list's keys.
    void DoKeyPress() override;
    // The opening and closing steps; true once a closed menu's close handlers are done.
    bool Step() override;

    void SaveToStream(TStream& Stream) override;
    void LoadFromStream(TStream& Stream, int32_t Version) override;

private:
    // The menu takes the keyboard focus when it can have it.
    void TakeFocus();
    // The root chooses another focus when the menu has it.
    void GiveUpFocus();
    void Raise(const std::string& Handler, uint8_t Kind);

    int32_t FullHeight = 0;
    int32_t AnimationStart = 0;
    int32_t Delay = 0;
    int32_t HoverColor = 0;
    bool AutoScrap = false, RClickScrap = false;
    uint8_t PlayState = 2;
    std::string OnOpening, OnOpened, OnClosing, OnClosed;
    bool Selecting = false;
};
