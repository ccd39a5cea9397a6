// The 32-bit sampled rows gather four source pixels a step and store them at once.
#include "graphics/dibx_rows.h"

#include <emmintrin.h>

namespace dibx {

namespace {

// The four 32-bit pixels of a row at columns C[0..3].
__m128i Gather4(const uint8_t* Row, const int32_t* C) {
    return _mm_setr_epi32(int(Load<4>(Row + ptrdiff_t(C[0]) * 4)), int(Load<4>(Row + ptrdiff_t(C[1]) * 4)),
                          int(Load<4>(Row + ptrdiff_t(C[2]) * 4)), int(Load<4>(Row + ptrdiff_t(C[3]) * 4)));
}

}  // namespace

void CopyRow32(uint8_t* Dst, const uint8_t* Src, const int32_t* Cols, int32_t Count) {
    int32_t i = 0;
    for (; i + 4 <= Count; i += 4)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(Dst + ptrdiff_t(i) * 4), Gather4(Src, Cols + i));
    for (; i < Count; ++i) Store<4>(Dst + ptrdiff_t(i) * 4, Load<4>(Src + ptrdiff_t(Cols[i]) * 4));
}

template <TKind K, bool Masked>
void SampledRow32(uint8_t* Dst, const uint8_t* Src, const uint8_t* Mask, const int32_t* Cols, int32_t Count,
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
        if (SampledPixel<K, Masked, 4>(TByteChannels{}, W, d, Load<4>(Src + ptrdiff_t(Cols[i]) * 4),
                                       Masked ? Mask[Cols[i]] : 255))
            Store<4>(Dst + ptrdiff_t(i) * 4, d);
    }
}

template void SampledRow32<TKind::Blend, false>(uint8_t*, const uint8_t*, const uint8_t*, const int32_t*, int32_t,
                                                const TWeights&);
template void SampledRow32<TKind::Blend, true>(uint8_t*, const uint8_t*, const uint8_t*, const int32_t*, int32_t,
                                               const TWeights&);
template void SampledRow32<TKind::Add, false>(uint8_t*, const uint8_t*, const uint8_t*, const int32_t*, int32_t,
                                              const TWeights&);
template void SampledRow32<TKind::Add, true>(uint8_t*, const uint8_t*, const uint8_t*, const int32_t*, int32_t,
                                             const TWeights&);

}  // namespace dibx
