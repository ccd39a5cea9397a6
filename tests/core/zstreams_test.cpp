// zlib streams against Python's zlib: round trips at every level, data made by either side
// read by the other, the source left just after the stream, and bad data raising.
#include "core/header.h"
#include "core/zstreams.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>

namespace {

// Text-like data that compresses but not trivially.
std::string Sample(size_t n, unsigned seed = 1) {
    std::mt19937 random(seed);
    static const char* words[] = {"stream ", "archive ", "entry ", "\x82\xa0", "window ", "\r\n", "zlib "};
    std::string s;
    while (s.size() < n) s += random() % 5 == 0 ? std::to_string(random() % 1000) : words[random() % 7];
    s.resize(n);
    return s;
}

// Runs the reference script on bytes handed over in a file.
std::string Python(const std::string& command, const std::string& data, const std::string& level = "") {
    std::string path = FreshHostFolder() + "in.bin";
    std::ofstream(path, std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));
    std::vector<std::string> args = {command, path};
    if (!level.empty()) args.push_back(level);
    return PythonOutput("zlib_ref.py", args);
}

std::string Compressed(const std::string& data, TCompressionLevel level) {
    TMemoryStream m = StreamOf(data);
    CompressStream(m, level);
    EXPECT_EQ(m.Position(), 0);
    return Bytes(m);
}

std::string Inflated(const std::string& packed) {
    TMemoryStream m = StreamOf(packed);
    DecompressMemoryStream(m);
    EXPECT_EQ(m.Position(), 0);
    return Bytes(m);
}

TEST(ZStreams, RoundTripsAtEveryLevelAndPythonAgrees) {
    // The second header byte carries zlib's level class: 01 fastest/none, 9C default, DA best.
    const struct {
        TCompressionLevel level;
        const char* header;
    } levels[] = {{clNone, "7801"}, {clFastest, "7801"}, {clDefault, "789C"}, {clMax, "78DA"}};
    for (const std::string& data : {std::string(), Sample(300000)}) {
        for (auto [level, header] : levels) {
            std::string packed = Compressed(data, level);
            EXPECT_EQ(ToHex(packed.substr(0, 2)), header) << level;
            EXPECT_EQ(Inflated(packed), data) << level;
            EXPECT_EQ(Python("inflate", packed), data) << level;
        }
    }
    EXPECT_GT(Compressed(Sample(300000), clNone).size(), 300000u);
    EXPECT_LT(Compressed(Sample(300000), clMax).size(), 150000u);
}

TEST(ZStreams, InflatesPythonsStreamsInPiecesOfAnySize) {
    std::string data = Sample(200000, 3);
    for (const char* level : {"0", "6", "9"}) {
        TMemoryStream packed = StreamOf(Python("deflate", data, level));
        TZDecompressionStream z(packed);
        std::string got;
        char piece[7777];
        for (int64_t size = 1; int64_t n = z.Read(piece, size); size = size * 3 % 7777 + 1) got.append(piece, n);
        EXPECT_EQ(got, data) << level;
        EXPECT_EQ(z.Position(), 200000);
    }
}

// Small reads take their bytes from a piece inflated ahead; a large read drains what is left of
// it and inflates the rest into its own buffer, and the position counts only what was read.
TEST(ZStreams, SmallAndLargeReadsAndSkipsFollowEachOther) {
    const std::string data = Sample(700000, 4);
    TMemoryStream packed = StreamOf(Compressed(data, clDefault));
    TZDecompressionStream z(packed);
    std::string got(600000, '\0');
    ASSERT_EQ(z.Read(got.data(), 100), 100);
    EXPECT_EQ(got.substr(0, 100), data.substr(0, 100));
    EXPECT_EQ(z.Position(), 100);
    EXPECT_EQ(z.Seek(1000, soCurrent), 1100);
    ASSERT_EQ(z.Read(got.data(), 600000), 600000);
    EXPECT_EQ(got, data.substr(1100, 600000));
    ASSERT_EQ(z.Read(got.data(), 7), 7);
    EXPECT_EQ(got.substr(0, 7), data.substr(601100, 7));
    EXPECT_EQ(z.Read(got.data(), 600000), 700000 - 601107);
    EXPECT_EQ(got.substr(0, 700000 - 601107), data.substr(601107));
    EXPECT_EQ(z.Read(got.data(), 10), 0);
    EXPECT_EQ(z.Position(), 700000);
    EXPECT_EQ(z.Seek(0, soBeginning), 0);
    ASSERT_EQ(z.Read(got.data(), 5), 5);
    EXPECT_EQ(got.substr(0, 5), data.substr(0, 5));
}

TEST(ZStreams, DecompressMemoryStreamOfTwoAndAHalfMillionBytes) {
    std::string data = Sample(2500000, 5);
    TMemoryStream m = StreamOf(Python("deflate", data, "-1"));
    m.SetPosition(17);
    DecompressMemoryStream(m);
    EXPECT_EQ(m.Position(), 0);
    EXPECT_EQ(m.Size(), 2500000);
    EXPECT_EQ(Bytes(m), data);

    TMemoryStream packed = StreamOf(Python("deflate", data, "1"));
    TMemoryStream dest;
    dest.WriteBuffer("head", 4);
    DecompressStream(packed, dest);
    EXPECT_EQ(Bytes(dest), "head" + data);
}

TEST(ZStreams, SourceIsLeftJustAfterTheZlibStream) {
    // Noise makes the stream longer than one 65,536-byte input block.
    for (const std::string& data : {Sample(1000), RandomBytes(150000)}) {
        std::string packed = Compressed(data, clDefault);
        TMemoryStream source = StreamOf("prefix" + packed + "TRAIL");
        source.SetPosition(6);
        TZDecompressionStream z(source);
        std::string got(data.size() + 100, '\0');
        EXPECT_EQ(z.Read(got.data(), static_cast<int64_t>(got.size())), static_cast<int64_t>(data.size()));
        EXPECT_EQ(got.substr(0, data.size()), data);
        EXPECT_EQ(z.Read(got.data(), 10), 0);
        EXPECT_EQ(source.Position(), static_cast<int64_t>(6 + packed.size()));

        // Back to the start of the zlib stream, then forward by skipping.
        EXPECT_EQ(z.Seek(0, soBeginning), 0);
        EXPECT_EQ(z.Seek(500, soCurrent), 500);
        char c;
        EXPECT_EQ(z.Read(&c, 1), 1);
        EXPECT_EQ(c, data[500]);
    }
}

TEST(ZStreams, CorruptOrTruncatedDataRaises) {
    std::string data = Sample(100000, 9);
    std::string packed = Compressed(data, clDefault);

    std::string corrupt = packed;
    for (size_t i = 200; i < 260; ++i) corrupt[i] = static_cast<char>(corrupt[i] ^ 0x5A);
    std::string badHeader = packed;
    badHeader[0] = 0x79;
    std::string badChecksum = packed;
    badChecksum.back() = static_cast<char>(badChecksum.back() ^ 1);
    const std::string cases[] = {corrupt, badHeader, badChecksum, packed.substr(0, packed.size() / 2),
                                 packed.substr(0, packed.size() - 4), std::string()};
    for (const auto& bad : cases) {
        TMemoryStream m = StreamOf(bad);
        EXPECT_THROW(DecompressMemoryStream(m), EZDecompressionError) << bad.size();
        EXPECT_EQ(Bytes(m), bad);  // the content is kept on failure
    }

    TMemoryStream truncated = StreamOf(packed.substr(0, packed.size() / 2));
    TZDecompressionStream z(truncated);
    std::string out(data.size(), '\0');
    try {
        z.Read(out.data(), static_cast<int64_t>(out.size()));
        ADD_FAILURE() << "a truncated stream was read as whole";
    } catch (const EZDecompressionError& e) {
        EXPECT_STREQ(e.what(), "buffer error");
    }
}

// A destination that refuses every byte.
class FullStream : public TStream {
public:
    int64_t Read(void*, int64_t) override { return 0; }
    int64_t Write(const void*, int64_t) override { return 0; }
    int64_t Seek(int64_t, TSeekOrigin) override { return 0; }
};

TEST(ZStreams, CompressorFinishesWhenFreedAndRefusesOtherOperations) {
    TMemoryStream dest;
    int progress = 0;
    {
        TZCompressionStream c(dest, clNone);
        c.OnProgress = [&] { ++progress; };
        c.WriteBuffer(RandomBytes(300000).data(), 300000);
        EXPECT_EQ(c.Position(), 300000);
        char b;
        try {
            c.Read(&b, 1);
            ADD_FAILURE();
        } catch (const EZCompressionError& e) {
            EXPECT_STREQ(e.what(), "Invalid ZStream operation!");
        }
        EXPECT_THROW(c.Seek(0, soBeginning), EZCompressionError);
    }
    EXPECT_GE(progress, 4);  // one per full 65,536-byte buffer
    EXPECT_EQ(Python("inflate", Bytes(dest)), RandomBytes(300000));

    // A failing destination raises from Finish, never from the destructor.
    FullStream full;
    EXPECT_NO_THROW(TZCompressionStream(full).WriteBuffer("some bytes", 10));
    TZCompressionStream c(full);
    c.WriteBuffer("some bytes", 10);
    EXPECT_THROW(c.Finish(), EWriteError);
    EXPECT_THROW(c.Write("x", 1), EZCompressionError);
}

TEST(ZStreams, DecompressorSeeksOnlyToItsStartOrForward) {
    TMemoryStream packed = StreamOf(Compressed("abcdefgh", clDefault));
    TZDecompressionStream d(packed);
    EXPECT_THROW(d.Write("x", 1), EZDecompressionError);
    EXPECT_EQ(d.Seek(2, soCurrent), 2);
    EXPECT_THROW(d.Seek(-1, soCurrent), EZDecompressionError);
    EXPECT_THROW(d.Seek(1, soBeginning), EZDecompressionError);
    EXPECT_THROW(d.Seek(0, soEnd), EZDecompressionError);
}

}  // namespace
