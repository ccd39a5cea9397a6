// Preview-menu files from arbitrary bytes, both forms: a load either fills the list, every
// button's paths resolved (absolute: the base folder's drive or a root; paths of at most one
// character stay as stored), or raises one of the engine's own errors. No input makes more
// buttons than it has bytes.
// Seed corpus: tools/vprevmenu.py corpus fuzz/corpus/prevmenu_read
#include "fuzz/harness.h"
#include "objects/contsels.h"

namespace {

using fuzz::Check;

bool Resolved(const std::string& Path) {
    return Path.size() <= 1 || Path[0] == '\\' || (Path.size() >= 2 && Path[1] == ':');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    TMemoryStream stream = fuzz::StreamOf(Data, Size);
    TContSelList list;
    try {
        LoadPreviewMenu(stream, list, "C:\\MENU\\");
    } catch (const EVelaError&) {
    }
    Check(static_cast<size_t>(list.ButtonCount()) <= Size);
    for (int i = 0; i < list.ButtonCount(); ++i) {
        const TContSelButton& b = list.GetButton(i);
        for (const std::string* path : {&b.Path, &b.InImagePath, &b.SettlePrevPath, &b.CursorPath, &b.DownOffPrevPath})
            Check(Resolved(*path));
        Check(b.Owner == &list);
    }
    return 0;
}
