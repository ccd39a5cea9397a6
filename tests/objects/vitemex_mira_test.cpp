#include "objects/vitemex_mira.h"

#include "core/streams.h"
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
    static bool SamePixels(TCustomDIBX& A, TCustomDIBX& B) {
        if (A.GetWidth() != B.GetWidth() || A.GetHeight() != B.GetHeight()) return false;
        for (int32_t y = 0; y < A.GetHeight(); ++y)
            for (int32_t x = 0; x < A.GetWidth(); ++x)
                if (A.GetPixel(x, y) != B.GetPixel(x, y)) return false;
        return true;
    }

    TPictureCache Cache;
    int UserA = 0, UserB = 0;
};

}  // namespace

TEST_F(MiraCache, DecodesOncePerKeyAndFreesWithTheLastUser) {
    TMiraItem& item = Acquire(&UserA, "Anim.mra");
    EXPECT_EQ(&Acquire(&UserB, "ANIM.MRA"), &item);
    EXPECT_EQ(&Acquire(&UserA, "anim.mra"), &item);
    EXPECT_EQ(item.Users.size(), 2u);
    EXPECT_EQ(Cache.Source->Decodes, 1);

    EXPECT_EQ(Acquire(&UserA, "Anim.mra", true).Name(), "Anim.mra?m");
    EXPECT_EQ(Acquire(&UserA, "Anim.mra", false, true).Name(), "Anim.mra?t");
    EXPECT_EQ(Acquire(&UserA, "Anim.mra", true, true).Name(), "Anim.mra?m?t");
    EXPECT_EQ(MiraMan->Count(), 4);
    EXPECT_EQ(Cache.Source->Decodes, 4);

    // One user that acquired twice leaves with one release; a stranger's release does nothing.
    item.Release(&UserA);
    item.Release(&UserA);
    ASSERT_EQ(MiraMan->IndexOf("anim.mra"), 0);
    item.Release(&UserB);
    EXPECT_EQ(MiraMan->IndexOf("anim.mra"), -1);
    Acquire(&UserA, "anim.mra");
    EXPECT_EQ(Cache.Source->Decodes, 5);
}

TEST_F(MiraCache, FramesKeepDelaysKeysAndTheVariantsTheirMasksAndOffsets) {
    TMiraItem& item = Acquire(&UserA, "anim.mra");
    ASSERT_EQ(item.GetFrameCount(), 3);
    EXPECT_EQ(item.GetFrame(0)->Delay, 1);
    EXPECT_EQ(item.Duration, 151);
    EXPECT_EQ(item.Width, 4);
    EXPECT_EQ(item.Height, 3);
    const TMiraItemFrame& keyed = *item.GetFrame(0);
    EXPECT_EQ(keyed.TransColor, 0xFF0000);  // blue as 0x00BBGGRR
    EXPECT_EQ(keyed.Surface->TransparentColor, int32_t(KeyPixel));
    EXPECT_EQ(keyed.Surface->GetPixel(2, 1), PixelOf(0, 2, 1));
    EXPECT_EQ(keyed.Mask, nullptr);
    EXPECT_EQ(item.GetFrame(2)->Surface->TransparentColor, -1);

    const TMiraItem& masked = Acquire(&UserA, "anim.mra", true);
    EXPECT_EQ(masked.GetFrame(0)->Mask->GetPixel(0, 1), 0u);
    EXPECT_EQ(masked.GetFrame(0)->Mask->GetPixel(1, 1), 255u);
    EXPECT_EQ(masked.GetFrame(2)->Mask->GetPixel(0, 0), 255u);

    const TMiraItem& trimmed = Acquire(&UserA, "anim.mra", false, true);
    EXPECT_EQ(trimmed.Width, 4);
    EXPECT_EQ(trimmed.GetFrame(1)->OffsetX, 1);
    EXPECT_EQ(trimmed.GetFrame(1)->OffsetY, 1);
    EXPECT_EQ(trimmed.GetFrame(1)->Surface->GetWidth(), 3);
    EXPECT_EQ(trimmed.GetFrame(1)->Surface->GetPixel(0, 0), PixelOf(1, 1, 1));
    EXPECT_EQ(trimmed.GetFrame(2)->OffsetX, 0);
    const TMiraItem& both = Acquire(&UserA, "anim.mra", true, true);
    EXPECT_EQ(both.GetFrame(1)->OffsetY, 1);
    EXPECT_EQ(both.GetFrame(1)->Mask->GetWidth(), 3);
}

TEST_F(MiraCache, AMissingFileGivesOneInvisibleFrame) {
    TMiraItem& item = Acquire(&UserA, "gone.mra");
    EXPECT_EQ(Cache.Source->Decodes, 0);
    ASSERT_EQ(item.GetFrameCount(), 1);
    const TMiraItemFrame& frame = *item.GetFrame(0);
    EXPECT_EQ(frame.Surface->GetWidth(), 8);
    EXPECT_EQ(frame.Delay, 0);
    EXPECT_EQ(item.Duration, 0);
    auto canvas = Canvas(8, 8, 0x123456), blank = Canvas(8, 8, 0x123456);
    for (int32_t alpha : {128, 255, 300}) frame.Draw(*canvas, 0, 0, {0, 0, 8, 8}, false, false, alpha);
    EXPECT_TRUE(SamePixels(*canvas, *blank));
    EXPECT_NE(Acquire(&UserA, "gone.mra", true).GetFrame(0)->Mask, nullptr);
}

TEST_F(MiraCache, PurgeDropsOnlyEntriesWithoutUsers) {
    Acquire(&UserA, "anim.mra");
    TMiraItem& spare = Acquire(&UserA, "anim.mra", true, true);
    MiraMan->Purge("ANIM.mra");
    EXPECT_EQ(MiraMan->Count(), 2);
    spare.Users.clear();
    MiraMan->Spare.push_back(&spare);
    MiraMan->Purge("still.png");
    EXPECT_EQ(MiraMan->Count(), 2);
    MiraMan->Purge("Anim.mra");
    EXPECT_EQ(MiraMan->Count(), 1);
    EXPECT_TRUE(MiraMan->Spare.empty());
}

TEST_F(MiraCache, ModeChangesAndDeviceLossDecodeAgain) {
    TMiraItem& anim = Acquire(&UserA, "anim.mra");
    Acquire(&UserA, "still.png");
    MiraMan->SetMode(0);
    EXPECT_EQ(Cache.Source->Decodes, 2);
    MiraMan->SetMode(1);
    EXPECT_EQ(Cache.Source->Decodes, 4);
    EXPECT_EQ(anim.GetFrame(0)->Surface->GetPixel(1, 1), PixelOf(0, 1, 1));

    // The surfaces come back new with their pixels; delays stay.
    std::vector<TCustomDIBX*> lost;
    for (int i = 0; i < 3; ++i) {
        lost.push_back(anim.GetFrame(i)->Surface.get());
        anim.GetFrame(i)->Surface->Fill(0);
    }
    MiraMan->FreeSurfaces();
    MiraMan->Reload(true);
    for (int i = 0; i < 3; ++i) {
        EXPECT_NE(anim.GetFrame(i)->Surface.get(), lost[size_t(i)]);
        EXPECT_EQ(anim.GetFrame(i)->Surface->GetPixel(2, 2), PixelOf(i, 2, 2));
    }
    EXPECT_EQ(anim.GetFrame(0)->Delay, 1);

    // A file with fewer frames reloads only those; a file gone keeps them all.
    Cache.Source->Files["anim.mra"].resize(1);
    anim.GetFrame(2)->Surface->Fill(0);
    MiraMan->Reload(true);
    EXPECT_EQ(anim.GetFrame(2)->Surface->GetPixel(2, 2), 0u);
    Cache.Source->Files.erase("anim.mra");
    MiraMan->Reload(true);
    EXPECT_EQ(anim.GetFrameCount(), 3);
}

TEST_F(MiraCache, TheModeByteIsReadFromVersion101) {
    MiraMan->SetMode(1);
    TMemoryStream stream;
    MiraMan->SaveToStream(stream);
    EXPECT_EQ(Bytes(stream), std::string(1, '\1'));
    MiraMan->ImageMode = 0;
    stream.SetPosition(0);
    MiraMan->LoadFromStream(stream, 100);
    EXPECT_EQ(MiraMan->ImageMode, 0);
    MiraMan->LoadFromStream(stream, 101);
    EXPECT_EQ(MiraMan->ImageMode, 1);
}

// Every destination pixel inside DestRect shows the tile pixel its (mirrored) distance from the
// rectangle's corner plus the offset falls on, for offsets of any size and sign.
TEST_F(MiraCache, DrawTiledRepeatsTheTileFromAnyOffset) {
    const TMiraItemFrame& frame = *Acquire(&UserA, "still.png").GetFrame(0);
    const TRect tile{1, 1, 4, 3};  // 3 x 2 inside the 5 x 4 picture
    const int64_t w = 3, h = 2;
    const std::vector<TRect> rects = {{2, 1, 12, 8}, {-5, -3, 9, 20}};
    for (const TRect& rect : rects)
        for (int32_t offset : {0, 3, -1, -4, 7, INT_MIN})
            for (int mirror = 0; mirror < 4; ++mirror) {
                const bool mx = mirror & 1, my = mirror & 2;
                SCOPED_TRACE(testing::Message() << rect.Left << " offset " << offset << " mirror " << mirror);
                auto canvas = Canvas(10, 10, 0xABCDEF);
                frame.DrawTiled(*canvas, rect, tile, offset, offset - 1, mx, my, 255);
                for (int32_t y = 0; y < 10; ++y)
                    for (int32_t x = 0; x < 10; ++x) {
                        uint32_t expected = 0xABCDEF;
                        if (x >= rect.Left && x < rect.Right && y >= rect.Top && y < rect.Bottom) {
                            const int64_t u = mx ? rect.Right - 1 - x : x - rect.Left;
                            const int64_t v = my ? rect.Bottom - 1 - y : y - rect.Top;
                            const int64_t col = ((offset + u) % w + w) % w, row = ((offset - 1LL + v) % h + h) % h;
                            expected = PixelOf(0, int32_t(1 + col), int32_t(1 + row));
                        }
                        ASSERT_EQ(canvas->GetPixel(x, y), expected) << x << "," << y;
                    }
            }
}

// The PNG files of the reader's fixtures, read through the file manager: each frame's colours and
// mask (or colour key) give the pixels libpng decodes.
TEST(MiraCachePng, ServesPngPicturesAsLibpngDecodesThem) {
    const std::string host = FreshHostFolder();
    std::vector<std::string> names;
    for (const std::string& line : Lines(PythonOutput("make_png_fixtures.py", {"make", host}))) {
        const std::string name = line.substr(0, line.find(' '));
        if (line.find(" decode ") != std::string::npos && name.find("d8") != std::string::npos) names.push_back(name);
    }
    ASSERT_GE(names.size(), 10u);
    CreateScriptServices();
    TVrFileManager files;
    VrFileManager = &files;
    struct TServicesEnd {
        ~TServicesEnd() {
            VrFileManager = nullptr;
            FreeScriptServices();
        }
    } servicesEnd;
    files.SetBaseFolder(platform::fs::ToProgramPath(host));
    TMiraCollection cache;
    int user = 0;
    for (const std::string& name : names) {
        TMemoryStream data;
        data.LoadFromFile(platform::fs::ToProgramPath(host) + name);
        const std::string png = Bytes(data);
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        ASSERT_TRUE(png_image_begin_read_from_memory(&image, png.data(), png.size())) << name;
        image.format = PNG_FORMAT_BGRA;
        std::vector<uint32_t> expected(image.width * image.height);
        ASSERT_TRUE(png_image_finish_read(&image, nullptr, expected.data(), 0, nullptr)) << name;

        const TMiraItemFrame& frame = *cache.Acquire(&user, name, false, false).GetFrame(0);
        std::vector<uint32_t> ours;
        for (int32_t y = 0; y < frame.Surface->GetHeight(); ++y)
            for (int32_t x = 0; x < frame.Surface->GetWidth(); ++x) {
                const uint32_t pixel = frame.Surface->GetPixel(x, y);
                const uint32_t alpha = frame.Mask ? frame.Mask->GetPixel(x, y)
                                       : int32_t(pixel) == frame.Surface->TransparentColor ? 0 : 255;
                ours.push_back(alpha << 24 | (alpha ? pixel & 0xFFFFFF : 0));
            }
        for (uint32_t& pixel : expected)
            if (!(pixel >> 24)) pixel = 0;
        EXPECT_EQ(ours, expected) << name;
    }
}
