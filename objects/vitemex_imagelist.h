#pragma once
// Image data and image lists: the frames an image-bearing object shows. A list holds one entry
// of the image cache and one TVelaImageData per frame, the current frame and the time left on
// it; an image data draws its cached frame, or a private copy of it shifted in brightness.
#include "core/header.h"
#include "graphics/dibx.h"
#include "objects/vitemex_mira.h"

#include <cstdint>
#include <memory>
#include <string>

class TVelaObject;

// Whether an angle in radians is a whole number of turns (the picture is drawn unturned).
bool IsWholeTurn(long double Angle);

// One frame of a list.
class TVelaImageData {
public:
    TVelaImageData() = default;
    TVelaImageData(const TVelaImageData&) = delete;
    TVelaImageData& operator=(const TVelaImageData&) = delete;

    std::unique_ptr<TCustomDIBX> PrivateDIB;  // the brightness-shifted copy; nullptr none
    int32_t Brightness = 0;                   // grey added (positive) or taken away (negative)
    TMiraItemFrame* Frame = nullptr;          // the cached frame, not owned

    // PrivateDIB while Brightness is not 0 (nullptr while the copy is freed), else the cached
    // surface.
    TCustomDIBX* GetDIB() const;
    int32_t GetDelay() const { return Frame->GetDelay(); }
    TDIBX* GetFrameLayer() const { return Frame->Mask.get(); }
    int32_t GetTransColor() const { return Frame->TransColor; }
    // Rebuilds the private copy for a new value; the colour key is shifted with the pixels. 0
    // draws the cached surface again (the copy stays allocated).
    void SetBrightness(int32_t Value);
    // Around a loss of the display device: the copy goes (Brightness stays) and is rebuilt.
    void FreePrivateDIB();
    void MakePrivateDIB();

    // SrcRect at (X, Y) on Obj's layer surface with Obj's Alpha and flips, unscaled. Nothing
    // is drawn outside Alpha 1..511 or while GetDIB is nullptr.
    void DrawTo(TVelaObject& Obj, int32_t X, int32_t Y, const TRect& SrcRect);
    // The whole picture placed as Obj says: rotated about its offset point when Obj's angle is
    // not a whole turn, else unscaled at its origin when its size is the picture's, else
    // stretched into its rectangle on the layer.
    void DrawObject(TVelaObject& Obj);
    // The picture repeated over DestRect at zoom 1, starting at (OffsetX, OffsetY) inside it.
    void DrawWrapped(TCustomDIBX& Dest, const TRect& DestRect, int32_t Alpha, int32_t OffsetX, int32_t OffsetY);
};

// The frames of one cached picture. The list takes the entry under its own token, so two lists
// of one owner showing the same file hold it twice.
class TVelaImageList : public TObjList<TVelaImageData> {
public:
    TVelaImageList() = default;
    ~TVelaImageList() override { Clear(); }

    int32_t Current = 0;       // current frame
    int32_t Remaining = 0;     // ms left on it
    TMiraItem* Item = nullptr;  // the cache entry, held while set

    // Frees the frames and hands the entry back.
    void Clear() override;
    // nullptr outside 0 .. Count - 1.
    TVelaImageData* GetItem(int Index) const;
    // Clear, then the frames of the cached FileName (the mask variant when asked) from frame 0
    // with its full delay. Errors of the decode pass on, leaving the list empty.
    void LoadImage(const std::string& FileName, bool MaskVariant);
    // Index, or the last frame beyond the end, with its full delay; a negative Index is stored
    // and the time left is kept.
    void SetFrame(int32_t Index);
    // Advances by Elapsed ms, catching up over skipped frames; a wrap to frame 0 restarts its
    // full delay. True when the current frame's time ran out.
    bool StepAnimation(int32_t Elapsed);
    void FreePrivateDIBs();
    void MakePrivateDIBs();
};
