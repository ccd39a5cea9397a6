#include "text/wipes_mask.h"

#include "core/rands.h"
#include "core/streams.h"
#include "core/vrfiles_manager.h"
#include "graphics/dibx.h"
#include "graphics/dibx_shapes.h"
#include "graphics/miras.h"
#include "graphics/pixelconv.h"
#include "objects/vitemex_mira.h"
#include "script/services.h"

#include <emmintrin.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <unordered_map>

namespace {

constexpr double kPi = std::numbers::pi;

// A surface's pixel memory for the time of one composition or mask build.
class TLockedBits {
public:
    explicit TLockedBits(TCustomDIBX& Surface)
        : surface_(Surface), base_(Surface.Lock(0, 0)), step_(Surface.GetNextLine()) {}
    ~TLockedBits() {
        if (base_) surface_.Unlock();
    }
    TLockedBits(const TLockedBits&) = delete;
    TLockedBits& operator=(const TLockedBits&) = delete;

    bool Ok() const { return base_ != nullptr; }
    uint8_t* Row(int32_t Y) const { return base_ + ptrdiff_t(Y) * step_; }

private:
    TCustomDIBX& surface_;
    uint8_t* base_;
    ptrdiff_t step_;
};

// The mask row serving picture row Y: a mask of fewer lines repeats down the picture.
const uint8_t* MaskLine(const TLockedBits& Mask, int32_t Lines, int32_t Y) { return Mask.Row(Y % Lines); }

uint32_t Blend32(uint32_t New, uint32_t Old, uint32_t M) {
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8)
        out |= (((New >> shift & 0xFF) * M + (Old >> shift & 0xFF) * (255 - M)) >> 8) << shift;
    return out;
}

// Four 32-bit pixels from Old and New through their four mask values M4 (lowest byte first), in
// SSE2: new * m + old * (255 - m) fits the 16-bit lanes; masks of 0 and 255 select a whole pixel.
__m128i Compose4(__m128i Old, __m128i New, uint32_t M4, bool HardEdge) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i m16 = _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(M4)), zero);  // m0..m3 in 16-bit lanes
    const __m128i m32 = _mm_unpacklo_epi16(m16, zero);                        // m0..m3 in 32-bit lanes
    const __m128i isOld = _mm_cmpeq_epi32(m32, zero);
    if (HardEdge) return _mm_or_si128(_mm_and_si128(isOld, Old), _mm_andnot_si128(isOld, New));
    const __m128i isNew = _mm_cmpeq_epi32(m32, _mm_set1_epi32(255));
    const __m128i pairs = _mm_unpacklo_epi16(m16, m16);  // m0 m0 m1 m1 m2 m2 m3 m3
    const auto mix = [&](__m128i N, __m128i O, __m128i W) {
        return _mm_srli_epi16(
            _mm_add_epi16(_mm_mullo_epi16(N, W), _mm_mullo_epi16(O, _mm_sub_epi16(_mm_set1_epi16(255), W))), 8);
    };
    const __m128i w01 = _mm_unpacklo_epi32(pairs, pairs), w23 = _mm_unpackhi_epi32(pairs, pairs);
    const __m128i low = mix(_mm_unpacklo_epi8(New, zero), _mm_unpacklo_epi8(Old, zero), w01);
    const __m128i high = mix(_mm_unpackhi_epi8(New, zero), _mm_unpackhi_epi8(Old, zero), w23);
    const __m128i blended = _mm_packus_epi16(low, high);
    return _mm_or_si128(_mm_or_si128(_mm_and_si128(isOld, Old), _mm_and_si128(isNew, New)),
                        _mm_andnot_si128(_mm_or_si128(isOld, isNew), blended));
}

// Width 32-bit pixels of Dest from Old and New through the mask row, four at a time.
void ComposeRow32(uint8_t* Dest, const uint8_t* Old, const uint8_t* New, const uint8_t* Mask, int32_t Width,
                  bool HardEdge) {
    int32_t x = 0;
    for (; x + 4 <= Width; x += 4) {
        uint32_t m4;
        std::memcpy(&m4, Mask + x, 4);
        const __m128i o = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Old + 4 * x));
        const __m128i n = _mm_loadu_si128(reinterpret_cast<const __m128i*>(New + 4 * x));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(Dest + 4 * x), Compose4(o, n, m4, HardEdge));
    }
    for (; x < Width; ++x) {
        uint32_t o, n, d;
        std::memcpy(&o, Old + 4 * x, 4);
        std::memcpy(&n, New + 4 * x, 4);
        const uint32_t m = Mask[x];
        d = m == 0 ? o : m == 255 || HardEdge ? n : Blend32(n, o, m);
        std::memcpy(Dest + 4 * x, &d, 4);
    }
}

// One channel blended inside its bit field F.
uint32_t BlendField(uint32_t New, uint32_t Old, uint32_t F, uint32_t M) {
    return ((New & F) * M + (Old & F) * (255 - M)) >> 8 & F;
}

struct TFields16 {
    uint32_t R, G, B;
};

void ComposeRow16(uint8_t* Dest, const uint8_t* Old, const uint8_t* New, const uint8_t* Mask, int32_t Width,
                  bool HardEdge, const TFields16& F) {
    for (int32_t x = 0; x < Width; ++x) {
        uint16_t o, n, d;
        std::memcpy(&o, Old + 2 * x, 2);
        std::memcpy(&n, New + 2 * x, 2);
        const uint32_t m = Mask[x];
        if (m == 0)
            d = o;
        else if (m == 255 || HardEdge)
            d = n;
        else  // the red field one bit lower, at one bit less precision
            d = uint16_t(BlendField(n >> 1, o >> 1, F.R >> 1, m) << 1 | BlendField(n, o, F.G, m) |
                         BlendField(n, o, F.B, m));
        std::memcpy(Dest + 2 * x, &d, 2);
    }
}

bool CoversDest(const TCustomDIBX& Picture, const TCustomDIBX& Dest) {
    return Picture.GetBitsPerPixel() == Dest.GetBitsPerPixel() && Picture.GetWidth() >= Dest.GetWidth() &&
           Picture.GetHeight() >= Dest.GetHeight();
}

int32_t Nearest(double Value) {
    return int32_t(std::nearbyint(std::clamp(Value, -2147483648.0, 2147483647.0)));
}

double DegreesToAngle(int32_t Degrees) { return Degrees / 360.0 * 2 * kPi - kPi / 2; }

// A pie of the sector from angle A1 counter-clockwise on the screen to A2 (radians, clockwise from
// the x axis), in the circle through the corners of the mask around its centre.
void MaskPie(TDIBX& Mask, double A1, double A2) {
    const int32_t cx = Mask.GetWidth() / 2, cy = Mask.GetHeight() / 2;
    const double r = std::hypot(cx, cy);
    FillPie(Mask, cx - r, cy - r, cx + r, cy + r, cx + r * std::cos(A1), cy + r * std::sin(A1),
            cx + r * std::cos(A2), cy + r * std::sin(A2), 255);
}

// Fills Blocks[First..Last] (in either order) with 255.
void FillBlocks(TDIBX& Mask, const std::vector<TRect>& Blocks, int32_t First, int32_t Last) {
    const int32_t dir = First <= Last ? 1 : -1;
    for (int32_t i = First;; i += dir) {
        Mask.FillRect(Blocks[size_t(i)], 255);
        if (i == Last) break;
    }
}

// The mask lines of a transition whose pattern repeats every P0 rows: at least 2, at most the
// surface's height (rows below it are never shown).
int32_t PatternLines(const TCustomDIBX& Dest, int32_t P0) { return std::min(std::max(P0, 2), Dest.GetHeight()); }

// The numbers 0..N-1 taken one at a time by their rank among those still there, each in time
// logarithmic in N (a tree of counts over the numbers).
class TRankedTake {
public:
    explicit TRankedTake(size_t N) : counts_(N + 1) {
        for (size_t i = 1; i <= N; ++i) {
            counts_[i] += 1;
            if (const size_t up = i + (i & -i); up <= N) counts_[up] += counts_[i];
        }
        while (top_ * 2 <= N) top_ *= 2;
    }
    // Removes and answers the number of rank Rank (0 the smallest) among those left.
    size_t Take(size_t Rank) {
        size_t at = 0;
        for (size_t step = top_; step > 0; step /= 2)
            if (at + step < counts_.size() && counts_[at + step] <= Rank) {
                at += step;
                Rank -= counts_[at];
            }
        for (size_t i = at + 1; i < counts_.size(); i += i & -i) --counts_[i];
        return at;
    }

private:
    std::vector<size_t> counts_;
    size_t top_ = 1;
};

// The block side of the block transitions: at least 10, at most the surface.
int32_t BlockSize(const TCustomDIBX& Dest, int32_t Wanted) {
    return std::min({Dest.GetWidth(), Dest.GetHeight(), std::max(10, Wanted)});
}

}  // namespace

// ---- TWipeMask ----

TWipeMask::TWipeMask(TCustomDIBX& ADest, TCustomDIBX& AOldPicture, TCustomDIBX& ANewPicture)
    : TCustomWipe(ADest, AOldPicture, ANewPicture), Mask(std::make_unique<TDIBX>()) {
    Mask->SetSize(0, 0, 8);
}

TWipeMask::~TWipeMask() = default;

void TWipeMask::SetParam(int32_t Index, int32_t Value) {
    TCustomWipe::SetParam(Index, Index == 0 ? std::max(Value, 2) : Index == 1 ? std::max(Value, 1) : Value);
}

void TWipeMask::Prepare() {
    Mask->SetSize(Dest->GetWidth(), GetMaskLines(), 8);
    Mask->Fill(0);
}

int32_t TWipeMask::GetMaskLines() const { return Dest->GetHeight(); }

int32_t TWipeMask::Level(int64_t Scale) const {
    const int64_t level = int64_t(Elapsed) * Scale / Length;
    return int32_t(std::clamp<int64_t>(level, 0, std::numeric_limits<int32_t>::max()));
}

int32_t TWipeMask::RampValue(int32_t Level, int64_t Delay) const {
    if (Delay > Level) return 0;
    return int32_t(std::min<int64_t>(255, (Level - Delay) * 255 / std::max(Param[1], 1)));
}

bool TWipeMask::SameLevel(int32_t Level) {
    if (Level == LastLevel) return true;
    LastLevel = Level;
    return false;
}

bool TWipeMask::Step() {
    if (StepFinished()) return true;
    if (Mask->GetEmpty() || !BuildMask()) return false;
    const int bits = Dest->GetBitsPerPixel();
    if ((bits == 16 || bits == 32) && CoversDest(*OldPicture, *Dest) && CoversDest(*NewPicture, *Dest))
        ComposePacked();
    else
        ComposeDrawMask();
    return false;
}

void TWipeMask::ComposePacked() {
    const TLockedBits dest(*Dest), oldBits(*OldPicture), newBits(*NewPicture), mask(*Mask);
    if (!dest.Ok() || !oldBits.Ok() || !newBits.Ok() || !mask.Ok()) return;
    const int32_t width = std::min(Dest->GetWidth(), Mask->GetWidth()), lines = Mask->GetHeight();
    const TFields16 fields{Dest->GetRBitMask(), Dest->GetGBitMask(), Dest->GetBBitMask()};
    for (int32_t y = 0; y < Dest->GetHeight(); ++y) {
        const uint8_t* m = MaskLine(mask, lines, y);
        if (Dest->GetBitsPerPixel() == 32)
            ComposeRow32(dest.Row(y), oldBits.Row(y), newBits.Row(y), m, width, HardEdge);
        else
            ComposeRow16(dest.Row(y), oldBits.Row(y), newBits.Row(y), m, width, HardEdge, fields);
    }
}

void TWipeMask::ComposeDrawMask() {
    Dest->UnionClipRect(Dest->GetBoundsRect());
    Dest->Assign(*OldPicture);
    const int32_t height = Dest->GetHeight(), lines = Mask->GetHeight();
    if (lines >= height) {
        Dest->DrawMask(0, 0, *NewPicture, NewPicture->GetBoundsRect(), false, false, *Mask);
        return;
    }
    // The draw reads the mask where it reads the picture: the short mask repeated to full height.
    TDIBX full;
    full.SetSize(Mask->GetWidth(), height, 8);
    const TLockedBits from(*Mask), to(full);
    if (!from.Ok() || !to.Ok()) return;
    for (int32_t y = 0; y < height; ++y) std::memcpy(to.Row(y), MaskLine(from, lines, y), size_t(full.GetWidth()));
    Dest->DrawMask(0, 0, *NewPicture, NewPicture->GetBoundsRect(), false, false, full);
}

// ---- Stripes ----

bool TWipeBlindH::BuildMask() {
    const int32_t p0 = Param[0];
    if (SameLevel(Level(int64_t(p0 - 1) * 2 + Param[1]))) return false;
    HardEdge = Param[1] < 2;
    const TLockedBits mask(*Mask);
    if (!mask.Ok()) return false;
    uint8_t* row = mask.Row(0);
    for (int32_t x = 0; x < Mask->GetWidth(); ++x) {
        const int32_t i = x % p0;
        row[x] = uint8_t(RampValue(LastLevel, 2 * int64_t(Reverse ? p0 - 1 - i : i)));
    }
    return true;
}

int32_t TWipeBlindV::GetMaskLines() const { return PatternLines(*Dest, Param[0]); }

bool TWipeBlindV::BuildMask() {
    const int32_t p0 = Param[0];
    if (SameLevel(Level(int64_t(p0 - 1) * 2 + Param[1]))) return false;
    HardEdge = Param[1] < 2;
    for (int32_t y = 0; y < Mask->GetHeight(); ++y) {
        const int32_t value = RampValue(LastLevel, 2 * int64_t(Reverse ? p0 - 1 - y : y));
        if (value > 0 && value < 255) HardEdge = false;
        Mask->FillRect({0, y, Mask->GetWidth(), y + 1}, value);
    }
    return true;
}

// ---- Curtains ----

void TWipeOrderHMask::SetParam(int32_t Index, int32_t Value) {
    TCustomWipe::SetParam(Index, Index == 0 || Index == 1 ? std::max(Value, 1) : Value);
}

int32_t TWipeOrderHMask::ElementCount() const { return Mask->GetWidth(); }

void TWipeOrderHMask::SetElement(int32_t Index, uint8_t Value) { Mask->SetPixel(Index, 0, Value); }

bool TWipeOrderHMask::BuildMask() {
    const int32_t p0 = Param[0], count = ElementCount();
    const int64_t groups = (int64_t(count) + p0 - 1) / p0;
    if (SameLevel(Level((groups - 1 + p0 - 1) * 16 + Param[1]))) return false;
    HardEdge = Param[1] < 2;
    for (int32_t e = 0; e < count; ++e) {
        const int32_t i = Reverse ? count - 1 - e : e;
        SetElement(e, uint8_t(RampValue(LastLevel, (int64_t(i / p0) + i % p0) * 16)));
    }
    return true;
}

int32_t TWipeOrderVMask::GetMaskLines() const { return Dest->GetHeight(); }

int32_t TWipeOrderVMask::ElementCount() const { return Mask->GetHeight(); }

void TWipeOrderVMask::SetElement(int32_t Index, uint8_t Value) {
    Mask->FillRect({0, Index, Mask->GetWidth(), Index + 1}, Value);
}

// ---- Grids ----

int32_t TWipeGrid::RankCount(int32_t Columns, int32_t Rows) const { return Nearest(std::hypot(Columns - 1, Rows - 1)); }

int32_t TWipeGrid::CellRank(int32_t X, int32_t Y, int32_t Columns, int32_t Rows) const {
    return Reverse ? Nearest(std::hypot(Columns - 1 - X, Rows - 1 - Y)) : Nearest(std::hypot(X, Y));
}

bool TWipeGrid::BuildMask() {
    const int32_t p0 = Param[0], p1 = Param[1];
    const int32_t columns = (Mask->GetWidth() + p0 - 1) / p0, rows = (Mask->GetHeight() + p0 - 1) / p0;
    if (SameLevel(Level(int64_t(RankCount(columns, rows) - 1) * 4 + p1))) return false;
    HardEdge = p1 < 2;
    Mask->Fill(0);
    for (int32_t cy = 0; cy < rows; ++cy)
        for (int32_t cx = 0; cx < columns; ++cx) {
            const int64_t delay = int64_t(CellRank(cx, cy, columns, rows)) * 4;
            if (delay > LastLevel) continue;
            const int32_t value = RampValue(LastLevel, delay);
            const int32_t side = int32_t(std::min<int64_t>(p0, (LastLevel - delay) * p0 / p1));
            if (value <= 0 || side <= 0) continue;
            const int32_t left = cx * p0 + (p0 - side) / 2, top = cy * p0 + (p0 - side) / 2;
            Mask->FillRect(Bounds(left, top, side, side), value);
        }
    return true;
}

int32_t TWipeGridH::GetMaskLines() const { return PatternLines(*Dest, Param[0]); }

int32_t TWipeGridH::RankCount(int32_t Columns, int32_t) const { return Columns; }

int32_t TWipeGridH::CellRank(int32_t X, int32_t, int32_t Columns, int32_t) const {
    return Reverse ? Columns - 1 - X : X;
}

int32_t TWipeGridV::RankCount(int32_t, int32_t Rows) const { return Rows; }

int32_t TWipeGridV::CellRank(int32_t, int32_t Y, int32_t, int32_t Rows) const { return Reverse ? Rows - 1 - Y : Y; }

// ---- Dither ----

void TWipeDither::Prepare() {
    TWipeMask::Prepare();
    TNxRandom random(12341);
    random.SetCount(4096);
    Dots.resize(4096);
    for (int32_t& dot : Dots) dot = random.Draw();
}

bool TWipeDither::BuildMask() {
    const int32_t k = std::min(Level(4096), 4096);
    if (SameLevel(k)) return false;
    HardEdge = true;
    const bool late = k >= 2048;
    Mask->FillRect({0, 0, 64, 64}, late ? 255 : 0);
    const int32_t width = Mask->GetWidth();
    for (int32_t i = late ? k : 0; i < (late ? 4096 : k); ++i) {
        const int32_t dot = Dots[size_t(i)];
        if (dot % 64 < width) Mask->SetPixel(dot % 64, dot / 64, late ? 0 : 255);
    }
    for (int32_t x = 64; x < width; x += 64) Mask->Draw(x, 0, *Mask, {0, 0, 64, 64}, false, false, false);
    return true;
}

// ---- Mask image ----

void TWipeShadow::Prepare() {
    TWipeMask::Prepare();
    Thresholds.Load(Mask->GetWidth(), Mask->GetHeight(), MaskName, Reverse);
}

bool TWipeShadow::BuildMask() {
    const int32_t k = std::min(Level(512), 512) + 255;
    if (SameLevel(k)) return false;
    HardEdge = false;
    const int32_t width = Mask->GetWidth(), height = Mask->GetHeight();
    if (Thresholds.Values.size() != size_t(width) * size_t(height)) return false;
    const TLockedBits mask(*Mask);
    if (!mask.Ok()) return false;
    // clamp(k + threshold - 256, 0, 255), sixteen at a time through the saturating packs.
    const int32_t offset = k - 256;
    const __m128i add = _mm_set1_epi32(offset);
    const int32_t* threshold = Thresholds.Values.data();
    for (int32_t y = 0; y < height; ++y, threshold += width) {
        uint8_t* row = mask.Row(y);
        int32_t x = 0;
        for (; x + 16 <= width; x += 16) {
            const auto load = [&](int I) {
                return _mm_add_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(threshold + x + I)), add);
            };
            const __m128i lo = _mm_packs_epi32(load(0), load(4)), hi = _mm_packs_epi32(load(8), load(12));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(row + x), _mm_packus_epi16(lo, hi));
        }
        for (; x < width; ++x) row[x] = uint8_t(std::clamp(offset + threshold[x], 0, 255));
    }
    return true;
}

void LoadWipeMaskImage(TDIBX& Grey, int32_t Width, int32_t Height, const std::string& Name, bool Negative) {
    const TRGBQuadTable greys = MakeGreyColorTable();
    Grey.DIB->ColorTable = greys;
    Grey.SetSize(Width, Height, 8);
    if (Grey.GetEmpty()) return;
    Grey.Fill(0);
    if (Name.empty() || !VrFileManager || !ScriptHost().FileExists(Name)) return;
    TMemoryStream stream;
    VrFileManager->ReadFile(stream, Name);
    TMiraFrameList frames(MiraMan ? MiraMan->IdentCode : 0);
    frames.LoadFromStreamByName(stream, Name, true, false, false);
    if (frames.Count() == 0) return;
    TDIB& image = frames.GetFrame(0)->Image;
    const int32_t imageWidth = image.Empty() ? 0 : image.Width(), imageHeight = image.Empty() ? 0 : image.Height();
    if (imageWidth <= 0 || imageHeight <= 0) return;
    if (Negative) image.Negative();
    std::vector<TRGBQuad> colors(size_t(imageWidth), 0);
    std::vector<uint8_t> row(size_t(imageWidth), 0);
    std::unordered_map<TRGBQuad, uint8_t> nearest;
    const TLockedBits bits(Grey);
    if (!bits.Ok()) return;
    for (int32_t sy = 0; sy < std::min(imageHeight, Height); ++sy) {
        image.RowColors(sy, colors.data());
        for (int32_t x = 0; x < imageWidth; ++x) {
            const TRGBQuad c = colors[size_t(x)];
            auto found = nearest.find(c);
            if (found == nearest.end())
                found = nearest.emplace(c, uint8_t(NearestPaletteIndex(greys.data(), 256, QuadRed(c), QuadGreen(c),
                                                                       QuadBlue(c))))
                            .first;
            row[size_t(x)] = found->second;
        }
        for (int32_t y = sy; y < Height; y += imageHeight)
            for (int32_t x = 0; x < Width; x += imageWidth)
                std::memcpy(bits.Row(y) + x, row.data(), size_t(std::min(imageWidth, Width - x)));
    }
}

void TWipeThresholds::Load(int32_t Width, int32_t Height, const std::string& Name, bool Negative) {
    const size_t count = size_t(std::max(Width, 0)) * size_t(std::max(Height, 0));
    Values.clear();
    Values.assign(count, -255);
    TDIBX grey;
    LoadWipeMaskImage(grey, Width, Height, Name, Negative);
    if (grey.GetEmpty()) return;
    const TLockedBits bits(grey);
    if (!bits.Ok()) return;
    for (int32_t y = 0, at = 0; y < Height; ++y)
        for (int32_t x = 0; x < Width; ++x, ++at) Values[size_t(at)] = bits.Row(y)[x] - 255;
}

// ---- Clock hand and fans ----

void TWipeClockhand::SetParam(int32_t Index, int32_t Value) {
    TCustomWipe::SetParam(Index, Value);
    if (Index == 0) StartAngle = LastAngle = DegreesToAngle(Value);
}

bool TWipeClockhand::BuildMask() {
    const double turn = double(Elapsed) / Length * 2 * kPi;
    const double a = DegreesToAngle(Param[0]) + (Reverse ? -turn : turn);
    if (a == LastAngle) return false;
    HardEdge = true;
    if (Reverse ? a >= StartAngle : a <= StartAngle) {
        Mask->Fill(255);
        return true;
    }
    Mask->Fill(0);
    if (Reverse)
        MaskPie(*Mask, StartAngle, a);
    else
        MaskPie(*Mask, a, StartAngle);
    LastAngle = a;
    return true;
}

void TWipeFan::SetParam(int32_t Index, int32_t Value) {
    TCustomWipe::SetParam(Index, Value);
    if (Index == 0) LastAngle = DegreesToAngle(Value);
}

bool TWipeFan::BuildMask() {
    const double c = DegreesToAngle(Param[0]), f = double(Elapsed) / Length;
    const double a1 = c + f * kPi, a2 = c - f * kPi;
    if (a1 == LastAngle) return false;
    HardEdge = true;
    LastAngle = a1;
    if (a1 <= a2) {
        Mask->Fill(255);
        return true;
    }
    Mask->Fill(0);
    MaskPie(*Mask, a1, a2);
    return true;
}

void TWipeWFan::SetParam(int32_t Index, int32_t Value) {
    TCustomWipe::SetParam(Index, Value);
    if (Index == 0) LastAngle = DegreesToAngle(Value);
}

bool TWipeWFan::BuildMask() {
    const double c1 = DegreesToAngle(Param[0]), c2 = c1 + kPi, f = double(Elapsed) / Length;
    const double a1 = c1 + f * (kPi / 2), a2 = c1 - f * (kPi / 2);
    if (a1 == LastAngle) return false;
    HardEdge = true;
    LastAngle = a1;
    if (a1 <= a2) {
        Mask->Fill(255);
        return true;
    }
    Mask->Fill(0);
    MaskPie(*Mask, a1, a2);
    MaskPie(*Mask, c2 + f * (kPi / 2), c2 - f * (kPi / 2));
    return true;
}

// ---- Circle ----

bool TWipeCircle::BuildMask() {
    const int32_t cx = Mask->GetWidth() / 2, cy = Mask->GetHeight() / 2;
    const int32_t r = Nearest(std::hypot(cx, cy) * double(Reverse ? Length - Elapsed : Elapsed) / Length);
    if (r == LastRadius) return false;
    LastRadius = r;
    HardEdge = true;
    Mask->Fill(Reverse ? 255 : 0);
    if (r > 0) FillEllipse(*Mask, cx - r, cy - r, double(cx) + r, double(cy) + r, Reverse ? 0 : 255);
    return true;
}

// ---- Blocks ----

void TWipeBlockCoil::SetParam(int32_t Index, int32_t Value) { TCustomWipe::SetParam(Index, Value); }

void TWipeBlockCoil::Prepare() {
    TWipeMask::Prepare();
    const int32_t s = BlockSize(*Dest, Param[0]);
    Param[0] = s;
    Blocks.clear();
    if (s > 0 && !Mask->GetEmpty()) {
        enum { Right, Down, Left, Up } heading = Right;
        TRect limits = Mask->GetBoundsRect();
        TRect block = Bounds(0, 0, s, s);
        const auto move = [&](int32_t DX, int32_t DY) { block = Bounds(block.Left + DX, block.Top + DY, s, s); };
        while (limits.Left < limits.Right && limits.Top < limits.Bottom) {
            Blocks.push_back(block);
            switch (heading) {
            case Right:
                if (block.Right >= limits.Right) {
                    limits.Top = block.Bottom;
                    heading = Down;
                    move(0, s);
                } else {
                    move(s, 0);
                }
                break;
            case Down:
                if (block.Bottom >= limits.Bottom) {
                    limits.Right = block.Left;
                    heading = Left;
                    move(-s, 0);
                } else {
                    move(0, s);
                }
                break;
            case Left:
                if (block.Left <= limits.Left) {
                    limits.Bottom = block.Top;
                    heading = Up;
                    move(0, -s);
                } else {
                    move(-s, 0);
                }
                break;
            case Up:
                if (block.Top <= limits.Top) {
                    limits.Left = block.Right;
                    heading = Right;
                    move(s, 0);
                } else {
                    move(0, -s);
                }
                break;
            }
        }
    }
    LastBlock = Reverse ? int32_t(Blocks.size()) : -1;
}

bool TWipeBlockCoil::BuildMask() {
    if (Blocks.empty()) return false;
    const int32_t last = int32_t(Blocks.size()) - 1;
    const int32_t k =
        std::min(Reverse ? int32_t(int64_t(last) * (Length - int64_t(Elapsed)) / Length) : Level(last), last);
    if (k == LastBlock) return false;
    HardEdge = true;
    if (Reverse ? k < LastBlock : k > LastBlock) FillBlocks(*Mask, Blocks, Reverse ? LastBlock - 1 : LastBlock + 1, k);
    LastBlock = k;
    return true;
}

void TWipeBlockRandom::SetParam(int32_t Index, int32_t Value) { TCustomWipe::SetParam(Index, Value); }

void TWipeBlockRandom::Prepare() {
    TWipeMask::Prepare();
    const int32_t s = BlockSize(*Dest, Param[0]);
    Param[0] = s;
    Blocks.clear();
    LastBlock = -1;
    if (s <= 0 || Mask->GetEmpty()) return;
    std::vector<TRect> raster;
    for (int32_t y = 0; y < Mask->GetHeight(); y += s)
        for (int32_t x = 0; x < Mask->GetWidth(); x += s) raster.push_back(Bounds(x, y, s, s));
    // Each draw picks one of the blocks left, counted in raster order.
    TRankedTake left(raster.size());
    Blocks.reserve(raster.size());
    for (size_t n = raster.size(); n > 0; --n) Blocks.push_back(raster[left.Take(size_t(Random(int32_t(n))))]);
}

bool TWipeBlockRandom::BuildMask() {
    if (Blocks.empty()) return false;
    const int32_t k = std::min(Level(int32_t(Blocks.size()) - 1), int32_t(Blocks.size()) - 1);
    if (k == LastBlock) return false;
    HardEdge = true;
    if (k > LastBlock) FillBlocks(*Mask, Blocks, LastBlock + 1, k);
    LastBlock = k;
    return true;
}
