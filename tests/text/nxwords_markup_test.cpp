// Message text markup: the tokenizer and the tag reader on Shift-JIS from Python's cp932 codec
// (characters whose trail byte is the backslash, beside backslashes, quotes and brackets), the
// glyphs the interpreter makes, and a corpus compiled by tools/nxcompile.py that loads into the
// same glyphs as the interpreter builds from the same text.
#include "text/nxwords_markup.h"

#include "script/params_vars.h"
#include "text/nxwords.h"

#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// The texts as Python's cp932 codec encodes them.
std::vector<std::string> Sjis(std::initializer_list<std::u8string_view> Texts) {
    std::vector<std::string> args{"encode"};
    for (auto text : Texts) args.push_back(ToHex(U8(text)));
    std::vector<std::string> out;
    for (const auto& line : Lines(PythonOutput("markup_ref.py", args))) out.push_back(line == "-" ? "" : FromHex(line));
    return out;
}

TStringList LinesOf(const std::string& Text) {
    TStringList lines;
    size_t start = 0;
    for (size_t end; (end = Text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.Add(Text.substr(start, end - start));
    lines.Add(Text.substr(start));
    return lines;
}

std::vector<std::string> Tokens(const std::string& Text) {
    TNxWord word;
    TStringList lines = LinesOf(Text);
    SplitMarkup(word, lines);
    std::vector<std::string> out;
    for (int i = 0; i < lines.Count(); ++i) out.push_back(lines.Strings(i));
    return out;
}

using Strings = std::vector<std::string>;

TEST(MarkupSplitTest, SpacesTabsAndLineEndsCollapse) {
    EXPECT_EQ(Tokens("a  b"), Strings{"a b"});
    EXPECT_EQ(Tokens("ab\ncd"), Strings{"ab cd"});
    EXPECT_EQ(Tokens("ab \ncd"), Strings{"ab cd"});
    EXPECT_EQ(Tokens("<B>\nx"), (Strings{"<B>", "x"}));
    EXPECT_EQ(Tokens("a\tb\x14\x14" "c"), Strings{"ab c"});
    EXPECT_EQ(Tokens("\n\na"), Strings{"a"});
}

TEST(MarkupSplitTest, TrailByteBackslashStaysPartOfItsCharacter) {
    const auto c = Sjis({u8"表", u8"ソ", u8"能", u8"十", u8"予"});
    for (const auto& ch : c) ASSERT_EQ(ch.substr(1), "\\");
    const std::string &hyo = c[0], &so = c[1], &no = c[2], &ju = c[3], &yo = c[4];
    EXPECT_EQ(Tokens(hyo + "<B>" + so + "</B>"), (Strings{hyo, "<B>", so, "</B>"}));
    // A quote after the character opens a quoted run; the closing one ends it before the tag.
    EXPECT_EQ(Tokens(no + "\"" + ju + "\"<B>" + no), (Strings{no + "\"" + ju + "\"", "<B>", no}));
    EXPECT_EQ(Tokens(yo + "\\\\" + hyo + "\\<" + so), (Strings{yo + "\\" + hyo + "<", so}));
    EXPECT_EQ(Tokens("\\" + hyo + "\\\"" + so), Strings{hyo + "\"" + so});
    EXPECT_EQ(Tokens("<RUBY VALUE=\"" + hyo + so + "\">" + ju), (Strings{"<RUBY VALUE=\"" + hyo + so + "\">", ju}));
    TTag tag;
    tag.SetText("<RUBY VALUE=" + hyo + " NAME=\"" + ju + " " + so + "\">");
    EXPECT_EQ(tag.GetString("VALUE", ""), hyo);
    EXPECT_EQ(tag.GetString("name", ""), ju + " " + so);
}

TEST(MarkupSplitTest, EscapesCommentsAndScripts) {
    EXPECT_EQ(Tokens("ab\\<cd>"), (Strings{"ab<", "cd>"}));
    EXPECT_EQ(Tokens("\\x\\%\\{a"), Strings{"x%{a"});
    EXPECT_EQ(Tokens("a\\"), Strings{"a\\"});
    EXPECT_EQ(Tokens("a<!-- b\nc -->d"), (Strings{"a", "<!-- b\r\nc -->", "d"}));
    EXPECT_EQ(Tokens("x\n<!-- y <B>"), (Strings{"x ", "<!-- y <B>"}));
    EXPECT_EQ(Tokens("<script>if (a<b) x;</Script>z"), (Strings{"<script>if (a<b) x;</Script>", "z"}));
    EXPECT_EQ(Tokens("\"a  <B>\tb\nc\"d"), Strings{"\"a  <B>bc\"d"});
}

TEST(MarkupSplitTest, PreKeepsLineEndsExceptTheOneBeforeItsEnd) {
    EXPECT_EQ(Tokens("<PRE>\na  b\nc\n</PRE>\nd"), (Strings{"<PRE>", "a b", "<BR>", "c", "</PRE>", "d"}));
    EXPECT_EQ(Tokens("<pre>\ta"), (Strings{"<pre>", "        a"}));
    EXPECT_EQ(Tokens("<TEXTAREA>\na\nb"), (Strings{"<TEXTAREA>", "a", "b"}));
}

TEST(MarkupTagTest, ReadsNamesAttributesColoursAndAlignment) {
    TTag tag;
    tag.SetText("< font  size=3 Color=\"#FF0000\" name='x y' border bcolor=FF0000 scolor=#12>");
    EXPECT_EQ(tag.Text, "<font>");
    EXPECT_EQ(FindTagCode(tag), TAG_FONT);
    EXPECT_EQ(tag.GetInt("SIZE", 0), 3);
    EXPECT_EQ(tag.GetColor("COLOR", -1), 0x0000FF);
    EXPECT_EQ(tag.GetColor("BCOLOR", -1), -1);
    EXPECT_EQ(tag.GetColor("SCOLOR", -1), 0x120000);
    EXPECT_EQ(tag.GetString("NAME", ""), "x y");
    EXPECT_EQ(tag.GetString("BORDER", "none"), "");
    EXPECT_EQ(tag.GetString("SHADOW", "none"), "none");
    EXPECT_EQ(tag.IndexOfAttr("Border"), 3);

    tag.SetText("<A HREF=\"x y>");  // an unclosed quote runs to the next space
    EXPECT_EQ(tag.GetString("HREF", ""), "x");
    EXPECT_EQ(tag.Count(), 2);
    for (const char* token : {"<A=>", "<x a= = b=>", "<=>", "<A B= =>"}) tag.SetText(token);  // each ends
    EXPECT_EQ(tag.Count(), 1);

    const std::pair<const char*, int32_t> codes[] = {{"<b>", TAG_B},       {"</wait>", TAG_WAIT_END},
                                                     {"<HistChar v>", TAG_HISTCHAR}, {"<hr>", TAG_UNKNOWN},
                                                     {"<!-- b -->", TAG_UNKNOWN},    {"<b", TAG_TEXT},
                                                     {"< >", TAG_TEXT}};
    for (const auto& [token, code] : codes) {
        tag.SetText(token);
        EXPECT_EQ(FindTagCode(tag), code) << token;
    }
    tag.SetText("<IMG ALIGN=left>");
    EXPECT_EQ(ParseAlign(tag, {ALIGN_CENTER, ALIGN_TOP, ALIGN_BOTTOM}, ALIGN_BOTTOM), ALIGN_BOTTOM);
    tag.SetText("<IMG ALIGN=Top>");
    EXPECT_EQ(ParseAlign(tag, {ALIGN_CENTER, ALIGN_TOP, ALIGN_BOTTOM}, ALIGN_BOTTOM), ALIGN_TOP);
}

class MarkupBuildTest : public ::testing::Test {
protected:
    void SetUp() override { CreateParamMan(); }
    void TearDown() override { FreeParamMan(); }

    void Build(const std::string& Text) { BuildGlyphs(word, LinesOf(Text)); }
    TWdGlyph& Glyph(int Index) { return *word.GetGlyph(Index); }
    const TDecorate& Style(int Index) { return *dynamic_cast<TWdChar&>(Glyph(Index)).Decorate; }
    std::string Kinds() {
        std::string out;
        for (int i = 0; i < word.GlyphCount(); ++i) out += static_cast<char>('0' + Glyph(i).GetKind());
        return out;
    }

    TNxWord word;
};

TEST_F(MarkupBuildTest, CharactersTakeTheStyleStateAndTheTextDelay) {
    ParamMan->SetTextDelay(7);
    Build("a  b<WAIT VALUE=20><B><I>c</B><U><S>d<WAIT VALUE=zz>e</WAIT></I></U></S></WAIT>f</WAIT>g");
    EXPECT_EQ(Kinds(), "11111111");
    EXPECT_EQ(Glyph(1).GetCode(), ' ');
    const int32_t waits[] = {7, 7, 7, 20, 20, 20, 7, 7};
    const uint8_t bits[] = {0, 0, 0, 3, 14, 14, 0, 0};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(Glyph(i).GetWait(), waits[i]) << i;
        EXPECT_EQ(Style(i).Style, bits[i]) << i;
    }
    EXPECT_EQ(Style(0).BorderSize, -1);
    EXPECT_EQ(Style(0).Color, -1);

    Build("<FONT BORDER SHADOW=x>a<FONT BORDER=-3 SIZE=20 COLOR=#FF0000 NAME=f>b<FONT>c</FONT></FONT>d</FONT>e");
    const int32_t borders[] = {1, 0, 0, 1, -1}, sizes[] = {0, 20, 20, 0, 0}, colors[] = {-1, 255, 255, -1, -1};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(Style(i).BorderSize, borders[i]) << i;
        EXPECT_EQ(Style(i).ShadowSize, i < 4 ? 1 : -1) << i;
        EXPECT_EQ(Style(i).FontSize, sizes[i]) << i;
        EXPECT_EQ(Style(i).Color, colors[i]) << i;
    }
    EXPECT_EQ(Style(2).FontName, "f");
    EXPECT_EQ(&Style(1), &Style(2));  // one shared style record

    Build("<FONT BORDER=70000 SHADOW=256>a</FONT>");
    EXPECT_EQ(Style(0).BorderSize, 255);
    EXPECT_EQ(Style(0).ShadowSize, 255);
}

TEST_F(MarkupBuildTest, OperatorGlyphsAndSkippedTags) {
    Build("<DIV ALIGN=right>a</DIV><BR CLEAR><BR><CLEAR><INDENT><UNDENT><EVENT VALUE=\"go\\n\" END>"
          "<VAR NAME=v><VAR><IMG SRC=p.png ALIGN=left><IMG><HISTCHAR VALUE=h><HISTCHAR><hr></DIV></WAIT></FONT>");
    EXPECT_EQ(Kinds(), "21233345679:2");  // kind 10 prints as ':'; the last /DIV falls back to left
    EXPECT_EQ(Glyph(0).GetAlign(), ALIGN_RIGHT);
    EXPECT_EQ(Glyph(2).GetAlign(), ALIGN_LEFT);
    EXPECT_TRUE(Glyph(3).GetClear());
    EXPECT_FALSE(Glyph(4).GetClear());
    EXPECT_TRUE(Glyph(5).GetClear());
    EXPECT_EQ(Glyph(8).GetSource(), "\x01go\r\n");
    EXPECT_EQ(Glyph(9).GetSource(), "v");
    EXPECT_EQ(Glyph(10).GetSource(), "p.png");
    EXPECT_EQ(Glyph(10).GetAlign(), ALIGN_BOTTOM);
    EXPECT_EQ(Glyph(11).GetSource(), "h");

    Build("x\n<!-- y");  // an unclosed comment at the end shows as characters
    EXPECT_EQ(Kinds(), "11111111");
    EXPECT_EQ(Glyph(2).GetCode(), '<');
}

TEST_F(MarkupBuildTest, LinksNeedAHrefValue) {
    Build("<A HREF=\"a\\nb\">x</A>y");
    EXPECT_EQ(Glyph(0).GetLink(), "a\r\nb");
    EXPECT_EQ(Glyph(1).GetLink(), "");
    EXPECT_EQ(ErrorOf([&] { Build("x<A>y"); }), "<A>タグにHREF値がありません");
    EXPECT_EQ(Kinds(), "1");
    EXPECT_EQ(ErrorOf([&] { Build("<A HREF=>y"); }), "<A>タグにHREF値がありません");
}

// A glyph's kind and the values the compiled form keeps of it, as text.
std::string Describe(const TWdGlyph& Glyph) {
    auto style = [](const TDecorate& d) {
        return Format("[%d %d %d %d %d %s %d %s %d %d]", d.Color, d.BorderColor, d.ShadowColor, d.FontSize, d.Style,
                      d.FontName.c_str(), d.NoBreak, d.Ruby.c_str(), d.BorderSize, d.ShadowSize);
    };
    std::string out = std::to_string(Glyph.GetKind()) + " ";
    switch (Glyph.GetKind()) {
        case wkChar:
            out += std::to_string(Glyph.GetCode()) + style(*dynamic_cast<const TWdChar&>(Glyph).Decorate);
            break;
        case wkVar:
        case wkHistChar:
            out += Glyph.GetSource() + style(*dynamic_cast<const TWdOpeVar&>(Glyph).Decorate);
            break;
        case wkEvent: {
            // Markup keeps an end event's mark in its text; the compiled form's reader makes it the
            // end flag (and the wait 1 that comes with it).
            const auto& event = dynamic_cast<const TWdOpeEvent&>(Glyph);
            return out + (event.EndFlag ? "\x01" : "") + event.Text;
        }
        case wkImg:
            out += Glyph.GetSource();
            break;
    }
    return out + Format(" align %d clear %d wait %d link %s", Glyph.GetAlign(), Glyph.GetClear(), Glyph.GetWait(),
                        Glyph.GetLink().c_str());
}

std::vector<std::string> Described(const TNxWord& Word) {
    std::vector<std::string> out;
    for (int i = 0; i < Word.GlyphCount(); ++i) out.push_back(Describe(*Word.GetGlyph(i)));
    return out;
}

// The style records with their reference counts, in sorted order.
std::vector<std::string> StyleTable(const TNxWord& Word) {
    std::vector<std::string> out;
    for (int i = 0; i < Word.Decorates.Count(); ++i) {
        const TDecorate& d = *Word.Decorates.GetItem(i);
        out.push_back(Format("%d %d %d %d %d %d %s %d %s %d %d", d.RefCount, d.Color, d.BorderColor, d.ShadowColor,
                             d.FontSize, d.Style, d.FontName.c_str(), d.NoBreak, d.Ruby.c_str(), d.BorderSize,
                             d.ShadowSize));
    }
    std::sort(out.begin(), out.end());
    return out;
}

TEST_F(MarkupBuildTest, CompiledCorpusLoadsIntoTheGlyphsTheMarkupBuilds) {
    const std::u8string_view corpus[] = {
        u8"表示の十予定、ソフトの能力\nこんにちは  世界",
        u8"<FONT SIZE=24 COLOR=\"#FF8000\" BCOLOR=#000080 SCOLOR=#101010 BORDER=2 SHADOW NAME='ＭＳ 明朝'>表<B>ソ</B>"
        u8"</FONT>能<I><U><S>十</S></U></I><FONT SIZE=x BORDER=-2><FONT>予</FONT></FONT>",
        u8"<A HREF=\"go\\n表\">次へ</A> <WAIT VALUE=0>速い</WAIT><WAIT VALUE=x>予</WAIT><NOBR>ソフト</NOBR>"
        u8"<RUBY VALUE=\"ひょう\">表</RUBY>",
        u8"<DIV ALIGN=center>中央<BR>二行目</DIV><DIV ALIGN=bottom>下</DIV></DIV><INDENT>字下げ<UNDENT><BR CLEAR><CLEAR>",
        u8"<EVENT VALUE=\"表\\nソ\" END><EVENT VALUE=start><VAR NAME=\"名前\"><VAR NAME=><FONT BORDER=-2>"
        u8"<HISTCHAR VALUE=十></FONT><IMG SRC=\"表.png\" ALIGN=top><IMG SRC=b.png ALIGN=right><A HREF=x><IMG SRC=c></A>",
        u8"前<!-- 表 -->後\n<PRE>\n表  ソ\n\t十\n</PRE>\n\"引用 <B>\" 終<SCRIPT>x</SCRIPT><hr>",
        u8"表\\<ソ\\>能\\\\十\\%予\\{\\}x\x14\x14 y\\",
    };
    std::vector<std::string> args{"compile", "35"};
    for (auto text : corpus) args.push_back(ToHex(U8(text)));
    const auto lines = Lines(PythonOutput("markup_ref.py", args));
    ASSERT_EQ(lines.size(), std::size(corpus));
    ParamMan->SetTextDelay(35);
    for (const auto& line : lines) {
        const std::string markup = FromHex(line.substr(0, line.find(' ')));
        Build(markup);
        TNxWord compiled;
        TMemoryStream stream = StreamOf(FromHex(line.substr(line.find(' ') + 1)));
        compiled.LoadFromStream(stream);
        EXPECT_EQ(stream.Position(), stream.Size());
        EXPECT_EQ(Described(compiled), Described(word)) << markup;
        EXPECT_EQ(StyleTable(compiled), StyleTable(word)) << markup;
    }
}

}  // namespace
