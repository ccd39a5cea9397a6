// The DirectSound component on the platform's sound device.
#include "media/dsound.h"

#include "core/sysutils.h"

#include <algorithm>
#include <cstring>

namespace {

std::string CannotCreate(const char* What) { return Format("%s を作成できません", What); }
std::string NotCreated(const char* What) { return Format("%s は作成されていません", What); }
std::string CannotLock(const char* What) { return Format("%s をロックできません", What); }

platform::PcmFormat PcmOf(const TWaveFormatEx& Format) {
    platform::PcmFormat pcm{Format.nSamplesPerSec, Format.wBitsPerSample, Format.nChannels};
    // Only linear PCM whose block holds one sample of each channel is played.
    if (Format.wFormatTag != WAVE_FORMAT_PCM || Format.nBlockAlign != pcm.frameBytes().value) return {0, 0, 0};
    return pcm;
}

}  // namespace

// ---- TDirectSound ----

TDirectSound::TDirectSound() : FIDSound(platform::OpenSoundDevice()) {
    SetResultCode(FIDSound ? DS_OK : DSERR_GENERIC);
    if (!FIDSound) throw EDirectSoundError(::Format("%s を初期化できません", "DirectSound"));
}

TDirectSound::~TDirectSound() {
    while (!FBufferList.empty()) delete FBufferList.back();
}

platform::SoundDevice& TDirectSound::IDSound() const {
    if (!FIDSound) throw EDirectSoundError(NotCreated("IDirectSound"));
    return *FIDSound;
}

void TDirectSound::Check() {
    if (ResultCode() != DSERR_BUFFERLOST || FInRestoreBuffer) return;
    FInRestoreBuffer = true;
    try {
        DoRestoreBuffer();
    } catch (...) {
        FInRestoreBuffer = false;
        throw;
    }
    FInRestoreBuffer = false;
}

// ---- TDirectSoundBuffer ----

TDirectSoundBuffer::TDirectSoundBuffer(TDirectSound& DSound) : FDSound(DSound) { FDSound.FBufferList.push_back(this); }

TDirectSoundBuffer::~TDirectSoundBuffer() { std::erase(FDSound.FBufferList, this); }

void TDirectSoundBuffer::Check() {
    if (ResultCode() == DSERR_BUFFERLOST) FDSound.SetResultCode(DSERR_BUFFERLOST);
}

bool TDirectSoundBuffer::CreateBuffer(const TDSBufferDesc& Desc) {
    platform::SoundDevice& device = FDSound.IDSound();
    if (Desc.dwFlags & DSBCAPS_PRIMARYBUFFER) {
        SetResultCode(DS_OK);
        Release();
        FPrimary = true;
        FCaps = {20, Desc.dwFlags, 0, 0, 0};
        TWaveFormatEx output;
        MakePCMWaveFormat(output, platform::OutputFormat.rate, platform::OutputFormat.bits, platform::OutputFormat.channels);
        FFormat = WaveFormatBytes(output);
        return true;
    }
    std::unique_ptr<platform::StaticVoice> voice;
    if (Desc.lpwfxFormat)
        voice = device.createStatic(PcmOf(*Desc.lpwfxFormat), platform::Bytes(Desc.dwBufferBytes));
    SetResultCode(voice ? DS_OK : Desc.lpwfxFormat ? DSERR_BADFORMAT : DSERR_INVALIDCALL);
    if (!voice) return false;
    Release();
    FVoice = std::move(voice);
    FCaps = {20, Desc.dwFlags, Desc.dwBufferBytes, 0, 0};
    FFormat = WaveFormatBytes(*Desc.lpwfxFormat);
    return true;
}

void TDirectSoundBuffer::CreateBuffer(const TWaveFormatEx& Format, int32_t Size) {
    TDSBufferDesc desc;
    desc.dwFlags = DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME | DSBCAPS_GETCURRENTPOSITION2;
    if (FDSound.StickyFocus)
        desc.dwFlags |= DSBCAPS_STICKYFOCUS;
    else if (FDSound.GlobalFocus)
        desc.dwFlags |= DSBCAPS_GLOBALFOCUS;
    desc.dwBufferBytes = uint32_t(std::max(Size, 0));
    desc.lpwfxFormat = &Format;
    if (!CreateBuffer(desc)) throw EDirectSoundBufferError(CannotCreate("サウンドバッファ"));
}

bool TDirectSoundBuffer::SetFormat(const TWaveFormatEx& Format) {
    const bool accepted = FPrimary && PcmOf(Format).usable();
    SetResultCode(accepted ? DS_OK : FPrimary ? DSERR_BADFORMAT : DSERR_INVALIDCALL);
    // The format read back is what the device plays, already stored.
    return accepted;
}

void TDirectSoundBuffer::LoadFromWave(const TWave& Wave) {
    CreateBuffer(Wave.FormatEx(), int32_t(Wave.Size()));
    void *data1, *data2;
    int32_t size1, size2;
    if (!Lock(0, 0, data1, size1, data2, size2)) throw EDirectSoundBufferError(CannotLock("サウンドバッファ"));
    std::memcpy(data1, Wave.Data(), size_t(size1));
    if (data2) std::memcpy(data2, Wave.Data() + size1, size_t(size2));
    Unlock();
}

void TDirectSoundBuffer::Assign(const TWave* Wave) {
    if (Wave)
        LoadFromWave(*Wave);
    else
        Release();
}

void TDirectSoundBuffer::Assign(const TDirectSoundBuffer* Source) {
    if (!Source || !Source->FVoice) {
        Release();
        return;
    }
    // The copy plays the same bytes with its own controls.
    std::unique_ptr<platform::StaticVoice> voice = FDSound.IDSound().duplicate(*Source->FVoice);
    SetResultCode(DS_OK);
    Release();
    FVoice = std::move(voice);
    FCaps = Source->FCaps;
    FFormat = Source->FFormat;
}

void TDirectSoundBuffer::Release() {
    FVoice.reset();
    FPrimary = false;
    FLocked = false;
    FCaps = TDSBCaps{};
    FFormat.clear();
}

platform::StaticVoice& TDirectSoundBuffer::IBuffer() const {
    if (!FVoice) throw EDirectSoundBufferError(NotCreated("IDirectSoundBuffer"));
    return *FVoice;
}

bool TDirectSoundBuffer::Lock(int32_t Offset, int32_t Size, void*& Data1, int32_t& Size1, void*& Data2, int32_t& Size2) {
    Data1 = Data2 = nullptr;
    Size1 = Size2 = 0;
    if (FLocked) return false;
    const platform::LockedRegion region = IBuffer().lock(platform::Bytes(Offset), platform::Bytes(Size));
    SetResultCode(region.locked() ? DS_OK : DSERR_INVALIDCALL);
    if (!region.locked()) throw EDirectSoundBufferError(CannotLock("サウンドバッファ"));
    FLocked = true;
    Data1 = region.first;
    Size1 = int32_t(region.firstSize.value);
    Data2 = region.second;
    Size2 = int32_t(region.secondSize.value);
    return true;
}

void TDirectSoundBuffer::Unlock() {
    if (!FLocked) return;
    FLocked = false;
    IBuffer().unlock();
    SetResultCode(DS_OK);
}

void TDirectSoundBuffer::Play(bool Loop) {
    if (FVoice) FVoice->play(Loop);
}
void TDirectSoundBuffer::Stop() {
    if (FVoice) FVoice->stop();
}
bool TDirectSoundBuffer::Playing() const { return FVoice && FVoice->playing(); }
int32_t TDirectSoundBuffer::GetVolume() const { return FVoice ? FVoice->volume() : 0; }
void TDirectSoundBuffer::SetVolume(int32_t Value) { IBuffer().setVolume(Value); }
int32_t TDirectSoundBuffer::GetPan() const { return FVoice ? FVoice->pan() : 0; }
void TDirectSoundBuffer::SetPan(int32_t Value) { IBuffer().setPan(Value); }
uint32_t TDirectSoundBuffer::GetFrequency() const { return FVoice ? FVoice->frequency() : 0; }
void TDirectSoundBuffer::SetFrequency(uint32_t Value) { IBuffer().setFrequency(Value); }
int32_t TDirectSoundBuffer::GetPosition() const { return FVoice ? int32_t(FVoice->position().value) : 0; }
void TDirectSoundBuffer::SetPosition(int32_t Value) { IBuffer().setPosition(platform::Bytes(Value)); }

// ---- TSoundDevice ----

void TSoundDeviceDirectSound::DoRestoreBuffer() { FOwner.Restore(); }

TCustomSoundDevice::~TCustomSoundDevice() { Finalize(); }

void TCustomSoundDevice::Initialize() {
    Finalize();
    if (!FForm) throw ESoundDeviceError("フォームが見つかりません");
    Notify(dsnInitializing);
    if (OnInitializing) OnInitializing(*this);
    try {
        FDSound = std::make_unique<TSoundDeviceDirectSound>(*this);
        FDSound->GlobalFocus = FOptions & soGlobalFocus;
        FDSound->StickyFocus = FOptions & soStickyFocus;
        FPrimary = std::make_unique<TDirectSoundBuffer>(*FDSound);
        TDSBufferDesc desc;
        desc.dwFlags = DSBCAPS_PRIMARYBUFFER | DSBCAPS_LOCSOFTWARE;
        if (!FPrimary->CreateBuffer(desc)) throw ESoundDeviceError(CannotCreate("プライマリバッファ"));
    } catch (...) {
        FPrimary.reset();
        FDSound.reset();
        throw;
    }
    // Our windows are never made again under the component, so the binding made here holds;
    // the filter passes every event on.
    FSubClass = std::make_unique<TControlSubClass>(
        *FForm, [](void*, const platform::InputEvent& Message, const TWindowControl::TWindowProc& DefaultProc) {
            if (DefaultProc) DefaultProc(Message);
        },
        this);
    FCooperativeLevel = FOptions & soExclusive ? 3 : 1;
    FInitialized = true;
    Notify(dsnInitialize);
    if (OnInitialize) OnInitialize(*this);
    Restore();
}

void TCustomSoundDevice::Finalize() {
    if (!FInitialized) return;
    FInitialized = false;
    FSubClass.reset();
    if (OnFinalize) OnFinalize(*this);
    Notify(dsnFinalize);
    FPrimary.reset();
    FDSound.reset();
}

void TCustomSoundDevice::Restore() {
    if (!FInitialized) return;
    Notify(dsnRestore);
    if (OnRestore) OnRestore(*this);
}

void TCustomSoundDevice::SetOptions(uint8_t Value) {
    FOptions = Value;
    if (FDSound) {
        FDSound->GlobalFocus = Value & soGlobalFocus;
        FDSound->StickyFocus = Value & soStickyFocus;
    }
}

int32_t TCustomSoundDevice::RegisterNotifyEvent(TNotifyHandler Handler) {
    FNotifyHandlers.emplace_back(FNextHandler, std::move(Handler));
    return FNextHandler++;
}

void TCustomSoundDevice::UnRegisterNotifyEvent(int32_t Id) {
    std::erase_if(FNotifyHandlers, [Id](const auto& Entry) { return Entry.first == Id; });
}

void TCustomSoundDevice::Notify(int32_t Code) {
    // A listener may take itself off while it is told.
    const auto handlers = FNotifyHandlers;
    for (const auto& entry : handlers) entry.second(*this, Code);
}
