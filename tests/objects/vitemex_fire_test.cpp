// The fire on a fake clock: the cooling table against tests/tools/fire_wave_ref.py, burns per
// frame time, the field's floor and feed, the layer depths it draws on, the field size bounds
// and the record at its gates.
#include "objects/vitemex_fire.h"
#include "tests/objects/clock_host.h"

#include "core/streams.h"
#include "graphics/graphic.h"
#include "objects/vitems_kinds.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

class FireObjects : public ::testing::Test {
protected:
    void SetUp() override {
        CreateScriptServices();
        auto host = std::make_unique<TClockHost>(100);
        Host = host.get();
        SetScriptHost(std::move(host));
        VelaInitialize();
        Bases->SetWidth(64);
        Bases->SetHeight(64);
    }
    void TearDown() override {
        VelaFinalize();
        FreeScriptServices();
    }
    // A fire of W x H at zoom 1 on layer 0 at (2, 3), its field built.
    TVelaFire* Fire(int32_t W, int32_t H) {
        auto* fire = new TVelaFire(Bases, false);
        fire->SetName("flame");
        fire->SetParent(Bases->GetBase(0));
        fire->SetLeft(2);
        fire->SetTop(3);
        fire->SetZoomx(256);
        fire->SetZoomy(256);
        fire->SetOrigwidth(W);
        fire->SetOrigheight(H);
        fire->Step();
        return fire;
    }
    TCustomDIBX& Drawn(int Bits) {
        TCustomDIBX& screen = *Bases->GetSurface();
        screen.SetSize(64, 64, Bits);
        screen.Fill(0);
        Bases->GetBase(0)->SetColor(-1);
        Bases->GetBase(0)->InvalidateAll();
        Bases->Prepare();
        return screen;
    }
    static int Lit(const TCustomDIBX& S) {
        int n = 0;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x) n += S.GetPixel(x, y) != 0;
        return n;
    }
    TClockHost* Host = nullptr;
};

TEST_F(FireObjects, CoolingTablesMatchTheReference) {
    const std::vector<int32_t> powers{0, 128, 255, 1000000};
    std::vector<std::string> args{"cooling"};
    for (int32_t p : powers) args.push_back(std::to_string(p));
    const std::vector<std::string> lines = Lines(PythonOutput("fire_wave_ref.py", args));
    ASSERT_EQ(lines.size(), powers.size());
    for (size_t i = 0; i < powers.size(); ++i) {
        TVelaFire fire(Bases, false);
        fire.SetPower(powers[i]);
        const auto table = TVelaFire::CoolingTable(fire.GetStrength());
        EXPECT_EQ(ToHex(std::string(table.begin(), table.end())), ToHex(FromHex(lines[i]))) << powers[i];
    }
    TVelaFire fire(Bases, false);
    EXPECT_EQ(fire.GetStrength(), 4.5);  // until the power is written
    fire.SetPower(128);
    EXPECT_DOUBLE_EQ(fire.GetStrength(), 4.2175);
    fire.SetPower(-5);
    EXPECT_EQ(fire.GetPower(), 0);
    EXPECT_GT(fire.GetStrength(), 5.5);  // from the value given, not the clamped one
}

TEST_F(FireObjects, OneBurnPerFortyMillisecondsAtMostOnePerTick) {
    TVelaFire* fire = Fire(16, 12);
    auto heat = [&] {
        std::string cells;
        for (int y = 0; y < 12; ++y)
            for (int x = 0; x < 16; ++x) cells += char(fire->GetField().GetPixel(x, y));
        return cells;
    };
    const std::string built = heat();
    EXPECT_EQ(built, std::string(16 * 12, char(16)));
    fire->Step();  // 100 ms: one burn, 20 kept
    EXPECT_EQ(fire->GetElapsed(), 20);
    const std::string once = heat();
    EXPECT_NE(once, built);
    Host->Tick = 19;
    fire->Step();  // 39: none
    EXPECT_EQ(heat(), once);
    Host->Tick = 1;
    fire->Step();  // 40: one, 0 kept
    EXPECT_EQ(fire->GetElapsed(), 0);
    EXPECT_NE(heat(), once);
    for (int i = 0; i < 30; ++i) fire->Step();
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x) {
            const uint32_t h = fire->GetField().GetPixel(x, y);
            ASSERT_GE(h, 16u);
            ASSERT_LE(h, 254u);
            if (y >= 10) {  // fed, above the rows that cool
                ASSERT_EQ(h, 254u);
            }
        }
    fire->SetAnipaused(true);
    const std::string paused = heat();
    fire->Step();
    EXPECT_EQ(heat(), paused);
}

TEST_F(FireObjects, DrawsOnlyOnFifteenSixteenAndThirtyTwoBitLayers) {
    TVelaFire* fire = Fire(20, 10);
    fire->Step();
    for (int bits : {15, 16, 32}) EXPECT_GT(Lit(Drawn(bits)), 0) << bits;
    for (int bits : {8, 24}) EXPECT_EQ(Lit(Drawn(bits)), 0) << bits;
    // Zoomed 2x: four times the pixels, all inside the object's rectangle.
    const int plain = Lit(Drawn(32));
    fire->SetZoomx(512);
    fire->SetZoomy(512);
    EXPECT_EQ(fire->GetWidth(), 40);
    const TCustomDIBX& zoomed = Drawn(32);
    EXPECT_EQ(Lit(zoomed), 4 * plain);
    EXPECT_EQ(zoomed.GetPixel(2 + 40, 3 + 19), 0u);
    EXPECT_NE(zoomed.GetPixel(2 + 39, 3 + 19), 0u);
}

TEST_F(FireObjects, FieldSidesAreBounded) {
    TVelaFire fire(Bases, false);
    fire.SetOrigwidth(30);
    EXPECT_EQ(fire.GetWidth(), 1);  // zoom 0 until set
    fire.SetOrigwidth(-4);
    fire.SetOrigheight(0);
    EXPECT_EQ(fire.GetOrigwidth(), 1);
    EXPECT_EQ(fire.GetOrigheight(), 1);
    fire.Step();
    fire.Step();  // a 1 x 1 field is only fed
    EXPECT_EQ(fire.GetField().GetPixel(0, 0), 254u);
    fire.SetOrigwidth(20);
    EXPECT_THROW(fire.SetOrigwidth(40000), EInvalidGraphic);
    EXPECT_THROW(fire.SetOrigheight(32768), EInvalidGraphic);
    // The field burns whole every 40 ms: it stays within the scene's 64 x 64 picture, when set
    // and when read.
    fire.SetOrigheight(64);
    EXPECT_THROW(fire.SetOrigwidth(65), EInvalidGraphic);
    EXPECT_THROW(fire.SetOrigheight(65), EInvalidGraphic);
    TMemoryStream record;
    fire.SaveToStream(record);
    fire.SetOrigheight(1);
    Bases->SetHeight(63);
    record.SetPosition(0);
    EXPECT_THROW(fire.LoadFromStream(record, 144), EInvalidGraphic);
    EXPECT_EQ(fire.GetOrigwidth(), 20);
    EXPECT_EQ(fire.GetOrigheight(), 1);
    fire.SetWidth(99);
    EXPECT_EQ(fire.GetWidth(), 1);
}

TEST_F(FireObjects, TheRootCreatesFiresAndWaves) {
    for (uint8_t code : {LT_FIRE, LT_WAVE}) {
        TVelaObject* made = Bases->CreateObject(code);
        ASSERT_NE(made, nullptr);
        EXPECT_EQ(made->GetCompoType(), code);
    }
}

TEST_F(FireObjects, RecordsAtTheirGates) {
    int versions = 0;
    for (const std::string& line : Lines(PythonOutput("fire_wave_ref.py", {"records"}))) {
        std::istringstream fields(line);
        std::string kind, stored, asRead;
        int32_t version = 0;
        fields >> kind >> version >> stored >> asRead;
        if (kind != "fire") continue;
        SCOPED_TRACE(version);
        TMemoryStream s = StreamOf(FromHex(stored));
        TVelaFire read(Bases, false);
        read.LoadFromStream(s, version);
        EXPECT_EQ(s.Remaining(), 0);
        TMemoryStream out;
        read.SaveToStream(out);
        EXPECT_EQ(ToHex(Bytes(out)), ToHex(FromHex(asRead)));
        EXPECT_DOUBLE_EQ(read.GetStrength(), (128.0 - 200) / 128 * 1.2825 + 4.2175);
        ++versions;
    }
    EXPECT_EQ(versions, 5);
}

}  // namespace
