// The animated image object: frame timing with catch-up and wrap, the end of a one-shot
// animation, the last-frame wait, film sources, sources of other kinds, and its record.
#include "tests/objects/image_kinds_fixture.h"

namespace {

class Images : public ImageKindsTest {
protected:
    TVelaImages* Animation(const std::string& File, const std::vector<int32_t>& Delays) {
        for (int32_t delay : Delays) Cache->Source->Files[AnsiLowerCase(File)].push_back({8, 4, delay, false});
        auto* images = Make<TVelaImages>("anim");
        images->SetSource(File);
        return images;
    }
};

TEST_F(Images, FramesCatchUpExceptWithTwoAndWrapToAFullDelay) {
    TVelaImages* three = Animation("three.mra", {100, 100, 100});
    three->SetRepeat(true);
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
    EXPECT_EQ(Pixel(3, 2), PixelOf(0, 3, 2));

    three->SetSource("");
    TVelaImages* two = Animation("two.mra", {100, 100});
    two->SetRepeat(true);
    Tick(250);
    EXPECT_EQ(two->GetIndex(), 1);
    EXPECT_EQ(two->GetRemaining(), 100);
}

TEST_F(Images, OneShotHoldsItsLastFrameAndRaisesTheEndOnceQueued) {
    TVelaImages* once = Animation("once.mra", {100, 50});
    once->SetOnplayend("end");
    CompileExpression("40", once->GetLastFrameWait());
    Tick(100);
    EXPECT_EQ(once->GetIndex(), 1);
    EXPECT_EQ(once->GetRemaining(), 90);  // 50 ms and the wait's 40
    Tick(90);
    EXPECT_EQ(once->GetIndex(), 1);
    EXPECT_FALSE(once->GetPlaying());
    EXPECT_EQ(Bases->GetEvents().IndexOf(once, PR_ONPLAYEND), 0);
    Tick(15);  // still queued: not a second one
    EXPECT_EQ(Bases->GetEvents().Count(), 1);

    once->SetIndex(-1);
    once->SetRepeat(true);  // repeating shows a frame again
    EXPECT_EQ(once->GetIndex(), 0);
    once->SetRepeat(false);
    once->SetAutoscrap(true);
    Tick(1000);  // to the last frame
    Tick(1000);
    EXPECT_EQ(Bases->FindObject("anim"), nullptr);
}

TEST_F(Images, FilmSourcesPlayOnTheObjectAndOtherKindsShowNothing) {
    TVelaImages* images = Animation("walk.VMT", {});
    ASSERT_NE(images->GetMotion(), nullptr);
    EXPECT_EQ(images->GetCount(), 60);
    images->SetIndex(30);
    EXPECT_EQ(images->GetMotion()->GetElapsed(), 500);
    Tick(0);
    EXPECT_EQ(images->GetIndex(), 30);

    Cache->Source->Files["a.mra"] = {{8, 4, 100, false}};
    images->SetSource("a.mra");
    EXPECT_EQ(images->GetMotion(), nullptr);
    images->SetSource("picture.bmp");
    EXPECT_EQ(images->GetWidth(), 0);
    EXPECT_EQ(images->GetHeight(), 0);
    EXPECT_EQ(MiraMan->Count(), 0);  // the picture was handed back
}

TEST_F(Images, BrightenedFrameComesBackAfterDeviceLossAndEachShownFrameIsRedrawn) {
    TVelaImages* images = Animation("a.mra", {100, 100});
    images->SetBrightness(0x28);
    images->FreePrivateDIBs();
    images->MakePrivateDIBs();
    EXPECT_EQ(Pixel(3, 2), PixelOf(0, 3, 2) + 0x282828);

    images->SetIndex(-1);
    TClipList& dirty = Bases->GetBase(0)->ClipList;
    dirty.Clear();  // as after a present
    images->SetIndex(1);
    EXPECT_EQ(dirty.Count(), 1);
}

TEST_F(Images, RecordsOfEachVersionLoadAsWritten) { ExpectRecords<TVelaImages>("images"); }

}  // namespace
