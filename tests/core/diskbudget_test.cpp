// What WriteFileReplacing charges to the title's disk budget: the blocks of a title's file, however
// its writer went over it, and nothing for the player's own files; and the folders a title makes,
// each a block, with the count of files and folders bounded.
#include "core/diskbudget.h"

#include "core/sysutils.h"
#include "platform/fs.h"
#include "tests/common/fixture.h"

namespace {

TEST(DiskBudget, ATitlesFileCountsWithItsSizeAndThePlayersOwnNot) {
    SetDiskLimit(2 * kDiskBlock);
    const std::string folder = platform::fs::ToProgramPath(FreshHostFolder());
    const auto writeBack = [](TStream& File) {
        File.WriteBuffer(std::string(600, 'c').data(), 600);
        File.SetPosition(0);
        File.WriteBuffer(std::string(600, 'C').data(), 600);
    };
    {
        const TTitleFiles titleFiles;
        WriteFileReplacing(folder + "title", writeBack);
    }
    WriteFileReplacing(folder + "settings", writeBack);
    WriteFileReplacing(folder + "settings", writeBack);
    EXPECT_EQ(DiskCharged(), kDiskBlock);
    EXPECT_FALSE(DiskRefused());
    SetDiskLimit(kDefaultDiskLimit);
}

TEST(DiskBudget, FoldersAndEmptyFilesTakeABlockAndTheirCountIsBounded) {
    SetDiskLimit(3 * kDiskBlock);
    const std::string folder = platform::fs::ToProgramPath(FreshHostFolder());
    const platform::fs::Beneath root{platform::fs::HeldFolder::Open(folder), {}};
    const auto nothing = [](TStream&) {};
    const TTitleFiles titleFiles;
    // Two folders made, one that stands: two blocks; an empty file the third.
    EXPECT_TRUE(ForceTitleFolders(root.Below("a").Below("b")));
    EXPECT_TRUE(ForceTitleFolders(root.Below("A")));
    WriteFileReplacing(folder + "a\\b\\empty", nothing);
    EXPECT_EQ(DiskCharged(), 3 * kDiskBlock);
    EXPECT_THROW(ForceTitleFolders(root.Below("c").Below("d")), EDiskBudget);
    EXPECT_FALSE(platform::fs::DirectoryExists(folder + "c"));
    EXPECT_THROW(WriteFileReplacing(folder + "one", [](TStream& File) { File.WriteBuffer("1", 1); }), EDiskBudget);
    EXPECT_FALSE(platform::fs::FileExists(folder + "one"));

    // However much room is left, a run makes at most kMaxTitleEntries files and folders.
    SetDiskLimit(kDefaultDiskLimit);
    int made = 0;
    EXPECT_THROW(
        for (; made <= kMaxTitleEntries; ++made) ForceTitleFolders(root.Below("n" + IntToStr(made))), EDiskBudget);
    EXPECT_EQ(made, kMaxTitleEntries);
    EXPECT_THROW(WriteFileReplacing(folder + "past", nothing), EDiskBudget);
    SetDiskLimit(kDefaultDiskLimit);
}

}  // namespace
