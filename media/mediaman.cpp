#include "media/mediaman.h"

#include "core/bigstreams.h"
#include "core/sysutils.h"
#include "core/vrfiles_manager.h"
#include "media/screenman.h"
#include "media/velabind.h"
#include "media/wavouts.h"
#include "platform/display.h"

#include <algorithm>
#include <climits>
#include <cmath>

TVideoManager* VideoMan = nullptr;
TWmpManager* WmpMan = nullptr;
TOggManager* OggMan = nullptr;
TCddaManager* CddaMan = nullptr;
TMidiManager* MidiMan = nullptr;

// ---- The item list ----

TDMediaItem* TMediaManager::GetItem(int32_t Index) const {
    if (Index < 0 || Index >= Count()) return nullptr;
    CloseHoles();
    return Items[size_t(Index)].get();
}

TDMediaItem* TMediaManager::Append(std::unique_ptr<TDMediaItem> Item) {
    if (Items.Sparse()) CloseHoles();
    TDMediaItem* item = Item.get();
    item->Place = Items.Push(std::move(Item));
    return item;
}

// An item of someone else does not hold its place here. The list is whole again before the item
// is freed.
void TMediaManager::Remove(TDMediaItem* Item) {
    if (!Item || Item->Place >= Items.End() || Items[Item->Place].get() != Item) return;
    const std::unique_ptr<TDMediaItem> gone = Items.Take(Item->Place);
}

void TMediaManager::CloseHoles() const {
    if (!Items.Closed()) Items.Close([](std::unique_ptr<TDMediaItem>& Item, size_t, size_t To) { Item->Place = To; });
}

void TMediaManager::Clear() {
    for (auto& item : Items) item.reset();
    Items.Clear();
}

void TMediaManager::ReportOpenFailure(const std::string& FileName, const std::string& Reason) {
    if (!ReportedFailures.insert(AnsiLowerCase(FileName)).second) return;
    platform::PrintMessage("velaplay", FileName + " cannot be opened (" + Reason + "); it plays nothing");
}

void TMediaManager::SuspendItems() {
    Suspended = true;
    for (auto& item : Items) {
        if (!item) continue;
        // An item that ended is not started again (IsEnd is asked only of one that plays).
        item->ResumeMark = item->IsPlaying() && !item->IsPaused() && !item->IsEnd();
        if (item->ResumeMark) item->Pause();
    }
}

void TMediaManager::ResumeItems() {
    Suspended = false;
    for (auto& item : Items)
        if (item && item->ResumeMark) {
            item->Play();
            item->ResumeMark = false;
        }
}

// ---- Sound managers ----

TDMediaItem* TSoundManager::Add(const std::string&) { return AddItem(std::make_unique<TDMediaItem>(this)); }

void TSoundManager::Suspend() {
    if (Enabled && !Suspended) SuspendItems();
}

void TSoundManager::Resume() {
    if (Enabled && Suspended) ResumeItems();
}

void TSoundManager::SetEnabled(bool Value) {
    if (Value == Enabled) return;
    if (!Value) {
        Suspend();
        Enabled = false;
    } else {
        Enabled = true;
        Resume();
    }
}

TDMediaItem* TWmpManager::Add(const std::string& FileName) { return AddItem(std::make_unique<TWmpItem>(this, FileName)); }

void TWmpManager::Restore() {
    if (VelaLib.WmpmanRestore) VelaLib.WmpmanRestore();
}

TOggManager::TOggManager(bool ADirectSound, int32_t DelayTime)
    : DirectSound(ADirectSound), FWavOut(std::make_unique<TWavOut>(DelayTime)) {}

TOggManager::~TOggManager() { Clear(); }

TDMediaItem* TOggManager::Add(const std::string& FileName) {
    if (DirectSound) return AddItem(std::make_unique<TOggItem>(this, FileName));
    FWavOut->Open(true);
    return AddItem(std::make_unique<TOggWaveItem>(this, FileName));
}

void TOggManager::Restore() {
    if (VelaLib.OggmanRestore) VelaLib.OggmanRestore();
}

// ---- Sounds the library plays ----

namespace {

const char NoSoundReason[] = "no sound the companion library can decode";

bool ManagerEnabled(TMediaManager* Manager) { return static_cast<TSoundManager*>(Manager)->Enabled; }

bool IsOggName(const std::string& FileName) { return AnsiLowerCase(ExtractFileExt(FileName)) == ".ogg"; }

std::unique_ptr<TStream> OpenSoundSource(const std::string& FileName) {
    if (FileName.starts_with("\\") || (FileName.size() > 1 && FileName[1] == ':'))
        return std::make_unique<TFileRangeStream>(FileName, 0, 0);
    return VrFileManager->OpenRangeStream(FileName);
}

}  // namespace

template <class TBase>
bool TVelaPlayedItem<TBase>::GetAutoRepeat() {
    return FFamily.GetAutoRepeat(FHandle) != 0;
}

template <class TBase>
void TVelaPlayedItem<TBase>::SetAutoRepeat(bool Value) {
    FFamily.SetAutoRepeat(FHandle, Value ? -1 : 0);
}

template <class TBase>
int32_t TVelaPlayedItem<TBase>::GetPan() {
    return FFamily.GetPan(FHandle);
}

template <class TBase>
int32_t TVelaPlayedItem<TBase>::GetVol() {
    return FFamily.GetVol(FHandle);
}

template <class TBase>
void TVelaPlayedItem<TBase>::SetPan(int32_t Value) {
    FFamily.SetPan(FHandle, Value);
}

template <class TBase>
void TVelaPlayedItem<TBase>::SetVol(int32_t Value) {
    FFamily.SetVol(FHandle, Value);
}

template <class TBase>
int32_t TVelaPlayedItem<TBase>::GetPosition() {
    return FFamily.GetPosition(FHandle);
}

template <class TBase>
void TVelaPlayedItem<TBase>::SetPosition(int32_t Value) {
    FFamily.SetPosition(FHandle, std::max(Value, 0));
    FEndReported = false;
}

template <class TBase>
int32_t TVelaPlayedItem<TBase>::GetLen() {
    return FFamily.GetLen(FHandle);
}

template <class TBase>
bool TVelaPlayedItem<TBase>::IsEnd() {
    if (FEndReported || !FFamily.IsEnd(FHandle)) return false;
    FEndReported = true;
    return true;
}

template <class TBase>
bool TVelaPlayedItem<TBase>::IsPlaying() {
    return FFamily.IsPlaying(FHandle) != 0;
}

template <class TBase>
bool TVelaPlayedItem<TBase>::IsPaused() {
    return FFamily.IsPaused(FHandle) != 0;
}

template <class TBase>
void TVelaPlayedItem<TBase>::Play() {
    if (!ManagerEnabled(this->Manager))
        this->ResumeMark = true;
    else
        FFamily.Play(FHandle);
}

template <class TBase>
void TVelaPlayedItem<TBase>::Pause() {
    FFamily.Pause(FHandle);
}

template class TVelaPlayedItem<TDMediaItem>;
template class TVelaPlayedItem<TCustomOggItem>;

TWmpItem::TWmpItem(TWmpManager* Manager, const std::string& FileName) : TVelaPlayedItem(Manager, VelaLib.Wmp) {
    HandSoundDeviceToLibrary();
    TMemoryStream data;
    VrFileManager->ReadFile(data, FileName);
    // More than the library's byte count can say is no sound it could decode.
    if (data.Size() <= INT32_MAX) FHandle = VelaLib.WmpmanAdd(data.Memory(), int32_t(data.Size()));
    if (!FHandle) Manager->ReportOpenFailure(FileName, NoSoundReason);
}

TWmpItem::~TWmpItem() { VelaLib.WmpmanDel(FHandle); }

TOggItem::TOggItem(TOggManager* Manager, const std::string& FileName)
    : TVelaPlayedItem(Manager, VelaLib.Ogg), FSource(OpenSoundSource(FileName)) {
    HandSoundDeviceToLibrary();
    FHandle = VelaLib.OggmanAdd(FSource.get(), IsOggName(FileName) ? -1 : 0);
    if (!FHandle) Manager->ReportOpenFailure(FileName, NoSoundReason);
}

TOggItem::~TOggItem() { VelaLib.OggmanDel(FHandle); }

int32_t TOggItem::GetRepeatPos() { return VelaLib.OggGetRepeatPos(FHandle); }

void TOggItem::SetRepeatPos(int32_t Value) { VelaLib.OggSetRepeatPos(FHandle, Value); }

bool TOggItem::IsPlaying() { return TVelaPlayedItem::IsPlaying() && !IsPaused(); }

// ---- Sounds of the mixer ----

TOggStream::TOggStream(TStream& Source, bool IsOgg) : FHandle(VelaLib.OggStrmanAdd(&Source, IsOgg ? -1 : 0)) {
    if (!VelaLib.OggStrGetFormat(FHandle, &Format)) {
        VelaLib.OggStrmanDel(FHandle);
        throw EVelaError("サウンドデータが不正です");
    }
    Format.cbSize = 0;
}

TOggStream::~TOggStream() { VelaLib.OggStrmanDel(FHandle); }

int64_t TOggStream::Read(void* Buffer, int64_t Count) {
    if (Count < 1) return 0;
    return VelaLib.OggStrRead(FHandle, Buffer, int32_t(std::min<int64_t>(Count, INT32_MAX)));
}

// Asked for the position it is at, the decoder is left alone: a seek starts its decoding afresh.
int64_t TOggStream::Seek(int64_t Offset, TSeekOrigin Origin) {
    const int64_t position = VelaLib.OggStrGetPos(FHandle);
    if (Origin == soCurrent) Offset += position;
    if (Origin == soEnd) Offset += Size();
    Offset = std::clamp<int64_t>(Offset, 0, Size());
    return Offset == position ? position : VelaLib.OggStrSetPos(FHandle, Offset);
}

int64_t TOggStream::Size() { return VelaLib.OggStrGetSize(FHandle); }

int32_t TOggStream::GetLen() { return VelaLib.OggStrGetLen(FHandle); }

TOggWaveItem::TOggWaveItem(TOggManager* Manager, const std::string& FileName)
    : TCustomOggItem(Manager),
      FSource(OpenSoundSource(FileName)),
      FStream(std::make_unique<TOggStream>(*FSource, IsOggName(FileName))),
      FBuffer(Manager->WavOut().AddBuffer(FStream->Format, *FStream)) {}

TOggWaveItem::~TOggWaveItem() {
    static_cast<TOggManager*>(Manager)->WavOut().RemoveBuffer(FBuffer);
    FStream.reset();
    FSource.reset();
}

double TOggWaveItem::BytesPerMs() const {
    const TWaveFormatEx& f = FStream->Format;
    return double(f.wBitsPerSample) * f.nChannels * f.nSamplesPerSec / 8000;
}

int32_t TOggWaveItem::ToMs(int64_t Bytes) const {
    const double rate = BytesPerMs();
    return rate > 0 ? int32_t(std::lround(double(Bytes) / rate)) : 0;
}

bool TOggWaveItem::GetAutoRepeat() { return FBuffer->Repeat; }

void TOggWaveItem::SetAutoRepeat(bool Value) { FBuffer->Repeat = Value; }

int32_t TOggWaveItem::GetRepeatPos() { return ToMs(FBuffer->RepeatPosition); }

void TOggWaveItem::SetRepeatPos(int32_t Value) { FBuffer->RepeatPosition = std::llround(std::max(Value, 0) * BytesPerMs()); }

void TOggWaveItem::SetVol(int32_t Value) {
    FVolume = Value;
    FBuffer->SetGain(int32_t((std::max<int64_t>(Value, -5000) + 5000) * 256 / 5000));
}

int32_t TOggWaveItem::GetPosition() { return ToMs(FBuffer->GetPosition()); }

void TOggWaveItem::SetPosition(int32_t Value) { FBuffer->SetPosition(std::llround(Value * BytesPerMs())); }

bool TOggWaveItem::IsEnd() {
    if (FBuffer->Repeat && FBuffer->IsEnd()) {
        FBuffer->Play();
        return false;
    }
    return FBuffer->IsEnd();
}

bool TOggWaveItem::IsPlaying() { return FBuffer->Started() && !FBuffer->Paused() && !FBuffer->IsEnd(); }

void TOggWaveItem::Play() {
    FBuffer->Play();
    FPaused = false;
}

void TOggWaveItem::Pause() {
    FBuffer->Pause();
    FPaused = true;
}

// ---- Films ----

void TVideoManager::Suspend() {
    if (!Suspended) SuspendItems();
}

void TVideoManager::Resume() {
    if (Suspended) ResumeItems();
}

void TVideoManager::SuspendDll() {
    if (!UseWMP && VelaLib.VidmanSuspend) VelaLib.VidmanSuspend();
}

void TVideoManager::ResumeDll() {
    if (!UseWMP && VelaLib.VidmanResume) VelaLib.VidmanResume();
}

void TVideoManager::ResetNeedPaint() {
    for (int32_t i = 0; i < Count(); ++i) GetItem(i)->ResetNeedPaint();
}

std::vector<TSoundManager*> SoundManagers() {
    std::vector<TSoundManager*> managers;
    for (TSoundManager* manager : std::initializer_list<TSoundManager*>{WmpMan, OggMan, CddaMan, MidiMan})
        if (manager) managers.push_back(manager);
    return managers;
}
