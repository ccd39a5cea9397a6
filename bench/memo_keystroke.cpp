// One keystroke in a memo beside the tick budget (15 ms: the loop's 66 ticks a second): a
// 400 x 300 memo on an 800 x 600 layer holding 2,000 lines of Japanese text in the installed
// gothic face, the caret in line 1,000. Each keystroke types one character (or, every other
// time, takes it back with Backspace) through the window's input as the player receives it, then
// the tick draws the dirty rectangles: the edit, the wrap of the changed paragraph, the scroll
// to the caret and the redraw of the field. ms is the keystroke, budget_ratio its share of the
// budget.
#include "bench/beside_budget.h"
#include "objects/vitemex_edit.h"
#include "objects/vitems.h"
#include "platform/display.h"
#include "script/services.h"
#include "text/fontpixels.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

constexpr int kLines = 2000;

struct TScene {
    TVelaMemo* Memo = nullptr;
    int Stroke = 0;

    TScene() {
        FontPixelManager = new TFontPixelManager;
        CreateScriptServices();
        VelaInitialize();
        Bases->SetWidth(800);
        Bases->SetHeight(600);
        Bases->GetBase(0)->SetColor(0x402010);
        std::string text;
        for (int i = 0; i < kLines; ++i) text += "第" + std::to_string(i + 1) + "行：吾輩は猫である。名前はまだ無い。\r\n";
        Memo = new TVelaMemo(Bases);
        Memo->SetParent(Bases->GetBase(0));
        Memo->SetName("memo");
        Memo->SetFontname("ＭＳ ゴシック");
        Memo->SetFontheight(16);
        Memo->SetBounds(200, 150, 400, 300);
        Memo->SetText(text);
        Memo->UpdateNative();
        // The caret to line 1,000.
        for (int i = 0; i < kLines / 2; ++i) Key(0x28);
        Draw();
    }
    ~TScene() {
        VelaFinalize();
        FreeScriptServices();
        delete FontPixelManager;
        FontPixelManager = nullptr;
    }
    static void Send(platform::InputEvent E) { DispatchTextFieldInput(E); }
    static void Key(int32_t Code) {
        platform::InputEvent e;
        e.kind = platform::InputKind::KeyDown;
        e.key = Code;
        Send(e);
    }
    static void Draw() {
        Bases->Prepare();
        for (int i = 0; i < 2; ++i) Bases->GetBase(i)->ClipList.Clear();
    }
    void Run() {
        if (++Stroke % 2) {
            platform::InputEvent e;
            e.kind = platform::InputKind::Text;
            e.text = "字";
            Send(e);
        } else {
            Key(0x08);
        }
        Draw();
    }
};

void BM_MemoKeystroke(benchmark::State& State) {
    TScene scene;
    if (scene.Memo->GetField().Lines().size() < size_t(kLines) || scene.Memo->GetTopLine() == 0) {
        State.SkipWithError("the memo was not laid out and scrolled");
        return;
    }
    const uint64_t spent = TimeRuns(State, [&] { scene.Run(); });
    State.counters["lines"] = double(scene.Memo->GetField().Lines().size());
    ReportBudget(State, double(spent));
}
BENCHMARK(BM_MemoKeystroke)->Unit(benchmark::kMicrosecond);

}  // namespace
