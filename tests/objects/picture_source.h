#pragma once
// Pictures made in memory for the image cache, served by name (without regard to case), with
// the decodes counted.
#include "core/sysutils.h"
#include "graphics/miras.h"
#include "objects/vitemex_mira.h"

#include <map>
#include <memory>
#include <utility>

constexpr uint32_t KeyPixel = 0x0000FF;
// One 24-bit frame; a keyed one has its key (blue unless said) along its top row and left column.
struct TFakeFrame {
    int32_t W, H, Delay;
    bool Keyed;
    uint32_t Key = KeyPixel;
};
inline uint32_t PixelOf(int Frame, int32_t X, int32_t Y) { return uint32_t((Frame + 1) << 20 | X << 12 | Y << 4); }

class TPictureSource : public TMiraSource {
public:
    std::map<std::string, std::vector<TFakeFrame>> Files;  // by lower-case name
    int Decodes = 0;

    bool FileExists(const std::string& File, bool) override { return Files.contains(AnsiLowerCase(File)); }
    void Load(TMiraFrameList& List, const std::string& File) override {
        ++Decodes;
        for (const TFakeFrame& frame : Files.at(AnsiLowerCase(File))) {
            TMiraFrame& f = *List.AddFrame();
            f.TransPixel = frame.Keyed ? int32_t(frame.Key) : -1;
            f.SetupImage(frame.W, frame.H, 24, nullptr, 0);
            f.Delay = frame.Delay;
            for (int32_t y = 0; y < frame.H; ++y)
                for (int32_t x = 0; x < frame.W; ++x)
                    f.Image.SetPixel(x, y, frame.Keyed && (x == 0 || y == 0) ? frame.Key
                                                                            : PixelOf(List.Count() - 1, x, y));
        }
    }
};

// MiraMan for one test, served by a TPictureSource; the cache the object layer made, if any,
// comes back afterwards.
struct TPictureCache {
    TPictureCache() : Source(new TPictureSource), Saved(std::exchange(MiraMan, new TMiraCollection)) {
        MiraMan->SetSource(std::unique_ptr<TMiraSource>(Source));
    }
    ~TPictureCache() { delete std::exchange(MiraMan, Saved); }
    TPictureSource* Source;
    TMiraCollection* Saved;
};

inline std::unique_ptr<TDIBX> Canvas(int32_t W, int32_t H, uint32_t Fill) {
    auto canvas = std::make_unique<TDIBX>();
    canvas->SetSize(W, H, 32);
    canvas->Fill(int32_t(Fill));
    return canvas;
}
