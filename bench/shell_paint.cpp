// The shell's widgets beside the tick budget (15 ms: the loop's 66 ticks a second):
//   BM_ToolbarStripPaint: a full paint of the player's toolbar strip (the dock with its bound
//     line, the toolbar and the two captioned buttons, one of them hovered) into the top rows of
//     a 640 x 503 window frame;
//   BM_ConfigDialogPaint: a full paint of the settings dialog (270 x 179: bevel, check box,
//     labels, track bar, two buttons) as its window shows it, without a game.ini;
//   BM_DockArrange: 20 toolbars of three buttons each on 3 rows of a 1024-pixel top dock,
//     arranged once (rows, overlaps, clipping to the dock's length, the toolbars' own layout).
// ms is one paint or arrangement, budget_ratio its share of the budget.
#include "app/runconfigs.h"
#include "app/view_toolbar.h"
#include "bench/beside_budget.h"
#include "graphics/dibx.h"
#include "platform/display.h"
#include "platform/fs.h"
#include "text/fontpixels.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// The glyph rasteriser on the installed fonts, for the captions.
struct TFonts {
    TFonts() { FontPixelManager = new TFontPixelManager; }
    ~TFonts() {
        delete FontPixelManager;
        FontPixelManager = nullptr;
    }
};

void BM_ToolbarStripPaint(benchmark::State& State) {
    TFonts fonts;
    SetApplicationActive(true);
    TViewToolbar strip([] {}, [] {});
    strip.SetWidth(640);
    TDIBX frame;
    frame.SetSize(640, 480 + strip.ShownHeight(), 32);
    // The pointer rests on the quit button.
    const TPoint over = strip.QuitButton->ClientToForm({10, 9});
    strip.Form.DispatchMouseMove(over.X, over.Y);
    const uint64_t spent = TimeRuns(State, [&] { strip.Paint(frame); });
    ReportBudget(State, double(spent));
}
BENCHMARK(BM_ToolbarStripPaint)->Unit(benchmark::kMicrosecond);

void BM_ConfigDialogPaint(benchmark::State& State) {
    TFonts fonts;
    platform::HeadlessDisplay display;
    TFormConfig form(display, platform::fs::TempFolder() + "game.ini");
    form.FormCreate();
    TDIBX buffer;
    buffer.SetSize(TFormConfig::ClientWidth, TFormConfig::ClientHeight, 32);
    const uint64_t spent = TimeRuns(State, [&] {
        form.InvalidateRect(form.ClientRect());
        form.PaintInvalid(buffer);
    });
    ReportBudget(State, double(spent));
    platform::fs::RemoveTempFolder();
}
BENCHMARK(BM_ConfigDialogPaint)->Unit(benchmark::kMicrosecond);

void BM_DockArrange(benchmark::State& State) {
    TFonts fonts;
    TWidgetForm form;
    form.SetBounds(0, 0, 1024, 200);
    TDockSite dock;
    dock.SetParent(&form);
    dock.SetBounds(0, 0, 1024, 9);
    std::vector<std::unique_ptr<TDockBar>> bars;
    std::vector<std::unique_ptr<TDockButton>> buttons;
    for (int i = 0; i < 20; ++i) {
        auto bar = std::make_unique<TDockBar>();
        bar->SetParent(&dock);
        for (int j = 0; j < 3; ++j) {
            auto button = std::make_unique<TDockButton>();
            button->SetParent(bar.get());
            button->SetCaption("ボタン" + std::to_string(j));
            button->SetBounds(0, 0, 48, 22);
            buttons.push_back(std::move(button));
        }
        // Seven to a row, some of them placed over others.
        bar->SetDockRow(i % 3);
        bar->SetDockPos((i / 3) * 120 - (i % 2) * 40);
        bars.push_back(std::move(bar));
    }
    const uint64_t spent = TimeRuns(State, [&] { dock.ArrangeToolbars(); });
    if (dock.GetHighestRow() != 2) State.SkipWithError("the toolbars are not on three rows");
    ReportBudget(State, double(spent));
    buttons.clear();
    bars.clear();
}
BENCHMARK(BM_DockArrange)->Unit(benchmark::kMicrosecond);

}  // namespace
