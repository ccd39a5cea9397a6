// Preview-menu files: telling the two forms apart, the XML document's elements and the binary
// form's records with their version gates.
#include "objects/contsels.h"

#include "core/nxxmls.h"
#include "core/sysutils.h"
#include "media/screenman.h"
#include "platform/display.h"

#include <cstring>
#include <initializer_list>

namespace {

constexpr char BinaryMagic[] = "VelaPrevMenu";
constexpr int64_t MagicLength = 12;
constexpr int32_t XmlVersion = 200;
constexpr int32_t FirstBinaryVersion = 100, LastBinaryVersion = 200;
// The smallest button record of the binary form (version 100 with empty strings): two places,
// the path, the mask byte, the name, three images, three previews, the preview place and the
// cursor.
constexpr int64_t MinBinaryRecord = 8 + 4 + 1 + 4 + 3 * 4 + 3 * 4 + 8 + 4;

using TPathField = std::string TContSelButton::*;

// The path fields of the XML form, each read by its element name.
struct TXmlPath {
    const char* Element;
    TPathField Field;
};
constexpr TXmlPath XmlPaths[] = {
    {"Path", &TContSelButton::Path},
    {"InImagePath", &TContSelButton::InImagePath},
    {"OutImagePath", &TContSelButton::OutImagePath},
    {"SettleImagePath", &TContSelButton::SettleImagePath},
    {"DisImagePath", &TContSelButton::DisImagePath},
    {"DisInImagePath", &TContSelButton::DisInImagePath},
    {"DisOutImagePath", &TContSelButton::DisOutImagePath},
    {"InPrevPath", &TContSelButton::InPrevPath},
    {"OutPrevPath", &TContSelButton::OutPrevPath},
    {"SettlePrevPath", &TContSelButton::SettlePrevPath},
    {"DisInPrevPath", &TContSelButton::DisInPrevPath},
    {"DisOutPrevPath", &TContSelButton::DisOutPrevPath},
    {"CursorPath", &TContSelButton::CursorPath},
    {"DownImagePath", &TContSelButton::DownImagePath},
    {"DownInImagePath", &TContSelButton::DownInImagePath},
    {"DownOutImagePath", &TContSelButton::DownOutImagePath},
    {"DownInPrevPath", &TContSelButton::DownInPrevPath},
    {"DownOutPrevPath", &TContSelButton::DownOutPrevPath},
    {"DownOnPrevPath", &TContSelButton::DownOnPrevPath},
    {"DownOffPrevPath", &TContSelButton::DownOffPrevPath},
};

// A warning in a box captioned "警告" on the player's display, else on standard error.
void ShowWarning(const std::string& Text) {
    if (ScreenMan && ScreenMan->Form)
        ScreenMan->Form->messageBox("警告", Text, platform::MessageButtons::Ok, platform::MessageIcon::Warning);
    else
        platform::PrintMessage("警告", Text);
}

void ReadXmlItem(const TNxXmlElement& Item, TContSelButton& Button, const std::string& BaseFolder) {
    Button.Left = Item.ReadInteger("Left", 0);
    Button.Top = Item.ReadInteger("Top", 0);
    Button.PrevLeft = Item.ReadInteger("PrevLeft", 0);
    Button.PrevTop = Item.ReadInteger("PrevTop", 0);
    Button.CapMask = Item.ReadBool("CapMask", false);
    Button.CapMaskLevel = Item.ReadInteger("CapMaskLevel", 128);
    Button.Name = Item.ReadString("Name", "");
    Button.Group = Item.ReadInteger("Group", 0);
    // A missing path keeps the button's value (already absolute, which the expansion keeps).
    for (const TXmlPath& row : XmlPaths)
        Button.*row.Field = ExpandRelativePath(Item.ReadString(row.Element, Button.*row.Field), BaseFolder);
    Button.DownOnPrevRepeat = Item.ReadBool("DownOnPrevRepeat", false);
    Button.DownOffPrevRepeat = Item.ReadBool("DownOffPrevRepeat", false);
}

void LoadXml(TStream& Stream, TContSelList& List, const std::string& BaseFolder) {
    TNxXml xml;
    xml.LoadFromStream(Stream);
    const int32_t version = xml.ReadInteger("Version", 0);
    if (version < XmlVersion) throw EPrevMenuError("無効なファイル形式です");
    if (version > XmlVersion)
        ShowWarning("このファイルは使用しているプログラムより新しいバージョンで保存されているため\r\n"
                    "正常に読み込めない場合があります");
    List.BGFile = ExpandRelativePath(xml.ReadString("BGFile", ""), BaseFolder);
    List.Width = xml.ReadInteger("Width", 640);
    List.Height = xml.ReadInteger("Height", 480);
    const TNxXmlElement* buttons = xml.FindChild("Button");
    if (!buttons) return;
    for (int i = 0; i < buttons->ChildCount(); ++i) {
        const TNxXmlElement* item = buttons->GetChild(i);
        if (item->NameIs("Item")) ReadXmlItem(*item, List.AddButton(), BaseFolder);
    }
}

// One record of the binary form at file version Version.
void ReadBinaryButton(TStream& Stream, TContSelButton& Button, int32_t Version, const std::string& BaseFolder) {
    const auto paths = [&](std::initializer_list<TPathField> Fields, int32_t Gate) {
        if (Version < Gate) return;
        for (TPathField field : Fields) Button.*field = ExpandRelativePath(ReadStreamString(Stream), BaseFolder);
    };
    Button.Left = ReadStreamInt(Stream);
    Button.Top = ReadStreamInt(Stream);
    paths({&TContSelButton::Path}, 0);
    Button.CapMask = ReadStreamByte(Stream) != 0;
    Button.Name = ReadStreamString(Stream);
    paths({&TContSelButton::InImagePath, &TContSelButton::OutImagePath, &TContSelButton::SettleImagePath}, 0);
    paths({&TContSelButton::DisImagePath}, 101);
    paths({&TContSelButton::DisInImagePath, &TContSelButton::DisOutImagePath}, 103);
    paths({&TContSelButton::InPrevPath, &TContSelButton::OutPrevPath, &TContSelButton::SettlePrevPath}, 0);
    paths({&TContSelButton::DisInPrevPath, &TContSelButton::DisOutPrevPath}, 102);
    Button.PrevLeft = ReadStreamInt(Stream);
    Button.PrevTop = ReadStreamInt(Stream);
    paths({&TContSelButton::CursorPath}, 0);
    paths({&TContSelButton::DownImagePath, &TContSelButton::DownInImagePath, &TContSelButton::DownOutImagePath,
           &TContSelButton::DownInPrevPath, &TContSelButton::DownOutPrevPath},
          104);
    if (Version >= 104) Button.Group = ReadStreamInt(Stream);
    paths({&TContSelButton::DownOnPrevPath}, 105);
    paths({&TContSelButton::DownOffPrevPath}, 106);
}

void LoadBinary(TStream& Stream, TContSelList& List, const std::string& BaseFolder) {
    char digits[3];
    Stream.ReadBuffer(digits, sizeof digits);
    const int32_t version = StrToIntDef(std::string_view(digits, sizeof digits), 0);
    if (version < FirstBinaryVersion || version > LastBinaryVersion)
        throw EPrevMenuError("VelaPreviewMenu:このバージョンのファイル形式には対応していません");
    List.Width = ReadStreamInt(Stream);
    List.Height = ReadStreamInt(Stream);
    const int32_t count = ReadStreamCount(Stream, MinBinaryRecord);
    for (int32_t i = 0; i < count; ++i) ReadBinaryButton(Stream, List.AddButton(), version, BaseFolder);
}

}  // namespace

TContSelButton& TContSelList::AddButton() {
    auto button = std::make_unique<TContSelButton>(this);
    button->Name = Format("Button%.2d", ButtonCount());
    return *Items(Add(std::move(button)));
}

void LoadPreviewMenu(TStream& Stream, TContSelList& List, const std::string& BaseFolder) {
    const int64_t start = Stream.Position();
    char magic[MagicLength];
    if (Stream.Read(magic, MagicLength) == MagicLength && std::memcmp(magic, BinaryMagic, MagicLength) == 0) {
        LoadBinary(Stream, List, BaseFolder);
        return;
    }
    Stream.SetPosition(start);
    LoadXml(Stream, List, BaseFolder);
}
