#pragma once
// Films: the key frame and track bases every track kind derives from, the track header of film
// files, parent chains, the frame at a time, the easing of animated values, and the film itself
// (TFilmManager): its ".vmt" file, the track factory, and the clock that drives the tracks and
// turns wipe tracks into screen transitions. Film time runs in ticks of 1/60 s.
#include "core/header.h"
#include "core/streams.h"
#include "objects/vitems_kinds.h"
#include "platform/errors.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TCustomFrameList;
class TFilmManager;
class TVelaBaseList;

// A film file that cannot be read: a track kind no class has, a version that is not a number.
// (Fields and strings cut short raise the stream's EReadError.)
class EFilmError : public EVelaError {
public:
    using EVelaError::EVelaError;
};

// Track kinds, by the kind byte of film files (its top bit is ignored).
enum : uint8_t { FK_IMAGE, FK_LABEL, FK_BOX, FK_WIPE, FK_SOUND, FK_TILE, FK_PARTICLE, FK_FIRE };
inline constexpr uint8_t FrameListKindCount = 8;

// Milliseconds per film tick.
inline constexpr double FilmTickMs = 1000.0 / 60.0;

// The deepest a film's tracks nest: a chain of this many tracks, each continuing the one before,
// is the longest a film may hold (as deep as objects nest under parents).
inline constexpr int32_t MaxTrackDepth = 256;

// The animated properties of the track kinds, as the keyed accessors name them. Points are
// positions or (width, height) sizes.
// Scroll is the tile's (x, y) scroll offset; Center and Spread the emitter's, Emit1..Emit4 its
// four values, Param1..Param3 the particle parameters; Volume and Pan the sound's.
enum class TTrackProp : uint8_t {
    Position, Size, ZoomX, ZoomY, Alpha, Color, FontHeight, LineSpace,
    Angle, ClipPos, ClipSize, BlurSpan, BlurDelay, BorderWidth, BorderColor, Scroll,
    Volume, Pan, Center, Spread, Emit1, Emit2, Emit3, Emit4, Param1, Param2, Param3
};

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
// A kind that makes an object lets go of it (Release) in its own destructor.
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

    // Lets go of the driven object.
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

    // The tick the track begins at: Start, or, continuing a parent, where the parent ends as the
    // film placed it.
    int32_t StartTime() const { return Parent ? Place.Start : Start; }
    bool ActiveAt(int32_t T) const;
    // The first track of the film, in film order, whose parent this track is (as placed).
    TCustomFrameList* FindChildTrack() const { return Place.Child; }
    // The first track of the track's parent chain, and the first of the unbroken run of tracks of
    // its own kind that ends at it (as placed; the track itself without a parent).
    TCustomFrameList& ChainRoot() { return Parent ? *Place.Root : *this; }
    TCustomFrameList& KindHead() { return Parent ? *Place.KindHead : *this; }
    // The ticks the values ease over: Length, and one more for a track that another continues,
    // so that it stops short of its end values. Found once per tick by the track's ApplyAt.
    int64_t EasedTicks() const { return int64_t(Length) + (FindChildTrack() ? 1 : 0); }
    // Value at tick I (I = T - StartTime) of the Ticks EasedTicks gives, eased by Mode.
    static int32_t InterpolateInt(uint8_t Mode, int32_t From, int64_t Ticks, int32_t I, int32_t To);
    static double InterpolateFloat(uint8_t Mode, double From, int64_t Ticks, int32_t I, double To);
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

    // Where the film put the track: its position in the track list (kept by Add), and what
    // TFilmManager::PlaceTracks works out from the parent links once, so that no tick walks a
    // chain: the depth (1 without a parent, 0 not yet placed), the start tick, the first track
    // continuing it, the chain's first track and the first of its kind's run.
    struct TPlace {
        int32_t Index = -1;
        int32_t Depth = 0;
        int32_t Start = 0;
        TCustomFrameList* Child = nullptr;
        TCustomFrameList* Root = nullptr;
        TCustomFrameList* KindHead = nullptr;
    } Place;
};

// The track factory: one creator per kind byte. A kind's creator is a row of FrameListRows in
// text/frms_film.cpp, {FK_..., &NewFrameList<TTheKindFrameList>}, its header included there.
using TFrameListCreator = std::unique_ptr<TCustomFrameList> (*)(TFilmManager& Film);
template <class TKind>
std::unique_ptr<TCustomFrameList> NewFrameList(TFilmManager& Film) {
    return std::make_unique<TKind>(Film);
}
struct TFrameListRow {
    uint8_t Kind;
    TFrameListCreator Create;
};
// A new track of the kind Kind names (its top bit ignored); EFilmError for a kind without a row.
std::unique_ptr<TCustomFrameList> CreateFrameList(TFilmManager& Film, uint8_t Kind);

// One film: its tracks in file order (owned), its stage, and the clock that applies them. A film
// plays in a root of its own (no owner, not in motion mode: wipe tracks flip the root's layers),
// puts its objects straight into a scene root under an owner object, or, in motion mode, drives
// one control (the motion target) through the TVelaFilm interface a control's motion plays.
class TFilmManager : public TVelaFilm {
public:
    TFilmManager();
    // Frees every track; the tracks let go of the objects they made.
    ~TFilmManager() override;
    TFilmManager(const TFilmManager&) = delete;
    TFilmManager& operator=(const TFilmManager&) = delete;

    int32_t Count() const { return static_cast<int32_t>(Tracks.size()); }
    // The track at Index; nullptr outside the list.
    TCustomFrameList* GetTrack(int32_t Index) const;
    // Position of Track in the list; -1 when it is not there.
    int32_t IndexOf(const TCustomFrameList* Track) const;
    TCustomFrameList& Add(std::unique_ptr<TCustomFrameList> Track);
    // Turns each track's stored parent index into its parent; an index outside the list, or one
    // that would close a loop of parents, leaves the track without one. Then places the tracks.
    void LinkParents();
    // Works out each track's place from the parent links (TCustomFrameList::Place) and the ends
    // of the wipe tracks, in two passes over the tracks; a caller that links or times tracks itself
    // calls it before playing them. Tracks nested deeper than MaxTrackDepth (or linked in a loop)
    // raise EReadError: only a damaged film holds them.
    void PlaceTracks();
    // Frees every track and forgets the file's head fields and the length.
    void Clear();

    // Reads the film through the file manager when there is one, else from the disk.
    void LoadFromFile(const std::string& FileName) override;
    // The film FileName read without its media: the files of its image tracks.
    std::vector<std::string> ImageTrackFiles(const std::string& FileName) override;
    // Reads a ".vmt" film of any version; FileName's folder is the base of its media names. A
    // head matching neither magic leaves the film empty. A file that cannot be read, whose
    // stage the title's screen (the player's root, when there is one) does not hold, or whose
    // tracks nest deeper than MaxTrackDepth raises EFilmError or EReadError and leaves the film
    // empty.
    void LoadFromStream(TStream& Stream, const std::string& FileName);
    // Writes the newest form of the film, media names relative to FileName's folder.
    void SaveToStream(TStream& Stream, const std::string& FileName) const;
    // The largest end tick of the tracks, as of the last load.
    int32_t GetLength() const override { return Length; }

    TVelaBaseList* GetTarget() const { return Target; }
    void SetTarget(TVelaBaseList* Root) { Target = Root; }
    // Stored and passed on to the target root.
    void SetSize(int32_t AWidth, int32_t AHeight);
    void SetColor(int32_t AColor);
    // Applies every track at tick T; a film in a root of its own then shows the page the wipes
    // have reached, running the active wipe track as the root's transition.
    using TVelaFilm::SetTime;
    void SetTime(int32_t T);
    // Cleared, every sound track pauses.
    void SetRunning(bool Value);
    // A change is passed to every track.
    void SetVisible(bool Value);
    // Gives a root of its own the stage again and makes the sound of every sound track.
    void RestartSounds();
    // Some track is a wipe or sits on the other layer: the film needs a two-layer root.
    bool HasWipeOrFlag() const;
    // The first track starting at tick 0; nullptr when none.
    TCustomFrameList* FindStartTrack() const;
    // The wipe track active at T (the last of several) and the layer (0 or 1) the other wipes
    // ended by T have flipped to.
    TCustomFrameList* FindActiveWipe(int32_t T, int32_t& Parity) const;
    // 0 or 1: the parity of the wipe tracks whose last tick is at or before T (as placed).
    int32_t EndedWipeParity(int32_t T) const;
    // Adds the media file names of every track (files on disk not yet listed).
    void CollectFileNames(std::vector<std::string>& List) const;

    // For the track kinds.
    // The film plays in a root of its own: no owner, not in motion mode.
    bool PlaysInOwnRoot() const { return !MotionMode && !Owner; }
    // The prefix of the names of objects the tracks make: 0x01, the owner's name and 0x01, or
    // 0x01 alone without an owner.
    std::string ObjectNamePrefix() const;
    // A new object of type Code under the target root, named by the prefix; nullptr without a
    // target root or for a type that cannot be made.
    TVelaObject* CreateTrackObject(uint8_t Code) const;
    // The layer (0 or 1) of Track's objects: the parity of the wipes ended at its start,
    // inverted by its OtherLayer flag.
    int32_t TrackLayer(const TCustomFrameList& Track) const;
    // Puts Track's own object under the owner, or onto its layer of the target root.
    void PlaceObject(TVelaObject& Obj, const TCustomFrameList& Track) const;
    // The next SetTime starts the active wipe's transition anew (its settings changed).
    void ForgetLastWipe() { LastWipe = nullptr; }

    uint8_t Kind = 0;  // 0 a "VelaCinema" file, 1 a "VelaMotion" file
    int32_t Width = 0, Height = 0;  // the stage
    int32_t Color = -1;             // the stage's background; -1 none
    // FollowPosition (relative positions, from version 102), RepeatPos (the loop-back tick, from
    // 106) and OriginX/OriginY (the current origin) are TVelaFilm's.
    int32_t StoredOriginX = 0, StoredOriginY = 0;  // the origin relative positions were made at (104)
    bool Running = true;
    bool Visible = false;
    int32_t VolumeScale = 1000;      // per mille, applied to every sound volume
    TVelaControl* Owner = nullptr;   // prefixes the names of the objects made; nullptr in an own root
    bool MotionMode = false;         // tracks drive MotionTarget instead of making objects
    TVelaControl* MotionTarget = nullptr;  // while a motion applies the film
    bool NoActivation = false;       // loading leaves the tracks' media unloaded

protected:
    // A control's motion: the film drives Target at T.
    void ApplyTracks(TVelaControl& ATarget, int32_t T) override;

private:
    // What placing reads of a track and works out for it, in a list beside the tracks: the
    // chains are followed in the list, and each track is written once, so that a film of many
    // tracks is walked twice at most, not once a step.
    struct TTrackRow {
        int32_t Parent;  // the parent's position; -1 without one
        int32_t Length, Start;
        uint8_t Kind;
        int32_t Depth = 0, PlacedStart = 0, Root = 0, KindHead = 0, Child = -1;
    };
    static TTrackRow RowOf(const TCustomFrameList& Track, int32_t Parent);
    // LinkParents on the rows: each stored parent index kept, or -1.
    void LinkRows(std::vector<TTrackRow>& Rows) const;
    // PlaceTracks on the rows, with the ends of the wipe tracks.
    void PlaceRows(std::vector<TTrackRow>& Rows);
    // Gives each track its parent and place from the rows; with Activate, each track is then
    // activated (a track's activation looks no further than itself and its parent's stored values)
    // and its row takes the length it may have got. Whether some length changed.
    bool ApplyRows(std::vector<TTrackRow>& Rows, bool Activate);

    std::vector<std::unique_ptr<TCustomFrameList>> Tracks;
    std::vector<int64_t> WipeEnds;  // the last tick of each wipe track, ascending (PlaceTracks)
    int32_t Length = 0;
    TVelaBaseList* Target = nullptr;
    const TCustomFrameList* LastWipe = nullptr;
};

// The films every control's motion plays: a TFilmManager in motion mode.
std::unique_ptr<TVelaFilm> NewMotionFilm();

// Media names for CollectFileNames: adds Name when a file of that name exists on the disk and
// List does not hold it yet (without regard to case); whether it was added.
bool AddFilmFileName(std::vector<std::string>& List, const std::string& Name);
// Adds a sprite's name as above and, when it was newly added and names a ".vmt" film, the media
// names of that film, read from the disk (so films that name each other end).
void AddSpriteFileNames(std::vector<std::string>& List, const std::string& Name);

// Media names inside film files: resolved against the film's folder when read (a path that
// climbs to or above the drive's root stays as stored), and made relative to it when written
// ("..\" for each folder of the base the path lies outside).
std::string ResolveRelativePath(const std::string& Path, const std::string& BaseFolder);
std::string MakeRelativePath(const std::string& Path, const std::string& BaseFolder);
