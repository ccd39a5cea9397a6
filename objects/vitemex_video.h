#pragma once
// The video object (TVelaVideo): an image whose picture is a film played through the video
// manager. Captured, each new frame is copied into the object's own surface and drawn like any
// picture; as an overlay, the media layer shows the film in the rectangle of the window the
// object keeps up to date. Playing, fades, end events and the record follow the sound object.
#include "objects/vitemex_image.h"

#include <cstdint>
#include <memory>
#include <string>

class TVideoItem;
class TVelaMixer;

class TVelaVideo : public TVelaCustomImage {
public:
    explicit TVelaVideo(TVelaBaseList* AOwner);
    ~TVelaVideo() override;
    uint8_t GetCompoType() const override { return LT_VIDEO; }

    // Play states.
    static constexpr int32_t Playing = 0, FadingIn = 1, Stopped = 2, FadingOut = 3;

    std::string GetSource() const override { return FileName; }
    // Another name (compared case-sensitively) drops the item and the picture and stops.
    void SetSource(const std::string& S) override;
    int32_t GetDelay() const override { return Delay; }
    void SetDelay(int32_t V) override { Delay = V; }
    bool GetAutoscrap() const override { return Autoscrap; }
    void SetAutoscrap(bool V) override { Autoscrap = V; }
    std::string GetOnplayend() const override { return OnPlayEnd; }
    void SetOnplayend(const std::string& S) override { OnPlayEnd = S; }
    std::string GetOnidle() const override { return OnIdle; }
    void SetOnidle(const std::string& S) override { OnIdle = S; }
    bool GetRewindonload() const override { return RewindOnLoad; }
    void SetRewindonload(bool V) override { RewindOnLoad = V; }
    bool GetMuteonload() const override { return MuteOnLoad; }
    void SetMuteonload(bool V) override { MuteOnLoad = V; }
    bool GetRepeat() const override { return Repeat; }
    void SetRepeat(bool V) override;
    bool GetPaused() const override { return Paused; }
    void SetPaused(bool V) override;
    void SetAnipaused(bool V) override;
    int32_t GetVolume() const override { return Volume; }
    void SetVolume(int32_t V) override;
    int32_t GetBalance() const override { return Balance; }
    // Clamped to -10000..10000.
    void SetBalance(int32_t V) override;
    // The item's position in ms (0 without one); setting it seeks without restarting.
    int32_t GetIndex() const override;
    void SetIndex(int32_t V) override;
    // The length in ms; without an item, that of the file when it exists.
    int32_t GetCount() const override;
    bool GetPlaying() const override;
    bool GetOverlay() const override { return Overlay; }
    // With an item, the film is made again in the new mode at the same position.
    void SetOverlay(bool V) override;
    // Moves and shows keep an overlay in place.
    void SetLeft(int32_t V) override;
    void SetTop(int32_t V) override;
    void SetOffsetx(int32_t V) override;
    void SetOffsety(int32_t V) override;
    void SetPlusx(int32_t V) override;
    void SetPlusy(int32_t V) override;
    void SetVisible(bool V) override;
    // The drawn size follows the film's (0 without one).
    void SetFloatzoomx(long double V) override;
    void SetFloatzoomy(long double V) override;
    // Under a cabinet the film pauses, and plays again when moved out.
    void SetParent(TVelaControl* P) override;

    int32_t GetPlayState() const override { return PlayState; }
    void SetPlayState(int32_t State) override;
    // Starts over from the beginning, faded in over Delay when it is above 0.
    void Play() override;
    // New frames (checked every 33 ms), the film's end (acted on once), the running fade; true
    // when the object is to go now.
    bool Step() override;
    // Copies the film's frame into the picture, then draws it.
    void Prepare() override;
    void FreePrivateDIBs() override;
    void MakePrivateDIBs() override;
    bool HasPicture() const override { return Item != nullptr; }
    void SaveToStream(TStream& Stream) override;
    void LoadFromStream(TStream& Stream, int32_t Version) override;

private:
    int32_t MediaVolume() const;
    bool Running() const { return !Paused && !GetAnipaused(); }
    void PauseChanged(bool WasRunning);
    void StartFadein();
    // Frees the fade, and with a fade-out the item it was fading.
    void ReleaseFade();
    // Makes the picture's surface at the film's size and shows it.
    void MakeSurface();
    void DropSurface();
    void SizeToFilm();
    // Hands the film the part of its drawn rectangle inside the layer, scaled by the display
    // zoom, or hides it.
    void UpdateOverlay();
    template <class F>
    void Moved(F Change);

    std::string FileName;
    int32_t PlayState = Stopped;
    TVideoItem* Item = nullptr;        // owned by VideoMan
    TVideoItem* FadingItem = nullptr;  // the item a fade-out took
    std::unique_ptr<TCustomDIBX> VideoSurface;
    bool Repeat = false;
    bool Paused = false;
    int32_t Volume = 0;
    int32_t Balance = 0;
    std::unique_ptr<TVelaMixer> Fade;
    int32_t Delay = 0;
    int32_t StartPos = 0;
    bool Autoscrap = false;
    std::string OnPlayEnd, OnIdle;
    bool RewindOnLoad = false, MuteOnLoad = false;
    bool Overlay = true;
    uint32_t LastPaintCheck = 0;
    // The film reached its end without repeating; acted on once until something starts it again.
    bool Ended = false;
};
