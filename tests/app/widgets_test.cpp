// The widget layer: the draws on a memory surface, painting a form and its children, and the
// routing of mouse and keys (capture, hover, double clicks, focus, accelerators, Enter and
// Escape).
#include "app/widgets.h"
#include "app/dockhooks.h"
#include "platform/clock.h"
#include "platform/display.h"
#include "platform/fonts.h"
#include "text/fontpixels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

namespace {

const TColor Face = GetSysColor(COLOR_BTNFACE), Light = GetSysColor(COLOR_3DLIGHT),
             Highlight = GetSysColor(COLOR_BTNHIGHLIGHT), Shadow = GetSysColor(COLOR_BTNSHADOW),
             DkShadow = GetSysColor(COLOR_3DDKSHADOW);

// A 32-bit memory surface filled with one colour.
struct Surface {
    TDIBX dib;
    Surface(int32_t W, int32_t H, TColor Fill = 0x123456) {
        dib.SetSize(W, H, 32);
        dib.Fill(dib.ColorToPixel(Fill));
    }
    TColor At(int32_t X, int32_t Y) const { return TWidgetCanvas(const_cast<TDIBX&>(dib)).GetPixel(X, Y); }
    // Every pixel of a rectangle.
    std::vector<TColor> Pixels(const TRect& R) const {
        std::vector<TColor> out;
        for (int32_t y = R.Top; y < R.Bottom; ++y)
            for (int32_t x = R.Left; x < R.Right; ++x) out.push_back(At(x, y));
        return out;
    }
    std::map<TColor, int> Histogram() const {
        std::map<TColor, int> h;
        for (TColor c : Pixels(dib.GetBoundsRect())) ++h[c];
        return h;
    }
};

// Glyphs of the fake font service: at height 12 each character is a 6 x 10 box advancing 8
// pixels, a space advances 6.
class WidgetText : public testing::Test {
protected:
    WidgetText() { FontPixelManager = new TFontPixelManager(platform::CreateFakeFontService); }
    ~WidgetText() override {
        delete FontPixelManager;
        FontPixelManager = nullptr;
    }
};

// ---- Draws ----

TEST(WidgetDraws, EdgesTakeTheirColoursPerSide) {
    struct Case {
        uint32_t Edge, Flags;
        TColor OuterTL, OuterBR, InnerTL, InnerBR;
    };
    const TColor none = 0x123456;
    const Case cases[] = {
        {EDGE_RAISED, BF_RECT, Light, DkShadow, Highlight, Shadow},
        {EDGE_SUNKEN, BF_RECT, Shadow, Highlight, DkShadow, Light},
        {EDGE_RAISED, BF_RECT | BF_SOFT, Highlight, DkShadow, Light, Shadow},
        {BDR_RAISEDINNER, BF_RECT, Highlight, Shadow, none, none},  // a flat button hovered
        {BDR_SUNKENOUTER, BF_RECT, Shadow, Highlight, none, none},  // a flat button pushed
        {EDGE_ETCHED, BF_RECT, Shadow, Highlight, Highlight, Shadow},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "edge " << c.Edge << " flags " << c.Flags);
        Surface s(10, 8);
        TWidgetCanvas canvas(s.dib);
        TRect r{0, 0, 10, 8};
        DrawEdge(canvas, r, c.Edge, c.Flags | BF_ADJUST);
        EXPECT_EQ(s.At(0, 0), c.OuterTL);
        EXPECT_EQ(s.At(4, 0), c.OuterTL);
        EXPECT_EQ(s.At(0, 4), c.OuterTL);
        EXPECT_EQ(s.At(9, 0), c.OuterBR);  // the far corners belong to the dark side
        EXPECT_EQ(s.At(0, 7), c.OuterBR);
        EXPECT_EQ(s.At(9, 7), c.OuterBR);
        EXPECT_EQ(s.At(1, 1), c.InnerTL);
        EXPECT_EQ(s.At(8, 6), c.InnerBR);
        EXPECT_EQ(s.At(4, 4), none);  // no middle without BF_MIDDLE
        const int32_t rings = c.InnerTL == none ? 1 : 2;
        EXPECT_EQ(r, (TRect{rings, rings, 10 - rings, 8 - rings}));
    }
}

TEST(WidgetDraws, CheckeredPatternFollowsTheCanvasOrigin) {
    Surface s(17, 9);
    TWidgetCanvas whole(s.dib);
    FillCheckered(whole, {0, 0, 8, 8}, Face, Highlight);
    TWidgetCanvas shifted = whole.Part({9, 0, 17, 8});  // an odd origin: the pattern starts anew
    FillCheckered(shifted, {0, 0, 8, 8}, Face, Highlight);
    for (int32_t y = 0; y < 8; ++y)
        for (int32_t x = 0; x < 8; ++x) {
            const TColor expected = ((x + y) % 2) ? Highlight : Face;
            EXPECT_EQ(s.At(x, y), expected) << x << "," << y;
            EXPECT_EQ(s.At(9 + x, y), expected) << x << "," << y;
        }
    EXPECT_EQ(s.At(8, 0), 0x123456);
    EXPECT_EQ(s.At(0, 8), 0x123456);
}

TEST(WidgetDraws, EtchedLinesAndSystemColours) {
    Surface s(10, 10, clWhite);
    TWidgetCanvas canvas(s.dib);
    DrawEtchedLine(canvas, 1, 1, 5, true);
    DrawEtchedLine(canvas, 8, 1, 5, false);
    EXPECT_EQ(s.Pixels({1, 1, 6, 2}), std::vector<TColor>(5, Shadow));
    EXPECT_EQ(s.Pixels({1, 2, 6, 3}), std::vector<TColor>(5, Highlight));
    EXPECT_EQ(s.Pixels({8, 1, 9, 6}), std::vector<TColor>(5, Shadow));
    EXPECT_EQ(s.Pixels({9, 1, 10, 6}), std::vector<TColor>(5, Highlight));
    // The fixed table is 0x00BBGGRR; other colours pass through.
    EXPECT_EQ(ColorToRGB(clBtnFace), TColor(0xC8D0D4));
    EXPECT_EQ(ColorToRGB(clHighlight), TColor(0x6A240A));
    EXPECT_EQ(ColorToRGB(0x0000FF), 0x0000FF);
    EXPECT_EQ(ColorToRGB(clNone), clNone);
    EXPECT_EQ(GetSysColor(SysColorCount), clBlack);
}

TEST(WidgetDraws, TransparentCopiesByKeyAndMask) {
    TDIBX src, mask;
    src.SetSize(3, 1, 32);
    mask.SetSize(3, 1, 8);
    const uint32_t key = uint32_t(src.ColorToPixel(0x00FF00));
    src.SetPixel(0, 0, key);
    src.SetPixel(1, 0, uint32_t(src.ColorToPixel(0x0000FF)));
    src.SetPixel(2, 0, uint32_t(src.ColorToPixel(0xFF0000)));
    mask.SetPixel(0, 0, 1);
    Surface s(4, 2);
    TWidgetCanvas canvas(s.dib);
    DrawTransparent(canvas, 1, 0, src, {0, 0, 3, 1}, 0x00FF00);
    EXPECT_EQ(s.Pixels({0, 0, 4, 1}), (std::vector<TColor>{0x123456, 0x123456, 0x0000FF, 0xFF0000}));
    DrawMasked(canvas, 0, 1, src, {0, 0, 3, 1}, mask);
    EXPECT_EQ(s.Pixels({0, 1, 4, 2}), (std::vector<TColor>{0x00FF00, 0x123456, 0x123456, 0x123456}));
    DrawMaskColor(canvas, 3, 1, mask, {0, 0, 3, 1}, clBtnShadow);
    EXPECT_EQ(s.At(3, 1), Shadow);
}

TEST_F(WidgetText, TextMeasuresAlignsAndWraps) {
    const TWidgetFont font;
    EXPECT_EQ(TextWidth(font, "OK"), 16);
    EXPECT_EQ(TextWidth(font, "&OK", true), 16);
    EXPECT_EQ(TextWidth(font, "a&&b", true), 24);
    EXPECT_EQ(TextWidth(font, "キャンセル"), 40);
    Surface s(40, 40);
    TWidgetCanvas canvas(s.dib);
    TRect r{0, 0, 40, 40};
    EXPECT_EQ(DrawText(canvas, "ab cd", r, DT_CALCRECT), 12);
    EXPECT_EQ(r, (TRect{0, 0, 38, 12}));
    r = {0, 0, 20, 0};
    EXPECT_EQ(DrawText(canvas, "ab cd", r, DT_CALCRECT | DT_WORDBREAK), 24);  // "ab" / "cd"
    EXPECT_EQ(r.Right, 16);
    r = {0, 0, 20, 0};
    EXPECT_EQ(DrawText(canvas, "あいう", r, DT_CALCRECT | DT_WORDBREAK), 24);  // breaks between characters
    r = {0, 0, 40, 0};
    EXPECT_EQ(DrawText(canvas, "a\r\nb\nc", r, DT_CALCRECT), 36);
    EXPECT_EQ(AcceleratorOf("DirectSoundを使用する(&S)"), 'S');
    EXPECT_EQ(AcceleratorOf("サウンドの遅延時間(&d)："), 'D');
    EXPECT_EQ(AcceleratorOf("a&&b"), 0);
    EXPECT_EQ(AcceleratorOf("OK"), 0);
}

// The columns of a surface that hold a colour.
std::set<int32_t> ColumnsWith(const Surface& S, TColor C) {
    std::set<int32_t> cols;
    for (int32_t y = 0; y < S.dib.GetHeight(); ++y)
        for (int32_t x = 0; x < S.dib.GetWidth(); ++x)
            if (S.At(x, y) == C) cols.insert(x);
    return cols;
}

TEST_F(WidgetText, TextAlignmentUnderlineAndDisabledText) {
    struct Case {
        uint32_t Flags;
        int32_t FirstColumn;
    };
    // "ab" is 16 pixels wide, each box 6 pixels starting 1 into its cell.
    for (const Case& c : {Case{DT_LEFT, 1}, Case{DT_CENTER, 13}, Case{DT_RIGHT, 25}}) {
        Surface s(40, 20, clWhite);
        TWidgetCanvas canvas(s.dib);
        canvas.Font.Color = clBlack;
        TRect r{0, 0, 40, 20};
        DrawText(canvas, "ab", r, c.Flags | DT_SINGLELINE | DT_VCENTER);
        const std::set<int32_t> cols = ColumnsWith(s, clBlack);
        ASSERT_FALSE(cols.empty());
        EXPECT_EQ(*cols.begin(), c.FirstColumn) << c.Flags;
        EXPECT_EQ(*cols.rbegin(), c.FirstColumn + 13) << c.Flags;
        EXPECT_EQ(s.At(c.FirstColumn, 3), clWhite);  // vertically centred: the cell starts at row 4
    }
    // "&b": b is underlined along the cell's last row; "&&" draws one "&".
    Surface u(20, 12, clWhite);
    TWidgetCanvas uc(u.dib);
    uc.Font.Color = clBlack;
    TRect r{0, 0, 20, 12};
    DrawText(uc, "a&b", r, DT_SINGLELINE);
    EXPECT_EQ(u.Pixels({8, 11, 16, 12}), std::vector<TColor>(8, clBlack));
    EXPECT_EQ(u.At(0, 11), clWhite);
    // Disabled: the highlight copy one pixel right and down, the shadow copy over it.
    Surface d(20, 14, Face);
    TWidgetCanvas dc(d.dib);
    DrawDisabledText(dc, "a", {0, 0, 20, 14}, DT_SINGLELINE);
    const std::set<int32_t> shadowCols = ColumnsWith(d, Shadow), lightCols = ColumnsWith(d, Highlight);
    EXPECT_EQ(shadowCols, (std::set<int32_t>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(lightCols, (std::set<int32_t>{2, 3, 4, 5, 6, 7}));  // what the shadow copy leaves of the other
    EXPECT_EQ(d.Histogram()[Highlight], 10 + 6 - 1);
}

// ---- Painting ----

// A windowless control that paints a solid colour, and a windowed one with a two-pixel frame.
class Block : public TGraphicControl {
public:
    explicit Block(TColor C) : fill(C) {}
    void Paint(TWidgetCanvas& Canvas) override { Canvas.FillRect(ClientRect(), fill); }
    TColor fill;
};

class Panel : public TWinControl {
public:
    TRect NonClientMargins() const override { return {2, 2, 2, 2}; }
    void PaintNonClient(TWidgetCanvas& Canvas) override {
        TRect r{0, 0, Width(), Height()};
        DrawEdge(Canvas, r, EDGE_SUNKEN, BF_RECT);
    }
    void Paint(TWidgetCanvas& Canvas) override { Canvas.Pixel(0, 0, clBlack); }
};

struct PaintedForm {
    TWidgetForm form;
    Block back{0x0000FF};
    Panel panel;
    Block inPanel{0x00FF00};
    PaintedForm() {
        form.SetBounds(100, 100, 40, 30);
        back.SetBounds(2, 2, 20, 20);
        back.SetParent(&form);
        panel.SetBounds(10, 5, 20, 20);
        panel.SetColor(clWhite);
        panel.SetParent(&form);
        inPanel.SetBounds(3, 3, 4, 4);
        inPanel.SetParent(&panel);
    }
};

TEST(WidgetPaint, PaintToOfAFormEqualsItsComposedPaint) {
    PaintedForm f;
    Surface printed(40, 30);
    TWidgetCanvas canvas(printed.dib);
    f.form.PaintTo(canvas, PRF_CLIENT | PRF_ERASEBKGND | PRF_CHILDREN);

    // The same by hand: background, the windowless block, then the panel's frame and client.
    Surface composed(40, 30);
    TWidgetCanvas c(composed.dib);
    c.FillRect({0, 0, 40, 30}, clBtnFace);
    c.FillRect({2, 2, 22, 22}, 0x0000FF);  // under the windowed panel
    TRect frame{10, 5, 30, 25};
    DrawEdge(c, frame, EDGE_SUNKEN, BF_RECT);
    c.FillRect({12, 7, 28, 23}, clWhite);
    c.Pixel(12, 7, clBlack);
    c.FillRect({15, 10, 19, 14}, 0x00FF00);
    EXPECT_EQ(printed.Pixels({0, 0, 40, 30}), composed.Pixels({0, 0, 40, 30}));

    // The on-screen paint of what was invalidated gives the same pixels.
    Surface screen(40, 30);
    EXPECT_EQ(f.form.PaintInvalid(screen.dib), (TRect{0, 0, 40, 30}));
    EXPECT_EQ(screen.Pixels({0, 0, 40, 30}), composed.Pixels({0, 0, 40, 30}));
    EXPECT_TRUE(RectIsEmpty(f.form.InvalidRect()));
    f.inPanel.Invalidate();
    EXPECT_EQ(f.form.InvalidRect(), (TRect{15, 10, 19, 14}));
    Surface part(40, 30);
    f.form.PaintInvalid(part.dib);
    EXPECT_EQ(part.At(14, 10), 0x123456);  // outside what was invalid
    EXPECT_EQ(part.At(15, 10), 0x00FF00);
}

TEST(WidgetPaint, PrintFlagsChooseWhatIsPainted) {
    PaintedForm f;
    // Client only, no children: the panel is left out, the windowless block is not.
    Surface a(40, 30);
    TWidgetCanvas ca(a.dib);
    EXPECT_EQ(HandleWMPrint(f.form, ca, PRF_CLIENT | PRF_ERASEBKGND), 1);
    EXPECT_EQ(a.At(25, 20), Face);
    EXPECT_EQ(a.At(5, 5), 0x0000FF);
    // An invisible control with the check-visible flag paints nothing; a given frame painter
    // replaces the control's own.
    f.panel.SetVisible(false);
    Surface c(20, 20);
    TWidgetCanvas cc(c.dib);
    HandleWMPrint(f.panel, cc, PRF_CHECKVISIBLE | PRF_NONCLIENT | PRF_CLIENT);
    EXPECT_EQ(c.Histogram().size(), 1u);
    int frames = 0;
    HandleWMPrint(f.panel, cc, PRF_NONCLIENT, [&](TWinControl& W, TWidgetCanvas&) {
        EXPECT_EQ(&W, &f.panel);
        ++frames;
    });
    EXPECT_EQ(frames, 1);
    EXPECT_EQ(c.At(0, 0), 0x123456);
    // Owned forms are printed where they lie relative to the owner.
    TWidgetForm tool;
    tool.SetBounds(120, 110, 5, 5);
    tool.SetColor(clBlack);
    tool.SetOwnerForm(&f.form);
    Surface d(40, 30);
    TWidgetCanvas cd(d.dib);
    HandleWMPrint(f.form, cd, PRF_CLIENT | PRF_ERASEBKGND | PRF_OWNED);
    EXPECT_EQ(d.At(20, 10), clBlack);
    EXPECT_EQ(d.At(24, 14), clBlack);
    EXPECT_EQ(d.At(25, 15), Face);
}

// ---- Input ----

// Records what it is told.
class Probe : public TWinControl {
public:
    explicit Probe(std::vector<std::string>& Log, const std::string& N) : log(Log) { Name = N; }
    void MouseDown(TMouseButton, TShiftState S, int32_t X, int32_t Y) override {
        log.push_back(Name + (S & ssDouble ? " down2 " : " down ") + std::to_string(X) + "," + std::to_string(Y));
    }
    void MouseMove(TShiftState, int32_t X, int32_t Y) override {
        log.push_back(Name + " move " + std::to_string(X) + "," + std::to_string(Y));
    }
    void MouseUp(TMouseButton, TShiftState, int32_t X, int32_t Y) override {
        log.push_back(Name + " up " + std::to_string(X) + "," + std::to_string(Y));
    }
    void MouseEnter() override { log.push_back(Name + " enter"); }
    void MouseLeave() override { log.push_back(Name + " leave"); }
    void Click() override { log.push_back(Name + " click"); }
    void DblClick() override { log.push_back(Name + " dblclick"); }
    void DoEnter() override { log.push_back(Name + " focus"); }
    void DoExit() override { log.push_back(Name + " blur"); }
    bool DialogKey(int32_t Key, TShiftState) override {
        if (Key != answers) return false;
        log.push_back(Name + " dialogkey");
        return true;
    }
    bool DialogChar(char Key) override {
        if (Key != accel) return false;
        log.push_back(Name + " accel");
        return true;
    }
    void KeyDown(int32_t& Key, TShiftState) override {
        log.push_back(Name + " key " + std::to_string(Key));
        if (Key == eats) Key = 0;
    }
    void KeyPress(const std::string& C) override { log.push_back(Name + " char " + C); }
    bool WantsChars() const override { return chars; }
    std::vector<std::string>& log;
    int32_t answers = -1, eats = -1;
    char accel = 0;
    bool chars = false;
};

struct InputForm {
    std::vector<std::string> log;
    uint32_t now = 1000;
    TWidgetForm form;
    Probe a{log, "a"}, b{log, "b"}, inner{log, "inner"};
    InputForm() {
        form.SetBounds(0, 0, 100, 100);
        form.ClockSource = nullptr;
        a.SetBounds(0, 0, 40, 40);
        b.SetBounds(50, 0, 40, 40);
        inner.SetBounds(10, 10, 10, 10);
        for (Probe* p : {&a, &b}) {
            p->SetParent(&form);
            p->TabStop = true;
        }
        inner.SetParent(&b);
        inner.TabStop = true;
        clock = this;
        form.ClockSource = [] { return clock->now; };
    }
    ~InputForm() { clock = nullptr; }
    std::vector<std::string> Take() { return std::exchange(log, {}); }
    static inline InputForm* clock = nullptr;
};

using Log = std::vector<std::string>;

TEST(WidgetInput, CaptureKeepsTheMouseWithThePressedControl) {
    InputForm f;
    f.form.DispatchMouseMove(5, 5);
    f.form.DispatchMouseDown(TMouseButton::mbLeft, 5, 5);
    EXPECT_TRUE(f.a.MouseCapture());
    f.Take();
    f.form.DispatchMouseMove(65, 15);  // over inner, but a holds the mouse
    f.form.DispatchMouseUp(TMouseButton::mbLeft, 65, 15);
    EXPECT_EQ(f.Take(), (Log{"a leave", "inner enter", "a move 65,15", "a up 65,15"}));
    EXPECT_EQ(f.form.CaptureControl(), nullptr);
    // Released inside: the control clicks before its MouseUp.
    f.form.DispatchMouseDown(TMouseButton::mbLeft, 61, 11);
    f.form.DispatchMouseUp(TMouseButton::mbLeft, 62, 12);
    EXPECT_EQ(f.Take(), (Log{"a blur", "inner focus", "inner down 1,1", "inner click", "inner up 2,2"}));
    // A control that is taken away loses capture and hover with it.
    f.form.DispatchMouseDown(TMouseButton::mbLeft, 61, 11);
    f.inner.SetParent(nullptr);
    EXPECT_EQ(f.form.CaptureControl(), nullptr);
    EXPECT_EQ(f.form.HoverControl(), nullptr);
    EXPECT_EQ(f.form.ActiveControl(), nullptr);
}

TEST(WidgetInput, HoverFollowsTheTopmostControlAndDisabledOnesPassClicksUp) {
    InputForm f;
    f.form.DispatchMouseMove(5, 5);
    f.form.DispatchMouseMove(62, 12);
    f.form.DispatchMouseMove(55, 30);
    f.form.DispatchMouseLeave();
    EXPECT_EQ(f.Take(), (Log{"a enter", "a move 5,5", "a leave", "inner enter", "inner move 2,2", "inner leave",
                             "b enter", "b move 5,30", "b leave"}));
    f.inner.SetEnabled(false);
    f.form.DispatchMouseDown(TMouseButton::mbRight, 62, 12);
    EXPECT_EQ(f.Take(), (Log{"b focus", "b down 12,12"}));
    EXPECT_FALSE(f.b.MouseCapture());  // only the left button captures
}

TEST(WidgetInput, DoubleClicksNeedTheSameControlTimeAndPlace) {
    InputForm f;
    auto press = [&](int32_t X, int32_t Y) {
        f.form.DispatchMouseDown(TMouseButton::mbLeft, X, Y);
        f.form.DispatchMouseUp(TMouseButton::mbLeft, X, Y);
    };
    f.form.DispatchMouseMove(5, 5);
    press(5, 5);
    f.now += 500;
    f.Take();
    press(7, 7);
    EXPECT_EQ(f.Take(), (Log{"a dblclick", "a down2 7,7", "a click", "a up 7,7"}));
    f.now += 10;
    press(7, 7);  // a third press starts anew
    f.now += 501;
    press(7, 7);  // too late
    f.now += 10;
    press(10, 7);  // too far
    f.a.ControlStyle &= ~csDoubleClicks;
    f.now += 10;
    press(10, 7);  // the control takes no double clicks
    for (const std::string& e : f.Take()) {
        EXPECT_EQ(e.find("dblclick"), std::string::npos) << e;
        EXPECT_EQ(e.find("down2"), std::string::npos) << e;
    }
}

TEST(WidgetInput, TabOrderSkipsWhatCannotTakeTheFocus) {
    InputForm f;
    Probe c{f.log, "c"};
    c.SetBounds(0, 50, 10, 10);
    c.SetParent(&f.form);
    c.TabStop = true;
    c.SetTabOrder(0);
    EXPECT_EQ(c.TabOrder(), 0);
    EXPECT_EQ(f.a.TabOrder(), 1);
    std::vector<std::string> order;
    for (int i = 0; i < 5; ++i) {
        f.form.DispatchKeyDown(VK_TAB);
        order.push_back(f.form.ActiveControl()->Name);
    }
    EXPECT_EQ(order, (Log{"c", "a", "b", "inner", "c"}));
    f.b.SetVisible(false);  // its child goes with it
    f.a.SetEnabled(false);
    f.form.DispatchKeyDown(VK_SHIFT);
    f.form.DispatchKeyDown(VK_TAB);
    EXPECT_EQ(f.form.ActiveControl(), &c);
    f.form.DispatchKeyUp(VK_SHIFT);
    f.form.DispatchKeyDown(VK_TAB);
    EXPECT_EQ(f.form.ActiveControl(), &c);
}

TEST(WidgetInput, KeysGoToTheFocusThenToTheDialog) {
    InputForm f;
    f.b.answers = VK_RETURN;
    f.inner.accel = 'S';
    f.a.SetFocus();
    f.Take();
    // Enter not taken by the focused control reaches the control that answers it.
    f.form.DispatchKeyDown(VK_RETURN);
    EXPECT_EQ(f.Take(), (Log{"a key 13", "b dialogkey"}));
    f.a.eats = VK_RETURN;
    f.form.DispatchKeyDown(VK_RETURN);
    EXPECT_EQ(f.Take(), (Log{"a key 13"}));
    // Accelerators: a typed letter when the focus takes no characters, or Alt with the key.
    f.form.DispatchChar("s");
    EXPECT_EQ(f.Take(), (Log{"inner accel"}));
    f.form.DispatchKeyDown(VK_MENU);
    f.form.DispatchKeyDown('S');
    f.form.DispatchKeyUp(VK_MENU);
    EXPECT_EQ(f.Take(), (Log{"a key 18", "inner accel"}));
    f.a.chars = true;
    f.form.DispatchChar("s");
    f.form.DispatchChar("漢");
    EXPECT_EQ(f.Take(), (Log{"a char s", "a char 漢"}));
    // A disabled control answers no accelerator.
    f.a.chars = false;
    f.inner.SetEnabled(false);
    f.form.DispatchChar("s");
    EXPECT_TRUE(f.Take().empty());
}

TEST(WidgetPlace, CoordinatesThroughFramesAndZOrder) {
    InputForm f;
    Panel framed;
    framed.SetBounds(5, 5, 30, 30);
    framed.SetParent(&f.b);
    EXPECT_EQ(framed.ClientToForm({0, 0}), (TPoint{57, 7}));
    EXPECT_EQ(framed.FormToClient({60, 10}), (TPoint{3, 3}));
    EXPECT_EQ(framed.ClientRect(), (TRect{0, 0, 26, 26}));
    // Later windowed controls lie on top; windowless ones stay under windowed ones.
    Block under(clBlack);
    under.SetBounds(0, 0, 100, 100);
    under.SetParent(&f.form);
    EXPECT_EQ(f.form.ControlAtPos({5, 5}, false), &f.a);
    under.BringToFront();
    EXPECT_EQ(f.form.ControlAtPos({5, 5}, false), &f.a);
    EXPECT_EQ(f.form.ControlAtPos({45, 5}, false), &under);
    f.inner.SetBounds(0, 0, 40, 40);
    EXPECT_EQ(f.form.ControlAtPos({60, 10}, true), &framed);
    framed.SendToBack();
    EXPECT_EQ(f.form.ControlAtPos({60, 10}, true), &f.inner);
}

TEST(WidgetPlace, ParentsHearOfTheirControls) {
    struct Parent : TWinControl {
        std::vector<std::string> heard;
        void ControlListChange(TControl* C, bool Inserting) override {
            heard.push_back(C->Name + (Inserting ? " in" : " out") + (C->Parent() ? " placed" : ""));
        }
        void ControlChange(TControl* C) override { heard.push_back(C->Name + " changed"); }
    } parent;
    Block child(clBlack);
    child.Name = "c";
    child.SetParent(&parent);
    child.SetBounds(1, 2, 3, 4);
    child.SetBounds(1, 2, 3, 4);  // no change
    child.SetVisible(false);
    child.SetParent(nullptr);
    EXPECT_EQ(parent.heard, (std::vector<std::string>{"c in placed", "c changed", "c changed", "c out"}));
}

// ---- Controls ----

// A form with the controls of a small settings dialog, clicked and typed at through its events.
class Controls : public WidgetText {
protected:
    Controls() {
        form.SetBounds(0, 0, 270, 179);
        check.SetCaption("DirectSoundを使用する(&S)");
        check.SetBounds(16, 16, 200, 17);
        label.SetCaption("遅延(&D)：");
        label.SetBounds(16, 40, 80, 13);
        label.FocusControl = &track;
        track.SetBounds(16, 56, 150, 45);
        track.SetRange(1, 5);
        track.PageSize = 1;
        ok.SetCaption("OK");
        ok.Default = true;
        ok.ModalResult = mrOk;
        ok.SetBounds(104, 144, 75, 25);
        cancel.SetCaption("キャンセル");
        cancel.Cancel = true;
        cancel.ModalResult = mrCancel;
        cancel.SetBounds(186, 144, 75, 25);
        for (TControl* c : std::initializer_list<TControl*>{&check, &label, &track, &ok, &cancel}) c->SetParent(&form);
        check.OnClick = [this](TControl*) { ++checkClicks; };
        track.OnChange = [this](TControl*) { changes.push_back(track.Position()); };
    }
    void Click(int32_t X, int32_t Y) {
        form.DispatchMouseMove(X, Y);
        form.DispatchMouseDown(TMouseButton::mbLeft, X, Y);
        form.DispatchMouseUp(TMouseButton::mbLeft, X, Y);
    }
    void Key(int32_t K) {
        form.DispatchKeyDown(K);
        form.DispatchKeyUp(K);
    }
    TWidgetForm form;
    TCheckBox check;
    TLabel label;
    TTrackBar track;
    TButton ok, cancel;
    int checkClicks = 0;
    std::vector<int32_t> changes;
};

TEST_F(Controls, CheckBoxTogglesByClickSpaceAndAccelerator) {
    Click(20, 20);
    EXPECT_TRUE(check.Checked());
    EXPECT_EQ(form.ActiveControl(), &check);
    // Pressed, then released outside: nothing.
    form.DispatchMouseDown(TMouseButton::mbLeft, 20, 20);
    form.DispatchMouseMove(20, 100);
    form.DispatchMouseUp(TMouseButton::mbLeft, 20, 100);
    EXPECT_TRUE(check.Checked());
    Key(VK_SPACE);
    EXPECT_FALSE(check.Checked());
    track.SetFocus();
    form.DispatchChar("s");
    EXPECT_TRUE(check.Checked());
    EXPECT_EQ(form.ActiveControl(), &check);
    EXPECT_EQ(checkClicks, 3);
    check.SetChecked(true);  // no change, no click
    EXPECT_EQ(checkClicks, 3);
}

TEST_F(Controls, TrackBarKeepsItsPositionInRange) {
    track.SetPosition(9);
    EXPECT_EQ(track.Position(), 5);
    track.SetFocus();
    for (int32_t k : {VK_LEFT, VK_HOME, VK_HOME, VK_NEXT, VK_END, VK_RIGHT, VK_UP}) Key(k);
    EXPECT_EQ(changes, (std::vector<int32_t>{5, 4, 1, 2, 5, 4}));
    // A click on the channel beside the thumb moves a page towards it; dragging the thumb follows
    // the pointer to the nearest value.
    changes.clear();
    const TPoint origin = track.ClientToForm({0, 0});
    Click(origin.X + 12, origin.Y + 13);
    EXPECT_EQ(track.Position(), 3);
    const TRect thumb = track.ThumbRect();
    const int32_t grabX = origin.X + (thumb.Left + thumb.Right) / 2, y = origin.Y + 13;
    form.DispatchMouseDown(TMouseButton::mbLeft, grabX, y);
    const TRect channel = track.ChannelRect();
    form.DispatchMouseMove(origin.X + channel.Left, y);
    EXPECT_EQ(track.Position(), 1);
    form.DispatchMouseMove(origin.X + channel.Right + 40, y);
    form.DispatchMouseUp(TMouseButton::mbLeft, origin.X + channel.Right + 40, y);
    EXPECT_EQ(track.Position(), 5);
    EXPECT_EQ(changes, (std::vector<int32_t>{3, 1, 5}));
    track.SetRange(1, 2);
    EXPECT_EQ(track.Position(), 2);
}

TEST_F(Controls, LabelAcceleratorFocusesItsControl) {
    form.DispatchChar("d");
    EXPECT_EQ(form.ActiveControl(), &track);
    track.SetEnabled(false);
    check.SetFocus();
    form.DispatchChar("d");
    EXPECT_EQ(form.ActiveControl(), &check);
}

TEST_F(Controls, DefaultAndCancelButtons) {
    std::vector<std::string> clicks;
    ok.OnClick = [&](TControl*) { clicks.push_back("ok"); };
    cancel.OnClick = [&](TControl*) { clicks.push_back("cancel"); };
    check.SetFocus();
    Key(VK_RETURN);
    EXPECT_EQ(form.ModalResult, mrOk);
    form.ModalResult = mrNone;
    Key(VK_ESCAPE);
    EXPECT_EQ(form.ModalResult, mrCancel);
    // A focused button takes Enter from the default one.
    cancel.SetFocus();
    Key(VK_RETURN);
    Key(VK_SPACE);
    // Mouse: pressed and released inside clicks, released outside does not.
    Click(110, 150);
    form.DispatchMouseDown(TMouseButton::mbLeft, 110, 150);
    EXPECT_TRUE(ok.Pushed());
    form.DispatchMouseMove(110, 100);
    EXPECT_FALSE(ok.Pushed());
    form.DispatchMouseUp(TMouseButton::mbLeft, 110, 100);
    EXPECT_EQ(clicks, (std::vector<std::string>{"ok", "cancel", "cancel", "cancel", "ok"}));
}

TEST_F(Controls, PaintsOfTheControls) {
    Surface s(270, 179);
    TWidgetCanvas canvas(s.dib);
    check.SetChecked(true);
    ok.SetEnabled(false);
    form.PaintTo(canvas, PRF_CLIENT | PRF_ERASEBKGND | PRF_CHILDREN);
    // The check box: a sunken box with the mark inside.
    EXPECT_EQ(s.At(16, 18), Shadow);
    EXPECT_EQ(s.At(17, 19), DkShadow);
    EXPECT_EQ(s.At(18, 20), GetSysColor(COLOR_WINDOW));
    EXPECT_EQ(s.At(20, 24), GetSysColor(COLOR_WINDOWTEXT));
    // The default button, disabled: its caption drawn twice, in highlight and shadow.
    const std::vector<TColor> okPixels = s.Pixels({106, 146, 177, 167});
    EXPECT_GT(std::count(okPixels.begin(), okPixels.end(), Highlight), 0);
    EXPECT_GT(std::count(okPixels.begin(), okPixels.end(), Shadow), 0);
    EXPECT_EQ(std::count(okPixels.begin(), okPixels.end(), clBlack), 0);
    EXPECT_EQ(s.At(104, 144), clBlack);  // the default button's frame
}

TEST(WidgetBevel, LoweredFrame) {
    TWidgetForm form;
    TBevel bevel;
    bevel.SetBounds(0, 0, 10, 8);
    bevel.Shape = TBevelShape::bsFrame;
    bevel.SetParent(&form);
    Surface s(10, 8);
    TWidgetCanvas canvas(s.dib);
    bevel.PaintTo(canvas, 0);
    EXPECT_EQ(s.At(0, 0), Shadow);
    EXPECT_EQ(s.At(1, 1), Highlight);
    EXPECT_EQ(s.At(8, 6), Shadow);
    EXPECT_EQ(s.At(9, 7), Highlight);
    EXPECT_EQ(s.At(4, 4), 0x123456);
}

TEST_F(WidgetText, ListSelectsScrollsAndReportsClicks) {
    TWidgetForm form;
    form.SetBounds(0, 0, 200, 200);
    TListBox list;
    list.SetBounds(0, 0, 100, 4 + 13 * 4);  // four rows of 13 pixels
    list.SetParent(&form);
    for (int i = 0; i < 10; ++i) list.Items.push_back("item" + std::to_string(i));
    list.ItemsChanged();
    int clicks = 0, doubles = 0;
    list.OnClick = [&](TControl*) { ++clicks; };
    list.OnDblClick = [&](TControl*) { ++doubles; };
    EXPECT_EQ(list.VisibleCount(), 4);
    form.DispatchMouseDown(TMouseButton::mbLeft, 10, 2 + 13 + 5);
    form.DispatchMouseUp(TMouseButton::mbLeft, 10, 2 + 13 + 5);
    form.DispatchMouseDown(TMouseButton::mbLeft, 10, 2 + 13 + 5);
    EXPECT_EQ(list.ItemIndex(), 1);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(doubles, 1);
    form.DispatchMouseMove(10, 2 + 13 * 3 + 2);  // dragging down the list
    form.DispatchMouseUp(TMouseButton::mbLeft, 10, 2 + 13 * 3 + 2);
    EXPECT_EQ(list.ItemIndex(), 3);
    form.DispatchKeyDown(VK_DOWN);
    EXPECT_EQ(list.ItemIndex(), 4);
    EXPECT_EQ(list.TopIndex(), 1);  // scrolled into view
    form.DispatchKeyDown(VK_END);
    EXPECT_EQ(list.TopIndex(), 6);
    EXPECT_EQ(clicks, 4);
    // The scroll bar's arrow and the wheel move the view, not the selection.
    form.DispatchMouseDown(TMouseButton::mbLeft, 2 + 100 - 4 - 5, 4);
    form.DispatchMouseUp(TMouseButton::mbLeft, 2 + 100 - 4 - 5, 4);
    EXPECT_EQ(list.TopIndex(), 5);
    platform::InputEvent wheel;
    wheel.kind = platform::InputKind::Wheel;
    wheel.wheel = 1;
    form.DispatchInput(wheel);
    EXPECT_EQ(list.TopIndex(), 2);
    EXPECT_EQ(list.ItemIndex(), 9);
    EXPECT_EQ(list.ItemAtPos({5, 1}), 2);
    list.Items.resize(3);
    list.ItemsChanged();
    EXPECT_EQ(list.ItemIndex(), -1);
    EXPECT_EQ(list.TopIndex(), 0);
}

TEST_F(WidgetText, TextFieldTypesShiftJisAndEditsWholeCharacters) {
    TWidgetForm form;
    form.SetBounds(0, 0, 200, 50);
    TEdit edit;
    edit.SetBounds(0, 0, 150, 21);
    edit.SetParent(&form);
    std::vector<std::string> texts;
    edit.OnChange = [&](TControl*) { texts.push_back(edit.Text()); };
    edit.SetText("ab");
    edit.SetFocus();  // selects all
    EXPECT_EQ(edit.SelLength(), 2u);
    form.DispatchChar("漢");
    form.DispatchChar("x");
    EXPECT_EQ(edit.Text(), "漢x");
    form.DispatchKeyDown(VK_LEFT);
    form.DispatchKeyDown(VK_BACK);  // the whole double-byte character
    EXPECT_EQ(edit.Text(), "x");
    form.DispatchKeyDown(VK_SHIFT);
    form.DispatchKeyDown(VK_END);
    form.DispatchKeyUp(VK_SHIFT);
    EXPECT_EQ(edit.SelText(), "x");
    form.DispatchChar("\x08");  // control characters type nothing
    form.DispatchChar("y");
    EXPECT_EQ(edit.Text(), "y");
    // A click puts the caret before the nearer character edge; Delete takes the character after.
    form.DispatchMouseDown(TMouseButton::mbLeft, 2 + 1 + 3, 10);
    form.DispatchMouseUp(TMouseButton::mbLeft, 2 + 1 + 3, 10);
    EXPECT_EQ(edit.CaretPos(), 0u);
    form.DispatchKeyDown(VK_DELETE);
    EXPECT_EQ(edit.Text(), "");
    // The length limit never splits a double-byte character.
    edit.MaxLength = 3;
    form.DispatchChar("あ");
    form.DispatchChar("い");
    form.DispatchChar("z");
    EXPECT_EQ(edit.Text(), "あz");
    edit.SetText("abcd");
    EXPECT_EQ(edit.Text(), "abc");
    EXPECT_EQ(texts, (std::vector<std::string>{"ab", "漢", "漢x", "x", "y", "", "あ", "あz", "abc"}));
}

// ---- Modal dialogs ----

TEST_F(WidgetText, ModalDialogRunsInTheDialogWindow) {
    platform::HeadlessDisplay display;
    display.keepFrames = 0;
    TWidgetForm form;
    form.SetCaption("動作設定");
    form.SetBounds(0, 0, 120, 60);
    TButton ok;
    ok.SetCaption("OK");
    ok.ModalResult = mrOk;
    ok.SetBounds(10, 10, 75, 25);
    ok.SetParent(&form);
    TEdit edit;
    edit.SetBounds(10, 36, 100, 21);
    edit.SetParent(&form);
    auto event = [](platform::InputKind K, int32_t X = 0, int32_t Y = 0) {
        platform::InputEvent e;
        e.kind = K;
        e.x = X;
        e.y = Y;
        e.button = platform::MouseButton::Left;
        return e;
    };
    platform::InputEvent typed = event(platform::InputKind::Text);
    typed.text = "名前";
    display.dialogInput = {event(platform::InputKind::MouseDown, 20, 40), event(platform::InputKind::MouseUp, 20, 40),
                           typed, event(platform::InputKind::MouseDown, 20, 20),
                           event(platform::InputKind::MouseUp, 20, 20)};
    EXPECT_EQ(ShowModal(form, display), mrOk);
    EXPECT_EQ(edit.Text(), "名前");
    ASSERT_EQ(display.dialogs.size(), 1u);
    const auto& shown = display.dialogs[0];
    EXPECT_EQ(shown.title, "動作設定");
    EXPECT_EQ(shown.bounds, (platform::PixelRect{900, 510, 1020, 570}));
    EXPECT_FALSE(shown.open);
    ASSERT_FALSE(shown.frames.empty());
    EXPECT_EQ(shown.frames.front().rects, (std::vector<platform::PixelRect>{{0, 0, 120, 60}}));
    // The first frame shows the form: the focused button's frame and raised edge on the face.
    EXPECT_EQ(shown.frames.front().pixel(10, 10), 0u);
    EXPECT_EQ(shown.frames.front().pixel(11, 11), 0xFFFFFFu);
    EXPECT_EQ(shown.frames.front().pixel(2, 2), 0xD4D0C8u);
    // Nobody answers: the dialog is closed, as cancelled; one at a time.
    EXPECT_EQ(ShowModal(form, display), mrCancel);
    const auto first = display.openDialog("a", 10, 10);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(display.openDialog("b", 10, 10), nullptr);
    EXPECT_EQ(display.openDialog("c", 0, 10), nullptr);
    EXPECT_EQ(display.openDialog("d", platform::kMaxDialogSide + 1, 10), nullptr);
}

// ---- Timers ----

TEST(WidgetTimer, RunsOnTheMainQueueWhileEnabled) {
    platform::MessageQueue& queue = platform::MainQueue();
    int ticks = 0;
    {
        TTimer timer;
        timer.OnTimer = [&] { ++ticks; };
        timer.SetInterval(2);
        const uint32_t start = platform::ClockMs();
        while (ticks < 2 && platform::ClockMs() - start < 5000) {
            queue.Wait(1000);
            queue.ProcessMessages();
        }
        EXPECT_EQ(ticks, 2);
        timer.SetEnabled(false);
        queue.Wait(10);
        queue.ProcessMessages();
        EXPECT_EQ(ticks, 2);
        timer.SetEnabled(true);
    }
    // Gone with its timer.
    queue.Wait(10);
    queue.ProcessMessages();
    EXPECT_EQ(ticks, 2);
}

}  // namespace
