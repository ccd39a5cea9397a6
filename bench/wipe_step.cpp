// Screen transitions at 800 x 600, 32 bits. A mask step at a new level (the mask-image fade
// through a photo-like grey image: the mask rebuilt, then the two pictures composed through it)
// against pixman's OVER of the new picture through the same 8-bit mask onto a copy of the old,
// and the cross-fade at a new alpha against pixman's OVER through a constant mask.
#include "core/streams.h"
#include "core/vrfiles_manager.h"
#include "graphics/dib.h"
#include "graphics/dibx.h"
#include "photo.h"
#include "script/services.h"
#include "text/wipes_effects.h"
#include "text/wipes_mask.h"

#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr int kW = 800, kH = 600, kLength = 1000;

// The old and new pictures: the photo and its mirror image.
struct TPictures {
    TDIBX Dest, Old, New;
    TPictures() {
        const std::vector<uint8_t> photo = MakePhotoRGBA(kW, kH);
        for (TDIBX* d : {&Dest, &Old, &New}) d->SetSize(kW, kH, 32);
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                const uint8_t* p = &photo[(size_t(y) * kW + size_t(x)) * 4];
                Old.SetPixel(x, y, uint32_t(p[0]) << 16 | p[1] << 8 | p[2]);
                New.SetPixel(kW - 1 - x, y, uint32_t(p[2]) << 16 | p[0] << 8 | p[1]);
            }
    }
};

// The mask image, a grey BMP of the photo, served by a file manager of its own.
class TMaskFiles {
public:
    TMaskFiles() {
        CreateVrFileSystem();
        VrFileManager->SetCdRoots({});
        VrFileManager->Add("");
        CreateScriptServices();
        const std::vector<uint8_t> photo = MakePhotoRGBA(kW, kH);
        TDIB grey;
        grey.SetSize(kW, kH, 8);
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) grey.SetPixel(x, y, photo[(size_t(y) * kW + size_t(x)) * 4 + 1]);
        TMemoryStream bmp;
        grey.SaveToStream(bmp);
        VrFileManager->GetCollection(0).AddStream("mask.bmp").DataSource->WriteBuffer(bmp.Memory(), bmp.Size());
    }
    ~TMaskFiles() {
        FreeScriptServices();
        FreeVrFileSystem();
    }
};

// Elapsed of iteration I: every one a new mask level, over the whole middle of the fade.
constexpr int kLevels = 100;
int32_t ElapsedOf(int64_t I) { return int32_t(200 + (I % kLevels) * 6); }

// Our side: one step of the transition at a new level per iteration.
void RunSteps(benchmark::State& State, TCustomWipe& Wipe, TPictures& Pictures) {
    int64_t i = 0;
    for (auto _ : State) {
        Wipe.Elapsed = ElapsedOf(i++);
        Wipe.Step();
        benchmark::DoNotOptimize(Pictures.Dest.DIB->PBitsReadOnly());
    }
    State.SetItemsProcessed(State.iterations() * kW * kH);
}

void BM_WipeMaskStep(benchmark::State& State) {
    TMaskFiles files;
    TPictures pictures;
    TWipeShadow wipe(pictures.Dest, pictures.Old, pictures.New);
    wipe.Length = kLength;
    wipe.SetName("mask.bmp");
    wipe.Prepare();
    RunSteps(State, wipe, pictures);
}
BENCHMARK(BM_WipeMaskStep)->Unit(benchmark::kMicrosecond);

// The rows of a surface, top row first, copied into a packed buffer.
template <class T>
std::vector<T> Packed(TDIBX& S) {
    std::vector<T> out(size_t(S.GetWidth()) * size_t(S.GetHeight()));
    for (int y = 0; y < S.GetHeight(); ++y)
        std::memcpy(&out[size_t(y) * size_t(S.GetWidth())], S.Lock(0, y), size_t(S.GetWidth()) * sizeof(T)), S.Unlock();
    return out;
}

// pixman's side of a step: a copy of the old picture, then the new one composed OVER it through
// the mask of the level the iteration visits; the masks are freed afterwards.
void RunPixmanOver(benchmark::State& State, TPictures& Pictures, const std::vector<pixman_image_t*>& Masks) {
    std::vector<uint32_t> oldBits = Packed<uint32_t>(Pictures.Old), newBits = Packed<uint32_t>(Pictures.New);
    std::vector<uint32_t> dstBits(oldBits.size());
    pixman_image_t* dst = pixman_image_create_bits(PIXMAN_x8r8g8b8, kW, kH, dstBits.data(), kW * 4);
    pixman_image_t* src = pixman_image_create_bits(PIXMAN_x8r8g8b8, kW, kH, newBits.data(), kW * 4);
    int64_t i = 0;
    for (auto _ : State) {
        std::memcpy(dstBits.data(), oldBits.data(), oldBits.size() * 4);
        pixman_image_composite32(PIXMAN_OP_OVER, src, Masks[size_t(i++ % kLevels)], dst, 0, 0, 0, 0, 0, 0, kW, kH);
        benchmark::DoNotOptimize(dstBits.data());
    }
    State.SetItemsProcessed(State.iterations() * kW * kH);
    for (pixman_image_t* m : Masks) pixman_image_unref(m);
    pixman_image_unref(src);
    pixman_image_unref(dst);
}

void BM_PixmanMaskOver(benchmark::State& State) {
    TMaskFiles files;
    TPictures pictures;
    // The same masks as the transition's, one per level the loop visits.
    TWipeShadow wipe(pictures.Dest, pictures.Old, pictures.New);
    wipe.Length = kLength;
    wipe.SetName("mask.bmp");
    wipe.Prepare();
    std::vector<std::vector<uint8_t>> masks;
    for (int64_t i = 0; i < kLevels; ++i) {
        wipe.Elapsed = ElapsedOf(i);
        wipe.BuildMask();
        masks.push_back(Packed<uint8_t>(*wipe.Mask));
    }
    std::vector<pixman_image_t*> maskImages;
    for (auto& m : masks)
        maskImages.push_back(pixman_image_create_bits(PIXMAN_a8, kW, kH, reinterpret_cast<uint32_t*>(m.data()), kW));
    RunPixmanOver(State, pictures, maskImages);
}
BENCHMARK(BM_PixmanMaskOver)->Unit(benchmark::kMicrosecond);

// The cross-fade at a new alpha every step against pixman's OVER of the new picture through a
// constant mask of the same alpha onto a copy of the old.
void BM_WipeFadeStep(benchmark::State& State) {
    TPictures pictures;
    TWipeFade wipe(pictures.Dest, pictures.Old, pictures.New);
    wipe.Length = kLength;
    wipe.Prepare();
    RunSteps(State, wipe, pictures);
}
BENCHMARK(BM_WipeFadeStep)->Unit(benchmark::kMicrosecond);

void BM_PixmanFadeOver(benchmark::State& State) {
    TPictures pictures;
    std::vector<pixman_image_t*> masks;
    for (int64_t i = 0; i < kLevels; ++i) {
        const uint16_t alpha = uint16_t(std::min(ElapsedOf(i) * 256 / kLength, 255) * 257);
        const pixman_color_t colour{0, 0, 0, alpha};
        masks.push_back(pixman_image_create_solid_fill(&colour));
    }
    RunPixmanOver(State, pictures, masks);
}
BENCHMARK(BM_PixmanFadeOver)->Unit(benchmark::kMicrosecond);

}  // namespace
