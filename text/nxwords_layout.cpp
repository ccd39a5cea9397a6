// Layout of a document: measuring characters, the Japanese line-breaking rules, flow-around areas
// for floating glyphs, and the distribution of a range of glyphs over rows and pages.
#include "text/nxwords.h"

#include "text/fontpixels.h"

#include <algorithm>
#include <vector>

namespace {

// Characters that never start a row, and characters that never end one.
const char* const kNoLineStart = "。、｣」』)）､｡!?！？】";
const char* const kNoLineEnd = "｢「『（([<【";

bool InSet(const std::vector<uint16_t>& Set, uint16_t Code) {
    return Code != 0 && std::find(Set.begin(), Set.end(), Code) != Set.end();
}

bool IsNoLineStart(uint16_t Code) {
    static const std::vector<uint16_t> set = CharCodes(kNoLineStart);
    return InSet(set, Code);
}

bool IsNoLineEnd(uint16_t Code) {
    static const std::vector<uint16_t> set = CharCodes(kNoLineEnd);
    return InSet(set, Code);
}

// Single-byte printable characters: Latin words are never split.
bool IsSingleBytePrintable(uint16_t Code) { return Code >= 33 && Code <= 255; }

// Left (1) and right (2) aligned glyphs float at a row's start; every other glyph flows inline.
bool IsFloating(const TWdGlyph& Glyph) { return Glyph.GetAlign() == 1 || Glyph.GetAlign() == 2; }

bool IsReturn(const TWdGlyph& Glyph) { return Glyph.GetKind() == wkReturn; }

}  // namespace

// ---- Measuring ----

void TDecorateList::MeasureChar(const TDecorate* Decorate, uint16_t Code, int32_t& Width, int32_t& Height,
                                bool HasLink) {
    const int32_t size = Decorate && Decorate->FontSize != 0 ? Decorate->FontSize : Word->FontSize;
    const uint8_t style = GetStyle(Decorate);
    Height = size;
    Width = 0;
    if (Word->WholeCell) {
        Width = size;
    } else {
        platform::AbcWidths abc;
        const uint8_t fontStyle = style | (HasLink ? platform::kFontUnderline : 0);
        if (FontPixelManager && FontPixelManager->GetCharAbcWidths(Code, GetFontName(Decorate), fontStyle, size, abc))
            Width = abc.a + int32_t(abc.b) + std::max(abc.c, 0);
    }
    if (style & platform::kFontItalic) Width += size / 5;
    if (Decorate && !Decorate->Ruby.empty()) Height += std::max(1, size / 2);
    const int32_t border = Decorate && Decorate->BorderSize >= 0 ? Decorate->BorderSize : Word->BorderSize;
    Width += 2 * border;
    Height += 2 * border;
    const int32_t shadow = Decorate && Decorate->ShadowSize >= 0 ? Decorate->ShadowSize : Word->ShadowSize;
    Width += shadow;
    Height += shadow;
}

void TWdChar::Measure() { Word->Decorates.MeasureChar(Decorate, Code, Width, Height, !Link.empty()); }

// ---- Line-break rules ----

bool TWdGlyph::CanBreakBefore(const TWdGlyph* Prev) const {
    if (!Prev) return true;
    if (GetNoBreak() && Prev->GetNoBreak()) return false;
    const std::string ruby = GetRuby();
    if (!ruby.empty() && ruby == Prev->GetRuby()) return false;
    const uint16_t code = GetCode(), prevCode = Prev->GetCode();
    if (IsSingleBytePrintable(code) && IsSingleBytePrintable(prevCode)) return false;
    if (code == ' ' && prevCode != ' ') return false;
    return !IsNoLineStart(code);
}

bool TWdGlyph::CanEndLine() const { return !IsNoLineEnd(GetCode()); }

int32_t TWdGlyph::UnbreakableWidth(int Index, int& Count) const {
    int32_t width = GetWidth();
    Count = 1;
    if (IsReturn(*this)) return width;
    // Joins the glyphs after the run while no break is allowed before them; a line break ends it.
    const TWdGlyph* last = this;
    const auto joinUnbreakable = [&] {
        for (const TWdGlyph* next = Word->GetGlyph(Index + Count); next && !next->CanBreakBefore(last);
             next = Word->GetGlyph(Index + Count)) {
            width += next->GetWidth();
            ++Count;
            last = next;
            if (IsReturn(*next)) return;
        }
    };
    joinUnbreakable();
    if (Count == 1 && !CanEndLine()) {
        const TWdGlyph* next = Word->GetGlyph(Index + 1);
        if (next && !IsReturn(*next)) {
            width += next->GetWidth();
            Count = 2;
            last = next;
            joinUnbreakable();
        }
    }
    return width;
}

// ---- Flow-around areas ----

TRect TWdClipList::AddRect(int32_t Top, int32_t Width, bool RightSide, int32_t Height) {
    int32_t left, right;
    GetBounds(Top, left, right);
    const int32_t x = RightSide ? right - Width : left;
    const TRect rect{x, Top, x + Width, Top + Height};
    areas_.push_back({rect, RightSide});
    try {
        open_.push_back(areas_.size() - 1);
    } catch (...) {
        areas_.pop_back();
        throw;
    }
    return rect;
}

void TWdClipList::GetBounds(int32_t Top, int32_t& Left, int32_t& Right) {
    if (Top < lastTop_) {
        open_.reserve(areas_.size());
        open_.clear();
        for (size_t i = 0; i < areas_.size(); ++i)
            if (areas_[i].Rect.Bottom > Top) open_.push_back(i);
    }
    lastTop_ = Top;
    std::erase_if(open_, [&](size_t i) { return areas_[i].Rect.Bottom <= Top; });
    Left = 0;
    Right = FullWidth;
    for (const size_t i : open_) {
        const TArea& area = areas_[i];
        if (Top < area.Rect.Top) continue;
        if (area.RightSide)
            Right = std::min(Right, area.Rect.Left);
        else
            Left = std::max(Left, area.Rect.Right);
    }
}

void TWdClipList::Clear() {
    areas_.clear();
    open_.clear();
    lastTop_ = INT32_MIN;
}

// ---- Rows and pages ----

void TWdRow::Add(TWdGlyph* Child) {
    TWdComposite::Add(Child);
    const int32_t h = Child->GetHeight();
    if (Child->GetKind() == wkChar)
        CharHeight = std::max(CharHeight, h);
    else if (Child->GetAlign() == 4)
        TopHeight = std::max(TopHeight, h);
    else if (Child->GetAlign() == 3)
        CenterHeight = std::max(CenterHeight, h);
    else
        OtherHeight = std::max(OtherHeight, h);
    // What a centre-aligned glyph reaches above and below the characters; nothing when the
    // characters are the taller.
    const int32_t half = std::max(0, (CenterHeight - CharHeight + 1) / 2);
    Height = std::max(CharHeight,
                      std::max(TopHeight, CharHeight + half) + std::max({0, OtherHeight - CharHeight, half}));
}

void TWdRow::Arrange() {
    int32_t x = LeftBound;
    if (Align == 2)
        x = RightBound - Width;
    else if (Align == 3)
        x = LeftBound + (RightBound - LeftBound - Width) / 2;
    Width += x;
    // Floating glyphs keep the place of their flow-around area.
    for (TWdGlyph* child : Children) {
        if (IsFloating(*child)) continue;
        child->X = x;
        x += child->GetWidth();
    }
    int32_t base = 0;
    for (const TWdGlyph* child : Children) {
        const uint8_t align = child->GetAlign();
        if (align < 3 || align > 5) base = std::max(base, child->GetHeight());
    }
    int32_t above = 0, below = 0;
    for (const TWdGlyph* child : Children) {
        const int32_t h = child->GetHeight();
        switch (child->GetAlign()) {
        case 3:
            above = std::max(above, (h - base + 1) / 2);
            below = std::max(below, (h - base + 1) / 2);
            break;
        case 4: below = std::max(below, h - base); break;
        case 5: above = std::max(above, h - base); break;
        }
    }
    Height = above + base + below;
    for (TWdGlyph* child : Children) {
        const int32_t h = child->GetHeight();
        if (IsFloating(*child)) continue;
        if (h == 0 || child->GetAlign() == 4)
            child->Y = above;
        else if (child->GetAlign() == 3)
            child->Y = (base - h) / 2 + above;
        else
            child->Y = Height - below - h;
    }
}

void TWdPage::Arrange() {
    Height = 0;
    for (int i = 0; i < GetCount(); ++i) {
        TWdGlyph* row = GetItem(i);
        row->Arrange();
        Height = std::max(Height, row->Y + row->GetHeight());
        for (int j = 0; j < row->GetCount(); ++j) {
            const TWdGlyph* child = row->GetItem(j);
            if (child->GetAlign() != 0) Height = std::max(Height, child->Y + child->GetHeight());
        }
    }
}

// ---- Layout ----

namespace {

// The state of one layout run over a document's glyphs.
class TLayoutRun {
public:
    TLayoutRun(TNxWord& AWord, TWdPageList& APages) : word_(AWord), pages_(APages), clips_(AWord.Width) {}

    // Lays out the glyphs First..Last, every one of them measured already.
    void Run(int First, int Last) {
        int i = First;
        while (i <= Last) {
            TWdGlyph& glyph = *word_.GetGlyph(i);
            switch (glyph.GetKind()) {
            case wkAlign:
                align_ = glyph.GetAlign();
                if (row_ && !RowHasRealChild()) row_->SetAlign(align_);
                ++i;
                continue;
            case wkIndent:
                if (row_) indent_ = row_->Width;
                ++i;
                continue;
            case wkUndent:
                indent_ = 0;
                ++i;
                continue;
            }
            if (!row_) StartRow();
            i = IsFloating(glyph) ? PlaceFloating(glyph, i) : PlaceRun(glyph, i, Last);
        }
    }

private:
    void StartRow() {
        if (!page_) {
            pages_.Add(std::make_unique<TWdPage>(&word_));
            page_ = pages_.Items(pages_.Count() - 1);
            top_ = 0;
            // Areas of the previous page do not reach into this one.
            clips_.Clear();
        }
        auto row = std::make_unique<TWdRow>(&word_);
        row_ = row.get();
        page_->Add(row_);
        page_->AddOwned(std::move(row));
        row_->Y = top_;
        row_->SetAlign(align_);
        row_->Width = indent_;
        rowFirst_ = -1;
        rowSeen_ = 0;
        rowReal_ = false;
        SetBounds();
        if (indent_ > 0) {
            auto blank = std::make_unique<TWdSpace>(&word_, indent_);
            row_->Add(blank.get());
            row_->AddOwned(std::move(blank));
        }
    }

    // Whether the current row holds a visible glyph; only the glyphs added since the last look
    // are looked at, so a row is walked once however often it is asked.
    bool RowHasRealChild() {
        for (; !rowReal_ && rowSeen_ < row_->GetCount(); ++rowSeen_)
            rowReal_ = dynamic_cast<const TWdReal*>(row_->GetItem(rowSeen_)) != nullptr;
        return rowReal_;
    }

    void SetBounds() {
        int32_t left, right;
        clips_.GetBounds(top_, left, right);
        row_->SetLeftBound(left);
        row_->SetRightBound(right);
    }

    void CloseRow(int32_t Spacing) {
        top_ += row_->GetHeight() + Spacing;
        row_ = nullptr;
    }

    // Frees the current row; the layout goes on with a new page.
    void DropRow() {
        page_->Delete(page_->IndexOf(row_));
        row_ = nullptr;
        page_ = nullptr;
    }

    bool Overflows(int32_t Height) const { return word_.Paging && page_->GetCount() > 1 && top_ + Height > word_.Height; }

    // Places the run that cannot be split starting at glyph I and answers the next glyph's
    // index.
    int PlaceRun(TWdGlyph& Glyph, int I, int Last) {
        int count;
        int32_t width = Glyph.UnbreakableWidth(I, count);
        // A run stops at the end of the range.
        if (I + count - 1 > Last) {
            count = Last - I + 1;
            width = 0;
            for (int k = 0; k < count; ++k) width += word_.GetGlyph(I + k)->GetWidth();
        }
        if (rowFirst_ >= 0 && word_.Width != 0 && row_->Width + width > row_->RightBound - row_->LeftBound) {
            CloseRow(word_.RowSpace);
            return I;
        }
        if (rowFirst_ < 0) rowFirst_ = I;
        for (int k = 0; k < count; ++k) {
            row_->Add(word_.GetGlyph(I + k));
            if (Overflows(row_->GetHeight())) {
                DropRow();
                return rowFirst_;
            }
        }
        row_->Width += width;
        if (IsReturn(Glyph)) {
            int32_t height = row_->GetHeight();
            if (!RowHasRealChild()) {
                int32_t spaceWidth;
                word_.Decorates.MeasureChar(nullptr, ' ', spaceWidth, height, false);
            }
            top_ += height + word_.RowSpace;
            if (Glyph.GetClear()) page_ = nullptr;
            row_ = nullptr;
        }
        return I + count;
    }

    // Places a floating glyph at the start of a row and answers the next glyph's index.
    int PlaceFloating(TWdGlyph& Glyph, int I) {
        if (rowFirst_ >= 0) {
            CloseRow(0);
            return I;
        }
        if (Overflows(Glyph.GetHeight())) {
            DropRow();
            return I;
        }
        const bool right = Glyph.GetAlign() == 2;
        Glyph.X = clips_.AddRect(top_, Glyph.GetWidth(), right, Glyph.GetHeight()).Left;
        Glyph.Y = 0;
        row_->Add(&Glyph);
        rowFirst_ = I;
        SetBounds();
        return I + 1;
    }

    TNxWord& word_;
    TWdPageList& pages_;
    TWdClipList clips_;
    int32_t top_ = 0;
    uint8_t align_ = 1;
    int32_t indent_ = 0;
    TWdPage* page_ = nullptr;
    TWdRow* row_ = nullptr;
    int rowFirst_ = -1;  // the document index of the row's first glyph after its indent blank; -1 for none
    int rowSeen_ = 0;     // the row's glyphs RowHasRealChild has looked at
    bool rowReal_ = false;  // one of them is visible
};

}  // namespace

void LayoutPages(TNxWord& Word, TWdPageList& Pages, int First, int32_t EndPos) {
    const int count = Word.GlyphCount();
    int last = EndPos < 0 ? -1 : Word.GlyphIndexAtTextPos(EndPos);
    if (last < 0 || last >= count) last = count - 1;
    First = std::max(First, 0);
    for (int i = First; i <= last; ++i) Word.GetGlyph(i)->Measure();
    const int firstPage = Pages.Count();
    TLayoutRun(Word, Pages).Run(First, last);
    for (int i = firstPage; i < Pages.Count(); ++i) Pages.Items(i)->Arrange();
    if (Word.Width == 0)
        for (int i = 0; i < Pages.Count(); ++i)
            for (int j = 0; j < Pages.Items(i)->GetCount(); ++j)
                Word.Width = std::max(Word.Width, Pages.Items(i)->GetItem(j)->Width);
}
