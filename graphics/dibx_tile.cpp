// The wrapped and tiled draws of TCustomDIBX. The wrapped draws repeat the whole source surface
// from a position inside it; the tile draws lay whole copies of a source rectangle side by side
// through the unscaled draws, with the clip rectangle narrowed to the filled rectangle meanwhile.
#include "graphics/dibx.h"
#include "graphics/dibx_pixel.h"
#include "graphics/dibx_rows.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

using namespace dibx;

namespace {

// V modulo Size in 0 .. Size - 1.
int64_t Wrap(int64_t V, int64_t Size) {
    const int64_t r = V % Size;
    return r < 0 ? r + Size : r;
}

}  // namespace

// ---- Wrapped copy ----

void TCustomDIBX::DrawWrap(const TRect& DestRect, TCustomDIBX& Source, int32_t OffsetX, int32_t OffsetY, bool MirrorX,
                           bool MirrorY) {
    const int32_t w = Source.GetWidth(), h = Source.GetHeight();
    if (w <= 0 || h <= 0 || GetBitCount() < 8 || Source.BytesPerPixel() != BytesPerPixel()) return;
    TRect r = DestRect;
    int32_t cutX = 0, cutY = 0;
    if (!ClipRectToClip(r, cutX, cutY)) return;
    const int32_t ox = int32_t(Wrap(int64_t(OffsetX) + cutX, w)), oy = int32_t(Wrap(int64_t(OffsetY) + cutY, h));
    const int n = BytesPerPixel();
    const TDrawLocks locks(*this, r.Left, r.Top, Source, 0, 0);
    if (!locks.Ok()) return;
    const ptrdiff_t sstep = Source.GetNextLine();
    int32_t sy = MirrorY ? h - 1 - oy : oy;
    uint8_t* drow = locks.Dest();
    for (int32_t y = r.Top; y < r.Bottom; ++y, drow += GetNextLine()) {
        const uint8_t* srow = locks.Source() + sy * sstep;
        // Runs up to the source's edge, then from its other edge again.
        uint8_t* d = drow;
        int32_t sx = MirrorX ? w - 1 - ox : ox;
        for (int32_t left = r.Right - r.Left; left > 0;) {
            const int32_t run = std::min(left, MirrorX ? sx + 1 : w - sx);
            if (MirrorX)
                for (int32_t i = 0; i < run; ++i)
                    std::memcpy(d + ptrdiff_t(i) * n, srow + ptrdiff_t(sx - i) * n, size_t(n));
            else
                std::memmove(d, srow + ptrdiff_t(sx) * n, size_t(run) * size_t(n));
            d += ptrdiff_t(run) * n;
            left -= run;
            sx = MirrorX ? w - 1 : 0;
        }
        sy = MirrorY ? (sy == 0 ? h - 1 : sy - 1) : (sy + 1 == h ? 0 : sy + 1);
    }
}

void TCustomDIBX::DrawWrapFrame(const TRect& Rect, int32_t Thickness, TCustomDIBX& Source, const TRect&, bool,
                                int32_t OffsetX, int32_t OffsetY) {
    const int32_t w = Rect.Right - Rect.Left, h = Rect.Bottom - Rect.Top;
    for (const TRect& strip :
         {Bounds(Rect.Left, Rect.Top, w, Thickness), Bounds(Rect.Left, Rect.Bottom - Thickness, w, Thickness),
          Bounds(Rect.Left, Rect.Top, Thickness, h), Bounds(Rect.Right - Thickness, Rect.Top, Thickness, h)})
        DrawWrap(strip, Source, OffsetX, OffsetY, false, false);
}

// ---- Zoomed wrapped draws ----

namespace {

// 16.16 positions along one axis of the repeated pattern, kept in 0 .. Period - 1.
struct TWrapAxis {
    int64_t Start, Step, Period;

    int64_t Next(int64_t P) const {
        P += Step;
        return P >= Period ? P - Period : P < 0 ? P + Period : P;
    }
};

// The axis of a pattern Size pixels long zoomed by Zoom, its position Offset in 1/256 of a
// destination pixel (a period is 256 * Size * Zoom); mirrored, the positions run backward.
TWrapAxis MakeAxis(int32_t Size, double Zoom, int64_t Offset, bool Mirror) {
    TWrapAxis a;
    a.Period = int64_t(Size) * 65536;
    a.Step = int64_t(std::min(65536.0 / Zoom, double(a.Period)));
    if (Mirror) a.Step = -a.Step;
    const double q = double(Offset) / (256.0 * Size * Zoom);
    double x0 = std::isfinite(q) ? (q - std::trunc(q)) * Size : 0;
    if (Offset < 0) x0 += Size;
    if (Mirror) x0 = Size - x0;
    if (x0 >= Size) x0 -= Size;
    a.Start = Wrap(int64_t(std::nearbyint(x0 * 65536.0)), a.Period);
    return a;
}

// Fills DestRect with the whole of S (cut to the mask) repeated and zoomed, each pixel by the
// rule of kind K, one column table for every kMaxColumns destination columns.
template <TKind K, bool Masked>
void RunQuad(TCustomDIBX& D, const TRect& DestRect, TCustomDIBX& S, double ZoomX, double ZoomY, int32_t OffsetX,
             int32_t OffsetY, bool MirrorX, bool MirrorY, TCustomDIBX* Mask, const TWeights& W) {
    if (!std::isfinite(ZoomX) || !(ZoomX > 0) || !std::isfinite(ZoomY) || !(ZoomY > 0)) return;
    if (S.BytesPerPixel() != D.BytesPerPixel() || (Masked && Mask->GetBitCount() != 8)) return;
    int32_t w = S.GetWidth(), h = S.GetHeight();
    if (Masked) w = std::min(w, Mask->GetWidth()), h = std::min(h, Mask->GetHeight());
    if (w <= 0 || h <= 0) return;
    TRect r = DestRect;
    int32_t cutX = 0, cutY = 0;
    if (!D.ClipRectToClip(r, cutX, cutY)) return;
    // The cut is whole destination pixels, the offsets 1/256 of one.
    const TWrapAxis ax = MakeAxis(w, ZoomX, int64_t(OffsetX) + int64_t(cutX) * 256, MirrorX);
    const TWrapAxis ay = MakeAxis(h, ZoomY, int64_t(OffsetY) + int64_t(cutY) * 256, MirrorY);
    // A plain copy repeats the row above where that samples the same source row.
    const bool plainCopy = K == TKind::Copy && !W.Keyed;
    WithFormat(D, [&](auto Ch, auto Bytes) {
        constexpr int N = decltype(Bytes)::value;
        const TDrawLocks locks(D, r.Left, r.Top, S, 0, 0, Masked ? Mask : nullptr);
        if (!locks.Ok()) return;
        const ptrdiff_t dstep = D.GetNextLine(), sstep = S.GetNextLine(), mstep = Masked ? Mask->GetNextLine() : 0;
        int32_t columns[kMaxColumns];
        int64_t colPos = ax.Start;
        for (int32_t left = r.Left; left < r.Right; left += kMaxColumns) {
            const int32_t width = std::min(r.Right - left, kMaxColumns);
            for (int32_t k = 0; k < width; ++k, colPos = ax.Next(colPos)) columns[k] = int32_t(colPos >> 16);
            uint8_t* drow = locks.Dest() + ptrdiff_t(left - r.Left) * N;
            int64_t rowPos = ay.Start;
            ptrdiff_t above = -1;
            for (int32_t y = r.Top; y < r.Bottom; ++y, drow += dstep, rowPos = ay.Next(rowPos)) {
                const ptrdiff_t sy = ptrdiff_t(rowPos >> 16);
                if (plainCopy && sy == above)
                    std::memmove(drow, drow - dstep, size_t(width) * N);
                else
                    SampledRow<K, Masked, N>(Ch, W, drow, locks.Source() + sy * sstep,
                                             Masked ? locks.Mask() + sy * mstep : nullptr, columns, width);
                above = sy;
            }
        }
    });
}

// The kind of a blend value: 1..254 blends, 255 copies (through a mask: blends by the mask
// value), 256 and above adds with intensity Blend - 256, at most 255; nothing at weight 0.
template <bool Masked>
void Quad(TCustomDIBX& D, const TRect& DestRect, TCustomDIBX& S, double ZoomX, double ZoomY, int32_t OffsetX,
          int32_t OffsetY, bool MirrorX, bool MirrorY, TCustomDIBX* Mask, bool Transparent, int32_t Blend) {
    const bool add = Blend >= 256;
    const TWeights w{Transparent, uint32_t(S.TransparentColor),
                     add ? ClampWeight(Blend - 256, 255) : ClampWeight(Blend, 255)};
    if (w.Weight == 0) return;
    if (add)
        RunQuad<TKind::Add, Masked>(D, DestRect, S, ZoomX, ZoomY, OffsetX, OffsetY, MirrorX, MirrorY, Mask, w);
    else if (!Masked && w.Weight == 255)
        RunQuad<TKind::Copy, false>(D, DestRect, S, ZoomX, ZoomY, OffsetX, OffsetY, MirrorX, MirrorY, Mask, w);
    else
        RunQuad<TKind::Blend, Masked>(D, DestRect, S, ZoomX, ZoomY, OffsetX, OffsetY, MirrorX, MirrorY, Mask, w);
}

}  // namespace

void TCustomDIBX::DrawQuad(const TRect& DestRect, TCustomDIBX& Source, double ZoomX, double ZoomY, int32_t OffsetX,
                           int32_t OffsetY, bool Transparent, bool MirrorX, bool MirrorY, int32_t Blend) {
    Quad<false>(*this, DestRect, Source, ZoomX, ZoomY, OffsetX, OffsetY, MirrorX, MirrorY, nullptr, Transparent, Blend);
}

void TCustomDIBX::DrawQuadMask(const TRect& DestRect, TCustomDIBX& Source, double ZoomX, double ZoomY, int32_t OffsetX,
                               int32_t OffsetY, bool MirrorX, bool MirrorY, TCustomDIBX& Mask, int32_t Blend) {
    Quad<true>(*this, DestRect, Source, ZoomX, ZoomY, OffsetX, OffsetY, MirrorX, MirrorY, &Mask, false, Blend);
}

// ---- Tiles ----

namespace {

// One copy of the source along an axis: destination position, first source pixel, length.
struct TPiece {
    int32_t Pos, Src, Len;
};

// The copies along one axis of a tiled fill of [From, To): the first starts Origin (modulo the
// source length) into the source and runs to its end, the others are whole, Gap pixels apart,
// the last cut at To. Copies wholly before VisibleFrom or from VisibleTo on are left out.
std::vector<TPiece> TilePieces(int32_t From, int32_t To, int32_t VisibleFrom, int32_t VisibleTo, int32_t SrcFrom,
                               int64_t Size, int32_t Origin, int32_t Gap) {
    std::vector<TPiece> pieces;
    auto add = [&](int64_t Pos, int64_t Src, int64_t Len) {
        Len = std::min(Len, int64_t(To) - Pos);
        if (Pos + Len > VisibleFrom) pieces.push_back({int32_t(Pos), int32_t(Src), int32_t(Len)});
    };
    const int64_t first = Wrap(Origin, Size), firstLen = Size - first;
    add(From, SrcFrom + first, firstLen);
    const int64_t period = Size + Gap, end = std::min(To, VisibleTo);
    if (period <= 0) return pieces;  // copies that would not move on
    int64_t pos = int64_t(From) + std::min(firstLen, int64_t(To) - From) + Gap;
    if (const int64_t before = int64_t(VisibleFrom) - Size - pos; before >= 0) pos += (before / period + 1) * period;
    for (; pos < end; pos += period) add(pos, SrcFrom, Size);
    return pieces;
}

// Calls Tile(x, y, source rectangle) for each copy of SrcRect in a tiled fill of Rect, with the
// clip rectangle narrowed to Rect meanwhile.
template <class F>
void LayTiles(TCustomDIBX& D, const TRect& Rect, int32_t GapX, int32_t GapY, const TRect& SrcRect, int32_t OriginX,
              int32_t OriginY, F&& Tile) {
    const TRect area = IntersectRects(IntersectRects(D.GetClipRect(), D.GetBoundsRect()), Rect);
    const int64_t sw = int64_t(SrcRect.Right) - SrcRect.Left, sh = int64_t(SrcRect.Bottom) - SrcRect.Top;
    if (RectIsEmpty(area) || sw <= 0 || sh <= 0) return;
    const std::vector<TPiece> cols =
        TilePieces(Rect.Left, Rect.Right, area.Left, area.Right, SrcRect.Left, sw, OriginX, GapX);
    const std::vector<TPiece> rows =
        TilePieces(Rect.Top, Rect.Bottom, area.Top, area.Bottom, SrcRect.Top, sh, OriginY, GapY);
    TClipGuard clip(D, area);
    for (const TPiece& row : rows)
        for (const TPiece& col : cols) Tile(col.Pos, row.Pos, Bounds(col.Src, row.Src, col.Len, row.Len));
}

}  // namespace

void TCustomDIBX::DrawTile(const TRect& Rect, int32_t GapX, int32_t GapY, TCustomDIBX& Source, const TRect& SrcRect,
                           bool Transparent, int32_t OriginX, int32_t OriginY) {
    LayTiles(*this, Rect, GapX, GapY, SrcRect, OriginX, OriginY,
             [&](int32_t X, int32_t Y, const TRect& R) { Draw(X, Y, Source, R, Transparent, false, false); });
}

void TCustomDIBX::DrawTileAlpha(const TRect& Rect, int32_t GapX, int32_t GapY, TCustomDIBX& Source,
                                const TRect& SrcRect, bool Transparent, int32_t Alpha, int32_t OriginX,
                                int32_t OriginY) {
    LayTiles(*this, Rect, GapX, GapY, SrcRect, OriginX, OriginY, [&](int32_t X, int32_t Y, const TRect& R) {
        DrawAlpha(X, Y, Source, R, Transparent, false, false, Alpha);
    });
}

void TCustomDIBX::DrawTileAdd(const TRect& Rect, int32_t GapX, int32_t GapY, TCustomDIBX& Source, const TRect& SrcRect,
                              bool Transparent, int32_t Intensity, int32_t OriginX, int32_t OriginY) {
    LayTiles(*this, Rect, GapX, GapY, SrcRect, OriginX, OriginY, [&](int32_t X, int32_t Y, const TRect& R) {
        DrawAdd(X, Y, Source, R, Transparent, false, false, Intensity);
    });
}

void TCustomDIBX::DrawTileMask(const TRect& Rect, int32_t GapX, int32_t GapY, TCustomDIBX& Source, const TRect& SrcRect,
                               TCustomDIBX& Mask, int32_t OriginX, int32_t OriginY) {
    LayTiles(*this, Rect, GapX, GapY, SrcRect, OriginX, OriginY,
             [&](int32_t X, int32_t Y, const TRect& R) { DrawMask(X, Y, Source, R, false, false, Mask); });
}

void TCustomDIBX::DrawTileAlphaMask(const TRect& Rect, int32_t GapX, int32_t GapY, TCustomDIBX& Source,
                                    const TRect& SrcRect, TCustomDIBX& Mask, int32_t Alpha, int32_t OriginX,
                                    int32_t OriginY) {
    LayTiles(*this, Rect, GapX, GapY, SrcRect, OriginX, OriginY,
             [&](int32_t X, int32_t Y, const TRect& R) { DrawAlphaMask(X, Y, Source, R, false, false, Mask, Alpha); });
}

void TCustomDIBX::DrawTileAddMask(const TRect& Rect, int32_t GapX, int32_t GapY, TCustomDIBX& Source,
                                  const TRect& SrcRect, TCustomDIBX& Mask, int32_t Intensity, int32_t OriginX,
                                  int32_t OriginY) {
    LayTiles(*this, Rect, GapX, GapY, SrcRect, OriginX, OriginY, [&](int32_t X, int32_t Y, const TRect& R) {
        DrawAddMask(X, Y, Source, R, false, false, Mask, Intensity);
    });
}
