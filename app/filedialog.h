#pragma once
// The file and folder dialog the player draws itself where the desktop has none (no zenity):
// the folder's entries with "..", the filter's masks as a choice, a name field when saving, OK
// and "キャンセル". Folders show in the Windows form on drive Z:; the answer is a host path, as
// the display's file dialog gives it.
#include "app/widgets.h"
#include "platform/display.h"

#include <optional>
#include <string>
#include <vector>

class TFileDialogForm : public TWidgetForm {
public:
    TFileDialogForm(platform::Display& Display, const platform::FileDialogRequest& Request);

    TLabel LabelFolder;
    TListBox ListEntries;
    TLabel LabelName;
    TEdit EditName;  // saving only
    TLabel LabelFilter;
    TListBox ListFilters;  // files only
    TButton btnOK;
    TButton btnCancel;

    // The folder listed: a program path ending in "\".
    const std::string& Folder() const { return folder_; }
    // Lists another folder (a program path); false when it cannot be listed (the old one stays).
    bool ChangeFolder(const std::string& ProgramFolder);
    // The host path chosen by OK; nothing before (or after a cancel).
    const std::optional<std::string>& Chosen() const { return chosen_; }

    // OK: a folder entry is entered, a file (or, for folders, the folder) chosen; saving asks
    // before a file that exists is replaced.
    void OkClick();
    // A double click on an entry: as OK on it.
    void EntryDblClick();
    // Another entry selected: when saving, a file's name goes into the name field.
    void EntryClick();

    static constexpr int32_t ClientWidth = 420, ClientHeight = 300;

private:
    struct TEntry {
        std::string Name;  // code page 932; ".." for the parent
        bool Folder;
    };
    // The masks of the chosen filter ("*" without a filter).
    std::vector<std::string> Masks() const;
    void ListFolder();
    // The entry selected; nullptr when none.
    const TEntry* Selected() const;
    void Choose(const std::string& ProgramPath);
    // Enters a folder entry.
    void Enter(const TEntry& Entry);

    platform::Display& display_;
    platform::FileDialogKind kind_;
    std::string title_;
    // Description and masks of each filter pair.
    std::vector<std::pair<std::string, std::vector<std::string>>> filters_;
    std::string folder_;
    std::vector<TEntry> entries_;
    std::optional<std::string> chosen_;
};

// Shows the dialog in Owner's dialog window until OK or a cancel: the host path chosen, nothing
// when cancelled or when no dialog window can be opened.
std::optional<std::string> DrawnFileDialog(platform::Display& Owner, const platform::FileDialogRequest& Request);
