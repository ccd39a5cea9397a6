#pragma once
// One device of the system mixer, opened with a target of its own for the device's change
// notifications: its capabilities, its destination lines with their connections and controls,
// and the volume and mute of any line, read and set.
#include "platform/mixer.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TAudioMixer {
public:
    // Opens device 0 when there is one.
    TAudioMixer();
    ~TAudioMixer();
    TAudioMixer(const TAudioMixer&) = delete;
    TAudioMixer& operator=(const TAudioMixer&) = delete;

    int32_t DeviceCount() const;
    // -1 when no device is open.
    int32_t GetMixerId() const { return FMixerId; }
    // Opens device Value (0 <= Value < DeviceCount) in place of the open one, with the target
    // for its notifications (tried twice), else without; -1 when every try fails.
    void SetMixerId(int32_t Value);
    // The open device's destinations; none when no device is open.
    const std::vector<platform::MixerDestination>& Destinations() const;

    // The volume of a destination's line (Connection -1) or of one of its connections: left,
    // right and mute -1 when the line has no such control; mute from the destination's list
    // control (a multiplexer's selection) when the connection has no mute of its own, then
    // IsSelect. False when there is no such line.
    bool GetVolume(int32_t Destination, int32_t Connection, int32_t& Left, int32_t& Right, int32_t& Mute,
                   bool& Stereo, bool& VolumeDisabled, bool& MuteDisabled, bool& IsSelect) const;
    // Left -1 leaves the volume, Right -1 takes Left, Mute -1 leaves the mute. A connection
    // without a mute of its own is muted through the destination's mixer or multiplexer entry
    // (a multiplexer's other entries cleared first). False when there is no such line.
    bool SetVolume(int32_t Destination, int32_t Connection, int32_t Left, int32_t Right, int32_t Mute);

    uint32_t DriverVersion = 0;
    uint16_t ProductId = 0;
    int32_t NumberOfLine = 0;
    std::string Manufacturer, ProductName;
    // (mixer handle, line id) and (mixer handle, control id).
    std::function<void(platform::MixerHandle, uint32_t)> OnLineChange, OnControlChange;
    const platform::TargetId Window;

private:
    void CloseMixer();
    const platform::MixerLine* Line(int32_t Destination, int32_t Connection) const;

    int32_t FMixerId = -1;
    platform::MixerHandle FHandle = 0;
};
