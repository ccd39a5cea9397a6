// The functions that reach outside the script: the desktop (wallpaper, opening an address or a
// folder, message boxes, file and folder dialogs), screenshots and memory files, content files
// extracted to disk, and the list of save slots.
//
// Memory files are entries of the file manager that live in memory: names beginning with "mem:"
// or "save:" (a "save:" file is kept in the save file too). No file these functions write lies
// outside the folder it belongs to: the checks run on the host path the name finally resolves to.
#include "core/installset.h"
#include "core/jstrm.h"
#include "core/stringlist.h"
#include "core/sysutils.h"
#include "core/vrfiles_manager.h"
#include "graphics/graphic.h"
#include "graphics/miras.h"
#include "media/screenman.h"
#include "objects/vitemex_mira.h"
#include "objects/vitems.h"
#include "platform/encoding.h"
#include "platform/fs.h"
#include "platform/system.h"
#include "script/params_funcs_families.h"
#include "script/project.h"
#include "script/savedata.h"
#include "script/services.h"

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr char MemoryFilePrefix[] = "mem:";

bool StartsWithText(std::string_view S, std::string_view Prefix) {
    return S.size() >= Prefix.size() && AnsiSameText(S.substr(0, Prefix.size()), Prefix);
}

bool IsMemoryFileName(const std::string& Name) {
    return StartsWithText(Name, MemoryFilePrefix) || StartsWithText(Name, SavedFilePrefix);
}

bool IsSavedFileName(const std::string& Name) { return StartsWithText(Name, SavedFilePrefix); }

// The data of the memory file Name, emptied: its entry's own, else that of a new entry of the file
// manager's first archive. nullptr when the entry found has no data of its own (an archive's entry
// that merely bears such a name: it is neither read nor emptied) or there is no archive.
TMemoryStream* TakeMemoryFile(const std::string& Name) {
    if (!VrFileManager) return nullptr;
    if (TVrFile* entry = VrFileManager->FindFile(Name)) {
        if (entry->DataSource) entry->DataSource->Clear();
        return entry->DataSource.get();
    }
    if (VrFileManager->Count() == 0) return nullptr;
    return VrFileManager->GetCollection(0).AddStream(Name).DataSource.get();
}

// Path lies inside Folder and is not Folder itself, once both are resolved on the host.
bool StrictlyInside(const std::string& Folder, const std::string& Path) {
    return platform::fs::IsInsideFolder(Folder, Path) && !platform::fs::IsInsideFolder(Path, Folder);
}

// ---- The desktop ----

// The display the dialogs are shown on; nullptr when the player has none.
platform::Display* DialogDisplay() { return ScreenMan ? ScreenMan->Form : nullptr; }

// The index of the button chosen in a box of Labels; without a display the first one.
int AskChoice(const std::string& Caption, const std::string& Text, const std::vector<std::string>& Labels,
              size_t Cancel, platform::MessageIcon Icon) {
    if (platform::Display* display = DialogDisplay()) return display->choiceBox(Caption, Text, Labels, Cancel, Icon);
    platform::PrintMessage(Caption, Text);
    return 0;
}

// The program path chosen in a file or folder dialog opening on the desktop folder; nothing
// when it was cancelled.
std::optional<std::string> AskPath(platform::FileDialogKind Kind, const std::string& Filter) {
    platform::Display* display = DialogDisplay();
    if (!display) {
        std::fprintf(stderr, "no display for the file dialog: cancelled\n");
        return std::nullopt;
    }
    const std::optional<std::string> chosen = display->fileDialog(
        {Kind, platform::UserFolderPath(platform::UserFolder::Desktop), Filter, {}});
    if (!chosen) return std::nullopt;
    return platform::fs::ToProgramPath(*chosen);
}

// SelectOpenFile / SelectSaveFile(var FileName [, Filter]).
void SelectFile(TParamCollectionItem& Dest, TSysFuncArgs Args, platform::FileDialogKind Kind) {
    Dest.SetAsBool(false);
    const std::optional<std::string> path = AskPath(Kind, Args.size() > 1 ? Args[1]->AsStr() : std::string());
    if (!path) return;
    Args[0]->SetStr(*path);
    Dest.SetAsBool(true);
}

void FnSelectOpenFile(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    SelectFile(Dest, Args, platform::FileDialogKind::Open);
}

void FnSelectSaveFile(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    SelectFile(Dest, Args, platform::FileDialogKind::Save);
}

// A folder chosen in the folder dialog, ending in "\".
std::optional<std::string> AskFolder() {
    platform::Display* display = DialogDisplay();
    const std::optional<std::string> path =
        FolderDialog && display ? FolderDialog(*display) : AskPath(platform::FileDialogKind::Folder, {});
    if (!path) return std::nullopt;
    return AppendBackslash(*path);
}

void FnSelectDirectory(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    Dest.SetAsBool(false);
    const std::optional<std::string> folder = AskFolder();
    if (!folder) return;
    Args[0]->SetStr(*folder);
    Dest.SetAsBool(true);
}

void FnAlert(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    AskChoice("情報", Args[0]->AsStr(), {"OK"}, 0, platform::MessageIcon::Information);
    Dest.SetAsBool(true);
}

// OpenUrl(Target): an address beginning with "http" or "ftp" (letter case counts), or an
// existing folder, handed to the desktop's opener. No result.
void FnOpenUrl(TParamCollectionItem&, TSysFuncArgs Args) {
    const std::string target = Args[0]->AsStr();
    if (target.starts_with("http") || target.starts_with("ftp")) {
        platform::OpenWithDesktop(platform::Cp932ToUtf8(target));
    } else if (platform::fs::DirectoryExists(target)) {
        if (const std::optional<std::string> host = platform::fs::ToHostPath(target))
            platform::OpenWithDesktop(*host);
    }
}

// The bitmap the wallpaper is set from: "vazozovu.bmp" in the player's per-user data folder,
// which is made when missing; "" when there is none.
std::string WallpaperFile() {
    const std::string data = GetSpecialFolder(CSIDL_LOCAL_APPDATA);
    if (data.empty()) return {};
    const std::string folder = AppendBackslash(data) + "velaplay\\";
    return platform::ForceDirectories(folder) ? folder + "vazozovu.bmp" : std::string();
}

// A picture of the image cache in use by the function manager until the end of the scope.
struct TCacheUse {
    TMiraItem& Item;
    ~TCacheUse() { Item.Release(SysFuncMan); }
};

// SetWallPaper(ImageFile, Mode): the first frame of a content picture, or the current layer's
// picture for "", written as a bitmap and set as the desktop's background.
void FnSetWallPaper(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    Dest.SetAsBool(false);
    const std::string image = Args[0]->AsStr(), bitmap = WallpaperFile();
    if (bitmap.empty() || !MiraMan || !Bases) return;
    if (!image.empty()) {
        if (!ScriptHost().FileExists(image)) return;
        const TCacheUse use{MiraMan->Acquire(SysFuncMan, image, false, false)};
        if (use.Item.GetFrameCount() == 0) return;
        use.Item.GetFrame(0)->Surface->SaveToFile(bitmap);
    } else if (TCustomDIBX* surface = Bases->GetBase(Bases->GetCurrentLayer())->GetSurface()) {
        surface->SaveToFile(bitmap);
    }
    Dest.SetAsBool(SetWallPaper(bitmap, Args[1]->AsInt()));
}

// ---- Lists ----

// ListSaveCaption([var Captions [, var Slots]]): the number of listed save slots.
void FnListSaveCaption(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    const TStringList* slots = Project ? &Project->SlotCaptions : nullptr;
    const int32_t count = slots ? slots->Count() : 0;
    if (Args.size() > 0) SetList(*Args[0], count, [&](int32_t i) { Args[0]->SetStrAt(i, slots->Strings(i)); });
    if (Args.size() > 1)
        SetList(*Args[1], count, [&](int32_t i) { Args[1]->SetIntAt(i, static_cast<int32_t>(slots->Objects(i))); });
    Dest.SetAsInt(count);
}

// ---- Memory files and screenshots ----

// CopyFile(Source, Dest): a memory file's data into the memory file Dest (made when missing);
// a "save:" Dest is kept in the save file too.
void FnCopyFile(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    Dest.SetAsBool(false);
    const std::string source = Args[0]->AsStr(), target = Args[1]->AsStr();
    if (!IsMemoryFileName(source) || !VrFileManager) return;
    const TVrFile* from = VrFileManager->FindFile(source);
    if (!from || !from->DataSource) return;
    TMemoryStream& data = *from->DataSource;
    if (VrFileManager->FindFile(target) != from) {
        TMemoryStream* to = TakeMemoryFile(target);
        if (!to) return;
        to->LoadFromStream(data);
    }
    if (IsSavedFileName(target) && !(Project && Project->StoreSavedFile(target, data))) return;
    Dest.SetAsBool(true);
}

// The picture of a layer, Width x Height at 24 bits, as a one-frame list.
std::unique_ptr<TMiraFrameList> CaptureLayer(TVelaBase& Layer, int32_t Width, int32_t Height) {
    auto list = std::make_unique<TMiraFrameList>(0);
    TMiraFrame& frame = *list->AddFrame();
    frame.TransColor = -1;
    frame.TransPixel = -1;
    CheckImageSize(Width, Height, 24);
    frame.Image.SetSize(Width, Height, 24);
    Layer.Prepare();
    if (TCustomDIBX* surface = Layer.GetSurface()) frame.Image.CopyAllTo(0, 0, ColorsOf(*surface));
    return list;
}

// SaveScreen Register 1: the file goes when the program ends. 2: it becomes an entry of the
// title's install set.
void RegisterScreenFile(int32_t Register, const std::string& Base, const std::string& FileName) {
    const std::string path = Base + FileName;
    if (Register == 1 && ExitDeleteList) ExitDeleteList->Add(path);
    if (Register == 2 && platform::fs::FileExists(Base + "install.dat")) {
        TVelaInstallSet set;
        set.LoadFromFile(Base + "install.dat");
        if (set.IndexOfEntry(FileName) >= 0) return;
        set.AddEntry(FileName);
        set.SaveToFile(Base + "install.dat");
    }
}

// The steps of SaveScreen after the name was accepted; whether the picture was stored.
bool StoreScreen(TSysFuncArgs Args, const std::string& Base, const std::string& FileName) {
    const bool otherLayer = OptionalBool(Args, 3, false);
    const int32_t askedWidth = OptionalInt(Args, 1, 0), askedHeight = OptionalInt(Args, 2, 0);
    const int32_t width = askedWidth ? askedWidth : Bases->GetWidth();
    const int32_t height = askedHeight ? askedHeight : Bases->GetHeight();
    if (width <= 0 || height <= 0) return false;
    TVelaBase& layer = *Bases->GetBase(Bases->GetCurrentLayer() ^ (otherLayer ? 1 : 0));
    const std::unique_ptr<TMiraFrameList> list = CaptureLayer(layer, Bases->GetWidth(), Bases->GetHeight());
    TDIBSurface& image = list->GetFrame(0)->Image;
    if (image.Width() != width || image.Height() != height) {
        CheckImageSize(width, height, 24);
        image.Resize(width, height, -1, true);
    }
    if (IsMemoryFileName(FileName)) {
        TMemoryStream* data = TakeMemoryFile(FileName);
        if (!data) return false;
        list->SaveToStream(*data, 1, 70);
        if (IsSavedFileName(FileName) && !(Project && Project->StoreSavedFile(FileName, *data))) return false;
    } else {
        list->SaveToFile(Base + FileName);
    }
    MiraMan->Purge(FileName);
    if (Args.size() == 5 && !IsMemoryFileName(FileName)) RegisterScreenFile(Args[4]->AsInt(), Base, FileName);
    return true;
}

// SaveScreen(FileName [, Width, Height, OtherLayer, Register]): the screen as a Mira picture, in
// a memory file or a file under the base folder. False for a name that is not ".mra", lies
// outside the base folder, or when anything fails on the way.
void FnSaveScreen(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    Dest.SetAsBool(false);
    if (!VrFileManager || !Bases || !MiraMan) return;
    const std::string fileName = Args[0]->AsStr(), base = VrFileManager->BaseFolder();
    if (!platform::fs::DirectoryExists(base) || !AnsiSameText(ExtractFileExt(fileName), ".mra")) return;
    if (!IsMemoryFileName(fileName) && !StrictlyInside(base, base + fileName)) return;
    try {
        Dest.SetAsBool(StoreScreen(Args, base, fileName));
    } catch (const std::exception&) {
        // Nothing was stored as asked.
    }
}

// ---- Extracting content files ----

// The file-name part of a content name: after its last "\".
std::string NamePart(const std::string& Name) { return Name.substr(AfterLastDelimiter(Name, "\\")); }

std::string WithoutLeadingBackslash(std::string S) {
    if (!S.empty() && S[0] == '\\') S.erase(0, 1);
    return S;
}

// A folder text given to ExtractFile may not climb out of the folder it is taken in.
std::string NoClimbing(std::string S) {
    return S.find("..") != std::string::npos || S.find(':') != std::string::npos ? std::string() : S;
}

// The destination folder of ExtractFile from its folder text: under the desktop or documents
// folder for "{Desktop}" and "{MyDocuments}", else under the program's folder; "" for another
// key in braces.
std::string ExtractDestination(const std::string& FolderText) {
    std::string text = AppendBackslash(FolderText);
    if (text[0] != '{') return ExtractFilePath(platform::fs::ProgramFile()) + NoClimbing(WithoutLeadingBackslash(text));
    text.erase(0, 1);
    const size_t close = text.find('}');
    const std::string key = text.substr(0, close);
    text = close == std::string::npos ? std::string() : text.substr(close + 1);
    const int32_t csidl = AnsiSameText(key, "Desktop") ? CSIDL_DESKTOP : AnsiSameText(key, "MyDocuments") ? CSIDL_PERSONAL : -1;
    const std::string special = csidl < 0 ? std::string() : GetSpecialFolder(csidl);
    if (special.empty()) return {};
    return AppendBackslash(special) + NoClimbing(WithoutLeadingBackslash(text));
}

// The content names an element of ExtractFile's list stands for.
std::vector<std::string> NamesOfPattern(const std::string& Pattern) {
    if (Pattern.find_first_of("*?") == std::string::npos) return {Pattern};
    const size_t split = AfterLastDelimiter(Pattern, "\\");
    TStringList listed;
    VrFileManager->GetFileList(Pattern.substr(0, split), listed);
    std::vector<std::string> names;
    for (int i = 0; i < listed.Count(); ++i)
        if (MatchesMask(NamePart(listed.Strings(i)), std::string_view(Pattern).substr(split)))
            names.push_back(listed.Strings(i));
    return names;
}

// The buttons of the overwrite question, in order.
enum TOverwriteAnswer : int { AnswerYes, AnswerNo, AnswerCancel, AnswerNoToAll, AnswerYesToAll };

// ExtractFile(Patterns [, Confirm [, Folder]]): the content files the patterns name written into
// the destination folder (chosen in the folder dialog without a Folder); true when any was.
void FnExtractFile(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    Dest.SetAsBool(false);
    if (!VrFileManager) return;
    std::string folder;
    if (Args.size() < 3) {
        const std::optional<std::string> chosen = AskFolder();
        if (!chosen) return;
        folder = *chosen;
    } else {
        folder = ExtractDestination(Args[2]->AsStr());
    }
    if (folder.empty() || !platform::ForceDirectories(folder)) return;
    bool confirm = OptionalBool(Args, 1, true), skipExisting = false, written = false;
    const TCustomParam& patterns = *Args[0];
    const std::vector<std::string> labels =
        patterns.Count() <= 1 ? std::vector<std::string>{"はい(&Y)", "いいえ(&N)"}
                              : std::vector<std::string>{"はい(&Y)", "いいえ(&N)", "キャンセル", "すべていいえ(&O)",
                                                         "すべてはい(&A)"};
    const size_t cancel = labels.size() == 2 ? AnswerNo : AnswerCancel;
    for (int32_t i = 0; i < patterns.Count(); ++i) {
        for (const std::string& name : NamesOfPattern(WithoutLeadingBackslash(patterns.GetStrAt(i)))) {
            const std::string target = folder + NamePart(name);
            if (!VrFileManager->FileExists(name) || !StrictlyInside(folder, target)) continue;
            if (confirm && platform::fs::FileExists(target)) {
                if (skipExisting) continue;
                const int answer = AskChoice("確認", target + "\r\n\r\n既に同名のファイルが存在します。上書きしますか？",
                                             labels, cancel, platform::MessageIcon::Question);
                if (answer == AnswerCancel) break;
                if (answer == AnswerNo || answer == AnswerNoToAll) {
                    skipExisting = answer == AnswerNoToAll;
                    continue;
                }
                if (answer == AnswerYesToAll) confirm = false;
            }
            TFileStream file(target, fmCreate);
            VrFileManager->ReadFile(file, name);
            written = true;
        }
    }
    Dest.SetAsBool(written);
}

constexpr TSysFuncEntry kFuncs[] = {
    {"SetWallPaper", FnSetWallPaper},       {"ListSaveCaption", FnListSaveCaption},
    {"OpenUrl", FnOpenUrl},                 {"SaveScreen", FnSaveScreen},
    {"SelectOpenFile", FnSelectOpenFile},   {"SelectSaveFile", FnSelectSaveFile},
    {"SelectDirectory", FnSelectDirectory}, {"ExtractFile", FnExtractFile},
    {"CopyFile", FnCopyFile},               {"Alert", FnAlert},
};

}  // namespace

TFolderDialog FolderDialog = nullptr;

std::span<const TSysFuncEntry> SystemSysFuncs() { return kFuncs; }
