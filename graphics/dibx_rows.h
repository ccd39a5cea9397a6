#pragma once
// Rows of the draws that sample their source through a column table (stretched and wrapped
// draws): the rule for one sampled pixel, and the row that applies it, in SSE2 four pixels a step
// on 32 bits.
#include "graphics/dibx_pixel.h"

#include <cstdint>

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
