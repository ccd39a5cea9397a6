// The fill stores 48 bytes per step (16 pixels of 3 bytes, or whole pixels of any other size).
// The alpha rows take eight pixels a step in AVX2 lanes where the processor has them, four in SSE2
// lanes otherwise and after them (blendrow_lanes.h); the scalar rule finishes the row.
// The copy without the fourth byte masks four pixels per step in SSE2 lanes.
#include "graphics/blendrow.h"
#include "graphics/blendrow_lanes.h"

#include <emmintrin.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace {

// Four pixels a step in SSE2 lanes.
struct TLanes4 {
    using V = __m128i;
    using Word = uint32_t;
    static constexpr int Pixels = 4;
    static V Load(const uint8_t* P) { return _mm_loadu_si128(reinterpret_cast<const V*>(P)); }
    static void Store(uint8_t* P, V X) { _mm_storeu_si128(reinterpret_cast<V*>(P), X); }
    static V ReversePixels(V X) { return _mm_shuffle_epi32(X, _MM_SHUFFLE(0, 1, 2, 3)); }
    static Word ReverseBytes(Word W) { return __builtin_bswap32(W); }
    // Byte i of W in the 32-bit lane of pixel i.
    static V Widen(Word W) {
        const V zero = _mm_setzero_si128();
        return _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(int(W)), zero), zero);
    }
    static V Zero() { return _mm_setzero_si128(); }
    static V Set16(int16_t X) { return _mm_set1_epi16(X); }
    static V Set32(int32_t X) { return _mm_set1_epi32(X); }
    static V And(V A, V B) { return _mm_and_si128(A, B); }
    static V Or(V A, V B) { return _mm_or_si128(A, B); }
    static V AndNot(V A, V B) { return _mm_andnot_si128(A, B); }
    static V CmpEq32(V A, V B) { return _mm_cmpeq_epi32(A, B); }
    static V Add16(V A, V B) { return _mm_add_epi16(A, B); }
    static V Sub16(V A, V B) { return _mm_sub_epi16(A, B); }
    static V MulLo16(V A, V B) { return _mm_mullo_epi16(A, B); }
    template <int N> static V Srl16(V A) { return _mm_srli_epi16(A, N); }
    template <int N> static V Srl32(V A) { return _mm_srli_epi32(A, N); }
    template <int N> static V Sll32(V A) { return _mm_slli_epi32(A, N); }
    static V UnpackLo8(V A, V B) { return _mm_unpacklo_epi8(A, B); }
    static V UnpackHi8(V A, V B) { return _mm_unpackhi_epi8(A, B); }
    static V UnpackLo32(V A, V B) { return _mm_unpacklo_epi32(A, B); }
    static V UnpackHi32(V A, V B) { return _mm_unpackhi_epi32(A, B); }
    static V PackUS16(V A, V B) { return _mm_packus_epi16(A, B); }
};

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

// The destination's rows are asked for this many rows ahead: the rows of a small picture lie far
// apart in a layer, and would otherwise be waited for one by one.
constexpr int32_t kRowsAhead = 8;

// Asks for the destination's row Ahead rows into R, when there is one.
void AskRow(const TRowBlock& R, int32_t Ahead) {
    if (Ahead >= R.Rows || R.Width <= 0) return;
    const uint8_t* d = R.Dst + Ahead * R.DstStep;
    __builtin_prefetch(d, 1);
    __builtin_prefetch(d + ptrdiff_t(R.Width) * 4 - 1, 1);
}

// The alpha rows with (Masked) or without a mask: without one every mask byte counts as 255. With
// CopyFull it is the masked draw (MaskPixel32), which has no opacity. Rows of fewer than 16
// pixels keep to the four-pixel step: one eight-pixel step does not pay for the call.
template <bool Masked, bool CopyFull = false>
void AlphaRows(const TRowBlock& B, uint32_t A) {
    const bool wide = kAvx2 && B.Width >= 16;
    for (int32_t y = 0; y < kRowsAhead; ++y) AskRow(B, y);
    ForEachRow(B, [&](const TRowBlock& R) {
        AskRow(R, kRowsAhead);
        int32_t x = wide ? AlphaRowsAvx2(R.Dst, R.Src, R.Mask, R.Width, R.Dir, A, Masked, CopyFull) : 0;
        x = TLaneRows<TLanes4>::Row<Masked, CopyFull>(R.Dst, R.Src, R.Mask, x, R.Width, R.Dir, A);
        for (; x < R.Width; ++x) {
            uint32_t d, s;
            std::memcpy(&d, R.Dst + ptrdiff_t(x) * 4, 4);
            std::memcpy(&s, R.Src + ptrdiff_t(x) * R.Dir * 4, 4);
            const uint32_t m = Masked ? R.Mask[ptrdiff_t(x) * R.Dir] : 255;
            d = CopyFull ? MaskPixel32(d, s, m) : AlphaMaskPixel32(d, s, m, A);
            std::memcpy(R.Dst + ptrdiff_t(x) * 4, &d, 4);
        }
    });
}

}  // namespace

void AlphaMaskRows32(const TRowBlock& B, uint32_t A) { AlphaRows<true>(B, A); }

void MaskRows32(const TRowBlock& B) { AlphaRows<true, true>(B, 255); }

void AlphaRows32(const TRowBlock& B, uint32_t A) { AlphaRows<false>(B, A); }
