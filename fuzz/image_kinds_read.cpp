// Records of the animated image object, the tile and the button from arbitrary bytes (the first
// byte picks the save version, the second the kind, the rest is the record), with an image cache
// that finds no file: a read either succeeds, and the object then writes out a form that reads
// back and writes the same, and steps and draws; anything else raises one of the engine's own
// errors.
// Seed corpus: the records of tests/tools/image_kind_records.py and button_records.py, each
// behind its two bytes.
#include "fuzz/harness.h"
#include "objects/vitemex_button.h"
#include "objects/vitemex_tile.h"

#include <memory>
#include <utility>

namespace {

class TNoFiles : public TMiraSource {
public:
    bool FileExists(const std::string&, bool) override { return false; }
};

// A fresh image cache for each input, in place of the one the object layer made; the objects
// that hold its pictures go first.
struct TCache {
    TCache() {
        delete std::exchange(MiraMan, new TMiraCollection());
        MiraMan->SetSource(std::make_unique<TNoFiles>());
    }
    ~TCache() { Bases->Clear(); }
};

// Kind 0 the image object, 1 the tile, 2 the button.
TVelaCustomImages* Make(int Kind) {
    TVelaCustomImages* obj = Kind == 1   ? static_cast<TVelaCustomImages*>(new TVelaTile(Bases))
                             : Kind == 2 ? new TVelaButton(Bases)
                                         : new TVelaImages(Bases);
    obj->SetParent(Bases->GetBase(0));
    return obj;
}

}  // namespace

int TestOneInput(const uint8_t* Data, size_t Size) {
    if (Size < 2) return 0;
    const int32_t version = 100 + Data[0] % (GameSaveVersion - 99);
    const int kind = Data[1] % 3;
    fuzz::TWorld world;
    TCache cache;
    TVelaCustomImages* obj = Make(kind);
    TMemoryStream stream = fuzz::StreamOf(Data + 2, Size - 2);
    try {
        obj->LoadFromStream(stream, version);
    } catch (const EVelaError&) {
        return 0;
    }
    const std::string written = fuzz::Written(*obj);
    TVelaCustomImages* again = Make(kind);
    TMemoryStream second = fuzz::StreamOf(written.data(), written.size());
    again->LoadFromStream(second, GameSaveVersion);
    // Children of equal names and drawing order have no fixed order among themselves.
    fuzz::Check(obj->GetControlCount() > 0 || fuzz::Written(*again) == written);
    // No file is found, so every picture has one frame and the last-frame wait never runs.
    try {
        Bases->Step();
        Bases->Prepare();
    } catch (const EVelaError&) {
        // a stored zoom too large for the integer zoom the placement reads
    }
    return 0;
}
