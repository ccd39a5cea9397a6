// The pixel fonts of a title's content handed over through work files: which files are taken,
// which work files stay until the end and which go at once.
#include "app/view_fonts.h"

#include "app/entry.h"
#include "core/stringlist.h"
#include "core/vrfiles_manager.h"
#include "platform/fs.h"
#include "tests/common/fixture.h"
#include "text/packfonts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace {

using Names = std::vector<std::string>;

class FontHandOver : public testing::Test {
protected:
    void SetUp() override {
        InitializeShell();
        VrFileManager->SetCdRoots({});
        VrFileManager->OnChange = ExtractPixelFonts;
        source = FreshHostFolder();
    }
    void TearDown() override { FinalizeShell(); }

    // A dot font (make_vft.py) at Name below the source folder.
    void Font(const std::string& Name, const std::string& Face, int Size) {
        std::filesystem::create_directories(std::filesystem::path(source + Name).parent_path());
        PythonOutput("make_vft.py", {"font", source + Name, "--face", Face, "--size", std::to_string(Size)});
    }
    void Write(const std::string& Name, const std::string& Bytes) {
        std::ofstream(source + Name, std::ios::binary) << Bytes;
    }
    // The source folder packed into an archive; its program path.
    std::string Pack() {
        const std::string archive = FreshHostFolder() + "game.dat";
        PythonOutput("vfarchive.py", {"pack", archive, source});
        return platform::fs::ToProgramPath(archive);
    }
    static Names LoadedKeys() {
        Names keys;
        for (int i = 0; i < PixelFontManager->Count(); ++i) keys.push_back(PixelFontManager->GetSection(i)->Name());
        return keys;
    }
    static Names ListedFiles() {
        Names files;
        for (const platform::fs::Beneath& file : ExitDeleteList->Files())
            files.push_back(file.Root->ProgramPath() + file.Parts.back());
        return files;
    }
    // The files of the private temporary folder, as program paths in name order.
    static Names TempFiles() {
        const std::string folder = platform::fs::TempFolder();
        Names files;
        for (const auto& entry : std::filesystem::directory_iterator(*platform::fs::ToHostPath(folder)))
            if (entry.is_regular_file()) files.push_back(folder + entry.path().filename().string());
        std::sort(files.begin(), files.end());
        return files;
    }

    std::string source;
};

// Two files of one face, size and style: the second is refused and its work file goes at once.
// Only the top level of an archive is searched, and the extension is compared without regard to
// case. The kept work files hold the fonts until the end of the program, then go.
TEST_F(FontHandOver, AnArchivesFontsAreKeptUntilTheEnd) {
    Font("a.vft", "DotA", 10);
    Font("b.VFT", "DotA", 10);
    Font("c.vft", "DotB", 12);
    Font("sub/d.vft", "DotC", 10);
    Write("a.vft.txt", "not a font");
    VrFileManager->Add(Pack());

    EXPECT_EQ(LoadedKeys(), (Names{"DotA_10_0_0", "DotB_12_0_0"}));
    const Names kept = ListedFiles();
    EXPECT_EQ(TempFiles(), kept);
    ASSERT_EQ(kept.size(), 2u);
    for (const std::string& file : kept) {
        const std::string name = file.substr(platform::fs::TempFolder().size());
        EXPECT_TRUE(name.starts_with("font") && name.ends_with(".tmp") && name.size() == 12) << name;
    }
    EXPECT_EQ(PixelFontManager->GetSection(0)->FileName, kept[0]);

    FinalizeShell();
    for (const std::string& file : kept) EXPECT_FALSE(platform::fs::FileExists(file)) << file;
}

// The base folder has no archive: its fonts are sought in every folder below it.
TEST_F(FontHandOver, ABaseFolderIsSearchedThrough) {
    Font("a.vft", "DotA", 10);
    Font("sub/deeper/d.vft", "DotC", 10);
    VrFileManager->SetBaseFolder(platform::fs::ToProgramPath(source));
    EXPECT_EQ(LoadedKeys(), (Names{"DotA_10_0_0", "DotC_10_0_0"}));
    EXPECT_EQ(TempFiles(), ListedFiles());
    // A title without fonts hands nothing over.
    VrFileManager->SetBaseFolder("");
    source = FreshHostFolder();
    Write("x.txt", "text");
    VrFileManager->Add(Pack());
    EXPECT_EQ(ListedFiles().size(), 2u);
}

// A broken font raises with the title's name of the file and leaves its work file behind
// neither on disk nor in the list; the archive stays attached.
TEST_F(FontHandOver, ABrokenFontLeavesNoWorkFile) {
    Write("bad.vft", "VelaPixelFont");
    const std::string archive = Pack();
    const std::string error = ErrorOf([&] { VrFileManager->Add(archive); });
    EXPECT_EQ(error, "フォントファイルが破壊されています\r\nbad.vft");
    EXPECT_EQ(VrFileManager->Count(), 1);
    EXPECT_EQ(TempFiles(), Names{});
    EXPECT_EQ(ListedFiles(), Names{});
}

}  // namespace
