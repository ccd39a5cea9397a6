// The image map: region files from tools/vregion.py read as tests/tools/region_ref.py draws
// them, damaged files leaving no regions; hover, map-out before map-in, keys, choosing and the
// cancels through the input dispatch; the cut-away drawing in the map's own copies; the record
// against tests/tools/mapimage_records.py.
#include "objects/vitemex_mapimage.h"

#include "core/vrfiles_manager.h"
#include "objects/vitems_kinds.h"
#include "platform/fs.h"
#include "script/params_vars.h"
#include "tests/common/fixture.h"
#include "tests/objects/picture_source.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

class TMapClock : public TScriptHost {
public:
    uint32_t LoopTime() override { return Clock; }
    uint32_t FrameTime() override { return 10; }
    uint32_t Clock = 0;
};

struct MapEv {
    int Kind;
    std::vector<std::string> Args;
    bool operator==(const MapEv&) const = default;
};
void PrintTo(const MapEv& E, std::ostream* Os) {
    *Os << E.Kind;
    for (const std::string& a : E.Args) *Os << "," << a;
}

// A gate (a rectangle), a pond (an ellipse) and a tower (a triangle over the gate's corner).
const std::string ThreeRegions = U8(u8R"([{"name": "門", "shape": "rectangle", "box": [0, 0, 9, 9]},
 {"name": "池", "shape": "ellipse", "box": [20, 2, 37, 17]},
 {"name": "塔", "shape": "polygon", "points": [[5, 5], [30, 25], [0, 28]]}])");
const std::string Gate = "門", Pond = "池", Tower = "塔";

class MapImages : public ::testing::Test {
protected:
    void SetUp() override {
        CreateScriptServices();
        CreateParamMan();
        auto host = std::make_unique<TMapClock>();
        Host = host.get();
        SetScriptHost(std::move(host));
        VelaInitialize();
        Cache = std::make_unique<TPictureCache>();
        Files.SetBaseFolder(platform::fs::ToProgramPath(Folder));
        VrFileManager = &Files;
        Bases->SetWidth(64);
        Bases->SetHeight(48);
        Layer = Bases->GetBase(0);
        WriteMap("map.rgn", ThreeRegions);
    }
    void TearDown() override {
        Bases->Clear();
        Cache.reset();
        VelaFinalize();
        VrFileManager = nullptr;
        FreeParamMan();
        FreeScriptServices();
    }

    // The region file Name written by the writer from a description.
    std::string WriteMap(const std::string& Name, const std::string& Description) {
        const std::string json = Folder + Name + ".json";
        std::ofstream(json) << Description;
        PythonOutput(VELA_VREGION, {"map", json, Folder + Name});
        return json;
    }
    void WriteBytes(const std::string& Name, const std::string& Bytes) {
        std::ofstream(Folder + Name, std::ios::binary) << Bytes;
    }
    std::string ReadBytes(const std::string& Name) {
        std::ifstream in(Folder + Name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    // A 40 x 30 map at (4, 6) on layer 0 with the three regions.
    TVelaMapImage* Map() {
        auto* map = new TVelaMapImage(Bases);
        map->SetName("map");
        map->SetParent(Layer);
        map->SetBounds(4, 6, 40, 30);
        map->SetOnmapin("in");
        map->SetOnmapout("out");
        map->SetOnselect("sel");
        map->SetMapsource("map.rgn");
        return map;
    }
    // One input step; the queued events, which the runner then takes.
    std::vector<MapEv> Tick() {
        Host->Clock += 10;
        Bases->Update(Host->Clock);
        std::vector<MapEv> out;
        TTimerList& q = Bases->GetEvents();
        for (int i = 0; i < q.Count(); ++i) {
            MapEv ev{q.Items(i)->Kind, {}};
            for (int a = 0; a < q.Items(i)->Args.Count(); ++a) ev.Args.push_back(q.Items(i)->Args.Strings(a));
            out.push_back(ev);
        }
        q.Clear();
        return out;
    }
    // Moves the pointer to (X, Y) of the map.
    std::vector<MapEv> MoveTo(int X, int Y) {
        Layer->SetMousePos({4 + X, 6 + Y});
        return Tick();
    }
    std::vector<MapEv> Key(int Code) {
        Bases->SetKeyState(Code, true);
        Bases->SetKeyLatch(Code, true);
        std::vector<MapEv> events = Tick();
        Bases->SetKeyState(Code, false);
        Tick();
        return events;
    }
    static MapEv In(const std::string& Name, int Index) { return {PR_ONMAPIN, {Name, std::to_string(Index)}}; }
    static MapEv Out(const std::string& Name, int Index) { return {PR_ONMAPOUT, {Name, std::to_string(Index)}}; }
    static MapEv Select(const std::string& Name, int Index) { return {PR_ONSELECT, {Name, std::to_string(Index)}}; }
    bool Alive() const { return Bases->FindObject("map") != nullptr; }

    TMapClock* Host = nullptr;
    std::unique_ptr<TPictureCache> Cache;
    std::string Folder = FreshHostFolder();
    TVrFileManager Files;
    TVelaBase* Layer = nullptr;
};

TEST_F(MapImages, RegionFilesReadAsTheReferenceDrawsThem) {
    TVelaMapImage* map = Map();
    ASSERT_EQ(map->GetRegionCount(), 3);
    EXPECT_EQ(map->GetRegion(1).Name, Pond);
    // The inclusive box (0, 0, 9, 9) covers 10 x 10 pixels.
    EXPECT_EQ(map->GetRegion(0).Area.GetBounds(), (TRect{0, 0, 10, 10}));
    const std::vector<std::string> expected =
        Lines(PythonOutput("region_ref.py", {Folder + "map.rgn.json", "40", "30"}));
    ASSERT_EQ(expected.size(), 30u);
    for (int y = 0; y < 30; ++y) {
        std::string row;
        for (int x = 0; x < 40; ++x) {
            const int32_t r = map->RegionAt({x, y});
            row += r < 0 ? '.' : char('0' + r);
        }
        EXPECT_EQ(row, expected[size_t(y)]) << "row " << y;
    }
    EXPECT_EQ(map->RegionAt({7, 7}), 0);  // the gate comes first where the tower lies over it
}

TEST_F(MapImages, AFileThatFailsLeavesNoRegions) {
    TVelaMapImage* map = Map();
    const std::string good = ReadBytes("map.rgn");
    WriteBytes("short.rgn", good.substr(0, good.size() - 3));
    WriteBytes("many.rgn", "\xff\xff\xff\x7f" + good.substr(4));
    WriteMap("zigzag.rgn", [] {
        std::string points;
        for (int i = 0; i < 200; ++i) points += (i ? ", [" : "[") + std::to_string(i) + (i % 2 ? ", 30000]" : ", 0]");
        return "[{\"shape\": \"polygon\", \"points\": [" + points + "]}]";
    }());
    for (const char* name : {"short.rgn", "many.rgn", "zigzag.rgn"}) {
        SCOPED_TRACE(name);
        map->SetMapsource("map.rgn");
        map->SelectRegion(1);
        EXPECT_THROW(map->SetMapsource(name), EVelaError);
        EXPECT_EQ(map->GetRegionCount(), 0);
        EXPECT_EQ(map->GetSelectedRegion(), -1);
    }
    // A file that is not there gives no regions and no error.
    map->SetMapsource("map.rgn");
    map->SetMapsource("nowhere.rgn");
    EXPECT_EQ(map->GetRegionCount(), 0);
}

TEST_F(MapImages, HoverRaisesMapOutBeforeMapIn) {
    Map();
    EXPECT_EQ(MoveTo(2, 2), (std::vector<MapEv>{In(Gate, 0)}));
    EXPECT_EQ(MoveTo(3, 3), (std::vector<MapEv>{}));
    EXPECT_EQ(MoveTo(10, 24), (std::vector<MapEv>{Out(Gate, 0), In(Tower, 2)}));
    EXPECT_EQ(MoveTo(38, 1), (std::vector<MapEv>{Out(Tower, 2)}));  // on the map, in no region
    EXPECT_EQ(MoveTo(28, 9), (std::vector<MapEv>{In(Pond, 1)}));
    Layer->SetMousePos({60, 44});  // off the map
    EXPECT_EQ(Tick(), (std::vector<MapEv>{Out(Pond, 1)}));
}

TEST_F(MapImages, ArrowKeysWalkTheRegionsAndEnterChooses) {
    TVelaMapImage* map = Map();
    map->SetHandlekey(true);
    Bases->SetFocus(map);
    EXPECT_EQ(Key(37), (std::vector<MapEv>{In(Tower, 2)}));  // Left from none: the last
    EXPECT_EQ(Key(39), (std::vector<MapEv>{Out(Tower, 2), In(Gate, 0)}));  // Right from the last: the first
    EXPECT_EQ(Key(40), (std::vector<MapEv>{Out(Gate, 0), In(Pond, 1)}));
    EXPECT_EQ(Key(38), (std::vector<MapEv>{Out(Pond, 1), In(Gate, 0)}));
    EXPECT_EQ(Key(38), (std::vector<MapEv>{Out(Gate, 0), In(Tower, 2)}));  // Up from the first: the last
    EXPECT_EQ(Key(13), (std::vector<MapEv>{Select(Tower, 2)}));
    EXPECT_EQ(ParamMan->SelStr(), Tower);
    EXPECT_EQ(ParamMan->SelIndex(), 2);
    EXPECT_EQ(Key(32), (std::vector<MapEv>{Select(Tower, 2)}));
    // Without auto scrap the map stays and keeps answering.
    Bases->Step();
    Bases->Step();
    EXPECT_TRUE(Alive());
    EXPECT_FALSE(map->IsSelecting());
}

TEST_F(MapImages, AClickChoosesAndAutoScrapRemovesTheMapTwoTicksLater) {
    TVelaMapImage* map = Map();
    map->SetPaused(true);
    MoveTo(28, 9);
    Layer->LeftHeld = Layer->LeftLatch = true;
    EXPECT_EQ(Tick(), (std::vector<MapEv>{}));  // paused: no choice
    Layer->LeftHeld = false;
    Tick();
    map->SetPaused(false);
    map->SetAutoscrap(true);
    Layer->LeftHeld = Layer->LeftLatch = true;
    EXPECT_EQ(Tick(), (std::vector<MapEv>{Select(Pond, 1)}));
    EXPECT_EQ(ParamMan->SelStr(), Pond);
    EXPECT_EQ(ParamMan->SelIndex(), 1);
    EXPECT_TRUE(map->IsSelecting());
    // While selecting the pointer changes nothing.
    Layer->LeftHeld = false;
    EXPECT_EQ(MoveTo(2, 2), (std::vector<MapEv>{}));
    Bases->Step();
    EXPECT_TRUE(Alive());
    Bases->Step();
    EXPECT_FALSE(Alive());
}

TEST_F(MapImages, EscapeAndTheRightButtonCancel) {
    TVelaMapImage* map = Map();
    map->SetHandlekey(true);
    Bases->SetFocus(map);
    ParamMan->SetSelStr("old");
    ParamMan->SetSelIndex(5);
    Key(27);  // without right-click scrap Escape does nothing
    EXPECT_EQ(map->GetSelectionState(), 0);
    map->SetRclickscrap(true);
    Key(27);
    EXPECT_EQ(ParamMan->SelStr(), "");
    EXPECT_EQ(ParamMan->SelIndex(), -1);
    EXPECT_EQ(map->GetSelectionState(), 100);
    Bases->Step();
    Bases->Step();
    EXPECT_FALSE(Alive());

    // A right press anywhere on the layer, away from the map, cancels a map that takes it.
    map = Map();
    map->SetRclickscrap(true);
    map->SetIgnoremouse(IM_RCLICK);
    EXPECT_FALSE(map->BeginSelect());
    map->SetIgnoremouse(IM_LCLICK);
    ParamMan->SetSelStr("old");
    Layer->SetMousePos({60, 44});
    Layer->RightHeld = Layer->RightLatch = true;
    Tick();
    EXPECT_TRUE(map->IsSelecting());
    EXPECT_EQ(ParamMan->SelStr(), "");
    EXPECT_FALSE(map->BeginSelect());  // once
}

TEST_F(MapImages, TheSelectedRegionShowsTheHoverPictureInTheMapsOwnCopies) {
    // Pictures keyed with colour 0, so that what is cut away shows the layer beneath; the base
    // turns to its second frame, whose pixels differ from the hover picture's.
    Cache->Source->Files["base.mra"] = {{40, 30, 15, true, 0}, {40, 30, 1000, true, 0}};
    Cache->Source->Files["hover.mra"] = {{40, 30, 100, true, 0}};
    TVelaMapImage* map = Map();
    Layer->SetColor(0x00ABCDEF);
    map->SetSource("base.mra");
    map->SetHoversource("hover.mra");
    EXPECT_EQ(map->GetWidth(), 40);
    EXPECT_EQ(map->GetHeight(), 30);
    auto drawn = [&](int X, int Y) {
        Layer->InvalidateAll();
        Bases->Prepare();
        return Bases->GetSurface()->GetPixel(4 + X, 6 + Y);
    };
    const uint32_t layer = Bases->GetSurface()->ColorToPixel(0x00ABCDEF);
    const uint32_t hoverPond = drawn(28, 9);  // the base's first frame has the hover picture's pixels
    Bases->Step();
    Bases->Step();
    const uint32_t basePond = drawn(28, 9), baseGate = drawn(2, 2);
    EXPECT_NE(basePond, hoverPond);
    EXPECT_NE(basePond, layer);
    MoveTo(28, 9);
    EXPECT_EQ(drawn(28, 9), hoverPond);  // the hover picture inside the pond
    EXPECT_EQ(drawn(2, 2), baseGate);    // the base picture everywhere else
    map->SetHoversource("");
    EXPECT_EQ(drawn(28, 9), layer);  // the pond is cut out of the base picture
    EXPECT_EQ(drawn(2, 2), baseGate);
    // The cached pictures stay whole for their other users.
    TMiraItem& cached = MiraMan->Acquire(this, "base.mra", false, false);
    EXPECT_NE(cached.GetFrame(1)->Surface->GetPixel(28, 9), 0u);
    cached.Release(this);
}

TEST_F(MapImages, RecordsMatchTheReferenceAtTheirGates) {
    const std::vector<ReferenceRecord> records = ReferenceRecords("mapimage_records.py");
    for (const ReferenceRecord& r : records) {
        SCOPED_TRACE(r.version);
        TVelaMapImage loaded(Bases, false);
        ExpectReadsAsReferenced(loaded, r);
    }
    EXPECT_EQ(records.size(), 5u);  // each side of both gates, and the newest
    // A map with its regions and pictures saves, loads and saves to the same bytes.
    Cache->Source->Files["base.mra"] = {{40, 30, 100, true, 0}};
    TVelaMapImage* map = Map();
    map->SetSource("base.mra");
    map->SetRclickscrap(true);
    TMemoryStream first;
    map->SaveToStream(first);
    first.SetPosition(0);
    Bases->Clear();  // the copy takes the name back
    TVelaMapImage copy(Bases, false);
    copy.LoadFromStream(first, 144);
    EXPECT_EQ(copy.GetRegionCount(), 3);
    TMemoryStream second;
    copy.SaveToStream(second);
    EXPECT_EQ(ToHex(Bytes(second)), ToHex(Bytes(first)));
}

}  // namespace
