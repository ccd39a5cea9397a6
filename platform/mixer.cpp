#include "platform/mixer.h"

#include "platform/cdaudio.h"

namespace platform {
namespace {

MixerControl Volume(uint32_t Id, int32_t Level) { return {Id, MixerControlVolume, 0, "Volume", {}, {Level, Level}}; }
MixerControl Mute(uint32_t Id) { return {Id, MixerControlMute, MixerUniform, "Mute", {}, {0}}; }

std::unique_ptr<SystemMixer>& Service() {
    static std::unique_ptr<SystemMixer> service;
    return service;
}

}  // namespace

SystemMixer::SystemMixer(std::vector<MixerDevice> Devices) : devices_(std::move(Devices)) {}

MixerHandle SystemMixer::Open(int32_t Index, TargetId Notify) {
    if (Index < 0 || Index >= DeviceCount()) return 0;
    MixerDevice& device = devices_[size_t(Index)];
    if (device.failOpens > 0) {
        --device.failOpens;
        return 0;
    }
    opened_.push_back({next_, {Index, Notify}});
    return next_++;
}

void SystemMixer::Close(MixerHandle Handle) {
    std::erase_if(opened_, [&](const auto& entry) { return entry.first == Handle; });
}

int32_t SystemMixer::IndexOf(MixerHandle Handle) const {
    for (const auto& [handle, open] : opened_)
        if (handle == Handle) return open.device;
    return -1;
}

const MixerDevice* SystemMixer::Device(MixerHandle Handle) const {
    const int32_t index = IndexOf(Handle);
    return index < 0 ? nullptr : &devices_[size_t(index)];
}

bool SystemMixer::SetValues(MixerHandle Handle, uint32_t ControlId, const std::vector<int32_t>& Values) {
    const int32_t index = IndexOf(Handle);
    if (index < 0) return false;
    MixerDevice* device = &devices_[size_t(index)];
    MixerControl* found = nullptr;
    bool cdLine = false;
    auto look = [&](MixerLine& line) {
        for (MixerControl& c : line.controls)
            if (c.id == ControlId) {
                found = &c;
                cdLine = line.componentType == MixerComponentCompactDisc;
            }
    };
    for (MixerDestination& d : device->destinations) {
        look(d.line);
        for (MixerLine& c : d.connections) look(c);
    }
    if (!found || found->values.size() != Values.size()) return false;
    if (found->values == Values) return true;
    found->values = Values;
    for (const auto& [handle, open] : opened_)
        if (open.device == index && open.notify) MainQueue().Post(open.notify, MixerControlChange, handle, ControlId);
    if (cdLine) CdAudioService().LineChanged();
    return true;
}

std::vector<MixerDevice> HostMixerLayout() {
    MixerDevice device;
    device.productName = "Vela Mixer";
    MixerDestination speakers{{0xFFFF0000, MixerComponentSpeakers, 2, "Speakers", {Volume(1, 65535), Mute(2)}}, {}};
    speakers.connections.push_back({0x00010000, MixerComponentCompactDisc, 2, "CD Audio", {Volume(3, 65535), Mute(4)}});
    device.destinations.push_back(std::move(speakers));
    return {device};
}

CdLineLevels SystemMixer::CdLine() const {
    CdLineLevels levels;
    for (const MixerDevice& device : devices_)
        for (const MixerDestination& destination : device.destinations)
            for (const MixerLine& line : destination.connections) {
                if (line.componentType != MixerComponentCompactDisc) continue;
                bool volume = false, mute = false;
                for (const MixerControl& c : line.controls) {
                    if (c.type == MixerControlVolume && !volume && !c.values.empty()) {
                        volume = true;
                        levels.left = c.values[0];
                        levels.right = c.values[c.values.size() > 1 ? 1 : 0];
                    } else if (c.type == MixerControlMute && !mute && !c.values.empty()) {
                        mute = true;
                        levels.mute = c.values[0] != 0;
                    }
                }
                return levels;
            }
    return levels;
}

SystemMixer& SystemMixerService() {
    if (!Service()) Service() = std::make_unique<SystemMixer>(HostMixerLayout());
    return *Service();
}

void SetSystemMixerService(std::unique_ptr<SystemMixer> S) { Service() = std::move(S); }

}  // namespace platform
