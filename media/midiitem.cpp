#include "media/midiitem.h"

#include "core/streams.h"
#include "core/sysutils.h"
#include "core/vrfiles_manager.h"
#include "media/midiplay.h"

#include <algorithm>

// ---- The item ----

TMidiItem::TMidiItem(TMidiManager* AManager, const std::string& FileName) : TDMediaItem(AManager), FFileName(FileName) {}

TMidiItem::~TMidiItem() {
    if (Midi().Current != this) return;
    if (TMidiPlayV* player = Midi().GetPlayer()) {
        if (player->IsPlaying()) player->Stop();
        player->Close();
    }
    Midi().Current = nullptr;
}

bool TMidiItem::Current() const { return Midi().GetPlayer() && Midi().Current == this; }

bool TMidiItem::ReadSong(TMemoryStream& Song) const {
    try {
        if (FFileName.starts_with("\\") || (FFileName.size() > 1 && FFileName[1] == ':')) {
            Song.LoadFromFile(FFileName);
        } else {
            VrFileManager->ReadFile(Song, FFileName);
        }
    } catch (const EVelaError& E) {
        Manager->ReportOpenFailure(FFileName, E.what());
        return false;  // a missing file is as good as an empty one
    }
    Song.SetPosition(0);
    return Song.Size() > 0;
}

void TMidiItem::Load() {
    TMidiPlayV& player = *Midi().GetPlayer();
    TMemoryStream song;
    const bool read = ReadSong(song);
    if (player.IsPlaying()) player.Stop();
    Midi().Current = this;
    // An empty file leaves the sequencer without a song rather than with the last item's.
    player.LoadFromStream(song);
    if (read) FLength = player.LengthMs;
}

void TMidiItem::Play() {
    FPaused = false;
    if (!Midi().Enabled) {
        ResumeMark = true;
        return;
    }
    TMidiPlayV* player = Midi().GetPlayer();
    if (!player) return;
    if (!Current()) Load();
    if (!player->IsOpen()) player->Open(Midi().GetDeviceIndex() - 1);
    player->SendGMReset();
    if (Midi().Terminating && Midi().Terminating()) return;
    Midi().Current = this;
    player->PlayFrom(0, FResumePos, -1);
    SetVol(GetVol());
}

void TMidiItem::Pause() {
    if (Current()) {
        TMidiPlayV& player = *Midi().GetPlayer();
        FResumePos = player.GetPosition();
        player.Stop();
    }
    FPaused = true;
}

bool TMidiItem::IsPlaying() { return Current() && Midi().GetPlayer()->IsPlaying(); }

bool TMidiItem::IsEnd() { return Current() && Midi().GetPlayer()->IsEnd(); }

int32_t TMidiItem::GetLen() {
    if (FLength == 0) {
        TMemoryStream song;
        if (ReadSong(song)) {
            TMidiV model;
            model.LoadFromStream(song);
            FLength = model.LengthMs;
        }
    }
    return FLength;
}

int32_t TMidiItem::GetPosition() { return Current() ? Midi().GetPlayer()->GetPosition() : 0; }

void TMidiItem::SetPosition(int32_t Value) {
    if (Current() && !FPaused)
        Midi().GetPlayer()->PlayFrom(0, std::max(0, Value), -1);
    else
        FResumePos = std::max(0, Value);
}

bool TMidiItem::GetAutoRepeat() { return Current() && Midi().GetPlayer()->GetAutoRepeat(); }

void TMidiItem::SetAutoRepeat(bool Value) {
    if (Current()) Midi().GetPlayer()->SetAutoRepeat(Value);
}

void TMidiItem::SetVol(int32_t Value) {
    FVolume = Value;
    if (Current()) Midi().GetPlayer()->SetControlAll(7, Value / 100 + 100);
}

// ---- The manager ----

namespace {

const char* const MidiMapperName = "MIDIマッパー";

}  // namespace

TMidiManager::TMidiManager() : DeviceNames{MidiMapperName}, Player(std::make_unique<TMidiPlayV>()) {
    for (const auto& device : Player->Devices) DeviceNames.push_back(device.Name);
}

TMidiManager::~TMidiManager() {
    Clear();
    if (Player && Player->IsOpen()) Player->Close();
}

TDMediaItem* TMidiManager::Add(const std::string& FileName) {
    return AddItem(std::make_unique<TMidiItem>(this, FileName));
}

TMidiPlayV* TMidiManager::GetPlayer() const { return !OwnerAlive || OwnerAlive() ? Player.get() : nullptr; }

std::string TMidiManager::GetDeviceName(int32_t Index) const {
    if (Index < 0 || Index >= GetDeviceCount()) return MidiMapperName;
    return DeviceNames[size_t(Index)];
}

void TMidiManager::SetDeviceIndex(int32_t Index) {
    DeviceIndex = std::clamp(Index, 0, GetDeviceCount() - 1);
    TMidiPlayV* player = GetPlayer();
    if (!player || !player->IsPlaying()) return;
    const int32_t position = player->GetPosition();
    player->Stop();
    player->Close();
    player->Open(DeviceIndex - 1);
    player->PlayFrom(0, position, -1);
}

void TMidiManager::SetDeviceName(const std::string& Name) {
    const auto it = std::find_if(DeviceNames.begin(), DeviceNames.end(),
                                 [&](const std::string& N) { return AnsiSameText(N, Name); });
    SetDeviceIndex(it == DeviceNames.end() ? 0 : int32_t(it - DeviceNames.begin()));
}
