#include "objects/vitemex_imagelist.h"

#include "objects/vitems.h"
#include "tests/objects/picture_source.h"

#include <gtest/gtest.h>

namespace {

// An object without a root: a size and a blend value, drawn onto Layer at (0, 0).
class TPlacedObject : public TVelaObject {
public:
    TPlacedObject() : TVelaObject(nullptr) {}
    TCustomDIBX* GetLayerSurface() override { return Layer; }
    int32_t GetAlpha() const override { return Alpha; }
    int32_t GetWidth() const override { return Width; }
    int32_t GetHeight() const override { return Height; }

    TCustomDIBX* Layer = nullptr;
    int32_t Alpha = 255, Width = 0, Height = 0;
};

class ImageList : public ::testing::Test {
protected:
    void SetUp() override {
        Cache.Source->Files["walk.mra"] = {{3, 2, 100, false}, {3, 2, 100, false}, {3, 2, 100, false}};
        Cache.Source->Files["blink.mra"] = {{3, 2, 100, true}, {3, 2, 100, true}};
        Cache.Source->Files["keyed.mra"] = {{4, 3, 10, true}};
    }
    TPictureCache Cache;
};

}  // namespace

TEST_F(ImageList, FramesCatchUpButAWrapRestartsFrameZero) {
    TVelaImageList list;
    list.LoadImage("walk.mra", false);
    EXPECT_EQ(list.Remaining, 101);
    EXPECT_TRUE(list.StepAnimation(250));
    EXPECT_EQ(list.Current, 2);
    EXPECT_EQ(list.Remaining, 51);
    EXPECT_TRUE(list.StepAnimation(100000));
    EXPECT_EQ(list.Current, 0);
    EXPECT_EQ(list.Remaining, 100);
    list.SetFrame(9);
    EXPECT_EQ(list.Current, 2);
    list.SetFrame(-4);  // kept, and the next step starts over
    EXPECT_TRUE(list.StepAnimation(200));
    EXPECT_EQ(list.Current, 0);

    list.LoadImage("blink.mra", false);  // two frames: a long tick never skips ahead
    EXPECT_TRUE(list.StepAnimation(250));
    EXPECT_EQ(list.Current, 0);
    EXPECT_EQ(list.Remaining, 100);
    list.LoadImage("keyed.mra", false);
    EXPECT_FALSE(list.StepAnimation(1000));
}

TEST_F(ImageList, TwoListsOfOneOwnerHoldTheEntryEach) {
    TVelaImageList first, second;
    first.LoadImage("walk.mra", false);
    second.LoadImage("WALK.mra", false);
    EXPECT_EQ(Cache.Source->Decodes, 1);
    first.Clear();
    ASSERT_EQ(MiraMan->Count(), 1);
    EXPECT_EQ(second.GetItem(2)->GetDIB()->GetPixel(1, 1), PixelOf(2, 1, 1));
    second.Clear();
    EXPECT_EQ(MiraMan->Count(), 0);
}

TEST_F(ImageList, BrightnessShiftsThePixelsAndTheColourKey) {
    TVelaImageList list;
    list.LoadImage("keyed.mra", false);
    TVelaImageData& data = *list.GetItem(0);
    auto canvas = Canvas(4, 3, 0x123456);
    TPlacedObject obj;
    obj.Layer = canvas.get();
    obj.Width = 4, obj.Height = 3;
    data.SetBrightness(40);
    for (int32_t alpha : {0, 512}) {
        obj.Alpha = alpha;
        data.DrawObject(obj);
    }
    EXPECT_EQ(canvas->GetPixel(2, 1), 0x123456u);
    obj.Alpha = 255;
    data.DrawObject(obj);
    EXPECT_EQ(canvas->GetPixel(0, 0), 0x123456u);
    EXPECT_EQ(canvas->GetPixel(2, 1), PixelOf(0, 2, 1) + 0x282828);
    data.SetBrightness(-300);
    EXPECT_EQ(data.GetDIB()->GetPixel(3, 2), 0u);

    // While the copy is away (device loss) the frame draws nothing; then it comes back.
    data.SetBrightness(40);
    list.FreePrivateDIBs();
    canvas->Fill(0);
    data.DrawObject(obj);
    data.DrawTo(obj, 0, 0, {0, 0, 4, 3});
    EXPECT_EQ(canvas->GetPixel(2, 1), 0u);
    list.MakePrivateDIBs();
    EXPECT_EQ(data.GetDIB()->GetPixel(2, 1), PixelOf(0, 2, 1) + 0x282828);

    // A missing file's placeholder stays invisible when brightened.
    list.LoadImage("gone.mra", false);
    list.GetItem(0)->SetBrightness(40);
    list.GetItem(0)->DrawObject(obj);
    EXPECT_EQ(canvas->GetPixel(2, 1), 0u);
}

// The plain, keyed and masked wraps all put picture pixel (1, 1) on the rectangle's corner, for
// offsets beyond the picture on either side.
TEST_F(ImageList, WrappedDrawsStartOnTheSamePixelOnEveryPath) {
    for (bool mask : {false, true})
        for (const char* file : {"walk.mra", "keyed.mra"}) {
            TVelaImageList list;
            list.LoadImage(file, mask);
            const TCustomDIBX& picture = *list.GetItem(0)->GetDIB();
            auto canvas = Canvas(6, 6, 0);
            list.GetItem(0)->DrawWrapped(*canvas, {2, 2, 6, 6}, 255, picture.GetWidth() + 1, 1 - picture.GetHeight());
            EXPECT_EQ(canvas->GetPixel(2, 2), PixelOf(0, 1, 1)) << file << mask;
        }
}
