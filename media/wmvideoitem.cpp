#include "media/wmvideoitem.h"

#include "core/vrfiles_manager.h"
#include "media/screenman.h"

#include <algorithm>
#include <cmath>

namespace {

int32_t Milliseconds(double Seconds) { return int32_t(std::lround(std::clamp(Seconds, -2e6, 2e6) * 1000)); }

}  // namespace

std::unique_ptr<TVideoItem> NewWmVideoItem(TVideoManager* Manager, bool Capture, const std::string& FileName) {
    return std::make_unique<TWmVideoItem>(Manager, Capture, FileName);
}

TWmVideoItem::TWmVideoItem(TVideoManager* Manager, bool ACapture, const std::string& FileName)
    : TVideoItem(Manager, ACapture) {
    if (!ScreenMan) return;
    FMovie = std::make_unique<TActiveMovie>();
    TActiveMovie& m = *FMovie;
    m.BoundsRect = {0, 0, 0, 0};
    m.SetShowControls(false);
    m.SetProperty(1045, false);  // AnimationAtStart
    m.SetProperty(1025, false);  // ClickToPlay
    m.AutoStart = false;
    m.SetDisplaySize(mpFitToSize);
    m.SetShowScrollBars(false);
    m.SetProperty(1021, false);  // EnableContextMenu
    for (int32_t id : {1014, 1015, 1013}) m.SetProperty(id, true);  // mouse clicks, moves, keys
    m.SetFGrabberEnabled(true);
    if (VrFileManager) {
        m.FileName = VrFileManager->GetLocalFileName(FileName);
        FFileName = FileName;
    } else {
        m.FileName = FileName;
    }
    m.OnOpenStateChange = [this](TActiveMovie&, int32_t State) { OpenStateChanged(State); };
    if (Capture) {
        m.SetDisplaySize(mpDefaultSize);
        m.OnFGrabberCaptureCompleted = [this](TActiveMovie&, TDIB* Frame, const std::string& Written) {
            if (Frame && Written.empty() && FFrameBitmap && !FNewFrame) {
                FFrameBitmap->Assign(Frame);
                FNewFrame = true;
            }
        };
        FFrameBitmap = std::make_unique<TDIB>();
    }
    PlaceWindow();
    m.Open();
    if (Manager && !m.LastError().empty()) Manager->ReportOpenFailure(FileName, m.LastError());
}

TWmVideoItem::~TWmVideoItem() {
    FMovie.reset();
    if (!FFileName.empty() && VrFileManager) VrFileManager->ReleaseLocalFile(FFileName);
}

void TWmVideoItem::OpenStateChanged(int32_t State) {
    if (State != 6) return;
    FOpened = true;
    const TPending pending = FPending;
    FPending = TPending::None;
    if (pending == TPending::Pause) FMovie->Pause();
    else if (pending == TPending::Play) StartPlaying();
}

void TWmVideoItem::StartPlaying() {
    if (!Capture) return FMovie->Play();
    FMovie->SetBurstCount(0);
    FMovie->SetBurstMode(true);
    FMovie->SetBurstInterval(0);  // refused: the interval stays
    FMovie->CaptureFrame(0);
}

void TWmVideoItem::Play() {
    if (!FMovie) return;
    if (!FOpened) FPending = TPending::Play;
    else StartPlaying();
}

void TWmVideoItem::Pause() {
    if (!FMovie) return;
    if (!FOpened) FPending = TPending::Pause;
    else FMovie->Pause();
}

bool TWmVideoItem::IsPlaying() { return FMovie && FMovie->PlayState() == 2; }
bool TWmVideoItem::IsPaused() { return FMovie && FMovie->PlayState() == 1; }
bool TWmVideoItem::IsEnd() { return !FMovie || FMovie->OpenState() != 6 || FMovie->EndOfStream(); }

int32_t TWmVideoItem::GetLen() {
    return FMovie ? Milliseconds(std::get<double>(FMovie->GetProperty(MovieDispId::Duration))) : 0;
}

int32_t TWmVideoItem::GetPosition() {
    return FMovie ? Milliseconds(std::get<double>(FMovie->GetProperty(MovieDispId::CurrentPosition))) : 0;
}

void TWmVideoItem::SetPosition(int32_t Value) {
    if (FMovie) FMovie->SetProperty(MovieDispId::CurrentPosition, Value / 1000.0);
}

int32_t TWmVideoItem::GetVol() { return FMovie ? std::get<int32_t>(FMovie->GetProperty(MovieDispId::Volume)) : 0; }
void TWmVideoItem::SetVol(int32_t Value) {
    if (FMovie) FMovie->SetProperty(MovieDispId::Volume, Value);
}
int32_t TWmVideoItem::GetPan() { return FMovie ? std::get<int32_t>(FMovie->GetProperty(MovieDispId::Balance)) : 0; }
void TWmVideoItem::SetPan(int32_t Value) {
    if (FMovie) FMovie->SetProperty(MovieDispId::Balance, Value);
}
bool TWmVideoItem::GetAutoRepeat() { return FMovie && FMovie->Loop; }
void TWmVideoItem::SetAutoRepeat(bool Value) {
    if (FMovie) FMovie->Loop = Value;
}

int32_t TWmVideoItem::GetSourceWidth() {
    return FMovie ? std::get<int32_t>(FMovie->GetProperty(MovieDispId::ImageSourceWidth)) : 0;
}
int32_t TWmVideoItem::GetSourceHeight() {
    return FMovie ? std::get<int32_t>(FMovie->GetProperty(MovieDispId::ImageSourceHeight)) : 0;
}

bool TWmVideoItem::GetVisible() { return FMovie && FMovie->GetVisible(); }

void TWmVideoItem::SetVisible(bool Value) {
    if (!FMovie) return;
    FMovie->SetVisible(Value);
    PlaceWindow();
}

void TWmVideoItem::SetRect(const TRect& Source, const TRect& Dest) {
    TVideoItem::SetRect(Source, Dest);
    PlaceWindow();
}

void TWmVideoItem::PlaceWindow() {
    if (!FMovie) return;
    if (FMovie->GetVisible() && !Capture) FMovie->BoundsRect = VideoPlacement(FSourceRect, FDestRect, GetSourceWidth(), GetSourceHeight());
    else FMovie->BoundsRect = {-10, 0, -10, 0};
    FMovie->ReLayout();
}

const VelaFrame* TWmVideoItem::GetDC() {
    if (!FMovie) return nullptr;
    if (!Capture) return FMovie->CurrentFrame();
    if (!FFrameBitmap || FFrameBitmap->Empty()) return nullptr;
    FFrame = {FFrameBitmap->TopPBitsReadOnly(), FFrameBitmap->Width(), FFrameBitmap->Height(), FFrameBitmap->NextLine()};
    return &FFrame;
}
