#pragma once
// The film track model: the key frame and track bases every track kind derives from, the track
// header of film files, parent chains, the frame at a time, and the easing of animated values.
// Film time runs in ticks of 1/60 s.
#include "core/header.h"
#include "core/streams.h"
#include "objects/vitems_kinds.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TCustomFrameList;
class TFilmManager;

// Milliseconds per film tick.
inline constexpr double FilmTickMs = 1000.0 / 60.0;

// The animated properties of the track kinds, as the keyed accessors name them. Points are
// positions or (width, height) sizes.
enum class TTrackProp : uint8_t { Position, Size, ZoomX, ZoomY, Alpha, Color, FontHeight, LineSpace };

// One key frame of a track.
class TCustomFrame {
public:
    explicit TCustomFrame(TCustomFrameList& Owner) : Owner(Owner) {}
    virtual ~TCustomFrame() = default;
    virtual int32_t GetWidth() const { return 0; }
    virtual void SetWidth(int32_t) {}
    virtual int32_t GetHeight() const { return 0; }
    virtual void SetHeight(int32_t) {}
    virtual TPoint GetOffset() const { return {0, 0}; }
    virtual void SetOffset(TPoint) {}
    // Ticks the frame is shown for.
    virtual int32_t GetDuration() const { return 1; }
    virtual void SetDuration(int32_t) {}

    TCustomFrameList& Owner;
};

// A track: an interval of the film's time line driving one thing. The kinds override the
// property groups they own; a getter of a group a kind does not own answers the defaults here.
class TCustomFrameList {
public:
    explicit TCustomFrameList(TFilmManager& Film) : Film(Film) {}
    virtual ~TCustomFrameList() = default;
    TCustomFrameList(const TCustomFrameList&) = delete;
    TCustomFrameList& operator=(const TCustomFrameList&) = delete;

    virtual TVelaObject* GetObject() const { return nullptr; }
    virtual bool GetVisible() const { return false; }
    virtual void SetVisible(bool) {}
    virtual std::string GetFileName() const { return {}; }
    virtual void SetFileName(const std::string&) {}
    // Width and height of the first frame; 0 without frames.
    virtual int32_t GetWidth() const;
    virtual int32_t GetHeight() const;
    // 0 image, 1 label, 2 box, 3 wipe, 4 sound, 5 tile, 6 particle, 7 fire.
    virtual uint8_t GetKind() const { return 0; }

    // Begin values: a track with a parent continues it, so they are the parent's end values.
    TPoint GetBeginPoint(TTrackProp Prop) const { return Parent ? Parent->GetEndPoint(Prop) : GetPoint(Prop, false); }
    double GetBeginFloat(TTrackProp Prop) const { return Parent ? Parent->GetEndFloat(Prop) : GetFloat(Prop, false); }
    int32_t GetBeginInt(TTrackProp Prop) const { return Parent ? Parent->GetEndInt(Prop) : GetInt(Prop, false); }
    TPoint GetEndPoint(TTrackProp Prop) const { return GetPoint(Prop, true); }
    double GetEndFloat(TTrackProp Prop) const { return GetFloat(Prop, true); }
    int32_t GetEndInt(TTrackProp Prop) const { return GetInt(Prop, true); }
    // The track's own stored values (End false: begin); setters store them.
    virtual TPoint GetPoint(TTrackProp Prop, bool End) const;
    virtual double GetFloat(TTrackProp Prop, bool End) const;
    virtual int32_t GetInt(TTrackProp Prop, bool End) const;
    virtual void SetPoint(TTrackProp, bool /*End*/, TPoint) {}
    virtual void SetFloat(TTrackProp, bool /*End*/, double) {}
    virtual void SetInt(TTrackProp, bool /*End*/, int32_t) {}
    // Easing of a property; Axis 1 is the y mode of a property whose axes ease apart.
    virtual uint8_t GetMode(TTrackProp, int /*Axis*/ = 0) const { return MT_NORMAL; }
    virtual void SetMode(TTrackProp, int /*Axis*/, uint8_t) {}

    // Frees every frame and sets Length to 0.
    void ClearFrames();
    int32_t FrameCount() const { return static_cast<int32_t>(Frames.size()); }
    TCustomFrame& GetFrame(int32_t Index) const { return *Frames[static_cast<size_t>(Index)]; }
    // The frame shown T ticks after the track's start (looping every LoopLength ticks); the last
    // one when the durations run out, -1 without frames.
    virtual int32_t FrameIndexAt(int32_t T) const;

    virtual void Release() {}
    // Drives the object for film time T; whether the track is active at T.
    virtual bool ApplyAt(int32_t /*T*/) { return false; }
    void ActivateIfRunning(int32_t T);
    virtual void Activate() {}
    virtual void CollectFileNames(std::vector<std::string>& /*List*/) {}

    // The track header; LoadFromStream keeps the parent's position in the film's track list for
    // the film to link, and doubles the times of versions before 107.
    virtual void SaveToStream(TStream& Stream, const std::string& BaseFolder) const;
    virtual void LoadFromStream(TStream& Stream, const std::string& BaseFolder, int32_t Version);

    // The tick the track begins at: Start, or where its parent ends.
    int32_t StartTime() const;
    bool ActiveAt(int32_t T) const;
    // The first track of the film, in film order, whose parent this track is.
    TCustomFrameList* FindChildTrack() const;
    // Value at tick I of N (N the track's Length, I = T - StartTime) eased by Mode; a track
    // that another continues counts one tick more, stopping short of To.
    int32_t InterpolateInt(uint8_t Mode, int32_t From, int32_t N, int32_t I, int32_t To) const;
    double InterpolateFloat(uint8_t Mode, double From, int32_t N, int32_t I, double To) const;
    // Begin and end positions, moved from the stored origin to the current one in a motion film
    // whose positions are relative.
    void GetPositionRange(TPoint& Begin, TPoint& End) const;

    int32_t Length = 0;
    int32_t Reserved = 0;  // kept and written back
    int32_t Start = 0;
    int32_t LoopLength = 0;
    TCustomFrameList* Parent = nullptr;
    int32_t ParentIndex = -1;  // as stored, until the film links it
    int32_t SubPriority = 0;
    uint8_t FlipH = 0, FlipV = 0;
    TFilmManager& Film;
    uint8_t OtherLayer = 0;
    std::vector<std::unique_ptr<TCustomFrame>> Frames;
};

// The film as its tracks see it: its tracks in film order and what relative positions read.
class TFilmManager : public TVelaFilm {
public:
    int32_t Count() const { return static_cast<int32_t>(Tracks.size()); }
    // The track at Index; nullptr outside the list.
    TCustomFrameList* GetTrack(int32_t Index) const;
    // Position of Track in the list; -1 when it is not there.
    int32_t IndexOf(const TCustomFrameList* Track) const;
    TCustomFrameList& Add(std::unique_ptr<TCustomFrameList> Track);
    // Turns each track's stored parent index into its parent; an index outside the list, or one
    // that would close a loop of parents, leaves the track without one.
    void LinkParents();

    uint8_t Kind = 0;  // 0 a "VelaCinema" file, 1 a "VelaMotion" file
    int32_t StoredOriginX = 0, StoredOriginY = 0;  // the origin relative positions were made at

private:
    std::vector<std::unique_ptr<TCustomFrameList>> Tracks;
};

// Media names inside film files: resolved against the film's folder when read, and made
// relative to it when written ("..\" for each folder of the base the path lies outside).
std::string ResolveRelativePath(const std::string& Path, const std::string& BaseFolder);
std::string MakeRelativePath(const std::string& Path, const std::string& BaseFolder);
