// The animated image object: frame timing with catch-up and wrap, the end of a one-shot
// animation, the last-frame wait, film sources, sources of other kinds, and its record against
// an independent writer (tests/tools/image_kind_records.py).
#include "tests/objects/image_kinds_fixture.h"

#include "core/streams.h"
#include "tests/common/fixture.h"

#include <sstream>

namespace {

class Images : public ImageKindsTest {
protected:
    TVelaImages* Animation(const std::string& File, std::vector<int32_t> Delays) {
        Source->Delays[AnsiLowerCase(File)] = std::move(Delays);
        auto* images = Make<TVelaImages>(LT_IMAGES, "anim");
        images->SetSource(File);
        return images;
    }
};

TEST_F(Images, FramesCatchUpExceptWithTwoAndWrapToAFullDelay) {
    TVelaImages* three = Animation("three.mra", {100, 100, 100});
    three->SetRepeat(true);
    EXPECT_EQ(three->GetIndex(), 0);
    EXPECT_EQ(three->GetCount(), 3);
    EXPECT_EQ(three->GetWidth(), 8);  // the size follows the picture
    Tick(250);  // frame 0's 100 ms and all of frame 1 used up
    EXPECT_EQ(three->GetIndex(), 2);
    EXPECT_EQ(three->GetRemaining(), 50);
    Tick(1000);  // far past the last frame: frame 0 with its whole delay
    EXPECT_EQ(three->GetIndex(), 0);
    EXPECT_EQ(three->GetRemaining(), 100);
    three->SetIndex(0);  // the same frame keeps its time
    EXPECT_EQ(three->GetRemaining(), 100);
    EXPECT_EQ(three->GetSurface(), MiraMan->GetItem(0).GetFrame(0)->Surface.get());

    three->SetSource("");
    auto* two = Animation("two.mra", {100, 100});
    two->SetRepeat(true);
    Tick(250);
    EXPECT_EQ(two->GetIndex(), 1);
    EXPECT_EQ(two->GetRemaining(), 100);
    Tick(250);
    EXPECT_EQ(two->GetIndex(), 0);
}

TEST_F(Images, OneShotHoldsItsLastFrameAndRaisesTheEndOnceQueued) {
    TVelaImages* once = Animation("once.mra", {100, 50});
    once->SetOnplayend("end");
    CompileExpression("40", once->GetLastFrameWait());
    Tick(100);
    EXPECT_EQ(once->GetIndex(), 1);
    EXPECT_EQ(once->GetRemaining(), 90);  // 50 ms and the wait's 40
    EXPECT_TRUE(once->GetPlaying());
    Tick(90);
    EXPECT_EQ(once->GetIndex(), 1);
    EXPECT_FALSE(once->GetPlaying());
    EXPECT_EQ(Queued(PR_ONPLAYEND), 1);
    Tick(15);  // still queued: not a second one
    EXPECT_EQ(Queued(PR_ONPLAYEND), 1);

    once->SetAutoscrap(true);
    Tick(15);
    EXPECT_EQ(Bases->FindObject("anim"), nullptr);
}

TEST_F(Images, RepeatShowsTheFirstFrameWhenNoneIsShown) {
    TVelaImages* images = Animation("a.mra", {100, 100});
    images->SetIndex(-1);
    EXPECT_EQ(images->GetIndex(), -1);
    images->SetRepeat(true);
    EXPECT_EQ(images->GetIndex(), 0);
}

TEST_F(Images, FilmSourcesPlayOnTheObjectAndOtherKindsShowNothing) {
    TVelaImages* images = Animation("walk.VMT", {});
    ASSERT_NE(images->GetMotion(), nullptr);
    EXPECT_EQ(images->GetCount(), 60);
    images->SetIndex(30);
    EXPECT_EQ(images->GetMotion()->GetElapsed(), 500);
    Tick(0);
    EXPECT_EQ(images->GetIndex(), 30);

    images->SetSource("a.mra");  // a picture again: the film goes
    EXPECT_EQ(images->GetMotion(), nullptr);
    images->SetSource("picture.bmp");
    EXPECT_EQ(images->GetWidth(), 0);
    EXPECT_EQ(images->GetHeight(), 0);
    EXPECT_EQ(images->GetIndex(), -1);
    EXPECT_EQ(MiraMan->Count(), 0);  // the picture was handed back
}

// Each version's record reads to its end and saves in the newest form as the writer says.
TEST_F(Images, RecordsOfEachVersionLoadAsWritten) {
    int versions = 0;
    for (const std::string& line : Lines(PythonOutput("image_kind_records.py", {"images"}))) {
        std::istringstream fields(line);
        int32_t version = 0;
        std::string stored, asRead;
        fields >> version >> stored >> asRead;
        SCOPED_TRACE(version);
        TMemoryStream s = StreamOf(FromHex(stored));
        auto loaded = std::make_unique<TVelaImages>(Bases);
        loaded->LoadFromStream(s, version);
        EXPECT_EQ(s.Remaining(), 0);
        TMemoryStream again;
        loaded->SaveToStream(again);
        EXPECT_EQ(ToHex(Bytes(again)), ToHex(FromHex(asRead)));
        ++versions;
    }
    EXPECT_EQ(versions, 7);
}

}  // namespace
