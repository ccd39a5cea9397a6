#include "script/savedata.h"

#include "core/membudget.h"
#include "core/sysutils.h"
#include "core/vrfiles.h"
#include "core/vrfiles_manager.h"
#include "objects/vitemex_mira.h"
#include "platform/display.h"
#include "platform/fs.h"
#include "script/dbs.h"
#include "script/params_vars.h"
#include "script/project.h"
#include "script/services.h"

#include <string_view>

namespace {

constexpr int32_t ReadMarksSinceVersion = 100;
constexpr int32_t ImageModeAfterVersion = 100;  // the image cache's own threshold
constexpr char StatusTag[] = "Status";
constexpr size_t StatusTagLength = sizeof StatusTag - 1;
constexpr size_t StatusHeaderLength = 9;  // the tag and three digits

constexpr char ReadFailed[] = "セーブデータを読めません\r\n";
constexpr char WriteFailed[] = "セーブデータを書き込めません\r\n";
constexpr char OldSave[] = "セーブファイルの形式が古いため読めません\r\nsave.dat を削除してから実行してください";
constexpr char UnusableSave[] = "このセーブデータは使用できません\r\n終了してください";

// A headless part holds nothing, so it takes only an empty list.
void RequireNone(int32_t Count) {
    if (Count != 0) throw EReadError();
}

std::string SlotEntryName(int32_t Slot) { return Format("%s%d", GameSaveEntry, static_cast<int>(Slot)); }

void Warn(const char* What, const std::exception& Error) { ScriptHost().ShowWarning(What + std::string(ErrorText(Error))); }

// Whether the save file at Path is there to be read. A link in its place is not: a title's folder
// may come with one leading to another title's saves. The next write replaces it.
bool SaveFileReadable(const std::string& Path) { return platform::fs::FileExists(Path) && !platform::fs::IsLink(Path); }

}  // namespace

// ---- The headless parts ----

void TSaveSections::SaveHistory(TStream& Stream) { WriteStreamInt(Stream, 0); }

void TSaveSections::LoadHistory(TStream& Stream, int32_t Version) {
    if (Version < HistoryManagerSaveVersion) throw EReadError();
    RequireNone(ReadStreamInt(Stream));
}

// Without a table manager the sections write and read through an empty one of their own.
void TSaveSections::SaveTables(TStream& Stream, int32_t Kind) {
    if (DBManager)
        DBManager->SaveToStream(Stream, Kind);
    else
        TDBManager().SaveToStream(Stream, Kind);
}

void TSaveSections::LoadTables(TStream& Stream, int32_t Kind) {
    if (DBManager)
        DBManager->LoadFromStream(Stream, Kind);
    else
        TDBManager().LoadFromStream(Stream, Kind);
}

void TSaveSections::SaveReadMarks(TStream& Stream) {
    WriteStreamInt(Stream, 0);
    WriteStreamString(Stream, {});
    WriteStreamInt(Stream, 0);
    WriteStreamInt(Stream, 0);
    WriteStreamString(Stream, {});
}

void TSaveSections::LoadReadMarks(TStream& Stream, int32_t Version) {
    if (Version < ReadMarksSinceVersion) return;
    RequireNone(ReadStreamInt(Stream));
    ReadStreamString(Stream);
    ReadStreamInt(Stream);
    ReadStreamInt(Stream);
    ReadStreamString(Stream);
}

void TSaveSections::SaveImageMode(TStream& Stream) {
    if (MiraMan)
        MiraMan->SaveToStream(Stream);
    else
        WriteStreamByte(Stream, 0);
}

void TSaveSections::LoadImageMode(TStream& Stream, int32_t Version) {
    if (MiraMan)
        MiraMan->LoadFromStream(Stream, Version);
    else if (Version > ImageModeAfterVersion)
        ReadStreamByte(Stream);
}

// ---- The save file ----

TVrFileCollection& TSaveArchive::Entries(const std::string& Path) {
    const std::optional<platform::fs::FileStamp> stamp = platform::fs::StampOfFile(Path);
    if (kept_ && Path == path_ && stamp == stamp_) return saves_;
    kept_ = false;
    saves_.Open(stamp ? Path : std::string());
    path_ = Path;
    stamp_ = stamp;
    kept_ = true;
    return saves_;
}

void TSaveArchive::Rewrite(const std::string& Path, const std::function<void(TVrFileCollection&)>& Change) {
    TVrFileCollection& saves = Entries(Path);
    // Changed in memory, the entries describe no file until they are written.
    kept_ = false;
    Change(saves);
    saves.WriteFile(Path);
    stamp_ = platform::fs::StampOfFile(Path);
    // Gone already, the file leaves nothing the entries could be kept for.
    kept_ = stamp_.has_value();
}

std::string TProject::GetSaveFileName() {
    if (!SavePathKnown) {
        const std::string folder = args_.empty() ? ExtractFilePath(programFile_) : AppendBackslash(args_[0]);
        SavePath = args_.empty() ? GetSaveDataFile(programFile_, Title) : GetTitleSaveFile(args_[0]);
        if (IsReadOnlyTitleFolder(folder))
            platform::PrintMessage("velaplay", platform::fs::ShownPath(folder) +
                                                   " holds the desktop's settings or programs: the title plays there "
                                                   "read-only, its saves go to " + platform::fs::ShownPath(SavePath));
        else if (!args_.empty() && ExtractFilePath(SavePath) != folder)
            platform::PrintMessage("velaplay", platform::fs::ShownPath(args_[0]) + " cannot be written: its saves go to " +
                                                   platform::fs::ShownPath(SavePath));
        if (platform::fs::IsLink(SavePath))
            platform::PrintMessage("velaplay", platform::fs::ShownPath(SavePath) +
                                                   " is a link and is not read: play starts without saves");
        SavePathKnown = true;
    }
    return SavePath;
}

void TProject::OpenSaveFile(TVrFileCollection& Saves) {
    const std::string path = GetSaveFileName();
    Saves.Open(SaveFileReadable(path) ? path : std::string());
}

void TProject::RewriteSaveFile(const std::function<void(TVrFileCollection&)>& Change) {
    saveArchive_.Rewrite(GetSaveFileName(), Change);
    writeWarned_ = false;
}

void TProject::WarnWriteFailed(const std::exception& Error) {
    if (!writeWarned_) Warn(WriteFailed, Error);
    writeWarned_ = true;
}

// ---- Game records ----

void TProject::WriteGameState(TStream& Stream) const {
    if (!Runner || !ParamMan) throw EVelaError("内部エラー");
    sections_->SaveObjects(Stream);
    sections_->SaveHistory(Stream);
    Runner->SaveToStream(Stream);
    ParamMan->SaveVariables(Stream);
    sections_->SaveTables(Stream, GameTables);
}

void TProject::ReadGameState(TStream& Stream, int32_t Version, const std::string& ContinuePage, int32_t ContinuePC) {
    if (!Runner || !ParamMan) throw EVelaError("内部エラー");
    sections_->LoadObjects(Stream, Version);
    sections_->LoadHistory(Stream, Version);
    Runner->LoadFromStream(Stream, Version);
    if (!ContinuePage.empty()) ContinueAt(ContinuePage, ContinuePC);
    ParamMan->LoadVariables(Stream, Version);
    if (Version >= TablesSaveVersion) sections_->LoadTables(Stream, GameTables);
}

// The title's code after the save runs first; returning from it resumes the saved position.
void TProject::ContinueAt(const std::string& Page, int32_t PC) {
    TCallMan& runner = *Runner;
    if (runner.CurrentPage) {
        TStack& frame = runner.Stack.Push();
        frame.PageName = runner.CurrentPage->GetName();
        frame.PC = runner.PC;
        frame.ContinueFlag = runner.StepOn;
        frame.Begun = runner.Begun;
        frame.Sender = runner.Sender;
        frame.Args.Assign(runner.Args);
    }
    runner.CurrentPage = runner.GetPage(Page, true);
    runner.PC = PC > 0 ? PC : 0;
    runner.Begun = false;
}

void TProject::PutGame(TVrFileCollection& Saves, int32_t Slot, const std::string& Caption, int32_t ContinuePC,
                       const std::string& ContinuePage) {
    const std::string name = SlotEntryName(Slot);
    Saves.DeleteFile(name);
    TStream& record = *Saves.AddStream(name).DataSource;
    WriteStreamInt(record, GameSaveVersion);
    WriteStreamString(record, Caption);
    WriteStreamString(record, ContinuePage);
    WriteStreamInt(record, ContinuePC);
    WriteGameState(record);
    if (StatusSaved()) PutStatus(Saves);
}

void TProject::SaveGame(TNxBigStream& Buffer, int32_t Slot, const std::string& Caption, int32_t ContinuePC,
                        const std::string& ContinuePage) {
    TVrFileCollection saves;
    OpenSaveFile(saves);
    PutGame(saves, Slot, Caption, ContinuePC, ContinuePage);
    WriteIndex(saves, Buffer);
}

void TProject::ExecuteSave(int32_t Slot, const std::string& ContinuePage, const std::string& Caption, int32_t ContinuePC) {
    if (Caption.empty()) return;
    try {
        RewriteSaveFile([&](TVrFileCollection& Saves) { PutGame(Saves, Slot, Caption, ContinuePC, ContinuePage); });
        // Listed only once it is really there.
        SetSaveCaption(Slot, Caption);
    } catch (const std::exception& e) {
        WarnWriteFailed(e);
    }
}

void TProject::LoadGame(int32_t Slot) {
    try {
        TMemoryStream record;
        {
            TVrFileCollection saves;
            OpenSaveFile(saves);
            const std::string name = SlotEntryName(Slot);
            if (saves.IndexOf(name) < 0) return;
            saves.ReadFile(record, name);
        }
        const int32_t version = ReadStreamInt(record);
        if (version < MinGameSaveVersion) throw EVelaError(OldSave);
        if (version > GameSaveVersion) throw EReadError();
        ReadStreamString(record);  // the caption
        const std::string continuePage = ReadStreamString(record);
        const int32_t continuePC = ReadStreamInt(record);
        // The record is read over the running game; when it fails part way, the state taken
        // here is put back.
        TMemoryStream before;
        WriteGameState(before);
        try {
            ReadGameState(record, version, continuePage, continuePC);
        } catch (...) {
            before.SetPosition(0);
            ReadGameState(before, GameSaveVersion, {}, 0);
            throw;
        }
        sections_->AfterLoad();
    } catch (const std::exception&) {
        ScriptHost().EndWithError(UnusableSave);
    }
}

// ---- Slot captions ----

void TSlotCaptions::Clear() {
    lines_.Clear();
    firstLines_.clear();
}

void TSlotCaptions::AddObject(const std::string& Caption, int32_t Slot) {
    firstLines_.emplace(Slot, lines_.Count());
    lines_.AddObject(Caption, Slot);
}

std::string TSlotCaptions::Caption(int32_t Slot) const {
    const auto found = firstLines_.find(Slot);
    return found == firstLines_.end() ? std::string() : lines_.Strings(found->second);
}

void TSlotCaptions::SetCaption(int32_t Slot, const std::string& Caption) {
    const auto found = firstLines_.find(Slot);
    if (found == firstLines_.end())
        AddObject(Caption, Slot);
    else
        lines_.SetString(found->second, Caption);
}

void TProject::ReadSaveList() {
    SlotCaptions.Clear();
    TVrFileCollection saves;
    try {
        OpenSaveFile(saves);
    } catch (const std::exception&) {
        return;  // an unreadable save file lists no slot
    }
    const std::string_view prefix = GameSaveEntry;
    for (int i = 0; i < saves.Count(); ++i) {
        const std::string name = saves.GetFile(i).Name();
        if (!name.starts_with(prefix)) continue;
        const int32_t slot = StrToIntDef(std::string_view(name).substr(prefix.size()), -1);
        if (slot < 0) continue;
        try {
            TMemoryStream record;
            saves.ReadFile(record, name);
            ReadStreamInt(record);  // the version
            SlotCaptions.AddObject(ReadStreamString(record), slot);
        } catch (const EVelaError&) {
            // A slot that cannot be read is not listed.
        }
    }
}

std::string TProject::GetSaveCaption(int32_t Slot) const { return SlotCaptions.Caption(Slot); }

void TProject::SetSaveCaption(int32_t Slot, const std::string& Caption) { SlotCaptions.SetCaption(Slot, Caption); }

// ---- Status records ----

void TProject::WriteStatusRecord(TStream& Stream) const {
    const std::string header = Format("%s%.3d", StatusTag, static_cast<int>(StatusSaveVersion));
    Stream.WriteBuffer(header.data(), static_cast<int64_t>(header.size()));
    ParamMan->SaveStatusVariables(Stream);
    sections_->SaveReadMarks(Stream);
    sections_->SaveImageMode(Stream);
    sections_->SaveTables(Stream, StatusTables);
}

void TProject::ReadStatusRecord(TStream& Stream) {
    char header[StatusHeaderLength];
    const int64_t got = Stream.Read(header, sizeof header);
    int32_t version = 0;
    if (got >= static_cast<int64_t>(StatusTagLength) && std::string_view(header, StatusTagLength) == StatusTag)
        version = StrToIntDef(std::string_view(header + StatusTagLength, static_cast<size_t>(got) - StatusTagLength), 0);
    else
        Stream.SetPosition(0);
    ParamMan->LoadStatusVariables(Stream, version);
    sections_->LoadReadMarks(Stream, version);
    sections_->LoadImageMode(Stream, version);
    if (version >= StatusTablesVersion) sections_->LoadTables(Stream, StatusTables);
}

bool TProject::StoreSavedFile(const std::string& Name, TStream& Data) {
    try {
        RewriteSaveFile([&](TVrFileCollection& Saves) {
            Saves.DeleteFile(Name);
            Saves.AddStream(Name).DataSource->LoadFromStream(Data);
        });
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool TProject::StatusSaved() {
    return ParamMan && SaveEnabled && !statusUnread_ && platform::fs::DirectoryExists(ExtractFilePath(GetSaveFileName()));
}

void TProject::PutStatus(TVrFileCollection& Saves) const {
    Saves.DeleteFile(StatusSaveEntry);
    WriteStatusRecord(*Saves.AddStream(StatusSaveEntry).DataSource);
}

void TProject::SaveStatus() {
    try {
        if (!StatusSaved()) return;
        RewriteSaveFile([this](TVrFileCollection& Saves) { PutStatus(Saves); });
    } catch (const std::exception& e) {
        WarnWriteFailed(e);
    }
}

void TProject::ReadSaveFile() {
    TVrFileCollection saves;
    try {
        OpenSaveFile(saves);
        if (ParamMan && saves.IndexOf(StatusSaveEntry) >= 0) {
            TMemoryStream record;
            saves.ReadFile(record, StatusSaveEntry);
            ReadStatusRecord(record);
        }
    } catch (const std::exception& e) {
        // The title opens without what could not be read, and the stored status stays for a
        // player that can read it.
        statusUnread_ = true;
        Warn(ReadFailed, e);
    }
    // The title's own files, readable as content.
    if (!VrFileManager || VrFileManager->Count() == 0) return;
    TVrFileCollection& content = VrFileManager->GetCollection(0);
    for (int i = 0; i < saves.Count(); ++i) {
        const std::string name = saves.GetFile(i).Name();
        if (!AnsiSameText(std::string_view(name).substr(0, std::string_view(SavedFilePrefix).size()), SavedFilePrefix))
            continue;
        TVrFile& copy = content.AddStream(name);
        try {
            saves.ReadFile(*copy.DataSource, name);
        } catch (const EVelaError&) {
            content.DeleteFile(name);
        }
    }
}
