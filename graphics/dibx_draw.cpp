// The fills and unscaled draws of TCustomDIBX, written once over Lock and the row step so that
// every surface kind runs them. Pixels are walked in raw memory; the channel arithmetic is fixed
// by the destination's format:
// - 15/16/24 bits: each channel masked in place with the destination's masks, so a term x div 256
//   of a field at bit p is ((x shifted to bit p) div 256) masked to the field;
// - 32 bits: the four bytes are four independent 8-bit channels (the fourth byte included);
// - 8 bits: the index byte is the one channel.
// The 15/16- and 32-bit routines leave a destination pixel that already equals the blended-in
// value where the blend would only darken it (mask, alpha-mask and colour-through-mask draws).
#include "graphics/dibx.h"
#include "graphics/blendrow.h"
#include "graphics/dibx_pixel.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <emmintrin.h>
#include <type_traits>
#include <typeinfo>

namespace {

using namespace dibx;

// ---- Rectangle fills ----

// Calls Pixel(uint32_t& d) -> bool (store) for every pixel of the clipped R.
template <class F>
void ForEachFillPixel(TCustomDIBX& D, const TRect& R, F&& Pixel) {
    TRect dest = R, src = R;
    if (!D.ClipBlitRectFlip(dest, src, false, false)) return;
    WithFormat(D, [&](auto Ch, auto Bytes) {
        constexpr int N = decltype(Bytes)::value;
        TLockGuard lock(D, dest.Left, dest.Top);
        if (!lock.Get()) return;
        const ptrdiff_t step = D.GetNextLine();
        uint8_t* row = lock.Get();
        for (int32_t y = dest.Top; y < dest.Bottom; ++y, row += step)
            for (int32_t x = 0; x < dest.Right - dest.Left; ++x) {
                uint32_t v = Load<N>(row + x * N);
                if (Pixel(Ch, v, N)) Store<N>(row + x * N, v);
            }
    });
}

}  // namespace

void TCustomDIBX::FillRect(const TRect& R, int32_t Color) {
    TRect dest = R, src = R;
    if (!ClipBlitRectFlip(dest, src, false, false)) return;
    WithFormat(*this, [&](auto, auto Bytes) {
        constexpr int N = decltype(Bytes)::value;
        TLockGuard lock(*this, dest.Left, dest.Top);
        if (!lock.Get()) return;
        // Rows in the order of their addresses (bottom-up storage steps back): the stores stream.
        const ptrdiff_t step = GetNextLine(), rows = dest.Bottom - dest.Top;
        uint8_t* row = step < 0 ? lock.Get() + (rows - 1) * step : lock.Get();
        const TRowFill fill(N, uint32_t(Color));
        fill(row, dest.Right - dest.Left, int32_t(rows), std::abs(step));
    });
}

void TCustomDIBX::FillRectAlpha(const TRect& R, int32_t Color, int32_t Alpha) {
    if (Alpha == 0) return;
    const uint32_t a = ClampWeight(Alpha, 255);
    ForEachFillPixel(*this, R, [&](const auto& Ch, uint32_t& D, int N) {
        const uint32_t c = uint32_t(Color) & (N == 4 ? 0xFFFFFFFFu : (1u << (8 * N)) - 1);
        if (D == c) return false;
        D = Ch.Blend(D, c, a);
        return true;
    });
}

void TCustomDIBX::FillRectAdd(const TRect& R, int32_t Color) {
    ForEachFillPixel(*this, R, [&](const auto& Ch, uint32_t& D, int) {
        D = Ch.Add(D, uint32_t(Color), 256);
        return true;
    });
}

void TCustomDIBX::FillRectSub(const TRect& R, int32_t Color) {
    ForEachFillPixel(*this, R, [&](const auto& Ch, uint32_t& D, int) {
        D = Ch.Sub(D, uint32_t(Color));
        return true;
    });
}

// ---- Unscaled draws ----

namespace {

// PrepareBlit within Limit, the rectangle of the source (and mask) that can be read, against the
// clip rectangle Clip.
inline bool PrepareBlitWithin(const TRect& Clip, int32_t X, int32_t Y, const TRect& Limit, TRect Src, bool MirrorX,
                              bool MirrorY, bool CutToSource, TBlit& B) {
    if (CutToSource) {
        const TRect cut = IntersectRects(Src, Limit);
        if (RectIsEmpty(cut)) return false;
        X += MirrorX ? Src.Right - cut.Right : cut.Left - Src.Left;
        Y += MirrorY ? Src.Bottom - cut.Bottom : cut.Top - Src.Top;
        Src = cut;
    }
    B.Dest = Bounds(X, Y, Src.Right - Src.Left, Src.Bottom - Src.Top);
    if (!TCustomDIBX::ClipBlitRectTo(Clip, B.Dest, Src, MirrorX, MirrorY)) return false;
    if (Src.Right - Src.Left != B.Dest.Right - B.Dest.Left || Src.Bottom - Src.Top != B.Dest.Bottom - B.Dest.Top ||
        IntersectRects(Src, Limit) != Src)
        return false;
    B.SrcX = MirrorX ? Src.Right - 1 : Src.Left;
    B.SrcY = MirrorY ? Src.Bottom - 1 : Src.Top;
    B.DirX = MirrorX ? -1 : 1;
    B.DirY = MirrorY ? -1 : 1;
    return true;
}

}  // namespace

bool dibx::PrepareBlit(const TCustomDIBX& D, int32_t X, int32_t Y, const TCustomDIBX& S, TRect Src, bool MirrorX,
                       bool MirrorY, const TCustomDIBX* Mask, bool CutToSource, TBlit& B) {
    if (Mask && Mask->GetBitCount() != 8) return false;
    TRect limit = S.GetBoundsRect();
    if (Mask) limit = IntersectRects(limit, Mask->GetBoundsRect());
    return PrepareBlitWithin(D.EffectiveClip(), X, Y, limit, Src, MirrorX, MirrorY, CutToSource, B);
}

namespace {

// The image of a memory surface (of TDIBX itself, whose locks are its image's rows) that has the
// surface's size and pixels; nullptr for any other surface.
TDIB* PlainImage(const TCustomDIBX* S) {
    if (!S || typeid(*S) != typeid(TDIBX)) return nullptr;
    TDIB* image = static_cast<const TDIBX*>(S)->DIB;
    return !image->Empty() && image->Width() == S->TCustomDIBX::GetWidth() &&
                   image->Height() == S->TCustomDIBX::GetHeight()
               ? image
               : nullptr;
}

// The address of pixel (X, Y), inside the image, of Bytes bytes a pixel.
const uint8_t* PixelAt(const TDIB& Image, int32_t X, int32_t Y, int Bytes) {
    return Image.TopPBitsReadOnly() + ptrdiff_t(Y) * Image.NextLine() + ptrdiff_t(X) * Bytes;
}

// Runs Block(Channels, bytes per pixel constant, TRowBlock) on the rows of a clipped draw of
// Source (or of the mask alone when Source is null) into D.
template <class F>
void WalkBlock(TCustomDIBX& D, int32_t X, int32_t Y, TCustomDIBX* Source, const TRect& SrcRect, bool MirrorX,
               bool MirrorY, TCustomDIBX* Mask, F&& Block) {
    TBlit b;
    const TDIB* source = PlainImage(Source);
    const TDIB* mask = PlainImage(Mask);
    TDIB* dest = PlainImage(&D);
    if (source && dest && source->BitCount() >= 8 && (!Mask || mask)) {
        // Memory surfaces (most draws, many of them small): the rows are found in their images,
        // without the virtual calls and locks of the surfaces; the source and the mask are read
        // where they lie.
        const int bytes = (source->BitCount() + 7) / 8;
        if (bytes != (dest->BitCount() + 7) / 8 || (mask && mask->BitCount() != 8)) return;
        TRect limit{0, 0, source->Width(), source->Height()};
        if (mask) limit = IntersectRects(limit, {0, 0, mask->Width(), mask->Height()});
        if (!PrepareBlitWithin(D.EffectiveClip(), X, Y, limit, SrcRect, MirrorX, MirrorY, true, b)) return;
        WithFormat(D, [&](auto Ch, auto Bytes) {
            Block(Ch, Bytes,
                  TRowBlock{dest->ScanLine(b.Dest.Top) + ptrdiff_t(b.Dest.Left) * bytes,
                            PixelAt(*source, b.SrcX, b.SrcY, bytes), mask ? PixelAt(*mask, b.SrcX, b.SrcY, 1) : nullptr,
                            b.Dest.Right - b.Dest.Left, b.DirX, b.Dest.Bottom - b.Dest.Top, dest->NextLine(),
                            ptrdiff_t(b.DirY) * source->NextLine(), mask ? ptrdiff_t(b.DirY) * mask->NextLine() : 0});
        });
        return;
    }
    TCustomDIBX& s = Source ? *Source : *Mask;
    if (Source && Source->BytesPerPixel() != D.BytesPerPixel()) return;
    if (!PrepareBlit(D, X, Y, s, SrcRect, MirrorX, MirrorY, Mask, Source != nullptr, b)) return;
    WithFormat(D, [&](auto Ch, auto Bytes) {
        const TDrawLocks locks(D, b.Dest.Left, b.Dest.Top, s, b.SrcX, b.SrcY, Source ? Mask : nullptr, b.SrcX,
                               b.SrcY);
        if (!locks.Ok()) return;
        const uint8_t* maskBits = !Mask ? nullptr : Source ? locks.Mask() : locks.Source();
        Block(Ch, Bytes,
              TRowBlock{locks.Dest(), Source ? locks.Source() : nullptr, maskBits, b.Dest.Right - b.Dest.Left, b.DirX,
                        b.Dest.Bottom - b.Dest.Top, D.GetNextLine(),
                        Source ? ptrdiff_t(b.DirY) * Source->GetNextLine() : 0,
                        Mask ? ptrdiff_t(b.DirY) * Mask->GetNextLine() : 0});
    });
}

// Runs Row(Channels, bytes per pixel constant, TRowBlock beginning at the row) on each row.
template <class F>
void WalkRows(TCustomDIBX& D, int32_t X, int32_t Y, TCustomDIBX* Source, const TRect& SrcRect, bool MirrorX,
              bool MirrorY, TCustomDIBX* Mask, F&& Row) {
    WalkBlock(D, X, Y, Source, SrcRect, MirrorX, MirrorY, Mask, [&](const auto& Ch, auto Bytes, const TRowBlock& B) {
        ForEachRow(B, [&](const TRowBlock& R) { Row(Ch, Bytes, R); });
    });
}

// Runs Pixel(Channels, uint32_t& d, uint32_t s, uint32_t m, bytes per pixel constant) -> bool
// (store) over a row. m is the mask value, 255 without one.
template <class C, class B, class F>
void PixelRow(const C& Ch, B Bytes, const TRowBlock& R, F&& Pixel) {
    constexpr int N = B::value;
    for (int32_t x = 0; x < R.Width; ++x) {
        uint32_t d = Load<N>(R.Dst + x * N);
        const uint32_t sv = R.Src ? Load<N>(R.Src + ptrdiff_t(x) * R.Dir * N) : 0;
        const uint32_t m = R.Mask ? R.Mask[ptrdiff_t(x) * R.Dir] : 255;
        if (Pixel(Ch, d, sv, m, Bytes)) Store<N>(R.Dst + x * N, d);
    }
}

// WalkRows with PixelRow on every row.
template <class F>
void WalkBlit(TCustomDIBX& D, int32_t X, int32_t Y, TCustomDIBX* Source, const TRect& SrcRect, bool MirrorX,
              bool MirrorY, TCustomDIBX* Mask, F&& Pixel) {
    WalkRows(D, X, Y, Source, SrcRect, MirrorX, MirrorY, Mask,
             [&](const auto& Ch, auto Bytes, const TRowBlock& R) { PixelRow(Ch, Bytes, R, Pixel); });
}

}  // namespace

void TCustomDIBX::Draw(int32_t X, int32_t Y, TCustomDIBX& Source, const TRect& SrcRect, bool Transparent,
                       bool MirrorX, bool MirrorY) {
    const uint32_t key = uint32_t(Source.TransparentColor);
    if (!Transparent && !MirrorX) {
        // Plain forward rows: block copies.
        TBlit b;
        if (Source.BytesPerPixel() != BytesPerPixel() || GetBitCount() < 8 ||
            !PrepareBlit(*this, X, Y, Source, SrcRect, false, MirrorY, nullptr, true, b))
            return;
        const TDrawLocks locks(*this, b.Dest.Left, b.Dest.Top, Source, b.SrcX, b.SrcY);
        if (!locks.Ok()) return;
        const size_t bytes = size_t(b.Dest.Right - b.Dest.Left) * size_t(BytesPerPixel());
        const ptrdiff_t sstep = ptrdiff_t(b.DirY) * Source.GetNextLine();
        uint8_t* d = locks.Dest();
        const uint8_t* s = locks.Source();
        for (int32_t y = b.Dest.Top; y < b.Dest.Bottom; ++y, d += GetNextLine(), s += sstep) std::memmove(d, s, bytes);
        return;
    }
    WalkBlit(*this, X, Y, &Source, SrcRect, MirrorX, MirrorY, nullptr,
             [&](const auto&, uint32_t& D, uint32_t S, uint32_t, auto Bytes) {
                 constexpr int N = decltype(Bytes)::value;
                 // The key at the storage width; a 24-bit pixel matches only a key within 24 bits.
                 if (Transparent && (N == 3 ? S == key : S == (key & kStorageMask<N>))) return false;
                 D = S;
                 return true;
             });
}

void TCustomDIBX::DrawMask(int32_t X, int32_t Y, TCustomDIBX& Source, const TRect& SrcRect, bool MirrorX,
                           bool MirrorY, TCustomDIBX& Mask) {
    WalkBlock(*this, X, Y, &Source, SrcRect, MirrorX, MirrorY, &Mask,
              [&](const auto& Ch, auto Bytes, const TRowBlock& B) {
        if constexpr (decltype(Bytes)::value == 4)
            MaskRows32(B);
        else
            ForEachRow(B, [&](const TRowBlock& R) {
                PixelRow(Ch, Bytes, R, [&](const auto& C, uint32_t& D, uint32_t S, uint32_t M, auto) {
                    if (M == 0 || (kPacked<decltype(Bytes)::value> && D == S)) return false;
                    D = M == 255 ? S : C.Blend(D, S, M);
                    return true;
                });
            });
    });
}

void TCustomDIBX::DrawAlpha(int32_t X, int32_t Y, TCustomDIBX& Source, const TRect& SrcRect, bool Transparent,
                            bool MirrorX, bool MirrorY, int32_t Alpha) {
    if (Alpha == 0) return;
    const uint32_t a = ClampWeight(Alpha, 255);
    const uint32_t key = uint32_t(Source.TransparentColor);
    WalkBlock(*this, X, Y, &Source, SrcRect, MirrorX, MirrorY, nullptr,
              [&](const auto& Ch, auto Bytes, const TRowBlock& B) {
        // 32-bit surfaces honour the key only when asked; the others always.
        const bool keyed = decltype(Bytes)::value != 4 || Transparent;
        if constexpr (decltype(Bytes)::value == 4)
            if (!keyed) return AlphaRows32(B, a);
        ForEachRow(B, [&](const TRowBlock& R) {
            PixelRow(Ch, Bytes, R, [&](const auto& C, uint32_t& D, uint32_t S, uint32_t, auto) {
                if ((keyed && S == key) || D == S) return false;
                D = C.Blend(D, S, a);
                return true;
            });
        });
    });
}

void TCustomDIBX::DrawAlphaMask(int32_t X, int32_t Y, TCustomDIBX& Source, const TRect& SrcRect, bool MirrorX,
                                bool MirrorY, TCustomDIBX& Mask, int32_t Alpha) {
    if (Alpha == 0) return;
    const uint32_t a = ClampWeight(Alpha, 255);
    WalkBlock(*this, X, Y, &Source, SrcRect, MirrorX, MirrorY, &Mask,
              [&](const auto& Ch, auto Bytes, const TRowBlock& B) {
        if constexpr (decltype(Bytes)::value == 4)
            AlphaMaskRows32(B, a);
        else
            ForEachRow(B, [&](const TRowBlock& R) {
                PixelRow(Ch, Bytes, R, [&](const auto& C, uint32_t& D, uint32_t S, uint32_t M, auto) {
                    if (M == 0 || (kPacked<decltype(Bytes)::value> && D == S)) return false;
                    D = C.Blend(D, S, M * a / 256);
                    return true;
                });
            });
    });
}

void TCustomDIBX::DrawAdd(int32_t X, int32_t Y, TCustomDIBX& Source, const TRect& SrcRect, bool, bool MirrorX,
                          bool MirrorY, int32_t Intensity) {
    if (Intensity == 0) return;
    const uint32_t i = ClampWeight(Intensity, 256);
    const uint32_t key = uint32_t(Source.TransparentColor);
    WalkBlit(*this, X, Y, &Source, SrcRect, MirrorX, MirrorY, nullptr,
             [&](const auto& Ch, uint32_t& D, uint32_t S, uint32_t, auto Bytes) {
                 if (S == key) return false;
                 // Masks of 8 bits add their raw values.
                 D = decltype(Bytes)::value == 1 ? std::min(D + S, 255u) : Ch.Add(D, S, i);
                 return true;
             });
}

void TCustomDIBX::DrawAddMask(int32_t X, int32_t Y, TCustomDIBX& Source, const TRect& SrcRect, bool MirrorX,
                              bool MirrorY, TCustomDIBX& Mask, int32_t Intensity) {
    if (Intensity == 0) return;
    const uint32_t i = ClampWeight(Intensity, 256);
    WalkBlit(*this, X, Y, &Source, SrcRect, MirrorX, MirrorY, &Mask,
             [&](const auto& Ch, uint32_t& D, uint32_t S, uint32_t M, auto) {
                 if (M == 0) return false;
                 D = Ch.Add(D, S, M * i / 256);
                 return true;
             });
}

void TCustomDIBX::DrawAlphaMaskKeyed(int32_t X, int32_t Y, TCustomDIBX& Mask, const TRect& SrcRect, bool MirrorX,
                                     bool MirrorY, int32_t Color, int32_t Alpha) {
    if (Alpha <= 0) return;
    auto pixel = [&](const auto& Ch, uint32_t& D, uint32_t, uint32_t M, auto Bytes) {
        constexpr int N = decltype(Bytes)::value;
        const uint32_t c = uint32_t(Color) & kStorageMask<N>;
        if (M == 0) return false;
        uint32_t w = M * uint32_t(std::min(Alpha, 255)) / 256;
        if constexpr (kPacked<N>) {
            if (D == c) return false;
            if (Alpha >= 255)
                w = M;
            else if (N == 4 && M == 255)
                w = uint32_t(Alpha);
        }
        D = Ch.Blend(D, c, w);
        return true;
    };
    WalkRows(*this, X, Y, nullptr, SrcRect, MirrorX, MirrorY, &Mask,
             [&](const auto& Ch, auto Bytes, const TRowBlock& R) {
        if (R.Dir < 0) return PixelRow(Ch, Bytes, R, pixel);
        // Forward rows, four pixels a step: a run of four clear mask bytes is passed whole, and at
        // 32 bits the four are blended in SSE2 16-bit lanes, where every d * (255 - w) + c * w
        // fits, so the lanes give the one-pixel rule's values exactly.
        constexpr int N = decltype(Bytes)::value;
        for (int32_t x = 0; x < R.Width;) {
            uint32_t four;
            if (x + 4 <= R.Width && (std::memcpy(&four, R.Mask + x, 4), four == 0)) {
                x += 4;
                continue;
            }
            if constexpr (N == 4) {
                if (x + 4 <= R.Width) {
                    // The four weights in 16-bit lanes, each then spread over its pixel's four.
                    uint64_t w = 0;
                    for (int i = 0; i < 4; ++i) {
                        const uint32_t m = R.Mask[x + i];
                        w |= uint64_t(Alpha >= 255 ? m : m == 255 ? uint32_t(Alpha) : m * uint32_t(Alpha) / 256)
                             << (16 * i);
                    }
                    const __m128i w4 = _mm_cvtsi64_si128(int64_t(w)), wPairs = _mm_unpacklo_epi16(w4, w4);
                    uint8_t* d = R.Dst + ptrdiff_t(x) * 4;
                    const __m128i zero = _mm_setzero_si128(), c = _mm_set1_epi32(Color);
                    const __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d));
                    const __m128i wLo = _mm_unpacklo_epi32(wPairs, wPairs), wHi = _mm_unpackhi_epi32(wPairs, wPairs);
                    const __m128i full = _mm_set1_epi16(255), cLo = _mm_unpacklo_epi8(c, zero);
                    auto blend = [&](__m128i D, __m128i W) {
                        return _mm_srli_epi16(
                            _mm_add_epi16(_mm_mullo_epi16(D, _mm_sub_epi16(full, W)), _mm_mullo_epi16(cLo, W)), 8);
                    };
                    const __m128i mixed = _mm_packus_epi16(blend(_mm_unpacklo_epi8(dv, zero), wLo),
                                                           blend(_mm_unpackhi_epi8(dv, zero), wHi));
                    const __m128i mv =
                        _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(int32_t(four)), zero), zero);
                    const __m128i keep = _mm_or_si128(_mm_cmpeq_epi32(mv, zero), _mm_cmpeq_epi32(dv, c));
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(d),
                                     _mm_or_si128(_mm_and_si128(keep, dv), _mm_andnot_si128(keep, mixed)));
                    x += 4;
                    continue;
                }
            }
            for (const int32_t end = std::min(x + 4, R.Width); x < end; ++x) {
                uint8_t* d = R.Dst + ptrdiff_t(x) * N;
                uint32_t v = Load<N>(d);
                if (pixel(Ch, v, 0, R.Mask[x], Bytes)) Store<N>(d, v);
            }
        }
    });
}
