#include "graphics/graphic.h"

#include <string>

void CheckImageSize(int64_t Width, int64_t Height, int BitsPerPixel) {
    if (Width < 1 || Height < 1 || Width > kMaxImageSide || Height > kMaxImageSide ||
        DIBWidthBytes(Width, BitsPerPixel) * Height > kMaxImageBytes)
        throw EInvalidGraphic("画像の大きさが扱える範囲を越えています (" + std::to_string(Width) + " x " +
                              std::to_string(Height) + ")");
}
