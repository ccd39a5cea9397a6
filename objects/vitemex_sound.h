#pragma once
// The sound object (TVelaSound): the script's handle on one piece of music, voice or effect. It
// keeps a file name and playback settings, makes one media item through the manager that suits
// the file when it starts, fades it in and out (TVelaMixer and its two kinds, timed on the
// script clock), raises OnPlayEnd when the item ends, and saves and restores its state with the
// game.
//
// Volume is 0..1000 on the object and 1/100 dB (-10000 silent .. 0 full) on the item.
#include "objects/vitems.h"

#include <cstdint>
#include <memory>
#include <string>

class TDMediaItem;

// Whether the item is a MIDI song (MIDI volumes and fades run over the whole scale).
bool IsMidiItem(const TDMediaItem& Item);
// The item's volume for an object's Volume: MIDI Volume * 10 - 10000 unclamped; any other item
// half the scale, Volume * 5 - 5000, with 0 silent and 1000 and above full.
int32_t GetMediaVolume(const TDMediaItem& Item, int32_t Volume);

// A change of an item's volume over Duration ms of the script clock, stepped by its object. The
// first step starts it and answers false; each later step sets the volume and answers true once
// the duration has passed. This base never finishes.
class TVelaMixer {
public:
    TVelaMixer(TDMediaItem& AItem, int32_t AToVolume, int32_t ADuration)
        : Item(&AItem), ToVolume(AToVolume), Duration(ADuration) {}
    virtual ~TVelaMixer() = default;
    TVelaMixer(const TVelaMixer&) = delete;
    TVelaMixer& operator=(const TVelaMixer&) = delete;

    virtual bool Step() { return false; }
    // The volume the fade ends at.
    void SetTarget(int32_t V) { ToVolume = V; }

protected:
    // Takes the start time; the volume it starts from is the caller's.
    void Start(int32_t From);
    // The ms since the start (wrapping as the clock does).
    uint32_t Elapsed() const;
    bool Finished(uint32_t Elapsed) const { return int64_t(Elapsed) >= Duration; }
    // The volume Elapsed ms in: MIDI runs the whole way; other items rise from halfway to the
    // target, or fall halfway and are then cut off.
    int32_t Current(uint32_t Elapsed) const;

    uint32_t StartTime = 0;
    int32_t FromVolume = 0;
    bool Started = false;
    TDMediaItem* Item;  // the object's item, not owned
    int32_t ToVolume;
    int32_t Duration;
};

// Starts the item silent and raises it to the target volume.
class TVelaMixerFadein : public TVelaMixer {
public:
    using TVelaMixer::TVelaMixer;
    bool Step() override;
};

// Lowers the item from its volume at the start to silence; its object goes when it finishes.
class TVelaMixerFadeout : public TVelaMixer {
public:
    TVelaMixerFadeout(TDMediaItem& AItem, int32_t ADuration) : TVelaMixer(AItem, -10000, ADuration) {}
    bool Step() override;
};

class TVelaSound : public TVelaComponent {
public:
    using TVelaComponent::TVelaComponent;
    // Silences the item and hands it back to its manager.
    ~TVelaSound() override;
    uint8_t GetCompoType() const override { return LT_SOUND; }

    // Play states.
    static constexpr int32_t Playing = 0, FadingIn = 1, Stopped = 2, FadingOut = 3;

    std::string GetSource() const override { return FileName; }
    // Another name drops the item and stops the object.
    void SetSource(const std::string& S) override;
    int32_t GetDelay() const override { return Delay; }
    void SetDelay(int32_t V) override { Delay = V; }
    int32_t GetVolume() const override { return Volume; }
    void SetVolume(int32_t V) override;
    int32_t GetBalance() const override { return Balance; }
    // Clamped to -10000..10000.
    void SetBalance(int32_t V) override;
    bool GetRepeat() const override { return Repeat; }
    // Turned on at the item's end (and not paused), the item starts over.
    void SetRepeat(bool V) override;
    int32_t GetRepeatpos() const override { return RepeatPos; }
    void SetRepeatpos(int32_t V) override;
    bool GetPaused() const override { return Paused; }
    void SetPaused(bool V) override;
    // Pauses like Paused, but the root still steps the object (the getter keeps the base answer).
    void SetAnipaused(bool V) override;
    // The item's position in ms (0 without one); setting it seeks, and plays unless paused.
    int32_t GetIndex() const override;
    void SetIndex(int32_t V) override;
    // The length in ms; without an item, that of the file when it exists.
    int32_t GetCount() const override;
    bool GetPlaying() const override;
    bool GetAutoscrap() const override { return Autoscrap; }
    void SetAutoscrap(bool V) override { Autoscrap = V; }
    bool GetRewindonload() const override { return RewindOnLoad; }
    void SetRewindonload(bool V) override { RewindOnLoad = V; }
    bool GetMuteonload() const override { return MuteOnLoad; }
    void SetMuteonload(bool V) override { MuteOnLoad = V; }
    std::string GetOnplayend() const override { return OnPlayEnd; }
    void SetOnplayend(const std::string& S) override { OnPlayEnd = S; }

    int32_t GetPlayState() const override { return PlayState; }
    // Playing or fading in makes the item when there is none; stopped drops it and deletes the
    // object; fading out fades over Delay, renaming the object to a system name so that the
    // script can reuse the name at once.
    void SetPlayState(int32_t State) override;
    // Starts over from the beginning, faded in over Delay when it is above 0.
    void Play() override;
    // The item's end, the running fade; true when the object is to go now.
    bool Step() override;
    void SaveToStream(TStream& Stream) override;
    void LoadFromStream(TStream& Stream, int32_t Version) override;

private:
    int32_t MediaVolume() const { return GetMediaVolume(*Item, Volume); }
    // Frees the fade and hands the item back to its manager.
    void ReleaseItem();
    // Pauses and silences the item while either pause flag is set, else plays it again.
    void ApplyPause();
    void StartFadein();

    std::string FileName;
    int32_t PlayState = Stopped;
    TDMediaItem* Item = nullptr;  // owned by its manager
    bool Repeat = false;
    int32_t RepeatPos = 0;
    bool Paused = false;
    int32_t Volume = 0;
    int32_t Balance = 0;
    std::unique_ptr<TVelaMixer> Fade;
    int32_t Delay = 0;
    int32_t StartPos = 0;
    bool Autoscrap = false;
    std::string OnPlayEnd;
    bool AniPaused = false;
    // The item reached its end without repeating; its end is acted on once until this clears.
    bool Ended = false;
    bool RewindOnLoad = false;
    bool MuteOnLoad = false;
};
