#include "platform/cdaudio.h"

#include <algorithm>
#include <numeric>

namespace platform {

std::unique_ptr<CdAudio> CreateHostCdAudio();  // cdaudio_cdio.cpp

namespace {

std::unique_ptr<CdAudio>& Service() {
    static std::unique_ptr<CdAudio> service;
    return service;
}

}  // namespace

CdAudio& CdAudioService() {
    if (!Service()) Service() = CreateHostCdAudio();
    return *Service();
}

void SetCdAudioService(std::unique_ptr<CdAudio> S) { Service() = std::move(S); }

// ---- Disc layout ----

std::optional<uint32_t> CdFrameOf(const std::vector<uint32_t>& Tracks, uint32_t Point) {
    const uint32_t track = TmsfTrack(Point);
    if (track < 1 || track > Tracks.size()) return std::nullopt;
    const uint32_t in = (TmsfMinutes(Point) * 60 + TmsfSeconds(Point)) * CdFramesPerSecond + TmsfFrames(Point);
    if (in > Tracks[track - 1]) return std::nullopt;
    return std::accumulate(Tracks.begin(), Tracks.begin() + (track - 1), 0u) + in;
}

uint32_t CdPointOf(const std::vector<uint32_t>& Tracks, uint32_t Frame) {
    uint32_t track = 0, start = 0;
    while (track + 1 < Tracks.size() && Frame >= start + Tracks[track]) start += Tracks[track++];
    const uint32_t in = Frame - start, seconds = in / CdFramesPerSecond;
    return Tmsf(track + 1, seconds / 60, seconds % 60, in % CdFramesPerSecond);
}

uint32_t CdMsfOf(uint32_t Frames) {
    const uint32_t seconds = Frames / CdFramesPerSecond;
    return (seconds / 60 & 0xFF) | (seconds % 60) << 8 | (Frames % CdFramesPerSecond) << 16;
}

// ---- Simulated drives ----

HeadlessCdAudio::Drive* HeadlessCdAudio::Find(const std::string& Name) {
    for (Drive& d : drives_)
        if (d.name == Name) return &d;
    return nullptr;
}

void HeadlessCdAudio::AddDrive(const std::string& Name) {
    if (Find(Name)) return;
    drives_.emplace_back();
    drives_.back().name = Name;
}

void HeadlessCdAudio::InsertDisc(const std::string& Name, const std::vector<uint32_t>& TrackMs) {
    Drive* d = Find(Name);
    if (!d) return;
    EjectDisc(Name);
    for (uint32_t ms : TrackMs) d->tracks.push_back(uint32_t(uint64_t(ms) * CdFramesPerSecond / 1000));
}

void HeadlessCdAudio::EjectDisc(const std::string& Name) {
    Drive* d = Find(Name);
    if (!d) return;
    d->tracks.clear();
    d->at = 0;
    d->playing = false;
}

void HeadlessCdAudio::SetFailing(const std::string& Name, bool Failing) {
    if (Drive* d = Find(Name)) d->failing = Failing;
}

void HeadlessCdAudio::SetReportedMode(const std::string& Name, std::optional<CdMode> M) {
    if (Drive* d = Find(Name)) d->reported = M;
}

void HeadlessCdAudio::SetDriveSetting(const std::string& RegistryName, const std::string& Value) {
    settings_[RegistryName] = Value;
}

void HeadlessCdAudio::Advance(uint32_t Ms) {
    for (Drive& d : drives_) {
        if (!d.playing) continue;
        const uint64_t scaled = uint64_t(Ms) * CdFramesPerSecond + d.frameRest;
        d.frameRest = uint32_t(scaled % 1000);
        d.at = uint32_t(std::min<uint64_t>(d.at + scaled / 1000, d.end));
        if (d.at == d.end) EndPlay(d, CdNotifySuccessful);
    }
}

void HeadlessCdAudio::EndPlay(Drive& D, uintptr_t Code) {
    if (!D.playing) return;
    D.playing = false;
    if (D.notify) MainQueue().Post(D.notify, CdNotifyMessage, Code, D.device);
}

std::vector<std::string> HeadlessCdAudio::Drives() {
    std::vector<std::string> names;
    for (const Drive& d : drives_) names.push_back(d.name);
    return names;
}

uint32_t HeadlessCdAudio::Open(const std::string& Name, TargetId Notify, CdDeviceId& Id) {
    Opened.push_back(Name);
    Drive* d = Find(Name);
    if (!d) return CdErrorNoDevice;
    if (d->failing) return CdErrorHardware;
    d->notify = Notify;
    d->device = Id = nextDevice_++;
    return 0;
}

HeadlessCdAudio::Drive* HeadlessCdAudio::Ready(CdDeviceId Id, uint32_t& Result) {
    for (Drive& d : drives_)
        if (Id != 0 && d.device == Id) {
            Result = d.failing ? CdErrorHardware : 0;
            return d.failing ? nullptr : &d;
        }
    Result = CdErrorNoDevice;
    return nullptr;
}

uint32_t HeadlessCdAudio::Close(CdDeviceId Id) {
    uint32_t result;
    Drive* d = Ready(Id, result);
    if (!d) return result;
    d->playing = false;
    d->device = 0;
    d->notify = 0;
    return 0;
}

uint32_t HeadlessCdAudio::Mode(CdDeviceId Id, CdMode& M) {
    uint32_t result;
    const Drive* d = Ready(Id, result);
    if (!d) return result;
    M = d->reported         ? *d->reported
        : d->tracks.empty() ? CdMode::NotReady
        : d->playing        ? CdMode::Playing
                            : CdMode::Stopped;
    return 0;
}

uint32_t HeadlessCdAudio::MediaPresent(CdDeviceId Id, bool& Present) {
    uint32_t result;
    const Drive* d = Ready(Id, result);
    if (d) Present = !d->tracks.empty();
    return result;
}

uint32_t HeadlessCdAudio::TrackCount(CdDeviceId Id, uint32_t& Count) {
    uint32_t result;
    const Drive* d = Ready(Id, result);
    if (!d) return result;
    if (d->tracks.empty()) return CdErrorNotReady;
    Count = uint32_t(d->tracks.size());
    return 0;
}

uint32_t HeadlessCdAudio::TrackLength(CdDeviceId Id, uint32_t N, uint32_t& Msf) {
    uint32_t result;
    const Drive* d = Ready(Id, result);
    if (!d) return result;
    if (d->tracks.empty()) return CdErrorNotReady;
    if (N < 1 || N > d->tracks.size()) return CdErrorOutOfRange;
    Msf = CdMsfOf(d->tracks[N - 1]);
    return 0;
}

uint32_t HeadlessCdAudio::Position(CdDeviceId Id, uint32_t& Point) {
    uint32_t result;
    const Drive* d = Ready(Id, result);
    if (!d) return result;
    if (d->tracks.empty()) return CdErrorNotReady;
    Point = CdPointOf(d->tracks, d->at);
    return 0;
}

uint32_t HeadlessCdAudio::Play(CdDeviceId Id, uint32_t From, uint32_t To) {
    uint32_t result;
    Drive* d = Ready(Id, result);
    if (!d) return result;
    if (d->tracks.empty()) return CdErrorNotReady;
    const std::optional<uint32_t> from = From == 0 ? d->at : CdFrameOf(d->tracks, From),
                                  to = CdFrameOf(d->tracks, To);
    if (!from || !to || *to < *from) return CdErrorOutOfRange;
    EndPlay(*d, CdNotifyAborted);
    d->at = *from;
    d->end = *to;
    d->frameRest = 0;
    d->playing = true;
    return 0;
}

uint32_t HeadlessCdAudio::Seek(CdDeviceId Id, uint32_t To) {
    uint32_t result;
    Drive* d = Ready(Id, result);
    if (!d) return result;
    if (d->tracks.empty()) return CdErrorNotReady;
    const std::optional<uint32_t> to = CdFrameOf(d->tracks, To);
    if (!to) return CdErrorOutOfRange;
    EndPlay(*d, CdNotifyAborted);
    d->at = *to;
    return 0;
}

uint32_t HeadlessCdAudio::Stop(CdDeviceId Id) {
    uint32_t result;
    Drive* d = Ready(Id, result);
    if (d) EndPlay(*d, CdNotifyAborted);
    return result;
}

std::string HeadlessCdAudio::DriveSetting(const std::string& RegistryName) {
    const auto it = settings_.find(RegistryName);
    return it == settings_.end() ? std::string() : it->second;
}

}  // namespace platform
