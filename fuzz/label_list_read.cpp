// Label-list settings records from arbitrary bytes, read as a save of each version with its own
// record form: a read either raises EReadError and leaves the settings as they were, or gives
// settings that write out and read back as the same record.
// Seed corpus: tests/tools/label_list_ref.py corpus fuzz/corpus/label_list_read
#include "fuzz/harness.h"
#include "text/nxwords_labels.h"

int TestOneInput(const uint8_t* Data, size_t Size) {
    const TNxLabelList fresh;
    const std::string untouched = fuzz::Written(fresh);
    for (const int32_t version : {108, 121, 144}) {
        TMemoryStream stream = fuzz::StreamOf(Data, Size);
        TNxLabelList list;
        list.AddLabel()->Dirty = false;
        try {
            list.LoadFromStream(stream, version);
        } catch (const EReadError&) {
            fuzz::Check(fuzz::Written(list) == untouched && !list.GetLabel(0)->Dirty);
            continue;
        }
        fuzz::Check(list.GetLabel(0)->Dirty);
        if (version < 109) fuzz::Check(list.AntialiasLevel == 0 || list.AntialiasLevel == 3);
        const std::string saved = fuzz::Written(list);
        TMemoryStream again = fuzz::StreamOf(saved.data(), saved.size());
        TNxLabelList back;
        back.LoadFromStream(again, 144);
        fuzz::Check(again.Position() == again.Size() && fuzz::Written(back) == saved);
    }
    return 0;
}
