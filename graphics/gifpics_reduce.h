#pragma once
// Colour reduction of the GIF codec: true-colour bitmaps become 8-bit bitmaps of at most 256
// colours (the most a GIF frame holds), through one of ten palettes, a colour lookup of that
// palette and a ditherer (nearest colour or one of six error-diffusion kernels, every kind
// scanning its rows alternately left to right and right to left). It stands apart from the
// player's other quantizers (graphics/quantize.h) and has its own octree.
#include "graphics/dib.h"
#include "graphics/quantize.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace gif {

using colorquant::TPalette;

// The platform's stock 20 colours: the first ten and the last ten entries of a 256-colour
// system palette.
inline constexpr std::array<TPaletteEntry, 20> kDefaultPaletteEntries{{
    {0, 0, 0, 0},       {128, 0, 0, 0},     {0, 128, 0, 0},     {128, 128, 0, 0},   {0, 0, 128, 0},
    {128, 0, 128, 0},   {0, 128, 128, 0},   {192, 192, 192, 0}, {192, 220, 192, 0}, {166, 202, 240, 0},
    {255, 251, 240, 0}, {160, 160, 164, 0}, {128, 128, 128, 0}, {255, 0, 0, 0},     {0, 255, 0, 0},
    {255, 255, 0, 0},   {0, 0, 255, 0},     {255, 0, 255, 0},   {0, 255, 255, 0},   {255, 255, 255, 0},
}};

// The display's 256-colour halftone palette: the stock colours 0..9 and 246..255 framing the
// 216-colour cube (entry 10 + red * 36 + green * 6 + blue, levels of 51) and a ramp of 20 greys
// between the cube's grey levels (12, 24, ..., 240).
inline constexpr TPaletteEntryTable kHalftonePaletteEntries = [] {
    TPaletteEntryTable t{};
    for (int i = 0; i < 10; ++i) t[i] = kDefaultPaletteEntries[i], t[246 + i] = kDefaultPaletteEntries[10 + i];
    for (int i = 0; i < 216; ++i) t[10 + i] = {uint8_t(i / 36 * 51), uint8_t(i / 6 % 6 * 51), uint8_t(i % 6 * 51), 0};
    for (int i = 0; i < 20; ++i) t[226 + i] = {uint8_t(12 * (i + 1)), uint8_t(12 * (i + 1)), uint8_t(12 * (i + 1)), 0};
    return t;
}();

// ---- Bitmap access ----

// The source bitmap as 24-bit rows (blue, green, red), row 0 at the top.
class TDIBReader {
public:
    explicit TDIBReader(const ::TDIB& Bitmap);
    int32_t Width() const { return bitmap_.Width(); }
    int32_t Height() const { return bitmap_.Height(); }
    const uint8_t* ScanLine(int32_t Row) const { return bitmap_.ScanLineReadOnly(Row); }

private:
    ::TDIB bitmap_;
};

// Builds a DIB of 8 bits (with the palette as its colour table, zeros past its colours) or 24
// bits, allocated at the first row asked for, and gives it to Target on Close.
class TDIBWriter {
public:
    TDIBWriter(::TDIB& Target, const TPalette* Palette, int32_t Width, int32_t Height, int32_t PixelFormat);
    // Row 0 is the top row.
    uint8_t* ScanLine(int32_t Row);
    void Close();

private:
    ::TDIB& target_;
    TPalette palette_;
    int32_t width_, height_, bitCount_;
    ::TDIB bitmap_;

    void Allocate();
};

// ---- Colour lookups: a colour to a palette index and the colour at that index ----

class TColorLookup {
public:
    explicit TColorLookup(int Colors) : colors_(Colors) {}
    virtual ~TColorLookup() = default;
    int Colors() const { return colors_; }
    virtual uint8_t Lookup(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B) = 0;

private:
    int colors_;
};

// The nearest entry of a palette (least sum of channel differences, the first of equals),
// remembered for the 5-5-5 cell of the colour asked; each entry is known for its own cell first.
class TFastColorLookup : public TColorLookup {
public:
    explicit TFastColorLookup(const TPalette& Palette);
    uint8_t Lookup(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B) override;

private:
    TPalette palette_;
    std::vector<uint16_t> cache_;
};

// The 216-colour cube: each channel to level (c + 3) div 51.
class TNetscapeColorLookup : public TColorLookup {
public:
    TNetscapeColorLookup() : TColorLookup(216) {}
    uint8_t Lookup(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B) override;
};

class TGrayScaleLookup : public TColorLookup {
public:
    TGrayScaleLookup() : TColorLookup(256) {}
    uint8_t Lookup(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B) override;
};

class TMonochromeLookup : public TColorLookup {
public:
    TMonochromeLookup() : TColorLookup(2) {}
    uint8_t Lookup(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B) override;
};

// ---- Ditherers ----

// Nearest colour. Column and Direction say which pixel of the row comes next: rows alternate
// between left to right (+1, from column 0) and right to left (-1, from the last column).
class TDitherEngine {
public:
    TDitherEngine(int32_t Width, TColorLookup& Lookup) : lookup_(Lookup), width_(Width) {}
    virtual ~TDitherEngine() = default;
    // The index for the pixel at Column; Column moves on by Direction.
    virtual uint8_t Dither(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B);
    virtual void NextLine();

    int32_t Direction = 1;
    int32_t Column = 0;

protected:
    TColorLookup& lookup_;
    int32_t width_;
};

// Where a pixel's error goes: Row lines down, Offset pixels ahead in the scan direction.
struct TDiffusionWeight {
    int8_t Row, Offset, Weight;
};
struct TDiffusionKernel {
    int32_t Divisor;
    int Rows;   // lines of error kept, the current one included
    int Guard;  // entries beside each end of a line
    int Count;
    std::array<TDiffusionWeight, 16> Weights;
};

// Each channel takes the input plus (its error sum + Divisor / 2) div Divisor, clamped; the
// difference from the colour chosen is spread by the kernel.
class TErrorDiffusionDitherer : public TDitherEngine {
public:
    TErrorDiffusionDitherer(int32_t Width, TColorLookup& Lookup, const TDiffusionKernel& Kernel);
    uint8_t Dither(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B) override;
    void NextLine() override;

private:
    const TDiffusionKernel& kernel_;
    // errors_[channel][row] holds width + 2 * Guard sums; row 0 is the current line.
    std::array<std::vector<std::vector<int32_t>>, 3> errors_;
};

extern const TDiffusionKernel kFloydSteinbergKernel, kStuckiKernel, kSierraKernel, kJaJuNiKernel,
    kStevensonArceKernel, kBurkesKernel;

class TFloydSteinbergDitherer : public TErrorDiffusionDitherer {
public:
    TFloydSteinbergDitherer(int32_t Width, TColorLookup& Lookup)
        : TErrorDiffusionDitherer(Width, Lookup, kFloydSteinbergKernel) {}
};

// The three-line kernels.
class T5by3Ditherer : public TErrorDiffusionDitherer {
    using TErrorDiffusionDitherer::TErrorDiffusionDitherer;
};
class TStuckiDitherer : public T5by3Ditherer {
public:
    TStuckiDitherer(int32_t Width, TColorLookup& Lookup) : T5by3Ditherer(Width, Lookup, kStuckiKernel) {}
};
class TSierraDitherer : public T5by3Ditherer {
public:
    TSierraDitherer(int32_t Width, TColorLookup& Lookup) : T5by3Ditherer(Width, Lookup, kSierraKernel) {}
};
class TJaJuNiDitherer : public T5by3Ditherer {
public:
    TJaJuNiDitherer(int32_t Width, TColorLookup& Lookup) : T5by3Ditherer(Width, Lookup, kJaJuNiKernel) {}
};

class TStevensonArceDitherer : public TErrorDiffusionDitherer {
public:
    TStevensonArceDitherer(int32_t Width, TColorLookup& Lookup)
        : TErrorDiffusionDitherer(Width, Lookup, kStevensonArceKernel) {}
};

class TBurkesDitherer : public TErrorDiffusionDitherer {
public:
    TBurkesDitherer(int32_t Width, TColorLookup& Lookup) : TErrorDiffusionDitherer(Width, Lookup, kBurkesKernel) {}
};

// ---- Octree quantizer ----

struct TOctreeNode {
    bool IsLeaf = false;
    uint32_t PixelCount = 0;
    uint64_t RedSum = 0, GreenSum = 0, BlueSum = 0;
    TOctreeNode* Next = nullptr;  // the next reducible node of the same level
    std::array<std::unique_ptr<TOctreeNode>, 8> Child;
};

// At most MaxColors leaves: whenever a pixel makes one too many, the most recent reducible node
// of the deepest level that has one is folded into a leaf.
class TColorQuantizer {
public:
    TColorQuantizer(int MaxColors, int ColorBits);
    void AddColor(uint8_t Red, uint8_t Green, uint8_t Blue);
    int ColorCount() const { return leafCount_; }
    // The leaves' mean colours, children 0 to 7 depth first, into Palette from entry Start on
    // (at most up to entry 255).
    void GetColorTable(TPalette& Palette, int Start) const;

private:
    std::unique_ptr<TOctreeNode> root_;
    int leafCount_ = 0, maxColors_, colorBits_;
    std::array<TOctreeNode*, 9> reducible_{};

    std::unique_ptr<TOctreeNode> CreateNode(int Level);
    void ReduceTree();
};

// ---- Palettes and the reduction ----

enum TColorReduction : uint8_t {
    rmNone, rmWindows20, rmWindowsHalftone, rmWindowsGray, rmMonochrome, rmGrayScale, rmNetscape,
    rmQuantize, rmQuantizeWindows, rmPalette
};
enum TDitherMode : uint8_t {
    dmNearest, dmFloydSteinberg, dmStucki, dmSierra, dmJaJuNi, dmSteveArche, dmBurkes
};

// The 216-colour cube (entry red * 36 + green * 6 + blue, levels of 51), 256 greys, 4 greys
// (0, 128, 192, 255) and black and white; the grey kinds mark their entries not to collapse.
TPalette WebPalette();
TPalette GrayScalePalette();
TPalette WindowsGrayPalette();
TPalette MonochromePalette();
TPalette DefaultPalette();
TPalette HalftonePalette();

// An octree palette of Colors entries from every pixel of Reader; with system colours 256
// entries with the stock 20 around 236 quantized ones. Entries the tree has no colour for are
// black.
TPalette OctreePalette(const TDIBReader& Reader, int Colors, int ColorBits, bool WithSystemColors);

std::unique_ptr<TDitherEngine> MakeDitherer(TDitherMode Mode, int32_t Width, TColorLookup& Lookup);

// Bitmap reduced to an 8-bit bitmap (a 24-bit copy for rmNone) through the palette of Method
// (CustomPalette for rmPalette; ReductionBits, clamped to 1..8, sizes the rmQuantize palette).
// A palette without colours gives an empty bitmap. An unknown method or dither mode raises
// EInvalidGraphic.
std::unique_ptr<::TDIB> ReduceColors(const ::TDIB& Bitmap, TColorReduction Method, TDitherMode DitherMode,
                                     int ReductionBits, const TPalette* CustomPalette);

}  // namespace gif
