#include "companion/sounditem.h"

#include <algorithm>

std::unique_ptr<TSoundItem> TSoundItem::Create(std::unique_ptr<TDecoder> Decoder, const VelaSoundDevice* Device) {
    if (!Decoder || !Device) return nullptr;
    std::unique_ptr<TSoundItem> item(new TSoundItem(std::move(Decoder), Device));
    if (!item->Restart(0)) return nullptr;
    return item;
}

TSoundItem::TSoundItem(std::unique_ptr<TDecoder> Decoder, const VelaSoundDevice* Device)
    : FDevice(Device), FDecoder(std::move(Decoder)) {}

TSoundItem::~TSoundItem() {
    if (FVoice) FDevice->destroyVoice(FVoice);
}

bool TSoundItem::Restart(int64_t Frame) {
    // The old voice goes first: once it is gone, no pull of it runs.
    if (FVoice) FDevice->destroyVoice(FVoice);
    FVoice = nullptr;
    {
        std::lock_guard lock(FMutex);
        FDecoder->Seek(Frame);
        FMarks = {{0, FDecoder->Position()}};
        FPulled = 0;
    }
    const TPcmShape& shape = FDecoder->Shape();
    FVoice = FDevice->createVoice(FDevice, shape.rate, shape.bits, shape.channels, Pull, this);
    if (!FVoice) return false;
    FDevice->setVolume(FVoice, FVolume);
    FDevice->setPan(FVoice, FPan);
    if (FPlaying && !FPaused) FDevice->play(FVoice);
    return true;
}

int32_t TSoundItem::Pull(void* Owner, void* Buffer, int32_t Capacity, int32_t* End) {
    auto& self = *static_cast<TSoundItem*>(Owner);
    std::lock_guard lock(self.FMutex);
    TDecoder& decoder = *self.FDecoder;
    const int32_t frame = decoder.Shape().frameBytes();
    auto* out = static_cast<uint8_t*>(Buffer);
    int64_t done = 0;
    const int64_t wanted = Capacity / frame;
    bool looped = false;
    // Nothing unwinds into the device's thread: a sound the host refuses memory ends there.
    try {
        while (done < wanted) {
            const int64_t got = decoder.Read(out + done * frame, wanted - done);
            done += got;
            if (got > 0) looped = false;
            if (done >= wanted) break;
            // The end: loop back, unless the loop holds nothing to play.
            if (!self.FRepeat || looped) {
                *End = -1;
                break;
            }
            decoder.Seek(self.FRepeatFrame);
            self.FMarks.push_back({self.FPulled + done, decoder.Position()});
            looped = true;
        }
    } catch (...) {
        *End = -1;
    }
    self.FPulled += done;
    return int32_t(done * frame);
}

void TSoundItem::Play() {
    if (FDevice->ended(FVoice)) {
        FPlaying = true;
        FPaused = false;
        Restart(0);
        return;
    }
    FPlaying = true;
    FPaused = false;
    FDevice->play(FVoice);
}

void TSoundItem::Pause() {
    FPaused = true;
    FDevice->stop(FVoice);
}

bool TSoundItem::IsPlaying() const { return FPlaying && !FPaused && !IsEnd(); }

bool TSoundItem::IsEnd() const { return FVoice && FDevice->ended(FVoice); }

int32_t TSoundItem::GetLen() const { return int32_t(FDecoder->MsOf(FDecoder->Length())); }

int32_t TSoundItem::GetPosition() {
    const int64_t played = FVoice ? FDevice->played(FVoice) : 0;
    std::lock_guard lock(FMutex);
    // The marks the voice has played past are forgotten.
    auto mark = std::upper_bound(FMarks.begin(), FMarks.end(), played,
                                 [](int64_t frame, const TMark& m) { return frame < m.first; });
    if (mark != FMarks.begin()) FMarks.erase(FMarks.begin(), mark - 1);
    const TMark& now = FMarks.front();
    return int32_t(FDecoder->MsOf(std::min(now.source + played - now.first, FDecoder->Length())));
}

void TSoundItem::SetPosition(int32_t Ms) { Restart(FDecoder->FramesOfMs(std::max(Ms, 0))); }

void TSoundItem::SetVol(int32_t Value) {
    FVolume = std::clamp(Value, -10000, 0);
    FDevice->setVolume(FVoice, FVolume);
}

void TSoundItem::SetPan(int32_t Value) {
    FPan = std::clamp(Value, -10000, 10000);
    FDevice->setPan(FVoice, FPan);
}

bool TSoundItem::GetAutoRepeat() const {
    std::lock_guard lock(FMutex);
    return FRepeat;
}

void TSoundItem::SetAutoRepeat(bool Value) {
    std::lock_guard lock(FMutex);
    FRepeat = Value;
}

int32_t TSoundItem::GetRepeatPos() const {
    std::lock_guard lock(FMutex);
    return FRepeatMs;
}

void TSoundItem::SetRepeatPos(int32_t Ms) {
    std::lock_guard lock(FMutex);
    FRepeatMs = std::max(Ms, 0);
    FRepeatFrame = std::min(FDecoder->FramesOfMs(FRepeatMs), FDecoder->Length());
}
