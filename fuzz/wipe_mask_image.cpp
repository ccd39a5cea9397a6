// The three mask-image transitions prepared from arbitrary mask-file bytes, read as a PNG, a BMP
// and a Mira file by name: each either raises one of the engine's own errors from Prepare or gives
// thresholds of one grey per screen pixel, after which its steps compose the small screen.
// Seed corpus: a small PNG and BMP of random colours from tests/tools/wipe_mask_ref.py image, a Mira file of the
// mira_read corpus.
#include "core/header_vocab.h"
#include "fuzz/harness.h"
#include "graphics/dibx.h"
#include "text/wipes_mask.h"
#include "text/wipes_pixels.h"

#include <memory>
#include <vector>

namespace {

using fuzz::Check;

constexpr int32_t kWidth = 24, kHeight = 16;

const std::vector<int32_t>& ThresholdsOf(TCustomWipe& Wipe) {
    if (auto* shadow = dynamic_cast<TWipeShadow*>(&Wipe)) return shadow->Thresholds.Values;
    return dynamic_cast<TWipeShadowWhite&>(Wipe).Thresholds.Values;
}

void PrepareAndStep(const std::string& Name, int32_t Type) {
    TDIBX dest, oldPicture, newPicture;
    for (TDIBX* d : {&dest, &oldPicture, &newPicture}) d->SetSize(kWidth, kHeight, 32);
    for (bool reverse : {false, true}) {
        const std::unique_ptr<TCustomWipe> wipe = CreateWipe(Type, dest, oldPicture, newPicture);
        Check(wipe != nullptr);
        wipe->Length = 100;
        wipe->SetReverse(reverse);
        wipe->SetName(Name);
        try {
            wipe->Prepare();
        } catch (const EVelaError&) {
            continue;
        }
        const std::vector<int32_t>& thresholds = ThresholdsOf(*wipe);
        Check(thresholds.size() == size_t(kWidth * kHeight));
        for (int32_t t : thresholds) Check(-255 <= t && t <= 0);
        for (int32_t elapsed : {0, 40, 99}) {
            wipe->Elapsed = elapsed;
            Check(!wipe->Step());
        }
    }
}

}  // namespace

int TestOneInput(const uint8_t* Data, size_t Size) {
    fuzz::TWorld world;
    for (const char* name : {"mask.png", "mask.bmp", "mask.mra"}) {
        world.AddFile(name, Data, Size);
        for (int32_t type : {WP_MASKFADE, WP_MASKWHITE, WP_MASKBLACK}) PrepareAndStep(name, type);
    }
    return 0;
}
