#pragma once
// Pictures made in memory for the image cache, served by name (without regard to case), with
// the decodes counted.
#include "core/sysutils.h"
#include "graphics/miras.h"
#include "objects/vitemex_mira.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

// One 24-bit frame. A keyed frame has the blue key 0x0000FF along its top row and left column,
// so its content is {1, 1, W, H}; every other pixel is PixelOf(frame, x, y).
struct TFrameSpec {
    int32_t W, H, Delay;
    bool Keyed;
};

inline uint32_t PixelOf(int Frame, int32_t X, int32_t Y) { return uint32_t((Frame + 1) << 20 | X << 12 | Y << 4); }
constexpr uint32_t KeyPixel = 0x0000FF;  // raw 0x00RRGGBB: blue

class TPictureSource : public TMiraSource {
public:
    std::map<std::string, std::vector<TFrameSpec>> Files;  // by lower-case name
    int Decodes = 0;

    bool FileExists(const std::string& File, bool) override { return Files.contains(AnsiLowerCase(File)); }
    void Load(TMiraFrameList& List, const std::string& File) override {
        ++Decodes;
        const std::vector<TFrameSpec>& frames = Files.at(AnsiLowerCase(File));
        for (size_t i = 0; i < frames.size(); ++i) {
            const TFrameSpec& spec = frames[i];
            TMiraFrame& f = *List.AddFrame();
            f.TransPixel = spec.Keyed ? int32_t(KeyPixel) : -1;
            f.SetupImage(spec.W, spec.H, 24, nullptr, 0);
            f.Delay = spec.Delay;
            for (int32_t y = 0; y < spec.H; ++y)
                for (int32_t x = 0; x < spec.W; ++x)
                    f.Image.SetPixel(x, y, spec.Keyed && (x == 0 || y == 0) ? KeyPixel : PixelOf(int(i), x, y));
        }
    }
};

// MiraMan for a test, served by a TPictureSource.
class TPictureCache {
public:
    TPictureCache() {
        MiraMan = new TMiraCollection;
        auto source = std::make_unique<TPictureSource>();
        Source = source.get();
        MiraMan->SetSource(std::move(source));
    }
    ~TPictureCache() {
        delete MiraMan;
        MiraMan = nullptr;
    }
    TPictureCache(const TPictureCache&) = delete;
    TPictureCache& operator=(const TPictureCache&) = delete;

    TPictureSource* Source;
};

// A 32-bit memory surface filled with Fill.
inline std::unique_ptr<TDIBX> Canvas(int32_t W, int32_t H, uint32_t Fill) {
    auto canvas = std::make_unique<TDIBX>();
    canvas->SetSize(W, H, 32);
    canvas->FillRect(canvas->GetBoundsRect(), int32_t(Fill));
    return canvas;
}
