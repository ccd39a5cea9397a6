#pragma once
// Pixel access and channel arithmetic shared by the draws of TCustomDIBX: raw values of 1 to 4
// bytes, the channels of each format, and the lock held for one draw.
#include "graphics/blendrow.h"
#include "graphics/dibx.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

namespace dibx {

template <int N>
uint32_t Load(const uint8_t* P) {
    if constexpr (N == 1) return P[0];
    if constexpr (N == 3) return uint32_t(P[0]) | uint32_t(P[1]) << 8 | uint32_t(P[2]) << 16;
    if constexpr (N == 2 || N == 4) {
        std::conditional_t<N == 2, uint16_t, uint32_t> v;
        std::memcpy(&v, P, N);
        return v;
    }
}

template <int N>
void Store(uint8_t* P, uint32_t V) {
    if constexpr (N == 1) P[0] = uint8_t(V);
    if constexpr (N == 3) P[0] = uint8_t(V), P[1] = uint8_t(V >> 8), P[2] = uint8_t(V >> 16);
    if constexpr (N == 2 || N == 4) {
        const std::conditional_t<N == 2, uint16_t, uint32_t> v = decltype(v)(V);
        std::memcpy(P, &v, N);
    }
}

// Channels given by masks (up to three); arithmetic in 64 bits so no field overflows.
struct TMaskedChannels {
    uint32_t Masks[3];
    int Count;

    // Per channel (d * (255 - W) + s * W) div 256, 0 <= W <= 255.
    uint32_t Blend(uint32_t D, uint32_t S, uint32_t W) const {
        uint32_t r = 0;
        for (int i = 0; i < Count; ++i) {
            const uint64_t m = Masks[i];
            r |= uint32_t((((D & m) * (255 - W) + (S & m) * W) >> 8) & m);
        }
        return r;
    }
    // Per channel d + (s * I) div 256 capped at the channel's maximum, 0 <= I <= 256.
    uint32_t Add(uint32_t D, uint32_t S, uint32_t I) const {
        uint32_t r = 0;
        for (int i = 0; i < Count; ++i) {
            const uint64_t m = Masks[i];
            r |= uint32_t(std::min<uint64_t>((D & m) + ((((S & m) * I) >> 8) & m), m));
        }
        return r;
    }
    // Per channel d - c floored at 0.
    uint32_t Sub(uint32_t D, uint32_t C) const {
        uint32_t r = 0;
        for (int i = 0; i < Count; ++i) {
            const uint32_t m = Masks[i], d = D & m, c = C & m;
            r |= d > c ? d - c : 0;
        }
        return r;
    }
};

// Four byte channels, two at a time in 16-bit lanes (no lane carries into the next).
struct TByteChannels {
    static constexpr uint32_t kLo = 0x00FF00FF;

    static uint32_t Blend(uint32_t D, uint32_t S, uint32_t W) { return BlendBytes(D, S, W); }
    static uint32_t AddLanes(uint32_t D, uint32_t T) {
        const uint32_t sum = D + T, over = sum & 0x01000100;
        return (sum | (over - (over >> 8))) & kLo;
    }
    static uint32_t Add(uint32_t D, uint32_t S, uint32_t I) {
        const uint32_t lo = (((S & kLo) * I) >> 8) & kLo;
        const uint32_t hi = ((((S >> 8) & kLo) * I) >> 8) & kLo;
        return AddLanes(D & kLo, lo) | AddLanes((D >> 8) & kLo, hi) << 8;
    }
    static uint32_t Sub(uint32_t D, uint32_t C) {
        uint32_t r = 0;
        for (int sh = 0; sh < 32; sh += 8) {
            const uint32_t d = (D >> sh) & 0xFF, c = (C >> sh) & 0xFF;
            r |= (d > c ? d - c : 0) << sh;
        }
        return r;
    }
};

template <int N>
constexpr uint32_t kStorageMask = N == 4 ? 0xFFFFFFFFu : (1u << (8 * N)) - 1;
// The routines that leave pixels already equal to the drawn value (15/16 and 32 bits).
template <int N>
constexpr bool kPacked = N == 2 || N == 4;

// Calls F(TChannels, std::integral_constant<int, bytes per pixel>) for the surface's format;
// nothing for 1 and 4 bits.
template <class F>
void WithFormat(const TCustomDIBX& D, F&& Fn) {
    using std::integral_constant;
    switch (D.GetBitCount()) {
    case 8: return Fn(TMaskedChannels{{0xFF, 0, 0}, 1}, integral_constant<int, 1>{});
    case 15:
    case 16:
    case 24: {
        const TMaskedChannels ch{{D.GetRBitMask(), D.GetGBitMask(), D.GetBBitMask()}, 3};
        return D.GetBitCount() == 24 ? Fn(ch, integral_constant<int, 3>{}) : Fn(ch, integral_constant<int, 2>{});
    }
    case 32: return Fn(TByteChannels{}, integral_constant<int, 4>{});
    default: return;
    }
}

// Lock held for one operation; a nil lock (or no surface) needs no Unlock.
class TLockGuard {
public:
    TLockGuard(TCustomDIBX& S, int32_t X, int32_t Y) : TLockGuard(&S, X, Y) {}
    TLockGuard(TCustomDIBX* S, int32_t X, int32_t Y) : s_(S), p_(S ? S->Lock(X, Y) : nullptr) {}
    ~TLockGuard() {
        if (p_) s_->Unlock();
    }
    TLockGuard(const TLockGuard&) = delete;
    TLockGuard& operator=(const TLockGuard&) = delete;
    uint8_t* Get() const { return p_; }

private:
    TCustomDIBX* s_;
    uint8_t* p_;
};

// A draw's destination, source and optional mask locked together, each at its first pixel drawn
// or read; Ok() when every lock held. Each lock taken is released when the draw ends.
class TDrawLocks {
public:
    TDrawLocks(TCustomDIBX& D, int32_t DX, int32_t DY, TCustomDIBX& S, int32_t SX, int32_t SY,
               TCustomDIBX* M = nullptr, int32_t MX = 0, int32_t MY = 0)
        : d_(D, DX, DY), s_(S, SX, SY), m_(M, MX, MY), masked_(M != nullptr) {}
    bool Ok() const { return d_.Get() && s_.Get() && (!masked_ || m_.Get()); }
    uint8_t* Dest() const { return d_.Get(); }
    uint8_t* Source() const { return s_.Get(); }
    uint8_t* Mask() const { return m_.Get(); }

private:
    TLockGuard d_, s_, m_;
    bool masked_;
};

// Sets a surface's clip rectangle for the life of the guard and puts the old one back.
class TClipGuard {
public:
    TClipGuard(TCustomDIBX& S, const TRect& R) : s_(S), saved_(S.ClipRect) { S.SetClipRectDirect(R); }
    ~TClipGuard() { s_.SetClipRectDirect(saved_); }
    TClipGuard(const TClipGuard&) = delete;
    TClipGuard& operator=(const TClipGuard&) = delete;

private:
    TCustomDIBX& s_;
    TRect saved_;
};

// A clipped unscaled draw: the destination rectangle and the first source pixel with its steps.
struct TBlit {
    TRect Dest;
    int32_t SrcX, SrcY;  // first source pixel read
    int32_t DirX, DirY;  // +1, or -1 when mirrored
};

// Clips the draw of SrcRect at (X, Y); Mask, when given, must be 8 bits. With CutToSource the
// source rectangle is first cut to the source (and mask) bounds; otherwise a source rectangle
// that reaches outside them after clipping draws nothing.
bool PrepareBlit(const TCustomDIBX& D, int32_t X, int32_t Y, const TCustomDIBX& S, TRect Src, bool MirrorX,
                 bool MirrorY, const TCustomDIBX* Mask, bool CutToSource, TBlit& B);

inline uint32_t ClampWeight(int32_t V, int32_t Max) { return uint32_t(std::clamp(V, 0, Max)); }

}  // namespace dibx
