#include "graphics/gstreams.h"

#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

// A stream over bytes that gives at most 1000 bytes per read and records the sizes of the writes
// it takes; Limit bytes at most are written.
class TTrickleStream : public TStream {
public:
    explicit TTrickleStream(std::string Data = {}) : data_(std::move(Data)) {}
    int64_t Read(void* Buffer, int64_t Count) override {
        const int64_t n = std::min<int64_t>({Count, 1000, int64_t(data_.size()) - pos_});
        if (n <= 0) return 0;
        std::copy_n(data_.data() + pos_, n, static_cast<char*>(Buffer));
        pos_ += n;
        return n;
    }
    int64_t Write(const void* Buffer, int64_t Count) override {
        const int64_t n = std::min<int64_t>(Count, Limit - int64_t(data_.size()));
        data_.append(static_cast<const char*>(Buffer), size_t(n));
        Writes.push_back(Count);
        return n;
    }
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override {
        pos_ = Origin == soBeginning ? Offset : Origin == soCurrent ? pos_ + Offset : int64_t(data_.size()) + Offset;
        return pos_;
    }
    const std::string& Data() const { return data_; }
    std::vector<int64_t> Writes;
    int64_t Limit = INT64_MAX;

private:
    std::string data_;
    int64_t pos_ = 0;
};

// A reader that runs Steps as its decode.
class TScriptedReader : public TCustomGraphicReadStream {
public:
    std::function<void(TScriptedReader&)> Steps;
    using TCustomBufReadStream::ProgressStage, TCustomBufReadStream::ReportPosition;
    using TCustomGraphicStream::ProgressBegin, TCustomGraphicStream::ReportCount, TCustomGraphicStream::ProgressEnd;

protected:
    void Decode() override { Steps(*this); }
};

class TScriptedWriter : public TCustomBufWriteStream {
public:
    std::function<void(TScriptedWriter&)> Steps;

protected:
    void Encode() override { Steps(*this); }
};

std::string Noise(size_t Size) {
    std::string s(Size, '\0');
    uint32_t x = 12345;
    for (char& c : s) c = char((x = x * 1103515245 + 12345) >> 16);
    return s;
}

// What a fixed run of reads gives, with the flags and the source's position after it.
std::vector<int64_t> ReadRun(TStream& Source, int64_t Size) {
    std::vector<int64_t> seen;
    TScriptedReader reader;
    reader.Steps = [&](TScriptedReader& R) {
        seen.push_back(R.ReadByte());
        seen.push_back(R.ReadWord());
        seen.push_back(R.ReadDWord());
        std::string block(70000, '\0');  // past a whole buffer: straight from the source
        seen.push_back(R.ReadBuffer(block.data(), int64_t(block.size())));
        seen.push_back(uint8_t(block[69999]));
        R.Skip(100000);  // beyond what is buffered
        std::string tail(10, '\0');
        seen.push_back(R.ReadBuffer(tail.data(), 10));
        seen.push_back(uint8_t(tail[9]));
        seen.push_back(R.Pos());
    };
    reader.Load(nullptr, Source, Size);
    seen.push_back(reader.EndReached());
    seen.push_back(Source.Position());
    return seen;
}

TEST(GraphicStreams, ReadTheSameFromMemoryAndThroughTheBuffer) {
    const std::string data = Noise(200000);
    TMemoryStream memory = StreamOf(data);
    TTrickleStream trickle(data);
    const std::vector<int64_t> expected = {uint8_t(data[0]),
                                           uint8_t(data[1]) << 8 | uint8_t(data[2]),
                                           int64_t(uint32_t(uint8_t(data[3])) << 24 | uint8_t(data[4]) << 16 |
                                                   uint8_t(data[5]) << 8 | uint8_t(data[6])),
                                           70000,
                                           uint8_t(data[7 + 69999]),
                                           10,
                                           uint8_t(data[170016]),
                                           170017,
                                           0,
                                           170017};
    EXPECT_EQ(ReadRun(memory, 0), expected);
    EXPECT_EQ(ReadRun(trickle, 0), expected);
    // A stated size ends the reads there: the 70,000 bytes are refused whole, and so is all after.
    TMemoryStream small = StreamOf(data);
    EXPECT_EQ(ReadRun(small, 50000), (std::vector<int64_t>{uint8_t(data[0]), uint8_t(data[1]) << 8 | uint8_t(data[2]),
                                                           expected[2], 0, 0, 0, 0, 7, 1, 7}));
}

TEST(GraphicStreams, FlagsStickAndAMacBinaryHeaderIsSkipped) {
    TMemoryStream words = StreamOf(FromHex("00 00 01 02 FF"));
    TScriptedReader reader;
    reader.MacBinaryCheck = false;
    std::vector<int64_t> seen;
    reader.Steps = [&](TScriptedReader& R) {
        seen.push_back(R.ReadDWord());
        seen.push_back(R.ReadDWord());  // one byte left: the end
        seen.push_back(R.ReadByte());   // and it stays so
    };
    reader.Load(nullptr, words, 0);
    EXPECT_EQ(seen, (std::vector<int64_t>{258, 0, 0}));
    EXPECT_TRUE(reader.EndReached());
    EXPECT_EQ(words.Position(), 4);

    reader.Steps = [](TScriptedReader& R) { R.Skip(0); };
    words.SetPosition(0);
    reader.Load(nullptr, words, 0);
    EXPECT_TRUE(reader.Stopped());
    EXPECT_FALSE(reader.EndReached());

    std::string mac = Noise(300);
    mac[0] = mac[74] = 0;
    for (auto [check, size, first] : {std::tuple{true, 300, 128}, {false, 300, 0}, {true, 128, 0}}) {
        TMemoryStream stream = StreamOf(mac.substr(0, size_t(size)));
        reader.MacBinaryCheck = check;
        int64_t byte = -1;
        reader.Steps = [&](TScriptedReader& R) { byte = R.ReadByte(); };
        reader.Load(nullptr, stream, 0);
        EXPECT_EQ(byte, uint8_t(mac[size_t(first)])) << check << " " << size;
        EXPECT_EQ(reader.MacBinarySkipped(), first == 128);
    }
}

TEST(GraphicStreams, WritesBufferSmallBlocksAndPassLargeOnesStraight) {
    TDIB bitmap;
    TTrickleStream target;
    TScriptedWriter writer;
    writer.Steps = [](TScriptedWriter& W) {
        W.WriteDWord(0x01020304);
        W.WriteBuffer(std::string(65532, 'a').data(), 65532);  // would fill the buffer: the DWord goes first
        W.WriteBuffer(std::string(70000, 'b').data(), 70000);  // flushes, then goes straight
        W.WriteBuffer("c", 1);
    };
    writer.Open(bitmap, target);
    EXPECT_EQ(target.Writes, (std::vector<int64_t>{4, 65532, 70000, 1}));
    EXPECT_EQ(target.Data().substr(0, 5), FromHex("01 02 03 04 61"));
    EXPECT_EQ(writer.Written(), 4 + 65532 + 70000 + 1);
    EXPECT_FALSE(writer.Stopped());

    // A target that takes less stops the writer, and nothing more goes out.
    TTrickleStream full;
    full.Limit = 70002;
    writer.Open(bitmap, full);
    EXPECT_TRUE(writer.Stopped());
    EXPECT_EQ(full.Writes, (std::vector<int64_t>{4, 65532, 70000}));
}

TEST(GraphicStreams, ProgressGoesByStagesToTheBitmap) {
    TDIB bitmap;
    std::vector<std::pair<TProgressStage, int>> reports;
    bitmap.OnProgress = [&](TDIB&, TProgressStage Stage, uint8_t Percent, bool, const TRect&, const std::string&) {
        reports.emplace_back(Stage, Percent);
    };
    TMemoryStream source = StreamOf(Noise(1000));
    TScriptedReader reader;
    reader.MacBinaryCheck = false;
    reader.Steps = [](TScriptedReader& R) {
        R.ProgressBegin();
        R.ProgressStage(TProgressKind::Position, 0, 30);  // 30 of 100, by position
        R.Skip(500);
        R.ReportPosition();
        R.ReportPosition();  // no growth, no report
        R.ProgressStage(TProgressKind::Counter, 100, 98);  // 68 of the 70 left, by rows
        R.ReportCount(50);
        R.ReportCount(1000);  // a count past the total stops at the stage's end
        R.ProgressEnd();
    };
    reader.Load(&bitmap, source, 0);
    using enum TProgressStage;
    EXPECT_EQ(reports, (std::vector<std::pair<TProgressStage, int>>{
                           {psStarting, 0}, {psRunning, 15}, {psRunning, 64}, {psRunning, 98}, {psEnding, 100}}));
}

TEST(GraphicStreams, DepthsMapToBitmapFormats) {
    TDIB bitmap;
    for (auto [depth, bits, back] : {std::tuple{1, 1, 1}, {4, 4, 4}, {8, 8, 8}, {15, 16, 15}, {16, 16, 16},
                                     {32, 32, 32}, {24, 24, 24}, {2, 24, 24}}) {
        SetBitmapDepth(bitmap, 3, 2, depth);
        EXPECT_EQ(bitmap.BitCount(), bits) << depth;
        EXPECT_EQ(BitmapDepth(bitmap), back) << depth;
    }
    EXPECT_THROW(SetBitmapDepth(bitmap, 0, 2, 8), EInvalidGraphic);
}

}  // namespace
