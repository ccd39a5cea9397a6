#include "objects/vitems_kinds.h"
#include "tests/objects/clock_host.h"

#include "core/streams.h"

#include <gtest/gtest.h>

namespace {

constexpr int32_t kTimerVersion = 140;

// A 60-frame film that places its target at origin + frame, on both axes.
class TTestFilm : public TVelaFilm {
public:
    TTestFilm() { RepeatPos = NextRepeatPos, FollowPosition = NextFollow; }
    int32_t GetLength() const override { return 60; }
    static inline int32_t NextRepeatPos = 0;
    static inline bool NextFollow = false;

protected:
    void ApplyTracks(TVelaControl& Target, int32_t T) override {
        Target.SetControlValue(OriginX + T);
        Target.SetControlValue2(OriginY + T);
    }
};

// A box whose position is scaled by its zoom of 2.
class TZoomedBox : public TVelaBox {
public:
    using TVelaBox::TVelaBox;
    int32_t GetZoomx() const override { return 512; }
    int32_t GetZoomy() const override { return 512; }
};

class Kinds : public ::testing::Test {
protected:
    void SetUp() override {
        CreateScriptServices();
        auto host = std::make_unique<TClockHost>(15);
        Host = host.get();
        SetScriptHost(std::move(host));
        TTestFilm::NextRepeatPos = 0;
        TTestFilm::NextFollow = false;
        VelaInitialize();
        SetFilmFactory([]() -> std::unique_ptr<TVelaFilm> { return std::make_unique<TTestFilm>(); });
        Bases->SetWidth(64);
        Bases->SetHeight(64);
        Bases->SetColor(Background);
    }
    void TearDown() override {
        VelaFinalize();
        SetFilmFactory(nullptr);
        FreeScriptServices();
    }
    template <typename T = TVelaBox>
    T* Make(uint8_t Code, TVelaControl* Parent = nullptr) {
        auto* obj = static_cast<T*>(Bases->CreateObject(Code));
        if (Parent) obj->SetParent(Parent);
        return obj;
    }
    TVelaBox* Box(TRect R, int32_t Color, int32_t Alpha = 255) {
        TVelaBox* box = Make(LT_BOX, Bases->GetBase(0));
        box->SetBounds(R.Left, R.Top, R.Right - R.Left, R.Bottom - R.Top);
        box->SetColor(Color);
        box->SetAlpha(Alpha);
        return box;
    }
    void Tick(uint32_t Ms = 15) {
        Host->Clock += Ms;
        Host->Tick = Ms;
        Bases->Step();
    }
    uint32_t Pixel(int X, int Y) {
        Bases->Prepare();
        return Bases->GetSurface()->GetPixel(X, Y);
    }
    uint32_t PixelOf(int32_t Color) { return uint32_t(Bases->GetSurface()->ColorToPixel(Color)); }
    int Queued(uint8_t Kind) {
        int n = 0;
        for (int i = 0; i < Bases->GetEvents().Count(); ++i) n += Bases->GetEvents().Items(i)->Kind == Kind;
        return n;
    }
    std::string Save() {
        TMemoryStream s;
        Bases->SaveToStream(s);
        return {reinterpret_cast<const char*>(s.Memory()), size_t(s.Size())};
    }
    void Load(const std::string& Data) {
        TMemoryStream s;
        s.Write(Data.data(), Data.size());
        s.SetPosition(0);
        Bases->LoadFromStream(s, kTimerVersion);
    }

    static constexpr int32_t Background = 0x404040;
    TClockHost* Host = nullptr;
};

TEST_F(Kinds, BoxDrawsOpaqueFramedBlendedAndAdded) {
    TVelaBox* opaque = Box({0, 0, 10, 10}, 0x0000FF);
    opaque->SetBorderwidth(2);
    opaque->SetBordercolor(0x00FF00);
    Box({20, 0, 30, 10}, 0xFFFFFF, 100);
    Box({40, 0, 50, 10}, 0x808080, 384);
    TVelaBox* empty = Box({0, 20, 20, 40}, -1);
    Box({5, 5, 8, 8}, 0xFF0000)->SetParent(empty);  // placed in its parent
    Box({40, 20, 50, 30}, 0xFFFFFF, 512);

    EXPECT_EQ(Pixel(1, 1), PixelOf(0x00FF00));
    EXPECT_EQ(Pixel(5, 5), PixelOf(0x0000FF));
    TDIBX reference;
    reference.SetSize(1, 1, 32);
    reference.FillRect({0, 0, 1, 1}, reference.ColorToPixel(Background));
    reference.FillRectAlpha({0, 0, 1, 1}, reference.ColorToPixel(0xFFFFFF), 100);
    EXPECT_EQ(Pixel(25, 5), reference.GetPixel(0, 0));
    EXPECT_EQ(Pixel(45, 5), PixelOf(0x808080));  // 0x40 + 0x80 * 128 shr 8 per channel
    EXPECT_EQ(Pixel(2, 22), PixelOf(Background));
    EXPECT_EQ(Pixel(6, 26), PixelOf(0xFF0000));
    EXPECT_EQ(Pixel(45, 25), PixelOf(Background));
}

TEST_F(Kinds, MovingBoxLeavesFadingTrailCopies) {
    TVelaBox* box = Box({0, 0, 4, 4}, 0xFFFFFF, 200);
    box->SetName("b");
    box->SetPriority(5);
    box->SetBlurdelay(500);
    box->SetBlurspan(50);
    for (int i = 0; i < 8; ++i) {  // 120 ms of movement: copies at 60 and 120 ms
        box->SetLeft(box->GetLeft() + 1);
        Tick();
    }
    auto* first = dynamic_cast<TVelaBlurBox*>(Bases->FindControl("b0"));
    ASSERT_NE(first, nullptr);
    ASSERT_NE(Bases->FindControl("b1"), nullptr);
    EXPECT_EQ(Bases->FindControl("b2"), nullptr);
    EXPECT_EQ(first->GetPriority(), 4);
    EXPECT_EQ(first->GetDelay(), 500);
    EXPECT_LE(first->GetAlpha(), 100);
    EXPECT_GT(first->GetAlpha(), 80);
    const TObjectRef ref = first->Ref();
    int32_t last = first->GetAlpha();
    for (int i = 0; i < 8; ++i) {  // standing still: no more copies, the old ones fade
        Tick();
        ASSERT_TRUE(Bases->IsLive(ref));
        EXPECT_LT(first->GetAlpha(), last);
        last = first->GetAlpha();
    }
    EXPECT_EQ(Bases->FindControl("b2"), nullptr);
    for (int i = 0; i < 30; ++i) Tick();
    EXPECT_FALSE(Bases->IsLive(ref));
    EXPECT_EQ(Bases->FindControl("b1"), nullptr);
}

TEST_F(Kinds, TrailCopiesAreLeftOutOfTheSavedScene) {
    TVelaBox* box = Box({0, 0, 4, 4}, 0xFFFFFF);
    box->SetName("b");
    box->SetBlurdelay(500);
    box->SetBlurspan(15);
    box->SetLeft(1);
    Tick();
    ASSERT_NE(Bases->FindControl("b0"), nullptr);
    Load(Save());
    EXPECT_NE(Bases->FindControl("b"), nullptr);
    EXPECT_EQ(Bases->FindControl("b0"), nullptr);
    EXPECT_EQ(Bases->GetObjectCount(), 1);
}

TEST_F(Kinds, TimerQueuesOncePerPeriodAndSkipsMissedPeriods) {
    auto* timer = Make<TVelaTimer>(LT_TIMER);
    timer->SetOnnotify("tick");
    timer->SetDelay(1000);
    for (int i = 0; i < 66; ++i) Tick();  // 990 ms
    EXPECT_EQ(Queued(PR_ONNOTIFY), 0);
    Tick();
    EXPECT_EQ(Queued(PR_ONNOTIFY), 1);
    Bases->GetEvents().FirstPending()->Level = 1;  // the handler runs for three seconds
    for (int i = 0; i < 200; ++i) Tick();
    EXPECT_EQ(Queued(PR_ONNOTIFY), 1);
    Bases->GetEvents().ClearLevel(1);
    Tick(5000);  // one long tick: the periods it spans give one event
    EXPECT_EQ(Queued(PR_ONNOTIFY), 1);
    Bases->GetEvents().Clear();
    Tick();
    EXPECT_EQ(Queued(PR_ONNOTIFY), 0);
}

TEST_F(Kinds, AutoScrapTimerGoesAfterItsHandler) {
    auto* timer = Make<TVelaTimer>(LT_TIMER);
    timer->SetOnnotify("once");
    timer->SetDelay(0);
    timer->SetAutoscrap(true);
    const TObjectRef ref = timer->Ref();
    Tick();
    Tick();
    EXPECT_EQ(Queued(PR_ONNOTIFY), 1);
    EXPECT_TRUE(Bases->IsLive(ref));
    Bases->GetEvents().Clear();
    Tick();
    EXPECT_FALSE(Bases->IsLive(ref));
}

TEST_F(Kinds, CabinetKeepsControlsOutOfSightAndPlay) {
    auto* cabinet = Make<TVelaCabinet>(LT_CABINET, Bases->GetBase(0));
    cabinet->SetBounds(0, 0, 64, 64);
    TVelaBox* box = Box({0, 0, 10, 10}, 0x0000FF);
    box->SetOnidle("idle");
    box->SetParent(cabinet);
    EXPECT_TRUE(box->InCabinet());
    Tick();
    EXPECT_EQ(Queued(PR_ONIDLE), 0);
    EXPECT_EQ(Pixel(5, 5), PixelOf(Background));
    EXPECT_NE(Bases->GetBase(0)->HitTest({5, 5}, ~0u), box);
    box->SetParent(Bases->GetBase(0));
    Tick();
    EXPECT_EQ(Queued(PR_ONIDLE), 1);
}

TEST_F(Kinds, FilmEndsOnceAfterASecondOrLoopsFromItsRepeatPosition) {
    TVelaBox* box = Box({0, 0, 4, 4}, 0xFFFFFF);
    box->SetOnplayend("done");
    box->SetSource("walk.txt");
    EXPECT_EQ(box->GetMotion(), nullptr);
    box->SetSource("walk.VMT");
    ASSERT_NE(box->GetMotion(), nullptr);
    int ended = 0, at = 0;
    for (int i = 1; i <= 100; ++i) {
        Tick();
        if (!ended && Queued(PR_ONPLAYEND)) at = i;
        ended = Queued(PR_ONPLAYEND);
    }
    EXPECT_EQ(ended, 1);
    EXPECT_GE(at * 15, 1000);
    EXPECT_LE(at * 15, 1000 + 3 * 15);
    EXPECT_EQ(box->GetControlValue(), 59);

    TTestFilm::NextRepeatPos = 30;
    box->SetRepeat(true);
    box->LoadFilm("loop.vmt");
    for (int i = 0; i < 100; ++i) Tick();
    for (int i = 0; i < 100; ++i) {
        Tick();
        EXPECT_GE(box->GetMotion()->GetFrame(), 30);
    }
    EXPECT_EQ(Queued(PR_ONPLAYEND), 1);
}

TEST_F(Kinds, FollowingFilmMovesWithItsControlAndDropsAFreedTarget) {
    TTestFilm::NextFollow = true;
    TVelaBox* box = Box({10, 0, 14, 4}, 0xFFFFFF);
    box->LoadFilm("f.vmt");
    Tick();
    Tick();
    EXPECT_EQ(box->GetMotion()->GetFilm().OriginX, 10);
    box->SetLeft(20);
    Tick();
    EXPECT_EQ(box->GetMotion()->GetFilm().OriginX, 20);
    EXPECT_EQ(box->GetControlValue(), 20 + box->GetMotion()->GetFrame());

    TVelaBox* other = Box({0, 0, 1, 1}, 0);
    TVelaMotion* motion = box->GetMotion();
    motion->SetObject(other);
    delete other;
    EXPECT_EQ(motion->GetObject(), nullptr);
    EXPECT_FALSE(motion->Update());
}

TEST_F(Kinds, FilmDrivenControlsAreDrawnAtTheFilmPosition) {
    TVelaBox* parent = Box({30, 30, 50, 50}, 0xFFFFFF);
    auto* child = new TZoomedBox(Bases);  // 4 scaled by 2 from its parent's origin
    child->SetParent(parent);
    child->SetPoszoomed(true);
    child->SetBounds(4, 4, 2, 2);
    child->SetColor(0x0000FF);
    auto* zoomed = new TZoomedBox(Bases);  // at 40 while no film drives it
    zoomed->SetParent(Bases->GetBase(0));
    zoomed->SetPoszoomed(true);
    zoomed->SetBounds(20, 20, 4, 4);
    zoomed->SetColor(0xFF0000);
    EXPECT_EQ(Pixel(41, 41), PixelOf(0xFF0000));
    Bases->GetBase(0)->ClipList.Clear();

    parent->LoadFilm("still.vmt");  // to 0 + frame
    TTestFilm::NextFollow = true;
    zoomed->LoadFilm("follow.vmt");  // to its Left and Top + frame, unscaled
    Tick();
    EXPECT_EQ(parent->GetScreenPos(), (TPoint{0, 0}));
    EXPECT_EQ(child->GetScreenPos(), (TPoint{8, 8}));
    EXPECT_EQ(zoomed->GetScreenPos(), (TPoint{20, 20}));
    EXPECT_EQ(Pixel(1, 1), PixelOf(0xFFFFFF));
    EXPECT_EQ(Pixel(8, 8), PixelOf(0x0000FF));
    EXPECT_EQ(Pixel(21, 21), PixelOf(0xFF0000));
    EXPECT_EQ(Pixel(31, 31), PixelOf(Background));
    EXPECT_EQ(Pixel(38, 38), PixelOf(Background));
    EXPECT_EQ(Pixel(41, 41), PixelOf(Background));

    // Without its film the control is back at Left and Top.
    Bases->GetBase(0)->ClipList.Clear();
    parent->FreeMotion();
    EXPECT_EQ(Pixel(1, 1), PixelOf(Background));
    EXPECT_EQ(Pixel(31, 31), PixelOf(0xFFFFFF));
    EXPECT_EQ(Pixel(38, 38), PixelOf(0x0000FF));
}

TEST_F(Kinds, SceneOfEachKindSavesLoadsAndSavesTheSame) {
    TVelaBox* box = Box({1, 2, 3, 4}, 0x123456, 300);
    box->SetName("box");
    box->SetBorderwidth(1);
    box->SetBordercolor(0x654321);
    box->SetBlurspan(40);
    box->SetBlurdelay(400);
    box->SetOnplayend("end");
    box->SetRepeat(true);
    box->SetSource("a.vmt");
    auto* timer = Make<TVelaTimer>(LT_TIMER);
    timer->SetOnnotify("n");
    timer->SetDelay(250);
    timer->SetAutoscrap(true);
    auto* cabinet = Make<TVelaCabinet>(LT_CABINET, Bases->GetBase(1));
    Box({0, 0, 2, 2}, 0x00FF00)->SetParent(cabinet);
    const std::string first = Save();
    Load(first);
    ASSERT_NE(Bases->FindControl("box"), nullptr);
    EXPECT_NE(Bases->FindControl("box")->GetMotion(), nullptr);
    EXPECT_EQ(Save(), first);
}

}  // namespace
