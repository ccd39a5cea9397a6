#include "text/frms_boxes.h"

#include "objects/vitemex_label.h"
#include "objects/vitems_kinds.h"
#include "text/fontpixels.h"

#include <algorithm>
#include <limits>

// ---- Rectangle tracks ----

TRectFrameList::TRectFrameList(TFilmManager& Film) : TCustomFrameList(Film) { Length = 1; }

TRectFrameList::~TRectFrameList() { Object.Release(); }

TPoint TRectFrameList::GetPoint(TTrackProp Prop, bool End) const {
    switch (Prop) {
    case TTrackProp::Position: return Pos[End];
    case TTrackProp::Size: return Size[End];
    case TTrackProp::ClipPos: return ClipPos[End];
    case TTrackProp::ClipSize: return ClipSize[End];
    default: return TCustomFrameList::GetPoint(Prop, End);
    }
}

void TRectFrameList::SetPoint(TTrackProp Prop, bool End, TPoint Value) {
    const bool chained = !End && Parent;  // a continued track's begin is its parent's end
    switch (Prop) {
    case TTrackProp::Position:
        if (!chained) Pos[End] = Value;
        break;
    case TTrackProp::Size:
        if (!chained) Size[End] = Value;
        break;
    case TTrackProp::ClipPos: ClipPos[End] = Value; break;
    case TTrackProp::ClipSize: ClipSize[End] = Value; break;
    default: break;
    }
}

uint8_t TRectFrameList::GetMode(TTrackProp Prop, int Axis) const {
    switch (Prop) {
    case TTrackProp::Position:
    case TTrackProp::Size: return PosMode[Axis & 1];
    case TTrackProp::ClipPos:
    case TTrackProp::ClipSize: return ClipMode[Axis & 1];
    default: return TCustomFrameList::GetMode(Prop, Axis);
    }
}

void TRectFrameList::SetMode(TTrackProp Prop, int Axis, uint8_t Value) {
    switch (Prop) {
    case TTrackProp::Position:
    case TTrackProp::Size: PosMode[Axis & 1] = Value; break;
    case TTrackProp::ClipPos:
    case TTrackProp::ClipSize: ClipMode[Axis & 1] = Value; break;
    default: break;
    }
}

// ---- Box tracks ----

namespace {
// A colour eased byte by byte (red, green, blue) when its ends differ.
int32_t InterpolateColor(const TCustomFrameList& Track, TTrackProp Prop, int64_t Ticks, int32_t I) {
    const int32_t from = Track.GetBeginInt(Prop), to = Track.GetEndInt(Prop);
    if (from == to) return from;
    int32_t color = 0;
    for (int shift : {0, 8, 16})
        color |= EaseInt(MT_NORMAL, from >> shift & 0xFF, Ticks, I, to >> shift & 0xFF) << shift;
    return color;
}

// A stored pair of values: begin through the begin getter.
void WritePair(TStream& Stream, const TCustomFrameList& Track, TTrackProp Prop) {
    WriteStreamInt(Stream, Track.GetBeginInt(Prop));
    WriteStreamInt(Stream, Track.GetEndInt(Prop));
}

void ReadPair(TStream& Stream, TCustomFrameList& Track, TTrackProp Prop) {
    Track.SetInt(Prop, false, ReadStreamInt(Stream));
    Track.SetInt(Prop, true, ReadStreamInt(Stream));
}
}  // namespace

TBoxFrameList::TBoxFrameList(TFilmManager& Film) : TRectFrameList(Film) {
    Frames.push_back(std::make_unique<TBoxFrame>(*this));
}

int32_t TBoxFrameList::GetInt(TTrackProp Prop, bool End) const {
    switch (Prop) {
    case TTrackProp::Alpha: return Alpha[End];
    case TTrackProp::Color: return FillColor[End];
    case TTrackProp::BorderWidth: return BorderWidth[End];
    case TTrackProp::BorderColor: return BorderColor[End];
    case TTrackProp::BlurSpan: return BlurSpan[End];
    case TTrackProp::BlurDelay: return BlurDelay[End];
    default: return TRectFrameList::GetInt(Prop, End);
    }
}

void TBoxFrameList::SetInt(TTrackProp Prop, bool End, int32_t Value) {
    int32_t* values = nullptr;
    switch (Prop) {
    case TTrackProp::Alpha: values = Alpha; break;
    case TTrackProp::Color: values = FillColor; break;
    case TTrackProp::BorderWidth: values = BorderWidth; break;
    case TTrackProp::BorderColor: values = BorderColor; break;
    case TTrackProp::BlurSpan: BlurSpan[End] = Value; return;
    case TTrackProp::BlurDelay: BlurDelay[End] = Value; return;
    default: return;
    }
    if (End || !Parent) values[End] = Value;  // a continued track's begin is its parent's end
}

bool TBoxFrameList::ApplyAt(int32_t T) {
    if (!ActiveAt(T)) {
        if (!Film.MotionMode) Release();
        return false;
    }
    const bool own = !Film.MotionMode;
    if (own && !Object.Get() && Film.GetTarget()) Object.Take(*new TVelaBox(Film.GetTarget(), false), Film);
    TVelaControl* target = own ? Object.Get() : Film.MotionTarget;
    if (!target) return true;
    const int64_t n = EasedTicks();
    const int32_t i = static_cast<int32_t>(uint32_t(T) - uint32_t(StartTime()));
    const TRect bounds = InterpolateEdges(*this, n, i);
    const int32_t width = int32_t(uint32_t(bounds.Right) - uint32_t(bounds.Left));
    const int32_t height = int32_t(uint32_t(bounds.Bottom) - uint32_t(bounds.Top));
    const TRect clip = InterpolateClip(*this, n, i);
    if (own) {
        Film.PlaceObject(*target, *this);
        target->SetBounds(bounds.Left, bounds.Top, width, height);
        target->SetPriority(SubPriority);
    } else {
        target->SetControlValue(bounds.Left);
        target->SetControlValue2(bounds.Top);
        target->SetWidth(width);
        target->SetHeight(height);
        target->SetPriority(MotionPriority(*this));
    }
    target->SetAlpha(InterpolateAlpha(*this, n, i));
    target->SetColor(InterpolateColor(*this, TTrackProp::Color, n, i));
    target->SetBorderwidth(InterpolateLinear(*this, TTrackProp::BorderWidth, n, i));
    target->SetBordercolor(InterpolateColor(*this, TTrackProp::BorderColor, n, i));
    target->SetBlurspan(InterpolateLinear(*this, TTrackProp::BlurSpan, n, i));
    target->SetBlurdelay(InterpolateLinear(*this, TTrackProp::BlurDelay, n, i));
    target->SetClipRect(clip);
    return true;
}

void TBoxFrameList::SaveToStream(TStream& Stream, const std::string& BaseFolder) const {
    TRectFrameList::SaveToStream(Stream, BaseFolder);
    WriteTrackPoint(Stream, GetBeginPoint(TTrackProp::Position));
    WriteTrackPoint(Stream, GetEndPoint(TTrackProp::Position));
    WriteStreamByte(Stream, GetMode(TTrackProp::Position, 0));
    WriteStreamByte(Stream, GetMode(TTrackProp::Position, 1));
    WritePair(Stream, *this, TTrackProp::Alpha);
    WriteTrackPoint(Stream, GetBeginPoint(TTrackProp::Size));
    WriteTrackPoint(Stream, GetEndPoint(TTrackProp::Size));
    for (TTrackProp prop : {TTrackProp::Color, TTrackProp::BorderWidth, TTrackProp::BorderColor})
        WritePair(Stream, *this, prop);
    WriteClipBlock(Stream, *this);
    for (bool end : {false, true}) {
        WriteStreamInt(Stream, end ? BlurSpan[1] : GetBeginInt(TTrackProp::BlurSpan));
        WriteStreamInt(Stream, end ? BlurDelay[1] : GetBeginInt(TTrackProp::BlurDelay));
    }
}

void TBoxFrameList::LoadFromStream(TStream& Stream, const std::string& BaseFolder, int32_t Version) {
    TRectFrameList::LoadFromStream(Stream, BaseFolder, Version);
    SetPoint(TTrackProp::Position, false, ReadTrackPoint(Stream));
    SetPoint(TTrackProp::Position, true, ReadTrackPoint(Stream));
    SetMode(TTrackProp::Position, 0, ReadStreamByte(Stream));
    SetMode(TTrackProp::Position, 1, ReadStreamByte(Stream));
    ReadPair(Stream, *this, TTrackProp::Alpha);
    SetPoint(TTrackProp::Size, false, ReadTrackPoint(Stream));
    SetPoint(TTrackProp::Size, true, ReadTrackPoint(Stream));
    for (TTrackProp prop : {TTrackProp::Color, TTrackProp::BorderWidth, TTrackProp::BorderColor})
        ReadPair(Stream, *this, prop);
    if (Version >= 101) ReadClipBlock(Stream, *this);
    if (Version >= 109)
        for (bool end : {false, true}) {
            BlurSpan[end] = ReadStreamInt(Stream);
            BlurDelay[end] = ReadStreamInt(Stream);
        }
}

// ---- Label tracks ----

TLabelFrameList::TLabelFrameList(TFilmManager& Film) : TCustomImageFrameList(Film) {
    Length = 5;
    Frames.push_back(std::make_unique<TLabelFrame>(*this));
}

int32_t TLabelFrameList::GetInt(TTrackProp Prop, bool End) const {
    switch (Prop) {
    case TTrackProp::Color: return FontColor;
    case TTrackProp::FontHeight: return FontHeight;
    case TTrackProp::LineSpace: return LineSpace;
    default: return TCustomImageFrameList::GetInt(Prop, End);
    }
}

void TLabelFrameList::SetInt(TTrackProp Prop, bool End, int32_t Value) {
    switch (Prop) {
    case TTrackProp::Color: FontColor = Value; break;
    case TTrackProp::FontHeight:
        FontHeight = ClampLabelFontSize(Value);
        RenderText();
        break;
    case TTrackProp::LineSpace:
        LineSpace = ClampLabelFontSize(Value);
        RenderText();
        break;
    default: TCustomImageFrameList::SetInt(Prop, End, Value);
    }
}

void TLabelFrameList::SetText(const std::string& Value) {
    Text = Value;
    RenderText();
}

void TLabelFrameList::SetFontName(const std::string& Value) {
    FontName = Value;
    RenderText();
}

void TLabelFrameList::SetAntialias(bool Value) {
    Antialias = Value;
    RenderText();
}

void TLabelFrameList::SetFontStyle(uint8_t Value) {
    FontStyle = Value;
    RenderText();
}

void TLabelFrameList::RenderText() {
    const bool smooth = GetBeginInt(TTrackProp::Alpha) == 255 && GetEndInt(TTrackProp::Alpha) == 255 && Antialias &&
                        GetBeginFloat(TTrackProp::ZoomX) == 1.0 && GetEndFloat(TTrackProp::ZoomX) == 1.0 &&
                        GetBeginFloat(TTrackProp::ZoomY) == 1.0 && GetEndFloat(TTrackProp::ZoomY) == 1.0 &&
                        GetBeginFloat(TTrackProp::Angle) == 0.0 && GetEndFloat(TTrackProp::Angle) == 0.0;
    const int32_t q = smooth ? 4 : 1;
    const std::string face = FontName.empty() ? "ＭＳ ゴシック" : FontName;
    const int32_t size = int32_t(uint32_t(FontHeight) * uint32_t(q));
    const std::vector<std::string_view> lines = SplitLines(Text);
    int64_t widest = 0;
    for (std::string_view line : lines) {
        int64_t width = 0;
        platform::AbcWidths abc;
        for (uint16_t code : CharCodes(std::string(line)))
            if (FontPixelManager && FontPixelManager->GetCharAbcWidths(code, face, FontStyle, size, abc))
                width += int64_t(abc.a) + abc.b + abc.c;
        widest = std::max(widest, width);
    }
    const int64_t count = static_cast<int64_t>(lines.size());
    const int64_t height = count == 0 ? 0 : count * FontHeight + (count - 1) * LineSpace;
    constexpr int64_t low = std::numeric_limits<int32_t>::min(), high = std::numeric_limits<int32_t>::max();
    MeasuredWidth = static_cast<int32_t>(std::clamp<int64_t>(widest / q, low, high));
    MeasuredHeight = static_cast<int32_t>(std::clamp<int64_t>(height, low, high));
}

void TLabelFrameList::SaveToStream(TStream& Stream, const std::string& BaseFolder) const {
    TCustomImageFrameList::SaveToStream(Stream, BaseFolder);
    WriteStreamString(Stream, Text);
    WriteStreamByte(Stream, Antialias);
    WriteStreamString(Stream, FontName);
    WriteStreamInt(Stream, FontHeight);
    WriteStreamInt(Stream, LineSpace);
    WriteStreamByte(Stream, FontStyle);
    WriteStreamInt(Stream, FontColor);
    WriteStreamByte(Stream, HAlign);
}

void TLabelFrameList::LoadFromStream(TStream& Stream, const std::string& BaseFolder, int32_t Version) {
    TCustomImageFrameList::LoadFromStream(Stream, BaseFolder, Version);
    Text = ReadStreamString(Stream);
    Antialias = ReadStreamByte(Stream) != 0;
    FontName = ReadStreamString(Stream);
    const int32_t fontHeight = ReadStreamInt(Stream);
    const int32_t lineSpace = ReadStreamInt(Stream);
    CheckStoredLabelFont(fontHeight, Version >= 103 ? lineSpace : LineSpace);
    FontHeight = fontHeight;
    if (Version >= 103) LineSpace = lineSpace;
    FontStyle = ReadStreamByte(Stream);
    FontColor = ReadStreamInt(Stream);
    if (Version >= 103) HAlign = ReadStreamByte(Stream);
}

void TLabelFrameList::CreateObject() {
    if (Object.Get() || !Film.GetTarget()) return;
    TVelaBaseList& root = *Film.GetTarget();
    auto* label = new TVelaLabel(&root, false);
    Object.Take(*label, Film);
    label->SetParent(root.GetBase(root.GetCurrentLayer() ^ (OtherLayer ? 1 : 0)));
}

void TLabelFrameList::ApplyToObject(TVelaControl& Target, bool Own, const TImageTick& Tick) {
    if (Own) Film.PlaceObject(Target, *this);
    Target.SetFontname(FontName);
    Target.SetFontheight(FontHeight);
    Target.SetLinespace(LineSpace);
    Target.SetFontcolor(FontColor);
    Target.SetFontstyle(FontStyle);
    Target.SetAntialias(Antialias);
    Target.SetHalign(HAlign);
    Target.SetFliph(FlipH);
    Target.SetFlipv(FlipV);
    Target.SetText(Text);
    if (Own) {
        Target.SetPriority(SubPriority);
        Target.SetLeft(Tick.X);
        Target.SetTop(Tick.Y);
    } else {
        Target.SetPriority(MotionPriority(*this));
        Target.SetControlValue(Tick.X);
        Target.SetControlValue2(Tick.Y);
    }
    Target.SetOffsetx(Tick.OffsetX);
    Target.SetOffsety(Tick.OffsetY);
    Target.SetAlpha(Tick.Alpha);
    Target.SetFloatangle(Tick.Angle);
    Target.SetFloatzoomx(Tick.ZoomX);
    Target.SetFloatzoomy(Tick.ZoomY);
    Target.SetClipRect(Tick.Clip);
}
