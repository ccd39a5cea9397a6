#pragma once
// The PNG codec: a reader of PNG files into a bitmap of 1, 4, 8, 15/16 or 24 bits plus an 8-bit
// alpha bitmap holding 255 - alpha, a writer, and the picture class that holds both bitmaps with
// the options and the results of a load. zlib inflates and deflates the image data and gives the
// CRC-32 of written chunks; rows are filtered and unfiltered here. Errors are EPngError with the
// codec's English texts.
#include "graphics/gstreams.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class EPngError : public EInvalidGraphic {
public:
    using EInvalidGraphic::EInvalidGraphic;
};

namespace png {

constexpr std::array<uint8_t, 8> kSignature = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

// A colour value $00BBGGRR, or a palette index in the low byte with this bit set.
constexpr int32_t kPaletteIndexColor = 1 << 24;

// The seven passes of Adam7: first column and row, and the steps between them.
struct TPass {
    int32_t X, Y, DX, DY;
};
constexpr std::array<TPass, 7> kAdam7 = {
    {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4}, {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}}};

// The Paeth predictor; ties go to the left, then up, then upper-left.
inline uint8_t Paeth(uint8_t Left, uint8_t Up, uint8_t UpLeft) {
    const int p = Left + Up - UpLeft;
    const int pa = p > Left ? p - Left : Left - p, pb = p > Up ? p - Up : Up - p,
              pc = p > UpLeft ? p - UpLeft : UpLeft - p;
    return pa <= pb && pa <= pc ? Left : pb <= pc ? Up : UpLeft;
}

}  // namespace png

// Results of a load that the picture class keeps, and the chunks it writes back.
struct TPngPhysicalSize {
    int32_t X = 0, Y = 0;
    uint8_t Unit = 0;  // 1 metre; 2 (the picture class's own) inch
};

class TPngReadStream : public TCustomGraphicReadStream {
public:
    // Decodes the PNG at Source's position into Bitmap (null: the header chunks only) and, when
    // the image has transparency, into AlphaBitmap as 255 - alpha (null: no alpha kept).
    void LoadStream(TDIB* Bitmap, TDIB* AlphaBitmap, TStream& Source);

    // Options.
    bool Allow15And16Bit = false;  // colour images with sBIT 5,5,5 or 5,6,5 load at 15 or 16 bits
    // An 8-bit grey-with-alpha image whose private chunk marks its grey samples as palette
    // indices loads as an 8-bit palette bitmap with an alpha bitmap.
    bool AllowPalettedGreyAlpha = false;
    // Caller buffers that the tIME, cHRM and gIFg chunks are copied to when not null.
    std::array<uint8_t, 7>* Time = nullptr;
    std::array<uint32_t, 8>* Chromaticities = nullptr;
    std::array<uint8_t, 4>* GifData = nullptr;

    // Results.
    bool HasAlpha = false;
    bool IsGrey = false;
    int32_t BitDepth = 0;  // bits per pixel of the bitmap
    int32_t Interlace = 0;
    int32_t TransparentColour = -1;  // a colour or a marked palette index; -1 none
    int32_t Background = -1;         // the same
    double Gamma = 0;
    uint32_t SignificantBits = 0;  // one byte per channel, red in the low byte
    TPngPhysicalSize PhysicalSize;
    std::string Comment;

    // The size the header chunk gave.
    uint32_t Width() const { return width_; }
    uint32_t Height() const { return height_; }

private:
    // How a row of PNG samples becomes a bitmap row: Count pixels from In to Out, their alpha
    // (255 - alpha) to Alpha.
    using TRowConverter = void (*)(const uint8_t* In, int32_t Count, uint8_t* Out, uint8_t* Alpha);

    TDIB* alphaBitmap_ = nullptr;
    uint32_t width_ = 0, height_ = 0;
    uint8_t depth_ = 0;       // bits per sample of the PNG data
    uint8_t colourKind_ = 0;  // 0 grey, 2 colour, 3 palette
    uint32_t seen_ = 0;       // chunks met so far (kSeen...)
    uint32_t chunkType_ = 0;
    int64_t chunkLeft_ = 0;     // bytes of the current chunk not read yet
    bool pendingChunk_ = false;  // the image data ended at a chunk whose header is read
    bool paletteAlpha_ = false;  // tRNS gave an alpha table of the palette
    bool palettedGreyAlpha_ = false;
    std::array<uint8_t, 256> alphaTable_{};

    // Image data: the zlib stream with its input (for the length of one image), and the bitmap
    // side of a row.
    struct TInflate;
    bool inputEnded_ = false;
    int32_t pngPixelBits_ = 0;  // bits per pixel of the PNG data
    int32_t filterBytes_ = 0;   // bytes per pixel for the filters
    TRowConverter convert_ = nullptr;
    bool pack16_ = false;  // rows are converted to 24 bits, then packed into 15/16-bit words
    int64_t rowsDone_ = 0;

    void Decode() override;
    void Reset();
    bool ReadChunkHeader();
    std::vector<uint8_t> ChunkData();
    void HandleChunk();
    void ReadHeader();
    void ReadPalette();
    void ReadTransparency();
    void ReadBackground();
    void ReadSignificantBits();
    void ReadPhysicalSize();
    void ReadText();
    void ReadPrivate();
    template <size_t N, class T>
    void CopyExact(std::array<T, N>* Buffer);

    // The bitmap format of the image, chosen when its data begins; raises the depth errors.
    void ChooseFormat();
    void ApplyPaletteAlpha();
    void ReadImage();
    bool FillInput(TInflate& Inflate);
    void InflateRow(TInflate& Inflate, uint8_t* Row, size_t Count);
    void ReadRows(TInflate& Inflate, uint32_t X, uint32_t Y, uint32_t DX, uint32_t DY);
    void FillAlphaFromTable();
};

// What a written PNG holds beyond its pixels, kept by the picture class as well.
struct TPngWriteOptions {
    int32_t IDATSize = 32768;       // bytes of each image-data chunk; saving takes only 256..100000
    int32_t CompressionLevel = -1;  // zlib's 0..9; any other value is zlib's default
    int32_t FilterMode = 1;         // 0 adaptive, 1 None, 2 Sub, 3 Up, 4 Average, 5 Paeth; others None
    int32_t Interlace = 0;          // 1 Adam7
    bool Grey = false;              // written as greys
    int32_t Background = -1;        // bKGD: a colour $00BBGGRR or a marked palette index; -1 none
    std::string Comment;            // the "Comment" text chunk when not empty
    double Gamma = 0.45455;         // gAMA when Gamma x 100000 is at least 1
    uint32_t SignificantBits = 0;   // sBIT: one byte per channel, red in the low byte; 0 none
    TPngPhysicalSize PhysicalSize;  // pHYs when both values are at least 1
    bool WriteCurrentTime = true;   // tIME of the saving, else Time
    std::array<uint8_t, 7> Time{};  // year (big-endian), month, day, hour, minute, second (UTC)
    std::array<uint32_t, 8> Chromaticities{};  // cHRM when the first is not 0 and the second above 0
    std::array<uint8_t, 4> GifData{};          // gIFg when one of the first three is not 0
};

class TPngWriteStream : public TCustomBufWriteStream, public TPngWriteOptions {
public:
    // Writes Bitmap at Target's position as a PNG. AlphaBitmap (255 - alpha) becomes its alpha
    // channel when it is another 8-bit bitmap of Bitmap's width and height and not empty. 15- and
    // 16-bit images are written at 8 bits a channel. Raises EPngError for an IDATSize outside
    // 256..100000 and "Write Image (PNG): Write Error" for an empty bitmap or a failed write.
    void SaveStream(const TDIB& Bitmap, const TDIB* AlphaBitmap, TStream& Target);

    int32_t TransparentColour = -1;  // tRNS: a colour or a marked palette index; -1 none

    // The time now in the form of Time.
    static std::array<uint8_t, 7> CurrentTime();

protected:
    void Encode() override;

private:
    const TDIB* alpha_ = nullptr;

    void WriteChunk(uint32_t Type, const std::vector<uint8_t>& Data);
};

// The PNG picture: an image bitmap and an 8-bit alpha bitmap holding 255 - alpha (the picture's
// own, or one that the caller hands in and keeps), with the options of saving and the results of
// the last load. OnChange is called after every change.
class TPngPicture : public TPngWriteOptions {
public:
    TPngPicture();  // Time is the time of creation
    TPngPicture(const TPngPicture&) = delete;
    TPngPicture& operator=(const TPngPicture&) = delete;

    // Options of loading.
    bool MacBinaryCheck = true;
    bool Allow15And16Bit = false;
    // Results of loading; saving writes the alpha bitmap when HasAlpha is set.
    bool HasAlpha = false;
    int32_t BitDepth = 0;

    TDIB& Image() { return image_; }
    const TDIB& Image() const { return image_; }
    TDIB& AlphaBitmap() { return *alpha_; }
    const TDIB& AlphaBitmap() const { return *alpha_; }
    // Alpha (kept by the caller) is used from now on; nullptr goes back to the picture's own.
    void SetAlphaBitmap(TDIB* Alpha) { alpha_ = Alpha ? Alpha : &ownAlpha_; }

    // Loads a PNG into the image and the alpha bitmap (emptied first); the results go into the
    // fields. Raises the reader's EPngError.
    void LoadFromStream(TStream& Stream);
    void SaveToStream(TStream& Stream) const;
    // From another picture: both bitmaps, every option and result. From a bitmap: the image only.
    void Assign(const TPngPicture& Source);
    void Assign(const TDIB& Source);
    void AssignTo(TDIB& Target) const { Target.Assign(&image_); }

    bool Empty() const { return image_.Empty(); }
    int32_t Width() const { return image_.Width(); }
    int32_t Height() const { return image_.Height(); }
    // Both bitmaps take the new size; their pixels are not kept.
    void SetWidth(int32_t Value);
    void SetHeight(int32_t Value);
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool Value);
    // tRNS: a colour $00BBGGRR or a marked palette index; -1 also clears Transparent, another
    // value sets it.
    int32_t TransparentColour() const { return transparentColour_; }
    void SetTransparentColour(int32_t Value);
    const TRGBQuadTable& Palette() const { return image_.ImageColorTable(); }
    void SetPalette(const TRGBQuadTable& Table);

    std::function<void(TPngPicture& Sender)> OnChange;

private:
    TDIB image_, ownAlpha_;
    TDIB* alpha_ = &ownAlpha_;
    bool transparent_ = false;
    int32_t transparentColour_ = -1;

    void Changed();
    void Resize(int32_t Width, int32_t Height);
};
