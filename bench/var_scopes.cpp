// The variable table's call depths and a collection's moves at two sizes ten times apart (see
// tenfold.h), the work a title's loop makes of them:
// - BM_DeleteStackUnderPage: a title holding N globals runs N pages in turn, each declaring a
//   local and removing the frame under its own with DeleteStack, so the stack keeps its depth
//   (N 10,000 and 100,000).
// - BM_NestLocals: N nested calls each declare a local of one name (N 1,000 and 10,000).
// - BM_ReadNestedLocals: N nested calls each run an expression reading "l" before declaring their
//   local "l" (the global "l", hidden by no local of their depth) and after (their own), with the
//   locals of the calls below in the table (N 1,000 and 10,000).
// - BM_ReturnPastGlobals: N nested calls each declare a local, the deepest page declares N
//   globals, and every page returns (N 1,000 and 10,000, the deepest stack a title may make).
// - BM_DeleteStackFromBottom: N nested calls each declare a local, then DeleteStack(0) until no
//   frame is left (N 1,000 and 10,000). The variables' depths move without a walk, and the call
//   stack removes its bottom frame without moving the others.
// - BM_MoveAcrossGap: of N named items a third deleted from the middle, then N times the item
//   before the gap moved past it and back (N 10,000 and 100,000).
#include "bench/tenfold.h"
#include "core/hash.h"
#include "platform/clock.h"
#include "script/callman.h"
#include "script/params_funcs.h"
#include "script/params_parser.h"
#include "script/params_vars.h"

#include <string>

namespace {

// The variable table with a call stack of its own and DeleteStack called as a script calls it.
class TTable {
public:
    TTable() {
        CreateParamMan();
        CreateSysFuncMan();
        ParamMan->SetState(&state_);
        FindSysFuncIndex("DeleteStack", deleteStack_);
        result_ = &Declare("ok", TParamCollectionItem::NoOwner, false);
    }
    ~TTable() {
        state_.Stack.Clear();
        ParamMan->SetState(nullptr);
        FreeSysFuncMan();
        FreeParamMan();
    }
    TStackList& Stack() { return state_.Stack; }
    // A new variable as VarNew makes it: global, auto (Local false) or local of depth Owner.
    TParamCollectionItem& Declare(const std::string& Name, int32_t Owner, bool Local) {
        TParamCollectionItem& item = ParamMan->AddParam(PT_INT);
        item.SetOwnerId(Owner);
        item.SetLocal(Local);
        item.SetName(Name);
        return item;
    }
    // The frames of Depth nested calls, each page declaring its local "l".
    void Nest(int Depth) {
        while (Stack().Count() < Depth) {
            Stack().Push();
            DeclareLocal();
        }
    }
    // The running page's local "l" as VarNew declares it: the depth's own is looked for first.
    TParamCollectionItem& DeclareLocal() {
        TParamCollectionItem* local = ParamMan->FindScoped("l", true);
        return local ? *local : Declare("l", Stack().Count(), true);
    }
    bool DeleteStack(int32_t Index) {
        TParamInt index;
        index.SetInt(Index);
        TCustomParam* const args[] = {&index};
        SysFuncMan->CallFunction(*result_, deleteStack_, args);
        return result_->GetAsBool();
    }

private:
    struct TState : TPlayerState {
        TStackList* CallStack() override { return &Stack; }
        TStackList Stack;
    } state_;
    uint8_t deleteStack_ = 0;
    TParamCollectionItem* result_ = nullptr;
};

// Times Work(Size) at both sizes in every iteration; Work adds its own nanoseconds to the total
// it is given and answers whether it went as it should.
template <class TWork>
void Tenfold(benchmark::State& State, int Small, TWork Work) {
    uint64_t smallNs = 0, largeNs = 0;
    bool right = true;
    for (auto _ : State) right &= Work(Small, smallNs) && Work(Small * 10, largeNs);
    if (!right) State.SkipWithError("the work went wrong");
    ReportTenfold(State, smallNs, largeNs);
}

void BM_DeleteStackUnderPage(benchmark::State& State) {
    Tenfold(State, 10'000, [](int N, uint64_t& Total) {
        TTable table;
        for (int i = 0; i < N; ++i) table.Declare("g" + std::to_string(i), TParamCollectionItem::NoOwner, false);
        table.Nest(1);
        bool right = true;
        const uint64_t start = platform::ClockNs();
        for (int i = 0; i < N; ++i) {
            table.Nest(2);
            right &= table.DeleteStack(table.Stack().Count() - 2);
        }
        Total += platform::ClockNs() - start;
        return right && ParamMan->Count() < SysVarCount + N + 4;
    });
}
BENCHMARK(BM_DeleteStackUnderPage)->Unit(benchmark::kMillisecond);

void BM_NestLocals(benchmark::State& State) {
    Tenfold(State, 1'000, [](int N, uint64_t& Total) {
        TTable table;
        const uint64_t start = platform::ClockNs();
        table.Nest(N);
        Total += platform::ClockNs() - start;
        return ParamMan->Count() == SysVarCount + N + 1;
    });
}
BENCHMARK(BM_NestLocals)->Unit(benchmark::kMillisecond);

void BM_ReadNestedLocals(benchmark::State& State) {
    TBuildVelaParser compiler;
    compiler.Build("r = l");
    Tenfold(State, 1'000, [&compiler](int N, uint64_t& Total) {
        TTable table;
        TParamCollectionItem& result = table.Declare("r", TParamCollectionItem::NoOwner, false);
        table.Declare("l", TParamCollectionItem::NoOwner, false).SetAsInt(-1);
        TVelaParser read;
        read.SetOperations(compiler);
        const auto reads = [&](int32_t Value) {
            read.Execute();
            return result.GetAsInt() == Value;
        };
        bool right = true;
        const uint64_t start = platform::ClockNs();
        while (table.Stack().Count() < N) {
            table.Stack().Push();
            right &= reads(-1);
            table.DeclareLocal().SetAsInt(table.Stack().Count());
            right &= reads(table.Stack().Count());
        }
        Total += platform::ClockNs() - start;
        return right;
    });
}
BENCHMARK(BM_ReadNestedLocals)->Unit(benchmark::kMillisecond);

void BM_ReturnPastGlobals(benchmark::State& State) {
    Tenfold(State, 1'000, [](int N, uint64_t& Total) {
        TTable table;
        table.Nest(N);
        for (int i = 0; i < N; ++i) table.Declare("g" + std::to_string(i), TParamCollectionItem::NoOwner, false);
        const uint64_t start = platform::ClockNs();
        // As a page returns: its depth's variables go, then its frame.
        while (table.Stack().Count() > 0) {
            ParamMan->DeleteScope(table.Stack().Count());
            table.Stack().Pop();
        }
        Total += platform::ClockNs() - start;
        return ParamMan->Count() == SysVarCount + N + 1;
    });
}
BENCHMARK(BM_ReturnPastGlobals)->Unit(benchmark::kMillisecond);

void BM_DeleteStackFromBottom(benchmark::State& State) {
    Tenfold(State, 1'000, [](int N, uint64_t& Total) {
        TTable table;
        table.Nest(N);
        bool right = true;
        const uint64_t start = platform::ClockNs();
        while (table.Stack().Count() > 0) right &= table.DeleteStack(0);
        Total += platform::ClockNs() - start;
        // The running page's own local is left.
        return right && ParamMan->Count() == SysVarCount + 2;
    });
}
BENCHMARK(BM_DeleteStackFromBottom)->Unit(benchmark::kMillisecond);

void BM_MoveAcrossGap(benchmark::State& State) {
    Tenfold(State, 10'000, [](int N, uint64_t& Total) {
        THashCollection items;
        for (int i = 0; i < N; ++i) items.AddNamed("v" + std::to_string(i));
        const int before = N / 3 - 1;
        for (int i = 0; i < N / 3; ++i) items.Delete(before + 1);
        const std::string first = items.Items(before).Name(), second = items.Items(before + 1).Name();
        const uint64_t start = platform::ClockNs();
        for (int i = 0; i < N; ++i) {
            items.Items(before).SetIndex(before + 1);
            items.Items(before + 1).SetIndex(before);
        }
        Total += platform::ClockNs() - start;
        return items.Items(before).Name() == first && items.Items(before + 1).Name() == second;
    });
}
BENCHMARK(BM_MoveAcrossGap)->Unit(benchmark::kMillisecond);

}  // namespace
