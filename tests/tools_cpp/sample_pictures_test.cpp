// The pictures the build makes with the picture tool, read from the sample title's archive
// through the frame list under the project's identification code: each variant has the depth and
// the palette its name promises and the size of its original; the layered, shuffled and JPEG
// pictures hold what their names promise (the animated figure's frames are compared with its
// drawings in vimage_test.cpp).
#include "core/streams.h"
#include "core/sysutils.h"
#include "core/vrfiles.h"
#include "graphics/miras.h"
#include "platform/fs.h"
#include "script/project.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>

namespace {

// "noise_grey.mra" -> {"noise", "grey"}; an original has no variant.
std::pair<std::string, std::string> NameParts(const std::string& Name) {
    const std::string stem = Name.substr(0, Name.size() - 4);
    const size_t cut = stem.find('_');
    return cut == std::string::npos ? std::pair{stem, std::string()} : std::pair{stem.substr(0, cut), stem.substr(cut + 1)};
}

class SamplePictures : public testing::Test {
protected:
    void SetUp() override {
        archive_.Open(platform::fs::ToProgramPath(VELA_SAMPLE_FOLDER "/game.dat"));
        TMemoryStream project;
        archive_.ReadFile(project, "vela.vpb");
        project.SetPosition(0);
        TProjectSetting settings;
        settings.LoadFromStream(project);
        code_ = uint32_t(settings.FrameListParam);
    }

    // Every frame of the picture Name with its layers, read under Code.
    std::unique_ptr<TMiraFrameList> Read(const std::string& Name, uint32_t Code) {
        TMemoryStream data;
        archive_.ReadFile(data, Name);
        data.SetPosition(0);
        auto list = std::make_unique<TMiraFrameList>(Code);
        list->LoadFromStream(data, false, true, false);
        return list;
    }

    TVrFileCollection archive_;
    uint32_t code_ = 0;
};

TEST_F(SamplePictures, EachVariantHasTheDepthAndPaletteOfItsKind) {
    std::map<std::string, std::unique_ptr<TMiraFrameList>> pictures;
    for (int i = 0; i < archive_.Count() - 1; ++i) {
        const std::string name = archive_.GetFile(i).Name();
        if (AnsiLowerCase(ExtractFileExt(name)) == ".mra") pictures[name] = Read(name, code_);
    }
    std::map<std::string, int> kinds;
    for (const auto& [name, list] : pictures) {
        const auto [original, variant] = NameParts(name);
        int bits = 0, method = 0;
        const bool reduced = std::sscanf(variant.c_str(), "%dbit_m%d", &bits, &method) == 2;
        ++kinds[reduced ? "reduced" : variant.empty() ? "original" : variant];
        SCOPED_TRACE(name);
        ASSERT_TRUE(pictures.contains(original + ".mra"));
        ASSERT_GE(list->Count(), 1);
        const TDIBSurface& picture = list->GetFrame(0)->Image;
        const TDIBSurface& source = pictures[original + ".mra"]->GetFrame(0)->Image;
        EXPECT_EQ(picture.Width(), source.Width());
        EXPECT_EQ(picture.Height(), source.Height());
        if (variant.empty() || variant == "negative" || variant == "shuffled" || variant == "jpeg") {
            EXPECT_EQ(picture.BitCount(), 24);
            EXPECT_EQ(picture.PaletteCount(), 0);
        } else if (variant == "grey") {
            EXPECT_EQ(picture.BitCount(), 8);
            EXPECT_EQ(picture.ImageColorTable(), MakeGreyColorTable());
        } else if (reduced) {
            EXPECT_EQ(picture.BitCount(), bits);
            EXPECT_LE(picture.UsedColors().size(), size_t(1) << bits);
        } else {
            ADD_FAILURE() << "a picture of no known kind";
        }
    }
    EXPECT_EQ(kinds, (std::map<std::string, int>{{"original", 19}, {"grey", 3}, {"negative", 3}, {"reduced", 16},
                                                 {"shuffled", 1}, {"jpeg", 1}}));
}

// The layered picture: the halo's alpha plane draws it over the gradient, which shows where the
// halo is transparent; the frame itself stays opaque.
TEST_F(SamplePictures, TheLayeredPictureDrawsItsAlphaLayerOverTheFirst) {
    const auto list = Read("layered.mra", code_);
    ASSERT_EQ(list->Count(), 1);
    const TMiraFrame& frame = *list->GetFrame(0);
    ASSERT_EQ(frame.Count(), 2);
    const TDIBSurface &back = frame.GetLayer(0)->Image, &halo = frame.GetLayer(1)->Image;
    ASSERT_TRUE(halo.Alpha && frame.GetLayer(1)->AlphaOn);
    EXPECT_FALSE(back.Alpha || frame.HasAlpha());
    int clear = 0, opaque = 0, between = 0;
    for (int32_t y = 0; y < back.Height(); ++y)
        for (int32_t x = 0; x < back.Width(); ++x) {
            const uint32_t alpha = halo.Alpha->GetPixel(x, y), pixel = frame.Image.GetPixel(x, y);
            clear += alpha == 0, opaque += alpha == 255, between += alpha > 0 && alpha < 255;
            if (alpha == 0 || alpha == 255) {
                EXPECT_EQ(pixel, (alpha ? halo : back).GetPixel(x, y)) << x << "," << y;
            }
        }
    EXPECT_GT(clear, 0);
    EXPECT_GT(opaque, 0);
    EXPECT_GT(between, 0);
}

// The shuffled copy of shapes: under the project's code it is shapes; under code 0 its rows are
// out of place. The JPEG copy of noise is near noise, not equal.
TEST_F(SamplePictures, TheShuffledAndJpegCopiesReadAsTheirOriginals) {
    ASSERT_NE(code_, 0u);
    const auto shapes = Read("shapes.mra", code_), shuffled = Read("shapes_shuffled.mra", code_),
               scrambled = Read("shapes_shuffled.mra", 0);
    EXPECT_EQ(MeanColourDifference(shuffled->GetFrame(0)->Image, shapes->GetFrame(0)->Image), 0.0);
    EXPECT_GT(MeanColourDifference(scrambled->GetFrame(0)->Image, shapes->GetFrame(0)->Image), 10.0);
    const auto noise = Read("noise.mra", code_), jpegNoise = Read("noise_jpeg.mra", code_);
    const double jpeg = MeanColourDifference(jpegNoise->GetFrame(0)->Image, noise->GetFrame(0)->Image);
    EXPECT_GT(jpeg, 0.0);
    EXPECT_LT(jpeg, 12.0);
}

}  // namespace
