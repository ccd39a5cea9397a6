#pragma once
// The Windows Media kind of film ([Video] UseWMP): a video item played through the media-player
// host. Windowed, the host's panel is placed so that the part of the frame asked for falls on
// the place asked for; captured, the host's grabber hands over every frame, which the video
// object takes through NeedPaint and GetDC.
#include "media/activemovie.h"
#include "media/videoitem.h"

#include <memory>
#include <string>

class TWmVideoItem : public TVideoItem {
public:
    // Without a screen manager there is no host: the item plays nothing and has ended.
    TWmVideoItem(TVideoManager* Manager, bool Capture, const std::string& FileName);
    ~TWmVideoItem() override;

    void Play() override;
    void Pause() override;
    bool IsPlaying() override;
    bool IsPaused() override;
    // The film reached its end, or could not be opened.
    bool IsEnd() override;
    int32_t GetLen() override;
    int32_t GetPosition() override;
    void SetPosition(int32_t Value) override;
    int32_t GetVol() override;
    void SetVol(int32_t Value) override;
    int32_t GetPan() override;
    void SetPan(int32_t Value) override;
    bool GetAutoRepeat() override;
    void SetAutoRepeat(bool Value) override;
    int32_t GetSourceWidth() override;
    int32_t GetSourceHeight() override;
    bool GetVisible() override;
    void SetVisible(bool Value) override;
    void SetRect(const TRect& Source, const TRect& Dest) override;
    // Captured: the last frame grabbed; windowed: the library's frame on show.
    const VelaFrame* GetDC() override;
    bool NeedPaint() override { return Capture && FNewFrame; }
    void ResetNeedPaint() override { FNewFrame = false; }

    TActiveMovie* Movie() const { return FMovie.get(); }

private:
    enum class TPending : uint8_t { None, Pause, Play };
    void OpenStateChanged(int32_t State);
    void PlaceWindow();
    void StartPlaying();

    std::unique_ptr<TActiveMovie> FMovie;
    std::string FFileName;
    TPending FPending = TPending::None;
    bool FOpened = false;
    std::unique_ptr<TDIB> FFrameBitmap;
    VelaFrame FFrame{};
    bool FNewFrame = false;
};
