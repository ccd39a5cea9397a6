#pragma once
// What the library keeps of the player from velaInit to velaFinal, and the player's streams
// seen as streams of our own through the player's callbacks.
#include "companion/vela_api.h"
#include "core/streams.h"

struct TPlayerLink {
    uintptr_t* mainWindow = nullptr;
    uintptr_t* basePanel = nullptr;
    void* module = nullptr;
    void** soundDevice = nullptr;
    VelaStreamGetSizeProc getSize = nullptr;
    VelaStreamReadProc read = nullptr;
    VelaStreamGetPosProc getPos = nullptr;
    VelaStreamSetPosProc setPos = nullptr;
    VelaSaveFpuProc saveFpu = nullptr;
    VelaRestoreFpuProc restoreFpu = nullptr;
    int32_t flag = 0;

    // The sound device the player put in the shared cell; nullptr while there is none.
    const VelaSoundDevice* SoundDevice() const {
        return soundDevice ? static_cast<const VelaSoundDevice*>(*soundDevice) : nullptr;
    }
};
extern TPlayerLink Player;

// A player's stream, read through the callbacks; it writes nothing. Without a started library
// it is empty.
class TPlayerStream : public TStream {
public:
    explicit TPlayerStream(void* Stream) : FStream(Stream) {}
    int64_t Read(void* Buffer, int64_t Count) override;
    int64_t Write(const void*, int64_t) override { return 0; }
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
    int64_t Size() override;

private:
    void* FStream;
};
