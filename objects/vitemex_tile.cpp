// Tiles: the source, the five ways a tile lays its picture, the origins of its children, the
// film tile track's frame, the record, and the fading ghost.
#include "objects/vitemex_tile.h"

#include "core/sysutils.h"
#include "objects/vitems_kinds.h"

#include <cmath>
#include <limits>

namespace {

// V modulo Size in 0 .. Size - 1 (Size > 0).
int64_t Wrap(int64_t V, int64_t Size) {
    const int64_t r = V % Size;
    return r < 0 ? r + Size : r;
}

// The wrapped draws' offset (1/256 of a destination pixel) that puts picture pixel Scroll on the
// rectangle's edge at Zoom, as the plain wrap puts it.
int32_t QuadOffset(int32_t Scroll, int32_t Size, double Zoom) {
    const double v = double(Wrap(Scroll, Size)) * 256.0 * Zoom;
    if (!(v > 0)) return 0;  // also 0 times an infinite zoom
    return v < std::numeric_limits<int32_t>::max() ? static_cast<int32_t>(std::nearbyint(v))
                                                    : std::numeric_limits<int32_t>::max();
}

// The first position From + k * Step (k >= 0) at which a copy Size long reaches past Edge.
int64_t FirstReaching(int64_t From, int64_t Step, int64_t Size, int64_t Edge) {
    if (From + Size > Edge) return From;
    return From + ((Edge - From - Size) / Step + 1) * Step;
}

}  // namespace

TVelaTile::TVelaTile(TVelaBaseList* AOwner, bool UniqueName)
    : TVelaCustomImages(AOwner, UniqueName), ImageList(std::make_unique<TVelaImageList>()) {}

TVelaTile::~TVelaTile() {
    Invalidate();
    DropPictures();
}

void TVelaTile::SetSource(const std::string& S) {
    if (S == Source) return;
    Invalidate();
    Source = S;
    ShowFrame(-1);
    DropPictures();
    if (Surface) Surface->Clear();
    ImageList->Clear();
    FreeMotion();
    const std::string kind = AnsiLowerCase(ExtractFileExt(S));
    if (kind == ".mra")
        ImageList->LoadImage(S, false);
    else if (kind == ".vmt")
        LoadFilm(S);
    if (ImageList->Count() > 0) ShowFrame(0);
}

// ---- Origins ----

TPoint TVelaTile::GetOrigin() const {
    if (GetMotion()) return {GetControlValue(), GetControlValue2()};
    const TPoint parent = ParentOrigin();
    return {GetLeft() + parent.X, GetTop() + parent.Y};
}

int32_t TVelaTile::GetOriginX2() const { return GetMotion() ? GetControlValue() : GetLeft(); }
int32_t TVelaTile::GetOriginY2() const { return GetMotion() ? GetControlValue2() : GetTop(); }

// ---- Drawing ----

// Unspaced: the plain wrap when nothing blends, keys, masks or zooms, else the zoomed wrap.
// Spaced: copies of the content rectangles at zoom 1, else the stretched tiling.
void TVelaTile::DrawImage() {
    TCustomDIBX* dest = GetLayerSurface();
    TCustomDIBX* s = GetSurface();
    if (!dest || !s || s->GetEmpty() || Alpha < 1 || GetWidth() < 1 || GetHeight() < 1 || !(FloatZoomX > 0) ||
        !(FloatZoomY > 0))
        return;
    TCustomDIBX* m = GetSourceSurface();
    const bool keyed = s->TransparentColor != -1;
    const TRect r = PlainBounds();
    const int32_t w = s->GetWidth(), h = s->GetHeight();
    const bool spacedX = DistanceX > 0 && DistanceX >= w / 2, spacedY = DistanceY > 0 && DistanceY >= h / 2;
    const int32_t stepX = spacedX ? DistanceX : w, stepY = spacedY ? DistanceY : h;
    const double zx = double(FloatZoomX), zy = double(FloatZoomY);
    const bool unscaled = FloatZoomX == 1 && FloatZoomY == 1;
    if (!spacedX && !spacedY) {
        if (unscaled && !keyed && !m && Alpha == 255) {
            dest->DrawWrap(r, *s, ScrollX, ScrollY, FlipH, FlipV);
            return;
        }
        const int32_t ox = QuadOffset(ScrollX, w, zx), oy = QuadOffset(ScrollY, h, zy);
        if (m)
            dest->DrawQuadMask(r, *s, zx, zy, ox, oy, FlipH, FlipV, *m, Alpha);
        else
            dest->DrawQuad(r, *s, zx, zy, ox, oy, keyed, FlipH, FlipV, Alpha);
    } else if (unscaled && !s->Rects1.empty()) {
        DrawSpaced(*dest, *s, m, r, stepX, stepY);
    } else if (m) {
        dest->StretchDrawTileMask(r, stepX, stepY, zx, zy, *s, s->GetBoundsRect(), *m, FlipH, FlipV, Alpha, ScrollX,
                                  ScrollY);
    } else {
        dest->StretchDrawTile(r, stepX, stepY, zx, zy, *s, s->GetBoundsRect(), keyed, FlipH, FlipV, Alpha, ScrollX,
                              ScrollY);
    }
}

void TVelaTile::DrawSpaced(TCustomDIBX& Dest, TCustomDIBX& S, TCustomDIBX* M, const TRect& R, int32_t StepX,
                           int32_t StepY) {
    const TRect saved = Dest.GetClipRect();
    const TRect clip = IntersectRects(saved, R);
    if (RectIsEmpty(clip)) return;
    Dest.ClearClipRect();
    Dest.UnionClipRect(clip);
    // The pattern's shift: the scroll modulo the step, a negative scroll counted from the step.
    auto shift = [](int64_t Scroll, int64_t Step) { return Scroll >= 0 ? Scroll % Step : Step - (-Scroll) % Step; };
    const int64_t ox = shift(ScrollX, StepX), oy = shift(ScrollY, StepY);
    const int32_t w = S.GetWidth(), h = S.GetHeight();
    for (const TRect& c : S.Rects1) {
        const int64_t cw = int64_t(c.Right) - c.Left, ch = int64_t(c.Bottom) - c.Top;
        if (cw <= 0 || ch <= 0) continue;
        // Only the copies that meet the clip rectangle are drawn.
        const int64_t x0 = int64_t(R.Left) + (FlipH ? w - c.Right : c.Left) - ox;
        const int64_t y0 = int64_t(R.Top) + (FlipV ? h - c.Bottom : c.Top) - oy;
        for (int64_t y = FirstReaching(y0, StepY, ch, clip.Top); y < clip.Bottom; y += StepY)
            for (int64_t x = FirstReaching(x0, StepX, cw, clip.Left); x < clip.Right; x += StepX)
                DrawBlended(Dest, int32_t(x), int32_t(y), S, c, M, FlipH, FlipV, Alpha);
    }
    Dest.ClearClipRect();
    Dest.UnionClipRect(saved);
}

TVelaCustomImage* TVelaTile::NewBlurCopy() {
    auto* ghost = new TVelaBlurTile(Owner, false);
    ghost->AttachSource(*this);
    return ghost;
}

// ---- Film frames ----

void TVelaTile::ApplyFrame(TVelaControl* AOwnerObject, TCustomDIBX* Bitmap, TCustomDIBX* MaskBitmap,
                           int32_t FrameValue, int32_t SubKey, int32_t ADistanceX, int32_t ADistanceY, bool AFlipH,
                           bool AFlipV, int32_t X, int32_t Y, int32_t AWidth, int32_t AHeight, int32_t AOffsetX,
                           int32_t AOffsetY, long double ZoomX, long double ZoomY, int32_t AAlpha, int32_t AScrollX,
                           int32_t AScrollY, const TRect& Clip) {
    SetWidth(AWidth);
    SetHeight(AHeight);
    if (AOwnerObject) SetParent(AOwnerObject);
    SetSurface(Bitmap);
    SetSourceSurface(MaskBitmap);
    SetTransColor(FrameValue);
    if (Bitmap) Bitmap->TransparentColor = FrameValue < 0 ? -1 : Bitmap->ColorToPixel(FrameValue);
    SetFloatzoomx(ZoomX);
    SetFloatzoomy(ZoomY);
    SetPriority(SubKey);
    SetDistancex(ADistanceX);
    SetDistancey(ADistanceY);
    SetFliph(AFlipH);
    SetFlipv(AFlipV);
    SetOffsetx(AOffsetX);
    SetOffsety(AOffsetY);
    SetLeft(X);
    SetTop(Y);
    SetAlpha(AAlpha);
    SetScrollx(AScrollX);
    SetScrolly(AScrollY);
    SetClipRect(Clip);
}

// ---- The record ----

void TVelaTile::SaveToStream(TStream& Stream) {
    TVelaCustomImages::SaveToStream(Stream);
    WriteStreamInt(Stream, ScrollX);
    WriteStreamInt(Stream, ScrollY);
    WriteStreamString(Stream, Source);
    WriteStreamString(Stream, OnIdle);
    WriteStreamInt(Stream, DistanceX);
    WriteStreamInt(Stream, DistanceY);
}

void TVelaTile::LoadFromStream(TStream& Stream, int32_t Version) {
    TVelaCustomImages::LoadFromStream(Stream, Version);
    ScrollX = ReadStreamInt(Stream);
    ScrollY = ReadStreamInt(Stream);
    SetSource(ReadStreamString(Stream));
    OnIdle = ReadStreamString(Stream);
    DistanceX = ReadStreamInt(Stream);
    DistanceY = ReadStreamInt(Stream);
}

