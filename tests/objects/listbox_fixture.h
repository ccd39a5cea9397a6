#pragma once
// A scene for the list kinds: a fake clock, the fake font service (12-pixel glyphs: a 6 x 10
// block one pixel in from the cell's corner, advancing 8), the variable table for @SelStr and
// @SelIndex, pictures made in memory (tests/objects/picture_source.h), and ticks through the
// root's input step and object step.
#include "objects/vitemex_listbox.h"
#include "script/params_funcs.h"
#include "script/params_vars.h"
#include "tests/common/fixture.h"
#include "tests/objects/picture_source.h"
#include "text/fontpixels.h"
#include "text/packfonts.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

class TListClock : public TScriptHost {
public:
    uint32_t LoopTime() override { return Clock; }
    uint32_t FrameTime() override { return Tick; }
    uint32_t Clock = 1000, Tick = 0;
};

struct TListEvent {
    std::string Handler;
    std::vector<std::string> Args;
    bool operator==(const TListEvent&) const = default;
};
inline void PrintTo(const TListEvent& E, std::ostream* Os) {
    *Os << E.Handler;
    for (const std::string& a : E.Args) *Os << "," << a;
}

class ListScene : public ::testing::Test {
protected:
    void SetUp() override {
        CreateScriptServices();
        CreateParamMan();
        CreateSysFuncMan();
        auto host = std::make_unique<TListClock>();
        Host = host.get();
        SetScriptHost(std::move(host));
        VelaInitialize();
        Cache = std::make_unique<TPictureCache>();
        PixelFontManager = new TPixelFontManager;
        FontPixelManager = new TFontPixelManager(platform::CreateFakeFontService);
        Bases->SetWidth(120);
        Bases->SetHeight(90);
        Bases->SetColor(0);
        Layer = Bases->GetBase(0);
        // The scroll strip: seven 8 x 8 cells; the check marks: two 6 x 6 cells.
        Cache->Source->Files["scroll.bmp"] = {{56, 8, 100, false}};
        Cache->Source->Files["check.bmp"] = {{12, 6, 100, false}};
    }
    void TearDown() override {
        Bases->Clear();
        Cache.reset();
        VelaFinalize();
        delete FontPixelManager;
        FontPixelManager = nullptr;
        delete PixelFontManager;
        PixelFontManager = nullptr;
        FreeSysFuncMan();
        FreeParamMan();
        FreeScriptServices();
    }

    // A list at (10, 10) of Text: frame 1, margins 2, line space 2, three rows, the scroll
    // strip and check marks; laid out. Five items of up to three characters make it 44 x 46;
    // rows start at y 13, 27, 41; the strip's column is x 45..52 (for 44 wide), its track
    // y 11..54.
    template <class T>
    T* MakeList(const std::string& Text) {
        auto* list = new T(Bases);
        list->SetParent(Layer);
        list->SetName("list");
        list->SetLeft(10);
        list->SetTop(10);
        list->SetAlpha(255);
        list->SetFontheight(12);
        list->SetBorderwidth(1);
        list->SetBordercolor(0x0000FF);
        list->SetColor(0x101010);
        list->SetMarginx(2);
        list->SetMarginy(2);
        list->SetLinespace(2);
        list->SetRowcount(3);
        list->SetScrollsource("scroll.bmp");
        list->SetChecksource("check.bmp");
        list->SetText(Text);
        list->SetOnselect("sel");
        list->SetOnmapin("in");
        list->SetOnmapout("out");
        list->Layout();
        return list;
    }

    // One tick: the input step at the clock advanced by Ms, then the object step; answers the
    // events queued and empties the queue (the runner took them and they ran).
    std::vector<TListEvent> Tick(uint32_t Ms = 10) {
        Host->Clock += Ms;
        Host->Tick = Ms;
        Bases->Update(Host->Clock);
        Bases->Step();
        return TakeEvents();
    }
    std::vector<TListEvent> TakeEvents() {
        std::vector<TListEvent> out;
        TTimerList& q = Bases->GetEvents();
        for (int i = 0; i < q.Count(); ++i) {
            TListEvent e{q.Items(i)->Handler, {}};
            for (int a = 0; a < q.Items(i)->Args.Count(); ++a) e.Args.push_back(q.Items(i)->Args.Strings(a));
            out.push_back(e);
        }
        q.Clear();
        return out;
    }
    void Move(int X, int Y) { Layer->SetMousePos({X, Y}); }
    void Press() { Layer->LeftHeld = Layer->LeftLatch = true; }
    void Release() { Layer->LeftHeld = false; }
    void RightClick() { Layer->RightHeld = Layer->RightLatch = true; }
    // A key going down (and up again after the tick) as the window reports it.
    std::vector<TListEvent> Key(int K) {
        Bases->SetKeyState(K, true);
        Bases->SetKeyLatch(K, true);
        std::vector<TListEvent> events = Tick();
        Bases->SetKeyState(K, false);
        return events;
    }
    uint32_t Pixel(int X, int Y) {
        Layer->InvalidateAll();
        Bases->Prepare();
        return Bases->GetSurface()->GetPixel(X, Y) & 0xFFFFFF;
    }
    uint32_t ColorPixel(int32_t Color) { return Bases->GetSurface()->ColorToPixel(Color) & 0xFFFFFF; }

    // Each version's record of Kind (tests/tools/menu_records.py) reads to its end into a new
    // T, which saves the newest form of what that version holds.
    template <typename T>
    static void ExpectRecords(const std::string& Kind) {
        const std::vector<ReferenceRecord> records = ReferenceRecords("menu_records.py", {Kind});
        for (const ReferenceRecord& r : records) {
            SCOPED_TRACE(r.version);
            T loaded(Bases);
            loaded.SetParent(Bases->GetBase(0));
            ExpectReadsAsReferenced(loaded, r);
            EXPECT_EQ(loaded.GetWidth(), 60);
            EXPECT_EQ(loaded.GetHeight(), 45);
        }
        EXPECT_EQ(records.size(), 11u);
    }

    TListClock* Host = nullptr;
    TVelaBase* Layer = nullptr;
    std::unique_ptr<TPictureCache> Cache;
};
