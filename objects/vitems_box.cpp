// The rectangle object and the fading trail copies it leaves while it moves or changes size.
#include "objects/vitems_kinds.h"


namespace {

// Each channel of Color (0x00BBGGRR) times Factor shr 8.
int32_t ScaleColor(int32_t Color, int32_t Factor) {
    int32_t r = 0;
    for (int shift = 0; shift < 24; shift += 8) r |= ((Color >> shift & 0xFF) * Factor >> 8 & 0xFF) << shift;
    return r;
}

// Opaque at 255, blended below, added (the colour scaled by Alpha - 256) above.
template <class TOpaque, class TBlend, class TAdd>
void Paint(TCustomDIBX& Dest, int32_t Color, int32_t Alpha, TOpaque Opaque, TBlend Blend, TAdd Add) {
    if (Alpha == 255)
        Opaque(Dest.ColorToPixel(Color));
    else if (Alpha < 255)
        Blend(Dest.ColorToPixel(Color));
    else
        Add(Dest.ColorToPixel(ScaleColor(Color, Alpha - 256)));
}

}  // namespace

void FillRectBlended(TCustomDIBX& Dest, const TRect& R, int32_t Color, int32_t Alpha) {
    Paint(
        Dest, Color, Alpha, [&](int32_t P) { Dest.FillRect(R, P); }, [&](int32_t P) { Dest.FillRectAlpha(R, P, Alpha); },
        [&](int32_t P) { Dest.FillRectAdd(R, P); });
}

void FrameRectBlended(TCustomDIBX& Dest, const TRect& R, int32_t Width, int32_t Color, int32_t Alpha) {
    Paint(
        Dest, Color, Alpha, [&](int32_t P) { Dest.FrameRect(R, Width, P); },
        [&](int32_t P) { Dest.FrameRectAlpha(R, Width, P, Alpha); }, [&](int32_t P) { Dest.FrameRectAdd(R, Width, P); });
}

TVelaBox::TTexts& TVelaBox::KeptTexts() {
    if (!Texts) Texts = std::make_unique<TTexts>();
    return *Texts;
}

void TVelaBox::SetSource(const std::string& S) {
    if (Texts || !S.empty()) SetFilmSource(KeptTexts().Source, S);
}
void TVelaBox::SetRepeat(bool V) { SetFilmRepeat(Repeat, V); }

void TVelaBox::SetBlurspan(int32_t V) {
    if (V == BlurSpan) return;
    BlurSpan = V;
    BlurTimer = 0;
    Snapshot = TakeSnapshot();
}

void TVelaBox::Prepare() {
    TCustomDIBX* surface = GetLayerSurface();
    if (!GetVisible() || Alpha <= 0 || Alpha >= 512 || !surface) return;
    const TRect bounds = GetBoundsRect();
    const int32_t w = BorderWidth;
    if (w >= 1 && BorderColor >= 0) FrameRectBlended(*surface, bounds, w, BorderColor, Alpha);
    if (GetColor() >= 0) {
        TRect fill = bounds;
        if (w >= 1) {
            const int32_t x = GetOriginX() + w, y = GetOriginY() + w;
            fill = {x, y, x + GetWidth() - 2 * w, y + GetHeight() - 2 * w};
        }
        FillRectBlended(*surface, fill, GetColor(), Alpha);
    }
    TVelaControl::Prepare();
}

bool TVelaBox::Step() {
    const bool result = TVelaControl::Step();
    if (BlurSpan > 0 && BlurDelay > 0) {
        BlurTimer += static_cast<int32_t>(SceneTickLength());
        if (BlurTimer >= BlurSpan) {
            BlurTimer = 0;
            if (!(TakeSnapshot() == Snapshot)) SpawnTrailCopy();
        }
    }
    return result;
}

void TVelaBox::SpawnTrailCopy() {
    if (!Owner) return;
    auto* copy = new TVelaBlurBox(Owner, false);
    copy->SetName(MakeUniqueName(*Owner, GetName()));
    copy->SetParent(GetParent());
    copy->SetPriority(GetPriority() - 1);
    copy->SetBounds(GetLeft(), GetTop(), GetWidth(), GetHeight());
    copy->SetColor(GetColor());
    copy->SetBorderwidth(BorderWidth);
    copy->SetBordercolor(BorderColor);
    copy->SetStartAlpha(Alpha / 2);
    copy->SetDelay(BlurDelay);
    Snapshot = TakeSnapshot();
}

// The box record follows the control record; every field is written.
void TVelaBox::SaveToStream(TStream& Stream) {
    TVelaControl::SaveToStream(Stream);
    for (int32_t v : {BorderWidth, BorderColor, Alpha}) WriteStreamInt(Stream, v);
    static const TTexts None;
    const TTexts& texts = Texts ? *Texts : None;
    WriteStreamString(Stream, texts.OnIdle);
    WriteStreamString(Stream, texts.Source);
    WriteStreamByte(Stream, Repeat);
    WriteStreamByte(Stream, AutoScrap);
    WriteStreamString(Stream, texts.OnPlayEnd);
    WriteStreamByte(Stream, Paused);
    WriteStreamByte(Stream, TVelaControl::GetAnipaused());
    WriteStreamInt(Stream, BlurSpan);
    WriteStreamInt(Stream, BlurDelay);
}

void TVelaBox::LoadFromStream(TStream& Stream, int32_t Version) {
    TVelaControl::LoadFromStream(Stream, Version);
    for (int32_t* v : {&BorderWidth, &BorderColor, &Alpha}) *v = ReadStreamInt(Stream);
    if (Version >= 104) {
        TVelaBox::SetOnidle(ReadStreamString(Stream));
        SetSource(ReadStreamString(Stream));
        Repeat = ReadStreamByte(Stream) != 0;
        AutoScrap = ReadStreamByte(Stream) != 0;
        TVelaBox::SetOnplayend(ReadStreamString(Stream));
        Paused = ReadStreamByte(Stream) != 0;
        SetAnipaused(ReadStreamByte(Stream) != 0);
    }
    if (Version >= 140) {
        BlurSpan = ReadStreamInt(Stream);
        BlurDelay = ReadStreamInt(Stream);
    }
    Snapshot = TakeSnapshot();
}

// ---- Trail copies ----

void TVelaBlurBox::SetStartAlpha(int32_t V) {
    StartAlpha = V;
    SetAlpha(V);
}

bool TVelaBlurBox::Step() {
    if (TVelaBox::Step()) return true;
    Elapsed += static_cast<int32_t>(SceneTickLength());
    if (Elapsed >= Delay) return true;
    SetAlpha(StartAlpha - RoundDivEven(int64_t(Elapsed) * (StartAlpha % 256), Delay));
    return false;
}
