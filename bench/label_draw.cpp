// A text label of 40 characters (20 kana, 20 ASCII, 16 pixels, antialiased) on an 800 x 600
// 32-bit layer:
// - relayout: the text changed to another of the same characters and laid out again, its glyphs
//   cached (measure, size, render into the text image and the mask);
// - draw: the label zoomed by 1.5 and turned by 30 degrees about its centre, beside pixman's
//   nearest-filter affine OVER of the same text image through the same mask. Ours and pixman's run
//   one after the other in every iteration, so that a busy machine slows both alike: "x_pixman" is
//   our time over pixman's.
#include "objects/vitemex_label.h"
#include "bench/beside_pixman.h"
#include "text/fontpixels.h"

#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace {

constexpr int kDstW = 800, kDstH = 600, kX = 400, kY = 300;
constexpr double kZoom = 1.5, kAngle = std::numbers::pi / 6;
const std::string kText = "あいうえおかきくけこさしすせそたちつてとLabel text 0123456789";
const std::string kOtherText = "とてつちたそせすしさこけくきかおえういあ9876543210 txet lebaL";

// The object layer of 800 x 600 with the glyph rasteriser, and one label on it.
struct TScene {
    TVelaLabel* Label;

    TScene() {
        VelaInitialize();
        Bases->SetWidth(kDstW);
        Bases->SetHeight(kDstH);
        FontPixelManager = new TFontPixelManager;
        Label = new TVelaLabel(Bases, false);
        Label->SetName("caption");
        Label->SetParent(Bases->GetBase(0));
        Label->SetFontheight(16);
        Label->SetAntialias(true);
        Label->SetFontcolor(0xF0E0D0);
        Label->SetText(kOtherText);
        Label->SetText(kText);
    }
    ~TScene() {
        VelaFinalize();
        delete FontPixelManager;
        FontPixelManager = nullptr;
    }
};

void BM_LabelRelayout(benchmark::State& State) {
    TScene scene;
    bool other = false;
    for (auto _ : State) {
        other = !other;
        scene.Label->SetText(other ? kOtherText : kText);
    }
    State.SetItemsProcessed(State.iterations() * 40);
}
BENCHMARK(BM_LabelRelayout)->Unit(benchmark::kMicrosecond);

void BM_LabelTurnedDraw(benchmark::State& State) {
    TScene scene;
    TVelaLabel& label = *scene.Label;
    const int32_t w = label.GetNaturalWidth(), h = label.GetNaturalHeight();
    label.SetLeft(kX);
    label.SetTop(kY);
    label.SetOffsetx(w / 2);
    label.SetOffsety(h / 2);
    label.SetFloatzoomx(kZoom);
    label.SetFloatzoomy(kZoom);
    label.SetFloatangle(kAngle);
    TCustomDIBX& screen = *Bases->GetSurface();
    screen.Fill(0x00203040);

    // The same text image, mask and destination as pixman images.
    const int maskStride = (w + 3) / 4 * 4;
    std::vector<uint32_t> bits(size_t(w) * h), target(size_t(kDstW) * kDstH, 0x00203040);
    std::vector<uint8_t> alpha(size_t(maskStride) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            bits[size_t(y) * w + x] = label.GetTextImage().GetPixel(x, y);
            alpha[size_t(y) * maskStride + x] = uint8_t(label.GetTextMask().GetPixel(x, y));
        }
    pixman_image_t* image = pixman_image_create_bits(PIXMAN_x8r8g8b8, w, h, bits.data(), w * 4);
    pixman_image_t* mask =
        pixman_image_create_bits(PIXMAN_a8, w, h, reinterpret_cast<uint32_t*>(alpha.data()), maskStride);
    pixman_image_t* dest = pixman_image_create_bits(PIXMAN_x8r8g8b8, kDstW, kDstH, target.data(), kDstW * 4);
    // The label's inverse mapping about its pivot, taken at pixel centres by pixman.
    const double c = std::cos(kAngle) / kZoom, s = std::sin(kAngle) / kZoom;
    const double cx = w / 2, cy = h / 2;
    const double m[2][3] = {{c, s, cx - c * (kX + 0.5) - s * (kY + 0.5) + 0.5},
                            {-s, c, cy + s * (kX + 0.5) - c * (kY + 0.5) + 0.5}};
    pixman_transform_t t;
    pixman_transform_init_identity(&t);
    for (int r = 0; r < 2; ++r)
        for (int col = 0; col < 3; ++col) t.matrix[r][col] = pixman_double_to_fixed(m[r][col]);
    for (pixman_image_t* source : {image, mask}) {
        pixman_image_set_transform(source, &t);
        pixman_image_set_filter(source, PIXMAN_FILTER_NEAREST, nullptr, 0);
    }
    const TRect box = label.GetBoundsRect();

    RunBesidePixman(State, [&] { label.Prepare(); }, [&] {
        pixman_image_composite32(PIXMAN_OP_OVER, image, mask, dest, box.Left, box.Top, box.Left, box.Top, box.Left,
                                 box.Top, box.Right - box.Left, box.Bottom - box.Top);
    });
    State.SetItemsProcessed(State.iterations() * int64_t(box.Right - box.Left) * (box.Bottom - box.Top));
    pixman_image_unref(dest);
    pixman_image_unref(mask);
    pixman_image_unref(image);
}
BENCHMARK(BM_LabelTurnedDraw)->Unit(benchmark::kMillisecond);

}  // namespace
