// A title made from nothing with the tools as the README's steps make it, then played by the
// built player, headless, to its end.
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

std::string FileText(const std::string& HostPath) {
    std::ifstream file(HostPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

TEST(MakingATitle, TheDocumentedStepsGiveATitleThatPlaysToItsEnd) {
    const std::string folder = FreshHostFolder();
    const std::string vpage = std::string(VELA_PYTHON) + " " VELA_VPAGE;
    const std::string steps =
        "cd '" + folder + "' && mkdir -p mytitle/src mytitle/game"
        " && " + vpage + " title mytitle/src mytitle/pages --vexpr " VELA_VEXPR
        " && " VELA_VFPACK " pack mytitle/game/game.dat mytitle/pages"
        " && " + vpage + " install mytitle/src/project.json mytitle/game/install.dat"
        " && VELA_HEADLESS=1 " VELA_PLAYER " mytitle/game";
    std::filesystem::create_directories(folder + "mytitle/src");
    std::ofstream(folder + "mytitle/src/project.json")
        << R"({"title": "My title", "width": 320, "height": 240, "start_page": "start.vsb"})";
    std::ofstream(folder + "mytitle/src/start.page.json") << R"({"commands": [
  {"cmd": "BoxNew", "props": {"LEFT": "40", "TOP": "40", "WIDTH": "240", "HEIGHT": "160", "COLOR": "0x0000FF"}},
  {"cmd": "Wait", "time": "2000"},
  {"cmd": "Terminate"}]})";
    const int status = std::system((steps + " 2>'" + folder + "errors.txt'").c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(FileText(folder + "errors.txt"), "");
}

}  // namespace
