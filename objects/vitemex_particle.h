#pragma once
// The particle emitter (TVelaParticle): short-lived pictures (snow, sparks, bubbles, petals)
// spawned as its own system children and moved by one of four motion kinds, on a fixed step of
// 16 ms whatever the tick's length. Each particle (TVelaParticleImages) shows the emitter's
// picture, or plays the emitter's sprite film (TVelaMotionParticle) at its own age.
//
// Spawning takes the place and the interval from the emitter's three expressions, or, once a
// film track gave it one, from its spawn ranges (TVelaParticleParam). An emitter whose emission
// ended (duration run out) goes once its last particle has gone.
#include "objects/vitemex_images.h"
#include "objects/vitems_kinds.h"
#include "script/params_parser.h"

#include <array>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

class TVelaParticle;

// The spawn ranges: each spawn draws x from [XBase, XBase + XRange), y likewise and the interval
// (ms) from [IntervalBase, IntervalBase + IntervalRange).
struct TVelaParticleParam {
    int32_t XBase = 0, YBase = 0, XRange = 0, YRange = 0, IntervalBase = 0, IntervalRange = 0;
};

// The sprite film of an emitter, played on each particle at the particle's age.
class TVelaMotionParticle : public TVelaMotion {
public:
    using TVelaMotion::TVelaMotion;
    // Shows the film's frame at Age ms (60 frames a second, nearest) on Particle; false once
    // Age lies past the film's last frame.
    bool PlayAt(TVelaControl& Particle, int32_t Age);
};

// One particle: a child of its emitter, never saved, freed by the root once dead.
class TVelaParticleImages : public TVelaCustomImages {
public:
    TVelaParticleImages(TVelaBaseList* AOwner, TVelaParticle& AEmitter, int32_t ANameNumber);
    // Leaves the emitter's list; takes the shared frames off before it goes.
    ~TVelaParticleImages() override;

    // The emitter's frames; none once the emitter has let go of the particle.
    TVelaImageList* CurrentImageList() const override;
    bool GetRepeat() const override { return true; }
    bool SizeFollowsPicture() const override;

    // Takes the emitter's motion kind, parameters and alpha; then centres the picture on the
    // particle's position and sets up the kind's motion.
    void InitMotion(uint8_t AKind, const std::array<long double, 3>& AParams, int32_t AAlpha);
    // Moves the particle N steps of 16 ms; a particle that leaves its emitter's area (by its
    // kind's rule) or the 32-bit range is dead.
    void Advance(int32_t N);
    // Asks for the object's fields and its motion fields ahead of a walk that advances it.
    void PrefetchMotion() const {
        PrefetchObject(this);
        __builtin_prefetch(&Dead);
    }
    // Dead or finished: leaves the emitter's list and asks the root to free it. Otherwise a film
    // particle plays the sprite film at its age, and a picture particle runs its frames.
    bool Step() override;

    bool GetDead() const { return Dead; }
    int32_t GetAge() const { return Age; }
    long double GetParam(int I) const override { return I >= 0 && I < 3 ? Params[size_t(I)] : 0; }
    int32_t GetNameNumber() const { return NameNumber; }
    // The emitter lets go of the particle (it is being freed with it).
    void Detach() { Emitter = nullptr; }

private:
    // Places the particle at (X, Y), whole numbers (exact in double as far as the 32-bit range
    // goes); false (and dead) when either lies outside the 32-bit range.
    bool Place(double X, double Y);
    // The burst ring: placed at the angle and radius about the start.
    bool PlaceOnRing();
    int32_t DrawnLeft() const { return GetLeft() - GetOffsetx(); }
    int32_t DrawnTop() const { return GetTop() - GetOffsety(); }

    TVelaParticle* Emitter;
    int32_t NameNumber;
    std::array<long double, 3> Params{};
    long double PosX = 0;          // horizontal position (thrown)
    long double AccY = 0;          // vertical accumulator
    long double Sway = 0;          // sway amplitude (rising), sway extra (falling)
    long double AngularSpeed = 0;
    long double Angle = 0;
    long double Radius = 0;        // burst ring
    int32_t StartX = 0, StartY = 0;
    uint8_t Kind = 0;
    int32_t Age = 0;
    long double Reach = 0;         // burst ring: distance to the far corner
    bool Dead = false;
};

class TVelaParticle : public TVelaControl {
public:
    explicit TVelaParticle(TVelaBaseList* AOwner, bool UniqueName = true);
    ~TVelaParticle() override;
    uint8_t GetCompoType() const override { return LT_PARTICLE; }

    // A new source drops every particle, the frames and the film, loads a ".mra" picture or a
    // ".vmt" sprite film, and restarts the emitter.
    std::string GetSource() const override { return Source; }
    void SetSource(const std::string& S) override;
    // 0 emits nothing, 1 falling sway, 2 burst ring, 3 thrown, 4 rising spiral; a change
    // restarts the emitter.
    int32_t GetPartmotion() const override { return Kind; }
    void SetPartmotion(int32_t V) override;
    long double GetParam(int I) const override { return I >= 0 && I < 3 ? Params[size_t(I)] : 0; }
    void SetParam(int I, long double V) override;
    int32_t GetAlpha() const override { return Alpha; }
    void SetAlpha(int32_t V) override;
    // The warm-up (ms simulated before the first frame shows).
    int32_t GetIndex() const override { return WarmUp; }
    void SetIndex(int32_t V) override { WarmUp = V; }
    // Emission time (ms) left; 0 emits for ever.
    int32_t GetDuration() const override { return Duration; }
    void SetDuration(int32_t V) override { Duration = V; }
    bool GetPlaying() const override;
    bool GetPaused() const override { return Paused; }
    void SetPaused(bool V) override { Paused = V; }
    std::string GetOnidle() const override { return OnIdle; }
    void SetOnidle(const std::string& S) override { OnIdle = S; }

    // The spawn expressions: x, y and the interval (ms).
    TVelaParser& GetSpawnX() { return SpawnX; }
    TVelaParser& GetSpawnY() { return SpawnY; }
    TVelaParser& GetSpawnInterval() { return SpawnInterval; }
    // The spawn ranges, made when missing; while present they stand in for the expressions.
    TVelaParticleParam& GetParticleParam();
    bool HasParticleParam() const { return Ranges != nullptr; }
    TVelaImageList& GetImages() const { return *Images; }
    TVelaMotionParticle* GetFilm() const { return Film.get(); }
    // Frees the sprite film (its particles then show nothing more of it).
    void FreeFilm() { Film.reset(); }
    const std::vector<TVelaParticleImages*>& GetParticles() const { return Particles; }
    int32_t GetState() const { return State; }
    int32_t GetCarry() const { return Carry; }

    // The emitter's tick: restart (warm-up), emit or drain by the frame time in 16 ms steps.
    // True, with the control's own answer, once a drained emitter has no particle left.
    bool Step() override;
    // Runs N steps: the particles move, then (Emit) new ones are spawned while the countdown
    // has run out; a particle born inside the steps moves for the time left after its birth.
    void Simulate(int32_t N, bool Emit);
    // Particle bookkeeping: a particle leaves the list when freed; a particle's drawing order
    // changed (the particles are sorted once the step is over).
    void ParticleGone(TVelaParticleImages* P);
    void PriorityChanged() { Reorder = true; }

    void SaveToStream(TStream& Stream) override;
    void LoadFromStream(TStream& Stream, int32_t Version) override;

    static constexpr int32_t StepMs = 16;
    // A warm-up, or a tick, runs at most this much time; no spawn while this many particles live.
    static constexpr int32_t MaxSimulatedMs = 600000;
    static constexpr size_t MaxParticles = 10000;

private:
    // Whole steps in the carry (at most MaxSimulatedMs of them); the rest stays.
    int32_t TakeSteps();
    // Frees every particle now.
    void ClearParticles();
    // Spawns while the countdown has run out; Budget is the time (ms) the steps left.
    void SpawnDue(int64_t Budget);
    void Spawn(int32_t X, int32_t Y, int64_t Budget);
    // The smallest number no particle name of this emitter uses.
    int32_t NextNameNumber();

    int32_t State = 0;  // 0 restart, 1 emitting, 2 draining
    TVelaParser SpawnX, SpawnY, SpawnInterval;
    std::unique_ptr<TVelaParticleParam> Ranges;
    std::string Source;
    std::unique_ptr<TVelaImageList> Images;
    std::vector<TVelaParticleImages*> Particles;  // children, oldest first
    uint8_t Kind = 0;
    std::array<long double, 3> Params{};
    int32_t Alpha = 255;
    int64_t Countdown = 0;  // ms to the next spawn
    int32_t Carry = 0;      // ms not yet simulated
    int32_t WarmUp = 0;
    std::string OnIdle;
    bool Paused = false;
    int32_t Duration = 0;
    std::unique_ptr<TVelaMotionParticle> Film;
    // Particle names: numbers given back by freed particles, and the next never given.
    std::set<int32_t> FreeNumbers;
    int32_t FreshNumber = 0;
    bool Reorder = false;
};
