// What WriteFileReplacing charges to the title's disk budget: the size of a title's file, however
// its writer went over it, and nothing for the player's own files.
#include "core/diskbudget.h"

#include "platform/fs.h"
#include "tests/common/fixture.h"

namespace {

TEST(DiskBudget, ATitlesFileCountsWithItsSizeAndThePlayersOwnNot) {
    SetDiskLimit(1000);
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
    EXPECT_EQ(DiskCharged(), 600);
    EXPECT_FALSE(DiskRefused());
    SetDiskLimit(kDefaultDiskLimit);
}

}  // namespace
