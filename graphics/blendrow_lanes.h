#pragma once
// The vector loop of the masked alpha rows, written once over a set of lanes: L gives the vector
// type V, its operations, and Pixels, the pixels of one step. Each unit that includes this
// compiles it for its own instruction set, so everything here stays inside that unit.
// A pixel's four bytes widen to 16-bit lanes for the blend: every product d * (255 - w) + s * w
// fits 16 bits, so the lanes give the one-pixel rules' values exactly. Steps whose mask bytes are
// all 255 (the inside of most masked pictures) blend at the opacity with no weight to work out.
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

template <class L>
struct TLaneRows {
    using V = typename L::V;
    using Word = typename L::Word;  // the mask bytes of one step

    // Where Pick is all ones, A; else B.
    static V Select(V Pick, V A, V B) { return L::Or(L::And(Pick, A), L::AndNot(Pick, B)); }

    // D blended toward S at 16-bit weights: WLo for the pixels the low unpack widens, WHi for the
    // others, each weight in all four lanes of its pixel.
    static V Blend(V D, V S, V WLo, V WHi) {
        const V zero = L::Zero(), c255 = L::Set16(255);
        auto half = [&](V d, V s, V wt) {
            return L::template Srl16<8>(L::Add16(L::MulLo16(d, L::Sub16(c255, wt)), L::MulLo16(s, wt)));
        };
        return L::PackUS16(half(L::UnpackLo8(D, zero), L::UnpackLo8(S, zero), WLo),
                           half(L::UnpackHi8(D, zero), L::UnpackHi8(S, zero), WHi));
    }

    // D from S through the mask M (each pixel's byte in its 32-bit lane) at opacity A (in every
    // 32-bit lane); with CopyFull it is the masked draw, where a pixel of mask 255 takes S.
    template <bool CopyFull>
    static V ThroughMask(V D, V S, V M, V A) {
        const V full = L::CmpEq32(M, L::Set32(255));
        // The masked draw blends at the mask's weight. m * A fits the low 16 bits of the lane.
        const V w = CopyFull ? M : Select(full, A, L::template Srl32<8>(L::MulLo16(M, A)));
        const V w2 = L::Or(w, L::template Sll32<16>(w));
        V result = Blend(D, S, L::UnpackLo32(w2, w2), L::UnpackHi32(w2, w2));
        if constexpr (CopyFull) result = Select(full, S, result);
        const V keep = L::Or(L::CmpEq32(D, S), L::CmpEq32(M, L::Zero()));
        return Select(keep, D, result);
    }

    // The same pixels when every mask byte is 255: the masked draw takes S, the alpha draw blends
    // at A (in every 16-bit lane), D kept where it equals S.
    template <bool CopyFull>
    static V FullMask(V D, V S, V A) {
        if constexpr (CopyFull) return S;
        return Select(L::CmpEq32(D, S), D, Blend(D, S, A, A));
    }

    // The pixels From.. of the row (see AlphaMaskRow32) a step at a time, as far as whole steps
    // go; returns where the steps stop. Without Masked every mask byte counts as 255.
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

}  // namespace

// The rows eight pixels a step, for processors with AVX2: TLaneRows::Row from pixel 0.
int32_t AlphaRowsAvx2(uint8_t* Dst, const uint8_t* Src, const uint8_t* Mask, int32_t Count, int Dir, uint32_t A,
                      bool Masked, bool CopyFull);
