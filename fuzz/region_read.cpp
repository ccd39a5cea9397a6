// Image-map region files from arbitrary bytes: a read either raises one of the engine's own
// errors or gives regions that lie on the plane, whose rows hold sorted spans apart from each
// other inside the bounds, that hold exactly the pixels of their rows, and whose union holds
// every pixel of each.
// Seed corpus: tools/vregion.py corpus fuzz/corpus/region_read, and what pick_corpus.py took
// from a fuzzing run.
#include "fuzz/harness.h"
#include "objects/vitemex_mapimage.h"

namespace {

using fuzz::Check;

void CheckRegion(const Region& R, const Region& All) {
    const TRect b = R.GetBounds();
    if (R.IsEmpty()) {
        Check(b.Left == 0 && b.Top == 0 && b.Right == 0 && b.Bottom == 0);
        return;
    }
    Check(0 <= b.Left && b.Left < b.Right && b.Right <= Region::PlaneSide);
    Check(0 <= b.Top && b.Top < b.Bottom && b.Bottom <= Region::PlaneSide);
    Check(R.Row(b.Top - 1).empty() && R.Row(b.Bottom).empty());
    // A few rows, each walked across its spans and the gaps between them.
    for (int32_t y : {b.Top, (b.Top + b.Bottom) / 2, b.Bottom - 1}) {
        int32_t x = b.Left - 1;
        for (const TRegionSpan& s : R.Row(y)) {
            Check(x < s.Left && s.Left < s.Right && b.Left <= s.Left && s.Right <= b.Right);
            Check(!R.Contains(s.Left - 1, y) && R.Contains(s.Left, y) && R.Contains(s.Right - 1, y));
            Check(All.Contains(s.Left, y) && All.Contains(s.Right - 1, y));
            x = s.Right;
        }
        Check(!R.Contains(x, y));
    }
}

// The union of the regions, joined in pairs, a round at a time: each region goes into a few
// unions instead of one per region after it.
Region UnionOf(const std::vector<TMapRegion>& Regions) {
    std::vector<Region> areas;
    for (const TMapRegion& r : Regions) areas.push_back(r.Area);
    for (size_t width = 1; width < areas.size(); width *= 2)
        for (size_t i = 0; i + width < areas.size(); i += 2 * width) areas[i] = areas[i].Union(areas[i + width]);
    return areas.empty() ? Region() : areas[0];
}

}  // namespace

int TestOneInput(const uint8_t* Data, size_t Size) {
    TMemoryStream stream = fuzz::StreamOf(Data, Size);
    std::vector<TMapRegion> regions;
    try {
        regions = ReadMapRegions(stream);
    } catch (const EVelaError&) {
        return 0;
    }
    const Region all = UnionOf(regions);
    for (const TMapRegion& r : regions) CheckRegion(r.Area, all);
    return 0;
}
