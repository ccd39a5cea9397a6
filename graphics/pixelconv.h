#pragma once
// The colour rules of every bitmap and surface, fixed here once:
// - an 8-bit channel goes into a narrower field by truncation (its top Bits bits);
// - a field of Bits bits comes back to 8 bits by bit replication (its bits repeated downward),
//   so 0 stays 0 and the all-ones field becomes 255;
// - the nearest palette entry is the one of least squared RGB distance, the first one on ties;
// - stretching samples the nearest pixel: destination X reads source floor(X * SrcW / DstW).
#include <cstdint>

// An RGBQuad as a 32-bit value: $00RRGGBB (in memory blue, green, red, 0).
using TRGBQuad = uint32_t;

constexpr uint8_t QuadRed(TRGBQuad Q) { return uint8_t(Q >> 16); }
constexpr uint8_t QuadGreen(TRGBQuad Q) { return uint8_t(Q >> 8); }
constexpr uint8_t QuadBlue(TRGBQuad Q) { return uint8_t(Q); }

// Value's top Bits bits (1 <= Bits <= 8).
constexpr uint32_t ReduceChannel(uint8_t Value, int Bits) { return uint32_t(Value) >> (8 - Bits); }

// A Bits-bit field (1 <= Bits <= 8) widened to 8 bits by repeating its bits.
constexpr uint8_t ExpandChannel(uint32_t Field, int Bits) {
    uint32_t out = 0;
    for (int filled = 0; filled < 8; filled += Bits) out = (out << Bits) | Field;
    return uint8_t(out >> ((8 + Bits - 1) / Bits * Bits - 8));
}

// Index of the entry of Table[0..Count) nearest to (R, G, B); 0 when Count < 1.
int NearestPaletteIndex(const TRGBQuad* Table, int Count, uint8_t R, uint8_t G, uint8_t B);

// A pixel layout given by the masks of its red, green and blue fields, as display surfaces
// report them (any order and place; a zero mask holds nothing, a field wider than 8 bits takes
// the channel in its top bits, a mask with gaps only its lowest run of one bits).
struct TMaskLayout {
    struct TField {
        int Shift = 0, Bits = 0;
    };
    TField R, G, B;

    // The pixel of an RGBQuad, each channel truncated to its field.
    constexpr uint32_t Pack(TRGBQuad Q) const {
        return Place(QuadRed(Q), R) | Place(QuadGreen(Q), G) | Place(QuadBlue(Q), B);
    }
    // The RGBQuad of a pixel, each field widened to 8 bits by bit replication (a field wider than
    // 8 bits gives its top 8 bits).
    constexpr TRGBQuad Unpack(uint32_t Pixel) const {
        return TRGBQuad(Take(Pixel, R)) << 16 | TRGBQuad(Take(Pixel, G)) << 8 | Take(Pixel, B);
    }

private:
    static constexpr uint32_t Place(uint8_t V, TField F) {
        if (F.Bits >= 8) return uint32_t(V) << (F.Shift + F.Bits - 8);
        return F.Bits > 0 ? ReduceChannel(V, F.Bits) << F.Shift : 0;
    }
    static constexpr uint8_t Take(uint32_t Pixel, TField F) {
        if (F.Bits >= 8) return uint8_t(Pixel >> (F.Shift + F.Bits - 8));
        return F.Bits > 0 ? ExpandChannel(Pixel >> F.Shift & ((1u << F.Bits) - 1), F.Bits) : 0;
    }
};

TMaskLayout MaskLayout(uint32_t RMask, uint32_t GMask, uint32_t BMask);

// The source column (or row) that destination X of DstW samples from SrcW.
constexpr int StretchSource(int X, int SrcW, int DstW) {
    return int(int64_t(X) * SrcW / DstW);
}

// Pixels handed over through a device context (a surface's own, or a film's frame): Height rows
// of Width pixels, row Y at Pixels + Y * Pitch (Pitch is negative for rows stored bottom-up).
// 1-, 4- and 8-bit pixels are indexes into ColorTable (the leftmost pixel in the high bits),
// 15/16-, 24- and 32-bit pixels hold their channels where the masks say. Pixels is nullptr for
// no pixels.
struct TFrameRecord {
    uint8_t* Pixels = nullptr;
    int32_t Width = 0, Height = 0, Pitch = 0;
    int BitCount = 32;
    uint32_t RMask = 0x00FF0000, GMask = 0x0000FF00, BMask = 0x000000FF;
    const TRGBQuad* ColorTable = nullptr;  // 2^BitCount entries; nullptr reads as black
};

// The colours of the first Count pixels of row Y of Frame (Count at most its width).
void FrameRowColors(const TFrameRecord& Frame, int32_t Y, int32_t Count, TRGBQuad* Out);
