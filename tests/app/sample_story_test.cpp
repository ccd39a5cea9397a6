// The sample title's story played headless to its end: the message window reveals its page over
// the ticks, drawing only inside the rows of its glyphs; the backlog window shows (and draws) the
// page read before, its link in the link colour; the scene played again starts its pages as read.
#include "tests/app/sample_fixture.h"

#include "objects/vitemex_mes.h"
#include "script/params_vars.h"
#include "text/nxwords.h"

#include <functional>

namespace {

class SampleStory : public SampleTitle {
protected:
    static int32_t Var(const char* Name) { return ParamMan->Find(Name)->GetAsInt(); }
    static TVelaMes* Window(const char* Name) { return dynamic_cast<TVelaMes*>(Bases->FindObject(Name)); }
    // Ticks while Going holds, at most Limit ticks.
    ::testing::AssertionResult TickWhile(const std::function<bool()>& Going, int Limit = 1500) {
        for (int i = 0; i < Limit; ++i) {
            if (!Going()) return ::testing::AssertionSuccess();
            Tick();
        }
        return ::testing::AssertionFailure() << "still going after " << Limit << " ticks";
    }
    // The pixels of Area in the last frame presented.
    std::vector<uint32_t> Pixels(const TRect& Area) const {
        std::vector<uint32_t> out;
        for (int32_t y = Area.Top; y < Area.Bottom; ++y)
            for (int32_t x = Area.Left; x < Area.Right; ++x) out.push_back(Shown(x, y));
        return out;
    }
};

// Whether (X, Y) lies in a row of the page, widened by the border the marked-up words carry.
bool InRows(TWdPage& Page, int32_t X, int32_t Y) {
    constexpr int32_t Border = 2;
    for (int r = 0; r < Page.GetCount(); ++r) {
        const TWdGlyph& row = *Page.GetItem(r);
        const int32_t left = row.GetAbsLeft(), top = row.GetAbsTop();
        if (X >= left - Border && X < left + row.Width + Border && Y >= top - Border && Y < top + row.Height + Border)
            return true;
    }
    return false;
}

TEST_F(SampleStory, RevealsItsPagesShowsTheBacklogAndPlaysTheSecondPassAsRead) {
    ASSERT_TRUE(TickWhile([] { return !Window("story"); }));
    TVelaMes& story = *Window("story");
    const TRect area{story.GetLeft(), story.GetTop(), story.GetLeft() + story.GetWidth(),
                     story.GetTop() + story.GetHeight()};
    const std::vector<uint32_t> empty = Pixels(area);
    ASSERT_TRUE(TickWhile([&] { return !story.CurrentPage(); }, 10));

    // Over the ticks of the reveal more glyph pixels show, and none outside the rows.
    size_t shown = 0;
    int growing = 0;
    while (story.GetPlayState() == 0 && growing < 200) {
        Tick();
        const std::vector<uint32_t> now = Pixels(area);
        size_t changed = 0;
        for (size_t i = 0; i < now.size(); ++i) {
            if (now[i] == empty[i]) continue;
            ++changed;
            const int32_t width = area.Right - area.Left;
            const int32_t x = area.Left + int32_t(i) % width, y = area.Top + int32_t(i) / width;
            ASSERT_TRUE(InRows(*story.CurrentPage(), x, y)) << x << ", " << y;
        }
        EXPECT_GE(changed, shown);
        if (changed > shown) ++growing;
        shown = changed;
    }
    EXPECT_GT(growing, 3);
    EXPECT_EQ(Var("storyreads"), 0);

    // Unattended, the pages turn by themselves; the event inside the first text reached the
    // script, and the backlog then shows it.
    ASSERT_TRUE(TickWhile([] { return Var("storypass") < 1; }));
    EXPECT_EQ(Var("storyreads"), 0);
    EXPECT_GE(Var("storynotes"), 1);
    TVelaMes& backlog = *Window("backlog");
    ASSERT_TRUE(TickWhile([&] { return !backlog.CurrentPage(); }, 10));
    EXPECT_NE(backlog.GetText().find("古い星図"), std::string::npos) << backlog.GetText();
    // Its glyphs show over the panel behind it, inside its rows.
    Tick();
    const uint32_t panel = Shown(backlog.GetLeft() - 8, backlog.GetTop() - 4);
    size_t glyphPixels = 0;
    for (int32_t y = backlog.GetTop(); y < backlog.GetTop() + backlog.GetHeight(); ++y)
        for (int32_t x = backlog.GetLeft(); x < backlog.GetLeft() + backlog.GetWidth(); ++x) {
            if (Shown(x, y) == panel) continue;
            ++glyphPixels;
            ASSERT_TRUE(InRows(*backlog.CurrentPage(), x, y)) << x << ", " << y;
        }
    EXPECT_GT(glyphPixels, 100u);
    // Its link (北の星) draws in its link colour, which the sample sets to the story window's:
    // a window made without one draws its links black.
    const uint32_t link = ShownColour(story.GetFontlinkcolor());
    EXPECT_EQ(backlog.GetFontlinkcolor(), story.GetFontlinkcolor());
    std::string linkText;
    size_t linkPixels = 0;
    for (int r = 0; r < backlog.CurrentPage()->GetCount(); ++r) {
        const TWdGlyph& row = *backlog.CurrentPage()->GetItem(r);
        for (int g = 0; g < row.GetCount(); ++g) {
            const TWdGlyph& glyph = *row.GetItem(g);
            if (glyph.GetLink().empty()) continue;
            linkText += glyph.GetText();
            for (int32_t y = glyph.GetAbsTop(); y < glyph.GetAbsTop() + glyph.Height; ++y)
                for (int32_t x = glyph.GetAbsLeft(); x < glyph.GetAbsLeft() + glyph.Width; ++x)
                    linkPixels += Near(Shown(x, y), link, 1);
        }
    }
    EXPECT_EQ(linkText, "北の星");
    EXPECT_GT(linkPixels, 60u);

    // The second pass starts both pages as read, and the story ends with its objects gone.
    ASSERT_TRUE(TickWhile([] { return Var("storypass") < 2; }));
    EXPECT_EQ(Var("storyreads"), 2);
    Tick();
    EXPECT_EQ(Window("story"), nullptr);
}

}  // namespace
