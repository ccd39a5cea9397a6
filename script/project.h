#pragma once
// The project: the title being played. Its settings come from the project file "vela.vpb" of the
// content; opening it locates the content (the archive beside the program or on a disc, named by
// "install.dat"), restores the status data, declares the title's status variables and starts the
// runner at the start page. It performs the game saves and loads the commands request (their
// code is in savedata.cpp) and runs a closing page when the player ends.
//
// Project file (little-endian; a string is an int32 byte count and the bytes): u32 Version;
// Title; int32 Width, Height, FullWidth, FullHeight; StartPage; ClosingPage (from 110);
// RegistryName; int32 FrameListParam; u8 SaveEnabled (from 104); u8 Flag106 (from 106);
// MediaExtensions (from 109); u8 PauseInBackground (from 113); u8 DiscCheck (from 114); u8
// ToolbarVisible (from 116); DiscPrompt; QuitText; int32 declaration count and each declaration
// (u8 value type, name, then by type: 1 int32, 2 80-bit extended, 3 u8, 4 string, other types
// no value); the disk list (TFolderDiskList).
#include "core/bigstreams.h"
#include "core/header.h"
#include "script/callman.h"
#include "script/savedata.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// One declared variable of the project file: its value type, its name and, for types 1 to 4, its
// value.
struct TProjectDeclaration {
    uint8_t Type = 0;
    std::string Name;
    std::unique_ptr<TCustomParam> Value;
};

// The settings of a project file.
class TProjectSetting {
public:
    uint32_t Version = 0;
    std::string Title;
    int32_t Width = 0, Height = 0, FullWidth = 0, FullHeight = 0;
    std::string StartPage, ClosingPage, RegistryName;
    int32_t FrameListParam = 0;
    uint8_t SaveEnabled = 0, Flag106 = 0;
    std::string MediaExtensions = ".wav.wma.ogg.mid";
    uint8_t PauseInBackground = 0, DiscCheck = 0, ToolbarVisible = 1;
    std::string DiscPrompt, QuitText;
    std::vector<TProjectDeclaration> Declarations;
    TFolderDiskList DiskList;

    // Reads a project file; fields a version does not hold keep their defaults. EVelaError
    // "このバージョンには対応していません" for a version above MaxFileVersion, EReadError on short
    // or absurd input.
    void LoadFromStream(TStream& Stream);
};

// What the main window gives the project.
struct TProjectStart {
    std::string ProgramFile;        // the program's own file (program path)
    std::vector<std::string> Args;  // the command-line arguments
    // The save-data parts of the rest of the player; nullptr for the headless ones.
    std::unique_ptr<TSaveSections> Sections;
};

class TProject {
public:
    // The defaults below; the terminating flag is set until Create has succeeded.
    TProject();
    TProject(const TProject&) = delete;
    TProject& operator=(const TProject&) = delete;

    std::string Title = "情報";
    int32_t Width = 0, Height = 0, FullWidth = 0, FullHeight = 0;
    std::string StartPage, ClosingPage, RegistryName;
    int32_t FrameListParam = 0;
    uint8_t SaveEnabled = 1, Flag106 = 1;
    std::string MediaExtensions = "wav.wma.ogg";
    uint8_t PauseInBackground = 0, DiscCheck = 0, ToolbarVisible = 1;
    std::unique_ptr<TCallMan> Runner;  // nullptr until the start page is reached
    // The requests of the game save and load commands, performed by ProcessPending.
    int32_t PendingLoad = -1;  // slot; -1 for none
    int32_t PendingSave = -1;  // slot; -1 for none
    std::string SavePage;      // where to continue after loading the requested save
    std::string SaveCaption;
    int32_t SavePC = 0;
    // The caption of each listed save slot.
    TSlotCaptions SlotCaptions;
    TFolderDiskList DiskList;  // content folder -> disc number
    bool SavePathKnown = false;
    std::string SavePath;
    std::string DiscPrompt = "ディスク%dを入れてから[OK]をクリックしてください";
    std::string QuitText = "終了します";

    // Opens the title. It leaves early, with the terminating flag set, when the content cannot
    // be located, the project file cannot be read ("プロジェクトがありません" for an empty one) or
    // the start page is missing ("スタートページがありません"). Errors of the project file's
    // settings (a screen width or height outside 1 to 4096 among them, before anything is sized
    // from it) and of loading the start page pass on. Save data that cannot be read is reported
    // with a warning and the title opens without it.
    void Create(TProjectStart& Start);
    // The closing steps: the closing page runs for one tick, then the status is saved (only for
    // a project that was opened: one that never read its status must not replace it). Errors
    // are shown as warnings.
    void Destroy();

    // One tick of the script, when there is a runner.
    void Run();
    // Performs a pending load, then a pending save; whether a load was requested.
    bool ProcessPending();
    // Whether content of that name can be read: the file manager's answer, else, for a file in a
    // folder of another disc whose extension is not one of MediaExtensions, the answer of the
    // request for that disc.
    bool FileExists(const std::string& Name);
    // Finds and attaches the content archive: the "game.dat" beside the program when started
    // without arguments (with them, the archives they name), else one on a disc; false when
    // there is none.
    bool OpenContentArchive();
    // Whether a disc root holds an "install.dat" of this title.
    bool FindInstallDisc() const;

    // ---- Save data (savedata.cpp) ----
    // "save.dat" is an archive of the entries "GAMESAVEDATA" + slot, "STATUSSAVEDATA", and files
    // the title keeps under names beginning with "save:". It is rewritten whole by way of a
    // temporary file, so a failed write leaves the saves that were there.

    // "save.dat" where GetTitleSaveFile puts it for the folder of the first argument when there
    // is one (standard error says so once when that is not the folder), else where
    // GetSaveDataFile chooses; worked out once. Raises when no place can hold it. Standard error
    // says once when a link stands there: that is never read (OpenSaveFile), and the first write
    // replaces the link itself, never what it leads to.
    std::string GetSaveFileName();
    // Writes into Buffer the whole save archive a save into Slot writes (PutGame), leaving the
    // save file as it is.
    void SaveGame(TNxBigStream& Buffer, int32_t Slot, const std::string& Caption, int32_t ContinuePC,
                  const std::string& ContinuePage);
    // The pending save: nothing for an empty caption; else the archive with the slot and the
    // status written (PutGame) is put in place of the save file in one write, and the slot's
    // caption set. A failure is shown as a warning and the game goes on.
    void ExecuteSave(int32_t Slot, const std::string& ContinuePage, const std::string& Caption, int32_t ContinuePC);
    // Rewrites the status entry, when SaveEnabled is set, the save file's folder exists and the
    // status entry was read at the opening: one that could not be read stays as it is stored.
    // A failure is shown as a warning.
    void SaveStatus();
    // Restores slot Slot; nothing when the file or the slot is missing. A slot that cannot be
    // used (older than 107, newer than this player writes, damaged) puts back the state before
    // the load, sets the terminating flag and warns "このセーブデータは使用できません\r\n終了して
    // ください".
    void LoadGame(int32_t Slot);
    // Rebuilds SlotCaptions from the save file: one line per slot whose record can be read.
    void ReadSaveList();
    // The caption of the slot; "" when it is not listed.
    std::string GetSaveCaption(int32_t Slot) const;
    // Replaces the slot's caption or appends a line for it.
    void SetSaveCaption(int32_t Slot, const std::string& Caption);
    // Keeps a copy of Data (from its first byte) in the save file as the entry Name, replacing
    // one of that name. False when the save file cannot be read or written; it then stays as it was.
    bool StoreSavedFile(const std::string& Name, TStream& Data);

private:
    bool Ask(const std::string& Text, bool Unanswered) const;
    // The first disc root whose install.dat names the set SetId (and, WithContent, that holds a
    // game.dat); "" when none does.
    std::string FindDiscRoot(const std::string& SetId, bool WithContent) const;
    void CopySettings(const TProjectSetting& Settings);
    void DeclareVariables(const TProjectSetting& Settings);
    void LoadOriginalProjectSetting();

    // Save data (savedata.cpp).
    // Opens the save file, or an empty collection when it does not exist or is a link.
    void OpenSaveFile(TVrFileCollection& Saves);
    // Writes the save file's entries, changed through Change, in place of it (TSaveArchive).
    void RewriteSaveFile(const std::function<void(TVrFileCollection&)>& Change);
    // The game record of Slot put in Saves in place of any before, the status entry too when
    // SaveStatus would save it.
    void PutGame(TVrFileCollection& Saves, int32_t Slot, const std::string& Caption, int32_t ContinuePC,
                 const std::string& ContinuePage);
    // Warns that the save file cannot be written, once until a write succeeds again: a title
    // whose folder cannot be written is told so once, not at every save.
    void WarnWriteFailed(const std::exception& Error);
    // The status entry and the "save:" files of the save file (opening steps).
    void ReadSaveFile();
    // Whether the status is saved: SaveEnabled set, the status read at the opening and the save
    // file's folder there.
    bool StatusSaved();
    // The status entry of Saves replaced by the current status.
    void PutStatus(TVrFileCollection& Saves) const;
    void WriteStatusRecord(TStream& Stream) const;
    void ReadStatusRecord(TStream& Stream);
    // The parts of a game record after its header, and the reverse. ContinuePage, when not
    // empty, becomes the current page once the runner is restored.
    void WriteGameState(TStream& Stream) const;
    void ReadGameState(TStream& Stream, int32_t Version, const std::string& ContinuePage, int32_t ContinuePC);
    void ContinueAt(const std::string& Page, int32_t PC);

    std::string programFile_;
    std::vector<std::string> args_;
    std::unique_ptr<TSaveSections> sections_;
    bool opened_ = false;  // the status data was read: Destroy saves it again
    bool statusUnread_ = false;  // the stored status could not be read: it is never replaced
    bool writeWarned_ = false;   // a failed write was warned about, and none has worked since
    TSaveArchive saveArchive_;
};

// The project of the run, between CreateProject and FreeProject.
extern TProject* Project;
// Makes the project and opens the title (TProject::Create). When the opening raises, no project
// is left and the error passes on.
void CreateProject(TProjectStart Start);
// Closes the title (TProject::Destroy) and frees the project; nothing without one.
void FreeProject();
