// The main window's base: the window count, the place kept over a full-screen spell, the
// minimise command; the cosine table and Max / Min.
#include "app/formbase.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(MainFormBase, CountsItsWindows) {
    platform::HeadlessDisplay one, two;
    const int32_t before = TMainFormBase::WindowCount();
    {
        TMainFormBase a(one);
        EXPECT_EQ(TMainFormBase::WindowCount(), before + 1);
        TMainFormBase b(two);
        EXPECT_EQ(TMainFormBase::WindowCount(), before + 2);
    }
    EXPECT_EQ(TMainFormBase::WindowCount(), before);
}

TEST(MainFormBase, RestoreWindowPutsBackTheNormalPlaceOnce) {
    platform::HeadlessDisplay display;
    TMainFormBase form(display);
    display.setBounds(100, 50, 640, 502);
    display.show();
    form.StoreWindow();
    // Full screen, then the window's place is wanted back.
    const platform::DisplayModeInfo mode{800, 600, 32, 60};
    display.setFullScreen(&mode);
    display.setBounds(0, 0, 800, 600);
    EXPECT_EQ(display.placement(), (platform::WindowPlacement{100, 50, 640, 502, true}));
    display.setFullScreen(nullptr);
    form.RestoreWindow();
    EXPECT_EQ(display.left, 100);
    EXPECT_EQ(display.top, 50);
    EXPECT_EQ(display.clientWidth(), 640);
    EXPECT_EQ(display.clientHeight(), 502);
    // Forgotten once applied: a second restore leaves a moved window alone.
    display.setBounds(10, 20, 320, 240);
    form.RestoreWindow();
    EXPECT_EQ(display.left, 10);
    EXPECT_EQ(display.clientWidth(), 320);
}

// Full screen drops a maximised state; the kept place brings it back once the window is back.
TEST(MainFormBase, AMaximisedWindowComesBackMaximised) {
    platform::HeadlessDisplay display;
    TMainFormBase form(display);
    display.setBounds(100, 50, 640, 502);
    display.show();
    display.maximize();
    form.StoreWindow();
    const platform::DisplayModeInfo mode{800, 600, 32, 60};
    display.setFullScreen(&mode);
    EXPECT_FALSE(display.maximized);
    form.RestoreWindow();
    EXPECT_FALSE(display.maximized);
    display.setFullScreen(nullptr);
    EXPECT_TRUE(display.maximized);
    EXPECT_EQ(display.placement(), (platform::WindowPlacement{100, 50, 640, 502, true, true}));
}

TEST(MainFormBase, OnlyTheMinimiseCommandMinimises) {
    platform::HeadlessDisplay display;
    TMainFormBase form(display);
    EXPECT_FALSE(form.SysCommand(0xF120));  // SC_RESTORE: the window system's own
    EXPECT_FALSE(display.minimized);
    EXPECT_TRUE(form.SysCommand(TMainFormBase::SC_MINIMIZE));
    EXPECT_TRUE(display.minimized);
    display.show();
    EXPECT_FALSE(display.minimized);
}

TEST(ShellArithmetic, CosineTableAndMaxMin) {
    const auto& table = CosTable();
    for (const auto& [i, value] : {std::pair{0, 1.0}, {64, 0.0}, {128, -1.0}, {192, 0.0}, {32, std::sqrt(0.5)}})
        EXPECT_NEAR(table[static_cast<size_t>(i)], value, 1e-15) << i;
    EXPECT_EQ(Max(-3, 2), 2);
    EXPECT_EQ(Min(-3, 2), -3);
    EXPECT_EQ(Max(INT32_MIN, INT32_MIN), INT32_MIN);
}

}  // namespace
