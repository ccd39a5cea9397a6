// The fire: the cooling table, the field and its noise, the burn, the drawing and the record.
#include "objects/vitemex_fire.h"

#include "core/header_vocab.h"
#include "core/rands.h"
#include "graphics/graphic.h"
#include "objects/vitemex_image.h"
#include "objects/vitems_kinds.h"

#include <algorithm>
#include <cmath>

namespace {

// The lowest heat: the field starts at it and never cools below it.
constexpr uint8_t FloorHeat = 16;
constexpr uint8_t FullHeat = 254;
// Heats below this are not drawn.
constexpr int32_t DrawThreshold = 17;
constexpr int32_t BurnInterval = 40;  // ms of frame time per burn

}  // namespace

TVelaFire::TVelaFire(TVelaBaseList* AOwner, bool UniqueName) : TVelaControl(AOwner, UniqueName) {
    Field.SetSize(FieldWidth, FieldHeight, 8);
    SetStrength(Strength);
}

TVelaFire::~TVelaFire() { Invalidate(); }

// ---- Properties ----

std::array<uint8_t, 1024> TVelaFire::CoolingTable(double S) {
    if (!(S > 0)) S = 0.0001;
    std::array<uint8_t, 1024> table{};
    for (int i = 0; i < 1024; ++i) {
        const double f = (1023 - i) / 1023.0;
        const double q = std::nearbyint(i / (S - 0.05 * f * f * f));
        if (std::isnan(q))
            table[i] = 0;
        else if (q > FullHeat)
            table[i] = FullHeat;
        else if (q >= 0)
            table[i] = uint8_t(q);
        else  // the low 8 bits of the negative quotient
            table[i] = uint8_t(int32_t(std::fmod(q, 256.0)) & 0xFF);
    }
    return table;
}

void TVelaFire::SetStrength(double S) {
    Strength = S;
    Cooling = CoolingTable(S);
}

void TVelaFire::SetPower(int32_t V) {
    if (V != Power) ApplyPower(V);
}

void TVelaFire::ApplyPower(int32_t V) {
    Power = std::clamp(V, 0, 255);
    SetStrength((128.0 - V) / 128.0 * 1.2825 + 4.2175);
}

int32_t TVelaFire::ZoomedExtent(int32_t Side, long double Zoom) { return std::max(1, RoundSat(Side * Zoom)); }

void TVelaFire::ResizeToField() {
    Invalidate();
    SetBounds(GetLeft(), GetTop(), ZoomedExtent(FieldWidth, ZoomX), ZoomedExtent(FieldHeight, ZoomY));
    Invalidate();
}

// The whole field burns 25 times a second: one larger than the scene's picture is refused.
void TVelaFire::CheckFieldSize(int32_t Width, int32_t Height) const {
    const TCustomDIBX* scene = Owner ? Owner->GetSurface() : nullptr;
    CheckImageSize(Width, Height, 8, scene ? scene->GetWidth() : kMaxImageSide,
                   scene ? scene->GetHeight() : kMaxImageSide);
}

void TVelaFire::SetFieldSide(int32_t& Side, int32_t V) {
    V = std::max(V, 1);
    if (V == Side) return;
    const int32_t w = &Side == &FieldWidth ? V : FieldWidth, h = &Side == &FieldHeight ? V : FieldHeight;
    CheckFieldSize(w, h);
    Side = V;
    ResizeToField();
    Burning = false;
}

void TVelaFire::SetOrigwidth(int32_t V) { SetFieldSide(FieldWidth, V); }
void TVelaFire::SetOrigheight(int32_t V) { SetFieldSide(FieldHeight, V); }

void TVelaFire::SetFloatzoomx(long double V) {
    if (V == ZoomX) return;
    ZoomX = V;
    ResizeToField();
}

void TVelaFire::SetFloatzoomy(long double V) {
    if (V == ZoomY) return;
    ZoomY = V;
    ResizeToField();
}

int32_t TVelaFire::GetZoomx() const { return TruncSat(ZoomX * 256); }
int32_t TVelaFire::GetZoomy() const { return TruncSat(ZoomY * 256); }

// ---- Burning ----

void TVelaFire::Reset() {
    if (Field.GetWidth() != FieldWidth || Field.GetHeight() != FieldHeight) Field.SetSize(FieldWidth, FieldHeight, 8);
    ColumnOffset = RowOffset = 0;
    Noise.resize(size_t(FieldWidth) * size_t(FieldHeight));
    for (uint8_t& n : Noise) n = uint8_t(Random(9));
    Field.Fill(FloorHeat);
    Burning = true;
}

void TVelaFire::Burn() {
    const int32_t w = Field.GetWidth(), h = Field.GetHeight();
    if (w <= 0 || h <= 0 || Noise.size() != size_t(w) * size_t(h)) return;
    RowOffset = (RowOffset + 1) % h;
    if (RowOffset % 8 == 0) ColumnOffset = (ColumnOffset + 1) % w;
    uint8_t* const bits = Field.Lock(0, 0);
    if (!bits) return;
    const int32_t pitch = Field.GetNextLine();
    auto row = [&](int32_t y) { return bits + int64_t(y) * pitch; };
    for (int32_t y = std::max(0, h - 4); y < h; ++y) std::fill_n(row(y), w, FullHeat);
    if (w >= 3 && h >= 3) {
        for (int32_t y = 0; y <= h - 3; ++y) {
            uint8_t* const cell = row(y);
            const uint8_t* const below = row(y + 1);
            const uint8_t* const below2 = row(y + 2);
            const uint8_t* const noise = Noise.data() + size_t((y + 1 + RowOffset) % h) * size_t(w);
            for (int32_t x = 1; x <= w - 2; ++x) {
                const int sum = below[x - 1] + below[x + 1] + cell[x] + below2[x];
                const int cooled = Cooling[sum] - noise[(x + ColumnOffset) % w];
                cell[x] = uint8_t(std::max<int>(cooled, FloorHeat));
            }
        }
    }
    Field.Unlock();
}

bool TVelaFire::Step() {
    const bool result = TVelaControl::Step();
    if (!Burning) {
        Reset();
    } else if (!GetAnipaused()) {
        Elapsed += int32_t(SceneTickLength());
        if (Elapsed >= BurnInterval) {
            Elapsed %= BurnInterval;
            Burn();
            Invalidate();
        }
    }
    return result;
}

// ---- Drawing ----

void TVelaFire::Prepare() {
    TCustomDIBX* dest = GetVisible() ? GetLayerSurface() : nullptr;
    const int bits = dest ? dest->GetBitCount() : 0;
    const void* ramp = bits == 15 || bits == 16 ? static_cast<const void*>(FireRamp16.data())
                       : bits == 32             ? static_cast<const void*>(FireColors32.data())
                                                : nullptr;
    if (ramp && Field.GetWidth() > 0 && Field.GetHeight() > 0) {
        const TRect whole = Field.GetBoundsRect();
        if (ZoomX == 1 && ZoomY == 1)
            dest->DrawIndexed(GetOriginX(), GetOriginY(), Field, whole, DrawThreshold, false, false, 255, ramp);
        else
            dest->StretchDrawIndexed(TVelaControl::GetBoundsRect(), Field, whole, DrawThreshold, false, false, 255,
                                     ramp);
    }
    TVelaControl::Prepare();
}

// ---- The record ----

// Written in the newest layout; before 143 the zooms were integers in 1/256, before 104 the
// handler, the pause and zoom y were absent. The field is not kept: it is built again.
void TVelaFire::SaveToStream(TStream& Stream) {
    TVelaControl::SaveToStream(Stream);
    WriteStreamInt(Stream, Power);
    WriteStreamInt(Stream, FieldWidth);
    WriteStreamInt(Stream, FieldHeight);
    WriteStreamExtended(Stream, ZoomX);
    WriteStreamString(Stream, OnIdle);
    WriteStreamByte(Stream, Paused);
    WriteStreamExtended(Stream, ZoomY);
}

void TVelaFire::LoadFromStream(TStream& Stream, int32_t Version) {
    TVelaControl::LoadFromStream(Stream, Version);
    const bool floats = Version >= 143;
    auto readZoom = [&] { return floats ? ReadFiniteExtended(Stream) : ReadStreamInt(Stream) / 256.0L; };
    const int32_t power = ReadStreamInt(Stream);
    const int32_t width = std::max(ReadStreamInt(Stream), 1), height = std::max(ReadStreamInt(Stream), 1);
    CheckFieldSize(width, height);
    const long double zoomX = readZoom();
    long double zoomY = ZoomY;
    if (Version >= 104) {
        OnIdle = ReadStreamString(Stream);
        Paused = ReadStreamByte(Stream) != 0;
        zoomY = readZoom();
    }
    // Through the property so that the strength follows the saved power.
    ApplyPower(power);
    FieldWidth = width;
    FieldHeight = height;
    ZoomX = zoomX;
    ZoomY = zoomY;
    ResizeToField();
    Burning = false;
}
