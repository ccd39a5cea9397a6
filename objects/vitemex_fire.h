#pragma once
// The fire: an 8-bit heat field fed with full heat at its bottom four rows, rising and cooling
// with noise one burn per 40 ms of frame time, drawn through the fire colour ramp (heats below
// 17 skipped) at the object's origin, or stretched into its rectangle when zoomed. The object's
// size follows the field size times the zoom (at least 1).
#include "core/membudget.h"
#include "objects/vitems.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

class TVelaFire : public TVelaControl {
public:
    explicit TVelaFire(TVelaBaseList* AOwner, bool UniqueName = true);
    ~TVelaFire() override;
    uint8_t GetCompoType() const override { return LT_FIRE; }

    // The stored power is clamped to 0..255; the burn strength follows the value given.
    int32_t GetPower() const override { return Power; }
    void SetPower(int32_t V) override;
    // Field sides below 1 count as 1; a side no surface can have raises EInvalidGraphic and
    // keeps the old field. A new side rebuilds the field on the next tick.
    int32_t GetOrigwidth() const override { return FieldWidth; }
    void SetOrigwidth(int32_t V) override;
    int32_t GetOrigheight() const override { return FieldHeight; }
    void SetOrigheight(int32_t V) override;
    // The size follows the field and the zoom.
    void SetWidth(int32_t) override {}
    void SetHeight(int32_t) override {}
    long double GetFloatzoomx() const override { return ZoomX; }
    void SetFloatzoomx(long double V) override;
    long double GetFloatzoomy() const override { return ZoomY; }
    void SetFloatzoomy(long double V) override;
    int32_t GetZoomx() const override;
    void SetZoomx(int32_t V) override { SetFloatzoomx(V / 256.0L); }
    int32_t GetZoomy() const override;
    void SetZoomy(int32_t V) override { SetFloatzoomy(V / 256.0L); }
    bool GetPlaying() const override { return !Paused && !GetAnipaused(); }
    bool GetPaused() const override { return Paused; }
    void SetPaused(bool V) override { Paused = V; }
    std::string GetOnidle() const override { return OnIdle; }
    void SetOnidle(const std::string& S) override { OnIdle = S; }

    bool Step() override;
    void Prepare() override;
    void SaveToStream(TStream& Stream) override;
    void LoadFromStream(TStream& Stream, int32_t Version) override;

    // The burn: the cooling table for strength S (254 at most; at or below 0 counts as 0.0001).
    static std::array<uint8_t, 1024> CoolingTable(double S);
    // Sizes the field and its tables, fills it with the floor heat 16 and draws new noise.
    void Reset();
    // One step of the flame rising.
    void Burn();
    const TDIBX& GetField() const { return Field; }
    double GetStrength() const { return Strength; }
    int32_t GetElapsed() const { return Elapsed; }

private:
    // The extent of a field side at a zoom: at least 1, saturated.
    static int32_t ZoomedExtent(int32_t Side, long double Zoom);
    void CheckFieldSize(int32_t Width, int32_t Height) const;
    void SetFieldSide(int32_t& Side, int32_t V);
    void ResizeToField();
    void SetStrength(double S);
    void ApplyPower(int32_t V);

    int32_t Power = 1;
    int32_t FieldWidth = 8, FieldHeight = 8;
    long double ZoomX = 0, ZoomY = 0;
    TDIBX Field;
    std::vector<uint8_t> Noise;  // a byte per field pixel
    std::array<uint8_t, 1024> Cooling{};
    double Strength = 4.5;
    int32_t ColumnOffset = 0, RowOffset = 0;
    bool Burning = false;  // the field is built
    std::string OnIdle;
    bool Paused = false;
    int32_t Elapsed = 0;
};
