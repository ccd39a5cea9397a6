#pragma once
// The media-player host: a panel that plays one film through a video of the companion library,
// which stands in for the media-player control. The control's properties are reached by their
// dispatch ids (those the library can answer act on the video, the others are kept and read
// back); its events are raised from a 50 ms timer on the main thread; the video's place inside
// the panel, with scroll bars when it is larger, is kept as geometry and handed to the library as
// the rectangle the windowed video shows in. A frame grabber takes frames from the library's
// decode thread, one at a time, hands them to the main thread through the message queue and
// optionally writes them to numbered or time-stamped BMP or JPEG files.
#include "companion/vela_api.h"
#include "core/header.h"
#include "core/streams.h"
#include "graphics/dib.h"
#include "platform/msgqueue.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <variant>

enum TDisplaySize : uint8_t { mpDefaultSize, mpHalfSize, mpDoubleSize, mpFitToSize, mpCustomSize };
enum TAuto_Filename : uint8_t { fnSequential, fnDateTime };

// The control's dispatch ids that the host itself reads or writes.
namespace MovieDispId {
inline constexpr int32_t Volume = 19, Balance = 20, ImageSourceWidth = 1001, ImageSourceHeight = 1002,
                         Duration = 1003, FileName = 1026, CurrentPosition = 1027, Rate = 1028, DisplaySize = 1032,
                         OpenState = 1061, PlayState = 1068;
}

// A dispatch value: an integer (or colour), a WordBool, a double, or a string.
using TDispValue = std::variant<int32_t, bool, double, std::string>;

// The gate a capture file passes before it is written (the title's write gate, set by the
// program's shell): whether the file may be written. Without one no capture file is.
using TCaptureGate = bool (*)(const platform::fs::Beneath& Target);
extern TCaptureGate CaptureGate;

// The message a grabbed frame posts to the host (wParam 1; lParam 0 when playback is to pause
// again, else 1).
inline constexpr uint32_t WM_FGRABBER_CAPTURE = 0x8000 + 1000;

// The grabber: frames of the decode thread become bitmaps for the main thread, at most one in
// flight; frames coming meanwhile are dropped. Armed for one frame, or in burst mode for
// BurstCount frames every BurstInterval-th frame (BurstCount 0: every BurstInterval-th frame
// until disarmed).
class TSampleGrabberCB {
public:
    // Main thread: where frames are posted; disarms.
    void Reset(platform::TargetId Target);
    // Main thread: takes the next frame(s) with these burst settings; PauseAfter asks the last one
    // to pause playback again.
    void Arm(int32_t BurstCount, int32_t BurstInterval, bool BurstMode, bool PauseAfter);
    void Disarm();
    // Decode thread: one frame on show.
    void BufferCB(const VelaFrame& Frame);
    // Main thread: the frame posted, nullptr when none waits.
    std::unique_ptr<TDIB> TakeFrame();
    // Main thread: the posted frame was handled; the next one may come.
    void Done();
    bool IsArmed();

private:
    std::mutex Lock;
    std::unique_ptr<TDIB> Frame;
    platform::TargetId TargetWindow = 0;
    bool Busy = false;
    bool BurstMode = false;
    int32_t Countdown = 0, Remaining = 0, BurstCount = 1, BurstInterval = 1;
    bool PauseAfter = false;
    bool Armed = false;
};

class TActiveMovie {
public:
    TActiveMovie();
    ~TActiveMovie();
    TActiveMovie(const TActiveMovie&) = delete;
    TActiveMovie& operator=(const TActiveMovie&) = delete;

    // ---- Settings kept by the panel ----
    bool AutoStart = true;
    std::string FileName;  // program path of the film Open opens
    TAuto_Filename AutoFileName = fnSequential;
    std::string AutoFilePrefix;
    std::string StoragePath;  // program path of the capture folder
    std::string CaptureFileName;  // used unchanged when set
    int32_t CaptureSize = 100;    // percent
    int32_t JPEGQuality = 100;
    bool Loop = false;
    int32_t ScrollBarsThickness = 16;
    // The panel's place in the base panel's client area; ReLayout after a change.
    TRect BoundsRect{0, 0, 240, 200};

    // ---- Settings with rules (Algorithms of each in the setter) ----
    TDisplaySize GetDisplaySize() const { return FDisplaySize; }
    // mpCustomSize while ShowControls is on is refused with an EVelaError.
    void SetDisplaySize(TDisplaySize Value);
    bool GetShowControls() const { return FShowControls; }
    // On while DisplaySize is mpCustomSize is refused with an EVelaError.
    void SetShowControls(bool Value);
    bool GetShowScrollBars() const { return FShowScrollBars; }
    void SetShowScrollBars(bool Value);
    int32_t GetZoomSize() const { return FZoomSize; }
    // Values below 1 are ignored.
    void SetZoomSize(int32_t Value);
    bool GetVisible() const { return FVisible; }
    void SetVisible(bool Value);
    // -1 or between 0 and SelectionEnd; -1 or not below SelectionStart; others are ignored.
    double GetSelectionStart() const { return FSelectionStart; }
    void SetSelectionStart(double Value);
    double GetSelectionEnd() const { return FSelectionEnd; }
    void SetSelectionEnd(double Value);
    // Negative counts and intervals below 1 are ignored.
    void SetBurstCount(int32_t Value);
    void SetBurstInterval(int32_t Value);
    void SetBurstMode(bool Value) { FBurstMode = Value; }
    bool GetFGrabberEnabled() const { return FGrabberEnabled; }
    void SetFGrabberEnabled(bool Value);
    const std::string& LastError() const { return FLastError; }

    // ---- The control ----
    TDispValue GetProperty(int32_t Id);
    void SetProperty(int32_t Id, const TDispValue& Value);
    int32_t OpenState() { return GetInt(MovieDispId::OpenState); }
    int32_t PlayState() { return GetInt(MovieDispId::PlayState); }
    double Duration() const { return FDuration; }
    // The open film played to its end.
    bool EndOfStream() const;

    // Opens the file named by FileName, stopping what plays.
    void Open();
    // The library's frame on show; nullptr when none.
    const VelaFrame* CurrentFrame();
    void Play();
    void Stop();
    // Whether it paused (only an open film that plays does).
    bool Pause();
    // Only positions before the end.
    void SetPosition(double Seconds);
    // Takes the next frame(s) with the burst settings of now when the grabber is ready: 0 only the
    // event, 1 a BMP file, 2 a JPEG file. A film that does not play starts; a paused or stopped
    // one pauses again once the frame came.
    void CaptureFrame(int32_t Destination);
    // The video's window inside the panel (panel coordinates) and the scroll bars shown.
    struct TLayout {
        TRect Control;
        bool HScroll = false, VScroll = false, Corner = false;
        int32_t HRange = 0, VRange = 0, HPosition = 0, VPosition = 0;
    };
    const TLayout& Layout() const { return FLayout; }
    void ReLayout();

    // ---- Events ----
    std::function<void(TActiveMovie&, int32_t NewState)> OnOpenStateChange;
    std::function<void(TActiveMovie&, int32_t OldState, int32_t NewState)> OnPlayStateChange;
    std::function<void(TActiveMovie&)> OnEndOfStream, OnOpenComplete;
    std::function<void(TActiveMovie&, double OldPosition, double NewPosition)> OnPositionChange;
    // The captured frame and the file written ("" when none).
    std::function<void(TActiveMovie&, TDIB* Frame, const std::string& FileName)> OnFGrabberCaptureCompleted;

    // The capture file for an extension ("bmp", "jpg") as the next capture names it.
    std::string NextCaptureName(const std::string& Ext);

private:
    void Handle(const platform::QueuedMessage& M);
    void DeferredEvents();
    void CaptureCompleted(bool PauseAgain);
    void OpenFile(const std::string& FileName);
    void CloseFile();
    void OpenStateChange(int32_t NewState);
    void PlayStateChange(int32_t OldState, int32_t NewState);
    void InsertGrabber();
    int32_t GetInt(int32_t Id);
    double GetDouble(int32_t Id);

    platform::TargetId FTarget = 0;
    std::map<int32_t, TDispValue> FStored;
    std::string FFileName;
    std::unique_ptr<TStream> FStream;
    VelaHandle FHandle = 0;
    bool FStopped = true;

    TDisplaySize FDisplaySize = mpDefaultSize;
    bool FShowControls = false, FShowScrollBars = true, FVisible = true;
    int32_t FZoomSize = 100;
    double FSelectionStart = -1, FSelectionEnd = -1;
    double FRate = 1;
    int32_t FBurstCount = 0, FBurstInterval = 1;
    bool FBurstMode = false, FGrabberEnabled = false, FGrabberReady = false;
    std::string FLastError;
    TLayout FLayout;
    double FScrollX = 0.5, FScrollY = 0.5;

    // What the deferred-event timer saw last, and what it has to raise.
    int32_t FReportedPlayState = 0;
    double FReportedPosition = 0;
    bool FEnded = false, FOpenStatePending = false, FInTimer = false;
    double FDuration = 0;
    int32_t FDestination = 0;
    std::map<std::string, int32_t> FCounters;  // per extension

    TSampleGrabberCB FGrabber;
};
