#pragma once
// Message text markup: the tag reader and the interpreter's style state behind SplitMarkup, which
// cuts marked-up lines into text runs and whole tags, and BuildGlyphs, which turns the tokens into
// the glyphs of a document (both declared with the document in text/nxwords.h). Tag and attribute
// names are compared without regard to case; all text is Shift-JIS and walked by character, so no
// trail byte is ever taken for a bracket or backslash.
#include "core/stringlist.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Tag codes: 0 the token is text, 1 an unknown tag (ignored), then one per known tag.
enum TTagCode : int32_t {
    TAG_TEXT = 0,
    TAG_UNKNOWN = 1,
    TAG_A = 2,
    TAG_A_END = 3,
    TAG_B = 4,
    TAG_B_END = 5,
    TAG_FONT = 6,
    TAG_FONT_END = 7,
    TAG_I = 8,
    TAG_I_END = 9,
    TAG_S = 10,
    TAG_S_END = 11,
    TAG_U = 12,
    TAG_U_END = 13,
    TAG_NOBR = 14,
    TAG_NOBR_END = 15,
    TAG_RUBY = 16,
    TAG_RUBY_END = 17,
    TAG_DIV = 18,
    TAG_DIV_END = 19,
    TAG_INDENT = 20,
    TAG_UNDENT = 21,
    TAG_BR = 22,
    TAG_CLEAR = 23,
    TAG_EVENT = 24,
    TAG_WAIT = 25,
    TAG_WAIT_END = 26,
    TAG_VAR = 27,
    TAG_IMG = 28,
    TAG_HISTCHAR = 29,
};

// One token read as a tag: Text is "<" + name + ">" once parsed (any other token stays whole), and
// each line of the list is one attribute, NAME CR VALUE, or NAME alone for an attribute without a
// value.
class TTag : public TStringList {
public:
    std::string Text;

    void SetText(const std::string& Token);
    // Cuts the next item (a word, or NAME=VALUE with the value's quotes removed) off the front of
    // S, a text without blanks at its end, and returns it as NAME CR VALUE or NAME. Every call
    // with a non-empty S shortens it.
    static std::string Parse(std::string_view& S);
    // Attribute line Index split at its first CR (no CR: all name, empty value).
    void GetAttr(int Index, std::string& Name, std::string& Value) const;
    int IndexOfAttr(const std::string& Name) const;
    // The attribute's value; Default only when the attribute is absent.
    std::string GetString(const std::string& Name, const std::string& Default) const;
    // "#RRGGBB" as a colour with red in the low byte; Default for any other value or none.
    int32_t GetColor(const std::string& Name, int32_t Default) const;
    // The value as an integer; Default when absent or unreadable.
    int32_t GetInt(const std::string& Name, int32_t Default) const;
};

int32_t FindTagCode(const TTag& Tag);

// Alignment codes shared by markup, rows and inline images.
inline constexpr uint8_t ALIGN_NONE = 0, ALIGN_LEFT = 1, ALIGN_RIGHT = 2, ALIGN_CENTER = 3, ALIGN_TOP = 4,
                         ALIGN_BOTTOM = 5;

// The ALIGN attribute when it names one of the Allowed codes, else Default.
uint8_t ParseAlign(const TTag& Tag, std::initializer_list<uint8_t> Allowed, uint8_t Default);

// A stack whose Top is its default while it is empty.
template <class T>
class TValueStack {
public:
    explicit TValueStack(T Default) : default_(std::move(Default)) {}
    void Push(T Value) { items_.push_back(std::move(Value)); }
    void Pop() {
        if (!items_.empty()) items_.pop_back();
    }
    const T& Top() const { return items_.empty() ? default_ : items_.back(); }

private:
    T default_;
    std::vector<T> items_;
};
using TIntStack = TValueStack<int32_t>;
using TStrStack = TValueStack<std::string>;
using TAlignStack = TValueStack<uint8_t>;

// The interpreter's style state, made fresh for each text; Wait starts at the script's text delay.
struct TTagValList {
    explicit TTagValList(int32_t TextDelay) : Wait(TextDelay) {}
    TIntStack FontSize{0};
    TIntStack Color{-1};
    TIntStack BorderColor{-1};
    TIntStack ShadowColor{-1};
    TStrStack FontName{""};
    uint8_t Style = 0;
    uint8_t NoBreak = 0;
    std::string Ruby;
    TAlignStack Align{ALIGN_LEFT};
    std::string Link;
    TIntStack Wait;
    TIntStack BorderSize{-1};
    TIntStack ShadowSize{-1};
};
