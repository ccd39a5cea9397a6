// The companion library's voices on the player's sound device.
#include "media/velasound.h"

#include <algorithm>
#include <climits>

// One voice of the library: a streamed voice whose stream is the library's pull.
struct VelaVoice : private platform::SoundStream {
    VelaVoice(std::shared_ptr<platform::SoundDevice> Device, const platform::PcmFormat& Format, VelaVoicePullProc Pull,
              void* Owner)
        : device(std::move(Device)), pullProc(Pull), owner(Owner), voice(device->createStream(Format, *this)) {}

    Pulled pull(uint8_t* Buffer, platform::Bytes Capacity) override {
        int32_t end = 0;
        const int32_t capacity = int32_t(std::min<int64_t>(Capacity.value, INT32_MAX));
        const int32_t got = pullProc(owner, Buffer, capacity, &end);
        return {platform::Bytes(std::clamp(got, 0, capacity)), end != 0};
    }

    std::shared_ptr<platform::SoundDevice> device;
    VelaVoicePullProc pullProc;
    void* owner;
    std::unique_ptr<platform::StreamVoice> voice;  // made last, so taken out of the mixer first
};

namespace {

VelaVoice* CreateVoice(const VelaSoundDevice* Device, uint32_t Rate, uint16_t Bits, uint16_t Channels,
                       VelaVoicePullProc Pull, void* Owner) {
    const platform::PcmFormat format{Rate, Bits, Channels};
    if (!Device || !Pull || !format.usable()) return nullptr;
    auto voice = std::make_unique<VelaVoice>(static_cast<const TVelaSoundDevice*>(Device)->Device(), format, Pull, Owner);
    return voice->voice ? voice.release() : nullptr;
}

void DestroyVoice(VelaVoice* Voice) { delete Voice; }

void Play(VelaVoice* Voice) {
    if (Voice) Voice->voice->play();
}

void Stop(VelaVoice* Voice) {
    if (Voice) Voice->voice->stop();
}

int32_t Ended(VelaVoice* Voice) { return Voice && Voice->voice->ended() ? -1 : 0; }

void SetVolume(VelaVoice* Voice, int32_t Value) {
    if (Voice) Voice->voice->setVolume(Value);
}

void SetPan(VelaVoice* Voice, int32_t Value) {
    if (Voice) Voice->voice->setPan(Value);
}

int64_t Played(VelaVoice* Voice) { return Voice ? Voice->voice->played().value : 0; }

}  // namespace

TVelaSoundDevice::TVelaSoundDevice(std::shared_ptr<platform::SoundDevice> Device)
    : VelaSoundDevice{CreateVoice, DestroyVoice, Play, Stop, Ended, SetVolume, SetPan, Played}, FDevice(std::move(Device)) {}
