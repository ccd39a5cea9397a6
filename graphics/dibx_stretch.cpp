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

#include <emmintrin.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <ranges>

namespace {

using namespace dibx;

constexpr int32_t kMaxColumns = 1280;

// Trunc(V * 65536) (or its nearest value with Round), saturated to +-Limit.
int64_t Fixed(double V, int64_t Limit, bool Round = false) {
    const double f = Round ? std::nearbyint(V * 65536.0) : std::trunc(V * 65536.0);
    if (!(f > -double(Limit))) return -Limit;
    return f >= double(Limit) ? Limit : int64_t(f);
}

// One axis of a stretched draw: destination index k samples source index Sample(k). Positions
// below 0 (a source rectangle reaching past the surface) round down, so that they fall outside
// rather than onto pixel 0; at and above 0 this is the truncation toward zero of the steps.
struct TAxis {
    int64_t Start, Step;
    std::optional<std::pair<int32_t, int32_t>> Clamp;  // [first, last] sample kept in

    int64_t Sample(int64_t K) const {
        const int64_t s = (Start + K * Step) >> 16;
        return Clamp ? std::clamp<int64_t>(s, Clamp->first, Clamp->second) : s;
    }
};

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

// The destination indices [first, last) of 0..Count whose samples lie in [Lo, Hi).
std::pair<int32_t, int32_t> InsideRange(const TAxis& A, int32_t Count, int32_t Lo, int32_t Hi) {
    const auto ks = std::views::iota(int32_t(0), Count);
    const bool down = A.Step < 0;
    const auto before = std::ranges::partition_point(ks, [&](int32_t k) {
        const int64_t s = A.Sample(k);
        return down ? s >= Hi : s < Lo;
    });
    const auto inside = std::ranges::partition_point(ks, [&](int32_t k) {
        const int64_t s = A.Sample(k);
        return down ? s >= Lo : s < Hi;
    });
    const int32_t first = int32_t(before - ks.begin());
    return {first, std::max(first, int32_t(inside - ks.begin()))};
}

// A clipped stretched draw: Dest holds the destination pixels drawn; destination column
// Dest.Left + i samples source column X.Sample(i + Col0), and rows alike.
struct TStretch {
    TRect Dest;
    TAxis X, Y;
    int32_t Col0, Row0;
};

bool PlanStretch(const TCustomDIBX& D, const TRect& DestRect, const TCustomDIBX& S, const TRect& SrcRect, bool MirrorX,
                 bool MirrorY, const TCustomDIBX* Mask, bool Centred, TStretch& P) {
    if (Mask && Mask->GetBitCount() != 8) return false;
    if (S.BytesPerPixel() != D.BytesPerPixel() || RectIsEmpty(SrcRect)) return false;
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

enum class TKind { Copy, Blend, Add };

// What one draw does to each pixel besides its kind: the colour key (unmasked draws) and the
// weight (alpha 1..255 or intensity 1..256).
struct TWeights {
    bool Keyed;
    uint32_t Key, Weight;
};

// The rule for one pixel: D the destination value, S the sampled source value, M its mask value
// (masked draws). False leaves the pixel. Unmasked draws skip the colour key when keyed. The
// packed rules (15/16 and 32 bits) leave a pixel equal to the source when blending by one alpha
// (at 15/16 bits also through a mask below full alpha), copy through a mask of 255 at full alpha,
// and at 32 bits weight a mask of 255 by the whole alpha or intensity; the channel rules (8 and
// 24 bits) weight every mask value m by m * weight div 256. A masked draw at alpha 255 and above
// is a masked Blend at 255.
template <TKind K, bool Masked, int N, class Ch>
bool StretchPixel(const Ch& C, const TWeights& W, uint32_t& D, uint32_t S, uint32_t M) {
    constexpr bool packed = kPacked<N>;
    if constexpr (Masked) {
        if (M == 0) return false;
    } else if (W.Keyed && S == W.Key) {
        return false;
    }
    if constexpr (K == TKind::Copy) {
        D = S;
    } else if constexpr (K == TKind::Add) {
        D = C.Add(D, S, Masked && !(N == 4 && M == 255) ? M * W.Weight / 256 : W.Weight);
    } else if constexpr (!Masked) {
        if (packed && D == S) return false;
        D = C.Blend(D, S, W.Weight);
    } else if (packed && W.Weight == 255) {
        D = M == 255 ? S : C.Blend(D, S, M);
    } else {
        if (N == 2 && D == S) return false;
        D = C.Blend(D, S, N == 4 && M == 255 ? W.Weight : M * W.Weight / 256);
    }
    return true;
}

// The four 32-bit pixels of a row at columns C[0..3].
__m128i Gather4(const uint8_t* Row, const int32_t* C) {
    return _mm_setr_epi32(int(Load<4>(Row + ptrdiff_t(C[0]) * 4)), int(Load<4>(Row + ptrdiff_t(C[1]) * 4)),
                          int(Load<4>(Row + ptrdiff_t(C[2]) * 4)), int(Load<4>(Row + ptrdiff_t(C[3]) * 4)));
}

// Count 32-bit pixels Dst[i] := Src at column Cols[i], stored four at a time (a quarter of the
// stores: a row written to memory outside the cache keeps fewer stores waiting).
void CopyRow32(uint8_t* Dst, const uint8_t* Src, const int32_t* Cols, int32_t Count) {
    int32_t i = 0;
    for (; i + 4 <= Count; i += 4)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(Dst + ptrdiff_t(i) * 4), Gather4(Src, Cols + i));
    for (; i < Count; ++i) Store<4>(Dst + ptrdiff_t(i) * 4, Load<4>(Src + ptrdiff_t(Cols[i]) * 4));
}

// Count pixels of a 32-bit blend or add (StretchPixel<K, Masked, 4>): Dst[i] from Src and Mask
// at column Cols[i]. Four pixels a step in SSE2 16-bit lanes, where every product d * (255 - w)
// + s * w, s * w and m * w fits 16 bits, so the lanes give the one-pixel rule's values exactly;
// that rule finishes the row.
template <TKind K, bool Masked>
void StretchRow32(uint8_t* Dst, const uint8_t* Src, const uint8_t* Mask, const int32_t* Cols, int32_t Count,
                  const TWeights& W) {
    static_assert(K != TKind::Copy);
    const __m128i zero = _mm_setzero_si128(), ones = _mm_set1_epi32(-1), c255 = _mm_set1_epi16(255);
    const __m128i weight = _mm_set1_epi16(int16_t(W.Weight)), key = _mm_set1_epi32(int(W.Key));
    const __m128i keyed = W.Keyed ? ones : zero;
    // A masked blend at full alpha weights by the mask value itself and copies through 255.
    const __m128i full = K == TKind::Blend && Masked && W.Weight == 255 ? ones : zero;
    int32_t i = 0;
    for (; i + 4 <= Count; i += 4) {
        const int32_t* c = Cols + i;
        uint8_t* dp = Dst + ptrdiff_t(i) * 4;
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dp));
        const __m128i s = Gather4(Src, c);
        // Weights of the four pixels in 16-bit lanes, the pixels left alone and those copied.
        __m128i w = weight, keep, copy = zero;
        if constexpr (Masked) {
            const uint32_t m4 = uint32_t(Mask[c[0]]) | uint32_t(Mask[c[1]]) << 8 | uint32_t(Mask[c[2]]) << 16 |
                                uint32_t(Mask[c[3]]) << 24;
            if (m4 == 0) continue;
            const __m128i m = _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(m4)), zero);
            const __m128i is255 = _mm_cmpeq_epi16(m, c255);
            const __m128i scaled = _mm_or_si128(_mm_and_si128(is255, weight),
                                                _mm_andnot_si128(is255, _mm_srli_epi16(_mm_mullo_epi16(m, weight), 8)));
            w = _mm_or_si128(_mm_and_si128(full, m), _mm_andnot_si128(full, scaled));
            const __m128i m32 = _mm_unpacklo_epi16(m, zero);
            keep = _mm_cmpeq_epi32(m32, zero);
            copy = _mm_and_si128(full, _mm_cmpeq_epi32(m32, _mm_set1_epi32(255)));
        } else {
            keep = _mm_and_si128(keyed, _mm_cmpeq_epi32(s, key));
            if constexpr (K == TKind::Blend) keep = _mm_or_si128(keep, _mm_cmpeq_epi32(d, s));
        }
        const __m128i w2 = _mm_unpacklo_epi16(w, w), wlo = _mm_unpacklo_epi32(w2, w2), whi = _mm_unpackhi_epi32(w2, w2);
        const __m128i dlo = _mm_unpacklo_epi8(d, zero), dhi = _mm_unpackhi_epi8(d, zero);
        const __m128i slo = _mm_unpacklo_epi8(s, zero), shi = _mm_unpackhi_epi8(s, zero);
        __m128i r;
        if constexpr (K == TKind::Blend) {
            auto half = [&](__m128i dd, __m128i ss, __m128i ww) {
                return _mm_srli_epi16(
                    _mm_add_epi16(_mm_mullo_epi16(dd, _mm_sub_epi16(c255, ww)), _mm_mullo_epi16(ss, ww)), 8);
            };
            r = _mm_packus_epi16(half(dlo, slo, wlo), half(dhi, shi, whi));
        } else {
            r = _mm_adds_epu8(d, _mm_packus_epi16(_mm_srli_epi16(_mm_mullo_epi16(slo, wlo), 8),
                                                  _mm_srli_epi16(_mm_mullo_epi16(shi, whi), 8)));
        }
        r = _mm_or_si128(_mm_and_si128(copy, s), _mm_andnot_si128(copy, r));
        r = _mm_or_si128(_mm_and_si128(keep, d), _mm_andnot_si128(keep, r));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dp), r);
    }
    for (; i < Count; ++i) {
        uint32_t d = Load<4>(Dst + ptrdiff_t(i) * 4);
        if (StretchPixel<K, Masked, 4>(TByteChannels{}, W, d, Load<4>(Src + ptrdiff_t(Cols[i]) * 4),
                                       Masked ? Mask[Cols[i]] : 255))
            Store<4>(Dst + ptrdiff_t(i) * 4, d);
    }
}

// Runs the draw planned in P with the pixel rule of kind K.
template <TKind K, bool Masked>
void RunStretch(TCustomDIBX& D, TCustomDIBX& S, TCustomDIBX* Mask, const TStretch& P, const TWeights& W) {
    WithFormat(D, [&](auto Ch, auto Bytes) {
        constexpr int N = decltype(Bytes)::value;
        TLockGuard dl(D, P.Dest.Left, P.Dest.Top);
        if (!dl.Get()) return;
        TLockGuard sl(S, 0, 0);
        if (!sl.Get()) return;
        std::optional<TLockGuard> ml;
        if constexpr (Masked) {
            ml.emplace(*Mask, 0, 0);
            if (!ml->Get()) return;
        }
        const ptrdiff_t dstep = D.GetNextLine(), sstep = S.GetNextLine(), mstep = Masked ? Mask->GetNextLine() : 0;
        const int32_t width = P.Dest.Right - P.Dest.Left, height = P.Dest.Bottom - P.Dest.Top;
        std::array<int32_t, kMaxColumns> cols;
        for (int32_t piece = 0; piece < width; piece += kMaxColumns) {
            const int32_t n = std::min(kMaxColumns, width - piece);
            for (int32_t i = 0; i < n; ++i) cols[size_t(i)] = int32_t(P.X.Sample(int64_t(P.Col0) + piece + i));
            uint8_t* drow = dl.Get() + ptrdiff_t(piece) * N;
            for (int32_t j = 0; j < height; ++j, drow += dstep) {
                const ptrdiff_t sy = ptrdiff_t(P.Y.Sample(int64_t(P.Row0) + j));
                const uint8_t* srow = sl.Get() + sy * sstep;
                const uint8_t* mrow = Masked ? ml->Get() + sy * mstep : nullptr;
                if constexpr (K != TKind::Copy && N == 4) {
                    StretchRow32<K, Masked>(drow, srow, mrow, cols.data(), n, W);
                    continue;
                }
                if (K == TKind::Copy && !Masked && !W.Keyed) {
                    if constexpr (N == 4) {
                        CopyRow32(drow, srow, cols.data(), n);
                        continue;
                    }
                    for (int32_t i = 0; i < n; ++i)
                        Store<N>(drow + ptrdiff_t(i) * N, Load<N>(srow + ptrdiff_t(cols[size_t(i)]) * N));
                    continue;
                }
                for (int32_t i = 0; i < n; ++i) {
                    const ptrdiff_t c = cols[size_t(i)];
                    uint32_t d = Load<N>(drow + ptrdiff_t(i) * N);
                    if (StretchPixel<K, Masked, N>(Ch, W, d, Load<N>(srow + c * N), Masked ? mrow[c] : 255))
                        Store<N>(drow + ptrdiff_t(i) * N, d);
                }
            }
        }
    });
}

// Plans and runs one stretched draw; the packed formats sample centred.
template <TKind K, bool Masked>
void Stretch(TCustomDIBX& D, const TRect& DestRect, TCustomDIBX& S, const TRect& SrcRect, bool MirrorX, bool MirrorY,
             TCustomDIBX* Mask, const TWeights& W) {
    const int bits = D.GetBitCount();
    TStretch p;
    if (PlanStretch(D, DestRect, S, SrcRect, MirrorX, MirrorY, Mask, bits == 15 || bits == 16 || bits == 32, p))
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

// Sets a surface's clip rectangle for the life of the guard and puts the old one back.
class TClipGuard {
public:
    TClipGuard(TCustomDIBX& S, const TRect& R) : s_(S), saved_(S.ClipRect) { S.SetClipRectDirect(R); }
    ~TClipGuard() { s_.SetClipRectDirect(saved_); }
    TClipGuard(const TClipGuard&) = delete;
    TClipGuard& operator=(const TClipGuard&) = delete;

private:
    TCustomDIBX& s_;
    TRect saved_;
};

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
