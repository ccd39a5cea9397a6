// The interval timer, the film motion a control plays on itself, the property motion, and the
// scene clock they run on.
#include "objects/vitems_kinds.h"

#include "core/sysutils.h"
#include "script/params_props.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

uint32_t SceneClock() { return ScriptHost().LoopTime(); }
uint32_t SceneTickLength() { return ScriptHost().FrameTime(); }

int32_t RoundDivEven(int64_t Num, int64_t Den) {
    int64_t q = Num / Den, r = Num % Den;
    if (r < 0) {
        --q;
        r += Den;
    }
    if (2 * r > Den || (2 * r == Den && (q & 1))) ++q;
    return static_cast<int32_t>(q);
}

// ---- Films ----

namespace {

TFilmFactory FilmFactory = nullptr;

}  // namespace

void SetFilmFactory(TFilmFactory Factory) { FilmFactory = Factory; }

std::unique_ptr<TVelaFilm> MakeFilm() { return FilmFactory ? FilmFactory() : std::make_unique<TVelaFilm>(); }

// ---- Film motion ----

TVelaMotion::TVelaMotion(TVelaControl& ATarget) : Film(MakeFilm()) { SetObject(&ATarget); }

TVelaMotion::~TVelaMotion() {
    if (TVelaControl* target = GetObject()) {
        target->SetControlValue(0);
        target->SetControlValue2(0);
        target->SetSubPriority(0);
    }
}

TVelaControl* TVelaMotion::GetObject() const {
    return Root && Root->IsLive(Target) ? static_cast<TVelaControl*>(Target.Object) : nullptr;
}

void TVelaMotion::SetObject(TVelaControl* ATarget) {
    Target = ATarget ? ATarget->Ref() : TObjectRef{};
    Root = ATarget ? ATarget->GetOwner() : nullptr;
}

void TVelaMotion::LoadFromFile(const std::string& FileName) {
    // A film that is missing or cannot be read is dropped: the control plays an empty one.
    try {
        Film->LoadFromFile(FileName);
    } catch (const EVelaError&) {
        Film = MakeFilm();
    }
    Start();
}

void TVelaMotion::Start() {
    Elapsed = 0;
    Countdown = 2;
    Finished = false;
    Frame = 0;
}

bool TVelaMotion::Update() {
    TVelaControl* target = GetObject();
    if (!target) return false;
    const int32_t left = target->GetLeft(), top = target->GetTop();
    bool reapply = false;
    if (Countdown < 1 && (left != LastLeft || top != LastTop) && Film->FollowPosition) {
        Film->OriginX = left;
        Film->OriginY = top;
        Finished = false;
        reapply = true;
    }
    if (Finished) return false;
    const bool first = Countdown == 2;
    if (first) {
        Film->OriginX = Film->FollowPosition ? left : 0;
        Film->OriginY = Film->FollowPosition ? top : 0;
        Film->BasePriority = target->GetPriority();
        LastLeft = left;
        LastTop = top;
    }
    if (Countdown < 1 && !target->GetAnipaused()) Elapsed += static_cast<int32_t>(SceneTickLength());
    Frame = RoundDivEven(int64_t(Elapsed) * 60, 1000);
    const int32_t length = Film->GetLength();
    bool ended = false;
    if (Frame >= length) {
        if (!target->GetRepeat()) {
            Frame = length - 1;
            Finished = ended = true;
        } else {
            Frame = length > 0 ? std::min(Frame % length + Film->RepeatPos, length - 1) : 0;
            Elapsed = RoundDivEven(int64_t(Frame) * 1000, 60);
        }
    }
    if (first || Frame != Film->CurrentTime || reapply) Film->SetTime(*target, Frame);
    if (Countdown > 0) --Countdown;
    // The film may have moved or freed its target.
    if ((target = GetObject())) {
        LastLeft = target->GetLeft();
        LastTop = target->GetTop();
    }
    return ended;
}

void TVelaMotion::ApplyCurrent() {
    TVelaControl* target = GetObject();
    if (target && Frame >= 0 && Frame < Film->GetLength()) Film->SetTime(*target, Frame);
}

// ---- A control's film ----

// Taking or dropping a film moves the control between Left/Top and the film position.
void TVelaControl::LoadFilm(const std::string& FileName) {
    FreeMotion();
    Invalidate();
    Motion = std::make_unique<TVelaMotion>(*this);
    Invalidate();
    Motion->LoadFromFile(FileName);
}

void TVelaControl::StartFilm() {
    if (Motion) Motion->Start();
}

void TVelaControl::SetFilmSource(std::string& Source, const std::string& S) {
    if (S == Source) return;
    Source = S;
    FreeMotion();
    if (AnsiSameText(ExtractFileExt(S), ".vmt")) LoadFilm(S);
}

void TVelaControl::SetFilmRepeat(bool& Repeat, bool V) {
    Repeat = V;
    if (V && Motion && Motion->GetFinished()) StartFilm();
}

void TVelaControl::FreeMotion() {
    if (!Motion) return;
    Invalidate();
    Motion.reset();
    Invalidate();
}

bool TVelaControl::GetPlaying() const {
    return Motion && !Motion->GetFinished() && !GetPaused() && !GetAnipaused();
}

void TVelaControl::MakePrivateDIBs() {
    if (Motion) Motion->ApplyCurrent();
}

bool TVelaControl::Step() {
    if (!Motion || !Motion->Update()) return false;
    if (GetAutoscrap()) return true;
    if (const std::string handler = GetOnplayend(); !handler.empty() && Owner)
        Owner->GetEvents().Add(this, handler, nullptr, PR_ONPLAYEND);
    return false;
}

// ---- The interval timer ----

TVelaTimer::TVelaTimer(TVelaBaseList* AOwner) : TVelaComponent(AOwner), PeriodStart(SceneClock()) {}

void TVelaTimer::Restart() {
    if (Owner) Owner->GetEvents().RemoveObject(this);
    PeriodStart = SceneClock();
}

void TVelaTimer::SetOnnotify(const std::string& S) {
    OnNotify = S;
    Restart();
}

void TVelaTimer::SetDelay(int32_t V) {
    Delay = V;
    Restart();
}

void TVelaTimer::SetPaused(bool V) {
    if (V == Paused) return;
    Paused = V;
    Restart();
}

bool TVelaTimer::Step() {
    if (!Owner) return false;
    TTimerList& events = Owner->GetEvents();
    if (Fired && AutoScrap) return !events.IsQueued(this, PR_ONNOTIFY);
    if (Delay < 0 || Paused) return false;
    const uint32_t late = SceneClock() - PeriodStart;
    if (Delay != 0 && late < uint32_t(Delay)) return false;
    // Whole periods, so that they keep their phase; periods missed in a long tick are skipped.
    if (Delay != 0) PeriodStart += late / uint32_t(Delay) * uint32_t(Delay);
    if (events.IsQueued(this, PR_ONNOTIFY)) return false;
    events.Add(this, OnNotify, nullptr, PR_ONNOTIFY);
    Fired = true;
    return false;
}

// The timer record follows the base record.
void TVelaTimer::SaveToStream(TStream& Stream) {
    TVelaComponent::SaveToStream(Stream);
    WriteStreamString(Stream, OnNotify);
    WriteStreamInt(Stream, Delay);
    WriteStreamByte(Stream, Paused);
    WriteStreamByte(Stream, AutoScrap);
    WriteStreamByte(Stream, Fired);
}

void TVelaTimer::LoadFromStream(TStream& Stream, int32_t Version) {
    TVelaComponent::LoadFromStream(Stream, Version);
    OnNotify = ReadStreamString(Stream);
    Delay = ReadStreamInt(Stream);
    Paused = ReadStreamByte(Stream) != 0;
    if (Version >= 104) {
        AutoScrap = ReadStreamByte(Stream) != 0;
        Fired = ReadStreamByte(Stream) != 0;
    }
    PeriodStart = SceneClock();
}

// ---- The property motion ----

TVelaObject* TVelaPropMotion::LiveTarget() const {
    return Owner && Owner->IsLive(Target) && !Target.Object->IsDeleted() ? Target.Object : nullptr;
}

bool TVelaPropMotion::AtEnd() const { return Elapsed > 0 && int64_t(Elapsed) >= int64_t(Duration) - 1; }

long double TVelaPropMotion::CurrentValue() const {
    if (Elapsed <= 0) return StartValue;
    if (AtEnd()) return TargetValue;
    const long double n = Duration, t = Elapsed, span = TargetValue - StartValue;
    constexpr long double pi = std::numbers::pi_v<long double>;
    switch (Easing) {
        case EaseIntoEnd: return TargetValue - std::sin((n - t - 1) * pi / 2 / n) * span;
        case EaseFromStart: return StartValue + std::sin(t * pi / 2 / n) * span;
        default: return StartValue + span * t / n;
    }
}

bool TVelaPropMotion::Step() {
    if (Paused || !Owner) return false;
    TVelaObject* target = LiveTarget();
    if (Target.Object && !target) return true;
    // A property that cannot be read or written raises once: the motion goes with its error.
    try {
        if (!target) {
            target = Owner->FindObject(TargetName);
            if (!target || PropId >= PropCount) return true;
            Target = target->Ref();
            GetObjectProp(Holder, *target, PropId);
            StartValue = Holder.AsFloat();
        }
        Holder.SetFloat(CurrentValue());
        SetObjectProp(*target, PropId, Holder);
    } catch (...) {
        Delete();
        throw;
    }
    const bool done = AtEnd();
    Elapsed = static_cast<int32_t>(
        std::min<int64_t>(int64_t(Elapsed) + SceneTickLength(), std::numeric_limits<int32_t>::max()));
    return done;
}

// The motion record follows the base record. The object is stored by name and found again at
// the first step after loading, which reads the start value anew.
void TVelaPropMotion::SaveToStream(TStream& Stream) {
    TVelaComponent::SaveToStream(Stream);
    TVelaObject* target = LiveTarget();
    // A motion whose object went ends at its next step; stored without a property, it ends at
    // its first step after loading instead of finding some other object.
    const bool ended = Target.Object && !target;
    WriteStreamString(Stream, target ? Owner->ReferenceName(*target) : ended ? std::string() : TargetName);
    WriteStreamInt(Stream, ended ? NoProperty : PropId);
    WriteStreamExtended(Stream, TargetValue);
    WriteStreamInt(Stream, Duration);
    WriteStreamInt(Stream, Easing);
    WriteStreamExtended(Stream, StartValue);
    WriteStreamInt(Stream, Elapsed);
    WriteStreamByte(Stream, Paused);
}

void TVelaPropMotion::LoadFromStream(TStream& Stream, int32_t Version) {
    TVelaComponent::LoadFromStream(Stream, Version);
    TargetName = ReadStreamString(Stream);
    Target = {};
    // Both are bytes stored in four.
    const uint32_t id = static_cast<uint32_t>(ReadStreamInt(Stream));
    TargetValue = ReadStreamExtended(Stream);
    Duration = ReadStreamInt(Stream);
    const uint32_t easing = static_cast<uint32_t>(ReadStreamInt(Stream));
    if (id > 255 || easing > 255) throw EReadError();
    PropId = static_cast<uint8_t>(id);
    Easing = static_cast<uint8_t>(easing);
    StartValue = ReadStreamExtended(Stream);
    Elapsed = ReadStreamInt(Stream);
    if (Version >= 126) Paused = ReadStreamByte(Stream) != 0;
}
