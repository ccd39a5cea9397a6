// Image files of the drawing surfaces: BMP, PNG and Mira pictures copied in at the surface's own
// depth, and the surface written out as a 24-bit BMP file.
#include "core/header.h"
#include "core/sysutils.h"
#include "graphics/dibx.h"
#include "graphics/miras.h"
#include "graphics/pngpics.h"
#include "platform/fs.h"

#include <array>
#include <cstring>

namespace {

bool IsBitmapFileName(const std::string& FileName) { return AnsiSameText(ExtractFileExt(FileName), ".bmp"); }

// Whether the Size bytes at Offset from the beginning of Stream are Signature; the stream is left
// after what was read.
bool HasSignature(TStream& Stream, int64_t Offset, const char* Signature) {
    const int64_t size = int64_t(std::strlen(Signature));
    std::array<char, 8> bytes{};
    Stream.Seek(Offset, soBeginning);
    return Stream.Read(bytes.data(), size) == size && std::memcmp(bytes.data(), Signature, size_t(size)) == 0;
}

}  // namespace

TDIB ColorsOf(TCustomDIBX& Surface) {
    TDIB out;
    out.SetSize(Surface.GetWidth(), Surface.GetHeight(), 24);
    if (out.Empty()) return out;
    const uint8_t* top = Surface.Lock(0, 0);
    if (!top) return out;
    const int bits = Surface.GetBitCount() == 15 ? 16 : Surface.GetBitCount();
    TRGBQuadTable table{};
    if (bits <= 8) Surface.GetColorTable(table.data());
    const TMaskLayout layout = MaskLayout(Surface.GetRBitMask(), Surface.GetGBitMask(), Surface.GetBBitMask());
    for (int32_t y = 0; y < out.Height(); ++y) {
        const uint8_t* in = top + ptrdiff_t(y) * Surface.GetNextLine();
        uint8_t* row = out.ScanLine(y);
        for (int32_t x = 0; x < out.Width(); ++x) {
            const uint32_t pixel = LoadPixel(in, x, bits);
            StorePixel(row, x, 24, bits <= 8 ? table[pixel & 0xFF] : layout.Unpack(pixel));
        }
    }
    Surface.Unlock();
    return out;
}

void TCustomDIBX::LoadFromBitmapFile(const std::string& FileName) {
    if (!platform::fs::FileExists(FileName) || !IsBitmapFileName(FileName)) return;
    TDIB dib;
    TFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
    dib.LoadFromStream(file);
    if (!dib.Empty()) CopyToDIBX(dib, *this);
}

void TCustomDIBX::LoadFromStream(TStream* Stream, uint32_t Code) {
    if (!Stream) return;
    if (HasSignature(*Stream, 0, "BM")) {
        TDIB dib;
        Stream->SetPosition(0);
        dib.LoadFromStream(*Stream);
        if (!dib.Empty()) CopyToDIBX(dib, *this);
    } else if (HasSignature(*Stream, 1, "PNG")) {
        TPngPicture png;
        Stream->SetPosition(0);
        png.LoadFromStream(*Stream);
        TDIB bitmap;
        png.AssignTo(bitmap);
        if (!bitmap.Empty()) CopyToDIBX(bitmap, *this);
    } else if (HasSignature(*Stream, 0, "Mira")) {
        TMiraFrameList list(Code);
        Stream->SetPosition(0);
        list.LoadFromStream(*Stream, true, false, false);
        CopyToDIBX(list.GetFrame(0)->Image, *this);
    }
}

void TCustomDIBX::SaveToFile(const std::string& FileName) {
    if (!IsBitmapFileName(FileName)) return;
    const TDIB bitmap = ColorsOf(*this);
    WriteFileReplacing(FileName, [&](TStream& Stream) { bitmap.SaveToStream(Stream); });
}
