#include "graphics/mediancut.h"

#include <algorithm>
#include <array>

namespace colorquant {

namespace {

const char kUnit[] = "MedianCut";
constexpr int kMaxBits = 8;  // the palette holds 256 entries

void CheckBits(int Bits) {
    if (Bits < 0 || Bits > kMaxBits) throw EAssertionFailed(kUnit, "0 <= Bits <= 8");
}

// Split weights of red, green and blue: by extent 1.2, 1.4 and 1.0 (taken as 6, 7 and 5, exact in
// integers), by variance 3, 4 and 2.
constexpr int kExtentWeights[] = {6, 7, 5};
constexpr int kVarianceWeights[] = {3, 4, 2};

constexpr std::array<int32_t TColorCell::*, 3> kChannels = {&TColorCell::Red, &TColorCell::Green, &TColorCell::Blue};

// Count-weighted figures of a range of cells, per channel red, green, blue.
struct TRangeStats {
    int64_t Total = 0;  // pixels
    std::array<int32_t, 3> Min{255, 255, 255}, Max{0, 0, 0}, Mean{};
    std::array<int64_t, 3> Sum{}, SquareSum{};

    TRangeStats(const TColorCell* First, const TColorCell* End) {
        std::array<int64_t, 3> plainSum{};
        for (const TColorCell* cell = First; cell != End; ++cell) {
            Total += cell->Count;
            for (int c = 0; c < 3; ++c) {
                const int64_t v = cell->*kChannels[c];
                Min[c] = std::min(Min[c], int32_t(v));
                Max[c] = std::max(Max[c], int32_t(v));
                Sum[c] += cell->Count * v;
                SquareSum[c] += cell->Count * v * v;
                plainSum[c] += v;
            }
        }
        // Without pixels the mean is the plain average of the cells' colours.
        for (int c = 0; c < 3; ++c) Mean[c] = int32_t(Total > 0 ? Sum[c] / Total : plainSum[c] / (End - First));
    }

    // The channel to split: the largest weighted spread, red before green before blue on equal ones.
    int Channel(bool Variance) const {
        std::array<double, 3> spread;
        for (int c = 0; c < 3; ++c)
            spread[c] = Variance ? (double(SquareSum[c]) / double(Total) - double(Mean[c]) * Mean[c]) *
                                       kVarianceWeights[c]
                                 : double(Max[c] - Min[c]) * kExtentWeights[c];
        if (spread[0] >= spread[1] && spread[0] >= spread[2]) return 0;
        return spread[1] >= spread[2] ? 1 : 2;
    }
};

}  // namespace

TMedianCut::TMedianCut() : cells_(kCellCount), lookup_(kCellCount) {
    for (int i = 0; i < kCellCount; ++i) cells_[i].Key = i;
}

void TMedianCut::AddColor(uint32_t Color) {
    TColorCell& cell = cells_[CellKey(Color)];
    ++cell.Count;
    cell.Red += Color >> 16 & 3;
    cell.Green += Color >> 8 & 3;
    cell.Blue += Color & 7;
}

void TMedianCut::Build(int Bits, bool CompactCells) { BuildWith(TRule::Extent, Bits, CompactCells); }

void TMedianCut::BuildVar(int Bits, bool CompactCells) { BuildWith(TRule::Variance, Bits, CompactCells); }

void TMedianCut::BuildWith(TRule Rule, int Bits, bool CompactCells) {
    CheckBits(Bits);
    // Each cell's colour: the mean of its pixels, or its centre when it has none.
    for (TColorCell& cell : cells_) {
        const int32_t r = cell.Key >> 11, g = cell.Key >> 5 & 0x3F, b = cell.Key & 0x1F;
        if (cell.Count > 0) {
            cell.Red = cell.Red / cell.Count + 4 * r;
            cell.Green = cell.Green / cell.Count + 4 * g;
            cell.Blue = cell.Blue / cell.Count + 8 * b;
        } else {
            cell.Red = 4 * r + 2;
            cell.Green = 4 * g + 2;
            cell.Blue = 8 * b + 4;
        }
    }
    palette_ = {};
    auto end = cells_.end();
    if (CompactCells) end = std::stable_partition(cells_.begin(), end, [](const TColorCell& C) { return C.Count > 0; });
    const size_t split = size_t(end - cells_.begin());
    Split(0, split, 0, Bits, Rule);
    std::fill(lookup_.begin(), lookup_.end(), 0);
    for (size_t i = 0; i < split; ++i) lookup_[cells_[i].Key] = uint8_t(cells_[i].PaletteIndex);
}

void TMedianCut::Split(size_t First, size_t End, int Level, int Bits, TRule Rule) {
    if (First >= End) return;
    const TRangeStats stats(&cells_[First], cells_.data() + End);
    if (Level == Bits || stats.Total == 0) {
        const int index = palette_.Count++;
        palette_.Entries[index] = {uint8_t(stats.Mean[0]), uint8_t(stats.Mean[1]), uint8_t(stats.Mean[2]), 0};
        for (size_t i = First; i < End; ++i) cells_[i].PaletteIndex = index;
        return;
    }
    // Cells at or below the mean of the chosen channel to the front, those above it to the back.
    const int channel = stats.Channel(Rule == TRule::Variance);
    const auto value = kChannels[channel];
    const int32_t mean = stats.Mean[channel];
    size_t i = First, j = End;
    for (;;) {
        while (i < j && cells_[i].*value <= mean) ++i;
        while (j > i && cells_[j - 1].*value > mean) --j;
        if (i >= j) break;
        std::swap(cells_[i], cells_[j - 1]);
    }
    Split(i, End, Level + 1, Bits, Rule);
    Split(First, i, Level + 1, Bits, Rule);
}

void TMedianCutQuantizeColor::Quantize(uint8_t* Out, uint32_t Color) {
    const TPaletteEntry& e = palette_.Entries[cut_.ColorIndex(Color)];
    Out[0] = e.Blue;
    Out[1] = e.Green;
    Out[2] = e.Red;
}

namespace {

std::unique_ptr<TDIB> Quantize(const TDIB& Bitmap, int Bits, bool Variance, bool Dither) {
    if (Bitmap.BitCount() != 24) throw EAssertionFailed(kUnit, "a 24-bit bitmap");
    CheckBits(Bits);
    TMedianCut cut;
    ForEachColor(Bitmap, [&cut](uint32_t Color) { cut.AddColor(Color); });
    if (Variance)
        cut.BuildVar(Bits, !Dither);
    else
        cut.Build(Bits, !Dither);
    std::unique_ptr<TDIB> diffused;
    if (Dither) {
        TMedianCutQuantizeColor quantizer(cut);
        diffused = ErrorDiffuse(Bitmap, quantizer);
    }
    auto result = NewIndexedBitmap(Bitmap, cut.GetPalette());
    MapPixels(diffused ? *diffused : Bitmap, *result, [&cut](uint32_t Color) { return cut.ColorIndex(Color); });
    return result;
}

}  // namespace

std::unique_ptr<TDIB> MedianCutQuantize(const TDIB& Bitmap, int Bits) { return Quantize(Bitmap, Bits, false, false); }

std::unique_ptr<TDIB> MedianCutQuantizeVar(const TDIB& Bitmap, int Bits) { return Quantize(Bitmap, Bits, true, false); }

std::unique_ptr<TDIB> MedianCutQuantizeDither(const TDIB& Bitmap, int Bits) {
    return Quantize(Bitmap, Bits, false, true);
}

std::unique_ptr<TDIB> MedianCutQuantizeVarDither(const TDIB& Bitmap, int Bits) {
    return Quantize(Bitmap, Bits, true, true);
}

}  // namespace colorquant
