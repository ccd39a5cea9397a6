#include "script/savedata.h"

#include "tests/common/budget.h"
#include "tests/script/project_fixture.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>

using namespace pagetest;

namespace {

using Strings = std::vector<std::string>;

std::string Hex(const std::string& Bytes) {
    std::string hex = ToHex(Bytes);
    std::transform(hex.begin(), hex.end(), hex.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return hex;
}

// The entry names of an archive file as tests/tools/vfarchive.py lists them (hex, lower case).
Strings ListedNames(const std::string& HostPath) {
    Strings names;
    for (const std::string& line : Lines(PythonOutput("vfarchive.py", {"list", HostPath})))
        names.push_back(line.substr(0, line.find(' ')));
    return names;
}

std::string Expression(const std::string& Text) {
    TBuildVelaParser compiler;
    compiler.Build(Text);
    TMemoryStream stream;
    compiler.SaveToStream(stream);
    return std::string(reinterpret_cast<const char*>(stream.Memory()), static_cast<size_t>(stream.Size()));
}

class SaveData : public ProjectTest {
protected:
    // The title: m.vsb notes "a", waits 3 ticks and notes "b"; the handler page h.vsb notes "x"
    // and waits 5 ticks; c.vsb notes "c0" and "c1". The status variable "seen" is declared.
    void OpenTitle() {
        AddTitle(R"(, "declarations": [{"name": "seen", "type": "int", "value": 1}])");
        AddPage("m.vsb", TPageWriter().Note("a").Wait(3).Note("b"));
        AddPage("h.vsb", TPageWriter().Note("x").Wait(5));
        AddPage("c.vsb", TPageWriter().Note("c0").Note("c1"));
        Open();
    }
    // The engine of a new run: the project freed, a new variable table and object root.
    void FreshEngine() {
        FreeProject();
        ParamMan->SetState(nullptr);
        FreeParamMan();
        CreateParamMan();
        ParamMan->SetState(&state);
        SetScriptObjects(std::unique_ptr<TScriptObjects>(objects = new TFakeObjects));
        objects->Add("btn");
        VrFileManager->Clear();
        VrFileManager->Add("");
        host->Warnings.clear();
        OpenTitle();
    }
    std::string Record(int Slot) { return ArchiveEntry(SaveFile(), "GAMESAVEDATA" + std::to_string(Slot)); }
    void Tick() {
        Log.clear();
        Project->Run();
    }
};

TEST_F(SaveData, SavedInAnEventLoadsIntoAFreshEngineAndSavesTheSame) {
    OpenTitle();
    Tick();
    objects->Post("h.vsb", objects->Add("btn")).Args.Add("p");
    Tick();
    EXPECT_EQ(Log, (Strings{"begin:x", "exec:x", "wait:5"}));
    Tick();
    Var("g", PT_STR).SetAsStr("game");
    ParamMan->Find("seen")->SetAsInt(5);
    Project->ExecuteSave(0, "", "first", 0);
    ASSERT_TRUE(host->Warnings.empty());
    EXPECT_EQ(ListedNames(SaveHostFile()), (Strings{Hex("GAMESAVEDATA0"), Hex("STATUSSAVEDATA")}));
    EXPECT_EQ(Project->GetSaveCaption(0), "first");
    const std::string saved = Record(0);

    FreshEngine();
    // The status variable comes back from the status data, not from its declaration.
    EXPECT_EQ(ParamMan->Find("seen")->GetAsInt(), 5);
    EXPECT_EQ(ParamMan->Find("g"), nullptr);
    EXPECT_EQ(Project->GetSaveCaption(0), "first");
    Project->LoadGame(0);
    EXPECT_TRUE(host->Warnings.empty());
    EXPECT_FALSE(Terminating());
    EXPECT_EQ(ParamMan->Find("g")->GetAsStr(), "game");
    const TCallMan& runner = *Project->Runner;
    EXPECT_EQ(runner.CurrentPage->GetName(), "h.vsb");
    EXPECT_EQ(std::vector<int32_t>({runner.State, runner.Level, runner.StackCount()}), std::vector<int32_t>({2, 2, 1}));
    EXPECT_EQ(runner.GetSenderName(), "btn");
    Project->ExecuteSave(0, "", "first", 0);
    EXPECT_EQ(Record(0), saved);
    // The handler goes on waiting where it was.
    Tick();
    EXPECT_EQ(Log, Strings{"wait:3"});
}

TEST_F(SaveData, CaptionsAndSlots) {
    OpenTitle();
    Project->ExecuteSave(0, "", "", 0);
    EXPECT_FALSE(platform::fs::FileExists(SaveFile()));
    Project->ExecuteSave(0, "", "one", 0);
    Project->ExecuteSave(0, "", "two", 0);
    EXPECT_EQ(ListedNames(SaveHostFile()), (Strings{Hex("GAMESAVEDATA0"), Hex("STATUSSAVEDATA")}));
    EXPECT_EQ(Project->SlotCaptions.Count(), 1);
    EXPECT_EQ(Project->GetSaveCaption(0), "two");
    EXPECT_EQ(Project->GetSaveCaption(1), "");

    // Only GAMESAVEDATA and a slot number make a slot; an unreadable record is not listed. The
    // title's own "save:" files become content.
    const std::string slot0 = Record(0);
    WriteArchive(SaveFile(), {{"GAMESAVEDATA0", slot0},
                              {"GAMESAVEDATAx", slot0},
                              {"GAMESAVEDATA7", "\x90"},
                              {"SAVE:memo.txt", "memo"}});
    FreeProject();
    VrFileManager->Clear();
    VrFileManager->Add("");
    OpenTitle();
    EXPECT_EQ(Project->SlotCaptions.Count(), 1);
    EXPECT_EQ(Project->GetSaveCaption(0), "two");
    TMemoryStream memo;
    VrFileManager->ReadFile(memo, "save:memo.txt");
    EXPECT_EQ(memo.Size(), 4);
}

// New slots go after the others, a slot saved again moves to the end, the status entry stays
// last; what each rewrite carries over is stored as it was (and reads back in the reference).
TEST_F(SaveData, SlotsKeepTheirOrderAndStoredBytesAcrossNewSlots) {
    OpenTitle();
    // The stored size and CRC of an entry.
    auto stored = [&](const std::string& Name) {
        TVrFileCollection saves;
        saves.Open(SaveFile());
        const TVrFile& entry = saves.GetFile(saves.IndexOf(Name));
        return std::to_string(entry.Size) + " " + std::to_string(entry.Crc32);
    };
    Project->ExecuteSave(3, "", "three", 0);
    const std::string record = Record(3), three = stored("GAMESAVEDATA3");
    for (const int32_t slot : {1, 2, 1}) Project->ExecuteSave(slot, "", "s" + std::to_string(slot), 0);
    Project->ExecuteSave(1, "", "again", 0);
    EXPECT_TRUE(host->Warnings.empty());
    EXPECT_EQ(ListedNames(SaveHostFile()),
              (Strings{Hex("GAMESAVEDATA3"), Hex("GAMESAVEDATA2"), Hex("GAMESAVEDATA1"), Hex("STATUSSAVEDATA")}));
    EXPECT_EQ(stored("GAMESAVEDATA3"), three);
    EXPECT_EQ(PythonOutput("vfarchive.py", {"cat", SaveHostFile(), Hex("GAMESAVEDATA3")}), record);
    // The captions list in the order first saved.
    Strings captions;
    for (int i = 0; i < Project->SlotCaptions.Count(); ++i)
        captions.push_back(std::to_string(Project->SlotCaptions.Objects(i)) + Project->SlotCaptions.Strings(i));
    EXPECT_EQ(captions, (Strings{"3three", "1again", "2s2"}));
    EXPECT_EQ(Project->GetSaveCaption(1), "again");
}

TEST_F(SaveData, ADamagedSaveFileIsReportedAndKept) {
    const std::string garbage(64, '\x5A');
    WriteHostFile(SaveHostFile(), garbage);
    OpenTitle();
    // The file named as the host writes it.
    const std::string damaged = SaveHostFile() + ":アーカイブが壊れています";
    EXPECT_EQ(host->Warnings, Strings{"セーブデータを読めません\r\n" + damaged});
    EXPECT_FALSE(Terminating());
    ASSERT_NE(Project->Runner->CurrentPage, nullptr);
    EXPECT_EQ(ParamMan->Find("seen")->GetAsInt(), 1);

    // A save cannot replace what it cannot read: the file stays for the user.
    Project->ExecuteSave(0, "", "x", 0);
    EXPECT_EQ(host->Warnings, (Strings{"セーブデータを読めません\r\n" + damaged, "セーブデータを書き込めません\r\n" + damaged}));
    EXPECT_EQ(FileText(SaveHostFile()), garbage);
    EXPECT_EQ(Project->GetSaveCaption(0), "");
    FreeProject();
    EXPECT_EQ(FileText(SaveHostFile()), garbage);
}

// The save file's records are read at start where the title's memory refuses them, with its
// message: a status record that inflates past the limit is warned about, a slot's stops the start.
TEST_F(SaveData, RecordsInflatingPastTheBudgetAreRefusedAtStart) {
    const std::string inflating(size_t(4) << 20, '\0');  // stored packed, in a few kilobytes
    WriteArchive(SaveFile(), {{"STATUSSAVEDATA", inflating}});
    {
        const testbudget::TTestBudget budget(int64_t(2) << 20);
        OpenTitle();
        EXPECT_TRUE(MemoryRefused());
    }
    EXPECT_EQ(host->Warnings, Strings{"セーブデータを読めません\r\n" + std::string(MemoryBudgetMessage)});

    FreeProject();
    VrFileManager->Clear();
    VrFileManager->Add("");
    WriteArchive(SaveFile(), {{"GAMESAVEDATA0", inflating}});
    const testbudget::TTestBudget budget(int64_t(2) << 20);
    try {
        OpenTitle();
        ADD_FAILURE() << "opened";
    } catch (const std::bad_alloc& E) {
        EXPECT_STREQ(ErrorText(E), MemoryBudgetMessage);
    }
    EXPECT_EQ(Project, nullptr);
}

TEST_F(SaveData, ADamagedSlotLeavesTheGameAsItWas) {
    OpenTitle();
    Tick();
    Var("g", PT_INT).SetAsInt(1);
    Project->ExecuteSave(0, "", "s", 0);
    const std::string record = Record(0);
    for (int i = 0; i < 4; ++i) Tick();
    ParamMan->Find("g")->SetAsInt(2);
    const int32_t pc = Project->Runner->PC;

    // Cut in the variables, after the runner was read.
    WriteArchive(SaveFile(), {{"GAMESAVEDATA0", record.substr(0, record.size() - 30)}});
    Project->LoadGame(0);
    EXPECT_TRUE(Terminating());
    EXPECT_EQ(host->Warnings, Strings{"このセーブデータは使用できません\r\n終了してください"});
    EXPECT_EQ(host->Closes, 1);
    EXPECT_EQ(ParamMan->Find("g")->GetAsInt(), 2);
    EXPECT_EQ(Project->Runner->PC, pc);
    EXPECT_EQ(Project->Runner->CurrentPage->GetName(), "m.vsb");

    // A missing slot does nothing.
    SetTerminating(false);
    host->Warnings.clear();
    Project->LoadGame(3);
    EXPECT_FALSE(Terminating());
    EXPECT_TRUE(host->Warnings.empty());
}

TEST_F(SaveData, AFailedWriteLeavesTheOldFile) {
    OpenTitle();
    Project->ExecuteSave(0, "", "old", 0);
    const std::string before = FileText(SaveHostFile());
    ASSERT_FALSE(before.empty());
    // The temporary file cannot be made in a read-only folder.
    const std::string saveFolder = std::filesystem::path(SaveHostFile()).parent_path().string();
    std::optional<ReadOnlyFolder> readOnly(std::in_place, saveFolder);
    if (!readOnly->Held()) GTEST_SKIP() << "the folder cannot be made read-only here";
    Project->ExecuteSave(1, "", "new", 0);
    ASSERT_EQ(host->Warnings.size(), 1u);
    EXPECT_TRUE(host->Warnings[0].starts_with("セーブデータを書き込めません"));
    // It names the save file, not the temporary one it is written by.
    EXPECT_NE(host->Warnings[0].find("\"" + SaveHostFile() + "\""), std::string::npos) << host->Warnings[0];
    EXPECT_EQ(FileText(SaveHostFile()), before);
    EXPECT_EQ(Project->GetSaveCaption(1), "");
    // The writes after it fail the same way and are not warned about again, until one has
    // worked.
    Project->ExecuteSave(2, "", "again", 0);
    Project->SaveStatus();
    EXPECT_EQ(host->Warnings.size(), 1u);
    readOnly.reset();
    Project->ExecuteSave(1, "", "new", 0);
    readOnly.emplace(saveFolder);
    Project->SaveStatus();
    EXPECT_EQ(host->Warnings.size(), 2u);
}

// A save writes from the entries kept since the last read or write only while the file on disk
// is still the one they describe: another writer's file, a failed save, a load and a removed
// file each leave the next save writing what a save from the file on disk writes.
TEST_F(SaveData, SavesWriteFromTheFileOnDisk) {
    OpenTitle();
    const auto names = [](std::initializer_list<std::string> Entries) {
        Strings hex;
        for (const std::string& name : Entries) hex.push_back(Hex(name));
        return hex;
    };
    // The record as the reference reads it, its CRC checked.
    const auto stored = [&](int Slot) {
        return PythonOutput("vfarchive.py", {"cat", SaveHostFile(), Hex("GAMESAVEDATA" + std::to_string(Slot))});
    };
    Project->ExecuteSave(0, "", "a", 0);
    Project->ExecuteSave(1, "", "b", 0);
    const std::string one = Record(1);

    // Another writer leaves slot 1 and a file of the title's, without slot 0.
    WriteArchive(SaveFile(), {{"GAMESAVEDATA1", one}, {"save:x", "theirs"}});
    Project->ExecuteSave(2, "", "c", 0);
    EXPECT_EQ(ListedNames(SaveHostFile()), names({"GAMESAVEDATA1", "save:x", "GAMESAVEDATA2", "STATUSSAVEDATA"}));
    EXPECT_EQ(stored(1), one);
    EXPECT_EQ(ArchiveEntry(SaveFile(), "save:x"), "theirs");
    const std::string two = stored(2);

    // The slot of a failed save is not written by the next.
    {
        const ReadOnlyFolder readOnly(std::filesystem::path(SaveHostFile()).parent_path().string());
        if (!readOnly.Held()) GTEST_SKIP() << "the folder cannot be made read-only here";
        Project->ExecuteSave(3, "", "d", 0);
    }
    Project->LoadGame(2);
    Project->ExecuteSave(4, "", "e", 0);
    EXPECT_EQ(host->Warnings.size(), 1u);
    EXPECT_FALSE(Terminating());
    EXPECT_EQ(ListedNames(SaveHostFile()),
              names({"GAMESAVEDATA1", "save:x", "GAMESAVEDATA2", "GAMESAVEDATA4", "STATUSSAVEDATA"}));
    EXPECT_EQ(stored(1), one);
    EXPECT_EQ(stored(2), two);

    ASSERT_TRUE(platform::fs::DeleteFile(SaveFile()));
    Project->ExecuteSave(5, "", "f", 0);
    EXPECT_EQ(ListedNames(SaveHostFile()), names({"GAMESAVEDATA5", "STATUSSAVEDATA"}));
}

TEST_F(SaveData, StatusThatCannotBeReadIsNeverReplaced) {
    OpenTitle();
    Project->ExecuteSave(0, "", "s", 0);
    // The same status with one read mark, which this player cannot hold: the read marks are the
    // count and pending mark (20 bytes) before the image mode (1) and the tables (8).
    std::string status = ArchiveEntry(SaveFile(), "STATUSSAVEDATA");
    status.replace(status.size() - 29, 4, U32(1));
    const std::string slot = Record(0);
    FreeProject();
    WriteArchive(SaveFile(), {{"GAMESAVEDATA0", slot}, {"STATUSSAVEDATA", status}});
    FreshEngine();
    ASSERT_EQ(host->Warnings.size(), 1u);
    EXPECT_TRUE(host->Warnings[0].starts_with("セーブデータを読めません"));
    // Game saves still write their slots; the status stays as it was stored.
    Project->ExecuteSave(1, "", "t", 0);
    EXPECT_EQ(host->Warnings.size(), 1u);
    EXPECT_EQ(Project->GetSaveCaption(1), "t");
    EXPECT_EQ(ArchiveEntry(SaveFile(), "GAMESAVEDATA0"), slot);
    FreeProject();
    EXPECT_EQ(ArchiveEntry(SaveFile(), "STATUSSAVEDATA"), status);
}

// A file of the user's standing where a part file might go is neither removed nor written through.
TEST_F(SaveData, AFileBesideTheSaveIsNeitherRemovedNorWrittenThrough) {
    OpenTitle();
    const std::string other = hostFolder + "other";
    WriteHostFile(other, "other");
    ASSERT_EQ(symlink(other.c_str(), (SaveHostFile() + ".$$$").c_str()), 0);
    Project->ExecuteSave(0, "", "s", 0);
    EXPECT_TRUE(host->Warnings.empty());
    EXPECT_EQ(FileText(other), "other");
    EXPECT_TRUE(std::filesystem::is_symlink(SaveHostFile() + ".$$$"));
    struct stat st;
    ASSERT_EQ(lstat(SaveHostFile().c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(ListedNames(SaveHostFile()), (Strings{Hex("GAMESAVEDATA0"), Hex("STATUSSAVEDATA")}));
}

TEST_F(SaveData, ASaveFileThatIsALinkIsNeitherReadNorWrittenThrough) {
    // Another title's saves: a slot, its status and a file of its own.
    OpenTitle();
    ParamMan->Find("seen")->SetAsInt(5);
    Project->ExecuteSave(0, "", "theirs", 0);
    TMemoryStream note = StreamOf("their note");
    ASSERT_TRUE(Project->StoreSavedFile("save:note", note));
    FreeProject();
    const std::string theirs = FreshHostFolder() + "save.dat";
    ASSERT_EQ(rename(SaveHostFile().c_str(), theirs.c_str()), 0);
    const std::string bytes = FileText(theirs);
    ASSERT_EQ(symlink(theirs.c_str(), SaveHostFile().c_str()), 0);

    // This title's folder came with a link in place of its save file: it starts without saves.
    testing::internal::CaptureStderr();
    FreshEngine();
    EXPECT_EQ(ParamMan->Find("seen")->GetAsInt(), 1);
    EXPECT_EQ(Project->SlotCaptions.Count(), 0);
    EXPECT_FALSE(VrFileManager->FileExists("save:note"));
    Project->ReadSaveList();
    Project->LoadGame(0);
    EXPECT_EQ(Project->SlotCaptions.Count(), 0);
    EXPECT_FALSE(Terminating());
    EXPECT_TRUE(host->Warnings.empty());
    EXPECT_EQ(FileText(theirs), bytes);

    // A save replaces the link with a file of this title's, read from then on.
    Project->ExecuteSave(1, "", "mine", 0);
    struct stat st;
    ASSERT_EQ(lstat(SaveHostFile().c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    Project->ReadSaveList();
    EXPECT_EQ(Project->GetSaveCaption(1), "mine");
    EXPECT_EQ(Project->GetSaveCaption(0), "");
    FreeProject();
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(said, "velaplay: " + SaveHostFile() + " is a link and is not read: play starts without saves\n");
    EXPECT_EQ(FileText(theirs), bytes);
    EXPECT_EQ(ListedNames(SaveHostFile()), (Strings{Hex("GAMESAVEDATA1"), Hex("STATUSSAVEDATA")}));
}

// Records made field by field: the runner at m.vsb PC 1, no variables; the parts of the rest of
// the player are recorded, not stored.
class OlderRecords : public SaveData {
protected:
    class TRecordingSections : public TSaveSections {
    public:
        explicit TRecordingSections(Strings& Calls) : calls_(Calls) {}
        void LoadObjects(TStream&, int32_t Version) override { calls_.push_back("objects:" + std::to_string(Version)); }
        void LoadHistory(TStream&, int32_t Version) override { calls_.push_back("history:" + std::to_string(Version)); }
        void LoadTables(TStream&, int32_t Kind) override { calls_.push_back("tables:" + std::to_string(Kind)); }
        void AfterLoad() override { calls_.push_back("after"); }

    private:
        Strings& calls_;
    };

    void SetUp() override {
        SaveData::SetUp();
        sections = std::make_unique<TRecordingSections>(Calls);
        OpenTitle();
        Calls.clear();
    }

    static std::string Record(uint32_t Version) {
        const std::string frame = Str("") + U32(0) + '\0' + '\0' + Str("") + U32(0) + Str("") + U32(0) + '\0';
        std::string runner = Str("m.vsb") + U32(1) + '\0' + '\0' + U32(0) + Str("") + U32(0) + frame + U32(0);
        if (Version >= 116) runner += U32(2);
        std::string variables = U32(0) + U32(50) + Str("") + Str("") + U32(0) + std::string(24, '\0');
        if (Version >= 121) variables += Str("");
        return U32(Version) + Str("caption") + Str("") + U32(0) + runner + variables;
    }
    void LoadRecord(const std::string& Bytes) {
        WriteArchive(SaveFile(), {{"GAMESAVEDATA0", Bytes}});
        Project->LoadGame(0);
    }

    Strings Calls;
};

TEST_F(OlderRecords, TablesFrom123AndTheOldHistoryBefore135) {
    LoadRecord(Record(122));
    LoadRecord(Record(123));
    EXPECT_EQ(Calls, (Strings{"objects:122", "history:122", "after", "objects:123", "history:123", "tables:0", "after"}));
    EXPECT_EQ(Project->Runner->PC, 1);
    EXPECT_FALSE(Terminating());
    EXPECT_TRUE(host->Warnings.empty());
}

TEST_F(OlderRecords, RefusesRecordsItCannotRead) {
    for (uint32_t version : {106u, 145u}) {
        SetTerminating(false);
        host->Warnings.clear();
        LoadRecord(Record(version));
        EXPECT_TRUE(Terminating()) << version;
        EXPECT_EQ(host->Warnings, Strings{"このセーブデータは使用できません\r\n終了してください"});
    }
    EXPECT_EQ(Calls, Strings{});
}

TEST_F(SaveData, CommandsRequestAndTheProjectPerforms) {
    OpenTitle();
    TPageWriter page;
    page.Add(38, Expression("1 + 1") + Str("c.vsb") + U32(1) + Expression(R"("cap")"), true).Note("after");
    page.Add(39, Expression("2"));
    AddPage("s.vsb", page);
    TPageWriter old;
    old.Version = 104;  // no continue PC
    old.Add(38, Expression("4") + Str("c.vsb") + Expression(R"("old")"));
    AddPage("o.vsb", old);

    Project->Runner->Start("s.vsb");
    Tick();
    // The tick ends after the request, whatever the record's continue flag.
    EXPECT_EQ(Log, Strings{});
    EXPECT_EQ(std::vector<int32_t>({Project->PendingSave, Project->SavePC, Project->PendingLoad}),
              std::vector<int32_t>({2, 1, -1}));
    EXPECT_EQ(Project->SavePage + Project->SaveCaption, "c.vsbcap");
    EXPECT_FALSE(Project->ProcessPending());
    EXPECT_EQ(Project->PendingSave, -1);
    EXPECT_EQ(Project->GetSaveCaption(2), "cap");

    Tick();
    EXPECT_EQ(Log, (Strings{"begin:after", "exec:after"}));
    EXPECT_EQ(Project->PendingLoad, 2);
    EXPECT_TRUE(Project->ProcessPending());
    EXPECT_EQ(Project->PendingLoad, -1);
    // The loaded game runs c.vsb from PC 1 first, then returns to the saved position, after the
    // save command.
    Tick();
    EXPECT_EQ(Log, (Strings{"begin:c1", "exec:c1"}));
    EXPECT_EQ(Project->Runner->CurrentPage->GetName(), "s.vsb");
    EXPECT_EQ(Project->Runner->PC, 1);
    Tick();
    EXPECT_EQ(Log, (Strings{"begin:after", "exec:after"}));

    Project->Runner->Start("o.vsb");
    Tick();
    EXPECT_EQ(Project->PendingSave, 4);
    EXPECT_EQ(Project->SavePC, 0);
}

}  // namespace
