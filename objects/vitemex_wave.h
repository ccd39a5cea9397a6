#pragma once
// The wave: draws nothing itself but makes its children ripple. While its amplitude is not 0 the
// children draw into a row-offset surface over the layer, whose rows it shifts as a sine wave
// travelling one period per 256 phase units, Delay ms per 256 units. A child's redrawn area is
// widened by the amplitude on both sides.
#include "graphics/dibxwave.h"
#include "objects/vitems.h"

#include <algorithm>
#include <cstdint>
#include <string>

class TVelaWave : public TVelaControl {
public:
    explicit TVelaWave(TVelaBaseList* AOwner, bool UniqueName = true);
    ~TVelaWave() override;
    uint8_t GetCompoType() const override { return LT_WAVE; }

    int32_t GetAmp() const override { return Amp; }
    void SetAmp(int32_t V) override { Amp = V; }
    // Rows per sine period and ms per 256 phase units; values below 1 count as 1.
    int32_t GetWavelen() const override { return WaveLen; }
    void SetWavelen(int32_t V) override { WaveLen = std::max(V, 1); }
    int32_t GetDelay() const override { return Delay; }
    void SetDelay(int32_t V) override { Delay = std::max(V, 1); }
    // The surface takes the object's size and origin.
    void SetLeft(int32_t V) override;
    void SetTop(int32_t V) override;
    void SetWidth(int32_t V) override;
    void SetHeight(int32_t V) override;
    bool GetPlaying() const override { return !Paused && !GetAnipaused(); }
    bool GetPaused() const override { return Paused; }
    void SetPaused(bool V) override { Paused = V; }
    std::string GetOnidle() const override { return OnIdle; }
    void SetOnidle(const std::string& S) override { OnIdle = S; }

    // The row-offset surface while the amplitude is not 0, else the layer's.
    TCustomDIBX* GetLayerSurface() override;
    // A child's area, adjusted by the parents, widened by the amplitude; the own area is not.
    void AdjustDirtyRect(TRect& R) const override;
    void Invalidate() override;
    bool Step() override;
    void Prepare() override;
    void SaveToStream(TStream& Stream) override;
    void LoadFromStream(TStream& Stream, int32_t Version) override;

    const TDIBXWave& GetWaveSurface() const { return Wave; }
    int32_t GetPhase() const { return Phase; }

private:
    // Sizes and places the surface as the object.
    void PlaceSurface();
    void FollowOrigin();
    // The row offsets for the current phase; true when any changed.
    bool ShiftRows();

    TDIBXWave Wave;
    int32_t Amp = 10, WaveLen = 200, Delay = 2000;
    int32_t Phase = 0, Remainder = 0;
    std::string OnIdle;
    bool Paused = false;
    bool Widening = true;  // off while the object adds its own area
};
