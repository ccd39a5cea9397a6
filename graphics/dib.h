#pragma once
// The device-independent bitmap: 1, 4, 8, 16, 24 or 32 bits per pixel with a 256-entry colour
// table or bit-field masks, rows stored bottom-up and padded to 4 bytes, pixel data shared between
// copies until one of them writes. Reads BMP/DIB streams (file header or bare, OS/2 core headers,
// top-down rows, bit fields, RLE4/RLE8) and writes them uncompressed.
//
// Pixels inside a row: 1 bit, most significant bit first; 4 bits, high nibble first; 8 bits an
// index; 16 bits a little-endian word in NowPixelFormat(); 24 bits blue, green, red bytes; 32 bits
// a little-endian double word in NowPixelFormat(). Row Y starts at TopPBits() + Y * NextLine().
// Every image lives in plain memory: MakeMemoryImage has nothing left to do.
#include "core/header.h"
#include "core/streams.h"
#include "graphics/graphic.h"
#include "graphics/pixelconv.h"
#include "platform/clock.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// The layout of a 16-, 24- or 32-bit pixel; the shifts move an 8-bit channel to its field.
struct TDIBColorFormat {
    uint32_t RBitMask, GBitMask, BBitMask;
    uint32_t RBitCount, GBitCount, BBitCount;
    uint32_t RShift, GShift, BShift;
    uint32_t RFill, GFill, BFill;
};

TDIBColorFormat MakeDIBColorFormat(int R, int G, int B);
TDIBColorFormat MakeDIBColorFormatFromMasks(uint32_t RMask, uint32_t GMask, uint32_t BMask);
// Skips zero bits from bit 0 up to bit 30, then counts the consecutive one bits.
int CountMaskBits(uint32_t Mask);

// Pixel of Format from 8-bit channels (truncated) and back (bit replication).
uint32_t PackRGB(const TDIBColorFormat& Format, uint8_t R, uint8_t G, uint8_t B);
void UnpackRGB(const TDIBColorFormat& Format, uint32_t Pixel, uint8_t& R, uint8_t& G, uint8_t& B);

using TRGBQuadTable = std::array<TRGBQuad, 256>;

constexpr TRGBQuad RGBQuad(uint8_t R, uint8_t G, uint8_t B) {
    return TRGBQuad(B) | TRGBQuad(G) << 8 | TRGBQuad(R) << 16;
}
TRGBQuadTable MakeGreyColorTable();

// The raw value of pixel X of a row at BitCount bits, and storing its low BitCount bits.
inline uint32_t LoadPixel(const uint8_t* Row, int32_t X, int32_t BitCount) {
    switch (BitCount) {
        case 1: return Row[X / 8] >> (7 - X % 8) & 1;
        case 4: return Row[X / 2] >> (X % 2 ? 0 : 4) & 0x0F;
        case 8: return Row[X];
        case 16: return Row[2 * X] | Row[2 * X + 1] << 8;
        case 24: return Row[3 * X] | Row[3 * X + 1] << 8 | Row[3 * X + 2] << 16;
        default: return Row[4 * X] | Row[4 * X + 1] << 8 | Row[4 * X + 2] << 16 | uint32_t(Row[4 * X + 3]) << 24;
    }
}
inline void StorePixel(uint8_t* Row, int32_t X, int32_t BitCount, uint32_t Value) {
    switch (BitCount) {
        case 1: {
            const uint8_t mask = uint8_t(0x80 >> X % 8);
            Row[X / 8] = uint8_t(Value & 1 ? Row[X / 8] | mask : Row[X / 8] & ~mask);
            break;
        }
        case 4:
            Row[X / 2] = uint8_t(X % 2 ? (Row[X / 2] & 0xF0) | (Value & 0x0F) : (Row[X / 2] & 0x0F) | (Value & 0x0F) << 4);
            break;
        default:
            for (int i = 0; i < BitCount / 8; ++i) Row[BitCount / 8 * X + i] = uint8_t(Value >> 8 * i);
    }
}

// A system palette entry: red, green, blue, then the flags byte.
struct TPaletteEntry {
    uint8_t Red, Green, Blue, Flags;
    bool operator==(const TPaletteEntry&) const = default;
};
using TPaletteEntryTable = std::array<TPaletteEntry, 256>;

// Red and blue swap places; the fourth byte (flags or reserved) becomes 0.
constexpr TRGBQuad PaletteEntryToRGBQuad(TPaletteEntry E) { return RGBQuad(E.Red, E.Green, E.Blue); }
constexpr TPaletteEntry RGBQuadToPaletteEntry(TRGBQuad Q) { return {QuadRed(Q), QuadGreen(Q), QuadBlue(Q), 0}; }
TRGBQuadTable PaletteEntriesToRGBQuads(const TPaletteEntryTable& Entries);
TPaletteEntryTable RGBQuadsToPaletteEntries(const TRGBQuadTable& Quads);

// Bytes that start unset when a vector grows, for pixels about to be written over.
template <class T>
struct TUnsetAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = TUnsetAllocator<U>;
    };
    template <class U, class... Args>
    void construct(U* P, Args&&... A) {
        if constexpr (sizeof...(Args) == 0)
            ::new (static_cast<void*>(P)) U;
        else
            ::new (static_cast<void*>(P)) U(std::forward<Args>(A)...);
    }
};

// Pixel data with its size and format; held by the TDIBs that share it.
struct TDIBSharedImage {
    int32_t Width = 0, Height = 0, BitCount = 8;
    int32_t WidthBytes = 0;
    int32_t PaletteCount = 0;  // 2^BitCount below 9 bits, else 0
    TDIBColorFormat PixelFormat = MakeDIBColorFormat(8, 8, 8);
    TRGBQuadTable ColorTable = MakeGreyColorTable();
    std::vector<uint8_t, TUnsetAllocator<uint8_t>> Bits;  // bottom row first

    TDIBSharedImage() = default;
    // Without pixels, the size and format given: its bits are for ShapeImage or a copy to make.
    TDIBSharedImage(int32_t Width, int32_t Height, int32_t BitCount, int32_t WidthBytes, int32_t PaletteCount,
                    const TDIBColorFormat& PixelFormat, const TRGBQuadTable& ColorTable)
        : Width(Width), Height(Height), BitCount(BitCount), WidthBytes(WidthBytes), PaletteCount(PaletteCount),
          PixelFormat(PixelFormat), ColorTable(ColorTable) {}

    int32_t Size() const { return int32_t(Bits.size()); }
};

class TDIB;

enum class TProgressStage { psStarting, psRunning, psEnding };
// Progress of a long operation on an image. R is the part of the image worth showing again when
// RedrawNow is set (the whole image at the start and the end).
using TProgressEvent = std::function<void(TDIB& Sender, TProgressStage Stage, uint8_t PercentDone, bool RedrawNow,
                                          const TRect& R, const std::string& Msg)>;

class TDIB {
public:
    TDIB();
    virtual ~TDIB() = default;
    TDIB(const TDIB&) = default;
    TDIB& operator=(const TDIB&) = default;

    // The table and the format the next image gets (SetSize, SetBitCount); UpdatePalette pushes
    // ColorTable into the current image. Attaching an image copies its table here.
    TRGBQuadTable ColorTable;
    TDIBColorFormat PixelFormat;

    bool Empty() const { return Size() == 0; }
    int32_t Width() const { return image_->Width; }
    int32_t Height() const { return image_->Height; }
    int32_t BitCount() const { return image_->BitCount; }
    int32_t WidthBytes() const { return image_->WidthBytes; }
    int32_t NextLine() const { return -image_->WidthBytes; }
    int32_t Size() const { return image_->Size(); }
    int32_t PaletteCount() const { return image_->PaletteCount; }
    const TDIBColorFormat& NowPixelFormat() const { return image_->PixelFormat; }
    const TRGBQuadTable& ImageColorTable() const { return image_->ColorTable; }

    virtual void Clear();
    // A new image unless width, height, depth and masks already agree; one that no other TDIB
    // shares is made over in place. Old pixels are not kept.
    virtual void SetSize(int32_t Width, int32_t Height, int32_t BitCount);
    // The same for a caller that then writes every pixel: the pixels are left unset (the bytes
    // past the last whole pixel of each row are zero).
    void SetSizeForOverwrite(int32_t Width, int32_t Height, int32_t BitCount);
    void SetWidth(int32_t Value);
    void SetHeight(int32_t Value);
    // Converts the pixels to N bits (index copy, nearest entry of a fixed table, or colours).
    void SetBitCount(int32_t N);

    // Writable addresses make the image this TDIB's own first.
    uint8_t* ScanLine(int32_t Y);
    const uint8_t* ScanLineReadOnly(int32_t Y) const;
    uint8_t* PBits();
    const uint8_t* PBitsReadOnly() const { return image_->Bits.data(); }
    uint8_t* TopPBits();
    const uint8_t* TopPBitsReadOnly() const {
        return Empty() ? PBitsReadOnly() : PBitsReadOnly() + ptrdiff_t(Height() - 1) * WidthBytes();
    }

    // Raw values: an index, the packed word, or B | G << 8 | R << 16 at 24 bits; 0 outside.
    uint32_t GetPixel(int32_t X, int32_t Y) const;
    void SetPixel(int32_t X, int32_t Y, uint32_t Value);
    // The colour of a raw pixel value of this image (32-bit images are always 8-8-8).
    TRGBQuad ValueColor(uint32_t Value) const {
        if (BitCount() <= 8) return image_->ColorTable[Value & 0xFF];
        if (BitCount() != 16) return Value & 0x00FFFFFF;
        uint8_t r, g, b;
        UnpackRGB(NowPixelFormat(), Value, r, g, b);
        return RGBQuad(r, g, b);
    }
    // The colours of row Y.
    void RowColors(int32_t Y, TRGBQuad* Out) const;

    void UpdatePalette();
    void MakeMemoryImage() {}

    // nullptr clears; another TDIB shares its image.
    void Assign(const TDIB* Source);

    // BMP files. An empty stream changes nothing; a failed load keeps the previous image.
    void LoadFromStream(TStream& Stream);
    void SaveToStream(TStream& Stream) const;
    // The DIB without its file header.
    void ReadData(TStream& Stream);
    void WriteData(TStream& Stream) const;

    // BITMAPINFOHEADER, the masks at 16 and 32 bits, then PaletteCount table entries.
    std::string BitmapInfo() const;
    int32_t BitmapInfoSize() const;

    // Whole-image effects. Greyscale and Blur rebuild the image at N bits (1, 4, 8, 16, 24 or
    // 32; at 8 bits or fewer with a grey colour table) and report progress row by row; Blur is a
    // box filter over the (2 |Radius| + 1)-square window clipped to the image. Negative inverts
    // the pixels in place, or the colour table at 8 bits or fewer.
    void Greyscale(int32_t N);
    void Blur(int32_t N, int32_t Radius);
    void Negative();

    TProgressEvent OnProgress;
    // The milliseconds the progress reports read to space their redraw hints.
    std::function<uint32_t()> ProgressClock = platform::ClockMs;

private:
    std::shared_ptr<TDIBSharedImage> image_;
    // Progress of the running effect: its name, the first row not yet hinted for redrawing, when
    // the last hint went out, and the last percentage reported.
    std::string progressName_;
    int32_t progressOldY_ = 0;
    uint32_t progressOldTime_ = 0;
    int32_t progressOld_ = 0;

    void SetImage(std::shared_ptr<TDIBSharedImage> Image);
    // SetSize, the new image's pixels left unset with Unset.
    void NewSize(int32_t W, int32_t H, int32_t N, bool Unset);
    void Changing();

    void Progress(TProgressStage Stage, int32_t Percent, bool RedrawNow, const TRect& R);
    void ProgressInit(const std::string& Name);
    // Row Y is done.
    void UpdateProgress(int32_t Y);
    void ProgressEnd();
    // A fresh image of the same size at N bits; at 8 bits or fewer with the grey table of N bits.
    void NewGreyableImage(int32_t N);
};
