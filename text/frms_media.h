#pragma once
// The wipe track, whose interval the film turns into a screen transition of its root, and the
// sound track, which plays a sound file over its interval with eased volume and pan, kept in
// step with the film's clock.
#include "text/frms.h"

#include <cstdint>
#include <string>

// The transition's settings; the film runs it (TFilmManager::SetTime). A changed setting makes
// the next tick start the transition anew.
class TWipeFrameList : public TCustomFrameList {
public:
    explicit TWipeFrameList(TFilmManager& AFilm);
    uint8_t GetKind() const override { return FK_WIPE; }
    int32_t FrameIndexAt(int32_t) const override { return 0; }

    uint8_t GetWipeType() const { return WipeType; }
    void SetWipeType(uint8_t V) { Change(WipeType, V); }
    const std::string& GetMaskName() const { return MaskName; }
    void SetMaskName(const std::string& V) { Change(MaskName, V); }
    int32_t GetWipeParam1() const { return WipeParam1; }
    void SetWipeParam1(int32_t V) { Change(WipeParam1, V); }
    int32_t GetWipeParam2() const { return WipeParam2; }
    void SetWipeParam2(int32_t V) { Change(WipeParam2, V); }
    bool GetReverse() const { return Reverse; }
    void SetReverse(bool V) { Change(Reverse, V); }
    bool GetWipeFlag() const { return WipeFlag; }
    void SetWipeFlag(bool V) { Change(WipeFlag, V); }

    void SaveToStream(TStream& Stream, const std::string& BaseFolder) const override;
    void LoadFromStream(TStream& Stream, const std::string& BaseFolder, int32_t Version) override;

private:
    template <class T>
    void Change(T& Field, const T& Value) {
        if (Field == Value) return;
        Field = Value;
        Film.ForgetLastWipe();
    }

    uint8_t WipeType = 1;
    std::string MaskName;
    int32_t WipeParam1 = 0, WipeParam2 = 0;
    bool Reverse = false;
    bool WipeFlag = false;  // the transition's ChangedOnly
};

// A sound over the track's interval. A chain of sound tracks plays one sound object (a
// TVelaSound of the scene's root, made by the chain's first track), each track easing its volume
// and pan; the sound is moved only when it drifts 3000 ms or more from the film's clock.
class TSoundFrameList : public TCustomFrameList {
public:
    explicit TSoundFrameList(TFilmManager& AFilm);
    ~TSoundFrameList() override;
    uint8_t GetKind() const override { return FK_SOUND; }
    int32_t FrameIndexAt(int32_t) const override { return 0; }

    // A continued track's name is its parent's; another name lets go of the sound.
    std::string GetFileName() const override;
    void SetFileName(const std::string& S) override;
    bool GetVisible() const override { return Visible; }
    // A change pauses (true) or resumes the sound.
    void SetVisible(bool V) override;
    // Volume (per mille) and Pan.
    int32_t GetInt(TTrackProp Prop, bool End) const override;
    void SetInt(TTrackProp Prop, bool End, int32_t V) override;
    uint8_t GetMode(TTrackProp Prop, int Axis = 0) const override;
    void SetMode(TTrackProp Prop, int Axis, uint8_t V) override;

    // The chain's sound: the first track's; nullptr when none.
    TVelaObject* GetSound();
    // Makes the chain's sound on its first track when there is none; answers it.
    TVelaObject* CreateSound();
    void Pause();

    TVelaObject* GetObject() const override;
    void Release() override;
    bool ApplyAt(int32_t T) override;
    // Sets the file name again (a fresh sound), keeping Length.
    void Activate() override;
    void CollectFileNames(std::vector<std::string>& List) override;
    void SaveToStream(TStream& Stream, const std::string& BaseFolder) const override;
    void LoadFromStream(TStream& Stream, const std::string& BaseFolder, int32_t Version) override;

private:
    // The track's own sound while it lives in the scene's root; nullptr otherwise.
    TVelaObject* OwnSound() const;
    // Whether the chain's sound should repeat: the track outlasts the sound, or it spans the
    // film's loop-back point to the film's end.
    bool RepeatsSound(TVelaObject& Sound) const;
    // Keeps a running film's sound going, Elapsed ticks into its chain: resumed when paused,
    // started when stopped, else moved to the film's time when 3000 ms or more off it.
    void FollowClock(TVelaObject& Sound, int64_t Elapsed);

    std::string FileName;
    int32_t BeginVolume = 1000, EndVolume = 1000;
    int32_t BeginPan = 0, EndPan = 0;
    uint8_t VolumeMode = 0, PanMode = 0;
    bool Visible = false;
    int32_t LastTime = 0;
    TObjectRef Sound;  // in the scene's root (Bases)
};
