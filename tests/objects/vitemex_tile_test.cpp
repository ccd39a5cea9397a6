// Tiles: the repeated picture scrolled, keyed and spaced, children on the scrolled content,
// looping frames, the film track's frame, the fading ghost, and the record against an
// independent writer (tests/tools/image_kind_records.py).
#include "tests/objects/image_kinds_fixture.h"

#include "core/streams.h"
#include "tests/common/fixture.h"

#include <sstream>

namespace {

class Tiles : public ImageKindsTest {
protected:
    // A 4 x 2 picture whose columns are 'A' to 'D' (as pixel values), on a 12 x 2 tile at (0, 0).
    TVelaTile* StripTile() {
        Picture.SetSize(4, 2, 32);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 4; ++x) Picture.SetPixel(x, y, 'A' + x);
        auto* tile = Make<TVelaTile>(LT_TILE, "tile");
        tile->SetBounds(0, 0, 12, 2);
        tile->SetSurface(&Picture);
        return tile;
    }
    // The first row of the tile as letters, '.' for the background.
    std::string Row() {
        std::string row;
        for (int x = 0; x < 12; ++x) {
            const uint32_t p = Pixel(x, 1);
            row += p == 0 ? '.' : char(p);
        }
        return row;
    }
    TDIBX Picture;
};

TEST_F(Tiles, ScrollWrapsThePictureAlikeInThePlainAndTheKeyedDraw) {
    TVelaTile* tile = StripTile();
    EXPECT_EQ(Row(), "ABCDABCDABCD");
    tile->SetScrollx(4);
    EXPECT_EQ(Row(), "ABCDABCDABCD");
    tile->SetScrollx(-1);
    EXPECT_EQ(Row(), "DABCDABCDABC");
    // A colour key takes the zoomed wrapping draw, which keeps the pattern where it was.
    tile->SetScrollx(1);
    Picture.TransparentColor = 'D';
    EXPECT_EQ(Row(), "BC.ABC.ABC.A");
}

TEST_F(Tiles, DistancesSpaceTheCopiesWithAndWithoutContentRectangles) {
    TVelaTile* tile = StripTile();
    for (bool rects : {false, true}) {
        SCOPED_TRACE(rects);
        Picture.Rects1.clear();
        if (rects) Picture.Rects1.push_back({0, 0, 4, 2});
        tile->SetScrollx(0);
        tile->SetDistancex(1);  // under half the picture: the copies touch
        EXPECT_EQ(Row(), "ABCDABCDABCD");
        tile->SetDistancex(6);
        EXPECT_EQ(Row(), "ABCD..ABCD..");
        tile->SetDistancex(3);  // overlapping, later copies on top
        EXPECT_EQ(Row(), "ABCABCABCABC");
        tile->SetDistancex(6);
        tile->SetScrollx(1);
        EXPECT_EQ(Row(), "BCD..ABCD..A");
    }
}

TEST_F(Tiles, ChildrenSitOnTheScrolledContent) {
    TVelaTile* tile = StripTile();
    tile->SetLeft(10);
    tile->SetScrollx(3);
    auto* child = Make<TVelaBox>(LT_BOX, "child");
    child->SetParent(tile);
    child->SetLeft(5);
    EXPECT_EQ(tile->GetOriginX(), 10);
    EXPECT_EQ(tile->GetOriginX2(), 10);
    EXPECT_EQ(child->GetOriginX(), 12);
}

TEST_F(Tiles, FramesAlwaysLoopAndTheSizeStaysAsSet) {
    Source->Delays["t.mra"] = {100, 100};
    auto* tile = Make<TVelaTile>(LT_TILE, "tile");
    tile->SetBounds(0, 0, 20, 10);
    tile->SetRepeat(false);
    EXPECT_TRUE(tile->GetRepeat());
    tile->SetSource("t.mra");
    EXPECT_EQ(tile->GetWidth(), 20);
    for (int i = 0; i < 3; ++i) Tick(100);
    EXPECT_EQ(tile->GetIndex(), 1);
    EXPECT_EQ(Pixel(19, 9), 0x202020u);  // frame 1's colour, repeated to the edge
    EXPECT_EQ(Queued(PR_ONPLAYEND), 0);

    tile->SetSource("x.bmp");
    EXPECT_EQ(tile->GetIndex(), -1);
    EXPECT_TRUE(tile->GetSurface()->GetEmpty());
    EXPECT_EQ(tile->GetWidth(), 20);
}

TEST_F(Tiles, FilmFrameSetsTheWholeLook) {
    TVelaTile* tile = StripTile();
    TDIBX frame;
    frame.SetSize(4, 4, 32);
    tile->ApplyFrame(nullptr, &frame, nullptr, 0x0000FF, 7, 6, 8, true, false, 3, 4, 50, 60, 1, 2, 2.0, 0.5, 200,
                     -5, 9, {1, 2, 11, 22});
    EXPECT_EQ(tile->GetSurface(), &frame);
    EXPECT_EQ(frame.TransparentColor, frame.ColorToPixel(0x0000FF));
    EXPECT_EQ(tile->GetPriority(), 7);
    EXPECT_EQ(tile->GetDistancex(), 6);
    EXPECT_EQ(tile->GetDistancey(), 8);
    EXPECT_TRUE(tile->GetFliph());
    EXPECT_EQ(tile->GetBoundsRect(), (TRect{3, 4, 53, 64}));
    EXPECT_EQ(tile->GetFloatzoomx(), 2.0L);
    EXPECT_EQ(tile->GetAlpha(), 200);
    EXPECT_EQ(tile->GetScrollx(), -5);
    EXPECT_EQ(tile->GetScrolly(), 9);
    EXPECT_EQ(tile->GetClipwidth(), 10);
    EXPECT_EQ(tile->GetClipheight(), 20);
}

TEST_F(Tiles, GhostShowsItsSourcesPictureWhileTheSourceKeepsItAndFades) {
    Source->Delays["t.mra"] = {100};
    auto* tile = Make<TVelaTile>(LT_TILE, "tile");
    tile->SetSource("t.mra");
    tile->SetBounds(0, 0, 20, 10);
    tile->SetAlpha(300);
    tile->SetBlurdelay(300);
    auto* ghost = new TVelaBlurTile(Bases, false);
    ghost->SetName("g");
    ghost->SetParent(Bases->GetBase(0));
    ghost->AttachSource(*tile);
    EXPECT_EQ(ghost->GetStartAlpha(), 256 + 22);
    EXPECT_EQ(ghost->GetWidth(), 20);
    EXPECT_EQ(ghost->GetSurface(), tile->GetSurface());
    Tick(150);
    EXPECT_EQ(ghost->GetAlpha(), 278 - 11);
    tile->SetSource("");  // the cached picture is let go of
    EXPECT_EQ(ghost->GetSurface(), nullptr);
    EXPECT_EQ(ghost->GetSourceSurface(), nullptr);
    Pixel(0, 0);  // draws without it
    Tick(150);
    EXPECT_EQ(Bases->FindObject("g"), nullptr);

    tile->SetSource("t.mra");
    auto* second = new TVelaBlurTile(Bases, false);
    second->SetName("g2");
    second->AttachSource(*tile);
    delete tile;
    EXPECT_EQ(second->GetSurface(), nullptr);
}

TEST_F(Tiles, MovingTileLeavesTileGhostsJustBelowIt) {
    TVelaTile* tile = StripTile();
    tile->SetBlurdelay(300);
    tile->SetBlurspan(50);
    for (int i = 0; i < 4; ++i) {  // a ghost once 50 ms have passed
        tile->SetLeft(tile->GetLeft() + 1);
        Tick(15);
    }
    auto* ghost = dynamic_cast<TVelaBlurTile*>(Bases->FindControl("tile0"));
    ASSERT_NE(ghost, nullptr);
    EXPECT_EQ(ghost->GetSurface(), &Picture);
    EXPECT_EQ(ghost->GetLeft(), 4);
    TVelaBase* layer = Bases->GetBase(0);
    ASSERT_EQ(layer->GetControlCount(), 2);
    EXPECT_EQ(layer->GetControl(0), ghost);
}

TEST_F(Tiles, RecordsOfEachVersionLoadAsWritten) {
    int versions = 0;
    for (const std::string& line : Lines(PythonOutput("image_kind_records.py", {"tile"}))) {
        std::istringstream fields(line);
        int32_t version = 0;
        std::string stored, asRead;
        fields >> version >> stored >> asRead;
        SCOPED_TRACE(version);
        TMemoryStream s = StreamOf(FromHex(stored));
        auto loaded = std::make_unique<TVelaTile>(Bases);
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
