#include "platform/hostpath.h"

#include "platform/fs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

namespace platform::fs {

PathState LookAtPath(std::string_view programPath) {
    PathState state;
    const std::optional<std::string> host = ToHostPath(programPath);
    if (!host) return state;
    struct stat st;
    if (stat(host->c_str(), &st) != 0) {
        // Nothing there, or the host cannot tell (a folder on the way cannot be searched).
        state.exists = errno != ENOENT && errno != ENOTDIR;
        if (state.exists) state.unreadable = strerror(errno);
        return state;
    }
    state.exists = true;
    state.folder = S_ISDIR(st.st_mode);
    // A folder is read when its names can be listed and looked up. Opening never waits (a pipe
    // would wait for a writer).
    const int fd = open(host->c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | (state.folder ? O_DIRECTORY : 0));
    if (fd < 0)
        state.unreadable = strerror(errno);
    else if (state.folder && access(host->c_str(), X_OK) != 0)
        state.unreadable = strerror(errno);
    if (fd >= 0) close(fd);
    return state;
}

}  // namespace platform::fs
