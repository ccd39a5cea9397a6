// The wipe track's settings in the film file, and the sound track: its one sound per chain in
// the scene's root, eased volume and pan, and the resync with the film's clock.
#include "text/frms_media.h"

#include "core/sysutils.h"
#include "objects/vitems.h"

#include <algorithm>
#include <cstdlib>

// ---- Wipe ----

TWipeFrameList::TWipeFrameList(TFilmManager& AFilm) : TCustomFrameList(AFilm) { Length = 1; }

namespace {
// Mask names are kept whole when rooted ("\..." or a drive), else they lie in the film's folder.
bool IsRootedName(const std::string& Name) {
    return (!Name.empty() && Name[0] == '\\') || (Name.size() > 1 && Name[1] == ':');
}
}  // namespace

void TWipeFrameList::SaveToStream(TStream& Stream, const std::string& BaseFolder) const {
    TCustomFrameList::SaveToStream(Stream, BaseFolder);
    WriteStreamByte(Stream, WipeType);
    const bool inBase = !BaseFolder.empty() && MaskName.starts_with(BaseFolder);
    WriteStreamString(Stream, inBase ? MaskName.substr(BaseFolder.size()) : MaskName);
    WriteStreamInt(Stream, WipeParam1);
    WriteStreamInt(Stream, WipeParam2);
    WriteStreamByte(Stream, Reverse ? 1 : 0);
    WriteStreamByte(Stream, WipeFlag ? 1 : 0);
}

void TWipeFrameList::LoadFromStream(TStream& Stream, const std::string& BaseFolder, int32_t Version) {
    TCustomFrameList::LoadFromStream(Stream, BaseFolder, Version);
    WipeType = ReadStreamByte(Stream);
    if (Version < 101) return;
    // An empty name stays empty: no mask, not the folder.
    MaskName = ReadStreamString(Stream);
    if (!MaskName.empty() && !IsRootedName(MaskName)) MaskName = BaseFolder + MaskName;
    WipeParam1 = ReadStreamInt(Stream);
    WipeParam2 = ReadStreamInt(Stream);
    Reverse = ReadStreamByte(Stream) != 0;
    if (Version >= 111) WipeFlag = ReadStreamByte(Stream) != 0;
}

// ---- Sound ----

namespace {

// The sound track's one frame: the size of the film's stage.
class TSoundFrame : public TCustomFrame {
public:
    using TCustomFrame::TCustomFrame;
    int32_t GetWidth() const override { return Owner.Film.Width; }
    int32_t GetHeight() const override { return Owner.Film.Height; }
};

// Volumes are per mille; the film's scale is too (wrapping as 32-bit arithmetic does).
int32_t Scaled(int32_t Scale, int32_t Volume) {
    const auto product = static_cast<int32_t>(static_cast<uint32_t>(Scale) * static_cast<uint32_t>(Volume));
    return product / 1000;
}

constexpr int32_t ResyncDrift = 3000;  // ms between the sound and the film clock before a seek

}  // namespace

TSoundFrameList::TSoundFrameList(TFilmManager& AFilm) : TCustomFrameList(AFilm) {
    Frames.push_back(std::make_unique<TSoundFrame>(*this));
}

TSoundFrameList::~TSoundFrameList() { Release(); }

std::string TSoundFrameList::GetFileName() const { return Parent ? Parent->GetFileName() : FileName; }

void TSoundFrameList::SetFileName(const std::string& S) {
    if (S == FileName) return;
    FileName = S;
    Release();
}

void TSoundFrameList::SetVisible(bool V) {
    if (V == Visible) return;
    Visible = V;
    if (TVelaObject* sound = GetSound()) sound->SetPaused(V);
}

int32_t TSoundFrameList::GetInt(TTrackProp Prop, bool End) const {
    if (Prop == TTrackProp::Volume) return End ? EndVolume : BeginVolume;
    if (Prop == TTrackProp::Pan) return End ? EndPan : BeginPan;
    return TCustomFrameList::GetInt(Prop, End);
}

void TSoundFrameList::SetInt(TTrackProp Prop, bool End, int32_t V) {
    if (Prop == TTrackProp::Volume) (End ? EndVolume : BeginVolume) = V;
    if (Prop == TTrackProp::Pan) (End ? EndPan : BeginPan) = V;
}

uint8_t TSoundFrameList::GetMode(TTrackProp Prop, int Axis) const {
    if (Prop == TTrackProp::Volume) return VolumeMode;
    if (Prop == TTrackProp::Pan) return PanMode;
    return TCustomFrameList::GetMode(Prop, Axis);
}

void TSoundFrameList::SetMode(TTrackProp Prop, int, uint8_t V) {
    if (Prop == TTrackProp::Volume) VolumeMode = V;
    if (Prop == TTrackProp::Pan) PanMode = V;
}

TVelaObject* TSoundFrameList::OwnSound() const {
    return Bases && Bases->IsLive(Sound) && !Sound.Object->IsDeleted() ? Sound.Object : nullptr;
}

TVelaObject* TSoundFrameList::GetObject() const { return OwnSound(); }

TVelaObject* TSoundFrameList::GetSound() {
    if (!Parent) return OwnSound();
    Release();
    // A run of sound tracks plays the sound of its first, when that one begins the chain.
    TCustomFrameList& head = KindHead();
    return head.Parent ? nullptr : static_cast<TSoundFrameList&>(head).OwnSound();
}

void TSoundFrameList::Release() {
    if (TVelaObject* sound = OwnSound()) sound->Delete();
    Sound = {};
}

bool TSoundFrameList::RepeatsSound(TVelaObject& Sound) const {
    if (static_cast<int64_t>(Length * FilmTickMs) > Sound.GetCount()) return true;
    const int64_t start = StartTime(), end = start + Length, loop = Film.RepeatPos, length = Film.GetLength();
    return end >= length && start <= loop && loop < end && loop < length - 1 && loop > 0;
}

TVelaObject* TSoundFrameList::CreateSound() {
    if (TVelaObject* sound = GetSound(); sound || Parent || !Bases) return sound;
    TVelaObject* sound = Bases->CreateObject(LT_SOUND);
    if (!sound) return nullptr;
    sound->SetName(MakeUniqueName(*Bases, Film.ObjectNamePrefix()));
    Sound = sound->Ref();
    sound->SetSource(FileName);
    sound->SetVolume(Scaled(Film.VolumeScale, BeginVolume));
    sound->SetRepeat(RepeatsSound(*sound));
    sound->SetBalance(BeginPan);
    sound->SetPaused(true);
    sound->SetPlayState(0);
    return OwnSound();
}

void TSoundFrameList::Pause() {
    if (TVelaObject* sound = GetSound()) sound->SetPaused(true);
}

bool TSoundFrameList::ApplyAt(int32_t T) {
    CreateSound();
    // The clock went back: the sound rests for this tick and goes on from where it stands.
    const bool wentBack = T < LastTime && Film.Running;
    if (TVelaObject* own = OwnSound(); own && wentBack) own->SetPaused(true);
    LastTime = T;
    const int64_t chainStart = ChainRoot().StartTime(), start = StartTime();
    const int64_t end = std::min<int64_t>(start + Length, int64_t(Film.GetLength()) - 1);
    TVelaObject* sound = GetSound();
    if (start <= T && T < end) {
        if (!sound) return true;
        const int32_t i = static_cast<int32_t>(T - start);
        sound->SetVolume(Scaled(Film.VolumeScale, InterpolateInt(VolumeMode, GetBeginInt(TTrackProp::Volume),
                                                                 EasedTicks(), i, EndVolume)));
        sound->SetBalance(InterpolateInt(PanMode, GetBeginInt(TTrackProp::Pan), EasedTicks(), i, EndPan));
        if (!Film.Running)
            sound->SetPaused(true);
        else if (!wentBack)
            FollowClock(*sound, T - chainStart);
        return true;
    }
    if (sound && !FindChildTrack() && !(chainStart <= T && T < end)) sound->SetPaused(true);
    return false;
}

void TSoundFrameList::FollowClock(TVelaObject& Sound, int64_t Elapsed) {
    if (Sound.GetPaused()) {
        Sound.SetPaused(false);  // resumed where it stands; the drift counts from the next tick
    } else if (Sound.GetPlayState() == 2) {
        Sound.Play();
    } else {
        const int64_t expected = Elapsed * 1000 / 60;
        if (std::llabs(Sound.GetIndex() - expected) >= ResyncDrift) Sound.SetIndex(static_cast<int32_t>(expected));
    }
}

void TSoundFrameList::Activate() { Release(); }

void TSoundFrameList::CollectFileNames(std::vector<std::string>& List) { AddFilmFileName(List, GetFileName()); }

void TSoundFrameList::SaveToStream(TStream& Stream, const std::string& BaseFolder) const {
    TCustomFrameList::SaveToStream(Stream, BaseFolder);
    WriteStreamString(Stream, MakeRelativePath(FileName, BaseFolder));
    for (int32_t value : {BeginVolume, EndVolume, BeginPan, EndPan}) WriteStreamInt(Stream, value);
    WriteStreamByte(Stream, VolumeMode);
    WriteStreamByte(Stream, PanMode);
}

void TSoundFrameList::LoadFromStream(TStream& Stream, const std::string& BaseFolder, int32_t Version) {
    TCustomFrameList::LoadFromStream(Stream, BaseFolder, Version);
    FileName = ResolveRelativePath(ReadStreamString(Stream), BaseFolder);
    BeginVolume = ReadStreamInt(Stream);
    EndVolume = ReadStreamInt(Stream);
    BeginPan = ReadStreamInt(Stream);
    EndPan = ReadStreamInt(Stream);
    VolumeMode = ReadStreamByte(Stream);
    PanMode = ReadStreamByte(Stream);
    if (Version < 108)
        for (int32_t* volume : {&BeginVolume, &EndVolume}) *volume = *volume / 10 + 1000;
}
