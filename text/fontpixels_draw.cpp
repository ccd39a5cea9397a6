// Drawing a glyph: its 8-bit coverage put into a colour surface and an 8-bit mask, with border,
// drop shadow, underline and strike-out. The per-pixel workers walk the coverage rows beside the
// destination rows through their row steps; colour goes only into 15-, 16- and 32-bit surfaces,
// blended per red, green and blue field (the fourth byte of a 32-bit pixel ends 0 in a blend).
#include "text/fontpixels.h"

#include "core/streams.h"
#include "graphics/dibx_pixel.h"

#include <algorithm>
#include <cstring>
#include <emmintrin.h>
#include <cstdint>
#include <span>
#include <type_traits>
#include <vector>

namespace {

using dibx::Load;
using dibx::Store;
using dibx::TMaskedChannels;

// Where a worker may write: the clip rectangle of Dest within its bounds, and within Mask's
// bounds when one is written beside it.
TRect DrawArea(const TCustomDIBX& Dest, const TCustomDIBX* Mask) {
    TRect r = IntersectRects(Dest.GetClipRect(), Dest.GetBoundsRect());
    if (Mask) r = IntersectRects(r, Mask->GetBoundsRect());
    return r;
}

// The box of W x H at (X, Y) inflated by B, cut to Area; empty when nothing is left.
TRect CutBox(int64_t X, int64_t Y, int64_t W, int64_t H, int64_t B, const TRect& Area) {
    const TRect r{int32_t(std::max<int64_t>(X - B, Area.Left)), int32_t(std::max<int64_t>(Y - B, Area.Top)),
                  int32_t(std::min<int64_t>(X + W + B, Area.Right)),
                  int32_t(std::min<int64_t>(Y + H + B, Area.Bottom))};
    return RectIsEmpty(r) ? TRect{0, 0, 0, 0} : r;
}

// The red, green and blue bytes of a 32-bit pixel at their usual places: a blend per byte, with
// the fourth byte ending 0 as in the masked blend.
struct TRgbBytes {
    static uint32_t Blend(uint32_t D, uint32_t S, uint32_t W) { return BlendBytes(D, S, W) & 0x00FFFFFF; }
};

// Calls Fn(channels, std::integral_constant<int, bytes per pixel>) for a 15-, 16- or 32-bit
// surface; nothing for other depths.
template <class F>
void WithColourFormat(const TCustomDIBX& D, F&& Fn) {
    const TMaskedChannels ch{{D.GetRBitMask(), D.GetGBitMask(), D.GetBBitMask()}, 3};
    switch (D.GetBitCount()) {
    case 15:
    case 16: return Fn(ch, std::integral_constant<int, 2>{});
    case 32:
        if (ch.Masks[0] == 0xFF0000 && ch.Masks[1] == 0xFF00 && ch.Masks[2] == 0xFF)
            return Fn(TRgbBytes{}, std::integral_constant<int, 4>{});
        return Fn(ch, std::integral_constant<int, 4>{});
    default: return;
    }
}

// A raw colour cut to the storage width of an N-byte pixel.
template <int N>
uint32_t Raw(int32_t Color) {
    return uint32_t(Color) & dibx::kStorageMask<N>;
}

// Calls Row(g, d, m, count) for every row of the 8-bit Glyph placed at (X, Y) that falls on
// Dest's draw area: g the row's first coverage byte, d Dest's first pixel (N bytes), m Mask's
// (nullptr without a Mask). A Mask must be 8-bit.
template <int N, class F>
void WalkGlyphRows(TCustomDIBX& Glyph, int32_t X, int32_t Y, TCustomDIBX& Dest, TCustomDIBX* Mask, F&& Row) {
    if (Glyph.GetBitCount() != 8 || (Mask && Mask->GetBitCount() != 8)) return;
    const TRect box = CutBox(X, Y, Glyph.GetWidth(), Glyph.GetHeight(), 0, DrawArea(Dest, Mask));
    if (RectIsEmpty(box)) return;
    dibx::TDrawLocks locks(Dest, box.Left, box.Top, Glyph, box.Left - X, box.Top - Y, Mask, box.Left, box.Top);
    if (!locks.Ok()) return;
    const ptrdiff_t dStep = Dest.GetNextLine(), gStep = Glyph.GetNextLine(), mStep = Mask ? Mask->GetNextLine() : 0;
    const int32_t width = box.Right - box.Left;
    uint8_t *dRow = locks.Dest(), *mRow = locks.Mask();
    const uint8_t* gRow = locks.Source();
    for (int32_t y = box.Top; y < box.Bottom; ++y, dRow += dStep, gRow += gStep, mRow += mStep)
        Row(gRow, dRow, mRow, width);
}

// Calls Fn(c, d, m) for every covered pixel (c != 0) of WalkGlyphRows' rows: d addresses Dest's
// pixel, m Mask's (nullptr without a Mask).
template <int N, class F>
void WalkCovered(TCustomDIBX& Glyph, int32_t X, int32_t Y, TCustomDIBX& Dest, TCustomDIBX* Mask, F&& Fn) {
    WalkGlyphRows<N>(Glyph, X, Y, Dest, Mask, [&](const uint8_t* G, uint8_t* D, uint8_t* M, int32_t Count) {
        for (int32_t i = 0; i < Count; ++i)
            if (const uint8_t c = G[i]) Fn(c, D + ptrdiff_t(i) * N, M ? M + i : nullptr);
    });
}

// Count coverage bytes G[i] put into D[i] by Fn(c, d), 16 at a time in SSE2 (Fn16 over __m128i);
// Fn16 must give Fn's bytes lane by lane.
template <class F, class F16>
void ByteRow(const uint8_t* G, uint8_t* D, int32_t Count, F&& Fn, F16&& Fn16) {
    int32_t i = 0;
    for (; i + 16 <= Count; i += 16) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(G + i));
        __m128i* d = reinterpret_cast<__m128i*>(D + i);
        _mm_storeu_si128(d, Fn16(c, _mm_loadu_si128(d)));
    }
    for (; i < Count; ++i) D[i] = Fn(G[i], D[i]);
}

// The coverage surface of a glyph, locked by the workers for reading only.
TCustomDIBX& Coverage(const TFontPixel& G) { return const_cast<TDIBX&>(G.Surface); }

// X div 255 for 0 <= X <= 255 * 255, without a division.
constexpr uint32_t Div255(uint32_t X) { return (X + 1 + (X >> 8)) >> 8; }

// N div M for 0 <= N <= 255 * 255 and 1 <= M <= 255 through M's reciprocal rounded up, exact
// over that range.
struct TReciprocals {
    uint64_t Of[256]{};
    constexpr TReciprocals() {
        for (uint32_t m = 1; m < 256; ++m) Of[m] = ((uint64_t(1) << 32) + m - 1) / m;
    }
    uint32_t Divide(uint32_t N, uint32_t M) const { return uint32_t((N * Of[M]) >> 32); }
};
constexpr TReciprocals kReciprocals;

// Straight-alpha "over" of Color at coverage C onto the pixel D with its mask value M.
template <int N, class Channels>
void OverPixel(const Channels& Ch, uint8_t* D, uint8_t* M, uint32_t C, uint32_t Color) {
    if (C == 255) {
        Store<N>(D, Color);
        *M = 255;
        return;
    }
    const uint32_t m = *M + Div255((255u - *M) * C);
    *M = uint8_t(m);
    Store<N>(D, Ch.Blend(Load<N>(D), Color, m ? kReciprocals.Divide(C * 255, m) : 255));
}

// The smallest rectangle holding Into and R; an empty R adds nothing, an empty Into is replaced.
void JoinRect(TRect& Into, const TRect& R) {
    if (RectIsEmpty(R)) return;
    if (RectIsEmpty(Into)) {
        Into = R;
        return;
    }
    Into = {std::min(Into.Left, R.Left), std::min(Into.Top, R.Top), std::max(Into.Right, R.Right),
            std::max(Into.Bottom, R.Bottom)};
}

// N / D rounded to the nearest integer, a half to the even one (D != 0).
int64_t DivRoundEven(int64_t N, int64_t D) {
    if (D < 0) N = -N, D = -D;
    int64_t q = N / D, r = N % D;
    if (r < 0) --q, r += D;
    if (2 * r > D || (2 * r == D && (q & 1))) ++q;
    return q;
}

// How far right of its own place the glyph's box moves so that it sits where the character's
// a, b, c widths put it in a cell of CellWidth; 0 when the glyph fills its room already or its
// widths cannot be measured.
int32_t CentringShift(const TFontPixel& G, int32_t CellWidth) {
    const int32_t avail = std::min(CellWidth, G.Size) - G.GetWidth();
    platform::AbcWidths abc;
    if (G.OffsetX + G.TrailingSpace >= avail || !G.Manager ||
        !G.Manager->GetCharAbcWidths(G.Code, G.FaceName, G.Style, G.Size, abc))
        return 0;
    const int64_t a = abc.a, b = abc.b, c = abc.c;
    const int64_t shift = a + c == 0 || a + b + c == 0 ? avail / 2 : DivRoundEven((a + b / 2) * avail, a + b + c);
    return int32_t(std::max<int64_t>(0, shift - G.OffsetX));
}

// A glyph's coverage as the border reads it: per row, the last full (255) column at or left of
// each column, and the partly covered columns in order.
class TSquareCoverage {
public:
    struct TPartial {
        int32_t X;
        uint8_t C;
    };

    TSquareCoverage(const uint8_t* Bits, ptrdiff_t Step, int32_t W, int32_t H)
        : bits_(Bits), step_(Step), w_(W), h_(H), lastFull_(size_t(W) * size_t(H)), rowStart_(size_t(H) + 1),
          partialsAbove_(size_t(W) * (size_t(H) + 1)), partialsLeft_(size_t(W + 1) * size_t(H)) {
        for (int32_t r = 0; r < H; ++r) {
            rowStart_[size_t(r)] = partials_.size();
            int32_t last = -1;
            for (int32_t x = 0; x < W; ++x) {
                const uint8_t c = At(x, r);
                if (c == 255) last = x;
                else if (c != 0) partials_.push_back({x, c});
                lastFull_[size_t(r) * size_t(W) + size_t(x)] = last;
                const size_t at = size_t(r) * size_t(W) + size_t(x);
                partialsAbove_[at + size_t(W)] = partialsAbove_[at] + (c != 0 && c != 255);
                partialsLeft_[at + size_t(r) + 1] = partialsLeft_[at + size_t(r)] + (c != 0 && c != 255);
            }
        }
        rowStart_[size_t(H)] = partials_.size();
    }

    int32_t Width() const { return w_; }
    int32_t Height() const { return h_; }
    uint8_t At(int32_t X, int32_t Row) const { return bits_[Row * step_ + X]; }
    // The last full column of Row at or left of X (< width), -1 for none.
    int32_t LastFull(int32_t Row, int32_t X) const {
        return X < 0 ? -1 : lastFull_[size_t(Row) * size_t(w_) + size_t(X)];
    }
    // The partly covered pixels of Row from column X on.
    std::span<const TPartial> PartialsFrom(int32_t Row, int32_t X) const {
        const auto first = partials_.begin() + std::ptrdiff_t(rowStart_[size_t(Row)]);
        const auto last = partials_.begin() + std::ptrdiff_t(rowStart_[size_t(Row) + 1]);
        return {std::lower_bound(first, last, X, [](const TPartial& P, int32_t V) { return P.X < V; }), last};
    }
    // Whether Row holds a partly covered pixel in columns A..B (0 <= A, B < width).
    bool HasPartial(int32_t Row, int32_t A, int32_t B) const {
        const size_t row = size_t(Row) * size_t(w_ + 1);
        return A <= B && partialsLeft_[row + size_t(B) + 1] != partialsLeft_[row + size_t(A)];
    }
    // Whether column X (< width) holds a partly covered pixel in rows First..Last.
    bool ColumnHasPartial(int32_t X, int32_t First, int32_t Last) const {
        return First <= Last && partialsAbove_[size_t(Last + 1) * size_t(w_) + size_t(X)] !=
                                    partialsAbove_[size_t(First) * size_t(w_) + size_t(X)];
    }

private:
    const uint8_t* bits_;
    ptrdiff_t step_;
    int32_t w_, h_;
    std::vector<int32_t> lastFull_;
    std::vector<size_t> rowStart_;
    std::vector<TPartial> partials_;
    std::vector<int32_t> partialsAbove_;  // per row and column: the partly covered pixels of the column above
    std::vector<int32_t> partialsLeft_;   // per row and column: the partly covered pixels of the row left of it
};

// The border of one glyph, target pixel by target pixel, a column at a time. A target whose square
// holds a full pixel ends as the border colour laid over by the partly covered pixels after the
// last full one; that answer depends only on where that pixel is, the square's columns and its
// last row, so it is kept and taken again by the target below or to the right when the row or
// column its square takes in, or the column it lets go, holds no partly covered pixel that counts.
template <int N, class Channels>
class TBorderPainter {
public:
    TBorderPainter(const Channels& Ch, const TSquareCoverage& Glyph, int32_t B, uint32_t Color, int32_t Rows)
        : ch_(Ch), g_(Glyph), b_(B), color_(Color), fullUpTo_(size_t(Glyph.Height())),
          partialFrom_(size_t(Glyph.Height()) + 1), known_(size_t(Rows)) {}

    // The target column GX (in glyph columns) whose targets are painted next.
    void StartColumn(int64_t GX) {
        gx_ = GX;
        const int32_t a = int32_t(std::max<int64_t>(GX - b_, 0));
        const int32_t z = int32_t(std::min<int64_t>(GX + b_, g_.Width() - 1));
        leftA_ = a_, leftZ_ = z_;
        if (a == a_ && z == z_) return;
        a_ = a, z_ = z;
        const int32_t h = g_.Height();
        for (int32_t r = 0; r < h; ++r)
            fullUpTo_[size_t(r)] = g_.LastFull(r, z) >= a ? r : r > 0 ? fullUpTo_[size_t(r) - 1] : -1;
        partialFrom_[size_t(h)] = h;
        for (int32_t r = h; r-- > 0;)
            partialFrom_[size_t(r)] = g_.HasPartial(r, a, z) ? r : partialFrom_[size_t(r) + 1];
    }

    // The target at glyph row GY, the I-th of its column, with its pixel D and mask value M; how
    // many targets below it end as it does, their squares taking in no other row and letting go
    // none up to its last full pixel's, none of them covered.
    int64_t Paint(int64_t GY, int32_t I, uint8_t* D, uint8_t* M) {
        const int32_t first = int32_t(std::max<int64_t>(GY - b_, 0));
        const int32_t last = int32_t(std::min<int64_t>(GY + b_, g_.Height() - 1));
        const bool inside = gx_ >= 0 && gx_ < g_.Width() && GY >= 0 && GY < g_.Height();
        const uint8_t c = inside ? g_.At(int32_t(gx_), int32_t(GY)) : 0;
        gy_ = GY;
        // The last full pixel of the square in row order, the target itself left out.
        int32_t row = fullUpTo_[size_t(last)], col = row >= first ? g_.LastFull(row, z_) : -1;
        if (c == 255 && row == GY && col == gx_) {
            col = g_.LastFull(row, int32_t(gx_) - 1);
            if (col < a_) {
                row = GY > 0 ? fullUpTo_[size_t(GY) - 1] : -1;
                col = row >= first ? g_.LastFull(row, z_) : -1;
            }
        }
        if (row < first || col < a_) {
            // No full pixel: the partly covered ones go over what is there, if any.
            const int32_t from = partialFrom_[size_t(first)];
            if (from <= last) LayOver(D, M, from, a_, last);
            return 0;
        }
        // A partly covered target leaves itself out: its answer is its own.
        const bool own = c != 0 && c != 255;
        TKnown& here = known_[size_t(I)];
        const TKnown* above = I > 0 ? &known_[size_t(I) - 1] : nullptr;
        const TKnown* same = own                                        ? nullptr
                             : above && SameAbove(*above, row, col, last) ? above
                             : SameLeft(here, row, col, last)           ? &here
                                                                        : nullptr;
        if (same) {
            std::memcpy(D, same->Pixel, N);
            *M = 255;
            if (same != &here) std::memcpy(here.Pixel, same->Pixel, N);
        } else {
            OverPixel<N>(ch_, D, M, 255, color_);
            LayOver(D, M, row, col + 1, last);
            if (own) return 0;
            std::memcpy(here.Pixel, D, N);
        }
        here.Gx = gx_, here.Row = row, here.Col = col, here.Last = last;
        if (last < g_.Height() - 1 || c != 0) return 0;
        int64_t end = int64_t(row) + b_;
        if (gx_ >= 0 && gx_ < g_.Width())
            for (int64_t y = std::max<int64_t>(GY + 1, 0); y <= end && y < g_.Height(); ++y)
                if (g_.At(int32_t(gx_), int32_t(y))) end = y - 1;
        return end - GY;
    }

private:
    struct TKnown {
        int64_t Gx = INT64_MIN;
        int32_t Row = -1, Col = -1, Last = -1;
        uint8_t Pixel[4]{};
    };

    // Whether K, the answer of the target above in this column, holds for a square whose last full
    // pixel is (Col, Row) and whose last row is Last: the rows taken in since hold no partly
    // covered pixel in the square's columns.
    bool SameAbove(const TKnown& K, int32_t Row, int32_t Col, int32_t Last) const {
        if (K.Gx != gx_ || K.Row != Row || K.Col != Col || K.Last > Last) return false;
        for (int32_t r = K.Last + 1; r <= Last; ++r)
            if (g_.HasPartial(r, a_, z_)) return false;
        return true;
    }

    // Whether K, the answer of the target to the left in this row, holds here: the column taken in
    // holds no partly covered pixel from Row to Last, the column let go none below Row.
    bool SameLeft(const TKnown& K, int32_t Row, int32_t Col, int32_t Last) const {
        if (K.Gx != gx_ - 1 || K.Row != Row || K.Col != Col || K.Last != Last) return false;
        if (z_ != leftZ_ && g_.ColumnHasPartial(z_, Row, Last)) return false;
        return a_ == leftA_ || !g_.ColumnHasPartial(leftA_, Row + 1, Last);
    }

    // The partly covered pixels of the square from (X, Row) on to its last row, in row order, laid
    // over D and M; the target's own pixel is left out.
    void LayOver(uint8_t* D, uint8_t* M, int32_t Row, int32_t X, int32_t Last) const {
        while (Row <= Last) {
            for (const TSquareCoverage::TPartial& p : g_.PartialsFrom(Row, X)) {
                if (p.X > z_) break;
                if (Row != gy_ || p.X != gx_) OverPixel<N>(ch_, D, M, p.C, color_);
            }
            Row = partialFrom_[size_t(Row) + 1];
            X = a_;
        }
    }

    const Channels& ch_;
    const TSquareCoverage& g_;
    int32_t b_;
    uint32_t color_;
    std::vector<int32_t> fullUpTo_;     // per glyph row: the last row at or above with a full pixel in a_..z_
    std::vector<int32_t> partialFrom_;  // per glyph row: the first row at or below with a partial one there
    std::vector<TKnown> known_;         // per target row: the answer last worked out, this column or the last
    int64_t gx_ = 0, gy_ = 0;
    int32_t a_ = -1, z_ = -1;          // the glyph columns of the current column's squares
    int32_t leftA_ = -1, leftZ_ = -1;  // those of the column to the left
};

// The runs of targets that end as the one above them, filled once the border is worked out: no
// later target reads them, and runs alike in neighbouring columns (a wide border around small
// glyphs) are filled as one block, row by row, instead of down each column.
template <int N>
class TRunBlocks {
public:
    TRunBlocks(uint8_t* Dest, ptrdiff_t DestStep, uint8_t* Mask, ptrdiff_t MaskStep)
        : dest_(Dest), destStep_(DestStep), mask_(Mask), maskStep_(MaskStep) {}

    // Rows First..First + Count - 1 of column Col take the pixel at Pixel.
    void Add(int32_t Col, int32_t First, int32_t Count, const uint8_t* Pixel) {
        uint32_t value = 0;
        std::memcpy(&value, Pixel, N);
        for (TBlock& b : open_)
            if (b.Right == Col && b.First == First && b.Count == Count && b.Value == value) {
                b.Right = Col + 1;
                return;
            }
        open_.push_back({Col, Col + 1, First, Count, value});
    }

    // Fills the blocks that column Col did not carry on.
    void EndColumn(int32_t Col) {
        std::erase_if(open_, [&](const TBlock& b) {
            if (b.Right > Col) return false;
            Fill(b);
            return true;
        });
    }

    void Flush() {
        for (const TBlock& b : open_) Fill(b);
        open_.clear();
    }

private:
    struct TBlock {
        int32_t Left, Right, First, Count;
        uint32_t Value;
    };

    void Fill(const TBlock& B) const {
        for (int32_t r = B.First; r < B.First + B.Count; ++r) {
            uint8_t* d = dest_ + destStep_ * r + ptrdiff_t(B.Left) * N;
            for (int32_t x = B.Left; x < B.Right; ++x, d += N) std::memcpy(d, &B.Value, N);
            std::memset(mask_ + maskStep_ * r + B.Left, 255, size_t(B.Right - B.Left));
        }
    }

    uint8_t* dest_;
    ptrdiff_t destStep_;
    uint8_t* mask_;
    ptrdiff_t maskStep_;
    std::vector<TBlock> open_;
};

}  // namespace

void TFontPixel::DrawSolid(TCustomDIBX& Dest, int32_t X, int32_t Y, int32_t Color) const {
    TCustomDIBX& Glyph = Coverage(*this);
    WithColourFormat(Dest, [&](const auto&, auto Bytes) {
        constexpr int N = decltype(Bytes)::value;
        const uint32_t color = Raw<N>(Color);
        WalkGlyphRows<N>(Glyph, X, Y, Dest, nullptr, [&](const uint8_t* G, uint8_t* D, uint8_t*, int32_t Count) {
            int32_t i = 0;
            if constexpr (N == 4) {
                // Four pixels a step: each covered one takes the colour, a run of none is passed.
                const __m128i zero = _mm_setzero_si128(), c = _mm_set1_epi32(int32_t(color));
                for (; i + 4 <= Count; i += 4) {
                    uint32_t g;
                    std::memcpy(&g, G + i, 4);
                    if (g == 0) continue;
                    const __m128i b = _mm_unpacklo_epi8(_mm_cvtsi32_si128(int32_t(g)), zero);
                    const __m128i keep = _mm_cmpeq_epi32(_mm_unpacklo_epi16(b, zero), zero);
                    __m128i* d = reinterpret_cast<__m128i*>(D + ptrdiff_t(i) * 4);
                    const __m128i old = _mm_loadu_si128(d);
                    _mm_storeu_si128(d, _mm_or_si128(_mm_and_si128(keep, old), _mm_andnot_si128(keep, c)));
                }
            }
            for (; i < Count; ++i)
                if (G[i]) Store<N>(D + ptrdiff_t(i) * N, color);
        });
    });
}

void TFontPixel::DrawTwoColour(TCustomDIBX& Dest, int32_t X, int32_t Y, int32_t Fore, int32_t Back) const {
    TCustomDIBX& Glyph = Coverage(*this);
    WithColourFormat(Dest, [&](const auto& Ch, auto Bytes) {
        constexpr int N = decltype(Bytes)::value;
        const uint32_t fore = Raw<N>(Fore), back = Raw<N>(Back);
        WalkCovered<N>(Glyph, X, Y, Dest, nullptr, [&](uint8_t C, uint8_t* D, uint8_t*) {
            Store<N>(D, C == 255 ? fore : Ch.Blend(back, fore, C));
        });
    });
}

void TFontPixel::DrawOver(TCustomDIBX& Dest, TCustomDIBX& Mask, int32_t X, int32_t Y, int32_t Color) const {
    TCustomDIBX& Glyph = Coverage(*this);
    WithColourFormat(Dest, [&](const auto& Ch, auto Bytes) {
        constexpr int N = decltype(Bytes)::value;
        const uint32_t color = Raw<N>(Color);
        WalkCovered<N>(Glyph, X, Y, Dest, &Mask,
                       [&](uint8_t C, uint8_t* D, uint8_t* M) { OverPixel<N>(Ch, D, M, C, color); });
    });
}

// Every covered pixel's coverage laid "over" each pixel of the square of side 2B + 1 around it
// (itself left out), glyph pixels in row order. Worked out per target pixel, for those in the draw
// area: a full (255) pixel sets the border colour and an opaque mask whatever came before, so only
// the partly covered pixels after the last full one of the target's square count, laid over that.
void TFontPixel::DrawBorder(TCustomDIBX& Dest, TCustomDIBX& Mask, int32_t X, int32_t Y, int32_t B,
                            int32_t Color) const {
    TCustomDIBX& Glyph = Coverage(*this);
    if (B <= 0 || Glyph.GetBitCount() != 8 || Mask.GetBitCount() != 8) return;
    const TRect reach = CutBox(X, Y, Glyph.GetWidth(), Glyph.GetHeight(), B, DrawArea(Dest, &Mask));
    if (RectIsEmpty(reach)) return;
    WithColourFormat(Dest, [&](const auto& Ch, auto Bytes) {
        constexpr int N = decltype(Bytes)::value;
        dibx::TDrawLocks locks(Dest, reach.Left, reach.Top, Glyph, 0, 0, &Mask, reach.Left, reach.Top);
        if (!locks.Ok()) return;
        const TSquareCoverage glyph(locks.Source(), Glyph.GetNextLine(), Glyph.GetWidth(), Glyph.GetHeight());
        TBorderPainter<N, std::decay_t<decltype(Ch)>> painter(Ch, glyph, B, Raw<N>(Color), reach.Bottom - reach.Top);
        const ptrdiff_t dStep = Dest.GetNextLine(), mStep = Mask.GetNextLine();
        const int32_t rows = reach.Bottom - reach.Top;
        TRunBlocks<N> blocks(locks.Dest(), dStep, locks.Mask(), mStep);
        for (int32_t tx = reach.Left; tx < reach.Right; ++tx) {
            painter.StartColumn(int64_t(tx) - X);
            const int32_t col = tx - reach.Left;
            uint8_t* d = locks.Dest() + ptrdiff_t(col) * N;
            uint8_t* m = locks.Mask() + col;
            for (int32_t i = 0; i < rows; ++i, d += dStep, m += mStep) {
                const int64_t n = std::min<int64_t>(painter.Paint(int64_t(reach.Top) + i - Y, i, d, m), rows - 1 - i);
                if (n <= 0) continue;
                blocks.Add(col, i + 1, int32_t(n), d);
                i += int32_t(n);
                d += dStep * n, m += mStep * n;
            }
            blocks.EndColumn(col);
        }
        blocks.Flush();
    });
}

void TFontPixel::MaskOpaque(TCustomDIBX& Mask, int32_t X, int32_t Y) const {
    TCustomDIBX& Glyph = Coverage(*this);
    if (Mask.GetBitCount() != 8) return;
    WalkGlyphRows<1>(Glyph, X, Y, Mask, nullptr, [](const uint8_t* G, uint8_t* M, uint8_t*, int32_t Count) {
        ByteRow(
            G, M, Count, [](uint8_t C, uint8_t V) { return C ? uint8_t(255) : V; },
            [](__m128i C, __m128i V) {
                const __m128i none = _mm_cmpeq_epi8(C, _mm_setzero_si128());
                return _mm_or_si128(_mm_and_si128(none, V), _mm_andnot_si128(none, _mm_set1_epi8(-1)));
            });
    });
}

void TFontPixel::MaskMax(TCustomDIBX& Mask, int32_t X, int32_t Y) const {
    TCustomDIBX& Glyph = Coverage(*this);
    if (Mask.GetBitCount() != 8) return;
    WalkGlyphRows<1>(Glyph, X, Y, Mask, nullptr, [](const uint8_t* G, uint8_t* M, uint8_t*, int32_t Count) {
        ByteRow(
            G, M, Count, [](uint8_t C, uint8_t V) { return std::max(C, V); },
            [](__m128i C, __m128i V) { return _mm_max_epu8(C, V); });
    });
}

void CheckStoredGlyphSizes(int32_t FontSize, int32_t BorderSize, int32_t ShadowSize) {
    if (FontSize > MaxStoredFontSize || FontSize < -MaxStoredFontSize || BorderSize > MaxOutlineSize ||
        ShadowSize > MaxOutlineSize)
        throw EReadError();
}

void TFontPixel::Draw(TCustomDIBX& Dest, TCustomDIBX& Mask, const TRect& Cell, int32_t BorderSize, int32_t ShadowSize,
                      bool ShadowLineFromLeft, bool CutLineAtRight, int32_t TextColor, int32_t BorderColor,
                      int32_t ShadowColor, TRect& Touched, bool FillMode) {
    Touched = {0, 0, 0, 0};
    if (Surface.GetEmpty()) return;
    const int32_t W = GetWidth(), H = GetHeight(), S = std::max(ShadowSize, 0);
    const int32_t B = std::clamp(BorderSize, 0, GlyphBorderLimit(Size));
    const int32_t L = Cell.Left, T = Cell.Top, CW = Cell.Right - Cell.Left, CH = Cell.Bottom - Cell.Top;
    const int32_t U = UnderlineSize, K = StrikeOutSize;
    const int32_t A = CentringShift(*this, CW);
    const TRect box = Bounds(L + OffsetX + A, T + OffsetY, W + 2 * B + S, H + 2 * B + S);
    Touched = box;

    if (B == 0 && S == 0) {
        const int32_t X = L + OffsetX + A, Y = T + OffsetY;
        if (FillMode) {
            Dest.FillRect(Bounds(X, Y, W, H), TextColor);
            Mask.Draw(X, Y, Surface, {0, 0, W, H}, false, false, false);
        } else {
            DrawSolid(Dest, X, Y, TextColor);
            MaskMax(Mask, X, Y);
        }
        for (const TRect& line : {U > 0 ? Bounds(L, T + CH - U, CW, U) : TRect{},
                                  K > 0 ? Bounds(L, T + StrikeOutTop, CW, K) : TRect{}}) {
            Mask.FillRect(line, 255);
            JoinRect(Touched, line);
        }
        return;
    }

    // A line in Color with the mask opaque under it.
    auto line = [&](TRect R, int32_t Color) {
        Dest.FillRect(R, Color);
        Mask.FillRect(R, 255);
        JoinRect(Touched, R);
    };
    if (FillMode) Mask.FillRect(box, 0);

    if (S > 0) {
        const int32_t shift = ShadowLineFromLeft ? S : 0;
        if (U > 0) line(Bounds(L + shift, T + CH - 2 * B - U, CW - shift, 2 * B + U), ShadowColor);
        const int32_t X = L + B + OffsetX + S + A, Y = T + B + OffsetY + S;
        if (B > 0) {
            DrawBorder(Dest, Mask, X, Y, B, ShadowColor);
            JoinRect(Touched, Bounds(X - B, Y - B, W + 2 * B, H + 2 * B));
        } else {
            Mask.Draw(X, Y, Surface, {0, 0, W, H}, false, false, false);
            DrawSolid(Dest, X, Y, ShadowColor);
        }
        if (K > 0) line(Bounds(L + shift, T + S + StrikeOutTop, CW - shift, 2 * B + K), ShadowColor);
    }

    const int32_t cut = CutLineAtRight ? S : 0;
    auto textLine = [&](int32_t Top, int32_t Height, int32_t Color) { line(Bounds(L, Top, CW - cut, Height), Color); };
    if (U > 0) {
        textLine(T + CH - S - B - U, U, TextColor);
        if (B > 0) {
            textLine(T + CH - S - 2 * B - U, B, BorderColor);
            textLine(T + CH - S - B, B, BorderColor);
        }
    }
    const int32_t X = L + B + OffsetX + A, Y = T + B + OffsetY;
    if (B > 0) {
        DrawBorder(Dest, Mask, X, Y, B, BorderColor);
        MaskOpaque(Mask, X, Y);
        DrawTwoColour(Dest, X, Y, TextColor, BorderColor);
    } else {
        DrawOver(Dest, Mask, X, Y, TextColor);
    }
    if (K > 0) {
        textLine(T + B + StrikeOutTop, K, TextColor);
        if (B > 0) {
            textLine(T + StrikeOutTop, B, BorderColor);
            textLine(T + StrikeOutTop + B + K, B, BorderColor);
        }
    }
}
