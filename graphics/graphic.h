#pragma once
// What every image class and image decoder shares: the errors of bitmaps and image files, and the
// one limit on the size of an image that any decoder may allocate.
#include "platform/errors.h"

#include <cstdint>

// Stored image data that cannot be decoded.
class EInvalidGraphic : public EVelaError {
public:
    using EVelaError::EVelaError;
};

// An operation that a bitmap refuses (bad pixel format, row index out of range).
class EInvalidGraphicOperation : public EVelaError {
public:
    using EVelaError::EVelaError;
};

constexpr int32_t kMaxImageSide = 32767;           // width and height, in pixels
constexpr int64_t kMaxImageBytes = int64_t(1) << 30;  // pixel data of one image

// Bytes of one row at BitsPerPixel, padded to 4 bytes.
constexpr int64_t DIBWidthBytes(int64_t Width, int BitsPerPixel) {
    return (Width * BitsPerPixel + 31) / 32 * 4;
}

// Raises EInvalidGraphic unless 1 <= Width, Height <= kMaxImageSide and the padded rows at
// BitsPerPixel take at most kMaxImageBytes. Every decoder calls this before it allocates.
void CheckImageSize(int64_t Width, int64_t Height, int BitsPerPixel);
