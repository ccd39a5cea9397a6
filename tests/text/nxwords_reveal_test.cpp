// The reveal of pages placed by hand (no layout): ticks of a fake clock given to Advance, the
// waits under the speed factor, fade-in, events held until fading ends, the hold flag, link
// hover and its repaint, the saved reveal state, and characters with ruby, borders and links
// drawn through the fake font service and composed onto a 32-bit surface.
#include "text/nxwords.h"
#include "text/fontpixels.h"
#include "text/packfonts.h"

#include "core/streams.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr int32_t kSize = 16;  // the document's font size: characters are kSize wide and high

class Reveal : public ::testing::Test {
protected:
    Reveal() {
        PixelFontManager = new TPixelFontManager;
        FontPixelManager = new TFontPixelManager(platform::CreateFakeFontService);
        word.Width = 200;
        word.Height = 100;
        word.FontSize = kSize;
        word.OnEvent = [this](TNxWord&, const std::string& Text) { fired.push_back(Text); };
    }
    ~Reveal() override {
        pages.Clear();
        delete FontPixelManager;
        FontPixelManager = nullptr;
        delete PixelFontManager;
        PixelFontManager = nullptr;
    }

    TWdChar* Char(uint16_t Code, int32_t Wait = 0) {
        auto ch = std::make_unique<TWdChar>(&word);
        TWdChar* raw = ch.get();
        raw->Code = Code;
        raw->Wait = Wait;
        raw->SetBounds(0, 0, kSize, kSize);
        word.AddGlyph(std::move(ch));
        return raw;
    }
    void Event(const std::string& Text, bool End = false) {
        auto event = std::make_unique<TWdOpeEvent>(&word);
        event->Text = Text;
        event->EndFlag = End;
        word.AddGlyph(std::move(event));
    }
    void Return() { word.AddGlyph(std::make_unique<TWdOpeReturn>(&word)); }

    // Every glyph of the document on one page: a new row after each line break, glyphs left to
    // right on the row's base, rows RowHeight apart.
    TWdPage& Lay(int32_t RowHeight = kSize) {
        TWdPage& page = *pages.Items(pages.Add(std::make_unique<TWdPage>(&word)));
        TWdRow* row = nullptr;
        for (int i = 0; i < word.GlyphCount(); ++i) {
            if (!row) {
                auto owned = std::make_unique<TWdRow>(&word);
                row = owned.get();
                page.AddOwned(std::move(owned));
                page.Add(row);
                row->SetBounds(0, (page.GetCount() - 1) * RowHeight, 0, RowHeight);
            }
            TWdGlyph* glyph = word.GetGlyph(i);
            glyph->X = row->Width;
            glyph->Y = RowHeight - glyph->Height;
            row->Width += glyph->Width;
            row->Add(glyph);
            if (glyph->GetKind() == wkReturn) row = nullptr;
        }
        page.Height = page.GetCount() * RowHeight;
        return page;
    }

    // One tick; the text revealed in it, with "!" appended when it reports the page finished.
    std::string Tick(TWdPage& Page, int32_t Elapsed) {
        bool finished = false;
        std::string text;
        Page.Advance(Elapsed, finished, text);
        return finished ? text + "!" : text;
    }

    TNxWord word;
    TWdPageList pages;
    std::vector<std::string> fired;
};

}  // namespace

TEST_F(Reveal, SpeedFactorScalesWaitsButNotNegativeOnesAndFinishedIsReportedOnce) {
    Char('A', 40), Char('B', -30), Char('C', 40), Char('D', 40);
    word.FadeTime = 0;
    TWdPage& page = Lay();
    EXPECT_EQ(Tick(page, 16), "");  // a new page skips its first tick
    word.Speed = 0;
    EXPECT_EQ(Tick(page, 16), "AB");  // A's wait counts 0, B's -30 counts 30
    EXPECT_EQ(page.GetRow(0)->GetItem(1)->GetAlpha(), 255);
    EXPECT_EQ(Tick(page, 29), "");
    EXPECT_TRUE(page.HasMoreText());
    EXPECT_EQ(Tick(page, 1), "CD");
    EXPECT_TRUE(page.IsRevealDone());
    EXPECT_FALSE(page.HasMoreText());
    EXPECT_EQ(word.Caret.X, 4 * kSize);
    EXPECT_EQ(Tick(page, 16), "!");
    EXPECT_EQ(Tick(page, 16), "");
    EXPECT_EQ(Tick(page, 16), "");

    page.ResetReveal();  // no skipped tick with a fade-in time of 0
    word.Speed = 512;
    EXPECT_EQ(Tick(page, 0), "A");
    EXPECT_EQ(Tick(page, 79), "");
    EXPECT_EQ(Tick(page, 1), "B");
    word.Speed = -1;  // under a negative factor no wait counts
    EXPECT_EQ(Tick(page, 30), "CD");
    EXPECT_EQ(Tick(page, 0), "!");
}

TEST_F(Reveal, GlyphsFadeInOverTheFadeTimeWhileTheHoldFlagStopsOnlyNewOnes) {
    Char('A', 10), Char('B', 10);
    word.FadeTime = 100;
    word.Paging = 1;
    TWdPage& page = Lay();
    TWdGlyph& a = *page.GetRow(0)->GetItem(0);
    Tick(page, 16);
    EXPECT_EQ(Tick(page, 16), "A");  // the first glyph comes at once, its fading the tick after
    EXPECT_EQ(a.GetAlpha(), 0);
    word.Hold = 1;
    EXPECT_EQ(Tick(page, 50), "");
    EXPECT_EQ(a.GetAlpha(), 128);
    EXPECT_FALSE(word.DirtyRects.empty());  // the fading glyph asks to be drawn again
    EXPECT_TRUE(page.HasMoreText());  // still fading
    EXPECT_EQ(Tick(page, 60), "");
    EXPECT_EQ(a.GetAlpha(), 255);
    EXPECT_FALSE(page.HasMoreText());  // held, nothing fading
    EXPECT_FALSE(page.IsRevealDone());
    word.Hold = 0;
    EXPECT_EQ(Tick(page, 10), "B");  // A's wait did not run down while held
    EXPECT_EQ(a.GetAlpha(), 255);

    word.FadeTime = 0;
    page.ResetReveal();
    Tick(page, 16);
    EXPECT_EQ(a.GetAlpha(), 255);  // a fade-in time of 0 shows a glyph in its own tick
}

TEST_F(Reveal, EventsInARowFireInOrderOnceFadingIsOver) {
    Char('A'), Event("one"), Event("two"), Char('B'), Event("end", true), Char('C');
    word.FadeTime = 100;
    word.EventsEnabled = 1;
    TWdPage& page = Lay();
    Tick(page, 16);
    EXPECT_EQ(Tick(page, 16), "A");
    EXPECT_EQ(page.EventText, "one\ttwo");
    EXPECT_EQ(Tick(page, 50), "");  // A still fading: nothing fires, nothing more is revealed
    EXPECT_TRUE(fired.empty());
    EXPECT_EQ(Tick(page, 50), "");
    EXPECT_EQ(fired, (std::vector<std::string>{"one", "two"}));
    // The end event waits a tick of its own: the character after it comes later.
    EXPECT_EQ(Tick(page, 500), "B");
    Tick(page, 100), Tick(page, 100);
    EXPECT_EQ(fired.back(), "\x01" "end");
    EXPECT_EQ(Tick(page, 16), "C");

    fired.clear();
    word.EventsEnabled = 0;
    page.ResetReveal();
    Tick(page, 16);
    for (int i = 0; i < 5; ++i) Tick(page, 100);
    EXPECT_TRUE(fired.empty());
    EXPECT_TRUE(page.IsRevealDone());
}

TEST_F(Reveal, RowsBelowTheTextAreaWaitForScrollingWithoutPaging) {
    Char('A'), Return(), Char('B');
    word.FadeTime = 0;
    word.Height = 12;
    TWdPage& page = Lay();
    page.ResetReveal();
    EXPECT_EQ(Tick(page, 0), "A");
    EXPECT_FALSE(page.HasMoreText());  // the second row's bottom is below the text area
    page.ScrollOffset = 20;
    EXPECT_TRUE(page.HasMoreText());
    EXPECT_EQ(Tick(page, 0), "B");
    word.Paging = 1;
    page.ResetReveal();
    word.Hold = 1;
    EXPECT_FALSE(page.HasMoreText());
}

TEST_F(Reveal, HoverLightsTheWholeLinkRunAndMinusOneRemovesIt) {
    TWdChar* a = Char('A');
    TWdChar* b = Char('B');
    TWdChar* c = Char('C');
    a->Link = b->Link = "go";
    word.FadeTime = 0;
    word.Speed = 0;
    word.HoverColor = 0x00FF00;
    word.LinkColor = 0x0000FF;
    word.OriginX = 5;
    TWdPage& page = Lay();
    page.Draw(true);
    EXPECT_EQ(page.GlyphAt(5 + kSize + 2, 4), nullptr);  // nothing is hit before it is shown
    page.ResetReveal();
    Tick(page, 0);

    // A pixel of B's box in the page image: the fake glyph fills h/2 x (h - 2) from (1, 1).
    auto pixelOfB = [&] { return word.PageImage.GetPixel(kSize + kSize / 2, 6) & 0xFFFFFF; };
    EXPECT_EQ(pixelOfB(), 0xFF0000u);  // the link colour, red in the high byte of a raw pixel
    page.HoverLinkAt(5 + kSize + 2, 4);
    EXPECT_EQ(page.HoverGlyph, a);
    EXPECT_TRUE(a->Hover && b->Hover);
    EXPECT_FALSE(c->Hover);
    EXPECT_EQ(page.GetLinkText(), "AB");
    EXPECT_EQ(pixelOfB(), 0x00FF00u);
    EXPECT_FALSE(word.DirtyRects.empty());

    page.HoverLinkAt(5 + 2 * kSize + 2, 4);  // C has no link
    EXPECT_EQ(page.HoverGlyph, nullptr);
    page.HoverLinkAt(5 + 2, 4);
    EXPECT_EQ(page.HoverGlyph, a);
    page.HoverLinkAt(-1, 4);
    EXPECT_EQ(page.HoverGlyph, nullptr);
    EXPECT_FALSE(a->Hover || b->Hover);
    EXPECT_EQ(page.GetLinkText(), "");
    EXPECT_EQ(pixelOfB(), 0xFF0000u);
    EXPECT_EQ(page.GlyphAt(4, 4), nullptr);  // left of the origin
    EXPECT_EQ(page.GlyphAt(5 + 2, word.Height), nullptr);
}

TEST_F(Reveal, SavedStateRestoresPositionAndShowsFadingGlyphsWhole) {
    Char('A'), Char('B', 1000), Return(), Char('C');
    word.FadeTime = 100;
    TWdPage& page = Lay();
    Tick(page, 16);
    Tick(page, 16);
    Tick(page, 50);  // A and B at 128, C waits
    TMemoryStream saved;
    page.SaveState(saved);

    page.ResetReveal();
    page.SetAlphaAll(0);
    saved.SetPosition(0);
    page.LoadState(saved);
    EXPECT_EQ(page.RowIndex, 0);
    EXPECT_EQ(page.GlyphIndex, 2);
    EXPECT_EQ(page.GetRow(0)->GetItem(0)->GetAlpha(), 255);
    EXPECT_EQ(page.GetRow(0)->GetItem(1)->GetAlpha(), 255);
    EXPECT_EQ(page.GetRow(1)->GetItem(0)->GetAlpha(), 0);
    EXPECT_EQ(saved.Position(), saved.Size());

    // A position the page does not have is damage.
    TMemoryStream damaged;
    WriteStreamInt(damaged, 0), WriteStreamInt(damaged, 1), WriteStreamInt(damaged, 7);
    WriteStreamByte(damaged, 0), WriteStreamString(damaged, "");
    damaged.SetPosition(0);
    EXPECT_THROW(page.LoadState(damaged), EReadError);
    EXPECT_EQ(page.GlyphIndex, 2);
}

TEST_F(Reveal, CharactersWithRubyBordersAndLinksDrawOnlyInsideTheirRectangles) {
    const int32_t r = kSize / 2;
    TWdChar* plain = Char(0x82A0);  // あ
    TWdChar* ruby1 = Char(0x8A9F);
    TWdChar* ruby2 = Char(0x8E9A);
    TWdChar* bordered = Char('W');
    TWdChar* linked = Char(0x82A2);
    for (TWdChar* ch : {ruby1, ruby2}) {
        ch->SetRuby("かんじ");
        ch->Height = kSize + r;
    }
    for (TWdChar* ch : {bordered, linked}) {
        ch->SetBorderSize(2);
        ch->SetShadowSize(1);
        ch->SetBorderColor(0x00FFFF);
        ch->Width = ch->Height = kSize + 2 * 2 + 1;
    }
    linked->Link = "l";
    word.Color = 0xFFFFFF;
    TWdPage& page = Lay(kSize + r);
    // Stand every glyph on the top of its row, the ruby above its characters.
    for (TWdChar* ch : {plain, ruby1, ruby2, bordered, linked}) ch->Y = 0;

    TDIBX screen;
    screen.SetSize(160, 60, 32);
    screen.Fill(0);
    word.Dest = &screen;
    word.OriginX = 7;
    word.OriginY = 3;
    word.ClipRect = screen.GetBoundsRect();
    page.Draw(false);
    page.SetAlphaAll(255);
    page.Update();

    std::vector<TRect> rects;
    for (TWdChar* ch : {plain, ruby1, ruby2, bordered, linked})
        rects.push_back(Bounds(ch->GetAbsLeft(), ch->GetAbsTop(), ch->Width, ch->Height));
    std::vector<int> inside(rects.size());
    int rubyPixels = 0;
    for (int32_t y = 0; y < screen.GetHeight(); ++y)
        for (int32_t x = 0; x < screen.GetWidth(); ++x) {
            if ((screen.GetPixel(x, y) & 0xFFFFFF) == 0) continue;
            bool found = false;
            for (size_t i = 0; i < rects.size(); ++i)
                if (PointInRect(rects[i], x, y)) ++inside[i], found = true;
            ASSERT_TRUE(found) << "pixel at " << x << ", " << y;
            if (y < ruby1->GetAbsTop() + r && (PointInRect(rects[1], x, y) || PointInRect(rects[2], x, y)))
                ++rubyPixels;
        }
    for (int count : inside) EXPECT_GT(count, 0);
    EXPECT_GT(rubyPixels, 0);
    // The border colour shows beside the bordered character's box.
    EXPECT_EQ(screen.GetPixel(bordered->GetAbsLeft() + 4, bordered->GetAbsTop() + 5) & 0xFFFFFF, 0xFFFF00u);

    // A page drawn again keeps nothing of what was drawn before: a space leaves its cell empty.
    plain->Code = ' ';
    page.Draw(false);
    for (int32_t y = 0; y < plain->Height; ++y)
        for (int32_t x = 0; x < plain->Width; ++x) ASSERT_EQ(word.MaskImage.GetPixel(x, y), 0u);

    // Hidden glyphs, and rows outside the redraw's clip rectangle, compose nothing.
    screen.Fill(0);
    page.Draw(true);
    page.Update();
    page.SetAlphaAll(255);
    word.ClipRect = Bounds(0, 0, 5, 5);
    page.Update();
    for (int32_t y = 0; y < screen.GetHeight(); ++y)
        for (int32_t x = 0; x < screen.GetWidth(); ++x) ASSERT_EQ(screen.GetPixel(x, y) & 0xFFFFFF, 0u);
}

TEST_F(Reveal, FadeOutStepsTheAlphaDownToZero) {
    TWdChar* a = Char('A');
    a->Alpha = 200;
    a->StartFade(100);
    EXPECT_FALSE(a->StepFade(25));
    EXPECT_EQ(a->Alpha, 150);
    EXPECT_FALSE(a->StepFade(50));
    EXPECT_EQ(a->Alpha, 50);
    EXPECT_TRUE(a->StepFade(25));
    EXPECT_EQ(a->Alpha, 0);
}
