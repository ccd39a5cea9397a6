#pragma once
// Rectangle tracks (the base of box, particle and fire tracks), box tracks and label tracks. A box
// track eases a bordered rectangle's bounds, colours, border, alpha, clip and blur; a label track
// moves, zooms, turns and fades a text label like an image track.
#include "text/frms_images.h"

#include <cstdint>
#include <string>

// A rectangle's position, size and clip; a track that continues another keeps its begin
// position and size. A new rectangle track lasts one tick.
class TRectFrameList : public TCustomFrameList {
public:
    explicit TRectFrameList(TFilmManager& Film);
    ~TRectFrameList() override;

    TVelaObject* GetObject() const override { return Object.Get(); }
    int32_t GetWidth() const override { return Size[0].X; }
    int32_t GetHeight() const override { return Size[0].Y; }
    TPoint GetPoint(TTrackProp Prop, bool End) const override;
    void SetPoint(TTrackProp Prop, bool End, TPoint Value) override;
    uint8_t GetMode(TTrackProp Prop, int Axis = 0) const override;
    void SetMode(TTrackProp Prop, int Axis, uint8_t Value) override;
    int32_t FrameIndexAt(int32_t) const override { return 0; }
    void Release() override { Object.Release(); }

protected:
    TTrackObject Object;

private:
    TPoint Pos[2]{{0, 0}, {0, 0}}, Size[2]{{100, 100}, {100, 100}};
    TPoint ClipPos[2]{{0, 0}, {0, 0}}, ClipSize[2]{{0, 0}, {0, 0}};
    uint8_t PosMode[2]{0, 0}, ClipMode[2]{0, 0};
};

// The one frame of a box track: its track's size.
class TBoxFrame : public TCustomFrame {
public:
    using TCustomFrame::TCustomFrame;
    int32_t GetWidth() const override { return Owner.GetWidth(); }
    int32_t GetHeight() const override { return Owner.GetHeight(); }
};

// The one frame of a label track: the measured size of its text.
class TLabelFrame : public TBoxFrame {
public:
    using TBoxFrame::TBoxFrame;
};

// A bordered rectangle (kind 2), shown by a TVelaBox. Colours are 0x00BBGGRR; alpha 0 stands
// for 255.
class TBoxFrameList : public TRectFrameList {
public:
    explicit TBoxFrameList(TFilmManager& Film);

    uint8_t GetKind() const override { return FK_BOX; }
    int32_t GetInt(TTrackProp Prop, bool End) const override;
    void SetInt(TTrackProp Prop, bool End, int32_t Value) override;
    bool ApplyAt(int32_t T) override;
    void SaveToStream(TStream& Stream, const std::string& BaseFolder) const override;
    void LoadFromStream(TStream& Stream, const std::string& BaseFolder, int32_t Version) override;

private:
    int32_t Alpha[2]{0, 0}, FillColor[2]{0, 0}, BorderWidth[2]{0, 0}, BorderColor[2]{0, 0};
    int32_t BlurSpan[2]{0, 0}, BlurDelay[2]{0, 0};
};

// A text label (kind 1), shown by a TVelaLabel. Changing what the text's size depends on
// measures it again. Its font height and line space are bounded as the label's are
// (ClampLabelFontSize when set, CheckStoredLabelFont when read).
class TLabelFrameList : public TCustomImageFrameList {
public:
    explicit TLabelFrameList(TFilmManager& Film);

    uint8_t GetKind() const override { return FK_LABEL; }
    // The measured size of the text.
    int32_t GetWidth() const override { return MeasuredWidth; }
    int32_t GetHeight() const override { return MeasuredHeight; }
    int32_t GetInt(TTrackProp Prop, bool End) const override;
    void SetInt(TTrackProp Prop, bool End, int32_t Value) override;
    int32_t FrameIndexAt(int32_t) const override { return 0; }
    // Measures the text again.
    void Activate() override { RenderText(); }
    void SaveToStream(TStream& Stream, const std::string& BaseFolder) const override;
    void LoadFromStream(TStream& Stream, const std::string& BaseFolder, int32_t Version) override;

    void CreateObject() override;
    void ApplyToObject(TVelaControl& Target, bool Own, const TImageTick& Tick) override;

    const std::string& GetText() const { return Text; }
    void SetText(const std::string& Value);
    void SetFontName(const std::string& Value);
    void SetAntialias(bool Value);
    void SetFontStyle(uint8_t Value);
    // The widest line's width and the lines' height: FontHeight each, LineSpace between them, 0
    // without lines. Measured at 4 times the height, then divided down, when the label is drawn
    // smoothed, opaque, unzoomed and unturned.
    void RenderText();

    int32_t FontColor = 0xFFFFFF;
    uint8_t HAlign = 0;

private:
    std::string Text, FontName;  // an empty face draws in "ＭＳ ゴシック"
    bool Antialias = false;
    int32_t FontHeight = 12, LineSpace = 0;
    uint8_t FontStyle = 0;
    int32_t MeasuredWidth = 0, MeasuredHeight = 0;
};
