#pragma once
// The folder-browse dialog component: the desktop's folder chooser (zenity, else the drawn one)
// opening on a special folder or a folder of the caller's, titled with its caption.
#include "platform/display.h"

#include <cstdint>
#include <optional>
#include <string>

enum TShowStyle : uint8_t { ssNone, ssCenterScreen, ssClient };
enum TSelectFolder : uint8_t {
    sfDesktop, sfManual, sfDrives, sfDesktopDir, sfFavorites, sfPrograms, sfRecent, sfSendTo, sfStartMenu, sfStartup,
    sfTemplates
};
enum TRootFolder : uint8_t {
    rfDesktop, rfManual, rfDrives, rfDesktopDir, rfFavorites, rfPrograms, rfRecent, rfSendTo, rfStartMenu, rfStartup,
    rfTemplates, rtNetwork
};
enum TSHBrowseOption : uint8_t {
    sboDontGoBelowDomain, sboReturnFSAncestors, sboReturnOnlyFSDirs, sboStatusTextAndShowPath, sboStatusText
};
// A set of options: bit n for option n.
using TSHBrowseOptions = uint8_t;
constexpr TSHBrowseOptions SHBrowseOption(TSHBrowseOption Option) { return static_cast<TSHBrowseOptions>(1u << Option); }

// The shell's browse flags.
inline constexpr uint32_t BIF_RETURNONLYFSDIRS = 1, BIF_DONTGOBELOWDOMAIN = 2, BIF_STATUSTEXT = 4,
                          BIF_RETURNFSANCESTORS = 8;

// The flags of Options folded in option order; ShowPath tells whether the status line shows the
// path, which ends the fold at sboStatusTextAndShowPath.
uint32_t BrowseFlags(TSHBrowseOptions Options, bool& ShowPath);

// The shell number of the special folder at Index of the folder enumerations (sfDesktop .. rtNetwork).
int32_t SpecialFolderId(int Index);
// The host folder standing in for a shell special folder: the XDG folder of the same use; "" for
// one the host has none of (the network, favourites, recent items, send-to).
std::string SpecialFolderHostPath(int32_t Id);

class TSHBrowseForFolderEx {
public:
    // Owner is the window the dialog belongs to; nullptr when there is none (nothing is shown).
    explicit TSHBrowseForFolderEx(platform::Display* Owner) : owner_(Owner) {}

    // Shows the dialog: true when a folder was chosen, FolderName its program path and
    // DisplayName its name. False when it was cancelled, nothing could be shown or the root
    // folder has no stand-in on the host.
    bool Execute();

    TShowStyle ShowStyle = ssClient;
    TSelectFolder SelectFolder = sfDrives;
    std::string SelectFolderName;  // a program path, with sfManual
    TRootFolder RootFolder = rfDesktop;
    std::string RootFolderName;  // a program path, with rfManual
    std::string Caption;
    TSHBrowseOptions Options = SHBrowseOption(sboReturnOnlyFSDirs);

    // After Execute.
    std::string FolderName, DisplayName;

private:
    platform::Display* owner_;
};

// SelectDirectory's dialog: centred on the screen, owned by Owner. The program path of the folder
// chosen; nothing when cancelled.
std::optional<std::string> BrowseForFolder(platform::Display& Owner);
