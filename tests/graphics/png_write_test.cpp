// The PNG writer: every kind of file it makes passes pngcheck and decodes to the source's pixels
// in libpng and in Pillow; its chunks, row filters and refusals. The picture class loads back what
// it saved and announces every change.
#include "graphics/pngpics.h"

#include "core/sysutils.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <fstream>
#include <functional>

namespace {

// A W x H bitmap at Depth of smooth runs and noise; indexed ones get a colourful table.
TDIB Picture(int32_t W, int32_t H, int32_t Depth, uint32_t Seed = 1) {
    const auto noise = [Seed](int x, int y) {
        uint32_t v = uint32_t(x * 73856093) ^ uint32_t(y * 19349663) ^ Seed;
        return (v ^ v >> 13) * 0x5bd1e995u >> 7;
    };
    TDIB dib;
    SetBitmapDepth(dib, W, H, Depth);
    for (int i = 0; i < 256; ++i) dib.ColorTable[size_t(i)] = noise(i, 999) & 0xFFFFFF;
    dib.UpdatePalette();
    const uint32_t mask = Depth >= 24 ? 0xFFFFFFFF : (1u << (Depth == 15 ? 16 : Depth)) - 1;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) dib.SetPixel(x, y, (x / 4 % 3 ? noise(x, y) : uint32_t(x * 7 + y)) & mask);
    return dib;
}

// The RGBA a decoder must give: with Grey the luminance at the sample depth, widened to 8 bits.
std::vector<uint8_t> ExpectedRGBA(const TDIB& Dib, const TDIB* Alpha, bool Grey) {
    const auto luma = [](TRGBQuad C) { return (QuadRed(C) * 77 + QuadGreen(C) * 150 + QuadBlue(C) * 29) / 256; };
    std::vector<uint8_t> out;
    for (int y = 0; y < Dib.Height(); ++y)
        for (int x = 0; x < Dib.Width(); ++x) {
            const uint32_t v = Dib.GetPixel(x, y);
            const TRGBQuad c = Dib.ValueColor(v), other = Dib.ImageColorTable()[(v ^ 1) & 0xFF];
            uint8_t r = QuadRed(c), g = QuadGreen(c), b = QuadBlue(c);
            if (Grey) {
                int grey = luma(c);
                if (Dib.BitCount() == 1 && !Alpha) grey = luma(c) > luma(other) || (luma(c) == luma(other) && v) ? 255 : 0;
                if (Dib.BitCount() == 4 && !Alpha) grey = grey / 16 * 17;
                r = g = b = uint8_t(grey);
            }
            out.insert(out.end(), {r, g, b, uint8_t(Alpha ? 255 - Alpha->GetPixel(x, y) : 255)});
        }
    return out;
}

std::string Encode(const TDIB& Dib, const TDIB* Alpha, const std::function<void(TPngWriteStream&)>& Set = {}) {
    TPngWriteStream writer;
    if (Set) Set(writer);
    TMemoryStream out;
    writer.SaveStream(Dib, Alpha, out);
    return Bytes(out);
}

// The chunks of a PNG file in order: type and data.
std::vector<std::pair<std::string, std::string>> Chunks(const std::string& Png) {
    std::vector<std::pair<std::string, std::string>> chunks;
    for (size_t at = 8; at + 12 <= Png.size();) {
        const uint32_t length = uint32_t(uint8_t(Png[at])) << 24 | uint8_t(Png[at + 1]) << 16 | uint8_t(Png[at + 2]) << 8 |
                                uint8_t(Png[at + 3]);
        chunks.emplace_back(Png.substr(at + 4, 4), Png.substr(at + 8, length));
        at += 12 + length;
    }
    return chunks;
}

// The first chunk of Type in hex, "none" when there is none.
std::string ChunkHex(const std::string& Png, const std::string& Type) {
    for (const auto& [type, data] : Chunks(Png))
        if (type == Type) return ToHex(data);
    return "none";
}

// The filter byte of each row of a non-interlaced file.
std::vector<int> RowFilters(const std::string& Png, size_t RowBytes, size_t Rows) {
    std::string packed;
    for (const auto& [type, data] : Chunks(Png))
        if (type == "IDAT") packed += data;
    std::vector<uint8_t> raw((RowBytes + 1) * Rows);
    uLongf size = uLongf(raw.size());
    EXPECT_EQ(uncompress(raw.data(), &size, reinterpret_cast<const Bytef*>(packed.data()), uLong(packed.size())), Z_OK);
    std::vector<int> filters;
    for (size_t r = 0; r < Rows; ++r) filters.push_back(raw[r * (RowBytes + 1)]);
    return filters;
}

std::vector<uint8_t> LibpngRGBA(const std::string& Png) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, Png.data(), Png.size())) return {};
    image.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return {};
    return pixels;
}

TEST(PngWrite, EveryKindPassesPngcheckAndDecodesToTheSourceInLibpngAndPillow) {
    struct TCase {
        int32_t Depth, W, H;
        bool Alpha, Grey;
        int32_t Interlace, Filter, IDATSize;
    };
    std::vector<TCase> cases;
    for (int32_t depth : {1, 4, 8, 15, 16, 24, 32})
        for (bool grey : {false, true}) {
            cases.push_back({depth, 37, 23, false, grey, 0, 1, 32768});
            cases.push_back({depth, 13, 11, depth > 8 || grey, grey, 1, 0, 32768});  // indexed colour has no alpha
        }
    for (int32_t filter = 0; filter <= 6; ++filter)
        for (int32_t depth : {4, 8, 24}) cases.push_back({depth, 61, 40, depth == 24, false, 0, filter, 32768});
    for (int32_t size : {256, 257, 999}) cases.push_back({24, 64, 64, true, false, 1, 0, size});
    cases.push_back({24, 1, 1, true, false, 1, 0, 32768});

    const std::string folder = FreshHostFolder();
    std::vector<std::string> files = {"-q"}, pixels;
    for (const TCase& c : cases) {
        const std::string name = Format("d%d_%dx%d_a%d_g%d_i%d_f%d_s%d", c.Depth, c.W, c.H, c.Alpha, c.Grey, c.Interlace,
                                        c.Filter, c.IDATSize);
        const TDIB dib = Picture(c.W, c.H, c.Depth), alpha = Picture(c.W, c.H, 8, 9);
        const std::string png = Encode(dib, c.Alpha ? &alpha : nullptr, [&](TPngWriteStream& W) {
            W.Grey = c.Grey, W.Interlace = c.Interlace, W.FilterMode = c.Filter, W.IDATSize = c.IDATSize;
            W.CompressionLevel = c.Filter;
        });
        const std::vector<uint8_t> rgba = ExpectedRGBA(dib, c.Alpha ? &alpha : nullptr, c.Grey);
        EXPECT_EQ(LibpngRGBA(png), rgba) << name;
        files.push_back(folder + name + ".png");
        std::ofstream(files.back(), std::ios::binary) << png;
        std::string text = Format("%d %d ", c.W, c.H);  // as the Pillow reference prints it
        for (size_t i = 0; i < rgba.size(); i += 4)
            text += rgba[i + 3] ? Format("%02x%02x%02x%02x", rgba[i], rgba[i + 1], rgba[i + 2], rgba[i + 3]) : "00000000";
        pixels.push_back(text);
    }
    const ProgramRun check = RunProgram("pngcheck", files);
    EXPECT_EQ(check.status, 0) << check.out;
    files[0] = "pixels";
    EXPECT_EQ(Lines(PythonOutput("make_tga_icon_fixtures.py", files)), pixels);
}

TEST(PngWrite, WritesTheHeaderChunksInOrder) {
    const std::string png = Encode(Picture(5, 3, 16), nullptr, [](TPngWriteStream& W) {
        W.WriteCurrentTime = false;
        W.Time = {0x07, 0xEA, 12, 7, 18, 30, 5};
        W.Comment = "made here";
        W.GifData = {0, 0, 3, 0};
        W.Gamma = 0.5;
        W.Chromaticities = {31270, 32900, 64000, 33000, 30000, 60000, 15000, 6000};
        W.Background = 0x0000FF;
        W.TransparentColour = 0x00FF00;
        W.PhysicalSize = {300, 72, 2};
    });
    std::string order;
    for (const auto& [type, data] : Chunks(png)) order += type + " ";
    EXPECT_EQ(order, "IHDR tIME tEXt tEXt tpNG gIFg gAMA cHRM sBIT bKGD tRNS pHYs IDAT IEND ");
    const auto chunks = Chunks(png);
    EXPECT_EQ(ToHex(chunks[0].second), "00000005000000030802000000");
    EXPECT_EQ(ToHex(chunks[1].second), "07EA0C07121E05");
    EXPECT_EQ(chunks[2].second, std::string("Comment\0made here", 17));
    EXPECT_EQ(chunks[3].second, std::string("Software\0PngPicture ver 3.4", 27));
    EXPECT_EQ(chunks[4].second, std::string("PNP3\0\0\0\0", 8));
    EXPECT_EQ(ChunkHex(png, "gAMA"), "0000C350");
    EXPECT_EQ(ChunkHex(png, "sBIT"), "050605");  // a 5-6-5 source
    EXPECT_EQ(ChunkHex(png, "bKGD"), "00FF00000000");
    EXPECT_EQ(ChunkHex(png, "tRNS"), "000000FF0000");
    // 300 and 72 dots an inch: 11811.02 and 2834.6 dots a metre, truncated once.
    EXPECT_EQ(ChunkHex(png, "pHYs"), "00002E2300000B1201");
    const std::string file = FreshHostFolder() + "chunks.png";
    std::ofstream(file, std::ios::binary) << png;
    EXPECT_EQ(RunProgram("pngcheck", {"-q", file}).status, 0);
    // Too many dots a metre for 31 bits: the most there are.
    EXPECT_EQ(ChunkHex(Encode(Picture(1, 1, 24), nullptr, [](TPngWriteStream& W) { W.PhysicalSize = {INT32_MAX, 1, 2}; }),
                       "pHYs"),
              "7FFFFFFF0000002701");

    // Defaults: no time when it is not one, no optional chunk, every row filtered None.
    const std::string plain = Encode(Picture(50, 9, 24), nullptr, [](TPngWriteStream& W) { W.WriteCurrentTime = false; });
    order.clear();
    for (const auto& [type, data] : Chunks(plain)) order += type + " ";
    EXPECT_EQ(order, "IHDR tEXt tpNG gAMA IDAT IEND ");
    EXPECT_EQ(RowFilters(plain, 150, 9), std::vector<int>(9, 0));
}

TEST(PngWrite, ColourTypeTransparencyAndAlphaRules) {
    const TDIB dib = Picture(6, 4, 24), alpha = Picture(6, 4, 8), taller = Picture(6, 5, 8), indexed = Picture(6, 4, 4);
    EXPECT_EQ(ChunkHex(Encode(dib, &alpha), "IHDR").substr(18, 2), "06");
    for (const TDIB* unusable : {&taller, &indexed, &dib}) EXPECT_EQ(ChunkHex(Encode(dib, unusable), "IHDR").substr(18, 2), "02");
    EXPECT_EQ(ChunkHex(Encode(Picture(6, 4, 15), &alpha), "sBIT"), "05050508");

    const auto key = [&](const TDIB& Dib, int32_t Key, bool Grey = false) {
        return ChunkHex(Encode(Dib, nullptr, [&](TPngWriteStream& W) { W.TransparentColour = Key, W.Grey = Grey; }), "tRNS");
    };
    EXPECT_EQ(key(indexed, png::kPaletteIndexColor | 3), "FFFFFF00");
    EXPECT_EQ(key(indexed, png::kPaletteIndexColor | 16), "none");  // no entry 16 in 16 colours
    const TRGBQuad entry5 = indexed.ImageColorTable()[5];           // a colour takes its nearest entry
    EXPECT_EQ(key(indexed, QuadRed(entry5) | QuadGreen(entry5) << 8 | QuadBlue(entry5) << 16), "FFFFFFFFFF00");
    EXPECT_EQ(key(dib, 0x204080, true), "004F");  // (128 * 77 + 64 * 150 + 32 * 29) / 256 = 79
    EXPECT_EQ(key(indexed, 0x204080, true), "0004");
    EXPECT_EQ(key(Picture(6, 4, 1), 0x808080, true), "0001");
}

TEST(PngWrite, AdaptiveFilterTakesARowOfNinetyPercentOneValueAtOnce) {
    // 33 pixels of 24 bits: rows of 100 bytes with the type byte; the second row repeats the first.
    const auto filters = [](int Zeros) {
        TDIB dib = Picture(33, 2, 24);
        std::fill_n(dib.ScanLine(0), Zeros - 1, 0);
        std::copy_n(dib.ScanLineReadOnly(0), 99, dib.ScanLine(1));
        return RowFilters(Encode(dib, nullptr, [](TPngWriteStream& W) { W.FilterMode = 0; }), 99, 2);
    };
    EXPECT_EQ(filters(95), (std::vector<int>{0, 0}));  // None qualifies at once, Up is never tried
    EXPECT_EQ(filters(88), (std::vector<int>{0, 2}));  // 88 of 100 is scored: Up's zeros win
}

// A stream that takes Room bytes and no more.
class TShortStream : public TMemoryStream {
public:
    explicit TShortStream(int64_t Room) : room_(Room) {}
    int64_t Write(const void* Buffer, int64_t Count) override {
        const int64_t n = std::min(Count, room_ - Size());
        return n > 0 ? TMemoryStream::Write(Buffer, n) : 0;
    }

private:
    int64_t room_;
};

TEST(PngWrite, RefusesBadIDATSizesEmptyBitmapsAndFailedWrites) {
    const TDIB dib = Picture(300, 200, 24);
    for (int32_t size : {255, 100001, 256, 100000})
        EXPECT_EQ(ErrorOf([&] { Encode(dib, nullptr, [&](TPngWriteStream& W) { W.IDATSize = size; }); }),
                  size == 255 || size == 100001 ? "Write PNG Param: Err IDAT Size(min:256  max:100000)" : "")
            << size;
    std::vector<size_t> sizes;  // every image-data chunk but the last is full
    for (const auto& [type, data] : Chunks(Encode(dib, nullptr, [](TPngWriteStream& W) { W.IDATSize = 256; })))
        if (type == "IDAT") sizes.push_back(data.size());
    ASSERT_GT(sizes.size(), 100u);
    EXPECT_EQ(size_t(std::count(sizes.begin(), sizes.end() - 1, 256u)), sizes.size() - 1);
    EXPECT_LE(sizes.back(), 256u);

    EXPECT_EQ(ErrorOf([&] { Encode(TDIB(), nullptr); }), "Write Image (PNG): Write Error");
    for (int64_t room : {0, 100, 70000}) {
        TShortStream out(room);
        TPngWriteStream writer;
        EXPECT_EQ(ErrorOf([&] { writer.SaveStream(dib, nullptr, out); }), "Write Image (PNG): Write Error") << room;
    }
}

bool SamePixels(const TDIB& A, const TDIB& B) {
    bool same = A.Width() == B.Width() && A.Height() == B.Height() && A.BitCount() == B.BitCount();
    for (int y = 0; same && y < A.Height(); ++y)
        for (int x = 0; x < A.Width(); ++x) same &= A.GetPixel(x, y) == B.GetPixel(x, y);
    return same;
}

TEST(PngPicture, LoadsWhatItSavedIntoBothBitmapsAndAnnouncesEveryChange) {
    TPngPicture source, loaded;
    EXPECT_GE(source.Time[0] << 8 | source.Time[1], 2026);  // the time it was made
    source.Assign(Picture(20, 10, 24));
    source.HasAlpha = true;
    source.AlphaBitmap() = Picture(20, 10, 8, 9);
    source.Comment = "a comment";
    source.Interlace = 1;
    source.WriteCurrentTime = false;
    source.Time = {0x07, 0xD0, 1, 2, 3, 4, 5};
    source.GifData = {1, 2, 3, 4};
    source.Background = 0x112233;
    TDIB callersAlpha = Picture(3, 3, 8);
    loaded.SetAlphaBitmap(&callersAlpha);
    int changes = 0;
    loaded.OnChange = [&](TPngPicture& Sender) { changes += &Sender == &loaded; };
    const auto reload = [&] {
        TMemoryStream saved;
        source.SaveToStream(saved);
        saved.SetPosition(0);
        loaded.LoadFromStream(saved);
    };
    reload();
    EXPECT_TRUE(SamePixels(loaded.Image(), source.Image()));
    EXPECT_TRUE(SamePixels(callersAlpha, source.AlphaBitmap()));
    EXPECT_TRUE(loaded.HasAlpha && !loaded.Grey && loaded.Interlace == 1 && loaded.BitDepth == 24);
    EXPECT_EQ(loaded.Comment, "a comment\r\n");
    EXPECT_EQ(loaded.Time, source.Time);
    EXPECT_EQ(loaded.GifData, source.GifData);
    EXPECT_EQ(loaded.Background, 0x112233);
    // A grey image without alpha: the caller's alpha bitmap is emptied; Grey and the key come back.
    source.HasAlpha = false;
    source.Grey = true;
    source.SetTransparentColour(0x404040);
    reload();
    EXPECT_TRUE(callersAlpha.Empty() && loaded.Grey && loaded.Transparent());
    EXPECT_EQ(loaded.TransparentColour(), 0x404040);
    EXPECT_EQ(changes, 2);

    // One announcement a change; sizes apply to both bitmaps; -1 clears the transparency.
    changes = 0;
    loaded.SetWidth(5);
    loaded.SetHeight(4);
    EXPECT_TRUE(loaded.Image().Width() == 5 && loaded.Image().Height() == 4 && callersAlpha.Width() == 5 &&
                callersAlpha.Height() == 4 && callersAlpha.BitCount() == 8);
    loaded.SetTransparent(true);  // no change
    loaded.SetTransparentColour(-1);
    EXPECT_FALSE(loaded.Transparent());
    loaded.SetPalette(TRGBQuadTable{0x123456});
    EXPECT_EQ(loaded.Palette()[0], 0x123456u);
    loaded.Assign(source);
    EXPECT_TRUE(SamePixels(loaded.Image(), source.Image()) && loaded.Transparent() && loaded.Comment == "a comment");
    loaded.Assign(Picture(2, 2, 4));
    EXPECT_EQ(loaded.Comment, "a comment");  // a bitmap brings the image only
    EXPECT_EQ(changes, 6);
    TDIB target;
    loaded.AssignTo(target);
    EXPECT_TRUE(SamePixels(target, loaded.Image()));
}

}  // namespace
