// Tiles: the repeated picture scrolled, keyed and spaced, children on the scrolled content,
// looping frames, the film track's frame, the fading ghost, and the record.
#include "tests/objects/image_kinds_fixture.h"

namespace {

class Tiles : public ImageKindsTest {
protected:
    // A 4 x 2 picture whose columns are 'A' to 'D' (as pixel values), on a 12 x 2 tile at (0, 0).
    TVelaTile* StripTile() {
        Picture.SetSize(4, 2, 32);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 4; ++x) Picture.SetPixel(x, y, 'A' + x);
        auto* tile = Make<TVelaTile>("tile");
        tile->SetBounds(0, 0, 12, 2);
        tile->SetSurface(&Picture);
        return tile;
    }
    // The tile's second row as letters, '.' for the background.
    std::string Row() {
        std::string row;
        for (int x = 0; x < 12; ++x) row += Pixel(x, 1) == 0 ? '.' : char(Pixel(x, 1));
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
    tile->SetScrollx(1);
    Picture.TransparentColor = 'D';  // the zoomed wrapping draw keeps the pattern in place
    EXPECT_EQ(Row(), "BC.ABC.ABC.A");
}

TEST_F(Tiles, DistancesSpaceTheCopiesWithAndWithoutContentRectangles) {
    TVelaTile* tile = StripTile();
    for (bool rects : {false, true}) {
        SCOPED_TRACE(rects);
        Picture.Rects1.assign(rects ? 1 : 0, TRect{0, 0, 4, 2});
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

TEST_F(Tiles, ChildrenSitOnTheScrolledContentAndFramesAlwaysLoop) {
    Cache->Source->Files["t.mra"] = {{8, 4, 100, false}, {8, 4, 100, false}};
    auto* tile = Make<TVelaTile>("tile");
    tile->SetBounds(10, 0, 20, 10);
    tile->SetScrollx(3);
    auto* child = Make<TVelaBox>("child");
    child->SetParent(tile);
    child->SetLeft(5);
    EXPECT_EQ(child->GetOriginX(), 12);

    tile->SetRepeat(false);
    EXPECT_TRUE(tile->GetRepeat());
    tile->SetSource("t.mra");
    EXPECT_EQ(tile->GetWidth(), 20);  // the size stays as set
    for (int i = 0; i < 3; ++i) Tick(100);
    EXPECT_EQ(tile->GetIndex(), 1);
    EXPECT_EQ(Pixel(29, 9), PixelOf(1, (29 - 10 + 3) % 8, 9 % 4));
    EXPECT_EQ(Bases->GetEvents().Count(), 0);
    tile->SetSource("x.bmp");
    EXPECT_TRUE(tile->GetSurface()->GetEmpty());
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
    EXPECT_EQ(tile->GetDistancey(), 8);
    EXPECT_EQ(tile->GetBoundsRect(), (TRect{3, 4, 53, 64}));
    EXPECT_EQ(tile->GetScrollx(), -5);
    EXPECT_EQ(tile->GetClipheight(), 20);
}

TEST_F(Tiles, MovingTileLeavesFadingGhostsThatGoWithItsPicture) {
    TVelaTile* tile = StripTile();
    tile->SetAlpha(300);
    tile->SetBlurdelay(300);
    tile->SetBlurspan(50);
    for (int i = 0; i < 4; ++i) {  // a ghost once 50 ms have passed
        tile->SetLeft(tile->GetLeft() + 1);
        Tick(15);
    }
    auto* ghost = dynamic_cast<TVelaBlurTile*>(Bases->FindControl("tile0"));
    ASSERT_NE(ghost, nullptr);
    EXPECT_EQ(Bases->GetBase(0)->GetControl(0), ghost);  // just below the tile
    EXPECT_EQ(ghost->GetSurface(), &Picture);
    EXPECT_EQ(ghost->GetStartAlpha(), 256 + 22);  // the low byte halved
    Tick(135);  // 150 ms with the tick that made it: half the way to nothing
    EXPECT_EQ(ghost->GetAlpha(), 278 - 11);
    tile->SetSource("gone.mra");  // the tile lets go of its picture
    EXPECT_EQ(ghost->GetSurface(), nullptr);
    Tick(15);
    EXPECT_EQ(Bases->FindObject("tile0"), nullptr);
}

TEST_F(Tiles, RecordsOfEachVersionLoadAsWritten) { ExpectRecords<TVelaTile>("tile"); }

}  // namespace
