#include "text/wipes_pixels.h"

#include "core/rands.h"
#include "graphics/blendrow.h"
#include "graphics/dibsfc.h"
#include "graphics/dibx_pixel.h"
#include "objects/vitems.h"
#include "text/wipes_mask.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numbers>

namespace {

int32_t Nearest(double V) { return int32_t(std::nearbyint(V)); }

// A surface locked at its first pixel for one frame, addressed by rows.
class TLockedRows {
public:
    explicit TLockedRows(TCustomDIBX& S) : lock_(S, 0, 0), next_(S.GetNextLine()) {}
    bool Ok() const { return lock_.Get() != nullptr; }
    uint8_t* Row(int32_t Y) const { return lock_.Get() + ptrdiff_t(Y) * next_; }

private:
    dibx::TLockGuard lock_;
    int32_t next_;
};

bool SameShape(const TCustomDIBX& A, const TCustomDIBX& B) {
    return A.GetWidth() == B.GetWidth() && A.GetHeight() == B.GetHeight() && A.GetBitCount() == B.GetBitCount();
}

// Runs Fn(channels, bytes per pixel, dest rows, old rows, new rows) with the three surfaces of
// a transition locked, when both pictures have Dest's shape and every lock holds.
template <class Fn>
void WithLockedPictures(TCustomWipe& Wipe, Fn&& F) {
    if (!SameShape(*Wipe.Dest, *Wipe.OldPicture) || !SameShape(*Wipe.Dest, *Wipe.NewPicture)) return;
    dibx::WithFormat(*Wipe.Dest, [&](const auto& Ch, auto Bytes) {
        const TLockedRows dest(*Wipe.Dest), old(*Wipe.OldPicture), fresh(*Wipe.NewPicture);
        if (dest.Ok() && old.Ok() && fresh.Ok()) F(Ch, Bytes, dest, old, fresh);
    });
}

// The grey (i, i, i) for i = 0..255 as Dest adds it.
std::array<uint32_t, 256> GreyRampOf(const TCustomDIBX& Dest) {
    std::array<uint32_t, 256> ramp{};
    switch (Dest.GetBitCount()) {
    case 15:
    case 16: return GreyRamp16;
    case 24:
        for (uint32_t i = 0; i < 256; ++i) ramp[i] = i * 0x010101;
        return ramp;
    case 32: return GreyRamp32;
    default: return ramp;
    }
}

// The frame of the spotlight and the flares. A pixel whose table value is v (Values, one per
// pixel, row by row) takes Entries[v + Offset]: bit 31 (kShowsNew) set where the new picture
// shows, the other bits the grey added to it (subtracted when Darken). Entries are built once
// per frame.
void ComposeRamped(TCustomWipe& Wipe, bool Darken, const int32_t* Values, int32_t Offset,
                   const std::vector<uint32_t>& Entries) {
    const int32_t w = Wipe.Dest->GetWidth(), h = Wipe.Dest->GetHeight();
    const uint32_t* entries = Entries.data() + Offset;
    WithLockedPictures(
        Wipe, [&](const auto& Ch, auto Bytes, const TLockedRows& Dest, const TLockedRows& Old, const TLockedRows& New) {
            constexpr int kBytes = decltype(Bytes)::value;
            for (int32_t y = 0; y < h; ++y) {
                uint8_t* d = Dest.Row(y);
                const uint8_t *o = Old.Row(y), *n = New.Row(y);
                const int32_t* values = Values + ptrdiff_t(y) * w;
                if constexpr (kBytes == 4) {
                    RampedRow32(d, o, n, values, entries, w, Darken);
                } else {
                    for (int32_t x = 0; x < w; ++x) {
                        const uint32_t e = entries[values[x]], grey = e & ~kShowsNew;
                        const uint32_t s = dibx::Load<kBytes>((e & kShowsNew ? n : o) + x * kBytes);
                        dibx::Store<kBytes>(d + x * kBytes, Darken ? Ch.Sub(s, grey) : Ch.Add(s, grey, 256));
                    }
                }
            }
        });
}

// The entry of a pixel Into levels into its flare (0..511 inside): the grey rises over the first
// 256 levels and falls over the next 256, and the new picture shows from level 256 on.
uint32_t FlareEntry(const std::array<uint32_t, 256>& Ramp, int32_t Into) {
    if (Into < 0) return 0;
    if (Into >= 512) return kShowsNew;
    return Into < 256 ? Ramp[size_t(Into)] : Ramp[size_t(511 - Into)] | kShowsNew;
}

// Mask := W x H at 8 bits, the difference between the two pictures.
std::unique_ptr<TDIBX> MakeDifferenceMask(TCustomWipe& Wipe) {
    auto mask = std::make_unique<TDIBX>();
    mask->SetSize(Wipe.Dest->GetWidth(), Wipe.Dest->GetHeight(), 8);
    BuildDifferenceMask(*mask, *Wipe.OldPicture, *Wipe.NewPicture);
    return mask;
}

// Background copied onto Dest, then Picture turned by Angle and zoomed by Zoom about its centre
// onto Dest's centre with blend value nearest(Zoom * 255), through Mask when there is one.
void DrawTurned(TCustomWipe& Wipe, TCustomDIBX& Background, TCustomDIBX& Picture, double Zoom, double Angle,
                TDIBX* Mask) {
    TCustomDIBX& dest = *Wipe.Dest;
    dest.UnionClipRect(dest.GetBoundsRect());
    dest.Assign(Background);
    const int32_t x = dest.GetWidth() / 2, y = dest.GetHeight() / 2, blend = Nearest(Zoom * 255);
    const int32_t cx = Picture.GetWidth() / 2, cy = Picture.GetHeight() / 2;
    if (Mask)
        dest.DrawRotateMask(x, y, Zoom, Zoom, Picture, Picture.GetBoundsRect(), cx, cy, Angle, false, false, *Mask,
                            blend);
    else
        dest.DrawRotate(x, y, Zoom, Zoom, Picture, Picture.GetBoundsRect(), cx, cy, Angle, false, false, false, blend);
}

// Angle for a share of Turns / 256 of a full turn, the other way when reversed.
double TurnAngle(double Share, int32_t Turns, bool Reverse) {
    const double a = Share * Turns / 256 * 2 * std::numbers::pi;
    return Reverse ? -a : a;
}

// A blurred copy of Picture in Blurred (Picture's size and bit count).
void Blur(TDIBX& Blurred, TCustomDIBX& Picture, int32_t Radius) {
    const int32_t w = Picture.GetWidth(), h = Picture.GetHeight(), bits = Picture.GetBitCount();
    Blurred.SetSize(w, h, bits);
    Blurred.Assign(Picture);
    if (Picture.GetBitsPerPixel() != 16) return Blurred.DIB->Blur(Blurred.DIB->BitCount(), Radius);
    TDIBSurface wide, back;
    wide.SetSize(w, h, 24);
    wide.CopyConvert(0, 0, *Blurred.DIB);
    wide.Blur(24, Radius);
    back.SetSize(w, h, bits);
    back.CopyConvert(0, 0, wide);
    Blurred.DIB->Assign(&back);
}

// The numbers 0 .. Count - 1 in increasing order, from which numbers are taken by their position
// among those left; a position is found in logarithmic time (a Fenwick tree of counts), so
// drawing the order of many pieces stays fast.
class TRemainingNumbers {
public:
    explicit TRemainingNumbers(int32_t Count) : tree_(size_t(Count) + 1) {
        for (int32_t i = 1; i <= Count; ++i) {
            tree_[size_t(i)] += 1;
            if (const int32_t up = i + (i & -i); up <= Count) tree_[size_t(up)] += tree_[size_t(i)];
        }
        while (top_ * 2 <= Count) top_ *= 2;
    }
    // Removes and answers the number at Position (0-based) among those left.
    int32_t Take(int32_t Position) {
        int32_t at = 0;
        for (int32_t step = top_; step > 0; step /= 2)
            if (at + step < int32_t(tree_.size()) && tree_[size_t(at + step)] <= Position)
                at += step, Position -= tree_[size_t(at)];
        for (int32_t i = at + 1; i < int32_t(tree_.size()); i += i & -i) --tree_[size_t(i)];
        return at;
    }

private:
    std::vector<int32_t> tree_;
    int32_t top_ = 1;  // the highest power of two up to Count
};

}  // namespace

void BuildDifferenceMask(TCustomDIBX& Mask, TCustomDIBX& A, TCustomDIBX& B) {
    const int bytes = A.GetBitCount() == 32 ? 4 : A.GetBitsPerPixel() == 24 ? 3 : A.GetBitsPerPixel() == 16 ? 2 : 0;
    if (bytes == 0 || A.GetBitCount() != B.GetBitCount() || Mask.GetBitCount() != 8) return;
    const int32_t w = std::min({Mask.GetWidth(), A.GetWidth(), B.GetWidth()});
    const int32_t h = std::min({Mask.GetHeight(), A.GetHeight(), B.GetHeight()});
    if (w <= 0 || h <= 0) return;
    const TLockedRows mask(Mask), a(A), b(B);
    if (!mask.Ok() || !a.Ok() || !b.Ok()) return;
    for (int32_t y = 0; y < h; ++y) {
        uint8_t* m = mask.Row(y);
        const uint8_t *pa = a.Row(y), *pb = b.Row(y);
        for (int32_t x = 0; x < w; ++x, pa += bytes, pb += bytes) m[x] = std::memcmp(pa, pb, size_t(bytes)) ? 255 : 0;
    }
}

// ---- Spotlight ----

void TWipeSpot::SetReverse(bool Value) {
    TCustomWipe::SetReverse(Value);
    const int32_t w = Dest->GetWidth(), h = Dest->GetHeight(), cx = w / 2, cy = h / 2;
    const int32_t r = Nearest(std::hypot(cx, cy));
    MaxLevel = r + 512;
    DistanceTable.resize(size_t(std::max(w, 0)) * size_t(std::max(h, 0)));
    for (int32_t y = 0, at = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x, ++at) {
            const int32_t d = Nearest(std::hypot(std::abs(y - cy), std::abs(x - cx)));
            DistanceTable[size_t(at)] = Value ? r - d : d;
        }
}

bool TWipeSpot::Step() {
    if (StepFinished()) return true;
    if (DistanceTable.size() != size_t(Dest->GetWidth()) * size_t(Dest->GetHeight())) return false;
    const int32_t k = Elapsed * MaxLevel / Length;
    const std::array<uint32_t, 256> ramp = GreyRampOf(*Dest);
    std::vector<uint32_t> entries(size_t(MaxLevel - 511));  // distances 0 .. MaxLevel - 512
    for (int32_t d = 0; d < int32_t(entries.size()); ++d) entries[size_t(d)] = FlareEntry(ramp, k - d);
    ComposeRamped(*this, false, DistanceTable.data(), 0, entries);
    return false;
}

// ---- Mask-image flares ----

void TWipeShadowWhite::Prepare() {
    for (int32_t i = 0; i < 1024; ++i) FlareTable[i] = uint16_t(std::clamp(i - 256, 0, 511));
    Thresholds.Load(Dest->GetWidth(), Dest->GetHeight(), MaskName, Reverse);
}

bool TWipeShadowWhite::Step() {
    if (StepFinished()) return true;
    if (Thresholds.Values.size() != size_t(Dest->GetWidth()) * size_t(Dest->GetHeight())) return false;
    const int32_t k = Elapsed * 768 / Length + 255;
    const std::array<uint32_t, 256> ramp = GreyRampOf(*Dest);
    std::vector<uint32_t> entries(256);  // thresholds -255 .. 0
    for (int32_t g = 0; g < 256; ++g)
        entries[size_t(g)] = FlareEntry(ramp, FlareTable[std::clamp(k + g - 255, 0, 1023)]);
    ComposeRamped(*this, Darkens(), Thresholds.Values.data(), 255, entries);
    return false;
}

// ---- Shrinking and growing ----

TWipeSmall::~TWipeSmall() = default;

void TWipeSmall::Prepare() {
    DifferenceMask.reset();
    if (ChangedOnly) DifferenceMask = MakeDifferenceMask(*this);
}

bool TWipeSmall::Step() {
    if (StepFinished()) return true;
    const double zoom = double(Length - 1 - Elapsed) / Length;
    DrawTurned(*this, *NewPicture, *OldPicture, zoom, TurnAngle(double(Elapsed) / Length, Param[0], Reverse),
               DifferenceMask.get());
    return false;
}

TWipeBig::~TWipeBig() = default;

void TWipeBig::Prepare() {
    DifferenceMask.reset();
    if (ChangedOnly) DifferenceMask = MakeDifferenceMask(*this);
}

bool TWipeBig::Step() {
    if (StepFinished()) return true;
    const double zoom = double(Elapsed) / Length;
    DrawTurned(*this, *OldPicture, *NewPicture, zoom,
               TurnAngle(double(Length - 1 - Elapsed) / Length, Param[0], Reverse), DifferenceMask.get());
    return false;
}

// ---- Ripple ----

TWipeRipple::TWipeRipple(TCustomDIBX& ADest, TCustomDIBX& AOldPicture, TCustomDIBX& ANewPicture)
    : TCustomWipe(ADest, AOldPicture, ANewPicture) {
    const int32_t cx = std::max(ADest.GetWidth() / 2, 0), cy = std::max(ADest.GetHeight() / 2, 0);
    const size_t count = size_t(cx) * size_t(cy);
    DistanceTable.resize(count);
    CosTable.resize(count);
    SinTable.resize(count);
    for (int32_t y = 0, at = 0; y < cy; ++y)
        for (int32_t x = 0; x < cx; ++x, ++at) {
            DistanceTable[size_t(at)] = uint16_t(Nearest(std::hypot(cy - y, cx - x)));
            const double angle = std::atan2(y - cy, x - cx);
            CosTable[size_t(at)] = Nearest(std::cos(angle) * 65536);
            SinTable[size_t(at)] = Nearest(std::sin(angle) * 65536);
        }
    WaveTable.resize(size_t(std::min(cx, cy) * 2 / 3));
    BuildWave(5);
}

void TWipeRipple::SetParam(int32_t Index, int32_t Value) {
    TCustomWipe::SetParam(Index, Value);
    if (Index == 0) BuildWave(Value);
}

void TWipeRipple::BuildWave(int32_t Amplitude) {
    const int32_t q = int32_t(WaveTable.size()) / 4;
    for (int32_t i = 0; i < int32_t(WaveTable.size()); ++i) WaveTable[size_t(i)] = q ? (i % q) * Amplitude / q : 0;
}

bool TWipeRipple::Step() {
    if (StepFinished()) return true;
    const int32_t w = Dest->GetWidth(), h = Dest->GetHeight(), cx = w / 2, cy = h / 2;
    if (DistanceTable.size() != size_t(std::max(cx, 0)) * size_t(std::max(cy, 0))) return false;
    const int32_t n = int32_t(WaveTable.size()), last = n - 1;
    const int32_t front = Elapsed * (Nearest(std::hypot(cx, cy)) + n) / Length;
    WithLockedPictures(
        *this, [&](const auto&, auto Bytes, const TLockedRows& Dest, const TLockedRows& Old, const TLockedRows& New) {
            constexpr int kBytes = decltype(Bytes)::value;
            auto copy = [](uint8_t* To, int32_t X, const uint8_t* From, int32_t FromX) {
                std::memcpy(To + X * kBytes, From + FromX * kBytes, kBytes);
            };
            // Columns From..To of a quarter's row y and their mirrors, each from the same place of
            // Source.
            auto copySpan = [&](const TLockedRows& Source, int32_t Y, int32_t From, int32_t To) {
                const size_t bytes = size_t(To - From) * kBytes;
                for (const int32_t row : {Y, h - 1 - Y}) {
                    std::memcpy(Dest.Row(row) + From * kBytes, Source.Row(row) + From * kBytes, bytes);
                    std::memcpy(Dest.Row(row) + (w - To) * kBytes, Source.Row(row) + (w - To) * kBytes, bytes);
                }
            };
            const int32_t* const wave = WaveTable.data();
            for (int32_t y = 0; y < cy; ++y) {
                // The distances fall along a quarter's row towards the centre: the old picture
                // shows up to the front, the wave's band lies behind it, and the new picture
                // shows unmoved behind the band.
                const ptrdiff_t row = ptrdiff_t(y) * cx;
                const uint16_t* const distances = DistanceTable.data() + row;
                const int32_t *const cosines = CosTable.data() + row, *const sines = SinTable.data() + row;
                const int32_t bandFrom = int32_t(
                    std::partition_point(distances, distances + cx, [&](uint16_t D) { return D > front; }) - distances);
                const int32_t bandTo = int32_t(std::partition_point(distances + bandFrom, distances + cx,
                                                                    [&](uint16_t D) { return D >= front - last; }) -
                                               distances);
                copySpan(Old, y, 0, bandFrom);
                copySpan(New, y, bandTo, cx);
                uint8_t *const top = Dest.Row(y), *const bottom = Dest.Row(h - 1 - y);
                for (int32_t x = bandFrom; x < bandTo; ++x) {
                    const int32_t d = distances[x], r = d + wave[last + d - front];
                    const int32_t px = cx + cosines[x] * r / 65536, py = cy + sines[x] * r / 65536;
                    const bool inside = px >= 0 && px < w && py >= 0 && py < h;
                    const int32_t sx = inside ? px : x, sy = inside ? py : y;
                    const uint8_t *const from = New.Row(sy), *const mirrored = New.Row(h - 1 - sy);
                    copy(top, x, from, sx);
                    copy(top, w - 1 - x, from, w - 1 - sx);
                    copy(bottom, x, mirrored, sx);
                    copy(bottom, w - 1 - x, mirrored, w - 1 - sx);
                }
            }
        });
    return false;
}

// ---- Blur ----

TWipeBlurWhite::TWipeBlurWhite(TCustomDIBX& ADest, TCustomDIBX& AOldPicture, TCustomDIBX& ANewPicture)
    : TCustomWipe(ADest, AOldPicture, ANewPicture),
      BlurredOld(std::make_unique<TDIBX>()),
      BlurredNew(std::make_unique<TDIBX>()) {
    const int32_t radius = std::min(ADest.GetWidth(), ADest.GetHeight()) / 20;
    Blur(*BlurredOld, AOldPicture, radius);
    Blur(*BlurredNew, ANewPicture, radius);
}

TWipeBlurWhite::~TWipeBlurWhite() = default;

bool TWipeBlurWhite::Step() {
    if (StepFinished()) return true;
    TCustomDIBX& dest = *Dest;
    const TRect bounds = dest.GetBoundsRect();
    dest.UnionClipRect(bounds);
    const int32_t v = Elapsed * 639 / Length;
    if (v < 256 || v >= 384) {
        dest.Assign(v < 256 ? *OldPicture : *NewPicture);
        TDIBX& blurred = v < 256 ? *BlurredOld : *BlurredNew;
        dest.DrawAlpha(0, 0, blurred, blurred.GetBoundsRect(), false, false, false, v < 256 ? v : 639 - v);
        return false;
    }
    dest.Assign(v < 320 ? *BlurredOld : *BlurredNew);
    const int32_t grey = dest.ColorToPixel((v < 320 ? v - 256 : 383 - v) * 4 * 0x010101);
    Darkens() ? dest.FillRectSub(bounds, grey) : dest.FillRectAdd(bounds, grey);
    return false;
}

// ---- Crumbling picture ----

bool TWipeCrackDraw::Draw(int32_t T) {
    TCustomDIBX& dest = *Owner->Dest;
    const int32_t s = Owner->Param[0], w = dest.GetWidth(), h = dest.GetHeight();
    const int32_t homeX = s * Column, homeY = s * Row;
    int32_t x = homeX, y = homeY;
    bool fallen = false;
    if (T >= Start) {
        const int32_t dt = T - Start;
        x += Speed * dt / 100;
        y += dt * (5 * dt - 1500) / 1000;
        fallen = h <= y;
    }
    const TRect square = Bounds(homeX, homeY, std::min(s, w - homeX), std::min(s, h - homeY));
    if (Kind == 1) dest.Draw(x, y, *Owner->OldPicture, square, false, false, false);
    if (Kind == 2) dest.DrawMask(x, y, *Owner->OldPicture, square, false, false, *Owner->Mask);
    return fallen;
}

TWipeCrack::TWipeCrack(TCustomDIBX& ADest, TCustomDIBX& AOldPicture, TCustomDIBX& ANewPicture)
    : TCustomWipe(ADest, AOldPicture, ANewPicture), Mask(std::make_unique<TDIBX>()) {}

TWipeCrack::~TWipeCrack() = default;

uint8_t TWipeCrack::PieceKind(int32_t X, int32_t Y) const {
    const int32_t s = Param[0], w = std::min(s, Mask->GetWidth() - X), h = std::min(s, Mask->GetHeight() - Y);
    if (w < 1 || h < 1) return 0;
    const uint8_t first = uint8_t(Mask->GetPixel(X, Y));
    for (int32_t y = Y; y < Y + h; ++y)
        for (int32_t x = X; x < X + w; ++x)
            if (Mask->GetPixel(x, y) != first) return 2;
    return first == 0 ? 0 : 1;
}

void TWipeCrack::Prepare() {
    Pieces.clear();
    Param[0] = std::max(Param[0], 16);
    Param[1] = std::max(Param[1], 0);
    const int32_t s = Param[0], w = Dest->GetWidth(), h = Dest->GetHeight();
    Mask->SetSize(w, h, 8);
    if (ChangedOnly)
        BuildDifferenceMask(*Mask, *OldPicture, *NewPicture);
    else
        Mask->Fill(255);

    const int32_t columns = std::max(w + s - 1, 0) / s, rows = std::max(h + s - 1, 0) / s;
    FallTime = 0;
    while (h > FallTime * (5 * FallTime - 1500) / 1000) ++FallTime;

    const int32_t count = columns * rows;
    TRemainingNumbers numbers(count);
    Pieces.resize(size_t(count));
    for (int32_t n = 0; n < count; ++n) {
        const int32_t number = numbers.Take(Random(count - n));
        auto piece = std::make_unique<TWipeCrackDraw>();
        piece->Owner = this;
        piece->Start = Param[1] * n;
        piece->Column = number % columns;
        piece->Row = number / columns;
        piece->Speed = Random(200) - 100;
        piece->Kind = PieceKind(piece->Column * s, piece->Row * s);
        Pieces[size_t(n)] = std::move(piece);
    }
    LastStart = (columns * rows - 1) * Param[1];
}

bool TWipeCrack::Step() {
    if (StepFinished()) return true;
    const int32_t t = (FallTime + LastStart) * Elapsed / Length;
    Dest->UnionClipRect(Dest->GetBoundsRect());
    Dest->Assign(*NewPicture);
    for (const auto& piece : Pieces)
        if (piece && t < piece->Start) piece->Draw(t);
    for (auto it = Pieces.rbegin(); it != Pieces.rend(); ++it)
        if (*it && t >= (*it)->Start && (*it)->Draw(t)) it->reset();
    return false;
}
