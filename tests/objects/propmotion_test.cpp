// The property motion: its values over time for each easing, its ends, and its stored form.
#include "objects/vitems_kinds.h"

#include "core/streams.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>

namespace {

constexpr int32_t kMotionVersion = 140;

class TStepHost : public TScriptHost {
public:
    uint32_t FrameTime() override { return Tick; }
    uint32_t Tick = 0;
};

// Keeps PR_PARAM1 and counts the writes into the PR_PARAM1 of every probe.
class TProbe : public TVelaComponent {
public:
    using TVelaComponent::TVelaComponent;
    long double GetParam(int) const override { return Value; }
    void SetParam(int, long double V) override {
        Value = V;
        ++Writes;
    }
    long double Value = 0;
    static inline int Writes = 0;
};

class PropMotion : public ::testing::Test {
protected:
    void SetUp() override {
        CreateScriptServices();
        auto host = std::make_unique<TStepHost>();
        Host = host.get();
        SetScriptHost(std::move(host));
        VelaInitialize();
        TProbe::Writes = 0;
    }
    void TearDown() override {
        VelaFinalize();
        FreeScriptServices();
    }
    TProbe* Probe(double Value) {
        auto* probe = new TProbe(Bases);
        probe->SetName("probe");
        probe->Value = Value;
        return probe;
    }
    TVelaPropMotion* Motion(const std::string& Target, uint8_t Id, long double To, int32_t Duration,
                            uint8_t Easing = 0) {
        auto* motion = static_cast<TVelaPropMotion*>(Bases->CreateObject(LT_PROPMOTION));
        motion->SetName("m");
        motion->SetTargetName(Target);
        motion->SetPropId(Id);
        motion->SetTargetValue(To);
        motion->SetMotionDuration(Duration);
        motion->SetEasing(Easing);
        return motion;
    }
    // One step of the root; the tick lasts Ms.
    void Tick(uint32_t Ms) {
        Host->Tick = Ms;
        Bases->Step();
    }
    static bool Running() { return Bases->FindObject("m") != nullptr; }
    static std::string Save() {
        TMemoryStream s;
        Bases->SaveToStream(s);
        return {reinterpret_cast<const char*>(s.Memory()), size_t(s.Size())};
    }
    static void Load(const std::string& Data) {
        TMemoryStream s;
        s.Write(Data.data(), int64_t(Data.size()));
        s.SetPosition(0);
        Bases->LoadFromStream(s, kMotionVersion);
    }

    TStepHost* Host = nullptr;
};

TEST_F(PropMotion, EachEasingFollowsItsCurveToTheTarget) {
    const double s = 10, e = 110, n = 1000, pi = std::numbers::pi;
    const auto linear = [&](double t) { return s + (e - s) * t / n; };
    const auto intoEnd = [&](double t) { return e - std::sin((n - t - 1) * pi / 2 / n) * (e - s); };
    const auto fromStart = [&](double t) { return s + std::sin(t * pi / 2 / n) * (e - s); };
    const std::function<double(double)> curves[] = {linear, intoEnd, fromStart};
    // Each step writes the value at the time elapsed before its tick: the start value first, the
    // target at duration - 1, after which the motion ends.
    const uint32_t times[] = {0, 250, 500, 998, 999};
    for (uint8_t easing : {0, 1, 2}) {
        SCOPED_TRACE(int(easing));
        TProbe* probe = Probe(s);
        Motion("probe", PR_PARAM1, e, 1000, easing);
        double before = 0;
        for (size_t i = 0; i < std::size(times); ++i) {
            Tick(i + 1 < std::size(times) ? times[i + 1] - times[i] : 16);
            const double expected = i == 0 ? s : i + 1 == std::size(times) ? e : curves[easing](times[i]);
            EXPECT_NEAR(probe->Value, expected, 1e-9) << times[i];
            EXPECT_GT(probe->Value, before);
            EXPECT_EQ(Running(), i + 1 < std::size(times));
            before = probe->Value;
        }
        delete probe;
    }
}

TEST_F(PropMotion, ShortMotionsWriteTheStartThenTheTarget) {
    for (int32_t duration : {0, 1}) {
        TProbe* probe = Probe(3);
        Motion("probe", PR_PARAM1, 7, duration);
        Tick(16);
        EXPECT_EQ(probe->Value, 3);
        EXPECT_TRUE(Running());
        Tick(16);
        EXPECT_EQ(probe->Value, 7);
        EXPECT_FALSE(Running());
        delete probe;
    }
}

TEST_F(PropMotion, EndsWithoutWritingWhenItsObjectOrPropertyIsMissing) {
    TProbe* probe = Probe(0);
    Motion("probe", PR_PARAM1, 100, 1000);
    Tick(100);
    Tick(100);
    EXPECT_EQ(TProbe::Writes, 2);
    probe->Delete();  // the script's deletion: the object goes at the end of the step
    Tick(100);
    EXPECT_FALSE(Running());
    EXPECT_EQ(TProbe::Writes, 2);

    probe = Probe(0);
    Motion("probe", PR_PARAM1, 100, 1000);
    Tick(100);
    delete probe;  // freed at once
    Tick(100);
    EXPECT_FALSE(Running());
    EXPECT_EQ(TProbe::Writes, 3);

    Probe(0);
    Motion("probe", 171, 100, 1000);
    Tick(100);
    EXPECT_FALSE(Running());
    Motion("nobody", PR_PARAM1, 100, 1000);
    Tick(100);
    EXPECT_FALSE(Running());
    EXPECT_EQ(TProbe::Writes, 3);
}

TEST_F(PropMotion, PropertyThatRefusesWritesRaisesOnceAndTheMotionGoes) {
    Probe(0);
    Motion("probe", PR_APPEARX, 100, 1000);
    Host->Tick = 16;
    try {
        Bases->Step();
        FAIL();
    } catch (const EVelaError& e) {
        EXPECT_STREQ(e.what(), "SetPropエラー");
    }
    Tick(16);
    EXPECT_FALSE(Running());
    EXPECT_EQ(Bases->GetObjectCount(), 1);
}

TEST_F(PropMotion, SavedRecordIsLaidOutAndRead) {
    auto* box = static_cast<TVelaControl*>(Bases->CreateObject(LT_BOX));
    box->SetName("box");
    box->SetParent(Bases->GetBase(0));
    box->SetLeft(10);
    TVelaPropMotion* motion = Motion("box", PR_LEFT, 110, 1000, 2);
    motion->SetTag("t");
    TMemoryStream record;
    motion->SaveToStream(record);
    // The base record (name, priorities, tag), the object's name, the property id, the target
    // value, duration, easing, start value, elapsed time and paused flag.
    const std::string head = "01000000" "6D" "00000000" "00000000" "01000000" "74", name = "03000000" "626F78";
    const std::string id = "03000000", to = "00000000000000DC0540", duration = "E8030000", easing = "02000000";
    const std::string start(20, '0'), elapsed = "00000000", paused = "00";
    const std::string motionFields = to + duration + easing + start + elapsed;
    EXPECT_EQ(ToHex({reinterpret_cast<const char*>(record.Memory()), size_t(record.Size())}),
              head + name + id + motionFields + paused);

    Tick(250);
    Tick(250);  // box at 10 + 100 * sin(pi/8)
    const int32_t left = box->GetLeft();
    EXPECT_EQ(left, int32_t(10 + 100 * std::sin(std::numbers::pi / 8)));
    const std::string first = Save();
    Load(first);
    EXPECT_EQ(Save(), first);
    // The loaded motion starts again from the property's value and goes on at 500 ms.
    box = Bases->FindControl("box");
    Tick(0);
    EXPECT_EQ(box->GetLeft(), int32_t(left + (110 - left) * std::sin(std::numbers::pi / 4)));

    const auto read = [&](const std::string& Hex, int32_t AVersion) {
        TMemoryStream s;
        const std::string bytes = FromHex(Hex);
        s.Write(bytes.data(), int64_t(bytes.size()));
        s.SetPosition(0);
        TVelaPropMotion other(nullptr);
        other.LoadFromStream(s, AVersion);
        return s.Remaining();
    };
    // Before version 126 the record has no paused flag.
    EXPECT_EQ(read(head + name + id + motionFields, 125), 0);
    // Short records, and a property id or easing beyond a byte, are refused.
    EXPECT_THROW(read(head + name + id + motionFields, kMotionVersion), EReadError);
    EXPECT_THROW(read(head + name + "00010000" + motionFields + paused, kMotionVersion), EReadError);
    EXPECT_THROW(read(head + name + id + to + duration + "00010000" + start + elapsed + paused, kMotionVersion), EReadError);
}

TEST_F(PropMotion, MotionWhoseObjectWentIsStoredToEndAtOnce) {
    const auto box = [](int32_t Left) {
        auto* b = static_cast<TVelaControl*>(Bases->CreateObject(LT_BOX));
        b->SetName("b");
        b->SetParent(Bases->GetBase(0));
        b->SetLeft(Left);
        return b;
    };
    TVelaControl* old = box(0);
    Motion("b", PR_LEFT, 100, 1000);
    Tick(16);
    delete old;
    box(50);
    // After loading, neither the new holder of the name nor the layer that the empty name finds
    // is moved.
    Load(Save());
    ASSERT_TRUE(Running());
    Tick(500);
    Tick(500);
    EXPECT_FALSE(Running());
    EXPECT_EQ(Bases->FindControl("b")->GetLeft(), 50);
    EXPECT_EQ(Bases->GetBase(0)->GetLeft(), 0);
}

}  // namespace
