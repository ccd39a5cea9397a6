#pragma once
// Host services the engine's system routines stand on: per-user folders, the single-instance
// lock, display metrics, the desktop (wallpaper, opening a URL or file), installed Japanese
// fonts and folder listings. Paths given to and returned by this unit are host paths (UTF-8)
// unless a comment says otherwise.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

// ---- Per-user folders ----

enum class UserFolder {
    Desktop,    // XDG_DESKTOP_DIR, else ~/Desktop
    Documents,  // XDG_DOCUMENTS_DIR, else ~/Documents
    Templates,  // XDG_TEMPLATES_DIR, else ~/Templates
    // (none of the three is ever the home folder itself)
    LocalData,  // $XDG_DATA_HOME, else ~/.local/share
    Config,     // $XDG_CONFIG_HOME, else ~/.config
    Cache,      // $XDG_CACHE_HOME, else ~/.cache
    Home,       // the home folder itself
};
// The folder's host path without a trailing "/"; empty when the home folder is unknown.
std::string UserFolderPath(UserFolder folder);

// Whether a folder (a host path, resolved: no links, "." or "..") is one the desktop or the
// shell takes settings or programs from, where nothing of a title's may be written: the home
// folder itself; the settings folder ($XDG_CONFIG_HOME, else ~/.config) and anything in it; any
// hidden folder of the home folder and anything in it, but for ~/.local/share (where
// installers put games), whose applications folder is one again; ~/bin and ~/.local/bin.
bool IsDesktopSettingsFolder(std::string_view hostFolder);

// Creates a folder given as a program path together with every missing parent; true when it
// exists afterwards.
bool ForceDirectories(std::string_view programPath);

// The locale the user reads messages in, as the environment names it: LC_ALL, else
// LC_MESSAGES, else LANG, the first that is set and not empty ("ja_JP.UTF-8"); empty when
// none is.
std::string MessageLocale();

// ---- Single instance ----

// An exclusive lock on a key, shared by every process of the user: flock on a lock file in
// $XDG_RUNTIME_DIR (else the system temporary folder) whose name is made from the key, each
// key its own file (letter case counts). It ends with the object, which removes the lock file,
// or with the process however that ends (the file then stays until the next holder of the key
// ends); programs started from this process do not inherit it.
class InstanceLock {
public:
    // Nothing when another holder has the key, or when the lock file cannot be made.
    static std::unique_ptr<InstanceLock> Acquire(std::string_view key);
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;
    ~InstanceLock();
    // The lock file's host path.
    const std::string& path() const { return path_; }

private:
    InstanceLock(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    int fd_;
    std::string path_;
};

// ---- Display metrics ----

struct ScreenRect {
    int32_t left, top, right, bottom;
    bool operator==(const ScreenRect&) const = default;
};

struct DisplayMetrics {
    ScreenRect virtualScreen{0, 0, 1920, 1080};  // the union of all monitors
    int32_t primaryWidth = 1920, primaryHeight = 1080;
    ScreenRect workArea{0, 0, 1920, 1080};  // what panels and docks leave free on the primary monitor
    bool operator==(const DisplayMetrics&) const = default;
};

// The metrics last supplied by the window backend; until it supplies any (and always in
// headless runs) a single 1920x1080 monitor at 0,0 with nothing reserved.
DisplayMetrics GetDisplayMetrics();
void SetDisplayMetrics(const DisplayMetrics& metrics);

// The machine's physical memory in bytes; 0 when the host does not say.
int64_t PhysicalMemoryBytes();
// The value of the environment variable Name, as the host holds it; none when it is not set.
std::optional<std::string> EnvironmentVariable(const char* Name);

// ---- Desktop ----

enum class WallpaperStyle { Centered, Tiled, Stretched };

// Sets the desktop background through gsettings (org.gnome.desktop.background). False when
// gsettings is not on PATH or refuses.
bool SetDesktopWallpaper(const std::string& imagePath, WallpaperStyle style);

// Whether Target is an absolute web or ftp address the opener may take: "http://", "https://" or
// "ftp://" (letter case counts) and more, without blanks or control characters.
bool IsWebAddress(std::string_view Target);

// The desktop openers that may run at once.
inline constexpr size_t kMaxOpeners = 4;
// Hands a web address (IsWebAddress) or the host path of a folder to xdg-open without waiting
// for it. False when it cannot be started (not on PATH, or another target: LaunchAllowed), and
// when kMaxOpeners still run: that call is dropped with a line on standard error.
bool OpenWithDesktop(const std::string& target);

// ---- Fonts ----

// One installed outline font family that supports Japanese.
struct FontFamily {
    std::string name;  // code page 932: the family's Japanese name when it has one, else its first
    bool fixedPitch;   // monospaced, or dual width (half-width Latin beside full-width kana)
    int weight;        // 100 (thin) to 900 (black) of the style nearest to upright regular
    bool italic;       // that style is slanted
    std::vector<std::string> hostNames;  // UTF-8: every family name fontconfig gives it
};
// One entry per family name, in the host's order.
std::vector<FontFamily> JapaneseFontFamilies();

// ---- Folder listings ----

struct FolderId {
    uint64_t device, inode;
    bool operator==(const FolderId&) const = default;
};

struct FolderEntry {
    std::string name;  // code page 932
    bool directory;    // a folder (symbolic links followed)
    bool regularFile;  // an ordinary file
    bool hidden;       // the name starts with "."
    bool readOnly;     // the owner has no write permission
    FolderId id;
};
// The entries of the folder named by a program path, without "." and ".."; empty when it
// cannot be read. Nothing about the entries is changed.
std::vector<FolderEntry> ListFolder(std::string_view programPath);
// The identity of the folder named by a program path; nothing when it is not one.
std::optional<FolderId> GetFolderId(std::string_view programPath);

}  // namespace platform
