// The wave: the travelling sine of row offsets, the surface handed to the children, the widened
// redraw areas and the record.
#include "objects/vitemex_wave.h"

#include "objects/vitemex_image.h"
#include "objects/vitems_kinds.h"

#include <cmath>
#include <cstdlib>
#include <numbers>

TVelaWave::TVelaWave(TVelaBaseList* AOwner, bool UniqueName) : TVelaControl(AOwner, UniqueName) {}

TVelaWave::~TVelaWave() { Invalidate(); }

void TVelaWave::PlaceSurface() {
    if (Wave.GetWidth() != GetWidth() || Wave.GetHeight() != GetHeight()) Wave.SetSize(GetWidth(), GetHeight(), 0);
    FollowOrigin();
}

void TVelaWave::FollowOrigin() {
    Wave.OriginX = GetOriginX();
    Wave.OriginY = GetOriginY();
}

void TVelaWave::SetLeft(int32_t V) {
    TVelaControl::SetLeft(V);
    PlaceSurface();
}

void TVelaWave::SetTop(int32_t V) {
    TVelaControl::SetTop(V);
    PlaceSurface();
}

// The surface is sized first: a side it cannot have raises before the object changes.
void TVelaWave::SetWidth(int32_t V) {
    Wave.SetSize(V, GetHeight(), 0);
    TVelaControl::SetWidth(V);
    PlaceSurface();
}

void TVelaWave::SetHeight(int32_t V) {
    Wave.SetSize(GetWidth(), V, 0);
    TVelaControl::SetHeight(V);
    PlaceSurface();
}

TCustomDIBX* TVelaWave::GetLayerSurface() { return Amp != 0 ? &Wave : TVelaControl::GetLayerSurface(); }

void TVelaWave::AdjustDirtyRect(TRect& R) const {
    TVelaControl::AdjustDirtyRect(R);
    if (!Widening) return;
    const int32_t amp = Amp == INT32_MIN ? INT32_MAX : std::abs(Amp);
    R.Left = int32_t(std::max<int64_t>(int64_t(R.Left) - amp, INT32_MIN));
    R.Right = int32_t(std::min<int64_t>(int64_t(R.Right) + amp, INT32_MAX));
}

void TVelaWave::Invalidate() {
    Widening = false;
    TVelaControl::Invalidate();
    Widening = true;
}

bool TVelaWave::ShiftRows() {
    const long double step = 2 * std::numbers::pi_v<long double> / WaveLen;
    long double angle = (long double)WaveLen * Phase / 256 * step;
    bool changed = false;
    for (int32_t& offset : Wave.RowOffsets) {
        const int32_t v = RoundSat(std::sin(angle) * Amp);
        changed |= v != offset;
        offset = v;
        angle += step;
    }
    return changed;
}

bool TVelaWave::Step() {
    Wave.Target = TVelaControl::GetLayerSurface();
    // A film or a parent may have moved the object.
    FollowOrigin();
    const bool result = TVelaControl::Step();
    if (GetAnipaused()) return result;
    const int64_t t = int64_t(SceneTickLength()) * 256 + Remainder;
    const int64_t n = t / Delay;
    Remainder = int32_t(t % Delay);
    if (n == 0) return result;
    int64_t phase = (Phase - n) % 255;
    if (phase < 0) phase += 255;
    Phase = int32_t(phase);
    if (ShiftRows()) Invalidate();
    return result;
}

void TVelaWave::Prepare() {
    if (TCustomDIBX* layer = TVelaControl::GetLayerSurface()) Wave.SetClipRectDirect(layer->GetClipRect());
    TVelaControl::Prepare();
}

// Before 104 the handler and the pause were absent.
void TVelaWave::SaveToStream(TStream& Stream) {
    TVelaControl::SaveToStream(Stream);
    WriteStreamInt(Stream, Amp);
    WriteStreamInt(Stream, WaveLen);
    WriteStreamInt(Stream, Delay);
    WriteStreamString(Stream, OnIdle);
    WriteStreamByte(Stream, Paused);
}

void TVelaWave::LoadFromStream(TStream& Stream, int32_t Version) {
    TVelaControl::LoadFromStream(Stream, Version);
    const int32_t amp = ReadStreamInt(Stream), waveLen = ReadStreamInt(Stream), delay = ReadStreamInt(Stream);
    if (Version >= 104) {
        OnIdle = ReadStreamString(Stream);
        Paused = ReadStreamByte(Stream) != 0;
    }
    SetAmp(amp);
    SetWavelen(waveLen);
    SetDelay(delay);
    PlaceSurface();
}
