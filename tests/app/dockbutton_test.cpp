// The toolbar button: glyph frames and cells, the shared glyph lists, the layout of glyph,
// caption and arrow, the button's states and its paint on headless canvases.
#include "app/dockbutton.h"

#include "graphics/dibx.h"
#include "platform/fonts.h"
#include "text/fontpixels.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <set>

namespace {

constexpr TRGBQuad Magenta = 0xFF00FF, Black = 0, White = 0xFFFFFF, Silver = 0xC0C0C0, Grey = 0x808080,
                   Red = 0xFF0000;
constexpr TGlyphColors Colors{0xD4D0C8, 0xFFFFFF, 0x808080};

// A 32-bit strip of the size in the background colour, with the given pixels set.
struct TPixel {
    int32_t X, Y;
    TRGBQuad Color;
};
TDIB Strip(int32_t Width, int32_t Height, TRGBQuad Background, std::initializer_list<TPixel> Pixels = {}) {
    TDIB bitmap;
    bitmap.SetSize(Width, Height, 32);
    for (int32_t y = 0; y < Height; ++y)
        for (int32_t x = 0; x < Width; ++x) bitmap.SetPixel(x, y, Background);
    for (const TPixel& p : Pixels) bitmap.SetPixel(p.X, p.Y, p.Color);
    return bitmap;
}

struct TCellPixel {
    TRGBQuad Color;
    bool Transparent;
    bool operator==(const TCellPixel&) const = default;
};
TCellPixel CellPixel(const TButtonGlyph::TCell& Cell, int32_t X, int32_t Y) {
    const TImageCell& c = Cell.List->Cell(Cell.Index);
    const size_t i = size_t(Y) * Cell.List->Width() + X;
    return {c.Pixels[i], c.Transparent[i] != 0};
}

TEST(ButtonGlyph, CountsTheFramesOfItsStrip) {
    struct Case {
        int32_t Width, Height, Frames;
    };
    for (const Case& c : {Case{64, 16, 4}, Case{96, 16, 1}, Case{20, 16, 1}, Case{16, 16, 1}, Case{80, 16, 5}}) {
        TButtonGlyph glyph;
        glyph.SetGlyph(Strip(c.Width, c.Height, Magenta));
        EXPECT_EQ(glyph.NumGlyphs(), c.Frames) << c.Width << " x " << c.Height;
        EXPECT_EQ(glyph.GlyphSize(), (TPoint{c.Width / c.Frames, c.Height}));
    }
    TButtonGlyph glyph;
    glyph.SetGlyph(Strip(64, 16, Magenta));
    glyph.SetNumGlyphs(2);
    EXPECT_EQ(glyph.NumGlyphs(), 2);
    glyph.SetNumGlyphs(6);
    EXPECT_EQ(glyph.NumGlyphs(), 1);
    TImageList images(16, 16);
    glyph.SetImages(&images);
    glyph.SetNumGlyphs(3);
    EXPECT_EQ(glyph.NumGlyphs(), 1);
    glyph.SetImages(nullptr);
}

TEST(ButtonGlyph, StatesWithoutAFrameOfTheirOwnShowTheFirst) {
    // Up red, Disabled grey, Down black on a magenta background.
    TButtonGlyph glyph;
    glyph.SetGlyph(Strip(48, 16, Magenta, {{5, 5, Red}, {21, 5, Grey}, {37, 5, Black}}));
    const auto down = glyph.CreateButtonGlyph(TButtonState::bsDown);
    const auto mouseIn = glyph.CreateButtonGlyph(TButtonState::bsMouseIn);
    ASSERT_TRUE(down && mouseIn);
    EXPECT_EQ(CellPixel(*down, 5, 5), (TCellPixel{Black, false}));
    EXPECT_EQ(CellPixel(*mouseIn, 5, 5), (TCellPixel{Red, false}));
    EXPECT_EQ(CellPixel(*mouseIn, 0, 15), (TCellPixel{Magenta, true}));
    // A cell asked for again is the same.
    EXPECT_EQ(glyph.CreateButtonGlyph(TButtonState::bsDown)->Index, down->Index);
}

TEST(ButtonGlyph, TheDisabledCellIsEmbossedAndOnePixelLarger) {
    TButtonGlyph glyph;
    glyph.SetColors(Colors);
    glyph.SetGlyph(Strip(16, 16, Magenta, {{2, 2, Black}, {6, 2, White}, {8, 2, Silver}, {10, 2, Red}}));
    const auto up = glyph.CreateButtonGlyph(TButtonState::bsUp);
    const auto disabled = glyph.CreateButtonGlyph(TButtonState::bsDisabled);
    ASSERT_TRUE(up && disabled);
    EXPECT_EQ(up->List->Width(), 16);
    EXPECT_EQ(disabled->List->Width(), 17);
    EXPECT_EQ(disabled->List->Height(), 17);
    // Drawn pixels: shadow in place, highlight one pixel down and right; white, silver and the
    // transparent background draw nothing and stay transparent (the face).
    EXPECT_EQ(CellPixel(*disabled, 2, 2), (TCellPixel{Grey, false}));
    EXPECT_EQ(CellPixel(*disabled, 3, 3), (TCellPixel{White, false}));
    EXPECT_EQ(CellPixel(*disabled, 10, 2), (TCellPixel{Grey, false}));
    for (const TPoint p : {TPoint{6, 2}, TPoint{8, 2}, TPoint{0, 15}, TPoint{16, 16}})
        EXPECT_EQ(CellPixel(*disabled, p.X, p.Y), (TCellPixel{Colors.Face, true})) << p.X << "," << p.Y;

    // The old style draws from the black pixels alone.
    glyph.SetOldDisabledStyle(true);
    const auto old = glyph.CreateButtonGlyph(TButtonState::bsDisabled);
    EXPECT_EQ(CellPixel(*old, 2, 2), (TCellPixel{Grey, false}));
    EXPECT_EQ(CellPixel(*old, 10, 2), (TCellPixel{Colors.Face, true}));
}

TEST(ButtonGlyph, ASuppliedDisabledFrameTurnsWhiteAndGreyIntoTheEdgeColours) {
    TButtonGlyph glyph;
    glyph.SetColors({0xD4D0C8, 0xF0F0F0, 0x404040});
    glyph.SetGlyph(Strip(32, 16, Magenta, {{17, 1, White}, {18, 1, Grey}, {19, 1, Red}}));
    ASSERT_EQ(glyph.NumGlyphs(), 2);
    const auto cell = glyph.CreateButtonGlyph(TButtonState::bsDisabled);
    ASSERT_TRUE(cell);
    EXPECT_EQ(cell->List->Width(), 17);
    EXPECT_EQ(CellPixel(*cell, 1, 1), (TCellPixel{0xF0F0F0, false}));
    EXPECT_EQ(CellPixel(*cell, 2, 1), (TCellPixel{0x404040, false}));
    EXPECT_EQ(CellPixel(*cell, 3, 1), (TCellPixel{Red, false}));
    EXPECT_TRUE(CellPixel(*cell, 0, 0).Transparent);
    EXPECT_TRUE(CellPixel(*cell, 16, 3).Transparent);
    EXPECT_TRUE(CellPixel(*cell, 3, 16).Transparent);
}

TEST(GlyphCache, ButtonsOfOneCellSizeShareAListUntilTheLastCellGoes) {
    {
        TButtonGlyph a, b, other;
        a.SetGlyph(Strip(16, 16, Magenta));
        b.SetGlyph(Strip(32, 16, Magenta));
        other.SetGlyph(Strip(20, 20, Magenta));
        const auto cellA = a.CreateButtonGlyph(TButtonState::bsUp);
        const auto cellB = b.CreateButtonGlyph(TButtonState::bsDown);
        const auto cellOther = other.CreateButtonGlyph(TButtonState::bsUp);
        ASSERT_TRUE(cellA && cellB && cellOther);
        EXPECT_EQ(cellA->List, cellB->List);
        EXPECT_NE(cellA->List, cellOther->List);
        EXPECT_EQ(cellA->List->Count(), 2);
        ASSERT_TRUE(GlyphCache());
        EXPECT_EQ(GlyphCache()->ListCount(), 2);

        // A freed cell is taken again by the next one.
        a.Invalidate();
        EXPECT_EQ(cellB->List->Count(), 1);
        EXPECT_EQ(a.CreateButtonGlyph(TButtonState::bsMouseIn)->Index, cellA->Index);

        a.Invalidate();
        b.Invalidate();
        EXPECT_EQ(GlyphCache()->ListCount(), 1);
    }
    EXPECT_EQ(GlyphCache(), nullptr);
}

TEST(ButtonGlyph, TakesItsPictureFromAnImageList) {
    TImageList images(8, 8);
    const TDIB picture = Strip(8, 8, Magenta, {{1, 1, Black}});
    images.AddMasked(picture, Magenta);
    TButtonGlyph glyph;
    glyph.SetColors(Colors);
    glyph.SetImages(&images);
    glyph.SetImageIndex(1);
    EXPECT_FALSE(glyph.CreateButtonGlyph(TButtonState::bsUp));
    glyph.SetImageIndex(0);
    const auto up = glyph.CreateButtonGlyph(TButtonState::bsUp);
    ASSERT_TRUE(up);
    EXPECT_EQ(CellPixel(*up, 1, 1), (TCellPixel{Black, false}));
    EXPECT_EQ(CellPixel(*up, 0, 0), (TCellPixel{Colors.Face, true}));
    const auto disabled = glyph.CreateButtonGlyph(TButtonState::bsDisabled);
    EXPECT_EQ(CellPixel(*disabled, 2, 2), (TCellPixel{White, false}));
    glyph.SetImages(nullptr);
}

TEST(ImageList, RefusesPicturesSmallerThanItsCells) {
    TGlyphList list(16, 16);
    const auto message = [](auto&& F) {
        try {
            F();
        } catch (const EInvalidOperation& E) {
            return std::string(E.what());
        }
        return std::string();
    };
    EXPECT_EQ(message([&] { list.AddMasked(Strip(15, 16, Magenta), Magenta); }), "イメージサイズが正しくありません");
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.AddMasked(Strip(16, 16, Magenta), Magenta), 0);
    EXPECT_EQ(message([&] { list.Replace(1, Strip(16, 16, Magenta), nullptr); }), "イメージの置き換えができません");
    EXPECT_EQ(message([&] { list.Replace(0, Strip(16, 8, Magenta), nullptr); }), "イメージの置き換えができません");
}

// ---- Layout ----

TEST(ButtonLayout, PlacesGlyphCaptionAndArrow) {
    using L = TButtonLayout;
    struct Case {
        const char* Name;
        TButtonContentSizes Sizes;
        TPoint Text;
        TPoint Glyph, TextAt, Arrow;
    };
    // A content rectangle of 65 x 16 at (1, 1), as a 67 x 18 flat button has.
    const TRect client{1, 1, 66, 17};
    const Case cases[] = {
        // The player's caption alone: centred, the spacing dropped.
        {"caption", {L::blGlyphLeft, -1, 4, {0, 0}, {0, 0}}, {24, 12}, {22, 9}, {22, 3}, {47, 9}},
        {"glyph left", {L::blGlyphLeft, -1, 4, {16, 16}, {0, 0}}, {24, 12}, {12, 1}, {32, 3}, {57, 9}},
        {"glyph right", {L::blGlyphRight, 2, 4, {16, 16}, {0, 0}}, {24, 12}, {48, 1}, {20, 3}, {64, 9}},
        {"margin and spacing free", {L::blGlyphLeft, -1, -1, {16, 16}, {0, 0}}, {24, 12}, {9, 1}, {33, 3}, {58, 9}},
        {"spacing free", {L::blGlyphLeft, 3, -1, {16, 16}, {0, 0}}, {24, 12}, {4, 1}, {31, 3}, {56, 9}},
        {"arrow after caption", {L::blGlyphLeft, -1, 4, {0, 0}, {9, 3}}, {24, 12}, {17, 9}, {17, 3}, {42, 7}},
        // Top without a glyph is glyph-left.
        {"top without glyph", {L::blGlyphTop, -1, 4, {0, 0}, {0, 0}}, {24, 12}, {22, 9}, {22, 3}, {47, 9}},
    };
    for (const Case& c : cases) {
        const TButtonContent r = CalcButtonLayout(client, {0, 0}, c.Sizes, c.Text);
        EXPECT_EQ(r.GlyphPos, c.Glyph) << c.Name;
        EXPECT_EQ((TPoint{r.TextBounds.Left, r.TextBounds.Top}), c.TextAt) << c.Name;
        EXPECT_EQ(r.ArrowPos, c.Arrow) << c.Name;
    }
    // Pushed: everything one pixel down and right.
    const TButtonContent pushed = CalcButtonLayout(client, {1, 1}, cases[0].Sizes, {24, 12});
    EXPECT_EQ(pushed.TextBounds, (TRect{23, 4, 47, 16}));
    // A glyph on top: glyph and caption centred across, stacked along.
    const TButtonContent top = CalcButtonLayout({0, 0, 40, 40}, {0, 0}, {L::blGlyphTop, -1, 4, {16, 16}, {0, 0}}, {20, 12});
    EXPECT_EQ(top.GlyphPos, (TPoint{12, 4}));
    EXPECT_EQ(top.TextBounds, (TRect{10, 24, 30, 36}));
}

TEST(ButtonLayout, TheCaptionIsMeasuredInWhatGlyphAndArrowLeave) {
    using L = TButtonLayout;
    EXPECT_EQ(CaptionMeasureWidth(65, {L::blGlyphLeft, -1, 4, {0, 0}, {9, 3}}, false), 56);
    EXPECT_EQ(CaptionMeasureWidth(65, {L::blGlyphLeft, -1, 4, {16, 16}, {0, 0}}, false), 65);
    // With word wrap: less the glyph, the spacing and twice the margin (the spacing, then 4, for -1).
    EXPECT_EQ(CaptionMeasureWidth(65, {L::blGlyphLeft, 2, 4, {16, 16}, {0, 0}}, true), 65 - 16 - 4 - 4);
    EXPECT_EQ(CaptionMeasureWidth(65, {L::blGlyphLeft, -1, 3, {16, 16}, {0, 0}}, true), 65 - 16 - 3 - 6);
    EXPECT_EQ(CaptionMeasureWidth(65, {L::blGlyphLeft, -1, -1, {16, 16}, {0, 0}}, true), 65 - 16 - 4 - 8);
    EXPECT_EQ(CaptionMeasureWidth(65, {L::blGlyphTop, -1, 4, {16, 16}, {9, 3}}, true), 65);
}

// ---- The button ----

// A form holding buttons, the application active, and the glyph rasteriser on a fake font.
class DockButton : public testing::Test {
protected:
    void SetUp() override {
        SetApplicationActive(true);
        FontPixelManager = new TFontPixelManager(platform::CreateFakeFontService);
        form.SetBounds(0, 0, 300, 100);
    }
    void TearDown() override {
        delete FontPixelManager;
        FontPixelManager = nullptr;
    }
    // A 67 x 18 button on the form at (X, 10).
    TDockButton& Add(int32_t X, const std::string& Caption = "終了") {
        buttons.push_back(std::make_unique<TDockButton>());
        TDockButton& b = *buttons.back();
        b.SetParent(&form);
        b.SetBounds(X, 10, 67, 18);
        b.SetCaption(Caption);
        b.OnClick = [this](TControl* Sender) { clicks.push_back(Sender); };
        return b;
    }
    // The button painted alone on a red surface of its size: 0x00RRGGBB per pixel.
    struct TPicture {
        int32_t Width, Height;
        std::vector<TRGBQuad> Pixels;
        TRGBQuad At(int32_t X, int32_t Y) const { return Pixels[size_t(Y) * Width + X]; }
        // The bounding box of the pixels of a colour (empty when none).
        TRect BoxOf(TRGBQuad Color) const {
            TRect r{Width, Height, 0, 0};
            for (int32_t y = 0; y < Height; ++y)
                for (int32_t x = 0; x < Width; ++x)
                    if (At(x, y) == Color)
                        r = {std::min(r.Left, x), std::min(r.Top, y), std::max(r.Right, x + 1), std::max(r.Bottom, y + 1)};
            return r;
        }
    };
    static TPicture Picture(TDockButton& B) {
        TDIBX surface;
        surface.SetSize(B.Width(), B.Height(), 32);
        surface.Fill(surface.ColorToPixel(0x0000FF));
        TWidgetCanvas canvas(surface);
        B.PaintTo(canvas, 0);
        TPicture p{B.Width(), B.Height(), {}};
        for (int32_t y = 0; y < p.Height; ++y)
            for (int32_t x = 0; x < p.Width; ++x) p.Pixels.push_back(surface.GetPixel(x, y) & 0xFFFFFF);
        return p;
    }
    void Press(TDockButton& B, int32_t X = 30, int32_t Y = 9) {
        form.DispatchMouseMove(B.Left() + X, B.Top() + Y);
        form.DispatchMouseDown(TMouseButton::mbLeft, B.Left() + X, B.Top() + Y);
    }
    void Release(TDockButton& B, int32_t X = 30, int32_t Y = 9) {
        form.DispatchMouseMove(B.Left() + X, B.Top() + Y);
        form.DispatchMouseUp(TMouseButton::mbLeft, B.Left() + X, B.Top() + Y);
    }

    TWidgetForm form;
    std::vector<std::unique_ptr<TDockButton>> buttons;
    std::vector<TControl*> clicks;
};

constexpr TRGBQuad ButtonFace = 0xD4D0C8, Highlight = 0xFFFFFF, Shadow = 0x808080, Text = 0x000000;

TEST_F(DockButton, PaintsItsBorderOnlyWhenHoveredOrPushed) {
    TDockButton& b = Add(10);
    const TPicture rest = Picture(b);
    EXPECT_EQ(rest.At(0, 0), ButtonFace);
    EXPECT_EQ(rest.At(66, 17), ButtonFace);
    const TRect caption = rest.BoxOf(Text);
    ASSERT_FALSE(RectIsEmpty(caption));

    form.DispatchMouseMove(40, 15);
    EXPECT_EQ(b.State(), TButtonState::bsMouseIn);
    const TPicture hovered = Picture(b);
    EXPECT_EQ(hovered.At(0, 0), Highlight);
    EXPECT_EQ(hovered.At(66, 17), Shadow);
    EXPECT_EQ(hovered.BoxOf(Text), caption);

    Press(b);
    EXPECT_EQ(b.State(), TButtonState::bsDown);
    const TPicture pushed = Picture(b);
    EXPECT_EQ(pushed.At(0, 0), Shadow);
    EXPECT_EQ(pushed.At(66, 17), Highlight);
    EXPECT_EQ(pushed.BoxOf(Text), (TRect{caption.Left + 1, caption.Top + 1, caption.Right + 1, caption.Bottom + 1}));

    // Not flat: raised edges always.
    Release(b);
    b.SetFlat(false);
    form.DispatchMouseLeave();
    EXPECT_EQ(Picture(b).At(0, 0), Highlight);
}

TEST_F(DockButton, ADownGroupedButtonIsCheckeredAndADisabledCaptionEmbossed) {
    TDockButton& b = Add(10);
    b.SetGroupIndex(1);
    b.SetDown(true);
    EXPECT_EQ(b.State(), TButtonState::bsExclusive);
    const TPicture down = Picture(b);
    EXPECT_EQ(down.At(0, 0), Shadow);
    // Inside the edge, away from the caption: face and highlight alternate.
    const std::set<TRGBQuad> pair{down.At(2, 2), down.At(3, 2)};
    EXPECT_EQ(pair, (std::set<TRGBQuad>{ButtonFace, Highlight}));
    EXPECT_NE(down.At(2, 2), down.At(2, 3));
    b.SetHighlightWhenDown(false);
    EXPECT_EQ(Picture(b).At(2, 2), ButtonFace);

    TDockButton& off = Add(100);
    off.SetEnabled(false);
    EXPECT_EQ(off.State(), TButtonState::bsDisabled);
    const TPicture disabled = Picture(off);
    const TRect shadow = disabled.BoxOf(Shadow), light = disabled.BoxOf(Highlight);
    ASSERT_FALSE(RectIsEmpty(shadow));
    EXPECT_TRUE(RectIsEmpty(disabled.BoxOf(Text)));
    // The highlight copy lies one pixel right and down, under the shadow copy.
    EXPECT_EQ(light.Right, shadow.Right + 1);
    EXPECT_EQ(light.Bottom, shadow.Bottom + 1);
}

TEST_F(DockButton, ClicksOnAReleaseInsideOnly) {
    TDockButton& b = Add(10);
    Press(b);
    // Dragged out the button comes up, back in it goes down again.
    form.DispatchMouseMove(200, 60);
    EXPECT_EQ(b.State(), TButtonState::bsUp);
    form.DispatchMouseMove(20, 15);
    EXPECT_EQ(b.State(), TButtonState::bsDown);
    Release(b);
    EXPECT_EQ(clicks, (std::vector<TControl*>{&b}));
    EXPECT_NE(b.State(), TButtonState::bsDown);

    Press(b);
    form.DispatchMouseMove(200, 60);
    form.DispatchMouseUp(TMouseButton::mbLeft, 200, 60);
    EXPECT_EQ(clicks.size(), 1u);
    EXPECT_EQ(b.State(), TButtonState::bsUp);
    EXPECT_FALSE(b.Dragging());
}

TEST_F(DockButton, GroupsKeepOneButtonDown) {
    TDockButton &a = Add(0), &b = Add(70), &c = Add(140), &loose = Add(210);
    for (TDockButton* button : {&a, &b, &c}) button->SetGroupIndex(3);
    loose.SetDown(true);
    EXPECT_FALSE(loose.Down());

    a.SetDown(true);
    b.SetDown(true);
    EXPECT_FALSE(a.Down());
    EXPECT_TRUE(b.Down());
    // Down stays down unless the group allows all up; a click on it changes nothing then.
    Press(b);
    Release(b);
    EXPECT_TRUE(b.Down());
    EXPECT_EQ(b.State(), TButtonState::bsExclusive);
    c.SetAllowAllUp(true);
    EXPECT_TRUE(a.AllowAllUp() && b.AllowAllUp());
    Press(b);
    Release(b);
    EXPECT_FALSE(b.Down());
    // A click on another member takes the group.
    Press(c);
    Release(c);
    EXPECT_TRUE(c.Down());
    EXPECT_EQ(clicks.size(), 3u);
}

TEST_F(DockButton, RepeatsWhileHeldInside) {
    TDockButton& b = Add(10);
    b.Repeating = true;
    Press(b);
    EXPECT_EQ(clicks.size(), 1u);
    ASSERT_TRUE(b.RepeatTimer());
    EXPECT_EQ(b.RepeatTimer()->Interval(), 400u);
    EXPECT_TRUE(b.RepeatTimer()->Enabled());
    b.RepeatTimer()->OnTimer();
    EXPECT_EQ(b.RepeatTimer()->Interval(), 100u);
    EXPECT_EQ(clicks.size(), 2u);
    // Outside, the timer runs on without clicking; the release does not click.
    form.DispatchMouseMove(200, 60);
    b.RepeatTimer()->OnTimer();
    EXPECT_EQ(clicks.size(), 2u);
    Release(b);
    EXPECT_EQ(clicks.size(), 2u);
    EXPECT_FALSE(b.RepeatTimer()->Enabled());
}

TEST_F(DockButton, OneButtonIsHoveredAtATime) {
    TDockButton &a = Add(0), &b = Add(100);
    std::vector<std::string> events;
    for (TDockButton* button : {&a, &b}) {
        button->OnMouseEnter = [&events](TControl* S) { events.push_back("enter " + S->Caption()); };
        button->OnMouseExit = [&events](TControl* S) { events.push_back("exit " + S->Caption()); };
    }
    a.SetCaption("a");
    b.SetCaption("b");
    form.DispatchMouseMove(5, 15);
    EXPECT_EQ(TDockButton::ButtonMouseInControl(), &a);
    ASSERT_TRUE(TDockButton::ButtonMouseTimer());
    EXPECT_EQ(TDockButton::ButtonMouseTimer()->Interval(), TDockButton::MouseTimerInterval);
    EXPECT_TRUE(TDockButton::ButtonMouseTimer()->Enabled());
    form.DispatchMouseMove(105, 15);
    EXPECT_EQ(TDockButton::ButtonMouseInControl(), &b);
    // The application going inactive ends the hover.
    SetApplicationActive(false);
    EXPECT_EQ(TDockButton::ButtonMouseInControl(), nullptr);
    EXPECT_EQ(b.State(), TButtonState::bsUp);
    EXPECT_EQ(events, (std::vector<std::string>{"enter a", "exit a", "enter b", "exit b"}));
    SetApplicationActive(true);
}

TEST_F(DockButton, DefaultCancelAndAcceleratorKeysClick) {
    TDockButton &ok = Add(0, "&OK"), &cancel = Add(100, "Cancel");
    ok.Default = true;
    cancel.Cancel = true;
    EXPECT_TRUE(ok.DialogKey(VK_RETURN, 0));
    EXPECT_FALSE(ok.DialogKey(VK_RETURN, ssCtrl));
    EXPECT_FALSE(ok.DialogKey(VK_ESCAPE, 0));
    EXPECT_TRUE(cancel.DialogKey(VK_ESCAPE, 0));
    EXPECT_TRUE(ok.DialogChar('O'));
    ok.SetDisplayMode(TButtonDisplayMode::dmGlyphOnly);
    EXPECT_FALSE(ok.DialogChar('O'));
    cancel.SetEnabled(false);
    EXPECT_FALSE(cancel.DialogKey(VK_ESCAPE, 0));
    EXPECT_EQ(clicks, (std::vector<TControl*>{&ok, &cancel, &ok}));
}

TEST_F(DockButton, ADropdownButtonAsksThenRemovesTheClicksOnIt) {
    TDockButton& b = Add(10);
    TPopupMenu menu;
    std::vector<TPopupPlacement> shown;
    menu.OnPopup = [&shown](TPopupMenu&, const TPopupPlacement& P) { shown.push_back(P); };
    b.SetDropdownMenu(&menu);
    bool keepClicks = false;
    b.OnDropdown = [&keepClicks](TDockButton*, bool& ShowMenu, bool& RemoveClicks) {
        EXPECT_TRUE(ShowMenu && RemoveClicks);
        RemoveClicks = !keepClicks;
    };
    // Clicks that wait for the form: one on the button, one beside it, and something else.
    platform::MessageQueue& queue = platform::MainQueue();
    const auto at = [](int32_t X, int32_t Y) { return intptr_t(X | Y << 16); };
    queue.Post(form.Handle(), WM_LBUTTONDOWN, 0, at(20, 15));
    queue.Post(form.Handle(), WM_LBUTTONDOWN, 0, at(200, 15));
    queue.Post(form.Handle(), 0x0400, 0, at(20, 15));

    Press(b);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(menu.PopupComponent, &b);
    EXPECT_EQ(clicks.size(), 1u);
    const std::vector<platform::QueuedMessage> left =
        queue.TakeMessages([&](const platform::QueuedMessage& M) { return M.target == form.Handle(); });
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[0].message, 0x0400u);
    EXPECT_EQ(left[1].lParam, at(200, 15));
    Release(b);
    EXPECT_EQ(b.State(), TButtonState::bsMouseIn);
}

TEST_F(DockButton, FollowsItsAction) {
    TDockButton& b = Add(10);
    b.SetGroupIndex(1);
    b.SetAllowAllUp(true);
    TAction action;
    action.SetChecked(true);
    action.SetHelpContext(7);
    action.SetImageIndex(2);
    b.SetAction(&action);
    EXPECT_TRUE(b.Down());
    EXPECT_EQ(b.HelpContext, 7);
    EXPECT_EQ(b.ImageIndex(), 2);
    action.SetChecked(false);
    EXPECT_FALSE(b.Down());
    action.SetImageIndex(5);
    EXPECT_EQ(b.ImageIndex(), 5);
    // A button given an index of its own keeps it.
    b.SetImageIndex(7);
    action.SetImageIndex(6);
    b.ActionChange(action);
    EXPECT_EQ(b.ImageIndex(), 7);
    b.SetDown(true);
    TAction other;
    b.AssignTo(other);
    EXPECT_TRUE(other.Checked());
}

}  // namespace
