#pragma once
// What the host finds at a path a user named, for telling them what is wrong with it: whether
// anything is there, whether it is a folder, and why it cannot be read.
#include <string>
#include <string_view>

namespace platform::fs {

struct PathState {
    bool exists = false;  // something is there (or the host would not say: see unreadable)
    bool folder = false;
    // The host's reason (English, ASCII) why the path, or for a folder its list of names, cannot
    // be read; "" when it can.
    std::string unreadable;
};

// The state of a program path, each existing component matched on disk as ToHostPath does.
PathState LookAtPath(std::string_view programPath);

}  // namespace platform::fs
