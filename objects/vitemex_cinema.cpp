// The cinema: the film's stage, its timing and end, the nested scene's drawing and the record.
#include "objects/vitemex_cinema.h"

#include "core/sysutils.h"
#include "objects/vitems_kinds.h"
#include "script/services.h"
#include "text/frms.h"

#include <algorithm>
#include <limits>

TVelaCinema::TVelaCinema(TVelaBaseList* AOwner, bool UniqueName)
    : TVelaControl(AOwner, UniqueName), OwnRoot(std::make_unique<TVelaBaseListCinema>(*this)) {}

// The film lets go of the objects it made before the nested root goes.
TVelaCinema::~TVelaCinema() {
    Invalidate();
    Film.reset();
}

bool TVelaCinema::OwnStage() const { return Film && Film->GetTarget() == OwnRoot.get(); }

int32_t TVelaCinema::RoundFrame(int32_t Ms) { return RoundDivEven(int64_t(Ms) * FrameRate, 1000); }

void TVelaCinema::SetSource(const std::string& S) {
    Invalidate();
    if (S == Source) return;
    Source = S;
    Film.reset();
    try {
        if (ScriptHost().FileExists(S)) LoadFilm();
    } catch (...) {
        Restart();
        throw;
    }
    Restart();
}

void TVelaCinema::Restart() {
    OwnRoot->Step();
    Invalidate();
    Elapsed = 0;
    Ended = false;
    ApplyCountdown = 2;
}

void TVelaCinema::LoadFilm() {
    auto film = std::make_unique<TFilmManager>();
    film->VolumeScale = Volume;
    film->LoadFromFile(Source);  // a film that does not read is dropped here
    Film = std::move(film);
    if (Film->HasWipeOrFlag() || Film->Color >= 0) {
        Film->SetTarget(OwnRoot.get());
        Film->RestartSounds();
        // The film sized the nested scene, whose size the cinema has.
        TVelaControl::SetWidth(OwnRoot->GetWidth());
        TVelaControl::SetHeight(OwnRoot->GetHeight());
    } else {
        Film->SetTarget(Owner);
        Film->Owner = this;
        SetWidth(Film->Width);
        SetHeight(Film->Height);
        Film->RestartSounds();
    }
}

int32_t TVelaCinema::GetIndex() const {
    if (!Film) return 0;
    if (ApplyCountdown > 0) return std::clamp(ElapsedFrame(), 0, std::max(Film->GetLength() - 1, 0));
    return std::max(Film->CurrentTime, 0);
}

void TVelaCinema::SetIndex(int32_t V) {
    const int64_t ms = int64_t(V) * 1000 / FrameRate;
    Elapsed = int32_t(std::clamp<int64_t>(ms, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
    Ended = false;
    ApplyCountdown = 2;
}

int32_t TVelaCinema::GetCount() const { return Film ? Film->GetLength() : 0; }

bool TVelaCinema::GetPlaying() const {
    return Film && GetIndex() < Film->GetLength() - 1 && !Paused && !GetAnipaused();
}

void TVelaCinema::SetRepeat(bool V) {
    if (V && !Repeat) Ended = false;
    Repeat = V;
}

void TVelaCinema::SetPaused(bool V) {
    if (V == Paused) return;
    Paused = V;
    if (Film) Film->SetVisible(Paused || GetAnipaused());
}

void TVelaCinema::SetAnipaused(bool V) {
    const bool was = GetAnipaused();
    TVelaControl::SetAnipaused(V);
    if (Film && GetAnipaused() != was) Film->SetVisible(Paused || GetAnipaused());
}

void TVelaCinema::SetVolume(int32_t V) {
    Volume = std::max(V, 0);
    if (Film) Film->VolumeScale = Volume;
}

void TVelaCinema::SetWidth(int32_t V) {
    TVelaControl::SetWidth(V);
    OwnRoot->SetWidth(V);
}

void TVelaCinema::SetHeight(int32_t V) {
    TVelaControl::SetHeight(V);
    OwnRoot->SetHeight(V);
}

void TVelaCinema::ApplyFrame(int32_t Frame) { Film->SetTime(Frame); }

bool TVelaCinema::Step() {
    bool result = TVelaControl::Step();
    OwnDrawn = false;
    if (Film) Film->SetRunning(!GetAnipaused() && !Paused);
    if (Paused) return result;
    if (!Ended && !GetAnipaused() && ApplyCountdown < 1) Elapsed += int32_t(SceneTickLength());
    int32_t frame = ElapsedFrame();
    const int32_t length = GetCount();
    if (frame >= length) {
        if (Repeat) {
            frame = std::min(frame % std::max(length, 1) + (Film ? Film->RepeatPos : 0), length - 1);
            Elapsed = RoundDivEven(int64_t(frame) * 1000, FrameRate);
        } else {
            frame = length - 1;
            if (AutoScrap) {
                result = true;
            } else {
                if (!Ended && !OnPlayEnd.empty() && Owner) Owner->GetEvents().Add(this, OnPlayEnd, nullptr, PR_ONPLAYEND);
                Ended = true;
            }
        }
    }
    if (Film && (ApplyCountdown == 2 || frame != Film->CurrentTime)) ApplyFrame(frame);
    if (ApplyCountdown > 0) --ApplyCountdown;

    OwnRoot->Step();
    if (TVelaBase* layer = GetBase(); layer && OwnStage()) {
        const TRect bounds = GetBoundsRect();
        if (OwnRoot->GetWipeType() != 0 || !RectIsEmpty(OwnRoot->TransRect)) {
            layer->AddDirtyRect(bounds);  // a wipe redraws the whole picture, until the tick after it
        } else {
            const TClipList& dirty = OwnRoot->GetBase(OwnRoot->GetCurrentLayer())->ClipList;
            for (int i = 0; i < dirty.Count(); ++i) layer->AddDirtyRect(IntersectRects(MapRect(dirty.GetRect(i), 1), bounds));
        }
    }
    return result;
}

TRect TVelaCinema::MapRect(const TRect& R, int Sign) const {
    const int32_t x = Sign * GetOriginX(), y = Sign * GetOriginY();
    return {R.Left + x, R.Top + y, R.Right + x, R.Bottom + y};
}

void TVelaCinema::DrawOwnRoot() {
    TVelaBase& current = *OwnRoot->GetBase(OwnRoot->GetCurrentLayer());
    if (OwnDrawn && current.ClipList.Count() == 0 && OwnRoot->GetBase(OwnRoot->GetCurrentLayer() ^ 1)->ClipList.Count() == 0)
        return;
    // What the scene layer redraws over the cinema is drawn again in the nested scene.
    if (TVelaBase* layer = GetBase(); layer && !OwnDrawn) {
        const TRect bounds = GetBoundsRect();
        for (int i = 0; i < layer->ClipList.Count(); ++i) {
            const TRect r = IntersectRects(layer->ClipList.GetRect(i), bounds);
            if (!RectIsEmpty(r)) current.AddDirtyRect(MapRect(r, -1));
        }
    }
    OwnRoot->Prepare();
    for (int i = 0; i < 2; ++i) OwnRoot->GetBase(i)->ClipList.Clear();
    OwnDrawn = true;
}

void TVelaCinema::Prepare() {
    TCustomDIBX* surface = GetLayerSurface();
    if (surface && OwnStage()) {
        const TRect area = IntersectRects(surface->GetClipRect(), GetBoundsRect());
        TCustomDIBX* picture = OwnRoot->GetSurface();
        if (!RectIsEmpty(area) && picture) {
            DrawOwnRoot();
            surface->Draw(area.Left, area.Top, *picture, MapRect(area, -1), false, false, false);
        }
    }
    TVelaControl::Prepare();
}

TVelaObject* TVelaCinema::HitTest(TPoint P, uint32_t Mask) {
    if (!GetVisible() || !PointInRect(GetBoundsRect(), P.X, P.Y)) return nullptr;
    const int32_t mode = GetIgnoremouse();
    TVelaObject* hit = mode < 32 && (Mask >> mode & 1) ? this : nullptr;
    for (size_t i = Placed().size(); i-- > 0;)
        if (!IsSystemName(Placed()[i]->GetName()))
            if (TVelaObject* child = Placed()[i]->HitTest(P, Mask)) return child;
    return hit;
}

void TVelaCinema::FreePrivateDIBs() {
    TVelaControl::FreePrivateDIBs();
    OwnRoot->FreePrivateDIBs();
}

void TVelaCinema::MakePrivateDIBs() {
    TVelaControl::MakePrivateDIBs();
    OwnRoot->MakePrivateDIBs();
    if (Film && !Paused && Film->CurrentTime >= 0) ApplyFrame(Film->CurrentTime);
}

// After the control: source; repeat, paused, auto-scrap, on-play-end; from 104 on-idle; from
// 117 the frame and rewind-on-load; from 129 the volume and mute-on-load; from 133 ended.
void TVelaCinema::SaveToStream(TStream& Stream) {
    TVelaControl::SaveToStream(Stream);
    WriteStreamString(Stream, Source);
    WriteStreamByte(Stream, Repeat);
    WriteStreamByte(Stream, Paused);
    WriteStreamByte(Stream, AutoScrap);
    WriteStreamString(Stream, OnPlayEnd);
    WriteStreamString(Stream, OnIdle);
    WriteStreamInt(Stream, GetIndex());
    WriteStreamByte(Stream, RewindOnLoad);
    WriteStreamInt(Stream, Volume);
    WriteStreamByte(Stream, MuteOnLoad);
    WriteStreamByte(Stream, Ended);
}

void TVelaCinema::LoadFromStream(TStream& Stream, int32_t Version) {
    TVelaControl::LoadFromStream(Stream, Version);
    // The whole record is read before the film loads.
    const std::string source = ReadStreamString(Stream);
    const bool repeat = ReadStreamByte(Stream) != 0, paused = ReadStreamByte(Stream) != 0;
    const bool autoScrap = ReadStreamByte(Stream) != 0;
    const std::string onPlayEnd = ReadStreamString(Stream);
    const std::string onIdle = Version >= 104 ? ReadStreamString(Stream) : std::string();
    uint32_t frame = 0;
    bool rewind = RewindOnLoad;
    if (Version >= 117) {
        frame = uint32_t(ReadStreamInt(Stream));
        rewind = ReadStreamByte(Stream) != 0;
    }
    int32_t volume = Volume;
    bool mute = false;
    if (Version >= 129) {
        volume = ReadStreamInt(Stream);
        mute = ReadStreamByte(Stream) != 0;
    }
    const bool ended = Version >= 133 && ReadStreamByte(Stream) != 0;

    // The nested scene takes the cinema's size, which its root's picture must hold, as a scene's.
    if (Owner && !Owner->FitsSurface(GetWidth(), GetHeight())) throw EReadError();
    OwnRoot->SetWidth(GetWidth());
    OwnRoot->SetHeight(GetHeight());
    SetSource(source);
    Repeat = repeat;
    SetPaused(paused);
    AutoScrap = autoScrap;
    OnPlayEnd = onPlayEnd;
    OnIdle = onIdle;
    RewindOnLoad = rewind;
    if (frame >= 1 && !rewind) SetIndex(int32_t(frame));
    MuteOnLoad = mute;
    SetVolume(mute ? 0 : volume);
    Ended = ended;
}
