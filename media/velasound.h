#pragma once
// The sound device the companion library plays through: the player's one sound device behind
// the C entries of VelaSoundDevice, each of the library's voices a streamed voice of the device
// that pulls its PCM from the library.
#include "companion/vela_api.h"
#include "platform/sound.h"

#include <memory>

class TVelaSoundDevice : public VelaSoundDevice {
public:
    explicit TVelaSoundDevice(std::shared_ptr<platform::SoundDevice> Device);
    TVelaSoundDevice(const TVelaSoundDevice&) = delete;
    TVelaSoundDevice& operator=(const TVelaSoundDevice&) = delete;
    // What the shared DirectSound cell holds.
    void* Cell() { return static_cast<VelaSoundDevice*>(this); }
    const std::shared_ptr<platform::SoundDevice>& Device() const { return FDevice; }

private:
    // Each voice also holds the device, so a voice the library still has keeps it open.
    std::shared_ptr<platform::SoundDevice> FDevice;
};
