// Creating N boxes as the object-creation commands do (a name, then the current layer as the
// parent): the time per box should not grow with N.
#include "objects/vitems_kinds.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

void CreateBoxes(benchmark::State& State) {
    VelaInitialize();
    Bases->SetWidth(640);
    Bases->SetHeight(480);
    const int count = static_cast<int>(State.range(0));
    for (auto _ : State) {
        for (int i = 0; i < count; ++i) {
            TVelaObject* box = Bases->CreateObject(LT_BOX);
            box->SetName("box" + std::to_string(i));
            box->SetParent(Bases->GetBase(0));
        }
        State.PauseTiming();
        Bases->Clear();
        State.ResumeTiming();
    }
    State.SetItemsProcessed(State.iterations() * count);
    VelaFinalize();
}
BENCHMARK(CreateBoxes)->RangeMultiplier(4)->Range(256, 16384)->Unit(benchmark::kMillisecond);

}  // namespace
