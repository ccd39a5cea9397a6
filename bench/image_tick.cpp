// One tick of a scene of 100 masked image objects on an 800 x 600 layer, each moved, turned and
// zoomed every tick: the property changes, the root's step (the drawn sizes settle) and the
// drawing of the dirty rectangles (the background fill and every image that meets them, through
// the masked rotated draw). Beside it, in the same iterations, the same 100 pictures as pixman
// nearest-filter affine OVER composites through the same 8-bit masks onto an 800 x 600 image,
// each over the bounds of its turned picture: "x_pixman" is the whole tick's time over pixman's
// draws alone.
#include "objects/vitemex_image.h"
#include "objects/vitems.h"
#include "bench/beside_pixman.h"

#include <benchmark/benchmark.h>
#include <pixman.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr int kScreenW = 800, kScreenH = 600, kSide = 64, kCount = 100;

uint32_t Colour(int x, int y) { return uint32_t(x * 2654435761u ^ y * 40503u) & 0x00FFFFFF; }
// A disc, opaque inside and fading at its rim: the picture's corners are transparent.
uint8_t AlphaOf(int x, int y) {
    const double r = std::hypot(x - kSide / 2 + 0.5, y - kSide / 2 + 0.5);
    return uint8_t(std::clamp((kSide / 2 - r) * 32, 0.0, 255.0));
}

// Where image I stands at tick T: its pivot, angle (radians) and zoom.
struct TPose {
    int32_t X, Y;
    double Angle, Zoom;
};
TPose PoseAt(int I, int T) {
    const double phase = I * 0.37 + T * 0.05;
    return {int32_t(60 + (I * 73 + T * 3) % (kScreenW - 120)), int32_t(60 + (I * 41 + T * 2) % (kScreenH - 120)),
            phase, 0.75 + 0.5 * (0.5 + 0.5 * std::sin(phase))};
}

struct TScene {
    TDIBX Picture, Mask;
    std::vector<TVelaImage*> Images;
    int Tick = 0;

    TScene() {
        Picture.SetSize(kSide, kSide, 32);
        Mask.SetSize(kSide, kSide, 8);
        for (int y = 0; y < kSide; ++y)
            for (int x = 0; x < kSide; ++x) {
                Picture.SetPixel(x, y, Colour(x, y));
                Mask.SetPixel(x, y, AlphaOf(x, y));
            }
        VelaInitialize();
        Bases->SetWidth(kScreenW);
        Bases->SetHeight(kScreenH);
        TVelaBase* layer = Bases->GetBase(0);
        layer->SetColor(0x403020);
        for (int i = 0; i < kCount; ++i) {
            auto* image = new TVelaImage(Bases);
            image->SetParent(layer);
            image->SetSurface(&Picture);
            image->SetSourceSurface(&Mask);
            image->SetOffsetx(kSide / 2);
            image->SetOffsety(kSide / 2);
            Images.push_back(image);
        }
        Run();
    }
    ~TScene() { VelaFinalize(); }

    // One tick: every image moves, turns and zooms; the root steps and draws its dirty areas.
    void Run() {
        ++Tick;
        for (int i = 0; i < kCount; ++i) {
            const TPose pose = PoseAt(i, Tick);
            TVelaImage& image = *Images[size_t(i)];
            image.SetLeft(pose.X);
            image.SetTop(pose.Y);
            image.SetFloatangle(pose.Angle);
            image.SetFloatzoomx(pose.Zoom);
            image.SetFloatzoomy(pose.Zoom);
        }
        Bases->Step();
        Bases->Prepare();
        for (int i = 0; i < 2; ++i) Bases->GetBase(i)->ClipList.Clear();
    }
};

// The same pictures drawn by pixman: the picture and its mask sampled through the inverse
// mapping of each pose, by the nearest pixel, composited OVER the destination.
struct TPixmanScene {
    std::vector<uint32_t> Bits = std::vector<uint32_t>(size_t(kSide) * kSide);
    std::vector<uint8_t> Alpha = std::vector<uint8_t>(size_t(kSide) * kSide);
    std::vector<uint32_t> Dest = std::vector<uint32_t>(size_t(kScreenW) * kScreenH, 0x00203040);
    pixman_image_t* Image;
    pixman_image_t* AlphaImage;
    pixman_image_t* DestImage;
    int Tick = 0;

    TPixmanScene() {
        for (int y = 0; y < kSide; ++y)
            for (int x = 0; x < kSide; ++x) {
                Bits[size_t(y) * kSide + x] = Colour(x, y);
                Alpha[size_t(y) * kSide + x] = AlphaOf(x, y);
            }
        Image = pixman_image_create_bits(PIXMAN_x8r8g8b8, kSide, kSide, Bits.data(), kSide * 4);
        AlphaImage =
            pixman_image_create_bits(PIXMAN_a8, kSide, kSide, reinterpret_cast<uint32_t*>(Alpha.data()), kSide);
        DestImage = pixman_image_create_bits(PIXMAN_x8r8g8b8, kScreenW, kScreenH, Dest.data(), kScreenW * 4);
        for (pixman_image_t* image : {Image, AlphaImage}) {
            pixman_image_set_filter(image, PIXMAN_FILTER_NEAREST, nullptr, 0);
            pixman_image_set_repeat(image, PIXMAN_REPEAT_NONE);
        }
    }
    ~TPixmanScene() {
        pixman_image_unref(DestImage);
        pixman_image_unref(AlphaImage);
        pixman_image_unref(Image);
    }

    void Run() {
        ++Tick;
        constexpr int centre = kSide / 2;
        for (int i = 0; i < kCount; ++i) {
            const TPose pose = PoseAt(i, Tick);
            // u = centre + ((x - X) cos + (y - Y) sin) / zoom, v = centre + ((y - Y) cos - (x - X) sin) / zoom,
            // at pixel centres.
            const double c = std::cos(pose.Angle) / pose.Zoom, s = std::sin(pose.Angle) / pose.Zoom;
            const double m[2][3] = {{c, s, centre - c * (pose.X + 0.5) - s * (pose.Y + 0.5) + 0.5},
                                    {-s, c, centre + s * (pose.X + 0.5) - c * (pose.Y + 0.5) + 0.5}};
            pixman_transform_t t;
            pixman_transform_init_identity(&t);
            for (int r = 0; r < 2; ++r)
                for (int k = 0; k < 3; ++k) t.matrix[r][k] = pixman_double_to_fixed(m[r][k]);
            pixman_image_set_transform(Image, &t);
            pixman_image_set_transform(AlphaImage, &t);
            const TRect box = TCustomDIBX::CalcRotateZoomBounds(pose.X, pose.Y, centre, centre, {0, 0, kSide, kSide},
                                                                pose.Angle, pose.Zoom, pose.Zoom, false, false);
            pixman_image_composite32(PIXMAN_OP_OVER, Image, AlphaImage, DestImage, box.Left, box.Top, box.Left,
                                     box.Top, box.Left, box.Top, box.Right - box.Left, box.Bottom - box.Top);
        }
    }
};

void BM_ImageTick(benchmark::State& State) {
    TScene scene;
    TPixmanScene peer;
    RunBesidePixman(State, [&] { scene.Run(); }, [&] { peer.Run(); });
}
BENCHMARK(BM_ImageTick)->Unit(benchmark::kMillisecond);

}  // namespace
