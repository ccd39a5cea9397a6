#pragma once
// The edit (one line) and memo (several lines) objects: text-entry fields that the player draws
// itself with the glyph rasteriser over the layer's objects, as a window of their own would float
// over the scene. Each keeps its field's place, visibility, font, colours and focus in step with
// the object: the field shows only while nothing covers the object's centre, takes the window's
// keys and typed text while it has the focus, raises the object's PR_ONNOTIFY with each key code
// and the whole text, and saves what was typed.
//
// The window's input reaches the fields through DispatchTextFieldInput; while a field has the
// focus the window's text input is on at its caret, and cut, copy and paste use the window's
// clipboard (without a window, one of the fields' own).
#include "objects/vitems.h"
#include "platform/fonts.h"
#include "text/editfield.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>
#include <unordered_map>

namespace platform {
class Display;
struct InputEvent;
}

class TVelaTextField : public TVelaControl {
public:
    TVelaTextField(TVelaBaseList* AOwner, bool UniqueName, bool MultiLine);
    ~TVelaTextField() override;

    // ---- Properties ----
    std::string GetText() const override { return Field.Text(); }
    void SetText(const std::string& S) override;
    std::string GetFontname() const override { return FontName; }
    void SetFontname(const std::string& S) override;
    int32_t GetFontheight() const override {
        return FontHeight == INT32_MIN ? INT32_MAX : FontHeight < 0 ? -FontHeight : FontHeight;
    }
    void SetFontheight(int32_t V) override;
    int32_t GetFontstyle() const override { return FontStyle; }
    void SetFontstyle(int32_t V) override;
    int32_t GetFontcolor() const override { return FontColor; }
    void SetFontcolor(int32_t V) override;
    // The field's background, apart from the control's colour.
    int32_t GetColor() const override { return FieldColor; }
    void SetColor(int32_t V) override;
    bool GetReadonly() const override { return Field.ReadOnly; }
    void SetReadonly(bool V) override;
    // One of the 12 input-method modes, kept and saved; no desktop input method is switched.
    int32_t GetImemode() const override { return ImeMode; }
    void SetImemode(int32_t V) override { ImeMode = uint8_t(V); }
    // A paused field is disabled: greyed, without the focus, deaf to keys and the mouse.
    bool GetPaused() const override { return !Enabled; }
    void SetPaused(bool V) override;
    bool GetHandlekey() const override { return true; }
    std::string GetOnnotify() const override { return OnNotify; }
    void SetOnnotify(const std::string& S) override { OnNotify = S; }
    void SetVisible(bool V) override;
    void SetLeft(int32_t V) override;
    void SetTop(int32_t V) override;
    void SetWidth(int32_t V) override;
    void SetHeight(int32_t V) override;
    void SetPlusx(int32_t V) override;
    void SetPlusy(int32_t V) override;
    void SetParent(TVelaControl* P) override;

    // ---- The field ----
    // Places the field at the object, shows it when nothing covers the object's centre and gives
    // it the focus when no other field holds it (a memo takes it regardless).
    void UpdateNative();
    bool Step() override;
    void PlaceNativeControls() override;
    // Takes the focus when shown and enabled.
    void FocusNativeControl() override;
    // Draws the field into the layer's surface inside its clip rectangle.
    void DrawNative() override;
    void SaveToStream(TStream& Stream) override;
    void LoadFromStream(TStream& Stream, int32_t Version) override;

    bool NativeVisible() const { return Shown; }
    bool NativeFocused() const;
    TRect NativeBounds() const { return Bounds; }
    const TEditField& GetField() const { return Field; }
    // The first visual line shown (a memo scrolls by lines) and the edit's scroll in pixels.
    size_t GetTopLine() const { return TopLine; }
    int32_t GetScrollX() const { return ScrollX; }
    // The caret's rectangle on the layer.
    TRect CaretRect();
    // Adds the field's place to the layer's dirty list.
    void InvalidateNative() { InvalidateArea(Bounds); }

    // ---- Input of the window, while the field has the focus (a press: over the field) ----
    // Raises PR_ONNOTIFY, then edits; Enter, Tab and Escape go on as typed characters.
    void NativeKeyDown(int32_t Key, uint32_t Held);
    // Typed text (code page 932).
    void NativeKeyPress(const std::string& Chars);
    // Pointer positions on the layer.
    void NativeMouseDown(TPoint P, bool Extend);
    void NativeMouseMove(TPoint P);
    void NativeMouseUp() { Dragging = DragNone; }
    // The width of the memo's scroll bar.
    static constexpr int32_t ScrollBarWidth = 16;

protected:
    // A typed character the field takes, or "" when it filters it out.
    virtual std::string KeyPressFilter(const std::string& Chars) const { return Chars; }
    // Whether the field takes the focus while another field holds it.
    virtual bool TakesFocusFromOthers() const { return false; }
    // The x of a line's text inside the text area, by the alignment.
    virtual int32_t LineIndent(int32_t LineWidth, int32_t AreaWidth) const;
    // Lays the text out and scrolls the caret into view; redraws the field.
    void Changed();
    TEditField Field;

private:
    // The font as the glyph rasteriser takes it.
    std::string Face() const;
    int32_t Size() const { return GetFontheight(); }
    int32_t Advance(uint16_t Code);
    // The text area inside the field (left of the memo's scroll bar), on the layer.
    TRect TextArea() const;
    // The cell height, kept within what a font can be asked for.
    int32_t LineHeight() const { return std::clamp(Size(), 1, platform::kMaxFontHeight); }
    int32_t VisibleLines() const;
    void ScrollToCaret();
    size_t MaxTopLine() const;
    void DrawRun(TCustomDIBX& Dest, size_t Start, size_t End, int32_t X, int32_t Y, int32_t Fore, int32_t Back);
    void DrawScrollBar(TCustomDIBX& Dest);
    // The thumb of the memo's scroll bar, on the layer.
    TRect ThumbRect() const;
    // The shown test at the object's centre; Step puts IsShown in place of the first conditions.
    bool CentreHit(bool ByIsShown);
    void SetShown(bool V);
    void ChangeFont();

    std::string OnNotify;
    std::string FontName = "ＭＳ Ｐゴシック";
    int32_t FontHeight = 12;
    uint8_t FontStyle = 0;
    int32_t FontColor = 0, FieldColor = 0xFFFFFF;
    uint8_t ImeMode = IM_DONTCARE;
    bool Enabled = true;
    bool Shown = false;
    TRect Bounds{0, 0, 0, 0};
    size_t TopLine = 0;
    int32_t ScrollX = 0;
    enum TDrag : uint8_t { DragNone, DragText, DragThumb } Dragging = DragNone;
    int32_t ThumbGrip = 0;
    std::unordered_map<uint16_t, int32_t> Advances;
};

class TVelaEdit : public TVelaTextField {
public:
    explicit TVelaEdit(TVelaBaseList* AOwner, bool UniqueName = true) : TVelaTextField(AOwner, UniqueName, false) {}
    uint8_t GetCompoType() const override { return LT_EDIT; }
    // The text is selected whole after a change.
    void SetText(const std::string& S) override;
    // The input method's open state: what was last set.
    bool GetEditValue() const override { return ImeOpen; }
    void SetEditValue(bool V) override { ImeOpen = V; }

protected:
    // Enter, Escape and Tab type nothing.
    std::string KeyPressFilter(const std::string& Chars) const override;

private:
    bool ImeOpen = false;
};

class TVelaMemo : public TVelaTextField {
public:
    explicit TVelaMemo(TVelaBaseList* AOwner, bool UniqueName = true) : TVelaTextField(AOwner, UniqueName, true) {}
    uint8_t GetCompoType() const override { return LT_MEMO; }
    // 0 left, 1 right, 2 centre (any other value left).
    int32_t GetHalign() const override { return HAlign; }
    void SetHalign(int32_t V) override;

protected:
    bool TakesFocusFromOthers() const override { return true; }
    int32_t LineIndent(int32_t LineWidth, int32_t AreaWidth) const override;

private:
    uint8_t HAlign = 0;
};

// The window the fields take their text input and clipboard from, and where the layer's origin
// lies in its client area; nullptr: none (the fields keep a clipboard of their own).
void SetTextFieldWindow(platform::Display* Display, TPoint PanelOrigin);
// The field that has the focus, nullptr when none.
TVelaTextField* TextFieldFocus();
// Offers an input event of the window (client coordinates) to the fields: keys and typed text to
// the field with the focus, a left press to the shown, enabled field under it (and the moves and
// release of its drag). True when a field took the event.
bool DispatchTextFieldInput(const platform::InputEvent& Event);
