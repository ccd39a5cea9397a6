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
#include "companion/vela_api.h"
#include "core/header.h"
#include "core/holelist.h"
#include "core/streams.h"
#include "media/wave.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

class TMediaManager;
class TWavOut;
class TWavBuffer;
struct TVelaItemFamily;

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
    // Its place in its manager's list, kept by the manager.
    size_t Place = 0;
};

// A list of items that owns them.
class TMediaManager {
public:
    TMediaManager() = default;
    virtual ~TMediaManager() { Clear(); }
    TMediaManager(const TMediaManager&) = delete;
    TMediaManager& operator=(const TMediaManager&) = delete;

    int32_t Count() const { return int32_t(Items.Count()); }
    // The item at Index; nullptr outside the list.
    TDMediaItem* GetItem(int32_t Index) const;
    // Frees Item when it is in the list; an item of someone else stays untouched.
    void Remove(TDMediaItem* Item);
    // Frees every item, then empties the list.
    void Clear();
    // Says on standard error that the sound or film FileName cannot be opened and why (Reason
    // in Shift-JIS), once per name (in any case) while the manager lives; the item made for it
    // plays nothing.
    void ReportOpenFailure(const std::string& FileName, const std::string& Reason);

    bool Suspended = false;

protected:
    // Appends an item made for this manager and answers it (every kind's Add ends here).
    TDMediaItem* Append(std::unique_ptr<TDMediaItem> Item);
    // Pauses what plays, marking it; then plays what is marked.
    void SuspendItems();
    void ResumeItems();

private:
    // Closes the holes removals left.
    void CloseHoles() const;
    // In the order they came; a removed item leaves a hole that the next look-up by index or a
    // later addition to a sparse list closes.
    mutable THoleList<std::unique_ptr<TDMediaItem>> Items;
    std::set<std::string> ReportedFailures;  // lower-cased names
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
    // A TWmpItem.
    TDMediaItem* Add(const std::string& FileName) override;
    // The library rebuilds its buffers after the sound device came back.
    void Restore();
};

// Ogg and WAV sounds: played by the library on the sound device when DirectSound is on, else
// decoded by the library and mixed by the manager's own mixer.
class TOggManager : public TSoundManager {
public:
    // DelayTime: the mixer's block length in ms ([Sound] DelayTime).
    explicit TOggManager(bool DirectSound = true, int32_t DelayTime = 500);
    // The items go before the mixer they play in.
    ~TOggManager() override;
    // A TOggItem with DirectSound, else a TOggWaveItem in the mixer (opened on the device first).
    TDMediaItem* Add(const std::string& FileName) override;
    void Restore();
    TWavOut& WavOut() { return *FWavOut; }

    const bool DirectSound;

private:
    std::unique_ptr<TWavOut> FWavOut;
};

// ---- The sound items of the companion library and of the mixer ----

// The operations of a sound the library plays on the sound device, through the entries of its
// family (velaWmp..., velaOgg...). A handle of 0 (data the library could not decode) plays
// nothing and answers as an empty sound.
template <class TBase>
class TVelaPlayedItem : public TBase {
public:
    bool GetAutoRepeat() override;
    void SetAutoRepeat(bool Value) override;
    int32_t GetPan() override;
    int32_t GetVol() override;
    void SetPan(int32_t Value) override;
    void SetVol(int32_t Value) override;
    int32_t GetPosition() override;
    // Negative positions seek to the start; the end may be reported again.
    void SetPosition(int32_t Value) override;
    int32_t GetLen() override;
    // True once per end: only on the first call after the library reports it.
    bool IsEnd() override;
    bool IsPlaying() override;
    bool IsPaused() override;
    // Only marks the item while its manager is switched off: switching on starts it.
    void Play() override;
    void Pause() override;

protected:
    TVelaPlayedItem(TMediaManager* Manager, const TVelaItemFamily& Family) : TBase(Manager), FFamily(Family) {}
    const TVelaItemFamily& FFamily;
    VelaHandle FHandle = 0;

private:
    bool FEndReported = false;
};

// A Windows Media sound: the whole file handed to the library.
class TWmpItem : public TVelaPlayedItem<TDMediaItem> {
public:
    TWmpItem(TWmpManager* Manager, const std::string& FileName);
    ~TWmpItem() override;
};

// The two kinds of Ogg and WAV sounds.
class TCustomOggItem : public TDMediaItem {
public:
    using TDMediaItem::TDMediaItem;
};

// An Ogg or WAV sound the library plays, reading the file through the stream callbacks.
class TOggItem : public TVelaPlayedItem<TCustomOggItem> {
public:
    TOggItem(TOggManager* Manager, const std::string& FileName);
    ~TOggItem() override;
    int32_t GetRepeatPos() override;
    void SetRepeatPos(int32_t Value) override;
    // Playing and not paused.
    bool IsPlaying() override;

private:
    std::unique_ptr<TStream> FSource;
};

// The PCM the library decodes from an Ogg or WAV source stream (read-only).
class TOggStream : public TStream {
public:
    // Raises "サウンドデータが不正です" when the library cannot decode Source.
    TOggStream(TStream& Source, bool IsOgg);
    ~TOggStream() override;
    TOggStream(const TOggStream&) = delete;
    TOggStream& operator=(const TOggStream&) = delete;

    int64_t Read(void* Buffer, int64_t Count) override;
    int64_t Write(const void*, int64_t) override { return 0; }
    // Clamped to the PCM.
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
    int64_t Size() override;
    // The length in ms.
    int32_t GetLen();

    TWaveFormatEx Format;

private:
    VelaHandle FHandle;
};

// An Ogg or WAV sound decoded by the library and mixed by its manager's mixer. It plays
// whatever the sound switch says; it has no pan.
class TOggWaveItem : public TCustomOggItem {
public:
    TOggWaveItem(TOggManager* Manager, const std::string& FileName);
    ~TOggWaveItem() override;
    bool GetAutoRepeat() override;
    void SetAutoRepeat(bool Value) override;
    int32_t GetRepeatPos() override;
    void SetRepeatPos(int32_t Value) override;
    int32_t GetVol() override { return FVolume; }
    // -5000 and below silent, 0 full, linear in between.
    void SetVol(int32_t Value) override;
    int32_t GetPosition() override;
    void SetPosition(int32_t Value) override;
    int32_t GetLen() override { return FStream->GetLen(); }
    // With repeat on, an end plays the sound again and is not reported.
    bool IsEnd() override;
    bool IsPlaying() override;
    bool IsPaused() override { return FPaused; }
    void Play() override;
    void Pause() override;

private:
    // Bytes of the decoded PCM per ms.
    double BytesPerMs() const;
    int32_t ToMs(int64_t Bytes) const;

    std::unique_ptr<TStream> FSource;
    std::unique_ptr<TOggStream> FStream;
    TWavBuffer* FBuffer;
    bool FPaused = false;
    int32_t FVolume = 0;
};

class TCDP;
class TAudioMixer;
class TCddaItem;

// CD audio: sounds named "CD_" and a track number play that track of the disc in a CD drive
// (media/cdda.h). One CD player plays one track at a time, so one item is current. CD audio
// does not pass through the player's sound path: its volume is set on the system mixer's CD
// line, whose own levels are kept and given back while the application is in the background
// and at the end.
class TCddaManager : public TSoundManager {
public:
    // RegistryName: the project's, under which the title's CD drive setting is kept.
    explicit TCddaManager(const std::string& RegistryName = {});
    // Gives the CD line its levels back.
    ~TCddaManager() override;
    // A TCddaItem.
    TDMediaItem* Add(const std::string& FileName) override;
    // Once: the first drive (only the one the setting names, when it names one) with an audio
    // disc, then the CD line of the first mixer device that has one, whose levels are kept.
    // Afterwards it opens that drive again; when none was found, nothing is tried again.
    void OpenDevice();
    // The title's drive setting, a lone letter given its colon; "" without a registry name.
    std::string ReadCDDriveSetting() const;
    // Keeps the CD line's levels, and gives them back.
    void SaveMixerVolume();
    void RestoreMixerVolume();

    const std::unique_ptr<TCDP> CDP;
    const std::unique_ptr<TAudioMixer> Mixer;
    TCddaItem* Current = nullptr;
    // The CD line: destination and connection (-1 unknown) and its kept levels (-1 unknown).
    int32_t MixerDest = -1, MixerConn = -1;
    int32_t SavedLeft = -1, SavedRight = -1, SavedMute = -1;
    // -1 not yet chosen, -2 no drive with an audio disc.
    int32_t DriveIndex = -1;
    const std::string RegistryName;

private:
    void FindCDLine();
};

class TMidiPlayV;
class TMidiItem;

// MIDI songs (media/midiitem.h), played by one sequencer all items share. The device list holds
// the MIDI Mapper, then each MIDI output device the sequencer found.
class TMidiManager : public TSoundManager {
public:
    TMidiManager();
    // The items go first (the current one closes the sequencer), then the sequencer.
    ~TMidiManager() override;
    // A TMidiItem.
    TDMediaItem* Add(const std::string& FileName) override;
    // The sequencer; nullptr while it is not usable.
    TMidiPlayV* GetPlayer() const;
    int32_t GetDeviceCount() const { return int32_t(DeviceNames.size()); }
    // The name at Index; the MIDI Mapper's outside the list.
    std::string GetDeviceName(int32_t Index) const;
    std::string GetCurrentDeviceName() const { return GetDeviceName(DeviceIndex); }
    int32_t GetDeviceIndex() const { return DeviceIndex; }
    // Index clamped to the list; a playing sequencer goes on from its position on that device.
    void SetDeviceIndex(int32_t Index);
    // A name not in the list chooses the MIDI Mapper.
    void SetDeviceName(const std::string& Name);

    // Set by the shell: whether the main window exists and is not closing (the sequencer is
    // usable only then), and whether the program is ending (no song starts). Unset: usable,
    // not ending.
    std::function<bool()> OwnerAlive, Terminating;
    // The item the sequencer holds; nullptr for none.
    TMidiItem* Current = nullptr;

private:
    std::vector<std::string> DeviceNames;
    int32_t DeviceIndex = 0;
    std::unique_ptr<TMidiPlayV> Player;
};

class TVideoManager;

// A film: the operations of every item plus its frame and placement. Capture, fixed when it is
// made, chooses how it shows: its frames handed over (NeedPaint, GetDC) for the video object to
// copy, or windowed, drawn over the panel where SetRect places it.
class TVideoItem : public TDMediaItem {
public:
    explicit TVideoItem(TMediaManager* AManager, bool ACapture = false) : TDMediaItem(AManager), Capture(ACapture) {}
    virtual int32_t GetSourceHeight() { return 0; }
    virtual int32_t GetSourceWidth() { return 0; }
    virtual bool GetVisible() { return false; }
    virtual void SetVisible(bool) {}
    // A new frame is ready (captured films).
    virtual bool NeedPaint() { return false; }
    // The part of the frame shown, in the film's pixels, and where it shows, in the panel's.
    virtual void SetRect(const TRect& Source, const TRect& Dest) {
        FSourceRect = Source;
        FDestRect = Dest;
    }
    // The frame on show (valid until the item's next call); nullptr when there is none.
    virtual const VelaFrame* GetDC() { return nullptr; }
    // The frame was taken.
    virtual void ResetNeedPaint() {}

    const TRect& SourceRect() const { return FSourceRect; }
    const TRect& DestRect() const { return FDestRect; }
    const bool Capture;

protected:
    TRect FSourceRect{}, FDestRect{};
};

// Films. Suspended with the application whatever the sound switch says.
class TVideoManager : public TMediaManager {
public:
    TVideoItem* AddItem(std::unique_ptr<TVideoItem> Item) {
        return static_cast<TVideoItem*>(Append(std::move(Item)));
    }
    TVideoItem* GetItem(int32_t Index) const { return static_cast<TVideoItem*>(TMediaManager::GetItem(Index)); }
    // A film of the run's kind (UseWMP) for a content file, appended; creation errors pass on.
    TVideoItem* Add(const std::string& FileName, bool Capture);
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
