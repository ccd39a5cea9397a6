#pragma once
// The binding of the companion media library, libvela.so, which ships beside the program and
// is loaded when the program starts: its version is checked, its entries are looked up by
// name, and its threads read the player's streams back through four callbacks that run under
// one lock. The optional trace library libvelalog.so, when present, receives the script trace.
#include "companion/vela_api.h"
#include "platform/errors.h"

#include <string>

class EVelaBindError : public EVelaError {
public:
    using EVelaError::EVelaError;
};

// The library's file name, as messages name it.
extern const char* const VelaLibraryName;

// The operations every playing item of a family of the library has (velaWmp..., velaOgg...).
struct TVelaItemFamily {
    velaItemProc Play = nullptr;
    velaItemProc Pause = nullptr;
    velaItemGetProc IsPlaying = nullptr;
    velaItemGetProc IsPaused = nullptr;
    velaItemGetProc IsEnd = nullptr;
    velaItemGetProc GetLen = nullptr;
    velaItemGetProc GetPosition = nullptr;
    velaItemGetProc GetVol = nullptr;
    velaItemGetProc GetPan = nullptr;
    velaItemGetProc GetAutoRepeat = nullptr;
    velaItemSetProc SetPosition = nullptr;
    velaItemSetProc SetVol = nullptr;
    velaItemSetProc SetPan = nullptr;
    velaItemSetProc SetAutoRepeat = nullptr;
};

// The bound entries; nullptr while not bound or where the library lacks one.
struct TVelaEntries {
    velaVersionProc Version = nullptr;
    velaInitProc Init = nullptr;
    velaFinalProc Final = nullptr;
    velaOggmanSetUseThreadProc OggmanSetUseThread = nullptr;
    velaProcessEventProc WmpmanProcessEvent = nullptr;
    velaProcessEventProc VidmanProcessEvent = nullptr;
    velaManagerProc VidmanSuspend = nullptr;
    velaManagerProc VidmanResume = nullptr;
    velaManagerProc WmpmanRestore = nullptr;
    velaManagerProc OggmanRestore = nullptr;
    // Windows Media sounds.
    velaAddMemoryProc WmpmanAdd = nullptr;
    velaItemProc WmpmanDel = nullptr;
    TVelaItemFamily Wmp;
    // Ogg and WAV sounds played by the library.
    velaAddStreamProc OggmanAdd = nullptr;
    velaItemProc OggmanDel = nullptr;
    TVelaItemFamily Ogg;
    velaItemGetProc OggGetRepeatPos = nullptr;
    velaItemSetProc OggSetRepeatPos = nullptr;
    // Ogg and WAV decoded for the player's own mixer.
    velaAddStreamProc OggStrmanAdd = nullptr;
    velaItemProc OggStrmanDel = nullptr;
    velaOggStrGetFormatProc OggStrGetFormat = nullptr;
    velaOggStrGetBytesProc OggStrGetSize = nullptr;
    velaOggStrGetBytesProc OggStrGetPos = nullptr;
    velaItemGetProc OggStrGetLen = nullptr;
    velaOggStrReadProc OggStrRead = nullptr;
    velaOggStrSetPosProc OggStrSetPos = nullptr;
    // Videos.
    velaAddVideoProc VidmanAdd = nullptr;
    velaVidmanGetFailureProc VidmanGetFailure = nullptr;
    velaItemProc VidmanDel = nullptr;
    TVelaItemFamily Video;
    velaItemGetProc VideoGetSourceWidth = nullptr;
    velaItemGetProc VideoGetSourceHeight = nullptr;
    velaItemGetProc VideoGetVisible = nullptr;
    velaItemSetProc VideoSetVisible = nullptr;
    velaVideoSetRectProc VideoSetRect = nullptr;
    velaVideoGetDCProc VideoGetDC = nullptr;
    velaItemGetProc VideoNeedPaint = nullptr;
    velaVideoSetFrameCallbackProc VideoSetFrameCallback = nullptr;
    velaItemGetProc VideoGetFailure = nullptr;
};
extern TVelaEntries VelaLib;

// The folder of the library for a program in ProgramFolder (ending in "\"): ProgramFolder when
// the library lies there (the build tree), else ..\lib\velaplay\ from it when the library lies
// there (the installed layout), else ProgramFolder, whose missing library the binding names.
std::string CompanionFolder(const std::string& ProgramFolder);

// Loads the library from Folder (a program path ending in "\") and binds it. Raises
// EVelaBindError with the text of the message box the program shows before it ends: the
// library's name, CR LF, "ファイルがありません" when it cannot be loaded; the library's name followed
// by "のバージョンがあいません" when velaVersion is missing or does not answer 109. Then looks for the
// trace library in the same folder and starts it with Folder + "dbglog.txt".
void BindVelaLibrary(const std::string& Folder);
// Ends the trace library and unloads both. Safe without a binding.
void UnbindVelaLibrary();
bool VelaLibraryBound();

// The script trace: whether the trace library is loaded, and one line for it.
bool VelaLogEnabled();
void VelaLogWrite(const std::string& Text);

// The stream callbacks handed to velaInit (the stream is a TStream*).
int64_t VelaStreamGetSize(void* Stream);
int32_t VelaStreamRead(void* Stream, void* Buffer, int32_t Count);
int64_t VelaStreamGetPos(void* Stream);
int64_t VelaStreamSetPos(void* Stream, int64_t Position);
// The x87 control word, kept in one cell.
uint16_t SaveFPUControlWord();
void RestoreFPUControlWord();
