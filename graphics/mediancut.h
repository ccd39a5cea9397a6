#pragma once
// The median-cut colour quantizer. The colour space is cut into 131,072 cells (6 bits of red, 6 of
// green, 5 of blue); the pixels of a 24-bit bitmap are counted into their cells, and the cells are
// split in halves around the mean of one channel, Bits times over, choosing the channel by its
// weighted extent or by its weighted variance. Each final range of cells becomes one palette
// entry, its count-weighted mean colour. With dithering every cell of the space takes part, so that
// any colour the error diffusion produces has an entry.
#include "graphics/quantize.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace colorquant {

struct TColorCell {
    int32_t PaletteIndex = 0;
    int32_t Key = 0;    // red >> 2 << 11 | green >> 2 << 5 | blue >> 3
    int32_t Count = 0;  // pixels in the cell
    // While counting, the sums of the bits that the key drops; after building, the cell's colour.
    int32_t Red = 0, Green = 0, Blue = 0;
};

class TMedianCut {
public:
    static constexpr int kCellCount = 64 * 64 * 32;

    TMedianCut();

    // Color is red << 16 | green << 8 | blue.
    void AddColor(uint32_t Color);
    // Splits the cells into at most 2^Bits palette entries (0 <= Bits <= 8), by extent or by
    // variance; only the cells that hold pixels when CompactCells is set. Once per instance.
    void Build(int Bits, bool CompactCells);
    void BuildVar(int Bits, bool CompactCells);
    const TPalette& GetPalette() const { return palette_; }
    // The palette index of Color's cell; 0 for a cell the build left out.
    int ColorIndex(uint32_t Color) const { return lookup_[CellKey(Color)]; }

    static int CellKey(uint32_t Color) {
        return int(Color >> 18 & 0x3F) << 11 | int(Color >> 10 & 0x3F) << 5 | int(Color >> 3 & 0x1F);
    }

private:
    enum class TRule { Extent, Variance };

    std::vector<TColorCell> cells_;
    std::vector<uint8_t> lookup_;  // cell key to palette index
    TPalette palette_;

    void BuildWith(TRule Rule, int Bits, bool CompactCells);
    void Split(size_t First, size_t End, int Level, int Bits, TRule Rule);
};

// Maps a colour to the palette colour of its cell.
class TMedianCutQuantizeColor : public TQuantizeColor {
public:
    explicit TMedianCutQuantizeColor(const TMedianCut& Cut) : cut_(Cut), palette_(Cut.GetPalette()) {}
    void Quantize(uint8_t* Out, uint32_t Color) override;

private:
    const TMedianCut& cut_;
    TPalette palette_;
};

// New 8-bit bitmaps of Bitmap's pixels in at most 2^Bits colours: split by extent or by variance
// (Var), without or with error diffusion (Dither). Bitmap must have 24 bits per pixel and Bits lie
// in 0..8; otherwise EAssertionFailed of the unit "MedianCut".
std::unique_ptr<TDIB> MedianCutQuantize(const TDIB& Bitmap, int Bits);
std::unique_ptr<TDIB> MedianCutQuantizeVar(const TDIB& Bitmap, int Bits);
std::unique_ptr<TDIB> MedianCutQuantizeDither(const TDIB& Bitmap, int Bits);
std::unique_ptr<TDIB> MedianCutQuantizeVarDither(const TDIB& Bitmap, int Bits);

}  // namespace colorquant
