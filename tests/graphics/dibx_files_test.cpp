// Image files of the drawing surfaces: BMP, PNG and Mira pictures land at the surface's own depth
// on memory and display surfaces alike; what a picture is depends on its first bytes; saving
// writes a 24-bit BMP only for ".bmp" names.
#include "graphics/dibx.h"
#include "graphics/dxdibx.h"
#include "graphics/miras.h"
#include "graphics/pngpics.h"
#include "platform/display.h"
#include "platform/fs.h"
#include "tests/common/fixture.h"
#include "tests/graphics/paint.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

namespace {

// A 24-bit W x H picture of noise colours.
TDIB Picture(int32_t W, int32_t H) {
    TDIB dib;
    dib.SetSize(W, H, 24);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) dib.SetPixel(x, y, Mix(x, y, 3) & 0xFFFFFF);
    return dib;
}

std::string BmpOf(const TDIB& Dib) {
    TMemoryStream out;
    Dib.SaveToStream(out);
    return Bytes(out);
}

std::string PngOf(const TDIB& Dib) {
    TPngPicture png;
    png.Assign(Dib);
    TMemoryStream out;
    png.SaveToStream(out);
    return Bytes(out);
}

void WriteFile(const std::string& Name, const std::string& Bytes) {
    std::ofstream(Name, std::ios::binary) << Bytes;
}

// The $00BBGGRR colour of pixel (X, Y) of a 24-bit bitmap.
int32_t ColorAt(const TDIB& Dib, int32_t X, int32_t Y) {
    const TRGBQuad q = Dib.GetPixel(X, Y);
    return int32_t(QuadRed(q) | QuadGreen(q) << 8 | QuadBlue(q) << 16);
}

// Surface holds Picture's colours at its own depth.
void ExpectPicture(const TCustomDIBX& Surface, const TDIB& Picture) {
    ASSERT_EQ(Surface.GetWidth(), Picture.Width());
    ASSERT_EQ(Surface.GetHeight(), Picture.Height());
    for (int y = 0; y < Picture.Height(); ++y)
        for (int x = 0; x < Picture.Width(); ++x)
            ASSERT_EQ(Surface.GetPixel(x, y), uint32_t(Surface.ColorToPixel(ColorAt(Picture, x, y))))
                << x << "," << y;
}

// Memory surfaces at 15, 16, 24 and 32 bits and display surfaces at 16 and 32, each 3 x 2 at
// first, with the depth it must keep.
class DIBXFiles : public ::testing::Test {
protected:
    struct TCase {
        std::unique_ptr<TCustomDIBX> Surface;
        int Bits;
    };
    std::vector<TCase> Surfaces() {
        std::vector<TCase> out;
        for (int bits : {15, 16, 24, 32}) out.push_back({std::make_unique<TDIBX>(), bits});
        for (int bits : {16, 32}) out.push_back({std::make_unique<TDxDIBX>(&display_, bits), bits});
        for (TCase& c : out) c.Surface->SetSize(3, 2, c.Bits);
        return out;
    }
    void SetUp() override {
        host_ = FreshHostFolder();
        folder_ = platform::fs::ToProgramPath(host_);
    }

    platform::HeadlessDisplay display_;
    std::string host_, folder_;  // the same folder as a host path and as a program path
};

TEST_F(DIBXFiles, BitmapFilesLoadByTheirExtensionInAnyCase) {
    const TDIB picture = Picture(7, 5);
    WriteFile(host_ + "upper.BMP", BmpOf(picture));
    WriteFile(host_ + "other.dib", BmpOf(picture));
    for (TCase& c : Surfaces()) {
        SCOPED_TRACE(c.Bits);
        TCustomDIBX& s = *c.Surface;
        s.LoadFromBitmapFile(folder_ + "other.dib");
        s.LoadFromBitmapFile(folder_ + "missing.bmp");
        EXPECT_EQ(s.GetWidth(), 3);
        s.LoadFromBitmapFile(folder_ + "upper.BMP");
        EXPECT_EQ(s.GetBitCount(), c.Bits);
        ExpectPicture(s, picture);
    }
}

TEST_F(DIBXFiles, StreamsAreReadByTheirFirstBytesAtTheSurfacesDepth) {
    const TDIB picture = Picture(6, 4);
    for (const std::string& bytes : {BmpOf(picture), PngOf(picture)})
        for (TCase& c : Surfaces()) {
            SCOPED_TRACE(std::to_string(c.Bits) + " bits from " + bytes.substr(0, 2));
            TMemoryStream stream = StreamOf(bytes);
            stream.SetPosition(5);  // the kinds are told from the beginning of the stream
            c.Surface->LoadFromStream(&stream, 0);
            EXPECT_EQ(c.Surface->GetBitCount(), c.Bits);
            ExpectPicture(*c.Surface, picture);
        }
}

TEST_F(DIBXFiles, MiraStreamsGiveTheirFirstFrameReadWithTheCodeGiven) {
    const TDIB picture = Picture(6, 4);
    TMiraFrameList list(4242);  // rows stored in shuffled order
    for (int32_t i = 0; i < 2; ++i) {
        TMiraFrame& frame = *list.AddFrame();
        frame.SetupImage(6 - i, 4, 24, nullptr, 0);
        for (int32_t y = 0; y < 4; ++y)
            for (int32_t x = 0; x < 6 - i; ++x) frame.Image.SetPixel(x, y, picture.GetPixel(x, y));
    }
    TMemoryStream saved;
    list.SaveToStream(saved, 0, 70);
    for (TCase& c : Surfaces()) {
        SCOPED_TRACE(c.Bits);
        c.Surface->LoadFromStream(&saved, 4242);
        EXPECT_EQ(c.Surface->GetBitCount(), c.Bits);
        ExpectPicture(*c.Surface, picture);
    }
    TDIBX shuffled;
    shuffled.SetSize(1, 1, 24);
    shuffled.LoadFromStream(&saved, 0);
    EXPECT_EQ(shuffled.GetWidth(), 6);
    int moved = 0;
    for (int y = 0; y < 4; ++y) moved += shuffled.GetPixel(0, y) != picture.GetPixel(0, y);
    EXPECT_GT(moved, 0);  // the rows stay in their stored order
    // A classic stream that counts no frames has no frame 0.
    TMemoryStream noFrames = StreamOf(std::string("Mira100\0\0\0\0\0", 12));
    EXPECT_EQ(ErrorOf([&] { shuffled.LoadFromStream(&noFrames, 0); }), "Error:TMiraFrameList.GetFrame");
    EXPECT_EQ(shuffled.GetWidth(), 6);
}

TEST_F(DIBXFiles, OtherStreamsLoadNothingAndDamagedOnesRaiseTheReadersErrors) {
    TDIBX surface;
    surface.SetSize(3, 2, 24);
    surface.LoadFromStream(nullptr, 0);
    // "BM" makes a BMP stream whatever follows: a damaged one raises the BMP reader's error.
    const std::string png = PngOf(Picture(4, 4)), bmMira = "BMMira100" + png;
    TMemoryStream notBmp = StreamOf(bmMira), same = StreamOf(bmMira);
    TDIB dib;
    const std::string bmpError = ErrorOf([&] { dib.LoadFromStream(same); });
    ASSERT_NE(bmpError, "");
    EXPECT_EQ(ErrorOf([&] { surface.LoadFromStream(&notBmp, 0); }), bmpError);
    std::string badPng = png;
    badPng[25] = 5;  // no such colour type
    TMemoryStream brokenPng = StreamOf(badPng), samePng = StreamOf(badPng);
    TPngPicture reader;
    const std::string pngError = ErrorOf([&] { reader.LoadFromStream(samePng); });
    ASSERT_NE(pngError, "");
    EXPECT_EQ(ErrorOf([&] { surface.LoadFromStream(&brokenPng, 0); }), pngError);
    TMemoryStream other = StreamOf("GIF89a and more");
    surface.LoadFromStream(&other, 0);
    EXPECT_EQ(other.Position(), 4);  // after the last signature read
    TMemoryStream empty = StreamOf("");
    surface.LoadFromStream(&empty, 0);
    EXPECT_EQ(surface.GetWidth(), 3);
    EXPECT_EQ(surface.GetHeight(), 2);
    // A display surface not made yet takes the display's format.
    TDxDIBX fresh(&display_, 32);
    TMemoryStream bmp = StreamOf(BmpOf(Picture(4, 4)));
    EXPECT_EQ(ErrorOf([&] { fresh.LoadFromStream(&bmp, 0); }), "");
    EXPECT_EQ((std::array{fresh.GetWidth(), fresh.GetBitCount()}), (std::array{4, 32}));
}

TEST_F(DIBXFiles, SavingWritesA24BitBitmapOfTheSurfacesColoursOnlyForBmpNames) {
    for (TCase& c : Surfaces()) {
        SCOPED_TRACE(c.Bits);
        TCustomDIBX& s = *c.Surface;
        // Values of the colour fields only (no fourth byte, no bit 15 at 5-5-5).
        const uint32_t fields = c.Bits == 15 ? 0x7FFF : 0xFFFFFF;
        Paint(s, 9, 4, c.Bits, [fields](int x, int y) { return Mix(x, y, 5) & fields; });
        const std::string name = "saved" + std::to_string(c.Bits) + ".Bmp";
        WriteFile(host_ + name, "old");
        s.SaveToFile(folder_ + name);
        s.SaveToFile(folder_ + "saved.png");
        EXPECT_FALSE(std::filesystem::exists(host_ + "saved.png"));
        EXPECT_FALSE(std::filesystem::exists(host_ + name + ".$$$"));
        TFileStream file(folder_ + name, fmOpenRead);
        TDIB saved;
        saved.LoadFromStream(file);
        ASSERT_EQ(saved.BitCount(), 24);
        // Each colour, put back on the surface, is the pixel it came from.
        ASSERT_EQ(saved.Width(), 9);
        ASSERT_EQ(saved.Height(), 4);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 9; ++x) ASSERT_EQ(uint32_t(s.ColorToPixel(ColorAt(saved, x, y))), s.GetPixel(x, y));
    }
    // Colours widen by bit replication: a 5-6-5 white is white, not $F8FCF8.
    TDIBX surface;
    surface.SetSize(1, 1, 16);
    surface.SetPixel(0, 0, 0xFFFF);
    surface.SaveToFile(folder_ + "white.bmp");
    TFileStream file(folder_ + "white.bmp", fmOpenRead);
    TDIB saved;
    saved.LoadFromStream(file);
    EXPECT_EQ(saved.GetPixel(0, 0), 0xFFFFFFu);
}

}  // namespace
