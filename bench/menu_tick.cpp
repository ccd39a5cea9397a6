// A menu screen beside the tick budget (15 ms: the loop's 66 ticks a second): one tick of an
// 800 x 600 layer holding an open selection menu of 500 lines in the installed Japanese gothic
// face, 20 rows shown, with its scroll strip, check marks on every seventh line and a hover
// highlight. Each tick the pointer moves to the next row (the hover row changes and the whole
// menu is drawn again) and every 20 ticks the menu scrolls by a line: the input step, the root's
// step and the drawing of the dirty rectangles. ms is the tick, budget_ratio its share of the
// budget.
#include "graphics/miras.h"
#include "objects/vitemex_menu.h"
#include "objects/vitemex_mira.h"
#include "objects/vitems.h"
#include "platform/clock.h"
#include "script/services.h"
#include "text/fontpixels.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

namespace {

constexpr double kBudgetMs = 15;
constexpr int kItems = 500, kRows = 20;

// The strips the menu draws: seven cells of 12 x 12 for the scroll bar, two of 10 x 10 for the
// check marks, each cell a colour of its own.
class TStripSource : public TMiraSource {
public:
    bool FileExists(const std::string&, bool) override { return true; }
    void Load(TMiraFrameList& List, const std::string& File) override {
        const bool scroll = File == "strip.bmp";
        const int32_t cell = scroll ? 12 : 10, cells = scroll ? 7 : 2;
        TMiraFrame& frame = *List.AddFrame();
        frame.SetupImage(cell * cells, cell, 24, nullptr, 0);
        frame.Delay = 100;
        for (int32_t y = 0; y < cell; ++y)
            for (int32_t x = 0; x < cell * cells; ++x) frame.Image.SetPixel(x, y, uint32_t(x / cell * 0x203040 + y * 4));
    }
};

struct TScene {
    TVelaMenu* Menu = nullptr;
    TVelaBase* Layer = nullptr;
    uint32_t Clock = 0;
    int Tick = 0;

    TScene() {
        FontPixelManager = new TFontPixelManager;
        CreateScriptServices();
        VelaInitialize();
        MiraMan->SetSource(std::make_unique<TStripSource>());
        Bases->SetWidth(800);
        Bases->SetHeight(600);
        Layer = Bases->GetBase(0);
        Layer->SetColor(0x402010);
        std::string text;
        for (int i = 0; i < kItems; ++i) text += "項目 " + std::to_string(i + 1) + " の選択肢\r\n";
        Menu = new TVelaMenu(Bases);
        Menu->SetParent(Layer);
        Menu->SetName("menu");
        Menu->SetLeft(200);
        Menu->SetTop(40);
        Menu->SetText(text);
        Menu->SetFontname("ＭＳ ゴシック");
        Menu->SetFontheight(16);
        Menu->SetFontcolor(0xFFFFFF);
        Menu->SetFonthovercolor(0x80FFFF);
        Menu->SetHovercolor(0xA06028);
        Menu->SetColor(0x482818);
        Menu->SetBorderwidth(2);
        Menu->SetBordercolor(0xC0A080);
        Menu->SetMarginx(8);
        Menu->SetMarginy(6);
        Menu->SetLinespace(6);
        Menu->SetRowcount(kRows);
        Menu->SetAlpha(255);
        Menu->SetScrollsource("strip.bmp");
        Menu->SetChecksource("check.bmp");
        for (int i = 0; i < kItems; i += 7) Menu->SetListValue(i, true);
        Menu->SetPlayState(0);
        for (int i = 0; i < kRows; ++i) Run();  // every row's labels rendered once
    }
    ~TScene() {
        VelaFinalize();
        FreeScriptServices();
        delete FontPixelManager;
        FontPixelManager = nullptr;
    }

    // One tick: the pointer onto the next row, a scroll every 20 ticks, input, step, drawing.
    void Run() {
        ++Tick;
        if (Tick % kRows == 0) Menu->SetTopindex((Menu->GetTopindex() + 1) % (kItems - kRows));
        Layer->SetMousePos({260, 40 + 2 + 6 + (Tick % kRows) * 22 + 8});
        Clock += 15;
        Bases->Update(Clock);
        Bases->Step();
        Bases->Prepare();
        for (int i = 0; i < 2; ++i) Bases->GetBase(i)->ClipList.Clear();
    }
};

void BM_MenuScreenTick(benchmark::State& State) {
    TScene scene;
    // Rows of 16 and 6 between; lines of about ten characters of 16 pixels.
    if (scene.Menu->GetHeight() != kRows * 22 - 6 + 4 + 12 || scene.Menu->GetWidth() < 120) {
        State.SkipWithError("the menu was not laid out in the installed face");
        return;
    }
    uint64_t spent = 0;
    for (auto _ : State) {
        const uint64_t start = platform::ClockNs();
        scene.Run();
        spent += platform::ClockNs() - start;
    }
    if (scene.Menu->GetHoverIndex() < 0) State.SkipWithError("the pointer found no row");
    State.counters["menu_width"] = scene.Menu->GetWidth();
    const double ms = double(spent) / double(State.iterations()) / 1e6;
    State.counters["ms"] = ms;
    State.counters["budget_ms"] = kBudgetMs;
    State.counters["budget_ratio"] = ms / kBudgetMs;
}
BENCHMARK(BM_MenuScreenTick)->Unit(benchmark::kMicrosecond);

}  // namespace
