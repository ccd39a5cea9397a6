// The functions that reach outside the script: the desktop (wallpaper, opening an address or a
// folder, message boxes, file and folder dialogs), screenshots and memory files, content files
// extracted to disk, and the list of save slots.
//
// Memory files are entries of the file manager that live in memory: names beginning with "mem:"
// or "save:" (a "save:" file is kept in the save file too). No file these functions write lies
// outside the folder it belongs to: the checks run on the host path the name finally resolves to.
// The files they write on the disk are the title's, held to its disk budget.
#include "core/diskbudget.h"
#include "core/installset.h"
#include "core/jstrm.h"
#include "core/stringlist.h"
#include "core/sysutils.h"
#include "core/titlename.h"
#include "core/vrfiles_manager.h"
#include "graphics/graphic.h"
#include "graphics/miras.h"
#include "media/screenman.h"
#include "objects/vitemex_mira.h"
#include "objects/vitems.h"
#include "platform/encoding.h"
#include "platform/fs.h"
#include "platform/placement.h"
#include "platform/system.h"
#include "script/params_funcs_families.h"
#include "script/project.h"
#include "script/savedata.h"
#include "script/services.h"
#include "script/titlewrites.h"

#include <algorithm>
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

// ---- The desktop ----

// The display the dialogs are shown on; nullptr when the player has none.
platform::Display* DialogDisplay() { return ScreenMan ? ScreenMan->Form : nullptr; }

// The index of the button chosen in a box of Labels; without a display nobody can answer, and
// the box gets its Cancel one.
int AskChoice(const std::string& Caption, const std::string& Text, const std::vector<std::string>& Labels,
              size_t Cancel, platform::MessageIcon Icon) {
    if (platform::Display* display = DialogDisplay()) return display->choiceBox(Caption, Text, Labels, Cancel, Icon);
    platform::PrintMessage(Caption, Text);
    return static_cast<int>(Cancel);
}

// The buttons of the overwrite question, in order.
enum TOverwriteAnswer : int { AnswerYes, AnswerNo, AnswerCancel, AnswerNoToAll, AnswerYesToAll };

// The question before a file that stands at Target is replaced, naming it as the host does.
std::string OverwriteQuestion(const std::string& ShownTarget) {
    return ShownTarget + "\r\n\r\n既に同名のファイルが存在します。上書きしますか？";
}

// The buttons of a question of two.
const std::vector<std::string>& YesNo() {
    static const std::vector<std::string> labels{"はい(&Y)", "いいえ(&N)"};
    return labels;
}

// Whether the user said yes to Question; nobody answering is a no.
bool AskYes(const std::string& Question) {
    return AskChoice("確認", Question, YesNo(), AnswerNo, platform::MessageIcon::Question) == AnswerYes;
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

// OpenUrl(Target): an absolute web or ftp address, or one of the title's own folders, none
// hidden (a relative one taken from the title's folder), handed to the desktop's opener; a folder goes as
// its absolute host path. None is handed over while platform::kMaxOpeners still run. No result.
void FnOpenUrl(TParamCollectionItem&, TSysFuncArgs Args) {
    const std::string target = Args[0]->AsStr();
    if (platform::IsWebAddress(target)) {
        platform::OpenWithDesktop(platform::Cp932ToUtf8(target));
        return;
    }
    if (!VrFileManager || target.empty()) return;
    const std::string& base = VrFileManager->BaseFolder();
    const bool absolute = target[0] == '\\' || (target.size() > 1 && target[1] == ':');
    const std::string folder = absolute ? target : base + target;
    if (!platform::fs::DirectoryExists(folder) || !platform::fs::IsPlainlyInside(base, folder)) return;
    if (const std::optional<std::string> host = platform::fs::ToHostPath(folder)) platform::OpenWithDesktop(*host);
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
// picture for "", written as a bitmap (a file of the title) and set as the desktop's background
// once the user said yes to it.
void FnSetWallPaper(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    const TTitleFiles titleFiles;
    Dest.SetAsBool(false);
    const std::string image = Args[0]->AsStr();
    if (!MiraMan || !Bases || (!image.empty() && !ScriptHost().FileExists(image))) return;
    if (!AskYes("デスクトップの背景をこのタイトルの画像に変更しますか？")) return;
    const std::string bitmap = WallpaperFile();
    if (bitmap.empty()) return;
    if (!image.empty()) {
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
    const TSlotCaptions* slots = Project ? &Project->SlotCaptions : nullptr;
    const int32_t count = slots ? slots->Count() : 0;
    if (Args.size() > 0) SetList(*Args[0], count, [&](int32_t i) { Args[0]->SetStrAt(i, slots->Strings(i)); });
    if (Args.size() > 1)
        SetList(*Args[1], count, [&](int32_t i) { Args[1]->SetIntAt(i, slots->Objects(i)); });
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

// SaveScreen Register 1: the file goes when the program ends, unless something stood at its name
// before (Existed). 2: it becomes an entry of the title's install set.
void RegisterScreenFile(int32_t Register, const platform::fs::Beneath& Target, const std::string& FileName,
                        bool Existed) {
    if (Register == 1 && ExitDeleteList && !Existed) ExitDeleteList->Add(Target);
    const std::string setFile = VrFileManager->BaseFolder() + "install.dat";
    const platform::fs::Beneath setPlace{Target.Root, {"install.dat"}};
    if (Register == 2 && platform::fs::FileExists(setFile) &&
        JudgeTitleWrite("SaveScreen", setPlace) != TTitleWrite::Refused) {
        TVelaInstallSet set;
        set.LoadFromFile(setFile);
        if (set.IndexOfEntry(FileName) >= 0) return;
        set.AddEntry(FileName);
        WriteFileReplacing(setPlace, [&](TStream& File) { set.SaveToStream(File); });
    }
}

// The steps of SaveScreen after the name was accepted: into a memory file, or the file Target
// beneath the title's folder; whether the picture was stored.
bool StoreScreen(TSysFuncArgs Args, const std::string& FileName, const std::optional<platform::fs::Beneath>& Target) {
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
    if (!Target) {
        TMemoryStream* data = TakeMemoryFile(FileName);
        if (!data) return false;
        list->SaveToStream(*data, 1, 70);
        if (IsSavedFileName(FileName) && !(Project && Project->StoreSavedFile(FileName, *data))) return false;
        MiraMan->Purge(FileName);
        return true;
    }
    // The picture and the install set that names it are the title's files; a file of the user's
    // standing at its name is replaced only with a yes.
    const TTitleWrite access = JudgeTitleWrite("SaveScreen", *Target);
    if (access == TTitleWrite::Refused || (access == TTitleWrite::Ask && !AskYes(OverwriteQuestion(Target->Shown()))))
        return false;
    int error = 0;
    const std::optional<platform::fs::EntryFolder> folder = platform::fs::EntryFolder::Reach(*Target, nullptr, error);
    const bool existed = folder && folder->LookAt();
    const TTitleFiles titleFiles;
    list->SaveToFile(*Target);
    TitleWrote(*Target);
    MiraMan->Purge(FileName);
    if (Args.size() == 5) RegisterScreenFile(Args[4]->AsInt(), *Target, FileName, existed);
    return true;
}

// SaveScreen(FileName [, Width, Height, OtherLayer, Register]): the screen as a Mira picture, in
// a memory file or a file under the base folder. False for a name that is not ".mra", is not a
// plain name below the base folder, or when anything fails on the way.
void FnSaveScreen(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    Dest.SetAsBool(false);
    if (!VrFileManager || !Bases || !MiraMan) return;
    const std::string fileName = Args[0]->AsStr();
    if (!AnsiSameText(ExtractFileExt(fileName), ".mra")) return;
    std::optional<platform::fs::Beneath> target;
    if (!IsMemoryFileName(fileName) && !(target = TitlePlace(TitleFolder(), fileName))) return;
    try {
        Dest.SetAsBool(StoreScreen(Args, fileName, target));
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

// Where ExtractFile writes: the folders below a root, and the root's program path, held open
// once the root stands (the desktop or documents folder is made for the first file written).
struct TExtractDestination {
    std::string RootFolder;
    platform::fs::Beneath Folder;

    // Whether the root stands (made when missing) and is held.
    bool HoldRoot() {
        if (!Folder.Root && platform::ForceDirectories(RootFolder)) Folder.Root = platform::fs::HeldFolder::Open(RootFolder);
        return Folder.Root != nullptr;
    }
};

// The folder ExtractFile writes into from its folder text: beneath the desktop or documents
// folder for "{Desktop}" and "{MyDocuments}", else beneath the title's own folder, the rest of
// the text read as a title's name (ReadTitleName); nothing for another key in braces, a drive,
// or a rest that is not plain.
std::optional<TExtractDestination> ExtractDestination(const std::string& FolderText) {
    std::string text = FolderText;
    std::string root;
    if (text.empty() || text[0] != '{') {
        root = VrFileManager->BaseFolder();
    } else {
        text.erase(0, 1);
        const size_t close = text.find('}');
        const std::string key = text.substr(0, close);
        text = close == std::string::npos ? std::string() : text.substr(close + 1);
        const int32_t csidl =
            AnsiSameText(key, "Desktop") ? CSIDL_DESKTOP : AnsiSameText(key, "MyDocuments") ? CSIDL_PERSONAL : -1;
        const std::string special = csidl < 0 ? std::string() : GetSpecialFolder(csidl);
        if (special.empty()) return std::nullopt;
        root = AppendBackslash(special);
    }
    // A separator it begins with only joins it to the root.
    std::optional<TTitleName> below = ReadTitleName(text);
    if (root.empty() || !below || !below->Drive.empty()) return std::nullopt;
    return TExtractDestination{root, {platform::fs::HeldFolder::Open(root), std::move(below->Parts)}};
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

// Writes the content file Name as Target, by way of a new file beside it that then replaces
// Target (a link there is replaced, never written through), a file of the title; whether it was
// written. A failure is said on standard error; a refusal of the title's disk budget passes on.
bool WriteContentFile(const std::string& Name, const platform::fs::Beneath& Target) {
    try {
        const TTitleFiles titleFiles;
        WriteFileReplacing(Target, [&](TStream& File) { VrFileManager->ReadFile(File, Name); });
        return true;
    } catch (const EDiskBudget&) {
        throw;
    } catch (const EVelaError& E) {
        platform::PrintMessage("ExtractFile", E.what());
        return false;
    }
}

// ExtractFile(Patterns [, Confirm [, Folder]]): the content files the patterns name written into
// the destination folder (chosen in the folder dialog without a Folder), made with its folders
// once the first file to write was judged; true when any was and none failed. A file that stands
// is replaced only after the user said yes to it: with Confirm, and always where it is not the
// title's own (JudgeTitleWrite).
void FnExtractFile(TParamCollectionItem& Dest, TSysFuncArgs Args) {
    Dest.SetAsBool(false);
    if (!VrFileManager) return;
    std::optional<TExtractDestination> destination;
    if (Args.size() < 3) {
        const std::optional<std::string> chosen = AskFolder();
        if (!chosen) return;
        destination = TExtractDestination{AppendBackslash(*chosen), {platform::fs::HeldFolder::Open(AppendBackslash(*chosen)), {}}};
    } else {
        destination = ExtractDestination(Args[2]->AsStr());
        if (!destination) platform::PrintMessage("ExtractFile", Args[2]->AsStr() + " is not a folder a title may write");
    }
    if (!destination) return;
    const platform::fs::Beneath& folder = destination->Folder;
    const bool confirm = OptionalBool(Args, 1, true);
    bool skipExisting = false, replaceAll = false, written = false, failed = false, folderMade = false;
    const TCustomParam& patterns = *Args[0];
    static const std::vector<std::string> fiveAnswers{"はい(&Y)", "いいえ(&N)", "キャンセル", "すべていいえ(&O)",
                                                      "すべてはい(&A)"};
    const std::vector<std::string>& labels = patterns.Count() <= 1 ? YesNo() : fiveAnswers;
    const size_t cancel = labels.size() == 2 ? AnswerNo : AnswerCancel;
    for (int32_t i = 0; i < patterns.Count(); ++i) {
        for (const std::string& name : NamesOfPattern(WithoutLeadingBackslash(patterns.GetStrAt(i)))) {
            // The content name's last part, read as one name: the file lies right in the folder,
            // and a link standing there is replaced, never followed.
            if (!VrFileManager->FileExists(name)) continue;
            const std::string part = NamePart(name);
            const std::optional<TTitleName> read = ReadTitleName(part);
            if (!read || !read->Relative() || read->Parts.size() != 1) {
                platform::PrintMessage("ExtractFile", part + " is not a name a title may write");
                failed = true;
                continue;
            }
            if (!destination->HoldRoot()) return;
            const platform::fs::Beneath target = folder.Below(read->Parts[0]);
            const TTitleWrite access = JudgeTitleWrite("ExtractFile", target);
            if (access == TTitleWrite::Refused) {
                failed = true;
                continue;
            }
            if (!folderMade && !(folderMade = ForceTitleFolders(folder))) return;
            int error = 0;
            const std::optional<platform::fs::EntryFolder> at = platform::fs::EntryFolder::Reach(target, nullptr, error);
            const std::optional<platform::fs::EntryFolder::Entry> standing = at ? at->LookAt() : std::nullopt;
            if (!replaceAll && (access == TTitleWrite::Ask || (confirm && standing && standing->Regular))) {
                if (skipExisting) continue;
                const int answer =
                    AskChoice("確認", OverwriteQuestion(target.Shown()), labels, cancel, platform::MessageIcon::Question);
                if (answer == AnswerCancel) break;
                if (answer == AnswerNo || answer == AnswerNoToAll) {
                    skipExisting = answer == AnswerNoToAll;
                    continue;
                }
                replaceAll = answer == AnswerYesToAll;
            }
            if (!WriteContentFile(name, target)) {
                failed = true;
                continue;
            }
            written = true;
            TitleWrote(target);
        }
    }
    Dest.SetAsBool(written && !failed);
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
