// The pictures the build draws and changes with the picture tool, read from the sample title's
// archive: each has the depth and the palette its name promises and the size of its original.
#include "core/streams.h"
#include "core/sysutils.h"
#include "core/vrfiles.h"
#include "graphics/dibsfc.h"
#include "platform/fs.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>

namespace {

// "noise_grey.bmp" -> {"noise", "grey"}; an original has no variant.
std::pair<std::string, std::string> NameParts(const std::string& Name) {
    const std::string stem = Name.substr(0, Name.size() - 4);
    const size_t cut = stem.find('_');
    return cut == std::string::npos ? std::pair{stem, std::string()} : std::pair{stem.substr(0, cut), stem.substr(cut + 1)};
}

TEST(SamplePictures, EachHasTheDepthAndPaletteOfItsKind) {
    TVrFileCollection archive;
    archive.Open(platform::fs::ToProgramPath(VELA_SAMPLE_FOLDER "/game.dat"));
    std::map<std::string, std::unique_ptr<TDIBSurface>> pictures;
    for (int i = 0; i < archive.Count() - 1; ++i) {
        const std::string name = archive.GetFile(i).Name();
        if (AnsiLowerCase(ExtractFileExt(name)) != ".bmp") continue;
        TMemoryStream data;
        archive.ReadFile(data, name);
        pictures[name] = std::make_unique<TDIBSurface>();
        pictures[name]->LoadFromStream(data);
    }
    std::map<std::string, int> kinds;
    for (const auto& [name, picture] : pictures) {
        const auto [original, variant] = NameParts(name);
        int bits = 0, method = 0;
        const bool reduced = std::sscanf(variant.c_str(), "%dbit_m%d", &bits, &method) == 2;
        ++kinds[reduced ? "reduced" : variant.empty() ? "original" : variant];
        SCOPED_TRACE(name);
        ASSERT_TRUE(pictures.contains(original + ".bmp"));
        const TDIBSurface& source = *pictures[original + ".bmp"];
        EXPECT_EQ(picture->Width(), source.Width());
        EXPECT_EQ(picture->Height(), source.Height());
        if (variant.empty() || variant == "negative") {
            EXPECT_EQ(picture->BitCount(), 24);
            EXPECT_EQ(picture->PaletteCount(), 0);
        } else if (variant == "grey") {
            EXPECT_EQ(picture->BitCount(), 8);
            EXPECT_EQ(picture->ImageColorTable(), MakeGreyColorTable());
        } else if (reduced) {
            EXPECT_EQ(picture->BitCount(), bits);
            EXPECT_LE(picture->UsedColors().size(), size_t(1) << bits);
        } else {
            ADD_FAILURE() << "a picture of no known kind";
        }
    }
    EXPECT_EQ(kinds, (std::map<std::string, int>{{"original", 3}, {"grey", 3}, {"negative", 3}, {"reduced", 16}}));
}

}  // namespace
