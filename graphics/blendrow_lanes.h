#pragma once
// The vector loops of the alpha rows, written once over a set of lanes: L gives the vector type
// V, its operations, and Pixels, the pixels of one step. Each unit that includes this compiles it
// for its own instruction set, so everything here stays inside that unit.
// A pixel's bytes blend in 16-bit lanes, the even ones apart from the odd ones: every sum
// d * (255 - w) + s * w fits 16 bits, so the lanes give the one-pixel rules' values exactly.
// Steps whose mask bytes are all 255 (the inside of most masked pictures) blend at the opacity
// with no weight to work out.
// A block's rows take steps of L, then of four pixels, and the one-pixel rule finishes each row.
#include "graphics/blendrow.h"

#include <emmintrin.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
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
};

template <class L>
struct TLaneRows {
    using V = typename L::V;
    using Word = typename L::Word;  // the mask bytes of one step

    // Where Pick is all ones, A; else B.
    static V Select(V Pick, V A, V B) { return L::Or(L::And(Pick, A), L::AndNot(Pick, B)); }

    // D blended toward S at the 16-bit weights W (each pixel's weight in both halves of its lane),
    // as BlendBytes blends: the even bytes and the odd bytes in 16-bit lanes of their own, so that
    // no byte moves between lanes.
    static V Blend(V D, V S, V W) {
        const V low = L::Set16(0x00FF), high = L::Set16(int16_t(0xFF00)), v = L::Sub16(L::Set16(255), W);
        auto sum = [&](V d, V s) { return L::Add16(L::MulLo16(d, v), L::MulLo16(s, W)); };
        const V even = sum(L::And(D, low), L::And(S, low));
        const V odd = sum(L::template Srl16<8>(D), L::template Srl16<8>(S));
        return L::Or(L::template Srl16<8>(even), L::And(odd, high));
    }

    // D from S through the mask M (each pixel's byte in its 32-bit lane) at opacity A (in every
    // 32-bit lane); with CopyFull it is the masked draw, where a pixel of mask 255 takes S.
    template <bool CopyFull>
    static V ThroughMask(V D, V S, V M, V A) {
        const V full = L::CmpEq32(M, L::Set32(255));
        // The masked draw blends at the mask's weight. m * A fits the low 16 bits of the lane.
        const V w = CopyFull ? M : Select(full, A, L::template Srl32<8>(L::MulLo16(M, A)));
        V result = Blend(D, S, L::Or(w, L::template Sll32<16>(w)));
        if constexpr (CopyFull) result = Select(full, S, result);
        const V keep = L::Or(L::CmpEq32(D, S), L::CmpEq32(M, L::Zero()));
        return Select(keep, D, result);
    }

    // The same pixels when every mask byte is 255: the masked draw takes S, the alpha draw blends
    // at A (in every 16-bit lane), D kept where it equals S.
    template <bool CopyFull>
    static V FullMask(V D, V S, V A) {
        if constexpr (CopyFull) return S;
        return Select(L::CmpEq32(D, S), D, Blend(D, S, A));
    }

    // The pixels From.. of the row (see BlendRows) a step at a time, as far as whole steps go;
    // returns where the steps stop. Without Masked every mask byte counts as 255.
    template <bool Masked, bool CopyFull>
    static int32_t Row(uint8_t* Dst, const uint8_t* Src, const uint8_t* Mask, int32_t From, int32_t Count, int Dir,
                       uint32_t A) {
        return Dir > 0 ? Steps<Masked, CopyFull, 1>(Dst, Src, Mask, From, Count, A)
                       : Steps<Masked, CopyFull, -1>(Dst, Src, Mask, From, Count, A);
    }

    template <bool Masked, bool CopyFull, int Dir>
    static int32_t Steps(uint8_t* Dst, const uint8_t* Src, const uint8_t* Mask, int32_t From, int32_t Count,
                         uint32_t A) {
        constexpr int32_t n = L::Pixels;
        const V a16 = L::Set16(int16_t(A)), a32 = L::Set32(int32_t(A));
        int32_t x = From;
        for (; x + n <= Count; x += n) {
            // Mirrored, the step's pixels sit at Src - (x + n - 1) .. Src - x and come in reversed.
            const ptrdiff_t first = Dir > 0 ? x : -(x + n - 1);
            Word m = ~Word(0);
            if constexpr (Masked) {
                std::memcpy(&m, Mask + first, sizeof m);
                if constexpr (Dir < 0) m = L::ReverseBytes(m);
                if (m == 0) continue;
            }
            V s = L::Load(Src + first * 4);
            if constexpr (Dir < 0) s = L::ReversePixels(s);
            uint8_t* d = Dst + ptrdiff_t(x) * 4;
            const V dv = L::Load(d);
            L::Store(d, m == ~Word(0) ? FullMask<CopyFull>(dv, s, a16)
                                      : ThroughMask<CopyFull>(dv, s, L::Widen(m), a32));
        }
        return x;
    }
};

// The destination's rows are asked for this many rows ahead: the rows of a small picture lie far
// apart in a layer, and would otherwise be waited for one by one. Of each row, at most the first
// kLinesAhead cache lines: the processor's own prefetch runs on along a longer row, and a
// request for every line of a wide row is an instruction per line.
constexpr int32_t kRowsAhead = 8;
constexpr uintptr_t kLinesAhead = 8;

// Asks for the first cache lines of the destination's row Ahead rows into R, when there is one.
inline void AskRow(const TRowBlock& R, int32_t Ahead) {
    if (Ahead >= R.Rows || R.Width <= 0) return;
    constexpr uintptr_t line = 64;
    const uintptr_t first = reinterpret_cast<uintptr_t>(R.Dst + Ahead * R.DstStep);
    const uintptr_t end = std::min(first + uintptr_t(R.Width) * 4, (first & ~(line - 1)) + kLinesAhead * line);
    for (uintptr_t at = first & ~(line - 1); at < end; at += line)
        __builtin_prefetch(reinterpret_cast<const void*>(at), 1);
}

// The alpha rows of B with (Masked) or without a mask: without one every mask byte counts as 255.
// With CopyFull it is the masked draw (MaskPixel32), which has no opacity.
template <class L, bool Masked, bool CopyFull>
void BlendRows(const TRowBlock& B, uint32_t A) {
    for (int32_t y = 0; y < kRowsAhead; ++y) AskRow(B, y);
    ForEachRow(B, [&](const TRowBlock& R) {
        AskRow(R, kRowsAhead);
        int32_t x = TLaneRows<L>::template Row<Masked, CopyFull>(R.Dst, R.Src, R.Mask, 0, R.Width, R.Dir, A);
        if constexpr (L::Pixels > 4)
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

// The alpha rows of B (BlendRows) eight pixels a step, for processors with AVX2.
void AlphaRowsAvx2(const TRowBlock& B, uint32_t A, bool Masked, bool CopyFull);

// Rows rows of Bytes bytes from Dst, each next row Step bytes further on, filled in AVX2 lanes
// with Pattern (TRowFill's two periods of 48 bytes): byte i of a row is Pattern[i mod 48].
void FillRowsAvx2(const uint8_t* Pattern, uint8_t* Dst, size_t Bytes, int32_t Rows, ptrdiff_t Step);

// The pixels of RampedRow32 eight a step in AVX2 lanes, as far as whole steps go; returns where
// the steps stop.
int32_t RampedRowAvx2(uint8_t* Dst, const uint8_t* Old, const uint8_t* New, const int32_t* Values,
                      const uint32_t* Entries, int32_t Count, bool Darken);
