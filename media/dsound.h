#pragma once
// The DirectSound component: the device (TDirectSound, which opens the platform's sound
// device), its buffers (TDirectSoundBuffer: the primary buffer, which sets the output format,
// and secondary buffers on static voices), and TSoundDevice, the component of the main window
// that starts and stops them and tells its listeners.
#include "media/dxwrapper.h"
#include "media/wave.h"
#include "platform/sound.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class EDirectSoundError : public EDxWrapperError {
public:
    using EDxWrapperError::EDxWrapperError;
};
class EDirectSoundBufferError : public EDxWrapperError {
public:
    using EDxWrapperError::EDxWrapperError;
};
class ESoundDeviceError : public EDxWrapperError {
public:
    using EDxWrapperError::EDxWrapperError;
};

// Result codes the wrappers keep.
inline constexpr int32_t DS_OK = 0;
inline constexpr int32_t DSERR_GENERIC = int32_t(0x80004005);
inline constexpr int32_t DSERR_INVALIDCALL = int32_t(0x88780032);
inline constexpr int32_t DSERR_BADFORMAT = int32_t(0x88780064);
inline constexpr int32_t DSERR_BUFFERLOST = int32_t(0x88780096);

// Buffer flags.
inline constexpr uint32_t DSBCAPS_PRIMARYBUFFER = 0x1;
inline constexpr uint32_t DSBCAPS_LOCSOFTWARE = 0x8;
inline constexpr uint32_t DSBCAPS_CTRLFREQUENCY = 0x20;
inline constexpr uint32_t DSBCAPS_CTRLPAN = 0x40;
inline constexpr uint32_t DSBCAPS_CTRLVOLUME = 0x80;
inline constexpr uint32_t DSBCAPS_STICKYFOCUS = 0x4000;
inline constexpr uint32_t DSBCAPS_GLOBALFOCUS = 0x8000;
inline constexpr uint32_t DSBCAPS_GETCURRENTPOSITION2 = 0x10000;

// What a buffer is made from.
struct TDSBufferDesc {
    uint32_t dwSize = 20;
    uint32_t dwFlags = 0;
    uint32_t dwBufferBytes = 0;
    const TWaveFormatEx* lpwfxFormat = nullptr;
};
// A buffer's capabilities.
struct TDSBCaps {
    uint32_t dwSize = 20;
    uint32_t dwFlags = 0;
    uint32_t dwBufferBytes = 0;
    uint32_t dwUnlockTransferRate = 0;
    uint32_t dwPlayCpuOverhead = 0;
};

class TDirectSoundBuffer;

class TDirectSound : public TDxWrapper {
public:
    // Opens the platform's sound device; raises "DirectSound を初期化できません" when there is none.
    TDirectSound();
    // Frees its buffers, the last made first.
    ~TDirectSound() override;
    TDirectSound(const TDirectSound&) = delete;
    TDirectSound& operator=(const TDirectSound&) = delete;

    platform::SoundDevice* GetIDSound() const { return FIDSound.get(); }
    // The device; raises "IDirectSound は作成されていません" when there is none.
    platform::SoundDevice& IDSound() const;
    // The device, shared (the sound items hand it on).
    const std::shared_ptr<platform::SoundDevice>& SharedDevice() const { return FIDSound; }

    const std::vector<TDirectSoundBuffer*>& BufferList() const { return FBufferList; }
    bool GlobalFocus = false, StickyFocus = false;

protected:
    // A lost buffer was reported: restore once (a restore that loses buffers again is not
    // restarted).
    void Check() override;
    virtual void DoRestoreBuffer() {}

private:
    friend class TDirectSoundBuffer;
    std::shared_ptr<platform::SoundDevice> FIDSound;
    std::vector<TDirectSoundBuffer*> FBufferList;
    bool FInRestoreBuffer = false;
};

class TDirectSoundBuffer : public TDxWrapper {
public:
    // Joins the device's buffer list, with no buffer yet.
    explicit TDirectSoundBuffer(TDirectSound& DSound);
    ~TDirectSoundBuffer() override;
    TDirectSoundBuffer(const TDirectSoundBuffer&) = delete;
    TDirectSoundBuffer& operator=(const TDirectSoundBuffer&) = delete;

    // Makes the buffer Desc describes (the primary buffer with DSBCAPS_PRIMARYBUFFER); false
    // when the device refuses, the old buffer then kept.
    bool CreateBuffer(const TDSBufferDesc& Desc);
    // A secondary buffer of Size bytes in Format with volume, pan and frequency control;
    // raises "サウンドバッファ を作成できません".
    void CreateBuffer(const TWaveFormatEx& Format, int32_t Size);
    // The primary buffer takes any PCM format and plays it as the device's output format,
    // which the stored format then reads back as; a secondary buffer's format is fixed.
    bool SetFormat(const TWaveFormatEx& Format);
    // A buffer of the wave's format and size holding its data.
    void LoadFromWave(const TWave& Wave);
    // Nothing releases the buffer; a wave loads it; another buffer is duplicated.
    void Assign(const TWave* Wave);
    void Assign(const TDirectSoundBuffer* Source);
    void Release();

    // Locks Size bytes from Offset (wrapping; 0 = the whole buffer). Only one lock may be open:
    // a second one answers false. A buffer that cannot be locked raises
    // "サウンドバッファ をロックできません".
    bool Lock(int32_t Offset, int32_t Size, void*& Data1, int32_t& Size1, void*& Data2, int32_t& Size2);
    void Unlock();

    void Play(bool Loop = false);
    void Stop();
    bool Playing() const;
    int32_t GetVolume() const;
    void SetVolume(int32_t Value);
    int32_t GetPan() const;
    void SetPan(int32_t Value);
    uint32_t GetFrequency() const;
    void SetFrequency(uint32_t Value);
    int32_t GetPosition() const;
    void SetPosition(int32_t Value);

    TDirectSound& DSound() const { return FDSound; }
    // The voice; raises "IDirectSoundBuffer は作成されていません" when there is none.
    platform::StaticVoice& IBuffer() const;
    bool Created() const { return FVoice || FPrimary; }
    const TDSBCaps& Caps() const { return FCaps; }
    const std::vector<uint8_t>& Format() const { return FFormat; }
    int32_t FormatSize() const { return int32_t(FFormat.size()); }

protected:
    void Check() override;

private:
    TDirectSound& FDSound;
    std::unique_ptr<platform::StaticVoice> FVoice;
    bool FPrimary = false;
    TDSBCaps FCaps;
    std::vector<uint8_t> FFormat;
    bool FLocked = false;  // the lock stack of one entry
};

enum TSoundDeviceOption : uint8_t { soGlobalFocus = 1, soStickyFocus = 2, soExclusive = 4 };

// What the component tells its listeners.
enum : int32_t { dsnInitializing = 1, dsnInitialize = 2, dsnFinalize = 3, dsnRestore = 4 };

class TCustomSoundDevice;

// The device object of the component: a restore it needs reaches the component.
class TSoundDeviceDirectSound : public TDirectSound {
public:
    explicit TSoundDeviceDirectSound(TCustomSoundDevice& Owner) : FOwner(Owner) {}

protected:
    void DoRestoreBuffer() override;

private:
    TCustomSoundDevice& FOwner;
};

class TCustomSoundDevice {
public:
    using TNotify = std::function<void(TCustomSoundDevice& Sender)>;
    using TNotifyHandler = std::function<void(TCustomSoundDevice& Sender, int32_t Code)>;

    // Form is the window the component lives on (nullptr: it has none).
    explicit TCustomSoundDevice(TWindowControl* Form) : FForm(Form) {}
    virtual ~TCustomSoundDevice();
    TCustomSoundDevice(const TCustomSoundDevice&) = delete;
    TCustomSoundDevice& operator=(const TCustomSoundDevice&) = delete;

    // Starts the device and its primary buffer on the form (again when started); raises
    // "フォームが見つかりません" without a form.
    void Initialize();
    void Finalize();
    // Tells the listeners that buffers must be filled again.
    void Restore();
    bool Initialized() const { return FInitialized; }

    uint8_t GetOptions() const { return FOptions; }
    // The focus options reach a started device at once; soExclusive keeps its value until the
    // next Initialize.
    void SetOptions(uint8_t Value);
    // The cooperative level set at the last Initialize: 3 exclusive, 1 normal.
    int32_t CooperativeLevel() const { return FCooperativeLevel; }

    TSoundDeviceDirectSound* GetDSound() const { return FDSound.get(); }
    TDirectSoundBuffer* GetPrimary() const { return FPrimary.get(); }

    // Listeners told dsnInitializing, dsnInitialize, dsnFinalize and dsnRestore; the number
    // answered takes the listener off again.
    int32_t RegisterNotifyEvent(TNotifyHandler Handler);
    void UnRegisterNotifyEvent(int32_t Id);

    TNotify OnInitializing, OnInitialize, OnFinalize, OnRestore;

private:
    void Notify(int32_t Code);
    TWindowControl* FForm;
    uint8_t FOptions = 0;
    int32_t FCooperativeLevel = 0;
    bool FInitialized = false;
    std::unique_ptr<TSoundDeviceDirectSound> FDSound;
    std::unique_ptr<TDirectSoundBuffer> FPrimary;
    std::unique_ptr<TControlSubClass> FSubClass;
    std::vector<std::pair<int32_t, TNotifyHandler>> FNotifyHandlers;
    int32_t FNextHandler = 1;
};

class TSoundDevice : public TCustomSoundDevice {
public:
    using TCustomSoundDevice::TCustomSoundDevice;
};
