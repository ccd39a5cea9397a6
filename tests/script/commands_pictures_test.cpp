// Pictures of every file kind the image cache reads (PNG in colour and with alpha, BMP, DIB),
// packed beside the pages and shown by ImgNew, by a button and inline in message text: the
// screen shows the pixels libpng wrote, or the BMP's own.
#include "objects/vitems.h"
#include "script/services_objects.h"
#include "tests/script/page_fixture.h"
#include "text/fontpixels.h"

#include <png.h>

using namespace pagetest;

namespace {

constexpr int32_t W = 4, H = 3;

// Pixel (x, y) of picture Kind, 0x00RRGGBB; with alpha, column 0 is transparent.
uint32_t PicturePixel(int Kind, int32_t X, int32_t Y) {
    return uint32_t(40 + 50 * X) << 16 | uint32_t(30 + 60 * Y) << 8 | uint32_t(200 - 40 * Kind);
}

std::string PngFile(int Kind, bool Alpha) {
    std::vector<uint8_t> rows;
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x) {
            const uint32_t p = PicturePixel(Kind, x, y);
            rows.insert(rows.end(), {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p)});
            if (Alpha) rows.push_back(x == 0 ? 0 : 255);
        }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = W;
    image.height = H;
    image.format = Alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    png_alloc_size_t size = 0;
    EXPECT_TRUE(png_image_write_to_memory(&image, nullptr, &size, 0, rows.data(), 0, nullptr));
    std::string bytes(size, '\0');
    EXPECT_TRUE(png_image_write_to_memory(&image, bytes.data(), &size, 0, rows.data(), 0, nullptr));
    return bytes;
}

// A 24-bit BMP, rows bottom up, each padded to 4 bytes.
std::string BmpFile(int Kind) {
    const uint32_t stride = (3 * W + 3) & ~3u, data = stride * H;
    std::string bytes = "BM" + U32(54 + data) + U32(0) + U32(54) + U32(40) + U32(W) + U32(H) + '\1' + '\0' + '\x18' +
                        '\0' + U32(0) + U32(data) + U32(0) + U32(0) + U32(0) + U32(0);
    for (int32_t y = H - 1; y >= 0; --y) {
        for (int32_t x = 0; x < W; ++x) {
            const uint32_t p = PicturePixel(Kind, x, y);
            bytes += {char(p), char(p >> 8), char(p >> 16)};
        }
        bytes.append(stride - 3 * W, '\0');
    }
    return bytes;
}

class PictureFiles : public CommandTest {
protected:
    void SetUp() override {
        CommandTest::SetUp();
        VelaInitialize();
        Bases->SetWidth(64);
        Bases->SetHeight(48);
        SetScriptObjects(std::make_unique<TSceneObjects>());
        FontPixelManager = new TFontPixelManager(platform::CreateFakeFontService);
    }
    void TearDown() override {
        delete FontPixelManager;
        FontPixelManager = nullptr;
        VelaFinalize();
        CommandTest::TearDown();
    }
    // The places of the screen where picture Kind shows whole, its transparent pixels showing the
    // screen's top right pixel, where nothing is drawn.
    static std::vector<TPoint> Shown(int Kind, bool Alpha) {
        TCustomDIBX& screen = *Bases->GetSurface();
        const uint32_t behind = screen.GetPixel(screen.GetWidth() - 1, 0) & 0xFFFFFF;
        std::vector<TPoint> found;
        for (int32_t top = 0; top + H <= screen.GetHeight(); ++top)
            for (int32_t left = 0; left + W <= screen.GetWidth(); ++left) {
                bool whole = true;
                for (int32_t y = 0; y < H && whole; ++y)
                    for (int32_t x = 0; x < W && whole; ++x)
                        whole = (screen.GetPixel(left + x, top + y) & 0xFFFFFF) ==
                                (Alpha && x == 0 ? behind : PicturePixel(Kind, x, y));
                if (whole) found.push_back({left, top});
            }
        return found;
    }
};

// Each picture k is shown by an image at (2 + 12k, 2), a button at (2 + 12k, 10) and inline in
// a message window below them.
TEST_F(PictureFiles, EachKindShowsThroughImagesButtonsAndText) {
    const std::string names[] = {"rgb.png", "rgba.png", "pic.bmp", "pic.dib"};
    AddFile(names[0], PngFile(0, false));
    AddFile(names[1], PngFile(1, true));
    AddFile(names[2], BmpFile(2));
    AddFile(names[3], BmpFile(3));
    std::string commands, text;
    for (int k = 0; k < 4; ++k) {
        const std::string source = R"(\")" + names[k] + R"(\")", left = std::to_string(2 + 12 * k);
        const std::string image = R"(\"i)" + std::to_string(k) + R"(\")", button = R"(\"b)" + std::to_string(k) + R"(\")";
        commands += R"({"cmd": "ImgNew", "props": {"NAME": ")" + image + R"(", "SOURCE": ")" + source + R"(", "LEFT": ")" +
                    left + R"(", "TOP": "2"}},
                       {"cmd": "Button", "props": {"NAME": ")" + button + R"(", "SOURCE": ")" + source + R"(", "LEFT": ")" +
                    left + R"(", "TOP": "10"}},)";
        text += "<IMG SRC=" + names[k] + ">";
    }
    AddPage("p.vsb", "[" + commands + R"(
        {"cmd": "MesNew", "props": {"NAME": "\"m\"", "LEFT": "0", "TOP": "20", "WIDTH": "64", "HEIGHT": "28",
                                    "FONTHEIGHT": "10", "TEXTDELAY": "0"}},
        {"cmd": "TextIns", "window": "\"m\"", "text": ")" + text + R"("}])");
    runner.Start("p.vsb");
    Ticks(1);
    ASSERT_FALSE(Terminating());
    for (int i = 0; i < 10; ++i) Bases->Step();
    Bases->Prepare();
    for (int k = 0; k < 4; ++k) {
        SCOPED_TRACE(names[k]);
        const std::vector<TPoint> shown = Shown(k, k == 1);
        ASSERT_EQ(shown.size(), 3u);
        EXPECT_EQ(shown[0], (TPoint{2 + 12 * k, 2}));
        EXPECT_EQ(shown[1], (TPoint{2 + 12 * k, 10}));
        EXPECT_GE(shown[2].Y, 20);
    }
}

}  // namespace
