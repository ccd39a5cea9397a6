#pragma once
// Tiles: a picture repeated over the tile's rectangle in both directions (TVelaTile), scrolled
// by ScrollX/ScrollY (the picture pixel at the tile's left/top edge), optionally laid
// DistanceX/DistanceY apart, zoomed, mirrored and blended like any image; its frames always
// loop. Children of a tile are placed on its scrolled content. TVelaBlurTile is the fading
// ghost a moving tile leaves while motion blur is on.
#include "objects/vitemex_images.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TVelaTile : public TVelaCustomImages {
public:
    explicit TVelaTile(TVelaBaseList* AOwner, bool UniqueName = true);
    ~TVelaTile() override;
    uint8_t GetCompoType() const override { return LT_TILE; }

    TVelaImageList* CurrentImageList() const override { return ImageList.get(); }
    std::string GetSource() const override { return Source; }
    // A ".mra" picture from the image cache or a ".vmt" film; the size stays as set.
    void SetSource(const std::string& S) override;
    int32_t GetScrollx() const override { return ScrollX; }
    void SetScrollx(int32_t V) override { ChangeLook(ScrollX, V); }
    int32_t GetScrolly() const override { return ScrollY; }
    void SetScrolly(int32_t V) override { ChangeLook(ScrollY, V); }
    // Copies are laid a distance apart only when it is at least half the picture's size.
    int32_t GetDistancex() const override { return DistanceX; }
    void SetDistancex(int32_t V) override { ChangeLook(DistanceX, V); }
    int32_t GetDistancey() const override { return DistanceY; }
    void SetDistancey(int32_t V) override { ChangeLook(DistanceY, V); }
    bool GetRepeat() const override { return true; }
    std::string GetOnidle() const override { return OnIdle; }
    void SetOnidle(const std::string& S) override { OnIdle = S; }

    // Children sit on the scrolled content: the origin is Left (Top) on the parent's scrolled
    // origin, the film position while a film drives the tile; the second pair is Left (Top).
    TPoint GetOrigin() const override;
    int32_t GetOriginX2() const override;
    int32_t GetOriginY2() const override;

    bool SizeFollowsPicture() const override { return false; }
    void DrawImage() override;
    TVelaCustomImage* NewBlurCopy() override;
    void SaveToStream(TStream& Stream) override;
    void LoadFromStream(TStream& Stream, int32_t Version) override;

    // One frame of a film tile track, set through the setters: Owner (when not nil) becomes the
    // parent; Bitmap and MaskBitmap are shown with FrameValue as their transparent colour; SubKey
    // is the drawing order; a clip rectangle of (0, 0, 0, 0) is no clip.
    void ApplyFrame(TVelaControl* AOwnerObject, TCustomDIBX* Bitmap, TCustomDIBX* MaskBitmap, int32_t FrameValue,
                    int32_t SubKey, int32_t ADistanceX, int32_t ADistanceY, bool AFlipH, bool AFlipV, int32_t X,
                    int32_t Y, int32_t AWidth, int32_t AHeight, int32_t AOffsetX, int32_t AOffsetY,
                    long double ZoomX, long double ZoomY, int32_t AAlpha, int32_t AScrollX, int32_t AScrollY,
                    const TRect& Clip);

protected:
    std::vector<TVelaImageList*> OwnImageLists() const override { return {ImageList.get()}; }

private:
    // Spaced copies of each content rectangle of S, unscaled, clipped to R.
    void DrawSpaced(TCustomDIBX& Dest, TCustomDIBX& S, TCustomDIBX* M, const TRect& R, int32_t StepX,
                    int32_t StepY);

    std::unique_ptr<TVelaImageList> ImageList;
    std::string Source;
    int32_t ScrollX = 0, ScrollY = 0;
    std::string OnIdle;
    int32_t DistanceX = 0, DistanceY = 0;
};

// The ghost of a moving tile.
class TVelaBlurTile : public TBlurCopy<TVelaTile> {
public:
    using TBlurCopy::TBlurCopy;
    uint8_t GetCompoType() const override { return LT_NONE; }
};
