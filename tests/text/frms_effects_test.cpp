// Particle and fire tracks: their fields written by tools/vfilm.py, the emitter's spawn ranges
// and parameters eased over a track, one object shared along a chain, and the sprite film the
// emitter lets go of with its track.
#include "objects/vitemex_fire.h"
#include "objects/vitemex_particle.h"
#include "tests/text/frms_tracks_fixture.h"
#include "text/frms_effects.h"

namespace {

// A particle track with an empty sprite (all its rows still stored), then a fire track.
constexpr const char* ParticleAndFire = R"([
    {"kind": 6, "length": 4, "part_motion": 3, "part_index": 250, "center": [-5, 7], "spread": [3, 9],
     "emit12": [1, 2, 3, 4], "emit34": [5, 6, 7, 8], "emit_modes": [1, 2], "begin_params": [0.5, 1.5, 2.5],
     "end_params": [-1.0, 3.25, 0.0], "begin_pos": [1, 2], "end_pos": [3, 4], "mode_x": 2, "mode_y": 1,
     "begin_size": [10, 20], "end_size": [30, 40], "begin_clip_pos": [1, 1], "begin_clip_size": [5, 6],
     "end_clip_pos": [2, 2], "end_clip_size": [7, 8], "clip_mode_x": 1, "clip_mode_y": 2, "alphas": [128, 0]},
    {"kind": 7, "length": 6, "begin_pos": [8, 9], "end_pos": [10, 11], "begin_size": [40, 12],
     "end_size": [44, 16], "begin_zoom": [2.0, 3.0], "end_zoom": [1.5, 0.5], "zoom_mode_x": 1, "zoom_mode_y": 2,
     "power": 77}])";

TEST_F(FilmTracks, ParticleAndFireFieldsAtEveryVersion) {
    for (int32_t version : {100, 106, 107, 111}) {
        SCOPED_TRACE(version);
        auto film = Read(FilmBytes(ParticleAndFire, version));
        ASSERT_EQ(film->Count(), 2);
        const auto& particle = static_cast<const TParticleFrameList&>(*film->GetTrack(0));
        const auto& fire = static_cast<const TFireFrameList&>(*film->GetTrack(1));
        EXPECT_EQ(particle.GetFileName(), "");
        EXPECT_EQ((std::array{int32_t(particle.PartMotion), particle.PartIndex}), (std::array{3, 250}));
        EXPECT_EQ((std::array{particle.GetBeginInt(TTrackProp::Center), particle.GetEndInt(TTrackProp::Spread),
                              particle.GetBeginInt(TTrackProp::Emit2), particle.GetEndInt(TTrackProp::Emit1),
                              particle.GetBeginInt(TTrackProp::Emit4), particle.GetEndInt(TTrackProp::Emit3)}),
                  (std::array{-5, 9, 2, 3, 6, 7}));
        EXPECT_EQ(particle.GetMode(TTrackProp::Emit2), 2);
        EXPECT_EQ(particle.GetBeginFloat(TTrackProp::Param3), 2.5);
        EXPECT_EQ(particle.GetEndFloat(TTrackProp::Param2), 3.25);
        EXPECT_EQ(particle.GetEndPoint(TTrackProp::Size), (TPoint{30, 40}));
        EXPECT_EQ(particle.GetMode(TTrackProp::Position, 0), 2);
        EXPECT_EQ(particle.GetEndPoint(TTrackProp::ClipSize), (TPoint{7, 8}));
        EXPECT_EQ(particle.GetBeginInt(TTrackProp::Alpha), 128);
        EXPECT_EQ(fire.GetEndPoint(TTrackProp::Position), (TPoint{10, 11}));
        EXPECT_EQ(fire.GetBeginPoint(TTrackProp::Size), (TPoint{40, 12}));
        EXPECT_EQ(fire.GetBeginFloat(TTrackProp::ZoomY), 3.0);
        EXPECT_EQ(fire.GetEndFloat(TTrackProp::ZoomX), 1.5);
        EXPECT_EQ(fire.GetMode(TTrackProp::ZoomY), 2);
        EXPECT_EQ(fire.Power, 77);
        const std::string written = Written(*film);
        EXPECT_EQ(ToHex(Written(*Read(written))), ToHex(written));
        if (version == 111) {
            EXPECT_EQ(ToHex(written), ToHex(FilmBytes(ParticleAndFire, 111)));
        }
    }
}

TEST_F(FilmTracks, ParticleTrackDrivesTheEmitter) {
    Film->Width = 64;
    Film->Height = 48;
    auto& track = Add<TParticleFrameList>();
    EXPECT_EQ(track.Length, 1);
    EXPECT_EQ(track.GetBeginPoint(TTrackProp::Size), (TPoint{64, 48}));
    track.Length = 3;
    track.SetPoint(TTrackProp::Position, false, {4, 6});
    track.SetPoint(TTrackProp::Size, false, {20, 10});
    track.SetPoint(TTrackProp::Size, true, {20, 10});
    // The centre and spread give the interval's base and range: 100 and 1 give 100, 3 gives 99,
    // -5 with 3 gives -6.
    track.SetInt(TTrackProp::Spread, true, 3);
    track.SetInt(TTrackProp::Center, true, -5);
    track.SetInt(TTrackProp::Emit1, false, 10);
    track.SetInt(TTrackProp::Emit1, true, 20);
    track.SetFloat(TTrackProp::Param2, true, 4.0);
    track.PartMotion = 2;
    track.PartIndex = 160;
    track.SubPriority = 3;
    ASSERT_TRUE(track.ApplyAt(0));
    auto* emitter = dynamic_cast<TVelaParticle*>(track.GetObject());
    ASSERT_NE(emitter, nullptr);
    EXPECT_EQ(emitter->GetParent(), Bases->GetBase(0));
    EXPECT_EQ((std::array{emitter->GetLeft(), emitter->GetTop(), emitter->GetWidth(), emitter->GetHeight(),
                          emitter->GetPriority(), emitter->GetPartmotion(), emitter->GetIndex(), emitter->GetAlpha()}),
              (std::array{4, 6, 20, 10, 3, 2, 160, 255}));
    auto ranges = [&] {
        const TVelaParticleParam& p = emitter->GetParticleParam();
        return std::array{p.XBase, p.YBase, p.XRange, p.YRange, p.IntervalBase, p.IntervalRange};
    };
    EXPECT_EQ(ranges(), (std::array{10, 0, 1, 1, 100, 1}));
    track.ApplyAt(2);
    EXPECT_EQ(ranges(), (std::array{20, 0, 1, 1, -6, 3}));
    EXPECT_EQ(emitter->GetParam(1), 4.0L);
    EXPECT_FALSE(track.ApplyAt(3));
    EXPECT_TRUE(emitter->IsDeleted());
}

TEST_F(FilmTracks, AChainOfFireTracksSharesOneFire) {
    auto& first = Add<TFireFrameList>();
    auto& second = Add<TFireFrameList>();
    first.Length = 2;
    second.Length = 2;
    second.Parent = &first;
    Film->PlaceTracks();
    first.Power = 50;
    second.Power = 200;
    first.SetFloat(TTrackProp::ZoomX, true, 2.0);
    first.SetPoint(TTrackProp::Size, false, {16, 8});
    first.SetPoint(TTrackProp::Size, true, {16, 8});
    ASSERT_TRUE(first.ApplyAt(0));
    second.ApplyAt(0);
    auto* fire = dynamic_cast<TVelaFire*>(first.GetObject());
    ASSERT_NE(fire, nullptr);
    EXPECT_EQ((std::array{fire->GetOrigwidth(), fire->GetOrigheight(), fire->GetPower()}), (std::array{16, 8, 50}));
    // Leaving the first track keeps the fire: the second continues it.
    EXPECT_FALSE(first.ApplyAt(2));
    ASSERT_TRUE(second.ApplyAt(2));
    EXPECT_EQ(second.GetObject(), fire);
    EXPECT_FALSE(fire->IsDeleted());
    EXPECT_EQ(fire->GetPower(), 200);
    EXPECT_EQ(fire->GetFloatzoomx(), 2.0L);  // the begin is the first track's end
    first.ApplyAt(4);
    EXPECT_FALSE(second.ApplyAt(4));
    EXPECT_TRUE(fire->IsDeleted());
}

TEST_F(FilmTracks, AFreedParticleTrackFreesTheSpriteFilm) {
    auto& track = Add<TParticleFrameList>();
    track.SetFileName("spark.vmt");
    ASSERT_TRUE(track.ApplyAt(0));
    auto* emitter = dynamic_cast<TVelaParticle*>(track.GetObject());
    ASSERT_NE(emitter, nullptr);
    ASSERT_NE(emitter->GetFilm(), nullptr);
    Film.reset();
    EXPECT_EQ(emitter->GetFilm(), nullptr);
    EXPECT_TRUE(emitter->IsDeleted());
}

}  // namespace
