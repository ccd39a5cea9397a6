#include "script/project.h"

#include "core/installset.h"
#include "core/membudget.h"
#include "core/sysutils.h"
#include "core/vrfiles_manager.h"
#include "objects/vitemex_mira.h"
#include "platform/fs.h"
#include "script/params_vars.h"
#include "script/services.h"

namespace {

constexpr char ProjectFileName[] = "vela.vpb";
constexpr char OriginalProjectFileName[] = "/original_vela.vpb";
constexpr char InstallFileName[] = "install.dat";
constexpr char ContentFileName[] = "game.dat";

// The smallest declaration: its type byte and an empty name.
constexpr int64_t MinDeclaration = 1 + 4;

// The value stored after a declaration of that type; nullptr for the types that store none.
std::unique_ptr<TCustomParam> ReadDeclaredValue(TStream& Stream, uint8_t Type) {
    if (Type < PT_INT || Type > PT_STR) return nullptr;
    std::unique_ptr<TCustomParam> value = CreateParam(Type);
    switch (Type) {
        case PT_INT: value->SetInt(ReadStreamInt(Stream)); break;
        case PT_FLOAT: value->SetFloat(ReadStreamExtended(Stream)); break;
        case PT_BOOL: value->SetBool(ReadStreamByte(Stream) != 0); break;
        default: value->SetStr(ReadStreamString(Stream)); break;
    }
    return value;
}

TVrFileManager& FileManager() {
    if (!VrFileManager) throw EVelaError("内部エラー");
    return *VrFileManager;
}

// Settings read from the bytes of the project file Name; a file cut short or absurd is reported
// by its name.
void ReadSettings(TProjectSetting& Settings, TStream& Stream, const std::string& Name) {
    try {
        Settings.LoadFromStream(Stream);
    } catch (const EReadError&) {
        throw EVelaError(Name + ":プロジェクトファイルが壊れています");
    }
}

// The largest screen side a title may ask for: its layers and the window are sized from it
// before anything is drawn.
constexpr int32_t MaxScreenSide = 4096;

// Refuses the screen size of the project file Name unless each side is 1 to MaxScreenSide.
void CheckScreenSize(const TProjectSetting& Settings, const std::string& Name) {
    if (Settings.Width < 1 || Settings.Width > MaxScreenSide || Settings.Height < 1 || Settings.Height > MaxScreenSide)
        throw EVelaError(Format("%s:画面の大きさ %d x %d には対応していません(1 から %d まで)", Name.c_str(),
                                static_cast<int>(Settings.Width), static_cast<int>(Settings.Height),
                                static_cast<int>(MaxScreenSide)));
}

}  // namespace

// ---- TProjectSetting ----

void TProjectSetting::LoadFromStream(TStream& Stream) {
    Version = static_cast<uint32_t>(ReadStreamInt(Stream));
    if (Version > static_cast<uint32_t>(MaxFileVersion)) throw EVelaError("このバージョンには対応していません");
    Title = ReadStreamString(Stream);
    Width = ReadStreamInt(Stream);
    Height = ReadStreamInt(Stream);
    FullWidth = ReadStreamInt(Stream);
    FullHeight = ReadStreamInt(Stream);
    StartPage = ReadStreamString(Stream);
    if (Version >= 110) ClosingPage = ReadStreamString(Stream);
    RegistryName = ReadStreamString(Stream);
    FrameListParam = ReadStreamInt(Stream);
    if (Version >= 104) SaveEnabled = ReadStreamByte(Stream);
    if (Version >= 106) Flag106 = ReadStreamByte(Stream);
    if (Version >= 109) MediaExtensions = ReadStreamString(Stream);
    if (Version >= 113) PauseInBackground = ReadStreamByte(Stream);
    if (Version >= 114) DiscCheck = ReadStreamByte(Stream);
    if (Version >= 116) ToolbarVisible = ReadStreamByte(Stream);
    DiscPrompt = ReadStreamString(Stream);
    QuitText = ReadStreamString(Stream);
    const int32_t count = ReadStreamCount(Stream, MinDeclaration);
    Declarations.clear();
    for (int32_t i = 0; i < count; ++i) {
        TProjectDeclaration& declaration = Declarations.emplace_back();
        declaration.Type = ReadStreamByte(Stream);
        declaration.Name = ReadStreamString(Stream);
        declaration.Value = ReadDeclaredValue(Stream, declaration.Type);
    }
    DiskList.LoadFromStream(Stream);
}

// ---- TProject ----

TProject* Project = nullptr;

void CreateProject(TProjectStart Start) {
    if (Project) return;
    auto project = std::make_unique<TProject>();
    Project = project.get();
    try {
        project->Create(Start);
    } catch (...) {
        Project = nullptr;
        if (VrFileManager) VrFileManager->OnQuitRequest = nullptr;
        SetTerminating(true);
        throw;
    }
    project.release();
}

void FreeProject() {
    if (!Project) return;
    const std::unique_ptr<TProject> project(Project);
    project->Destroy();
    Project = nullptr;
    if (VrFileManager) VrFileManager->OnQuitRequest = nullptr;
}

TProject::TProject() : sections_(std::make_unique<TSaveSections>()) { SetTerminating(true); }

void TProject::Create(TProjectStart& Start) {
    // The project file, the save file's entries and the start page are read for the title: the
    // budget refuses them past its limit, whoever opens the title.
    const TBudgetRefusal reading;
    programFile_ = Start.ProgramFile;
    args_ = Start.Args;
    if (Start.Sections) sections_ = std::move(Start.Sections);
    TVrFileManager& files = FileManager();
    files.OnQuitRequest = [] {
        SetTerminating(true);
        ScriptHost().RequestClose();
    };
    if ((args_.empty() || !AnsiSameText(args_[0], "/config")) && !OpenContentArchive()) return;

    TMemoryStream projectFile;
    try {
        files.ReadFile(projectFile, ProjectFileName);
    } catch (const EVelaError& e) {
        // Content without its project file cannot be played: say why the player closes.
        ScriptHost().EndWithError(e.what());
        return;
    }
    if (projectFile.Size() == 0) {
        ScriptHost().EndWithError("プロジェクトがありません");
        return;
    }
    TProjectSetting settings;
    ReadSettings(settings, projectFile, ProjectFileName);
    CheckScreenSize(settings, ProjectFileName);
    CopySettings(settings);
    ReadSaveFile();
    DeclareVariables(settings);
    SetTerminating(false);
    opened_ = true;

    ReadSaveList();
    LoadOriginalProjectSetting();
    Runner = std::make_unique<TCallMan>();
    if (!files.FileExists(StartPage)) {
        ScriptHost().EndWithError("スタートページがありません");
        return;
    }
    Runner->Start(StartPage);
}

void TProject::CopySettings(const TProjectSetting& Settings) {
    Title = Settings.Title;
    Width = Settings.Width;
    Height = Settings.Height;
    FullWidth = Settings.FullWidth;
    FullHeight = Settings.FullHeight;
    StartPage = Settings.StartPage;
    ClosingPage = Settings.ClosingPage;
    RegistryName = Settings.RegistryName;
    FrameListParam = Settings.FrameListParam;
    // The title's pictures are read under its identification code.
    if (MiraMan) MiraMan->IdentCode = static_cast<uint32_t>(FrameListParam);
    SaveEnabled = Settings.SaveEnabled;
    Flag106 = Settings.Flag106;
    MediaExtensions = Settings.MediaExtensions;
    PauseInBackground = Settings.PauseInBackground;
    DiscCheck = Settings.DiscCheck;
    ToolbarVisible = Settings.ToolbarVisible;
    DiscPrompt = Settings.DiscPrompt;
    QuitText = Settings.QuitText;
    DiskList = Settings.DiskList;
    FileManager().DiscPrompt = DiscPrompt;
    FileManager().QuitText = QuitText;
}

void TProject::DeclareVariables(const TProjectSetting& Settings) {
    if (!ParamMan) return;
    for (const TProjectDeclaration& declaration : Settings.Declarations) {
        // A status variable restored from the save data keeps its value.
        if (ParamMan->Find(declaration.Name)) continue;
        TParamCollectionItem& item = ParamMan->AddParam(declaration.Type);
        try {
            item.SetName(declaration.Name);
        } catch (...) {
            ParamMan->Delete(item.CachedIndex());
            throw;
        }
        item.SetStatus(true);
        if (declaration.Value) item.Assign(*declaration.Value);
    }
}

void TProject::LoadOriginalProjectSetting() {
    if (!FileManager().FileExists(OriginalProjectFileName)) return;
    TMemoryStream file;
    FileManager().ReadFile(file, OriginalProjectFileName);
    TProjectSetting original;
    ReadSettings(original, file, OriginalProjectFileName);
    DiskList = original.DiskList;
}

void TProject::Destroy() {
    if (Runner && !ClosingPage.empty()) {
        try {
            Runner->Start(ClosingPage);
            SetTerminating(false);
            Runner->Run();
        } catch (const std::exception& e) {
            ScriptHost().ShowWarning(ErrorText(e));
        }
        SetTerminating(true);
    }
    if (opened_) SaveStatus();
}

void TProject::Run() {
    if (Runner) Runner->Run();
}

bool TProject::ProcessPending() {
    const int32_t load = PendingLoad, save = PendingSave;
    PendingLoad = PendingSave = -1;
    if (load >= 0) LoadGame(load);
    if (save >= 0) ExecuteSave(save, SavePage, SaveCaption, SavePC);
    return load >= 0;
}

bool TProject::FileExists(const std::string& Name) {
    TVrFileManager& files = FileManager();
    if (files.FileExists(Name)) return true;
    if (Name.empty()) return false;
    const int32_t disc = DiskList.GetDisk(Name);
    if (disc <= 0) return false;
    // The extensions are matched with the dot that follows them: ".og" is not ".ogg".
    const std::string extension = AnsiLowerCase(ExtractFileExt(Name)) + ".";
    if (AnsiLowerCase(MediaExtensions + ".").find(extension) != std::string::npos) return false;
    return files.RequestDisc(disc);
}

// ---- Locating the content ----

bool TProject::Ask(const std::string& Text, bool Unanswered) const {
    const TVrFileManager& files = FileManager();
    return files.AskOkCancel ? files.AskOkCancel(Text) : Unanswered;
}

std::string TProject::FindDiscRoot(const std::string& SetId, bool WithContent) const {
    for (const std::string& root : FileManager().CdRoots()) {
        if (!platform::fs::FileExists(root + InstallFileName)) continue;
        if (WithContent && !platform::fs::FileExists(root + ContentFileName)) continue;
        TVelaInstallSet set;
        try {
            set.LoadFromFile(root + InstallFileName);
        } catch (const EVelaError&) {
            continue;  // not a disc of ours
        }
        if (set.SetId == SetId) return root;
    }
    return {};
}

bool TProject::FindInstallDisc() const { return !FindDiscRoot(Title, false).empty(); }

namespace {

// What a title's folder lacks: the folder itself, or which of its content and install files.
std::string MissingInstallation(const std::string& Folder) {
    const std::string shown = platform::fs::ShownPath(Folder);
    if (!platform::fs::DirectoryExists(Folder)) {
        // Folder ends in the "\" that made it one: a file of that name is there, but no folder.
        const std::string named = Folder.substr(0, Folder.size() - 1);
        if (!named.empty() && platform::fs::FileExists(named))
            return platform::fs::ShownPath(named) + " はフォルダではありません";
        return shown + " がありません";
    }
    std::string missing;
    for (const char* name : {ContentFileName, InstallFileName})
        if (!platform::fs::FileExists(AppendBackslash(Folder) + name)) missing += (missing.empty() ? "" : "、") + std::string(name);
    return shown + " に " + missing + " がありません";
}

}  // namespace

bool TProject::OpenContentArchive() {
    TVrFileManager& files = FileManager();
    // The folder beside the program holds the title only when the command line names no content:
    // a "game.dat" there belongs to another title when the arguments name this one's.
    const std::string folder = args_.empty() ? ExtractFilePath(programFile_) : std::string();
    if (!folder.empty() && platform::fs::FileExists(folder + InstallFileName) && files.BaseFolder().empty())
        files.SetBaseFolder(folder);
    if (!files.FileExists(InstallFileName)) {
        // The player's own title lacks files of its installation; a folder named on the command
        // line just holds no complete title.
        const std::string missing = MissingInstallation(files.BaseFolder().empty() ? folder : files.BaseFolder());
        ScriptHost().EndWithError(args_.empty() ? "インストールし直してください\r\n" + missing : missing);
        return false;
    }
    TVelaInstallSet set;
    {
        TMemoryStream file;
        files.ReadFile(file, InstallFileName);
        try {
            set.LoadFromStream(file);
        } catch (const EReadError&) {
            throw EVelaError(std::string(InstallFileName) + ":インストール情報が壊れています");
        }
    }
    files.InstallSetId = set.SetId;
    const std::string content = folder + ContentFileName;
    if (!folder.empty() && platform::fs::FileExists(content)) {
        files.Add(content);
        if (set.FullyInstalled) return true;
    } else if (files.Count() > 0 && set.FullyInstalled) {
        return true;
    }
    // The content is on a disc: until one of this set is in a drive, ask for it.
    for (;;) {
        if (const std::string root = FindDiscRoot(set.SetId, true); !root.empty()) {
            files.Add(root + ContentFileName);
            return true;
        }
        if (!Ask("ディスクを入れてください", false) && Ask(QuitText, true)) return false;
    }
}
