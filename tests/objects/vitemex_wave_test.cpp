// The wave on a fake clock: phase steps with their carry, the row offsets against
// tests/tools/fire_wave_ref.py, a child drawn through it landing rippled (a picture with content
// rectangles as whole as one without), the widened redraw areas, and the record at its gate.
#include "objects/vitemex_wave.h"
#include "tests/objects/clock_host.h"

#include "core/streams.h"
#include "objects/vitemex_image.h"
#include "objects/vitems_kinds.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>

namespace {

class WaveObjects : public ::testing::Test {
protected:
    void SetUp() override {
        CreateScriptServices();
        auto host = std::make_unique<TClockHost>(16);
        Host = host.get();
        SetScriptHost(std::move(host));
        VelaInitialize();
        Bases->SetWidth(64);
        Bases->SetHeight(64);
        Bases->GetSurface()->SetSize(64, 64, 32);
    }
    void TearDown() override {
        VelaFinalize();
        FreeScriptServices();
    }
    // A wave of 40 x 30 at (10, 5) on layer 0.
    TVelaWave* Wave() {
        auto* wave = new TVelaWave(Bases, false);
        wave->SetName("ripple");
        wave->SetParent(Bases->GetBase(0));
        wave->SetLeft(10);
        wave->SetTop(5);
        wave->SetWidth(40);
        wave->SetHeight(30);
        return wave;
    }
    static std::string Offsets(const TVelaWave& W) {
        std::string s;
        for (int32_t v : W.GetWaveSurface().RowOffsets) s += (s.empty() ? "" : " ") + std::to_string(v);
        return s;
    }
    TClockHost* Host = nullptr;
};

TEST_F(WaveObjects, PhaseTravelsWithCarryAndOffsetsMatchTheReference) {
    TVelaWave* wave = Wave();
    wave->Step();  // 16 x 256 = 2 x 2000 + 96
    EXPECT_EQ(wave->GetPhase(), 253);
    for (int i = 0; i < 20; ++i) wave->Step();  // the carry adds a unit on the 21st tick
    EXPECT_EQ(wave->GetPhase(), (255 - 43) % 255);
    EXPECT_EQ(Offsets(*wave), Lines(PythonOutput("fire_wave_ref.py", {"offsets", "10", "200", "212", "30"}))[0]);
    wave->SetAmp(7);
    wave->SetWavelen(13);
    wave->Step();
    EXPECT_EQ(Offsets(*wave), Lines(PythonOutput("fire_wave_ref.py", {"offsets", "7", "13", "210", "30"}))[0]);
    wave->SetWavelen(0);
    wave->SetDelay(-3);
    EXPECT_EQ(wave->GetWavelen(), 1);
    EXPECT_EQ(wave->GetDelay(), 1);
    wave->Step();  // every row a whole period on
    const std::vector<int32_t>& rows = wave->GetWaveSurface().RowOffsets;
    EXPECT_EQ(std::set<int32_t>(rows.begin(), rows.end()).size(), 1u);
}

TEST_F(WaveObjects, ChildrenDrawRippledAndRedrawWidened) {
    TVelaWave* wave = Wave();
    wave->SetAmp(5);
    wave->SetWavelen(8);
    auto* box = new TVelaBox(Bases, false);
    box->SetName("block");
    box->SetParent(wave);
    box->SetLeft(10);
    box->SetWidth(10);
    box->SetHeight(20);
    box->SetColor(0xFFFFFF);
    wave->Step();
    EXPECT_EQ(box->GetLayerSurface(), &wave->GetWaveSurface());
    TClipList& dirty = Bases->GetBase(0)->ClipList;
    dirty.Clear();
    box->Invalidate();
    ASSERT_EQ(dirty.Count(), 1);
    EXPECT_EQ(dirty.GetRect(0), (TRect{20 - 5, 5, 30 + 5, 25}));
    dirty.Clear();
    wave->Invalidate();
    EXPECT_EQ(dirty.GetRect(0), (TRect{10, 5, 50, 35}));

    TCustomDIBX& screen = *Bases->GetSurface();
    screen.Fill(0);
    Bases->GetBase(0)->SetColor(-1);
    Bases->GetBase(0)->InvalidateAll();
    Bases->Prepare();
    const std::vector<int32_t>& rows = wave->GetWaveSurface().RowOffsets;
    std::set<int32_t> shifts(rows.begin(), rows.begin() + 20);
    EXPECT_GT(shifts.size(), 1u);
    for (int y = 0; y < 20; ++y) {
        const int32_t left = 20 + rows[y];
        EXPECT_EQ(screen.GetPixel(left, 5 + y), 0xFFFFFFu) << y;
        EXPECT_EQ(screen.GetPixel(left - 1, 5 + y), 0u) << y;
        EXPECT_EQ(screen.GetPixel(left + 10, 5 + y), 0u) << y;
    }
    wave->SetAmp(0);
    EXPECT_NE(box->GetLayerSurface(), &wave->GetWaveSurface());
}

// Content rectangles that tile the whole picture draw through the wave as the picture without
// them: the rows the wave shifts are not cut at the rectangles' unshifted edges.
TEST_F(WaveObjects, APictureWithContentRectanglesRipplesWhole) {
    TVelaWave* wave = Wave();
    wave->SetAmp(5);
    wave->SetWavelen(8);
    wave->Step();
    TDIBX pic;
    pic.SetSize(10, 20, 32);
    pic.Fill(pic.ColorToPixel(0xFFFFFF));
    auto* img = new TVelaImage(Bases, false);
    img->SetName("picture");
    img->SetParent(wave);
    img->SetSurface(&pic);
    img->SetLeft(10);
    img->SetImageFlag(true);
    img->Step();
    TCustomDIBX& screen = *Bases->GetSurface();
    Bases->GetBase(0)->SetColor(-1);
    const auto shown = [&] {
        screen.Fill(0);
        Bases->GetBase(0)->InvalidateAll();
        Bases->Prepare();
        std::vector<uint32_t> pixels;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x) pixels.push_back(screen.GetPixel(x, y));
        return pixels;
    };
    const std::vector<uint32_t> plain = shown();
    EXPECT_EQ(screen.GetPixel(20 + wave->GetWaveSurface().RowOffsets[3], 8), 0xFFFFFFu);
    pic.Rects1 = {{0, 0, 10, 12}, {0, 12, 10, 20}};
    EXPECT_EQ(shown(), plain);
}

// The most negative amplitude, from a script or a record, shifts a row by the largest offset
// there is where the sine is -1.
TEST_F(WaveObjects, TheMostNegativeAmplitudeSaturates) {
    Host->Tick = 63;  // 63 x 256 / 256: 63 phase units to 192, three quarters of a turn
    TVelaWave* wave = Wave();
    wave->SetAmp(INT32_MIN);
    wave->SetWavelen(4);
    wave->SetDelay(256);
    TMemoryStream record;
    wave->SaveToStream(record);
    record.SetPosition(0);
    TVelaWave read(Bases, false);
    read.LoadFromStream(record, GameSaveVersion);
    for (TVelaWave* w : {wave, &read}) {
        w->Step();
        ASSERT_EQ(w->GetPhase(), 192);
        EXPECT_EQ(w->GetWaveSurface().RowOffsets[0], INT32_MAX);
        EXPECT_EQ(w->GetWaveSurface().RowOffsets[2], INT32_MIN);
    }
}

TEST_F(WaveObjects, RecordsAtTheirGate) {
    int versions = 0;
    for (const std::string& line : Lines(PythonOutput("fire_wave_ref.py", {"records"}))) {
        std::istringstream fields(line);
        std::string kind, stored, asRead;
        int32_t version = 0;
        fields >> kind >> version >> stored >> asRead;
        if (kind != "wave") continue;
        SCOPED_TRACE(version);
        TMemoryStream s = StreamOf(FromHex(stored));
        TVelaWave read(Bases, false);
        read.LoadFromStream(s, version);
        EXPECT_EQ(s.Remaining(), 0);
        EXPECT_EQ(read.GetWaveSurface().RowOffsets.size(), 32u);
        EXPECT_EQ(read.GetWaveSurface().OriginX, 10);
        TMemoryStream out;
        read.SaveToStream(out);
        EXPECT_EQ(ToHex(Bytes(out)), ToHex(FromHex(asRead)));
        ++versions;
    }
    EXPECT_EQ(versions, 5);
}

}  // namespace
