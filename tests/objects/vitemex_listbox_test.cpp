// The list box on a headless layer: layouts from the fake font service's fixed metrics, hover by
// pointer and keys, pressing, holding and dragging on the scroll strip, the drawn box, and the
// list record against tests/tools/menu_records.py.
#include "tests/objects/listbox_fixture.h"

namespace {

using TList = TVelaCustomListBox;
using Events = std::vector<TListEvent>;

// The hover row's highlight of a menu, green.
class THighlightList : public TVelaCustomListBox {
public:
    using TVelaCustomListBox::TVelaCustomListBox;
    int32_t GetHovercolor() const override { return 0x00FF00; }
};

TEST_F(ListScene, LayoutFollowsItemsFontsMarginsBordersAndStrips) {
    Cache->Source->Files["tl.bmp"] = {{5, 4, 100, false}};
    Cache->Source->Files["tc.bmp"] = {{3, 6, 100, false}};
    Cache->Source->Files["br.bmp"] = {{7, 3, 100, false}};
    struct Case {
        const char* Name;
        std::string Text;
        int32_t Rows;
        bool Pieces;
        int32_t Width, Height;
    };
    const Case cases[] = {
        // No items: the frame, the margins and one line space less than nothing.
        {"empty", "", 3, false, 2 + 4 + 6, 2 + 4 - 2},
        // More items than rows: the strip's cell width joins the check cell and the widest item.
        {"scrolling", "A\r\nBB\r\nCCC\r\nDD\r\nE", 3, false, 24 + 2 + 4 + 8 + 6, 3 * 12 + 2 * 2 + 2 + 4},
        // Control characters around the text go; an empty line inside is an item.
        {"fits", "\x01\r\nA\r\n\r\nCCC\n\t", 3, false, 24 + 2 + 4 + 6, 3 * 12 + 2 * 2 + 2 + 4},
        // The widest piece of each side adds to it: left 5, top 6, right 7, bottom 3.
        {"pieces", "A\r\nCCC", 3, true, 24 + 2 + 4 + 6 + 5 + 7, 2 * 12 + 2 + 2 + 4 + 6 + 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TList* list = MakeList<TList>(c.Text);
        list->SetRowcount(c.Rows);
        if (c.Pieces) {
            list->SetBordersource(0, "tl.bmp");
            list->SetBordersource(1, "tc.bmp");
            list->SetBordersource(8, "br.bmp");
        }
        list->UpdateLayout();
        EXPECT_EQ(list->GetWidth(), c.Width);
        EXPECT_EQ(list->GetHeight(), c.Height);
        delete list;
    }

    // The larger of the two fonts' rows: a border adds 2 a character and to the row, a shadow 1.
    TList* list = MakeList<TList>("AB\r\nC");
    list->SetChecksource("none.bmp");  // a name the content lacks keeps the picture shown
    list->SetFontborder(1);
    list->SetFonthovershadow(3);
    list->UpdateLayout();
    EXPECT_EQ(list->GetWidth(), 2 * 11 + 2 + 4 + 6);
    EXPECT_EQ(list->GetHeight(), 2 * 15 + 2 + 2 + 4);
    EXPECT_EQ(list->GetCount(), 2);
    EXPECT_EQ(list->GetItemText(1), "C");
    EXPECT_EQ(list->GetItemText(2), "");
    list->SetTopindex(5);
    EXPECT_EQ(list->GetTopindex(), 0);  // the items fit

    // A border counts as set up to the cell height, for the rows and the box, and as wide as that
    // past it.
    list->SetFontborder(5);
    list->UpdateLayout();
    EXPECT_EQ(list->GetWidth(), 2 * 18 + 2 + 4 + 6);
    EXPECT_EQ(list->GetHeight(), 2 * 22 + 2 + 2 + 4);
    list->SetFontborder(255);
    list->UpdateLayout();
    EXPECT_EQ(list->GetWidth(), 2 * 32 + 2 + 4 + 6);
    EXPECT_EQ(list->GetHeight(), 2 * 36 + 2 + 2 + 4);
}

TEST_F(ListScene, PointerHoverQueuesMapInAndMapOutAndKeysMoveWithoutWrapping) {
    TList* list = MakeList<TList>("A\r\nBB\r\nCCC\r\nDD\r\nE");
    Move(20, 14);
    EXPECT_EQ(Tick(), (Events{{"in", {"A", "0"}}}));
    Move(20, 28);  // straight to the next item: only its entry
    EXPECT_EQ(Tick(), (Events{{"in", {"BB", "1"}}}));
    Move(48, 28);  // onto the scroll strip, still inside the list
    EXPECT_EQ(Tick(), (Events{{"out", {"BB", "1"}}}));
    EXPECT_EQ(list->GetHoverIndex(), -1);

    Bases->SetFocus(list);
    list->SetHandlekey(true);
    Move(100, 80);
    Tick();
    EXPECT_EQ(Key(38), (Events{{"in", {"E", "4"}}}));  // Up from no hover: the last item
    EXPECT_EQ(list->GetTopindex(), 2);
    Key(40);  // Down on the last item: nothing
    EXPECT_EQ(list->GetHoverIndex(), 4);
    Key(33);
    EXPECT_EQ(list->GetHoverIndex(), 1);
    EXPECT_EQ(list->GetTopindex(), 1);
    Key(38);
    Key(38);  // Up on the first item: nothing
    EXPECT_EQ(list->GetHoverIndex(), 0);
    EXPECT_EQ(list->GetTopindex(), 0);
    Key(34);
    EXPECT_EQ(list->GetHoverIndex(), 3);
    EXPECT_EQ(list->GetTopindex(), 1);

    // No items: the keys find no row to move to.
    delete list;
    TList* empty = MakeList<TList>("");
    empty->SetHandlekey(true);
    Bases->SetFocus(empty);
    EXPECT_EQ(Key(40), Events{});
    EXPECT_EQ(Key(38), Events{});
    EXPECT_EQ(empty->GetHoverIndex(), -1);
}

TEST_F(ListScene, ReleaseOnTheItemSelectsButNotAfterAPressOnTheStrip) {
    TList* list = MakeList<TList>("A\r\nBB\r\nCCC\r\nDD\r\nE");
    ParamMan->SetSelStr("before");
    Move(48, 50);  // the down arrow
    Tick();
    Press();
    Tick();
    EXPECT_EQ(list->GetPressMode(), TList::pmDownArrow);
    Move(20, 28);
    Tick();
    Release();
    EXPECT_EQ(Tick(), Events{});
    EXPECT_EQ(ParamMan->SelStr(), "before");
    EXPECT_EQ(list->GetPressMode(), TList::pmNone);

    Move(20, 29);  // item 2: the list scrolled by one
    Tick();
    Press();
    Tick();
    Release();
    EXPECT_EQ(Tick(), (Events{{"sel", {"CCC", "2"}}}));
    EXPECT_EQ(ParamMan->SelStr(), "CCC");
    EXPECT_EQ(ParamMan->SelIndex(), 2);
    EXPECT_EQ(list->GetIndex(), 2);
}

TEST_F(ListScene, HeldArrowRepeatsAfter300MsThenEvery50WhileThePointerStaysOnIt) {
    TList* list = MakeList<TList>("0\r\n1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\n9");
    ASSERT_EQ(list->GetWidth(), 28);  // the strip's column: x 29..36
    Move(32, 50);
    Tick();
    Press();
    Tick();
    EXPECT_EQ(list->GetTopindex(), 1);  // at once
    std::vector<int32_t> tops;
    for (int i = 0; i < 14; ++i) {
        Tick(25);
        tops.push_back(list->GetTopindex());
    }
    EXPECT_EQ(tops, (std::vector<int32_t>{1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2, 3}));
    Move(32, 30);  // off the arrow: the countdown runs on, nothing scrolls
    for (int i = 0; i < 8; ++i) Tick(25);
    EXPECT_EQ(list->GetTopindex(), 3);
    Move(32, 50);
    Tick(25);
    Tick(25);
    EXPECT_EQ(list->GetTopindex(), 4);
    Release();
    Tick(25);
    for (int i = 0; i < 4; ++i) Tick(25);
    EXPECT_EQ(list->GetTopindex(), 4);
}

TEST_F(ListScene, ThumbDragRoundsHalvesToEvenAndNeedsRoomToMove) {
    TList* list = MakeList<TList>("A\r\nBB\r\nCCC\r\nDD\r\nE");
    // Track 11..54 with arrows of 8: the thumb's centre runs over 20 pixels for two steps.
    Move(48, 23);
    Tick();
    Press();
    Tick();
    ASSERT_EQ(list->GetPressMode(), TList::pmThumb);
    std::vector<int32_t> tops;
    for (int y : {33, 28, 38, 200, -50, 43}) {
        Move(48, y);
        Tick();
        tops.push_back(list->GetTopindex());
    }
    EXPECT_EQ(tops, (std::vector<int32_t>{1, 0, 2, 2, 0, 2}));  // 0.5 -> 0, 1.5 -> 2
    Release();
    Tick();

    // A strip whose arrows and thumb need more than the track leaves the list where it is.
    Cache->Source->Files["tall.bmp"] = {{56, 16, 100, false}};
    list->SetScrollsource("tall.bmp");
    list->UpdateLayout();
    list->SetTopindex(1);
    Move(48, 28);  // on the thumb (25..40)
    Tick();
    Press();
    Tick();
    ASSERT_EQ(list->GetPressMode(), TList::pmThumb);
    Move(48, 60);
    Tick();
    EXPECT_EQ(list->GetTopindex(), 1);
}

TEST_F(ListScene, DrawsFrameFillStripHighlightTextAndCheckMarks) {
    THighlightList* list = MakeList<THighlightList>("A\r\nBB\r\nCCC\r\nDD\r\nE");
    list->SetListValue(1, true);
    list->SetListValue(7, true);  // outside: nothing
    EXPECT_TRUE(list->GetListValue(1));
    EXPECT_FALSE(list->GetListValue(7));
    Move(20, 28);
    Tick();
    ASSERT_EQ(list->GetHoverIndex(), 1);
    EXPECT_EQ(Pixel(10, 10), ColorPixel(0x0000FF));  // frame
    EXPECT_EQ(Pixel(11, 11), ColorPixel(0x101010));  // fill
    EXPECT_EQ(Pixel(12, 26), ColorPixel(0x00FF00));  // highlight: x 12..43, y 26..39
    EXPECT_EQ(Pixel(11, 26), ColorPixel(0x101010));
    EXPECT_EQ(Pixel(44, 26), ColorPixel(0x101010));
    EXPECT_EQ(Pixel(20, 14) & 0xF0F0F0, 0xF0F0F0u);  // the white glyph block of "A" at item x 19
    EXPECT_EQ(Pixel(13, 30), PixelOf(0, 6, 0));      // the hover cell of the check mark
    EXPECT_EQ(Pixel(13, 16), ColorPixel(0x101010));  // item 0 has no mark
    // The strip at the top: up arrow, thumb, lower track repeated, down arrow.
    EXPECT_EQ(Pixel(45, 11), PixelOf(0, 0, 0));
    EXPECT_EQ(Pixel(46, 20), PixelOf(0, 49, 1));
    EXPECT_EQ(Pixel(45, 35), PixelOf(0, 32, 0));
    EXPECT_EQ(Pixel(52, 54), PixelOf(0, 23, 7));
    // Nothing but the children at Alpha 0.
    list->SetAlpha(0);
    EXPECT_EQ(Pixel(10, 10), 0u);
}

TEST_F(ListScene, ListRecordsReadAtEachGate) { ExpectRecords<TList>("list"); }

// A row count so far below zero that the items less the rows pass the largest int32: the top
// row still clamps to 0 .. that difference, and the list's record reads back the same.
TEST_F(ListScene, TopIndexClampsBeyondInt32AndItsRecordReadsBackTheSame) {
    TList* list = MakeList<TList>("A\r\nBB\r\nCCC");
    list->SetRowcount(INT32_MIN + 2);
    list->SetTopindex(5);
    EXPECT_EQ(list->GetTopindex(), 5);
    list->SetTopindex(INT32_MIN + 1);
    EXPECT_EQ(list->GetTopindex(), 0);
    list->SetTopindex(INT32_MAX);
    EXPECT_EQ(list->GetTopindex(), INT32_MAX);
    TMemoryStream out;
    list->SaveToStream(out);
    TMemoryStream in = StreamOf(Bytes(out));
    TList copy(Bases);
    copy.LoadFromStream(in, GameSaveVersion);
    EXPECT_EQ(copy.GetTopindex(), INT32_MAX);
}

}  // namespace
