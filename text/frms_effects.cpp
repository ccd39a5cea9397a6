// Particle and fire tracks: the chain's shared object, the eased values of each tick and what
// they set on the emitter or the fire (or a motion film's target), and the stored fields.
#include "text/frms_effects.h"

#include "objects/vitemex_fire.h"
#include "objects/vitemex_particle.h"

#include <algorithm>

// ---- The chain's object ----

TSharedRectFrameList& TSharedRectFrameList::ChainHead() { return static_cast<TSharedRectFrameList&>(KindHead()); }

const TSharedRectFrameList& TSharedRectFrameList::ChainHead() const {
    return const_cast<TSharedRectFrameList*>(this)->ChainHead();
}

TVelaObject* TSharedRectFrameList::GetObject() const { return ChainHead().Object.Get(); }

void TSharedRectFrameList::Release() {
    if (&ChainHead() != this) Object.Release();
    ChainHead().Object.Release();
}

bool TSharedRectFrameList::Enter(int32_t T, TVelaControl*& Target) {
    Target = nullptr;
    if (!ActiveAt(T)) {
        // Only the chain's last track lets go, and only outside the whole chain: before its own
        // start the tracks it continues are still showing the object.
        const int64_t chainStart = ChainHead().StartTime(), end = int64_t(StartTime()) + Length;
        if (!Film.MotionMode && !FindChildTrack() && (T < chainStart || T >= end)) Release();
        return false;
    }
    if (Film.MotionMode) {
        Target = Film.MotionTarget;
        return true;
    }
    TSharedRectFrameList& head = ChainHead();
    if (&head != this) Object.Release();
    if (!head.Object.Get() && Film.GetTarget()) head.Object.Take(*NewObject(*Film.GetTarget()), Film);
    Target = head.Object.Get();
    return true;
}

namespace {

// A pair of stored int32 values, begin then end.
void WriteIntPair(TStream& Stream, const TCustomFrameList& Track, TTrackProp Prop) {
    WriteStreamInt(Stream, Track.GetBeginInt(Prop));
    WriteStreamInt(Stream, Track.GetEndInt(Prop));
}

void ReadIntPair(TStream& Stream, TCustomFrameList& Track, TTrackProp Prop) {
    Track.SetInt(Prop, false, ReadStreamInt(Stream));
    Track.SetInt(Prop, true, ReadStreamInt(Stream));
}

// The rows of the place, the size and the clip, as particle and fire tracks store them.
void WriteRect(TStream& Stream, const TCustomFrameList& Track) {
    WriteTrackPoint(Stream, Track.GetBeginPoint(TTrackProp::Position));
    WriteTrackPoint(Stream, Track.GetEndPoint(TTrackProp::Position));
    WriteStreamByte(Stream, Track.GetMode(TTrackProp::Position, 0));
    WriteStreamByte(Stream, Track.GetMode(TTrackProp::Position, 1));
    WriteTrackPoint(Stream, Track.GetBeginPoint(TTrackProp::Size));
    WriteTrackPoint(Stream, Track.GetEndPoint(TTrackProp::Size));
    WriteClipBlock(Stream, Track);
}

void ReadRect(TStream& Stream, TCustomFrameList& Track) {
    Track.SetPoint(TTrackProp::Position, false, ReadTrackPoint(Stream));
    Track.SetPoint(TTrackProp::Position, true, ReadTrackPoint(Stream));
    Track.SetMode(TTrackProp::Position, 0, ReadStreamByte(Stream));
    Track.SetMode(TTrackProp::Position, 1, ReadStreamByte(Stream));
    Track.SetPoint(TTrackProp::Size, false, ReadTrackPoint(Stream));
    Track.SetPoint(TTrackProp::Size, true, ReadTrackPoint(Stream));
    ReadClipBlock(Stream, Track);
}

void WriteDouble(TStream& Stream, double Value) { Stream.WriteBuffer(&Value, sizeof Value); }

double ReadDouble(TStream& Stream) {
    double value = 0;
    Stream.ReadBuffer(&value, sizeof value);
    return value;
}

int EmitIndex(TTrackProp Prop) { return int(Prop) - int(TTrackProp::Emit1); }
int ParamIndex(TTrackProp Prop) { return int(Prop) - int(TTrackProp::Param1); }

}  // namespace

// ---- Particle tracks ----

TParticleFrameList::TParticleFrameList(TFilmManager& Film) : TSharedRectFrameList(Film) {
    Frames.push_back(std::make_unique<TBoxFrame>(*this));
    for (bool end : {false, true}) SetPoint(TTrackProp::Size, end, {Film.Width, Film.Height});
}

TParticleFrameList::~TParticleFrameList() {
    if (auto* emitter = dynamic_cast<TVelaParticle*>(Object.Get())) emitter->FreeFilm();
}

TVelaControl* TParticleFrameList::NewObject(TVelaBaseList& Root) const { return new TVelaParticle(&Root, false); }

void TParticleFrameList::SetFileName(const std::string& S) {
    if (S == Sprite) return;
    Sprite = S;
    Release();
}

int32_t TParticleFrameList::GetInt(TTrackProp Prop, bool End) const {
    switch (Prop) {
    case TTrackProp::Alpha: return Alpha[End];
    case TTrackProp::Center: return Center[End];
    case TTrackProp::Spread: return Spread[End];
    case TTrackProp::Emit1: case TTrackProp::Emit2: case TTrackProp::Emit3: case TTrackProp::Emit4:
        return Emit[EmitIndex(Prop)][End];
    default: return TSharedRectFrameList::GetInt(Prop, End);
    }
}

void TParticleFrameList::SetInt(TTrackProp Prop, bool End, int32_t Value) {
    switch (Prop) {
    case TTrackProp::Alpha: Alpha[End] = Value; break;
    case TTrackProp::Center: Center[End] = Value; break;
    case TTrackProp::Spread: Spread[End] = Value; break;
    case TTrackProp::Emit1: case TTrackProp::Emit2: case TTrackProp::Emit3: case TTrackProp::Emit4:
        Emit[EmitIndex(Prop)][End] = Value;
        break;
    default: TSharedRectFrameList::SetInt(Prop, End, Value); break;
    }
}

double TParticleFrameList::GetFloat(TTrackProp Prop, bool End) const {
    const int i = ParamIndex(Prop);
    return i >= 0 && i < 3 ? Param[i][End] : TSharedRectFrameList::GetFloat(Prop, End);
}

void TParticleFrameList::SetFloat(TTrackProp Prop, bool End, double Value) {
    const int i = ParamIndex(Prop);
    if (i >= 0 && i < 3) Param[i][End] = Value;
    else TSharedRectFrameList::SetFloat(Prop, End, Value);
}

uint8_t TParticleFrameList::GetMode(TTrackProp Prop, int Axis) const {
    if (Prop == TTrackProp::Emit1 || Prop == TTrackProp::Emit2) return EmitMode[EmitIndex(Prop)];
    return TSharedRectFrameList::GetMode(Prop, Axis);
}

void TParticleFrameList::SetMode(TTrackProp Prop, int Axis, uint8_t Value) {
    if (Prop == TTrackProp::Emit1 || Prop == TTrackProp::Emit2)
        EmitMode[EmitIndex(Prop)] = Value;
    else
        TSharedRectFrameList::SetMode(Prop, Axis, Value);
}

bool TParticleFrameList::ApplyAt(int32_t T) {
    TVelaControl* target = nullptr;
    if (!Enter(T, target)) return false;
    if (!target) return true;
    const int64_t n = EasedTicks();
    const int32_t i = static_cast<int32_t>(uint32_t(T) - uint32_t(StartTime()));
    const TRect bounds = InterpolateEdges(*this, n, i);
    const int32_t width = int32_t(uint32_t(bounds.Right) - uint32_t(bounds.Left));
    const int32_t height = int32_t(uint32_t(bounds.Bottom) - uint32_t(bounds.Top));
    auto linear = [&](TTrackProp Prop) { return InterpolateLinear(*this, Prop, n, i); };
    auto eased = [&](TTrackProp Prop) {
        return EaseInt(GetMode(Prop), GetBeginInt(Prop), n, i, GetEndInt(Prop));
    };
    const int32_t center = linear(TTrackProp::Center), spread = linear(TTrackProp::Spread);
    const int32_t low = center - spread / 2;
    const int32_t e1 = eased(TTrackProp::Emit1), e2 = eased(TTrackProp::Emit2);
    const int32_t e3 = linear(TTrackProp::Emit3), e4 = linear(TTrackProp::Emit4);
    double p[3];
    for (int k = 0; k < 3; ++k) {
        const auto prop = TTrackProp(int(TTrackProp::Param1) + k);
        p[k] = EaseFloat(MT_NORMAL, GetBeginFloat(prop), n, i, GetEndFloat(prop));
    }
    const TRect clip = InterpolateClip(*this, n, i);
    const int32_t alpha = InterpolateAlpha(*this, n, i);
    if (Film.MotionMode) {
        target->SetControlValue(bounds.Left);
        target->SetControlValue2(bounds.Top);
        target->SetWidth(width);
        target->SetHeight(height);
        target->SetPriority(MotionPriority(*this));
        target->SetAlpha(alpha);
        target->SetClipRect(clip);
        return true;
    }
    Film.PlaceObject(*target, *this);
    target->SetBounds(bounds.Left, bounds.Top, width, height);
    target->SetPriority(SubPriority);
    target->SetAlpha(alpha);
    target->SetSource(Sprite);
    target->SetPartmotion(PartMotion);
    target->SetIndex(PartIndex);
    for (int k = 0; k < 3; ++k) target->SetParam(k, p[k]);
    if (auto* emitter = dynamic_cast<TVelaParticle*>(target)) {
        TVelaParticleParam& ranges = emitter->GetParticleParam();
        ranges = {e1, e2, e3, e4, low, spread};
    }
    target->SetClipRect(clip);
    return true;
}

void TParticleFrameList::CollectFileNames(std::vector<std::string>& List) { AddSpriteFileNames(List, Sprite); }

void TParticleFrameList::SaveToStream(TStream& Stream, const std::string& BaseFolder) const {
    TSharedRectFrameList::SaveToStream(Stream, BaseFolder);
    WriteStreamString(Stream, MakeRelativePath(Sprite, BaseFolder));
    WriteStreamByte(Stream, PartMotion);
    WriteStreamInt(Stream, PartIndex);
    WriteIntPair(Stream, *this, TTrackProp::Center);
    WriteIntPair(Stream, *this, TTrackProp::Spread);
    for (int first : {0, 2}) {
        for (bool end : {false, true}) {
            for (int k : {first, first + 1}) {
                const auto prop = TTrackProp(int(TTrackProp::Emit1) + k);
                WriteStreamInt(Stream, end ? GetEndInt(prop) : GetBeginInt(prop));
            }
        }
    }
    for (uint8_t mode : EmitMode) WriteStreamByte(Stream, mode);
    for (bool end : {false, true})
        for (int k = 0; k < 3; ++k) {
            const auto prop = TTrackProp(int(TTrackProp::Param1) + k);
            WriteDouble(Stream, end ? GetEndFloat(prop) : GetBeginFloat(prop));
        }
    WriteRect(Stream, *this);
    WriteIntPair(Stream, *this, TTrackProp::Alpha);
}

void TParticleFrameList::LoadFromStream(TStream& Stream, const std::string& BaseFolder, int32_t Version) {
    TSharedRectFrameList::LoadFromStream(Stream, BaseFolder, Version);
    SetFileName(ResolveRelativePath(ReadStreamString(Stream), BaseFolder));
    PartMotion = ReadStreamByte(Stream);
    PartIndex = ReadStreamInt(Stream);
    ReadIntPair(Stream, *this, TTrackProp::Center);
    ReadIntPair(Stream, *this, TTrackProp::Spread);
    for (int first : {0, 2})
        for (bool end : {false, true})
            for (int k : {first, first + 1}) Emit[k][end] = ReadStreamInt(Stream);
    for (uint8_t& mode : EmitMode) mode = ReadStreamByte(Stream);
    for (bool end : {false, true})
        for (auto& param : Param) param[end] = ReadDouble(Stream);
    ReadRect(Stream, *this);
    ReadIntPair(Stream, *this, TTrackProp::Alpha);
}

// ---- Fire tracks ----

TFireFrameList::TFireFrameList(TFilmManager& Film) : TSharedRectFrameList(Film) {
    Frames.push_back(std::make_unique<TBoxFrame>(*this));
    for (bool end : {false, true}) SetPoint(TTrackProp::Size, end, {Film.Width / 4, 30});
}

TVelaControl* TFireFrameList::NewObject(TVelaBaseList& Root) const { return new TVelaFire(&Root, false); }

double TFireFrameList::GetFloat(TTrackProp Prop, bool End) const {
    if (Prop == TTrackProp::ZoomX || Prop == TTrackProp::ZoomY) return Zoom[Prop == TTrackProp::ZoomY][End];
    return TSharedRectFrameList::GetFloat(Prop, End);
}

void TFireFrameList::SetFloat(TTrackProp Prop, bool End, double Value) {
    if (Prop == TTrackProp::ZoomX || Prop == TTrackProp::ZoomY)
        Zoom[Prop == TTrackProp::ZoomY][End] = Value;
    else
        TSharedRectFrameList::SetFloat(Prop, End, Value);
}

uint8_t TFireFrameList::GetMode(TTrackProp Prop, int Axis) const {
    if (Prop == TTrackProp::ZoomX || Prop == TTrackProp::ZoomY) return ZoomMode[Prop == TTrackProp::ZoomY];
    return TSharedRectFrameList::GetMode(Prop, Axis);
}

void TFireFrameList::SetMode(TTrackProp Prop, int Axis, uint8_t Value) {
    if (Prop == TTrackProp::ZoomX || Prop == TTrackProp::ZoomY)
        ZoomMode[Prop == TTrackProp::ZoomY] = Value;
    else
        TSharedRectFrameList::SetMode(Prop, Axis, Value);
}

bool TFireFrameList::ApplyAt(int32_t T) {
    TVelaControl* target = nullptr;
    if (!Enter(T, target)) return false;
    if (!target) return true;
    const int64_t n = EasedTicks();
    const int32_t i = static_cast<int32_t>(uint32_t(T) - uint32_t(StartTime()));
    TPoint begin, end;
    GetPositionRange(begin, end);
    const uint8_t modeX = GetMode(TTrackProp::Position, 0), modeY = GetMode(TTrackProp::Position, 1);
    const TPoint beginSize = GetBeginPoint(TTrackProp::Size), endSize = GetEndPoint(TTrackProp::Size);
    const int32_t x = EaseInt(modeX, begin.X, n, i, end.X), y = EaseInt(modeY, begin.Y, n, i, end.Y);
    const int32_t width = EaseInt(modeX, beginSize.X, n, i, endSize.X);
    const int32_t height = EaseInt(modeY, beginSize.Y, n, i, endSize.Y);
    auto zoom = [&](TTrackProp Prop) {
        return EaseFloat(GetMode(Prop), GetBeginFloat(Prop), n, i, GetEndFloat(Prop));
    };
    const double zoomX = zoom(TTrackProp::ZoomX), zoomY = zoom(TTrackProp::ZoomY);
    const TRect clip = InterpolateClip(*this, n, i);
    if (Film.MotionMode) {
        target->SetPriority(MotionPriority(*this));
        target->SetControlValue(x);
        target->SetControlValue2(y);
    } else {
        Film.PlaceObject(*target, *this);
        target->SetPriority(SubPriority);
        target->SetLeft(x);
        target->SetTop(y);
    }
    target->SetOrigwidth(width);
    target->SetOrigheight(height);
    target->SetFloatzoomx(zoomX);
    target->SetFloatzoomy(zoomY);
    target->SetPower(Power);
    target->SetClipRect(clip);
    return true;
}

void TFireFrameList::SaveToStream(TStream& Stream, const std::string& BaseFolder) const {
    TSharedRectFrameList::SaveToStream(Stream, BaseFolder);
    WriteRect(Stream, *this);
    for (bool end : {false, true})
        for (TTrackProp prop : {TTrackProp::ZoomX, TTrackProp::ZoomY})
            WriteDouble(Stream, end ? GetEndFloat(prop) : GetBeginFloat(prop));
    for (uint8_t mode : ZoomMode) WriteStreamByte(Stream, mode);
    WriteStreamInt(Stream, Power);
}

void TFireFrameList::LoadFromStream(TStream& Stream, const std::string& BaseFolder, int32_t Version) {
    TSharedRectFrameList::LoadFromStream(Stream, BaseFolder, Version);
    ReadRect(Stream, *this);
    for (bool end : {false, true})
        for (auto& axis : Zoom) axis[end] = ReadDouble(Stream);
    for (uint8_t& mode : ZoomMode) mode = ReadStreamByte(Stream);
    Power = ReadStreamInt(Stream);
}
