// Regions: rectangles with exclusive right and bottom, ellipses with exactly the fill's pixels,
// polygons by the non-zero winding of pixel centres against the Python reference, union, and
// shapes far beyond the plane.
#include "graphics/region.h"

#include "graphics/dibx.h"
#include "graphics/dibx_shapes.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

// Which pixels of W x H a region holds, as '1' and '.' rows; checked against its spans on the way.
std::vector<std::string> Pixels(const Region& R, int W, int H) {
    std::vector<std::string> rows;
    for (int y = 0; y < H; ++y) {
        std::string row(size_t(W), '.');
        for (int x = 0; x < W; ++x)
            if (R.Contains(x, y)) row[size_t(x)] = '1';
        std::string fromSpans(size_t(W), '.');
        for (const TRegionSpan& s : R.Row(y))
            for (int x = std::max(s.Left, 0); x < std::min(s.Right, W); ++x) fromSpans[size_t(x)] = '1';
        EXPECT_EQ(fromSpans, row) << "row " << y;
        rows.push_back(row);
    }
    return rows;
}

TEST(Regions, RectanglesLeaveOutTheirRightAndBottom) {
    const Region r = Region::Rectangle(0, 0, 10, 10);
    EXPECT_EQ(r.GetBounds(), (TRect{0, 0, 10, 10}));
    int held = 0;
    for (int y = -1; y <= 11; ++y)
        for (int x = -1; x <= 11; ++x) held += r.Contains(x, y);
    EXPECT_EQ(held, 100);
    EXPECT_TRUE(r.Contains(9, 9));
    EXPECT_FALSE(r.Contains(10, 9));
    EXPECT_FALSE(r.Contains(9, 10));
    // Empty and turned-over boxes hold nothing.
    for (const Region& empty : {Region(), Region::Rectangle(5, 5, 5, 9), Region::Rectangle(9, 9, 2, 2),
                                Region::Ellipse(3, 3, 3, 8), Region::Polygon(std::vector<TPoint>{{0, 0}, {9, 9}})}) {
        EXPECT_TRUE(empty.IsEmpty());
        EXPECT_EQ(empty.GetBounds(), (TRect{0, 0, 0, 0}));
        EXPECT_FALSE(empty.Contains(0, 0));
    }
}

TEST(Regions, EllipsesHoldExactlyTheFillsPixels) {
    constexpr int W = 48, H = 40;
    for (const TRect box : {TRect{0, 0, 48, 40}, TRect{5, 3, 26, 28}, TRect{10, 10, 11, 11}, TRect{7, 2, 9, 37},
                            TRect{-15, -9, 20, 17}, TRect{30, 25, 70, 60}, TRect{0, 0, 1, 40}}) {
        TDIBX d;
        d.SetSize(W, H, 8);
        d.Fill(0);
        FillEllipse(d, box.Left, box.Top, box.Right, box.Bottom, 1);
        const Region r = Region::Ellipse(box.Left, box.Top, box.Right, box.Bottom);
        const std::vector<std::string> rows = Pixels(r, W, H);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                ASSERT_EQ(rows[size_t(y)][size_t(x)] == '1', d.GetPixel(x, y) == 1)
                    << x << "," << y << " box " << box.Left << "," << box.Top << "," << box.Right << "," << box.Bottom;
    }
}

TEST(Regions, APentagramWindsTwiceAroundItsCentre) {
    // Each point joined to the next but one: the pentagon in the middle is wound twice, which
    // an even-odd fill would leave out.
    const std::vector<TPoint> star{{50, 0}, {79, 90}, {2, 35}, {98, 35}, {21, 90}};
    const Region r = Region::Polygon(star);
    EXPECT_TRUE(r.Contains(50, 50));
    EXPECT_TRUE(r.Contains(50, 10));  // a point of the star
    EXPECT_FALSE(r.Contains(10, 80));
    EXPECT_EQ(r.GetBounds(), (TRect{3, 2, 97, 90}));
}

struct TPolygonCase {
    const char* Name;
    std::vector<TPoint> Points;
};

TEST(Regions, PolygonsMatchThePixelRuleOfTheReference) {
    constexpr int W = 40, H = 32;
    const std::vector<TPolygonCase> cases{
        {"triangle", {{2, 2}, {30, 6}, {12, 28}}},
        {"wound the other way", {{12, 28}, {30, 6}, {2, 2}}},
        // Both slanted edges pass through pixel centres (x + 1/2, y + 1/2).
        {"centres on edges", {{0, 0}, {16, 16}, {32, 0}}},
        {"concave", {{1, 1}, {35, 1}, {35, 30}, {20, 10}, {5, 30}}},
        {"bow tie", {{2, 2}, {30, 28}, {30, 2}, {2, 28}}},
        {"wound twice", {{5, 5}, {25, 5}, {25, 25}, {5, 25}, {5, 5}, {25, 5}, {25, 25}, {5, 25}}},
        {"hole wound back",
         {{0, 0}, {36, 0}, {36, 30}, {0, 30}, {0, 0}, {10, 8}, {10, 22}, {26, 22}, {26, 8}, {10, 8}}},
        {"off the plane", {{-20, -5}, {25, 3}, {10, 50}}},
        {"star", {{20, 0}, {24, 11}, {37, 11}, {27, 18}, {31, 31}, {20, 23}, {9, 31}, {13, 18}, {3, 11}, {16, 11}}},
        {"thin sliver", {{0, 0}, {39, 1}, {0, 2}}},
    };
    for (const TPolygonCase& c : cases) {
        std::string json = "[{\"shape\": \"polygon\", \"points\": [";
        for (size_t i = 0; i < c.Points.size(); ++i)
            json += (i ? ", [" : "[") + std::to_string(c.Points[i].X) + ", " + std::to_string(c.Points[i].Y) + "]";
        json += "]}]";
        const std::string file = FreshHostFolder() + "polygon.json";
        std::ofstream(file) << json;
        std::vector<std::string> expected =
            Lines(PythonOutput("region_ref.py", {file, std::to_string(W), std::to_string(H)}));
        for (std::string& row : expected)
            for (char& ch : row) ch = ch == '0' ? '1' : '.';
        EXPECT_EQ(Pixels(Region::Polygon(c.Points), W, H), expected) << c.Name;
    }
}

TEST(Regions, UnionHoldsThePixelsOfEitherAndMergesTheirSpans) {
    const Region a = Region::Rectangle(0, 0, 10, 6);
    const Region b = Region::Ellipse(6, 3, 20, 12);
    const Region c = Region::Rectangle(30, 0, 32, 40);
    const Region u = a.Union(b).Union(c);
    for (int y = -1; y < 42; ++y)
        for (int x = -1; x < 34; ++x)
            ASSERT_EQ(u.Contains(x, y), a.Contains(x, y) || b.Contains(x, y) || c.Contains(x, y)) << x << "," << y;
    EXPECT_EQ(u.GetBounds(), (TRect{0, 0, 32, 40}));
    // Overlapping spans become one; spans apart stay apart.
    ASSERT_EQ(u.Row(4).size(), 2u);
    EXPECT_EQ(u.Row(4)[0].Left, 0);
    EXPECT_EQ(u.Row(20).size(), 1u);
    EXPECT_EQ(a.Union(Region()), a);
    EXPECT_EQ(Region().Union(a), a);
}

TEST(Regions, ShapesBeyondThePlaneAreCutToIt) {
    constexpr int64_t far = int64_t(1) << 31;
    const Region r = Region::Rectangle(-far, -far, far, far);
    EXPECT_EQ(r.GetBounds(), (TRect{0, 0, Region::PlaneSide, Region::PlaneSide}));
    EXPECT_TRUE(r.Contains(Region::PlaneSide - 1, 0));
    EXPECT_FALSE(r.Contains(-1, 5));
    // A polygon with coordinates at the ends of the int32 range, worked exactly: its long edge
    // crosses x = 0 half-way down, below which nothing of it lies on the plane.
    const Region p = Region::Polygon(std::vector<TPoint>{{INT32_MIN, 0}, {INT32_MAX, 0}, {INT32_MAX, 100}});
    EXPECT_EQ(p.GetBounds(), (TRect{0, 0, Region::PlaneSide, 50}));
    // What building costs is known first, and counts only the rows on the plane.
    EXPECT_EQ(Region::EllipseCost(-50, 20), 20);
    EXPECT_EQ(Region::EllipseCost(-far, far), Region::PlaneSide);
    EXPECT_EQ(Region::PolygonCost(std::vector<TPoint>{{0, -10}, {5, 10}, {9, 10}}), 2 * 10);
}

}  // namespace
