#pragma once
// Image objects: the base of every scene object that shows a bitmap (TVelaCustomImage), the
// single-picture object film image tracks create (TVelaImage), and the fading copy a moving
// image leaves behind while motion blur is on (TVelaBlurImage).
//
// An image draws the surface it is shown (its own Surface, or a surface someone else keeps set
// as SurfaceOverride) into its layer: blended, opaque or added by Alpha (1..254, 255, 256..511
// with intensity Alpha - 256), zoomed by FloatZoomX/FloatZoomY, turned by FloatAngle (radians)
// about the picture point (OffsetX, OffsetY), mirrored, and smoothed when Antialias is on. A zoom
// of 0 means the size was set explicitly; draws and hit tests then scale by Width and Height
// over the picture's size.
#include "objects/vitems.h"

#include <cstdint>
#include <memory>
#include <string>

// V rounded to the nearest integer (ties to even), or truncated, saturated to the int32 range;
// NaN gives 0.
int32_t RoundSat(long double V);
int32_t TruncSat(long double V);
// R mirrored inside a picture W x H on the flipped axes.
TRect MirrorInside(TRect R, int32_t W, int32_t H, bool MirrorX, bool MirrorY);
// P turned by -Angle (radians) about At: a point of a turned picture back on the unturned one.
TPoint TurnBack(TPoint P, TPoint At, long double Angle);
// A stored zoom or angle: a value that is not a finite number is damage (EReadError).
long double ReadFiniteExtended(TStream& Stream);

class TVelaCustomImage : public TVelaControl {
public:
    explicit TVelaCustomImage(TVelaBaseList* AOwner, bool UniqueName = true);
    // Redraws the old area before the surface goes.
    ~TVelaCustomImage() override;

    // ---- Properties ----
    int32_t GetAlpha() const override { return Alpha; }
    void SetAlpha(int32_t V) override { ChangeLook(Alpha, V); }
    // Zoom in 1/256 over the float zoom.
    int32_t GetZoomx() const override;
    void SetZoomx(int32_t V) override;
    int32_t GetZoomy() const override;
    void SetZoomy(int32_t V) override;
    // A change marks the drawn size and that of the position-zoomed children for the next tick.
    long double GetFloatzoomx() const override { return FloatZoomX; }
    void SetFloatzoomx(long double V) override;
    long double GetFloatzoomy() const override { return FloatZoomY; }
    void SetFloatzoomy(long double V) override;
    // 255 units per full turn over the float angle.
    int32_t GetAngle() const override;
    void SetAngle(int32_t V) override;
    long double GetFloatangle() const override { return FloatAngle; }
    void SetFloatangle(long double V) override;
    bool GetAntialias() const override { return Antialias; }
    void SetAntialias(bool V) override { ChangeLook(Antialias, V); }
    // A mirror change recomputes the drawn width (height).
    bool GetFliph() const override { return FlipH; }
    void SetFliph(bool V) override;
    bool GetFlipv() const override { return FlipV; }
    void SetFlipv(bool V) override;
    bool GetCapturemask() const override { return CaptureMask; }
    void SetCapturemask(bool V) override { CaptureMask = V; }
    int32_t GetCapmasklevel() const override { return CapMaskLevel; }
    void SetCapmasklevel(int32_t V) override { CapMaskLevel = V; }
    int32_t GetIndex() const override { return Index; }
    void SetIndex(int32_t V) override { Index = V; }
    // A change restarts the ghost timer and takes the blur record anew.
    int32_t GetBlurspan() const override { return BlurSpan; }
    void SetBlurspan(int32_t V) override;
    int32_t GetBlurdelay() const override { return BlurDelay; }
    void SetBlurdelay(int32_t V) override { BlurDelay = V; }
    // A size set while the size follows the picture turns that zoom to 0 (explicit size).
    void SetWidth(int32_t V) override;
    void SetHeight(int32_t V) override;
    // The size of the surface drawn; 0 without one.
    int32_t GetOrigwidth() const override;
    int32_t GetOrigheight() const override;
    void SetPoszoomed(bool V) override;
    // The transparent colour (0x00BBGGRR, -1 none) of the picture shown.
    int32_t GetTransColor() const { return TransColor; }
    void SetTransColor(int32_t V) { TransColor = V; }

    // The surface drawn: SurfaceOverride when set, else Surface. Setting it sets the override.
    TCustomDIBX* GetSurface() override;
    void SetSurface(TCustomDIBX* S) override;
    // The mask: MaskOverride when set, else Mask. Setting it sets the override.
    TCustomDIBX* GetSourceSurface() override;
    void SetSourceSurface(TCustomDIBX* S) override;
    // The drawn size is to be recomputed at the next tick.
    bool GetImageFlag() const override { return SizeDirty; }
    void SetImageFlag(bool V) override { SizeDirty = V; }

    // ---- Drawing, hit testing, the tick ----
    // Rotated: the bounds of the turned picture; else the control's rectangle.
    TRect GetBoundsRect() const override;
    void Invalidate() override;
    void Prepare() override;
    TVelaObject* HitTest(TPoint P, uint32_t Mask) override;
    // Settles the drawn size, then leaves a ghost behind when motion blur is on and the picture
    // moved or changed since the last check.
    bool Step() override;
    // Device loss: the own surface goes (and the override with it) and is made again.
    void FreePrivateDIBs() override;
    void MakePrivateDIBs() override;
    void SaveToStream(TStream& Stream) override;
    void LoadFromStream(TStream& Stream, int32_t Version) override;

    // Draws the picture into the layer.
    virtual void DrawImage();
    // Whether the drawn size follows the picture: while no film drives the control.
    virtual bool SizeFollowsPicture() const { return !GetMotion(); }
    // Whether the picture is drawn: shown on a layer, with pixels.
    bool PictureShown();
    // Around DrawImage in the drawing step.
    virtual void BeforeDrawImage() {}
    virtual void AfterDrawImage() {}
    // Recomputes the drawn width (height) from the picture and the zoom.
    virtual void UpdateWidth();
    virtual void UpdateHeight();
    // Whether there is a picture to size by: a source name or a surface shown over the own one.
    virtual bool HasPicture() const;
    // A new ghost under the same parent, showing this image's picture and sorting next to it;
    // the blur step then sets its place and look.
    TVelaCustomImage* MakeBlurCopy();
    // The ghost of this kind, attached to this picture. Kinds whose ghosts draw otherwise make
    // their own.
    virtual TVelaCustomImage* NewBlurCopy();

    // The unzoomed, unmirrored picture, by far the most common, is placed without asking the
    // zoom and the mirror through virtual calls.
    TPoint GetOrigin() const override;
    // Whether FloatAngle turns the picture (is not a whole number of turns).
    bool IsRotated() const;
    // The scale actually drawn: the zoom, or Width (Height) over the picture's size for an
    // explicit size; 1 without a picture.
    double EffectiveZoomX() const;
    double EffectiveZoomY() const;
    // Where the pivot lands on the layer, and the pivot inside the picture (mirrored).
    TPoint RotateDestination() const;
    TPoint RotatePivot() const;
    // The bounds of the turned and zoomed picture on the layer.
    TRect GetRotatedBounds() const;
    // Counts the times surfaces this image showed may have been freed (device loss, a new
    // picture): a ghost draws from its source's surfaces only while the count is unchanged.
    uint32_t GetPictureGeneration() const { return PictureGeneration; }

protected:
    // Kinds call this before freeing a surface they showed (a cached picture let go of, a
    // private copy dropped).
    void PicturesReleased() { ++PictureGeneration; }
    // The blur record: what a ghost is left for when it changes.
    struct TBlurRecord {
        int32_t Index = 0, Left = 0, ScrollX = 0, ScrollY = 0;
        long double FloatAngle = 0, Top = 0, FloatZoomX = 1, FloatZoomY = 1;
        bool operator==(const TBlurRecord&) const = default;
    };
    TBlurRecord TakeBlurRecord() const;
    // The ghost check of the step.
    void StepBlur();
    // The on-layer rectangle of the control, before any rotation.
    TRect PlainBounds() const { return TVelaControl::GetBoundsRect(); }
    // Whether the mask has a hit under layer point (X, Y) of the unturned picture.
    bool MaskHit(TCustomDIBX& M, int32_t X, int32_t Y) const;
    // The drawn width (Vertical: height) the picture and the zoom give.
    int32_t DrawnExtent(bool Vertical);
    // The unscaled draw of S (mask M) at (X, Y) on Dest, by content rectangle.
    void DrawContent(TCustomDIBX& Dest, int32_t X, int32_t Y, TCustomDIBX& S, TCustomDIBX* M);
    // Marks the drawn size of this image and of its position-zoomed children for the next tick.
    void MarkSizeDirty();

    int32_t TransColor = 0;
    std::unique_ptr<TCustomDIBX> Surface;
    TCustomDIBX* SurfaceOverride = nullptr;
    std::unique_ptr<TCustomDIBX> Mask;
    TCustomDIBX* MaskOverride = nullptr;
    int32_t Alpha = 255;
    long double FloatZoomX = 1, FloatZoomY = 1;
    long double FloatAngle = 0;
    bool FlipH = false, FlipV = false;
    bool CaptureMask = false;
    int32_t CapMaskLevel = 128;
    bool SizeDirty = false;
    int32_t Index = 0;
    int32_t BlurSpan = 0, BlurDelay = 0;
    int32_t BlurTimer = 0;
    TBlurRecord BlurRecord;
    bool Antialias = false;
    uint32_t PictureGeneration = 0;
};

// One picture copied from frame 0 of an image file, optionally darkened; what film image tracks
// show.
class TVelaImage : public TVelaCustomImage {
public:
    using TVelaCustomImage::TVelaCustomImage;

    std::string GetSource() const override { return Source; }
    // A new name reloads the picture.
    void SetSource(const std::string& S) override;
    int32_t GetBrightness() const override { return Brightness; }
    // Clamped to 0..255; a change reloads the picture.
    void SetBrightness(int32_t V) override;

    // The picture is reloaded after device loss unless a surface is shown over the own one.
    void MakePrivateDIBs() override;
    void SaveToStream(TStream& Stream) override;
    void LoadFromStream(TStream& Stream, int32_t Version) override;

    // One frame of a film image track, set through the setters: Owner (when not nil) becomes
    // the parent; Bitmap and MaskBitmap are shown over the own surface with FrameValue as their
    // transparent colour; SubKey is the drawing-order key; a clip rectangle of (0, 0, 0, 0) is
    // no clip; Smooth sets Antialias.
    void ApplyFrame(TVelaControl* AOwnerObject, int32_t FrameIndex, TCustomDIBX* Bitmap, TCustomDIBX* MaskBitmap,
                    int32_t FrameValue, int32_t SubKey, bool AFlipH, bool AFlipV, int32_t X, int32_t Y,
                    int32_t AOffsetX, int32_t AOffsetY, long double ZoomX, long double ZoomY, long double Angle,
                    int32_t AAlpha, const TRect& Clip, int32_t ABlurSpan, int32_t ABlurDelay, bool Smooth);

private:
    // Copies frame 0 of Source from the image cache into the own surface, darkened below
    // Brightness 255.
    void Reload();

    std::string Source;
    int32_t Brightness = 255;
};

// What the ghost of a moving image keeps of it: the surfaces it showed (not copied, not owned),
// read only while the image lives and keeps them, and the fade from the image's alpha with its
// low byte halved to nothing over the image's blur delay. Every kind of ghost holds one.
class TBlurGhost {
public:
    // Takes Src's surfaces, fade time and start alpha; Ghost takes the start alpha and Src's size.
    void Attach(TVelaCustomImage& Ghost, TVelaCustomImage& Src);
    // Whether Src lives (in Root) and still keeps the surfaces taken from it.
    bool Shown(const TVelaBaseList* Root) const;
    TCustomDIBX* GetSurface(const TVelaBaseList* Root) const { return Shown(Root) ? Picture : nullptr; }
    TCustomDIBX* GetMask(const TVelaBaseList* Root) const { return Shown(Root) ? Mask : nullptr; }
    // The source, nullptr once it is gone.
    TVelaObject* GetSource(const TVelaBaseList* Root) const;
    // Device loss may take the surfaces: they are let go of.
    void Forget() { Picture = Mask = nullptr; }
    // One tick of the fade on Ghost; true when it is over (the ghost is to be freed).
    bool Fade(TVelaCustomImage& Ghost);

    TObjectRef Source;
    int32_t Delay = 0, Elapsed = 0, StartAlpha = 0;

private:
    TVelaCustomImage* SourceImage = nullptr;  // read only while Source is live
    TCustomDIBX* Picture = nullptr;
    TCustomDIBX* Mask = nullptr;
    uint32_t Generation = 0;
};

// The ghost of a moving picture (TBase: the image or the tile class): shows its source's
// picture, fades, then is freed, or sooner when the source goes or lets go of that picture. Not a
// script kind: never saved.
template <class TBase>
class TBlurCopy : public TBase {
public:
    using TBase::TBase;
    // Marks its area while the source's picture still sizes it; nothing of the source is freed.
    ~TBlurCopy() override {
        this->Invalidate();
        Ghost.Forget();
    }

    void AttachSource(TBase& Src) { Ghost.Attach(*this, Src); }
    // The surfaces taken from the source; nil once the source is gone or has let go of them.
    TCustomDIBX* GetSurface() override { return Ghost.GetSurface(this->Owner); }
    TCustomDIBX* GetSourceSurface() override { return Ghost.GetMask(this->Owner); }
    int32_t GetDelay() const override { return Ghost.Delay; }
    void SetDelay(int32_t V) override { Ghost.Delay = V; }
    bool HasPicture() const override { return Ghost.Shown(this->Owner); }
    // The source's surfaces may go with the device: the ghost lets go of them.
    void FreePrivateDIBs() override {
        Ghost.Forget();
        TBase::FreePrivateDIBs();
    }
    // Fades; true (free me) once Delay ms have passed, or at once when the source's picture is
    // gone (the place it was drawn at is then drawn again).
    bool Step() override {
        if (!Ghost.Shown(this->Owner)) {
            if (this->GetVisible() && this->GetBase()) this->InvalidateArea(LastBounds);
            return true;
        }
        if (TBase::Step()) return true;
        return Ghost.Fade(*this);
    }
    // The area drawn, to be drawn again should the source's picture go.
    void BeforeDrawImage() override { LastBounds = this->GetBoundsRect(); }
    TVelaObject* GetBlurSource() const { return Ghost.GetSource(this->Owner); }
    int32_t GetStartAlpha() const { return Ghost.StartAlpha; }
    const TObjectRef* GetBlurImageSource() const override { return &Ghost.Source; }

private:
    TBlurGhost Ghost;
    TRect LastBounds{0, 0, 0, 0};  // the area last drawn
};

class TVelaBlurImage : public TBlurCopy<TVelaCustomImage> {
public:
    using TBlurCopy::TBlurCopy;
};
