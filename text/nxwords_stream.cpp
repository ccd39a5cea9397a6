// The compiled form of message text: the header, the style table and the glyph bodies.
#include "text/nxwords.h"

#include "core/jstrm.h"
#include "script/params_parser.h"
#include "text/fontpixels.h"

#include <cstring>

namespace {

const char kMagic[] = "NxWord";
constexpr int kHeaderSize = 9;

// The smallest stored style record of a version: four int32, two bytes, the border, two empty
// strings, and from version 100 the two shadow fields.
int64_t MinStyleRecordSize(int32_t Version) {
    return Version < 100 ? 4 * 4 + 2 + 1 + 2 * 4 : 4 * 4 + 2 + 4 + 2 * 4 + 2 * 4;
}

// Gives the glyph whose style is Ref the stored style Index (taken with the document's base)
// and one reference of it. The glyph's previous style is given back first, so that a style
// made only for a new glyph never stands in the table while an index is looked up. EListError
// for an index outside the table, the glyph then without a style.
void TakeStoredStyle(TNxWord& Word, TDecorate*& Ref, int32_t Index) {
    Word.Decorates.Release(Ref);
    Ref = nullptr;
    TDecorate* stored = Word.Decorates.Items(Word.StyleIndexBase + Index);
    ++stored->RefCount;
    Ref = stored;
}

int32_t StyleIndexOf(const TNxWord& Word, const TDecorate* Decorate) { return Word.Decorates.IndexOf(Decorate); }

// The reference counts are the references the document's glyphs really hold, whatever the
// stored counts said.
void CountStyleReferences(TNxWord& Word) {
    for (int i = 0; i < Word.Decorates.Count(); ++i) Word.Decorates.Items(i)->RefCount = 0;
    for (int i = 0; i < Word.GlyphCount(); ++i) {
        TWdGlyph* glyph = Word.GetGlyph(i);
        if (auto ch = dynamic_cast<TWdChar*>(glyph))
            ++ch->Decorate->RefCount;
        else if (auto var = dynamic_cast<TWdOpeVar*>(glyph))
            ++var->Decorate->RefCount;
    }
}

// The header's version: that of "NxWord" and three digits, else 0 with the stream back where
// it was.
int32_t ReadVersion(TStream& Stream) {
    char header[kHeaderSize];
    int64_t got = Stream.Read(header, kHeaderSize);
    if (got == kHeaderSize && std::memcmp(header, kMagic, sizeof kMagic - 1) == 0) {
        std::string digits(header + sizeof kMagic - 1, kHeaderSize - (sizeof kMagic - 1));
        int32_t version;
        if (!TryStrToInt(digits, version))
            throw EVelaError(Format("'%s' is not a valid integer value", digits.c_str()));
        return version;
    }
    Stream.Seek(-got, soCurrent);
    return 0;
}

}  // namespace

std::unique_ptr<TWdGlyph> CreateGlyph(TNxWord* Word, int32_t Kind) {
    switch (Kind) {
    case wkChar: return std::make_unique<TWdChar>(Word);
    case wkAlign: return std::make_unique<TWdOpeAlign>(Word);
    case wkReturn: return std::make_unique<TWdOpeReturn>(Word);
    case wkIndent: return std::make_unique<TWdOpeIndent>(Word);
    case wkUndent: return std::make_unique<TWdOpeUndent>(Word);
    case wkEvent: return std::make_unique<TWdOpeEvent>(Word);
    case wkVar: return std::make_unique<TWdOpeVar>(Word);
    case wkImg: return std::make_unique<TWdImg>(Word);
    case wkHistChar: return std::make_unique<TWdOpeHistChar>(Word);
    default: return nullptr;
    }
}

// ---- Styles ----

void TDecorate::LoadFromStream(TStream& Stream, int32_t Version) {
    RefCount = ReadStreamInt(Stream);
    Color = ReadStreamInt(Stream);
    BorderColor = ReadStreamInt(Stream);
    FontSize = ReadStreamInt(Stream);
    Style = ReadStreamByte(Stream);
    NoBreak = ReadStreamByte(Stream);
    if (Version < 100)
        BorderSize = ReadStreamByte(Stream) != 0 ? 1 : 0;
    else
        BorderSize = ReadStreamInt(Stream);
    FontName = ReadStreamString(Stream);
    Ruby = ReadStreamString(Stream);
    if (Version >= 100) {
        ShadowSize = ReadStreamInt(Stream);
        ShadowColor = ReadStreamInt(Stream);
    } else {
        ShadowSize = 0;
        ShadowColor = 0;
    }
    CheckStoredGlyphSizes(FontSize, BorderSize, ShadowSize);
}

void TDecorateList::LoadFromStream(TStream& Stream, int32_t Version) {
    int32_t count = ReadStreamCount(Stream, MinStyleRecordSize(Version));
    for (int32_t i = 0; i < count; ++i) {
        auto decorate = std::make_unique<TDecorate>();
        decorate->LoadFromStream(Stream, Version);
        Add(std::move(decorate));
    }
}

// ---- The document ----

void TNxWord::LoadFromStream(TStream& Stream) {
    int32_t version = ReadVersion(Stream);
    Decorates.LoadFromStream(Stream, version);
    // Every style is held while the glyphs are read, so that none leaves the table (and moves
    // the indexes after it) when a new glyph's first style is given back.
    for (int i = 0; i < Decorates.Count(); ++i) Decorates.Items(i)->RefCount = 1;
    try {
        int32_t count = ReadStreamCount(Stream, 1);
        for (int32_t i = 0; i < count; ++i) {
            std::unique_ptr<TWdGlyph> glyph = CreateGlyph(this, ReadStreamByte(Stream) & 0x7F);
            if (!glyph) continue;
            glyph->LoadFromStream(Stream, version);
            AddGlyph(std::move(glyph));
        }
    } catch (...) {
        CountStyleReferences(*this);
        throw;
    }
    CountStyleReferences(*this);
}

// ---- Glyph bodies ----

void TWdReal::SaveToStream(TStream& Stream) const {
    WriteStreamString(Stream, Link);
    WriteStreamInt(Stream, Wait);
}

void TWdReal::LoadFromStream(TStream& Stream, int32_t) {
    Link = ReadStreamString(Stream);
    Wait = ReadStreamInt(Stream);
}

void TWdChar::SaveToStream(TStream& Stream) const {
    TWdReal::SaveToStream(Stream);
    WriteStreamWord(Stream, Code);
    WriteStreamInt(Stream, StyleIndexOf(*Word, Decorate));
}

void TWdChar::LoadFromStream(TStream& Stream, int32_t Version) {
    TWdReal::LoadFromStream(Stream, Version);
    Code = ReadStreamWord(Stream);
    TakeStoredStyle(*Word, Decorate, ReadStreamInt(Stream));
}

void TWdImg::SaveToStream(TStream& Stream) const {
    TWdReal::SaveToStream(Stream);
    WriteStreamString(Stream, ImageName);
    WriteStreamByte(Stream, Align);
}

void TWdImg::LoadFromStream(TStream& Stream, int32_t Version) {
    TWdReal::LoadFromStream(Stream, Version);
    ImageName = ReadStreamString(Stream);
    Align = ReadStreamByte(Stream);
}

void TWdOpeReturn::SaveToStream(TStream& Stream) const { WriteStreamByte(Stream, ClearFlag ? 1 : 0); }

void TWdOpeReturn::LoadFromStream(TStream& Stream, int32_t) { ClearFlag = ReadStreamByte(Stream) != 0; }

void TWdOpeAlign::SaveToStream(TStream& Stream) const { WriteStreamByte(Stream, Align); }

void TWdOpeAlign::LoadFromStream(TStream& Stream, int32_t) { Align = ReadStreamByte(Stream); }

void TWdOpeEvent::SaveToStream(TStream& Stream) const { WriteStreamString(Stream, EndFlag ? "\x01" + Text : Text); }

void TWdOpeEvent::LoadFromStream(TStream& Stream, int32_t) {
    Text = ReadStreamString(Stream);
    EndFlag = !Text.empty() && Text[0] == '\x01';
    if (EndFlag) Text.erase(0, 1);
}

void TWdOpeVar::SaveToStream(TStream& Stream) const {
    WriteStreamInt(Stream, StyleIndexOf(*Word, Decorate));
    WriteStreamInt(Stream, Wait);
    WriteStreamString(Stream, Link);
    WriteStreamString(Stream, JStrTrim(Expression));
}

void TWdOpeVar::LoadFromStream(TStream& Stream, int32_t Version) {
    int32_t index = ReadStreamInt(Stream);
    if (Version >= 101) {
        Wait = ReadStreamInt(Stream);
        Link = ReadStreamString(Stream);
    }
    if (Version >= 102) {
        Expression = ReadStreamString(Stream);
    } else {
        auto parser = std::make_unique<TVelaParser>();
        parser->LoadFromStream(Stream);
        Parser = std::move(parser);
    }
    TakeStoredStyle(*Word, Decorate, index);
}
