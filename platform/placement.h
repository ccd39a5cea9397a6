#pragma once
// Where a path lies against a folder, each resolved on the host once: what a check that a file
// stays inside a folder, and is not the folder itself, asks of the host.
#include <string_view>

namespace platform::fs {

// Where a program path lies against a program folder once each is resolved on the host (its
// links, "." and ".." followed as far as it exists): outside it (also when either names nothing
// on the host), inside it, or at the folder itself.
enum class Placement { Outside, Inside, Same };
Placement PlaceInFolder(std::string_view programFolder, std::string_view programPath);

}  // namespace platform::fs
