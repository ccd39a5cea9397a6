// A film of sliding, fading image tracks and emitters of every motion kind, run for a few hundred
// ticks on the fake clock with only the dirty areas redrawn each tick: the particles' places, the
// dirty areas, the drawn frame and the saved records must stay exactly what they were when this
// test was written, so that a faster tick changes nothing a player sees or stores.
#include "core/rands.h"
#include "objects/vitemex_particle.h"
#include "tests/objects/image_kinds_fixture.h"
#include "text/frms_images.h"

#include <cmath>

namespace {

// A disc of the side with a soft rim in its alpha; "key.mra" is keyed instead (blue ground).
class TDiscSource : public TMiraSource {
public:
    bool FileExists(const std::string&, bool) override { return true; }
    void Load(TMiraFrameList& List, const std::string& Name) override {
        const int side = Name == "disc.png" ? 16 : 6;
        TMiraFrame& f = *List.AddFrame();
        const bool keyed = Name == "key.mra";
        f.TransPixel = keyed ? int32_t(KeyPixel) : -1;
        f.SetupImage(side, side, keyed ? 24 : 32, nullptr, 0);
        if (!keyed) f.Image.NeedAlpha();
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x) {
                const double r = std::hypot(x - side / 2 + 0.5, y - side / 2 + 0.5);
                const auto alpha = uint8_t(std::clamp((side / 2 - r) * 64, 0.0, 255.0));
                f.Image.SetPixel(x, y, keyed && alpha == 0 ? KeyPixel : uint32_t(x * 2654435761u ^ y * 40503u) & 0xFFFFFF);
                if (!keyed) f.Image.Alpha->SetPixel(x, y, alpha);
            }
    }
};

uint64_t Fnv(uint64_t H, const void* Data, size_t Size) {
    for (size_t i = 0; i < Size; ++i) H = (H ^ static_cast<const uint8_t*>(Data)[i]) * 1099511628211u;
    return H;
}
template <typename T>
uint64_t Fnv(uint64_t H, T V) { return Fnv(H, &V, sizeof V); }

class FilmTick : public ImageKindsTest {};

TEST_F(FilmTick, SlidingTracksAndEmittersDrawAndSaveAsBefore) {
    MiraMan->SetSource(std::make_unique<TDiscSource>());
    Bases->SetWidth(160);
    Bases->SetHeight(120);
    Bases->SetColor(0x403020);
    RandSeed = 20261208;
    constexpr int32_t Length = 300;
    auto film = std::make_unique<TFilmManager>();
    film->SetTarget(Bases);
    for (int i = 0; i < 20; ++i) {
        auto& track = static_cast<TImageFrameList&>(film->Add(std::make_unique<TImageFrameList>(*film)));
        track.Length = Length;
        track.SetFileName("disc.png");
        track.SetPoint(TTrackProp::Position, false, {(i * 37) % 150 - 8, (i * 23) % 110 - 8});
        track.SetPoint(TTrackProp::Position, true, {(i * 53 + 40) % 150 - 8, (i * 71 + 30) % 110 - 8});
        track.SetInt(TTrackProp::Alpha, true, 128);
    }
    struct TEmitterCase {
        int32_t Kind;
        std::array<long double, 3> Params;
        const char* Source;
        TVelaParticleParam Ranges;
    };
    const TEmitterCase emitters[] = {
        {1, {1.5L, 6, 12}, "dot.mra", {0, 0, 160, 1, 7, 1}},
        {2, {2, 1.05L, 0.2L}, "key.mra", {70, 50, 20, 20, 40, 10}},
        {3, {0.05L, 1.5L, 3.5L}, "dot.mra", {0, 110, 40, 10, 30, 5}},
        {4, {1.25L, 20, 0.1L}, "key.mra", {60, 110, 40, 1, 25, 5}},
    };
    std::vector<TVelaParticle*> made;
    for (const TEmitterCase& c : emitters) {
        auto* e = Make<TVelaParticle>("emitter" + std::to_string(c.Kind));
        e->SetBounds(0, 0, 160, 120);
        e->SetSource(c.Source);
        e->SetPartmotion(c.Kind);
        for (int i = 0; i < 3; ++i) e->SetParam(i, c.Params[size_t(i)]);
        e->GetParticleParam() = c.Ranges;
        made.push_back(e);
    }
    uint64_t places = 14695981039346656037u, dirty = places;
    for (int32_t t = 1; t <= Length; ++t) {
        film->SetTime(t % Length);
        Tick(16);
        for (int i = 0; i < 2; ++i)
            for (int r = 0; r < Bases->GetBase(i)->ClipList.Count(); ++r)
                dirty = Fnv(dirty, Bases->GetBase(i)->ClipList.GetRect(r));
        Bases->Prepare();
        for (int i = 0; i < 2; ++i) Bases->GetBase(i)->ClipList.Clear();
        for (const TVelaParticle* e : made)
            for (const TVelaParticleImages* p : e->GetParticles())
                for (int32_t v : {p->GetLeft(), p->GetTop(), p->GetPriority(), p->GetWidth(), p->GetHeight()})
                    places = Fnv(places, v);
    }
    const TCustomDIBX& frame = *Bases->GetSurface();
    uint64_t pixels = 14695981039346656037u;
    for (int32_t y = 0; y < frame.GetHeight(); ++y)
        for (int32_t x = 0; x < frame.GetWidth(); ++x) pixels = Fnv(pixels, frame.GetPixel(x, y));
    TMemoryStream records;
    for (int i = 0; i < Bases->GetBase(0)->GetControlCount(); ++i)
        if (TVelaControl* c = Bases->GetBase(0)->GetControl(i); !IsSystemName(c->GetName())) c->SaveToStream(records);
    const uint64_t saved = Fnv(14695981039346656037u, records.Memory(), size_t(records.Size()));
    EXPECT_EQ(places, 1887402612519277904u);
    EXPECT_EQ(dirty, 15011408262422213670u);
    EXPECT_EQ(pixels, 2374719501790116773u);
    EXPECT_EQ(saved, 15383404100789666722u);
    film.reset();
}

}  // namespace
