#pragma once
// Drawing surfaces: the abstract surface every layer, image copy, glyph bitmap and transition
// buffer draws onto, and the memory surface that keeps its pixels in a TDIB.
//
// Colours are 0x00BBGGRR (red low); a negative colour is no colour. Every fill and draw takes raw
// pixel values of the destination (ColorToPixel converts once). Rectangles are half-open.
// Raw values: 15 bits 5-5-5, 16 bits 5-6-5, 24 bits 0x00RRGGBB (blue first in memory),
// 32 bits 0xXXRRGGBB where the fourth byte is blended like a fourth channel.
//
// No draw reaches outside a surface: destinations are clipped to the clip rectangle and the
// bounds, source rectangles to the source (and mask) surface, and a source of another storage
// width than the destination draws nothing.
#include "core/header.h"
#include "core/sysutils.h"
#include "graphics/dib.h"

#include <cstdint>
#include <vector>

constexpr TRect Bounds(int32_t X, int32_t Y, int32_t W, int32_t H) { return {X, Y, X + W, Y + H}; }

class TDIBX;
class TCustomDIBX;

// The plain copy of a frame record onto Dest at (0, 0), through Dest's device context: as much
// of the frame as Dest holds, each pixel converted to Dest's format by the colour rules of
// graphics/pixelconv.h (to the nearest entry of Dest's colour table when Dest is indexed).
void CopyFrame(const TFrameRecord& Source, TCustomDIBX& Dest);

// The colours of Surface's pixels as a 24-bit bitmap of its size: indexed pixels through its
// colour table, the others by the fields of its masks. Pixels that cannot be reached stay black.
TDIB ColorsOf(TCustomDIBX& Surface);

class TCustomDIBX {
public:
    TCustomDIBX() = default;
    TCustomDIBX(const TCustomDIBX&) = delete;
    TCustomDIBX& operator=(const TCustomDIBX&) = delete;
    virtual ~TCustomDIBX() = default;

    TRect ClipRect{0, 0, 0, 0};     // set only while Right is not 0
    int32_t TransparentColor = -1;  // raw key of keyed draws from this surface; -1 none
    // Content rectangles of the picture held (copied from an image frame's two lists); unscaled
    // image draws draw only the parts the first list names. Empty means the whole picture.
    std::vector<TRect> Rects1, Rects2;

    // ---- Shared helpers ----
    TRect GetBoundsRect() const { return {0, 0, GetWidth(), GetHeight()}; }
    TRect GetClipRect() const { return ClipRect.Right != 0 ? ClipRect : GetBoundsRect(); }
    void SetClipRectDirect(const TRect& R) { ClipRect = R; }
    int BytesPerPixel() const { return (GetBitCount() + 7) / 8; }

    // Clips Dest (Bounds at the draw position, the size of Src) to the clip rectangle, moving the
    // matching edges of Src (the far edges when mirrored). True when something is left.
    bool ClipBlitRectFlip(TRect& Dest, TRect& Src, bool MirrorX, bool MirrorY) const {
        return ClipBlitRectTo(EffectiveClip(), Dest, Src, MirrorX, MirrorY);
    }
    // The same against the clip rectangle C.
    static bool ClipBlitRectTo(const TRect& C, TRect& Dest, TRect& Src, bool MirrorX, bool MirrorY);
    // The clip rectangle cut to the surface: it never lets a draw leave the surface, whatever was
    // stored with SetClipRectDirect.
    TRect EffectiveClip() const { return IntersectRects(GetClipRect(), GetBoundsRect()); }
    // Clips a stretched draw: Step is source pixels per destination pixel (negated when
    // mirrored), Frac the fractional source position cut away at the left and top.
    bool ClipStretchRect(TRect& Dest, TRect& Src, bool MirrorX, bool MirrorY, double& StepX, double& StepY,
                         double& FracX, double& FracY) const;
    // The same for whole-number reductions: Ratio source pixels per destination pixel.
    bool ClipShrinkRect(TRect& Dest, TRect& Src, bool MirrorX, bool MirrorY, int32_t& RatioX,
                        int32_t& RatioY) const;
    // Clips Rect, adding what was cut from its left and top to CutX and CutY.
    bool ClipRectToClip(TRect& Rect, int32_t& CutX, int32_t& CutY) const;
    // The destination rectangle of SrcRect rotated by Angle (radians) and zoomed about its pixel
    // (CenterX, CenterY) placed on (X, Y).
    static TRect CalcRotateZoomBounds(int32_t X, int32_t Y, int32_t CenterX, int32_t CenterY, const TRect& SrcRect,
                                      double Angle, double ZoomX, double ZoomY, bool MirrorX, bool MirrorY);

    // ---- Format and storage ----
    virtual bool GetEmpty() const { return GetWidth() <= 0 || GetHeight() <= 0; }
    virtual int GetBitCount() const { return 0; }
    virtual void SetBitCount(int) {}
    virtual uint32_t GetRBitMask() const { return 0; }
    virtual uint32_t GetGBitMask() const { return 0; }
    virtual uint32_t GetBBitMask() const { return 0; }
    virtual int32_t GetNextLine() const { return 0; }
    virtual uint32_t GetPixel(int32_t, int32_t) const { return 0; }
    virtual void SetPixel(int32_t, int32_t, uint32_t) {}
    virtual int GetBShift() const { return 0; }
    virtual int GetGShift() const { return 0; }
    virtual int GetRShift() const { return 0; }
    virtual int32_t GetHeight() const { return Height; }
    virtual int32_t GetWidth() const { return Width; }
    virtual TCustomDIBX* GetSurface() { return this; }
    virtual int GetBitsPerPixel() const { return GetBitCount(); }
    virtual void SetSize(int32_t AWidth, int32_t AHeight, int BitCount);
    // Address of pixel (X, Y) inside the surface, or nullptr when the pixels cannot be reached.
    // Every non-null Lock is followed by one Unlock.
    virtual uint8_t* Lock(int32_t, int32_t) { return nullptr; }
    virtual void Unlock() {}
    // The pixels as a frame record, held until ReleaseDC; no pixels when they cannot be reached.
    virtual TFrameRecord GetDC() { return {}; }
    virtual void ReleaseDC() {}
    virtual void ClearClipRect() { ClipRect.Right = 0; }
    // Grows the clip rectangle to hold R (cut to the bounds); an empty cut R changes nothing.
    virtual void UnionClipRect(const TRect& R);
    virtual int32_t ColorToPixel(int32_t Color) const { return Color; }

    // ---- Fills, frames and draws (Color is a raw pixel value) ----
    virtual void Fill(int32_t Color) { FillRect(GetBoundsRect(), Color); }
    virtual void FillRect(const TRect& R, int32_t Color);
    // Per channel (d * (255 - Alpha) + c * Alpha) div 256; pixels equal to Color stay.
    virtual void FillRectAlpha(const TRect& R, int32_t Color, int32_t Alpha);
    virtual void FillRectAdd(const TRect& R, int32_t Color);
    virtual void FillRectSub(const TRect& R, int32_t Color);
    virtual void FrameRect(const TRect& R, int32_t W, int32_t Color);
    virtual void FrameRectAlpha(const TRect& R, int32_t W, int32_t Color, int32_t Alpha);
    virtual void FrameRectAdd(const TRect& R, int32_t W, int32_t Color);
    virtual void Assign(TCustomDIBX& Source);
    virtual void Draw(int32_t X, int32_t Y, TCustomDIBX& Source, const TRect& SrcRect, bool Transparent, bool MirrorX,
                      bool MirrorY);
    virtual void DrawMask(int32_t X, int32_t Y, TCustomDIBX& Source, const TRect& SrcRect, bool MirrorX, bool MirrorY,
                          TCustomDIBX& Mask);
    virtual void DrawAlpha(int32_t X, int32_t Y, TCustomDIBX& Source, const TRect& SrcRect, bool Transparent,
                           bool MirrorX, bool MirrorY, int32_t Alpha);
    virtual void DrawAlphaMask(int32_t X, int32_t Y, TCustomDIBX& Source, const TRect& SrcRect, bool MirrorX,
                               bool MirrorY, TCustomDIBX& Mask, int32_t Alpha);
    virtual void DrawAdd(int32_t X, int32_t Y, TCustomDIBX& Source, const TRect& SrcRect, bool Transparent,
                         bool MirrorX, bool MirrorY, int32_t Intensity);
    virtual void DrawAddMask(int32_t X, int32_t Y, TCustomDIBX& Source, const TRect& SrcRect, bool MirrorX,
                             bool MirrorY, TCustomDIBX& Mask, int32_t Intensity);
    // Blend 255 copies, below 255 blends, 256..511 adds with intensity Blend - 256.
    virtual void DrawRotate(int32_t X, int32_t Y, double ZoomX, double ZoomY, TCustomDIBX& Source,
                            const TRect& SrcRect, int32_t CenterX, int32_t CenterY, double Angle, bool Transparent,
                            bool MirrorX, bool MirrorY, int32_t Blend);

    // ---- Stretched draws ----
    // SrcRect of Source scaled into DestRect by sampling the nearest pixel in 16.16 steps. Alpha
    // 0 draws nothing, 1..254 blends, 255 and above copies; Intensity weights an added source;
    // Source's key is skipped only when Transparent. The mask variants weight each pixel by
    // the 8-bit Mask read at the sampled source pixel. A source reaching past its surface (or
    // the mask) draws only the destination pixels whose samples lie inside both.
    virtual void StretchDraw(const TRect& DestRect, TCustomDIBX& Source, const TRect& SrcRect, bool Transparent,
                             bool MirrorX, bool MirrorY, int32_t Alpha);
    virtual void StretchDrawMask(const TRect& DestRect, TCustomDIBX& Source, const TRect& SrcRect, bool MirrorX,
                                 bool MirrorY, TCustomDIBX& Mask, int32_t Alpha);
    virtual void StretchDrawAdd(const TRect& DestRect, TCustomDIBX& Source, const TRect& SrcRect, bool Transparent,
                                bool MirrorX, bool MirrorY, int32_t Intensity);
    virtual void StretchDrawAddMask(const TRect& DestRect, TCustomDIBX& Source, const TRect& SrcRect, bool MirrorX,
                                    bool MirrorY, TCustomDIBX& Mask, int32_t Intensity);
    // Stretched copies of SrcRect, ScaleX x ScaleY times its size, laid every PeriodX x PeriodY
    // source pixels (scaled alike) over Rect from the scroll offset (OriginX, OriginY); Blend
    // below 256 through StretchDraw(Mask), above 256 adds through StretchDrawAdd(Mask) with
    // intensity Blend - 256 (at most 255). Scales and periods that are not finite or not above 0 draw nothing, as does
    // a masked tiling whose whole period is below one pixel.
    virtual void StretchDrawTile(const TRect& Rect, int32_t PeriodX, int32_t PeriodY, double ScaleX, double ScaleY,
                                 TCustomDIBX& Source, const TRect& SrcRect, bool Transparent, bool MirrorX,
                                 bool MirrorY, int32_t Blend, int32_t OriginX, int32_t OriginY);
    virtual void StretchDrawTileMask(const TRect& Rect, int32_t PeriodX, int32_t PeriodY, double ScaleX,
                                     double ScaleY, TCustomDIBX& Source, const TRect& SrcRect, TCustomDIBX& Mask,
                                     bool MirrorX, bool MirrorY, int32_t Blend, int32_t OriginX, int32_t OriginY);

    virtual void Clear() { Width = Height = 0; }
    virtual void GetColorTable(TRGBQuad*) const {}
    virtual void GetColorTableEntries(TRGBQuad*, int, int) const {}
    virtual void SetColorTable(const TRGBQuad*) {}
    virtual void SetColorTableEntries(const TRGBQuad*, int, int) {}
    // Color blended through the 8-bit Mask (glyph coverage).
    virtual void DrawAlphaMaskKeyed(int32_t X, int32_t Y, TCustomDIBX& Mask, const TRect& SrcRect, bool MirrorX,
                                    bool MirrorY, int32_t Color, int32_t Alpha);
    virtual void MakeMemoryImage() {}

    // ---- Antialiased monochrome draws (graphics/dibx_mono.cpp) ----
    // SrcRect of Source, rendered at N times its final size (N 1..255), reduced by N onto (X, Y):
    // each destination pixel blends the mixture of one N x N cell of samples, walked from the
    // right or bottom edge when mirrored. Only 15-, 16- and 32-bit destinations are drawn. The
    // destination pixels drawn are those on the clip rectangle whose whole cell lies inside
    // Source; the cells always step by N.
    // From a 1-bit Source (leftmost pixel in the high bit): a clear bit is covered, c covered
    // samples (scaled to c * Alpha div 256 below Alpha 255) give per channel
    // (Color * c + d * (N^2 - c)) div N^2; at 32 bits the fourth byte is a channel too.
    virtual void DrawMonoAntialias(int32_t X, int32_t Y, TCustomDIBX& Source, const TRect& SrcRect, int32_t Color,
                                   bool MirrorX, bool MirrorY, int32_t Alpha, int32_t N);
    // From a 4-bit Source (high nibble first): sample value mod 4 is 0 for the background, 1..3
    // for Colors[0..2]. A cell wholly of class 1 or 2 at Alpha 255 stores that raw colour;
    // otherwise the classes weigh q * 256 at Alpha 255, q * (Alpha mod 256) else, the background
    // the rest of 256 * N^2. At 32 bits blue, green and red are mixed and the fourth byte kept; at
    // 15/16 bits Alpha above 255 adds the colours to the whole destination, capped per field.
    // Reserved is not read.
    virtual void DrawMonoAntialiasEx(int32_t X, int32_t Y, TCustomDIBX& Source, const TRect& SrcRect,
                                     const int32_t* Colors, int32_t Reserved, bool MirrorX, bool MirrorY,
                                     int32_t Alpha, int32_t N);

    // ---- Indexed-colour draws (graphics/dibx_indexed.cpp) ----
    // SrcRect of a palette-indexed Source at (X, Y) through Colors, a table of raw destination
    // values by index; mirroring reads from the right or bottom edge. The table must hold an
    // entry for every index that occurs.
    // From a 4-bit Source (high nibble first) through 16 entries of 32 bits (their low 16 bits at
    // 15/16 bits), skipping the index equal to Source's key: Blend 255 stores the entry, below
    // 255 blends it with weight Blend (pixels already equal to it stay), above 255 adds it with
    // intensity Blend - 256 (an entry 0 or a full white destination stays). Only 15-, 16- and
    // 32-bit destinations are drawn; Flag is not read.
    virtual void DrawBlend(int32_t X, int32_t Y, TCustomDIBX& Source, const TRect& SrcRect, bool Flag, bool MirrorX,
                           bool MirrorY, int32_t Blend, const int32_t* Colors);
    // From an 8-bit Source, adding per channel (Colors[i] * Intensity) div 256, capped; the
    // 256 entries are 16 bits wide at 15/16 bits and 32 bits wide otherwise. At 15, 16 and 32
    // bits indexes below Threshold are skipped; at 8 and 24 bits only indexes above Source's key
    // (unsigned: a key of -1 draws nothing) are drawn.
    virtual void DrawIndexed(int32_t X, int32_t Y, TCustomDIBX& Source, const TRect& SrcRect, int32_t Threshold,
                             bool MirrorX, bool MirrorY, int32_t Intensity, const void* Colors);
    // The same add stretched into DestRect, sampled from the first edge as the 8- and 24-bit
    // stretched draws are; indexes below Threshold are skipped. Only 15-, 16- and 32-bit
    // destinations are drawn.
    virtual void StretchDrawIndexed(const TRect& DestRect, TCustomDIBX& Source, const TRect& SrcRect,
                                    int32_t Threshold, bool MirrorX, bool MirrorY, int32_t Intensity,
                                    const void* Colors);

    // ---- Image files (graphics/dibx_files.cpp) ----
    // The loaders size the surface to the image at its own bits per pixel and copy the pixels in
    // by colour. A missing file, a name not ending in ".bmp", a stream of none of the kinds and an
    // empty image change nothing; errors of the readers pass through.
    void LoadFromBitmapFile(const std::string& FileName);
    // A BMP ("BM" at 0), PNG ("PNG" at 1) or Mira ("Mira" at 0: frame 0, Code the identification
    // code of shuffled rows) stream, tested in that order from the stream's beginning. nullptr
    // loads nothing.
    void LoadFromStream(TStream* Stream, uint32_t Code);
    // A 24-bit BMP of the surface's colours when FileName ends in ".bmp" (in any case), written
    // beside it and renamed over it; other names write nothing.
    void SaveToFile(const std::string& FileName);

    // ---- Rotated, wrapped and tiled draws ----
    // Rotated draws turn SrcRect of Source as DrawRotate does: by Angle (radians, clockwise on
    // screen), zoomed, about the source pixel (CenterX, CenterY), which lands on (X, Y); the
    // mirror flags flip the sampled position within SrcRect. Zooms that are not finite or not
    // above 0 draw nothing.
    // DrawRotate weighted by the 8-bit Mask at the sampled source pixel: Alpha 1..255 blends with
    // the mask value scaled by Alpha, 256 and above adds with that weight from Alpha - 256.
    virtual void DrawRotateMask(int32_t X, int32_t Y, double ZoomX, double ZoomY, TCustomDIBX& Source,
                                const TRect& SrcRect, int32_t CenterX, int32_t CenterY, double Angle, bool MirrorX,
                                bool MirrorY, TCustomDIBX& Mask, int32_t Alpha);
    // The smoothed form: four samples on a half-pixel grid turned with the picture, averaged and
    // weighted by their mask values (255 everywhere without a Mask). 32-bit pixels are written
    // with the fourth byte 0.
    void DrawRotateZoomMasked(int32_t X, int32_t Y, double ZoomX, double ZoomY, TCustomDIBX& Source,
                              const TRect& SrcRect, int32_t CenterX, int32_t CenterY, double Angle, bool MirrorX,
                              bool MirrorY, TCustomDIBX* Mask, int32_t Alpha);
    // Wrapped draws fill DestRect with the whole of Source repeated. DrawWrap copies raw values,
    // the pattern's pixel (OffsetX, OffsetY) (taken modulo the source size) on DestRect's corner.
    virtual void DrawWrap(const TRect& DestRect, TCustomDIBX& Source, int32_t OffsetX, int32_t OffsetY, bool MirrorX,
                          bool MirrorY);
    // Four strips of Thickness along Rect, each through DrawWrap without mirroring.
    virtual void DrawWrapFrame(const TRect& Rect, int32_t Thickness, TCustomDIBX& Source, const TRect& SrcRect,
                               bool Flag, int32_t OffsetX, int32_t OffsetY);
    // The pattern zoomed, its offsets in 1/256 of a destination pixel (a whole period is
    // 256 * width * ZoomX). Blend 1..254 blends, 255 copies, 256 and above adds with intensity
    // Blend - 256 (at most 255); the mask variant weights each sample by its mask value.
    virtual void DrawQuad(const TRect& DestRect, TCustomDIBX& Source, double ZoomX, double ZoomY, int32_t OffsetX,
                          int32_t OffsetY, bool Transparent, bool MirrorX, bool MirrorY, int32_t Blend);
    virtual void DrawQuadMask(const TRect& DestRect, TCustomDIBX& Source, double ZoomX, double ZoomY, int32_t OffsetX,
                              int32_t OffsetY, bool MirrorX, bool MirrorY, TCustomDIBX& Mask, int32_t Blend);
    // Whole copies of SrcRect side by side over Rect, GapX and GapY pixels apart, the pattern
    // scrolled by (OriginX, OriginY), each drawn with the unscaled draw of the same name.
    virtual void DrawTile(const TRect& Rect, int32_t GapX, int32_t GapY, TCustomDIBX& Source, const TRect& SrcRect,
                          bool Transparent, int32_t OriginX, int32_t OriginY);
    virtual void DrawTileAlpha(const TRect& Rect, int32_t GapX, int32_t GapY, TCustomDIBX& Source,
                               const TRect& SrcRect, bool Transparent, int32_t Alpha, int32_t OriginX,
                               int32_t OriginY);
    virtual void DrawTileAdd(const TRect& Rect, int32_t GapX, int32_t GapY, TCustomDIBX& Source, const TRect& SrcRect,
                             bool Transparent, int32_t Intensity, int32_t OriginX, int32_t OriginY);
    virtual void DrawTileMask(const TRect& Rect, int32_t GapX, int32_t GapY, TCustomDIBX& Source,
                              const TRect& SrcRect, TCustomDIBX& Mask, int32_t OriginX, int32_t OriginY);
    virtual void DrawTileAlphaMask(const TRect& Rect, int32_t GapX, int32_t GapY, TCustomDIBX& Source,
                                   const TRect& SrcRect, TCustomDIBX& Mask, int32_t Alpha, int32_t OriginX,
                                   int32_t OriginY);
    virtual void DrawTileAddMask(const TRect& Rect, int32_t GapX, int32_t GapY, TCustomDIBX& Source,
                                 const TRect& SrcRect, TCustomDIBX& Mask, int32_t Intensity, int32_t OriginX,
                                 int32_t OriginY);

protected:
    int32_t Height = 0;
    int32_t Width = 0;
};

inline bool TCustomDIBX::ClipBlitRectTo(const TRect& C, TRect& Dest, TRect& Src, bool MirrorX, bool MirrorY) {
    if (Dest.Left < C.Left) {
        const int32_t d = C.Left - Dest.Left;
        (MirrorX ? Src.Right -= d : Src.Left += d);
        Dest.Left = C.Left;
    }
    if (Dest.Top < C.Top) {
        const int32_t d = C.Top - Dest.Top;
        (MirrorY ? Src.Bottom -= d : Src.Top += d);
        Dest.Top = C.Top;
    }
    if (Dest.Left + (Src.Right - Src.Left) > C.Right) {
        const int32_t d = C.Right - Dest.Left;
        (MirrorX ? Src.Left = Src.Right - d : Src.Right = Src.Left + d);
        Dest.Right = C.Right;
    }
    if (Dest.Top + (Src.Bottom - Src.Top) > C.Bottom) {
        const int32_t d = C.Bottom - Dest.Top;
        (MirrorY ? Src.Top = Src.Bottom - d : Src.Bottom = Src.Top + d);
        Dest.Bottom = C.Bottom;
    }
    return Dest.Left < Dest.Right && Dest.Top < Dest.Bottom;
}

// The memory surface: pixels in a TDIB (top-down addressing over the bottom-up rows).
class TDIBX : public TCustomDIBX {
public:
    TDIBX();
    ~TDIBX() override;

    TDIB* DIB;
    bool DIBNotOwned = false;  // the destructor leaves DIB alone

    int GetBitCount() const override;
    void SetBitCount(int Value) override;
    uint32_t GetRBitMask() const override { return DIB->NowPixelFormat().RBitMask; }
    uint32_t GetGBitMask() const override { return DIB->NowPixelFormat().GBitMask; }
    uint32_t GetBBitMask() const override { return DIB->NowPixelFormat().BBitMask; }
    int32_t GetNextLine() const override { return DIB->NextLine(); }
    uint32_t GetPixel(int32_t X, int32_t Y) const override { return DIB->GetPixel(X, Y); }
    void SetPixel(int32_t X, int32_t Y, uint32_t Value) override { DIB->SetPixel(X, Y, Value); }
    int GetBShift() const override { return 0; }
    int GetGShift() const override { return int(DIB->NowPixelFormat().BBitCount); }
    int GetRShift() const override {
        return int(DIB->NowPixelFormat().BBitCount + DIB->NowPixelFormat().GBitCount);
    }
    int GetBitsPerPixel() const override { return DIB->BitCount(); }
    // An empty size empties the DIB; the logical size is the DIB's.
    void SetSize(int32_t AWidth, int32_t AHeight, int BitCount) override;
    uint8_t* Lock(int32_t X, int32_t Y) override;
    // The DIB's rows, top row first (a negative pitch), with its colour table.
    TFrameRecord GetDC() override;
    int32_t ColorToPixel(int32_t Color) const override;
    // Whole buffer without clipping for 1-16 bits; 24 and 32 bits through FillRect.
    void Fill(int32_t Color) override;
    void Clear() override;
    void GetColorTable(TRGBQuad* Dest) const override;
    void GetColorTableEntries(TRGBQuad* Dest, int Start, int Count) const override;
    void SetColorTable(const TRGBQuad* Source) override;
    void SetColorTableEntries(const TRGBQuad* Source, int Start, int Count) override;
    void MakeMemoryImage() override { DIB->MakeMemoryImage(); }
};
