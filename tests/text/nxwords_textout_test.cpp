// A message window's document as the reader's tools get it: characters, the values variables show
// and line breaks as text, each reading with the run of characters under it, pictures and events
// left out; a long text cut at the bound on a whole character.
#include "text/nxwords_textout.h"

#include "text/nxwords.h"
#include "tests/script/params_funcs_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Ruby = std::vector<platform::TextOutRuby>;

class MessageOut : public ScriptEngineTest {
protected:
    void TearDown() override {
        word.ClearGlyphs();
        ScriptEngineTest::TearDown();
    }
    void SetVar(const std::string& Name, const std::string& Value) {
        TParamCollectionItem& item = ParamMan->AddParam(PT_STR);
        item.SetName(Name);
        item.SetAsStr(Value);
    }
    platform::TextOutItem Out(const std::string& Markup) {
        TStringList lines;
        lines.Add(Markup);
        BuildGlyphs(word, lines);
        word.ExpandVariables(0, -1, true);
        return MessageOfWord(word, "story");
    }

    TNxWord word;
};

TEST_F(MessageOut, PlainTextWithReadingsValuesAndLineBreaks) {
    SetVar("who", "櫂");
    SetVar("two", "上\r\n下");
    const platform::TextOutItem item =
        Out("<RUBY VALUE=\"はるか\">遥</RUBY>は<VAR NAME=who>と<A HREF=\"n\">北の<B>星</B></A>へ。<BR>"
            "<RUBY VALUE=\"ほしぞら\">星空</RUBY><RUBY VALUE=\"そら\">空</RUBY><IMG SRC=\"p.png\">"
            "<EVENT VALUE=\"chime\"><WAIT VALUE=200>…</WAIT><VAR NAME=two>");
    EXPECT_EQ(item.kind, platform::TextOutItem::Kind::Message);
    EXPECT_EQ(item.window, "story");
    EXPECT_EQ(item.text, "遥は櫂と北の星へ。\n星空空…上\n下");
    EXPECT_EQ(item.ruby, (Ruby{{"遥", "はるか"}, {"星空", "ほしぞら"}, {"空", "そら"}}));
}

TEST_F(MessageOut, AReadingAfterAPictureStartsARunOfItsOwn) {
    const platform::TextOutItem item = Out("<RUBY VALUE=\"か\">甲<IMG SRC=\"p.png\">乙</RUBY>");
    EXPECT_EQ(item.text, "甲乙");
    EXPECT_EQ(item.ruby, (Ruby{{"甲", "か"}, {"乙", "か"}}));
}

TEST_F(MessageOut, ALongMessageIsCutOnAWholeCharacter) {
    std::string many;
    for (int i = 0; i < 40000; ++i) many += "あ";
    const platform::TextOutItem item = Out("x" + many);
    EXPECT_EQ(item.text.size(), platform::MaxTextOutBytes - 1);
    EXPECT_EQ(item.text.substr(item.text.size() - 2), "あ");
    // The readings count within the bound.
    const platform::TextOutItem read = Out("<RUBY VALUE=\"よみ\">" + many + "</RUBY>");
    ASSERT_EQ(read.ruby.size(), 1u);
    EXPECT_EQ(read.text.size() + read.ruby[0].reading.size(), platform::MaxTextOutBytes);
    EXPECT_EQ(read.ruby[0].base, read.text);
}

}  // namespace
