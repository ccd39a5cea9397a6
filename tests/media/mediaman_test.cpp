#include "media/mediaman.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A sound that plays, pauses and ends as told; played while its manager is off, it only marks
// itself to start with the manager, as the sound kinds do.
class TFakeSound : public TDMediaItem {
public:
    TFakeSound(TSoundManager& M, int* Freed = nullptr) : TDMediaItem(&M), freed(Freed) {}
    ~TFakeSound() override {
        if (freed) ++*freed;
    }
    void Play() override {
        if (!static_cast<TSoundManager*>(Manager)->Enabled) {
            ResumeMark = true;
            return;
        }
        playing = true, paused = false, ++plays;
    }
    void Pause() override { paused = true; }
    bool IsPlaying() override { return playing; }
    bool IsPaused() override { return paused; }
    bool IsEnd() override { return ended; }

    bool playing = false, paused = false, ended = false;
    int plays = 0;
    int* freed;
};

TFakeSound& Add(TSoundManager& M, int* Freed = nullptr) {
    return *static_cast<TFakeSound*>(M.AddItem(std::make_unique<TFakeSound>(M, Freed)));
}

class TFakeVideoItem : public TVideoItem {
public:
    using TVideoItem::TVideoItem;
    void Play() override { playing = true, paused = false; }
    void Pause() override { paused = true; }
    bool IsPlaying() override { return playing; }
    bool IsPaused() override { return paused; }
    void ResetNeedPaint() override { ++resets; }
    bool playing = false, paused = false;
    int resets = 0;
};

}  // namespace

TEST(SoundManager, SuspendTwiceThenResumeOnce) {
    TOggManager m;
    TFakeSound& a = Add(m);
    a.Play();
    m.Suspend();
    EXPECT_TRUE(a.paused);
    m.Suspend();  // changes nothing: a stays marked
    m.Resume();
    EXPECT_FALSE(a.paused);
    EXPECT_EQ(a.plays, 2);
    EXPECT_FALSE(m.Suspended);
    EXPECT_FALSE(a.ResumeMark);
}

TEST(SoundManager, WhatWasPausedOrEndedStaysSo) {
    TWmpManager m;
    TFakeSound& paused = Add(m);
    TFakeSound& ended = Add(m);
    TFakeSound& idle = Add(m);
    paused.Play(), paused.Pause();
    ended.Play(), ended.ended = true;
    idle.ResumeMark = true;  // a stale mark is cleared by Suspend
    m.Suspend();
    m.Resume();
    EXPECT_EQ(paused.plays, 1);
    EXPECT_TRUE(paused.paused);
    EXPECT_EQ(ended.plays, 1);
    EXPECT_FALSE(ended.paused);
    EXPECT_EQ(idle.plays, 0);
}

TEST(SoundManager, TheSwitchPausesAndStartsWhatShouldPlay) {
    TMidiManager m;
    TFakeSound& a = Add(m);
    TFakeSound& b = Add(m);
    a.Play();
    m.SetEnabled(false);
    EXPECT_TRUE(a.paused);
    EXPECT_TRUE(m.Suspended);
    b.Play();  // marked, not started
    EXPECT_FALSE(b.playing);
    // While off, the application's activation changes nothing.
    m.Resume();
    EXPECT_TRUE(a.paused);
    m.SetEnabled(false);
    m.SetEnabled(true);
    EXPECT_FALSE(m.Suspended);
    EXPECT_TRUE(a.playing && !a.paused);
    EXPECT_TRUE(b.playing);
    EXPECT_EQ(a.plays + b.plays, 3);
}

TEST(SoundManager, RemoveTakesOnlyItsOwnItems) {
    TCddaManager m, other;
    int freed = 0, foreignFreed = 0;
    TFakeSound& a = Add(m, &freed);
    Add(m, &freed);
    TFakeSound& foreign = Add(other, &foreignFreed);
    m.Remove(&foreign);
    EXPECT_EQ(foreignFreed, 0);
    EXPECT_EQ(other.GetItem(0), &foreign);
    m.Remove(&a);
    EXPECT_EQ(freed, 1);
    EXPECT_EQ(m.Count(), 1);
    m.Clear();
    EXPECT_EQ(freed, 2);
}

// Items removed from anywhere leave the others in the order they came, suspended and resumed
// as before; an item of another manager at a place left empty here stays.
TEST(SoundManager, ItemsRemovedFromAnywhereLeaveTheOthersInOrder) {
    TCddaManager m, other;
    std::vector<TFakeSound*> items;
    for (int i = 0; i < 5; ++i) items.push_back(&Add(m));
    Add(other);
    TFakeSound& foreign = Add(other);
    m.Remove(items[1]);
    m.Remove(items[2]);
    m.Remove(&foreign);
    EXPECT_EQ(other.Count(), 2);
    TFakeSound& late = Add(m);
    m.Remove(items[0]);
    ASSERT_EQ(m.Count(), 3);
    EXPECT_EQ(m.GetItem(0), items[3]);
    EXPECT_EQ(m.GetItem(1), items[4]);
    EXPECT_EQ(m.GetItem(2), &late);
    late.Play();
    m.Suspend();
    EXPECT_TRUE(late.paused);
    m.Resume();
    EXPECT_FALSE(late.paused);
    m.Remove(&late);
    m.Remove(items[4]);
    EXPECT_EQ(m.Count(), 1);
    EXPECT_EQ(m.GetItem(0), items[3]);
}

TEST(VideoManager, SuspendsWithoutASwitchAndResetsEveryFrame) {
    TVideoManager m;
    auto* a = static_cast<TFakeVideoItem*>(m.AddItem(std::make_unique<TFakeVideoItem>(&m)));
    auto* b = static_cast<TFakeVideoItem*>(m.AddItem(std::make_unique<TFakeVideoItem>(&m)));
    a->Play();
    m.Suspend();
    EXPECT_TRUE(a->paused);
    m.Suspend();
    m.Resume();
    EXPECT_FALSE(a->paused);
    EXPECT_FALSE(b->playing);
    m.ResetNeedPaint();
    EXPECT_EQ(a->resets + b->resets, 2);
    EXPECT_EQ(m.GetItem(1), b);
}

TEST(MidiManager, UnknownDevicesAreTheMidiMapper) {
    TMidiManager m;
    EXPECT_EQ(m.GetDeviceName(99), "MIDIマッパー");
    m.SetDeviceName("No such synthesiser");
    EXPECT_EQ(m.GetCurrentDeviceName(), "MIDIマッパー");
}
