// The antialiased monochrome draws of TCustomDIBX: an image rendered at N times its size (1-bit
// coverage or 4-bit colour classes) reduced by N, each destination pixel mixing the samples of
// one N x N cell. The counts of a cell become weights through a table made once per draw; the
// channels are the destination's masked fields at 15/16 bits and its bytes at 32 bits.
#include "graphics/dibx.h"
#include "graphics/dibx_pixel.h"

#include <algorithm>
#include <array>
#include <span>
#include <vector>

namespace {

using namespace dibx;

int64_t FloorDiv(int64_t A, int64_t B) { return A / B - (A % B != 0 && (A < 0) != (B < 0)); }

// The destination indices Lo <= i < Hi on one axis that are drawn: cell i has its N samples
// inside the source's [0, Size), and the destination position Pos + i lies on [ClipLo, ClipHi).
// Cell i starts at source sample First + i * N * Dir and walks by Dir.
struct TCellSpan {
    int64_t Lo, Hi, First, Dir;
};

TCellSpan CellSpan(int32_t Pos, int32_t SrcLo, int32_t SrcHi, bool Mirror, int32_t N, int32_t Size, int32_t ClipLo,
                   int32_t ClipHi) {
    const int64_t count = (int64_t(SrcHi) - SrcLo) / N;
    TCellSpan s{0, count, Mirror ? int64_t(SrcHi) - 1 : SrcLo, Mirror ? -1 : 1};
    if (Mirror) {
        s.Lo = std::max(s.Lo, -FloorDiv(int64_t(Size) - SrcHi, N));
        s.Hi = std::min(s.Hi, FloorDiv(SrcHi, N));
    } else {
        s.Lo = std::max(s.Lo, -FloorDiv(SrcLo, N));
        s.Hi = std::min(s.Hi, FloorDiv(int64_t(Size) - SrcLo, N));
    }
    s.Lo = std::max(s.Lo, int64_t(ClipLo) - Pos);
    s.Hi = std::min(s.Hi, int64_t(ClipHi) - Pos);
    return s;
}

template <int Bits>
uint32_t Sample(const uint8_t* Row, int64_t X) {
    if constexpr (Bits == 1) return Row[X >> 3] >> (7 - (X & 7)) & 1;
    if constexpr (Bits == 4) return X & 1 ? Row[X >> 1] & 0x0F : Row[X >> 1] >> 4;
}

// Per field m of Masks: min(sum of (Values[k] & m) * Weights[k] div Total, m), masked to m.
template <size_t K>
uint32_t MixFields(std::span<const uint32_t> Masks, const std::array<uint32_t, K>& Values,
                   const std::array<uint64_t, K>& Weights, uint64_t Total) {
    uint32_t r = 0;
    for (const uint64_t m : Masks) {
        uint64_t sum = 0;
        for (size_t k = 0; k < K; ++k) sum += (Values[k] & m) * Weights[k];
        r |= uint32_t(std::min(sum / Total, m) & m);
    }
    return r;
}

constexpr uint32_t kBytes[] = {0xFF, 0xFF00, 0xFF0000, 0xFF000000};

// Walks the cells of a reduction by N of SrcRect of a Bits-bit Source onto D at (X, Y):
// Count(first row, signed row step, first column, column step) gives a cell's counts, and
// Pixel(masks, bytes per pixel, d, counts) -> bool (store) applies them. Only 15-, 16- and
// 32-bit destinations are walked.
template <int Bits, class CountF, class PixelF>
void WalkCells(TCustomDIBX& D, int32_t X, int32_t Y, TCustomDIBX& Source, const TRect& SrcRect, bool MirrorX,
               bool MirrorY, int32_t N, CountF&& Count, PixelF&& Pixel) {
    if (N < 1 || N > 255 || Source.GetBitCount() != Bits) return;
    const TRect c = D.GetClipRect(), b = D.GetBoundsRect();
    const TCellSpan sx = CellSpan(X, SrcRect.Left, SrcRect.Right, MirrorX, N, Source.GetWidth(),
                                  std::max(c.Left, b.Left), std::min(c.Right, b.Right));
    const TCellSpan sy = CellSpan(Y, SrcRect.Top, SrcRect.Bottom, MirrorY, N, Source.GetHeight(),
                                  std::max(c.Top, b.Top), std::min(c.Bottom, b.Bottom));
    if (sx.Lo >= sx.Hi || sy.Lo >= sy.Hi) return;
    WithFormat(D, [&](auto Ch, auto Bytes) {
        constexpr int B = decltype(Bytes)::value;
        if constexpr (kPacked<B>) {
            std::span<const uint32_t> masks = kBytes;
            if constexpr (B == 2) masks = std::span<const uint32_t>(Ch.Masks, size_t(Ch.Count));
            TDrawLocks locks(D, 0, 0, Source, 0, 0);
            if (!locks.Ok()) return;
            const ptrdiff_t dStep = D.GetNextLine(), sStep = Source.GetNextLine();
            for (int64_t j = sy.Lo; j < sy.Hi; ++j) {
                uint8_t* row = locks.Dest() + (Y + j) * dStep + (X + sx.Lo) * B;
                const uint8_t* cellRow = locks.Source() + (sy.First + j * N * sy.Dir) * sStep;
                for (int64_t i = sx.Lo; i < sx.Hi; ++i, row += B) {
                    const auto counts = Count(cellRow, sStep * sy.Dir, sx.First + i * N * sx.Dir, sx.Dir);
                    uint32_t d = Load<B>(row);
                    if (Pixel(masks, Bytes, d, counts)) Store<B>(row, d);
                }
            }
        }
    });
}

}  // namespace

void TCustomDIBX::DrawMonoAntialias(int32_t X, int32_t Y, TCustomDIBX& Source, const TRect& SrcRect, int32_t Color,
                                    bool MirrorX, bool MirrorY, int32_t Alpha, int32_t N) {
    if (Alpha <= 0 || N < 1 || N > 255) return;
    const uint32_t area = uint32_t(N * N);
    std::vector<uint32_t> covered(area + 1);
    for (uint32_t k = 0; k <= area; ++k) covered[k] = Alpha < 255 ? k * uint32_t(Alpha) / 256 : k;
    WalkCells<1>(
        *this, X, Y, Source, SrcRect, MirrorX, MirrorY, N,
        [N](const uint8_t* Row, ptrdiff_t RowStep, int64_t Col, int64_t ColStep) {
            uint32_t clear = 0;
            for (int32_t r = 0; r < N; ++r, Row += RowStep)
                for (int32_t s = 0; s < N; ++s) clear += Sample<1>(Row, Col + s * ColStep) ^ 1;
            return clear;
        },
        [&](std::span<const uint32_t> Masks, auto Bytes, uint32_t& D, uint32_t Clear) {
            const uint32_t w = covered[Clear];
            if (w == 0) return false;
            const uint32_t color = uint32_t(Color) & kStorageMask<decltype(Bytes)::value>;
            D = MixFields<2>(Masks, {color, D}, {w, area - w}, area);
            return true;
        });
}

void TCustomDIBX::DrawMonoAntialiasEx(int32_t X, int32_t Y, TCustomDIBX& Source, const TRect& SrcRect,
                                      const int32_t* Colors, int32_t, bool MirrorX, bool MirrorY, int32_t Alpha,
                                      int32_t N) {
    if (!Colors || Alpha < 0 || N < 1 || N > 255) return;
    const uint32_t area = uint32_t(N * N);
    const uint64_t total = 256 * uint64_t(area);
    const uint32_t scale = Alpha == 255 ? 256 : uint32_t(Alpha % 256);
    std::vector<uint64_t> weight(area + 1);
    for (uint32_t k = 0; k <= area; ++k) weight[k] = uint64_t(k) * scale;
    using TCounts = std::array<uint32_t, 4>;
    WalkCells<4>(
        *this, X, Y, Source, SrcRect, MirrorX, MirrorY, N,
        [N](const uint8_t* Row, ptrdiff_t RowStep, int64_t Col, int64_t ColStep) {
            TCounts q{};
            for (int32_t r = 0; r < N; ++r, Row += RowStep)
                for (int32_t s = 0; s < N; ++s) ++q[Sample<4>(Row, Col + s * ColStep) & 3];
            return q;
        },
        [&](std::span<const uint32_t> Masks, auto Bytes, uint32_t& D, const TCounts& Q) {
            constexpr int B = decltype(Bytes)::value;
            if (Q[0] == area) return false;
            if (Alpha == 255 && (Q[1] == area || Q[2] == area)) {
                D = uint32_t(Colors[Q[1] == area ? 0 : 1]) & kStorageMask<B>;
                return true;
            }
            const uint64_t w1 = weight[Q[1]], w2 = weight[Q[2]], w3 = weight[Q[3]];
            const uint64_t w0 = B == 2 && Alpha > 255 ? total : total - w1 - w2 - w3;
            const std::array<uint32_t, 4> values{uint32_t(Colors[0]), uint32_t(Colors[1]), uint32_t(Colors[2]), D};
            if constexpr (B == 2)
                D = MixFields<4>(Masks, values, {w1, w2, w3, w0}, total);
            else
                D = MixFields<4>(Masks.first(3), values, {w1, w2, w3, w0}, total) | (D & 0xFF000000);
            return true;
        });
}
