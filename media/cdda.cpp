#include "media/cdda.h"

#include "core/sysutils.h"
#include "media/audiomixer.h"
#include "media/cdp.h"
#include "platform/cdaudio.h"
#include "platform/mixer.h"

#include <algorithm>

namespace {

constexpr int32_t ModePlaying = 0, ModeStopped = 1, ModePaused = 2;
constexpr int32_t QuietestVolume = -5000;

int32_t TrackOf(const std::string& Name) { return Name.size() > 3 ? StrToIntDef(Name.substr(3), -1) : -1; }

// The share of a kept level a volume stands for.
int32_t LevelOf(int32_t Volume, int32_t Kept) {
    return int32_t((int64_t(std::max(Volume, QuietestVolume)) - QuietestVolume) * Kept / -QuietestVolume);
}

}  // namespace

// ---- The item ----

TCddaItem::TCddaItem(TCddaManager* AManager, const std::string& AName)
    : TDMediaItem(AManager), Name(AName), TrackNo(TrackOf(AName)) {}

TCddaItem::~TCddaItem() {
    TCddaManager& m = CddaManager();
    if (m.Current != this) return;
    const int32_t mode = m.CDP->GetMode();
    if (mode == ModePlaying || mode == ModePaused) m.CDP->Stop();
    m.CDP->Close();
    m.Current = nullptr;
}

bool TCddaItem::OnDevice() const { return CddaManager().Current == this && CddaManager().CDP->IsOpen(); }

void TCddaItem::Select() {
    if (TrackNo < 0) return;
    TCddaManager& m = CddaManager();
    TCDP& cdp = *m.CDP;
    const int32_t mode = cdp.GetMode();
    if (mode == ModePlaying || mode == ModePaused) cdp.Stop();
    m.Current = this;
    if (!cdp.IsOpen()) {
        if (cdp.Drives().empty()) return;
        m.OpenDevice();
        if (!cdp.IsOpen()) return;
    }
    if (cdp.GetTrackCount() < TrackNo) {
        m.Current = nullptr;
        return;
    }
    cdp.RepeatPlay = FAutoRepeat;
    cdp.SetPlayList({IntToStr(TrackNo)});
    FLength = cdp.GetTrackLength(TrackNo) * 1000;
}

void TCddaItem::Play() {
    TCddaManager& m = CddaManager();
    if (!m.Enabled) {
        ResumeMark = true;
        return;
    }
    if (m.Current != this) Select();
    // A track the disc does not have leaves no current item: nothing plays.
    if (!OnDevice()) return;
    if (FResume > 0)
        m.CDP->PlayFrom(TrackNo, FResume);
    else
        m.CDP->PlayListItem(0);
    SetVol(GetVol());
    FPaused = false;
}

void TCddaItem::Pause() {
    if (OnDevice() && CddaManager().CDP->GetMode() == ModePlaying) {
        FResume = std::max(0, CddaManager().CDP->GetPosition() - 1);
        CddaManager().CDP->Stop();
    }
    FPaused = true;
}

bool TCddaItem::IsPlaying() { return CddaManager().Current == this && CddaManager().CDP->GetMode() == ModePlaying; }

bool TCddaItem::IsEnd() { return CddaManager().Current == this && CddaManager().CDP->GetMode() == ModeStopped; }

int32_t TCddaItem::GetLen() {
    if (FLength != 0 || TrackNo < 1) return FLength;
    TCddaManager& m = CddaManager();
    if (!m.CDP->IsOpen() && !m.CDP->Drives().empty()) m.OpenDevice();
    if (m.CDP->GetTrackCount() >= TrackNo) FLength = m.CDP->GetTrackLength(TrackNo) * 1000;
    return FLength;
}

int32_t TCddaItem::GetPosition() { return OnDevice() ? CddaManager().CDP->GetPosition() * 1000 : 0; }

void TCddaItem::SetPosition(int32_t Ms) {
    if (OnDevice() && !FPaused)
        CddaManager().CDP->PlayFrom(TrackNo, Ms / 1000);
    else
        FResume = std::max(0, Ms / 1000);
}

void TCddaItem::SetAutoRepeat(bool Value) {
    FAutoRepeat = Value;
    if (OnDevice()) CddaManager().CDP->RepeatPlay = Value;
}

void TCddaItem::SetVol(int32_t Value) {
    FVolume = Value;
    TCddaManager& m = CddaManager();
    if (!OnDevice() || m.MixerDest < 0) return;
    m.Mixer->SetVolume(m.MixerDest, m.MixerConn, LevelOf(Value, m.SavedLeft), LevelOf(Value, m.SavedRight),
                       m.SavedMute);
}

// ---- The manager ----

TCddaManager::TCddaManager(const std::string& ARegistryName)
    : CDP(std::make_unique<TCDP>()), Mixer(std::make_unique<TAudioMixer>()), RegistryName(ARegistryName) {
    CDP->OnCDInsert = [this] {
        if (Current) CDP->SetPlayList({IntToStr(Current->TrackNo)});
    };
}

TCddaManager::~TCddaManager() {
    RestoreMixerVolume();
    if (CDP->IsOpen()) CDP->Close();
    Current = nullptr;
    Clear();
}

TDMediaItem* TCddaManager::Add(const std::string& FileName) {
    return AddItem(std::make_unique<TCddaItem>(this, FileName));
}

std::string TCddaManager::ReadCDDriveSetting() const {
    if (RegistryName.empty()) return {};
    std::string drive = platform::CdAudioService().DriveSetting(RegistryName);
    if (drive.size() == 1) drive += ':';
    return drive;
}

void TCddaManager::OpenDevice() {
    if (CDP->IsOpen()) return;
    if (DriveIndex >= 0) {
        CDP->Open(DriveIndex);
        return;
    }
    if (DriveIndex == -2) return;
    DriveIndex = -2;
    const std::vector<std::string>& drives = CDP->Drives();
    const std::string wanted = ReadCDDriveSetting();
    const auto named =
        std::find_if(drives.begin(), drives.end(), [&](const std::string& d) { return AnsiSameText(d, wanted); });
    for (int32_t i = 0; i < int32_t(drives.size()); ++i) {
        if (named != drives.end() && i != named - drives.begin()) continue;
        CDP->Open(i);
        if (CDP->GetTrackCount() >= 1) {
            DriveIndex = i;
            break;
        }
        if (CDP->IsOpen()) CDP->Close();
    }
    if (DriveIndex >= 0) FindCDLine();
}

void TCddaManager::FindCDLine() {
    for (int32_t id = 0; id < Mixer->DeviceCount(); ++id) {
        Mixer->SetMixerId(id);
        const auto& destinations = Mixer->Destinations();
        for (int32_t d = 0; d < int32_t(destinations.size()); ++d) {
            const auto& connections = destinations[size_t(d)].connections;
            for (int32_t c = 0; c < int32_t(connections.size()); ++c)
                if (connections[size_t(c)].componentType == platform::MixerComponentCompactDisc) {
                    MixerDest = d;
                    MixerConn = c;
                    SaveMixerVolume();
                    return;
                }
        }
    }
}

void TCddaManager::SaveMixerVolume() {
    if (MixerDest < 0) return;
    bool stereo, volumeDisabled, muteDisabled, isSelect;
    Mixer->GetVolume(MixerDest, MixerConn, SavedLeft, SavedRight, SavedMute, stereo, volumeDisabled, muteDisabled,
                     isSelect);
}

void TCddaManager::RestoreMixerVolume() {
    if (MixerDest >= 0) Mixer->SetVolume(MixerDest, MixerConn, SavedLeft, SavedRight, SavedMute);
}
