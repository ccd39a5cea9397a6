// The reveal of a laid-out page glyph by glyph, the drawing of characters into the page image
// and its coverage mask, their composition onto the destination surface, link hit testing and
// highlight, and the reveal state kept in save data.
#include "text/nxwords.h"

#include "core/jstrm.h"
#include "core/streams.h"
#include "graphics/graphic.h"
#include "media/screenman.h"
#include "text/fontpixels.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// The glyph's rectangle on the page image: its place within its page, without the document's
// origin and scroll offset.
TRect PageRect(const TWdGlyph& Glyph) {
    int32_t x = Glyph.X, y = Glyph.Y;
    for (const TWdGlyph* p = Glyph.Parent; p && p->Parent; p = p->Parent) {
        x += p->X;
        y += p->Y;
    }
    return Bounds(x, y, Glyph.Width, Glyph.Height);
}

int32_t Saturated(int64_t Value) {
    using limits = std::numeric_limits<int32_t>;
    return int32_t(std::clamp<int64_t>(Value, limits::min(), limits::max()));
}

TRect JoinRects(const TRect& A, const TRect& B) {
    if (RectIsEmpty(A)) return B;
    if (RectIsEmpty(B)) return A;
    return {std::min(A.Left, B.Left), std::min(A.Top, B.Top), std::max(A.Right, B.Right), std::max(A.Bottom, B.Bottom)};
}

// The text colour a character draws in: the hover colour, else its own, else the link colour
// for a link, else the document's.
int32_t TextColorOf(const TWdChar& Char) {
    const TNxWord& word = *Char.Word;
    if (Char.Hover) return word.HoverColor;
    if (Char.GetColor() != -1) return Char.GetColor();
    return Char.Link.empty() ? word.Color : word.LinkColor;
}

int32_t BorderColorOf(const TWdGlyph& Glyph) {
    return Glyph.GetBorderColor() != -1 ? Glyph.GetBorderColor() : Glyph.Word->BorderColor;
}

int32_t ShadowColorOf(const TWdGlyph& Glyph) {
    return Glyph.GetShadowColor() != -1 ? Glyph.GetShadowColor() : Glyph.Word->ShadowColor;
}

int32_t FontSizeOf(const TWdGlyph& Glyph) {
    return Glyph.GetFontSize() != 0 ? Glyph.GetFontSize() : Glyph.Word->FontSize;
}

// Whether a neighbour in the row is a character whose border and shadow join this one's.
bool JoinsBorder(const TWdGlyph& Char, const TWdGlyph* Neighbour) {
    return Neighbour && Neighbour->GetKind() == wkChar && Neighbour->GetBorderSize() == Char.GetBorderSize() &&
           Neighbour->GetShadowSize() == Char.GetShadowSize() &&
           Neighbour->GetBorderColor() == Char.GetBorderColor() &&
           Neighbour->GetShadowColor() == Char.GetShadowColor();
}

// Whether the character begins a run of its ruby: the glyph before it in the line carries
// another ruby, or it is the first character a variable inserted.
bool StartsRubyRun(const TWdChar& Char) {
    const TWdGlyph* prev = Char.PrevInLine();
    if (!prev || prev->GetRuby() != Char.GetRuby()) return true;
    return dynamic_cast<const TWdVarChar*>(&Char) && (prev->GetKind() == wkVar || prev->GetKind() == wkHistChar);
}

// The event text as stored: an end event carries the byte 0x01 in front.
std::string EventTextOf(const TWdGlyph& Glyph) {
    const auto& event = static_cast<const TWdOpeEvent&>(Glyph);
    return event.EndFlag ? "\x01" + event.Text : event.Text;
}

// Gives a surface the size and depth asked for, only when they differ.
void FitSurface(TDIBX& Surface, int32_t Width, int32_t Height, int Bits) {
    if (Surface.GetWidth() == Width && Surface.GetHeight() == Height && Surface.GetBitCount() == Bits) return;
    if (Width > 0 && Height > 0) CheckImageSize(Width, Height, Bits);
    Surface.SetSize(std::max(Width, 0), std::max(Height, 0), Bits);
}

}  // namespace

// ---- Visible glyphs ----

void TWdReal::Draw(bool Hide) {
    if (Hide) SetAlpha(0);
}

void TWdReal::EraseBackground() {
    const TRect r = PageRect(*this);
    Word->PageImage.FillRect(r, 0);
    Word->MaskImage.FillRect(r, 0);
}

void TWdReal::SaveState(TStream& Stream) const {
    const TWdPage* page = const_cast<TWdReal*>(this)->GetPage();
    WriteStreamInt(Stream, page ? page->GetSaveAlpha(this) : Alpha);
}

void TWdReal::LoadState(TStream& Stream) { SetAlpha(ReadStreamInt(Stream)); }

void TWdReal::StartFade(int32_t Duration) {
    FadeDuration = Duration;
    FadeStartAlpha = Alpha;
    FadeElapsed = 0;
}

bool TWdReal::StepFade(int32_t Elapsed) {
    FadeElapsed = Saturated(int64_t(FadeElapsed) + Elapsed);
    if (FadeElapsed < FadeDuration) {
        const double faded = std::nearbyint(double(FadeStartAlpha) * std::max(FadeElapsed, 0) / FadeDuration);
        SetAlpha(FadeStartAlpha - int32_t(faded));
        return false;
    }
    SetAlpha(0);
    return true;
}

// ---- Characters ----

void TWdChar::Draw(bool Hide) {
    TWdReal::Draw(Hide);
    TNxWord& word = *Word;
    TDIBX& image = word.PageImage;
    const std::string face = GetFontName();
    const uint8_t style = uint8_t(GetFontStyle() | (Link.empty() ? 0 : 4));
    const int32_t size = FontSizeOf(*this);
    const int32_t border = std::max(GetBorderSize(), 0), shadow = std::max(GetShadowSize(), 0);
    const int32_t textColor = image.ColorToPixel(TextColorOf(*this));
    const int32_t borderColor = image.ColorToPixel(BorderColorOf(*this));
    const int32_t shadowColor = image.ColorToPixel(ShadowColorOf(*this));
    FontPixelManager->AntialiasLevel = std::clamp(word.AntialiasLevel, 0, 3);

    TRect cell = PageRect(*this);
    DrawnRect = {0, 0, 0, 0};
    const std::string ruby = GetRuby();
    if (!ruby.empty()) {
        const int32_t r = std::max(1, size / 2);
        if (StartsRubyRun(*this)) {
            // The ruby spreads evenly over the whole run that carries it.
            int32_t runWidth = Width;
            for (const TWdGlyph* g = NextInLine(); g && g->GetRuby() == ruby; g = g->NextInLine())
                runWidth += g->Width;
            const std::vector<uint16_t> codes = CharCodes(ruby);
            const int count = int(codes.size());
            const double step = double(runWidth) / count / 2;
            for (int k = 1; k <= count; ++k) {
                const int code = codes[size_t(k - 1)];
                const bool wide = code > 255;
                const int32_t centre = cell.Left + int32_t(std::nearbyint((2 * k - 1) * step));
                const int32_t left = centre - (wide ? r / 2 : r / 4);
                TFontPixel* glyph = FontPixelManager->GetGlyph(uint16_t(code), face, r, uint8_t(style & 3));
                TRect touched;
                glyph->Draw(image, word.MaskImage, Bounds(left, cell.Top, wide ? r : r / 2, r), std::min(border, 1),
                            std::min(shadow, 1), true, true, textColor, borderColor, shadowColor, touched, false);
                DrawnRect = JoinRects(DrawnRect, touched);
            }
        }
        cell.Top += r;
    }

    const int index = Parent ? Parent->IndexOf(this) : -1;
    const bool joinsBefore = index > 0 && JoinsBorder(*this, Parent->GetItem(index - 1));
    const bool joinsAfter = index >= 0 && JoinsBorder(*this, Parent->GetItem(index + 1));
    TFontPixel* glyph = FontPixelManager->GetGlyph(Code, face, size, style);
    TRect touched;
    glyph->Draw(image, word.MaskImage, cell, border, shadow, !joinsBefore, !joinsAfter, textColor, borderColor,
                shadowColor, touched, false);
    DrawnRect = JoinRects(DrawnRect, touched);
}

void TWdChar::Update() {
    TCustomDIBX* dest = Word->Dest;
    if (!dest || Alpha == 0 || RectIsEmpty(DrawnRect)) return;
    const TRect place = PageRect(*this);
    const int32_t dx = GetAbsLeft() - place.Left, dy = GetAbsTop() - place.Top;
    const TNxWord& word = *Word;
    const TRect target = IntersectRects({DrawnRect.Left + dx, DrawnRect.Top + dy, DrawnRect.Right + dx,
                                         DrawnRect.Bottom + dy},
                                        Bounds(word.OriginX, word.OriginY, word.Width, word.Height));
    if (RectIsEmpty(target)) return;
    const TRect source{target.Left - dx, target.Top - dy, target.Right - dx, target.Bottom - dy};
    TDIBX& mask = Word->MaskImage;
    // Without border and shadow the coverage alone carries the character: its colour through it.
    if (GetBorderSize() <= 0 && GetShadowSize() <= 0)
        dest->DrawAlphaMaskKeyed(target.Left, target.Top, mask, source, false, false,
                                 dest->ColorToPixel(TextColorOf(*this)), Alpha);
    else if (Alpha < 255)
        dest->DrawAlphaMask(target.Left, target.Top, Word->PageImage, source, false, false, mask, Alpha);
    else
        dest->DrawMask(target.Left, target.Top, Word->PageImage, source, false, false, mask);
}

// ---- Rows ----

void TWdRow::Update() {
    const int32_t left = GetAbsLeft(), top = GetAbsTop();
    if (RectsIntersect(TRect{left, top, left + Width, top + Height}, Word->ClipRect)) TWdComposite::Update();
}

// The point is in the page's coordinates; children are tested relative to the row.
TWdGlyph* TWdRow::GlyphAt(int32_t AX, int32_t AY) {
    if (!PointInRect(GetRect(), AX, AY)) return nullptr;
    for (TWdGlyph* child : Children)
        if (child->GetAlpha() == 255 && PointInRect(child->GetRect(), AX - X, AY - Y)) return child;
    return nullptr;
}

// ---- Pages ----

void TWdPage::Draw(bool Hide) {
    FitSurface(Word->PageImage, GetWidth(), Height, ScreenBitCount());
    FitSurface(Word->MaskImage, GetWidth(), Height, 8);
    // Nothing of a page drawn before may show through this one's glyphs.
    Word->PageImage.Fill(0);
    Word->MaskImage.Fill(0);
    TWdComposite::Draw(Hide);
}

TWdGlyph* TWdPage::GlyphAt(int32_t AX, int32_t AY) {
    const int32_t x = AX - Word->OriginX, y = AY - Word->OriginY;
    if (x < 0 || x >= GetWidth() || y < 0 || y >= Word->Height) return nullptr;
    const int32_t pageY = y + (Word->Paging ? 0 : ScrollOffset);
    for (TWdGlyph* row : Children)
        if (pageY >= row->Y && pageY < row->Y + row->Height) {
            if (TWdGlyph* hit = row->GlyphAt(x, pageY)) return hit;
            break;
        }
    // Floating images stand beside the rows that pass them.
    for (TWdGlyph* row : Children)
        for (int i = 0; i < row->GetCount(); ++i) {
            TWdGlyph* child = row->GetItem(i);
            if (child->GetAlign() != 0 && PointInRect(child->GetRect(), x - row->X, pageY - row->Y)) return child;
        }
    return nullptr;
}

void TWdPage::SaveState(TStream& Stream) const {
    WriteStreamInt(Stream, ScrollOffset);
    WriteStreamInt(Stream, RowIndex);
    WriteStreamInt(Stream, GlyphIndex);
    WriteStreamByte(Stream, Done ? 1 : 0);
    WriteStreamString(Stream, EventText);
    struct TFadingSet {
        std::unordered_set<const TWdGlyph*>& Set;
        ~TFadingSet() { Set.clear(); }
    } fading{savingFading_};
    fading.Set.insert(FadingList.begin(), FadingList.end());
    TWdComposite::SaveState(Stream);
}

void TWdPage::LoadState(TStream& Stream) {
    const int32_t scroll = ReadStreamInt(Stream);
    const int32_t row = ReadStreamInt(Stream);
    const int32_t glyph = ReadStreamInt(Stream);
    const bool done = ReadStreamByte(Stream) != 0;
    std::string events = ReadStreamString(Stream);
    // A position outside the page cannot be revealed from.
    if (row < 0 || row > GetCount() || glyph < 0 || (row < GetCount() ? glyph > GetRow(row)->GetCount() : glyph != 0))
        throw EReadError();
    ScrollOffset = scroll;
    RowIndex = row;
    GlyphIndex = glyph;
    Done = done;
    EventText = std::move(events);
    // Glyphs that were fading in were saved fully shown.
    FadingList.clear();
    TWdComposite::LoadState(Stream);
    ImageList.clear();
    for (TWdGlyph* r : Children)
        for (int i = 0; i < r->GetCount(); ++i) {
            TWdGlyph* child = r->GetItem(i);
            if (child->GetAlpha() > 0 && child->HasImage()) ImageList.push_back(child);
        }
}

// ---- The reveal ----

void TWdPage::Advance(int32_t Elapsed, bool& Finished, std::string& Revealed) {
    Finished = !Done && IsRevealDone();
    if (Finished) Done = true;
    Revealed.clear();
    Word->ClearDirtyRects();
    if (SkipCount >= 1) {
        --SkipCount;
        return;
    }
    TNxWord& word = *Word;
    int32_t t = Elapsed;
    if (RowIndex < GetCount() && !word.Hold && EventText.empty()) {
        if (RowIndex == 0 && GlyphIndex == 0) {
            WaitCount = 0;
            FadeCount = 0;
            t = 0;
        } else if (AfterEvent) {
            AfterEvent = false;
            t = 0;
        }
        WaitCount = Saturated(int64_t(WaitCount) - t);
        while (RowIndex < GetCount() && WaitCount <= 0) {
            TWdRow* row = GetRow(RowIndex);
            if (row->Y - ScrollOffset > word.Height) break;  // the row waits for scrolling
            TWdGlyph* glyph = row->GetItem(GlyphIndex);
            if (++GlyphIndex >= row->GetCount()) {
                ++RowIndex;
                GlyphIndex = 0;
            }
            if (!glyph) continue;  // an empty row
            glyph->SetAlpha(0);
            const int32_t wait = glyph->GetWait();
            if (wait >= 0)
                WaitCount = Saturated(WaitCount + (int64_t(wait) * std::max(0, word.Speed) >> 8));
            else if (word.Speed >= 0)
                WaitCount = Saturated(WaitCount - int64_t(wait));
            // Only visible glyphs fade in; an operator glyph would never leave the list.
            if (dynamic_cast<TWdReal*>(glyph)) FadingList.push_back(glyph);
            if (glyph->HasImage()) ImageList.push_back(glyph);

            TWdGlyph* next = RowIndex < GetCount() ? GetRow(RowIndex)->GetItem(GlyphIndex) : nullptr;
            if (next) {
                const TWdGlyph* nextRow = GetRow(RowIndex);
                word.Caret = TPoint{next->GetAbsLeft() - word.OriginX, nextRow->GetAbsTop() - word.OriginY};
                word.CaretHeight = nextRow->Height;
            } else {
                word.Caret = TPoint{glyph->GetAbsLeft() + glyph->Width - word.OriginX, row->GetAbsTop() - word.OriginY};
                word.CaretHeight = row->Height;
            }

            if (glyph->GetKind() == wkEvent) {
                if (!word.EventsEnabled) continue;
                if (!EventText.empty()) EventText += '\t';
                EventText += EventTextOf(*glyph);
                AfterEvent = true;
                if (glyph->GetWait() > 0 || (next && next->GetKind() != wkEvent)) break;
            } else if (glyph->GetKind() == wkChar) {
                Revealed += glyph->GetPlainText();
            } else if (glyph->GetKind() == wkImg) {
                Revealed += '*';
            }
        }
    }

    const int32_t fadeTime = word.FadeTime;
    FadeCount = Saturated(FadeCount + int64_t(t) * 256);
    const int32_t step = fadeTime > 0 ? FadeCount / fadeTime : 255;
    if (step > 0) {
        FadeCount %= std::max(fadeTime, 1);
        for (size_t i = FadingList.size(); i-- > 0;) {
            TWdGlyph* glyph = FadingList[i];
            glyph->SetAlpha(Saturated(int64_t(glyph->GetAlpha()) + step));
            glyph->Invalidate();
        }
        std::erase_if(FadingList, [](const TWdGlyph* Glyph) { return Glyph->GetAlpha() >= 255; });
    }

    for (TWdGlyph* glyph : ImageList) glyph->AdvanceImage(t);

    if (!EventText.empty() && FadingList.empty()) {
        std::string events = std::move(EventText);
        EventText.clear();
        // Each part goes to the handler in order; the handler may change the page meanwhile.
        for (size_t start = 0;;) {
            const size_t tab = events.find('\t', start);
            word.FireEvent(events.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
            if (tab == std::string::npos) break;
            start = tab + 1;
        }
    }
}

bool TWdPage::HasMoreText() const {
    const bool fading = !FadingList.empty();
    if (Word->Paging) return (RowIndex < GetCount() && !Word->Hold) || fading;
    if (fading) return true;
    if (RowIndex >= GetCount()) return false;
    const TWdRow* row = GetRow(RowIndex);
    return row->Y - ScrollOffset + row->Height <= Word->Height;
}

bool TWdPage::IsRevealDone() const { return RowIndex >= GetCount() && FadingList.empty(); }

void TWdPage::ResetWait() {
    WaitCount = 0;
    FadeCount = 0;
    SkipCount = Word->FadeTime > 0 ? 1 : 0;
}

void TWdPage::ResetReveal() {
    RowIndex = 0;
    GlyphIndex = 0;
    ResetWait();
    Done = false;
    FadingList.clear();
    ImageList.clear();
}

void TWdPage::HoverLinkAt(int32_t AX, int32_t AY) {
    TWdGlyph* hit = AX < 0 || AY < 0 ? nullptr : GlyphAt(AX, AY);
    TWdGlyph* first = nullptr;
    if (hit && !hit->GetLink().empty()) {
        const std::string link = hit->GetLink();
        first = hit;
        for (TWdGlyph* prev = first->PrevInLine(); prev && prev->GetLink() == link; prev = prev->PrevInLine())
            first = prev;
    }
    if (first == HoverGlyph) return;
    if (HoverGlyph) SetLinkRunHover(HoverGlyph, false);
    HoverGlyph = first;
    if (first) SetLinkRunHover(first, true);
}

void TWdPage::ListLinkRuns(const std::function<void(const TRect& Area)>& Visit) const {
    const TRect shown{Word->OriginX, Word->OriginY, Word->OriginX + GetWidth(), Word->OriginY + Word->Height};
    const int32_t scroll = Word->Paging ? 0 : ScrollOffset;
    for (const TWdGlyph* row : Children) {
        const int32_t dx = Word->OriginX + row->X, dy = Word->OriginY + row->Y - scroll;
        for (int i = 0, count = row->GetCount(); i < count;) {
            const TWdGlyph* glyph = row->GetItem(i++);
            const std::string link = glyph->GetAlpha() == 255 ? glyph->GetLink() : std::string();
            if (link.empty()) continue;
            TRect run = glyph->GetRect();
            for (; i < count && row->GetItem(i)->GetAlpha() == 255 && row->GetItem(i)->GetLink() == link; ++i) {
                const TRect next = row->GetItem(i)->GetRect();
                run = {std::min(run.Left, next.Left), std::min(run.Top, next.Top), std::max(run.Right, next.Right),
                       std::max(run.Bottom, next.Bottom)};
            }
            const TRect area{run.Left + dx, run.Top + dy, run.Right + dx, run.Bottom + dy};
            if (RectsIntersect(area, shown)) Visit(IntersectRects(area, shown));
        }
    }
}

void TWdPage::SetLinkRunHover(TWdGlyph* First, bool Value) {
    const std::string link = First->GetLink();
    std::vector<TWdGlyph*> run{First};
    for (TWdGlyph* g = First->NextInLine(); g && g->GetLink() == link; g = g->NextInLine()) run.push_back(g);
    TWdGlyph* after = run.back()->NextInLine();
    auto repaint = [](TWdGlyph* Glyph) {
        Glyph->EraseBackground();
        Glyph->Draw(false);
        Glyph->Invalidate();
    };
    for (TWdGlyph* g : run) repaint(g);
    if (after) after->EraseBackground();
    for (TWdGlyph* g : run) {
        g->SetHover(Value);
        repaint(g);
    }
    // Borders and shadows of the run reach into the neighbour, which is drawn over them again.
    if (after) after->Draw(false);
}

std::string TWdPage::GetLinkText() const {
    if (!HoverGlyph) return {};
    const std::string link = HoverGlyph->GetLink();
    std::string text = HoverGlyph->GetText();
    for (const TWdGlyph* g = HoverGlyph->NextInLine(); g && g->GetLink() == link; g = g->NextInLine())
        text += g->GetText();
    return text;
}

void TWdPage::StoreVariables() {
    TStringList lines;
    TAnsiTextSet names;
    CollectVariables(lines, names);
    VarText.clear();
    for (int i = 0; i < lines.Count(); ++i) VarText += lines.Strings(i) + "\r\n";
}

int32_t TWdPage::GetSaveAlpha(const TWdGlyph* Glyph) const {
    const bool fading = savingFading_.empty()
                            ? std::find(FadingList.begin(), FadingList.end(), Glyph) != FadingList.end()
                            : savingFading_.count(Glyph) > 0;
    return fading ? 255 : Glyph->GetAlpha();
}
