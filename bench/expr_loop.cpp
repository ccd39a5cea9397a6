// A million-iteration arithmetic loop through compiled expressions ("i = i + 1" and
// "s = s + i * 3 % 7", run as the script runner runs them), beside the same loop in Lua 5.4 with
// global variables (looked up by name, like ours) and with local ones.
#include "script/params_funcs.h"
#include "script/params_parser.h"

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

void Load(TVelaParser& Expression, const std::string& Text) {
    TBuildVelaParser compiler;
    compiler.Build(Text);
    TMemoryStream stream;
    compiler.SaveToStream(stream);
    stream.SetPosition(0);
    Expression.LoadFromStream(stream);
}

// Time per loop iteration, and per operation when each iteration runs Operations of them.
void SetCounters(benchmark::State& State, int Operations) {
    using benchmark::Counter;
    State.counters["per_iteration"] = Counter(kIterations, Counter::kIsIterationInvariantRate | Counter::kInvert);
    if (Operations > 0)
        State.counters["per_operation"] =
            Counter(double(kIterations) * Operations, Counter::kIsIterationInvariantRate | Counter::kInvert);
}

void BM_CompiledExpressions(benchmark::State& State) {
    CreateParamMan();
    CreateSysFuncMan();
    for (const char* name : {"i", "s"}) ParamMan->AddParam(PT_INT).SetName(name);
    TVelaParser increment, sum;
    Load(increment, "i = i + 1");
    Load(sum, "s = s + i * 3 % 7");
    int64_t result = 0;
    for (auto _ : State) {
        ParamMan->Find("i")->SetAsInt(0);
        ParamMan->Find("s")->SetAsInt(0);
        for (int n = 0; n < kIterations; ++n) {
            increment.Execute();
            sum.Execute();
        }
        result = ParamMan->Find("s")->GetAsInt();
    }
    if (result != ExpectedSum()) State.SkipWithError("wrong sum");
    SetCounters(State, increment.Count() + sum.Count());
    FreeSysFuncMan();
    FreeParamMan();
}

void RunLua(benchmark::State& State, const char* Chunk) {
    lua_State* lua = luaL_newstate();
    luaL_openlibs(lua);
    if (luaL_loadstring(lua, Chunk) != LUA_OK) State.SkipWithError("Lua chunk does not load");
    lua_Integer result = 0;
    for (auto _ : State) {
        lua_pushvalue(lua, -1);
        lua_call(lua, 0, 1);
        result = lua_tointeger(lua, -1);
        lua_pop(lua, 1);
    }
    if (result != ExpectedSum()) State.SkipWithError("wrong sum");
    SetCounters(State, 0);
    lua_close(lua);
}

void BM_LuaGlobals(benchmark::State& State) {
    RunLua(State, "i = 0 s = 0 for n = 1, 1000000 do i = i + 1 s = s + i * 3 % 7 end return s");
}

void BM_LuaLocals(benchmark::State& State) {
    RunLua(State, "local i, s = 0, 0 for n = 1, 1000000 do i = i + 1 s = s + i * 3 % 7 end return s");
}

}  // namespace

BENCHMARK(BM_CompiledExpressions)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LuaGlobals)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LuaLocals)->Unit(benchmark::kMillisecond);
