#include "text/fontpixels.h"

#include "graphics/graphic.h"
#include "text/packfonts.h"

#include <algorithm>
#include <cstring>
#include <iterator>

TFontPixelManager* FontPixelManager = nullptr;

namespace {

using L = platform::OutlineMetricsLayout;

constexpr uint8_t kDefaultCharSet = 1;
const std::string kFallbackFace = "ＭＳ ゴシック";
constexpr const char* kStandardFaces[] = {"ＭＳ Ｐゴシック", "ＭＳ Ｐ明朝", "ＭＳ ゴシック", "ＭＳ 明朝"};

// Coverage bytes of the grey levels, source value 0 first.
constexpr uint8_t kCoverage1[] = {0, 79, 127, 207, 255};
constexpr uint8_t kCoverage2[] = {0, 43, 55, 67, 79, 91, 103, 115, 159, 171, 183, 195, 207, 219, 231, 243, 255};
constexpr uint8_t kCoverage3[] = {0,   18,  21,  24,  27,  30,  33,  36,  55,  58,  61,  64,  67,  70,  73,  76,  79,
                                  82,  85,  88,  91,  94,  97,  100, 119, 122, 125, 128, 131, 134, 137, 140, 143, 146,
                                  149, 152, 155, 158, 161, 164, 183, 186, 189, 192, 195, 198, 201, 204, 207, 210, 213,
                                  216, 219, 222, 225, 228, 231, 234, 237, 240, 243, 246, 249, 252, 255};

// The coverage table of a grey level (1..3) as 256 entries: values beyond the level's range are
// full.
const std::array<uint8_t, 256>& CoverageTable(int Level) {
    static const auto tables = [] {
        std::array<std::array<uint8_t, 256>, 3> made;
        auto fill = [](std::array<uint8_t, 256>& table, const auto& values) {
            table.fill(255);
            std::copy(std::begin(values), std::end(values), table.begin());
        };
        fill(made[0], kCoverage1);
        fill(made[1], kCoverage2);
        fill(made[2], kCoverage3);
        return made;
    }();
    return tables[Level - 1];
}

// Placement of a black box of Width in the cell, and the line numbers the style asks for, from a
// glyph's origin and increment and its font's outline metrics.
void PlaceGlyph(TFontPixel& Glyph, int32_t Width, int32_t OriginX, int32_t OriginY, int32_t CellIncX,
                const platform::OutlineMetrics& Font, uint8_t Style) {
    const int32_t ascent = platform::ReadMetric(Font, L::tmAscent);
    Glyph.OffsetX = std::max(0, OriginX);
    Glyph.OffsetY = std::max(0, ascent - OriginY);
    Glyph.TrailingSpace = std::max(0, CellIncX - (Width + Glyph.OffsetX));
    Glyph.UnderlineSize = Style & platform::kFontUnderline ? platform::ReadMetric(Font, L::otmsUnderscoreSize) : 0;
    if (Style & platform::kFontStrikeOut) {
        Glyph.StrikeOutTop = ascent - platform::ReadMetric(Font, L::otmsStrikeoutPosition);
        Glyph.StrikeOutSize = platform::ReadMetric(Font, L::otmsStrikeoutSize);
    }
}

}  // namespace

std::vector<uint16_t> CharCodes(const std::string& Text) {
    std::vector<uint16_t> codes;
    for (size_t i = 0; i < Text.size(); ++i) {
        const uint8_t b = uint8_t(Text[i]);
        if (IsLeadByte(b) && i + 1 < Text.size())
            codes.push_back(uint16_t(b << 8 | uint8_t(Text[++i])));
        else
            codes.push_back(b);
    }
    return codes;
}

TFontPixelManager::TFontPixelManager(TFontServiceFactory Factory)
    : Fonts(ItemClass<TInstalledFont>), service_(Factory()), factory_(std::move(Factory)) {
    TStringList names;
    ::GetFontNames(names, true, true, false);
    for (int i = 0; i < names.Count(); ++i) {
        auto& font = static_cast<TInstalledFont&>(Fonts.AddNamed(names.Strings(i)));
        GetFontLogFont(names.Strings(i), font.LogFont, font.TextMetric);
    }
}

TFontPixelManager::~TFontPixelManager() = default;

TFontPixel* TFontPixelManager::GetGlyph(uint16_t Code, const std::string& Face, int32_t Size, uint8_t Style) {
    auto& bucket = Buckets[Code & 255];
    for (TRecentList::iterator place : bucket) {
        const TFontPixel& cached = **place;
        if (cached.Code == Code && cached.Size == Size && cached.Style == Style &&
            cached.AntialiasLevel == AntialiasLevel && cached.FaceName == Face) {
            Recent.splice(Recent.begin(), Recent, place);
            return place->get();
        }
    }

    TFontPixel& glyph = Admit(bucket);
    glyph.Code = Code;
    glyph.FaceName = Face;
    glyph.Size = Size;
    glyph.Style = Style;
    glyph.AntialiasLevel = AntialiasLevel;
    glyph.Manager = this;
    try {
        Render(glyph);
    } catch (...) {
        glyph.Surface.SetSize(0, 0, 8);  // not the picture of the glyph made over
        throw;
    }
    return &glyph;
}

TFontPixel& TFontPixelManager::Admit(std::vector<TRecentList::iterator>& Bucket) {
    if (Recent.size() < kMaxGlyphs) {
        Recent.push_front(std::make_unique<TFontPixel>());
    } else {
        TFontPixel& oldest = *Recent.back();
        auto& bucket = Buckets[oldest.Code & 255];
        bucket.erase(std::find_if(bucket.begin(), bucket.end(),
                                  [&](TRecentList::iterator place) { return place->get() == &oldest; }));
        Recent.splice(Recent.begin(), Recent, std::prev(Recent.end()));
        oldest.OffsetX = oldest.OffsetY = oldest.UnderlineSize = 0;
        oldest.StrikeOutTop = oldest.StrikeOutSize = oldest.TrailingSpace = 0;
    }
    Bucket.push_back(Recent.begin());
    return *Recent.front();
}

void TFontPixelManager::Render(TFontPixel& Glyph) {
    TInstalledFont* installed = FindFont(Glyph.FaceName);
    if (!installed && PixelFontManager) {
        TGlyphMetrics m;
        TOutlineMetricsRecord font{};
        if (PixelFontManager->GetGlyph(Glyph.FaceName, Glyph.Size, Glyph.Style, Glyph.Code, m, font, Glyph.Surface)) {
            PlaceGlyph(Glyph, int32_t(m.gmBlackBoxX), m.gmptGlyphOriginX, m.gmptGlyphOriginY, m.gmCellIncX, font,
                       Glyph.Style);
            return;
        }
    }

    TInstalledFont& font = RenderingFont(installed);
    platform::GlyphMetrics m;
    platform::GlyphBitmap bitmap;
    int32_t bufferSize = 0;
    const bool found = SelectFont(Glyph.Code, Glyph.FaceName, font, Glyph.Style, Glyph.Size, m, bufferSize, &bitmap);
    if (found && bufferSize > 0) {
        StoreGlyphBitmap(Glyph, m, bitmap, Glyph.Style);
        return;
    }
    Glyph.Surface.SetSize(0, 0, 8);
    if (found) Glyph.TrailingSpace = service_->TextWidth(Glyph.Code);
}

void TFontPixelManager::GetGlyphMetrics(uint16_t Code, const std::string& Face, uint8_t Style, int32_t Size,
                                        int32_t& CellHeight, int32_t& TrailingSpace, int32_t& BoxWidth,
                                        int32_t& OffsetX) {
    CellHeight = Size;
    TrailingSpace = BoxWidth = OffsetX = 0;
    TInstalledFont* installed = FindFont(Face);
    if (!installed && PixelFontManager) {
        TGlyphMetrics m;
        TOutlineMetricsRecord font{};
        if (PixelFontManager->GetGlyphMetrics(Face, Size, Style, Code, m, font)) {
            OffsetX = std::max(0, m.gmptGlyphOriginX);
            BoxWidth = int32_t(m.gmBlackBoxX);
            TrailingSpace = std::max(0, m.gmCellIncX - (OffsetX + BoxWidth));
            return;
        }
    }

    TInstalledFont& font = RenderingFont(installed);
    platform::GlyphMetrics m;
    int32_t bufferSize = 0;
    if (!SelectFont(Code, Face, font, Style, Size, m, bufferSize, nullptr)) {
        BoxWidth = 16;
        return;
    }
    if (bufferSize == 0) {
        TrailingSpace = service_->TextWidth(Code);
        return;
    }
    OffsetX = std::max(0, m.originX);
    BoxWidth = int32_t(m.blackBoxX);
    TrailingSpace = std::max(0, m.cellIncX - (OffsetX + BoxWidth));
}

bool TFontPixelManager::GetCharAbcWidths(uint16_t Code, const std::string& Face, uint8_t Style, int32_t Size,
                                         platform::AbcWidths& Widths) {
    Widths = platform::AbcWidths{};
    const TInstalledFont* font = FindFont(Face);
    if (!font) font = FindFont(kFallbackFace);
    if (!font) return false;
    if (!measure_) measure_ = factory_();
    if (font->Name() != measureFace_ || Size != measureSize_ || Style != measureStyle_) {
        if (!measure_->Select(font->Name(), Size, Style)) return false;
        measureFace_ = font->Name();
        measureSize_ = Size;
        measureStyle_ = Style;
        measuredCodes_ = nullptr;
    }
    if (measuredCount_ >= kMaxMeasured) {
        measured_.clear();
        measuredCount_ = 0;
        measuredCodes_ = nullptr;
    }
    if (!measuredCodes_) measuredCodes_ = &measured_[{measureFace_, measureSize_, measureStyle_}];
    auto [entry, added] = measuredCodes_->try_emplace(Code);
    if (added) {
        entry->second.Found = measure_->CharAbcWidths(Code, entry->second.Widths);
        ++measuredCount_;
    }
    Widths = entry->second.Widths;
    return entry->second.Found;
}

TInstalledFont* TFontPixelManager::FindFont(const std::string& Face) const {
    int index = Fonts.IndexOf(Face);
    return index < 0 ? nullptr : &static_cast<TInstalledFont&>(Fonts.Items(index));
}

uint8_t TFontPixelManager::GetCharSet(const std::string& Face) const {
    const TInstalledFont* font = FindFont(Face);
    return font ? font->LogFont.CharSet : kDefaultCharSet;
}

void TFontPixelManager::GetFontNames(TStringList& Strings, bool FixedPitchOnly) const {
    for (int i = 0; i < Fonts.Count(); ++i) {
        const auto& font = static_cast<const TInstalledFont&>(Fonts.Items(i));
        if (!FixedPitchOnly || !(font.TextMetric.tmPitchAndFamily & TMPF_FIXED_PITCH)) Strings.Add(font.Name());
    }
    if (!PixelFontManager) return;
    for (int i = 0; i < PixelFontManager->Count(); ++i) {
        const TPixelFontSection* section = PixelFontManager->GetSection(i);
        if (section->Listed() && Strings.IndexOf(section->FaceName()) < 0) Strings.Add(section->FaceName());
    }
}

void TFontPixelManager::KeepStandardFonts() {
    for (int i = Fonts.Count() - 1; i >= 0; --i) {
        const std::string& name = Fonts.Items(i).Name();
        if (std::none_of(std::begin(kStandardFaces), std::end(kStandardFaces),
                         [&](const char* standard) { return name == standard; }))
            Fonts.Delete(i);
    }
}

TInstalledFont& TFontPixelManager::RenderingFont(TInstalledFont* Installed) const {
    TInstalledFont* font = Installed ? Installed : FindFont(kFallbackFace);
    if (!font)
        throw EFontPixelError("標準フォントがインストールされていません（パッケージ " +
                              platform::FontPackageOf(kFallbackFace) + "）");
    return *font;
}

bool TFontPixelManager::SelectFont(uint16_t Code, const std::string& Face, TInstalledFont& Font, uint8_t Style,
                                   int32_t Size, platform::GlyphMetrics& M, int32_t& BufferSize,
                                   platform::GlyphBitmap* Bitmap) {
    if (Face != CurrentFace || Size != CurrentSize || Style != CurrentStyle || Font.Name() != selectedFont_) {
        TLogFont& logFont = Font.LogFont;
        logFont.Height = Size;
        logFont.Weight = Style & platform::kFontBold ? 700 : 400;
        logFont.Italic = Style & platform::kFontItalic;
        logFont.Underline = Style & platform::kFontUnderline;
        logFont.StrikeOut = Style & platform::kFontStrikeOut;
        if (!service_->Select(Font.Name(), Size, Style)) return false;
        Metrics = service_->Metrics();
        CurrentFace = Face;
        selectedFont_ = Font.Name();
        CurrentSize = Size;
        CurrentStyle = Style;
    }
    // The glyph comes with its size: the bitmap is made once.
    BufferSize = service_->Glyph(Code, AntialiasLevel, M, Bitmap);
    if (BufferSize < 0 && AntialiasLevel != 0) {
        // Grey failing while the 1-bit form works means the font cannot be drawn in grey: every
        // later glyph is 1-bit. A code the font cannot draw at all leaves the level alone.
        BufferSize = service_->Glyph(Code, 0, M, Bitmap);
        if (BufferSize >= 0) AntialiasLevel = 0;
    }
    return BufferSize >= 0;
}

void TFontPixelManager::StoreGlyphBitmap(TFontPixel& Glyph, const platform::GlyphMetrics& M,
                                         const platform::GlyphBitmap& Bitmap, uint8_t Style) {
    const int64_t width = M.blackBoxX, height = M.blackBoxY;
    PlaceGlyph(Glyph, int32_t(width), M.originX, M.originY, M.cellIncX, Metrics, Style);
    if (width <= 0 || height <= 0) {
        Glyph.Surface.SetSize(0, 0, 8);
        return;
    }
    CheckImageSize(width, height, 8);
    Glyph.Surface.SetSize(int32_t(width), int32_t(height), 8);

    const int level = std::clamp(AntialiasLevel, 0, 3);
    if (level != 0 && (Bitmap.values != coverageValues_ || level != coverageLevel_)) {
        const std::array<uint8_t, 256>& table = CoverageTable(level);
        for (size_t v = 0; v < 256; ++v) coverage_[v] = table[(*Bitmap.values)[v]];
        coverageValues_ = Bitmap.values;
        coverageLevel_ = level;
    }
    // Every pixel is written: a surface made over at the same size keeps the old picture.
    uint8_t* row = Glyph.Surface.Lock(0, 0);
    const int32_t step = Glyph.Surface.GetNextLine();
    const uint8_t* source = Bitmap.top;
    for (int64_t y = 0; y < height; ++y, row += step, source += Bitmap.pitch) {
        if (level == 0) {
            for (int64_t x = 0; x < width; ++x) row[x] = source[x / 8] & (0x80 >> (x % 8)) ? 255 : 0;
        } else {
            // Eight bytes a step: the loop's own count and test cost as much as a byte's lookup.
            int64_t x = 0;
            for (; x + 8 <= width; x += 8)
                for (int64_t i = x; i < x + 8; ++i) row[i] = coverage_[source[i]];
            for (; x < width; ++x) row[x] = coverage_[source[x]];
        }
    }
    Glyph.Surface.Unlock();
}

void InitializeFontPixels() {
    WriteLog("TFontPixelManager.Create");
    FontPixelManager = new TFontPixelManager;
    PixelFontManager = new TPixelFontManager;
    WriteLog("TFontPixelManager.Create.done");
}

void FinalizeFontPixels() {
    delete FontPixelManager;
    FontPixelManager = nullptr;
    delete PixelFontManager;
    PixelFontManager = nullptr;
}
