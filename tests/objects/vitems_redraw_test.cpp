// What the window shows after an object goes, hides or moves: a window built only from the
// rectangles the screen manager presented matches the layer drawn whole again.
#include "media/screenman.h"
#include "objects/vitemex_button.h"
#include "tests/common/presented_window.h"
#include "tests/objects/image_kinds_fixture.h"
#include "text/fontpixels.h"

#include <functional>

namespace {

class Redraw : public ImageKindsTest {
protected:
    void SetUp() override {
        ImageKindsTest::SetUp();
        FontPixelManager = new TFontPixelManager(platform::CreateFakeFontService);
        display.setBounds(0, 0, Bases->GetWidth(), Bases->GetHeight());
        ScreenMan = new TScreenManager(&display, &panel, Bases->GetWidth(), Bases->GetHeight(), 0, 0);
        panel.SetBounds(0, 0, Bases->GetWidth(), Bases->GetHeight());
        Cache->Source->Files["a.mra"] = {{8, 4, 100, false}};
    }
    void TearDown() override {
        delete ScreenMan;
        ScreenMan = nullptr;
        delete FontPixelManager;
        FontPixelManager = nullptr;
        ImageKindsTest::TearDown();
    }
    TVelaBox* Box(const std::string& Name, TVelaControl* Parent, const TRect& R, int32_t Color) {
        auto* box = Make<TVelaBox>(Name);
        box->SetParent(Parent);
        box->SetBounds(R.Left, R.Top, R.Right - R.Left, R.Bottom - R.Top);
        box->SetColor(Color);
        return box;
    }
    // One tick drawn and presented as the player's loop does it.
    void Shown() {
        Tick(15);
        Bases->Prepare();
        ScreenMan->Present();
    }

    platform::HeadlessDisplay display;
    TPresentedWindow window{display};
    TBasePanel panel;
};

TEST_F(Redraw, WhatAnObjectCoveredIsShownAgainOnceItGoesHidesOrMoves) {
    TVelaBase* layer = Bases->GetBase(0);
    TVelaBox* panelBox = Box("panel", layer, {2, 2, 30, 20}, 0x00FF00);
    Box("inner", panelBox, {4, 4, 12, 12}, 0xFF0000);
    TVelaBox* spare = Box("spare", layer, {40, 2, 60, 12}, 0x0000FF);
    // A caption wider and taller than its button spills over its edges.
    auto* button = Make<TVelaButton>("button");
    button->SetSource("a.mra");
    button->SetLeft(36);
    button->SetTop(20);
    button->SetFontheight(10);
    button->SetFontcolor(0xFFFFFF);
    button->SetText("WIDE");
    // A box that goes by itself at the end of its film, a second in.
    TVelaBox* filmed = Box("filmed", layer, {20, 22, 26, 28}, 0xFFFF00);
    filmed->SetAutoscrap(true);
    filmed->SetSource("a.vmt");
    Shown();
    ASSERT_EQ(window.StalePixels(panel), "");

    const std::pair<const char*, std::function<void()>> changes[] = {
        {"hidden", [&] { spare->SetVisible(false); }},
        {"moved", [&] { panelBox->SetLeft(4); }},
        {"caption changed", [&] { button->SetText("W"); }},
        {"caption grown", [&] { button->SetFontheight(14); }},
        {"deleted with its child", [&] { panelBox->Delete(); }},
        {"button deleted", [&] { button->Delete(); }},
        {"played out", [&] { while (Bases->FindObject("filmed")) Tick(15); }},
        {"scene cleared", [] { Bases->Clear(); }},
    };
    for (const auto& [what, change] : changes) {
        change();
        Shown();
        Shown();
        EXPECT_EQ(window.StalePixels(panel), "") << what;
    }
    EXPECT_EQ(Bases->GetObjectCount(), 0);
}

}  // namespace
