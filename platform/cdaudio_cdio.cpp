// CD audio on libcdio: the system's CD drives and a disc image named by VELA_CDROM. A played
// range is read on a thread of its own, at most two seconds ahead, into a streamed voice of the
// program's sound device; the range has ended once the voice asks for more than it holds.
#include "platform/cdaudio.h"
#include "platform/encoding.h"
#include "platform/mixer.h"
#include "platform/sound.h"

#include <cdio/cdio.h>
#include <cdio/logging.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <numeric>
#include <optional>
#include <set>
#include <thread>
#include <utility>

namespace platform {
namespace {

// A sector of CD audio: 588 frames of 44100 Hz 16-bit stereo.
constexpr int64_t SectorBytes = CDIO_CD_FRAMESIZE_RAW;
constexpr int64_t SectorFrames = 588;
constexpr uint32_t ReadSectors = 15;     // one read: 0.2 s
constexpr uint32_t AheadSectors = 150;   // read ahead at most: 2 s
// A headless device plays on the test's clock, which does not wait for the disc: its pull waits
// this long at most for the reader instead of playing a gap.
constexpr auto HeadlessPullWait = std::chrono::seconds(2);

// libcdio says why an open or a read failed through its log: the first complaint since the last
// look is kept for the player's own line.
std::mutex LogMutex;
std::string LastComplaint;

void KeepComplaint(cdio_log_level_t Level, const char* Message) {
    if (Level < CDIO_LOG_WARN || !Message) return;
    std::lock_guard lock(LogMutex);
    if (!LastComplaint.empty()) return;
    LastComplaint = Message;
    while (!LastComplaint.empty() && (LastComplaint.back() == '\n' || LastComplaint.back() == ' '))
        LastComplaint.pop_back();
}

// The complaint kept since the last call, else Otherwise.
std::string TakeComplaint(const char* Otherwise) {
    std::lock_guard lock(LogMutex);
    return LastComplaint.empty() ? Otherwise : std::exchange(LastComplaint, {});
}

// The image driver of a file's extension; DRIVER_UNKNOWN for none.
driver_id_t ImageDriver(const std::string& Path) {
    std::string ext = std::filesystem::path(Path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return ext == ".cue" ? DRIVER_BINCUE : ext == ".toc" ? DRIVER_CDRDAO : ext == ".nrg" ? DRIVER_NRG : DRIVER_UNKNOWN;
}

// An open drive or image: the libcdio handle, used by one thread at a time, and its tracks.
struct Disc {
    ~Disc() {
        if (cdio) cdio_destroy(cdio);
    }
    // Opens Path with Driver; "" on success, else why not.
    std::string Open(const std::string& Path, driver_id_t Driver) {
        TakeComplaint("");
        cdio = cdio_open(Path.c_str(), Driver);
        return cdio ? std::string() : TakeComplaint("libcdio cannot open it");
    }
    // Reads the table of contents (with io held); "" when it lays out a disc, else why not (then
    // no tracks).
    std::string ReadToc() {
        tracks.clear();
        audio.clear();
        const track_t firstTrack = cdio_get_first_track_num(cdio), count = cdio_get_num_tracks(cdio);
        if (firstTrack == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK || count == 0 ||
            firstTrack + count - 1 > CDIO_CD_MAX_TRACKS)
            return "no tracks";
        std::vector<lsn_t> starts;
        for (track_t t = 0; t < count; ++t) starts.push_back(cdio_get_track_lsn(cdio, track_t(firstTrack + t)));
        starts.push_back(cdio_get_track_lsn(cdio, CDIO_CDROM_LEADOUT_TRACK));
        for (size_t i = 0; i + 1 < starts.size(); ++i)
            if (starts[i] < 0 || starts[i + 1] <= starts[i])
                return "track " + std::to_string(i + 1) + " lies outside the disc's data";
        first = starts[0];
        for (size_t i = 0; i + 1 < starts.size(); ++i) {
            tracks.push_back(uint32_t(starts[i + 1] - starts[i]));
            audio.push_back(cdio_get_track_format(cdio, track_t(firstTrack + i)) == TRACK_FORMAT_AUDIO);
        }
        return {};
    }

    CdIo_t* cdio = nullptr;
    std::mutex io;
    std::vector<uint32_t> tracks;  // frames (sectors); empty: no disc
    std::vector<bool> audio;
    lsn_t first = 0;  // where track 1 starts
};

// Why a disc image cannot stand for a drive; "" when it can: it opens, lays out a disc and its
// last sector reads.
std::string ImageProblem(const std::string& Path) {
    const driver_id_t driver = ImageDriver(Path);
    if (driver == DRIVER_UNKNOWN) return "not a .cue, .toc or .nrg disc image";
    if (std::error_code error; !std::filesystem::is_regular_file(Path, error)) return "no such file";
    Disc disc;
    std::string why = disc.Open(Path, driver);
    if (why.empty()) why = disc.ReadToc();
    if (!why.empty()) return why;
    uint8_t sector[SectorBytes];
    const lsn_t last = disc.first + lsn_t(std::accumulate(disc.tracks.begin(), disc.tracks.end(), 0u)) - 1;
    if (cdio_read_audio_sector(disc.cdio, sector, last) != DRIVER_OP_SUCCESS) return "its last sector cannot be read";
    return {};
}

// The CD line's levels as a voice's volume and pan.
void ApplyLevels(SoundVoice& Voice, const CdLineLevels& Levels) {
    const auto level = [](int32_t v) {
        return v <= 0 ? SilentLevel
                      : std::max(SilentLevel, int32_t(std::lround(2000 * std::log10(std::min(v, 65535) / 65535.0))));
    };
    const int32_t left = level(Levels.left), right = level(Levels.right);
    Voice.setVolume(Levels.mute ? SilentLevel : std::max(left, right));
    Voice.setPan(right - left);
}

// One played range of sectors: the reader thread keeps a ring of them ahead of the voice, which
// pulls them. Its end (the voice asking for more once every sector was read and pulled) posts
// CdNotifySuccessful, a read error CdNotifyAborted once what was read has played.
class Range : private SoundStream {
public:
    struct Target {
        TargetId notify;
        CdDeviceId device;
        std::string drive;  // for the error line
    };
    Range(Disc& D, SoundDevice& Device, lsn_t From, lsn_t End, Target T, const CdLineLevels& Levels)
        : disc_(D), target_(std::move(T)), headless_(Device.headless()), next_(From), end_(End) {
        voice_ = Device.createStream(OutputFormat, *this);
        ApplyLevels(*voice_, Levels);
        reader_ = std::thread([this] { Read(); });
        voice_->play();
    }
    ~Range() override {
        {
            std::lock_guard lock(mutex_);
            quit_ = true;
        }
        changed_.notify_all();
        voice_.reset();  // no pull runs past this
        reader_.join();
    }
    Range(const Range&) = delete;
    Range& operator=(const Range&) = delete;

    // Played to its end, or cut short by a read error.
    bool Ended() const {
        std::lock_guard lock(mutex_);
        return ended_;
    }
    // Sectors played from its start.
    uint32_t Sectors() const {
        {
            std::lock_guard lock(mutex_);
            if (ended_) return uint32_t(pulled_ / SectorBytes);
        }
        return uint32_t(voice_->played().value / SectorFrames);
    }
    void SetLevels(const CdLineLevels& Levels) { ApplyLevels(*voice_, Levels); }
    // Cut short by a command: CdNotifyAborted unless it had ended.
    void Abort() {
        std::lock_guard lock(mutex_);
        if (!ended_) MainQueue().Post(target_.notify, CdNotifyMessage, CdNotifyAborted, target_.device);
        ended_ = quit_ = true;
        changed_.notify_all();
    }

private:
    void Read() {
        std::vector<uint8_t> block(size_t(ReadSectors * SectorBytes));
        std::unique_lock lock(mutex_);
        while (!quit_ && next_ < end_) {
            changed_.wait(lock, [this] { return quit_ || int64_t(ring_.size()) - size_ >= SectorBytes; });
            if (quit_) break;
            const lsn_t at = next_;
            const uint32_t count = uint32_t(
                std::min<int64_t>({ReadSectors, end_ - at, (int64_t(ring_.size()) - size_) / SectorBytes}));
            lock.unlock();
            driver_return_code_t result;
            {
                std::lock_guard io(disc_.io);
                result = cdio_read_audio_sectors(disc_.cdio, block.data(), at, count);
            }
            lock.lock();
            if (result != DRIVER_OP_SUCCESS) {
                failed_ = true;
                std::fprintf(stderr, "velaplay: CD %s: sector %d cannot be read (%s); the track stops\n",
                             target_.drive.c_str(), int(at), TakeComplaint("a read error").c_str());
                break;
            }
            for (int64_t i = 0, bytes = count * SectorBytes; i < bytes;) {
                const int64_t tail = (head_ + size_) % int64_t(ring_.size());
                const int64_t part = std::min(bytes - i, int64_t(ring_.size()) - tail);
                std::memcpy(ring_.data() + tail, block.data() + i, size_t(part));
                size_ += part;
                i += part;
            }
            next_ += lsn_t(count);
            changed_.notify_all();
        }
        readDone_ = true;
        changed_.notify_all();
    }

    Pulled pull(uint8_t* Buffer, Bytes Capacity) override {
        std::unique_lock lock(mutex_);
        if (headless_) changed_.wait_for(lock, HeadlessPullWait, [this] { return quit_ || size_ > 0 || readDone_; });
        if (quit_) return {Bytes(0), true};
        if (size_ == 0) {
            if (!readDone_) return {Bytes(0), false};
            if (!ended_) {
                ended_ = true;
                MainQueue().Post(target_.notify, CdNotifyMessage, failed_ ? CdNotifyAborted : CdNotifySuccessful,
                                 target_.device);
            }
            return {Bytes(0), true};
        }
        const int64_t frame = OutputFormat.frameBytes().value;
        int64_t n = std::min(size_, Capacity.value / frame * frame);
        for (int64_t written = 0; written < n;) {
            const int64_t part = std::min(n - written, int64_t(ring_.size()) - head_);
            std::memcpy(Buffer + written, ring_.data() + head_, size_t(part));
            head_ = (head_ + part) % int64_t(ring_.size());
            written += part;
        }
        size_ -= n;
        pulled_ += n;
        changed_.notify_all();
        return {Bytes(n), false};
    }

    Disc& disc_;
    const Target target_;
    const bool headless_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<uint8_t> ring_ = std::vector<uint8_t>(size_t(AheadSectors * SectorBytes));
    int64_t head_ = 0, size_ = 0;  // bytes in the ring
    int64_t pulled_ = 0;           // bytes handed to the voice
    lsn_t next_, end_;             // the next sector to read; the end of the range
    bool readDone_ = false, failed_ = false, ended_ = false, quit_ = false;
    std::unique_ptr<StreamVoice> voice_;
    std::thread reader_;
};

class HostCdAudio : public CdAudio {
public:
    HostCdAudio() { cdio_log_set_handler(KeepComplaint); }

    std::vector<std::string> Drives() override {
        known_.clear();
        image_.clear();
        if (const char* image = std::getenv("VELA_CDROM"); image && *image) {
            const std::string why = ImageProblem(image);
            if (why.empty()) {
                image_ = Utf8ToCp932(image);
                known_.push_back({image_, image, true});
            } else if (refused_.insert(image).second) {
                std::fprintf(stderr, "velaplay: VELA_CDROM=%s is no disc: %s\n", image, why.c_str());
            }
        }
        std::vector<std::string> devices;
        if (char** list = cdio_get_devices(DRIVER_DEVICE)) {
            for (char** p = list; *p && devices.size() < MaxDevices; ++p) {
                std::error_code error;
                const std::filesystem::path path = std::filesystem::canonical(*p, error);
                if (!error) devices.push_back(path.string());
            }
            cdio_free_device_list(list);
        }
        std::sort(devices.begin(), devices.end());
        devices.erase(std::unique(devices.begin(), devices.end()), devices.end());
        for (const std::string& d : devices) known_.push_back({Utf8ToCp932(d), d, false});
        std::vector<std::string> names;
        for (const Known& k : known_) names.push_back(k.name);
        return names;
    }

    uint32_t Open(const std::string& Name, TargetId Notify, CdDeviceId& Id) override {
        const auto known = std::find_if(known_.begin(), known_.end(), [&](const Known& k) { return k.name == Name; });
        if (known == known_.end()) return CdErrorNoDevice;
        auto d = std::make_unique<Device>();
        if (!d->disc.Open(known->path, known->image ? ImageDriver(known->path) : DRIVER_DEVICE).empty())
            return CdErrorHardware;
        if (!d->disc.ReadToc().empty() && known->image) return CdErrorHardware;
        d->path = known->path;
        d->image = known->image;
        d->notify = Notify;
        d->sound = OpenSoundDevice();
        d->id = Id = next_++;
        devices_.push_back(std::move(d));
        return 0;
    }

    uint32_t Close(CdDeviceId Id) override {
        return std::erase_if(devices_, [&](const auto& d) { return Id != 0 && d->id == Id; }) ? 0 : CdErrorNoDevice;
    }

    uint32_t Mode(CdDeviceId Id, CdMode& M) override {
        uint32_t result;
        Device* d = Find(Id, result);
        if (!d) return result;
        M = d->disc.tracks.empty()           ? CdMode::NotReady
            : d->range && !d->range->Ended() ? CdMode::Playing
                                             : CdMode::Stopped;
        return 0;
    }

    // An image is always in; a drive's table of contents is read again when the drive says its
    // disc changed (not while a read holds the drive).
    uint32_t MediaPresent(CdDeviceId Id, bool& Present) override {
        uint32_t result;
        Device* d = Find(Id, result);
        if (!d) return result;
        if (!d->image) {
            std::unique_lock io(d->disc.io, std::try_to_lock);
            if (io && cdio_get_media_changed(d->disc.cdio) == 1) d->disc.ReadToc();
        }
        Present = !d->disc.tracks.empty();
        return 0;
    }

    uint32_t TrackCount(CdDeviceId Id, uint32_t& Count) override {
        uint32_t result;
        const Device* d = Loaded(Id, result);
        if (d) Count = uint32_t(d->disc.tracks.size());
        return result;
    }

    uint32_t TrackLength(CdDeviceId Id, uint32_t N, uint32_t& Msf) override {
        uint32_t result;
        const Device* d = Loaded(Id, result);
        if (!d) return result;
        if (N < 1 || N > d->disc.tracks.size()) return CdErrorOutOfRange;
        Msf = CdMsfOf(d->disc.tracks[N - 1]);
        return 0;
    }

    uint32_t Position(CdDeviceId Id, uint32_t& Point) override {
        uint32_t result;
        const Device* d = Loaded(Id, result);
        if (d) Point = CdPointOf(d->disc.tracks, At(*d));
        return result;
    }

    uint32_t Play(CdDeviceId Id, uint32_t From, uint32_t To) override {
        uint32_t result;
        Device* d = Loaded(Id, result);
        if (!d) return result;
        const std::vector<uint32_t>& tracks = d->disc.tracks;
        const std::optional<uint32_t> from = From == 0 ? At(*d) : CdFrameOf(tracks, From), to = CdFrameOf(tracks, To);
        if (!from || !to || *to < *from || !d->disc.audio[TmsfTrack(CdPointOf(tracks, *from)) - 1])
            return CdErrorOutOfRange;
        EndRange(*d);
        d->at = *from;
        d->range = std::make_unique<Range>(d->disc, *d->sound, d->disc.first + lsn_t(*from), d->disc.first + lsn_t(*to),
                                           Range::Target{d->notify, d->id, d->path}, SystemMixerService().CdLine());
        return 0;
    }

    uint32_t Seek(CdDeviceId Id, uint32_t To) override {
        uint32_t result;
        Device* d = Loaded(Id, result);
        if (!d) return result;
        const std::optional<uint32_t> to = CdFrameOf(d->disc.tracks, To);
        if (!to) return CdErrorOutOfRange;
        EndRange(*d);
        d->at = *to;
        return 0;
    }

    uint32_t Stop(CdDeviceId Id) override {
        uint32_t result;
        Device* d = Find(Id, result);
        if (d) EndRange(*d);
        return result;
    }

    std::string DriveSetting(const std::string&) override { return image_; }

    void LineChanged() override {
        const CdLineLevels levels = SystemMixerService().CdLine();
        for (const auto& d : devices_)
            if (d->range) d->range->SetLevels(levels);
    }

private:
    // Bounds the system's device list.
    static constexpr size_t MaxDevices = 64;
    struct Known {
        std::string name;  // as Drives lists it
        std::string path;  // the host's
        bool image;
    };
    // Members in the order they go: the range before the sound device and the disc it uses.
    struct Device {
        Disc disc;
        std::shared_ptr<SoundDevice> sound;
        std::string path;
        bool image = false;
        TargetId notify = 0;
        CdDeviceId id = 0;
        uint32_t at = 0;  // frames from track 1's start while nothing plays; where a range started
        std::unique_ptr<Range> range;
    };

    Device* Find(CdDeviceId Id, uint32_t& Result) {
        for (const auto& d : devices_)
            if (Id != 0 && d->id == Id) {
                Result = 0;
                return d.get();
            }
        Result = CdErrorNoDevice;
        return nullptr;
    }
    // An open device with a disc in.
    Device* Loaded(CdDeviceId Id, uint32_t& Result) {
        Device* d = Find(Id, Result);
        if (d && d->disc.tracks.empty()) {
            Result = CdErrorNotReady;
            return nullptr;
        }
        return d;
    }
    // Where the device is, in frames from track 1's start.
    static uint32_t At(const Device& D) { return D.range ? D.at + D.range->Sectors() : D.at; }
    // What plays is cut short (CdNotifyAborted) and the device stays where it got to.
    static void EndRange(Device& D) {
        if (!D.range) return;
        D.at = At(D);
        D.range->Abort();
        D.range.reset();
    }

    std::vector<Known> known_;
    std::set<std::string> refused_;  // disc images already said to be no disc
    std::string image_;  // the image's name as listed; "" when none is
    std::vector<std::unique_ptr<Device>> devices_;
    CdDeviceId next_ = 1;
};

}  // namespace

std::unique_ptr<CdAudio> CreateHostCdAudio() { return std::make_unique<HostCdAudio>(); }

}  // namespace platform
