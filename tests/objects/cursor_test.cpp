#include "objects/vitems.h"
#include "script/params_vars.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using Calls = std::vector<std::string>;

class TRecordingHost : public TCursorHost {
public:
    explicit TRecordingHost(Calls& Log) : Log(Log) {}
    void LoadCursor(const std::string& FileName) override { Log.push_back("load " + FileName); }
    void DefaultCursor() override { Log.push_back("default"); }
    Calls& Log;
};

class PointerCursor : public ::testing::Test {
protected:
    void SetUp() override {
        VelaInitialize();
        CreateParamMan();
        Bases->SetWidth(320);
        Bases->SetHeight(240);
        Bases->SetCursorHost(std::make_unique<TRecordingHost>(Log));
    }
    void TearDown() override {
        FreeParamMan();
        VelaFinalize();
    }
    // A 50 x 50 control at (Left, 0) on Layer showing Cursor.
    void Control(int Layer, int32_t Left, const std::string& Cursor) {
        auto* c = new TVelaControl(Bases);
        c->SetParent(Bases->GetBase(Layer));
        c->SetBounds(Left, 0, 50, 50);
        c->SetCursor(Cursor);
    }
    // The pointer at (X, 10) on the current layer for one tick; the host calls it caused.
    Calls Hover(int32_t X) {
        Log.clear();
        Bases->GetBase(Bases->GetCurrentLayer())->SetMousePos({X, 10});
        Bases->Update(Clock += 10);
        return Log;
    }

    Calls Log;
    uint32_t Clock = 0;
};

}  // namespace

TEST_F(PointerCursor, AFileIsLoadedOnceWhileTheNameStays) {
    Control(0, 0, "hand.cur");
    Control(0, 60, "hand.cur");
    Control(0, 120, "pen.cur");
    EXPECT_EQ(Hover(10), Calls{"load hand.cur"});
    EXPECT_EQ(Hover(20), Calls{});
    EXPECT_EQ(Hover(20), Calls{});
    EXPECT_EQ(Hover(70), Calls{}) << "another object with the same cursor name";
    EXPECT_EQ(Hover(130), Calls{"load pen.cur"});
    EXPECT_EQ(Hover(10), Calls{"load hand.cur"});
}

TEST_F(PointerCursor, ObjectsWithoutACursorShowTheScriptsCursorElseTheDefault) {
    Control(0, 0, "hand.cur");
    ParamMan->SetCursorName("arrow.cur");
    EXPECT_EQ(Hover(200), Calls{"load arrow.cur"}) << "the bare layer has no cursor of its own";
    EXPECT_EQ(Hover(10), Calls{"load hand.cur"});
    ParamMan->SetCursorName("");
    EXPECT_EQ(Hover(200), Calls{"default"});
    EXPECT_EQ(Hover(210), Calls{}) << "the default already shows";
    EXPECT_EQ(Hover(10), Calls{"load hand.cur"}) << "the same name as before, but the default showed meanwhile";
}

// Both layers share the panel: a name this layer loaded earlier no longer shows once the other
// layer has loaded its own.
TEST_F(PointerCursor, TheOtherLayersCursorIsNotTakenForThisLayers) {
    Control(0, 0, "hand.cur");
    Control(1, 0, "pen.cur");
    EXPECT_EQ(Hover(10), Calls{"load hand.cur"});
    Bases->SetCurrentLayer(1);
    EXPECT_EQ(Hover(10), Calls{"load pen.cur"});
    Bases->SetCurrentLayer(0);
    EXPECT_EQ(Hover(10), Calls{"load hand.cur"});
}
