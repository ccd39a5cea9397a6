// The scene's objects at 2,000 and 20,000 (see tenfold.h): boxes made as the creation commands
// make them (a name, then the current layer as the parent), named and unnamed; one named box
// replaced that many times, each replaced box freed after its command as the runner frees it;
// the end of a scene of that many boxes; and, on that many children of the layer made (and
// drawn in order) beforehand, each button put into one group (then its allow-all-up set), each box
// given a priority of its own, and each box deleted (freed after its command), oldest and newest
// first.
#include "bench/tenfold.h"
#include "objects/vitems_kinds.h"
#include "platform/clock.h"

#include <string>
#include <vector>

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

// Count children of type Code made under the layer and put in drawing order, named box0, box1, ...
std::vector<TVelaObject*> MakeChildren(int Count, uint8_t Code) {
    std::vector<TVelaObject*> children;
    for (int i = 0; i < Count; ++i) {
        TVelaObject* child = Bases->CreateObject(Code);
        child->SetName("box" + std::to_string(i));
        child->SetParent(Bases->GetBase(0));
        children.push_back(child);
    }
    Bases->GetBase(0)->GetControl(0);
    return children;
}

uint64_t GroupButtons(int Count) {
    const std::vector<TVelaObject*> buttons = MakeChildren(Count, LT_BUTTON);
    const uint64_t start = platform::ClockNs();
    for (TVelaObject* button : buttons) {
        button->SetGroupindex(1);
        button->SetAllowallup(false);
    }
    return platform::ClockNs() - start;
}

// The last made goes first, each one before the ones made earlier. The changes only: the next
// look at the order puts the moved children in their places at once (one sort of them, one merge).
uint64_t OwnPriorities(int Count) {
    const std::vector<TVelaObject*> boxes = MakeChildren(Count, LT_BOX);
    const uint64_t start = platform::ClockNs();
    for (int i = 0; i < Count; ++i) boxes[size_t(i)]->SetPriority(Count - i);
    return platform::ClockNs() - start;
}

uint64_t DeleteBoxes(int Count, bool OldestFirst) {
    const std::vector<TVelaObject*> boxes = MakeChildren(Count, LT_BOX);
    const uint64_t start = platform::ClockNs();
    for (int i = 0; i < Count; ++i) {
        boxes[size_t(OldestFirst ? i : Count - 1 - i)]->Delete();
        Bases->FreeDeleted();
    }
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

void BM_GroupedButtons(benchmark::State& State) { Tenfold(State, GroupButtons); }
void BM_OwnPriorities(benchmark::State& State) { Tenfold(State, OwnPriorities); }
void BM_DeletedOldestFirst(benchmark::State& State) { Tenfold(State, [](int N) { return DeleteBoxes(N, true); }); }
void BM_DeletedNewestFirst(benchmark::State& State) { Tenfold(State, [](int N) { return DeleteBoxes(N, false); }); }

BENCHMARK(BM_NamedBoxes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnnamedBoxes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReplacedBox)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SceneEnd)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GroupedButtons)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OwnPriorities)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeletedOldestFirst)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeletedNewestFirst)->Unit(benchmark::kMillisecond);

}  // namespace
