// Pictures packed beside the pages: an image or a button takes a Mira picture (one converted
// from a PNG by the picture tool shows the PNG's pixels) and shows nothing of a PNG, size 0 x 0;
// message text shows PNG (in colour and with alpha), BMP and DIB pictures inline.
#include "objects/vitemex_image.h"
#include "objects/vitems.h"
#include "script/services_objects.h"
#include "tests/script/scene_fixture.h"
#include "text/fontpixels.h"

#include <png.h>

#include <fstream>
#include <sstream>

using namespace pagetest;

namespace {

constexpr int32_t PicW = 4, PicH = 3;

// Pixel (x, y) of picture Kind, 0x00RRGGBB; with alpha, column 0 is transparent.
uint32_t PicturePixel(int Kind, int32_t X, int32_t Y) {
    return uint32_t(40 + 50 * X) << 16 | uint32_t(30 + 60 * Y) << 8 | uint32_t(200 - 40 * Kind);
}

std::string PngFile(int Kind, bool Alpha) {
    std::vector<uint8_t> rows;
    for (int32_t y = 0; y < PicH; ++y)
        for (int32_t x = 0; x < PicW; ++x) {
            const uint32_t p = PicturePixel(Kind, x, y);
            rows.insert(rows.end(), {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p)});
            if (Alpha) rows.push_back(x == 0 ? 0 : 255);
        }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = PicW;
    image.height = PicH;
    image.format = Alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    png_alloc_size_t size = 0;
    EXPECT_TRUE(png_image_write_to_memory(&image, nullptr, &size, 0, rows.data(), 0, nullptr));
    std::string bytes(size, '\0');
    EXPECT_TRUE(png_image_write_to_memory(&image, bytes.data(), &size, 0, rows.data(), 0, nullptr));
    return bytes;
}

// A 24-bit BMP, rows bottom up, each padded to 4 bytes.
std::string BmpFile(int Kind) {
    const uint32_t stride = (3 * PicW + 3) & ~3u, data = stride * PicH;
    std::string bytes = "BM" + U32(54 + data) + U32(0) + U32(54) + U32(40) + U32(PicW) + U32(PicH) + '\1' + '\0' + '\x18' +
                        '\0' + U32(0) + U32(data) + U32(0) + U32(0) + U32(0) + U32(0);
    for (int32_t y = PicH - 1; y >= 0; --y) {
        for (int32_t x = 0; x < PicW; ++x) {
            const uint32_t p = PicturePixel(Kind, x, y);
            bytes += {char(p), char(p >> 8), char(p >> 16)};
        }
        bytes.append(stride - 3 * PicW, '\0');
    }
    return bytes;
}

class PictureFiles : public TextSceneTest {
protected:
    // The places of the screen where picture Kind shows whole, its transparent pixels showing the
    // screen's top right pixel, where nothing is drawn.
    static std::vector<TPoint> Shown(int Kind, bool Alpha) {
        TCustomDIBX& screen = *Bases->GetSurface();
        const uint32_t behind = screen.GetPixel(screen.GetWidth() - 1, 0) & 0xFFFFFF;
        std::vector<TPoint> found;
        for (int32_t top = 0; top + PicH <= screen.GetHeight(); ++top)
            for (int32_t left = 0; left + PicW <= screen.GetWidth(); ++left) {
                bool whole = true;
                for (int32_t y = 0; y < PicH && whole; ++y)
                    for (int32_t x = 0; x < PicW && whole; ++x)
                        whole = (screen.GetPixel(left + x, top + y) & 0xFFFFFF) ==
                                (Alpha && x == 0 ? behind : PicturePixel(Kind, x, y));
                if (whole) found.push_back({left, top});
            }
        return found;
    }
};

// The PNG picture 0 made a Mira file by the picture tool.
std::string MiraFile() {
    const std::string folder = FreshHostFolder();
    std::ofstream(folder + "pic.png", std::ios::binary) << PngFile(0, false);
    const ProgramRun run = RunProgram(VELA_VIMAGE, {"convert", folder + "pic.png", folder + "pic.mra"});
    EXPECT_EQ(run.status, 0) << run.err;
    std::ostringstream bytes;
    bytes << std::ifstream(folder + "pic.mra", std::ios::binary).rdbuf();
    return bytes.str();
}

// An image and a button of the PNG at (2, 2) and (2, 10) draw nothing; an image of the Mira
// file shows at (40, 2), and each picture k shows inline in a message window below them.
TEST_F(PictureFiles, ObjectsShowMiraPicturesOnlyAndTextShowsEachKind) {
    const std::string names[] = {"rgb.png", "rgba.png", "pic.bmp", "pic.dib"};
    AddFile(names[0], PngFile(0, false));
    AddFile(names[1], PngFile(1, true));
    AddFile(names[2], BmpFile(2));
    AddFile(names[3], BmpFile(3));
    AddFile("rgb.mra", MiraFile());
    std::string text;
    for (const std::string& name : names) text += "<IMG SRC=" + name + ">";
    AddPage("p.vsb", R"([
        {"cmd": "ImgNew", "props": {"NAME": "\"i\"", "SOURCE": "\"rgb.png\"", "LEFT": "2", "TOP": "2"}},
        {"cmd": "Button", "props": {"NAME": "\"b\"", "SOURCE": "\"rgb.png\"", "LEFT": "2", "TOP": "10"}},
        {"cmd": "ImgNew", "props": {"NAME": "\"m\"", "SOURCE": "\"rgb.mra\"", "LEFT": "40", "TOP": "2"}},
        {"cmd": "MesNew", "props": {"NAME": "\"w\"", "LEFT": "0", "TOP": "20", "WIDTH": "64", "HEIGHT": "28",
                                    "FONTHEIGHT": "10", "TEXTDELAY": "0"}},
        {"cmd": "TextIns", "window": "\"w\"", "text": ")" + text + R"("}])");
    runner.Start("p.vsb");
    Ticks(1);
    ASSERT_FALSE(Terminating());
    for (int i = 0; i < 10; ++i) Bases->Step();
    Bases->Prepare();
    for (const char* name : {"i", "b"}) {
        SCOPED_TRACE(name);
        auto* object = dynamic_cast<TVelaCustomImage*>(Bases->FindObject(name));
        ASSERT_NE(object, nullptr);
        EXPECT_EQ(object->GetWidth(), 0);
        EXPECT_EQ(object->GetHeight(), 0);
    }
    TCustomDIBX& screen = *Bases->GetSurface();
    const uint32_t behind = screen.GetPixel(screen.GetWidth() - 1, 0) & 0xFFFFFF;
    for (int32_t y = 0; y < 20; ++y)
        for (int32_t x = 0; x < 30; ++x) ASSERT_EQ(screen.GetPixel(x, y) & 0xFFFFFF, behind) << x << "," << y;
    for (int k = 0; k < 4; ++k) {
        SCOPED_TRACE(names[k]);
        const std::vector<TPoint> shown = Shown(k, k == 1);
        ASSERT_EQ(shown.size(), k == 0 ? 2u : 1u);
        if (k == 0) {
            EXPECT_EQ(shown[0], (TPoint{40, 2}));
        }
        EXPECT_GE(shown.back().Y, 20);
    }
}

}  // namespace
