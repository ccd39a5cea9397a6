// Regions: building the bands of each shape, union, look-ups.
#include "graphics/region.h"

#include "graphics/dibx_shapes.h"

#include <algorithm>
#include <cstdlib>

namespace {

constexpr int64_t Side = Region::PlaneSide;

int64_t OnPlane(int64_t V) { return std::clamp<int64_t>(V, 0, Side); }

// N / D rounded up, for D > 0.
template <class T>
T CeilDiv(T N, T D) {
    const T q = N / D;
    return q + T(N % D > 0);
}

// A polygon edge that is not level, with the plane rows whose centre line it crosses.
struct TEdge {
    int64_t X0, Y0, X1, Y1;  // Y0 < Y1
    int32_t Dir;             // +1 when the polygon runs downwards along it
    int32_t Top, Bottom;     // rows Top .. Bottom - 1

    // The first column whose centre lies at or right of the crossing with row Y's centre line:
    // ceil(x - 1/2) of the crossing x, in integers (the doubled row centre is 2Y + 1).
    template <class T>
    int64_t Column(int64_t Y) const {
        const T dy = T(Y1 - Y0);
        const T n = T(2 * X0 - 1) * dy + T(X1 - X0) * T(2 * Y + 1 - 2 * Y0);
        return int64_t(std::clamp<T>(CeilDiv<T>(n, 2 * dy), 0, Side));
    }
};

// The edges of Points (closed) that cross a plane row; level edges cross none.
std::vector<TEdge> PlaneEdges(std::span<const TPoint> Points) {
    std::vector<TEdge> edges;
    for (size_t i = 0; i < Points.size(); ++i) {
        const TPoint a = Points[i], b = Points[(i + 1) % Points.size()];
        if (a.Y == b.Y) continue;
        TEdge e = a.Y < b.Y ? TEdge{a.X, a.Y, b.X, b.Y, 1, 0, 0} : TEdge{b.X, b.Y, a.X, a.Y, -1, 0, 0};
        // Row y's centre y + 1/2 lies between Y0 and Y1 exactly for Y0 <= y < Y1.
        e.Top = int32_t(OnPlane(e.Y0));
        e.Bottom = int32_t(OnPlane(e.Y1));
        if (e.Top < e.Bottom) edges.push_back(e);
    }
    return edges;
}

struct TCrossing {
    int64_t Column;
    int32_t Dir;
};

}  // namespace

// ---- Building ----

void Region::AppendRows(int32_t Top, int32_t Bottom, std::span<const TRegionSpan> Row) {
    if (Row.empty() || Top >= Bottom) return;
    if (!Bands.empty()) {
        TBand& last = Bands.back();
        if (last.Bottom == Top && std::ranges::equal(BandSpans(last), Row)) {
            last.Bottom = Bottom;
            Bounds.Bottom = Bottom;
            return;
        }
    }
    const auto first = uint32_t(Spans.size());
    Spans.insert(Spans.end(), Row.begin(), Row.end());
    Bands.push_back({Top, Bottom, first, uint32_t(Spans.size())});
    const int32_t left = Row.front().Left, right = Row.back().Right;
    if (Bands.size() == 1)
        Bounds = {left, Top, right, Bottom};
    else
        Bounds = {std::min(Bounds.Left, left), Bounds.Top, std::max(Bounds.Right, right), Bottom};
}

Region Region::Rectangle(int64_t Left, int64_t Top, int64_t Right, int64_t Bottom) {
    Region r;
    const TRegionSpan span{int32_t(OnPlane(Left)), int32_t(OnPlane(Right))};
    if (span.Left < span.Right) r.AppendRows(int32_t(OnPlane(Top)), int32_t(OnPlane(Bottom)), {&span, 1});
    return r;
}

Region Region::Ellipse(int64_t Left, int64_t Top, int64_t Right, int64_t Bottom) {
    Region r;
    TEllipseRows rows;
    if (!rows.Setup(Left, Top, Right, Bottom)) return r;
    const int64_t bottom = std::min(rows.GetBottom(), Side);
    for (int64_t y = std::max<int64_t>(rows.GetTop(), 0); y < bottom; ++y) {
        int64_t first, last;
        if (!rows.Span(y, first, last)) continue;
        const TRegionSpan span{int32_t(OnPlane(first)), int32_t(OnPlane(last + 1))};
        if (span.Left < span.Right) r.AppendRows(int32_t(y), int32_t(y + 1), {&span, 1});
    }
    return r;
}

Region Region::Polygon(std::span<const TPoint> Points) {
    Region r;
    const std::vector<TEdge> edges = PlaneEdges(Points);
    if (edges.empty()) return r;
    int32_t top = Side, bottom = 0;
    for (const TEdge& e : edges) top = std::min(top, e.Top), bottom = std::max(bottom, e.Bottom);
    // Products of coordinates within 2^28 stay far inside 64 bits.
    const bool small = std::ranges::all_of(Points, [](TPoint p) {
        return std::max(std::abs(int64_t(p.X)), std::abs(int64_t(p.Y))) <= (int64_t(1) << 28);
    });

    // The crossings of each row, bucketed by row.
    std::vector<uint32_t> start(size_t(bottom - top) + 1, 0);
    for (const TEdge& e : edges)
        for (int32_t y = e.Top; y < e.Bottom; ++y) ++start[size_t(y - top) + 1];
    for (size_t i = 1; i < start.size(); ++i) start[i] += start[i - 1];
    std::vector<TCrossing> crossings(start.back());
    std::vector<uint32_t> fill(start.begin(), start.end() - 1);
    for (const TEdge& e : edges)
        for (int32_t y = e.Top; y < e.Bottom; ++y)
            crossings[fill[size_t(y - top)]++] = {small ? e.Column<int64_t>(y) : e.Column<__int128>(y), e.Dir};

    std::vector<TRegionSpan> row;
    for (int32_t y = top; y < bottom; ++y) {
        const auto first = crossings.begin() + start[size_t(y - top)];
        const auto last = crossings.begin() + start[size_t(y - top) + 1];
        std::sort(first, last, [](const TCrossing& a, const TCrossing& b) { return a.Column < b.Column; });
        row.clear();
        int32_t winding = 0;
        int64_t spanStart = 0;
        for (auto c = first; c != last; ++c) {
            const int32_t before = winding;
            winding += c->Dir;
            if (before == 0 && winding != 0) {
                spanStart = c->Column;
            } else if (before != 0 && winding == 0 && spanStart < c->Column) {
                // Spans that meet at a column join.
                if (!row.empty() && row.back().Right == spanStart)
                    row.back().Right = int32_t(c->Column);
                else
                    row.push_back({int32_t(spanStart), int32_t(c->Column)});
            }
        }
        r.AppendRows(y, y + 1, row);
    }
    return r;
}

int64_t Region::EllipseCost(int64_t Top, int64_t Bottom) {
    return std::max<int64_t>(OnPlane(Bottom) - OnPlane(Top), 0);
}

int64_t Region::PolygonCost(std::span<const TPoint> Points) {
    int64_t cost = 0;
    for (const TEdge& e : PlaneEdges(Points)) cost += e.Bottom - e.Top;
    return cost;
}

// ---- Union ----

namespace {

// The union of two rows of sorted spans that lie apart.
void MergeRows(std::span<const TRegionSpan> A, std::span<const TRegionSpan> B, std::vector<TRegionSpan>& Out) {
    Out.clear();
    auto a = A.begin(), b = B.begin();
    while (a != A.end() || b != B.end()) {
        const TRegionSpan next = b == B.end() || (a != A.end() && a->Left < b->Left) ? *a++ : *b++;
        if (!Out.empty() && next.Left <= Out.back().Right)
            Out.back().Right = std::max(Out.back().Right, next.Right);
        else
            Out.push_back(next);
    }
}

}  // namespace

Region Region::Union(const Region& Other) const {
    if (Other.IsEmpty()) return *this;
    if (IsEmpty()) return Other;
    // Between two neighbouring band edges of either region both have one row each. Each
    // region's edges come in order (its bands lie top to bottom), so the two runs merge.
    std::vector<int32_t> edges;
    for (const Region* r : {this, &Other})
        for (const TBand& b : r->Bands) edges.insert(edges.end(), {b.Top, b.Bottom});
    std::inplace_merge(edges.begin(), edges.begin() + std::ptrdiff_t(2 * Bands.size()), edges.end());
    edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
    Region out;
    std::vector<TRegionSpan> row;
    for (size_t i = 0; i + 1 < edges.size(); ++i) {
        MergeRows(Row(edges[i]), Other.Row(edges[i]), row);
        out.AppendRows(edges[i], edges[i + 1], row);
    }
    return out;
}

// ---- Look-ups ----

const Region::TBand* Region::FindBand(int32_t Y) const {
    const auto it =
        std::upper_bound(Bands.begin(), Bands.end(), Y, [](int32_t y, const TBand& b) { return y < b.Bottom; });
    return it != Bands.end() && it->Top <= Y ? &*it : nullptr;
}

std::span<const TRegionSpan> Region::Row(int32_t Y) const {
    const TBand* band = FindBand(Y);
    return band ? BandSpans(*band) : std::span<const TRegionSpan>{};
}

bool Region::Contains(int32_t X, int32_t Y) const {
    if (X < Bounds.Left || X >= Bounds.Right || Y < Bounds.Top || Y >= Bounds.Bottom) return false;
    const TBand* band = FindBand(Y);
    if (!band) return false;
    for (const TRegionSpan& s : BandSpans(*band)) {
        if (X < s.Left) return false;
        if (X < s.Right) return true;
    }
    return false;
}
