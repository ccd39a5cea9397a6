// The list box: items, fonts, layout, the frame and its border pictures, the scroll strip, the
// hover row by pointer and keys, pressing and dragging, the selection and the list record.
#include "objects/vitemex_listbox.h"

#include "core/sysutils.h"
#include "graphics/graphic.h"
#include "objects/vitems_kinds.h"
#include "script/params_vars.h"
#include "text/fontpixels.h"

#include <algorithm>

namespace {

// The lines of S once the control characters around the whole text are gone: split at CR LF,
// CR or LF; an empty text has no lines.
std::vector<std::string> ItemLines(const std::string& S) {
    size_t first = 0, last = S.size();
    while (first < last && uint8_t(S[first]) < 32) ++first;
    while (last > first && uint8_t(S[last - 1]) < 32) --last;
    std::vector<std::string> lines;
    if (first == last) return lines;
    lines.emplace_back();
    for (size_t i = first; i < last; ++i) {
        const char c = S[i];
        if (c != '\r' && c != '\n') {
            lines.back() += c;
            continue;
        }
        if (c == '\r' && i + 1 < last && S[i + 1] == '\n') ++i;
        lines.emplace_back();
    }
    return lines;
}

// Where a picture of size S starts on a part of size D so that it lies aligned: 1 centred, 2 at
// the far end, else at the start (a picture larger than the part overhangs it).
int32_t AlignOffset(int32_t S, int32_t D, uint8_t Align) {
    if (Align == 1) return S < D ? -((D % S) / 2) : -((S - D) / 2);
    if (Align == 2) return S < D ? -(D % S) : -(S - D);
    return 0;
}

// The picture pixel that a part starting at Offset shows at its first pixel.
int32_t WrapStart(int32_t Offset, int32_t S) { return int32_t(((-int64_t(Offset)) % S + S) % S); }

constexpr int KeyPageUp = 33, KeyPageDown = 34, KeyUp = 38, KeyDown = 40;

}  // namespace

TVelaCustomListBox::TVelaCustomListBox(TVelaBaseList* AOwner, bool UniqueName) : TVelaControl(AOwner, UniqueName) {
    SetColor(-1);
}

TVelaCustomListBox::~TVelaCustomListBox() {
    Invalidate();
    ReleaseStrip(Scroll);
    ReleaseStrip(Check);
}

// ---- Items ----

void TVelaCustomListBox::SetText(const std::string& S) {
    if (S == Text) return;
    Invalidate();
    Text = S;
    Normal.Clear();
    Hover.Clear();
    const std::vector<std::string> lines = ItemLines(S);
    for (const std::string& line : lines) {
        Normal.AddLabel()->SetText(line);
        Hover.AddLabel()->SetText(line);
    }
    ItemFlags.assign(lines.size(), 0);
    TopIndex = 0;
    LayoutDirty = true;
}

std::string TVelaCustomListBox::GetItemText(int32_t I) const {
    const TNxLabelDIB* label = Normal.GetLabel(I);
    return label ? label->Text : std::string();
}

bool TVelaCustomListBox::GetListValue(int32_t I) const {
    return I >= 0 && size_t(I) < ItemFlags.size() && ItemFlags[size_t(I)] != 0;
}

void TVelaCustomListBox::SetListValue(int32_t I, bool V) {
    if (I < 0 || size_t(I) >= ItemFlags.size() || (ItemFlags[size_t(I)] != 0) == V) return;
    ItemFlags[size_t(I)] = V;
    Invalidate();
}

// ---- Fonts ----

void TVelaCustomListBox::Resize(TNxLabelList& List, int32_t TNxLabelList::*Field, int32_t V) {
    if (List.*Field == V) return;
    Invalidate();
    List.*Field = V;
    LayoutDirty = true;
}

// The rows are rendered in their colours: a new colour renders them again.
void TVelaCustomListBox::Recolor(TNxLabelList& List, int32_t TNxLabelList::*Field, int32_t V) {
    if (List.*Field == V) return;
    List.*Field = V;
    List.InvalidateAll();
    Invalidate();
}

void TVelaCustomListBox::SetStyle(TNxLabelList& List, int32_t V) {
    if (List.Style == uint8_t(V)) return;
    Invalidate();
    List.Style = uint8_t(V);
    LayoutDirty = true;
}

void TVelaCustomListBox::SetFontname(const std::string& S) {
    if (S == Normal.FaceName && S == Hover.FaceName) return;
    Invalidate();
    Normal.FaceName = Hover.FaceName = S;
    LayoutDirty = true;
}

void TVelaCustomListBox::SetFontheight(int32_t V) {
    if (V == Normal.FontSize && V == Hover.FontSize) return;
    Invalidate();
    Normal.SetFontSize(V);
    Hover.SetFontSize(V);
    LayoutDirty = true;
}

void TVelaCustomListBox::SetFontstyle(int32_t V) { SetStyle(Normal, V); }

void TVelaCustomListBox::SetAntialias(bool V) {
    const int32_t level = V ? 3 : 0;
    if (level == Normal.AntialiasLevel && level == Hover.AntialiasLevel) return;
    Invalidate();
    Normal.AntialiasLevel = Hover.AntialiasLevel = level;
    LayoutDirty = true;
}

void TVelaCustomListBox::SetAlpha(int32_t V) {
    if (V == Alpha) return;
    Alpha = Normal.Alpha = Hover.Alpha = V;
    Invalidate();
}

// ---- Border pictures and strips ----

std::string TVelaCustomListBox::GetBordersource(int I) const { return I >= 0 && I < 9 ? Pieces[size_t(I)].Source : ""; }

void TVelaCustomListBox::SetBordersource(int I, const std::string& S) {
    if (I < 0 || I >= 9 || S == Pieces[size_t(I)].Source) return;
    TPiece& piece = Pieces[size_t(I)];
    Invalidate();
    piece.Source = S;
    if (MiraMan && MiraMan->GetSource().FileExists(S, false))
        piece.Images.LoadImage(S, false);
    else
        piece.Images.Clear();
    const TVelaImageData* first = piece.Images.GetItem(0);
    const TCustomDIBX* dib = first ? first->GetDIB() : nullptr;
    piece.Width = dib ? dib->GetWidth() : 0;
    piece.Height = dib ? dib->GetHeight() : 0;
    LayoutDirty = true;
}

int32_t TVelaCustomListBox::GetBorderhalign(int I) const { return I >= 0 && I < 9 ? Pieces[size_t(I)].HAlign : 0; }

void TVelaCustomListBox::SetBorderhalign(int I, int32_t V) {
    if (I >= 0 && I < 9) ChangeLook(Pieces[size_t(I)].HAlign, uint8_t(V));
}

int32_t TVelaCustomListBox::GetBordervalign(int I) const { return I >= 0 && I < 9 ? Pieces[size_t(I)].VAlign : 0; }

void TVelaCustomListBox::SetBordervalign(int I, int32_t V) {
    if (I >= 0 && I < 9) ChangeLook(Pieces[size_t(I)].VAlign, uint8_t(V));
}

void TVelaCustomListBox::ReleaseStrip(TStrip& Strip) {
    if (TMiraItem* item = std::exchange(Strip.Item, nullptr)) item->Release(&Strip);
}

void TVelaCustomListBox::SetStrip(TStrip& Strip, int Cells, const std::string& S) {
    if (S == Strip.Source) return;
    Invalidate();
    Strip.Source = S;
    if (MiraMan && MiraMan->GetSource().FileExists(S, false)) {
        ReleaseStrip(Strip);
        Strip.Item = &MiraMan->Acquire(&Strip, S, false, false);
        Strip.CellWidth = Strip.Item->Width / Cells;
        Strip.CellHeight = Strip.Item->Height;
    }
    LayoutDirty = true;
}

// ---- Selection ----

int32_t TVelaCustomListBox::MaxTopIndex() const {
    return int32_t(std::clamp<int64_t>(int64_t(GetCount()) - RowCount, 0, INT32_MAX));
}

void TVelaCustomListBox::SetTopindex(int32_t V) { ChangeLook(TopIndex, std::clamp(V, 0, MaxTopIndex())); }

void TVelaCustomListBox::SetPaused(bool V) {
    if (V == Paused) return;
    Paused = V;
    if (V)
        DropFocusInside();
    else if (Owner && !Owner->GetFocus())
        Owner->RequestFocusUpdate();
}

void TVelaCustomListBox::SetHover(int32_t I) {
    if (I == HoverIndex) return;
    TTimerList* events = Owner ? &Owner->GetEvents() : nullptr;
    if (I < 0 && events && !OnMapOut.empty() && !events->IsQueued(this, PR_ONMAPOUT)) {
        TArrayString args;
        args.Add(GetItemText(HoverIndex));
        args.Add(IntToStr(HoverIndex));
        events->Add(this, OnMapOut, &args, PR_ONMAPOUT);
    }
    HoverIndex = I;
    SetIndex(-1);
    Invalidate();
    if (I >= 0 && events && !OnMapIn.empty() && !events->IsQueued(this, PR_ONMAPIN)) {
        TArrayString args;
        args.Add(GetItemText(I));
        args.Add(IntToStr(I));
        events->Add(this, OnMapIn, &args, PR_ONMAPIN);
    }
}

void TVelaCustomListBox::DoSelect() {
    SetIndex(HoverIndex);
    const std::string text = GetItemText(HoverIndex);
    if (ParamMan) {
        ParamMan->SetSelStr(text);
        ParamMan->SetSelIndex(HoverIndex);
    }
    if (!Owner || OnSelect.empty() || Owner->GetEvents().IsQueued(this, PR_ONSELECT)) return;
    TArrayString args;
    args.Add(text);
    args.Add(IntToStr(HoverIndex));
    Owner->GetEvents().Add(this, OnSelect, &args, PR_ONSELECT);
}

// ---- Layout ----

TRect TVelaCustomListBox::BorderSizes() const {
    auto widest = [&](std::initializer_list<int> Indexes, int32_t TPiece::*Size) {
        int32_t r = 0;
        for (int i : Indexes) r = std::max(r, Pieces[size_t(i)].*Size);
        return r;
    };
    return {widest({0, 3, 6}, &TPiece::Width), widest({0, 1, 2}, &TPiece::Height), widest({2, 5, 8}, &TPiece::Width),
            widest({6, 7, 8}, &TPiece::Height)};
}

void TVelaCustomListBox::UpdateLayout() {
    if (LayoutDirty) Layout();
}

void TVelaCustomListBox::Layout() {
    if (FontPixelManager) {
        Normal.MeasureLabels();
        Hover.MeasureLabels();
    }
    Normal.InvalidateAll();
    Hover.InvalidateAll();
    const TRect border = BorderSizes();
    const int64_t width = int64_t(std::max(Normal.GetMaxWidth(), Hover.GetMaxWidth())) + 2 * int64_t(BorderWidth) +
                          border.Left + border.Right + 2 * int64_t(MarginX) + (Scrolls() ? Scroll.CellWidth : 0) +
                          Check.CellWidth;
    const int64_t rows = std::min(RowCount, GetCount());
    const int64_t rowHeight = std::max(2 * int64_t(Normal.GlyphBorder()) + Normal.FontSize + Normal.ShadowSize,
                                       2 * int64_t(Hover.GlyphBorder()) + Hover.FontSize + Hover.ShadowSize);
    const int64_t height = rowHeight * rows + (rows - 1) * LineSpace + 2 * int64_t(BorderWidth) + border.Top +
                           border.Bottom + 2 * int64_t(MarginY);
    SetBounds(GetLeft(), GetTop(), int32_t(width), int32_t(height));
    LayoutDirty = false;
}

int32_t TVelaCustomListBox::RowHeight() const {
    const TNxLabelDIB* normal = Normal.GetLabel(0);
    const TNxLabelDIB* hover = Hover.GetLabel(0);
    return std::max(normal ? normal->Height : 0, hover ? hover->Height : 0);
}

TRect TVelaCustomListBox::InnerRect() const {
    const TRect r = GetBoundsRect();
    return {r.Left + BorderWidth, r.Top + BorderWidth, r.Right - BorderWidth, r.Bottom - BorderWidth};
}

TRect TVelaCustomListBox::PieceRect(int I, bool Scrolling) const {
    const TRect inner = InnerRect(), border = BorderSizes();
    const TPiece& piece = Pieces[size_t(I)];
    TRect r;
    switch (I % 3) {
        case 0: r.Left = inner.Left + border.Left - piece.Width, r.Right = r.Left + piece.Width; break;
        case 1: r.Left = inner.Left + border.Left, r.Right = inner.Right - border.Right; break;
        default: r.Left = inner.Right - border.Right, r.Right = r.Left + piece.Width; break;
    }
    switch (I / 3) {
        case 0: r.Top = inner.Top + border.Top - piece.Height, r.Bottom = r.Top + piece.Height; break;
        case 1: r.Top = inner.Top + border.Top, r.Bottom = inner.Bottom - border.Bottom; break;
        default:
            r.Top = inner.Bottom - border.Bottom;
            r.Bottom = border.Top > inner.Bottom - inner.Top ? r.Top : r.Top + piece.Height;
            break;
    }
    if (I == 5 && Scrolling) r.Left -= Scroll.CellWidth;
    r.Top = std::max(r.Top, inner.Top);
    r.Bottom = std::min(r.Bottom, inner.Bottom);
    return r;
}

// ---- The scroll strip ----

TVelaCustomListBox::TScrollParts TVelaCustomListBox::ScrollParts() const {
    const TRect outer = GetBoundsRect(), border = BorderSizes();
    const int32_t cw = Scroll.CellWidth, ch = Scroll.CellHeight;
    TScrollParts parts{};
    parts.CellWidth = cw;
    parts.CellHeight = ch;
    parts.Left = outer.Left + GetWidth() - BorderWidth - border.Right - cw;
    parts.Top = outer.Top + BorderWidth + border.Top;
    const int32_t length = GetHeight() - 2 * BorderWidth - border.Top - border.Bottom;
    parts.Bottom = parts.Top + length;
    const int32_t range = MaxTopIndex();
    parts.ThumbTop = parts.Top + ch + (range > 0 ? int32_t((int64_t(length) - 3 * int64_t(ch)) * TopIndex / range) : 0);
    return parts;
}

TVelaCustomListBox::TPressMode TVelaCustomListBox::ScrollPartAt(TPoint P) const {
    if (!Scrolls()) return pmNone;
    const TScrollParts parts = ScrollParts();
    if (P.X < parts.Left || P.X >= parts.Right()) return pmNone;
    for (TPressMode mode : {pmThumb, pmUpArrow, pmDownArrow, pmUpperTrack, pmLowerTrack})
        if (OnPart(mode, P)) return mode;
    return pmNone;
}

bool TVelaCustomListBox::OnPart(TPressMode Mode, TPoint P) const {
    if (!Scrolls()) return false;
    const TScrollParts parts = ScrollParts();
    TRect r;
    switch (Mode) {
        case pmThumb: r = parts.Thumb(); break;
        case pmUpArrow: r = parts.UpArrow(); break;
        case pmDownArrow: r = parts.DownArrow(); break;
        case pmUpperTrack: r = parts.UpperTrack(); break;
        case pmLowerTrack: r = parts.LowerTrack(); break;
        default: return false;
    }
    return PointInRect(r, P.X, P.Y);
}

TPoint TVelaCustomListBox::Pointer() {
    const TVelaBase* layer = PointerLayer();
    return layer ? layer->MousePos : TPoint{0, 0};
}

void TVelaCustomListBox::HoldStep() {
    const bool on = OnPart(PressMode, Pointer());
    bool& pressed = PressMode == pmUpArrow || PressMode == pmDownArrow ? ArrowPressed : TrackPressed;
    if (on != pressed) {
        pressed = on;
        Invalidate();
    }
    const int32_t now = int32_t(SceneClock());
    RepeatCountdown -= now - RepeatClock;
    RepeatClock = now;
    if (RepeatCountdown >= 1) return;
    RepeatCountdown += RepeatInterval;
    if (!on) return;
    switch (PressMode) {
        case pmUpArrow:
            if (TopIndex >= 1) SetTopindex(TopIndex - 1);
            break;
        case pmDownArrow:
            if (TopIndex < MaxTopIndex()) SetTopindex(TopIndex + 1);
            break;
        case pmUpperTrack:
            if (TopIndex >= 1) SetTopindex(std::max(0, TopIndex - RowCount));
            break;
        case pmLowerTrack:
            if (TopIndex < MaxTopIndex()) SetTopindex(TopIndex + RowCount);
            break;
        default: break;
    }
}

// ---- Pointer and keys ----

TRect TVelaCustomListBox::RowsArea(int32_t& FirstRowTop) const {
    const TRect outer = GetBoundsRect(), border = BorderSizes();
    const int32_t itemTop = outer.Top + BorderWidth + border.Top + MarginY;
    const int32_t q = std::min(LineSpace / 2, MarginY);
    FirstRowTop = itemTop - LineSpace / 2;
    return {outer.Left + border.Left + BorderWidth, itemTop - q,
            outer.Right - border.Right - BorderWidth - (Scrolls() ? Scroll.CellWidth : 0),
            outer.Bottom - (border.Bottom + BorderWidth + MarginY - q)};
}

int32_t TVelaCustomListBox::ItemAt(TPoint P) const {
    int32_t firstTop = 0;
    if (!PointInRect(RowsArea(firstTop), P.X, P.Y)) return -1;
    const int64_t step = int64_t(RowHeight()) + LineSpace;
    int64_t start = firstTop;
    int32_t index = TopIndex - 1;
    for (int32_t k = 0; k <= RowCount && start <= P.Y; ++k, start += step) ++index;
    return index < GetCount() ? index : -1;
}

// The rows as ItemAt finds them: row k from the top one shown, each cut to the area.
void TVelaCustomListBox::AddPressTargets(const TPressTargetSink& Add) {
    if (OpenState != 0 || IsSelecting() || !TakesLeftPress()) return;
    int32_t firstTop = 0;
    const TRect area = RowsArea(firstTop);
    const int64_t step = int64_t(RowHeight()) + LineSpace;
    if (step <= 0) return;
    for (int32_t k = 0; k <= RowCount && int64_t(TopIndex) + k < GetCount(); ++k) {
        const int64_t top = firstTop + k * step;
        if (top >= area.Bottom) break;
        AddTargetArea(Add, {area.Left, int32_t(std::max<int64_t>(top, area.Top)), area.Right,
                            int32_t(std::min<int64_t>(top + step, area.Bottom))});
    }
}

void TVelaCustomListBox::DoLBtnDown() {
    if (Paused) {
        TVelaControl::DoLBtnDown();
        return;
    }
    TVelaBase* layer = PointerLayer();
    if (!layer) return;
    layer->Capture |= TVelaBase::CaptureLeft;
    layer->LeftPressed = false;
    const TPoint p = layer->MousePos;
    const TPressMode part = ScrollPartAt(p);
    if (part == pmThumb) {
        PressMode = pmThumb;
        DragOffset = p.Y - (ScrollParts().ThumbTop + Scroll.CellHeight / 2);
    } else if (part != pmNone) {
        PressMode = part;
        RepeatClock = int32_t(SceneClock());
        RepeatCountdown = 0;
        HoldStep();
        RepeatCountdown = RepeatDelay;
    } else {
        PressMode = pmItems;
    }
}

void TVelaCustomListBox::DoMouseHold() {
    if (PressMode >= pmUpArrow && PressMode <= pmLowerTrack) HoldStep();
}

void TVelaCustomListBox::DoMouseMove() {
    if (PressMode == pmThumb) {
        // The thumb's centre follows the pointer over the track between the arrows.
        const TScrollParts parts = ScrollParts();
        const int64_t span = int64_t(parts.Bottom - parts.Top) - 3 * int64_t(Scroll.CellHeight);
        if (span <= 0) return;
        const int64_t at = int64_t(Pointer().Y) - DragOffset - (parts.Top + Scroll.CellHeight + Scroll.CellHeight / 2);
        const int32_t range = MaxTopIndex();
        SetTopindex(std::clamp(RoundDivEven(range * at, span), 0, range));
        return;
    }
    if (PressMode != pmNone && PressMode != pmItems) return;
    if (!Paused) SetHover(ItemAt(Pointer()));
    TVelaControl::DoMouseMove();
}

void TVelaCustomListBox::DoMouseOut() {
    if (!Paused && GetIgnoremouse() != IM_ALL) SetHover(-1);
    TVelaControl::DoMouseOut();
}

void TVelaCustomListBox::DoLBtnUp() {
    if (!IsSelecting() && PressMode == pmItems && HoverIndex >= 0) DoSelect();
    PressMode = pmNone;
    ArrowPressed = TrackPressed = false;
    Invalidate();
}

void TVelaCustomListBox::DoKeyPress() {
    const int32_t count = GetCount(), last = count - 1, hover = HoverIndex;
    auto repeated = [&](int Key) { return Owner && Owner->GetKeyRepeat(Key); };
    int32_t next = hover;
    if (Paused || count == 0) {
        // no items to move over
    } else if (repeated(KeyUp) && hover != 0) {
        next = hover >= 1 ? hover - 1 : last;
    } else if (repeated(KeyDown) && hover < last) {
        next = hover >= 0 ? hover + 1 : 0;
    } else if (repeated(KeyPageUp) && hover != 0) {
        next = hover > 0 ? std::max(0, hover - RowCount) : last;
    } else if (repeated(KeyPageDown) && hover < last) {
        next = hover >= 0 ? std::min(last, hover + RowCount) : 0;
    }
    if (next != hover) {
        SetHover(next);
        if (next < TopIndex)
            SetTopindex(next);
        else if (next >= TopIndex + RowCount)
            SetTopindex(next - RowCount + 1);
    }
    TVelaControl::DoKeyPress();
}

// ---- Step and drawing ----

void TVelaCustomListBox::StepBorders() {
    if (GetAnipaused()) return;
    TVelaBase* layer = GetBase();
    const int32_t elapsed = int32_t(SceneTickLength());
    for (int i = 0; i < 9; ++i)
        if (Pieces[size_t(i)].Images.StepAnimation(elapsed) && layer)
            layer->AddDirtyRect(PieceRect(i, OpenState == 0 && Scrolls()));
}

bool TVelaCustomListBox::Step() {
    UpdateLayout();
    StepBorders();
    return false;
}

void TVelaCustomListBox::DrawCell(TCustomDIBX& Dest, const TStrip& Strip, int Cell, const TRect& R, bool Tiled) {
    if (!Strip.Item || Strip.Item->GetFrameCount() == 0 || RectIsEmpty(R)) return;
    const TMiraItemFrame& frame = *Strip.Item->GetFrame(0);
    const TRect cell = Bounds(Cell * Strip.CellWidth, 0, Strip.CellWidth, Strip.CellHeight);
    if (Tiled)
        frame.DrawTiled(Dest, R, cell, 0, 0, false, false, Alpha);
    else
        frame.Draw(Dest, R.Left, R.Top, cell, false, false, Alpha);
}

void TVelaCustomListBox::DrawScrollBar(TCustomDIBX& Dest) {
    const TScrollParts parts = ScrollParts();
    const bool arrow = ArrowPressed, track = TrackPressed;
    DrawCell(Dest, Scroll, arrow && PressMode == pmUpArrow ? 1 : 0, parts.UpArrow(), true);
    DrawCell(Dest, Scroll, arrow && PressMode == pmDownArrow ? 3 : 2, parts.DownArrow(), true);
    DrawCell(Dest, Scroll, track && PressMode == pmUpperTrack ? 5 : 4, parts.UpperTrack(), true);
    DrawCell(Dest, Scroll, track && PressMode == pmLowerTrack ? 5 : 4, parts.LowerTrack(), true);
    DrawCell(Dest, Scroll, 6, parts.Thumb(), true);
}

void TVelaCustomListBox::DrawItems(TCustomDIBX& Dest) {
    const TRect inner = InnerRect(), border = BorderSizes();
    const int32_t checkWidth = Check.CellWidth;
    const int32_t itemX = inner.Left + border.Left + MarginX + checkWidth;
    const int32_t textWidth = inner.Right - border.Right - MarginX - itemX - (Scrolls() ? Scroll.CellWidth : 0);
    const int32_t rowHeight = RowHeight();
    const int32_t q = std::min(LineSpace / 2, MarginY);
    const int32_t hoverColor = GetHovercolor();
    int32_t y = inner.Top + border.Top + MarginY;
    for (int32_t i = 0; i < RowCount && TopIndex + i < GetCount(); ++i, y += rowHeight + LineSpace) {
        const int32_t item = TopIndex + i;
        const bool hovered = item == HoverIndex;
        if (hovered && hoverColor != -1)
            FillRectBlended(Dest,
                            Bounds(inner.Left + border.Left + 1, y - q, 2 * MarginX + textWidth + checkWidth - 2,
                                   rowHeight + 2 * q),
                            hoverColor, Alpha);
        TNxLabelDIB& label = *(hovered ? Hover : Normal).GetLabel(item);
        const int32_t x = HAlign == 0   ? itemX
                          : HAlign == 1 ? itemX + (textWidth - label.Width) / 2
                                        : itemX + textWidth - label.Width;
        label.Draw(x, y);
        if (ItemFlags[size_t(item)] != 0)
            DrawCell(Dest, Check, hovered ? 1 : 0,
                     Bounds(itemX - checkWidth, y + (rowHeight - Check.CellHeight) / 2, Check.CellWidth,
                            Check.CellHeight),
                     false);
    }
}

void TVelaCustomListBox::Prepare() {
    TCustomDIBX* dest = GetLayerSurface();
    if (!dest || !RectsIntersect(GetBoundsRect(), dest->GetClipRect())) return;
    if (Alpha > 0 && GetWidth() > 0 && GetHeight() > 0) {
        Normal.Dest = Hover.Dest = dest;
        const TRect outer = GetBoundsRect();
        if (BorderWidth > 0 && BorderColor != -1 && BorderWidth <= GetWidth())
            FrameRectBlended(*dest, outer, BorderWidth, BorderColor, Alpha);
        if (GetColor() != -1) FillRectBlended(*dest, InnerRect(), GetColor(), Alpha);
        const bool open = OpenState == 0;
        for (int i = 0; i < 9; ++i) {
            TPiece& piece = Pieces[size_t(i)];
            TVelaImageData* image = piece.Images.GetItem(std::max(piece.Images.Current, 0));
            const TRect r = PieceRect(i, open && Scrolls());
            if (!image || RectIsEmpty(r) || piece.Width <= 0 || piece.Height <= 0) continue;
            const int32_t dx = i == 1 || i == 4 || i == 7 ? AlignOffset(piece.Width, r.Right - r.Left, piece.HAlign) : 0;
            const int32_t dy = i == 3 || i == 4 || i == 5 ? AlignOffset(piece.Height, r.Bottom - r.Top, piece.VAlign) : 0;
            image->DrawWrapped(*dest, r, Alpha, WrapStart(dx, piece.Width), WrapStart(dy, piece.Height));
        }
        if (open) {
            if (Scrolls() && Scroll.Item) DrawScrollBar(*dest);
            DrawItems(*dest);
        }
    }
    TVelaControl::Prepare();
}

void TVelaCustomListBox::FreePrivateDIBs() {
    TVelaControl::FreePrivateDIBs();
    for (TPiece& piece : Pieces) piece.Images.FreePrivateDIBs();
}

void TVelaCustomListBox::MakePrivateDIBs() {
    TVelaControl::MakePrivateDIBs();
    for (TPiece& piece : Pieces) piece.Images.MakePrivateDIBs();
    Normal.InvalidateAll();
    Hover.InvalidateAll();
}

// ---- The record ----

void TVelaCustomListBox::SaveToStream(TStream& Stream) {
    TVelaControl::SaveToStream(Stream);
    Normal.SaveToStream(Stream);
    Hover.SaveToStream(Stream);
    WriteStreamString(Stream, Text);
    for (int32_t v : {LineSpace, Alpha, MarginX, MarginY, BorderWidth, BorderColor, RowCount}) WriteStreamInt(Stream, v);
    for (const TPiece& piece : Pieces) {
        WriteStreamString(Stream, piece.Source);
        WriteStreamByte(Stream, piece.HAlign);
        WriteStreamByte(Stream, piece.VAlign);
    }
    WriteStreamString(Stream, Scroll.Source);
    WriteStreamString(Stream, Check.Source);
    WriteStreamInt(Stream, TopIndex);
    WriteStreamByte(Stream, HAlign);
    if (!ItemFlags.empty()) Stream.WriteBuffer(ItemFlags.data(), int64_t(ItemFlags.size()));
    WriteStreamString(Stream, OnSelect);
    WriteStreamByte(Stream, Paused);
    WriteStreamInt(Stream, Index);
    WriteStreamInt(Stream, OpenState);
    WriteStreamString(Stream, OnIdle);
    WriteStreamString(Stream, OnMapIn);
    WriteStreamString(Stream, OnMapOut);
}

void TVelaCustomListBox::ReadRecord(TStream& Stream, int32_t Version) {
    TVelaControl::LoadFromStream(Stream, Version);
    Normal.LoadFromStream(Stream, Version);
    Hover.LoadFromStream(Stream, Version);
    // The lists' rows keep their texts; a text read again rebuilds them from the new settings.
    Text.clear();
    Normal.Clear();
    Hover.Clear();
    ItemFlags.clear();
    SetText(ReadStreamString(Stream));
    for (int32_t* v : {&LineSpace, &Alpha, &MarginX, &MarginY, &BorderWidth, &BorderColor, &RowCount})
        *v = ReadStreamInt(Stream);
    for (int i = 0; i < 9; ++i) {
        SetBordersource(i, ReadStreamString(Stream));
        Pieces[size_t(i)].HAlign = ReadStreamByte(Stream);
        Pieces[size_t(i)].VAlign = ReadStreamByte(Stream);
    }
    SetScrollsource(ReadStreamString(Stream));
    SetChecksource(ReadStreamString(Stream));
    SetTopindex(ReadStreamInt(Stream));
    if (Version < 104) ReadStreamByte(Stream);
    HAlign = ReadStreamByte(Stream);
    if (!ItemFlags.empty()) Stream.ReadBuffer(ItemFlags.data(), int64_t(ItemFlags.size()));
    OnSelect = ReadStreamString(Stream);
    Paused = ReadStreamByte(Stream) != 0;
    Index = ReadStreamInt(Stream);
    OpenState = ReadStreamInt(Stream);
    if (Version >= 131) OnIdle = ReadStreamString(Stream);
    if (Version >= 134) {
        OnMapIn = ReadStreamString(Stream);
        OnMapOut = ReadStreamString(Stream);
    }
}

void TVelaCustomListBox::LayoutRead() {
    Layout();
    const int32_t widest = std::max(Normal.GetMaxWidth(), Hover.GetMaxWidth()), height = RowHeight();
    if (widest > 0 && height > 0) CheckImageSize(widest, height, 32);
}

void TVelaCustomListBox::LoadFromStream(TStream& Stream, int32_t Version) {
    ReadRecord(Stream, Version);
    LayoutRead();
}
