#include "graphics/dib.h"

#include "tests/common/budget.h"
#include "platform/fs.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace {

const std::string kBmpScript = "make_bmp_fixtures.py";

// The colours of a bitmap as the reference script prints them: RGB hex, top row first.
std::string ColoursOf(const TDIB& Dib) {
    std::string hex;
    for (int y = 0; y < Dib.Height(); ++y)
        for (int x = 0; x < Dib.Width(); ++x) {
            const uint32_t v = Dib.GetPixel(x, y);
            uint8_t r = uint8_t(v >> 16), g = uint8_t(v >> 8), b = uint8_t(v);
            if (Dib.BitCount() <= 8) {
                const TRGBQuad q = Dib.ImageColorTable()[v];
                r = QuadRed(q), g = QuadGreen(q), b = QuadBlue(q);
            } else if (Dib.BitCount() != 24) {
                UnpackRGB(Dib.NowPixelFormat(), v, r, g, b);
            }
            char s[7];
            std::snprintf(s, sizeof s, "%02x%02x%02x", r, g, b);
            hex += s;
        }
    return hex;
}

// Pillow widens 5- and 6-bit fields by scaling, we by repeating bits: at most one step apart.
void ExpectSameColours(const std::string& Expected, const std::string& Actual, bool Widened, const std::string& Name) {
    ASSERT_EQ(Expected.size(), Actual.size()) << Name;
    for (size_t i = 0; i < Expected.size(); i += 2) {
        const int e = std::stoi(Expected.substr(i, 2), nullptr, 16), a = std::stoi(Actual.substr(i, 2), nullptr, 16);
        ASSERT_LE(std::abs(e - a), Widened ? 1 : 0) << Name << " at byte " << i / 2;
    }
}

TDIB Load(const std::string& Data) {
    TMemoryStream stream = StreamOf(Data);
    TDIB dib;
    dib.LoadFromStream(stream);
    return dib;
}

std::string Saved(const TDIB& Dib) {
    TMemoryStream out;
    Dib.SaveToStream(out);
    return Bytes(out);
}

std::string Le32(uint32_t V) { return std::string{char(V), char(V >> 8), char(V >> 16), char(V >> 24)}; }
std::string Le16(uint16_t V) { return std::string{char(V), char(V >> 8)}; }

// A file header and a BITMAPINFOHEADER, followed by Rest.
std::string Bmp(int32_t W, int32_t H, uint16_t Bits, uint32_t Compression, const std::string& Rest,
                uint32_t SizeImage = 0, uint32_t ColoursUsed = 0, uint32_t HeaderSize = 40) {
    return "BM" + std::string(12, '\0') + Le32(HeaderSize) + Le32(uint32_t(W)) + Le32(uint32_t(H)) + Le16(1) +
           Le16(Bits) + Le32(Compression) + Le32(SizeImage) + std::string(8, '\0') + Le32(ColoursUsed) +
           Le32(0) + Rest;
}

std::string Rle8(int32_t W, int32_t H, const std::string& Codes) {
    return Bmp(W, H, 8, 1, std::string(4 * 256, '\0') + Codes, uint32_t(Codes.size()));
}

std::string Invalid(const std::string& Data) {
    TDIB dib;
    dib.SetSize(2, 2, 8);
    dib.SetPixel(1, 1, 7);
    const std::string message = ErrorOf([&] {
        TMemoryStream stream = StreamOf(Data);
        dib.LoadFromStream(stream);
    });
    EXPECT_EQ(dib.GetPixel(1, 1), 7u) << "a failed load keeps the previous image";
    return message;
}

}  // namespace

TEST(DIB, ReadsEveryKindAsPillowDoesAndPillowReadsWhatWeWrite) {
    const std::string host = FreshHostFolder();
    const std::string folder = platform::fs::ToProgramPath(host);
    std::vector<std::string> names, references, written;
    for (const std::string& line : Lines(PythonOutput(kBmpScript, {"make", host}))) {
        std::istringstream fields(line);
        std::string name, pixels;
        int w, h;
        fields >> name >> w >> h >> pixels;
        TMemoryStream file;
        file.LoadFromFile(folder + name);
        TDIB dib;
        dib.LoadFromStream(file);
        ASSERT_EQ(dib.Width(), w) << name;
        ASSERT_EQ(dib.Height(), h) << name;
        const bool widened = name.starts_with("bits16");
        ExpectSameColours(pixels, ColoursOf(dib), widened, name);
        TMemoryStream out = StreamOf(Saved(dib));
        out.SaveToFile(folder + "out-" + name);
        names.push_back(name);
        references.push_back(pixels);
        written.push_back(host + "out-" + name);
    }
    ASSERT_EQ(names.size(), 16u);
    const std::vector<std::string> reread = Lines(PythonOutput(kBmpScript, [&] {
        std::vector<std::string> args{"read"};
        args.insert(args.end(), written.begin(), written.end());
        return args;
    }()));
    ASSERT_EQ(reread.size(), names.size());
    for (size_t i = 0; i < names.size(); ++i)
        ExpectSameColours("7 5 " + references[i], reread[i], names[i].starts_with("bits16"), "out-" + names[i]);
}

TEST(DIB, HeaderKindsAndTheirRefusals) {
    EXPECT_EQ(Load(Bmp(1, 1, 16, 0, std::string(4, '\0'))).NowPixelFormat().GBitMask, 0x3E0u);
    EXPECT_EQ(Load(Bmp(1, 1, 16, 3, Le32(0xF800) + Le32(0x7E0) + Le32(0x1F) + std::string(4, '\0')))
                  .NowPixelFormat().GBitMask, 0x7E0u);
    EXPECT_EQ(Invalid(Bmp(1, 1, 32, 3, Le32(0xF800) + Le32(0x7E0) + Le32(0x1F) + std::string(4, '\0'))),
              "不正なピクセルフォーマットです");
    // Masks of the right widths in the wrong places are not the standard layouts.
    EXPECT_EQ(Invalid(Bmp(1, 1, 32, 3, Le32(0xFF000000) + Le32(0xFF0) + Le32(0xFF0000) + std::string(4, '\0'))),
              "不正なピクセルフォーマットです");
    EXPECT_EQ(Invalid(Bmp(1, 1, 16, 3, Le32(0x1F) + Le32(0x7E0) + Le32(0xF800) + std::string(4, '\0'))),
              "不正なピクセルフォーマットです");
    EXPECT_EQ(Invalid(Bmp(1, 1, 2, 0, std::string(20, '\0'))), "不正なビット数です (2)");
    EXPECT_EQ(Invalid(Bmp(1, 1, 24, 0, std::string(80, '\0'), 0, 0, 108)), "不正な DIB です");
    EXPECT_EQ(Invalid(Bmp(1, 1, 24, 4, std::string(4, '\0'))), "不正な DIB です");
    EXPECT_EQ(Invalid("BM\x10\0\0"), "不正な DIB です");
    EXPECT_EQ(Invalid("PK" + std::string(60, '\0')), "不正な DIB です");

    // Colours used = 17: 17 entries read, the rest black, and the palette still has 256.
    std::string table;
    for (int i = 0; i < 17; ++i) table += Le32(0x010101u * uint32_t(i + 1));
    const TDIB partial = Load(Bmp(1, 1, 8, 0, table + std::string("\x10\0\0\0", 4), 0, 17));
    EXPECT_EQ(partial.ImageColorTable()[16], 0x111111u);
    EXPECT_EQ(partial.ImageColorTable()[17], 0u);
    EXPECT_EQ(partial.GetPixel(0, 0), 16u);
    EXPECT_EQ(partial.PaletteCount(), 256);

    // 300 entries: the 44 past the table are skipped, also when the file header's offset (here
    // past the end) cannot be used.
    std::string entries;
    for (int i = 0; i < 300; ++i) entries += Le32(i < 256 ? 0x010101u * uint32_t(i) : 0xEEEEEEEEu);
    std::string longTable = Bmp(1, 1, 8, 0, entries + std::string("\x05\0\0\0", 4), 0, 300);
    EXPECT_EQ(Load(longTable).GetPixel(0, 0), 5u);
    longTable.replace(10, 4, Le32(0xFFFFFF00));
    EXPECT_EQ(Load(longTable).GetPixel(0, 0), 5u);

    TDIB kept;
    kept.SetSize(3, 1, 1);
    TMemoryStream empty;
    kept.LoadFromStream(empty);
    EXPECT_EQ(kept.Width(), 3);
    EXPECT_EQ(Saved(kept).size(), 14u + 40 + 8 + 4);
    EXPECT_EQ(Saved(TDIB()), "");
}

TEST(DIB, HostileFilesRaiseTheInvalidImageError) {
    EXPECT_NE(Invalid(Bmp(40000, 1, 24, 0, std::string(4, '\0'))), "");
    EXPECT_NE(Invalid(Bmp(32767, 32767, 32, 0, "")), "");      // past the byte limit
    EXPECT_NE(Invalid(Bmp(30000, 30000, 8, 0, std::string(1024, '\0'))), "");  // pixels missing
    EXPECT_NE(Invalid(Bmp(1, int32_t(0x80000000u), 8, 0, "")), "");
    EXPECT_NE(Invalid(Bmp(0, 1, 24, 0, std::string(4, '\0'))), "");
    EXPECT_NE(Invalid(Bmp(4, 1, 8, 1, "")), "");  // RLE8 needs 8 bits per pixel, not the reverse
    EXPECT_NE(Invalid(Bmp(4, 1, 24, 0, std::string(10, '\0'))), "");  // truncated row

    EXPECT_NE(Invalid(Rle8(4, 2, FromHex("0501 0001"))), "");          // run past the row end
    EXPECT_NE(Invalid(Rle8(4, 2, FromHex("0006 0102 0304 0506"))), ""); // absolute run past the row
    EXPECT_NE(Invalid(Rle8(4, 2, FromHex("0004 0102"))), "");           // absolute run past the data
    EXPECT_NE(Invalid(Rle8(4, 2, FromHex("0002 0003 0101"))), "");      // delta above the top
    EXPECT_NE(Invalid(Rle8(4, 2, FromHex("0000 0000 0000 0101"))), ""); // line ends above the top
    EXPECT_NE(Invalid(Rle8(4, 2, FromHex("02"))), "");                  // cut inside a pair
    EXPECT_NE(Invalid(Bmp(4, 1, 8, 1, std::string(1024, '\0') + "\x02\x01", 100)), "");  // size past the end
    EXPECT_EQ(Invalid(Rle8(4, -2, FromHex("0401 0000 0402 0001"))), "不正な DIB です");  // RLE is never top-down
    EXPECT_EQ(Invalid(Bmp(4, -2, 4, 2, std::string(64, '\0') + FromHex("0411 0001"), 4)), "不正な DIB です");

    // A delta moves right and up; data may end without an end-of-bitmap code.
    const TDIB moved = Load(Rle8(4, 2, FromHex("0203 0002 0101 0109")));
    EXPECT_EQ(moved.GetPixel(1, 1), 3u);
    EXPECT_EQ(moved.GetPixel(2, 1), 0u);
    EXPECT_EQ(moved.GetPixel(3, 0), 9u);
}

// A picture past the pixel bound is refused from its header, before its pixels are taken from the
// title's budget; an image the budget cannot take is refused with the same error; an image's
// pixels are charged once however many share them, again for a copy written to, and given back
// when the last holder lets go.
TEST(DIB, PixelsAreBoundedAndChargedToTheTitlesBudget) {
    testbudget::TTestBudget budget(int64_t(100) << 20);
    const int64_t before = budget.Before();
    const std::string huge = Bmp(16384, 16384, 8, 1, FromHex("00000000 0001"), 2, 1);  // ends at once
    ASSERT_EQ(huge.size(), 60u);
    EXPECT_EQ(Invalid(huge), "画像の大きさが扱える範囲を越えています (16384 x 16384)");
    EXPECT_NO_THROW(CheckImageSize(32767, 2730, 32));
    EXPECT_EQ(ErrorOf([] { CheckImageSize(32767, 2731, 1); }), "画像の大きさが扱える範囲を越えています (32767 x 2731)");

    // Pixels past the title's memory are told as such, never as the picture's size.
    budget.Room(int64_t(1) << 20);
    const TBudgetRefusal refusing;
    TDIB a;
    EXPECT_EQ(ErrorOf([&] { a.SetSize(1025, 1024, 8); }), MemoryBudgetMessage);
    EXPECT_NEAR(MemoryCharged(), before, testbudget::Slack);
    a.SetSize(512, 512, 8);
    TDIB b(a), c(a);
    EXPECT_NEAR(MemoryCharged(), before + 512 * 512, testbudget::Slack);
    b.SetPixel(0, 0, 1);
    EXPECT_NEAR(MemoryCharged(), before + 2 * 512 * 512, testbudget::Slack);
    budget.Room(1000);
    EXPECT_EQ(ErrorOf([&] { c.SetPixel(0, 0, 1); }), MemoryBudgetMessage);
    a.Clear(), b.Clear(), c.Clear();
    EXPECT_NEAR(MemoryCharged(), before, testbudget::Slack);
}

TEST(DIB, SharingSizingAndPixelAccess) {
    TDIB a;
    a.SetSize(3, 2, 24);
    a.SetPixel(2, 1, 0x123456);
    TDIB b;
    b.Assign(&a);
    b.SetPixel(2, 1, 0xABCDEF);
    EXPECT_EQ(a.GetPixel(2, 1), 0x123456u);
    EXPECT_EQ(b.GetPixel(2, 1), 0xABCDEFu);
    EXPECT_EQ(a.ScanLine(1), a.PBits()) << "rows are stored bottom-up";
    EXPECT_EQ(a.ScanLine(0) + a.NextLine(), a.ScanLine(1));

    a.SetSize(3, 2, 24);
    EXPECT_EQ(a.GetPixel(2, 1), 0x123456u) << "same size keeps the image";
    EXPECT_EQ(a.GetPixel(-1, 0), 0u);
    EXPECT_EQ(ErrorOf([&] { a.ScanLine(2); }), "スキャンラインのインデックスが範囲を越えました (2)");
    a.SetWidth(0);
    EXPECT_TRUE(a.Empty());

    TDIB nibbles;
    nibbles.SetSize(3, 1, 4);
    nibbles.SetPixel(0, 0, 0xA);
    nibbles.SetPixel(1, 0, 0x5);
    nibbles.SetPixel(2, 0, 0xF);
    EXPECT_EQ(nibbles.ScanLine(0)[0], 0xA5);
    EXPECT_EQ(nibbles.GetPixel(2, 0), 0xFu);
}

TEST(DIB, AnImageSizedForOverwriteStoresTheBytesOfACleanOne) {
    // Once every pixel is written, the bytes past the last whole pixel of each row (a partly used
    // byte, then the padding) are those of a cleared image, a new one or one made over whose old
    // bytes were all set.
    for (int bits : {1, 4, 8, 24})
        for (bool madeOver : {false, true}) {
            TDIB clean, overwritten;
            clean.SetSize(5, 3, bits);
            if (madeOver) {
                overwritten.SetSize(9, 4, 8);
                std::memset(overwritten.PBits(), 0xFF, size_t(overwritten.Size()));
            }
            overwritten.SetSizeForOverwrite(5, 3, bits);
            for (TDIB* dib : {&clean, &overwritten})
                for (int y = 0; y < 3; ++y)
                    for (int x = 0; x < 5; ++x) dib->SetPixel(x, y, uint32_t(7 * x + 3 * y));
            EXPECT_EQ(std::vector(overwritten.PBitsReadOnly(), overwritten.PBitsReadOnly() + overwritten.Size()),
                      std::vector(clean.PBitsReadOnly(), clean.PBitsReadOnly() + clean.Size()))
                << bits << (madeOver ? " made over" : "");
        }
}

// An image no other TDIB holds is made over in place by a new size; a shared one, and the empty
// image every fresh TDIB holds, stay as their other holders see them.
TEST(DIB, ResizingMakesOverOnlyAnImageHeldAlone) {
    TDIB a;
    a.SetSize(4, 4, 8);
    a.SetPixel(1, 1, 7);
    TDIB b(a);
    a.SetSize(2, 3, 8);
    EXPECT_EQ(b.Width(), 4);
    EXPECT_EQ(b.GetPixel(1, 1), 7u);
    EXPECT_TRUE(TDIB().Empty());

    a.SetPixel(1, 1, 9);
    a.SetSize(3, 2, 32);
    EXPECT_EQ(a.GetPixel(1, 1), 0u);
    EXPECT_EQ(a.WidthBytes(), 12);
    EXPECT_EQ(a.Size(), 24);
    EXPECT_EQ(a.PaletteCount(), 0);
    a.ColorTable[5] = 0x123456;
    a.SetSize(5, 1, 4);
    EXPECT_EQ(a.Size(), 4);
    EXPECT_EQ(a.PaletteCount(), 16);
    EXPECT_EQ(a.ImageColorTable()[5], 0x123456u);
    EXPECT_EQ(b.Width(), 4);
    EXPECT_EQ(b.GetPixel(1, 1), 7u);
}

TEST(DIB, PaletteEntriesAndRGBQuadsSwapRedAndBlue) {
    TPaletteEntryTable entries;
    TRGBQuadTable quads;
    for (int i = 0; i < 256; ++i) {
        entries[i] = {uint8_t(i), uint8_t(255 - i), uint8_t(i ^ 0x5A), 4};
        quads[i] = RGBQuad(uint8_t(i), uint8_t(255 - i), uint8_t(i ^ 0x5A)) | 0xEE000000;
    }
    const TRGBQuadTable toQuads = PaletteEntriesToRGBQuads(entries);
    const TPaletteEntryTable toEntries = RGBQuadsToPaletteEntries(quads);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(toQuads[i], quads[i] & 0xFFFFFF) << i;
        EXPECT_EQ(toEntries[i], (TPaletteEntry{entries[i].Red, entries[i].Green, entries[i].Blue, 0})) << i;
    }
}

TEST(DIB, DepthConversions) {
    TDIB dib;
    dib.ColorTable[3] = RGBQuad(200, 100, 50);
    dib.SetSize(2, 1, 4);
    dib.UpdatePalette();
    dib.SetPixel(1, 0, 3);
    dib.SetBitCount(8);
    EXPECT_EQ(dib.GetPixel(1, 0), 3u) << "indexes copied upward";
    dib.SetBitCount(24);
    EXPECT_EQ(dib.GetPixel(1, 0), 0xC86432u);
    dib.PixelFormat = MakeDIBColorFormat(5, 6, 5);
    dib.SetBitCount(16);
    EXPECT_EQ(dib.GetPixel(1, 0), PackRGB(dib.NowPixelFormat(), 200, 100, 50));
    EXPECT_EQ(dib.GetPixel(1, 0), (200u >> 3) << 11 | (100u >> 2) << 5 | 50u >> 3);
    dib.PixelFormat = MakeDIBColorFormat(8, 8, 8);
    dib.SetBitCount(8);  // (206, 101, 49) after 5-6-5, to the nearest entry of the 3-3-2 table
    EXPECT_EQ(dib.ImageColorTable()[dib.GetPixel(1, 0)], RGBQuad(218, 109, 85));
}

TEST(PixelConv, DocumentedRules) {
    EXPECT_EQ(ExpandChannel(16, 5), 0x84);
    EXPECT_EQ(ExpandChannel(31, 5), 255);
    EXPECT_EQ(ExpandChannel(33, 6), 0x86);
    EXPECT_EQ(ExpandChannel(5, 3), 0xB6);
    EXPECT_EQ(ReduceChannel(0x87, 5), 0x10u);
    const TRGBQuad table[] = {RGBQuad(0, 0, 0), RGBQuad(10, 0, 0), RGBQuad(0, 10, 0), RGBQuad(10, 0, 0)};
    EXPECT_EQ(NearestPaletteIndex(table, 4, 10, 5, 0), 1) << "first of equal distances";
    EXPECT_EQ(NearestPaletteIndex(table, 4, 9, 1, 0), 1);
    EXPECT_EQ(StretchSource(3, 4, 8), 1);
    EXPECT_EQ(StretchSource(7, 3, 8), 2);
}
