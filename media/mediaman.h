#pragma once
// Media items and their managers. A scene object's sound or video is an item of one of the
// kinds derived from TDMediaItem, owned by the manager of its kind; the object drives it only
// through the virtual operations below and hands it back with Remove. The managers pause all
// media while the application is inactive (Suspend, Resume), let the script switch sound off
// and on (SetEnabled), and have the companion library rebuild its buffers after the sound
// device was lost (Restore).
//
// Times are milliseconds; volume is in DirectSound units (1/100 dB, 0 = full, -10000 = silent);
// pan runs from -10000 (left) to 10000 (right).
#include "core/header.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TMediaManager;

class TDMediaItem {
public:
    explicit TDMediaItem(TMediaManager* AManager) : Manager(AManager) {}
    virtual ~TDMediaItem() = default;
    TDMediaItem(const TDMediaItem&) = delete;
    TDMediaItem& operator=(const TDMediaItem&) = delete;

    // What a kind does not support answers these.
    virtual bool GetAutoRepeat() { return false; }
    virtual void SetAutoRepeat(bool) {}
    virtual int32_t GetRepeatPos() { return 0; }
    virtual void SetRepeatPos(int32_t) {}
    virtual int32_t GetPan() { return 0; }
    virtual int32_t GetVol() { return 0; }
    virtual void SetPan(int32_t) {}
    virtual void SetVol(int32_t) {}
    virtual int32_t GetPosition() { return 0; }
    virtual void SetPosition(int32_t) {}
    virtual int32_t GetLen() { return 0; }
    virtual bool IsEnd() { return false; }
    // The owner tells with false that it handled an end.
    virtual void SetEnd(bool) {}
    virtual bool IsPlaying() { return false; }
    virtual bool IsPaused() { return false; }
    virtual void Play() {}
    virtual void Pause() {}

    TMediaManager* Manager;
    // Set for an item paused by its manager's Suspend (or played while the manager was
    // disabled): Resume plays it.
    bool ResumeMark = false;
};

// A list of items that owns them.
class TMediaManager {
public:
    TMediaManager() = default;
    virtual ~TMediaManager() { Clear(); }
    TMediaManager(const TMediaManager&) = delete;
    TMediaManager& operator=(const TMediaManager&) = delete;

    int32_t Count() const { return int32_t(Items.size()); }
    // The item at Index; nullptr outside the list.
    TDMediaItem* GetItem(int32_t Index) const;
    // Frees Item when it is in the list; an item of someone else stays untouched.
    void Remove(TDMediaItem* Item);
    // Frees every item, then empties the list.
    void Clear();

    bool Suspended = false;

protected:
    // Appends an item made for this manager and answers it (every kind's Add ends here).
    TDMediaItem* Append(std::unique_ptr<TDMediaItem> Item);
    // Pauses what plays, marking it; then plays what is marked.
    void SuspendItems();
    void ResumeItems();

private:
    std::vector<std::unique_ptr<TDMediaItem>> Items;
};

// A manager of sounds: can be switched off, and is suspended only while switched on.
class TSoundManager : public TMediaManager {
public:
    TDMediaItem* AddItem(std::unique_ptr<TDMediaItem> Item) { return Append(std::move(Item)); }
    // Makes the item of the manager's kind for a content file, appends it and answers it;
    // creation errors (missing file, bad data) pass on. A manager whose kind is not built yet
    // makes an item that plays nothing.
    virtual TDMediaItem* Add(const std::string& FileName);
    // Only while enabled and not suspended: pauses every item that plays and marks it.
    void Suspend();
    // Only while enabled and suspended: plays every marked item.
    void Resume();
    // Off: suspends, then disables. On: enables, then resumes (items played while off start).
    void SetEnabled(bool Value);

    bool Enabled = true;
};

// Windows Media sounds (".wma", ".asf", ".wmv").
class TWmpManager : public TSoundManager {
public:
    // The library rebuilds its buffers after the sound device came back.
    void Restore();
};

// Ogg and WAV sounds.
class TOggManager : public TSoundManager {
public:
    void Restore();
};

// CD audio. This system reports no CD drive, so there is never a CD line on a mixer whose
// volume would be kept: saving and giving back the user's CD volume have nothing to do.
class TCddaManager : public TSoundManager {
public:
    void SaveMixerVolume() {}
    void RestoreMixerVolume() {}
};

class TMidiPlayV;

// MIDI songs. The device list holds the MIDI Mapper, then each MIDI output device found.
class TMidiManager : public TSoundManager {
public:
    TMidiManager();
    // The sequencer all MIDI items share; nullptr while there is none.
    TMidiPlayV* GetPlayer() const { return nullptr; }
    int32_t GetDeviceCount() const { return int32_t(DeviceNames.size()); }
    // The name at Index; the MIDI Mapper's outside the list.
    std::string GetDeviceName(int32_t Index) const;
    std::string GetCurrentDeviceName() const { return GetDeviceName(DeviceIndex); }
    // Index clamped to the list.
    void SetDeviceIndex(int32_t Index);
    // A name not in the list chooses the MIDI Mapper.
    void SetDeviceName(const std::string& Name);

private:
    std::vector<std::string> DeviceNames;
    int32_t DeviceIndex = 0;
};

class TVideoManager;

// A film: the operations of every item plus its frame and placement.
class TVideoItem : public TDMediaItem {
public:
    using TDMediaItem::TDMediaItem;
    virtual int32_t GetSourceHeight() { return 0; }
    virtual int32_t GetSourceWidth() { return 0; }
    virtual bool GetVisible() { return false; }
    virtual void SetVisible(bool) {}
    // A new frame is ready (captured films).
    virtual bool NeedPaint() { return false; }
    // The part of the frame shown, in the film's pixels, and where it shows, in the panel's.
    virtual void SetRect(const TRect&, const TRect&) {}
    // The frame was taken.
    virtual void ResetNeedPaint() {}
};

// Films. Suspended with the application whatever the sound switch says.
class TVideoManager : public TMediaManager {
public:
    TVideoItem* AddItem(std::unique_ptr<TVideoItem> Item) {
        return static_cast<TVideoItem*>(Append(std::move(Item)));
    }
    TVideoItem* GetItem(int32_t Index) const { return static_cast<TVideoItem*>(TMediaManager::GetItem(Index)); }
    void Suspend();
    void Resume();
    // The library's films around a screen-mode switch (not when the films play in the Windows
    // Media kind).
    void SuspendDll();
    void ResumeDll();
    // Every item's frame was taken (the last step of a drawn tick).
    void ResetNeedPaint();

    // The film kind of the run ([Video] UseWMP of game.ini), set by the shell.
    bool UseWMP = false;
};

// The managers, between MediaInit and MediaFinal (media/screenman.h).
extern TVideoManager* VideoMan;
extern TWmpManager* WmpMan;
extern TOggManager* OggMan;
extern TCddaManager* CddaMan;
extern TMidiManager* MidiMan;
// The sound managers that exist, in the order Windows Media, Ogg, CD audio, MIDI.
std::vector<TSoundManager*> SoundManagers();
