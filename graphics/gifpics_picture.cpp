#include "graphics/gifpics_picture.h"

#include "core/membudget.h"
#include "core/sysutils.h"
#include "graphics/fastdib.h"
#include "platform/clipboard.h"

#include <algorithm>
#include <cmath>
#include <tuple>
#include <utility>

namespace gif {

bool PaletteDisplay = false;

namespace {

std::unique_ptr<TGraphic> CreateGifPicture() { return std::make_unique<TGifPicture>(); }

TGifPalette ToGifPalette(const TPalette& P) { return TGifPalette(P.Entries.begin(), P.Entries.begin() + P.Count); }

TRGBQuadTable ColorTableOf(const TGifPalette& Palette) {
    TRGBQuadTable table{};
    for (size_t i = 0; i < Palette.size() && i < table.size(); ++i) table[i] = PaletteEntryToRGBQuad(Palette[i]);
    return table;
}

// $00BBGGRR of a raw 24-bit or table value (blue low).
int32_t QuadToColor(TRGBQuad Q) { return QuadRed(Q) | QuadGreen(Q) << 8 | QuadBlue(Q) << 16; }

// The frame's place in the logical screen, scaled to Rect (edges rounded to the nearest).
TRect FrameArea(const TGifPicture& Image, const TGifFrame& Frame, const TRect& Rect) {
    const double sw = std::max<int32_t>(Image.GetWidth(), 1), sh = std::max<int32_t>(Image.GetHeight(), 1);
    const double w = Rect.Right - Rect.Left, h = Rect.Bottom - Rect.Top;
    auto x = [&](int32_t V) { return Rect.Left + int32_t(std::lrint(V * w / sw)); };
    auto y = [&](int32_t V) { return Rect.Top + int32_t(std::lrint(V * h / sh)); };
    return {x(Frame.Left), y(Frame.Top), x(Frame.Left + Frame.Width), y(Frame.Top + Frame.Height)};
}

// The part [first, last) of Extent source pixels, stretched over [DestLo, DestHi), whose samples
// the destination pixels [VisibleLo, VisibleHi) can take: the proportion, widened by two pixels
// each side for the rounding of the stretch's fixed-point steps.
std::pair<int32_t, int32_t> SampledSpan(int32_t DestLo, int32_t DestHi, int32_t VisibleLo, int32_t VisibleHi,
                                        int32_t Extent) {
    const double scale = double(Extent) / double(int64_t(DestHi) - DestLo);
    const double first = std::floor(double(int64_t(VisibleLo) - DestLo) * scale) - 2;
    const double last = std::ceil(double(int64_t(VisibleHi) - DestLo) * scale) + 2;
    return {int32_t(std::clamp(first, 0.0, double(Extent))), int32_t(std::clamp(last, 0.0, double(Extent)))};
}

// F(area) for the frame's area in Rect, or in each screen-sized cell of Rect when tiled.
template <class F>
void ForEachFrameArea(const TGifPicture& Image, const TGifFrame& Frame, const TRect& Rect, bool Tile, F&& Area) {
    if (!Tile) return Area(FrameArea(Image, Frame, Rect));
    const int32_t sw = Image.GetWidth(), sh = Image.GetHeight();
    if (sw <= 0 || sh <= 0) return;
    for (int64_t y = Rect.Top; y < Rect.Bottom; y += sh)
        for (int64_t x = Rect.Left; x < Rect.Right; x += sw)
            Area(IntersectRects(Bounds(int32_t(x) + Frame.Left, int32_t(y) + Frame.Top, Frame.Width, Frame.Height),
                                Rect));
}

void SleepMs(uint32_t Ms) { std::this_thread::sleep_for(std::chrono::milliseconds(Ms)); }

void ImportIndexed(TGifFrame& Frame, const ::TDIB& Bitmap) {
    Frame.ColorMap().ImportDIBColors(Bitmap);
    for (int32_t y = 0; y < Bitmap.Height(); ++y) {
        uint8_t* row = Frame.Scanline(y);
        for (int32_t x = 0; x < Bitmap.Width(); ++x) row[x] = uint8_t(Bitmap.GetPixel(x, y));
    }
}

// Pixel by pixel at 24 bits: the colours in order of appearance, the last eight remembered.
void ImportColors(TGifFrame& Frame, const ::TDIB& Bitmap, TGifImage& Image) {
    struct Recent {
        TGifColor Color;
        uint8_t Index;
    };
    std::array<Recent, 8> ring{};
    int ringCount = 0, last = 0;
    for (int32_t y = 0; y < Bitmap.Height(); ++y) {
        const uint8_t* in = Bitmap.ScanLineReadOnly(y);
        uint8_t* row = Frame.Scanline(y);
        for (int32_t x = 0; x < Bitmap.Width(); ++x, in += 3) {
            const TGifColor c{in[2], in[1], in[0]};
            int hit = -1;
            for (int k = 0; k < ringCount && hit < 0; ++k)
                if (const int at = (last - k + 8) % 8; ring[size_t(at)].Color == c) hit = at;
            if (hit < 0) {
                int32_t index = Frame.ColorMap().IndexOf(c);
                if (index < 0) index = Frame.ColorMap().Add(c);
                last = (last + 1) % 8;
                ring[size_t(last)] = {c, uint8_t(index)};
                ringCount = std::min(ringCount + 1, 8);
                hit = last;
            }
            last = hit;
            row[x] = ring[size_t(hit)].Index;
        }
        if (y % 32 == 0) Image.Progress(TProgressStage::psRunning, y * 100 / Bitmap.Height(), "Converting...");
    }
}

}  // namespace

void InitializeGifPictures() {
    RegisterFileFormat("GIF", "GIF Image", GifClipboardFormat(), CreateGifPicture);
    PaletteDisplay = (ScreenDepthHook ? ScreenDepthHook() : 32) < 9;
}

void FinalizeGifPictures() {
    FreeExtensionRegistries();
    UnregisterGraphicClass(CreateGifPicture);
}

uint32_t GifClipboardFormat() {
    static const uint32_t format = platform::RegisterClipboardFormat("GIF Image");
    return format;
}

// ---- Frames ----

TGifPalette FramePalette(TGifPicture& Image, TGifFrame& Frame) {
    if (!Frame.Palette.empty()) return Frame.Palette;
    if (Image.DoDither()) return ToGifPalette(WebPalette());
    if (Frame.ColorMap().Count() > 0) return Frame.ColorMap().ExportPalette();
    return Image.GetPalette();
}

const ::TDIB& RenderFrame(TGifPicture& Image, TGifFrame& Frame) {
    if (Frame.Bitmap) return *Frame.Bitmap;
    const TGifPalette palette = FramePalette(Image, Frame);
    auto bitmap = std::make_unique<::TDIB>();
    bitmap->ColorTable = ColorTableOf(palette);
    const int32_t w = Frame.Width, h = Frame.Height;
    if (Frame.Empty() || Frame.Data.size() < size_t(w) * size_t(h)) {
        if (w > 0 && h > 0) CheckImageSize(w, h, 8), bitmap->SetSize(w, h, 8);
        Frame.Palette = palette;
        Frame.Bitmap = std::move(bitmap);
        return *Frame.Bitmap;
    }
    Image.Progress(TProgressStage::psStarting, 0, "Rendering...");
    bitmap->SetSize(w, h, 8);
    const TGifGraphicControlExtension* gce = Frame.GraphicControlExtension();
    const int32_t transparent = Frame.Transparent() && gce ? gce->TransparentColorIndex : -1;
    std::unique_ptr<::TDIB> mask;
    if (transparent >= 0 && Frame.NeedMask) mask = std::make_unique<::TDIB>(), mask->SetSize(w, h, 1);
    bool masked = false;

    const bool dither = Image.DoDither();
    TNetscapeColorLookup cube;
    TFloydSteinbergDitherer ditherer(w, cube);
    std::array<TGifColor, 256> colors;
    std::array<bool, 256> known{};
    TGifColorMap& map = Frame.ActiveColorMap();
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* in = Frame.Data.data() + size_t(y) * size_t(w);
        uint8_t* out = bitmap->ScanLine(y);
        if (mask)
            for (int32_t x = 0; x < w; ++x)
                if (in[x] == transparent) StorePixel(mask->ScanLine(y), x, 1, 1), masked = true;
        if (!dither) {
            std::copy(in, in + w, out);
        } else {
            uint8_t r, g, b;
            for (int32_t x = ditherer.Column; x >= 0 && x < w; x = ditherer.Column) {
                if (in[x] == transparent) {
                    ditherer.Column += ditherer.Direction;
                    continue;
                }
                if (!known[in[x]]) colors[in[x]] = map.Colors(in[x]), known[in[x]] = true;
                const TGifColor c = colors[in[x]];
                out[x] = ditherer.Dither(c.Red, c.Green, c.Blue, r, g, b);
            }
            ditherer.NextLine();
        }
        if (y % 32 == 0) Image.Progress(TProgressStage::psRunning, y * 100 / h, "Rendering...");
    }
    Image.Progress(TProgressStage::psEnding, 100, "Rendering...");
    if (transparent >= 0) Frame.NeedMask = false;
    if (masked) Frame.Mask = std::move(mask);
    Frame.Palette = palette;
    Frame.Bitmap = std::move(bitmap);
    return *Frame.Bitmap;
}

void DrawFrame(TGifPicture& Image, TGifFrame& Frame, TCustomDIBX& Canvas, const TRect& Rect, bool Transparent,
               bool Tile) {
    const ::TDIB& bitmap = RenderFrame(Image, Frame);
    if (bitmap.Empty()) return;
    const int32_t w = bitmap.Width(), h = bitmap.Height();
    // A stretched frame is made in the surface's pixels only where it lands inside the canvas's
    // clip: Part of the frame, drawn as the whole frame moved by Part's corner (the stretch steps
    // alike), gives the same pixels there.
    TRect part{0, 0, w, h};
    if (!Tile) {
        const TRect area = FrameArea(Image, Frame, Rect);
        const TRect visible = IntersectRects(area, IntersectRects(Canvas.GetClipRect(), Canvas.GetBoundsRect()));
        if (RectIsEmpty(visible)) return;
        std::tie(part.Left, part.Right) = SampledSpan(area.Left, area.Right, visible.Left, visible.Right, w);
        std::tie(part.Top, part.Bottom) = SampledSpan(area.Top, area.Bottom, visible.Top, visible.Bottom, h);
        if (RectIsEmpty(part)) return;
    }
    // The part in the surface's own pixels, and its mask as weights (0 where transparent).
    const int32_t pw = part.Right - part.Left, ph = part.Bottom - part.Top;
    CheckImageSize(pw, ph, Canvas.GetBitCount());
    TDIBX source;
    source.SetSize(pw, ph, Canvas.GetBitCount());
    std::array<int32_t, 256> pixels;
    for (int i = 0; i < 256; ++i) pixels[size_t(i)] = Canvas.ColorToPixel(QuadToColor(bitmap.ImageColorTable()[size_t(i)]));
    for (int32_t y = 0; y < ph; ++y) {
        const uint8_t* in = bitmap.ScanLineReadOnly(part.Top + y) + part.Left;
        for (int32_t x = 0; x < pw; ++x) source.SetPixel(x, y, uint32_t(pixels[in[x]]));
    }
    std::unique_ptr<TDIBX> mask;
    if (Transparent && Frame.Mask) {
        mask = std::make_unique<TDIBX>();
        mask->SetSize(pw, ph, 8);
        for (int32_t y = 0; y < ph; ++y)
            for (int32_t x = 0; x < pw; ++x) mask->SetPixel(x, y, Frame.Mask->GetPixel(part.Left + x, part.Top + y) ? 0 : 255);
    }
    const TRect whole{-part.Left, -part.Top, w - part.Left, h - part.Top};
    if (Tile) {
        const TRect area{Rect.Left + Frame.Left, Rect.Top + Frame.Top, Rect.Right, Rect.Bottom};
        const int32_t gapX = Image.GetWidth() - w, gapY = Image.GetHeight() - h;
        if (mask)
            Canvas.DrawTileMask(area, gapX, gapY, source, whole, *mask, 0, 0);
        else
            Canvas.DrawTile(area, gapX, gapY, source, whole, false, 0, 0);
    } else if (mask) {
        Canvas.StretchDrawMask(FrameArea(Image, Frame, Rect), source, whole, false, false, *mask, 255);
    } else {
        Canvas.StretchDraw(FrameArea(Image, Frame, Rect), source, whole, false, false, false, 255);
    }
}

void ImportFrame(TGifFrame& Frame, const ::TDIB& Bitmap) {
    TGifImage& image = *Frame.Image();
    auto* picture = dynamic_cast<TGifPicture*>(&image);
    Frame.Clear();
    if (Bitmap.Empty()) return;
    CheckImageSize(Bitmap.Width(), Bitmap.Height(), 8);
    Frame.SetSize(uint16_t(Bitmap.Width()), uint16_t(Bitmap.Height()));
    if (Bitmap.BitCount() <= 8) return ImportIndexed(Frame, Bitmap);
    const std::unique_ptr<::TDIB> reduced =
        ReduceColors(Bitmap, picture ? picture->ColorReduction : rmNetscape, picture ? picture->DitherMode : dmNearest,
                     picture ? picture->ReductionBits : 8, nullptr);
    if (!reduced->Empty() && reduced->BitCount() == 8) return ImportIndexed(Frame, *reduced);
    ::TDIB colors(Bitmap);
    colors.SetBitCount(24);
    ImportColors(Frame, colors, image);
}

void CopyFrame(TGifFrame& Frame, TGifFrame& Source) {
    Frame.Left = Source.Left, Frame.Top = Source.Top, Frame.Width = Source.Width, Frame.Height = Source.Height;
    Frame.Packed = Source.Packed;
    Frame.Data = Source.Data;
    Frame.ColorMap().Assign(Source.ColorMap());
    if (Source.Extensions().Count() > 0) {
        TMemoryStream stream;
        Source.Extensions().SaveToStream(stream);
        const uint8_t end = ';';
        stream.Write(&end, 1);
        stream.Seek(0, soBeginning);
        Frame.Extensions().LoadFromStream(stream);
    } else if (Source.Bitmap) {
        Frame.Bitmap = std::make_unique<::TDIB>(*Source.Bitmap);
        Frame.Palette = Source.Palette;
        if (Source.Mask) Frame.Mask = std::make_unique<::TDIB>(*Source.Mask);
        Frame.NeedMask = Source.NeedMask;
    }
}

// ---- The picture ----

TGifPicture::TGifPicture() : PainterSleep(SleepMs) {}

TGifPicture::~TGifPicture() {
    StopPainters();
    if (syncTarget_) platform::MainQueue().RemoveTarget(syncTarget_);
}

void TGifPicture::SetWidth(int32_t Value) {
    for (const auto& f : Images())
        if (f->Left + f->Width > Value) throw GIFException("Image width too small for contained frames");
    if (Value > 0xFFFF) throw GIFException("Invalid image dimensions");
    if (Value == Header().Width) return;
    Header().Width = uint16_t(Value);
    FreeBitmap();
    Changed();
}

void TGifPicture::SetHeight(int32_t Value) {
    for (const auto& f : Images())
        if (f->Top + f->Height > Value) throw GIFException("Image height too small for contained frames");
    if (Value > 0xFFFF) throw GIFException("Invalid image dimensions");
    if (Value == Header().Height) return;
    Header().Height = uint16_t(Value);
    FreeBitmap();
    Changed();
}

void TGifPicture::LoadFromStream(TStream& Stream) {
    Progress(TProgressStage::psStarting, 0, "Loading...");
    Clear();
    Read(Stream);
    Progress(TProgressStage::psEnding, 100, "Loading...");
}

void TGifPicture::SaveToStream(TStream& Stream) { Write(Stream); }

void TGifPicture::LoadFromClipboardFormat(uint32_t Format) {
    std::optional<std::vector<uint8_t>> data;
    if (Format == GifClipboardFormat() || Format == platform::CF_BITMAP) data = platform::GetClipboardData(Format);
    if (!data) throw EInvalidGraphic("未対応のクリップボード データです");
    TMemoryStream stream;
    stream.Write(data->data(), int64_t(data->size()));
    stream.Seek(0, soBeginning);
    if (Format == GifClipboardFormat()) return LoadFromStream(stream);
    ::TDIB bitmap;
    bitmap.LoadFromStream(stream);
    Assign(bitmap);
}

void TGifPicture::SaveToClipboardFormat() {
    if (Empty()) return;
    auto bytes = [](TMemoryStream& S) { return std::vector<uint8_t>(S.Memory(), S.Memory() + S.Size()); };
    TMemoryStream bitmap, gif;
    Bitmap().SaveToStream(bitmap);
    platform::SetClipboardData(platform::CF_BITMAP, bytes(bitmap));
    SaveToStream(gif);
    platform::SetClipboardData(GifClipboardFormat(), bytes(gif));
}

void TGifPicture::Clear() {
    StopPainters();
    FreeBitmap();
    TGifImage::Clear();
    palette_.clear();
}

void TGifPicture::Assign(TGifPicture* Source) {
    if (Source == this) return;
    Clear();
    if (!Source) return;
    TGifPicture& source = *Source;
    Header().Assign(source.Header());
    ColorReduction = source.ColorReduction, DitherMode = source.DitherMode;
    DrawBackgroundColor = source.DrawBackgroundColor, DrawOptions = source.DrawOptions;
    const int32_t count = source.Images().Count();
    for (int32_t i = 0; i < count; ++i) {
        auto frame = std::make_unique<TGifFrame>(this);
        CopyFrame(*frame, source.Images()[i]);
        Images().Add(std::move(frame));
        Progress(TProgressStage::psRunning, (i + 1) * 100 / count, "Copying...");
    }
    Progress(TProgressStage::psEnding, 100, "Copying...");
}

void TGifPicture::Assign(const ::TDIB& Bitmap) {
    Clear();
    Add(Bitmap);
}

TGifFrame& TGifPicture::Add(const ::TDIB& Bitmap) {
    auto frame = std::make_unique<TGifFrame>(this);
    ImportFrame(*frame, Bitmap);
    TGifFrame& added = *Images().Add(std::move(frame));
    FreeBitmap();
    Changed();
    return added;
}

::TDIB TGifPicture::Bitmap() {
    ::TDIB result;
    if (Empty()) return result;
    TGifFrame& first = Images()[0];
    const ::TDIB& frame = RenderFrame(*this, first);
    const int32_t w = GetWidth(), h = GetHeight();
    if (first.Left == 0 && first.Top == 0 && first.Width == w && first.Height == h) {
        result.Assign(&frame);
        return result;
    }
    if (w <= 0 || h <= 0) return result;
    CheckImageSize(w, h, 24);
    result.SetSize(w, h, 24);
    const TGifPalette palette = GetPalette();
    const uint32_t ground = palette.empty() ? 0 : PaletteEntryToRGBQuad(palette[0]);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) result.SetPixel(x, y, ground);
    for (int32_t y = 0; y < frame.Height() && first.Top + y < h; ++y)
        for (int32_t x = 0; x < frame.Width() && first.Left + x < w; ++x)
            result.SetPixel(first.Left + x, first.Top + y, frame.ValueColor(frame.GetPixel(x, y)));
    return result;
}

TGifPalette TGifPicture::GetPalette() {
    if (paletteBusy_) throw GIFException("No global or local color table defined");
    paletteBusy_ = true;
    struct Reset {
        bool& Flag;
        ~Reset() { Flag = false; }
    } reset{paletteBusy_};
    if (!palette_.empty()) return palette_;
    if (DoDither()) return palette_ = ToGifPalette(WebPalette());
    if (Header().ColorMap().Count() > 0) return palette_ = Header().ColorMap().ExportPalette();
    if (!Empty()) return FramePalette(*this, Images()[0]);
    return {};
}

void TGifPicture::SetPalette(const TGifPalette& Value) { palette_ = Value; }

int32_t TGifPicture::BackgroundColor() {
    return GifColorToInt(Header().ColorMap().Colors(Header().BackgroundColorIndex));
}

bool TGifPicture::DoDither() const {
    return (DrawOptions & doDither) && (!(DrawOptions & doDitherOnPalette) || PaletteDisplay);
}

TGifAnimator* TGifPicture::Painter() {
    const std::lock_guard lock(painterLock_);
    return painter_;
}

int32_t TGifPicture::PainterCount() {
    const std::lock_guard lock(painterLock_);
    return int32_t(painters_.size());
}

void TGifPicture::PaintersHold() {
    StopPainters();
    holding_ = true;
}

void TGifPicture::PaintersResume() { holding_ = false; }

void TGifPicture::Draw(TCustomDIBX& Canvas, const TRect& Rect) {
    if (drawing_ || holding_ || Empty()) return;
    drawing_ = true;
    struct Reset {
        bool& Flag;
        ~Reset() { Flag = false; }
    } reset{drawing_};
    ReapPainters(false);
    const bool direct = DrawOptions & doPaintDirect;
    if (Images().Count() == 1 || !(DrawOptions & doAnimate))
        return DrawFrame(*this, Images()[0], Canvas, Rect, DrawOptions & doTransparent, DrawOptions & doTile);
    if (bitmap_ && !direct && bitmap_->GetBitCount() == Canvas.GetBitCount()) return DrawCached(Canvas, Rect);
    {
        const std::lock_guard lock(painterLock_);
        for (TGifAnimator* p : painters_)
            if (p->DrawsOn(Canvas, Rect)) return;
    }
    StopPainters();
    if (RectIsEmpty(Rect) || GetWidth() <= 0 || GetHeight() <= 0) return;
    TCustomDIBX* target = &Canvas;
    TRect targetRect = Rect;
    if (!direct) {
        CheckImageSize(GetWidth(), GetHeight(), Canvas.GetBitCount());
        bitmap_ = std::make_unique<TDIBX>();
        bitmap_->SetSize(GetWidth(), GetHeight(), Canvas.GetBitCount());
        targetRect = bitmap_->GetBoundsRect();
        bitmap_->StretchDraw(targetRect, Canvas, Rect, false, false, false, 255);
        target = bitmap_.get();
    }
    auto painter = std::make_unique<TGifAnimator>(*this, Canvas, Rect, *target, targetRect, DrawOptions);
    if (!painter->Threaded()) {
        painter->Execute();
        if (!direct) DrawCached(Canvas, Rect);
        return;
    }
    if (!syncTarget_)
        syncTarget_ = platform::MainQueue().AddTarget([this](const platform::QueuedMessage& M) { RunSync(M); });
    TGifAnimator& started = *painter;
    threads_.push_back(std::move(painter));
    started.Start();
    if (direct) return;
    platform::MessageQueue& queue = platform::MainQueue();
    while (!started.PaintedOnce() && !started.Finished() && !queue.QuitPosted()) {
        HandOnSyncMessages();
        queue.Wait(10);
    }
    DrawCached(Canvas, Rect);
}

void TGifPicture::DrawCached(TCustomDIBX& Canvas, const TRect& Rect) {
    if (!bitmap_) return;  // freed by an event handler meanwhile
    if (DrawOptions & doTile)
        Canvas.DrawTile(Rect, 0, 0, *bitmap_, bitmap_->GetBoundsRect(), false, 0, 0);
    else
        Canvas.StretchDraw(Rect, *bitmap_, bitmap_->GetBoundsRect(), false, false, false, 255);
}

void TGifPicture::StopPainters() {
    {
        const std::lock_guard lock(painterLock_);
        for (TGifAnimator* p : painters_) p->Terminate();
    }
    ReapPainters(true);
}

void TGifPicture::ReapPainters(bool Wait) {
    platform::MessageQueue& queue = platform::MainQueue();
    // A painter whose paint or event is running further up the stack cannot end before it
    // returns: it has been told to end, and goes later.
    auto running = [&] {
        return std::any_of(threads_.begin(), threads_.end(),
                           [](const auto& P) { return !P->Finished() && !P->inSync_; });
    };
    while (Wait && running()) {
        // A program that is ending hands nothing on: the painters give up their waits instead.
        if (queue.QuitPosted())
            for (const auto& p : threads_) p->CancelSync();
        HandOnSyncMessages();
        if (running()) queue.Wait(5);
    }
    std::erase_if(threads_, [](const std::unique_ptr<TGifAnimator>& P) {
        if (!P->Finished()) return false;
        P->thread_.join();
        return true;
    });
}

void TGifPicture::HandOnSyncMessages() {
    if (!syncTarget_) return;
    const auto messages = platform::MainQueue().TakeMessages([this](const platform::QueuedMessage& M) {
        return M.target == syncTarget_ && (M.message == CM_GIFPAINT || M.message == CM_GIFEVENT);
    });
    for (const auto& m : messages) RunSync(m);
}

void TGifPicture::RunSync(const platform::QueuedMessage& M) {
    for (const auto& p : threads_)
        if (uintptr_t(p.get()) == M.wParam) return p->RunSync();
}

void TGifPicture::FreeBitmap() {
    // Painters may be drawing on it.
    if (bitmap_) StopPainters();
    bitmap_.reset();
}

void TGifPicture::Changed() {
    if (OnChange) OnChange(*this);
}

// ---- The painter ----

TGifAnimator::TGifAnimator(TGifPicture& Image, TCustomDIBX& Canvas, const TRect& Rect, TCustomDIBX& Target,
                           const TRect& TargetRect, TGifDrawOptions Options)
    : Image(Image), Speed(Image.AnimationSpeed), canvas_(Canvas), rect_(Rect), target_(Target),
      targetRect_(TargetRect), options_(Options) {
    if (Image.Images().Count() < 2) options_ &= uint16_t(~(doThreaded | doAnimate));
    SetUp();
    const std::lock_guard lock(Image.painterLock_);
    Image.painters_.push_back(this);
    Image.painter_ = this;
}

TGifAnimator::~TGifAnimator() {
    if (thread_.joinable()) thread_.join();
}

bool TGifAnimator::DrawsOn(const TCustomDIBX& Canvas, const TRect& Rect) const {
    return &canvas_ == &Canvas && rect_ == Rect;
}

void TGifAnimator::SetUp() {
    TGifHeader& header = Image.Header();
    if (Image.DrawBackgroundColor != clNone)
        backgroundColor_ = Image.DrawBackgroundColor;
    else if (header.ColorMap().Count() == 0)
        backgroundColor_ = clWindow;
    else
        backgroundColor_ = Image.BackgroundColor();
    bool background = options_ & doClearOnRepeat, previous = false;
    for (const auto& f : Image.Images())
        if (const TGifGraphicControlExtension* gce = f->GraphicControlExtension()) {
            background |= gce->Disposal() == dmBackground;
            previous |= gce->Disposal() == dmPrevious;
        }
    const int32_t w = targetRect_.Right - targetRect_.Left, h = targetRect_.Bottom - targetRect_.Top;
    if (w <= 0 || h <= 0 || !(background || previous)) return;
    const int bits = target_.GetBitCount();
    CheckImageSize(w, h, bits);
    auto surface = [&] {
        auto s = std::make_unique<TDIBX>();
        s->SetSize(w, h, bits);
        s->FillRect(s->GetBoundsRect(), s->ColorToPixel(backgroundColor_));
        return s;
    };
    if (background && (options_ & doTransparent)) {
        background_ = surface();
        background_->Draw(0, 0, target_, targetRect_, false, false, false);
    }
    buffer_ = surface();
    previous_ = surface();
}

void TGifAnimator::Start() {
    thread_ = std::thread([this] { Execute(); });
}

void TGifAnimator::Terminate() {
    terminated_ = true;
    {
        const std::lock_guard lock(eventMutex_);
        event_ = true;
    }
    eventCond_.notify_all();
}

void TGifAnimator::Restart() {
    restart_ = true;
    {
        const std::lock_guard lock(eventMutex_);
        event_ = true;
    }
    eventCond_.notify_all();
}

void TGifAnimator::Execute() {
    try {
        Raise(Image.OnPaintStart);
        int32_t loops = 1;
        bool forever = false, loopSeen = false, skipWait = Threaded();
        lastTime_ = Image.PainterClock();
        const int32_t count = Image.Images().Count();
        for (int32_t pass = 0;; ++pass) {
            if (terminated_ || restart_ || (loops == 0 && !(options_ & doRepeatForever) && !forever)) break;
            ActiveImage = 0;
            if (pass > 0) Raise(Image.OnLoopRestart);
            while (ActiveImage >= 0 && ActiveImage < count && !terminated_ && !restart_ &&
                   !Image.Images()[ActiveImage].Empty()) {
                const int32_t index = ActiveImage;
                TGifFrame& frame = Image.Images()[index];
                if (!skipWait) {
                    Synchronize(CM_GIFPAINT, [&] { RenderFrame(Image, frame); });
                    Wait();
                    if (terminated_ || restart_) break;
                }
                skipWait = false;
                Raise(Image.OnFramePaint);
                uint8_t disposal = dmNoDisposal;
                const TGifGraphicControlExtension* gce = nullptr;
                for (const auto& e : frame.Extensions()) {
                    if (const auto* loop = dynamic_cast<const TGifLoopExtension*>(e.get()); loop && !loopSeen) {
                        loopSeen = true;
                        loops = loop->Loops;
                        if ((loops == 0 || (options_ & doRepeatForever)) && Threaded()) forever = true;
                    } else if (const auto* g = dynamic_cast<const TGifGraphicControlExtension*>(e.get())) {
                        gce = g;
                        disposal = g->Disposal();
                    }
                }
                Synchronize(CM_GIFPAINT, [&] { PaintFrame(index, disposal); });
                paintedOnce_ = true;
                delay_ = std::max<int32_t>(gce && gce->Delay ? gce->Delay : 10, 3);
                if (!Threaded()) delay_ = std::min(delay_, 1000);
                Raise(Image.OnFramePainted);
                if (ActiveImage == index) ++ActiveImage;
                if (!(options_ & doAnimate)) break;
            }
            if (loops > 0) --loops;
            if (!(options_ & doAnimate) || !(options_ & doRepeat)) break;
        }
    } catch (...) {
        Finish();
        if (!Threaded()) throw;
        return;
    }
    Finish();
}

void TGifAnimator::Finish() {
    ActiveImage = -1;
    Raise(Image.OnPaintEnd);
    {
        const std::lock_guard lock(Image.painterLock_);
        std::erase(Image.painters_, this);
        if (Image.painter_ == this) Image.painter_ = nullptr;
    }
    background_.reset(), buffer_.reset(), previous_.reset();
    // Wakes a main thread waiting for the painters.
    if (Threaded()) platform::MainQueue().Post(Image.syncTarget_, CM_GIFPAINT, 0);
    finished_ = true;
}

void TGifAnimator::Raise(const TGifPainterEvent& Event) {
    Synchronize(CM_GIFEVENT, [&] {
        if (Event) Event(*this);
    });
}

void TGifAnimator::Synchronize(uint32_t Message, const std::function<void()>& Fn) {
    if (!Threaded()) return Fn();
    {
        const std::lock_guard lock(syncMutex_);
        if (syncCancelled_) return;
        syncCall_ = Fn;
        syncDone_ = false;
    }
    platform::MainQueue().Post(Image.syncTarget_, Message, uintptr_t(this));
    std::unique_lock lock(syncMutex_);
    syncCond_.wait(lock, [this] { return syncDone_ || syncCancelled_; });
    syncCall_ = nullptr;
}

void TGifAnimator::RunSync() {
    std::function<void()> call;
    {
        const std::lock_guard lock(syncMutex_);
        if (syncDone_ || !syncCall_) return;
        call = syncCall_;
    }
    inSync_ = true;
    try {
        call();
    } catch (const std::exception& E) {
        // A painter thread cannot report: its error goes to the image's warnings and it ends.
        Terminate();
        Image.Warning(gsWarning, ErrorText(E));
    }
    inSync_ = false;
    {
        const std::lock_guard lock(syncMutex_);
        syncDone_ = true;
    }
    syncCond_.notify_all();
}

void TGifAnimator::CancelSync() {
    {
        const std::lock_guard lock(syncMutex_);
        syncCancelled_ = true;
    }
    syncCond_.notify_all();
}

bool TGifAnimator::WaitEvent(int32_t Ms) {
    std::unique_lock lock(eventMutex_);
    const bool set = Ms < 0 ? (eventCond_.wait(lock, [this] { return event_; }), true)
                            : eventCond_.wait_for(lock, std::chrono::milliseconds(Ms), [this] { return event_; });
    event_ = false;
    return set;
}

void TGifAnimator::Wait() {
    if (Speed <= 0) {
        if (Threaded()) {
            WaitEvent(-1);
            return;
        }
        lastWait_ = 12000;
    } else {
        const uint32_t now = Image.PainterClock();
        const int32_t lateness = (int32_t(now - lastTime_) - lastWait_) / 2;
        lastWait_ = int32_t(std::lrint((delay_ * 12 - lateness) * 100.0 / Speed));
        lastTime_ = now;
        if (Threaded()) {
            if (lastWait_ > 0 && WaitEvent(lastWait_)) lastWait_ = 0, lastTime_ = Image.PainterClock();
            return;
        }
    }
    // Not threaded: sleeps of at most 100 ms, the main thread's messages handled between them.
    const uint32_t wait = uint32_t(std::max(lastWait_, 1)), start = Image.PainterClock();
    platform::MessageQueue& queue = platform::MainQueue();
    for (uint32_t spent = 0; spent < wait && !terminated_; spent = Image.PainterClock() - start) {
        Image.PainterSleep(std::min<uint32_t>(100, wait - spent));
        queue.ProcessMessages();
        if (queue.QuitPosted()) Terminate();
    }
}

void TGifAnimator::PaintFrame(int32_t Index, uint8_t Disposal) {
    if (terminated_) return;
    if ((options_ & doCheckCanvas) && canvas_.GetEmpty()) return Terminate();
    TGifFrame& frame = Image.Images()[Index];
    const bool transparent = options_ & doTransparent, tile = options_ & doTile;
    if (!buffer_) {
        DrawFrame(Image, frame, target_, targetRect_, transparent, tile);
    } else {
        const TRect local = buffer_->GetBoundsRect();
        if (Index == 0 && (options_ & doClearOnRepeat)) RestoreBackground(local);
        if (Disposal == dmPrevious) previous_->Draw(0, 0, *buffer_, local, false, false, false);
        DrawFrame(Image, frame, *buffer_, local, transparent, tile);
        target_.Draw(targetRect_.Left, targetRect_.Top, *buffer_, local, false, false, false);
        if (Disposal == dmBackground)
            ForEachFrameArea(Image, frame, local, tile, [this](const TRect& A) { RestoreBackground(A); });
        else if (Disposal == dmPrevious)
            buffer_->Draw(0, 0, *previous_, local, false, false, false);
    }
    if (&target_ != &canvas_) Image.Changed();
}

void TGifAnimator::RestoreBackground(const TRect& Area) {
    if (background_)
        buffer_->Draw(Area.Left, Area.Top, *background_, Area, false, false, false);
    else
        buffer_->FillRect(Area, buffer_->ColorToPixel(backgroundColor_));
}

}  // namespace gif
