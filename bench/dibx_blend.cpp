// A 640 x 480 picture with per-pixel alpha drawn onto an 800 x 600 32-bit surface: our masked
// alpha draw against pixman's OVER of the same picture through the same 8-bit alpha.
// Solid fills of the same surface: our rectangle fill against pixman_fill of the same rectangle,
// for the whole surface and for a square the size of a small scene object.
#include "graphics/dibx.h"

#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cstring>
#include <vector>

namespace {

constexpr int kSrcW = 640, kSrcH = 480, kDstW = 800, kDstH = 600;

uint32_t Colour(int x, int y) { return uint32_t(x * 2654435761u ^ y * 40503u) & 0x00FFFFFF; }
uint8_t AlphaOf(int x, int y) { return uint8_t((x + y) * 3); }

void BM_DrawAlphaMask(benchmark::State& State) {
    TDIBX dst, src, mask;
    dst.SetSize(kDstW, kDstH, 32);
    src.SetSize(kSrcW, kSrcH, 32);
    mask.SetSize(kSrcW, kSrcH, 8);
    dst.Fill(0x00203040);
    for (int y = 0; y < kSrcH; ++y)
        for (int x = 0; x < kSrcW; ++x) {
            src.SetPixel(x, y, Colour(x, y));
            mask.SetPixel(x, y, AlphaOf(x, y));
        }
    for (auto _ : State) {
        dst.DrawAlphaMask(80, 60, src, src.GetBoundsRect(), false, false, mask, 255);
        benchmark::DoNotOptimize(dst.DIB->PBitsReadOnly());
    }
    State.SetItemsProcessed(State.iterations() * kSrcW * kSrcH);
}
BENCHMARK(BM_DrawAlphaMask);

void BM_PixmanOver(benchmark::State& State) {
    std::vector<uint32_t> dstBits(size_t(kDstW) * kDstH, 0x00203040), srcBits(size_t(kSrcW) * kSrcH);
    std::vector<uint8_t> maskBits(size_t(kSrcW) * kSrcH);
    for (int y = 0; y < kSrcH; ++y)
        for (int x = 0; x < kSrcW; ++x) {
            srcBits[size_t(y) * kSrcW + x] = Colour(x, y);
            maskBits[size_t(y) * kSrcW + x] = AlphaOf(x, y);
        }
    pixman_image_t* dst = pixman_image_create_bits(PIXMAN_x8r8g8b8, kDstW, kDstH, dstBits.data(), kDstW * 4);
    pixman_image_t* src = pixman_image_create_bits(PIXMAN_x8r8g8b8, kSrcW, kSrcH, srcBits.data(), kSrcW * 4);
    pixman_image_t* mask = pixman_image_create_bits(PIXMAN_a8, kSrcW, kSrcH, reinterpret_cast<uint32_t*>(maskBits.data()), kSrcW);
    for (auto _ : State) {
        pixman_image_composite32(PIXMAN_OP_OVER, src, mask, dst, 0, 0, 0, 0, 80, 60, kSrcW, kSrcH);
        benchmark::DoNotOptimize(dstBits.data());
    }
    State.SetItemsProcessed(State.iterations() * kSrcW * kSrcH);
    pixman_image_unref(mask);
    pixman_image_unref(src);
    pixman_image_unref(dst);
}
BENCHMARK(BM_PixmanOver);

// State.range(0): the side of the square filled (the whole surface for 0).
TRect Filled(const benchmark::State& State) {
    const int side = int(State.range(0));
    return side == 0 ? TRect{0, 0, kDstW, kDstH} : Bounds(13, 7, side, side);
}

void BM_FillRect(benchmark::State& State) {
    TDIBX dst;
    dst.SetSize(kDstW, kDstH, 32);
    const TRect r = Filled(State);
    uint32_t colour = 0x00203040;
    for (auto _ : State) {
        dst.FillRect(r, int32_t(colour++ & 0x00FFFFFF));
        benchmark::DoNotOptimize(dst.DIB->PBitsReadOnly());
    }
    State.SetItemsProcessed(State.iterations() * (r.Right - r.Left) * (r.Bottom - r.Top));
}
BENCHMARK(BM_FillRect)->Arg(0)->Arg(40);

void BM_PixmanFill(benchmark::State& State) {
    std::vector<uint32_t> bits(size_t(kDstW) * kDstH);
    const TRect r = Filled(State);
    uint32_t colour = 0x00203040;
    for (auto _ : State) {
        pixman_fill(bits.data(), kDstW, 32, r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top, colour++ & 0x00FFFFFF);
        benchmark::DoNotOptimize(bits.data());
    }
    State.SetItemsProcessed(State.iterations() * (r.Right - r.Left) * (r.Bottom - r.Top));
}
BENCHMARK(BM_PixmanFill)->Arg(0)->Arg(40);

}  // namespace
