// The selection menu on a headless layer: opening and closing with and without a delay, its
// deletion once the close handlers ran, keys and both right-click cancels with their effect on
// @SelStr, and the menu record against tests/tools/menu_records.py.
#include "graphics/graphic.h"
#include "objects/vitemex_menu.h"
#include "tests/objects/listbox_fixture.h"

namespace {

using Events = std::vector<TListEvent>;

class MenuScene : public ListScene {
protected:
    TVelaMenu* MakeMenu(const std::string& Text, int32_t Delay) {
        TVelaMenu* menu = MakeList<TVelaMenu>(Text);
        menu->SetDelay(Delay);
        menu->SetHandlekey(true);
        menu->SetRclickscrap(true);
        menu->SetOnopening("opening");
        menu->SetOnopened("opened");
        menu->SetOnclosing("closing");
        menu->SetOnclosed("closed");
        menu->SetOnmapin("");
        return menu;
    }
    bool Gone() const { return Bases->FindObject("list") == nullptr; }
};

TEST_F(MenuScene, DelayZeroOpensAtOnceAndTheMenuGoesOnceItsCloseHandlersRan) {
    TVelaMenu* menu = MakeMenu("A\r\nBB", 0);
    EXPECT_EQ(menu->GetPlayState(), 2);
    menu->SetPlayState(1);
    EXPECT_EQ(Bases->GetFocus(), menu);
    EXPECT_EQ(Tick(), (Events{{"opening", {}}}));
    EXPECT_EQ(menu->GetHeight(), 0);
    EXPECT_EQ(Tick(), Events{});
    EXPECT_EQ(Tick(), (Events{{"opened", {}}}));
    EXPECT_EQ(menu->GetHeight(), 2 * 12 + 2 + 2 + 4);

    menu->SetPlayState(3);
    EXPECT_EQ(Tick(), (Events{{"closing", {}}}));
    EXPECT_TRUE(menu->IsSelecting());
    EXPECT_EQ(Tick(), (Events{{"closed", {}}}));
    // A close handler still queued (or running) keeps the menu.
    Bases->GetEvents().Add(menu, "closed", nullptr, PR_ONCLOSED);
    Tick();
    EXPECT_FALSE(Gone());
    Tick();
    EXPECT_TRUE(Gone());
}

TEST_F(MenuScene, AnimatedHeightIsWorkedOutIn64Bits) {
    std::string text;
    for (int i = 0; i < 400; ++i) text += "x\r\n";
    TVelaMenu* menu = MakeMenu(text, 1000000);
    menu->SetRowcount(400);
    menu->SetPlayState(1);
    Tick();
    Tick();  // the animation starts now
    Tick(500000);
    const int32_t full = 400 * 12 + 399 * 2 + 2 + 4;
    EXPECT_EQ(menu->GetHeight(), full / 2);  // full x 500000 overflows 32 bits
    EXPECT_EQ(menu->GetOrigheight(), full);
    Tick(500000);
    EXPECT_EQ(menu->GetHeight(), full);
    EXPECT_EQ(menu->GetOrigheight(), full);

    menu->SetPlayState(3);
    Tick();
    Tick(250000);
    EXPECT_EQ(menu->GetHeight(), full - full / 4);
    EXPECT_EQ(menu->GetOrigheight(), full);
    menu->SetPlayState(2);  // closing at once keeps the object at height 0
    EXPECT_EQ(menu->GetHeight(), 0);
    EXPECT_EQ(menu->GetOpenState(), 0);
}

TEST_F(MenuScene, EnterSelectsOnceWithAutoScrapAndEscapeCancels) {
    TVelaMenu* menu = MakeMenu("A\r\nBB\r\nCCC", 0);
    menu->SetAutoscrap(true);
    menu->SetPlayState(0);
    menu->SetPlayState(1);  // an open menu ignores an opening
    EXPECT_EQ(menu->GetOpenState(), 0);
    TakeEvents();
    Key(13);  // no hover row: nothing
    EXPECT_EQ(menu->GetIndex(), 0);
    Key(40);
    Key(40);
    EXPECT_EQ(Key(13), (Events{{"sel", {"BB", "1"}}, {"closing", {}}, {"closed", {}}}));
    EXPECT_EQ(ParamMan->SelStr(), "BB");
    EXPECT_EQ(ParamMan->SelIndex(), 1);
    EXPECT_EQ(Key(32), Events{});  // already selecting
    Tick();
    EXPECT_TRUE(Gone());

    TVelaMenu* other = MakeMenu("A", 0);
    other->SetPlayState(0);
    TakeEvents();
    EXPECT_EQ(Key(27), Events{});
    EXPECT_EQ(other->GetPlayState(), 3);
    EXPECT_EQ(Tick(), (Events{{"closing", {}}}));
    EXPECT_EQ(Tick(), (Events{{"closed", {}}}));
    EXPECT_EQ(ParamMan->SelStr(), "BB");
}

TEST_F(MenuScene, RightClickAnywhereKeepsTheSelectionOnTheMenuItClearsIt) {
    TVelaMenu* menu = MakeMenu("A\r\nBB", 0);
    menu->SetPlayState(0);
    TakeEvents();
    ParamMan->SetSelStr("kept");
    ParamMan->SetSelIndex(4);
    Move(100, 80);  // the bare layer
    RightClick();
    EXPECT_EQ(Tick(), Events{});
    EXPECT_EQ(menu->GetPlayState(), 3);
    EXPECT_EQ(ParamMan->SelStr(), "kept");
    EXPECT_EQ(ParamMan->SelIndex(), 4);

    // Already selecting, it lets the next press through to itself: a cancel on the menu.
    Layer->RightHeld = false;
    Move(20, 14);
    RightClick();
    EXPECT_EQ(Tick(), (Events{{"closing", {}}}));
    EXPECT_EQ(ParamMan->SelStr(), "");
    EXPECT_EQ(ParamMan->SelIndex(), -1);

    // Without RClickScrap the press is the control's own.
    TVelaMenu* plain = MakeMenu("A", 0);
    plain->SetName("plain");
    plain->SetRclickscrap(false);
    plain->SetOnrbtndown("right");
    plain->SetPlayState(0);
    TakeEvents();
    Layer->RightHeld = false;
    Tick();
    RightClick();
    EXPECT_EQ(Tick(), (Events{{"right", {"10", "4"}}}));
}

TEST_F(MenuScene, MenuRecordsReadAtEachGateAndAMenuMidAnimationSavesAsItLoads) {
    ExpectRecords<TVelaMenu>("menu");

    TVelaMenu* menu = MakeMenu("A\r\nBB\r\nCCC\r\nDD\r\nE", 400);
    menu->SetListValue(3, true);
    menu->SetTopindex(2);
    menu->SetPlayState(1);
    Tick();
    Tick();
    Tick(100);
    ASSERT_EQ(menu->GetHeight(), 46 / 4);
    TMemoryStream first;
    menu->SaveToStream(first);
    first.SetPosition(0);
    TVelaMenu loaded(Bases);
    loaded.SetParent(Layer);
    loaded.LoadFromStream(first, GameSaveVersion);
    EXPECT_EQ(loaded.GetHeight(), 46 / 4);
    EXPECT_EQ(loaded.GetOrigheight(), 46);
    TMemoryStream second;
    loaded.SaveToStream(second);
    EXPECT_EQ(ToHex(Bytes(second)), ToHex(Bytes(first)));

    // A record whose rows could not be drawn is refused (here already by its font size), not left
    // to fail on the next draw.
    menu->SetFontheight(536870900);
    TMemoryStream tall;
    menu->SaveToStream(tall);
    tall.SetPosition(0);
    EXPECT_THROW(loaded.LoadFromStream(tall, GameSaveVersion), EVelaError);
    // So is one whose rows are too wide at a font size a record may hold: 70 characters advancing
    // 502 pixels each.
    menu->SetFontheight(1000);
    menu->SetText(std::string(70, 'W'));
    TMemoryStream wide;
    menu->SaveToStream(wide);
    wide.SetPosition(0);
    EXPECT_THROW(loaded.LoadFromStream(wide, GameSaveVersion), EInvalidGraphic);
}

}  // namespace
