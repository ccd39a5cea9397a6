#include "core/nxxmls.h"

#include "core/stringlist.h"
#include "core/sysutils.h"

#include <cstdint>

namespace {

const char* const kLineEnd = "\r\n";

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }

// Names match without regard to the case of ASCII letters; the second byte of a double-byte
// character is compared as it is, even where it has the code of a letter.
bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (IsLeadByte(a[i]) && i + 1 < a.size()) {
            if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
            ++i;
        } else if (AsciiLower(a[i]) != AsciiLower(b[i])) {
            return false;
        }
    }
    return true;
}

std::string_view Trim(std::string_view s) {
    size_t first = 0, last = s.size();
    while (first < last && static_cast<uint8_t>(s[first]) <= ' ') ++first;
    while (last > first && static_cast<uint8_t>(s[last - 1]) <= ' ') --last;
    return s.substr(first, last - first);
}

std::string ReplaceAll(std::string_view s, std::string_view from, char to) {
    std::string out;
    out.reserve(s.size());
    size_t i = 0;
    for (size_t hit; (hit = s.find(from, i)) != std::string_view::npos; i = hit + from.size()) {
        out.append(s, i, hit - i);
        out += to;
    }
    out.append(s, i);
    return out;
}

std::string MissingChildMessage(std::string_view name) { return "<" + std::string(name) + ">がありません"; }

void CheckDeclaration(const TNxXmlTags& tags) {
    const TNxXmlTag* first = tags.Items.empty() ? nullptr : &tags.Items.front();
    const std::string* version = first ? first->FindAttr("version") : nullptr;
    const std::string* encoding = first ? first->FindAttr("encoding") : nullptr;
    if (!first || !first->IsDeclaration() || !version || !encoding) throw ENxXmlError("未対応のファイル形式です");
    if (*version != "1.0") throw ENxXmlError("未対応のXML形式です");
    std::string charset;
    for (char c : *encoding) charset += AsciiLower(c);
    if (charset != "shift_jis" && charset != "shift-jis") throw ENxXmlError("未対応の文字セットです");
}

}  // namespace

// The second byte of a double-byte character is never below 0x40, so it is never one of the
// bytes escaped here and the text can be walked byte by byte. A lead byte standing before one
// of them is not a character, and the byte after it is escaped like any other.
std::string XmlEscape(std::string_view S) {
    std::string out;
    out.reserve(S.size());
    for (char c : S) {
        uint8_t b = static_cast<uint8_t>(c);
        if (b >= 1 && b <= 31) {
            out += "&#" + IntToStr(b) + ";";
        } else if (c == '&') {
            out += "&amp;";
        } else if (c == '"') {
            out += "&quot;";
        } else if (c == '<') {
            out += "&lt;";
        } else if (c == '>') {
            out += "&gt;";
        } else {
            out += c;
        }
    }
    return out;
}

std::string XmlUnescape(std::string_view S) {
    std::string out;
    out.reserve(S.size());
    size_t i = 0;
    size_t semicolon = 0;  // the first ";" at or after the last search start
    bool searched = false;
    for (size_t ref; (ref = S.find("&#", i)) != std::string_view::npos;) {
        if (!searched || semicolon < ref + 2) {
            semicolon = S.find(';', ref + 2);
            searched = true;
        }
        if (semicolon == std::string_view::npos) break;  // no later reference can end either
        out.append(S, i, ref - i);
        // Conversion stops at the first non-digit, so a long run of references stays linear.
        int code = StrToIntDef(S.substr(ref + 2, semicolon - ref - 2), 0, TIntSyntax::Decimal);
        if (code < 1 || code > 65535) {
            out += "&#";
            i = ref + 2;
            continue;
        }
        if (code >= 256) out += static_cast<char>(code >> 8);
        out += static_cast<char>(code & 0xFF);
        i = semicolon + 1;
    }
    out.append(S, i);
    out = ReplaceAll(out, "&gt;", '>');
    out = ReplaceAll(out, "&lt;", '<');
    out = ReplaceAll(out, "&quot;", '"');
    return ReplaceAll(out, "&amp;", '&');
}

TNxXmlTag::TNxXmlTag(std::string AText) : Text(std::move(AText)) {
    if (IsText()) return;
    // The name runs from after "<" or "</" to the first "/", ">" or space from the third
    // character on.
    size_t start = IsClosing() ? 2 : 1;
    size_t end = Text.find_first_of("/> ", 2);
    size_t stop = end == std::string::npos ? Text.size() - 1 : end;
    if (stop > start) Name = Trim(std::string_view(Text).substr(start, stop - start));
    if (end != std::string::npos && Text[end] == ' ') ParseAttributes(end + 1);
}

// name="value" pairs up to the tag's last character. A value is what stands between the two
// double quotes after the "=", so single-quoted values are not recognised.
void TNxXmlTag::ParseAttributes(size_t From) {
    const size_t last = Text.size() - 1;
    size_t p = From;
    for (;;) {
        while (p < last && static_cast<uint8_t>(Text[p]) <= ' ') ++p;
        size_t equals = p < last ? Text.find('=', p) : std::string::npos;
        if (equals == std::string::npos || equals >= last) return;
        size_t open = Text.find('"', equals + 1);
        if (open == std::string::npos || open >= last) return;
        size_t close = Text.find('"', open + 1);
        if (close == std::string::npos || close >= last) return;
        Attributes.emplace_back(std::string(Trim(std::string_view(Text).substr(p, equals - p))),
                                Text.substr(open + 1, close - open - 1));
        p = close + 1;
    }
}

bool TNxXmlTag::IsClosingOrEmpty() const {
    return IsClosing() || (Text.size() >= 2 && Text[Text.size() - 2] == '/');
}

const std::string* TNxXmlTag::FindAttr(std::string_view AName) const {
    for (const auto& [name, value] : Attributes)
        if (SameName(name, AName)) return &value;
    return nullptr;
}

void TNxXmlTags::Parse(std::string_view Text) {
    Items.clear();
    std::vector<std::string_view> lines = SplitLines(Text);
    const int max = static_cast<int>(lines.size()) - 1;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (OnProgress) OnProgress(Sender, static_cast<int>(i), max);
        ParseLine(lines[i]);
    }
    if (OnProgress) OnProgress(Sender, max, max);
}

// Text counts only from the end of a tag on the same line; a tag still open at the end of
// the line is dropped.
void TNxXmlTags::ParseLine(std::string_view Line) {
    bool inTag = false, inQuote = false;
    size_t tagStart = 0;
    size_t textStart = std::string_view::npos;
    for (size_t j = 0; j < Line.size(); ++j) {
        char c = Line[j];
        if (!inTag) {
            if (c != '<') continue;
            if (textStart != std::string_view::npos && j > textStart)
                Items.emplace_back(std::string(Line.substr(textStart, j - textStart)));
            inTag = true;
            tagStart = j;
        } else if (inQuote) {
            inQuote = c != '"';
        } else if (c == '"') {
            inQuote = true;
        } else if (c == '>') {
            Items.emplace_back(std::string(Line.substr(tagStart, j - tagStart + 1)));
            inTag = false;
            textStart = j + 1;
        }
    }
    if (!inTag && textStart != std::string_view::npos) Items.emplace_back(std::string(Line.substr(textStart)));
}

TNxXmlElement::TNxXmlElement(TNxXml* AOwner) : Owner(AOwner) {}

TNxXmlElement::~TNxXmlElement() { FreeChildren(); }

// Frees the subtree without recursion, so that a tree of any depth can be freed.
void TNxXmlElement::FreeChildren() {
    std::vector<std::unique_ptr<TNxXmlElement>> pending = std::move(Children);
    Children.clear();
    while (!pending.empty()) {
        std::unique_ptr<TNxXmlElement> element = std::move(pending.back());
        pending.pop_back();
        for (auto& child : element->Children) pending.push_back(std::move(child));
        element->Children.clear();
    }
}

void TNxXmlElement::Clear() {
    FreeChildren();
    Attributes.clear();
    Name.clear();
    Text.clear();
}

TNxXmlElement* TNxXmlElement::GetChild(int Index) const {
    return Index >= 0 && Index < ChildCount() ? Children[Index].get() : nullptr;
}

TNxXmlElement* TNxXmlElement::AddElement(const std::string& AName) {
    TNxXml* owner = IsDocument() ? static_cast<TNxXml*>(this) : Owner;
    auto child = std::make_unique<TNxXmlElement>(owner);
    child->Name = AName;
    child->Parent = this;
    Children.push_back(std::move(child));
    return Children.back().get();
}

TNxXmlElement* TNxXmlElement::AddTextElement(const std::string& AName, const std::string& AText) {
    TNxXmlElement* child = AddElement(AName);
    child->Text = AText;
    return child;
}

int TNxXmlElement::AddAttrString(const std::string& AName, const std::string& Value) {
    Attributes.push_back(std::make_unique<TNxXmlValue>(TNxXmlValue{AName, Value}));
    return AttrCount() - 1;
}

int TNxXmlElement::AddAttrInteger(const std::string& AName, int Value) { return AddAttrString(AName, IntToStr(Value)); }

int TNxXmlElement::AddAttrBool(const std::string& AName, bool Value) { return AddAttrString(AName, Value ? "1" : "0"); }

TNxXmlValue* TNxXmlElement::GetAttr(int Index) const {
    return Index >= 0 && Index < AttrCount() ? Attributes[Index].get() : nullptr;
}

const TNxXmlValue* TNxXmlElement::FindAttr(std::string_view AName) const {
    for (const auto& attr : Attributes)
        if (SameName(attr->Name, AName)) return attr.get();
    return nullptr;
}

std::string TNxXmlElement::GetAttrString(std::string_view AName, const std::string& Default) const {
    const TNxXmlValue* attr = FindAttr(AName);
    return attr ? attr->Value : Default;
}

int TNxXmlElement::GetAttrInteger(std::string_view AName, int Default) const {
    const TNxXmlValue* attr = FindAttr(AName);
    return attr ? StrToIntDef(attr->Value, Default, TIntSyntax::Decimal) : Default;
}

bool TNxXmlElement::GetAttrBool(std::string_view AName, bool Default) const {
    const TNxXmlValue* attr = FindAttr(AName);
    return attr ? attr->Value == "1" : Default;
}

std::string TNxXmlElement::ReadString(std::string_view AName, const std::string& Default) const {
    const TNxXmlElement* child = FindChild(AName);
    return child ? child->Text : Default;
}

int TNxXmlElement::ReadInteger(std::string_view AName, int Default) const {
    const TNxXmlElement* child = FindChild(AName);
    return child ? StrToIntDef(child->Text, Default, TIntSyntax::Decimal) : Default;
}

bool TNxXmlElement::ReadBool(std::string_view AName, bool Default) const {
    const TNxXmlElement* child = FindChild(AName);
    return child ? child->Text == "1" : Default;
}

int TNxXmlElement::IndexOfChild(std::string_view AName) const {
    for (int i = 0; i < ChildCount(); ++i)
        if (Children[i]->NameIs(AName)) return i;
    return -1;
}

TNxXmlElement* TNxXmlElement::FindChild(std::string_view AName) const {
    int index = IndexOfChild(AName);
    if (index < 0 && StrictMode) throw ENxXmlError(MissingChildMessage(AName));
    return GetChild(index);
}

bool TNxXmlElement::NameIs(std::string_view AName) const { return SameName(Name, AName); }

int TNxXmlElement::Depth() const {
    int depth = 0;
    for (const TNxXmlElement* e = Parent; e; e = e->Parent) ++depth;
    return depth;
}

// The start tag with the attributes, then the text; a line end follows when children come.
void TNxXmlElement::WriteStart(std::string& Out, int Level) const {
    Out.append(2 * static_cast<size_t>(Level), ' ');
    Out += "<" + Name;
    for (const auto& attr : Attributes) Out += " " + attr->Name + "=\"" + XmlEscape(attr->Value) + "\"";
    Out += Text.empty() && Children.empty() ? " />" : ">";
    Out += XmlEscape(Text);
    if (!Children.empty()) Out += kLineEnd;
}

void TNxXmlElement::WriteEnd(std::string& Out, int Level) const {
    if (!Children.empty()) Out.append(2 * static_cast<size_t>(Level), ' ');
    if (!Text.empty() || !Children.empty()) Out += "</" + Name + ">";
    Out += kLineEnd;
}

// Walks the tree without recursion; an element with nothing but a name is left out.
void TNxXmlElement::SaveToStream(TStream& Stream) {
    std::string out;
    if (IsDocument()) out = std::string("<?xml version=\"1.0\" encoding=\"Shift_JIS\" ?>") + kLineEnd + kLineEnd;
    const int base = Depth();
    struct Frame {
        TNxXmlElement* element;
        size_t next;
    };
    std::vector<Frame> open;
    if (!IsBlank()) {
        WriteStart(out, base);
        open.push_back({this, 0});
    }
    while (!open.empty()) {
        TNxXmlElement* element = open.back().element;
        const int level = base + static_cast<int>(open.size()) - 1;
        size_t index = open.back().next++;
        if (index == element->Children.size()) {
            element->WriteEnd(out, level);
            open.pop_back();
            continue;
        }
        if (!element->Parent && element->OnProgress)
            element->OnProgress(element, static_cast<int>(index), element->ChildCount() - 1);
        TNxXmlElement* child = element->Children[index].get();
        if (child->IsBlank()) continue;
        child->WriteStart(out, level + 1);
        open.push_back({child, 0});
    }
    Stream.WriteBuffer(out.data(), static_cast<int64_t>(out.size()));
}

void TNxXmlElement::AssignTag(const TNxXmlTag& Tag) {
    Name = Tag.Name;
    for (const auto& [name, value] : Tag.Attributes) AddAttrString(name, XmlUnescape(value));
}

// Loads the first element tag and what belongs to it, without recursion. Only a closing tag
// of an open element's name ends it; an empty-element tag of any name is a child.
void TNxXmlElement::LoadFromTags(const TNxXmlTags& Tags) {
    const std::vector<TNxXmlTag>& items = Tags.Items;
    size_t i = 0;
    while (i < items.size() && !items[i].IsElement()) ++i;
    if (i == items.size()) return;
    AssignTag(items[i]);
    if (items[i].IsClosingOrEmpty()) return;
    const int max = static_cast<int>(items.size()) - 1;
    std::vector<TNxXmlElement*> open{this};
    for (++i; i < items.size() && !open.empty(); ++i) {
        TNxXmlElement* element = open.back();
        if (!element->Parent && element->OnProgress) element->OnProgress(element, static_cast<int>(i), max);
        const TNxXmlTag& tag = items[i];
        if (!tag.IsElement()) {
            element->Text += XmlUnescape(tag.Text);
        } else if (tag.IsClosing() && SameName(tag.Name, element->Name)) {
            open.pop_back();
        } else {
            TNxXmlElement* child = element->AddElement(tag.Name);
            child->AssignTag(tag);
            if (!tag.IsClosingOrEmpty()) open.push_back(child);
        }
    }
}

void TNxXmlElement::LoadFromStream(TStream& Stream) {
    Clear();
    std::string text(static_cast<size_t>(Stream.Remaining()), '\0');
    Stream.ReadBuffer(text.data(), static_cast<int64_t>(text.size()));
    TNxXmlTags tags(this);
    tags.OnProgress = OnProgress;
    tags.Parse(text);
    if (IsDocument()) CheckDeclaration(tags);
    LoadFromTags(tags);
}
