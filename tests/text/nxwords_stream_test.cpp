// The compiled form of message text against tests/tools/nxword_streams.py: the texts of every
// version load with their version's fields, the glyphs write themselves back as the reference
// does, a second copy appended with the style index base refers to its own styles, and damaged
// or hostile streams raise without leaving a glyph behind that refers to a freed style.
#include "text/nxwords.h"

#include "script/params_parser.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

namespace {

struct Reference {
    int64_t offset;  // of the glyph count
    std::string bytes;
};

const std::map<std::string, Reference>& References() {
    static const std::map<std::string, Reference> references = [] {
        std::map<std::string, Reference> out;
        for (const std::string& line : Lines(PythonOutput("nxword_streams.py"))) {
            std::istringstream in(line);
            std::string name, hex;
            int64_t offset;
            in >> name >> offset >> hex;
            out[name] = Reference{offset, FromHex(hex)};
        }
        return out;
    }();
    return references;
}

void Load(TNxWord& Word, const std::string& Bytes) {
    TMemoryStream stream = StreamOf(Bytes);
    Word.LoadFromStream(stream);
    EXPECT_EQ(stream.Position(), stream.Size());
}

// Every style's count is the number of glyphs referring to it.
void ExpectCountsMatchReferences(const TNxWord& Word) {
    std::map<const TDecorate*, int32_t> held;
    for (int i = 0; i < Word.GlyphCount(); ++i) {
        TWdGlyph* glyph = Word.GetGlyph(i);
        if (auto ch = dynamic_cast<TWdChar*>(glyph)) ++held[ch->Decorate];
        if (auto var = dynamic_cast<TWdOpeVar*>(glyph)) ++held[var->Decorate];
    }
    for (auto [decorate, count] : held) {
        ASSERT_GE(Word.Decorates.IndexOf(decorate), 0);
        EXPECT_EQ(decorate->RefCount, count);
    }
}

TEST(NxWordStream, EveryVersionLoadsItsFields) {
    for (int version : {0, 100, 101, 102}) {
        SCOPED_TRACE(version);
        TNxWord word;
        Load(word, References().at("v" + std::to_string(version)).bytes);

        std::vector<int32_t> kinds;
        for (int i = 0; i < word.GlyphCount(); ++i) kinds.push_back(word.GetGlyph(i)->GetKind());
        std::vector<int32_t> expected{1, 1, 2, 3, 4, 5, 6, 6, 9, 7, 1};  // no kind 8; the high bit dropped
        if (version >= 102) expected.push_back(10);
        EXPECT_EQ(kinds, expected);

        const TDecorate& fancy = *word.Decorates.Items(1);
        EXPECT_EQ(fancy.Color, 0x0000FF);
        EXPECT_EQ(fancy.FontSize, 20);
        EXPECT_EQ(fancy.Style, 5);
        EXPECT_EQ(fancy.NoBreak, 1);
        EXPECT_EQ(fancy.BorderSize, version < 100 ? 1 : 3);  // a flag before 100
        EXPECT_EQ(fancy.FontName, "ＭＳ 明朝");
        EXPECT_EQ(fancy.Ruby, "るび");
        EXPECT_EQ(fancy.ShadowSize, version < 100 ? 0 : 2);
        EXPECT_EQ(fancy.ShadowColor, version < 100 ? 0 : 0x123456);

        auto& a = static_cast<TWdChar&>(*word.GetGlyph(1));
        EXPECT_EQ(a.GetText(), "あ");
        EXPECT_EQ(a.Link, "lk");
        EXPECT_EQ(a.Wait, 40);
        EXPECT_EQ(a.Decorate, &fancy);
        EXPECT_EQ(word.GetGlyph(2)->GetAlign(), 3);
        EXPECT_TRUE(word.GetGlyph(3)->GetClear());
        auto& end = static_cast<TWdOpeEvent&>(*word.GetGlyph(6));
        EXPECT_TRUE(end.EndFlag);
        EXPECT_EQ(end.Text, "fin");
        EXPECT_EQ(end.GetWait(), 1);
        EXPECT_FALSE(static_cast<TWdOpeEvent&>(*word.GetGlyph(7)).EndFlag);
        EXPECT_EQ(word.GetGlyph(8)->GetSource(), "pic.png");
        EXPECT_EQ(word.GetGlyph(8)->GetAlign(), 4);
        EXPECT_EQ(word.GetGlyph(8)->GetWait(), 7);

        auto& var = static_cast<TWdOpeVar&>(*word.GetGlyph(9));
        EXPECT_EQ(var.Decorate, &fancy);
        EXPECT_EQ(var.Wait, version >= 101 ? 9 : 0);
        EXPECT_EQ(var.Link, version >= 101 ? "v" : "");
        EXPECT_EQ(var.Expression, version >= 102 ? "  @Name " : "");
        EXPECT_EQ(var.Parser != nullptr, version < 102);
        EXPECT_EQ(word.GetGlyph(10)->GetText(), "B");
        if (version >= 102) {
            EXPECT_EQ(word.GetGlyph(11)->GetSource(), "昔の話");
        }
        ExpectCountsMatchReferences(word);
    }
}

std::string SavedGlyphs(const TNxWord& Word, const Reference& Source) {
    TMemoryStream out;
    out.WriteBuffer(Source.bytes.data(), Source.offset);  // header and style table as stored
    WriteStreamInt(out, Word.GlyphCount());
    for (int i = 0; i < Word.GlyphCount(); ++i) {
        WriteStreamByte(out, uint8_t(Word.GetGlyph(i)->GetKind()));
        Word.GetGlyph(i)->SaveToStream(out);
    }
    return Bytes(out);
}

TEST(NxWordStream, GlyphsWriteThemselvesBackAsTheReferenceDoes) {
    TNxWord word;
    Load(word, References().at("v102").bytes);
    const std::string saved = SavedGlyphs(word, References().at("v102"));
    EXPECT_EQ(ToHex(saved), ToHex(References().at("saved102").bytes));
    TNxWord again;
    Load(again, saved);
    EXPECT_EQ(SavedGlyphs(again, References().at("saved102")), saved);
}

TEST(NxWordStream, SecondCopyWithTheBaseRefersToItsOwnStyles) {
    TNxWord word;
    const std::string& text = References().at("v102").bytes;
    Load(word, text);
    const int glyphs = word.GlyphCount();
    word.StyleIndexBase = word.Decorates.Count();
    Load(word, text);
    ASSERT_EQ(word.GlyphCount(), 2 * glyphs);
    ASSERT_EQ(word.Decorates.Count(), 4);
    for (int i = 0; i < glyphs; ++i) {
        auto first = dynamic_cast<TWdChar*>(word.GetGlyph(i));
        if (!first) continue;
        auto second = static_cast<TWdChar*>(word.GetGlyph(glyphs + i));
        EXPECT_EQ(word.Decorates.IndexOf(second->Decorate), word.Decorates.IndexOf(first->Decorate) + 2);
    }
    ExpectCountsMatchReferences(word);

    // A stored style of a new character's values that no glyph uses stays in the table while
    // the second copy is read, so the copy's indexes still meet their styles.
    TNxWord unused;
    const std::string tail = FromHex("ffffffff 00000000 00 00 00000000 00000000 00000000 00000000 ffffffff");
    const std::string defaults = FromHex("00000000 ffffffff") + tail, red = FromHex("01000000 ff000000") + tail;
    const std::string twoStyles = "NxWord102" + FromHex("02000000") + defaults + red +
                                  FromHex("01000000 01 00000000 00000000 4100 01000000");
    Load(unused, twoStyles);
    unused.StyleIndexBase = unused.Decorates.Count();
    Load(unused, twoStyles);
    EXPECT_EQ(static_cast<TWdChar*>(unused.GetGlyph(1))->Decorate, unused.Decorates.Items(3));

    word.ClearGlyphs();
    EXPECT_EQ(word.StyleIndexBase, 0);
    EXPECT_EQ(word.Decorates.Count(), 0);
}

TEST(NxWordStream, DamagedStreamsRaise) {
    const std::string& text = References().at("v101").bytes;
    for (size_t size = 0; size < text.size(); ++size) {
        TNxWord word;
        TMemoryStream stream = StreamOf(text.substr(0, size));
        EXPECT_THROW(word.LoadFromStream(stream), EVelaError) << size;
        ExpectCountsMatchReferences(word);
    }
    auto error = [](const std::string& bytes) {
        TNxWord word;
        TMemoryStream stream = StreamOf(bytes);
        std::string message = ErrorOf([&] { word.LoadFromStream(stream); });
        ExpectCountsMatchReferences(word);
        return message;
    };
    const std::string header = "NxWord102";
    const std::string noStyles = FromHex("00000000");
    const std::string readError = EReadError().what();
    EXPECT_EQ(error(header + FromHex("ffffff7f")), readError);  // style count
    EXPECT_EQ(error(header + noStyles + FromHex("f0ffffff") + "\x04\x05"), readError);  // glyph count
    EXPECT_EQ(error(header + noStyles + FromHex("01000000 01 ffffff7f")), readError);  // link length
    EXPECT_EQ(error(header + noStyles + FromHex("01000000 07 00000000 00000000 00000000 00000010")), readError);
    EXPECT_NE(error(header + noStyles + FromHex("02000000 04 01 00000000 00000000 4100 00000000")), "");  // style index
    EXPECT_EQ(error("NxWordx1z" + noStyles), "'x1z' is not a valid integer value");
    // One style (and no glyph) whose font size is 1024 pixels, then one beyond.
    const std::string styleHead = FromHex("01000000 01000000 00000000 00000000");
    const std::string styleTail = FromHex("0000 00000000 00000000 00000000 00000000 00000000") + noStyles;
    EXPECT_EQ(error(header + styleHead + FromHex("00040000") + styleTail), "");
    EXPECT_EQ(error(header + styleHead + FromHex("01040000") + styleTail), readError);
}

}  // namespace
