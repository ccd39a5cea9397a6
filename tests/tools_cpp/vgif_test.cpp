// The GIF tool run as a program: the codec's fixtures decoded to BMP files and encoded again keep
// their indices and colours with either encoder; its listing names what a file holds; a damaged
// file ends it with the reader's error.
#include "core/streams.h"
#include "graphics/gifpics.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

using namespace gif;

const std::string kData = std::string(VELA_TEST_DATA) + "/gif/";

ProgramRun Vgif(const std::vector<std::string>& args) { return RunProgram(VELA_VGIF, args); }

// Each frame with a picture: its indices and the colours they show.
std::vector<std::string> Shown(const std::string& Path) {
    std::ifstream in(Path, std::ios::binary);
    TMemoryStream stream = StreamOf(std::string(std::istreambuf_iterator<char>(in), {}));
    TGifImage image;
    image.Read(stream);
    std::vector<std::string> frames;
    for (const auto& frame : image.Images()) {
        if (frame->Empty()) continue;
        std::string shown;
        for (const uint8_t p : frame->Data) {
            const TGifColor c = frame->ActiveColorMap().Colors(p);
            shown += std::string{char(p), char(c.Red), char(c.Green), char(c.Blue)};
        }
        frames.push_back(ToHex(shown));
    }
    return frames;
}

TEST(Vgif, FixturesRoundTripThroughBmpWithEitherEncoder) {
    const std::string folder = FreshHostFolder();
    int32_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(kData)) {
        const std::string name = entry.path().filename();
        if (!name.ends_with(".gif") || name.starts_with("bad-")) continue;
        SCOPED_TRACE(name);
        ++files;
        const std::vector<std::string> original = Shown(entry.path());
        const std::string prefix = folder + name + "-";
        ASSERT_EQ(Vgif({"decode", entry.path(), prefix}).status, 0);
        std::vector<std::string> encode = {"encode", "", "--delay", "5", "--loop", "0"};
        for (size_t i = 0; i < original.size(); ++i) encode.push_back(prefix + std::to_string(i) + ".bmp");
        for (const char* rle : {"", "--rle"}) {
            encode[1] = prefix + rle + "out.gif";
            std::vector<std::string> args = encode;
            if (*rle) args.push_back(rle);
            const ProgramRun run = Vgif(args);
            ASSERT_EQ(run.status, 0) << run.err;
            EXPECT_EQ(Shown(encode[1]), original);
        }
    }
    EXPECT_GE(files, 14);
}

TEST(Vgif, ListsStructureOptimisesAndReportsErrors) {
    const ProgramRun info = Vgif({"info", kData + "sicle-extensions.gif"});
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("screen: 20 x 18"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("  loop: 5\n"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("  application \"VELATEST1.0\": 1 block(s)\n"), std::string::npos) << info.out;

    const std::string out = FreshHostFolder() + "o.gif";
    ASSERT_EQ(Vgif({"optimise", kData + "pil-disposal.gif", out, "--rle"}).status, 0);
    EXPECT_EQ(Shown(out).size(), 5u);

    const ProgramRun bad = Vgif({"info", kData + "bad-junk5.gif"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.err, "vgif: Invalid GIF signature\n");
    const ProgramRun warned = Vgif({"info", kData + "bad-trailer.gif"});
    EXPECT_EQ(warned.status, 0);
    EXPECT_EQ(warned.err, "vgif: warning: Unknown GIF block type\nvgif: warning: Invalid Image trailer\n");
}

}  // namespace
