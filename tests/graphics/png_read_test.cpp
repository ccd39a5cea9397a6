#include "graphics/cursorfile.h"
#include "graphics/pngpics.h"
#include "platform/fs.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <sstream>

namespace {

// 0xAARRGGBB per pixel, top row first.
using TPixels = std::vector<uint32_t>;

std::string Hex(const TPixels& Pixels) {
    std::string hex;
    for (uint32_t v : Pixels) {
        char s[9];
        std::snprintf(s, sizeof s, "%08x", v);
        hex += s;
    }
    return hex;
}

// libpng's decode of a file: every form expanded to 8-bit RGBA, 16-bit samples cut to their high
// byte, colour keys turned into alpha.
TPixels LibpngPixels(const std::string& Data) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, [](png_structp, png_const_charp) {});
    png_infop info = png_create_info_struct(png);
    TPixels pixels;
    struct TSource {
        const std::string* Data;
        size_t At;
    } source{&Data, 0};
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        ADD_FAILURE() << "libpng refused the file";
        return {};
    }
    png_set_read_fn(png, &source, [](png_structp p, png_bytep out, png_size_t n) {
        auto* s = static_cast<TSource*>(png_get_io_ptr(p));
        if (s->At + n > s->Data->size()) png_error(p, "short");
        std::memcpy(out, s->Data->data() + s->At, n);
        s->At += n;
    });
    png_read_info(png, info);
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const png_uint_32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
    std::vector<png_byte> rgba(size_t(w) * h * 4);
    std::vector<png_bytep> rows(h);
    for (png_uint_32 y = 0; y < h; ++y) rows[y] = rgba.data() + size_t(y) * w * 4;
    png_read_image(png, rows.data());
    png_destroy_read_struct(&png, &info, nullptr);
    for (size_t i = 0; i < rgba.size(); i += 4)
        pixels.push_back(uint32_t(rgba[i + 3]) << 24 | rgba[i] << 16 | rgba[i + 1] << 8 | rgba[i + 2]);
    return pixels;
}

struct TDecoded {
    TPngReadStream Reader;
    TDIB Bitmap, Alpha;
};

void Decode(TDecoded& D, const std::string& Data) {
    TMemoryStream stream = StreamOf(Data);
    D.Reader.LoadStream(&D.Bitmap, &D.Alpha, stream);
}

// Our decode as 0xAARRGGBB: the alpha bitmap when the image has one, else 0 for the transparent
// colour (an index for grey and palette images, $00BBGGRR for colour images).
TPixels OurPixels(const TDecoded& D) {
    const int32_t key = D.Reader.TransparentColour;
    const bool indexKey = D.Reader.IsGrey || key & png::kPaletteIndexColor;
    TPixels pixels;
    for (int32_t y = 0; y < D.Bitmap.Height(); ++y)
        for (int32_t x = 0; x < D.Bitmap.Width(); ++x) {
            const uint32_t raw = D.Bitmap.GetPixel(x, y), c = D.Bitmap.ValueColor(raw) & 0xFFFFFF;
            const uint32_t bgr = (c >> 16) | (c & 0xFF00) | (c & 0xFF) << 16;
            const bool keyed = key >= 0 && (indexKey ? raw == uint32_t(key & 0xFF) : bgr == uint32_t(key));
            const uint32_t alpha = D.Reader.HasAlpha ? 255 - D.Alpha.GetPixel(x, y) : keyed ? 0 : 255;
            pixels.push_back(alpha << 24 | c);
        }
    return pixels;
}

// The fixture files by name with their lines, made once for the suite.
class PngRead : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const std::string host = FreshHostFolder();
        for (const std::string& line : Lines(PythonOutput("make_png_fixtures.py", {"make", host}))) {
            const std::string name = line.substr(0, line.find(' '));
            TMemoryStream file;
            file.LoadFromFile(platform::fs::ToProgramPath(host) + name);
            Files_[name] = Bytes(file);
            Lines_[name] = line.substr(name.size() + 1);
        }
    }
    // The files whose line starts with Kind, with the rest of their line.
    static std::vector<std::pair<std::string, std::string>> OfKind(const std::string& Kind) {
        std::vector<std::pair<std::string, std::string>> out;
        for (const auto& [name, line] : Lines_)
            if (line.starts_with(Kind + " ")) out.emplace_back(name, line.substr(Kind.size() + 1));
        return out;
    }
    static std::map<std::string, std::string> Files_, Lines_;
};
std::map<std::string, std::string> PngRead::Files_, PngRead::Lines_;

}  // namespace

// Every colour type at every depth, plain and interlaced, cut into IDAT chunks of any size, and
// every tRNS and bKGD form: the same pixels as libpng, the bitmap format by the depth mapping.
TEST_F(PngRead, DecodesEveryFormAsLibpng) {
    const auto files = OfKind("decode");
    ASSERT_GE(files.size(), 100u);
    const std::map<std::string, int> bits = {{"c0d1", 1}, {"c0d2", 4}, {"c0d4", 4}, {"c0d8", 8}, {"c0d16", 8},
                                             {"c2d8", 24}, {"c2d16", 24}, {"c3d1", 1}, {"c3d2", 4}, {"c3d4", 4},
                                             {"c3d8", 8}, {"c4d8", 8}, {"c4d16", 8}, {"c6d8", 24}, {"c6d16", 24}};
    for (const auto& [name, line] : files) {
        TDecoded d;
        Decode(d, Files_[name]);
        EXPECT_EQ(Hex(OurPixels(d)), Hex(LibpngPixels(Files_[name]))) << name;
        int32_t key, background;
        std::istringstream(line) >> key >> background;
        EXPECT_EQ(d.Reader.TransparentColour, key) << name;
        EXPECT_EQ(d.Reader.Background, background) << name;
        const std::string stem = name.substr(0, name.find_first_of("-."));
        const bool interlaced = stem.ends_with('i');
        const auto kind = bits.find(interlaced ? stem.substr(0, stem.size() - 1) : stem);
        if (kind == bits.end()) continue;
        EXPECT_EQ(d.Bitmap.BitCount(), kind->second) << name;
        EXPECT_EQ(d.Reader.BitDepth, kind->second) << name;
        EXPECT_EQ(d.Reader.IsGrey, name[1] == '0' || name[1] == '4') << name;
        EXPECT_EQ(d.Reader.HasAlpha, name[1] == '4' || name[1] == '6') << name;
        EXPECT_EQ(d.Reader.Interlace, interlaced ? 1 : 0) << name;
    }
    // A palette alpha table of one 0 entry names the transparent index and gives no alpha bitmap;
    // an entry of 128 gives an alpha bitmap.
    TDecoded one, half;
    Decode(one, Files_["key-p-one.png"]);
    Decode(half, Files_["key-p2-half.png"]);
    EXPECT_TRUE(!one.Reader.HasAlpha && one.Alpha.Empty());
    EXPECT_TRUE(half.Reader.HasAlpha && half.Alpha.Width() == half.Bitmap.Width());
}

// Grey samples marked as palette indices (when allowed), and a PLTE chunk with a stray byte
// followed by a tRNS: pixels by the format's rules, indices past the palette black.
TEST_F(PngRead, DecodesPaletteGreyAndShortPalettes) {
    for (const auto& [name, line] : OfKind("rgba")) {
        TDecoded d;
        d.Reader.AllowPalettedGreyAlpha = true;
        Decode(d, Files_[name]);
        std::istringstream fields(line);
        int w, h;
        std::string pixels;
        fields >> w >> h >> pixels;
        EXPECT_EQ(d.Bitmap.Width(), w) << name;
        EXPECT_EQ(d.Bitmap.Height(), h) << name;
        EXPECT_EQ(Hex(OurPixels(d)), pixels) << name;
    }
    TDecoded allowed, plain;
    allowed.Reader.AllowPalettedGreyAlpha = true;
    Decode(allowed, Files_["paletted-greyalpha.png"]);
    Decode(plain, Files_["paletted-greyalpha.png"]);
    EXPECT_TRUE(allowed.Reader.HasAlpha && !allowed.Reader.IsGrey && allowed.Bitmap.BitCount() == 8);
    EXPECT_TRUE(plain.Reader.IsGrey);
}

TEST_F(PngRead, ColourWithFiveBitSamplesLoadsAt15Or16BitsWhenAllowed) {
    for (const auto& [name, depth] : {std::pair{"sbit555.png", 15}, std::pair{"sbit565.png", 16},
                                      std::pair{"sbit555i.png", 15}, std::pair{"sbit565i.png", 16}}) {
        TDecoded d;
        d.Reader.Allow15And16Bit = true;
        Decode(d, Files_[name]);
        EXPECT_EQ(d.Reader.BitDepth, depth) << name;
        ASSERT_EQ(d.Bitmap.BitCount(), 16) << name;
        TPixels expected = LibpngPixels(Files_[name]);
        for (uint32_t& p : expected) {
            uint8_t r, g, b;
            UnpackRGB(d.Bitmap.NowPixelFormat(), PackRGB(d.Bitmap.NowPixelFormat(), p >> 16, p >> 8, p), r, g, b);
            p = 0xFF000000 | r << 16 | g << 8 | b;
        }
        EXPECT_EQ(Hex(OurPixels(d)), Hex(expected)) << name;
    }
}

// The chunks kept for the caller, each only where it counts; the header alone without a bitmap;
// the source left after the last chunk.
TEST_F(PngRead, KeepsTheAncillaryChunks) {
    std::array<uint8_t, 7> time{};
    std::array<uint32_t, 8> chromaticities{};
    std::array<uint8_t, 4> gif{};
    TDecoded d;
    d.Reader.Time = &time;
    d.Reader.Chromaticities = &chromaticities;
    d.Reader.GifData = &gif;
    TMemoryStream stream = StreamOf(Files_["chunks.png"] + "trailing bytes");
    d.Reader.LoadStream(&d.Bitmap, &d.Alpha, stream);
    EXPECT_EQ(stream.Position(), int64_t(Files_["chunks.png"].size()));
    EXPECT_DOUBLE_EQ(d.Reader.Gamma, 0.45455);  // the gAMA after PLTE does not count
    EXPECT_EQ(d.Reader.SignificantBits, 0x050605u);
    EXPECT_EQ(d.Reader.PhysicalSize.X, 2835);  // the pHYs after the image data does not count
    EXPECT_EQ(d.Reader.PhysicalSize.Y, 2834);
    EXPECT_EQ(d.Reader.PhysicalSize.Unit, 1);
    EXPECT_EQ(d.Reader.Comment, "first\r\n\r\nsecond\r\n");
    EXPECT_EQ(time, (std::array<uint8_t, 7>{0x07, 0xEA, 12, 7, 18, 59, 30}));
    EXPECT_EQ(chromaticities, (std::array<uint32_t, 8>{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(gif, (std::array<uint8_t, 4>{2, 1, 0, 0x30}));

    TPngReadStream header;
    TMemoryStream again = StreamOf(Files_["c6d16i.png"]);
    header.LoadStream(nullptr, nullptr, again);
    EXPECT_EQ(header.Width(), 13u);
    EXPECT_EQ(header.Height(), 11u);
    EXPECT_TRUE(header.HasAlpha && header.Interlace == 1 && header.BitDepth == 24);
}

// Progress goes to the bitmap's event: starting at 0, the header chunks up to 30 percent, the
// rows of every pass after them, ending at 100.
TEST_F(PngRead, ReportsProgressByChunksThenRows) {
    TDecoded d;
    std::vector<std::pair<TProgressStage, int>> reports;
    d.Bitmap.OnProgress = [&](TDIB&, TProgressStage Stage, uint8_t Percent, bool, const TRect&, const std::string&) {
        reports.emplace_back(Stage, Percent);
    };
    Decode(d, Files_["big1.png"]);
    ASSERT_GE(reports.size(), 20u);
    EXPECT_EQ(reports.front(), std::pair(TProgressStage::psStarting, 0));
    EXPECT_EQ(reports.back(), std::pair(TProgressStage::psEnding, 100));
    for (size_t i = 1; i < reports.size(); ++i) EXPECT_LT(reports[i - 1].second, reports[i].second) << i;
    EXPECT_LE(reports[1].second, 30);
}

// Broken files give the codec's texts: bad headers and depths, damaged or short image data, an
// unknown filter type, sizes that are empty, too large, or larger than the data could hold.
TEST_F(PngRead, BrokenFilesGiveTheirErrors) {
    const auto files = OfKind("error");
    ASSERT_GE(files.size(), 20u);
    for (const auto& [name, message] : files) {
        TDecoded d;
        EXPECT_EQ(ErrorOf([&] { Decode(d, Files_[name]); }), message) << name;
        EXPECT_THROW(Decode(d, Files_[name]), EPngError) << name;
    }
    // Cut anywhere, a file stops quietly before its image data, fails inside it, or (cut after
    // the last row's data) decodes whole: never a partial picture.
    const std::string& file = Files_["c2d8i.png"];
    TDecoded whole;
    Decode(whole, file);
    for (size_t size = 8; size < file.size(); ++size) {
        TDecoded d;
        const std::string error = ErrorOf([&] { Decode(d, file.substr(0, size)); });
        if (error.empty())
            EXPECT_TRUE(d.Bitmap.Empty() || OurPixels(d) == OurPixels(whole)) << size;
        else
            EXPECT_TRUE(error == "Read Image (PNG): Read Error" || error == "PNG LoadStream: Error ZLIB") << size;
    }
}

// Cursor and icon files holding PNG images read as Pillow decodes them, up to 256 pixels a side.
TEST_F(PngRead, CursorImagesStoredAsPng) {
    const auto files = OfKind("cursor");
    ASSERT_EQ(files.size(), 4u);
    for (const auto& [name, line] : files) {
        std::istringstream fields(line);
        int w, h, hx, hy;
        std::string pixels;
        fields >> w >> h >> hx >> hy >> pixels;
        TMemoryStream stream = StreamOf(Files_[name]);
        const TCursorImage image = ReadCursorFile(stream);
        EXPECT_EQ(image.Width, w) << name;
        EXPECT_EQ(image.Height, h) << name;
        EXPECT_EQ(image.HotX, hx) << name;
        EXPECT_EQ(image.HotY, hy) << name;
        EXPECT_EQ(Hex(image.Pixels), pixels) << name;
    }
    for (const auto& [name, line] : OfKind("refused")) {
        TMemoryStream stream = StreamOf(Files_[name]);
        EXPECT_THROW(ReadCursorFile(stream), EInvalidGraphic) << name;
    }
}
