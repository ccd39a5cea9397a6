// A title made from nothing with the tools by the steps of the README's "Making a title", read
// from the README itself, then played: the built player runs it headless to its end, and the
// headless window presents the box it promises.
#include "tests/app/sample_fixture.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

std::string FileText(const std::string& HostPath) {
    std::ifstream file(HostPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
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
