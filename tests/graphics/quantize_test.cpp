#include "graphics/mediancut.h"
#include "graphics/octree.h"
#include "graphics/quantize.h"

#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <set>

using namespace colorquant;

namespace {

// A 24-bit Width x (Colours / Width) picture of Colours ($00RRGGBB), rows from the top.
TDIB ColourStrip(int Width, const std::vector<TRGBQuad>& Colours) {
    TDIB dib;
    dib.SetSize(Width, int(Colours.size()) / Width, 24);
    for (size_t i = 0; i < Colours.size(); ++i) dib.SetPixel(int(i) % Width, int(i) / Width, Colours[i]);
    return dib;
}

// The colour of every pixel of a picture through its colour table (or its own at 24 bits).
std::vector<TRGBQuad> Colours(const TDIB& Dib) {
    std::vector<TRGBQuad> out;
    for (int y = 0; y < Dib.Height(); ++y)
        for (int x = 0; x < Dib.Width(); ++x) out.push_back(Dib.ValueColor(Dib.GetPixel(x, y)));
    return out;
}

std::vector<TRGBQuad> Noise(int Count, unsigned Seed) {
    std::mt19937 random(Seed);
    std::vector<TRGBQuad> out(size_t(Count), 0);
    for (TRGBQuad& c : out) c = random() & 0xFFFFFF;
    return out;
}

// The octree as plainly as it can be put: every pixel counted along its whole path, each trim and
// each threshold estimate a walk of the tree. The quantizer must agree with it exactly.
class TReferenceOctree {
public:
    void Add(uint32_t C) {
        TNode* n = &root_;
        for (int level = 0;; ++level) {
            ++n->Count, n->R += C >> 16 & 0xFF, n->G += C >> 8 & 0xFF, n->B += C & 0xFF;
            if (n->Leaf) break;
            const int s = 7 - level, slot = int(C >> (16 + s) & 1) << 2 | int(C >> (8 + s) & 1) << 1 | int(C >> s & 1);
            auto& child = n->Children[slot];
            if (!child) {
                child = std::make_unique<TNode>();
                child->Parent = n, child->Leaf = level == 5;
                ++nodes_, ++n->ChildCount, leaves_ += child->Leaf, n->LeafChildren += child->Leaf;
            }
            n = child.get();
        }
        if (nodes_ > 100000)
            for (threshold_ = 1; nodes_ > 99000; ++threshold_) Trim();
    }
    void Reduce(int Max) {
        for (threshold_ = 1; leaves_ > Max;) {
            Trim();
            int32_t fork = 999999999;
            Walk(root_, [&](TNode& N) { fork = N.Fork() ? std::min(fork, N.Count) : fork; });
            threshold_ = fork;
            int64_t estimates[4] = {};
            Walk(root_, [&](TNode& N) {
                for (int k = 0; k < 4 && !N.Leaf; ++k) estimates[k] += threshold_ + 2 * k >= N.Count ? N.Count - 1 : 0;
            });
            const int64_t excess = nodes_ - Max;
            threshold_ += estimates[3] < excess ? 8 : estimates[2] < excess ? 4 : estimates[1] < excess ? 2 : 0;
        }
    }
    // The leaves' average colours in walk order, and the leaf of each colour.
    std::vector<TRGBQuad> Palette() {
        std::vector<TRGBQuad> out;
        Walk(root_, [&](TNode& N) {
            if (N.Leaf) N.Index = int(out.size()), out.push_back(RGBQuad(N.R / N.Count, N.G / N.Count, N.B / N.Count));
        });
        return out;
    }
    uint32_t Index(uint32_t C) const {
        const TNode* n = &root_;
        for (int s = 7; !n->Leaf; --s)
            n = n->Children[int(C >> (16 + s) & 1) << 2 | int(C >> (8 + s) & 1) << 1 | int(C >> s & 1)].get();
        return uint32_t(n->Index);
    }

private:
    struct TNode {
        bool Leaf = false;
        TNode* Parent = nullptr;
        std::unique_ptr<TNode> Children[8];
        int32_t Count = 0, Index = 0, ChildCount = 0, LeafChildren = 0;
        int64_t R = 0, G = 0, B = 0;
        bool Fork() const { return !Leaf && ChildCount == LeafChildren; }
    };
    TNode root_;
    int32_t nodes_ = 1, leaves_ = 0, threshold_ = 1;

    template <class F>
    static void Walk(TNode& N, const F& Visit) {
        for (auto& child : N.Children)
            if (child) Walk(*child, Visit);
        Visit(N);
    }
    void Trim() {
        Walk(root_, [&](TNode& N) {
            if (!N.Fork() || N.Count > threshold_) return;
            for (auto& child : N.Children)
                if (child) child.reset(), --nodes_, --leaves_, --N.ChildCount, --N.LeafChildren;
            N.Leaf = true, ++leaves_;
            if (N.Parent) ++N.Parent->LeafChildren;
        });
    }
};

using TQuantizer = std::function<std::unique_ptr<TDIB>(const TDIB&, int)>;
const std::vector<std::pair<const char*, TQuantizer>> kMedianCuts = {
    {"extent", MedianCutQuantize},
    {"variance", MedianCutQuantizeVar},
    {"extent dither", MedianCutQuantizeDither},
    {"variance dither", MedianCutQuantizeVarDither}};

}  // namespace

TEST(Quantize, RowBytes4) {
    for (auto [width, bits, bytes] : {std::tuple{1, 1, 4}, {3, 24, 12}, {5, 24, 16}, {33, 1, 8}, {0, 8, 0}})
        EXPECT_EQ(RowBytes4(width, bits), bytes) << width << " x " << bits;
}

TEST(Quantize, NearestColorIndexTakesTheFirstOfEquals) {
    const TPaletteEntry entries[] = {{10, 0, 0, 0}, {0, 0, 7, 0}, {0, 7, 0, 0}, {3, 3, 3, 0}, {3, 3, 3, 0}};
    EXPECT_EQ(NearestColorIndex(entries, 0x030303, 5), 3);  // exact, twice
    EXPECT_EQ(NearestColorIndex(entries, 0x000000, 3), 1);  // distance 7, twice; the absolute sum, not squares
    EXPECT_EQ(NearestColorIndex(entries, 0x0000FF, 0), 0);
    EXPECT_EQ(NearestPaletteIndex(TPalette{}, 0), -1);
    EXPECT_EQ(NearestPaletteIndex(CreatePaletteFromRGBQuads(std::array{RGBQuad(9, 9, 9), RGBQuad(200, 0, 0)}.data(), 2),
                                  0x0000C0),
              1);
}

TEST(Quantize, PaletteHelpersKeepChannelOrder) {
    TRGBQuadTable quads{};
    quads[0] = RGBQuad(1, 2, 3);
    const TPalette palette = CreatePaletteFromRGBQuads(quads.data(), 300);
    EXPECT_EQ(palette.Count, 256);
    EXPECT_EQ(GetPaletteEntryColor(palette, 0), 0x030201);
    EXPECT_EQ(GetPaletteEntryColor(palette, 256), -1);
    TRGBQuadTable back{};
    EXPECT_EQ(PaletteToRGBQuads(palette, back), 256);
    EXPECT_EQ(back, quads);
    for (auto [bits, count, second] : {std::tuple{1, 2, 255}, {2, 4, 85}, {4, 16, 17}, {8, 256, 1}, {24, 256, 1}}) {
        TRGBQuadTable grey{};
        EXPECT_EQ(MakeGreyRGBQuads(grey, bits), count);
        EXPECT_EQ(grey[1], RGBQuad(second, second, second));
        EXPECT_EQ(grey[count - 1], RGBQuad(255, 255, 255)) << bits;
    }
}

TEST(Quantize, FilterWindowHoldsElevenRowsWithZeroMargins) {
    const TDIB picture = ColourStrip(3, Noise(3 * 8, 1));
    const auto at = [&](int X, int Y) { return X < 0 || Y < 0 || X >= 3 || Y >= 8 ? 0 : picture.GetPixel(X, Y); };
    // Blue of (x, y + 5), green of (x - 1, y), red of (x + 2, y - 5).
    const auto out = BitmapFilter(picture, [](int32_t, int32_t, TFilterWindow W, uint8_t* Out) {
        Out[0] = W[10][15], Out[1] = W[5][13], Out[2] = W[0][23];
    });
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(out->GetPixel(x, y),
                      (at(x, y + 5) & 0xFF) | (at(x - 1, y) & 0xFF00) | (at(x + 2, y - 5) & 0xFF0000))
                << x << "," << y;
    TDIB indexed;
    indexed.SetSize(1, 1, 8);
    EXPECT_EQ(ErrorOf([&] { BitmapFilter(indexed, {}); }), "BitmapFiletr accepts only 24Bit DIB");
}

TEST(Quantize, ErrorDiffusion) {
    TQuantizeToStaticColor levels;
    // One pixel: its mapped colour.
    EXPECT_EQ(Colours(*ErrorDiffuse(ColourStrip(1, {RGBQuad(30, 30, 30)}), levels)), std::vector{RGBQuad(51, 43, 0)});
    // Palette colours pass unchanged and spread nothing.
    const std::vector<TRGBQuad> exact(6, RGBQuad(204, 171, 64));
    EXPECT_EQ(Colours(*ErrorDiffuse(ColourStrip(3, exact), levels)), exact);
    // Red 230 -> 204 pushes its right neighbour's 250 past 255; blue 32 -> 64 pulls its 10 below 0:
    // both are clamped before mapping instead of wrapping round.
    const auto pushed = ErrorDiffuse(ColourStrip(2, {RGBQuad(230, 0, 32), RGBQuad(250, 0, 10)}), levels);
    EXPECT_EQ(pushed->GetPixel(1, 0), RGBQuad(255, 0, 0));
}

TEST(Quantize, StaticPaletteDither) {
    const auto out = StaticColorQuantizeDither(ColourStrip(2, {RGBQuad(51, 85, 192), RGBQuad(255, 255, 255)}));
    ASSERT_EQ(out->BitCount(), 8);
    EXPECT_EQ(out->GetPixel(0, 0), 1u * 35 + 2 * 5 + 3);
    EXPECT_EQ(out->GetPixel(1, 0), 209u);
    EXPECT_EQ(out->ImageColorTable()[0], RGBQuad(0, 0, 0));
    EXPECT_EQ(out->ImageColorTable()[209], RGBQuad(255, 255, 255));
    EXPECT_EQ(out->ImageColorTable()[210], 0u);
}

TEST(Octree, KeepsColoursApartInTheTopSixBitsAndAveragesTheRest) {
    // Eight colours apart in their top 6 bits come back exactly.
    std::vector<TRGBQuad> eight;
    for (int i = 0; i < 8; ++i) eight.push_back(RGBQuad(uint8_t(i * 4), uint8_t(252 - i * 32), uint8_t(i & 1 ? 4 : 0)));
    EXPECT_EQ(Colours(*OctreeQuantize(ColourStrip(4, eight), 8)), eight);
    // Colours apart only in their 2 low bits share a leaf: (100 + 103) / 2 etc.
    const auto shared = OctreeQuantize(ColourStrip(2, {RGBQuad(100, 100, 100), RGBQuad(103, 102, 101)}), 2);
    EXPECT_EQ(Colours(*shared), std::vector(2, RGBQuad(101, 101, 100)));
    // Of two forks, the one of a pixel fewer is trimmed, though the other's colour has more than 255
    // pixels: 300 + 1 against 150 + 149 + 1.
    std::vector<TRGBQuad> forks(300, RGBQuad(0, 0, 0));
    forks.insert(forks.end(), 150, RGBQuad(128, 128, 128));
    forks.insert(forks.end(), 149, RGBQuad(128, 128, 132));
    forks.insert(forks.end(), {RGBQuad(0, 0, 4), RGBQuad(132, 128, 128)});
    const auto trimmed = OctreeQuantize(ColourStrip(601, forks), 4);
    EXPECT_EQ(std::vector(trimmed->ImageColorTable().begin(), trimmed->ImageColorTable().begin() + 4),
              (std::vector{RGBQuad(0, 0, 0), RGBQuad(0, 0, 4), RGBQuad(128, 128, 129), 0u}));
    // One colour, one entry.
    const auto one = OctreeQuantize(ColourStrip(2, std::vector(4, RGBQuad(7, 8, 9))), 256);
    EXPECT_EQ(one->ImageColorTable()[0], RGBQuad(7, 8, 9));
    EXPECT_EQ(one->ImageColorTable()[1], 0u);
}

TEST(Octree, AgreesWithTheWalkingReference) {
    // Noise past 100,000 nodes trims while adding; a smooth picture only while reducing.
    std::vector<TRGBQuad> smooth;
    for (int y = 0; y < 96; ++y)
        for (int x = 0; x < 128; ++x) smooth.push_back(RGBQuad(uint8_t(2 * x), uint8_t(y * 5 / 2), uint8_t(x ^ y)));
    // And noise with every other pixel one colour, whose pending pixels pass 255 between trims.
    std::vector<TRGBQuad> halfNoise = Noise(400 * 400, 6);
    for (size_t i = 0; i < halfNoise.size(); i += 2) halfNoise[i] = RGBQuad(9, 99, 199);
    // And single pixels in 1,000 nodes of level 4 (red below 128, the low four bits of each channel
    // 0), then 85,200 cells of red from 128 up, which take the tree past its bound: the trim at 1
    // pixel makes leaves of the single pixels' nodes of levels 5 and 4, whose links the nodes of
    // level 4 of 1,000 more single pixels then take over, each going down the slot its node had used.
    std::vector<TRGBQuad> reused;
    const auto single = [&](int I) {
        reused.push_back(RGBQuad(uint8_t((I & 7) << 4), uint8_t((I >> 3 & 15) << 4), uint8_t((I >> 7) << 4)));
    };
    for (int i = 0; i < 1000; ++i) single(i);
    for (int cell = 0; cell < 85200; ++cell)
        reused.push_back(RGBQuad(uint8_t(128 + (cell >> 12 << 2)), uint8_t((cell >> 6 & 63) << 2), uint8_t((cell & 63) << 2)));
    for (int i = 1000; i < 2000; ++i) single(i);
    // And noise in rows whose width leaves pixels over from groups of four.
    for (const auto& [width, pixels] : {std::pair{300, Noise(300 * 300, 5)}, std::pair{128, smooth},
                                        std::pair{400, halfNoise}, std::pair{400, reused},
                                        std::pair{123, Noise(123 * 77, 7)}})
        for (int max : {256, 37, 2}) {
            TReferenceOctree reference;
            for (TRGBQuad c : pixels) reference.Add(c);
            reference.Reduce(max);
            const std::vector<TRGBQuad> palette = reference.Palette();
            const auto out = OctreeQuantize(ColourStrip(width, pixels), max);
            ASSERT_LE(palette.size(), size_t(max));
            EXPECT_TRUE(std::equal(palette.begin(), palette.end(), out->ImageColorTable().begin())) << max;
            for (size_t i = 0; i < pixels.size(); ++i)
                ASSERT_EQ(out->GetPixel(int(i) % width, int(i) / width), reference.Index(pixels[i])) << max << " " << i;
        }
}

TEST(Octree, AddsARowAsItAddsItsColours) {
    // Noise in threes, twin pixels and a single one: when a twin takes the tree past its bound, the
    // trim counts one pixel of its colour, not two.
    const std::vector<TRGBQuad> noise = Noise(400 * 400, 1);
    std::vector<TRGBQuad> pixels;
    for (size_t i = 0; i + 1 < noise.size(); i += 2) pixels.insert(pixels.end(), {noise[i], noise[i], noise[i + 1]});
    pixels.resize(pixels.size() / 400 * 400);
    const TDIB picture = ColourStrip(400, pixels);
    TOctree rows, colours;
    for (int y = 0; y < picture.Height(); ++y) {
        rows.AddPixels(picture.ScanLineReadOnly(y), 400);
        for (int x = 0; x < 400; ++x) colours.AddColor(pixels[size_t(y) * 400 + size_t(x)]);
        ASSERT_EQ(rows.NodeCount(), colours.NodeCount()) << y;
        ASSERT_EQ(rows.LeafCount(), colours.LeafCount()) << y;
    }
}

TEST(Octree, StaysWithinItsNodeBound) {
    TOctree tree;
    for (TRGBQuad c : Noise(400 * 400, 2)) {
        tree.AddColor(c);
        ASSERT_LE(tree.NodeCount(), 100000);
    }
}

TEST(MedianCut, BitsZeroGivesTheMeanColour) {
    // Channel values on cell boundaries: the mean is exact.
    std::vector<TRGBQuad> pixels(3, RGBQuad(0, 0, 0));
    pixels.push_back(RGBQuad(200, 100, 40));
    for (const auto& [name, quantize] : kMedianCuts) {
        const auto out = quantize(ColourStrip(2, pixels), 0);
        EXPECT_EQ(Colours(*out), std::vector(4, RGBQuad(50, 25, 10))) << name;
        EXPECT_EQ(out->ImageColorTable()[1], 0u) << name;
    }
}

TEST(MedianCut, SharedCellsShareAnIndex) {
    // 100 and 103 share a cell in every channel; 107 does not share with them in blue.
    const TDIB picture = ColourStrip(4, {RGBQuad(100, 100, 100), RGBQuad(103, 103, 103), RGBQuad(0, 0, 0),
                                     RGBQuad(100, 100, 107)});
    for (const auto& [name, quantize] : kMedianCuts)
        for (int bits : {1, 2, 8}) {
            if (std::string(name).ends_with("dither")) continue;  // diffused colours leave their cells
            const auto out = quantize(picture, bits);
            EXPECT_EQ(out->GetPixel(0, 0), out->GetPixel(1, 0)) << name << " " << bits;
        }
}

TEST(MedianCut, PaletteStaysWithinBitsAndCoversEveryCellWhenDithering) {
    TMedianCut compact, full;
    for (TRGBQuad c : Noise(128 * 128, 4)) {
        compact.AddColor(c);
        full.AddColor(c);
    }
    compact.Build(8, true);
    full.BuildVar(8, false);
    EXPECT_LE(compact.GetPalette().Count, 256);
    EXPECT_GT(compact.GetPalette().Count, 128);
    // Every cell, with or without pixels, maps to an entry of the palette.
    std::set<int> indexes;
    for (uint32_t key = 0; key < TMedianCut::kCellCount; ++key)
        indexes.insert(full.ColorIndex((key >> 11) << 18 | (key >> 5 & 63) << 10 | (key & 31) << 3));
    EXPECT_EQ(int(indexes.size()), full.GetPalette().Count);
}

TEST(Quantizers, RefuseWhatTheyDoNotTake) {
    const TDIB picture = ColourStrip(1, {0});
    TDIB indexed;
    indexed.SetSize(1, 1, 8);
    const std::vector<std::pair<std::function<void()>, const char*>> cases = {
        {[&] { OctreeQuantize(picture, 1); }, "Octree"},
        {[&] { OctreeQuantize(picture, 257); }, "Octree"},
        {[&] { OctreeQuantize(indexed, 16); }, "Octree"},
        {[&] { TOctree().Reduce(257); }, "Octree"},  // more leaves than palette indexes
        {[&] { MedianCutQuantize(picture, 9); }, "MedianCut"},
        {[&] { MedianCutQuantizeVarDither(picture, 9); }, "MedianCut"},
        {[&] { MedianCutQuantizeVar(picture, -1); }, "MedianCut"},
        {[&] { MedianCutQuantizeDither(indexed, 4); }, "MedianCut"}};
    for (const auto& [action, unit] : cases) {
        try {
            action();
            ADD_FAILURE() << unit << ": no assertion";
        } catch (const EAssertionFailed& e) {
            EXPECT_NE(std::string(e.what()).find(std::string("(") + unit + ")"), std::string::npos) << e.what();
        }
    }
}
