// The small shared containers: the owning list, delimited lines, string arrays and the
// folder-to-disc map with their stored forms, path helpers, and the dirty-rectangle list.
#include "core/header.h"
#include "tests/common/budget.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

namespace {

std::vector<std::string> Parts(const TStringList& list) {
    std::vector<std::string> parts;
    for (int i = 0; i < list.Count(); ++i) parts.push_back(list.Strings(i));
    return parts;
}

std::vector<TRect> Rects(const TClipList& list) {
    std::vector<TRect> rects;
    for (int i = 0; i < list.Count(); ++i) rects.push_back(list.GetRect(i));
    return rects;
}

std::vector<TRect> Added(std::initializer_list<TRect> rects) {
    TClipList list;
    for (const auto& r : rects) list.AddRect(r);
    return Rects(list);
}

TEST(ClipList, MergeRules) {
    using R = std::vector<TRect>;
    EXPECT_EQ(Added({{0, 0, 10, 10}, {25, 0, 35, 10}}), (R{{0, 0, 35, 10}}));  // gap 15
    EXPECT_EQ(Added({{0, 0, 10, 10}, {30, 0, 40, 10}}), (R{{0, 0, 40, 10}}));  // gap 20
    EXPECT_EQ(Added({{0, 0, 10, 10}, {40, 0, 50, 10}}), (R{{0, 0, 10, 10}, {40, 0, 50, 10}}));
    EXPECT_EQ(Added({{0, 0, 10, 10}, {5, 50, 8, 60}}), (R{{0, 0, 10, 10}, {5, 50, 8, 60}}));  // near in x only
    EXPECT_EQ(Added({{0, 0, 10, 10}, {5, 5, 20, 30}}), (R{{0, 0, 20, 30}}));
    // Near the first only; the union (0..80) then reaches the second and swallows it too.
    EXPECT_EQ(Added({{0, 0, 10, 10}, {100, 0, 110, 10}, {500, 500, 510, 510}, {30, 0, 80, 10}}),
              (R{{500, 500, 510, 510}, {0, 0, 110, 10}}));
    // Coordinates at the int32 limits do not wrap into "far apart".
    TRect outer{INT32_MIN, 0, INT32_MIN + 10, 10}, inner{INT32_MIN + 5, 0, INT32_MIN + 8, 10};
    EXPECT_TRUE(RectsNear(inner, outer));
    EXPECT_EQ(Added({outer, inner}), (R{outer}));
}

TEST(ClipList, IgnoredRectanglesChangeNothingOthersSetChanged) {
    TClipList list;
    list.AddRect({0, 0, 100, 100});
    list.AddRect({200, 200, 210, 210});
    EXPECT_TRUE(list.Changed());
    list.SetChanged(false);
    list.AddRect({10, 10, 20, 20});  // inside
    list.AddRect({0, 0, 100, 100});  // equal
    list.AddRect({5, 5, 5, 50});     // no width
    list.AddRect({5, 50, 50, 40});   // upside down
    EXPECT_EQ(Rects(list), (std::vector<TRect>{{0, 0, 100, 100}, {200, 200, 210, 210}}));
    EXPECT_FALSE(list.Changed());

    list.Delete(0);
    EXPECT_TRUE(list.Changed());
    EXPECT_THROW(list.GetRect(1), EListError);
    list.SetChanged(false);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_TRUE(list.Changed());
}

// Changes too far apart to merge fill the list up to its bound; the next one folds them all into
// the rectangle around them. Every change stays covered, and no two kept rectangles overlap, so
// no pixel is repainted twice.
TEST(ClipList, FarChangesFoldIntoOneRectangleAtTheBound) {
    TClipList list;
    std::vector<TRect> changes;
    for (int i = 0; i < TClipList::MaxRects + 1; ++i) changes.push_back({i * 100, 0, i * 100 + 5, 5});
    for (int i = 0; i < TClipList::MaxRects; ++i) list.AddRect(changes[size_t(i)]);
    EXPECT_EQ(Rects(list), std::vector<TRect>(changes.begin(), changes.end() - 1));
    list.AddRect(changes.back());
    EXPECT_EQ(Rects(list), (std::vector<TRect>{{0, 0, TClipList::MaxRects * 100 + 5, 5}}));

    // A grid of far changes: each is inside a kept rectangle, however many came.
    TClipList grid;
    std::vector<TRect> cells;
    for (int i = 0; i < 2000; ++i) cells.push_back({i % 50 * 30, i / 50 * 30, i % 50 * 30 + 1, i / 50 * 30 + 1});
    for (const TRect& cell : cells) grid.AddRect(cell);
    ASSERT_LE(grid.Count(), TClipList::MaxRects);
    for (const TRect& cell : cells) {
        bool covered = false;
        for (const TRect& kept : Rects(grid)) covered |= RectContains(cell, kept);
        ASSERT_TRUE(covered) << cell.Left << "," << cell.Top;
    }
    for (int i = 0; i < grid.Count(); ++i)
        for (int j = i + 1; j < grid.Count(); ++j) EXPECT_FALSE(RectsNear(grid.GetRect(i), grid.GetRect(j)));
}

struct Tracked {
    Tracked(int id, std::vector<int>& freed, const TObjList<Tracked>* list = nullptr)
        : id(id), freed(freed), list(list) {}
    ~Tracked() {
        freed.push_back(id);
        if (list) countAtFree = list->Count();
    }
    int id;
    std::vector<int>& freed;
    const TObjList<Tracked>* list;
    static inline int countAtFree = -1;
};

struct TNamedList : TObjList<Tracked> {
    std::string Name;
};

TEST(ObjList, OwnsAndFreesItsObjects) {
    std::vector<int> freed;
    {
        TNamedList list;
        for (int id = 0; id < 4; ++id) list.Add(std::make_unique<Tracked>(id, freed, &list));
        list.Delete(1);  // the entry is gone before its object is freed
        EXPECT_EQ(freed, std::vector<int>{1});
        EXPECT_EQ(Tracked::countAtFree, 3);
        EXPECT_EQ(list.Items(1)->id, 2);

        std::unique_ptr<Tracked> taken = list.Extract(0);  // handed over, not freed
        EXPECT_EQ(freed.size(), 1u);
        list.Insert(0, std::move(taken));
        EXPECT_THROW(list.Items(3), EListError);
        EXPECT_THROW(list.Insert(5, nullptr), EListError);

        list.DeleteIf([](const Tracked* t) { return t->id % 2 == 0; });  // 0 2 3: one pass
        EXPECT_EQ(freed, (std::vector<int>{1, 0, 2}));
        EXPECT_EQ(Tracked::countAtFree, 1);
        EXPECT_EQ(list.Items(0)->id, 3);

        // Told that at most one matches, the pass stops testing at the first match.
        for (int id : {4, 5, 6}) list.Add(std::make_unique<Tracked>(id, freed, &list));
        int tested = 0;
        list.DeleteIf([&](const Tracked* t) { return ++tested, t->id >= 4; }, 1);
        EXPECT_EQ(tested, 2);
        EXPECT_EQ(freed.back(), 4);
        ASSERT_EQ(list.Count(), 3);
        EXPECT_EQ(list.Items(1)->id, 5);
        EXPECT_EQ(list.Items(2)->id, 6);
        list.Delete(2);
        list.Delete(1);

        list.Clear();
        EXPECT_EQ(freed, (std::vector<int>{1, 0, 2, 4, 6, 5, 3}));
        EXPECT_EQ(Tracked::countAtFree, 0);
        list.Add(std::make_unique<Tracked>(7, freed));
    }
    EXPECT_EQ(freed.back(), 7);
}

// A line, or the lines of a text, refused by the title's memory leave a list as it was.
TEST(StringList, ARefusedLineChangesNothing) {
    const std::string longLine(int64_t(4) << 20, 'z'), breaks(int64_t(1) << 20, '\n');
    TStringList list;
    list.Add(std::string(1000, 'x'));
    testbudget::TTestBudget budget(int64_t(1) << 20);
    const TBudgetRefusal refusing;
    EXPECT_THROW(list.SetString(0, longLine), EMemoryBudget);
    EXPECT_THROW(list.Add(longLine), EMemoryBudget);
    EXPECT_EQ(Parts(list), std::vector<std::string>{std::string(1000, 'x')});
    EXPECT_THROW(SplitLines(breaks), EMemoryBudget);  // sixteen bytes of list for each byte
}

TEST(TabStrings, SplitsKeepingEmptyFields) {
    TTabStrings fields;
    fields.SplitLine("a\t\tb\t");
    EXPECT_EQ(Parts(fields), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(fields.GetField(3), "");
    EXPECT_EQ(fields.GetField(-1), "");
    fields.SplitLine("");
    EXPECT_EQ(fields.Count(), 0);
    fields.SplitLine("\t");
    EXPECT_EQ(Parts(fields), (std::vector<std::string>{""}));
    fields.SplitLine("名前\t表示\tx");
    EXPECT_EQ(Parts(fields), (std::vector<std::string>{"名前", "表示", "x"}));
    // "表" is 95 5C: its trail byte is not the delimiter "\".
    fields.SetDelimiter('\\');
    fields.SplitLine("表\\表示\\\\z");
    EXPECT_EQ(Parts(fields), (std::vector<std::string>{"表", "表示", "", "z"}));
}

TEST(ArrayString, StoredFormAndBadStreams) {
    TArrayString a;
    a.Add("ab");
    a.Add("");
    a.Add("表");
    TMemoryStream m;
    a.SaveToStream(m);
    EXPECT_EQ(ToHex(std::string(reinterpret_cast<const char*>(m.Memory()), m.Size())),
              ToHex(FromHex("03000000 02000000 6162 00000000 02000000 955C")));
    TArrayString b;
    b.Add("old");
    m.SetPosition(0);
    b.LoadFromStream(m);
    ASSERT_EQ(b.Count(), 3);
    EXPECT_EQ(b.Strings(2), "表");

    for (const char* hex : {"", "020000", "02000000 01000000 61", "FFFFFF7F", "FFFFFFFF", "01000000 FFFFFF7F 61"}) {
        TMemoryStream bad = StreamOf(FromHex(hex));
        EXPECT_THROW(b.LoadFromStream(bad), EReadError) << hex;
        EXPECT_EQ(b.Count(), 3) << hex;  // left as it was
    }
}

TEST(FolderDiskList, StoredFormAndBadStreams) {
    TFolderDiskList list;
    list.AddFolder("C:\\GAME", 2);
    list.AddFolder("", -1);
    TMemoryStream m;
    list.SaveToStream(m);
    EXPECT_EQ(ToHex(std::string(reinterpret_cast<const char*>(m.Memory()), m.Size())),
              ToHex(FromHex("02000000 07000000 433A5C47414D45 02000000 00000000 FFFFFFFF")));
    TFolderDiskList loaded;
    m.SetPosition(0);
    loaded.LoadFromStream(m);
    EXPECT_EQ(Parts(loaded), (std::vector<std::string>{"C:\\GAME", ""}));
    EXPECT_EQ(loaded.Objects(1), -1);

    for (const char* hex : {"01000000 01000000 41 0200", "FFFFFF7F", "80000000", "02000000 01000000 41 01000000"}) {
        TMemoryStream bad = StreamOf(FromHex(hex));
        EXPECT_THROW(loaded.LoadFromStream(bad), EReadError) << hex;
        EXPECT_EQ(loaded.Count(), 2) << hex;
    }
}

TEST(FolderDiskList, FindsTheDiscOfTheInnermostListedFolder) {
    TFolderDiskList list;
    list.AddFolder("C:\\GAME", 1);
    list.AddFolder("C:\\GAME\\DATA", 2);
    list.AddFolder("c:\\game\\表\\", 4);
    EXPECT_EQ(list.GetDisk("C:\\GAME\\DATA\\X.BMP"), 2);
    EXPECT_EQ(list.GetDisk("c:\\game\\data\\sub\\x.bmp"), 2);
    EXPECT_EQ(list.GetDisk("C:\\GAME\\OTHER\\X.BMP"), 1);
    EXPECT_EQ(list.GetDisk("C:\\GAME\\表\\X.BMP"), 4);
    EXPECT_EQ(list.GetDisk("D:\\GAME\\DATA\\X.BMP"), 0);
    EXPECT_EQ(list.GetDisk("X.BMP"), 0);
    EXPECT_EQ(list.IndexOfFolder("C:\\GAME\\表"), 2);  // ends in the trail byte 5C: still gets its "\"
    EXPECT_EQ(list.IndexOfFolder("C:\\GAM"), -1);
}

TEST(Paths, ParserAndRelativePaths) {
    TPathParser parser;
    parser.SetPath("c:\\abc\\表\\x");
    EXPECT_EQ(Parts(parser), (std::vector<std::string>{"C:\\", "ABC\\", "表\\", "X\\"}));
    EXPECT_EQ(parser.GetPath(), "C:\\ABC\\表\\X\\");
    parser.SetPath("\\\\server\\share\\dir\\");
    EXPECT_EQ(Parts(parser), (std::vector<std::string>{"\\\\SERVER\\", "SHARE\\", "DIR\\"}));
    parser.SetPath("");
    EXPECT_EQ(parser.Count(), 0);

    EXPECT_EQ(ExpandRelativePath("..\\..\\x.txt", "C:\\A\\B\\C\\"), "C:\\A\\x.txt");
    EXPECT_EQ(ExpandRelativePath("..\\..\\x.txt", "C:\\"), "..\\x.txt");
    EXPECT_EQ(ExpandRelativePath("..\\x", "c:\\表\\b\\"), "C:\\表\\x");
    EXPECT_EQ(ExpandRelativePath("..\\..\\x", "\\\\srv\\share\\dir\\"), "\\\\SRV\\x");
    EXPECT_EQ(ExpandRelativePath("sub\\x.txt", "c:\\game\\"), "c:\\game\\sub\\x.txt");
    EXPECT_EQ(ExpandRelativePath("D:\\x.txt", "C:\\A\\"), "D:\\x.txt");
    EXPECT_EQ(ExpandRelativePath("\\x.txt", "C:\\A\\"), "\\x.txt");
    EXPECT_EQ(ExpandRelativePath("x", "C:\\A\\"), "x");

    EXPECT_EQ(AppendBackslash("C:\\A"), "C:\\A\\");
    EXPECT_EQ(AppendBackslash("C:\\A\\"), "C:\\A\\");
    EXPECT_EQ(AppendBackslash("C:\\表"), "C:\\表\\");
}

TEST(Paths, CutColonSuffix) {
    struct Case {
        const char *in, *suffix, *rest;
    };
    for (const Case& c : {Case{"SAMPLE.MRA:3", "3", "SAMPLE.MRA"}, Case{"C:\\A.MRA", "", "C:\\A.MRA"},
                          Case{"page.vsb:a:b", "b", "page.vsb:a"}, Case{":x", "", ":x"},
                          Case{"X:3.MRA", "", "X:3.MRA"},
                          // the trail byte of "表" after the colon is not a "\" hiding it
                          Case{"PAGE:表", "表", "PAGE"}}) {
        std::string s = c.in;
        EXPECT_EQ(CutColonSuffix(s), c.suffix) << c.in;
        EXPECT_EQ(s, c.rest) << c.in;
    }
}

}  // namespace

TEST(PathParts, SplitAtTheLastDelimiterNeverAtATrailByte) {
    // "表" is 95 5C: its trail byte is no folder separator.
    EXPECT_EQ(ExtractFilePath("C:\\data\\表.txt"), "C:\\data\\");
    EXPECT_EQ(ExtractFileName("data\\表"), "表");
    EXPECT_EQ(ExtractFilePath("表"), "");
    EXPECT_EQ(ExtractFileExt("a.b\\c.MRA"), ".MRA");
    EXPECT_EQ(ExtractFileExt("a.b\\c"), "");  // a dot in a folder is no extension
    EXPECT_EQ(ChangeFileExt("game.dat", ".ext"), "game.ext");
    EXPECT_EQ(ChangeFileExt("dir.x\\game", ".001"), "dir.x\\game.001");
    EXPECT_EQ(ChangeFileExt("Z:\\a\\b.c.d", ""), "Z:\\a\\b.c");
}
