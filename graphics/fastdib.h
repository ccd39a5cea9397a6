#pragma once
// The working image of colour reduction and the depth conversion between two of them.
//
// TFastDIB is a top-down bitmap in one block of memory with a table of row addresses: 1, 4, 8,
// 16, 24 or 32 bits per pixel, a 256-entry colour table, and at 16 and 32 bits channel fields
// named by a three-digit code (hundreds red bits, tens green bits, units blue bits: 555, 565,
// 888). Pixels inside a row are laid out as in TDIB (1 bit most significant first, 4 bits high
// nibble first, 24 bits blue, green, red bytes; 16 and 32 bits little-endian words), rows are
// padded to 4 bytes.
//
// ConvertDepth converts one TFastDIB into another of the same size at another depth: colour
// tables of the colours an image uses when it has few enough, a palette of boxes split from
// the occupied cells of a 32 x 64 x 32 colour grid otherwise, grey levels on request, and
// serpentine Floyd-Steinberg error diffusion where the target has a palette or 16 bits.
#include "graphics/dib.h"
#include "platform/errors.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

// A failure of the working bitmaps ("Can not alloc memory" and bad arguments), in English.
class EFastDIBError : public EVelaError {
public:
    using EVelaError::EVelaError;
};

// The depth of the screen pictures are shown on: 15 (16 bits as 5-5-5), 16 (5-6-5), 24 or 32.
// The screen manager fills it while one exists; empty means 32.
extern std::function<int32_t()> ScreenDepthHook;

// The 16-bit layout of the screen: 555 or 565 (565 without a screen manager).
int32_t Probe16BitFormat();

// One bit per 24-bit colour (2 MB), for counting and listing the colours of a picture.
class TColorSet {
public:
    TColorSet();
    // True when Color (its low 24 bits) was not in the set yet.
    bool Insert(uint32_t Color) {
        uint64_t& word = bits_[(Color & 0xFFFFFF) >> 6];
        const uint64_t bit = uint64_t(1) << (Color & 63);
        if (word & bit) return false;
        word |= bit;
        return true;
    }

private:
    std::unique_ptr<uint64_t[]> bits_;
};

class TFastDIB {
public:
    TFastDIB() = default;
    TFastDIB(const TFastDIB&) = delete;
    TFastDIB& operator=(const TFastDIB&) = delete;

    // A new zeroed image unless all four already agree (the pixels then stay). BitCount 0 takes
    // the screen's depth; BitfieldCode 0 takes the screen's layout at 16 bits and 888 at 32.
    // Raises "Can not alloc memory" when the pixels cannot be had, EMemoryBudget when the title's
    // memory budget cannot take them.
    void SetSize(int32_t Width, int32_t Height, int32_t BitCount, int32_t BitfieldCode = 0);

    int32_t Width() const { return width_; }
    int32_t AbsHeight() const { return absHeight_; }
    int32_t BitCount() const { return bitCount_; }
    int32_t BitfieldCode() const { return bitfieldCode_; }
    int32_t BytesPerLine() const { return bytesPerLine_; }
    // Padding bytes at the end of each row.
    int32_t Gap() const { return gap_; }
    // Masks, widths and places of the channel fields at 16 and 32 bits.
    const TDIBColorFormat& Format() const { return format_; }

    uint8_t* Row(int32_t Y) { return rows_[size_t(Y)]; }
    const uint8_t* Row(int32_t Y) const { return rows_[size_t(Y)]; }

    TRGBQuadTable Colors{};

    // The palette index at (X, Y) at 1, 4 and 8 bits; 0 at other depths.
    uint32_t GetPixelIndex(int32_t Y, int32_t X) const;
    // Distinct 24-bit colours at 24 and 32 bits, distinct words at 16 bits, distinct indexes in
    // use at 4 and 8 bits; at 1 bit the distinct entries of the two-colour table.
    int32_t CountColors() const;
    // Entries First..Last (First <= Last <= 255) become a linear ramp from ColorFirst at First
    // to ColorLast at Last, in 16.16 fixed-point steps per channel.
    void FillPaletteRamp(int32_t First, int32_t Last, TRGBQuad ColorLast, TRGBQuad ColorFirst);

private:
    int32_t width_ = 0, absHeight_ = 0, bitCount_ = 0, bitfieldCode_ = 0;
    int32_t bytesPerLine_ = 0, gap_ = 0;
    TDIBColorFormat format_ = MakeDIBColorFormat(8, 8, 8);
    std::vector<uint8_t> memory_;
    std::vector<uint8_t*> rows_;
};

// Converts Source into Dest, which the caller has sized alike at the target depth. MaxIndex is
// the highest palette index to use (MaxIndex + 1 colours); with Grey the pixels become grey
// levels (targets below 16 bits, sources above 4), with Dither the error is diffused where the
// target has a palette or 16 bits.
void ConvertDepth(TFastDIB& Dest, const TFastDIB& Source, bool Grey, bool Dither, uint8_t MaxIndex);
