#include "text/wipes_effects.h"

#include "graphics/dibx.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <numbers>

namespace {

// Rounded half to even and held to the int32 range (parameters come from scripts).
int32_t Nearest(double V) { return int32_t(std::clamp(std::nearbyint(V), double(INT32_MIN), double(INT32_MAX))); }

int32_t Grey(const TCustomDIBX& Dest, int32_t N) { return Dest.ColorToPixel(N * 0x010101); }

// A rectangle along one axis: horizontally Pos .. Pos + Len across the full height Across,
// vertically the same over rows.
TRect Span(bool Vertical, int32_t Pos, int32_t Len, int32_t Across) {
    return Vertical ? Bounds(0, Pos, Across, Len) : Bounds(Pos, 0, Len, Across);
}

void DrawAt(TCustomDIBX& Dest, bool Vertical, int32_t Pos, TCustomDIBX& Source, const TRect& SrcRect) {
    Dest.Draw(Vertical ? 0 : Pos, Vertical ? Pos : 0, Source, SrcRect, false, false, false);
}

void DrawWhole(TCustomDIBX& Dest, int32_t X, int32_t Y, TCustomDIBX& Source) {
    Dest.Draw(X, Y, Source, Source.GetBoundsRect(), false, false, false);
}

void StretchCopy(TCustomDIBX& Dest, const TRect& DestRect, TCustomDIBX& Source, const TRect& SrcRect) {
    Dest.StretchDraw(DestRect, Source, SrcRect, false, false, false, 255);
}

// The old picture brightening (Add) or darkening to grey 255 over the first half, the new one
// coming back over the second.
void StepFadeThrough(TCustomWipe& Wipe, bool Add) {
    TCustomDIBX& dest = *Wipe.Dest;
    const int32_t v = Wipe.Elapsed * 511 / Wipe.Length;
    dest.Assign(v >= 256 ? *Wipe.NewPicture : *Wipe.OldPicture);
    const int32_t grey = Grey(dest, v >= 256 ? 511 - v : v);
    Add ? dest.FillRectAdd(dest.GetBoundsRect(), grey) : dest.FillRectSub(dest.GetBoundsRect(), grey);
}

void StepScroll(TCustomWipe& Wipe, bool Vertical) {
    TCustomDIBX& dest = *Wipe.Dest;
    const int32_t size = Vertical ? dest.GetHeight() : dest.GetWidth();
    const int32_t d = size * Wipe.Elapsed / Wipe.Length;
    const int32_t oldAt = Wipe.Reverse ? d : -d, newAt = Wipe.Reverse ? d - size : size - d;
    DrawWhole(dest, Vertical ? 0 : oldAt, Vertical ? oldAt : 0, *Wipe.OldPicture);
    DrawWhole(dest, Vertical ? 0 : newAt, Vertical ? newAt : 0, *Wipe.NewPicture);
}

// The smear of the blind and rubber transitions along one axis of Size pixels: the position p
// runs 0 .. 2 Size - 1, over the first half on the old picture, then back on the new one. The
// strip of Strip(p) pixels from the smear's edge is stretched over the p + 1 pixels at that
// edge and the rest of the picture is drawn unchanged beside it.
template <class StripFn>
void StepSmear(TCustomWipe& Wipe, bool Vertical, StripFn&& Strip) {
    TCustomDIBX& dest = *Wipe.Dest;
    const int32_t size = Vertical ? dest.GetHeight() : dest.GetWidth();
    const int32_t across = Vertical ? dest.GetWidth() : dest.GetHeight();
    int32_t p = (2 * size - 1) * Wipe.Elapsed / Wipe.Length;
    TCustomDIBX* source = Wipe.OldPicture;
    if (p >= size) p = 2 * size - 1 - p, source = Wipe.NewPicture;
    const auto [stripStart, stripLen] = Strip(p, size);
    const int32_t rest = size - p - 1;
    if (!Wipe.Reverse) {
        StretchCopy(dest, Span(Vertical, 0, p + 1, across), *source, Span(Vertical, stripStart, stripLen, across));
        if (rest > 0) DrawAt(dest, Vertical, p + 1, *source, Span(Vertical, p + 1, rest, across));
    } else {
        StretchCopy(dest, Span(Vertical, rest, p + 1, across), *source, Span(Vertical, stripStart, stripLen, across));
        if (rest > 0) DrawAt(dest, Vertical, 0, *source, Span(Vertical, 0, rest, across));
    }
}

void StepSudare(TCustomWipe& Wipe, bool Vertical) {
    StepSmear(Wipe, Vertical, [&](int32_t P, int32_t Size) { return std::pair{Wipe.Reverse ? Size - 1 - P : P, 1}; });
}

void StepRubber(TCustomWipe& Wipe, bool Vertical) {
    StepSmear(Wipe, Vertical, [&](int32_t P, int32_t Size) {
        const double half = Wipe.Length / 2.0, away = std::abs(Wipe.Elapsed - half);
        if (!Wipe.Reverse) {
            const int32_t width = std::max(1, Nearest(away * (P / 2.0) / half));
            return std::pair{std::max(0, P - width), width};
        }
        return std::pair{Size - 1 - P, std::max(1, Nearest(away * ((P + 1) / 2.0) / half))};
    });
}

// The angle of slat I of Count at the elapsed time: each slat turns over 2/3 of the time, the
// last one starting at one third.
double SlatAngle(const TCustomWipe& Wipe, int32_t I, int32_t Count) {
    const double base = Wipe.Elapsed * 3 * std::numbers::pi / 2 / Wipe.Length;
    return base - double(I) / Count * std::numbers::pi / 2;
}

// The common frame of these transitions: finished, or the whole of Dest made drawable and the
// frame drawn.
template <class DrawFn>
bool Framed(bool Finished, TCustomDIBX& Dest, DrawFn&& Draw) {
    if (Finished) return true;
    Dest.UnionClipRect(Dest.GetBoundsRect());
    Draw();
    return false;
}

}  // namespace

bool TWipeFade::Step() {
    return Framed(StepFinished(), *Dest, [&] {
        const double f = double(Length - 1 - Elapsed) / Length;
        Dest->Assign(*OldPicture);
        Dest->DrawAlpha(Nearest(Param[0] * f), Nearest(Param[1] * f), *NewPicture, NewPicture->GetBoundsRect(), false,
                        false, false, Elapsed * 256 / Length);
    });
}

bool TWipeWhite::Step() {
    return Framed(StepFinished(), *Dest, [&] { StepFadeThrough(*this, true); });
}

bool TWipeBlack::Step() {
    return Framed(StepFinished(), *Dest, [&] { StepFadeThrough(*this, false); });
}

bool TWipeFlash::Step() {
    return Framed(StepFinished(), *Dest, [&] {
        Dest->Assign(*NewPicture);
        Dest->FillRectAdd(Dest->GetBoundsRect(), Grey(*Dest, 255 - Elapsed * 255 / Length));
    });
}

bool TWipeScrollH::Step() {
    return Framed(StepFinished(), *Dest, [&] { StepScroll(*this, false); });
}

bool TWipeScrollV::Step() {
    return Framed(StepFinished(), *Dest, [&] { StepScroll(*this, true); });
}

bool TWipeSudareH::Step() {
    return Framed(StepFinished(), *Dest, [&] { StepSudare(*this, false); });
}

bool TWipeSudareV::Step() {
    return Framed(StepFinished(), *Dest, [&] { StepSudare(*this, true); });
}

bool TWipeRubberH::Step() {
    return Framed(StepFinished(), *Dest, [&] { StepRubber(*this, false); });
}

bool TWipeRubberV::Step() {
    return Framed(StepFinished(), *Dest, [&] { StepRubber(*this, true); });
}

bool TWipeTwistH::Step() {
    return Framed(StepFinished(), *Dest, [&] {
        const int32_t w = Dest->GetWidth(), h = Dest->GetHeight();
        int32_t finished = -1;
        for (int32_t i = 0; i < h; ++i) {
            const int32_t y = Reverse ? h - 1 - i : i;
            const double angle = SlatAngle(*this, i, h);
            if (angle < 0) continue;
            if (angle > std::numbers::pi) {
                finished = y;
                continue;
            }
            Dest->FillRect(Bounds(0, y, w, 1), 0);
            const int32_t width = Nearest(std::cos(angle) * w);
            if (width > 0) StretchCopy(*Dest, Bounds((w - width) / 2, y, width, 1), *OldPicture, Bounds(0, y, w, 1));
            if (width < 0) StretchCopy(*Dest, Bounds((w + width) / 2, y, -width, 1), *NewPicture, Bounds(0, y, w, 1));
        }
        if (finished >= 0) {
            if (!Reverse)
                Dest->Draw(0, 0, *NewPicture, Bounds(0, 0, w, finished + 1), false, false, false);
            else
                Dest->Draw(0, finished, *NewPicture, Bounds(0, finished, w, h - finished), false, false, false);
        }
    });
}

bool TWipeTwistV::Step() {
    return Framed(StepFinished(), *Dest, [&] {
        const int32_t w = Dest->GetWidth(), h = Dest->GetHeight();
        // The run being gathered: columns RunX .. RunX + RunCount - 1, all of height RunH.
        int32_t runX = 0, runCount = 0, runH = 0, finished = -1;
        auto flush = [&] {
            if (runCount == 0) return;
            const int32_t m = (h - std::abs(runH)) / 2;
            if (m > 0) {
                Dest->FillRect(Bounds(runX, 0, runCount, m), 0);
                Dest->FillRect(Bounds(runX, m + std::abs(runH), runCount, m), 0);
            }
            if (runH > 0)
                StretchCopy(*Dest, Bounds(runX, m, runCount, runH), *OldPicture, Bounds(runX, 0, runCount, h));
            if (runH < 0)
                StretchCopy(*Dest, Bounds(runX, m, runCount, -runH), *NewPicture, Bounds(runX, 0, runCount, h));
            runCount = 0;
        };
        for (int32_t i = 0; i < w; ++i) {
            const int32_t x = Reverse ? w - 1 - i : i;
            const double angle = SlatAngle(*this, i, w);
            if (angle < 0 || angle > std::numbers::pi) {
                if (angle > std::numbers::pi) finished = x;
                flush();
                continue;
            }
            const int32_t height = Nearest(std::cos(angle) * h);
            if (runCount > 0 && height != runH) flush();
            if (runCount == 0) runX = x, runH = height;
            // The run grows away from the first column: rightwards, or leftwards when reversed.
            if (Reverse) runX = x;
            ++runCount;
        }
        flush();
        if (finished >= 0) {
            if (!Reverse)
                Dest->Draw(0, 0, *NewPicture, Bounds(0, 0, finished + 1, h), false, false, false);
            else
                Dest->Draw(finished, 0, *NewPicture, Bounds(finished, 0, w - finished, h), false, false, false);
        }
    });
}

bool TWipeZoomin::Step() {
    return Framed(StepFinished(), *Dest, [&] {
        const int32_t w = Dest->GetWidth(), h = Dest->GetHeight();
        const double s = 2.0 * Elapsed / Length;
        TCustomDIBX& source = s < 1 ? *OldPicture : *NewPicture;
        const double zoom = s < 1 ? 1 - s : s - 1, k = s < 1 ? s : 2 - s;
        // The source window of one axis: its size and its start, kept inside the picture.
        auto window = [&](int32_t Point, int32_t Size, int32_t& Start) {
            const int32_t len = std::max(1, Nearest(Size * zoom));
            int64_t start = int64_t(Nearest((Point - Size / 2.0) * k)) + Size / 2 - len / 2;
            if (start < 0) start = 0;
            if (start + len > Size) start = Size - len;
            Start = int32_t(start);
            return len;
        };
        int32_t sx, sy;
        const int32_t sw = window(Param[0], w, sx), sh = window(Param[1], h, sy);
        StretchCopy(*Dest, Dest->GetBoundsRect(), source, Bounds(sx, sy, sw, sh));
    });
}

TWipeMosaic::TWipeMosaic(TCustomDIBX& ADest, TCustomDIBX& AOldPicture, TCustomDIBX& ANewPicture)
    : TCustomWipe(ADest, AOldPicture, ANewPicture), WorkSurface(std::make_unique<TDIBX>()) {
    WorkSurface->SetSize(ADest.GetWidth(), ADest.GetHeight(), ADest.GetBitCount());
}

TWipeMosaic::~TWipeMosaic() = default;

bool TWipeMosaic::Step() {
    return Framed(StepFinished(), *Dest, [&] {
        const int32_t v = Elapsed * 1023 / Length;
        const int32_t q = v < 512 ? 263 - (v / 2) * 15 / 16 : ((v - 512) / 2) * 15 / 16 + 24;
        const TRect shrunk =
            Bounds(0, 0, std::max(1, (Dest->GetWidth() / 4) * q / 256), std::max(1, (Dest->GetHeight() / 4) * q / 256));
        auto shrink = [&](TCustomDIBX& Picture, int32_t Blend) {
            WorkSurface->StretchDraw(shrunk, Picture, Picture.GetBoundsRect(), false, false, false, Blend);
        };
        if (v < 768) shrink(*OldPicture, 255);
        if (v >= 256 && v < 512) shrink(*NewPicture, (v - 256) / 4);
        if (v >= 512) shrink(*NewPicture, v < 768 ? (v - 256) / 2 : 255);
        StretchCopy(*Dest, Dest->GetBoundsRect(), *WorkSurface, shrunk);
    });
}
