// Colour reduction of the image surface and the colour counts it decides by.
#include "graphics/dibsfc.h"
#include "graphics/fastdib.h"
#include "graphics/mediancut.h"
#include "graphics/octree.h"
#include "graphics/quantize.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

// Up to kMostColors colours, open addressed in a table of four times as many slots: enough to learn
// whether a picture has more colours than a palette holds, for which clearing the 2 MB set of every
// colour takes longer than the few hundred pixels it usually reads.
class TSmallColorSet {
public:
    static constexpr size_t kMostColors = 257;

    TSmallColorSet() { slots_.fill(kEmpty); }
    // True when Color (24 bits) was not in the set yet.
    bool Insert(uint32_t Color) {
        for (size_t i = Color * 0x9E3779B1u >> (32 - kSlotBits);; i = (i + 1) & (kSlots - 1)) {
            if (slots_[i] == Color) return false;
            if (slots_[i] == kEmpty) {
                slots_[i] = Color;
                return true;
            }
        }
    }

private:
    static constexpr int kSlotBits = 11;
    static constexpr size_t kSlots = size_t(1) << kSlotBits;
    static_assert(kSlots >= 4 * kMostColors);
    static constexpr uint32_t kEmpty = 0xFFFFFFFF;
    std::array<uint32_t, kSlots> slots_;
};

// Calls F(Value) with each raw pixel value the first time it is met, rows from the top and
// pixels from the left; at 24 and 32 bits a value is its colour, kept in a Set (F must stop before
// that holds more colours than it takes). Stops when F answers false or once every value the depth
// can hold has been met.
template <class Set = TColorSet, class Fn>
void ForEachNewValue(const TDIB& Dib, Fn&& F) {
    const int32_t bits = Dib.BitCount();
    if (Dib.Empty() || bits > 32) return;
    std::unique_ptr<Set> colors;
    std::vector<bool> seen;
    if (bits > 16)
        colors = std::make_unique<Set>();
    else
        seen.resize(size_t(1) << bits);
    size_t left = seen.size();
    for (int32_t y = 0; y < Dib.Height(); ++y) {
        const uint8_t* row = Dib.ScanLineReadOnly(y);
        for (int32_t x = 0; x < Dib.Width(); ++x) {
            uint32_t v = LoadPixel(row, x, bits);
            if (colors) {
                v &= 0xFFFFFF;
                if (colors->Insert(v) && !F(v)) return;
            } else if (!seen[v]) {
                seen[v] = true;
                if (!F(v) || --left == 0) return;
            }
        }
    }
}

// Whether Dib holds more than Limit colours (at most 256), counted only as far as it takes to know.
bool HasMoreColorsThan(const TDIB& Dib, int32_t Limit) {
    static_assert(TSmallColorSet::kMostColors > 256);
    int32_t count = 0;
    ForEachNewValue<TSmallColorSet>(Dib, [&count, Limit](uint32_t) { return ++count <= Limit; });
    return count > Limit;
}

// Redraws S at N bits with Table as its colour table, each pixel the nearest entry to its old
// colour (a plain copy when depth and table stay).
void Repaint(TDIBSurface& S, int32_t N, const TRGBQuadTable& Table) {
    const TDIB old = S;
    S.ColorTable = Table;
    S.SetSize(S.Width(), S.Height(), N);
    S.UpdatePalette();
    S.CopyConvert(0, 0, old);
}

// S at N bits with the colours it uses as its table (as many as the table holds).
void PaintWithUsedColors(TDIBSurface& S, int32_t N) {
    const std::vector<TRGBQuad> used = S.UsedColors();
    TRGBQuadTable table{};
    std::copy_n(used.begin(), std::min(used.size(), table.size()), table.begin());
    Repaint(S, N, table);
}

// The 8-bit picture a quantizer makes of a 24-bit copy of Dib for N bits: Method 1 the octree
// (with Dither the fixed 210-colour palette), 2 the median cut by extent, others by variance.
std::unique_ptr<TDIB> Quantized(const TDIB& Dib, int32_t Method, int32_t N, bool Dither) {
    TDIB copy = Dib;
    copy.PixelFormat = MakeDIBColorFormat(8, 8, 8);
    copy.SetBitCount(24);
    using namespace colorquant;
    if (Method == 1) return Dither ? StaticColorQuantizeDither(copy) : OctreeQuantize(copy, 1 << N);
    if (Method == 2) return Dither ? MedianCutQuantizeDither(copy, N) : MedianCutQuantize(copy, N);
    return Dither ? MedianCutQuantizeVarDither(copy, N) : MedianCutQuantizeVar(copy, N);
}

// The highest palette index the conversion may use for at most MaxColors colours at N bits.
uint8_t MaxIndexOf(int32_t N, int32_t MaxColors) {
    const int32_t colors = N <= 8 ? 1 << N : 256;
    return uint8_t((MaxColors <= 0 || MaxColors > colors ? colors : MaxColors) - 1);
}

// S at N bits through the working bitmaps. A 1-bit target from 8 bits or more goes through 16
// colours first.
void ConvertThroughFastDIB(TDIBSurface& S, int32_t N, bool Dither, int32_t MaxColors) {
    const int32_t depth = S.GetBitCountEx(), w = S.Width(), h = S.Height();
    TFastDIB source;
    source.SetSize(w, h, S.BitCount(), depth == 15 ? 555 : depth == 16 ? 565 : 888);
    if (depth <= 8) std::copy_n(S.ImageColorTable().begin(), S.PaletteCount(), source.Colors.begin());
    for (int32_t y = 0; y < h; ++y) std::memcpy(source.Row(y), S.ScanLineReadOnly(y), size_t(S.WidthBytes()));

    TFastDIB target, fourBits;
    target.SetSize(w, h, N == 15 ? 16 : N, N == 15 ? 555 : N == 16 ? 565 : 0);
    const TFastDIB* from = &source;
    if (N == 1 && depth >= 8) {
        fourBits.SetSize(w, h, 4);
        ConvertDepth(fourBits, source, false, Dither, 16);
        from = &fourBits;
    }
    ConvertDepth(target, *from, false, Dither, MaxIndexOf(N, MaxColors));

    S.SetSize(w, h, N);
    if (N <= 8) {
        std::copy_n(target.Colors.begin(), S.PaletteCount(), S.ColorTable.begin());
        S.UpdatePalette();
    }
    for (int32_t y = 0; y < h; ++y) {
        uint8_t* row = S.ScanLine(y);
        std::memcpy(row, target.Row(y), size_t(S.WidthBytes()));
        if (N == 32)
            for (int32_t x = 0; x < w; ++x) row[4 * x + 3] = 0xFF;
    }
}

}  // namespace

int32_t TDIBSurface::CountColors() const {
    int32_t count = 0;
    ForEachNewValue(*this, [&count](uint32_t) {
        ++count;
        return true;
    });
    return count;
}

std::vector<TRGBQuad> TDIBSurface::UsedColors() const {
    std::vector<TRGBQuad> colors;
    ForEachNewValue(*this, [&](uint32_t V) {
        colors.push_back(ValueColor(V));
        return true;
    });
    return colors;
}

int32_t TDIBSurface::UsedPaletteLength() const {
    if (BitCount() > 8) return 0;
    std::vector<bool> used(static_cast<size_t>(PaletteCount()));
    ForEachNewValue(*this, [&used](uint32_t V) {
        used[V] = true;
        return true;
    });
    const auto unused = std::find(used.begin(), used.end(), false);
    return unused == used.end() ? -1 : int32_t(unused - used.begin());
}

void TDIBSurface::ReduceColors(int32_t Method, int32_t NewBitCount, bool Dither, int32_t MaxColors) {
    const int32_t n = NewBitCount, o = GetBitCountEx();
    if (n != 1 && n != 4 && n != 8 && n != 15 && n != 16 && n != 24 && n != 32)
        throw EInvalidGraphicOperation("不正なビット数です (" + std::to_string(n) + ")");
    if (Empty()) return;

    if (o <= 8 && n <= 8 && o <= n && PaletteCount() <= MaxColors) {
        TRGBQuadTable table{};
        std::copy_n(ImageColorTable().begin(), PaletteCount(), table.begin());
        return Repaint(*this, n, table);
    }
    // The used colours make the palette only when they fit the depth too.
    if (n <= 8 && !HasMoreColorsThan(*this, std::min(MaxColors, 1 << n))) return PaintWithUsedColors(*this, n);
    if (Method != 0 && n <= 8) {
        const std::unique_ptr<TDIB> quantized = Quantized(*this, Method, n, Dither);
        PixelFormat = quantized->NowPixelFormat();
        TDIB::Assign(quantized.get());
        // The quantizers answer at 8 bits; a smaller depth keeps their colours when they fit
        // (the fixed palette does not).
        if (n == 8) return;
        if (!HasMoreColorsThan(*this, 1 << n)) return PaintWithUsedColors(*this, n);
    }
    ConvertThroughFastDIB(*this, n, Dither, MaxColors);
}
