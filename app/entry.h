#pragma once
// The program entry's decisions: the key of the single-instance lock, whether the settings
// dialog is asked for, and which content archives the command line attaches. Arguments are
// program paths (Shift-JIS); a host path such as "/home/me/game" is one too, "/" being a
// separator and a leading one the root of drive Z:.
#include "platform/confine.h"
#include "platform/display.h"
#include "platform/textout.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class TStringList;
class TVrFileManager;

// Path as a full path: made absolute against CurrentFolder (a program path with a drive), "/"
// turned into "\", "." and ".." parts resolved and repeated separators dropped. Nothing is
// looked up on disk and letter case is kept. A trailing separator stays.
std::string ExpandFileName(const std::string& Path, const std::string& CurrentFolder);

// The key of the lock that lets one player run per game folder: the first argument, else
// ProgramFolder, as a full path (against the current folder) ending in "\", with every "\"
// (a single byte, never the second byte of a double-byte character) replaced by "-". Letter
// case counts: two spellings of one folder give two keys.
std::string InstanceKey(const std::vector<std::string>& Args, const std::string& ProgramFolder);

// The title folder an argument names: Arg itself, or for a path whose last name is "game.dat"
// (without regard to case; "\" or "/" separating) and which is no folder on disk, the folder
// holding it, "." for the bare name. A desktop launcher hands the player the file it was opened
// on; a title folder may itself be called game.dat.
std::string TitleFolderArgument(const std::string& Arg);

// Whether the player has a title of its own: a game.dat or install.dat beside ProgramFile, or a
// title appended to it. Without one and without arguments the player asks for a title.
bool HasOwnTitle(const std::string& ProgramFile);

// What is wrong with the title folder an argument names (as TitleFolderArgument gives it), in
// words for the user (code page 932): nothing is there, it or a title file in it cannot be read
// (with the host's reason), it is a file that is neither a folder, a game.dat nor a title
// appended to a program, or a folder holding neither game.dat nor install.dat. "" when the player
// can open it.
std::string TitlePathProblem(const std::string& Folder);

// Asks for a title where none was named and the player has none of its own: the desktop's file
// chooser for a title's game.dat. The title folder chosen; nothing when none was, with the exit
// status in Status: 0 when the user cancelled, 2 without a window (the usage then goes to
// standard error) or without a chooser (a box on the display Display gives then says how to
// start a title). No display is made while the chooser is shown: the player confines itself
// once a title is chosen, before anything starts a thread.
std::optional<std::string> ChooseTitle(const std::function<platform::Display&()>& Display, int& Status);

// The folders the player confines itself to for the title Args name (the title beside the
// program when there are none): the title's folder (only read where IsReadOnlyTitleFolder says
// so), where its saves go, and as read only the
// program's folder, its companion library's and the optical discs mounted. The title's saves in
// the per-user data folder named for its project's title (a title beside a program whose folder
// cannot be written) are not known before its project is read, and are not among them.
platform::ConfinedFolders TitleConfinement(const std::vector<std::string>& Args, const std::string& ProgramFile);

// Whether the first argument is "/config", without regard to case.
bool IsConfigStart(const std::vector<std::string>& Args);

// Whether the first argument is "--help" or "-h"; the player then prints Usage and ends.
bool IsHelpStart(const std::vector<std::string>& Args);
// Whether the first argument is "--version"; the player then prints its version and ends.
bool IsVersionStart(const std::vector<std::string>& Args);
// The first argument that begins with "-" and is neither a help option nor "--version" ("" when
// there is none): the player refuses it, with Usage, rather than take it for a folder.
std::string UnknownOption(const std::vector<std::string>& Args);
extern const char Usage[];

// The largest size factor of the window.
inline constexpr int32_t MaxWindowScale = 8;
// Takes "--scale N" or "--scale=N" out of Args into Scale: N a whole number 1..MaxWindowScale; without the
// option Environment (the variable VELA_SCALE; nullptr or "" when unset) gives it, else 1. False
// for a bad N or an option without one: the player then refuses to start, with Usage.
bool TakeWindowScale(std::vector<std::string>& Args, const char* Environment, int32_t& Scale);

// The targets of text out the user asked for.
struct TTextOutTargets {
    bool Stdout = false;          // "-"
    bool Clipboard = false;       // "clipboard"
    std::vector<uint16_t> Ports;  // "ws" or "ws:PORT": a WebSocket server on each, each port once
    std::vector<platform::TextOutOrigin> Origins;  // pages of other origins than the local ones the servers take
    bool Any() const { return Stdout || Clipboard || !Ports.empty(); }
};
// Takes every "--text-out=TARGET" and "--text-out TARGET" out of Args into Targets; without the
// option Environment (the variable VELA_TEXT_OUT, TARGET[,TARGET...]; nullptr or "" when unset)
// gives them. TARGET is "ws", "ws:PORT" (PORT 1..65535; DefaultTextOutPort without), "-" or
// "clipboard". False for a bad target or an option without one, Bad then naming it: the player
// refuses to start, with Usage.
bool TakeTextOutTargets(std::vector<std::string>& Args, const char* Environment, TTextOutTargets& Targets,
                        std::string& Bad);
// Takes every "--text-out-origin=URL" and "--text-out-origin URL" out of Args into
// Targets.Origins. False for a URL without an origin (platform::ParseTextOutOrigin) or an option
// without one, Bad then naming it: the player refuses to start, with Usage.
bool TakeTextOutOrigins(std::vector<std::string>& Args, TTextOutTargets& Targets, std::string& Bad);
// Hands the messages to the targets from now on. A target that cannot be had (a port in use, the
// clipboard without a window) is said once on standard error and left out; play goes on.
void StartTextOut(const TTextOutTargets& Targets, platform::Display& Display);

// Attaches the content archives the command line names. With arguments the base folder becomes
// the first one, then for each argument in order its folder's "game.dat" is attached when it
// exists, and the argument itself when it is a file ending with an archive trailer. Without
// arguments the base folder becomes the program's folder, and the program file is attached
// when it ends with an archive trailer; the "game.dat" beside the program is attached by the
// project once it has found the title's "install.dat" there.
void AttachArchives(TVrFileManager& Manager, const std::vector<std::string>& Args, const std::string& ProgramFile);

// Shows Text (code page 932) in a box with an OK button and writes it to standard error once as
// "Caption: Text", the memory budget's refusals lifted while it does.
void ReportMessage(platform::Display& Display, const std::string& Caption, const std::string& Text,
                   platform::MessageIcon Icon);
// Reports an error that ends the player as ReportMessage does, captioned "エラー" (an error, not a
// warning: the player goes on after a warning).
void ReportError(platform::Display& Display, const std::string& Text);

// The globals around the main window: the glyph rasteriser and the pixel fonts, the file manager
// with its pending work files, the exit-delete list, the folder dialog of the functions, the
// drawn file dialog and message box shown where the desktop has none, and the GIF picture
// class's registration.
void InitializeShell();
// Frees the file manager (its work files deleted), the glyph rasteriser and the pixel fonts, then
// deletes every file of the exit-delete list (one that is gone already is passed over) and frees
// the list.
void FinalizeShell();
