// Drawing a glyph: its 8-bit coverage put into a colour surface and an 8-bit mask, with border,
// drop shadow, underline and strike-out. The per-pixel workers walk the coverage rows beside the
// destination rows through their row steps; colour goes only into 15-, 16- and 32-bit surfaces,
// blended per red, green and blue field (the fourth byte of a 32-bit pixel ends 0 in a blend).
#include "text/fontpixels.h"

#include "core/streams.h"
#include "graphics/dibx_pixel.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <emmintrin.h>
#include <cstdint>
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

// A pixel of a colour surface with its mask value.
struct TTarget {
    uint32_t D, M;
    bool operator==(const TTarget&) const = default;
};

// Straight-alpha "over" of Color at coverage C onto T.
template <class Channels>
void Over(const Channels& Ch, TTarget& T, uint32_t C, uint32_t Color) {
    if (C == 255) {
        T = {Color, 255};
        return;
    }
    if (T.M == 255) {  // the mask stays full, the weight is C itself
        T.D = Ch.Blend(T.D, Color, C);
        return;
    }
    T.M += Div255((255u - T.M) * C);
    T.D = Ch.Blend(T.D, Color, T.M ? kReciprocals.Divide(C * 255, T.M) : 255);
}

// The same onto the pixel D with its mask value M.
template <int N, class Channels>
void OverPixel(const Channels& Ch, uint8_t* D, uint8_t* M, uint32_t C, uint32_t Color) {
    TTarget t{Load<N>(D), *M};
    Over(Ch, t, C, Color);
    Store<N>(D, t.D);
    *M = uint8_t(t.M);
}

// Every bit of the red, green and blue fields.
uint32_t FieldBits(const TRgbBytes&) { return 0xFFFFFF; }
uint32_t FieldBits(const TMaskedChannels& Ch) { return Ch.Masks[0] | Ch.Masks[1] | Ch.Masks[2]; }

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

// A glyph's coverage as the border reads it: per row and column, the last full (255) column at or
// left of it and the first partly covered column at or right of it.
class TSquareCoverage {
public:
    TSquareCoverage(const uint8_t* Bits, ptrdiff_t Step, int32_t W, int32_t H)
        : bits_(Bits), step_(Step), w_(W), h_(H), lastFull_(size_t(W) * size_t(H)),
          nextPartial_(size_t(W + 1) * size_t(H)) {
        for (int32_t r = 0; r < H; ++r) {
            int32_t last = -1;
            for (int32_t x = 0; x < W; ++x) {
                if (At(x, r) == 255) last = x;
                lastFull_[Index(r, x)] = last;
            }
            int32_t next = W;
            for (int32_t x = W; x-- > 0;) {
                if (const uint8_t c = At(x, r); c != 0 && c != 255) next = x;
                nextPartial_[size_t(r) * size_t(W + 1) + size_t(x)] = next;
            }
            nextPartial_[size_t(r) * size_t(W + 1) + size_t(W)] = W;
        }
    }

    int32_t Width() const { return w_; }
    int32_t Height() const { return h_; }
    uint8_t At(int32_t X, int32_t Row) const { return bits_[Row * step_ + X]; }
    // The last full column of Row at or left of X (< width), -1 for none.
    int32_t LastFull(int32_t Row, int32_t X) const { return X < 0 ? -1 : lastFull_[Index(Row, X)]; }

    // Fn(c) for the pixels of Row in columns A..Z that count for a target, in the order they are
    // laid over it, the one in column Skip left out (-1: none): the last full one (a full pixel
    // sets the target whatever it held), then the partly covered ones after it.
    template <class F>
    void ForRow(int32_t Row, int32_t A, int32_t Z, int32_t Skip, F&& Fn) const {
        int32_t full = LastFull(Row, Z);
        if (full == Skip) full = LastFull(Row, Skip - 1);
        if (full >= A) Fn(uint32_t(255));
        const int32_t* next = &nextPartial_[size_t(Row) * size_t(w_ + 1)];
        for (int32_t x = next[std::max(full + 1, A)]; x <= Z; x = next[x + 1])
            if (x != Skip) Fn(uint32_t(At(x, Row)));
    }

private:
    size_t Index(int32_t Row, int32_t X) const { return size_t(Row) * size_t(w_) + size_t(X); }

    const uint8_t* bits_;
    ptrdiff_t step_;
    int32_t w_, h_;
    std::vector<int32_t> lastFull_;
    std::vector<int32_t> nextPartial_;  // per row, W + 1 columns, the last one W
};

// The border targets whose squares take in the glyph columns A..Z, a span. A target ends as the
// overs of its square's pixels in row order laid over what it held: from its square's last full
// pixel on, the same for every target whose square ends on the same row. Below that pixel the
// partly covered ones leave a target's mask below 255 if it was, and at 255 if it was: two classes
// of targets. Two bounds follow a class through the overs: an over keeps the order of the masks,
// and of each colour field between targets of one mask, so once the bounds meet, every target of
// the class ends alike whatever it held, and the rows above no longer count. Per last row of a
// square the span keeps, worked out when first asked, where the overs from below its last full
// pixel meet and the lowest row from which they still meet. A target with mask 0 ends alike
// whatever it held once any pixel is laid over it: its answer is kept for the last square asked.
// A glyph pixel leaves its own coverage out: the rows above it and below it are looked up apart.
// Only targets whose squares hold too few overs to meet lay their overs one by one; the work per
// target does not grow with the square.
template <class Channels>
class TBorderSpan {
public:
    TBorderSpan(const Channels& Ch, const TSquareCoverage& Glyph, uint32_t Color)
        : ch_(Ch), g_(Glyph), color_(Color), fields_(FieldBits(Ch)), rows_(size_t(Glyph.Height())) {}

    // Starts on the span of columns A..Z.
    void Start(int32_t A, int32_t Z) {
        a_ = A, z_ = Z;
        chained_ = {-1, -1};
        clearFirst_ = -1;
        int32_t fullUpTo = -1, anyUpTo = -1, ops = 0;
        TTarget full{};
        for (int32_t l = 0; l < g_.Height(); ++l) {
            g_.ForRow(l, A, Z, -1, [&](uint32_t C) {
                anyUpTo = l, ++ops;
                if (C == 255) fullUpTo = l;
                if (fullUpTo >= 0) Over(ch_, full, C, color_);
            });
            TRow& row = rows_[size_t(l)];
            row.FullUpTo = fullUpTo, row.AnyUpTo = anyUpTo, row.OpsUpTo = ops, row.Full = full;
        }
    }

    // The last row up to Last with a full pixel in the span, -1 for none; what a target becomes
    // from that row's last full pixel on.
    int32_t FullUpTo(int32_t Last) const { return rows_[size_t(Last)].FullUpTo; }
    uint32_t FullColour(int32_t Last) const { return rows_[size_t(Last)].Full.D; }

    // The Count targets from glyph column GX (inside the span) on in row GY, whose squares take in
    // rows First..Last, at the pixels from D on with their mask values from M on.
    template <int N>
    void PaintRow(int64_t GX, int64_t GY, int32_t First, int32_t Last, int32_t Count, uint8_t* D, uint8_t* M) {
        const TRow& row = rows_[size_t(Last)];
        if (row.AnyUpTo < First) return;
        // With a full pixel in the square every target but a glyph pixel ends alike.
        const bool full = row.FullUpTo >= First, glyphRow = GY >= 0 && GY < g_.Height();
        for (int64_t gx = GX; gx < GX + Count; ++gx, D += N, ++M) {
            if (glyphRow && gx >= 0 && gx < g_.Width() && g_.At(int32_t(gx), int32_t(GY)) != 0) {
                PaintOwn<N>(int32_t(gx), int32_t(GY), First, Last, D, M);
            } else if (full) {
                Store<N>(D, row.Full.D);
                *M = 255;
            } else {
                PaintOpen<N>(First, Last, D, M);
            }
        }
    }

private:
    static constexpr int32_t kUnknown = INT32_MIN;
    // So few overs are laid one by one sooner than their meeting is looked up.
    static constexpr int32_t kFewOvers = 16;

    struct TBounds {
        TTarget Lo, Hi;
        bool Met = false;
    };
    struct TRow {
        int32_t FullUpTo;  // the last row at or above with a full pixel in the span, -1 for none
        int32_t AnyUpTo;   // the last row at or above with any pixel in the span, -1 for none
        int32_t OpsUpTo;   // the overs of the rows up to this one
        TTarget Full;      // a target after the overs from that row's last full pixel on
        // Per class: the bounds after the overs from the row below FullUpTo on, and the lowest row
        // from which they still meet (-1: none, kUnknown: not worked out yet).
        std::array<TBounds, 2> Chain;
        std::array<int32_t, 2> Settled;
    };

    // A target that is no glyph pixel, whose square holds no full pixel.
    template <int N>
    [[gnu::noinline]] void PaintOpen(int32_t First, int32_t Last, uint8_t* D, uint8_t* M) {
        TTarget t{Load<N>(D), *M};
        if (*M == 0) t = Clear(First, Last);
        else if (const TTarget* known = Known(*M == 255, First, Last, First)) t = *known;
        else LayOver(t, First, Last);
        Store<N>(D, t.D);
        *M = uint8_t(t.M);
    }

    // The glyph pixel (X, Y), leaving its own coverage out: the rows below it and those above it
    // are looked up apart.
    template <int N>
    [[gnu::noinline]] void PaintOwn(int32_t X, int32_t Y, int32_t First, int32_t Last, uint8_t* D, uint8_t* M) {
        TTarget t{Load<N>(D), *M};
        const size_t k = t.M == 255;
        if (const TTarget* known = Known(k, First, Last, Y + 1)) {
            t = *known;
        } else if (const TTarget* above = Y > First ? Known(k, First, Y - 1, First) : nullptr) {
            t = *above;
            LayOver(t, Y, Last, X, Y);
        } else {
            LayOver(t, First, Last, X, Y);
        }
        Store<N>(D, t.D);
        *M = uint8_t(t.M);
    }

    // The bounds of class K before any over: masks 0..254 or 255, the colour anything.
    TBounds Bounds(size_t K) const { return {{0, K ? 255u : 0u}, {fields_, K ? 255u : 254u}}; }

    void Lay(TBounds& B, uint32_t C) const {
        Over(ch_, B.Lo, C, color_);
        if (B.Met) {
            B.Hi = B.Lo;
            return;
        }
        Over(ch_, B.Hi, C, color_);
        // Targets of different masks take different weights: their colours keep no order.
        if (B.Lo.M != B.Hi.M) B.Lo.D = 0, B.Hi.D = fields_;
        B.Met = B.Lo == B.Hi;
    }

    // Whether the overs of rows First..Last (no full pixel among them) bring every target of class
    // K to one value.
    bool Meets(size_t K, int32_t First, int32_t Last) const {
        TBounds b = Bounds(K);
        for (int32_t r = First; r <= Last && !b.Met; ++r) g_.ForRow(r, a_, z_, -1, [&](uint32_t C) { Lay(b, C); });
        return b.Met;
    }

    // The answer of a target of class K whose square takes in rows First..Last, none of them its
    // own, when the overs from row Below on settle it; nullptr when they do not.
    const TTarget* Known(size_t K, int32_t First, int32_t Last, int32_t Below) {
        TRow& row = rows_[size_t(Last)];
        if (row.FullUpTo >= First) return row.FullUpTo >= Below ? &row.Full : nullptr;
        if (row.OpsUpTo - (Below > 0 ? rows_[size_t(Below) - 1].OpsUpTo : 0) <= kFewOvers) return nullptr;
        return Settles(K, Last, Below) ? &row.Chain[K].Lo : nullptr;
    }

    // Whether the overs of class K from row Below to Last, no full pixel among them, meet.
    bool Settles(size_t K, int32_t Last, int32_t Below) {
        TRow& row = rows_[size_t(Last)];
        for (int32_t& r = chained_[K]; r < Last;) {
            ++r;
            TRow& next = rows_[size_t(r)];
            TBounds b = r > 0 && next.FullUpTo != r ? rows_[size_t(r) - 1].Chain[K] : Bounds(K);
            if (next.FullUpTo != r) g_.ForRow(r, a_, z_, -1, [&](uint32_t C) { Lay(b, C); });
            next.Chain[K] = b;
            next.Settled[K] = b.Met ? kUnknown : -1;
        }
        // Overs that meet from a row meet from every row above it, down to the last full pixel;
        // the lowest row they meet from is worked out once, when first asked past that.
        int32_t& settled = row.Settled[K];
        if (settled == kUnknown && Below > row.FullUpTo + 1) {
            int32_t met = row.FullUpTo + 1, fails = Last + 1;
            while (fails - met > 1) {
                const int32_t mid = met + (fails - met) / 2;
                (Meets(K, mid, Last) ? met : fails) = mid;
            }
            settled = met;
        }
        return settled != -1 && (settled == kUnknown || settled >= Below);
    }

    // The answer of a target with mask 0 whose square takes in rows First..Last (some pixel among
    // them): what it held no longer counts once a pixel is laid over it.
    const TTarget& Clear(int32_t First, int32_t Last) {
        if (const TTarget* known = Known(0, First, Last, First)) return *known;
        if (clearFirst_ != First || clearLast_ != Last) {
            clearFirst_ = First, clearLast_ = Last, clear_ = {};
            LayOver(clear_, First, Last);
        }
        return clear_;
    }

    // The overs of rows First..Last laid over T one by one, the glyph pixel (OwnX, OwnY) left out.
    void LayOver(TTarget& T, int32_t First, int32_t Last, int32_t OwnX = -1, int32_t OwnY = -1) const {
        for (int32_t r = First; r <= Last; ++r)
            g_.ForRow(r, a_, z_, r == OwnY ? OwnX : -1, [&](uint32_t C) { Over(ch_, T, C, color_); });
    }

    const Channels& ch_;
    const TSquareCoverage& g_;
    uint32_t color_, fields_;
    std::vector<TRow> rows_;              // per last row of a square
    int32_t a_ = 0, z_ = 0;
    std::array<int32_t, 2> chained_{};    // the last row whose Chain holds, per class
    // The answer of a target with mask 0 whose square takes in rows clearFirst_..clearLast_.
    int32_t clearFirst_ = -1, clearLast_ = -1;
    TTarget clear_{};
};

// Up to kSpans spans side by side, their targets painted row by row (no pixel per cache line down
// a column). A row of targets outside the glyph whose squares all hold a full pixel takes the
// spans' answers for their last row straight from a table.
template <class Channels>
class TBorderStrip {
public:
    static constexpr size_t kSpans = 16;

    TBorderStrip(const Channels& Ch, const TSquareCoverage& Glyph, uint32_t Color)
        : ch_(Ch), g_(Glyph), color_(Color), fullFrom_(size_t(Glyph.Height())),
          colours_(size_t(Glyph.Height()) * kSpans) {
        spans_.reserve(kSpans);
    }

    size_t Count() const { return count_; }
    void Clear() { count_ = 0; }

    // Adds the span of glyph columns A..Z for the Width target columns from glyph column GX on.
    void Add(int64_t GX, int32_t Width, int32_t A, int32_t Z) {
        if (count_ == spans_.size()) spans_.emplace_back(ch_, g_, color_);
        spans_[count_].Start(A, Z);
        left_[count_] = GX, width_[count_] = Width;
        ++count_;
    }

    // Works out the table once every span is added.
    void Finish() {
        for (int32_t l = 0; l < g_.Height(); ++l) {
            int32_t from = INT32_MAX;
            for (size_t i = 0; i < count_; ++i) {
                from = std::min(from, spans_[i].FullUpTo(l));
                colours_[size_t(l) * kSpans + i] = spans_[i].FullColour(l);
            }
            fullFrom_[size_t(l)] = from;
        }
        const int64_t right = left_[count_ - 1] + width_[count_ - 1];
        onGlyph_ = right > 0 && left_[0] < g_.Width();
    }

    // The targets in glyph row GY, whose squares take in rows First..Last, at the pixels from D on
    // with their mask values from M on.
    template <int N>
    void PaintRow(int64_t GY, int32_t First, int32_t Last, uint8_t* D, uint8_t* M) {
        if ((!onGlyph_ || GY < 0 || GY >= g_.Height()) && fullFrom_[size_t(Last)] >= First) {
            const uint32_t* colour = &colours_[size_t(Last) * kSpans];
            uint8_t* d = D;
            for (size_t i = 0; i < count_; ++i)
                for (int32_t k = 0; k < width_[i]; ++k, d += N) Store<N>(d, colour[i]);
            std::memset(M, 255, size_t(d - D) / N);
            return;
        }
        for (size_t i = 0; i < count_; ++i) {
            spans_[i].template PaintRow<N>(left_[i], GY, First, Last, width_[i], D, M);
            D += ptrdiff_t(width_[i]) * N, M += width_[i];
        }
    }

private:
    const Channels& ch_;
    const TSquareCoverage& g_;
    uint32_t color_;
    std::vector<TBorderSpan<Channels>> spans_;
    size_t count_ = 0;
    std::array<int64_t, kSpans> left_{};
    std::array<int32_t, kSpans> width_{};
    bool onGlyph_ = false;           // whether a span's target columns meet the glyph's
    std::vector<int32_t> fullFrom_;  // per last row: the lowest of the spans' FullUpTo
    std::vector<uint32_t> colours_;  // per last row, per span: FullColour
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
// area, a span of glyph columns at a time: the target columns whose squares take in the same
// glyph columns (all of them, beside a glyph narrower than the square) share the span's answers.
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
        const int32_t w = Glyph.GetWidth(), h = Glyph.GetHeight();
        const TSquareCoverage glyph(locks.Source(), Glyph.GetNextLine(), w, h);
        const ptrdiff_t dStep = Dest.GetNextLine(), mStep = Mask.GetNextLine();
        // The glyph columns or rows a square around glyph column or row G takes in.
        auto first = [&](int64_t G) { return int32_t(std::max<int64_t>(G - B, 0)); };
        auto last = [&](int64_t G, int32_t Size) { return int32_t(std::min<int64_t>(G + B, Size - 1)); };
        TBorderStrip<std::decay_t<decltype(Ch)>> strip(Ch, glyph, Raw<N>(Color));
        for (int32_t left = reach.Left; left < reach.Right;) {
            const int32_t stripLeft = left;
            for (strip.Clear(); strip.Count() < strip.kSpans && left < reach.Right;) {
                const int64_t gx = int64_t(left) - X;
                const int32_t a = first(gx), z = last(gx, w), spanLeft = left;
                while (++left < reach.Right && first(int64_t(left) - X) == a && last(int64_t(left) - X, w) == z) {
                }
                strip.Add(gx, left - spanLeft, a, z);
            }
            strip.Finish();
            for (int32_t ty = reach.Top; ty < reach.Bottom; ++ty) {
                const int64_t gy = int64_t(ty) - Y;
                const ptrdiff_t row = ty - reach.Top, column = stripLeft - reach.Left;
                strip.template PaintRow<N>(gy, first(gy), last(gy, h), locks.Dest() + row * dStep + column * N,
                                           locks.Mask() + row * mStep + column);
            }
        }
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
