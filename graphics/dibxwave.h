#pragma once
// The row-offset surface: a drawing surface without pixels of its own that forwards every draw to
// a target surface with each destination row moved sideways by that row's offset, so whatever is
// drawn through it lands on the target rippled.
//
// Coordinates given to it are target coordinates; target row OriginY + i takes RowOffsets[i], and
// rows outside RowOffsets are not drawn. Draws whose rows map one to one onto source rows go to
// the target in runs of rows sharing one offset (a flat wave costs one call); the others
// (stretched, rotated, zoomed and wrap-frame draws) run once per row with the target's clip
// rectangle narrowed to that row, the target's own clip rectangle put back afterwards. The
// surface never owns its target and draws nothing until Target is set.
#include "graphics/dibx.h"

#include <cstdint>
#include <vector>

class TDIBXWave : public TCustomDIBX {
public:
    TRect SavedClipRect{0, 0, 0, 0};  // the target's clip rectangle while a per-row draw runs
    TCustomDIBX* Target = nullptr;
    std::vector<int32_t> RowOffsets;  // one per row of the surface, from OriginY down
    int32_t OriginX = 0;              // the surface's top-left on the target
    int32_t OriginY = 0;

    int GetBitCount() const override { return Target ? Target->GetBitCount() : 0; }
    TCustomDIBX* GetSurface() override { return Target; }
    int GetBitsPerPixel() const override { return Target ? Target->GetBitsPerPixel() : 0; }
    // Sides below 0 count as 0; a side beyond the image side limit raises EInvalidGraphic and
    // changes nothing. RowOffsets takes AHeight elements (new ones 0).
    void SetSize(int32_t AWidth, int32_t AHeight, int BitCount) override;
    void ClearClipRect() override;
    // R cut to the surface's area on the target grows the own clip rectangle, which the target's
    // clip rectangle is then grown to hold.
    void UnionClipRect(const TRect& R) override;
    int32_t ColorToPixel(int32_t Color) const override { return Target ? Target->ColorToPixel(Color) : Color; }

    // The own bounds measured from the target's origin.
    void Fill(int32_t Color) override { FillRect(GetBoundsRect(), Color); }
    void FillRect(const TRect& R, int32_t Color) override;
    void FillRectAlpha(const TRect& R, int32_t Color, int32_t Alpha) override;
    void FillRectAdd(const TRect& R, int32_t Color) override;
    void FillRectSub(const TRect& R, int32_t Color) override;
    void Assign(TCustomDIBX& Source) override { Draw(0, 0, Source, Source.GetBoundsRect(), false, false, false); }
    // The unscaled draws run by runs of source rows; mirroring vertically mirrors each run in itself.
    void Draw(int32_t X, int32_t Y, TCustomDIBX& Source, const TRect& SrcRect, bool Transparent, bool MirrorX,
              bool MirrorY) override;
    void DrawMask(int32_t X, int32_t Y, TCustomDIBX& Source, const TRect& SrcRect, bool MirrorX, bool MirrorY,
                  TCustomDIBX& Mask) override;
    void DrawAlpha(int32_t X, int32_t Y, TCustomDIBX& Source, const TRect& SrcRect, bool Transparent, bool MirrorX,
                   bool MirrorY, int32_t Alpha) override;
    void DrawAlphaMask(int32_t X, int32_t Y, TCustomDIBX& Source, const TRect& SrcRect, bool MirrorX, bool MirrorY,
                       TCustomDIBX& Mask, int32_t Alpha) override;
    void DrawAdd(int32_t X, int32_t Y, TCustomDIBX& Source, const TRect& SrcRect, bool Transparent, bool MirrorX,
                 bool MirrorY, int32_t Intensity) override;
    void DrawAddMask(int32_t X, int32_t Y, TCustomDIBX& Source, const TRect& SrcRect, bool MirrorX, bool MirrorY,
                     TCustomDIBX& Mask, int32_t Intensity) override;
    void DrawAlphaMaskKeyed(int32_t X, int32_t Y, TCustomDIBX& Mask, const TRect& SrcRect, bool MirrorX, bool MirrorY,
                            int32_t Color, int32_t Alpha) override;
    void DrawRotate(int32_t X, int32_t Y, double ZoomX, double ZoomY, TCustomDIBX& Source, const TRect& SrcRect,
                    int32_t CenterX, int32_t CenterY, double Angle, bool Transparent, bool MirrorX, bool MirrorY,
                    int32_t Blend) override;
    void DrawRotateMask(int32_t X, int32_t Y, double ZoomX, double ZoomY, TCustomDIBX& Source, const TRect& SrcRect,
                        int32_t CenterX, int32_t CenterY, double Angle, bool MirrorX, bool MirrorY, TCustomDIBX& Mask,
                        int32_t Alpha) override;
    void StretchDraw(const TRect& DestRect, TCustomDIBX& Source, const TRect& SrcRect, bool Transparent, bool MirrorX,
                     bool MirrorY, int32_t Alpha) override;
    void StretchDrawMask(const TRect& DestRect, TCustomDIBX& Source, const TRect& SrcRect, bool MirrorX, bool MirrorY,
                         TCustomDIBX& Mask, int32_t Alpha) override;
    void StretchDrawAdd(const TRect& DestRect, TCustomDIBX& Source, const TRect& SrcRect, bool Transparent,
                        bool MirrorX, bool MirrorY, int32_t Intensity) override;
    void StretchDrawAddMask(const TRect& DestRect, TCustomDIBX& Source, const TRect& SrcRect, bool MirrorX,
                            bool MirrorY, TCustomDIBX& Mask, int32_t Intensity) override;
    // One destination row (N source rows) per call.
    void DrawMonoAntialias(int32_t X, int32_t Y, TCustomDIBX& Source, const TRect& SrcRect, int32_t Color,
                           bool MirrorX, bool MirrorY, int32_t Alpha, int32_t N) override;
    void DrawMonoAntialiasEx(int32_t X, int32_t Y, TCustomDIBX& Source, const TRect& SrcRect, const int32_t* Colors,
                             int32_t Reserved, bool MirrorX, bool MirrorY, int32_t Alpha, int32_t N) override;
    void DrawWrapFrame(const TRect& Rect, int32_t Thickness, TCustomDIBX& Source, const TRect& SrcRect, bool Flag,
                       int32_t OffsetX, int32_t OffsetY) override;
    // One source row per call.
    void DrawBlend(int32_t X, int32_t Y, TCustomDIBX& Source, const TRect& SrcRect, bool Flag, bool MirrorX,
                   bool MirrorY, int32_t Blend, const int32_t* Colors) override;
    void DrawIndexed(int32_t X, int32_t Y, TCustomDIBX& Source, const TRect& SrcRect, int32_t Threshold,
                     bool MirrorX, bool MirrorY, int32_t Intensity, const void* Colors) override;
    void StretchDrawIndexed(const TRect& DestRect, TCustomDIBX& Source, const TRect& SrcRect, int32_t Threshold,
                            bool MirrorX, bool MirrorY, int32_t Intensity, const void* Colors) override;
    void DrawQuad(const TRect& DestRect, TCustomDIBX& Source, double ZoomX, double ZoomY, int32_t OffsetX,
                  int32_t OffsetY, bool Transparent, bool MirrorX, bool MirrorY, int32_t Blend) override;
    void DrawQuadMask(const TRect& DestRect, TCustomDIBX& Source, double ZoomX, double ZoomY, int32_t OffsetX,
                      int32_t OffsetY, bool MirrorX, bool MirrorY, TCustomDIBX& Mask, int32_t Blend) override;
    // One copy of the source's width and height from DestRect's top-left, each run of rows
    // carrying on the pattern from the rows above it.
    void DrawWrap(const TRect& DestRect, TCustomDIBX& Source, int32_t OffsetX, int32_t OffsetY, bool MirrorX,
                  bool MirrorY) override;

private:
    // The number of rows from index I on that share RowOffsets[I], at least 1, stopping at the
    // end of RowOffsets and before EndIndex.
    int64_t RowRunLength(int64_t I, int64_t EndIndex) const;
    template <class F>
    void EachRowRun(int32_t Y, int64_t Count, bool Runs, F&& Run);
    template <class F>
    void FillRuns(const TRect& R, F&& Fill);
    template <class F>
    void SourceRuns(int32_t X, int32_t Y, const TRect& SrcRect, bool Runs, F&& Draw);
    template <class F>
    void ClipEachRow(const TRect& Dest, F&& Draw);
};
