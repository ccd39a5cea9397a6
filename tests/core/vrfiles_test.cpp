// The content archive against an independent Python packer and reader: every index version,
// side index and carrier, the writer's output read back by the reference, the sentinel rules,
// the compression choice, and damaged archives refused cleanly.
#include "tests/common/budget.h"
#include "core/vrfiles.h"
#include "core/zstreams.h"
#include "platform/fs.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <random>
#include <tuple>

namespace {

// The reference packer and reader (same command line as the full reference tool).
const char* const kReference = "vfarchive.py";

std::string Int32(int32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); }

std::string Entry(TVrFileCollection& c, const std::string& name) {
    TMemoryStream m;
    c.ReadFile(m, name);
    return Bytes(m);
}

// One line of the reference's listing.
struct Listed {
    std::string name;
    int64_t offset, size;
    int raw;
    int32_t time;
    uint32_t crc;
    int mode;
};
std::vector<Listed> List(const std::vector<std::string>& args) {
    std::vector<Listed> out;
    for (const auto& line : Lines(PythonOutput(kReference, args))) {
        char hex[512];
        Listed e{};
        long long offset, size, time, crc;
        EXPECT_EQ(sscanf(line.c_str(), "%511s %lld %lld %d %lld %lld %d", hex, &offset, &size, &e.raw, &time, &crc,
                         &e.mode),
                  7);
        e.name = FromHex(hex);
        e.offset = offset, e.size = size, e.time = static_cast<int32_t>(time), e.crc = static_cast<uint32_t>(crc);
        out.push_back(e);
    }
    return out;
}

class VrArchive : public testing::Test {
protected:
    void SetUp() override {
        mkdir(src_.c_str(), 0777);
        mkdir((src_ + "sub").c_str(), 0777);
        mkdir((src_ + U8(u8"表")).c_str(), 0777);
        for (const auto& [name, bytes] : files_) WriteHostFile(src_ + name, bytes);
    }
    std::string Program(const std::string& hostName) const { return platform::fs::ToProgramPath(host_ + hostName); }
    // The content of every file, by its entry name (CP932).
    std::map<std::string, std::string> Expected() const {
        return {{"a.txt", files_.at("a.txt")},         {"sub\\Big.WAV", files_.at("sub/Big.WAV")},
                {"empty.wav", ""},                     {"noise.txt", files_.at("noise.txt")},
                {"表\\ソ.txt", files_.at(U8(u8"表/ソ.txt"))}};
    }
    void Pack(const std::string& out, std::vector<std::string> extra) {
        std::vector<std::string> args = {"pack", host_ + out, src_, "--raw-ext", ".wav"};
        args.insert(args.end(), extra.begin(), extra.end());
        PythonOutput(kReference, args);
    }
    // Reads every entry of an archive the reference lists, fields and data.
    void ExpectSameAsReference(TVrFileCollection& c, const std::vector<Listed>& listed) {
        ASSERT_EQ(c.Count(), static_cast<int>(listed.size()) + 1);
        EXPECT_EQ(c.GetFile(c.Count() - 1).Name(), kVrSentinelName);
        const auto expected = Expected();
        for (const Listed& e : listed) {
            SCOPED_TRACE(e.name);
            TVrFile& f = c.GetFile(c.IndexOf(e.name));
            EXPECT_EQ(f.Offset, e.offset);
            EXPECT_EQ(f.Size, e.size);
            EXPECT_EQ(f.StoredRaw, e.raw);
            EXPECT_EQ(f.FileTime, e.time);
            EXPECT_EQ(f.Crc32, e.crc);
            EXPECT_EQ(f.CrcMode, e.mode);
            EXPECT_EQ(Entry(c, e.name), expected.at(e.name));
        }
    }

    std::string host_ = FreshHostFolder();
    std::string src_ = host_ + "src/";
    std::map<std::string, std::string> files_ = {
        {"a.txt", std::string(3000, 'a') + "end"},
        {"sub/Big.WAV", RandomBytes(1500000)},  // raw, and more than one CRC block
        {"empty.wav", ""},
        {"noise.txt", RandomBytes(2000, 3)},
        {U8(u8"表/ソ.txt"), std::string(100, '\\')},  // 0x5C is also a trail byte of both name parts
    };
};

TEST_F(VrArchive, ReadsEveryIndexVersion) {
    for (const char* version : {"0", "100", "101", "102"}) {
        SCOPED_TRACE(version);
        std::vector<std::string> options = {"--version", version};
        if (std::string(version) == "102") options.insert(options.end(), {"--crc-mode", "1"});
        Pack("game.dat", options);
        TVrFileCollection c;
        c.Open(Program("game.dat"));
        ASSERT_NE(c.ArchiveStream(), nullptr);
        EXPECT_EQ(c.BaseFolder(), Program(""));
        ExpectSameAsReference(c, List({"list", host_ + "game.dat"}));
        // The sentinel closes the data; a raw entry's CRC is zlib's over its bytes.
        EXPECT_EQ(c.GetFile(c.Count() - 1).Offset, c.ArchiveStream()->GetSize());
        TMemoryStream wav;
        c.ReadFile(wav, "sub\\big.wav");
        if (std::string(version) >= "101") {
            EXPECT_EQ(StreamCrc32(wav), c.GetFile(c.IndexOf("sub\\Big.WAV")).Crc32);
        }
    }
}

TEST_F(VrArchive, ReadsSideIndexAndCarriers) {
    Pack("game.dat", {"--ext"});
    TVrFileCollection c;
    c.Open(Program("game.dat"));
    ExpectSameAsReference(c, List({"list", host_ + "game.dat", "--ext"}));

    // A copy of a real program with the archive appended: found by its trailer whether it is
    // named ".exe" or, as programs here are, has no extension.
    std::ifstream program("/bin/true", std::ios::binary);
    WriteHostFile(host_ + "true", std::string(std::istreambuf_iterator<char>(program), {}));
    for (const char* name : {"player", "player.EXE"}) {
        Pack(name, {"--carrier", host_ + "true"});
        EXPECT_TRUE(HasArchiveTrailer(Program(name)));
        c.Open(Program(name));
        ExpectSameAsReference(c, List({"list", host_ + name, "--carrier"}));
    }
    EXPECT_FALSE(HasArchiveTrailer(Program("game.dat")));
    EXPECT_FALSE(HasArchiveTrailer(Program("missing")));
    WriteHostFile(host_ + "far", "abcd" + Int32(4) + "qz");  // the position is the trailer itself
    EXPECT_FALSE(HasArchiveTrailer(Program("far")));
}

TEST_F(VrArchive, MagicOrSideIndexWinsOverATrailerLikeEnd) {
    const std::string tail = "data" + Int32(2) + "qz";  // a trailer pointing into the index
    const std::string folder = FreshHostFolder();
    WriteHostFile(folder + "tail.wav", tail);
    PythonOutput(kReference, {"pack", host_ + "tail.dat", folder, "--raw-ext", ".wav"});
    TVrFileCollection c;
    c.Open(Program("tail.dat"));
    EXPECT_EQ(Entry(c, "TAIL.wav"), tail);
    // A data file without the magic: its side index is looked for before any trailer.
    PythonOutput(kReference, {"pack", host_ + "side.dat", folder, "--raw-ext", ".wav", "--ext"});
    c.Open(Program("side.dat"));
    EXPECT_EQ(Entry(c, "TAIL.wav"), tail);
}

TEST_F(VrArchive, WriterOutputReadsBackInReferenceAndCarrier) {
    TVrFileCollection c;
    c.Open(platform::fs::ToProgramPath(src_.substr(0, src_.size() - 1)));  // a folder
    EXPECT_EQ(c.BaseFolder(), platform::fs::ToProgramPath(src_));
    EXPECT_EQ(c.ArchiveStream(), nullptr);
    for (const auto& [name, bytes] : Expected()) c.AddFile(name).CrcMode = name == "a.txt" ? 1 : 0;
    TVrFile& memory = c.AddStream("mem.bin");
    memory.CrcMode = 1;
    memory.DataSource->WriteBuffer("in memory", 9);

    const std::string prefix = "#!program bytes\n";
    {
        TNxBigFileStream out(Program("player"), fmCreate);
        out.Write(prefix.data(), static_cast<int64_t>(prefix.size()));
        EXPECT_TRUE(WriteIndex(c, out));
        out.SetPosition(out.GetSize());
        const std::string trailer = Int32(static_cast<int32_t>(prefix.size())) + "qz";
        out.Write(trailer.data(), 6);
    }
    // The reference checks every CRC against the mode it is listed with.
    auto listed = List({"list", host_ + "player", "--carrier"});
    ASSERT_EQ(listed.size(), 6u);
    auto expected = Expected();
    expected["mem.bin"] = "in memory";
    for (const Listed& e : listed) {
        SCOPED_TRACE(e.name);
        EXPECT_EQ(PythonOutput(kReference, {"cat", host_ + "player", ToHex(e.name), "--carrier"}), expected[e.name]);
        const bool raw = e.name == "sub\\Big.WAV" || e.name == "noise.txt" || e.name == "empty.wav";
        EXPECT_EQ(e.raw, raw ? 1 : 0);  // noise does not shrink to 90%; .wav is never compressed
        EXPECT_EQ(e.mode, e.name == "a.txt" || e.name == "mem.bin" ? 1 : 0);
        if (e.name != "mem.bin") {
            EXPECT_EQ(e.time, platform::fs::FileAge(c.BaseFolder() + e.name));
        }
    }
    TVrFileCollection back;
    back.Open(Program("player"));
    EXPECT_EQ(Entry(back, "MEM.BIN"), "in memory");
    EXPECT_EQ(Entry(back, "表\\ソ.TXT"), expected["表\\ソ.txt"]);
}

TEST_F(VrArchive, SentinelStaysOutOfListsAndWrites) {
    Pack("game.dat", {});
    TVrFileCollection c;
    c.Open(Program("game.dat"));
    const int n = c.Count() - 1;
    c.AddStream("new.txt").DataSource->WriteBuffer("fresh", 5);
    EXPECT_EQ(c.GetFile(n).Name(), kVrSentinelName);

    TStringList top;
    top.Add("A.TXT");  // already listed, in another case
    c.GetFileList("", top);
    ASSERT_EQ(top.Count(), 4);
    EXPECT_EQ(top.Strings(1), "empty.wav");
    EXPECT_EQ(top.Strings(2), "noise.txt");
    EXPECT_EQ(top.Strings(3), "new.txt");  // the last entry, not taken for a sentinel
    TStringList folder;
    c.GetFileList("表\\", folder);
    ASSERT_EQ(folder.Count(), 1);
    EXPECT_EQ(folder.Strings(0), "ソ.txt");

    // Entries without data of their own come out of the archive they were read from.
    {
        TNxBigFileStream out(Program("copy.dat"), fmCreate);
        WriteIndex(c, out);
    }
    TVrFileCollection copy;
    copy.Open(Program("copy.dat"));
    ASSERT_EQ(copy.Count(), n + 2);
    for (int i = 0; i < n; ++i) EXPECT_EQ(copy.GetFile(i).Name(), c.GetFile(i).Name());
    EXPECT_EQ(copy.GetFile(n).Name(), "new.txt");
    EXPECT_EQ(Entry(copy, "new.txt"), "fresh");
    EXPECT_EQ(Entry(copy, "sub\\Big.WAV"), files_["sub/Big.WAV"]);
}

// An archive written from the one read carries each entry's stored bytes over as they are, with a
// CRC the reference checks, also from an index without CRCs (version 0) and one whose CRCs cover
// the uncompressed bytes.
TEST_F(VrArchive, RewritesCarryStoredBytesOver) {
    for (const std::string version : {"0", "102"}) {
        SCOPED_TRACE(version);
        Pack("game.dat", {"--version", version, "--crc-mode", version == "0" ? "0" : "1"});
        TVrFileCollection c;
        c.Open(Program("game.dat"));
        {
            TNxBigFileStream out(Program("copy.dat"), fmCreate);
            WriteIndex(c, out);
        }
        TVrFileCollection copy;
        copy.Open(Program("copy.dat"));
        ASSERT_EQ(copy.Count(), c.Count());
        for (int i = 0; i < c.Count(); ++i) {
            EXPECT_EQ(copy.GetFile(i).Name(), c.GetFile(i).Name());
            EXPECT_EQ(copy.GetFile(i).Size, c.GetFile(i).Size);
            EXPECT_EQ(copy.GetFile(i).StoredRaw, c.GetFile(i).StoredRaw);
        }
        const std::string out = host_ + "out" + version + "/";
        PythonOutput(kReference, {"extract", host_ + "copy.dat", out});
        for (const auto& [name, bytes] : files_) EXPECT_EQ(FileText(out + name), bytes) << name;
    }
}

// A collection written in place of its file reads on from the file written as a fresh open
// would, so that the next write from it carries the other entries' stored bytes over, from an
// index without CRCs too.
TEST_F(VrArchive, WrittenInPlaceReadsOnFromTheFileWritten) {
    Pack("game.dat", {"--version", "0"});
    TVrFileCollection c;
    c.Open(Program("game.dat"));
    c.DeleteFile("a.txt");
    c.AddStream("a.txt").DataSource->WriteBuffer("again", 5);
    c.WriteFile(Program("game.dat"));
    c.AddStream("new.txt").DataSource->WriteBuffer("fresh", 5);
    c.WriteFile(Program("game.dat"));

    TVrFileCollection fresh;
    fresh.Open(Program("game.dat"));
    ASSERT_EQ(c.Count(), fresh.Count());
    for (int i = 0; i < c.Count(); ++i) {
        const TVrFile &kept = c.GetFile(i), &read = fresh.GetFile(i);
        SCOPED_TRACE(read.Name());
        EXPECT_EQ(kept.Name(), read.Name());
        EXPECT_EQ(kept.DataSource, nullptr);
        EXPECT_EQ(std::tuple(c.StoredAt(kept), kept.Size, kept.StoredRaw, kept.FileTime, kept.Crc32, kept.CrcMode),
                  std::tuple(fresh.StoredAt(read), read.Size, read.StoredRaw, read.FileTime, read.Crc32, read.CrcMode));
    }
    EXPECT_EQ(c.GetFile(c.Count() - 2).Name(), "new.txt");
    EXPECT_EQ(Entry(c, "a.txt"), "again");
    const std::string out = host_ + "out/";
    PythonOutput(kReference, {"extract", host_ + "game.dat", out});
    files_["a.txt"] = "again";
    files_["new.txt"] = "fresh";
    for (const auto& [name, bytes] : files_) EXPECT_EQ(FileText(out + name), bytes) << name;
}

// A write after the first takes the entries before the first change from the image it keeps and
// builds the others: after a delete from the middle, a rename, a move, an added entry and no
// change at all, the file is what a whole write of it gives again, byte for byte, and holds each
// entry's bytes as the reference reads them.
TEST_F(VrArchive, WritesFromTheKeptImageMatchAWholeWrite) {
    Pack("game.dat", {});
    TVrFileCollection c;
    c.Open(Program("game.dat"));
    c.WriteFile(Program("game.dat"));
    files_.erase("noise.txt");
    files_["b.txt"] = files_.at("a.txt");
    files_.erase("a.txt");
    files_["new.txt"] = "fresh";
    const std::vector<std::function<void()>> changes = {
        [&] { c.DeleteFile("noise.txt"); },
        [&] { c.GetFile(c.IndexOf("a.txt")).SetName("b.txt"); },
        [&] { c.GetFile(c.IndexOf("empty.wav")).SetIndex(0); },
        [&] { c.AddStream("new.txt").DataSource->WriteBuffer("fresh", 5); },
        [] {},
    };
    for (size_t i = 0; i < changes.size(); ++i) {
        SCOPED_TRACE(i);
        changes[i]();
        c.WriteFile(Program("game.dat"));
        TVrFileCollection fresh;
        fresh.Open(Program("game.dat"));
        {
            TNxBigFileStream out(Program("copy.dat"), fmCreate);
            WriteIndex(fresh, out);
        }
        EXPECT_TRUE(FileText(host_ + "copy.dat") == FileText(host_ + "game.dat"));
        ASSERT_EQ(fresh.Count(), c.Count());
        for (int k = 0; k < c.Count(); ++k) EXPECT_EQ(fresh.GetFile(k).Name(), c.GetFile(k).Name());
    }
    EXPECT_EQ(c.GetFile(0).Name(), "empty.wav");
    const std::string out = host_ + "out/";
    PythonOutput(kReference, {"extract", host_ + "game.dat", out});
    for (const auto& [name, bytes] : files_) EXPECT_EQ(FileText(out + name), bytes) << name;
}

TEST_F(VrArchive, NamesMatchWithoutRegardToCase) {
    WriteHostFile(src_ + U8(u8"ＡＢＣ.txt"), "full-width");
    Pack("game.dat", {});
    TVrFileCollection c;
    c.Open(Program("game.dat"));
    EXPECT_EQ(Entry(c, "ａｂｃ.TXT"), "full-width");
    EXPECT_EQ(Entry(c, "SUB\\big.wav"), files_["sub/Big.WAV"]);
    c.DeleteFile("A.TXT");
    EXPECT_EQ(c.IndexOf("a.txt"), -1);
}

// The stream keeps its room from entry to entry: each read leaves exactly the entry's bytes,
// whether raw or inflated, larger or smaller than the one before.
TEST_F(VrArchive, OneMemoryStreamTakesEntryAfterEntry) {
    Pack("game.dat", {});
    TVrFileCollection c;
    c.Open(Program("game.dat"));
    const auto expected = Expected();
    TMemoryStream m;
    for (const char* name : {"sub\\Big.WAV", "a.txt", "empty.wav", "noise.txt", "sub\\Big.WAV", "a.txt"}) {
        m.SetPosition(m.Size());
        c.ReadFile(m, name);
        EXPECT_EQ(m.Position(), 0) << name;
        EXPECT_EQ(Bytes(m), expected.at(name)) << name;
    }
}

TEST_F(VrArchive, RangeStreamsShowStoredBytes) {
    Pack("game.dat", {});
    TVrFileCollection c;
    c.Open(Program("game.dat"));
    auto wav = c.OpenRangeStream("sub\\big.wav");
    ASSERT_NE(wav, nullptr);
    TMemoryStream copy;
    copy.LoadFromStream(*wav);
    EXPECT_EQ(Bytes(copy), files_["sub/Big.WAV"]);
    EXPECT_EQ(c.OpenRangeStream("empty.wav")->Size(), 0);  // not the rest of the file
    EXPECT_EQ(c.OpenRangeStream("missing"), nullptr);
    c.AddStream("mem");
    EXPECT_EQ(c.OpenRangeStream("mem"), nullptr);
}

TEST_F(VrArchive, DiskFilesStayInsideTheBaseFolder) {
    WriteHostFile(host_ + "outside.txt", "secret");
    TVrFileCollection c;
    c.Open(platform::fs::ToProgramPath(src_));
    EXPECT_EQ(Entry(c, "SUB\\big.wav"), files_["sub/Big.WAV"]);
    using namespace std::string_literals;
    for (const std::string& name : {"..\\outside.txt"s, "sub\\..\\..\\outside.txt"s, "\\..\\outside.txt"s,
                                    // the host sees the name up to the NUL only
                                    "..\\outside.txt\0\\..\\src\\a.txt"s}) {
        SCOPED_TRACE(name);
        EXPECT_THROW(Entry(c, name), EVrFileError);
        TVrFileCollection writer;
        writer.Open(platform::fs::ToProgramPath(src_));
        writer.AddFile(name);
        TNxBigMemoryStream out;
        try {
            WriteIndex(writer, out);
            ADD_FAILURE() << "written";
        } catch (const EVrFileError& e) {
            const std::string message = "エラー:" + name + "\n" + name + ":ファイルがありません";
            EXPECT_STREQ(e.what(), message.c_str());  // both end at a NUL in the name
        }
    }
    // The archive file itself is not one of its entries.
    Pack("game.dat", {});
    TVrFileCollection archive;
    archive.Open(Program("game.dat"));
    EXPECT_THROW(Entry(archive, "game.dat"), EVrFileError);
}

TEST_F(VrArchive, CompressionChoice) {
    std::string mira(51, '\0');
    std::memcpy(mira.data(), "Mira103", 7);
    mira[7] = 40;
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"a.wav", "tiny"}, {"x.mp", "substring of .MPG"}, {"small.txt", "text"}, {"noext", "text"},
        {"big.txt", std::string(6000000, 't')}, {"m0.mra", mira}, {"m1.MRA", mira}};
    const std::vector<bool> compress = {false, false, true, true, false, false, true};
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].first);
        std::string bytes = cases[i].second;
        if (cases[i].first == "m1.MRA") bytes[11 + 22] = 1;
        WriteHostFile(host_ + cases[i].first, bytes);
        TFileStream file(Program(cases[i].first), fmOpenRead);
        EXPECT_EQ(ShouldCompress(file), compress[i]);
    }
}

TEST(VrProbe, MiraHeaderProbe) {
    auto probe = [](const std::string& magic, int flag, size_t keep = 100) {
        std::string s = magic + Int32(40) + std::string(40, '\0');
        s[11 + 22] = static_cast<char>(flag);
        s.resize(std::min(keep, s.size()));
        TMemoryStream m;
        m.WriteBuffer(s.data(), static_cast<int64_t>(s.size()));
        m.SetPosition(0);
        return ProbeMiraHeader(m);
    };
    EXPECT_TRUE(probe("Mira103", 1));
    EXPECT_TRUE(probe("Mira107", 1));
    EXPECT_TRUE(probe("Mirax67", 1));  // hexadecimal 0x67 = 103
    EXPECT_FALSE(probe("Mira103", 0));
    EXPECT_FALSE(probe("Mira103", 2));
    EXPECT_FALSE(probe("Mira102", 1));
    EXPECT_FALSE(probe("MiraX200", 1));  // "X20" reads as 32
    EXPECT_FALSE(probe("Mira1x3", 1));
    EXPECT_FALSE(probe("Mira103", 1, 33));  // the record ends before its flag
    EXPECT_FALSE(probe("Mira103", 1, 9));
    EXPECT_FALSE(probe("Mir", 1, 3));
}

// ---- Damaged archives ----

// A version 0 index (names and offsets in clear) and the data after it.
std::string Index0(const std::vector<std::string>& names, const std::vector<uint32_t>& offsets) {
    std::string s = Int32(static_cast<int32_t>(names.size()));
    for (const auto& name : names) s += Int32(static_cast<int32_t>(name.size())) + name;
    for (uint32_t o : offsets) s += Int32(static_cast<int32_t>(o));
    return s;
}

TEST_F(VrArchive, DamagedIndexesAreRefusedAndLeaveNothing) {
    const std::string data = "0123456789";
    const uint32_t start = 4 + 5 + 8;  // one name "a" and two offsets
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"negative count", Int32(-1) + data},
        {"count beyond the file", Int32(0x7FFFFFFF) + data},
        {"name beyond the file", Int32(1) + Int32(1000) + "a" + data},
        {"negative name length", Int32(1) + Int32(-5) + "a" + data},
        {"offsets decrease", Index0({"a"}, {start + 5, start + 2}) + data},
        {"data inside the index", Index0({"a"}, {0, start + 2}) + data},
        {"data beyond the end", Index0({"a"}, {start, start + 11}) + data},
        {"tables cut short", Index0({"a"}, {start, start}).substr(0, 12)},
        {"unknown version", "vf" + Int32(103) + Int32(0) + Int32(10)},
        {"no magic, no count", "v"},
    };
    for (const auto& [what, bytes] : cases) {
        SCOPED_TRACE(what);
        WriteHostFile(host_ + "bad.dat", bytes);
        TVrFileCollection c;
        try {
            c.Open(Program("bad.dat"));
            ADD_FAILURE() << "opened";
        } catch (const EVrFileError& e) {
            // Named as the host writes it.
            EXPECT_TRUE(std::string(e.what()).starts_with(host_ + "bad.dat:")) << e.what();
            EXPECT_EQ(std::string(e.what()).find('\\'), std::string::npos) << e.what();
        }
        EXPECT_EQ(c.Count(), 0);
        EXPECT_EQ(c.ArchiveStream(), nullptr);
    }
    // A carrying program without a trailer.
    WriteHostFile(host_ + "p.exe", "MZ");
    TVrFileCollection c;
    EXPECT_THROW(c.Open(Program("p.exe")), EVrFileError);

    // Read into a collection that holds entries already: it keeps exactly those.
    c.AddFile("kept");
    TNxBigMemoryStream bad;
    const std::string bytes = Index0({"a", "b"}, {start + 9, start + 9, start + 1});
    bad.Write(bytes.data(), static_cast<int64_t>(bytes.size()));
    bad.SetPosition(0);
    EXPECT_THROW(ReadIndex(c, bad), EVrFileError);
    EXPECT_EQ(c.Count(), 1);
}

TEST_F(VrArchive, DamagedEntriesRaise) {
    // A zlib stream cut short inside a consistent index.
    TMemoryStream packed;
    packed.WriteBuffer(files_["a.txt"].data(), 3003);
    CompressStream(packed, clDefault);
    const std::string cut = Bytes(packed).substr(0, packed.Size() / 2);
    const uint32_t start = 4 + 5 + 8;
    WriteHostFile(host_ + "cut.dat", Index0({"a"}, {start, start + static_cast<uint32_t>(cut.size())}) + cut);
    TVrFileCollection c;
    c.Open(Program("cut.dat"));
    try {
        Entry(c, "a");
        ADD_FAILURE() << "inflated";
    } catch (const EVrFileError& e) {  // naming the archive as the host writes it, and the entry
        EXPECT_EQ(std::string(e.what()), platform::fs::ShownPath(Program("cut.dat")) + ":a:データが壊れています(buffer error)");
    }

    // Data that went missing after the archive was opened.
    Pack("game.dat", {});
    c.Open(Program("game.dat"));
    ASSERT_EQ(truncate((host_ + "game.dat").c_str(), c.GetFile(c.IndexOf("sub\\Big.WAV")).Offset + 10), 0);
    EXPECT_THROW(Entry(c, "sub\\Big.WAV"), EVrFileError);
}

// Into memory it is refused as any allocation past the limit is; into a work file, where it
// takes no memory, it is held to the same bound and taken for a damaged archive.
TEST_F(VrArchive, AnEntryInflatingPastTheMemoryBudgetIsRefused) {
    TMemoryStream packed;
    packed.SetSize(int64_t(16) << 20);  // zeros: a few kilobytes once deflated
    CompressStream(packed, clMax);
    const uint32_t start = 4 + 5 + 8;
    WriteHostFile(host_ + "bomb.dat",
                  Index0({"a"}, {start, start + static_cast<uint32_t>(packed.Size())}) + Bytes(packed));
    TVrFileCollection c;
    c.Open(Program("bomb.dat"));
    testbudget::TTestBudget budget(int64_t(256) << 10);
    {
        const TBudgetRefusal refusing;
        EXPECT_THROW(Entry(c, "a"), EMemoryBudget);
    }
    budget.Room(int64_t(256) << 10);
    try {
        TFileStream out(Program("out.bin"), fmCreate);
        c.ReadFile(out, "a");
        ADD_FAILURE() << "inflated";
    } catch (const EVrFileError& e) {
        EXPECT_EQ(std::string(e.what()), platform::fs::ShownPath(Program("bomb.dat")) + ":アーカイブが壊れています");
    }
    EXPECT_NEAR(MemoryCharged(), budget.Before(), testbudget::Slack);
}

TEST_F(VrArchive, CompressedEntryIntoAFileStream) {
    Pack("game.dat", {"--version", "0"});
    TVrFileCollection c;
    c.Open(Program("game.dat"));
    TFileStream out(Program("out.bin"), fmCreate);
    out.WriteBuffer("old", 3);
    c.ReadFile(out, "a.txt");
    EXPECT_EQ(out.Position(), 0);
    TMemoryStream back;
    back.LoadFromStream(out);
    EXPECT_EQ(Bytes(back), "old" + files_["a.txt"]);  // a stream other than memory is not emptied
}

}  // namespace
