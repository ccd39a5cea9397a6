#pragma once
// Packed pixel fonts (".vft"): every glyph of one face at one size and style, already rasterised
// to 8-bit coverage, with the face's outline text metrics. A loaded file stays open and glyph
// pixels are read from it on demand; the glyph index is inflated once at load.
//
// File layout (little-endian): the 14-byte magic "VelaPixelFont" and a 0 byte; a 308-byte header
// (u32 index size I at +4, the face name of up to 64 bytes at +12, int32 size at +76, the style
// byte at +80, u32 glyph count N at +88, the 212-byte outline text metrics at +92, the listing
// flag at +304); the zlib-compressed index of N 18-byte records (u16 code, then W, H, origin x,
// origin y, increment x, increment y as 16-bit values and a u32 pixel offset); then the pixels from
// D = 322 + I: per glyph H rows of W rounded up to 4 bytes, bottom row first.
#include "core/hash.h"
#include "core/streams.h"
#include "platform/fonts.h"
#include "graphics/dibx.h"
#include "platform/errors.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// A pixel-font file that cannot be read: "フォントファイルが破壊されています" CR LF and its name.
class EPixelFontError : public EVelaError {
public:
    using EVelaError::EVelaError;
};

// A glyph's box and placement (widths and heights widened, origins sign-extended).
struct TGlyphMetrics {
    uint32_t gmBlackBoxX = 0;
    uint32_t gmBlackBoxY = 0;
    int32_t gmptGlyphOriginX = 0;
    int32_t gmptGlyphOriginY = 0;  // from the baseline, upward
    int16_t gmCellIncX = 0;
    int16_t gmCellIncY = 0;
};

constexpr int kPixelFontHeaderSize = 308;
// The face's outline text metrics record as stored: the same layout as the font service gives
// for an installed face.
using TOutlineMetricsRecord = platform::OutlineMetrics;
constexpr int kOutlineMetricsSize = int(platform::OutlineMetricsLayout::Size);

// One loaded file, named by its key (face_size_bold_italic) once registered.
class TPixelFontSection : public THashCollectionItem {
public:
    // An index record without its code.
    struct TEntry {
        uint16_t BlackBoxX = 0, BlackBoxY = 0;
        int16_t OriginX = 0, OriginY = 0, CellIncX = 0, CellIncY = 0;
        uint32_t Offset = 0;  // from DataBase
    };
    static constexpr uint16_t kNoGlyph = 0xFFFF;

    std::unique_ptr<TFileStream> Stream;
    std::vector<uint16_t> CodeMap;  // 65536 entries: the glyph's place in Entries, or kNoGlyph
    std::vector<TEntry> Entries;
    int64_t DataBase = 0;
    std::string FileName;
    std::array<uint8_t, kPixelFontHeaderSize> Header{};

    // Opens FileName and reads its header and index; does nothing when a file is open already.
    // A file whose magic, header or index is broken raises EPixelFontError naming ShownName (the
    // title's name of a work file; AFileName when empty), EFOpenError when it cannot be opened,
    // and leaves the section without a file.
    void LoadFromFile(const std::string& AFileName, const std::string& ShownName = "");

    std::string FaceName() const;
    int32_t FontSize() const;
    uint8_t Style() const { return Header[80]; }
    bool Listed() const { return Header[304] != 0; }
    TOutlineMetricsRecord OutlineMetrics() const;
    // The name the section is registered under.
    std::string Key() const;

    // The entry of Code, or nullptr when the file has none or its pixels would lie outside the
    // file or its box is not a valid image size.
    const TEntry* FindEntry(uint16_t Code) const;
    // Sizes Surface to the entry's box at 8 bits and reads its pixels.
    void ReadPixels(const TEntry& Entry, TDIBX& Surface);

private:
    int64_t fileSize_ = 0;
};

// The key of a face, size and style (only the bold and italic bits count): "X_24_1_0".
std::string PixelFontKey(const std::string& Face, int32_t Size, uint8_t Style);

class TPixelFontManager {
public:
    TPixelFontManager() : Sections(ItemClass<TPixelFontSection>) {}
    TPixelFontManager(const TPixelFontManager&) = delete;
    TPixelFontManager& operator=(const TPixelFontManager&) = delete;

    THashCollection Sections;

    // Loads and registers a file; nil when a file of that name (without regard to case) is
    // loaded already or its face, size and style are registered already. A broken file raises
    // EPixelFontError naming ShownName (FileName when empty) and leaves no section behind.
    TPixelFontSection* LoadFontFile(const std::string& FileName, const std::string& ShownName = "");
    // True when the file of Face, Size and Style has a readable glyph for Code: fills Metrics, the
    // file's outline metrics and Surface (W x H at 8 bits).
    bool GetGlyph(const std::string& Face, int32_t Size, uint8_t Style, uint16_t Code, TGlyphMetrics& Metrics,
                  TOutlineMetricsRecord& OutlineMetrics, TDIBX& Surface);
    // The same without the pixels.
    bool GetGlyphMetrics(const std::string& Face, int32_t Size, uint8_t Style, uint16_t Code, TGlyphMetrics& Metrics,
                         TOutlineMetricsRecord& OutlineMetrics);

    // The loaded sections in loading order; nil outside 0..Count-1.
    int Count() const { return Sections.Count(); }
    TPixelFontSection* GetSection(int Index) const;

private:
    // The section and entry of a glyph, nullptr when there is none.
    const TPixelFontSection::TEntry* Find(const std::string& Face, int32_t Size, uint8_t Style, uint16_t Code,
                                          TPixelFontSection*& Section, TGlyphMetrics& Metrics,
                                          TOutlineMetricsRecord& OutlineMetrics) const;
};

extern TPixelFontManager* PixelFontManager;
