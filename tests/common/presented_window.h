#pragma once
// The window as its user sees it: a picture built only from the rectangles each present of the
// headless display showed, compared with the current layer drawn whole and presented again. What
// a change left out of the dirty rectangles stays behind in the first and not in the second.
#include "core/sysutils.h"
#include "media/screenman.h"
#include "objects/vitems.h"
#include "platform/display.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

class TPresentedWindow {
public:
    // Keeps every frame the display presents until Take has copied it.
    explicit TPresentedWindow(platform::HeadlessDisplay& Display) : display_(Display) { Display.keepFrames = 0; }

    // Copies the rectangles of the frames presented since the last call; forgets those frames.
    void Take() {
        for (const platform::HeadlessDisplay::Frame& frame : display_.frames) {
            const platform::PixelBuffer size = frame.pixels.describe();
            const platform::PixelBuffer to = window_.describe();
            if (to.width != size.width || to.height != size.height) window_.resize(size.width, size.height);
            uint8_t* pixels = window_.lock().pixels;
            for (const platform::PixelRect& r : frame.rects)
                for (int32_t y = r.top; y < r.bottom; ++y)
                    std::memcpy(pixels + y * size.pitch + r.left * 4, frame.pixels.data() + y * size.pitch + r.left * 4,
                                size_t(r.right - r.left) * 4);
            window_.unlock();
        }
        display_.frames.clear();
    }

    // Draws the current layer whole and presents it through the screen manager; answers where
    // the window had shown something else ("" when nowhere), leaving out Skip (on the layer).
    std::string StalePixels(const TBasePanel& Panel, const std::vector<TRect>& Skip = {}) {
        Take();
        TVelaBase& layer = *Bases->GetBase(Bases->GetCurrentLayer());
        layer.InvalidateAll();
        layer.Prepare();
        ScreenMan->Present();
        const platform::MemorySurface& redrawn = display_.frames.back().pixels;
        const int32_t pitch = window_.describe().pitch, width = Bases->GetWidth();
        int count = 0;
        TRect area{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
        for (int32_t y = 0; y < Bases->GetHeight(); ++y) {
            const size_t row = size_t(Panel.Top + y) * size_t(pitch) + size_t(Panel.Left) * 4;
            const uint8_t *was = window_.data() + row, *is = redrawn.data() + row;
            if (std::memcmp(was, is, size_t(width) * 4) == 0) continue;
            for (int32_t x = 0; x < width; ++x) {
                if (std::memcmp(was + x * 4, is + x * 4, 4) == 0 ||
                    std::any_of(Skip.begin(), Skip.end(), [&](const TRect& r) { return PointInRect(r, x, y); }))
                    continue;
                ++count;
                area = {std::min(area.Left, x), std::min(area.Top, y), std::max(area.Right, x + 1),
                        std::max(area.Bottom, y + 1)};
            }
        }
        Take();
        if (count == 0) return {};
        std::ostringstream out;
        out << count << " stale pixels in (" << area.Left << ", " << area.Top << ")-(" << area.Right << ", "
            << area.Bottom << ")";
        return out.str();
    }

private:
    platform::HeadlessDisplay& display_;
    platform::MemorySurface window_{0, 0, 32};
};
