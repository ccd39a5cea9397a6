// Records of the character-image label from arbitrary bytes (the first byte picks the save
// version, the rest is the record), with an image cache that serves a two-frame sheet of 16 x 8
// under any name: a read either succeeds, and the label then writes out a form that reads back
// and writes the same, and steps and draws its cells; anything else raises one of the engine's
// own errors. Seed corpus: the records of tests/tools/cglabel_records.py, each behind its byte.
#include "fuzz/harness.h"
#include "graphics/miras.h"
#include "objects/vitemex_cglabel.h"

#include <memory>
#include <utility>

namespace {

class TAnySheet : public TMiraSource {
public:
    bool FileExists(const std::string&, bool) override { return true; }
    void Load(TMiraFrameList& List, const std::string&) override {
        for (int frame = 0; frame < 2; ++frame) {
            TMiraFrame& f = *List.AddFrame();
            f.SetupImage(16, 8, 24, nullptr, 0);
            f.Delay = 20;
            for (int32_t y = 0; y < 8; ++y)
                for (int32_t x = 0; x < 16; ++x) f.Image.SetPixel(x, y, uint32_t(frame << 16 | x << 8 | y));
        }
    }
};

// A fresh image cache for each input, in place of the one the object layer made; the objects
// that hold its pictures go first.
struct TCache {
    TCache() {
        delete std::exchange(MiraMan, new TMiraCollection());
        MiraMan->SetSource(std::make_unique<TAnySheet>());
    }
    ~TCache() { Bases->Clear(); }
};

TVelaCGLabel* Make() {
    auto* label = new TVelaCGLabel(Bases);
    label->SetParent(Bases->GetBase(0));
    return label;
}

}  // namespace

int TestOneInput(const uint8_t* Data, size_t Size) {
    if (Size < 1) return 0;
    const int32_t version = 100 + Data[0] % (GameSaveVersion - 99);
    fuzz::TWorld world;
    TCache cache;
    TVelaCGLabel* label = Make();
    TMemoryStream stream = fuzz::StreamOf(Data + 1, Size - 1);
    try {
        label->LoadFromStream(stream, version);
    } catch (const EVelaError&) {
        return 0;
    }
    const std::string written = fuzz::Written(*label);
    TVelaCGLabel* again = Make();
    TMemoryStream second = fuzz::StreamOf(written.data(), written.size());
    again->LoadFromStream(second, GameSaveVersion);
    // Children of equal names and drawing order have no fixed order among themselves.
    fuzz::Check(label->GetControlCount() > 0 || fuzz::Written(*again) == written);
    label->SetAlpha(255);
    try {
        Bases->Step();
        Bases->GetBase(0)->InvalidateAll();
        Bases->Prepare();
    } catch (const EVelaError&) {
        // a stored child's zoom too large for the integer zoom its placement reads
    }
    return 0;
}
