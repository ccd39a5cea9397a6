// A title's names read once into components: what the write gate judges and what is opened.
#include "core/titlename.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

struct Read {
    std::string drive;
    bool rooted;
    std::vector<std::string> parts;
};

std::optional<Read> ReadOf(const std::string& Name) {
    const std::optional<TTitleName> read = ReadTitleName(Name);
    if (!read) return std::nullopt;
    return Read{read->Drive, read->Rooted, read->Parts};
}

TEST(TitleName, BothSeparatorsSplitAndADriveComesOnlyFirst) {
    struct Row {
        std::string name;
        std::string drive;
        bool rooted;
        std::vector<std::string> parts;
    };
    const Row rows[] = {
        {"a\\b/c.mra", "", false, {"a", "b", "c.mra"}},
        {"sub//x\\\\y\\", "", false, {"sub", "x", "y"}},
        {"/etc/passwd", "", true, {"etc", "passwd"}},
        {"C:\\x", "C:", true, {"x"}},
        {"c:x", "c:", false, {"x"}},
        // 表 and ソ end in the byte 0x5C: no separator inside a character.
        {"表\\ソ.txt", "", false, {"表", "ソ.txt"}},
        {"", "", false, {}},
        {"a b.c", "", false, {"a b.c"}},
    };
    for (const Row& row : rows) {
        const std::optional<Read> read = ReadOf(row.name);
        ASSERT_TRUE(read) << row.name;
        EXPECT_EQ(read->drive, row.drive) << row.name;
        EXPECT_EQ(read->rooted, row.rooted) << row.name;
        EXPECT_EQ(read->parts, row.parts) << row.name;
    }
    EXPECT_TRUE(IsPlainRelativePath("a/b\\c"));
    EXPECT_FALSE(IsPlainRelativePath("\\a"));
    EXPECT_FALSE(IsPlainRelativePath("C:a"));
    EXPECT_FALSE(IsPlainRelativePath("a:shot.mra"));
}

TEST(TitleName, ColonsControlsDotNamesAndLongNamesAreRefused) {
    const std::string refused[] = {
        "x\\a:libvela.so", "sub/a:shot.mra", "x/C:\\y", "..", "a\\..\\..\\b", "sub/./x", ".ssh\\id_rsa", "a/.config",
        std::string("a\nb"), std::string("a\x1b]52;c;x"), std::string("a\x7f"), std::string("a\0b", 3),
        std::string(261, 'a'),
        // A lead byte takes no control character for its trail.
        std::string("\x81\n"),
    };
    for (const std::string& name : refused) EXPECT_FALSE(ReadTitleName(name)) << name;
    EXPECT_TRUE(ReadTitleName(std::string(260, 'a')));
}

}  // namespace
