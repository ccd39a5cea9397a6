#pragma once
// The gauge: an integer Value between Min and Max shown as a bar tiled from a picture of two
// cells side by side (cell 0 the value bar, cell 1 the lost part). A rise grows the bar at the
// speed of Delay (ms for the whole range); a fall drops the bar at once and shows what was lost
// in cell 1, which waits Duration ms and then shrinks away at the same speed. A horizontal bar
// grows from the left, a vertical one (any Orientation but 0) from the bottom; Reverse makes
// it grow from the other end, drawn mirrored. It takes no input of its own.
#include "objects/vitemex_mira.h"
#include "objects/vitems.h"

#include <cstdint>
#include <string>

class TVelaGauge : public TVelaControl {
public:
    using TVelaControl::TVelaControl;
    ~TVelaGauge() override;
    uint8_t GetCompoType() const override { return LT_GAUGE; }

    enum : int32_t { Idle = 0, Falling = 100, Rising = 200 };

    // ---- Properties ----
    std::string GetSource() const override { return Source; }
    // A new picture; the size becomes the bar's.
    void SetSource(const std::string& S) override;
    int32_t GetMin() const override { return Min; }
    void SetMin(int32_t V) override { SetBound(Min, V); }
    int32_t GetMax() const override { return Max; }
    void SetMax(int32_t V) override { SetBound(Max, V); }
    // Stored as set, read back clamped to Min..Max; a new value animates.
    int32_t GetValue() const override { return Clamp(Value); }
    void SetValue(int32_t V) override;
    int32_t GetAlpha() const override { return Alpha; }
    void SetAlpha(int32_t V) override { ChangeLook(Alpha, V); }
    bool GetPaused() const override { return Paused; }
    void SetPaused(bool V) override { Paused = V; }
    int32_t GetOrientation() const override { return Orientation; }
    void SetOrientation(int32_t V) override;
    int32_t GetBarsize() const override { return BarSize; }
    void SetBarsize(int32_t V) override;
    bool GetReverse() const override { return Reverse; }
    void SetReverse(bool V) override { ChangeLook(Reverse, V); }
    int32_t GetDelay() const override { return Delay; }
    void SetDelay(int32_t V) override { Delay = V; }
    int32_t GetDuration() const override { return Duration; }
    void SetDuration(int32_t V) override { Duration = V; }
    std::string GetOnidle() const override { return OnIdle; }
    void SetOnidle(const std::string& S) override { OnIdle = S; }
    // True while a rise or fall runs.
    bool GetPlaying() const override { return State != Idle; }

    // The value the bar shows now, and the lost part's length in value units.
    int32_t GetShownValue() const { return Shown; }
    int64_t GetLostAmount() const { return Lost; }
    int32_t GetAnimationState() const { return State; }

    bool Step() override;
    void Prepare() override;
    void SaveToStream(TStream& Stream) override;
    void LoadFromStream(TStream& Stream, int32_t Version) override;

private:
    int64_t Range() const { return int64_t(Max) - Min; }
    int32_t Clamp(int64_t V) const { return int32_t(V < Min ? Min : V > Max ? Max : V); }
    // Min or Max: the bar shows the clamped value at once, without animation.
    void SetBound(int32_t& Field, int32_t V);
    // The size of the bar from the picture, BarSize and the orientation.
    void SizeToBar();
    // The animation is over: the bar shows the clamped value.
    void Finish();

    std::string Source;
    TMiraItem* Item = nullptr;
    int32_t Min = 0, Max = 0, Value = 0, Alpha = 0;
    bool Paused = false;
    uint8_t Orientation = 0;
    int32_t Delay = 0, Duration = 0;
    int32_t Shown = 0;
    int64_t Lost = 0;
    int32_t State = Idle;
    double Position = 0;
    int32_t HoldCount = 0;
    bool Reverse = false;
    std::string OnIdle;
    int32_t BarSize = 0;
};
