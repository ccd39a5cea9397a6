// The message window beside the tick budget (15 ms: the loop's 66 ticks a second):
//   BM_StoryRevealTick: one tick of the player (input, script, steps, drawing the dirty
//     rectangles, present) on an 800 x 600 screen while a page of marked-up text with ruby,
//     colours, borders and a link reveals in a 720 x 196 window, from the title story_tick/ beside
//     this file. A page revealed whole is turned outside the timing. ms is the tick,
//     budget_ratio its share of the budget.
//   BM_HistorySaveLoad: the history formats saved into a game save and read back, the unnamed
//     format holding 1,000 recorded pages (five to a screen), as every game save and load does;
//     ms is one save and load, budget_ratio its share of the budget, bytes the stored size.
#include "app/entry.h"
#include "app/view.h"
#include "bench/beside_budget.h"
#include "core/vrfiles_manager.h"
#include "media/velabind.h"
#include "objects/vitemex_mes.h"
#include "objects/vitems.h"
#include "platform/clock.h"
#include "platform/display.h"
#include "platform/fs.h"
#include "script/services.h"
#include "text/histories.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

namespace {

void BM_StoryRevealTick(benchmark::State& State) {
    BindVelaLibrary(platform::fs::ToProgramPath(VELA_COMPANION_FOLDER "/"));
    InitializeShell();
    platform::HeadlessDisplay display;
    auto form = std::make_unique<TFormView>(display, platform::fs::ToProgramPath(VELA_STORY_TITLE "/velaplay"),
                                            std::vector<std::string>{});
    form->UseLoopThread = false;
    form->FormCreate();
    uint32_t now = 0;
    auto tick = [&] {
        now += TLoopThread::TickLength;
        RunTick(form->Clock, now, TLoopThread::TickLength, [&] { form->DoLoop(); });
    };
    for (int i = 0; i < 3; ++i) tick();
    auto* window = Bases ? dynamic_cast<TVelaMes*>(Bases->FindObject("story")) : nullptr;
    if (Terminating() || !window || window->GetCount() < 2) {
        State.SkipWithError("the title did not start");
    } else {
        uint64_t spent = 0;
        size_t rects = 0;
        for (auto _ : State) {
            const uint64_t start = platform::ClockNs();
            tick();
            spent += platform::ClockNs() - start;
            if (!display.frames.empty()) rects += display.frames.back().rects.size();
            if (window->GetPlayState() != 0) {
                State.PauseTiming();
                window->SetIndex((window->GetIndex() + 1) % window->GetCount());
                State.ResumeTiming();
            }
        }
        ReportBudget(State, double(spent));
        if (rects == 0) State.SkipWithError("nothing was presented");
    }
    form.reset();
    FinalizeShell();
    UnbindVelaLibrary();
}
BENCHMARK(BM_StoryRevealTick)->Unit(benchmark::kMicrosecond);

void BM_HistorySaveLoad(benchmark::State& State) {
    TVelaHistoryFormatManager formats;
    TVelaNewHistory& history = formats.FindOrAddFormat("").History();
    for (int32_t i = 0; i < 1000; ++i) {
        if (i % 5 == 0) history.Screens.Add();
        history.Screens.Last()
            .Add("scene" + std::to_string(i / 50) + ".vsb", i % 50, 0, 120, 60, "name=遥\r\nplace=北の海");
    }
    int64_t bytes = 0;
    uint64_t spent = 0;
    for (auto _ : State) {
        const uint64_t start = platform::ClockNs();
        TMemoryStream stream;
        formats.SaveToStream(stream);
        stream.SetPosition(0);
        TVelaHistoryFormatManager loaded;
        loaded.LoadFromStream(stream, GameSaveVersion);
        spent += platform::ClockNs() - start;
        bytes = stream.Size();
        benchmark::DoNotOptimize(loaded.Count());
    }
    ReportBudget(State, double(spent));
    State.counters["bytes"] = double(bytes);
}
BENCHMARK(BM_HistorySaveLoad)->Unit(benchmark::kMicrosecond);

}  // namespace
