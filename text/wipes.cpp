#include "text/wipes.h"

#include "core/header_vocab.h"
#include "graphics/dibx.h"
#include "text/wipes_effects.h"
#include "text/wipes_mask.h"
#include "text/wipes_pixels.h"

TCustomWipe::TCustomWipe(TCustomDIBX& ADest, TCustomDIBX& AOldPicture, TCustomDIBX& ANewPicture)
    : Dest(&ADest), OldPicture(&AOldPicture), NewPicture(&ANewPicture) {}

void TCustomWipe::SetReverse(bool Value) { Reverse = Value; }

int32_t TCustomWipe::GetParam(int32_t Index) const { return Index == 0 || Index == 1 ? Param[Index] : 0; }

void TCustomWipe::SetParam(int32_t Index, int32_t Value) {
    if (Index == 0 || Index == 1) Param[Index] = Value;
}

void TCustomWipe::SetName(const std::string& Name) { MaskName = Name; }

bool TCustomWipe::Step() { return StepFinished(); }

bool TCustomWipe::StepFinished() {
    UpdateRect = Dest->GetBoundsRect();
    return Length <= Elapsed || Length <= 0;
}

namespace {

using TWipeMaker = std::unique_ptr<TCustomWipe> (*)(TCustomDIBX&, TCustomDIBX&, TCustomDIBX&);

template <class T>
std::unique_ptr<TCustomWipe> MakeWipe(TCustomDIBX& Dest, TCustomDIBX& OldPicture, TCustomDIBX& NewPicture) {
    return std::make_unique<T>(Dest, OldPicture, NewPicture);
}

// One row per built type: its class and its two default parameters.
struct TWipeRow {
    TWipeType Type;
    TWipeMaker Make;
    int32_t Default0, Default1;
};

constexpr TWipeRow WipeCatalogue[] = {
    {WP_BLINDH, MakeWipe<TWipeBlindH>, 20, 1},
    {WP_BLINDV, MakeWipe<TWipeBlindV>, 20, 1},
    {WP_CURTAINH, MakeWipe<TWipeCurtainH>, 30, 1},
    {WP_CURTAINV, MakeWipe<TWipeCurtainV>, 30, 1},
    {WP_GRID, MakeWipe<TWipeGrid>, 80, 30},
    {WP_GRIDH, MakeWipe<TWipeGridH>, 80, 30},
    {WP_GRIDV, MakeWipe<TWipeGridV>, 80, 30},
    {WP_DITHER, MakeWipe<TWipeDither>, 0, 0},
    {WP_MASKFADE, MakeWipe<TWipeShadow>, 0, 0},
    {WP_CLOCKHAND, MakeWipe<TWipeClockhand>, 0, 0},
    {WP_FAN, MakeWipe<TWipeFan>, 0, 0},
    {WP_WFAN, MakeWipe<TWipeWFan>, 0, 0},
    {WP_CIRCLE, MakeWipe<TWipeCircle>, 0, 0},
    {WP_BLOCKCOIL, MakeWipe<TWipeBlockCoil>, 60, 0},
    {WP_BLOCKRANDOM, MakeWipe<TWipeBlockRandom>, 60, 0},
    {WP_FADE, MakeWipe<TWipeFade>, 0, 0},
    {WP_SCROLLH, MakeWipe<TWipeScrollH>, 0, 0},
    {WP_SCROLLV, MakeWipe<TWipeScrollV>, 0, 0},
    {WP_WHITE, MakeWipe<TWipeWhite>, 0, 0},
    {WP_BLACK, MakeWipe<TWipeBlack>, 0, 0},
    {WP_FLASH, MakeWipe<TWipeFlash>, 0, 0},
    {WP_MOSAIC, MakeWipe<TWipeMosaic>, 0, 0},
    {WP_SUDAREH, MakeWipe<TWipeSudareH>, 0, 0},
    {WP_SUDAREV, MakeWipe<TWipeSudareV>, 0, 0},
    {WP_SPOT, MakeWipe<TWipeSpot>, 0, 0},
    {WP_MASKWHITE, MakeWipe<TWipeShadowWhite>, 0, 0},
    {WP_MASKBLACK, MakeWipe<TWipeShadowBlack>, 0, 0},
    {WP_SMALL, MakeWipe<TWipeSmall>, 0, 0},
    {WP_BIG, MakeWipe<TWipeBig>, 0, 0},
    {WP_RIPPLE, MakeWipe<TWipeRipple>, 5, 0},
    {WP_BLURWHITE, MakeWipe<TWipeBlurWhite>, 0, 0},
    {WP_BLURBLACK, MakeWipe<TWipeBlurBlack>, 0, 0},
    {WP_TWISTH, MakeWipe<TWipeTwistH>, 0, 0},
    {WP_TWISTV, MakeWipe<TWipeTwistV>, 0, 0},
    {WP_CRACK, MakeWipe<TWipeCrack>, 64, 3},
    {WP_ZOOMIN, MakeWipe<TWipeZoomin>, 0, 0},
    {WP_RUBBERH, MakeWipe<TWipeRubberH>, 0, 0},
    {WP_RUBBERV, MakeWipe<TWipeRubberV>, 0, 0},
};

}  // namespace

std::unique_ptr<TCustomWipe> CreateWipe(int32_t Type, TCustomDIBX& Dest, TCustomDIBX& OldPicture,
                                        TCustomDIBX& NewPicture) {
    for (const TWipeRow& row : WipeCatalogue) {
        if (row.Type != Type) continue;
        std::unique_ptr<TCustomWipe> wipe = row.Make(Dest, OldPicture, NewPicture);
        wipe->SetParam(0, row.Default0);
        wipe->SetParam(1, row.Default1);
        return wipe;
    }
    return nullptr;
}
