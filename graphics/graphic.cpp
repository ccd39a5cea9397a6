#include "graphics/graphic.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

void RefuseImageSize(int64_t Width, int64_t Height) {
    throw EInvalidGraphic("画像の大きさが扱える範囲を越えています (" + std::to_string(Width) + " x " +
                          std::to_string(Height) + ")");
}

void CheckImageSize(int64_t Width, int64_t Height, int BitsPerPixel, int64_t MaxWidth, int64_t MaxHeight) {
    if (Width < 1 || Height < 1 || Width > std::min<int64_t>(MaxWidth, kMaxImageSide) ||
        Height > std::min<int64_t>(MaxHeight, kMaxImageSide) || Width * Height > kMaxImagePixels ||
        DIBWidthBytes(Width, BitsPerPixel) * Height > kMaxImageBytes)
        RefuseImageSize(Width, Height);
}

namespace {

constexpr int64_t kBudgetBase = int64_t(32) << 20;
constexpr int64_t kBudgetPerStoredByte = 1024;

}  // namespace

TImageBudget::TImageBudget(int64_t StoredBytes)
    : left_(kBudgetBase + std::clamp<int64_t>(StoredBytes, 0, kMaxImageBytes) * kBudgetPerStoredByte) {}

bool TImageBudget::Take(int64_t Width, int64_t Height, int BitsPerPixel) {
    if (Width < 1 || Height < 1 || Width > kMaxImageSide || Height > kMaxImageSide || BitsPerPixel < 1) return true;
    const int64_t bytes = DIBWidthBytes(Width, BitsPerPixel) * Height;
    if (bytes > left_) return false;
    left_ -= bytes;
    return true;
}

namespace {

std::vector<TPictureFormat>& PictureFormats() {
    static std::vector<TPictureFormat> formats;
    return formats;
}

bool SameExtension(const std::string& A, const std::string& B) {
    return std::equal(A.begin(), A.end(), B.begin(), B.end(),
                      [](unsigned char X, unsigned char Y) { return std::tolower(X) == std::tolower(Y); });
}

}  // namespace

void RegisterFileFormat(const std::string& Extension, const std::string& Description, uint32_t ClipboardFormat,
                        TGraphicFactory Create) {
    auto& formats = PictureFormats();
    std::erase_if(formats, [&](const TPictureFormat& F) { return SameExtension(F.Extension, Extension); });
    formats.push_back({Extension, Description, ClipboardFormat, Create});
}

void UnregisterGraphicClass(TGraphicFactory Create) {
    std::erase_if(PictureFormats(), [&](const TPictureFormat& F) { return F.Create == Create; });
}

const TPictureFormat* FindPictureFormat(const std::string& Extension) {
    for (const TPictureFormat& f : PictureFormats())
        if (SameExtension(f.Extension, Extension)) return &f;
    return nullptr;
}

const TPictureFormat* FindClipboardPictureFormat(uint32_t Format) {
    for (const TPictureFormat& f : PictureFormats())
        if (Format != 0 && f.ClipboardFormat == Format) return &f;
    return nullptr;
}
