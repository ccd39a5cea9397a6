// Reveal states of a fixed two-row page from arbitrary bytes: a load either raises one of the
// engine's errors or leaves a reveal position inside the page, and the reveal then runs from
// there to the page's end.
// Seed corpus: tests/tools/make_reveal_state_corpus.py fuzz/corpus/reveal_state_read
#include "fuzz/harness.h"
#include "text/nxwords.h"

namespace {

// "ab", a line break, then "c" and a variable glyph showing "xy" from the document's list.
void BuildPage(TNxWord& Word, TWdPage& Page, TWdRow (&Rows)[2]) {
    Word.Variables.Add("v=xy");
    for (uint16_t code : {uint16_t('a'), uint16_t('b')}) {
        auto ch = std::make_unique<TWdChar>(&Word);
        ch->Code = code;
        Word.AddGlyph(std::move(ch));
    }
    Word.AddGlyph(std::make_unique<TWdOpeReturn>(&Word));
    auto ch = std::make_unique<TWdChar>(&Word);
    ch->Code = 'c';
    Word.AddGlyph(std::move(ch));
    auto var = std::make_unique<TWdOpeVar>(&Word);
    var->Expression = "v";
    Word.AddGlyph(std::move(var));
    Word.ExpandVariables(0, -1, false);
    for (int i = 0; i < Word.GlyphCount(); ++i) {
        TWdGlyph* glyph = Word.GetGlyph(i);
        glyph->SetBounds(0, 0, 8, 8);
        Rows[i < 3 ? 0 : 1].Add(glyph);
    }
    Rows[1].Y = 8;
    for (TWdRow& row : Rows) {
        row.Height = 8;
        Page.Add(&row);
    }
}

}  // namespace

int TestOneInput(const uint8_t* Data, size_t Size) {
    TNxWord word;
    word.Width = word.Height = 64;
    word.FadeTime = 0;
    word.Speed = 0;
    TWdPage page(&word);
    TWdRow rows[2] = {TWdRow(&word), TWdRow(&word)};
    BuildPage(word, page, rows);
    page.ResetReveal();
    TMemoryStream stream = fuzz::StreamOf(Data, Size);
    try {
        page.LoadState(stream);
    } catch (const EVelaError&) {
    }
    fuzz::Check(page.RowIndex >= 0 && page.RowIndex <= page.GetCount() && page.GlyphIndex >= 0);
    fuzz::Check(page.RowIndex == page.GetCount() ? page.GlyphIndex == 0
                                                 : page.GlyphIndex <= page.GetRow(page.RowIndex)->GetCount());
    page.ScrollOffset = 0;
    bool finished = false;
    std::string text;
    for (int tick = 0; tick < 4 && !page.IsRevealDone(); ++tick) page.Advance(16, finished, text);
    fuzz::Check(page.IsRevealDone());
    page.Clear();
    return 0;
}
