// Shrinking an animation before it is stored: colour tables reordered by use, extensions and
// frames that change nothing dropped, pixels that repeat the previous frame made transparent, and
// frames cropped to their visible area.
#include "graphics/gifpics.h"

#include <algorithm>

namespace gif {

namespace {

struct TRect16 {
    int32_t Left, Top, Right, Bottom;
};

TRect16 RectOf(const TGifFrame& Frame) {
    return {Frame.Left, Frame.Top, Frame.Left + Frame.Width, Frame.Top + Frame.Height};
}

bool Meet(const TRect16& A, const TRect16& B) {
    return A.Left < B.Right && B.Left < A.Right && A.Top < B.Bottom && B.Top < A.Bottom;
}

bool Inside(const TRect16& Inner, const TRect16& Outer) {
    return Inner.Left >= Outer.Left && Inner.Top >= Outer.Top && Inner.Right <= Outer.Right &&
           Inner.Bottom <= Outer.Bottom;
}

uint8_t DisposalOf(const TGifFrame& Frame) {
    const TGifGraphicControlExtension* gce = Frame.GraphicControlExtension();
    return gce ? gce->Disposal() : 0;
}

// The frame's transparent index, or -1.
int32_t OwnTransparentIndex(const TGifFrame& Frame) {
    const TGifGraphicControlExtension* gce = Frame.GraphicControlExtension();
    return Frame.Transparent() && gce ? gce->TransparentColorIndex : -1;
}

bool Uses(const TGifFrame& Frame, int32_t Index) {
    return std::find(Frame.Data.begin(), Frame.Data.end(), uint8_t(Index)) != Frame.Data.end();
}

// Holds the image's painters stopped for the scope.
class TPainterHold {
public:
    TPainterHold(std::function<void()> Resume) : resume_(std::move(Resume)) {}
    ~TPainterHold() { resume_(); }
    TPainterHold(const TPainterHold&) = delete;
    TPainterHold& operator=(const TPainterHold&) = delete;

private:
    std::function<void()> resume_;
};

}  // namespace

bool TGifFrame::CanAddColor() {
    const int32_t count = ActiveColorMap().Count();
    return count >= 1 && count <= 255;
}

int32_t TGifFrame::TransparentIndex(bool& Allocated) {
    Allocated = false;
    const int32_t own = OwnTransparentIndex(*this);
    if (own >= 0) return own;
    if (!CanAddColor()) return -1;
    Allocated = true;
    if (colorMap_.Count() > 0) return colorMap_.Add({0, 0, 0});
    // On the global table another frame's transparent index serves, unless this frame shows that
    // entry as a colour of its own.
    if (image_) {
        TGifColorMap& global = image_->Header().ColorMap();
        for (const auto& other : image_->Images()) {
            if (other.get() == this || &other->ActiveColorMap() != &global) continue;
            const int32_t index = OwnTransparentIndex(*other);
            if (index >= 0 && !Uses(*this, index)) return index;
        }
    }
    return ActiveColorMap().Add({0, 0, 0});
}

void TGifFrame::Merge(TGifFrame& Previous) {
    if (Empty() || Previous.Empty()) return;
    const uint8_t disposal = DisposalOf(Previous);
    if (disposal == dmBackground || disposal == dmPrevious) return;
    const TRect16 mine = RectOf(*this), theirs = RectOf(Previous);
    if (!Meet(mine, theirs)) return;
    int32_t transparent = OwnTransparentIndex(*this);
    if (transparent < 0 && !CanAddColor()) return;
    bool allocated = false;
    const int32_t previousTransparent = OwnTransparentIndex(Previous);
    TGifColorMap& table = ActiveColorMap();
    TGifColorMap& previousTable = Previous.ActiveColorMap();
    const bool sameTable = &table == &previousTable;
    bool changed = false;
    const int32_t left = std::max(mine.Left, theirs.Left), right = std::min(mine.Right, theirs.Right);
    const int32_t top = std::max(mine.Top, theirs.Top), bottom = std::min(mine.Bottom, theirs.Bottom);
    for (int32_t y = top; y < bottom; ++y) {
        uint8_t* row = Data.data() + size_t(y - Top) * Width;
        const uint8_t* previousRow = Previous.Data.data() + size_t(y - Previous.Top) * Previous.Width;
        for (int32_t x = left; x < right; ++x) {
            uint8_t& pixel = row[x - Left];
            const uint8_t previousPixel = previousRow[x - Previous.Left];
            if (pixel == transparent || previousPixel == previousTransparent) continue;
            if (sameTable ? pixel != previousPixel : !(table.Colors(pixel) == previousTable.Colors(previousPixel)))
                continue;
            if (transparent < 0) {
                transparent = TransparentIndex(allocated);
                if (transparent < 0) return;
            }
            pixel = uint8_t(transparent);
            changed = true;
        }
    }
    if (allocated) {
        TGifGraphicControlExtension* gce = GraphicControlExtension();
        if (!gce) gce = static_cast<TGifGraphicControlExtension*>(
                    extensions_.Add(std::make_unique<TGifGraphicControlExtension>(*this)));
        gce->SetTransparent(true);
        gce->TransparentColorIndex = uint8_t(transparent);
    }
    if (changed || allocated) FreeRendering();
}

void TGifFrame::Crop() {
    const int32_t transparent = OwnTransparentIndex(*this);
    if (Empty() || transparent < 0) return;
    const auto t = uint8_t(transparent);
    auto columnClear = [&](int32_t X, int32_t Y0, int32_t Y1) {
        for (int32_t y = Y0; y < Y1; ++y)
            if (Data[size_t(y) * Width + size_t(X)] != t) return false;
        return true;
    };
    auto rowClear = [&](int32_t Y, int32_t X0, int32_t X1) {
        const uint8_t* row = Data.data() + size_t(Y) * Width;
        return std::all_of(row + X0, row + X1, [&](uint8_t P) { return P == t; });
    };
    int32_t x0 = 0, x1 = Width, y0 = 0, y1 = Height;
    while (x0 < x1 && columnClear(x0, y0, y1)) ++x0;
    while (x1 > x0 && columnClear(x1 - 1, y0, y1)) --x1;
    while (y0 < y1 && rowClear(y0, x0, x1)) ++y0;
    while (y1 > y0 && rowClear(y1 - 1, x0, x1)) --y1;
    if (x0 == 0 && y0 == 0 && x1 == Width && y1 == Height) return;
    std::vector<uint8_t> kept;
    kept.reserve(size_t(x1 - x0) * size_t(y1 - y0));
    for (int32_t y = y0; y < y1; ++y) {
        const uint8_t* row = Data.data() + size_t(y) * Width;
        kept.insert(kept.end(), row + x0, row + x1);
    }
    Left = uint16_t(Left + x0);
    Top = uint16_t(Top + y0);
    Width = uint16_t(x1 - x0);
    Height = uint16_t(y1 - y0);
    Data = std::move(kept);
    FreeRendering();
}

void TGifImage::Optimise(uint8_t Options, uint8_t ReductionMethod, uint8_t, int32_t) {
    if (Empty()) return;
    PaintersHold();
    TPainterHold hold([this] { PaintersResume(); });
    const int32_t total = 6 * images_.Count();
    int32_t done = 0;
    auto step = [&] {
        ++done;
        Progress(TProgressStage::psRunning, total > 0 ? done * 100 / total : 100, "Optimizing...");
    };
    Progress(TProgressStage::psStarting, 0, "Optimizing...");

    if (Options & ooColorMap) {
        if (header_.ColorMap().Count() > 0) header_.ColorMap().Optimize();
        for (const auto& frame : images_) {
            if (frame->ColorMap().Count() > 0) frame->ColorMap().Optimize();
            step();
        }
    }

    if (Options & ooCleanup) {
        for (const auto& frame : images_) {
            const int32_t index = OwnTransparentIndex(*frame);
            if (index >= 0 && !Uses(*frame, index)) frame->GraphicControlExtension()->SetTransparent(false);
            step();
        }
        for (int32_t i = 0; i + 1 < images_.Count(); ++i) {
            TGifFrame& frame = images_[i];
            TGifFrame& next = images_[i + 1];
            TGifGraphicControlExtension* gce = frame.GraphicControlExtension();
            // Restoring the area is pointless only when the next frame paints all of it over.
            if (gce && (gce->Disposal() == dmBackground || gce->Disposal() == dmPrevious) && !next.Transparent() &&
                Meet(RectOf(frame), RectOf(next)) && Inside(RectOf(frame), RectOf(next)))
                gce->SetDisposal(dmNone);
        }
    }

    if (Options & ooMerge) {
        for (int32_t i = images_.Count() - 1; i >= 1; --i) {
            int32_t previous = i - 1;
            while (previous > 0 && DisposalOf(images_[previous]) == dmPrevious) --previous;
            images_[i].Merge(images_[previous]);
            step();
        }
    }

    if (Options & ooCrop) {
        for (int32_t i = images_.Count() - 1; i >= 0; --i) {
            TGifFrame& frame = images_[i];
            step();
            if (frame.Empty() || !frame.Transparent()) continue;
            frame.Crop();
            if (!frame.Empty()) continue;
            if (i > 0 && images_[i - 1].Transparent()) {
                TGifGraphicControlExtension* from = frame.GraphicControlExtension();
                TGifGraphicControlExtension* to = images_[i - 1].GraphicControlExtension();
                if (from && to) to->Delay = uint16_t(to->Delay + from->Delay);
            }
            images_.Delete(i);
        }
    }

    if (Options & ooCleanup) {
        for (int32_t i = images_.Count() - 1; i >= 0; --i) {
            TGifFrame& frame = images_[i];
            TGifExtensionList& extensions = frame.Extensions();
            const bool single = images_.Count() == 1;
            for (int32_t e = extensions.Count() - 1; e >= 0; --e) {
                TGifExtension& extension = extensions[e];
                const TGifExtensionClass kind = extension.Kind();
                bool drop = false;
                if (kind == &TGifCommentExtension::Class || kind == &TGifTextExtension::Class ||
                    kind == &TGifUnknownAppExtension::Class || kind == &TGifApplicationExtension::Class) {
                    drop = true;
                } else if (kind == &TGifLoopExtension::Class) {
                    drop = !(i == 0 && images_.Count() >= 2);
                } else if (kind == &TGifGraphicControlExtension::Class) {
                    const auto& gce = static_cast<const TGifGraphicControlExtension&>(extension);
                    drop = (gce.Delay == 0 || single) && !gce.Transparent() && !gce.UserInput() &&
                           (gce.Disposal() < dmBackground || single);
                }
                if (drop) extensions.Delete(e);
            }
            if (frame.Empty() && extensions.Count() == 0) images_.Delete(i);
            step();
        }
    }

    if ((Options & ooReduceColors) && !(Options & ooCleanup) && ReductionMethod == 9)
        throw GIFException("Invalid reduction method");
    Progress(TProgressStage::psEnding, 100, "Optimizing...");
}

}  // namespace gif
