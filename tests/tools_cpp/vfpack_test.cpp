// The archive tool run as a program: its archives against the independent Python reference, the
// reference's archives of every layout extracted by it, carriers the player opens, unsafe entry
// names refused before anything is written, and failures that leave the old output whole.
#include "core/bigstreams.h"
#include "core/vrfiles.h"
#include "platform/encoding.h"
#include "platform/fs.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

namespace {

namespace stdfs = std::filesystem;

const std::string kTree = std::string(VELA_TEST_DATA) + "/archive";

ProgramRun Vfpack(const std::vector<std::string>& args) { return RunProgram(VELA_VFPACK, args); }

// Every regular file under a host folder by its relative path, with its bytes.
std::map<std::string, std::string> Tree(const std::string& folder) {
    std::map<std::string, std::string> files;
    if (!stdfs::exists(folder)) return files;
    for (const auto& entry : stdfs::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            files[stdfs::relative(entry.path(), folder).string()] = FileText(entry.path().string());
    return files;
}

// The entry name (Shift-JIS, "\" separators) of a relative host path.
std::string EntryName(std::string relative) {
    std::replace(relative.begin(), relative.end(), '/', '\\');
    return platform::Utf8ToCp932(relative);
}

class VfpackTest : public testing::Test {
protected:
    void Pack(const std::string& archive, const std::string& folder) {
        const ProgramRun run = Vfpack({"pack", archive, folder});
        ASSERT_EQ(run.status, 0) << run.err;
    }
    void ExpectRefused(const ProgramRun& run, const std::string& errorPart) {
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find(errorPart), std::string::npos) << run.err;
    }

    std::string host_ = FreshHostFolder();
    std::map<std::string, std::string> tree_ = Tree(kTree);
};

TEST_F(VfpackTest, PackedArchiveAndListingAgreeWithTheReference) {
    Pack(host_ + "a.dat", kTree);
    std::map<std::string, std::string> listed;  // our listing by name: size, storage and CRC
    for (const auto& line : Lines(Vfpack({"list", host_ + "a.dat"}).out)) {
        const size_t tab = line.find('\t');
        listed[line.substr(0, tab)] = line.substr(tab + 1);
    }
    std::map<std::string, std::string> entries;
    for (const auto& line : Lines(PythonOutput("vfarchive.py", {"list", host_ + "a.dat"}))) {
        std::istringstream fields(line);
        std::string hex;
        long long offset, size, time, crc;
        int raw, mode;
        fields >> hex >> offset >> size >> raw >> time >> crc >> mode;
        const std::string name = FromHex(hex);
        SCOPED_TRACE(hex);
        char expected[64];
        snprintf(expected, sizeof expected, "%lld\t%s\t%08llX", size, raw ? "raw" : "compressed", crc);
        EXPECT_EQ(listed[platform::Cp932ToUtf8(name)], expected);
        entries[name] = PythonOutput("vfarchive.py", {"cat", host_ + "a.dat", hex});
    }
    std::map<std::string, std::string> expected;
    for (const auto& [path, bytes] : tree_) expected[EntryName(path)] = bytes;
    EXPECT_EQ(entries, expected);
    EXPECT_TRUE(expected.count("文書\\表示.txt"));
}

TEST_F(VfpackTest, RoundTripsTheDataTree) {
    Pack(host_ + "a.dat", kTree);
    const ProgramRun run = Vfpack({"extract", host_ + "a.dat", host_ + "out"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Tree(host_ + "out"), tree_);
    EXPECT_EQ(tree_.count(U8(u8"文書/表示.txt")), 1u);
    EXPECT_EQ(tree_.at("empty.dat"), "");
}

TEST_F(VfpackTest, ExtractsReferenceArchivesOfEveryLayout) {
    WriteHostFile(host_ + "program", "\x7F" "ELF and some code");
    const std::vector<std::vector<std::string>> layouts = {
        {"--version", "0"},   {"--version", "100"},  {"--version", "101"}, {"--crc-mode", "1"},
        {"--raw-ext", ".bin"}, {"--ext"},             {"--carrier", host_ + "program"}};
    for (size_t i = 0; i < layouts.size(); ++i) {
        SCOPED_TRACE(layouts[i][0] + " " + (layouts[i].size() > 1 ? layouts[i][1] : ""));
        const std::string archive = host_ + "ref" + std::to_string(i) + ".dat", out = host_ + "out" + std::to_string(i);
        std::vector<std::string> args = {"pack", archive, kTree};
        args.insert(args.end(), layouts[i].begin(), layouts[i].end());
        PythonOutput("vfarchive.py", args);
        const ProgramRun run = Vfpack({"extract", archive, out});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(Tree(out), tree_);
    }
}

TEST_F(VfpackTest, AppendMakesACarrierThePlayerOpens) {
    const std::string program = host_ + "player", carrier = host_ + "game";
    WriteHostFile(program, "#!/bin/sh\nexit 0\n");
    chmod(program.c_str(), 0750);
    Pack(host_ + "a.dat", kTree);
    const ProgramRun run = Vfpack({"append", program, host_ + "a.dat", carrier});
    ASSERT_EQ(run.status, 0) << run.err;

    const int32_t position = 17;
    EXPECT_EQ(FileText(carrier), FileText(program) + FileText(host_ + "a.dat") +
                                         std::string(reinterpret_cast<const char*>(&position), 4) + "qz");
    struct stat st;
    ASSERT_EQ(stat(carrier.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0750u);

    TVrFileCollection collection;
    collection.Open(platform::fs::ToProgramPath(carrier));
    ASSERT_EQ(collection.Count(), static_cast<int>(tree_.size()) + 1);
    for (const auto& [path, bytes] : tree_) {
        TMemoryStream data;
        collection.ReadFile(data, EntryName(path));
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(data.Memory()), data.Size()), bytes) << path;
    }
    EXPECT_EQ(Lines(Vfpack({"list", carrier}).out).size(), tree_.size());
    // Only a plain archive can be appended as it is.
    ExpectRefused(Vfpack({"append", program, carrier, host_ + "again"}), "not a plain archive");
    EXPECT_FALSE(stdfs::exists(host_ + "again"));
}

// An archive holding "ok.txt" and then an entry of the given name, written by the player's writer.
void WriteArchiveWith(const std::string& path, const std::string& name) {
    TVrFileCollection collection;
    for (const std::string& entry : {std::string("ok.txt"), name})
        collection.AddStream(entry).DataSource->WriteBuffer("data", 4);
    TNxBigFileStream stream(platform::fs::ToProgramPath(path), fmCreate);
    WriteIndex(collection, stream);
}

TEST_F(VfpackTest, RefusesUnsafeNamesBeforeWritingAnything) {
    const std::vector<std::string> unsafe = {
        "..\\evil.txt", "a\\..\\..\\evil.txt", "a/../../evil.txt", "C:\\evil.txt", "C:evil.txt",
        "\\evil.txt",   "/evil.txt",           "a\\\\evil.txt",    "evil\\",       "",
        "a\\.\\evil",   "OK.TXT",              "link\\evil.txt",   "ev\x1Bil.txt",  "\x81"};
    for (size_t i = 0; i < unsafe.size(); ++i) {
        SCOPED_TRACE(ToHex(unsafe[i]));
        const std::string base = host_ + std::to_string(i) + "/";
        stdfs::create_directories(base + "out");
        stdfs::create_directories(base + "outside");
        stdfs::create_directory_symlink(base + "outside", base + "out/link");
        WriteArchiveWith(base + "a.dat", unsafe[i]);
        ExpectRefused(Vfpack({"extract", base + "a.dat", base + "out"}), "refused");
        EXPECT_TRUE(Tree(base + "out").empty());
        EXPECT_TRUE(stdfs::is_empty(base + "outside"));
        EXPECT_EQ(std::distance(stdfs::directory_iterator(base), {}), 3);  // a.dat, out and outside only
    }
}

TEST_F(VfpackTest, FailuresExitNonZeroAndLeaveTheOldArchiveWhole) {
    EXPECT_EQ(Vfpack({}).status, 2);
    EXPECT_EQ(Vfpack({"pack", host_ + "a.dat"}).status, 2);
    EXPECT_NE(Vfpack({"unpack", host_ + "a.dat"}).err.find("usage:"), std::string::npos);

    ExpectRefused(Vfpack({"pack", host_ + "a.dat", host_ + "missing"}), "no such folder");
    ExpectRefused(Vfpack({"list", host_ + "missing.dat"}), "no such file");
    ExpectRefused(Vfpack({"pack", host_ + "missing/a.dat", kTree}), "cannot write in");

    Pack(host_ + "a.dat", kTree);
    const std::string good = FileText(host_ + "a.dat");
    WriteHostFile(host_ + "cut.dat", good.substr(0, good.size() / 2));
    ExpectRefused(Vfpack({"list", host_ + "cut.dat"}), "vfpack: ");
    ExpectRefused(Vfpack({"extract", host_ + "cut.dat", host_ + "out"}), "vfpack: ");

    // Each source folder fails the pack after the old archive was made; it stays as it was.
    const std::string src = host_ + "src/";
    stdfs::create_directories(src);
    WriteHostFile(src + "a.txt", "a");
    WriteHostFile(src + "A.TXT", "b");
    ExpectRefused(Vfpack({"pack", host_ + "a.dat", src}), "cannot tell these names apart");
    stdfs::remove(src + "A.TXT");
    WriteHostFile(src + U8(u8"絵\U0001F600.txt"), "c");
    ExpectRefused(Vfpack({"pack", host_ + "a.dat", src}), "no Shift-JIS (CP932) form");
    stdfs::remove(src + U8(u8"絵\U0001F600.txt"));
    WriteHostFile(src + "ev\x1Bil.txt", "d");
    ExpectRefused(Vfpack({"pack", host_ + "a.dat", src}), "ev\\x1Bil.txt: not allowed as an entry name");
    stdfs::remove(src + "ev\x1Bil.txt");
    stdfs::create_symlink(host_ + "cut.dat", src + "z.txt");
    ExpectRefused(Vfpack({"pack", host_ + "a.dat", src}), "a link to outside the folder");

    EXPECT_EQ(FileText(host_ + "a.dat"), good);
    for (const auto& entry : stdfs::directory_iterator(host_))
        EXPECT_EQ(entry.path().filename().string().find(".vfpack"), std::string::npos) << entry.path();
}

}  // namespace
