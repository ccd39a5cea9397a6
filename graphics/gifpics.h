#pragma once
// The GIF codec: the object model of a GIF image (one logical screen with a global colour table
// and an ordered list of frames, each with its extensions, an optional local colour table and one
// byte per pixel of colour indices), its tolerant reader with the LZW decoder, its writer with an
// LZW and a run-length encoder, and the optimisation of an animation before it is stored. Errors
// are GIFException with the codec's English texts; warnings go to the image's Warning operation,
// which does nothing unless a handler is attached, so a damaged file loads as far as it can.
//
// Everything lives in the namespace gif: the codec's own bitmap and octree types would clash with
// the bitmap and quantizer of graphics/.
#include "core/streams.h"
#include "graphics/dib.h"
#include "graphics/graphic.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace gif {

class GIFException : public EInvalidGraphic {
public:
    using EInvalidGraphic::EInvalidGraphic;
};

class TGifImage;
class TGifFrame;
class TGifExtension;

// The GIF version an item needs.
enum TGifVersion : uint8_t { gvUnknown = 0, gv87a = 1, gv89a = 2 };

// Severity of a warning.
constexpr int32_t gsWarning = 1;

// A colour of a table: red, green, blue.
struct TGifColor {
    uint8_t Red = 0, Green = 0, Blue = 0;
    bool operator==(const TGifColor&) const = default;
};

// A colour exchanged with the platform side: $00BBGGRR.
constexpr int32_t GifColorToInt(TGifColor C) { return C.Red | C.Green << 8 | C.Blue << 16; }
constexpr TGifColor IntToGifColor(int32_t C) { return {uint8_t(C), uint8_t(C >> 8), uint8_t(C >> 16)}; }

// The stand-in of a palette handle: its entries; empty is "no palette".
using TGifPalette = std::vector<TPaletteEntry>;

// ---- Items and lists ----

class TGifItem {
public:
    explicit TGifItem(TGifImage* Image) : image_(Image) {}
    virtual ~TGifItem() = default;
    TGifItem(const TGifItem&) = delete;
    TGifItem& operator=(const TGifItem&) = delete;

    TGifImage* Image() const { return image_; }
    virtual TGifVersion Version() const { return gv87a; }
    // Hands Severity and Message to the owning image's Warning operation (nothing without one).
    void Warning(int32_t Severity, const std::string& Message);

    virtual void SaveToStream(TStream& Stream) = 0;
    virtual void LoadFromStream(TStream& Stream) = 0;
    // A file of program path FileName: created and written / opened read-only and read.
    void SaveToFile(const std::string& FileName);
    void LoadFromFile(const std::string& FileName);

protected:
    TGifImage* image_;
};

// An owner's items in order; deleting an item frees it.
template <class T>
class TGifList {
public:
    explicit TGifList(TGifImage* Image) : image_(Image) {}
    TGifList(const TGifList&) = delete;
    TGifList& operator=(const TGifList&) = delete;

    TGifImage* Image() const { return image_; }
    int32_t Count() const { return int32_t(items_.size()); }
    T& operator[](int32_t Index) const { return *items_.at(size_t(Index)); }
    T* Add(std::unique_ptr<T> Item) {
        items_.push_back(std::move(Item));
        return items_.back().get();
    }
    void Insert(int32_t Index, std::unique_ptr<T> Item) { items_.insert(items_.begin() + Index, std::move(Item)); }
    int32_t IndexOf(const T* Item) const {
        for (size_t i = 0; i < items_.size(); ++i)
            if (items_[i].get() == Item) return int32_t(i);
        return -1;
    }
    // Frees the item at Index. The item is taken out of the list before it is destroyed, so that
    // its destructor sees the list without it.
    void Delete(int32_t Index) {
        std::unique_ptr<T> item = std::move(items_.at(size_t(Index)));
        items_.erase(items_.begin() + Index);
    }
    void Remove(const T* Item) {
        const int32_t i = IndexOf(Item);
        if (i >= 0) Delete(i);
    }
    // Deletes from the front until empty.
    void Clear() {
        while (!items_.empty()) Delete(0);
    }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

private:
    TGifImage* image_;
    std::vector<std::unique_ptr<T>> items_;
};

// ---- Colour tables ----

class TGifColorMap {
public:
    virtual ~TGifColorMap() = default;
    TGifColorMap(const TGifColorMap&) = delete;
    TGifColorMap& operator=(const TGifColorMap&) = delete;

    int32_t Count() const { return count_; }
    int32_t Capacity() const { return capacity_; }
    bool Sorted = false;
    const TGifColor* Data() const { return colors_.data(); }

    // Bits per pixel of the table: the smallest n with 2^n >= Count (0 for none, 1 for 1 or 2).
    int32_t BitsPerPixel() const;

    // The index of the new colour; "Color table overflow" at 256 entries.
    int32_t Add(TGifColor Color);
    // The index of an exact match, or -1.
    int32_t IndexOf(TGifColor Color) const;
    int32_t AddUnique(TGifColor Color);
    // "Invalid color index" when out of range.
    void Delete(int32_t Index);
    // Out of range: the warning "Invalid color index", then "Color table is empty" when the table
    // is empty, else entry 0.
    TGifColor Colors(int32_t Index);
    void SetColor(int32_t Index, TGifColor Color);
    void Clear();
    void Assign(const TGifColorMap& Source);

    // Up to 256 entries of a palette / the colour table of an 8-bit-or-less bitmap.
    void ImportPalette(const TGifPalette& Palette);
    void ImportDIBColors(const ::TDIB& Bitmap);
    // Empty when the table is.
    TGifPalette ExportPalette() const;

    // Count triplets read from / the table written padded with zero triplets up to
    // 2^BitsPerPixel (nothing for an empty table).
    void LoadFromStream(TStream& Stream, int32_t Count);
    void SaveToStream(TStream& Stream) const;

    // Reorders the table by use, most used first, and drops the unused tail; false when the
    // table was left alone.
    virtual bool Optimize() = 0;

protected:
    TGifColorMap() = default;
    // Warnings of the table go to this image.
    virtual TGifImage* WarningImage() const = 0;
    // Reorders the table by its use in Frames (all of which use it) and remaps their pixels and
    // transparent indices: the shared part of the two kinds' Optimize.
    bool OptimizeByUse(const std::vector<TGifFrame*>& Frames);

private:
    std::array<TGifColor, 256> colors_{};
    int32_t count_ = 0;
    int32_t capacity_ = 0;

    void Grow(int32_t Needed);
};

class TGifHeader;

class TGifGlobalColorMap : public TGifColorMap {
public:
    explicit TGifGlobalColorMap(TGifHeader& Header) : header_(Header) {}
    TGifHeader& Header() const { return header_; }
    bool Optimize() override;

protected:
    TGifImage* WarningImage() const override;

private:
    TGifHeader& header_;
};

class TGifLocalColorMap : public TGifColorMap {
public:
    explicit TGifLocalColorMap(TGifFrame& Frame) : frame_(Frame) {}
    TGifFrame& Frame() const { return frame_; }
    bool Optimize() override;

protected:
    TGifImage* WarningImage() const override;

private:
    TGifFrame& frame_;
};

// ---- Header ----

class TGifHeader : public TGifItem {
public:
    explicit TGifHeader(TGifImage* Image) : TGifItem(Image), colorMap_(*this) {}

    uint16_t Width = 0, Height = 0;
    uint8_t Packed = 0;
    uint8_t BackgroundColorIndex = 0;
    uint8_t AspectRatio = 0;
    std::array<char, 3> ReadVersion = {'8', '9', 'a'};  // as read; always "89a" when written

    TGifGlobalColorMap& ColorMap() { return colorMap_; }
    const TGifGlobalColorMap& ColorMap() const { return colorMap_; }

    TGifVersion Version() const override;
    void Clear();
    void Assign(const TGifHeader& Source);
    // The packed byte rebuilt from the tables of the image (as written).
    void Prepare();
    void SaveToStream(TStream& Stream) override;
    void LoadFromStream(TStream& Stream) override;

private:
    TGifGlobalColorMap colorMap_;
};

// ---- Extensions ----

// A kind of extension: its label, how to make one for a frame, and the refinement of the kind
// from the stream (the base keeps its kind; the application kind looks at its identifier).
struct TGifExtensionKind {
    const char* Name;
    uint8_t Label;
    std::unique_ptr<TGifExtension> (*Create)(TGifFrame& Frame);
    // Stream is at the byte after the label; its position is restored by the caller.
    const TGifExtensionKind* (*Refine)(const TGifExtensionKind* Self, TStream& Stream);
};
using TGifExtensionClass = const TGifExtensionKind*;

class TGifExtension : public TGifItem {
public:
    explicit TGifExtension(TGifFrame& Frame);
    ~TGifExtension() override;

    TGifFrame& Frame() const { return frame_; }
    virtual TGifExtensionClass Kind() const = 0;
    uint8_t Label() const { return Kind()->Label; }
    TGifVersion Version() const override { return gv89a; }

    // The kind of the extension at Stream's position (introducer and label), or nullptr; the
    // position is restored.
    static TGifExtensionClass FindExtension(TStream& Stream);

    // Introducer and label are checked here; then the kind's own part.
    void LoadFromStream(TStream& Stream) override;
    void SaveToStream(TStream& Stream) override;

protected:
    virtual void LoadBody(TStream& Stream) = 0;
    virtual void SaveBody(TStream& Stream) = 0;

private:
    TGifFrame& frame_;
};

// Packed-byte bits of the graphic control extension.
constexpr uint8_t gcTransparent = 0x01;
constexpr uint8_t gcUserInput = 0x02;
constexpr uint8_t gcDisposalMask = 0x1C;

enum TDisposalMethod : uint8_t {
    dmNone = 0,
    dmNoDisposal = 1,
    dmBackground = 2,
    dmPrevious = 3,
};

class TGifGraphicControlExtension : public TGifExtension {
public:
    // The frame refers to the first one made for it.
    explicit TGifGraphicControlExtension(TGifFrame& Frame);
    ~TGifGraphicControlExtension() override;
    static const TGifExtensionKind Class;
    TGifExtensionClass Kind() const override { return &Class; }

    uint8_t BlockSize = 4;
    uint8_t Packed = 0;
    uint16_t Delay = 0;  // hundredths of a second
    uint8_t TransparentColorIndex = 0;
    uint8_t Terminator = 0;

    bool Transparent() const { return Packed & gcTransparent; }
    // Also marks the frame as transparent (or no longer, for the frame's own extension).
    void SetTransparent(bool Value);
    bool UserInput() const { return Packed & gcUserInput; }
    void SetUserInput(bool Value);
    uint8_t Disposal() const { return (Packed & gcDisposalMask) >> 2; }
    void SetDisposal(uint8_t Value);
    // An index not below the count of the frame's table in force (when above 0) warns "Invalid
    // color index" and stores 0.
    void SetTransparentColorIndex(int32_t Index);

protected:
    void LoadBody(TStream& Stream) override;
    void SaveBody(TStream& Stream) override;
};

class TGifTextExtension : public TGifExtension {
public:
    using TGifExtension::TGifExtension;
    static const TGifExtensionKind Class;
    TGifExtensionClass Kind() const override { return &Class; }

    uint8_t BlockSize = 12;
    uint16_t Left = 0, Top = 0, GridWidth = 0, GridHeight = 0;
    uint8_t CharWidth = 0, CharHeight = 0;
    uint8_t ForegroundColorIndex = 0, BackgroundColorIndex = 0;
    std::vector<std::string> Text;

protected:
    void LoadBody(TStream& Stream) override;
    void SaveBody(TStream& Stream) override;
};

class TGifCommentExtension : public TGifExtension {
public:
    using TGifExtension::TGifExtension;
    static const TGifExtensionKind Class;
    TGifExtensionClass Kind() const override { return &Class; }

    std::vector<std::string> Text;

protected:
    void LoadBody(TStream& Stream) override;
    void SaveBody(TStream& Stream) override;
};

using TGifApplicationIdentifier = std::array<uint8_t, 11>;  // 8-byte identifier, 3-byte code

class TGifApplicationExtension : public TGifExtension {
public:
    using TGifExtension::TGifExtension;
    static const TGifExtensionKind Class;
    TGifExtensionClass Kind() const override { return &Class; }

    TGifApplicationIdentifier Identifier{};

protected:
    void LoadBody(TStream& Stream) override;
    void SaveBody(TStream& Stream) override;
    // The data after the identifier. The plain kind has no reader: "Unsupported Application
    // Extension block size".
    virtual void LoadData(TStream& Stream);
    virtual void SaveData(TStream& Stream);
};

// "NETSCAPE2.0" (and "ANIMEXTS1.0"): the loop count and the buffer size.
class TGifLoopExtension : public TGifApplicationExtension {
public:
    explicit TGifLoopExtension(TGifFrame& Frame);
    static const TGifExtensionKind Class;
    TGifExtensionClass Kind() const override { return &Class; }

    uint16_t Loops = 0;       // 0 endless
    uint32_t BufferSize = 0;  // 0 not given

protected:
    void LoadData(TStream& Stream) override;
    void SaveData(TStream& Stream) override;
};

// An application block of an identifier nobody registered: its data sub-blocks kept as they are.
struct TGifBlock {
    std::vector<uint8_t> Data;  // at most 255 bytes
};

class TGifUnknownAppExtension : public TGifApplicationExtension {
public:
    using TGifApplicationExtension::TGifApplicationExtension;
    static const TGifExtensionKind Class;
    TGifExtensionClass Kind() const override { return &Class; }

    std::vector<TGifBlock> Blocks;

protected:
    void LoadData(TStream& Stream) override;
    void SaveData(TStream& Stream) override;
};

class TGifExtensionList : public TGifList<TGifExtension> {
public:
    explicit TGifExtensionList(TGifFrame& Frame);
    TGifFrame& Frame() const { return frame_; }
    void LoadFromStream(TStream& Stream);
    void SaveToStream(TStream& Stream);

private:
    TGifFrame& frame_;
};

// The two registries, made on first use and searched from the last registration backwards:
// extension label to kind, and application identifier (all 11 bytes) to kind.
void RegisterExtension(uint8_t Label, TGifExtensionClass Kind);
TGifExtensionClass FindExtensionClass(uint8_t Label);
void RegisterAppExtension(const TGifApplicationIdentifier& Identifier, TGifExtensionClass Kind);
TGifExtensionClass FindAppExtensionClass(const TGifApplicationIdentifier& Identifier);
// At unit end.
void FreeExtensionRegistries();

TGifApplicationIdentifier MakeIdentifier(const char (&Text)[12]);

// ---- Frames ----

class TGifFrame : public TGifItem {
public:
    explicit TGifFrame(TGifImage* Image);
    ~TGifFrame() override;

    // The image descriptor as stored.
    uint8_t Separator = ',';
    uint16_t Left = 0, Top = 0, Width = 0, Height = 0;
    uint8_t Packed = 0;
    // Width x Height indices, rows from the top (empty: no data). The frame's own allocations of
    // it are charged to the title's memory budget first ("Invalid GIF data" when it cannot take them).
    std::vector<uint8_t> Data;

    TGifLocalColorMap& ColorMap() { return colorMap_; }
    const TGifLocalColorMap& ColorMap() const { return colorMap_; }
    TGifExtensionList& Extensions() { return extensions_; }
    const TGifExtensionList& Extensions() const { return extensions_; }
    // The first graphic control extension made for the frame, or nullptr.
    TGifGraphicControlExtension* GraphicControlExtension() const { return gce_; }
    bool Transparent() const { return transparent_; }

    int32_t DataSize() const { return int32_t(Data.size()); }
    bool Empty() const { return Data.empty() || Width == 0 || Height == 0; }
    bool Interlaced() const { return Packed & 0x40; }
    // Its local table when that has entries, else the global table.
    TGifColorMap& ActiveColorMap();
    // "Invalid pixel coordinates" outside the frame; "Image is empty" for a frame without data.
    uint8_t Pixel(int32_t X, int32_t Y) const;
    uint8_t* Scanline(int32_t Y);

    // The cached rendering: the 8-bit bitmap, its palette, the 1-bit mask (null when no pixel
    // is transparent) and whether the mask is still to be made. Dropped when the pixels change.
    std::unique_ptr<::TDIB> Bitmap;
    TGifPalette Palette;
    std::unique_ptr<::TDIB> Mask;
    bool NeedMask = true;
    void FreeRendering();

    TGifVersion Version() const override;
    void Clear();
    // A new descriptor size; the pixel data becomes Width x Height zero bytes (checked first).
    void SetSize(uint16_t NewWidth, uint16_t NewHeight);
    void SaveToStream(TStream& Stream) override;
    // The frame's pixels are charged to Budget, the images of its whole picture, before they are
    // made: "Invalid GIF data" when they exceed it. Without one, to the bytes left in Stream.
    void LoadFromStream(TStream& Stream) override;
    void LoadFromStream(TStream& Stream, TImageBudget& Budget);

    // Optimisation helpers: whether a colour can be added to the table in force (1..255 entries),
    // trimming the transparent border, and making pixels that repeat Previous transparent.
    bool CanAddColor();
    void Crop();
    void Merge(TGifFrame& Previous);

private:
    friend class TGifGraphicControlExtension;
    TGifLocalColorMap colorMap_;
    TGifExtensionList extensions_;
    TGifGraphicControlExtension* gce_ = nullptr;
    bool transparent_ = false;

    // The transparent index of the frame, allocated when it has none: -1 when none can be had.
    int32_t TransparentIndex(bool& Allocated);
    void DecodeData(TStream& Stream);
};

class TGifFrameList : public TGifList<TGifFrame> {
public:
    using TGifList<TGifFrame>::TGifList;
    void LoadFromStream(TStream& Stream);
    void SaveToStream(TStream& Stream);
};

class TGifTrailer : public TGifItem {
public:
    using TGifItem::TGifItem;
    void SaveToStream(TStream& Stream) override;
    void LoadFromStream(TStream& Stream) override;
};

// ---- The image ----

// Optimisation steps (a set of bits).
enum : uint8_t {
    ooCrop = 0x01,
    ooMerge = 0x02,
    ooCleanup = 0x04,
    ooColorMap = 0x08,
    ooReduceColors = 0x10,
};
constexpr uint8_t kOptimiseAll = ooCrop | ooMerge | ooCleanup | ooColorMap | ooReduceColors;

// Compression of written frames.
enum TGifCompression : uint8_t { gcLZW = 0, gcRLE = 1 };

// What the picture class builds on: the header, the frames and what reading, writing and
// optimising need of their owner (warnings, progress, the compression, stopping painters).
class TGifImage {
public:
    TGifImage();
    virtual ~TGifImage();
    TGifImage(const TGifImage&) = delete;
    TGifImage& operator=(const TGifImage&) = delete;

    TGifHeader& Header() { return header_; }
    const TGifHeader& Header() const { return header_; }
    TGifFrameList& Images() { return images_; }
    const TGifFrameList& Images() const { return images_; }
    bool Empty() const { return images_.Count() == 0; }

    TGifCompression Compression = gcLZW;

    // Warnings: Sender is the image; severity gsWarning.
    std::function<void(TGifImage& Sender, int32_t Severity, const std::string& Message)> OnWarning;
    virtual void Warning(int32_t Severity, const std::string& Message);
    std::function<void(TGifImage& Sender, TProgressStage Stage, uint8_t PercentDone, const std::string& Msg)>
        OnProgress;
    virtual void Progress(TProgressStage Stage, int32_t PercentDone, const std::string& Msg);

    // The largest bits per pixel over the global and every local table, and the colour
    // resolution written (that - 1, at least 0, over the same tables).
    int32_t BitsPerPixel() const;
    int32_t ColorResolution() const;

    // Frames, global table and screen size emptied.
    virtual void Clear();
    // Header, frames and trailer from Stream's position (the image is not cleared here).
    void Read(TStream& Stream);
    // "Saving..." progress around the header, the frames and the trailer.
    void Write(TStream& Stream);

    // The optimisation steps of Options (oo...), the reduction method and dither mode and the
    // reduction bits being those of a colour reduction (which this step does not perform).
    void Optimise(uint8_t Options, uint8_t ReductionMethod, uint8_t DitherMode, int32_t ReductionBits);

protected:
    // The picture class stops its painters before the frames change, and keeps them stopped
    // (its painter list locked) until PaintersResume.
    virtual void PaintersHold() {}
    virtual void PaintersResume() {}

private:
    TGifHeader header_;
    TGifFrameList images_;
};

// ---- Writing pixel data ----

// A write-only stream that cuts what it is given into data sub-blocks of up to 255 bytes on
// Target; the last block goes out when it is destroyed. Reading and seeking raise "Invalid stream
// operation".
class TGifWriter : public TStream {
public:
    explicit TGifWriter(TStream& Target) : target_(Target) {}
    ~TGifWriter() override;
    TGifWriter(const TGifWriter&) = delete;
    TGifWriter& operator=(const TGifWriter&) = delete;

    int64_t Read(void* Buffer, int64_t Count) override;
    int64_t Write(const void* Buffer, int64_t Count) override;
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
    void WriteByte(uint8_t Value) {
        buffer_[size_++] = Value;
        if (size_ == 255) FlushBlock();
    }
    void FlushBlock();

private:
    TStream& target_;
    std::array<uint8_t, 255> buffer_{};
    int32_t size_ = 0;
};

// The shared frame of both encoders: the code size byte, clear and end codes, bit packing and
// the traversal in interlace order.
class TGifEncoder {
public:
    virtual ~TGifEncoder() = default;
    // Writes the code size byte, the compressed data as sub-blocks and the ending 0 byte. A pixel
    // not below ColorCount raises "Color not in color table".
    void Encode(TStream& Stream, int32_t BitsPerPixel, int32_t ColorCount, const uint8_t* Data, bool Interlace,
                int32_t Width, int32_t Height);

protected:
    int32_t initCodeSize_ = 0, clearCode_ = 0, eofCode_ = 0, baseCode_ = 0;
    int32_t codeSize_ = 0, maxCode_ = 0;
    bool justCleared_ = false;

    virtual void Compress() = 0;
    // The next run of pixels in traversal order (the whole data, or one row of an interlace
    // pass); false at the end.
    bool NextRun(const uint8_t*& Pixels, int32_t& Count);
    void Output(int32_t Code);
    void Clear();

private:
    TGifWriter* writer_ = nullptr;
    uint32_t bitBuffer_ = 0;
    int32_t bitCount_ = 0;
    const uint8_t* data_ = nullptr;
    int32_t colorCount_ = 0, width_ = 0, height_ = 0;
    bool interlace_ = false;
    int32_t row_ = 0, pass_ = 0;

    void StartTraversal();
};

// True LZW with a hashed string table of 16,384 slots, probed one slot on at a time: it holds at
// most 4,093 strings, so at least three quarters of its slots stay free.
class TLZWEncoder : public TGifEncoder {
protected:
    void Compress() override;

private:
    static constexpr int kHashBits = 14;
    static constexpr uint32_t kHashSize = 1u << kHashBits;
    // (prefix << 8 | pixel) << 12 | code; kEmpty for a free slot.
    static constexpr uint32_t kEmpty = 0xFFFFFFFF;
    std::vector<uint32_t> table_;
    int32_t nextCode_ = 0;

    void ClearTable();
    // The home slot of the string of Prefix and Pixel: the prefix code across a spread of the
    // pixel's bits. The pixel's part is worked out apart from the code found for the string
    // before, which leaves one exclusive or between that look-up and the next.
    static uint32_t Slot(int32_t Prefix, int32_t Pixel) {
        return uint32_t(Prefix) ^ uint32_t(Pixel) * 0x9E3779B1u >> (32 - kHashBits);
    }
    // Output with the code size following the table.
    void OutputCode(int32_t Code);
};

// Runs of equal pixels written with codes any decoder builds by itself: literals and references
// to run strings, never real LZW strings.
class TRLEEncoder : public TGifEncoder {
protected:
    void Compress() override;

private:
    int32_t bumpLimit_ = 0, clearLimit_ = 0, maxOut_ = 0, outCount_ = 0;
    int32_t initBump_ = 0, initClearLimit_ = 0;
    int32_t heldPixel_ = -1;  // the pixel of the held runs
    int32_t heldLength_ = 0;  // the longest run the decoder's table holds

    void PlainOutput(int32_t Code);
    void RLEClear();
    void ResetClearLimit();
    void FlushRun(int32_t Pixel, int32_t Count);
    void FlushFromClear(int32_t Pixel, int32_t Count);
    void FlushClearOrRepeat(int32_t Pixel, int32_t Count);
    void FlushWithTable(int32_t Pixel, int32_t Count);
    int32_t ComputeTriangleCount(int32_t Count, int32_t NRepCodes) const;
};

// The integer square root by Newton's iteration from a power of two.
uint32_t ISqrt(uint32_t X);

}  // namespace gif
