#pragma once
// The image surface: a bitmap in plain memory with an optional 8-bit opacity plane of the same
// size, the copies, crops and resizes of the image layer, and the raw pixel movers between
// surfaces of one depth (plain, colour-keyed, constant opacity, through the source's opacity
// plane, rectangle fill).
//
// Depth requests everywhere are 1, 4, 8, 15 (16 bits stored as 5-5-5), 16 (5-6-5), 24 and 32.
// Key colours are raw pixel values: 1, 4, 8 bits an index (no index equals a negative key);
// 15/16 bits the word compared with all 32 bits of the key; 24 bits the low three bytes of the
// key, a negative key matching nothing; 32 bits the whole double word.
#include "core/header.h"
#include "graphics/dib.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Magenta (0x00RRGGBB), the colour that transparent pixels of icons without an opacity plane take.
constexpr int32_t kIconKey = 0x00FF00FF;

class TDIBSurface : public TDIB {
public:
    TDIBSurface() = default;
    TDIBSurface(const TDIBSurface&) = delete;
    TDIBSurface& operator=(const TDIBSurface&) = delete;

    // One opacity byte per pixel (0 transparent .. 255 opaque), or none.
    std::unique_ptr<TDIBSurface> Alpha;

    // BitCount, except 15 for a 16-bit image whose green mask is $3E0.
    int32_t GetBitCountEx() const;

    // 15 gives a 5-5-5 image of 16 bits, 16 a 5-6-5 one, other depths 8-8-8. Alpha follows the size.
    void SetSize(int32_t Width, int32_t Height, int32_t BitCount) override;
    void Clear() override;

    // Alpha of the image's size; new bytes are not set. FillAlpha makes every byte 255.
    void NeedAlpha();
    void FillAlpha();
    void FreeAlpha();
    // Alpha becomes a copy of Source, an 8-bit image of this surface's size.
    void SetAlphaFrom(const TDIB& Source);
    // Rect of Source's Alpha copied to (0, 0) of this Alpha (both must exist).
    void CopyAlphaRect(const TDIBSurface& Source, const TRect& Rect);

    // An exact copy of Source (its Alpha too, when Source is a surface that has one).
    void CopyFrom(const TDIB& Source);
    // Size, depth, colour table and pixels of Source, then its Alpha or none.
    void AssignSurface(const TDIBSurface& Source);
    // Rect of Source at Source's depth; with WithAlpha also Source's Alpha inside Rect.
    void CopyRect(const TDIBSurface& Source, const TRect& Rect, bool WithAlpha);
    void Crop(const TRect& Rect);
    // Crops away the border whose pixels all equal Color (-1: none); nothing left keeps 1 x 1.
    void Trim(int32_t Color);
    // The rectangle Trim keeps: the bounds of the pixels that differ from the raw value Color
    // (empty when there are none).
    TRect TrimBounds(int32_t Color) const;
    void MirrorX();
    void FlipY();
    // Draws Source of any depth at (X, Y): colours converted, nearest palette entries for
    // indexed surfaces, a raw copy when depth and colour table agree.
    void CopyConvert(int32_t X, int32_t Y, const TDIB& Source);

    // Channels in field units (indexed: the colour-table entry) and back.
    void PixelToRGBRaw(uint32_t Pixel, uint8_t& R, uint8_t& G, uint8_t& B) const;
    uint32_t RGBToPixelRaw(uint8_t R, uint8_t G, uint8_t B) const;
    // 8-bit channels; with Fill the low bits of non-zero 15/16-bit channels are set.
    void PixelToRGB(uint32_t Pixel, uint8_t& R, uint8_t& G, uint8_t& B, bool Fill) const;
    uint32_t RGBToPixel(uint8_t R, uint8_t G, uint8_t B) const;

    // Smooth: area average when shrinking, bilinear otherwise, TransColor ($RRGGBB, -1 none)
    // left out of the averages; the result is 24 bits unless KeepDepth brings back a depth
    // below 24. Not smooth: nearest pixel at the same depth. Alpha is resized alike.
    void ResizeEx(int32_t Width, int32_t Height, bool KeepDepth, int32_t TransColor, bool Smooth);
    void Resize(int32_t Width, int32_t Height, int32_t TransColor, bool Smooth) {
        ResizeEx(Width, Height, true, TransColor, Smooth);
    }

    // ---- Files, by extension (any case): ".tga", ".ico" and ".cur", else BMP ----
    // A failed load raises and leaves the surface empty; a failed save leaves the file as it was.
    void LoadFromFile(const std::string& FileName);
    void SaveToFile(const std::string& FileName) const;
    // Truevision files of types 1, 2, 3 and their run-length forms 9, 10, 11; another type
    // leaves the surface empty. 16-bit (and 15-bit) pixels become 5-6-5; a 32-bit one keeps its
    // fourth byte.
    void LoadTGA(TStream& Stream);
    // Top-down, 1 and 4 bits as an 8-bit colour-mapped file, 15 and 16 bits as 5-5-5.
    void SaveTGA(TStream& Stream) const;
    // A BMP file, or the first image of an icon or cursor file. A 32-bit image becomes 24 bits
    // with its fourth byte as Alpha, 0 where the mask is set (only the mask counts when every
    // fourth byte is 0); a 1-bit image gets Alpha from its mask; in others the masked pixels take
    // the key colour kIconKey (indexed: an entry no pixel uses, set to it, else the nearest one).
    void LoadIcon(TStream& Stream);
    // One image (16 and 32 bits as 24), every pixel opaque; a cursor's hot spot is (HotX, HotY).
    void SaveIcon(TStream& Stream, bool IsCursor, int32_t HotX = 0, int32_t HotY = 0) const;

    // ---- Colour reduction ----
    // Changes the depth to NewBitCount (1, 4, 8, 15, 16, 24 or 32; another raises). An indexed
    // image whose table holds at most MaxColors entries keeps it; an image using at most
    // MaxColors colours gets those as its table. Otherwise, at 8 bits or fewer, Method 1 takes
    // the octree with 2^NewBitCount colours (with Dither the fixed 210-colour palette), 2 the
    // median cut by extent, 3 and others by variance; Method 0 and the deeper targets go
    // through the working bitmaps, with a palette of at most MaxColors (0: as many as the
    // depth holds) boxes split from the occupied colour cells. Dither diffuses the error.
    void ReduceColors(int32_t Method, int32_t NewBitCount, bool Dither, int32_t MaxColors);
    // Distinct raw pixel values; at 24 and 32 bits distinct colours (the fourth byte left out).
    int32_t CountColors() const;
    // The distinct colours in order of first appearance (indexed: the entries of the indexes met).
    std::vector<TRGBQuad> UsedColors() const;
    // Indexed images: the first index no pixel uses, -1 when every index is used; 0 above 8 bits.
    int32_t UsedPaletteLength() const;

    // ---- Transfers from a source of the same BitCount (another depth raises an error) ----
    // Clips the transfer of SrcRect to (X, Y) against this image; true when something is left.
    bool ClipTransfer(int32_t& X, int32_t& Y, TRect& SrcRect) const;
    void CopyRectTo(int32_t X, int32_t Y, const TRect& SrcRect, const TDIB& Source);
    void CopyAllTo(int32_t X, int32_t Y, const TDIB& Source);
    // Source pixels equal to Key are not written.
    void DrawKeyed(int32_t X, int32_t Y, int32_t Key, const TRect& SrcRect, const TDIB& Source);
    // Opacity 0 draws nothing, 255 or negative is DrawKeyed; indexed images are stippled.
    void DrawAlpha(int32_t X, int32_t Y, int32_t Opacity, int32_t Key, const TRect& SrcRect, const TDIB& Source);
    // Through Source's Alpha; Opacity scales it on 24-bit images only.
    void DrawAlphaMask(int32_t X, int32_t Y, int32_t Opacity, const TRect& SrcRect, const TDIBSurface& Source);
    // Rect clipped to the image, filled with the raw Value cut to the depth.
    void FillRectRaw(const TRect& Rect, uint32_t Value);

private:
    template <class RowFn>
    void ForEachRow(int32_t X, int32_t Y, TRect SrcRect, const TDIB& Source, RowFn Fn);
    TDIB ResizeSmooth(int32_t Width, int32_t Height, int32_t TransColor) const;
    void StretchFrom(const TDIB& Source);
    void CopyAlphaOf(const TDIB& Source);
};

// The effective depth of any bitmap, as GetBitCountEx.
int32_t EffectiveBitCount(const TDIB& Dib);
