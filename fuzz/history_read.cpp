// Message-history records of the save data from arbitrary bytes: a little-endian int32 save
// version, then the format list. A read either raises EReadError, or gives formats that write
// out in the newest form and read back as the same record.
// Seed corpus: tests/tools/history_ref.py corpus fuzz/corpus/history_read
#include "fuzz/harness.h"
#include "text/histories.h"

int TestOneInput(const uint8_t* Data, size_t Size) {
    TMemoryStream stream = fuzz::StreamOf(Data, Size);
    int32_t version = 0;
    if (stream.Read(&version, 4) != 4) return 0;
    TVelaHistoryFormatManager formats;
    try {
        formats.LoadFromStream(stream, version);
    } catch (const EReadError&) {
        return 0;
    }
    const std::string saved = fuzz::Written(formats);
    TMemoryStream again = fuzz::StreamOf(saved.data(), saved.size());
    TVelaHistoryFormatManager back;
    back.LoadFromStream(again, GameSaveVersion);
    fuzz::Check(again.Position() == again.Size() && fuzz::Written(back) == saved);
    return 0;
}
