// The sound device on SDL2 audio: one device at the output format whose callback takes the
// mixed PCM of the refill thread.
#include "platform/sound.h"

#include <SDL.h>

#include <cstdio>

namespace platform {
namespace {

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
