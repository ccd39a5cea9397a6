#pragma once
// The system mixer: devices, each with destination lines (what sound goes out to), each
// destination with the source lines connected to it, and on every line its controls (volume,
// mute, a mixer or a multiplexer choosing among the connections). All of it is kept in memory.
// The host has one device: a speakers destination with volume and mute, and a CD-audio
// connection whose volume and mute are what the CD output follows (the level of the CD's voice on
// the program's sound device). Tests lay out others.
//
// A control's values: one per channel (one only for a uniform control), and for a control of
// several items (a mixer or a multiplexer) one per item on each channel, item by item. A change
// of values posts MixerControlChange (wParam the handle, lParam the control id) to the target
// of every handle opened on that device with a target.
#include "platform/msgqueue.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

inline constexpr uint32_t MixerLineChange = 0x3D0;
inline constexpr uint32_t MixerControlChange = 0x3D1;

inline constexpr uint32_t MixerComponentSpeakers = 0x0004;
inline constexpr uint32_t MixerComponentWaveIn = 0x0007;
inline constexpr uint32_t MixerComponentCompactDisc = 0x1005;

inline constexpr uint32_t MixerControlVolume = 0x50030001;
inline constexpr uint32_t MixerControlMute = 0x20010002;
inline constexpr uint32_t MixerControlMixer = 0x71010001;
inline constexpr uint32_t MixerControlMux = 0x70010001;
inline constexpr uint32_t MixerClassMask = 0xF0000000;
inline constexpr uint32_t MixerClassList = 0x70000000;

inline constexpr uint32_t MixerUniform = 0x1;
inline constexpr uint32_t MixerMultiple = 0x2;
inline constexpr uint32_t MixerDisabled = 0x80000000;

struct MixerControl {
    uint32_t id = 0;
    uint32_t type = 0;
    uint32_t flags = 0;
    std::string name;
    // A multiple control: the line id of each item.
    std::vector<uint32_t> itemLines;
    std::vector<int32_t> values;
};

struct MixerLine {
    uint32_t id = 0;
    uint32_t componentType = 0;
    uint32_t channels = 2;
    std::string name;
    std::vector<MixerControl> controls;
};

struct MixerDestination {
    MixerLine line;
    std::vector<MixerLine> connections;
};

struct MixerDevice {
    uint16_t manufacturerId = 0, productId = 0;
    uint32_t driverVersion = 0;
    std::string productName;
    std::vector<MixerDestination> destinations;
    // Opens that fail before one succeeds.
    int32_t failOpens = 0;
};

using MixerHandle = uint32_t;

// The volume (0..65535 a side) and mute of a CD-audio line.
struct CdLineLevels {
    int32_t left = 65535, right = 65535;
    bool mute = false;
};

class SystemMixer {
public:
    explicit SystemMixer(std::vector<MixerDevice> Devices);
    int32_t DeviceCount() const { return int32_t(devices_.size()); }
    // A handle (0 when the device is not there or fails to open); Notify may be 0.
    MixerHandle Open(int32_t Device, TargetId Notify);
    void Close(MixerHandle Handle);
    // The device of an open handle: capabilities, lines and controls with their values.
    const MixerDevice* Device(MixerHandle Handle) const;
    // False for a handle or control that is not there, or values of the wrong count.
    bool SetValues(MixerHandle Handle, uint32_t ControlId, const std::vector<int32_t>& Values);
    // What the CD output follows: the levels of the first CD-audio connection of the devices;
    // full and unmuted when there is none. A change of them tells the CD audio service.
    CdLineLevels CdLine() const;

private:
    // The device a handle was opened on; -1 for none.
    int32_t IndexOf(MixerHandle Handle) const;
    struct Opened {
        int32_t device;
        TargetId notify;
    };
    std::vector<MixerDevice> devices_;
    std::vector<std::pair<MixerHandle, Opened>> opened_;
    MixerHandle next_ = 1;
};

// The host's layout.
std::vector<MixerDevice> HostMixerLayout();

// The mixer the player uses: the host's layout unless a test put another in place.
SystemMixer& SystemMixerService();
// Nothing puts a fresh host mixer back.
void SetSystemMixerService(std::unique_ptr<SystemMixer> Service);

}  // namespace platform
