#include "graphics/pixelconv.h"
#include "graphics/dib.h"

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

void FrameRowColors(const TFrameRecord& Frame, int32_t Y, int32_t Count, TRGBQuad* Out) {
    const uint8_t* row = Frame.Pixels + ptrdiff_t(Y) * Frame.Pitch;
    if (Frame.BitCount <= 8) {
        for (int32_t x = 0; x < Count; ++x)
            Out[x] = Frame.ColorTable ? Frame.ColorTable[LoadPixel(row, x, Frame.BitCount)] & 0x00FFFFFF : 0;
        return;
    }
    const TMaskLayout layout = MaskLayout(Frame.RMask, Frame.GMask, Frame.BMask);
    const int bits = Frame.BitCount == 15 ? 16 : Frame.BitCount;
    for (int32_t x = 0; x < Count; ++x) Out[x] = layout.Unpack(LoadPixel(row, x, bits));
}
