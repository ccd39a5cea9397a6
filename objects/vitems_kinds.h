#pragma once
// The small scene kinds: the rectangle (TVelaBox) with its fading trail copies, the interval
// timer (TVelaTimer), the hidden container (TVelaCabinet), the property motion
// (TVelaPropMotion), and the film motion any control plays on itself (TVelaMotion) over the film
// interface TVelaFilm.
#include "objects/vitems.h"
#include "script/params_values.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The script clock (ms of all ticks run) and the length of the current tick, from the host.
uint32_t SceneClock();
uint32_t SceneTickLength();
// Num / Den (Den > 0) rounded to the nearest integer, ties to even.
int32_t RoundDivEven(int64_t Num, int64_t Den);

// An animation film as a motion plays it. This base is the empty film: it loads nothing and
// applies nothing; the object layer's start-up installs the real films through SetFilmFactory.
class TVelaFilm {
public:
    virtual ~TVelaFilm() = default;
    virtual void LoadFromFile(const std::string& /*FileName*/) {}
    // Length in 1/60 s.
    virtual int32_t GetLength() const { return 0; }
    // Reads the film FileName for its names alone (no media loaded) and answers the picture
    // files of its image tracks, in track order; the empty film names none.
    virtual std::vector<std::string> ImageTrackFiles(const std::string& /*FileName*/) { return {}; }
    // Applies every track at time T (1/60 s) to Target; the film keeps no reference to it.
    void SetTime(TVelaControl& Target, int32_t T) {
        CurrentTime = T;
        ApplyTracks(Target, T);
    }

    int32_t CurrentTime = -1;  // the time last applied
    bool FollowPosition = false;  // the header flag: the film moves with its control
    int32_t RepeatPos = 0;        // where a repeating film starts over (1/60 s)
    int32_t OriginX = 0, OriginY = 0;
    int32_t BasePriority = 0;

protected:
    virtual void ApplyTracks(TVelaControl& /*Target*/, int32_t /*T*/) {}
};

using TFilmFactory = std::unique_ptr<TVelaFilm> (*)();
// nullptr puts the headless film back.
void SetFilmFactory(TFilmFactory Factory);
std::unique_ptr<TVelaFilm> MakeFilm();

// A film playing on a control, stepped by the control's step.
class TVelaMotion {
public:
    explicit TVelaMotion(TVelaControl& Target);
    TVelaMotion(const TVelaMotion&) = delete;
    TVelaMotion& operator=(const TVelaMotion&) = delete;
    // Resets the target's film position and second order key.
    ~TVelaMotion();

    // Loads the film and restarts; a film that cannot be read leaves an empty one.
    void LoadFromFile(const std::string& FileName);
    void Start();
    // The per-tick step; true on the tick the film ends.
    bool Update();
    // The film's target; nullptr once that object is gone.
    TVelaControl* GetObject() const;
    void SetObject(TVelaControl* Target);
    int32_t GetFrameCount() const { return Film->GetLength(); }
    int32_t GetFrame() const { return Frame; }
    // The film time in ms; the next update plays the frame it falls on.
    int32_t GetElapsed() const { return Elapsed; }
    void SetElapsed(int32_t Ms) { Elapsed = Ms; }
    bool GetFinished() const { return Finished; }
    // Applies the current frame again when it lies within the film.
    void ApplyCurrent();
    TVelaFilm& GetFilm() { return *Film; }

private:
    std::unique_ptr<TVelaFilm> Film;
    TObjectRef Target;
    TVelaBaseList* Root = nullptr;
    int32_t Elapsed = 0;
    int32_t Countdown = 0;
    bool Finished = false;
    int32_t Frame = 0;
    int32_t LastLeft = 0, LastTop = 0;
};

// R filled (framed with edges Width thick) in Color by the blend value: opaque at 255, blended
// below, added above with the colour scaled by Alpha - 256.
void FillRectBlended(TCustomDIBX& Dest, const TRect& R, int32_t Color, int32_t Alpha);
void FrameRectBlended(TCustomDIBX& Dest, const TRect& R, int32_t Width, int32_t Color, int32_t Alpha);

// A filled and/or framed rectangle drawn opaque (Alpha 255), blended (1..254) or added
// (256..511, intensity Alpha - 256), optionally driven by a film and leaving a fading trail.
class TVelaBox : public TVelaControl {
public:
    using TVelaControl::TVelaControl;
    uint8_t GetCompoType() const override { return LT_BOX; }

    int32_t GetBorderwidth() const override { return BorderWidth; }
    void SetBorderwidth(int32_t V) override { ChangeLook(BorderWidth, V); }
    int32_t GetBordercolor() const override { return BorderColor; }
    void SetBordercolor(int32_t V) override { ChangeLook(BorderColor, V); }
    int32_t GetAlpha() const override { return Alpha; }
    void SetAlpha(int32_t V) override { ChangeLook(Alpha, V); }
    std::string GetOnidle() const override { return Texts ? Texts->OnIdle : std::string(); }
    void SetOnidle(const std::string& S) override {
        if (Texts || !S.empty()) KeptTexts().OnIdle = S;
    }
    std::string GetSource() const override { return Texts ? Texts->Source : std::string(); }
    // A ".vmt" file becomes the box's film.
    void SetSource(const std::string& S) override;
    bool GetRepeat() const override { return Repeat; }
    void SetRepeat(bool V) override;
    bool GetAutoscrap() const override { return AutoScrap; }
    void SetAutoscrap(bool V) override { AutoScrap = V; }
    std::string GetOnplayend() const override { return Texts ? Texts->OnPlayEnd : std::string(); }
    void SetOnplayend(const std::string& S) override {
        if (Texts || !S.empty()) KeptTexts().OnPlayEnd = S;
    }
    bool GetPaused() const override { return Paused; }
    void SetPaused(bool V) override { Paused = V; }
    int32_t GetBlurspan() const override { return BlurSpan; }
    void SetBlurspan(int32_t V) override;
    int32_t GetBlurdelay() const override { return BlurDelay; }
    void SetBlurdelay(int32_t V) override { BlurDelay = V; }

    void Prepare() override;
    bool Step() override;
    void SaveToStream(TStream& Stream) override;
    void LoadFromStream(TStream& Stream, int32_t Version) override;

private:
    struct TSnapshot {
        int32_t Left = 0, Top = 0, Width = 0, Height = 0, BorderWidth = 0;
        bool operator==(const TSnapshot&) const = default;
    };
    TSnapshot TakeSnapshot() const { return {GetLeft(), GetTop(), GetWidth(), GetHeight(), BorderWidth}; }
    void SpawnTrailCopy();

    // The idle handler, the film's file and the film's end handler, which most boxes never set:
    // kept apart, made when the first is set, so that freeing a box reads one pointer for them.
    struct TTexts {
        std::string OnIdle, Source, OnPlayEnd;
    };
    std::unique_ptr<TTexts> Texts;
    // The texts, made when missing.
    TTexts& KeptTexts();
    int32_t BorderWidth = 0, BorderColor = 0, Alpha = 255;
    bool Repeat = false, AutoScrap = false;
    bool Paused = false;
    int32_t BlurSpan = 0, BlurDelay = 0;
    int32_t BlurTimer = 0;
    TSnapshot Snapshot;
};

// A trail copy of a box: fades from its start alpha to nothing over Delay ms, then is freed.
// It has no type code of its own: scripts cannot create one and saved scenes leave it out.
class TVelaBlurBox : public TVelaBox {
public:
    using TVelaBox::TVelaBox;
    uint8_t GetCompoType() const override { return LT_NONE; }
    int32_t GetDelay() const override { return Delay; }
    void SetDelay(int32_t V) override { Delay = V; }
    void SetStartAlpha(int32_t V);
    bool Step() override;

private:
    int32_t Elapsed = 0, Delay = 0, StartAlpha = 0;
};

// Queues OnNotify once per Delay ms of script time, never a second one while one is queued.
class TVelaTimer : public TVelaComponent {
public:
    explicit TVelaTimer(TVelaBaseList* AOwner);
    uint8_t GetCompoType() const override { return LT_TIMER; }

    std::string GetOnnotify() const override { return OnNotify; }
    void SetOnnotify(const std::string& S) override;
    int32_t GetDelay() const override { return Delay; }
    void SetDelay(int32_t V) override;
    bool GetPaused() const override { return Paused; }
    void SetPaused(bool V) override;
    bool GetAutoscrap() const override { return AutoScrap; }
    void SetAutoscrap(bool V) override { AutoScrap = V; }

    bool Step() override;
    void SaveToStream(TStream& Stream) override;
    void LoadFromStream(TStream& Stream, int32_t Version) override;

private:
    // Drops the pending notify and starts a period now.
    void Restart();

    std::string OnNotify;
    int32_t Delay = 0;
    bool Paused = false, AutoScrap = false;
    uint32_t PeriodStart = 0;
    bool Fired = false;
};

// Holds controls out of sight and out of play: never visible, draws nothing.
class TVelaCabinet : public TVelaControl {
public:
    using TVelaControl::TVelaControl;
    uint8_t GetCompoType() const override { return LT_CABINET; }
    bool GetVisible() const override { return false; }
    void Prepare() override {}
    TVelaObject* HitTest(TPoint, uint32_t) override { return nullptr; }
};

// Moves one property of a named object, read and written as a real number through the property
// ids, from its value at the motion's first step to a target value over a duration: linearly or
// along a quarter sine. It goes after the step that writes the target value, or at once when its
// object or property does not exist.
class TVelaPropMotion : public TVelaComponent {
public:
    using TVelaComponent::TVelaComponent;
    uint8_t GetCompoType() const override { return LT_PROPMOTION; }
    bool GetPaused() const override { return Paused; }
    void SetPaused(bool V) override { Paused = V; }
    bool GetPlaying() const override { return !Paused; }

    // The motion: the object's name ("" the current layer), the property id, the target value,
    // the duration (ms) and the easing.
    void SetTargetName(const std::string& S) { TargetName = S; }
    void SetPropId(uint8_t Id) { PropId = Id; }
    void SetTargetValue(long double V) { TargetValue = V; }
    void SetMotionDuration(int32_t Ms) { Duration = Ms; }
    void SetEasing(uint8_t V) { Easing = V; }
    // Easings; any other value is linear.
    static constexpr uint8_t EaseIntoEnd = 1;   // slow at first, fast at the end
    static constexpr uint8_t EaseFromStart = 2;  // fast at first, slow at the end
    static constexpr uint8_t NoProperty = 255;

    bool Step() override;
    void SaveToStream(TStream& Stream) override;
    void LoadFromStream(TStream& Stream, int32_t Version) override;

private:
    // The object the motion found, while it exists and is not deleted; nullptr otherwise.
    TVelaObject* LiveTarget() const;
    // The elapsed time has reached the end (the start value comes first, even for a duration
    // of 0 or 1).
    bool AtEnd() const;
    long double CurrentValue() const;

    long double TargetValue = 0;
    int32_t Duration = 0;
    std::string TargetName;
    TObjectRef Target;  // none until the first step finds the object
    uint8_t PropId = NoProperty;
    uint8_t Easing = 0;
    int32_t Elapsed = 0;
    long double StartValue = 0;
    bool Paused = false;
    TParamFloat Holder;  // passes values to and from the property
};
