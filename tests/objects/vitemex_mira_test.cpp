#include "objects/vitemex_mira.h"

#include "core/vrfiles_manager.h"
#include "platform/fs.h"
#include "script/services.h"
#include "tests/common/fixture.h"
#include "tests/objects/picture_source.h"

#include <gtest/gtest.h>
#include <png.h>

#include <climits>

namespace {

class MiraCache : public ::testing::Test {
protected:
    void SetUp() override {
        Cache.Source->Files["anim.mra"] = {{4, 3, 0, true}, {4, 3, 50, true}, {4, 3, 100, false}};
        Cache.Source->Files["still.png"] = {{5, 4, 0, false}};
    }
    TMiraItem& Acquire(const void* User, const std::string& Name, bool Mask = false, bool Trim = false) {
        return MiraMan->Acquire(User, Name, Mask, Trim);
    }
    TPictureCache Cache;
    int UserA = 0, UserB = 0;
};

}  // namespace

TEST_F(MiraCache, DecodesOncePerKeyAndFreesWithTheLastUser) {
    TMiraItem& item = Acquire(&UserA, "Anim.mra");
    EXPECT_EQ(&Acquire(&UserB, "ANIM.MRA"), &item);
    EXPECT_EQ(&Acquire(&UserA, "anim.mra"), &item);
    for (auto [mask, trim] : {std::pair{true, false}, {false, true}, {true, true}})
        EXPECT_NE(&Acquire(&UserA, "anim.mra", mask, trim), &item);
    EXPECT_EQ(Cache.Source->Decodes, 4);

    item.Release(&UserA);  // acquired twice, counted once
    ASSERT_EQ(MiraMan->IndexOf("anim.mra"), 0);
    item.Release(&UserB);
    EXPECT_EQ(MiraMan->IndexOf("anim.mra"), -1);
    Acquire(&UserA, "anim.mra");
    EXPECT_EQ(Cache.Source->Decodes, 5);
}

TEST_F(MiraCache, FramesKeepDelaysAndKeysAndTheVariantsMasksAndOffsets) {
    const TMiraItem& item = Acquire(&UserA, "anim.mra");
    EXPECT_EQ(item.GetFrame(0)->Delay, 1);
    EXPECT_EQ(item.Duration, 151);
    EXPECT_EQ(item.GetFrame(0)->TransColor, 0xFF0000);  // blue as 0x00BBGGRR
    EXPECT_EQ(item.GetFrame(0)->Surface->TransparentColor, int32_t(KeyPixel));
    EXPECT_EQ(item.GetFrame(2)->Surface->TransparentColor, -1);

    const TMiraItem& both = Acquire(&UserA, "anim.mra", true, true);
    EXPECT_EQ(both.Width, 4);
    EXPECT_EQ(both.GetFrame(1)->OffsetY, 1);
    EXPECT_EQ(both.GetFrame(1)->Surface->GetPixel(0, 0), PixelOf(1, 1, 1));
    EXPECT_EQ(both.GetFrame(2)->OffsetX, 0);
    EXPECT_EQ(Acquire(&UserA, "anim.mra", true).GetFrame(0)->Mask->GetPixel(0, 1), 0u);

    // A missing file: one invisible frame, no decode.
    const TMiraItem& gone = Acquire(&UserA, "gone.mra");
    ASSERT_EQ(gone.GetFrameCount(), 1);
    auto canvas = Canvas(8, 8, 0x123456);
    gone.GetFrame(0)->Draw(*canvas, 0, 0, {0, 0, 8, 8}, false, false, 255);
    gone.GetFrame(0)->Draw(*canvas, 0, 0, {0, 0, 8, 8}, false, false, 300);
    EXPECT_EQ(canvas->GetPixel(7, 7), 0x123456u);
    EXPECT_EQ(Cache.Source->Decodes, 3);
}

TEST_F(MiraCache, PurgeDropsOnlySpareEntries) {
    Acquire(&UserA, "anim.mra");
    TMiraItem& spare = Acquire(&UserA, "anim.mra", true, true);
    MiraMan->Purge("ANIM.mra");
    EXPECT_EQ(MiraMan->Count(), 2);
    spare.Users.clear();
    MiraMan->Spare.insert(&spare);
    MiraMan->Purge("Anim.mra");
    EXPECT_EQ(MiraMan->Count(), 1);
    EXPECT_TRUE(MiraMan->Spare.empty());
}

TEST_F(MiraCache, ModeChangesAndDeviceLossDecodeAgain) {
    TMiraItem& anim = Acquire(&UserA, "anim.mra");
    Acquire(&UserA, "still.png");
    MiraMan->SetMode(0);
    MiraMan->SetMode(1);
    EXPECT_EQ(Cache.Source->Decodes, 4);

    const TCustomDIBX* lost = anim.GetFrame(2)->Surface.get();
    for (int i = 0; i < 3; ++i) anim.GetFrame(i)->Surface->Fill(0);
    MiraMan->FreeSurfaces();
    MiraMan->Reload(true);
    EXPECT_NE(anim.GetFrame(2)->Surface.get(), lost);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(anim.GetFrame(i)->Surface->GetPixel(2, 2), PixelOf(i, 2, 2));

    // A file with fewer frames reloads only those it has.
    Cache.Source->Files["anim.mra"].resize(1);
    anim.GetFrame(2)->Surface->Fill(0);
    MiraMan->Reload(true);
    EXPECT_EQ(anim.GetFrame(2)->Surface->GetPixel(2, 2), 0u);
}

// Every pixel inside DestRect shows the tile pixel its (mirrored) distance from the rectangle's
// corner plus the offset falls on, for offsets of any size and sign.
TEST_F(MiraCache, DrawTiledRepeatsTheTileFromAnyOffset) {
    const TMiraItemFrame& frame = *Acquire(&UserA, "still.png").GetFrame(0);
    const int64_t w = 3, h = 2;  // the tile {1, 1, 4, 3} of the 5 x 4 picture
    for (const TRect& rect : {TRect{2, 1, 12, 8}, TRect{-5, -3, 9, 20}})
        for (int32_t offset : {0, 3, -1, -4, INT_MIN})
            for (int mirror = 0; mirror < 4; ++mirror) {
                const bool mx = mirror & 1, my = mirror & 2;
                auto canvas = Canvas(10, 10, 0xABCDEF);
                frame.DrawTiled(*canvas, rect, {1, 1, 4, 3}, offset, offset - 1, mx, my, 255);
                for (int32_t y = 0; y < 10; ++y)
                    for (int32_t x = 0; x < 10; ++x) {
                        const bool inside = x >= rect.Left && x < rect.Right && y >= rect.Top && y < rect.Bottom;
                        const int64_t u = mx ? rect.Right - 1 - x : x - rect.Left;
                        const int64_t v = my ? rect.Bottom - 1 - y : y - rect.Top;
                        const int64_t col = ((offset + u) % w + w) % w, row = ((offset - 1LL + v) % h + h) % h;
                        ASSERT_EQ(canvas->GetPixel(x, y), inside ? PixelOf(0, 1 + col, 1 + row) : 0xABCDEF)
                            << x << "," << y << " offset " << offset << " mirror " << mirror;
                    }
            }
}

// The PNG reader's 8-bit fixtures read through the file manager: each frame's colours with its
// mask (or colour key) are the pixels libpng decodes.
TEST(MiraCachePng, ServesPngPicturesAsLibpngDecodesThem) {
    const std::string host = FreshHostFolder();
    CreateScriptServices();
    TVrFileManager files;
    VrFileManager = &files;
    struct TEnd {
        ~TEnd() { VrFileManager = nullptr, FreeScriptServices(); }
    } end;
    files.SetBaseFolder(platform::fs::ToProgramPath(host));
    TMiraCollection cache;
    int checked = 0;
    for (const std::string& line : Lines(PythonOutput("make_png_fixtures.py", {"make", host}))) {
        const std::string name = line.substr(0, line.find(' '));
        if (line.find(" decode ") == std::string::npos || name.find("d8") == std::string::npos) continue;
        TMemoryStream data;
        files.ReadFile(data, name);
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        ASSERT_TRUE(png_image_begin_read_from_memory(&image, data.Memory(), size_t(data.Size()))) << name;
        image.format = PNG_FORMAT_BGRA;
        std::vector<uint32_t> expected(image.width * image.height), ours;
        ASSERT_TRUE(png_image_finish_read(&image, nullptr, expected.data(), 0, nullptr)) << name;
        for (uint32_t& pixel : expected) pixel = pixel >> 24 ? pixel : 0;

        const TMiraItemFrame& frame = *cache.Acquire(&checked, name, false, false).GetFrame(0);
        for (int32_t y = 0; y < frame.Surface->GetHeight(); ++y)
            for (int32_t x = 0; x < frame.Surface->GetWidth(); ++x) {
                const uint32_t pixel = frame.Surface->GetPixel(x, y);
                const uint32_t alpha = frame.Mask ? frame.Mask->GetPixel(x, y)
                                       : int32_t(pixel) == frame.Surface->TransparentColor ? 0 : 255;
                ours.push_back(alpha ? alpha << 24 | pixel : 0);
            }
        EXPECT_EQ(ours, expected) << name;
        ++checked;
    }
    EXPECT_GE(checked, 10);
}
