#pragma once
// Image and tile tracks, and what they share with label tracks: a picture (or text) moved,
// zoomed, turned, faded, clipped and blurred over the track's interval. In a film playing in a
// root the track makes and owns a scene object; in a motion film it drives the film's target.
#include "text/frms.h"

#include <cstdint>
#include <string>
#include <vector>

class TMiraItem;
class TMiraItemFrame;

// A scene object, found again only while its root still lists it.
class TObjectLink {
public:
    TVelaControl* Get() const;
    void Set(TVelaControl* Obj);

private:
    TObjectRef Ref;
    TVelaBaseList* Root = nullptr;
};

// The scene object a track made.
class TTrackObject : public TObjectLink {
public:
    // Takes Obj, made in the film's target root, and names it uniquely in that root after the
    // film's prefix.
    void Take(TVelaControl& Obj, const TFilmManager& Film);
    // Redraws the object's area, takes its surface off and deletes it (deferred).
    void Release();
};

// The values of one tick of an image-like track.
struct TImageTick {
    int32_t I = 0;      // tick of the track
    int64_t Ticks = 0;  // the ticks it eases over (EasedTicks)
    int32_t FrameIndex = 0;
    TCustomFrame* Frame = nullptr;
    int32_t X = 0, Y = 0, OffsetX = 0, OffsetY = 0;
    double ZoomX = 1, ZoomY = 1;
    long double Angle = 0;  // radians
    int32_t Alpha = 255;
    TRect Clip{0, 0, 0, 0};  // all 0: no clip
    int32_t BlurSpan = 0, BlurDelay = 0;
};

// The values and per-tick computation of image, tile and label tracks.
class TCustomImageFrameList : public TCustomFrameList {
public:
    using TCustomFrameList::TCustomFrameList;
    ~TCustomImageFrameList() override;

    TVelaObject* GetObject() const override { return Object.Get(); }
    TPoint GetPoint(TTrackProp Prop, bool End) const override;
    double GetFloat(TTrackProp Prop, bool End) const override;
    int32_t GetInt(TTrackProp Prop, bool End) const override;
    void SetPoint(TTrackProp Prop, bool End, TPoint Value) override;
    void SetFloat(TTrackProp Prop, bool End, double Value) override;
    void SetInt(TTrackProp Prop, bool End, int32_t Value) override;
    uint8_t GetMode(TTrackProp Prop, int Axis = 0) const override;
    void SetMode(TTrackProp Prop, int Axis, uint8_t Value) override;

    void Release() override { Object.Release(); }
    // Outside the track's interval the own object goes (a motion film's target stays); inside,
    // the object is made when missing and given the tick's values.
    bool ApplyAt(int32_t T) override;
    // The shared fields after the header (the newest layout when writing, begin values through
    // the begin getters).
    void SaveToStream(TStream& Stream, const std::string& BaseFolder) const override;
    void LoadFromStream(TStream& Stream, const std::string& BaseFolder, int32_t Version) override;

    // The own object, made when there is none.
    virtual void CreateObject() = 0;
    // Hands a tick's values to Target: the own object when Own, else the motion film's target.
    virtual void ApplyToObject(TVelaControl& Target, bool Own, const TImageTick& Tick) = 0;

    TPoint Anchor{0, 0};  // the point of the picture the position places
    int32_t ImageFlag = 0;

protected:
    TTrackObject Object;

private:
    TPoint Pos[2]{{0, 0}, {0, 0}}, ClipPos[2]{{0, 0}, {0, 0}}, ClipSize[2]{{0, 0}, {0, 0}};
    double Angle[2]{0, 0}, ZoomX[2]{1, 1}, ZoomY[2]{1, 1};
    int32_t Alpha[2]{0, 0}, BlurSpan[2]{0, 0}, BlurDelay[2]{0, 0};
    uint8_t PosMode[2]{0, 0}, ClipMode[2]{0, 0};
    uint8_t ZoomXMode = 0, ZoomYMode = 0, AngleMode = 0;
};

// One frame of an image track: a frame of the cached picture.
class TImageFrame : public TCustomFrame {
public:
    TImageFrame(TCustomFrameList& Owner, TMiraItemFrame& Picture) : TCustomFrame(Owner), Picture(Picture) {}
    int32_t GetWidth() const override;
    int32_t GetHeight() const override;
    // Where the frame's pixels lie in the picture.
    TPoint GetOffset() const override;
    // The frame's delay in ticks (half to even), at least 1.
    int32_t GetDuration() const override;

    TMiraItemFrame& Picture;
};

// A picture from the image cache (kind 0), shown by a TVelaImage.
class TImageFrameList : public TCustomImageFrameList {
public:
    using TCustomImageFrameList::TCustomImageFrameList;
    ~TImageFrameList() override;

    uint8_t GetKind() const override { return FK_IMAGE; }
    int32_t GetWidth() const override { return ImageWidth; }
    int32_t GetHeight() const override { return ImageHeight; }
    std::string GetFileName() const override { return FileName; }
    // A new name lets go of the object and the old picture and takes the new one from the image
    // cache (none without the cache): a frame per picture frame, LoopLength their durations, and
    // Length the same when it was below 1.
    void SetFileName(const std::string& Name) override;
    // Loads the named picture again, keeping Length.
    void Activate() override;
    // The picture's name when that file exists and List lacks it.
    void CollectFileNames(std::vector<std::string>& List) override;
    void SaveToStream(TStream& Stream, const std::string& BaseFolder) const override;
    void LoadFromStream(TStream& Stream, const std::string& BaseFolder, int32_t Version) override;

    void CreateObject() override;
    void ApplyToObject(TVelaControl& Target, bool Own, const TImageTick& Tick) override;

protected:
    // Takes the picture of Name from the cache; what the tile track adds on top.
    virtual void LoadPicture(const std::string& Name);
    // A motion target shows the frame's bitmap and mask, keyed by the frame's colour.
    void ShowFrame(TVelaControl& Target, TMiraItemFrame& Frame);

private:
    // Hands the picture back (a motion target showing one of its frames lets go of it first).
    void ReleasePicture();

    std::string FileName;
    int32_t ImageWidth = 0, ImageHeight = 0;
    TMiraItem* Picture = nullptr;
    TObjectLink Shown;  // the motion target last given a frame
};

// A tiled picture (kind 5), shown by a TVelaTile whose size, scroll offsets and spacing the track
// sets too.
class TTileFrameList : public TImageFrameList {
public:
    using TImageFrameList::TImageFrameList;

    uint8_t GetKind() const override { return FK_TILE; }
    TPoint GetPoint(TTrackProp Prop, bool End) const override;
    void SetPoint(TTrackProp Prop, bool End, TPoint Value) override;
    uint8_t GetMode(TTrackProp Prop, int Axis = 0) const override;
    void SetMode(TTrackProp Prop, int Axis, uint8_t Value) override;
    void SaveToStream(TStream& Stream, const std::string& BaseFolder) const override;
    void LoadFromStream(TStream& Stream, const std::string& BaseFolder, int32_t Version) override;

    void CreateObject() override;
    void ApplyToObject(TVelaControl& Target, bool Own, const TImageTick& Tick) override;

    TPoint Distance{0, 0};  // spacing of the copies

protected:
    // A first picture gives its size to the sizes still 0.
    void LoadPicture(const std::string& Name) override;

private:
    TPoint Size[2]{{0, 0}, {0, 0}}, Scroll[2]{{0, 0}, {0, 0}};
    uint8_t ScrollMode[2]{0, 0};
};

// InterpolateInt and InterpolateFloat, answering equal ends at once: the value of every tick.
int32_t EaseInt(uint8_t Mode, int32_t From, int64_t Ticks, int32_t I, int32_t To);
double EaseFloat(uint8_t Mode, double From, int64_t Ticks, int32_t I, double To);

// Stored fields shared by the image-like and rectangle tracks: a point (or size) as two int32,
// and the clip block (two positions and sizes, then the two clip modes).
void WriteTrackPoint(TStream& Stream, TPoint P);
TPoint ReadTrackPoint(TStream& Stream);
void ReadClipBlock(TStream& Stream, TCustomFrameList& Track);
void WriteClipBlock(TStream& Stream, const TCustomFrameList& Track);

// Eased values shared by the image-like and rectangle tracks.
// Ticks is the track's EasedTicks.
// The rectangle at tick I, its edges eased apart: left and top from the begin to the end
// position, right and bottom from the begin to the end position + size - 1 (the size eased by
// the position's modes).
TRect InterpolateEdges(const TCustomFrameList& Track, int64_t Ticks, int32_t I);
// The clip rectangle at tick I: none (all 0) while the eased size is below 1 either way.
TRect InterpolateClip(const TCustomFrameList& Track, int64_t Ticks, int32_t I);
// Alpha stored as 0 stands for 255, always eased linearly; a negative value is passed as 256 - v.
int32_t InterpolateAlpha(const TCustomFrameList& Track, int64_t Ticks, int32_t I);
// A value eased linearly (blur span and delay, a box's border width).
int32_t InterpolateLinear(const TCustomFrameList& Track, TTrackProp Prop, int64_t Ticks, int32_t I);
// The motion target's priority: the film's base priority and the track's sub-priority.
int32_t MotionPriority(const TCustomFrameList& Track);
