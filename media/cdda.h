#pragma once
// A track of an audio CD, played by its manager's CD player while it is the manager's current
// item. The track number is what follows "CD_" in its name (-1 when that is no number). A CD
// that is not there (no drive, no audio disc, a failing drive) leaves the item silent: it never
// plays, its position is 0 and nothing is raised.
#include "media/mediaman.h"

#include <string>

class TCddaItem : public TDMediaItem {
public:
    TCddaItem(TCddaManager* Manager, const std::string& Name);
    // The current item stops and closes the player.
    ~TCddaItem() override;

    // The track from its start, or from the second a pause kept; only marks the item while the
    // manager is switched off.
    void Play() override;
    // Keeps the second before the one playing, to go on from there.
    void Pause() override;
    bool IsPaused() override { return FPaused; }
    bool IsPlaying() override;
    // Current and stopped.
    bool IsEnd() override;
    // The track's length in ms, asked of the disc once (opening the drive if need be).
    int32_t GetLen() override;
    int32_t GetPosition() override;
    // Plays on from that second, or keeps it for the next Play while paused or not current.
    void SetPosition(int32_t Ms) override;
    bool GetAutoRepeat() override { return FAutoRepeat; }
    void SetAutoRepeat(bool Value) override;
    int32_t GetVol() override { return FVolume; }
    // Sets the CD line to the share of its kept levels the volume stands for: 0 the kept levels,
    // -5000 and below nothing.
    void SetVol(int32_t Value) override;

    const std::string Name;
    // -1 for no track.
    const int32_t TrackNo;

private:
    TCddaManager& CddaManager() const { return *static_cast<TCddaManager*>(Manager); }
    // Current, with the drive open.
    bool OnDevice() const;
    // Makes the item current: the drive opened if need be and the play list set to its track.
    void Select();

    int32_t FResume = 0;  // seconds
    bool FPaused = false;
    int32_t FVolume = 0;
    int32_t FLength = 0;
    bool FAutoRepeat = false;
};
