#pragma once
// The boundary between the player and its companion media library, libvela.so: the entries
// the player looks up by name and the stream callbacks the player hands to velaInit. Plain C
// types only; both sides include this header.
//
// Booleans passed to the library are -1 (true) and 0; a boolean the library returns is true
// when it is not 0. Item handles are opaque values the library made. Sizes and positions of
// streams are 64-bit so that archives beyond 2 GiB stream whole.
#include <cstdint>

extern "C" {

// The player's streams, seen from the library only through these; each call runs under the
// player's one lock for them. A null stream answers 0 and does nothing.
typedef int64_t (*VelaStreamGetSizeProc)(void* stream);
typedef int32_t (*VelaStreamReadProc)(void* stream, void* buffer, int32_t count);
typedef int64_t (*VelaStreamGetPosProc)(void* stream);
typedef int64_t (*VelaStreamSetPosProc)(void* stream, int64_t position);
// Keep and give back the floating-point control word around the library's own work.
typedef uint16_t (*VelaSaveFpuProc)(void);
typedef void (*VelaRestoreFpuProc)(void);

// The version the player requires.
#define VELA_LIBRARY_VERSION 109

typedef int32_t (*velaVersionProc)(void);
// The cells hold the main window's and the base panel's handles; the module and sound cells
// are the player's; the flag is always 0.
typedef void (*velaInitProc)(uintptr_t* mainWindow, uintptr_t* basePanel, void* module, void** soundDevice,
                             VelaStreamGetSizeProc getSize, VelaStreamReadProc read, VelaStreamGetPosProc getPos,
                             VelaStreamSetPosProc setPos, VelaSaveFpuProc saveFpu, VelaRestoreFpuProc restoreFpu,
                             int32_t flag);
typedef void (*velaFinalProc)(void);
typedef void (*velaOggmanSetUseThreadProc)(int32_t useThread);
// A window message for the library: window handle, message, wParam, lParam.
struct VelaMessage {
    uintptr_t window;
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
};
typedef void (*velaProcessEventProc)(const VelaMessage* message);
typedef void (*velaManagerProc)(void);  // velaVidmanSuspend, velaVidmanResume, velaWmpmanRestore, velaOggmanRestore

// Items. A handle is an opaque value the library made, 0 = no item; every item call with 0
// answers 0 (false) and does nothing. Times are milliseconds; volume and pan are DirectSound
// units (1/100 dB, 0 = full, -10000 = silent; pan -10000 left .. 10000 right).
typedef uintptr_t VelaHandle;
// velaWmpmanAdd: the whole file's bytes (the library copies them).
typedef VelaHandle (*velaAddMemoryProc)(const void* data, int32_t size);
// velaOggmanAdd, velaOggStrmanAdd: a player stream read through the callbacks; isOgg true for
// Ogg data, false for RIFF WAVE.
typedef VelaHandle (*velaAddStreamProc)(void* stream, int32_t isOgg);
// velaVidmanAdd: the file's name (for the library's own look-ups) and its stream.
typedef VelaHandle (*velaAddVideoProc)(const char* fileName, void* stream, int32_t capture);
// Why a video could not be made or stopped short for want of the host's resources: memory, or a
// thread. velaVidmanGetFailure answers for the last velaVidmanAdd of the calling thread (NONE
// when it made a video, or when the data is no video the library can decode);
// velaVideoGetFailure for a video, which has ended when it answers other than NONE.
#define VELA_FAILURE_NONE 0
#define VELA_FAILURE_MEMORY 1
#define VELA_FAILURE_THREADS 2
typedef int32_t (*velaVidmanGetFailureProc)(void);
// velaWmpmanDel, velaOggmanDel, velaOggStrmanDel, velaVidmanDel; and the Play and Pause of the
// velaWmp..., velaOgg... and velaVideo... families.
typedef void (*velaItemProc)(VelaHandle item);
// IsPlaying, IsPaused, IsEnd, GetLen, GetPosition, GetVol, GetPan, GetAutoRepeat of the three
// families; velaOggGetRepeatPos; velaVideoGetSourceWidth/Height, velaVideoGetVisible,
// velaVideoNeedPaint (true once for each frame that came on show since the last ask),
// velaVideoGetFailure; velaOggStrGetLen.
typedef int32_t (*velaItemGetProc)(VelaHandle item);
// SetPosition, SetVol, SetPan, SetAutoRepeat of the three families; velaOggSetRepeatPos;
// velaVideoSetVisible.
typedef void (*velaItemSetProc)(VelaHandle item, int32_t value);
// The decoder of velaOggStrmanAdd: its PCM format (an 18-byte WAVEFORMATEX; false = unusable
// data), PCM size and position in bytes, reads and seeks in the PCM bytes.
typedef int32_t (*velaOggStrGetFormatProc)(VelaHandle item, void* waveFormatEx);
typedef int64_t (*velaOggStrGetBytesProc)(VelaHandle item);  // velaOggStrGetSize, velaOggStrGetPos
typedef int32_t (*velaOggStrReadProc)(VelaHandle item, void* buffer, int32_t count);
typedef int64_t (*velaOggStrSetPosProc)(VelaHandle item, int64_t position);
// velaVideoSetRect: the part of the frame shown (source pixels) and where (panel pixels).
struct VelaRect {
    int32_t left, top, right, bottom;
};
typedef void (*velaVideoSetRectProc)(VelaHandle item, const VelaRect* source, const VelaRect* dest);
// A decoded video frame: Width x Height pixels of 32 bits, bytes blue, green, red and 255 in
// memory order, rows top first and Pitch bytes apart.
struct VelaFrame {
    const void* pixels;
    int32_t width, height, pitch;
};
// The most decoded pictures a video of Width x Height pixels holds at once (those decoded ahead
// of their time, kept in the decoder's format in no more bytes than as many of these, the one
// being converted and the two on show): as many as fit in 64 MiB, at least 3 and at most 34.
// The player charges its memory budget for them while the video is open.
static inline int32_t velaVideoPictures(int32_t width, int32_t height) {
    const int64_t bytes = int64_t(width > 0 ? width : 1) * (height > 0 ? height : 1) * 4;
    const int64_t fit = (int64_t(64) << 20) / bytes;
    return int32_t(fit < 3 ? 3 : fit > 34 ? 34 : fit);
}
// velaVideoGetDC: the frame on show, nullptr while none was decoded. The record and its pixels
// stay valid until the next call for that video on the main thread.
typedef const VelaFrame* (*velaVideoGetDCProc)(VelaHandle item);
// The frame grabber's callback: called on the video's decode thread with each frame as it comes
// on show (the record is valid only during the call).
typedef void (*VelaFrameProc)(void* owner, const VelaFrame* frame);
// velaVideoSetFrameCallback: installs the callback (nullptr removes it); once it returns, the old
// callback is no longer running and is never called again.
typedef void (*velaVideoSetFrameCallbackProc)(VelaHandle item, VelaFrameProc callback, void* owner);

// ---- The sound device ----
// What the player puts in the shared DirectSound cell (whose address velaInit received) once
// its DirectSound device runs: the voices of its one sound device, each pulling the PCM it
// plays from the library on the device's refill thread. The player keeps the device in the
// cell until after velaFinal.
typedef struct VelaVoice VelaVoice;
// Writes at most Capacity bytes of whole frames of the voice's PCM to Buffer and answers how
// many; sets *End to true (-1) when nothing follows them. Runs on the device's refill thread,
// never again once destroyVoice has returned.
typedef int32_t (*VelaVoicePullProc)(void* owner, void* buffer, int32_t capacity, int32_t* end);
// A stopped voice of linear PCM (8-bit unsigned or 16-bit signed, 1 or 2 channels, 100 to
// 200000 frames per second) that pulls from Owner; nullptr for another format.
typedef VelaVoice* (*VelaCreateVoiceProc)(const struct VelaSoundDevice* device, uint32_t rate, uint16_t bits,
                                          uint16_t channels, VelaVoicePullProc pull, void* owner);
// Waits for a pull in progress: the owner must not hold a lock its pull takes.
typedef void (*VelaVoiceProc)(VelaVoice* voice);          // destroyVoice, play, stop
typedef int32_t (*VelaVoiceGetProc)(VelaVoice* voice);    // ended: played to the end of its PCM
typedef void (*VelaVoiceSetProc)(VelaVoice* voice, int32_t value);  // setVolume, setPan
typedef int64_t (*VelaVoicePlayedProc)(VelaVoice* voice);  // frames played since it was made
struct VelaSoundDevice {
    VelaCreateVoiceProc createVoice;
    VelaVoiceProc destroyVoice;
    VelaVoiceProc play;
    VelaVoiceProc stop;
    VelaVoiceGetProc ended;
    VelaVoiceSetProc setVolume;  // 1/100 dB, -10000..0
    VelaVoiceSetProc setPan;     // -10000 left .. 10000 right
    VelaVoicePlayedProc played;
};

// The optional trace library, libvelalog.so.
typedef void (*VelaLogInitProc)(const char* fileName);
typedef void (*VelaLogWriteProc)(const char* text);
typedef void (*VelaLogFinalProc)(void);
}
