#include "platform/fonts.h"

#include "platform/encoding.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <vector>

namespace platform {

namespace {

// The Windows Japanese faces, the IPA families standing for them and the Debian packages that
// install those families.
struct StandIn {
    const char* face;  // code page 932
    const char* family;
    const char* package;
};
constexpr StandIn kStandIns[] = {
    {"ＭＳ ゴシック", "IPAGothic", "fonts-ipafont-gothic"},
    {"ＭＳ Ｐゴシック", "IPAPGothic", "fonts-ipafont-gothic"},
    {"ＭＳ 明朝", "IPAMincho", "fonts-ipafont-mincho"},
    {"ＭＳ Ｐ明朝", "IPAPMincho", "fonts-ipafont-mincho"},
};

void WriteMetric(OutlineMetrics& metrics, size_t offset, int32_t value) {
    uint32_t v = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) metrics[offset + i] = static_cast<uint8_t>(v >> (8 * i));
}

// Full coverage at a level: the top of its value range.
uint8_t LevelMaximum(int level) { return level == 0 ? 1 : static_cast<uint8_t>(1 << (2 * level)); }

uint32_t RowBytes(uint32_t width, int level) { return level == 0 ? (width + 31) / 32 * 4 : (width + 3) / 4 * 4; }

// A coverage byte (0..255) as a grey level's value (0..LevelMaximum), rounded, for levels 1..3.
const std::array<uint8_t, 256>& LevelValues(int level) {
    static const auto tables = [] {
        std::array<std::array<uint8_t, 256>, 4> made{};
        for (int l = 1; l <= 3; ++l)
            for (int v = 0; v < 256; ++v) made[size_t(l)][size_t(v)] = static_cast<uint8_t>((v * LevelMaximum(l) + 127) / 255);
        return made;
    }();
    return tables[size_t(level)];
}

// The code point of a character code, or -1 when the code is no character.
int32_t CodePointOf(uint16_t code) {
    std::string bytes = code <= 0xFF ? std::string(1, static_cast<char>(code))
                                     : std::string{static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
    std::string utf8 = Cp932ToUtf8(bytes);
    const auto* u = reinterpret_cast<const unsigned char*>(utf8.data());
    size_t n = utf8.size();
    int32_t cp;
    size_t length;
    if (n >= 1 && u[0] < 0x80) cp = u[0], length = 1;
    else if (n >= 2 && (u[0] & 0xE0) == 0xC0) cp = ((u[0] & 0x1F) << 6) | (u[1] & 0x3F), length = 2;
    else if (n >= 3 && (u[0] & 0xF0) == 0xE0) cp = ((u[0] & 0x0F) << 12) | ((u[1] & 0x3F) << 6) | (u[2] & 0x3F), length = 3;
    else return -1;
    if (length != n || cp == 0xFFFD) return -1;
    return cp;
}

// ---- FreeType ----

class FreeTypeFontService final : public FontService {
public:
    FreeTypeFontService() {
        FT_Init_FreeType(&library_);
        config_ = FcInitLoadConfigAndFonts();
    }
    ~FreeTypeFontService() override {
        for (auto& [key, face] : faces_)
            if (face.face) FT_Done_Face(face.face);
        if (library_) FT_Done_FreeType(library_);
        if (config_) FcConfigDestroy(config_);
    }

    bool Select(const std::string& face, int32_t height, uint8_t style) override {
        if (height == 0 || height > kMaxFontHeight || height < -kMaxFontHeight) return false;
        OpenFace* open = Open(face, style);
        if (!open) return false;
        FT_Face f = open->face;
        auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(f, FT_SFNT_OS2));
        auto* hhea = static_cast<TT_HoriHeader*>(FT_Get_Sfnt_Table(f, FT_SFNT_HHEA));
        auto* post = static_cast<TT_Postscript*>(FT_Get_Sfnt_Table(f, FT_SFNT_POST));
        int32_t cell = os2 ? os2->usWinAscent + os2->usWinDescent : 0;
        if (!os2 || !hhea || !post || cell <= 0 || f->units_per_EM == 0) return false;
        const int32_t em = f->units_per_EM;
        int32_t ppem = height > 0 ? static_cast<int32_t>(std::lround(double(height) * em / cell)) : -height;
        ppem = std::max(ppem, 1);
        if (FT_Set_Pixel_Sizes(f, 0, static_cast<FT_UInt>(ppem)) != 0) return false;
        auto scaled = [&](int32_t units) { return static_cast<int32_t>(std::lround(double(units) * ppem / em)); };

        using L = OutlineMetricsLayout;
        metrics_.fill(0);
        bool bold = style & kFontBold, italic = style & kFontItalic;
        int32_t ascent = scaled(os2->usWinAscent), descent = scaled(os2->usWinDescent);
        WriteMetric(metrics_, L::otmSize, L::Size);
        WriteMetric(metrics_, L::tmHeight, ascent + descent);
        WriteMetric(metrics_, L::tmAscent, ascent);
        WriteMetric(metrics_, L::tmDescent, descent);
        WriteMetric(metrics_, L::tmInternalLeading, ascent + descent - ppem);
        WriteMetric(metrics_, L::tmExternalLeading,
                    std::max(0, scaled(hhea->Ascender - hhea->Descender + hhea->Line_Gap - cell)));
        WriteMetric(metrics_, L::tmAveCharWidth, scaled(os2->xAvgCharWidth));
        WriteMetric(metrics_, L::tmMaxCharWidth, scaled(hhea->advance_Width_Max));
        WriteMetric(metrics_, L::tmWeight, bold ? 700 : 400);
        metrics_[L::tmItalic] = italic ? 0xFF : 0;
        metrics_[L::tmUnderlined] = style & kFontUnderline ? 0xFF : 0;
        metrics_[L::tmStruckOut] = style & kFontStrikeOut ? 0xFF : 0;
        // Bit 0 set means variable pitch; outline (2) and TrueType (4) faces.
        metrics_[L::tmPitchAndFamily] = static_cast<uint8_t>((open->fixedPitch ? 0 : 1) | 2 | 4);
        metrics_[L::tmCharSet] = 128;
        WriteMetric(metrics_, L::otmEMSquare, em);
        WriteMetric(metrics_, L::otmAscent, scaled(os2->sTypoAscender));
        WriteMetric(metrics_, L::otmDescent, scaled(os2->sTypoDescender));
        WriteMetric(metrics_, L::otmLineGap, scaled(os2->sTypoLineGap));
        WriteMetric(metrics_, L::otmMacAscent, scaled(hhea->Ascender));
        WriteMetric(metrics_, L::otmMacDescent, scaled(hhea->Descender));
        WriteMetric(metrics_, L::otmMacLineGap, scaled(hhea->Line_Gap));
        WriteMetric(metrics_, L::otmsStrikeoutSize, scaled(os2->yStrikeoutSize));
        WriteMetric(metrics_, L::otmsStrikeoutPosition, scaled(os2->yStrikeoutPosition));
        WriteMetric(metrics_, L::otmsUnderscoreSize, scaled(post->underlineThickness));
        WriteMetric(metrics_, L::otmsUnderscorePosition, scaled(post->underlinePosition));

        selected_ = open;
        embolden_ = bold && !(f->style_flags & FT_STYLE_FLAG_BOLD);
        shear_ = italic && !(f->style_flags & FT_STYLE_FLAG_ITALIC);
        return true;
    }

    const OutlineMetrics& Metrics() const override { return metrics_; }

    int32_t Glyph(uint16_t code, int level, GlyphMetrics& metrics, GlyphBitmap* bitmap) override {
        metrics = GlyphMetrics{};
        if (codePoints_.empty()) codePoints_.assign(size_t(1) << 16, kUnconverted);
        int32_t& cp = codePoints_[code];
        if (cp == kUnconverted) cp = CodePointOf(code);
        if (!selected_ || cp < 0 || level < 0 || level > 3) return -1;
        FT_Face f = selected_->face;
        FT_Int32 flags = FT_LOAD_NO_BITMAP | (level == 0 ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_LIGHT);
        if (FT_Load_Glyph(f, FT_Get_Char_Index(f, static_cast<FT_ULong>(cp)), flags) != 0) return -1;
        FT_GlyphSlot slot = f->glyph;
        if (slot->format != FT_GLYPH_FORMAT_OUTLINE) return -1;
        int32_t advance = static_cast<int32_t>((slot->linearHoriAdvance + 0x8000) >> 16);
        if (embolden_) {
            FT_Pos strength = FT_MulFix(f->units_per_EM, f->size->metrics.y_scale) / 24;
            FT_Outline_EmboldenXY(&slot->outline, strength, strength);
            advance += static_cast<int32_t>((strength + 32) >> 6);
        }
        if (shear_) {
            FT_Matrix shear{0x10000, 0x0366A, 0, 0x10000};
            FT_Outline_Transform(&slot->outline, &shear);
        }
        metrics.cellIncX = static_cast<int16_t>(std::clamp<int32_t>(advance, INT16_MIN, INT16_MAX));
        if (FT_Render_Glyph(slot, level == 0 ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL) != 0) return -1;
        const FT_Bitmap& rendered = slot->bitmap;
        if (rendered.width == 0 || rendered.rows == 0) return 0;
        metrics.blackBoxX = rendered.width;
        metrics.blackBoxY = rendered.rows;
        metrics.originX = slot->bitmap_left;
        metrics.originY = slot->bitmap_top;
        // The caller reads the slot's own bitmap: FreeType's coverage bytes through the level's
        // values.
        if (bitmap) *bitmap = {rendered.buffer, rendered.pitch, level == 0 ? nullptr : &LevelValues(level)};
        return static_cast<int32_t>(RowBytes(rendered.width, level) * rendered.rows);
    }

private:
    struct OpenFace {
        FT_Face face = nullptr;
        bool fixedPitch = false;
    };

    // The face serving a name in a style, opened once; nullptr when fontconfig's match is
    // another family.
    OpenFace* Open(const std::string& name, uint8_t style) {
        std::string family = HostFamilyOf(name);
        std::string key = family + char('0' + (style & (kFontBold | kFontItalic)));
        auto known = faces_.find(key);
        if (known != faces_.end()) return known->second.face ? &known->second : nullptr;
        OpenFace& open = faces_[key];
        if (!config_ || !library_) return nullptr;
        FcPattern* pattern = FcPatternCreate();
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
        FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>("ja"));
        FcPatternAddBool(pattern, FC_OUTLINE, FcTrue);
        FcPatternAddInteger(pattern, FC_WEIGHT, style & kFontBold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
        FcPatternAddInteger(pattern, FC_SLANT, style & kFontItalic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
        FcConfigSubstitute(config_, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result;
        FcPattern* match = FcFontMatch(config_, pattern, &result);
        FcPatternDestroy(pattern);
        if (!match) return nullptr;
        bool sameFamily = false;
        FcChar8* found;
        for (int i = 0; !sameFamily && FcPatternGetString(match, FC_FAMILY, i, &found) == FcResultMatch; ++i)
            sameFamily = FcStrCmpIgnoreCase(found, reinterpret_cast<const FcChar8*>(family.c_str())) == 0;
        FcChar8* file;
        int index = 0, spacing = FC_PROPORTIONAL;
        FcPatternGetInteger(match, FC_INDEX, 0, &index);
        FcPatternGetInteger(match, FC_SPACING, 0, &spacing);
        if (sameFamily && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch &&
            FT_New_Face(library_, reinterpret_cast<const char*>(file), index, &open.face) != 0)
            open.face = nullptr;
        open.fixedPitch = spacing >= FC_DUAL;
        FcPatternDestroy(match);
        return open.face ? &open : nullptr;
    }

    // The code point of each character code, converted once (a conversion opens the converter).
    static constexpr int32_t kUnconverted = -2;
    std::vector<int32_t> codePoints_;
    FT_Library library_ = nullptr;
    FcConfig* config_ = nullptr;
    std::map<std::string, OpenFace> faces_;
    OpenFace* selected_ = nullptr;
    bool embolden_ = false, shear_ = false;
    OutlineMetrics metrics_{};
};

// ---- Fixed boxes ----

class FakeFontService final : public FontService {
public:
    bool Select(const std::string& face, int32_t height, uint8_t style) override {
        if (face.empty() || height == 0 || height > kMaxFontHeight || height < -kMaxFontHeight) return false;
        height_ = std::abs(height);
        using L = OutlineMetricsLayout;
        metrics_.fill(0);
        int32_t ascent = height_ * 7 / 8, line = std::max(1, height_ / 16);
        WriteMetric(metrics_, L::otmSize, L::Size);
        WriteMetric(metrics_, L::tmHeight, height_);
        WriteMetric(metrics_, L::tmAscent, ascent);
        WriteMetric(metrics_, L::tmDescent, height_ - ascent);
        WriteMetric(metrics_, L::tmWeight, style & kFontBold ? 700 : 400);
        WriteMetric(metrics_, L::otmsStrikeoutSize, line);
        WriteMetric(metrics_, L::otmsStrikeoutPosition, height_ / 3);
        WriteMetric(metrics_, L::otmsUnderscoreSize, line);
        WriteMetric(metrics_, L::otmsUnderscorePosition, -line);
        return true;
    }

    const OutlineMetrics& Metrics() const override { return metrics_; }

    int32_t Glyph(uint16_t code, int level, GlyphMetrics& metrics, GlyphBitmap* bitmap) override {
        metrics = GlyphMetrics{};
        if (height_ == 0 || level < 0 || level > 3) return -1;
        if (code == 0x20 || code == 0x8140) {
            metrics.cellIncX = static_cast<int16_t>(code == 0x20 ? height_ / 2 : height_);
            return 0;
        }
        uint32_t width = static_cast<uint32_t>(std::max(1, height_ / 2));
        uint32_t rows = static_cast<uint32_t>(std::max(1, height_ - 2));
        metrics = {width, rows, 1, height_ * 7 / 8 - 1, static_cast<int16_t>(width + 2), 0};
        uint32_t rowBytes = RowBytes(width, level);
        int32_t size = static_cast<int32_t>(rowBytes * rows);
        if (!bitmap) return size;
        pixels_.assign(static_cast<size_t>(size), 0);
        for (uint32_t y = 0; y < rows; ++y)
            for (uint32_t x = 0; x < width; ++x) {
                uint8_t* row = pixels_.data() + y * rowBytes;
                if (level == 0) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
                else row[x] = 255;
            }
        *bitmap = {pixels_.data(), static_cast<ptrdiff_t>(rowBytes), level == 0 ? nullptr : &LevelValues(level)};
        return size;
    }

private:
    int32_t height_ = 0;
    OutlineMetrics metrics_{};
    std::vector<uint8_t> pixels_;  // the last glyph's
};

}  // namespace

int32_t ReadMetric(const OutlineMetrics& metrics, size_t offset) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t(metrics[offset + i]) << (8 * i);
    return static_cast<int32_t>(v);
}

std::vector<FontFamily> InstalledFontFaces() {
    std::vector<FontFamily> faces = JapaneseFontFamilies();
    const size_t hostCount = faces.size();
    for (const StandIn& standIn : kStandIns)
        for (size_t i = 0; i < hostCount; ++i) {
            const auto& names = faces[i].hostNames;
            if (std::find(names.begin(), names.end(), standIn.family) == names.end()) continue;
            FontFamily face = faces[i];
            face.name = standIn.face;
            faces.push_back(face);
            break;
        }
    return faces;
}

std::string HostFamilyOf(const std::string& face) {
    for (const StandIn& standIn : kStandIns)
        if (face == standIn.face) return standIn.family;
    return Cp932ToUtf8(face);
}

std::string FontPackageOf(const std::string& face) {
    for (const StandIn& standIn : kStandIns)
        if (face == standIn.face) return standIn.package;
    return {};
}

bool FontService::CharAbcWidths(uint16_t code, AbcWidths& widths) {
    GlyphMetrics metrics;
    widths = AbcWidths{};
    if (Glyph(code, 3, metrics, nullptr) < 0) return false;
    widths.a = metrics.originX;
    widths.b = metrics.blackBoxX;
    widths.c = metrics.cellIncX - metrics.originX - static_cast<int32_t>(metrics.blackBoxX);
    return true;
}

int32_t FontService::TextWidth(uint16_t code) {
    GlyphMetrics metrics;
    return Glyph(code, 3, metrics, nullptr) < 0 ? 0 : metrics.cellIncX;
}

std::unique_ptr<FontService> CreateFreeTypeFontService() { return std::make_unique<FreeTypeFontService>(); }
std::unique_ptr<FontService> CreateFakeFontService() { return std::make_unique<FakeFontService>(); }

}  // namespace platform
