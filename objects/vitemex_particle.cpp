// The particle emitter: its properties, the fixed-step simulation with its spawn countdown, the
// particles' four motion kinds, the sprite film and the record.
#include "objects/vitemex_particle.h"

#include "core/rands.h"
#include "core/sysutils.h"
#include "objects/vitemex_image.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace {

constexpr long double TwoPi = 2 * std::numbers::pi_v<long double>;
constexpr long double Int32Low = std::numeric_limits<int32_t>::min();
constexpr long double Int32High = std::numeric_limits<int32_t>::max();

template <class F>
bool InInt32(F V) {
    return V >= F(Int32Low) && V <= F(Int32High);
}

// trunc(V) for V >= 1 without the x87 unit's switch of rounding mode: the whole part of the
// nearest double, less one where rounding to that double went up to the next whole number.
long double WholePart(long double V) {
    if (V >= 0x1p52L) return std::trunc(V);
    const int64_t whole = int64_t(double(V));
    return whole > V ? whole - 1 : whole;
}

// The integer an expression gives, 0 when it gives nothing.
int64_t ExpressionInt(TVelaParser& Expression) {
    Expression.Execute();
    const TCustomParam* result = Expression.Result();
    return result ? result->AsInt() : 0;
}

}  // namespace

// ---- The sprite film ----

bool TVelaMotionParticle::PlayAt(TVelaControl& Particle, int32_t Age) {
    const int32_t frame = RoundDivEven(int64_t(Age) * 60, 1000);
    if (frame >= GetFrameCount()) return false;
    SetObject(&Particle);
    GetFilm().SetTime(Particle, frame);
    return true;
}

// ---- A particle ----

TVelaParticleImages::TVelaParticleImages(TVelaBaseList* AOwner, TVelaParticle& AEmitter, int32_t ANameNumber)
    : TVelaCustomImages(AOwner, false), Emitter(&AEmitter), NameNumber(ANameNumber) {}

TVelaParticleImages::~TVelaParticleImages() {
    Invalidate();
    DropPictures();
    if (Emitter) Emitter->ParticleGone(this);
}

TVelaImageList* TVelaParticleImages::CurrentImageList() const { return Emitter ? &Emitter->GetImages() : nullptr; }

bool TVelaParticleImages::SizeFollowsPicture() const { return !Emitter || !Emitter->GetFilm(); }

bool TVelaParticleImages::Place(double X, double Y) {
    if (!InInt32(X) || !InInt32(Y)) {
        Dead = true;
        return false;
    }
    const int32_t x = int32_t(X), y = int32_t(Y);
    if (!PlacedAtPosition() || IsRotated()) {
        MoveTo(x, y);
        return true;
    }
    // The unturned picture's area moves with the position: it is worked out once, for the
    // invalidations on both sides of the move. Nothing is invalidated after the move when nothing
    // is before it (the layer is wholly dirty, or the picture is not shown).
    const int32_t dx = x - GetLeft(), dy = y - GetTop();
    const bool shown = (dx != 0 || dy != 0) && !LayerWhollyDirty() && PictureShown();
    const TRect before = shown ? GetBoundsRect() : TRect{};
    if (shown) InvalidateArea(before);
    SetPosition(x, y);
    if (shown) InvalidateArea({before.Left + dx, before.Top + dy, before.Right + dx, before.Bottom + dy});
    PlaceNativeControls();
    return true;
}

bool TVelaParticleImages::PlaceOnRing() {
    return Place(std::rint(std::cos(Angle) * Radius) + StartX, std::rint(std::sin(Angle) * Radius) + StartY);
}

void TVelaParticleImages::InitMotion(uint8_t AKind, const std::array<long double, 3>& AParams, int32_t AAlpha) {
    Kind = AKind;
    Params = AParams;
    SetAlpha(AAlpha);
    SetOffsetx(GetWidth() / 2);
    SetOffsety(GetHeight() / 2);
    const TVelaControl* parent = GetParent();
    const int32_t parentWidth = parent ? parent->GetWidth() : 0, parentHeight = parent ? parent->GetHeight() : 0;
    switch (Kind) {
        case 1:  // falling sway
            StartX = GetLeft();
            StartY = GetTop();
            Sway = 0;
            AngularSpeed = RandomFloat() * 0.02L + 0.02L;
            if (Params[0] <= 0) Params[0] = 0.1L;
            if (Params[1] < Params[2]) Sway = RandomFloat() * (Params[2] - Params[1]);
            break;
        case 2: {  // burst ring
            StartX = GetLeft();
            StartY = GetTop();
            Angle = RandomFloat() * TwoPi;
            Radius = Params[0] + 0.1L;
            if (!PlaceOnRing()) break;
            const long double targetX = StartX < parentWidth / 2.0L ? parentWidth : 0;
            const long double targetY = StartY < parentHeight / 2.0L ? parentHeight : 0;
            Reach = std::hypot(targetX - StartX, targetY - StartY);
            Params[2] *= 0.7L + 0.3L * RandomFloat();
            break;
        }
        case 3:  // thrown
            Params[1] += RandomFloat() * (Params[2] - Params[1]);
            PosX = GetLeft();
            StartY = GetTop();
            break;
        case 4:  // rising spiral
            StartX = GetLeft();
            AccY = GetTop();
            Sway = Params[1] / 2 * (0.95L + 0.05L * RandomFloat());
            AngularSpeed = Params[2] * (0.5L + 0.5L * RandomFloat());
            break;
        default:
            break;
    }
}

void TVelaParticleImages::Advance(int32_t N) {
    if (Dead) return;
    Age = int32_t(std::min<int64_t>(int64_t(Age) + int64_t(TVelaParticle::StepMs) * N, Int32High));
    const TVelaControl* parent = GetParent();
    const int32_t parentWidth = parent ? parent->GetWidth() : 0, parentHeight = parent ? parent->GetHeight() : 0;
    switch (Kind) {
        case 1: {
            Angle += AngularSpeed * N;
            AccY += Params[0] * N;
            double top = GetTop();
            if (AccY >= 1) {
                const long double whole = WholePart(AccY);
                top += double(whole);
                AccY -= whole;
            }
            // The sway is rounded to whole pixels: the sine and its product in double give the
            // same places.
            const double sway = std::sin(double(Angle)) * double(Params[1] + Sway);
            if (!Place(std::rint(sway) + StartX, top)) return;
            if (parentHeight <= DrawnTop()) Dead = true;
            break;
        }
        case 2:
            if (N > 1) Radius *= std::pow(Params[1], static_cast<long double>(N - 1));
            if (!InInt32(Radius) || !PlaceOnRing()) {
                Dead = true;
                return;
            }
            Radius *= Params[1];
            if (Reach <= Radius) Dead = true;
            Angle += Params[2];
            break;
        case 3: {
            PosX += Params[1] * N;
            AccY += N;
            if (!Place(std::trunc(PosX), StartY - std::trunc(Params[0] * AccY * AccY))) return;
            const int64_t bottom = int64_t(DrawnTop()) + GetHeight();
            if (Params[1] >= 0)
                Dead = parentWidth <= DrawnLeft() || bottom < 0;
            else
                Dead = int64_t(DrawnLeft()) + GetWidth() < 0 || bottom < 0;
            break;
        }
        case 4: {
            Angle += AngularSpeed * N;
            if (Angle > TwoPi) Angle -= TwoPi;
            const long double z = std::fabs(std::cos(Angle / 2)) * 0.5L + 0.5L;
            SetFloatzoomx(z);
            SetFloatzoomy(z);
            AccY -= Params[0];
            if (!Place(std::trunc(std::sin(Angle) * Sway * z) + StartX, std::trunc(AccY))) return;
            // The emitter sorts its particles once they have all moved.
            if (const int32_t priority = RoundSat((z - 0.5L) / 0.5L * 2000 - 1000); priority != GetPriority()) {
                StorePriority(priority);
                if (Emitter) Emitter->PriorityChanged();
            }
            if (int64_t(DrawnTop()) + GetHeight() < 0) Dead = true;
            break;
        }
        default:
            Dead = true;
            break;
    }
}

bool TVelaParticleImages::Step() {
    if (!Dead) {
        if (TVelaMotionParticle* film = Emitter ? Emitter->GetFilm() : nullptr) {
            if (!film->PlayAt(*this, Age)) Dead = true;
        } else if (TVelaCustomImages::Step()) {
            Dead = true;
        }
    }
    if (!Dead) return false;
    if (Emitter) Emitter->ParticleGone(this);
    Emitter = nullptr;
    return true;
}

// ---- The emitter ----

TVelaParticle::TVelaParticle(TVelaBaseList* AOwner, bool UniqueName)
    : TVelaControl(AOwner, UniqueName), Images(std::make_unique<TVelaImageList>()) {}

TVelaParticle::~TVelaParticle() {
    // The particles show the emitter's frames: they go first.
    ClearParticles();
    Film.reset();
}

void TVelaParticle::ClearParticles() {
    while (!Particles.empty()) delete Particles.back();  // each leaves the list
    FreeNumbers.clear();
    FreshNumber = 0;
}

void TVelaParticle::ParticleGone(TVelaParticleImages* P) {
    // Particles die oldest first, and are freed together newest first.
    if (!Particles.empty() && Particles.back() == P) {
        Particles.pop_back();
    } else {
        const auto at = std::find(Particles.begin(), Particles.end(), P);
        if (at == Particles.end()) return;
        Particles.erase(at);
    }
    P->Detach();
    FreeNumbers.insert(P->GetNameNumber());
}

int32_t TVelaParticle::NextNameNumber() {
    const std::string prefix = SystemNameMark + GetName() + SystemNameMark;
    for (;;) {
        int32_t n;
        if (!FreeNumbers.empty()) {
            n = *FreeNumbers.begin();
            FreeNumbers.erase(FreeNumbers.begin());
        } else {
            n = FreshNumber++;
        }
        if (!Owner->ObjectNamed(prefix + std::to_string(n))) return n;
    }
}

void TVelaParticle::SetSource(const std::string& S) {
    if (S == Source) return;
    Source = S;
    ClearParticles();
    Images->Clear();
    Film.reset();
    State = 0;
    const std::string kind = AnsiLowerCase(ExtractFileExt(S));
    if (kind == ".mra") {
        Images->LoadImage(S, false);
    } else if (kind == ".vmt") {
        auto film = std::make_unique<TVelaMotionParticle>(*this);
        film->LoadFromFile(S);
        Film = std::move(film);
    }
}

void TVelaParticle::SetPartmotion(int32_t V) {
    const auto kind = static_cast<uint8_t>(V);
    if (kind == Kind) return;
    Kind = kind;
    State = 0;
}

void TVelaParticle::SetParam(int I, long double V) {
    if (I >= 0 && I < 3) Params[size_t(I)] = V;
}

void TVelaParticle::SetAlpha(int32_t V) { ChangeLook(Alpha, V); }

bool TVelaParticle::GetPlaying() const {
    const TVelaMotion* motion = GetMotion();
    return !Paused && !GetAnipaused() && (!motion || !motion->GetFinished());
}

TVelaParticleParam& TVelaParticle::GetParticleParam() {
    if (!Ranges) Ranges = std::make_unique<TVelaParticleParam>();
    return *Ranges;
}

int32_t TVelaParticle::TakeSteps() {
    const int32_t steps = std::min(Carry / StepMs, MaxSimulatedMs / StepMs);
    Carry %= StepMs;
    return steps;
}

bool TVelaParticle::Step() {
    const bool result = TVelaControl::Step();
    if (GetAnipaused()) return result;
    const int32_t frame = static_cast<int32_t>(std::min<uint32_t>(SceneTickLength(), MaxSimulatedMs));
    switch (State) {
        case 0:
            State = 1;
            Carry = std::clamp(WarmUp, 0, MaxSimulatedMs);
            Countdown = 0;
            Simulate(TakeSteps(), true);
            break;
        case 1:
            Carry += frame;
            Simulate(TakeSteps(), true);
            if (Duration > 0) {
                Duration -= frame;
                if (Duration < 1) State = 2;
            }
            break;
        default:
            if (Particles.empty()) return true;
            Carry += frame;
            Simulate(TakeSteps(), false);
            break;
    }
    return result;
}

void TVelaParticle::Simulate(int32_t N, bool Emit) {
    int64_t budget = int64_t(StepMs) * N;
    if (Emit) Countdown -= budget;
    if (N > 0) {
        const TOriginHold hold(*this);
        for (size_t i = Particles.size(); i-- > 0;) {
            if (i >= WalkAhead) Particles[i - WalkAhead]->PrefetchMotion();
            Particles[i]->Advance(N);
        }
    }
    if (Emit && Kind != 0 && Owner) SpawnDue(budget);
    // Rising spirals draw the nearer particles in front.
    if (Reorder) SortControls();
    Reorder = false;
}

void TVelaParticle::SpawnDue(int64_t Budget) {
    while (Countdown < 1) {
        int64_t x = 0, y = 0, interval = 0;
        const bool timed = Ranges || SpawnInterval.Count() > 0;
        if (Ranges) {
            x = int64_t(Random(Ranges->XRange)) + Ranges->XBase;
            y = int64_t(Random(Ranges->YRange)) + Ranges->YBase;
            interval = int64_t(Random(Ranges->IntervalRange)) + Ranges->IntervalBase;
        } else {
            if (timed) interval = ExpressionInt(SpawnInterval);
            x = ExpressionInt(SpawnX);
            y = ExpressionInt(SpawnY);
        }
        if (timed) {
            if (interval < 3) interval = 2;
            Countdown += interval;
        } else {
            interval = StepMs;
            Countdown = StepMs;
        }
        Budget -= interval;
        if (Particles.size() < MaxParticles) Spawn(int32_t(x), int32_t(y), Budget);
    }
}

void TVelaParticle::Spawn(int32_t X, int32_t Y, int64_t Budget) {
    const int32_t number = NextNameNumber();
    auto* particle = new TVelaParticleImages(Owner, *this, number);
    Particles.push_back(particle);
    particle->SetName(SystemNameMark + GetName() + SystemNameMark + std::to_string(number));
    particle->SetParent(this);
    particle->SetLeft(X);
    particle->SetTop(Y);
    if (Images->Count() > 0) particle->SetIndex(0);
    particle->InitMotion(Kind, Params, Alpha);
    if (Budget > 0 && Budget / StepMs > 0) particle->Advance(int32_t(std::min<int64_t>(Budget / StepMs, Int32High)));
}

// ---- The record ----

void TVelaParticle::SaveToStream(TStream& Stream) {
    TVelaControl::SaveToStream(Stream);
    for (const TVelaParser* e : {&SpawnX, &SpawnY, &SpawnInterval}) e->SaveToStream(Stream);
    WriteStreamString(Stream, Source);
    WriteStreamByte(Stream, Kind);
    for (long double p : Params) WriteStreamExtended(Stream, p);
    WriteStreamInt(Stream, Alpha);
    WriteStreamInt(Stream, WarmUp);
    WriteStreamString(Stream, OnIdle);
    WriteStreamByte(Stream, Paused);
    WriteStreamInt(Stream, Duration);
}

// The emitter starts again after a load: particles are not kept.
void TVelaParticle::LoadFromStream(TStream& Stream, int32_t Version) {
    TVelaControl::LoadFromStream(Stream, Version);
    for (TVelaParser* e : {&SpawnX, &SpawnY, &SpawnInterval}) e->LoadFromStream(Stream);
    SetSource(ReadStreamString(Stream));
    Kind = ReadStreamByte(Stream);
    for (long double& p : Params) p = ReadFiniteExtended(Stream);
    Alpha = ReadStreamInt(Stream);
    if (Version >= 104) {
        WarmUp = ReadStreamInt(Stream);
        OnIdle = ReadStreamString(Stream);
        Paused = ReadStreamByte(Stream) != 0;
        Duration = ReadStreamInt(Stream);
    }
    State = 0;
}
