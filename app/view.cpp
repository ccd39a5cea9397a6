// The main window's start-up, shut-down, message loop and tick.
#include "app/view.h"

#include "objects/vitemex_edit.h"

#include "app/cursor.h"
#include "app/entry.h"
#include "app/gameini.h"
#include "app/view_fonts.h"
#include "core/membudget.h"
#include "core/rands.h"
#include "core/sysutils.h"
#include "core/vrfiles_manager.h"
#include "media/mediaman.h"
#include "media/velabind.h"
#include "objects/vitems.h"
#include "platform/clock.h"
#include "platform/fs.h"
#include "platform/msgqueue.h"
#include "script/commands.h"
#include "script/dbs.h"
#include "script/params_funcs.h"
#include "script/params_vars.h"
#include "script/project.h"
#include "script/savedata_scene.h"
#include "script/services.h"
#include "script/services_objects.h"
#include "text/fontpixels.h"
#include "text/histories.h"

TFormView* FormView = nullptr;

namespace {

// The rest of the player as the script sees it: the loop clock, the project's content test,
// the trace library, warnings in a box, and the close request to this window.
class TFormHost : public TScriptHost {
public:
    explicit TFormHost(TFormView& Form) : form_(Form) {}
    uint32_t LoopTime() override { return form_.Clock.LoopTime; }
    uint32_t FrameTime() override { return form_.Clock.FrameTime; }
    bool FileExists(const std::string& Name) override {
        return Project ? Project->FileExists(Name) : TScriptHost::FileExists(Name);
    }
    bool TraceEnabled() override { return VelaLogEnabled(); }
    void LogWrite(const std::string& Text) override { VelaLogWrite(Text); }
    void ShowWarning(const std::string& Text) override {
        ReportMessage(form_.Display, "警告", Text, platform::MessageIcon::Warning);
    }
    void RequestClose() override { form_.PostClose(); }
    bool EndRequested() override { return form_.CloseWhileBusy(); }
    void ClearHistoryFormats() override {
        if (TextHistoryFormats) TextHistoryFormats->Clear();
    }
    void EndWithError(const std::string& Text) override { form_.EndWithError(Text); }

private:
    TFormView& form_;
};

// The largest whole scale up to Asked (at least 1) at which a scene of Width x Height below a
// toolbar of Band rows fits Area.
int32_t FittingScale(int32_t Asked, int32_t Width, int32_t Height, int32_t Band, const platform::PixelRect& Area) {
    int32_t scale = Asked;
    while (scale > 1 && (int64_t{Width} * scale > Area.right - Area.left ||
                         int64_t{Height} * scale + Band > Area.bottom - Area.top))
        --scale;
    return scale;
}

}  // namespace

TFormView::TFormView(platform::Display& ADisplay, std::string ProgramFile, std::vector<std::string> Args)
    : TMainFormBase(ADisplay), Display(ADisplay), programFile_(std::move(ProgramFile)), args_(std::move(Args)) {
    FormView = this;
    steps_.OnPresent = [this] { Present(); };
    Window.WindowProc = [this](const platform::InputEvent& Event) { HandleEvent(Event); };
    SoundDevice.OnInitialize = [this](TCustomSoundDevice&) { SoundDeviceInitialize(); };
    SoundDevice.OnRestore = [this](TCustomSoundDevice&) { SoundDeviceRestore(); };
}

TFormView::~TFormView() {
    FormClose();
    if (FormView == this) FormView = nullptr;
}

void TFormView::Trace(const char* Label) const {
    if (OnTrace) OnTrace(Label);
}

// ---- Start-up ----

void TFormView::FormCreate() {
    Trace("FormCreate");
    const std::string folder = ExtractFilePath(programFile_);
    platform::fs::DeleteFile(folder + "velaplay.log");
    RandSeed = platform::ClockMs();
    VrFileManager->OnChange = ExtractPixelFonts;
    std::vector<std::string> settingsWarnings;
    GameSettings = ReadGameIni(GameIniFile(folder), settingsWarnings);
    padMap_ = ReadPadMap(PadMapFile(folder), settingsWarnings);
    for (const std::string& warning : settingsWarnings) platform::PrintMessage("velaplay", warning);
    if (GameSettings.DefaultOnly) FontPixelManager->KeepStandardFonts();
    VrFileManager->AskOkCancel = [this](const std::string& Text) {
        return Display.messageBox(Project ? Project->Title : std::string(), Text, platform::MessageButtons::OkCancel,
                                  platform::MessageIcon::Question) == platform::MessageResult::Ok;
    };
    VrFileManager->Add("");
    Strip = std::make_unique<TViewToolbar>([this] { QuitClick(); }, [this] { ScreenSwitchClick(); });
    AttachArchives(*VrFileManager, args_, programFile_);

    Trace("TBasePanel.Create");
    CreateScriptServices();
    SetScriptHost(std::make_unique<TFormHost>(*this));
    CreateParamMan();
    CreateDBManager();
    CreateSysFuncMan();
    CreateCommandFactory();
    created_ = true;

    bool started = true;
    try {
        const TBudgetRefusal refusing;
        InitSystem();
    } catch (const std::exception& E) {
        ReportError(Display, ErrorText(E));
        started = false;
    }
    // A title that could not be opened leaves the terminating flag set (its reasons were shown
    // where there are any).
    if (!started || Terminating()) {
        failed_ = true;
        PostClose();
    }
}

void TFormView::InitSystem() {
    SoundOut = platform::OpenSoundDevice();
    Trace("SoundDevice.Initialize");
    if (GameSettings.DirectSound) {
        try {
            SoundDevice.Initialize();
        } catch (const std::exception&) {
            // Without a sound device the player goes on: the sound items then have none.
        }
    }

    Trace("VelaInitialize");
    VelaInitialize();
    Bases->SetCursorHost(std::make_unique<TDisplayCursorHost>(Display));
    SetScriptObjects(std::make_unique<TSceneObjects>());

    Trace("TProject.Create");
    TProjectStart start;
    start.ProgramFile = programFile_;
    start.Args = args_;
    start.Sections = std::make_unique<TSceneSaveSections>();
    CreateProject(std::move(start));
    state_ = std::make_unique<TFormPlayerState>(Clock, now_, Project->Runner.get());
    state_->Hooks.SetMouseX = [this](int32_t X) { SetMouseX(X); };
    state_->Hooks.SetMouseY = [this](int32_t Y) { SetMouseY(Y); };
    state_->Hooks.SetFullScreen = [this](bool Full) { SetFullScreen(Full); };
    state_->Hooks.ChangeDisplayMode = [this] { ChangeDisplayMode(); };
    ParamMan->SetState(state_.get());

    Trace("MediaInit");
    MediaInit(&Display, &BasePanel, Project->Width, Project->Height, Project->FullWidth, Project->FullHeight,
              {GameSettings.DirectSound, GameSettings.DelayTime, &SoundDevice}, Project->RegistryName);
    // The MIDI sequencer is the window's: usable until the window closes; no song starts once
    // the program is ending.
    MidiMan->OwnerAlive = [this] { return !closed_; };
    MidiMan->Terminating = [] { return ::Terminating(); };
    Trace("VelaInitColor");
    VelaInitColor();

    Display.setCaption(Project->Title);
    Strip->Dock->SetVisible(Project->ToolbarVisible != 0);
    Bases->SetWidth(Project->Width);
    Bases->SetHeight(Project->Height);
    // Centred in the work area, at a scale that fits it.
    const platform::PixelRect area = Display.workArea();
    const int32_t scale = FittingScale(WindowScale, Bases->GetWidth(), Bases->GetHeight(), DockShownHeight(), area);
    if (scale < WindowScale)
        platform::PrintMessage("velaplay", Format("a window at scale %d does not fit the desktop (%d x %d): it opens at scale %d",
                                                  WindowScale, area.right - area.left, area.bottom - area.top, scale));
    const int32_t shownWidth = Bases->GetWidth() * scale;
    const int32_t shownHeight = Bases->GetHeight() * scale + DockShownHeight();
    windowLeft_ = area.left + (area.right - area.left - shownWidth) / 2;
    windowTop_ = area.top + (area.bottom - area.top - shownHeight) / 2;
    SetWindowClient(shownWidth, shownHeight);
    PlacePanel();
    Bases->PauseInactive = Project->PauseInBackground != 0;
    Display.show();
    PaintDock();

    // Posted messages (sockets) wake the message loop; the quit of an earlier run is forgotten.
    platform::MainQueue().ResetQuit();
    platform::MainQueue().OnPosted = [this] { Display.wake(); };
    if (UseLoopThread) {
        LoopThread = std::make_unique<TLoopThread>(Clock, [this] { DoLoop(); });
        LoopThread->HandOff().OnPosted = [this] { Display.wake(); };
        LoopThread->Start();
    }
}

void TFormView::SoundDeviceInitialize() {
    TWaveFormatEx format;
    MakePCMWaveFormat(format, 44100, 16, 2);
    SoundDevice.GetPrimary()->SetFormat(format);
}

void TFormView::SoundDeviceRestore() {
    if (WmpMan) WmpMan->Restore();
    if (OggMan) OggMan->Restore();
}

// ---- Shut-down ----

void TFormView::FormClose() {
    if (closed_) return;
    closed_ = true;
    SetTerminating(true);
    platform::MainQueue().PostQuit();
    if (created_) FinalizeSystem();
}

void TFormView::FinalizeSystem() {
    LoopThread.reset();
    Trace("Project.Free");
    FreeProject();
    if (ParamMan) ParamMan->SetState(nullptr);
    state_.reset();
    FreeCommandFactory();
    Trace("SysFuncMan.Free");
    FreeSysFuncMan();
    FreeDBManager();
    Trace("ParamMan.Free");
    FreeParamMan();
    Trace("VelaFinalize");
    SetScriptObjects(nullptr);
    SetTextFieldWindow(nullptr, {0, 0});
    VelaFinalize([this](const char* Label) { Trace(Label); });
    Trace("MediaFinal");
    MediaFinal();
    SoundDevice.Finalize();
    SoundOut.reset();
    FreeScriptServices();
    if (VrFileManager) VrFileManager->AskOkCancel = nullptr;
    platform::MainQueue().OnPosted = nullptr;
}

// ---- The message loop ----

void TFormView::EndWithError(const std::string& Text) {
    // The close is posted first: the player ends even when the report cannot be made.
    failed_ = true;
    SetTerminating(true);
    PostClose();
    ReportError(Display, Text);
}

void TFormView::PostClose() {
    closePosted_ = true;
    Display.wake();
}

bool TFormView::CloseWhileBusy() {
    const uint32_t now = platform::ClockMs();
    if (now - lastClosePoll_ < ClosePollPeriod) return false;
    lastClosePoll_ = now;
    if (!Display.takeClose()) return false;
    platform::InputEvent close;
    close.kind = platform::InputKind::Close;
    Window.Perform(close);
    return closePosted_;
}

void TFormView::Run() {
    platform::InputEvent event;
    uint32_t rateStart = platform::ClockMs();
    while (!closePosted_) {
        if (LoopThread) LoopThread->HandOff().RunPending();
        platform::MainQueue().ProcessMessages();
        if (closePosted_) break;
        PaintDockChanges();
        if (Display.waitEvent(event, TLoopThread::TickLength)) Window.Perform(event);
        MeasureFrameRate(rateStart);
    }
    FormClose();
}

void TFormView::MeasureFrameRate(uint32_t& Start) {
    const uint32_t now = platform::ClockMs(), elapsed = now - Start;
    if (elapsed < FrameRatePeriod) return;
    if (ScreenMan) {
        ScreenMan->FrameRate = ScreenMan->FrameCount * 1000.0 / elapsed;
        ScreenMan->FrameCount = 0;
    }
    Start = now;
}

// ---- The tick ----

void TFormView::DoLoop() {
    // An error no part of the tick handled is shown, and the next tick goes on, as an error in
    // any other window event would be. One that comes back at every tick is shown once.
    if (SoundOut) SoundOut->advance(Clock.FrameTime);
    PadTick(Clock.FrameTime);
    try {
        const TBudgetRefusal refusing;
        ::DoLoop(steps_, Clock, HoldDraw);
    } catch (const std::exception& E) {
        if (!MemoryRefused() && shownErrors_.insert(ErrorText(E)).second)
            ReportMessage(Display, Project ? Project->Title : std::string(), ErrorText(E), platform::MessageIcon::Error);
    }
    // A refusal of the title's memory ends the player, wherever in the tick it came and whatever
    // caught it (a command's refusal has ended it already, naming the page and line).
    if (MemoryRefused() && !Terminating()) EndWithError(MemoryBudgetMessage);
}

void TFormView::Present() {
    if (ScreenMan) ScreenMan->Present();
    if (VideoMan) VideoMan->ResetNeedPaint();
}
