#include "media/cdp.h"

#include "core/sysutils.h"

#include <algorithm>

using namespace platform;

namespace {

constexpr uintptr_t PollTimer = 1;
constexpr uint32_t PollIntervalMs = 200;
// Polls without a disc between two looks for one.
constexpr int32_t PollsPerDiscCheck = 5;

int32_t SecondsOf(uint32_t Point) { return int32_t(TmsfMinutes(Point) * 60 + TmsfSeconds(Point)); }

}  // namespace

TCDP::TCDP()
    : Window(MainQueue().AddTarget([this](const QueuedMessage& M) { WndProc(M); })),
      FDrives(CdAudioService().Drives()) {}

TCDP::~TCDP() {
    if (IsOpen()) Close();
    MainQueue().RemoveTarget(Window);
}

void TCDP::Open(int32_t DriveIndex) {
    if (IsOpen()) Close();
    if (DriveIndex < 0 || DriveIndex >= int32_t(FDrives.size())) {
        LastError = CdErrorNoDevice;
        return;
    }
    CdDeviceId id = 0;
    if (Run(CdAudioService().Open(FDrives[size_t(DriveIndex)], Window, id)) != 0) return;
    DeviceId = id;
    MainQueue().SetTimer(Window, PollTimer, PollIntervalMs);
}

void TCDP::Close() {
    if (Run(CdAudioService().Close(DeviceId)) == 0) DeviceId = 0;
    MainQueue().KillTimer(Window, PollTimer);
}

int32_t TCDP::GetMode() {
    CdMode mode = CdMode::NotReady;
    if (!IsOpen() || Run(CdAudioService().Mode(DeviceId, mode)) != 0) return 4;
    switch (mode) {
        case CdMode::Stopped: return 1;
        case CdMode::Playing: return 0;
        case CdMode::Seeking: return 3;
        case CdMode::DoorOpen: return 5;
        default: return 4;
    }
}

int32_t TCDP::GetTrackCount() {
    uint32_t count = 0;
    if (!IsOpen() || Run(CdAudioService().TrackCount(DeviceId, count)) != 0) return 0;
    return int32_t(std::min<uint32_t>(count, 99));
}

int32_t TCDP::GetTrackLength(int32_t N) {
    uint32_t msf = 0;
    if (!IsOpen() || N < 1 || Run(CdAudioService().TrackLength(DeviceId, uint32_t(N), msf)) != 0) return 0;
    return int32_t(MsfMinutes(msf) * 60 + MsfSeconds(msf));
}

uint32_t TCDP::DevicePosition() {
    uint32_t point = 0;
    if (!IsOpen() || Run(CdAudioService().Position(DeviceId, point)) != 0) return 0;
    return point;
}

int32_t TCDP::GetPosition() { return SecondsOf(DevicePosition()); }

bool TCDP::MediaPresent() {
    bool present = false;
    return IsOpen() && Run(CdAudioService().MediaPresent(DeviceId, present)) == 0 && present;
}

void TCDP::PlayFrom(int32_t ATrack, int32_t ASeconds) {
    if (!IsOpen()) return;
    const uint32_t s = uint32_t(std::max(ASeconds, 0));
    PlayPoint(Tmsf(uint32_t(ATrack), s / 60, s % 60, 0));
}

void TCDP::PlayListItem(int32_t Index) {
    if (Index < 0 || Index >= int32_t(FPlayList.size())) return;
    PlayListIndex = Index;
    PlayPoint(Tmsf(uint32_t(Entry(Index)), 0, 0, 0));
}

void TCDP::Play() { PlayPoint(Tmsf(uint32_t(Track), 0, 0, 0)); }

void TCDP::Stop() {
    if (IsOpen()) Run(CdAudioService().Stop(DeviceId));
}

void TCDP::SetTrack(int32_t Value) {
    if (Value == Track) return;
    Track = Value;
    FNotifyFired = false;
    if (OnSongChange) OnSongChange();
}

int32_t TCDP::Entry(int32_t Index) const {
    if (Index < 0 || Index >= int32_t(FPlayList.size())) return 0;
    return StrToIntDef(FPlayList[size_t(Index)], 0);
}

void TCDP::PlayPoint(uint32_t Point) {
    if (!IsOpen()) return;
    SetTrack(int32_t(TmsfTrack(Point != 0 ? Point : DevicePosition())));
    // The run of consecutive track numbers the list goes on with from here.
    int32_t last = Track;
    if (PlayListIndex >= 0 && PlayListIndex < int32_t(FPlayList.size())) {
        int32_t i = PlayListIndex;
        last = Entry(i);
        while (i + 1 < int32_t(FPlayList.size()) && Entry(i + 1) == Entry(i) + 1) last = Entry(++i);
    }
    Continuous = last != Track;
    const uint32_t end = uint32_t(std::max(GetTrackLength(Track) - 1, 0));
    Run(CdAudioService().Play(DeviceId, Point, Tmsf(uint32_t(Track), end / 60, end % 60, 0)));
}

void TCDP::SeekToFirst() {
    PlayListIndex = 0;
    if (FPlayList.empty()) return;
    SetTrack(Entry(0));
    if (IsOpen()) Run(CdAudioService().Seek(DeviceId, Tmsf(uint32_t(Track), 0, 0, 0)));
}

void TCDP::WndProc(const QueuedMessage& M) {
    if (M.message == TimerMessage && M.wParam == PollTimer) {
        Poll();
        return;
    }
    // The end of a range: the next entry, else back to the first (playing it again with repeat).
    if (M.message != CdNotifyMessage || M.wParam != CdNotifySuccessful || M.lParam != DeviceId || !IsOpen()) return;
    if (PlayListIndex + 1 < int32_t(FPlayList.size())) {
        PlayListItem(PlayListIndex + 1);
        return;
    }
    SeekToFirst();
    if (RepeatPlay) Play();
}

void TCDP::ListAllTracks() {
    FPlayList.clear();
    for (int32_t n = 1, count = GetTrackCount(); n <= count; ++n) FPlayList.push_back(IntToStr(n));
}

void TCDP::SetNotifyAt(int32_t Value) {
    FNotifyAt = Value;
    FNotifyFired = false;
}

void TCDP::SetShufflePlay(bool Value) {
    FShufflePlay = Value;
    if (!Value && DiscIn) ListAllTracks();
}

void TCDP::Poll() {
    if (FInPoll || !IsOpen()) return;
    FInPoll = true;
    if (!DiscIn) {
        Track = 1;
        if (++FPollCount > PollsPerDiscCheck) {
            FPollCount = 0;
            if (MediaPresent()) {
                DiscIn = true;
                PlayListIndex = 0;
                ListAllTracks();
                if (OnCDInsert) OnCDInsert();
            }
        }
    } else if (!MediaPresent()) {
        DiscIn = false;
        FPlayList.clear();
        if (OnCDExit) OnCDExit();
    } else if (GetMode() == 0) {
        const uint32_t point = DevicePosition();
        const int32_t onTrack = int32_t(TmsfTrack(point));
        if (Continuous && onTrack != Track && Entry(PlayListIndex + 1) == Track + 1) {
            ++PlayListIndex;
            SetTrack(onTrack);
        }
        const int32_t into = onTrack == Track  ? SecondsOf(point)
                             : onTrack > Track ? GetTrackLength(Track) - int32_t(TmsfSeconds(point))
                                               : 0;
        if (IntroPlay && into > IntroTime) MainQueue().Post(Window, CdNotifyMessage, CdNotifySuccessful, DeviceId);
        if (FNotifyAt != 0 && !FNotifyFired && into >= FNotifyAt) {
            FNotifyFired = true;
            if (OnTime) OnTime();
        }
    }
    FInPoll = false;
}
