#include "core/sysutils.h"
#include "media/wave.h"
#include "platform/fs.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace {

std::string DataOf(const TWave& w) { return std::string(reinterpret_cast<const char*>(w.Data()), size_t(w.Size())); }

TWave Loaded(const std::string& bytes) {
    TMemoryStream stream = StreamOf(bytes);
    TWave wave;
    wave.LoadFromStream(stream);
    return wave;
}

std::string Le32(uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }

// A RIFF WAVE file of the given chunks (no pad bytes added).
std::string Riff(const std::string& chunks) { return "RIFF" + Le32(uint32_t(chunks.size() + 4)) + "WAVE" + chunks; }
std::string Chunk(const std::string& id, const std::string& body) { return id + Le32(uint32_t(body.size())) + body; }
std::string PcmFmt() { return Chunk("fmt ", FromHex("0100 0100 11 2b0000 112b0000 0100 0800")); }

}  // namespace

// Files sox wrote (8 and 16 bits, mono and stereo, an odd LIST chunk before "data", "data"
// before "fmt ") read as the PCM sox itself decodes from them.
TEST(WaveRead, SoxFilesReadBitExact) {
    struct Case {
        const char* name;
        uint16_t bits, channels;
    };
    for (const Case c : {Case{"u8_mono", 8, 1}, {"u8_stereo", 8, 2}, {"s16_mono", 16, 1}, {"s16_stereo", 16, 2},
                         {"list_before_data", 16, 2}, {"data_before_fmt", 8, 1}}) {
        const std::string base = std::string(VELA_TEST_DATA) + "/wave/" + c.name;
        const TWave wave = Loaded(FileText(base + ".wav"));
        EXPECT_EQ(DataOf(wave), FileText(base + ".raw")) << c.name;
        const TWaveFormatEx format = wave.FormatEx();
        EXPECT_EQ(format.wBitsPerSample, c.bits) << c.name;
        EXPECT_EQ(format.nChannels, c.channels) << c.name;
        EXPECT_EQ(format.nSamplesPerSec, 11025u) << c.name;
    }
}

TEST(WaveRead, BrokenFilesAreRefused) {
    const std::string bad = "不正な Wave です";
    const std::string data = Chunk("data", "abcd");
    for (const std::string& file : {
             std::string("RIFF\x04\0\0\0WAVX", 12),       // not a WAVE
             Riff(PcmFmt()).substr(0, 11),                // short header
             Riff(PcmFmt() + "data" + Le32(5) + "abcd"),  // data past the end
             Riff(Chunk("fmt ", "") + "LIST" + Le32(0x7FFFFFF0) + data),  // a chunk past the end
             Riff(data),                                  // no format
             Riff(PcmFmt()),                              // no data
             Riff(Chunk("fmt ", FromHex("0100 0100 11 2b0000")) + data),  // a format without its bits
         })
        EXPECT_EQ(ErrorOf([&] { Loaded(file); }), bad) << ToHex(file);
    // The zero id that ends the chunk list, and a last odd chunk without its pad byte.
    EXPECT_EQ(DataOf(Loaded(Riff(PcmFmt() + Chunk("data", "abc") + std::string(8, '\0') + "junk"))), "abc");
    EXPECT_EQ(DataOf(Loaded(Riff(PcmFmt() + Chunk("data", "abc")))), "abc");
}

TEST(WaveStream, OpenRulesAndClamps) {
    TMemoryStream file;
    TWaveStream writer(file);
    EXPECT_EQ(ErrorOf([&] { writer.Open(true); }), "Format が不正です");
    EXPECT_EQ(ErrorOf([&] { writer.Write("x", 1); }), "ストリームは開かれていません");
    writer.SetWaveFormat(TWaveFormatEx{1, 1, 11025, 11025, 1, 8, 0});
    writer.Open(true);
    EXPECT_EQ(ErrorOf([&] { writer.Open(true); }), "ストリームはすでに開かれています");
    writer.WriteBuffer("0123456789", 10);
    EXPECT_EQ(writer.Seek(20, soBeginning), 10);
    EXPECT_EQ(writer.Seek(-3, soEnd), 7);
    writer.WriteBuffer("ab", 2);
    writer.Close();
    file.SetPosition(0);
    TWaveStream reader(file);
    reader.Open(false);
    char buffer[16] = {};
    EXPECT_EQ(reader.Seek(-100, soCurrent), 0);
    EXPECT_EQ(reader.Read(buffer, 16), 10);
    EXPECT_EQ(std::string(buffer, 10), "0123456ab9");
    EXPECT_EQ(reader.Read(buffer, 16), 0);
}

TEST(WaveWrite, LayoutAndCapacity) {
    TWaveFormatEx f;
    MakePCMWaveFormat(f, 44100, 16, 2);
    EXPECT_EQ(f.nBlockAlign, 4);
    EXPECT_EQ(f.nAvgBytesPerSec, 176400u);
    TWave wave;
    wave.SetPCMFormat(44100, 16, 2);
    wave.SetSize(1000);
    TMemoryStream file;
    wave.SaveToStream(file);
    const std::string bytes = Bytes(file);
    ASSERT_EQ(bytes.size(), 12u + 8 + 18 + 8 + 1000);
    EXPECT_EQ(bytes.substr(4, 4), Le32(uint32_t(bytes.size() - 8)));
    wave.SetSize(8097);
    EXPECT_EQ(wave.Capacity(), 16192);
}

// Files we write, odd data with its pad byte included, read the same in Python's wave module
// and in sox.
TEST(WaveWrite, OthersReadOurFiles) {
    struct Case {
        uint32_t rate;
        uint16_t bits, channels;
        int64_t bytes;
    };
    for (const Case c : {Case{11025, 8, 1, 37}, Case{44100, 16, 2, 400}}) {
        TWave wave;
        wave.SetPCMFormat(c.rate, c.bits, c.channels);
        wave.SetSize(c.bytes);
        for (int64_t i = 0; i < c.bytes; ++i) wave.Data()[i] = uint8_t(i * 37 + 11);
        const std::string path = FreshHostFolder() + "ours.wav";
        TFileStream out(platform::fs::ToProgramPath(path), fmCreate);
        wave.SaveToStream(out);
        out.Flush();
        const std::vector<std::string> lines = Lines(PythonOutput("wave_info.py", {path}));
        ASSERT_EQ(lines.size(), 4u);
        const int64_t frames = c.bytes / (c.bits / 8 * c.channels);
        EXPECT_EQ(lines[0], Format("%d %d %u %lld", c.channels, c.bits / 8, c.rate, (long long)frames));
        EXPECT_EQ(lines[1], ToHex(DataOf(wave)));
        EXPECT_EQ(lines[2], Format("%d %u %d %lld", c.channels, c.rate, c.bits, (long long)frames));
        EXPECT_EQ(lines[3], ToHex(DataOf(wave)));
    }
}
