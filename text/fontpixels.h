#pragma once
// The glyph rasteriser: turns a character code, a face, a size and a style into a cached glyph
// of 8-bit coverage (0 empty, 255 full) and draws it, with border, drop shadow, underline and
// strike-out, into a colour surface and an 8-bit mask. An installed face is always rasterised by
// the font service; a packed pixel font serves only faces that are not installed, and a face
// that neither knows falls back to "ＭＳ ゴシック".
//
// Character codes are Shift-JIS: a single byte is its value, a double-byte character lead byte x
// 256 + trail byte. Style bits: 1 bold, 2 italic, 4 underline, 8 strike-out.
#include "core/hash.h"
#include "core/header.h"
#include "core/stringlist.h"
#include "core/sysutils.h"
#include "graphics/dibx.h"
#include "platform/errors.h"
#include "platform/fonts.h"

#include <array>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

class TFontPixelManager;

// The widest border or shadow a glyph is drawn with; the surfaces it is drawn into grow with it,
// so anything wider is damage.
constexpr int32_t MaxOutlineSize = 255;
// The largest font size (either sign) a record may give: a cell taller than any title's screen.
constexpr int32_t MaxStoredFontSize = 1024;
// Raises the read error when a stored font size lies beyond MaxStoredFontSize or a stored border
// or shadow size above MaxOutlineSize.
void CheckStoredGlyphSizes(int32_t FontSize, int32_t BorderSize, int32_t ShadowSize);
// A border or shadow size set by markup or a property, brought into 0..MaxOutlineSize.
inline int32_t ClampOutline(int32_t Size) { return Size < 0 ? 0 : Size > MaxOutlineSize ? MaxOutlineSize : Size; }
// The widest border drawn around a glyph of font size FontSize (either sign): the size itself, at
// least 1. A wider border only grows the blot; the surfaces the glyph is drawn into grow with it.
inline int32_t GlyphBorderLimit(int32_t FontSize) {
    const int64_t size = FontSize < 0 ? -int64_t(FontSize) : FontSize;
    return size < 1 ? 1 : size > MaxOutlineSize ? MaxOutlineSize : int32_t(size);
}

// The character codes of a Shift-JIS text: a lead byte with a byte after it makes lead x 256 +
// trail, every other byte stands for itself.
std::vector<uint16_t> CharCodes(const std::string& Text);

// Neither the face asked for nor "ＭＳ ゴシック" is installed and no pixel font has the glyph:
// "標準フォントがインストールされていません" with the package that installs the standard face.
class EFontPixelError : public EVelaError {
public:
    using EVelaError::EVelaError;
};

// One installed face, named by its face name (found without regard to case).
class TInstalledFont : public THashCollectionItem {
public:
    // Height, weight, italic, underline and strike-out are overwritten at each selection.
    TLogFont LogFont;
    TTextMetric TextMetric;
};

// One rendered glyph. Surface holds the coverage of its black box (empty, 0 x 0, for a glyph
// without pixels); the advance is OffsetX + width + TrailingSpace.
class TFontPixel {
public:
    TDIBX Surface;
    // The cache key.
    uint16_t Code = 0;
    std::string FaceName;
    int32_t Size = 0;  // the cell height asked for
    uint8_t Style = 0;
    int32_t AntialiasLevel = 0;
    // Placement in the cell, in pixels.
    int32_t OffsetX = 0;  // cell's left edge to the black box, >= 0
    int32_t OffsetY = 0;  // cell's top edge to the black box, >= 0
    int32_t UnderlineSize = 0;  // only with the underline bit
    int32_t StrikeOutTop = 0;   // from the cell top; only with the strike-out bit
    int32_t StrikeOutSize = 0;
    int32_t TrailingSpace = 0;  // black box's right edge to the next cell, >= 0; the whole advance without pixels
    // The manager that made the glyph; it measures the centring shift.
    TFontPixelManager* Manager = nullptr;

    int32_t GetWidth() const { return Surface.GetWidth(); }
    int32_t GetHeight() const { return Surface.GetHeight(); }

    // Draws the glyph inside the character cell Cell of Dest (15, 16 or 32 bits receive glyph
    // pixels; other depths only the line fills) and the 8-bit Mask of the same size, with a
    // border of BorderSize (at most GlyphBorderLimit(Size)) and a shadow ShadowSize down and
    // right. ShadowLineFromLeft marks the first character of a run drawn alike (its shadow lines
    // start S pixels in), CutLineAtRight the last (its lines stop S pixels short), so line
    // segments inside a run join. Colours are raw pixel values of Dest. FillMode fills the glyph
    // box (plain case) or clears the mask under it (border or shadow) first. Touched receives the
    // union of every rectangle written, (0, 0, 0, 0) for an empty glyph.
    void Draw(TCustomDIBX& Dest, TCustomDIBX& Mask, const TRect& Cell, int32_t BorderSize, int32_t ShadowSize,
              bool ShadowLineFromLeft, bool CutLineAtRight, int32_t TextColor, int32_t BorderColor,
              int32_t ShadowColor, TRect& Touched, bool FillMode);

    // Per-pixel workers: the glyph box placed at (X, Y), clipped to the destination's clip
    // rectangle first; c is the coverage byte. Channels blend as ((new & mask) x w + (old & mask)
    // x (255 - w)) shr 8, and mask, over the destination's bit masks.
    // Dest := Color where c != 0.
    void DrawSolid(TCustomDIBX& Dest, int32_t X, int32_t Y, int32_t Color) const;
    // c > 254: Fore; 0 < c <= 254: Fore weighted c over Back; c = 0 leaves Dest.
    void DrawTwoColour(TCustomDIBX& Dest, int32_t X, int32_t Y, int32_t Fore, int32_t Back) const;
    // Straight-alpha "over" of Color with coverage c into Dest and Mask.
    void DrawOver(TCustomDIBX& Dest, TCustomDIBX& Mask, int32_t X, int32_t Y, int32_t Color) const;
    // DrawOver's rule at every offset of the (2B + 1)² square but its centre, for every pixel
    // with c != 0, glyph pixels in row order; worked out per target pixel at a cost that does not
    // grow with B.
    void DrawBorder(TCustomDIBX& Dest, TCustomDIBX& Mask, int32_t X, int32_t Y, int32_t B, int32_t Color) const;
    // Mask := 255 where c != 0.
    void MaskOpaque(TCustomDIBX& Mask, int32_t X, int32_t Y) const;
    // Mask := max(Mask, c).
    void MaskMax(TCustomDIBX& Mask, int32_t X, int32_t Y) const;
};

class TFontPixelManager {
public:
    using TFontServiceFactory = std::function<std::unique_ptr<platform::FontService>()>;
    using TRecentList = std::list<std::unique_ptr<TFontPixel>>;
    static constexpr size_t kMaxGlyphs = 256;
    static constexpr size_t kMaxMeasured = 65536;

    // Lists the installed faces (GetFontNames, sorted, vertical faces included) with their
    // descriptions. Factory makes the font service that renders (and a second one that measures
    // for the centring shift); the FreeType one unless a test gives another.
    explicit TFontPixelManager(TFontServiceFactory Factory = platform::CreateFreeTypeFontService);
    TFontPixelManager(const TFontPixelManager&) = delete;
    TFontPixelManager& operator=(const TFontPixelManager&) = delete;
    ~TFontPixelManager();

    // 0..3 (1-bit, 5, 17 or 65 grey values); callers set it before asking for glyphs. It drops
    // to 0 for good when the font service cannot render grey.
    int32_t AntialiasLevel = 3;
    // The installed faces, TInstalledFont items.
    THashCollection Fonts;

    // The glyph of a code, from the cache (exact face, size, style and the current level) or
    // newly made; most recently used first. It stays valid until kMaxGlyphs other glyphs have
    // been made since its last use. EFontPixelError when no face serves it (the glyph stays
    // cached, empty); an empty glyph when the font service fails.
    TFontPixel* GetGlyph(uint16_t Code, const std::string& Face, int32_t Size, uint8_t Style);
    // The placement of a character without keeping a glyph: CellHeight = Size; BoxWidth 16 and
    // the rest 0 when the font service fails. EFontPixelError as GetGlyph.
    void GetGlyphMetrics(uint16_t Code, const std::string& Face, uint8_t Style, int32_t Size, int32_t& CellHeight,
                         int32_t& TrailingSpace, int32_t& BoxWidth, int32_t& OffsetX);
    // The a, b, c widths of a code in a face, style and height, measured apart from the
    // rendering selection and kept (up to kMaxMeasured answers, then measured afresh). A face
    // that is not installed is measured in "ＭＳ ゴシック"; false when that cannot be selected
    // either or the code has no glyph.
    bool GetCharAbcWidths(uint16_t Code, const std::string& Face, uint8_t Style, int32_t Size,
                          platform::AbcWidths& Widths);

    // The installed face of that name (without regard to case); nullptr when not installed.
    TInstalledFont* FindFont(const std::string& Face) const;
    // The character set of an installed face; 1 (DEFAULT_CHARSET) when not installed.
    uint8_t GetCharSet(const std::string& Face) const;
    // Appends the installed faces (with FixedPitchOnly only fixed-pitch ones), then the face of
    // every listed pixel font that Strings does not hold yet.
    void GetFontNames(TStringList& Strings, bool FixedPitchOnly) const;
    // Drops every installed face but "ＭＳ Ｐゴシック", "ＭＳ Ｐ明朝", "ＭＳ ゴシック" and "ＭＳ 明朝".
    void KeepStandardFonts();

    // Converts a glyph bitmap of the current level from the font service into Glyph's surface
    // (its coverage, in one pass) and placement, with the line numbers of Style from the selected
    // font's metrics.
    void StoreGlyphBitmap(TFontPixel& Glyph, const platform::GlyphMetrics& M, const platform::GlyphBitmap& Bitmap,
                          uint8_t Style);

    // The selection of the rendering service.
    std::string CurrentFace;
    int32_t CurrentSize = 0;
    uint8_t CurrentStyle = 0;
    // The selected font's outline metrics; its tmAscent is the manager's ascent.
    platform::OutlineMetrics Metrics{};

    // Every cached glyph, most recently used first (owning), and the same glyphs by the low
    // byte of their code.
    TRecentList Recent;
    std::array<std::vector<TRecentList::iterator>, 256> Buckets;

private:
    // Selects the installed Font for Face at Size and Style (kept when Face, Size and Style equal
    // the current ones) and asks Code's glyph at the current level (with Bitmap, where its pixels
    // are); drops to level 0 when only the 1-bit form can be made. False when the selection or
    // the glyph fails.
    bool SelectFont(uint16_t Code, const std::string& Face, TInstalledFont& Font, uint8_t Style, int32_t Size,
                    platform::GlyphMetrics& M, int32_t& BufferSize, platform::GlyphBitmap* Bitmap);
    // The installed face that renders a face: Installed, the face's own when it is installed
    // (FindFont), else "ＭＳ ゴシック"; EFontPixelError when neither is installed.
    TInstalledFont& RenderingFont(TInstalledFont* Installed) const;
    // The glyph to make for a miss, first in Recent and in Bucket: a new one, or at kMaxGlyphs the
    // least recently used made over (its key and placement to be set, its surface still the old
    // picture, whose memory the new one reuses).
    TFontPixel& Admit(std::vector<TRecentList::iterator>& Bucket);
    // Makes the picture and placement of Glyph's key: from the pixel font when its face is not
    // installed, else from the font service; EFontPixelError as GetGlyph.
    void Render(TFontPixel& Glyph);

    std::unique_ptr<platform::FontService> service_;  // renders
    std::string selectedFont_;                        // the installed face selected for CurrentFace
    TFontServiceFactory factory_;
    std::unique_ptr<platform::FontService> measure_;  // measures ABC widths, made on first use
    std::string measureFace_;
    int32_t measureSize_ = 0;
    uint8_t measureStyle_ = 0;
    // The answers of GetCharAbcWidths by face, size and style, then by code; those of the
    // selection of measure_; how many are kept.
    struct TMeasured {
        platform::AbcWidths Widths;
        bool Found = false;
    };
    using TMeasuredCodes = std::unordered_map<uint16_t, TMeasured>;
    std::map<std::tuple<std::string, int32_t, uint8_t>, TMeasuredCodes> measured_;
    TMeasuredCodes* measuredCodes_ = nullptr;
    size_t measuredCount_ = 0;
    // The coverage of every byte of the font service's grey bitmaps: its value table composed
    // with the coverage table of a level, for the value table and level it was made for.
    std::array<uint8_t, 256> coverage_{};
    const std::array<uint8_t, 256>* coverageValues_ = nullptr;
    int coverageLevel_ = 0;
};

extern TFontPixelManager* FontPixelManager;

// The unit's start: creates FontPixelManager, then PixelFontManager.
void InitializeFontPixels();
// The unit's end: frees FontPixelManager, then PixelFontManager.
void FinalizeFontPixels();
