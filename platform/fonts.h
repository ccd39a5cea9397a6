#pragma once
// Installed outline fonts: the faces the player may name, and the selection, metrics and glyph
// bitmaps of one face at one size and style, in the layouts the text code reads. Face names and
// character codes are code page 932; a code up to 255 is a single byte, else lead byte x 256 +
// trail byte.
//
// The Windows Japanese faces "ＭＳ ゴシック", "ＭＳ Ｐゴシック", "ＭＳ 明朝" and "ＭＳ Ｐ明朝" are
// served by IPAGothic, IPAPGothic, IPAMincho and IPAPMincho: fontconfig knows no alias for them.
// Every fontconfig request asks for lang=ja, and a match whose family is not the one asked for
// (fontconfig always answers with something) counts as no such face.
//
// Rendering choices of the FreeType backend:
// - Outlines only: embedded bitmaps are never used (FT_LOAD_NO_BITMAP), so every size and style
//   is drawn the same way and the emboldening and shearing below apply everywhere.
// - Hinting: level 0 (1-bit) uses the monochrome hinter target; levels 1..3 use the light
//   target (vertical snapping only, horizontal shapes and spacing kept). Advances are whole
//   pixels: the unhinted advance rounded to the nearest pixel.
// - Bold on a face without a bold style: the outline is emboldened by em ÷ 24 pixels on each
//   axis and the advance grows by the same amount, rounded to a pixel.
// - Italic on a face without an italic style: the outline is sheared right by x += 0.2126 × y
//   (12 degrees, the slope FreeType's own oblique uses), about the baseline; the advance is kept.
#include "platform/system.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// The installed Japanese outline families, and the four Windows Japanese names when the IPA
// family standing for each is installed (with that family's pitch, weight and slant).
std::vector<FontFamily> InstalledFontFaces();
// The fontconfig family (UTF-8) that serves a face name: the IPA family for the four Windows
// names, else the name itself in UTF-8.
std::string HostFamilyOf(const std::string& face);
// The host package that installs the family serving one of the four Windows names, else empty.
std::string FontPackageOf(const std::string& face);

// Style bits of a selection.
inline constexpr uint8_t kFontBold = 1, kFontItalic = 2, kFontUnderline = 4, kFontStrikeOut = 8;

inline constexpr int32_t kMaxFontHeight = 2048;

// The outline text metrics record of a selected font (212 bytes, little-endian, the Windows
// OUTLINETEXTMETRICA layout). Offsets of the fields filled in; the rest stay zero.
struct OutlineMetricsLayout {
    static constexpr size_t otmSize = 0, tmHeight = 4, tmAscent = 8, tmDescent = 12, tmInternalLeading = 16,
                            tmExternalLeading = 20, tmAveCharWidth = 24, tmMaxCharWidth = 28, tmWeight = 32,
                            tmItalic = 52, tmUnderlined = 53, tmStruckOut = 54, tmPitchAndFamily = 55,
                            tmCharSet = 56, otmEMSquare = 92,
                            otmAscent = 96, otmDescent = 100, otmLineGap = 104, otmMacAscent = 132,
                            otmMacDescent = 136, otmMacLineGap = 140, otmsStrikeoutSize = 180,
                            otmsStrikeoutPosition = 184, otmsUnderscoreSize = 188,
                            otmsUnderscorePosition = 192, Size = 212;
};
using OutlineMetrics = std::array<uint8_t, OutlineMetricsLayout::Size>;
int32_t ReadMetric(const OutlineMetrics& metrics, size_t offset);

// Where a glyph's black box lies in its character cell, in whole pixels: the origin is the box's
// top-left corner, x right of the pen, y up from the baseline.
struct GlyphMetrics {
    uint32_t blackBoxX = 0, blackBoxY = 0;
    int32_t originX = 0, originY = 0;
    int16_t cellIncX = 0, cellIncY = 0;
};

// A character's placement: a = space before the black box, b = its width, c = space after it
// (a + b + c is the advance).
struct AbcWidths {
    int32_t a = 0;
    uint32_t b = 0;
    int32_t c = 0;
};

// A glyph's pixels as the font service holds them, until its next call: the top row at top and
// each next one pitch bytes on. Level 0: 1 bit per pixel, bit 7 of a row's first byte the
// leftmost pixel; levels 1..3: a byte per pixel, whose value at the level (0..4, 0..16 or
// 0..64) values gives, a table that stays as it is while the service lasts.
struct GlyphBitmap {
    const uint8_t* top = nullptr;
    ptrdiff_t pitch = 0;
    const std::array<uint8_t, 256>* values = nullptr;
};

// One font selected at a time. A glyph's buffer size is that of its rows laid out by antialias
// level: level 0 with 1 bit per pixel, each row padded to a multiple of 32 bits; levels 1..3
// with one byte per pixel, each row padded to a multiple of 4 bytes.
class FontService {
public:
    virtual ~FontService() = default;
    // Selects a face at a height (positive: the cell height, so pixels per em = height x
    // unitsPerEm / (OS/2 usWinAscent + usWinDescent), rounded to a whole pixel; negative: the
    // pixels per em) with the style bits. False when the face is not installed or the height is 0
    // or beyond kMaxFontHeight either way (which bounds a glyph's bitmap); the previous selection
    // stays.
    virtual bool Select(const std::string& face, int32_t height, uint8_t style) = 0;
    // The selected font's outline text metrics (all zero before a selection).
    virtual const OutlineMetrics& Metrics() const = 0;
    // The glyph of a code at an antialias level (0..3) in the selected font: its metrics, and the
    // buffer size in bytes (0 for a glyph without pixels; -1 when nothing is selected, the code is
    // not a character or the level is out of range). With Bitmap, where its pixels are.
    virtual int32_t Glyph(uint16_t code, int level, GlyphMetrics& metrics, GlyphBitmap* bitmap) = 0;
    // The a, b, c widths of a code in the selected font; false as Glyph fails.
    bool CharAbcWidths(uint16_t code, AbcWidths& widths);
    // The width of the one character as text (its advance); 0 when it has none.
    int32_t TextWidth(uint16_t code);
};

// FreeType over fontconfig, on the installed faces.
std::unique_ptr<FontService> CreateFreeTypeFontService();

// Fixed boxes for tests of the text code: every face counts as installed; a glyph of height h
// (the selected height) has a black box of h ÷ 2 × (h - 2) at origin (1, ascent - 1) with
// increment h ÷ 2 + 2, filled with the level's full value; the codes 0x20 and 0x8140 (spaces)
// have no pixels and advance h ÷ 2 and h. Ascent is h × 7 ÷ 8, underline and strike-out
// h ÷ 16 thick (at least 1), strike-out at h ÷ 3 above the baseline.
std::unique_ptr<FontService> CreateFakeFontService();

}  // namespace platform
