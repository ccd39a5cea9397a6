// "game.ini" texts from arbitrary bytes: the settings read from the text and from the file agree,
// and the mixer's buffer time is always one the mixer takes. Seed corpus: make_script_corpus.py
#include "fuzz/harness.h"

#include "app/gameini.h"
#include "platform/fs.h"

#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    const std::string_view text(reinterpret_cast<const char*>(Data), Size);
    const TGameIni ini = ParseGameIni(text);
    fuzz::Check(ini.DelayTime >= 100 && ini.DelayTime <= 500 && ini.DelayTime % 100 == 0);
    const std::string file = fuzz::WorkFile("game.ini");
    TMemoryStream stream = fuzz::StreamOf(Data, Size);
    stream.SaveToFile(file);
    const TGameIni read = ReadGameIni(file);
    fuzz::Check(read.DirectSound == ini.DirectSound && read.DelayTime == ini.DelayTime && read.UseWMP == ini.UseWMP &&
                read.DefaultOnly == ini.DefaultOnly);
    return 0;
}
