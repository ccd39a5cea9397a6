// The fill stores 48 bytes per step (16 pixels of 3 bytes, or whole pixels of any other size).
// The alpha rows take eight pixels a step in AVX2 lanes where the processor has them, four in SSE2
// lanes otherwise and after them, the whole block in one call (blendrow_lanes.h); the scalar rule
// finishes each row.
// The copy without the fourth byte masks four pixels per step in SSE2 lanes.
#include "graphics/blendrow.h"
#include "graphics/blendrow_lanes.h"

#include <emmintrin.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace {

// Whether the processor runs the eight-pixel rows.
const bool kAvx2 = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
}();

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

// The alpha rows in the widest lanes the processor runs.
template <bool Masked, bool CopyFull = false>
void AlphaRows(const TRowBlock& B, uint32_t A) {
    if (kAvx2)
        AlphaRowsAvx2(B, A, Masked, CopyFull);
    else
        BlendRows<TLanes4, Masked, CopyFull>(B, A);
}

}  // namespace

void AlphaMaskRows32(const TRowBlock& B, uint32_t A) { AlphaRows<true>(B, A); }

void MaskRows32(const TRowBlock& B) { AlphaRows<true, true>(B, 255); }

void AlphaRows32(const TRowBlock& B, uint32_t A) { AlphaRows<false>(B, A); }
