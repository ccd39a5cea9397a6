// MIDI output on FluidSynth: one synthesiser with the General MIDI sound font, rendered at the
// output format into a streamed voice of the sound device. Its calls are thread-safe, so the
// sequencer's thread plays it while the refill thread renders it.
#include "platform/midiout.h"
#include "platform/sound.h"

#include <fluidsynth.h>

#include <algorithm>

namespace platform {
namespace {

class SynthMidiOut : public MidiOut, private SoundStream {
public:
    explicit SynthMidiOut(std::shared_ptr<SoundDevice> device) : device_(std::move(device)) {}

    ~SynthMidiOut() override {
        voice_.reset();  // no pull runs past this
        if (synth_) delete_fluid_synth(synth_);
        if (settings_) delete_fluid_settings(settings_);
    }

    bool start() {
        // The library's warnings about the font's contents are no business of the player's.
        for (int level : {FLUID_WARN, FLUID_INFO, FLUID_DBG}) fluid_set_log_function(level, nullptr, nullptr);
        settings_ = new_fluid_settings();
        if (!settings_) return false;
        fluid_settings_setnum(settings_, "synth.sample-rate", double(OutputFormat.rate));
        fluid_settings_setnum(settings_, "synth.gain", double(SynthGain));
        synth_ = new_fluid_synth(settings_);
        const std::string font = SynthSoundFont();
        if (!synth_ || font.empty() || fluid_synth_sfload(synth_, font.c_str(), 1) == FLUID_FAILED) return false;
        voice_ = device_->createStream(OutputFormat, *this);
        return voice_ != nullptr;
    }

    uint32_t deviceCount() override { return 1; }

    bool deviceCaps(uint32_t Device, MidiOutCaps& Caps) override {
        if (Device != 0) return false;
        Caps = SynthCaps();
        return true;
    }

    MidiOutHandle open(int32_t Device, TargetId Target) override {
        if (Device != MidiMapper && Device != 0) return 0;
        std::lock_guard lock(mutex_);
        const MidiOutHandle handle = next_++;
        opens_.push_back({handle, Target});
        if (opens_.size() == 1) voice_->play();
        MainQueue().Post(Target, MM_MOM_OPEN, handle, 0);
        return handle;
    }

    void reset(MidiOutHandle Handle) override {
        std::lock_guard lock(mutex_);
        if (find(Handle)) silence();
    }

    void close(MidiOutHandle Handle) override {
        std::lock_guard lock(mutex_);
        const auto it = std::find_if(opens_.begin(), opens_.end(), [Handle](const Open& o) { return o.handle == Handle; });
        if (it == opens_.end()) return;
        const TargetId target = it->target;
        opens_.erase(it);
        if (opens_.empty()) {
            silence();
            voice_->stop();
        }
        MainQueue().Post(target, MM_MOM_CLOSE, Handle, 0);
    }

    void shortMsg(MidiOutHandle Handle, uint32_t Msg) override {
        {
            std::lock_guard lock(mutex_);
            if (!find(Handle)) return;
        }
        const int channel = int(Msg & 0x0F), d1 = int(Msg >> 8 & 0x7F), d2 = int(Msg >> 16 & 0x7F);
        switch (Msg & 0xF0) {
            case 0x80: fluid_synth_noteoff(synth_, channel, d1); break;
            case 0x90: fluid_synth_noteon(synth_, channel, d1, d2); break;
            case 0xA0: fluid_synth_key_pressure(synth_, channel, d1, d2); break;
            case 0xB0: fluid_synth_cc(synth_, channel, d1, d2); break;
            case 0xC0: fluid_synth_program_change(synth_, channel, d1); break;
            case 0xD0: fluid_synth_channel_pressure(synth_, channel, d1); break;
            case 0xE0: fluid_synth_pitch_bend(synth_, channel, d1 | d2 << 7); break;
            default: break;  // system messages mean nothing to the synthesiser
        }
    }

    bool longMsg(MidiOutHandle Handle, const uint8_t* Data, size_t Size, intptr_t Tag) override {
        TargetId target;
        {
            std::lock_guard lock(mutex_);
            const Open* open = find(Handle);
            if (!open || Size == 0) return false;
            target = open->target;
        }
        // An exclusive message goes in without its F0 and F7; anything else is not played.
        if (Size >= 2 && Data[0] == 0xF0 && Data[Size - 1] == 0xF7)
            fluid_synth_sysex(synth_, reinterpret_cast<const char*>(Data + 1), int(Size - 2), nullptr, nullptr, nullptr, 0);
        MainQueue().Post(target, MM_MOM_DONE, Handle, Tag);
        return true;
    }

private:
    struct Open {
        MidiOutHandle handle;
        TargetId target;
    };

    const Open* find(MidiOutHandle Handle) const {
        for (const Open& open : opens_)
            if (open.handle == Handle) return &open;
        return nullptr;
    }

    // What a reset does: every note off, and the sustain pedal up.
    void silence() {
        for (int channel = 0; channel < 16; ++channel) fluid_synth_cc(synth_, channel, 64, 0);
        fluid_synth_all_notes_off(synth_, -1);
    }

    Pulled pull(uint8_t* buffer, Bytes capacity) override {
        const Frames frames = OutputFormat.framesIn(capacity);
        fluid_synth_write_s16(synth_, int(frames.value), buffer, 0, 2, buffer, 1, 2);
        return {OutputFormat.bytesOf(frames), false};
    }

    std::shared_ptr<SoundDevice> device_;
    fluid_settings_t* settings_ = nullptr;
    fluid_synth_t* synth_ = nullptr;
    std::mutex mutex_;
    std::vector<Open> opens_;
    MidiOutHandle next_ = 1;
    std::unique_ptr<StreamVoice> voice_;
};

}  // namespace

std::shared_ptr<MidiOut> CreateSynthMidiOut(std::shared_ptr<SoundDevice> Device) {
    auto out = std::make_shared<SynthMidiOut>(std::move(Device));
    if (!out->start()) return nullptr;
    return out;
}

}  // namespace platform
