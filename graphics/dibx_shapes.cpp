#include "graphics/dibx_shapes.h"

#include "graphics/dibx.h"

#include <algorithm>
#include <cmath>

namespace {

// Far beyond any surface side, so the arithmetic below cannot overflow.
constexpr int64_t kCoordinateLimit = int64_t(1) << 28;

bool Nearest(double Value, double& Out) {
    if (!std::isfinite(Value)) return false;
    Out = std::nearbyint(std::clamp(Value, -double(kCoordinateLimit), double(kCoordinateLimit)));
    return true;
}

int64_t FloorHalf(int64_t V) { return V >= 0 ? V / 2 : -((1 - V) / 2); }

// The box rounded, clipped to the surface's rows.
struct TEllipse {
    TEllipseRows Rows;
    int32_t Top, Bottom;

    bool Setup(const TCustomDIBX& Surface, double Left, double ATop, double Right, double ABottom) {
        double l, t, r, b;
        if (!Nearest(Left, l) || !Nearest(ATop, t) || !Nearest(Right, r) || !Nearest(ABottom, b) ||
            !Rows.Setup(int64_t(l), int64_t(t), int64_t(r), int64_t(b)))
            return false;
        Top = int32_t(std::max<int64_t>(Rows.GetTop(), 0));
        Bottom = int32_t(std::min<int64_t>(Rows.GetBottom(), Surface.GetHeight()));
        return Top < Bottom;
    }

    int64_t X2(int64_t X) const { return Rows.X2(X); }
    int64_t Y2(int64_t Y) const { return Rows.Y2(Y); }

    // The columns of row Y inside the ellipse and the surface; false for none.
    bool Span(const TCustomDIBX& Surface, int32_t Y, int32_t& First, int32_t& Last) const {
        int64_t first, last;
        if (!Rows.Span(Y, first, last)) return false;
        First = int32_t(std::max<int64_t>(first, 0));
        Last = int32_t(std::min<int64_t>(last, Surface.GetWidth() - 1));
        return First <= Last;
    }
};

void FillRun(TCustomDIBX& Surface, int32_t Y, int32_t First, int32_t Last, uint8_t Value) {
    Surface.FillRect({First, Y, Last + 1, Y + 1}, Value);
}

struct TVector {
    int64_t X, Y;
};

int64_t Cross(TVector U, TVector V) { return U.X * V.Y - U.Y * V.X; }
int64_t Dot(TVector U, TVector V) { return U.X * V.X + U.Y * V.Y; }

// The turn from U counter-clockwise (y upwards) to V, both rays included.
struct TSector {
    TVector U, V;
    bool Empty, Small;

    TSector(TVector AU, TVector AV) : U(AU), V(AV) {
        const int64_t c = Cross(U, V);
        Empty = c == 0 && Dot(U, V) > 0;
        Small = c >= 0;
    }

    bool Holds(TVector P) const {
        if (Empty) return Cross(U, P) == 0 && Dot(U, P) >= 0;
        if (Small) return Cross(U, P) >= 0 && Cross(P, V) >= 0;
        return !(Cross(V, P) > 0 && Cross(P, U) > 0);
    }
};

}  // namespace

// Worked in doubled coordinates so that every test is exact: the half-axes are Right - Left and
// Bottom - Top.
bool TEllipseRows::Setup(int64_t Left, int64_t Top, int64_t Right, int64_t Bottom) {
    const auto clamp = [](int64_t V) { return std::clamp(V, -kCoordinateLimit, kCoordinateLimit); };
    L = clamp(Left), T = clamp(Top), R = clamp(Right), B = clamp(Bottom);
    return L < R && T < B;
}

bool TEllipseRows::Span(int64_t Y, int64_t& First, int64_t& Last) const {
    using i128 = __int128;
    if (Y < T || Y >= B) return false;
    const i128 a = R - L, b = B - T, y = Y2(Y);
    if (y * y > b * b) return false;
    // The largest m with (m / a)^2 + (y / b)^2 <= 1.
    const i128 limit = a * a * (b * b - y * y);
    int64_t m = int64_t(std::sqrt(double(limit) / double(b * b)));
    while (i128(m + 1) * (m + 1) * b * b <= limit) ++m;
    while (m > 0 && i128(m) * m * b * b > limit) --m;
    // Pixels whose doubled offset lies in -m .. m.
    First = -FloorHalf(m - L - R + 1);
    Last = FloorHalf(m + L + R - 1);
    return First <= Last;
}

void FillEllipse(TCustomDIBX& Surface, double Left, double Top, double Right, double Bottom, uint8_t Value) {
    TEllipse e;
    if (!e.Setup(Surface, Left, Top, Right, Bottom)) return;
    for (int32_t y = e.Top; y < e.Bottom; ++y) {
        int32_t first, last;
        if (e.Span(Surface, y, first, last)) FillRun(Surface, y, first, last, Value);
    }
}

void FillPie(TCustomDIBX& Surface, double Left, double Top, double Right, double Bottom, double X1, double Y1,
             double X2, double Y2, uint8_t Value) {
    TEllipse e;
    double x1, y1, x2, y2;
    if (!Nearest(X1, x1) || !Nearest(Y1, y1) || !Nearest(X2, x2) || !Nearest(Y2, y2) ||
        !e.Setup(Surface, Left, Top, Right, Bottom))
        return;
    // A radial point on the centre points along the x axis.
    const auto radial = [&](double X, double Y) {
        const TVector v{2 * int64_t(X) - e.Rows.CentreX2(), e.Rows.CentreY2() - 2 * int64_t(Y)};
        return v.X == 0 && v.Y == 0 ? TVector{1, 0} : v;
    };
    const TSector sector(radial(x1, y1), radial(x2, y2));
    for (int32_t y = e.Top; y < e.Bottom; ++y) {
        int32_t first, last;
        if (!e.Span(Surface, y, first, last)) continue;
        int32_t run = -1;
        for (int32_t x = first; x <= last; ++x) {
            const bool inside = sector.Holds({e.X2(x), e.Y2(y)});
            if (inside && run < 0) run = x;
            if (!inside && run >= 0) {
                FillRun(Surface, y, run, x - 1, Value);
                run = -1;
            }
        }
        if (run >= 0) FillRun(Surface, y, run, last, Value);
    }
}
