// Stored scalar fields and strings, byte for byte against Python's struct and ctypes, and
// the bulk copy between streams.
#include "core/header.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <stdexcept>

namespace {

TEST(StreamFields, MatchPythonStructAndLongDouble) {
    int checked = 0;
    for (const auto& line : Lines(PythonOutput("stream_vectors.py"))) {
        std::istringstream in(line);
        std::string kind, value, hex;
        in >> kind >> value >> hex;
        std::string expected = FromHex(hex);
        TMemoryStream m;
        if (kind == "int32") WriteStreamInt(m, static_cast<int32_t>(std::stoll(value)));
        if (kind == "word") WriteStreamWord(m, static_cast<uint16_t>(std::stoul(value)));
        if (kind == "byte") WriteStreamByte(m, static_cast<uint8_t>(std::stoul(value)));
        if (kind == "double") WriteStreamDouble(m, std::stod(value));
        if (kind == "extended") WriteStreamExtended(m, static_cast<long double>(std::stod(value)));
        if (kind == "string") WriteStreamString(m, value == "-" ? std::string() : FromHex(value));
        EXPECT_EQ(ToHex(Bytes(m)), ToHex(expected)) << line;

        m.SetPosition(0);
        if (kind == "int32") {
            EXPECT_EQ(ReadStreamInt(m), static_cast<int32_t>(std::stoll(value)));
        } else if (kind == "word") {
            EXPECT_EQ(ReadStreamWord(m), std::stoul(value));
        } else if (kind == "byte") {
            EXPECT_EQ(ReadStreamByte(m), std::stoul(value));
        } else if (kind == "double") {
            EXPECT_EQ(ReadStreamDouble(m), std::stod(value));
        } else if (kind == "extended") {
            EXPECT_EQ(ReadStreamExtended(m), static_cast<long double>(std::stod(value)));
        } else if (kind == "string") {
            EXPECT_EQ(ToHex(ReadStreamString(m)), value == "-" ? "" : ToHex(FromHex(value)));
        }
        EXPECT_EQ(m.Position(), m.Size()) << line;
        ++checked;
    }
    EXPECT_GE(checked, 25);
}

TEST(StreamFields, ShortOrAbsurdDataRaisesReadError) {
    TMemoryStream m;
    WriteStreamWord(m, 7);
    m.SetPosition(0);
    EXPECT_THROW(ReadStreamInt(m), EReadError);

    // A length beyond what is left, and a negative length, never allocate.
    TMemoryStream s;
    WriteStreamInt(s, 0x7FFFFFF0);
    s.WriteBuffer("abc", 3);
    s.SetPosition(0);
    EXPECT_THROW(ReadStreamString(s), EReadError);
    TMemoryStream n;
    WriteStreamInt(n, -5);
    n.SetPosition(0);
    EXPECT_THROW(ReadStreamString(n), EReadError);

    TMemoryStream e;
    e.WriteBuffer("123456789", 9);
    e.SetPosition(0);
    EXPECT_THROW(ReadStreamExtended(e), EReadError);
}

TEST(StreamFields, CountsAreBoundedByTheBytesLeft) {
    auto read = [](int32_t Count, int64_t Left, int64_t MinElementSize) {
        TMemoryStream m;
        WriteStreamInt(m, Count);
        m.WriteBuffer(std::string(size_t(Left), 'x').data(), Left);
        m.SetPosition(0);
        return ReadStreamCount(m, MinElementSize);
    };
    EXPECT_EQ(read(3, 12, 4), 3);
    EXPECT_THROW(read(4, 15, 4), EReadError);
    EXPECT_THROW(read(-1, 15, 4), EReadError);
    // Elements of no bytes still take one each.
    EXPECT_EQ(read(5, 5, 0), 5);
    EXPECT_THROW(read(6, 5, 0), EReadError);
    EXPECT_EQ(read(0, 0, 8), 0);
}

// A stream that hands out its bytes in reads it counts, like a file.
class CountingStream : public TStream {
public:
    explicit CountingStream(std::string data) : data_(std::move(data)) {}
    int64_t Read(void* Buffer, int64_t Count) override {
        ++reads;
        int64_t n = std::max<int64_t>(0, std::min<int64_t>(Count, data_.size() - pos_));
        memcpy(Buffer, data_.data() + pos_, n);
        pos_ += n;
        return n;
    }
    int64_t Write(const void*, int64_t) override { return 0; }
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override {
        pos_ = Origin == soBeginning ? Offset : Origin == soCurrent ? pos_ + Offset : data_.size() + Offset;
        return pos_;
    }
    int reads = 0;

private:
    std::string data_;
    int64_t pos_ = 0;
};

TEST(CopyStreamData, CountZeroCopiesWholeSourceFromItsStart) {
    CountingStream source("0123456789");
    source.SetPosition(6);
    TMemoryStream dest;
    EXPECT_EQ(CopyStreamData(dest, source, 0), 10);
    EXPECT_EQ(Bytes(dest), "0123456789");
}

TEST(CopyStreamData, ShortSourceReportsWhatWasCopied) {
    CountingStream source("abcde");
    TMemoryStream dest;
    EXPECT_EQ(CopyStreamData(dest, source, 100), 5);
    EXPECT_EQ(Bytes(dest), "abcde");

    TMemoryStream memory;
    memory.WriteBuffer("xyz", 3);
    memory.SetPosition(1);
    TMemoryStream dest2;
    EXPECT_EQ(CopyStreamData(dest2, memory, 50), 2);
    EXPECT_EQ(Bytes(dest2), "yz");
    EXPECT_EQ(memory.Position(), 3);
}

TEST(CopyStreamData, LargeCopyGoesThroughTenMiBChunks) {
    CountingStream source(std::string(25 * 1024 * 1024, 'q'));
    TMemoryStream dest;
    EXPECT_EQ(CopyStreamData(dest, source, 25 * 1024 * 1024), 25 * 1024 * 1024);
    EXPECT_EQ(source.reads, 3);
    EXPECT_EQ(dest.Size(), 25 * 1024 * 1024);
}

TEST(MemoryStream, PositionsOutsideTheDataAreSafe) {
    TMemoryStream m;
    m.Seek(4, soBeginning);
    m.WriteBuffer("z", 1);
    EXPECT_EQ(m.Size(), 5);
    char b[8];
    m.SetPosition(10);
    EXPECT_EQ(m.Read(b, 8), 0);
    m.SetSize(2);
    EXPECT_EQ(m.Position(), 2);
    // A position before the start reads and writes nothing.
    m.Seek(-5, soBeginning);
    EXPECT_EQ(m.Read(b, 8), 0);
    EXPECT_EQ(m.Write("q", 1), 0);
}

// Writes, writes made in the stream's own room, seeks past the end and resizes across many
// growths hold the same bytes as a string that zero-fills what a write or a resize first
// reaches: bytes cut off by a smaller size come back when it grows again, as they always did. A
// write in the room keeps only the bytes its filler says it put there, none when the filler
// fails, and whatever else the filler left in the room never shows.
TEST(MemoryStream, GrowthKeepsEveryByte) {
    std::mt19937 random(11);
    std::string model, touched;  // the content, and every byte ever reached
    TMemoryStream m;
    int64_t at = 0;
    auto reach = [&](size_t End) {
        if (touched.size() < End) touched.resize(End, '\0');
    };
    for (int step = 0; step < 3000; ++step) {
        const uint32_t pick = random() % 18;
        if (pick >= 15) {  // a write in the room up to 3 KB past every byte held; the filler puts some or fails
            const int64_t count = int64_t(std::max(touched.size(), size_t(at)) - size_t(at) + random() % 3000 + 1);
            const int64_t put = int64_t(random() % (count + 2)) - 1;
            std::string data(size_t(std::max<int64_t>(put, 0)), '\0');
            for (char& c : data) c = char(random());
            const auto fill = [&](uint8_t* Room, int64_t Count) -> int64_t {
                EXPECT_EQ(Count, count);
                std::copy(data.begin(), data.end(), Room);
                // Scribbled past the bytes put, where no byte is held.
                for (size_t i = std::max(touched.size(), size_t(at) + data.size()); i < size_t(at + Count); ++i)
                    Room[i - size_t(at)] = 0xEE;
                if (put < 0 && random() % 2) throw std::runtime_error("filler failed");
                return put;
            };
            int64_t kept = 0;
            try {
                kept = m.WriteFrom(count, fill);
            } catch (const std::runtime_error&) {
                data.clear();
            }
            ASSERT_EQ(kept, int64_t(data.size()));
            if (!data.empty()) {
                reach(size_t(at));
                touched.replace(size_t(at), std::min(data.size(), touched.size() - size_t(at)), data);
                at += int64_t(data.size());
                model = touched.substr(0, std::max(model.size(), size_t(at)));
            }
        } else if (pick < 10) {  // a field of up to 20 bytes or a write of up to 3 KB (growths fall inside writes)
            std::string data(random() % 2 ? random() % 20 + 1 : random() % 3000 + 1, '\0');
            for (char& c : data) c = char(random());
            m.WriteBuffer(data.data(), int64_t(data.size()));
            reach(size_t(at));
            touched.replace(size_t(at), std::min(data.size(), touched.size() - size_t(at)), data);
            at += int64_t(data.size());
            model = touched.substr(0, std::max(model.size(), size_t(at)));
        } else if (pick < 13) {  // a seek, up to 500 bytes past the end
            at = int64_t(random() % (model.size() + 500));
            m.SetPosition(at);
        } else {  // a smaller or larger size
            const size_t size = random() % (model.size() + 5000);
            m.SetSize(int64_t(size));
            reach(size);
            model = touched.substr(0, size);
            at = std::min(at, int64_t(size));
        }
        ASSERT_EQ(m.Position(), at);
        ASSERT_TRUE(Bytes(m) == model) << "step " << step;
    }
    ASSERT_EQ(m.Size(), int64_t(model.size()));
    EXPECT_TRUE(std::string(reinterpret_cast<const char*>(m.Memory()), model.size()) == model);
    std::string back(model.size(), '\0');
    m.SetPosition(0);
    m.ReadBuffer(back.data(), int64_t(back.size()));
    EXPECT_TRUE(back == model);
    // Read back again field by field, every length up to 20 bytes.
    m.SetPosition(0);
    back.assign(model.size(), '\0');
    for (size_t from = 0; from < model.size();) {
        const size_t length = std::min(model.size() - from, 1 + from % 20);
        m.ReadBuffer(back.data() + from, int64_t(length));
        from += length;
    }
    EXPECT_TRUE(back == model);
    TMemoryStream copy;
    copy.SetSize(7);
    copy.LoadFromStream(m);
    EXPECT_EQ(Bytes(copy), model);
}

}  // namespace
