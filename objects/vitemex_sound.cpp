// The sound object and its volume fades.
#include "objects/vitemex_sound.h"

#include "core/streams.h"
#include "core/sysutils.h"
#include "media/mediaman.h"
#include "objects/vitems_kinds.h"

#include <algorithm>

namespace {

// The manager that plays FileName: by the lower-cased extension, else CD audio for a track name
// "CD_..."; nullptr when no rule matches or the manager does not exist.
TSoundManager* ManagerFor(const std::string& FileName) {
    const std::string ext = AnsiLowerCase(ExtractFileExt(FileName));
    if (ext == ".mid" || ext == ".sgt") return MidiMan;
    if (ext == ".wma" || ext == ".asf" || ext == ".wmv") return WmpMan;
    if (ext == ".ogg" || ext == ".wav") return OggMan;
    if (FileName.starts_with("CD_")) return CddaMan;
    return nullptr;
}

constexpr int32_t Silent = -10000;
// A one-shot sound shorter than this is saved stopped, at its start: a load does not play it
// again, and a later start plays it whole.
constexpr int32_t ShortSoundMs = 3000;

}  // namespace

bool IsMidiItem(const TDMediaItem& Item) { return Item.Manager && Item.Manager == MidiMan; }

int32_t GetMediaVolume(const TDMediaItem& Item, int32_t Volume) {
    if (IsMidiItem(Item)) return int32_t(std::clamp<int64_t>(int64_t(Volume) * 10 - 10000, INT32_MIN, INT32_MAX));
    const int64_t v = int64_t(Volume) * 5 - 5000;
    return v < -4999 ? Silent : v <= 0 ? int32_t(v) : 0;
}

// ---- Fades ----

void TVelaMixer::Start(int32_t From) {
    FromVolume = From;
    StartTime = SceneClock();
    Started = true;
}

uint32_t TVelaMixer::Elapsed() const { return SceneClock() - StartTime; }

// Products in 64 bits: a fade of a few minutes would run past 32.
int32_t TVelaMixer::Current(uint32_t Elapsed) const {
    const int64_t d = int64_t(ToVolume) - FromVolume;
    if (IsMidiItem(*Item)) return int32_t(FromVolume + int64_t(Elapsed) * d / Duration);
    const int64_t h = d / 2;
    if (FromVolume <= ToVolume) return int32_t(FromVolume + h + int64_t(Elapsed) * h / Duration);
    return int32_t(FromVolume + int64_t(Elapsed) * h / Duration);
}

bool TVelaMixerFadein::Step() {
    if (!Started) {
        Item->SetVol(Silent);
        Item->Play();
        Start(Silent);
        return false;
    }
    const uint32_t elapsed = Elapsed();
    const bool finished = Finished(elapsed);
    Item->SetVol(finished ? ToVolume : Current(elapsed));
    return finished;
}

bool TVelaMixerFadeout::Step() {
    if (!Started) {
        Start(Item->GetVol());
        return false;
    }
    const uint32_t elapsed = Elapsed();
    if (Finished(elapsed)) return true;
    Item->SetVol(Current(elapsed));
    return false;
}

// ---- The sound object ----

TVelaSound::~TVelaSound() {
    if (Item) Item->SetVol(Silent);
    ReleaseItem();
}

// The fade goes first: it holds the item.
void TVelaSound::ReleaseItem() {
    Fade.reset();
    if (!Item) return;
    Item->Manager->Remove(Item);
    Item = nullptr;
}

void TVelaSound::StartFadein() { Fade = std::make_unique<TVelaMixerFadein>(*Item, MediaVolume(), Delay); }

void TVelaSound::SetSource(const std::string& S) {
    if (S == FileName) return;
    ReleaseItem();
    FileName = S;
    PlayState = Stopped;
    Paused = false;
    StartPos = 0;
    Ended = false;
}

void TVelaSound::SetVolume(int32_t V) {
    if (V == Volume) return;
    Volume = V;
    if (Item) Item->SetVol(MediaVolume());
}

void TVelaSound::SetBalance(int32_t V) {
    V = std::clamp(V, -10000, 10000);
    if (V == Balance) return;
    Balance = V;
    if (Item) Item->SetPan(V);
}

void TVelaSound::SetRepeat(bool V) {
    Repeat = V;
    if (!Item) return;
    Item->SetAutoRepeat(V);
    if (V && !Paused && Item->GetPosition() >= Item->GetLen() - 1) {
        Item->SetPosition(0);
        Ended = false;
    }
}

void TVelaSound::SetRepeatpos(int32_t V) {
    if (V == RepeatPos) return;
    RepeatPos = V;
    if (Item) Item->SetRepeatPos(V);
}

void TVelaSound::SetPaused(bool V) {
    if (V == Paused) return;
    Paused = V;
    ApplyPause();
}

void TVelaSound::SetAnipaused(bool V) {
    if (V == AniPaused) return;
    AniPaused = V;
    ApplyPause();
}

void TVelaSound::ApplyPause() {
    if (!Item) return;
    if (Paused || AniPaused) {
        Item->Pause();
        Item->SetVol(Silent);
    } else if (PlayState == FadingIn) {
        StartFadein();
    } else {
        Item->SetVol(MediaVolume());
        Item->Play();
    }
}

int32_t TVelaSound::GetIndex() const { return Item ? Item->GetPosition() : 0; }

void TVelaSound::SetIndex(int32_t V) {
    StartPos = V;
    Ended = false;
    if (!Item) return;
    Item->SetPosition(V);
    if (!Paused && !Item->IsPlaying()) Item->Play();
}

int32_t TVelaSound::GetCount() const {
    if (Item) return Item->GetLen();
    TSoundManager* manager = ScriptHost().FileExists(FileName) ? ManagerFor(FileName) : nullptr;
    if (!manager) return 0;
    TDMediaItem* item = manager->Add(FileName);
    const int32_t length = item->GetLen();
    manager->Remove(item);
    return length;
}

bool TVelaSound::GetPlaying() const { return Item && Item->IsPlaying(); }

void TVelaSound::SetPlayState(int32_t State) {
    Fade.reset();
    Ended = false;
    if (State == FadingIn && Delay < 1) State = Playing;
    PlayState = State;
    switch (State) {
        case Stopped:
            if (!Item) return;
            ReleaseItem();
            StartPos = 0;
            Delete();
            return;
        case Playing:
        case FadingIn: {
            if (Item) return;
            if (!ScriptHost().FileExists(FileName) && !FileName.starts_with("CD_")) {
                if (Autoscrap) Delete();
                return;
            }
            TSoundManager* manager = ManagerFor(FileName);
            if (!manager) return;
            Item = manager->Add(FileName);
            Item->SetPan(Balance);
            if (StartPos > 0) Item->SetPosition(StartPos);
            Item->SetAutoRepeat(Repeat);
            Item->SetRepeatPos(RepeatPos);
            if (State == FadingIn) {
                if (!Paused) StartFadein();
                return;
            }
            Item->SetVol(MediaVolume());
            if (Paused) Item->Pause();
            else Item->Play();
            if (StartPos > 0) Item->SetPosition(StartPos);
            return;
        }
        case FadingOut:
            if (!Item) {
                Delete();
                return;
            }
            Fade = std::make_unique<TVelaMixerFadeout>(*Item, Delay);
            StartPos = 0;
            SetName(std::string{SystemNameMark} + "SCRAP_" + GetName());
            return;
    }
}

void TVelaSound::Play() {
    StartPos = 0;
    Paused = false;
    Ended = false;
    SetPlayState(FadingIn);
    if (!Item) return;
    Fade.reset();
    if (Delay > 0) {
        Item->Pause();
        Item->SetVol(Silent);
        Item->SetPosition(0);
        StartFadein();
    } else {
        Item->SetVol(MediaVolume());
        Item->SetPosition(0);
        if (!Item->IsPlaying()) Item->Play();
    }
}

// An item may go on reporting its end (the software mixer's, MIDI, CD audio): the end is acted
// on once, until something starts the sound again and clears Ended.
bool TVelaSound::Step() {
    bool done = false;
    if (Item && Item->IsEnd()) {
        Item->SetEnd(false);
        if (Repeat) {
            Item->SetPosition(0);
        } else if (!Ended) {
            Ended = true;
            if (Autoscrap) done = true;
            else if (!OnPlayEnd.empty() && Owner) Owner->GetEvents().Add(this, OnPlayEnd, nullptr, PR_ONPLAYEND);
        }
    }
    if (Fade && Fade->Step()) {
        if (dynamic_cast<TVelaMixerFadeout*>(Fade.get())) done = true;
        Fade.reset();
    }
    return done;
}

// The sound record follows the base record.
void TVelaSound::SaveToStream(TStream& Stream) {
    TVelaComponent::SaveToStream(Stream);
    WriteStreamString(Stream, FileName);
    for (const bool flag : {Repeat, Autoscrap, Paused, AniPaused, Ended}) WriteStreamByte(Stream, flag);
    const bool running = PlayState == Playing || PlayState == FadingIn;
    const bool savedStopped = running && !Repeat && GetCount() < ShortSoundMs;
    for (const int32_t value : {Volume, Balance, Delay, savedStopped ? 0 : GetIndex()}) WriteStreamInt(Stream, value);
    WriteStreamByte(Stream, savedStopped ? Stopped : PlayState);
    WriteStreamString(Stream, OnPlayEnd);
    WriteStreamByte(Stream, RewindOnLoad);
    WriteStreamByte(Stream, MuteOnLoad);
    WriteStreamInt(Stream, RepeatPos);
}

void TVelaSound::LoadFromStream(TStream& Stream, int32_t Version) {
    TVelaComponent::LoadFromStream(Stream, Version);
    const std::string name = ReadStreamString(Stream);
    Repeat = ReadStreamByte(Stream) != 0;
    Autoscrap = ReadStreamByte(Stream) != 0;
    const bool paused = ReadStreamByte(Stream) != 0, aniPaused = ReadStreamByte(Stream) != 0,
               ended = ReadStreamByte(Stream) != 0;
    Volume = ReadStreamInt(Stream);
    Balance = std::clamp(ReadStreamInt(Stream), -10000, 10000);
    const int32_t delay = ReadStreamInt(Stream), position = ReadStreamInt(Stream);
    const uint8_t state = ReadStreamByte(Stream);
    if (state > FadingOut) throw EReadError();
    OnPlayEnd = ReadStreamString(Stream);
    if (Version >= 108) RewindOnLoad = ReadStreamByte(Stream) != 0;
    MuteOnLoad = Version >= 129 && ReadStreamByte(Stream) != 0;
    if (Version >= 138) RepeatPos = ReadStreamInt(Stream);

    if (MuteOnLoad) Volume = 0;
    SetSource(name);
    StartPos = RewindOnLoad ? 0 : position;
    Paused = paused;
    AniPaused = aniPaused;
    Ended = ended;
    // A fade-out needs an item to fade.
    if (state == FadingOut) SetPlayState(Playing);
    Delay = delay;
    if (Ended) PlayState = state;
    else SetPlayState(state);
    if (Paused || AniPaused) ApplyPause();
}
