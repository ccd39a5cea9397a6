// Preview-menu files of both forms, written by tools/vprevmenu.py: the XML document (checked
// by xmllint) and the binary form at each of its versions.
#include "objects/contsels.h"

#include "core/nxxmls.h"
#include "tests/objects/prevmenu_fixture.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

constexpr const char* Base = "C:\\GAME\\MENU\\";

// A button with every field set; "..\\in.mra" climbs out of the menu's folder, "D:\\abs.mra"
// is absolute already.
constexpr const char* FullButton = R"({"Name": "\u30dc\u30bf\u30f3", "Left": 4, "Top": 8, "Path": "a.mra",
    "CapMask": true, "Group": 2, "InImagePath": "..\\in.mra", "OutImagePath": "D:\\abs.mra",
    "SettleImagePath": "set.vmt", "DisImagePath": "dis.mra", "DisInImagePath": "di.mra",
    "DisOutImagePath": "do.mra", "InPrevPath": "ip.mra", "OutPrevPath": "op.mra", "SettlePrevPath": "sp.mra",
    "DisInPrevPath": "dip.mra", "DisOutPrevPath": "dop.mra", "PrevLeft": 100, "PrevTop": 50,
    "CursorPath": "c.cur", "DownImagePath": "d.mra", "DownInImagePath": "din.mra",
    "DownOutImagePath": "dout.mra", "DownInPrevPath": "dinp.mra", "DownOutPrevPath": "doutp.mra",
    "DownOnPrevPath": "on.mra", "DownOffPrevPath": "off.mra"})";

std::unique_ptr<TContSelList> Load(const std::string& Bytes) {
    auto list = std::make_unique<TContSelList>();
    TMemoryStream stream = StreamOf(Bytes);
    LoadPreviewMenu(stream, *list, Base);
    return list;
}

std::string LoadError(const std::string& Bytes) {
    return ErrorOf([&] { Load(Bytes); });
}

std::string Menu(const std::string& Form, int Version, const std::string& Buttons, const std::string& More = "") {
    return PrevMenuFile(Form, "{\"Version\": " + std::to_string(Version) + More + ", \"Button\": [" + Buttons + "]}");
}

TEST(PreviewMenuXml, WellFormedDocumentGivesEveryField) {
    std::string host;
    const std::string bytes = PrevMenuFile(
        "xml",
        std::string(R"({"Version": 200, "BGFile": "bg.mra", "Width": 320, "Height": 240, "Button": [)") + FullButton +
            R"(, {"Left": 1, "CapMaskLevel": 64, "DownOnPrevRepeat": true, "DownOffPrevRepeat": true}],
            "Extra": [["Other", "x"], ["ITEM", ""]]})",
        &host);
    EXPECT_EQ(RunProgram("xmllint", {"--noout", host}).status, 0);

    const auto list = Load(bytes);
    EXPECT_EQ(list->Width, 320);
    EXPECT_EQ(list->Height, 240);
    EXPECT_EQ(list->BGFile, "C:\\GAME\\MENU\\bg.mra");
    ASSERT_EQ(list->ButtonCount(), 3);  // "Other" is ignored, "ITEM" names an item in any case
    const TContSelButton& b = list->GetButton(0);
    EXPECT_EQ(b.Name, "ボタン");
    EXPECT_EQ(b.Left, 4);
    EXPECT_EQ(b.Top, 8);
    EXPECT_TRUE(b.CapMask);
    EXPECT_EQ(b.CapMaskLevel, 128);
    EXPECT_EQ(b.Group, 2);
    EXPECT_EQ(b.PrevLeft, 100);
    EXPECT_EQ(b.PrevTop, 50);
    EXPECT_EQ(b.Path, "C:\\GAME\\MENU\\a.mra");
    EXPECT_EQ(b.InImagePath, "C:\\GAME\\in.mra");
    EXPECT_EQ(b.OutImagePath, "D:\\abs.mra");
    EXPECT_EQ(b.CursorPath, "C:\\GAME\\MENU\\c.cur");
    EXPECT_EQ(b.DisOutImagePath, "C:\\GAME\\MENU\\do.mra");
    EXPECT_EQ(b.DownInPrevPath, "C:\\GAME\\MENU\\dinp.mra");
    EXPECT_EQ(b.DownOffPrevPath, "C:\\GAME\\MENU\\off.mra");
    EXPECT_FALSE(b.DownOnPrevRepeat);

    // A button of few elements: defaults, no name (not Button01), empty paths.
    const TContSelButton& c = list->GetButton(1);
    EXPECT_EQ(c.Name, "");
    EXPECT_EQ(c.Left, 1);
    EXPECT_FALSE(c.CapMask);
    EXPECT_EQ(c.CapMaskLevel, 64);
    EXPECT_EQ(c.Path, "");
    EXPECT_TRUE(c.DownOnPrevRepeat);
    EXPECT_TRUE(c.DownOffPrevRepeat);
}

TEST(PreviewMenuXml, VersionsAndEmptyDocuments) {
    const auto bare = Load(PrevMenuFile("xml", R"({"Version": 200})"));
    EXPECT_EQ(bare->Width, 640);
    EXPECT_EQ(bare->Height, 480);
    EXPECT_EQ(bare->BGFile, "");
    EXPECT_EQ(bare->ButtonCount(), 0);

    EXPECT_EQ(LoadError(PrevMenuFile("xml", R"({"Version": 199})")), "無効なファイル形式です");
    EXPECT_EQ(LoadError(PrevMenuFile("xml", R"({"Width": 10})")), "無効なファイル形式です");

    // A newer version warns (standard error without a display) and reads on.
    testing::internal::CaptureStderr();
    const auto newer = Load(Menu("xml", 201, R"({"Name": "n"})"));
    const std::string warned = testing::internal::GetCapturedStderr();
    EXPECT_NE(warned.find(U8(u8"このファイルは使用しているプログラムより新しいバージョン")), std::string::npos);
    EXPECT_EQ(warned.rfind(U8(u8"警告"), 0), 0u);
    ASSERT_EQ(newer->ButtonCount(), 1);
    EXPECT_EQ(newer->GetButton(0).Name, "n");

    // Not a document: the XML reader's error, not a crash.
    EXPECT_NE(LoadError("VelaPrevMen"), "");
}

TEST(PreviewMenuBinary, EachVersionCarriesItsFields) {
    struct Row {
        int Version;
        bool Dis, DisImages, DisPreviews, Down, On, Off;
    };
    for (const Row& r : {Row{100, false, false, false, false, false, false},
                         Row{101, true, false, false, false, false, false},
                         Row{102, true, false, true, false, false, false},
                         Row{103, true, true, true, false, false, false},
                         Row{104, true, true, true, true, false, false},
                         Row{105, true, true, true, true, true, false},
                         Row{106, true, true, true, true, true, true},
                         Row{200, true, true, true, true, true, true}}) {
        SCOPED_TRACE(r.Version);
        const auto list = Load(Menu("binary", r.Version, std::string(FullButton) + ", {}", ", \"Width\": 300"));
        EXPECT_EQ(list->Width, 300);
        EXPECT_EQ(list->Height, 480);
        EXPECT_EQ(list->BGFile, "");
        ASSERT_EQ(list->ButtonCount(), 2);
        const TContSelButton& b = list->GetButton(0);
        EXPECT_EQ(b.Name, "ボタン");
        EXPECT_EQ(b.Left, 4);
        EXPECT_TRUE(b.CapMask);
        EXPECT_EQ(b.CapMaskLevel, 128);
        EXPECT_EQ(b.InImagePath, "C:\\GAME\\in.mra");
        EXPECT_EQ(b.OutImagePath, "D:\\abs.mra");
        EXPECT_EQ(b.SettlePrevPath, "C:\\GAME\\MENU\\sp.mra");
        EXPECT_EQ(b.PrevTop, 50);
        EXPECT_EQ(b.CursorPath, "C:\\GAME\\MENU\\c.cur");
        EXPECT_EQ(!b.DisImagePath.empty(), r.Dis);
        EXPECT_EQ(!b.DisInImagePath.empty(), r.DisImages);
        EXPECT_EQ(!b.DisOutImagePath.empty(), r.DisImages);
        EXPECT_EQ(!b.DisInPrevPath.empty(), r.DisPreviews);
        EXPECT_EQ(!b.DownImagePath.empty(), r.Down);
        EXPECT_EQ(!b.DownOutPrevPath.empty(), r.Down);
        EXPECT_EQ(b.Group, r.Down ? 2 : 0);
        EXPECT_EQ(!b.DownOnPrevPath.empty(), r.On);
        EXPECT_EQ(!b.DownOffPrevPath.empty(), r.Off);
        EXPECT_FALSE(b.DownOnPrevRepeat);
        EXPECT_EQ(list->GetButton(1).Name, "");
        EXPECT_EQ(list->GetButton(1).Path, "");
    }
}

TEST(PreviewMenuBinary, RefusedVersionsAndDamagedFiles) {
    const std::string refused = "VelaPreviewMenu:このバージョンのファイル形式には対応していません";
    for (const char* digits : {"099", "201", "abc"})
        EXPECT_EQ(LoadError(PrevMenuFile("binary", std::string("{\"VersionDigits\": \"") + digits + "\"}")), refused)
            << digits;

    // A file that ends anywhere inside its records raises and never reads past its end.
    const std::string whole = Menu("binary", 106, std::string(FullButton) + ", " + FullButton);
    for (size_t cut = 12; cut < whole.size(); ++cut)
        EXPECT_NE(LoadError(whole.substr(0, cut)), "") << cut;
    // A count no record bytes back is refused before any button is made.
    std::string counted = Menu("binary", 106, "");
    counted[23] = '\x7f';
    TContSelList list;
    TMemoryStream stream = StreamOf(counted);
    EXPECT_THROW(LoadPreviewMenu(stream, list, Base), EReadError);
    EXPECT_EQ(list.ButtonCount(), 0);
}

TEST(PreviewMenuList, NewButtonsAreNamedByTheirPlace) {
    TContSelList list;
    EXPECT_EQ(list.AddButton().Name, "Button00");
    EXPECT_EQ(list.AddButton().Name, "Button01");
    EXPECT_EQ(list.GetButton(1).Owner, &list);
}

}  // namespace
