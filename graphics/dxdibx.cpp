#include "graphics/dxdibx.h"
#include "graphics/blendrow.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

namespace {

// Raw values of 2, 3 or 4 bytes, as stored.
uint32_t LoadPixel(const uint8_t* P, int Bytes) {
    uint32_t v = 0;
    std::memcpy(&v, P, size_t(Bytes));  // little-endian: the low bytes come first
    return v;
}

int FieldPosition(uint32_t Mask) { return Mask ? std::countr_zero(Mask) : 0; }

}  // namespace

// ---- TDxDIBX ----

TDxDIBX::TDxDIBX(platform::Display* ADisplay, int32_t ADisplayBitCount)
    : Display(ADisplay), DisplayBitCount(ADisplayBitCount), Surface(nullptr) {
    ClearColorCache();
}

TDxDIBX::TDxDIBX(platform::PixelSurface* ASurface) : Surface(ASurface) { ClearColorCache(); }

std::unique_ptr<TDxDIBX> TDxDIBX::CreateFromSurface(platform::PixelSurface& ASurface) {
    return std::unique_ptr<TDxDIBX>(new TDxDIBX(&ASurface));
}

TDxDIBX::~TDxDIBX() {
    ReleaseDC();
    if (LockCount > 0) Surface->unlock();
}

platform::PixelBuffer TDxDIBX::Describe() const {
    if (!Surface) return {nullptr, 0, 0, 0, 0, 0, 0, 0};
    return Surface->describe();
}

bool TDxDIBX::GetEmpty() const {
    const platform::PixelBuffer d = Describe();
    return !Surface || d.width < 1 || d.height < 1;
}

int TDxDIBX::GetBShift() const { return FieldPosition(GetBBitMask()); }
int TDxDIBX::GetGShift() const { return FieldPosition(GetGBitMask()); }
int TDxDIBX::GetRShift() const { return FieldPosition(GetRBitMask()); }

void TDxDIBX::SetSize(int32_t AWidth, int32_t AHeight, int BitCount) {
    if (Display) {
        FreeSurface();
        const bool indexed = BitCount == 1 || BitCount == 4 || BitCount == 8;
        const int bits = indexed ? BitCount : DisplayBitCount > 16 ? 32 : 16;
        if (AWidth > 0 && AHeight > 0) CheckImageSize(AWidth, AHeight, bits);
        std::unique_ptr<platform::PixelSurface> made = Display->createSurface(AWidth, AHeight, bits);
        if (!made) throw EVelaError("\"CreateSurface\" Failed");
        OwnSurface = std::move(made);
        Surface = OwnSurface.get();
        Palette = indexed;
    }
    ClearColorCache();
    TCustomDIBX::SetSize(AWidth, AHeight, BitCount);
}

void TDxDIBX::FreeSurface() {
    if (!OwnSurface) return;
    DC = {};
    if (LockCount > 0) OwnSurface->unlock();
    LockCount = 0;
    OwnSurface.reset();
    Surface = nullptr;
    Palette = false;
}

uint8_t* TDxDIBX::Lock(int32_t X, int32_t Y) { return LockAt(X, Y); }

void TDxDIBX::Unlock() { Release(); }

uint8_t* TDxDIBX::LockAt(int32_t X, int32_t Y) const {
    if (!Surface) return nullptr;
    if (LockCount == 0) {
        Locked = Surface->lock();
        if (!Locked.pixels) return nullptr;
    }
    ++LockCount;
    const int bits = GetBitCount();
    const ptrdiff_t column = bits == 1 ? X / 8 : bits == 4 ? X / 2 : ptrdiff_t(X) * BytesPerPixel();
    return Locked.pixels + ptrdiff_t(Y) * Locked.pitch + column;
}

TFrameRecord TDxDIBX::GetDC() {
    if (DC.Pixels) return DC;
    uint8_t* top = LockAt(0, 0);
    if (!top) return {};
    const platform::PixelBuffer d = Describe();
    DC = {top, d.width, d.height, d.pitch, d.bitCount, d.redMask, d.greenMask, d.blueMask, nullptr};
    if (d.bitCount <= 8) {
        GetColorTable(DCColorTable.data());
        DC.ColorTable = DCColorTable.data();
    }
    return DC;
}

void TDxDIBX::ReleaseDC() {
    if (!DC.Pixels) return;
    DC = {};
    Release();
}

void TDxDIBX::GetColorTable(TRGBQuad* Dest) const {
    if (Palette) GetColorTableEntries(Dest, 0, 1 << GetBitCount());
}

void TDxDIBX::GetColorTableEntries(TRGBQuad* Dest, int Start, int Count) const {
    if (Palette) Surface->getPalette(Start, Count, Dest);
}

void TDxDIBX::SetColorTable(const TRGBQuad* Source) {
    if (Palette) Surface->setPalette(0, 1 << GetBitCount(), Source);
}

void TDxDIBX::SetColorTableEntries(const TRGBQuad* Source, int Start, int Count) {
    if (Palette && !Surface->setPalette(Start, Count, Source)) throw EVelaError("FPalette.SetEntries Failed");
}

void TDxDIBX::Release() const {
    if (LockCount > 0 && --LockCount == 0) Surface->unlock();
}

uint32_t TDxDIBX::GetPixel(int32_t X, int32_t Y) const {
    if (X < 0 || Y < 0 || X >= GetWidth() || Y >= GetHeight() || GetBitCount() < 8) return 0;
    const uint8_t* p = LockAt(X, Y);
    if (!p) return 0;
    const uint32_t v = LoadPixel(p, BytesPerPixel());
    Release();
    return v;
}

void TDxDIBX::SetPixel(int32_t X, int32_t Y, uint32_t Value) {
    if (X < 0 || Y < 0 || X >= GetWidth() || Y >= GetHeight() || GetBitCount() < 8) return;
    uint8_t* p = Lock(X, Y);
    if (!p) return;
    StorePixel(p, BytesPerPixel(), Value);
    Unlock();
}

void TDxDIBX::ClearColorCache() const {
    ColorCacheKeys.fill(-1);
    ColorCacheNext = 0;
}

int32_t TDxDIBX::ColorToPixel(int32_t Color) const {
    if (Color < 0) return -1;
    for (size_t i = 0; i < ColorCacheKeys.size(); ++i)
        if (ColorCacheKeys[i] == Color) return ColorCacheValues[i];
    int32_t pixel = Color;
    const uint8_t r = uint8_t(Color), g = uint8_t(Color >> 8), b = uint8_t(Color >> 16);
    if (GetBitCount() >= 15) {
        pixel = int32_t(MaskLayout(GetRBitMask(), GetGBitMask(), GetBBitMask()).Pack(RGBQuad(r, g, b)));
    } else if (Palette) {
        std::array<TRGBQuad, 256> table{};
        GetColorTable(table.data());
        pixel = NearestPaletteIndex(table.data(), 1 << GetBitCount(), r, g, b);
    }
    ColorCacheKeys[size_t(ColorCacheNext)] = Color;
    ColorCacheValues[size_t(ColorCacheNext)] = pixel;
    ColorCacheNext = (ColorCacheNext + 1) % 16;
    return pixel;
}

// ---- The scaled copy ----

namespace {

// 0x00RRGGBB of a 16-bit pixel with 5 red and blue bits and GreenBits green bits.
template <int GreenBits>
uint32_t From16(const uint8_t* P) {
    const uint32_t v = LoadPixel(P, 2);
    const uint32_t r = ExpandChannel((v >> (5 + GreenBits)) & 31, 5);
    const uint32_t g = ExpandChannel((v >> 5) & ((1u << GreenBits) - 1), GreenBits);
    const uint32_t b = ExpandChannel(v & 31, 5);
    return r << 16 | g << 8 | b;
}
uint32_t From24(const uint8_t* P) { return LoadPixel(P, 3); }
uint32_t From32(const uint8_t* P) { return LoadPixel(P, 4) & 0x00FFFFFF; }

// The source positions that destination positions [From, To) of a span starting at DestStart
// and Dest long sample from a span of Src starting at SrcStart; -1 where that lies outside
// [0, Limit).
std::vector<int32_t> Samples(int32_t From, int32_t To, int32_t DestStart, int64_t Dest, int32_t SrcStart,
                             int64_t Src, int32_t Limit) {
    std::vector<int32_t> out;
    out.reserve(size_t(To - From));
    for (int32_t i = From; i < To; ++i) {
        const int64_t s = SrcStart + (int64_t(i) - DestStart) * Src / Dest;
        out.push_back(s >= 0 && s < Limit ? int32_t(s) : -1);
    }
    return out;
}

// A scaled copy: the locked source's top-left pixel, its row step and pixel size, the locked
// destination, the destination pixels to write and the source column and row of each.
struct TScaledCopy {
    const uint8_t* Src;
    int32_t SrcStep;
    int SrcBytes;
    const platform::PixelBuffer& Dest;
    TRect Clip;
    std::vector<int32_t> Cols, Rows;
};

// Writes N-byte destination pixels; Convert turns a source pixel into a destination value.
template <int N, class F>
void CopyScaled(const TScaledCopy& C, F Convert) {
    for (int32_t y = C.Clip.Top; y < C.Clip.Bottom; ++y) {
        const int32_t sy = C.Rows[size_t(y - C.Clip.Top)];
        if (sy < 0) continue;
        const uint8_t* srcRow = C.Src + ptrdiff_t(sy) * C.SrcStep;
        uint8_t* destRow = C.Dest.pixels + ptrdiff_t(y) * C.Dest.pitch;
        for (int32_t x = C.Clip.Left; x < C.Clip.Right; ++x) {
            const int32_t sx = C.Cols[size_t(x - C.Clip.Left)];
            if (sx >= 0) StorePixel(destRow + ptrdiff_t(x) * N, N, Convert(srcRow + ptrdiff_t(sx) * C.SrcBytes));
        }
    }
}

// Locked source pixels: pixel (0, 0), the step from one row to the next, size and format
// (15, 16, 24 or 32 bits; 16-bit green of 5 bits when Green555).
struct TSourcePixels {
    const uint8_t* Origin;
    int32_t NextLine, Width, Height;
    int BitCount;
    bool Green555;
};

// The copy at 1:1 of 32-bit pixels into 0x00RRGGBB ones (the usual present): source pixel
// (x + DX, y + DY) for each destination pixel (x, y) of Clip whose source lies inside the source.
void CopyUnscaled32(const TSourcePixels& S, int32_t DX, int32_t DY, const platform::PixelBuffer& D, const TRect& Clip) {
    const int32_t left = std::max(Clip.Left, -DX), right = std::min<int64_t>(Clip.Right, int64_t(S.Width) - DX);
    if (right <= left) return;
    for (int32_t y = Clip.Top; y < Clip.Bottom; ++y) {
        const int64_t sy = int64_t(y) + DY;
        if (sy < 0 || sy >= S.Height) continue;
        const uint8_t* srcRow = S.Origin + ptrdiff_t(sy) * S.NextLine;
        uint8_t* destRow = D.pixels + ptrdiff_t(y) * D.pitch;
        CopyRowNoAlpha32(destRow + ptrdiff_t(left) * 4, srcRow + (ptrdiff_t(left) + DX) * 4, int32_t(right - left));
    }
}

// The lock of a drawing surface for one copy.
class TSourceLock {
public:
    explicit TSourceLock(TCustomDIBX& S) : s_(S), p_(S.Lock(0, 0)) {}
    ~TSourceLock() {
        if (p_) s_.Unlock();
    }
    TSourceLock(const TSourceLock&) = delete;
    TSourceLock& operator=(const TSourceLock&) = delete;
    const uint8_t* Get() const { return p_; }

private:
    TCustomDIBX& s_;
    uint8_t* p_;
};

class TDestLock {
public:
    explicit TDestLock(platform::PixelSurface& S) : s_(S), b_(S.lock()) {}
    ~TDestLock() {
        if (b_.pixels) s_.unlock();
    }
    TDestLock(const TDestLock&) = delete;
    TDestLock& operator=(const TDestLock&) = delete;
    const platform::PixelBuffer& Get() const { return b_; }

private:
    platform::PixelSurface& s_;
    platform::PixelBuffer b_;
};

}  // namespace

namespace {

void StretchPixels(const TSourcePixels& S, const TRect& SrcRect, platform::PixelSurface& Dest, const TRect& DestRect,
                   const TRect& Clip) {
    const int64_t dw = int64_t(DestRect.Right) - DestRect.Left, dh = int64_t(DestRect.Bottom) - DestRect.Top;
    const int64_t sw = int64_t(SrcRect.Right) - SrcRect.Left, sh = int64_t(SrcRect.Bottom) - SrcRect.Top;
    if (dw < 1 || dh < 1 || sw < 1 || sh < 1) return;
    TDestLock dest(Dest);
    const platform::PixelBuffer& d = dest.Get();
    const int destBytes = (d.bitCount + 7) / 8;
    if (!d.pixels || destBytes < 2 || destBytes > 4) return;
    const TRect clip = IntersectRects(IntersectRects(DestRect, Clip), {0, 0, d.width, d.height});
    if (RectIsEmpty(clip)) return;

    const bool rgb32 =
        destBytes == 4 && d.redMask == 0x00FF0000 && d.greenMask == 0x0000FF00 && d.blueMask == 0x000000FF;
    if (rgb32 && sw == dw && sh == dh && S.BitCount == 32)
        return CopyUnscaled32(S, SrcRect.Left - DestRect.Left, SrcRect.Top - DestRect.Top, d, clip);
    const TScaledCopy c{S.Origin,
                        S.NextLine,
                        (S.BitCount + 7) / 8,
                        d,
                        clip,
                        Samples(clip.Left, clip.Right, DestRect.Left, dw, SrcRect.Left, sw, S.Width),
                        Samples(clip.Top, clip.Bottom, DestRect.Top, dh, SrcRect.Top, sh, S.Height)};
    const TMaskLayout layout = MaskLayout(d.redMask, d.greenMask, d.blueMask);
    auto copy = [&](auto ToRGB) {
        if (rgb32) return CopyScaled<4>(c, ToRGB);
        auto packed = [&](const uint8_t* P) { return layout.Pack(ToRGB(P)); };
        switch (destBytes) {
        case 2: return CopyScaled<2>(c, packed);
        case 3: return CopyScaled<3>(c, packed);
        default: return CopyScaled<4>(c, packed);
        }
    };
    switch (S.BitCount) {
    case 15: return copy(From16<5>);
    case 16: return S.Green555 ? copy(From16<5>) : copy(From16<6>);
    case 24: return copy(From24);
    case 32: return copy(From32);
    default: return;
    }
}

}  // namespace

void StretchBltTo(TCustomDIBX& Source, const TRect& SrcRect, platform::PixelSurface& Dest, const TRect& DestRect,
                  const TRect& Clip) {
    if (Source.GetEmpty()) return;
    TSourceLock src(Source);
    if (!src.Get()) return;
    StretchPixels({src.Get(), Source.GetNextLine(), Source.GetWidth(), Source.GetHeight(), Source.GetBitCount(),
                   Source.GetGBitMask() == 0x03E0},
                  SrcRect, Dest, DestRect, Clip);
}

void StretchBltTo(const platform::PixelBuffer& Source, const TRect& SrcRect, platform::PixelSurface& Dest,
                  const TRect& DestRect, const TRect& Clip) {
    if (!Source.pixels || Source.bitCount != 32) return;
    StretchPixels({Source.pixels, Source.pitch, Source.width, Source.height, 32, false}, SrcRect, Dest, DestRect,
                  Clip);
}
