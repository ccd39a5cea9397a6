#pragma once
// Row routines of the 32-bit draws, each with the one-pixel rule it applies to every pixel.
// A 32-bit pixel is four independent 8-bit channels (the fourth byte included).
#include <cstdint>

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

// Count pixels of the masked alpha draw: Dst[i] from Src[i * Dir] and Mask[i * Dir], Dir = +1,
// or -1 for a mirrored source read leftward. Byte addresses; no alignment needed.
void AlphaMaskRow32(uint8_t* Dst, const uint8_t* Src, const uint8_t* Mask, int32_t Count, int Dir, uint32_t A);
