// The dialog controls: check box, label, track bar, push button, bevel, list and text field.
#include "app/widgets.h"
#include "core/sysutils.h"

namespace {

bool Inside(const TControl& C, int32_t X, int32_t Y) { return X >= 0 && Y >= 0 && X < C.Width() && Y < C.Height(); }

// The caption in the control's font, enabled or drawn disabled.
void DrawCaption(TWidgetCanvas& Canvas, const TControl& C, const std::string& Text, TRect R, uint32_t Flags,
                 TColor Color) {
    if (C.EffectivelyEnabled()) {
        Canvas.Font.Color = Color;
        DrawText(Canvas, Text, R, Flags);
    } else {
        DrawDisabledText(Canvas, Text, R, Flags);
    }
}

// The focus rectangle around a caption drawn in R with Flags (single line, vertically centred).
void FocusAroundText(TWidgetCanvas& Canvas, const std::string& Text, const TRect& R, uint32_t Flags) {
    TRect extent = R;
    DrawText(Canvas, Text, extent, Flags | DT_CALCRECT);
    const int32_t w = extent.Right - extent.Left, h = extent.Bottom - extent.Top;
    int32_t left = R.Left;
    if (Flags & DT_CENTER) left = R.Left + (R.Right - R.Left - w) / 2;
    if (Flags & DT_RIGHT) left = R.Right - w;
    const int32_t top = R.Top + (R.Bottom - R.Top - h) / 2;
    DrawFocusRect(Canvas, {left - 1, top - 1, left + w + 1, top + h + 1});
}

// Pixels of the check mark, seven rows of seven, bit 6 the leftmost.
constexpr uint8_t CheckMark[7] = {0x01, 0x03, 0x47, 0x6E, 0x7C, 0x38, 0x10};

}  // namespace

// ---- TCheckBox ----

TCheckBox::TCheckBox() {
    TabStop = true;
    ControlStyle = csCaptureMouse;
    width_ = 97;
    height_ = 17;
}

void TCheckBox::SetChecked(bool Value) {
    if (checked_ == Value) return;
    checked_ = Value;
    Invalidate();
    Click();
}

void TCheckBox::Paint(TWidgetCanvas& Canvas) {
    const bool boxLeft = Alignment == TAlignment::taRightJustify;
    const int32_t boxX = boxLeft ? 0 : width_ - BoxSize, boxY = (height_ - BoxSize) / 2;
    TRect box{boxX, boxY, boxX + BoxSize, boxY + BoxSize};
    DrawEdge(Canvas, box, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
    const bool enabled = EffectivelyEnabled();
    Canvas.FillRect(box, enabled && !pressed_ ? clWindow : clBtnFace);
    if (checked_)
        for (int32_t y = 0; y < 7; ++y)
            for (int32_t x = 0; x < 7; ++x)
                if (CheckMark[y] & (0x40 >> x)) Canvas.Pixel(box.Left + 1 + x, box.Top + 1 + y, enabled ? clWindowText : clGrayText);
    const TRect text = boxLeft ? TRect{BoxSize + 4, 0, width_, height_} : TRect{0, 0, width_ - BoxSize - 4, height_};
    const uint32_t flags = DT_SINGLELINE | DT_VCENTER;
    DrawCaption(Canvas, *this, caption_, text, flags, Font().Color);
    if (Focused()) FocusAroundText(Canvas, caption_, text, flags);
}

void TCheckBox::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
    if (Button == TMouseButton::mbLeft) {
        pressed_ = true;
        Invalidate();
    }
    TWinControl::MouseDown(Button, Shift, X, Y);
}

void TCheckBox::MouseMove(TShiftState Shift, int32_t X, int32_t Y) {
    if ((Shift & ssLeft) && MouseCapture() && pressed_ != Inside(*this, X, Y)) {
        pressed_ = !pressed_;
        Invalidate();
    }
    TWinControl::MouseMove(Shift, X, Y);
}

void TCheckBox::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
    if (Button == TMouseButton::mbLeft && pressed_) {
        pressed_ = false;
        Invalidate();
        if (Inside(*this, X, Y)) Toggle();
    }
    TWinControl::MouseUp(Button, Shift, X, Y);
}

void TCheckBox::KeyDown(int32_t& Key, TShiftState) {
    if (Key != VK_SPACE) return;
    spaceDown_ = pressed_ = true;
    Invalidate();
    Key = 0;
}

void TCheckBox::KeyUp(int32_t& Key, TShiftState) {
    if (Key != VK_SPACE || !spaceDown_) return;
    spaceDown_ = pressed_ = false;
    Toggle();
    Key = 0;
}

bool TCheckBox::DialogChar(char Key) {
    if (AcceleratorOf(caption_) != Key || !CanFocus()) return false;
    SetFocus();
    Toggle();
    return true;
}

// ---- TLabel ----

TLabel::TLabel() {
    ParentColor = true;
    width_ = 65;
    height_ = 13;
}

void TLabel::Paint(TWidgetCanvas& Canvas) {
    if (!Transparent) Canvas.FillRect(ClientRect(), Color());
    uint32_t flags = WordWrap ? DT_WORDBREAK : 0;
    if (!ShowAccelChar) flags |= DT_NOPREFIX;
    if (Alignment == TAlignment::taCenter) flags |= DT_CENTER;
    if (Alignment == TAlignment::taRightJustify) flags |= DT_RIGHT;
    DrawCaption(Canvas, *this, caption_, ClientRect(), flags, Font().Color);
}

bool TLabel::DialogChar(char Key) {
    if (!ShowAccelChar || AcceleratorOf(caption_) != Key || !FocusControl || !FocusControl->CanFocus()) return false;
    FocusControl->SetFocus();
    return true;
}

// ---- TTrackBar ----

namespace {

constexpr int32_t ThumbWidth = 11, ThumbTop = 4, ThumbHeight = 18, TickTop = 24;

}  // namespace

TTrackBar::TTrackBar() {
    TabStop = true;
    ControlStyle = csCaptureMouse;
    width_ = 150;
    height_ = 45;
}

void TTrackBar::SetRange(int32_t Min, int32_t Max) {
    min_ = Min;
    max_ = std::max(Min, Max);
    Invalidate();
    SetPosition(position_);
}

void TTrackBar::SetPosition(int32_t Value) {
    Value = std::clamp(Value, min_, max_);
    if (Value == position_) return;
    position_ = Value;
    Invalidate();
    if (OnChange) OnChange(this);
}

TRect TTrackBar::ChannelRect() const {
    const int32_t middle = ThumbTop + ThumbHeight / 2;
    return {8, middle - 2, std::max(8 + ThumbWidth, width_ - 8), middle + 2};
}

namespace {

// The x of a value's thumb centre on a channel.
int32_t CentreOf(const TRect& Channel, int32_t Value, int32_t Min, int32_t Max) {
    const int32_t usable = Channel.Right - Channel.Left - ThumbWidth;
    const int32_t offset = Max > Min ? int32_t(int64_t(usable) * (Value - Min) / (Max - Min)) : 0;
    return Channel.Left + ThumbWidth / 2 + offset;
}

}  // namespace

TRect TTrackBar::ThumbRect() const {
    const int32_t x = CentreOf(ChannelRect(), position_, min_, max_) - ThumbWidth / 2;
    return {x, ThumbTop, x + ThumbWidth, ThumbTop + ThumbHeight};
}

int32_t TTrackBar::PositionAt(int32_t X) const {
    const TRect channel = ChannelRect();
    const int32_t usable = channel.Right - channel.Left - ThumbWidth;
    if (usable <= 0 || max_ == min_) return min_;
    const int64_t along = int64_t(X - channel.Left - ThumbWidth / 2) * (max_ - min_);
    return std::clamp(min_ + int32_t((along + (along >= 0 ? usable / 2 : -usable / 2)) / usable), min_, max_);
}

void TTrackBar::Paint(TWidgetCanvas& Canvas) {
    TRect channel = ChannelRect();
    DrawEdge(Canvas, channel, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
    Canvas.FillRect(channel, EffectivelyEnabled() ? clWindow : clBtnFace);
    if (Frequency > 0) {
        const TRect c = ChannelRect();
        for (int64_t v = min_; v <= max_; v += Frequency) {
            const bool end = v == min_ || v == max_;
            Canvas.VLine(CentreOf(c, int32_t(v), min_, max_), TickTop, TickTop + (end ? 4 : 3), clBtnText);
        }
        Canvas.VLine(CentreOf(c, max_, min_, max_), TickTop, TickTop + 4, clBtnText);
    }
    TRect thumb = ThumbRect();
    DrawEdge(Canvas, thumb, EDGE_RAISED, BF_RECT | BF_SOFT | BF_MIDDLE | BF_ADJUST);
    if (!EffectivelyEnabled()) FillCheckered(Canvas, thumb, clBtnFace, clBtnHighlight);
    if (Focused()) DrawFocusRect(Canvas, ClientRect());
}

void TTrackBar::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
    if (Button == TMouseButton::mbLeft) {
        const TRect thumb = ThumbRect();
        if (X >= thumb.Left && X < thumb.Right && Y >= thumb.Top && Y < thumb.Bottom)
            dragging_ = true;
        else
            SetPosition(position_ + (X < thumb.Left ? -PageSize : PageSize));
    }
    TWinControl::MouseDown(Button, Shift, X, Y);
}

void TTrackBar::MouseMove(TShiftState Shift, int32_t X, int32_t Y) {
    if (dragging_) SetPosition(PositionAt(X));
    TWinControl::MouseMove(Shift, X, Y);
}

void TTrackBar::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
    if (Button == TMouseButton::mbLeft) dragging_ = false;
    TWinControl::MouseUp(Button, Shift, X, Y);
}

bool TTrackBar::WantsKey(int32_t Key) const {
    return Key == VK_LEFT || Key == VK_RIGHT || Key == VK_UP || Key == VK_DOWN || Key == VK_PRIOR || Key == VK_NEXT ||
           Key == VK_HOME || Key == VK_END;
}

void TTrackBar::KeyDown(int32_t& Key, TShiftState) {
    switch (Key) {
    case VK_LEFT: case VK_UP: SetPosition(position_ - LineSize); break;
    case VK_RIGHT: case VK_DOWN: SetPosition(position_ + LineSize); break;
    case VK_PRIOR: SetPosition(position_ - PageSize); break;
    case VK_NEXT: SetPosition(position_ + PageSize); break;
    case VK_HOME: SetPosition(min_); break;
    case VK_END: SetPosition(max_); break;
    default: return;
    }
    Key = 0;
}

// ---- TButton ----

TButton::TButton() {
    TabStop = true;
    ControlStyle = csCaptureMouse;
    width_ = 75;
    height_ = 25;
}

void TButton::Click() {
    if (TWidgetForm* form = Form(); form && ModalResult != mrNone) form->ModalResult = ModalResult;
    TWinControl::Click();
}

namespace {

// The button that Enter presses: the focused one, else the default one.
bool FocusIsButton(const TControl& C) {
    const TWidgetForm* form = C.Form();
    return form && dynamic_cast<const TButton*>(form->ActiveControl());
}

}  // namespace

void TButton::Paint(TWidgetCanvas& Canvas) {
    TRect r = ClientRect();
    const bool active = Focused() || (Default && !FocusIsButton(*this));
    if (active) {
        Canvas.FrameRect(r, clWindowFrame);
        r = {r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1};
    }
    if (pushed_) {
        Canvas.FrameRect(r, clBtnShadow);
        Canvas.FillRect({r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1}, clBtnFace);
    } else {
        DrawEdge(Canvas, r, EDGE_RAISED, BF_RECT | BF_SOFT | BF_MIDDLE);
    }
    const int32_t shift = pushed_ ? 1 : 0;
    const TRect text{shift, shift, width_ + shift, height_ + shift};
    const uint32_t flags = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
    DrawCaption(Canvas, *this, caption_, text, flags, Font().Color);
    if (Focused()) DrawFocusRect(Canvas, {4, 4, width_ - 4, height_ - 4});
}

void TButton::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
    if (Button == TMouseButton::mbLeft) {
        pressed_ = pushed_ = true;
        Invalidate();
    }
    TWinControl::MouseDown(Button, Shift, X, Y);
}

void TButton::MouseMove(TShiftState Shift, int32_t X, int32_t Y) {
    if (pressed_ && pushed_ != Inside(*this, X, Y)) {
        pushed_ = !pushed_;
        Invalidate();
    }
    TWinControl::MouseMove(Shift, X, Y);
}

void TButton::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
    const bool click = Button == TMouseButton::mbLeft && pressed_ && Inside(*this, X, Y);
    if (Button == TMouseButton::mbLeft && pressed_) {
        pressed_ = pushed_ = false;
        Invalidate();
    }
    TWinControl::MouseUp(Button, Shift, X, Y);
    if (click) Click();
}

void TButton::KeyDown(int32_t& Key, TShiftState) {
    if (Key != VK_SPACE) return;
    spaceDown_ = pushed_ = true;
    Invalidate();
    Key = 0;
}

void TButton::KeyUp(int32_t& Key, TShiftState) {
    if (Key != VK_SPACE || !spaceDown_) return;
    spaceDown_ = pushed_ = false;
    Invalidate();
    Key = 0;
    Click();
}

bool TButton::DialogKey(int32_t Key, TShiftState) {
    const bool enter = Key == VK_RETURN && (Focused() || (Default && !FocusIsButton(*this)));
    if (!enter && !(Key == VK_ESCAPE && Cancel)) return false;
    Click();
    return true;
}

bool TButton::DialogChar(char Key) {
    if (AcceleratorOf(caption_) != Key) return false;
    Click();
    return true;
}

// ---- TBevel ----

TBevel::TBevel() {
    ControlStyle = 0;
    width_ = 50;
    height_ = 50;
}

namespace {

void DrawLinePair(TWidgetCanvas& Canvas, const TRect& Dark, const TRect& Light, TColor DarkColor, TColor LightColor) {
    Canvas.FillRect(Dark, DarkColor);
    Canvas.FillRect(Light, LightColor);
}

}  // namespace

void TBevel::Paint(TWidgetCanvas& Canvas) {
    const bool lowered = Style == TBevelStyle::bsLowered;
    const TColor dark = lowered ? clBtnShadow : clBtnHighlight, light = lowered ? clBtnHighlight : clBtnShadow;
    const int32_t w = width_, h = height_;
    switch (Shape) {
    case TBevelShape::bsBox: {
        TRect r{0, 0, w, h};
        Frame3D(Canvas, r, dark, light, 1);
        break;
    }
    case TBevelShape::bsFrame: {
        // Two rings a pixel apart: the light one underneath, the dark one over it.
        TRect outer{1, 1, w, h}, inner{0, 0, w - 1, h - 1};
        Frame3D(Canvas, outer, light, light, 1);
        Frame3D(Canvas, inner, dark, dark, 1);
        break;
    }
    case TBevelShape::bsTopLine: DrawLinePair(Canvas, {0, 0, w, 1}, {0, 1, w, 2}, dark, light); break;
    case TBevelShape::bsBottomLine: DrawLinePair(Canvas, {0, h - 2, w, h - 1}, {0, h - 1, w, h}, dark, light); break;
    case TBevelShape::bsLeftLine: DrawLinePair(Canvas, {0, 0, 1, h}, {1, 0, 2, h}, dark, light); break;
    case TBevelShape::bsRightLine: DrawLinePair(Canvas, {w - 2, 0, w - 1, h}, {w - 1, 0, w, h}, dark, light); break;
    case TBevelShape::bsSpacer: break;
    }
}

// ---- TListBox ----

TListBox::TListBox() {
    TabStop = true;
    // Clicks are reported when the selection changes, double clicks as they come.
    ControlStyle = csCaptureMouse | csDoubleClicks;
    color_ = clWindow;
    width_ = 121;
    height_ = 97;
}

int32_t TListBox::ItemHeight() const { return TextHeight(Font()) + 1; }

int32_t TListBox::VisibleCount() const { return std::max(1, ClientRect().Bottom / ItemHeight()); }

bool TListBox::ScrollBarShown() const { return int32_t(Items.size()) > VisibleCount(); }

int32_t TListBox::MaxTopIndex() const { return std::max(0, int32_t(Items.size()) - VisibleCount()); }

void TListBox::ItemsChanged() {
    if (itemIndex_ >= int32_t(Items.size())) itemIndex_ = -1;
    topIndex_ = std::min(topIndex_, MaxTopIndex());
    Invalidate();
}

void TListBox::SetItemIndex(int32_t Value) {
    Value = std::clamp(Value, -1, int32_t(Items.size()) - 1);
    if (Value != itemIndex_) {
        itemIndex_ = Value;
        Invalidate();
    }
    if (itemIndex_ < 0) return;
    if (itemIndex_ < topIndex_) SetTopIndex(itemIndex_);
    if (itemIndex_ >= topIndex_ + VisibleCount()) SetTopIndex(itemIndex_ - VisibleCount() + 1);
}

void TListBox::SetTopIndex(int32_t Value) {
    Value = std::clamp(Value, 0, MaxTopIndex());
    if (Value == topIndex_) return;
    topIndex_ = Value;
    Invalidate();
}

int32_t TListBox::ItemAtPos(TPoint P) const {
    const TRect c = ClientRect();
    const int32_t right = c.Right - (ScrollBarShown() ? ScrollBarWidth : 0);
    if (P.X < 0 || P.X >= right || P.Y < 0 || P.Y >= c.Bottom) return -1;
    const int32_t i = topIndex_ + P.Y / ItemHeight();
    return i < int32_t(Items.size()) ? i : -1;
}

void TListBox::PaintNonClient(TWidgetCanvas& Canvas) {
    TRect r{0, 0, width_, height_};
    DrawEdge(Canvas, r, EDGE_SUNKEN, BF_RECT);
}

void TListBox::Paint(TWidgetCanvas& Canvas) {
    const TRect c = ClientRect();
    const bool bar = ScrollBarShown();
    const int32_t right = c.Right - (bar ? ScrollBarWidth : 0), ih = ItemHeight();
    const bool enabled = EffectivelyEnabled();
    for (int32_t i = topIndex_, y = 0; i < int32_t(Items.size()) && y < c.Bottom; ++i, y += ih) {
        const TRect row{0, y, right, y + ih};
        const bool selected = i == itemIndex_;
        if (selected) Canvas.FillRect(row, clHighlight);
        TWidgetCanvas rowCanvas = Canvas;
        rowCanvas.Font.Color = !enabled ? clGrayText : selected ? clHighlightText : Font().Color;
        TRect text{row.Left + 2, row.Top, row.Right, row.Bottom};
        DrawText(rowCanvas, Items[size_t(i)], text, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
        if (selected && Focused()) DrawFocusRect(Canvas, row);
    }
    if (itemIndex_ < 0 && Focused()) DrawFocusRect(Canvas, {0, 0, right, ih});
    if (!bar) return;
    // The scroll bar: two arrow buttons, the checkered track and a thumb in proportion.
    const int32_t x = right, h = c.Bottom, button = std::min(ScrollBarWidth, h / 2);
    TRect up{x, 0, x + ScrollBarWidth, button}, down{x, h - button, x + ScrollBarWidth, h};
    for (TRect* b : {&up, &down}) {
        TRect face = *b;
        DrawEdge(Canvas, face, EDGE_RAISED, BF_RECT | BF_SOFT | BF_MIDDLE);
        const int32_t cx = b->Left + ScrollBarWidth / 2 - 1, cy = (b->Top + b->Bottom) / 2 - 1;
        for (int32_t row = 0; row < 4; ++row) {
            const int32_t y = b == &up ? cy - 1 + row : cy + 2 - row;
            Canvas.HLine(cx - row, cx + row + 1, y, enabled ? clBtnText : clGrayText);
        }
    }
    const TRect track{x, button, x + ScrollBarWidth, h - button};
    FillCheckered(Canvas, track, clBtnFace, clBtnHighlight);
    const int32_t length = track.Bottom - track.Top, count = int32_t(Items.size());
    const int32_t thumbLength = std::max(8, length * VisibleCount() / std::max(1, count));
    if (thumbLength >= length) return;
    const int32_t thumbTop = track.Top + (length - thumbLength) * topIndex_ / std::max(1, MaxTopIndex());
    TRect thumb{x, thumbTop, x + ScrollBarWidth, thumbTop + thumbLength};
    DrawEdge(Canvas, thumb, EDGE_RAISED, BF_RECT | BF_SOFT | BF_MIDDLE);
}

void TListBox::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
    const TRect c = ClientRect();
    if (Button == TMouseButton::mbLeft && ScrollBarShown() && X >= c.Right - ScrollBarWidth) {
        const int32_t button = std::min(ScrollBarWidth, c.Bottom / 2);
        if (Y < button)
            SetTopIndex(topIndex_ - 1);
        else if (Y >= c.Bottom - button)
            SetTopIndex(topIndex_ + 1);
        else
            SetTopIndex(topIndex_ + (Y < c.Bottom / 2 ? -VisibleCount() : VisibleCount()));
    } else if (Button == TMouseButton::mbLeft) {
        selecting_ = true;
        const int32_t i = ItemAtPos({X, Y});
        if (i >= 0 && i != itemIndex_) {
            SetItemIndex(i);
            Click();
        }
    }
    TWinControl::MouseDown(Button, Shift, X, Y);
}

void TListBox::MouseMove(TShiftState Shift, int32_t X, int32_t Y) {
    if (selecting_ && !Items.empty()) {
        const int32_t ih = ItemHeight();
        const int32_t i = std::clamp(topIndex_ + (Y < 0 ? -1 : Y / ih), 0, int32_t(Items.size()) - 1);
        if (i != itemIndex_) {
            SetItemIndex(i);
            Click();
        }
    }
    TWinControl::MouseMove(Shift, X, Y);
}

void TListBox::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
    if (Button == TMouseButton::mbLeft) selecting_ = false;
    TWinControl::MouseUp(Button, Shift, X, Y);
}

bool TListBox::WantsKey(int32_t Key) const {
    return Key == VK_UP || Key == VK_DOWN || Key == VK_PRIOR || Key == VK_NEXT || Key == VK_HOME || Key == VK_END;
}

void TListBox::KeyDown(int32_t& Key, TShiftState) {
    const int32_t page = std::max(1, VisibleCount() - 1), last = int32_t(Items.size()) - 1;
    int32_t to;
    switch (Key) {
    case VK_UP: to = itemIndex_ - 1; break;
    case VK_DOWN: to = itemIndex_ + 1; break;
    case VK_PRIOR: to = itemIndex_ - page; break;
    case VK_NEXT: to = itemIndex_ + page; break;
    case VK_HOME: to = 0; break;
    case VK_END: to = last; break;
    default: return;
    }
    Key = 0;
    if (last < 0) return;
    to = std::clamp(to, 0, last);
    if (to == itemIndex_) return;
    SetItemIndex(to);
    Click();
}

bool TListBox::MouseWheel(int32_t Delta) {
    SetTopIndex(topIndex_ - 3 * Delta);
    return true;
}

// ---- TEdit ----

TEdit::TEdit() {
    TabStop = true;
    ControlStyle = csCaptureMouse;
    color_ = clWindow;
    width_ = 121;
    height_ = 21;
}

void TEdit::ShowCaret() {
    const TWidgetFont font = Font();
    field_.Layout(INT32_MAX, [font](uint16_t Code) {
        return TextWidth(font, Code > 0xFF ? std::string{char(Code >> 8), char(Code)} : std::string(1, char(Code)));
    });
    // The caret stays inside the client area.
    const int32_t x = XOfPos(field_.CaretPos()), right = ClientRect().Right - 2;
    if (x > right) scroll_ += x - right;
    if (x < 1) scroll_ = std::max(0, scroll_ - (1 - x));
    Invalidate();
}

void TEdit::TextChanged() {
    caption_ = field_.Text();
    if (OnChange) OnChange(this);
}

void TEdit::SetText(const std::string& Value) {
    field_.MaxLength = MaxLength;
    const bool changed = field_.SetText(Value);
    scroll_ = 0;
    caption_ = field_.Text();
    ShowCaret();
    if (changed) TextChanged();
}

void TEdit::SetSelection(size_t Start, size_t Length) {
    field_.SetSelection(Start, Length);
    ShowCaret();
}

int32_t TEdit::XOfPos(size_t Pos) { return 1 + field_.XOf(Pos) - scroll_; }

size_t TEdit::PosAtX(int32_t X) { return field_.PosAt(0, X - 1 + scroll_); }

void TEdit::PaintNonClient(TWidgetCanvas& Canvas) {
    TRect r{0, 0, width_, height_};
    DrawEdge(Canvas, r, EDGE_SUNKEN, BF_RECT);
}

void TEdit::Paint(TWidgetCanvas& Canvas) {
    const TRect c = ClientRect();
    const uint32_t flags = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_NOCLIP;
    const bool enabled = EffectivelyEnabled();
    TWidgetCanvas canvas = Canvas;
    const size_t start = SelStart(), end = start + (Focused() ? SelLength() : 0);
    // Before, inside and after the selection.
    const size_t cuts[4] = {0, start, end, caption_.size()};
    for (int part = 0; part < 3; ++part) {
        if (cuts[part + 1] <= cuts[part]) continue;
        const int32_t left = XOfPos(cuts[part]), right = XOfPos(cuts[part + 1]);
        const bool selected = part == 1;
        if (selected) canvas.FillRect({left, 1, right, c.Bottom - 1}, clHighlight);
        canvas.Font.Color = !enabled ? clGrayText : selected ? clHighlightText : Font().Color;
        TRect r{left, 0, right, c.Bottom};
        DrawText(canvas, caption_.substr(cuts[part], cuts[part + 1] - cuts[part]), r, flags);
    }
    if (Focused()) canvas.VLine(XOfPos(CaretPos()), 1, c.Bottom - 1, clWindowText);
}

void TEdit::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
    if (Button == TMouseButton::mbLeft) {
        field_.MoveCaret(PosAtX(X), Shift & ssShift);
        ShowCaret();
        selecting_ = true;
    }
    TWinControl::MouseDown(Button, Shift, X, Y);
}

void TEdit::MouseMove(TShiftState Shift, int32_t X, int32_t Y) {
    if (selecting_) {
        field_.MoveCaret(PosAtX(X), true);
        ShowCaret();
    }
    TWinControl::MouseMove(Shift, X, Y);
}

void TEdit::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
    if (Button == TMouseButton::mbLeft) selecting_ = false;
    TWinControl::MouseUp(Button, Shift, X, Y);
}

bool TEdit::WantsKey(int32_t Key) const {
    return Key == VK_LEFT || Key == VK_RIGHT || Key == VK_HOME || Key == VK_END || Key == VK_DELETE || Key == VK_BACK;
}

void TEdit::KeyDown(int32_t& Key, TShiftState Shift) {
    if (!WantsKey(Key)) return;
    field_.MaxLength = MaxLength;
    bool changed = false;
    field_.KeyDown(Key, Shift & ssShift ? TEditField::ShiftKey : 0, nullptr, changed);
    Key = 0;
    ShowCaret();
    if (changed) TextChanged();
}

void TEdit::KeyPress(const std::string& Char) {
    field_.MaxLength = MaxLength;
    if (!field_.Type(Char)) return;
    ShowCaret();
    TextChanged();
}

void TEdit::DoEnter() {
    SelectAll();
    TWinControl::DoEnter();
}
