// The gauge: its picture and size, the rise and fall animations, the tiled drawing of the value
// and lost parts, and the record.
#include "objects/vitemex_gauge.h"

#include "core/sysutils.h"
#include "objects/vitems_kinds.h"

#include <algorithm>
#include <cmath>

namespace {

int64_t RoundEven(double X) { return int64_t(std::nearbyint(std::clamp(X, -9.0e18, 9.0e18))); }

// Length * Part / Range rounded to the nearest integer, halves to even; 0 without a range.
int32_t PartLength(int32_t Length, int64_t Part, int64_t Range) {
    if (Range <= 0) return 0;
    const long double exact = static_cast<long double>(Length) * Part / Range;
    return int32_t(std::clamp<long double>(std::nearbyint(exact), 0, Length));
}

}  // namespace

TVelaGauge::~TVelaGauge() {
    Invalidate();
    if (Item) Item->Release(this);
}

// ---- Properties ----

void TVelaGauge::SetSource(const std::string& S) {
    if (S == Source) return;
    Invalidate();
    Source = S;
    if (TMiraItem* old = std::exchange(Item, nullptr)) old->Release(this);
    if (!S.empty() && MiraMan) Item = &MiraMan->Acquire(this, S, false, false);
    SizeToBar();
}

void TVelaGauge::SizeToBar() {
    int32_t width = Item ? Item->Width / 2 : 0, height = Item ? Item->Height : 0;
    if (BarSize > 0) (Orientation != 0 ? height : width) = BarSize;
    SetBounds(GetLeft(), GetTop(), width, height);
}

void TVelaGauge::SetOrientation(int32_t V) {
    if (uint8_t(V) == Orientation) return;
    Invalidate();
    Orientation = uint8_t(V);
    SizeToBar();
}

void TVelaGauge::SetBarsize(int32_t V) {
    if (V == BarSize) return;
    BarSize = V;
    SizeToBar();
}

void TVelaGauge::SetBound(int32_t& Field, int32_t V) {
    if (V == Field) return;
    Field = V;
    Finish();
}

void TVelaGauge::SetValue(int32_t V) {
    if (V == Value) return;
    const int32_t before = GetValue();
    Value = V;
    const int32_t after = GetValue();
    if (after >= before) {
        Lost = 0;
        Position = Shown;
        State = Rising;
    } else {
        Shown = after;
        Lost = int64_t(before) - after;
        Position = double(Lost);
        HoldCount = Duration;
        State = Falling;
    }
    Invalidate();
}

void TVelaGauge::Finish() {
    Shown = GetValue();
    Lost = 0;
    State = Idle;
    Invalidate();
}

// ---- The tick ----

bool TVelaGauge::Step() {
    const bool result = TVelaControl::Step();
    if (State == Idle) return result;
    const int64_t range = Range();
    if (Delay <= 0 || range <= 0) {
        Finish();
        return result;
    }
    const int32_t t = int32_t(SceneTickLength());
    const double moved = double(range) / Delay * t;
    if (State == Falling) {
        if (HoldCount >= 1) HoldCount -= t;
        if (HoldCount >= 1) return result;
        Position -= moved;
        if (const int64_t lost = RoundEven(Position); lost != Lost) {
            Lost = lost;
            Invalidate();
        }
        if (Lost < 1) Finish();
    } else {
        Position += moved;
        if (const auto shown = int32_t(std::clamp<int64_t>(RoundEven(Position), INT32_MIN, INT32_MAX)); shown != Shown) {
            Shown = shown;
            Invalidate();
        }
        if (GetValue() <= Shown) Finish();
    }
    return result;
}

// ---- Drawing ----

// Both parts are tiled from the end the bar grows from, so that the lost part continues the
// value part's pattern; a reversed bar is the same drawing mirrored.
void TVelaGauge::Prepare() {
    TCustomDIBX* dest = GetLayerSurface();
    const TMiraItemFrame* frame = Item && Item->GetFrameCount() > 0 ? Item->GetFrame(0) : nullptr;
    if (dest && frame && GetWidth() != 0 && GetHeight() != 0 && Alpha >= 1 && Alpha <= 511 &&
        RectsIntersect(GetBoundsRect(), dest->GetClipRect())) {
        const bool vertical = Orientation != 0;
        const int32_t cellWidth = Item->Width / 2, cellHeight = Item->Height;
        const int32_t bar = vertical ? GetHeight() : GetWidth();
        const int32_t value = PartLength(bar, int64_t(Shown) - Min, Range());
        const int32_t lost = std::min(PartLength(bar, Lost, Range()), bar - value);
        const int32_t x0 = GetOriginX(), y0 = GetOriginY();
        // The part [From, From + Length) along the bar counted from its growing end, whose
        // pattern starts Phase pixels into the cell.
        auto part = [&](int Cell, int32_t From, int32_t Length) {
            if (Length <= 0) return;
            const TRect cell = Bounds(Cell * cellWidth, 0, cellWidth, cellHeight);
            if (vertical) {
                const int32_t top = Reverse ? y0 + From : y0 + bar - From - Length;
                frame->DrawTiled(*dest, Bounds(x0, top, cellWidth, Length), cell, 0, -(From + Length), false, Reverse,
                                 Alpha);
            } else {
                const int32_t left = Reverse ? x0 + bar - From - Length : x0 + From;
                frame->DrawTiled(*dest, Bounds(left, y0, Length, cellHeight), cell, From, 0, Reverse, false, Alpha);
            }
        };
        part(0, 0, value);
        part(1, value, lost);
    }
    TVelaControl::Prepare();
}

// ---- The record ----

void TVelaGauge::SaveToStream(TStream& Stream) {
    TVelaControl::SaveToStream(Stream);
    WriteStreamString(Stream, Source);
    for (int32_t v : {Min, Max, Value, Alpha}) WriteStreamInt(Stream, v);
    WriteStreamByte(Stream, Paused);
    WriteStreamByte(Stream, Orientation);
    WriteStreamInt(Stream, Delay);
    WriteStreamInt(Stream, Duration);
    WriteStreamByte(Stream, Reverse);
    WriteStreamString(Stream, OnIdle);
    WriteStreamInt(Stream, BarSize);
}

void TVelaGauge::LoadFromStream(TStream& Stream, int32_t Version) {
    TVelaControl::LoadFromStream(Stream, Version);
    const std::string source = ReadStreamString(Stream);
    for (int32_t* v : {&Min, &Max, &Value, &Alpha}) *v = ReadStreamInt(Stream);
    Paused = ReadStreamByte(Stream) != 0;
    Orientation = ReadStreamByte(Stream);
    Delay = ReadStreamInt(Stream);
    Duration = ReadStreamInt(Stream);
    Reverse = ReadStreamByte(Stream) != 0;
    if (Version >= 125) OnIdle = ReadStreamString(Stream);
    const int32_t barSize = Version >= 128 ? ReadStreamInt(Stream) : BarSize;
    SetSource(source);
    SetBarsize(barSize);
    Finish();
}
