// Compiled message texts from arbitrary bytes: a read either raises one of the engine's own
// errors or appends glyphs; either way every glyph's style is in the document's table with a
// count equal to the glyphs referring to it, and a text that read once reads again as a second
// copy with the style index base, its glyphs referring to the new styles.
// Seed corpus: tests/tools/nxword_streams.py corpus fuzz/corpus/nxword_read
#include "fuzz/harness.h"
#include "text/nxwords.h"

#include <map>

namespace {

const TDecorate* StyleOf(const TWdGlyph* Glyph) {
    if (auto ch = dynamic_cast<const TWdChar*>(Glyph)) return ch->Decorate;
    if (auto var = dynamic_cast<const TWdOpeVar*>(Glyph)) return var->Decorate;
    return nullptr;
}

void CheckStyles(const TNxWord& Word) {
    std::map<const TDecorate*, int32_t> held;
    for (int i = 0; i < Word.GlyphCount(); ++i)
        if (const TDecorate* style = StyleOf(Word.GetGlyph(i))) ++held[style];
    for (auto [style, count] : held) fuzz::Check(Word.Decorates.IndexOf(style) >= 0 && style->RefCount == count);
}

}  // namespace

int TestOneInput(const uint8_t* Data, size_t Size) {
    TNxWord word;
    TMemoryStream stream = fuzz::StreamOf(Data, Size);
    try {
        word.LoadFromStream(stream);
    } catch (const EVelaError&) {
        CheckStyles(word);
        return 0;
    }
    CheckStyles(word);
    const int glyphs = word.GlyphCount(), styles = word.Decorates.Count();
    word.StyleIndexBase = styles;
    stream.SetPosition(0);
    word.LoadFromStream(stream);
    CheckStyles(word);
    fuzz::Check(word.GlyphCount() == 2 * glyphs);
    for (int i = 0; i < glyphs; ++i) {
        const TDecorate* style = StyleOf(word.GetGlyph(i));
        if (style) fuzz::Check(StyleOf(word.GetGlyph(glyphs + i)) == word.Decorates.Items(word.Decorates.IndexOf(style) + styles));
    }
    return 0;
}
