// The fill stores 48 bytes per step (16 pixels of 3 bytes, or whole pixels of any other size).
// The alpha row takes four pixels per step in SSE2 16-bit lanes: every product d * (255 - w) + s * w
// fits 16 bits, so the lanes give the scalar rule's values exactly; the scalar rule finishes the row.
// Four pixels of mask 255 (the inside of most masked pictures) blend at the opacity straight away.
// The copy without the fourth byte masks four pixels per step the same way.
#include "graphics/blendrow.h"

#include <emmintrin.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace {

// Where Pick is all ones, A; else B.
__m128i Select(__m128i Pick, __m128i A, __m128i B) { return _mm_or_si128(_mm_and_si128(Pick, A), _mm_andnot_si128(Pick, B)); }

// Four pixels D blended toward S at 16-bit weights: WLo holds those of pixels 0 and 1, WHi those
// of pixels 2 and 3, each weight in all four lanes of its pixel.
__m128i Blend4(__m128i D, __m128i S, __m128i WLo, __m128i WHi) {
    const __m128i zero = _mm_setzero_si128(), c255 = _mm_set1_epi16(255);
    auto half = [&](__m128i d, __m128i s, __m128i wt) {
        const __m128i sum = _mm_add_epi16(_mm_mullo_epi16(d, _mm_sub_epi16(c255, wt)), _mm_mullo_epi16(s, wt));
        return _mm_srli_epi16(sum, 8);
    };
    return _mm_packus_epi16(half(_mm_unpacklo_epi8(D, zero), _mm_unpacklo_epi8(S, zero), WLo),
                            half(_mm_unpackhi_epi8(D, zero), _mm_unpackhi_epi8(S, zero), WHi));
}

// Four pixels: D from S through the mask bytes M (pixel i in byte i), opacity A in every lane;
// with CopyFull a pixel of mask 255 takes S (A is then 256, so that the other weights are M).
template <bool CopyFull>
__m128i AlphaMask4(__m128i D, __m128i S, uint32_t M, __m128i A) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i m = _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(M)), zero);
    const __m128i full = _mm_cmpeq_epi16(m, _mm_set1_epi16(255));
    const __m128i w = Select(full, A, _mm_srli_epi16(_mm_mullo_epi16(m, A), 8));
    const __m128i w2 = _mm_unpacklo_epi16(w, w);
    __m128i result = Blend4(D, S, _mm_unpacklo_epi32(w2, w2), _mm_unpackhi_epi32(w2, w2));
    const __m128i m32 = _mm_unpacklo_epi16(m, zero);
    const __m128i keep = _mm_or_si128(_mm_cmpeq_epi32(D, S), _mm_cmpeq_epi32(m32, zero));
    if constexpr (CopyFull) result = Select(_mm_cmpeq_epi32(m32, _mm_set1_epi32(255)), S, result);
    return Select(keep, D, result);
}

// The same four pixels when every mask byte is 255: the masked draw takes S, the alpha draw
// blends at A (D kept where it equals S), with no weight to work out per pixel.
template <bool CopyFull>
__m128i AlphaFull4(__m128i D, __m128i S, __m128i A) {
    if constexpr (CopyFull) return S;
    return Select(_mm_cmpeq_epi32(D, S), D, Blend4(D, S, A, A));
}

}  // namespace

TRowFill::TRowFill(int AN, uint32_t V) : N(AN) {
    StorePixel(Pattern, N, V);
    for (size_t n = size_t(N); n < sizeof(Pattern); n *= 2) std::memcpy(Pattern + n, Pattern, std::min(n, sizeof(Pattern) - n));
}

void TRowFill::operator()(uint8_t* Dst, int32_t Count) const {
    if (Count <= 0) return;
    size_t left = size_t(Count) * size_t(N);
    // Bytes up to a 16-byte boundary first; the aligned stores go on from that offset of the pattern.
    const size_t head = std::min(left, (16 - reinterpret_cast<uintptr_t>(Dst) % 16) % 16);
    std::memcpy(Dst, Pattern, head);
    Dst += head, left -= head;
    const uint8_t* from = Pattern + head;
    const __m128i p0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
    const __m128i p1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 16));
    const __m128i p2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 32));
    for (; left >= 48; left -= 48, Dst += 48) {
        _mm_store_si128(reinterpret_cast<__m128i*>(Dst), p0);
        _mm_store_si128(reinterpret_cast<__m128i*>(Dst + 16), p1);
        _mm_store_si128(reinterpret_cast<__m128i*>(Dst + 32), p2);
    }
    std::memcpy(Dst, from, left);
}

void CopyRowNoAlpha32(uint8_t* Dst, const uint8_t* Src, int32_t Count) {
    const __m128i rgb = _mm_set1_epi32(0x00FFFFFF);
    int32_t x = 0;
    for (; x + 4 <= Count; x += 4)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(Dst + ptrdiff_t(x) * 4),
                         _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(Src + ptrdiff_t(x) * 4)), rgb));
    for (; x < Count; ++x) {
        uint32_t v;
        std::memcpy(&v, Src + ptrdiff_t(x) * 4, 4);
        StorePixel(Dst + ptrdiff_t(x) * 4, 4, v & 0x00FFFFFF);
    }
}

namespace {

// The alpha row with (Masked) or without a mask: without one every mask byte counts as 255. With
// CopyFull it is the masked draw (MaskPixel32) and A is 256.
template <bool Masked, bool CopyFull = false>
void AlphaRow(uint8_t* Dst, const uint8_t* Src, const uint8_t* Mask, int32_t Count, int Dir, uint32_t A) {
    const __m128i a = _mm_set1_epi16(int16_t(A));
    int32_t x = 0;
    for (; x + 4 <= Count; x += 4) {
        // Mirrored, the four pixels sit at Src - (x + 3) .. Src - x and come in reversed.
        const ptrdiff_t first = Dir > 0 ? x : -(x + 3);
        uint32_t m = 0xFFFFFFFF;
        if constexpr (Masked) {
            std::memcpy(&m, Mask + first, 4);
            if (Dir < 0) m = __builtin_bswap32(m);
            if (m == 0) continue;
        }
        __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Src + first * 4));
        if (Dir < 0) s = _mm_shuffle_epi32(s, _MM_SHUFFLE(0, 1, 2, 3));
        uint8_t* d = Dst + ptrdiff_t(x) * 4;
        const __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d),
                         m == 0xFFFFFFFF ? AlphaFull4<CopyFull>(dv, s, a) : AlphaMask4<CopyFull>(dv, s, m, a));
    }
    for (; x < Count; ++x) {
        uint32_t d, s;
        std::memcpy(&d, Dst + ptrdiff_t(x) * 4, 4);
        std::memcpy(&s, Src + ptrdiff_t(x) * Dir * 4, 4);
        const uint32_t m = Masked ? Mask[ptrdiff_t(x) * Dir] : 255;
        d = CopyFull ? MaskPixel32(d, s, m) : AlphaMaskPixel32(d, s, m, A);
        std::memcpy(Dst + ptrdiff_t(x) * 4, &d, 4);
    }
}

}  // namespace

void AlphaMaskRow32(uint8_t* Dst, const uint8_t* Src, const uint8_t* Mask, int32_t Count, int Dir, uint32_t A) {
    AlphaRow<true>(Dst, Src, Mask, Count, Dir, A);
}

void MaskRow32(uint8_t* Dst, const uint8_t* Src, const uint8_t* Mask, int32_t Count, int Dir) {
    AlphaRow<true, true>(Dst, Src, Mask, Count, Dir, 256);
}

void AlphaRow32(uint8_t* Dst, const uint8_t* Src, int32_t Count, int Dir, uint32_t A) {
    AlphaRow<false>(Dst, Src, nullptr, Count, Dir, A);
}
