// The message history: element and entry lists, the stored forms against records built by
// tests/tools/history_ref.py, and the history of messages shown from pages of text commands.
#include "text/histories.h"

#include "core/vrfiles_manager.h"
#include "objects/vitems.h"
#include "script/callman.h"
#include "script/pages.h"
#include "script/project.h"
#include "script/services.h"
#include "tests/common/fixture.h"
#include "tests/script/page_fixture.h"
#include "text/nxwords.h"

#include <gtest/gtest.h>

#include <deque>

namespace {

using pagetest::VPage;

std::string I32(int32_t V) { return std::string(reinterpret_cast<const char*>(&V), 4); }
std::string Str(const std::string& S) { return I32(static_cast<int32_t>(S.size())) + S; }

std::string Saved(const TVelaHistoryFormatManager& Formats) {
    TMemoryStream stream;
    Formats.SaveToStream(stream);
    return Bytes(stream);
}

void Load(TVelaHistoryFormatManager& Formats, const std::string& Data, int32_t Version) {
    TMemoryStream stream = StreamOf(Data);
    Formats.LoadFromStream(stream, Version);
    EXPECT_EQ(stream.Position(), stream.Size());
}

// Screens of heights 30+20 and 50 stacked: ranges pick the elements they touch, and the shift
// tells how far the first one starts above the range.
// A page file name equal, case aside, to the one before is stored once.
TEST(HistoryLists, CopyRangeTakesTheElementsAPixelRangeTouches) {
    TVelaHistDataList screens;
    screens.Add().Add("a.vsb", 0, 0, 1, 30, "");
    screens.Last().Add("A.VSB", 1, 0, 1, 20, "v");
    EXPECT_EQ(screens.GetItem(0).GetItem(1).Name, "");
    screens.Add().Add("b.vsb", 2, 0, 1, 50, "");
    EXPECT_EQ(screens.TotalLength(), 100);
    auto copy = [&](int32_t Offset, int32_t Height, int32_t ExpectedShift) {
        TVelaHistData target;
        int32_t shift = 99;
        screens.CopyRange(Offset, Height, shift, target);
        EXPECT_EQ(shift, ExpectedShift) << Offset;
        std::string commands;
        for (int i = 0; i < target.Count(); ++i) commands += std::to_string(target.GetItem(i).CommandIndex);
        return commands;
    };
    EXPECT_EQ(copy(0, 30, 0), "0");
    EXPECT_EQ(copy(10, 40, -10), "01");
    EXPECT_EQ(copy(45, 10, -15), "12");
    EXPECT_EQ(copy(60, 500, -10), "2");  // past the end: to the last element
    EXPECT_EQ(copy(100, 10, 0), "");
    TVelaHistData target;
    int32_t shift = 0;
    screens.CopyRange(0, 100, shift, target);
    EXPECT_EQ(target.GetName(1), "a.vsb");
    EXPECT_EQ(target.GetItem(1).Vars, "v");
}

// A long history scrolled through after its oldest screens and entries went: each range copies
// what a walk over all the elements from the first would, heights of 0 and below included, and
// each entry's page file name is the nearest one at or before it.
TEST(HistoryLists, ScrollingALongHistoryMatchesAWalkFromTheStart) {
    TVelaHistDataList screens;
    struct TFlat {
        int64_t Top, Bottom;
        int32_t Command;
    };
    std::vector<TFlat> flat;  // the elements of the screens kept, stacked
    int64_t top = 0;
    for (int32_t i = 0; i < 600; ++i) {
        if (i % 4 == 0) screens.Add();
        const int32_t height = i % 23 == 0 ? -15 : i % 7 == 0 ? 0 : 10 + i % 5;
        screens.Last().Add("p" + std::to_string(i / 10) + ".vsb", i, 0, 1, height, "");
        if (i >= 200) {
            flat.push_back({top, top + height, i});
            top += height;
        }
    }
    for (int i = 0; i < 50; ++i) screens.DeleteFirst();
    int64_t length = 0;
    for (int s = 0; s < screens.Count(); ++s) length += screens.GetItem(s).TotalHeight();
    EXPECT_EQ(screens.TotalLength(), length);
    for (int32_t offset = -20; offset < top + 20; offset += 7) {
        std::string expected;
        int32_t expectedShift = 0;
        for (size_t e = 0, copying = 0; e < flat.size(); ++e) {
            if (!copying && flat[e].Bottom > offset) {
                copying = 1;
                expectedShift = static_cast<int32_t>(flat[e].Top - offset);
            }
            if (!copying) continue;
            expected += std::to_string(flat[e].Command) + ",";
            if (flat[e].Bottom >= int64_t{offset} + 40) break;
        }
        TVelaHistData target;
        int32_t shift = 99;
        screens.CopyRange(offset, 40, shift, target);
        std::string copied;
        for (int i = 0; i < target.Count(); ++i) copied += std::to_string(target.GetItem(i).CommandIndex) + ",";
        ASSERT_EQ(copied, expected) << offset;
        ASSERT_EQ(shift, expectedShift) << offset;
        if (target.Count() > 0) {
            ASSERT_EQ(target.GetName(0), "p" + std::to_string(target.GetItem(0).CommandIndex / 10) + ".vsb");
        }
    }

    THistoryOldDataList entries;
    std::deque<std::string> names;
    const auto add = [&](const std::string& Name) {
        entries.Add(Name, 0, 0, {0, 0});
        names.push_back(Name);
    };
    for (int32_t i = 0; i < 500; ++i) add(i % 97 < 60 ? "a.vsb" : "b" + std::to_string(i / 50) + ".vsb");
    for (int i = 0; i < 130; ++i) {
        if (i == 70) {
            EXPECT_EQ(entries.GetName(entries.Count() - 1), names.back());  // the names so far looked at
        }
        entries.DeleteFirst();
        names.pop_front();
        if (i % 40 == 0) add("c.vsb");
    }
    for (int i = 0; i < entries.Count(); ++i) ASSERT_EQ(entries.GetName(i), names[size_t(i)]) << i;
    while (entries.Count() > 0) {
        EXPECT_EQ(entries.GetName(0), names.front());
        entries.DeleteFirst();
        names.pop_front();
    }
}

// Saves of each form load; the newest form writes what was kept, and what it wrote loads and
// writes again byte for byte.
TEST(HistoryForms, OlderFormsLoadAndTheNewestRoundTrips) {
    for (const std::string& line : Lines(PythonOutput("history_ref.py"))) {
        const size_t a = line.find(' '), b = line.find(' ', a + 1);
        const int32_t version = std::stoi(line.substr(0, a));
        const std::string loaded = FromHex(line.substr(a + 1, b - a - 1)), saved = FromHex(line.substr(b + 1));
        TVelaHistoryFormatManager formats;
        Load(formats, loaded, version);
        ASSERT_EQ(formats.Count(), 2);
        TVelaNewHistory& history = formats.FindFormat("")->History();
        EXPECT_EQ(history.Entries.GetName(1), "a.vsb");
        EXPECT_EQ(history.Entries.GetItem(2).Value, MakePoint(320, 200));
        EXPECT_EQ(formats.FindFormat("ログ")->Settings, (std::array<int32_t, 6>{20, 1, 0, 500, 400, 2}));
        if (version < HistoryRangeVersion) {
            EXPECT_EQ(history.Screens.Count(), 0);
            EXPECT_EQ(history.Capacity, 0);
            EXPECT_EQ(history.Word().FontSize, 12);  // the document's own
        } else {
            EXPECT_EQ(history.Capacity, 7);
            EXPECT_EQ(history.Word().Width, 400);
            EXPECT_EQ(history.GetCount(), 120);  // data mode: pixels
            EXPECT_EQ(history.GetMessageCount(), 2);
        }
        EXPECT_EQ(ToHex(Saved(formats)), ToHex(saved)) << version;
        TVelaHistoryFormatManager again;
        Load(again, saved, GameSaveVersion);
        EXPECT_EQ(Saved(again), saved);
    }
}

TEST(HistoryForms, DamagedRecordsRaiseReadErrors) {
    const std::string line = Lines(PythonOutput("history_ref.py")).back();
    const std::string whole = FromHex(line.substr(line.rfind(' ') + 1));
    for (size_t cut = 0; cut < whole.size(); ++cut) {
        TVelaHistoryFormatManager formats;
        EXPECT_THROW(Load(formats, whole.substr(0, cut), GameSaveVersion), EReadError) << cut;
    }
    // Counts of entries (rows and columns) and of screens that the bytes left cannot hold.
    const std::string format = I32(1) + Str("") + std::string(24, '\0');
    const std::string history = I32(0) + Str("") + std::string(16, '\0') + Str("") + std::string(36, '\0');
    for (const auto& [data, version] : std::vector<std::pair<std::string, int32_t>>{
             {format + I32(0x7FFFFFFF), GameSaveVersion},
             {format + Str("old") + I32(0x01000000), 112},
             {format + history + I32(0x01000000), GameSaveVersion}}) {
        TVelaHistoryFormatManager formats;
        EXPECT_THROW(Load(formats, data + std::string(64, '\0'), version), EReadError) << ToHex(data);
    }
}

TEST(HistoryForms, MessageDataKeepsColumnsAndItsElementsFromTheRangeForm) {
    const std::string columns = I32(2) + Str("a.vsb") + Str("b.vsb") + I32(3) + I32(4) + I32(-1) + I32(2) +
                                I32(640) + I32(480) + I32(320) + I32(240);
    TVelaNewMesData data;
    TMemoryStream old = StreamOf(columns + "more");
    data.LoadFromStream(old, 112);
    EXPECT_EQ(data.Entries.GetItem(1).Value, MakePoint(320, 240));
    data.Data.Add("c.vsb", 5, 0, -1, 0, "");
    TMemoryStream stream;
    data.SaveToStream(stream);
    EXPECT_EQ(ToHex(Bytes(stream)),
              ToHex(columns + I32(1) + Str("c.vsb") + I32(5) + I32(0) + I32(-1) + I32(0) + Str("") + I32(0)));
}

TEST(HistoryFormats, NamesAreExactAndTheDefaultFormatStays) {
    TVelaHistoryFormatManager formats;
    TVelaHistoryFormat& named = formats.FindOrAddFormat("Log");
    EXPECT_EQ(&formats.FindOrAddFormat("Log"), &named);
    EXPECT_EQ(formats.FindFormat("log"), nullptr);
    named.Settings = {1, 2, 3, 4, 5, 6};
    named.ResetSettings();
    EXPECT_EQ(named.Settings, (std::array<int32_t, 6>{}));
    formats.Clear();
    EXPECT_EQ(formats.Count(), 1);
    EXPECT_NE(formats.FindFormat(""), nullptr);
}

// ---- Histories of messages shown from pages ----

// Page "m.vsb" written by tools/vpage.py: a label, then a text-insertion command for each text.
std::string PageFile(const std::vector<std::string>& Texts) {
    std::string commands = R"([{"cmd": "Label", "name": "top"})";
    for (const std::string& text : Texts) commands += R"(, {"cmd": "TextIns", "window": "\"mes\"", "text": ")" + text + "\"}";
    return VPage(R"({"commands": )" + commands + "]}");
}

class TWindow : public TVelaObject {
public:
    TWindow() : TVelaObject(nullptr, false) { SetName("mes"); }
    int32_t GetWidth() const override { return 320; }
    int32_t GetHeight() const override { return 240; }
};

// Characters are 10 pixels square (whole cells), rows 10 wide, 2 pixels between rows. Commands of
// "m.vsb": 0 a label; 1 "abc" (one row); 2 three rows; 3 five rows, taller than the history.
class HistoryPages : public ::testing::Test {
protected:
    void SetUp() override {
        CreateVrFileSystem();
        VrFileManager->Add("");
        CreateScriptServices();
        CreateCommandFactory();
        project.Runner = std::make_unique<TCallMan>();
        Project = &project;
        AddFile("m.vsb", PageFile({"abc", "a<BR>b<BR>c", "a<BR>b<BR>c<BR>d<BR>e"}));
        format.Settings = {10, 0, 0, 100, 50, 2};
    }
    void TearDown() override {
        Project = nullptr;
        FreeCommandFactory();
        FreeScriptServices();
        FreeVrFileSystem();
        SetTerminating(false);
    }
    void AddFile(const std::string& Name, const std::string& Data) {
        VrFileManager->GetCollection(0).AddStream(Name).DataSource->WriteBuffer(Data.data(),
                                                                                 static_cast<int64_t>(Data.size()));
    }
    // Records command Index of Page shown in the window, then stores it.
    void Show(int32_t Index, const std::string& Page = "m.vsb") {
        History().SetSource(window, Page, "", 0, -1, 0, Index);
        History().AddMessage("mes");
    }
    TVelaNewHistory& History() { return format.History(); }
    // The command indexes of each screen, screens separated by "/".
    std::string Screens() {
        std::string out;
        for (int s = 0; s < History().Screens.Count(); ++s) {
            const TVelaHistData& screen = History().Screens.GetItem(s);
            out += s ? "/" : "";
            for (int e = 0; e < screen.Count(); ++e) out += std::to_string(screen.GetItem(e).CommandIndex);
        }
        return out;
    }

    TProject project;
    TWindow window;
    TVelaHistoryFormat format{"" };
};

TEST_F(HistoryPages, MessagesFillScreensUpToTheHistoryHeight) {
    Show(1);
    EXPECT_EQ(History().GetCount(), 12);  // one row and the spacing
    History().AddMessage("mes");          // no new source: nothing more
    EXPECT_EQ(Screens(), "1");
    const THistElement& first = History().Screens.GetItem(0).GetItem(0);
    EXPECT_EQ(first.First, 0);
    EXPECT_EQ(first.Last, 2);
    Show(2);  // 12 + 36 fit in 50
    Show(1);  // 48 + 12 do not
    Show(3);  // taller than the history: a screen of its own
    Show(1);
    EXPECT_EQ(Screens(), "12/1/3/1");
    EXPECT_EQ(History().GetCount(), 12 + 36 + 12 + 60 + 12);
    EXPECT_EQ(History().GetMessageCount(), 4);
    History().Capacity = 3;
    Show(1);  // joins the last screen; the oldest goes
    EXPECT_EQ(Screens(), "1/3/11");
    History().Clear();
    EXPECT_EQ(History().GetCount(), 0);
}

TEST_F(HistoryPages, UnknownSourcesAddNothing) {
    History().SetSource(window, "m.vsb", "", 0, -1, 0, 1);
    History().AddMessage("other");  // another window's message
    EXPECT_EQ(History().GetCount(), 0);
    History().AddMessage("mes");  // the record stayed
    Show(0);                      // a label
    Show(9);                      // outside the page
    EXPECT_EQ(Screens(), "1");
    Show(1, "none.vsb");  // a missing page file drops the record
    AddFile("none.vsb", PageFile({"x"}));
    History().AddMessage("mes");
    EXPECT_EQ(Screens(), "1");
}

TEST_F(HistoryPages, EntryModeKeepsSourcesOnly) {
    format.Settings = {0, 0, 0, 0, 0, 0};
    History().Capacity = 2;
    for (int32_t index : {1, 2, 3}) Show(index);
    EXPECT_EQ(History().GetCount(), 2);
    EXPECT_EQ(History().Entries.GetItem(0).CommandIndex, 2);
    EXPECT_EQ(History().Entries.GetItem(1).Value, MakePoint(320, 240));
    EXPECT_EQ(History().Entries.GetName(0), "m.vsb");  // the oldest gone, its name kept
    EXPECT_EQ(History().Entries.GetName(1), "m.vsb");
}

TEST_F(HistoryPages, RebuildsStackElementsAndEntriesAndEndAtABadSource) {
    TNxWord doc;
    doc.FontSize = 10;
    doc.Width = 100;
    doc.RowSpace = 2;
    TVelaNewMesData data;
    auto rows = [&](int32_t Flags) {
        TWdPageList pages;
        data.BuildPages(doc, pages, 0, Flags, 0);
        std::string out;
        for (int p = 0; p < pages.Count(); ++p)
            for (int r = 0; r < pages.Items(p)->GetCount(); ++r) {
                const TWdGlyph* row = pages.Items(p)->GetItem(r);
                out += std::to_string(p) + ":" + std::to_string(row->Y) + ":";
                for (int g = 0; g < row->GetCount(); ++g)
                    if (row->GetItem(g)->GetKind() == wkChar) out += static_cast<char>(row->GetItem(g)->GetCode());
                out += " ";
            }
        return out;
    };
    data.Data.Add("m.vsb", 2, 2, -1, 0, "");  // one element of height 0: its range laid out as it is
    EXPECT_EQ(rows(0), "0:0:b 0:12:c ");
    data.Data.Clear();
    data.Data.Add("m.vsb", 1, 0, -1, 12, "");
    data.Data.Add("M.VSB", 2, 0, 2, 36, "");
    data.Data.Add("m.vsb", 0, 0, -1, 12, "");  // a label: the rebuild ends here
    data.Data.Add("m.vsb", 1, 0, -1, 12, "");
    EXPECT_EQ(rows(0), "0:0:abc 0:12:a 0:24:b ");
    data.Data.Clear();
    data.Data.Add("none.vsb", 1, 0, -1, 12, "");
    data.Data.Add("m.vsb", 1, 0, -1, 12, "");
    EXPECT_EQ(rows(0), "");

    data.Clear();
    data.AddEntry("m.vsb", 1, -1, {100, 50});  // one entry with no page index: laid out alone
    EXPECT_EQ(rows(0), "0:0:abc ");
    data.AddEntry("m.vsb", 2, 0, {100, 40});
    data.AddEntry("m.vsb", 9, 0, {100, 40});  // outside the page: the rebuild ends here
    data.AddEntry("m.vsb", 1, 0, {100, 40});
    EXPECT_EQ(rows(0), "0:0:abc 0:50:a 0:62:b 0:74:c ");            // each entry its recorded height down
    EXPECT_EQ(rows(TVelaNewMesData::bpPackRows), "0:0:abc 0:12:a 0:24:b 0:36:c ");  // stacked by rows
    EXPECT_EQ(doc.Width, 100);  // the recorded sizes served the layout only
}

}  // namespace
