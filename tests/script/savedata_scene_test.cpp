// The player's part of the game save that holds the history formats, in either form.
#include "script/savedata_scene.h"

#include "objects/vitems.h"
#include "tests/common/fixture.h"
#include "text/histories.h"

#include <gtest/gtest.h>

namespace {

class SceneSections : public ::testing::Test {
protected:
    void SetUp() override { VelaInitialize(); }
    void TearDown() override { VelaFinalize(); }

    TVelaNewHistory& Unnamed() { return TextHistoryFormats->FindFormat("")->History(); }

    TSceneSaveSections sections;
};

TEST_F(SceneSections, HistoriesComeBackWithTheGameOfEitherForm) {
    const std::array<int32_t, 6> settings{16, 1, 0, 400, 300, 2};
    TVelaHistoryFormat& backlog = TextHistoryFormats->FindOrAddFormat("backlog");
    backlog.Settings = settings;
    backlog.History().Entries.Add("a.vsb", 3, 1, {640, 120});
    Unnamed().Entries.Add("a.vsb", 3, 0, {640, 120});
    TMemoryStream game;
    sections.SaveHistory(game);

    TextHistoryFormats->Clear();
    game.SetPosition(0);
    sections.LoadHistory(game, HistoryManagerSaveVersion);
    ASSERT_EQ(TextHistoryFormats->Count(), 2);
    EXPECT_EQ(TextHistoryFormats->FindFormat("backlog")->Settings, settings);
    EXPECT_EQ(TextHistoryFormats->FindFormat("backlog")->History().Entries.GetItem(0).PageIndex, 1);
    EXPECT_EQ(Unnamed().GetCount(), 1);

    // An older save holds the unnamed format's history alone; the other formats go.
    TMemoryStream old;
    Unnamed().Entries.Add("b.vsb", 5, 2, {640, 120});
    Unnamed().SaveToStream(old);
    old.SetPosition(0);
    sections.LoadHistory(old, HistoryManagerSaveVersion - 1);
    EXPECT_EQ(TextHistoryFormats->Count(), 1);
    ASSERT_EQ(Unnamed().GetCount(), 2);
    EXPECT_EQ(Unnamed().Entries.GetName(1), "b.vsb");
    EXPECT_EQ(old.Remaining(), 0);
}

}  // namespace
