#include "platform/midiout.h"

#include "platform/sound.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace platform {
namespace {

// The bytes a short message takes by its status byte: 3 for note, key pressure, controller and
// pitch-bend messages and song position, 2 for program change, channel pressure, time code
// and song select, else 1.
size_t ShortMsgLength(uint8_t Status) {
    if (Status < 0xF0) {
        const uint8_t kind = Status & 0xF0;
        return kind == 0xC0 || kind == 0xD0 ? 2 : 3;
    }
    if (Status == 0xF2) return 3;
    if (Status == 0xF1 || Status == 0xF3) return 2;
    return 1;
}

// The packed message (status in the low byte, then the data bytes) as its bytes.
std::vector<uint8_t> ShortMsgBytes(uint32_t Msg) {
    std::vector<uint8_t> bytes(ShortMsgLength(uint8_t(Msg)));
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(Msg >> (8 * i));
    return bytes;
}

}  // namespace

MidiOutCaps SynthCaps() {
    MidiOutCaps caps;
    caps.mid = 1;
    caps.pid = 1;
    caps.driverVersion = 0x0100;
    caps.name = "General MIDI synthesizer";
    caps.technology = MOD_SWSYNTH;
    caps.voices = 256;  // the synthesiser's polyphony
    caps.notes = 256;
    caps.channelMask = 0xFFFF;
    return caps;
}

// ---- The recorder ----

HeadlessMidiOut::HeadlessMidiOut(std::function<uint32_t()> Clock, MessageQueue* Queue)
    : clock_(std::move(Clock)), queue_(Queue ? Queue : &MainQueue()) {}

bool HeadlessMidiOut::deviceCaps(uint32_t Device, MidiOutCaps& Caps) {
    if (Device >= deviceCount()) return false;
    Caps = SynthCaps();
    return true;
}

const HeadlessMidiOut::Open* HeadlessMidiOut::find(MidiOutHandle Handle) const {
    for (const Open& open : opens_)
        if (open.handle == Handle) return &open;
    return nullptr;
}

void HeadlessMidiOut::record(Call C, MidiOutHandle Handle, std::vector<uint8_t> Bytes) {
    if (keepEntries > 0 && entries_.size() >= 2 * keepEntries)
        entries_.erase(entries_.begin(), entries_.end() - ptrdiff_t(keepEntries));
    entries_.push_back({clock_(), C, Handle, std::move(Bytes)});
}

void HeadlessMidiOut::notify(TargetId Target, uint32_t Message, MidiOutHandle Handle, intptr_t Tag) {
    if (std::find(heldKinds_.begin(), heldKinds_.end(), Message) != heldKinds_.end())
        held_.push_back({Target, Message, Handle, Tag});
    else
        queue_->Post(Target, Message, Handle, Tag);
}

void HeadlessMidiOut::returnLong(MidiOutHandle Handle) {
    for (auto it = held_.begin(); it != held_.end();) {
        if (it->message == MM_MOM_DONE && it->wParam == Handle) {
            queue_->Post(it->target, it->message, it->wParam, it->lParam);
            it = held_.erase(it);
        } else {
            ++it;
        }
    }
}

MidiOutHandle HeadlessMidiOut::open(int32_t Device, TargetId Target) {
    std::lock_guard lock(mutex_);
    if (failOpens_ || (Device != MidiMapper && (Device < 0 || uint32_t(Device) >= deviceCount()))) return 0;
    const MidiOutHandle handle = next_++;
    opens_.push_back({handle, Target});
    record(Call::Open, handle, {});
    notify(Target, MM_MOM_OPEN, handle, 0);
    return handle;
}

void HeadlessMidiOut::reset(MidiOutHandle Handle) {
    std::lock_guard lock(mutex_);
    if (!find(Handle)) return;
    record(Call::Reset, Handle, {});
    returnLong(Handle);
}

void HeadlessMidiOut::close(MidiOutHandle Handle) {
    std::lock_guard lock(mutex_);
    const Open* open = find(Handle);
    if (!open) return;
    const TargetId target = open->target;
    returnLong(Handle);
    opens_.erase(opens_.begin() + (open - opens_.data()));
    record(Call::Close, Handle, {});
    notify(target, MM_MOM_CLOSE, Handle, 0);
}

void HeadlessMidiOut::shortMsg(MidiOutHandle Handle, uint32_t Msg) {
    std::lock_guard lock(mutex_);
    if (find(Handle)) record(Call::Short, Handle, ShortMsgBytes(Msg));
}

bool HeadlessMidiOut::longMsg(MidiOutHandle Handle, const uint8_t* Data, size_t Size, intptr_t Tag) {
    std::lock_guard lock(mutex_);
    const Open* open = find(Handle);
    if (!open || Size == 0) return false;
    record(Call::Long, Handle, std::vector<uint8_t>(Data, Data + Size));
    notify(open->target, MM_MOM_DONE, Handle, Tag);
    return true;
}

std::vector<HeadlessMidiOut::Entry> HeadlessMidiOut::entries() const {
    std::lock_guard lock(mutex_);
    return entries_;
}

void HeadlessMidiOut::clearEntries() {
    std::lock_guard lock(mutex_);
    entries_.clear();
}

std::vector<std::vector<uint8_t>> HeadlessMidiOut::messages() const {
    std::lock_guard lock(mutex_);
    std::vector<std::vector<uint8_t>> out;
    for (const Entry& e : entries_)
        if (e.call == Call::Short || e.call == Call::Long) out.push_back(e.bytes);
    return out;
}

void HeadlessMidiOut::hold(uint32_t Message, bool Held) {
    std::lock_guard lock(mutex_);
    std::erase(heldKinds_, Message);
    if (Held) heldKinds_.push_back(Message);
}

void HeadlessMidiOut::releaseHeld() {
    std::lock_guard lock(mutex_);
    for (const QueuedMessage& m : held_) queue_->Post(m.target, m.message, m.wParam, m.lParam);
    held_.clear();
}

size_t HeadlessMidiOut::pendingLong() const {
    std::lock_guard lock(mutex_);
    return size_t(std::count_if(held_.begin(), held_.end(), [](const QueuedMessage& m) { return m.message == MM_MOM_DONE; }));
}

void HeadlessMidiOut::failOpens(bool Fail) {
    std::lock_guard lock(mutex_);
    failOpens_ = Fail;
}

// ---- The program's service ----

namespace {

std::mutex ServiceMutex;
std::weak_ptr<MidiOut> TheService;
std::shared_ptr<MidiOut> Override;

}  // namespace

std::string ChooseSoundFont(const std::string& Override, std::span<const char* const> Candidates) {
    const auto isFile = [](const std::string& Path) {
        std::error_code error;
        return !Path.empty() && std::filesystem::is_regular_file(Path, error);
    };
    if (isFile(Override)) return Override;
    for (const char* candidate : Candidates)
        if (isFile(candidate)) return candidate;
    return {};
}

std::string SynthSoundFont() {
    const char* chosen = std::getenv("VELA_SOUNDFONT");
    return ChooseSoundFont(chosen ? chosen : "", SynthSoundFonts);
}

std::shared_ptr<MidiOut> OpenMidiOut() {
    std::lock_guard lock(ServiceMutex);
    if (Override) return Override;
    std::shared_ptr<MidiOut> out = TheService.lock();
    if (out) return out;
    std::shared_ptr<SoundDevice> device = OpenSoundDevice();
    if (!device->headless()) {
        out = CreateSynthMidiOut(device);
        if (!out) {
            const std::string font = SynthSoundFont();
            const std::string why = font.empty() ? "no sound font: set VELA_SOUNDFONT or install timgm6mb-soundfont"
                                                 : "sound font " + font;
            std::fprintf(stderr, "velaplay: no MIDI synthesizer (%s); MIDI plays silently\n", why.c_str());
        }
    }
    if (!out) {
        auto recorder = std::make_shared<HeadlessMidiOut>();
        recorder->keepEntries = 10000;
        out = recorder;
    }
    TheService = out;
    return out;
}

void UseMidiOut(std::shared_ptr<MidiOut> Out) {
    std::lock_guard lock(ServiceMutex);
    Override = std::move(Out);
}

}  // namespace platform
