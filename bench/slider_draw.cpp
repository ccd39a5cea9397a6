// A 600-pixel slider track and a 600-pixel gauge bar tiled from 16 x 16 cells at alpha 128 onto an
// 800 x 600 layer: the slider half filled (cell 1 over 300 pixels, cell 0 over the rest, one
// pattern), the gauge at 60 % with 20 % lost. Argument 1 draws them reversed: the slider vertical
// (tiled from the bottom end), the gauge grown from its right end, mirrored. Beside it, in the same
// iterations, pixman composites the same parts with the same cells as repeating sources
// (PIXMAN_REPEAT_NORMAL; where ours mirrors, from copies of the cells mirrored once beforehand,
// pixman's fastest path) OVER the same layer through a constant alpha-128 mask. "drawn" counts
// the pixels ours changed, so that a draw that does nothing shows.
#include "bench/beside_pixman.h"
#include "graphics/miras.h"
#include "objects/vitemex_gauge.h"
#include "objects/vitemex_mira.h"
#include "objects/vitemex_slider.h"
#include "objects/vitems.h"
#include "script/services.h"

#include <benchmark/benchmark.h>
#include <pixman.h>

#include <memory>
#include <vector>

namespace {

constexpr int kScreenW = 800, kScreenH = 600, kCell = 16, kLength = 600, kAlpha = 128;
constexpr int kSliderX = 20, kSliderY = 0, kGaugeX = 100, kGaugeY = 300;
constexpr int kFilled = 300, kValue = 360, kLost = 120;  // of the 600 pixels

uint32_t Colour(int Cell, int x, int y) { return uint32_t((Cell ? 0x300000 : 0x003000) + x * 0x0901 + y * 0x0A0400); }

// Two 16 x 16 cells side by side, opaque, for every name the cache asks for.
class TCellSource : public TMiraSource {
public:
    bool FileExists(const std::string&, bool) override { return true; }
    void Load(TMiraFrameList& List, const std::string&) override {
        TMiraFrame& f = *List.AddFrame();
        f.TransPixel = -1;
        f.SetupImage(2 * kCell, kCell, 32, nullptr, 0);
        for (int y = 0; y < kCell; ++y)
            for (int x = 0; x < 2 * kCell; ++x) f.Image.SetPixel(x, y, Colour(x / kCell, x % kCell, y));
    }
};

struct TScene {
    TVelaSlider* Slider;
    TVelaGauge* Gauge;
    explicit TScene(bool Reversed) {
        CreateScriptServices();
        SetScriptHost(std::make_unique<TScriptHost>());
        VelaInitialize();
        MiraMan->SetSource(std::make_unique<TCellSource>());
        Bases->SetWidth(kScreenW);
        Bases->SetHeight(kScreenH);
        Slider = new TVelaSlider(Bases);
        Slider->SetParent(Bases->GetBase(0));
        Slider->SetBounds(kSliderX, kSliderY, 0, 0);
        Slider->SetSource("cells.mra");
        Slider->SetOrientation(Reversed ? 1 : 0);
        Slider->SetBarsize(kLength);
        Slider->SetMax(kLength);
        Slider->SetValue(kFilled);
        Slider->SetAlpha(kAlpha);
        Gauge = new TVelaGauge(Bases);
        Gauge->SetParent(Bases->GetBase(0));
        Gauge->SetBounds(kGaugeX, kGaugeY, 0, 0);
        Gauge->SetSource("cells.mra");
        Gauge->SetBarsize(kLength);
        Gauge->SetMax(kLength);
        Gauge->SetValue(kValue + kLost);
        Gauge->Step();
        Gauge->SetDuration(1000000);
        Gauge->SetDelay(1000);
        Gauge->SetValue(kValue);  // falls: the lost part waits
        Gauge->SetReverse(Reversed);
        Gauge->SetAlpha(kAlpha);
    }
    ~TScene() {
        VelaFinalize();
        FreeScriptServices();
    }
    void Run() {
        Slider->Prepare();
        Gauge->Prepare();
    }
};

struct TPixmanScene {
    // The two cells, then the two mirrored.
    std::vector<uint32_t> Bits = std::vector<uint32_t>(size_t(4) * kCell * kCell);
    std::vector<uint32_t> Dest = std::vector<uint32_t>(size_t(kScreenW) * kScreenH, 0);
    pixman_image_t *Cells[4], *DestImage, *Mask;
    bool Reversed;

    explicit TPixmanScene(bool AReversed) : Reversed(AReversed) {
        for (int c = 0; c < 4; ++c) {
            uint32_t* cell = &Bits[size_t(c * kCell * kCell)];
            for (int y = 0; y < kCell; ++y)
                for (int x = 0; x < kCell; ++x) cell[y * kCell + x] = Colour(c % 2, c < 2 ? x : kCell - 1 - x, y) | 0xFF000000u;
            Cells[c] = pixman_image_create_bits(PIXMAN_a8r8g8b8, kCell, kCell, cell, kCell * 4);
            pixman_image_set_repeat(Cells[c], PIXMAN_REPEAT_NORMAL);
        }
        DestImage = pixman_image_create_bits(PIXMAN_x8r8g8b8, kScreenW, kScreenH, Dest.data(), kScreenW * 4);
        const pixman_color_t half{0, 0, 0, uint16_t(kAlpha * 257)};
        Mask = pixman_image_create_solid_fill(&half);
    }
    ~TPixmanScene() {
        for (pixman_image_t* cell : Cells) pixman_image_unref(cell);
        pixman_image_unref(DestImage);
        pixman_image_unref(Mask);
    }
    // Cell c repeated over (X, Y, W, H) from (SrcX, SrcY) of the pattern; mirrored, the pattern
    // starts at the part's right edge.
    void Part(int c, int X, int Y, int W, int H, int SrcX, int SrcY, bool Mirror) {
        pixman_image_composite32(PIXMAN_OP_OVER, Cells[Mirror ? c + 2 : c], Mask, DestImage,
                                 Mirror ? kCell - (SrcX + W) % kCell : SrcX, SrcY, 0, 0, X, Y, W, H);
    }
    void Run() {
        if (Reversed) {  // the vertical slider's track from its bottom end, the mirrored gauge
            const int bottom = kSliderY + kLength;
            Part(1, kSliderX, bottom - kFilled, kCell, kFilled, 0, -kFilled, false);
            Part(0, kSliderX, kSliderY, kCell, kLength - kFilled, 0, -kLength, false);
            Part(0, kGaugeX + kLength - kValue, kGaugeY, kValue, kCell, 0, 0, true);
            Part(1, kGaugeX + kLength - kValue - kLost, kGaugeY, kLost, kCell, kValue, 0, true);
        } else {
            Part(1, kSliderX, kSliderY, kFilled, kCell, 0, 0, false);
            Part(0, kSliderX + kFilled, kSliderY, kLength - kFilled, kCell, kFilled, 0, false);
            Part(0, kGaugeX, kGaugeY, kValue, kCell, 0, 0, false);
            Part(1, kGaugeX + kValue, kGaugeY, kLost, kCell, kValue, 0, false);
        }
    }
};

void BM_SliderDraw(benchmark::State& State) {
    const bool reversed = State.range(0) != 0;
    TScene scene(reversed);
    TPixmanScene peer(reversed);
    TCustomDIBX& layer = *Bases->GetSurface();
    scene.Run();
    int64_t drawn = 0;
    for (int y = 0; y < kScreenH; ++y)
        for (int x = 0; x < kScreenW; ++x) drawn += layer.GetPixel(x, y) != 0;
    State.counters["drawn"] = double(drawn);
    RunBesidePixman(State, [&] { scene.Run(); }, [&] { peer.Run(); });
}
BENCHMARK(BM_SliderDraw)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
