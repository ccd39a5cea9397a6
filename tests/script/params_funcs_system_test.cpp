// The system functions through compiled expressions on the headless display: screenshots into
// files, memory files and the save file (read back by the Mira reader and the Python archive
// reader), memory files copied, content files extracted with the overwrite question, the
// dialogs, the wallpaper and the save-slot list. Nothing may be written outside its folder.
#include "core/installset.h"
#include "core/stringlist.h"
#include "core/vrfiles_manager.h"
#include "graphics/miras.h"
#include "media/screenman.h"
#include "objects/vitems.h"
#include "objects/vitems_kinds.h"
#include "script/project.h"
#include "platform/encoding.h"
#include "tests/script/params_funcs_eval.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <deque>
#include <map>

namespace {

constexpr int32_t W = 16, H = 12;

class SystemFuncs : public EvalFuncsTest {
protected:
    void SetUp() override {
        EvalFuncsTest::SetUp();
        // A throwaway home: the lists of written files and the user's folders lie there.
        home = FreshHostFolder();
        homeVar.emplace("HOME", home.c_str());
        config.emplace("XDG_CONFIG_HOME", (home + "config").c_str());
        data.emplace("XDG_DATA_HOME", (home + "data").c_str());
        VelaInitialize();
        Bases->SetWidth(W);
        Bases->SetHeight(H);
        panel.SetBounds(0, 0, W, H);
        display.setBounds(0, 0, W, H);
        ScreenMan = new TScreenManager(&display, &panel, W, H, 0, 0);
        // The left half of the current layer red, the rest the layer's white.
        auto* box = static_cast<TVelaControl*>(Bases->CreateObject(LT_BOX));
        box->SetParent(Bases->GetBase(Bases->GetCurrentLayer()));
        box->SetLeft(0), box->SetTop(0), box->SetWidth(W / 2), box->SetHeight(H);
        box->SetColor(0x0000FF);
        ExitDeleteList = new TExitDeleteList;
        Project = new TProject;
        SetTerminating(false);
        Project->SavePathKnown = true;
        Project->SavePath = base + "save.dat";
    }
    void TearDown() override {
        delete std::exchange(Project, nullptr);
        delete std::exchange(ExitDeleteList, nullptr);
        VelaFinalize();
        delete std::exchange(ScreenMan, nullptr);
        EvalFuncsTest::TearDown();
    }

    // The memory file's entry in the file manager's first archive.
    static TVrFile* MemoryFile(const std::string& Name) { return VrFileManager->FindFile(Name); }
    // A Mira picture's first frame from its bytes.
    static std::unique_ptr<TMiraFrameList> ReadMira(TStream& Stream) {
        auto list = std::make_unique<TMiraFrameList>(0);
        Stream.SetPosition(0);
        list->LoadFromStream(Stream, true, false, false);
        return list;
    }
    // Width x height and the colours (0xRRGGBB) of the top-left and top-right pixels.
    static std::string Describe(const TMiraFrameList& List) {
        const TDIBSurface& image = List.GetFrame(0)->Image;
        return Format("%dx%d %06X %06X", image.Width(), image.Height(), image.GetPixel(0, 0),
                      image.GetPixel(image.Width() - 1, 0));
    }
    // Adds an archive of Entries (read from its file: the entries have no data of their own).
    void AttachArchive(const std::map<std::string, std::string>& Entries, const std::string& File = "content.dat") {
        TVrFileCollection archive;
        for (const auto& [name, bytes] : Entries)
            archive.AddStream(name).DataSource->WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
        {
            TNxBigFileStream file(base + File, fmCreate);
            WriteIndex(archive, file);
        }
        VrFileManager->Add(base + File);
    }
    static std::string Data(const TVrFile& File) { return Bytes(*File.DataSource); }

    TBasePanel panel;
    platform::HeadlessDisplay display;
    std::string home;
    std::optional<ScopedEnvironment> homeVar, config, data;
};

TEST_F(SystemFuncs, SaveScreenWritesMiraToFilesAndMemoryFiles) {
    EXPECT_EQ(Eval("SaveScreen(\"shot.mra\")"), "TRUE");
    TFileStream file(base + "shot.mra", fmOpenRead);
    EXPECT_EQ(Describe(*ReadMira(file)), "16x12 FF0000 FFFFFF");

    // Width and height 0 take the root's size; another size is resampled.
    EXPECT_EQ(Eval("SaveScreen(\"MEM:a.mra\", 0, 0)"), "TRUE");
    EXPECT_EQ(Describe(*ReadMira(*MemoryFile("MEM:a.mra")->DataSource)), "16x12 FF0000 FFFFFF");
    EXPECT_EQ(Eval("SaveScreen(\"mem:a.mra\", 8, 3)"), "TRUE");
    EXPECT_EQ(Describe(*ReadMira(*MemoryFile("mem:a.mra")->DataSource)), "8x3 FF0000 FFFFFF");
    // The other layer holds nothing but its white.
    EXPECT_EQ(Eval("SaveScreen(\"mem:b.mra\", 0, 0, TRUE)"), "TRUE");
    EXPECT_EQ(Describe(*ReadMira(*MemoryFile("mem:b.mra")->DataSource)), "16x12 FFFFFF FFFFFF");

    // A "save:" file is kept in the save file too, as the Python reader lists it.
    EXPECT_EQ(Eval("SaveScreen(\"save:keep.mra\", 4, 4, FALSE, 1)"), "TRUE");
    const std::string listing = PythonOutput("vfarchive.py", {"list", hostBase + "save.dat"});
    EXPECT_TRUE(AnsiSameText(listing.substr(0, listing.find(' ')), ToHex("save:keep.mra"))) << listing;
    const std::string stored = PythonOutput("vfarchive.py", {"cat", hostBase + "save.dat", ToHex("save:keep.mra")});
    EXPECT_EQ(stored, Data(*MemoryFile("save:keep.mra")));
    TMemoryStream copy = StreamOf(stored);
    EXPECT_EQ(Describe(*ReadMira(copy)), "4x4 FF0000 FFFFFF");
    EXPECT_TRUE(ExitDeleteList->Files().empty());
}

TEST_F(SystemFuncs, SaveScreenRefusesNamesAndSizesAndReportsFailures) {
    struct Row {
        const char* call;
        const char* hostFile;  // must not exist afterwards ("" for none)
    };
    const Row rows[] = {
        {"SaveScreen(\"shot.png\")", "shot.png"},
        {"SaveScreen(\"n.mra\", -1, 5)", "n.mra"},
        {"SaveScreen(\"n.mra\", 5, -1)", "n.mra"},
        {"SaveScreen(\"..\\\\up.mra\")", "../up.mra"},
        {"SaveScreen(\"sub\\\\..\\\\..\\\\up2.mra\")", "../up2.mra"},
        {"SaveScreen(\"Z:\\\\tmp\\\\abs.mra\")", ""},
        // "/" separates as "\\" does; ":" and control characters are in no name.
        {"SaveScreen(\"sub/../../up3.mra\")", "../up3.mra"},
        {"SaveScreen(\"a:shot.mra\")", "a:shot.mra"},
        {"SaveScreen(\"a\" ++ Chr(10) ++ \"b.mra\")", "a\nb.mra"},
        // Hidden names, where the title folder may be the home folder.
        {"SaveScreen(\".hidden.mra\")", ".hidden.mra"},
        {"SaveScreen(\".config\\\\x.mra\")", ".config/x.mra"},
        // An error on the way: the folder does not exist.
        {"SaveScreen(\"nofolder\\\\x.mra\")", "nofolder/x.mra"},
        {"SaveScreen(\"big.mra\", 100000, 100000)", "big.mra"},
    };
    std::filesystem::create_directory(hostBase + ".config");
    for (const Row& row : rows) {
        EXPECT_EQ(Eval(row.call), "FALSE") << row.call;
        if (*row.hostFile) {
            EXPECT_FALSE(std::filesystem::exists(hostBase + row.hostFile)) << row.call;
        }
    }
    // A name with the memory prefix that an archive's entry bears: that entry is neither read
    // nor emptied.
    AttachArchive({{"mem:arc.mra", "stored"}});
    EXPECT_EQ(Eval("SaveScreen(\"mem:arc.mra\")"), "FALSE");
    EXPECT_EQ(MemoryFile("mem:arc.mra")->DataSource, nullptr);
    // Without the base folder on disk nothing is written.
    VrFileManager->SetBaseFolder(base + "gone\\");
    EXPECT_EQ(Eval("SaveScreen(\"x.mra\")"), "FALSE");
}

// A picture the title made goes at the end when it asks so; a file of the user's standing at its
// name, in the title's own folder too, is replaced only with a yes and never goes at the end.
TEST_F(SystemFuncs, SaveScreenRegistersWrittenFiles) {
    TVelaInstallSet set;
    set.SetId = "t";
    set.SaveToFile(base + "install.dat");
    EXPECT_EQ(Eval("SaveScreen(\"a.mra\", 0, 0, FALSE, 1)"), "TRUE");
    EXPECT_EQ(Eval("SaveScreen(\"A.MRA\", 0, 0, FALSE, 1)"), "TRUE");
    EXPECT_TRUE(display.choices.empty());
    WriteHostFile(hostBase + "photo.mra", "users");
    EXPECT_EQ(Eval("SaveScreen(\"photo.mra\", 0, 0, FALSE, 1)"), "FALSE");
    EXPECT_EQ(FileText(hostBase + "photo.mra"), "users");
    display.choiceAnswers = {0};
    EXPECT_EQ(Eval("SaveScreen(\"photo.mra\", 0, 0, FALSE, 1)"), "TRUE");
    EXPECT_EQ(display.choices.size(), 2u);
    ASSERT_EQ(ExitDeleteList->Files().size(), 1u);
    EXPECT_EQ(ExitDeleteList->Files()[0].Shown(), platform::fs::ShownPath(base + "a.mra"));
    for (int i = 0; i < 2; ++i) EXPECT_EQ(Eval("SaveScreen(\"b.mra\", 0, 0, FALSE, 2)"), "TRUE");
    EXPECT_EQ(Eval("SaveScreen(\"mem:c.mra\", 0, 0, FALSE, 2)"), "TRUE");
    set.LoadFromFile(base + "install.dat");
    EXPECT_EQ(set.EntryNames.Count(), 1);
    EXPECT_EQ(set.IndexOfEntry("b.mra"), 0);
}

TEST_F(SystemFuncs, CopyFileCopiesMemoryFilesOnly) {
    WriteHostFile(hostBase + "disk.txt", "on disk");
    EXPECT_EQ(Eval("CopyFile(\"disk.txt\", \"mem:x\")"), "FALSE");
    EXPECT_EQ(MemoryFile("mem:x"), nullptr);
    EXPECT_EQ(Eval("CopyFile(\"mem:none\", \"mem:x\")"), "FALSE");

    VrFileManager->GetCollection(0).AddStream("mem:src").DataSource->WriteBuffer("abc", 3);
    VrFileManager->GetCollection(0).AddStream("mem:old").DataSource->WriteBuffer("longer", 6);
    EXPECT_EQ(Eval("CopyFile(\"mem:src\", \"mem:old\")"), "TRUE");
    EXPECT_EQ(Data(*MemoryFile("mem:old")), "abc");
    EXPECT_EQ(Eval("CopyFile(\"MEM:src\", \"mem:src\")"), "TRUE");
    EXPECT_EQ(Data(*MemoryFile("mem:src")), "abc");
    EXPECT_EQ(Eval("CopyFile(\"mem:src\", \"save:kept\")"), "TRUE");
    EXPECT_EQ(PythonOutput("vfarchive.py", {"cat", hostBase + "save.dat", ToHex("save:kept")}), "abc");

    // Entries of a content archive that bear memory names are neither read nor emptied.
    AttachArchive({{"mem:arc", "stored"}});
    EXPECT_EQ(Eval("CopyFile(\"mem:arc\", \"mem:y\")"), "FALSE");
    EXPECT_EQ(Eval("CopyFile(\"mem:src\", \"mem:arc\")"), "FALSE");
    EXPECT_EQ(MemoryFile("mem:y"), nullptr);
    EXPECT_EQ(MemoryFile("mem:arc")->DataSource, nullptr);

    // A save file that cannot be written: false, the memory copy stays.
    Project->SavePath = base + "missing\\save.dat";
    EXPECT_EQ(Eval("CopyFile(\"mem:src\", \"save:other\")"), "FALSE");
    EXPECT_EQ(Data(*MemoryFile("save:other")), "abc");
}

class ExtractFuncs : public SystemFuncs {
protected:
    void SetUp() override {
        SystemFuncs::SetUp();
        // 表 and ソ end in the byte 0x5C.
        AttachArchive({{"表.txt", "hyou"}, {"ソ.txt", "so"}, {"a.TXT", "a"}, {"b.dat", "b"}, {"ソ\\in.txt", "in"},
                       {"d\\..", "dots"}});
    }
    std::string Desktop() const { return home + "Desktop/"; }
    std::string Documents() const { return home + "Documents/"; }
};

TEST_F(ExtractFuncs, MasksMatchByCharacterWithoutRegardToCase) {
    struct Row {
        const char* pattern;
        std::vector<std::string> files;
    };
    const Row rows[] = {
        {"*.txt", {"a.TXT", "ソ.txt", "表.txt"}},
        {"?.TXT", {"a.TXT", "ソ.txt", "表.txt"}},
        {"表*", {"表.txt"}},
        {"??.txt", {}},
        {"*\\*", {}},
        {"ソ\\*.t?t", {"in.txt"}},
        {"\\b.*", {"b.dat"}},
    };
    for (const Row& row : rows) {
        SetStr("p", row.pattern);
        // The folder text is taken under the desktop folder.
        std::filesystem::remove_all(Desktop());
        EXPECT_EQ(Eval("ExtractFile(p, FALSE, \"{desktop}\\\\out\")"), row.files.empty() ? "FALSE" : "TRUE")
            << row.pattern;
        std::vector<std::string> written;
        if (std::filesystem::exists(Desktop() + "out"))
            for (const auto& entry : std::filesystem::directory_iterator(Desktop() + "out"))
                written.push_back(platform::Utf8ToCp932(entry.path().filename().string()));
        std::sort(written.begin(), written.end());
        EXPECT_EQ(written, row.files) << row.pattern;
    }
    EXPECT_EQ(FileText(Desktop() + "out/b.dat"), "b");
}

TEST_F(ExtractFuncs, TargetsStayInsideTheirFolder) {
    // Climbing out of the desktop or documents folder, or a ":" in a folder's name, is refused.
    EXPECT_EQ(Eval("ExtractFile(\"b.dat\", FALSE, \"{Desktop}\\\\..\\\\..\")"), "FALSE");
    EXPECT_EQ(Eval("ExtractFile(\"b.dat\", FALSE, \"{Desktop}/x/../..\")"), "FALSE");
    EXPECT_EQ(Eval("ExtractFile(\"表.txt\", FALSE, \"{MyDocuments}\\\\sub:x\")"), "FALSE");
    EXPECT_FALSE(std::filesystem::exists(home + "b.dat") || std::filesystem::exists(Desktop()));
    // The documents folder is never the home folder, even where the user-dirs file names none;
    // "/" separates a folder text as "\\" does.
    EXPECT_EQ(Eval("ExtractFile(\"表.txt\", FALSE, \"{MyDocuments}/sub\")"), "TRUE");
    EXPECT_EQ(FileText(Documents() + "sub/" + platform::Cp932ToUtf8("表.txt")), "hyou");
    EXPECT_EQ(Eval("ExtractFile(\"b.dat\", FALSE, \"{Windows}\")"), "FALSE");
    // An entry whose name part climbs is refused; a name nothing holds is skipped.
    EXPECT_EQ(Eval("ExtractFile(\"d\\\\..\", FALSE, \"{Desktop}\\\\x\")"), "FALSE");
    EXPECT_EQ(Eval("ExtractFile(\"nothing.txt\", FALSE, \"{Desktop}\")"), "FALSE");
    EXPECT_FALSE(std::filesystem::exists(home + "dots"));
    // Without a key the folder is the title's own, whatever the text climbs: never the player
    // program's, where a title's library would be loaded at the next start.
    const std::string programFolder = std::filesystem::path(platform::fs::ToHostPath(platform::fs::ProgramFile()).value())
                                          .parent_path()
                                          .string();
    EXPECT_EQ(Eval("ExtractFile(\"a.TXT\", FALSE, \"..\\\\..\")"), "FALSE");
    EXPECT_EQ(Eval("ExtractFile(\"b.dat\", FALSE, \"\")"), "TRUE");
    EXPECT_EQ(FileText(hostBase + "b.dat"), "b");
    EXPECT_FALSE(std::filesystem::exists(programFolder + "/a.TXT") || std::filesystem::exists(programFolder + "/b.dat"));
    // A link among the title's folders leads nowhere the kernel would not follow beneath it.
    const std::string outside = FreshHostFolder();
    std::filesystem::create_directory_symlink(outside, hostBase + "away");
    std::filesystem::create_directory_symlink("../..", hostBase + "up");
    EXPECT_EQ(Eval("SaveScreen(\"away/x.mra\")"), "FALSE");
    EXPECT_EQ(Eval("SaveScreen(\"up\\\\x.mra\")"), "FALSE");
    EXPECT_EQ(Eval("ExtractFile(\"b.dat\", FALSE, \"away/deeper\")"), "FALSE");
    EXPECT_TRUE(std::filesystem::is_empty(outside));
}

// A title kept beside the player writes nothing into the player's folder, where its library
// would be loaded at the next start; and a folder is made only for an entry that is written.
TEST_F(ExtractFuncs, ThePlayersFolderTakesNothingAndFoldersComeOnlyWithAFile) {
    const std::string programFolder = ExtractFilePath(platform::fs::ProgramFile());
    const std::string hostProgram = platform::fs::ToHostPath(programFolder).value();
    VrFileManager->SetBaseFolder(programFolder);
    testing::internal::CaptureStderr();
    EXPECT_EQ(Eval("ExtractFile(\"b.dat\", FALSE, \"\")"), "FALSE");
    EXPECT_EQ(Eval("SaveScreen(\"shot.mra\")"), "FALSE");
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 2) << said;
    EXPECT_FALSE(std::filesystem::exists(hostProgram + "b.dat") || std::filesystem::exists(hostProgram + "shot.mra"));
    EXPECT_TRUE(display.choices.empty());
    // Nor into the player's folder inside the title's, named with "/" or reached by a link, nor
    // into a folder inside it; no folder is made there before the gate said no.
    const std::filesystem::path program(hostProgram.substr(0, hostProgram.size() - 1));
    VrFileManager->SetBaseFolder(platform::fs::ToProgramPath(program.parent_path().string() + "/"));
    SetStr("inside", platform::Utf8ToCp932(program.filename().string()));
    EXPECT_EQ(Eval("SaveScreen(inside ++ \"/x.mra\")"), "FALSE");
    EXPECT_EQ(Eval("ExtractFile(\"b.dat\", FALSE, inside ++ \"/sub\")"), "FALSE");
    VrFileManager->SetBaseFolder(programFolder);
    EXPECT_EQ(Eval("ExtractFile(\"b.dat\", FALSE, \"sub\")"), "FALSE");
    EXPECT_FALSE(std::filesystem::exists(hostProgram + "x.mra") || std::filesystem::exists(hostProgram + "sub"));

    VrFileManager->SetBaseFolder(base);
    EXPECT_EQ(Eval("ExtractFile(\"nothing.txt\", FALSE, \"a\\\\b\")"), "FALSE");
    EXPECT_EQ(Eval("ExtractFile(\"nothing.txt\", FALSE, \"{Desktop}\\\\c\")"), "FALSE");
    EXPECT_FALSE(std::filesystem::exists(hostBase + "a") || std::filesystem::exists(Desktop()));
    // Nor for a path longer than any title names, where each step on the host would cost more.
    std::string deep;
    while (deep.size() <= 260) deep += "d\\";
    SetStr("deep", deep);
    EXPECT_EQ(Eval("ExtractFile(\"b.dat\", FALSE, deep)"), "FALSE");
    EXPECT_EQ(Eval("SaveScreen(deep ++ \"x.mra\")"), "FALSE");
    EXPECT_FALSE(std::filesystem::exists(hostBase + "d"));
}

// A hostile title's entries: hidden names and folders (an autostart entry, the shell's start-up
// files) and names that are not a file's are refused, with false and a line on standard error.
TEST_F(ExtractFuncs, HiddenAndHostNamesAreRefused) {
    AttachArchive({{".bashrc", "evil"}, {"x.desktop", "evil"}, {"/etc/evC.txt", "evil"}, {"ok.txt", "ok"}}, "hostile.dat");
    WriteHostFile(home + ".bashrc", "mine");
    const std::string outside = FreshHostFolder();
    std::filesystem::create_directory_symlink(outside, hostBase + "out");
    for (const char* call : {"ExtractFile(\"ok.txt\", FALSE, \"out\\\\new\")","ExtractFile(\".bashrc\", TRUE, \"{MyDocuments}\")",
                             "ExtractFile(\".bashrc\", FALSE, \"..\")",
                             "ExtractFile(\"x.desktop\", FALSE, \"{MyDocuments}\\\\.config\\\\autostart\")",
                             "ExtractFile(\"x.desktop\", FALSE, \"sub\\\\.hidden\")",
                             "ExtractFile(\"/etc/evC.txt\", FALSE, \"{Desktop}\")"}) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(Eval(call), "FALSE") << call;
        EXPECT_NE(testing::internal::GetCapturedStderr(), "") << call;
    }
    EXPECT_EQ(FileText(home + ".bashrc"), "mine");
    EXPECT_FALSE(std::filesystem::exists(home + ".config/autostart"));
    EXPECT_FALSE(std::filesystem::exists(Documents() + ".config"));
    EXPECT_FALSE(std::filesystem::exists(hostBase + ".bashrc"));
    EXPECT_TRUE(std::filesystem::is_empty(outside));
    // An entry that cannot be written (a folder stands at its name): false, not left unset.
    std::filesystem::create_directories(hostBase + "ok.txt/inside");
    EXPECT_EQ(Eval("ExtractFile(\"ok.txt\", FALSE, \"\")"), "FALSE");
}

// In the user's folders a file this title did not write is replaced only with a yes, Confirm
// false included; nobody answering is a no. What it wrote itself it replaces as it likes. A link
// at a target is replaced, never written through.
TEST_F(ExtractFuncs, TheUsersOwnFilesAreReplacedOnlyWithAYes) {
    WriteHostFile(Documents() + "b.dat", "users");
    EXPECT_EQ(Eval("ExtractFile(\"b.dat\", FALSE, \"{MyDocuments}\")"), "FALSE");
    EXPECT_EQ(FileText(Documents() + "b.dat"), "users");
    ASSERT_EQ(display.choices.size(), 1u);
    display.choiceAnswers = {0};
    EXPECT_EQ(Eval("ExtractFile(\"b.dat\", FALSE, \"{MyDocuments}\")"), "TRUE");
    EXPECT_EQ(FileText(Documents() + "b.dat"), "b");
    // Now the title's own, kept in the list of its folder (by device and inode) for its next
    // runs: replaced without a question.
    struct stat title;
    ASSERT_EQ(stat(hostBase.c_str(), &title), 0);
    const std::string list = FileText(home + "data/velaplay/written/" +
                                      Format("%lx-%lx.lst", static_cast<unsigned long>(title.st_dev),
                                             static_cast<unsigned long>(title.st_ino)));
    EXPECT_TRUE(list.ends_with(std::string("/b.dat") + '\0')) << list;
    WriteHostFile(Documents() + "b.dat", "changed");
    WriteHostFile(Desktop() + "a.TXT", "users");
    EXPECT_EQ(Eval("ExtractFile(\"b.dat\", FALSE, \"{MyDocuments}\")"), "TRUE");
    EXPECT_EQ(FileText(Documents() + "b.dat"), "b");
    EXPECT_EQ(display.choices.size(), 2u);
    // The title's own folder is no different: a link of the user's standing there is replaced
    // (never written through) only with a yes.
    const std::string users = FreshHostFolder() + "users.txt";
    WriteHostFile(users, "users");
    std::filesystem::create_symlink(users, hostBase + "a.TXT");
    EXPECT_EQ(Eval("ExtractFile(\"a.TXT\", FALSE, \"\")"), "FALSE");
    EXPECT_TRUE(std::filesystem::is_symlink(hostBase + "a.TXT"));
    display.choiceAnswers = {0};
    EXPECT_EQ(Eval("ExtractFile(\"a.TXT\", FALSE, \"\")"), "TRUE");
    EXPECT_FALSE(std::filesystem::is_symlink(hostBase + "a.TXT"));
    EXPECT_EQ(FileText(hostBase + "a.TXT"), "a");
    EXPECT_EQ(FileText(users), "users");
    // Nobody answering is a no: only the name no file holds yet is written.
    std::filesystem::create_symlink(users, Desktop() + platform::Cp932ToUtf8("ソ.txt"));
    EXPECT_EQ(Eval("ExtractFile(\"*.txt\", FALSE, \"{Desktop}\")"), "TRUE");
    EXPECT_EQ(FileText(Desktop() + "a.TXT"), "users");
    EXPECT_EQ(FileText(Desktop() + platform::Cp932ToUtf8("表.txt")), "hyou");
    EXPECT_EQ(FileText(users), "users");
}

// A title's list of written files is its folder's, whatever its save file is named: another
// title folder asks for what the first wrote. No name written below a title's folder, a line
// break in the folder's name included, makes a file of the user's its own.
TEST_F(ExtractFuncs, WrittenFilesAreKeptByTheTitleFolderAndCannotBeForged) {
    EXPECT_EQ(Eval("ExtractFile(\"b.dat\", FALSE, \"{MyDocuments}\")"), "TRUE");
    WriteHostFile(Documents() + "b.dat", "users");
    const std::string other = FreshHostFolder() + "t\n/";
    std::filesystem::create_directory(other);
    VrFileManager->SetBaseFolder(platform::fs::ToProgramPath(other));
    EXPECT_EQ(Eval("ExtractFile(\"b.dat\", FALSE, \"{MyDocuments}\")"), "FALSE");
    EXPECT_EQ(display.choices.size(), 1u);
    // The other title writes a file whose path, after its folder's, spells the user's.
    SetStr("spelled", platform::Utf8ToCp932(home.substr(1) + "Documents"));
    EXPECT_EQ(Eval("ExtractFile(\"b.dat\", FALSE, spelled)"), "TRUE");
    EXPECT_EQ(FileText(other + home.substr(1) + "Documents/b.dat"), "b");
    EXPECT_EQ(Eval("ExtractFile(\"b.dat\", FALSE, \"{MyDocuments}\")"), "FALSE");
    EXPECT_EQ(display.choices.size(), 2u);
    EXPECT_EQ(FileText(Documents() + "b.dat"), "users");
}

// A list of written files past its bound is read by no later start: standard error says so, and
// every file that stands is asked for, those the list names too.
TEST_F(ExtractFuncs, AListOfWrittenFilesPastItsBoundIsNotRead) {
    EXPECT_EQ(Eval("ExtractFile(\"b.dat\", FALSE, \"{MyDocuments}\")"), "TRUE");
    std::filesystem::resize_file(std::filesystem::directory_iterator(home + "data/velaplay/written")->path(),
                                 (8 << 20) + 1);
    // Another title plays, then this one again.
    VrFileManager->SetBaseFolder(platform::fs::ToProgramPath(FreshHostFolder()));
    EXPECT_EQ(Eval("ExtractFile(\"a.TXT\", FALSE, \"\")"), "TRUE");
    VrFileManager->SetBaseFolder(base);
    testing::internal::CaptureStderr();
    EXPECT_EQ(Eval("ExtractFile(\"b.dat\", FALSE, \"{MyDocuments}\")"), "FALSE");
    EXPECT_NE(testing::internal::GetCapturedStderr().find("is not read"), std::string::npos);
    EXPECT_EQ(display.choices.size(), 1u);
}

TEST_F(ExtractFuncs, TheOverwriteQuestionHasFiveAnswersForALongerList) {
    const auto existing = [&](const std::vector<std::string>& Names) {
        std::filesystem::remove_all(Desktop());
        for (const std::string& name : Names) WriteHostFile(Desktop() + platform::Cp932ToUtf8(name), "old");
    };
    TParamCollectionItem& p = ParamMan->AddParam(PT_STR);
    p.SetName("p");
    p.SetDims({2});
    p.SetStrAt(0, "*.txt");
    p.SetStrAt(1, "b.dat");
    enum { Yes, No, Cancel, NoToAll, YesToAll };
    struct Row {
        std::deque<int> answers;
        size_t asked;
        std::vector<std::string> overwritten;  // of a.TXT, ソ.txt, 表.txt, b.dat, all existing
    };
    const Row rows[] = {
        {{Yes, No, Yes, Yes}, 4, {"a.TXT", "表.txt", "b.dat"}},
        {{NoToAll}, 1, {}},
        {{No, YesToAll}, 2, {"ソ.txt", "表.txt", "b.dat"}},
        {{Cancel, Yes}, 2, {"b.dat"}},
    };
    for (const Row& row : rows) {
        existing({"a.TXT", "ソ.txt", "表.txt", "b.dat"});
        display.choices.clear();
        display.choiceAnswers = row.answers;
        EXPECT_EQ(Eval("ExtractFile(p, TRUE, \"{Desktop}\")"), row.overwritten.empty() ? "FALSE" : "TRUE");
        ASSERT_EQ(display.choices.size(), row.asked);
        EXPECT_EQ(display.choices[0].caption, "確認");
        EXPECT_EQ(display.choices[0].labels,
                  (std::vector<std::string>{"はい(&Y)", "いいえ(&N)", "キャンセル", "すべていいえ(&O)", "すべてはい(&A)"}));
        EXPECT_EQ(display.choices[0].cancel, 2u);
        std::vector<std::string> overwritten;
        for (const char* name : {"a.TXT", "ソ.txt", "表.txt", "b.dat"})
            if (FileText(Desktop() + platform::Cp932ToUtf8(name)) != "old") overwritten.push_back(name);
        EXPECT_EQ(overwritten, row.overwritten);
    }
    // One name: yes and no only, the question naming the target.
    existing({"b.dat"});
    display.choices.clear();
    display.choiceAnswers = {No};
    EXPECT_EQ(Eval("ExtractFile(\"b.dat\", TRUE, \"{Desktop}\")"), "FALSE");
    ASSERT_EQ(display.choices.size(), 1u);
    EXPECT_EQ(display.choices[0].labels, (std::vector<std::string>{"はい(&Y)", "いいえ(&N)"}));
    EXPECT_EQ(display.choices[0].text, Desktop() +
                                           "b.dat\r\n\r\n既に同名のファイルが存在します。上書きしますか？");
    // Without a folder the folder dialog chooses.
    display.fileAnswers = {home + "chosen"};
    std::filesystem::create_directories(home + "chosen");
    EXPECT_EQ(Eval("ExtractFile(\"b.dat\")"), "TRUE");
    EXPECT_EQ(FileText(home + "chosen/b.dat"), "b");
    EXPECT_EQ(display.fileDialogs.back().kind, platform::FileDialogKind::Folder);
    EXPECT_EQ(Eval("ExtractFile(\"b.dat\")"), "FALSE");
}

TEST_F(ExtractFuncs, DialogsAnswerWindowsPathsOnDriveZ) {
    SetStr("v", "before");
    display.fileAnswers = {home + "a b.txt", std::nullopt, home + "dir"};
    EXPECT_EQ(Eval("SelectOpenFile(v, \"Text|*.txt\")"), "TRUE");
    EXPECT_EQ(ParamMan->Find("v")->GetAsStr(), platform::fs::ToProgramPath(home + "a b.txt"));
    EXPECT_EQ(display.fileDialogs[0].kind, platform::FileDialogKind::Open);
    EXPECT_EQ(display.fileDialogs[0].folder, home + "Desktop");
    EXPECT_EQ(display.fileDialogs[0].filter, "Text|*.txt");
    SetStr("v", "before");
    EXPECT_EQ(Eval("SelectSaveFile(v)"), "FALSE");
    EXPECT_EQ(ParamMan->Find("v")->GetAsStr(), "before");
    EXPECT_EQ(display.fileDialogs[1].kind, platform::FileDialogKind::Save);
    EXPECT_EQ(Eval("SelectDirectory(v)"), "TRUE");
    EXPECT_EQ(ParamMan->Find("v")->GetAsStr(), platform::fs::ToProgramPath(home + "dir") + "\\");
    EXPECT_EQ(Eval("SelectDirectory(v)"), "FALSE");

    EXPECT_EQ(Eval("Alert(\"done\")"), "TRUE");
    ASSERT_EQ(display.choices.size(), 1u);
    EXPECT_EQ(display.choices[0].caption, "情報");
    EXPECT_EQ(display.choices[0].labels, std::vector<std::string>{"OK"});
}

// The shell's folder dialog, once set, chooses for SelectDirectory and ExtractFile.
TEST_F(ExtractFuncs, TheShellsFolderDialogChoosesTheFolder) {
    static std::string chosen;
    chosen = platform::fs::ToProgramPath(home + "shell");
    struct Unset {
        ~Unset() { FolderDialog = nullptr; }
    } unset;
    SetStr("v", "before");
    std::filesystem::create_directories(home + "shell");
    FolderDialog = [](platform::Display&) -> std::optional<std::string> { return chosen; };
    EXPECT_EQ(Eval("SelectDirectory(v)"), "TRUE");
    EXPECT_EQ(ParamMan->Find("v")->GetAsStr(), chosen + "\\");
    EXPECT_EQ(Eval("ExtractFile(\"b.dat\")"), "TRUE");
    EXPECT_EQ(FileText(home + "shell/b.dat"), "b");
    FolderDialog = [](platform::Display&) -> std::optional<std::string> { return std::nullopt; };
    EXPECT_EQ(Eval("SelectDirectory(v)"), "FALSE");
    EXPECT_TRUE(display.fileDialogs.empty());
}

TEST_F(ExtractFuncs, WallpaperIsWrittenAndSetThroughGsettings) {
    const std::string tools = FreshHostFolder(), log = tools + "log";
    std::filesystem::create_symlink(VELA_TEST_TOOLS "/fake_gsettings", tools + "gsettings");
    ScopedEnvironment data("XDG_DATA_HOME", (home + "data").c_str()), logVar("FAKE_GSETTINGS_LOG", log.c_str());
    const std::string bitmap = home + "data/velaplay/vazozovu.bmp";
    // Size and first pixel (0xRRGGBB) of a bitmap file.
    const auto BitmapOf = [](const std::string& HostFile) {
        TDIB picture;
        TFileStream file(platform::fs::ToProgramPath(HostFile), fmOpenRead);
        picture.LoadFromStream(file);
        return Format("%dx%d %06X", picture.Width(), picture.Height(), picture.GetPixel(0, 0));
    };
    {
        ScopedEnvironment path("PATH", tools.c_str());
        Bases->Prepare();
        // Nothing is written or set before the user said yes to the question.
        EXPECT_EQ(Eval("SetWallPaper(\"\", 1)"), "FALSE");
        ASSERT_EQ(display.choices.size(), 1u);
        EXPECT_EQ(display.choices[0].labels.size(), 2u);
        EXPECT_FALSE(std::filesystem::exists(log) || std::filesystem::exists(bitmap));
        display.choiceAnswers = {0, 0, 0};
        EXPECT_EQ(Eval("SetWallPaper(\"\", 1)"), "TRUE");
        EXPECT_EQ(FileText(log).substr(0, 57), "set org.gnome.desktop.background picture-uri file://" + home.substr(0, 5));
        EXPECT_NE(FileText(log).find("picture-options wallpaper"), std::string::npos);
        EXPECT_EQ(BitmapOf(bitmap), "16x12 FF0000");
        // The first frame of a content picture.
        TDIBSurface green;
        green.SetSize(3, 2, 24);
        green.FillRectRaw({0, 0, 3, 2}, 0x00FF00);
        green.SaveToFile(base + "pic.bmp");
        EXPECT_EQ(Eval("SetWallPaper(\"pic.bmp\", 0)"), "TRUE");
        EXPECT_EQ(BitmapOf(bitmap), "3x2 00FF00");
        EXPECT_NE(FileText(log).find("picture-options centered"), std::string::npos);
        // A picture nothing holds: nothing is set.
        std::filesystem::remove(log);
        EXPECT_EQ(Eval("SetWallPaper(\"none.bmp\", 1)"), "FALSE");
        EXPECT_FALSE(std::filesystem::exists(log));
    }
    std::filesystem::remove(bitmap);
    ScopedEnvironment path("PATH", FreshHostFolder().c_str());
    display.choiceAnswers = {0};
    EXPECT_EQ(Eval("SetWallPaper(\"\", 2)"), "FALSE");
    EXPECT_TRUE(std::filesystem::exists(bitmap));
}

TEST_F(ExtractFuncs, OpenUrlHandsAddressesAndFoldersToTheOpener) {
    const std::string tools = FreshHostFolder(), log = tools + "log";
    WriteHostFile(tools + "xdg-open", "#!/bin/sh\necho \"$1\" >> \"" + log + "\"\n");
    chmod((tools + "xdg-open").c_str(), 0755);
    ScopedEnvironment path("PATH", tools.c_str());
    // What the opener was given once it was started Lines times (it runs apart from the player).
    const auto opened = [&](long Lines) {
        std::string text = FileText(log);
        for (int i = 0; i < 1000 && std::count(text.begin(), text.end(), '\n') < Lines; ++i) {
            usleep(10000);
            text = FileText(log);
        }
        return text;
    };
    // Only absolute web and ftp addresses and the title's own folders open; the call has no
    // result. A folder goes as its absolute path, so nothing reaches the opener as an option.
    for (const char* refused : {"HTTP://X", "Z:\\\\no\\\\such\\\\folder", "ftp --help", "httpd.conf", "http://", "-n\\\\..\\\\.."})
        Eval(Format("OpenUrl(\"%s\")", refused));
    SetStr("f", platform::fs::ToProgramPath(home));
    Eval("OpenUrl(f)");
    Eval("OpenUrl(\"http://example.com/表\")");
    EXPECT_EQ(opened(1), U8(u8"http://example.com/表\n"));
    std::filesystem::create_directories(hostBase + "-n");
    Eval("OpenUrl(\"-n\")");
    EXPECT_EQ(opened(2), U8(u8"http://example.com/表\n") + hostBase + "-n\n");
    // Without an opener nothing happens.
    ScopedEnvironment none("PATH", FreshHostFolder().c_str());
    Eval("OpenUrl(\"ftp://x\")");
}

// Openers that stay (as one does while its browser runs): a few run at once, a call past them is
// dropped with a line on standard error, and one that ended frees its place.
TEST_F(ExtractFuncs, OnlyAFewOpenersRunAtOnce) {
    const std::string tools = FreshHostFolder(), log = tools + "log", release = tools + "release";
    // It stays until the test releases it (or, should the test fail, for some seconds).
    WriteHostFile(tools + "xdg-open", "#!/bin/sh\necho \"$1\" >> \"" + log + "\"\ni=0\nwhile [ $i -lt 200 ] && [ ! -e \"" +
                                          release + "\" ]; do command -p sleep 0.05; i=$((i + 1)); done\n");
    chmod((tools + "xdg-open").c_str(), 0755);
    ScopedEnvironment path("PATH", tools.c_str());
    const auto started = [&] {
        const std::string text = FileText(log);
        return std::count(text.begin(), text.end(), '\n');
    };
    testing::internal::CaptureStderr();
    for (int i = 0; i < 10; ++i) Eval(Format("OpenUrl(\"http://example.com/%d\")", i));
    const std::string said = testing::internal::GetCapturedStderr();
    for (int i = 0; i < 1000 && started() < long(platform::kMaxOpeners); ++i) usleep(10000);
    // The four start at once and may reach the log in any order.
    const std::string log4 = FileText(log);
    std::vector<std::string> first;
    for (const std::string_view line : SplitLines(log4)) first.emplace_back(line);
    std::sort(first.begin(), first.end());
    EXPECT_EQ(first, (std::vector<std::string>{"http://example.com/0", "http://example.com/1", "http://example.com/2",
                                               "http://example.com/3"}));
    const std::string line = "velaplay: 4 desktop openers are still running: one more is not started\n";
    std::string dropped;
    for (int i = 4; i < 10; ++i) dropped += line;
    EXPECT_EQ(said, dropped);
    // Once they have ended, a call starts one again.
    WriteHostFile(release, "");
    bool again = false;
    for (int i = 0; i < 1000 && !again; ++i) {
        testing::internal::CaptureStderr();
        Eval("OpenUrl(\"http://example.com/again\")");
        again = testing::internal::GetCapturedStderr().empty();
        if (!again) usleep(10000);
    }
    EXPECT_TRUE(again);
    for (int i = 0; i < 1000 && started() == long(platform::kMaxOpeners); ++i) usleep(10000);
    EXPECT_EQ(FileText(log).substr(4 * 21), "http://example.com/again\n");
}

TEST_F(SystemFuncs, ListSaveCaptionListsSlotsAndKeepsOneElementForNone) {
    ParamMan->AddParam(PT_STR).SetName("c");
    ParamMan->AddParam(PT_INT).SetName("s");
    EXPECT_EQ(Eval("ListSaveCaption()"), "0");
    EXPECT_EQ(Eval("ListSaveCaption(c, s)"), "0");
    EXPECT_EQ(ParamMan->Find("c")->Count(), 1);
    EXPECT_EQ(ParamMan->Find("s")->GetAsInt(), 0);
    Project->SlotCaptions.AddObject("one", 3);
    Project->SlotCaptions.AddObject("two", 7);
    EXPECT_EQ(Eval("ListSaveCaption(c, s)"), "2");
    EXPECT_EQ(ParamMan->Find("c")->GetStrAt(1), "two");
    EXPECT_EQ(ParamMan->Find("s")->GetIntAt(0), 3);
    EXPECT_EQ(ParamMan->Find("s")->GetIntAt(1), 7);
}

}  // namespace
