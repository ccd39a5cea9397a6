// Image data and image lists.
#include "objects/vitemex_imagelist.h"

#include "objects/vitems.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>

bool IsWholeTurn(long double Angle) {
    return Angle == 0 || std::fmod(Angle, 2 * std::numbers::pi_v<long double>) == 0;
}

// ---- TVelaImageData ----

TCustomDIBX* TVelaImageData::GetDIB() const { return Brightness != 0 ? PrivateDIB.get() : Frame->Surface.get(); }

void TVelaImageData::SetBrightness(int32_t Value) {
    if (Value == Brightness) return;
    Brightness = Value;
    if (Value == 0) return;
    TCustomDIBX& cached = *Frame->Surface;
    if (!PrivateDIB) {
        PrivateDIB = NewImageSurface();
        PrivateDIB->SetSize(cached.GetWidth(), cached.GetHeight(), cached.GetBitCount());
    }
    TCustomDIBX& copy = *PrivateDIB;
    // A channel saturates long before 255 steps of grey.
    const int32_t level = int32_t(std::min<int64_t>(std::llabs(Value), 255));
    const int32_t grey = copy.ColorToPixel(level | level << 8 | level << 16);
    auto shift = [&](const TRect& R) {
        if (Value > 0)
            copy.FillRectAdd(R, grey);
        else
            copy.FillRectSub(R, grey);
    };
    // The colour key takes the same shift, so the pixels that were transparent stay so.
    copy.TransparentColor = -1;
    if (Frame->TransColor >= 0 && !copy.GetEmpty()) {
        copy.SetPixel(0, 0, uint32_t(cached.TransparentColor));
        shift({0, 0, 1, 1});
        copy.TransparentColor = int32_t(copy.GetPixel(0, 0));
    }
    copy.Assign(cached);
    copy.Rects1 = cached.Rects1;
    copy.Rects2 = cached.Rects2;
    shift(copy.GetBoundsRect());
}

void TVelaImageData::FreePrivateDIB() { PrivateDIB.reset(); }

void TVelaImageData::MakePrivateDIB() {
    if (Brightness == 0) return;
    const int32_t value = Brightness;
    Brightness = 0;
    SetBrightness(value);
}

void TVelaImageData::DrawTo(TVelaObject& Obj, int32_t X, int32_t Y, const TRect& SrcRect) {
    const int32_t alpha = Obj.GetAlpha();
    TCustomDIBX* source = GetDIB();
    TCustomDIBX* dest = Obj.GetLayerSurface();
    if (alpha < 1 || alpha > 511 || !source || !dest) return;
    DrawBlended(*dest, X, Y, *source, SrcRect, GetFrameLayer(), Obj.GetFliph(), Obj.GetFlipv(), alpha);
}

void TVelaImageData::DrawObject(TVelaObject& Obj) {
    const int32_t alpha = Obj.GetAlpha();
    TCustomDIBX* source = GetDIB();
    TCustomDIBX* dest = Obj.GetLayerSurface();
    if (alpha < 1 || alpha > 511 || !source || !dest) return;
    TDIBX* mask = GetFrameLayer();
    const bool keyed = source->TransparentColor != -1;
    const bool flipH = Obj.GetFliph(), flipV = Obj.GetFlipv();
    const TRect whole = source->GetBoundsRect();
    if (const long double angle = Obj.GetFloatangle(); !IsWholeTurn(angle)) {
        // The offset point of the picture lands on the object's place.
        const int32_t centerX = flipH ? whole.Right - 1 - Obj.GetOffsetx() : Obj.GetOffsetx();
        const int32_t centerY = flipV ? whole.Bottom - 1 - Obj.GetOffsety() : Obj.GetOffsety();
        const TPoint at = Obj.GetScreenPos();
        const double zoomX = double(Obj.GetFloatzoomx()), zoomY = double(Obj.GetFloatzoomy());
        if (mask)
            dest->DrawRotateMask(at.X, at.Y, zoomX, zoomY, *source, whole, centerX, centerY, double(angle), flipH,
                                 flipV, *mask, alpha);
        else
            dest->DrawRotate(at.X, at.Y, zoomX, zoomY, *source, whole, centerX, centerY, double(angle), keyed, flipH,
                             flipV, alpha);
    } else if (Obj.GetWidth() == whole.Right && Obj.GetHeight() == whole.Bottom) {
        DrawBlended(*dest, Obj.GetOriginX(), Obj.GetOriginY(), *source, whole, mask, flipH, flipV, alpha);
    } else {
        const TRect rect = Bounds(Obj.GetOriginX(), Obj.GetOriginY(), Obj.GetWidth(), Obj.GetHeight());
        if (alpha < 256) {
            if (mask)
                dest->StretchDrawMask(rect, *source, whole, flipH, flipV, *mask, alpha);
            else
                dest->StretchDraw(rect, *source, whole, keyed, flipH, flipV, alpha);
        } else if (mask) {
            dest->StretchDrawAddMask(rect, *source, whole, flipH, flipV, *mask, alpha - 256);
        } else {
            dest->StretchDrawAdd(rect, *source, whole, keyed, flipH, flipV, alpha - 256);
        }
    }
}

void TVelaImageData::DrawWrapped(TCustomDIBX& Dest, const TRect& DestRect, int32_t Alpha, int32_t OffsetX,
                                 int32_t OffsetY) {
    TCustomDIBX* source = GetDIB();
    if (!source || source->GetEmpty()) return;
    const bool keyed = source->TransparentColor != -1;
    // The zoomed wraps take their offsets in 1/256 of a pixel: every path starts on the same
    // picture pixel.
    const int32_t quadX = OffsetX % source->GetWidth() * 256, quadY = OffsetY % source->GetHeight() * 256;
    if (TDIBX* mask = GetFrameLayer())
        Dest.DrawQuadMask(DestRect, *source, 1.0, 1.0, quadX, quadY, false, false, *mask, Alpha);
    else if (Alpha == 255 && !keyed)
        Dest.DrawWrap(DestRect, *source, OffsetX, OffsetY, false, false);
    else
        Dest.DrawQuad(DestRect, *source, 1.0, 1.0, quadX, quadY, keyed, false, false, Alpha);
}

// ---- TVelaImageList ----

void TVelaImageList::Clear() {
    TObjList<TVelaImageData>::Clear();
    if (!Item) return;
    TMiraItem* item = Item;
    Item = nullptr;
    item->Release(this);
}

TVelaImageData* TVelaImageList::GetItem(int Index) const {
    return Index >= 0 && Index < Count() ? Items(Index) : nullptr;
}

void TVelaImageList::LoadImage(const std::string& FileName, bool MaskVariant) {
    Clear();
    Item = &MiraMan->Acquire(this, FileName, MaskVariant, false);
    for (int i = 0; i < Item->GetFrameCount(); ++i) {
        auto data = std::make_unique<TVelaImageData>();
        data->Frame = Item->GetFrame(i);
        Add(std::move(data));
    }
    Current = 0;
    if (Count() > 0) Remaining = Items(0)->GetDelay() + 1;
}

void TVelaImageList::SetFrame(int32_t Index) {
    Current = Index < Count() ? Index : Count() - 1;
    if (Current >= 0) Remaining = Items(Current)->GetDelay() + 1;
}

bool TVelaImageList::StepAnimation(int32_t Elapsed) {
    if (Count() < 2) return false;
    Remaining -= Elapsed;
    if (Remaining >= 1) return false;
    while (Remaining < 1) {
        // Past the last frame (or from a frame outside the list) the animation starts over.
        Current = Current + 1 >= 0 && Current + 1 < Count() ? Current + 1 : 0;
        if (Current == 0) Remaining = 0;
        Remaining += Items(Current)->GetDelay();
        if (Current == 0) break;
    }
    return true;
}

void TVelaImageList::FreePrivateDIBs() {
    for (int i = 0; i < Count(); ++i) Items(i)->FreePrivateDIB();
}

void TVelaImageList::MakePrivateDIBs() {
    for (int i = 0; i < Count(); ++i) Items(i)->MakePrivateDIB();
}
