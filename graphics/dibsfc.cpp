#include "graphics/dibsfc.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

// ---- Raw pixels inside a row, at a depth fixed at compile time ----

template <int Bits>
uint32_t RawAt(const uint8_t* Row, int32_t X) {
    if constexpr (Bits == 1) return Row[X >> 3] >> (7 - (X & 7)) & 1;
    if constexpr (Bits == 4) return Row[X >> 1] >> (X & 1 ? 0 : 4) & 0x0F;
    if constexpr (Bits == 8) return Row[X];
    if constexpr (Bits == 16) return uint32_t(Row[2 * X] | Row[2 * X + 1] << 8);
    if constexpr (Bits == 24) return uint32_t(Row[3 * X] | Row[3 * X + 1] << 8 | Row[3 * X + 2] << 16);
    if constexpr (Bits == 32) {
        const uint8_t* p = Row + 4 * X;
        return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
    }
}

template <int Bits>
void PutRaw(uint8_t* Row, int32_t X, uint32_t Value) {
    if constexpr (Bits == 1) {
        const uint8_t mask = uint8_t(0x80 >> (X & 7));
        Row[X >> 3] = uint8_t(Value & 1 ? Row[X >> 3] | mask : Row[X >> 3] & ~mask);
    } else if constexpr (Bits == 4) {
        uint8_t& b = Row[X >> 1];
        b = uint8_t(X & 1 ? (b & 0xF0) | (Value & 0x0F) : (b & 0x0F) | (Value & 0x0F) << 4);
    } else {
        for (int i = 0; i < Bits / 8; ++i) Row[Bits / 8 * X + i] = uint8_t(Value >> 8 * i);
    }
}

// Calls Fn.template operator()<Bits>() with the stored depth of a bitmap.
template <class F>
void WithDepth(int32_t BitCount, F&& Fn) {
    switch (BitCount) {
        case 1: return Fn.template operator()<1>();
        case 4: return Fn.template operator()<4>();
        case 8: return Fn.template operator()<8>();
        case 16: return Fn.template operator()<16>();
        case 24: return Fn.template operator()<24>();
        case 32: return Fn.template operator()<32>();
    }
}

// Whether a source pixel is the key colour (see the header for the rule of each depth).
template <int Bits>
bool IsKey(uint32_t Pixel, int32_t Key) {
    if constexpr (Bits == 24) return Key >= 0 && Pixel == (uint32_t(Key) & 0xFFFFFF);
    if constexpr (Bits == 32) return Pixel == uint32_t(Key);
    return int64_t(Pixel) == Key;
}

// Threshold of each cell of the 4 x 4 stipple of indexed opacity, by row then column.
constexpr uint8_t kStipple[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

// Red and blue in one multiplication, then green; the fourth byte comes out 0.
uint32_t BlendRGB(uint32_t D, uint32_t S, uint32_t A) {
    const uint32_t rb = (((D & 0xFF00FF) * (255 - A) + (S & 0xFF00FF) * A) >> 8) & 0xFF00FF;
    const uint32_t g = (((D & 0xFF00) * (255 - A) + (S & 0xFF00) * A) >> 8) & 0xFF00;
    return rb | g;
}

TRect BoundsOf(const TDIB& Dib) { return TRect{0, 0, Dib.Width(), Dib.Height()}; }

// Narrows [L, R) to [0, Size), moving the destination position P by what L moved.
void IntersectAxis(int64_t& P, int64_t& L, int64_t& R, int64_t Size) {
    if (L < 0) P -= L, L = 0;
    R = std::min(R, Size);
}

// Narrows [L, R) so that the run written from P stays inside [0, Size).
void ClipAxis(int64_t& P, int64_t& L, int64_t& R, int64_t Size) {
    if (P < 0) L -= P, P = 0;
    R = std::min(R, L + Size - P);
}

int32_t ToInt32(int64_t V) { return int32_t(std::clamp<int64_t>(V, INT32_MIN, INT32_MAX)); }

uint8_t ToByte(double V) { return uint8_t(std::clamp<long>(std::lrint(V), 0, 255)); }

}  // namespace

int32_t EffectiveBitCount(const TDIB& Dib) {
    return Dib.BitCount() == 16 && Dib.NowPixelFormat().GBitMask == 0x3E0 ? 15 : Dib.BitCount();
}

int32_t TDIBSurface::GetBitCountEx() const { return EffectiveBitCount(*this); }

void TDIBSurface::SetSize(int32_t W, int32_t H, int32_t N) {
    PixelFormat = N == 15 ? MakeDIBColorFormat(5, 5, 5) : N == 16 ? MakeDIBColorFormat(5, 6, 5) : MakeDIBColorFormat(8, 8, 8);
    TDIB::SetSize(W, H, N == 15 ? 16 : N);
    if (Alpha) Alpha->SetSize(Width(), Height(), 8);
}

void TDIBSurface::Clear() {
    TDIB::Clear();
    FreeAlpha();
}

void TDIBSurface::NeedAlpha() {
    if (!Alpha) Alpha = std::make_unique<TDIBSurface>();
    if (Alpha->Width() != Width() || Alpha->Height() != Height()) Alpha->SetSize(Width(), Height(), 8);
}

void TDIBSurface::FillAlpha() {
    NeedAlpha();
    Alpha->FillRectRaw(BoundsOf(*Alpha), 255);
}

void TDIBSurface::FreeAlpha() { Alpha.reset(); }

void TDIBSurface::SetAlphaFrom(const TDIB& Source) {
    if (Source.BitCount() != 8 || Source.Width() != Width() || Source.Height() != Height())
        throw EInvalidGraphicOperation("アルファの画像は同じ大きさの 8 ビット画像でなければなりません");
    NeedAlpha();
    Alpha->CopyAllTo(0, 0, Source);
}

void TDIBSurface::CopyAlphaRect(const TDIBSurface& Source, const TRect& Rect) {
    if (Alpha && Source.Alpha) Alpha->CopyRectTo(0, 0, Rect, *Source.Alpha);
}

void TDIBSurface::CopyAlphaOf(const TDIB& Source) {
    const auto* surface = dynamic_cast<const TDIBSurface*>(&Source);
    if (!surface || !surface->Alpha) return FreeAlpha();
    if (surface == this) return;
    if (!Alpha) Alpha = std::make_unique<TDIBSurface>();
    Alpha->TDIB::Assign(surface->Alpha.get());
}

void TDIBSurface::CopyFrom(const TDIB& Source) {
    PixelFormat = Source.NowPixelFormat();
    TDIB::Assign(&Source);  // shares the pixels until one side writes
    CopyAlphaOf(Source);
}

void TDIBSurface::AssignSurface(const TDIBSurface& Source) {
    if (&Source == this) return;
    ColorTable = Source.ImageColorTable();
    SetSize(Source.Width(), Source.Height(), EffectiveBitCount(Source));
    UpdatePalette();
    CopyAllTo(0, 0, Source);
    CopyAlphaOf(Source);
}

void TDIBSurface::CopyRect(const TDIBSurface& Source, const TRect& Rect, bool WithAlpha) {
    if (&Source == this) {
        TDIBSurface copy;
        copy.CopyFrom(*this);
        return CopyRect(copy, Rect, WithAlpha);
    }
    ColorTable = Source.ImageColorTable();
    SetSize(ToInt32(int64_t(Rect.Right) - Rect.Left), ToInt32(int64_t(Rect.Bottom) - Rect.Top), EffectiveBitCount(Source));
    UpdatePalette();
    CopyRectTo(0, 0, Rect, Source);
    if (WithAlpha && Source.Alpha) {
        NeedAlpha();
        CopyAlphaRect(Source, Rect);
    }
}

void TDIBSurface::Crop(const TRect& Rect) {
    TDIBSurface cropped;
    cropped.CopyRect(*this, Rect, true);
    CopyRect(cropped, BoundsOf(cropped), true);
}

TRect TDIBSurface::TrimBounds(int32_t Color) const {
    const uint32_t key = uint32_t(Color);
    auto columnIsKey = [&](int32_t X) {
        for (int32_t y = 0; y < Height(); ++y)
            if (GetPixel(X, y) != key) return false;
        return true;
    };
    auto rowIsKey = [&](int32_t Y) {
        for (int32_t x = 0; x < Width(); ++x)
            if (GetPixel(x, Y) != key) return false;
        return true;
    };
    TRect r = BoundsOf(*this);
    while (r.Left < r.Right && columnIsKey(r.Left)) ++r.Left;
    while (r.Right > r.Left && columnIsKey(r.Right - 1)) --r.Right;
    while (r.Top < r.Bottom && rowIsKey(r.Top)) ++r.Top;
    while (r.Bottom > r.Top && rowIsKey(r.Bottom - 1)) --r.Bottom;
    return r;
}

void TDIBSurface::Trim(int32_t Color) {
    if (Empty() || Color == -1) return;
    TRect r = TrimBounds(Color);
    if (r == BoundsOf(*this)) return;
    if (RectIsEmpty(r)) r = TRect{0, 0, 1, 1};
    Crop(r);
}

void TDIBSurface::MirrorX() {
    for (int32_t y = 0; y < Height(); ++y)
        for (int32_t x = 0; x < Width() / 2; ++x) {
            const uint32_t left = GetPixel(x, y);
            SetPixel(x, y, GetPixel(Width() - 1 - x, y));
            SetPixel(Width() - 1 - x, y, left);
        }
}

void TDIBSurface::FlipY() {
    std::vector<uint8_t> buffer(static_cast<size_t>(WidthBytes()));
    for (int32_t y = 0; y < Height() / 2; ++y) {
        uint8_t* top = ScanLine(y);
        uint8_t* bottom = ScanLine(Height() - 1 - y);
        std::memcpy(buffer.data(), top, buffer.size());
        std::memcpy(top, bottom, buffer.size());
        std::memcpy(bottom, buffer.data(), buffer.size());
    }
}

void TDIBSurface::CopyConvert(int32_t X, int32_t Y, const TDIB& Source) {
    const TDIB source(Source);  // Source may be this surface
    const int32_t depth = BitCount(), sourceDepth = source.BitCount();
    if (source.Empty() || Empty()) return;
    if (depth <= 8 && depth == sourceDepth &&
        std::equal(ImageColorTable().begin(), ImageColorTable().begin() + PaletteCount(), source.ImageColorTable().begin()))
        return CopyAllTo(X, Y, source);

    auto convert = [&](uint32_t Pixel) {
        const TRGBQuad c = source.ValueColor(Pixel);
        return RGBToPixel(QuadRed(c), QuadGreen(c), QuadBlue(c));
    };
    std::vector<uint32_t> table;  // indexed to indexed: each source index once
    if (depth <= 8 && sourceDepth <= 8)
        for (int i = 0; i < source.PaletteCount(); ++i) table.push_back(convert(uint32_t(i)));

    TRect r = BoundsOf(source);
    if (!ClipTransfer(X, Y, r)) return;
    for (int32_t sy = r.Top; sy < r.Bottom; ++sy)
        for (int32_t sx = r.Left; sx < r.Right; ++sx) {
            const uint32_t p = source.GetPixel(sx, sy);
            SetPixel(X + sx - r.Left, Y + sy - r.Top, table.empty() ? convert(p) : table[p]);
        }
}

void TDIBSurface::PixelToRGBRaw(uint32_t P, uint8_t& R, uint8_t& G, uint8_t& B) const {
    switch (GetBitCountEx()) {
        case 15: R = P >> 10 & 31, G = P >> 5 & 31, B = P & 31; return;
        case 16: R = P >> 11 & 31, G = P >> 5 & 63, B = P & 31; return;
        case 24: case 32: R = uint8_t(P >> 16), G = uint8_t(P >> 8), B = uint8_t(P); return;
        default: {
            const TRGBQuad c = ImageColorTable()[P & 0xFF];
            R = QuadRed(c), G = QuadGreen(c), B = QuadBlue(c);
        }
    }
}

uint32_t TDIBSurface::RGBToPixelRaw(uint8_t R, uint8_t G, uint8_t B) const {
    switch (GetBitCountEx()) {
        case 15: return uint32_t(R & 31) << 10 | uint32_t(G & 31) << 5 | (B & 31);
        case 16: return uint32_t(R & 31) << 11 | uint32_t(G & 63) << 5 | (B & 31);
        case 24: case 32: return B | uint32_t(G) << 8 | uint32_t(R) << 16;
        default: return RGBToPixel(R, G, B);
    }
}

void TDIBSurface::PixelToRGB(uint32_t P, uint8_t& R, uint8_t& G, uint8_t& B, bool Fill) const {
    const int32_t depth = GetBitCountEx();
    if (depth != 15 && depth != 16) return PixelToRGBRaw(P, R, G, B);
    const bool wide = depth == 16;
    B = uint8_t((P & 31) << 3);
    G = uint8_t(wide ? (P & 0x7E0) >> 3 : (P & 0x3E0) >> 2);
    R = uint8_t(wide ? (P & 0xF800) >> 8 : (P & 0x7C00) >> 7);
    if (!Fill) return;
    auto fill = [](uint8_t& C, uint8_t Bits) { if (C) C |= Bits; };
    fill(R, 7), fill(G, wide ? 3 : 7), fill(B, 7);
}

uint32_t TDIBSurface::RGBToPixel(uint8_t R, uint8_t G, uint8_t B) const {
    switch (GetBitCountEx()) {
        case 24: case 32: return B | uint32_t(G) << 8 | uint32_t(R) << 16;
        case 16: return uint32_t(B >> 3) | ((uint32_t(G) << 3) & 0x7E0) | ((uint32_t(R) << 8) & 0xF800);
        case 15: return uint32_t(B >> 3) | ((uint32_t(G) << 2) & 0x3E0) | ((uint32_t(R) << 7) & 0x7C00);
        case 1: case 4: case 8: return uint32_t(NearestPaletteIndex(ImageColorTable().data(), PaletteCount(), R, G, B));
        default: return 0;
    }
}

// ---- Resizing ----

namespace {

// The area average of each target pixel over the source cells it covers; cells of the key
// colour are left out. Source and result are 24 bits.
TDIB AreaShrink(const TDIB& Source, int32_t W, int32_t H, int32_t TransColor) {
    TDIB out;
    out.SetSize(W, H, 24);
    const double sx = double(Source.Width()) / W, sy = double(Source.Height()) / H;
    const float area = float(float(double(Source.Width()) * Source.Height() / W) / H);
    // Overlap of cell I with [A0, A1].
    auto weight = [](int64_t I, double A0, double A1, int64_t First, int64_t Last) {
        if (First == Last) return A1 - A0;
        if (I == First) return 1 - (A0 - double(I));
        if (I == Last) return A1 - double(I);
        return 1.0;
    };
    for (int32_t y = 0; y < H; ++y) {
        const double y0 = y * sy, y1 = (y + 1) * sy - 0.000001;
        const int64_t top = int64_t(std::floor(y0)), bottom = std::min<int64_t>(int64_t(std::floor(y1)), Source.Height() - 1);
        uint8_t* row = out.ScanLine(y);
        for (int32_t x = 0; x < W; ++x) {
            const double x0 = x * sx, x1 = (x + 1) * sx - 0.000001;
            const int64_t left = int64_t(std::floor(x0)), right = std::min<int64_t>(int64_t(std::floor(x1)), Source.Width() - 1);
            double sum[3] = {0, 0, 0};
            int64_t total = 0, valid = 0;
            for (int64_t j = top; j <= bottom; ++j) {
                const uint8_t* src = Source.ScanLineReadOnly(int32_t(j));
                const double wy = weight(j, y0, y1, top, bottom);
                for (int64_t i = left; i <= right; ++i) {
                    ++total;
                    const uint32_t p = RawAt<24>(src, int32_t(i));
                    if (TransColor >= 0 && p == (uint32_t(TransColor) & 0xFFFFFF)) continue;
                    ++valid;
                    const double w = wy * weight(i, x0, x1, left, right);
                    for (int c = 0; c < 3; ++c) sum[c] += (p >> 8 * c & 0xFF) * w;
                }
            }
            const double factor = total ? double(valid) * area / double(total) : 0;
            if (factor <= 0) {
                PutRaw<24>(row, x, uint32_t(TransColor));
                continue;
            }
            PutRaw<24>(row, x, ToByte(sum[0] / factor) | ToByte(sum[1] / factor) << 8 | ToByte(sum[2] / factor) << 16);
        }
    }
    return out;
}

// Bilinear interpolation between the four nearest source pixels; a key-coloured neighbour takes
// the colour of another one. Source and result are 24 bits.
TDIB BilinearEnlarge(const TDIB& Source, int32_t W, int32_t H, int32_t TransColor) {
    TDIB out;
    out.SetSize(W, H, 24);
    struct TSample { int32_t Low, High; float Frac; };
    auto samples = [](int32_t SourceSize, int32_t TargetSize) {
        std::vector<TSample> s(static_cast<size_t>(TargetSize));
        const float scale = float(SourceSize) / float(TargetSize);
        for (int32_t i = 0; i < TargetSize; ++i) {
            const float p = (float(i) + 0.5f) * scale - 0.5f;
            const int32_t low = int32_t(std::floor(p));
            s[size_t(i)] = {std::max(low, 0), std::min(low + 1, SourceSize - 1), p - float(low)};
        }
        return s;
    };
    const auto columns = samples(Source.Width(), W), rows = samples(Source.Height(), H);
    const bool keyed = TransColor >= 0;
    const uint32_t key = uint32_t(TransColor) & 0xFFFFFF;
    // The first of the others that is not the key colour, else Own.
    auto substitute = [&](uint32_t Own, uint32_t A, uint32_t B, uint32_t C) {
        if (!keyed || Own != key) return Own;
        return A != key ? A : B != key ? B : C;
    };
    for (int32_t y = 0; y < H; ++y) {
        const TSample& ry = rows[size_t(y)];
        const uint8_t* topRow = Source.ScanLineReadOnly(ry.Low);
        const uint8_t* bottomRow = Source.ScanLineReadOnly(ry.High);
        uint8_t* row = out.ScanLine(y);
        for (int32_t x = 0; x < W; ++x) {
            const TSample& cx = columns[size_t(x)];
            const uint32_t tl0 = RawAt<24>(topRow, cx.Low), tr0 = RawAt<24>(topRow, cx.High);
            const uint32_t bl0 = RawAt<24>(bottomRow, cx.Low), br0 = RawAt<24>(bottomRow, cx.High);
            if (keyed && tl0 == key && tr0 == key && bl0 == key && br0 == key) {
                PutRaw<24>(row, x, uint32_t(TransColor));
                continue;
            }
            const uint32_t tl = substitute(tl0, bl0, tr0, br0), bl = substitute(bl0, tl0, tr0, br0);
            const uint32_t tr = substitute(tr0, tl0, bl0, br0), br = substitute(br0, tl0, bl0, tr0);
            const double fx = cx.Frac, fy = ry.Frac;
            uint32_t pixel = 0;
            for (int c = 0; c < 3; ++c) {
                const double a = tl >> 8 * c & 0xFF, b = tr >> 8 * c & 0xFF, d = bl >> 8 * c & 0xFF, e = br >> 8 * c & 0xFF;
                pixel |= uint32_t(ToByte(a + (b - a) * fx + (d - a) * fy + (e + a - b - d) * fx * fy)) << 8 * c;
            }
            PutRaw<24>(row, x, pixel);
        }
    }
    return out;
}

}  // namespace

TDIB TDIBSurface::ResizeSmooth(int32_t W, int32_t H, int32_t TransColor) const {
    TDIB source(*this);
    source.PixelFormat = MakeDIBColorFormat(8, 8, 8);
    source.SetBitCount(24);
    return W <= Width() && H <= Height() ? AreaShrink(source, W, H, TransColor)
                                         : BilinearEnlarge(source, W, H, TransColor);
}

void TDIBSurface::StretchFrom(const TDIB& Source) {
    WithDepth(BitCount(), [&]<int Bits>() {
        for (int32_t y = 0; y < Height(); ++y) {
            const uint8_t* src = Source.ScanLineReadOnly(StretchSource(y, Source.Height(), Height()));
            uint8_t* dst = ScanLine(y);
            for (int32_t x = 0; x < Width(); ++x)
                PutRaw<Bits>(dst, x, RawAt<Bits>(src, StretchSource(x, Source.Width(), Width())));
        }
    });
}

void TDIBSurface::ResizeEx(int32_t W, int32_t H, bool KeepDepth, int32_t TransColor, bool Smooth) {
    if ((W == Width() && H == Height()) || W < 1 || H < 1 || Empty()) return;
    if (Alpha) Alpha->ResizeEx(W, H, true, -1, Smooth);
    std::unique_ptr<TDIBSurface> alpha = std::move(Alpha);
    const int32_t depth = GetBitCountEx();
    if (Smooth) {
        const TRGBQuadTable table = ImageColorTable();
        const TDIB result = ResizeSmooth(W, H, TransColor);
        SetSize(W, H, 24);
        CopyAllTo(0, 0, result);
        if (KeepDepth && depth < 24) {
            TDIBSurface copy;
            copy.CopyFrom(*this);
            ColorTable = table;
            SetSize(W, H, depth);
            UpdatePalette();
            CopyConvert(0, 0, copy);
        }
    } else {
        const TDIB copy(*this);
        SetSize(W, H, depth);
        StretchFrom(copy);
    }
    Alpha = std::move(alpha);
}

// ---- Transfers ----

bool TDIBSurface::ClipTransfer(int32_t& X, int32_t& Y, TRect& SrcRect) const {
    int64_t x = X, y = Y, l = SrcRect.Left, t = SrcRect.Top, r = SrcRect.Right, b = SrcRect.Bottom;
    ClipAxis(x, l, r, Width());
    ClipAxis(y, t, b, Height());
    X = ToInt32(x), Y = ToInt32(y);
    SrcRect = TRect{ToInt32(l), ToInt32(t), ToInt32(r), ToInt32(b)};
    return r > l && b > t;
}

// Clips SrcRect to Source and to this image, then calls
// Fn(destination row, source row, destination x, source x, count, destination y) for each row.
template <class RowFn>
void TDIBSurface::ForEachRow(int32_t X, int32_t Y, TRect SrcRect, const TDIB& Source, RowFn Fn) {
    if (Source.BitCount() != BitCount() && !Source.Empty() && !Empty())
        throw EInvalidGraphicOperation("転送元と転送先のビット数が違います");
    int64_t x = X, y = Y, l = SrcRect.Left, t = SrcRect.Top, r = SrcRect.Right, b = SrcRect.Bottom;
    IntersectAxis(x, l, r, Source.Width());
    IntersectAxis(y, t, b, Source.Height());
    ClipAxis(x, l, r, Width());
    ClipAxis(y, t, b, Height());
    if (r <= l || b <= t) return;
    const TDIB source(Source);  // a snapshot: Source may be this image
    for (int64_t row = t; row < b; ++row) {
        const int32_t dy = int32_t(y + row - t);
        Fn(ScanLine(dy), source.ScanLineReadOnly(int32_t(row)), int32_t(x), int32_t(l), int32_t(r - l), dy);
    }
}

void TDIBSurface::CopyRectTo(int32_t X, int32_t Y, const TRect& SrcRect, const TDIB& Source) {
    const int32_t bits = BitCount();
    ForEachRow(X, Y, SrcRect, Source, [&](uint8_t* D, const uint8_t* S, int32_t DX, int32_t SX, int32_t N, int32_t) {
        if (bits >= 8) {
            const int32_t bytes = bits / 8;
            std::memmove(D + ptrdiff_t(DX) * bytes, S + ptrdiff_t(SX) * bytes, size_t(N) * size_t(bytes));
            return;
        }
        WithDepth(bits, [&]<int Bits>() {
            for (int32_t i = 0; i < N; ++i) PutRaw<Bits>(D, DX + i, RawAt<Bits>(S, SX + i));
        });
    });
}

void TDIBSurface::CopyAllTo(int32_t X, int32_t Y, const TDIB& Source) { CopyRectTo(X, Y, BoundsOf(Source), Source); }

void TDIBSurface::DrawKeyed(int32_t X, int32_t Y, int32_t Key, const TRect& SrcRect, const TDIB& Source) {
    WithDepth(BitCount(), [&]<int Bits>() {
        ForEachRow(X, Y, SrcRect, Source, [&](uint8_t* D, const uint8_t* S, int32_t DX, int32_t SX, int32_t N, int32_t) {
            for (int32_t i = 0; i < N; ++i) {
                const uint32_t s = RawAt<Bits>(S, SX + i);
                if (!IsKey<Bits>(s, Key)) PutRaw<Bits>(D, DX + i, s);
            }
        });
    });
}

void TDIBSurface::DrawAlpha(int32_t X, int32_t Y, int32_t Opacity, int32_t Key, const TRect& SrcRect, const TDIB& Source) {
    if (Opacity == 0) return;
    const bool indexed = BitCount() <= 8;
    const int32_t level = Opacity / 16;
    if (Opacity < 0 || (indexed && level >= 15) || (!indexed && Opacity >= 255))
        return DrawKeyed(X, Y, Key, SrcRect, Source);
    const uint32_t a = uint32_t(Opacity);
    const TDIBColorFormat format = NowPixelFormat();
    WithDepth(BitCount(), [&]<int Bits>() {
        ForEachRow(X, Y, SrcRect, Source, [&](uint8_t* D, const uint8_t* S, int32_t DX, int32_t SX, int32_t N, int32_t DY) {
            for (int32_t i = 0; i < N; ++i) {
                const uint32_t s = RawAt<Bits>(S, SX + i);
                if (IsKey<Bits>(s, Key)) continue;
                if constexpr (Bits <= 8) {
                    if (kStipple[DY & 3][(DX + i) & 3] <= level) PutRaw<Bits>(D, DX + i, s);
                    continue;
                }
                const uint32_t d = RawAt<Bits>(D, DX + i);
                uint32_t out = 0;
                if constexpr (Bits == 16) {
                    for (const uint32_t m : {format.RBitMask, format.GBitMask, format.BBitMask})
                        out |= ((255 - a) * (d & m) + a * (s & m)) / 255 & m;
                } else if constexpr (Bits == 24) {
                    for (int c = 0; c < 24; c += 8)
                        out |= ((d >> c & 0xFF) * (255 - a) + (s >> c & 0xFF) * a) / 255 << c;
                } else {
                    out = BlendRGB(d, s, a);
                }
                PutRaw<Bits>(D, DX + i, out);
            }
        });
    });
}

void TDIBSurface::DrawAlphaMask(int32_t X, int32_t Y, int32_t Opacity, const TRect& SrcRect, const TDIBSurface& Source) {
    if (!Source.Alpha) return DrawAlpha(X, Y, Opacity, -1, SrcRect, Source);
    const TDIB alpha(*Source.Alpha);
    // Only pixels that have an opacity byte are drawn.
    int64_t x = X, y = Y, l = SrcRect.Left, t = SrcRect.Top, r = SrcRect.Right, b = SrcRect.Bottom;
    IntersectAxis(x, l, r, alpha.Width());
    IntersectAxis(y, t, b, alpha.Height());
    if (r <= l || b <= t) return;
    const int32_t top = int32_t(t) - ToInt32(y);  // source row of destination row 0
    const bool scaled = Opacity >= 0 && Opacity < 255;
    const TDIBColorFormat format = NowPixelFormat();
    WithDepth(BitCount(), [&]<int Bits>() {
        ForEachRow(ToInt32(x), ToInt32(y), TRect{int32_t(l), int32_t(t), int32_t(r), int32_t(b)}, Source,
                   [&](uint8_t* D, const uint8_t* S, int32_t DX, int32_t SX, int32_t N, int32_t DY) {
            const uint8_t* A = alpha.ScanLineReadOnly(DY + top);
            for (int32_t i = 0; i < N; ++i) {
                const uint32_t al = A[SX + i], s = RawAt<Bits>(S, SX + i);
                if constexpr (Bits <= 8) {
                    if (al >= 128) PutRaw<Bits>(D, DX + i, s);
                    continue;
                }
                if constexpr (Bits == 24) {
                    if (scaled) {
                        const uint32_t sa = al * uint32_t(Opacity) >> 8;
                        if (sa) PutRaw<24>(D, DX + i, BlendRGB(RawAt<24>(D, DX + i), s, sa));
                        continue;
                    }
                }
                if (al == 0) continue;
                if (al == 255) {
                    PutRaw<Bits>(D, DX + i, s);
                    continue;
                }
                const uint32_t d = RawAt<Bits>(D, DX + i);
                uint32_t out = 0;
                if constexpr (Bits == 16) {
                    for (const uint32_t m : {format.RBitMask, format.GBitMask, format.BBitMask})
                        out |= ((d & m) * (255 - al) + (s & m) * al) >> 8 & m;
                } else if constexpr (Bits == 24) {
                    for (int c = 0; c < 24; c += 8)
                        out |= ((s >> c & 0xFF) * al + (d >> c & 0xFF) * (255 - al)) >> 8 << c;
                } else {
                    out = BlendRGB(d, s, al);
                }
                PutRaw<Bits>(D, DX + i, out);
            }
        });
    });
}

void TDIBSurface::FillRectRaw(const TRect& Rect, uint32_t Value) {
    int64_t l = std::max(Rect.Left, 0), t = std::max(Rect.Top, 0);
    const int64_t r = std::min(Rect.Right, Width()), b = std::min(Rect.Bottom, Height());
    if (r <= l || b <= t) return;
    switch (GetBitCountEx()) {
        case 1: Value &= 1; break;
        case 4: Value &= 15; break;
        case 15: Value &= 0x7FFF; break;
    }
    WithDepth(BitCount(), [&]<int Bits>() {
        for (int64_t y = t; y < b; ++y) {
            uint8_t* row = ScanLine(int32_t(y));
            if constexpr (Bits == 8) {
                std::memset(row + l, int(Value & 0xFF), size_t(r - l));
            } else {
                for (int64_t x = l; x < r; ++x) PutRaw<Bits>(row, int32_t(x), Value);
            }
        }
    });
}
