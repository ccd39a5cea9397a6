#pragma once
// A stand-in for the companion library's video family: one 160 x 120 film of 4 s (the length
// and size can be changed) that plays, pauses, seeks and ends as told, and hands frames of one
// grey to the installed frame callback when the test says. Install() binds it in place of the
// library; the destructor of the guard puts the old binding back.
#include "media/velabind.h"

#include <vector>

struct TFakeFilm {
    bool playing = false, paused = false, ended = false, visible = false;
    int32_t position = 0, volume = 0, pan = 0, plays = 0, pauses = 0, adds = 0, dels = 0, repeat = 0;
    int32_t length = 4000, width = 160, height = 120;
    int32_t lastCapture = 0;
    bool needPaint = false;
    VelaFrameProc callback = nullptr;
    void* owner = nullptr;
    VelaRect source{}, dest{};
    std::vector<uint32_t> frame;  // what velaVideoGetDC answers while not empty
    VelaFrame record{};
};
inline TFakeFilm Film;

// Hands the installed callback a frame of 8 x 6 pixels of grey Shade.
inline void FeedFilmFrame(uint8_t Shade) {
    std::vector<uint32_t> pixels(8 * 6, 0xFF000000u | Shade * 0x010101u);
    const VelaFrame frame{pixels.data(), 8, 6, 32};
    if (Film.callback) Film.callback(Film.owner, &frame);
}

class TFakeFilmLibrary {
public:
    TFakeFilmLibrary() : saved_(VelaLib) {
        Film = {};
        VelaLib.VidmanAdd = [](const char*, void*, int32_t Capture) -> VelaHandle {
            ++Film.adds;
            Film.lastCapture = Capture;
            return 1;
        };
        VelaLib.VidmanDel = [](VelaHandle) { ++Film.dels; };
        VelaLib.VidmanGetFailure = []() -> int32_t { return VELA_FAILURE_NONE; };
        VelaLib.VideoGetFailure = [](VelaHandle) -> int32_t { return VELA_FAILURE_NONE; };
        VelaLib.Video.Play = [](VelaHandle) { Film.playing = true, Film.paused = false, ++Film.plays; };
        VelaLib.Video.Pause = [](VelaHandle) { Film.playing = false, Film.paused = true, ++Film.pauses; };
        VelaLib.Video.IsPlaying = [](VelaHandle) -> int32_t { return Film.playing; };
        VelaLib.Video.IsPaused = [](VelaHandle) -> int32_t { return Film.paused; };
        VelaLib.Video.IsEnd = [](VelaHandle) -> int32_t { return Film.ended; };
        VelaLib.Video.GetLen = [](VelaHandle) { return Film.length; };
        VelaLib.Video.GetPosition = [](VelaHandle) { return Film.position; };
        VelaLib.Video.SetPosition = [](VelaHandle, int32_t V) { Film.position = V; };
        VelaLib.Video.GetVol = [](VelaHandle) { return Film.volume; };
        VelaLib.Video.SetVol = [](VelaHandle, int32_t V) { Film.volume = V; };
        VelaLib.Video.GetPan = [](VelaHandle) { return Film.pan; };
        VelaLib.Video.SetPan = [](VelaHandle, int32_t V) { Film.pan = V; };
        VelaLib.Video.GetAutoRepeat = [](VelaHandle) { return Film.repeat; };
        VelaLib.Video.SetAutoRepeat = [](VelaHandle, int32_t V) { Film.repeat = V; };
        VelaLib.VideoGetSourceWidth = [](VelaHandle) { return Film.width; };
        VelaLib.VideoGetSourceHeight = [](VelaHandle) { return Film.height; };
        VelaLib.VideoGetVisible = [](VelaHandle) -> int32_t { return Film.visible; };
        VelaLib.VideoSetVisible = [](VelaHandle, int32_t V) { Film.visible = V != 0; };
        VelaLib.VideoSetRect = [](VelaHandle, const VelaRect* S, const VelaRect* D) { Film.source = *S, Film.dest = *D; };
        VelaLib.VideoNeedPaint = [](VelaHandle) -> int32_t {
            const bool was = Film.needPaint;
            Film.needPaint = false;
            return was;
        };
        VelaLib.VideoGetDC = [](VelaHandle) -> const VelaFrame* {
            if (Film.frame.empty()) return nullptr;
            Film.record = {Film.frame.data(), Film.width, Film.height, Film.width * 4};
            return &Film.record;
        };
        VelaLib.VideoSetFrameCallback = [](VelaHandle, VelaFrameProc P, void* O) { Film.callback = P, Film.owner = O; };
    }
    ~TFakeFilmLibrary() { VelaLib = saved_; }
    TFakeFilmLibrary(const TFakeFilmLibrary&) = delete;
    TFakeFilmLibrary& operator=(const TFakeFilmLibrary&) = delete;

private:
    TVelaEntries saved_;
};
