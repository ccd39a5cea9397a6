#include "graphics/quantize.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace colorquant {

namespace {

constexpr int kWindowRows = 11;  // rows y - 5 .. y + 5
constexpr int kWindowMargin = 5;  // zero pixels left and right of each window row

// The levels of the fixed palette per channel: their values and the highest input of each.
constexpr uint8_t kRedValues[] = {0, 51, 102, 153, 204, 255};
constexpr uint8_t kRedTops[] = {25, 76, 127, 178, 230, 255};
constexpr uint8_t kGreenValues[] = {0, 43, 85, 128, 171, 214, 255};
constexpr uint8_t kGreenTops[] = {21, 63, 106, 149, 192, 233, 255};
constexpr uint8_t kBlueValues[] = {0, 64, 128, 192, 255};
constexpr uint8_t kBlueTops[] = {31, 95, 159, 223, 255};
constexpr int kGreenLevels = 7, kBlueLevels = 5;

// Channel value to level number.
template <size_t N>
constexpr std::array<uint8_t, 256> LevelTable(const uint8_t (&Tops)[N]) {
    std::array<uint8_t, 256> table{};
    uint8_t level = 0;
    for (int v = 0; v < 256; ++v) {
        if (v > Tops[level]) ++level;
        table[v] = level;
    }
    return table;
}
constexpr auto kRedLevel = LevelTable(kRedTops);
constexpr auto kGreenLevel = LevelTable(kGreenTops);
constexpr auto kBlueLevel = LevelTable(kBlueTops);

// The fixed palette's entry of a colour red << 16 | green << 8 | blue.
int StaticIndex(uint32_t Color) {
    return (kRedLevel[Color >> 16 & 0xFF] * kGreenLevels + kGreenLevel[Color >> 8 & 0xFF]) * kBlueLevels +
           kBlueLevel[Color & 0xFF];
}

const TPalette& StaticPalette() {
    static const TPalette palette = [] {
        TPalette p;
        for (uint8_t red : kRedValues)
            for (uint8_t green : kGreenValues)
                for (uint8_t blue : kBlueValues) p.Entries[p.Count++] = {red, green, blue, 0};
        return p;
    }();
    return palette;
}

// Takes Error from a window byte, clamped to a channel value.
void Spread(uint8_t& Value, int Error) { Value = uint8_t(std::clamp(Value - Error, 0, 255)); }

}  // namespace

std::unique_ptr<TDIB> BitmapFilter(const TDIB& Bitmap, const TPixelProc& PixelProc) {
    if (Bitmap.BitCount() != 24) throw EInvalidGraphicOperation("BitmapFiletr accepts only 24Bit DIB");
    const int32_t width = Bitmap.Width(), height = Bitmap.Height();
    auto result = std::make_unique<TDIB>();
    result->SetSize(width, height, 24);

    // rows[k] holds row y + k - 5, five zero pixels on each side.
    std::array<std::vector<uint8_t>, kWindowRows> rows;
    const auto load = [&](std::vector<uint8_t>& Buffer, int32_t Y) {
        Buffer.assign((size_t(width) + 2 * kWindowMargin) * 3, 0);
        if (Y >= 0 && Y < height)
            std::memcpy(Buffer.data() + 3 * kWindowMargin, Bitmap.ScanLineReadOnly(Y), size_t(width) * 3);
    };
    for (int k = 0; k < kWindowRows; ++k) load(rows[k], k - kWindowMargin);

    std::array<uint8_t*, kWindowRows> window;
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* out = result->ScanLine(y);
        for (int32_t x = 0; x < width; ++x) {
            for (int k = 0; k < kWindowRows; ++k) window[k] = rows[k].data() + 3 * size_t(x);
            PixelProc(x, y, window.data(), out + 3 * size_t(x));
        }
        std::rotate(rows.begin(), rows.begin() + 1, rows.end());
        load(rows.back(), y + kWindowRows - kWindowMargin);
    }
    return result;
}

std::unique_ptr<TDIB> ErrorDiffuse(const TDIB& Bitmap, TQuantizeColor& Quantizer) {
    return BitmapFilter(Bitmap, [&Quantizer](int32_t, int32_t, TFilterWindow Window, uint8_t* Out) {
        uint8_t* here = Window[kWindowMargin] + 3 * kWindowMargin;
        uint8_t* below = Window[kWindowMargin + 1] + 3 * kWindowMargin;
        Quantizer.Quantize(Out, uint32_t(here[0]) | uint32_t(here[1]) << 8 | uint32_t(here[2]) << 16);
        // The error goes 7/16 right, 3/16 below left, 5/16 below and 1/16 below right.
        for (int c = 0; c < 3; ++c) {
            const int error = Out[c] - here[c];
            Spread(here[c + 3], error * 7 / 16);
            Spread(below[c - 3], error * 3 / 16);
            Spread(below[c], error * 5 / 16);
            Spread(below[c + 3], error / 16);
        }
    });
}

void TQuantizeToStaticColor::Quantize(uint8_t* Out, uint32_t Color) {
    Out[0] = kBlueValues[kBlueLevel[Color & 0xFF]];
    Out[1] = kGreenValues[kGreenLevel[Color >> 8 & 0xFF]];
    Out[2] = kRedValues[kRedLevel[Color >> 16 & 0xFF]];
}

std::unique_ptr<TDIB> StaticColorQuantizeDither(const TDIB& Bitmap) {
    TQuantizeToStaticColor quantizer;
    const auto diffused = ErrorDiffuse(Bitmap, quantizer);
    auto result = NewIndexedBitmap(Bitmap, StaticPalette());
    MapPixels(*diffused, *result, StaticIndex);
    return result;
}

std::unique_ptr<TDIB> NewIndexedBitmap(const TDIB& Like, const TPalette& Palette) {
    auto result = std::make_unique<TDIB>();
    TRGBQuadTable table{};
    PaletteToRGBQuads(Palette, table);
    result->ColorTable = table;
    result->SetSizeForOverwrite(Like.Width(), Like.Height(), 8);
    return result;
}

int32_t RowBytes4(int32_t Width, int32_t BitsPerPixel) { return int32_t(DIBWidthBytes(Width, BitsPerPixel)); }

int NearestColorIndex(const TPaletteEntry* Entries, int32_t Color, int Count) {
    const int red = Color & 0xFF, green = Color >> 8 & 0xFF, blue = Color >> 16 & 0xFF;
    int best = 0, bestDistance = INT_MAX;
    for (int i = 0; i < Count; ++i) {
        const int distance =
            std::abs(Entries[i].Red - red) + std::abs(Entries[i].Green - green) + std::abs(Entries[i].Blue - blue);
        if (distance == 0) return i;
        if (distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return best;
}

int NearestPaletteIndex(const TPalette& Palette, int32_t Color) {
    return Palette.Count > 0 ? NearestColorIndex(Palette.Entries.data(), Color, Palette.Count) : -1;
}

TPalette CreatePaletteFromRGBQuads(const TRGBQuad* Table, int Count) {
    TPalette palette;
    palette.Count = std::clamp(Count, 0, int(palette.Entries.size()));
    std::transform(Table, Table + palette.Count, palette.Entries.begin(), RGBQuadToPaletteEntry);
    return palette;
}

int32_t GetPaletteEntryColor(const TPalette& Palette, int Index) {
    if (Index < 0 || Index >= Palette.Count) return -1;
    const TPaletteEntry& e = Palette.Entries[Index];
    return e.Red | e.Green << 8 | e.Blue << 16;
}

int PaletteToRGBQuads(const TPalette& Palette, TRGBQuadTable& Table) {
    std::transform(Palette.Entries.begin(), Palette.Entries.begin() + Palette.Count, Table.begin(),
                   PaletteEntryToRGBQuad);
    return Palette.Count;
}

int MakeGreyRGBQuads(TRGBQuadTable& Table, int BitsPerPixel) {
    const int bits = BitsPerPixel == 1 || BitsPerPixel == 2 || BitsPerPixel == 4 ? BitsPerPixel : 8;
    for (uint32_t i = 0; i < 1u << bits; ++i) {
        const uint8_t v = ExpandChannel(i, bits);
        Table[i] = RGBQuad(v, v, v);
    }
    return 1 << bits;
}

}  // namespace colorquant
