// The slider and the scrollbar on a headless layer: layouts and rectangles from pictures of known
// sizes, the empty range, clamped values, dragging with its rounding, buttons, keys and paging
// with their repeats, mask hits, the tiled track, and the records against
// tests/tools/control_records.py.
#include "objects/vitemex_slider.h"

#include "tests/objects/controls_fixture.h"

namespace {

constexpr int KeyUp = 38, KeyDown = 40;
using SliderEvents = std::vector<std::string>;

class Sliders : public ControlsTest {
protected:
    void SetUp() override {
        ControlsTest::SetUp();
        Cache->Source->Files["track.bmp"] = {{32, 4, 100, false}};    // cells 16 x 4
        Cache->Source->Files["thumb.bmp"] = {{18, 8, 100, false}};    // cells 6 x 8
        Cache->Source->Files["buttons.bmp"] = {{30, 6, 100, false}};  // cells 5 x 6
    }
    // A control at (10, 20) of the three pictures over 0..16, stepping by 1, notifying "n".
    template <class T>
    T* Control(int32_t Orientation = 0) {
        auto* c = Make<T>("c");
        c->SetLeft(10);
        c->SetTop(20);
        c->SetOrientation(Orientation);
        c->SetSource("track.bmp");
        c->SetThumbsource("thumb.bmp");
        c->SetButtonsource("buttons.bmp");
        c->SetMax(16);
        c->SetSmallchange(1);
        c->SetAlpha(255);
        c->SetOnnotify("n");
        c->SetOnhold("h");
        c->SetOnrelease("r");
        return c;
    }
    // The events of N ticks, each after the number of its tick.
    SliderEvents Timed(int N) {
        SliderEvents seen;
        for (int t = 1; t <= N; ++t)
            for (const std::string& e : Tick()) seen.push_back(std::to_string(t) + e);
        return seen;
    }
    // A press at (X, Y) after the pointer moved there.
    SliderEvents PressAt(int X, int Y) {
        Move(X, Y);
        Tick();
        Press();
        return Tick();
    }
    // Puts an 8-bit mask on frame 0 of Name, Level(x) in column x.
    template <class F>
    void Mask(const std::string& Name, F Level) {
        TMiraItem& item = MiraMan->Acquire(this, Name, false, false);
        Held.push_back(&item);
        TMiraItemFrame& frame = *item.GetFrame(0);
        frame.NeedMask();
        frame.Mask->SetSize(item.Width, item.Height, 8);
        for (int32_t y = 0; y < item.Height; ++y)
            for (int32_t x = 0; x < item.Width; ++x) frame.Mask->SetPixel(x, y, uint32_t(Level(x)));
    }
};

TEST_F(Sliders, LayoutsAndRectanglesFollowThePictureSizes) {
    TVelaSlider* s = Control<TVelaSlider>();
    s->SetValue(4);
    EXPECT_EQ(s->GetBoundsRect(), (TRect{10, 20, 42, 28}));  // 16 + 6 + 2 x 5 wide, the thumb high
    EXPECT_EQ(s->TrackRect(), (TRect{18, 22, 34, 26}));      // after button and half a thumb, centred
    EXPECT_EQ(s->ThumbRect(), (TRect{19, 20, 25, 28}));      // 4 of 16 over a 16-pixel track
    EXPECT_EQ(s->ButtonRect(1), (TRect{37, 21, 42, 27}));

    s->SetOrientation(2);  // any orientation but 0 is vertical
    s->SetBarsize(16);     // the track's length
    EXPECT_EQ(s->GetBoundsRect(), (TRect{10, 20, 26, 56}));  // 16 + 8 + 2 x 6 high
    EXPECT_EQ(s->TrackRect(), (TRect{10, 30, 26, 46}));
    EXPECT_EQ(s->ThumbRect(), (TRect{15, 38, 21, 46}));  // grows upwards from the track's end
    EXPECT_EQ(s->ButtonRect(1), (TRect{15, 50, 20, 56}));
    s->SetSource("missing.bmp");
    EXPECT_EQ(s->GetBoundsRect(), (TRect{10, 20, 10, 20}));

    TVelaScrollbar* b = Control<TVelaScrollbar>();
    b->SetValue(4);
    EXPECT_EQ(b->GetBoundsRect(), (TRect{10, 20, 36, 28}));
    EXPECT_EQ(b->TrackRect(), (TRect{15, 22, 31, 26}));
    EXPECT_EQ(b->ThumbRect(), (TRect{17, 20, 23, 28}));  // 4 / 16 x (16 - 6) = 2.5 rounds to even
    b->SetOrientation(1);
    b->SetBarsize(20);
    EXPECT_EQ(b->GetBoundsRect(), (TRect{10, 20, 26, 52}));
    EXPECT_EQ(b->ThumbRect(), (TRect{15, 29, 21, 37}));  // grows downwards: 4 / 16 x 12
}

TEST_F(Sliders, AnEmptyRangeIgnoresThePointerAndValuesReadBackClamped) {
    TVelaSlider* s = Control<TVelaSlider>();
    s->SetMax(0);
    s->SetValue(5);
    EXPECT_EQ(s->GetValue(), 0);
    EXPECT_EQ(PressAt(16, 24), SliderEvents{});  // on the thumb at the track's start
    EXPECT_EQ(s->GetThumbState(), 0);
    EXPECT_EQ(s->GetPressMode(), TVelaSlider::pmNone);
    EXPECT_EQ(s->GetThumbOffset(), 0);
    s->SetMax(16);
    EXPECT_EQ(s->GetValue(), 5);  // stored as set
    s->SetValue(40);
    EXPECT_EQ(s->GetValue(), 16);
    EXPECT_EQ(s->GetThumbOffset(), 16);
    s->SetMin(20);  // Max below Min: above Max reads Max, the thumb at the start
    EXPECT_EQ(s->GetValue(), 16);
    EXPECT_EQ(s->GetThumbOffset(), 0);
    // A range past half the 32-bit values is not taken as empty.
    s->SetMin(INT32_MIN);
    s->SetMax(INT32_MAX);
    s->SetValue(0);
    EXPECT_EQ(s->GetThumbOffset(), 8);
}

TEST_F(Sliders, ATrackClickJumpsAndDragsRoundingHalvesToEven) {
    TVelaSlider* s = Control<TVelaSlider>();
    s->SetMax(8);  // half a value per pixel of the 16-pixel track starting at x 18
    EXPECT_EQ(PressAt(18 + 5, 24), (SliderEvents{"h", "n:2"}));  // 2.5
    EXPECT_EQ(s->GetThumbState(), 2);
    Move(18 + 3, 24);  // 1.5: the same value, no event
    EXPECT_EQ(Tick(), SliderEvents{});
    Move(18 + 7, 24);  // 3.5
    EXPECT_EQ(Tick(), SliderEvents{"n:4"});
    Move(300, 0);  // clamped
    EXPECT_EQ(Tick(), SliderEvents{"n:8"});
    Release();
    EXPECT_EQ(Tick(), SliderEvents{"r"});
    EXPECT_EQ(s->GetThumbState(), 0);

    // Vertical: the value grows upwards; the track starts at y 30.
    s->SetOrientation(1);
    s->SetBarsize(16);
    s->SetValue(0);
    Release();
    EXPECT_EQ(PressAt(18, 30 + 2), (SliderEvents{"h", "n:6"}));  // (16 - 1 - 2) / 2 = 6.5
    Release();
    Tick();

    // The thumb grabbed off its centre keeps its distance to the pointer.
    s->SetValue(4);  // thumb 30 + 16 - 8 = 34 .. 42, centre 38
    EXPECT_EQ(PressAt(18, 40), SliderEvents{"h"});
    Move(18, 36);  // (16 - 1 - (36 - 30 - 2)) / 2 = 5.5
    EXPECT_EQ(Tick(), SliderEvents{"n:6"});
}

TEST_F(Sliders, ButtonsAndKeysStepTowardsTheirEndsAndRepeatWhileHeld) {
    TVelaSlider* s = Control<TVelaSlider>(1);  // buttons at y 20 (top) and 38 (bottom)
    s->SetHandlekey(true);
    s->SetValue(8);
    EXPECT_EQ(PressAt(15, 22), SliderEvents{"n:9"});  // the top button increases a vertical slider
    EXPECT_EQ(s->GetButtonState(0), 2);
    EXPECT_EQ(Timed(40), (SliderEvents{"30n:10", "35n:11", "40n:12"}));  // after 300 ms, then every 50 ms
    Release();
    Tick();
    EXPECT_EQ(s->GetButtonState(0), 1);
    EXPECT_EQ(Key(KeyUp), SliderEvents{"n:13"});
    EXPECT_EQ(Key(KeyDown), SliderEvents{"n:12"});
    s->SetValue(16);
    EXPECT_EQ(Key(KeyUp), SliderEvents{});  // already at Max

    s->SetVisible(false);
    TVelaScrollbar* b = Control<TVelaScrollbar>(1);  // buttons at y 20 and 30
    b->SetHandlekey(true);
    b->SetValue(8);
    EXPECT_EQ(PressAt(15, 32), SliderEvents{"n:9"});  // the bottom button increases
    Release();
    Tick();
    EXPECT_EQ(Key(KeyDown), SliderEvents{"n:10"});
}

TEST_F(Sliders, ScrollbarTrackPagesAtOnceThenRepeatsUntilTheThumbReachesThePointer) {
    TVelaScrollbar* b = Control<TVelaScrollbar>();
    b->SetBarsize(100);  // track x 15 .. 115, thumb 6: one value per pixel over 0..94
    b->SetMax(94);
    b->SetLargechange(10);
    EXPECT_EQ(PressAt(65, 24), SliderEvents{"n:10"});
    EXPECT_TRUE(b->GetTrackPressed());
    // Value 50 puts the thumb over the pointer: paging stops.
    EXPECT_EQ(Timed(60), (SliderEvents{"30n:20", "35n:30", "40n:40", "45n:50"}));
    EXPECT_FALSE(b->GetTrackPressed());
    Release();
    Tick();
    EXPECT_EQ(PressAt(16, 24), SliderEvents{"n:40"});  // before the thumb: pages towards Min
    EXPECT_EQ(b->GetPressMode(), TVelaSlider::pmPageDown);
    Release();
    Tick();

    // A thumb as long as the track leaves no travel: a drag changes nothing.
    b->SetBarsize(6);
    b->SetValue(3);
    Move(17, 24);
    Tick();
    EXPECT_EQ(b->GetThumbState(), 1);
    Press();
    EXPECT_EQ(Tick(), SliderEvents{"h"});
    Move(19, 24);
    EXPECT_EQ(Tick(), SliderEvents{});
    EXPECT_EQ(b->GetValue(), 3);
}

TEST_F(Sliders, MasksDecideTheHits) {
    // The thumb's mask is 200 on the left half of its cells and 60 on the right half; the
    // track's is opaque on the first 8 columns of its cells only; button 1 is transparent.
    Mask("thumb.bmp", [](int32_t x) { return x % 6 < 3 ? 200 : 60; });
    Mask("track.bmp", [](int32_t x) { return x % 16 < 8 ? 255 : 0; });
    Mask("buttons.bmp", [](int32_t x) { return x < 15 ? 255 : 0; });
    TVelaSlider* s = Control<TVelaSlider>();
    s->SetCapturemask(true);
    auto thumbAt = [&](int X) {
        Move(X, 24);
        Tick();
        return s->GetThumbState();
    };
    EXPECT_EQ(thumbAt(16), 1);
    EXPECT_EQ(thumbAt(19), 0);  // 60 is below the level of 128
    s->SetCapmasklevel(60);
    EXPECT_EQ(thumbAt(20), 1);
    s->SetCapmasklevel(128);
    s->SetCapturemask(false);
    EXPECT_EQ(thumbAt(19), 1);

    s->SetValue(16);  // the thumb out of the way
    EXPECT_EQ(PressAt(18 + 10, 24), SliderEvents{});  // a transparent track column
    EXPECT_EQ(s->GetPressMode(), TVelaSlider::pmNone);
    Release();
    Tick();
    Move(38, 24);
    Tick();
    EXPECT_EQ(s->GetButtonState(1), 0);
    Move(11, 24);
    Tick();
    EXPECT_EQ(s->GetButtonState(0), 1);
}

TEST_F(Sliders, TheTrackIsTiledFromItsStartInOnePattern) {
    CellPicture("cells.bmp", 2, 8, 4, false);  // two 8 x 4 cells: columns '0'..'7' and 'g'..'n'
    auto* s = Make<TVelaSlider>("s");
    s->SetAlpha(255);
    s->SetSource("cells.bmp");
    s->SetBarsize(20);
    s->SetMax(20);
    s->SetValue(7);  // filled (cell 1) over the first 7 pixels
    EXPECT_EQ(Drawn(0, 0, 1, 22, false), "ghijklm7012345670123..");

    CellPicture("rows.bmp", 2, 2, 8, true);  // two 2 x 8 cells: rows '0'..'7' and 'g'..'n'
    s->SetSource("rows.bmp");
    s->SetOrientation(1);  // filled over the last 7 pixels, the pattern anchored at the bottom
    EXPECT_EQ(Drawn(0, 0, 0, 20, true), "4567012345670hijklmn");

    auto* b = Make<TVelaScrollbar>("b");
    b->SetLeft(30);
    b->SetAlpha(255);
    b->SetSource("cells.bmp");
    b->SetBarsize(20);
    b->SetMax(20);
    b->SetLargechange(5);
    EXPECT_EQ(Drawn(0, 30, 1, 20, false), "01234567012345670123");
    EXPECT_EQ(PressAt(45, 1), SliderEvents{});  // no thumb picture: pages by 5 with the track pressed
    EXPECT_EQ(b->GetValue(), 5);
    // Split at the thumb's centre (offset 5 of a 20-pixel travel), the paged side pressed.
    EXPECT_EQ(Drawn(0, 30, 1, 20, false), "01234lmnghijklmnghij");
}

TEST_F(Sliders, RecordsMatchTheReferenceAtTheirGates) {
    for (const char* kind : {"slider", "scrollbar"}) {
        SCOPED_TRACE(kind);
        const std::vector<ReferenceRecord> records = ReferenceRecords("control_records.py", {kind});
        EXPECT_EQ(records.size(), 6u);  // each side of the three gates
        for (const ReferenceRecord& r : records) {
            SCOPED_TRACE(r.version);
            std::unique_ptr<TVelaSlider> loaded(std::string(kind) == "slider" ? new TVelaSlider(Bases, false)
                                                                                : new TVelaScrollbar(Bases, false));
            ExpectReadsAsReferenced(*loaded, r);
        }
    }
    // With its pictures a control saves, loads and saves the same bytes, laid out again.
    TVelaScrollbar* b = Control<TVelaScrollbar>(1);
    b->SetBarsize(30);
    b->SetCapturemask(true);
    b->SetLargechange(4);
    b->SetValue(99);
    TMemoryStream first;
    b->SaveToStream(first);
    first.SetPosition(0);
    TVelaScrollbar copy(Bases, false);
    copy.LoadFromStream(first, 144);
    TMemoryStream second;
    copy.SaveToStream(second);
    EXPECT_EQ(ToHex(Bytes(second)), ToHex(Bytes(first)));
    EXPECT_EQ(copy.ThumbRect(), b->ThumbRect());
}

}  // namespace
