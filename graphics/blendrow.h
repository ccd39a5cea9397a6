#pragma once
// Row routines of the draws and fills, each with the one-pixel rule it applies to every pixel.
// A 32-bit pixel is four independent 8-bit channels (the fourth byte included).
#include <cstddef>
#include <cstdint>
#include <cstring>

// A pixel of N bytes (1..4) holding the raw value V: its low N bytes, lowest first (the value
// as a little-endian double word, cut to N bytes).
inline void StorePixel(uint8_t* P, int N, uint32_t V) { std::memcpy(P, &V, size_t(N)); }

// The widest lanes the row routines take: AVX2 where the processor has it, else SSE2. A test
// narrows them to SSE2 (false) to hold both to the same bytes; true stays false on a processor
// without AVX2.
bool RowsUseAvx2();
void SetRowsUseAvx2(bool Value);

// Rows of pixels of N bytes (1..4) each set to V as StorePixel sets one, the value prepared once
// for all the rows of a fill: Rows rows of Count pixels from Dst, each next row Step bytes
// further on. Byte addresses; no alignment needed.
class TRowFill {
public:
    TRowFill(int N, uint32_t V);
    void operator()(uint8_t* Dst, int32_t Count, int32_t Rows = 1, ptrdiff_t Step = 0) const;

private:
    // Two periods of 48 bytes (a multiple of every pixel size), so that the 48 bytes from any
    // offset below 48 are a period too.
    alignas(16) uint8_t Pattern[96];
    int N;
};

// Count 32-bit pixels copied from Src with the fourth byte of each set to 0 (0x00RRGGBB values).
// Byte addresses; no alignment needed; the rows do not overlap.
void CopyRowNoAlpha32(uint8_t* Dst, const uint8_t* Src, int32_t Count);

// Per byte (d * (255 - W) + s * W) div 256, 0 <= W <= 255.
constexpr uint32_t BlendBytes(uint32_t D, uint32_t S, uint32_t W) {
    constexpr uint32_t lo = 0x00FF00FF;
    const uint32_t v = 255 - W;
    return ((((D & lo) * v + (S & lo) * W) >> 8) & lo) | (((((D >> 8) & lo) * v + ((S >> 8) & lo) * W) >> 8) & lo) << 8;
}

// A pixel of the masked alpha draw at opacity A (0..255): unchanged where the mask is 0 or the
// source already equals it, else blended at weight A for mask 255 and mask * A div 256 below.
constexpr uint32_t AlphaMaskPixel32(uint32_t D, uint32_t S, uint32_t M, uint32_t A) {
    if (M == 0 || D == S) return D;
    return BlendBytes(D, S, M == 255 ? A : M * A / 256);
}

// A pixel of the masked draw: unchanged where the mask is 0 or the source already equals it, the
// source where the mask is 255, else blended at the mask's weight.
constexpr uint32_t MaskPixel32(uint32_t D, uint32_t S, uint32_t M) {
    if (M == 0 || D == S) return D;
    return M == 255 ? S : BlendBytes(D, S, M);
}

// Bytewise A + B and A - B, each byte held to 0..255.
constexpr uint32_t AddBytes(uint32_t A, uint32_t B) {
    const uint32_t low = (A & 0x7F7F7F7F) + (B & 0x7F7F7F7F), high = (A ^ B) & 0x80808080;
    const uint32_t over = ((A & B) | (high & low)) & 0x80808080;
    return (low ^ high) | (over >> 7) * 0xFF;
}
constexpr uint32_t SubBytes(uint32_t A, uint32_t B) { return ~AddBytes(~A, B); }

// A pixel of a ramped switch between two pictures through its entry E: the new picture's pixel
// where bit 31 of E is set, else the old one's, the other bits of E added to it bytewise
// (subtracted when Darken).
constexpr uint32_t kShowsNew = 0x80000000;
constexpr uint32_t RampedPixel32(uint32_t Old, uint32_t New, uint32_t E, bool Darken) {
    const uint32_t s = E & kShowsNew ? New : Old, grey = E & ~kShowsNew;
    return Darken ? SubBytes(s, grey) : AddBytes(s, grey);
}

// Count pixels of a ramped switch (RampedPixel32), pixel x through the entry Entries[Values[x]].
// Byte addresses; no alignment needed.
void RampedRow32(uint8_t* Dst, const uint8_t* Old, const uint8_t* New, const int32_t* Values, const uint32_t* Entries,
                 int32_t Count, bool Darken);

// The rows of a draw: Rows rows of Width pixels. Dst, Src and Mask (null when there is none) are
// the first row's first pixels, each next row DstStep, SrcStep and MaskStep bytes further on; the
// source and the mask are read in direction Dir, +1, or -1 for a mirrored source read leftward.
// Byte addresses; no alignment needed.
struct TRowBlock {
    uint8_t* Dst;
    const uint8_t* Src;
    const uint8_t* Mask;
    int32_t Width;
    int Dir;
    int32_t Rows;
    ptrdiff_t DstStep, SrcStep, MaskStep;
};

// Calls Row(R) for each row of B in turn, R a block that begins at that row.
template <class F>
void ForEachRow(TRowBlock B, F&& Row) {
    for (; B.Rows > 0; --B.Rows) {
        Row(static_cast<const TRowBlock&>(B));
        B.Dst += B.DstStep;
        if (B.Src) B.Src += B.SrcStep;
        if (B.Mask) B.Mask += B.MaskStep;
    }
}

// The masked alpha draw at opacity A over the rows (AlphaMaskPixel32).
void AlphaMaskRows32(const TRowBlock& B, uint32_t A);
// The masked draw over the rows (MaskPixel32).
void MaskRows32(const TRowBlock& B);
// The same without a mask: every pixel at opacity A.
void AlphaRows32(const TRowBlock& B, uint32_t A);
