// The PNG reader: the chunk loop, the header and ancillary chunks, and the image data inflated
// row by row, unfiltered in place and converted into the bitmap (and the alpha bitmap) in one pass
// per row. Adam7 passes are converted into a scratch row and spread over the bitmap rows.
#include "graphics/pngpics.h"

#include <emmintrin.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace {

const char kNotPng[] = "PNG LoadStream: Not PNG Format";
const char kZlibError[] = "PNG LoadStream: Error ZLIB";
const char kReadError[] = "Read Image (PNG): Read Error";
const char kTwoHeaders[] = "Read Header(PNG): appear two IHDR";
const char kColourTypeError[] = "Read Header(PNG): Error ColorType";
const char kCompressionError[] = "Read Header(PNG): not support Compression";
const char kFilterError[] = "Read Header(PNG): not supprt Filter";
const char kInterlaceError[] = "Read Header(PNG): not interlace type";
const char kGreyDepthError[] = "Read Header(PNG): Error Bitdepth";
const char kGreyAlphaError[] = "Read Header(PNG): not Use AlphaChannel";
const char kDepthError[] = "Read Header(PNG): Error BitDepth";

constexpr uint32_t Tag(const char (&S)[5]) {
    return uint32_t(uint8_t(S[0])) << 24 | uint32_t(uint8_t(S[1])) << 16 | uint32_t(uint8_t(S[2])) << 8 | uint8_t(S[3]);
}
constexpr uint32_t kPrivateChunk = 0x74704E47;

enum : uint32_t {
    kSeenHeader = 1,
    kSeenData = 2,
    kSeenPalette = 4,
    kSeenEnd = 8,
    kSeenPrivate = 16,
};

// The input buffer of the image data.
constexpr int64_t kInputBuffer = 32768;
// No deflate stream expands its input more than this (a 258-byte match in two bits).
constexpr int64_t kMaxInflateRatio = 1032;

// Fields of a chunk's data, each taken only while the data holds it.
class TChunkReader {
public:
    explicit TChunkReader(std::vector<uint8_t> Data) : data_(std::move(Data)) {}
    size_t Size() const { return data_.size(); }
    const uint8_t* Data() const { return data_.data(); }
    bool Has(size_t Count) const { return data_.size() - at_ >= Count; }
    uint8_t Byte() { return data_[at_++]; }
    uint16_t Word() {
        at_ += 2;
        return uint16_t(data_[at_ - 2] << 8 | data_[at_ - 1]);
    }
    uint32_t DWord() {
        const uint32_t high = Word();
        return high << 16 | Word();
    }

private:
    std::vector<uint8_t> data_;
    size_t at_ = 0;
};

// ---- Row conversion: PNG samples to bitmap pixels ----

template <int Bits>
void CopyRow(const uint8_t* In, int32_t Count, uint8_t* Out, uint8_t*) {
    std::memcpy(Out, In, (size_t(Count) * Bits + 7) / 8);
}

// 2-bit samples into nibbles: each PNG byte (four pixels) gives two bitmap bytes.
struct TExpand2 {
    uint16_t Pairs[256];
    constexpr TExpand2() : Pairs() {
        for (int b = 0; b < 256; ++b)
            Pairs[b] = uint16_t((b >> 6 & 3) << 4 | (b >> 4 & 3) | ((b >> 2 & 3) << 4 | (b & 3)) << 8);
    }
};
constexpr TExpand2 kExpand2;

void Expand2Row(const uint8_t* In, int32_t Count, uint8_t* Out, uint8_t*) {
    const int32_t whole = Count / 4;
    for (int32_t i = 0; i < whole; ++i) {
        const uint16_t pair = kExpand2.Pairs[In[i]];
        Out[2 * i] = uint8_t(pair);
        Out[2 * i + 1] = uint8_t(pair >> 8);
    }
    const int32_t rest = Count % 4;
    if (rest == 0) return;
    const uint16_t pair = kExpand2.Pairs[In[whole]];
    Out[2 * whole] = uint8_t(rest > 1 ? pair : pair & 0xF0);
    if (rest == 3) Out[2 * whole + 1] = uint8_t(pair >> 8 & 0xF0);
}

// Grey (or palette-index) samples of Size bytes, high byte first, with or without alpha.
template <int Size, bool Alpha>
void GreyRow(const uint8_t* In, int32_t Count, uint8_t* Out, uint8_t* AlphaOut) {
    constexpr int step = Size * (Alpha ? 2 : 1);
    for (int32_t i = 0; i < Count; ++i, In += step) {
        Out[i] = In[0];
        if constexpr (Alpha) AlphaOut[i] = uint8_t(255 - In[Size]);
    }
}

// Red, green, blue (and alpha) samples of Size bytes into blue-green-red bytes.
template <int Size, bool Alpha>
void ColourRow(const uint8_t* In, int32_t Count, uint8_t* Out, uint8_t* AlphaOut) {
    constexpr int step = Size * (Alpha ? 4 : 3);
    for (int32_t i = 0; i < Count; ++i, In += step, Out += 3) {
        const uint8_t r = In[0], g = In[Size], b = In[2 * Size];
        Out[0] = b;
        Out[1] = g;
        Out[2] = r;
        if constexpr (Alpha) AlphaOut[i] = uint8_t(255 - In[3 * Size]);
    }
}

// Blue-green-red bytes into the 15- or 16-bit words of Format (channels truncated).
void PackRow(const uint8_t* BGR, int32_t Count, uint8_t* Out, const TDIBColorFormat& Format) {
    const uint32_t rDrop = 8 - Format.RBitCount, gDrop = 8 - Format.GBitCount, bDrop = 8 - Format.BBitCount;
    const uint32_t rAt = Format.GBitCount + Format.BBitCount, gAt = Format.BBitCount;
    for (int32_t i = 0; i < Count; ++i, BGR += 3) {
        const uint32_t w = uint32_t(BGR[2] >> rDrop) << rAt | uint32_t(BGR[1] >> gDrop) << gAt | BGR[0] >> bDrop;
        Out[2 * i] = uint8_t(w);
        Out[2 * i + 1] = uint8_t(w >> 8);
    }
}

// Count pixels of Bits each from From to pixels X, X + DX, ... of To.
void Scatter(const uint8_t* From, int32_t Count, uint8_t* To, int32_t X, int32_t DX, int32_t Bits) {
    switch (Bits) {
        case 1:
            for (int32_t i = 0; i < Count; ++i, X += DX) {
                const uint8_t mask = uint8_t(0x80 >> (X & 7));
                To[X >> 3] = uint8_t(From[i >> 3] >> (7 - (i & 7)) & 1 ? To[X >> 3] | mask : To[X >> 3] & ~mask);
            }
            break;
        case 4:
            for (int32_t i = 0; i < Count; ++i, X += DX) {
                const uint8_t v = From[i >> 1] >> (i & 1 ? 0 : 4) & 0x0F;
                uint8_t& to = To[X >> 1];
                to = uint8_t(X & 1 ? (to & 0xF0) | v : (to & 0x0F) | v << 4);
            }
            break;
        case 8:
            for (int32_t i = 0; i < Count; ++i, X += DX) To[X] = From[i];
            break;
        default: {
            const int32_t bytes = Bits / 8;
            for (int32_t i = 0; i < Count; ++i, X += DX) std::memcpy(To + X * bytes, From + i * bytes, size_t(bytes));
        }
    }
}

// ---- Filters ----

[[noreturn]] void ReadFailure() { throw EPngError(kReadError); }

// Undoes the filter of Row (Count bytes, Bpp bytes per pixel) against Prior, the row above. A
// constant Bpp of 1 (0: given by Step) lets the loops keep the left byte in a register.
template <int Bpp>
void UnfilterRow(uint8_t Type, uint8_t* Row, const uint8_t* Prior, int32_t Count, int32_t Step) {
    const int32_t bpp = Bpp ? Bpp : Step, lead = std::min(bpp, Count);
    switch (Type) {
        case 0: break;
        case 1:
            for (int32_t i = bpp; i < Count; ++i) Row[i] = uint8_t(Row[i] + Row[i - bpp]);
            break;
        case 2:
            for (int32_t i = 0; i < Count; ++i) Row[i] = uint8_t(Row[i] + Prior[i]);
            break;
        case 3:
            for (int32_t i = 0; i < lead; ++i) Row[i] = uint8_t(Row[i] + (Prior[i] >> 1));
            for (int32_t i = bpp; i < Count; ++i) Row[i] = uint8_t(Row[i] + ((Row[i - bpp] + Prior[i]) >> 1));
            break;
        case 4:
            for (int32_t i = 0; i < lead; ++i) Row[i] = uint8_t(Row[i] + Prior[i]);
            for (int32_t i = bpp; i < Count; ++i) Row[i] = uint8_t(Row[i] + png::Paeth(Row[i - bpp], Prior[i], Prior[i - bpp]));
            break;
        default: ReadFailure();
    }
}

// A pixel of Bpp (3 or 4) bytes as 16-bit lanes, read as 4 bytes when Whole (the row goes on
// past it): three bytes read as a two- and a one-byte load made the 3-byte rows 1.6x slower.
template <int Bpp>
__m128i LoadPixel(const uint8_t* P, bool Whole) {
    uint32_t v = 0;
    if (Whole)
        std::memcpy(&v, P, 4);
    else
        std::memcpy(&v, P, Bpp);
    return _mm_unpacklo_epi8(_mm_cvtsi32_si128(int32_t(v)), _mm_setzero_si128());
}

__m128i Abs16(__m128i V) { return _mm_max_epi16(V, _mm_sub_epi16(_mm_setzero_si128(), V)); }

// The sub, average and Paeth filters of 3- and 4-byte pixels undone one pixel a step in 16-bit
// lanes, with the left pixel carried in a register: the same bytes as the byte rule of
// UnfilterRow.
template <int Bpp>
void UnfilterPixels(uint8_t Type, uint8_t* Row, const uint8_t* Prior, int32_t Count) {
    const __m128i low = _mm_set1_epi16(0xFF);
    __m128i a = _mm_setzero_si128(), c = a;  // the left and upper-left pixels, none before the first
    for (int32_t i = 0; i + Bpp <= Count; i += Bpp) {
        const bool whole = i + 4 <= Count;
        const __m128i b = LoadPixel<Bpp>(Prior + i, whole);
        __m128i predicted;
        if (Type == 1) {
            predicted = a;
        } else if (Type == 3) {
            predicted = _mm_srli_epi16(_mm_add_epi16(a, b), 1);
        } else {
            // p = a + b - c, so |p - a| = |b - c|, |p - b| = |a - c| and |p - c| = |a - c + b - c|.
            const __m128i pa = Abs16(_mm_sub_epi16(b, c)), pb = Abs16(_mm_sub_epi16(a, c)),
                          pc = Abs16(_mm_add_epi16(_mm_sub_epi16(a, c), _mm_sub_epi16(b, c)));
            const __m128i least = _mm_min_epi16(pa, _mm_min_epi16(pb, pc));
            const __m128i takeA = _mm_cmpeq_epi16(pa, least), takeB = _mm_cmpeq_epi16(pb, least);
            const __m128i bOrC = _mm_or_si128(_mm_and_si128(takeB, b), _mm_andnot_si128(takeB, c));
            predicted = _mm_or_si128(_mm_and_si128(takeA, a), _mm_andnot_si128(takeA, bOrC));
            c = b;
        }
        a = _mm_and_si128(_mm_add_epi16(LoadPixel<Bpp>(Row + i, whole), predicted), low);
        const uint32_t v = uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(a, a)));
        std::memcpy(Row + i, &v, Bpp);
    }
}

void Unfilter(uint8_t Type, uint8_t* Row, const uint8_t* Prior, int32_t Count, int32_t Bpp) {
    const bool pixels = Type == 1 || Type == 3 || Type == 4;
    if (Bpp == 1)
        UnfilterRow<1>(Type, Row, Prior, Count, Bpp);
    else if (Bpp == 3 && pixels)
        UnfilterPixels<3>(Type, Row, Prior, Count);
    else if (Bpp == 4 && pixels)
        UnfilterPixels<4>(Type, Row, Prior, Count);
    else
        UnfilterRow<0>(Type, Row, Prior, Count, Bpp);
}

}  // namespace

// The zlib stream of the image data and its input buffer, for the length of one image.
struct TPngReadStream::TInflate {
    z_stream Z{};
    uint8_t Input[kInputBuffer];
    bool Ended = false;  // the deflate stream is complete

    TInflate() {
        if (inflateInit(&Z) != Z_OK) throw EPngError(kZlibError);
    }
    ~TInflate() { inflateEnd(&Z); }
    TInflate(const TInflate&) = delete;
    TInflate& operator=(const TInflate&) = delete;
};

void TPngReadStream::LoadStream(TDIB* Bitmap, TDIB* AlphaBitmap, TStream& Source) {
    alphaBitmap_ = AlphaBitmap;
    Load(Bitmap, Source, 0);
}

void TPngReadStream::Reset() {
    HasAlpha = IsGrey = false;
    BitDepth = Interlace = 0;
    TransparentColour = Background = -1;
    Gamma = 0;
    SignificantBits = 0;
    PhysicalSize = {};
    Comment.clear();
    width_ = height_ = 0;
    depth_ = colourKind_ = 0;
    seen_ = chunkType_ = 0;
    chunkLeft_ = 0;
    pendingChunk_ = paletteAlpha_ = palettedGreyAlpha_ = false;
    alphaTable_.fill(255);
    PaletteCount = 0;
}

void TPngReadStream::Decode() {
    Reset();
    ProgressBegin();
    ProgressStage(TProgressKind::Position, Size(), 30);
    uint8_t signature[8] = {};
    if (Size() - Pos() < 8 || ReadBuffer(signature, 8) != 8 ||
        !std::equal(png::kSignature.begin(), png::kSignature.end(), signature))
        throw EPngError(kNotPng);
    while (!(seen_ & kSeenEnd) && ReadChunkHeader()) {
        HandleChunk();
        ReportPosition();
        if (pendingChunk_) continue;  // the image data ended at the next chunk's header
        if (chunkLeft_ > 0) Skip(chunkLeft_);
        ReadDWord();  // the CRC, not checked
    }
    ProgressEnd();
}

bool TPngReadStream::ReadChunkHeader() {
    if (pendingChunk_) {
        pendingChunk_ = false;
        return true;
    }
    const uint32_t length = ReadDWord(), type = ReadDWord();
    if (EndReached() || Stopped()) return false;
    chunkLeft_ = length;
    chunkType_ = type;
    return true;
}

// The rest of the current chunk, as far as the stream holds it.
std::vector<uint8_t> TPngReadStream::ChunkData() {
    const int64_t count = std::max<int64_t>(0, std::min(chunkLeft_, Size() - Pos()));
    std::vector<uint8_t> data(size_t(count), 0);
    if (count > 0) data.resize(size_t(std::max<int64_t>(0, ReadBuffer(data.data(), count))));
    chunkLeft_ -= count;
    return data;
}

void TPngReadStream::HandleChunk() {
    const bool header = seen_ & kSeenHeader, beforeData = header && !(seen_ & kSeenData);
    const bool beforePalette = beforeData && !(seen_ & kSeenPalette);
    switch (chunkType_) {
        case Tag("IHDR"): return ReadHeader();
        case Tag("PLTE"):
            if (beforeData) ReadPalette();
            return;
        case Tag("IDAT"):
            if (seen_ & kSeenData) return;
            seen_ |= kSeenData;
            ChooseFormat();
            if (NoBitmap()) {
                seen_ |= kSeenEnd;
                return;
            }
            return ReadImage();
        case Tag("IEND"): seen_ |= kSeenEnd; return;
        case Tag("tRNS"):
            if (beforeData) ReadTransparency();
            return;
        case Tag("pHYs"):
            if (beforeData) ReadPhysicalSize();
            return;
        case Tag("gAMA"):
            if (beforePalette) {
                TChunkReader r(ChunkData());
                if (r.Has(4)) Gamma = r.DWord() / 100000.0;
            }
            return;
        case Tag("sBIT"):
            if (beforePalette) ReadSignificantBits();
            return;
        case Tag("cHRM"):
            if (beforePalette) CopyExact(Chromaticities);
            return;
        case Tag("gIFg"):
            if (beforePalette) CopyExact(GifData);
            return;
        case Tag("bKGD"):
            if (header) ReadBackground();
            return;
        case Tag("tIME"): return CopyExact(Time);
        case Tag("tEXt"): return ReadText();
        case kPrivateChunk:
            if (!(seen_ & kSeenPrivate)) ReadPrivate();
            return;
        default: return;
    }
}

void TPngReadStream::ReadHeader() {
    if (seen_ & kSeenHeader) throw EPngError(kTwoHeaders);
    seen_ |= kSeenHeader;
    TChunkReader r(ChunkData());
    if (r.Has(4)) width_ = r.DWord();
    if (r.Has(4)) height_ = r.DWord();
    if (r.Has(1)) depth_ = r.Byte();
    const uint8_t colourType = r.Has(1) ? r.Byte() & 7 : 0;
    const uint8_t compression = r.Has(1) ? r.Byte() : 0, filter = r.Has(1) ? r.Byte() : 0;
    const uint8_t interlace = r.Has(1) ? r.Byte() : 0;
    if (colourType == 1 || colourType == 5 || colourType == 7) throw EPngError(kColourTypeError);
    HasAlpha = colourType & 4;
    colourKind_ = colourType & 3;
    if (compression >= 2) throw EPngError(kCompressionError);
    if (filter >= 2) throw EPngError(kFilterError);
    if (interlace >= 2) throw EPngError(kInterlaceError);
    Interlace = interlace;
}

// Up to 256 entries; only a palette image (or a grey-with-alpha image whose samples are palette
// indices) keeps them.
void TPngReadStream::ReadPalette() {
    seen_ |= kSeenPalette;
    if (colourKind_ != 3 && !(colourKind_ == 0 && palettedGreyAlpha_)) return;
    const std::vector<uint8_t> data = ChunkData();
    PaletteCount = int32_t(std::min<size_t>(data.size() / 3, 256));
    TRGBQuadTable& palette = Palette();
    for (int32_t i = 0; i < PaletteCount; ++i) palette[i] = RGBQuad(data[3 * i], data[3 * i + 1], data[3 * i + 2]);
}

// A grey or colour key as $00BBGGRR (16-bit samples keep their high byte), or the palette's
// alpha table.
void TPngReadStream::ReadTransparency() {
    if (HasAlpha) return;
    TChunkReader r(ChunkData());
    const auto sample = [&] { return uint8_t(depth_ == 16 ? r.Word() >> 8 : r.Word()); };
    if (colourKind_ == 0 && r.Has(2)) {
        const uint8_t v = sample();
        TransparentColour = v | v << 8 | v << 16;
    } else if (colourKind_ == 2 && r.Has(6)) {
        const uint8_t red = sample(), green = sample(), blue = sample();
        TransparentColour = red | green << 8 | blue << 16;
    } else if (colourKind_ == 3) {
        std::copy_n(r.Data(), std::min<size_t>(r.Size(), size_t(PaletteCount)), alphaTable_.begin());
        paletteAlpha_ = true;
    }
}

void TPngReadStream::ReadBackground() {
    TChunkReader r(ChunkData());
    const auto sample = [&] { return uint8_t(depth_ == 16 ? r.Word() >> 8 : r.Word()); };
    if (colourKind_ == 3 && r.Has(1)) {
        Background = png::kPaletteIndexColor | r.Byte();
    } else if (colourKind_ == 0 && r.Has(2)) {
        const uint8_t v = sample();
        Background = v | v << 8 | v << 16;
    } else if (colourKind_ == 2 && r.Has(6)) {
        const uint8_t red = sample(), green = sample(), blue = sample();
        Background = red | green << 8 | blue << 16;
    }
}

// One byte per channel, red (or grey) in the low byte.
void TPngReadStream::ReadSignificantBits() {
    TChunkReader r(ChunkData());
    const int channels = (colourKind_ == 0 ? 1 : 3) + (HasAlpha ? 1 : 0);
    uint32_t bits = 0;
    for (int i = 0; i < channels && r.Has(1); ++i) bits |= uint32_t(r.Byte()) << 8 * i;
    SignificantBits = bits;
}

void TPngReadStream::ReadPhysicalSize() {
    TChunkReader r(ChunkData());
    if (r.Has(4)) PhysicalSize.X = int32_t(r.DWord());
    if (r.Has(4)) PhysicalSize.Y = int32_t(r.DWord());
    if (r.Has(1)) PhysicalSize.Unit = r.Byte();
}

// A "Comment" text is added on a line of its own.
void TPngReadStream::ReadText() {
    const std::vector<uint8_t> data = ChunkData();
    const auto zero = std::find(data.begin(), data.end(), 0);
    if (zero == data.end() || std::string(data.begin(), zero) != "Comment") return;
    if (!Comment.empty()) Comment += "\r\n";
    Comment.append(zero + 1, data.end());
    Comment += "\r\n";
}

// "PNP3", a flag byte without meaning for reading, and the flag that marks grey samples as
// palette indices.
void TPngReadStream::ReadPrivate() {
    seen_ |= kSeenPrivate;
    const std::vector<uint8_t> data = ChunkData();
    if (data.size() >= 6 && std::memcmp(data.data(), "PNP3", 4) == 0 && data[5] == 1 && AllowPalettedGreyAlpha)
        palettedGreyAlpha_ = true;
}

// A chunk of exactly the buffer's size (double words big-endian) goes to the caller's buffer.
template <size_t N, class T>
void TPngReadStream::CopyExact(std::array<T, N>* Buffer) {
    if (!Buffer || chunkLeft_ != int64_t(N * sizeof(T))) return;
    TChunkReader r(ChunkData());
    if (r.Size() != N * sizeof(T)) return;
    for (T& v : *Buffer) {
        if constexpr (sizeof(T) == 4)
            v = r.DWord();
        else
            v = r.Byte();
    }
}

void TPngReadStream::ChooseFormat() {
    const bool alpha = HasAlpha;
    int32_t channels = 1;
    palettedGreyAlpha_ = palettedGreyAlpha_ && colourKind_ == 0 && alpha && depth_ == 8;
    switch (colourKind_) {
        case 0:
            if (alpha && depth_ != 8 && depth_ != 16) throw EPngError(kGreyAlphaError);
            if (depth_ != 1 && depth_ != 2 && depth_ != 4 && depth_ != 8 && depth_ != 16)
                throw EPngError(kGreyDepthError);
            IsGrey = !palettedGreyAlpha_;
            channels = alpha ? 2 : 1;
            BitDepth = depth_ == 2 ? 4 : std::min<int32_t>(depth_, 8);
            if (alpha)
                convert_ = depth_ == 8 ? GreyRow<1, true> : GreyRow<2, true>;
            else
                convert_ = depth_ == 1 ? CopyRow<1> : depth_ == 2 ? Expand2Row : depth_ == 4 ? CopyRow<4>
                           : depth_ == 8 ? CopyRow<8> : GreyRow<2, false>;
            break;
        case 2: {
            if (depth_ != 8 && depth_ != 16) throw EPngError(kDepthError);
            channels = alpha ? 4 : 3;
            const uint32_t rgb = SignificantBits & 0xFFFFFF;
            BitDepth = Allow15And16Bit && rgb == 0x050505 ? 15 : Allow15And16Bit && rgb == 0x050605 ? 16 : 24;
            if (depth_ == 8)
                convert_ = alpha ? ColourRow<1, true> : ColourRow<1, false>;
            else
                convert_ = alpha ? ColourRow<2, true> : ColourRow<2, false>;
            break;
        }
        default:
            if (depth_ != 1 && depth_ != 2 && depth_ != 4 && depth_ != 8) throw EPngError(kDepthError);
            BitDepth = depth_ == 2 ? 4 : depth_;
            convert_ = depth_ == 1 ? CopyRow<1> : depth_ == 2 ? Expand2Row : depth_ == 4 ? CopyRow<4> : CopyRow<8>;
            ApplyPaletteAlpha();
    }
    pack16_ = BitDepth == 15 || BitDepth == 16;
    pngPixelBits_ = channels * depth_;
    filterBytes_ = (pngPixelBits_ + 7) / 8;
    // Checked before anything is allocated: the bitmap, the alpha bitmap, and the data the rest
    // of the stream could inflate to at most.
    try {
        CheckImageSize(width_, height_, std::max<int32_t>(BitDepth, HasAlpha ? 8 : 1));
    } catch (const EInvalidGraphic&) {
        ReadFailure();
    }
    const uint64_t minimumData = (uint64_t(width_) * height_ * uint64_t(pngPixelBits_) + 7) / 8;
    if (minimumData / kMaxInflateRatio > uint64_t(std::max<int64_t>(0, Size() - Pos())) + 1) ReadFailure();
}

// An alpha table of one 0 entry with all the others 255 names the transparent index; any other
// table gives the image an alpha bitmap.
void TPngReadStream::ApplyPaletteAlpha() {
    if (!paletteAlpha_) return;
    const auto zeros = std::count(alphaTable_.begin(), alphaTable_.end(), 0);
    const auto opaque = std::count(alphaTable_.begin(), alphaTable_.end(), 255);
    if (zeros == 1 && opaque == 255) {
        TransparentColour = png::kPaletteIndexColor | int32_t(std::find(alphaTable_.begin(), alphaTable_.end(), 0) - alphaTable_.begin());
        paletteAlpha_ = false;
    } else {
        TransparentColour = -1;
        HasAlpha = true;
    }
}

void TPngReadStream::ReadImage() {
    TDIB& bitmap = *Bitmap();
    TRGBQuadTable table{};
    if (colourKind_ == 3 || palettedGreyAlpha_) {
        std::copy_n(Palette().begin(), PaletteCount, table.begin());
    } else if (colourKind_ == 0) {
        const int32_t levels = 1 << std::min<int32_t>(depth_, 8);
        for (int32_t i = 0; i < levels; ++i) {
            const uint8_t v = uint8_t(i * 255 / (levels - 1));
            table[i] = RGBQuad(v, v, v);
        }
    }
    bitmap.ColorTable = table;
    SetBitmapDepth(bitmap, int32_t(width_), int32_t(height_), BitDepth);
    if (BitDepth <= 8) bitmap.UpdatePalette();
    if (HasAlpha && alphaBitmap_) {
        alphaBitmap_->ColorTable = MakeGreyColorTable();
        SetBitmapDepth(*alphaBitmap_, int32_t(width_), int32_t(height_), 8);
        alphaBitmap_->UpdatePalette();
    }

    TInflate inflate;
    inputEnded_ = false;
    rowsDone_ = 0;
    int64_t rows = height_;
    if (Interlace) {
        rows = 0;
        for (const png::TPass& p : png::kAdam7)
            if (width_ > uint32_t(p.X) && height_ > uint32_t(p.Y)) rows += (height_ - p.Y + p.DY - 1) / p.DY;
    }
    ProgressStage(TProgressKind::Counter, rows, 98);
    if (Interlace)
        for (const png::TPass& p : png::kAdam7) ReadRows(inflate, p.X, p.Y, p.DX, p.DY);
    else
        ReadRows(inflate, 0, 0, 1, 1);
    if (paletteAlpha_ && alphaBitmap_) FillAlphaFromTable();
}

// The next piece of the image data: the rest of the current IDAT chunk, then the chunks after it
// while they are IDAT. Anything else ends the input (that chunk is handled by the chunk loop).
bool TPngReadStream::FillInput(TInflate& Inflate) {
    while (!inputEnded_) {
        if (chunkLeft_ > 0) {
            const int64_t count = std::min({chunkLeft_, kInputBuffer, Size() - Pos()});
            const int64_t got = count > 0 ? ReadBuffer(Inflate.Input, count) : 0;
            if (got <= 0) break;
            chunkLeft_ -= got;
            Inflate.Z.next_in = Inflate.Input;
            Inflate.Z.avail_in = uInt(got);
            return true;
        }
        ReadDWord();  // the CRC of the finished chunk
        pendingChunk_ = false;
        if (!ReadChunkHeader()) break;
        if (chunkType_ != Tag("IDAT")) {
            pendingChunk_ = true;
            break;
        }
    }
    inputEnded_ = true;
    return false;
}

// Inflates exactly Count bytes into Row.
void TPngReadStream::InflateRow(TInflate& Inflate, uint8_t* Row, size_t Count) {
    z_stream& z = Inflate.Z;
    z.next_out = Row;
    z.avail_out = uInt(Count);
    while (z.avail_out > 0 && !Inflate.Ended) {
        if (z.avail_in == 0) FillInput(Inflate);
        const int result = inflate(&z, Z_NO_FLUSH);
        if (result == Z_STREAM_END)
            Inflate.Ended = true;
        else if (result == Z_BUF_ERROR) {
            if (inputEnded_) ReadFailure();
        } else if (result != Z_OK)
            throw EPngError(kZlibError);
    }
    if (z.avail_out > 0) ReadFailure();
}

// The rows of one pass (the whole image: 0, 0, 1, 1): each inflated with its filter-type byte,
// unfiltered against the row above in the pass, and converted into the bitmap.
void TPngReadStream::ReadRows(TInflate& Inflate, uint32_t X, uint32_t Y, uint32_t DX, uint32_t DY) {
    if (width_ <= X || height_ <= Y) return;
    const int32_t count = int32_t((width_ - X + DX - 1) / DX);
    const size_t rowBytes = (size_t(count) * size_t(pngPixelBits_) + 7) / 8;
    std::vector<uint8_t> rows(2 * (rowBytes + 1), 0);
    uint8_t* row = rows.data();
    uint8_t* prior = row + rowBytes + 1;

    TDIB& bitmap = *Bitmap();
    const int32_t bits = bitmap.BitCount();
    const bool direct = DX == 1 && !pack16_;
    // Scratch rows: the pixels of a pass (or the 24-bit pixels before packing), and the alpha of a
    // row nobody keeps.
    std::vector<uint8_t> pixels(direct ? 0 : size_t(DIBWidthBytes(count, pack16_ ? 24 : bits)) + 4);
    std::vector<uint8_t> packed(pack16_ && DX != 1 ? size_t(count) * 2 : 0);
    const bool alphaKept = alphaBitmap_ && HasAlpha && !paletteAlpha_;
    std::vector<uint8_t> alphaRow(size_t(count), 0);
    uint8_t* top = bitmap.TopPBits();
    const ptrdiff_t line = bitmap.NextLine();
    uint8_t* alphaTop = alphaKept ? alphaBitmap_->TopPBits() : nullptr;
    const ptrdiff_t alphaLine = alphaKept ? alphaBitmap_->NextLine() : 0;
    const TDIBColorFormat& format = bitmap.NowPixelFormat();

    for (uint32_t y = Y; y < height_; y += DY) {
        InflateRow(Inflate, row, rowBytes + 1);
        Unfilter(row[0], row + 1, prior + 1, int32_t(rowBytes), filterBytes_);
        uint8_t* out = top + ptrdiff_t(y) * line;
        uint8_t* alphaOut = alphaKept && DX == 1 ? alphaTop + ptrdiff_t(y) * alphaLine : alphaRow.data();
        if (direct) {
            convert_(row + 1, count, out, alphaOut);
        } else {
            convert_(row + 1, count, pixels.data(), alphaOut);
            const uint8_t* from = pixels.data();
            if (pack16_) {
                uint8_t* to = DX == 1 ? out : packed.data();
                PackRow(pixels.data(), count, to, format);
                from = to;
            }
            if (DX != 1) {
                Scatter(from, count, out, int32_t(X), int32_t(DX), bits);
                if (alphaKept) Scatter(alphaRow.data(), count, alphaTop + ptrdiff_t(y) * alphaLine, int32_t(X), int32_t(DX), 8);
            }
        }
        std::swap(row, prior);
        ReportCount(++rowsDone_);
    }
}

// Each pixel's alpha from its palette index.
void TPngReadStream::FillAlphaFromTable() {
    const TDIB& bitmap = *Bitmap();
    const int32_t bits = bitmap.BitCount();
    uint8_t inverse[256];
    for (int i = 0; i < 256; ++i) inverse[i] = uint8_t(255 - alphaTable_[i]);
    for (int32_t y = 0; y < int32_t(height_); ++y) {
        const uint8_t* row = bitmap.ScanLineReadOnly(y);
        uint8_t* alpha = alphaBitmap_->ScanLine(y);
        for (int32_t x = 0; x < int32_t(width_); ++x) alpha[x] = inverse[LoadPixel(row, x, bits)];
    }
}
