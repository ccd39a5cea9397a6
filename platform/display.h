#pragma once
// The display: the player's one window (or its headless stand-in), the window's pixels, the
// desktop's display modes, mouse and keys as events of the main thread, message boxes, and
// pixel surfaces that live with the display.
//
// Two backends: SDL2 (a real window) and headless (no device: presented frames are recorded
// with their rectangles, input is injected, message boxes are answered from a list). The
// backend only talks to the device; what the window does with a click or a key is decided by
// the caller. Every coordinate is in client pixels of the window; key codes are Windows
// virtual-key numbers (the SDL backend maps its keys into them).
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// A rectangle in pixels, half-open.
struct PixelRect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    bool empty() const { return right <= left || bottom <= top; }
    bool operator==(const PixelRect&) const = default;
};

// A full-screen display mode.
struct DisplayModeInfo {
    uint32_t width = 0, height = 0, bitCount = 0, refreshRate = 0;  // refresh 0: the adapter's default
    bool operator==(const DisplayModeInfo&) const = default;
};

// Locked pixels: rows of `pitch` bytes from the top row down, pixels of bitCount / 8 bytes (16,
// 24 or 32 bits; a 5-5-5 surface says 16) whose channels lie where the masks say. Surfaces the
// program makes are 0x00RRGGBB or 5-6-5; a window's pixels are what the window system gives.
// An indexed surface says 1, 4 or 8 bits and no masks: its pixels are indexes into its palette,
// the leftmost pixel of a byte in its high bits.
struct PixelBuffer {
    uint8_t* pixels = nullptr;  // nullptr when the surface could not be locked
    int32_t width = 0, height = 0, pitch = 0;
    int bitCount = 32;
    uint32_t redMask = 0x00FF0000, greenMask = 0x0000FF00, blueMask = 0x000000FF;
};

// A full-screen mode on a screen of another size: the mode's pixels (the client area the program
// draws) scaled to fill the screen with their aspect kept, centred, black around them. A screen
// pixel shows the client pixel its top-left corner falls on, so that a rectangle of the client
// is shown by the same screen pixels whether it is copied alone or with the whole client.
class ScaledScreen {
public:
    // Client and screen sizes of at least one pixel each way.
    ScaledScreen(int32_t clientWidth, int32_t clientHeight, int32_t screenWidth, int32_t screenHeight);
    // The screen pixels that show the client.
    const PixelRect& shown() const { return shown_; }
    int32_t screenWidth() const { return screenWidth_; }
    int32_t screenHeight() const { return screenHeight_; }
    // The client pixel under a screen point, kept inside the client: the pointer over the black
    // border is at the client's edge, as it would be on a screen of the mode's own size.
    void toClient(int32_t& x, int32_t& y) const;
    // The first screen pixel that shows a client point.
    void toScreen(int32_t& x, int32_t& y) const;
    // The screen pixels that show a client rectangle.
    PixelRect toScreen(const PixelRect& r) const;
    // Copies the rectangles of the client (clipped to it) into the screen's pixels, scaled;
    // both buffers have pixels of the same size. The screen rectangles written.
    std::vector<PixelRect> copy(const PixelBuffer& client, const PixelBuffer& screen,
                                const std::vector<PixelRect>& rects) const;

private:
    int32_t clientWidth_, clientHeight_, screenWidth_, screenHeight_;
    PixelRect shown_;
};

// Where a window shows the band of a ScaledWindow.
enum class BandPlace : uint8_t {
    Above,   // along the window's top, the rows below it scaled into the rest of the window
    Over,    // laid over the top of the rows below it, which are scaled into the whole window
    Hidden,  // nowhere, the rows below it scaled into the whole window
};

// A client area shown in a window of any size: its top Band rows (a toolbar) at their own size
// along the window's top, each row carried on to the window's right edge in the colour of its
// last pixel, where Place says; the rows below the band scaled as ScaledScreen shows a mode on a
// screen (aspect kept, centred, black around). With no band and a window of the client's size the
// window shows the client as it is. A window shows its toolbar above the scene; full screen lays it
// over the scene's top while it is shown, the scene keeping its place.
class ScaledWindow {
public:
    // Client and window sizes of at least one pixel each way; Band is kept within the client and
    // the window.
    ScaledWindow(int32_t clientWidth, int32_t clientHeight, int32_t band, int32_t windowWidth, int32_t windowHeight,
                 BandPlace place = BandPlace::Above);
    // The client pixel under a window point, kept inside the client (a point on the band's
    // carried-on part is at the band's last column).
    void toClient(int32_t& x, int32_t& y) const;
    // The first window pixel that shows a client point (a point of a hidden band: where it would
    // be shown).
    void toScreen(int32_t& x, int32_t& y) const;
    // The window pixels that show a client rectangle.
    PixelRect toScreen(const PixelRect& r) const;
    // Copies the rectangles of the client (clipped to it) into the window's pixels; both buffers
    // have pixels of the same size. The window rectangles written.
    std::vector<PixelRect> copy(const PixelBuffer& client, const PixelBuffer& window,
                                const std::vector<PixelRect>& rects) const;
    // Writes every window pixel: the whole client shown and black around it.
    void copyAll(const PixelBuffer& client, const PixelBuffer& window) const;

private:
    int32_t clientWidth_, band_;
    // The window rows the band takes (none when hidden), and the first row of the scaled rest.
    int32_t shownBand_, belowTop_;
    ScaledScreen below_;
};

// Where the display shows its frame's unscaled top rows: above the rest in a window, in full
// screen over the rest's top while they are to be shown.
inline BandPlace UnscaledTopPlace(bool fullScreen, bool shown) {
    return !fullScreen ? BandPlace::Above : shown ? BandPlace::Over : BandPlace::Hidden;
}

// A block of pixels kept by the display backend.
class PixelSurface {
public:
    virtual ~PixelSurface() = default;
    // The pixels until Unlock; lock and unlock pair up within one call of the caller.
    virtual PixelBuffer lock() = 0;
    virtual void unlock() = 0;
    // Size and format without locking (pixels stays nullptr).
    virtual PixelBuffer describe() const = 0;
    // The palette of an indexed surface, 2^bitCount entries of 0x00RRGGBB: entries
    // [first, first + count) read into or written from Entries. False, touching nothing, for a
    // surface without a palette or a range that does not lie inside it.
    virtual bool getPalette(int, int, uint32_t*) const { return false; }
    virtual bool setPalette(int, int, const uint32_t*) { return false; }
};

// Whether [first, first + count) lies inside a palette of Size entries (count at least 1).
inline bool PaletteRange(int size, int first, int count) {
    return first >= 0 && count > 0 && int64_t{first} + count <= size;
}

enum class InputKind : uint8_t {
    MouseDown,   // button, x, y
    MouseUp,     // button, x, y
    MouseMove,   // x, y
    Wheel,       // wheel (> 0 away from the user: up), x, y
    KeyDown,     // key, repeat (the key was already down), alt (an Alt key was held)
    KeyUp,       // key, alt
    Activate,    // the window came to the foreground
    Deactivate,  // the window left the foreground
    Close,       // the user asked to close the window
    Expose,      // the window's pixels were lost (or its size changed) and must be shown again
    MouseLeave,  // the pointer left the window (or the window moved away from under it)
    Text,        // text typed (code page 932): to the dialog window, and to the main window while its
                 // text input is on
    PadDown,     // key: a game controller's button (PadButton) went down
    PadUp,       // key: the button came up
    PadStick,    // key: a game controller's stick (PadStick) moved; x, y: where it stands now,
                 // -32768..32767 each way (x > 0 right, y > 0 down)
};

// The buttons of a game controller, as every pad SDL knows has them.
enum class PadButton : uint8_t {
    A, B, X, Y, Back, Guide, Start, LeftStick, RightStick, LeftShoulder, RightShoulder,
    DpadUp, DpadDown, DpadLeft, DpadRight,
    Count
};
enum class PadStick : uint8_t { Left, Right, Count };
// How far a stick may stand from its centre (either way) and count as left alone.
inline constexpr int32_t PadDeadZone = 8000;

enum class MouseButton : uint8_t { None, Left, Right, Middle };

// Whether an event of the kind carries a pointer position.
bool IsMouseEvent(InputKind Kind);

struct InputEvent {
    InputKind kind = InputKind::MouseMove;
    int32_t x = 0, y = 0;
    MouseButton button = MouseButton::None;
    int32_t wheel = 0;
    int32_t key = 0;
    bool repeat = false, alt = false;
    std::string text{};
    bool ctrl = false, shift = false;  // held with a key
    // A MouseMove that only reports where setCursorPos put the pointer.
    bool warped = false;
};

enum class MessageButtons : uint8_t { Ok, OkCancel, YesNo };
enum class MessageIcon : uint8_t { None, Information, Warning, Question, Error };
enum class MessageResult : uint8_t { Ok, Cancel, Yes, No };

enum class FileDialogKind : uint8_t { Open, Save, Folder };

// What a file or folder dialog asks: the folder it opens in (a host path; "" for the dialog's
// own choice), for files the filter: description and mask pairs joined by "|"
// ("Text|*.txt;*.doc|All|*.*"), and the title ("" for the dialog's own). Texts are code page 932
// at the display, UTF-8 at the desktop's dialog.
// Writes a box's text to standard error as "Caption: Text" (both code page 932), as the
// headless boxes show theirs: one line, or continuation lines indented, with the controls
// escaped (TerminalText). Every line of the player's that can hold a title's text goes out here.
void PrintMessage(const std::string& Caption, const std::string& Text);
// The answer of a box nobody can answer: No for Yes/No, Cancel for OK/Cancel, else OK.
MessageResult SafeAnswer(MessageButtons Buttons);

// Where a window lies when it is neither full screen, minimised nor maximised: its outer left and
// top on the desktop and its client size; whether it shows, and whether it is maximised.
struct WindowPlacement {
    int32_t left = 0, top = 0, clientWidth = 0, clientHeight = 0;
    bool shown = false, maximized = false;
    bool operator==(const WindowPlacement&) const = default;
};

struct FileDialogRequest {
    FileDialogKind kind = FileDialogKind::Open;
    std::string folder;
    std::string filter;
    std::string title;
};

// The window of the program's own dialogs, modal over the main window while it is open; closed
// when freed. Its title is given in code page 932.
class DialogWindow {
public:
    virtual ~DialogWindow() = default;
    // The client area's pixels.
    virtual PixelSurface& frame() = 0;
    // Shows the given rectangles of the frame.
    virtual void present(const std::vector<PixelRect>& rects) = 0;
    // The next event of the dialog window (typed text included), waiting up to TimeoutMs; false
    // when none came or the display was woken. Meanwhile the main window's mouse and keys are
    // dropped and its other events wait for its own waitEvent. A caught SIGTERM or SIGINT closes
    // the dialog too: it comes as a Close and stays for the main window.
    bool waitEvent(InputEvent& event, uint32_t timeoutMs);
    // The client area on the desktop.
    virtual PixelRect bounds() = 0;

protected:
    // The dialog window's own events, as waitEvent gives them.
    virtual bool waitDialogEvent(InputEvent& event, uint32_t timeoutMs) = 0;
};

class Display {
public:
    virtual ~Display() = default;

    virtual bool headless() const = 0;

    // ---- The desktop ----
    // The desktop's own mode (its size, depth and refresh rate).
    virtual DisplayModeInfo desktopMode() = 0;
    // Every full-screen mode of the primary display, in the device's order.
    virtual std::vector<DisplayModeInfo> displayModes() = 0;
    // What panels and docks leave free on the primary display.
    virtual PixelRect workArea() = 0;

    // ---- The window ----
    // The window's caption; Text is code page 932.
    virtual void setCaption(const std::string& text) = 0;
    // Places the window (its outer left and top on the desktop) with a client area of the size:
    // the frame takes the size, and the window's client area too. In full screen only the window's
    // normal place changes.
    virtual void setBounds(int32_t left, int32_t top, int32_t clientWidth, int32_t clientHeight) = 0;
    // The frame's size.
    virtual int32_t clientWidth() = 0;
    virtual int32_t clientHeight() = 0;
    // The window's client area takes the size (as when the user resizes or maximises the window)
    // while the frame keeps its own: the window shows the frame as ScaledWindow lays it out, and
    // mouse positions and the cursor stay in frame pixels. In full screen the size is kept for
    // the normal state.
    virtual void setWindowSize(int32_t width, int32_t height) = 0;
    // The frame's top rows (a toolbar): a window of another size shows them at their own size
    // above the rest, scaled. Full screen keeps them above the mode's rows (the frame is that much
    // taller than the mode): the mode's rows fill the screen and the toolbar's lie over their top
    // at their own size while showUnscaledTop says so.
    virtual void setUnscaledTop(int32_t rows) = 0;
    // In full screen, whether the unscaled top rows are shown (not when full screen starts); the
    // whole screen is shown again from the frame. This base has no such rows.
    virtual void showUnscaledTop(bool) {}
    // Shows the window (created hidden).
    virtual void show() = 0;
    // The window's normal place (its client size the window's, not the frame's), also while it is
    // full screen, minimised or maximised; maximised never in full screen (the window systems
    // drop it there).
    virtual WindowPlacement placement() = 0;
    // Minimises the window (shown again by show()).
    virtual void minimize() = 0;
    // Maximises the window; in full screen once it is back in a window. This base has no window
    // to maximise.
    virtual void maximize() {}
    // Full screen in Mode, or windowed for nullptr. False when the mode cannot be set: the
    // window is then windowed. The desktop keeps its own mode: the frame takes the mode's size
    // (below the unscaled top rows) and is shown scaled over the whole desktop (ScaledWindow), and
    // mouse positions and the cursor stay in frame pixels. Back in a window, the window takes its
    // normal place and size again.
    virtual bool setFullScreen(const DisplayModeInfo* mode) = 0;

    // The client area's pixels (the frame); valid until the client size changes.
    virtual PixelSurface& frame() = 0;
    // Shows the given rectangles of the frame (one present per call; an empty list shows
    // nothing). A window that lost its pixels (uncovered, mapped, resized) is shown again whole
    // from the frame by the display itself.
    virtual void present(const std::vector<PixelRect>& rects) = 0;

    // The mouse cursor in client coordinates. Moving it sends no event of its own (a window
    // system may still report the move as a MouseMove).
    virtual void cursorPos(int32_t& x, int32_t& y) = 0;
    virtual void setCursorPos(int32_t x, int32_t y) = 0;
    // Shows Image as the mouse cursor over the window, its hot spot (the pixel that points) at
    // (HotX, HotY). Image holds 32-bit pixels 0xAARRGGBB with straight alpha in the top byte (its
    // masks are not read), rows of pitch bytes from the top row down; the pixels are copied.
    // False when the cursor cannot be made (no pixels, another depth, a hot spot outside the
    // image, or the device refuses): the cursor shown stays.
    virtual bool setCursor(const PixelBuffer& image, int32_t hotX, int32_t hotY) = 0;
    // Shows the system's own cursor again.
    virtual void setDefaultCursor() = 0;
    // Whether the pointer shows over the window: it hides while a game controller is used (a
    // button goes down, a stick leaves its centre) and shows again when the mouse moves.
    bool pointerShown() const { return pointerShown_; }

    // ---- Events of the main thread ----
    // The next event, waiting up to TimeoutMs for one; false when none came (or wake was called).
    // A SIGTERM or SIGINT caught before the call (CatchEndSignals) comes first, as a Close.
    bool waitEvent(InputEvent& event, uint32_t timeoutMs);
    // Any thread: ends a waitEvent at once.
    virtual void wake() = 0;
    // Main thread: takes the requests to close the window that wait among its events (its close
    // box, the end of the session, a caught SIGTERM or SIGINT) and leaves every other event for
    // waitEvent; whether there was one. For a caller that keeps the main thread busy for long (a
    // script that never waits).
    bool takeClose();

    // Why the window's display went away (its server closed, the connection to it broke, another
    // program destroyed the window): one clause in English, "" while it is there. A display that
    // went away comes as a close of the window, once; its boxes are written to standard error and
    // answered as closed. This base never goes away.
    virtual std::string lost() { return {}; }

    // ---- Dialogs ----
    // A modal message box; Caption and Text are code page 932.
    virtual MessageResult messageBox(const std::string& caption, const std::string& text, MessageButtons buttons,
                                     MessageIcon icon) = 0;
    // Shows Text in an OK box as messageBox does and writes it to standard error once, whether the
    // box is seen or not: what the player itself reports.
    MessageResult report(const std::string& caption, const std::string& text, MessageIcon icon);
    // A modal message box with buttons of its own: Labels in order (code page 932; "&" marks of
    // accelerators are dropped), the first the default one, Labels[Cancel] the one a closed box
    // answers. The index of the button chosen.
    virtual int choiceBox(const std::string& caption, const std::string& text, const std::vector<std::string>& labels,
                          size_t cancel, MessageIcon icon) = 0;
    // A modal file or folder dialog: the host path chosen, nothing when cancelled. Where no
    // dialog can be shown it counts as cancelled and one line goes to standard error.
    virtual std::optional<std::string> fileDialog(const FileDialogRequest& request) = 0;

    // Opens the dialog window, titled Title, with a client area of the size (1..kMaxDialogSide
    // each way) centred on the desktop's work area; nullptr when none can be opened (a display
    // without windows or gone away, a size out of range, or one is open already).
    virtual std::unique_ptr<DialogWindow> openDialog(const std::string& title, int32_t clientWidth,
                                                     int32_t clientHeight);

    // ---- Surfaces ----
    // A new surface of the size; BitCount 1, 4 or 8 (indexed, its palette all zero), 16 or 32
    // (anything else is 32). nullptr when it cannot be made.
    virtual std::unique_ptr<PixelSurface> createSurface(int32_t width, int32_t height, int bitCount) = 0;

    // ---- Typed text and the clipboard ----
    // Typed text for the main window on (the desktop's input method shows its candidates at
    // Caret, client coordinates) or off; off at the start.
    virtual void setTextInput(bool on, const PixelRect& caret) = 0;
    // The desktop's text clipboard, code page 932 inside ("" when it holds no text).
    virtual std::string clipboardText() = 0;
    virtual void setClipboardText(const std::string& text) = 0;

protected:
    // The window's own events and closes, as waitEvent and takeClose give them; this base has no
    // close of its own.
    virtual bool waitWindowEvent(InputEvent& event, uint32_t timeoutMs) = 0;
    virtual bool takeWindowClose() { return false; }
    // Shows or hides the pointer over the window; this base has none.
    virtual void showPointer(bool) {}
    // Writes a box nobody sees to standard error instead, as PrintMessage does (unless the box is
    // one report writes there anyway).
    void printUnseenBox(const std::string& caption, const std::string& text) const;

private:
    bool pointerShown_ = true;
    bool reporting_ = false;
};

// The largest client width or height of a dialog window.
inline constexpr int32_t kMaxDialogSide = 8192;
// Where a dialog of the size goes: centred on the work area.
PixelRect CentredDialogBounds(const PixelRect& workArea, int32_t clientWidth, int32_t clientHeight);

// Whether setCursor can take Image and the hot spot: 32-bit pixels, a pitch that holds a row,
// the hot spot inside.
bool CursorImageUsable(const PixelBuffer& image, int32_t hotX, int32_t hotY);

// A surface kept in memory, as the headless backend makes them.
class MemorySurface : public PixelSurface {
public:
    MemorySurface(int32_t width, int32_t height, int bitCount);
    PixelBuffer lock() override;
    void unlock() override {}
    PixelBuffer describe() const override;
    // Resizes, clearing every pixel to 0.
    void resize(int32_t width, int32_t height);
    // The pixels for reading, rows as lock() gives them.
    const uint8_t* data() const { return pixels_.data(); }
    bool getPalette(int first, int count, uint32_t* entries) const override;
    bool setPalette(int first, int count, const uint32_t* entries) override;

private:
    PixelBuffer format_;
    std::vector<uint8_t> pixels_;
    std::vector<uint32_t> palette_;  // 2^bitCount entries for an indexed surface, else none
};

// The headless backend. Everything a test needs to look at is public.
class HeadlessDisplay : public Display {
public:
    // One presented frame: the rectangles and a copy of the whole client area after them.
    struct Frame {
        std::vector<PixelRect> rects;
        MemorySurface pixels{0, 0, 32};
        // The 0x00RRGGBB value of a client pixel; 0 outside.
        uint32_t pixel(int32_t x, int32_t y) const;
    };
    struct ShownMessage {
        std::string caption, text;
        MessageButtons buttons;
        MessageIcon icon;
    };

    HeadlessDisplay();

    bool headless() const override { return true; }
    DisplayModeInfo desktopMode() override { return desktop; }
    std::vector<DisplayModeInfo> displayModes() override { return modes; }
    PixelRect workArea() override { return area; }
    void setCaption(const std::string& text) override { caption = text; }
    void setBounds(int32_t left, int32_t top, int32_t clientWidth, int32_t clientHeight) override;
    int32_t clientWidth() override;
    int32_t clientHeight() override;
    void setWindowSize(int32_t width, int32_t height) override;
    void setUnscaledTop(int32_t rows) override;
    void showUnscaledTop(bool shown) override;
    void show() override {
        shown = true;
        minimized = false;
    }
    WindowPlacement placement() override;
    void minimize() override { minimized = true; }
    void maximize() override;
    bool setFullScreen(const DisplayModeInfo* mode) override;
    PixelSurface& frame() override { return frame_; }
    void present(const std::vector<PixelRect>& rects) override;
    void cursorPos(int32_t& x, int32_t& y) override;
    void setCursorPos(int32_t x, int32_t y) override;
    bool setCursor(const PixelBuffer& image, int32_t hotX, int32_t hotY) override;
    void setDefaultCursor() override;
    void wake() override;
    MessageResult messageBox(const std::string& caption, const std::string& text, MessageButtons buttons,
                             MessageIcon icon) override;
    int choiceBox(const std::string& caption, const std::string& text, const std::vector<std::string>& labels,
                  size_t cancel, MessageIcon icon) override;
    std::optional<std::string> fileDialog(const FileDialogRequest& request) override;
    std::unique_ptr<DialogWindow> openDialog(const std::string& title, int32_t clientWidth,
                                             int32_t clientHeight) override;
    std::unique_ptr<PixelSurface> createSurface(int32_t width, int32_t height, int bitCount) override;

    // Any thread: queues an event for waitEvent (a mouse event also moves the cursor). In full
    // screen a mouse event is at a point of the desktop, in a window of another size than the
    // frame's at a point of the window; waitEvent maps it to the client.
    void inject(const InputEvent& event);
    // How the client is shown in the frames presented: full screen on the desktop, else in the
    // window's client area.
    ScaledWindow shownScreen() const;
    void setTextInput(bool on, const PixelRect& caret) override {
        textInput = on;
        textInputCaret = caret;
    }
    std::string clipboardText() override { return clipboard; }
    void setClipboardText(const std::string& text) override { clipboard = text; }

    // Typed text on, and the caret it was last placed at; the clipboard of the backend's own.
    bool textInput = false;
    PixelRect textInputCaret;
    std::string clipboard;

    // The desktop the backend reports (a 1920x1080 32-bit desktop with four modes by default).
    DisplayModeInfo desktop;
    std::vector<DisplayModeInfo> modes;
    PixelRect area;
    // Modes setFullScreen refuses.
    std::vector<DisplayModeInfo> refusedModes;

    // What happened.
    std::string caption;
    int32_t left = 0, top = 0;
    bool shown = false;
    bool minimized = false;
    // Maximised; never while full screen, which drops it.
    bool maximized = false;
    bool fullScreen = false;
    DisplayModeInfo fullScreenMode;
    // The frame's unscaled top rows, and whether full screen shows them.
    int32_t unscaledTop = 0;
    bool unscaledTopShown = false;
    // The frames presented: the client area, or the window (in full screen the desktop) showing
    // it scaled when its size is another.
    std::vector<Frame> frames;
    // Frames beyond this many are dropped from the front (0: keep all). Only the last is kept
    // unless asked: a long run must not keep every frame it showed.
    size_t keepFrames = 1;
    std::vector<ShownMessage> messages;
    // The cursor over the window: custom false for the system's own, else a copy of the image
    // (0xAARRGGBB, top row first) and its hot spot. Every setDefaultCursor and every accepted
    // setCursor counts one change.
    struct ShownCursor {
        bool custom = false;
        int32_t width = 0, height = 0, hotX = 0, hotY = 0;
        std::vector<uint32_t> pixels;
    };
    ShownCursor cursor;
    int cursorChanges = 0;
    // Answers of the next message boxes, in order; when none is left nobody can answer, and a
    // box gets its safe answer (SafeAnswer). Every message is also written to standard error.
    std::deque<MessageResult> answers;
    // Boxes with buttons of their own as asked (labels as given), and the indexes of the buttons
    // that answer the next ones; when none is left the box's cancel button answers.
    struct ShownChoice {
        std::string caption, text;
        std::vector<std::string> labels;
        size_t cancel;
        MessageIcon icon;
    };
    std::vector<ShownChoice> choices;
    std::deque<int> choiceAnswers;
    // File and folder dialogs as asked, and the host paths that answer the next ones (nothing:
    // cancelled); when none is left a dialog is cancelled.
    std::vector<FileDialogRequest> fileDialogs;
    std::deque<std::optional<std::string>> fileAnswers;
    // Dialog windows as opened: title, client bounds, the frames presented (kept as keepFrames
    // says) and whether it is still open.
    struct ShownDialog {
        std::string title;
        PixelRect bounds;
        std::vector<Frame> frames;
        bool open = true;
    };
    std::vector<ShownDialog> dialogs;
    // The events the dialog windows take, in order; when none is left a dialog gets Close (a
    // dialog nobody answers is closed).
    std::deque<InputEvent> dialogInput;

protected:
    bool waitWindowEvent(InputEvent& event, uint32_t timeoutMs) override;
    bool takeWindowClose() override;

private:
    // A desktop point (in full screen) or window point as the client point under it.
    void toClient(int32_t& x, int32_t& y) const;
    // Whether the frames show the frame in a window (or desktop) of another size.
    bool windowScaled() const;

    MemorySurface frame_{0, 0, 32};
    // The desktop in full screen, or a window of another size than the frame's, showing the
    // frame scaled.
    MemorySurface screen_{0, 0, 32};
    WindowPlacement normal_;
    // Maximised again once back from full screen.
    bool maximizeBack_ = false;
    int32_t cursorX_ = 0, cursorY_ = 0;
    std::mutex mutex_;
    std::deque<InputEvent> queue_;
    bool woken_ = false;
    std::condition_variable cond_;
};

// The display of the program: headless when the environment variable VELA_HEADLESS is "1" or
// no display can be opened, else a real window. Made once by the program entry; from then on
// SIGTERM and SIGINT are caught (CatchEndSignals) and come to either as a close of its window.
std::unique_ptr<Display> CreateDisplay();
// Whether CreateDisplay will try a window: VELA_HEADLESS is not "1" and a display server (DISPLAY,
// WAYLAND_DISPLAY) or a video driver (SDL_VIDEODRIVER) is named.
bool WindowWanted();

}  // namespace platform
