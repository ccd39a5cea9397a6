#include "companion/film.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <system_error>

namespace {

// Pictures decoded ahead; more while the sound, stored behind the pictures, runs short of what
// is kept ready for the voice. Beside those ahead (RoomAhead), one is being converted and two are
// on show: the video holds no more bytes than velaVideoPictures converted pictures in all.
constexpr size_t MaxAhead = 4;
constexpr int64_t SoundAheadMs = 300;
// Sound kept at most; more (a file holding its sound far ahead of its pictures) is dropped.
constexpr int64_t MaxSoundMs = 60000;
// The longest the thread sleeps while the film plays: the sound's clock moves as the device
// takes its blocks, not with the system's, so it is looked at often.
constexpr int64_t PollMs = 10, SoundPollMs = 2;

int64_t NowMs() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

}  // namespace

int32_t CurrentFailure() noexcept {
    try {
        throw;
    } catch (const std::system_error&) {
        return VELA_FAILURE_THREADS;
    } catch (...) {
        return VELA_FAILURE_MEMORY;
    }
}

TFilm::TFilm(std::unique_ptr<TVideoDecoder> Decoder, const VelaSoundDevice* Device)
    : FDecoder(std::move(Decoder)),
      FDevice(Device),
      FWidth(FDecoder->Width()),
      FHeight(FDecoder->Height()),
      FPitch(FDecoder->Width() * 4),
      FMaxAheadForSound(size_t(velaVideoPictures(FWidth, FHeight) - 2)),
      FMaxAhead(std::min(MaxAhead, FMaxAheadForSound)) {
    FDecoder->OnSound = [this](const uint8_t* Pcm, int64_t Frames) { Sound(Pcm, Frames); };
    FThread = std::thread([this] { Run(); });
}

TFilm::~TFilm() {
    std::unique_lock lock(FMutex);
    FStop = true;
    FWake.notify_all();
    lock.unlock();
    FThread.join();
    lock.lock();
    DropVoice();
}

// ---- The main thread's calls ----

void TFilm::Play() {
    std::lock_guard lock(FMutex);
    if (FFailure != VELA_FAILURE_NONE) return;
    if (FEnded) {
        FEnded = false;
        FSeekTo = 0;
        FClockBase = 0;
    }
    FPlaying = true;
    FPaused = false;
    FWake.notify_all();
}

void TFilm::Pause() {
    std::lock_guard lock(FMutex);
    FPaused = true;
    if (FRunning) StopClock();
}

bool TFilm::IsPlaying() {
    std::lock_guard lock(FMutex);
    return FPlaying && !FPaused && !FEnded;
}

bool TFilm::IsPaused() {
    std::lock_guard lock(FMutex);
    return FPaused;
}

bool TFilm::IsEnd() {
    std::lock_guard lock(FMutex);
    return FEnded;
}

int32_t TFilm::GetLen() const { return int32_t(std::min<int64_t>(FDecoder->LengthMs(), INT32_MAX)); }

int32_t TFilm::GetPosition() {
    std::lock_guard lock(FMutex);
    const int64_t position = std::max<int64_t>(ClockMs(), 0);
    return int32_t(GetLen() > 0 ? std::min<int64_t>(position, GetLen()) : std::min<int64_t>(position, INT32_MAX));
}

void TFilm::SetPosition(int32_t Ms) {
    std::lock_guard lock(FMutex);
    if (FFailure != VELA_FAILURE_NONE) return;
    if (FRunning) StopClock();
    FSeekTo = GetLen() > 0 ? std::clamp(Ms, 0, GetLen()) : std::max(Ms, 0);
    FClockBase = FSeekTo;
    FEnded = false;
    FWake.notify_all();
}

int32_t TFilm::GetVol() {
    std::lock_guard lock(FMutex);
    return FVolume;
}

void TFilm::SetVol(int32_t Value) {
    std::lock_guard lock(FMutex);
    FVolume = std::clamp(Value, -10000, 0);
    if (FVoice) FDevice->setVolume(FVoice, FVolume);
}

int32_t TFilm::GetPan() {
    std::lock_guard lock(FMutex);
    return FPan;
}

void TFilm::SetPan(int32_t Value) {
    std::lock_guard lock(FMutex);
    FPan = std::clamp(Value, -10000, 10000);
    if (FVoice) FDevice->setPan(FVoice, FPan);
}

bool TFilm::GetAutoRepeat() {
    std::lock_guard lock(FMutex);
    return FRepeat;
}

void TFilm::SetAutoRepeat(bool Value) {
    std::lock_guard lock(FMutex);
    FRepeat = Value;
}

bool TFilm::GetVisible() {
    std::lock_guard lock(FMutex);
    return FVisible;
}

void TFilm::SetVisible(bool Value) {
    std::lock_guard lock(FMutex);
    FVisible = Value;
}

bool TFilm::NeedPaint() {
    std::lock_guard lock(FMutex);
    const bool fresh = FShownCount != FAskedCount;
    FAskedCount = FShownCount;
    // Asked while a decoded picture has come due: the thread puts it on show now rather than at
    // its next look at the clock.
    if (!fresh && FRunning && !FAhead.empty() && FAhead.front().ms <= ClockMs()) FWake.notify_all();
    return fresh;
}

const VelaFrame* TFilm::GetDC() {
    std::lock_guard lock(FMutex);
    if (FHasReady) {
        if (FHasShown) FSpare.push_back(std::move(FShown));
        FShown = std::move(FReady);
        FHasReady = false;
        FHasShown = true;
    }
    if (!FHasShown) return nullptr;
    FFrame = {FShown.pixels.get(), FWidth, FHeight, FPitch};
    return &FFrame;
}

void TFilm::SetFrameCallback(VelaFrameProc Callback, void* Owner) {
    std::lock_guard lock(FCallbackMutex);
    FCallback = Callback;
    FCallbackOwner = Owner;
}

void TFilm::Suspend(bool Value) {
    std::lock_guard lock(FMutex);
    FSuspended = Value;
    if (Value && FRunning) StopClock();
    FWake.notify_all();
}

int32_t TFilm::Failure() {
    std::lock_guard lock(FMutex);
    return FFailure;
}

// ---- The clock ----

int64_t TFilm::ClockMs() const {
    if (!FRunning) return FClockBase;
    if (FOnSound) return FClockBase + (FDevice->played(FVoice) - FAnchor) * 1000 / FDecoder->SoundShape().rate;
    return FClockBase + NowMs() - FAnchor;
}

void TFilm::StartClock() {
    FOnSound = FVoice && !FDevice->ended(FVoice);
    if (FOnSound) {
        FAnchor = FDevice->played(FVoice);
        FDevice->play(FVoice);
    } else {
        FAnchor = NowMs();
    }
    FRunning = true;
}

void TFilm::StopClock() {
    FClockBase = ClockMs();
    FRunning = false;
    if (FVoice) FDevice->stop(FVoice);
}

// ---- The sound ----

void TFilm::MakeVoice() {
    const TPcmShape& shape = FDecoder->SoundShape();
    if (!FDevice || !shape.channels) return;
    FVoice = FDevice->createVoice(FDevice, shape.rate, shape.bits, shape.channels, Pull, this);
    if (!FVoice) return;
    FDevice->setVolume(FVoice, FVolume);
    FDevice->setPan(FVoice, FPan);
}

// The voice's pull takes only the sound's own lock, so the voice can go while FMutex is held.
void TFilm::DropVoice() {
    if (FVoice) FDevice->destroyVoice(FVoice);
    FVoice = nullptr;
    FOnSound = false;
}

bool TFilm::NeedsMoreSound() const {
    if (!FVoice) return false;
    std::lock_guard lock(FPcmMutex);
    const TPcmShape& shape = FDecoder->SoundShape();
    return !FSoundEnd && int64_t(FPcm.size() - FPcmAt) < SoundAheadMs * shape.rate / 1000 * shape.frameBytes();
}

bool TFilm::SoundStarved() const {
    std::lock_guard lock(FPcmMutex);
    return !FSoundEnd && FPcm.size() == FPcmAt;
}

void TFilm::Sound(const uint8_t* Pcm, int64_t Frames) {
    const TPcmShape& shape = FDecoder->SoundShape();
    std::lock_guard lock(FPcmMutex);
    if (int64_t(FPcm.size() - FPcmAt) > MaxSoundMs * shape.rate / 1000 * shape.frameBytes()) return;
    FPcm.insert(FPcm.end(), Pcm, Pcm + Frames * shape.frameBytes());
}

int32_t TFilm::Pull(void* Owner, void* Buffer, int32_t Capacity, int32_t* End) {
    auto& self = *static_cast<TFilm*>(Owner);
    const int32_t frame = self.FDecoder->SoundShape().frameBytes();
    std::lock_guard lock(self.FPcmMutex);
    const size_t n = std::min(size_t(Capacity / frame * frame), self.FPcm.size() - self.FPcmAt);
    std::memcpy(Buffer, self.FPcm.data() + self.FPcmAt, n);
    self.FPcmAt += n;
    if (self.FPcmAt == self.FPcm.size()) {
        self.FPcm.clear();
        self.FPcmAt = 0;
        if (self.FSoundEnd) *End = -1;
    } else if (self.FPcmAt > self.FPcm.size() / 2) {
        self.FPcm.erase(self.FPcm.begin(), self.FPcm.begin() + ptrdiff_t(self.FPcmAt));
        self.FPcmAt = 0;
    }
    return int32_t(n);
}

// ---- The thread ----

TFilm::TPicture TFilm::NewPicture() {
    if (FSpare.empty()) {
        TPicture picture;
        picture.pixels = std::make_unique_for_overwrite<uint8_t[]>(size_t(FPitch) * FHeight);
        return picture;
    }
    TPicture picture = std::move(FSpare.back());
    FSpare.pop_back();
    return picture;
}

void TFilm::Convert(TPicture& Picture, const AVFrame& Frame) {
    if (!FDecoder->ConvertFrame(Frame, Picture.pixels.get(), FPitch) && !Picture.drawn)
        std::memset(Picture.pixels.get(), 0, size_t(FPitch) * FHeight);
    Picture.drawn = true;
}

// Nothing unwinds out of the thread: the film ends where it is, its sound with it.
void TFilm::Run() {
    std::unique_lock lock(FMutex, std::defer_lock);
    try {
        lock.lock();
        Work(lock);
    } catch (...) {
        const int32_t failure = CurrentFailure();
        if (!lock.owns_lock()) lock.lock();
        FFailure = failure;
        if (FRunning) StopClock();
        DropVoice();
        FEnded = true;
    }
}

void TFilm::Work(std::unique_lock<std::mutex>& Lock) {
    while (!FStop) {
        if (FSeekTo >= 0) {
            DoSeek(Lock, FSeekTo);
            continue;
        }
        if (Wanted() && !FRunning) StartClock();
        // Once the sound has been heard to its end, the clock goes on without it; so it does
        // when the sound runs dry while no more pictures can be read ahead to reach more.
        if (FRunning && FOnSound && (FDevice->ended(FVoice) || (!RoomAhead(FMaxAheadForSound) && SoundStarved()))) {
            FClockBase = ClockMs();
            FAnchor = NowMs();
            FOnSound = false;
        }
        const int64_t clock = ClockMs();
        if (FRunning && !FAhead.empty() && FAhead.front().ms <= clock) {
            // A picture whose successor is due as well is not shown.
            while (FAhead.size() > 1 && FAhead[1].ms <= clock) PopAhead();
            ShowPicture(Lock, PopAhead().frame);
            continue;
        }
        if (!FPicturesEnd && (RoomAhead(FMaxAhead) || (RoomAhead(FMaxAheadForSound) && NeedsMoreSound()))) {
            DecodeAhead(Lock);
            continue;
        }
        if (FRunning && FPicturesEnd && FAhead.empty() && !FOnSound && clock >= FLastEndMs) {
            StopClock();
            if (FRepeat) {
                FSeekTo = 0;
                FClockBase = 0;
            } else {
                FEnded = true;
            }
            continue;
        }
        if (!FRunning) {
            FWake.wait(Lock);
        } else {
            const int64_t due = FAhead.empty() ? FLastEndMs : FAhead.front().ms;
            FWake.wait_for(Lock, std::chrono::milliseconds(std::clamp<int64_t>(due - clock, 1, FOnSound ? SoundPollMs : PollMs)));
        }
    }
}

void TFilm::DoSeek(std::unique_lock<std::mutex>& Lock, int64_t Ms) {
    FSeekTo = -1;
    DropVoice();
    {
        std::lock_guard pcm(FPcmMutex);
        FPcm.clear();
        FPcmAt = 0;
        FSoundEnd = false;
    }
    FAhead.clear();
    FAheadBytes = 0;
    FPicturesEnd = false;
    FLastEndMs = Ms;
    TDecodedFrame frame;
    const bool fresh = FFresh;
    FFresh = false;
    Lock.unlock();
    if (!fresh) FDecoder->Seek(Ms);
    // From the key frame on, the pictures before the one showing at Ms are decoded only.
    bool more;
    while ((more = FDecoder->DecodeFrame()))
        if (FDecoder->FrameMs() + FDecoder->FrameDurationMs() > Ms) {
            frame = FDecoder->TakeFrame();
            break;
        }
    Lock.lock();
    if (FStop || FSeekTo >= 0) return;
    MakeVoice();
    if (!more) {
        std::lock_guard pcm(FPcmMutex);
        FSoundEnd = true;
        FPicturesEnd = true;
    }
    if (!frame) return;
    FLastEndMs = std::max(FLastEndMs, FDecoder->FrameMs() + FDecoder->FrameDurationMs());
    ShowPicture(Lock, std::move(frame));
}

void TFilm::DecodeAhead(std::unique_lock<std::mutex>& Lock) {
    const int64_t clock = FRunning ? ClockMs() : INT64_MIN;
    Lock.unlock();
    const bool got = FDecoder->DecodeFrame();
    // A picture already past is not kept.
    const bool late = got && FDecoder->FrameMs() + FDecoder->FrameDurationMs() <= clock;
    TDecodedFrame frame = got && !late ? FDecoder->TakeFrame() : nullptr;
    Lock.lock();
    if (FSeekTo >= 0) return;
    if (!got) {
        std::lock_guard pcm(FPcmMutex);
        FSoundEnd = true;
        FPicturesEnd = true;
        return;
    }
    FLastEndMs = std::max(FLastEndMs, FDecoder->FrameMs() + FDecoder->FrameDurationMs());
    if (late) return;
    const size_t bytes = FrameBytes(*frame);
    FAheadBytes += bytes;
    FAhead.push_back({std::move(frame), FDecoder->FrameMs(), bytes});
}

bool TFilm::RoomAhead(size_t Count) const {
    const size_t room = (Count - 1) * size_t(FPitch) * size_t(FHeight);
    return FAhead.empty() || (FAhead.size() < Count && FAheadBytes + FAhead.back().bytes <= room);
}

TFilm::TAhead TFilm::PopAhead() {
    TAhead next = std::move(FAhead.front());
    FAhead.pop_front();
    FAheadBytes -= next.bytes;
    return next;
}

// The picture is converted, and the grabber sees it before it goes on show, outside the film's
// lock (the callback may call the library).
void TFilm::ShowPicture(std::unique_lock<std::mutex>& Lock, TDecodedFrame Frame) {
    TPicture picture = NewPicture();
    Lock.unlock();
    Convert(picture, *Frame);
    Frame.reset();
    {
        std::lock_guard callback(FCallbackMutex);
        if (FCallback) {
            const VelaFrame frame{picture.pixels.get(), FWidth, FHeight, FPitch};
            FCallback(FCallbackOwner, &frame);
        }
    }
    Lock.lock();
    if (FHasReady) FSpare.push_back(std::move(FReady));
    FReady = std::move(picture);
    FHasReady = true;
    ++FShownCount;
}
