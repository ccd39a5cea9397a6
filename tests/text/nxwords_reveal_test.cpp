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
    // right at the row's top, rows RowHeight apart.
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
    EXPECT_EQ(page.GetRow(0)->GetItem(1)->GetAlpha(), 255);  // no fade-in time: shown at once
    EXPECT_EQ(Tick(page, 29), "");
    EXPECT_EQ(Tick(page, 1), "CD");
    EXPECT_EQ(word.Caret.X, 4 * kSize);
    EXPECT_FALSE(page.HasMoreText());
    EXPECT_EQ(Tick(page, 16), "!");
    EXPECT_EQ(Tick(page, 16), "");
    page.ResetReveal();
    word.Speed = 512;
    EXPECT_EQ(Tick(page, 0), "A");
    EXPECT_EQ(Tick(page, 79), "");
    EXPECT_EQ(Tick(page, 1), "B");
}

TEST_F(Reveal, GlyphsFadeInOverTheFadeTimeWhileTheHoldFlagStopsOnlyNewOnes) {
    Char('A', 10), Char('B', 10);
    word.FadeTime = 100;
    word.Paging = 1;
    TWdPage& page = Lay();
    TWdGlyph& a = *page.GetRow(0)->GetItem(0);
    Tick(page, 16);
    EXPECT_EQ(Tick(page, 16), "A");  // the first glyph comes at once, its fading the tick after
    word.Hold = 1;
    EXPECT_EQ(Tick(page, 50), "");
    EXPECT_EQ(a.GetAlpha(), 128);
    EXPECT_FALSE(word.DirtyRects.empty());
    EXPECT_TRUE(page.HasMoreText());  // still fading
    EXPECT_EQ(Tick(page, 60), "");
    EXPECT_EQ(a.GetAlpha(), 255);
    EXPECT_FALSE(page.HasMoreText());  // held, nothing fading
    word.Hold = 0;
    EXPECT_EQ(Tick(page, 10), "B");  // A's wait did not run down while held
}

TEST_F(Reveal, EventsInARowFireInOrderOnceFadingIsOver) {
    Char('A'), Event("one"), Event("two"), Char('B'), Event("end", true), Char('C');
    word.FadeTime = 100;
    word.EventsEnabled = 1;
    TWdPage& page = Lay();
    Tick(page, 16);
    EXPECT_EQ(Tick(page, 16), "A");
    EXPECT_EQ(Tick(page, 50), "");  // A still fading: nothing fires, nothing more is revealed
    EXPECT_TRUE(fired.empty());
    EXPECT_EQ(Tick(page, 50), "");
    EXPECT_EQ(fired, (std::vector<std::string>{"one", "two"}));
    EXPECT_EQ(Tick(page, 500), "B");  // the end event stops the tick that reveals it
    Tick(page, 100), Tick(page, 100);
    EXPECT_EQ(fired.back(), "\x01" "end");
    EXPECT_EQ(Tick(page, 16), "C");
}

TEST_F(Reveal, HoverLightsTheWholeLinkRunAndMinusOneRemovesIt) {
    TWdChar* a = Char('A');
    TWdChar* b = Char('B');
    Char('C');
    a->Link = b->Link = "go";
    word.FadeTime = word.Speed = 0;
    word.HoverColor = 0x00FF00;
    word.LinkColor = 0x0000FF;
    word.OriginX = 5;
    TWdPage& page = Lay();
    page.Draw(true);
    EXPECT_EQ(page.GlyphAt(5 + kSize + 2, 4), nullptr);  // nothing is hit before it is shown
    page.ResetReveal();  // no tick skipped without a fade-in time
    Tick(page, 0);
    // The middle of B's box in the page image, in raw pixels (red high).
    auto pixelOfB = [&] { return word.PageImage.GetPixel(kSize + kSize / 2, 6) & 0xFFFFFF; };
    EXPECT_EQ(pixelOfB(), 0xFF0000u);
    page.HoverLinkAt(5 + kSize + 2, 4);
    EXPECT_EQ(page.HoverGlyph, a);
    EXPECT_TRUE(a->Hover && b->Hover);
    EXPECT_EQ(page.GetLinkText(), "AB");
    EXPECT_EQ(pixelOfB(), 0x00FF00u);
    page.HoverLinkAt(5 + 2 * kSize + 2, 4);  // C has no link
    EXPECT_EQ(page.HoverGlyph, nullptr);
    page.HoverLinkAt(5 + 2, 4);
    page.HoverLinkAt(-1, 4);
    EXPECT_EQ(page.HoverGlyph, nullptr);
    EXPECT_FALSE(a->Hover || b->Hover);
    EXPECT_EQ(page.GetLinkText(), "");
    EXPECT_EQ(pixelOfB(), 0xFF0000u);
}

TEST_F(Reveal, SavedStateRestoresPositionAndShowsFadingGlyphsWhole) {
    Char('A'), Char('B', 1000), Return(), Char('C');
    word.FadeTime = 100;
    TWdPage& page = Lay();
    Tick(page, 16), Tick(page, 16), Tick(page, 50);  // A and B at 128, C waits
    TMemoryStream saved;
    page.SaveState(saved);
    page.ResetReveal();
    page.SetAlphaAll(0);
    saved.SetPosition(0);
    page.LoadState(saved);
    EXPECT_EQ(page.GlyphIndex, 2);
    EXPECT_EQ(page.GetRow(0)->GetItem(1)->GetAlpha(), 255);
    EXPECT_EQ(page.GetRow(1)->GetItem(0)->GetAlpha(), 0);
    EXPECT_EQ(saved.Position(), saved.Size());
    TMemoryStream damaged;  // glyph 7 of a row of one
    WriteStreamInt(damaged, 0), WriteStreamInt(damaged, 1), WriteStreamInt(damaged, 7);
    WriteStreamByte(damaged, 0), WriteStreamString(damaged, "");
    damaged.SetPosition(0);
    EXPECT_THROW(page.LoadState(damaged), EReadError);
    EXPECT_EQ(page.GlyphIndex, 2);

    TWdGlyph& c = *page.GetRow(1)->GetItem(0);  // fade-out
    c.SetAlpha(200);
    c.StartFade(100);
    EXPECT_FALSE(c.StepFade(25));
    EXPECT_EQ(c.GetAlpha(), 150);
    EXPECT_TRUE(c.StepFade(75));
    EXPECT_EQ(c.GetAlpha(), 0);
}

TEST_F(Reveal, CharactersWithRubyBordersAndLinksDrawOnlyInsideTheirRectangles) {
    const int32_t r = kSize / 2, framed = kSize + 2 * 2 + 1;
    TWdChar* glyphs[] = {Char(0x82A0), Char(0x8A9F), Char(0x8E9A), Char('W'), Char(0x82A2)};
    for (TWdChar* ch : {glyphs[1], glyphs[2]}) {
        ch->SetRuby("かんじ");
        ch->Height = kSize + r;
    }
    for (TWdChar* ch : {glyphs[3], glyphs[4]}) {
        ch->SetBorderSize(2);
        ch->SetShadowSize(1);
        ch->SetBorderColor(0x00FFFF);
        ch->Width = ch->Height = framed;
    }
    glyphs[4]->Link = "l";
    word.Color = 0xFFFFFF;
    TWdPage& page = Lay(kSize + r);
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

    int inside[5] = {}, ruby = 0;
    for (int32_t y = 0; y < screen.GetHeight(); ++y)
        for (int32_t x = 0; x < screen.GetWidth(); ++x) {
            if ((screen.GetPixel(x, y) & 0xFFFFFF) == 0) continue;
            bool found = false;
            for (int i = 0; i < 5; ++i)
                if (PointInRect(Bounds(glyphs[i]->GetAbsLeft(), 3, glyphs[i]->Width, glyphs[i]->Height), x, y))
                    ++inside[i], found = true;
            ASSERT_TRUE(found) << "pixel at " << x << ", " << y;
            ruby += y < 3 + r && x >= glyphs[1]->GetAbsLeft() && x < glyphs[3]->GetAbsLeft();
        }
    for (int count : inside) EXPECT_GT(count, 0);
    EXPECT_GT(ruby, 0);
    EXPECT_EQ(screen.GetPixel(glyphs[3]->GetAbsLeft() + 4, 3 + 5) & 0xFFFFFF, 0xFFFF00u);  // the border

    glyphs[0]->Code = ' ';  // a page drawn again keeps nothing of the one before
    page.Draw(true);  // and hidden glyphs compose nothing
    screen.Fill(0);
    page.Update();
    for (int32_t y = 0; y < kSize; ++y)
        for (int32_t x = 0; x < kSize; ++x) ASSERT_EQ(word.MaskImage.GetPixel(x, y), 0u);
    for (int32_t y = 0; y < screen.GetHeight(); ++y)
        for (int32_t x = 0; x < screen.GetWidth(); ++x) ASSERT_EQ(screen.GetPixel(x, y) & 0xFFFFFF, 0u);
    page.Height = 1 << 30;  // a page no surface can hold is refused before anything is allocated
    EXPECT_THROW(page.Draw(false), EVelaError);
}
