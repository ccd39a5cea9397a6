// Pixel-font files from arbitrary bytes: a load either raises the reader's own error and leaves
// no section behind, or registers the file; then every code the index names either reads a glyph
// whose surface has the box of its metrics, or is missing both with and without its pixels.
// Seed corpus: tests/tools/make_vft.py corpus fuzz/corpus/vft_read
#include "fuzz/harness.h"
#include "text/packfonts.h"

int TestOneInput(const uint8_t* Data, size_t Size) {
    const std::string file = fuzz::WorkFile("font.vft");
    fuzz::StreamOf(Data, Size).SaveToFile(file);
    TPixelFontManager manager;
    TPixelFontSection* section = nullptr;
    try {
        section = manager.LoadFontFile(file);
    } catch (const EPixelFontError&) {
        fuzz::Check(manager.Count() == 0);
        return 0;
    }
    fuzz::Check(section && manager.Count() == 1 && section->Name() == section->Key());
    fuzz::Check(manager.LoadFontFile(file) == nullptr);
    for (int code = 0; code < 65536; ++code) {
        if (section->CodeMap[code] == TPixelFontSection::kNoGlyph) continue;
        TGlyphMetrics metrics, only;
        TOutlineMetricsRecord outline, outlineOnly;
        TDIBX surface;
        const uint8_t style = section->Style();
        const bool found = manager.GetGlyph(section->FaceName(), section->FontSize(), style, uint16_t(code), metrics,
                                            outline, surface);
        fuzz::Check(found == manager.GetGlyphMetrics(section->FaceName(), section->FontSize(), style, uint16_t(code),
                                                     only, outlineOnly));
        if (!found) continue;
        fuzz::Check(surface.GetWidth() == int32_t(metrics.gmBlackBoxX) &&
                    surface.GetHeight() == int32_t(metrics.gmBlackBoxY) && surface.GetBitCount() == 8);
        fuzz::Check(only.gmBlackBoxX == metrics.gmBlackBoxX && outline == outlineOnly);
    }
    return 0;
}
