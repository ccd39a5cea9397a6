#pragma once
// The widget layer of the player's dialogs and toolbar: windowless and windowed controls on a
// form, drawn by the program itself into 32-bit surfaces, fed with the display's mouse and key
// events.
//
// Coordinates: a control's Left and Top are in its parent's client area; a form's are on the
// desktop. Colours are TColor values: 0x00BBGGRR, or a system colour (0x80000000 | index into
// the fixed table below). Text is code page 932; "&" before a character marks the accelerator,
// drawn underlined ("&&" is one "&"). Key codes are Windows virtual-key numbers.
//
// Controls do not own each other: whoever makes a control frees it (a form keeps its controls as
// members); a control leaves its parent when freed, and a windowed control's children are left
// without a parent when it goes.
#include "core/header.h"
#include "graphics/dibx.h"
#include "platform/msgqueue.h"
#include "text/editfield.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {
struct InputEvent;
class Display;
}

// ---- Colours ----

using TColor = int32_t;

// The system colours' indexes (the Windows COLOR_ numbers).
enum TSysColorIndex : int32_t {
    COLOR_SCROLLBAR = 0, COLOR_BACKGROUND, COLOR_ACTIVECAPTION, COLOR_INACTIVECAPTION, COLOR_MENU, COLOR_WINDOW,
    COLOR_WINDOWFRAME, COLOR_MENUTEXT, COLOR_WINDOWTEXT, COLOR_CAPTIONTEXT, COLOR_ACTIVEBORDER,
    COLOR_INACTIVEBORDER, COLOR_APPWORKSPACE, COLOR_HIGHLIGHT, COLOR_HIGHLIGHTTEXT, COLOR_BTNFACE,
    COLOR_BTNSHADOW, COLOR_GRAYTEXT, COLOR_BTNTEXT, COLOR_INACTIVECAPTIONTEXT, COLOR_BTNHIGHLIGHT,
    COLOR_3DDKSHADOW, COLOR_3DLIGHT, COLOR_INFOTEXT, COLOR_INFOBK, COLOR_ALTERNATEBTNFACE, COLOR_HOTLIGHT,
    COLOR_GRADIENTACTIVECAPTION, COLOR_GRADIENTINACTIVECAPTION, SysColorCount
};

constexpr TColor SysColor(int32_t Index) { return TColor(0x80000000u | uint32_t(Index)); }
constexpr TColor clBlack = 0x000000, clWhite = 0xFFFFFF, clSilver = 0xC0C0C0, clGray = 0x808080, clNone = -1;
constexpr TColor clBtnFace = SysColor(COLOR_BTNFACE), clBtnShadow = SysColor(COLOR_BTNSHADOW),
                 clBtnHighlight = SysColor(COLOR_BTNHIGHLIGHT), clBtnText = SysColor(COLOR_BTNTEXT),
                 cl3DDkShadow = SysColor(COLOR_3DDKSHADOW), cl3DLight = SysColor(COLOR_3DLIGHT),
                 clWindow = SysColor(COLOR_WINDOW), clWindowText = SysColor(COLOR_WINDOWTEXT),
                 clWindowFrame = SysColor(COLOR_WINDOWFRAME), clGrayText = SysColor(COLOR_GRAYTEXT),
                 clHighlight = SysColor(COLOR_HIGHLIGHT), clHighlightText = SysColor(COLOR_HIGHLIGHTTEXT),
                 clActiveCaption = SysColor(COLOR_ACTIVECAPTION),
                 clInactiveCaption = SysColor(COLOR_INACTIVECAPTION), clCaptionText = SysColor(COLOR_CAPTIONTEXT),
                 clInactiveCaptionText = SysColor(COLOR_INACTIVECAPTIONTEXT),
                 clGradientActiveCaption = SysColor(COLOR_GRADIENTACTIVECAPTION),
                 clGradientInactiveCaption = SysColor(COLOR_GRADIENTINACTIVECAPTION);

// The system colour of an index from the fixed table (the classic grey scheme), 0x00BBGGRR;
// black for an index outside it.
TColor GetSysColor(int32_t Index);
// A system colour looked up, any other colour as it is (clNone stays clNone).
TColor ColorToRGB(TColor Color);

// ---- Canvas ----

struct TWidgetFont {
    std::string Name = "ＭＳ Ｐゴシック";
    int32_t Height = 12;  // the character cell's height in pixels
    uint8_t Style = 0;    // 1 bold, 2 italic, 4 underline
    TColor Color = clWindowText;
    bool operator==(const TWidgetFont&) const = default;
};

// Drawing on a 32-bit surface: coordinates are relative to Origin (a point of the surface) and
// every draw stays inside Clip (surface pixels) and the surface. Glyphs come from the glyph
// rasteriser (FontPixelManager); without one text is measured as empty and not drawn.
class TWidgetCanvas {
public:
    explicit TWidgetCanvas(TCustomDIBX& Surface);

    TCustomDIBX& Surface;
    TPoint Origin{0, 0};
    TRect Clip;
    TWidgetFont Font;

    // The canvas for a part: origin at R's top-left, clip narrowed to R (R in this canvas's
    // coordinates); the font is kept.
    TWidgetCanvas Part(const TRect& R) const;
    // Whether a point (canvas coordinates) may be drawn.
    bool Visible(int32_t X, int32_t Y) const;

    void FillRect(const TRect& R, TColor Color);
    // One-pixel frame inside R.
    void FrameRect(const TRect& R, TColor Color);
    void Pixel(int32_t X, int32_t Y, TColor Color);
    // 0x00BBGGRR of a pixel (canvas coordinates); clNone outside the surface.
    TColor GetPixel(int32_t X, int32_t Y) const;
    // Lines from the first point up to, not including, the second coordinate.
    void HLine(int32_t X1, int32_t X2, int32_t Y, TColor Color);
    void VLine(int32_t X, int32_t Y1, int32_t Y2, TColor Color);
};

// ---- Draws ----

// Edge kinds (combine one outer and one inner) and the sides and options of DrawEdge.
constexpr uint32_t BDR_RAISEDOUTER = 0x1, BDR_SUNKENOUTER = 0x2, BDR_RAISEDINNER = 0x4, BDR_SUNKENINNER = 0x8,
                   BDR_OUTER = 0x3, BDR_INNER = 0xC, EDGE_RAISED = 0x5, EDGE_SUNKEN = 0xA, EDGE_ETCHED = 0x6,
                   EDGE_BUMP = 0x9;
constexpr uint32_t BF_LEFT = 0x1, BF_TOP = 0x2, BF_RIGHT = 0x4, BF_BOTTOM = 0x8, BF_RECT = 0xF,
                   BF_MIDDLE = 0x800, BF_SOFT = 0x1000, BF_ADJUST = 0x2000, BF_FLAT = 0x4000, BF_MONO = 0x8000;
// Draws the edges of R: the outer edge on R's border, the inner one a pixel inside; the top and
// left sides in the edge's light colour, bottom and right in its dark one (a raised outer edge
// 3D-light over dark-shadow, raised inner highlight over shadow, sunken outer shadow over
// highlight, sunken inner dark-shadow over 3D-light; BF_SOFT gives the outer raised edge the
// highlight and the inner the 3D-light, the outer sunken edge the dark shadow and the inner the
// shadow; BF_FLAT draws the outer edge in the shadow colour and the inner in button face, BF_MONO
// the outer in the window-frame colour and the inner in the window colour).
// BF_MIDDLE fills what is inside in button face. With BF_ADJUST R becomes the rectangle inside
// the edges drawn.
void DrawEdge(TWidgetCanvas& Canvas, TRect& R, uint32_t Edge, uint32_t Flags);
// A frame of Width pixels: top and left in TopLeft, bottom and right in BottomRight; R shrinks by
// Width.
void Frame3D(TWidgetCanvas& Canvas, TRect& R, TColor TopLeft, TColor BottomRight, int32_t Width);
// Fills R with the 8 x 8 checkered pattern: Color1 where (x + y) is even, Color2 where it is odd,
// x and y counted from the canvas origin.
void FillCheckered(TWidgetCanvas& Canvas, const TRect& R, TColor Color1, TColor Color2);
// A line of the shadow colour with one of the highlight colour below it (horizontal) or right of
// it (vertical), Length pixels from (X, Y).
void DrawEtchedLine(TWidgetCanvas& Canvas, int32_t X, int32_t Y, int32_t Length, bool Horizontal);
// A dotted frame inside R, every other pixel inverted, as a focus rectangle.
void DrawFocusRect(TWidgetCanvas& Canvas, const TRect& R);

// Text flags.
constexpr uint32_t DT_LEFT = 0x0, DT_CENTER = 0x1, DT_RIGHT = 0x2, DT_VCENTER = 0x4, DT_BOTTOM = 0x8,
                   DT_WORDBREAK = 0x10, DT_SINGLELINE = 0x20, DT_NOCLIP = 0x100, DT_CALCRECT = 0x400,
                   DT_NOPREFIX = 0x800, DT_HIDEPREFIX = 0x100000;
// Writes Text in the canvas font inside R with a clear background: aligned left, centred or right,
// and with DT_SINGLELINE vertically top, centred or at the bottom; without it lines break at
// line feeds and, with DT_WORDBREAK, before a word (or a double-byte character) that would pass
// the right edge. Without DT_NOPREFIX "&" underlines the next character (not drawn with
// DT_HIDEPREFIX). DT_CALCRECT draws nothing and sets R's right and bottom to the text's extent.
// The height of the text.
int32_t DrawText(TWidgetCanvas& Canvas, const std::string& Text, TRect& R, uint32_t Flags);
// Disabled text: drawn twice, in the highlight colour one pixel right and down, then in the
// shadow colour in place.
void DrawDisabledText(TWidgetCanvas& Canvas, const std::string& Text, TRect R, uint32_t Flags);
// Width of one line of Text in a font (prefix marks are not counted: "&&" counts as "&" only
// when Prefix holds), and the font's line height.
int32_t TextWidth(const TWidgetFont& Font, const std::string& Text, bool Prefix = false);
int32_t TextHeight(const TWidgetFont& Font);
// The accelerator of a caption: the character after a single "&", upper-cased; 0 without one.
char AcceleratorOf(const std::string& Caption);

// Transparent draws of SrcRect of Source (32 bits) at (X, Y): every pixel but those of colour Key,
// or only the pixels whose Mask pixel (same size as Source, any depth) is not 0.
void DrawTransparent(TWidgetCanvas& Canvas, int32_t X, int32_t Y, TCustomDIBX& Source, const TRect& SrcRect,
                     TColor Key);
void DrawMasked(TWidgetCanvas& Canvas, int32_t X, int32_t Y, TCustomDIBX& Source, const TRect& SrcRect,
                TCustomDIBX& Mask);
// Pixels whose Mask pixel is not 0, in one colour (a disabled glyph's two passes).
void DrawMaskColor(TWidgetCanvas& Canvas, int32_t X, int32_t Y, TCustomDIBX& Mask, const TRect& SrcRect,
                   TColor Color);

// ---- Timers ----

// A timer on the main thread's message queue: OnTimer runs every Interval ms while Enabled (the
// first time one interval after it was enabled or its interval changed).
class TTimer {
public:
    TTimer();
    TTimer(const TTimer&) = delete;
    TTimer& operator=(const TTimer&) = delete;
    ~TTimer();

    uint32_t Interval() const { return interval_; }
    void SetInterval(uint32_t Value);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool Value);
    std::function<void()> OnTimer;

private:
    void Update();
    platform::TargetId target_ = 0;
    uint32_t interval_ = 1000;
    bool enabled_ = true;
};

// ---- Controls ----

using TWindowHandle = uintptr_t;
using TShiftState = uint32_t;
constexpr TShiftState ssShift = 0x1, ssAlt = 0x2, ssCtrl = 0x4, ssLeft = 0x8, ssRight = 0x10, ssMiddle = 0x20,
                      ssDouble = 0x40;
enum class TMouseButton : uint8_t { mbLeft, mbRight, mbMiddle };
enum class TAlignment : uint8_t { taLeftJustify, taRightJustify, taCenter };

// Control styles.
constexpr uint32_t csCaptureMouse = 0x1, csClickEvents = 0x2, csDoubleClicks = 0x4, csOpaque = 0x8,
                   csAcceptsControls = 0x10;

// Windows virtual keys the widgets answer.
constexpr int32_t VK_BACK = 0x08, VK_TAB = 0x09, VK_RETURN = 0x0D, VK_SHIFT = 0x10, VK_CONTROL = 0x11,
                  VK_MENU = 0x12, VK_ESCAPE = 0x1B, VK_SPACE = 0x20, VK_PRIOR = 0x21, VK_NEXT = 0x22, VK_END = 0x23,
                  VK_HOME = 0x24, VK_LEFT = 0x25, VK_UP = 0x26, VK_RIGHT = 0x27, VK_DOWN = 0x28, VK_DELETE = 0x2E;

class TWinControl;
class TWidgetForm;
class TControl;

using TNotifyEvent = std::function<void(TControl* Sender)>;
using TMouseEvent = std::function<void(TControl* Sender, TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y)>;
using TMouseMoveEvent = std::function<void(TControl* Sender, TShiftState Shift, int32_t X, int32_t Y)>;

class TControl {
public:
    TControl();
    TControl(const TControl&) = delete;
    TControl& operator=(const TControl&) = delete;
    virtual ~TControl();

    std::string Name;
    uint32_t ControlStyle = csCaptureMouse | csClickEvents | csDoubleClicks;
    TNotifyEvent OnClick, OnDblClick, OnMouseEnter, OnMouseLeave;
    TMouseEvent OnMouseDown, OnMouseUp;
    TMouseMoveEvent OnMouseMove;

    // ---- Place ----
    TWinControl* Parent() const { return parent_; }
    // Puts the control on top of NewParent's controls (nullptr: none).
    virtual void SetParent(TWinControl* NewParent);
    int32_t Left() const { return left_; }
    int32_t Top() const { return top_; }
    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    TRect BoundsRect() const { return {left_, top_, left_ + width_, top_ + height_}; }
    virtual void SetBounds(int32_t Left, int32_t Top, int32_t Width, int32_t Height);
    // After SetBounds changed the size.
    virtual void Resize() {}
    // The client area in the control's own coordinates.
    virtual TRect ClientRect() const { return {0, 0, width_, height_}; }
    // Where the client area's origin lies in the control's outer coordinates.
    virtual TPoint ClientOrigin() const { return {0, 0}; }
    // The form the control is on (itself for a form); nullptr when none.
    TWidgetForm* Form() const;
    // A point of the client area in the form's client coordinates, and back.
    TPoint ClientToForm(TPoint P) const;
    TPoint FormToClient(TPoint P) const;
    // Z-order among the parent's controls of the same kind (windowless ones stay under windowed
    // ones).
    void BringToFront();
    void SendToBack();

    // ---- State ----
    bool Visible() const { return visible_; }
    virtual void SetVisible(bool Value);
    bool Enabled() const { return enabled_; }
    virtual void SetEnabled(bool Value);
    // Visible, and so are all its parents up to a form.
    bool Showing() const;
    // Enabled, and so are all its parents.
    bool EffectivelyEnabled() const;
    const std::string& Caption() const { return caption_; }
    virtual void SetCaption(const std::string& Value);
    // The parent's colour while ParentColor holds.
    TColor Color() const;
    void SetColor(TColor Value);
    bool ParentColor = false;
    // The parent's font while ParentFont holds.
    const TWidgetFont& Font() const;
    void SetFont(const TWidgetFont& Value);
    bool ParentFont = true;

    // ---- Mouse ----
    // Whether the mouse is over the control (between its enter and leave).
    bool MouseInControl() const;
    bool MouseCapture() const;
    void SetMouseCapture(bool Value);

    // ---- Painting ----
    // Marks the control's bounds for painting on its form.
    void Invalidate();
    // Paints the client area with the canvas origin at the client origin.
    virtual void Paint(TWidgetCanvas& Canvas);
    // Paints the control into Canvas, whose origin is the control's outer top-left, as WM_PRINT
    // does with Flags (PRF_ of app/dockhooks.h); windowless controls paint their client area.
    void PaintTo(TWidgetCanvas& Canvas, uint32_t Flags);

    // ---- Events, as the form delivers them (coordinates in the client area) ----
    virtual void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y);
    virtual void MouseMove(TShiftState Shift, int32_t X, int32_t Y);
    virtual void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y);
    virtual void MouseEnter();
    virtual void MouseLeave();
    virtual void Click();
    virtual void DblClick();
    // Wheel steps (positive: away from the user) over the control: true when taken; the form
    // offers them to the parents in turn.
    virtual bool MouseWheel(int32_t Delta);
    // Enter or Escape not taken by the focused control: true when this control acted on it (a
    // Default or Cancel button).
    virtual bool DialogKey(int32_t Key, TShiftState Shift);
    // An accelerator character (upper case): true when this control acted on it.
    virtual bool DialogChar(char Key);
    // The mouse capture was taken away.
    virtual void CaptureLost() {}

protected:
    // A property changed the looks: repaints.
    void Changed() { Invalidate(); }
    TWinControl* parent_ = nullptr;
    int32_t left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    bool visible_ = true, enabled_ = true;
    std::string caption_;
    TColor color_ = clBtnFace;
    TWidgetFont font_;

private:
    // Set by the derived constructors: the control as a windowed control or a form.
    TWinControl* asWin_ = nullptr;
    TWidgetForm* asForm_ = nullptr;

    friend class TWinControl;
    friend class TWidgetForm;
};

// A control without a window of its own, painted on its parent.
class TGraphicControl : public TControl {};

class TWinControl : public TControl {
public:
    TWinControl();
    ~TWinControl() override;

    // The control's window handle: a number no other window has.
    TWindowHandle Handle() const { return handle_; }
    // Controls in z-order, bottom first: windowless ones, then windowed ones.
    const std::vector<TControl*>& Controls() const { return controls_; }
    // The topmost showing, enabled-or-not control at a client point (nullptr: none).
    TControl* ControlAtPos(TPoint P, bool AllLevels) const;

    // Non-client frame thickness (left, top, right, bottom) and its painter.
    virtual TRect NonClientMargins() const { return {0, 0, 0, 0}; }
    virtual void PaintNonClient(TWidgetCanvas&) {}
    TRect ClientRect() const override;
    TPoint ClientOrigin() const override;
    // Erases the client area in the control's colour (WM_ERASEBKGND).
    virtual void EraseBackground(TWidgetCanvas& Canvas);
    // A control joined (Inserting) or left the controls; a child's bounds or visibility changed.
    virtual void ControlListChange(TControl* /*Control*/, bool /*Inserting*/) {}
    virtual void ControlChange(TControl* /*Control*/) {}

    // ---- Keyboard focus ----
    bool TabStop = false;
    int32_t TabOrder() const;
    void SetTabOrder(int32_t Value);
    // Showing, enabled (with its parents) and taking the focus.
    virtual bool CanFocus() const;
    bool Focused() const;
    void SetFocus();
    virtual void DoEnter() { Invalidate(); }
    virtual void DoExit() { Invalidate(); }
    // Whether the control takes the key itself instead of the dialog (arrows, Enter, Tab,
    // typed characters).
    virtual bool WantsKey(int32_t Key) const;
    virtual bool WantsChars() const { return false; }
    virtual void KeyDown(int32_t& Key, TShiftState Shift);
    virtual void KeyUp(int32_t& Key, TShiftState Shift);
    // One typed character, code page 932 (one or two bytes).
    virtual void KeyPress(const std::string& Char);

private:
    std::vector<TControl*> controls_;
    std::vector<TWinControl*> tabList_;
    TWindowHandle handle_;

    friend class TControl;
    friend class TWidgetForm;
};

// A form: the top-level window of a dialog, or a stand-in for one. It delivers mouse and key
// events to its controls (capture, hover, double click, focus and tab order, Enter and Escape,
// accelerators) and keeps the rectangle that needs painting.
class TWidgetForm : public TWinControl {
public:
    TWidgetForm();
    ~TWidgetForm() override;

    // Owned forms (floating tool windows) and the owner.
    TWidgetForm* OwnerForm() const { return owner_; }
    void SetOwnerForm(TWidgetForm* Owner);
    const std::vector<TWidgetForm*>& OwnedForms() const { return owned_; }

    // Input, client coordinates.
    void DispatchMouseDown(TMouseButton Button, int32_t X, int32_t Y);
    void DispatchMouseMove(int32_t X, int32_t Y);
    void DispatchMouseUp(TMouseButton Button, int32_t X, int32_t Y);
    // The pointer left the form.
    void DispatchMouseLeave();
    void DispatchKeyDown(int32_t Key);
    void DispatchKeyUp(int32_t Key);
    void DispatchChar(const std::string& Char);
    // A display event of the window (mouse, keys, typed text).
    void DispatchInput(const platform::InputEvent& Event);
    // The shift state from the keys and buttons seen down.
    TShiftState Shift() const;

    TWinControl* ActiveControl() const { return active_; }
    void SetActiveControl(TWinControl* Control);
    // Moves the focus to the next (or previous) control of the tab order.
    void SelectNext(bool Forward);
    TControl* CaptureControl() const { return capture_; }
    void SetCaptureControl(TControl* Control);
    TControl* HoverControl() const { return hover_; }

    // 0 while the form runs; a button's ModalResult or mrCancel (Close) ends a modal loop.
    int32_t ModalResult = 0;
    std::function<void(TWidgetForm* Sender)> OnClose;
    void Close();

    // Painting: what was invalidated since the last paint (empty: nothing), and the paint of the
    // form's client area and children into Surface (the client area's size), clipped to it.
    TRect InvalidRect() const { return invalid_; }
    void InvalidateRect(const TRect& R);
    TRect PaintInvalid(TCustomDIBX& Surface);

    // A second press of the same button on the same control within DoubleClickTime ms and
    // within a square of DoubleClickDistance pixels centred on the first is a double click.
    static constexpr uint32_t DoubleClickTime = 500;
    static constexpr int32_t DoubleClickDistance = 4;
    // The milliseconds the double-click rule reads (the platform clock; tests give their own).
    uint32_t (*ClockSource)() = nullptr;

private:
    void ControlGone(TControl* Control);
    void SetHover(TControl* Control);
    TControl* MouseTarget(int32_t X, int32_t Y) const;
    TWidgetForm* owner_ = nullptr;
    std::vector<TWidgetForm*> owned_;
    TWinControl* active_ = nullptr;
    TControl* capture_ = nullptr;
    TControl* hover_ = nullptr;
    TRect invalid_{0, 0, 0, 0};
    bool shiftDown_ = false, ctrlDown_ = false, altDown_ = false;
    TShiftState buttons_ = 0;
    int32_t spaceKey_ = 0;
    // The last press, for double clicks.
    TControl* lastDownControl_ = nullptr;
    TControl* clicked_ = nullptr;
    // The control a release is being delivered to; cleared if it goes meanwhile.
    TControl* releasing_ = nullptr;
    TMouseButton lastDownButton_ = TMouseButton::mbLeft;
    uint32_t lastDownTime_ = 0;
    int32_t lastDownX_ = 0, lastDownY_ = 0;

    friend class TControl;
};

constexpr int32_t mrNone = 0, mrOk = 1, mrCancel = 2;

// ---- The controls ----

class TCheckBox : public TWinControl {
public:
    TCheckBox();
    bool Checked() const { return checked_; }
    // Changing the state fires OnClick.
    void SetChecked(bool Value);
    TAlignment Alignment = TAlignment::taRightJustify;  // the caption right of the box
    void Paint(TWidgetCanvas& Canvas) override;
    void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
    void MouseMove(TShiftState Shift, int32_t X, int32_t Y) override;
    void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
    void KeyDown(int32_t& Key, TShiftState Shift) override;
    void KeyUp(int32_t& Key, TShiftState Shift) override;
    bool DialogChar(char Key) override;
    // Toggles the state (a click or the space key).
    void Toggle() { SetChecked(!checked_); }
    static constexpr int32_t BoxSize = 13;

private:
    bool checked_ = false, pressed_ = false, spaceDown_ = false;
};

class TLabel : public TGraphicControl {
public:
    TLabel();
    TAlignment Alignment = TAlignment::taLeftJustify;
    bool WordWrap = false;
    bool Transparent = false;
    bool ShowAccelChar = true;
    // The control its accelerator focuses.
    TWinControl* FocusControl = nullptr;
    void Paint(TWidgetCanvas& Canvas) override;
    bool DialogChar(char Key) override;
};

class TTrackBar : public TWinControl {
public:
    TTrackBar();
    int32_t Min() const { return min_; }
    int32_t Max() const { return max_; }
    void SetRange(int32_t Min, int32_t Max);
    int32_t Position() const { return position_; }
    // Kept within Min..Max; a change fires OnChange.
    void SetPosition(int32_t Value);
    int32_t PageSize = 2, LineSize = 1, Frequency = 1;
    TNotifyEvent OnChange;
    // The thumb's rectangle and the channel's, in client coordinates.
    TRect ThumbRect() const;
    TRect ChannelRect() const;
    void Paint(TWidgetCanvas& Canvas) override;
    void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
    void MouseMove(TShiftState Shift, int32_t X, int32_t Y) override;
    void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
    bool WantsKey(int32_t Key) const override;
    void KeyDown(int32_t& Key, TShiftState Shift) override;

private:
    int32_t PositionAt(int32_t X) const;
    int32_t min_ = 0, max_ = 10, position_ = 0;
    bool dragging_ = false;
};

class TButton : public TWinControl {
public:
    TButton();
    bool Default = false, Cancel = false;
    int32_t ModalResult = mrNone;
    // Sets the form's ModalResult, then fires OnClick.
    void Click() override;
    void Paint(TWidgetCanvas& Canvas) override;
    void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
    void MouseMove(TShiftState Shift, int32_t X, int32_t Y) override;
    void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
    void KeyDown(int32_t& Key, TShiftState Shift) override;
    void KeyUp(int32_t& Key, TShiftState Shift) override;
    bool DialogKey(int32_t Key, TShiftState Shift) override;
    bool DialogChar(char Key) override;
    bool Pushed() const { return pushed_; }

private:
    bool pressed_ = false, pushed_ = false, spaceDown_ = false;
};

enum class TBevelShape : uint8_t { bsBox, bsFrame, bsTopLine, bsBottomLine, bsLeftLine, bsRightLine, bsSpacer };
enum class TBevelStyle : uint8_t { bsLowered, bsRaised };

class TBevel : public TGraphicControl {
public:
    TBevel();
    TBevelShape Shape = TBevelShape::bsBox;
    TBevelStyle Style = TBevelStyle::bsLowered;
    void Paint(TWidgetCanvas& Canvas) override;
};

class TListBox : public TWinControl {
public:
    TListBox();
    std::vector<std::string> Items;
    // After changing Items.
    void ItemsChanged();
    int32_t ItemIndex() const { return itemIndex_; }
    // -1 or an item; the selection is scrolled into view.
    void SetItemIndex(int32_t Value);
    int32_t TopIndex() const { return topIndex_; }
    void SetTopIndex(int32_t Value);
    int32_t ItemHeight() const;
    // Items wholly visible at once.
    int32_t VisibleCount() const;
    // The item at a client point; -1 when none.
    int32_t ItemAtPos(TPoint P) const;
    static constexpr int32_t ScrollBarWidth = 16;
    TRect NonClientMargins() const override { return {2, 2, 2, 2}; }
    void PaintNonClient(TWidgetCanvas& Canvas) override;
    void Paint(TWidgetCanvas& Canvas) override;
    void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
    void MouseMove(TShiftState Shift, int32_t X, int32_t Y) override;
    void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
    bool WantsKey(int32_t Key) const override;
    void KeyDown(int32_t& Key, TShiftState Shift) override;
    // Each wheel step scrolls three items.
    bool MouseWheel(int32_t Delta) override;

private:
    bool ScrollBarShown() const;
    int32_t MaxTopIndex() const;
    int32_t itemIndex_ = -1, topIndex_ = 0;
    bool selecting_ = false;
};

class TEdit : public TWinControl {
public:
    TEdit();
    const std::string& Text() const { return caption_; }
    // Replaces the text (cut at MaxLength) and puts the caret at its end; fires OnChange.
    void SetText(const std::string& Value);
    // 0: no limit; bytes otherwise, never splitting a double-byte character.
    size_t MaxLength = 0;
    TNotifyEvent OnChange;
    // Caret and selection in bytes, always on character boundaries.
    size_t SelStart() const { return field_.SelStart(); }
    size_t SelLength() const { return field_.SelLength(); }
    size_t CaretPos() const { return field_.CaretPos(); }
    void SetSelection(size_t Start, size_t Length);
    void SelectAll() { SetSelection(0, caption_.size()); }
    std::string SelText() const { return field_.SelText(); }
    TRect NonClientMargins() const override { return {2, 2, 2, 2}; }
    void PaintNonClient(TWidgetCanvas& Canvas) override;
    void Paint(TWidgetCanvas& Canvas) override;
    void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
    void MouseMove(TShiftState Shift, int32_t X, int32_t Y) override;
    void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
    bool WantsKey(int32_t Key) const override;
    bool WantsChars() const override { return true; }
    void KeyDown(int32_t& Key, TShiftState Shift) override;
    void KeyPress(const std::string& Char) override;
    void DoEnter() override;

private:
    // The field's text became the caption: fires OnChange.
    void TextChanged();
    size_t PosAtX(int32_t X);
    int32_t XOfPos(size_t Pos);
    // Lays the field out in the font and keeps the caret inside the client area.
    void ShowCaret();
    TEditField field_;
    int32_t scroll_ = 0;
    bool selecting_ = false;
};

// ---- Modal dialogs ----

// Shows Form in the display's dialog window (titled with its caption, its client size, centred on
// the desktop) and runs its events until its ModalResult is set or the window is closed
// (mrCancel); the window closes and the result is returned. mrNone at once when no dialog
// window can be opened.
int32_t ShowModal(TWidgetForm& Form, platform::Display& Display);
