// The page flip of the object root: the transition between the two layers, what the screen
// manager presents while it runs, and where the keyboard focus goes.
#include "media/screenman.h"
#include "objects/vitems.h"
#include "objects/vitems_kinds.h"
#include "platform/display.h"
#include "text/wipes.h"

#include <gtest/gtest.h>

namespace {

constexpr int32_t W = 64, H = 48;

class Flip : public ::testing::Test {
protected:
    void SetUp() override {
        VelaInitialize();
        Bases->SetWidth(W);
        Bases->SetHeight(H);
        panel.SetBounds(0, 0, W, H);
        display.setBounds(0, 0, W, H);
        ScreenMan = new TScreenManager(&display, &panel, W, H, 0, 0);
        Screen().FillRect(Screen().GetBoundsRect(), Screen().ColorToPixel(0x0000FF));
    }
    void TearDown() override {
        VelaFinalize();
        delete ScreenMan;
        ScreenMan = nullptr;
    }
    static TCustomDIBX& Screen() { return *ScreenMan->GetSurface(); }
    static TVelaBase& Layer(int Index) { return *Bases->GetBase(Index); }
    // A box of Color on Parent over R.
    static TVelaControl* Box(TVelaControl& Parent, TRect R, int32_t Color) {
        auto* box = static_cast<TVelaControl*>(Bases->CreateObject(LT_BOX));
        box->SetParent(&Parent);
        box->SetLeft(R.Left), box->SetTop(R.Top), box->SetWidth(R.Right - R.Left), box->SetHeight(R.Bottom - R.Top);
        box->SetColor(Color);
        return box;
    }
    // One drawn tick: the root draws, the screen manager presents.
    static void DrawTick() {
        Bases->Prepare();
        ScreenMan->Present();
    }

    platform::HeadlessDisplay display;
    TBasePanel panel;
};

TEST_F(Flip, TheTransitionRunsFromTheShownScreenToTheOtherLayerOnTheDisplay) {
    Box(Layer(1), {0, 0, W, H}, 0x00FF00);
    TCustomWipe* wipe = Bases->BeginTransition(0, 13, true, true, 5, 400);
    ASSERT_NE(wipe, nullptr);
    EXPECT_EQ(std::vector({wipe->Dest, wipe->OldPicture, wipe->NewPicture}),
              std::vector<TCustomDIBX*>({&Screen(), &Layer(0).Surface, &Layer(1).Surface}));
    EXPECT_TRUE(wipe->Reverse);
    EXPECT_EQ(wipe->Elapsed, 5);
    EXPECT_EQ(Bases->GetTransitionLength(), 400);
    // The layer kept current took the picture on the screen as its own.
    EXPECT_EQ(Layer(0).Surface.GetPixel(3, 3), Screen().ColorToPixel(0x0000FF));
    DrawTick();
    DrawTick();
    EXPECT_EQ(display.frames.back().rects, (std::vector<platform::PixelRect>{{0, 0, W, H}}));
    EXPECT_EQ(Layer(1).Surface.GetPixel(3, 3), Layer(1).Surface.ColorToPixel(0x00FF00));

    // A flip that is not forced keeps the running transition and only moves its time.
    EXPECT_EQ(Bases->BeginTransition(0, 2, false, false, 99, 0), nullptr);
    EXPECT_EQ(wipe->Elapsed, 99);
    Bases->SetTransitionElapsed(400);
    // Its time run out, it draws nothing more.
    Screen().FillRect(Screen().GetBoundsRect(), Screen().ColorToPixel(0x123456));
    DrawTick();
    EXPECT_EQ(Screen().GetPixel(5, 5), Screen().ColorToPixel(0x123456));

    // Forced without a type: the other layer is shown straight on the screen, nothing runs.
    EXPECT_EQ(Bases->BeginTransition(1, 0, false, true, 0, 0), nullptr);
    EXPECT_EQ(Bases->GetTransitionLength(), 0);
    DrawTick();
    EXPECT_EQ(Screen().GetPixel(3, 3), Screen().ColorToPixel(0x00FF00));
    EXPECT_TRUE(RectIsEmpty(Bases->TransRect));
}

TEST_F(Flip, TheFocusStaysOnlyOnTheLayerMadeCurrent) {
    TVelaControl* front = Box(Layer(0), {0, 0, 8, 8}, 0);
    TVelaControl* back = Box(Layer(1), {0, 0, 8, 8}, 0);
    // Focuses Focused with no transition running, then flips to Layer: what holds the focus
    // afterwards, and whether a new choice was asked for.
    auto flip = [&](TVelaControl* Focused, int32_t ToLayer, uint8_t Type, bool Forced) {
        Bases->BeginTransition(0, 0, false, true, 0, 0);
        Bases->SetFocus(Focused);
        Bases->BeginTransition(ToLayer, Type, false, Forced, 0, 9);
        return std::pair{Bases->GetFocus(), Bases->FocusUpdateRequested()};
    };
    using TFocus = std::pair<TVelaControl*, bool>;
    EXPECT_EQ(flip(front, 0, 0, true), TFocus(front, false));
    EXPECT_EQ(flip(front, 1, 0, true), TFocus(nullptr, true));
    EXPECT_EQ(flip(nullptr, 0, 0, true), TFocus(nullptr, true));
    EXPECT_EQ(flip(back, 1, 1, false), TFocus(back, false));   // a new transition
    EXPECT_EQ(flip(front, 0, 0, false), TFocus(front, false));  // nothing new: no focus rule

    // While a transition runs an unforced flip leaves the focus alone.
    Bases->BeginTransition(0, 1, false, true, 0, 9);
    Bases->SetFocus(front);
    Bases->BeginTransition(1, 1, false, false, 0, 9);
    EXPECT_EQ(Bases->GetFocus(), front);
}

TEST_F(Flip, AModeSwitchFreesTheTransitionAndClearingTheSceneEndsTheWipe) {
    Bases->BeginTransition(0, 19, false, true, 0, 300);
    Bases->FreePrivateDIBs();
    Bases->MakePrivateDIBs();
    EXPECT_EQ(Bases->GetTransitionLength(), 0);
    Bases->BeginTransition(0, 19, false, true, 0, 300);
    Bases->Clear();
    EXPECT_EQ(Bases->GetTransitionLength(), 0);
    // The current layer draws straight into the screen again.
    EXPECT_EQ(Layer(0).GetSurface(), &Screen());
}

}  // namespace
