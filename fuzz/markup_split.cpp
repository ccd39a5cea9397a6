// Marked-up message text from arbitrary bytes (lines split at LF): the tokens are never empty, no
// double-byte character is cut between two tokens (only the last token may end in a lead byte
// without its trail byte, when the input does), every token reads as a tag, and the interpreter
// either builds the glyphs or raises only its missing-link error.
// Seed corpus: marked-up texts encoded with Python's cp932 codec (the named files), and the inputs
// fuzz/pick_corpus.py kept from a run.
#include "fuzz/harness.h"
#include "text/nxwords.h"
#include "text/nxwords_markup.h"

namespace {

using fuzz::Check;

// Whether Token ends in a lead byte that has no trail byte after it.
bool EndsInLoneLeadByte(const std::string& Token) {
    size_t at = 0;
    while (at + 1 < Token.size()) at += IsLeadByte(Token[at]) ? 2 : 1;
    return at + 1 == Token.size() && IsLeadByte(Token[at]);
}

}  // namespace

int TestOneInput(const uint8_t* Data, size_t Size) {
    const std::string text(reinterpret_cast<const char*>(Data), Size);
    TStringList lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.Add(text.substr(start, end - start));
    lines.Add(text.substr(start));

    TNxWord word;
    TStringList tokens = lines;
    SplitMarkup(word, tokens);
    TTag tag;
    for (int i = 0; i < tokens.Count(); ++i) {
        const std::string& token = tokens.Strings(i);
        Check(!token.empty());
        Check(i + 1 == tokens.Count() || !EndsInLoneLeadByte(token));
        tag.SetText(token);
        const int32_t code = FindTagCode(tag);
        Check(code >= TAG_TEXT && code <= TAG_HISTCHAR);
    }
    try {
        BuildGlyphs(word, lines);
    } catch (const EVelaError& e) {
        Check(std::string(e.what()) == "<A>タグにHREF値がありません");
    }
    return 0;
}
