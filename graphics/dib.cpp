#include "graphics/dib.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

const char kInvalidDIB[] = "不正な DIB です";
const char kBrokenPixels[] = "DIB の画素データが画像に収まりません";
const char kBadPixelFormat[] = "不正なピクセルフォーマットです";

uint32_t Get32(const uint8_t* P) { return P[0] | P[1] << 8 | P[2] << 16 | uint32_t(P[3]) << 24; }
uint16_t Get16(const uint8_t* P) { return uint16_t(P[0] | P[1] << 8); }
void Put32(std::string& S, uint32_t V) {
    for (int i = 0; i < 4; ++i) S += char(V >> (8 * i));
}
void Put16(std::string& S, uint16_t V) {
    S += char(V);
    S += char(V >> 8);
}

void ReadExact(TStream& Stream, void* Buffer, int64_t Count) {
    if (Stream.Read(Buffer, Count) != Count) throw EInvalidGraphic(kInvalidDIB);
}

bool SameMasks(const TDIBColorFormat& A, const TDIBColorFormat& B) {
    return A.RBitMask == B.RBitMask && A.GBitMask == B.GBitMask && A.BBitMask == B.BBitMask;
}

bool HasBitFields(int BitCount) { return BitCount == 16 || BitCount == 32; }

void CheckImageFormat(int BitCount, const TDIBColorFormat& Format) {
    switch (BitCount) {
        case 1: case 4: case 8: case 24: case 32:
            if (!SameMasks(Format, MakeDIBColorFormat(8, 8, 8))) throw EInvalidGraphicOperation(kBadPixelFormat);
            return;
        case 16:
            if (!SameMasks(Format, MakeDIBColorFormat(5, 5, 5)) && !SameMasks(Format, MakeDIBColorFormat(5, 6, 5)))
                throw EInvalidGraphicOperation(kBadPixelFormat);
            return;
        default:
            throw EInvalidGraphicOperation("不正なビット数です (" + std::to_string(BitCount) + ")");
    }
}

// Makes Image one of zeroed pixels, or with Unset of unset ones but for the bytes past the last
// whole pixel of each row, at the size, depth, format and table given; refused (Image unchanged)
// when the depth, format or size is not one we handle. Its pixel memory serves the new pixels
// unless that is too small, or more than twice what they need.
void ShapeImage(TDIBSharedImage& Image, int32_t Width, int32_t Height, const TRGBQuadTable& Table,
                const TDIBColorFormat& Format, int32_t BitCount, bool Unset) {
    CheckImageFormat(BitCount, Format);
    CheckImageSize(Width, Height, BitCount);
    const size_t rowBytes = size_t(DIBWidthBytes(Width, BitCount)), bytes = rowBytes * size_t(Height);
    if (bytes > Image.Bits.capacity() || Image.Bits.capacity() / 2 > bytes) {
        decltype(Image.Bits) fresh;
        fresh.resize(bytes);
        Image.Bits.swap(fresh);
    } else {
        Image.Bits.resize(bytes);
    }
    const size_t whole = size_t(int64_t(Width) * BitCount / 8);
    if (!Unset)
        std::memset(Image.Bits.data(), 0, bytes);
    else if (whole < rowBytes)
        for (size_t row = 0; row < size_t(Height); ++row)
            std::memset(Image.Bits.data() + row * rowBytes + whole, 0, rowBytes - whole);
    Image.Width = Width;
    Image.Height = Height;
    Image.BitCount = BitCount;
    Image.WidthBytes = int32_t(rowBytes);
    Image.PaletteCount = BitCount < 9 ? 1 << BitCount : 0;
    Image.PixelFormat = Format;
    if (&Image.ColorTable != &Table) Image.ColorTable = Table;
}

// A new image as ShapeImage makes one over.
std::shared_ptr<TDIBSharedImage> NewImage(int32_t Width, int32_t Height, const TRGBQuadTable& Table,
                                          const TDIBColorFormat& Format, int32_t BitCount, bool Unset) {
    // Made with its table at once: the default grey table worked out and then overwritten costs
    // as much as the pixels of a small picture such as a glyph.
    auto image = std::make_shared<TDIBSharedImage>(0, 0, 8, 0, 0, Format, Table);
    ShapeImage(*image, Width, Height, image->ColorTable, Format, BitCount, Unset);
    return image;
}

// A copy of Image that one TDIB may write. Its bytes go over in one block: a vector of bytes that
// start unset copies them in a loop of its own.
std::shared_ptr<TDIBSharedImage> CopyImage(const TDIBSharedImage& Image) {
    auto copy = std::make_shared<TDIBSharedImage>(Image.Width, Image.Height, Image.BitCount, Image.WidthBytes,
                                                  Image.PaletteCount, Image.PixelFormat, Image.ColorTable);
    copy->Bits.resize(Image.Bits.size());
    if (!Image.Bits.empty()) std::memcpy(copy->Bits.data(), Image.Bits.data(), Image.Bits.size());
    return copy;
}

const std::shared_ptr<TDIBSharedImage>& EmptyImage() {
    static const auto empty = std::make_shared<TDIBSharedImage>();
    return empty;
}

// Expands RLE8 (BitCount 8) or RLE4 (BitCount 4) data into Image, from the bottom row up. A run,
// delta or line end that leaves the bitmap, or data cut inside a code, is refused.
void DecodeRLE(const std::vector<uint8_t>& In, TDIBSharedImage& Image) {
    const bool rle4 = Image.BitCount == 4;
    const int32_t width = Image.Width, height = Image.Height;
    int32_t x = 0, row = 0;
    size_t p = 0;
    auto need = [&](size_t Count) {
        if (Count > In.size() - p) throw EInvalidGraphic(kBrokenPixels);
    };
    auto put = [&](uint8_t Value) {
        if (x >= width || row >= height) throw EInvalidGraphic(kBrokenPixels);
        uint8_t* line = Image.Bits.data() + size_t(row) * size_t(Image.WidthBytes);
        if (!rle4)
            line[x] = Value;
        else if (x % 2 == 0)
            line[x / 2] = uint8_t((line[x / 2] & 0x0F) | Value << 4);
        else
            line[x / 2] = uint8_t((line[x / 2] & 0xF0) | Value);
        ++x;
    };
    auto nibbleOrByte = [&](uint8_t Byte, int Index) -> uint8_t {
        return !rle4 ? Byte : Index % 2 == 0 ? Byte >> 4 : Byte & 0x0F;
    };
    while (p < In.size()) {
        need(2);
        const uint8_t count = In[p], value = In[p + 1];
        p += 2;
        if (count != 0) {
            for (int i = 0; i < count; ++i) put(nibbleOrByte(value, i));
            continue;
        }
        switch (value) {
            case 0:  // end of line
                x = 0;
                ++row;
                break;
            case 1:  // end of bitmap
                return;
            case 2:  // delta
                need(2);
                x += In[p];
                row += In[p + 1];
                p += 2;
                break;
            default: {  // absolute run
                const size_t bytes = rle4 ? (value + 1u) / 2 : value;
                need(bytes);
                for (int i = 0; i < value; ++i) put(nibbleOrByte(In[p + (rle4 ? i / 2 : i)], i));
                p += (bytes + 1) & ~size_t(1);
                break;
            }
        }
        if (x > width || row > height) throw EInvalidGraphic(kBrokenPixels);
    }
}

// The format of a file's bit-field masks. It is built from the masks' widths, so masks that
// do not lie where those widths put them (out of order, or with gaps) are refused.
TDIBColorFormat FormatOfMasks(const uint8_t* Masks) {
    const uint32_t r = Get32(Masks), g = Get32(Masks + 4), b = Get32(Masks + 8);
    const TDIBColorFormat format = MakeDIBColorFormatFromMasks(r, g, b);
    if (format.RBitMask != r || format.GBitMask != g || format.BBitMask != b)
        throw EInvalidGraphicOperation(kBadPixelFormat);
    return format;
}

// A DIB without file header; the empty image when the stream is at its end. The pixels follow
// the colour table unless PixelsAt, the position a file header gives them, lies further on
// inside the stream.
std::shared_ptr<TDIBSharedImage> ReadImage(TStream& Stream, int64_t PixelsAt) {
    uint8_t sizeBytes[4];
    const int64_t got = Stream.Read(sizeBytes, 4);
    if (got == 0) return EmptyImage();
    if (got != 4) throw EInvalidGraphic(kInvalidDIB);
    const uint32_t headerSize = Get32(sizeBytes);
    int64_t width, height;
    int bitCount;
    uint32_t compression = 0, sizeImage = 0, colorsUsed = 0;
    int quadSize = 4;
    if (headerSize == 12) {
        uint8_t h[8];
        ReadExact(Stream, h, 8);
        width = Get16(h);
        height = Get16(h + 2);
        bitCount = Get16(h + 6);
        quadSize = 3;
    } else if (headerSize == 40) {
        uint8_t h[36];
        ReadExact(Stream, h, 36);
        width = int32_t(Get32(h));
        height = int32_t(Get32(h + 4));
        bitCount = Get16(h + 10);
        compression = Get32(h + 12);
        sizeImage = Get32(h + 16);
        colorsUsed = Get32(h + 28);
    } else {
        throw EInvalidGraphic(kInvalidDIB);
    }
    // Run-length data is stored bottom-up only: a negative height with it is no bitmap.
    const bool rle = compression == 1 || compression == 2;
    if (compression > 3 || (compression == 1 && bitCount != 8) || (compression == 2 && bitCount != 4) ||
        (rle && height < 0))
        throw EInvalidGraphic(kInvalidDIB);

    TDIBColorFormat format = MakeDIBColorFormat(8, 8, 8);
    if (compression == 3) {
        uint8_t masks[12];
        ReadExact(Stream, masks, 12);
        format = FormatOfMasks(masks);
    } else if (bitCount == 16) {
        format = MakeDIBColorFormat(5, 5, 5);
    }

    // Entries past the 256 of the table are stored all the same; they are skipped.
    const int64_t stored = colorsUsed ? colorsUsed : bitCount <= 8 ? 1 << bitCount : 0;
    if (stored > Stream.Remaining() / quadSize) throw EInvalidGraphic(kInvalidDIB);
    TRGBQuadTable table{};
    for (int64_t i = 0; i < std::min<int64_t>(stored, 256); ++i) {
        uint8_t q[4];
        ReadExact(Stream, q, quadSize);
        table[i] = RGBQuad(q[2], q[1], q[0]);
    }
    Stream.Seek(std::max<int64_t>(stored - 256, 0) * quadSize, soCurrent);
    if (PixelsAt > Stream.Position() && PixelsAt <= Stream.Size()) Stream.SetPosition(PixelsAt);

    const bool topDown = height < 0;
    height = std::abs(height);
    CheckImageFormat(bitCount, format);
    CheckImageSize(width, height, bitCount);
    const int64_t dataBytes = rle ? sizeImage : DIBWidthBytes(width, bitCount) * height;
    if (dataBytes > Stream.Remaining()) throw EInvalidGraphic(kBrokenPixels);

    auto image = NewImage(int32_t(width), int32_t(height), table, format, bitCount, false);
    if (rle) {
        std::vector<uint8_t> packed(sizeImage);
        ReadExact(Stream, packed.data(), sizeImage);
        DecodeRLE(packed, *image);
    } else if (!topDown) {
        ReadExact(Stream, image->Bits.data(), image->Size());
    } else {
        for (int32_t y = 0; y < image->Height; ++y)
            ReadExact(Stream, image->Bits.data() + size_t(image->Height - 1 - y) * image->WidthBytes,
                      image->WidthBytes);
    }
    return image;
}

// The table SetBitCount reduces colours to: black and white, or an R-G-B bit table.
TRGBQuadTable FixedColorTable(int BitCount) {
    TRGBQuadTable table{};
    if (BitCount == 1) {
        table[1] = RGBQuad(255, 255, 255);
        return table;
    }
    const int r = BitCount == 4 ? 1 : 3, g = BitCount == 4 ? 2 : 3, b = BitCount == 4 ? 1 : 2;
    auto level = [](int Index, int Bits) { return uint8_t((Index & ((1 << Bits) - 1)) * 255 / ((1 << Bits) - 1)); };
    for (int i = 0; i < 256; ++i) table[i] = RGBQuad(level(i >> (g + b), r), level(i >> b, g), level(i, b));
    return table;
}

}  // namespace

int CountMaskBits(uint32_t Mask) {
    int bit = 0;
    while (bit < 31 && !(Mask >> bit & 1)) ++bit;
    int count = 0;
    while (bit < 32 && (Mask >> bit & 1)) ++bit, ++count;
    return count;
}

TDIBColorFormat MakeDIBColorFormat(int R, int G, int B) {
    TDIBColorFormat f;
    auto ones = [](int Bits) { return (uint64_t(1) << Bits) - 1; };
    f.RBitMask = uint32_t(ones(R) << (G + B));
    f.GBitMask = uint32_t(ones(G) << B);
    f.BBitMask = uint32_t(ones(B));
    f.RBitCount = R, f.GBitCount = G, f.BBitCount = B;
    f.RShift = R + G + B - 8, f.GShift = B - (8 - G), f.BShift = 8 - B;
    f.RFill = 8 - R, f.GFill = 8 - G, f.BFill = 8 - B;
    return f;
}

TDIBColorFormat MakeDIBColorFormatFromMasks(uint32_t RMask, uint32_t GMask, uint32_t BMask) {
    // No layout we take has a channel wider than 16 bits; the cap keeps the record's shifts
    // defined for any mask, and such formats are refused when an image is made.
    return MakeDIBColorFormat(std::min(CountMaskBits(RMask), 16), std::min(CountMaskBits(GMask), 16),
                              std::min(CountMaskBits(BMask), 16));
}

uint32_t PackRGB(const TDIBColorFormat& Format, uint8_t R, uint8_t G, uint8_t B) {
    const int gb = int(Format.GBitCount + Format.BBitCount);
    return ReduceChannel(R, int(Format.RBitCount)) << gb | ReduceChannel(G, int(Format.GBitCount)) << Format.BBitCount |
           ReduceChannel(B, int(Format.BBitCount));
}

void UnpackRGB(const TDIBColorFormat& Format, uint32_t Pixel, uint8_t& R, uint8_t& G, uint8_t& B) {
    R = ExpandChannel((Pixel & Format.RBitMask) >> (Format.GBitCount + Format.BBitCount), int(Format.RBitCount));
    G = ExpandChannel((Pixel & Format.GBitMask) >> Format.BBitCount, int(Format.GBitCount));
    B = ExpandChannel(Pixel & Format.BBitMask, int(Format.BBitCount));
}

TRGBQuadTable MakeGreyColorTable() {
    TRGBQuadTable table;
    for (int i = 0; i < 256; ++i) table[i] = RGBQuad(uint8_t(i), uint8_t(i), uint8_t(i));
    return table;
}

TRGBQuadTable PaletteEntriesToRGBQuads(const TPaletteEntryTable& Entries) {
    TRGBQuadTable quads;
    std::transform(Entries.begin(), Entries.end(), quads.begin(), PaletteEntryToRGBQuad);
    return quads;
}

TPaletteEntryTable RGBQuadsToPaletteEntries(const TRGBQuadTable& Quads) {
    TPaletteEntryTable entries;
    std::transform(Quads.begin(), Quads.end(), entries.begin(), RGBQuadToPaletteEntry);
    return entries;
}

TDIB::TDIB() : PixelFormat(MakeDIBColorFormat(8, 8, 8)) { SetImage(EmptyImage()); }

void TDIB::SetImage(std::shared_ptr<TDIBSharedImage> Image) {
    image_ = std::move(Image);
    ColorTable = image_->ColorTable;
}

void TDIB::Changing() {
    if (image_.use_count() > 1) image_ = CopyImage(*image_);
}

void TDIB::Clear() { SetImage(EmptyImage()); }

void TDIB::SetSize(int32_t W, int32_t H, int32_t N) { NewSize(W, H, N, false); }

void TDIB::SetSizeForOverwrite(int32_t W, int32_t H, int32_t N) { NewSize(W, H, N, true); }

void TDIB::NewSize(int32_t W, int32_t H, int32_t N, bool Unset) {
    if (W == Width() && H == Height() && N == BitCount() && SameMasks(NowPixelFormat(), PixelFormat)) return;
    if (W < 1 || H < 1)
        Clear();
    else if (image_.use_count() == 1)  // held by no one else: made over, its memory kept
        ShapeImage(*image_, W, H, ColorTable, PixelFormat, N, Unset);
    else
        SetImage(NewImage(W, H, ColorTable, PixelFormat, N, Unset));
}

void TDIB::SetWidth(int32_t Value) {
    if (Value < 1)
        Clear();
    else if (Empty())
        SetSize(Value, std::max(Height(), 1), 8);
    else
        SetSize(Value, Height(), BitCount());
}

void TDIB::SetHeight(int32_t Value) {
    if (Value < 1)
        Clear();
    else if (Empty())
        SetSize(std::max(Width(), 1), Value, 8);
    else
        SetSize(Width(), Value, BitCount());
}

void TDIB::SetBitCount(int32_t N) {
    if (N < 1) return Clear();
    if (Empty()) return SetSize(std::max(Width(), 1), std::max(Height(), 1), N);
    TDIB old;
    old.Assign(this);
    const int32_t o = BitCount();
    const bool copyIndex = N <= 8 && o <= 8 && N >= o;
    if (N <= 8 && !copyIndex) ColorTable = FixedColorTable(N);
    SetSize(Width(), Height(), N);
    if (image_ == old.image_) return;
    for (int32_t y = 0; y < Height(); ++y)
        for (int32_t x = 0; x < Width(); ++x) {
            if (copyIndex) {
                SetPixel(x, y, old.GetPixel(x, y));
                continue;
            }
            const TRGBQuad c = old.ValueColor(old.GetPixel(x, y));
            if (N <= 8)
                SetPixel(x, y, uint32_t(NearestPaletteIndex(image_->ColorTable.data(), PaletteCount(), QuadRed(c),
                                                            QuadGreen(c), QuadBlue(c))));
            else
                SetPixel(x, y, N == 24 ? c : PackRGB(NowPixelFormat(), QuadRed(c), QuadGreen(c), QuadBlue(c)));
        }
}

uint8_t* TDIB::ScanLine(int32_t Y) {
    const uint8_t* row = ScanLineReadOnly(Y);
    // An image no other TDIB shares is written where it is (the surfaces a draw locks).
    if (image_.use_count() == 1) return const_cast<uint8_t*>(row);
    Changing();
    return TopPBits() + ptrdiff_t(Y) * NextLine();
}

const uint8_t* TDIB::ScanLineReadOnly(int32_t Y) const {
    if (Y < 0 || Y >= Height())
        throw EInvalidGraphicOperation("スキャンラインのインデックスが範囲を越えました (" + std::to_string(Y) + ")");
    return TopPBitsReadOnly() + ptrdiff_t(Y) * NextLine();
}

uint8_t* TDIB::PBits() {
    Changing();
    return image_->Bits.data();
}

uint8_t* TDIB::TopPBits() {
    Changing();
    return const_cast<uint8_t*>(TopPBitsReadOnly());
}

uint32_t TDIB::GetPixel(int32_t X, int32_t Y) const {
    if (X < 0 || Y < 0 || X >= Width() || Y >= Height()) return 0;
    return LoadPixel(ScanLineReadOnly(Y), X, BitCount());
}

void TDIB::SetPixel(int32_t X, int32_t Y, uint32_t Value) {
    if (X < 0 || Y < 0 || X >= Width() || Y >= Height()) return;
    StorePixel(ScanLine(Y), X, BitCount(), Value);
}

void TDIB::UpdatePalette() {
    if (ColorTable == image_->ColorTable) return;
    Changing();
    image_->ColorTable = ColorTable;
}

void TDIB::Assign(const TDIB* Source) {
    if (!Source)
        Clear();
    else if (Source != this)
        SetImage(Source->image_);
}

void TDIB::LoadFromStream(TStream& Stream) {
    const int64_t start = Stream.Position();
    uint8_t header[14];
    const int64_t got = Stream.Read(header, 14);
    if (got == 0) return;
    if (got < 14 || Get16(header) != 0x4D42) throw EInvalidGraphic(kInvalidDIB);
    SetImage(ReadImage(Stream, start + Get32(header + 10)));
}

void TDIB::ReadData(TStream& Stream) { SetImage(ReadImage(Stream, 0)); }

int32_t TDIB::BitmapInfoSize() const { return 40 + (HasBitFields(BitCount()) ? 12 : 0) + 4 * PaletteCount(); }

std::string TDIB::BitmapInfo() const {
    std::string info;
    Put32(info, 40);
    Put32(info, uint32_t(Width()));
    Put32(info, uint32_t(Height()));
    Put16(info, 1);
    Put16(info, uint16_t(BitCount()));
    Put32(info, HasBitFields(BitCount()) ? 3 : 0);
    Put32(info, uint32_t(Size()));
    info.append(16, '\0');  // resolution and colour counts
    if (HasBitFields(BitCount())) {
        Put32(info, NowPixelFormat().RBitMask);
        Put32(info, NowPixelFormat().GBitMask);
        Put32(info, NowPixelFormat().BBitMask);
    }
    for (int i = 0; i < PaletteCount(); ++i) Put32(info, image_->ColorTable[i]);
    return info;
}

void TDIB::WriteData(TStream& Stream) const {
    const std::string info = BitmapInfo();
    Stream.WriteBuffer(info.data(), int64_t(info.size()));
    Stream.WriteBuffer(PBitsReadOnly(), Size());
}

void TDIB::SaveToStream(TStream& Stream) const {
    if (Empty()) return;
    const uint32_t offset = uint32_t(BitmapInfoSize()) + 14;
    std::string header = "BM";
    Put32(header, uint32_t(Size()) + offset);
    Put32(header, 0);
    Put32(header, offset);
    Stream.WriteBuffer(header.data(), int64_t(header.size()));
    WriteData(Stream);
}
