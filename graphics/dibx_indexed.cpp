// The indexed-colour draws of TCustomDIBX: a palette-indexed source drawn into a true-colour
// destination through the caller's table of raw destination values, so that a new table recolours
// the picture without touching its pixels. Each pixel costs one table read and one blend or add in
// the destination's channels (masked fields at 15/16/24 bits, the four bytes at 32 bits).
#include "graphics/dibx.h"
#include "graphics/dibx_pixel.h"
#include "graphics/dibx_rows.h"


namespace {

using namespace dibx;

// The pixels of one 4-bit row (high nibble first) taken column by column in either direction: the
// parity of the current column says when the next one lies in another byte (going right after a
// low nibble, going left after a high one).
class TNibbleWalk {
public:
    TNibbleWalk(const uint8_t* P, int32_t X, int32_t Dir) : p_(P), low_((X & 1) != 0), dir_(Dir) {}
    uint32_t Get() const { return low_ ? *p_ & 0x0F : *p_ >> 4; }
    void Next() {
        if (dir_ > 0 ? low_ : !low_) p_ += dir_;
        low_ = !low_;
    }

private:
    const uint8_t* p_;
    bool low_;
    int32_t dir_;
};

// Entry I of a colour table of Bytes-wide raw values.
template <int Bytes>
uint32_t Entry(const void* Colors, uint32_t I) {
    return Load<Bytes>(static_cast<const uint8_t*>(Colors) + size_t(I) * Bytes);
}

// The index tables' entries: 16 bits wide at 15/16 bits, 32 bits wide on the other formats.
template <int N>
uint32_t IndexedEntry(const void* Colors, uint32_t I) {
    return N == 2 ? Entry<2>(Colors, I) : Entry<4>(Colors, I);
}

// Runs Pixel(channels, bytes per pixel constant, d&, index) -> bool (store) over the clipped
// unscaled draw of SrcRect of a Bits-bit Source (4 or 8) at (X, Y) on D.
template <int Bits, class F>
void WalkIndexed(TCustomDIBX& D, int32_t X, int32_t Y, TCustomDIBX& Source, const TRect& SrcRect, bool MirrorX,
                 bool MirrorY, F&& Pixel) {
    TBlit b;
    if (Source.GetBitCount() != Bits || !PrepareBlit(D, X, Y, Source, SrcRect, MirrorX, MirrorY, nullptr, true, b))
        return;
    WithFormat(D, [&](auto Ch, auto Bytes) {
        constexpr int N = decltype(Bytes)::value;
        const TDrawLocks locks(D, b.Dest.Left, b.Dest.Top, Source, b.SrcX, b.SrcY);
        if (!locks.Ok()) return;
        const ptrdiff_t dstep = D.GetNextLine(), sstep = ptrdiff_t(b.DirY) * Source.GetNextLine();
        const int32_t width = b.Dest.Right - b.Dest.Left;
        uint8_t* drow = locks.Dest();
        const uint8_t* srow = locks.Source();
        for (int32_t y = b.Dest.Top; y < b.Dest.Bottom; ++y, drow += dstep, srow += sstep) {
            TNibbleWalk nibbles(srow, b.SrcX, b.DirX);
            for (int32_t x = 0; x < width; ++x) {
                uint32_t index;
                if constexpr (Bits == 4) {
                    if (x) nibbles.Next();
                    index = nibbles.Get();
                } else {
                    index = srow[ptrdiff_t(x) * b.DirX];
                }
                uint8_t* d = drow + ptrdiff_t(x) * N;
                uint32_t v = Load<N>(d);
                if (Pixel(Ch, Bytes, v, index)) Store<N>(d, v);
            }
        }
    });
}

}  // namespace

void TCustomDIBX::DrawBlend(int32_t X, int32_t Y, TCustomDIBX& Source, const TRect& SrcRect, bool, bool MirrorX,
                            bool MirrorY, int32_t Blend, const int32_t* Colors) {
    if (!Colors || Blend == 256) return;
    const uint32_t alpha = ClampWeight(Blend, 255), intensity = ClampWeight(Blend - 256, 256);
    const int32_t key = Source.TransparentColor;
    WalkIndexed<4>(*this, X, Y, Source, SrcRect, MirrorX, MirrorY,
                   [&](const auto& Ch, auto Bytes, uint32_t& D, uint32_t Index) {
                       constexpr int N = decltype(Bytes)::value;
                       if constexpr (!kPacked<N>) {
                           return false;
                       } else {
                           if (int32_t(Index) == key) return false;
                           const uint32_t c = uint32_t(Colors[Index]) & kStorageMask<N>;
                           if (Blend == 255) {
                               D = c;
                           } else if (Blend > 255) {
                               // A full white destination has nothing left to take.
                               if (c == 0 || (N == 2 ? D == 0xFFFF : D >= 0x00FFFFFF)) return false;
                               D = Ch.Add(D, c, intensity);
                           } else {
                               if (D == c) return false;
                               D = Ch.Blend(D, c, alpha);
                           }
                           return true;
                       }
                   });
}

void TCustomDIBX::DrawIndexed(int32_t X, int32_t Y, TCustomDIBX& Source, const TRect& SrcRect, int32_t Threshold,
                              bool MirrorX, bool MirrorY, int32_t Intensity, const void* Colors) {
    if (!Colors || Intensity <= 0) return;
    const uint32_t intensity = ClampWeight(Intensity, 256), key = uint32_t(Source.TransparentColor);
    WalkIndexed<8>(*this, X, Y, Source, SrcRect, MirrorX, MirrorY,
                   [&](const auto& Ch, auto Bytes, uint32_t& D, uint32_t Index) {
                       constexpr int N = decltype(Bytes)::value;
                       // The packed formats skip by the threshold, the others draw above the key.
                       if (kPacked<N> ? int32_t(Index) < Threshold : Index <= key) return false;
                       D = Ch.Add(D, IndexedEntry<N>(Colors, Index), intensity);
                       return true;
                   });
}

void TCustomDIBX::StretchDrawIndexed(const TRect& DestRect, TCustomDIBX& Source, const TRect& SrcRect,
                                     int32_t Threshold, bool MirrorX, bool MirrorY, int32_t Intensity,
                                     const void* Colors) {
    const int bits = GetBitCount();
    if (!Colors || Intensity <= 0 || Source.GetBitCount() != 8 || (bits != 15 && bits != 16 && bits != 32)) return;
    TStretch p;
    if (!PlanStretch(*this, DestRect, Source, SrcRect, MirrorX, MirrorY, nullptr, false, p)) return;
    const uint32_t intensity = ClampWeight(Intensity, 256);
    WalkStretch(*this, Source, nullptr, p,
                [&](const auto& Ch, auto Bytes, uint8_t* Dst, const uint8_t* Src, const uint8_t*, const int32_t* Cols,
                    int32_t Count) {
                    constexpr int N = decltype(Bytes)::value;
                    for (int32_t i = 0; i < Count; ++i) {
                        const uint32_t index = Src[Cols[i]];
                        if (int32_t(index) < Threshold) continue;
                        uint8_t* d = Dst + ptrdiff_t(i) * N;
                        Store<N>(d, Ch.Add(Load<N>(d), IndexedEntry<N>(Colors, index), intensity));
                    }
                });
}
