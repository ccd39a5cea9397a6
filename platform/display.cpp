#include "platform/display.h"

#include "platform/display_sdl.h"
#include "platform/encoding.h"
#include "platform/endsignals.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace platform {

// ---- MemorySurface ----

namespace {

// Rows of a memory surface are padded to four bytes, as device-independent bitmaps are.
int32_t RowPitch(int32_t width, int bitCount) {
    return int32_t((int64_t{width} * bitCount + 31) / 32 * 4);
}

bool Indexed(int bitCount) { return bitCount == 1 || bitCount == 4 || bitCount == 8; }

}  // namespace

MemorySurface::MemorySurface(int32_t width, int32_t height, int bitCount) {
    format_.bitCount = bitCount == 16 || Indexed(bitCount) ? bitCount : 32;
    if (format_.bitCount == 16) {
        format_.redMask = 0xF800;
        format_.greenMask = 0x07E0;
        format_.blueMask = 0x001F;
    } else if (Indexed(bitCount)) {
        format_.redMask = format_.greenMask = format_.blueMask = 0;
        palette_.assign(size_t{1} << bitCount, 0);
    }
    resize(width, height);
}

bool MemorySurface::getPalette(int first, int count, uint32_t* entries) const {
    if (!PaletteRange(int(palette_.size()), first, count)) return false;
    std::copy_n(palette_.begin() + first, count, entries);
    return true;
}

bool MemorySurface::setPalette(int first, int count, const uint32_t* entries) {
    if (!PaletteRange(int(palette_.size()), first, count)) return false;
    std::copy_n(entries, count, palette_.begin() + first);
    return true;
}

void MemorySurface::resize(int32_t width, int32_t height) {
    format_.width = std::max(width, 0);
    format_.height = std::max(height, 0);
    format_.pitch = RowPitch(format_.width, format_.bitCount);
    pixels_.assign(static_cast<size_t>(format_.pitch) * static_cast<size_t>(format_.height), 0);
}

PixelBuffer MemorySurface::lock() {
    PixelBuffer buffer = format_;
    buffer.pixels = pixels_.empty() ? nullptr : pixels_.data();
    return buffer;
}

PixelBuffer MemorySurface::describe() const { return format_; }

// ---- ScaledScreen ----

namespace {

// A / B rounded up, for any sign of A (B above 0).
int32_t CeilDiv(int64_t A, int64_t B) { return int32_t(A >= 0 ? (A + B - 1) / B : -(-A / B)); }

// A rectangle of the client mapped corner by corner by Scaled's point mapping.
template <class Scaled>
PixelRect CornersToScreen(const Scaled& Map, PixelRect R) {
    Map.toScreen(R.left, R.top);
    Map.toScreen(R.right, R.bottom);
    return R;
}

}  // namespace

ScaledScreen::ScaledScreen(int32_t clientWidth, int32_t clientHeight, int32_t screenWidth, int32_t screenHeight)
    : clientWidth_(std::max(clientWidth, 1)),
      clientHeight_(std::max(clientHeight, 1)),
      screenWidth_(std::max(screenWidth, 1)),
      screenHeight_(std::max(screenHeight, 1)) {
    // The side that fills the screen sets the scale; the other is as long as the aspect makes it.
    int32_t width = screenWidth_, height = screenHeight_;
    if (int64_t{screenWidth_} * clientHeight_ > int64_t{screenHeight_} * clientWidth_)
        width = std::max(int32_t(int64_t{clientWidth_} * screenHeight_ / clientHeight_), 1);
    else
        height = std::max(int32_t(int64_t{clientHeight_} * screenWidth_ / clientWidth_), 1);
    const int32_t left = (screenWidth_ - width) / 2, top = (screenHeight_ - height) / 2;
    shown_ = {left, top, left + width, top + height};
}

void ScaledScreen::toClient(int32_t& x, int32_t& y) const {
    const int64_t width = shown_.right - shown_.left, height = shown_.bottom - shown_.top;
    x = int32_t(std::clamp<int64_t>((int64_t{x} - shown_.left) * clientWidth_ / width, 0, clientWidth_ - 1));
    y = int32_t(std::clamp<int64_t>((int64_t{y} - shown_.top) * clientHeight_ / height, 0, clientHeight_ - 1));
}

void ScaledScreen::toScreen(int32_t& x, int32_t& y) const {
    x = shown_.left + CeilDiv(int64_t{x} * (shown_.right - shown_.left), clientWidth_);
    y = shown_.top + CeilDiv(int64_t{y} * (shown_.bottom - shown_.top), clientHeight_);
}

PixelRect ScaledScreen::toScreen(const PixelRect& r) const { return CornersToScreen(*this, r); }

std::vector<PixelRect> ScaledScreen::copy(const PixelBuffer& client, const PixelBuffer& screen,
                                          const std::vector<PixelRect>& rects) const {
    std::vector<PixelRect> written;
    if (!client.pixels || !screen.pixels) return written;
    const size_t bytes = size_t(client.bitCount / 8);
    const int64_t width = shown_.right - shown_.left, height = shown_.bottom - shown_.top;
    for (const PixelRect& r : rects) {
        const PixelRect from{std::max(r.left, 0), std::max(r.top, 0), std::min(r.right, client.width),
                             std::min(r.bottom, client.height)};
        if (from.empty()) continue;
        PixelRect to = toScreen(from);
        to = {std::max(to.left, 0), std::max(to.top, 0), std::min(to.right, screen.width),
              std::min(to.bottom, screen.height)};
        if (to.empty()) continue;
        if (width == clientWidth_ && height == clientHeight_) {
            // At the client's own size the rows are copied as they are.
            const size_t row = size_t(to.right - to.left) * bytes;
            for (int32_t y = to.top; y < to.bottom; ++y)
                std::memcpy(screen.pixels + int64_t{y} * screen.pitch + size_t(to.left) * bytes,
                            client.pixels + (y - shown_.top) * int64_t{client.pitch} + size_t(to.left - shown_.left) * bytes,
                            row);
            written.push_back(to);
            continue;
        }
        // Each screen pixel takes the client pixel its top-left corner lies on.
        std::vector<size_t> columns;
        for (int32_t x = to.left; x < to.right; ++x)
            columns.push_back(size_t((x - shown_.left) * int64_t{clientWidth_} / width) * bytes);
        for (int32_t y = to.top; y < to.bottom; ++y) {
            const int64_t row = (y - shown_.top) * int64_t{clientHeight_} / height;
            const uint8_t* source = client.pixels + row * client.pitch;
            uint8_t* dest = screen.pixels + int64_t{y} * screen.pitch + size_t(to.left) * bytes;
            for (size_t column : columns) {
                std::memcpy(dest, source + column, bytes);
                dest += bytes;
            }
        }
        written.push_back(to);
    }
    return written;
}

// ---- ScaledWindow ----

namespace {

// The rows of a buffer from Top down.
PixelBuffer RowsFrom(PixelBuffer buffer, int32_t top) {
    if (buffer.pixels) buffer.pixels += int64_t{top} * buffer.pitch;
    buffer.height -= top;
    return buffer;
}

int32_t BandWithin(int32_t band, int32_t clientHeight, int32_t windowHeight) {
    return std::clamp(band, 0, std::max(std::min(clientHeight, windowHeight) - 1, 0));
}

// Writes the window rectangle To (rows of the band) from the band's pixels, the columns past the
// client's carried on in the colour of its last one.
void CopyBandRows(const PixelBuffer& client, const PixelBuffer& window, const PixelRect& to) {
    const size_t bytes = size_t(client.bitCount / 8);
    const int32_t copied = std::clamp(client.width, to.left, to.right);
    for (int32_t y = to.top; y < to.bottom; ++y) {
        const uint8_t* source = client.pixels + int64_t{y} * client.pitch;
        uint8_t* dest = window.pixels + int64_t{y} * window.pitch;
        std::memcpy(dest + size_t(to.left) * bytes, source + size_t(to.left) * bytes, size_t(copied - to.left) * bytes);
        for (int32_t x = copied; x < to.right; ++x)
            std::memcpy(dest + size_t(x) * bytes, source + size_t(client.width - 1) * bytes, bytes);
    }
}

}  // namespace

ScaledWindow::ScaledWindow(int32_t clientWidth, int32_t clientHeight, int32_t band, int32_t windowWidth,
                           int32_t windowHeight, BandPlace place)
    : clientWidth_(std::max(clientWidth, 1)),
      band_(BandWithin(band, clientHeight, windowHeight)),
      shownBand_(place == BandPlace::Hidden ? 0 : band_),
      belowTop_(place == BandPlace::Above ? band_ : 0),
      below_(clientWidth, clientHeight - band_, windowWidth, windowHeight - belowTop_) {}

void ScaledWindow::toClient(int32_t& x, int32_t& y) const {
    if (y < shownBand_) {
        x = std::clamp(x, 0, clientWidth_ - 1);
        y = std::max(y, 0);
        return;
    }
    y -= belowTop_;
    below_.toClient(x, y);
    y += band_;
}

void ScaledWindow::toScreen(int32_t& x, int32_t& y) const {
    if (y < band_) return;
    y -= band_;
    below_.toScreen(x, y);
    y += belowTop_;
}

PixelRect ScaledWindow::toScreen(const PixelRect& r) const { return CornersToScreen(*this, r); }

std::vector<PixelRect> ScaledWindow::copy(const PixelBuffer& client, const PixelBuffer& window,
                                          const std::vector<PixelRect>& rects) const {
    std::vector<PixelRect> written;
    if (!client.pixels || !window.pixels || client.width <= 0) return written;
    std::vector<PixelRect> below;
    for (const PixelRect& r : rects) {
        const PixelRect band{std::max(r.left, 0), std::max(r.top, 0), std::min(r.right, client.width),
                             std::min({r.bottom, shownBand_, client.height, window.height})};
        // A rectangle that reaches the band's last column carries it on to the window's edge.
        const int32_t right = band.right == client.width ? window.width : std::min(band.right, window.width);
        if (!band.empty() && band.left < right) {
            const PixelRect to{band.left, band.top, right, band.bottom};
            CopyBandRows(client, window, to);
            written.push_back(to);
        }
        if (r.bottom > band_) below.push_back({r.left, r.top - band_, r.right, r.bottom - band_});
    }
    for (PixelRect r : below_.copy(RowsFrom(client, band_), RowsFrom(window, belowTop_), below)) {
        r.top += belowTop_;
        r.bottom += belowTop_;
        // A band laid over the rows keeps them.
        if (r.top < shownBand_) CopyBandRows(client, window, {r.left, r.top, r.right, std::min(r.bottom, shownBand_)});
        written.push_back(r);
    }
    return written;
}

void ScaledWindow::copyAll(const PixelBuffer& client, const PixelBuffer& window) const {
    if (!window.pixels) return;
    for (int32_t y = 0; y < window.height; ++y)
        std::memset(window.pixels + int64_t{y} * window.pitch, 0, size_t(window.width) * size_t(window.bitCount / 8));
    copy(client, window, {{0, 0, client.width, client.height}});
}

bool CursorImageUsable(const PixelBuffer& image, int32_t hotX, int32_t hotY) {
    return image.pixels && image.bitCount == 32 && image.width > 0 && image.height > 0 &&
           image.pitch >= int64_t{image.width} * 4 && hotX >= 0 && hotY >= 0 && hotX < image.width &&
           hotY < image.height;
}

// ---- HeadlessDisplay ----

uint32_t HeadlessDisplay::Frame::pixel(int32_t x, int32_t y) const {
    PixelBuffer format = pixels.describe();
    if (x < 0 || y < 0 || x >= format.width || y >= format.height) return 0;
    uint32_t value;
    std::memcpy(&value, pixels.data() + static_cast<size_t>(y) * format.pitch + static_cast<size_t>(x) * 4, 4);
    return value & 0x00FFFFFF;
}

HeadlessDisplay::HeadlessDisplay()
    : desktop{1920, 1080, 32, 60},
      modes{{640, 480, 32, 60}, {800, 600, 32, 60}, {1024, 768, 32, 60}, {1920, 1080, 32, 60}},
      area{0, 0, 1920, 1080} {}

void HeadlessDisplay::setBounds(int32_t newLeft, int32_t newTop, int32_t clientWidth, int32_t clientHeight) {
    left = newLeft;
    top = newTop;
    frame_.resize(clientWidth, clientHeight);
    if (!fullScreen) normal_ = {newLeft, newTop, clientWidth, clientHeight, false};
}

WindowPlacement HeadlessDisplay::placement() {
    WindowPlacement now = normal_;
    now.shown = shown;
    now.maximized = maximized;
    return now;
}

int32_t HeadlessDisplay::clientWidth() { return frame_.describe().width; }
int32_t HeadlessDisplay::clientHeight() { return frame_.describe().height; }

void HeadlessDisplay::setWindowSize(int32_t width, int32_t height) {
    normal_.clientWidth = width;
    normal_.clientHeight = height;
}

void HeadlessDisplay::setUnscaledTop(int32_t rows) {
    if (fullScreen) frame_.resize(clientWidth(), clientHeight() - unscaledTop + rows);
    unscaledTop = rows;
}

void HeadlessDisplay::maximize() {
    if (fullScreen)
        maximizeBack_ = true;
    else
        maximized = true;
}

bool HeadlessDisplay::setFullScreen(const DisplayModeInfo* mode) {
    const bool was = fullScreen;
    fullScreen = false;
    if (mode && std::find(refusedModes.begin(), refusedModes.end(), *mode) == refusedModes.end()) {
        fullScreen = true;
        fullScreenMode = *mode;
        left = top = 0;
        frame_.resize(static_cast<int32_t>(mode->width), static_cast<int32_t>(mode->height) + unscaledTop);
        screen_.resize(static_cast<int32_t>(desktop.width), static_cast<int32_t>(desktop.height));
    }
    if (fullScreen && !was) {
        unscaledTopShown = false;
        maximizeBack_ = false;
        maximized = false;
    } else if (was && !fullScreen) {
        maximized = std::exchange(maximizeBack_, false);
    }
    return fullScreen || !mode;
}

ScaledWindow HeadlessDisplay::shownScreen() const {
    const PixelBuffer client = frame_.describe();
    const BandPlace place = UnscaledTopPlace(fullScreen, unscaledTopShown);
    if (fullScreen)
        return ScaledWindow(client.width, client.height, unscaledTop, int32_t(desktop.width), int32_t(desktop.height),
                            place);
    return ScaledWindow(client.width, client.height, unscaledTop, normal_.clientWidth, normal_.clientHeight, place);
}

bool HeadlessDisplay::windowScaled() const {
    const PixelBuffer client = frame_.describe();
    return fullScreen || normal_.clientWidth != client.width || normal_.clientHeight != client.height;
}

void HeadlessDisplay::toClient(int32_t& x, int32_t& y) const {
    if (windowScaled()) shownScreen().toClient(x, y);
}

namespace {

// Records a presented frame, keeping the last Keep of them (0: all).
void KeepFrame(std::vector<HeadlessDisplay::Frame>& Frames, size_t Keep, const std::vector<PixelRect>& Rects,
               const MemorySurface& Pixels) {
    if (Keep == 0 || Frames.size() < Keep) {
        Frames.push_back(HeadlessDisplay::Frame{Rects, Pixels});
        return;
    }
    // The oldest kept frame takes the new one in its own buffers: no allocation per frame.
    Frames.erase(Frames.begin(), Frames.end() - static_cast<ptrdiff_t>(Keep));
    std::rotate(Frames.begin(), Frames.begin() + 1, Frames.end());
    Frames.back().rects = Rects;
    Frames.back().pixels = Pixels;
}

// Event is a Close; true.
bool GiveClose(InputEvent& event) {
    event = InputEvent{};
    event.kind = InputKind::Close;
    return true;
}

// A dialog window of the headless display: its pixels in memory, its input from the display's
// script.
class HeadlessDialog final : public DialogWindow {
public:
    HeadlessDialog(HeadlessDisplay& Owner, size_t Index, int32_t Width, int32_t Height)
        : owner_(Owner), index_(Index), frame_(Width, Height, 32) {}
    ~HeadlessDialog() override { owner_.dialogs[index_].open = false; }
    PixelSurface& frame() override { return frame_; }
    void present(const std::vector<PixelRect>& rects) override {
        KeepFrame(owner_.dialogs[index_].frames, owner_.keepFrames, rects, frame_);
    }
    PixelRect bounds() override { return owner_.dialogs[index_].bounds; }

protected:
    bool waitDialogEvent(InputEvent& event, uint32_t) override {
        if (owner_.dialogInput.empty()) return GiveClose(event);
        event = owner_.dialogInput.front();
        owner_.dialogInput.pop_front();
        return true;
    }

private:
    HeadlessDisplay& owner_;
    size_t index_;
    MemorySurface frame_;
};

}  // namespace

std::unique_ptr<DialogWindow> Display::openDialog(const std::string&, int32_t, int32_t) { return nullptr; }

bool DialogWindow::waitEvent(InputEvent& event, uint32_t timeoutMs) {
    return EndSignalWaiting() ? GiveClose(event) : waitDialogEvent(event, timeoutMs);
}

bool Display::waitEvent(InputEvent& event, uint32_t timeoutMs) {
    if (TakeEndSignal()) return GiveClose(event);
    if (!waitWindowEvent(event, timeoutMs)) return false;
    const bool padUsed = event.kind == InputKind::PadDown ||
                         (event.kind == InputKind::PadStick &&
                          std::max(std::abs(event.x), std::abs(event.y)) > PadDeadZone);
    const bool mouseMoved = event.kind == InputKind::MouseMove && !event.warped;
    if ((padUsed && pointerShown_) || (mouseMoved && !pointerShown_)) {
        pointerShown_ = mouseMoved;
        showPointer(pointerShown_);
    }
    return true;
}

bool Display::takeClose() {
    const bool signalled = TakeEndSignal();
    return takeWindowClose() || signalled;
}

PixelRect CentredDialogBounds(const PixelRect& workArea, int32_t clientWidth, int32_t clientHeight) {
    const int32_t left = workArea.left + (workArea.right - workArea.left - clientWidth) / 2;
    const int32_t top = workArea.top + (workArea.bottom - workArea.top - clientHeight) / 2;
    return {left, top, left + clientWidth, top + clientHeight};
}

std::unique_ptr<DialogWindow> HeadlessDisplay::openDialog(const std::string& title, int32_t clientWidth,
                                                          int32_t clientHeight) {
    if (clientWidth <= 0 || clientHeight <= 0 || clientWidth > kMaxDialogSide || clientHeight > kMaxDialogSide)
        return nullptr;
    if (std::any_of(dialogs.begin(), dialogs.end(), [](const ShownDialog& d) { return d.open; })) return nullptr;
    dialogs.push_back({title, CentredDialogBounds(area, clientWidth, clientHeight), {}, true});
    return std::make_unique<HeadlessDialog>(*this, dialogs.size() - 1, clientWidth, clientHeight);
}

void HeadlessDisplay::present(const std::vector<PixelRect>& rects) {
    if (!windowScaled()) {
        KeepFrame(frames, keepFrames, rects, frame_);
        return;
    }
    const int32_t width = fullScreen ? int32_t(desktop.width) : normal_.clientWidth;
    const int32_t height = fullScreen ? int32_t(desktop.height) : normal_.clientHeight;
    if (screen_.describe().width != width || screen_.describe().height != height) screen_.resize(width, height);
    KeepFrame(frames, keepFrames, shownScreen().copy(frame_.lock(), screen_.lock(), rects), screen_);
}

void HeadlessDisplay::showUnscaledTop(bool shownNow) {
    if (shownNow == unscaledTopShown) return;
    unscaledTopShown = shownNow;
    if (!fullScreen) return;
    shownScreen().copyAll(frame_.lock(), screen_.lock());
    const PixelBuffer all = screen_.describe();
    KeepFrame(frames, keepFrames, {{0, 0, all.width, all.height}}, screen_);
}

void HeadlessDisplay::cursorPos(int32_t& x, int32_t& y) {
    {
        std::lock_guard lock(mutex_);
        x = cursorX_;
        y = cursorY_;
    }
    toClient(x, y);
}

void HeadlessDisplay::setCursorPos(int32_t x, int32_t y) {
    if (windowScaled()) shownScreen().toScreen(x, y);
    std::lock_guard lock(mutex_);
    cursorX_ = x;
    cursorY_ = y;
}

bool HeadlessDisplay::setCursor(const PixelBuffer& image, int32_t hotX, int32_t hotY) {
    if (!CursorImageUsable(image, hotX, hotY)) return false;
    ShownCursor shown{true, image.width, image.height, hotX, hotY, {}};
    shown.pixels.resize(static_cast<size_t>(image.width) * static_cast<size_t>(image.height));
    for (int32_t y = 0; y < image.height; ++y)
        std::memcpy(shown.pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(image.width),
                    image.pixels + static_cast<size_t>(y) * static_cast<size_t>(image.pitch),
                    static_cast<size_t>(image.width) * 4);
    cursor = std::move(shown);
    ++cursorChanges;
    return true;
}

void HeadlessDisplay::setDefaultCursor() {
    cursor = ShownCursor{};
    ++cursorChanges;
}

bool IsMouseEvent(InputKind Kind) {
    return Kind == InputKind::MouseDown || Kind == InputKind::MouseUp || Kind == InputKind::MouseMove ||
           Kind == InputKind::Wheel;
}

void HeadlessDisplay::inject(const InputEvent& event) {
    std::lock_guard lock(mutex_);
    if (IsMouseEvent(event.kind)) {
        cursorX_ = event.x;
        cursorY_ = event.y;
    }
    queue_.push_back(event);
    cond_.notify_all();
}

void HeadlessDisplay::wake() {
    std::lock_guard lock(mutex_);
    woken_ = true;
    cond_.notify_all();
}

bool HeadlessDisplay::takeWindowClose() {
    std::lock_guard lock(mutex_);
    return std::erase_if(queue_, [](const InputEvent& e) { return e.kind == InputKind::Close; }) > 0;
}

// Queued events come before a wake, as they do in the SDL backend's queue.
bool HeadlessDisplay::waitWindowEvent(InputEvent& event, uint32_t timeoutMs) {
    std::unique_lock lock(mutex_);
    cond_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return woken_ || !queue_.empty(); });
    if (queue_.empty()) {
        woken_ = false;
        return false;
    }
    event = queue_.front();
    queue_.pop_front();
    if (IsMouseEvent(event.kind)) toClient(event.x, event.y);
    return true;
}

void PrintMessage(const std::string& Caption, const std::string& Text) {
    std::fprintf(stderr, "%s: %s\n", TerminalText(Caption).c_str(), TerminalText(Text).c_str());
}

MessageResult Display::report(const std::string& caption, const std::string& text, MessageIcon icon) {
    PrintMessage(caption, text);
    reporting_ = true;
    struct Reported {
        bool& reporting;
        ~Reported() { reporting = false; }
    } reported{reporting_};
    return messageBox(caption, text, MessageButtons::Ok, icon);
}

void Display::printUnseenBox(const std::string& caption, const std::string& text) const {
    if (!reporting_) PrintMessage(caption, text);
}

MessageResult SafeAnswer(MessageButtons Buttons) {
    switch (Buttons) {
        case MessageButtons::YesNo: return MessageResult::No;
        case MessageButtons::OkCancel: return MessageResult::Cancel;
        case MessageButtons::Ok: break;
    }
    return MessageResult::Ok;
}

MessageResult HeadlessDisplay::messageBox(const std::string& boxCaption, const std::string& text,
                                          MessageButtons buttons, MessageIcon icon) {
    messages.push_back({boxCaption, text, buttons, icon});
    printUnseenBox(boxCaption, text);
    if (answers.empty()) return SafeAnswer(buttons);
    MessageResult answer = answers.front();
    answers.pop_front();
    return answer;
}

int HeadlessDisplay::choiceBox(const std::string& boxCaption, const std::string& text,
                               const std::vector<std::string>& labels, size_t cancel, MessageIcon icon) {
    choices.push_back({boxCaption, text, labels, cancel, icon});
    printUnseenBox(boxCaption, text);
    if (choiceAnswers.empty()) return static_cast<int>(cancel);
    const int answer = choiceAnswers.front();
    choiceAnswers.pop_front();
    return answer;
}

std::optional<std::string> HeadlessDisplay::fileDialog(const FileDialogRequest& request) {
    fileDialogs.push_back(request);
    if (fileAnswers.empty()) {
        std::fprintf(stderr, "no answer for the file dialog: cancelled\n");
        return std::nullopt;
    }
    std::optional<std::string> answer = std::move(fileAnswers.front());
    fileAnswers.pop_front();
    return answer;
}

std::unique_ptr<PixelSurface> HeadlessDisplay::createSurface(int32_t width, int32_t height, int bitCount) {
    // The same limit as the SDL backend's: a surface's bytes fit an int.
    if (width < 0 || height < 0 || int64_t{width} * 4 * height > INT32_MAX) return nullptr;
    return std::make_unique<MemorySurface>(width, height, bitCount);
}

// ---- The program's display ----

namespace {

bool EnvironmentSet(const char* Name) {
    const char* value = std::getenv(Name);
    return value && *value;
}

// The display of a window system that can show no window of the player's: closed from its start,
// so that the title ends at once as on a close instead of playing unseen, and telling why.
class ShowsNothingDisplay final : public HeadlessDisplay {
public:
    ShowsNothingDisplay() {
        InputEvent close;
        close.kind = InputKind::Close;
        inject(close);
    }
    std::string lost() override { return DisplayLoss(); }
};

}  // namespace

bool WindowWanted() {
    const char* headless = std::getenv("VELA_HEADLESS");
    // Without a display server (and no video driver asked for) there is nothing to open: the
    // device probes would only print their complaints.
    const bool server = EnvironmentSet("DISPLAY") || EnvironmentSet("WAYLAND_DISPLAY") || EnvironmentSet("SDL_VIDEODRIVER");
    return !(headless && std::strcmp(headless, "1") == 0) && server;
}

std::unique_ptr<Display> CreateDisplay() {
    CatchEndSignals();
    if (WindowWanted()) {
        if (auto display = CreateSdlDisplay()) return display;
        if (!DisplayLoss().empty()) return std::make_unique<ShowsNothingDisplay>();
    }
    return std::make_unique<HeadlessDisplay>();
}

}  // namespace platform
