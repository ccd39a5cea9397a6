#pragma once
// The display-backed drawing surface: a TCustomDIBX whose pixels are a surface of the display
// (platform::PixelSurface), and the scaled copy of a surface into such pixels that puts frames
// on the screen.
//
// Surfaces of the display are 16, 24 or 32 bits with their channels where their masks say (a
// 5-5-5 surface reports 16 bits), or 1, 4 or 8 bits of indexes into a palette the surface made
// for itself; colours become pixels by the masks, or as the nearest palette entry. The fills and
// draws of TCustomDIBX run on them through Lock, GetPixel and SetPixel like on any surface.
#include "graphics/dibx.h"
#include "platform/display.h"

#include <array>
#include <memory>

class TDxDIBX : public TCustomDIBX {
public:
    // Empty until SetSize makes its own surface from Display, in the format of a display
    // showing DisplayBitCount bits.
    TDxDIBX(platform::Display* Display, int32_t DisplayBitCount);
    // Over a surface someone else keeps (the window's frame, say): never freed here.
    static std::unique_ptr<TDxDIBX> CreateFromSurface(platform::PixelSurface& Surface);
    ~TDxDIBX() override;

    bool GetEmpty() const override;
    int GetBitCount() const override { return Describe().bitCount; }
    uint32_t GetRBitMask() const override { return Describe().redMask; }
    uint32_t GetGBitMask() const override { return Describe().greenMask; }
    uint32_t GetBBitMask() const override { return Describe().blueMask; }
    int32_t GetNextLine() const override { return Describe().pitch; }
    // The raw value; 0 outside the surface, when it cannot be locked, and for 1 and 4 bits.
    uint32_t GetPixel(int32_t X, int32_t Y) const override;
    // Nothing outside the surface, when it cannot be locked, and for 1 and 4 bits.
    void SetPixel(int32_t X, int32_t Y, uint32_t Value) override;
    // Bit positions of the blue, green and red fields.
    int GetBShift() const override;
    int GetGShift() const override;
    int GetRShift() const override;
    int32_t GetHeight() const override { return Describe().height; }
    int32_t GetWidth() const override { return Describe().width; }
    // A new surface of its own from the display: for BitCount 1, 4 or 8 an indexed one with a
    // palette of zeroes, else 32 bits when the display shows more than 16, else 16. Raises the
    // image-size error for a size past CheckImageSize's bounds, "\"CreateSurface\" Failed" when the display cannot make it; without a display
    // no surface is made.
    void SetSize(int32_t AWidth, int32_t AHeight, int BitCount) override;
    // Locks stay balanced by the callers and may nest (a surface drawn onto itself).
    uint8_t* Lock(int32_t X, int32_t Y) override;
    void Unlock() override;
    // The surface stays locked from GetDC until ReleaseDC; a second GetDC answers the same pixels.
    TFrameRecord GetDC() override;
    void ReleaseDC() override;
    // Colours most recently converted are remembered (16 of them).
    int32_t ColorToPixel(int32_t Color) const override;
    // Drops a surface of its own; one it was made over stays with its owner.
    void FreeSurface();

    // The palette of a surface of its own at 1, 4 or 8 bits; nothing (Dest untouched) otherwise.
    // GetColorTable reads 2^BitCount entries; SetColorTable writes 2, 16 or 256 of Source's and
    // ignores a refusal; SetColorTableEntries raises "FPalette.SetEntries Failed" when the palette
    // refuses the range.
    void GetColorTable(TRGBQuad* Dest) const override;
    void GetColorTableEntries(TRGBQuad* Dest, int Start, int Count) const override;
    void SetColorTable(const TRGBQuad* Source) override;
    void SetColorTableEntries(const TRGBQuad* Source, int Start, int Count) override;

private:
    explicit TDxDIBX(platform::PixelSurface* Surface);
    platform::PixelBuffer Describe() const;
    // Lock and Unlock, also for reads.
    uint8_t* LockAt(int32_t X, int32_t Y) const;
    void Release() const;
    void ClearColorCache() const;

    platform::Display* Display = nullptr;  // the maker of its own surfaces; nullptr for none
    int32_t DisplayBitCount = 0;
    std::unique_ptr<platform::PixelSurface> OwnSurface;
    platform::PixelSurface* Surface;  // OwnSurface's, or the one it was made over; nullptr for none
    bool Palette = false;  // the own surface is indexed
    mutable platform::PixelBuffer Locked;
    mutable int LockCount = 0;
    TFrameRecord DC;  // Pixels set while GetDC holds the lock
    std::array<TRGBQuad, 256> DCColorTable{};
    mutable std::array<int32_t, 16> ColorCacheKeys;
    mutable std::array<int32_t, 16> ColorCacheValues{};
    mutable int32_t ColorCacheNext = 0;
};

// Copies SrcRect of Source onto DestRect of Dest, stretched by sampling the nearest pixel (the
// rule of graphics/pixelconv.h): 15-, 16-, 24- and 32-bit sources into 2-, 3- or 4-byte
// destination pixels laid out by the destination's masks (channels truncated to their fields);
// other formats copy nothing. Only pixels inside Dest and Clip whose sample lies inside Source
// are written: the stretch is the same, a part of it left out.
inline constexpr TRect Unclipped{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
void StretchBltTo(TCustomDIBX& Source, const TRect& SrcRect, platform::PixelSurface& Dest, const TRect& DestRect,
                  const TRect& Clip = Unclipped);
// The same from 32-bit pixels 0x00RRGGBB in memory (rows top first, Pitch bytes apart).
void StretchBltTo(const platform::PixelBuffer& Source, const TRect& SrcRect, platform::PixelSurface& Dest,
                  const TRect& DestRect, const TRect& Clip = Unclipped);
