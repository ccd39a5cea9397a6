// The rotated and zoomed draws of TCustomDIBX. Each destination pixel maps back to a source
// position: u = CenterX + (x - X) c / ZoomX + (y - Y) s / ZoomX, v = CenterY - (x - X) s / ZoomY +
// (y - Y) c / ZoomY, with s and c the sine and cosine of the angle. The plain and masked draws
// step that position in 16.16 fixed point (64 bits, so far-off geometry cannot wrap around) and
// sample one pixel; the smoothed draw takes four samples per pixel in floating point.
#include "graphics/dibx.h"
#include "graphics/dibx_pixel.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

using namespace dibx;

namespace {

bool UsableZoom(double Z) { return std::isfinite(Z) && Z > 0; }

// The destination box of a rotated draw cut to the clip rectangle, and the part of SrcRect that
// can be read (inside the source and the 8-bit mask). False when nothing can be drawn.
bool PrepareRotation(const TCustomDIBX& D, int32_t X, int32_t Y, double ZoomX, double ZoomY, const TCustomDIBX& S,
                     const TRect& SrcRect, int32_t CenterX, int32_t CenterY, double Angle, const TCustomDIBX* Mask,
                     bool TrimBox, TRect& Dest, TRect& Readable) {
    if (!UsableZoom(ZoomX) || !UsableZoom(ZoomY) || !std::isfinite(Angle) || D.GetBitCount() < 15) return false;
    if (S.BytesPerPixel() != D.BytesPerPixel() || (Mask && Mask->GetBitCount() != 8)) return false;
    TRect box = TCustomDIBX::CalcRotateZoomBounds(X, Y, CenterX, CenterY, SrcRect, Angle, ZoomX, ZoomY, false, false);
    // The single-sample draws stop one pixel short of the box's right and bottom edges.
    if (TrimBox) box = {box.Left, box.Top, box.Right - 1, box.Bottom - 1};
    Dest = IntersectRects(box, IntersectRects(D.GetClipRect(), D.GetBoundsRect()));
    Readable = IntersectRects(SrcRect, S.GetBoundsRect());
    if (Mask) Readable = IntersectRects(Readable, Mask->GetBoundsRect());
    return !RectIsEmpty(Dest) && !RectIsEmpty(Readable);
}

// Runs Pixel(Channels, bytes per pixel constant, uint8_t* d, uint32_t s, uint32_t m) for every
// destination pixel whose 16.16 sample lies in the readable part of SrcRect; m is the mask value
// there, 255 without a mask.
template <class F>
void WalkRotated(TCustomDIBX& D, int32_t X, int32_t Y, double ZoomX, double ZoomY, TCustomDIBX& S, const TRect& SrcRect,
                 int32_t CenterX, int32_t CenterY, double Angle, bool MirrorX, bool MirrorY, TCustomDIBX* Mask,
                 F&& Pixel) {
    TRect dest, readable;
    if (!PrepareRotation(D, X, Y, ZoomX, ZoomY, S, SrcRect, CenterX, CenterY, Angle, Mask, true, dest, readable))
        return;
    const double s = std::sin(Angle), c = std::cos(Angle);
    auto fixed = [](double V) { return int64_t(std::clamp(V * 65536.0, -9.0e15, 9.0e15)); };
    const int64_t xCol = fixed(c / ZoomX), yCol = fixed(-s / ZoomY), xRow = fixed(s / ZoomX), yRow = fixed(c / ZoomY);
    WithFormat(D, [&](auto Ch, auto Bytes) {
        constexpr int N = decltype(Bytes)::value;
        const TDrawLocks locks(D, dest.Left, dest.Top, S, readable.Left, readable.Top, Mask, readable.Left,
                               readable.Top);
        if (!locks.Ok()) return;
        const ptrdiff_t sstep = S.GetNextLine(), mstep = Mask ? Mask->GetNextLine() : 0;
        const uint8_t* sbase = locks.Source();
        const uint8_t* mbase = locks.Mask();
        uint8_t* drow = locks.Dest();
        for (int32_t y = dest.Top; y < dest.Bottom; ++y, drow += D.GetNextLine()) {
            const int64_t dx = int64_t(dest.Left) - X, dy = int64_t(y) - Y;
            int64_t fx = int64_t(CenterX) * 65536 + dx * xCol + dy * xRow;
            int64_t fy = int64_t(CenterY) * 65536 + dx * yCol + dy * yRow;
            for (int32_t x = 0; x < dest.Right - dest.Left; ++x, fx += xCol, fy += yCol) {
                if (fx < 0 || fy < 0) continue;
                int64_t sx = fx >> 16, sy = fy >> 16;
                if (MirrorX) sx = int64_t(SrcRect.Right) - sx - 1;
                if (MirrorY) sy = int64_t(SrcRect.Bottom) - sy - 1;
                if (sx < readable.Left || sx >= readable.Right || sy < readable.Top || sy >= readable.Bottom) continue;
                const ptrdiff_t ox = sx - readable.Left, oy = sy - readable.Top;
                Pixel(Ch, Bytes, drow + x * N, Load<N>(sbase + oy * sstep + ox * N),
                      mbase ? mbase[oy * mstep + ox] : 255u);
            }
        }
    });
}

}  // namespace

void TCustomDIBX::DrawRotate(int32_t X, int32_t Y, double ZoomX, double ZoomY, TCustomDIBX& Source,
                             const TRect& SrcRect, int32_t CenterX, int32_t CenterY, double Angle, bool Transparent,
                             bool MirrorX, bool MirrorY, int32_t Blend) {
    if (Blend <= 0) return;
    const uint32_t blend = ClampWeight(Blend, 511);
    const uint32_t key = uint32_t(Source.TransparentColor);
    WalkRotated(*this, X, Y, ZoomX, ZoomY, Source, SrcRect, CenterX, CenterY, Angle, MirrorX, MirrorY, nullptr,
                [&](const auto& Ch, auto Bytes, uint8_t* d, uint32_t sv, uint32_t) {
                    constexpr int N = decltype(Bytes)::value;
                    if (Transparent && sv == key) return;
                    if (blend == 255)
                        Store<N>(d, sv);
                    else if (blend < 255)
                        Store<N>(d, Ch.Blend(Load<N>(d), sv, blend));
                    else
                        Store<N>(d, Ch.Add(Load<N>(d), sv, blend - 256));
                });
}

void TCustomDIBX::DrawRotateMask(int32_t X, int32_t Y, double ZoomX, double ZoomY, TCustomDIBX& Source,
                                 const TRect& SrcRect, int32_t CenterX, int32_t CenterY, double Angle, bool MirrorX,
                                 bool MirrorY, TCustomDIBX& Mask, int32_t Alpha) {
    if (Alpha <= 0) return;
    const bool add = Alpha >= 256;
    const uint32_t a = add ? ClampWeight(Alpha - 256, 255) : uint32_t(Alpha);
    WalkRotated(*this, X, Y, ZoomX, ZoomY, Source, SrcRect, CenterX, CenterY, Angle, MirrorX, MirrorY, &Mask,
                [&](const auto& Ch, auto Bytes, uint8_t* d, uint32_t sv, uint32_t m) {
                    constexpr int N = decltype(Bytes)::value;
                    // Unmirrored rows of 32 bits, and of 15/16 bits at full opacity, run as packed
                    // rows: there a full mask value takes the opacity itself, and full weight copies.
                    const bool packed = !MirrorX && !MirrorY && (N == 4 || (N == 2 && a == 255 && !add));
                    if (m == 0) return;
                    const uint32_t w = packed && m == 255 ? a : a == 255 ? m : a * m / 256;
                    if (add)
                        Store<N>(d, Ch.Add(Load<N>(d), sv, w));
                    else if (packed && w == 255)
                        Store<N>(d, sv);
                    else
                        Store<N>(d, Ch.Blend(Load<N>(d), sv, w));
                });
}

namespace {

// A colour channel of a destination format: its mask and the position of its lowest bit.
struct TField {
    uint32_t Mask;
    int Shift;
};

// Blue, green and red of a 15/16-bit surface by its masks, of 24 and 32 bits as the low three bytes.
void ColourFields(const TCustomDIBX& D, TField (&F)[3]) {
    const bool packed16 = D.BytesPerPixel() == 2;
    const uint32_t masks[3] = {packed16 ? D.GetBBitMask() : 0x0000FF, packed16 ? D.GetGBitMask() : 0x00FF00,
                               packed16 ? D.GetRBitMask() : 0xFF0000};
    for (int i = 0; i < 3; ++i) F[i] = {masks[i], masks[i] ? std::countr_zero(masks[i]) : 0};
}

}  // namespace

void TCustomDIBX::DrawRotateZoomMasked(int32_t X, int32_t Y, double ZoomX, double ZoomY, TCustomDIBX& Source,
                                       const TRect& SrcRect, int32_t CenterX, int32_t CenterY, double Angle,
                                       bool MirrorX, bool MirrorY, TCustomDIBX* Mask, int32_t Alpha) {
    if (Alpha <= 0) return;
    TRect dest, readable;
    if (!PrepareRotation(*this, X, Y, ZoomX, ZoomY, Source, SrcRect, CenterX, CenterY, Angle, Mask, false, dest,
                         readable))
        return;
    const bool add = Alpha >= 256;
    const uint32_t a = add ? ClampWeight(Alpha - 256, 255) : uint32_t(Alpha);
    const double s = std::sin(Angle), c = std::cos(Angle);
    const double xCol = c / ZoomX, yCol = -s / ZoomY, xRow = s / ZoomX, yRow = c / ZoomY;
    // The four samples of a pixel: a half-pixel grid turned with the picture.
    double subX[4], subY[4];
    for (int j = 0; j < 2; ++j)
        for (int i = 0; i < 2; ++i) {
            subX[j * 2 + i] = (i * std::cos(-Angle) - j * std::sin(-Angle)) / 2;
            subY[j * 2 + i] = (i * std::sin(-Angle) + j * std::cos(-Angle)) / 2;
        }
    TField fields[3];
    ColourFields(*this, fields);
    const int n = BytesPerPixel();
    const TDrawLocks locks(*this, dest.Left, dest.Top, Source, readable.Left, readable.Top, Mask, readable.Left,
                           readable.Top);
    if (!locks.Ok()) return;
    const ptrdiff_t sstep = Source.GetNextLine(), mstep = Mask ? Mask->GetNextLine() : 0;
    // A sample coordinate rounded to the nearest pixel (ties to even), mirrored within SrcRect.
    auto pixelAt = [](double P, bool Mirror, int32_t Far) { return std::nearbyint(Mirror ? Far - 0.5 - P : P); };
    uint8_t* drow = locks.Dest();
    for (int32_t y = dest.Top; y < dest.Bottom; ++y, drow += GetNextLine())
        for (int32_t x = dest.Left; x < dest.Right; ++x) {
            const double dx = double(x) - X, dy = double(y) - Y;
            const double u = CenterX + dx * xCol + dy * xRow, v = CenterY + dx * yCol + dy * yRow;
            uint64_t weight = 0, sums[3] = {0, 0, 0};
            uint32_t count = 0;
            for (int k = 0; k < 4; ++k) {
                const double sx = pixelAt(u - 0.5 + subX[k], MirrorX, SrcRect.Right);
                const double sy = pixelAt(v - 0.5 + subY[k], MirrorY, SrcRect.Bottom);
                if (!(sx >= readable.Left && sx < readable.Right && sy >= readable.Top && sy < readable.Bottom))
                    continue;
                const ptrdiff_t ox = ptrdiff_t(sx) - readable.Left, oy = ptrdiff_t(sy) - readable.Top;
                const uint32_t m = Mask ? locks.Mask()[oy * mstep + ox] : 255;
                if (m == 0) continue;
                uint32_t sv = 0;
                std::memcpy(&sv, locks.Source() + oy * sstep + ox * n, size_t(n));
                weight += m;
                for (int f = 0; f < 3; ++f) sums[f] += uint64_t(m) * ((sv & fields[f].Mask) >> fields[f].Shift);
                ++count;
            }
            if (count == 0) continue;
            uint32_t cover = uint32_t(weight / 4);
            if (a != 255) cover = cover * a / 256;
            uint8_t* d = drow + ptrdiff_t(x - dest.Left) * n;
            uint32_t dv = 0, out = 0;
            std::memcpy(&dv, d, size_t(n));
            for (int f = 0; f < 3; ++f) {
                const uint32_t max = fields[f].Mask >> fields[f].Shift;
                const uint64_t colour = sums[f] / count / 256, dc = (dv & fields[f].Mask) >> fields[f].Shift;
                const uint64_t r = add           ? colour * cover / 256 + dc
                                   : cover < 255 ? (colour * cover + dc * (255 - cover)) / 256
                                                 : colour;
                out |= uint32_t(std::min<uint64_t>(r, max)) << fields[f].Shift;
            }
            std::memcpy(d, &out, size_t(n));
        }
}
