// One tick of a film playing in an 800 x 600 root: 100 image tracks, each sliding a masked
// 64 x 64 picture from the image cache across the screen while fading it from opaque to half,
// applied to their image objects, then the root's step and the drawing of the dirty rectangles
// (the background fill and every image that meets them, through the masked blended draw).
// Beside it, in the same iterations, the same 100 pictures at the same places and alphas as
// pixman OVER composites (premultiplied picture, constant alpha mask) onto an 800 x 600 image:
// "x_pixman" is the whole tick's time over pixman's draws alone.
#include "graphics/miras.h"
#include "objects/vitemex_mira.h"
#include "objects/vitems.h"
#include "platform/clock.h"
#include "text/frms_images.h"

#include <benchmark/benchmark.h>
#include <pixman.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace {

constexpr int kScreenW = 800, kScreenH = 600, kSide = 64, kCount = 100, kLength = 600;

uint32_t Colour(int x, int y) { return uint32_t(x * 2654435761u ^ y * 40503u) & 0x00FFFFFF; }
// A disc, opaque inside and fading at its rim: the picture's corners are transparent.
uint8_t AlphaOf(int x, int y) {
    const double r = std::hypot(x - kSide / 2 + 0.5, y - kSide / 2 + 0.5);
    return uint8_t(std::clamp((kSide / 2 - r) * 32, 0.0, 255.0));
}

// Where track I begins and ends; its alpha fades from 255 to 128.
TPoint From(int I) { return {(I * 73) % (kScreenW - kSide), (I * 41) % (kScreenH - kSide)}; }
TPoint To(int I) { return {(I * 137 + 300) % (kScreenW - kSide), (I * 89 + 200) % (kScreenH - kSide)}; }
constexpr int32_t kEndAlpha = 128;

// The disc picture for every name the cache asks for.
class TDiscSource : public TMiraSource {
public:
    bool FileExists(const std::string&, bool) override { return true; }
    void Load(TMiraFrameList& List, const std::string&) override {
        TMiraFrame& f = *List.AddFrame();
        f.TransPixel = -1;
        f.SetupImage(kSide, kSide, 32, nullptr, 0);
        f.Image.NeedAlpha();
        for (int y = 0; y < kSide; ++y)
            for (int x = 0; x < kSide; ++x) {
                f.Image.SetPixel(x, y, Colour(x, y));
                f.Image.Alpha->SetPixel(x, y, AlphaOf(x, y));
            }
    }
};

struct TScene {
    std::unique_ptr<TFilmManager> Film;
    int32_t Tick = 0;

    TScene() {
        VelaInitialize();
        MiraMan->SetSource(std::make_unique<TDiscSource>());
        Bases->SetWidth(kScreenW);
        Bases->SetHeight(kScreenH);
        Bases->SetColor(0x403020);
        Film = std::make_unique<TFilmManager>();
        Film->SetTarget(Bases);
        for (int i = 0; i < kCount; ++i) {
            auto& track = static_cast<TImageFrameList&>(Film->Add(std::make_unique<TImageFrameList>(*Film)));
            track.Length = kLength;
            track.SetFileName("disc.png");
            track.SetPoint(TTrackProp::Position, false, From(i));
            track.SetPoint(TTrackProp::Position, true, To(i));
            track.SetInt(TTrackProp::Alpha, true, kEndAlpha);
        }
        Run();
    }
    ~TScene() {
        Film.reset();
        VelaFinalize();
    }

    // One tick: the film applies every track (and shows its page), the root steps and draws its
    // dirty areas.
    void Run() {
        Tick = (Tick + 1) % kLength;
        Film->SetTime(Tick);
        Bases->Step();
        Bases->Prepare();
        for (int i = 0; i < 2; ++i) Bases->GetBase(i)->ClipList.Clear();
    }
};

// The same pictures composited by pixman at the places and alphas the tracks reach.
struct TPixmanScene {
    std::vector<uint32_t> Bits = std::vector<uint32_t>(size_t(kSide) * kSide);
    std::vector<uint32_t> Dest = std::vector<uint32_t>(size_t(kScreenW) * kScreenH, 0x00203040);
    pixman_image_t* Image;
    pixman_image_t* DestImage;
    int32_t Tick = 0;

    TPixmanScene() {
        for (int y = 0; y < kSide; ++y)
            for (int x = 0; x < kSide; ++x) {
                const uint32_t a = AlphaOf(x, y), c = Colour(x, y);
                uint32_t premultiplied = a << 24;
                for (int shift : {0, 8, 16}) premultiplied |= ((c >> shift & 0xFF) * a + 127) / 255 << shift;
                Bits[size_t(y) * kSide + x] = premultiplied;
            }
        Image = pixman_image_create_bits(PIXMAN_a8r8g8b8, kSide, kSide, Bits.data(), kSide * 4);
        DestImage = pixman_image_create_bits(PIXMAN_x8r8g8b8, kScreenW, kScreenH, Dest.data(), kScreenW * 4);
    }
    ~TPixmanScene() {
        pixman_image_unref(DestImage);
        pixman_image_unref(Image);
    }

    // The linear ease of the tracks: From + (To - From) x i / (n - 1), truncated.
    static int32_t Eased(int32_t A, int32_t B, int32_t I) { return A + (B - A) * I / (kLength - 1); }

    void Run() {
        Tick = (Tick + 1) % kLength;
        const uint16_t alpha = uint16_t(Eased(255, kEndAlpha, Tick) * 257);
        const pixman_color_t colour{0, 0, 0, alpha};
        pixman_image_t* mask = pixman_image_create_solid_fill(&colour);
        for (int i = 0; i < kCount; ++i) {
            const int32_t x = Eased(From(i).X, To(i).X, Tick), y = Eased(From(i).Y, To(i).Y, Tick);
            pixman_image_composite32(PIXMAN_OP_OVER, Image, mask, DestImage, 0, 0, 0, 0, x, y, kSide, kSide);
        }
        pixman_image_unref(mask);
    }
};

void BM_FilmTick(benchmark::State& State) {
    TScene scene;
    TPixmanScene peer;
    uint64_t ourTime = 0, pixmanTime = 0;
    for (auto _ : State) {
        uint64_t start = platform::ClockNs();
        scene.Run();
        ourTime += platform::ClockNs() - start;
        start = platform::ClockNs();
        peer.Run();
        pixmanTime += platform::ClockNs() - start;
    }
    State.counters["ours_ms"] = double(ourTime) / 1e6 / double(State.iterations());
    State.counters["pixman_ms"] = double(pixmanTime) / 1e6 / double(State.iterations());
    State.counters["x_pixman"] = double(ourTime) / double(pixmanTime);
}
BENCHMARK(BM_FilmTick)->Unit(benchmark::kMillisecond);

}  // namespace
