#include "graphics/dibx.h"
#include "graphics/blendrow.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

// Trunc of a value that may lie beyond int32 (far-off geometry): saturated instead of undefined.
int32_t TruncSat(double V) {
    if (!(V > -2147483648.0)) return std::numeric_limits<int32_t>::min();
    if (V >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    return int32_t(V);
}

}  // namespace

// ---- TCustomDIBX: clipping ----

void TCustomDIBX::SetSize(int32_t AWidth, int32_t AHeight, int) {
    Width = AWidth;
    Height = AHeight;
}

void TCustomDIBX::UnionClipRect(const TRect& R) {
    const TRect r = IntersectRects(R, GetBoundsRect());
    if (RectIsEmpty(r)) return;
    if (ClipRect.Right != 0)
        ClipRect = {std::min(ClipRect.Left, r.Left), std::min(ClipRect.Top, r.Top), std::max(ClipRect.Right, r.Right),
                    std::max(ClipRect.Bottom, r.Bottom)};
    else
        ClipRect = r;
}

bool TCustomDIBX::ClipStretchRect(TRect& Dest, TRect& Src, bool MirrorX, bool MirrorY, double& StepX, double& StepY,
                                  double& FracX, double& FracY) const {
    FracX = FracY = 0;
    const int64_t dw = int64_t(Dest.Right) - Dest.Left, dh = int64_t(Dest.Bottom) - Dest.Top;
    if (dw < 1 || dh < 1) return false;
    const TRect c = EffectiveClip();
    StepX = double(int64_t(Src.Right) - Src.Left) / double(dw);
    StepY = double(int64_t(Src.Bottom) - Src.Top) / double(dh);
    if (Dest.Left < c.Left) {
        const double n = double(int64_t(c.Left) - Dest.Left) * StepX;
        const int32_t t = TruncSat(n);
        FracX = n - std::trunc(n);
        (MirrorX ? Src.Right -= t : Src.Left += t);
        Dest.Left = c.Left;
    }
    if (Dest.Top < c.Top) {
        const double n = double(int64_t(c.Top) - Dest.Top) * StepY;
        const int32_t t = TruncSat(n);
        FracY = n - std::trunc(n);
        (MirrorY ? Src.Bottom -= t : Src.Top += t);
        Dest.Top = c.Top;
    }
    if (Dest.Right > c.Right) {
        const int32_t t = TruncSat(double(int64_t(c.Right) - Dest.Left) * StepX);
        (MirrorX ? Src.Left = Src.Right - t : Src.Right = Src.Left + t);
        Dest.Right = c.Right;
    }
    if (Dest.Bottom > c.Bottom) {
        const int32_t t = TruncSat(double(int64_t(c.Bottom) - Dest.Top) * StepY);
        (MirrorY ? Src.Top = Src.Bottom - t : Src.Bottom = Src.Top + t);
        Dest.Bottom = c.Bottom;
    }
    if (RectIsEmpty(Dest)) return false;
    if (MirrorX) StepX = -StepX;
    if (MirrorY) StepY = -StepY;
    return true;
}

bool TCustomDIBX::ClipShrinkRect(TRect& Dest, TRect& Src, bool MirrorX, bool MirrorY, int32_t& RatioX,
                                 int32_t& RatioY) const {
    const int32_t dw = Dest.Right - Dest.Left, dh = Dest.Bottom - Dest.Top;
    if (dw < 1 || dh < 1) return false;
    const TRect c = EffectiveClip();
    RatioX = (Src.Right - Src.Left) / dw;
    RatioY = (Src.Bottom - Src.Top) / dh;
    if (Dest.Left < c.Left) {
        const int32_t t = (c.Left - Dest.Left) * RatioX;
        (MirrorX ? Src.Right -= t : Src.Left += t);
        Dest.Left = c.Left;
    }
    if (Dest.Top < c.Top) {
        const int32_t t = (c.Top - Dest.Top) * RatioY;
        (MirrorY ? Src.Bottom -= t : Src.Top += t);
        Dest.Top = c.Top;
    }
    if (Dest.Right > c.Right) {
        const int32_t t = (c.Right - Dest.Left) * RatioX;
        (MirrorX ? Src.Left = Src.Right - t : Src.Right = Src.Left + t);
        Dest.Right = c.Right;
    }
    if (Dest.Bottom > c.Bottom) {
        const int32_t t = (c.Bottom - Dest.Top) * RatioY;
        (MirrorY ? Src.Top = Src.Bottom - t : Src.Bottom = Src.Top + t);
        Dest.Bottom = c.Bottom;
    }
    if (RectIsEmpty(Dest)) return false;
    if (MirrorX) RatioX = -RatioX;
    if (MirrorY) RatioY = -RatioY;
    return true;
}

bool TCustomDIBX::ClipRectToClip(TRect& Rect, int32_t& CutX, int32_t& CutY) const {
    if (Rect.Right - Rect.Left < 1 || Rect.Bottom - Rect.Top < 1) return false;
    const TRect c = EffectiveClip();
    if (Rect.Left < c.Left) {
        CutX += c.Left - Rect.Left;
        Rect.Left = c.Left;
    }
    if (Rect.Top < c.Top) {
        CutY += c.Top - Rect.Top;
        Rect.Top = c.Top;
    }
    Rect.Right = std::min(Rect.Right, c.Right);
    Rect.Bottom = std::min(Rect.Bottom, c.Bottom);
    return !RectIsEmpty(Rect);
}

TRect TCustomDIBX::CalcRotateZoomBounds(int32_t X, int32_t Y, int32_t CenterX, int32_t CenterY, const TRect& SrcRect,
                                        double Angle, double ZoomX, double ZoomY, bool MirrorX, bool MirrorY) {
    const double w = double(SrcRect.Right) - SrcRect.Left, h = double(SrcRect.Bottom) - SrcRect.Top;
    const double cx = MirrorX ? w - 1 - CenterX : CenterX;
    const double cy = MirrorY ? h - 1 - CenterY : CenterY;
    if (!(ZoomX > 0) || !(ZoomY > 0)) return {0, 0, 0, 0};
    const double s = std::sin(Angle), c = std::cos(Angle);
    const double us[2] = {-cx * ZoomX, w * ZoomX - cx * ZoomX - 1};
    const double vs[2] = {-cy * ZoomY, h * ZoomY - cy * ZoomY - 1};
    double minX = INFINITY, maxX = -INFINITY, minY = INFINITY, maxY = -INFINITY;
    for (double u : us)
        for (double v : vs) {
            const double px = X + u * c - v * s, py = Y + u * s + v * c;
            minX = std::min(minX, px), maxX = std::max(maxX, px);
            minY = std::min(minY, py), maxY = std::max(maxY, py);
        }
    const int32_t l = TruncSat(minX), t = TruncSat(minY);
    return Bounds(l, t, TruncSat(maxX + 1) - l + 1, TruncSat(maxY + 1) - t + 1);
}

// ---- TCustomDIBX: frames ----

namespace {

template <class F>
void FrameStrips(const TRect& R, int32_t W, F&& Strip) {
    Strip(Bounds(R.Left, R.Top, R.Right - R.Left, W));
    Strip(Bounds(R.Left, R.Bottom - W, R.Right - R.Left, W));
    const int32_t h = R.Bottom - R.Top - 2 * W;
    if (h > 0) {
        Strip(Bounds(R.Left, R.Top + W, W, h));
        Strip(Bounds(R.Right - W, R.Top + W, W, h));
    }
}

}  // namespace

void TCustomDIBX::FrameRect(const TRect& R, int32_t W, int32_t Color) {
    FrameStrips(R, W, [&](const TRect& s) { FillRect(s, Color); });
}

void TCustomDIBX::FrameRectAlpha(const TRect& R, int32_t W, int32_t Color, int32_t Alpha) {
    if (Alpha == 0) return;
    FrameStrips(R, W, [&](const TRect& s) { FillRectAlpha(s, Color, Alpha); });
}

void TCustomDIBX::FrameRectAdd(const TRect& R, int32_t W, int32_t Color) {
    FrameStrips(R, W, [&](const TRect& s) { FillRectAdd(s, Color); });
}

void TCustomDIBX::Assign(TCustomDIBX& Source) {
    auto* d = dynamic_cast<TDIBX*>(this);
    auto* s = dynamic_cast<TDIBX*>(&Source);
    if (d && s && d != s && d->GetWidth() == s->GetWidth() && d->GetHeight() == s->GetHeight() &&
        d->GetNextLine() == s->GetNextLine() && d->DIB->Size() == s->DIB->Size()) {
        if (d->DIB->Size() > 0) std::memcpy(d->DIB->PBits(), s->DIB->PBitsReadOnly(), size_t(d->DIB->Size()));
        return;
    }
    Draw(0, 0, Source, Source.GetBoundsRect(), false, false, false);
}

// ---- TDIBX ----

namespace {

void SetDIBFormat(TDIB& Dib, int BitCount) {
    switch (BitCount) {
    case 1: case 4: case 8: case 15: case 16: case 24: case 32: break;
    default: throw EInvalidGraphicOperation("不正なビット数です (" + std::to_string(BitCount) + ")");
    }
    Dib.PixelFormat = BitCount == 15 ? MakeDIBColorFormat(5, 5, 5)
                      : BitCount == 16 ? MakeDIBColorFormat(5, 6, 5)
                                       : MakeDIBColorFormat(8, 8, 8);
}

int StorageBits(int BitCount) { return BitCount == 15 ? 16 : BitCount; }

}  // namespace

TDIBX::TDIBX() : DIB(new TDIB) {
    SetDIBFormat(*DIB, 15);
    DIB->SetSize(1, 1, 16);
}

TDIBX::~TDIBX() {
    if (!DIBNotOwned) delete DIB;
}

int TDIBX::GetBitCount() const {
    const int n = DIB->BitCount();
    return n == 16 && DIB->NowPixelFormat().GBitMask == 0x03E0 ? 15 : n;
}

void TDIBX::SetBitCount(int Value) {
    if (Value == GetBitCount()) return;
    SetDIBFormat(*DIB, Value);
    DIB->SetBitCount(StorageBits(Value));
}

void TDIBX::SetSize(int32_t AWidth, int32_t AHeight, int BitCount) {
    SetDIBFormat(*DIB, BitCount);
    DIB->SetSize(AWidth, AHeight, StorageBits(BitCount));
    TCustomDIBX::SetSize(DIB->Width(), DIB->Height(), BitCount);
}

uint8_t* TDIBX::Lock(int32_t X, int32_t Y) {
    if (DIB->Empty()) return nullptr;
    uint8_t* row = DIB->ScanLine(Y);
    switch (DIB->BitCount()) {
    case 1: return row + X / 8;
    case 4: return row + X / 2;
    case 8: return row + X;
    case 16: return row + 2 * ptrdiff_t(X);
    case 24: return row + 3 * ptrdiff_t(X);
    default: return row + 4 * ptrdiff_t(X);
    }
}

int32_t TDIBX::ColorToPixel(int32_t Color) const {
    if (Color < 0) return -1;
    if (GetBitCount() <= 8) return Color;
    // 24 bits too: the stored value is 0x00RRGGBB, so red and blue change places.
    return int32_t(PackRGB(DIB->NowPixelFormat(), uint8_t(Color), uint8_t(Color >> 8), uint8_t(Color >> 16)));
}

void TDIBX::Fill(int32_t Color) {
    const int n = GetBitCount();
    if (n >= 24) return FillRect(GetBoundsRect(), Color);
    if (DIB->Size() < (n >= 15 ? 2 : 1)) return;  // no whole pixel to fill
    uint8_t* p = DIB->PBits();
    const size_t size = size_t(DIB->Size());
    if (n >= 15) return TRowFill(2, uint32_t(Color))(p, int32_t(size / 2));
    const uint8_t b = n == 1 ? (Color != 0 ? 0xFF : 0) : n == 4 ? uint8_t(Color << 4 | (Color & 0x0F)) : uint8_t(Color);
    std::memset(p, b, size);
}

void TDIBX::Clear() {
    TCustomDIBX::Clear();
    DIB->SetSize(8, 8, DIB->BitCount());
}

namespace {

// [Start, Start + Count) lies inside a 256-entry table.
bool TableRange(int Start, int Count) { return Start >= 0 && Count > 0 && int64_t(Start) + Count <= 256; }

}  // namespace

void TDIBX::GetColorTable(TRGBQuad* Dest) const { GetColorTableEntries(Dest, 0, 256); }

void TDIBX::GetColorTableEntries(TRGBQuad* Dest, int Start, int Count) const {
    if (TableRange(Start, Count)) std::copy_n(DIB->ColorTable.begin() + Start, Count, Dest);
}

void TDIBX::SetColorTable(const TRGBQuad* Source) { SetColorTableEntries(Source, 0, 256); }

void TDIBX::SetColorTableEntries(const TRGBQuad* Source, int Start, int Count) {
    if (!TableRange(Start, Count)) return;
    std::copy_n(Source, Count, DIB->ColorTable.begin() + Start);
    DIB->UpdatePalette();
}

TFrameRecord TDIBX::GetDC() {
    if (DIB->Empty()) return {};
    const TDIBColorFormat& format = DIB->NowPixelFormat();
    return {DIB->TopPBits(),        DIB->Width(),     DIB->Height(),
            DIB->NextLine(),        GetBitCount(),    format.RBitMask,
            format.GBitMask,        format.BBitMask,  DIB->BitCount() <= 8 ? DIB->ImageColorTable().data() : nullptr};
}

namespace {

// Rows of 32-bit 0x00RRGGBB pixels on both sides: the value without its fourth byte.
void CopyRows32(const TFrameRecord& S, const TFrameRecord& D, int32_t W, int32_t H) {
    for (int32_t y = 0; y < H; ++y) {
        const uint8_t* s = S.Pixels + ptrdiff_t(y) * S.Pitch;
        uint8_t* d = D.Pixels + ptrdiff_t(y) * D.Pitch;
        for (int32_t x = 0; x < W; ++x) {
            uint32_t v;
            std::memcpy(&v, s + 4 * ptrdiff_t(x), 4);
            v &= 0x00FFFFFF;
            std::memcpy(d + 4 * ptrdiff_t(x), &v, 4);
        }
    }
}

bool Plain32(const TFrameRecord& F) {
    return F.BitCount == 32 && F.RMask == 0x00FF0000 && F.GMask == 0x0000FF00 && F.BMask == 0x000000FF;
}

}  // namespace

void CopyFrame(const TFrameRecord& Source, TCustomDIBX& Dest) {
    if (!Source.Pixels) return;
    const TFrameRecord d = Dest.GetDC();
    if (!d.Pixels) return;
    const int32_t w = std::min(Source.Width, d.Width), h = std::min(Source.Height, d.Height);
    if (w > 0 && h > 0) {
        if (Plain32(Source) && Plain32(d)) {
            CopyRows32(Source, d, w, h);
        } else {
            const int bits = d.BitCount == 15 ? 16 : d.BitCount;
            const TMaskLayout layout = MaskLayout(d.RMask, d.GMask, d.BMask);
            const int entries = d.BitCount <= 8 ? 1 << d.BitCount : 0;
            std::vector<TRGBQuad> colors(size_t(w), 0);
            for (int32_t y = 0; y < h; ++y) {
                FrameRowColors(Source, y, w, colors.data());
                uint8_t* row = d.Pixels + ptrdiff_t(y) * d.Pitch;
                for (int32_t x = 0; x < w; ++x) {
                    const TRGBQuad c = colors[size_t(x)];
                    const uint32_t v = entries ? uint32_t(d.ColorTable ? NearestPaletteIndex(d.ColorTable, entries, QuadRed(c),
                                                                                             QuadGreen(c), QuadBlue(c))
                                                                       : 0)
                                               : layout.Pack(c);
                    StorePixel(row, x, bits, v);
                }
            }
        }
    }
    Dest.ReleaseDC();
}
