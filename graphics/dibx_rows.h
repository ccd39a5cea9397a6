#pragma once
// Rows of the draws that sample their source through a column table (stretched and wrapped
// draws): the rule for one sampled pixel, the plan of a stretched draw and the walk over its rows,
// and the row that applies the rule, in SSE2 four pixels a step on 32 bits.
#include "graphics/dibx_pixel.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <utility>

namespace dibx {

// Destination columns of one column table: wider draws go in pieces of this many.
constexpr int32_t kMaxColumns = 1280;

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
bool SampledPixel(const Ch& C, const TWeights& W, uint32_t& D, uint32_t S, uint32_t M) {
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

// A clipped stretched draw: Dest holds the destination pixels drawn; destination column
// Dest.Left + i samples source column X.Sample(i + Col0), and rows alike.
struct TStretch {
    TRect Dest;
    TAxis X, Y;
    int32_t Col0, Row0;
};

// Plans a stretched draw of SrcRect of S into DestRect on D (Mask, when given, must be 8 bits):
// Centred samples half a step in from the first edge (the packed formats), otherwise from the
// first edge with samples past the far edge taken from the nearest pixel inside SrcRect. False
// when nothing is drawn.
bool PlanStretch(const TCustomDIBX& D, const TRect& DestRect, const TCustomDIBX& S, const TRect& SrcRect, bool MirrorX,
                 bool MirrorY, const TCustomDIBX* Mask, bool Centred, TStretch& P);

// Runs Row(channels, bytes per pixel constant, destination row, source row, mask row (null without
// a Mask), column table, count) over the rows of the draw planned in P, at most kMaxColumns
// destination columns at a time; the column table holds each column's source column.
template <class F>
void WalkStretch(TCustomDIBX& D, TCustomDIBX& S, TCustomDIBX* Mask, const TStretch& P, F&& Row) {
    WithFormat(D, [&](auto Ch, auto Bytes) {
        constexpr int N = decltype(Bytes)::value;
        const TDrawLocks locks(D, P.Dest.Left, P.Dest.Top, S, 0, 0, Mask);
        if (!locks.Ok()) return;
        const ptrdiff_t dstep = D.GetNextLine(), sstep = S.GetNextLine(), mstep = Mask ? Mask->GetNextLine() : 0;
        const int32_t width = P.Dest.Right - P.Dest.Left, height = P.Dest.Bottom - P.Dest.Top;
        std::array<int32_t, kMaxColumns> cols;
        for (int32_t piece = 0; piece < width; piece += kMaxColumns) {
            const int32_t n = std::min(kMaxColumns, width - piece);
            for (int32_t i = 0; i < n; ++i) cols[size_t(i)] = int32_t(P.X.Sample(int64_t(P.Col0) + piece + i));
            uint8_t* drow = locks.Dest() + ptrdiff_t(piece) * N;
            for (int32_t j = 0; j < height; ++j, drow += dstep) {
                const ptrdiff_t sy = ptrdiff_t(P.Y.Sample(int64_t(P.Row0) + j));
                Row(Ch, Bytes, drow, locks.Source() + sy * sstep, Mask ? locks.Mask() + sy * mstep : nullptr,
                    cols.data(), n);
            }
        }
    });
}

// Count 32-bit pixels Dst[i] := Src at column Cols[i], stored four at a time (a quarter of the
// stores: a row written to memory outside the cache keeps fewer stores waiting).
void CopyRow32(uint8_t* Dst, const uint8_t* Src, const int32_t* Cols, int32_t Count);

// Count pixels of a 32-bit blend or add (SampledPixel<K, Masked, 4>): Dst[i] from Src and Mask
// at column Cols[i]. Four pixels a step in SSE2 16-bit lanes, where every product d * (255 - w)
// + s * w, s * w and m * w fits 16 bits, so the lanes give the one-pixel rule's values exactly;
// that rule finishes the row.
template <TKind K, bool Masked>
void SampledRow32(uint8_t* Dst, const uint8_t* Src, const uint8_t* Mask, const int32_t* Cols, int32_t Count,
                  const TWeights& W);

// Count pixels of a draw of kind K at N bytes a pixel: Dst[i] from Src (and Mask, when Masked)
// at column Cols[i].
template <TKind K, bool Masked, int N, class Ch>
void SampledRow(const Ch& C, const TWeights& W, uint8_t* Dst, const uint8_t* Src, const uint8_t* Mask,
                const int32_t* Cols, int32_t Count) {
    if constexpr (K != TKind::Copy && N == 4) {
        SampledRow32<K, Masked>(Dst, Src, Mask, Cols, Count, W);
    } else if (K == TKind::Copy && !Masked && !W.Keyed) {
        if constexpr (N == 4)
            CopyRow32(Dst, Src, Cols, Count);
        else
            for (int32_t i = 0; i < Count; ++i) Store<N>(Dst + ptrdiff_t(i) * N, Load<N>(Src + ptrdiff_t(Cols[i]) * N));
    } else {
        for (int32_t i = 0; i < Count; ++i) {
            const ptrdiff_t c = Cols[i];
            uint32_t d = Load<N>(Dst + ptrdiff_t(i) * N);
            if (SampledPixel<K, Masked, N>(C, W, d, Load<N>(Src + c * N), Masked ? Mask[c] : 255))
                Store<N>(Dst + ptrdiff_t(i) * N, d);
        }
    }
}

}  // namespace dibx
