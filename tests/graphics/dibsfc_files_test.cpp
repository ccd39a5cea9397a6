#include "graphics/cursorfile.h"
#include "graphics/dibsfc.h"

#include "platform/fs.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

namespace {

const std::string kTgaIconScript = "make_tga_icon_fixtures.py";

std::string Hex(uint32_t V, int Digits) {
    char s[9];
    std::snprintf(s, sizeof s, "%0*x", Digits, V);
    return s;
}

// "rrggbbaa" per pixel as the fixture script prints them; without an opacity plane an icon's
// magenta pixels are the transparent ones. Opaque: every pixel as opaque.
std::string Rgba(const TDIBSurface& S, bool Keyed, bool Opaque = false) {
    std::string out;
    for (int32_t y = 0; y < S.Height(); ++y)
        for (int32_t x = 0; x < S.Width(); ++x) {
            const uint32_t p = S.GetPixel(x, y);
            const uint32_t rgb = S.BitCount() <= 8 ? S.ImageColorTable()[p] : p & 0xFFFFFF;
            uint32_t a = S.BitCount() == 32 ? p >> 24 : 255;
            if (S.Alpha) a = S.Alpha->GetPixel(x, y);
            if (Keyed && !S.Alpha && rgb == uint32_t(kIconKey)) a = 0;
            if (Opaque) a = 255;
            out += a ? Hex(rgb << 8 | a, 8) : "00000000";
        }
    return out;
}

std::string Words(const TDIBSurface& S) {
    std::string out;
    for (int32_t y = 0; y < S.Height(); ++y)
        for (int32_t x = 0; x < S.Width(); ++x) out += Hex(S.GetPixel(x, y), 4);
    return out;
}

bool IsIcon(const std::string& Name) { return !Name.ends_with(".tga"); }

class ImageFiles : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Host_ = FreshHostFolder();
        Folder_ = platform::fs::ToProgramPath(Host_);
        Lines_ = Lines(PythonOutput(kTgaIconScript, {"make", Host_}));
    }
    static std::string Host_, Folder_;
    static std::vector<std::string> Lines_;
};
std::string ImageFiles::Host_, ImageFiles::Folder_;
std::vector<std::string> ImageFiles::Lines_;

}  // namespace

TEST_F(ImageFiles, LoadAsTheirPicturesAndRefusedOnesLeaveTheSurfaceEmpty) {
    ASSERT_EQ(Lines_.size(), 40u);
    for (const std::string& line : Lines_) {
        std::istringstream fields(line);
        std::string name, kind, pixels;
        int w = 0, h = 0;
        fields >> name >> kind >> w >> h >> pixels;
        TDIBSurface s;
        s.SetSize(3, 3, 24);
        s.FillAlpha();
        if (kind == "refused") {
            EXPECT_THROW(s.LoadFromFile(Folder_ + name), EInvalidGraphic) << name;
            EXPECT_TRUE(s.Empty() && !s.Alpha) << name;
            continue;
        }
        s.LoadFromFile(Folder_ + name);
        if (kind == "empty") {
            EXPECT_TRUE(s.Empty()) << name;
            continue;
        }
        EXPECT_EQ(s.Width(), w) << name;
        EXPECT_EQ(s.Height(), h) << name;
        EXPECT_EQ(kind == "rgba" ? Rgba(s, IsIcon(name)) : Words(s), pixels) << name;
        EXPECT_EQ(s.GetBitCountEx(), kind == "words" ? 16 : kind == "indexwords" ? 15 : s.GetBitCountEx()) << name;
    }
}

TEST_F(ImageFiles, SavedTgaAndIconFilesReadBackInPillow) {
    // Extensions in any case; 16-bit images go by their words (Pillow widens 5-bit channels its
    // own way), the others by Pillow's reading of what we wrote.
    std::vector<std::string> args = {"pixels"}, expected;
    for (const std::string& line : Lines_) {
        std::istringstream fields(line);
        std::string name, kind;
        fields >> name >> kind;
        if (kind != "rgba" && kind != "words") continue;
        TDIBSurface s, back;
        s.LoadFromFile(Folder_ + name);
        const std::string stem = "out-" + name.substr(0, name.find('.'));
        s.SaveToFile(Folder_ + stem + ".TGA");
        if (kind == "words") {
            back.LoadFromFile(Folder_ + stem + ".tga");
            EXPECT_EQ(Words(back), Words(s)) << name;
            continue;
        }
        // Opacity planes are not saved, and an icon file keeps no fourth byte.
        const std::string size = std::to_string(s.Width()) + " " + std::to_string(s.Height()) + " ";
        s.SaveToFile(Folder_ + stem + ".Ico");
        for (const char* ext : {".TGA", ".Ico"}) {
            args.push_back(Host_ + stem + ext);
            expected.push_back(size + Rgba(s, false, ext[1] == 'I' || s.BitCount() != 32));
        }
    }
    const std::vector<std::string> read = Lines(PythonOutput(kTgaIconScript, args));
    ASSERT_EQ(read.size(), expected.size());
    for (size_t i = 0; i < read.size(); ++i) EXPECT_EQ(read[i], expected[i]) << args[i + 1];
}

TEST_F(ImageFiles, FourBitsSaveAsAnEightBitMapAndCursorsKeepTheirHotSpot) {
    TDIBSurface s;
    s.LoadFromFile(Folder_ + "four.cur");
    ASSERT_EQ(s.BitCount(), 4);
    TMemoryStream tga, cur;
    s.SaveTGA(tga);
    const std::string t = Bytes(tga);
    EXPECT_EQ(ToHex(t.substr(0, 18)), "000101000000011800000000070005000820");
    EXPECT_EQ(t.size(), 18 + 256 * 3 + 7 * 5 + 26u);
    s.SaveIcon(cur, true, 4, 2);
    EXPECT_EQ(ToHex(Bytes(cur).substr(0, 14)), "00000200010007051000" "04000200");
}

TEST(ImageFilesOfOtherWriters, LoadAsPillowDecodesThem) {
    // TGAs by ImageMagick, icons by ImageMagick and netpbm: tests/tools/make_tool_tga_icons.py.
    const std::string folder = std::string(VELA_TEST_DATA) + "/tga_icon/";
    const std::vector<std::string> names = {
        "grey.tga",    "grey-rle-top.tga", "map-top.tga", "map-rle.tga",  "rgb.tga",      "rgb-rle-top.tga",
        "rgba-top.tga", "rgba-rle.tga",    "im-mono.ico", "im-four.ico",  "im-map.ico",   "im-rgba.ico",
        "pbm-mono.ico", "pbm-four.ico",    "pbm-map.ico"};
    std::vector<std::string> args = {"pixels"};
    for (const std::string& name : names) args.push_back(folder + name);
    const std::vector<std::string> pillow = Lines(PythonOutput(kTgaIconScript, args));
    ASSERT_EQ(pillow.size(), names.size());
    for (size_t i = 0; i < names.size(); ++i) {
        TDIBSurface s;
        s.LoadFromFile(platform::fs::ToProgramPath(folder + names[i]));
        const std::string size = std::to_string(s.Width()) + " " + std::to_string(s.Height()) + " ";
        EXPECT_EQ(size + Rgba(s, IsIcon(names[i])), pillow[i]) << names[i];
        if (!names[i].ends_with("rgba.ico")) continue;
        // The cursor reader takes a 32-bit image's opacity the same way.
        TFileStream file(platform::fs::ToProgramPath(folder + names[i]), fmOpenRead);
        std::string pixels;
        for (const uint32_t p : ReadCursorFile(file).Pixels) pixels += p >> 24 ? Hex(p << 8 | p >> 24, 8) : "00000000";
        EXPECT_EQ(size + pixels, pillow[i]) << names[i];
    }
}
