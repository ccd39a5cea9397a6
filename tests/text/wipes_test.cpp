// The transition catalogue: which class each type makes, its defaults through the class's own
// clamping, and the common shape of a step.
#include "text/wipes.h"

#include "core/header_vocab.h"
#include "graphics/dibx.h"
#include "text/wipes_mask.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

struct TWipeSurfaces {
    TDIBX Dest, Old, New;
    TWipeSurfaces(int W = 64, int H = 48) {
        for (TDIBX* d : {&Dest, &Old, &New}) d->SetSize(W, H, 32);
        Dest.Fill(0x111111);
        Old.Fill(0x222222);
        New.Fill(0x333333);
    }
    std::unique_ptr<TCustomWipe> Make(int Type) { return CreateWipe(Type, Dest, Old, New); }
};

template <class T>
bool Is(const TCustomWipe* W) {
    return dynamic_cast<const T*>(W) != nullptr;
}

TEST(Wipes, CatalogueMakesEachMaskClassWithItsDefaults) {
    struct TRow {
        TWipeType Type;
        std::function<bool(const TCustomWipe*)> IsClass;
        int32_t P0, P1;
    };
    const TRow rows[] = {
        {WP_BLINDH, Is<TWipeBlindH>, 20, 1},         {WP_BLINDV, Is<TWipeBlindV>, 20, 1},
        {WP_CURTAINH, Is<TWipeCurtainH>, 30, 1},     {WP_CURTAINV, Is<TWipeCurtainV>, 30, 1},
        {WP_GRID, Is<TWipeGrid>, 80, 30},            {WP_GRIDH, Is<TWipeGridH>, 80, 30},
        {WP_GRIDV, Is<TWipeGridV>, 80, 30},          {WP_DITHER, Is<TWipeDither>, 2, 1},
        {WP_MASKFADE, Is<TWipeShadow>, 2, 1},        {WP_CLOCKHAND, Is<TWipeClockhand>, 0, 0},
        {WP_FAN, Is<TWipeFan>, 0, 0},                {WP_WFAN, Is<TWipeWFan>, 0, 0},
        {WP_CIRCLE, Is<TWipeCircle>, 2, 1},          {WP_BLOCKCOIL, Is<TWipeBlockCoil>, 60, 0},
        {WP_BLOCKRANDOM, Is<TWipeBlockRandom>, 60, 0},
    };
    TWipeSurfaces s;
    for (const TRow& row : rows) {
        const auto wipe = s.Make(row.Type);
        ASSERT_TRUE(wipe) << int(row.Type);
        EXPECT_TRUE(row.IsClass(wipe.get())) << int(row.Type);
        // Defaults of 0 pass through the mask base's clamps (2 and 1) where the class keeps them.
        EXPECT_EQ(wipe->GetParam(0), row.P0) << int(row.Type);
        EXPECT_EQ(wipe->GetParam(1), row.P1) << int(row.Type);
        EXPECT_EQ(wipe->Dest, &s.Dest);
        EXPECT_EQ(wipe->OldPicture, &s.Old);
        EXPECT_EQ(wipe->NewPicture, &s.New);
        EXPECT_FALSE(wipe->Reverse || wipe->ChangedOnly || wipe->Length || wipe->Elapsed);
    }
    for (int type : {0, 39, 255, -1, 1000}) EXPECT_EQ(s.Make(type), nullptr) << type;
}

TEST(Wipes, ParametersAreClampedByTheirClass) {
    struct TRow {
        TWipeType Type;
        int32_t Index, Value, Stored;
    };
    const TRow rows[] = {
        {WP_BLINDH, 0, 0, 2},         {WP_BLINDH, 1, 0, 1},        {WP_GRID, 0, -5, 2},
        {WP_GRID, 1, 40, 40},         {WP_CURTAINH, 0, 0, 1},      {WP_CURTAINV, 1, -3, 1},
        {WP_CLOCKHAND, 0, -90, -90},  {WP_FAN, 0, 720, 720},       {WP_WFAN, 1, -1, -1},
        {WP_BLOCKCOIL, 0, 3, 3},      {WP_BLOCKRANDOM, 0, -7, -7}, {WP_BLINDV, 2, 9, 0},  // no third parameter
    };
    TWipeSurfaces s;
    for (const TRow& row : rows) {
        const auto wipe = s.Make(row.Type);
        wipe->SetParam(row.Index, row.Value);
        EXPECT_EQ(wipe->GetParam(row.Index), row.Stored) << int(row.Type) << " " << row.Index;
    }
    // The block side is settled by Prepare: at least 10, at most the surface.
    for (auto [wanted, side] : {std::pair{3, 10}, {100, 48}, {25, 25}}) {
        const auto wipe = s.Make(WP_BLOCKCOIL);
        wipe->SetParam(0, wanted);
        wipe->Prepare();
        EXPECT_EQ(wipe->GetParam(0), side);
    }
}

TEST(Wipes, AFinishedStepDrawsNothingAndPresentsTheWholeSurface) {
    TWipeSurfaces s(40, 30);
    for (int type : {WP_BLINDH, WP_DITHER, WP_CIRCLE, WP_BLOCKRANDOM}) {
        const auto wipe = s.Make(type);
        wipe->Length = 500;
        wipe->Prepare();
        for (auto [length, elapsed] : {std::pair{500, 500}, {500, 800}, {0, 0}, {0, -20}, {-5, -10}}) {
            wipe->Length = length;
            wipe->Elapsed = elapsed;
            wipe->UpdateRect = {};
            EXPECT_TRUE(wipe->Step()) << type << " " << length << " " << elapsed;
            EXPECT_EQ(wipe->UpdateRect, s.Dest.GetBoundsRect());
            EXPECT_EQ(s.Dest.GetPixel(7, 7), 0x111111u);
        }
    }
}

}  // namespace
