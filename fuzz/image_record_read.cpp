// Image object records of save data from arbitrary bytes (the first byte picks the save version,
// the rest is the record), read into an image on the first layer: a read either succeeds, and
// the image then writes out a form that reads back into a new image and writes the same, and steps, draws and is
// hit-tested; anything else raises one of the engine's own errors. Seed corpus: the records of
// tests/tools/image_records.py.
#include "fuzz/harness.h"
#include "objects/vitemex_image.h"

int TestOneInput(const uint8_t* Data, size_t Size) {
    fuzz::TWorld world;
    auto* image = fuzz::LoadSceneRecord<TVelaImage>(Data, Size);
    if (!image) return 0;
    image->SetImageFlag(true);
    fuzz::StepDrawAndHitTest();
    return 0;
}
