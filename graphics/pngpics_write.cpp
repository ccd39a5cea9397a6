// The PNG writer: the header chunks, then the rows converted to PNG order, filtered (one filter
// for every row, or the best scoring one row by row) and deflated into image-data chunks of
// IDATSize bytes.
#include "graphics/pngpics.h"

#include "platform/clock.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>

namespace {

constexpr uint32_t ChunkType(const char (&Name)[5]) {
    return uint32_t(uint8_t(Name[0])) << 24 | uint32_t(uint8_t(Name[1])) << 16 | uint32_t(uint8_t(Name[2])) << 8 |
           uint8_t(Name[3]);
}

constexpr int32_t kMinIDATSize = 256, kMaxIDATSize = 100000;
constexpr uint32_t kPrivateChunk = 0x74704E47;
constexpr char kSoftware[] = "PngPicture ver 3.4";
const char* const kWriteError = "Write Image (PNG): Write Error";

// Chunk data, big-endian.
class TChunkData {
public:
    std::vector<uint8_t> Bytes;

    TChunkData& Byte(uint32_t V) {
        Bytes.push_back(uint8_t(V));
        return *this;
    }
    TChunkData& Word(uint32_t V) { return Byte(V >> 8).Byte(V); }
    TChunkData& DWord(uint32_t V) { return Word(V >> 16).Word(V); }
    TChunkData& Text(const std::string& S) {
        Bytes.insert(Bytes.end(), S.begin(), S.end());
        return *this;
    }
};

// How the image is stored: the depth of the source bitmap (15 and 16 kept apart), the colour
// type, the sample depth and the bits of one pixel of the PNG data.
struct TLayout {
    int32_t SourceDepth;
    bool WithAlpha;
    uint8_t ColourType;
    uint8_t SampleDepth;
    int32_t PixelBits;

    bool Indexed() const { return SourceDepth <= 8; }
    int32_t FilterBytes() const { return (PixelBits + 7) / 8; }
    size_t RowBytes(int32_t Width) const { return (size_t(Width) * size_t(PixelBits) + 7) / 8; }
};

TLayout LayoutOf(const TDIB& Bitmap, bool WithAlpha, bool Grey) {
    const int32_t depth = BitmapDepth(Bitmap);
    TLayout layout{depth, WithAlpha, 0, 8, 0};
    if (Grey) {
        layout.ColourType = WithAlpha ? 4 : 0;
        if (!WithAlpha && depth <= 8) layout.SampleDepth = uint8_t(depth);
    } else if (depth <= 8) {
        layout.ColourType = 3;
        layout.SampleDepth = uint8_t(depth);
        layout.WithAlpha = false;
    } else {
        layout.ColourType = WithAlpha ? 6 : 2;
    }
    const int32_t channels = layout.ColourType == 2 ? 3 : layout.ColourType == 6 ? 4 : layout.ColourType == 4 ? 2 : 1;
    layout.PixelBits = channels * layout.SampleDepth;
    return layout;
}

constexpr uint8_t Luminance(TRGBQuad C) {
    return uint8_t((QuadRed(C) * 77 + QuadGreen(C) * 150 + QuadBlue(C) * 29) / 256);
}

// The grey of a colour at a sample depth: 1 bit says whether it is above 127; 4 bits are 0..15.
uint8_t GreySample(TRGBQuad C, int32_t SampleDepth) {
    const uint8_t grey = Luminance(C);
    return SampleDepth == 1 ? grey > 127 : SampleDepth == 4 ? grey / 16 : grey;
}

// The greys of an indexed bitmap's entries at a sample depth; at 1 bit the brighter of the two
// entries is 1.
std::array<uint8_t, 256> GreyTable(const TDIB& Bitmap, int32_t SampleDepth) {
    std::array<uint8_t, 256> table{};
    const TRGBQuadTable& colours = Bitmap.ImageColorTable();
    if (SampleDepth == 1) {
        table[0] = Luminance(colours[0]) > Luminance(colours[1]);
        table[1] = !table[0];
        return table;
    }
    for (int32_t i = 0; i < Bitmap.PaletteCount(); ++i) table[size_t(i)] = GreySample(colours[size_t(i)], SampleDepth);
    return table;
}

// Turns the bitmap's rows into rows of PNG samples.
class TRowSource {
public:
    // Greys: the grey of each entry when an indexed bitmap is written as greys.
    TRowSource(const TDIB& Bitmap, const TDIB* Alpha, const TLayout& Layout, const std::array<uint8_t, 256>& Greys)
        : bitmap_(Bitmap), alpha_(Alpha), layout_(Layout), greys_(Greys), colours_(size_t(Bitmap.Width())) {}

    // Row Y (0 the top) of the image, every pixel.
    void Row(int32_t Y, uint8_t* Out) {
        const int32_t width = bitmap_.Width();
        const uint8_t* in = bitmap_.ScanLineReadOnly(Y);
        const uint8_t* alpha = layout_.WithAlpha ? alpha_->ScanLineReadOnly(Y) : nullptr;
        if (layout_.ColourType == 3) {
            std::memcpy(Out, in, layout_.RowBytes(width));
        } else if (layout_.Indexed() && !alpha) {
            for (int32_t x = 0; x < width; ++x)
                StorePixel(Out, x, layout_.SampleDepth, greys_[LoadPixel(in, x, layout_.SourceDepth)]);
        } else if (layout_.Indexed()) {
            for (int32_t x = 0; x < width; ++x) {
                *Out++ = greys_[LoadPixel(in, x, layout_.SourceDepth)];
                *Out++ = uint8_t(255 - alpha[x]);
            }
        } else {
            bitmap_.RowColors(Y, colours_.data());
            for (int32_t x = 0; x < width; ++x) {
                const TRGBQuad c = colours_[size_t(x)];
                if (layout_.ColourType == 0 || layout_.ColourType == 4) {
                    *Out++ = Luminance(c);
                } else {
                    *Out++ = QuadRed(c), *Out++ = QuadGreen(c), *Out++ = QuadBlue(c);
                }
                if (alpha) *Out++ = uint8_t(255 - alpha[x]);
            }
        }
    }

private:
    const TDIB& bitmap_;
    const TDIB* alpha_;
    const TLayout& layout_;
    const std::array<uint8_t, 256>& greys_;
    std::vector<TRGBQuad> colours_;
};

// Filters Row (N bytes, Prior the row above: zeros for the first) by Type into Out: the type
// byte, then N bytes.
void FilterRow(int Type, const uint8_t* Row, const uint8_t* Prior, size_t N, size_t Bpp, uint8_t* Out) {
    *Out++ = uint8_t(Type);
    for (size_t i = 0; i < N; ++i) {
        const uint8_t left = i >= Bpp ? Row[i - Bpp] : 0, up = Prior[i], upLeft = i >= Bpp ? Prior[i - Bpp] : 0;
        uint8_t predicted = 0;
        switch (Type) {
            case 1: predicted = left; break;
            case 2: predicted = up; break;
            case 3: predicted = uint8_t((left + up) / 2); break;
            case 4: predicted = png::Paeth(left, up, upLeft); break;
        }
        Out[i] = uint8_t(Row[i] - predicted);
    }
}

// The score of a filtered row of N bytes (type byte included) for the adaptive choice: few
// distinct byte values and a few values taking most of the row score high. -1 means: take this
// filter at once.
int64_t FilterScore(const uint8_t* Filtered, size_t N, int32_t PixelBits) {
    uint32_t counts[256] = {};
    for (size_t i = 0; i < N; ++i) ++counts[Filtered[i]];
    uint32_t distinct = 0, m1 = 0, m2 = 0, m3 = 0;
    for (const uint32_t c : counts) {
        if (c == 0) continue;
        ++distinct;
        if (c > m1) {
            m3 = m2, m2 = m1, m1 = c;
        } else if (c > m2) {
            m3 = m2, m2 = c;
        } else if (c > m3) {
            m3 = c;
        }
    }
    if (distinct <= 8 || uint64_t(m1) * 100 / N >= 90) return -1;
    const double n = double(N);
    if (PixelBits >= 8) return int64_t(n / 1.5 / distinct * 1000 + double(m1 + m2 + m3) / n * 1000);
    return int64_t(n / 1.5 / distinct * 1500 + double(m1 + m2) / n * 1000);
}

// Deflates filtered rows into image-data chunks of a fixed size.
class TImageDataWriter {
public:
    TImageDataWriter(int32_t Level, int32_t ChunkSize, std::function<void(const uint8_t*, size_t)> Chunk)
        : chunk_(std::move(Chunk)), out_(size_t(ChunkSize)) {
        if (deflateInit(&z_, Level >= 0 && Level <= 9 ? Level : Z_DEFAULT_COMPRESSION) != Z_OK)
            throw EPngError(kWriteError);
        Rewind();
    }
    ~TImageDataWriter() { deflateEnd(&z_); }
    TImageDataWriter(const TImageDataWriter&) = delete;
    TImageDataWriter& operator=(const TImageDataWriter&) = delete;

    void Write(const uint8_t* Data, size_t Count) {
        z_.next_in = const_cast<uint8_t*>(Data);
        z_.avail_in = uInt(Count);
        while (z_.avail_in > 0) Deflate(Z_NO_FLUSH);
    }

    void Finish() {
        while (Deflate(Z_FINISH) != Z_STREAM_END) {
        }
        if (z_.avail_out < out_.size()) chunk_(out_.data(), out_.size() - z_.avail_out);
    }

private:
    z_stream z_{};
    std::function<void(const uint8_t*, size_t)> chunk_;
    std::vector<uint8_t> out_;

    void Rewind() {
        z_.next_out = out_.data();
        z_.avail_out = uInt(out_.size());
    }
    int Deflate(int Flush) {
        const int result = deflate(&z_, Flush);
        if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) throw EPngError(kWriteError);
        if (z_.avail_out == 0) {
            chunk_(out_.data(), out_.size());
            Rewind();
        }
        return result;
    }
};

// Whether the seven bytes make a time worth writing.
bool ValidTime(const std::array<uint8_t, 7>& T) {
    return (T[0] | T[1]) != 0 && T[2] >= 1 && T[2] <= 12 && T[3] >= 1 && T[3] <= 31 && T[4] < 24 && T[5] < 60 &&
           T[6] < 61;
}

// A tEXt chunk's data: the keyword, a 0 byte, the text.
std::vector<uint8_t> TextChunk(const std::string& Keyword, const std::string& Text) {
    return TChunkData().Text(Keyword).Byte(0).Text(Text).Bytes;
}

}  // namespace

std::array<uint8_t, 7> TPngWriteStream::CurrentTime() {
    const platform::DateTime now = platform::UtcNow();
    return {uint8_t(now.year >> 8), uint8_t(now.year), uint8_t(now.month), uint8_t(now.day),
            uint8_t(now.hour),      uint8_t(now.minute), uint8_t(now.second)};
}

void TPngWriteStream::SaveStream(const TDIB& Bitmap, const TDIB* AlphaBitmap, TStream& Target) {
    if (IDATSize < kMinIDATSize || IDATSize > kMaxIDATSize)
        throw EPngError("Write PNG Param: Err IDAT Size(min:256  max:100000)");
    if (Bitmap.Empty()) throw EPngError(kWriteError);
    const bool usable = AlphaBitmap && AlphaBitmap != &Bitmap && !AlphaBitmap->Empty() &&
                        AlphaBitmap->BitCount() == 8 && AlphaBitmap->Width() == Bitmap.Width() &&
                        AlphaBitmap->Height() == Bitmap.Height();
    alpha_ = usable ? AlphaBitmap : nullptr;
    Open(Bitmap, Target);
    if (Stopped()) throw EPngError(kWriteError);
}

void TPngWriteStream::WriteChunk(uint32_t Type, const std::vector<uint8_t>& Data) {
    const uint8_t type[4] = {uint8_t(Type >> 24), uint8_t(Type >> 16), uint8_t(Type >> 8), uint8_t(Type)};
    uLong crc = crc32(crc32(0, Z_NULL, 0), type, 4);
    WriteDWord(uint32_t(Data.size()));
    WriteBuffer(type, 4);
    if (!Data.empty()) {
        crc = crc32(crc, Data.data(), uInt(Data.size()));
        WriteBuffer(Data.data(), int64_t(Data.size()));
    }
    WriteDWord(uint32_t(crc));
}

void TPngWriteStream::Encode() {
    const TDIB& bitmap = Bitmap();
    const TLayout layout = LayoutOf(bitmap, alpha_ != nullptr, Grey);
    const bool indexed = layout.ColourType == 3, greys = layout.ColourType == 0 || layout.ColourType == 4;
    const int32_t width = bitmap.Width(), height = bitmap.Height();
    const TRGBQuadTable& colours = bitmap.ImageColorTable();
    const std::array<uint8_t, 256> greyTable = layout.Indexed() ? GreyTable(bitmap, layout.SampleDepth)
                                                                : std::array<uint8_t, 256>{};
    // A colour $00BBGGRR or a marked index as the bitmap's entry, and as the bitmap's index.
    const auto colourOf = [&](int32_t V) -> TRGBQuad {
        if (V & png::kPaletteIndexColor) return colours[size_t(V & 0xFF)];
        return RGBQuad(uint8_t(V), uint8_t(V >> 8), uint8_t(V >> 16));
    };
    const auto indexOf = [&](int32_t V) -> int32_t {
        if (V & png::kPaletteIndexColor) return V & 0xFF;
        const TRGBQuad c = colourOf(V);
        return NearestPaletteIndex(colours.data(), bitmap.PaletteCount(), QuadRed(c), QuadGreen(c), QuadBlue(c));
    };
    const auto greyOf = [&](int32_t V) -> uint32_t {
        if (layout.Indexed() && (V & png::kPaletteIndexColor)) return greyTable[size_t(V & 0xFF)];
        return GreySample(colourOf(V), layout.SampleDepth);
    };
    // bKGD and tRNS in the form of the colour type.
    const auto keyChunk = [&](uint32_t Type, int32_t V) {
        TChunkData data;
        if (indexed) {
            const int32_t index = indexOf(V);
            if (index >= bitmap.PaletteCount()) return;
            if (Type == ChunkType("bKGD")) {
                data.Byte(uint32_t(index));
            } else {
                data.Bytes.assign(size_t(index) + 1, 255);
                data.Bytes.back() = 0;
            }
        } else if (greys) {
            data.Word(greyOf(V));
        } else {
            const TRGBQuad c = colourOf(V);
            data.Word(QuadRed(c)).Word(QuadGreen(c)).Word(QuadBlue(c));
        }
        WriteChunk(Type, data.Bytes);
    };

    ProgressBegin();
    ProgressStage(1, 30);
    WriteBuffer(png::kSignature.data(), int64_t(png::kSignature.size()));
    WriteChunk(ChunkType("IHDR"), TChunkData()
                                      .DWord(uint32_t(width))
                                      .DWord(uint32_t(height))
                                      .Byte(layout.SampleDepth)
                                      .Byte(layout.ColourType)
                                      .Byte(0)
                                      .Byte(0)
                                      .Byte(Interlace == 1)
                                      .Bytes);
    if (const std::array<uint8_t, 7> time = WriteCurrentTime ? CurrentTime() : Time; ValidTime(time))
        WriteChunk(ChunkType("tIME"), std::vector<uint8_t>(time.begin(), time.end()));
    if (!Comment.empty()) WriteChunk(ChunkType("tEXt"), TextChunk("Comment", Comment));
    WriteChunk(ChunkType("tEXt"), TextChunk("Software", kSoftware));
    WriteChunk(kPrivateChunk, TChunkData().Text("PNP3").DWord(0).Bytes);
    if (GifData[0] || GifData[1] || GifData[2])
        WriteChunk(ChunkType("gIFg"), std::vector<uint8_t>(GifData.begin(), GifData.end()));
    if (const double gamma = Gamma * 100000; gamma >= 1 && gamma < 4294967296.0)
        WriteChunk(ChunkType("gAMA"), TChunkData().DWord(uint32_t(gamma)).Bytes);
    if (Chromaticities[0] != 0 && Chromaticities[1] > 0) {
        TChunkData data;
        for (const uint32_t v : Chromaticities) data.DWord(v);
        WriteChunk(ChunkType("cHRM"), data.Bytes);
    }
    uint32_t significant = SignificantBits;
    if (layout.SourceDepth == 15 || layout.SourceDepth == 16)
        significant = (layout.SourceDepth == 15 ? 0x050505 : 0x050605) | (layout.WithAlpha ? 0x08000000 : 0);
    if (significant != 0 && !greys) {
        TChunkData data;
        for (int i = 0; i < (layout.ColourType == 6 ? 4 : 3); ++i) data.Byte(significant >> 8 * i);
        WriteChunk(ChunkType("sBIT"), data.Bytes);
    }
    if (indexed) {
        TChunkData data;
        for (int32_t i = 0; i < bitmap.PaletteCount(); ++i)
            data.Byte(QuadRed(colours[size_t(i)])).Byte(QuadGreen(colours[size_t(i)])).Byte(QuadBlue(colours[size_t(i)]));
        WriteChunk(ChunkType("PLTE"), data.Bytes);
    }
    if (Background != -1) keyChunk(ChunkType("bKGD"), Background);
    if (TransparentColour != -1 && !layout.WithAlpha) keyChunk(ChunkType("tRNS"), TransparentColour);
    if (PhysicalSize.X >= 1 && PhysicalSize.Y >= 1) {
        const bool inch = PhysicalSize.Unit == 2;
        const auto perMetre = [&](int32_t V) {
            return inch ? uint32_t(std::min(double(V) * 100 / 254 * 100, double(INT32_MAX))) : uint32_t(V);
        };
        WriteChunk(ChunkType("pHYs"), TChunkData()
                                          .DWord(perMetre(PhysicalSize.X))
                                          .DWord(perMetre(PhysicalSize.Y))
                                          .Byte(inch ? 1 : PhysicalSize.Unit)
                                          .Bytes);
    }
    ReportCount(1);
    if (Stopped()) return;

    // The passes: the whole image, or Adam7's seven.
    std::vector<png::TPass> passes = {{0, 0, 1, 1}};
    if (Interlace == 1) passes.assign(png::kAdam7.begin(), png::kAdam7.end());
    const auto passWidth = [&](const png::TPass& P) { return P.X < width ? (width - P.X + P.DX - 1) / P.DX : 0; };
    const auto passHeight = [&](const png::TPass& P) { return P.Y < height ? (height - P.Y + P.DY - 1) / P.DY : 0; };
    int64_t rows = 0;
    for (const png::TPass& p : passes)
        if (passWidth(p) > 0) rows += passHeight(p);
    ProgressStage(rows, 0);

    TImageDataWriter data(CompressionLevel, IDATSize, [this](const uint8_t* Data, size_t Count) {
        WriteChunk(ChunkType("IDAT"), std::vector<uint8_t>(Data, Data + Count));
    });
    TRowSource source(bitmap, alpha_, layout, greyTable);
    const size_t fullBytes = layout.RowBytes(width), bpp = size_t(layout.FilterBytes());
    std::vector<uint8_t> full(fullBytes), row(fullBytes), prior(fullBytes), zeros(fullBytes);
    std::array<std::vector<uint8_t>, 5> filtered;
    for (auto& f : filtered) f.resize(fullBytes + 1);
    const int fixedFilter = FilterMode >= 1 && FilterMode <= 5 ? FilterMode - 1 : 0;
    int64_t done = 0;
    for (const png::TPass& p : passes) {
        const int32_t pw = passWidth(p), ph = passHeight(p);
        if (pw == 0) continue;
        const size_t n = layout.RowBytes(pw);
        for (int32_t i = 0; i < ph; ++i) {
            if (p.DX == 1) {
                source.Row(p.Y + i * p.DY, row.data());
            } else {
                source.Row(p.Y + i * p.DY, full.data());
                for (int32_t x = 0; x < pw; ++x)
                    StorePixel(row.data(), x, layout.PixelBits, LoadPixel(full.data(), p.X + x * p.DX, layout.PixelBits));
            }
            const uint8_t* above = i == 0 ? zeros.data() : prior.data();
            int chosen = fixedFilter;
            if (FilterMode == 0) {
                chosen = 0;
                int64_t best = -1;
                const int tried = layout.SourceDepth == 4 ? 1 : 5;
                for (int type = 0; type < tried; ++type) {
                    FilterRow(type, row.data(), above, n, bpp, filtered[size_t(type)].data());
                    if (tried == 1) break;
                    int64_t score = FilterScore(filtered[size_t(type)].data(), n + 1, layout.PixelBits);
                    if (score < 0) {
                        chosen = type;
                        break;
                    }
                    if (type == 0 && (layout.SourceDepth == 1 || layout.SourceDepth == 8)) score *= 2;
                    if (score > best) best = score, chosen = type;
                }
            } else {
                FilterRow(chosen, row.data(), above, n, bpp, filtered[size_t(chosen)].data());
            }
            data.Write(filtered[size_t(chosen)].data(), n + 1);
            if (Stopped()) return;
            std::swap(row, prior);
            ReportCount(++done);
        }
    }
    data.Finish();
    WriteChunk(ChunkType("IEND"), {});
    ProgressEnd();
}
