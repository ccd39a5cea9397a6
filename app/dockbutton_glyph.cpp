// Image lists, the glyph cache and the cells of button glyphs.
#include "app/dockbutton.h"


#include <algorithm>

namespace {

constexpr TRGBQuad White = 0xFFFFFF, Silver = 0xC0C0C0, Grey = 0x808080, Black = 0;

std::unique_ptr<TGlyphCache> glyphCache;
int glyphCount = 0;

// A 32-bit bitmap of the size, every pixel Color.
TDIB FilledBitmap(int32_t Width, int32_t Height, TRGBQuad Color) {
    TDIB bitmap;
    bitmap.SetSize(Width, Height, 32);
    for (int32_t y = 0; y < Height; ++y)
        for (int32_t x = 0; x < Width; ++x) bitmap.SetPixel(x, y, Color);
    return bitmap;
}

TRGBQuad ColorAt(const TDIB& Image, int32_t X, int32_t Y) { return Image.ValueColor(Image.GetPixel(X, Y)); }

}  // namespace

// ---- TImageList ----

TImageList::TImageList(int32_t Width, int32_t Height) : width_(Width), height_(Height) {}

void TImageList::CheckImage(const TDIB& Image) const {
    if (Image.Width() < width_ || Image.Height() < height_) throw EInvalidOperation("イメージサイズが正しくありません");
}

TImageCell TImageList::MakeCell(const TDIB& Image, const TDIB* Mask, std::optional<TRGBQuad> MaskColor) const {
    TImageCell cell;
    cell.Pixels.resize(size_t(width_) * height_);
    cell.Transparent.resize(cell.Pixels.size());
    const bool masked = Mask && !Mask->Empty();
    for (int32_t y = 0; y < height_; ++y)
        for (int32_t x = 0; x < width_; ++x) {
            const size_t i = size_t(y) * width_ + x;
            cell.Pixels[i] = ColorAt(Image, x, y);
            if (masked)
                cell.Transparent[i] = x < Mask->Width() && y < Mask->Height() && ColorAt(*Mask, x, y) != Black;
            else
                cell.Transparent[i] = MaskColor && cell.Pixels[i] == *MaskColor;
        }
    return cell;
}

void TImageList::Store(int32_t Index, TImageCell Cell) {
    if (Index == int32_t(cells_.size()))
        cells_.push_back(std::move(Cell));
    else
        cells_[size_t(Index)] = std::move(Cell);
}

int32_t TImageList::Add(const TDIB& Image, const TDIB* Mask) {
    CheckImage(Image);
    Store(ImageCount(), MakeCell(Image, Mask, std::nullopt));
    return ImageCount() - 1;
}

int32_t TImageList::AddMasked(const TDIB& Image, TRGBQuad MaskColor) {
    CheckImage(Image);
    Store(ImageCount(), MakeCell(Image, nullptr, MaskColor));
    return ImageCount() - 1;
}

void TImageList::Replace(int32_t Index, const TDIB& Image, const TDIB* Mask) {
    if (Index < 0 || Index >= ImageCount() || Image.Width() < width_ || Image.Height() < height_)
        throw EInvalidOperation("イメージの置き換えができません");
    Store(Index, MakeCell(Image, Mask, std::nullopt));
}

void TImageList::ReplaceMasked(int32_t Index, const TDIB& Image, TRGBQuad MaskColor) {
    if (Index < 0 || Index >= ImageCount() || Image.Width() < width_ || Image.Height() < height_)
        throw EInvalidOperation("イメージの置き換えができません");
    Store(Index, MakeCell(Image, nullptr, MaskColor));
}

void TImageList::Delete(int32_t Index) {
    if (Index >= 0 && Index < ImageCount()) cells_.erase(cells_.begin() + Index);
}

void TImageList::Draw(TWidgetCanvas& Canvas, int32_t X, int32_t Y, int32_t Index) const {
    if (Index < 0 || Index >= ImageCount()) return;
    const TImageCell& cell = cells_[size_t(Index)];
    for (int32_t y = 0; y < height_; ++y)
        for (int32_t x = 0; x < width_; ++x) {
            const size_t i = size_t(y) * width_ + x;
            if (cell.Transparent[i]) continue;
            const TRGBQuad c = cell.Pixels[i];
            Canvas.Pixel(X + x, Y + y, TColor(QuadBlue(c) << 16 | QuadGreen(c) << 8 | QuadRed(c)));
        }
}

// ---- TGlyphList ----

int32_t TGlyphList::AllocateIndex() {
    const auto free = std::find(used_.begin(), used_.end(), false);
    const int32_t index = int32_t(free - used_.begin());
    if (free == used_.end()) used_.push_back(true);
    else *free = true;
    ++count_;
    return index;
}

int32_t TGlyphList::Add(const TDIB& Image, const TDIB* Mask) {
    CheckImage(Image);
    const int32_t index = AllocateIndex();
    if (index == ImageCount())
        TImageList::Add(Image, Mask);
    else
        Replace(index, Image, Mask);
    return index;
}

int32_t TGlyphList::AddMasked(const TDIB& Image, TRGBQuad MaskColor) {
    CheckImage(Image);
    const int32_t index = AllocateIndex();
    if (index == ImageCount())
        TImageList::AddMasked(Image, MaskColor);
    else
        ReplaceMasked(index, Image, MaskColor);
    return index;
}

void TGlyphList::Delete(int32_t Index) {
    if (Index < 0 || Index >= int32_t(used_.size()) || !used_[size_t(Index)]) return;
    used_[size_t(Index)] = false;
    --count_;
}

// ---- TGlyphCache ----

TGlyphList* TGlyphCache::GetList(int32_t Width, int32_t Height) {
    for (auto it = lists_.rbegin(); it != lists_.rend(); ++it)
        if ((*it)->Width() == Width && (*it)->Height() == Height) return it->get();
    lists_.push_back(std::make_unique<TGlyphList>(Width, Height));
    return lists_.back().get();
}

void TGlyphCache::ReturnList(TGlyphList* List) {
    if (!List || List->Count() != 0) return;
    std::erase_if(lists_, [List](const std::unique_ptr<TGlyphList>& L) { return L.get() == List; });
}

TGlyphCache* GlyphCache() { return glyphCache.get(); }

// ---- TButtonGlyph ----

TButtonGlyph::TButtonGlyph() : colors_{0xD4D0C8, White, Grey} {
    for (auto& list : indexes_) list.fill(-1);
    if (!glyphCache) glyphCache = std::make_unique<TGlyphCache>();
    ++glyphCount;
}

TButtonGlyph::~TButtonGlyph() {
    Invalidate();
    if (--glyphCount == 0 && glyphCache && glyphCache->Empty()) glyphCache.reset();
}

void TButtonGlyph::Changed() {
    if (OnChange) OnChange();
}

void TButtonGlyph::Invalidate() {
    for (int list = 0; list < 2; ++list) {
        for (int32_t& index : indexes_[size_t(list)]) {
            if (index >= 0 && lists_[list]) lists_[list]->Delete(index);
            index = -1;
        }
        if (glyphCache) glyphCache->ReturnList(lists_[list]);
        lists_[list] = nullptr;
    }
}

void TButtonGlyph::SetGlyph(const TDIB& Value) {
    Invalidate();
    original_.Assign(&Value);
    numGlyphs_ = 1;
    transparentColor_ = 0;
    if (!original_.Empty()) {
        const int32_t w = original_.Width(), h = original_.Height();
        if (w % h == 0 && w / h <= 5) numGlyphs_ = w / h;
        transparentColor_ = ColorAt(original_, 0, h - 1);
    }
    Changed();
}

void TButtonGlyph::SetGlyphMask(const TDIB& Value) {
    Invalidate();
    originalMask_.Assign(&Value);
    Changed();
}

void TButtonGlyph::SetNumGlyphs(int32_t Value) {
    if (Value < 1 || Value > 5 || images_) Value = 1;
    if (Value == numGlyphs_) return;
    Invalidate();
    numGlyphs_ = Value;
    Changed();
}

void TButtonGlyph::SetImages(TImageList* Value) {
    if (images_ == Value) return;
    Invalidate();
    images_ = Value;
    if (images_) numGlyphs_ = 1;
    Changed();
}

void TButtonGlyph::SetImageIndex(int32_t Value) {
    if (imageIndex_ == Value) return;
    Invalidate();
    imageIndex_ = Value;
    Changed();
}

void TButtonGlyph::SetOldDisabledStyle(bool Value) {
    if (oldDisabledStyle_ == Value) return;
    Invalidate();
    oldDisabledStyle_ = Value;
    Changed();
}

void TButtonGlyph::SetColors(const TGlyphColors& Value) {
    if (Value.Face == colors_.Face && Value.Highlight == colors_.Highlight && Value.Shadow == colors_.Shadow) return;
    Invalidate();
    colors_ = Value;
}

bool TButtonGlyph::HasGlyph() const {
    if (images_) return imageIndex_ >= 0 && imageIndex_ < images_->ImageCount();
    return !original_.Empty();
}

TPoint TButtonGlyph::GlyphSize() const {
    if (images_) return {images_->Width(), images_->Height()};
    if (original_.Empty()) return {0, 0};
    return {original_.Width() / numGlyphs_, original_.Height()};
}

TButtonGlyph::TFrame TButtonGlyph::ReadFrame(int32_t Index) const {
    TFrame frame;
    const TPoint size = GlyphSize();
    frame.Width = size.X;
    frame.Height = size.Y;
    frame.Pixels.resize(size_t(size.X) * size.Y);
    frame.Transparent.resize(frame.Pixels.size());
    if (images_) {
        const TImageCell& cell = images_->Cell(imageIndex_);
        frame.Pixels = cell.Pixels;
        frame.Transparent = cell.Transparent;
        return frame;
    }
    const bool masked = !originalMask_.Empty();
    for (int32_t y = 0; y < size.Y; ++y)
        for (int32_t x = 0; x < size.X; ++x) {
            const int32_t sx = Index * size.X + x;
            const size_t i = size_t(y) * size.X + x;
            frame.Pixels[i] = ColorAt(original_, sx, y);
            frame.Transparent[i] = masked ? sx < originalMask_.Width() && y < originalMask_.Height() &&
                                                ColorAt(originalMask_, sx, y) != Black
                                          : frame.Pixels[i] == transparentColor_;
        }
    return frame;
}

TDIB TButtonGlyph::MakeDisabledCell(const TFrame& Frame) const {
    // The pixels that draw: the black ones in the old style; else every opaque one that is not
    // white or silver. An image-list picture counts as drawn on white.
    std::vector<uint8_t> draw(Frame.Pixels.size());
    for (size_t i = 0; i < draw.size(); ++i) {
        const TRGBQuad c = Frame.Transparent[i] && images_ ? White : Frame.Pixels[i];
        draw[i] = oldDisabledStyle_ ? c == Black : !Frame.Transparent[i] && c != White && c != Silver;
    }
    TDIB cell = FilledBitmap(Frame.Width + 1, Frame.Height + 1, colors_.Face);
    for (int32_t y = 0; y < Frame.Height; ++y)
        for (int32_t x = 0; x < Frame.Width; ++x)
            if (draw[size_t(y) * Frame.Width + x]) cell.SetPixel(x + 1, y + 1, colors_.Highlight);
    for (int32_t y = 0; y < Frame.Height; ++y)
        for (int32_t x = 0; x < Frame.Width; ++x)
            if (draw[size_t(y) * Frame.Width + x]) cell.SetPixel(x, y, colors_.Shadow);
    return cell;
}

TDIB TButtonGlyph::MakeSuppliedDisabledCell(const TFrame& Frame, TDIB& Mask) const {
    // White turns into the highlight and grey into the shadow; the mask grows by a transparent
    // row and column.
    TDIB cell = FilledBitmap(Frame.Width + 1, Frame.Height + 1, colors_.Face);
    Mask = FilledBitmap(Frame.Width + 1, Frame.Height + 1, White);
    for (int32_t y = 0; y < Frame.Height; ++y)
        for (int32_t x = 0; x < Frame.Width; ++x) {
            const size_t i = size_t(y) * Frame.Width + x;
            const TRGBQuad c = Frame.Pixels[i];
            cell.SetPixel(x, y, c == White ? colors_.Highlight : c == Grey ? colors_.Shadow : c);
            Mask.SetPixel(x, y, Frame.Transparent[i] ? White : Black);
        }
    return cell;
}

std::optional<TButtonGlyph::TCell> TButtonGlyph::CreateButtonGlyph(TButtonState State) {
    const int list = State == TButtonState::bsDisabled ? 0 : 1;
    const size_t state = size_t(State);
    if (indexes_[size_t(list)][state] >= 0) return TCell{lists_[list], indexes_[size_t(list)][state]};
    if (!HasGlyph()) return std::nullopt;
    const TPoint size = GlyphSize();
    if (size.X <= 0 || size.Y <= 0) return std::nullopt;
    const int32_t extra = list == 0 ? 1 : 0;
    if (!lists_[list]) lists_[list] = glyphCache->GetList(size.X + extra, size.Y + extra);
    TGlyphList& target = *lists_[list];

    int32_t index;
    if (State == TButtonState::bsDisabled && numGlyphs_ < 2) {
        index = target.AddMasked(MakeDisabledCell(ReadFrame(0)), colors_.Face);
    } else if (State == TButtonState::bsDisabled) {
        TDIB mask;
        const TDIB cell = MakeSuppliedDisabledCell(ReadFrame(1), mask);
        index = target.Add(cell, &mask);
    } else {
        const int32_t frame = int32_t(state) < numGlyphs_ ? int32_t(state) : 0;
        const TFrame pixels = ReadFrame(frame);
        TDIB cell = FilledBitmap(size.X, size.Y, colors_.Face);
        TDIB mask = FilledBitmap(size.X, size.Y, Black);
        for (int32_t y = 0; y < size.Y; ++y)
            for (int32_t x = 0; x < size.X; ++x) {
                const size_t i = size_t(y) * size.X + x;
                // A list's picture is drawn onto the face: its transparent pixels show the face.
                if (!(images_ && pixels.Transparent[i])) cell.SetPixel(x, y, pixels.Pixels[i]);
                if (pixels.Transparent[i]) mask.SetPixel(x, y, White);
            }
        if (images_ || !originalMask_.Empty())
            index = target.Add(cell, &mask);
        else
            index = target.AddMasked(cell, ColorAt(cell, 0, size.Y - 1));
    }
    indexes_[size_t(list)][state] = index;
    return TCell{&target, index};
}

void TButtonGlyph::DrawGlyph(TWidgetCanvas& Canvas, int32_t X, int32_t Y, TButtonState State) {
    if (const std::optional<TCell> cell = CreateButtonGlyph(State)) cell->List->Draw(Canvas, X, Y, cell->Index);
}
