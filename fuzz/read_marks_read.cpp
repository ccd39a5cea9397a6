// Read marks from arbitrary bytes: a load either gives a list that writes out and reads back to
// the same bytes, or raises one of the engine's own errors and leaves the list it was given as
// it was.
// Seed corpus: tests/tools/read_marks_ref.py corpus fuzz/corpus/read_marks_read
#include "fuzz/harness.h"
#include "objects/vitemex_read.h"

namespace {

using fuzz::Check;

std::string Saved(const TVelaReadList& List) {
    TMemoryStream stream;
    List.SaveToStream(stream);
    return fuzz::BytesOf(stream);
}

}  // namespace

int TestOneInput(const uint8_t* Data, size_t Size) {
    TVelaReadList list;
    list.SetPending("W", "before.vsb", 1, 2);
    list.CommitPending("W");
    const std::string before = Saved(list);
    TMemoryStream stream = fuzz::StreamOf(Data, Size);
    try {
        list.LoadFromStream(stream, ReadMarksStatusVersion);
    } catch (const EVelaError&) {
        Check(Saved(list) == before);
        return 0;
    }
    const std::string once = Saved(list);
    TMemoryStream again = fuzz::StreamOf(once.data(), once.size());
    TVelaReadList back;
    back.LoadFromStream(again, ReadMarksStatusVersion);
    Check(Saved(back) == once);
    return 0;
}
