#include "script/params_system.h"
#include "script/params_vars.h"

#include "core/sysutils.h"
#include "platform/clock.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

// A player state that answers from fields and records writes.
struct TFakeState : TPlayerState {
    TCustomParam* ResultParam() override { return result; }
    TParamType ResultType() override { return resultType; }
    int32_t ArgCount() override { return static_cast<int32_t>(args.size()); }
    std::string Arg(int32_t I) override { return args.at(static_cast<size_t>(I)); }
    bool KeyState(TKeyArray Which, int32_t Key) override { return Which == kaDown && Key == 13; }
    bool WheelLatch(bool Up) override { return !Up; }
    void SetFullScreen(bool Value) override { fullScreen = Value; }
    void SetFocusName(const std::string& Name) override { focus.push_back(Name); }
    TClockSample LoopNow() override { return {2024, 2, 29, 5, 23, 59, 58}; }
    std::vector<std::string> FontNames(bool) override { return {"", "Gothic", "Mincho "}; }
    int32_t MidiPortCount() override { return 2; }
    std::string MidiPortName(int32_t I) override { return I == 0 ? "Synth" : "Out"; }
    void LoadHistorySettings(const std::array<int32_t, 6>& Settings) override { history = Settings; }

    TCustomParam* result = nullptr;
    TParamType resultType = PT_NONE;
    std::vector<std::string> args;
    bool fullScreen = false;
    std::vector<std::string> focus;
    std::array<int32_t, 6> history{};
};

class ParamVars : public ::testing::Test {
protected:
    void SetUp() override { CreateParamMan(); }
    void TearDown() override { FreeParamMan(); }

    // A named global of a type.
    TParamCollectionItem& Add(const std::string& Name, uint8_t Type) {
        TParamCollectionItem& item = ParamMan->AddParam(Type);
        item.SetName(Name);
        return item;
    }
    TParamCollectionItem& System(const char* Name) { return *ParamMan->Find(Name); }
};

}  // namespace

TEST_F(ParamVars, SystemVariablesComeFirst) {
    ASSERT_EQ(ParamMan->Count(), SysVarCount);
    for (int i = 0; i < SysVarCount; ++i) {
        EXPECT_EQ(ParamMan->Items(i).Name(), SysVarNames[static_cast<size_t>(i)]);
        EXPECT_TRUE(ParamMan->Items(i).IsSystem());
        EXPECT_EQ(ParamMan->IndexOf(AnsiLowerCase(SysVarNames[static_cast<size_t>(i)])), i);
    }
    EXPECT_EQ(ParamMan->TextDelay(), 50);
}

TEST_F(ParamVars, NameRule) {
    TParamCollectionItem& item = Add("@x", PT_INT);
    for (const char* bad : {"1abc", "a b", ""})
        EXPECT_EQ(ErrorOf([&] { item.SetName(bad); }), Format("\"%s\"：変数名が不正です", bad));
    EXPECT_EQ(item.Name(), "@x");
    for (const char* good : {"変数", "a1"}) {
        item.SetName(good);
        EXPECT_EQ(ParamMan->Find(good), &item);
    }
}

TEST_F(ParamVars, ScopesAndLookup) {
    TParamCollectionItem& global = Add("x", PT_INT);
    TParamCollectionItem& local = Add("x", PT_STR);
    local.SetLocal(true);
    local.SetOwnerId(5);
    TParamCollectionItem& onlyLocal = Add("y", PT_INT);
    onlyLocal.SetLocal(true);
    onlyLocal.SetOwnerId(5);

    ParamMan->SetCurrentScope(5);
    EXPECT_EQ(ParamMan->Find("X"), &local);
    EXPECT_EQ(ParamMan->Find("y"), &onlyLocal);
    EXPECT_EQ(ParamMan->FindScoped("x", true), &local);
    EXPECT_EQ(ParamMan->FindScoped("x", false), &global);
    ParamMan->SetCurrentScope(6);
    EXPECT_EQ(ParamMan->Find("X"), &global);
    EXPECT_EQ(ParamMan->Find("y"), nullptr);
    EXPECT_EQ(ParamMan->FindScoped("x", true), nullptr);
    EXPECT_EQ(ParamMan->Find("nothing"), nullptr);

    // Of two globals of one name, the one linked earliest answers the lookup.
    TParamCollectionItem& second = Add("X", PT_INT);
    EXPECT_EQ(ParamMan->Find("x"), &global);
    EXPECT_EQ(ParamMan->FindScoped("x", false), &second);

    // Locals of the same names at other depths, linked later, lie first along the chains: depth
    // 5's own local is found all the same, and of two of one name the one linked last.
    for (int depth = 6; depth < 12; ++depth)
        for (const char* name : {"x", "y"}) {
            TParamCollectionItem& other = Add(name, PT_INT);
            other.SetLocal(true);
            other.SetOwnerId(depth);
        }
    ParamMan->SetCurrentScope(5);
    EXPECT_EQ(ParamMan->FindScoped("y", true), &onlyLocal);
    EXPECT_EQ(ParamMan->FindScoped("x", true), &local);
    TParamCollectionItem& twin = Add("x", PT_INT);
    twin.SetLocal(true);
    twin.SetOwnerId(5);
    EXPECT_EQ(ParamMan->FindScoped("x", true), &twin);
    for (int depth = 12; depth < 18; ++depth) Add("x", PT_INT).SetOwnerId(depth);
    EXPECT_EQ(ParamMan->FindScoped("x", true), &twin);
    EXPECT_EQ(ParamMan->FindScoped("x", false), &ParamMan->Items(ParamMan->Count() - 1));
    ParamMan->SetCurrentScope(20);
    EXPECT_EQ(ParamMan->FindScoped("x", true), nullptr);
}

// A lookup sees the current depth's own local of a name, else the global of that name named
// first, while depths come and go (a return, DeleteStack) and items are renamed or given other
// owners, among the locals of that name of many depths.
TEST_F(ParamVars, LookupAcrossDepths) {
    TParamCollectionItem& first = Add("v", PT_INT);
    TParamCollectionItem& second = Add("V", PT_INT);
    const auto local = [this](int32_t Depth) -> TParamCollectionItem& {
        TParamCollectionItem& item = Add("v", PT_INT);
        item.SetOwnerId(Depth);
        item.SetLocal(true);
        return item;
    };
    const auto seen = [](int32_t Depth) {
        ParamMan->SetCurrentScope(Depth);
        return ParamMan->Find("V");
    };
    TParamCollectionItem& one = local(1);
    TParamCollectionItem& two = local(2);
    TParamCollectionItem& four = local(4);
    for (int32_t depth = 10; depth < 300; ++depth) local(depth);
    EXPECT_EQ(seen(1), &one);
    EXPECT_EQ(seen(2), &two);
    EXPECT_EQ(seen(3), &first);
    EXPECT_EQ(seen(150), &ParamMan->Items(SysVarCount + 5 + 140));
    EXPECT_EQ(seen(0), &first);
    EXPECT_EQ(ParamMan->IndexOf("v"), first.Index());
    // A local declared at the current depth after a lookup there.
    EXPECT_EQ(seen(300), &first);
    TParamCollectionItem& late = local(300);
    EXPECT_EQ(ParamMan->Find("v"), &late);

    // Of two locals of a depth, the one named last.
    TParamCollectionItem& twin = local(2);
    EXPECT_EQ(seen(2), &twin);
    two.SetName("w");
    EXPECT_EQ(seen(2), &twin);
    two.SetName("v");
    EXPECT_EQ(seen(2), &two);

    // Depth 4 returns; then DeleteStack removes depth 1 under the running depth 2, the depths
    // above moving down one.
    EXPECT_EQ(seen(4), &four);
    ParamMan->DeleteScope(4);
    EXPECT_EQ(ParamMan->Find("v"), &first);
    EXPECT_EQ(seen(2), &two);
    ParamMan->RemoveScope(1);
    EXPECT_EQ(ParamMan->Find("v"), &first);
    EXPECT_EQ(seen(1), &two);
    EXPECT_EQ(seen(2), &first);
    EXPECT_EQ(seen(149), &ParamMan->Items(SysVarCount + 3 + 140));

    // Other owners, and locals made global and back.
    two.SetOwnerId(2);
    EXPECT_EQ(seen(2), &two);
    EXPECT_EQ(seen(1), &twin);
    twin.SetLocal(false);
    EXPECT_EQ(seen(1), &first);
    first.SetLocal(true);
    first.SetOwnerId(1);
    EXPECT_EQ(seen(1), &first);
    EXPECT_EQ(seen(0), &second);
    EXPECT_EQ(ParamMan->FindScoped("v", false), &twin);
}

TEST_F(ParamVars, DeleteScopeAndClear) {
    Add("g", PT_INT);
    Add("auto5", PT_INT).SetOwnerId(5);
    TParamCollectionItem& local = Add("local5", PT_INT);
    local.SetOwnerId(5);
    local.SetLocal(true);
    Add("auto6", PT_INT).SetOwnerId(6);
    Add("status", PT_STR).SetStatus(true);
    // Several items go at once: those left know their new places.
    const auto placesKept = [] {
        for (int i = 0; i < ParamMan->Count(); ++i)
            if (ParamMan->Items(i).CachedIndex() != i) return false;
        return true;
    };

    ParamMan->DeleteScope(5);
    EXPECT_EQ(ParamMan->Count(), SysVarCount + 3);
    EXPECT_EQ(ParamMan->Find("auto5"), nullptr);
    EXPECT_TRUE(placesKept());
    EXPECT_EQ(ParamMan->Find("status"), &ParamMan->Items(SysVarCount + 2));
    ParamMan->DeleteScope(-1);  // globals own -1, but the system variables stay
    EXPECT_EQ(ParamMan->Count(), SysVarCount + 1);
    EXPECT_TRUE(placesKept());

    // Owners given, taken back, deleted with their item and loaded: a scope's items go
    // however the table came to hold them.
    Add("gone", PT_INT).SetOwnerId(2);
    ParamMan->Delete(ParamMan->Find("gone")->Index());
    Add("disowned", PT_INT).SetOwnerId(2);
    ParamMan->Find("disowned")->SetOwnerId(TParamCollectionItem::NoOwner);
    ParamMan->DeleteScope(2);
    EXPECT_NE(ParamMan->Find("disowned"), nullptr);
    Add("auto2", PT_INT).SetOwnerId(2);
    TMemoryStream saved;
    ParamMan->SaveVariables(saved);
    ParamMan->DeleteScope(2);
    EXPECT_EQ(ParamMan->Find("auto2"), nullptr);
    saved.SetPosition(0);
    ParamMan->LoadVariables(saved, GameSaveVersion);
    ASSERT_NE(ParamMan->Find("auto2"), nullptr);
    ParamMan->DeleteScope(2);
    EXPECT_EQ(ParamMan->Find("auto2"), nullptr);
    ParamMan->DeleteScope(-1);

    Add("g", PT_INT);
    Add("status", PT_STR).SetStatus(true);
    ParamMan->SetTextDelay(7);
    ParamMan->SetCursorName("hand");
    ParamMan->Clear();
    EXPECT_EQ(ParamMan->Count(), SysVarCount + 1);
    EXPECT_NE(ParamMan->Find("status"), nullptr);
    EXPECT_EQ(System("@TextDelay").GetAsInt(), 50);
    EXPECT_EQ(System("@Cursor").GetAsStr(), "");
}

TEST_F(ParamVars, ElementReferences) {
    TParamCollectionItem& a = Add("a", PT_STR);
    a.SetDims({2, 3});
    TParamCollectionItem& r = Add("____d_1", PT_NONE);
    r.SetReference("a", {1, 2});
    auto& reference = static_cast<TParamVar&>(r.Value());
    EXPECT_EQ(reference.ElementIndex(), 5);
    r.SetReference("a", {0, 5});
    EXPECT_EQ(reference.ElementIndex(), 5);
    EXPECT_EQ(ErrorOf([&] { r.SetReference("a", {1, 3}); }), "a[1,3]\r\n要素数を超えています");
    EXPECT_EQ(ErrorOf([&] { r.SetReference("a", {1}); }), "a[1]\r\n添え字が不正です");
    EXPECT_EQ(reference.ElementIndex(), 5);

    r.SetAsInt(42);  // written through in the element's own type
    EXPECT_EQ(a.GetStrAt(5), "42");
    EXPECT_EQ(a.DimCount(), 2);
    EXPECT_EQ(r.Count(), 6);
    EXPECT_EQ(r.GetParamType(), PT_STR);

    Add("s", PT_INT);
    r.SetReference("s", {0});
    EXPECT_EQ(ErrorOf([&] { r.SetReference("s", {1}); }), "s[1]\r\n要素数を超えています");
    EXPECT_EQ(ErrorOf([&] { r.SetReference("none", {0}); }), "none[0]\r\n添え字が不正です");

    // The flat index wraps in 32 bits; a negative one fails at the first access.
    r.SetReference("a", {INT32_MAX, INT32_MAX});
    EXPECT_EQ(reference.ElementIndex(), -4);
    EXPECT_EQ(ErrorOf([&] { r.GetAsStr(); }), "[-4]:配列の添字が不正です");

    // Operands resolve by name and take over the element of an element temporary.
    r.SetReference("a", {1, 2});
    TParamVar operand("____D_1");
    operand.Resolve();
    EXPECT_EQ(operand.AsStr(), "42");
    TParamVar missing("nope");
    EXPECT_EQ(ErrorOf([&] { missing.Resolve(); }), "\"nope\" 変数がありません");
    EXPECT_EQ(missing.Target(), nullptr);
}

TEST_F(ParamVars, ReferencesOutliveNoTargetAndNoCycle) {
    TParamCollectionItem& a = Add("a", PT_INT);
    a.SetAsInt(3);
    TParamVar operand("a");
    operand.Resolve();
    EXPECT_EQ(operand.AsInt(), 3);
    ParamMan->Delete(a.CachedIndex());
    EXPECT_EQ(operand.Target(), nullptr);  // the variable is gone: nothing to reach
    EXPECT_EQ(operand.AsInt(), 0);
    EXPECT_EQ(operand.ParamType(), PT_NONE);
    operand.SetInt(9);

    // A reference that leads back to itself raises instead of running without end.
    TParamCollectionItem& self = Add("self", PT_NONE);
    EXPECT_EQ(ErrorOf([&] { self.SetReference("self", {0}); }), "変数の参照が循環しています");
    EXPECT_THROW(self.GetAsInt(), EParamError);
    ParamMan->SetTempVarName("@Temp");
    EXPECT_THROW(System("@Temp").GetAsStr(), EParamError);
}

TEST_F(ParamVars, CloneValue) {
    TParamCollectionItem& a = Add("a", PT_FLOAT);
    a.SetDims({2});
    a.SetFloatAt(1, 2.5L);
    std::unique_ptr<TCustomParam> clone = ParamMan->CloneValue("A");
    ASSERT_NE(dynamic_cast<TParamFloat*>(clone.get()), nullptr);
    EXPECT_EQ(clone->GetFloatAt(1), 2.5L);
    EXPECT_EQ(ParamMan->CloneValue("missing"), nullptr);
    Add("r", PT_NONE);
    EXPECT_EQ(ErrorOf([&] { ParamMan->CloneValue("r"); }), "r:不正な変数です");
    // A bound reference clones as a plain value of its target's type.
    ParamMan->Find("r")->SetReference("a", {1});
    clone = ParamMan->CloneValue("r");
    ASSERT_NE(dynamic_cast<TParamFloat*>(clone.get()), nullptr);
    EXPECT_EQ(clone->GetFloatAt(1), 2.5L);
}

TEST_F(ParamVars, PushAndPop) {
    TParamCollectionItem& a = Add("a", PT_INT);
    a.SetAsInt(1);
    TParamCollectionItem& b = Add("b", PT_STR);
    b.SetDims({2});
    b.SetStrAt(1, "two");
    ParamMan->SetTextDelay(30);
    ParamMan->PushVariables({"a", "B", "missing", "@TextDelay"});

    a.SetParamType(PT_STR);
    a.SetAsStr("changed");
    b.SetStrAt(1, "other");
    ParamMan->SetTextDelay(99);
    ParamMan->PopVariables();  // "a" changed its type: it is made again
    EXPECT_EQ(ParamMan->Find("a")->GetParamType(), PT_INT);
    EXPECT_EQ(ParamMan->Find("a")->GetAsInt(), 1);
    EXPECT_EQ(ParamMan->Find("b")->GetStrAt(1), "two");
    EXPECT_EQ(ParamMan->TextDelay(), 30);
    EXPECT_EQ(ParamMan->Find("missing"), nullptr);

    ParamMan->PushVariables({"a"});
    ParamMan->Delete(ParamMan->Find("a")->CachedIndex());
    ParamMan->PopVariables();
    EXPECT_EQ(ParamMan->Find("a")->GetAsInt(), 1);
    ParamMan->PopVariables();  // empty: nothing

    // A system variable whose type changed meanwhile is passed over, never deleted.
    Add("t", PT_INT).SetAsInt(5);
    Add("u", PT_STR);
    ParamMan->SetTempVarName("t");
    ParamMan->PushVariables({"@Temp"});
    ParamMan->SetTempVarName("u");
    ParamMan->PopVariables();
    EXPECT_TRUE(ParamMan->Items(44).IsSystem());
}

TEST_F(ParamVars, SaveLoadSaveIsIdentical) {
    Add("i", PT_INT).SetAsInt(-7);
    TParamCollectionItem& f = Add("f", PT_FLOAT);
    f.SetDims({3});
    f.SetFloatAt(2, 1.0L / 3);
    Add("b", PT_BOOL).SetAsBool(true);
    TParamCollectionItem& s = Add("文字列", PT_STR);
    s.SetDims({2, 2});
    s.SetStrAt(3, "値");
    TParamCollectionItem& r = Add("ref", PT_NONE);
    r.SetReference("文字列", {1, 1});
    Add("unbound", PT_NONE);
    TParamCollectionItem& local = Add("loc", PT_INT);
    local.SetLocal(true);
    local.SetOwnerId(2);
    Add("st", PT_STR).SetStatus(true);
    ParamMan->Find("st")->SetAsStr("kept");
    Add("rs", PT_NONE).SetStatus(true);
    ParamMan->Find("rs")->SetReference("st", {0});
    ParamMan->SetCursorName("hand");
    ParamMan->SetSelStr("sel");
    ParamMan->SetSelIndex(3);
    ParamMan->SetTempVarName("i");
    ParamMan->PushVariables({"i", "文字列"});
    ParamMan->PushVariables({});

    TMemoryStream game1, status1;
    ParamMan->SaveVariables(game1);
    ParamMan->SaveStatusVariables(status1);
    // Each reference is stored under its own code 0, with the name of its target.
    const std::string target = FromHex("06000000") + "文字列";
    EXPECT_NE(Bytes(game1).find(FromHex("00 03000000") + "ref" + FromHex("00000000") + target + target +
                                FromHex("00 03000000")),
              std::string::npos);

    FreeParamMan();
    CreateParamMan();
    status1.SetPosition(0);
    game1.SetPosition(0);
    ParamMan->LoadStatusVariables(status1, StatusSaveVersion);
    ParamMan->LoadVariables(game1, GameSaveVersion);
    EXPECT_EQ(game1.Remaining(), 0);
    EXPECT_EQ(ParamMan->Find("ref")->GetAsStr(), "値");
    EXPECT_EQ(ParamMan->Find("rs")->GetAsStr(), "kept");
    EXPECT_EQ(ParamMan->Find("f")->GetFloatAt(2), 1.0L / 3);
    EXPECT_EQ(ParamMan->Items(SysVarCount + 2).Name(), "i");  // status first, then the saved order
    EXPECT_EQ(ParamMan->TempVarName(), "i");

    TMemoryStream game2, status2;
    ParamMan->SaveVariables(game2);
    ParamMan->SaveStatusVariables(status2);
    EXPECT_EQ(ToHex(Bytes(game2)), ToHex(Bytes(game1)));
    EXPECT_EQ(ToHex(Bytes(status2)), ToHex(Bytes(status1)));

    ParamMan->PopVariables();
    ParamMan->Find("i")->SetAsInt(0);
    ParamMan->PopVariables();
    EXPECT_EQ(ParamMan->Find("i")->GetAsInt(), -7);
}

TEST_F(ParamVars, SectionLayout) {
    TMemoryStream empty;
    ParamMan->SaveVariables(empty);
    // No variables, delay 50, cursor, selection string and index, TempVarName, no stacked stream.
    EXPECT_EQ(ToHex(Bytes(empty)), "00000000" "32000000" "00000000" "00000000" "00000000" "00000000" "00000000");

    Add("a", PT_INT).SetAsInt(5);
    Add("b", PT_INT);
    TMemoryStream two;
    ParamMan->SaveVariables(two);
    EXPECT_EQ(Bytes(two).substr(0, 29), FromHex("02000000 01 01000000 62 00000000 01000000 00000000 00 00 FFFFFFFF 00"));

    // Older saves: no selection before 103, six history settings from 113 to 134, no
    // TempVarName before 121, no variable stack before 139.
    auto state = std::make_unique<TFakeState>();
    ParamMan->SetState(state.get());
    TMemoryStream old = StreamOf(FromHex("00000000 07000000 00000000 00000000 09000000 01000000 02000000 03000000"
                                         "04000000 05000000 06000000"));
    ParamMan->LoadVariables(old, 120);
    EXPECT_EQ(old.Remaining(), 0);
    EXPECT_EQ(ParamMan->TextDelay(), 7);
    EXPECT_EQ(ParamMan->SelIndex(), 9);
    EXPECT_EQ(state->history, (std::array<int32_t, 6>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(ParamMan->Find("a"), nullptr);
    TMemoryStream oldest = StreamOf(FromHex("00000000 08000000 00000000"));
    ParamMan->LoadVariables(oldest, 102);
    EXPECT_EQ(ParamMan->TextDelay(), 8);
    ParamMan->SetState(nullptr);
}

TEST_F(ParamVars, DamagedSectionsRaiseReadErrors) {
    Add("i", PT_INT).SetAsInt(1);
    TParamCollectionItem& s = Add("s", PT_STR);
    s.SetDims({2});
    s.SetStrAt(0, "x");
    Add("r", PT_NONE).SetReference("s", {1});
    ParamMan->PushVariables({"i", "s"});
    TMemoryStream saved;
    ParamMan->SaveVariables(saved);
    const std::string good = Bytes(saved);

    for (size_t cut = 0; cut < good.size(); ++cut) {
        TMemoryStream shortStream = StreamOf(good.substr(0, cut));
        EXPECT_THROW(ParamMan->LoadVariables(shortStream, GameSaveVersion), EReadError) << cut;
        for (int i = SysVarCount; i < ParamMan->Count(); ++i)  // no half-read variable is left
            EXPECT_NE(ParamMan->Items(i).Name(), "") << cut;
    }
    std::string badType = good;
    badType[4] = 5;
    std::string negative = good;
    negative.replace(0, 4, FromHex("FFFFFFFF"));
    std::string huge = good;
    huge.replace(0, 4, FromHex("FFFFFF7F"));
    const std::string tail = "00000000 32000000 00000000 00000000 00000000 00000000";
    for (const std::string& bad : {badType, negative, huge, FromHex(tail + "FFFFFFFF"), FromHex(tail + "02000000"),
                                   FromHex(tail + "01000000 05000000 00")}) {
        TMemoryStream stream = StreamOf(bad);
        EXPECT_THROW(ParamMan->LoadVariables(stream, GameSaveVersion), EReadError);
    }
    const int count = ParamMan->Count();
    TMemoryStream badName = StreamOf(FromHex("01000000 01 01000000 31 00000000 01000000 00000000 00 00 FFFFFFFF 00"));
    EXPECT_THROW(ParamMan->LoadStatusVariables(badName, StatusSaveVersion), EParamError);
    EXPECT_EQ(ParamMan->Count(), count);

    // A damaged stack entry raises on popping and is dropped all the same.
    TMemoryStream withStack = StreamOf(FromHex("00000000 32000000 00000000 00000000 00000000 00000000"
                                               "01000000 0C000000 01000000 07000000 01000000 61"));
    ParamMan->LoadVariables(withStack, GameSaveVersion);
    EXPECT_THROW(ParamMan->PopVariables(), EReadError);
    TMemoryStream after;
    ParamMan->SaveVariables(after);
    EXPECT_EQ(Bytes(after).substr(Bytes(after).size() - 4), FromHex("00000000"));
}

TEST_F(ParamVars, SystemConversions) {
    TParamCollectionItem& delay = System("@TextDelay");
    delay.SetAsFloat(3.9L);
    EXPECT_EQ(ParamMan->TextDelay(), 3);
    delay.SetAsStr("abc");  // no integer: nothing written
    EXPECT_EQ(ParamMan->TextDelay(), 3);
    delay.SetIntAt(99, 14);  // the index is ignored
    EXPECT_EQ(delay.GetAsStr(), "14");
    System("@SelIndex").SetAsStr("abc");
    EXPECT_EQ(ParamMan->SelIndex(), 0);
    System("@SelStr").SetAsFloat(2.5L);
    EXPECT_EQ(ParamMan->SelStr(), "2.5");
    ParamMan->SetSelStr("1.5");
    EXPECT_EQ(System("@SelStr").GetAsFloat(), 0.0L);  // read by the integer parse
    ParamMan->SetSelStr("FALSE");
    EXPECT_TRUE(System("@SelStr").GetAsBool());  // any non-empty string

    TParamCollectionItem& pi = System("@Pi");
    EXPECT_EQ(pi.GetAsStr(), "3.14159265358979");
    pi.SetAsFloat(1);
    EXPECT_EQ(pi.GetAsFloat(), std::numbers::pi_v<long double>);
    EXPECT_NEAR(static_cast<double>(System("@1Sec").GetAsFloat() * 86400), 1.0, 1e-15);
    EXPECT_EQ(System("@1Hour").GetAsFloat(), static_cast<long double>(1.0 / 24));

    const int32_t before = static_cast<int32_t>(platform::ClockMs());
    EXPECT_LT(static_cast<uint32_t>(System("@PCTickCount").GetAsInt() - before), 1000u);
    EXPECT_GE(System("@Year").GetAsInt(), 2024);  // the host clock

    // Dimensions are only recorded, with the size check of any value.
    delay.SetDims({2, 3});
    EXPECT_EQ(delay.DimCount(), 2);
    EXPECT_EQ(delay.Count(), 1);
    EXPECT_EQ(ErrorOf([&] { delay.SetDims({0}); }), "配列の要素数[0]が不正です");
    EXPECT_EQ(ErrorOf([&] { TParamSystem(*ParamMan, SysVarCount).ParamType(); }), "内部エラー");
}

TEST_F(ParamVars, SystemResultAndTemp) {
    TParamCollectionItem& result = System("@Result");
    EXPECT_EQ(result.GetAsInt(), 0);
    EXPECT_EQ(result.GetParamType(), PT_NONE);
    EXPECT_EQ(result.Count(), 1);
    result.SetAsInt(5);

    TFakeState state;
    TParamStr holder;
    state.result = &holder;
    state.resultType = PT_STR;
    ParamMan->SetState(&state);
    result.SetAsInt(5);
    EXPECT_EQ(holder.AsStr(), "5");
    EXPECT_EQ(result.GetParamType(), PT_STR);
    ParamMan->SetState(nullptr);

    TParamCollectionItem& temp = System("@Temp");
    EXPECT_EQ(temp.GetParamType(), PT_NONE);
    EXPECT_EQ(temp.GetAsStr(), "");
    temp.SetAsInt(3);
    TParamCollectionItem& t = Add("t", PT_INT);
    t.SetDims({2, 3});
    ParamMan->SetTempVarName("T");
    EXPECT_EQ(temp.GetParamType(), PT_INT);
    EXPECT_EQ(temp.Count(), 6);
    EXPECT_EQ(temp.Dim(1), 3);
    temp.SetIntAt(4, 9);
    EXPECT_EQ(t.GetIntAt(4), 9);
    EXPECT_EQ(ErrorOf([&] { temp.GetIntAt(6); }), "[6]:配列の添字が不正です");
    ParamMan->Delete(t.CachedIndex());  // the name stays, the variable is gone
    EXPECT_EQ(temp.GetAsInt(), 0);
}

TEST_F(ParamVars, SystemPlayerState) {
    TFakeState state;
    ParamMan->SetState(&state);
    TParamCollectionItem& keys = System("@KeyPush");
    EXPECT_EQ(keys.Count(), 258);
    EXPECT_EQ(keys.Dim(0), 258);
    EXPECT_TRUE(keys.GetBoolAt(13));
    EXPECT_TRUE(keys.GetBoolAt(256));   // wheel down
    EXPECT_FALSE(keys.GetBoolAt(257));  // wheel up
    EXPECT_FALSE(keys.GetBoolAt(300));
    EXPECT_FALSE(keys.GetAsBool());

    TParamCollectionItem& full = System("@FullScr");
    full.SetAsStr("1");
    EXPECT_TRUE(state.fullScreen);
    full.SetAsStr("TRUE");  // integer parse: 0
    EXPECT_FALSE(state.fullScreen);

    state.args = {"one", "two"};
    EXPECT_EQ(System("@ParamStr").Count(), 2);
    EXPECT_EQ(System("@ParamStr").GetStrAt(1), "two");
    EXPECT_EQ(System("@ParamStr").GetStrAt(2), "");
    EXPECT_EQ(System("@ParamStr").GetAsStr(), "");
    EXPECT_EQ(System("@MidiPorts").GetAsStr(), "Synth");  // the plain read is element 0
    EXPECT_EQ(System("@Fonts").GetAsStr(), "Gothic\r\nMincho");
    EXPECT_EQ(System("@Week").GetAsStr(), "5");

    System("@ActiveCompo").SetAsStr("");
    System("@ActiveCompo").SetAsStr("button");
    EXPECT_EQ(state.focus, std::vector<std::string>{"button"});

    // The stream form of a system variable is that of a plain value of its type.
    TMemoryStream stream;
    keys.Value().SaveToStream(stream);
    EXPECT_EQ(stream.Size(), 4 + 4 + 258);
    ParamMan->SetState(nullptr);
}
