#include "app/entry.h"

#include "app/dockhooks.h"

#include "app/filedialog.h"
#include "app/messagebox.h"
#include "app/shbffex.h"

#include "core/stringlist.h"
#include "core/sysutils.h"
#include "core/vrfiles.h"
#include "core/vrfiles_manager.h"
#include "graphics/gifpics_picture.h"
#include "media/activemovie.h"
#include "media/velabind.h"
#include "platform/dialogs.h"
#include "platform/encoding.h"
#include "platform/fs.h"
#include "platform/hostpath.h"
#include "platform/textout.h"
#include "script/params_funcs.h"
#include "script/titlewrites.h"
#include "text/fontpixels.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <string_view>
#include <utility>


namespace {

constexpr char ContentFileName[] = "game.dat";
constexpr char InstallFileName[] = "install.dat";

bool HasDrive(const std::string& Path) {
    if (Path.size() < 2 || Path[1] != ':') return false;
    const char c = Path[0];
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool IsSeparator(char C) { return C == '\\' || C == '/'; }

// The parts of Path between its separators (single bytes only), empty ones left out.
std::vector<std::string> PathParts(const std::string& Path) {
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < Path.size(); ++i) {
        if (IsLeadByte(Path[i]) && i + 1 < Path.size()) {
            parts.back() += Path.substr(i++, 2);
        } else if (IsSeparator(Path[i])) {
            if (!parts.back().empty()) parts.emplace_back();
        } else {
            parts.back() += Path[i];
        }
    }
    if (parts.back().empty()) parts.pop_back();
    return parts;
}

bool EndsWithSeparator(const std::string& Path) {
    bool separator = false;
    for (size_t i = 0; i < Path.size(); ++i) {
        separator = !IsLeadByte(Path[i]) && IsSeparator(Path[i]);
        if (IsLeadByte(Path[i])) ++i;
    }
    return separator;
}

}  // namespace

std::string ExpandFileName(const std::string& Path, const std::string& CurrentFolder) {
    const std::string drive = HasDrive(CurrentFolder) ? CurrentFolder.substr(0, 2) : "Z:";
    const std::string current = HasDrive(CurrentFolder) ? CurrentFolder.substr(2) : "\\";
    // The drive and the path below its root.
    std::string root = drive, below;
    if (HasDrive(Path)) {
        root = Path.substr(0, 2);
        below = Path.substr(2);
        const bool relative = !below.empty() && !IsSeparator(below[0]);
        if (relative && AnsiSameText(root, drive)) below = current + "\\" + below;
    } else if (!Path.empty() && IsSeparator(Path[0])) {
        below = Path;
    } else {
        below = current + "\\" + Path;
    }
    std::vector<std::string> parts;
    for (std::string& part : PathParts(below)) {
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (part != ".") {
            parts.push_back(std::move(part));
        }
    }
    std::string full = root + "\\";
    for (size_t i = 0; i < parts.size(); ++i) full += (i ? "\\" : "") + parts[i];
    return !parts.empty() && EndsWithSeparator(Path) ? full + "\\" : full;
}

std::string InstanceKey(const std::vector<std::string>& Args, const std::string& ProgramFolder) {
    const std::string current = platform::fs::CurrentFolder();
    std::string key = AppendBackslash(ExpandFileName(Args.empty() ? ProgramFolder : Args[0], current));
    for (size_t i = 0; i < key.size(); ++i) {
        if (IsLeadByte(key[i]))
            ++i;
        else if (key[i] == '\\')
            key[i] = '-';
    }
    return key;
}

std::string TitleFolderArgument(const std::string& Arg) {
    const size_t name = AfterLastDelimiter(Arg, "\\/:");
    if (!AnsiSameText(std::string_view(Arg).substr(name), ContentFileName) || platform::fs::DirectoryExists(Arg))
        return Arg;
    return name ? Arg.substr(0, name) : ".";
}

bool HasOwnTitle(const std::string& ProgramFile) {
    const std::string folder = ExtractFilePath(ProgramFile);
    return platform::fs::FileExists(folder + ContentFileName) || platform::fs::FileExists(folder + InstallFileName) ||
           HasArchiveTrailer(ProgramFile);
}

namespace {

std::string Unreadable(const std::string& Path, const std::string& Reason) {
    return platform::fs::ShownPath(Path) + " を読めません(" + Reason + ")";
}

}  // namespace

std::string TitlePathProblem(const std::string& Folder) {
    const platform::fs::PathState state = platform::fs::LookAtPath(Folder);
    const std::string shown = platform::fs::ShownPath(Folder);
    if (!state.exists) return shown + " がありません";
    if (!state.unreadable.empty()) return Unreadable(Folder, state.unreadable);
    if (!state.folder)
        return HasArchiveTrailer(Folder) ? std::string() : shown + " はフォルダでも game.dat でもありません";
    bool titled = false;
    for (const char* name : {ContentFileName, InstallFileName}) {
        const std::string file = AppendBackslash(Folder) + name;
        const platform::fs::PathState found = platform::fs::LookAtPath(file);
        if (!found.exists || found.folder) continue;
        if (!found.unreadable.empty()) return Unreadable(file, found.unreadable);
        titled = true;
    }
    return titled ? std::string() : shown + " にタイトルがありません(game.dat も install.dat もありません)";
}

std::optional<std::string> ChooseTitle(const std::function<platform::Display&()>& Display, int& Status) {
    Status = 2;
    if (!platform::WindowWanted()) {
        std::fputs(Usage, stderr);
        return std::nullopt;
    }
    const platform::DesktopFileAnswer answer = platform::DesktopFileDialog(
        {platform::FileDialogKind::Open, "", platform::Cp932ToUtf8("タイトル (game.dat)|game.dat;GAME.DAT"),
         platform::Cp932ToUtf8("再生するタイトルの game.dat を選んでください")});
    switch (answer.outcome) {
        case platform::DialogOutcome::Chosen:
            return TitleFolderArgument(platform::fs::ToProgramPath(answer.path));
        case platform::DialogOutcome::Cancelled:
            Status = 0;
            break;
        case platform::DialogOutcome::Unavailable:
            ReportMessage(Display(), "velaplay",
                          "再生するタイトルを指定してください。タイトルの game.dat を Vela プレイヤーで開くか、"
                          "そのフォルダを指定して起動します: velaplay フォルダ",
                          platform::MessageIcon::Information);
            break;
    }
    return std::nullopt;
}

platform::ConfinedFolders TitleConfinement(const std::vector<std::string>& Args, const std::string& ProgramFile) {
    const auto host = [](const std::string& Path) { return platform::fs::ToHostPath(Path).value_or(std::string()); };
    platform::ConfinedFolders folders;
    const std::string programFolder = ExtractFilePath(ProgramFile);
    // A player with a title appended, named itself, plays from its folder.
    const bool named = !Args.empty();
    const std::string title = named && !platform::fs::DirectoryExists(Args[0]) ? ExtractFilePath(Args[0])
                              : named                                         ? Args[0]
                                                                              : programFolder;
    folders.title = host(title);
    folders.titleReadOnly = IsReadOnlyTitleFolder(title);
    try {
        folders.save = host(ExtractFilePath(named ? GetTitleSaveFile(Args[0]) : GetSaveDataFile(ProgramFile, "")));
    } catch (const EVelaError&) {
        // Nowhere to save: the title plays without saves and says so when it saves.
    }
    folders.readOnly = {host(programFolder), host(CompanionFolder(programFolder))};
    for (const std::string& disc : DiscMountRoots(platform::fs::MountTable())) folders.readOnly.push_back(host(disc));
    return folders;
}

bool IsConfigStart(const std::vector<std::string>& Args) { return !Args.empty() && AnsiSameText(Args[0], "/config"); }

namespace {

constexpr char VersionOption[] = "--version";

bool IsHelpOption(const std::string& Arg) { return Arg == "--help" || Arg == "-h"; }

}  // namespace

bool IsHelpStart(const std::vector<std::string>& Args) { return !Args.empty() && IsHelpOption(Args[0]); }

bool IsVersionStart(const std::vector<std::string>& Args) { return !Args.empty() && Args[0] == VersionOption; }

std::string UnknownOption(const std::vector<std::string>& Args) {
    for (const std::string& arg : Args)
        if (arg.starts_with('-') && !IsHelpOption(arg) && arg != VersionOption) return arg;
    return {};
}

namespace {

// A whole number 1..MaxWindowScale in decimal digits.
bool ParseWindowScale(std::string_view Text, int32_t& Scale) {
    int32_t value = 0;
    const char* end = Text.data() + Text.size();
    const auto [stop, error] = std::from_chars(Text.data(), end, value);
    if (error != std::errc() || stop != end || value < 1 || value > MaxWindowScale) return false;
    Scale = value;
    return true;
}

}  // namespace

bool TakeWindowScale(std::vector<std::string>& Args, const char* Environment, int32_t& Scale) {
    constexpr std::string_view option = "--scale", joined = "--scale=";
    Scale = 1;
    for (size_t i = 0; i < Args.size(); ++i) {
        // "--scale=N" is one argument, "--scale N" two.
        const bool together = Args[i].starts_with(joined);
        if (!together && Args[i] != option) continue;
        const size_t taken = together ? 1 : std::min<size_t>(2, Args.size() - i);
        const bool parsed = together ? ParseWindowScale(std::string_view(Args[i]).substr(joined.size()), Scale)
                                     : taken == 2 && ParseWindowScale(Args[i + 1], Scale);
        Args.erase(Args.begin() + ptrdiff_t(i), Args.begin() + ptrdiff_t(i + taken));
        return parsed;
    }
    return !Environment || !*Environment || ParseWindowScale(Environment, Scale);
}

namespace {

// Takes every "Option=VALUE" and "Option VALUE" out of Args into Values, in order; false for the
// option last without a value, Bad then naming it.
bool TakeOptionValues(std::vector<std::string>& Args, std::string_view Option, std::vector<std::string>& Values,
                      std::string& Bad) {
    const std::string joined = std::string(Option) + "=";
    for (size_t i = 0; i < Args.size();) {
        const bool together = Args[i].starts_with(joined);
        if (!together && Args[i] != Option) {
            ++i;
            continue;
        }
        if (!together && i + 1 == Args.size()) {
            Bad = Args[i];
            return false;
        }
        Values.push_back(together ? Args[i].substr(joined.size()) : Args[i + 1]);
        Args.erase(Args.begin() + ptrdiff_t(i), Args.begin() + ptrdiff_t(i + (together ? 1 : 2)));
    }
    return true;
}

// One target into Targets; false when Target is none.
bool ParseTextOutTarget(std::string_view Target, TTextOutTargets& Targets) {
    if (Target == "-") return Targets.Stdout = true;
    if (Target == "clipboard") return Targets.Clipboard = true;
    int32_t port = platform::DefaultTextOutPort;
    if (Target.starts_with("ws:")) {
        const std::string_view digits = Target.substr(3);
        const char* end = digits.data() + digits.size();
        const auto [stop, error] = std::from_chars(digits.data(), end, port);
        if (error != std::errc() || stop != end || port < 1 || port > 65535) return false;
    } else if (Target != "ws") {
        return false;
    }
    if (std::find(Targets.Ports.begin(), Targets.Ports.end(), port) == Targets.Ports.end())
        Targets.Ports.push_back(uint16_t(port));
    return true;
}

}  // namespace

bool TakeTextOutTargets(std::vector<std::string>& Args, const char* Environment, TTextOutTargets& Targets,
                        std::string& Bad) {
    Targets = {};
    std::vector<std::string> targets;
    if (!TakeOptionValues(Args, "--text-out", targets, Bad)) return false;
    for (const std::string& target : targets) {
        if (!ParseTextOutTarget(target, Targets)) {
            Bad = target;
            return false;
        }
    }
    const bool given = !targets.empty();
    if (given || !Environment || !*Environment) return true;
    for (std::string_view rest = Environment;;) {
        const size_t comma = rest.find(',');
        const std::string_view target = rest.substr(0, comma);
        if (!ParseTextOutTarget(target, Targets)) {
            Bad = std::string(target);
            return false;
        }
        if (comma == std::string_view::npos) return true;
        rest.remove_prefix(comma + 1);
    }
}

bool TakeTextOutOrigins(std::vector<std::string>& Args, TTextOutTargets& Targets, std::string& Bad) {
    std::vector<std::string> urls;
    if (!TakeOptionValues(Args, "--text-out-origin", urls, Bad)) return false;
    for (const std::string& url : urls) {
        const std::optional<platform::TextOutOrigin> origin = platform::ParseTextOutOrigin(url);
        if (!origin) {
            Bad = url;
            return false;
        }
        Targets.Origins.push_back(*origin);
    }
    return true;
}

void StartTextOut(const TTextOutTargets& Targets, platform::Display& Display) {
    if (Targets.Stdout) platform::AddTextOutSink(platform::MakeStdoutTextOut());
    if (Targets.Clipboard) {
        if (Display.headless())
            std::fputs("velaplay: text out: the clipboard needs a window; it is left out\n", stderr);
        else
            platform::AddTextOutSink(platform::MakeClipboardTextOut(Display));
    }
    for (const uint16_t port : Targets.Ports) {
        std::string error;
        std::unique_ptr<platform::TextOutServer> server = platform::TextOutServer::Start(port, error, Targets.Origins);
        if (server)
            platform::AddTextOutSink(std::move(server));
        else
            std::fprintf(stderr, "velaplay: text out: the WebSocket server on %s; it is left out\n", error.c_str());
    }
}

const char Usage[] =
    "Usage: velaplay [--scale N] [--text-out=TARGET]... [--text-out-origin=URL]... [FOLDER]\n"
    "Plays the title installed in FOLDER: its game.dat with install.dat beside it (FOLDER may be\n"
    "given as the path of that game.dat). Without FOLDER, the title beside the program, or the one\n"
    "appended to it; where there is none, the desktop's file chooser asks for a title's game.dat\n"
    "(cancelled: the exit status 0), and without a display this text goes to standard error with\n"
    "the exit status 2. One player runs per folder.\n"
    "  velaplay /config     the settings dialog: DirectSound and the sound delay, kept in game.ini\n"
    "  velaplay -h, --help  this text\n"
    "  velaplay --version   the player's version\n"
    "  --scale N, --scale=N opens the window at N times the title's size (N a whole number 1..8;\n"
    "                       default 1, or VELA_SCALE=N). The window can be resized and maximised:\n"
    "                       the scene is drawn scaled to it, its aspect kept, bars at the sides.\n"
    "  --text-out=TARGET    hands each message the title shows to a reader's tools; given once or\n"
    "                       more (or VELA_TEXT_OUT=TARGET[,TARGET...]). TARGET: ws or ws:PORT, a\n"
    "                       WebSocket server on 127.0.0.1 (port 6677 by default) sending each\n"
    "                       message as one text frame; - standard output, one JSON object a line;\n"
    "                       clipboard, the desktop's clipboard. Ctrl+Shift+C copies the message\n"
    "                       shown to the clipboard.\n"
    "  --text-out-origin=URL lets the pages of URL's origin (scheme://host[:port]) connect to\n"
    "                       the WebSocket server; given once or more. Programs and local pages\n"
    "                       (file:, http://localhost, http://127.0.0.1, http://[::1]) always may;\n"
    "                       any other page is refused.\n"
    "VELA_CDROM=IMAGE plays the title's CD tracks from a disc image (.cue with its .bin, .toc, .nrg).\n"
    "VELA_MEMORY_LIMIT=MIB bounds the player's whole heap while it plays a title (default: a\n"
    "quarter of the machine's memory, at most 2048 MiB); a title that needs more ends with an error.\n"
    "VELA_DISK_LIMIT=MIB bounds what the files a title writes take on the disk in one run (default\n"
    "1024 MiB; a file written again counts once); a write past it ends the title with an error.\n"
    "VELA_SCALE, VELA_TEXT_OUT, VELA_MEMORY_LIMIT and VELA_DISK_LIMIT set empty are taken as not set.\n"
    "VELA_HEADLESS=1 plays without a window. An error that ends the player (a FOLDER that is\n"
    "missing, unreadable or holds no title included) is written to standard error and gives the\n"
    "exit status 1, as does a second player for a folder that one plays already, or the window's\n"
    "display going away; an unknown option, an argument after FOLDER, a bad N, TARGET or limit\n"
    "gives this text on standard error and the exit status 2.\n";

void AttachArchives(TVrFileManager& Manager, const std::vector<std::string>& Args, const std::string& ProgramFile) {
    if (Args.empty()) {
        Manager.SetBaseFolder(ExtractFilePath(ProgramFile));
        if (HasArchiveTrailer(ProgramFile)) Manager.Add(ProgramFile);
        return;
    }
    Manager.SetBaseFolder(Args[0]);
    for (const std::string& arg : Args) {
        if (const std::string content = AppendBackslash(arg) + ContentFileName; platform::fs::FileExists(content))
            Manager.Add(content);
        if (HasArchiveTrailer(arg)) Manager.Add(arg);
    }
}

void ReportMessage(platform::Display& Display, const std::string& Caption, const std::string& Text,
                   platform::MessageIcon Icon) {
    const TBudgetRefusalLifted telling;
    Display.report(Caption, Text, Icon);
}

void ReportError(platform::Display& Display, const std::string& Text) {
    ReportMessage(Display, "エラー", Text, platform::MessageIcon::Error);
}

void InitializeShell() {
    InitializeFontPixels();
    gif::InitializeGifPictures();
    CreateVrFileSystem();
    if (!ExitDeleteList) ExitDeleteList = new TExitDeleteList;
    FolderDialog = BrowseForFolder;
    CaptureGate = MayWriteCapture;
    platform::SetFileDialogFallback(DrawnFileDialog);
    platform::SetMessageBoxFallback(DrawnMessageBox);
}

void FinalizeShell() {
    RemoveAllHookProcs();
    FolderDialog = nullptr;
    CaptureGate = nullptr;
    platform::SetFileDialogFallback(nullptr);
    platform::SetMessageBoxFallback(nullptr);
    FreeVrFileSystem();
    // The pixel-font files close before the list deletes them.
    FinalizeFontPixels();
    gif::FinalizeGifPictures();
    if (!ExitDeleteList) return;
    ExitDeleteList->DeleteAll();
    delete std::exchange(ExitDeleteList, nullptr);
}
