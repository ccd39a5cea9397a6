#pragma once
// A sound of the Ogg or Windows Media family: a decoder played on a voice of the player's sound
// device, with volume, pan and repeat from a loop-back position. The player drives it from its
// main thread; the voice pulls the decoded PCM on the device's refill thread.
#include "companion/decoder.h"
#include "companion/vela_api.h"

#include <memory>
#include <mutex>
#include <vector>

class TSoundItem {
public:
    // nullptr without a sound device in the shared cell or a voice for the decoder's format.
    static std::unique_ptr<TSoundItem> Create(std::unique_ptr<TDecoder> Decoder, const VelaSoundDevice* Device);
    ~TSoundItem();
    TSoundItem(const TSoundItem&) = delete;
    TSoundItem& operator=(const TSoundItem&) = delete;

    // Play after the end starts again from the beginning.
    void Play();
    void Pause();
    bool IsPlaying() const;
    bool IsPaused() const { return FPaused; }
    bool IsEnd() const;
    int32_t GetLen() const;
    // The position heard, in ms.
    int32_t GetPosition();
    void SetPosition(int32_t Ms);
    int32_t GetVol() const { return FVolume; }
    void SetVol(int32_t Value);
    int32_t GetPan() const { return FPan; }
    void SetPan(int32_t Value);
    bool GetAutoRepeat() const;
    void SetAutoRepeat(bool Value);
    int32_t GetRepeatPos() const;
    void SetRepeatPos(int32_t Ms);

private:
    TSoundItem(std::unique_ptr<TDecoder> Decoder, const VelaSoundDevice* Device);
    static int32_t Pull(void* Owner, void* Buffer, int32_t Capacity, int32_t* End);
    // A new voice playing from Frame (the old one, and its queued PCM, let go).
    bool Restart(int64_t Frame);

    const VelaSoundDevice* FDevice;
    VelaVoice* FVoice = nullptr;
    bool FPlaying = false, FPaused = false;
    int32_t FVolume = 0, FPan = 0;

    // Shared with the pulls.
    mutable std::mutex FMutex;
    std::unique_ptr<TDecoder> FDecoder;
    bool FRepeat = false;
    int64_t FRepeatFrame = 0;
    int32_t FRepeatMs = 0;  // as set
    // Where the voice's frames came from: from the voice's frame First on, the decoder's frames
    // from Source on (a new entry at each loop back).
    struct TMark {
        int64_t first, source;
    };
    std::vector<TMark> FMarks;
    int64_t FPulled = 0;  // frames handed to the voice
};
