// Image files of the image surface: Truevision (TGA) files, icons and cursors, and BMP files
// chosen by the file's extension.
#include "core/header.h"
#include "core/sysutils.h"
#include "graphics/cursorfile.h"
#include "graphics/dibsfc.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

const char kBadTGA[] = "不正な TGA ファイルです";

[[noreturn]] void BadTGA() { throw EInvalidGraphic(kBadTGA); }

uint16_t Get16(const uint8_t* P) { return uint16_t(P[0] | P[1] << 8); }
uint32_t Get32(const uint8_t* P) { return P[0] | P[1] << 8 | P[2] << 16 | uint32_t(P[3]) << 24; }

void Put16(std::string& S, uint32_t V) { S += char(V & 0xFF), S += char(V >> 8 & 0xFF); }
void Put32(std::string& S, uint32_t V) { Put16(S, V & 0xFFFF), Put16(S, V >> 16); }

// 5-5-5 to 5-6-5: red and green move up one bit, and green's new low bit repeats its old one.
uint16_t Widen555(uint16_t W) { return uint16_t((W & 0x1F) | (W & 0x7FE0) << 1 | (W & 0x20)); }
uint16_t Narrow565(uint16_t W) { return uint16_t((W & 0x1F) | (W & 0x7C0) >> 1 | (W & 0xF800) >> 1); }

// The bytes of a file, taken in order up to End; taking more raises.
struct TReader {
    const std::vector<uint8_t>& Data;
    int64_t Pos, End;
    const uint8_t* Take(int64_t Count) {
        if (Count < 0 || Count > End - Pos) BadTGA();
        Pos += Count;
        return Data.data() + Pos - Count;
    }
};

// Where the image data ends: at the developer area, else at the extension area, when a footer
// names them; else at the end of the file.
int64_t TGADataEnd(const std::vector<uint8_t>& File) {
    const int64_t size = int64_t(File.size());
    int64_t dot = size - 1;
    while (dot >= 0 && File[size_t(dot)] == 0) --dot;
    if (dot < 24 || File[size_t(dot)] != '.' || std::memcmp(&File[size_t(dot - 16)], "TRUEVISION-XFILE", 16) != 0)
        return size;
    const uint32_t extension = Get32(&File[size_t(dot - 24)]), developer = Get32(&File[size_t(dot - 20)]);
    return std::min<int64_t>(developer ? developer : extension ? extension : size, size);
}

// A colour-map entry of 15/16 (5-5-5, low bits filled from bit 3), 24 or 32 bits.
TRGBQuad MapEntry(const uint8_t* P, int Bits) {
    if (Bits >= 24) return RGBQuad(P[2], P[1], P[0]);
    const uint32_t w = Get16(P);
    auto fill = [](uint32_t C) { return uint8_t(C & 8 ? C | 7 : C); };
    return RGBQuad(fill((w & 0x7C00) >> 7), fill((w & 0x3E0) >> 2), fill((w & 31) << 3));
}

void ReadTGA(TDIBSurface& S, TStream& Stream) {
    std::vector<uint8_t> file(size_t(Stream.Remaining()));
    Stream.ReadBuffer(file.data(), int64_t(file.size()));
    TReader in{file, 0, int64_t(file.size())};
    const uint8_t* h = in.Take(18);
    const int type = h[2], mapType = h[1], mapEntryBits = h[7], descriptor = h[17];
    const int32_t mapFirst = Get16(h + 3), mapLength = Get16(h + 5), width = Get16(h + 12), height = Get16(h + 14);
    const int depth = h[16];
    if (type != 1 && type != 2 && type != 3 && type != 9 && type != 10 && type != 11) return;
    const bool mapped = (type & 7) != 2;
    if (mapped ? depth != 8 : depth != 15 && depth != 16 && depth != 24 && depth != 32) BadTGA();
    const int bytes = depth == 15 ? 2 : depth / 8;
    in.Take(h[0]);

    // Entries past index 255 are passed over; a grey image without a map gets a grey table.
    S.ColorTable = MakeGreyColorTable();
    if (mapType != 0 && mapLength * mapEntryBits != 0) {
        const int entryBytes = (mapEntryBits + 7) / 8;
        const uint8_t* map = in.Take(int64_t(mapLength) * entryBytes);
        if (mapEntryBits >= 15 && mapEntryBits <= 32)
            for (int32_t i = 0; i < mapLength && mapFirst + i < 256; ++i)
                S.ColorTable[size_t(mapFirst + i)] = MapEntry(map + i * entryBytes, mapEntryBits);
    }

    // The data must be able to hold the pixels before any are allocated: raw rows byte for
    // byte, run-length packets at most 128 pixels from 1 + bytes bytes.
    CheckImageSize(width, height, depth);
    const int64_t pixels = int64_t(width) * height;
    const bool packed = type >= 9;
    const int64_t dataEnd = packed ? std::max(TGADataEnd(file), in.Pos) : in.End;
    if (packed ? pixels > (dataEnd - in.Pos) / (1 + bytes) * 128 + 128 : pixels * bytes > dataEnd - in.Pos) BadTGA();
    S.SetSize(width, height, depth == 15 ? 16 : depth);
    S.UpdatePalette();

    // Pixel N of the file goes to row N / width (row 0 the top one).
    auto put = [&](int64_t N, const uint8_t* P) {
        uint8_t* to = S.ScanLine(int32_t(N / width)) + N % width * bytes;
        if (bytes == 2) {
            const uint16_t w = Widen555(Get16(P));
            to[0] = uint8_t(w), to[1] = uint8_t(w >> 8);
        } else {
            std::memcpy(to, P, size_t(bytes));
        }
    };
    if (packed) {
        in.End = dataEnd;
        for (int64_t done = 0; done < pixels;) {
            const uint8_t head = *in.Take(1);
            const int64_t count = std::min<int64_t>((head & 0x7F) + 1, pixels - done);
            if (head & 0x80) {
                const uint8_t* p = in.Take(bytes);
                for (int64_t i = 0; i < count; ++i) put(done++, p);
            } else {
                const uint8_t* p = in.Take(count * bytes);
                for (int64_t i = 0; i < count; ++i) put(done++, p + i * bytes);
            }
        }
    } else {
        for (int64_t n = 0; n < pixels; ++n) put(n, in.Take(bytes));
    }
    const int origin = descriptor & 0x30;
    if (origin == 0x10 || origin == 0x30) S.MirrorX();
    if (origin == 0x00 || origin == 0x10) S.FlipY();
}

// The first image of an icon or cursor file, or a BMP file.
void ReadIcon(TDIBSurface& S, TStream& Stream) {
    const int64_t start = Stream.Position(), end = Stream.Size();
    char magic[2] = {};
    if (Stream.Read(magic, 2) == 2 && magic[0] == 'B' && magic[1] == 'M') {
        Stream.SetPosition(start);
        return S.TDIB::LoadFromStream(Stream);
    }
    const TIconDirectory dir = ReadIconDirectory(Stream, start, end);
    const TIconImage icon = ReadIconImage(Stream, dir.Entries.front(), start, end);
    S.ColorTable = {};
    std::copy(icon.Palette.begin(), icon.Palette.end(), S.ColorTable.begin());
    S.SetSize(icon.Width, icon.Height, icon.Bits == 16 ? 15 : icon.Bits == 32 ? 24 : icon.Bits);
    S.UpdatePalette();
    const bool withAlpha = icon.Bits == 32 || icon.Bits == 1;
    if (withAlpha) S.NeedAlpha();
    for (int32_t y = 0; y < icon.Height; ++y) {
        const uint8_t* from = icon.ColourRowAt(y);
        uint8_t* to = S.ScanLine(y);
        if (icon.Bits != 32) std::memcpy(to, from, size_t(icon.ColourRow));
        if (!withAlpha) continue;
        uint8_t* alpha = S.Alpha->ScanLine(y);
        for (int32_t x = 0; x < icon.Width; ++x) {
            if (icon.Bits == 32) std::memcpy(to + 3 * x, from + 4 * x, 3);
            alpha[x] = icon.Masked(x, y) ? 0 : icon.AlphaBytes ? from[4 * x + 3] : 255;
        }
    }
    if (withAlpha) return;

    uint32_t key = S.RGBToPixel(0xFF, 0, 0xFF);
    if (icon.Bits <= 8) {
        std::vector<bool> used(size_t(S.PaletteCount()));
        for (int32_t y = 0; y < icon.Height; ++y)
            for (int32_t x = 0; x < icon.Width; ++x)
                if (!icon.Masked(x, y)) used[S.GetPixel(x, y)] = true;
        const auto free = std::find(used.begin(), used.end(), false);
        if (free != used.end()) {
            key = uint32_t(free - used.begin());
            S.ColorTable = S.ImageColorTable();
            S.ColorTable[key] = TRGBQuad(kIconKey);
            S.UpdatePalette();
        }
    }
    for (int32_t y = 0; y < icon.Height; ++y)
        for (int32_t x = 0; x < icon.Width; ++x)
            if (icon.Masked(x, y)) S.SetPixel(x, y, key);
}

// Runs Load on the cleared surface; a failure leaves it empty.
template <class F>
void LoadCleared(TDIBSurface& S, F Load) {
    S.Clear();
    try {
        Load();
    } catch (...) {
        S.Clear();
        throw;
    }
}

}  // namespace

void TDIBSurface::LoadTGA(TStream& Stream) {
    LoadCleared(*this, [&] { ReadTGA(*this, Stream); });
}

void TDIBSurface::LoadIcon(TStream& Stream) {
    LoadCleared(*this, [&] { ReadIcon(*this, Stream); });
}

void TDIBSurface::LoadFromFile(const std::string& FileName) {
    LoadCleared(*this, [&] {
        TFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
        const std::string ext = AnsiLowerCase(ExtractFileExt(FileName));
        if (ext == ".tga") return ReadTGA(*this, file);
        if (ext == ".ico" || ext == ".cur") return ReadIcon(*this, file);
        TDIB::LoadFromStream(file);
    });
}

void TDIBSurface::SaveToFile(const std::string& FileName) const {
    const std::string ext = AnsiLowerCase(ExtractFileExt(FileName));
    WriteFileReplacing(FileName, [&](TStream& Stream) {
        if (ext == ".tga") return SaveTGA(Stream);
        if (ext == ".ico" || ext == ".cur") return SaveIcon(Stream, ext == ".cur");
        SaveToStream(Stream);
    });
}

void TDIBSurface::SaveTGA(TStream& Stream) const {
    if (Empty()) return;
    TDIBSurface wide;  // 1 and 4 bits are written as 8
    const TDIBSurface* source = this;
    if (BitCount() < 8) {
        wide.ColorTable = ImageColorTable();
        wide.SetSize(Width(), Height(), 8);
        wide.UpdatePalette();
        for (int32_t y = 0; y < Height(); ++y)
            for (int32_t x = 0; x < Width(); ++x) wide.SetPixel(x, y, GetPixel(x, y));
        source = &wide;
    }
    const int32_t bits = source->BitCount();
    const bool mapped = bits <= 8;
    std::string out;
    out += char(0), out += char(mapped ? 1 : 0), out += char(mapped ? 1 : 2);
    Put16(out, 0), Put16(out, mapped ? 1u << bits : 0), out += char(24);
    Put16(out, 0), Put16(out, 0), Put16(out, uint32_t(Width())), Put16(out, uint32_t(Height()));
    out += char(bits), out += char(0x20);
    if (mapped)
        for (int i = 0; i < 1 << bits; ++i) {
            const TRGBQuad c = source->ImageColorTable()[size_t(i)];
            out += char(QuadBlue(c)), out += char(QuadGreen(c)), out += char(QuadRed(c));
        }
    const bool narrow = source->GetBitCountEx() == 16;
    const size_t rowBytes = (size_t(Width()) * size_t(bits) + 7) / 8;
    for (int32_t y = 0; y < Height(); ++y) {
        const uint8_t* row = source->ScanLineReadOnly(y);
        if (!narrow) {
            out.append(reinterpret_cast<const char*>(row), rowBytes);
            continue;
        }
        for (int32_t x = 0; x < Width(); ++x) Put16(out, Narrow565(Get16(row + 2 * x)));
    }
    Put32(out, 0), Put32(out, 0);
    out.append("TRUEVISION-XFILE.", 17);
    out += char(0);
    Stream.WriteBuffer(out.data(), int64_t(out.size()));
}

void TDIBSurface::SaveIcon(TStream& Stream, bool IsCursor, int32_t HotX, int32_t HotY) const {
    if (Empty()) return;
    TDIBSurface copy;
    copy.AssignSurface(*this);
    if (copy.BitCount() == 16 || copy.BitCount() == 32) {
        copy.PixelFormat = MakeDIBColorFormat(8, 8, 8);
        copy.SetBitCount(24);
    }
    const int32_t bits = copy.BitCount(), height = copy.Height();
    const uint32_t maskRow = uint32_t(DIBWidthBytes(copy.Width(), 1));
    const uint32_t maskBytes = uint32_t(height) * maskRow;
    std::string info = copy.BitmapInfo();
    const std::string patch = [&] {
        std::string p;
        Put32(p, uint32_t(height) * 2), Put16(p, 1), Put16(p, uint32_t(bits)), Put32(p, 0);
        Put32(p, uint32_t(copy.Size()) + maskBytes);
        return p;
    }();
    info.replace(8, patch.size(), patch);
    std::string out;
    Put16(out, 0), Put16(out, IsCursor ? 2 : 1), Put16(out, 1);
    out += char(copy.Width() & 0xFF), out += char(height & 0xFF), out += char(bits < 8 ? 1 << bits : 0), out += char(0);
    Put16(out, IsCursor ? uint32_t(HotX) : 0), Put16(out, IsCursor ? uint32_t(HotY) : uint32_t(bits));
    Put32(out, uint32_t(info.size()) + uint32_t(copy.Size()) + maskBytes), Put32(out, 22);
    out += info;
    out.append(reinterpret_cast<const char*>(copy.PBitsReadOnly()), size_t(copy.Size()));
    out.append(maskBytes, char(0));
    Stream.WriteBuffer(out.data(), int64_t(out.size()));
}
