// Titles made from nothing with the tools: the README's "Making a title", its steps read from the
// README itself, its first title staying open headless and presenting the box it promises, its
// second writing its screen and answering its button; and a title that plays a CD track from a
// disc image in a window.
#include "tests/app/sample_fixture.h"

#include "objects/vitemex_label.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

namespace {

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

// The code blocks of the README's "Making a title", in order, each without its indent.
std::vector<std::string> ReadmeBlocks() {
    const std::string readme = FileText(VELA_README);
    const size_t from = readme.find("## Making a title");
    std::istringstream section(readme.substr(from, readme.find("\n## ", from) - from));
    std::vector<std::string> blocks;
    bool inBlock = false;
    for (std::string line; std::getline(section, line);) {
        const bool code = line.starts_with("    ");
        if (code && !inBlock) blocks.emplace_back();
        if (code) blocks.back() += line.substr(4) + "\n";
        inBlock = code;
    }
    return blocks;
}

// An example's steps from the source tree: its block of descriptions, then its block of steps,
// with the tools and the sample this build made; the last step, which plays the title in Title,
// is left to the caller.
std::string ReadmeSteps(size_t Descriptions, size_t Steps, const std::string& Title) {
    const std::vector<std::string> blocks = ReadmeBlocks();
    EXPECT_EQ(blocks.size(), 6u);
    if (blocks.size() <= std::max(Descriptions, Steps)) return "false\n";
    std::string steps = blocks[Descriptions] + blocks[Steps];
    const std::string play = "./run.sh " + Title + "\n";
    if (!steps.ends_with(play)) {
        ADD_FAILURE() << "the steps do not end by playing " << Title << ":\n" << steps;
        return "false\n";
    }
    steps.resize(steps.size() - play.size());
    Replace(steps, "python3 tools/vpage.py", std::string(VELA_PYTHON) + " " VELA_VPAGE);
    Replace(steps, "build/tools/vexpr", VELA_VEXPR);
    Replace(steps, "build/tools/vfpack", VELA_VFPACK);
    Replace(steps, "build/sample/", VELA_SAMPLE_FOLDER "/");
    return steps;
}

// The title of an example made in a fresh folder (ending in "/"), which holds Title.
std::string MadeTitle(size_t Descriptions, size_t Steps, const std::string& Title) {
    const std::string folder = FreshHostFolder();
    std::ofstream(folder + "steps.sh") << "set -e\n" << ReadmeSteps(Descriptions, Steps, Title);
    const int status = std::system(("cd '" + folder + "' && sh steps.sh 2>errors.txt").c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << FileText(folder + "errors.txt");
    return folder;
}

// The first example's title, its descriptions in block 0 and its steps from the source tree in
// block 2 (block 1 holds them installed).
std::string MadeFirstTitle() { return MadeTitle(0, 2, "mytitle/game"); }

// It stays open, headless, until it is ended: still playing after two seconds, nothing said.
TEST(MakingATitle, TheFirstExampleStaysOpenUntilItIsEnded) {
    const std::string folder = MadeFirstTitle();
    const int status = std::system(
        ("cd '" + folder + "' && VELA_HEADLESS=1 timeout 2 " VELA_PLAYER " mytitle/game 2>errors.txt").c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 124) << status;
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
    TitleShown() { args = {platform::fs::ToProgramPath(MadeFirstTitle() + "mytitle/game")}; }
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

// The second example's title, its descriptions in block 3 and its steps from the source tree,
// which take its files out of the sample, in block 5.
class SecondTitleShown : public SampleTitle {
protected:
    SecondTitleShown() : folder(MadeTitle(3, 5, "mytitle2/game")) {
        args = {platform::fs::ToProgramPath(folder + "mytitle2/game")};
    }
    const std::string folder;
};

// The label gives the picture's width; three seconds in, the picture of the screen lies in the
// title's folder; the start page has ended, and the button (120 x 32 at 128, 56) still changes
// the label.
TEST_F(SecondTitleShown, ItWritesItsScreenAndItsButtonAnswersAfterTheStartPage) {
    TickUntil("button");
    Tick(2);
    const auto* label = dynamic_cast<TVelaLabel*>(Bases->FindObject("label"));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->GetText(), "絵の幅 96");
    const std::string shot = folder + "mytitle2/game/shot.mra";
    EXPECT_FALSE(std::filesystem::exists(shot));
    Tick(200);
    EXPECT_TRUE(std::filesystem::exists(shot));
    Click(188, 72);
    EXPECT_EQ(label->GetText(), "押されました");
}

}  // namespace
