#include "media/activemovie.h"

#include "core/bigstreams.h"
#include "core/stringlist.h"
#include "core/sysutils.h"
#include "graphics/graphic.h"
#include "graphics/jpegs.h"
#include "media/velabind.h"
#include "media/videoitem.h"
#include "platform/clock.h"

#include <algorithm>
#include <cmath>
#include <cstring>

// ---- The grabber ----

void TSampleGrabberCB::Reset(platform::TargetId Target) {
    std::lock_guard<std::mutex> guard(Lock);
    TargetWindow = Target;
    Armed = PauseAfter = false;
    Remaining = 0;
}

void TSampleGrabberCB::Arm(int32_t ABurstCount, int32_t ABurstInterval, bool ABurstMode, bool APauseAfter) {
    std::lock_guard<std::mutex> guard(Lock);
    BurstCount = ABurstCount;
    BurstInterval = ABurstInterval;
    BurstMode = ABurstMode;
    PauseAfter = APauseAfter;
    Remaining = BurstMode ? BurstCount : 0;
    Countdown = 1;
    Armed = true;
}

void TSampleGrabberCB::Disarm() {
    std::lock_guard<std::mutex> guard(Lock);
    Remaining = 0;
    Armed = false;
}

bool TSampleGrabberCB::IsArmed() {
    std::lock_guard<std::mutex> guard(Lock);
    return Armed;
}

void TSampleGrabberCB::BufferCB(const VelaFrame& F) {
    std::lock_guard<std::mutex> guard(Lock);
    if (Busy || Frame || !Armed) return;
    if (BurstMode) {
        if (--Countdown > 0) return;
        --Remaining;
        Countdown = BurstInterval;
    } else {
        Armed = false;
    }
    bool pauseAgain = false;
    if ((!BurstMode || BurstCount >= 1) && Remaining == 0) {
        Armed = false;
        pauseAgain = PauseAfter;
        PauseAfter = false;
    }
    if (!F.pixels || F.width < 1 || F.height < 1 || F.pitch < int64_t{F.width} * 4) return;
    auto bitmap = std::make_unique<TDIB>();
    bitmap->PixelFormat = MakeDIBColorFormat(8, 8, 8);
    // On the library's thread nothing may unwind: a frame the title's memory cannot hold is dropped.
    try {
        bitmap->SetSize(F.width, F.height, 32);
    } catch (const std::exception&) {
        return;
    }
    for (int32_t y = 0; y < F.height; ++y)
        std::memcpy(bitmap->ScanLine(y), static_cast<const uint8_t*>(F.pixels) + ptrdiff_t(y) * F.pitch,
                    size_t(F.width) * 4);
    Frame = std::move(bitmap);
    Busy = true;
    platform::MainQueue().Post(TargetWindow, WM_FGRABBER_CAPTURE, 1, pauseAgain ? 0 : 1);
}

std::unique_ptr<TDIB> TSampleGrabberCB::TakeFrame() {
    std::lock_guard<std::mutex> guard(Lock);
    return std::move(Frame);
}

void TSampleGrabberCB::Done() {
    std::lock_guard<std::mutex> guard(Lock);
    Frame.reset();
    Busy = false;
}

TCaptureGate CaptureGate = nullptr;

namespace {

void GrabberFrame(void* Owner, const VelaFrame* Frame) {
    if (Frame) static_cast<TSampleGrabberCB*>(Owner)->BufferCB(*Frame);
}

int32_t Round(double V) { return int32_t(std::nearbyint(V)); }

int32_t AsInt(const TDispValue& V) {
    return std::visit(
        [](const auto& X) -> int32_t {
            using T = std::decay_t<decltype(X)>;
            if constexpr (std::is_same_v<T, std::string>) return StrToIntDef(X, 0);
            else if constexpr (std::is_same_v<T, bool>) return X ? -1 : 0;
            else if constexpr (std::is_same_v<T, double>) return std::isfinite(X) ? Round(std::clamp(X, -2e9, 2e9)) : 0;
            else return X;
        },
        V);
}

double AsDouble(const TDispValue& V) {
    if (const double* d = std::get_if<double>(&V)) return *d;
    return AsInt(V);
}

// The highest number of the captures PrefixNNN.Ext in Folder; 0 when there is none.
int32_t HighestCaptureNumber(const std::string& Folder, const std::string& Prefix, const std::string& Ext) {
    TStringList found;
    EnumFiles(Folder, faArchive | faReadOnly, true, "." + Ext, false, false, false, found, true);
    int32_t highest = 0;
    for (int i = 0; i < found.Count(); ++i) {
        const std::string name = ExtractFileName(found.Strings(i));
        if (name.size() < Prefix.size() || !AnsiSameText(name.substr(0, Prefix.size()), Prefix) ||
            !MatchesMask(name, Prefix + "*." + Ext))
            continue;
        const size_t dot = name.find('.', Prefix.size());
        const std::string digits = name.substr(Prefix.size(), dot - Prefix.size());
        if (digits.empty() || !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        highest = std::max(highest, StrToIntDef(digits, 0));
    }
    return highest;
}

}  // namespace

// ---- The host ----

TActiveMovie::TActiveMovie() {
    FTarget = platform::MainQueue().AddTarget([this](const platform::QueuedMessage& M) { Handle(M); });
    platform::MainQueue().SetTimer(FTarget, 1, 50);
}

TActiveMovie::~TActiveMovie() {
    CloseFile();
    platform::MainQueue().RemoveTarget(FTarget);
}

void TActiveMovie::Handle(const platform::QueuedMessage& M) {
    if (M.message == platform::TimerMessage) DeferredEvents();
    else if (M.message == WM_FGRABBER_CAPTURE && M.wParam == 1) CaptureCompleted(M.lParam == 0);
}

// ---- Settings ----

void TActiveMovie::SetDisplaySize(TDisplaySize Value) {
    if (Value == mpCustomSize && FShowControls)
        throw EVelaError("this setting is not allowed when ShowControls is enabled. Disable ShowControls first.");
    FDisplaySize = Value;
    ReLayout();
}

void TActiveMovie::SetShowControls(bool Value) {
    if (Value && FDisplaySize == mpCustomSize)
        throw EVelaError(
            "this setting is not allowed when DisplaySize = mpCustomSize. Set DisplaySize to another value first.");
    FShowControls = Value;
    ReLayout();
}

void TActiveMovie::SetShowScrollBars(bool Value) {
    FShowScrollBars = Value;
    ReLayout();
}

void TActiveMovie::SetZoomSize(int32_t Value) {
    if (Value < 1) return;
    FZoomSize = Value;
    if (FDisplaySize == mpCustomSize) ReLayout();
}

void TActiveMovie::SetVisible(bool Value) {
    FVisible = Value;
    ReLayout();
}

void TActiveMovie::SetSelectionStart(double Value) {
    if (Value == -1 || (Value >= 0 && (FSelectionEnd == -1 || Value <= FSelectionEnd))) FSelectionStart = Value;
}

void TActiveMovie::SetSelectionEnd(double Value) {
    if (Value == -1 || (Value >= 0 && Value >= FSelectionStart)) FSelectionEnd = Value;
}

void TActiveMovie::SetBurstCount(int32_t Value) {
    if (Value >= 0) FBurstCount = Value;
}

void TActiveMovie::SetBurstInterval(int32_t Value) {
    if (Value >= 1) FBurstInterval = Value;
}

void TActiveMovie::SetFGrabberEnabled(bool Value) {
    FGrabberEnabled = Value;
    FLastError = Value ? "" : "the FGrabber_Enabled property must be enabled.";
}

// ---- The control ----

TDispValue TActiveMovie::GetProperty(int32_t Id) {
    namespace D = MovieDispId;
    const bool open = FHandle != 0;
    switch (Id) {
    case D::Volume: return open ? VelaLib.Video.GetVol(FHandle) : 0;
    case D::Balance: return open ? VelaLib.Video.GetPan(FHandle) : 0;
    case D::ImageSourceWidth: return open ? VelaLib.VideoGetSourceWidth(FHandle) : 0;
    case D::ImageSourceHeight: return open ? VelaLib.VideoGetSourceHeight(FHandle) : 0;
    case D::Duration: return open ? VelaLib.Video.GetLen(FHandle) / 1000.0 : 0.0;
    case D::CurrentPosition: return open ? VelaLib.Video.GetPosition(FHandle) / 1000.0 : 0.0;
    case D::FileName: return FFileName;
    case D::Rate: return FRate;
    case D::OpenState: return open ? 6 : 0;
    case D::PlayState:
        if (!open || FStopped) return 0;
        return VelaLib.Video.IsPlaying(FHandle) ? 2 : VelaLib.Video.IsPaused(FHandle) ? 1 : 0;
    default: {
        const auto found = FStored.find(Id);
        return found == FStored.end() ? TDispValue{0} : found->second;
    }
    }
}

void TActiveMovie::SetProperty(int32_t Id, const TDispValue& Value) {
    namespace D = MovieDispId;
    switch (Id) {
    case D::Volume:
        if (FHandle) VelaLib.Video.SetVol(FHandle, AsInt(Value));
        return;
    case D::Balance:
        if (FHandle) VelaLib.Video.SetPan(FHandle, AsInt(Value));
        return;
    case D::CurrentPosition:
        if (FHandle) VelaLib.Video.SetPosition(FHandle, Round(std::clamp(AsDouble(Value), 0.0, 2e6) * 1000));
        return;
    case D::Rate: FRate = AsDouble(Value); return;
    case D::FileName:
        FFileName = std::holds_alternative<std::string>(Value) ? std::get<std::string>(Value) : "";
        OpenFile(FFileName);
        return;
    case D::ImageSourceWidth:
    case D::ImageSourceHeight:
    case D::Duration:
    case D::OpenState:
    case D::PlayState: return;  // read only
    default:
        FStored[Id] = Value;
        if (std::holds_alternative<bool>(Value)) ReLayout();
    }
}

int32_t TActiveMovie::GetInt(int32_t Id) { return AsInt(GetProperty(Id)); }
double TActiveMovie::GetDouble(int32_t Id) { return AsDouble(GetProperty(Id)); }

void TActiveMovie::OpenFile(const std::string& Name) {
    CloseFile();
    if (Name.empty() || !VelaLib.VidmanAdd) return;
    try {
        FStream = std::make_unique<TFileRangeStream>(Name, 0, 0);
    } catch (const EVelaError& E) {
        FLastError = E.what();
        return;
    }
    try {
        FHandle = AddLibraryVideo(Name, *FStream, false);
    } catch (const EVelaError& E) {
        FLastError = E.what();
        FStream.reset();
        return;
    }
    OpenStateChange(6);
}

void TActiveMovie::CloseFile() {
    const bool wasOpen = FHandle != 0;
    if (wasOpen) {
        VelaLib.VideoSetFrameCallback(FHandle, nullptr, nullptr);
        VelaLib.VidmanDel(FHandle);
    }
    FHandle = 0;
    FStream.reset();
    FStopped = true;
    FEnded = false;
    if (wasOpen) OpenStateChange(0);
}

void TActiveMovie::OpenStateChange(int32_t NewState) {
    FOpenStatePending = true;
    if (NewState == 0) {
        FGrabberReady = false;
        FGrabber.Disarm();
        return;
    }
    if (FGrabberEnabled) InsertGrabber();
    FDuration = GetDouble(MovieDispId::Duration);
    if (AutoStart) Play();
    else SetProperty(MovieDispId::CurrentPosition, 0.0);
    if (OnOpenComplete) OnOpenComplete(*this);
    ReLayout();
}

void TActiveMovie::InsertGrabber() {
    FGrabber.Reset(FTarget);
    VelaLib.VideoSetFrameCallback(FHandle, GrabberFrame, &FGrabber);
    FGrabberReady = true;
}

void TActiveMovie::PlayStateChange(int32_t OldState, int32_t NewState) {
    if (NewState == 2) {
        if (OldState != 1 && FSelectionStart != -1) SetProperty(MovieDispId::CurrentPosition, FSelectionStart);
        ReLayout();
    } else if (NewState == 0) {
        FGrabber.Disarm();
    }
}

void TActiveMovie::Open() {
    if (FileName.empty()) return;
    if (PlayState() == 2) Stop();
    SetProperty(MovieDispId::FileName, FileName);
}

void TActiveMovie::Play() {
    if (OpenState() != 6) return;
    FStopped = false;
    VelaLib.Video.Play(FHandle);
}

void TActiveMovie::Stop() {
    if (OpenState() != 6) return;
    if (VelaLib.Video.IsPlaying(FHandle)) VelaLib.Video.Pause(FHandle);
    FStopped = true;
    SetProperty(MovieDispId::CurrentPosition, 0.0);
}

bool TActiveMovie::Pause() {
    if (OpenState() != 6 || PlayState() != 2) return false;
    VelaLib.Video.Pause(FHandle);
    return true;
}

void TActiveMovie::SetPosition(double Seconds) {
    if (Seconds < FDuration) SetProperty(MovieDispId::CurrentPosition, Seconds);
}

void TActiveMovie::CaptureFrame(int32_t Destination) {
    if (!FGrabberReady) return;
    FDestination = Destination;
    const bool playing = PlayState() == 2;
    FGrabber.Arm(FBurstCount, FBurstInterval, FBurstMode, !playing);
    if (!playing) Play();
}

bool TActiveMovie::EndOfStream() const { return FHandle && VelaLib.Video.IsEnd(FHandle); }

const VelaFrame* TActiveMovie::CurrentFrame() { return FHandle ? VelaLib.VideoGetDC(FHandle) : nullptr; }

// ---- The deferred events ----

void TActiveMovie::DeferredEvents() {
    if (FInTimer) return;
    FInTimer = true;
    struct TLeave {
        bool& Flag;
        ~TLeave() { Flag = false; }
    } leave{FInTimer};
    if (FHandle) {
        const double position = GetDouble(MovieDispId::CurrentPosition);
        if (position != FReportedPosition) {
            const double old = FReportedPosition;
            FReportedPosition = position;
            if (OnPositionChange) OnPositionChange(*this, old, position);
        }
        if (FSelectionEnd >= 0 && position >= FSelectionEnd) Stop();
    }
    const bool ended = EndOfStream();
    if (ended && !FEnded) {
        FEnded = true;
        if (OnEndOfStream) OnEndOfStream(*this);
        if (Loop) {
            SetProperty(MovieDispId::CurrentPosition, 0.0);
            Play();
        }
    }
    FEnded = FEnded && ended;
    if (FOpenStatePending) {
        FOpenStatePending = false;
        if (OnOpenStateChange) OnOpenStateChange(*this, OpenState());
    }
    const int32_t state = PlayState();
    if (state != FReportedPlayState) {
        const int32_t old = FReportedPlayState;
        FReportedPlayState = state;
        PlayStateChange(old, state);
        if (OnPlayStateChange) OnPlayStateChange(*this, old, state);
    }
}

// ---- Captures ----

void TActiveMovie::CaptureCompleted(bool PauseAgain) {
    struct TDone {
        TSampleGrabberCB& Grabber;
        ~TDone() { Grabber.Done(); }
    } done{FGrabber};
    std::unique_ptr<TDIB> frame = FGrabber.TakeFrame();
    if (!frame) return;
    if (PauseAgain && FHandle) VelaLib.Video.Pause(FHandle);
    TDIB scaled;
    TDIB* shown = frame.get();
    if (CaptureSize != 100 && CaptureSize > 0) {
        const int32_t w = std::max(1, int32_t(int64_t(frame->Width()) * CaptureSize / 100));
        const int32_t h = std::max(1, int32_t(int64_t(frame->Height()) * CaptureSize / 100));
        CheckImageSize(w, h, 24);
        scaled.SetSize(w, h, 24);
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x)
                scaled.SetPixel(x, y,
                                frame->GetPixel(StretchSource(x, frame->Width(), w), StretchSource(y, frame->Height(), h)) &
                                    0x00FFFFFF);
        shown = &scaled;
    }
    std::string name;
    if (FDestination == 1 || FDestination == 2) {
        name = NextCaptureName(FDestination == 1 ? "bmp" : "jpg");
        try {
            // Written beneath its folder, once the gate said yes, as every file of a title is.
            const platform::fs::Beneath target{platform::fs::HeldFolder::Open(ExtractFilePath(name)), {ExtractFileName(name)}};
            if (!target.Root || !CaptureGate || !CaptureGate(target))
                throw EVelaError(platform::fs::ShownPath(name) + " is not a place a capture may be written");
            WriteFileReplacing(target, [&](TStream& File) {
                if (FDestination == 1) {
                    shown->SaveToStream(File);
                } else {
                    TJPEGImage jpeg;
                    jpeg.Bitmap.Assign(shown);
                    jpeg.SaveToStream(File, JPEGQuality);
                }
            });
        } catch (const EVelaError& E) {
            FLastError = E.what();
            name.clear();
        }
    }
    if (OnFGrabberCaptureCompleted) OnFGrabberCaptureCompleted(*this, shown, name);
}

std::string TActiveMovie::NextCaptureName(const std::string& Ext) {
    if (!CaptureFileName.empty()) return CaptureFileName;
    std::string folder = StoragePath;
    if (folder.empty() || folder.back() != '\\') folder += '\\';
    std::string stamp;
    if (AutoFileName == fnDateTime) {
        const platform::DateTime t = platform::LocalNow();
        stamp = Format("%02d%02d%02d_%02d%02d%02d_%03d", t.year % 100, t.month, t.day, t.hour, t.minute, t.second,
                       t.millisecond);
    } else {
        int32_t& counter = FCounters[Ext];
        if (counter == 0) counter = HighestCaptureNumber(folder, AutoFilePrefix, Ext);
        stamp = Format("%06d", ++counter);
    }
    return folder + AutoFilePrefix + stamp + "." + Ext;
}

// ---- Layout ----

void TActiveMovie::ReLayout() {
    const int32_t pw = BoundsRect.Right - BoundsRect.Left, ph = BoundsRect.Bottom - BoundsRect.Top;
    FLayout = TLayout{};
    FLayout.Control = {0, 0, pw, ph};
    const int32_t w = GetInt(MovieDispId::ImageSourceWidth), h = GetInt(MovieDispId::ImageSourceHeight);
    if (FVisible && FHandle && !FShowControls && w > 0 && h > 0) {
        const double aspect = double(h) / w;
        auto centred = [&](int32_t W, int32_t H) {
            const int32_t left = Round((pw - W) / 2.0), top = Round((ph - H) / 2.0);
            FLayout.Control = {left, top, left + W, top + H};
        };
        auto fit = [&] {
            if (pw - w >= ph - h) centred(Round(ph / aspect), ph);
            else centred(pw, Round(pw * aspect));
        };
        switch (FDisplaySize) {
        case mpFitToSize: fit(); break;
        case mpCustomSize: {
            const int32_t W = Round(w * FZoomSize / 100.0), H = Round(h * FZoomSize / 100.0);
            centred(W, H);
            FLayout.HScroll = FShowScrollBars && W > pw;
            FLayout.VScroll = FShowScrollBars && H > ph;
            FLayout.Corner = FLayout.HScroll && FLayout.VScroll;
            if (FLayout.HScroll) {
                FLayout.HRange = W + (FLayout.VScroll ? ScrollBarsThickness : 0);
                FLayout.HPosition = Round(FLayout.HRange * FScrollX);
                const int32_t left = Round(double(pw - W) * FLayout.HPosition / W);
                FLayout.Control = {left, FLayout.Control.Top, left + W, FLayout.Control.Bottom};
            }
            if (FLayout.VScroll) {
                FLayout.VRange = H + (FLayout.HScroll ? ScrollBarsThickness : 0);
                FLayout.VPosition = Round(FLayout.VRange * FScrollY);
                const int32_t top = Round(double(ph - H) * FLayout.VPosition / H);
                FLayout.Control = {FLayout.Control.Left, top, FLayout.Control.Right, top + H};
            }
            break;
        }
        default: {
            const int32_t W = FDisplaySize == mpHalfSize ? w / 2 : FDisplaySize == mpDoubleSize ? 2 * w : w;
            const int32_t H = FDisplaySize == mpHalfSize ? h / 2 : FDisplaySize == mpDoubleSize ? 2 * h : h;
            if (W <= pw && H <= ph) centred(W, H);
            else fit();
        }
        }
    }
    if (!FHandle) return;
    // The library shows the part of the frame that falls inside the panel, where it falls.
    const TRect& c = FLayout.Control;
    const TRect shown = IntersectRects({c.Left, c.Top, c.Right, c.Bottom}, {0, 0, pw, ph});
    const bool visible = FVisible && !RectIsEmpty(shown) && w > 0 && h > 0;
    if (visible) {
        const double sx = double(w) / (c.Right - c.Left), sy = double(h) / (c.Bottom - c.Top);
        const VelaRect source{Round((shown.Left - c.Left) * sx), Round((shown.Top - c.Top) * sy),
                              Round((shown.Right - c.Left) * sx), Round((shown.Bottom - c.Top) * sy)};
        const VelaRect dest{BoundsRect.Left + shown.Left, BoundsRect.Top + shown.Top, BoundsRect.Left + shown.Right,
                            BoundsRect.Top + shown.Bottom};
        VelaLib.VideoSetRect(FHandle, &source, &dest);
    }
    VelaLib.VideoSetVisible(FHandle, visible ? -1 : 0);
}
