#include "media/mediaman.h"

#include "core/sysutils.h"
#include "media/velabind.h"

#include <algorithm>

TVideoManager* VideoMan = nullptr;
TWmpManager* WmpMan = nullptr;
TOggManager* OggMan = nullptr;
TCddaManager* CddaMan = nullptr;
TMidiManager* MidiMan = nullptr;

// ---- The item list ----

TDMediaItem* TMediaManager::GetItem(int32_t Index) const {
    if (Index < 0 || Index >= Count()) return nullptr;
    return Items[size_t(Index)].get();
}

TDMediaItem* TMediaManager::Append(std::unique_ptr<TDMediaItem> Item) {
    Items.push_back(std::move(Item));
    return Items.back().get();
}

void TMediaManager::Remove(TDMediaItem* Item) {
    const auto it = std::find_if(Items.begin(), Items.end(), [&](const auto& p) { return p.get() == Item; });
    if (it == Items.end()) return;
    it->reset();
    Items.erase(it);
}

void TMediaManager::Clear() {
    for (auto& item : Items) item.reset();
    Items.clear();
}

void TMediaManager::SuspendItems() {
    Suspended = true;
    for (auto& item : Items) {
        // An item that ended is not started again (IsEnd is asked only of one that plays).
        item->ResumeMark = item->IsPlaying() && !item->IsPaused() && !item->IsEnd();
        if (item->ResumeMark) item->Pause();
    }
}

void TMediaManager::ResumeItems() {
    Suspended = false;
    for (auto& item : Items)
        if (item->ResumeMark) {
            item->Play();
            item->ResumeMark = false;
        }
}

// ---- Sound managers ----

TDMediaItem* TSoundManager::Add(const std::string&) { return AddItem(std::make_unique<TDMediaItem>(this)); }

void TSoundManager::Suspend() {
    if (Enabled && !Suspended) SuspendItems();
}

void TSoundManager::Resume() {
    if (Enabled && Suspended) ResumeItems();
}

void TSoundManager::SetEnabled(bool Value) {
    if (Value == Enabled) return;
    if (!Value) {
        Suspend();
        Enabled = false;
    } else {
        Enabled = true;
        Resume();
    }
}

void TWmpManager::Restore() {
    if (VelaLib.WmpmanRestore) VelaLib.WmpmanRestore();
}

void TOggManager::Restore() {
    if (VelaLib.OggmanRestore) VelaLib.OggmanRestore();
}

// ---- MIDI ----

namespace {

const char* const MidiMapperName = "MIDIマッパー";

}  // namespace

TMidiManager::TMidiManager() : DeviceNames{MidiMapperName} {}

std::string TMidiManager::GetDeviceName(int32_t Index) const {
    if (Index < 0 || Index >= GetDeviceCount()) return MidiMapperName;
    return DeviceNames[size_t(Index)];
}

void TMidiManager::SetDeviceIndex(int32_t Index) { DeviceIndex = std::clamp(Index, 0, GetDeviceCount() - 1); }

void TMidiManager::SetDeviceName(const std::string& Name) {
    const auto it = std::find_if(DeviceNames.begin(), DeviceNames.end(),
                                 [&](const std::string& N) { return AnsiSameText(N, Name); });
    SetDeviceIndex(it == DeviceNames.end() ? 0 : int32_t(it - DeviceNames.begin()));
}

// ---- Films ----

void TVideoManager::Suspend() {
    if (!Suspended) SuspendItems();
}

void TVideoManager::Resume() {
    if (Suspended) ResumeItems();
}

void TVideoManager::SuspendDll() {
    if (!UseWMP && VelaLib.VidmanSuspend) VelaLib.VidmanSuspend();
}

void TVideoManager::ResumeDll() {
    if (!UseWMP && VelaLib.VidmanResume) VelaLib.VidmanResume();
}

void TVideoManager::ResetNeedPaint() {
    for (int32_t i = 0; i < Count(); ++i) GetItem(i)->ResetNeedPaint();
}

std::vector<TSoundManager*> SoundManagers() {
    std::vector<TSoundManager*> managers;
    for (TSoundManager* manager : std::initializer_list<TSoundManager*>{WmpMan, OggMan, CddaMan, MidiMan})
        if (manager) managers.push_back(manager);
    return managers;
}
