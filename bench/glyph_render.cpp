// 2,000 distinct kanji (the first of the Shift-JIS level-1 block) in "ＭＳ ゴシック" at a cell
// height of 24 through TFontPixelManager::GetGlyph at antialias level 3, beside FreeType loading
// and rendering the same characters of the same face file at the same pixels per em
// (FT_Load_Char with the light hinter, FT_Render_Glyph in normal mode). One pass asks every code
// once, in order: 2,000 codes through a 256-glyph cache make every request a miss.
// BM_RatioToFreeType runs both passes in each iteration, so that a busy machine slows both alike,
// and reports ours as a multiple of FreeType's ("x_freetype"). BM_GlyphCacheHit asks again for
// glyphs that are cached. BM_OutlinedGlyphDraw draws one large glyph with a border and a shadow;
// BM_BorderedTextDraw message text of small glyphs with a border; BM_WideBorderLabelsDraw the rows
// of a list box of small glyphs with the widest border.
#include "bench/beside_budget.h"
#include "platform/clock.h"
#include "platform/encoding.h"
#include "text/fontpixels.h"
#include "text/nxwords_labels.h"

#include <benchmark/benchmark.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

const std::string kFace = "ＭＳ ゴシック";
constexpr int32_t kSize = 24;
constexpr int kGlyphs = 2000;

struct Kanji {
    uint16_t code;    // Shift-JIS
    uint32_t scalar;  // Unicode
};

const std::vector<Kanji>& Codes() {
    static const std::vector<Kanji> codes = [] {
        std::vector<Kanji> all;
        for (int lead = 0x88; lead <= 0x9F && int(all.size()) < kGlyphs; ++lead)
            for (int trail = lead == 0x88 ? 0x9F : 0x40; trail <= 0xFC && int(all.size()) < kGlyphs; ++trail) {
                if (trail == 0x7F) continue;
                const std::string u = platform::Cp932ToUtf8(std::string{char(lead), char(trail)});
                if (u.size() != 3) continue;
                all.push_back({uint16_t(lead << 8 | trail),
                               uint32_t((u[0] & 0x0F) << 12 | (u[1] & 0x3F) << 6 | (u[2] & 0x3F))});
            }
        return all;
    }();
    return codes;
}

TFontPixelManager& Manager() {
    static TFontPixelManager manager;
    return manager;
}

// The face file fontconfig gives for the family standing for the face, opened and sized as the
// font service sizes a cell height.
class PeerFace {
public:
    PeerFace() {
        FT_Init_FreeType(&library_);
        FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(platform::HostFamilyOf(kFace).c_str()));
        FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result;
        FcPattern* match = FcFontMatch(nullptr, pattern, &result);
        FcChar8* file = nullptr;
        int index = 0;
        if (match) FcPatternGetInteger(match, FC_INDEX, 0, &index);
        if (match && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch &&
            FT_New_Face(library_, reinterpret_cast<const char*>(file), index, &face_) == 0) {
            auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face_, FT_SFNT_OS2));
            double cell = os2->usWinAscent + os2->usWinDescent;
            FT_Set_Pixel_Sizes(face_, 0, FT_UInt(std::lround(kSize * face_->units_per_EM / cell)));
        }
        if (match) FcPatternDestroy(match);
        FcPatternDestroy(pattern);
    }
    ~PeerFace() {
        if (face_) FT_Done_Face(face_);
        FT_Done_FreeType(library_);
    }
    FT_Face face() const { return face_; }

private:
    FT_Library library_ = nullptr;
    FT_Face face_ = nullptr;
};

// One pass of every code through the manager; the nanoseconds it took.
uint64_t PassOurs(benchmark::State& State) {
    TFontPixelManager& manager = Manager();
    const uint64_t start = platform::ClockNs();
    for (const Kanji& kanji : Codes()) {
        TFontPixel* glyph = manager.GetGlyph(kanji.code, kFace, kSize, 0);
        benchmark::DoNotOptimize(glyph->Surface.DIB);
    }
    const uint64_t time = platform::ClockNs() - start;
    if (manager.Recent.front()->GetWidth() == 0) State.SkipWithError("no glyph");
    return time;
}

uint64_t PassFreeType(benchmark::State& State) {
    static PeerFace peer;
    FT_Face face = peer.face();
    if (!face) {
        State.SkipWithError("no face file");
        return 1;
    }
    const uint64_t start = platform::ClockNs();
    for (const Kanji& kanji : Codes()) {
        FT_Load_Char(face, kanji.scalar, FT_LOAD_NO_BITMAP | FT_LOAD_TARGET_LIGHT);
        FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL);
        benchmark::DoNotOptimize(face->glyph->bitmap.buffer);
    }
    return platform::ClockNs() - start;
}

void Label(benchmark::State& State) { State.SetItemsProcessed(State.iterations() * int64_t(Codes().size())); }

void BM_GetGlyphMiss(benchmark::State& State) {
    for (auto _ : State) State.SetIterationTime(double(PassOurs(State)) * 1e-9);
    Label(State);
}

void BM_FreeTypeRender(benchmark::State& State) {
    for (auto _ : State) State.SetIterationTime(double(PassFreeType(State)) * 1e-9);
    Label(State);
}

void BM_RatioToFreeType(benchmark::State& State) {
    uint64_t ours = 0, theirs = 0;
    for (auto _ : State) {
        ours += PassOurs(State);
        theirs += PassFreeType(State);
    }
    State.counters["x_freetype"] = double(ours) / double(std::max<uint64_t>(theirs, 1));
    State.counters["ours_ms"] = double(ours) * 1e-6 / double(State.iterations());
    State.counters["freetype_ms"] = double(theirs) * 1e-6 / double(State.iterations());
    Label(State);
}

// 200 cached glyphs asked again in turn.
void BM_GlyphCacheHit(benchmark::State& State) {
    TFontPixelManager& manager = Manager();
    const std::vector<Kanji>& codes = Codes();
    for (int i = 0; i < 200; ++i) manager.GetGlyph(codes[size_t(i)].code, kFace, kSize, 0);
    size_t i = 0;
    for (auto _ : State) {
        benchmark::DoNotOptimize(manager.GetGlyph(codes[i].code, kFace, kSize, 0));
        i = i == 199 ? 0 : i + 1;
    }
    State.SetItemsProcessed(State.iterations());
}

// "漢" at a cell height of 200 drawn with a border and a shadow of the size given, every pixel of
// the surface in reach, beside the tick budget.
void BM_OutlinedGlyphDraw(benchmark::State& State) {
    const int32_t size = int32_t(State.range(0));
    TFontPixel* glyph = Manager().GetGlyph(0x8ABF, kFace, 200, 0);
    const int32_t side = 200 + 3 * size + 16;
    TDIBX dest, mask;
    dest.SetSize(side, side, 32), mask.SetSize(side, side, 8);
    TRect touched;
    ReportBudget(State, double(TimeRuns(State, [&] {
                     glyph->Draw(dest, mask, {0, 0, 200, 200}, size, size, true, true, 0xFFFFFF, 0x803010, 0x404040,
                                 touched, true);
                 })));
}

// 100 kanji at the cell height range(0) bordered range(1) wide (drawn at most the cell height), in
// four lines on an 800 x 400 layer as message text draws them, borders overlapping their
// neighbours', beside the tick budget.
void BM_BorderedTextDraw(benchmark::State& State) {
    const int32_t size = int32_t(State.range(0)), border = int32_t(State.range(1));
    std::vector<TFontPixel*> glyphs;
    for (size_t i = 0; i < 100; ++i) glyphs.push_back(Manager().GetGlyph(Codes()[i].code, kFace, size, 0));
    TDIBX dest, mask;
    dest.SetSize(800, 400, 32), mask.SetSize(800, 400, 8);
    const int32_t drawn = std::min(border, size);
    TRect touched;
    ReportBudget(State, double(TimeRuns(State, [&] {
                     mask.Fill(0);
                     for (int32_t i = 0; i < 100; ++i)
                         glyphs[size_t(i)]->Draw(dest, mask,
                                                 Bounds(4 + i % 25 * size, 4 + i / 25 * (size + 2 * drawn), size, size),
                                                 border, 0, false, false, 0xFFFFFF, 0x803010, 0, touched, false);
                 })));
}

// 142 kanji at a cell height of 12 in ten rows (two of 15, eight of 14), each row a label with a
// border of 255, every label rendered again and drawn onto an 800 x 600 layer as a list box draws
// the rows it laid out anew, beside the tick budget.
void BM_WideBorderLabelsDraw(benchmark::State& State) {
    FontPixelManager = &Manager();
    TNxLabelList list;
    list.FaceName = kFace;
    list.FontSize = 12;
    list.Margin = 255;
    list.BorderColor = 0x803010;
    TDIBX screen;
    screen.SetSize(800, 600, 32);
    list.Dest = &screen;
    for (int row = 0, next = 0; row < 10; ++row) {
        std::string text;
        for (int k = row < 2 ? 15 : 14; k > 0; --k, ++next) {
            const uint16_t code = Codes()[size_t(next)].code;
            text += {char(code >> 8), char(code & 0xFF)};
        }
        list.AddLabel()->SetText(text);
    }
    list.MeasureLabels();
    ReportBudget(State, double(TimeRuns(State, [&] {
                     list.InvalidateAll();
                     for (int i = 0; i < list.Count(); ++i) list.GetLabel(i)->Draw(0, i * 40);
                 })));
    FontPixelManager = nullptr;
}

}  // namespace

BENCHMARK(BM_BorderedTextDraw)->Args({16, 5})->Args({24, 2})->Args({12, 255})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WideBorderLabelsDraw)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OutlinedGlyphDraw)->Arg(2)->Arg(46)->Arg(255)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetGlyphMiss)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_FreeTypeRender)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_RatioToFreeType)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GlyphCacheHit);
