#pragma once
// Preview-menu files: the menu's size, its background and its buttons, each with the image files
// of its states and the preview pictures it shows elsewhere on the menu. Two forms: an XML
// document (version 200 on) and the older fixed-layout "VelaPrevMenu" binary form. Every path
// is made absolute against the folder of the menu file.
#include "core/header.h"
#include "core/streams.h"
#include "platform/errors.h"

#include <cstdint>
#include <string>

// A preview-menu file of the wrong kind or version.
class EPrevMenuError : public EVelaError {
public:
    using EVelaError::EVelaError;
};

class TContSelList;

// One button of a menu file. A button of the list starts named "Button<nn>" (nn the number of
// buttons before it); the readers then give it the stored name.
class TContSelButton {
public:
    explicit TContSelButton(TContSelList* AOwner) : Owner(AOwner) {}

    TContSelList* Owner;
    int32_t Left = 0, Top = 0;
    std::string Path;  // the button's image or film
    bool CapMask = false;
    int32_t CapMaskLevel = 128;
    std::string Name;
    std::string InImagePath, OutImagePath, SettleImagePath;
    std::string InPrevPath, OutPrevPath;
    std::string SettlePrevPath;
    int32_t PrevLeft = 0, PrevTop = 0;  // where the previews are shown
    std::string CursorPath;
    std::string DisImagePath;
    std::string DisOutPrevPath, DisInPrevPath;
    std::string DisInImagePath, DisOutImagePath;
    std::string DownOutImagePath, DownImagePath;
    std::string DownOutPrevPath;
    std::string DownInImagePath;
    std::string DownInPrevPath;
    int32_t Group = 0;
    std::string DownOnPrevPath, DownOffPrevPath;
    bool DownOnPrevRepeat = false, DownOffPrevRepeat = false;
};

// The buttons of a menu file (owned) with the menu's size and background.
class TContSelList : public TObjList<TContSelButton> {
public:
    int32_t Width = 0, Height = 0;
    std::string BGFile;

    // Appends a new button named after the buttons already listed.
    TContSelButton& AddButton();
    TContSelButton& GetButton(int Index) const { return *Items(Index); }
    int ButtonCount() const { return Count(); }
};

// Fills List from the menu file on Stream (from its position), paths resolved against
// BaseFolder: the binary form when the first 12 bytes are "VelaPrevMenu", else the XML form.
// A newer XML version shows a warning box and reads on. A file of the wrong kind or version
// raises EPrevMenuError, a binary file that ends inside a field EReadError, a document that is
// not XML ENxXmlError; the buttons read before stay in the list.
void LoadPreviewMenu(TStream& Stream, TContSelList& List, const std::string& BaseFolder);
