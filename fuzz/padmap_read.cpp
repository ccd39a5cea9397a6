// "controller.ini" texts from arbitrary bytes: the map read from the text and from the file agree,
// every action is one of the map's, at most MaxPadMapWarnings lines are named and one more counts
// the rest; a text longer than the file limit leaves the file unread, with the default map.
// Seed corpus: hand-made maps, junk and an over-long line (corpus/padmap_read).
#include "fuzz/harness.h"

#include "app/padmap.h"

#include <string_view>

namespace {

bool SameMap(const TPadMap& A, const TPadMap& B) { return A.Buttons == B.Buttons && A.Sticks == B.Sticks; }

}  // namespace

int TestOneInput(const uint8_t* Data, size_t Size) {
    const std::string_view text(reinterpret_cast<const char*>(Data), Size);
    std::vector<std::string> warnings;
    const TPadMap map = ParsePadMap(text, warnings);
    fuzz::Check(warnings.size() <= MaxPadMapWarnings + 1);
    for (TPadAction action : map.Buttons) fuzz::Check(action <= TPadAction::Right);
    for (TStickAction action : map.Sticks) fuzz::Check(action <= TStickAction::Wheel);
    const std::string file = fuzz::WorkFile("controller.ini");
    TMemoryStream stream = fuzz::StreamOf(Data, Size);
    stream.SaveToFile(file);
    std::vector<std::string> fileWarnings;
    const TPadMap read = ReadPadMap(file, fileWarnings);
    if (Size > MaxPadMapFile)
        fuzz::Check(SameMap(read, DefaultPadMap()) && fileWarnings.size() == 1);
    else
        fuzz::Check(SameMap(read, map) && fileWarnings == warnings);
    return 0;
}
