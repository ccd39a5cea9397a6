// The sound device on SDL2 audio: one device at the output format whose callback takes the
// mixed PCM of the refill thread.
#include "platform/sound.h"

#include <SDL.h>
#include <dlfcn.h>

#include <cstdio>

namespace platform {
namespace {

// ALSA's library writes its complaints (no card, no configuration for one) to standard error
// while SDL probes it: its error handler becomes one that drops them, the player saying itself
// when there is no device. The library stays loaded, so that SDL's own load of it keeps the
// handler.
void DropAlsaError(const char*, int, const char*, int, const char*, ...) {}

void SilenceAlsa() {
    static void* const alsa = dlopen("libasound.so.2", RTLD_NOW);
    if (!alsa) return;
    if (auto setHandler = reinterpret_cast<int (*)(decltype(&DropAlsaError))>(dlsym(alsa, "snd_lib_error_set_handler")))
        setHandler(DropAlsaError);
}

class SdlSound : public FedSound {
public:
    // Opens SDL's default audio device, or else its dummy driver (silence).
    bool open() {
        if (!openDevice()) {
            std::fprintf(stderr, "velaplay: no sound device (%s); playing silently\n", SDL_GetError());
            SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, "dummy", SDL_HINT_OVERRIDE);
            const bool opened = openDevice();
            SDL_ResetHint(SDL_HINT_AUDIODRIVER);
            if (!opened) return false;
        }
        startRefill();
        SDL_PauseAudioDevice(device_, 0);
        return true;
    }

    ~SdlSound() override {
        if (device_) SDL_CloseAudioDevice(device_);
        stopRefill();
        quitAudio();
    }

private:
    void quitAudio() {
        if (!initialized_) return;
        initialized_ = false;
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        if (SDL_WasInit(0) == 0) SDL_Quit();
    }

    bool openDevice() {
        quitAudio();
        SilenceAlsa();
        initialized_ = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
        if (!initialized_) return false;
        SDL_AudioSpec want{};
        want.freq = int(OutputFormat.rate);
        want.format = AUDIO_S16SYS;
        want.channels = Uint8(OutputFormat.channels);
        want.samples = 1024;
        want.callback = [](void* self, Uint8* stream, int len) {
            static_cast<SdlSound*>(self)->consume(reinterpret_cast<int16_t*>(stream),
                                                  OutputFormat.framesIn(Bytes(len)));
        };
        want.userdata = this;
        device_ = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
        return device_ != 0;
    }

    SDL_AudioDeviceID device_ = 0;
    bool initialized_ = false;
};

}  // namespace

std::shared_ptr<SoundDevice> CreateSdlSoundDevice() {
    auto device = std::make_shared<SdlSound>();
    if (!device->open()) return nullptr;
    return device;
}

}  // namespace platform
