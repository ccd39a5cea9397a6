// The PNG writer: every kind of file it makes passes pngcheck and decodes to the source's pixels
// in libpng and in Pillow; the chunks, the row filters and the refusals it is asked for.
#include "graphics/pngpics.h"

#include "core/sysutils.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <fstream>
#include <functional>
#include <map>

namespace {

uint32_t Noise(int x, int y, uint32_t Seed) {
    uint32_t v = uint32_t(x * 73856093) ^ uint32_t(y * 19349663) ^ Seed;
    v ^= v >> 13, v *= 0x5bd1e995u, v ^= v >> 15;
    return v;
}

// A W x H bitmap at Depth (15 and 16 with their masks) of smooth runs and noise; indexed ones get
// a colourful table.
TDIB Picture(int32_t W, int32_t H, int32_t Depth, uint32_t Seed = 1) {
    TDIB dib;
    SetBitmapDepth(dib, W, H, Depth);
    if (Depth <= 8) {
        for (int i = 0; i < 256; ++i) dib.ColorTable[size_t(i)] = Noise(i, 0, Seed) & 0xFFFFFF;
        dib.UpdatePalette();
    }
    const uint32_t mask = Depth >= 24 ? 0xFFFFFFFF : (1u << (Depth == 15 ? 16 : Depth)) - 1;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) dib.SetPixel(x, y, (x / 4 % 3 ? Noise(x, y, Seed) : uint32_t(x * 7 + y)) & mask);
    return dib;
}

TDIB AlphaOf(int32_t W, int32_t H) { return Picture(W, H, 8, 9); }

// The RGBA bytes a decoder must give: with Grey, the luminance at the sample depth widened to 8 bits.
std::vector<uint8_t> ExpectedRGBA(const TDIB& Dib, const TDIB* Alpha, bool Grey) {
    std::vector<uint8_t> out;
    const TRGBQuadTable& table = Dib.ImageColorTable();
    const auto luma = [](TRGBQuad C) { return (QuadRed(C) * 77 + QuadGreen(C) * 150 + QuadBlue(C) * 29) / 256; };
    for (int y = 0; y < Dib.Height(); ++y)
        for (int x = 0; x < Dib.Width(); ++x) {
            const uint32_t v = Dib.GetPixel(x, y);
            const TRGBQuad c = Dib.ValueColor(v);
            uint8_t r = QuadRed(c), g = QuadGreen(c), b = QuadBlue(c);
            if (Grey) {
                int grey = luma(c);
                if (Dib.BitCount() == 1 && !Alpha) grey = luma(c) > luma(table[v ^ 1]) || (luma(c) == luma(table[v ^ 1]) && v) ? 255 : 0;
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

// The chunks of a PNG file: type and data, in order.
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

std::string ChunkData(const std::string& Png, const std::string& Type) {
    for (const auto& [type, data] : Chunks(Png))
        if (type == Type) return data;
    return "none";
}

// The filter byte of each row of a non-interlaced file whose rows hold RowBytes bytes.
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

// As the Pillow reference prints pixels: "W H" then rrggbbaa, a transparent pixel as 00000000.
std::string PillowForm(const TDIB& Dib, const std::vector<uint8_t>& RGBA) {
    std::string text = Format("%d %d ", Dib.Width(), Dib.Height());
    for (size_t i = 0; i < RGBA.size(); i += 4)
        text += RGBA[i + 3] == 0 ? "00000000" : Format("%02x%02x%02x%02x", RGBA[i], RGBA[i + 1], RGBA[i + 2], RGBA[i + 3]);
    return text;
}

TEST(PngWrite, EveryKindPassesPngcheckAndDecodesToTheSourceInLibpngAndPillow) {
    struct TCase {
        std::string name;
        TDIB dib;
        bool alpha = false, grey = false;
        std::function<void(TPngWriteStream&)> set;
    };
    std::vector<TCase> cases;
    for (int32_t depth : {1, 4, 8, 15, 16, 24, 32}) {
        cases.push_back({Format("depth%d", depth), Picture(37, 23, depth), false, false, {}});
        cases.push_back({Format("depth%d_grey", depth), Picture(37, 23, depth), false, true, {}});
        cases.push_back({Format("depth%d_interlaced", depth), Picture(13, 11, depth), false, false,
                         [](TPngWriteStream& W) { W.Interlace = 1; }});
    }
    for (int32_t depth : {4, 8, 16, 24, 32}) {  // indexed colour files have no alpha channel
        if (depth > 8) cases.push_back({Format("depth%d_alpha", depth), Picture(37, 23, depth), true, false, {}});
        cases.push_back({Format("depth%d_alpha_grey_interlaced", depth), Picture(9, 10, depth), true, true,
                         [](TPngWriteStream& W) { W.Interlace = 1; }});
    }
    for (int mode = 0; mode <= 6; ++mode)
        for (int32_t depth : {4, 8, 24})
            cases.push_back({Format("filter%d_depth%d", mode, depth), Picture(61, 40, depth), depth == 24, false,
                             [mode](TPngWriteStream& W) { W.FilterMode = mode, W.CompressionLevel = mode; }});
    for (int32_t size : {256, 257, 999})
        cases.push_back({Format("idat%d", size), Picture(64, 64, 24), true, false,
                         [size](TPngWriteStream& W) { W.IDATSize = size, W.Interlace = 1, W.FilterMode = 0; }});
    cases.push_back({"one_pixel_interlaced", Picture(1, 1, 24), true, false, [](TPngWriteStream& W) { W.Interlace = 1; }});

    const std::string folder = FreshHostFolder();
    std::vector<std::string> files, expected;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        const TDIB alpha = AlphaOf(c.dib.Width(), c.dib.Height());
        const std::string png = Encode(c.dib, c.alpha ? &alpha : nullptr, [&](TPngWriteStream& W) {
            W.Grey = c.grey;
            if (c.set) c.set(W);
        });
        const std::vector<uint8_t> rgba = ExpectedRGBA(c.dib, c.alpha ? &alpha : nullptr, c.grey);
        EXPECT_EQ(LibpngRGBA(png), rgba);
        files.push_back(folder + c.name + ".png");
        std::ofstream(files.back(), std::ios::binary) << png;
        const ProgramRun check = RunProgram("pngcheck", {"-v", files.back()});
        EXPECT_EQ(check.status, 0) << check.out;
        expected.push_back(PillowForm(c.dib, rgba));
    }
    const std::vector<std::string> pillow = Lines(PythonOutput("make_tga_icon_fixtures.py", [&] {
        std::vector<std::string> args = {"pixels"};
        args.insert(args.end(), files.begin(), files.end());
        return args;
    }()));
    ASSERT_EQ(pillow.size(), cases.size());
    for (size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(pillow[i], expected[i]) << cases[i].name;
}

TEST(PngWrite, WritesTheHeaderChunksInOrderWithTheirValues) {
    TDIB dib = Picture(5, 3, 16);
    const std::string png = Encode(dib, nullptr, [](TPngWriteStream& W) {
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
    std::vector<std::string> order;
    for (const auto& [type, data] : Chunks(png)) order.push_back(type);
    EXPECT_EQ(order, (std::vector<std::string>{"IHDR", "tIME", "tEXt", "tEXt", "tpNG", "gIFg", "gAMA", "cHRM", "sBIT",
                                               "bKGD", "tRNS", "pHYs", "IDAT", "IEND"}));
    const auto chunks = Chunks(png);
    EXPECT_EQ(ToHex(chunks[0].second), "00000005000000030802000000");
    EXPECT_EQ(ToHex(chunks[1].second), "07EA0C07121E05");
    EXPECT_EQ(chunks[2].second, std::string("Comment\0made here", 17));
    EXPECT_EQ(chunks[3].second, std::string("Software\0PngPicture ver 3.4", 27));
    EXPECT_EQ(chunks[4].second, std::string("PNP3\0\0\0\0", 8));
    EXPECT_EQ(ToHex(ChunkData(png, "gAMA")), "0000C350");
    EXPECT_EQ(ToHex(ChunkData(png, "sBIT")), "050605");
    EXPECT_EQ(ToHex(ChunkData(png, "bKGD")), "00FF00000000");
    EXPECT_EQ(ToHex(ChunkData(png, "tRNS")), "000000FF0000");
    // 300 and 72 dots an inch: 11811.02 and 2834.6 dots a metre, truncated once.
    EXPECT_EQ(ToHex(ChunkData(png, "pHYs")), "00002E2300000B1201");
    const std::string file = FreshHostFolder() + "chunks.png";
    std::ofstream(file, std::ios::binary) << png;
    EXPECT_EQ(RunProgram("pngcheck", {"-v", file}).status, 0);

    // Defaults: no time when it is not one, no optional chunk, every row filtered None.
    const std::string plain = Encode(Picture(50, 9, 24), nullptr, [](TPngWriteStream& W) { W.WriteCurrentTime = false; });
    order.clear();
    for (const auto& [type, data] : Chunks(plain)) order.push_back(type);
    EXPECT_EQ(order, (std::vector<std::string>{"IHDR", "tEXt", "tpNG", "gAMA", "IDAT", "IEND"}));
    EXPECT_EQ(RowFilters(plain, 150, 9), std::vector<int>(9, 0));
}

TEST(PngWrite, ColourTypeTransparencyAndAlphaRules) {
    const TDIB dib = Picture(6, 4, 24);
    const TDIB alpha = AlphaOf(6, 4), wrongSize = AlphaOf(6, 5), wrongDepth = Picture(6, 4, 4);
    EXPECT_EQ(uint8_t(ChunkData(Encode(dib, &alpha), "IHDR")[9]), 6);
    for (const TDIB* unusable : {&wrongSize, &wrongDepth, &dib})
        EXPECT_EQ(uint8_t(ChunkData(Encode(dib, unusable), "IHDR")[9]), 2);
    // A 15-bit source with alpha says 5 bits a colour and 8 of alpha.
    EXPECT_EQ(ToHex(ChunkData(Encode(Picture(6, 4, 15), &alpha), "sBIT")), "05050508");

    const TDIB indexed = Picture(6, 4, 8);
    const auto transparent = [&](int32_t Key) {
        return ToHex(ChunkData(Encode(indexed, &alpha, [&](TPngWriteStream& W) { W.TransparentColour = Key; }), "tRNS"));
    };
    EXPECT_EQ(transparent(png::kPaletteIndexColor | 3), "FFFFFF00");
    const TRGBQuad entry5 = indexed.ImageColorTable()[5];  // a colour takes its nearest entry
    EXPECT_EQ(transparent(QuadRed(entry5) | QuadGreen(entry5) << 8 | QuadBlue(entry5) << 16), "FFFFFFFFFF00");
    // Greys: the key's luminance at the sample depth.
    const auto greyKey = [&](const TDIB& Dib, int32_t Key) {
        return ToHex(ChunkData(Encode(Dib, nullptr, [&](TPngWriteStream& W) {
                                   W.Grey = true;
                                   W.TransparentColour = Key;
                               }),
                               "tRNS"));
    };
    EXPECT_EQ(greyKey(dib, 0x204080), "004F");  // (128 * 77 + 64 * 150 + 32 * 29) / 256 = 79
    EXPECT_EQ(greyKey(Picture(6, 4, 4), 0x204080), "0004");
    EXPECT_EQ(greyKey(Picture(6, 4, 1), 0x808080), "0001");
}

TEST(PngWrite, AdaptiveFilterTakesARowOfNinetyPercentOneValueAtOnce) {
    // 33 pixels of 24 bits: rows of 100 bytes with the type byte; the second row repeats the first.
    const auto filters = [](int Zeros) {
        TDIB dib;
        SetBitmapDepth(dib, 33, 2, 24);
        for (int y = 0; y < 2; ++y) {
            uint8_t* row = dib.ScanLine(y);
            for (int i = 0; i < 99; ++i) row[i] = i < Zeros - 1 ? 0 : uint8_t(Noise(i, 0, 5) | 1);
        }
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
    const std::string sizeError = "Write PNG Param: Err IDAT Size(min:256  max:100000)";
    for (int32_t size : {255, 100001, 256, 100000}) {
        const std::string error = ErrorOf([&] { Encode(dib, nullptr, [&](TPngWriteStream& W) { W.IDATSize = size; }); });
        EXPECT_EQ(error, size == 255 || size == 100001 ? sizeError : "") << size;
    }
    std::map<size_t, int> sizes;  // every IDAT but the last is 256 bytes long
    const auto chunks = Chunks(Encode(dib, nullptr, [](TPngWriteStream& W) { W.IDATSize = 256; }));
    for (size_t i = 0; i + 2 < chunks.size(); ++i)
        if (chunks[i].first == "IDAT" && chunks[i + 1].first == "IDAT") ++sizes[chunks[i].second.size()];
    EXPECT_EQ(sizes.size(), 1u);
    EXPECT_EQ(sizes.begin()->first, 256u);

    const std::string writeError = "Write Image (PNG): Write Error";
    EXPECT_EQ(ErrorOf([&] { Encode(TDIB(), nullptr); }), writeError);
    for (int64_t room : {0, 100, 70000}) {
        TShortStream out(room);
        TPngWriteStream writer;
        EXPECT_EQ(ErrorOf([&] { writer.SaveStream(dib, nullptr, out); }), writeError) << room;
    }
}

}  // namespace
