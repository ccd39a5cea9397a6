// Preview-menu files from arbitrary bytes, both forms: a load either fills the list, every
// button's paths resolved against the menu's folder (a path that climbs above the drive's root
// resolves to a name without one, so the paths are not checked), or raises one of the engine's
// own errors. No input makes more buttons than it has bytes.
// Seed corpus: tools/vprevmenu.py corpus fuzz/corpus/prevmenu_read
#include "fuzz/harness.h"
#include "objects/contsels.h"
#include "platform/display.h"

using fuzz::Check;

namespace {

// Keeps the newer version's warning to itself: a harness prints nothing per input.
class TQuietDisplay : public platform::HeadlessDisplay {
public:
    platform::MessageResult messageBox(const std::string&, const std::string&, platform::MessageButtons,
                                       platform::MessageIcon) override {
        return platform::MessageResult::Ok;
    }
};

}  // namespace

int TestOneInput(const uint8_t* Data, size_t Size) {
    static TQuietDisplay display;
    static TBasePanel panel;
    static TScreenManager* const screen = new TScreenManager(&display, &panel, 16, 16, 0, 0);
    ScreenMan = screen;
    TMemoryStream stream = fuzz::StreamOf(Data, Size);
    TContSelList list;
    try {
        LoadPreviewMenu(stream, list, "C:\\MENU\\");
    } catch (const EVelaError&) {
    }
    Check(static_cast<size_t>(list.ButtonCount()) <= Size);
    for (int i = 0; i < list.ButtonCount(); ++i) Check(list.GetButton(i).Owner == &list);
    return 0;
}
