// Cursor files from arbitrary bytes: a read either gives an image whose size, pixel count and
// hot spot agree, or raises one of the engine's own errors.
// Seed corpus: tests/tools/make_cursor_fixtures.py make fuzz/corpus/cursor_read
#include "fuzz/harness.h"
#include "graphics/cursorfile.h"

int TestOneInput(const uint8_t* Data, size_t Size) {
    TMemoryStream stream = fuzz::StreamOf(Data, Size);
    try {
        const TCursorImage image = ReadCursorFile(stream);
        const bool sound = image.Width > 0 && image.Height > 0 && image.Width <= 256 && image.Height <= 256 &&
                           image.Pixels.size() == size_t(image.Width) * size_t(image.Height) && image.HotX >= 0 &&
                           image.HotX < image.Width && image.HotY >= 0 && image.HotY < image.Height;
        fuzz::Check(sound);
    } catch (const EVelaError&) {
    }
    return 0;
}
