// Variable glyphs expanded from script variables, the document's kept values and compiled
// expressions; the variable lines a page keeps; inline images measured from the image cache
// and drawn at the level the document's alpha gives.
#include "text/nxwords.h"

#include "core/jstrm.h"
#include "objects/vitemex_imagelist.h"
#include "script/params_parser.h"
#include "tests/objects/picture_source.h"
#include "tests/script/params_funcs_fixture.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class VarGlyphs : public ScriptEngineTest {
protected:
    void TearDown() override {
        word.ClearGlyphs();  // compiled expressions go before the variable table
        ScriptEngineTest::TearDown();
    }

    // A character, then a variable glyph showing Expression in red with a link and a wait, then
    // another character.
    TWdOpeVar& Around(const std::string& Expression) {
        AddChar('[');
        auto var = std::make_unique<TWdOpeVar>(&word);
        TWdOpeVar& raw = *var;
        raw.Expression = Expression;
        raw.Link = "to";
        raw.Wait = 70;
        raw.SetColor(0x0000FF);
        word.AddGlyph(std::move(var));
        AddChar(']');
        return raw;
    }
    void AddChar(uint16_t Code) {
        auto ch = std::make_unique<TWdChar>(&word);
        ch->Code = Code;
        word.AddGlyph(std::move(ch));
    }
    void SetVar(const std::string& Name, const std::string& Value) {
        TParamCollectionItem& item = ParamMan->AddParam(PT_STR);
        item.SetName(Name);
        item.SetAsStr(Value);
    }
    // The document's glyphs: a character as itself, a line break as "|", other glyphs as "^".
    std::string Shown() const {
        std::string text;
        for (int i = 0; i < word.GlyphCount(); ++i) {
            const TWdGlyph& g = *word.GetGlyph(i);
            text += g.GetKind() == wkChar ? g.GetText() : g.GetKind() == wkReturn ? "|" : "^";
        }
        return text;
    }

    TNxWord word;
};

}  // namespace

TEST_F(VarGlyphs, AValueBecomesCharactersInTheVariablesStyleAndCollapsesAgain) {
    SetVar("name", "太郎");
    SetVar("empty", "");
    TWdOpeVar& var = Around(" name ");
    word.ExpandVariables(0, -1, false);
    EXPECT_EQ(Shown(), "[^太郎]");
    const TWdGlyph& first = *word.GetGlyph(2);
    EXPECT_EQ(first.GetCode(), JStrCharAt("太", 1));
    EXPECT_EQ(first.GetColor(), 0x0000FF);
    EXPECT_EQ(first.GetLink(), "to");
    EXPECT_EQ(first.GetWait(), 70);
    EXPECT_EQ(word.GetTextPos(word.GetGlyph(4)), 2);  // the variable counts one text position
    var.ExpandVariable(false);  // without collapsing: a second copy
    EXPECT_EQ(Shown(), "[^太郎太郎]");
    var.CollapseVariable();
    EXPECT_EQ(Shown(), "[^]");
    for (const char* nothing : {"empty", "missing"}) {
        var.Expression = nothing;
        var.ExpandVariable(false);
        EXPECT_EQ(Shown(), "[^]");
    }
    var.Expression = "1 +";
    EXPECT_THROW(var.ExpandVariable(false), EVelaError);
}

TEST_F(VarGlyphs, KeptValuesComeFirstAndLineBreaksNeitherClearNorCount) {
    SetVar("who", "live");
    TWdOpeVar& var = Around("WHO");
    word.Variables.Add("who=a\x01" "b\tc");
    var.ExpandVariable(false);
    EXPECT_EQ(Shown(), "[^a|bc]");  // 0x01 is a line break, other control characters go
    EXPECT_FALSE(word.GetGlyph(3)->GetClear());
    EXPECT_EQ(word.GetTextPos(word.GetGlyph(6)), 2);
    var.CollapseVariable();

    auto hist = std::make_unique<TWdOpeHistChar>(&word);  // shows only when forced
    TWdOpeHistChar& histRef = *hist;
    hist->Expression = "who";
    word.InsertGlyph(0, std::move(hist));
    histRef.ExpandVariable(false);
    EXPECT_EQ(Shown(), "^[^]");
    histRef.ExpandVariable(true);
    EXPECT_EQ(Shown(), "^a|bc[^]");
    histRef.CollapseVariable();

    word.Variables.Clear();  // a compiled expression serves an empty text, in copies too
    var.Expression.clear();
    var.Parser = std::make_unique<TVelaParser>();
    CompileExpression("who ++ \"!\"", *var.Parser);
    TNxWord copy;
    word.CopyGlyphs(copy, 2, 2);
    copy.GetGlyph(0)->ExpandVariable(false);
    ASSERT_EQ(copy.GlyphCount(), 6);
    EXPECT_EQ(copy.GetGlyph(5)->GetText(), "!");
    EXPECT_EQ(copy.GetGlyph(5)->GetColor(), 0x0000FF);
    copy.ClearGlyphs();
}

// Many variables over many kept lines: each shows the first line of its name (case aside), lines
// without "=" name nothing, lines added after a look-up are found, and clearing forgets them all.
TEST_F(VarGlyphs, EachVariableFindsTheFirstKeptLineOfItsName) {
    for (int i = 0; i < 300; ++i) {
        word.Variables.Add("v" + std::to_string(i) + "=" + std::to_string(i));
        word.Variables.Add("V" + std::to_string(i) + "=again");
    }
    word.Variables.Add("plain");
    for (int i = 299; i >= 0; i -= 3) Around("v" + std::to_string(i));
    word.ExpandVariables(0, -1, false);
    std::string expected;
    for (int i = 299; i >= 0; i -= 3) expected += "[^" + std::to_string(i) + "]";
    EXPECT_EQ(Shown(), expected);
    EXPECT_EQ(word.Variables.IndexOfName("PLAIN"), -1);
    EXPECT_EQ(word.Variables.IndexOfName("late"), -1);
    word.Variables.Add("LATE=1");
    EXPECT_EQ(word.Variables.IndexOfName("late"), 601);
    word.Variables.Clear();
    word.Variables.Add("v5=x");
    EXPECT_EQ(word.Variables.IndexOfName("v5"), 0);
    EXPECT_EQ(word.Variables.IndexOfName("v6"), -1);
}

// The expansions of a range go into the document together: each after its own variable and
// what that variable already shows, the history glyph only when forced, every glyph's place
// counted afresh; collapsing them all leaves the document as it was.
TEST_F(VarGlyphs, ARangeExpandsEveryVariableInItsPlaceAtOnce) {
    SetVar("a", "xy");
    SetVar("b", "z");
    TWdOpeVar& first = Around("a");
    TWdOpeVar& second = Around("b");
    auto hist = std::make_unique<TWdOpeHistChar>(&word);
    hist->Expression = "a";
    word.AddGlyph(std::move(hist));
    Around("b");
    second.ExpandVariable(false);  // already showing once
    EXPECT_EQ(Shown(), "[^][^z]^[^]");
    word.ExpandVariables(1, -1, false);
    EXPECT_EQ(Shown(), "[^xy][^zz]^[^z]");
    word.ExpandVariables(0, 3, true);
    EXPECT_EQ(Shown(), "[^xyxy][^zz]^[^z]");
    word.ExpandVariables(0, -1, true);
    EXPECT_EQ(Shown(), "[^xyxyxy][^zzz]^xy[^zz]");
    for (int i = 0; i < word.GlyphCount(); ++i) EXPECT_EQ(word.IndexOfGlyph(word.GetGlyph(i)), i);
    EXPECT_EQ(first.Expanded.size(), 6u);
    word.CollapseVariables(0, -1);
    EXPECT_EQ(Shown(), "[^][^]^[^]");
    for (int i = 0; i < word.GlyphCount(); ++i) EXPECT_EQ(word.IndexOfGlyph(word.GetGlyph(i)), i);
}

TEST_F(VarGlyphs, APageKeepsTheValuesItShowsAndItsRevealStateCarriesThem) {
    SetVar("n", "42");
    TWdOpeVar& var = Around("n");
    word.ExpandVariables(0, -1, false);
    TWdPage page(&word);
    TWdRow row(&word);
    page.Add(&row);
    for (int i = 0; i < word.GlyphCount(); ++i) row.Add(word.GetGlyph(i));
    page.StoreVariables();
    EXPECT_EQ(page.VarText, "n=42\r\n");

    word.GetGlyph(2)->SetAlpha(77);  // saved from the first character, given to all
    TMemoryStream stream;
    var.SaveState(stream);
    page.FadingList.push_back(word.GetGlyph(2));
    var.SaveState(stream);
    stream.SetPosition(0);
    var.LoadState(stream);
    EXPECT_EQ(word.GetGlyph(3)->GetAlpha(), 77);
    var.LoadState(stream);
    EXPECT_EQ(word.GetGlyph(3)->GetAlpha(), 255);
    page.Clear();
}

namespace {

class ImgGlyphs : public ::testing::Test {
protected:
    void SetUp() override {
        cache.Source->Files["face.mra"] = {{3, 2, 100, false}, {3, 2, 100, false}};
        img = std::make_unique<TWdImg>(&word);
        img->ImageName = "FACE.mra";
    }
    TPictureCache cache;
    TNxWord word;
    std::unique_ptr<TWdImg> img;
};

// Per channel of the low three bytes: the shared blend and add rules.
uint32_t PerChannel(uint32_t D, uint32_t S, auto Rule) {
    uint32_t r = 0;
    for (int sh = 0; sh < 24; sh += 8) r |= std::min<uint32_t>(255, Rule(D >> sh & 0xFF, S >> sh & 0xFF)) << sh;
    return r;
}

}  // namespace

TEST_F(ImgGlyphs, AMissingPictureMeasuresNothingAndAFoundOneItsFirstFrame) {
    img->ImageName = "gone.mra";
    img->Measure();
    EXPECT_EQ(img->GetRect(), TRect({0, 0, 0, 0}));
    EXPECT_FALSE(img->HasImage());
    img->ImageName = "face.MRA";
    img->Measure();
    EXPECT_EQ(img->GetRect(), TRect({0, 0, 3, 2}));
    ASSERT_TRUE(img->HasImage());
    img->AdvanceImage(150);
    EXPECT_EQ(img->ImageList->Current, 1);
    EXPECT_FALSE(word.DirtyRects.empty());
    TWdImg copy(&word);
    copy.Assign(*img);
    EXPECT_EQ(copy.ImageName, "face.MRA");
    EXPECT_FALSE(copy.HasImage());  // loaded again at its next measure
}

TEST_F(ImgGlyphs, TheDocumentsAlphaScalesTheLevelAndAbove255Adds) {
    img->Measure();
    constexpr uint32_t back = 0x405060;
    const uint32_t pixel = PixelOf(0, 1, 1) & 0xFFFFFF;
    auto blend = [](uint32_t a) { return [a](uint32_t d, uint32_t s) { return (d * (255 - a) + s * a) / 256; }; };
    auto add = [](uint32_t i) { return [i](uint32_t d, uint32_t s) { return d + s * i / 256; }; };
    const struct {
        int32_t Document, Glyph;
        uint32_t Expected;
    } cases[] = {
        {255, 255, pixel},
        {255, 128, PerChannel(back, pixel, blend(128))},
        {128, 255, PerChannel(back, pixel, blend(255 * 128 / 256))},
        {300, 255, PerChannel(back, pixel, add(255 * 44 / 256))},
        {511, 200, PerChannel(back, pixel, add(200 * 255 / 256))},
        {0, 255, back},
    };
    for (const auto& c : cases) {
        auto screen = Canvas(8, 8, back);
        word.Dest = screen.get();
        word.Alpha = c.Document;
        img->Alpha = c.Glyph;
        img->X = 2;
        img->Update();
        EXPECT_EQ(screen->GetPixel(3, 1) & 0xFFFFFF, c.Expected) << c.Document << " " << c.Glyph;
        EXPECT_EQ(screen->GetPixel(1, 1) & 0xFFFFFF, back);
    }
}
