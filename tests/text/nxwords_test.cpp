// The text document: shared styles and their copy on write, the first of equal styles found,
// glyph places kept through inserts and deletes, text positions over expansion glyphs, the glyph
// tree's plain text, copies into another document, and the settings record against
// tests/tools/nxword_streams.py at each of its versions.
#include "text/nxwords.h"

#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

template <class T>
T& Append(TNxWord& Word) {
    auto glyph = std::make_unique<T>(&Word);
    T& added = *glyph;
    Word.AddGlyph(std::move(glyph));
    return added;
}

TWdChar& AppendChar(TNxWord& Word, uint16_t Code) {
    TWdChar& ch = Append<TWdChar>(Word);
    ch.Code = Code;
    return ch;
}

TEST(NxWord, StylesAreSharedAndCopiedOnWrite) {
    TNxWord word;
    TWdChar& a = AppendChar(word, 'a');
    TWdChar& b = AppendChar(word, 'b');
    ASSERT_EQ(a.Decorate, b.Decorate);
    EXPECT_EQ(a.Decorate->RefCount, 2);

    a.SetColor(0x0000FF);
    ASSERT_NE(a.Decorate, b.Decorate);
    EXPECT_EQ(a.Decorate->RefCount, 1);
    EXPECT_EQ(b.Decorate->RefCount, 1);
    EXPECT_EQ(b.GetColor(), -1);

    a.SetColor(0x00FF00);  // alone: changed in place
    EXPECT_EQ(word.Decorates.Count(), 2);
    a.SetColor(-1);  // the values of b's style: shared again, a's own style freed
    EXPECT_EQ(a.Decorate, b.Decorate);
    EXPECT_EQ(a.Decorate->RefCount, 2);
    EXPECT_EQ(word.Decorates.Count(), 1);

    // Negative sizes and an empty face fall back to the document's.
    word.BorderSize = 2;
    word.ShadowSize = 3;
    word.FontName = "";
    a.SetBorderSize(-1);
    a.SetShadowSize(-1);
    EXPECT_EQ(a.GetBorderSize(), 2);
    EXPECT_EQ(a.GetShadowSize(), 3);
    EXPECT_EQ(b.GetBorderSize(), 0);
    EXPECT_EQ(a.GetFontName(), "ＭＳ ゴシック");

    word.DeleteGlyph(0);
    word.DeleteGlyph(0);
    EXPECT_EQ(word.Decorates.Count(), 0);
}

// Of styles holding the same values (a compiled text read twice), the first in table order is
// found, through the first or the last of them leaving and a new one coming.
TEST(NxWord, TheFirstOfEqualStylesIsFound) {
    TNxWord word;
    TDecorateValues red;
    red.Color = 0x0000FF;
    const auto add = [&] {
        auto decorate = std::make_unique<TDecorate>();
        static_cast<TDecorateValues&>(*decorate) = red;
        decorate->RefCount = 1;
        return word.Decorates.Items(word.Decorates.Add(std::move(decorate)));
    };
    TDecorate* first = add();
    TDecorate* second = add();
    TDecorate* third = add();
    EXPECT_EQ(word.Decorates.Find(red), first);
    word.Decorates.Release(first);
    EXPECT_EQ(word.Decorates.Find(red), second);
    word.Decorates.Release(third);
    TDecorate* fourth = add();
    EXPECT_EQ(word.Decorates.Find(red), second);
    word.Decorates.Release(second);
    EXPECT_EQ(word.Decorates.Find(red), fourth);
    word.Decorates.Release(fourth);
    EXPECT_EQ(word.Decorates.Find(red), nullptr);
    EXPECT_EQ(word.Decorates.Count(), 0);
}

TEST(NxWord, TextPositionsSkipExpansionGlyphs) {
    TNxWord word;
    EXPECT_EQ(word.GlyphIndexAtTextPos(0), -1);
    AppendChar(word, 'a');
    Append<TWdOpeVar>(word);
    Append<TWdVarChar>(word);
    Append<TWdVarReturn>(word);
    Append<TWdVarChar>(word);
    TWdChar& b = AppendChar(word, 0x82A0);
    EXPECT_EQ(word.GetGlyph(-1), nullptr);
    EXPECT_EQ(word.GetGlyph(word.GlyphCount()), nullptr);
    EXPECT_EQ(word.GlyphIndexAtTextPos(0), 0);
    EXPECT_EQ(word.GlyphIndexAtTextPos(2), 2);  // the expansion's first glyph
    EXPECT_EQ(word.GlyphIndexAtTextPos(3), -1);
    EXPECT_EQ(word.GetTextPos(&b), 2);
    EXPECT_FALSE(word.GetGlyph(3)->GetClear());
    EXPECT_EQ(b.GetText(), "\x82\xA0");
    EXPECT_EQ(b.PrevInLine(), word.GetGlyph(4));
    EXPECT_EQ(word.GetGlyph(4)->PrevInLine(), nullptr);  // after a line break
    EXPECT_EQ(word.GetGlyph(3)->NextInLine(), nullptr);
    EXPECT_EQ(b.NextInLine(), nullptr);
}

TEST(NxWord, PlacesInTheDocumentAndTheRowFollowInsertsAndDeletes) {
    TNxWord word;
    TWdChar& a = AppendChar(word, 'a');
    TWdChar& b = AppendChar(word, 'b');
    TWdChar& c = AppendChar(word, 'c');
    auto inserted = std::make_unique<TWdChar>(&word);
    TWdChar& x = *inserted;
    word.InsertGlyph(1, std::move(inserted));
    EXPECT_EQ(word.IndexOfGlyph(&b), 2);
    EXPECT_EQ(x.PrevInLine(), &a);
    EXPECT_EQ(x.NextInLine(), &b);
    word.DeleteGlyph(0);
    EXPECT_EQ(word.IndexOfGlyph(&x), 0);
    EXPECT_EQ(word.IndexOfGlyph(&c), 2);
    EXPECT_EQ(x.PrevInLine(), nullptr);
    TNxWord other;
    EXPECT_EQ(other.IndexOfGlyph(&x), -1);

    TWdRow row(&word), again(&word);
    for (TWdGlyph* glyph : {static_cast<TWdGlyph*>(&x), static_cast<TWdGlyph*>(&b), static_cast<TWdGlyph*>(&c)})
        row.Add(glyph);
    row.Delete(0);
    EXPECT_EQ(row.IndexOf(&b), 0);
    EXPECT_EQ(row.IndexOf(&c), 1);
    // Laid out again, a glyph belongs to its newest row.
    again.Add(&c);
    EXPECT_EQ(again.IndexOf(&c), 0);
    EXPECT_EQ(row.IndexOf(&c), -1);
}

TEST(NxWord, PlainTextStopsAtTheFirstUnrevealedGlyph) {
    TNxWord word;
    TWdPage page(&word);
    TWdRow row(&word);
    page.Add(&row);
    for (uint16_t code : {'a', 'b', 'c'}) row.Add(&AppendChar(word, code));
    row.Add(&Append<TWdOpeReturn>(word));
    EXPECT_EQ(page.GetPlainText(), "");
    row.SetAlphaAll(255);
    EXPECT_EQ(page.GetPlainText(), "abc\r\n");
    EXPECT_EQ(page.GetText(), std::string("abc") + '\0');
    row.GetItem(1)->SetAlpha(0);
    EXPECT_EQ(page.GetPlainText(), "a");
    EXPECT_EQ(row.GetItem(0)->GetPage(), &page);
    EXPECT_EQ(page.FirstChar(), row.GetItem(0));
    EXPECT_EQ(page.LastChar(), row.GetItem(3));
    row.GetItem(0)->SetAlpha(300);
    EXPECT_EQ(row.GetItem(0)->GetAlpha(), 255);
}

TEST(NxWord, CopiesTakeStylesOfTheTargetDocument) {
    TNxWord source, target;
    TWdChar& a = AppendChar(source, 'a');
    a.SetRuby("ru");
    a.Link = "lk";
    Append<TWdOpeReturn>(source).ClearFlag = true;
    source.AddGlyph(std::make_unique<TWdSpace>(&source, 5));  // no kind of the factory: not copied
    Append<TWdOpeEvent>(source).Text = "ev";
    source.CopyGlyphs(target, 0, -1);
    ASSERT_EQ(target.GlyphCount(), 3);
    auto& copy = static_cast<TWdChar&>(*target.GetGlyph(0));
    EXPECT_EQ(copy.GetRuby(), "ru");
    EXPECT_EQ(copy.Link, "lk");
    EXPECT_EQ(target.Decorates.IndexOf(copy.Decorate), 0);
    EXPECT_EQ(copy.Decorate->RefCount, 1);
    EXPECT_TRUE(target.GetGlyph(1)->GetClear());
    EXPECT_EQ(target.GetGlyph(2)->GetKind(), wkEvent);
}

TEST(NxWord, SettingsRecordReadsEachFieldFromItsVersion) {
    std::map<int, std::string> records;
    for (const std::string& line : Lines(PythonOutput("nxword_streams.py", {"settings"}))) {
        std::istringstream in(line);
        int version;
        std::string hex;
        in >> version >> hex;
        records[version] = FromHex(hex);
    }
    for (auto& [version, record] : records) {
        SCOPED_TRACE(version);
        TNxWord word;
        word.ShadowColor = 7;
        word.BorderSize = 8;
        word.ShadowSize = 9;
        TMemoryStream in = StreamOf(record);
        word.LoadSettings(in, version);
        EXPECT_EQ(in.Position(), in.Size());
        EXPECT_EQ(word.OriginY, 20);
        EXPECT_EQ(word.FontName, "ＭＳ 明朝");
        EXPECT_EQ(word.Speed, 128);
        EXPECT_EQ(word.Caret, (TPoint{33, 44}));
        EXPECT_EQ(word.ShadowColor, version >= 110 ? 0x00ABCD : 7);
        EXPECT_EQ(word.BorderSize, version >= 111 ? 2 : 8);
        EXPECT_EQ(word.ShadowSize, version >= 111 ? 3 : 9);
        EXPECT_EQ(word.WholeCell, version >= 141 ? 0 : 1);
        if (version == 141) {
            TMemoryStream out;
            word.SaveSettings(out);
            EXPECT_EQ(ToHex(Bytes(out)), ToHex(record));
        }
    }
    TNxWord word;
    TMemoryStream shortRecord = StreamOf(records.at(141).substr(0, 30));
    EXPECT_THROW(word.LoadSettings(shortRecord, 141), EReadError);

    // A font size beyond 1024 pixels or a border or shadow above 255 is damage; the limits
    // themselves still read.
    const std::string& full = records.at(141);
    for (auto [at, limit] : {std::pair{size_t(8), 1024}, {size_t(8), -1024}, {full.size() - 9, 255},
                             {full.size() - 5, 255}}) {
        std::string record = full;
        for (int32_t v : {limit, limit + (limit > 0 ? 1 : -1)}) {
            for (int i = 0; i < 4; ++i) record[at + size_t(i)] = char(uint32_t(v) >> (8 * i));
            TMemoryStream in = StreamOf(record);
            if (v == limit)
                EXPECT_NO_THROW(word.LoadSettings(in, 141)) << v;
            else
                EXPECT_THROW(word.LoadSettings(in, 141), EReadError) << v;
        }
    }
}

}  // namespace
