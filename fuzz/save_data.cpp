// Save data from arbitrary bytes: the input is a u16 length, that many bytes of status record
// and the game record of slot 0 after them, put into "save.dat" beside a small title (the start
// page m.vsb and the page h.vsb, each two waits) whose scene is the object root. The title opens
// with the status record read or warned about, or not at all for a record that inflates past
// the input's memory; loading the slot either restores the game or warns and leaves it as it
// was. A restored game saves, and what it saved loads again without a warning.
// Seed corpus: make_script_corpus.py
#include "fuzz/harness.h"

#include "core/vrfiles.h"
#include "script/project.h"
#include "script/savedata.h"

#include <algorithm>

namespace {

class TCountingHost : public TScriptHost {
public:
    void ShowWarning(const std::string&) override { ++Warnings; }
    int Warnings = 0;
};

class TSceneSections : public TSaveSections {
public:
    void SaveObjects(TStream& Stream) override { Bases->SaveToStream(Stream); }
    void LoadObjects(TStream& Stream, int32_t Version) override { Bases->LoadFromStream(Stream, Version); }
};

// Title "t" at the size of the screen, start page m.vsb, saving on, the status variable "seen".
std::string ProjectFile() {
    TMemoryStream s;
    WriteStreamInt(s, MaxFileVersion);
    WriteStreamString(s, "t");
    for (int32_t v : {fuzz::MaxSceneExtent, fuzz::MaxSceneExtent, 0, 0}) WriteStreamInt(s, v);
    for (const char* text : {"m.vsb", "", ""}) WriteStreamString(s, text);  // start, closing, registry
    WriteStreamInt(s, 0);
    for (uint8_t flag : {1, 1}) WriteStreamByte(s, flag);
    WriteStreamString(s, ".wav");
    for (uint8_t flag : {0, 0, 1}) WriteStreamByte(s, flag);
    WriteStreamString(s, "");
    WriteStreamString(s, "");
    WriteStreamInt(s, 1);
    WriteStreamByte(s, PT_INT);
    WriteStreamString(s, "seen");
    WriteStreamInt(s, 1);
    WriteStreamInt(s, 0);  // no disks
    return fuzz::BytesOf(s);
}

// Two waits of no condition, no time and no hold-events expression.
std::string TwoWaits() {
    TMemoryStream s;
    WriteStreamInt(s, MaxFileVersion);
    WriteStreamByte(s, PT_INT);
    WriteStreamInt(s, 0);
    WriteStreamInt(s, PropMaskSize);
    WriteStreamInt(s, 2);
    for (int32_t line : {1, 2}) {
        WriteStreamByte(s, cmWait);
        WriteStreamInt(s, 0);
        WriteStreamByte(s, 0);
        WriteStreamByte(s, 0);
        WriteStreamInt(s, line);
        for (int expression = 0; expression < 3; ++expression) WriteStreamInt(s, 0);
    }
    return fuzz::BytesOf(s);
}

// The save file is written without the player's sync to disk, which would take most of the time.
void WriteSaveFile(const std::string& FileName, TNxBigStream& Archive) {
    TFileStream file(FileName, fmCreate);
    Archive.CopyToStream(file, 0);
}

void WriteSaveFile(const std::string& FileName, const uint8_t* Status, size_t StatusSize, const uint8_t* Game,
                   size_t GameSize) {
    TVrFileCollection saves;
    saves.AddStream(StatusSaveEntry).DataSource->WriteBuffer(Status, static_cast<int64_t>(StatusSize));
    saves.AddStream(std::string(GameSaveEntry) + "0").DataSource->WriteBuffer(Game, static_cast<int64_t>(GameSize));
    TNxBigMemoryStream archive;
    WriteIndex(saves, archive);
    WriteSaveFile(FileName, archive);
}

}  // namespace

int TestOneInput(const uint8_t* Data, size_t Size) {
    if (Size < 2) return 0;
    const size_t statusSize = std::min<size_t>(Data[0] | Data[1] << 8, Size - 2);
    const std::string folder = fuzz::WorkFile("save") + "\\";
    platform::fs::CreateDirectory(folder);
    WriteSaveFile(folder + "save.dat", Data + 2, statusSize, Data + 2 + statusSize, Size - 2 - statusSize);

    fuzz::TWorld world;
    auto* host = new TCountingHost;
    SetScriptHost(std::unique_ptr<TScriptHost>(host));
    TScriptPlayerState state;
    ParamMan->SetState(&state);
    const std::string project = ProjectFile();
    world.AddTitle(project.data(), project.size());
    world.AddFile("m.vsb", TwoWaits());
    world.AddFile("h.vsb", TwoWaits());
    TProjectStart start;
    start.ProgramFile = folder + "velaplay";
    start.Args = {folder};
    start.Sections = std::make_unique<TSceneSections>();
    try {
        CreateProject(std::move(start));
    } catch (const EMemoryBudget&) {  // a record inflating past the input's memory
        fuzz::Check(!Project);
        ParamMan->SetState(nullptr);
        return 0;
    }
    state.SetRunner(Project->Runner.get());
    host->Warnings = 0;
    const bool opened = !Terminating();
    Project->LoadGame(0);
    if (opened && host->Warnings == 0) {
        fuzz::Check(!Terminating());
        TNxBigMemoryStream archive;
        Project->SaveGame(archive, 0, "again", 0, "");
        WriteSaveFile(folder + "save.dat", archive);
        Project->LoadGame(0);
        fuzz::Check(host->Warnings == 0 && !Terminating());
    }
    Project->SaveEnabled = 0;  // no status written at the end
    FreeProject();
    ParamMan->SetState(nullptr);
    return 0;
}
