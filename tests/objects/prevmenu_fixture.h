#pragma once
// Preview-menu files written by tools/vprevmenu.py from JSON descriptions.
#include "tests/common/fixture.h"

#include <fstream>
#include <string>

// The bytes of the menu file vprevmenu.py writes in Form ("xml" or "binary") for Json; with
// HostFile, the file is also left at that host path.
inline std::string PrevMenuFile(const std::string& Form, const std::string& Json, std::string* HostFile = nullptr) {
    const std::string folder = FreshHostFolder();
    std::ofstream(folder + "menu.json") << Json;
    const std::string out = folder + "menu." + Form;
    PythonOutput(VELA_TEST_TOOLS "/../../tools/vprevmenu.py", {Form, folder + "menu.json", out});
    if (HostFile) *HostFile = out;
    std::ifstream in(out, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
