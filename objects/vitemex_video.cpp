#include "objects/vitemex_video.h"

#include "core/streams.h"
#include "core/vrfiles_manager.h"
#include "graphics/dibx.h"
#include "media/screenman.h"
#include "media/videoitem.h"
#include "objects/vitemex_mira.h"
#include "objects/vitemex_sound.h"
#include "objects/vitems_kinds.h"

#include <algorithm>

namespace {

constexpr int32_t Silent = -10000;
// New frames are looked for at most this often (ms).
constexpr uint32_t PaintCheckMs = 33;

// The library's frame as a frame record (only read from).
TFrameRecord FrameRecordOf(const VelaFrame& F) {
    return {static_cast<uint8_t*>(const_cast<void*>(F.pixels)), F.width, F.height, F.pitch};
}

}  // namespace

TVelaVideo::TVelaVideo(TVelaBaseList* AOwner) : TVelaCustomImage(AOwner) {}

TVelaVideo::~TVelaVideo() {
    SetSurface(nullptr);
    ReleaseFade();
    if (Item && VideoMan) VideoMan->Remove(Item);
    Item = nullptr;
    VideoSurface.reset();
    Invalidate();
}

int32_t TVelaVideo::MediaVolume() const { return GetMediaVolume(*Item, Volume); }

void TVelaVideo::ReleaseFade() {
    Fade.reset();
    if (FadingItem && VideoMan) VideoMan->Remove(FadingItem);
    FadingItem = nullptr;
}

void TVelaVideo::StartFadein() { Fade = std::make_unique<TVelaMixerFadein>(*Item, MediaVolume(), Delay); }

// ---- The picture ----

void TVelaVideo::MakeSurface() {
    VideoSurface = NewImageSurface();
    VideoSurface->SetSize(std::max(1, Item->GetSourceWidth()), std::max(1, Item->GetSourceHeight()), ScreenBitCount());
    SetSurface(VideoSurface.get());
}

void TVelaVideo::DropSurface() {
    SetSurface(nullptr);
    PicturesReleased();
    VideoSurface.reset();
}

void TVelaVideo::SizeToFilm() {
    TVelaControl::SetWidth(Item ? std::max(1, RoundSat(Item->GetSourceWidth() * FloatZoomX)) : 0);
    TVelaControl::SetHeight(Item ? std::max(1, RoundSat(Item->GetSourceHeight() * FloatZoomY)) : 0);
}

void TVelaVideo::Prepare() {
    if (Item && VideoSurface)
        if (const VelaFrame* frame = Item->GetDC()) CopyFrame(FrameRecordOf(*frame), *VideoSurface);
    TVelaCustomImage::Prepare();
}

void TVelaVideo::FreePrivateDIBs() {
    DropSurface();
    TVelaCustomImage::FreePrivateDIBs();
}

void TVelaVideo::MakePrivateDIBs() {
    TVelaCustomImage::MakePrivateDIBs();
    if (Item) MakeSurface();
}

void TVelaVideo::UpdateOverlay() {
    if (!Item) return;
    const TRect drawn = PlainBounds();
    TVelaBase* layer = GetBase();
    const TRect dest =
        layer ? IntersectRects(drawn, {0, 0, layer->GetWidth(), layer->GetHeight()}) : TRect{0, 0, 0, 0};
    if (RectIsEmpty(dest) || !IsShown() || FloatZoomX <= 0 || FloatZoomY <= 0) {
        Item->SetVisible(false);
        return;
    }
    const TRect source{RoundSat((dest.Left - drawn.Left) / FloatZoomX), RoundSat((dest.Top - drawn.Top) / FloatZoomY),
                       RoundSat((dest.Right - drawn.Left) / FloatZoomX),
                       RoundSat((dest.Bottom - drawn.Top) / FloatZoomY)};
    const int64_t zoom = Bases ? Bases->Zoom : 100;
    auto scaled = [&](int32_t V) { return int32_t(std::clamp<int64_t>(V * zoom / 100, INT32_MIN, INT32_MAX)); };
    Item->SetRect(source, {scaled(dest.Left), scaled(dest.Top), scaled(dest.Right), scaled(dest.Bottom)});
    Item->SetVisible(true);
}

template <class F>
void TVelaVideo::Moved(F Change) {
    const TRect before = PlainBounds();
    const bool shown = GetVisible();
    Change();
    if (Overlay && (PlainBounds() != before || GetVisible() != shown)) UpdateOverlay();
}

void TVelaVideo::SetLeft(int32_t V) { Moved([&] { TVelaCustomImage::SetLeft(V); }); }
void TVelaVideo::SetTop(int32_t V) { Moved([&] { TVelaCustomImage::SetTop(V); }); }
void TVelaVideo::SetOffsetx(int32_t V) { Moved([&] { TVelaCustomImage::SetOffsetx(V); }); }
void TVelaVideo::SetOffsety(int32_t V) { Moved([&] { TVelaCustomImage::SetOffsety(V); }); }
void TVelaVideo::SetPlusx(int32_t V) { Moved([&] { TVelaCustomImage::SetPlusx(V); }); }
void TVelaVideo::SetPlusy(int32_t V) { Moved([&] { TVelaCustomImage::SetPlusy(V); }); }
void TVelaVideo::SetVisible(bool V) { Moved([&] { TVelaCustomImage::SetVisible(V); }); }

void TVelaVideo::SetFloatzoomx(long double V) {
    if (V == FloatZoomX) return;
    TVelaCustomImage::SetFloatzoomx(V);
    SizeToFilm();
    if (Overlay) UpdateOverlay();
    else Invalidate();
}

void TVelaVideo::SetFloatzoomy(long double V) {
    if (V == FloatZoomY) return;
    TVelaCustomImage::SetFloatzoomy(V);
    SizeToFilm();
    if (Overlay) UpdateOverlay();
    else Invalidate();
}

void TVelaVideo::SetParent(TVelaControl* P) {
    const bool wasUnder = dynamic_cast<TVelaCabinet*>(GetParent()) != nullptr;
    TVelaCustomImage::SetParent(P);
    const bool isUnder = dynamic_cast<TVelaCabinet*>(GetParent()) != nullptr;
    if (!Item || !Running() || PlayState == Stopped || PlayState == FadingOut || wasUnder == isUnder) return;
    if (isUnder) Item->Pause();
    else Item->Play();
}

// ---- Properties ----

void TVelaVideo::SetSource(const std::string& S) {
    if (S == FileName) return;
    FileName = S;
    SetSurface(nullptr);
    Fade.reset();
    if (Item && VideoMan) VideoMan->Remove(Item);
    Item = nullptr;
    DropSurface();
    PlayState = Stopped;
    Ended = false;
}

void TVelaVideo::SetRepeat(bool V) {
    Repeat = V;
    if (!Item) return;
    Item->SetAutoRepeat(V);
    if (V && !Paused && Item->GetPosition() >= Item->GetLen() - 1) Item->SetPosition(0);
}

void TVelaVideo::PauseChanged(bool WasRunning) {
    if (!Item || Running() == WasRunning) return;
    if (!Running()) Item->Pause();
    else if (PlayState == FadingIn) StartFadein();
    else Item->Play();
}

void TVelaVideo::SetPaused(bool V) {
    const bool was = Running();
    Paused = V;
    PauseChanged(was);
}

void TVelaVideo::SetAnipaused(bool V) {
    const bool was = Running();
    TVelaCustomImage::SetAnipaused(V);
    PauseChanged(was);
}

void TVelaVideo::SetVolume(int32_t V) {
    if (V == Volume) return;
    Volume = V;
    if (!Item) return;
    Item->SetVol(MediaVolume());
    if (Fade && !FadingItem) Fade->SetTarget(MediaVolume());
}

void TVelaVideo::SetBalance(int32_t V) {
    V = std::clamp(V, -10000, 10000);
    if (V == Balance) return;
    Balance = V;
    if (Item) Item->SetPan(V);
}

int32_t TVelaVideo::GetIndex() const { return Item ? Item->GetPosition() : 0; }

void TVelaVideo::SetIndex(int32_t V) {
    StartPos = V;
    Ended = false;
    if (Item) Item->SetPosition(V);
}

int32_t TVelaVideo::GetCount() const {
    if (Item) return Item->GetLen();
    if (!VideoMan || !ScriptHost().FileExists(FileName)) return 0;
    const std::string local = VrFileManager ? VrFileManager->GetLocalFileName(FileName) : FileName;
    TVideoItem* item = VideoMan->Add(local, !Overlay);
    const int32_t length = item->GetLen();
    VideoMan->Remove(item);
    if (VrFileManager) VrFileManager->ReleaseLocalFile(FileName);
    return length;
}

bool TVelaVideo::GetPlaying() const {
    if (!Running()) return false;
    if (Repeat) return true;
    return GetIndex() < GetCount() - 1;
}

void TVelaVideo::SetOverlay(bool V) {
    if (V == Overlay) return;
    Overlay = V;
    if (!Item) return;
    const int32_t position = Item->GetPosition();
    SetPlayState(Stopped);
    StartPos = position;
    SetPlayState(Playing);
}

// ---- Playing ----

void TVelaVideo::SetPlayState(int32_t State) {
    ReleaseFade();
    Ended = false;
    PlayState = State;
    if ((State == Playing || State == FadingIn) && !Item && VideoMan && ScriptHost().FileExists(FileName)) {
        Item = VideoMan->Add(FileName, !Overlay);
        Item->SetAutoRepeat(Repeat);
        if (Overlay && GetVisible()) UpdateOverlay();
        MakeSurface();
        SizeToFilm();
        Invalidate();
        Item->SetPan(Balance);
    } else if (State == Stopped && Item) {
        Invalidate();
        if (VideoMan) VideoMan->Remove(Item);
        Item = nullptr;
        DropSurface();
        StartPos = 0;
    }
    switch (State) {
    case Playing:
        if (!Item) return;
        Item->SetVol(MediaVolume());
        Item->Play();
        if (!Running()) Item->Pause();
        if (StartPos > 0) Item->SetPosition(StartPos);
        return;
    case FadingIn:
        if (Item && Running()) StartFadein();
        return;
    case FadingOut:
        if (!Item) {
            Delete();
            return;
        }
        Fade = std::make_unique<TVelaMixerFadeout>(*Item, Delay);
        FadingItem = Item;
        Item = nullptr;
        StartPos = 0;
        return;
    }
}

void TVelaVideo::Play() {
    StartPos = 0;
    Paused = false;
    SetPlayState(FadingIn);
    if (!Item) return;
    Fade.reset();
    if (Delay > 0) {
        Item->Pause();
        Item->SetVol(Silent);
        Item->SetPosition(0);
        StartFadein();
    } else {
        Item->SetVol(MediaVolume());
        Item->SetPosition(0);
        if (Item->IsPaused()) Item->Play();
    }
}

// A film keeps reporting its end until it is stopped or rewound: the end is acted on once, until
// something starts it again and clears Ended.
bool TVelaVideo::Step() {
    bool done = TVelaCustomImage::Step();
    if (Item) {
        if (Overlay && IsShown() != Item->GetVisible()) UpdateOverlay();
        const uint32_t now = SceneClock();
        if (now - LastPaintCheck >= PaintCheckMs) {
            LastPaintCheck = now;
            if (Item->NeedPaint()) Invalidate();
        }
        if (Item->IsEnd() && !Repeat && !Ended) {
            Ended = true;
            if (Autoscrap) Delete();
            else if (!OnPlayEnd.empty() && Owner) Owner->GetEvents().Add(this, OnPlayEnd, nullptr, PR_ONPLAYEND);
        }
    }
    if (Fade && Fade->Step()) {
        if (FadingItem) {
            Invalidate();
            done = true;
        }
        ReleaseFade();
    }
    return done;
}

// ---- The record ----

void TVelaVideo::SaveToStream(TStream& Stream) {
    TVelaCustomImage::SaveToStream(Stream);
    WriteStreamString(Stream, FileName);
    for (const bool flag : {Repeat, Autoscrap, Paused}) WriteStreamByte(Stream, flag);
    for (const int32_t value : {Volume, Balance, Delay, GetIndex()}) WriteStreamInt(Stream, value);
    WriteStreamByte(Stream, uint8_t(PlayState));
    WriteStreamString(Stream, OnPlayEnd);
    WriteStreamString(Stream, OnIdle);
    for (const bool flag : {RewindOnLoad, Overlay, MuteOnLoad}) WriteStreamByte(Stream, flag);
}

void TVelaVideo::LoadFromStream(TStream& Stream, int32_t Version) {
    TVelaCustomImage::LoadFromStream(Stream, Version);
    const std::string name = ReadStreamString(Stream);
    Repeat = ReadStreamByte(Stream) != 0;
    Autoscrap = ReadStreamByte(Stream) != 0;
    const bool paused = ReadStreamByte(Stream) != 0;
    Volume = ReadStreamInt(Stream);
    Balance = std::clamp(ReadStreamInt(Stream), -10000, 10000);
    const int32_t delay = ReadStreamInt(Stream), position = ReadStreamInt(Stream);
    const uint8_t state = ReadStreamByte(Stream);
    if (state > FadingOut) throw EReadError();
    OnPlayEnd = ReadStreamString(Stream);
    OnIdle = ReadStreamString(Stream);
    if (Version >= 108) RewindOnLoad = ReadStreamByte(Stream) != 0;
    if (Version >= 112) Overlay = ReadStreamByte(Stream) != 0;
    MuteOnLoad = Version >= 129 && ReadStreamByte(Stream) != 0;

    if (MuteOnLoad) Volume = 0;
    SetSource(name);
    StartPos = RewindOnLoad ? 0 : position;
    Paused = paused;
    if (state == FadingOut) SetPlayState(Playing);
    Delay = delay;
    SetPlayState(state);
}
