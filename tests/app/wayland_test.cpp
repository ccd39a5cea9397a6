// The built player under SDL's Wayland driver, in a Weston of the test's own (nested in an X server
// of its own, whose screen shows what Weston shows): the sample is seen in its window, sharp at the
// output's whole multiple on a scaled output; a still title of the test's own is seen in full
// screen and back; SIGTERM ends the player with status 0; a window that can show nothing ends it
// with one line on standard error and status 1.
#include "platform/clock.h"
#include "tests/app/child_process.h"
#include "tests/app/played_title.h"
#include "tests/app/sample_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {


// The sample's screen and its first box (0xRRGGBB), and the box's height in the title's pixels.
constexpr uint32_t SampleScreen = 0x102040, SampleBox = 0x008080;
constexpr int BoxHeight = 200;

// A title that shows the sample's screen and first box (640 x 480, the box 160 pixels tall at
// (40, 40)) and stays so: the sample's story moves on after ten seconds, which a loaded machine can
// spend switching the screen.
constexpr int StillBoxHeight = 160;
std::string StillTitle() {
    return MakeTitle({{"start", R"([{"cmd": "SetProp", "object": "\"\"", "prop": "8", "value": "0x402010"},
        {"cmd": "BoxNew", "props": {"NAME": "\"panel\"", "LEFT": "40", "TOP": "40", "WIDTH": "240",
                                    "HEIGHT": "160", "COLOR": "0x808000"}},
        {"cmd": "Wait", "time": "600000"}])"}},
                     {}, CountDeclarations, {640, 480});
}

// The pixels of an X server's screen, 0xRRGGBB, taken by ffmpeg's X11 grabber.
struct Screenshot {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    uint32_t at(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

Screenshot TakeScreenshot(VirtualScreen& Screen, int Width, int Height) {
    const std::string folder = FreshHostFolder();
    Child grab("/usr/bin/ffmpeg",
               {"-loglevel", "error", "-f", "x11grab", "-video_size",
                std::to_string(Width) + "x" + std::to_string(Height), "-i", Screen.Name(), "-frames:v", "1", "-f",
                "rawvideo", "-pix_fmt", "rgb24", folder + "shot.rgb"},
               folder + "errors.txt");
    EXPECT_TRUE(grab.WaitEnd(20000) && grab.ExitedWith(0)) << FileText(folder + "errors.txt");
    const std::string bytes = FileText(folder + "shot.rgb");
    Screenshot shot;
    if (bytes.size() != size_t(Width) * size_t(Height) * 3) return shot;
    shot.width = Width;
    shot.height = Height;
    for (size_t i = 0; i < bytes.size(); i += 3)
        shot.pixels.push_back(uint32_t(uint8_t(bytes[i])) << 16 | uint32_t(uint8_t(bytes[i + 1])) << 8 |
                              uint8_t(bytes[i + 2]));
    return shot;
}

// The box around the pixels of a colour; left = INT_MAX when there are none.
struct Box {
    int left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
};

Box BoxOf(const Screenshot& Shot, uint32_t Colour) {
    Box box;
    for (int y = 0; y < Shot.height; ++y)
        for (int x = 0; x < Shot.width; ++x)
            if (Shot.at(x, y) == Colour)
                box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x + 1),
                       std::max(box.bottom, y + 1)};
    return box;
}

// Takes screenshots of the compositor's screen (Width x Height) until the box of the sample's first
// box's colour shows Tall pixels tall (for a minute at most: the player starts slowly under the
// sanitizers); the last one. The sample's opening film may cover the box's right part.
Screenshot WaitForTheBox(NestedCompositor& Wayland, int Width, int Height, int Tall) {
    const uint32_t start = platform::ClockMs();
    Screenshot shot = TakeScreenshot(Wayland.Screen(), Width, Height);
    while (BoxOf(shot, SampleBox).height() != Tall && platform::ClockMs() - start < 60000) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        shot = TakeScreenshot(Wayland.Screen(), Width, Height);
    }
    return shot;
}

// The box is drawn sharp: along most of its left and top edges the screen's colour goes straight
// into the box's, with no pixel of a colour between them (the moving box inside may cover some).
void ExpectSharpEdges(const Screenshot& Shot) {
    const Box box = BoxOf(Shot, SampleBox);
    ASSERT_GT(box.left, 0);
    ASSERT_GT(box.top, 0);
    int sharpRows = 0, sharpColumns = 0;
    for (int y = box.top; y < box.bottom; ++y)
        sharpRows += Shot.at(box.left - 1, y) == SampleScreen && Shot.at(box.left, y) == SampleBox;
    for (int x = box.left; x < box.right; ++x)
        sharpColumns += Shot.at(x, box.top - 1) == SampleScreen && Shot.at(x, box.top) == SampleBox;
    EXPECT_GT(sharpRows, box.height() / 2);
    EXPECT_GT(sharpColumns, box.width() / 2);
}

class WaylandPlayer : public testing::Test {
protected:
    void SetUp() override {
        if (!NestedCompositor::Installed())
            GTEST_SKIP() << "weston is not installed (scripts/setup-deps installs it)";
    }
    // The player of Title (the sample's copy unless named) in a window of the compositor, its
    // standard error in errors.
    std::unique_ptr<Child> Play(const std::string& Errors, const std::string& Title = SampleCopy()) {
        return std::make_unique<Child>(PlayerFolder + "velaplay", std::vector<std::string>{Title}, Errors,
                                       "/dev/null", ChildWindow::Desktop);
    }
    // SIGTERM ends the player as its close box does: status 0, nothing on standard error.
    void ExpectSigtermEnds(Child& Player, const std::string& Errors) {
        ASSERT_TRUE(Player.Running()) << FileText(Errors);
        Player.Signal(SIGTERM);
        EXPECT_TRUE(Player.WaitEnd(10000) && Player.ExitedWith(0)) << FileText(Errors);
        EXPECT_EQ(FileText(Errors), "");
    }
};

// The sample's scene in its window as the title draws it, one to one.
TEST_F(WaylandPlayer, TheSampleIsSeenInAWestonWindow) {
    NestedCompositor wayland(1280, 960);
    ASSERT_TRUE(wayland.Ready()) << wayland.Log();
    const std::string errors = FreshHostFolder() + "errors.txt";
    const std::unique_ptr<Child> player = Play(errors);
    const Screenshot shot = WaitForTheBox(wayland, 1280, 960, BoxHeight);
    ASSERT_EQ(BoxOf(shot, SampleBox).height(), BoxHeight) << FileText(errors);
    ExpectSharpEdges(shot);
    ExpectSigtermEnds(*player, errors);
}

// F11 shows the scene in full screen at twice its size (the output's whole size), and
// Alt+Enter brings the window back.
TEST_F(WaylandPlayer, F11AndAltEnterSwitchToFullScreenAndBack) {
    NestedCompositor wayland(1280, 960);
    ASSERT_TRUE(wayland.Ready()) << wayland.Log();
    const std::string errors = FreshHostFolder() + "errors.txt";
    const std::unique_ptr<Child> player = Play(errors, StillTitle());
    ASSERT_EQ(BoxOf(WaitForTheBox(wayland, 1280, 960, StillBoxHeight), SampleBox).height(), StillBoxHeight)
        << FileText(errors);
    wayland.Press("F11");
    const Screenshot shot = WaitForTheBox(wayland, 1280, 960, 2 * StillBoxHeight);
    const Box box = BoxOf(shot, SampleBox);
    ASSERT_EQ(box.height(), 2 * StillBoxHeight);
    EXPECT_EQ(std::pair(box.left, box.top), std::pair(2 * 40, 2 * 40));  // the scene fills the screen
    ExpectSharpEdges(shot);
    wayland.Press("alt+Return");
    EXPECT_EQ(BoxOf(WaitForTheBox(wayland, 1280, 960, StillBoxHeight), SampleBox).height(), StillBoxHeight);
    ExpectSigtermEnds(*player, errors);
}

// On an output of two pixels a point the window has pixels of the output's own: the scene is drawn
// at twice its size, sharp.
TEST_F(WaylandPlayer, OnAScaledOutputTheSceneIsDrawnAtItsWholeMultiple) {
    NestedCompositor wayland(800, 600, 2);
    ASSERT_TRUE(wayland.Ready()) << wayland.Log();
    const std::string errors = FreshHostFolder() + "errors.txt";
    const std::unique_ptr<Child> player = Play(errors);
    const Screenshot shot = WaitForTheBox(wayland, 1600, 1200, 2 * BoxHeight);
    ASSERT_EQ(BoxOf(shot, SampleBox).height(), 2 * BoxHeight) << FileText(errors);
    ExpectSharpEdges(shot);
    ExpectSigtermEnds(*player, errors);
}

// Where the compositor can show nothing of the player's (SDL's Wayland windows need OpenGL, here
// without a driver for Mesa to load), the title does not play unseen, nor headless: one line on
// standard error says so, and the exit status is 1.
TEST_F(WaylandPlayer, AWindowThatCanShowNothingEndsThePlayer) {
    NestedCompositor wayland;
    ASSERT_TRUE(wayland.Ready()) << wayland.Log();
    const ScopedEnvironment noDriver("LIBGL_DRIVERS_PATH", "/nonexistent");
    const std::string errors = FreshHostFolder() + "errors.txt";
    const std::unique_ptr<Child> player = Play(errors);
    ASSERT_TRUE(player->WaitEnd(20000));
    EXPECT_TRUE(player->ExitedWith(1));
    // Mesa says why it failed on lines of its own before.
    const std::string said = FileText(errors);
    const size_t line = said.find("velaplay: ");
    ASSERT_NE(line, std::string::npos) << said;
    const std::string ours = said.substr(line);
    EXPECT_TRUE(ours.starts_with("velaplay: the window system shows none of the window's pixels (")) << said;
    EXPECT_TRUE(ours.ends_with("); the title was ended\n")) << said;
    EXPECT_EQ(std::count(ours.begin(), ours.end(), '\n'), 1) << said;
}

}  // namespace
