// The text field's editing model with every character 10 pixels wide (a double-byte one 20):
// the wrap into visual lines, the caret keeping its x across short lines, and the length limit.
#include "text/editfield.h"

#include <gtest/gtest.h>

namespace {

int32_t Advance(uint16_t Code) { return Code > 0xFF ? 20 : 10; }

TEST(EditField, MemoLinesWrapAndTheCaretKeepsItsColumn) {
    TEditField field;
    field.MultiLine = true;
    field.SetText("ab cd\r\n\r\nあいうえ");
    field.Layout(45, Advance);  // four narrow characters fit, two wide ones
    const std::vector<std::pair<size_t, size_t>> expected{{0, 3}, {3, 5}, {7, 7}, {9, 13}, {13, 17}};
    ASSERT_EQ(field.Lines().size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(field.Lines()[i].Start, expected[i].first) << i;
        EXPECT_EQ(field.Lines()[i].End, expected[i].second) << i;
    }
    bool changed = false;
    field.MoveCaret(5, false);                      // after "cd": x 20
    field.KeyDown(0x26, 0, nullptr, changed);       // up: between "ab " and "cd" lies the wrap
    EXPECT_EQ(field.CaretPos(), 2u);
    field.KeyDown(0x28, 0, nullptr, changed);       // down twice: over the empty line
    field.KeyDown(0x28, 0, nullptr, changed);
    EXPECT_EQ(field.CaretPos(), 7u);
    field.KeyDown(0x28, 0, nullptr, changed);       // the column of 20 comes back: after "あ"
    EXPECT_EQ(field.CaretPos(), 11u);
    field.KeyDown(0x23, TEditField::ShiftKey, nullptr, changed);  // End of the visual line
    EXPECT_EQ(field.SelText(), "い");
    // Enter starts a line; the wrap of the edited paragraph follows at the next layout.
    EXPECT_TRUE(field.Type("\r"));
    field.Layout(45, Advance);
    EXPECT_EQ(field.Text(), "ab cd\r\n\r\nあ\r\nうえ");
    EXPECT_EQ(field.Lines().size(), 5u);
    EXPECT_EQ(field.Lines()[3].End, 11u);
}

TEST(EditField, TheLimitAndReadOnlyKeepTheText) {
    TEditField field;
    field.MaxLength = 6;
    EXPECT_TRUE(field.SetText("abcdefg"));
    EXPECT_EQ(field.Text(), "abcdef");
    field.SetSelection(4, 2);
    EXPECT_TRUE(field.Type("表示"));  // room for one double-byte character, whole
    EXPECT_EQ(field.Text(), "abcd表");
    field.ReadOnly = true;
    bool changed = true;
    EXPECT_TRUE(field.KeyDown(0x08, 0, nullptr, changed));
    EXPECT_FALSE(changed);
    EXPECT_EQ(field.Text(), "abcd表");
    field.KeyDown(0x25, 0, nullptr, changed);  // the caret still moves, over the trail byte 0x5C
    EXPECT_EQ(field.CaretPos(), 4u);
}

}  // namespace
