// The stretched draws of TCustomDIBX and the tilings made of them, written once over Lock so that
// every surface kind runs them.
//
// A stretched draw samples the nearest source pixel in 16.16 fixed point, steps truncated toward
// zero. Two samplings, by the destination's format:
// - 15/16 and 32 bits (the packed rules): centred stepping, half a step in from the first edge,
//   and rows whose sample falls outside the source rectangle are skipped;
// - 8 and 24 bits (the channel rules): edge stepping from the first edge, a sample that steps
//   past the source rectangle's far edge taken from the nearest pixel inside it.
// Either way each destination column's source column is worked out once per draw, at most 1280
// columns at a time, and only destination pixels whose samples lie inside the source (and mask)
// surface are drawn: samples move monotonically, so those pixels form one rectangle.
#include "graphics/dibx.h"
#include "graphics/dibx_pixel.h"
#include "graphics/dibx_rows.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

using namespace dibx;

// Trunc(V * 65536) (or its nearest value with Round), saturated to +-Limit.
int64_t Fixed(double V, int64_t Limit, bool Round = false) {
    const double f = Round ? std::nearbyint(V * 65536.0) : std::trunc(V * 65536.0);
    if (!(f > -double(Limit))) return -Limit;
    return f >= double(Limit) ? Limit : int64_t(f);
}

// Lo..Hi is the clipped source span, Given the caller's span (Given.first < Given.second).
TAxis MakeAxis(bool Centred, bool Mirror, int32_t Lo, int32_t Hi, double Frac, double Step,
               std::pair<int32_t, int32_t> Given) {
    // A step beyond 32768 source pixels per destination pixel leaves at most one sample inside
    // any surface; the limit keeps k * Step within 64 bits.
    const int64_t step = Fixed(Step, int64_t(1) << 31), frac = Fixed(Frac, 65536);
    TAxis a{0, step, std::nullopt};
    if (Centred) {
        a.Start = (Mirror ? int64_t(Hi) * 65536 - 1 - frac : int64_t(Lo) * 65536 + frac) + step / 2;
    } else {
        a.Start = Mirror ? (int64_t(Hi) - 1) * 65536 - frac : int64_t(Lo) * 65536 + frac;
        a.Clamp = {Given.first, Given.second - 1};
    }
    return a;
}

// The first k of 0..Count at which Holds(k) turns false; Holds is true on a prefix only.
template <class P>
int32_t PartitionPoint(int32_t Count, P Holds) {
    int32_t lo = 0, hi = Count;
    while (lo < hi) {
        const int32_t mid = lo + (hi - lo) / 2;
        if (Holds(mid)) lo = mid + 1;
        else hi = mid;
    }
    return lo;
}

// The destination indices [first, last) of 0..Count whose samples lie in [Lo, Hi).
std::pair<int32_t, int32_t> InsideRange(const TAxis& A, int32_t Count, int32_t Lo, int32_t Hi) {
    const bool down = A.Step < 0;
    const int32_t first = PartitionPoint(Count, [&](int32_t k) {
        const int64_t s = A.Sample(k);
        return down ? s >= Hi : s < Lo;
    });
    const int32_t inside = PartitionPoint(Count, [&](int32_t k) {
        const int64_t s = A.Sample(k);
        return down ? s >= Lo : s < Hi;
    });
    return {first, std::max(first, inside)};
}

}  // namespace

bool dibx::PlanStretch(const TCustomDIBX& D, const TRect& DestRect, const TCustomDIBX& S, const TRect& SrcRect,
                       bool MirrorX, bool MirrorY, const TCustomDIBX* Mask, bool Centred, TStretch& P) {
    if ((Mask && Mask->GetBitCount() != 8) || RectIsEmpty(SrcRect)) return false;
    TRect dest = DestRect, src = SrcRect;
    double stepX, stepY, fracX, fracY;
    if (!D.ClipStretchRect(dest, src, MirrorX, MirrorY, stepX, stepY, fracX, fracY)) return false;
    TRect readable = IntersectRects(SrcRect, S.GetBoundsRect());
    if (Mask) readable = IntersectRects(readable, Mask->GetBoundsRect());
    if (RectIsEmpty(readable)) return false;
    P.X = MakeAxis(Centred, MirrorX, src.Left, src.Right, fracX, stepX, {SrcRect.Left, SrcRect.Right});
    P.Y = MakeAxis(Centred, MirrorY, src.Top, src.Bottom, fracY, stepY, {SrcRect.Top, SrcRect.Bottom});
    const auto [c0, c1] = InsideRange(P.X, dest.Right - dest.Left, readable.Left, readable.Right);
    const auto [r0, r1] = InsideRange(P.Y, dest.Bottom - dest.Top, readable.Top, readable.Bottom);
    if (c0 == c1 || r0 == r1) return false;
    P.Dest = {dest.Left + c0, dest.Top + r0, dest.Left + c1, dest.Top + r1};
    P.Col0 = c0;
    P.Row0 = r0;
    return true;
}

namespace {

// Runs the draw planned in P with the pixel rule of kind K.
template <TKind K, bool Masked>
void RunStretch(TCustomDIBX& D, TCustomDIBX& S, TCustomDIBX* Mask, const TStretch& P, const TWeights& W) {
    WalkStretch(D, S, Masked ? Mask : nullptr, P,
                [&](const auto& Ch, auto Bytes, uint8_t* Dst, const uint8_t* Src, const uint8_t* M, const int32_t* Cols,
                    int32_t Count) { SampledRow<K, Masked, decltype(Bytes)::value>(Ch, W, Dst, Src, M, Cols, Count); });
}

// Plans and runs one stretched draw; the packed formats sample centred.
template <TKind K, bool Masked>
void Stretch(TCustomDIBX& D, const TRect& DestRect, TCustomDIBX& S, const TRect& SrcRect, bool MirrorX, bool MirrorY,
             TCustomDIBX* Mask, const TWeights& W) {
    const int bits = D.GetBitCount();
    TStretch p;
    if (S.BytesPerPixel() == D.BytesPerPixel() &&
        PlanStretch(D, DestRect, S, SrcRect, MirrorX, MirrorY, Mask, bits == 15 || bits == 16 || bits == 32, p))
        RunStretch<K, Masked>(D, S, Mask, p, W);
}

}  // namespace

void TCustomDIBX::StretchDraw(const TRect& DestRect, TCustomDIBX& Source, const TRect& SrcRect, bool Transparent,
                              bool MirrorX, bool MirrorY, int32_t Alpha) {
    if (Alpha <= 0) return;
    const TWeights w{Transparent, uint32_t(Source.TransparentColor), ClampWeight(Alpha, 255)};
    if (w.Weight == 255)
        Stretch<TKind::Copy, false>(*this, DestRect, Source, SrcRect, MirrorX, MirrorY, nullptr, w);
    else
        Stretch<TKind::Blend, false>(*this, DestRect, Source, SrcRect, MirrorX, MirrorY, nullptr, w);
}

void TCustomDIBX::StretchDrawMask(const TRect& DestRect, TCustomDIBX& Source, const TRect& SrcRect, bool MirrorX,
                                  bool MirrorY, TCustomDIBX& Mask, int32_t Alpha) {
    if (Alpha <= 0) return;
    Stretch<TKind::Blend, true>(*this, DestRect, Source, SrcRect, MirrorX, MirrorY, &Mask,
                                {false, 0, ClampWeight(Alpha, 255)});
}

void TCustomDIBX::StretchDrawAdd(const TRect& DestRect, TCustomDIBX& Source, const TRect& SrcRect, bool Transparent,
                                 bool MirrorX, bool MirrorY, int32_t Intensity) {
    if (Intensity <= 0) return;
    Stretch<TKind::Add, false>(*this, DestRect, Source, SrcRect, MirrorX, MirrorY, nullptr,
                               {Transparent, uint32_t(Source.TransparentColor), ClampWeight(Intensity, 256)});
}

void TCustomDIBX::StretchDrawAddMask(const TRect& DestRect, TCustomDIBX& Source, const TRect& SrcRect, bool MirrorX,
                                     bool MirrorY, TCustomDIBX& Mask, int32_t Intensity) {
    if (Intensity <= 0) return;
    Stretch<TKind::Add, true>(*this, DestRect, Source, SrcRect, MirrorX, MirrorY, &Mask,
                              {false, 0, ClampWeight(Intensity, 256)});
}

// ---- Stretched tilings ----

namespace {

// Positions and steps of tiles in 16.16 stay within 2^60, so sums of a few never overflow.
constexpr int64_t kTileLimit = int64_t(1) << 60;
// Tile sizes stay within 2^30 pixels, so a tile's right and bottom edges fit 32 bits.
constexpr double kMaxTile = double(1 << 30);

int64_t FloorDiv(int64_t A, int64_t B) { return A / B - (A % B != 0 && (A < 0) != (B < 0)); }

// One axis of a tiling: tile k starts at (Start + k * Step) div 65536 and is Size pixels long.
struct TTileAxis {
    int64_t Start, Step;
    int32_t Size;

    // The tiles that can reach [Lo, Hi): from the first whose end passes Lo while the start is below Hi.
    template <class F>
    void Each(int32_t Lo, int32_t Hi, F&& Tile) const {
        const int64_t k = std::max<int64_t>(0, FloorDiv((int64_t(Lo) - Size - 1) * 65536 - Start, Step) + 1);
        for (int64_t p = Start + k * Step; p < int64_t(Hi) * 65536; p += Step) Tile(int32_t(p / 65536));
    }
};

// The axis of tiles of Extent source pixels scaled by Scale, every Period source pixels, over
// [Edge, ...) scrolled by Origin; Whole: the scroll taken in whole pixels of the period.
std::optional<TTileAxis> TileAxis(int32_t Edge, int32_t Extent, int32_t Period, double Scale, int32_t Origin,
                                  bool Whole) {
    const double p = double(Period) * Scale;
    if (!(Scale > 0) || !std::isfinite(Scale) || !(p > 0) || !std::isfinite(p)) return std::nullopt;
    TTileAxis a;
    a.Step = std::max<int64_t>(65536, Fixed(p, kTileLimit, true));
    a.Size = int32_t(std::clamp(std::trunc(double(Extent) * Scale), 1.0, kMaxTile));
    if (Whole) {
        // A whole period beyond 2^32 pixels passes any scroll offset unchanged.
        const int64_t q = int64_t(std::min(p, 4294967296.0));
        if (q < 1) return std::nullopt;
        a.Start = (int64_t(Edge) - (Origin < 0 ? q : 0) - Origin % q) * 65536;
    } else {
        const double r = double(Origin) / p;
        const double f = (r - std::trunc(r)) * p + (Origin < 0 ? p : 0);
        a.Start = int64_t(Edge) * 65536 - Fixed(f, kTileLimit, true);
    }
    return a;
}

// Runs Draw(tile rectangle, blend kind is additive, weight) for every tile of a stretched
// tiling that can reach the clip rectangle, with the clip rectangle cut to Rect meanwhile.
template <class F>
void EachStretchTile(TCustomDIBX& D, const TRect& Rect, int32_t PeriodX, int32_t PeriodY, double ScaleX, double ScaleY,
                     const TRect& SrcRect, int32_t Blend, int32_t OriginX, int32_t OriginY, bool Whole, F&& Draw) {
    if (Blend <= 0 || Blend == 256 || RectIsEmpty(SrcRect)) return;
    const TRect inside = IntersectRects(IntersectRects(D.GetClipRect(), D.GetBoundsRect()), Rect);
    if (RectIsEmpty(inside)) return;
    const auto x = TileAxis(Rect.Left, SrcRect.Right - SrcRect.Left, PeriodX, ScaleX, OriginX, Whole);
    const auto y = TileAxis(Rect.Top, SrcRect.Bottom - SrcRect.Top, PeriodY, ScaleY, OriginY, Whole);
    if (!x || !y) return;
    const bool add = Blend > 256;
    const int32_t weight = add ? std::min(Blend - 256, 255) : Blend;
    TClipGuard clip(D, inside);
    y->Each(inside.Top, inside.Bottom, [&](int32_t Top) {
        x->Each(inside.Left, inside.Right,
                [&](int32_t Left) { Draw(Bounds(Left, Top, x->Size, y->Size), add, weight); });
    });
}

}  // namespace

void TCustomDIBX::StretchDrawTile(const TRect& Rect, int32_t PeriodX, int32_t PeriodY, double ScaleX, double ScaleY,
                                  TCustomDIBX& Source, const TRect& SrcRect, bool Transparent, bool MirrorX,
                                  bool MirrorY, int32_t Blend, int32_t OriginX, int32_t OriginY) {
    EachStretchTile(*this, Rect, PeriodX, PeriodY, ScaleX, ScaleY, SrcRect, Blend, OriginX, OriginY, false,
                    [&](const TRect& Tile, bool Add, int32_t Weight) {
                        if (Add)
                            StretchDrawAdd(Tile, Source, SrcRect, Transparent, MirrorX, MirrorY, Weight);
                        else
                            StretchDraw(Tile, Source, SrcRect, Transparent, MirrorX, MirrorY, Weight);
                    });
}

void TCustomDIBX::StretchDrawTileMask(const TRect& Rect, int32_t PeriodX, int32_t PeriodY, double ScaleX, double ScaleY,
                                      TCustomDIBX& Source, const TRect& SrcRect, TCustomDIBX& Mask, bool MirrorX,
                                      bool MirrorY, int32_t Blend, int32_t OriginX, int32_t OriginY) {
    EachStretchTile(*this, Rect, PeriodX, PeriodY, ScaleX, ScaleY, SrcRect, Blend, OriginX, OriginY, true,
                    [&](const TRect& Tile, bool Add, int32_t Weight) {
                        if (Add)
                            StretchDrawAddMask(Tile, Source, SrcRect, MirrorX, MirrorY, Mask, Weight);
                        else
                            StretchDrawMask(Tile, Source, SrcRect, MirrorX, MirrorY, Mask, Weight);
                    });
}
