// A page of 400 Japanese characters with ruby, bordered runs, a bold run and three line breaks,
// at 24 pixels in "ＭＳ ゴシック" on a text area of 760 x 560: built from its markup and laid
// out with the characters' own ABC widths, beside Pango laying out the same plain text (the
// breaks as new lines) through FreeType in the family that stands for that face, at the same
// pixel size and width (a new PangoLayout per pass, as ours builds the document anew).
// BM_LayoutRatioToPango runs both passes in each iteration, so that a busy machine slows both
// alike, and reports ours as a multiple of Pango's ("x_pango"). BM_LayoutWholeCell lays out the
// same page measuring every character one cell wide, the document's default.
//
// BM_PageDraw draws the first page whole (characters, ruby, bordered runs) into the page image
// and composes it onto an 800 x 600 32-bit surface; BM_RevealTick is one 17 ms tick of the
// reveal (characters every 50 ms fading in over 100 ms) with the page composed again.
//
// BM_LongMessageTenfold builds a message of the page repeated to 100,000 characters and one of
// 1,000,000, lays each out into pages and draws every page whole onto the surface, and reports
// the larger's time over the smaller's ("x_tenfold"; 10 is linear). Pango lays out the same two
// plain texts in the same iterations; "pango_x_tenfold" is its own ratio.
#include "bench/tenfold.h"
#include "core/stringlist.h"
#include "graphics/dibx.h"
#include "platform/clock.h"
#include "platform/encoding.h"
#include "platform/fonts.h"
#include "text/fontpixels.h"
#include "text/nxwords.h"

#include <benchmark/benchmark.h>
#include <pango/pangoft2.h>

#include <algorithm>
#include <string>

namespace {

constexpr int32_t kSize = 24, kWidth = 760, kHeight = 560;
const std::string kFace = "ＭＳ ゴシック";

const std::string kMarkup =
    "春の終わりの夕暮れ、駅前の古い本屋で一冊の"
    "<RUBY VALUE=\"しゃしんしゅう\">写真集</RUBY>"
    "を見つけた。色あせた表紙には、海辺の町と小さな灯台が写っている。「これ、どこだろう」と店主に尋ねると、"
    "彼は眼鏡を外して考え、"
    "<FONT BORDER=2 BCOLOR=#202040>「北の岬だよ」</FONT>"
    "と答えた。"
    "<BR>"
    "私はその夜、地図を広げて岬までの道を調べた。電車を三度乗り継ぎ、最後はバスで一時間。週末なら行けないこともない。"
    "<B>行ってみよう</B>"
    "、と決めたとき、窓の外ではもう雨が降り始めていた。"
    "<BR>"
    "土曜日の朝、始発の電車に乗った。車内はほとんど空で、やがて山の向こうに"
    "<RUBY VALUE=\"うみ\">海</RUBY>"
    "が見えた。光る水面を眺めながら、写真の中の灯台を思い出す。あの白い塔は、今も同じ場所に立っているだろうか。"
    "<FONT BORDER=2 BCOLOR=#202040>胸の奥が少しだけ高鳴った。</FONT>"
    "<BR>"
    "バスを降りると、潮の香りが風に乗って届いた。坂道を上った先に、写真の灯台が静かに立っていた。"
    "私は鞄から写真集を取り出し、同じ角度で一枚撮った。ファインダーの中で、二十年前と今が重なる。帰りの"
    "<RUBY VALUE=\"でんしゃ\">電車</RUBY>"
    "では、きっと、よく眠れるだろう。";

// The characters of the markup, each tag dropped and each BR a new line, in UTF-8.
std::string PlainText() {
    std::string plain;
    for (size_t i = 0; i < kMarkup.size(); ++i) {
        if (kMarkup[i] != '<') {
            plain += kMarkup[i];
            continue;
        }
        const size_t end = kMarkup.find('>', i);
        if (kMarkup.compare(i, end - i + 1, "<BR>") == 0) plain += '\n';
        i = end;
    }
    return platform::Cp932ToUtf8(plain);
}

// Our document of the page and the pages it is laid out into; Copies of the page in a row.
class Page {
public:
    explicit Page(uint8_t WholeCell, int Copies = 1) {
        if (!FontPixelManager) FontPixelManager = new TFontPixelManager;
        word_.FontName = kFace;
        word_.FontSize = kSize;
        word_.Width = kWidth;
        word_.Height = kHeight;
        word_.RowSpace = 4;
        word_.Paging = 1;
        word_.WholeCell = WholeCell;
        for (int i = 0; i < Copies; ++i) lines_.Add(kMarkup);
    }
    void Build() {
        pages_.Clear();
        BuildGlyphs(word_, lines_);
        LayoutPages(word_, pages_, 0, -1);
    }
    TNxWord& Word() { return word_; }
    TWdPageList& Pages() { return pages_; }

private:
    TNxWord word_;
    TStringList lines_;
    TWdPageList pages_;
};

// Sizes Screen to 800 x 600 at 32 bits and has Word draw white onto it at (20, 20).
void AimAtScreen(TNxWord& Word, TDIBX& Screen) {
    Screen.SetSize(800, 600, 32);
    Word.Dest = &Screen;
    Word.OriginX = 20;
    Word.OriginY = 20;
    Word.ClipRect = Screen.GetBoundsRect();
    Word.Color = 0xFFFFFF;
}

class PangoPeer {
public:
    explicit PangoPeer(int Copies = 1) {
        const std::string page = PlainText();
        for (int i = 0; i < Copies; ++i) text_ += page;
        fontMap_ = pango_ft2_font_map_new();
        pango_ft2_font_map_set_resolution(PANGO_FT2_FONT_MAP(fontMap_), 72, 72);
        context_ = pango_font_map_create_context(fontMap_);
        font_ = pango_font_description_new();
        pango_font_description_set_family(font_, platform::HostFamilyOf(kFace).c_str());
        pango_font_description_set_absolute_size(font_, kSize * PANGO_SCALE);
    }
    ~PangoPeer() {
        pango_font_description_free(font_);
        g_object_unref(context_);
        g_object_unref(fontMap_);
    }
    // Lays the text out; its line count.
    int Lay() {
        PangoLayout* layout = pango_layout_new(context_);
        pango_layout_set_font_description(layout, font_);
        pango_layout_set_width(layout, kWidth * PANGO_SCALE);
        pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
        pango_layout_set_spacing(layout, 4 * PANGO_SCALE);
        pango_layout_set_text(layout, text_.c_str(), int(text_.size()));
        int width, height;
        pango_layout_get_pixel_size(layout, &width, &height);
        const int lines = pango_layout_get_line_count(layout);
        g_object_unref(layout);
        return lines;
    }

private:
    std::string text_;
    PangoFontMap* fontMap_;
    PangoContext* context_;
    PangoFontDescription* font_;
};

uint64_t PassOurs(Page& Ours) {
    const uint64_t start = platform::ClockNs();
    Ours.Build();
    benchmark::DoNotOptimize(Ours.Pages().Items(0)->Height);
    return platform::ClockNs() - start;
}

uint64_t PassPango(PangoPeer& Peer) {
    const uint64_t start = platform::ClockNs();
    benchmark::DoNotOptimize(Peer.Lay());
    return platform::ClockNs() - start;
}

int Rows(Page& Ours) {
    int rows = 0;
    for (int i = 0; i < Ours.Pages().Count(); ++i) rows += Ours.Pages().Items(i)->GetCount();
    return rows;
}

void BM_LayoutRatioToPango(benchmark::State& State) {
    static Page ours(0);
    static PangoPeer peer;
    uint64_t oursTime = 0, theirs = 0;
    for (auto _ : State) {
        oursTime += PassOurs(ours);
        theirs += PassPango(peer);
    }
    State.counters["x_pango"] = double(oursTime) / double(std::max<uint64_t>(theirs, 1));
    State.counters["ours_us"] = double(oursTime) * 1e-3 / double(State.iterations());
    State.counters["pango_us"] = double(theirs) * 1e-3 / double(State.iterations());
    State.counters["rows"] = Rows(ours);
    State.counters["pango_rows"] = peer.Lay();
}

void BM_LayoutWholeCell(benchmark::State& State) {
    static Page ours(1);
    for (auto _ : State) State.SetIterationTime(double(PassOurs(ours)) * 1e-9);
    State.counters["rows"] = Rows(ours);
}

// The first page of the document laid out, shown on an 800 x 600 32-bit surface.
class Screen {
public:
    Screen() : page_(0) {
        page_.Build();
        AimAtScreen(page_.Word(), screen_);
        screen_.Fill(0);
        page_.Word().FadeTime = 100;
    }
    TWdPage& Shown() { return *page_.Pages().Items(0); }

private:
    Page page_;
    TDIBX screen_;
};

void BM_PageDraw(benchmark::State& State) {
    static Screen screen;
    TWdPage& page = screen.Shown();
    for (auto _ : State) {
        page.Draw(false);
        page.SetAlphaAll(255);
        page.Update();
    }
}

void BM_RevealTick(benchmark::State& State) {
    static Screen screen;
    TWdPage& page = screen.Shown();
    page.Draw(true);
    page.ResetReveal();
    bool finished;
    std::string revealed;
    for (auto _ : State) {
        page.Advance(17, finished, revealed);
        page.Update();
        if (page.IsRevealDone()) {
            State.PauseTiming();
            page.HideAll();
            page.ResetReveal();
            State.ResumeTiming();
        }
    }
}

}  // namespace

// The characters of one copy of the page.
int32_t PageChars() {
    Page one(1);
    one.Build();
    int32_t chars = 0;
    for (int i = 0; i < one.Word().GlyphCount(); ++i) chars += one.Word().GetGlyph(i)->GetCharCount();
    return chars;
}

// A message of about Chars characters, shown page by page on an 800 x 600 32-bit surface.
class LongMessage {
public:
    explicit LongMessage(int32_t Chars) : copies_(std::max(1, Chars / PageChars())), page_(1, copies_), peer_(copies_) {
        AimAtScreen(page_.Word(), screen_);
    }
    // Builds, lays out and draws every page; the nanoseconds taken.
    uint64_t Show() {
        const uint64_t start = platform::ClockNs();
        page_.Build();
        for (int i = 0; i < page_.Pages().Count(); ++i) {
            TWdPage& shown = *page_.Pages().Items(i);
            shown.Draw(false);
            shown.SetAlphaAll(255);
            shown.Update();
        }
        return platform::ClockNs() - start;
    }
    uint64_t Pango() { return PassPango(peer_); }
    int Copies() const { return copies_; }

private:
    int copies_;
    Page page_;
    PangoPeer peer_;
    TDIBX screen_;
};

void BM_LongMessageTenfold(benchmark::State& State) {
    static LongMessage small(100'000), large(1'000'000);
    uint64_t smallNs = 0, largeNs = 0, pangoSmall = 0, pangoLarge = 0;
    for (auto _ : State) {
        smallNs += small.Show();
        largeNs += large.Show();
        pangoSmall += small.Pango();
        pangoLarge += large.Pango();
    }
    ReportTenfold(State, smallNs, largeNs);
    State.counters["pango_x_tenfold"] = TenfoldRatio(pangoSmall, pangoLarge);
    State.counters["large_chars"] = double(large.Copies()) * PageChars();
}

BENCHMARK(BM_LayoutRatioToPango)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LayoutWholeCell)->Unit(benchmark::kMicrosecond)->UseManualTime();
BENCHMARK(BM_PageDraw)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RevealTick)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LongMessageTenfold)->Unit(benchmark::kMillisecond)->Iterations(1);
