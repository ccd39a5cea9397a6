#include "media/velabind.h"

#include "core/header.h"
#include "core/streams.h"
#include "platform/dynlib.h"
#include "platform/fs.h"

#include <atomic>
#include <memory>
#include <mutex>

const char* const VelaLibraryName = "libvela.so";
TVelaEntries VelaLib;

namespace {

const char* const VelaLogLibraryName = "libvelalog.so";

std::unique_ptr<platform::DynamicLibrary> VelaLibrary;
std::unique_ptr<platform::DynamicLibrary> VelaLogLibrary;

struct TVelaLogEntries {
    VelaLogInitProc Init = nullptr;
    VelaLogWriteProc Write = nullptr;
    VelaLogFinalProc Final = nullptr;
};
TVelaLogEntries VelaLog;

// The library's threads call the stream callbacks at any time; one at a time gets through.
std::mutex StreamLock;

std::atomic<uint16_t> FPUControlWord{0};

template <class T>
T Entry(const platform::DynamicLibrary& Library, const char* Name) {
    return reinterpret_cast<T>(Library.symbol(Name));
}

// Runs Action on the stream under the lock. A null stream, or an error of the stream (which
// must not unwind into the library), answers 0.
template <class F>
auto WithStream(void* Stream, F Action) -> decltype(Action(std::declval<TStream&>())) {
    std::lock_guard<std::mutex> lock(StreamLock);
    if (!Stream) return 0;
    try {
        return Action(*static_cast<TStream*>(Stream));
    } catch (...) {
        return 0;
    }
}

// The entries "vela" + Family + each operation.
TVelaItemFamily BindFamily(const platform::DynamicLibrary& Library, const std::string& Family) {
    const auto proc = [&](const char* Operation) { return Entry<velaItemProc>(Library, ("vela" + Family + Operation).c_str()); };
    const auto get = [&](const char* Operation) { return Entry<velaItemGetProc>(Library, ("vela" + Family + Operation).c_str()); };
    const auto set = [&](const char* Operation) { return Entry<velaItemSetProc>(Library, ("vela" + Family + Operation).c_str()); };
    return {proc("Play"),        proc("Pause"),  get("IsPlaying"),     get("IsPaused"),    get("IsEnd"),
            get("GetLen"),       get("GetPosition"), get("GetVol"),    get("GetPan"),      get("GetAutoRepeat"),
            set("SetPosition"),  set("SetVol"),  set("SetPan"),        set("SetAutoRepeat")};
}

void BindVelaLog(const std::string& Folder) {
    VelaLogLibrary = platform::DynamicLibrary::open(Folder + VelaLogLibraryName);
    if (!VelaLogLibrary) return;
    VelaLog = {Entry<VelaLogInitProc>(*VelaLogLibrary, "VelaLogInit"),
               Entry<VelaLogWriteProc>(*VelaLogLibrary, "VelaLogWrite"),
               Entry<VelaLogFinalProc>(*VelaLogLibrary, "VelaLogFinal")};
    const std::string logFile = Folder + "dbglog.txt";
    if (VelaLog.Init) VelaLog.Init(platform::fs::ToHostPath(logFile).value_or(logFile).c_str());
}

}  // namespace

std::string CompanionFolder(const std::string& ProgramFolder) {
    if (ProgramFolder.empty() || platform::fs::FileExists(ProgramFolder + VelaLibraryName)) return ProgramFolder;
    // PREFIX\bin\ gives PREFIX\lib\velaplay\.
    const std::string installed =
        ExtractFilePath(std::string_view(ProgramFolder).substr(0, ProgramFolder.size() - 1)) + "lib\\velaplay\\";
    return platform::fs::FileExists(installed + VelaLibraryName) ? installed : ProgramFolder;
}

void BindVelaLibrary(const std::string& Folder) {
    UnbindVelaLibrary();
    std::unique_ptr<platform::DynamicLibrary> library = platform::DynamicLibrary::open(Folder + VelaLibraryName);
    if (!library) throw EVelaBindError(std::string(VelaLibraryName) + "\r\nファイルがありません");
    const auto version = Entry<velaVersionProc>(*library, "velaVersion");
    if (!version || version() != VELA_LIBRARY_VERSION)
        throw EVelaBindError(std::string(VelaLibraryName) + "のバージョンがあいません");
    const platform::DynamicLibrary& l = *library;
    VelaLib = {version,
               Entry<velaInitProc>(l, "velaInit"),
               Entry<velaFinalProc>(l, "velaFinal"),
               Entry<velaOggmanSetUseThreadProc>(l, "velaOggmanSetUseThread"),
               Entry<velaProcessEventProc>(l, "velaWmpmanProcessEvent"),
               Entry<velaProcessEventProc>(l, "velaVidmanProcessEvent"),
               Entry<velaManagerProc>(l, "velaVidmanSuspend"),
               Entry<velaManagerProc>(l, "velaVidmanResume"),
               Entry<velaManagerProc>(l, "velaWmpmanRestore"),
               Entry<velaManagerProc>(l, "velaOggmanRestore"),
               Entry<velaAddMemoryProc>(l, "velaWmpmanAdd"),
               Entry<velaItemProc>(l, "velaWmpmanDel"),
               BindFamily(l, "Wmp"),
               Entry<velaAddStreamProc>(l, "velaOggmanAdd"),
               Entry<velaItemProc>(l, "velaOggmanDel"),
               BindFamily(l, "Ogg"),
               Entry<velaItemGetProc>(l, "velaOggGetRepeatPos"),
               Entry<velaItemSetProc>(l, "velaOggSetRepeatPos"),
               Entry<velaAddStreamProc>(l, "velaOggStrmanAdd"),
               Entry<velaItemProc>(l, "velaOggStrmanDel"),
               Entry<velaOggStrGetFormatProc>(l, "velaOggStrGetFormat"),
               Entry<velaOggStrGetBytesProc>(l, "velaOggStrGetSize"),
               Entry<velaOggStrGetBytesProc>(l, "velaOggStrGetPos"),
               Entry<velaItemGetProc>(l, "velaOggStrGetLen"),
               Entry<velaOggStrReadProc>(l, "velaOggStrRead"),
               Entry<velaOggStrSetPosProc>(l, "velaOggStrSetPos"),
               Entry<velaAddVideoProc>(l, "velaVidmanAdd"),
               Entry<velaVidmanGetFailureProc>(l, "velaVidmanGetFailure"),
               Entry<velaItemProc>(l, "velaVidmanDel"),
               BindFamily(l, "Video"),
               Entry<velaItemGetProc>(l, "velaVideoGetSourceWidth"),
               Entry<velaItemGetProc>(l, "velaVideoGetSourceHeight"),
               Entry<velaItemGetProc>(l, "velaVideoGetVisible"),
               Entry<velaItemSetProc>(l, "velaVideoSetVisible"),
               Entry<velaVideoSetRectProc>(l, "velaVideoSetRect"),
               Entry<velaVideoGetDCProc>(l, "velaVideoGetDC"),
               Entry<velaItemGetProc>(l, "velaVideoNeedPaint"),
               Entry<velaVideoSetFrameCallbackProc>(l, "velaVideoSetFrameCallback"),
               Entry<velaItemGetProc>(l, "velaVideoGetFailure")};
    VelaLibrary = std::move(library);
    BindVelaLog(Folder);
}

void UnbindVelaLibrary() {
    VelaLib = {};
    VelaLibrary.reset();
    if (VelaLog.Final) VelaLog.Final();
    VelaLog = {};
    VelaLogLibrary.reset();
}

bool VelaLibraryBound() { return VelaLibrary != nullptr; }

bool VelaLogEnabled() { return VelaLog.Write != nullptr; }

void VelaLogWrite(const std::string& Text) {
    if (VelaLog.Write) VelaLog.Write(Text.c_str());
}

// ---- Stream callbacks ----

int64_t VelaStreamGetSize(void* Stream) {
    return WithStream(Stream, [](TStream& S) { return S.Size(); });
}

int32_t VelaStreamRead(void* Stream, void* Buffer, int32_t Count) {
    return WithStream(Stream, [&](TStream& S) { return Count < 1 ? 0 : int32_t(S.Read(Buffer, Count)); });
}

int64_t VelaStreamGetPos(void* Stream) {
    return WithStream(Stream, [](TStream& S) { return S.Position(); });
}

int64_t VelaStreamSetPos(void* Stream, int64_t Position) {
    return WithStream(Stream, [&](TStream& S) { return S.Seek(Position, soBeginning); });
}

// ---- The x87 control word ----

uint16_t SaveFPUControlWord() {
    uint16_t word;
    asm volatile("fnstcw %0" : "=m"(word));
    FPUControlWord = word;
    return word;
}

void RestoreFPUControlWord() {
    const uint16_t word = FPUControlWord;
    asm volatile("fldcw %0" : : "m"(word));
}
