// "game.ini" texts from arbitrary bytes: the settings read from the text and from the file agree
// (a file longer than MaxGameIniFile is left unread, with the defaults and a warning),
// and the mixer's buffer time is always one the mixer takes. The sound keys written into the text
// are read back as written, and the keys of the other sections keep their values. Seed corpus:
// make_script_corpus.py
#include "fuzz/harness.h"

#include "app/gameini.h"
#include "platform/fs.h"

#include <string_view>

int TestOneInput(const uint8_t* Data, size_t Size) {
    const std::string_view text(reinterpret_cast<const char*>(Data), Size);
    const TGameIni ini = ParseGameIni(text);
    fuzz::Check(ini.DelayTime >= 100 && ini.DelayTime <= 500 && ini.DelayTime % 100 == 0);
    const std::string file = fuzz::WorkFile("game.ini");
    TMemoryStream stream = fuzz::StreamOf(Data, Size);
    stream.SaveToFile(file);
    std::vector<std::string> warnings;
    const TGameIni read = ReadGameIni(file, warnings);
    const TGameIni expected = Size > MaxGameIniFile ? TGameIni() : ini;
    fuzz::Check(read.DirectSound == expected.DirectSound && read.DelayTime == expected.DelayTime &&
                read.UseWMP == expected.UseWMP && read.DefaultOnly == expected.DefaultOnly &&
                warnings.size() == (Size > MaxGameIniFile ? 1u : 0u));
    const std::string written = IniWithValue(IniWithValue(text, "Sound", "DirectSound", ini.DirectSound ? "0" : "1"),
                                             "Sound", "DelayTime", "300");
    const TGameIni after = ParseGameIni(written);
    fuzz::Check(after.DirectSound != ini.DirectSound && after.DelayTime == 300 && after.UseWMP == ini.UseWMP &&
                after.DefaultOnly == ini.DefaultOnly);
    return 0;
}
