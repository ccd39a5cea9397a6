// One tick of a film playing in an 800 x 600 root: 100 image tracks, each sliding a masked
// 64 x 64 picture from the image cache across the screen while fading it from opaque to half,
// applied to their image objects, and two snow emitters of about 500 falling 8 x 8 flakes each;
// then the root's step (the particles move, are born and die) and the drawing of the dirty
// rectangles (the background fill and every picture that meets them, through the masked blended
// draw). Beside it, in the same iterations, pixman does the same draws: the background filled
// where each picture was on the previous tick, then the same pictures at the same places and
// alphas as OVER composites (premultiplied picture, constant alpha mask) onto an 800 x 600 image.
// "x_pixman" is the whole tick's time over pixman's draws alone.
//
// BM_FilmLoadTenfold reads a film of 10,000 box tracks and one of 100,000 (chains of
// MaxTrackDepth tracks, each continuing the one before) and applies each once at a tick in the
// middle, with no stage to draw on: the walks over the tracks alone. "x_tenfold" is the larger
// film's time over the smaller's; 10 is linear.
#include "graphics/miras.h"
#include "objects/vitemex_mira.h"
#include "objects/vitemex_particle.h"
#include "objects/vitems.h"
#include "bench/beside_pixman.h"
#include "bench/tenfold.h"
#include "script/services.h"
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
constexpr int kFlake = 8;        // the particles' picture, "dot.mra"
constexpr uint32_t kTickMs = 16; // one particle step a tick
constexpr uint32_t kBackground = 0x403020;

uint32_t Colour(int x, int y) { return uint32_t(x * 2654435761u ^ y * 40503u) & 0x00FFFFFF; }
// A disc of the side, opaque inside and fading at its rim: the picture's corners are transparent.
uint8_t AlphaOf(int x, int y, int Side) {
    const double r = std::hypot(x - Side / 2 + 0.5, y - Side / 2 + 0.5);
    return uint8_t(std::clamp((Side / 2 - r) * 32, 0.0, 255.0));
}
int SideOf(const std::string& Name) { return Name == "dot.mra" ? kFlake : kSide; }

// Where track I begins and ends; its alpha fades from 255 to 128.
TPoint From(int I) { return {(I * 73) % (kScreenW - kSide), (I * 41) % (kScreenH - kSide)}; }
TPoint To(int I) { return {(I * 137 + 300) % (kScreenW - kSide), (I * 89 + 200) % (kScreenH - kSide)}; }
constexpr int32_t kEndAlpha = 128;

// A disc picture for every name the cache asks for: the flake for "dot.mra".
class TDiscSource : public TMiraSource {
public:
    bool FileExists(const std::string&, bool) override { return true; }
    void Load(TMiraFrameList& List, const std::string& Name) override {
        const int side = SideOf(Name);
        TMiraFrame& f = *List.AddFrame();
        f.TransPixel = -1;
        f.SetupImage(side, side, 32, nullptr, 0);
        f.Image.NeedAlpha();
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x) {
                f.Image.SetPixel(x, y, Colour(x, y));
                f.Image.Alpha->SetPixel(x, y, AlphaOf(x, y, side));
            }
    }
};

class TTickClock : public TScriptHost {
public:
    uint32_t FrameTime() override { return kTickMs; }
};

// Snow: flakes born along the top edge at random, falling Speed pixels a step with a sway, one
// every Interval ms; warmed up until as many fall as are born.
struct TSnow {
    int32_t Speed, Interval;
};
constexpr TSnow kSnows[] = {{2, 9}, {3, 6}};

struct TScene {
    std::unique_ptr<TFilmManager> Film;
    int32_t Tick = 0;

    std::vector<TVelaParticle*> Emitters;

    TScene() {
        CreateScriptServices();
        SetScriptHost(std::make_unique<TTickClock>());
        VelaInitialize();
        MiraMan->SetSource(std::make_unique<TDiscSource>());
        Bases->SetWidth(kScreenW);
        Bases->SetHeight(kScreenH);
        Bases->SetColor(kBackground);
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
        for (const TSnow& snow : kSnows) {
            auto* e = new TVelaParticle(Bases);
            e->SetParent(Bases->GetBase(0));
            e->SetBounds(0, 0, kScreenW, kScreenH);
            e->SetSource("dot.mra");
            e->SetPartmotion(1);
            const long double params[] = {static_cast<long double>(snow.Speed), 12, 24};
            for (int i = 0; i < 3; ++i) e->SetParam(i, params[i]);
            e->GetParticleParam() = {0, 0, kScreenW, 1, snow.Interval, 1};
            e->SetIndex(int32_t(kTickMs) * (kScreenH / snow.Speed + 20));
            Emitters.push_back(e);
        }
        Run();
    }
    ~TScene() {
        Film.reset();
        VelaFinalize();
        FreeScriptServices();
    }

    size_t ParticleCount() const {
        size_t n = 0;
        for (const TVelaParticle* e : Emitters) n += e->GetParticles().size();
        return n;
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

// A premultiplied disc picture for pixman.
struct TPixmanDisc {
    std::vector<uint32_t> Bits;
    pixman_image_t* Image;
    explicit TPixmanDisc(int Side) : Bits(size_t(Side) * Side) {
        for (int y = 0; y < Side; ++y)
            for (int x = 0; x < Side; ++x) {
                const uint32_t a = AlphaOf(x, y, Side), c = Colour(x, y);
                uint32_t premultiplied = a << 24;
                for (int shift : {0, 8, 16}) premultiplied |= ((c >> shift & 0xFF) * a + 127) / 255 << shift;
                Bits[size_t(y) * Side + x] = premultiplied;
            }
        Image = pixman_image_create_bits(PIXMAN_a8r8g8b8, Side, Side, Bits.data(), Side * 4);
    }
    ~TPixmanDisc() { pixman_image_unref(Image); }
};

// The same pictures composited by pixman at the places and alphas the tracks and the particles
// reach, each over the background filled where it was on the previous tick.
struct TPixmanScene {
    const TScene& Ours;  // where the particles are
    TPixmanDisc Disc{kSide}, Flake{kFlake};
    std::vector<uint32_t> Dest = std::vector<uint32_t>(size_t(kScreenW) * kScreenH, kBackground);
    pixman_image_t* DestImage;
    std::vector<pixman_box32_t> Previous, Current;
    int32_t Tick = 0;

    explicit TPixmanScene(const TScene& AOurs) : Ours(AOurs) {
        DestImage = pixman_image_create_bits(PIXMAN_x8r8g8b8, kScreenW, kScreenH, Dest.data(), kScreenW * 4);
    }
    ~TPixmanScene() { pixman_image_unref(DestImage); }

    void Composite(pixman_image_t* Picture, pixman_image_t* Mask, int32_t X, int32_t Y, int Side) {
        pixman_image_composite32(PIXMAN_OP_OVER, Picture, Mask, DestImage, 0, 0, 0, 0, X, Y, Side, Side);
        const pixman_box32_t box{std::max(X, 0), std::max(Y, 0), std::min(X + Side, kScreenW), std::min(Y + Side, kScreenH)};
        if (box.x1 < box.x2 && box.y1 < box.y2) Current.push_back(box);
    }

    // The linear ease of the tracks: From + (To - From) x i / (n - 1), truncated.
    static int32_t Eased(int32_t A, int32_t B, int32_t I) { return A + (B - A) * I / (kLength - 1); }

    void Run() {
        Tick = (Tick + 1) % kLength;
        for (const pixman_box32_t& box : Previous)
            pixman_fill(Dest.data(), kScreenW, 32, box.x1, box.y1, box.x2 - box.x1, box.y2 - box.y1, kBackground);
        Current.clear();
        const uint16_t alpha = uint16_t(Eased(255, kEndAlpha, Tick) * 257);
        const pixman_color_t colour{0, 0, 0, alpha};
        pixman_image_t* mask = pixman_image_create_solid_fill(&colour);
        for (int i = 0; i < kCount; ++i)
            Composite(Disc.Image, mask, Eased(From(i).X, To(i).X, Tick), Eased(From(i).Y, To(i).Y, Tick), kSide);
        pixman_image_unref(mask);
        for (const TVelaParticle* e : Ours.Emitters)
            for (const TVelaParticleImages* p : e->GetParticles())
                Composite(Flake.Image, nullptr, p->GetLeft() - p->GetOffsetx(), p->GetTop() - p->GetOffsety(), kFlake);
        std::swap(Previous, Current);
    }
};

void BM_FilmTick(benchmark::State& State) {
    TScene scene;
    TPixmanScene peer(scene);
    RunBesidePixman(State, [&] { scene.Run(); }, [&] { peer.Run(); });
    State.counters["particles"] = double(scene.ParticleCount());
}
BENCHMARK(BM_FilmTick)->Unit(benchmark::kMillisecond);

// The bytes of a film of Count box tracks of 2 ticks, in chains of MaxTrackDepth.
std::string ChainedFilm(int32_t Count) {
    TFilmManager film;
    for (int32_t i = 0; i < Count; ++i) {
        TCustomFrameList& track = film.Add(CreateFrameList(film, FK_BOX));
        track.Length = 2;
        track.ParentIndex = i % MaxTrackDepth ? i - 1 : -1;
    }
    TMemoryStream stream;
    film.SaveToStream(stream, "C:\\FILMS\\CHAIN.VMT");
    return std::string(reinterpret_cast<const char*>(stream.Memory()), size_t(stream.Size()));
}

// Reads the film and applies it at its middle tick; the nanoseconds taken.
uint64_t LoadAndApply(const std::string& Bytes) {
    const uint64_t start = platform::ClockNs();
    TFilmManager film;
    TMemoryStream stream;
    stream.WriteBuffer(Bytes.data(), int64_t(Bytes.size()));
    stream.SetPosition(0);
    film.LoadFromStream(stream, "C:\\FILMS\\CHAIN.VMT");
    film.SetTime(film.GetLength() / 2);
    benchmark::DoNotOptimize(film.Count());
    return platform::ClockNs() - start;
}

void BM_FilmLoadTenfold(benchmark::State& State) {
    static const std::string small = ChainedFilm(10'000), large = ChainedFilm(100'000);
    uint64_t smallNs = 0, largeNs = 0;
    for (auto _ : State) {
        smallNs += LoadAndApply(small);
        largeNs += LoadAndApply(large);
    }
    ReportTenfold(State, smallNs, largeNs);
}
BENCHMARK(BM_FilmLoadTenfold)->Unit(benchmark::kMillisecond);

}  // namespace
