// Program paths on the host: the Z: drive, "\" separators, names found without regard to
// case, the private temporary folder, and staying inside a folder.
#include "platform/beneath.h"
#include "platform/encoding.h"
#include "platform/fs.h"
#include "platform/placement.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <functional>
#include <iterator>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace fs = platform::fs;

namespace {

void Touch(const std::string& hostPath, const std::string& text = "x") { std::ofstream(hostPath) << text; }

TEST(HostPaths, DriveZIsTheHostRootAndOthersAreNowhere) {
    EXPECT_EQ(fs::ToHostPath("Z:\\usr\\bin\\"), "/usr/bin/");
    EXPECT_EQ(fs::ToHostPath("z:\\"), "/");
    EXPECT_FALSE(fs::ToHostPath("C:\\Windows\\").has_value());
    EXPECT_EQ(fs::ToProgramPath("/usr/bin/"), "Z:\\usr\\bin\\");
    EXPECT_EQ(fs::ToProgramPath("/"), "Z:\\");
    // Messages show host paths, also of a folder given on the command line with a name joined.
    EXPECT_EQ(fs::ShownPath("/no/such\\save.dat.$$$"), "/no/such/save.dat.$$$");
    EXPECT_EQ(fs::ShownPath("Z:\\no\\日本\\"), "/no/日本/");
    EXPECT_EQ(fs::ShownPath("C:\\Windows"), "C:\\Windows");
}

TEST(HostPaths, ComponentsAreFoundWithoutRegardToCase) {
    std::string folder = FreshHostFolder();
    mkdir((folder + "Data").c_str(), 0777);
    Touch(folder + "Data/Start.VSB");
    std::string program = fs::ToProgramPath(folder);
    EXPECT_EQ(fs::ToHostPath(program + "DATA\\start.vsb"), folder + "Data/Start.VSB");
    EXPECT_TRUE(fs::FileExists(program + "data\\START.vsb"));
    EXPECT_TRUE(fs::DirectoryExists(program + "dAtA\\"));
    EXPECT_FALSE(fs::FileExists(program + "data\\"));
    EXPECT_FALSE(fs::FileExists(program + "data\\missing.vsb"));
    // A name that does not exist yet keeps its spelling, inside the folder found.
    EXPECT_EQ(fs::ToHostPath(program + "DATA\\New.txt"), folder + "Data/New.txt");
}

// The host path of Name in the host folder once Change is made, the folder read for a look-up
// just before with its modification time set an hour back, as for a folder last changed long
// before: any change moves it.
std::string AfterChange(const std::string& folder, const std::string& name, const std::function<void()>& change) {
    const timespec times[2] = {{0, UTIME_OMIT}, {time(nullptr) - 3600, 0}};
    EXPECT_EQ(utimensat(AT_FDCWD, folder.c_str(), times, 0), 0);
    const std::string program = fs::ToProgramPath(folder);
    fs::ToHostPath(program + "missing");
    change();
    return fs::ToHostPath(program + name).value_or("");
}

TEST(HostPaths, TheCaseBlindLookUpFollowsChangesToTheFolder) {
    const std::string folder = FreshHostFolder();
    const std::string program = fs::ToProgramPath(folder);
    // From outside: a file added, its name's case changed, removed.
    EXPECT_EQ(AfterChange(folder, "NOTE.txt", [&] { Touch(folder + "Note.txt"); }), folder + "Note.txt");
    EXPECT_EQ(AfterChange(folder, "NOTE.txt", [&] { rename((folder + "Note.txt").c_str(), (folder + "note.TXT").c_str()); }),
              folder + "note.TXT");
    EXPECT_EQ(AfterChange(folder, "NOTE.txt", [&] { unlink((folder + "note.TXT").c_str()); }), folder + "NOTE.txt");
    // By the player: a file made, renamed and removed, a folder made.
    fs::HostFile file;
    EXPECT_EQ(AfterChange(folder, "own.txt", [&] { EXPECT_TRUE(file.Open(program + "Own.TXT", fs::HostFile::Mode::Create)); }),
              folder + "Own.TXT");
    EXPECT_EQ(AfterChange(folder, "OWN.DAT", [&] { EXPECT_TRUE(fs::RenameFile(program + "own.txt", program + "Own.dat")); }),
              folder + "Own.dat");
    EXPECT_EQ(fs::ToHostPath(program + "own.txt"), folder + "own.txt");
    EXPECT_EQ(AfterChange(folder, "OWN.DAT", [&] { EXPECT_TRUE(fs::DeleteFile(program + "own.dat")); }), folder + "OWN.DAT");
    EXPECT_EQ(AfterChange(folder, "SUB\\", [&] { EXPECT_TRUE(fs::CreateDirectory(program + "Sub")); }), folder + "Sub/");
}

// A folder matched once is matched again on disk when another folder stands in its place.
TEST(HostPaths, AFolderTakenOverIsMatchedAgain) {
    const std::string folder = FreshHostFolder(), program = fs::ToProgramPath(folder);
    ASSERT_EQ(mkdir((folder + "Data").c_str(), 0777), 0);
    EXPECT_EQ(fs::ToHostPath(program + "DATA\\a.txt"), folder + "Data/a.txt");
    ASSERT_EQ(rename((folder + "Data").c_str(), (folder + "Old").c_str()), 0);
    ASSERT_EQ(mkdir((folder + "data").c_str(), 0777), 0);
    EXPECT_EQ(fs::ToHostPath(program + "DATA\\a.txt"), folder + "data/a.txt");
    ASSERT_EQ(rename((folder + "data").c_str(), (folder + "dATa").c_str()), 0);
    EXPECT_EQ(fs::ToHostPath(program + "DATA\\a.txt"), folder + "dATa/a.txt");
    ASSERT_EQ(rmdir((folder + "dATa").c_str()), 0);
    EXPECT_EQ(fs::ToHostPath(program + "DATA\\a.txt"), folder + "DATA/a.txt");
}

TEST(HostPaths, JapaneseNamesConvertAtTheEdge) {
    std::string folder = FreshHostFolder();
    Touch(folder + U8(u8"表示.txt"));
    std::string program = fs::ToProgramPath(folder) + "表示.txt";  // CP932 bytes
    EXPECT_TRUE(fs::FileExists(program));
    fs::HostFile f;
    ASSERT_TRUE(f.Open(program, fs::HostFile::Mode::Read));
    EXPECT_EQ(f.Size(), 1);
}

TEST(HostPaths, TheCurrentFolderEndsInASeparator) {
    const std::string folder = FreshHostFolder() + U8(u8"ソ");  // 83 5C in code page 932
    ASSERT_EQ(mkdir(folder.c_str(), 0777), 0);
    char before[4096];
    ASSERT_TRUE(getcwd(before, sizeof before));
    ASSERT_EQ(chdir(folder.c_str()), 0);
    const std::string current = fs::CurrentFolder();
    ASSERT_EQ(chdir(before), 0);
    EXPECT_TRUE(current.starts_with("Z:\\")) << current;
    EXPECT_TRUE(current.ends_with("\\ソ\\")) << current;  // the name's own 5C is no separator
}

TEST(HostPaths, IsInsideChecksTheResolvedPath) {
    std::string folder = FreshHostFolder();
    EXPECT_TRUE(fs::IsInside(folder, folder + "a/b.txt"));
    EXPECT_TRUE(fs::IsInside(folder, folder));
    EXPECT_FALSE(fs::IsInside(folder, folder + "../escape.txt"));
    EXPECT_FALSE(fs::IsInside(folder, folder + "a/../../escape.txt"));
    EXPECT_FALSE(fs::IsInside(folder + "a", folder + "ab/x"));
    // A link that leads out of the folder is outside.
    ASSERT_EQ(symlink("/etc", (folder + "link").c_str()), 0);
    EXPECT_FALSE(fs::IsInside(folder, folder + "link/passwd"));

    // Names taken from content stay in the folder they are looked up in.
    Touch(folder + "in.txt");
    std::string program = fs::ToProgramPath(folder);
    EXPECT_EQ(fs::FileInFolder(program, "IN.TXT"), program + "IN.TXT");
    EXPECT_EQ(fs::FileInFolder(program, "link\\passwd"), "");
    EXPECT_EQ(fs::FileInFolder(program, "..\\..\\etc\\passwd"), "");
    EXPECT_EQ(fs::FileInFolder(program, std::string("in.txt\0x", 8)), "");
    EXPECT_EQ(fs::FileInFolder("", "in.txt"), "");
    // Nor is a hidden file or folder below the folder reached, whatever name leads there.
    mkdir((folder + ".ssh").c_str(), 0700);
    Touch(folder + ".ssh/id_rsa");
    ASSERT_EQ(symlink(".ssh", (folder + "keys").c_str()), 0);
    EXPECT_EQ(fs::FileInFolder(program, "keys\\id_rsa"), "");
    EXPECT_EQ(fs::FileInFolder(program + ".ssh\\", "id_rsa"), program + ".ssh\\id_rsa");

    // Each path resolved once tells inside from the folder itself, also for names not made yet.
    EXPECT_EQ(fs::PlaceInFolder(program, program + "NEW\\x.mra"), fs::Placement::Inside);
    EXPECT_EQ(fs::PlaceInFolder(program, program + "new\\..\\"), fs::Placement::Same);
    EXPECT_EQ(fs::PlaceInFolder(program + "in.txt", program + "IN.TXT"), fs::Placement::Same);
    EXPECT_EQ(fs::PlaceInFolder(program, program + "link\\new.txt"), fs::Placement::Outside);
    EXPECT_EQ(fs::PlaceInFolder(program, program + "..\\"), fs::Placement::Outside);
    // A link inside that leads back in stays inside; one left dangling is the name itself.
    ASSERT_EQ(symlink(folder.c_str(), (folder + "back").c_str()), 0);
    EXPECT_EQ(fs::PlaceInFolder(program, program + "back\\in.txt"), fs::Placement::Inside);
    EXPECT_EQ(fs::PlaceInFolder(program, program + "back\\"), fs::Placement::Same);
    ASSERT_EQ(symlink("/nowhere/at/all", (folder + "dangling").c_str()), 0);
    EXPECT_EQ(fs::PlaceInFolder(program, program + "dangling"), fs::Placement::Inside);
}

TEST(TempFolder, IsPrivateToTheProcessAndGoesAway) {
    std::string temp = fs::TempFolder();
    EXPECT_EQ(temp, fs::TempFolder());
    EXPECT_EQ(temp.back(), '\\');
    EXPECT_TRUE(fs::DirectoryExists(temp));
    struct stat st;
    ASSERT_EQ(stat(fs::ToHostPath(temp)->c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 077, 0u);  // nobody else can read or write it
}

TEST(HostFiles, CreateWriteRenameDelete) {
    std::string program = fs::ToProgramPath(FreshHostFolder());
    fs::HostFile f;
    ASSERT_TRUE(f.Open(program + "a.tmp", fs::HostFile::Mode::Create));
    EXPECT_EQ(f.Write("hello", 5), 5);
    EXPECT_EQ(f.Seek(1, SEEK_SET), 1);
    char b[8] = {};
    EXPECT_EQ(f.Read(b, 8), 4);
    EXPECT_STREQ(b, "ello");
    f.Close();
    EXPECT_TRUE(fs::RenameFile(program + "a.tmp", program + "b.dat"));
    EXPECT_TRUE(fs::FileExists(program + "B.DAT"));
    EXPECT_TRUE(fs::DeleteFile(program + "b.dat"));
    EXPECT_FALSE(f.Open(program + "b.dat", fs::HostFile::Mode::Read));
    EXPECT_FALSE(f.ErrorText().empty());
    EXPECT_FALSE(f.Open(program, fs::HostFile::Mode::Read));  // a folder is no file
}

// A file made beside another takes a fresh name each time, never one that stands.
TEST(HostFiles, FilesMadeBesideTakeNamesOfTheirOwn) {
    const std::string host = FreshHostFolder();
    const std::string program = fs::ToProgramPath(host);
    Touch(host + "report.txt.$$$", "users");
    int error = 0;
    const std::optional<fs::EntryFolder> folder =
        fs::EntryFolder::Reach({fs::HeldFolder::Open(program), {"REPORT.TXT"}}, nullptr, error);
    ASSERT_TRUE(folder) << error;
    fs::HostFile first, second;
    const std::optional<std::string> one = first.CreateBeside(*folder), two = second.CreateBeside(*folder);
    ASSERT_TRUE(one && two);
    EXPECT_NE(*one, *two);
    EXPECT_TRUE(one->starts_with("REPORT.TXT.") && one->ends_with(".$$$")) << *one;
    EXPECT_EQ(first.Write("x", 1), 1);
    EXPECT_EQ(std::filesystem::file_size(host + *one), 1u);
    EXPECT_EQ(std::filesystem::file_size(host + "report.txt.$$$"), 5u);
}

// Pieces go out in order after what the file holds, more of them than one host call takes and
// empty ones among them (first and last too).
TEST(HostFiles, PiecesAreWrittenInTurn) {
    const std::string host = FreshHostFolder();
    fs::HostFile f;
    ASSERT_TRUE(f.Open(fs::ToProgramPath(host) + "p.dat", fs::HostFile::Mode::Create));
    ASSERT_EQ(f.Write("head", 4), 4);
    std::vector<std::string> texts;
    std::string expected = "head";
    for (int i = 0; i < 40; ++i) {
        texts.push_back(i % 7 == 0 ? std::string() : std::string(size_t(i * 37), char('a' + i % 26)));
        expected += texts.back();
    }
    texts.push_back({});
    std::vector<std::span<const std::byte>> pieces;
    for (const std::string& text : texts) pieces.push_back(std::as_bytes(std::span(text)));
    EXPECT_EQ(f.Write(pieces), int64_t(expected.size()) - 4);
    f.Close();
    std::ifstream in(host + "p.dat", std::ios::binary);
    EXPECT_TRUE(std::string(std::istreambuf_iterator<char>(in), {}) == expected);
}

}  // namespace

namespace {

// A place beneath a held folder: links that lead out of it, or above it, are refused by the
// kernel, names are found without regard to case, and what is reached is what stands there.
TEST(Beneath, TheKernelKeepsEveryPlaceBeneathItsFolder) {
    const std::string host = FreshHostFolder(), outside = FreshHostFolder();
    std::filesystem::create_directories(host + "Sub/Deep");
    Touch(outside + "secret", "users");
    std::filesystem::create_directory_symlink(outside, host + "away");
    std::filesystem::create_directory_symlink("../..", host + "Sub/up");
    std::filesystem::create_directory_symlink("Deep", host + "Sub/near");
    std::filesystem::create_symlink(outside + "secret", host + "link");
    const auto root = fs::HeldFolder::Open(fs::ToProgramPath(host));
    ASSERT_TRUE(root);
    int error = 0;
    for (const std::vector<std::string>& refused :
         {std::vector<std::string>{"away", "secret"}, {"sub", "up", "x"}, {"..", "x"}, {"a/b"}}) {
        EXPECT_FALSE(fs::EntryFolder::Reach({root, refused}, nullptr, error)) << refused[0];
    }
    // A link that stays beneath is followed for a folder on the way; one at the entry is never
    // written through.
    const std::optional<fs::EntryFolder> near = fs::EntryFolder::Reach({root, {"SUB", "near", "n.txt"}}, nullptr, error);
    ASSERT_TRUE(near);
    EXPECT_EQ(near->HostParts(), (std::vector<std::string>{"Sub", "near", "n.txt"}));
    const std::optional<fs::EntryFolder> link = fs::EntryFolder::Reach({root, {"LINK"}}, nullptr, error);
    ASSERT_TRUE(link);
    EXPECT_EQ(link->Name(), "link");
    EXPECT_TRUE(link->LookAt()->Link);
    fs::HostFile file;
    EXPECT_FALSE(file.Open(*link, fs::HostFile::Mode::Create));
    EXPECT_EQ(FileText(outside + "secret"), "users");
    // Folders are made beneath only when asked, each told before it is made.
    int made = 0;
    const std::function<void()> count = [&] { ++made; };
    EXPECT_FALSE(fs::EntryFolder::Reach({root, {"new", "x.txt"}}, nullptr, error));
    EXPECT_EQ(error, ENOENT);
    EXPECT_TRUE(fs::EntryFolder::MakeFolders({root, {"new", "two"}}, count, error));
    EXPECT_EQ(made, 2);
    EXPECT_TRUE(std::filesystem::is_directory(host + "new/two"));
    // The folders up from a place reach the host's root.
    const std::vector<fs::FileId> up = near->FoldersUp();
    struct stat top;
    ASSERT_EQ(stat("/", &top), 0);
    EXPECT_EQ(up.back(), (fs::FileId{top.st_dev, top.st_ino}));
    EXPECT_NE(std::find(up.begin(), up.end(), root->Id()), up.end());
}

}  // namespace
