// The drawn file and folder dialog.
#include "app/filedialog.h"

#include "core/header.h"
#include "core/sysutils.h"
#include "platform/fs.h"
#include "platform/system.h"

#include <algorithm>

namespace {

using platform::FileDialogKind;

constexpr char ParentEntry[] = "..";

const char* DefaultTitle(FileDialogKind Kind) {
    switch (Kind) {
    case FileDialogKind::Save: return "名前を付けて保存";
    case FileDialogKind::Folder: return "フォルダの選択";
    default: return "開く";
    }
}

// The parts of a text between its separators.
std::vector<std::string> Split(const std::string& Text, char Separator) {
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < Text.size(); ++i) {
        if (IsLeadByte(Text[i]) && i + 1 < Text.size())
            parts.back() += Text.substr(i++, 2);
        else if (Text[i] == Separator)
            parts.emplace_back();
        else
            parts.back() += Text[i];
    }
    return parts;
}

// Whether a typed name names an entry of the folder itself: no separators, drive or parent.
bool IsPlainName(const std::string& Name) {
    if (Name == "." || Name == "..") return false;
    for (size_t i = 0; i < Name.size(); ++i) {
        if (IsLeadByte(Name[i]))
            ++i;
        else if (Name[i] == '\\' || Name[i] == '/' || Name[i] == ':')
            return false;
    }
    return true;
}

// Whether a program folder is the root of its drive ("Z:\").
bool IsDriveRoot(const std::string& Folder) { return Folder.size() <= 3; }

// The parent of a program folder ending in "\".
std::string ParentFolder(const std::string& Folder) {
    return ExtractFilePath(Folder.substr(0, Folder.size() - 1));
}

}  // namespace

TFileDialogForm::TFileDialogForm(platform::Display& Display, const platform::FileDialogRequest& Request)
    : display_(Display), kind_(Request.kind), title_(Request.title.empty() ? DefaultTitle(Request.kind) : Request.title) {
    SetCaption(title_);
    SetBounds(0, 0, ClientWidth, ClientHeight);
    const bool files = kind_ != FileDialogKind::Folder;
    LabelFolder.SetParent(this);
    LabelFolder.SetBounds(8, 8, 404, 12);
    LabelFolder.ShowAccelChar = false;
    ListEntries.SetParent(this);
    ListEntries.SetBounds(8, 26, 404, files ? 168 : 232);
    ListEntries.TabStop = true;
    ListEntries.OnClick = [this](TControl*) { EntryClick(); };
    ListEntries.OnDblClick = [this](TControl*) { EntryDblClick(); };
    LabelName.SetParent(this);
    LabelName.SetBounds(8, 206, 90, 12);
    LabelName.SetCaption("ファイル名(&N)：");
    LabelName.FocusControl = &EditName;
    EditName.SetParent(this);
    EditName.SetBounds(104, 202, 308, 21);
    EditName.TabStop = true;
    LabelName.SetVisible(kind_ == FileDialogKind::Save);
    EditName.SetVisible(kind_ == FileDialogKind::Save);
    LabelFilter.SetParent(this);
    LabelFilter.SetBounds(8, 236, 90, 12);
    LabelFilter.SetCaption("ファイルの種類(&T)：");
    LabelFilter.FocusControl = &ListFilters;
    ListFilters.SetParent(this);
    // Two filters at a time.
    ListFilters.SetBounds(104, 230, 308, 2 * ListFilters.ItemHeight() + 4);
    ListFilters.TabStop = true;
    ListFilters.OnClick = [this](TControl*) { ListFolder(); };
    LabelFilter.SetVisible(files);
    ListFilters.SetVisible(files);
    btnOK.SetParent(this);
    btnOK.SetBounds(256, 268, 75, 25);
    btnOK.SetCaption("OK");
    btnOK.Default = true;
    btnOK.TabStop = true;
    btnOK.OnClick = [this](TControl*) { OkClick(); };
    btnCancel.SetParent(this);
    btnCancel.SetBounds(337, 268, 75, 25);
    btnCancel.SetCaption("キャンセル");
    btnCancel.Cancel = true;
    btnCancel.ModalResult = mrCancel;
    btnCancel.TabStop = true;

    // "Text|*.txt;*.doc|All|*.*": a description without masks is left out.
    const std::vector<std::string> parts = Split(Request.filter, '|');
    for (size_t i = 0; files && i + 1 < parts.size(); i += 2) {
        filters_.emplace_back(parts[i], Split(parts[i + 1], ';'));
        ListFilters.Items.push_back(parts[i]);
    }
    ListFilters.ItemsChanged();
    if (!filters_.empty()) ListFilters.SetItemIndex(0);

    const std::string start = Request.folder.empty() ? std::string() : AppendBackslash(platform::fs::ToProgramPath(Request.folder));
    if (start.empty() || !ChangeFolder(start)) ChangeFolder(platform::fs::CurrentFolder());
    SetActiveControl(kind_ == FileDialogKind::Save ? static_cast<TWinControl*>(&EditName) : &ListEntries);
}

std::vector<std::string> TFileDialogForm::Masks() const {
    const int32_t index = ListFilters.ItemIndex();
    if (index < 0 || static_cast<size_t>(index) >= filters_.size()) return {"*"};
    return filters_[static_cast<size_t>(index)].second;
}

bool TFileDialogForm::ChangeFolder(const std::string& ProgramFolder) {
    if (!platform::fs::DirectoryExists(ProgramFolder)) return false;
    folder_ = AppendBackslash(ProgramFolder);
    ListFolder();
    return true;
}

void TFileDialogForm::ListFolder() {
    const std::vector<std::string> masks = Masks();
    // "*.*" is every name, with or without a dot.
    const auto shown = [&](const std::string& Name) {
        return std::any_of(masks.begin(), masks.end(),
                           [&](const std::string& Mask) { return Mask == "*.*" || MatchesMask(Name, Mask); });
    };
    std::vector<TEntry> folders, files;
    for (const platform::FolderEntry& entry : platform::ListFolder(folder_)) {
        if (entry.hidden) continue;
        if (entry.directory)
            folders.push_back({entry.name, true});
        else if (entry.regularFile && kind_ != FileDialogKind::Folder && shown(entry.name))
            files.push_back({entry.name, false});
    }
    const auto byName = [](const TEntry& A, const TEntry& B) { return AnsiCompareText(A.Name, B.Name) < 0; };
    std::sort(folders.begin(), folders.end(), byName);
    std::sort(files.begin(), files.end(), byName);
    entries_.clear();
    if (!IsDriveRoot(folder_)) entries_.push_back({ParentEntry, true});
    entries_.insert(entries_.end(), folders.begin(), folders.end());
    entries_.insert(entries_.end(), files.begin(), files.end());
    ListEntries.Items.clear();
    for (const TEntry& entry : entries_)
        ListEntries.Items.push_back(entry.Folder && entry.Name != ParentEntry ? entry.Name + "\\" : entry.Name);
    ListEntries.ItemsChanged();
    ListEntries.SetItemIndex(-1);
    LabelFolder.SetCaption(folder_);
}

const TFileDialogForm::TEntry* TFileDialogForm::Selected() const {
    const int32_t index = ListEntries.ItemIndex();
    return index >= 0 && static_cast<size_t>(index) < entries_.size() ? &entries_[static_cast<size_t>(index)] : nullptr;
}

void TFileDialogForm::Enter(const TEntry& Entry) {
    ChangeFolder(Entry.Name == ParentEntry ? ParentFolder(folder_) : folder_ + Entry.Name + "\\");
}

void TFileDialogForm::Choose(const std::string& ProgramPath) {
    chosen_ = platform::fs::ToHostPath(ProgramPath);
    if (chosen_) ModalResult = mrOk;
}

void TFileDialogForm::EntryClick() {
    const TEntry* entry = Selected();
    if (kind_ == FileDialogKind::Save && entry && !entry->Folder) EditName.SetText(entry->Name);
}

void TFileDialogForm::EntryDblClick() {
    if (const TEntry* entry = Selected(); entry && entry->Folder) {
        Enter(*entry);
        return;
    }
    OkClick();
}

void TFileDialogForm::OkClick() {
    const TEntry* entry = Selected();
    if (kind_ == FileDialogKind::Folder) {
        Choose(entry && entry->Name != ParentEntry ? folder_ + entry->Name : folder_);
        return;
    }
    const std::string name = kind_ == FileDialogKind::Save ? EditName.Text() : std::string();
    if (name.empty()) {
        if (entry && entry->Folder)
            Enter(*entry);
        else if (entry && kind_ == FileDialogKind::Open)
            Choose(folder_ + entry->Name);
        return;
    }
    if (!IsPlainName(name)) return;
    if (platform::fs::DirectoryExists(folder_ + name)) {
        if (ChangeFolder(folder_ + name)) EditName.SetText({});
        return;
    }
    if (platform::fs::FileExists(folder_ + name) &&
        display_.messageBox(title_, name + " は既に存在します。\r\n上書きしますか？", platform::MessageButtons::YesNo,
                            platform::MessageIcon::Warning) != platform::MessageResult::Yes)
        return;
    Choose(folder_ + name);
}

std::optional<std::string> DrawnFileDialog(platform::Display& Owner, const platform::FileDialogRequest& Request) {
    TFileDialogForm form(Owner, Request);
    if (ShowModal(form, Owner) != mrOk) return std::nullopt;
    return form.Chosen();
}
