#pragma once
// Audio CD drives: which drives there are, and one device per opened drive that reports its
// disc (track count and lengths, the position, the mode, whether a disc is in), plays a range
// of it, seeks and stops. Every command answers a result code, 0 for success. A played range
// that reaches its end posts CdNotifyMessage with CdNotifySuccessful to the target given at
// open; a range cut short by another play or a stop gets CdNotifyAborted.
//
// Positions are track, minutes, seconds and frames (75 a second) packed into 32 bits, the track
// in the low byte (TMSF); a track's length comes back as minutes, seconds and frames from the low
// byte up (MSF).
//
// The host backend reads the system's CD drives and a disc image (a .cue with its .bin, a .toc
// or a .nrg) named by the environment variable VELA_CDROM, listed first and answered as the
// drive setting of every title. Playing reads the disc's sectors on a thread of its own into a
// streamed voice of the program's sound device, at the levels of the system mixer's CD line.
// The headless backend simulates drives for the tests: discs put in and taken out, track lengths,
// a position that moves on the test's clock, a drive setting, and drives that fail.
#include "platform/msgqueue.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

using CdDeviceId = uint16_t;

// The end of a played range, posted to the opener's target: wParam one of the codes below,
// lParam the device id.
inline constexpr uint32_t CdNotifyMessage = 0x3B9;
inline constexpr uintptr_t CdNotifySuccessful = 1;
inline constexpr uintptr_t CdNotifyAborted = 4;

// Result codes besides 0.
inline constexpr uint32_t CdErrorNoDevice = 257;
inline constexpr uint32_t CdErrorHardware = 262;
inline constexpr uint32_t CdErrorNotReady = 276;
inline constexpr uint32_t CdErrorOutOfRange = 282;

enum class CdMode { NotReady, Stopped, Playing, Recording, Seeking, Paused, DoorOpen };

inline constexpr uint32_t CdFramesPerSecond = 75;

inline constexpr uint32_t Tmsf(uint32_t track, uint32_t minutes, uint32_t seconds, uint32_t frames) {
    return (track & 0xFF) | (minutes & 0xFF) << 8 | (seconds & 0xFF) << 16 | (frames & 0xFF) << 24;
}
inline constexpr uint32_t TmsfTrack(uint32_t tmsf) { return tmsf & 0xFF; }
inline constexpr uint32_t TmsfMinutes(uint32_t tmsf) { return tmsf >> 8 & 0xFF; }
inline constexpr uint32_t TmsfSeconds(uint32_t tmsf) { return tmsf >> 16 & 0xFF; }
inline constexpr uint32_t TmsfFrames(uint32_t tmsf) { return tmsf >> 24; }
inline constexpr uint32_t MsfMinutes(uint32_t msf) { return msf & 0xFF; }
inline constexpr uint32_t MsfSeconds(uint32_t msf) { return msf >> 8 & 0xFF; }

// A disc as both backends lay it out: its tracks' lengths in frames, one after the other from
// frame 0. The frame of a TMSF point (nothing outside the disc), the TMSF point of a frame, and
// a length in frames as MSF.
std::optional<uint32_t> CdFrameOf(const std::vector<uint32_t>& Tracks, uint32_t Point);
uint32_t CdPointOf(const std::vector<uint32_t>& Tracks, uint32_t Frame);
uint32_t CdMsfOf(uint32_t Frames);

class CdAudio {
public:
    virtual ~CdAudio() = default;
    // The CD drives, each as its letter and a colon ("D:"), in drive order.
    virtual std::vector<std::string> Drives() = 0;
    // Opens the drive named as Drives lists it; the ends of played ranges go to Notify.
    virtual uint32_t Open(const std::string& Drive, TargetId Notify, CdDeviceId& Id) = 0;
    // Stops what plays (no notification) and forgets the device.
    virtual uint32_t Close(CdDeviceId Id) = 0;
    virtual uint32_t Mode(CdDeviceId Id, CdMode& Mode) = 0;
    virtual uint32_t MediaPresent(CdDeviceId Id, bool& Present) = 0;
    virtual uint32_t TrackCount(CdDeviceId Id, uint32_t& Count) = 0;
    // The length of track N (1..count) as MSF.
    virtual uint32_t TrackLength(CdDeviceId Id, uint32_t N, uint32_t& Msf) = 0;
    // Where the drive is, as TMSF.
    virtual uint32_t Position(CdDeviceId Id, uint32_t& Tmsf) = 0;
    // Plays from From (0: from where the drive is) to To, both TMSF.
    virtual uint32_t Play(CdDeviceId Id, uint32_t From, uint32_t To) = 0;
    virtual uint32_t Seek(CdDeviceId Id, uint32_t To) = 0;
    virtual uint32_t Stop(CdDeviceId Id) = 0;
    // The drive a title asks for, kept under its registry name ("" when none is kept).
    virtual std::string DriveSetting(const std::string& RegistryName) = 0;
    // The system mixer's CD line changed: what plays follows its levels from now on.
    virtual void LineChanged() {}
};

// The simulated drives of the tests.
class HeadlessCdAudio : public CdAudio {
public:
    // A drive without a disc.
    void AddDrive(const std::string& Drive);
    // A disc of tracks of these lengths (ms) goes into the drive, at the start of track 1.
    void InsertDisc(const std::string& Drive, const std::vector<uint32_t>& TrackMs);
    // What played stops, without a notification.
    void EjectDisc(const std::string& Drive);
    // Every command on the drive fails from now on (or works again).
    void SetFailing(const std::string& Drive, bool Failing);
    // The drive reports this mode whatever it does (nothing: its own).
    void SetReportedMode(const std::string& Drive, std::optional<CdMode> Mode);
    void SetDriveSetting(const std::string& RegistryName, const std::string& Value);
    // The test's clock moved on: playing drives move on; a range that reaches its end notifies.
    void Advance(uint32_t Ms);
    // Every drive opened, in order.
    std::vector<std::string> Opened;

    std::vector<std::string> Drives() override;
    uint32_t Open(const std::string& Drive, TargetId Notify, CdDeviceId& Id) override;
    uint32_t Close(CdDeviceId Id) override;
    uint32_t Mode(CdDeviceId Id, CdMode& Mode) override;
    uint32_t MediaPresent(CdDeviceId Id, bool& Present) override;
    uint32_t TrackCount(CdDeviceId Id, uint32_t& Count) override;
    uint32_t TrackLength(CdDeviceId Id, uint32_t N, uint32_t& Msf) override;
    uint32_t Position(CdDeviceId Id, uint32_t& Tmsf) override;
    uint32_t Play(CdDeviceId Id, uint32_t From, uint32_t To) override;
    uint32_t Seek(CdDeviceId Id, uint32_t To) override;
    uint32_t Stop(CdDeviceId Id) override;
    std::string DriveSetting(const std::string& RegistryName) override;

private:
    struct Drive {
        std::string name;
        std::vector<uint32_t> tracks;  // lengths in frames; empty: no disc
        bool failing = false;
        std::optional<CdMode> reported;
        uint32_t at = 0;  // frames from the start of the disc
        bool playing = false;
        uint32_t end = 0;
        uint32_t frameRest = 0;  // ms x 75 advanced and not yet a whole frame
        TargetId notify = 0;
        CdDeviceId device = 0;
    };
    Drive* Find(const std::string& Name);
    // The drive of an open device that answers commands, or nothing with the result code.
    Drive* Ready(CdDeviceId Id, uint32_t& Result);
    void EndPlay(Drive& D, uintptr_t Code);

    std::vector<Drive> drives_;
    std::map<std::string, std::string> settings_;
    CdDeviceId nextDevice_ = 1;
};

// The service the player uses: the host's unless a test put another in place.
CdAudio& CdAudioService();
// Nothing puts the host's back.
void SetCdAudioService(std::unique_ptr<CdAudio> Service);

}  // namespace platform
