#pragma once
// Stand-ins for the sound managers: each item they make is a sound of the manager's length that
// plays nothing and stays where it is put.
#include "media/mediaman.h"

#include <memory>
#include <string>

// A sound of a given length that, once ended, keeps reporting its end (SetEnd does not clear it,
// as with the software mixer's items); played while its manager is off, it only marks itself.
class TFakeSoundItem : public TDMediaItem {
public:
    TFakeSoundItem(TSoundManager& M, int32_t Len) : TDMediaItem(&M), len(Len) {}
    int32_t GetVol() override { return vol; }
    void SetVol(int32_t V) override { vol = V; }
    int32_t GetLen() override { return len; }
    int32_t GetPosition() override { return pos; }
    void SetPosition(int32_t P) override { pos = P; }
    bool IsEnd() override { return ended; }
    bool IsPlaying() override { return playing; }
    void Play() override {
        if (!static_cast<TSoundManager*>(Manager)->Enabled) ResumeMark = true;
        else playing = true, paused = false;
    }
    void Pause() override { paused = true; }

    int32_t len, vol = 0, pos = 0;
    bool ended = false, playing = false, paused = false;
};

// A manager of the kind TManager whose items are TFakeSoundItem of Length ms.
template <class TManager>
class TFakeSoundManager : public TManager {
public:
    TDMediaItem* Add(const std::string&) override {
        return this->AddItem(std::make_unique<TFakeSoundItem>(*this, Length));
    }
    TFakeSoundItem* Item(int32_t Index) const { return static_cast<TFakeSoundItem*>(this->GetItem(Index)); }
    int32_t Length = 10000;
};
