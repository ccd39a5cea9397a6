#include "text/nxwords_markup.h"

#include "core/jstrm.h"
#include "core/sysutils.h"
#include "script/params_vars.h"
#include "text/fontpixels.h"
#include "text/nxwords.h"

#include <algorithm>
#include <string_view>

namespace {

constexpr char CR = '\r';
constexpr char LF = '\n';
constexpr char TAB = '\t';
constexpr char ControlSpace = '\x14';

bool StartsWithText(std::string_view S, size_t At, std::string_view Prefix) {
    return S.size() - At >= Prefix.size() && AnsiSameText(S.substr(At, Prefix.size()), Prefix);
}

bool EndsWithSpace(const std::string& S) { return !S.empty() && S.back() == ' '; }

// The tokenizer's walk over the joined text, one character (one byte, or a lead byte with its
// trail byte) at a time.
class TMarkupSplitter {
public:
    TMarkupSplitter(const std::string& Text, TStringList& Tokens) : text_(Text), tokens_(Tokens) {}

    void Run() {
        while (pos_ < text_.size()) Step();
        if (!token_.empty()) Emit();
    }

private:
    size_t CharLength() const { return CharSize(text_, pos_); }
    void AppendChar() {
        const size_t n = CharLength();
        token_.append(text_, pos_, n);
        pos_ += n;
    }
    void Emit() {
        tokens_.Add(token_);
        token_.clear();
    }
    void EmitNonEmpty() {
        if (!token_.empty()) Emit();
    }
    bool Verbatim() const { return inPre_ || inTextArea_ || scriptDepth_ > 0; }

    bool BlockStart() {
        for (std::string_view opener : {"<!--", "<SCRIPT", "<STYLE"}) {
            if (!StartsWithText(text_, pos_, opener)) continue;
            if (blockDepth_ == 0) EmitNonEmpty();
            token_.append(text_, pos_, opener.size());
            pos_ += opener.size();
            ++blockDepth_;
            return true;
        }
        return false;
    }

    bool BlockEnd() {
        for (std::string_view closer : {"-->", "</SCRIPT>", "</STYLE>"}) {
            if (!StartsWithText(text_, pos_, closer)) continue;
            if (blockDepth_ > 0) --blockDepth_;
            token_.append(text_, pos_, closer.size());
            pos_ += closer.size();
            if (blockDepth_ == 0) Emit();
            return true;
        }
        return false;
    }

    void SkipCR() {
        if (pos_ < text_.size() && text_[pos_] == CR) ++pos_;
    }

    // After a whole tag was emitted: the PRE, TEXTAREA and SCRIPT sections it opens or closes.
    void AfterTag(const std::string& Tag) {
        auto opens = [&](std::string_view name, bool& flag) {
            if (!StartsWithText(Tag, 0, name)) return false;
            SkipCR();
            flag = true;
            return true;
        };
        auto closes = [&](std::string_view name, bool& flag) {
            if (!StartsWithText(Tag, 0, name)) return false;
            const int n = tokens_.Count();
            if (n > 1 && tokens_.Strings(n - 2) == "<BR>") tokens_.Delete(n - 2);
            flag = false;
            return true;
        };
        if (!inTextArea_ && (opens("<PRE", inPre_) || closes("</PRE", inPre_))) return;
        if (!inPre_ && (opens("<TEXTAREA", inTextArea_) || closes("</TEXTAREA", inTextArea_))) return;
        if (StartsWithText(Tag, 0, "<SCRIPT")) {
            SkipCR();
            ++scriptDepth_;
        } else if (StartsWithText(Tag, 0, "</SCRIPT") && scriptDepth_ >= 1) {
            --scriptDepth_;
        }
    }

    void CloseTag() {
        ++pos_;
        if (--tagDepth_ > 0 || token_.empty()) return;
        token_ += '>';
        const std::string tag = token_;
        Emit();
        AfterTag(tag);
    }

    void Escape() {
        const char next = text_[pos_ + 1];
        if (std::string_view("\"%<>\\{}").find(next) == std::string_view::npos) {
            ++pos_;  // the backslash goes; the character after it is read as usual
            return;
        }
        token_ += next;
        pos_ += 2;
        if (next == '<' || next == '>') Emit();
    }

    void LineEnd() {
        ++pos_;
        if (tagDepth_ == 0 && Verbatim()) {
            EmitNonEmpty();
            if (inPre_) tokens_.Add("<BR>");
        } else if (!token_.empty() && !EndsWithSpace(token_)) {
            token_ += ' ';
        }
    }

    void Step() {
        const char c = text_[pos_];
        const bool single = CharLength() == 1;
        if (inQuote_) {
            if (single && (c == CR || c == LF || c == TAB)) {
                ++pos_;
                return;
            }
            if (single && c == '"') inQuote_ = false;
            AppendChar();
            return;
        }
        if (!single) {
            AppendChar();
            return;
        }
        if (BlockStart() || BlockEnd()) return;
        if (blockDepth_ > 0) {
            AppendChar();
            if (c == CR) token_ += LF;
            return;
        }
        if (c == '<') {
            if (tagDepth_ == 0) EmitNonEmpty();
            AppendChar();
            ++tagDepth_;
        } else if (c == '>' && tagDepth_ >= 1) {
            CloseTag();
        } else if (c == '\\' && pos_ + 1 < text_.size()) {
            Escape();
        } else if (c == CR) {
            LineEnd();
        } else if (c == ControlSpace && !Verbatim()) {
            ++pos_;
            if (!EndsWithSpace(token_)) token_ += ' ';
        } else if (c == TAB) {
            ++pos_;
            if (Verbatim()) token_.append(8, ' ');
        } else if (c == '"') {
            inQuote_ = true;
            AppendChar();
        } else if (c == ' ') {
            ++pos_;
            if (!EndsWithSpace(token_)) token_ += ' ';
        } else {
            AppendChar();
        }
    }

    const std::string& text_;
    TStringList& tokens_;
    size_t pos_ = 0;
    std::string token_;
    int tagDepth_ = 0, blockDepth_ = 0, scriptDepth_ = 0;
    bool inQuote_ = false, inPre_ = false, inTextArea_ = false;
};

}  // namespace

void SplitMarkup(TNxWord& /*Word*/, TStringList& Lines) {
    std::string text;
    for (int i = 0; i < Lines.Count(); ++i) {
        if (i > 0) text += CR;
        text += Lines.Strings(i);
    }
    Lines.Clear();
    TMarkupSplitter(text, Lines).Run();
}

// ---- Tags ----

std::string TTag::Parse(std::string_view& S) {
    // S is trimmed at its end already (SetText trims the whole text once); its start goes past
    // the blanks, half- or full-width.
    for (;;) {
        if (S.starts_with(' '))
            S.remove_prefix(1);
        else if (S.starts_with("\x81\x40"))
            S.remove_prefix(2);
        else
            break;
    }
    const size_t nameEnd = std::min(S.find_first_of(" ="), S.size());
    std::string item(S.substr(0, nameEnd));
    S.remove_prefix(nameEnd);
    if (S == "=") {
        S = {};  // a name with "=" and nothing after it has no value
    } else if (S.size() > 1 && S[0] != ' ') {
        S.remove_prefix(1);
        size_t valueStart = 0, valueEnd, rest;
        const char quote = S[0];
        size_t closing = quote == '"' || quote == '\'' ? S.find(quote, 1) : std::string_view::npos;
        if (closing != std::string_view::npos) {
            valueStart = 1;
            valueEnd = closing;
            rest = closing + 1;
        } else {
            if (quote == '"' || quote == '\'') valueStart = 1;
            valueEnd = rest = std::min(S.find(' ', valueStart), S.size());
        }
        (item += CR).append(S.substr(valueStart, valueEnd - valueStart));
        S.remove_prefix(rest);
    }
    return item;
}

void TTag::SetText(const std::string& Token) {
    Clear();
    const bool bracketed = Token.size() >= 2 && Token.front() == '<' && Token.back() == '>';
    if (!bracketed || Token.starts_with("<!--") || Token.starts_with("<SCRIPT") || Token.starts_with("<STYLE")) {
        Text = Token;
        return;
    }
    // Each item is cut off the front of what is left without copying the rest, so a tag of many
    // attributes is read in time proportional to its length.
    const std::string inner = JStrTrim(Token.substr(1, Token.size() - 2));
    std::string_view rest = inner;
    Text = "<" + Parse(rest) + ">";
    while (!rest.empty()) {
        std::string item = Parse(rest);
        if (!item.empty()) Add(item);
    }
}

void TTag::GetAttr(int Index, std::string& Name, std::string& Value) const {
    const std::string& line = Strings(Index);
    const size_t cr = line.find(CR);
    Name = line.substr(0, cr);
    Value = cr == std::string::npos ? std::string() : line.substr(cr + 1);
}

int TTag::IndexOfAttr(const std::string& Name) const {
    std::string name, value;
    for (int i = 0; i < Count(); ++i) {
        GetAttr(i, name, value);
        if (AnsiSameText(name, Name)) return i;
    }
    return -1;
}

std::string TTag::GetString(const std::string& Name, const std::string& Default) const {
    const int i = IndexOfAttr(Name);
    if (i < 0) return Default;
    std::string name, value;
    GetAttr(i, name, value);
    return value;
}

int32_t TTag::GetColor(const std::string& Name, int32_t Default) const {
    const std::string value = GetString(Name, "");
    int32_t rgb;
    if (!value.starts_with('#') || !TryStrToInt("$" + JStrCopy(value, 2, 6), rgb)) return Default;
    return (rgb & 0xFF) << 16 | (rgb & 0xFF00) | (rgb >> 16 & 0xFF);
}

int32_t TTag::GetInt(const std::string& Name, int32_t Default) const {
    return IndexOfAttr(Name) < 0 ? Default : StrToIntDef(GetString(Name, ""), Default);
}

int32_t FindTagCode(const TTag& Tag) {
    static const char* const names[] = {"A",    "/A",    "B",   "/B",   "FONT",   "/FONT",  "I",  "/I",
                                        "S",    "/S",    "U",   "/U",   "NOBR",   "/NOBR",  "RUBY", "/RUBY",
                                        "DIV",  "/DIV",  "INDENT", "UNDENT", "BR", "CLEAR", "EVENT", "WAIT",
                                        "/WAIT", "VAR", "IMG", "HISTCHAR"};
    const std::string& t = Tag.Text;
    if (t.size() < 3 || t.front() != '<' || t.back() != '>') return TAG_TEXT;
    const std::string_view name = std::string_view(t).substr(1, t.size() - 2);
    for (size_t i = 0; i < std::size(names); ++i)
        if (AnsiSameText(name, names[i])) return TAG_A + static_cast<int32_t>(i);
    return TAG_UNKNOWN;
}

uint8_t ParseAlign(const TTag& Tag, std::initializer_list<uint8_t> Allowed, uint8_t Default) {
    static const char* const names[] = {"LEFT", "RIGHT", "CENTER", "TOP", "BOTTOM"};
    const std::string value = Tag.GetString("ALIGN", "");
    for (uint8_t code = ALIGN_LEFT; code <= ALIGN_BOTTOM; ++code)
        if (AnsiSameText(value, names[code - 1]))
            return std::find(Allowed.begin(), Allowed.end(), code) != Allowed.end() ? code : Default;
    return Default;
}

// ---- Glyphs ----

namespace {

class TGlyphBuilder {
public:
    explicit TGlyphBuilder(TNxWord& Word) : word_(Word), state_(ParamMan ? ParamMan->TextDelay() : DefaultTextDelay) {}

    void Interpret(const std::string& Token) {
        tag_.SetText(Token);
        const int32_t code = FindTagCode(tag_);
        switch (code) {
            case TAG_TEXT: return AddText(Token);
            case TAG_A: {
                const std::string href = tag_.GetString("HREF", "");
                if (href.empty()) throw EVelaError("<A>タグにHREF値がありません");
                state_.Link = DecodeEscapes(href);
                return;
            }
            case TAG_A_END: state_.Link.clear(); return;
            case TAG_B: case TAG_B_END: return SetStyleBit(1, code == TAG_B);
            case TAG_I: case TAG_I_END: return SetStyleBit(2, code == TAG_I);
            case TAG_U: case TAG_U_END: return SetStyleBit(4, code == TAG_U);
            case TAG_S: case TAG_S_END: return SetStyleBit(8, code == TAG_S);
            case TAG_FONT: return PushFont();
            case TAG_FONT_END: return PopFont();
            case TAG_NOBR: case TAG_NOBR_END: state_.NoBreak = code == TAG_NOBR; return;
            case TAG_RUBY: state_.Ruby = tag_.GetString("VALUE", ""); return;
            case TAG_RUBY_END: state_.Ruby.clear(); return;
            case TAG_DIV:
                state_.Align.Push(ParseAlign(tag_, {ALIGN_LEFT, ALIGN_RIGHT, ALIGN_CENTER}, ALIGN_LEFT));
                return AddAlign();
            case TAG_DIV_END: state_.Align.Pop(); return AddAlign();
            case TAG_INDENT: return Add(std::make_unique<TWdOpeIndent>(&word_));
            case TAG_UNDENT: return Add(std::make_unique<TWdOpeUndent>(&word_));
            case TAG_BR: case TAG_CLEAR: {
                auto glyph = std::make_unique<TWdOpeReturn>(&word_);
                glyph->SetClear(code == TAG_CLEAR || tag_.IndexOfAttr("CLEAR") >= 0);
                return Add(std::move(glyph));
            }
            case TAG_EVENT: {
                auto glyph = std::make_unique<TWdOpeEvent>(&word_);
                const char* end = tag_.IndexOfAttr("END") >= 0 ? "\x01" : "";
                glyph->SetSource(end + DecodeEscapes(tag_.GetString("VALUE", "")));
                return Add(std::move(glyph));
            }
            case TAG_WAIT: state_.Wait.Push(tag_.GetInt("VALUE", state_.Wait.Top())); return;
            case TAG_WAIT_END: state_.Wait.Pop(); return;
            case TAG_VAR: return AddVariable(std::make_unique<TWdOpeVar>(&word_), "NAME");
            case TAG_HISTCHAR: return AddVariable(std::make_unique<TWdOpeHistChar>(&word_), "VALUE");
            case TAG_IMG: return AddImage();
            default: return;  // unknown tags, comments, scripts and styles
        }
    }

private:
    TDecorateValues Values() const {
        TDecorateValues v;
        v.Color = state_.Color.Top();
        v.BorderColor = state_.BorderColor.Top();
        v.ShadowColor = state_.ShadowColor.Top();
        v.FontSize = state_.FontSize.Top();
        v.Style = state_.Style;
        v.FontName = state_.FontName.Top();
        v.NoBreak = state_.NoBreak;
        v.Ruby = state_.Ruby;
        v.BorderSize = state_.BorderSize.Top();
        v.ShadowSize = state_.ShadowSize.Top();
        return v;
    }

    void Add(std::unique_ptr<TWdGlyph> Glyph) { word_.AddGlyph(std::move(Glyph)); }

    void AddText(const std::string& Text) {
        const TDecorateValues values = Values();
        for (size_t at = 0; at < Text.size();) {
            const size_t n = CharSize(Text, at);
            const uint8_t first = static_cast<uint8_t>(Text[at]);
            auto glyph = std::make_unique<TWdChar>(&word_, values);
            glyph->SetCode(static_cast<uint16_t>(n == 2 ? first << 8 | static_cast<uint8_t>(Text[at + 1]) : first));
            glyph->SetLink(state_.Link);
            glyph->SetWait(state_.Wait.Top());
            Add(std::move(glyph));
            at += n;
        }
    }

    void SetStyleBit(uint8_t Bit, bool On) { state_.Style = On ? state_.Style | Bit : state_.Style & ~Bit; }

    // BORDER and SHADOW: absent the current size, present their value (1 when unreadable), at least 0.
    int32_t Outline(const char* Name, const TIntStack& Current) const {
        return tag_.IndexOfAttr(Name) < 0 ? Current.Top() : ClampOutline(tag_.GetInt(Name, 1));
    }

    void PushFont() {
        state_.FontSize.Push(tag_.GetInt("SIZE", state_.FontSize.Top()));
        state_.Color.Push(tag_.GetColor("COLOR", state_.Color.Top()));
        state_.BorderColor.Push(tag_.GetColor("BCOLOR", state_.BorderColor.Top()));
        state_.ShadowColor.Push(tag_.GetColor("SCOLOR", state_.ShadowColor.Top()));
        state_.FontName.Push(tag_.GetString("NAME", state_.FontName.Top()));
        state_.BorderSize.Push(Outline("BORDER", state_.BorderSize));
        state_.ShadowSize.Push(Outline("SHADOW", state_.ShadowSize));
    }

    void PopFont() {
        state_.FontSize.Pop();
        state_.Color.Pop();
        state_.BorderColor.Pop();
        state_.ShadowColor.Pop();
        state_.FontName.Pop();
        state_.BorderSize.Pop();
        state_.ShadowSize.Pop();
    }

    void AddAlign() {
        auto glyph = std::make_unique<TWdOpeAlign>(&word_);
        glyph->SetAlign(state_.Align.Top());
        Add(std::move(glyph));
    }

    void AddVariable(std::unique_ptr<TWdOpeVar> Glyph, const char* SourceAttr) {
        const std::string source = tag_.GetString(SourceAttr, "");
        if (source.empty()) return;
        Glyph->SetDecorate(Values());
        Glyph->SetWait(state_.Wait.Top());
        Glyph->SetLink(state_.Link);
        Glyph->SetSource(source);
        Add(std::move(Glyph));
    }

    void AddImage() {
        const std::string source = tag_.GetString("SRC", "");
        if (source.empty()) return;
        auto glyph = std::make_unique<TWdImg>(&word_);
        glyph->SetSource(source);
        glyph->SetAlign(ParseAlign(tag_, {ALIGN_CENTER, ALIGN_TOP, ALIGN_BOTTOM}, ALIGN_BOTTOM));
        glyph->SetLink(state_.Link);
        glyph->SetWait(state_.Wait.Top());
        Add(std::move(glyph));
    }

    TNxWord& word_;
    TTagValList state_;
    TTag tag_;
};

}  // namespace

void BuildGlyphs(TNxWord& Word, const TStringList& Lines) {
    Word.ClearGlyphs();
    TStringList tokens = Lines;
    SplitMarkup(Word, tokens);
    TGlyphBuilder builder(Word);
    for (int i = 0; i < tokens.Count(); ++i) builder.Interpret(tokens.Strings(i));
}
