#pragma once
// The MIDI media item: a ".mid" or ".sgt" song of a scene's sound object. All items share the
// MIDI manager's one sequencer, so only the current item is loaded and plays; the others keep
// their resume position and volume until they are played.
#include "media/mediaman.h"

#include <cstdint>
#include <string>

class TMemoryStream;

class TMidiItem : public TDMediaItem {
public:
    TMidiItem(TMidiManager* Manager, const std::string& FileName);
    // The current item stops and closes the sequencer.
    ~TMidiItem() override;

    // The sequencer's repeat flag while current; otherwise false, and a value set is not kept.
    bool GetAutoRepeat() override;
    void SetAutoRepeat(bool Value) override;
    int32_t GetVol() override { return FVolume; }
    // Stores the volume; while current, channel volume Value div 100 + 100 percent on every channel.
    void SetVol(int32_t Value) override;
    // The sequencer's position while current, else 0.
    int32_t GetPosition() override;
    // While current and not paused, plays from there; otherwise only the resume position moves.
    void SetPosition(int32_t Value) override;
    // The song's length in ms, read once (0 for an empty or missing file).
    int32_t GetLen() override;
    bool IsEnd() override;
    bool IsPlaying() override;
    bool IsPaused() override { return FPaused; }
    // While the manager is switched off only marks the item for its Resume. Otherwise loads the
    // item when it is not current, opens the device, sends the GM reset and plays from the
    // resume position (unless the program is ending).
    void Play() override;
    // While current, keeps the position and stops.
    void Pause() override;

private:
    TMidiManager& Midi() const { return *static_cast<TMidiManager*>(Manager); }
    // The sequencer is usable and holds this item.
    bool Current() const;
    // The whole file; false when it is missing or empty.
    bool ReadSong(TMemoryStream& Song) const;
    // Makes the item current: the sequencer stops and loads the song (none for an empty or
    // missing file, so nothing plays).
    void Load();

    std::string FFileName;
    int32_t FResumePos = 0;
    bool FPaused = false;
    int32_t FVolume = 0;
    int32_t FLength = 0;  // 0 until known
};
