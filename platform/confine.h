#pragma once
// The kernel's wall around the player: once the title's folders are known, the process confines
// itself with Landlock to the folders a title may use, the system's folders and its own files.
// Behind the write gate and the file manager it is the second wall: a mistake in them still
// reaches nothing else. Paths here are host paths (UTF-8).
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace platform {

// The folders of the title being played; an empty path is none.
struct ConfinedFolders {
    std::string title;           // the title's folder
    bool titleReadOnly = false;  // the title's folder is only read (a disc, a shared folder)
    std::string save;            // where its saves go (its own folder or one of the player's data folder)
    std::vector<std::string> readOnly;  // read besides: the player's installed files, the discs mounted
};

// What a rule lets the player do beneath a path.
enum class Reach : uint8_t {
    Read,    // read files, list folders
    Run,     // Read, and run programs (the system's folders)
    Write,   // Read, and make, write, truncate, rename and remove files and folders
    Device,  // read, write and control a device (its ioctls)
};
using ConfinementRule = std::pair<std::string, Reach>;

// Every rule of the confinement for Folders, in one list (paths that do not exist included: they
// are passed over when the rules are given to the kernel):
//   Write: the title's folder (Read when it is read-only), its save folder, the player's settings
//     and data folders ($XDG_CONFIG_HOME/velaplay, $XDG_DATA_HOME/velaplay), the desktop and
//     documents folders, the player's private temporary folder, /dev/shm, $XDG_RUNTIME_DIR, and
//     the caches of fontconfig and Mesa ($XDG_CACHE_HOME/fontconfig, mesa_shader_cache,
//     mesa_shader_cache_db), which rebuild what they keep when they cannot write it, and the
//     file SDL's disk sound driver writes when that driver is asked for (SDL_DISKAUDIOFILE);
//   Run: /usr, /bin, /sbin, /lib, /lib32, /lib64, /libx32, /opt;
//   Read: Folders.readOnly, /etc, /proc, /sys, /run, /var/cache/fontconfig, /var/lib/dbus, the
//     user's fonts (~/.fonts, $XDG_DATA_HOME/fonts) and fontconfig's settings
//     ($XDG_CONFIG_HOME/fontconfig), the X authority file ($XAUTHORITY, else ~/.Xauthority), the
//     sound settings (~/.asoundrc, $XDG_CONFIG_HOME/pulse), the sound font VELA_SOUNDFONT names
//     and the disc image VELA_CDROM names with the files of its name beside it (foo.cue, foo.bin);
//   Device: /dev/null, /dev/zero, /dev/full, /dev/random, /dev/urandom, /dev/dri, /dev/snd,
//     /dev/input, and the optical drives (/dev/sr*, /dev/scd*, /dev/cdrom*) there are at the start.
// Not the terminal (/dev/tty): its ioctls could type into the user's shell.
// Nothing else of the home folder: not its other settings, not ~/.ssh, not the autostart folder.
std::vector<ConfinementRule> ConfinementRules(const ConfinedFolders& Folders);

// The confinement in force, or what the kernel offers.
struct Confinement {
    int abi = 0;      // the Landlock ABI version; 0 when there is no confinement
    std::string why;  // without one, why (English)
};

// What this kernel offers, without confining anything.
Confinement KernelConfinement();
// The line "--version" prints: "confinement: Landlock ABI 7", or "confinement: off (WHY)".
std::string ConfinementLine(const Confinement& Offered);

// Confines the process to ConfinementRules(Folders) for good (no new privileges either), the
// access rights masked to those the kernel's ABI knows (1 and up); the player's data folder (and
// the disk sound driver's file) is made first when missing, so that it can be written later. It
// must be called while the process has a single thread: a thread running already would stay
// outside (one is refused, the process then left as it was). Nothing is confined when the kernel
// has no Landlock or a step fails: the result says why.
Confinement Confine(const ConfinedFolders& Folders);

}  // namespace platform
