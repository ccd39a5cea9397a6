#include "text/frms.h"

#include <algorithm>
#include <cmath>

int32_t TCustomFrameList::GetWidth() const { return Frames.empty() ? 0 : Frames.front()->GetWidth(); }
int32_t TCustomFrameList::GetHeight() const { return Frames.empty() ? 0 : Frames.front()->GetHeight(); }

TPoint TCustomFrameList::GetPoint(TTrackProp Prop, bool) const {
    if (Prop == TTrackProp::Size) return {GetWidth(), GetHeight()};
    return {0, 0};
}

double TCustomFrameList::GetFloat(TTrackProp Prop, bool) const {
    return Prop == TTrackProp::ZoomX || Prop == TTrackProp::ZoomY ? 1.0 : 0.0;
}

int32_t TCustomFrameList::GetInt(TTrackProp Prop, bool) const {
    switch (Prop) {
    case TTrackProp::Color: return 0xFFFFFF;
    case TTrackProp::FontHeight:
    case TTrackProp::LineSpace: return 12;
    default: return 0;
    }
}

void TCustomFrameList::ClearFrames() {
    Frames.clear();
    Length = 0;
}

int32_t TCustomFrameList::FrameIndexAt(int32_t T) const {
    int64_t rest = T % std::max<int32_t>(1, LoopLength);
    for (size_t i = 0; i < Frames.size(); ++i) {
        rest -= Frames[i]->GetDuration();
        if (rest < 0) return static_cast<int32_t>(i);
    }
    return FrameCount() - 1;
}

void TCustomFrameList::ActivateIfRunning(int32_t T) {
    if (ActiveAt(T)) Activate();
}

void TCustomFrameList::SaveToStream(TStream& Stream, const std::string&) const {
    WriteStreamInt(Stream, Parent ? Parent->Place.Index : ParentIndex);
    for (int32_t value : {Length, Reserved, Start, LoopLength, SubPriority}) WriteStreamInt(Stream, value);
    for (uint8_t flag : {FlipH, FlipV, OtherLayer}) WriteStreamByte(Stream, flag);
}

namespace {
// Times stored at half scale come back doubled (wrapping as 32-bit arithmetic does).
int32_t Doubled(int32_t Value) { return static_cast<int32_t>(static_cast<uint32_t>(Value) * 2u); }
}  // namespace

void TCustomFrameList::LoadFromStream(TStream& Stream, const std::string&, int32_t Version) {
    Parent = nullptr;
    ParentIndex = ReadStreamInt(Stream);
    Length = ReadStreamInt(Stream);
    Reserved = ReadStreamInt(Stream);
    Start = ReadStreamInt(Stream);
    LoopLength = ReadStreamInt(Stream);
    SubPriority = ReadStreamInt(Stream);
    FlipH = ReadStreamByte(Stream);
    FlipV = ReadStreamByte(Stream);
    OtherLayer = ReadStreamByte(Stream);
    if (Version < 107) {
        Start = Doubled(Start);
        Length = Doubled(Length);
        LoopLength = Doubled(LoopLength);
    }
}

bool TCustomFrameList::ActiveAt(int32_t T) const {
    const int64_t start = StartTime();
    return start <= T && T < start + Length;
}

namespace {
// Pi/2 and the sine in extended precision, as the easing curves are taken.
constexpr long double HalfPi = 1.5707963267948966192313216916397514L;

long double EaseSine(int64_t Step, int64_t N) { return sinl(static_cast<long double>(Step) * HalfPi / N); }

// The nearest int32 to X, a half going to the even neighbour (wrapping like a 32-bit store).
int32_t RoundEven(long double X) {
    const long double r = nearbyintl(X);
    if (!(std::fabs(r) < 9.2e18L)) return 0;
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(r)));
}
}  // namespace

int32_t TCustomFrameList::InterpolateInt(uint8_t Mode, int32_t From, int64_t Ticks, int32_t I, int32_t To) {
    const int64_t n = Ticks;
    if (I == 0) return From;
    if (I == n - 1) return To;
    if (n <= 1) return From;  // no tick between the ends to ease over
    const int32_t span = static_cast<int32_t>(static_cast<uint32_t>(To) - static_cast<uint32_t>(From));
    if (Mode == MT_NORMAL) {
        const int32_t product = static_cast<int32_t>(static_cast<uint32_t>(span) * static_cast<uint32_t>(I));
        const int64_t step = static_cast<int64_t>(product) / (n - 1);
        return static_cast<int32_t>(static_cast<uint32_t>(From) + static_cast<uint32_t>(step));
    }
    if (Mode == MT_INC)
        return static_cast<int32_t>(static_cast<uint32_t>(To) -
                                    static_cast<uint32_t>(RoundEven(EaseSine(n - I - 1, n) * span)));
    return static_cast<int32_t>(static_cast<uint32_t>(From) + static_cast<uint32_t>(RoundEven(EaseSine(I, n) * span)));
}

double TCustomFrameList::InterpolateFloat(uint8_t Mode, double From, int64_t Ticks, int32_t I, double To) {
    const int64_t n = Ticks;
    if (I == 0) return From;
    if (I == n - 1) return To;
    if (n == 0) return From;
    const long double span = static_cast<long double>(To) - From;
    if (Mode == MT_NORMAL) return static_cast<double>(From + span * I / n);
    if (Mode == MT_INC) return static_cast<double>(To - EaseSine(n - I - 1, n) * span);
    return static_cast<double>(From + EaseSine(I, n) * span);
}

void TCustomFrameList::GetPositionRange(TPoint& Begin, TPoint& End) const {
    Begin = GetBeginPoint(TTrackProp::Position);
    End = GetEndPoint(TTrackProp::Position);
    if (Film.Kind != 1 || !Film.FollowPosition) return;
    for (TPoint* point : {&Begin, &End}) {
        point->X = static_cast<int32_t>(uint32_t(point->X) - uint32_t(Film.StoredOriginX) + uint32_t(Film.OriginX));
        point->Y = static_cast<int32_t>(uint32_t(point->Y) - uint32_t(Film.StoredOriginY) + uint32_t(Film.OriginY));
    }
}

std::string ResolveRelativePath(const std::string& Path, const std::string& BaseFolder) {
    // A path that climbs to or above the base's root would resolve to a name without a drive,
    // which reads back relative to the film's folder: it is kept as stored, so that a film
    // writes what it read.
    TPathParser base;
    base.SetPath(BaseFolder);
    size_t steps = 0;
    while (Path.compare(3 * steps, 3, "..\\") == 0) ++steps;
    if (steps > 0 && steps >= static_cast<size_t>(base.Count())) return Path;
    return ExpandRelativePath(Path, BaseFolder);
}

std::string MakeRelativePath(const std::string& Path, const std::string& BaseFolder) {
    TPathParser folder, base;
    folder.SetPath(ExtractFilePath(Path));
    base.SetPath(BaseFolder);
    if (folder.Count() == 0 || base.Count() == 0 || folder.Strings(0) != base.Strings(0)) return Path;
    int same = 0;
    while (same < folder.Count() && same < base.Count() && folder.Strings(same) == base.Strings(same)) ++same;
    std::string relative;
    for (int i = same; i < base.Count(); ++i) relative += "..\\";
    for (int i = same; i < folder.Count(); ++i) relative += folder.Strings(i);
    return relative + ExtractFileName(Path);
}
