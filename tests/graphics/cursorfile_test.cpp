#include "graphics/cursorfile.h"

#include "graphics/graphic.h"
#include "platform/fs.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <sstream>

namespace {

const std::string kCursorScript = "make_cursor_fixtures.py";

std::string Hex(const TCursorImage& Image) {
    std::string hex;
    for (uint32_t v : Image.Pixels) {
        char s[9];
        std::snprintf(s, sizeof s, "%08x", v);
        hex += s;
    }
    return hex;
}

TCursorImage Read(const std::string& Data) {
    TMemoryStream stream = StreamOf(Data);
    return ReadCursorFile(stream);
}

uint32_t Get32(const std::string& S, size_t At) {
    return uint8_t(S[At]) | uint8_t(S[At + 1]) << 8 | uint8_t(S[At + 2]) << 16 | uint32_t(uint8_t(S[At + 3])) << 24;
}
std::string With32(std::string S, size_t At, uint32_t V) {
    for (int i = 0; i < 4; ++i) S[At + i] = char(V >> (8 * i));
    return S;
}
std::string With16(std::string S, size_t At, uint16_t V) {
    S[At] = char(V);
    S[At + 1] = char(V >> 8);
    return S;
}

// The fixture files by name, made once for the suite.
class CursorFile : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const std::string host = FreshHostFolder();
        Lines_ = Lines(PythonOutput(kCursorScript, {"make", host}));
        for (const std::string& line : Lines_) {
            const std::string name = line.substr(0, line.find(' '));
            TMemoryStream file;
            file.LoadFromFile(platform::fs::ToProgramPath(host) + name);
            Files_[name] = Bytes(file);
        }
    }
    static std::vector<std::string> Lines_;
    static std::map<std::string, std::string> Files_;
};
std::vector<std::string> CursorFile::Lines_;
std::map<std::string, std::string> CursorFile::Files_;

}  // namespace

TEST_F(CursorFile, ReadsEveryKindAsItsPictureStates) {
    ASSERT_EQ(Lines_.size(), 11u);
    for (const std::string& line : Lines_) {
        std::istringstream fields(line);
        std::string name, result;
        fields >> name;
        const std::string& data = Files_[name];
        if (line.ends_with(" refused")) {
            EXPECT_THROW(Read(data), EInvalidGraphic) << name;
            continue;
        }
        int w, h, hx, hy;
        std::string pixels;
        fields >> w >> h >> hx >> hy >> pixels;
        const TCursorImage image = Read(data);
        EXPECT_EQ(image.Width, w) << name;
        EXPECT_EQ(image.Height, h) << name;
        EXPECT_EQ(image.HotX, hx) << name;
        EXPECT_EQ(image.HotY, hy) << name;
        EXPECT_EQ(Hex(image), pixels) << name;
    }
}

TEST_F(CursorFile, EveryTruncatedFileRaises) {
    for (const char* name : {"cur8.cur", "cur32.cur", "anim.ani"}) {
        const std::string& data = Files_[name];
        for (size_t size = 0; size < data.size(); ++size)
            ASSERT_THROW(Read(data.substr(0, size)), EInvalidGraphic) << name << " cut to " << size;
    }
}

TEST_F(CursorFile, AbsurdFieldsRaise) {
    const std::string& cur = Files_["cur8.cur"];
    const size_t entry = 6 + 16;  // the chosen 32 x 32 entry
    const size_t image = Get32(cur, entry + 12);
    const std::vector<std::pair<const char*, std::string>> cursors = {
        {"reserved word", With16(cur, 0, 1)},
        {"type 3", With16(cur, 2, 3)},
        {"no images", With16(cur, 4, 0)},
        {"more entries than bytes", With16(cur, 4, 0xFFFF)},
        {"offset past the end", With32(cur, entry + 12, 0xFFFFFFF0)},
        {"image past the end", With32(cur, entry + 8, uint32_t(cur.size()))},
        {"huge image", With32(cur, entry + 8, 0x7FFFFFFF)},
        {"header size", With32(cur, image, 0xFFFFFFFF)},
        {"short header", With32(cur, image, 12)},
        {"width 0", With32(cur, image + 4, 0)},
        {"width 257", With32(cur, image + 4, 257)},
        {"top-down", With32(cur, image + 8, uint32_t(-64))},
        {"height past 256", With32(cur, image + 8, 1026)},
        {"16 bits", With16(cur, image + 14, 16)},
        {"run-length", With32(cur, image + 16, 1)},
        {"table past 256", With32(cur, image + 32, 257)},
        {"rows past the image", With32(cur, image + 8, 66)},
    };
    for (const auto& [what, data] : cursors) EXPECT_THROW(Read(data), EInvalidGraphic) << what;

    const std::string& ani = Files_["anim.ani"];
    std::string noFrames = ani;
    for (size_t at = noFrames.find("icon"); at != std::string::npos; at = noFrames.find("icon", at))
        noFrames.replace(at, 4, "iccn");
    const std::vector<std::pair<const char*, std::string>> animations = {
        {"riff ending inside its chunks", With32(ani, 4, 20)},
        {"not ACON", With32(ani, 8, 0x45564157)},
        {"chunk past the riff", With32(ani, ani.find("anih") + 4, 0x7FFFFFFF)},
        {"no icon frame", noFrames},
    };
    for (const auto& [what, data] : animations) EXPECT_THROW(Read(data), EInvalidGraphic) << what;
}
