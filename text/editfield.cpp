// The text field's editing model: caret and selection on character boundaries, the editing keys,
// typed and pasted text, and the wrap into visual lines.
#include "text/editfield.h"

#include "core/sysutils.h"

#include <algorithm>

namespace {

// The Windows key codes the model answers.
constexpr int32_t KeyBack = 0x08, KeyPrior = 0x21, KeyNext = 0x22, KeyEnd = 0x23, KeyHome = 0x24,
                  KeyLeft = 0x25, KeyUp = 0x26, KeyRight = 0x27, KeyDownArrow = 0x28, KeyInsert = 0x2D,
                  KeyDelete = 0x2E;

bool IsBreak(char C) { return C == '\r' || C == '\n'; }

// The byte length of the character at Pos of Text.
size_t CharLength(const std::string& Text, size_t Pos) {
    if (Text[Pos] == '\r' && Pos + 1 < Text.size() && Text[Pos + 1] == '\n') return 2;
    return IsLeadByte(Text[Pos]) && Pos + 1 < Text.size() ? 2 : 1;
}

// The longest start of Text (whole characters) of at most Bytes bytes.
size_t FittingBytes(const std::string& Text, size_t Bytes) {
    size_t at = 0;
    while (at < Text.size()) {
        const size_t next = at + CharLength(Text, at);
        if (next > Bytes) break;
        at = next;
    }
    return at;
}

// The character code at Pos: a lead byte with its trail, else the byte.
uint16_t CodeAt(const std::string& Text, size_t Pos) {
    const uint8_t b = uint8_t(Text[Pos]);
    if (IsLeadByte(b) && Pos + 1 < Text.size()) return uint16_t(b << 8 | uint8_t(Text[Pos + 1]));
    return b;
}

// Lone LFs and CRs become CR LF.
std::string WindowsBreaks(const std::string& Text) {
    std::string out;
    out.reserve(Text.size());
    for (size_t i = 0; i < Text.size(); ++i) {
        if (IsLeadByte(Text[i]) && i + 1 < Text.size()) {
            out.append(Text, i++, 2);
        } else if (Text[i] == '\r' || Text[i] == '\n') {
            out += "\r\n";
            if (Text[i] == '\r' && i + 1 < Text.size() && Text[i + 1] == '\n') ++i;
        } else {
            out += Text[i];
        }
    }
    return out;
}

}  // namespace

size_t TEditField::NextChar(size_t Pos) const {
    return Pos >= text_.size() ? text_.size() : Pos + CharLength(text_, Pos);
}

size_t TEditField::PrevChar(size_t Pos) const {
    size_t at = 0, prev = 0;
    while (at < Pos && at < text_.size()) {
        prev = at;
        at = NextChar(at);
    }
    return prev;
}

bool TEditField::SetText(const std::string& Value) {
    const std::string text = MaxLength ? Value.substr(0, FittingBytes(Value, MaxLength)) : Value;
    const bool changed = text != text_;
    text_ = text;
    anchor_ = caret_ = text_.size();
    Remember();
    return changed;
}

void TEditField::MoveCaret(size_t Pos, bool Extend) {
    caret_ = FittingBytes(text_, std::min(Pos, text_.size()));
    if (!Extend) anchor_ = caret_;
    Remember();
}

void TEditField::SetSelection(size_t Start, size_t Length) {
    anchor_ = FittingBytes(text_, std::min(Start, text_.size()));
    MoveCaret(Length > text_.size() - anchor_ ? text_.size() : anchor_ + Length, true);
}

std::string TEditField::Fitted(const std::string& Text) const {
    std::string insert = MultiLine ? WindowsBreaks(Text) : Text.substr(0, Text.find_first_of("\r\n"));
    if (MaxLength) {
        const size_t kept = text_.size() - SelLength();
        insert.resize(FittingBytes(insert, MaxLength > kept ? MaxLength - kept : 0));
    }
    return insert;
}

bool TEditField::ReplaceSelection(const std::string& Text) {
    if (ReadOnly) return false;
    const size_t start = SelStart(), length = SelLength();
    const std::string insert = Fitted(Text);
    if (insert.empty() && length == 0) return false;
    text_.replace(start, length, insert);
    anchor_ = caret_ = start + insert.size();
    Remember();
    return true;
}

bool TEditField::Type(const std::string& Chars) {
    if (Chars == "\r") return MultiLine && ReplaceSelection("\r\n");
    if (Chars.empty() || (Chars.size() == 1 && (uint8_t(Chars[0]) < 0x20 || Chars[0] == 0x7F))) return false;
    return ReplaceSelection(Chars);
}

bool TEditField::KeyDown(int32_t Key, uint32_t Modifiers, TEditClipboard* Clipboard, bool& Changed) {
    const bool extend = Modifiers & ShiftKey, ctrl = Modifiers & CtrlKey;
    const bool selection = SelLength() > 0;
    Changed = false;
    auto copy = [&] {
        if (Clipboard && selection) Clipboard->SetText(SelText());
    };
    auto paste = [&] { Changed = Clipboard && ReplaceSelection(Clipboard->GetText()); };
    switch (Key) {
    case KeyLeft: MoveCaret(selection && !extend ? SelStart() : PrevChar(caret_), extend); break;
    case KeyRight: MoveCaret(selection && !extend ? SelStart() + SelLength() : NextChar(caret_), extend); break;
    case KeyHome: MoveCaret(ctrl || !MultiLine ? 0 : lines_[LineOf(caret_)].Start, extend); break;
    case KeyEnd: MoveCaret(ctrl || !MultiLine ? text_.size() : lines_[LineOf(caret_)].End, extend); break;
    case KeyUp:
    case KeyDownArrow:
        if (!MultiLine) MoveCaret(Key == KeyUp ? 0 : text_.size(), extend);
        else MoveLines(Key == KeyUp ? -1 : 1, extend);
        break;
    case KeyPrior:
    case KeyNext:
        if (MultiLine) MoveLines((Key == KeyPrior ? -1 : 1) * std::max(PageLines, 1), extend);
        break;
    case KeyDelete:
        if (extend) {
            copy();
            Changed = ReplaceSelection("");
            break;
        }
        if (!selection && !ReadOnly) anchor_ = NextChar(caret_);
        Changed = ReplaceSelection("");
        break;
    case KeyBack:
        if (!selection && !ReadOnly) anchor_ = PrevChar(caret_);
        Changed = ReplaceSelection("");
        break;
    case KeyInsert:
        if (ctrl) copy();
        else if (extend) paste();
        else return false;
        break;
    case 'A':
    case 'C':
    case 'V':
    case 'X':
        if (!ctrl) return false;
        if (Key == 'A') SelectAll();
        if (Key == 'C' || Key == 'X') copy();
        if (Key == 'X') Changed = ReplaceSelection("");
        if (Key == 'V') paste();
        break;
    default: return false;
    }
    return true;
}

// ---- Layout ----

int32_t TEditField::AdvanceAt(size_t Pos) const { return advance_ ? advance_(CodeAt(text_, Pos)) : 0; }

void TEditField::Layout(int32_t Width, const TAdvance& Advance) {
    if (Width != layoutWidth_ || !advance_) paragraphs_.clear();
    layoutWidth_ = Width;
    advance_ = Advance;
    lines_.clear();
    if (!MultiLine) {
        lines_.push_back({0, text_.size()});
        return;
    }
    size_t start = 0, index = 0;
    while (true) {
        size_t end = start;
        while (end < text_.size() && !IsBreak(text_[end])) ++end;
        if (index >= paragraphs_.size()) paragraphs_.emplace_back();
        TParagraph& p = paragraphs_[index];
        if (p.Text.size() != end - start || text_.compare(start, end - start, p.Text) != 0) {
            p.Text.assign(text_, start, end - start);
            p.Breaks.clear();
            int32_t w = 0;
            size_t lineStart = 0, lastBreak = 0;  // 0: none yet in this line
            for (size_t i = 0; i < p.Text.size();) {
                const size_t length = IsLeadByte(p.Text[i]) && i + 1 < p.Text.size() ? 2 : 1;
                const int32_t adv = Advance(CodeAt(p.Text, i));
                if (i > lineStart && w + adv > Width && p.Text[i] != ' ') {
                    if (length == 2) lastBreak = i;
                    const size_t at = lastBreak > lineStart ? lastBreak : i;
                    p.Breaks.push_back(at);
                    lineStart = at;
                    lastBreak = 0;
                    w = 0;
                    i = at;
                    continue;
                }
                if (p.Text[i] == ' ') lastBreak = i + 1;
                else if (length == 2) lastBreak = i;
                w += adv;
                i += length;
            }
        }
        size_t lineStart = start;
        for (size_t b : p.Breaks) {
            lines_.push_back({lineStart, start + b});
            lineStart = start + b;
        }
        lines_.push_back({lineStart, end});
        ++index;
        if (end >= text_.size()) break;
        start = end + CharLength(text_, end);
    }
    paragraphs_.resize(index);
}

size_t TEditField::LineOf(size_t Pos) const {
    const auto after = std::upper_bound(lines_.begin(), lines_.end(), Pos,
                                        [](size_t P, const TLine& L) { return P < L.Start; });
    return after == lines_.begin() ? 0 : size_t(after - lines_.begin() - 1);
}

int32_t TEditField::Width(size_t Start, size_t End) const {
    int32_t w = 0;
    for (size_t at = Start; at < End && at < text_.size(); at = NextChar(at)) w += AdvanceAt(at);
    return w;
}

int32_t TEditField::XOf(size_t Pos) const { return Width(lines_[LineOf(Pos)].Start, Pos); }

size_t TEditField::PosAt(size_t Line, int32_t X) const {
    const TLine& line = lines_[std::min(Line, lines_.size() - 1)];
    size_t at = line.Start;
    int32_t x = 0;
    while (at < line.End) {
        const int32_t adv = AdvanceAt(at);
        if (X < x + (adv + 1) / 2) break;
        x += adv;
        at = NextChar(at);
    }
    return at;
}

void TEditField::MoveLines(int32_t Delta, bool Extend) {
    const int32_t goal = goalX_ >= 0 ? goalX_ : XOf(caret_);
    const int64_t line = std::clamp<int64_t>(int64_t(LineOf(caret_)) + Delta, 0, int64_t(lines_.size()) - 1);
    MoveCaret(PosAt(size_t(line), goal), Extend);
    goalX_ = goal;
}
