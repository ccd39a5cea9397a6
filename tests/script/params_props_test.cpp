// Properties by id: every id's kind and base answer, the conversions, and the ids with rules of
// their own.
#include "script/params_props.h"

#include "objects/vitems.h"

#include <gtest/gtest.h>

#include <limits>
#include <map>
#include <numbers>

namespace {

// Records which of the four setters a read used and the value it got.
class TSpy : public TCustomParam {
public:
    TParamType Kind = PT_NONE;
    std::string Text;
    void SetInt(int32_t V) override { Got(PT_INT, std::to_string(V)); }
    void SetFloat(long double V) override { Got(PT_FLOAT, std::to_string(static_cast<double>(V))); }
    void SetBool(bool V) override { Got(PT_BOOL, V ? "TRUE" : "FALSE"); }
    void SetStr(const std::string& V) override { Got(PT_STR, V); }

private:
    void Got(TParamType K, std::string V) {
        EXPECT_EQ(Kind, PT_NONE) << "read twice";
        Kind = K;
        Text = std::move(V);
    }
};

template <class P, class T>
std::unique_ptr<TCustomParam> Val(void (TCustomParam::*Set)(T), T V) {
    auto p = std::make_unique<P>();
    ((*p).*Set)(V);
    return p;
}
std::unique_ptr<TCustomParam> Int(int32_t V) { return Val<TParamInt, int32_t>(&TCustomParam::SetInt, V); }
std::unique_ptr<TCustomParam> Str(const std::string& V) {
    return Val<TParamStr, const std::string&>(&TCustomParam::SetStr, V);
}

// A control keeping what the indexed and style setters were given.
class TProbe : public TVelaControl {
public:
    using TVelaControl::TVelaControl;
    std::map<std::string, int32_t> Got;
    int32_t GetFontstyle() const override { return Style; }
    void SetFontstyle(int32_t V) override { Style = V; }
    int32_t GetBorderhalign(int Cell) const override { return 100 + Cell; }
    int32_t GetBordervalign(int Cell) const override { return 200 + Cell; }
    void SetBordersource(int Cell, const std::string& S) override { Got["src" + S] = Cell; }
    void SetParam(int Index, long double V) override { Got["param" + std::to_string(Index)] = static_cast<int32_t>(V); }
    void SetOrigwidth(int32_t V) override { Got["origwidth"] = V; }
    void SetOrigheight(int32_t V) override { Got["origheight"] = V; }
    TPoint GetCaretPos() const override { return {7, 9}; }
    int32_t Style = 0;
};

// Keeps a parameter, the angle and the zooms as given.
class TKeeper : public TVelaComponent {
public:
    using TVelaComponent::TVelaComponent;
    long double GetParam(int) const override { return Param; }
    void SetParam(int, long double V) override { Param = V; }
    int32_t GetAngle() const override { return Angle; }
    void SetAngle(int32_t V) override { Angle = V; }
    int32_t GetZoomx() const override { return Zoom; }
    void SetZoomx(int32_t V) override { Zoom = V; }
    long double Param = 0;
    int32_t Angle = 0, Zoom = 256;
};

class Props : public ::testing::Test {
protected:
    void SetUp() override {
        VelaInitialize();
        Bases->SetWidth(64);
        Bases->SetHeight(48);
    }
    void TearDown() override { VelaFinalize(); }

    static std::string Read(TVelaObject& Obj, int Id) {
        TSpy spy;
        GetObjectProp(spy, Obj, static_cast<uint8_t>(Id));
        return spy.Text;
    }
};

TEST_F(Props, EveryIdReadsItsKindAndTheBaseAnswer) {
    const std::map<int, std::string> answers = {
        {PR_ZOOMX, "256"}, {PR_ZOOMY, "256"}, {PR_TEXTDELAY, "256"}, {PR_IMEMODE, "3"}, {PR_COLOR, "16777215"},
        {PR_BORDERCOLOR, "-1"}, {PR_HOVERCOLOR, "-1"}, {PR_INDEX, "-1"}, {PR_CAPMASKLEVEL, "255"},
        {PR_ALPHA, "255"}, {PR_BRIGHTNESS, "255"}, {PR_SMALLCHANGE, "1"}, {PR_LARGECHANGE, "1"},
        {PR_PARTMOTION, "1"}, {PR_FONTCHANGEABLED, "TRUE"}, {PR_REWINDONLOAD, "TRUE"}, {PR_OVERLAY, "TRUE"},
        {PR_FLOATZOOMX, "1.000000"}, {PR_FLOATZOOMY, "1.000000"}};
    TVelaObject base(nullptr, false);
    for (int id = 0; id < PropCount; ++id) {
        SCOPED_TRACE(id);
        TSpy spy;
        GetObjectProp(spy, base, static_cast<uint8_t>(id));
        EXPECT_EQ(spy.Kind, id == PR_HANDLEKEY ? PT_BOOL : PropTypes[id]);
        const auto it = answers.find(id);
        const std::string empty = spy.Kind == PT_STR ? "" : spy.Kind == PT_BOOL ? "FALSE" : spy.Kind == PT_FLOAT ? "0.000000" : "0";
        EXPECT_EQ(spy.Text, it == answers.end() ? empty : it->second);
        // Every write of a base answer is taken or ignored, never refused, but for the two appear ids.
        if (id == PR_APPEARX || id == PR_APPEARY) EXPECT_THROW(SetObjectProp(base, static_cast<uint8_t>(id), *Int(0)), EVelaError);
        else SetObjectProp(base, static_cast<uint8_t>(id), *Str(""));
    }
}

TEST_F(Props, IdsAbove170AreRefused) {
    TVelaObject base(nullptr, false);
    TSpy spy;
    try {
        GetObjectProp(spy, base, 171);
        FAIL();
    } catch (const EVelaError& e) {
        EXPECT_STREQ(e.what(), "GetPropエラー");
    }
    EXPECT_THROW(SetObjectProp(base, 255, *Int(1)), EVelaError);
}

TEST_F(Props, ValuesConvertToThePropertyKindAndBack) {
    TVelaControl c(Bases);
    SetObjectProp(c, PR_LEFT, *Str("12"));
    EXPECT_EQ(c.GetLeft(), 12);
    TParamStr s;
    GetObjectProp(s, c, PR_LEFT);
    EXPECT_EQ(s.AsStr(), "12");
    TParamInt i;
    SetObjectProp(c, PR_HANDLEKEY, *Int(5));
    GetObjectProp(i, c, PR_HANDLEKEY);
    EXPECT_EQ(i.AsInt(), 1);
    TParamFloat f;
    GetObjectProp(f, c, PR_LEFT);
    EXPECT_EQ(f.AsFloat(), 12.0L);
    SetObjectProp(c, PR_VISIBLE, *Str("FALSE"));
    EXPECT_FALSE(c.GetVisible());
    SetObjectProp(c, PR_TAG, *Int(42));
    EXPECT_EQ(c.GetTag(), "42");
    SetObjectProp(c, PR_PRIORITY, *Int(-3));
    EXPECT_EQ(Read(c, PR_PRIORITY), "-3");
    SetObjectProp(c, PR_NAME, *Str("box"));
    EXPECT_EQ(Bases->FindObject("box"), &c);
}

TEST_F(Props, IndexedStyleAndReadOnlyIds) {
    TProbe p(Bases);
    EXPECT_EQ(Read(p, PR_BORDERHALIGNC), "104");
    EXPECT_EQ(Read(p, PR_BORDERHALIGNB), "107");
    EXPECT_EQ(Read(p, PR_BORDERVALIGNL), "203");
    SetObjectProp(p, PR_BORDERSOURCEBR, *Str("x"));
    SetObjectProp(p, PR_PARAM3, *Str("5"));
    SetObjectProp(p, PR_ORIGWIDTH, *Int(30));
    SetObjectProp(p, PR_ORIGHEIGHT, *Str("40"));
    EXPECT_EQ(p.Got, (std::map<std::string, int32_t>{{"srcx", 8}, {"param2", 5}, {"origwidth", 30}, {"origheight", 40}}));
    SetObjectProp(p, PR_FONTSTYLE, *Int(9));
    EXPECT_EQ(p.Style, 9);
    SetObjectProp(p, PR_FONTSTYLE, *Int(16));
    EXPECT_EQ(p.Style, 0);
    EXPECT_EQ(Read(p, PR_CARETY), "9");
    SetObjectProp(p, PR_CARETX, *Int(1));
    SetObjectProp(p, PR_PLAYING, *Int(1));
    EXPECT_EQ(Read(p, PR_CARETX), "7");
    EXPECT_EQ(Read(p, PR_APPEARY), "0");
    try {
        SetObjectProp(p, PR_APPEARX, *Int(1));
        FAIL();
    } catch (const EVelaError& e) {
        EXPECT_STREQ(e.what(), "SetPropエラー");
    }
}

TEST_F(Props, FloatsKeepTheirExtendedPrecisionAndConvertAsExpressionsDo) {
    TKeeper k(Bases);
    TParamFloat f;
    const long double fine = 1 + 0x1p-60L;  // beyond a double's precision
    f.SetFloat(fine);
    SetObjectProp(k, PR_PARAM2, f);
    EXPECT_EQ(k.Param, fine);
    TParamFloat back;
    GetObjectProp(back, k, PR_PARAM2);
    EXPECT_EQ(back.AsFloat(), fine);
    k.Angle = 1;
    GetObjectProp(back, k, PR_FLOATANGLE);
    EXPECT_EQ(back.AsFloat(), 2 * std::numbers::pi_v<long double> / 255);

    // Out of the int32 range: the low 32 bits of the integer; out of the 64-bit range: an error.
    f.SetFloat(1e12L);
    SetObjectProp(k, PR_FLOATZOOMX, f);
    EXPECT_EQ(k.Zoom, -1525678080);  // 256e12 mod 2^32
    f.SetFloat(1e30L);
    EXPECT_THROW(SetObjectProp(k, PR_FLOATZOOMX, f), EParamError);
    EXPECT_THROW(SetObjectProp(k, PR_FLOATANGLE, f), EParamError);
    f.SetFloat(std::numeric_limits<long double>::quiet_NaN());
    EXPECT_THROW(SetObjectProp(k, PR_FLOATANGLE, f), EParamError);
    EXPECT_EQ(k.Zoom, -1525678080);
    EXPECT_EQ(k.Angle, 1);
}

TEST_F(Props, ParentNamesTheLayersAndMovesBetweenThem) {
    auto* a = new TVelaControl(Bases);
    auto* b = new TVelaControl(Bases);
    a->SetName("a");
    EXPECT_EQ(Read(*a, PR_PARENT), "");
    a->SetParent(Bases->GetBase(1));
    EXPECT_EQ(Read(*a, PR_PARENT), "\x01");
    SetObjectProp(*b, PR_PARENT, *Str(Read(*a, PR_PARENT)));
    EXPECT_EQ(b->GetParent(), Bases->GetBase(1));
    SetObjectProp(*b, PR_PARENT, *Str("a"));
    EXPECT_EQ(b->GetParent(), a);
    EXPECT_EQ(Read(*b, PR_PARENT), "a");
    SetObjectProp(*b, PR_PARENT, *Str("missing"));
    EXPECT_EQ(b->GetParent(), a);
    SetObjectProp(*b, PR_PARENT, *Str(""));
    EXPECT_EQ(b->GetParent(), Bases->GetBase(0));
    EXPECT_EQ(Read(*b, PR_PARENT), "");
    SetObjectProp(*Bases->GetBase(1), PR_PARENT, *Str("a"));
    EXPECT_EQ(Bases->GetBase(1)->GetParent(), nullptr);
}

}  // namespace
