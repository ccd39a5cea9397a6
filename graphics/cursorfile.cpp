#include "graphics/cursorfile.h"

#include "graphics/graphic.h"
#include "graphics/pngpics.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

const char kInvalidCursor[] = "不正なカーソルファイルです";
const char kPngCursor[] = "PNG 形式で格納されたカーソル画像は読めません";

constexpr int32_t kMaxCursorSide = 256;
constexpr int64_t kDirEntrySize = 16;
// No image of at most 256 x 256 pixels, with its header, colour table and mask, comes near this.
constexpr int64_t kMaxImageResource = int64_t(1) << 20;

uint16_t Get16(const uint8_t* P) { return uint16_t(P[0] | P[1] << 8); }
uint32_t Get32(const uint8_t* P) { return P[0] | P[1] << 8 | P[2] << 16 | uint32_t(P[3]) << 24; }

[[noreturn]] void Invalid() { throw EInvalidGraphic(kInvalidCursor); }

// The bytes [At, At + Count) of Stream, which must lie before End.
std::vector<uint8_t> ReadRange(TStream& Stream, int64_t At, int64_t Count, int64_t End) {
    if (At < 0 || Count < 0 || At > End || Count > End - At) Invalid();
    std::vector<uint8_t> bytes(static_cast<size_t>(Count));
    Stream.SetPosition(At);
    if (Stream.Read(bytes.data(), Count) != Count) Invalid();
    return bytes;
}

// The 32 x 32 entry when there is one, else the largest; the first of equals.
const TIconEntry& ChooseEntry(const std::vector<TIconEntry>& Entries) {
    const TIconEntry* best = &Entries.front();
    for (const TIconEntry& e : Entries) {
        if (e.Width == 32 && e.Height == 32) return e;
        if (int64_t(e.Width) * e.Height > int64_t(best->Width) * best->Height) best = &e;
    }
    return *best;
}

// The colour of pixel X of a colour row as 0x00RRGGBB, and its fourth byte at 32 bits.
uint32_t RowColour(const uint8_t* Row, int32_t X, int Bits, const std::vector<uint32_t>& Palette, uint8_t& Fourth) {
    Fourth = 0;
    uint32_t index;
    switch (Bits) {
        case 1: index = Row[X >> 3] >> (7 - (X & 7)) & 1; break;
        case 4: index = Row[X >> 1] >> ((X & 1) ? 0 : 4) & 15; break;
        case 8: index = Row[X]; break;
        case 24: return Row[X * 3] | Row[X * 3 + 1] << 8 | uint32_t(Row[X * 3 + 2]) << 16;
        default:
            Fourth = Row[X * 4 + 3];
            return Get32(Row + X * 4) & 0xFFFFFF;
    }
    // An index past a short colour table reads as black.
    return index < Palette.size() ? Palette[index] : 0;
}

// The picture of one image: a masked pixel is transparent, or opaque black where it would
// invert the screen; the alpha bytes of a 32-bit image count unless they are all 0.
TCursorImage DecodeImage(const TIconImage& Icon) {
    if (Icon.Bits == 16) Invalid();
    TCursorImage image;
    image.Width = Icon.Width;
    image.Height = Icon.Height;
    image.Pixels.resize(static_cast<size_t>(Icon.Width) * Icon.Height);
    for (int32_t y = 0; y < Icon.Height; ++y) {
        const uint8_t* row = Icon.ColourRowAt(y);
        for (int32_t x = 0; x < Icon.Width; ++x) {
            uint8_t fourth;
            const uint32_t colour = RowColour(row, x, Icon.Bits, Icon.Palette, fourth);
            image.Pixels[static_cast<size_t>(y) * Icon.Width + x] =
                !Icon.Masked(x, y) ? colour | uint32_t(Icon.AlphaBytes ? fourth : 255) << 24
                : Icon.AlphaBytes || colour == 0 ? 0 : 0xFF000000;
        }
    }
    return image;
}

bool IsPng(const std::vector<uint8_t>& Resource) {
    return Resource.size() >= png::kSignature.size() &&
           std::equal(png::kSignature.begin(), png::kSignature.end(), Resource.begin());
}

// The picture of an image stored as PNG: its colours, and its alpha (from the alpha channel or
// the palette's alpha table, or 0 for the transparent colour).
TCursorImage DecodePngImage(const std::vector<uint8_t>& Resource) {
    TMemoryStream stream;
    stream.WriteBuffer(Resource.data(), static_cast<int64_t>(Resource.size()));
    stream.SetPosition(0);
    TPngReadStream header;
    header.LoadStream(nullptr, nullptr, stream);
    if (header.Width() < 1 || header.Width() > kMaxCursorSide || header.Height() < 1 || header.Height() > kMaxCursorSide)
        Invalid();
    stream.SetPosition(0);
    TPngReadStream reader;
    TDIB bitmap, alpha;
    reader.LoadStream(&bitmap, &alpha, stream);
    if (bitmap.Empty()) Invalid();
    const bool alphaBitmap = reader.HasAlpha && !alpha.Empty();
    const int32_t key = reader.TransparentColour;
    const bool grey = reader.IsGrey || key & png::kPaletteIndexColor;
    TCursorImage image;
    image.Width = bitmap.Width();
    image.Height = bitmap.Height();
    image.Pixels.resize(static_cast<size_t>(image.Width) * image.Height);
    for (int32_t y = 0; y < image.Height; ++y) {
        uint32_t* row = image.Pixels.data() + static_cast<size_t>(y) * image.Width;
        bitmap.RowColors(y, row);
        for (int32_t x = 0; x < image.Width; ++x) {
            // A colour key is $00BBGGRR; a grey or palette key holds the pixel's index.
            const uint32_t c = row[x];
            const bool keyed = key >= 0 && (grey ? bitmap.GetPixel(x, y) == uint32_t(key & 0xFF)
                                                 : ((c >> 16 & 0xFF) | (c & 0xFF00) | (c & 0xFF) << 16) == uint32_t(key));
            const uint32_t opacity = alphaBitmap ? 255 - alpha.GetPixel(x, y) : keyed ? 0 : 255;
            row[x] = (c & 0xFFFFFF) | opacity << 24;
        }
    }
    return image;
}

// The stored image of an entry (no larger than any image of at most 256 x 256 pixels can be).
std::vector<uint8_t> ReadIconResource(TStream& Stream, const TIconEntry& Entry, int64_t Start, int64_t End) {
    if (Entry.Bytes > kMaxImageResource) Invalid();
    return ReadRange(Stream, Start + Entry.Offset, Entry.Bytes, End);
}

// A BITMAPINFOHEADER whose height counts the colour and the mask rows, the colour table, the
// colour rows and the mask rows, all bottom-up.
TIconImage ParseIconImage(std::vector<uint8_t> Resource) {
    TIconImage image;
    image.Resource = std::move(Resource);
    const std::vector<uint8_t>& res = image.Resource;
    const int64_t size = static_cast<int64_t>(res.size());
    if (size < 40) Invalid();
    const uint8_t* p = res.data();
    const int64_t headerSize = Get32(p);
    const int32_t width = static_cast<int32_t>(Get32(p + 4)), fullHeight = static_cast<int32_t>(Get32(p + 8));
    const int bits = Get16(p + 14);
    const uint32_t compression = Get32(p + 16), used = Get32(p + 32);
    if (headerSize < 40 || headerSize > size || compression != 0) Invalid();
    if (width < 1 || width > kMaxCursorSide || fullHeight < 2 || fullHeight > 2 * kMaxCursorSide) Invalid();
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) Invalid();
    image.Width = width;
    image.Height = fullHeight / 2;
    image.Bits = bits;
    const int64_t entries = bits <= 8 && used == 0 ? int64_t(1) << bits : used;
    if (bits <= 8 && entries > int64_t(1) << bits) Invalid();
    image.ColourRow = DIBWidthBytes(width, bits);
    image.MaskRow = DIBWidthBytes(width, 1);
    image.ColourStart = headerSize + entries * 4;
    image.MaskStart = image.ColourStart + image.ColourRow * image.Height;
    if (image.MaskStart + image.MaskRow * image.Height > size) Invalid();
    if (bits <= 8)
        for (int64_t i = 0; i < entries; ++i) image.Palette.push_back(Get32(p + headerSize + i * 4) & 0xFFFFFF);
    if (bits == 32)
        for (int32_t y = 0; y < image.Height && !image.AlphaBytes; ++y)
            for (int32_t x = 0; x < width; ++x) image.AlphaBytes |= image.ColourRowAt(y)[4 * x + 3] != 0;
    return image;
}

// An icon or cursor file in [Start, End) of Stream; offsets count from Start. An image stored as
// PNG goes through the PNG reader.
TCursorImage ReadIconFile(TStream& Stream, int64_t Start, int64_t End) {
    const TIconDirectory dir = ReadIconDirectory(Stream, Start, End);
    const TIconEntry& chosen = ChooseEntry(dir.Entries);
    std::vector<uint8_t> resource = ReadIconResource(Stream, chosen, Start, End);
    TCursorImage image = IsPng(resource) ? DecodePngImage(resource) : DecodeImage(ParseIconImage(std::move(resource)));
    const bool cursor = dir.Type == 2;
    image.HotX = cursor ? std::min(chosen.HotX, image.Width - 1) : image.Width / 2;
    image.HotY = cursor ? std::min(chosen.HotY, image.Height - 1) : image.Height / 2;
    return image;
}

struct TChunk {
    std::string Id;
    int64_t Data, Size;  // where its data starts, and its length
};

// The header of the chunk at At, before End; its data may run past End.
TChunk ReadChunkHeader(TStream& Stream, int64_t At, int64_t End) {
    const std::vector<uint8_t> header = ReadRange(Stream, At, 8, End);
    return {std::string(header.begin(), header.begin() + 4), At + 8, Get32(header.data() + 4)};
}

// The chunk whose header is at At, lying wholly before End.
TChunk ReadChunk(TStream& Stream, int64_t At, int64_t End) {
    const TChunk chunk = ReadChunkHeader(Stream, At, End);
    if (chunk.Size > End - chunk.Data) Invalid();
    return chunk;
}

// The next chunk after Chunk (chunks are padded to even lengths).
int64_t NextChunk(const TChunk& Chunk) { return Chunk.Data + Chunk.Size + (Chunk.Size & 1); }

// The four characters a RIFF or LIST chunk's data starts with (its form or list type).
std::string FormType(TStream& Stream, const TChunk& Chunk) {
    if (Chunk.Size < 4) Invalid();
    const std::vector<uint8_t> type = ReadRange(Stream, Chunk.Data, 4, Chunk.Data + 4);
    return std::string(type.begin(), type.end());
}

// An animated cursor ("RIFF" of form "ACON"): the first "icon" chunk of its "fram" list. Many
// files state a RIFF size a few bytes past their end (the file length, or that less 4, instead of
// less 8): the RIFF ends with the file at the latest, and only the chunks inside must fit.
TCursorImage ReadAnimatedCursor(TStream& Stream, int64_t Start, int64_t End) {
    TChunk riff = ReadChunkHeader(Stream, Start, End);
    riff.Size = std::min(riff.Size, End - riff.Data);
    if (riff.Id != "RIFF" || FormType(Stream, riff) != "ACON") Invalid();
    const int64_t riffEnd = riff.Data + riff.Size;
    for (int64_t at = riff.Data + 4; at < riffEnd;) {
        const TChunk chunk = ReadChunk(Stream, at, riffEnd);
        at = NextChunk(chunk);
        if (chunk.Id != "LIST" || chunk.Size < 4 || FormType(Stream, chunk) != "fram") continue;
        const int64_t listEnd = chunk.Data + chunk.Size;
        for (int64_t frame = chunk.Data + 4; frame < listEnd;) {
            const TChunk icon = ReadChunk(Stream, frame, listEnd);
            if (icon.Id == "icon") return ReadIconFile(Stream, icon.Data, icon.Data + icon.Size);
            frame = NextChunk(icon);
        }
    }
    Invalid();
}

}  // namespace

TIconDirectory ReadIconDirectory(TStream& Stream, int64_t Start, int64_t End) {
    const std::vector<uint8_t> head = ReadRange(Stream, Start, 6, End);
    const uint16_t type = Get16(head.data() + 2), count = Get16(head.data() + 4);
    if (Get16(head.data()) != 0 || (type != 1 && type != 2) || count == 0) Invalid();
    const std::vector<uint8_t> raw = ReadRange(Stream, Start + 6, count * kDirEntrySize, End);
    TIconDirectory dir;
    dir.Type = type;
    for (int i = 0; i < count; ++i) {
        const uint8_t* e = raw.data() + i * kDirEntrySize;
        dir.Entries.push_back({e[0] ? e[0] : 256, e[1] ? e[1] : 256, Get16(e + 4), Get16(e + 6), Get32(e + 8), Get32(e + 12)});
    }
    return dir;
}

TIconImage ReadIconImage(TStream& Stream, const TIconEntry& Entry, int64_t Start, int64_t End) {
    std::vector<uint8_t> resource = ReadIconResource(Stream, Entry, Start, End);
    if (IsPng(resource)) throw EInvalidGraphic(kPngCursor);
    return ParseIconImage(std::move(resource));
}

TCursorImage ReadCursorFile(TStream& Stream) {
    const int64_t start = Stream.Position(), end = Stream.Size();
    const std::vector<uint8_t> magic = ReadRange(Stream, start, std::min<int64_t>(4, end - start), end);
    if (magic.size() == 4 && std::memcmp(magic.data(), "RIFF", 4) == 0) return ReadAnimatedCursor(Stream, start, end);
    return ReadIconFile(Stream, start, end);
}
