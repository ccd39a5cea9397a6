// One frame of the per-pixel transitions at 800 x 600, 32 bits, between two photo-like pictures:
// the spotlight ring, the ripple and the crumbling pieces (halfway through each), beside pixman's
// OVER of the new picture through an 8-bit mask onto the old one, the composite a masked
// transition frame costs.
#include "bench/photo.h"
#include "core/rands.h"
#include "graphics/dibx.h"
#include "objects/vitems.h"
#include "text/wipes_pixels.h"

#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cstring>
#include <vector>

namespace {

constexpr int kW = 800, kH = 600;

// 0xXXRRGGBB pixels, top row first: the photo, and the same photo upside down for the new picture.
std::vector<uint32_t> Picture(bool UpsideDown) {
    const std::vector<uint8_t> rgba = MakePhotoRGBA(kW, kH);
    std::vector<uint32_t> pixels(size_t(kW) * kH);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const uint8_t* p = &rgba[(size_t(UpsideDown ? kH - 1 - y : y) * kW + x) * 4];
            pixels[size_t(y) * kW + x] = uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
        }
    return pixels;
}

struct TPictures {
    TDIBX Dest, Old, New;
    TPictures() {
        VelaInitColor();
        for (auto [surface, upsideDown] : {std::pair{&Old, false}, {&New, true}}) {
            surface->SetSize(kW, kH, 32);
            const std::vector<uint32_t> pixels = Picture(upsideDown);
            for (int y = 0; y < kH; ++y) {
                std::memcpy(surface->Lock(0, y), &pixels[size_t(y) * kW], kW * 4);
                surface->Unlock();
            }
        }
        Dest.SetSize(kW, kH, 32);
    }
};

template <class T>
void StepHalfway(benchmark::State& State, int32_t Param0, int32_t Param1) {
    TPictures p;
    RandSeed = 20261207;
    T wipe(p.Dest, p.Old, p.New);
    wipe.Length = 1000;
    wipe.SetReverse(false);
    wipe.SetParam(0, Param0);
    wipe.SetParam(1, Param1);
    wipe.Prepare();
    wipe.Elapsed = 500;
    for (auto _ : State) {
        wipe.Step();
        benchmark::DoNotOptimize(p.Dest.DIB->PBitsReadOnly());
    }
    State.SetItemsProcessed(State.iterations() * kW * kH);
}

void BM_SpotStep(benchmark::State& State) { StepHalfway<TWipeSpot>(State, 0, 0); }
BENCHMARK(BM_SpotStep)->Unit(benchmark::kMillisecond);

void BM_RippleStep(benchmark::State& State) { StepHalfway<TWipeRipple>(State, 5, 0); }
BENCHMARK(BM_RippleStep)->Unit(benchmark::kMillisecond);

void BM_CrackStep(benchmark::State& State) { StepHalfway<TWipeCrack>(State, 64, 3); }
BENCHMARK(BM_CrackStep)->Unit(benchmark::kMillisecond);

void BM_PixmanOverMasked(benchmark::State& State) {
    std::vector<uint32_t> oldBits = Picture(false), newBits = Picture(true), dstBits(oldBits.size());
    std::vector<uint8_t> maskBits(size_t(kW) * kH);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) maskBits[size_t(y) * kW + x] = uint8_t((x + y) / 6);
    pixman_image_t* dst = pixman_image_create_bits(PIXMAN_x8r8g8b8, kW, kH, dstBits.data(), kW * 4);
    pixman_image_t* src = pixman_image_create_bits(PIXMAN_x8r8g8b8, kW, kH, newBits.data(), kW * 4);
    pixman_image_t* mask =
        pixman_image_create_bits(PIXMAN_a8, kW, kH, reinterpret_cast<uint32_t*>(maskBits.data()), kW);
    for (auto _ : State) {
        std::memcpy(dstBits.data(), oldBits.data(), oldBits.size() * 4);
        pixman_image_composite32(PIXMAN_OP_OVER, src, mask, dst, 0, 0, 0, 0, 0, 0, kW, kH);
        benchmark::DoNotOptimize(dstBits.data());
    }
    State.SetItemsProcessed(State.iterations() * kW * kH);
    pixman_image_unref(mask);
    pixman_image_unref(src);
    pixman_image_unref(dst);
}
BENCHMARK(BM_PixmanOverMasked)->Unit(benchmark::kMillisecond);

}  // namespace
