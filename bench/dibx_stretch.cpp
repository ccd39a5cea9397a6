// A 640 x 480 picture stretched onto an 800 x 600 32-bit surface, plain and through an 8-bit
// mask: our stretched draws against pixman's nearest-filter scaled composites of the same
// picture and mask (SRC, and OVER through the mask scaled alike).
#include "graphics/dibx.h"
#include "bench/beside_pixman.h"

#include <benchmark/benchmark.h>
#include <pixman.h>

#include <vector>

namespace {

constexpr int kSrcW = 640, kSrcH = 480, kDstW = 800, kDstH = 600;

uint32_t Colour(int x, int y) { return uint32_t(x * 2654435761u ^ y * 40503u) & 0x00FFFFFF; }
uint8_t AlphaOf(int x, int y) { return uint8_t((x + y) * 3); }

struct TOurs {
    TDIBX Dst, Src, Mask;
    TOurs() {
        Dst.SetSize(kDstW, kDstH, 32);
        Src.SetSize(kSrcW, kSrcH, 32);
        Mask.SetSize(kSrcW, kSrcH, 8);
        Dst.Fill(0x00203040);
        for (int y = 0; y < kSrcH; ++y)
            for (int x = 0; x < kSrcW; ++x) {
                Src.SetPixel(x, y, Colour(x, y));
                Mask.SetPixel(x, y, AlphaOf(x, y));
            }
    }
    void Run(bool Masked) {
        if (Masked)
            Dst.StretchDrawMask(Dst.GetBoundsRect(), Src, Src.GetBoundsRect(), false, false, Mask, 255);
        else
            Dst.StretchDraw(Dst.GetBoundsRect(), Src, Src.GetBoundsRect(), false, false, false, 255);
        benchmark::DoNotOptimize(Dst.DIB->PBitsReadOnly());
    }
};

struct TPixman {
    std::vector<uint32_t> DstBits, SrcBits;
    std::vector<uint8_t> MaskBits;
    pixman_image_t *Dst, *Src, *Mask;
    TPixman()
        : DstBits(size_t(kDstW) * kDstH, 0x00203040), SrcBits(size_t(kSrcW) * kSrcH), MaskBits(size_t(kSrcW) * kSrcH) {
        for (int y = 0; y < kSrcH; ++y)
            for (int x = 0; x < kSrcW; ++x) {
                SrcBits[size_t(y) * kSrcW + x] = Colour(x, y);
                MaskBits[size_t(y) * kSrcW + x] = AlphaOf(x, y);
            }
        Dst = pixman_image_create_bits(PIXMAN_x8r8g8b8, kDstW, kDstH, DstBits.data(), kDstW * 4);
        Src = pixman_image_create_bits(PIXMAN_x8r8g8b8, kSrcW, kSrcH, SrcBits.data(), kSrcW * 4);
        Mask = pixman_image_create_bits(PIXMAN_a8, kSrcW, kSrcH, reinterpret_cast<uint32_t*>(MaskBits.data()), kSrcW);
        // Destination to source: 640 / 800 and 480 / 600 source pixels per destination pixel.
        pixman_transform_t t;
        pixman_transform_init_scale(&t, pixman_double_to_fixed(double(kSrcW) / kDstW),
                                    pixman_double_to_fixed(double(kSrcH) / kDstH));
        for (pixman_image_t* image : {Src, Mask}) {
            pixman_image_set_transform(image, &t);
            pixman_image_set_filter(image, PIXMAN_FILTER_NEAREST, nullptr, 0);
        }
    }
    ~TPixman() {
        pixman_image_unref(Mask);
        pixman_image_unref(Src);
        pixman_image_unref(Dst);
    }
    void Run(bool Masked) {
        if (Masked)
            pixman_image_composite32(PIXMAN_OP_OVER, Src, Mask, Dst, 0, 0, 0, 0, 0, 0, kDstW, kDstH);
        else
            pixman_image_composite32(PIXMAN_OP_SRC, Src, nullptr, Dst, 0, 0, 0, 0, 0, 0, kDstW, kDstH);
        benchmark::DoNotOptimize(DstBits.data());
    }
};

// State.range(0): 1 through the mask.
template <class T>
void BM_Stretch(benchmark::State& State) {
    T t;
    for (auto _ : State) t.Run(State.range(0) != 0);
    State.SetItemsProcessed(State.iterations() * kDstW * kDstH);
}
void BM_StretchDraw(benchmark::State& State) { BM_Stretch<TOurs>(State); }
void BM_PixmanScaled(benchmark::State& State) { BM_Stretch<TPixman>(State); }

// Ours and pixman's one after the other in each iteration, so that a busy machine slows both
// alike: "x_pixman" is our time over pixman's.
void BM_RatioToPixman(benchmark::State& State) {
    TOurs ours;
    TPixman pixman;
    const bool masked = State.range(0) != 0;
    RunBesidePixman(State, [&] { ours.Run(masked); }, [&] { pixman.Run(masked); });
}

}  // namespace

BENCHMARK(BM_StretchDraw)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PixmanScaled)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RatioToPixman)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->MinTime(1.0);
