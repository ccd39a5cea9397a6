// The edit and memo objects: the field's place, visibility and focus kept in step with the
// object, the window's keys, typed text and pointer, the drawing over the layer and the record.
#include "objects/vitemex_edit.h"

#include "core/sysutils.h"
#include "objects/vitems_kinds.h"
#include "platform/display.h"
#include "text/fontpixels.h"

#include <algorithm>

namespace {

// The face an empty font name draws in.
const std::string DefaultFace = "ＭＳ ゴシック";
// The colours of the selection, of disabled text and of the scroll bar's parts (0x00BBGGRR).
constexpr int32_t HighlightColor = 0x6A240A, HighlightTextColor = 0xFFFFFF, GrayTextColor = 0x808080,
                  TrackColor = 0xE0E0E0, ButtonColor = 0xC8D0D4, ButtonShadowColor = 0x808080;
// The key codes the window reports for the modifiers.
constexpr int32_t KeyShift = 0x10, KeyControl = 0x11, KeyReturn = 0x0D, KeyTab = 0x09, KeyEscape = 0x1B;
// The input mask of the shown test: every IgnoreMouse value.
constexpr uint32_t AnyInput = 31;

TVelaTextField* Focus = nullptr;
// The field whose text or thumb the pointer drags.
TVelaTextField* Dragged = nullptr;
platform::Display* Window = nullptr;
TPoint PanelOrigin{0, 0};
uint32_t Modifiers = 0;
std::string OwnClipboard;

// The window's clipboard, or the fields' own without a window.
class TFieldClipboard : public TEditClipboard {
public:
    std::string GetText() override { return Window ? Window->clipboardText() : OwnClipboard; }
    void SetText(const std::string& Text) override {
        if (Window) Window->setClipboardText(Text);
        else OwnClipboard = Text;
    }
};

// A colour as drawn: a negative one (a system colour) as the fallback.
int32_t Rgb(int32_t Color, int32_t Fallback) { return Color < 0 ? Fallback : Color & 0xFFFFFF; }

// Typed text goes to the field with the focus, at its caret.
void UpdateTextInput() {
    if (!Window) return;
    if (!Focus) {
        Window->setTextInput(false, {});
        return;
    }
    const TRect c = Focus->CaretRect();
    Window->setTextInput(true, {c.Left + PanelOrigin.X, c.Top + PanelOrigin.Y, c.Right + PanelOrigin.X,
                                c.Bottom + PanelOrigin.Y});
}

void DropFocus() {
    TVelaTextField* old = Focus;
    Focus = nullptr;
    if (old) old->InvalidateNative();
    UpdateTextInput();
}

}  // namespace

TVelaTextField::TVelaTextField(TVelaBaseList* AOwner, bool UniqueName, bool MultiLine)
    : TVelaControl(AOwner, UniqueName) {
    Field.MultiLine = MultiLine;
    if (Owner) Owner->NativeControls.emplace(GetSerial(), this);
}

TVelaTextField::~TVelaTextField() {
    if (Shown) InvalidateNative();
    if (Focus == this) DropFocus();
    if (Dragged == this) Dragged = nullptr;
    if (Owner) Owner->NativeControls.erase(GetSerial());
}

// ---- Properties ----

void TVelaTextField::SetText(const std::string& S) {
    Field.SetText(S);
    Field.MoveCaret(0, false);
    Changed();
}

void TVelaEdit::SetText(const std::string& S) {
    TVelaTextField::SetText(S);
    Field.SelectAll();
    Changed();
}

void TVelaTextField::SetFontname(const std::string& S) {
    FontName = S;
    ChangeFont();
}

void TVelaTextField::SetFontheight(int32_t V) {
    FontHeight = V;
    ChangeFont();
}

void TVelaTextField::SetFontstyle(int32_t V) {
    FontStyle = uint8_t(V);
    ChangeFont();
}

void TVelaTextField::ChangeFont() {
    Advances.clear();
    Field.ForgetLayout();
    Changed();
}

void TVelaTextField::SetFontcolor(int32_t V) {
    FontColor = V;
    InvalidateNative();
}

void TVelaTextField::SetColor(int32_t V) {
    FieldColor = V;
    InvalidateNative();
}

void TVelaTextField::SetReadonly(bool V) {
    Field.ReadOnly = V;
    InvalidateNative();
}

void TVelaTextField::SetPaused(bool V) {
    if (Enabled == !V) return;
    Enabled = !V;
    if (!Enabled && Focus == this) DropFocus();
    InvalidateNative();
}

void TVelaMemo::SetHalign(int32_t V) {
    HAlign = uint8_t(V);
    InvalidateNative();
}

void TVelaTextField::SetVisible(bool V) {
    if (V == GetVisible()) return;
    TVelaControl::SetVisible(V);
    SetShown(V);
}

void TVelaTextField::SetLeft(int32_t V) {
    if (V != GetLeft()) TVelaControl::SetLeft(V);
}

void TVelaTextField::SetTop(int32_t V) {
    if (V != GetTop()) TVelaControl::SetTop(V);
}

void TVelaTextField::SetWidth(int32_t V) {
    if (V == GetWidth()) return;
    TVelaControl::SetWidth(V);
    UpdateNative();
}

void TVelaTextField::SetHeight(int32_t V) {
    if (V == GetHeight()) return;
    TVelaControl::SetHeight(V);
    UpdateNative();
}

void TVelaTextField::SetPlusx(int32_t V) {
    TVelaControl::SetPlusx(V);
    UpdateNative();
}

void TVelaTextField::SetPlusy(int32_t V) {
    TVelaControl::SetPlusy(V);
    UpdateNative();
}

void TVelaTextField::SetParent(TVelaControl* P) {
    TVelaControl::SetParent(P);
    UpdateNative();
}

// ---- The field's place, visibility and focus ----

bool TVelaTextField::CentreHit(bool ByIsShown) {
    if (ByIsShown) {
        if (!IsShown()) return false;
    } else {
        const TVelaControl* parent = GetParent();
        if (!GetVisible() || !parent || !parent->GetVisible() || !Owner ||
            GetBase() != Owner->GetBase(Owner->GetCurrentLayer()))
            return false;
    }
    TVelaBase* layer = GetBase();
    const TPoint centre{GetOriginX() + GetWidth() / 2, GetOriginY() + GetHeight() / 2};
    return layer && layer->HitTest(centre, AnyInput) == this;
}

void TVelaTextField::SetShown(bool V) {
    if (V == Shown) return;
    Shown = V;
    InvalidateNative();
    if (!V && Focus == this) DropFocus();
}

void TVelaTextField::UpdateNative() {
    const TRect bounds{GetOriginX(), GetOriginY(), GetOriginX() + GetWidth(), GetOriginY() + GetHeight()};
    if (bounds != Bounds) {
        InvalidateNative();
        Bounds = bounds;
        Changed();
    }
    SetShown(CentreHit(false));
    if (Shown && Enabled && (!Focus || TakesFocusFromOthers())) FocusNativeControl();
}

bool TVelaTextField::Step() {
    const bool result = TVelaControl::Step();
    if (CentreHit(true) != Shown) UpdateNative();
    return result;
}

void TVelaTextField::PlaceNativeControls() {
    UpdateNative();
    TVelaControl::PlaceNativeControls();
}

// The field gaining the focus makes its object the focused one and forgets the keys held.
void TVelaTextField::FocusNativeControl() {
    if (!Shown || !Enabled || Focus == this) return;
    if (Focus) Focus->InvalidateNative();
    Focus = this;
    InvalidateNative();
    if (Owner) {
        Owner->SetFocus(this);
        Owner->ClearKeys();
    }
    UpdateTextInput();
}

bool TVelaTextField::NativeFocused() const { return Focus == this; }

// ---- Layout ----

std::string TVelaTextField::Face() const { return FontName.empty() ? DefaultFace : FontName; }

int32_t TVelaTextField::Advance(uint16_t Code) {
    const auto known = Advances.find(Code);
    if (known != Advances.end()) return known->second;
    int32_t advance = 0;
    if (FontPixelManager) try {
            int32_t cell = 0, trailing = 0, box = 0, offset = 0;
            FontPixelManager->GetGlyphMetrics(Code, Face(), FontStyle, Size(), cell, trailing, box, offset);
            advance = offset + box + trailing;
        } catch (const EFontPixelError&) {
        }
    return Advances[Code] = advance;
}

TRect TVelaTextField::TextArea() const {
    return {Bounds.Left + 1, Bounds.Top, Bounds.Right - 1 - (Field.MultiLine ? ScrollBarWidth : 0), Bounds.Bottom};
}

int32_t TVelaTextField::VisibleLines() const {
    const TRect area = TextArea();
    return std::max(1, (area.Bottom - area.Top) / LineHeight());
}

size_t TVelaTextField::MaxTopLine() const {
    const size_t lines = Field.Lines().size(), shown = size_t(VisibleLines());
    return lines > shown ? lines - shown : 0;
}

int32_t TVelaTextField::LineIndent(int32_t, int32_t) const { return 0; }

int32_t TVelaMemo::LineIndent(int32_t LineWidth, int32_t AreaWidth) const {
    if (HAlign == 1) return AreaWidth - LineWidth;
    if (HAlign == 2) return (AreaWidth - LineWidth) / 2;
    return 0;
}

void TVelaTextField::Changed() {
    const TRect area = TextArea();
    Field.Layout(Field.MultiLine ? std::max(area.Right - area.Left, 1) : INT32_MAX,
                 [this](uint16_t Code) { return Advance(Code); });
    Field.PageLines = VisibleLines();
    ScrollToCaret();
    InvalidateNative();
    if (Focus == this) UpdateTextInput();
}

void TVelaTextField::ScrollToCaret() {
    if (Field.MultiLine) {
        const size_t line = Field.LineOf(Field.CaretPos()), shown = size_t(VisibleLines());
        if (line < TopLine) TopLine = line;
        if (line >= TopLine + shown) TopLine = line - shown + 1;
        TopLine = std::min(TopLine, MaxTopLine());
        return;
    }
    const int32_t x = Field.XOf(Field.CaretPos()), width = std::max(TextArea().Right - TextArea().Left, 1);
    if (x - ScrollX > width - 1) ScrollX = x - width + 1;
    if (x < ScrollX) ScrollX = x;
    ScrollX = std::max(ScrollX, 0);
}

TRect TVelaTextField::CaretRect() {
    const TRect area = TextArea();
    const size_t caret = Field.CaretPos(), line = Field.LineOf(caret);
    const TEditField::TLine& l = Field.Lines()[line];
    const int32_t x = area.Left + LineIndent(Field.Width(l.Start, l.End), area.Right - area.Left) +
                      Field.XOf(caret) - ScrollX;
    const int32_t y = area.Top + int32_t(int64_t(line) - int64_t(TopLine)) * LineHeight();
    return {x, y, x + 1, y + LineHeight()};
}

// ---- Input of the window ----

void TVelaTextField::NativeKeyDown(int32_t Key, uint32_t Held) {
    if (!OnNotify.empty() && Owner) {
        TArrayString args;
        args.Add(std::to_string(Key));
        args.Add(Field.Text());
        Owner->GetEvents().Add(this, OnNotify, &args, PR_ONNOTIFY);
    }
    TFieldClipboard clipboard;
    bool changed = false;
    if (Field.KeyDown(Key, Held, &clipboard, changed)) {
        Changed();
        return;
    }
    if (Key == KeyReturn) NativeKeyPress("\r");
    if (Key == KeyTab) NativeKeyPress("\t");
    if (Key == KeyEscape) NativeKeyPress("\x1b");
}

void TVelaTextField::NativeKeyPress(const std::string& Chars) {
    const std::string typed = KeyPressFilter(Chars);
    if (!typed.empty() && Field.Type(typed)) Changed();
}

std::string TVelaEdit::KeyPressFilter(const std::string& Chars) const {
    return Chars == "\r" || Chars == "\x1b" || Chars == "\t" ? std::string() : Chars;
}

TRect TVelaTextField::ThumbRect() const {
    const int32_t left = Bounds.Right - ScrollBarWidth, track = Bounds.Bottom - Bounds.Top - 2 * ScrollBarWidth;
    const size_t lines = Field.Lines().size(), shown = size_t(VisibleLines());
    if (track <= 0 || lines <= shown) return {left, Bounds.Top + ScrollBarWidth, Bounds.Right, Bounds.Bottom - ScrollBarWidth};
    const int32_t length = std::max<int32_t>(8, int32_t(int64_t(track) * shown / lines));
    const int32_t top = Bounds.Top + ScrollBarWidth + int32_t(int64_t(track - length) * TopLine / MaxTopLine());
    return {left, top, Bounds.Right, top + length};
}

void TVelaTextField::NativeMouseDown(TPoint P, bool Extend) {
    FocusNativeControl();
    if (Field.MultiLine && P.X >= Bounds.Right - ScrollBarWidth) {
        const TRect thumb = ThumbRect();
        const int64_t page = VisibleLines();
        int64_t top = int64_t(TopLine);
        if (P.Y < Bounds.Top + ScrollBarWidth) --top;
        else if (P.Y >= Bounds.Bottom - ScrollBarWidth) ++top;
        else if (P.Y < thumb.Top) top -= page;
        else if (P.Y >= thumb.Bottom) top += page;
        else {
            Dragging = DragThumb;
            Dragged = this;
            ThumbGrip = P.Y - thumb.Top;
        }
        TopLine = size_t(std::clamp<int64_t>(top, 0, int64_t(MaxTopLine())));
        InvalidateNative();
        return;
    }
    const TRect area = TextArea();
    const int64_t line = std::clamp<int64_t>(int64_t(TopLine) + (P.Y - area.Top) / LineHeight(), 0,
                                             int64_t(Field.Lines().size()) - 1);
    const TEditField::TLine& l = Field.Lines()[size_t(line)];
    const int32_t indent = LineIndent(Field.Width(l.Start, l.End), area.Right - area.Left);
    Field.MoveCaret(Field.PosAt(size_t(line), P.X - area.Left - indent + ScrollX), Extend);
    Dragging = DragText;
    Dragged = this;
    Changed();
}

void TVelaTextField::NativeMouseMove(TPoint P) {
    if (Dragging == DragThumb) {
        const int32_t track = Bounds.Bottom - Bounds.Top - 2 * ScrollBarWidth;
        const TRect thumb = ThumbRect();
        const int32_t room = track - (thumb.Bottom - thumb.Top);
        if (room <= 0) return;
        const int64_t at = int64_t(P.Y - ThumbGrip - Bounds.Top - ScrollBarWidth) * int64_t(MaxTopLine());
        TopLine = size_t(std::clamp<int64_t>((at + room / 2) / room, 0, int64_t(MaxTopLine())));
        InvalidateNative();
    } else if (Dragging == DragText) {
        const TRect area = TextArea();
        const int64_t line = std::clamp<int64_t>(int64_t(TopLine) + (P.Y - area.Top) / LineHeight(), 0,
                                                 int64_t(Field.Lines().size()) - 1);
        const TEditField::TLine& l = Field.Lines()[size_t(line)];
        const int32_t indent = LineIndent(Field.Width(l.Start, l.End), area.Right - area.Left);
        Field.MoveCaret(Field.PosAt(size_t(line), P.X - area.Left - indent + ScrollX), true);
        Changed();
    }
}

// ---- Drawing ----

void TVelaTextField::DrawRun(TCustomDIBX& Dest, size_t Start, size_t End, int32_t X, int32_t Y, int32_t Fore,
                             int32_t Back) {
    const std::string& text = Field.Text();
    const int32_t x0 = X;
    for (size_t at = Start; at < End; at = Field.NextChar(at)) {
        const uint8_t b = uint8_t(text[at]);
        const uint16_t code = IsLeadByte(b) && at + 1 < text.size() ? uint16_t(b << 8 | uint8_t(text[at + 1])) : b;
        if (FontPixelManager) try {
                const TFontPixel* g = FontPixelManager->GetGlyph(code, Face(), Size(), FontStyle & 3);
                g->DrawTwoColour(Dest, X + g->OffsetX, Y + g->OffsetY, Fore, Back);
            } catch (const EFontPixelError&) {
            }
        X += Advance(code);
    }
    if (FontStyle & 4) Dest.FillRect({x0, Y + LineHeight() - 1, X, Y + LineHeight()}, Fore);
    if (FontStyle & 8) Dest.FillRect({x0, Y + LineHeight() / 2, X, Y + LineHeight() / 2 + 1}, Fore);
}

void TVelaTextField::DrawScrollBar(TCustomDIBX& Dest) {
    const int32_t left = Bounds.Right - ScrollBarWidth;
    Dest.FillRect({left, Bounds.Top, Bounds.Right, Bounds.Bottom}, Dest.ColorToPixel(TrackColor));
    const int32_t button = Dest.ColorToPixel(Enabled ? ButtonColor : TrackColor);
    const int32_t shadow = Dest.ColorToPixel(ButtonShadowColor);
    const TRect thumb = ThumbRect();
    for (const TRect& r : {TRect{left, Bounds.Top, Bounds.Right, Bounds.Top + ScrollBarWidth},
                           TRect{left, Bounds.Bottom - ScrollBarWidth, Bounds.Right, Bounds.Bottom}, thumb}) {
        Dest.FillRect(r, shadow);
        Dest.FillRect({r.Left, r.Top, r.Right - 1, r.Bottom - 1}, button);
    }
    // The arrows: a triangle on each button.
    const int32_t mid = left + ScrollBarWidth / 2;
    for (int32_t i = 0; i < 4; ++i) {
        Dest.FillRect({mid - i, Bounds.Top + 6 + i, mid + i + 1, Bounds.Top + 7 + i}, shadow);
        Dest.FillRect({mid - i, Bounds.Bottom - 7 - i, mid + i + 1, Bounds.Bottom - 6 - i}, shadow);
    }
}

void TVelaTextField::DrawNative() {
    TCustomDIBX* surface = Shown ? GetLayerSurface() : nullptr;
    if (!surface) return;
    const TRect clip = surface->GetClipRect();
    const TRect r = IntersectRects(Bounds, clip);
    if (RectIsEmpty(r)) return;
    if (FontPixelManager) FontPixelManager->AntialiasLevel = 3;
    const int32_t back = surface->ColorToPixel(Rgb(FieldColor, 0xFFFFFF));
    const int32_t fore = surface->ColorToPixel(Enabled ? Rgb(FontColor, 0) : GrayTextColor);
    const int32_t selBack = surface->ColorToPixel(HighlightColor), selFore = surface->ColorToPixel(HighlightTextColor);
    surface->FillRect(r, back);
    const TRect area = TextArea();
    surface->ClearClipRect();
    surface->UnionClipRect(IntersectRects(r, area));
    const bool focused = Focus == this && Enabled;
    const size_t selStart = focused ? Field.SelStart() : 0, selEnd = focused ? selStart + Field.SelLength() : 0;
    const std::vector<TEditField::TLine>& lines = Field.Lines();
    int32_t y = area.Top;
    for (size_t i = TopLine; i < lines.size() && y < area.Bottom; ++i, y += LineHeight()) {
        const TEditField::TLine& l = lines[i];
        const int32_t x = area.Left + LineIndent(Field.Width(l.Start, l.End), area.Right - area.Left) - ScrollX;
        // Before, inside and after the selection.
        const size_t cuts[4] = {l.Start, std::clamp(selStart, l.Start, l.End), std::clamp(selEnd, l.Start, l.End), l.End};
        for (int part = 0; part < 3; ++part) {
            if (cuts[part + 1] <= cuts[part]) continue;
            const int32_t left = x + Field.Width(l.Start, cuts[part]);
            const bool selected = part == 1;
            if (selected)
                surface->FillRect({left, y, left + Field.Width(cuts[1], cuts[2]), y + LineHeight()}, selBack);
            DrawRun(*surface, cuts[part], cuts[part + 1], left, y, selected ? selFore : fore, selected ? selBack : back);
        }
    }
    if (focused) surface->FillRect(CaretRect(), surface->ColorToPixel(Rgb(FontColor, 0)));
    surface->ClearClipRect();
    surface->UnionClipRect(r);
    if (Field.MultiLine) DrawScrollBar(*surface);
    surface->ClearClipRect();
    surface->UnionClipRect(clip);
}

// ---- The record ----

void TVelaTextField::SaveToStream(TStream& Stream) {
    TVelaControl::SaveToStream(Stream);
    WriteStreamByte(Stream, !Enabled);
    WriteStreamString(Stream, Field.Text());
    WriteStreamString(Stream, FontName);
    WriteStreamInt(Stream, FontHeight);
    WriteStreamByte(Stream, FontStyle);
    WriteStreamInt(Stream, FontColor);
    WriteStreamInt(Stream, FieldColor);
    WriteStreamByte(Stream, Field.ReadOnly);
    if (Field.MultiLine) WriteStreamByte(Stream, uint8_t(GetHalign()));
    WriteStreamString(Stream, OnNotify);
    WriteStreamInt(Stream, ImeMode);
}

void TVelaTextField::LoadFromStream(TStream& Stream, int32_t Version) {
    TVelaControl::LoadFromStream(Stream, Version);
    SetPaused(ReadStreamByte(Stream) != 0);
    SetText(ReadStreamString(Stream));
    SetFontname(ReadStreamString(Stream));
    SetFontheight(ReadStreamInt(Stream));
    SetFontstyle(ReadStreamByte(Stream));
    SetFontcolor(ReadStreamInt(Stream));
    SetColor(ReadStreamInt(Stream));
    SetReadonly(ReadStreamByte(Stream) != 0);
    if (Field.MultiLine) SetHalign(ReadStreamByte(Stream));
    OnNotify = ReadStreamString(Stream);
    SetShown(GetVisible());
    if (Version >= 142) ImeMode = uint8_t(ReadStreamInt(Stream));
    UpdateNative();
}

// ---- The window ----

void SetTextFieldWindow(platform::Display* Display, TPoint Origin) {
    Window = Display;
    PanelOrigin = Origin;
    UpdateTextInput();
}

TVelaTextField* TextFieldFocus() { return Focus; }

bool DispatchTextFieldInput(const platform::InputEvent& Event) {
    using platform::InputKind;
    const TPoint p{Event.x - PanelOrigin.X, Event.y - PanelOrigin.Y};
    switch (Event.kind) {
    case InputKind::KeyDown:
    case InputKind::KeyUp: {
        const uint32_t bit = Event.key == KeyShift ? TEditField::ShiftKey : Event.key == KeyControl ? TEditField::CtrlKey : 0;
        Modifiers = Event.kind == InputKind::KeyDown ? Modifiers | bit : Modifiers & ~bit;
        if (!Focus) return false;
        if (Event.kind == InputKind::KeyDown) Focus->NativeKeyDown(Event.key, Modifiers);
        return true;
    }
    case InputKind::Text:
        if (!Focus) return false;
        Focus->NativeKeyPress(Event.text);
        return true;
    case InputKind::Deactivate: Modifiers = 0; return false;
    case InputKind::MouseDown: {
        if (Event.button != platform::MouseButton::Left || !Bases) return Dragged != nullptr;
        // The topmost shown field under the pointer: the last drawn.
        TVelaTextField* hit = nullptr;
        for (const auto& [serial, native] : Bases->NativeControls) {
            auto* field = static_cast<TVelaTextField*>(native);
            if (field->NativeVisible() && !field->GetPaused() && PointInRect(field->NativeBounds(), p.X, p.Y) &&
                field->GetBase() == Bases->GetBase(Bases->GetCurrentLayer()))
                hit = field;
        }
        if (!hit) {
            // A press on the scene takes the keys back from the fields.
            if (Focus) DropFocus();
            return false;
        }
        hit->NativeMouseDown(p, Modifiers & TEditField::ShiftKey);
        return true;
    }
    case InputKind::MouseMove:
        if (!Dragged) return false;
        Dragged->NativeMouseMove(p);
        return true;
    case InputKind::MouseUp:
        if (!Dragged) return false;
        Dragged->NativeMouseUp();
        Dragged = nullptr;
        return true;
    default: return false;
    }
}
