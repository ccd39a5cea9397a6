#include "objects/vitemex_read.h"

#include "tests/common/fixture.h"

#include <gtest/gtest.h>

namespace {

std::string Saved(const TVelaReadList& List) {
    TMemoryStream stream;
    List.SaveToStream(stream);
    return Bytes(stream);
}

void Mark(TVelaReadList& List, const std::string& Page, int32_t Command, int32_t PageIndex) {
    List.SetPending("MES", Page, PageIndex, Command);
    List.CommitPending("MES");
}

TEST(ReadMarks, PendingMarkIsCommittedOnlyByItsWindowAndOnce) {
    TVelaReadList list;
    EXPECT_FALSE(list.IsRead("story.vsb", 3, 0));

    list.SetPending("MES", "story.vsb", 0, 3);
    list.CommitPending("mes");  // window names compare case-sensitively
    EXPECT_FALSE(list.IsRead("story.vsb", 3, 0));
    list.CommitPending("MES");
    EXPECT_TRUE(list.IsRead("STORY.VSB", 3, 0));  // page files do not
    EXPECT_FALSE(list.IsRead("story.vsb", 0, 3));
    EXPECT_TRUE(list.PendingPage.empty());

    // The same page again: one entry, and the pending mark stays.
    list.SetPending("MES", "Story.vsb", 0, 3);
    list.CommitPending("MES");
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Items(0).GetCommandIndexes().size(), 1u);
    EXPECT_EQ(list.PendingPage, "Story.vsb");

    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_TRUE(list.PendingPage.empty());
    list.CommitPending("MES");
    EXPECT_EQ(list.Count(), 0);
}

TEST(ReadMarks, StreamMatchesTheReferenceAndReadsBack) {
    TVelaReadList list;
    Mark(list, "story.vsb", 3, 0);
    Mark(list, "story.vsb", 3, 1);
    Mark(list, "story.vsb", 7, 0);
    list.AddNamed("空.vsb");  // an item without entries
    list.SetPending("MES", "story.vsb", 1, 7);
    const std::string stored = Saved(list);
    EXPECT_EQ(ToHex(stored), ToHex(FromHex(Lines(PythonOutput("read_marks_ref.py", {"sample"}))[0])));

    TVelaReadList back;
    TMemoryStream s = StreamOf(stored);
    back.LoadFromStream(s, 100);
    EXPECT_EQ(Saved(back), stored);
    EXPECT_TRUE(back.IsRead("story.vsb", 3, 1));
    ASSERT_NE(back.Find("空.vsb"), nullptr);
    EXPECT_TRUE(back.Find("空.vsb")->GetCommandIndexes().empty());
    EXPECT_EQ(back.PendingWindow, "MES");
}

TEST(ReadMarks, OldOrDamagedStatusData) {
    TVelaReadList list;
    Mark(list, "a.vsb", 1, 1);
    TMemoryStream nothing;
    list.LoadFromStream(nothing, 99);  // reads nothing and leaves the list empty
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(nothing.Position(), 0);

    Mark(list, "a.vsb", 1, 1);
    const std::string before = Saved(list);
    TVelaReadList sample;
    Mark(sample, "b.vsb", 2, 2);
    const std::string whole = Saved(sample);
    const std::string damaged[] = {
        whole.substr(0, whole.size() - 1),                 // cut in the pending mark
        FromHex("01000000 01000000 61 00000010"),          // entries beyond the bytes left
        FromHex("01000000 ffffff7f 61 00000000"),          // a name beyond the bytes left
        FromHex("02000000 01000000 61 00000000"),          // items beyond the bytes left
    };
    for (const std::string& data : damaged) {
        TMemoryStream s = StreamOf(data);
        EXPECT_THROW(list.LoadFromStream(s, 100), EReadError) << ToHex(data);
        EXPECT_EQ(Saved(list), before);
    }
}

}  // namespace
