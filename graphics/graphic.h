#pragma once
// What every image class and image decoder shares: the errors of bitmaps and image files, the
// one limit on the size of an image that any decoder may allocate, and the registry of picture classes by file extension and clipboard format.
#include "platform/errors.h"

#include <cstdint>
#include <memory>
#include <string>

class TStream;
class TCustomDIBX;
struct TRect;

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
constexpr int64_t kMaxImagePixels = 89478485;      // width x height
constexpr int64_t kMaxImageBytes = int64_t(1) << 30;  // pixel data of one image

// Bytes of one row at BitsPerPixel, padded to 4 bytes.
constexpr int64_t DIBWidthBytes(int64_t Width, int BitsPerPixel) {
    return (Width * BitsPerPixel + 31) / 32 * 4;
}

// Raises the image-size error, EInvalidGraphic naming Width x Height.
[[noreturn]] void RefuseImageSize(int64_t Width, int64_t Height);

// Raises the image-size error unless 1 <= Width <= MaxWidth, 1 <= Height <= MaxHeight (both at
// most kMaxImageSide), Width x Height is at most kMaxImagePixels and the padded rows at
// BitsPerPixel take at most kMaxImageBytes. Every decoder calls this from the picture's header,
// before it allocates.
void CheckImageSize(int64_t Width, int64_t Height, int BitsPerPixel, int64_t MaxWidth = kMaxImageSide,
                    int64_t MaxHeight = kMaxImageSide);

// What the images of one stored picture of several frames may take together, so that a few
// bytes declaring many or huge frames are refused before anything is allocated: the pixel bytes
// of a 2048 x 4096 32-bit image, plus a thousand for each stored byte (lossless coders pack
// plain pixels about that tightly at best).
class TImageBudget {
public:
    // StoredBytes: the bytes of the picture still to be read.
    explicit TImageBudget(int64_t StoredBytes);
    // Takes the padded rows of a Width x Height image at BitsPerPixel from what is left; false,
    // taking nothing, when they do not fit. A size or depth that no image has takes nothing:
    // CheckImageSize and the decoder's own checks refuse it.
    [[nodiscard]] bool Take(int64_t Width, int64_t Height, int BitsPerPixel);

private:
    int64_t left_;
};

// ---- Picture classes and the picture registry ----

// A picture class that the registry makes by file extension or clipboard format.
class TGraphic {
public:
    virtual ~TGraphic() = default;
    virtual bool GetEmpty() const = 0;
    virtual int32_t GetWidth() const = 0;
    virtual int32_t GetHeight() const = 0;
    virtual void LoadFromStream(TStream& Stream) = 0;
    virtual void SaveToStream(TStream& Stream) = 0;
    // Loads the clipboard's data of Format.
    virtual void LoadFromClipboardFormat(uint32_t Format) = 0;
    virtual void Draw(TCustomDIBX& Canvas, const TRect& Rect) = 0;
};

using TGraphicFactory = std::unique_ptr<TGraphic> (*)();

struct TPictureFormat {
    std::string Extension, Description;
    uint32_t ClipboardFormat;  // 0 for none
    TGraphicFactory Create;
};

// Registers Create for Extension (without the dot, letter case ignored), replacing an earlier
// class of that extension, and for ClipboardFormat when it is not 0.
void RegisterFileFormat(const std::string& Extension, const std::string& Description, uint32_t ClipboardFormat,
                        TGraphicFactory Create);
// Removes every registration of Create.
void UnregisterGraphicClass(TGraphicFactory Create);
// The registration of Extension / of a clipboard format, or nullptr.
const TPictureFormat* FindPictureFormat(const std::string& Extension);
const TPictureFormat* FindClipboardPictureFormat(uint32_t Format);
