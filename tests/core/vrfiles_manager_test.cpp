// The file manager over archives packed by the independent reference tool: the search orders,
// work files and their lifetime, listings, disc requests, and names that try to leave their folder.
#include "core/vrfiles_manager.h"

#include "core/installset.h"
#include "core/sysutils.h"
#include "platform/encoding.h"
#include "platform/fs.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace {

using namespace std::string_literals;

bool HostFileExists(const std::string& path) { return std::filesystem::exists(std::filesystem::symlink_status(path)); }

std::string Host(const std::string& programPath) { return platform::fs::ToHostPath(programPath).value_or(""); }

std::vector<std::string> Items(const TStringList& list) {
    std::vector<std::string> items;
    for (int i = 0; i < list.Count(); ++i) items.push_back(list.Strings(i));
    return items;
}

class VrManager : public testing::Test {
protected:
    void SetUp() override {
        CreateVrFileSystem();
        M().SetCdRoots({});  // the machine's own mounts stay out of the tests
    }
    void TearDown() override { FreeVrFileSystem(); }

    static TVrFileManager& M() { return *VrFileManager; }
    std::string Program(const std::string& hostName) const { return platform::fs::ToProgramPath(host_ + hostName); }
    void Write(const std::string& hostName, const std::string& bytes) const { WriteHostFile(host_ + hostName, bytes); }
    // Packs the files under the host folder Source into the archive Out with the reference tool.
    void Pack(const std::string& Source, const std::string& Out, std::vector<std::string> Options = {}) const {
        std::filesystem::create_directories(std::filesystem::path(host_ + Out).parent_path());
        std::vector<std::string> args = {"pack", host_ + Out, host_ + Source};
        args.insert(args.end(), Options.begin(), Options.end());
        PythonOutput("vfarchive.py", args);
    }
    static std::string Read(const std::string& Name) {
        TMemoryStream m;
        M().ReadFile(m, Name);
        EXPECT_EQ(m.Position(), 0);
        return std::string(reinterpret_cast<const char*>(m.Memory()), static_cast<size_t>(m.Size()));
    }
    static std::string ReadRange(const std::string& Name) {
        auto stream = M().OpenRangeStream(Name);
        TMemoryStream m;
        m.LoadFromStream(*stream);
        return std::string(reinterpret_cast<const char*>(m.Memory()), static_cast<size_t>(m.Size()));
    }
    static std::string WorkFile(int32_t Id, const std::string& Extension) {
        return platform::fs::TempFolder() + Format("~qz%.8X", static_cast<unsigned>(Id)) + Extension;
    }

    std::string host_ = FreshHostFolder();
};

// A base folder, two archives and a disc root that share some names.
class VrManagerSources : public VrManager {
protected:
    void SetUp() override {
        VrManager::SetUp();
        Write("base/both.txt", "base");
        Write("a/both.txt", "archive A");
        Write("a/two.txt", "A");
        Write("b/two.txt", "B");
        Write("b/onlyb.txt", "only B");
        Write("disc/two.txt", "disc");
        Write("disc/disc.txt", "disc only");
        Pack("a", "A/game.dat");
        Pack("b", "B/game.dat");
        M().SetBaseFolder(Program("base"));
        ASSERT_EQ(M().Add(Program("A/game.dat")), 0);
        ASSERT_EQ(M().Add(Program("B/game.dat")), 1);
        M().SetCdRoots({Program("disc/")});
    }
};

TEST_F(VrManagerSources, ReadOrderIsBaseFolderArchivesThenDiscRoots) {
    EXPECT_EQ(M().BaseFolder(), Program("base/"));
    EXPECT_EQ(Read("BOTH.txt"), "base");
    EXPECT_EQ(Read("two.txt"), "A");  // the archive added first
    EXPECT_EQ(Read("onlyb.txt"), "only B");
    EXPECT_EQ(Read("disc.txt"), "disc only");
    EXPECT_EQ(M().FindFile("TWO.TXT"), &M().GetCollection(0).GetFile(M().GetCollection(0).IndexOf("two.txt")));
    EXPECT_EQ(M().FindFile("disc.txt"), nullptr);

    EXPECT_EQ(ReadRange("both.txt"), "base");
    EXPECT_EQ(ReadRange("disc.txt"), "disc only");

    for (const char* name : {"both.txt", "two.txt", "onlyb.txt", "disc.txt"}) EXPECT_TRUE(M().FileExists(name)) << name;
    EXPECT_FALSE(M().FileExists(""));
    EXPECT_FALSE(M().FileExists("nothing.txt"));

    TMemoryStream stale;
    stale.WriteBuffer("stale", 5);
    try {
        M().ReadFile(stale, "nothing.txt");
        ADD_FAILURE() << "read";
    } catch (const EVrFileError& e) {
        EXPECT_STREQ(e.what(), "nothing.txt:ファイルがありません");
    }
    EXPECT_EQ(stale.Size(), 0);
    EXPECT_THROW(M().OpenRangeStream("nothing.txt"), EVrFileError);
}

TEST_F(VrManager, AddDeleteAndTheirEvents) {
    std::vector<std::string> events;
    M().OnChange = [&](TVrFileManager& sender, TVrFileCollection* archive) {
        EXPECT_EQ(&sender, &M());
        events.push_back("change " + (archive ? archive->FileName() : "nil"s));
    };
    M().OnRemove = [&](TVrFileManager&, TVrFileCollection& archive) {
        events.push_back("remove " + archive.FileName());
    };

    EXPECT_EQ(M().Add(""), 0);  // the empty collection of memory files
    EXPECT_EQ(M().Add(""), -1);
    EXPECT_EQ(M().Add(Program("dir/")), 1);
    EXPECT_EQ(M().Add(Program("DIR/")), -1);  // a folder added twice
    Write("bad.dat", "vf"s + std::string(10, '\xFF'));
    EXPECT_THROW(M().Add(Program("bad.dat")), EVrFileError);
    EXPECT_EQ(M().Count(), 2);
    M().SetBaseFolder("");
    EXPECT_EQ(M().BaseFolder(), "");
    M().Delete(0);
    EXPECT_EQ(M().GetCollection(0).FileName(), Program("dir/"));
    M().Clear();
    EXPECT_EQ(M().Count(), 0);
    const std::vector<std::string> expected = {"change ", "change " + Program("dir/"), "change nil", "remove ",
                                               "remove " + Program("dir/")};
    EXPECT_EQ(events, expected);
}

TEST_F(VrManagerSources, LocalFileNamesAndWorkFileLifetime) {
    EXPECT_EQ(M().GetLocalFileName("both.txt"), Program("base/both.txt"));
    EXPECT_EQ(M().GetLocalFileName("disc.txt"), Program("disc/disc.txt"));
    EXPECT_EQ(M().GetLocalFileName("nothing.txt"), "nothing.txt");
    EXPECT_EQ(M().Locks().Count(), 0);

    const std::string work = M().GetLocalFileName("two.txt");
    EXPECT_EQ(work, WorkFile(0, ".txt"));
    EXPECT_EQ(FileText(Host(work)), "A");
    // A second holder gets the same file, not extracted again.
    WriteHostFile(Host(work), "changed");
    EXPECT_EQ(M().GetLocalFileName("two.txt"), work);
    EXPECT_EQ(FileText(Host(work)), "changed");
    ASSERT_EQ(M().Locks().Count(), 1);
    EXPECT_EQ(M().Locks().Find("two.txt")->LockCount, 2);
    EXPECT_EQ(M().GetLocalFileName("TWO.txt"), WorkFile(1, ".txt"));  // locks compare names exactly

    // Released by both holders, it waits its time, comes back when asked for, then goes.
    M().ReleaseLocalFile("two.txt");
    EXPECT_EQ(M().Locks().ReleasedCount(), 0);
    M().ReleaseLocalFile("two.txt");
    EXPECT_EQ(M().Locks().ReleasedCount(), 1);
    M().Locks().Tick(TVrLockList::kReleaseDelay - 1);
    EXPECT_EQ(M().GetLocalFileName("two.txt"), work);
    EXPECT_EQ(M().Locks().ReleasedCount(), 0);
    M().ReleaseLocalFile("two.txt");
    M().Locks().Tick(TVrLockList::kReleaseDelay - 1);
    EXPECT_EQ(VrPendingFiles->Count(), 0);
    M().Locks().Tick(1);
    EXPECT_EQ(M().Locks().ReleasedCount(), 0);
    ASSERT_EQ(VrPendingFiles->Count(), 1);
    EXPECT_TRUE(HostFileExists(Host(work)));
    DeleteWorkFiles();
    EXPECT_FALSE(HostFileExists(Host(work)));
    EXPECT_EQ(VrPendingFiles->Count(), 0);
    // Ids move on past the locks still held.
    EXPECT_EQ(M().LockWorkFile("onlyb.txt"), WorkFile(2, ".txt"));
}

TEST_F(VrManagerSources, ShutDownDeletesEveryWorkFile) {
    const std::string held = Host(M().GetLocalFileName("two.txt"));
    const std::string released = Host(M().GetLocalFileName("onlyb.txt"));
    M().ReleaseLocalFile("onlyb.txt");
    int removed = 0;
    M().OnRemove = [&](TVrFileManager&, TVrFileCollection&) { ++removed; };
    FreeVrFileSystem();
    EXPECT_EQ(VrFileManager, nullptr);
    EXPECT_EQ(VrPendingFiles, nullptr);
    EXPECT_EQ(removed, 2);
    EXPECT_FALSE(HostFileExists(held));
    EXPECT_FALSE(HostFileExists(released));
    FreeVrFileSystem();  // nothing left to free
}

TEST_F(VrManager, FailedWorkFilesLeaveNothing) {
    M().Add("");
    M().GetCollection(0).AddStream("x.txt").DataSource->WriteBuffer("x", 1);
    // Something in the way of the work file.
    const std::string blocker = Host(WorkFile(0, ".txt"));
    ASSERT_EQ(mkdir(blocker.c_str(), 0777), 0);
    try {
        M().GetLocalFileName("x.txt");
        ADD_FAILURE() << "extracted";
    } catch (const EVrFileError& e) {
        EXPECT_STREQ(e.what(), "作業用ファイルが作れません");
    }
    EXPECT_EQ(M().Locks().Count(), 0);
    rmdir(blocker.c_str());
    EXPECT_EQ(M().GetLocalFileName("x.txt"), WorkFile(1, ".txt"));

    // A damaged entry: no lock, and no half-written file.
    Write("src/bad.txt", std::string(5000, 'b'));
    Pack("src", "game.dat");
    {
        TVrFileCollection c;
        c.Open(Program("game.dat"));
        const TVrFile& entry = c.GetFile(c.IndexOf("bad.txt"));
        std::fstream f(host_ + "game.dat", std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(entry.Offset + 2);
        f << std::string(static_cast<size_t>(entry.Size - 2), '\xFF');
    }
    M().Add(Program("game.dat"));
    EXPECT_THROW(M().GetLocalFileName("bad.txt"), EVelaError);
    EXPECT_EQ(M().Locks().Count(), 1);
    EXPECT_FALSE(HostFileExists(Host(WorkFile(2, ".txt"))));
}

TEST_F(VrManager, WorkFilesStayInTheTemporaryFolder) {
    M().Add("");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"..\\..\\escape.txt", ".txt"},  {"C:\\evil.txt", ".txt"},  {"\\abs.txt", ".txt"},
        {"dir.x\\..\\..\\noext", ""},    {"name.t/../../x", ""},    {"file.ソ", ""},  // ソ ends in 0x5C
        {"x..", ""},                     {"a:b.mpg", ".mpg"},       {"表示\\動画.AVI", ".AVI"},
    };
    const std::string temp = Host(platform::fs::TempFolder());
    for (size_t i = 0; i < cases.size(); ++i) {
        const auto& [name, extension] = cases[i];
        SCOPED_TRACE(name);
        M().GetCollection(0).AddStream(name).DataSource->WriteBuffer("w", 1);
        const std::string path = M().GetLocalFileName(name);
        EXPECT_EQ(path, WorkFile(static_cast<int32_t>(i), extension));
        EXPECT_EQ(std::filesystem::path(Host(path)).parent_path().string() + "/", temp);
        EXPECT_EQ(FileText(Host(path)), "w");
    }
}

TEST_F(VrManager, DiskNamesStayInsideTheirFolder) {
    Write("outside.txt", "secret");
    Write("base/in.txt", "in");
    Write("disc/d.txt", "d");
    // A title kept in the home folder reads none of its hidden files, by any name.
    Write("base/.ssh/id_rsa", "key");
    Write("disc/.hidden", "h");
    ASSERT_EQ(symlink("../outside.txt", (host_ + "base/link.txt").c_str()), 0);
    ASSERT_EQ(symlink(".ssh", (host_ + "base/keys").c_str()), 0);
    // A file is opened part by part beneath its folder, and no link is followed on the way, not
    // even one that stays inside.
    ASSERT_EQ(symlink("in.txt", (host_ + "base/near.txt").c_str()), 0);
    M().SetBaseFolder(Program("base/"));
    M().SetCdRoots({Program("disc/")});
    for (const std::string& name : {"..\\outside.txt"s, "sub\\..\\..\\outside.txt"s, "\\..\\outside.txt"s,
                                    "link.txt"s, "..\\outside.txt\0\\..\\base\\in.txt"s, ".ssh\\id_rsa"s,
                                    "keys\\id_rsa"s, ".\\.ssh\\id_rsa"s, ".hidden"s, "near.txt"s, "a:in.txt"s}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(M().FileExists(name));
        EXPECT_THROW(Read(name), EVrFileError);
        EXPECT_THROW(M().OpenRangeStream(name), EVrFileError);
        EXPECT_EQ(M().GetLocalFileName(name), name);
    }
    EXPECT_EQ(Read("IN.TXT"), "in");
    EXPECT_EQ(Read("d.txt"), "d");
    TStringList list;
    M().GetFileList("..\\", list);
    M().GetFileList(".ssh\\", list);
    M().GetFileList("keys\\", list);
    EXPECT_EQ(list.Count(), 0);
}

TEST_F(VrManager, PendingDeletionsNeverLeaveTheTemporaryFolder) {
    // A folder beside the private temporary folder.
    const std::string temp = platform::fs::TempFolder();
    const auto parent = std::filesystem::path(Host(temp)).parent_path().parent_path();
    std::string outside = (parent / "vela-outside-XXXXXX").string();
    ASSERT_NE(mkdtemp(outside.data()), nullptr);
    const std::string outsideName = std::filesystem::path(outside).filename().string();
    const std::string victim = outside + "/victim.txt";
    WriteHostFile(victim, "keep");
    ASSERT_EQ(symlink(victim.c_str(), Host(temp + "~qzlink").c_str()), 0);
    VrPendingFiles->Add(platform::fs::ToProgramPath(victim));
    VrPendingFiles->Add(temp + "..\\" + outsideName + "\\victim.txt");
    VrPendingFiles->Add(temp + "~qzlink");
    VrPendingFiles->Add(temp + "~qzgone.txt");
    DeleteWorkFiles();
    EXPECT_EQ(VrPendingFiles->Count(), 0);
    EXPECT_EQ(FileText(victim), "keep");
    std::filesystem::remove_all(outside);
}

TEST_F(VrManager, FileListsMergeArchivesAndDisks) {
    Write("arc/a.txt", "1");
    Write("arc/arc.txt", "2");
    Write("arc/sub/b.txt", "3");
    Pack("arc", "game.dat");
    for (const char* name : {"base/a.txt", "base/c.txt", "base/.hidden", "base/ro.txt", "base/sub/b.txt",
                             "base/sub/d.txt", "disc/e.txt", "disc/C.TXT"})
        Write(name, "x");
    std::filesystem::create_directories(host_ + "base/folder");
    const std::string readOnly = host_ + "base/ro.txt";
    ASSERT_EQ(chmod(readOnly.c_str(), 0444), 0);
    M().Add(Program("game.dat"));
    M().SetBaseFolder(Program("base/"));
    M().SetCdRoots({Program("disc/")});

    TStringList top;
    top.Add("ARC.TXT");  // already listed
    M().GetFileList("", top);
    const std::vector<std::string> expectedTop = {"ARC.TXT", "a.txt", "c.txt", "ro.txt", "e.txt"};
    EXPECT_EQ(Items(top), expectedTop);
    TStringList sub;
    M().GetFileList("sub\\", sub);
    const std::vector<std::string> expectedSub = {"sub\\b.txt", "sub\\d.txt"};
    EXPECT_EQ(Items(sub), expectedSub);
    // Every listed name is found under that name.
    for (const auto& name : Items(sub)) EXPECT_TRUE(M().FileExists(name)) << name;

    struct stat st;
    ASSERT_EQ(stat(readOnly.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0444u);
    EXPECT_TRUE(HostFileExists(host_ + "base/.hidden"));
}

TEST(VrManagerPaths, ExtractFolder) {
    EXPECT_EQ(TVrFileManager::ExtractFolder("a\\b\\c.txt"), "a\\b\\");
    EXPECT_EQ(TVrFileManager::ExtractFolder("c.txt"), "");
    EXPECT_EQ(TVrFileManager::ExtractFolder("C:c.txt"), "C:");
    EXPECT_EQ(TVrFileManager::ExtractFolder("C:\\x\\"), "C:\\x\\");
    EXPECT_EQ(TVrFileManager::ExtractFolder("\\\\srv\\share\\x"), "\\\\srv\\share\\");
    EXPECT_EQ(TVrFileManager::ExtractFolder("ab:c"), "");
    EXPECT_EQ(TVrFileManager::ExtractFolder("表\\ソ"), "表\\");  // ソ's trail byte is no "\"
}

TEST(VrManagerPaths, DiscRootsFromTheMountTable) {
    const std::string mounts = "sysfs /sys sysfs rw 0 0\n"
                               "/dev/sr0 /media/cdrom0 iso9660 ro 0 0\n"
                               "/dev/sr1 /run/media/me/MY\\040DISC udf ro 0 0\n"
                               "/dev/scd0\t/mnt/cd\tauto ro 0 0\n"
                               "/dev/sr0 /media/cdrom0 iso9660 ro 0 0\n"
                               "/dev/sr2 /media/" +
                               U8(u8"ディスク") + " udf ro 0 0\n" + "broken\n\n/dev/sr3\n" +
                               "/dev/sr4 /media/a\\134b iso9660\n/dev/sr5 /media/" + U8(u8"\U0001F4BF") + " udf ro 0 0";
    const std::vector<std::string> expected = {"Z:\\media\\cdrom0\\", "Z:\\run\\media\\me\\MY DISC\\", "Z:\\mnt\\cd\\",
                                               "Z:\\media\\ディスク\\"};
    EXPECT_EQ(DiscMountRoots(mounts), expected);
}

TEST(VrManagerPaths, OnlyOpticalDiscsAreDiscRoots) {
    // Drives and file systems of discs count wherever they are mounted; nothing else does,
    // wherever it is mounted.
    const std::string mounts = "/dev/sdb1 /media/me/STICK vfat rw 0 0\n"
                               "/dev/sdc1 /run/media/me/BACKUP exfat rw 0 0\n"
                               "/dev/sdd1 /media/me/WIN ntfs3 rw 0 0\n"
                               "/dev/sda2 /mnt/data ext4 rw 0 0\n"
                               "C:\\134 /mnt/c 9p rw,aname=drvfs 0 0\n"
                               "drvfs /mnt/d drvfs rw 0 0\n"
                               "server:/export /mnt/share nfs4 rw 0 0\n"
                               "//server/share /media/share cifs rw 0 0\n"
                               "/dev/sr /media/sr ext4 rw 0 0\n"
                               "/dev/sr0p1 /media/srp ext4 rw 0 0\n"
                               "/dev/sr0 /media/cdrom iso9660 ro 0 0\n"
                               "/dev/sr1 /home/me/dvd udf ro 0 0\n"
                               "/dev/scd2 /media/scd auto ro 0 0\n"
                               "/dev/cdrom /cdrom iso9660 ro 0 0\n"
                               "/dev/loop3 /srv/image udf ro 0 0\n";
    const std::vector<std::string> expected = {"Z:\\media\\cdrom\\", "Z:\\home\\me\\dvd\\", "Z:\\media\\scd\\",
                                               "Z:\\cdrom\\", "Z:\\srv\\image\\"};
    EXPECT_EQ(DiscMountRoots(mounts), expected);
}

TEST_F(VrManager, NoMountButADiscIsReadAsOne) {
    Write("stick/stick.txt", "stick");
    Write("share/share.txt", "share");
    Write("disc/disc.txt", "disc");
    M().SetCdRoots(DiscMountRoots("/dev/sdb1 " + host_ + "stick vfat rw 0 0\n" + "server:/x " + host_ +
                                  "share nfs rw 0 0\n" + "/dev/sr0 " + host_ + "disc iso9660 ro 0 0\n"));
    EXPECT_EQ(Read("disc.txt"), "disc");
    for (const char* name : {"stick.txt", "share.txt"}) {
        EXPECT_FALSE(M().FileExists(name)) << name;
        EXPECT_THROW(Read(name), EVrFileError) << name;
    }
    TStringList listed;
    M().GetFileList("", listed);
    EXPECT_EQ(Items(listed), std::vector<std::string>{"disc.txt"});
}

// ---- Discs ----

class VrManagerDiscs : public VrManager {
protected:
    // A disc root holding game.dat (with one file named after the root) and install.dat.
    void MakeDisc(const std::string& Root, const std::string& SetId, int32_t Disc) {
        Write(Root + "src/" + Root + ".txt", Root);
        Pack(Root + "src", Root + "/game.dat");
        TVelaInstallSet set;
        set.SetId = SetId;
        set.DiscNumber = Disc;
        set.SaveToFile(Program(Root + "/install.dat"));
    }
    // Answers the questions in turn, recording them; one question too many fails the test.
    void Answer(std::deque<bool> Answers) {
        answers_ = std::move(Answers);
        asked_.clear();
        M().AskOkCancel = [this](const std::string& text) {
            asked_.push_back(text);
            if (answers_.empty()) throw std::runtime_error("asked once too often");
            const bool answer = answers_.front();
            answers_.pop_front();
            return answer;
        };
    }

    std::deque<bool> answers_;
    std::vector<std::string> asked_;
};

TEST_F(VrManagerDiscs, FindDiscAndRequestDisc) {
    MakeDisc("other", "ANOTHER", 1);
    MakeDisc("one", "TITLE", 0);
    MakeDisc("two", "TITLE", 1);
    Write("junk/game.dat", "");
    Write("junk/install.dat", "junk");
    Write("noinstall/game.dat", "");
    M().InstallSetId = "TITLE";
    M().SetCdRoots({Program("junk/"), Program("other/"), Program("noinstall/"), Program("one/"), Program("two/")});
    EXPECT_FALSE(M().FindDisc(5));
    EXPECT_EQ(M().Count(), 0);
    M().Add("");
    EXPECT_TRUE(M().FindDisc(0));
    ASSERT_EQ(M().Count(), 2);
    EXPECT_EQ(M().GetCollection(1).FileName(), Program("one/game.dat"));

    int quits = 0;
    M().OnQuitRequest = [&] { ++quits; };
    const std::string prompt2 = "ディスク2を入れてから[OK]をクリックしてください";
    // Cancelled, then quitting confirmed: the disc's archive is gone and the program asked to close.
    Answer({false, true});
    EXPECT_FALSE(M().RequestDisc(2));
    EXPECT_EQ(asked_, (std::vector<std::string>{prompt2, "終了します"}));
    EXPECT_EQ(quits, 1);
    ASSERT_EQ(M().Count(), 1);
    EXPECT_EQ(M().GetCollection(0).FileName(), "");
    // Quitting refused asks for the disc again.
    Answer({false, false, true});
    EXPECT_TRUE(M().RequestDisc(2));
    EXPECT_EQ(asked_, (std::vector<std::string>{prompt2, "終了します", prompt2}));
    EXPECT_EQ(Read("two.txt"), "two");
    // A disc that is not there is asked for again.
    M().DiscPrompt = "%s%%%d%n";  // content text, never a format
    Answer({true, false, true});
    EXPECT_FALSE(M().RequestDisc(3));
    EXPECT_EQ(asked_, (std::vector<std::string>{"%s%3%n", "%s%3%n", "終了します"}));
    EXPECT_EQ(M().Count(), 1);
    // With no one to ask, the request ends.
    M().AskOkCancel = nullptr;
    EXPECT_FALSE(M().RequestDisc(2));
    EXPECT_EQ(quits, 3);
}

// ---- End to end ----

TEST_F(VrManager, PackedTreesReadBackThroughTheManager) {
    const std::vector<std::pair<std::string, std::string>> tree = {
        {U8(u8"表示/ソース.txt"), std::string(4000, 's')},  // 0x5C trail bytes in both parts
        {U8(u8"ＡＢＣ.txt"), "full-width"},
        {"data/noise.bin", RandomBytes(300000)},
        {"snd/a.wav", RandomBytes(5000)},
        {"empty.txt", ""},
    };
    for (const auto& [name, bytes] : tree) Write("src/" + name, bytes);
    WriteHostFile(host_ + "true", FileText("/bin/true"));
    Pack("src", "player", {"--carrier", host_ + "true", "--raw-ext", ".wav"});
    Pack("src", "ext/game.dat", {"--ext", "--raw-ext", ".wav"});

    for (const std::string archive : {"player", "ext/game.dat"}) {
        SCOPED_TRACE(archive);
        M().Clear();
        ASSERT_EQ(M().Add(Program(archive)), 0);
        for (const auto& [name, bytes] : tree) {
            std::string entry = platform::Utf8ToCp932(name);
            std::replace(entry.begin(), entry.end(), '/', '\\');
            EXPECT_TRUE(Read(entry) == bytes) << name;
        }
        EXPECT_EQ(Read("表示\\ソース.TXT"), tree[0].second);
        EXPECT_EQ(Read("ａｂｃ.TXT"), "full-width");
        EXPECT_TRUE(Read("DATA\\NOISE.BIN") == tree[2].second);
        EXPECT_TRUE(ReadRange("snd\\A.WAV") == tree[3].second);  // stored raw
        const std::string work = M().GetLocalFileName("表示\\ソース.txt");
        EXPECT_EQ(work.substr(work.size() - 4), ".txt");
        EXPECT_EQ(FileText(Host(work)), tree[0].second);
    }
}

}  // namespace
