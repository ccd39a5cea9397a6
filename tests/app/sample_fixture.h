#pragma once
// The sample title played in the headless window on a fake clock of 16 ms ticks: ticks, clicks,
// the pixels of the frames presented and of the cached pictures.
#include "app/view.h"

#include "app/entry.h"
#include "media/velabind.h"
#include "objects/vitemex_mira.h"
#include "objects/vitems.h"
#include "platform/fs.h"
#include "tests/app/player_shell.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

// A copy of the sample title in a fresh host folder (ending in "/"): the save data a player keeps
// beside the title (the declared variables among it) is then the test's alone, even while other
// tests play the sample side by side.
inline std::string SampleCopy() {
    const std::string folder = FreshHostFolder();
    for (const char* name : {"game.dat", "install.dat"})
        std::filesystem::copy_file(VELA_SAMPLE_FOLDER "/" + std::string(name), folder + name);
    return folder;
}

class SampleTitle : public PlayerShell {
protected:
    SampleTitle() { args = {platform::fs::ToProgramPath(SampleCopy())}; }
    void SetUp() override {
        PlayerShell::SetUp();
        form = std::make_unique<TFormView>(display, platform::fs::ToProgramPath(SampleFolder + "velaplay"),
                                           args);
        form->UseLoopThread = false;
        form->FormCreate();
    }
    void Tick(int Count = 1) {
        for (int i = 0; i < Count; ++i) {
            platform::InputEvent event;
            while (form->Display.waitEvent(event, 0)) form->HandleEvent(event);
            now += 16;
            RunTick(form->Clock, now, 16, [this] { form->DoLoop(); });
        }
    }
    // Ticks until a page has made the object called Name.
    void TickUntil(const std::string& Name) {
        while (!Bases->FindObject(Name)) Tick();
    }
    void Click(int32_t X, int32_t Y) {
        for (platform::InputKind kind : {platform::InputKind::MouseDown, platform::InputKind::MouseUp}) {
            platform::InputEvent e;
            e.kind = kind;
            e.x = form->BasePanel.Left + X;
            e.y = form->BasePanel.Top + Y;
            display.shownScreen().toScreen(e.x, e.y);
            e.button = platform::MouseButton::Left;
            display.inject(e);
            Tick();
        }
        Tick();
    }
    // A pixel of the base panel in the last frame presented (on the desktop that shows it in full
    // screen), 0x00RRGGBB.
    uint32_t Shown(int32_t X, int32_t Y) const {
        int32_t x = form->BasePanel.Left + X, y = form->BasePanel.Top + Y;
        display.shownScreen().toScreen(x, y);
        return display.frames.back().pixel(x, y);
    }
    // Pixel (X, Y) of frame Index of the cached picture of Name, and its mask value (255 without
    // a mask).
    static uint32_t Cached(const std::string& Name, int Index, int32_t X, int32_t Y) {
        TMiraItem& item = MiraMan->Acquire(&user, Name, false, false);
        const uint32_t pixel = item.GetFrame(Index)->Surface->GetPixel(X, Y) & 0xFFFFFF;
        item.Release(&user);
        return pixel;
    }
    static uint32_t CachedMask(const std::string& Name, int Index, int32_t X, int32_t Y) {
        TMiraItem& item = MiraMan->Acquire(&user, Name, false, false);
        const TDIBX* mask = item.GetFrame(Index)->Mask.get();
        const uint32_t value = mask ? mask->GetPixel(X, Y) & 0xFF : 255;
        item.Release(&user);
        return value;
    }
    // A colour of the title, 0x00BBGGRR, as the window shows it.
    static uint32_t ShownColour(int32_t Colour) {
        return uint32_t(Colour & 0xFF) << 16 | uint32_t(Colour & 0xFF00) | uint32_t(Colour >> 16 & 0xFF);
    }
    // Whether two pixels differ by at most Tolerance in every channel (smoothed and stretched
    // draws sample between the picture's pixels).
    static bool Near(uint32_t A, uint32_t B, int Tolerance) {
        for (int shift = 0; shift < 24; shift += 8)
            if (std::abs(int(A >> shift & 0xFF) - int(B >> shift & 0xFF)) > Tolerance) return false;
        return true;
    }

    inline static const std::string SampleFolder = VELA_SAMPLE_FOLDER "/";
    std::vector<std::string> args;  // the command line: the title's folder
    platform::HeadlessDisplay display;
    uint32_t now = 1000;
    static inline int user = 0;  // the cache user of the pictures the test reads
};
