// Rotated and wrapped draws onto an 800 x 600 32-bit surface beside pixman's nearest-filter
// composites of the same pictures and masks:
// - a 256 x 256 picture with per-pixel alpha turned by 30 degrees at zoom 1.5 about its centre:
//   our masked rotated draw against pixman's affine OVER through the same 8-bit alpha;
// - the surface filled with a 64 x 64 pattern at zoom 1.5: our zoomed wrapped copy against
//   pixman's repeating SRC, and its masked form against the repeating OVER through the mask.
// Each benchmark runs ours and pixman's one after the other in every iteration, so that a busy
// machine slows both alike: "x_pixman" is our time over pixman's.
#include "graphics/dibx.h"
#include "bench/beside_pixman.h"

#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cmath>
#include <functional>
#include <vector>

namespace {

constexpr int kDstW = 800, kDstH = 600;

uint32_t Colour(int x, int y) { return uint32_t(x * 2654435761u ^ y * 40503u) & 0x00FFFFFF; }
uint8_t AlphaOf(int x, int y) { return uint8_t((x + y) * 3); }

// A picture and its alpha in both forms: our surfaces and pixman images over the same values.
struct TPicture {
    TDIBX Source, Mask;
    std::vector<uint32_t> Bits;
    std::vector<uint8_t> Alpha;
    pixman_image_t* Image;
    pixman_image_t* AlphaImage;

    explicit TPicture(int W) : Bits(size_t(W) * W), Alpha(size_t(W) * W) {
        Source.SetSize(W, W, 32);
        Mask.SetSize(W, W, 8);
        for (int y = 0; y < W; ++y)
            for (int x = 0; x < W; ++x) {
                Source.SetPixel(x, y, Colour(x, y));
                Mask.SetPixel(x, y, AlphaOf(x, y));
                Bits[size_t(y) * W + x] = Colour(x, y);
                Alpha[size_t(y) * W + x] = AlphaOf(x, y);
            }
        Image = pixman_image_create_bits(PIXMAN_x8r8g8b8, W, W, Bits.data(), W * 4);
        AlphaImage = pixman_image_create_bits(PIXMAN_a8, W, W, reinterpret_cast<uint32_t*>(Alpha.data()), W);
    }
    ~TPicture() {
        pixman_image_unref(AlphaImage);
        pixman_image_unref(Image);
    }
    // Both images sampled through the inverse mapping M (destination to source) by the nearest pixel.
    void Transform(const double (&M)[2][3], pixman_repeat_t Repeat) {
        pixman_transform_t t;
        pixman_transform_init_identity(&t);
        for (int r = 0; r < 2; ++r)
            for (int c = 0; c < 3; ++c) t.matrix[r][c] = pixman_double_to_fixed(M[r][c]);
        for (pixman_image_t* image : {Image, AlphaImage}) {
            pixman_image_set_transform(image, &t);
            pixman_image_set_filter(image, PIXMAN_FILTER_NEAREST, nullptr, 0);
            pixman_image_set_repeat(image, Repeat);
        }
    }
};

// The destination in both forms.
struct TTarget {
    TDIBX Surface;
    std::vector<uint32_t> Bits = std::vector<uint32_t>(size_t(kDstW) * kDstH, 0x00203040);
    pixman_image_t* Image = pixman_image_create_bits(PIXMAN_x8r8g8b8, kDstW, kDstH, Bits.data(), kDstW * 4);

    TTarget() {
        Surface.SetSize(kDstW, kDstH, 32);
        Surface.Fill(0x00203040);
    }
    ~TTarget() { pixman_image_unref(Image); }
};

void RunAgainstPixman(benchmark::State& State, const std::function<void()>& Ours, const std::function<void()>& Pixman,
                      int64_t Pixels) {
    RunBesidePixman(State, Ours, Pixman);
    State.SetItemsProcessed(State.iterations() * Pixels);
}

void BM_RotateMask(benchmark::State& State) {
    constexpr int kSide = 256, kX = 400, kY = 300, kCentre = 128;
    constexpr double kZoom = 1.5, kAngle = M_PI / 6;
    TPicture picture(kSide);
    TTarget target;
    // Our inverse mapping: u = CenterX + (x - X) c / z + (y - Y) s / z, v = CenterY + (y - Y) c / z - (x - X) s / z,
    // taken at pixel centres by pixman, so shifted by half a pixel.
    const double c = std::cos(kAngle) / kZoom, s = std::sin(kAngle) / kZoom;
    const double m[2][3] = {{c, s, kCentre - c * (kX + 0.5) - s * (kY + 0.5) + 0.5},
                            {-s, c, kCentre + s * (kX + 0.5) - c * (kY + 0.5) + 0.5}};
    picture.Transform(m, PIXMAN_REPEAT_NONE);
    const TRect box = TCustomDIBX::CalcRotateZoomBounds(kX, kY, kCentre, kCentre, picture.Source.GetBoundsRect(),
                                                        kAngle, kZoom, kZoom, false, false);
    RunAgainstPixman(
        State,
        [&] {
            target.Surface.DrawRotateMask(kX, kY, kZoom, kZoom, picture.Source, picture.Source.GetBoundsRect(), kCentre,
                                          kCentre, kAngle, false, false, picture.Mask, 255);
        },
        [&] {
            pixman_image_composite32(PIXMAN_OP_OVER, picture.Image, picture.AlphaImage, target.Image, box.Left, box.Top,
                                     box.Left, box.Top, box.Left, box.Top, box.Right - box.Left, box.Bottom - box.Top);
        },
        int64_t(box.Right - box.Left) * (box.Bottom - box.Top));
}
BENCHMARK(BM_RotateMask)->Unit(benchmark::kMillisecond);

// State.range(0): 1 for the masked draw.
void BM_Quad(benchmark::State& State) {
    constexpr int kSide = 64;
    constexpr double kZoom = 1.5;
    const bool masked = State.range(0) != 0;
    TPicture picture(kSide);
    TTarget target;
    const double m[2][3] = {{1 / kZoom, 0, 0}, {0, 1 / kZoom, 0}};
    picture.Transform(m, PIXMAN_REPEAT_NORMAL);
    const TRect all = target.Surface.GetBoundsRect();
    RunAgainstPixman(
        State,
        [&] {
            if (masked)
                target.Surface.DrawQuadMask(all, picture.Source, kZoom, kZoom, 0, 0, false, false, picture.Mask, 255);
            else
                target.Surface.DrawQuad(all, picture.Source, kZoom, kZoom, 0, 0, false, false, false, 255);
        },
        [&] {
            pixman_image_composite32(masked ? PIXMAN_OP_OVER : PIXMAN_OP_SRC, picture.Image,
                                     masked ? picture.AlphaImage : nullptr, target.Image, 0, 0, 0, 0, 0, 0, kDstW,
                                     kDstH);
        },
        int64_t(kDstW) * kDstH);
}
BENCHMARK(BM_Quad)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
