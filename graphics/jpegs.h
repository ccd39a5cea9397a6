#pragma once
// The JPEG codec over libjpeg: a JPEG file decodes into a 24-bit bitmap (grey pictures as three
// equal channels) and a bitmap encodes as a baseline JPEG file. libjpeg's errors, data that ends
// before the picture does included, raise EInvalidGraphic with libjpeg's own text; its warnings
// (damaged entropy data it patches over) are not errors.
#include "core/streams.h"
#include "graphics/dib.h"

#include <cstddef>
#include <cstdint>
#include <functional>

class TJPEGImage {
public:
    // The picture: 24 bits after a load; any depth to save.
    TDIB Bitmap;

    // Decodes the JPEG file of Size bytes at Data. A failed load keeps the previous picture.
    // CheckSize, when given, sees the picture's size before anything is decoded and refuses it
    // by raising.
    void LoadFromBuffer(const void* Data, size_t Size,
                        const std::function<void(int32_t Width, int32_t Height)>& CheckSize = {});
    // Decodes the stream from its position to its end.
    void LoadFromStream(TStream& Stream);
    // Writes Bitmap (converted to 24 bits when it has another depth) as a JPEG file at Quality,
    // clamped to 1..100.
    void SaveToStream(TStream& Stream, int32_t Quality) const;
};
