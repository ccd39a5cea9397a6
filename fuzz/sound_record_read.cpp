// Sound records of save data from arbitrary bytes (the first byte picks the save version, the rest
// is the record), read into a sound object of the first layer over stand-ins of the sound
// managers (no device is opened): a read either succeeds, and the sound then writes out a form
// that reads back and writes the same and steps with the scene, once as it is and once with its
// item at its end; anything else raises one of the engine's own errors. Every item goes back to
// its manager with the scene. The files bgm.ogg,
// song.mid and voice.wma exist (the Windows Media sounds are 2 s long: a one-shot one is saved
// stopped), the other sounds 10 s. Seed corpus: make_record_corpus.py, from the records of
// tests/tools/sound_records.py.
#include "fuzz/harness.h"
#include "objects/vitemex_sound.h"
#include "platform/cdaudio.h"
#include "platform/midiout.h"
#include "platform/mixer.h"
#include "tests/common/fake_sound.h"

namespace {

// Puts the stand-ins in place, once per process, over the headless MIDI out, CD drives and
// system mixer.
void UseFakeManagers() {
    if (OggMan) return;
    platform::UseMidiOut(std::make_shared<platform::HeadlessMidiOut>());
    platform::SetCdAudioService(std::make_unique<platform::HeadlessCdAudio>());
    platform::SetSystemMixerService(std::make_unique<platform::SystemMixer>(std::vector<platform::MixerDevice>{}));
    auto* wmp = new TFakeSoundManager<TWmpManager>;
    wmp->Length = 2000;
    WmpMan = wmp;
    OggMan = new TFakeSoundManager<TOggManager>;
    CddaMan = new TFakeSoundManager<TCddaManager>;
    MidiMan = new TFakeSoundManager<TMidiManager>;
}

void EndItems() {
    for (TSoundManager* manager : SoundManagers())
        for (int32_t i = 0; i < manager->Count(); ++i) static_cast<TFakeSoundItem*>(manager->GetItem(i))->ended = true;
}

}  // namespace

int TestOneInput(const uint8_t* Data, size_t Size) {
    UseFakeManagers();
    {
        fuzz::TWorld world;
        for (const char* file : {"bgm.ogg", "song.mid", "voice.wma"}) world.AddFile(file, "");
        if (fuzz::LoadSceneRecord<TVelaSound>(Data, Size)) {
            fuzz::StepDrawAndHitTest();
            EndItems();
            fuzz::StepDrawAndHitTest();
        }
    }
    for (TSoundManager* manager : SoundManagers()) fuzz::Check(manager->Count() == 0);
    return 0;
}
