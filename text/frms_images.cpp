#include "text/frms_images.h"

#include "objects/vitemex_image.h"
#include "objects/vitemex_mira.h"
#include "objects/vitemex_tile.h"

#include <algorithm>
#include <numbers>

// ---- The track's object ----

TVelaControl* TObjectLink::Get() const {
    return Root && Root->IsLive(Ref) ? static_cast<TVelaControl*>(Ref.Object) : nullptr;
}

void TObjectLink::Set(TVelaControl* Obj) {
    Ref = Obj ? Obj->Ref() : TObjectRef{};
    Root = Obj ? Obj->GetOwner() : nullptr;
}

void TTrackObject::Take(TVelaControl& Obj, const TFilmManager& Film) {
    Set(&Obj);
    Obj.SetName(MakeUniqueName(*Obj.GetOwner(), Film.ObjectNamePrefix()));
}

void TTrackObject::Release() {
    TVelaControl* obj = Get();
    Set(nullptr);
    if (!obj) return;
    obj->Invalidate();
    obj->SetSurface(nullptr);
    obj->Delete();
}

// ---- Values shared with the rectangle tracks ----

int32_t EaseInt(uint8_t Mode, int32_t From, int64_t Ticks, int32_t I, int32_t To) {
    return From == To ? From : TCustomFrameList::InterpolateInt(Mode, From, Ticks, I, To);
}

double EaseFloat(uint8_t Mode, double From, int64_t Ticks, int32_t I, double To) {
    return From == To ? From : TCustomFrameList::InterpolateFloat(Mode, From, Ticks, I, To);
}

void WriteTrackPoint(TStream& Stream, TPoint P) {
    WriteStreamInt(Stream, P.X);
    WriteStreamInt(Stream, P.Y);
}

TPoint ReadTrackPoint(TStream& Stream) {
    const int32_t x = ReadStreamInt(Stream);
    return {x, ReadStreamInt(Stream)};
}

void ReadClipBlock(TStream& Stream, TCustomFrameList& Track) {
    for (bool end : {false, true})
        for (TTrackProp prop : {TTrackProp::ClipPos, TTrackProp::ClipSize})
            Track.SetPoint(prop, end, ReadTrackPoint(Stream));
    for (int axis : {0, 1}) Track.SetMode(TTrackProp::ClipPos, axis, ReadStreamByte(Stream));
}

void WriteClipBlock(TStream& Stream, const TCustomFrameList& Track) {
    for (bool end : {false, true})
        for (TTrackProp prop : {TTrackProp::ClipPos, TTrackProp::ClipSize})
            WriteTrackPoint(Stream, end ? Track.GetEndPoint(prop) : Track.GetBeginPoint(prop));
    for (int axis : {0, 1}) WriteStreamByte(Stream, Track.GetMode(TTrackProp::ClipPos, axis));
}

TRect InterpolateClip(const TCustomFrameList& Track, int64_t Ticks, int32_t I) {
    const uint8_t modeX = Track.GetMode(TTrackProp::ClipPos, 0), modeY = Track.GetMode(TTrackProp::ClipPos, 1);
    const TPoint size0 = Track.GetBeginPoint(TTrackProp::ClipSize), size1 = Track.GetEndPoint(TTrackProp::ClipSize);
    const int32_t w = EaseInt(modeX, size0.X, Ticks, I, size1.X);
    const int32_t h = EaseInt(modeY, size0.Y, Ticks, I, size1.Y);
    if (w < 1 || h < 1) return {0, 0, 0, 0};
    const TPoint pos0 = Track.GetBeginPoint(TTrackProp::ClipPos), pos1 = Track.GetEndPoint(TTrackProp::ClipPos);
    const int32_t left = EaseInt(modeX, pos0.X, Ticks, I, pos1.X);
    const int32_t top = EaseInt(modeY, pos0.Y, Ticks, I, pos1.Y);
    return {left, top, int32_t(uint32_t(left) + uint32_t(w)), int32_t(uint32_t(top) + uint32_t(h))};
}

TRect InterpolateEdges(const TCustomFrameList& Track, int64_t Ticks, int32_t I) {
    TPoint begin, end;
    Track.GetPositionRange(begin, end);
    const TPoint size0 = Track.GetBeginPoint(TTrackProp::Size), size1 = Track.GetEndPoint(TTrackProp::Size);
    auto edge = [](int32_t At, int32_t Extent) { return int32_t(uint32_t(At) + uint32_t(Extent) - 1u); };
    const uint8_t modeX = Track.GetMode(TTrackProp::Position, 0), modeY = Track.GetMode(TTrackProp::Position, 1);
    const int32_t left = EaseInt(modeX, begin.X, Ticks, I, end.X);
    const int32_t top = EaseInt(modeY, begin.Y, Ticks, I, end.Y);
    const int32_t right = EaseInt(modeX, edge(begin.X, size0.X), Ticks, I, edge(end.X, size1.X));
    const int32_t bottom = EaseInt(modeY, edge(begin.Y, size0.Y), Ticks, I, edge(end.Y, size1.Y));
    return {left, top, int32_t(uint32_t(right) + 1u), int32_t(uint32_t(bottom) + 1u)};
}

int32_t InterpolateAlpha(const TCustomFrameList& Track, int64_t Ticks, int32_t I) {
    const int32_t from = Track.GetBeginInt(TTrackProp::Alpha), to = Track.GetEndInt(TTrackProp::Alpha);
    if (from == 0 && to == 0) return 255;
    const int32_t v = EaseInt(MT_NORMAL, from ? from : 255, Ticks, I, to ? to : 255);
    return v < 0 ? int32_t(256u - uint32_t(v)) : v;
}

int32_t InterpolateLinear(const TCustomFrameList& Track, TTrackProp Prop, int64_t Ticks, int32_t I) {
    return EaseInt(MT_NORMAL, Track.GetBeginInt(Prop), Ticks, I, Track.GetEndInt(Prop));
}

int32_t MotionPriority(const TCustomFrameList& Track) {
    return int32_t(uint32_t(Track.Film.BasePriority) + uint32_t(Track.SubPriority));
}

// ---- Image-like tracks ----

TCustomImageFrameList::~TCustomImageFrameList() { Object.Release(); }

TPoint TCustomImageFrameList::GetPoint(TTrackProp Prop, bool End) const {
    switch (Prop) {
    case TTrackProp::Position: return Pos[End];
    case TTrackProp::ClipPos: return ClipPos[End];
    case TTrackProp::ClipSize: return ClipSize[End];
    default: return TCustomFrameList::GetPoint(Prop, End);
    }
}

double TCustomImageFrameList::GetFloat(TTrackProp Prop, bool End) const {
    switch (Prop) {
    case TTrackProp::Angle: return Angle[End];
    case TTrackProp::ZoomX: return ZoomX[End];
    case TTrackProp::ZoomY: return ZoomY[End];
    default: return TCustomFrameList::GetFloat(Prop, End);
    }
}

int32_t TCustomImageFrameList::GetInt(TTrackProp Prop, bool End) const {
    switch (Prop) {
    case TTrackProp::Alpha: return Alpha[End];
    case TTrackProp::BlurSpan: return BlurSpan[End];
    case TTrackProp::BlurDelay: return BlurDelay[End];
    default: return TCustomFrameList::GetInt(Prop, End);
    }
}

void TCustomImageFrameList::SetPoint(TTrackProp Prop, bool End, TPoint Value) {
    switch (Prop) {
    case TTrackProp::Position: Pos[End] = Value; break;
    case TTrackProp::ClipPos: ClipPos[End] = Value; break;
    case TTrackProp::ClipSize: ClipSize[End] = Value; break;
    default: break;
    }
}

void TCustomImageFrameList::SetFloat(TTrackProp Prop, bool End, double Value) {
    switch (Prop) {
    case TTrackProp::Angle: Angle[End] = Value; break;
    case TTrackProp::ZoomX: ZoomX[End] = Value; break;
    case TTrackProp::ZoomY: ZoomY[End] = Value; break;
    default: break;
    }
}

void TCustomImageFrameList::SetInt(TTrackProp Prop, bool End, int32_t Value) {
    switch (Prop) {
    case TTrackProp::Alpha: Alpha[End] = Value; break;
    case TTrackProp::BlurSpan: BlurSpan[End] = Value; break;
    case TTrackProp::BlurDelay: BlurDelay[End] = Value; break;
    default: break;
    }
}

uint8_t TCustomImageFrameList::GetMode(TTrackProp Prop, int Axis) const {
    switch (Prop) {
    case TTrackProp::Position: return PosMode[Axis & 1];
    case TTrackProp::ClipPos:
    case TTrackProp::ClipSize: return ClipMode[Axis & 1];
    case TTrackProp::ZoomX: return ZoomXMode;
    case TTrackProp::ZoomY: return ZoomYMode;
    case TTrackProp::Angle: return AngleMode;
    default: return TCustomFrameList::GetMode(Prop, Axis);
    }
}

void TCustomImageFrameList::SetMode(TTrackProp Prop, int Axis, uint8_t Value) {
    switch (Prop) {
    case TTrackProp::Position: PosMode[Axis & 1] = Value; break;
    case TTrackProp::ClipPos:
    case TTrackProp::ClipSize: ClipMode[Axis & 1] = Value; break;
    case TTrackProp::ZoomX: ZoomXMode = Value; break;
    case TTrackProp::ZoomY: ZoomYMode = Value; break;
    case TTrackProp::Angle: AngleMode = Value; break;
    default: break;
    }
}

bool TCustomImageFrameList::ApplyAt(int32_t T) {
    if (!ActiveAt(T)) {
        if (!Film.MotionMode) Release();
        return false;
    }
    TVelaControl* target = Film.MotionMode ? Film.MotionTarget : Object.Get();
    if (!Film.MotionMode && !target) {
        CreateObject();
        target = Object.Get();
    }
    TImageTick tick;
    tick.I = static_cast<int32_t>(uint32_t(T) - uint32_t(StartTime()));
    tick.FrameIndex = FrameIndexAt(tick.I);
    if (!target || tick.FrameIndex < 0 || tick.FrameIndex >= FrameCount()) return true;
    tick.Ticks = EasedTicks();
    const int64_t n = tick.Ticks;
    const int32_t i = tick.I;
    tick.Frame = &GetFrame(tick.FrameIndex);
    const TPoint at = tick.Frame->GetOffset();
    tick.OffsetX = int32_t(uint32_t(Anchor.X) - uint32_t(at.X));
    tick.OffsetY = int32_t(uint32_t(Anchor.Y) - uint32_t(at.Y));
    TPoint begin, end;
    GetPositionRange(begin, end);
    tick.X = EaseInt(PosMode[0], begin.X, n, i, end.X);
    tick.Y = EaseInt(PosMode[1], begin.Y, n, i, end.Y);
    tick.ZoomX = EaseFloat(ZoomXMode, GetBeginFloat(TTrackProp::ZoomX), n, i, ZoomX[1]);
    tick.ZoomY = EaseFloat(ZoomYMode, GetBeginFloat(TTrackProp::ZoomY), n, i, ZoomY[1]);
    tick.Clip = InterpolateClip(*this, n, i);
    const double angle0 = GetBeginFloat(TTrackProp::Angle);
    if (angle0 != 0.0 || Angle[1] != 0.0) {
        const long double degrees = EaseFloat(AngleMode, angle0, n, i, Angle[1]);
        tick.Angle = std::numbers::pi_v<long double> * (degrees / 360) * 2;
    }
    tick.Alpha = InterpolateAlpha(*this, n, i);
    tick.BlurSpan = InterpolateLinear(*this, TTrackProp::BlurSpan, n, i);
    tick.BlurDelay = InterpolateLinear(*this, TTrackProp::BlurDelay, n, i);
    const bool own = !Film.MotionMode;
    if (Film.PlaysInOwnRoot()) Film.PlaceObject(*target, *this);
    ApplyToObject(*target, own, tick);
    return true;
}

void TImageFrameList::ShowFrame(TVelaControl& Target, TMiraItemFrame& Frame) {
    Shown.Set(&Target);
    Target.SetSurface(Frame.Surface.get());
    Target.SetSourceSurface(Frame.Mask.get());
    if (TCustomDIBX* surface = Target.GetSurface())
        surface->TransparentColor = Frame.TransColor < 0 ? -1 : surface->ColorToPixel(Frame.TransColor);
}

void TCustomImageFrameList::SaveToStream(TStream& Stream, const std::string& BaseFolder) const {
    TCustomFrameList::SaveToStream(Stream, BaseFolder);
    WriteTrackPoint(Stream, Anchor);
    WriteTrackPoint(Stream, GetBeginPoint(TTrackProp::Position));
    WriteTrackPoint(Stream, Pos[1]);
    WriteStreamByte(Stream, PosMode[0]);
    WriteStreamByte(Stream, PosMode[1]);
    WriteStreamDouble(Stream, GetBeginFloat(TTrackProp::Angle));
    WriteStreamDouble(Stream, Angle[1]);
    WriteStreamDouble(Stream, GetBeginFloat(TTrackProp::ZoomX));
    WriteStreamDouble(Stream, ZoomX[1]);
    WriteStreamByte(Stream, ZoomXMode);
    WriteStreamInt(Stream, GetBeginInt(TTrackProp::Alpha));
    WriteStreamInt(Stream, Alpha[1]);
    WriteStreamByte(Stream, AngleMode);
    WriteClipBlock(Stream, *this);
    WriteStreamDouble(Stream, GetBeginFloat(TTrackProp::ZoomY));
    WriteStreamDouble(Stream, ZoomY[1]);
    WriteStreamByte(Stream, ZoomYMode);
    for (int32_t value : {GetBeginInt(TTrackProp::BlurSpan), GetBeginInt(TTrackProp::BlurDelay), BlurSpan[1],
                          BlurDelay[1]})
        WriteStreamInt(Stream, value);
}

void TCustomImageFrameList::LoadFromStream(TStream& Stream, const std::string& BaseFolder, int32_t Version) {
    TCustomFrameList::LoadFromStream(Stream, BaseFolder, Version);
    Anchor = ReadTrackPoint(Stream);
    Pos[0] = ReadTrackPoint(Stream);
    Pos[1] = ReadTrackPoint(Stream);
    PosMode[0] = ReadStreamByte(Stream);
    PosMode[1] = ReadStreamByte(Stream);
    for (double& angle : Angle) angle = Version < 110 ? ReadStreamInt(Stream) : ReadStreamDouble(Stream);
    ZoomX[0] = ReadStreamDouble(Stream);
    ZoomX[1] = ReadStreamDouble(Stream);
    ZoomXMode = ReadStreamByte(Stream);
    Alpha[0] = ReadStreamInt(Stream);
    Alpha[1] = ReadStreamInt(Stream);
    AngleMode = ReadStreamByte(Stream);
    if (Version >= 101) ReadClipBlock(Stream, *this);
    if (Version >= 105) {
        ZoomY[0] = ReadStreamDouble(Stream);
        ZoomY[1] = ReadStreamDouble(Stream);
        ZoomYMode = ReadStreamByte(Stream);
    } else {
        ZoomY[0] = ZoomX[0];
        ZoomY[1] = ZoomX[1];
        ZoomYMode = ZoomXMode;
    }
    if (Version >= 109) {
        BlurSpan[0] = ReadStreamInt(Stream);
        BlurDelay[0] = ReadStreamInt(Stream);
        BlurSpan[1] = ReadStreamInt(Stream);
        BlurDelay[1] = ReadStreamInt(Stream);
    }
}

// ---- Image frames and tracks ----

int32_t TImageFrame::GetWidth() const { return Picture.Surface->GetWidth(); }
int32_t TImageFrame::GetHeight() const { return Picture.Surface->GetHeight(); }
TPoint TImageFrame::GetOffset() const { return {Picture.OffsetX, Picture.OffsetY}; }
int32_t TImageFrame::GetDuration() const {
    return std::max(1, RoundSat(static_cast<long double>(Picture.GetDelay() / FilmTickMs)));
}

TImageFrameList::~TImageFrameList() {
    Object.Release();
    ReleasePicture();
}

void TImageFrameList::ReleasePicture() {
    if (!Picture) return;
    // A motion target still showing a frame of the picture would keep a surface that goes.
    if (TVelaControl* target = Shown.Get())
        for (int i = 0; i < Picture->GetFrameCount(); ++i)
            if (target->GetSurface() == Picture->GetFrame(i)->Surface.get()) {
                target->SetSurface(nullptr);
                target->SetSourceSurface(nullptr);
                break;
            }
    Frames.clear();
    std::exchange(Picture, nullptr)->Release(this);
}

void TImageFrameList::SetFileName(const std::string& Name) {
    if (Name != FileName) LoadPicture(Name);
}

void TImageFrameList::LoadPicture(const std::string& Name) {
    const int32_t length = Length;
    FileName = Name;
    Object.Release();
    ReleasePicture();
    ClearFrames();
    ImageWidth = ImageHeight = 0;
    LoopLength = 0;
    Length = length;
    if (!MiraMan || Name.empty()) return;
    Picture = &MiraMan->Acquire(this, Name, false, false);
    ImageWidth = Picture->Width;
    ImageHeight = Picture->Height;
    int32_t total = 0;
    for (int i = 0; i < Picture->GetFrameCount(); ++i) {
        auto& frame = Frames.emplace_back(std::make_unique<TImageFrame>(*this, *Picture->GetFrame(i)));
        total = int32_t(uint32_t(total) + uint32_t(frame->GetDuration()));
    }
    LoopLength = total;
    if (Length < 1) Length = total;
}

void TImageFrameList::Activate() { LoadPicture(FileName); }

void TImageFrameList::CollectFileNames(std::vector<std::string>& List) {
    AddFilmFileName(List, FileName);
}

void TImageFrameList::SaveToStream(TStream& Stream, const std::string& BaseFolder) const {
    TCustomImageFrameList::SaveToStream(Stream, BaseFolder);
    WriteStreamString(Stream, MakeRelativePath(FileName, BaseFolder));
}

void TImageFrameList::LoadFromStream(TStream& Stream, const std::string& BaseFolder, int32_t Version) {
    TCustomImageFrameList::LoadFromStream(Stream, BaseFolder, Version);
    const std::string name = ReadStreamString(Stream);
    FileName = name.empty() ? name : ResolveRelativePath(name, BaseFolder);
}

void TImageFrameList::CreateObject() {
    if (Object.Get() || !Film.GetTarget()) return;
    Object.Take(*new TVelaImage(Film.GetTarget(), false), Film);
}

void TImageFrameList::ApplyToObject(TVelaControl& Target, bool Own, const TImageTick& Tick) {
    TMiraItemFrame& frame = static_cast<TImageFrame&>(*Tick.Frame).Picture;
    if (Own) {
        static_cast<TVelaImage&>(Target).ApplyFrame(
            Film.Owner, Tick.FrameIndex, frame.Surface.get(), frame.Mask.get(), frame.TransColor, SubPriority, FlipH,
            FlipV, Tick.X, Tick.Y, Tick.OffsetX, Tick.OffsetY, Tick.ZoomX, Tick.ZoomY, Tick.Angle, Tick.Alpha,
            Tick.Clip, Tick.BlurSpan, Tick.BlurDelay, ImageFlag != 0);
        Target.SetCapturemask(true);
        return;
    }
    ShowFrame(Target, frame);
    Target.SetWidth(std::max(1, RoundSat(static_cast<long double>(Tick.Frame->GetWidth()) * Tick.ZoomX)));
    Target.SetHeight(std::max(1, RoundSat(static_cast<long double>(Tick.Frame->GetHeight()) * Tick.ZoomY)));
    Target.SetSubPriority(SubPriority);
    Target.SetFliph(FlipH);
    Target.SetFlipv(FlipV);
    Target.SetControlValue(Tick.X);
    Target.SetControlValue2(Tick.Y);
    Target.SetOffsetx(Tick.OffsetX);
    Target.SetOffsety(Tick.OffsetY);
    Target.SetFloatzoomx(Tick.ZoomX);
    Target.SetFloatzoomy(Tick.ZoomY);
    Target.SetFloatangle(Tick.Angle);
    Target.SetAlpha(Tick.Alpha);
    Target.SetBlurspan(Tick.BlurSpan);
    Target.SetBlurdelay(Tick.BlurDelay);
    Target.SetClipRect(Tick.Clip);
    Target.SetCapturemask(true);
}

// ---- Tile tracks ----

TPoint TTileFrameList::GetPoint(TTrackProp Prop, bool End) const {
    if (Prop == TTrackProp::Size) return Size[End];
    if (Prop == TTrackProp::Scroll) return Scroll[End];
    return TImageFrameList::GetPoint(Prop, End);
}

void TTileFrameList::SetPoint(TTrackProp Prop, bool End, TPoint Value) {
    const bool chained = !End && Parent;  // a continued track's begin is its parent's end
    if (Prop == TTrackProp::Size) {
        if (!chained) Size[End] = Value;
    } else if (Prop == TTrackProp::Scroll) {
        if (!chained) Scroll[End] = Value;
    } else {
        TImageFrameList::SetPoint(Prop, End, Value);
    }
}

uint8_t TTileFrameList::GetMode(TTrackProp Prop, int Axis) const {
    if (Prop == TTrackProp::Size) return TImageFrameList::GetMode(TTrackProp::Position, Axis);
    if (Prop == TTrackProp::Scroll) return ScrollMode[Axis & 1];
    return TImageFrameList::GetMode(Prop, Axis);
}

void TTileFrameList::SetMode(TTrackProp Prop, int Axis, uint8_t Value) {
    if (Prop == TTrackProp::Scroll)
        ScrollMode[Axis & 1] = Value;
    else
        TImageFrameList::SetMode(Prop == TTrackProp::Size ? TTrackProp::Position : Prop, Axis, Value);
}

void TTileFrameList::LoadPicture(const std::string& Name) {
    const bool first = GetFileName().empty();
    TImageFrameList::LoadPicture(Name);
    if (!first || FrameCount() == 0) return;
    const TCustomFrame& frame = GetFrame(0);
    for (TPoint& size : Size) {
        if (size.X == 0) size.X = frame.GetWidth();
        if (size.Y == 0) size.Y = frame.GetHeight();
    }
}

void TTileFrameList::SaveToStream(TStream& Stream, const std::string& BaseFolder) const {
    TImageFrameList::SaveToStream(Stream, BaseFolder);
    for (TPoint p : {GetBeginPoint(TTrackProp::Size), Size[1], GetBeginPoint(TTrackProp::Scroll), Scroll[1]})
        WriteTrackPoint(Stream, p);
    WriteStreamByte(Stream, ScrollMode[0]);
    WriteStreamByte(Stream, ScrollMode[1]);
    WriteTrackPoint(Stream, Distance);
    WriteClipBlock(Stream, *this);
}

void TTileFrameList::LoadFromStream(TStream& Stream, const std::string& BaseFolder, int32_t Version) {
    TImageFrameList::LoadFromStream(Stream, BaseFolder, Version);
    for (TPoint* p : {&Size[0], &Size[1], &Scroll[0], &Scroll[1]}) *p = ReadTrackPoint(Stream);
    ScrollMode[0] = ReadStreamByte(Stream);
    ScrollMode[1] = ReadStreamByte(Stream);
    Distance = ReadTrackPoint(Stream);
    if (Version >= 101) ReadClipBlock(Stream, *this);  // a second copy, the one kept
}

void TTileFrameList::CreateObject() {
    if (Object.Get() || !Film.GetTarget()) return;
    Object.Take(*new TVelaTile(Film.GetTarget(), false), Film);
}

void TTileFrameList::ApplyToObject(TVelaControl& Target, bool Own, const TImageTick& Tick) {
    const int64_t n = Tick.Ticks;
    const int32_t i = Tick.I;
    const TRect bounds = InterpolateEdges(*this, n, i);
    const int32_t width = int32_t(uint32_t(bounds.Right) - uint32_t(bounds.Left));
    const int32_t height = int32_t(uint32_t(bounds.Bottom) - uint32_t(bounds.Top));
    const TPoint scroll0 = GetBeginPoint(TTrackProp::Scroll);
    const int32_t scrollX = EaseInt(ScrollMode[0], scroll0.X, n, i, Scroll[1].X);
    const int32_t scrollY = EaseInt(ScrollMode[1], scroll0.Y, n, i, Scroll[1].Y);
    TMiraItemFrame& frame = static_cast<TImageFrame&>(*Tick.Frame).Picture;
    if (Own) {
        static_cast<TVelaTile&>(Target).ApplyFrame(Film.Owner, frame.Surface.get(), frame.Mask.get(), frame.TransColor,
                                                   SubPriority, Distance.X, Distance.Y, FlipH, FlipV, bounds.Left,
                                                   bounds.Top,
                                                   width, height, Tick.OffsetX, Tick.OffsetY, Tick.ZoomX, Tick.ZoomY,
                                                   Tick.Alpha, scrollX, scrollY, Tick.Clip);
        return;
    }
    ShowFrame(Target, frame);
    Target.SetPriority(MotionPriority(*this));
    Target.SetDistancex(Distance.X);
    Target.SetDistancey(Distance.Y);
    Target.SetFliph(FlipH);
    Target.SetFlipv(FlipV);
    Target.SetControlValue(bounds.Left);
    Target.SetControlValue2(bounds.Top);
    Target.SetWidth(width);
    Target.SetHeight(height);
    Target.SetOffsetx(Tick.OffsetX);
    Target.SetOffsety(Tick.OffsetY);
    Target.SetFloatzoomx(Tick.ZoomX);
    Target.SetFloatzoomy(Tick.ZoomY);
    Target.SetAlpha(Tick.Alpha);
    Target.SetScrollx(scrollX);
    Target.SetScrolly(scrollY);
    Target.SetClipRect(Tick.Clip);
}
