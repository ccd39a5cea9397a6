#pragma once
// Filled ellipses and pies on 8-bit surfaces (the masks of screen transitions), drawn as a
// solid pen of width 1 with a solid brush of the same value:
// - the shape lies in the bounding box (Left, Top) .. (Right, Bottom), right and bottom
//   exclusive; its outline is included;
// - a pixel is drawn when its centre lies inside the ellipse inscribed in the box;
// - a pie is the part of that ellipse swept counter-clockwise as seen on the screen, from the ray
//   through (X1, Y1) to the ray through (X2, Y2), both rays from the box's centre; two rays of
//   the same direction sweep nothing;
// - every coordinate is first rounded to the nearest integer, halves to even; a coordinate that
//   is not finite draws nothing.
// Drawing stays inside the surface's clip rectangle.
#include <cstdint>

class TCustomDIBX;

// The rows of a filled ellipse, the one rule FillEllipse and the image-map regions share: the
// pixels of the ellipse inscribed in the box (Left, Top) .. (Right, Bottom), right and bottom
// exclusive, whose centres lie inside it. Coordinates are clamped to +-2^28 first.
class TEllipseRows {
public:
    // False for an empty box.
    bool Setup(int64_t Left, int64_t Top, int64_t Right, int64_t Bottom);
    // The rows the box covers: Top .. Bottom - 1.
    int64_t GetTop() const { return T; }
    int64_t GetBottom() const { return B; }
    // The columns First .. Last (inclusive) of row Y whose centres lie inside; false for none.
    bool Span(int64_t Y, int64_t& First, int64_t& Last) const;
    // Doubled offsets from the centre (y upwards): pixel (x, y) sits at (X2(x), Y2(y)) / 2.
    int64_t X2(int64_t X) const { return 2 * X + 1 - CentreX2(); }
    int64_t Y2(int64_t Y) const { return CentreY2() - 2 * Y - 1; }
    // The centre, doubled.
    int64_t CentreX2() const { return L + R; }
    int64_t CentreY2() const { return T + B; }

private:
    int64_t L = 0, T = 0, R = 0, B = 0;
};

void FillEllipse(TCustomDIBX& Surface, double Left, double Top, double Right, double Bottom, uint8_t Value);
void FillPie(TCustomDIBX& Surface, double Left, double Top, double Right, double Bottom, double X1, double Y1,
             double X2, double Y2, uint8_t Value);
