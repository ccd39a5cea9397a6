#pragma once
// Cursor files: a Windows cursor (".cur"; an icon file is read the same way) or an animated
// cursor (".ani", of which the first frame is taken), read into one 32-bit image with alpha and
// the hot spot.
//
// From a file holding several images the 32 x 32 one is taken, else the largest. Its image is
// a PNG image, or a DIB of 1, 4, 8, 24 or 32 bits whose height counts the colour rows and the AND
// mask rows below them. A pixel whose mask bit is set is transparent; one that would invert the
// screen (mask set, colour not black) is drawn opaque black instead, since a colour cursor cannot
// invert. A 32-bit image takes its alpha from the fourth byte of each pixel (0 where the mask
// is set), unless every fourth byte is 0: then only the mask counts, as in older files.
#include "core/streams.h"

#include <cstdint>
#include <vector>

struct TCursorImage {
    int32_t Width = 0, Height = 0;
    // Inside the image: a hot spot stored outside it is moved to the nearest pixel. An icon
    // file has none stored; its hot spot is the centre.
    int32_t HotX = 0, HotY = 0;
    std::vector<uint32_t> Pixels;  // 0xAARRGGBB, straight alpha, Width * Height, top row first
};

// Reads the cursor file that Stream holds from its position to its end. EInvalidGraphic on a
// damaged, truncated or absurd file. An image stored as PNG (at most 256 pixels a side) is decoded
// by the PNG reader, its alpha taken from its alpha channel, its palette's alpha table or its
// transparent colour.
TCursorImage ReadCursorFile(TStream& Stream);

// ---- The bounded reader of icon and cursor files, shared with the image surface ----

// A directory entry as stored (a width or height of 0 stands for 256).
struct TIconEntry {
    int32_t Width, Height;
    int32_t HotX, HotY;  // the planes and bit count of an icon
    uint32_t Bytes, Offset;
};

struct TIconDirectory {
    int32_t Type = 0;  // 1 icon, 2 cursor
    std::vector<TIconEntry> Entries;  // at least one
};

// One stored image, its layout checked to lie inside Resource: 1, 4, 8, 16, 24 or 32 bits, at
// most 256 pixels a side, uncompressed.
struct TIconImage {
    int32_t Width = 0, Height = 0;  // of the colour bitmap (half the stored height)
    int32_t Bits = 0;
    std::vector<uint32_t> Palette;  // 0x00RRGGBB, the stored table of an image of 8 bits or fewer
    std::vector<uint8_t> Resource;  // the whole stored image
    int64_t ColourStart = 0, ColourRow = 0, MaskStart = 0, MaskRow = 0;
    // A 32-bit image whose fourth bytes are not all 0: they are its opacity where the AND mask
    // leaves a pixel (older files leave them all 0, and only the mask counts).
    bool AlphaBytes = false;

    // Rows by Y from the top.
    const uint8_t* ColourRowAt(int32_t Y) const { return Resource.data() + ColourStart + ColourRow * (Height - 1 - Y); }
    bool Masked(int32_t X, int32_t Y) const {
        return Resource[size_t(MaskStart + MaskRow * (Height - 1 - Y) + (X >> 3))] >> (7 - (X & 7)) & 1;
    }
};

// The directory of the icon or cursor file in [Start, End) of Stream, and an image it lists
// (offsets count from Start). EInvalidGraphic when anything lies outside [Start, End), when the
// directory is empty or damaged, and for an image stored as PNG.
TIconDirectory ReadIconDirectory(TStream& Stream, int64_t Start, int64_t End);
TIconImage ReadIconImage(TStream& Stream, const TIconEntry& Entry, int64_t Start, int64_t End);
