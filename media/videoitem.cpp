#include "media/videoitem.h"

#include "core/bigstreams.h"
#include "core/membudget.h"
#include "core/sysutils.h"
#include "core/vrfiles_manager.h"
#include "graphics/graphic.h"
#include "media/screenman.h"
#include "media/velabind.h"

#include <cmath>

TVideoItem* TVideoManager::Add(const std::string& FileName, bool Capture) {
    if (UseWMP) return static_cast<TVideoItem*>(Append(NewWmVideoItem(this, Capture, FileName)));
    return static_cast<TVideoItem*>(Append(std::make_unique<TDsVideoItem>(this, Capture, FileName)));
}

namespace {

bool IsProgramPath(const std::string& FileName) {
    return FileName.starts_with("\\") || (FileName.size() > 1 && FileName[1] == ':');
}

// The Windows Media container is read from a file of its own.
bool IsWorkFileKind(const std::string& FileName) {
    const std::string ext = AnsiLowerCase(ExtractFileExt(FileName));
    return !ext.empty() && std::string(".wmv.asf.").find(ext + ".") != std::string::npos;
}

}  // namespace

const char* LibraryVideoFailureText(int32_t Failure) {
    switch (Failure) {
    case VELA_FAILURE_MEMORY: return MemoryBudgetMessage;
    case VELA_FAILURE_THREADS: return "too many at once";
    default: return "no video the companion library can decode";
    }
}

VelaHandle AddLibraryVideo(const std::string& FileName, TStream& Source, bool Capture) {
    HandSoundDeviceToLibrary();
    if (!VelaLib.VidmanAdd) throw EVelaError(LibraryVideoFailureText(VELA_FAILURE_NONE));
    const VelaHandle handle = VelaLib.VidmanAdd(FileName.c_str(), &Source, Capture ? -1 : 0);
    if (!handle) throw EVelaError(LibraryVideoFailureText(VelaLib.VidmanGetFailure()));
    try {
        const int32_t width = VelaLib.VideoGetSourceWidth(handle), height = VelaLib.VideoGetSourceHeight(handle);
        CheckImageSize(width, height, 32);
        // The decoder's working pictures must fit now; the heap counts them as it takes them.
        const int64_t pictures = int64_t(width) * height * 4 * velaVideoPictures(width, height);
        if (!TryChargeMemory(pictures)) throw EVelaError(MemoryBudgetMessage);
        ReleaseMemory(pictures);
    } catch (...) {
        VelaLib.VidmanDel(handle);
        throw;
    }
    return handle;
}

TDsVideoItem::TDsVideoItem(TVideoManager* Manager, bool Capture, const std::string& FileName)
    : TVideoItem(Manager, Capture), FFileName(FileName) {
    std::string name;
    if (IsProgramPath(FileName)) {
        FSource = std::make_unique<TFileRangeStream>(FileName, 0, 0);
        name = FileName;
    } else if (IsWorkFileKind(FileName)) {
        name = VrFileManager->LockWorkFile(FileName);
        try {
            FSource = std::make_unique<TFileRangeStream>(name, 0, 0);
        } catch (...) {
            VrFileManager->ReleaseLocalFile(FileName);
            throw;
        }
        FWorkName = FileName;
    } else {
        FSource = VrFileManager->OpenRangeStream(FileName);
        name = VrFileManager->BaseFolder() + FileName;
    }
    try {
        FHandle = AddLibraryVideo(name, *FSource, Capture);
    } catch (const EVelaError& E) {
        Manager->ReportOpenFailure(FileName, E.what());
    }
}

TDsVideoItem::~TDsVideoItem() {
    VelaLib.VidmanDel(FHandle);
    FSource.reset();
    if (!FWorkName.empty() && VrFileManager) VrFileManager->ReleaseLocalFile(FWorkName);
}

bool TDsVideoItem::GetAutoRepeat() { return VelaLib.Video.GetAutoRepeat(FHandle) != 0; }
void TDsVideoItem::SetAutoRepeat(bool Value) { VelaLib.Video.SetAutoRepeat(FHandle, Value ? -1 : 0); }
int32_t TDsVideoItem::GetPan() { return VelaLib.Video.GetPan(FHandle); }
int32_t TDsVideoItem::GetVol() { return VelaLib.Video.GetVol(FHandle); }
void TDsVideoItem::SetPan(int32_t Value) { VelaLib.Video.SetPan(FHandle, Value); }
void TDsVideoItem::SetVol(int32_t Value) { VelaLib.Video.SetVol(FHandle, Value); }
int32_t TDsVideoItem::GetPosition() { return VelaLib.Video.GetPosition(FHandle); }
void TDsVideoItem::SetPosition(int32_t Value) { VelaLib.Video.SetPosition(FHandle, Value); }
int32_t TDsVideoItem::GetLen() { return VelaLib.Video.GetLen(FHandle); }
bool TDsVideoItem::IsEnd() {
    if (!FHandle) return true;
    if (!VelaLib.Video.IsEnd(FHandle)) return false;
    if (const int32_t failure = VelaLib.VideoGetFailure(FHandle); failure != VELA_FAILURE_NONE && !FFailureSaid) {
        FFailureSaid = true;
        Manager->ReportOpenFailure(FFileName, LibraryVideoFailureText(failure));
    }
    return true;
}
bool TDsVideoItem::IsPlaying() { return VelaLib.Video.IsPlaying(FHandle) != 0; }
bool TDsVideoItem::IsPaused() { return VelaLib.Video.IsPaused(FHandle) != 0; }
void TDsVideoItem::Play() { VelaLib.Video.Play(FHandle); }
void TDsVideoItem::Pause() { VelaLib.Video.Pause(FHandle); }
int32_t TDsVideoItem::GetSourceHeight() { return VelaLib.VideoGetSourceHeight(FHandle); }
int32_t TDsVideoItem::GetSourceWidth() { return VelaLib.VideoGetSourceWidth(FHandle); }
bool TDsVideoItem::GetVisible() { return VelaLib.VideoGetVisible(FHandle) != 0; }
void TDsVideoItem::SetVisible(bool Value) { VelaLib.VideoSetVisible(FHandle, Value ? -1 : 0); }
bool TDsVideoItem::NeedPaint() { return VelaLib.VideoNeedPaint(FHandle) != 0; }

void TDsVideoItem::SetRect(const TRect& Source, const TRect& Dest) {
    TVideoItem::SetRect(Source, Dest);
    const VelaRect source{Source.Left, Source.Top, Source.Right, Source.Bottom};
    const VelaRect dest{Dest.Left, Dest.Top, Dest.Right, Dest.Bottom};
    VelaLib.VideoSetRect(FHandle, &source, &dest);
}

const VelaFrame* TDsVideoItem::GetDC() { return VelaLib.VideoGetDC(FHandle); }

TRect VideoPlacement(const TRect& Source, const TRect& Dest, int32_t Width, int32_t Height) {
    const int32_t sw = Source.Right - Source.Left, sh = Source.Bottom - Source.Top;
    if (sw <= 0 || sh <= 0) return Dest;
    const double sx = double(Dest.Right - Dest.Left) / sw, sy = double(Dest.Bottom - Dest.Top) / sh;
    const auto round = [](double V) { return int32_t(std::lround(V)); };
    return {Dest.Left - round(Source.Left * sx), Dest.Top - round(Source.Top * sy),
            Dest.Right + round((Width - Source.Right) * sx), Dest.Bottom + round((Height - Source.Bottom) * sy)};
}
