#include "graphics/pixelconv.h"

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
