#pragma once
// Cursor files: a Windows cursor (".cur"; an icon file is read the same way) or an animated
// cursor (".ani", of which the first frame is taken), read into one 32-bit image with alpha and
// the hot spot.
//
// From a file holding several images the 32 x 32 one is taken, else the largest. Its image is
// a DIB of 1, 4, 8, 24 or 32 bits whose height counts the colour rows and the AND mask rows
// below them. A pixel whose mask bit is set is transparent; one that would invert the screen
// (mask set, colour not black) is drawn opaque black instead, since a colour cursor cannot
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
// damaged, truncated or absurd file, and on an image stored as PNG (not decoded here).
TCursorImage ReadCursorFile(TStream& Stream);
