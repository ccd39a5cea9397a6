// The JPEG codec: files made by cjpeg decode to djpeg's pixels, damaged files raise instead of
// ending the program, and what the codec writes djpeg reads as we do, close to the source.
#include "graphics/jpegs.h"

#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

// W x H of smooth gradients with hard edges: colour that survives compression fairly well.
TDIB JpegSource(int32_t W, int32_t H) {
    TDIB dib;
    dib.SetSize(W, H, 24);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const uint32_t r = uint32_t(x * 255 / W), g = uint32_t(y * 255 / H), b = (x / 8 + y / 8) % 2 ? 200u : 40u;
            dib.SetPixel(x, y, b | g << 8 | r << 16);
        }
    return dib;
}

std::string ReadFile(const std::string& Name) {
    std::ifstream in(Name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
void WriteJpegFile(const std::string& Name, const std::string& Bytes) {
    std::ofstream(Name, std::ios::binary) << Bytes;
}

// The RGB bytes of a bitmap, rows from the top.
std::string RGBOf(const TDIB& Dib) {
    std::string out;
    for (int y = 0; y < Dib.Height(); ++y)
        for (int x = 0; x < Dib.Width(); ++x) {
            const TRGBQuad c = Dib.ValueColor(Dib.GetPixel(x, y));
            out += {char(QuadRed(c)), char(QuadGreen(c)), char(QuadBlue(c))};
        }
    return out;
}

// The RGB bytes of a binary PNM that djpeg wrote (grey samples repeated into three channels).
std::string RGBOfPnm(const std::string& Pnm, int32_t& W, int32_t& H) {
    std::istringstream in(Pnm);
    std::string magic;
    int maxValue;
    in >> magic >> W >> H >> maxValue;
    in.get();
    std::string samples(std::istreambuf_iterator<char>(in), {});
    if (magic == "P6") return samples;
    std::string out;
    for (char v : samples) out += {v, v, v};
    return out;
}

std::string PpmOf(const TDIB& Dib) {
    return "P6\n" + std::to_string(Dib.Width()) + " " + std::to_string(Dib.Height()) + "\n255\n" + RGBOf(Dib);
}

// djpeg's decode of the file Jpeg, as RGB bytes with its size.
std::string Djpeg(const std::string& Jpeg, int32_t& W, int32_t& H) {
    const std::string pnm = Jpeg + ".pnm";
    EXPECT_EQ(RunProgram("djpeg", {"-pnm", "-outfile", pnm, Jpeg}).status, 0);
    return RGBOfPnm(ReadFile(pnm), W, H);
}

TJPEGImage Loaded(const std::string& Bytes) {
    TJPEGImage jpeg;
    TMemoryStream stream = StreamOf(Bytes);
    jpeg.LoadFromStream(stream);
    return jpeg;
}

class JPEGImage : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = FreshHostFolder();
        WriteJpegFile(folder_ + "source.ppm", PpmOf(JpegSource(37, 23)));
    }
    // cjpeg's file of the 37 x 23 picture made with Options.
    std::string Cjpeg(const std::vector<std::string>& Options, const std::string& Name) {
        std::vector<std::string> args = Options;
        args.insert(args.end(), {"-outfile", folder_ + Name, folder_ + "source.ppm"});
        EXPECT_EQ(RunProgram("cjpeg", args).status, 0);
        return folder_ + Name;
    }
    std::string folder_;
};

TEST_F(JPEGImage, FilesOfCjpegDecodeToThePixelsOfDjpeg) {
    const std::vector<std::vector<std::string>> kinds = {
        {"-quality", "90"},     {"-grayscale"},         {"-progressive"},       {"-grayscale", "-progressive"},
        {"-restart", "1"},      {"-sample", "1x1"},     {"-optimize", "-restart", "1B"},
    };
    for (size_t i = 0; i < kinds.size(); ++i) {
        SCOPED_TRACE(::testing::PrintToString(kinds[i]));
        const std::string file = Cjpeg(kinds[i], "kind" + std::to_string(i) + ".jpg");
        int32_t w = 0, h = 0;
        const std::string expected = Djpeg(file, w, h);
        const TJPEGImage jpeg = Loaded(ReadFile(file));
        EXPECT_EQ(jpeg.Bitmap.BitCount(), 24);
        EXPECT_EQ(jpeg.Bitmap.Width(), w);
        EXPECT_EQ(jpeg.Bitmap.Height(), h);
        EXPECT_TRUE(RGBOf(jpeg.Bitmap) == expected);
    }
}

TEST_F(JPEGImage, DamagedFilesRaiseAndKeepThePreviousPicture) {
    const std::string good = ReadFile(Cjpeg({}, "good.jpg")), progressive = ReadFile(Cjpeg({"-progressive"}, "p.jpg"));
    std::string notJpeg = good, badTable = good, zeroWidth = good, huge = good;
    notJpeg[1] = 'X';
    const size_t huffman = badTable.find("\xFF\xC4"), frame = zeroWidth.find("\xFF\xC0");
    ASSERT_NE(huffman, std::string::npos);
    ASSERT_NE(frame, std::string::npos);
    badTable[huffman + 2] = 0x7F;                     // a table length beyond the file
    zeroWidth[frame + 7] = zeroWidth[frame + 8] = 0;  // width 0
    huge.replace(frame + 5, 4, 4, char(0xFF));        // 65535 x 65535
    // The last scan of the progressive file repeated (a hostile file may repeat scans without end).
    const size_t lastScan = progressive.rfind("\xFF\xDA"), end = progressive.size() - 2;
    std::string manyScans = progressive.substr(0, end);
    for (int i = 0; i < 1000; ++i) manyScans += progressive.substr(lastScan, end - lastScan);
    manyScans += progressive.substr(end);
    // A grey 4000 x 4000 picture whose entropy data ends after two bytes: a few hundred bytes
    // that libjpeg would pad into a picture of 48 MB.
    std::string scanty = ReadFile(Cjpeg({"-grayscale"}, "grey.jpg"));
    const size_t greyFrame = scanty.find("\xFF\xC0"), scan = scanty.find("\xFF\xDA");
    ASSERT_NE(scan, std::string::npos);
    scanty.replace(greyFrame + 5, 4, "\x0F\xA0\x0F\xA0");
    scanty = scanty.substr(0, scan + 2 + (uint8_t(scanty[scan + 2]) << 8 | uint8_t(scanty[scan + 3])) + 2) + "\xFF\xD9";
    const std::vector<std::pair<std::string, std::string>> damaged = {
        {"empty", ""},
        {"header only", good.substr(0, 100)},
        {"half the scan", good.substr(0, good.size() / 2)},
        {"half the scans of a progressive file", progressive.substr(0, progressive.size() / 2)},
        {"not a JPEG file", notJpeg},
        {"a table past the end", badTable},
        {"width 0", zeroWidth},
        {"beyond the size limit", huge},
        {"a thousand scans more", manyScans},
        {"entropy data that ends at once in a large picture", scanty},
    };
    for (const auto& [name, bytes] : damaged) {
        SCOPED_TRACE(name);
        TJPEGImage jpeg;
        jpeg.Bitmap.SetSize(2, 3, 8);
        TMemoryStream stream = StreamOf(bytes);
        EXPECT_THROW(jpeg.LoadFromStream(stream), EInvalidGraphic);
        EXPECT_EQ(jpeg.Bitmap.Width(), 2);
        EXPECT_EQ(jpeg.Bitmap.BitCount(), 8);
    }
    // Damaged entropy data is patched over with a warning, as djpeg does: not an error.
    std::string garbledScan = good;
    for (size_t i = garbledScan.size() - 40; i < garbledScan.size() - 2; ++i) garbledScan[i] = char(0x5A ^ i);
    EXPECT_EQ(Loaded(garbledScan).Bitmap.Width(), 37);
}

TEST_F(JPEGImage, WrittenFilesReadBackCloseToTheSourceAndAsDjpegReadsThem) {
    const TDIB source = JpegSource(37, 23);
    TJPEGImage jpeg;
    jpeg.Bitmap = source;
    TMemoryStream out;
    jpeg.SaveToStream(out, 95);
    const std::string file = folder_ + "ours.jpg";
    WriteJpegFile(file, Bytes(out));
    const TJPEGImage back = Loaded(Bytes(out));
    int32_t w = 0, h = 0;
    EXPECT_TRUE(RGBOf(back.Bitmap) == Djpeg(file, w, h));
    const std::string a = RGBOf(source), b = RGBOf(back.Bitmap);
    ASSERT_EQ(a.size(), b.size());
    int64_t total = 0;
    for (size_t i = 0; i < a.size(); ++i) total += std::abs(int(uint8_t(a[i])) - int(uint8_t(b[i])));
    EXPECT_LT(double(total) / double(a.size()), 8.0);
}

TEST_F(JPEGImage, QualityIsClampedAndOtherDepthsAreWrittenAsColour) {
    const auto written = [](const TDIB& Dib, int32_t Quality) {
        TJPEGImage jpeg;
        jpeg.Bitmap = Dib;
        TMemoryStream out;
        jpeg.SaveToStream(out, Quality);
        return Bytes(out);
    };
    const TDIB source = JpegSource(37, 23);
    EXPECT_EQ(written(source, -5), written(source, 1));
    EXPECT_EQ(written(source, 1000), written(source, 100));
    EXPECT_NE(written(source, 50), written(source, 100));
    TDIB indexed = source;
    indexed.SetBitCount(8);
    TDIB wide = indexed;
    wide.SetBitCount(24);
    EXPECT_EQ(written(indexed, 80), written(wide, 80));
}

}  // namespace
