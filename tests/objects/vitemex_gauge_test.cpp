// The gauge on the fake tick: rises and falls with their hold and speed, the empty range, the
// value and lost parts drawn in the four cases on 16- and 32-bit layers, and the record against
// tests/tools/control_records.py.
#include "objects/vitemex_gauge.h"

#include "media/screenman.h"

#include "tests/objects/controls_fixture.h"

#include <algorithm>

namespace {

class Gauges : public ControlsTest {
protected:
    // A gauge over 0..100 moving one unit per 10-ms tick, settled at Start.
    TVelaGauge* Gauge(int32_t Start = 0, int Layer = 0) {
        auto* g = Make<TVelaGauge>("g" + std::to_string(++Made));
        g->SetParent(Bases->GetBase(Layer));
        g->SetAlpha(255);
        g->SetMax(100);
        g->SetValue(Start);
        Tick();
        g->SetDelay(1000);
        return g;
    }
    void Ticks(int N) {
        for (int i = 0; i < N; ++i) Tick();
    }
    int Made = 0;
};

TEST_F(Gauges, RisesGrowAtTheSpeedOfDelayAndPlayUntilTheirEnd) {
    TVelaGauge* g = Gauge();
    g->SetValue(30);
    EXPECT_TRUE(g->GetPlaying());
    Ticks(29);
    EXPECT_EQ(g->GetShownValue(), 29);
    EXPECT_TRUE(g->GetPlaying());
    Tick();
    EXPECT_EQ(g->GetShownValue(), 30);
    EXPECT_FALSE(g->GetPlaying());

    // Without a delay a rise or a fall completes in the next step.
    g->SetDelay(0);
    g->SetValue(80);
    EXPECT_TRUE(g->GetPlaying());
    Tick();
    EXPECT_EQ(g->GetShownValue(), 80);
    g->SetDuration(500);
    g->SetValue(10);
    Tick();
    EXPECT_EQ(g->GetShownValue(), 10);
    EXPECT_EQ(g->GetLostAmount(), 0);
    EXPECT_FALSE(g->GetPlaying());
}

TEST_F(Gauges, FallsDropAtOnceAndTheLostPartHoldsThenShrinks) {
    TVelaGauge* g = Gauge(30);
    g->SetDuration(50);
    g->SetValue(10);
    EXPECT_EQ(g->GetShownValue(), 10);
    EXPECT_EQ(g->GetLostAmount(), 20);
    Ticks(4);
    EXPECT_EQ(g->GetLostAmount(), 20);  // held for 50 ms
    Tick();
    EXPECT_EQ(g->GetLostAmount(), 19);
    Ticks(18);
    EXPECT_EQ(g->GetLostAmount(), 1);
    EXPECT_TRUE(g->GetPlaying());
    Tick();
    EXPECT_FALSE(g->GetPlaying());

    // A quarter unit per tick: the lost part goes once it rounds (halves to even) below 1.
    g->SetDuration(0);
    g->SetDelay(4000);
    g->SetValue(8);
    Ticks(5);  // 1.75, 1.5, 1.25, 1.0, 0.75
    EXPECT_EQ(g->GetLostAmount(), 1);
    Tick();  // 0.5
    EXPECT_FALSE(g->GetPlaying());

    // A fall during a rise: the lost part is measured from the value the rise was heading to.
    g->SetDelay(1000);
    g->SetValue(50);
    Ticks(10);
    EXPECT_EQ(g->GetShownValue(), 18);
    g->SetValue(20);
    EXPECT_EQ(g->GetShownValue(), 20);
    EXPECT_EQ(g->GetLostAmount(), 30);

    // Without a range every animation ends in its first step.
    g->SetMax(0);
    g->SetValue(5);
    EXPECT_TRUE(g->GetPlaying());
    Tick();
    EXPECT_FALSE(g->GetPlaying());
    EXPECT_EQ(g->GetShownValue(), 0);
}

TEST_F(Gauges, PartsAreTiledFromTheGrowingEndOnLayersOfBothDepths) {
    for (int bits : {16, 32}) {
        SCOPED_TRACE(bits);
        // The screen's depth: the layer's and the cached pictures'.
        TScreenManager screen(nullptr, nullptr, 160, 80, 0, 0);
        screen.MemorySurface = true;
        screen.BitCount = bits;
        ScreenMan = &screen;
        Bases->GetBase(1)->Surface.SetSize(160, 80, bits);
        const std::string across = "h" + std::to_string(bits) + ".bmp", down = "v" + std::to_string(bits) + ".bmp";
        CellPicture(across, 2, 8, 2, false);  // columns '0'..'7' of the value cell, 'g'..'n' of the lost
        CellPicture(down, 2, 2, 8, true);     // rows the same
        TVelaGauge* h = Gauge(100, 1);
        h->SetSource(across);
        h->SetBarsize(20);
        TVelaGauge* v = Gauge(100, 1);
        v->SetLeft(30);
        v->SetSource(down);
        v->SetOrientation(1);
        v->SetBarsize(20);
        EXPECT_EQ(v->GetBoundsRect(), (TRect{30, 0, 32, 20}));
        for (TVelaGauge* g : {h, v}) {
            g->SetDuration(1000);
            g->SetValue(60);  // 12 of the 20 pixels, 8 lost just after them
        }
        const std::string row = "012345670123klmnghij", column = "klmnghij456701234567";
        EXPECT_EQ(Drawn(1, 0, 1, 20, false), row);
        EXPECT_EQ(Drawn(1, 30, 0, 20, true), column);
        h->SetReverse(true);
        v->SetReverse(true);
        EXPECT_EQ(Drawn(1, 0, 1, 20, false), std::string(row.rbegin(), row.rend()));
        EXPECT_EQ(Drawn(1, 30, 0, 20, true), std::string(column.rbegin(), column.rend()));
        h->SetMax(0);
        EXPECT_EQ(Drawn(1, 0, 1, 20, false), std::string(20, '.'));
        delete h;
        delete v;
        ScreenMan = nullptr;
    }
}

TEST_F(Gauges, RecordsMatchTheReferenceAtTheirGates) {
    const std::vector<ReferenceRecord> records = ReferenceRecords("control_records.py", {"gauge"});
    EXPECT_EQ(records.size(), 5u);  // each side of both gates, and the newest
    for (const ReferenceRecord& r : records) {
        SCOPED_TRACE(r.version);
        TVelaGauge loaded(Bases, false);
        ExpectReadsAsReferenced(loaded, r);
    }
    // A gauge in the middle of a fall saves, loads and saves the same bytes, and loads settled.
    CellPicture("h.bmp", 2, 8, 2, false);
    TVelaGauge* g = Gauge(90);
    g->SetSource("h.bmp");
    g->SetBarsize(40);
    g->SetDuration(300);
    g->SetValue(-5);
    TMemoryStream first;
    g->SaveToStream(first);
    first.SetPosition(0);
    TVelaGauge copy(Bases, false);
    copy.LoadFromStream(first, 144);
    TMemoryStream second;
    copy.SaveToStream(second);
    EXPECT_EQ(ToHex(Bytes(second)), ToHex(Bytes(first)));
    EXPECT_FALSE(copy.GetPlaying());
    EXPECT_EQ(copy.GetShownValue(), 0);
    EXPECT_EQ(copy.GetWidth(), 40);
}

}  // namespace
