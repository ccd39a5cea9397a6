// ExtractFile under a small disk budget: extractions within it go on, a file written again counts
// once, each file and folder in whole blocks, and the write past it ends the player naming the
// page and line, leaving no part of the file it refused and the old file as it was.
#include "core/diskbudget.h"
#include "platform/fs.h"
#include "script/titlewrites.h"
#include "tests/script/page_fixture.h"

#include <filesystem>

using namespace pagetest;

namespace {

class DiskBudget : public PageTest {
protected:
    void SetUp() override {
        PageTest::SetUp();
        state.SetRunner(&runner);
        VrFileManager->SetBaseFolder(platform::fs::ToProgramPath(hostBase));
        SetDiskLimit(int64_t(3) << 20);
    }
    void TearDown() override {
        SetDiskLimit(kDefaultDiskLimit);
        PageTest::TearDown();
    }

    TCallMan runner;
    std::string hostBase = FreshHostFolder();
};

// 200 extractions of an entry of 4.9 KiB, each into a folder of its own, stay within 3 MiB (12 KiB
// on the disk each), as 200 of 4.9 MB do within the player's default 1024 MiB.
TEST_F(DiskBudget, ExtractionsGoOnWithinTheLimitAndTheOnePastItEndsThePlayer) {
    const std::string entry(5017, 'e');
    AddFile("e.dat", entry);
    AddFile("big.dat", std::string((3 << 20) + 1, 'b'));
    TPageWriter page;
    for (int i = 0; i < 200; ++i) page.Calc("ExtractFile(\"e.dat\", FALSE, \"o" + std::to_string(i) + "\")");
    page.Calc("ExtractFile(\"e.dat\", FALSE, \"o0\")").Calc("ExtractFile(\"big.dat\", FALSE, \"keep\")").Note("after");
    AddPage("p.vsb", page);
    std::filesystem::create_directories(hostBase + "keep");
    WriteHostFile(hostBase + "keep/big.dat", "old");
    TitleWrote(*TitlePlace(TitleFolder(), "keep\\big.dat"));

    runner.Start("p.vsb");
    for (int tick = 0; tick < 100 && !Terminating(); ++tick) runner.Run();
    EXPECT_EQ(host->Warnings, std::vector<std::string>{"p.vsb(202):" + std::string(DiskBudgetMessage)});
    EXPECT_EQ(std::count(Log.begin(), Log.end(), "exec:after"), 0);
    EXPECT_EQ(FileText(hostBase + "o199/e.dat"), entry);
    // Each file and its folder, and the title's list of the files it wrote (some 100 bytes each).
    EXPECT_GT(DiskCharged(), 200 * 3 * kDiskBlock);
    EXPECT_LE(DiskCharged(), (200 * 3 + 8) * kDiskBlock);
    EXPECT_EQ(FileText(hostBase + "keep/big.dat"), "old");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(hostBase + "keep"), {}), 1);
}

}  // namespace
