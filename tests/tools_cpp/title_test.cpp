// Titles made from nothing with the tools as the README's steps make them, then played by the
// built player to their end: headless, and in a window with a CD track heard from a disc image.
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

std::string FileText(const std::string& HostPath) {
    std::ifstream file(HostPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// The README's steps that make the title mytitle/game in Folder from the page commands given.
std::string MakeTitle(const std::string& Folder, const std::string& Commands) {
    const std::string vpage = std::string(VELA_PYTHON) + " " VELA_VPAGE;
    std::filesystem::create_directories(Folder + "mytitle/src");
    std::ofstream(Folder + "mytitle/src/project.json")
        << R"({"title": "My title", "width": 320, "height": 240, "start_page": "start.vsb"})";
    std::ofstream(Folder + "mytitle/src/start.page.json") << R"({"commands": [)" << Commands << "]}";
    return "cd '" + Folder + "' && mkdir -p mytitle/src mytitle/game"
           " && " + vpage + " title mytitle/src mytitle/pages --vexpr " VELA_VEXPR
           " && " VELA_VFPACK " pack mytitle/game/game.dat mytitle/pages"
           " && " + vpage + " install mytitle/src/project.json mytitle/game/install.dat";
}

TEST(MakingATitle, TheDocumentedStepsGiveATitleThatPlaysToItsEnd) {
    const std::string folder = FreshHostFolder();
    const std::string steps = MakeTitle(folder, R"(
  {"cmd": "BoxNew", "props": {"LEFT": "40", "TOP": "40", "WIDTH": "240", "HEIGHT": "160", "COLOR": "0x0000FF"}},
  {"cmd": "Wait", "time": "2000"},
  {"cmd": "Terminate"})");
    const int status = std::system((steps + " && VELA_HEADLESS=1 " VELA_PLAYER " mytitle/game 2>errors.txt").c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(FileText(folder + "errors.txt"), "");
}

// A title that plays track 2 of a disc image, in a window, its sound going to SDL's disk driver:
// the file the driver writes holds track 2's tone and not the other tracks'.
TEST(MakingATitle, ACdSoundPlaysItsTrackFromTheDiscImageNamedByVelaCdrom) {
    const std::string folder = FreshHostFolder();
    PythonOutput("make_cd_image.py", {folder + "disc.cue", "440:2", "550:3", "770:2"});
    const std::string steps = MakeTitle(folder, R"(
  {"cmd": "Sound", "props": {"NAME": "\"cd\"", "SOURCE": "\"CD_2\""}},
  {"cmd": "MediaPlay", "name": "\"cd\""},
  {"cmd": "Wait", "time": "3000"},
  {"cmd": "Terminate"})");
    const std::string run = " && env -u VELA_HEADLESS VELA_CDROM=disc.cue SDL_VIDEODRIVER=offscreen"
                            " SDL_FRAMEBUFFER_ACCELERATION=0 SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=out.raw "
                            VELA_PLAYER " mytitle/game 2>errors.txt";
    const int status = std::system((steps + run).c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    const std::string errors = FileText(folder + "errors.txt");  // SDL's disk driver announces itself
    EXPECT_EQ(errors.find("velaplay"), std::string::npos) << errors;
    const std::string raw = FileText(folder + "out.raw");
    std::vector<int16_t> pcm(raw.size() / 2);
    std::memcpy(pcm.data(), raw.data(), pcm.size() * 2);
    // The strongest of each tone over the run, in windows of 400 ms.
    const auto loudest = [&](double Hz) {
        double most = 0;
        for (int32_t ms = 0; ms + 400 <= int32_t(pcm.size() / 2 * 10 / 441); ms += 100)
            most = std::max(most, ToneAmplitude(pcm, Hz, ms, ms + 400));
        return most;
    };
    EXPECT_GT(loudest(550), 15000);
    EXPECT_LT(loudest(440), 300);
    EXPECT_LT(loudest(770), 300);
}

}  // namespace
