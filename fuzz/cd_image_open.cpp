// Disc images from arbitrary sheet text: the input is written as a .cue sheet and as a .toc file
// beside a small disc.bin (three sectors of a pattern) and named by VELA_CDROM in turn (libcdio
// looks for the data files a .toc names from the working folder, so those are not found). libcdio
// parses the sheets; the CD audio service must never crash on them, and a sheet it lists as a
// drive opens with 1 to 99 tracks, each of at least one frame.
// Seed corpus: sheets as tests/tools/make_cd_image.py writes them, a .toc sheet, and damaged ones
// (a track starting past the data, a missing file, an index before its track, binary bytes).
#include "fuzz/harness.h"
#include "platform/cdaudio.h"

#include <fstream>

// libcdio's cue parser keeps the name of a FILE line it then refuses (26 bytes per broken sheet,
// freed by nobody); that leak is the library's, and the service opens an image once per listing.
extern "C" const char* __lsan_default_suppressions() { return "leak:libcdio.so\n"; }

namespace {

std::string HostWorkFile(const std::string& Name) { return *platform::fs::ToHostPath(fuzz::WorkFile(Name)); }

void OpenAsDrive(const std::string& Sheet) {
    setenv("VELA_CDROM", Sheet.c_str(), 1);
    platform::CdAudio& cd = platform::CdAudioService();
    const std::vector<std::string> drives = cd.Drives();
    if (drives.empty() || drives[0] != Sheet) return;
    platform::CdDeviceId id = 0;
    if (cd.Open(Sheet, 0, id) != 0) return;
    uint32_t count = 0, msf = 0, at = 0;
    fuzz::Check(cd.TrackCount(id, count) == 0 && count >= 1 && count <= 99);
    for (uint32_t n = 1; n <= count; ++n) {
        fuzz::Check(cd.TrackLength(id, n, msf) == 0);
        fuzz::Check(msf != 0);
    }
    fuzz::Check(cd.Position(id, at) == 0 && platform::TmsfTrack(at) == 1);
    fuzz::Check(cd.Close(id) == 0);
}

}  // namespace

int TestOneInput(const uint8_t* Data, size_t Size) {
    static const bool data = [] {
        std::ofstream bin(HostWorkFile("disc.bin"), std::ios::binary);
        for (int i = 0; i < 3 * 2352; ++i) bin.put(char(i * 7));
        return bin.good();
    }();
    fuzz::Check(data);
    for (const char* name : {"disc.cue", "disc.toc"}) {
        const std::string sheet = HostWorkFile(name);
        std::ofstream(sheet, std::ios::binary).write(reinterpret_cast<const char*>(Data), std::streamsize(Size));
        OpenAsDrive(sheet);
    }
    return 0;
}
