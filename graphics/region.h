#pragma once
// Regions: sets of pixels made of rectangles, ellipses and polygons, kept as horizontal bands of
// rows that share one list of spans. What the image map hit-tests and cuts its pictures by.
//
// Every region lies on the plane 0 <= x, y < PlaneSide, the largest picture side: the parts of
// a shape beyond it are cut away, so no shape, however large its stored coordinates, costs more
// than a picture of the largest size.
#include "core/header.h"

#include <cstdint>
#include <span>
#include <vector>

// The pixels Left .. Right - 1 of one row.
struct TRegionSpan {
    int32_t Left, Right;
    bool operator==(const TRegionSpan&) const = default;
};

class Region {
public:
    static constexpr int32_t PlaneSide = 32767;

    // The empty region.
    Region() = default;
    // The pixels Left .. Right - 1 of the rows Top .. Bottom - 1.
    static Region Rectangle(int64_t Left, int64_t Top, int64_t Right, int64_t Bottom);
    // The pixels FillEllipse fills for the box (Left, Top) .. (Right, Bottom), right and bottom
    // exclusive: those whose centres lie inside the inscribed ellipse.
    static Region Ellipse(int64_t Left, int64_t Top, int64_t Right, int64_t Bottom);
    // The pixels whose centres the closed polygon winds around (non-zero winding). A centre on
    // an edge belongs to the side right of the edge (the winding counts the edges at or left
    // of the centre).
    static Region Polygon(std::span<const TPoint> Points);

    // What building a shape walks, known before building it, so that readers of stored shapes
    // can bound their work: the rows of an ellipse on the plane, the row crossings of a
    // polygon's edges on the plane (a rectangle costs one band).
    static int64_t EllipseCost(int64_t Top, int64_t Bottom);
    static int64_t PolygonCost(std::span<const TPoint> Points);

    Region Union(const Region& Other) const;
    bool Contains(int32_t X, int32_t Y) const;
    bool IsEmpty() const { return Bands.empty(); }
    // The smallest rectangle holding every pixel; (0, 0, 0, 0) for the empty region.
    TRect GetBounds() const { return Bounds; }
    // The spans of row Y, left to right, neither touching nor overlapping.
    std::span<const TRegionSpan> Row(int32_t Y) const;

    bool operator==(const Region&) const = default;

private:
    // Rows Top .. Bottom - 1 hold Spans[First .. Last - 1].
    struct TBand {
        int32_t Top, Bottom;
        uint32_t First, Last;
        bool operator==(const TBand&) const = default;
    };
    // Appends rows Top .. Bottom - 1 holding Row (sorted, apart), below every band so far: the
    // last band grows when it ends at Top with the same spans.
    void AppendRows(int32_t Top, int32_t Bottom, std::span<const TRegionSpan> Row);
    std::span<const TRegionSpan> BandSpans(const TBand& B) const {
        return {Spans.data() + B.First, Spans.data() + B.Last};
    }
    // The band holding row Y; nullptr when none.
    const TBand* FindBand(int32_t Y) const;

    std::vector<TBand> Bands;  // top to bottom, apart
    std::vector<TRegionSpan> Spans;
    TRect Bounds{0, 0, 0, 0};
};
