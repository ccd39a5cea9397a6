// The picture tool run as a program: every format it writes reads back to Pillow's pixels of the
// source, and refused files and bad arguments end it with the reader's error in UTF-8.
#include "core/sysutils.h"
#include "core/vrfiles.h"
#include "graphics/dibsfc.h"
#include "graphics/pngpics.h"
#include "platform/encoding.h"
#include "platform/fs.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace {

const std::string kRose = std::string(VELA_TEST_DATA) + "/reduce/rose.bmp";

ProgramRun Vimage(const std::vector<std::string>& args) { return RunProgram(VELA_VIMAGE, args); }

// "W H rrggbbaa..." of a PAM file, as the Pillow reference prints a picture's pixels.
std::string PamPixels(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string pam(std::istreambuf_iterator<char>(in), {});
    int width = 0, height = 0;
    EXPECT_EQ(std::sscanf(pam.c_str(), "P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 255\n", &width, &height), 2);
    const size_t body = pam.find("ENDHDR\n") + 7;
    EXPECT_EQ(pam.size() - body, size_t(width) * size_t(height) * 4) << path;
    std::string text = std::to_string(width) + " " + std::to_string(height) + " ";
    for (size_t i = body; i < pam.size(); ++i) text += Format("%02x", uint8_t(pam[i]));
    return text;
}

TEST(Vimage, EveryFormatItWritesReadsBackToThePixelsPillowReads) {
    const std::string folder = FreshHostFolder();
    const std::string pillow = Lines(PythonOutput("make_tga_icon_fixtures.py", {"pixels", kRose})).at(0);
    for (const std::string format : {".bmp", ".png", ".tga", ".ico", ".cur"}) {
        const std::string picture = folder + "rose" + format, pam = picture + ".pam";
        ASSERT_EQ(Vimage({"convert", kRose, picture}).status, 0) << format;
        ASSERT_EQ(Vimage({"convert", picture, pam}).status, 0) << format;
        EXPECT_EQ(PamPixels(pam), pillow) << format;
    }
}

// "W H rrggbbaa..." with every transparent pixel as 00000000, as the Pillow reference prints it.
std::string Normalised(const std::string& Pixels) {
    std::string text = Pixels.substr(0, Pixels.rfind(' ') + 1);
    for (size_t i = text.size(); i + 8 <= Pixels.size(); i += 8)
        text += Pixels.compare(i + 6, 2, "00") == 0 ? "00000000" : Pixels.substr(i, 8);
    return text;
}

TEST(Vimage, PngOpacityComesFromTheAlphaBitmapOrTheTransparentColour) {
    const std::string folder = FreshHostFolder();
    std::vector<std::string> files = {"pixels"};
    // The colour of pixel (1, 0) is transparent: as a palette index, a grey, a colour; or an alpha bitmap.
    for (const int32_t kind : {4, 8, 24, 0}) {
        TPngPicture png;
        TDIB& image = png.Image();
        image.SetSize(9, 5, kind ? kind : 24);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 9; ++x) image.SetPixel(x, y, uint32_t(x * 37 + y * 11) * 0x010203u % (1u << std::min(image.BitCount(), 24)));
        const TRGBQuad key = image.ValueColor(image.GetPixel(1, 0));
        png.Grey = kind == 8;
        png.SetTransparentColour(kind == 4 ? png::kPaletteIndexColor | int32_t(image.GetPixel(1, 0))
                                           : QuadRed(key) | QuadGreen(key) << 8 | QuadBlue(key) << 16);
        png.HasAlpha = kind == 0;
        png.AlphaBitmap().SetSize(9, 5, 8);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 9; ++x) png.AlphaBitmap().SetPixel(x, y, x + y == 0 ? 255 : uint32_t(x * 30 + y * 50) % 256);
        TMemoryStream out;
        png.SaveToStream(out);
        files.push_back(folder + std::to_string(kind) + ".png");
        out.SaveToFile(platform::fs::ToProgramPath(files.back()));
    }
    const std::vector<std::string> pillow = Lines(PythonOutput("make_tga_icon_fixtures.py", files));
    ASSERT_EQ(pillow.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        ASSERT_EQ(Vimage({"convert", files[i + 1], files[i + 1] + ".pam"}).status, 0) << files[i + 1];
        const std::string ours = Normalised(PamPixels(files[i + 1] + ".pam"));
        EXPECT_EQ(ours, pillow[i]) << files[i + 1];
        int transparent = 0;
        for (size_t at = ours.rfind(' ') + 1; at + 8 <= ours.size(); at += 8) transparent += ours.compare(at, 8, "00000000") == 0;
        EXPECT_GT(transparent, 0) << files[i + 1];
    }
}

// Every picture of the sample title becomes a PNG that pngcheck accepts and comes back as the
// same bitmap; the originals also with the writer's options, the greys also written as greys.
TEST(Vimage, SamplePicturesRoundTripThroughPng) {
    TVrFileCollection archive;
    archive.Open(platform::fs::ToProgramPath(VELA_SAMPLE_FOLDER "/game.dat"));
    const std::string folder = FreshHostFolder();
    int converted = 0;
    for (int i = 0; i < archive.Count() - 1; ++i) {
        const std::string name = archive.GetFile(i).Name();
        if (AnsiLowerCase(ExtractFileExt(name)) != ".bmp") continue;
        const std::string bmp = folder + name, png = bmp + ".png", back = png + ".bmp";
        TMemoryStream data;
        archive.ReadFile(data, name);
        data.SaveToFile(platform::fs::ToProgramPath(bmp));
        data.SetPosition(0);
        TDIB source;
        source.LoadFromStream(data);
        std::vector<std::vector<std::string>> options = {{}};
        if (name.find('_') == std::string::npos)
            options.insert(options.end(), {{"--filter", "0", "--level", "9"}, {"--interlace", "--filter", "5", "--idat", "300"}});
        if (name.ends_with("_grey.bmp")) options.push_back({"--grey"});
        for (const auto& extra : options) {
            SCOPED_TRACE(name + (extra.empty() ? "" : " " + extra[0]));
            std::vector<std::string> args = {"convert", bmp, png};
            args.insert(args.end(), extra.begin(), extra.end());
            ASSERT_EQ(Vimage(args).status, 0);
            const ProgramRun check = RunProgram("pngcheck", {"-q", png});
            EXPECT_EQ(check.status, 0) << check.out;
            ASSERT_EQ(Vimage({"convert", png, back}).status, 0);
            TMemoryStream file;
            file.LoadFromFile(platform::fs::ToProgramPath(back));
            TDIB result;
            result.LoadFromStream(file);
            ASSERT_EQ(result.BitCount(), source.BitCount());
            ASSERT_EQ(result.Width(), source.Width());
            ASSERT_EQ(result.Height(), source.Height());
            EXPECT_TRUE(std::equal(result.ImageColorTable().begin(), result.ImageColorTable().begin() + result.PaletteCount(),
                                   source.ImageColorTable().begin()));
            for (int y = 0; y < source.Height(); ++y)
                for (int x = 0; x < source.Width(); ++x) ASSERT_EQ(result.GetPixel(x, y), source.GetPixel(x, y)) << x << "," << y;
            ++converted;
        }
    }
    EXPECT_EQ(converted, 25 + 2 * 3 + 3);
}

TEST(Vimage, RefusesWithTheReadersErrorOrItsUsage) {
    const std::string folder = FreshHostFolder();
    const std::string bad = folder + "bad.bmp", tga = folder + "type7.tga";
    std::ofstream(bad, std::ios::binary) << "BM not a bitmap";
    std::ofstream(tga, std::ios::binary) << std::string(2, '\0') + '\x07' + std::string(15, '\0');
    TDIBSurface probe;
    const std::string readerError = ErrorOf([&] { probe.LoadFromFile(platform::fs::ToProgramPath(bad)); });
    ASSERT_NE(readerError, "");
    const struct {
        std::vector<std::string> args;
        int status;
        std::string err;
    } cases[] = {
        {{"info", bad}, 1, "vimage: " + platform::Cp932ToUtf8(readerError) + "\n"},
        {{"convert", tga, folder + "out.bmp"}, 1, "vimage: " + tga + ": holds no picture this reader knows\n"},
        {{"greyscale", kRose, folder + "out.bmp", "--bits", "3"}, 1, "vimage: --bits 3: not a depth this command makes\n"},
        {{"blur", kRose, folder + "out.bmp"}, 2, "usage:"},
        {{"convert", kRose, folder + "out.bmp", "--grey"}, 1, "vimage: --grey is for a .png OUT\n"},
        {{"convert", kRose, folder + "out.png", "--idat", "255"}, 1,
         "vimage: Write PNG Param: Err IDAT Size(min:256  max:100000)\n"},
        {{"info", kRose, "--grey"}, 2, "usage:"},
    };
    for (const auto& c : cases) {
        const ProgramRun run = Vimage(c.args);
        EXPECT_EQ(run.status, c.status) << c.args[0];
        EXPECT_EQ(run.err.substr(0, c.err.size()), c.err) << c.args[0];
    }
    EXPECT_FALSE(std::ifstream(folder + "out.bmp").good());
    EXPECT_FALSE(std::ifstream(folder + "out.png").good());
}

}  // namespace
