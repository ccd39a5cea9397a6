#pragma once
// What the colour quantizers share: a filter driver that walks a 24-bit bitmap through a window of
// 11 rows, Floyd-Steinberg error diffusion through an exchangeable colour mapper, the fixed
// 210-colour palette with its dithered quantizer, and small palette helpers.
//
// The quantizers take 24-bit TDIBs and return new 8-bit TDIBs of the same size whose colour table
// holds their palette (entries past the palette are 0). Colours handed to a mapper are packed
// red << 16 | green << 8 | blue, the raw value of a 24-bit pixel.
#include "graphics/dib.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace colorquant {

// A quantizer called with a bitmap or an argument it does not take; the message names the unit.
class EAssertionFailed : public EVelaError {
public:
    EAssertionFailed(const std::string& Unit, const std::string& Condition)
        : EVelaError("Assertion failed (" + Unit + "): " + Condition) {}
};

// A logical palette: the first Count (0..256) of Entries.
struct TPalette {
    TPaletteEntryTable Entries{};
    int Count = 0;
};

// Maps a colour to a colour of its own choice, written to Out as blue, green, red.
class TQuantizeColor {
public:
    virtual ~TQuantizeColor() = default;
    virtual void Quantize(uint8_t* Out, uint32_t Color) = 0;
};

// The 11 rows y - 5 .. y + 5 around the current pixel: Window[k] points at pixel x - 5 of row
// y + k - 5, so pixel x of that row is at Window[k][15..17] (blue, green, red). Rows and pixels
// outside the bitmap read as zero.
using TFilterWindow = uint8_t* const*;
// Fills OutPixel (blue, green, red) for pixel (X, Y). It may change the window; the changes carry
// forward to the pixels and rows still to come.
using TPixelProc = std::function<void(int32_t X, int32_t Y, TFilterWindow Window, uint8_t* OutPixel)>;

// A new 24-bit bitmap of Bitmap's size made by PixelProc, rows from the top and pixels from the
// left. Raises EInvalidGraphicOperation unless Bitmap has 24 bits per pixel.
std::unique_ptr<TDIB> BitmapFilter(const TDIB& Bitmap, const TPixelProc& PixelProc);

// Floyd-Steinberg error diffusion: every pixel of the result is a colour that Quantizer produced.
std::unique_ptr<TDIB> ErrorDiffuse(const TDIB& Bitmap, TQuantizeColor& Quantizer);

// Each channel to the nearest level of the fixed palette (6 of red, 7 of green, 5 of blue).
class TQuantizeToStaticColor : public TQuantizeColor {
public:
    void Quantize(uint8_t* Out, uint32_t Color) override;
};

// Error diffusion of Bitmap to the fixed 210-colour palette; entry r * 35 + g * 5 + b holds the
// red, green and blue levels r, g and b.
std::unique_ptr<TDIB> StaticColorQuantizeDither(const TDIB& Bitmap);

// A new 8-bit bitmap of Like's size whose colour table is Palette, its pixels unset for the caller
// to write every one.
std::unique_ptr<TDIB> NewIndexedBitmap(const TDIB& Like, const TPalette& Palette);

// Visit(colour) for every pixel of the 24-bit Source, rows from the top and pixels from the left.
template <typename F>
void ForEachColor(const TDIB& Source, F Visit) {
    for (int32_t y = 0; y < Source.Height(); ++y) {
        const uint8_t* in = Source.ScanLineReadOnly(y);
        for (int32_t x = 0; x < Source.Width(); ++x, in += 3)
            Visit(uint32_t(in[0]) | uint32_t(in[1]) << 8 | uint32_t(in[2]) << 16);
    }
}

// Every pixel of the 24-bit Source becomes Index(its colour) in the 8-bit Result of the same size.
template <typename F>
void MapPixels(const TDIB& Source, TDIB& Result, F Index) {
    for (int32_t y = 0; y < Source.Height(); ++y) {
        const uint8_t* in = Source.ScanLineReadOnly(y);
        uint8_t* out = Result.ScanLine(y);
        for (int32_t x = 0; x < Source.Width(); ++x, in += 3)
            out[x] = uint8_t(Index(uint32_t(in[0]) | uint32_t(in[1]) << 8 | uint32_t(in[2]) << 16));
    }
}

// Palette helpers. Colours are $00BBGGRR values.

// Bytes of a row of Width pixels at BitsPerPixel, rounded up to a multiple of 4.
int32_t RowBytes4(int32_t Width, int32_t BitsPerPixel);
// The entry of Entries[0..Count) with the least sum of absolute channel differences from Color,
// the first of equally near ones; 0 when Count <= 0.
int NearestColorIndex(const TPaletteEntry* Entries, int32_t Color, int Count);
// The nearest entry of Palette by NearestColorIndex; -1 for an empty palette.
int NearestPaletteIndex(const TPalette& Palette, int32_t Color);
// A palette of the first Count (at most 256) entries of Table.
TPalette CreatePaletteFromRGBQuads(const TRGBQuad* Table, int Count);
// Entry Index of Palette; -1 when there is no such entry.
int32_t GetPaletteEntryColor(const TPalette& Palette, int Index);
// Writes Palette's entries to the front of Table; their number.
int PaletteToRGBQuads(const TPalette& Palette, TRGBQuadTable& Table);
// Evenly spaced greys from black to white: 2, 4 or 16 entries for 1, 2 or 4 bits, else 256; their
// number.
int MakeGreyRGBQuads(TRGBQuadTable& Table, int BitsPerPixel);

}  // namespace colorquant
