#pragma once
// The slider and the scrollbar: image-built value controls. A track picture (two cells), a
// thumb picture (three cells: normal, hover, pressed) and a step-button picture (six cells:
// button 0 normal, hover, pressed, then button 1) from the image cache; an integer Value
// between Min and Max moved by dragging the thumb, clicking the track, holding a button (or,
// on the scrollbar, the track), and the arrow keys while the control has the focus. Every
// change made by the user queues OnNotify with the new value.
//
// The slider's thumb travels the whole track and the track is drawn filled behind it; a
// vertical slider's value grows upwards. The scrollbar's thumb travels the track less its own
// length, a press on the track pages by LargeChange, and its value grows downwards.
//
// Orientation 0 is horizontal, any other value vertical.
#include "objects/vitemex_mira.h"
#include "objects/vitems.h"

#include <array>
#include <cstdint>
#include <string>

class TVelaSlider : public TVelaControl {
public:
    explicit TVelaSlider(TVelaBaseList* AOwner, bool UniqueName = true);
    ~TVelaSlider() override;
    uint8_t GetCompoType() const override { return LT_SLIDER; }

    // What the pointer is doing with the control.
    enum TPressMode : int32_t { pmNone, pmDrag, pmButton0, pmButton1, pmPageDown, pmPageUp };
    static constexpr int32_t RepeatDelay = 300, RepeatInterval = 50;

    // ---- Properties ----
    std::string GetSource() const override { return Track.Source; }
    void SetSource(const std::string& S) override;
    std::string GetThumbsource() const override { return Thumb.Source; }
    void SetThumbsource(const std::string& S) override;
    std::string GetButtonsource() const override { return Buttons.Source; }
    void SetButtonsource(const std::string& S) override;
    int32_t GetMin() const override { return Min; }
    void SetMin(int32_t V) override;
    int32_t GetMax() const override { return Max; }
    void SetMax(int32_t V) override;
    // Stored as set, read back clamped to Min..Max.
    int32_t GetValue() const override { return Clamp(Value); }
    void SetValue(int32_t V) override;
    int32_t GetSmallchange() const override { return SmallChange; }
    void SetSmallchange(int32_t V) override { SmallChange = V; }
    int32_t GetAlpha() const override { return Alpha; }
    void SetAlpha(int32_t V) override { ChangeLook(Alpha, V); }
    bool GetPaused() const override { return Paused; }
    void SetPaused(bool V) override { Paused = V; }
    int32_t GetOrientation() const override { return Orientation; }
    void SetOrientation(int32_t V) override;
    int32_t GetBarsize() const override { return BarSize; }
    void SetBarsize(int32_t V) override;
    bool GetCapturemask() const override { return CaptureMask; }
    void SetCapturemask(bool V) override { CaptureMask = V; }
    int32_t GetCapmasklevel() const override { return CapMaskLevel; }
    void SetCapmasklevel(int32_t V) override { CapMaskLevel = V; }
    std::string GetOnnotify() const override { return OnNotify; }
    void SetOnnotify(const std::string& S) override { OnNotify = S; }
    std::string GetOnhold() const override { return OnHold; }
    void SetOnhold(const std::string& S) override { OnHold = S; }
    std::string GetOnrelease() const override { return OnRelease; }
    void SetOnrelease(const std::string& S) override { OnRelease = S; }
    std::string GetOnidle() const override { return OnIdle; }
    void SetOnidle(const std::string& S) override { OnIdle = S; }

    // ---- Geometry (screen coordinates) ----
    // The size from the pictures (0 x 0 without a track), then the thumb's place.
    virtual void Layout();
    // The thumb's offset from the track's start for the clamped value.
    void UpdateThumb();
    virtual TRect TrackRect() const;
    virtual TRect ThumbRect() const;
    TRect ButtonRect(int B) const;
    // The knob, while the slider takes presses and has a range to move in.
    void AddPressTargets(const TPressTargetSink& Add) override;
    int32_t GetThumbOffset() const { return ThumbOffset; }
    int32_t GetTrackWidth() const { return TrackWidth; }
    int32_t GetTrackHeight() const { return TrackHeight; }
    // 0 normal, 1 hover, 2 pressed.
    int32_t GetThumbState() const { return ThumbState; }
    int32_t GetButtonState(int B) const { return ButtonStates[size_t(B & 1)]; }
    TPressMode GetPressMode() const { return PressMode; }
    bool GetTrackPressed() const { return TrackPressed; }

    // ---- Input, drawing, the record ----
    void DoMouseMove() override;
    void DoMouseOut() override;
    void DoLBtnDown() override;
    void DoLBtnUp() override;
    void DoMouseHold() override;
    void DoKeyPress() override;
    void Prepare() override;
    void SaveToStream(TStream& Stream) override;
    void LoadFromStream(TStream& Stream, int32_t Version) override;

protected:
    // One picture strip of equal cells side by side, held in the image cache under the
    // strip's own address.
    struct TStrip {
        std::string Source;
        TMiraItem* Item = nullptr;
        int32_t CellWidth = 0, CellHeight = 0;
        const TMiraItemFrame* Frame() const;
        // The strip's mask at (X, Y) of cell Cell is at least Level; true without a mask.
        bool MaskAllows(int Cell, int32_t X, int32_t Y, int32_t Level) const;
        // Cell Cell repeated over R from (OffsetX, OffsetY) inside the cell.
        void DrawTiled(TCustomDIBX& Dest, int Cell, const TRect& R, int32_t OffsetX, int32_t OffsetY,
                       int32_t Alpha) const;
    };

    bool Vertical() const { return Orientation != 0; }
    // The value grows against the screen axis (a vertical slider's grows upwards).
    virtual bool Reversed() const { return Vertical(); }
    int32_t TrackLength() const { return Vertical() ? TrackHeight : TrackWidth; }
    int32_t ThumbLength() const { return Vertical() ? Thumb.CellHeight : Thumb.CellWidth; }
    // How far the thumb travels over the track: the divisor of every drag.
    virtual int32_t ThumbTravel() const { return TrackLength(); }
    // Where along the thumb a drag holds it: its centre.
    virtual int32_t ThumbGrip() const { return ThumbLength() / 2; }
    // The pointer's coordinate along the track.
    int32_t Along(TPoint P) const { return Vertical() ? P.Y : P.X; }
    int32_t Start(const TRect& R) const { return Vertical() ? R.Top : R.Left; }
    int64_t Range() const { return int64_t(Max) - Min; }
    int32_t Clamp(int64_t V) const { return int32_t(V < Min ? Min : V > Max ? Max : V); }
    bool TrackHit(TPoint P) const;
    bool ThumbHit(TPoint P) const;
    bool ButtonHit(int B, TPoint P) const;
    // The value from a pointer at P while the thumb is dragged; a track without travel leaves it.
    void DragTo(TPoint P);
    // The value changed by the user: set when it differs from the clamped one, with OnNotify.
    void UserChange(int64_t V);
    // A press on the track away from the thumb.
    virtual void PressTrack(TPoint P);
    // Draws the track.
    virtual void DrawBody(TCustomDIBX& Dest);
    // Track size from the track picture and BarSize, then the layout.
    void TrackChanged();

    TStrip Track, Thumb, Buttons;
    int32_t TrackWidth = 0, TrackHeight = 0;
    int32_t ThumbOffset = 0;
    int32_t ThumbState = 0;
    std::array<int32_t, 2> ButtonStates{};
    int32_t DragOffset = 0;
    int32_t Countdown = 0;
    bool TrackPressed = false;
    TPressMode PressMode = pmNone;
    int32_t Min = 0, Max = 0, Value = 0, Alpha = 0, SmallChange = 0;

private:
    void SetStrip(TStrip& Strip, int Cells, const std::string& S);
    void ReleaseStrip(TStrip& Strip);
    // Hover states for the pointer at P: 1 on a hit, else 0; all 0 without a range, when the
    // mouse is ignored or the control is paused.
    void HoverAt(TPoint P);
    void SetStates(int32_t ThumbS, int32_t Button0, int32_t Button1);
    // One step of a held button or paging track.
    void HoldStep(TPoint P);
    int32_t StepSign(int B) const { return (B == 0) != Reversed() ? -1 : 1; }
    TPoint Pointer();

    uint8_t Paused = 0, Orientation = 0;
    std::string OnNotify, OnHold, OnRelease, OnIdle;
    bool CaptureMask = false;
    int32_t CapMaskLevel = 128;
    int32_t BarSize = 0;
};

class TVelaScrollbar : public TVelaSlider {
public:
    using TVelaSlider::TVelaSlider;
    uint8_t GetCompoType() const override { return LT_SCROLLBAR; }

    int32_t GetLargechange() const override { return LargeChange; }
    void SetLargechange(int32_t V) override { LargeChange = V; }

    void Layout() override;
    TRect TrackRect() const override;
    TRect ThumbRect() const override;
    void SaveToStream(TStream& Stream) override;
    void LoadFromStream(TStream& Stream, int32_t Version) override;

protected:
    bool Reversed() const override { return false; }
    int32_t ThumbTravel() const override { return TrackLength() - ThumbLength(); }
    int32_t ThumbGrip() const override { return 0; }
    void PressTrack(TPoint P) override;
    void DrawBody(TCustomDIBX& Dest) override;

private:
    int32_t LargeChange = 0;
};
