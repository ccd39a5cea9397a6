// A 160 x 30 fire field magnified 4 times onto an 800 x 600 32-bit surface, drawn as the fire
// object draws it (heats added through the fire ramp, those below 17 skipped), against pixman's
// nearest-filter scaled ADD of the same field as a c8 image with the ramp as its palette; and
// one burn of the field.
#include "core/header_vocab.h"
#include "graphics/dibx.h"
#include "objects/vitemex_fire.h"
#include "platform/clock.h"

#include <benchmark/benchmark.h>
#include <pixman.h>

#include <memory>
#include <vector>

namespace {

constexpr int kFieldW = 160, kFieldH = 30, kZoom = 4, kDstW = 800, kDstH = 600;
constexpr int32_t kThreshold = 17;
const TRect kDest{80, 400, 80 + kFieldW * kZoom, 400 + kFieldH * kZoom};

// A fire whose field has burnt long enough to show its flames.
std::unique_ptr<TVelaFire> BurntFire() {
    auto fire = std::make_unique<TVelaFire>(nullptr, false);
    fire->SetOrigwidth(kFieldW);
    fire->SetOrigheight(kFieldH);
    fire->SetPower(128);
    fire->Reset();
    for (int i = 0; i < 100; ++i) fire->Burn();
    return fire;
}

struct TOurs {
    std::unique_ptr<TVelaFire> Fire = BurntFire();
    TDIBX Dst;
    TOurs() {
        Dst.SetSize(kDstW, kDstH, 32);
        Dst.Fill(0x00102030);
    }
    void Run() {
        TDIBX& field = const_cast<TDIBX&>(Fire->GetField());
        Dst.StretchDrawIndexed(kDest, field, field.GetBoundsRect(), kThreshold, false, false, 255,
                               FireColors32.data());
        benchmark::DoNotOptimize(Dst.DIB->PBitsReadOnly());
    }
};

struct TPixman {
    std::vector<uint32_t> DstBits;
    std::vector<uint8_t> FieldBits;
    pixman_indexed_t Palette{};
    pixman_image_t *Dst, *Field;
    TPixman() : DstBits(size_t(kDstW) * kDstH, 0x00102030), FieldBits(size_t(kFieldW) * kFieldH) {
        const std::unique_ptr<TVelaFire> fire = BurntFire();
        const TDIBX& field = fire->GetField();
        for (int y = 0; y < kFieldH; ++y)
            for (int x = 0; x < kFieldW; ++x) FieldBits[size_t(y) * kFieldW + x] = uint8_t(field.GetPixel(x, y));
        // Heats below the threshold add nothing, as ours skips them.
        for (int i = 0; i < 256; ++i) Palette.rgba[i] = i < kThreshold ? 0 : 0xFF000000 | FireColors32[size_t(i)];
        Dst = pixman_image_create_bits(PIXMAN_x8r8g8b8, kDstW, kDstH, DstBits.data(), kDstW * 4);
        Field = pixman_image_create_bits(PIXMAN_c8, kFieldW, kFieldH, reinterpret_cast<uint32_t*>(FieldBits.data()),
                                         kFieldW);
        pixman_image_set_indexed(Field, &Palette);
        pixman_transform_t t;
        pixman_transform_init_scale(&t, pixman_double_to_fixed(1.0 / kZoom), pixman_double_to_fixed(1.0 / kZoom));
        pixman_image_set_transform(Field, &t);
        pixman_image_set_filter(Field, PIXMAN_FILTER_NEAREST, nullptr, 0);
    }
    ~TPixman() {
        pixman_image_unref(Field);
        pixman_image_unref(Dst);
    }
    void Run() {
        pixman_image_composite32(PIXMAN_OP_ADD, Field, nullptr, Dst, 0, 0, 0, 0, kDest.Left, kDest.Top,
                                 kFieldW * kZoom, kFieldH * kZoom);
        benchmark::DoNotOptimize(DstBits.data());
    }
};

template <class T>
void BM_Draw(benchmark::State& State) {
    T t;
    for (auto _ : State) t.Run();
    State.SetItemsProcessed(State.iterations() * kFieldW * kZoom * kFieldH * kZoom);
}
void BM_FireDraw(benchmark::State& State) { BM_Draw<TOurs>(State); }
void BM_PixmanIndexedAdd(benchmark::State& State) { BM_Draw<TPixman>(State); }

// Ours and pixman's one after the other in each iteration, so that a busy machine slows both
// alike: "x_pixman" is our time over pixman's.
void BM_RatioToPixman(benchmark::State& State) {
    TOurs ours;
    TPixman pixman;
    uint64_t ourTime = 0, pixmanTime = 0;
    for (auto _ : State) {
        uint64_t start = platform::ClockNs();
        ours.Run();
        ourTime += platform::ClockNs() - start;
        start = platform::ClockNs();
        pixman.Run();
        pixmanTime += platform::ClockNs() - start;
    }
    State.counters["x_pixman"] = double(ourTime) / double(pixmanTime);
}

// One step of the flames rising through the 160 x 30 field.
void BM_FireBurn(benchmark::State& State) {
    const std::unique_ptr<TVelaFire> fire = BurntFire();
    for (auto _ : State) {
        fire->Burn();
        benchmark::DoNotOptimize(fire->GetField().DIB->PBitsReadOnly());
    }
    State.SetItemsProcessed(State.iterations() * kFieldW * kFieldH);
}

}  // namespace

BENCHMARK(BM_FireDraw)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PixmanIndexedAdd)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RatioToPixman)->Unit(benchmark::kMicrosecond)->MinTime(1.0);
BENCHMARK(BM_FireBurn)->Unit(benchmark::kMicrosecond);
