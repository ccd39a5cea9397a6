#pragma once
// The editing model of a text field, shared by the shell kit's text box and the scene's edit and
// memo objects: Shift-JIS text with a caret and a selection anchor that always stand on character
// boundaries, the editing keys, typed and pasted text, and (for a field of several lines) the
// text wrapped into visual lines at a width.
//
// A line break is CR LF (a lone CR or LF also breaks a line and counts as one character); a field
// of one line never takes one. Widths come from the advance of each character code, which the
// owner supplies (the glyph rasteriser's advance in its font).
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Where cut and copied text goes and pasted text comes from.
class TEditClipboard {
public:
    virtual ~TEditClipboard() = default;
    virtual std::string GetText() = 0;
    virtual void SetText(const std::string& Text) = 0;
};

class TEditField {
public:
    using TAdvance = std::function<int32_t(uint16_t Code)>;
    // The modifier keys held with a key.
    static constexpr uint32_t ShiftKey = 1, CtrlKey = 2;

    const std::string& Text() const { return text_; }
    // Replaces the text (cut at MaxLength) with the caret at its end and nothing selected. True
    // when the text changed.
    bool SetText(const std::string& Value);
    // 0: no limit; bytes otherwise, never splitting a double-byte character.
    size_t MaxLength = 0;
    bool MultiLine = false;
    // Keys and typing still move the caret and select, but change nothing.
    bool ReadOnly = false;

    // Caret and selection in bytes.
    size_t SelStart() const { return anchor_ < caret_ ? anchor_ : caret_; }
    size_t SelLength() const { return anchor_ > caret_ ? anchor_ - caret_ : caret_ - anchor_; }
    size_t CaretPos() const { return caret_; }
    std::string SelText() const { return text_.substr(SelStart(), SelLength()); }
    // The selection from Start over Length bytes, each end moved back to a character boundary;
    // the caret at its end.
    void SetSelection(size_t Start, size_t Length);
    void SelectAll() { SetSelection(0, text_.size()); }
    // The caret to Pos (moved back to a character boundary); Extend keeps the anchor.
    void MoveCaret(size_t Pos, bool Extend);
    // The character boundary after and before a byte position (a CR LF pair is one character).
    size_t NextChar(size_t Pos) const;
    size_t PrevChar(size_t Pos) const;

    // Replaces the selection with Text (cut to fit MaxLength; a field of one line takes what
    // comes before the first line break) and puts the caret after it. True when the text changed; nothing changes while
    // ReadOnly.
    bool ReplaceSelection(const std::string& Text);
    // One typed character or string: control characters type nothing, but Enter ("\r") in a
    // field of several lines starts a new line. True when the text changed.
    bool Type(const std::string& Chars);
    // The editing keys (Windows key codes) with the modifiers held: arrows, Home, End (with Ctrl
    // to the text's ends), Page Up and Page Down (by the lines shown), Backspace, Delete, Shift
    // extending the selection, Ctrl+A selecting all, Ctrl+C and Ctrl+Insert copying, Ctrl+X and
    // Shift+Delete cutting, Ctrl+V and Shift+Insert pasting. True when the key was one of them.
    // Changed tells whether the text changed. Up, Down and the page keys need the layout.
    bool KeyDown(int32_t Key, uint32_t Modifiers, TEditClipboard* Clipboard, bool& Changed);

    // ---- Layout ----
    // Wraps the text into visual lines no wider than Width (a field of one line is one line),
    // breaking after a space or before a double-byte character where it can, else before the
    // character that does not fit. Only the paragraphs whose text changed are measured again;
    // a new advance or width measures all.
    void Layout(int32_t Width, const TAdvance& Advance);
    // Forgets the measured paragraphs (the advances changed: another font).
    void ForgetLayout() { paragraphs_.clear(); }
    struct TLine {
        size_t Start = 0, End = 0;  // bytes, End before the line break
    };
    // The visual lines of the last layout (at least one).
    const std::vector<TLine>& Lines() const { return lines_; }
    // The visual line holding Pos (a position at a wrap belongs to the line it starts).
    size_t LineOf(size_t Pos) const;
    // The x of Pos within its line, and the position of a line nearest to x.
    int32_t XOf(size_t Pos) const;
    size_t PosAt(size_t Line, int32_t X) const;
    int32_t Width(size_t Start, size_t End) const;
    // Lines shown at once, for Page Up and Page Down.
    int32_t PageLines = 1;

private:
    void Remember() { goalX_ = -1; }
    void MoveLines(int32_t Delta, bool Extend);
    int32_t AdvanceAt(size_t Pos) const;
    std::string Fitted(const std::string& Text) const;

    std::string text_;
    size_t anchor_ = 0, caret_ = 0;
    // The x that Up and Down keep to across short lines; -1 when the caret moved otherwise.
    int32_t goalX_ = -1;

    struct TParagraph {
        std::string Text;
        std::vector<size_t> Breaks;  // the offsets inside Text where a visual line starts, after 0
    };
    std::vector<TParagraph> paragraphs_;
    std::vector<TLine> lines_{TLine{}};
    int32_t layoutWidth_ = -1;
    TAdvance advance_;
};
