// The transition tool run as a program: the strip holds the frames side by side, from the old
// picture towards the new, and bad arguments end it with the usage text or a clear message.
#include "graphics/dibx.h"
#include "platform/fs.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

namespace {

ProgramRun Vwipe(const std::vector<std::string>& args) { return RunProgram(VELA_VWIPE, args); }

// A BMP of W x H in one colour (0x00BBGGRR).
std::string Picture(const std::string& Folder, const std::string& Name, int32_t Color, int32_t W = 20, int32_t H = 10) {
    TDIBX picture;
    picture.SetSize(W, H, 32);
    picture.FillRect(picture.GetBoundsRect(), picture.ColorToPixel(Color));
    picture.SaveToFile(platform::fs::ToProgramPath(Folder + Name));
    return Folder + Name;
}

TEST(Vwipe, TheStripRunsFromTheOldPictureTowardsTheNew) {
    const std::string folder = FreshHostFolder();
    const std::string red = Picture(folder, "red.bmp", 0x0000FF), blue = Picture(folder, "blue.bmp", 0xFF0000);
    for (const char* bits : {"32", "16"}) {
        SCOPED_TRACE(bits);
        const ProgramRun run = Vwipe({"1", red, blue, folder + "strip.bmp", "--frames", "4", "--bits", bits});
        ASSERT_EQ(run.status, 0) << run.err;
        TDIBX strip, old, next;
        strip.LoadFromBitmapFile(platform::fs::ToProgramPath(folder + "strip.bmp"));
        old.LoadFromBitmapFile(platform::fs::ToProgramPath(red));
        next.LoadFromBitmapFile(platform::fs::ToProgramPath(blue));
        ASSERT_EQ(strip.GetWidth(), 80);
        ASSERT_EQ(strip.GetHeight(), 10);
        EXPECT_EQ(strip.GetPixel(5, 5), old.GetPixel(5, 5));  // no time gone: the old picture
        const uint32_t middle = strip.GetPixel(45, 5);
        EXPECT_NE(middle, old.GetPixel(5, 5));
        EXPECT_NE(middle, next.GetPixel(5, 5));
    }
}

TEST(Vwipe, BadArgumentsAreRefused) {
    const std::string folder = FreshHostFolder();
    const std::string red = Picture(folder, "red.bmp", 0x0000FF), small = Picture(folder, "small.bmp", 0, 4, 4);
    EXPECT_EQ(Vwipe({"1", red, red}).status, 2);
    const ProgramRun type = Vwipe({"39", red, red, folder + "s.bmp"});
    EXPECT_EQ(type.status, 1);
    EXPECT_NE(type.err.find("TYPE must be a whole number from 1 to 38"), std::string::npos);
    EXPECT_NE(Vwipe({"1", red, small, folder + "s.bmp"}).err.find("must be the size of"), std::string::npos);
}

}  // namespace
