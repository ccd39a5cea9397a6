// Image objects: drawing a picture by blend, zoom, rotation and mirror; the drawn size that
// follows the picture; the hit test through the mask; motion-blur ghosts; the image record.
#include "objects/vitemex_image.h"

#include "core/sysutils.h"
#include "graphics/dibxwave.h"
#include "objects/vitemex_imagelist.h"
#include "objects/vitemex_mira.h"
#include "objects/vitems_kinds.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace {

constexpr long double FullTurn = 2 * std::numbers::pi_v<long double>;

// V truncated toward zero and saturated to the int32 range; NaN gives 0.
int32_t Saturated(long double V) {
    if (!(V == V)) return 0;
    if (V <= std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    if (V >= std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(V);
}

// Num div Den (Den > 0) rounded down, with the remainder 0 .. Den - 1.
int64_t FloorDiv(int64_t Num, int64_t Den, int64_t& Rem) {
    int64_t q = Num / Den;
    Rem = Num % Den;
    if (Rem < 0) {
        --q;
        Rem += Den;
    }
    return q;
}

}  // namespace

// rint rounds as nearbyint does (in the current mode) but inline; the conversion in Saturated
// truncates by itself.
int32_t RoundSat(long double V) { return Saturated(std::rint(V)); }
int32_t TruncSat(long double V) { return Saturated(V); }

TRect MirrorInside(TRect R, int32_t W, int32_t H, bool MirrorX, bool MirrorY) {
    if (MirrorX) R = {W - R.Right, R.Top, W - R.Left, R.Bottom};
    if (MirrorY) R = {R.Left, H - R.Bottom, R.Right, H - R.Top};
    return R;
}

TPoint TurnBack(TPoint P, TPoint At, long double Angle) {
    const long double dx = int64_t(P.X) - At.X, dy = int64_t(P.Y) - At.Y;
    const long double c = std::cos(-Angle), s = std::sin(-Angle);
    return {RoundSat(dx * c - dy * s + At.X), RoundSat(dx * s + dy * c + At.Y)};
}

long double ReadFiniteExtended(TStream& Stream) {
    const long double v = ReadStreamExtended(Stream);
    if (!std::isfinite(v)) throw EReadError();
    return v;
}

// ---- TVelaCustomImage ----

TVelaCustomImage::TVelaCustomImage(TVelaBaseList* AOwner, bool UniqueName)
    : TVelaControl(AOwner, UniqueName), Surface(NewImageSurface()) {}

TVelaCustomImage::~TVelaCustomImage() { Invalidate(); }

// The zoom in 1/256 steps; the unzoomed picture, by far the most common, skips the conversion.
int32_t ZoomSteps(long double Zoom) { return Zoom == 1 ? 256 : TruncSat(Zoom * 256); }

int32_t TVelaCustomImage::GetZoomx() const { return ZoomSteps(FloatZoomX); }
void TVelaCustomImage::SetZoomx(int32_t V) { SetFloatzoomx(V / 256.0L); }
int32_t TVelaCustomImage::GetZoomy() const { return ZoomSteps(FloatZoomY); }
void TVelaCustomImage::SetZoomy(int32_t V) { SetFloatzoomy(V / 256.0L); }

void TVelaCustomImage::MarkSizeDirty() {
    SizeDirty = true;
    for (TVelaControl* child : Placed())
        if (child->GetPoszoomed()) child->SetImageFlag(true);
}

void TVelaCustomImage::SetFloatzoomx(long double V) {
    if (V == FloatZoomX) return;
    Invalidate();
    FloatZoomX = V;
    MarkSizeDirty();
}

void TVelaCustomImage::SetFloatzoomy(long double V) {
    if (V == FloatZoomY) return;
    Invalidate();
    FloatZoomY = V;
    MarkSizeDirty();
}

int32_t TVelaCustomImage::GetAngle() const { return TruncSat(FloatAngle / FullTurn * 255); }
void TVelaCustomImage::SetAngle(int32_t V) { SetFloatangle(V / 255.0L * FullTurn); }
void TVelaCustomImage::SetFloatangle(long double V) { ChangeLook(FloatAngle, V); }

void TVelaCustomImage::SetFliph(bool V) {
    if (V == FlipH) return;
    Invalidate();
    FlipH = V;
    UpdateWidth();
    Invalidate();
}

void TVelaCustomImage::SetFlipv(bool V) {
    if (V == FlipV) return;
    Invalidate();
    FlipV = V;
    UpdateHeight();
    Invalidate();
}

void TVelaCustomImage::SetBlurspan(int32_t V) {
    if (V == BlurSpan) return;
    BlurSpan = V;
    BlurTimer = 0;
    BlurRecord = TakeBlurRecord();
}

void TVelaCustomImage::SetWidth(int32_t V) {
    TVelaControl::SetWidth(V);
    if (SizeFollowsPicture()) FloatZoomX = 0;
}

void TVelaCustomImage::SetHeight(int32_t V) {
    TVelaControl::SetHeight(V);
    if (SizeFollowsPicture()) FloatZoomY = 0;
}

int32_t TVelaCustomImage::GetOrigwidth() const {
    const TCustomDIBX* s = const_cast<TVelaCustomImage*>(this)->GetSurface();
    return s ? s->GetWidth() : 0;
}

int32_t TVelaCustomImage::GetOrigheight() const {
    const TCustomDIBX* s = const_cast<TVelaCustomImage*>(this)->GetSurface();
    return s ? s->GetHeight() : 0;
}

void TVelaCustomImage::SetPoszoomed(bool V) {
    TVelaControl::SetPoszoomed(V);
    MarkSizeDirty();
}

TCustomDIBX* TVelaCustomImage::GetSurface() { return SurfaceOverride ? SurfaceOverride : Surface.get(); }

void TVelaCustomImage::SetSurface(TCustomDIBX* S) {
    Invalidate();
    // A shown picture taken away may be freed by its holder next.
    if (!S && SurfaceOverride) PicturesReleased();
    SurfaceOverride = S;
    Invalidate();
}

TCustomDIBX* TVelaCustomImage::GetSourceSurface() { return MaskOverride ? MaskOverride : Mask.get(); }
void TVelaCustomImage::SetSourceSurface(TCustomDIBX* S) { MaskOverride = S; }

bool TVelaCustomImage::HasPicture() const { return !GetSource().empty() || SurfaceOverride; }

// ---- Geometry ----

// The unturned picture, by far the most common, is told without a call.
bool TVelaCustomImage::IsRotated() const { return FloatAngle != 0 && !IsWholeTurn(FloatAngle); }

double TVelaCustomImage::EffectiveZoomX() const {
    if (FloatZoomX != 0) return static_cast<double>(FloatZoomX);
    const int32_t w = GetOrigwidth();
    return w > 0 ? double(GetWidth()) / w : 1;
}

double TVelaCustomImage::EffectiveZoomY() const {
    if (FloatZoomY != 0) return static_cast<double>(FloatZoomY);
    const int32_t h = GetOrigheight();
    return h > 0 ? double(GetHeight()) / h : 1;
}

TPoint TVelaCustomImage::GetOrigin() const {
    return FloatZoomX == 1 && FloatZoomY == 1 && !FlipH && !FlipV ? UnscaledOrigin() : TVelaControl::GetOrigin();
}

TPoint TVelaCustomImage::RotateDestination() const { return GetScreenPos(); }

TPoint TVelaCustomImage::RotatePivot() const {
    const int32_t w = std::max(1, GetOrigwidth()), h = std::max(1, GetOrigheight());
    return {FlipH ? w - 1 - GetOffsetx() : GetOffsetx(), FlipV ? h - 1 - GetOffsety() : GetOffsety()};
}

TRect TVelaCustomImage::GetRotatedBounds() const {
    const TRect picture{0, 0, std::max(1, GetOrigwidth()), std::max(1, GetOrigheight())};
    const TPoint at = RotateDestination();
    return TCustomDIBX::CalcRotateZoomBounds(at.X, at.Y, GetOffsetx(), GetOffsety(), picture,
                                             static_cast<double>(FloatAngle), EffectiveZoomX(), EffectiveZoomY(),
                                             FlipH, FlipV);
}

TRect TVelaCustomImage::GetBoundsRect() const { return IsRotated() ? GetRotatedBounds() : PlainBounds(); }

// ---- Drawn size ----

// The drawn extent on one axis: kept when set explicitly (zoom 0), 0 without a picture, the
// picture's span on the parent's own surface when placed inside it, else the zoomed picture.
int32_t TVelaCustomImage::DrawnExtent(bool Vertical) {
    const long double zoom = Vertical ? FloatZoomY : FloatZoomX;
    if (zoom == 0) return Vertical ? GetHeight() : GetWidth();
    if (!HasPicture()) return 0;
    TCustomDIBX* own = GetSurface();
    const int32_t ownExtent = own ? (Vertical ? own->GetHeight() : own->GetWidth()) : 0;
    TVelaControl* parent = GetParent();
    TCustomDIBX* parentSurface = nullptr;
    if (GetPoszoomed() && parent && parent->GetBase() != parent && !GetMotion() &&
        zoom == (Vertical ? parent->GetZoomy() : parent->GetZoomx()))
        parentSurface = parent->GetSurface();
    if (!parentSurface) return std::max(1, RoundSat(ownExtent * zoom));

    const int32_t parentExtent = Vertical ? parent->GetHeight() : parent->GetWidth();
    const int32_t surfaceExtent = Vertical ? parentSurface->GetHeight() : parentSurface->GetWidth();
    const int64_t scale =
        parentExtent != 0 ? std::max<int64_t>(1, std::llround(double(surfaceExtent) / parentExtent * 65536)) : 1;
    const int64_t d = Vertical ? int64_t(GetTop()) - GetOffsety() : int64_t(GetLeft()) - GetOffsetx();
    const bool flip = Vertical ? FlipV : FlipH;
    const int64_t nearEdge = flip ? surfaceExtent - d - ownExtent : d;
    const int64_t farEdge = flip ? surfaceExtent - d : d + ownExtent;
    int64_t rem = 0;
    int64_t n = FloorDiv(nearEdge * 65536, scale, rem);
    if (rem > 32767) ++n;
    int64_t f = FloorDiv(farEdge * 65536, scale, rem);
    if (rem > 0) ++f;
    return static_cast<int32_t>(f - n);
}

void TVelaCustomImage::UpdateWidth() {
    if (SizeFollowsPicture()) TVelaControl::SetWidth(DrawnExtent(false));
}

void TVelaCustomImage::UpdateHeight() {
    if (SizeFollowsPicture()) TVelaControl::SetHeight(DrawnExtent(true));
}

// ---- Drawing ----

bool TVelaCustomImage::PictureShown() {
    const TCustomDIBX* s = GetVisible() && GetBase() ? GetSurface() : nullptr;
    return s && !s->GetEmpty();
}

void TVelaCustomImage::Invalidate() {
    if (!LayerWhollyDirty() && PictureShown()) InvalidateArea(GetBoundsRect());
}

void TVelaCustomImage::Prepare() {
    TCustomDIBX* s = GetSurface();
    if (!s || GetWidth() <= 0 || GetHeight() <= 0) return;
    if (!s->GetEmpty()) {
        BeforeDrawImage();
        DrawImage();
        AfterDrawImage();
    }
    TVelaControl::Prepare();
}

// The unscaled draw at (X, Y), once per content rectangle of S when it names any: each draw is
// clipped to its rectangle (mirrored with the picture) within the layer's clip. A wave surface
// takes the whole picture in one draw: a clip there stands still while the rows it shifts move
// sideways out of it.
void TVelaCustomImage::DrawContent(TCustomDIBX& Dest, int32_t X, int32_t Y, TCustomDIBX& S, TCustomDIBX* M) {
    const TRect whole = S.GetBoundsRect();
    if (S.Rects1.empty() || dynamic_cast<TDIBXWave*>(&Dest)) {
        DrawBlended(Dest, X, Y, S, whole, M, FlipH, FlipV, Alpha);
        return;
    }
    const TRect clip = Dest.GetClipRect();
    for (const TRect& content : S.Rects1) {
        TRect r = MirrorInside(content, whole.Right, whole.Bottom, FlipH, FlipV);
        r = IntersectRects({r.Left + X, r.Top + Y, r.Right + X, r.Bottom + Y}, clip);
        if (RectIsEmpty(r)) continue;
        Dest.ClearClipRect();
        Dest.UnionClipRect(r);
        DrawBlended(Dest, X, Y, S, whole, M, FlipH, FlipV, Alpha);
    }
    Dest.ClearClipRect();
    Dest.UnionClipRect(clip);
}

void TVelaCustomImage::DrawImage() {
    TCustomDIBX* s = GetSurface();
    TCustomDIBX* dest = GetLayerSurface();
    if (!s || !dest || Alpha < 1 || GetWidth() < 1 || GetHeight() < 1) return;
    TCustomDIBX* m = GetSourceSurface();
    const bool keyed = s->TransparentColor != -1;
    const bool rotated = IsRotated();
    const bool sameSize = s->GetWidth() == GetWidth() && s->GetHeight() == GetHeight();
    const TRect whole = s->GetBoundsRect();
    if (rotated || (Antialias && !sameSize)) {
        const double angle = static_cast<double>(FloatAngle);
        const TPoint at = RotateDestination(), pivot = RotatePivot();
        if (Antialias)
            dest->DrawRotateZoomMasked(at.X, at.Y, EffectiveZoomX(), EffectiveZoomY(), *s, whole, pivot.X, pivot.Y,
                                       angle, FlipH, FlipV, m, Alpha);
        else if (m)
            dest->DrawRotateMask(at.X, at.Y, EffectiveZoomX(), EffectiveZoomY(), *s, whole, pivot.X, pivot.Y, angle,
                                 FlipH, FlipV, *m, Alpha);
        else
            dest->DrawRotate(at.X, at.Y, EffectiveZoomX(), EffectiveZoomY(), *s, whole, pivot.X, pivot.Y, angle, keyed,
                             FlipH, FlipV, Alpha);
    } else if (sameSize) {
        const TPoint at = GetOrigin();
        DrawContent(*dest, at.X, at.Y, *s, m);
    } else {
        const TRect to = PlainBounds();
        if (Alpha < 256) {
            if (m)
                dest->StretchDrawMask(to, *s, whole, FlipH, FlipV, *m, Alpha);
            else
                dest->StretchDraw(to, *s, whole, keyed, FlipH, FlipV, Alpha);
        } else if (m) {
            dest->StretchDrawAddMask(to, *s, whole, FlipH, FlipV, *m, Alpha - 256);
        } else {
            dest->StretchDrawAdd(to, *s, whole, keyed, FlipH, FlipV, Alpha - 256);
        }
    }
}

// ---- Hit test ----

bool TVelaCustomImage::MaskHit(TCustomDIBX& M, int32_t X, int32_t Y) const {
    const double zx = EffectiveZoomX(), zy = EffectiveZoomY();
    if (!(zx != 0) || !(zy != 0)) return false;
    int32_t px = RoundSat((int64_t(X) - GetOriginX()) / static_cast<long double>(zx));
    int32_t py = RoundSat((int64_t(Y) - GetOriginY()) / static_cast<long double>(zy));
    if (FlipH) px = M.GetWidth() - 1 - px;
    if (FlipV) py = M.GetHeight() - 1 - py;
    if (px < 0 || py < 0 || px >= M.GetWidth() || py >= M.GetHeight()) return CapMaskLevel <= 0;
    return int64_t(M.GetPixel(px, py)) >= CapMaskLevel;
}

TVelaObject* TVelaCustomImage::HitTest(TPoint P, uint32_t InputMask) {
    if (!GetVisible() || !PointInRect(GetBoundsRect(), P.X, P.Y)) return nullptr;
    for (size_t i = Placed().size(); i-- > 0;)
        if (TVelaObject* child = Placed()[i]->HitTest(P, InputMask)) return child;
    const int32_t m = GetIgnoremouse();
    if (m < 0 || m >= 32 || !(InputMask >> m & 1)) return nullptr;
    if (IsRotated()) {
        // The point turned back about the screen position onto the unturned picture.
        P = TurnBack(P, GetScreenPos(), FloatAngle);
        if (!PointInRect(PlainBounds(), P.X, P.Y)) return nullptr;
    }
    TCustomDIBX* mask = GetSourceSurface();
    if (!CaptureMask || !mask) return this;
    return MaskHit(*mask, P.X, P.Y) ? this : nullptr;
}

// ---- The tick ----

TVelaCustomImage::TBlurRecord TVelaCustomImage::TakeBlurRecord() const {
    return {Index, GetLeft(), GetScrollx(), GetScrolly(), FloatAngle, static_cast<long double>(GetTop()), FloatZoomX,
            FloatZoomY};
}

bool TVelaCustomImage::Step() {
    const bool result = TVelaControl::Step();
    if (SizeDirty) {
        SizeDirty = false;
        Invalidate();
        UpdateWidth();
        UpdateHeight();
        Invalidate();
    }
    StepBlur();
    return result;
}

void TVelaCustomImage::StepBlur() {
    if (BlurSpan <= 0 || BlurDelay <= 0) return;
    const TCustomDIBX* s = GetSurface();
    if (!s || s->GetEmpty()) return;
    BlurTimer += static_cast<int32_t>(SceneTickLength());
    if (BlurTimer < BlurSpan) return;
    BlurTimer = 0;
    const TBlurRecord now = TakeBlurRecord();
    if (now == BlurRecord) return;
    if (TVelaCustomImage* ghost = MakeBlurCopy()) {
        ghost->SetLeft(GetLeft());
        ghost->SetTop(GetTop());
        ghost->SetFloatangle(FloatAngle);
        ghost->SetFloatzoomx(FloatZoomX);
        ghost->SetFloatzoomy(FloatZoomY);
        ghost->SetScrollx(GetScrollx());
        ghost->SetScrolly(GetScrolly());
        ghost->SetClipleft(GetClipleft());
        ghost->SetCliptop(GetCliptop());
        ghost->SetClipwidth(GetClipwidth());
        ghost->SetClipheight(GetClipheight());
        ghost->SetFliph(FlipH);
        ghost->SetFlipv(FlipV);
        ghost->SetDistancex(GetDistancex());
        ghost->SetDistancey(GetDistancey());
        ghost->SetOffsetx(GetOffsetx());
        ghost->SetOffsety(GetOffsety());
    }
    BlurRecord = now;
}

TVelaCustomImage* TVelaCustomImage::NewBlurCopy() {
    auto* ghost = new TVelaBlurImage(Owner, false);
    ghost->AttachSource(*this);
    return ghost;
}

TVelaCustomImage* TVelaCustomImage::MakeBlurCopy() {
    if (!Owner) return nullptr;
    TVelaCustomImage* ghost = NewBlurCopy();
    ghost->SetName(MakeUniqueName(*Owner, GetName()));
    // Of this image's order, so that it sorts next to it.
    ghost->SetPriority(GetPriority());
    ghost->SetSubPriority(GetSubPriority());
    ghost->SetParent(GetParent());
    return ghost;
}

// ---- Device loss ----

void TVelaCustomImage::FreePrivateDIBs() {
    PicturesReleased();
    Surface.reset();
    SurfaceOverride = nullptr;
}

void TVelaCustomImage::MakePrivateDIBs() {
    Surface = NewImageSurface();
    TVelaControl::MakePrivateDIBs();
}

// ---- The record ----

// Written in the newest layout; older layouts keep the zooms and the angle as integers and lack
// the later fields.
void TVelaCustomImage::SaveToStream(TStream& Stream) {
    TVelaControl::SaveToStream(Stream);
    WriteStreamInt(Stream, Alpha);
    WriteStreamExtended(Stream, FloatZoomX);
    WriteStreamExtended(Stream, FloatAngle);
    WriteStreamByte(Stream, Antialias);
    WriteStreamByte(Stream, FlipH);
    WriteStreamByte(Stream, FlipV);
    WriteStreamByte(Stream, CaptureMask);
    WriteStreamExtended(Stream, FloatZoomY);
    WriteStreamInt(Stream, BlurSpan);
    WriteStreamInt(Stream, BlurDelay);
    WriteStreamInt(Stream, CapMaskLevel);
}

void TVelaCustomImage::LoadFromStream(TStream& Stream, int32_t Version) {
    TVelaControl::LoadFromStream(Stream, Version);
    Alpha = ReadStreamInt(Stream);
    const bool floats = Version >= 143;
    FloatZoomX = floats ? ReadFiniteExtended(Stream) : ReadStreamInt(Stream) / 256.0L;
    FloatAngle = floats ? ReadFiniteExtended(Stream) : ReadStreamInt(Stream) / 255.0L * FullTurn;
    if (floats) Antialias = ReadStreamByte(Stream) != 0;
    FlipH = ReadStreamByte(Stream) != 0;
    FlipV = ReadStreamByte(Stream) != 0;
    CaptureMask = ReadStreamByte(Stream) != 0;
    if (floats)
        FloatZoomY = ReadFiniteExtended(Stream);
    else
        FloatZoomY = Version >= 104 ? ReadStreamInt(Stream) / 256.0L : 1.0L;
    if (Version >= 140) {
        BlurSpan = ReadStreamInt(Stream);
        BlurDelay = ReadStreamInt(Stream);
    }
    CapMaskLevel = Version >= 144 ? ReadStreamInt(Stream) : 128;
    BlurRecord = TakeBlurRecord();
}

// ---- TVelaImage ----

void TVelaImage::SetSource(const std::string& S) {
    if (S == Source) return;
    Source = S;
    Reload();
}

void TVelaImage::SetBrightness(int32_t V) {
    V = std::clamp(V, 0, 255);
    if (V == Brightness) return;
    Brightness = V;
    Reload();
}

void TVelaImage::Reload() {
    Invalidate();
    if (MiraMan && Surface) {
        TMiraItem& item = MiraMan->Acquire(this, Source, false, false);
        // The entry is handed back however the copy ends.
        struct TRelease {
            TMiraItem& Item;
            const void* User;
            ~TRelease() { Item.Release(User); }
        } release{item, this};
        // An explicit size (zoom 0) stays.
        if (FloatZoomX != 0) TVelaControl::SetWidth(RoundSat(FloatZoomX * item.Width));
        if (FloatZoomY != 0) TVelaControl::SetHeight(RoundSat(FloatZoomY * item.Height));
        if (item.GetFrameCount() > 0) {
            TCustomDIBX& frame = *item.GetFrame(0)->Surface;
            Surface->SetSize(frame.GetWidth(), frame.GetHeight(), Surface->GetBitCount());
            Surface->Assign(frame);
            Surface->TransparentColor = frame.TransparentColor;
            Surface->Rects1 = frame.Rects1;
            Surface->Rects2 = frame.Rects2;
        }
    }
    if (Surface && !Surface->GetEmpty() && Brightness < 255) {
        const int32_t grey = 255 - Brightness;
        const int32_t pixel = Surface->ColorToPixel(grey | grey << 8 | grey << 16);
        // The colour key is darkened with the pixels, so that the same pixels stay transparent.
        if (Surface->TransparentColor != -1) {
            const uint32_t first = Surface->GetPixel(0, 0);
            Surface->SetPixel(0, 0, uint32_t(Surface->TransparentColor));
            Surface->FillRectSub({0, 0, 1, 1}, pixel);
            Surface->TransparentColor = int32_t(Surface->GetPixel(0, 0));
            Surface->SetPixel(0, 0, first);
        }
        Surface->FillRectSub(Surface->GetBoundsRect(), pixel);
    }
    Invalidate();
}

void TVelaImage::MakePrivateDIBs() {
    TVelaCustomImage::MakePrivateDIBs();
    if (!SurfaceOverride) Reload();
}

void TVelaImage::SaveToStream(TStream& Stream) {
    TVelaCustomImage::SaveToStream(Stream);
    WriteStreamString(Stream, Source);
    WriteStreamInt(Stream, Brightness);
}

void TVelaImage::LoadFromStream(TStream& Stream, int32_t Version) {
    TVelaCustomImage::LoadFromStream(Stream, Version);
    SetSource(ReadStreamString(Stream));
    SetBrightness(ReadStreamInt(Stream));
}

void TVelaImage::ApplyFrame(TVelaControl* AOwnerObject, int32_t FrameIndex, TCustomDIBX* Bitmap,
                            TCustomDIBX* MaskBitmap, int32_t FrameValue, int32_t SubKey, bool AFlipH, bool AFlipV,
                            int32_t X, int32_t Y, int32_t AOffsetX, int32_t AOffsetY, long double ZoomX,
                            long double ZoomY, long double Angle, int32_t AAlpha, const TRect& Clip,
                            int32_t ABlurSpan, int32_t ABlurDelay, bool Smooth) {
    if (FloatZoomX == 1.0L) TVelaControl::SetWidth(Bitmap ? Bitmap->GetWidth() : 0);
    if (FloatZoomY == 1.0L) TVelaControl::SetHeight(Bitmap ? Bitmap->GetHeight() : 0);
    if (AOwnerObject) SetParent(AOwnerObject);
    SetIndex(FrameIndex);
    SetSurface(Bitmap);
    SetSourceSurface(MaskBitmap);
    SetTransColor(FrameValue);
    if (Bitmap) Bitmap->TransparentColor = FrameValue < 0 ? -1 : Bitmap->ColorToPixel(FrameValue);
    SetFloatzoomx(ZoomX);
    SetFloatzoomy(ZoomY);
    SetPriority(SubKey);
    SetFliph(AFlipH);
    SetFlipv(AFlipV);
    SetOffsetx(AOffsetX);
    SetOffsety(AOffsetY);
    MoveTo(X, Y);  // one step: the place between the two moves is never shown
    SetFloatangle(Angle);
    SetAntialias(Smooth);
    SetAlpha(AAlpha);
    SetBlurspan(ABlurSpan);
    SetBlurdelay(ABlurDelay);
    SetClipRect(Clip);
}

// ---- Ghosts ----

void TBlurGhost::Attach(TVelaCustomImage& Ghost, TVelaCustomImage& Src) {
    Source = Src.Ref();
    SourceImage = &Src;
    Picture = Src.GetSurface();
    Mask = Src.GetSourceSurface();
    Generation = Src.GetPictureGeneration();
    const int32_t a = Src.GetAlpha();
    StartAlpha = a - a % 256 + a % 256 / 2;
    Ghost.SetAlpha(StartAlpha);
    Delay = Src.GetBlurdelay();
    Ghost.TVelaControl::SetWidth(Src.GetWidth());
    Ghost.TVelaControl::SetHeight(Src.GetHeight());
}

bool TBlurGhost::Shown(const TVelaBaseList* Root) const {
    return Picture && Root && Root->IsLive(Source) && SourceImage->GetPictureGeneration() == Generation;
}

TVelaObject* TBlurGhost::GetSource(const TVelaBaseList* Root) const {
    return Root && Root->IsLive(Source) ? SourceImage : nullptr;
}

bool TBlurGhost::Fade(TVelaCustomImage& Ghost) {
    Elapsed += static_cast<int32_t>(SceneTickLength());
    if (Elapsed >= Delay) return true;
    Ghost.SetAlpha(StartAlpha - RoundDivEven(int64_t(Elapsed) * (StartAlpha % 256), Delay));
    return false;
}

