// Large-file streams over several parts, the read-ahead reader and the range windows,
// including one window read from two threads at once.
#include "core/bigstreams.h"
#include "platform/fs.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <thread>

namespace {

constexpr int64_t kPart = 1000;  // small parts so that tests span several of them

// Bytes whose value tells their position (a 251-byte cycle, so parts don't repeat it).
std::string Pattern(size_t n, size_t from = 0) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((from + i) % 251);
    return s;
}

int64_t HostSize(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

std::string ReadAll(TNxBigStream& s, int64_t n) {
    std::string out(n, '\0');
    out.resize(s.Read(out.data(), n));
    return out;
}

class BigFileStream : public testing::Test {
protected:
    std::string host_ = FreshHostFolder();
    std::string name_ = platform::fs::ToProgramPath(host_) + "game.dat";
};

TEST_F(BigFileStream, WritesReadsAndReopensAcrossParts) {
    EXPECT_THROW(TNxBigFileStream(name_, fmOpenRead, kPart), EFOpenError);
    {
        TNxBigFileStream s(name_, fmCreate, kPart);
        EXPECT_EQ(s.Write(Pattern(kPart + 1).data(), kPart + 1), kPart + 1);
    }
    EXPECT_EQ(HostSize(host_ + "game.dat"), kPart);
    EXPECT_EQ(HostSize(host_ + "game.001"), 1);

    // Overwrite across the first boundary and grow into two more parts.
    {
        TNxBigFileStream s(name_, fmOpenReadWrite, kPart);
        EXPECT_EQ(s.GetSize(), kPart + 1);
        s.SetPosition(990);
        EXPECT_EQ(s.Write(Pattern(2110, 990).data(), 2110), 2110);
    }
    EXPECT_EQ(HostSize(host_ + "game.002"), kPart);
    EXPECT_EQ(HostSize(host_ + "game.003"), 100);

    TNxBigFileStream s(name_, fmOpenRead | fmShareDenyWrite, kPart);
    EXPECT_EQ(s.GetSize(), 3100);
    EXPECT_EQ(ReadAll(s, 5000), Pattern(3100));
    char c;
    EXPECT_EQ(s.Read(&c, 1), 0);  // beyond the last part
    s.SetPosition(99999);
    EXPECT_EQ(s.GetPosition(), 3100);
    s.SetPosition(-7);
    EXPECT_EQ(s.GetPosition(), 0);
    s.SetPosition(985);
    EXPECT_EQ(ReadAll(s, 1030), Pattern(1030, 985));

    // Create mode deletes every old part.
    TNxBigFileStream fresh(name_, fmCreate, kPart);
    EXPECT_EQ(fresh.GetSize(), 0);
    EXPECT_EQ(HostSize(host_ + "game.dat"), -1);
    EXPECT_EQ(HostSize(host_ + "game.003"), -1);
}

TEST_F(BigFileStream, PartThatCannotBeCreatedRaises) {
    mkdir((host_ + "game.001").c_str(), 0777);  // a folder stands where part 1 would go
    TNxBigFileStream s(name_, fmCreate, kPart);
    EXPECT_THROW(s.Write(Pattern(1200).data(), 1200), EFCreateError);
}

TEST(BigFileStreamNames, PartNamesDropOnlyTheLastComponentsExtension) {
    TNxBigFileStream plain("Z:\\no\\such.dir\\archive", fmCreate);
    EXPECT_EQ(plain.GetPartFileName(0), "Z:\\no\\such.dir\\archive");
    EXPECT_EQ(plain.GetPartFileName(1), "Z:\\no\\such.dir\\archive.001");
    EXPECT_EQ(plain.GetPartFileName(1234), "Z:\\no\\such.dir\\archive.1234");
    // "表" is 95 5C in Shift-JIS: its trail byte is no folder separator.
    TNxBigFileStream kanji("Z:\\no\\such\\a.表", fmCreate);
    EXPECT_EQ(kanji.GetPartFileName(2), "Z:\\no\\such\\a.002");
}

TEST_F(BigFileStream, CopiesAcrossParts) {
    TMemoryStream source;
    source.WriteBuffer(Pattern(2300).data(), 2300);
    TNxBigFileStream s(name_, fmCreate, kPart);
    EXPECT_EQ(s.CopyFromStream(source, 0), 2300);  // 0: the whole source from its start

    s.SetPosition(950);
    TMemoryStream dest;
    EXPECT_EQ(s.CopyToStream(dest, 1100), 1100);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(dest.Memory()), 1100), Pattern(1100, 950));
    EXPECT_EQ(s.CopyToStream(dest, 9999), 250);  // only what is left

    TNxBigFileStream copy(platform::fs::ToProgramPath(host_) + "copy.dat", fmCreate, kPart);
    EXPECT_EQ(copy.CopyFrom(s, 0), 2300);
    copy.SetPosition(0);
    EXPECT_EQ(ReadAll(copy, 3000), Pattern(2300));

    // A memory kind copies only from its own kind.
    TNxBigMemoryStream memory, other;
    memory.Write("xyz", 3);
    EXPECT_EQ(memory.CopyFrom(s, 0), 0);
    EXPECT_EQ(other.CopyFrom(memory, 0), 3);
}

TEST(BuffBigStream, HandsOutFieldsAcrossBlocksAndGivesBackUnreadBytes) {
    TNxBigMemoryStream source;
    std::string data = Pattern(250000);
    source.Write(data.data(), data.size());
    source.SetPosition(50);
    {
        TNxBuffBigStream reader(source);
        char ten[10];
        EXPECT_EQ(reader.Read(ten, 10), 10);
        EXPECT_EQ(std::string(ten, 10), data.substr(50, 10));
    }
    EXPECT_EQ(source.GetPosition(), 60);

    TNxBuffBigStream reader(source);
    std::string got;
    char field[7];
    while (int64_t n = reader.Read(field, 7)) got.append(field, n);
    EXPECT_EQ(got, data.substr(60));
}

TEST(RangeStream, ReadsAndSeeksStayInsideTheWindow) {
    TMemoryStream source;
    source.WriteBuffer(Pattern(300).data(), 300);
    TRangeStream r;
    r.SetSource(source, 100, 50);
    char buffer[80];
    EXPECT_EQ(r.Read(buffer, 80), 50);
    EXPECT_EQ(std::string(buffer, 50), Pattern(50, 100));
    EXPECT_EQ(r.Read(buffer, 80), 0);
    EXPECT_EQ(r.Seek(-10, soBeginning), 0);
    EXPECT_EQ(r.Seek(10, soEnd), 50);
    EXPECT_EQ(r.Seek(-25, soCurrent), 25);
    EXPECT_EQ(source.Position(), 125);
    EXPECT_EQ(r.Write(buffer, 10), 0);

    r.SetSource(source, 120, 0);  // 0: the rest of the source
    EXPECT_EQ(r.Size(), 180);

    std::string name = platform::fs::ToProgramPath(FreshHostFolder()) + "data.pak";
    TNxBigFileStream(name, fmCreate, kPart).Write(Pattern(2600).data(), 2600);
    TFileRangeStream file(name, 900, 1200, kPart);
    std::string got(1500, '\0');
    got.resize(file.Read(got.data(), 1500));
    EXPECT_EQ(got, Pattern(1200, 900));
    EXPECT_EQ(TFileRangeStream(name, 0, 0, kPart).Size(), 2600);
}

// A memory stream that notices when two calls run inside it at once.
class OverlapDetector : public TMemoryStream {
public:
    int64_t Read(void* Buffer, int64_t Count) override { return Guarded([&] { return TMemoryStream::Read(Buffer, Count); }); }
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override {
        return Guarded([&] { return TMemoryStream::Seek(Offset, Origin); });
    }
    std::atomic<bool> overlapped{false};

private:
    template <typename F>
    int64_t Guarded(F f) {
        if (busy_.exchange(true)) overlapped = true;
        std::this_thread::yield();
        int64_t result = f();
        busy_ = false;
        return result;
    }
    std::atomic<bool> busy_{false};
};

TEST(RangeStream, TwoThreadsKeepEachReadWholeAndInsideTheWindow) {
    // Consecutive 32-bit counters; the window covers counters 100 .. 100+4095 in 16-counter blocks.
    constexpr uint32_t kFirst = 100, kBlocks = 256, kBlock = 16;
    OverlapDetector source;
    for (uint32_t i = 0; i < 5000; ++i) source.WriteBuffer(&i, 4);
    TRangeStream r;
    r.SetSource(source, kFirst * 4, kBlocks * kBlock * 4);

    std::atomic<int> bad{0};
    auto reader = [&](uint32_t parity) {
        for (int round = 0; round < 20; ++round)
            for (uint32_t block = parity; block < kBlocks; block += 2) {
                // The other thread may move the window between this seek and the read, but only
                // to a block start or the window's end: every read gives one whole block or nothing.
                r.Seek(block * kBlock * 4, soBeginning);
                uint32_t got[kBlock];
                int64_t n = r.Read(got, sizeof got);
                if (n == 0) continue;
                bool whole = n == sizeof got && got[0] >= kFirst && got[0] < kFirst + kBlocks * kBlock &&
                             (got[0] - kFirst) % kBlock == 0;
                for (uint32_t i = 1; i < kBlock; ++i) whole = whole && got[i] == got[0] + i;
                if (!whole) ++bad;
            }
    };
    std::thread a(reader, 0), b(reader, 1);
    a.join();
    b.join();
    EXPECT_EQ(bad, 0);
    EXPECT_FALSE(source.overlapped);
}

}  // namespace
