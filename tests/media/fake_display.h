#pragma once
// A display for the media tests: pixel surfaces in memory, a desktop and modes the test sets,
// full-screen requests and presents recorded.
#include "platform/display.h"

#include <cstring>
#include <optional>
#include <vector>

// Pixels in memory, 16 bits (5-6-5, or 5-5-5 with Green555), 24 or 32 bits (0x00RRGGBB until
// SetMasks says otherwise), rows of Pitch bytes (wider than the row, so that a copy that ignores
// the pitch shows).
class TestSurface : public platform::PixelSurface {
public:
    TestSurface(int32_t Width, int32_t Height, int BitCount, bool Green555 = false) {
        format_.width = Width, format_.height = Height, format_.bitCount = BitCount;
        format_.pitch = Width * (BitCount / 8) + 8;
        if (BitCount == 16) SetMasks(Green555 ? 0x7C00 : 0xF800, Green555 ? 0x03E0 : 0x07E0, 0x001F);
        pixels_.assign(size_t(format_.pitch) * size_t(Height), 0);
    }
    void SetMasks(uint32_t Red, uint32_t Green, uint32_t Blue) {
        format_.redMask = Red, format_.greenMask = Green, format_.blueMask = Blue;
    }
    platform::PixelBuffer lock() override {
        ++locks;
        platform::PixelBuffer b = format_;
        b.pixels = pixels_.data();
        return b;
    }
    void unlock() override { ++unlocks; }
    platform::PixelBuffer describe() const override { return format_; }

    // The 32-bit value at (X, Y) of a 32-bit surface.
    uint32_t Pixel32(int32_t X, int32_t Y) const {
        uint32_t v;
        std::memcpy(&v, pixels_.data() + size_t(Y) * size_t(format_.pitch) + size_t(X) * 4, 4);
        return v;
    }

    // The raw value at (X, Y), of as many bytes as a pixel has.
    uint32_t Raw(int32_t X, int32_t Y) const {
        const int bytes = format_.bitCount / 8;
        uint32_t v = 0;
        std::memcpy(&v, pixels_.data() + size_t(Y) * size_t(format_.pitch) + size_t(X * bytes), size_t(bytes));
        return v;
    }

    int locks = 0, unlocks = 0;

private:
    platform::PixelBuffer format_;
    std::vector<uint8_t> pixels_;
};

class FakeDisplay : public platform::Display {
public:
    explicit FakeDisplay(int32_t FrameWidth = 200, int32_t FrameHeight = 150) : frame_(FrameWidth, FrameHeight, 32) {}

    bool headless() const override { return true; }
    platform::DisplayModeInfo desktopMode() override { return desktop; }
    std::vector<platform::DisplayModeInfo> displayModes() override { return modes; }
    platform::PixelRect workArea() override { return {}; }
    void setCaption(const std::string&) override {}
    void setBounds(int32_t, int32_t, int32_t, int32_t) override {}
    int32_t clientWidth() override { return frame_.describe().width; }
    int32_t clientHeight() override { return frame_.describe().height; }
    void setWindowSize(int32_t, int32_t) override {}
    void setUnscaledTop(int32_t) override {}
    void show() override {}
    platform::WindowPlacement placement() override { return {}; }
    void minimize() override {}
    bool setFullScreen(const platform::DisplayModeInfo* mode) override {
        fullScreenRequests.push_back(mode ? std::optional(*mode) : std::nullopt);
        for (const auto& m : refused)
            if (mode && m == *mode) return false;
        return true;
    }
    platform::PixelSurface& frame() override { return frame_; }
    void present(const std::vector<platform::PixelRect>& rects) override { presents.push_back(rects); }
    void cursorPos(int32_t& x, int32_t& y) override { x = y = 0; }
    void setCursorPos(int32_t, int32_t) override {}
    bool setCursor(const platform::PixelBuffer&, int32_t, int32_t) override { return true; }
    void setDefaultCursor() override {}
    bool waitWindowEvent(platform::InputEvent&, uint32_t) override { return false; }
    void wake() override {}
    platform::MessageResult messageBox(const std::string&, const std::string&, platform::MessageButtons,
                                       platform::MessageIcon) override {
        return platform::MessageResult::Ok;
    }
    int choiceBox(const std::string&, const std::string&, const std::vector<std::string>&, size_t,
                  platform::MessageIcon) override {
        return 0;
    }
    std::optional<std::string> fileDialog(const platform::FileDialogRequest&) override { return std::nullopt; }
    void setTextInput(bool, const platform::PixelRect&) override {}
    std::string clipboardText() override { return {}; }
    void setClipboardText(const std::string&) override {}
    std::unique_ptr<platform::PixelSurface> createSurface(int32_t width, int32_t height, int bitCount) override {
        if (!makesSurfaces) return nullptr;
        if (bitCount == 1 || bitCount == 4 || bitCount == 8)
            return std::make_unique<platform::MemorySurface>(width, height, bitCount);
        return std::make_unique<TestSurface>(width, height, bitCount == 16 ? 16 : 32);
    }

    TestSurface& Frame() { return frame_; }

    platform::DisplayModeInfo desktop{1920, 1080, 32, 60};
    std::vector<platform::DisplayModeInfo> modes;
    std::vector<platform::DisplayModeInfo> refused;
    bool makesSurfaces = true;
    // nullopt: back to windowed.
    std::vector<std::optional<platform::DisplayModeInfo>> fullScreenRequests;
    std::vector<std::vector<platform::PixelRect>> presents;

private:
    TestSurface frame_;
};
