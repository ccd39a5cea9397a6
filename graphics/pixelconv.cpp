#include "graphics/pixelconv.h"

#include <bit>

int NearestPaletteIndex(const TRGBQuad* Table, int Count, uint8_t R, uint8_t G, uint8_t B) {
    int best = 0;
    int bestDistance = 0;
    for (int i = 0; i < Count; ++i) {
        const int dr = QuadRed(Table[i]) - R, dg = QuadGreen(Table[i]) - G, db = QuadBlue(Table[i]) - B;
        const int distance = dr * dr + dg * dg + db * db;
        if (i == 0 || distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return best;
}

TMaskLayout MaskLayout(uint32_t RMask, uint32_t GMask, uint32_t BMask) {
    auto field = [](uint32_t Mask) {
        if (Mask == 0) return TMaskLayout::TField{};
        const int shift = std::countr_zero(Mask);
        return TMaskLayout::TField{shift, std::countr_one(Mask >> shift)};
    };
    return {field(RMask), field(GMask), field(BMask)};
}
