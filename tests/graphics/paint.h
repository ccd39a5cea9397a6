#pragma once
// Test pictures for the drawing-surface suites: noise from a position hash, and a surface filled
// from a value generator.
#include "graphics/dibx.h"

#include <cstdint>
#include <functional>

inline uint32_t Mix(int x, int y, uint32_t Seed) {
    uint32_t v = uint32_t(x * 73856093) ^ uint32_t(y * 19349663) ^ Seed;
    v ^= v >> 13, v *= 0x5bd1e995u, v ^= v >> 15;
    return v;
}

// S becomes W x H at Bits bits, pixel (x, y) := Gen(x, y) (stored to the pixel's width).
inline void Paint(TCustomDIBX& S, int W, int H, int Bits, const std::function<uint32_t(int, int)>& Gen) {
    S.SetSize(W, H, Bits);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) S.SetPixel(x, y, Gen(x, y));
}
