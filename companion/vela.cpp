// The companion media library, libvela.so. It starts with the player (velaInit keeps the
// player's cells and stream callbacks) and ends with it (velaFinal, which frees what is left
// of its items). The Ogg family plays Ogg Vorbis and RIFF WAVE from a player's stream, the
// Windows Media family the sound of ASF files from their bytes, both on voices of the sound
// device the player put in the shared cell (their PCM is pulled on that device's own thread;
// the library posts no window messages); the OggStr family
// decodes for the player's own mixer. Each video of the video family runs a decode thread of
// its own (companion/film.h), its sound on a voice of the same device.
//
// Only the entries below leave the library (it is built with hidden visibility); each is
// checked against the entry type the player binds it as.
#include "companion/decoder.h"
#include "companion/decoder_video.h"
#include "companion/film.h"
#include "companion/player.h"
#include "companion/sounditem.h"
#include "companion/vela_api.h"
#include "media/wave.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <type_traits>

#define VELA_EXPORT extern "C" __attribute__((visibility("default")))
#define VELA_CHECK(name, type) static_assert(std::is_same_v<decltype(&name), type>, #name)

namespace {

std::atomic<VelaHandle> NextHandle{1};

// The items of one family by handle. A handle the family did not make, or has deleted, finds
// nothing, so its calls answer 0.
template <class T>
class THandles {
public:
    VelaHandle Add(std::unique_ptr<T> Item) {
        if (!Item) return 0;
        const VelaHandle handle = NextHandle++;
        std::lock_guard lock(FMutex);
        FItems.emplace(handle, std::move(Item));
        return handle;
    }
    T* Find(VelaHandle Handle) {
        std::lock_guard lock(FMutex);
        const auto found = FItems.find(Handle);
        return found == FItems.end() ? nullptr : found->second.get();
    }
    // The item is freed outside the lock (a sound waits there for its voice's pull).
    void Delete(VelaHandle Handle) {
        std::unique_ptr<T> item;
        std::lock_guard lock(FMutex);
        const auto found = FItems.find(Handle);
        if (found == FItems.end()) return;
        item.swap(found->second);
        FItems.erase(found);
        // The lock is let go before the item (declared first) is freed.
    }
    size_t Count() {
        std::lock_guard lock(FMutex);
        return FItems.size();
    }
    template <class F>
    void ForEach(F Action) {
        std::lock_guard lock(FMutex);
        for (auto& [handle, item] : FItems) Action(*item);
    }
    void Clear() {
        std::map<VelaHandle, std::unique_ptr<T>> items;
        {
            std::lock_guard lock(FMutex);
            items.swap(FItems);
        }
    }

private:
    std::mutex FMutex;
    std::map<VelaHandle, std::unique_ptr<T>> FItems;
};

// A decoder of the OggStr family, read on the player's mixer thread while the main thread asks
// for its length.
struct TPcmReader {
    std::mutex mutex;
    std::unique_ptr<TDecoder> decoder;
};

THandles<TSoundItem> WmpItems, OggItems;
THandles<TFilm> Films;
THandles<TPcmReader> PcmReaders;
// Why the last velaVidmanAdd of the thread made no video. It lies in the static TLS glibc keeps for
// libraries opened at run time: in a dynamic TLS block the sanitizer tree's leak check takes the
// block for one of glibc's heap and reads a size before it, which crashes it at exit.
__attribute__((tls_model("initial-exec"))) thread_local int32_t LastAddFailure = VELA_FAILURE_NONE;

std::unique_ptr<TDecoder> OpenStreamDecoder(void* Stream, int32_t IsOgg) {
    if (!Stream || !Player.read) return nullptr;
    return IsOgg ? OpenOggDecoder(Stream) : OpenWaveDecoder(Stream);
}

}  // namespace

VELA_EXPORT int32_t velaVersion(void) { return VELA_LIBRARY_VERSION; }

VELA_EXPORT void velaInit(uintptr_t* mainWindow, uintptr_t* basePanel, void* module, void** soundDevice,
                          VelaStreamGetSizeProc getSize, VelaStreamReadProc read, VelaStreamGetPosProc getPos,
                          VelaStreamSetPosProc setPos, VelaSaveFpuProc saveFpu, VelaRestoreFpuProc restoreFpu,
                          int32_t flag) {
    Player = {mainWindow, basePanel, module, soundDevice, getSize, read, getPos, setPos, saveFpu, restoreFpu, flag};
}

VELA_EXPORT void velaFinal(void) {
    Films.Clear();
    WmpItems.Clear();
    OggItems.Clear();
    PcmReaders.Clear();
    Player = {};
}

// The Ogg sounds always pull on the sound device's thread.
VELA_EXPORT void velaOggmanSetUseThread(int32_t) {}

VELA_EXPORT void velaWmpmanProcessEvent(const VelaMessage*) {}
VELA_EXPORT void velaVidmanProcessEvent(const VelaMessage*) {}
VELA_EXPORT void velaVidmanSuspend(void) {
    Films.ForEach([](TFilm& Film) { Film.Suspend(true); });
}
VELA_EXPORT void velaVidmanResume(void) {
    Films.ForEach([](TFilm& Film) { Film.Suspend(false); });
}
// The voices of the player's device are never lost: there is nothing to restore.
VELA_EXPORT void velaWmpmanRestore(void) {}
VELA_EXPORT void velaOggmanRestore(void) {}

VELA_CHECK(velaVersion, velaVersionProc);
VELA_CHECK(velaInit, velaInitProc);
VELA_CHECK(velaFinal, velaFinalProc);
VELA_CHECK(velaOggmanSetUseThread, velaOggmanSetUseThreadProc);
VELA_CHECK(velaWmpmanProcessEvent, velaProcessEventProc);
VELA_CHECK(velaVidmanProcessEvent, velaProcessEventProc);
VELA_CHECK(velaVidmanSuspend, velaManagerProc);
VELA_CHECK(velaVidmanResume, velaManagerProc);
VELA_CHECK(velaWmpmanRestore, velaManagerProc);
VELA_CHECK(velaOggmanRestore, velaManagerProc);

// ---- Adding and deleting items ----

VELA_EXPORT VelaHandle velaWmpmanAdd(const void* data, int32_t size) {
    if (!data || size <= 0 || !Player.SoundDevice()) return 0;
    const auto* bytes = static_cast<const uint8_t*>(data);
    return WmpItems.Add(
        TSoundItem::Create(OpenWindowsMediaDecoder(std::vector<uint8_t>(bytes, bytes + size)), Player.SoundDevice()));
}

VELA_EXPORT VelaHandle velaOggmanAdd(void* stream, int32_t isOgg) {
    const VelaSoundDevice* device = Player.SoundDevice();
    return device ? OggItems.Add(TSoundItem::Create(OpenStreamDecoder(stream, isOgg), device)) : 0;
}

VELA_EXPORT VelaHandle velaOggStrmanAdd(void* stream, int32_t isOgg) {
    std::unique_ptr<TDecoder> decoder = OpenStreamDecoder(stream, isOgg);
    if (!decoder) return 0;
    auto reader = std::make_unique<TPcmReader>();
    reader->decoder = std::move(decoder);
    return PcmReaders.Add(std::move(reader));
}

// The video is read from the stream; its name and the capture flag change nothing here (every
// video hands over its frames, and the player draws a windowed one itself).
VELA_EXPORT VelaHandle velaVidmanAdd(const char*, void* stream, int32_t) {
    LastAddFailure = VELA_FAILURE_NONE;
    if (!stream || !Player.read) return 0;
    if (Films.Count() >= MaxFilms) {
        LastAddFailure = VELA_FAILURE_THREADS;
        return 0;
    }
    // Nothing unwinds into the player: a film that cannot be made (no thread, no memory) is none,
    // and says why.
    try {
        std::unique_ptr<TVideoDecoder> decoder = TVideoDecoder::Open(std::make_unique<TPlayerStream>(stream));
        return decoder ? Films.Add(std::make_unique<TFilm>(std::move(decoder), Player.SoundDevice())) : 0;
    } catch (...) {
        LastAddFailure = CurrentFailure();
        return 0;
    }
}
VELA_EXPORT int32_t velaVidmanGetFailure(void) { return LastAddFailure; }
VELA_EXPORT void velaWmpmanDel(VelaHandle item) { WmpItems.Delete(item); }
VELA_EXPORT void velaOggmanDel(VelaHandle item) { OggItems.Delete(item); }
VELA_EXPORT void velaOggStrmanDel(VelaHandle item) { PcmReaders.Delete(item); }
VELA_EXPORT void velaVidmanDel(VelaHandle item) { Films.Delete(item); }
VELA_CHECK(velaWmpmanAdd, velaAddMemoryProc);
VELA_CHECK(velaOggmanAdd, velaAddStreamProc);
VELA_CHECK(velaOggStrmanAdd, velaAddStreamProc);
VELA_CHECK(velaVidmanAdd, velaAddVideoProc);
VELA_CHECK(velaVidmanGetFailure, velaVidmanGetFailureProc);
VELA_CHECK(velaWmpmanDel, velaItemProc);
VELA_CHECK(velaOggmanDel, velaItemProc);
VELA_CHECK(velaOggStrmanDel, velaItemProc);
VELA_CHECK(velaVidmanDel, velaItemProc);

// ---- The sound families ----

// Each operation of a family's item; an unknown handle does nothing and answers 0.
#define VELA_SOUND_PROC(items, name, call)            \
    VELA_EXPORT void name(VelaHandle item) {          \
        if (TSoundItem* sound = items.Find(item)) call; \
    }                                                 \
    VELA_CHECK(name, velaItemProc)
#define VELA_SOUND_GET(items, name, value)                        \
    VELA_EXPORT int32_t name(VelaHandle item) {                   \
        TSoundItem* sound = items.Find(item);                     \
        return sound ? int32_t(value) : 0;                        \
    }                                                             \
    VELA_CHECK(name, velaItemGetProc)
#define VELA_SOUND_SET(items, name, call)                       \
    VELA_EXPORT void name(VelaHandle item, int32_t value) {     \
        if (TSoundItem* sound = items.Find(item)) call;         \
    }                                                           \
    VELA_CHECK(name, velaItemSetProc)
// Booleans go out as -1 and 0.
#define VELA_SOUND_FAMILY(items, family)                                                         \
    VELA_SOUND_PROC(items, vela##family##Play, sound->Play());                                  \
    VELA_SOUND_PROC(items, vela##family##Pause, sound->Pause());                                \
    VELA_SOUND_GET(items, vela##family##IsPlaying, -sound->IsPlaying());                        \
    VELA_SOUND_GET(items, vela##family##IsPaused, -sound->IsPaused());                          \
    VELA_SOUND_GET(items, vela##family##IsEnd, -sound->IsEnd());                                \
    VELA_SOUND_GET(items, vela##family##GetLen, sound->GetLen());                               \
    VELA_SOUND_GET(items, vela##family##GetPosition, sound->GetPosition());                     \
    VELA_SOUND_GET(items, vela##family##GetVol, sound->GetVol());                               \
    VELA_SOUND_GET(items, vela##family##GetPan, sound->GetPan());                               \
    VELA_SOUND_GET(items, vela##family##GetAutoRepeat, -sound->GetAutoRepeat());                \
    VELA_SOUND_SET(items, vela##family##SetPosition, sound->SetPosition(value));                \
    VELA_SOUND_SET(items, vela##family##SetVol, sound->SetVol(value));                          \
    VELA_SOUND_SET(items, vela##family##SetPan, sound->SetPan(value));                          \
    VELA_SOUND_SET(items, vela##family##SetAutoRepeat, sound->SetAutoRepeat(value != 0))

VELA_SOUND_FAMILY(WmpItems, Wmp);
VELA_SOUND_FAMILY(OggItems, Ogg);
VELA_SOUND_GET(OggItems, velaOggGetRepeatPos, sound->GetRepeatPos());
VELA_SOUND_SET(OggItems, velaOggSetRepeatPos, sound->SetRepeatPos(value));

// ---- The video family ----

#define VELA_FILM_PROC(name, call)                  \
    VELA_EXPORT void name(VelaHandle item) {        \
        if (TFilm* film = Films.Find(item)) call;   \
    }                                               \
    VELA_CHECK(name, velaItemProc)
#define VELA_FILM_GET(name, value)                  \
    VELA_EXPORT int32_t name(VelaHandle item) {     \
        TFilm* film = Films.Find(item);             \
        return film ? int32_t(value) : 0;           \
    }                                               \
    VELA_CHECK(name, velaItemGetProc)
#define VELA_FILM_SET(name, call)                             \
    VELA_EXPORT void name(VelaHandle item, int32_t value) {   \
        if (TFilm* film = Films.Find(item)) call;             \
    }                                                         \
    VELA_CHECK(name, velaItemSetProc)

VELA_FILM_PROC(velaVideoPlay, film->Play());
VELA_FILM_PROC(velaVideoPause, film->Pause());
VELA_FILM_GET(velaVideoIsPlaying, -film->IsPlaying());
VELA_FILM_GET(velaVideoIsPaused, -film->IsPaused());
VELA_FILM_GET(velaVideoIsEnd, -film->IsEnd());
VELA_FILM_GET(velaVideoGetLen, film->GetLen());
VELA_FILM_GET(velaVideoGetPosition, film->GetPosition());
VELA_FILM_GET(velaVideoGetVol, film->GetVol());
VELA_FILM_GET(velaVideoGetPan, film->GetPan());
VELA_FILM_GET(velaVideoGetAutoRepeat, -film->GetAutoRepeat());
VELA_FILM_SET(velaVideoSetPosition, film->SetPosition(value));
VELA_FILM_SET(velaVideoSetVol, film->SetVol(value));
VELA_FILM_SET(velaVideoSetPan, film->SetPan(value));
VELA_FILM_SET(velaVideoSetAutoRepeat, film->SetAutoRepeat(value != 0));
VELA_FILM_GET(velaVideoGetSourceWidth, film->Width());
VELA_FILM_GET(velaVideoGetSourceHeight, film->Height());
VELA_FILM_GET(velaVideoGetVisible, -film->GetVisible());
VELA_FILM_SET(velaVideoSetVisible, film->SetVisible(value != 0));
VELA_FILM_GET(velaVideoNeedPaint, -film->NeedPaint());
VELA_FILM_GET(velaVideoGetFailure, film->Failure());
// The player places a windowed video itself: the rectangles are not the library's business.
VELA_EXPORT void velaVideoSetRect(VelaHandle, const VelaRect*, const VelaRect*) {}
VELA_CHECK(velaVideoSetRect, velaVideoSetRectProc);

VELA_EXPORT const VelaFrame* velaVideoGetDC(VelaHandle item) {
    TFilm* film = Films.Find(item);
    return film ? film->GetDC() : nullptr;
}
VELA_CHECK(velaVideoGetDC, velaVideoGetDCProc);

VELA_EXPORT void velaVideoSetFrameCallback(VelaHandle item, VelaFrameProc callback, void* owner) {
    if (TFilm* film = Films.Find(item)) film->SetFrameCallback(callback, owner);
}
VELA_CHECK(velaVideoSetFrameCallback, velaVideoSetFrameCallbackProc);

// ---- The decoder of the player's own mixer: PCM bytes in whole frames ----

namespace {

// Runs Action on the reader's decoder under its lock; 0 for an unknown handle, and for a decoder
// the host refused memory (nothing unwinds into the player's mixer thread).
template <class F>
auto WithDecoder(VelaHandle Item, F Action) -> decltype(Action(std::declval<TDecoder&>())) {
    TPcmReader* reader = PcmReaders.Find(Item);
    if (!reader) return 0;
    std::lock_guard lock(reader->mutex);
    try {
        return Action(*reader->decoder);
    } catch (...) {
        return 0;
    }
}

}  // namespace

VELA_EXPORT int32_t velaOggStrGetFormat(VelaHandle item, void* waveFormatEx) {
    return WithDecoder(item, [&](TDecoder& d) {
        if (!waveFormatEx) return 0;
        TWaveFormatEx format;
        MakePCMWaveFormat(format, d.Shape().rate, d.Shape().bits, d.Shape().channels);
        std::memcpy(waveFormatEx, &format, sizeof format);
        return -1;
    });
}

VELA_EXPORT int64_t velaOggStrGetSize(VelaHandle item) {
    return WithDecoder(item, [](TDecoder& d) { return d.Length() * d.Shape().frameBytes(); });
}

VELA_EXPORT int64_t velaOggStrGetPos(VelaHandle item) {
    return WithDecoder(item, [](TDecoder& d) { return d.Position() * d.Shape().frameBytes(); });
}

VELA_EXPORT int32_t velaOggStrGetLen(VelaHandle item) {
    return WithDecoder(item, [](TDecoder& d) { return int32_t(d.MsOf(d.Length())); });
}

// A count short of a whole frame reads nothing.
VELA_EXPORT int32_t velaOggStrRead(VelaHandle item, void* buffer, int32_t count) {
    return WithDecoder(item, [&](TDecoder& d) {
        const int32_t frame = d.Shape().frameBytes();
        if (!buffer || count < frame) return 0;
        return int32_t(d.Read(static_cast<uint8_t*>(buffer), count / frame) * frame);
    });
}

// A position inside a frame goes to the frame's start.
VELA_EXPORT int64_t velaOggStrSetPos(VelaHandle item, int64_t position) {
    return WithDecoder(item, [&](TDecoder& d) {
        d.Seek(position / d.Shape().frameBytes());
        return d.Position() * d.Shape().frameBytes();
    });
}

VELA_CHECK(velaOggStrGetFormat, velaOggStrGetFormatProc);
VELA_CHECK(velaOggStrGetSize, velaOggStrGetBytesProc);
VELA_CHECK(velaOggStrGetPos, velaOggStrGetBytesProc);
VELA_CHECK(velaOggStrGetLen, velaItemGetProc);
VELA_CHECK(velaOggStrRead, velaOggStrReadProc);
VELA_CHECK(velaOggStrSetPos, velaOggStrSetPosProc);
