// The picture tool run as a program: every format it writes reads back to Pillow's pixels of the
// source, the Mira files it builds compose as the independent Mira reader composes them, and
// refused files and bad arguments end it with the reader's error in UTF-8.
#include "core/sysutils.h"
#include "core/vrfiles.h"
#include "graphics/dibsfc.h"
#include "graphics/miras.h"
#include "graphics/pngpics.h"
#include "platform/encoding.h"
#include "platform/fs.h"
#include "script/project.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

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

// The identification code of the sample title's project file.
uint32_t SampleIdentCode(TVrFileCollection& Archive) {
    TMemoryStream project;
    Archive.ReadFile(project, "vela.vpb");
    project.SetPosition(0);
    TProjectSetting settings;
    settings.LoadFromStream(project);
    return uint32_t(settings.FrameListParam);
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

TEST(Vimage, MiraFilesComeBackToTheirPixelsAtEveryDepth) {
    const std::string folder = FreshHostFolder();
    for (const char* bits : {"1", "4", "8", "15", "16", "24", "32"}) {
        const std::string bmp = folder + bits + ".bmp", mra = bmp + ".mra";
        ASSERT_EQ(Vimage({"reduce", kRose, bmp, "--bits", bits}).status, 0);
        ASSERT_EQ(Vimage({"convert", bmp, bmp + ".pam"}).status, 0);
        for (const std::vector<std::string>& options :
             {std::vector<std::string>{}, {"--comp", "1"}, {"--code", "4294967295"}}) {
            SCOPED_TRACE(std::string(bits) + (options.empty() ? "" : " " + options[0]));
            std::vector<std::string> args = {"convert", bmp, mra};
            args.insert(args.end(), options.begin(), options.end());
            ASSERT_EQ(Vimage(args).status, 0);
            args = {"convert", mra, mra + ".pam"};
            if (options.size() && options[0] == "--code") args.insert(args.end(), options.begin(), options.end());
            ASSERT_EQ(Vimage(args).status, 0);
            EXPECT_EQ(PamPixels(mra + ".pam"), PamPixels(bmp + ".pam"));
        }
    }
}

// Frame K of a Mira file as the reference composes it under Code, as PamPixels prints a picture:
// the pixels of a 24-bit frame with their alpha, else 255.
std::string ReferencePixels(const std::string& Path, uint32_t Code, size_t K) {
    const std::vector<std::string> lines = Lines(PythonOutput("mira_ref.py", {"read", Path, std::to_string(Code)}));
    if (lines.size() < 4 + 3 * K) return "no frame " + std::to_string(K);
    int width = 0, height = 0;
    std::sscanf(lines[1 + 3 * K].c_str(), "frame %d %d", &width, &height);
    std::istringstream values(lines[2 + 3 * K]), alphas(lines[3 + 3 * K]);
    std::string text = std::to_string(width) + " " + std::to_string(height) + " ";
    for (uint32_t value, alpha = 255; values >> value;) {
        if (lines[3 + 3 * K] != "none") alphas >> alpha;
        text += Format("%06x%02x", value, alpha);
    }
    return text;
}

// Layers with and without alpha in frames of their own delays, shuffled under a code or with JPEG
// image planes: the reference composes each frame to the pixels of the tool's PAM, and info tells
// the frames and layers.
TEST(Vimage, BuildsLayeredAndAnimatedMiraFiles) {
    const std::string folder = FreshHostFolder();
    std::vector<std::string> drawings;
    for (const char* name : {"gradient", "figure0", "figure1", "figure2"}) drawings.push_back(folder + name + ".png");
    PythonOutput(std::string(VELA_TEST_TOOLS) + "/../../sample/make_pictures.py", drawings);
    const struct {
        std::string file;
        uint32_t code;
        std::vector<std::string> options;
    } cases[] = {{"shuffled.mra", 99, {"--code", "99"}}, {"jpeg.mra", 0, {"--comp", "2", "--quality", "90"}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        std::vector<std::string> args = {"build", folder + c.file, "--delay", "70", drawings[0], drawings[1],
                                         "--delay", "90", drawings[2], drawings[3]};
        args.insert(args.end(), c.options.begin(), c.options.end());
        ASSERT_EQ(Vimage(args).status, 0);
        for (size_t k = 0; k < 2; ++k) {
            const std::string pam = folder + c.file + std::to_string(k) + ".pam";
            const std::string frame = std::to_string(k), code = std::to_string(c.code);
            ASSERT_EQ(Vimage({"convert", folder + c.file, pam, "--frame", frame, "--code", code}).status, 0);
            EXPECT_EQ(PamPixels(pam), ReferencePixels(folder + c.file, c.code, k)) << k;
        }
    }
    const ProgramRun info = Vimage({"info", folder + "shuffled.mra", "--code", "99"});
    EXPECT_EQ(info.out,
              "frames: 2\nbackground: $000000\n"
              "frame 0 \"\": 96 x 72, 24 bits, 70 ms, transparent pixel none, alpha no, layers: 2\n"
              "  layer 0 \"gradient\": visible, opacity 255, transparent pixel none, alpha plane none\n"
              "  layer 1 \"figure0\": visible, opacity 255, transparent pixel none, alpha plane in use\n"
              "frame 1 \"\": 96 x 72, 24 bits, 90 ms, transparent pixel none, alpha yes, layers: 2\n"
              "  layer 0 \"figure1\": visible, opacity 255, transparent pixel none, alpha plane in use\n"
              "  layer 1 \"figure2\": visible, opacity 255, transparent pixel none, alpha plane in use\n");
}

// 15- and 16-bit fields widen by bit replication, the fourth byte of a 32-bit pixel counts for
// nothing and neither does the transparent colour.
TEST(Vimage, MiraFramesBecomePamByTheirColours) {
    const std::string path = FreshHostFolder() + "depths.mra";
    TMiraFrameList list(0);
    const struct {
        int32_t bits;
        std::vector<uint32_t> pixels;
        std::string pam;
    } frames[] = {{15, {0x7C00, 0x0421}, "ff0000ff080808ff"},
                  {16, {0xF81F, 0x0821}, "ff00ffff080408ff"},
                  {32, {0x2B102030, 0x00405060}, "102030ff405060ff"}};
    for (const auto& f : frames) {
        TMiraFrame& frame = *list.AddFrame();
        frame.TransPixel = int32_t(f.pixels[0]);
        frame.SetupImage(2, 1, f.bits, nullptr, 0);
        for (int32_t x = 0; x < 2; ++x) frame.Image.SetPixel(x, 0, f.pixels[size_t(x)]);
    }
    list.SaveToFile(platform::fs::ToProgramPath(path));
    for (size_t k = 0; k < std::size(frames); ++k) {
        ASSERT_EQ(Vimage({"convert", path, path + ".pam", "--frame", std::to_string(k)}).status, 0);
        EXPECT_EQ(PamPixels(path + ".pam"), "2 1 " + frames[k].pam) << frames[k].bits;
    }
}

// Every picture of the sample title (the frame its tool draws first) becomes a PNG that pngcheck
// accepts and comes back as the same Mira frame; the originals also with the writer's options, the
// greys also written as greys.
TEST(Vimage, SamplePicturesRoundTripThroughPng) {
    TVrFileCollection archive;
    archive.Open(platform::fs::ToProgramPath(VELA_SAMPLE_FOLDER "/game.dat"));
    const std::string code = std::to_string(SampleIdentCode(archive));
    const std::string folder = FreshHostFolder();
    int converted = 0;
    for (int i = 0; i < archive.Count() - 1; ++i) {
        const std::string name = archive.GetFile(i).Name();
        if (AnsiLowerCase(ExtractFileExt(name)) != ".mra") continue;
        const std::string mra = folder + name, png = mra + ".png", back = png + ".mra";
        TMemoryStream data;
        archive.ReadFile(data, name);
        data.SaveToFile(platform::fs::ToProgramPath(mra));
        data.SetPosition(0);
        TMiraFrameList source(uint32_t(std::stoul(code)));
        source.LoadFromStream(data, true, false, false);
        std::vector<std::vector<std::string>> options = {{}};
        if (name.find('_') == std::string::npos)
            options.insert(options.end(), {{"--filter", "0", "--level", "9"}, {"--interlace", "--filter", "5", "--idat", "300"}});
        if (name.ends_with("_grey.mra")) options.push_back({"--grey"});
        for (const auto& extra : options) {
            SCOPED_TRACE(name + (extra.empty() ? "" : " " + extra[0]));
            std::vector<std::string> args = {"convert", mra, png, "--code", code};
            args.insert(args.end(), extra.begin(), extra.end());
            ASSERT_EQ(Vimage(args).status, 0);
            const ProgramRun check = RunProgram("pngcheck", {"-q", png});
            EXPECT_EQ(check.status, 0) << check.out;
            ASSERT_EQ(Vimage({"convert", png, back}).status, 0);
            TMiraFrameList result(0);
            result.LoadFromFile(platform::fs::ToProgramPath(back), false, false, false);
            ASSERT_EQ(result.Count(), 1);
            const TDIBSurface &ours = result.GetFrame(0)->Image, &theirs = source.GetFrame(0)->Image;
            ASSERT_EQ(ours.BitCount(), theirs.BitCount());
            ASSERT_EQ(ours.Width(), theirs.Width());
            ASSERT_EQ(ours.Height(), theirs.Height());
            EXPECT_TRUE(std::equal(ours.ImageColorTable().begin(), ours.ImageColorTable().begin() + ours.PaletteCount(),
                                   theirs.ImageColorTable().begin()));
            ASSERT_EQ(!ours.Alpha, !theirs.Alpha);
            for (int y = 0; y < theirs.Height(); ++y)
                for (int x = 0; x < theirs.Width(); ++x) {
                    ASSERT_EQ(ours.GetPixel(x, y), theirs.GetPixel(x, y)) << x << "," << y;
                    if (theirs.Alpha) {
                        ASSERT_EQ(ours.Alpha->GetPixel(x, y), theirs.Alpha->GetPixel(x, y)) << x << "," << y;
                    }
                }
            ++converted;
        }
    }
    EXPECT_EQ(converted, 43 + 2 * 19 + 3);
}

// The drawings the sample's Mira files are made of come back from them with equal pixels (the
// JPEG one excepted): the originals, the shuffled copy under the project's code and every step
// of the animated figure.
TEST(Vimage, SampleDrawingsComeBackFromTheirMiraFiles) {
    TVrFileCollection archive;
    archive.Open(platform::fs::ToProgramPath(VELA_SAMPLE_FOLDER "/game.dat"));
    const std::string code = std::to_string(SampleIdentCode(archive));
    const std::string folder = FreshHostFolder();
    const struct {
        std::string mira, frame, drawing;
    } cases[] = {{"gradient", "0", "gradient"}, {"shapes", "0", "shapes"},  {"noise", "0", "noise"},
                 {"shapes_shuffled", "0", "shapes"}, {"figure", "0", "figure0"}, {"figure", "1", "figure1"},
                 {"figure", "2", "figure2"}, {"figure", "3", "figure3"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mira + " " + c.frame);
        const std::string mra = folder + c.mira + ".mra";
        const std::string drawing = std::string(VELA_SAMPLE_PICTURES "/") + c.drawing + ".png";
        TMemoryStream data;
        archive.ReadFile(data, c.mira + ".mra");
        data.SaveToFile(platform::fs::ToProgramPath(mra));
        ASSERT_EQ(Vimage({"convert", mra, mra + c.frame + ".pam", "--frame", c.frame, "--code", code}).status, 0);
        ASSERT_EQ(Vimage({"convert", drawing, mra + c.frame + ".png.pam"}).status, 0);
        EXPECT_EQ(PamPixels(mra + c.frame + ".pam"), PamPixels(mra + c.frame + ".png.pam"));
    }
}

TEST(Vimage, RefusesWithTheReadersErrorOrItsUsage) {
    const std::string folder = FreshHostFolder();
    const std::string bad = folder + "bad.bmp", tga = folder + "type7.tga", empty = folder + "empty.mra";
    const std::string grey = folder + "grey.bmp", out = folder + "out.mra";
    std::ofstream(bad, std::ios::binary) << "BM not a bitmap";
    std::ofstream(tga, std::ios::binary) << std::string(2, '\0') + '\x07' + std::string(15, '\0');
    std::ofstream(empty, std::ios::binary) << std::string(5, '\0');  // a count of no frames
    // A run-length bitmap of 32767 x 2731 (one row past the pixel bound) whose data ends at once.
    const std::string huge = folder + "huge.bmp";
    std::ofstream(huge, std::ios::binary) << FromHex("424D 3C000000 00000000 3A000000 28000000 FF7F0000 AB0A0000 0100 0800"
                                                     "01000000 02000000 00000000 00000000 01000000 00000000 00000000 0001");
    ASSERT_EQ(Vimage({"convert", kRose, folder + "rose.mra"}).status, 0);
    ASSERT_EQ(Vimage({"greyscale", kRose, grey}).status, 0);
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
        {{"convert", huge, folder + "out.bmp"}, 1,
         "vimage: " + platform::Cp932ToUtf8("画像の大きさが扱える範囲を越えています (32767 x 2731)") + "\n"},
        {{"greyscale", kRose, folder + "out.bmp", "--bits", "3"}, 1, "vimage: --bits 3: not a depth this command makes\n"},
        {{"blur", kRose, folder + "out.bmp"}, 2, "usage:"},
        {{"convert", kRose, folder + "out.bmp", "--grey"}, 1, "vimage: --grey is for a .png OUT\n"},
        {{"convert", kRose, folder + "out.png", "--idat", "255"}, 1,
         "vimage: Write PNG Param: Err IDAT Size(min:256  max:100000)\n"},
        {{"info", kRose, "--grey"}, 2, "usage:"},
        {{"convert", empty, folder + "out.pam"}, 1, "vimage: " + empty + ": the Mira file holds no frames\n"},
        {{"info", empty}, 1, "vimage: " + empty + ": the Mira file holds no frames\n"},
        {{"convert", folder + "rose.mra", folder + "out.bmp", "--frame", "1"}, 1,
         "vimage: " + folder + "rose.mra: --frame 1: the file holds frames 0 to 0\n"},
        {{"convert", kRose, folder + "out.bmp", "--frame", "0"}, 1, "vimage: --frame is for a .mra IN\n"},
        {{"convert", kRose, out, "--code", "4294967296"}, 1,
         "vimage: --code must be a whole number from 0 to 4294967295\n"},
        {{"convert", kRose, out, "--code", "5", "--comp", "2"}, 1,
         "vimage: --comp 2: a picture shuffled under --code is stored uncompressed\n"},
        {{"convert", kRose, folder + "out.png", "--comp", "1"}, 1, "vimage: --comp is for a .mra OUT\n"},
        {{"build", out, kRose}, 2, "usage:"},
        {{"build", out, "--delay", "10", kRose, grey}, 1,
         "vimage: " + grey +
             ": a layer must have the size, depth and colour table of its frame's first (70 x 46, 24 bits)\n"},
    };
    for (const auto& c : cases) {
        const ProgramRun run = Vimage(c.args);
        EXPECT_EQ(run.status, c.status) << c.args[0];
        EXPECT_EQ(run.err.substr(0, c.err.size()), c.err) << c.args[0];
    }
    EXPECT_FALSE(std::ifstream(folder + "out.bmp").good());
    EXPECT_FALSE(std::ifstream(folder + "out.png").good());
    EXPECT_FALSE(std::ifstream(out).good());
}

}  // namespace
