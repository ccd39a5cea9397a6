#pragma once
// The programs the player starts for the user: the desktop's message boxes and file choosers
// (zenity), the opener of addresses and folders (xdg-open) and the wallpaper setter (gsettings).
// They must not share the player's confinement (zenity keeps its settings, a browser needs the
// home folder), so a small launcher process is forked before the player confines itself, and
// starts them on the player's requests over a socket. It starts only the commands the player
// builds (LaunchAllowed), each with the player's environment as it was at the fork and the
// changes the request names. It ends with the player: at the end of its socket, or by the signal
// the kernel sends it when the player dies. It then ends the boxes still open and removes the
// folder it was given (the player's private temporary folder, which the confined player cannot
// remove itself). Without a launcher the programs are started by the player itself.
#include <optional>
#include <string>
#include <vector>

namespace platform {

struct LaunchRequest {
    std::vector<std::string> args;         // the program (a name found on PATH) and its arguments
    std::vector<std::string> environment;  // "NAME=VALUE" set over the player's environment
    bool output = false;                   // its standard output comes back through a pipe
    bool ownGroup = false;                 // it leads a process group of its own (its id is the group's)
};

struct Launched {
    int pid = -1;     // -1 when it was not started (not allowed, not found)
    int output = -1;  // the read end of its standard output when asked for; the caller closes it
};

// Whether the request is one the player's own code makes: zenity showing a box or a chooser
// (--info, --warning, --error, --question, --file-selection); xdg-open on one web address or one
// absolute folder; gsettings setting the desktop background's picture-uri, picture-uri-dark
// (a file:// address) or picture-options (centered, wallpaper, stretched). Only LC_ALL may be
// set in its environment. Anything else, a program named by a path included, is refused.
bool LaunchAllowed(const LaunchRequest& Request);

// Starts the program of an allowed request, through the launcher when one runs. Signals reach it
// as they would a child of the player (SIGTERM, SIGINT, SIGHUP and SIGPIPE at their defaults).
Launched Launch(const LaunchRequest& Request);

// The wait status (waitpid's) of a program Launch started once it has ended, reaped; -1 when it
// is no program to wait for (or the launcher is gone). Without Block, nothing while it runs.
std::optional<int> WaitLaunched(int Pid, bool Block);

// Forks the launcher, which removes Folder (a host path; "" for none) with all it holds when it
// ends, and LockFile (the player's single-instance lock, which the confined player cannot remove
// where it lies outside its folders) when StopLauncher ends it, the lock still held: never after
// the player died, when another player may hold the file by then. Called before the process
// confines itself and before it starts a thread (the launcher is a copy of the process as it
// is). False, with errno, when it cannot be made.
bool StartLauncher(const std::string& Folder, const std::string& LockFile);
// Ends the launcher and waits for it: its boxes closed and its folder removed, as at the player's
// end; programs are then started by the process itself. Nothing without a launcher.
void StopLauncher();

}  // namespace platform
