// The slider and the scrollbar: their picture strips, layout and rectangles, hits, the value
// changed by dragging, stepping, paging and keys, the tiled drawing and the records.
#include "objects/vitemex_slider.h"

#include "core/sysutils.h"
#include "objects/vitems_kinds.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

constexpr int KeyLeft = 37, KeyUp = 38, KeyRight = 39, KeyDown = 40;
// The mask level of track and button hits.
constexpr int32_t OpaqueLevel = 128;

int32_t Wrap(int64_t V, int32_t Size) { return int32_t((V % Size + Size) % Size); }

int32_t Saturate(int64_t V) { return int32_t(std::clamp<int64_t>(V, INT32_MIN, INT32_MAX)); }

// X rounded to the nearest integer, halves to even.
int64_t RoundEven(double X) { return int64_t(std::nearbyint(std::clamp(X, -9.0e18, 9.0e18))); }

}  // namespace

// ---- Strips ----

const TMiraItemFrame* TVelaSlider::TStrip::Frame() const {
    return Item && Item->GetFrameCount() > 0 ? Item->GetFrame(0) : nullptr;
}

bool TVelaSlider::TStrip::MaskAllows(int Cell, int32_t X, int32_t Y, int32_t Level) const {
    const TMiraItemFrame* frame = Frame();
    if (!frame || !frame->Mask) return true;
    const TDIBX& mask = *frame->Mask;
    const int64_t px = int64_t(Cell) * CellWidth + X;
    if (px < 0 || Y < 0 || px >= mask.GetWidth() || Y >= mask.GetHeight()) return false;
    return int64_t(mask.GetPixel(int32_t(px), Y)) >= Level;
}

void TVelaSlider::TStrip::DrawTiled(TCustomDIBX& Dest, int Cell, const TRect& R, int32_t OffsetX, int32_t OffsetY,
                                    int32_t Alpha) const {
    const TMiraItemFrame* frame = Frame();
    if (!frame || RectIsEmpty(R)) return;
    frame->DrawTiled(Dest, R, Bounds(Cell * CellWidth, 0, CellWidth, CellHeight), OffsetX, OffsetY, false, false, Alpha);
}

// ---- Life ----

TVelaSlider::TVelaSlider(TVelaBaseList* AOwner, bool UniqueName) : TVelaControl(AOwner, UniqueName) {}

TVelaSlider::~TVelaSlider() {
    Invalidate();
    ReleaseStrip(Track);
    ReleaseStrip(Thumb);
    ReleaseStrip(Buttons);
}

// ---- Properties ----

void TVelaSlider::ReleaseStrip(TStrip& Strip) {
    if (TMiraItem* item = std::exchange(Strip.Item, nullptr)) item->Release(&Strip);
    Strip.CellWidth = Strip.CellHeight = 0;
}

void TVelaSlider::SetStrip(TStrip& Strip, int Cells, const std::string& S) {
    Invalidate();
    Strip.Source = S;
    ReleaseStrip(Strip);
    if (!S.empty() && MiraMan) {
        Strip.Item = &MiraMan->Acquire(&Strip, S, false, false);
        Strip.CellWidth = Strip.Item->Width / Cells;
        Strip.CellHeight = Strip.Item->Height;
    }
}

void TVelaSlider::SetSource(const std::string& S) {
    if (S == Track.Source) return;
    SetStrip(Track, 2, S);
    TrackChanged();
}

void TVelaSlider::SetThumbsource(const std::string& S) {
    if (S == Thumb.Source) return;
    SetStrip(Thumb, 3, S);
    Layout();
}

void TVelaSlider::SetButtonsource(const std::string& S) {
    if (S == Buttons.Source) return;
    SetStrip(Buttons, 6, S);
    Layout();
}

void TVelaSlider::TrackChanged() {
    TrackWidth = Track.CellWidth;
    TrackHeight = Track.CellHeight;
    if (BarSize > 0) (Vertical() ? TrackHeight : TrackWidth) = BarSize;
    Layout();
}

void TVelaSlider::SetMin(int32_t V) {
    if (V == Min) return;
    Min = V;
    UpdateThumb();
}

void TVelaSlider::SetMax(int32_t V) {
    if (V == Max) return;
    Max = V;
    UpdateThumb();
}

void TVelaSlider::SetValue(int32_t V) {
    if (V == Value) return;
    Value = V;
    UpdateThumb();
}

void TVelaSlider::SetOrientation(int32_t V) {
    if (uint8_t(V) == Orientation) return;
    Invalidate();
    Orientation = uint8_t(V);
    TrackChanged();
}

void TVelaSlider::SetBarsize(int32_t V) {
    if (V == BarSize) return;
    Invalidate();
    BarSize = V;
    TrackChanged();
}

// ---- Geometry ----

void TVelaSlider::Layout() {
    int64_t width = 0, height = 0;
    if (TrackWidth >= 1 && TrackHeight >= 1) {
        if (Vertical()) {
            width = std::max({TrackWidth, Thumb.CellWidth, Buttons.CellWidth});
            height = int64_t(TrackHeight) + Thumb.CellHeight + 2 * int64_t(Buttons.CellHeight);
        } else {
            width = int64_t(TrackWidth) + Thumb.CellWidth + 2 * int64_t(Buttons.CellWidth);
            height = std::max({TrackHeight, Thumb.CellHeight, Buttons.CellHeight});
        }
    }
    SetBounds(GetLeft(), GetTop(), Saturate(width), Saturate(height));
    UpdateThumb();
}

void TVelaSlider::UpdateThumb() {
    const int64_t range = Range();
    const double p = range <= 0 ? 0.0 : double(int64_t(GetValue()) - Min) / double(range);
    ChangeLook(ThumbOffset, Saturate(RoundEven(p * ThumbTravel())));
}

TRect TVelaSlider::TrackRect() const {
    const int32_t x0 = GetOriginX(), y0 = GetOriginY();
    if (Vertical())
        return Bounds(x0 + (GetWidth() - TrackWidth) / 2, y0 + Buttons.CellHeight + Thumb.CellHeight / 2, TrackWidth,
                      TrackHeight);
    return Bounds(x0 + Buttons.CellWidth + Thumb.CellWidth / 2, y0 + (GetHeight() - TrackHeight) / 2, TrackWidth,
                  TrackHeight);
}

TRect TVelaSlider::ThumbRect() const {
    const int32_t x0 = GetOriginX(), y0 = GetOriginY();
    if (Vertical())
        return Bounds(x0 + (GetWidth() - Thumb.CellWidth) / 2, y0 + Buttons.CellHeight + TrackHeight - ThumbOffset,
                      Thumb.CellWidth, Thumb.CellHeight);
    return Bounds(x0 + Buttons.CellWidth + ThumbOffset, y0 + (GetHeight() - Thumb.CellHeight) / 2, Thumb.CellWidth,
                  Thumb.CellHeight);
}

TRect TVelaSlider::ButtonRect(int B) const {
    const int32_t x0 = GetOriginX(), y0 = GetOriginY(), w = Buttons.CellWidth, h = Buttons.CellHeight;
    if (Vertical()) return Bounds(x0 + (GetWidth() - w) / 2, B == 0 ? y0 : y0 + GetHeight() - h, w, h);
    return Bounds(B == 0 ? x0 : x0 + GetWidth() - w, y0 + (GetHeight() - h) / 2, w, h);
}

// ---- Hits ----

bool TVelaSlider::TrackHit(TPoint P) const {
    const TRect r = TrackRect();
    if (!PointInRect(r, P.X, P.Y) || Track.CellWidth < 1 || Track.CellHeight < 1) return false;
    // The track is tiled from its start (the bottom end when the value grows upwards).
    if (Vertical()) {
        const int32_t anchor = Reversed() ? r.Bottom : r.Top;
        return Track.MaskAllows(0, P.X - r.Left, Wrap(int64_t(P.Y) - anchor, Track.CellHeight), OpaqueLevel);
    }
    return Track.MaskAllows(0, Wrap(int64_t(P.X) - r.Left, Track.CellWidth), P.Y - r.Top, OpaqueLevel);
}

void TVelaSlider::AddPressTargets(const TPressTargetSink& Add) {
    if (TakesLeftPress() && Range() >= 1) AddTargetArea(Add, ThumbRect());
}

bool TVelaSlider::ThumbHit(TPoint P) const {
    const TRect r = ThumbRect();
    if (!PointInRect(r, P.X, P.Y)) return false;
    return !CaptureMask || Thumb.MaskAllows(0, P.X - r.Left, P.Y - r.Top, CapMaskLevel);
}

bool TVelaSlider::ButtonHit(int B, TPoint P) const {
    const TRect r = ButtonRect(B);
    return PointInRect(r, P.X, P.Y) && Buttons.MaskAllows(3 * B, P.X - r.Left, P.Y - r.Top, OpaqueLevel);
}

// ---- The value by the user ----

void TVelaSlider::UserChange(int64_t V) {
    const int32_t next = Clamp(V);
    if (next == GetValue()) return;
    SetValue(next);
    if (OnNotify.empty() || !Owner) return;
    TArrayString args;
    args.Add(IntToStr(next));
    Owner->GetEvents().Add(this, OnNotify, &args, PR_ONNOTIFY);
}

void TVelaSlider::DragTo(TPoint P) {
    const int32_t travel = ThumbTravel();
    if (travel <= 0) return;
    int64_t d = int64_t(Along(P)) - Start(TrackRect()) - DragOffset;
    if (Reversed()) d = travel - 1 - d;
    UserChange(Min + RoundEven(double(Range()) / travel * double(d)));
}

// ---- Pointer and keys ----

TPoint TVelaSlider::Pointer() {
    const TVelaBase* layer = PointerLayer();
    return layer ? layer->MousePos : TPoint{0, 0};
}

void TVelaSlider::SetStates(int32_t ThumbS, int32_t Button0, int32_t Button1) {
    if (ThumbS == ThumbState && Button0 == ButtonStates[0] && Button1 == ButtonStates[1]) return;
    ThumbState = ThumbS;
    ButtonStates = {Button0, Button1};
    Invalidate();
}

void TVelaSlider::HoverAt(TPoint P) {
    if (Range() <= 0 || GetIgnoremouse() == IM_ALL || Paused) {
        SetStates(0, 0, 0);
        return;
    }
    SetStates(ThumbHit(P) ? 1 : 0, ButtonHit(0, P) ? 1 : 0, ButtonHit(1, P) ? 1 : 0);
}

void TVelaSlider::DoMouseMove() {
    if (PressMode == pmNone)
        HoverAt(Pointer());
    else if (PressMode == pmDrag)
        DragTo(Pointer());
    TVelaControl::DoMouseMove();
}

void TVelaSlider::DoMouseOut() {
    if (PressMode == pmNone) SetStates(0, 0, 0);
    TVelaControl::DoMouseOut();
}

void TVelaSlider::DoLBtnDown() {
    TVelaControl::DoLBtnDown();
    const int32_t im = GetIgnoremouse();
    TVelaBase* layer = PointerLayer();
    if (!layer || Paused || PressMode != pmNone || (im != IM_NONE && im != IM_RCLICK) || Range() < 1) return;
    const TPoint p = layer->MousePos;
    if (ThumbState == 1) {
        RaiseEvent(OnHold, PR_ONHOLD, false);
        DragOffset = Along(p) - (Start(ThumbRect()) + ThumbGrip());
        SetStates(2, ButtonStates[0], ButtonStates[1]);
        PressMode = pmDrag;
    } else if (ButtonStates[0] == 1 || ButtonStates[1] == 1) {
        const int b = ButtonStates[0] == 1 ? 0 : 1;
        UserChange(int64_t(GetValue()) + int64_t(SmallChange) * StepSign(b));
        SetStates(ThumbState, b == 0 ? 2 : ButtonStates[0], b == 1 ? 2 : ButtonStates[1]);
        Countdown = RepeatDelay;
        PressMode = b == 0 ? pmButton0 : pmButton1;
    } else if (TrackHit(p)) {
        PressTrack(p);
    } else {
        return;
    }
    layer->Capture |= TVelaBase::CaptureLeft;
    layer->LeftPressed = false;
}

// The thumb jumps to the pointer and is dragged from its centre.
void TVelaSlider::PressTrack(TPoint P) {
    RaiseEvent(OnHold, PR_ONHOLD, false);
    SetStates(2, ButtonStates[0], ButtonStates[1]);
    PressMode = pmDrag;
    DragOffset = 0;
    DragTo(P);
}

void TVelaSlider::DoMouseHold() {
    if (PressMode < pmButton0) return;
    Countdown -= int32_t(SceneTickLength());
    if (Countdown >= 1) return;
    Countdown += RepeatInterval;
    HoldStep(Pointer());
}

void TVelaSlider::HoldStep(TPoint P) {
    if (PressMode == pmButton0 || PressMode == pmButton1) {
        const int b = PressMode == pmButton0 ? 0 : 1;
        const int32_t state = ButtonHit(b, P) ? 2 : 0;
        SetStates(ThumbState, b == 0 ? state : ButtonStates[0], b == 1 ? state : ButtonStates[1]);
        if (state == 2) UserChange(int64_t(GetValue()) + int64_t(SmallChange) * StepSign(b));
        return;
    }
    // Paging goes on until the thumb reaches the pointer.
    const TRect thumb = ThumbRect();
    const int32_t at = Along(P);
    const bool shortOf = PressMode == pmPageDown ? Start(thumb) > at
                                                 : (Vertical() ? thumb.Bottom : thumb.Right) <= at;
    const bool paging = TrackHit(P) && shortOf;
    if (paging) UserChange(int64_t(GetValue()) + int64_t(GetLargechange()) * (PressMode == pmPageDown ? -1 : 1));
    ChangeLook(TrackPressed, paging);
}

void TVelaSlider::DoLBtnUp() {
    TVelaControl::DoLBtnUp();
    if (PressMode == pmNone) return;
    if (PressMode == pmDrag) RaiseEvent(OnRelease, PR_ONRELEASE, false);
    PressMode = pmNone;
    ChangeLook(TrackPressed, false);
    HoverAt(Pointer());
}

void TVelaSlider::DoKeyPress() {
    if (Owner) {
        // The key that moves the thumb towards Max: right, or up (slider) / down (scrollbar).
        const int increase = !Vertical() ? KeyRight : Reversed() ? KeyUp : KeyDown;
        const int decrease = !Vertical() ? KeyLeft : Reversed() ? KeyDown : KeyUp;
        const int32_t v = GetValue();
        if (Owner->GetKeyRepeat(increase) && v < Max)
            UserChange(std::min<int64_t>(Max, int64_t(v) + SmallChange));
        else if (Owner->GetKeyRepeat(decrease) && v > Min)
            UserChange(std::max<int64_t>(Min, int64_t(v) - SmallChange));
    }
    TVelaControl::DoKeyPress();
}

// ---- Drawing ----

// The track is tiled from its start (the bottom end when vertical) so that the filled part and
// the rest continue one pattern.
void TVelaSlider::DrawBody(TCustomDIBX& Dest) {
    const TRect r = TrackRect();
    const int32_t offset = std::clamp(ThumbOffset, 0, TrackLength());
    if (Vertical()) {
        const int32_t split = r.Bottom - offset;
        Track.DrawTiled(Dest, 1, {r.Left, split, r.Right, r.Bottom}, 0, split - r.Bottom, Alpha);
        Track.DrawTiled(Dest, 0, {r.Left, r.Top, r.Right, split}, 0, r.Top - r.Bottom, Alpha);
    } else {
        const int32_t split = r.Left + offset;
        Track.DrawTiled(Dest, 1, {r.Left, r.Top, split, r.Bottom}, 0, 0, Alpha);
        Track.DrawTiled(Dest, 0, {split, r.Top, r.Right, r.Bottom}, offset, 0, Alpha);
    }
}

void TVelaSlider::Prepare() {
    TCustomDIBX* dest = GetLayerSurface();
    if (dest && GetWidth() != 0 && GetHeight() != 0 && Alpha >= 1 && Alpha <= 511 &&
        RectsIntersect(GetBoundsRect(), dest->GetClipRect())) {
        DrawBody(*dest);
        auto drawCell = [&](const TStrip& Strip, int Cell, const TRect& R) {
            if (const TMiraItemFrame* frame = Strip.Frame())
                frame->Draw(*dest, R.Left, R.Top, Bounds(Cell * Strip.CellWidth, 0, Strip.CellWidth, Strip.CellHeight),
                            false, false, Alpha);
        };
        if (Thumb.CellWidth >= 1 && Thumb.CellHeight >= 1 && Range() >= 1) drawCell(Thumb, ThumbState, ThumbRect());
        if (Buttons.CellWidth >= 1 && Buttons.CellHeight >= 1) {
            drawCell(Buttons, ButtonStates[0], ButtonRect(0));
            drawCell(Buttons, 3 + ButtonStates[1], ButtonRect(1));
        }
    }
    TVelaControl::Prepare();
}

// ---- The record ----

void TVelaSlider::SaveToStream(TStream& Stream) {
    TVelaControl::SaveToStream(Stream);
    for (const TStrip* strip : {&Track, &Thumb, &Buttons}) WriteStreamString(Stream, strip->Source);
    for (int32_t v : {Min, Max, Value, SmallChange, Alpha}) WriteStreamInt(Stream, v);
    WriteStreamByte(Stream, Paused);
    WriteStreamByte(Stream, Orientation);
    for (const std::string* s : {&OnNotify, &OnHold, &OnRelease, &OnIdle}) WriteStreamString(Stream, *s);
    WriteStreamByte(Stream, CaptureMask);
    WriteStreamInt(Stream, BarSize);
    WriteStreamInt(Stream, CapMaskLevel);
}

void TVelaSlider::LoadFromStream(TStream& Stream, int32_t Version) {
    TVelaControl::LoadFromStream(Stream, Version);
    const std::string track = ReadStreamString(Stream), thumb = ReadStreamString(Stream),
                      buttons = ReadStreamString(Stream);
    for (int32_t* v : {&Min, &Max, &Value, &SmallChange, &Alpha}) *v = ReadStreamInt(Stream);
    Paused = ReadStreamByte(Stream) != 0;
    Orientation = ReadStreamByte(Stream);
    for (std::string* s : {&OnNotify, &OnHold, &OnRelease, &OnIdle}) *s = ReadStreamString(Stream);
    if (Version >= 119) CaptureMask = ReadStreamByte(Stream) != 0;
    if (Version >= 128) BarSize = ReadStreamInt(Stream);
    CapMaskLevel = Version >= 144 ? ReadStreamInt(Stream) : 128;
    // The pictures come from the cache again; the layout follows.
    SetSource(track);
    SetThumbsource(thumb);
    SetButtonsource(buttons);
    TrackChanged();
}

// ---- The scrollbar ----

void TVelaScrollbar::Layout() {
    int64_t width = 0, height = 0;
    if (TrackWidth >= 1 && TrackHeight >= 1) {
        if (Vertical()) {
            width = std::max({TrackWidth, Thumb.CellWidth, Buttons.CellWidth});
            height = int64_t(TrackHeight) + 2 * int64_t(Buttons.CellHeight);
        } else {
            width = int64_t(TrackWidth) + 2 * int64_t(Buttons.CellWidth);
            height = std::max({TrackHeight, Thumb.CellHeight, Buttons.CellHeight});
        }
    }
    SetBounds(GetLeft(), GetTop(), Saturate(width), Saturate(height));
    UpdateThumb();
}

TRect TVelaScrollbar::TrackRect() const {
    const int32_t x0 = GetOriginX(), y0 = GetOriginY();
    if (Vertical()) return Bounds(x0 + (GetWidth() - TrackWidth) / 2, y0 + Buttons.CellHeight, TrackWidth, TrackHeight);
    return Bounds(x0 + Buttons.CellWidth, y0 + (GetHeight() - TrackHeight) / 2, TrackWidth, TrackHeight);
}

TRect TVelaScrollbar::ThumbRect() const {
    const int32_t x0 = GetOriginX(), y0 = GetOriginY();
    if (Vertical())
        return Bounds(x0 + (GetWidth() - Thumb.CellWidth) / 2, y0 + Buttons.CellHeight + ThumbOffset, Thumb.CellWidth,
                      Thumb.CellHeight);
    return Bounds(x0 + Buttons.CellWidth + ThumbOffset, y0 + (GetHeight() - Thumb.CellHeight) / 2, Thumb.CellWidth,
                  Thumb.CellHeight);
}

// Pages once towards the pointer at once; the held step pages on.
void TVelaScrollbar::PressTrack(TPoint P) {
    const TRect thumb = ThumbRect();
    TrackPressed = true;
    Countdown = RepeatDelay;
    PressMode = (Vertical() ? thumb.Bottom : thumb.Right) <= Along(P) ? pmPageUp : pmPageDown;
    UserChange(int64_t(GetValue()) + int64_t(LargeChange) * (PressMode == pmPageDown ? -1 : 1));
    Invalidate();
}

// The track is tiled from its start; while paging, the paged side of the thumb's centre shows
// the pressed cell.
void TVelaScrollbar::DrawBody(TCustomDIBX& Dest) {
    const TRect r = TrackRect();
    const bool paging = TrackPressed && (PressMode == pmPageDown || PressMode == pmPageUp);
    const int32_t start = Start(r), end = Vertical() ? r.Bottom : r.Right;
    const int32_t centre = paging ? std::clamp(Start(ThumbRect()) + ThumbLength() / 2, start, end) : end;
    auto part = [&](int Cell, int32_t From, int32_t To) {
        const TRect piece = Vertical() ? TRect{r.Left, From, r.Right, To} : TRect{From, r.Top, To, r.Bottom};
        Track.DrawTiled(Dest, Cell, piece, Vertical() ? 0 : From - start, Vertical() ? From - start : 0, Alpha);
    };
    part(paging && PressMode == pmPageDown ? 1 : 0, start, centre);
    part(paging && PressMode == pmPageUp ? 1 : 0, centre, end);
}

void TVelaScrollbar::SaveToStream(TStream& Stream) {
    TVelaSlider::SaveToStream(Stream);
    WriteStreamInt(Stream, LargeChange);
}

void TVelaScrollbar::LoadFromStream(TStream& Stream, int32_t Version) {
    TVelaSlider::LoadFromStream(Stream, Version);
    LargeChange = ReadStreamInt(Stream);
}
