#pragma once
// A small XML reader and writer for Shift-JIS documents: a tree of elements, each with a name,
// ordered attributes, a text and child elements, with typed accessors. Only the markup our
// own writer produces is read reliably: no comments, no CDATA, double-quoted attribute values
// and decimal character references only.
#include "core/streams.h"
#include "platform/errors.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class ENxXmlError : public EVelaError {
public:
    using EVelaError::EVelaError;
};

class TNxXml;
class TNxXmlElement;

// Progress of a long read or write: Position runs from 0 to Max.
using TNxXmlProgressEvent = std::function<void(TNxXmlElement* Sender, int Position, int Max)>;

// Text as written between tags and inside attribute values: control bytes become decimal
// character references and & " < > their entities.
std::string XmlEscape(std::string_view S);
// The reverse: decimal references (one byte below 256, else a double-byte code), then
// &gt; &lt; &quot; and last &amp;.
std::string XmlUnescape(std::string_view S);

// One attribute; the value is unescaped.
struct TNxXmlValue {
    std::string Name;
    std::string Value;
};

// One token of a text being read: a text piece, a declaration ("<?...") or an element tag.
class TNxXmlTag {
public:
    explicit TNxXmlTag(std::string AText);

    bool IsText() const { return Text.empty() || Text[0] != '<'; }
    bool IsDeclaration() const { return Text.size() >= 2 && Text[0] == '<' && Text[1] == '?'; }
    bool IsElement() const { return !IsText() && !IsDeclaration(); }
    // "</name>".
    bool IsClosing() const { return Text.size() >= 2 && Text[1] == '/'; }
    // "</name>" or "<name ... />".
    bool IsClosingOrEmpty() const;
    // The raw value of the first attribute with that name (any ASCII case); nullptr when none.
    const std::string* FindAttr(std::string_view AName) const;

    std::string Text;  // raw, "<" to ">" inclusive for tags
    std::vector<std::pair<std::string, std::string>> Attributes;  // values still escaped
    std::string Name;

private:
    void ParseAttributes(size_t From);
};

// The tokens of a whole text, line by line.
class TNxXmlTags {
public:
    // Sender is who the progress events are reported for.
    explicit TNxXmlTags(TNxXmlElement* ASender = nullptr) : Sender(ASender) {}

    // Replaces the tokens with those of Text.
    void Parse(std::string_view Text);

    std::vector<TNxXmlTag> Items;
    TNxXmlElement* Sender;
    TNxXmlProgressEvent OnProgress;

private:
    void ParseLine(std::string_view Line);
};

class TNxXmlElement {
public:
    explicit TNxXmlElement(TNxXml* AOwner = nullptr);
    virtual ~TNxXmlElement();
    TNxXmlElement(const TNxXmlElement&) = delete;
    TNxXmlElement& operator=(const TNxXmlElement&) = delete;

    // Frees children and attributes and empties the name and text.
    void Clear();

    int ChildCount() const { return static_cast<int>(Children.size()); }
    // nullptr when Index is out of range.
    TNxXmlElement* GetChild(int Index) const;
    TNxXmlElement* AddElement(const std::string& AName);
    TNxXmlElement* AddTextElement(const std::string& AName, const std::string& AText);

    // Appends (same names may repeat) and returns the attribute's index.
    int AddAttrString(const std::string& AName, const std::string& Value);
    int AddAttrInteger(const std::string& AName, int Value);
    int AddAttrBool(const std::string& AName, bool Value);
    int AttrCount() const { return static_cast<int>(Attributes.size()); }
    // nullptr when Index is out of range.
    TNxXmlValue* GetAttr(int Index) const;

    // The first attribute of that name; Default when absent (or, for integers, not one).
    std::string GetAttrString(std::string_view AName, const std::string& Default) const;
    int GetAttrInteger(std::string_view AName, int Default) const;
    bool GetAttrBool(std::string_view AName, bool Default) const;

    // The text of the first child of that name; a missing child gives Default, or raises
    // "<name>がありません" in StrictMode.
    std::string ReadString(std::string_view AName, const std::string& Default) const;
    int ReadInteger(std::string_view AName, int Default) const;
    bool ReadBool(std::string_view AName, bool Default) const;

    // -1 when there is no child of that name.
    int IndexOfChild(std::string_view AName) const;
    // nullptr when there is none, or raises "<name>がありません" in StrictMode.
    TNxXmlElement* FindChild(std::string_view AName) const;
    bool NameIs(std::string_view AName) const;
    // The number of ancestors.
    int Depth() const;

    void SaveToStream(TStream& Stream);
    // Reads the bytes from the stream's position to its end.
    void LoadFromStream(TStream& Stream);

    std::vector<std::unique_ptr<TNxXmlElement>> Children;
    TNxXml* Owner;
    std::string Name;
    std::vector<std::unique_ptr<TNxXmlValue>> Attributes;
    TNxXmlElement* Parent = nullptr;
    std::string Text;
    bool StrictMode = false;
    TNxXmlProgressEvent OnProgress;

protected:
    // A document writes the XML declaration and requires it when read.
    virtual bool IsDocument() const { return false; }

private:
    const TNxXmlValue* FindAttr(std::string_view AName) const;
    bool IsBlank() const { return Attributes.empty() && Text.empty() && Children.empty(); }
    void FreeChildren();
    void AssignTag(const TNxXmlTag& Tag);
    void LoadFromTags(const TNxXmlTags& Tags);
    void WriteStart(std::string& Out, int Level) const;
    void WriteEnd(std::string& Out, int Level) const;
};

// A document: the root element itself.
class TNxXml : public TNxXmlElement {
public:
    TNxXml() : TNxXmlElement(nullptr) {}

protected:
    bool IsDocument() const override { return true; }
};
