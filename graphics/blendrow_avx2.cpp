// The alpha rows and the ramped rows eight pixels a step and the fill 32 bytes a store in AVX2
// lanes. This unit alone is compiled for AVX2; the rows call into it only where the processor
// has it.
#include "graphics/blendrow_lanes.h"

#include <immintrin.h>

#include <cstring>

namespace {

struct TLanes8 {
    using V = __m256i;
    using Word = uint64_t;
    static constexpr int Pixels = 8;
    static V Load(const uint8_t* P) { return _mm256_loadu_si256(reinterpret_cast<const V*>(P)); }
    static void Store(uint8_t* P, V X) { _mm256_storeu_si256(reinterpret_cast<V*>(P), X); }
    static V ReversePixels(V X) { return _mm256_permutevar8x32_epi32(X, _mm256_setr_epi32(7, 6, 5, 4, 3, 2, 1, 0)); }
    static Word ReverseBytes(Word W) { return __builtin_bswap64(W); }
    // Byte i of W in the 32-bit lane of pixel i.
    static V Widen(Word W) { return _mm256_cvtepu8_epi32(_mm_cvtsi64_si128(int64_t(W))); }
    static V Zero() { return _mm256_setzero_si256(); }
    static V Set16(int16_t X) { return _mm256_set1_epi16(X); }
    static V Set32(int32_t X) { return _mm256_set1_epi32(X); }
    static V And(V A, V B) { return _mm256_and_si256(A, B); }
    static V Or(V A, V B) { return _mm256_or_si256(A, B); }
    static V AndNot(V A, V B) { return _mm256_andnot_si256(A, B); }
    static V CmpEq32(V A, V B) { return _mm256_cmpeq_epi32(A, B); }
    static V Add16(V A, V B) { return _mm256_add_epi16(A, B); }
    static V Sub16(V A, V B) { return _mm256_sub_epi16(A, B); }
    static V MulLo16(V A, V B) { return _mm256_mullo_epi16(A, B); }
    template <int N> static V Srl16(V A) { return _mm256_srli_epi16(A, N); }
    template <int N> static V Srl32(V A) { return _mm256_srli_epi32(A, N); }
    template <int N> static V Sll32(V A) { return _mm256_slli_epi32(A, N); }
};

}  // namespace

void AlphaRowsAvx2(const TRowBlock& B, uint32_t A, bool Masked, bool CopyFull) {
    if (!Masked)
        BlendRows<TLanes8, false, false>(B, A);
    else if (CopyFull)
        BlendRows<TLanes8, true, true>(B, A);
    else
        BlendRows<TLanes8, true, false>(B, A);
}

void FillRowsAvx2(const uint8_t* Pattern, uint8_t* Dst, size_t Bytes, int32_t Rows, ptrdiff_t Step) {
    // The pattern from the offset in the row of a store (the period of 48 bytes).
    auto at = [Pattern](size_t Offset) {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(Pattern + Offset % 48));
    };
    for (; Rows > 0; --Rows, Dst += Step) {
        if (Bytes < 32) {
            std::memcpy(Dst, Pattern, Bytes);
            continue;
        }
        // The first and the last 32 bytes unaligned, the stores between them aligned, three stores
        // (two periods) a step.
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(Dst), at(0));
        size_t x = 32 - reinterpret_cast<uintptr_t>(Dst) % 32;
        const __m256i p0 = at(x), p1 = at(x + 32), p2 = at(x + 64);
        for (; x + 96 <= Bytes; x += 96) {
            _mm256_store_si256(reinterpret_cast<__m256i*>(Dst + x), p0);
            _mm256_store_si256(reinterpret_cast<__m256i*>(Dst + x + 32), p1);
            _mm256_store_si256(reinterpret_cast<__m256i*>(Dst + x + 64), p2);
        }
        if (x + 32 <= Bytes) {
            _mm256_store_si256(reinterpret_cast<__m256i*>(Dst + x), p0);
            x += 32;
            if (x + 32 <= Bytes) _mm256_store_si256(reinterpret_cast<__m256i*>(Dst + x), p1), x += 32;
        }
        if (x < Bytes) _mm256_storeu_si256(reinterpret_cast<__m256i*>(Dst + Bytes - 32), at(Bytes - 32));
    }
}

namespace {

template <bool Darken>
int32_t RampedSteps(uint8_t* Dst, const uint8_t* Old, const uint8_t* New, const int32_t* Values,
                    const uint32_t* Entries, int32_t Count) {
    const __m256i grey = _mm256_set1_epi32(int32_t(~kShowsNew));
    auto load = [](const uint8_t* P) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(P)); };
    int32_t x = 0;
    for (; x + 8 <= Count; x += 8) {
        const __m256i e = _mm256_i32gather_epi32(reinterpret_cast<const int*>(Entries),
                                                 _mm256_loadu_si256(reinterpret_cast<const __m256i*>(Values + x)), 4);
        // A step wholly on one picture reads that picture alone.
        const int fromNew = _mm256_movemask_ps(_mm256_castsi256_ps(e));
        const ptrdiff_t at = ptrdiff_t(x) * 4;
        const __m256i s = fromNew == 0      ? load(Old + at)
                          : fromNew == 0xFF ? load(New + at)
                                            : _mm256_blendv_epi8(load(Old + at), load(New + at), _mm256_srai_epi32(e, 31));
        const __m256i g = _mm256_and_si256(e, grey);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(Dst + at),
                            Darken ? _mm256_subs_epu8(s, g) : _mm256_adds_epu8(s, g));
    }
    return x;
}

}  // namespace

int32_t RampedRowAvx2(uint8_t* Dst, const uint8_t* Old, const uint8_t* New, const int32_t* Values,
                      const uint32_t* Entries, int32_t Count, bool Darken) {
    return Darken ? RampedSteps<true>(Dst, Old, New, Values, Entries, Count)
                  : RampedSteps<false>(Dst, Old, New, Values, Entries, Count);
}
