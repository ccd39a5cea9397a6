#pragma once
// What the tests that run the built player on titles of their own share: the title made from
// pages by the page writer.
#include "tests/app/child_process.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// Pages by name, each a JSON list of commands; the first is the start page.
using Pages = std::vector<std::pair<std::string, std::string>>;

// Files by name and their bytes.
using Files = std::vector<std::pair<std::string, std::string>>;

// The integer variables n and after, the title's declarations unless it names its own.
inline const std::string CountDeclarations = R"([{"name": "n", "type": "int"}, {"name": "after", "type": "int"}])";

// The title of the pages and files, made by the page writer in a fresh folder: the host folder
// (ending in "/") holding its game.dat and install.dat. Its status is saved at its end.
// Declarations is the project's JSON list of global variables; Screen the title's width and height.
inline std::string MakeTitle(const Pages& Title, const Files& Media = {},
                             const std::string& Declarations = CountDeclarations,
                             std::pair<int, int> Screen = {320, 240}) {
    const std::string folder = FreshHostFolder();
    std::filesystem::create_directories(folder + "src");
    std::filesystem::create_directories(folder + "game");
    std::filesystem::create_directories(folder + "pages");
    for (const auto& [name, bytes] : Media) std::ofstream(folder + "pages/" + name, std::ios::binary) << bytes;
    std::ofstream(folder + "src/project.json")
        << R"({"title": "Busy", "width": )" << Screen.first << R"(, "height": )" << Screen.second
        << R"(, "save_enabled": true, "start_page": ")"
        << Title.front().first << R"(.vsb", "declarations": )" << Declarations << "}";
    for (const auto& [name, commands] : Title)
        std::ofstream(folder + "src/" + name + ".page.json") << R"({"commands": )" << commands << "}";
    const std::string vpage = std::string(VELA_PYTHON) + " " VELA_VPAGE;
    const std::string steps = "cd '" + folder + "' && " + vpage + " title src pages --vexpr " VELA_VEXPR
                              " && " VELA_VFPACK " pack game/game.dat pages && " + vpage +
                              " install src/project.json game/install.dat";
    EXPECT_EQ(std::system(steps.c_str()), 0) << steps;
    return folder + "game/";
}
