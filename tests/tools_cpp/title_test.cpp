// Titles made from nothing with the tools: the README's "Making a title", its steps read from the
// README itself, played headless to its end and presenting the box it promises; and a title that
// plays a CD track from a disc image in a window.
#include "tests/app/sample_fixture.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

std::string FileText(const std::string& HostPath) {
    std::ifstream file(HostPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// The README's steps that make the title mytitle/game in Folder, with a start page of the commands given.
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

void Replace(std::string& Text, const std::string& From, const std::string& To) {
    for (size_t at = Text.find(From); at != std::string::npos; at = Text.find(From, at + To.size()))
        Text.replace(at, From.size(), To);
}

// The shell steps of the section's first code block, with the tools this build made; the last
// step, which plays the title, is left to the caller.
std::string ReadmeSteps() {
    const std::string readme = FileText(VELA_README);
    std::istringstream section(readme.substr(readme.find("## Making a title")));
    std::string line, steps;
    while (std::getline(section, line) && !line.starts_with("    ")) {}
    for (; line.starts_with("    "); std::getline(section, line)) steps += line.substr(4) + "\n";
    const std::string play = "./run.sh mytitle/game\n";
    EXPECT_TRUE(steps.ends_with(play)) << steps;
    steps.resize(steps.size() - play.size());
    Replace(steps, "python3 tools/vpage.py", std::string(VELA_PYTHON) + " " VELA_VPAGE);
    Replace(steps, "build/tools/vexpr", VELA_VEXPR);
    Replace(steps, "build/tools/vfpack", VELA_VFPACK);
    return steps;
}

// The title made in a fresh folder (ending in "/"), which holds mytitle/game.
std::string MadeTitle() {
    const std::string folder = FreshHostFolder();
    std::ofstream(folder + "steps.sh") << "set -e\n" << ReadmeSteps();
    const int status = std::system(("cd '" + folder + "' && sh steps.sh 2>errors.txt").c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << FileText(folder + "errors.txt");
    return folder;
}

TEST(MakingATitle, TheDocumentedStepsGiveATitleThatPlaysToItsEnd) {
    const std::string folder = MadeTitle();
    const int status =
        std::system(("cd '" + folder + "' && VELA_HEADLESS=1 " VELA_PLAYER " mytitle/game 2>errors.txt").c_str());
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

class TitleShown : public SampleTitle {
protected:
    TitleShown() { args = {platform::fs::ToProgramPath(MadeTitle() + "mytitle/game")}; }
};

// The red box (0x0000FF, 0x00BBGGRR) at (40, 40), 240 x 160, presented red (0x00RRGGBB) to its
// edges and not beyond them.
TEST_F(TitleShown, TheBoxOfTheExampleIsPresented) {
    Tick(3);
    for (const auto& [x, y] : {std::pair{40, 40}, {279, 40}, {40, 199}, {279, 199}, {160, 120}})
        EXPECT_EQ(Shown(x, y), 0xFF0000u) << x << ", " << y;
    for (const auto& [x, y] : {std::pair{39, 40}, {280, 40}, {40, 39}, {40, 200}})
        EXPECT_NE(Shown(x, y), 0xFF0000u) << x << ", " << y;
}

}  // namespace
