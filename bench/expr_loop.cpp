// A million-iteration arithmetic loop through compiled expressions ("i = i + 1" and
// "s = s + i * 3 % 7", run as the script runner runs them), beside the same loop in Lua 5.4 with
// global variables (looked up by name, like ours) and with local ones; BM_RatioToLua runs the three
// in turn in each of its iterations and reports our time as a multiple of each of Lua's.
#include "script/params_funcs.h"
#include "script/params_parser.h"
#include "platform/clock.h"

#include <benchmark/benchmark.h>
#include <lua.hpp>

#include <string>

namespace {

constexpr int kIterations = 1000000;

// What s holds after the loop.
int64_t ExpectedSum() {
    int64_t sum = 0;
    for (int64_t i = 1; i <= kIterations; ++i) sum += i * 3 % 7;
    return sum;
}

// Time per loop iteration, and per operation when each iteration runs Operations of them.
void SetCounters(benchmark::State& State, int Operations) {
    using benchmark::Counter;
    State.counters["per_iteration"] = Counter(kIterations, Counter::kIsIterationInvariantRate | Counter::kInvert);
    if (Operations > 0)
        State.counters["per_operation"] =
            Counter(double(kIterations) * Operations, Counter::kIsIterationInvariantRate | Counter::kInvert);
}

// The variables and expressions of our loop, in a fresh table.
class TOurLoop {
public:
    TOurLoop() {
        CreateParamMan();
        CreateSysFuncMan();
        for (const char* name : {"i", "s"}) ParamMan->AddParam(PT_INT).SetName(name);
        CompileExpression("i = i + 1", increment_);
        CompileExpression("s = s + i * 3 % 7", sum_);
    }
    ~TOurLoop() {
        FreeSysFuncMan();
        FreeParamMan();
    }
    // Runs the loop; the sum.
    int64_t Run() {
        ParamMan->Find("i")->SetAsInt(0);
        ParamMan->Find("s")->SetAsInt(0);
        for (int n = 0; n < kIterations; ++n) {
            increment_.Execute();
            sum_.Execute();
        }
        return ParamMan->Find("s")->GetAsInt();
    }
    int Operations() const { return increment_.Count() + sum_.Count(); }

private:
    TVelaParser increment_, sum_;
};

// A Lua chunk loaded once; each Run calls it and gives what it returns.
class TLuaLoop {
public:
    explicit TLuaLoop(const char* Chunk) : lua_(luaL_newstate()) {
        luaL_openlibs(lua_);
        loaded_ = luaL_loadstring(lua_, Chunk) == LUA_OK;
    }
    ~TLuaLoop() { lua_close(lua_); }
    bool Loaded() const { return loaded_; }
    int64_t Run() {
        lua_pushvalue(lua_, -1);
        lua_call(lua_, 0, 1);
        const lua_Integer result = lua_tointeger(lua_, -1);
        lua_pop(lua_, 1);
        return result;
    }

private:
    lua_State* lua_;
    bool loaded_;
};

constexpr char kLuaGlobals[] = "i = 0 s = 0 for n = 1, 1000000 do i = i + 1 s = s + i * 3 % 7 end return s";
constexpr char kLuaLocals[] = "local i, s = 0, 0 for n = 1, 1000000 do i = i + 1 s = s + i * 3 % 7 end return s";

void BM_CompiledExpressions(benchmark::State& State) {
    TOurLoop loop;
    int64_t result = 0;
    for (auto _ : State) result = loop.Run();
    if (result != ExpectedSum()) State.SkipWithError("wrong sum");
    SetCounters(State, loop.Operations());
}

void RunLua(benchmark::State& State, const char* Chunk) {
    TLuaLoop loop(Chunk);
    if (!loop.Loaded()) State.SkipWithError("Lua chunk does not load");
    int64_t result = 0;
    for (auto _ : State) result = loop.Run();
    if (result != ExpectedSum()) State.SkipWithError("wrong sum");
    SetCounters(State, 0);
}

void BM_LuaGlobals(benchmark::State& State) { RunLua(State, kLuaGlobals); }

void BM_LuaLocals(benchmark::State& State) { RunLua(State, kLuaLocals); }

// Our loop and both Lua loops one after the other in each iteration, so that a busy machine
// slows all three alike: "x_lua_globals" is our time over Lua's with globals.
void BM_RatioToLua(benchmark::State& State) {
    TOurLoop ours;
    TLuaLoop globals(kLuaGlobals), locals(kLuaLocals);
    uint64_t ourTime = 0, globalsTime = 0, localsTime = 0;
    const auto timed = [](auto& Loop, uint64_t& Total) {
        const uint64_t start = platform::ClockNs();
        const int64_t result = Loop.Run();
        Total += platform::ClockNs() - start;
        return result;
    };
    bool right = globals.Loaded() && locals.Loaded();
    for (auto _ : State) {
        right &= timed(ours, ourTime) == ExpectedSum();
        right &= timed(globals, globalsTime) == ExpectedSum();
        right &= timed(locals, localsTime) == ExpectedSum();
    }
    if (!right) State.SkipWithError("wrong sum");
    State.counters["x_lua_globals"] = double(ourTime) / double(globalsTime);
    State.counters["x_lua_locals"] = double(ourTime) / double(localsTime);
}

}  // namespace

BENCHMARK(BM_CompiledExpressions)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LuaGlobals)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LuaLocals)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RatioToLua)->Unit(benchmark::kMillisecond)->MinTime(2.0);
