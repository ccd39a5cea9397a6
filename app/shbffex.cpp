// The folder-browse dialog over the display's folder dialog.
#include "app/shbffex.h"

#include "core/header.h"
#include "platform/fs.h"
#include "platform/system.h"

#include <array>

namespace {

using platform::UserFolder;

// A special folder: its shell number and the host folder standing in for it, an XDG folder and
// a part below it. The shell numbers lie at the positions of the folder enumerations.
struct TSpecialFolder {
    int32_t Id;
    std::optional<UserFolder> Base;  // nothing: the root of the file system, or no stand-in
    const char* Below;               // nullptr: no stand-in
};

constexpr std::array<TSpecialFolder, 12> kSpecialFolders = {{
    {0x00, UserFolder::Desktop, ""},              // desktop
    {0x00, UserFolder::Desktop, ""},              // manual: the desktop when the name is no folder
    {0x11, std::nullopt, "/"},                    // drives: the host has one tree
    {0x10, UserFolder::Desktop, ""},              // desktop directory
    {0x06, std::nullopt, nullptr},                // favorites
    {0x02, UserFolder::LocalData, "/applications"},  // programs
    {0x08, std::nullopt, nullptr},                // recent
    {0x09, std::nullopt, nullptr},                // send-to
    {0x0B, UserFolder::LocalData, "/applications"},  // start menu
    {0x07, UserFolder::Config, "/autostart"},     // startup
    {0x15, UserFolder::Templates, ""},            // templates
    {0x12, std::nullopt, nullptr},                // network
}};

// The option flags by option.
constexpr std::array<uint32_t, 5> kOptionFlags = {BIF_DONTGOBELOWDOMAIN, BIF_RETURNFSANCESTORS, BIF_RETURNONLYFSDIRS,
                                                  BIF_STATUSTEXT, BIF_STATUSTEXT};

// The host folder a manual name or else the special folder at Index stands for; "" for none.
std::string FolderOf(int Index, bool Manual, const std::string& Name) {
    if (Manual && !Name.empty() && platform::fs::DirectoryExists(Name))
        if (std::optional<std::string> host = platform::fs::ToHostPath(Name)) return *host;
    return SpecialFolderHostPath(SpecialFolderId(Index));
}

}  // namespace

uint32_t BrowseFlags(TSHBrowseOptions Options, bool& ShowPath) {
    uint32_t flags = 0;
    ShowPath = false;
    for (int option = sboDontGoBelowDomain; option <= sboStatusText; ++option) {
        if (!(Options & SHBrowseOption(static_cast<TSHBrowseOption>(option)))) continue;
        flags |= kOptionFlags[static_cast<size_t>(option)];
        if (option == sboStatusTextAndShowPath) {
            ShowPath = true;
            break;
        }
    }
    return flags;
}

int32_t SpecialFolderId(int Index) {
    return Index >= 0 && static_cast<size_t>(Index) < kSpecialFolders.size() ? kSpecialFolders[static_cast<size_t>(Index)].Id
                                                                            : -1;
}

std::string SpecialFolderHostPath(int32_t Id) {
    for (const TSpecialFolder& folder : kSpecialFolders) {
        if (folder.Id != Id) continue;
        if (!folder.Below) return {};
        if (!folder.Base) return folder.Below;
        const std::string base = platform::UserFolderPath(*folder.Base);
        return base.empty() ? std::string() : base + folder.Below;
    }
    return {};
}

bool TSHBrowseForFolderEx::Execute() {
    FolderName.clear();
    DisplayName.clear();
    if (!owner_) return false;
    const std::string initial = FolderOf(SelectFolder, SelectFolder == sfManual, SelectFolderName);
    if (FolderOf(RootFolder, RootFolder == rfManual, RootFolderName).empty()) return false;
    const std::optional<std::string> chosen = owner_->fileDialog({platform::FileDialogKind::Folder, initial, {}, Caption});
    if (!chosen) return false;
    FolderName = platform::fs::ToProgramPath(*chosen);
    DisplayName = ExtractFileName(FolderName);
    if (DisplayName.empty()) DisplayName = FolderName;  // the root
    return true;
}

std::optional<std::string> BrowseForFolder(platform::Display& Owner) {
    TSHBrowseForFolderEx dialog(&Owner);
    dialog.ShowStyle = ssCenterScreen;
    if (!dialog.Execute()) return std::nullopt;
    return dialog.FolderName;
}
