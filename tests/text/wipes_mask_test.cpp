// The mask transitions: every mask rule byte for byte against an independent Python model at
// chosen levels, the mask images read through the file manager, and the composition on pixel
// values at each depth.
#include "text/wipes_mask.h"

#include "core/header_vocab.h"
#include "core/rands.h"
#include "core/vrfiles_manager.h"
#include "graphics/dibx.h"
#include "platform/fs.h"
#include "script/services.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

struct TSurfaces {
    TDIBX Dest, Old, New;
    TSurfaces(int W, int H, int Bits = 32) {
        for (TDIBX* d : {&Dest, &Old, &New}) d->SetSize(W, H, Bits);
        Old.Fill(Old.ColorToPixel(0x102030));
        New.Fill(New.ColorToPixel(0xF0E0D0));
    }
};

struct TCase {
    const char* Rule;
    TWipeType Type;
    int W, H, P0, P1;
    bool Reverse;
    std::vector<int> Elapsed;  // each on a fresh transition, then all in turn on one
    int Length;
};

// The model's masks of some cases, one per case and Elapsed: the hard-edge flag and the rows.
struct TModelMask {
    bool Hard;
    std::vector<std::string> Rows;
};

std::vector<TModelMask> ModelMasks(const std::vector<TCase>& Cases, const std::string& Extra) {
    std::vector<std::string> args{"mask"};
    for (const TCase& c : Cases) {
        std::string arg = c.Rule;
        for (int v : {c.W, c.H, c.P0, c.P1, int(c.Reverse)}) arg += ":" + std::to_string(v);
        for (size_t i = 0; i < c.Elapsed.size(); ++i) arg += (i ? "," : ":") + std::to_string(c.Elapsed[i]);
        arg += ":" + std::to_string(c.Length) + (Extra.empty() ? "" : ":" + Extra);
        args.push_back(arg);
    }
    const std::vector<std::string> lines = Lines(PythonOutput("wipe_mask_ref.py", args));
    std::vector<TModelMask> out;
    for (size_t i = 0; i < lines.size();) {
        const size_t rows = size_t(std::stoi(lines[i].substr(2)));
        const auto first = lines.begin() + std::ptrdiff_t(i + 1);
        out.push_back({lines[i][0] == '1', {first, first + std::ptrdiff_t(rows)}});
        i += 1 + rows;
    }
    return out;
}

std::vector<std::string> OurMask(TWipeMask& W) {
    std::vector<std::string> rows;
    for (int y = 0; y < W.Mask->GetHeight(); ++y) {
        std::string row;
        for (int x = 0; x < W.Mask->GetWidth(); ++x) row += char(W.Mask->GetPixel(x, y));
        std::string hex = ToHex(row);
        for (char& c : hex) c = char(std::tolower(uint8_t(c)));
        rows.push_back(hex);
    }
    return rows;
}

std::unique_ptr<TWipeMask> Prepared(TSurfaces& S, const TCase& C, const std::string& MaskName = "") {
    auto wipe = std::unique_ptr<TWipeMask>(static_cast<TWipeMask*>(CreateWipe(C.Type, S.Dest, S.Old, S.New).release()));
    wipe->Length = C.Length;
    wipe->SetReverse(C.Reverse);
    wipe->SetParam(0, C.P0);
    wipe->SetParam(1, C.P1);
    wipe->SetName(MaskName);
    wipe->Prepare();
    return wipe;
}

// Each case's masks, from fresh transitions and from one stepped through all its Elapsed.
void ExpectModelMasks(const std::vector<TCase>& Cases, const std::string& Extra = "",
                      const std::string& MaskName = "") {
    const std::vector<TModelMask> model = ModelMasks(Cases, Extra);
    size_t next = 0;
    for (const TCase& c : Cases) {
        TSurfaces s(c.W, c.H);
        ASSERT_LE(next + c.Elapsed.size(), model.size());
        const auto check = [&](TWipeMask& W, size_t I) {
            W.Elapsed = c.Elapsed[I];
            W.Step();
            EXPECT_EQ(OurMask(W), model[next + I].Rows) << c.Rule << " reverse " << c.Reverse << " at " << c.Elapsed[I];
            EXPECT_EQ(W.HardEdge, model[next + I].Hard) << c.Rule << " at " << c.Elapsed[I];
        };
        const uint32_t seed = RandSeed;
        for (size_t i = 0; i < c.Elapsed.size(); ++i) {
            RandSeed = seed;
            check(*Prepared(s, c, MaskName), i);
        }
        RandSeed = seed;
        auto running = Prepared(s, c, MaskName);
        for (size_t i = 0; i < c.Elapsed.size(); ++i) check(*running, i);
        next += c.Elapsed.size();
    }
    EXPECT_EQ(next, model.size());
}

TEST(WipeMask, EveryRuleBuildsTheModelsMask) {
    const std::vector<TCase> cases = {
        {"blindh", WP_BLINDH, 47, 9, 20, 1, false, {0, 1, 26, 500, 999}, 1000},
        {"blindh", WP_BLINDH, 47, 9, 6, 5, true, {100, 450, 800}, 1000},
        {"blindv", WP_BLINDV, 12, 30, 7, 3, false, {0, 300, 700}, 1000},
        {"blindv", WP_BLINDV, 12, 30, 7, 1, true, {250, 600}, 1000},
        // Stripes taller than the screen: the mask stops at its height (beyond the image side limit
        // it could not be made at all).
        {"blindv", WP_BLINDV, 12, 30, 40000, 3, false, {0, 300, 700}, 1000000},
        {"curtainh", WP_CURTAINH, 45, 6, 8, 20, false, {90, 400, 850}, 1000},
        {"curtainh", WP_CURTAINH, 45, 6, 8, 1, true, {300}, 1000},
        {"curtainv", WP_CURTAINV, 5, 33, 10, 4, true, {200, 777}, 1000},
        {"grid", WP_GRID, 64, 48, 16, 6, false, {0, 150, 420, 990}, 1000},
        {"grid", WP_GRID, 64, 48, 16, 1, true, {300, 700}, 1000},
        {"gridh", WP_GRIDH, 50, 40, 12, 9, false, {333, 800}, 1000},
        {"gridh", WP_GRIDH, 50, 8, 12, 9, true, {500}, 1000},
        {"gridv", WP_GRIDV, 30, 44, 9, 3, true, {250, 640}, 1000},
        {"dither", WP_DITHER, 150, 70, 0, 0, false, {1, 1000, 2048, 4095}, 4096},
        {"dither", WP_DITHER, 40, 20, 0, 0, false, {1500, 3000}, 4096},  // narrower than the tile
        {"shadow", WP_MASKFADE, 20, 12, 0, 0, false, {100, 600, 999}, 1000},
        {"clockhand", WP_CLOCKHAND, 41, 30, 0, 0, false, {0, 120, 500, 910}, 1000},
        {"clockhand", WP_CLOCKHAND, 40, 31, 135, 0, true, {260, 730}, 1000},
        {"fan", WP_FAN, 41, 30, 45, 0, false, {50, 500, 980}, 1000},
        {"wfan", WP_WFAN, 40, 30, 0, 0, true, {310, 720}, 1000},
        {"circle", WP_CIRCLE, 50, 30, 0, 0, false, {0, 200, 800}, 1000},
        {"circle", WP_CIRCLE, 50, 30, 0, 0, true, {100, 600}, 1000},
        {"blockcoil", WP_BLOCKCOIL, 47, 35, 12, 0, false, {0, 333, 900}, 1000},
        {"blockcoil", WP_BLOCKCOIL, 47, 35, 12, 0, true, {0, 333, 900}, 1000},
    };
    ExpectModelMasks(cases);
    RandSeed = 20250131;
    ExpectModelMasks({{"blockrandom", WP_BLOCKRANDOM, 55, 32, 10, 0, false, {0, 400, 950}, 1000}}, "20250131");
}

TEST(WipeMask, DitherAtTheLastLevelLeavesOneOldDotPerTile) {
    // Also for a length whose Elapsed * 4096 passes 32 bits: the level is worked out in 64.
    for (auto [length, elapsed] : {std::pair{4096, 4095}, {2'000'000'000, 1'999'999'999}}) {
        TSurfaces s(128, 64);
        auto wipe = Prepared(s, {"dither", WP_DITHER, 128, 64, 0, 0, false, {}, length});
        wipe->Elapsed = elapsed;
        wipe->Step();
        int zeros[2] = {0, 0};
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 128; ++x) zeros[x / 64] += wipe->Mask->GetPixel(x, y) == 0;
        EXPECT_EQ(zeros[0], 1) << length;
        EXPECT_EQ(zeros[1], 1) << length;
    }
}

TEST(WipeMask, GridCellsStartFromTheirCorner) {
    // 8 x 6 cells of 80: nine ranks, level 100 * (8 * 4 + 30) div 1000 = 6, the first cell at
    // 6 * 255 div 30 = 51 over a centred square of 6 * 80 div 30 = 16 pixels.
    for (bool reverse : {false, true}) {
        TSurfaces s(640, 480);
        auto wipe = Prepared(s, {"grid", WP_GRID, 640, 480, 80, 30, reverse, {}, 1000});
        wipe->Elapsed = 100;
        wipe->Step();
        const auto at = [&](int X, int Y) { return wipe->Mask->GetPixel(X, Y); };
        const int first = reverse ? 7 * 80 : 0, firstY = reverse ? 5 * 80 : 0, last = 7 * 80 - first;
        const int lastY = 5 * 80 - firstY;
        EXPECT_EQ(at(first + 32, firstY + 32), 51u);
        EXPECT_EQ(at(first + 47, firstY + 47), 51u);
        EXPECT_EQ(at(first + 31, firstY + 40), 0u);
        EXPECT_EQ(at(last + 40, lastY + 40), 0u);
    }
}

TEST(WipeMask, BlockCoilWalksASpiralInwards) {
    TSurfaces s(30, 30);
    auto wipe = Prepared(s, {"blockcoil", WP_BLOCKCOIL, 30, 30, 10, 0, false, {}, 1000});
    const auto& blocks = static_cast<TWipeBlockCoil&>(*wipe).Blocks;
    std::vector<std::pair<int, int>> corners;
    for (const TRect& b : blocks) corners.emplace_back(b.Left / 10, b.Top / 10);
    EXPECT_EQ(corners, (std::vector<std::pair<int, int>>{{0, 0}, {1, 0}, {2, 0}, {2, 1}, {2, 2}, {1, 2}, {0, 2},
                                                        {0, 1}, {1, 1}}));
}

// A mask image in a folder the file manager reads, with the script services that ask for it.
class WipeMaskImage : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = FreshHostFolder();
        CreateScriptServices();
        VrFileManager = &files_;
        files_.SetBaseFolder(platform::fs::ToProgramPath(folder_));
    }
    void TearDown() override {
        VrFileManager = nullptr;
        FreeScriptServices();
    }
    std::string Write(const std::string& Name, const std::string& Bytes) {
        std::ofstream(folder_ + Name, std::ios::binary) << Bytes;
        return folder_ + Name;
    }

    std::string folder_;
    TVrFileManager files_;
};

TEST_F(WipeMaskImage, ShadowTilesTheImageByItsExtension) {
    for (const char* name : {"ramp.png", "ramp.bmp"}) {
        const std::string path = folder_ + name;
        PythonOutput("wipe_mask_ref.py", {"image", path, "5", "7", "4"});
        // The name in another case: the extension is lower-cased, the file found as it is.
        std::string asked = name;
        for (char& ch : asked) ch = char(std::toupper(uint8_t(ch)));
        ExpectModelMasks({{"shadow", WP_MASKFADE, 17, 10, 0, 0, false, {0, 250, 500, 760}, 1000},
                          {"shadow", WP_MASKFADE, 17, 10, 0, 0, true, {250, 760}, 1000}},
                         path, asked);
    }
    // Without the file every pixel waits for the second half of the time.
    ExpectModelMasks({{"shadow", WP_MASKFADE, 17, 10, 0, 0, false, {400, 750}, 1000}}, "", "none.png");
}

TEST_F(WipeMaskImage, AMaskThatDoesNotDecodeRaisesFromPrepareAndAnEmptyOneTilesNothing) {
    // A BMP of 0 columns: the reader refuses it, and the transition stays whole (no image).
    Write("zero.bmp", FromHex("424d3600000000000000360000002800000000000000040000000100180000000000000000000000"
                              "0000000000000000000000000000"));
    // A PNG signature and nothing more: a picture of no pixels.
    Write("empty.png", "\x89PNG\r\n\x1a\n");
    TSurfaces s(16, 8);
    for (const char* name : {"zero.bmp", "empty.png"}) {
        auto wipe = CreateWipe(WP_MASKFADE, s.Dest, s.Old, s.New);
        wipe->Length = 100;
        wipe->SetName(name);
        const std::string error = ErrorOf([&] { wipe->Prepare(); });
        EXPECT_EQ(error.empty(), std::string(name) == "empty.png") << name << ": " << error;
        const auto& thresholds = static_cast<TWipeShadow&>(*wipe).Thresholds.Values;
        EXPECT_EQ(thresholds, std::vector<int32_t>(16 * 8, -255)) << name;
        wipe->Elapsed = 75;
        EXPECT_FALSE(wipe->Step());
    }
}

// A mask rule of fixed values for the composition tests.
class TFixedMask : public TWipeMask {
public:
    TFixedMask(TSurfaces& S, std::vector<uint8_t> Values, bool Hard, int Lines)
        : TWipeMask(S.Dest, S.Old, S.New), values_(std::move(Values)), lines_(Lines) {
        HardEdge = Hard;
        Length = 10;
    }
    int32_t GetMaskLines() const override { return lines_; }
    bool BuildMask() override {
        if (SameLevel(Level(10))) return false;
        for (int y = 0; y < Mask->GetHeight(); ++y)
            for (int x = 0; x < Mask->GetWidth(); ++x)
                Mask->SetPixel(x, y, values_[size_t(y * Mask->GetWidth() + x) % values_.size()]);
        return true;
    }

private:
    std::vector<uint8_t> values_;
    int lines_;
};

const std::vector<uint8_t> kMaskValues = {0, 1, 64, 128, 200, 254, 255, 90, 255, 255, 255, 255, 0, 0, 0, 0, 17};

TEST(WipeMaskCompose, BlendsEachChannelAndCopiesAtTheEnds) {
    const uint32_t oldPixel32 = 0x80FF1040, newPixel32 = 0x10E0F0A0;
    for (int bits : {15, 16, 32}) {
        for (bool hard : {false, true}) {
            TSurfaces s(21, 6, bits);
            const uint32_t o = bits == 32 ? oldPixel32 : bits == 16 ? 0xA3C5 : 0x5A95;
            const uint32_t n = bits == 32 ? newPixel32 : bits == 16 ? 0x1E7B : 0x6B3E;
            s.Old.Fill(int32_t(o));
            s.New.Fill(int32_t(n));
            TFixedMask wipe(s, kMaskValues, hard, 3);
            wipe.Prepare();
            wipe.Elapsed = 4;
            EXPECT_FALSE(wipe.Step());
            for (int y = 0; y < 6; ++y)
                for (int x = 0; x < 21; ++x) {
                    // Mask row y mod 3 serves picture row y.
                    const uint32_t m = kMaskValues[size_t((y % 3) * 21 + x) % kMaskValues.size()];
                    uint32_t want;
                    if (m == 0)
                        want = o;
                    else if (m == 255 || hard)
                        want = n;
                    else if (bits == 32) {
                        want = 0;
                        for (int b = 0; b < 32; b += 8)
                            want |= (((n >> b & 255) * m + (o >> b & 255) * (255 - m)) / 256) << b;
                    } else {
                        // Fields blended in place; red one bit lower, its lowest bit lost.
                        const int redShift = bits == 16 ? 11 : 10, greenBits = bits == 16 ? 6 : 5;
                        const auto field = [&](int Shift, int Bits, int Drop) {
                            const uint32_t mask = ((1u << Bits) - 1) << Shift;
                            const uint32_t nn = (n & mask) >> Drop, oo = (o & mask) >> Drop;
                            return ((nn * m + oo * (255 - m)) / 256 & mask >> Drop) << Drop;
                        };
                        want = field(redShift, 5, 1) | field(5, greenBits, 0) | field(0, 5, 0);
                    }
                    ASSERT_EQ(s.Dest.GetPixel(x, y), want) << bits << " bits, hard " << hard << " at " << x << ","
                                                           << y << " m " << m;
                }
        }
    }
}

TEST(WipeMaskCompose, EightAndTwentyFourBitsDrawThroughTheRepeatedMask) {
    for (int bits : {8, 24}) {
        TSurfaces s(9, 7, bits);
        TFixedMask wipe(s, {0, 255, 255, 0, 0, 255, 0, 0, 0, 255, 255, 255, 0, 255}, true, 2);
        wipe.Prepare();
        wipe.Elapsed = 1;
        wipe.Step();
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 9; ++x) {
                const bool isNew = wipe.Mask->GetPixel(x, y % 2) == 255;
                ASSERT_EQ(s.Dest.GetPixel(x, y), (isNew ? s.New : s.Old).GetPixel(x, y))
                    << bits << " " << x << "," << y;
            }
    }
}

TEST(WipeMaskCompose, TheSameElapsedTwiceDrawsOnce) {
    TSurfaces s(24, 16);
    auto wipe = CreateWipe(WP_GRID, s.Dest, s.Old, s.New);
    wipe->SetParam(0, 8);
    wipe->Length = 1000;
    wipe->Prepare();
    wipe->Elapsed = 600;
    EXPECT_FALSE(wipe->Step());
    EXPECT_NE(s.Dest.GetPixel(4, 4), s.Old.GetPixel(4, 4));
    s.Dest.Fill(0x00ABCDEF);
    EXPECT_FALSE(wipe->Step());
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 24; ++x) ASSERT_EQ(s.Dest.GetPixel(x, y), 0x00ABCDEFu);
}

}  // namespace
