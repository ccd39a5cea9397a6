// The scene's objects at 10,000 and 100,000 (see tenfold.h): boxes made as the creation commands
// make them (a name, then the current layer as the parent), named and unnamed; one named box
// replaced that many times, each replaced box freed after its command as the runner frees it;
// and the end of a scene of that many boxes.
#include "bench/tenfold.h"
#include "objects/vitems_kinds.h"
#include "platform/clock.h"

#include <string>

namespace {

constexpr int kSmall = 2'000, kLarge = 20'000;

TVelaObject* NewBox(const std::string* Name) {
    TVelaObject* box = Bases->CreateObject(LT_BOX);
    if (Name) box->SetName(*Name);
    box->SetParent(Bases->GetBase(0));
    return box;
}

// Count boxes, named box0, box1, ... when Named; the nanoseconds taken. The scene is left full.
uint64_t MakeBoxes(int Count, bool Named) {
    const uint64_t start = platform::ClockNs();
    for (int i = 0; i < Count; ++i) {
        const std::string name = Named ? "box" + std::to_string(i) : std::string();
        NewBox(Named ? &name : nullptr);
    }
    return platform::ClockNs() - start;
}

uint64_t ReplaceBox(int Count) {
    const std::string name = "box";
    const uint64_t start = platform::ClockNs();
    for (int i = 0; i < Count; ++i) {
        if (TVelaObject* old = Bases->ObjectNamed(name)) old->Delete();
        NewBox(&name);
        Bases->FreeDeleted();
    }
    return platform::ClockNs() - start;
}

uint64_t EndScene(int Count) {
    MakeBoxes(Count, false);
    const uint64_t start = platform::ClockNs();
    Bases->Clear();
    return platform::ClockNs() - start;
}

// Work(Count) at both sizes each iteration, the scene cleared after each outside the time.
template <class TWork>
void Tenfold(benchmark::State& State, TWork Work) {
    VelaInitialize();
    Bases->SetWidth(640);
    Bases->SetHeight(480);
    uint64_t small = 0, large = 0;
    for (auto _ : State) {
        for (const int count : {kSmall, kLarge}) {
            (count == kSmall ? small : large) += Work(count);
            State.PauseTiming();
            Bases->Clear();
            State.ResumeTiming();
        }
    }
    ReportTenfold(State, small, large);
    VelaFinalize();
}

void BM_NamedBoxes(benchmark::State& State) { Tenfold(State, [](int N) { return MakeBoxes(N, true); }); }
void BM_UnnamedBoxes(benchmark::State& State) { Tenfold(State, [](int N) { return MakeBoxes(N, false); }); }
void BM_ReplacedBox(benchmark::State& State) { Tenfold(State, ReplaceBox); }
void BM_SceneEnd(benchmark::State& State) { Tenfold(State, EndScene); }

BENCHMARK(BM_NamedBoxes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnnamedBoxes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReplacedBox)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SceneEnd)->Unit(benchmark::kMillisecond);

}  // namespace
