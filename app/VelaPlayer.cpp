// The program: the usage for "--help" (an unknown option, an argument after the folder, a bad
// window scale or a bad text-out target or origin is refused with it), the version for
// "--version", one player per game folder, the settings dialog for "/config", else the main
// window until it closes. Without a folder and without a title of its own the player asks for
// one. A folder that cannot be played is reported before anything is opened for it. A title's
// run confines itself to the title's folders (platform/confine.h) once they are known and before
// any thread starts; the desktop's programs come from a launcher forked before that. The companion
// library is found beside the program or where it is installed. The exit status is 1 when an
// error ended the player or another player has the folder, 2 for an unknown option, an argument
// too many, a bad scale, target, origin or limit, or no title and nobody to choose one, else 0.
#include "app/entry.h"
#include "app/gameini.h"
#include "app/runconfigs.h"
#include "app/view.h"
#include "core/diskbudget.h"
#include "core/header.h"
#include "core/membudget.h"
#include "core/sysutils.h"
#include "media/velabind.h"
#include "platform/confine.h"
#include "platform/display.h"
#include "platform/encoding.h"
#include "platform/endsignals.h"
#include "platform/fs.h"
#include "platform/launcher.h"
#include "platform/system.h"
#include "platform/textout.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

// Refuses to start for Why, with the usage; the exit status.
int RefuseStart(const std::string& Why) {
    platform::PrintMessage("velaplay", Why);
    std::fputs(Usage, stderr);
    return 2;
}

// The shell's globals (InitializeShell) from the first box the player may show to its end: the
// drawn box, shown where the desktop has none, needs its glyphs. At the end the player's
// temporary folder goes and the companion library is let go.
struct TShellScope {
    TShellScope() { InitializeShell(); }
    ~TShellScope() {
        FinalizeShell();
        platform::fs::RemoveTempFolder();
        UnbindVelaLibrary();
    }
    TShellScope(const TShellScope&) = delete;
    TShellScope& operator=(const TShellScope&) = delete;
};

// The launcher of the desktop's programs, ended and waited for at the player's end (the player's
// temporary folder and lock file are gone then); nothing without one.
struct TLauncherScope {
    TLauncherScope() = default;
    ~TLauncherScope() { platform::StopLauncher(); }
    TLauncherScope(const TLauncherScope&) = delete;
    TLauncherScope& operator=(const TLauncherScope&) = delete;
};

// The display with the shell's globals, made on first use: a title's run makes them once the
// player is confined (the window system and its libraries start threads, which the confinement
// must reach); a player that has to say something before, and then ends, makes them at once.
class TScreen {
public:
    platform::Display& operator()() {
        if (!display_) {
            display_ = platform::CreateDisplay();
            shell_.emplace();
        }
        return *display_;
    }

private:
    std::unique_ptr<platform::Display> display_;
    std::optional<TShellScope> shell_;
};

// The text-out targets while a title plays.
struct TTextOutScope {
    TTextOutScope(const TTextOutTargets& Targets, platform::Display& Display) { StartTextOut(Targets, Display); }
    ~TTextOutScope() { platform::ClearTextOutSinks(); }
    TTextOutScope(const TTextOutScope&) = delete;
    TTextOutScope& operator=(const TTextOutScope&) = delete;
};

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(platform::Utf8ToCp932(argv[i]));
    if (IsHelpStart(args)) {
        std::fputs(Usage, stdout);
        return 0;
    }
    if (IsVersionStart(args)) {
        std::printf("velaplay " VELA_VERSION "\n%s\n", platform::ConfinementLine(platform::KernelConfinement()).c_str());
        return 0;
    }
    int32_t scale = 1;
    const std::optional<std::string> scaleVariable = platform::EnvironmentVariable("VELA_SCALE");
    if (!TakeWindowScale(args, scaleVariable ? scaleVariable->c_str() : nullptr, scale))
        return RefuseStart("--scale and VELA_SCALE take a whole number from 1 to 8");
    TTextOutTargets textOut;
    std::string badTarget;
    const std::optional<std::string> textOutVariable = platform::EnvironmentVariable("VELA_TEXT_OUT");
    if (!TakeTextOutTargets(args, textOutVariable ? textOutVariable->c_str() : nullptr, textOut, badTarget))
        return RefuseStart("--text-out and VELA_TEXT_OUT take ws, ws:PORT, - or clipboard, not \"" + badTarget +
                           "\"");
    if (!TakeTextOutOrigins(args, textOut, badTarget))
        return RefuseStart("--text-out-origin takes a page's origin, scheme://host[:port], not \"" + badTarget + "\"");
    if (const std::string option = UnknownOption(args); !option.empty()) return RefuseStart("unknown option " + option);
    if (args.size() > 1) return RefuseStart("unexpected argument " + args[1] + " after the folder");
    int64_t memoryLimit = 0, diskLimit = 0;
    if (!MemoryLimitFromEnvironment(memoryLimit))
        return RefuseStart("VELA_MEMORY_LIMIT must be a whole number of MiB from 1 to 1048576");
    if (!DiskLimitFromEnvironment(diskLimit))
        return RefuseStart("VELA_DISK_LIMIT must be a whole number of MiB from 1 to 1048576");
    SetMemoryLimit(memoryLimit);
    EndOnRefusalAtTerminate();
    SetDiskLimit(diskLimit);
    if (!args.empty()) args[0] = TitleFolderArgument(args[0]);
    const std::string programFile = platform::fs::ProgramFile();

    platform::CatchEndSignals();
    // The settings dialog plays nothing: it needs neither the companion library nor the
    // confinement.
    const bool config = IsConfigStart(args);
    TScreen screen;
    if (args.empty() && !HasOwnTitle(programFile)) {
        int status = 0;
        const std::optional<std::string> chosen = ChooseTitle([&]() -> platform::Display& { return screen(); }, status);
        if (!chosen) return status;
        args.push_back(*chosen);
    }
    if (const std::string problem = config || args.empty() ? std::string() : TitlePathProblem(args[0]);
        !problem.empty()) {
        ReportError(screen(), problem);
        return 1;
    }
    TInstanceMutex mutex = CreateInstanceMutex(InstanceKey(args, ExtractFilePath(programFile)));
    // A title's run forks the launcher of the desktop's programs, then confines itself. The
    // launcher ends before the folder's lock is let go: it removes the lock file and the player's
    // temporary folder (made now for it), which the confined player cannot.
    const TLauncherScope launcher;
    if (mutex && !config) {
        const platform::Confinement offered = platform::KernelConfinement();
        const std::string temp = platform::fs::ToHostPath(platform::fs::TempFolder()).value_or(std::string());
        if (offered.abi > 0 && !platform::StartLauncher(temp, mutex->path())) {
            platform::PrintMessage("velaplay", std::string("the launcher of the desktop's programs cannot be made (") +
                                                   std::strerror(errno) + "): the title is not played");
            return 1;
        }
        const platform::Confinement confined =
            offered.abi > 0 ? platform::Confine(TitleConfinement(args, programFile)) : offered;
        if (confined.abi == 0) platform::PrintMessage("velaplay", "the player is not confined: " + confined.why);
    }
    platform::Display* const display = &screen();
    try {
        if (!config) BindVelaLibrary(CompanionFolder(ExtractFilePath(programFile)));
    } catch (const EVelaBindError& E) {
        ReportError(*display, E.what());
        return 1;
    }

    int result = 0;
    if (mutex) {
        try {
            if (config) {
                RunConfigDialog(*display, GameIniFile(ExtractFilePath(programFile)));
            } else {
                const TTextOutScope textOutScope(textOut, *display);
                TFormView form(*display, programFile, args);
                form.WindowScale = scale;
                form.FormCreate();
                form.Run();
                if (form.Failed()) result = 1;
            }
        } catch (const std::exception& E) {
            ReportError(*display, ErrorText(E));
            result = 1;
        }
        // The display went away under the title: it ended as a close ends it, and says why.
        if (const std::string lost = display->lost(); !lost.empty()) {
            platform::PrintMessage("velaplay", lost + "; the title was ended");
            result = 1;
        }
        // The launcher removes the lock file while the lock is held.
        platform::StopLauncher();
        ReleaseInstanceMutex(mutex);
    } else {
        const std::string folder = args.empty() ? ExtractFilePath(programFile) : args[0];
        platform::PrintMessage("velaplay", "the title in " + platform::fs::ShownPath(folder) + " is already playing");
        result = 1;
    }
    return result;
}
