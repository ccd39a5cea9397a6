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

void FillEllipse(TCustomDIBX& Surface, double Left, double Top, double Right, double Bottom, uint8_t Value);
void FillPie(TCustomDIBX& Surface, double Left, double Top, double Right, double Bottom, double X1, double Y1,
             double X2, double Y2, uint8_t Value);
