// EUC-JP text from arbitrary bytes converted to Shift-JIS: never longer than the input and one
// byte (a lead byte in the last place pairs with 0), and a text cut after any byte below 0x80
// converts to the start of the whole text's conversion.
// Seed corpus: make_record_corpus.py
#include "fuzz/harness.h"
#include "net/jconvert.h"

int TestOneInput(const uint8_t* Data, size_t Size) {
    const std::string_view text(reinterpret_cast<const char*>(Data), Size);
    const std::string whole = EucToSjis(text);
    fuzz::Check(whole.size() <= Size + 1);
    for (size_t i = 0; i < Size; ++i) {
        if (Data[i] >= 0x80) continue;
        const std::string head = EucToSjis(text.substr(0, i + 1));
        fuzz::Check(whole.compare(0, head.size(), head) == 0);
        break;
    }
    return 0;
}
