#pragma once
// The GIF picture class and its animation painters. A TGifPicture holds a GIF image, loads and
// saves it, renders its frames as 8-bit bitmaps with a 1-bit mask of their transparent pixels,
// draws them on a drawing surface (stretched to the target rectangle, or tiled) and animates them
// with TGifAnimator painters: on their own threads, which hand every paint and event to the main
// thread through its message queue, or run to their end inside the drawing call.
//
// The rest of the player never reaches this class: it is registered with the picture registry for
// "GIF" ("GIF Image") and the clipboard format "GIF Image", and that is all that runs of it.
#include "graphics/dibx.h"
#include "graphics/gifpics.h"
#include "graphics/gifpics_reduce.h"
#include "platform/clock.h"
#include "platform/msgqueue.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace gif {

// Draw options.
enum : uint16_t {
    doThreaded = 0x0001,         // the painter runs on its own thread
    doTransparent = 0x0002,      // transparent colours are drawn through the frame's mask
    doAnimate = 0x0004,          // frames after the first are shown in turn
    doRepeat = 0x0008,           // the animation starts over after the last frame
    doRepeatForever = 0x0010,    // the loop count of the loop extension is ignored
    doCheckCanvas = 0x0020,      // the painter stops once its surface has been emptied
    doPaintDirect = 0x0040,      // the painter draws on the target, not on the image's bitmap
    doClearOnRepeat = 0x0080,    // every pass starts on a cleared background
    doTile = 0x0100,             // the image is repeated across the target, not stretched
    doDither = 0x0200,           // frames are rendered dithered to the 216-colour cube
    doDitherOnPalette = 0x0400,  // dithering only on a display of 8 bits per pixel or fewer
};
using TGifDrawOptions = uint16_t;
inline constexpr TGifDrawOptions kDefaultDrawOptions =
    doThreaded | doTransparent | doRepeat | doClearOnRepeat | doDither | doDitherOnPalette;

inline constexpr int32_t clNone = 0x1FFFFFFF;
inline constexpr int32_t clWindow = 0xFFFFFF;  // the window colour of the desktop: white

// The messages that hand a painter thread's paints and events to the main thread.
inline constexpr uint32_t CM_GIFPAINT = 0x8FFE;
inline constexpr uint32_t CM_GIFEVENT = 0x8FFF;

// Whether the screen shows 8 bits per pixel or fewer, measured by InitializeGifPictures.
extern bool PaletteDisplay;
// Unit start and end: the registry entry and clipboard format, the palette-display test; the
// extension registries at the end.
void InitializeGifPictures();
void FinalizeGifPictures();
uint32_t GifClipboardFormat();

class TGifAnimator;
class TGifPicture;
using TGifPainterEvent = std::function<void(TGifAnimator& Sender)>;

class TGifPicture : public TGifImage, public TGraphic {
public:
    TGifPicture();
    ~TGifPicture() override;

    bool GetEmpty() const override { return Empty(); }
    int32_t GetWidth() const override { return Header().Width; }
    int32_t GetHeight() const override { return Header().Height; }
    // "Image width too small for contained frames" / "... height ..." when a frame reaches past.
    void SetWidth(int32_t Value);
    void SetHeight(int32_t Value);

    // "Loading..." around clearing and reading.
    void LoadFromStream(TStream& Stream) override;
    void SaveToStream(TStream& Stream) override;
    // The GIF format or the bitmap format; any other raises "未対応のクリップボード データです".
    void LoadFromClipboardFormat(uint32_t Format) override;
    // The whole-image bitmap in the bitmap format and the GIF stream in the GIF format.
    void SaveToClipboardFormat();
    void Draw(TCustomDIBX& Canvas, const TRect& Rect) override;

    // Stops the painters, then empties the image.
    void Clear() override;
    // nullptr clears; another picture's header, settings and frames are copied.
    void Assign(TGifPicture* Source);
    // One frame made from Bitmap.
    void Assign(const ::TDIB& Bitmap);
    // The whole-image bitmap: the first frame's bitmap when it covers the screen, else a 24-bit
    // screen-sized bitmap with the first frame at its place. Empty for an empty image.
    ::TDIB Bitmap();
    // Adds Bitmap as a new frame.
    TGifFrame& Add(const ::TDIB& Bitmap);

    // Nested calls raise "No global or local color table defined".
    TGifPalette GetPalette();
    void SetPalette(const TGifPalette& Value);
    // The global table's colour at the header's background index ($00BBGGRR).
    int32_t BackgroundColor();
    // Frames are dithered when doDither is set and either doDitherOnPalette is clear or the
    // display is a palette display.
    bool DoDither() const;
    // Stops every painter of the image and waits for the threaded ones to end.
    void StopDraw() { StopPainters(); }

    TGifDrawOptions DrawOptions = kDefaultDrawOptions;
    TColorReduction ColorReduction = rmNetscape;
    int32_t ReductionBits = 8;
    TDitherMode DitherMode = dmNearest;
    int32_t AnimationSpeed = 100;  // percent
    int32_t DrawBackgroundColor = clNone;

    TGifPainterEvent OnPaintStart, OnFramePaint, OnFramePainted, OnLoopRestart, OnPaintEnd;
    // Something shown changed (a threaded painter painted the image's bitmap).
    std::function<void(TGifPicture& Sender)> OnChange;
    // What painters read the time with and sleep by when not threaded (fake ones in tests).
    std::function<uint32_t()> PainterClock = platform::ClockMs;
    std::function<void(uint32_t Ms)> PainterSleep;

    // The painter drawing for the image, or nullptr.
    TGifAnimator* Painter();
    int32_t PainterCount();

protected:
    void PaintersHold() override;
    void PaintersResume() override;

private:
    friend class TGifAnimator;

    std::mutex painterLock_;
    std::vector<TGifAnimator*> painters_;  // every running painter
    TGifAnimator* painter_ = nullptr;
    // Threaded painters, owned and joined by the main thread.
    std::vector<std::unique_ptr<TGifAnimator>> threads_;
    platform::TargetId syncTarget_ = 0;
    // The screen-sized bitmap painters draw on without doPaintDirect.
    std::unique_ptr<TDIBX> bitmap_;
    TGifPalette palette_;
    bool drawing_ = false, paletteBusy_ = false, holding_ = false;

    void StopPainters();
    // Runs the paints and events painter threads have posted.
    void HandOnSyncMessages();
    void RunSync(const platform::QueuedMessage& M);
    // Joins and frees threaded painters that have ended (all of them with Wait).
    void ReapPainters(bool Wait);
    void FreeBitmap();
    void Changed();
    void DrawCached(TCustomDIBX& Canvas, const TRect& Rect);
};

// ---- Frames on our bitmaps ----

// The palette a frame renders with: its bitmap's or its cached one, else the cube when dithering,
// else its local table's, else the image's.
TGifPalette FramePalette(TGifPicture& Image, TGifFrame& Frame);
// The frame's 8-bit bitmap (and its mask when the frame is transparent), made on first use.
const ::TDIB& RenderFrame(TGifPicture& Image, TGifFrame& Frame);
// The frame drawn on Canvas: its place in the logical screen scaled to Rect, or at its offset in
// every screen-sized cell of Rect when tiled; through its mask when Transparent.
void DrawFrame(TGifPicture& Image, TGifFrame& Frame, TCustomDIBX& Canvas, const TRect& Rect, bool Transparent,
               bool Tile);
// Frame becomes Bitmap: 1-, 4- and 8-bit bitmaps as they are, others reduced with the image's
// method, dither mode and reduction bits ("Color table overflow" past 256 colours unreduced).
void ImportFrame(TGifFrame& Frame, const ::TDIB& Bitmap);
// A copy of Source's descriptor, pixels, local table and extensions.
void CopyFrame(TGifFrame& Frame, TGifFrame& Source);

// ---- The painter ----

class TGifAnimator {
public:
    // Paints Image on Target's TargetRect; Canvas and Rect are what the draw was asked for.
    TGifAnimator(TGifPicture& Image, TCustomDIBX& Canvas, const TRect& Rect, TCustomDIBX& Target,
                 const TRect& TargetRect, TGifDrawOptions Options);
    ~TGifAnimator();
    TGifAnimator(const TGifAnimator&) = delete;
    TGifAnimator& operator=(const TGifAnimator&) = delete;

    // Starts the thread of a threaded painter.
    void Start();
    // The painter's run.
    void Execute();
    // Tells the painter to end / to end its pass; wakes it.
    void Terminate();
    void Restart();

    bool Threaded() const { return options_ & doThreaded; }
    bool Terminated() const { return terminated_; }
    bool PaintedOnce() const { return paintedOnce_; }
    bool Finished() const { return finished_; }
    bool DrawsOn(const TCustomDIBX& Canvas, const TRect& Rect) const;

    TGifPicture& Image;
    // The frame shown or about to be, -1 when idle. An event handler may set the next one.
    int32_t ActiveImage = -1;
    int32_t Speed;

private:
    friend class TGifPicture;

    TCustomDIBX& canvas_;
    TRect rect_;
    TCustomDIBX& target_;
    TRect targetRect_;
    TGifDrawOptions options_;
    int32_t backgroundColor_;
    std::unique_ptr<TDIBX> background_, buffer_, previous_;
    uint32_t lastTime_ = 0;
    int32_t lastWait_ = 0, delay_ = 0;
    std::thread thread_;
    std::atomic<bool> terminated_{false}, restart_{false}, paintedOnce_{false}, finished_{false};
    // The painter's event: set to wake it early.
    std::mutex eventMutex_;
    std::condition_variable eventCond_;
    bool event_ = false;
    // The one call a painter thread waits on the main thread to run.
    std::mutex syncMutex_;
    std::condition_variable syncCond_;
    std::function<void()> syncCall_;
    bool syncDone_ = false, syncCancelled_ = false;
    bool inSync_ = false;  // the main thread runs the call (main thread only)

    void SetUp();
    // Fn on the main thread: through the message queue when threaded, else here.
    void Synchronize(uint32_t Message, const std::function<void()>& Fn);
    void RunSync();
    void CancelSync();
    void Raise(const TGifPainterEvent& Event);
    void Wait();
    // Waits on the event for up to Ms (until set when Ms is negative); whether it was set.
    bool WaitEvent(int32_t Ms);
    void PaintFrame(int32_t Index, uint8_t Disposal);
    void RestoreBackground(const TRect& Area);
    void Finish();
};

}  // namespace gif
