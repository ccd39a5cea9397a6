// The XML element tree: the writer's exact bytes, escaping against the code page 932 table,
// the reader's rules and its tolerance of hostile input, and a written document checked by
// xmllint.
#include "core/nxxmls.h"
#include "platform/encoding.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>

namespace {

const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"Shift_JIS\" ?>\r\n\r\n";

std::string Saved(TNxXmlElement& e) {
    TMemoryStream m;
    e.SaveToStream(m);
    return std::string(reinterpret_cast<const char*>(m.Memory()), m.Size());
}

void Load(TNxXmlElement& e, const std::string& text) {
    TMemoryStream m;
    m.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
    m.SetPosition(0);
    e.LoadFromStream(m);
}

// The message a document raises when loading text, or "" when it loads.
std::string DocumentError(const std::string& text) {
    TNxXml doc;
    try {
        Load(doc, text);
    } catch (const ENxXmlError& e) {
        return e.what();
    }
    return "";
}

// A canonical description of a subtree, for comparing trees with readable failures.
std::string Dump(const TNxXmlElement& e) {
    std::string out = "(" + e.Name;
    for (const auto& a : e.Attributes) out += " [" + a->Name + "=" + ToHex(a->Value) + "]";
    out += " {" + ToHex(e.Text) + "}";
    for (const auto& c : e.Children) out += " " + Dump(*c);
    return out + ")";
}

TEST(NxXmlWriter, ExactBytesOfSmallDocument) {
    TNxXml doc;
    doc.Name = "root";
    TNxXmlElement* item = doc.AddTextElement("item", "A&B");
    EXPECT_EQ(item->AddAttrInteger("id", 1), 0);
    EXPECT_EQ(Saved(doc), kDeclaration +
                              "<root>\r\n"
                              "  <item id=\"1\">A&amp;B</item>\r\n"
                              "</root>\r\n");
    // A plain element writes no declaration; an attribute-only element closes itself.
    TNxXmlElement plain;
    plain.Name = "p";
    plain.AddAttrBool("on", true);
    plain.AddElement("gone");
    EXPECT_EQ(Saved(plain), "<p on=\"1\">\r\n</p>\r\n");
    TNxXmlElement* child = plain.AddElement("q");
    child->AddAttrString("s", "x'y");
    child->AddElement("r")->AddAttrBool("b", false);
    EXPECT_EQ(Saved(*child), "  <q s=\"x'y\">\r\n    <r b=\"0\" />\r\n  </q>\r\n");
}

TEST(NxXmlWriter, ElementWithOnlyANameIsLeftOut) {
    TNxXml doc;
    doc.Name = "root";
    doc.AddTextElement("a", "x");
    doc.AddElement("empty");
    doc.AddElement("c")->AddAttrInteger("n", -5);
    EXPECT_EQ(doc.ChildCount(), 3);
    TNxXml back;
    Load(back, Saved(doc));
    ASSERT_EQ(back.ChildCount(), 2);
    EXPECT_EQ(back.GetChild(0)->Text, "x");
    EXPECT_TRUE(back.GetChild(1)->NameIs("C"));
    EXPECT_EQ(back.GetChild(1)->GetAttrInteger("n", 0), -5);

    TNxXml blank;
    EXPECT_EQ(Saved(blank), kDeclaration);
}

TEST(NxXmlEscape, ControlBytesEntitiesAndLineEnds) {
    EXPECT_EQ(XmlEscape(std::string("a\r\nb\tc\x1F") + "&\"<>'"), "a&#13;&#10;b&#9;c&#31;&amp;&quot;&lt;&gt;'");
    EXPECT_EQ(XmlEscape(std::string("\0\x7F", 2)), std::string("\0\x7F", 2));

    TNxXml doc;
    doc.Name = "root";
    doc.AddTextElement("t", "line1\r\nline2\r\n")->AddAttrString("v", "x\r\ny");
    std::string written = Saved(doc);
    EXPECT_NE(written.find("<t v=\"x&#13;&#10;y\">line1&#13;&#10;line2&#13;&#10;</t>"), std::string::npos);
    TNxXml back;
    Load(back, written);
    EXPECT_EQ(back.ReadString("t", ""), "line1\r\nline2\r\n");
    EXPECT_EQ(back.GetChild(0)->GetAttrString("v", ""), "x\r\ny");
}

TEST(NxXmlEscape, DoubleByteCharactersPassUnchanged) {
    // No character of the code page has a second byte below 0x40, so none of them is touched,
    // whatever its second byte (0x5C and 0x7C included).
    std::string all;
    for (const auto& line : Lines(PythonOutput("cp932_table.py"))) {
        std::string bytes = FromHex(line.substr(0, line.find(' ')));
        if (bytes.size() == 2) all += bytes;
    }
    ASSERT_GT(all.size(), 14000u);
    EXPECT_EQ(XmlEscape(all), all);
    EXPECT_EQ(XmlUnescape(all), all);
}

TEST(NxXmlEscape, LeadByteBeforeMarkupIsNotAPairAndReadsBackWhole) {
    // A lead byte followed by '>', '&', '<', '"' or a line end is no character; copying the byte
    // after it unescaped would break the markup or change the text read back.
    const std::string odd = "\x81>\x81&lt;\x81<b>\x9F\"\xE0\r\n\xFC&amp;";
    EXPECT_EQ(XmlEscape(odd), "\x81&gt;\x81&amp;lt;\x81&lt;b&gt;\x9F&quot;\xE0&#13;&#10;\xFC&amp;amp;");
    TNxXml doc;
    doc.Name = "root";
    doc.AddTextElement("t", odd)->AddAttrString("v", odd);
    doc.AddTextElement("after", "ok");
    TNxXml back;
    Load(back, Saved(doc));
    EXPECT_EQ(Dump(back), Dump(doc));
}

TEST(NxXmlUnescape, ReferencesAndEntities) {
    EXPECT_EQ(XmlUnescape("&#33;"), "!");
    EXPECT_EQ(ToHex(XmlUnescape("a&#33088;b")), "618140" "62");
    EXPECT_EQ(XmlUnescape("&#0;&#70000;&#-5;&#x21;&#12a;"), "&#0;&#70000;&#-5;&#x21;&#12a;");
    EXPECT_EQ(XmlUnescape("&amp;lt;&lt;&gt;&quot;"), "&lt;<>\"");
    // A reference that does not convert stays, and one inside it still does.
    EXPECT_EQ(XmlUnescape("&#&#33;"), "&#!");
    EXPECT_EQ(XmlUnescape("&#65;&#33"), "A&#33");
    // Inserted bytes are not scanned again.
    EXPECT_EQ(XmlUnescape("&#38;#33;"), "&#33;");
}

TEST(NxXmlReader, DeclarationIsCheckedForDocumentsOnly) {
    const std::string body = "<root><a>1</a></root>\r\n";
    EXPECT_EQ(DocumentError("<?xml version=\"1.1\" encoding=\"Shift_JIS\" ?>\r\n" + body), "未対応のXML形式です");
    EXPECT_EQ(DocumentError("<?xml version=\"1.0\" encoding=\"Shift-JIS\" ?>\r\n" + body), "");
    EXPECT_EQ(DocumentError("<?xml version=\"1.0\" encoding=\"SHIFT_JIS\"?>\n" + body), "");
    EXPECT_EQ(DocumentError("<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\r\n" + body), "未対応の文字セットです");
    EXPECT_EQ(DocumentError("<?xml version=\"1.0\" ?>\r\n" + body), "未対応のファイル形式です");
    EXPECT_EQ(DocumentError(body), "未対応のファイル形式です");
    EXPECT_EQ(DocumentError(""), "未対応のファイル形式です");

    TNxXmlElement plain;
    Load(plain, body);
    EXPECT_EQ(plain.Name, "root");
    EXPECT_EQ(plain.ReadInteger("a", 0), 1);
    // Loading replaces what was there; text with no element leaves the element empty.
    Load(plain, "just text\r\n");
    EXPECT_EQ(Dump(plain), "( {})");
}

TEST(NxXmlReader, AttributesAndNamesMatchAsciiCaseOnly) {
    TNxXmlElement e;
    Load(e, "<Root A=\"1\" C = \"x&amp;y\" a=\"9\" 表=\"&#33088;\" b='2'><Child>t</Child></Root>");
    EXPECT_TRUE(e.NameIs("rOOT"));
    EXPECT_EQ(e.AttrCount(), 4);
    EXPECT_EQ(e.GetAttrInteger("a", 0), 1);
    EXPECT_EQ(e.GetAttrString("B", "none"), "none");  // single quotes are not read
    EXPECT_EQ(e.GetAttrString("c", ""), "x&y");
    EXPECT_EQ(e.GetAttrString("表", ""), "\x81\x40");
    EXPECT_EQ(e.GetAttr(3)->Name, "表");
    EXPECT_EQ(e.GetAttr(4), nullptr);
    EXPECT_EQ(e.GetAttr(-1), nullptr);
    EXPECT_EQ(e.ReadString("CHILD", ""), "t");
    EXPECT_EQ(e.GetChild(1), nullptr);

    // The second byte of a double-byte character is not a letter: ア (83 41) is not ヂ (83 61).
    e.AddElement("ア");
    EXPECT_EQ(e.IndexOfChild("ヂ"), -1);
    EXPECT_EQ(e.IndexOfChild("ア"), 1);
}

TEST(NxXmlReader, TypedReadsDefaultsAndStrictMode) {
    TNxXmlElement e;
    e.Name = "cfg";
    e.AddTextElement("n", "12a");
    e.AddTextElement("m", "-42");
    e.AddTextElement("b", "1");
    e.AddTextElement("f", "true");
    e.AddAttrString("big", "2147483648");
    EXPECT_EQ(e.ReadInteger("n", 7), 7);
    EXPECT_EQ(e.ReadInteger("m", 7), -42);
    EXPECT_TRUE(e.ReadBool("b", false));
    EXPECT_FALSE(e.ReadBool("f", true));
    EXPECT_EQ(e.GetAttrInteger("big", 3), 3);
    EXPECT_EQ(e.ReadString("missing", "dflt"), "dflt");
    EXPECT_EQ(e.FindChild("missing"), nullptr);

    e.StrictMode = true;
    EXPECT_EQ(e.FindChild("M")->Text, "-42");
    try {
        e.ReadInteger("size", 0);
        FAIL() << "no error";
    } catch (const EVelaError& error) {
        EXPECT_STREQ(error.what(), "<size>がありません");
    }
    EXPECT_THROW(e.FindChild("幅"), ENxXmlError);
    EXPECT_THROW(e.ReadBool("x", true), ENxXmlError);
}

TEST(NxXmlTree, OwnersParentsAndDepth) {
    TNxXml doc;
    TNxXmlElement* a = doc.AddElement("a");
    TNxXmlElement* b = a->AddElement("b");
    EXPECT_EQ(doc.Owner, nullptr);
    EXPECT_EQ(a->Owner, &doc);
    EXPECT_EQ(b->Owner, &doc);
    EXPECT_EQ(b->Parent, a);
    EXPECT_EQ(doc.Depth(), 0);
    EXPECT_EQ(b->Depth(), 2);
    doc.Name = "d";
    doc.Text = "t";
    doc.AddAttrString("k", "v");
    doc.Clear();
    EXPECT_EQ(Dump(doc), "( {})");
}

TEST(NxXmlReader, NestedSameNameEmptyTagIsAChild) {
    TNxXmlElement e;
    Load(e, "<a><a x=\"1\" /><b>t</b><a/></a><after/>");
    ASSERT_EQ(e.ChildCount(), 3);
    EXPECT_EQ(e.GetChild(0)->GetAttrInteger("x", 0), 1);
    EXPECT_EQ(e.ReadString("b", ""), "t");
    EXPECT_TRUE(e.GetChild(2)->NameIs("a"));

    // What our writer makes of such nesting reads back whole.
    TNxXml doc;
    doc.Name = "a";
    doc.AddElement("a")->AddAttrInteger("x", 1);
    TNxXmlElement* inner = doc.AddElement("A");
    inner->AddElement("a")->AddAttrInteger("y", 2);
    inner->AddTextElement("a", "deep");
    doc.AddTextElement("b", "tail");
    TNxXml back;
    Load(back, Saved(doc));
    EXPECT_EQ(Dump(back), Dump(doc));
}

TEST(NxXmlReader, MalformedMarkupIsReadAsFarAsItGoes) {
    TNxXmlElement e;
    // A tag left open at the end of its line is dropped; the text before it stays.
    Load(e, "<a>text<\r\n<b>x</b></a>");
    EXPECT_EQ(e.Text, "text");
    EXPECT_EQ(e.ReadString("b", ""), "x");
    // An unterminated quote keeps the tag open to the end of the line.
    Load(e, "<a><b v=\"1>lost</b>\n<c v=\"2\">kept</c></a>");
    EXPECT_EQ(Dump(e), "(a {} (c [v=32] {6B657074}))");
    // A quoted ">" does not end a tag.
    Load(e, "<a v=\"1>2\">t</a>");
    EXPECT_EQ(e.GetAttrString("v", ""), "1>2");
    // A stray closing tag becomes an empty child; missing closing tags end with the text.
    Load(e, "<a><b></c>t</b><d><e>");
    EXPECT_EQ(Dump(e), "(a {} (b {74} (c {})) (d {} (e {})))");
    // Text before the first tag of a line is not collected.
    Load(e, "<a>one\r\ntwo</a>");
    EXPECT_EQ(e.Text, "one");
    // Only closing tags, or a bare "<>", still give a tree.
    Load(e, "</x></y><>");
    EXPECT_EQ(Dump(e), "(x {})");
    Load(e, "<a><>< /><a");
    EXPECT_EQ(Dump(e), "(a {} ( {} ( {})))");
}

TEST(NxXmlReader, HostileSizesStayLinearAndDeepTreesNeedNoRecursion) {
    const int depth = 200000;
    std::string nested;
    for (int i = 0; i < depth; ++i) nested += "<a>";
    TNxXmlElement e;
    Load(e, nested);
    const TNxXmlElement* last = &e;
    while (last->ChildCount() == 1) last = last->GetChild(0);
    EXPECT_EQ(last->Depth(), depth - 1);
    e.Clear();

    const int n = 1000000;
    std::string refs;
    for (int i = 0; i < n; ++i) refs += "&#";
    EXPECT_EQ(XmlUnescape(refs), refs);
    EXPECT_EQ(XmlUnescape(refs + "33;"), refs.substr(2) + "!");

    std::string tag = "<a";
    for (int i = 0; i < n / 4; ++i) tag += " v=\"1\"";
    Load(e, tag + ">");
    EXPECT_EQ(e.AttrCount(), n / 4);
    Load(e, "<a " + std::string(n, '=') + ">" + std::string(n, '"'));
    EXPECT_EQ(e.AttrCount(), 0);
}

TEST(NxXmlProgress, LinesTokensAndChildrenAreReported) {
    TNxXml doc;
    doc.Name = "r";
    doc.AddTextElement("a", "1");
    doc.AddElement("blank");
    doc.AddTextElement("c", "3");
    std::vector<std::string> calls;
    doc.OnProgress = [&](TNxXmlElement* sender, int position, int max) {
        EXPECT_EQ(sender, &doc);
        calls.push_back(std::to_string(position) + "/" + std::to_string(max));
    };
    std::string written = Saved(doc);
    EXPECT_EQ(calls, (std::vector<std::string>{"0/2", "1/2", "2/2"}));

    // 6 lines, then the tokens the root takes itself: declaration, "", <r>, "" (3), <a> (4),
    // 1, </a>, "" (7), <c> (8), 3, </c>, "" (11), </r> (12), "".
    calls.clear();
    Load(doc, written);
    EXPECT_EQ(calls, (std::vector<std::string>{"0/5", "1/5", "2/5", "3/5", "4/5", "5/5", "5/5", "3/13", "4/13",
                                               "7/13", "8/13", "11/13", "12/13"}));
}

// What a command printed (xmllint ends its answer with a line end).
std::string RunCommand(const std::string& command, int& status) {
    FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    char buffer[4096];
    size_t n;
    while (pipe && (n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    status = pipe ? pclose(pipe) : -1;
    return out;
}

TEST(NxXmlDocument, WrittenDocumentPassesXmllintAndReadsBackEqual) {
    if (std::system("command -v xmllint >/dev/null 2>&1") != 0) GTEST_SKIP() << "xmllint is not installed";
    TNxXml doc;
    doc.Name = "scene";
    doc.AddAttrString("title", "表示テスト \"quoted\" & <angled> 'single'");
    doc.AddAttrInteger("count", 3);
    TNxXmlElement* list = doc.AddElement("list");
    for (int i = 0; i < 3; ++i) {
        TNxXmlElement* item = list->AddTextElement("item", "ソフト能力 #" + std::to_string(i) + " a<b && c>d");
        item->AddAttrInteger("id", i);
        item->AddAttrBool("on", i % 2 == 1);
    }
    list->AddElement("list")->AddTextElement("note", "line1\r\nline2\ttab");
    doc.AddElement("項目")->AddAttrString("名前", "全角\x81\x40空白");
    doc.AddElement("empty");
    doc.AddElement("list")->AddElement("list")->AddAttrString("x", "");

    std::string written = Saved(doc);
    std::string utf8 = platform::Cp932ToUtf8(written);
    const std::string declared = "encoding=\"Shift_JIS\"";
    size_t at = utf8.find(declared);
    ASSERT_NE(at, std::string::npos);
    utf8.replace(at, declared.size(), "encoding=\"UTF-8\"");
    std::string path = FreshHostFolder() + "doc.xml";
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fwrite(utf8.data(), 1, utf8.size(), f);
    fclose(f);

    int status;
    std::string errors = RunCommand("xmllint --noout '" + path + "' 2>&1", status);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << errors;
    EXPECT_EQ(RunCommand("xmllint --xpath 'string(/scene/@title)' '" + path + "'", status),
              U8(u8"表示テスト \"quoted\" & <angled> 'single'\n"));
    EXPECT_EQ(RunCommand("xmllint --xpath 'string(//note)' '" + path + "'", status), "line1\r\nline2\ttab\n");
    EXPECT_EQ(RunCommand("xmllint --xpath 'string(//item[2])' '" + path + "'", status),
              U8(u8"ソフト能力 #1 a<b && c>d\n"));

    TNxXml back;
    Load(back, written);
    doc.Children.erase(doc.Children.begin() + 2);  // the element with nothing but a name is not written
    EXPECT_EQ(Dump(back), Dump(doc));
    back.StrictMode = true;
    EXPECT_EQ(back.FindChild("項目")->GetAttrString("名前", ""), "全角\x81\x40空白");
}

}  // namespace
