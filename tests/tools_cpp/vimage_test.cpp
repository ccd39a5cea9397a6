// The picture tool run as a program: every format it writes reads back to Pillow's pixels of the
// source, and refused files and bad arguments end it with the reader's error in UTF-8.
#include "core/sysutils.h"
#include "graphics/dibsfc.h"
#include "platform/encoding.h"
#include "platform/fs.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

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
    for (const std::string format : {".bmp", ".tga", ".ico", ".cur"}) {
        const std::string picture = folder + "rose" + format, pam = picture + ".pam";
        ASSERT_EQ(Vimage({"convert", kRose, picture}).status, 0) << format;
        ASSERT_EQ(Vimage({"convert", picture, pam}).status, 0) << format;
        EXPECT_EQ(PamPixels(pam), pillow) << format;
    }
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
    };
    for (const auto& c : cases) {
        const ProgramRun run = Vimage(c.args);
        EXPECT_EQ(run.status, c.status) << c.args[0];
        EXPECT_EQ(run.err.substr(0, c.err.size()), c.err) << c.args[0];
    }
    EXPECT_FALSE(std::ifstream(folder + "out.bmp").good());
}

}  // namespace
