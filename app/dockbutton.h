#pragma once
// The toolbar's push button and its glyphs. TDockButton is a windowless control that draws
// itself flat or raised, with an optional glyph, caption and drop-down arrow. TButtonGlyph turns
// a glyph strip (or one picture of an image list) into ready-made cells, one per button state,
// kept in image lists shared by every button: one TGlyphList per cell size, all held by the one
// TGlyphCache of the program.
#include "app/dockhooks.h"
#include "app/docksite.h"
#include "app/widgets.h"
#include "core/header.h"
#include "graphics/dib.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>


// ---- Image lists ----

// One picture of an image list: 0x00RRGGBB pixels, top row first, and where it is transparent.
struct TImageCell {
    std::vector<TRGBQuad> Pixels;
    std::vector<uint8_t> Transparent;  // 1 where the picture shows what lies below
};

// Pictures of one fixed size. A picture is made from the top-left corner of a bitmap at least
// that large, with a mask (a non-black mask pixel is transparent) or a transparent colour.
class TImageList {
public:
    TImageList(int32_t Width, int32_t Height);
    virtual ~TImageList() = default;
    TImageList(const TImageList&) = delete;
    TImageList& operator=(const TImageList&) = delete;

    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    // The number of pictures, free ones included.
    int32_t ImageCount() const { return int32_t(cells_.size()); }

    // Append a picture; its index. Raises EInvalidOperation ("イメージサイズが正しくありません")
    // for a bitmap smaller than a picture.
    virtual int32_t Add(const TDIB& Image, const TDIB* Mask);
    virtual int32_t AddMasked(const TDIB& Image, TRGBQuad MaskColor);
    // Replace picture Index; an index outside the list or a bitmap smaller than a picture
    // raises EInvalidOperation ("イメージの置き換えができません").
    void Replace(int32_t Index, const TDIB& Image, const TDIB* Mask);
    void ReplaceMasked(int32_t Index, const TDIB& Image, TRGBQuad MaskColor);
    virtual void Delete(int32_t Index);

    const TImageCell& Cell(int32_t Index) const { return cells_.at(size_t(Index)); }
    // Draws picture Index at (X, Y): its opaque pixels only.
    void Draw(TWidgetCanvas& Canvas, int32_t X, int32_t Y, int32_t Index) const;

protected:
    // Raises the size error unless Image holds a whole picture.
    void CheckImage(const TDIB& Image) const;
    // The picture from Image's corner; transparent where Mask is not black, or where the
    // colour is MaskColor when there is no mask.
    TImageCell MakeCell(const TDIB& Image, const TDIB* Mask, std::optional<TRGBQuad> MaskColor) const;
    void Store(int32_t Index, TImageCell Cell);

private:
    int32_t width_, height_;
    std::vector<TImageCell> cells_;
};

// The image list of the glyph cache: a freed picture is not removed but marked free, and the
// next addition takes the first free one.
class TGlyphList : public TImageList {
public:
    using TImageList::TImageList;
    int32_t Add(const TDIB& Image, const TDIB* Mask) override;
    int32_t AddMasked(const TDIB& Image, TRGBQuad MaskColor) override;
    void Delete(int32_t Index) override;
    // The pictures in use.
    int32_t Count() const { return count_; }

private:
    int32_t AllocateIndex();
    std::vector<bool> used_;
    int32_t count_ = 0;
};

// Every glyph list of the program, one per cell size.
class TGlyphCache {
public:
    // The list of that size, searched from the one made last; made when there is none.
    TGlyphList* GetList(int32_t Width, int32_t Height);
    // A list a glyph no longer uses: freed when it holds no picture.
    void ReturnList(TGlyphList* List);
    bool Empty() const { return lists_.empty(); }
    int32_t ListCount() const { return int32_t(lists_.size()); }

private:
    std::vector<std::unique_ptr<TGlyphList>> lists_;
};

// The cache the button glyphs share, while one exists (made by the first glyph, freed once it
// is empty when a glyph goes).
TGlyphCache* GlyphCache();

// ---- Button glyphs ----

enum class TButtonState : uint8_t { bsUp, bsDisabled, bsDown, bsExclusive, bsMouseIn };
constexpr int kButtonStates = 5;

// The colours a glyph's cells are made with (0x00RRGGBB).
struct TGlyphColors {
    TRGBQuad Face, Highlight, Shadow;
};

class TButtonGlyph {
public:
    TButtonGlyph();
    ~TButtonGlyph();
    TButtonGlyph(const TButtonGlyph&) = delete;
    TButtonGlyph& operator=(const TButtonGlyph&) = delete;

    // The strip of frames (Up, Disabled, Down, Exclusive, MouseIn, as many as it holds). Setting
    // it frees the cells and counts the frames: width / height when that divides and is at most
    // 5, else 1.
    const TDIB& Glyph() const { return original_; }
    void SetGlyph(const TDIB& Value);
    // An explicit mask of the strip (non-black pixels transparent); empty for none.
    const TDIB& GlyphMask() const { return originalMask_; }
    void SetGlyphMask(const TDIB& Value);
    int32_t NumGlyphs() const { return numGlyphs_; }
    // Outside 1..5, or while an image list is used: 1.
    void SetNumGlyphs(int32_t Value);
    TImageList* Images() const { return images_; }
    void SetImages(TImageList* Value);
    int32_t ImageIndex() const { return imageIndex_; }
    void SetImageIndex(int32_t Value);
    bool OldDisabledStyle() const { return oldDisabledStyle_; }
    void SetOldDisabledStyle(bool Value);
    // The colour of the strip's bottom-left pixel.
    TRGBQuad TransparentColor() const { return transparentColor_; }
    // The size of one frame (the image list's picture size); 0 x 0 without a glyph.
    TPoint GlyphSize() const;
    bool HasGlyph() const;

    // The colours of the cells; changing them frees the cells.
    void SetColors(const TGlyphColors& Value);
    const TGlyphColors& Colors() const { return colors_; }

    // The cell that shows State, made on first use: its list and index. Nothing when there is
    // no glyph (or the image list has no picture at the index).
    struct TCell {
        TGlyphList* List;
        int32_t Index;
    };
    std::optional<TCell> CreateButtonGlyph(TButtonState State);
    // Frees every cell made so far.
    void Invalidate();
    // Draws State's cell at (X, Y); nothing without a cell.
    void DrawGlyph(TWidgetCanvas& Canvas, int32_t X, int32_t Y, TButtonState State);

    // A change of the glyph, its mask, the frame count, the image list or the style.
    std::function<void()> OnChange;

private:
    // Working pictures of a frame: its colours and where it is transparent.
    struct TFrame {
        int32_t Width = 0, Height = 0;
        std::vector<TRGBQuad> Pixels;
        std::vector<uint8_t> Transparent;
    };
    TFrame ReadFrame(int32_t Index) const;
    TDIB MakeDisabledCell(const TFrame& Frame) const;
    TDIB MakeSuppliedDisabledCell(const TFrame& Frame, TDIB& Mask) const;
    void Changed();

    TDIB original_, originalMask_;
    TGlyphList* lists_[2] = {nullptr, nullptr};  // the Disabled cell's list, then the others'
    int32_t imageIndex_ = -1;
    TImageList* images_ = nullptr;
    std::array<std::array<int32_t, kButtonStates>, 2> indexes_;
    TRGBQuad transparentColor_ = 0;
    int32_t numGlyphs_ = 1;
    bool oldDisabledStyle_ = false;
    TGlyphColors colors_;
};

// ---- Layout ----

enum class TButtonLayout : uint8_t { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };

// Where a button's content goes: the glyph's top-left corner, the caption's rectangle (of the
// measured size) and the drop-down arrow's top-left corner.
struct TButtonContent {
    TPoint GlyphPos;
    TRect TextBounds;
    TPoint ArrowPos;
};

// The sizes a button's content is laid out from. A size of 0 x 0 is an absent part.
struct TButtonContentSizes {
    TButtonLayout Layout = TButtonLayout::blGlyphLeft;
    int32_t Margin = -1, Spacing = 4;
    TPoint Glyph{0, 0}, Arrow{0, 0};
};

// The layout a button uses: top and bottom need a glyph, else the glyph is on the left.
TButtonLayout EffectiveLayout(const TButtonContentSizes& Sizes);
// The width the caption is measured in, in a content rectangle ClientWidth wide.
int32_t CaptionMeasureWidth(int32_t ClientWidth, const TButtonContentSizes& Sizes, bool WordWrap);
// Lays the content out in Client, moved by Offset (a pushed button's (1, 1)); Text is the
// caption's measured size.
TButtonContent CalcButtonLayout(const TRect& Client, TPoint Offset, const TButtonContentSizes& Sizes, TPoint Text);

// ---- The button ----

enum class TButtonDisplayMode : uint8_t { dmBoth, dmGlyphOnly, dmTextOnly };

class TDockButton;
class TDockButtonActionLink;
class TPopupMenu;

// What an action gives the buttons linked to it.
class TAction {
public:
    TAction() = default;
    TAction(const TAction&) = delete;
    TAction& operator=(const TAction&) = delete;
    ~TAction();
    bool Checked() const { return checked_; }
    void SetChecked(bool Value);
    int32_t HelpContext() const { return helpContext_; }
    void SetHelpContext(int32_t Value);
    int32_t ImageIndex() const { return imageIndex_; }
    void SetImageIndex(int32_t Value);

private:
    friend class TDockButtonActionLink;
    bool checked_ = false;
    int32_t helpContext_ = 0, imageIndex_ = -1;
    std::vector<TDockButtonActionLink*> links_;
};

// Links a button to an action: the action's Checked is the button's Down, and its help context
// and image index are the button's.
class TDockButtonActionLink {
public:
    explicit TDockButtonActionLink(TDockButton& Client) : client_(Client) {}
    TDockButtonActionLink(const TDockButtonActionLink&) = delete;
    TDockButtonActionLink& operator=(const TDockButtonActionLink&) = delete;
    ~TDockButtonActionLink() { SetAction(nullptr); }
    TAction* Action() const { return action_; }
    void SetAction(TAction* Value);
    // Whether the action's value is the button's.
    bool IsCheckedLinked() const;
    bool IsHelpContextLinked() const;
    bool IsImageIndexLinked() const;

private:
    friend class TAction;
    void SetChecked(bool Value);
    void SetHelpContext(int32_t Value);
    void SetImageIndex(int32_t Value);
    TDockButton& client_;
    TAction* action_ = nullptr;
};

class TDockButton : public TGraphicControl {
public:
    TDockButton();
    ~TDockButton() override;

    static constexpr const char* VersionText = "DockBar version 1.8";
    // How often a hovered button checks that the pointer is still on it (ms).
    static constexpr uint32_t MouseTimerInterval = 125;

    // ---- Properties; each setter repaints ----
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment Value);
    bool AllowAllUp() const { return allowAllUp_; }
    // Copied to the other buttons of the group.
    void SetAllowAllUp(bool Value);
    bool Cancel = false, Default = false;
    TButtonDisplayMode DisplayMode() const { return displayMode_; }
    void SetDisplayMode(TButtonDisplayMode Value);
    bool Down() const { return down_; }
    // Ignored without a group; a down button stays down unless AllowAllUp; going down releases
    // the other buttons of the group.
    void SetDown(bool Value);
    bool DropdownAlways() const { return dropdownAlways_; }
    void SetDropdownAlways(bool Value);
    bool DropdownArrow() const { return dropdownArrow_; }
    void SetDropdownArrow(bool Value);
    int32_t DropdownArrowWidth() const { return dropdownArrowWidth_; }
    void SetDropdownArrowWidth(int32_t Value);
    bool DropdownCombo() const { return dropdownCombo_; }
    void SetDropdownCombo(bool Value);
    TPopupMenu* DropdownMenu() const { return dropdownMenu_; }
    void SetDropdownMenu(TPopupMenu* Value);
    bool Flat() const { return flat_; }
    void SetFlat(bool Value);
    const TDIB& Glyph() const { return glyph_.Glyph(); }
    void SetGlyph(const TDIB& Value) { glyph_.SetGlyph(Value); }
    const TDIB& GlyphMask() const { return glyph_.GlyphMask(); }
    void SetGlyphMask(const TDIB& Value) { glyph_.SetGlyphMask(Value); }
    int32_t GroupIndex() const { return groupIndex_; }
    void SetGroupIndex(int32_t Value);
    int32_t HelpContext = 0;
    bool HighlightWhenDown() const { return highlightWhenDown_; }
    void SetHighlightWhenDown(bool Value);
    int32_t ImageIndex() const { return glyph_.ImageIndex(); }
    void SetImageIndex(int32_t Value) { glyph_.SetImageIndex(Value); }
    TImageList* Images() const { return glyph_.Images(); }
    void SetImages(TImageList* Value) { glyph_.SetImages(Value); }
    TButtonLayout Layout() const { return layout_; }
    void SetLayout(TButtonLayout Value);
    int32_t Margin() const { return margin_; }
    void SetMargin(int32_t Value);
    int32_t ModalResult = mrNone;
    bool NoBorder() const { return noBorder_; }
    void SetNoBorder(bool Value);
    int32_t NumGlyphs() const { return glyph_.NumGlyphs(); }
    void SetNumGlyphs(int32_t Value) { glyph_.SetNumGlyphs(Value); }
    bool OldDisabledStyle() const { return glyph_.OldDisabledStyle(); }
    void SetOldDisabledStyle(bool Value) { glyph_.SetOldDisabledStyle(Value); }
    bool Opaque() const { return opaque_; }
    void SetOpaque(bool Value);
    bool Repeating = false;
    uint32_t RepeatDelay = 400, RepeatInterval = 100;
    bool ShowBorderWhenInactive() const { return showBorderWhenInactive_; }
    void SetShowBorderWhenInactive(bool Value);
    int32_t Spacing() const { return spacing_; }
    void SetSpacing(int32_t Value);
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool Value);
    std::string Version() const { return VersionText; }
    void SetVersion(const std::string&) {}
    // The action the button follows (nullptr: none).
    TAction* Action() const { return actionLink_ ? actionLink_->Action() : nullptr; }
    void SetAction(TAction* Value);
    // The button assigned to an action: its Down becomes the action's Checked.
    void AssignTo(TAction& Dest) const;
    // The action's values changed: Checked, HelpContext and ImageIndex (the last only while the
    // button's is -1) are taken.
    void ActionChange(TAction& Sender);

    // Before the drop-down menu: whether to show it and whether the clicks waiting in the queue
    // are removed after it.
    std::function<void(TDockButton* Sender, bool& ShowMenu, bool& RemoveClicks)> OnDropdown;
    TNotifyEvent OnMouseExit;

    // ---- State ----
    TButtonState State() const { return state_; }
    // The left button went down on the button and is still held.
    bool Dragging() const { return mouseIsDown_; }
    // A drop-down button (a menu, or DropdownAlways).
    bool UsesDropdown() const { return dropdownMenu_ || dropdownAlways_; }
    TButtonGlyph& ButtonGlyph() { return glyph_; }
    // The auto-repeat timer, made by the first repeating press.
    TTimer* RepeatTimer() const { return repeatTimer_.get(); }

    // ---- Behaviour ----
    void Click() override;
    void DblClick() override;
    void SetEnabled(bool Value) override;
    void SetCaption(const std::string& Value) override;
    void SetParent(TWinControl* NewParent) override;
    void Paint(TWidgetCanvas& Canvas) override;
    void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
    void MouseMove(TShiftState Shift, int32_t X, int32_t Y) override;
    void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
    void MouseEnter() override;
    void MouseLeave() override;
    bool DialogKey(int32_t Key, TShiftState Shift) override;
    bool DialogChar(char Key) override;
    void CaptureLost() override;
    // The system colours changed: the glyph cells are made again.
    void SysColorChange();

    // The button the pointer is over, shared by every button (nullptr: none), and the timer that
    // ends its hover.
    static TDockButton* ButtonMouseInControl();
    static TTimer* ButtonMouseTimer();

private:
    static void HookProc(THookProcCode Code, TWindowHandle Wnd, uintptr_t WParam, intptr_t LParam);
    void MouseEntered();
    void MouseLeft();
    // The hover as the pointer is now.
    void UpdateTracking();
    // The state of a button not pressed: Exclusive when down, else MouseIn while hovered.
    TButtonState RestingState() const {
        return down_ ? TButtonState::bsExclusive : mouseInControl_ ? TButtonState::bsMouseIn : TButtonState::bsUp;
    }
    // Releases the other buttons of the group when this one is down, and gives them its AllowAllUp.
    void UpdateExclusive();
    void ButtonPressed(TDockButton& Sender);
    void RepeatTimerExpired();
    void Redraw();
    // The menu of a drop-down button and the clicks that wait behind it.
    void Dropdown();
    void RemovePendingClicks();
    void PaintArrow(TWidgetCanvas& Canvas, int32_t X, int32_t Y, bool Disabled, TColor Color);

    TAlignment alignment_ = TAlignment::taCenter;
    bool allowAllUp_ = false, down_ = false, dropdownAlways_ = false, dropdownArrow_ = true, dropdownCombo_ = false,
         flat_ = true, highlightWhenDown_ = true, noBorder_ = false, opaque_ = true, showBorderWhenInactive_ = false,
         wordWrap_ = false;
    TButtonDisplayMode displayMode_ = TButtonDisplayMode::dmBoth;
    int32_t dropdownArrowWidth_ = 9, groupIndex_ = 0, margin_ = -1, spacing_ = 4;
    TButtonLayout layout_ = TButtonLayout::blGlyphLeft;
    TPopupMenu* dropdownMenu_ = nullptr;

    TButtonState state_ = TButtonState::bsUp;
    bool mouseInControl_ = false, mouseIsDown_ = false, menuIsDown_ = false, inClick_ = false;
    // While dragging: the pointer is over the button.
    bool dragInside_ = false;
    TButtonGlyph glyph_;
    std::unique_ptr<TTimer> repeatTimer_;
    std::unique_ptr<TDockButtonActionLink> actionLink_;
};

// A popup menu a drop-down button shows: OnPopup is told where it opens and for which control.
class TPopupMenu {
public:
    TControl* PopupComponent = nullptr;
    std::function<void(TPopupMenu& Menu, const TPopupPlacement& Placement)> OnPopup;
    void Popup(const TPopupPlacement& Placement);
};

// Mouse-button messages as the queue carries them (lParam: x in the low 16 bits, y in the high).
constexpr uint32_t WM_LBUTTONDOWN = 0x0201, WM_MBUTTONDBLCLK = 0x0209;
