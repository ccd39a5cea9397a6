// A menu screen beside the tick budget (15 ms: the loop's 66 ticks a second): one tick of an
// 800 x 600 layer holding an open selection menu of 500 lines in the installed Japanese gothic
// face, 20 rows shown, with its scroll strip, check marks on every seventh line and a hover
// highlight, and below it a preview menu of 40 picture entries (two rows of 20) whose hovered
// entry shows another picture and a preview. The pointer takes turns: on even ticks the next row
// of the selection menu (the hover row changes and the whole menu is drawn again), on odd ticks
// the next entry of the preview menu; every 40 ticks the selection menu scrolls by a line. Each
// tick is the input step, the root's step and the drawing of the dirty rectangles. ms is the
// tick, budget_ratio its share of the budget.
#include "bench/beside_budget.h"
#include "core/vrfiles_manager.h"
#include "graphics/miras.h"
#include "objects/vitemex_menu.h"
#include "objects/vitemex_mira.h"
#include "objects/vitemex_prevmenu.h"
#include "objects/vitems.h"
#include "script/services.h"
#include "text/fontpixels.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

namespace {

constexpr int kItems = 500, kRows = 20, kEntries = 40, kEntryTop = 510;

// The pictures: the selection menu's strips (seven cells of 12 x 12 for the scroll bar, two of
// 10 x 10 for the check marks, each cell a colour of its own) and, under any other name, a
// 36 x 40 picture for the preview menu's entries and previews.
class TStripSource : public TMiraSource {
public:
    bool FileExists(const std::string&, bool) override { return true; }
    void Load(TMiraFrameList& List, const std::string& File) override {
        const bool scroll = File == "strip.bmp", check = File == "check.bmp";
        const int32_t cell = scroll ? 12 : 10, cells = scroll ? 7 : 2;
        TMiraFrame& frame = *List.AddFrame();
        if (!scroll && !check) {
            frame.SetupImage(36, 40, 24, nullptr, 0);
            frame.Delay = 100;
            for (int32_t y = 0; y < 40; ++y)
                for (int32_t x = 0; x < 36; ++x) frame.Image.SetPixel(x, y, uint32_t(File.size() * 0x101010 + x * 3 + y));
            return;
        }
        frame.SetupImage(cell * cells, cell, 24, nullptr, 0);
        frame.Delay = 100;
        for (int32_t y = 0; y < cell; ++y)
            for (int32_t x = 0; x < cell * cells; ++x) frame.Image.SetPixel(x, y, uint32_t(x / cell * 0x203040 + y * 4));
    }
};

// The preview menu's file: 40 entries of 36 x 40 in two rows, each with a hovered picture and a
// preview at the right.
std::string PreviewMenuXml() {
    std::string xml = "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n<PreviewMenu>\n<Version>200</Version>\n"
                      "<Width>800</Width>\n<Height>96</Height>\n<Button>\n";
    for (int i = 0; i < kEntries; ++i)
        xml += "<Item><Name>e" + std::to_string(i) + "</Name><Left>" + std::to_string(i % 20 * 40) + "</Left><Top>" +
               std::to_string(i / 20 * 48) + "</Top><Path>entry.mra</Path><InImagePath>entry_in.mra</InImagePath>"
               "<InPrevPath>preview.mra</InPrevPath><PrevLeft>700</PrevLeft><PrevTop>40</PrevTop></Item>\n";
    return xml + "</Button>\n</PreviewMenu>\n";
}

struct TScene {
    TVelaMenu* Menu = nullptr;
    TVelaPrevMenu* Preview = nullptr;
    TVelaBase* Layer = nullptr;
    uint32_t Clock = 0;
    int Tick = 0;

    TScene() {
        FontPixelManager = new TFontPixelManager;
        CreateVrFileSystem();
        VrFileManager->SetCdRoots({});
        VrFileManager->Add("");
        const std::string xml = PreviewMenuXml();
        VrFileManager->GetCollection(0).AddStream("bench.xml").DataSource->WriteBuffer(xml.data(), int64_t(xml.size()));
        CreateScriptServices();
        VelaInitialize();
        MiraMan->SetSource(std::make_unique<TStripSource>());
        Bases->SetWidth(800);
        Bases->SetHeight(600);
        Layer = Bases->GetBase(0);
        Layer->SetColor(0x402010);
        std::string text;
        for (int i = 0; i < kItems; ++i) text += "項目 " + std::to_string(i + 1) + " の選択肢\r\n";
        Menu = new TVelaMenu(Bases);
        Menu->SetParent(Layer);
        Menu->SetName("menu");
        Menu->SetLeft(200);
        Menu->SetTop(40);
        Menu->SetText(text);
        Menu->SetFontname("ＭＳ ゴシック");
        Menu->SetFontheight(16);
        Menu->SetFontcolor(0xFFFFFF);
        Menu->SetFonthovercolor(0x80FFFF);
        Menu->SetHovercolor(0xA06028);
        Menu->SetColor(0x482818);
        Menu->SetBorderwidth(2);
        Menu->SetBordercolor(0xC0A080);
        Menu->SetMarginx(8);
        Menu->SetMarginy(6);
        Menu->SetLinespace(6);
        Menu->SetRowcount(kRows);
        Menu->SetAlpha(255);
        Menu->SetScrollsource("strip.bmp");
        Menu->SetChecksource("check.bmp");
        for (int i = 0; i < kItems; i += 7) Menu->SetListValue(i, true);
        Menu->SetPlayState(0);
        Preview = new TVelaPrevMenu(Bases);
        Preview->SetParent(Layer);
        Preview->SetName("preview");
        Preview->SetBounds(0, kEntryTop, 800, 96);
        Preview->SetSource("bench.xml");
        for (int i = 0; i < 2 * kEntries; ++i) Run();  // every row's labels rendered once
    }
    ~TScene() {
        VelaFinalize();
        FreeScriptServices();
        FreeVrFileSystem();
        delete FontPixelManager;
        FontPixelManager = nullptr;
    }

    // One tick: the pointer onto the next row or entry, a scroll every 40 ticks, input, step,
    // drawing.
    void Run() {
        ++Tick;
        if (Tick % (2 * kRows) == 0) Menu->SetTopindex((Menu->GetTopindex() + 1) % (kItems - kRows));
        const int step = Tick / 2;
        if (Tick % 2 == 0)
            Layer->SetMousePos({260, 40 + 2 + 6 + step % kRows * 22 + 8});
        else
            Layer->SetMousePos({step % 20 * 40 + 18, kEntryTop + step / 20 % 2 * 48 + 20});
        Clock += 15;
        Bases->Update(Clock);
        Bases->Step();
        Bases->Prepare();
        for (int i = 0; i < 2; ++i) Bases->GetBase(i)->ClipList.Clear();
    }
};

void BM_MenuScreenTick(benchmark::State& State) {
    TScene scene;
    // Rows of 16 and 6 between; lines of about ten characters of 16 pixels.
    if (scene.Menu->GetHeight() != kRows * 22 - 6 + 4 + 12 || scene.Menu->GetWidth() < 120) {
        State.SkipWithError("the menu was not laid out in the installed face");
        return;
    }
    const uint64_t spent = TimeRuns(State, [&] { scene.Run(); });
    if (scene.Preview->GetCount() != kEntries) State.SkipWithError("the preview menu was not read");
    if (scene.Menu->GetHoverIndex() < 0 && scene.Preview->GetHoverIndex() < 0)
        State.SkipWithError("the pointer found no row");
    State.counters["menu_width"] = scene.Menu->GetWidth();
    ReportBudget(State, double(spent));
}
BENCHMARK(BM_MenuScreenTick)->Unit(benchmark::kMicrosecond);

}  // namespace
