// The particle emitter on a fake clock: each motion kind's path against
// tests/tools/particle_ref.py with the generator seeded, the 16 ms step with its carry, the
// warm-up, spawn intervals, draining, the bounds on particles and simulated time, film
// particles, and the record at its gates.
#include "objects/vitemex_particle.h"

#include "core/rands.h"
#include "tests/objects/image_kinds_fixture.h"

#include <set>

namespace {

class Particles : public ImageKindsTest {
protected:
    void SetUp() override {
        ImageKindsTest::SetUp();
        Cache->Source->Files["dot.mra"] = {{4, 4, 100, false}};
        Bases->SetHeight(48);
    }
    // An emitter of 64 x 48 on layer 0 showing dot.mra, with the expressions given ("" none).
    TVelaParticle* Emitter(int32_t Kind, std::array<long double, 3> Params, const std::string& X = "",
                           const std::string& Y = "", const std::string& Interval = "") {
        auto* e = Make<TVelaParticle>("snow");
        e->SetBounds(0, 0, 64, 48);
        e->SetSource("dot.mra");
        e->SetPartmotion(Kind);
        for (int i = 0; i < 3; ++i) e->SetParam(i, Params[size_t(i)]);
        const std::pair<const std::string*, TVelaParser*> expressions[] = {
            {&X, &e->GetSpawnX()}, {&Y, &e->GetSpawnY()}, {&Interval, &e->GetSpawnInterval()}};
        for (const auto& [text, expression] : expressions)
            if (!text->empty()) CompileExpression(*text, *expression);
        return e;
    }
    static std::vector<int32_t> Ages(const TVelaParticle& E) {
        std::vector<int32_t> ages;
        for (const TVelaParticleImages* p : E.GetParticles()) ages.push_back(p->GetAge());
        return ages;
    }
};

TEST_F(Particles, EachMotionKindFollowsTheReferencePath) {
    struct TCase {
        int Kind;
        std::array<long double, 3> P;
        int32_t X, Y;
        uint32_t Seed;
        int Steps;
    };
    const TCase cases[] = {
        {1, {0.75L, 6, 12}, 20, 10, 12345, 200},  // falls out of the bottom
        {1, {0.25L, 4, 2}, 40, 30, 7, 100},       // no extra sway
        {2, {2, 1.25L, 0.25L}, 30, 20, 777, 200}, // reaches the far corner
        {3, {0.375L, 1.5L, 2.5L}, 10, 40, 99, 200},
        {3, {-0.0625L, -2, -1}, 50, 10, 4, 200},  // thrown left, out of the left side
        {4, {1.5L, 10, 0.25L}, 30, 40, 5, 20},    // rising to the top
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Kind);
        std::vector<std::string> args{"path", std::to_string(c.Kind)};
        for (long double p : c.P) args.push_back(std::to_string(double(p)));
        for (int32_t v : {c.X, c.Y, 64, 48, int32_t(c.Seed), c.Steps}) args.push_back(std::to_string(v));
        TVelaParticle* e = Emitter(c.Kind, c.P, std::to_string(c.X), std::to_string(c.Y), "100000");
        RandSeed = c.Seed;
        Tick(16);  // born, not moved
        ASSERT_EQ(e->GetParticles().size(), 1u);
        const TVelaParticleImages* p = e->GetParticles()[0];
        EXPECT_EQ(p->GetOffsetx(), 2);
        int steps = 0;
        for (const std::string& line : Lines(PythonOutput("particle_ref.py", args))) {
            std::istringstream row(line);
            int32_t left = 0, top = 0, dead = 0, priority = 0;
            row >> left >> top >> dead >> priority;
            Tick(16);
            ++steps;
            if (dead) {
                EXPECT_TRUE(e->GetParticles().empty()) << steps;
                break;
            }
            ASSERT_EQ(e->GetParticles().size(), 1u) << steps;
            EXPECT_EQ(p->GetLeft(), left) << steps;
            EXPECT_EQ(p->GetTop(), top) << steps;
            EXPECT_EQ(p->GetPriority(), priority) << steps;
        }
        EXPECT_GT(steps, 5);
        delete e;
    }
}

TEST_F(Particles, StepsAreSixteenMillisecondsWithTheRestCarried) {
    // Without an interval expression one particle a tick, the countdown set to 16.
    TVelaParticle* e = Emitter(3, {0, 0, 0});
    Tick(40);  // the start: no warm-up, one particle
    EXPECT_EQ(Ages(*e), std::vector<int32_t>{0});
    Tick(40);  // 2 steps, 8 carried; the new particle was born one step in
    EXPECT_EQ(e->GetCarry(), 8);
    EXPECT_EQ(Ages(*e), (std::vector<int32_t>{32, 16}));
    delete e;

    // A warm-up of 1000 ms runs 62 steps at the start; intervals of 16 ms.
    e = Emitter(3, {0, 0, 0}, "", "", "16");
    e->SetIndex(1000);
    Tick(40);
    EXPECT_EQ(e->GetCarry(), 8);
    ASSERT_EQ(e->GetParticles().size(), 63u);
    EXPECT_EQ(e->GetParticles().front()->GetAge(), 976);
    delete e;

    // An interval of 0 counts as 2: eight particles a step.
    e = Emitter(3, {0, 0, 0}, "", "", "0");
    Tick(16);
    Tick(16);
    EXPECT_EQ(e->GetParticles().size(), 1u + 8u);
    delete e;

    // Motion kind 0 emits nothing.
    e = Emitter(0, {0, 0, 0});
    for (int i = 0; i < 5; ++i) Tick(16);
    EXPECT_TRUE(e->GetParticles().empty());
    delete e;

    // Rising spirals keep their emitter's children in drawing order, the nearer in front.
    e = Emitter(4, {0.5L, 8, 0.3L}, "24", "40", "4");
    for (int i = 0; i < 6; ++i) Tick(16);
    ASSERT_GT(e->GetControlCount(), 10);
    std::set<int32_t> priorities;
    for (int i = 0; i < e->GetControlCount(); ++i) {
        priorities.insert(e->GetControl(i)->GetPriority());
        if (i > 0) {
            EXPECT_LE(e->GetControl(i - 1)->GetPriority(), e->GetControl(i)->GetPriority());
        }
    }
    EXPECT_GT(priorities.size(), 3u);
}

TEST_F(Particles, ADrainedEmitterGoesWithItsLastParticle) {
    TVelaParticle* e = Emitter(1, {4, 0, 0}, "30", "0");  // falls 4 a step: 13 steps to the bottom
    e->SetDuration(50);
    size_t before = 0;
    for (int i = 0; i < 5; ++i) {
        Tick(16);
        before = e->GetParticles().size();
    }
    EXPECT_EQ(e->GetState(), 2);
    for (int i = 0; i < 8; ++i) {
        Tick(16);
        ASSERT_LE(e->GetParticles().size(), before);
        before = e->GetParticles().size();
    }
    EXPECT_NE(Bases->FindObject("snow"), nullptr);
    for (int i = 0; i < 10 && Bases->FindObject("snow"); ++i) Tick(16);
    EXPECT_EQ(Bases->FindObject("snow"), nullptr);
}

TEST_F(Particles, ParticlesAndSimulatedTimeAreBounded) {
    // Still particles every 2 ms over a warm-up far beyond the bound: 600,000 ms are run, and
    // no more than 10,000 particles live.
    TVelaParticle* e = Emitter(3, {0, 0, 0}, "", "", "0");
    e->SetIndex(2000000000);
    Tick(16);
    EXPECT_EQ(e->GetParticles().size(), TVelaParticle::MaxParticles);
    EXPECT_EQ(e->GetParticles().front()->GetAge(), TVelaParticle::MaxSimulatedMs - 16);
    Tick(16);
    EXPECT_EQ(e->GetParticles().size(), TVelaParticle::MaxParticles);
    delete e;

    // A rising spiral pushed down past the 32-bit range dies instead of falling for ever.
    e = Emitter(4, {-1e10L, 4, 0.1L}, "", "", "100000");
    Tick(16);
    ASSERT_EQ(e->GetParticles().size(), 1u);
    Tick(16);
    EXPECT_TRUE(e->GetParticles().empty());
}

TEST_F(Particles, FilmParticlesEndWithTheFilm) {
    // The 60-frame film: frame 60 is reached at age 992 (59.52 rounded).
    TVelaParticle* e = Emitter(3, {0, 0, 0}, "", "", "100000");
    e->SetSource("spark.vmt");
    ASSERT_NE(e->GetFilm(), nullptr);
    EXPECT_EQ(e->GetImages().Count(), 0);
    Tick(16);
    for (int i = 0; i < 61; ++i) Tick(16);
    ASSERT_EQ(Ages(*e), std::vector<int32_t>{976});
    Tick(16);
    EXPECT_TRUE(e->GetParticles().empty());
    e->FreeFilm();
    EXPECT_EQ(e->GetFilm(), nullptr);
}

TEST_F(Particles, RecordsAtTheirGates) {
    const std::vector<ReferenceRecord> records = ReferenceRecords("particle_ref.py", {"records"});
    for (const ReferenceRecord& r : records) {
        SCOPED_TRACE(r.version);
        TVelaParticle read(Bases, false);
        ExpectReadsAsReferenced(read, r);
        EXPECT_EQ(read.GetState(), 0);
    }
    EXPECT_EQ(records.size(), 3u);

    // Expressions, a picture and particles: save, load, save is byte-identical, and the loaded
    // emitter starts again with none.
    TVelaParticle* e = Emitter(2, {1, 2, 3}, "3 + 4", "7", "40");
    e->SetIndex(300);
    e->SetDuration(900);
    Tick(16);
    ASSERT_FALSE(e->GetParticles().empty());
    TMemoryStream first;
    e->SaveToStream(first);
    TVelaParticle loaded(Bases, false);
    TMemoryStream in = StreamOf(Bytes(first));
    loaded.LoadFromStream(in, 144);
    EXPECT_EQ(loaded.GetSpawnX().Count(), e->GetSpawnX().Count());
    EXPECT_EQ(loaded.GetImages().Count(), 1);
    EXPECT_TRUE(loaded.GetParticles().empty());
    TMemoryStream second;
    loaded.SaveToStream(second);
    EXPECT_EQ(ToHex(Bytes(second)), ToHex(Bytes(first)));
}

}  // namespace
