// An 800 x 600 32-bit picture blurred over a 61 x 61 box (radius 30): our sliding-sum box blur
// against pixman's separable convolution with a box kernel of the same width.
#include "graphics/dib.h"

#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cstdlib>
#include <vector>

namespace {

constexpr int kW = 800, kH = 600, kRadius = 30, kBox = 2 * kRadius + 1;

uint32_t Colour(int x, int y) { return uint32_t(x * 2654435761u ^ y * 40503u) & 0x00FFFFFF; }

void BM_DIBBlur(benchmark::State& State) {
    TDIB source;
    source.SetSize(kW, kH, 32);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) source.SetPixel(x, y, Colour(x, y));
    for (auto _ : State) {
        TDIB dib = source;
        dib.Blur(32, kRadius);
        benchmark::DoNotOptimize(dib.PBitsReadOnly());
    }
    State.SetItemsProcessed(State.iterations() * kW * kH);
}
BENCHMARK(BM_DIBBlur)->Unit(benchmark::kMillisecond);

void BM_PixmanBoxConvolution(benchmark::State& State) {
    std::vector<uint32_t> srcBits(size_t(kW) * kH), dstBits(size_t(kW) * kH);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) srcBits[size_t(y) * kW + x] = Colour(x, y);
    pixman_image_t* src = pixman_image_create_bits(PIXMAN_x8r8g8b8, kW, kH, srcBits.data(), kW * 4);
    pixman_image_t* dst = pixman_image_create_bits(PIXMAN_x8r8g8b8, kW, kH, dstBits.data(), kW * 4);
    // A box of kBox pixels at 1:1: no reconstruction, the box as the sampling filter.
    int count = 0;
    pixman_fixed_t* params = pixman_filter_create_separable_convolution(
        &count, pixman_int_to_fixed(kBox), pixman_int_to_fixed(kBox), PIXMAN_KERNEL_IMPULSE, PIXMAN_KERNEL_IMPULSE,
        PIXMAN_KERNEL_BOX, PIXMAN_KERNEL_BOX, 0, 0);
    if (count != 4 + 2 * kBox || pixman_fixed_to_int(params[0]) != kBox) State.SkipWithError("unexpected kernel");
    pixman_image_set_filter(src, PIXMAN_FILTER_SEPARABLE_CONVOLUTION, params, count);
    pixman_image_set_repeat(src, PIXMAN_REPEAT_PAD);
    for (auto _ : State) {
        pixman_image_composite32(PIXMAN_OP_SRC, src, nullptr, dst, 0, 0, 0, 0, 0, 0, kW, kH);
        benchmark::DoNotOptimize(dstBits.data());
    }
    // The filter really ran: a pixel far from the edges is the mean of its box, not itself.
    if (dstBits[size_t(300) * kW + 400] == srcBits[size_t(300) * kW + 400]) State.SkipWithError("no convolution");
    State.SetItemsProcessed(State.iterations() * kW * kH);
    free(params);
    pixman_image_unref(dst);
    pixman_image_unref(src);
}
BENCHMARK(BM_PixmanBoxConvolution)->Unit(benchmark::kMillisecond);

}  // namespace
