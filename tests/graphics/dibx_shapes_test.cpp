// The 8-bit ellipse and pie fills against Pillow's ImageDraw: the same pixels away from the
// outline, and every pixel that differs next to an outline pixel of Pillow's shape.
#include "graphics/dibx_shapes.h"

#include "graphics/dibx.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

namespace {

struct TShape {
    int W, H;
    std::vector<int> Box;      // left, top, right, bottom
    std::vector<int> Radials;  // x1, y1, x2, y2; empty for an ellipse
};

void ExpectNearPillow(const TShape& S) {
    TDIBX d;
    d.SetSize(S.W, S.H, 8);
    d.Fill(0);
    const auto& b = S.Box;
    if (S.Radials.empty())
        FillEllipse(d, b[0], b[1], b[2], b[3], 255);
    else
        FillPie(d, b[0], b[1], b[2], b[3], S.Radials[0], S.Radials[1], S.Radials[2], S.Radials[3], 255);
    std::vector<std::string> args{S.Radials.empty() ? "ellipse" : "pie", std::to_string(S.W), std::to_string(S.H)};
    for (int v : b) args.push_back(std::to_string(v));
    for (int v : S.Radials) args.push_back(std::to_string(v));
    const std::vector<std::string> rows = Lines(PythonOutput("shapes_ref.py", args));
    ASSERT_EQ(rows.size(), size_t(2 * S.H));
    const auto at = [&](int Row, int X, int Y) { return uint8_t(FromHex(rows[size_t(Row + Y)])[size_t(X)]); };
    const auto nearOutline = [&](int X, int Y) {
        for (int y = std::max(Y - 1, 0); y <= std::min(Y + 1, S.H - 1); ++y)
            for (int x = std::max(X - 1, 0); x <= std::min(X + 1, S.W - 1); ++x)
                if (at(S.H, x, y)) return true;
        return false;
    };
    int filled = 0;
    for (int y = 0; y < S.H; ++y)
        for (int x = 0; x < S.W; ++x) {
            const uint32_t ours = d.GetPixel(x, y);
            filled += ours != 0;
            if (ours != at(0, x, y)) {
                EXPECT_TRUE(nearOutline(x, y)) << "pixel " << x << "," << y << " box " << b[0] << "," << b[1] << ","
                                               << b[2] << "," << b[3];
            }
        }
    EXPECT_GT(filled, 0);
}

TEST(Shapes, EllipsesMatchPillowUpToTheOutline) {
    for (const TShape& s : std::vector<TShape>{{40, 30, {0, 0, 40, 30}, {}},
                                               {40, 30, {5, 3, 26, 28}, {}},   // odd sides
                                               {40, 30, {-20, -12, 30, 20}, {}},  // beyond the corner
                                               {40, 30, {10, 10, 11, 25}, {}},  // one column wide
                                               {64, 48, {2, 2, 62, 46}, {}}})
        ExpectNearPillow(s);
}

TEST(Shapes, PiesSweepCounterClockwiseOnTheScreen) {
    for (const TShape& s : std::vector<TShape>{
             {48, 40, {4, 4, 44, 36}, {44, 20, 24, 0}},    // a quarter from the right up
             {48, 40, {4, 4, 44, 36}, {24, 0, 44, 20}},    // three quarters, the rest of it
             {48, 40, {4, 4, 44, 36}, {44, 20, 0, 20}},    // the upper half
             {48, 40, {4, 4, 44, 36}, {40, 30, 43, 31}},   // a thin slice
             {40, 30, {-5, -10, 45, 40}, {45, 3, 2, 40}},   // the clock-hand box, past the surface
             {40, 30, {-5, -10, 45, 40}, {20, -10, 38, -5}},  // nearly all of it
         })
        ExpectNearPillow(s);
}

TEST(Shapes, RoundHalvesToEvenAndDrawNothingForEmptyOrNonFiniteBoxes) {
    TDIBX a, b;
    for (TDIBX* d : {&a, &b}) {
        d->SetSize(20, 20, 8);
        d->Fill(0);
    }
    FillEllipse(a, 2.5, 2.5, 12.5, 12.5, 9);  // 2, 2, 12, 12
    FillEllipse(b, 2, 2, 12, 12, 9);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) ASSERT_EQ(a.GetPixel(x, y), b.GetPixel(x, y)) << x << "," << y;
    FillEllipse(a, 3.5, 0, 3.5, 20, 7);  // 4 .. 4: empty
    FillEllipse(a, 0, 0, std::numeric_limits<double>::quiet_NaN(), 20, 7);
    FillPie(a, 0, 0, 20, 20, std::numeric_limits<double>::infinity(), 0, 0, 0, 7);
    FillPie(a, 0, 0, 20, 20, 20, 10, 20, 10, 7);  // the same ray twice: the ray only
    int sevens = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) sevens += a.GetPixel(x, y) == 7;
    EXPECT_EQ(sevens, 0);
}

}  // namespace
