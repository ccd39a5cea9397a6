// The install set against files built independently with Python's struct
// (tests/tools/installset_files.py), and its answers to short or absurd files.
#include "core/installset.h"
#include "platform/fs.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <map>

namespace {

std::map<std::string, std::string> ReferenceFiles() {
    std::map<std::string, std::string> files;
    for (const auto& line : Lines(PythonOutput("installset_files.py"))) {
        size_t space = line.find(' ');
        files[line.substr(0, space)] = FromHex(line.substr(space + 1));
    }
    return files;
}

TVelaInstallSet Load(const std::string& bytes, TVelaInstallSet set = {}) {
    TMemoryStream m;
    m.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    m.SetPosition(0);
    set.LoadFromStream(m);
    EXPECT_EQ(m.Position(), m.Size());
    return set;
}

std::string Save(const TVelaInstallSet& set) {
    TMemoryStream m;
    set.SaveToStream(m);
    return std::string(reinterpret_cast<const char*>(m.Memory()), static_cast<size_t>(m.Size()));
}

// The record every reference file holds (RECORD of the script).
TVelaInstallSet Record() {
    TVelaInstallSet r;
    r.DiscNumber = 2;
    r.SetId = "ソフト";
    r.String3 = "s3", r.String5 = "s5", r.String7 = "s7", r.String10 = "s10", r.String14 = "s14";
    r.String15 = "s15", r.String28 = "s28", r.String29 = "s29", r.String30 = "三十";
    r.ByteA = 0x11, r.ByteB = 0x22, r.ByteC = 0x33, r.ByteD = 0x44, r.ByteE = 0x55, r.ByteF = 0x66;
    r.ByteG = 0x77, r.ByteH = 0x88, r.FullyInstalled = 1;
    r.Int11 = -7;
    r.EntryValues = {{1, -2, 0x123456789, 4}, {5, 6, 7, -1}};
    r.Value17 = 17, r.Value18 = 0x1122334455667788, r.Value19 = -20;
    r.EntryNames.Add("a.mra");
    r.EntryNames.Add("表.mra");
    for (const char* name : {"x", "", "y"}) r.OtherNames.Add(name);
    return r;
}

// The writer is checked against the reference first, so that comparing written forms
// compares whole records.
TEST(InstallSet, ReadsAndWritesTheVersion108FileByteForByte) {
    auto files = ReferenceFiles();
    EXPECT_EQ(ToHex(Save(Record())), ToHex(files["v108"]));
    EXPECT_EQ(ToHex(Save(Load(files["v108"]))), ToHex(files["v108"]));
}

TEST(InstallSet, OlderVersionsReadOnlyTheirFieldsAndKeepTheRest) {
    auto files = ReferenceFiles();
    TVelaInstallSet v101 = Record();
    v101.EntryNames.Clear();
    v101.OtherNames.Clear();
    v101.FullyInstalled = v101.ByteG = v101.ByteH = 0;
    v101.String28 = v101.String29 = v101.String30 = "";
    EXPECT_EQ(ToHex(Save(Load(files["v101"]))), ToHex(Save(v101)));

    // No "is": version 0 from the first byte, values of 4 bytes into the low half; the later
    // fields keep what the set held.
    TVelaInstallSet bare = v101;
    bare.ByteF = 9;
    bare.EntryNames.Add("kept");
    bare.EntryValues = {{1, 0xFFFFFFFE, 0x23456789, 4}, {5, 6, 7, 0xFFFFFFFF}};
    bare.Value18 = 0x55667788, bare.Value19 = 0xFFFFFFEC;
    TVelaInstallSet before;
    before.ByteF = 9;
    before.EntryNames.Add("kept");
    EXPECT_EQ(ToHex(Save(Load(files["bare"], before))), ToHex(Save(bare)));

    // Empty entry names are dropped when read.
    TVelaInstallSet v102 = Load(files["v102-empty-name"]);
    ASSERT_EQ(v102.EntryNames.Count(), 1);
    EXPECT_EQ(v102.EntryNames.Strings(0), "a.mra");
}

TEST(InstallSet, ShortOrAbsurdFilesRaiseAndLeaveTheSetAlone) {
    std::string full = ReferenceFiles()["v108"];
    for (size_t length = 0; length < full.size(); ++length) {
        TVelaInstallSet set;
        set.SetId = "before";
        TMemoryStream m;
        m.WriteBuffer(full.data(), static_cast<int64_t>(length));
        m.SetPosition(0);
        EXPECT_THROW(set.LoadFromStream(m), EReadError) << length;
        EXPECT_EQ(set.SetId, "before");
    }

    // The entry count (at 5 + 4 + 10 + 6 + 4 + 6 + 1 + 6 + 1 = 43) and the entry-name count,
    // each far beyond the data and negative.
    size_t namesAt = full.find(FromHex("02000000 05000000") + "a.mra");
    for (size_t at : {size_t{43}, namesAt}) {
        ASSERT_EQ(full.substr(at, 4), FromHex("02000000"));
        for (const char* count : {"FFFFFF7F", "FEFFFFFF"}) {
            std::string absurd = full;
            absurd.replace(at, 4, FromHex(count));
            EXPECT_THROW(Load(absurd), EReadError) << at << " " << count;
        }
    }
}

TEST(InstallSet, EntriesAreFoundWithoutRegardToCase) {
    TVelaInstallSet set;
    EXPECT_EQ(set.IndexOfEntry("a.mra"), -1);
    EXPECT_EQ(set.AddEntry("Save\\A.MRA"), 0);
    EXPECT_EQ(set.AddEntry("b.mra"), 1);
    EXPECT_EQ(set.AddEntry("save\\a.mra"), 0);
    EXPECT_EQ(set.IndexOfEntry("B.MRA"), 1);
    EXPECT_EQ(set.EntryNames.Count(), 2);
}

TEST(InstallSet, FileRoundTripLeavesNoPartFile) {
    const std::string host = FreshHostFolder(), folder = platform::fs::ToProgramPath(host);
    Record().SaveToFile(folder + "install.dat");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(host), {}), 1);  // no part file left
    TVelaInstallSet loaded;
    loaded.LoadFromFile(folder + "install.dat");
    EXPECT_EQ(Save(loaded), Save(Record()));
    EXPECT_THROW(loaded.LoadFromFile(folder + "missing.dat"), EVelaError);
}

}  // namespace
