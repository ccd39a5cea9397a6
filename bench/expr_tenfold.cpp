// Work whose size a title's input sets, each measured at two sizes ten times apart in the same
// iterations (bench/tenfold.h): "x_tenfold" is 10 for linear work, 100 for quadratic.
//
// BM_CompileTenfold compiles "s = v+v+...+v" of 10,000 and 100,000 additions into its stored form,
// as Calc and the page compiler do; Lua 5.4 compiles the same statement (luaL_loadstring) beside:
// "lua_x_tenfold" is its own ratio, "x_lua" our time over Lua's at the larger size.
// BM_LoadTenfold reads those stored forms back and plans them, as a page's expressions are loaded;
// Lua loads the same chunks dumped in its binary form beside. "x_compile" is our load's time over
// our compile's of the larger statement, taken in the same iterations.
// BM_CalcTenfold runs Calc of the same statements, s and v int variables of the table; Lua compiles
// and runs them beside, v a global holding 1: neither side can fold the sum.
// BM_TsvTenfold imports a header of 10,000 and 100,000 int fields and one row of as many cells
// into a data table, as DBLoadTsvFile does with the lines of its file.
// BM_SearchTenfold runs Pos, JPos and StringReplace of a pattern of 10,000 and 100,000 "x" and a
// "y" in a text of 400,000 and 4,000,000 "x", where every place matches all but the pattern's last
// byte; glibc's memmem makes the same search beside: "memmem_x_tenfold" is its ratio, "x_memmem"
// our three calls' time over three of its searches at the larger size.
#include "bench/tenfold.h"
#include "core/stringlist.h"
#include "platform/clock.h"
#include "script/dbs.h"
#include "script/params_funcs.h"
#include "script/params_parser.h"

#include <benchmark/benchmark.h>
#include <lua.hpp>

#include <algorithm>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

// The time Work takes added to Total; what it answers.
template <class TWork>
bool AddTime(uint64_t& Total, TWork Work) {
    const uint64_t start = platform::ClockNs();
    const bool answer = Work();
    Total += platform::ClockNs() - start;
    return answer;
}

// ---- Expressions ----

std::string Sum(int Additions) {
    std::string text = "s = v";
    for (int i = 0; i < Additions; ++i) text += "+v";
    return text;
}

// The stored form of Text, as the compiler writes it.
std::string Compiled(const std::string& Text) {
    TBuildVelaParser compiler;
    compiler.Build(Text);
    TMemoryStream stream;
    compiler.SaveToStream(stream);
    return std::string(reinterpret_cast<const char*>(stream.Memory()), size_t(stream.Size()));
}

// Reads and plans a stored form into Expression.
void Load(const std::string& Stored, TVelaParser& Expression) {
    TMemoryStream stream;
    stream.WriteBuffer(Stored.data(), int64_t(Stored.size()));
    stream.SetPosition(0);
    Expression.LoadFromStream(stream);
}

// A Lua state that compiles chunks and loads their binary dumps; each answers whether it worked.
class TLua {
public:
    TLua() : lua_(luaL_newstate()) {}
    ~TLua() { lua_close(lua_); }
    bool Compile(const std::string& Text) { return Loaded(luaL_loadstring(lua_, Text.c_str())); }
    bool Run(const std::string& Text) {
        return Loaded(luaL_loadstring(lua_, Text.c_str()) == LUA_OK ? lua_pcall(lua_, 0, 1, 0) : LUA_ERRSYNTAX);
    }
    void SetGlobal(const char* Name, int Value) {
        lua_pushinteger(lua_, Value);
        lua_setglobal(lua_, Name);
    }
    bool Load(const std::string& Binary) {
        return Loaded(luaL_loadbufferx(lua_, Binary.data(), Binary.size(), "chunk", "b"));
    }
    // The binary form of the compiled Text; empty when it does not compile.
    std::string Dump(const std::string& Text) {
        std::string binary;
        if (luaL_loadstring(lua_, Text.c_str()) != LUA_OK) return binary;
        lua_dump(lua_, Append, &binary, 0);
        lua_pop(lua_, 1);
        return binary;
    }

private:
    bool Loaded(int Status) {
        lua_settop(lua_, 0);
        return Status == LUA_OK;
    }
    static int Append(lua_State*, const void* Bytes, size_t Size, void* Binary) {
        static_cast<std::string*>(Binary)->append(static_cast<const char*>(Bytes), Size);
        return 0;
    }

    lua_State* lua_;
};

const std::string& SmallSum() {
    static const std::string text = Sum(10'000);
    return text;
}
const std::string& LargeSum() {
    static const std::string text = Sum(100'000);
    return text;
}

// Ours at both sizes beside Lua's at both, each pair taken in the same iteration; each side
// gives its own time, and whether it worked.
template <class TOurs, class TTheirs>
void RunBesideLua(benchmark::State& State, TOurs Ours, TTheirs Theirs) {
    uint64_t small = 0, large = 0, luaSmall = 0, luaLarge = 0;
    bool right = true;
    for (auto _ : State) {
        right &= Ours(false, small) && Ours(true, large);
        right &= Theirs(false, luaSmall) && Theirs(true, luaLarge);
    }
    if (!right) State.SkipWithError("a side failed");
    ReportTenfold(State, small, large);
    State.counters["lua_x_tenfold"] = TenfoldRatio(luaSmall, luaLarge);
    State.counters["x_lua"] = double(large) / double(std::max<uint64_t>(luaLarge, 1));
}

void BM_CompileTenfold(benchmark::State& State) {
    TLua lua;
    RunBesideLua(
        State,
        [](bool Large, uint64_t& Total) {
            return AddTime(Total, [Large] { return !Compiled(Large ? LargeSum() : SmallSum()).empty(); });
        },
        [&lua](bool Large, uint64_t& Total) {
            return AddTime(Total, [&lua, Large] { return lua.Compile(Large ? LargeSum() : SmallSum()); });
        });
}
BENCHMARK(BM_CompileTenfold)->Unit(benchmark::kMillisecond);

void BM_LoadTenfold(benchmark::State& State) {
    const std::string small = Compiled(SmallSum()), large = Compiled(LargeSum());
    TLua lua;
    const std::string luaSmall = lua.Dump(SmallSum()), luaLarge = lua.Dump(LargeSum());
    uint64_t loads = 0, compiles = 0;
    RunBesideLua(
        State,
        [&](bool Large, uint64_t& Total) {
            // Freed after its time is taken, as each side's state is.
            TVelaParser expression;
            const uint64_t before = Total;
            AddTime(Total, [&] {
                Load(Large ? large : small, expression);
                return true;
            });
            if (!Large) return expression.Count() == 10'001;
            loads += Total - before;
            return expression.Count() == 100'001 && AddTime(compiles, [] { return !Compiled(LargeSum()).empty(); });
        },
        [&](bool Large, uint64_t& Total) {
            return AddTime(Total, [&] { return lua.Load(Large ? luaLarge : luaSmall); });
        });
    State.counters["x_compile"] = double(loads) / double(std::max<uint64_t>(compiles, 1));
}
BENCHMARK(BM_LoadTenfold)->Unit(benchmark::kMillisecond);

// ---- Tab-separated import ----

// A header of Fields int fields and one row of as many cells.
TStringList TsvLines(int Fields) {
    std::string header, row;
    for (int i = 0; i < Fields; ++i) {
        header += (i ? "\tf" : "f") + std::to_string(i) + " int";
        row += (i ? "\t" : "") + std::to_string(i);
    }
    TStringList lines;
    lines.Add(header);
    lines.Add(row);
    return lines;
}

void BM_TsvTenfold(benchmark::State& State) {
    const TStringList small = TsvLines(10'000), large = TsvLines(100'000);
    uint64_t smallNs = 0, largeNs = 0;
    bool right = true;
    // The table is freed after the time is taken.
    const auto import = [](const TStringList& Lines, int Fields, uint64_t& Total) {
        TDBTable table("bench", DBGameTable);
        return AddTime(Total, [&] { return table.LoadFromTabText(Lines); }) && table.Fields().Count() == Fields &&
               table.GetRecordCount() == 1;
    };
    for (auto _ : State) right &= import(small, 10'000, smallNs) && import(large, 100'000, largeNs);
    if (!right) State.SkipWithError("import failed");
    ReportTenfold(State, smallNs, largeNs);
}
BENCHMARK(BM_TsvTenfold)->Unit(benchmark::kMillisecond);

// ---- Searching ----

// Built-in functions called by name with string arguments, into fresh results. Each argument is
// copied into a value of its own, as the runner copies an operand that is no reference.
class TCalls {
public:
    TCalls() {
        CreateParamMan();
        CreateSysFuncMan();
    }
    ~TCalls() {
        FreeSysFuncMan();
        FreeParamMan();
    }
    // The result's text.
    std::string Call(const char* Name, std::initializer_list<std::reference_wrapper<const std::string>> Args) {
        uint8_t index = 0;
        if (!FindSysFuncIndex(Name, index)) return {};
        std::vector<TParamStr> values(Args.size());
        std::vector<TCustomParam*> args;
        for (size_t i = 0; const std::string& arg : Args) {
            values[i].SetStr(arg);
            args.push_back(&values[i++]);
        }
        TParamCollectionItem& dest = ParamMan->AddParam(SysFuncResultTypes[index]);
        SysFuncMan->CallFunction(dest, index, args);
        std::string result = dest.GetAsStr();
        ParamMan->Delete(dest.CachedIndex());
        return result;
    }
};

void BM_CalcTenfold(benchmark::State& State) {
    TCalls calls;
    for (const char* name : {"s", "v"}) ParamMan->AddParam(PT_INT).SetName(name);
    ParamMan->Find("v")->SetAsInt(1);
    TLua lua;
    lua.SetGlobal("v", 1);
    RunBesideLua(
        State,
        [&](bool Large, uint64_t& Total) {
            return AddTime(Total, [&] { return calls.Call("Calc", {Large ? LargeSum() : SmallSum()}) == "TRUE"; }) &&
                   ParamMan->Find("s")->GetAsInt() == (Large ? 100'001 : 10'001);
        },
        [&](bool Large, uint64_t& Total) {
            return AddTime(Total, [&] { return lua.Run(Large ? LargeSum() : SmallSum()); });
        });
}
BENCHMARK(BM_CalcTenfold)->Unit(benchmark::kMillisecond);

struct TSearch {
    std::string Text, Pattern;
    explicit TSearch(size_t Length) : Text(Length, 'x'), Pattern(Length / 40, 'x') { Pattern += 'y'; }
};

void BM_SearchTenfold(benchmark::State& State) {
    const TSearch small(400'000), large(4'000'000);
    TCalls calls;
    const std::string nothing;
    // The three calls find nothing: positions 0 and the text unchanged.
    const auto ours = [&calls, &nothing](const TSearch& Search) {
        return calls.Call("Pos", {Search.Pattern, Search.Text}) == "0" &&
               calls.Call("JPos", {Search.Pattern, Search.Text}) == "0" &&
               calls.Call("StringReplace", {Search.Text, Search.Pattern, nothing}).size() == Search.Text.size();
    };
    const auto theirs = [](const TSearch& Search) {
        return !memmem(Search.Text.data(), Search.Text.size(), Search.Pattern.data(), Search.Pattern.size());
    };
    uint64_t smallNs = 0, largeNs = 0, memmemSmall = 0, memmemLarge = 0;
    bool right = true;
    for (auto _ : State) {
        right &= AddTime(smallNs, [&] { return ours(small); }) && AddTime(largeNs, [&] { return ours(large); });
        right &= AddTime(memmemSmall, [&] { return theirs(small); }) && AddTime(memmemLarge, [&] { return theirs(large); });
    }
    if (!right) State.SkipWithError("a search found something");
    ReportTenfold(State, smallNs, largeNs);
    State.counters["memmem_x_tenfold"] = TenfoldRatio(memmemSmall, memmemLarge);
    State.counters["x_memmem"] = double(largeNs) / double(std::max<uint64_t>(3 * memmemLarge, 1));
}
BENCHMARK(BM_SearchTenfold)->Unit(benchmark::kMillisecond);

}  // namespace
