#pragma once
// A video of the library: its decoder run by a thread of its own, which keeps a few pictures
// decoded ahead and puts each on show when the clock reaches its time. The clock is the
// position of the sound heard on a voice of the player's sound device; without sound (or once
// it has ended) the system's monotonic clock. The player drives it from its main thread.
#include "companion/decoder_video.h"
#include "companion/vela_api.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// The films a player may hold at once, each with its own thread and its decoder's helper: one
// more is not made ("too many at once"), so that a title's threads stay few.
inline constexpr size_t MaxFilms = 16;

// The failure (VELA_FAILURE_...) that the exception being handled stands for: a thread that
// could not be made, else memory the host refused.
int32_t CurrentFailure() noexcept;

class TFilm {
public:
    // Starts the thread, which decodes the first picture and waits for Play. Device may be
    // nullptr: the sound is not played.
    TFilm(std::unique_ptr<TVideoDecoder> Decoder, const VelaSoundDevice* Device);
    ~TFilm();
    TFilm(const TFilm&) = delete;
    TFilm& operator=(const TFilm&) = delete;

    // Play after the end starts again from the beginning.
    void Play();
    void Pause();
    bool IsPlaying();
    bool IsPaused();
    bool IsEnd();
    int32_t GetLen() const;
    int32_t GetPosition();
    // Shows the picture at Ms and plays on from there.
    void SetPosition(int32_t Ms);
    int32_t GetVol();
    void SetVol(int32_t Value);
    int32_t GetPan();
    void SetPan(int32_t Value);
    bool GetAutoRepeat();
    void SetAutoRepeat(bool Value);
    int32_t Width() const { return FWidth; }
    int32_t Height() const { return FHeight; }
    bool GetVisible();
    void SetVisible(bool Value);
    // True once for each picture put on show since the last ask. An ask while a decoded picture
    // has come due wakes the thread to put it on show.
    bool NeedPaint();
    // The picture on show (nullptr before the first), valid until the next GetDC.
    const VelaFrame* GetDC();
    void SetFrameCallback(VelaFrameProc Callback, void* Owner);
    // The whole library's videos pause (and go on) around a screen-mode switch.
    void Suspend(bool Value);
    // Why the thread ended the film short (VELA_FAILURE_...): it has ended then, and neither
    // Play nor SetPosition starts it again.
    int32_t Failure();

private:
    struct TPicture {
        // Made without clearing: the decoder's conversion fills every byte.
        std::unique_ptr<uint8_t[]> pixels;
        bool drawn = false;  // pixels hold a picture (or black)
    };
    // A picture decoded ahead of its time, kept as the decoder made it and converted only as it
    // goes on show: the grabber then copies pixels just written, not ones the caches let go of
    // while the pictures after them were decoded.
    struct TAhead {
        TDecodedFrame frame;
        int64_t ms = 0;
        size_t bytes = 0;  // FrameBytes of frame
    };
    // The thread: Work, ended by a failure (no memory, no thread) that ends the film alone.
    void Run();
    void Work(std::unique_lock<std::mutex>& Lock);
    // Steps of the thread; each is called with the lock held and may let go of it meanwhile.
    void DoSeek(std::unique_lock<std::mutex>& Lock, int64_t Ms);
    void DecodeAhead(std::unique_lock<std::mutex>& Lock);
    void ShowPicture(std::unique_lock<std::mutex>& Lock, TDecodedFrame Frame);
    bool Wanted() const { return FPlaying && !FPaused && !FSuspended && !FEnded && FSeekTo < 0; }
    void StartClock();
    void StopClock();
    int64_t ClockMs() const;
    bool NeedsMoreSound() const;
    bool SoundStarved() const;
    void MakeVoice();
    void DropVoice();
    void Sound(const uint8_t* Pcm, int64_t Frames);
    static int32_t Pull(void* Owner, void* Buffer, int32_t Capacity, int32_t* End);
    TPicture NewPicture();
    // Frame into Picture; one it cannot convert leaves a picture as it was, and a fresh one black.
    void Convert(TPicture& Picture, const AVFrame& Frame);
    // Whether one more picture may be decoded ahead where Count may wait: the pictures ahead hold
    // no more bytes than Count - 1 converted ones (the last one's size standing for the next), so
    // that with the one being converted they hold no more than Count converted ones would.
    bool RoomAhead(size_t Count) const;
    TAhead PopAhead();

    // The decoder is the thread's alone.
    std::unique_ptr<TVideoDecoder> FDecoder;
    const VelaSoundDevice* FDevice;
    const int32_t FWidth, FHeight, FPitch;
    // The pictures decoded ahead at most while the sound runs short, and otherwise.
    const size_t FMaxAheadForSound, FMaxAhead;

    std::mutex FMutex;
    std::condition_variable FWake;
    bool FStop = false, FPlaying = false, FPaused = false, FSuspended = false, FEnded = false;
    bool FRepeat = false, FVisible = false;
    int32_t FFailure = VELA_FAILURE_NONE;
    int64_t FSeekTo = 0;  // a seek the thread has not made yet; -1 none
    int32_t FVolume = 0, FPan = 0;
    // The clock: stopped at Base, or running from Base since the anchor (sound frames played by
    // the voice, or the monotonic clock's ms).
    bool FRunning = false, FOnSound = false;
    int64_t FClockBase = 0, FAnchor = 0;
    VelaVoice* FVoice = nullptr;
    bool FSoundEnd = false;  // the decoder has handed on all its sound (under FPcmMutex)
    bool FFresh = true;      // nothing decoded yet: the first show needs no seek
    std::deque<TAhead> FAhead;  // decoded, waiting for their time
    size_t FAheadBytes = 0;
    std::vector<TPicture> FSpare;
    bool FPicturesEnd = false;
    int64_t FLastEndMs = 0;
    // On show: the thread puts each picture in Ready; GetDC takes it into Shown.
    TPicture FReady, FShown;
    bool FHasReady = false, FHasShown = false;
    uint64_t FShownCount = 0, FAskedCount = 0;
    VelaFrame FFrame{};

    // The sound decoded and not yet pulled, shared with the device's refill thread.
    mutable std::mutex FPcmMutex;
    std::vector<uint8_t> FPcm;
    size_t FPcmAt = 0;  // bytes of FPcm already pulled

    std::mutex FCallbackMutex;
    VelaFrameProc FCallback = nullptr;
    void* FCallbackOwner = nullptr;

    std::thread FThread;
};
