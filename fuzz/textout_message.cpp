// A compiled message text from arbitrary bytes as the reader's tools get it: whatever the
// document read before an error holds, its message stays within the text-out bound, every ruby
// base is a piece of its text in order, and its JSON line is one line of printable characters.
// Seed corpus: tests/tools/nxword_streams.py corpus fuzz/corpus/textout_message, and a message
// with a reading, a link and a line break compiled by tools/nxcompile.
#include "fuzz/harness.h"
#include "platform/textout.h"
#include "text/nxwords.h"
#include "text/nxwords_textout.h"

int TestOneInput(const uint8_t* Data, size_t Size) {
    TNxWord word;
    TMemoryStream stream = fuzz::StreamOf(Data, Size);
    try {
        word.LoadFromStream(stream);
    } catch (const EVelaError&) {
    }
    const platform::TextOutItem message = MessageOfWord(word, "window");
    size_t bytes = message.text.size(), at = 0;
    for (const platform::TextOutRuby& pair : message.ruby) {
        bytes += pair.reading.size();
        fuzz::Check(!pair.base.empty() && !pair.reading.empty());
        at = message.text.find(pair.base, at);
        fuzz::Check(at != std::string::npos);
        at += pair.base.size();
    }
    fuzz::Check(bytes <= platform::MaxTextOutBytes);
    const std::string line = platform::TextOutJson(message);
    fuzz::Check(line.find('\n') == line.size() - 1);
    for (size_t i = 0; i + 1 < line.size(); ++i) fuzz::Check(static_cast<unsigned char>(line[i]) >= 0x20);
    return 0;
}
