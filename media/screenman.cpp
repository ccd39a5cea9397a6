#include "media/screenman.h"

#include "core/sysutils.h"
#include "graphics/dxdibx.h"
#include "graphics/fastdib.h"
#include "media/dsound.h"
#include "media/mediaman.h"
#include "media/velabind.h"
#include "media/velasound.h"
#include "objects/vitems.h"

TScreenManager* ScreenMan = nullptr;
void* SoundDeviceCell = nullptr;

namespace {

// The window and the base panel as the companion library holds them.
uintptr_t MainWindowCell = 0;
uintptr_t BasePanelCell = 0;

// The main window's DirectSound component; whether its device was handed to the library, and
// what the library plays on (kept until after velaFinal).
TCustomSoundDevice* SoundComponent = nullptr;
bool SoundHanded = false;
std::unique_ptr<TVelaSoundDevice> LibrarySound;

// A rectangle's coordinates scaled by Zoom percent.
TRect Scaled(const TRect& R, int32_t Zoom) {
    auto s = [Zoom](int32_t V) { return int32_t(int64_t(V) * Zoom / 100); };
    return {s(R.Left), s(R.Top), s(R.Right), s(R.Bottom)};
}

TRect Offset(const TRect& R, int32_t X, int32_t Y) { return {R.Left + X, R.Top + Y, R.Right + X, R.Bottom + Y}; }

}  // namespace

int32_t ScreenBitCount() { return ScreenMan ? ScreenMan->BitCount : 32; }

// ---- Construction and modes ----

TScreenManager::TScreenManager(platform::Display* AForm, TBasePanel* APanel, int32_t AWidth, int32_t AHeight,
                               int32_t AFullWidth, int32_t AFullHeight)
    : Form(AForm), Width(AWidth), Height(AHeight), Panel(APanel), FullWidth(AFullWidth), FullHeight(AFullHeight) {
    if (Form) {
        DesktopBitCount = int32_t(Form->desktopMode().bitCount);
        for (const platform::DisplayModeInfo& m : Form->displayModes())
            AddMode({m.width, m.height, m.bitCount, m.refreshRate});
    }
    ModeIndex = -2;
    SetModeIndex(-1);
    ScreenDepthHook = [this] { return BitCount; };  // the working bitmaps of colour reduction
}

TScreenManager::~TScreenManager() {
    ScreenDepthHook = nullptr;
    Surface.reset();
    if (DisplayFullScreen) Form->setFullScreen(nullptr);
}

void TScreenManager::AddMode(const TDisplayMode& Mode) {
    if (Mode.Width < uint32_t(Width) || Mode.Height < uint32_t(Height) || Mode.BitCount < 16) return;
    Modes.push_back(Mode);
    auto wanted = [this](const TDisplayMode& M) {
        return M.Width == uint32_t(FullWidth) && M.Height == uint32_t(FullHeight);
    };
    const uint32_t desktop = uint32_t(DesktopBitCount);
    bool best = BestMode < 0;
    if (!best) {
        const TDisplayMode& b = Modes[size_t(BestMode)];
        best = (wanted(Mode) && !wanted(b)) ||
               (wanted(Mode) && wanted(b) && Mode.BitCount == desktop &&
                (b.BitCount != desktop || Mode.RefreshRate < b.RefreshRate));
    }
    if (best) BestMode = GetModeCount() - 1;
}

void TScreenManager::SetModeIndex(int32_t Index) {
    if (Index == ModeIndex) return;
    ModeIndex = Index;
    if (!SetUp() && ModeIndex >= 0) {
        ModeIndex = -1;  // the display refused the mode: windowed
        SetUp();
    }
}

void TScreenManager::FreeDX() {
    Surface.reset();
    ModeIndex = -2;
}

bool TScreenManager::SetUp() {
    FullScreen = false;
    MemorySurface = false;
    Surface.reset();
    auto makeSurface = [this](int Bits) {
        MemorySurface = true;
        Surface = std::make_unique<TDIBX>();
        Surface->SetSize(Width, Height, Bits);
        BitCount = Surface->GetBitCount();
    };
    if (!Form) {
        makeSurface(16);
        return false;
    }
    if (ModeIndex < 0) {
        if (DisplayFullScreen) {
            Form->setFullScreen(nullptr);
            DisplayFullScreen = false;
        }
        DisplayBitCount = int32_t(Form->desktopMode().bitCount);
        makeSurface(DisplayBitCount == 15 ? 15 : DisplayBitCount <= 16 ? 16 : 32);
        return true;
    }
    if (ModeIndex >= GetModeCount()) return false;
    const TDisplayMode& m = Modes[size_t(ModeIndex)];
    const platform::DisplayModeInfo mode{m.Width, m.Height, m.BitCount, m.RefreshRate};
    DisplayFullScreen = Form->setFullScreen(&mode);
    if (!DisplayFullScreen) return false;
    DisplayBitCount = int32_t(m.BitCount);
    makeSurface(DisplayBitCount < 16 ? 15 : DisplayBitCount == 16 ? 16 : 32);
    FullScreen = true;
    return true;
}

// ---- Present ----

void TScreenManager::Present() {
    if (!Bases || !Surface) return;
    // The dirty rectangles were shown (or could not be): they go, whatever happens below.
    struct TDirtyListsEmptier {
        ~TDirtyListsEmptier() {
            Bases->GetBase(0)->ClipList.Clear();
            Bases->GetBase(1)->ClipList.Clear();
        }
    } emptier;

    const int32_t zoom = Bases->Zoom;
    std::vector<std::pair<TRect, TRect>> copies;  // source, destination
    auto copy = [&](const TRect& R) { copies.push_back({R, Scaled(R, zoom)}); };
    if (zoom % 100 != 0) {
        ++FrameCount;
        copy({0, 0, Bases->GetWidth(), Bases->GetHeight()});
    } else if (RectIsEmpty(Bases->TransRect)) {
        const TClipList& dirty = Bases->GetBase(Bases->GetCurrentLayer())->ClipList;
        if (dirty.Count() > 0) ++FrameCount;
        for (int i = 0; i < dirty.Count(); ++i)
            if (!RectIsEmpty(dirty.GetRect(i))) copy(dirty.GetRect(i));
    } else {
        ++FrameCount;
        copy(Bases->TransRect);
    }
    CopyToWindow(copies);
}

void TScreenManager::CopyToWindow(const std::vector<std::pair<TRect, TRect>>& Copies) {
    if (!Form) return;
    platform::PixelSurface& frame = Form->frame();
    const platform::PixelBuffer size = frame.describe();
    const TRect bounds{0, 0, size.width, size.height};
    const int32_t x = Panel ? Panel->Left : 0, y = Panel ? Panel->Top : 0;
    std::vector<platform::PixelRect> shown;
    for (const auto& [source, dest] : Copies) {
        const TRect d = Offset(dest, x, y);
        StretchBltTo(*Surface, source, frame, d, bounds);
        const TRect r = IntersectRects(d, bounds);
        if (!RectIsEmpty(r)) shown.push_back({r.Left, r.Top, r.Right, r.Bottom});
    }
    // A windowed video has no window of its own: its frame goes over the scene, the part of
    // the frame SetRect chose onto the place it gave.
    for (int32_t i = 0; VideoMan && i < VideoMan->Count(); ++i) {
        TVideoItem& video = *VideoMan->GetItem(i);
        if (video.Capture || !video.GetVisible()) continue;
        const VelaFrame* picture = video.GetDC();
        if (!picture) continue;
        platform::PixelBuffer pixels;
        pixels.pixels = static_cast<uint8_t*>(const_cast<void*>(picture->pixels));
        pixels.width = picture->width, pixels.height = picture->height, pixels.pitch = picture->pitch;
        const TRect d = Offset(video.DestRect(), x, y);
        StretchBltTo(pixels, video.SourceRect(), frame, d, bounds);
        const TRect r = IntersectRects(d, bounds);
        if (!RectIsEmpty(r)) shown.push_back({r.Left, r.Top, r.Right, r.Bottom});
    }
    if (!shown.empty()) Form->present(shown);
}

// ---- The media layer ----

void MediaInit(platform::Display* Form, TBasePanel* Panel, int32_t Width, int32_t Height, int32_t FullWidth,
               int32_t FullHeight, const TMediaSoundSetup& Sound, const std::string& RegistryName) {
    if (!VelaLibraryBound()) throw EVelaBindError(std::string(VelaLibraryName) + " が読み込まれていません");
    MainWindowCell = reinterpret_cast<uintptr_t>(Form);
    BasePanelCell = reinterpret_cast<uintptr_t>(Panel);
    if (VelaLib.Init)
        VelaLib.Init(&MainWindowCell, &BasePanelCell, nullptr, &SoundDeviceCell, VelaStreamGetSize, VelaStreamRead,
                     VelaStreamGetPos, VelaStreamSetPos, SaveFPUControlWord, RestoreFPUControlWord, 0);
    if (VelaLib.OggmanSetUseThread) VelaLib.OggmanSetUseThread(-1);
    if (Width > 0 && Height > 0) ScreenMan = new TScreenManager(Form, Panel, Width, Height, FullWidth, FullHeight);
    VideoMan = new TVideoManager;
    WmpMan = new TWmpManager;
    OggMan = new TOggManager(Sound.DirectSound, Sound.DelayTime);
    SoundComponent = Sound.Device;
    CddaMan = new TCddaManager(RegistryName);
    MidiMan = new TMidiManager;
}

namespace {

template <class T>
void FreeAndNil(T*& Object) {
    delete Object;
    Object = nullptr;
}

}  // namespace

void MediaFinal() {
    FreeAndNil(ScreenMan);
    FreeAndNil(VideoMan);
    FreeAndNil(WmpMan);
    FreeAndNil(OggMan);
    FreeAndNil(CddaMan);
    FreeAndNil(MidiMan);
    if (VelaLib.Final) VelaLib.Final();
    SoundDeviceCell = nullptr;
    LibrarySound.reset();
    SoundComponent = nullptr;
    SoundHanded = false;
}

void HandSoundDeviceToLibrary() {
    if (SoundHanded) return;
    SoundHanded = true;
    if (!SoundComponent) return;
    try {
        if (!SoundComponent->Initialized()) SoundComponent->Initialize();
    } catch (const EVelaError&) {
        return;
    }
    if (TDirectSound* dsound = SoundComponent->GetDSound()) {
        LibrarySound = std::make_unique<TVelaSoundDevice>(dsound->SharedDevice());
        SoundDeviceCell = LibrarySound->Cell();
    }
}

void MediaSuspend() {
    if (VideoMan) VideoMan->SuspendDll();
}

void MediaResume() {
    if (VideoMan) VideoMan->ResumeDll();
}
